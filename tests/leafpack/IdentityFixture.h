// Inputs for the book identity tests: small PE32 and PE32+ images laid out
// like a linker's (code, resources, relocations), and icon files made in code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/leafpack/PeResources.h"

namespace leafbook::testing {

struct TSyntheticPe {
  explicit TSyntheticPe(bool pe32Plus = false) : Pe32Plus(pe32Plus) {}

  bool Pe32Plus;
  std::vector<leafpack::TResource> Resources = DefaultResources();
  // Bytes after the last section, as an unstripped build's symbol table.
  std::string Trailer;

  static std::vector<leafpack::TResource> DefaultResources();
  std::vector<uint8_t> Bytes() const;
};

// Where the synthetic image keeps what tests damage.
constexpr uint64_t kPeOffset = 0x80;
constexpr uint32_t kResourceRaw = 0x600;
constexpr uint32_t kResourceRva = 0x2000;
uint64_t OptionalHeaderOffset();
uint64_t SectionTableOffset(bool pe32Plus);
uint64_t DataDirectoryOffset(bool pe32Plus, uint32_t index);

// A PNG of width x height pixels of one colour, uncompressed deflate inside.
std::string PngBytes(uint32_t width, uint32_t height);
// A .ico with one 16x16 32-bit DIB image.
std::string IcoBytes();
// The DIB inside IcoBytes().
std::string IcoImage();

// The checksum as the reference reader computes it: dwords with carries, the
// checksum field skipped, folded to 16 bits, plus the length.
uint32_t ReferenceChecksum(const std::vector<uint8_t>& image, uint64_t checksumOffset);

}  // namespace leafbook::testing
