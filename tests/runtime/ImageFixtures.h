// Fixture DLLs for the loader tests and the means to take them apart: reading
// a fixture, finding header fields, directories and sections inside the file,
// and patching them to make variants and damaged copies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/ImageLayout.h"

namespace leafbook::testing {

using TBytes = std::vector<uint8_t>;

// Folder of the fixture DLLs (beside the test executable in the Windows build).
std::string FixtureDir();
std::string FixturePath(const std::string& name);
bool FixtureExists(const std::string& name);
TBytes ReadFixture(const std::string& name);

// A module file opened for inspection and patching.
class TPeFile {
 public:
  explicit TPeFile(TBytes bytes);

  TBytes& Bytes() { return bytes_; }
  const TImageHeaders& Headers() const { return headers_; }
  // Re-reads the headers after a patch of the header fields.
  void Reread();

  uint32_t Nt() const { return headers_.NtOffset; }
  // File offset of the 40-byte header of section index.
  uint32_t SectionHeader(size_t index) const;
  // Index of the section that holds rva.
  size_t SectionOf(uint32_t rva) const;
  // File offset of an image offset that lies in a section's raw data.
  uint32_t FileOffset(uint32_t rva) const;

  uint16_t U16(uint32_t offset) const;
  uint32_t U32(uint32_t offset) const;
  void PutU16(uint32_t offset, uint16_t value);
  void PutU32(uint32_t offset, uint32_t value);
  uint32_t Rva32(uint32_t rva) const { return U32(FileOffset(rva)); }
  void PutRva32(uint32_t rva, uint32_t value) { PutU32(FileOffset(rva), value); }

  // Appends a section of size bytes of content (its raw data at the end of
  // the file) and grows SizeOfImage to end exactly where it ends. Gives the
  // section's image offset.
  uint32_t AppendSection(const TBytes& content);

  // Image offset of the import descriptor of the named library.
  uint32_t ImportDescriptor(const std::string& library) const;

  // Image offset of the named export's entry in the export address table.
  uint32_t ExportFunctionEntry(const std::string& name) const;

 private:
  TBytes bytes_;
  TImageHeaders headers_;
};

}  // namespace leafbook::testing
