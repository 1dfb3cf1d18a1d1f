// The parts of a PE image (PE32 or PE32+) that leafpack reads and rewrites:
// headers, section table, data directories and the checksum, over bytes from
// outside that are checked before they are trusted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace leafbook::leafpack {

uint16_t Get16(std::span<const uint8_t> bytes, uint64_t offset);
uint32_t Get32(std::span<const uint8_t> bytes, uint64_t offset);
void Put16(std::span<uint8_t> bytes, uint64_t offset, uint16_t value);
void Put32(std::span<uint8_t> bytes, uint64_t offset, uint32_t value);

inline uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct TPeSection {
  std::string Name;
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t SizeOfRawData = 0;
  uint32_t PointerToRawData = 0;
  uint32_t Characteristics = 0;
};

struct TDataDirectory {
  uint32_t Rva = 0;
  uint32_t Size = 0;
};

enum TDataDirectoryIndex : uint32_t { ResourceDirectory = 2, CertificateDirectory = 4 };

// Where the checksum field lies, from the first bytes of a file; nothing
// when they are not the start of a PE image.
std::optional<uint64_t> PeChecksumOffset(std::span<const uint8_t> head);

// The image checksum summed piece by piece from the start of the file, in
// pieces of any size.
class TPeChecksum {
 public:
  explicit TPeChecksum(uint64_t checksumOffset) : checksumOffset_(checksumOffset) {}
  void Add(std::span<const uint8_t> piece);
  uint32_t Value() const;

 private:
  uint64_t checksumOffset_;
  uint64_t position_ = 0;
  uint64_t sum_ = 0;
};

// Raises Exception when the bytes are not a PE image it can work on.
class TPeImage {
 public:
  explicit TPeImage(std::span<const uint8_t> bytes);

  bool Pe32Plus() const { return pe32Plus_; }
  const std::vector<TPeSection>& Sections() const { return sections_; }
  uint32_t DataDirectoryCount() const { return directoryCount_; }
  // An empty directory for an index the headers do not carry.
  TDataDirectory DataDirectory(uint32_t index) const;
  // Where the bytes of size at rva lie in the file; nothing when not all of
  // them are in the file's data.
  std::optional<uint64_t> RvaToOffset(uint32_t rva, uint32_t size) const;

  uint64_t OptionalHeaderOffset() const { return optionalHeader_; }
  uint64_t SectionTableOffset() const { return sectionTable_; }
  uint64_t DataDirectoryOffset(uint32_t index) const { return dataDirectories_ + 8ull * index; }
  uint64_t NumberOfSectionsOffset() const { return fileHeader_ + 2; }
  uint64_t SizeOfInitializedDataOffset() const { return optionalHeader_ + 8; }
  uint64_t SizeOfImageOffset() const { return optionalHeader_ + 56; }
  uint64_t ChecksumOffset() const { return optionalHeader_ + 64; }
  uint32_t SizeOfHeaders() const { return sizeOfHeaders_; }
  uint32_t SizeOfImage() const { return sizeOfImage_; }
  uint32_t SizeOfInitializedData() const { return sizeOfInitializedData_; }
  uint32_t FileAlignment() const { return fileAlignment_; }
  uint32_t SectionAlignment() const { return sectionAlignment_; }

 private:
  std::span<const uint8_t> bytes_;
  bool pe32Plus_ = false;
  uint64_t fileHeader_ = 0;
  uint64_t optionalHeader_ = 0;
  uint64_t dataDirectories_ = 0;
  uint64_t sectionTable_ = 0;
  uint32_t directoryCount_ = 0;
  uint32_t sizeOfHeaders_ = 0;
  uint32_t sizeOfImage_ = 0;
  uint32_t sizeOfInitializedData_ = 0;
  uint32_t fileAlignment_ = 0;
  uint32_t sectionAlignment_ = 0;
  std::vector<TPeSection> sections_;
};

// The checksum of a whole image in memory, its own checksum field taken as zero.
uint32_t PeChecksum(std::span<const uint8_t> image);

}  // namespace leafbook::leafpack
