// Resource tree check, lookup and version record reading.
#include "runtime/ImageResources.h"

#include <unordered_set>

namespace leafbook {

namespace {

constexpr uint32_t DirectoryHeaderSize = 16;
constexpr uint32_t EntrySize = 8;
constexpr uint32_t DataEntrySize = 16;
constexpr uint32_t HighBit = 0x80000000u;
constexpr int Levels = 3;  // type, name, language

class TTreeChecker {
 public:
  TTreeChecker(TImageView image, uint32_t root)
      : image_(image), root_(root), entriesLeft_(image.Size() / EntrySize) {}

  void Directory(uint32_t offset, int level) {
    if (!visited_.insert(offset).second) {
      throw EBadImage("resource directory reached twice (a cycle)");
    }
    uint64_t at = uint64_t{root_} + offset;
    image_.Require(at, DirectoryHeaderSize, "resource directory");
    uint64_t count = uint64_t{image_.U16(at + 12, "resource directory")} +
                     image_.U16(at + 14, "resource directory");
    image_.Require(at + DirectoryHeaderSize, count * EntrySize, "resource directory entries");
    if (count > entriesLeft_) {
      throw EBadImage("resource directories overlap");
    }
    entriesLeft_ -= count;
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t entry = at + DirectoryHeaderSize + i * EntrySize;
      uint32_t name = image_.U32(entry, "resource directory entry");
      uint32_t target = image_.U32(entry + 4, "resource directory entry");
      if (name & HighBit) {
        uint64_t text = uint64_t{root_} + (name & ~HighBit);
        uint16_t length = image_.U16(text, "resource name");
        image_.Require(text + 2, uint64_t{length} * 2, "resource name");
      }
      bool subdirectory = (target & HighBit) != 0;
      if (level < Levels) {
        if (!subdirectory) {
          throw EBadImage("resource tree has fewer than three levels");
        }
        Directory(target & ~HighBit, level + 1);
      } else {
        if (subdirectory) {
          throw EBadImage("resource tree has more than three levels");
        }
        DataEntry(target);
      }
    }
  }

 private:
  void DataEntry(uint32_t offset) {
    uint64_t at = uint64_t{root_} + offset;
    image_.Require(at, DataEntrySize, "resource data entry");
    image_.Require(image_.U32(at, "resource data entry"), image_.U32(at + 4, "resource data entry"),
                   "resource data");
  }

  TImageView image_;
  uint32_t root_;
  uint64_t entriesLeft_;  // a sound tree has entries of its own
  std::unordered_set<uint32_t> visited_;
};

// A name string of the tree, copied out character by character (the stored
// characters need not be aligned).
bool ReadName(TImageView image, uint64_t at, std::u16string& text) {
  uint16_t length;
  if (!image.TryU16(at, length) || !image.Fits(at + 2, uint64_t{length} * 2)) {
    return false;
  }
  text.resize(length);
  for (uint16_t i = 0; i < length; ++i) {
    uint16_t c = 0;
    image.TryU16(at + 2 + uint64_t{i} * 2, c);
    text[i] = static_cast<char16_t>(c);
  }
  return true;
}

// The target of the first entry of the directory at offset that matches.
template <class Match>
std::optional<uint32_t> FirstMatch(TImageView image, uint32_t root, uint32_t offset, Match match) {
  uint64_t at = uint64_t{root} + offset;
  uint16_t named, ids;
  if (!image.TryU16(at + 12, named) || !image.TryU16(at + 14, ids)) {
    return std::nullopt;
  }
  for (uint32_t i = 0; i < uint32_t{named} + ids; ++i) {
    uint64_t entry = at + DirectoryHeaderSize + uint64_t{i} * EntrySize;
    uint32_t name, target;
    if (!image.TryU32(entry, name) || !image.TryU32(entry + 4, target)) {
      return std::nullopt;
    }
    if (match(name)) {
      return target;
    }
  }
  return std::nullopt;
}

}  // namespace

void CheckResourceTree(TImageView image, uint32_t resourceAddress) {
  if (resourceAddress == 0) {
    return;
  }
  TTreeChecker(image, resourceAddress).Directory(0, 1);
}

std::optional<TResourceData> FindResourceData(TImageView image, uint32_t resourceAddress,
                                              uint16_t type, const TResourceName& name,
                                              uint32_t language) {
  if (resourceAddress == 0) {
    return std::nullopt;
  }
  uint32_t root = resourceAddress;
  auto typeEntry = FirstMatch(image, root, 0, [type](uint32_t entry) {
    return (entry & HighBit) == 0 && (entry & 0xFFFF) == type;
  });
  if (!typeEntry) {
    return std::nullopt;
  }
  // Names are read whole to be compared. A damaged tree of thousands of
  // entries naming one 65,535-character string would make a single lookup
  // read gigabytes: one lookup reads names of at most this many characters
  // in all, and a tree that asks for more is not searched further.
  constexpr uint64_t kNameCharacters = 1u << 20;
  uint64_t nameBudget = kNameCharacters;
  bool budgetSpent = false;
  auto nameEntry = FirstMatch(image, root, *typeEntry & ~HighBit, [&](uint32_t entry) {
    if (name.IsId) {
      return (entry & HighBit) == 0 && (entry & 0xFFFF) == name.Id;
    }
    const uint64_t at = uint64_t{root} + (entry & ~HighBit);
    uint16_t length = 0;
    if (budgetSpent || (entry & HighBit) == 0 || !image.TryU16(at, length)) {
      return false;
    }
    if (length > nameBudget) {
      budgetSpent = true;
      return false;
    }
    nameBudget -= length;
    std::u16string text;
    return ReadName(image, at, text) && name.Equals(text);
  });
  if (!nameEntry || budgetSpent) {
    return std::nullopt;
  }
  auto languageEntry = FirstMatch(image, root, *nameEntry & ~HighBit, [language](uint32_t entry) {
    return (entry & 0xFFFF) == (language & 0xFFFF);
  });
  if (!languageEntry) {
    return std::nullopt;
  }
  uint64_t dataEntry = uint64_t{root} + *languageEntry;
  TResourceData data;
  if (!image.TryU32(dataEntry, data.Address) || !image.TryU32(dataEntry + 4, data.Size) ||
      !image.Fits(data.Address, data.Size)) {
    return std::nullopt;
  }
  return data;
}

uint32_t ProductVersionFromResource(TImageView image, const TResourceData& data) {
  if (!image.Fits(data.Address, data.Size)) {
    return 0;
  }
  // The version record: three 16-bit header fields and the 16-character key
  // "VS_VERSION_INFO" with its terminator, then padding to the fixed record.
  TImageView record(image.Data() + data.Address, data.Size);
  uint64_t at = 38;
  uint16_t word;
  while (record.TryU16(at, word) && word == 0) {
    at += 2;
  }
  uint32_t ms, ls;
  if (!record.TryU32(at + 16, ms) || !record.TryU32(at + 20, ls)) {
    return 0;
  }
  return (((ms >> 16) * 256 + (ms & 0xFFFF)) * 256 + (ls >> 16)) * 256 + (ls & 0xFFFF);
}

}  // namespace leafbook
