// Fixture access and module file patching for the loader tests.
#include "tests/runtime/ImageFixtures.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace leafbook::testing {

std::string FixtureDir() {
#ifdef _WIN32
  char path[MAX_PATH];
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string exe(path, length);
  return exe.substr(0, exe.find_last_of("\\/"));
#else
  return LEAFBOOK_FIXTURE_DIR;
#endif
}

std::string FixturePath(const std::string& name) {
  return FixtureDir() + "/" + name;
}

bool FixtureExists(const std::string& name) {
  return std::ifstream(FixturePath(name), std::ios::binary).good();
}

TBytes ReadFixture(const std::string& name) {
  std::ifstream in(FixturePath(name), std::ios::binary);
  if (!in) {
    throw std::runtime_error("fixture missing: " + FixturePath(name));
  }
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TPeFile::TPeFile(TBytes bytes) : bytes_(std::move(bytes)) {
  Reread();
}

void TPeFile::Reread() {
  headers_ = ReadImageHeaders(bytes_);
}

uint32_t TPeFile::SectionHeader(size_t index) const {
  return Nt() + nt::SectionTable + U16(Nt() + nt::SizeOfOptionalHeader) +
         static_cast<uint32_t>(index) * nt::SectionHeaderSize;
}

size_t TPeFile::SectionOf(uint32_t rva) const {
  for (size_t i = 0; i < headers_.Sections.size(); ++i) {
    const TImageSection& s = headers_.Sections[i];
    if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.VirtualSize) {
      return i;
    }
  }
  throw std::runtime_error("no section holds image offset " + std::to_string(rva));
}

uint32_t TPeFile::FileOffset(uint32_t rva) const {
  const TImageSection& s = headers_.Sections[SectionOf(rva)];
  if (rva - s.VirtualAddress >= s.SizeOfRawData) {
    throw std::runtime_error("image offset without raw data: " + std::to_string(rva));
  }
  return s.PointerToRawData + (rva - s.VirtualAddress);
}

uint16_t TPeFile::U16(uint32_t offset) const {
  uint16_t value;
  std::memcpy(&value, bytes_.data() + offset, 2);
  return value;
}

uint32_t TPeFile::U32(uint32_t offset) const {
  uint32_t value;
  std::memcpy(&value, bytes_.data() + offset, 4);
  return value;
}

void TPeFile::PutU16(uint32_t offset, uint16_t value) {
  std::memcpy(bytes_.data() + offset, &value, 2);
}

void TPeFile::PutU32(uint32_t offset, uint32_t value) {
  std::memcpy(bytes_.data() + offset, &value, 4);
}

uint32_t TPeFile::AppendSection(const TBytes& content) {
  size_t index = headers_.Sections.size();
  uint32_t header = SectionHeader(index);
  if (header + nt::SectionHeaderSize > headers_.SizeOfHeaders) {
    throw std::runtime_error("no room for another section header");
  }
  uint32_t rva = headers_.SizeOfImage;
  auto raw = static_cast<uint32_t>(bytes_.size());
  bytes_.insert(bytes_.end(), content.begin(), content.end());
  auto size = static_cast<uint32_t>(content.size());
  std::memset(bytes_.data() + header, 0, nt::SectionHeaderSize);
  std::memcpy(bytes_.data() + header, ".extra", 6);
  PutU32(header + 8, size);
  PutU32(header + 12, rva);
  PutU32(header + 16, size);
  PutU32(header + 20, raw);
  PutU16(Nt() + nt::NumberOfSections, static_cast<uint16_t>(index + 1));
  PutU32(Nt() + nt::SizeOfImage, rva + size);
  Reread();
  return rva;
}

uint32_t TPeFile::ImportDescriptor(const std::string& library) const {
  for (uint32_t at = headers_.Import.Address; Rva32(at + 12) != 0; at += 20) {
    if (library == reinterpret_cast<const char*>(bytes_.data() + FileOffset(Rva32(at + 12)))) {
      return at;
    }
  }
  throw std::runtime_error("no import descriptor for " + library);
}

uint32_t TPeFile::ExportFunctionEntry(const std::string& name) const {
  uint32_t dir = headers_.Export.Address;
  uint32_t count = Rva32(dir + 24);
  uint32_t functions = Rva32(dir + 28);
  uint32_t names = Rva32(dir + 32);
  uint32_t ordinals = Rva32(dir + 36);
  for (uint32_t i = 0; i < count; ++i) {
    const char* text =
        reinterpret_cast<const char*>(bytes_.data() + FileOffset(Rva32(names + i * 4)));
    if (name == text) {
      return functions + U16(FileOffset(ordinals + i * 2)) * 4;
    }
  }
  throw std::runtime_error("no export named " + name);
}

}  // namespace leafbook::testing
