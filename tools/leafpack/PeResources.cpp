// The resource directory tree: three levels (type, name, language) of
// directories whose entries are numbers or counted UTF-16 strings, ending in
// data entries that give the RVA and size of each resource's bytes.
#include "tools/leafpack/PeResources.h"

#include <algorithm>
#include <map>
#include <set>

#include "framework/base/Exceptions.h"

namespace leafbook::leafpack {

namespace {

constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr int kLanguageLevel = 2;

[[noreturn]] void Damaged(const std::string& why) {
  throw Exception("the viewer's resource tree is damaged: " + why);
}

class TTreeReader {
 public:
  TTreeReader(const TPeImage& image, std::span<const uint8_t> bytes, std::span<const uint8_t> tree)
      : image_(image), bytes_(bytes), tree_(tree) {}

  void Directory(uint32_t offset, int level, TResource& path) {
    if (!visited_.insert(offset).second) {
      Damaged("a directory is reached twice (a loop)");
    }
    Need(offset, kDirectoryHeaderSize, "a directory");
    const uint32_t count =
        static_cast<uint32_t>(Get16(tree_, offset + 12)) + Get16(tree_, offset + 14);
    Need(offset + kDirectoryHeaderSize, static_cast<uint64_t>(count) * kEntrySize,
         "a directory's entries");
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t entry = offset + kDirectoryHeaderSize + static_cast<uint64_t>(i) * kEntrySize;
      const TResourceName name = Name(Get32(tree_, entry));
      const uint32_t target = Get32(tree_, entry + 4);
      const bool subdirectory = (target & kSubdirectory) != 0;
      if (subdirectory != (level < kLanguageLevel)) {
        Damaged("a directory or data entry at the wrong level");
      }
      if (level == 0) {
        path.Type = name;
      } else if (level == 1) {
        path.Name = name;
      } else if (name.IsString()) {
        Damaged("a language given as a string");
      } else {
        path.Language = name.Id;
      }
      if (subdirectory) {
        Directory(target & ~kSubdirectory, level + 1, path);
      } else {
        Leaf(target, path);
      }
    }
  }

  std::vector<TResource> Take() { return std::move(resources_); }

 private:
  void Need(uint64_t offset, uint64_t size, const char* what) const {
    if (offset > tree_.size() || size > tree_.size() - offset) {
      Damaged(std::string(what) + " lies outside the resource section");
    }
  }

  TResourceName Name(uint32_t field) const {
    TResourceName name;
    if ((field & kSubdirectory) == 0) {
      if (field > 0xffff) {
        Damaged("a number entry out of range");
      }
      name.Id = static_cast<uint16_t>(field);
      return name;
    }
    const uint64_t at = field & ~kSubdirectory;
    Need(at, 2, "a name");
    const uint16_t length = Get16(tree_, at);
    if (length == 0) {
      Damaged("an empty name");
    }
    Need(at + 2, 2ull * length, "a name");
    for (uint16_t i = 0; i < length; ++i) {
      name.Text.push_back(static_cast<char16_t>(Get16(tree_, at + 2 + 2ull * i)));
    }
    return name;
  }

  void Leaf(uint32_t offset, TResource path) {
    Need(offset, kDataEntrySize, "a data entry");
    const uint32_t rva = Get32(tree_, offset);
    const uint32_t size = Get32(tree_, offset + 4);
    const auto data = image_.RvaToOffset(rva, size);
    if (!data) {
      Damaged("a resource's data lies outside the file");
    }
    // Entries sharing data would multiply it: real trees hold each resource once.
    copied_ += size;
    if (copied_ > bytes_.size()) {
      Damaged("the resources add up to more than the file");
    }
    path.CodePage = Get32(tree_, offset + 8);
    path.Data.assign(bytes_.begin() + static_cast<ptrdiff_t>(*data),
                     bytes_.begin() + static_cast<ptrdiff_t>(*data + size));
    resources_.push_back(std::move(path));
  }

  const TPeImage& image_;
  std::span<const uint8_t> bytes_;
  std::span<const uint8_t> tree_;
  std::set<uint64_t> visited_;
  uint64_t copied_ = 0;
  std::vector<TResource> resources_;
};

using TLanguages = std::map<uint16_t, const TResource*>;
using TNames = std::map<TResourceName, TLanguages>;
using TTypes = std::map<TResourceName, TNames>;

uint32_t DirectorySize(size_t entries) {
  return kDirectoryHeaderSize + kEntrySize * static_cast<uint32_t>(entries);
}

uint32_t StringSize(const TResourceName& name) {
  return name.IsString() ? 2 + 2 * static_cast<uint32_t>(name.Text.size()) : 0;
}

// Directories first, then data entries, then names, then the data, each
// region at a cursor fixed once the sizes of those before it are known.
class TTreeWriter {
 public:
  TTreeWriter(const TTypes& types, uint32_t sectionRva) : rva_(sectionRva) {
    uint32_t directories = DirectorySize(types.size());
    uint32_t leaves = 0;
    uint32_t strings = 0;
    uint64_t data = 0;
    for (const auto& [type, names] : types) {
      directories += DirectorySize(names.size());
      strings += StringSize(type);
      for (const auto& [name, languages] : names) {
        directories += DirectorySize(languages.size());
        strings += StringSize(name);
        leaves += static_cast<uint32_t>(languages.size());
        for (const auto& [language, resource] : languages) {
          data += AlignUp(resource->Data.size(), 8);
        }
      }
    }
    entryCursor_ = directories;
    stringCursor_ = entryCursor_ + kDataEntrySize * leaves;
    dataCursor_ = static_cast<uint32_t>(AlignUp(stringCursor_ + strings, 8));
    if (dataCursor_ + data > 0x7fffffff) {
      throw Exception("the resources are too large for one section");
    }
    out_.assign(dataCursor_ + data, 0);
  }

  template <class TChildren, class TWriteChild>
  uint32_t Directory(const TChildren& children, TWriteChild writeChild) {
    if (children.size() > 0xffff) {
      throw Exception("too many resources in one directory");
    }
    const uint32_t at = directoryCursor_;
    directoryCursor_ += DirectorySize(children.size());
    uint16_t named = 0;
    uint16_t ids = 0;
    uint32_t entry = at + kDirectoryHeaderSize;
    for (const auto& [key, child] : children) {
      const uint32_t nameField = NameField(key);
      (nameField & kSubdirectory ? named : ids)++;
      Put32(out_, entry, nameField);
      Put32(out_, entry + 4, writeChild(child));
      entry += kEntrySize;
    }
    Put16(out_, at + 12, named);
    Put16(out_, at + 14, ids);
    return at;
  }

  uint32_t Leaf(const TResource& resource) {
    const uint32_t at = entryCursor_;
    entryCursor_ += kDataEntrySize;
    Put32(out_, at, rva_ + dataCursor_);
    Put32(out_, at + 4, static_cast<uint32_t>(resource.Data.size()));
    Put32(out_, at + 8, resource.CodePage);
    std::copy(resource.Data.begin(), resource.Data.end(), out_.begin() + dataCursor_);
    dataCursor_ += static_cast<uint32_t>(AlignUp(resource.Data.size(), 8));
    return at;
  }

  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  uint32_t NameField(const TResourceName& name) {
    if (!name.IsString()) {
      return name.Id;
    }
    const uint32_t at = stringCursor_;
    Put16(out_, at, static_cast<uint16_t>(name.Text.size()));
    for (size_t i = 0; i < name.Text.size(); ++i) {
      Put16(out_, at + 2 + 2 * i, static_cast<uint16_t>(name.Text[i]));
    }
    stringCursor_ += StringSize(name);
    return at | kSubdirectory;
  }
  uint32_t NameField(uint16_t language) { return language; }

  uint32_t rva_;
  uint32_t directoryCursor_ = 0;
  uint32_t entryCursor_ = 0;
  uint32_t stringCursor_ = 0;
  uint32_t dataCursor_ = 0;
  std::vector<uint8_t> out_;
};

}  // namespace

std::strong_ordering TResourceName::operator<=>(const TResourceName& other) const {
  if (IsString() != other.IsString()) {
    return IsString() ? std::strong_ordering::less : std::strong_ordering::greater;
  }
  return IsString() ? Text.compare(other.Text) <=> 0 : Id <=> other.Id;
}

std::vector<TResource> ReadResources(const TPeImage& image, std::span<const uint8_t> bytes) {
  const TDataDirectory directory = image.DataDirectory(ResourceDirectory);
  if (directory.Rva == 0 || directory.Size == 0) {
    return {};
  }
  for (const TPeSection& section : image.Sections()) {
    const uint64_t start = section.VirtualAddress;
    if (directory.Rva < start || directory.Rva >= start + section.SizeOfRawData) {
      continue;
    }
    const uint64_t end = std::min<uint64_t>(
        static_cast<uint64_t>(section.PointerToRawData) + section.SizeOfRawData, bytes.size());
    const uint64_t offset = section.PointerToRawData + (directory.Rva - start);
    if (offset >= end) {
      break;
    }
    TTreeReader reader(image, bytes, bytes.subspan(offset, end - offset));
    TResource path;
    reader.Directory(0, 0, path);
    return reader.Take();
  }
  Damaged("the resource directory lies outside the file's sections");
}

std::vector<uint8_t> WriteResources(const std::vector<TResource>& resources, uint32_t sectionRva) {
  TTypes types;
  for (const TResource& resource : resources) {
    types[resource.Type][resource.Name][resource.Language] = &resource;
  }
  TTreeWriter writer(types, sectionRva);
  writer.Directory(types, [&](const TNames& names) {
    return kSubdirectory | writer.Directory(names, [&](const TLanguages& languages) {
      return kSubdirectory |
             writer.Directory(languages, [&](const TResource* r) { return writer.Leaf(*r); });
    });
  });
  return writer.Take();
}

}  // namespace leafbook::leafpack
