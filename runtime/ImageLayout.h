// The headers of a module file (32-bit, or 64-bit for the 64-bit test build),
// the copy of its sections into image memory and its base relocation. Everything is checked against
// the file and against SizeOfImage before a byte is copied or patched.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "runtime/ImageView.h"

namespace leafbook {

struct TImageSection {
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t SizeOfRawData = 0;
  uint32_t PointerToRawData = 0;
};

struct TImageDirectory {
  uint32_t Address = 0;
  uint32_t Size = 0;
};

// The header fields the loader works from.
struct TImageHeaders {
  uint32_t NtOffset = 0;  // e_lfanew
  bool Wide = false;      // a 64-bit image: pointer-sized fields are 8 bytes
  uint32_t AddressOfEntryPoint = 0;
  uint64_t ImageBase = 0;
  uint32_t SizeOfImage = 0;
  uint32_t SizeOfHeaders = 0;
  TImageDirectory Export;
  TImageDirectory Import;
  TImageDirectory Resource;
  TImageDirectory Exception;  // the unwind table of a 64-bit image
  TImageDirectory Relocation;
  std::vector<TImageSection> Sections;
};

// Offsets of the header fields, from the start of the NT headers, of a
// 32-bit image; nt64 has those that differ in a 64-bit one.
namespace nt {
constexpr uint16_t DosSignature = 0x5A4D;     // "MZ", at the start of the file
constexpr uint32_t NtSignature = 0x00004550;  // "PE\0\0", at e_lfanew
constexpr uint32_t Machine = 4;
constexpr uint16_t MachineI386 = 0x14C;
constexpr uint16_t MachineAmd64 = 0x8664;
constexpr uint32_t LfanewOffset = 0x3C;  // from the start of the file
constexpr uint32_t NumberOfSections = 6;
constexpr uint32_t SizeOfOptionalHeader = 0x14;
constexpr uint32_t Magic = 0x18;
constexpr uint16_t Magic32 = 0x10B;
constexpr uint16_t Magic64 = 0x20B;
constexpr uint32_t AddressOfEntryPoint = 0x28;
constexpr uint32_t ImageBase = 0x34;
constexpr uint32_t SizeOfImage = 0x50;
constexpr uint32_t SizeOfHeaders = 0x54;
constexpr uint32_t ExportDirectory = 0x78;
constexpr uint32_t ImportDirectory = 0x80;
constexpr uint32_t ResourceDirectory = 0x88;
constexpr uint32_t ExceptionDirectory = 0x90;
constexpr uint32_t RelocationDirectory = 0xA0;
constexpr uint32_t HeadersEnd = 0xA8;  // past the last field read
constexpr uint32_t SectionTable = 24;  // plus SizeOfOptionalHeader
constexpr uint32_t SectionHeaderSize = 40;
}  // namespace nt
namespace nt64 {
constexpr uint32_t ImageBase = 0x30;  // 8 bytes
constexpr uint32_t ExportDirectory = 0x88;
constexpr uint32_t ImportDirectory = 0x90;
constexpr uint32_t ResourceDirectory = 0x98;
constexpr uint32_t ExceptionDirectory = 0xA0;
constexpr uint32_t RelocationDirectory = 0xB0;
constexpr uint32_t HeadersEnd = 0xB8;
}  // namespace nt64

// Reads the headers and section table of a module file and checks that the
// headers, every section's placement and its raw data fit. EBadImage if not.
TImageHeaders ReadImageHeaders(std::span<const uint8_t> file);

// Reads the headers of an image already laid out in memory at base (the
// section table is not read). nullopt when they do not hang together.
std::optional<TImageHeaders> ReadLaidOutHeaders(const uint8_t* base);

// Copies the headers and the sections of a checked file into image, which
// holds SizeOfImage bytes. VirtualSize governs: each section is zero-filled
// over VirtualSize bytes, then min(VirtualSize, SizeOfRawData) bytes are copied.
void LayOutImage(std::span<const uint8_t> file, const TImageHeaders& headers,
                 std::span<uint8_t> image);

// Applies the base relocations for an image placed at newBase. Every fixup of a
// non-zero type adds the 32-bit delta, even a delta of 0, except that in a
// 64-bit image a 64-bit fixup (type 10) adds the 64-bit delta. The blocks are
// walked once to check them before anything is patched.
void RelocateImage(std::span<uint8_t> image, const TImageHeaders& headers, uint64_t newBase);

}  // namespace leafbook
