// Reading PE headers from outside bytes, and the image checksum as Windows
// computes it (16-bit words summed with end-around carry, plus the length).
#include "tools/leafpack/PeImage.h"

#include "framework/base/Exceptions.h"

namespace leafbook::leafpack {

namespace {

constexpr uint64_t kFileHeaderSize = 20;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint16_t kPe32Magic = 0x10b;
constexpr uint16_t kPe32PlusMagic = 0x20b;
// Up to the checksum field, which both optional header forms place alike.
constexpr uint64_t kOptionalHeaderThroughChecksum = 68;

[[noreturn]] void NotAnImage(const std::string& why) {
  throw Exception("the viewer is not a PE image it can work on: " + why);
}

bool IsPowerOfTwo(uint32_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

// The PE signature's offset, when the head has the DOS and PE signatures
// and room for the file header and optionalSize bytes of optional header.
std::optional<uint64_t> PeHeaderOffset(std::span<const uint8_t> head, uint64_t optionalSize) {
  if (head.size() < 64 || head[0] != 'M' || head[1] != 'Z') {
    return std::nullopt;
  }
  const uint64_t pe = Get32(head, 0x3c);
  if (pe + 4 + kFileHeaderSize + optionalSize > head.size() || head[pe] != 'P' ||
      head[pe + 1] != 'E' || head[pe + 2] != 0 || head[pe + 3] != 0) {
    return std::nullopt;
  }
  return pe;
}

}  // namespace

uint16_t Get16(std::span<const uint8_t> bytes, uint64_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

uint32_t Get32(std::span<const uint8_t> bytes, uint64_t offset) {
  return static_cast<uint32_t>(Get16(bytes, offset)) |
         static_cast<uint32_t>(Get16(bytes, offset + 2)) << 16;
}

void Put16(std::span<uint8_t> bytes, uint64_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::span<uint8_t> bytes, uint64_t offset, uint32_t value) {
  Put16(bytes, offset, static_cast<uint16_t>(value));
  Put16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

std::optional<uint64_t> PeChecksumOffset(std::span<const uint8_t> head) {
  const auto pe = PeHeaderOffset(head, kOptionalHeaderThroughChecksum);
  if (!pe || Get16(head, *pe + 4 + 16) < kOptionalHeaderThroughChecksum) {
    return std::nullopt;
  }
  const uint16_t magic = Get16(head, *pe + 4 + kFileHeaderSize);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) {
    return std::nullopt;
  }
  return *pe + 4 + kFileHeaderSize + 64;
}

void TPeChecksum::Add(std::span<const uint8_t> piece) {
  const auto byte = [&](size_t i) -> uint32_t {
    const uint64_t at = position_ + i;
    const bool field = at >= checksumOffset_ && at - checksumOffset_ < 4;
    return i < piece.size() && !field ? piece[i] : 0;
  };
  // A piece that starts at an odd offset starts with the high byte of a word.
  size_t first = 0;
  if (position_ % 2 == 1 && !piece.empty()) {
    sum_ += byte(0) << 8;
    first = 1;
  }
  for (size_t i = first; i < piece.size(); i += 2) {
    sum_ += byte(i) | byte(i + 1) << 8;
  }
  position_ += piece.size();
}

uint32_t TPeChecksum::Value() const {
  uint64_t sum = sum_;
  while (sum > 0xffff) {
    sum = (sum & 0xffff) + (sum >> 16);
  }
  return static_cast<uint32_t>(sum + position_);
}

uint32_t PeChecksum(std::span<const uint8_t> image) {
  const auto offset = PeChecksumOffset(image);
  TPeChecksum checksum(offset ? *offset : UINT64_MAX);
  checksum.Add(image);
  return checksum.Value();
}

TPeImage::TPeImage(std::span<const uint8_t> bytes) : bytes_(bytes) {
  const auto pe = PeHeaderOffset(bytes, 2);
  if (!pe) {
    NotAnImage("no MZ and PE signatures where they belong");
  }
  fileHeader_ = *pe + 4;
  optionalHeader_ = fileHeader_ + kFileHeaderSize;
  const uint32_t sectionCount = Get16(bytes, fileHeader_ + 2);
  const uint64_t optionalSize = Get16(bytes, fileHeader_ + 16);
  const uint16_t magic = Get16(bytes, optionalHeader_);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) {
    NotAnImage("an optional header of unknown magic");
  }
  pe32Plus_ = magic == kPe32PlusMagic;
  dataDirectories_ = optionalHeader_ + (pe32Plus_ ? 112 : 96);
  sectionTable_ = optionalHeader_ + optionalSize;
  if (dataDirectories_ > sectionTable_ || sectionTable_ > bytes.size()) {
    NotAnImage("the optional header is cut short");
  }
  directoryCount_ = Get32(bytes, dataDirectories_ - 4);
  if (directoryCount_ > 16 || dataDirectories_ + 8ull * directoryCount_ > sectionTable_) {
    NotAnImage("the data directories do not fit the optional header");
  }
  sectionAlignment_ = Get32(bytes, optionalHeader_ + 32);
  fileAlignment_ = Get32(bytes, optionalHeader_ + 36);
  sizeOfImage_ = Get32(bytes, SizeOfImageOffset());
  sizeOfHeaders_ = Get32(bytes, optionalHeader_ + 60);
  sizeOfInitializedData_ = Get32(bytes, SizeOfInitializedDataOffset());
  if (!IsPowerOfTwo(fileAlignment_) || !IsPowerOfTwo(sectionAlignment_) ||
      fileAlignment_ > (1u << 16) || sectionAlignment_ > (1u << 24)) {
    NotAnImage("unusual file or section alignment");
  }
  if (sectionTable_ + kSectionHeaderSize * sectionCount > bytes.size()) {
    NotAnImage("the section table is cut short");
  }
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint64_t at = sectionTable_ + kSectionHeaderSize * i;
    TPeSection section;
    for (uint64_t c = 0; c < 8 && bytes[at + c] != 0; ++c) {
      section.Name.push_back(static_cast<char>(bytes[at + c]));
    }
    section.VirtualSize = Get32(bytes, at + 8);
    section.VirtualAddress = Get32(bytes, at + 12);
    section.SizeOfRawData = Get32(bytes, at + 16);
    section.PointerToRawData = Get32(bytes, at + 20);
    section.Characteristics = Get32(bytes, at + 36);
    // The new section's data follows every section's: none may lie past the end.
    if (section.SizeOfRawData != 0 &&
        uint64_t{section.PointerToRawData} + section.SizeOfRawData > bytes.size()) {
      NotAnImage("the data of section " + std::to_string(i + 1) + " lies past the end of the file");
    }
    sections_.push_back(section);
  }
}

TDataDirectory TPeImage::DataDirectory(uint32_t index) const {
  if (index >= directoryCount_) {
    return {};
  }
  return {Get32(bytes_, DataDirectoryOffset(index)), Get32(bytes_, DataDirectoryOffset(index) + 4)};
}

std::optional<uint64_t> TPeImage::RvaToOffset(uint32_t rva, uint32_t size) const {
  const uint64_t end = static_cast<uint64_t>(rva) + size;
  for (const TPeSection& section : sections_) {
    const uint64_t start = section.VirtualAddress;
    if (rva >= start && end <= start + section.SizeOfRawData) {
      const uint64_t offset = section.PointerToRawData + (rva - start);
      if (offset + size <= bytes_.size()) {
        return offset;
      }
    }
  }
  return std::nullopt;
}

}  // namespace leafbook::leafpack
