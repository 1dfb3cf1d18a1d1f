// The damaged images: every field the loader trusts, pushed out of bounds.
#include "tests/runtime/DamagedImages.h"

#include <cctype>

namespace leafbook::testing {

namespace {

// Non-zero bytes right up to the end of the image: a string placed there has
// no terminator inside the image.
const TBytes kUnterminated(16, 'A');

uint32_t FirstDescriptor(const TPeFile& pe) {
  return pe.Headers().Import.Address;
}

uint32_t FirstRelocationBlock(const TPeFile& pe) {
  return pe.Headers().Relocation.Address;
}

uint32_t ExportField(const TPeFile& pe, uint32_t field) {
  return pe.Headers().Export.Address + field;
}

// Offsets inside the resource tree, from its root.
uint32_t ResourceRoot(const TPeFile& pe) {
  return pe.Headers().Resource.Address;
}
uint32_t FirstEntry(uint32_t directory) {
  return directory + 16;
}
uint32_t SubdirectoryOf(const TPeFile& pe, uint32_t entry) {
  return ResourceRoot(pe) + (pe.Rva32(entry + 4) & 0x7FFFFFFF);
}
// The first language entry under the first name under the first type.
uint32_t FirstLanguageEntry(const TPeFile& pe) {
  uint32_t names = SubdirectoryOf(pe, FirstEntry(ResourceRoot(pe)));
  uint32_t languages = SubdirectoryOf(pe, FirstEntry(names));
  return FirstEntry(languages);
}

void SetSection(TPeFile& pe, size_t index, uint32_t field, uint32_t value) {
  pe.PutU32(pe.SectionHeader(index) + field, value);
}

size_t LastSection(const TPeFile& pe) {
  return pe.Headers().Sections.size() - 1;
}

std::vector<TDamagedImage> BuildTable() {
  constexpr uint32_t VirtualSize = 8, VirtualAddress = 12, SizeOfRawData = 16,
                     PointerToRawData = 20;
  return {
      // Not a module for this processor family at all
      {"no MZ signature", "fx_reloc.dll", "not a module (no MZ signature)",
       [](TPeFile& pe) { pe.PutU16(0, 0x5A4E); }},
      {"no PE signature", "fx_reloc.dll", "not a module (no PE signature)",
       [](TPeFile& pe) { pe.PutU32(pe.Nt(), 0x00014550); }},
      {"a module for another processor", "fx_reloc.dll", "a module for another processor",
       [](TPeFile& pe) { pe.PutU16(pe.Nt() + nt::Machine, 0x01C4); }},
      {"a 32-bit module marked x86-64", "fx_reloc.dll", "a module for another processor",
       [](TPeFile& pe) { pe.PutU16(pe.Nt() + nt::Machine, nt::MachineAmd64); }},
      {"an unknown optional header kind", "fx_reloc.dll", "unknown optional header kind",
       [](TPeFile& pe) { pe.PutU16(pe.Nt() + nt::Magic, 0x107); }},
      // Headers
      {"e_lfanew past the file", "fx_reloc.dll", "NT headers outside the image",
       [](TPeFile& pe) { pe.PutU32(nt::LfanewOffset, 0x7FFFFFF0); }},
      {"NT headers across the end of the file", "fx_reloc.dll", "NT headers outside the image",
       [](TPeFile& pe) {
         pe.PutU32(nt::LfanewOffset, static_cast<uint32_t>(pe.Bytes().size()) - 0x20);
       }},
      {"truncated file", "fx_reloc.dll", "DOS header outside the image",
       [](TPeFile& pe) { pe.Bytes().resize(0x30); }},
      {"SizeOfImage 0", "fx_reloc.dll", "SizeOfImage is 0",
       [](TPeFile& pe) { pe.PutU32(pe.Nt() + nt::SizeOfImage, 0); }},
      {"SizeOfHeaders past the file", "fx_reloc.dll", "SizeOfHeaders exceeds the file",
       [](TPeFile& pe) {
         pe.PutU32(pe.Nt() + nt::SizeOfHeaders, static_cast<uint32_t>(pe.Bytes().size()) + 0x10);
       }},
      {"SizeOfHeaders cutting the NT headers", "fx_reloc.dll",
       "NT headers lie outside SizeOfHeaders",
       [](TPeFile& pe) { pe.PutU32(pe.Nt() + nt::SizeOfHeaders, pe.Nt() + 0x20); }},
      {"entry point past SizeOfImage", "fx_reloc.dll", "entry point outside the image",
       [](TPeFile& pe) { pe.PutU32(pe.Nt() + nt::AddressOfEntryPoint, 0x7FFFFFF0); }},
      // Section table
      {"NumberOfSections past the file", "fx_reloc.dll", "section table outside the image",
       [](TPeFile& pe) { pe.PutU16(pe.Nt() + nt::NumberOfSections, 0xFFFF); }},
      {"SizeOfOptionalHeader past the file", "fx_reloc.dll", "section table outside the image",
       [](TPeFile& pe) { pe.PutU16(pe.Nt() + nt::SizeOfOptionalHeader, 0xFFF0); }},
      {"section placed past SizeOfImage", "fx_reloc.dll", "section 0 extends past SizeOfImage",
       [](TPeFile& pe) { SetSection(pe, 0, VirtualAddress, 0xFFFFF000); }},
      {"section VirtualSize past SizeOfImage", "fx_reloc.dll", "section 0 extends past SizeOfImage",
       [](TPeFile& pe) { SetSection(pe, 0, VirtualSize, 0x7FFFFFFF); }},
      {"SizeOfImage cutting the last section", "fx_reloc.dll", "section 6 extends past SizeOfImage",
       [](TPeFile& pe) {
         const TImageSection& last = pe.Headers().Sections[LastSection(pe)];
         pe.PutU32(pe.Nt() + nt::SizeOfImage, last.VirtualAddress + 1);
       }},
      {"section overlapping the headers", "fx_reloc.dll", "section 0 overlaps the headers",
       [](TPeFile& pe) { SetSection(pe, 0, VirtualAddress, 0); }},
      {"section raw data past the file", "fx_reloc.dll",
       "section 0 raw data extends past the end of the file",
       [](TPeFile& pe) { SetSection(pe, 0, PointerToRawData, 0x7FFFFF00); }},
      {"section raw data across the end of the file", "fx_reloc.dll",
       "section 0 raw data extends past the end of the file",
       [](TPeFile& pe) {
         SetSection(pe, 0, PointerToRawData, static_cast<uint32_t>(pe.Bytes().size()) - 4);
       }},
      {"section SizeOfRawData past the file", "fx_reloc.dll",
       "section 0 raw data extends past the end of the file",
       [](TPeFile& pe) {
         SetSection(pe, 0, SizeOfRawData, 0x7FFFFFFF);
         SetSection(pe, 0, VirtualSize,
                    pe.Headers().SizeOfImage - pe.Headers().Sections[0].VirtualAddress);
         SetSection(pe, 1, VirtualSize, 0);
       }},
      // Base relocations
      {"relocation directory past the image", "fx_reloc.dll",
       "relocation directory outside the image",
       [](TPeFile& pe) { pe.PutU32(pe.Nt() + nt::RelocationDirectory, 0x7FFFFFF0); }},
      {"relocation directory size past the image", "fx_reloc.dll",
       "relocation directory outside the image",
       [](TPeFile& pe) { pe.PutU32(pe.Nt() + nt::RelocationDirectory + 4, 0x7FFFFFF0); }},
      {"relocation SizeOfBlock 0", "fx_reloc.dll", "relocation block smaller than its header",
       [](TPeFile& pe) { pe.PutRva32(FirstRelocationBlock(pe) + 4, 0); }},
      {"relocation SizeOfBlock 4", "fx_reloc.dll", "relocation block smaller than its header",
       [](TPeFile& pe) { pe.PutRva32(FirstRelocationBlock(pe) + 4, 4); }},
      {"relocation block past the directory", "fx_reloc.dll",
       "relocation block extends past the relocation directory",
       [](TPeFile& pe) { pe.PutRva32(FirstRelocationBlock(pe) + 4, 0x10000); }},
      {"relocation block header past the directory", "fx_reloc.dll",
       "relocation block header extends past the relocation directory",
       [](TPeFile& pe) {
         pe.PutU32(pe.Nt() + nt::RelocationDirectory + 4, pe.Headers().Relocation.Size + 4);
       }},
      {"relocation fixup past the image", "fx_reloc.dll",
       "relocation fixup outside the image's sections",
       [](TPeFile& pe) { pe.PutRva32(FirstRelocationBlock(pe), pe.Headers().SizeOfImage - 2); }},
      {"relocation fixup far past the image", "fx_reloc.dll",
       "relocation fixup outside the image's sections",
       [](TPeFile& pe) { pe.PutRva32(FirstRelocationBlock(pe), 0xFFFFF000); }},
      {"relocation fixup into the headers", "fx_reloc.dll",
       "relocation fixup outside the image's sections",
       [](TPeFile& pe) { pe.PutRva32(FirstRelocationBlock(pe), 0); }},
      // Imports
      {"import directory past the image", "fx_imports.dll", "import descriptor outside the image",
       [](TPeFile& pe) { pe.PutU32(pe.Nt() + nt::ImportDirectory, 0x7FFFFFF0); }},
      {"import descriptors across the end of the image", "fx_imports.dll",
       "import descriptor outside the image",
       [](TPeFile& pe) {
         pe.PutU32(pe.Nt() + nt::ImportDirectory, pe.AppendSection(kUnterminated) + 4);
       }},
      {"import library name past the image", "fx_imports.dll",
       "import library name outside the image",
       [](TPeFile& pe) { pe.PutRva32(FirstDescriptor(pe) + 12, 0x7FFFFFF0); }},
      {"import library name unterminated", "fx_imports.dll",
       "import library name not terminated inside the image",
       [](TPeFile& pe) { pe.PutRva32(FirstDescriptor(pe) + 12, pe.AppendSection(kUnterminated)); }},
      {"FirstThunk array past the image", "fx_imports.dll", "import thunk array outside the image",
       [](TPeFile& pe) { pe.PutRva32(FirstDescriptor(pe) + 16, 0x7FFFFFF0); }},
      {"FirstThunk array unterminated", "fx_imports.dll", "import thunk array outside the image",
       [](TPeFile& pe) {
         // Imports by ordinal 1, with no zero entry before the end of the image.
         TBytes ordinals;
         for (int i = 0; i < 4; ++i) {
           for (uint8_t byte : {0x01, 0x00, 0x00, 0x80}) {
             ordinals.push_back(byte);
           }
         }
         pe.PutRva32(FirstDescriptor(pe) + 16, pe.AppendSection(ordinals));
       }},
      {"OriginalFirstThunk array past the image (bound)", "fx_imports.dll",
       "import thunk array outside the image",
       [](TPeFile& pe) {
         pe.PutRva32(FirstDescriptor(pe) + 4, 1);
         pe.PutRva32(FirstDescriptor(pe), 0x7FFFFFF0);
       }},
      {"import name past the image", "fx_imports.dll", "imported function name outside the image",
       [](TPeFile& pe) { pe.PutRva32(pe.Rva32(FirstDescriptor(pe) + 16), 0x7FFFFFF0); }},
      {"import name unterminated", "fx_imports.dll",
       "imported function name not terminated inside the image",
       [](TPeFile& pe) {
         uint32_t extra = pe.AppendSection(kUnterminated);
         pe.PutRva32(pe.Rva32(FirstDescriptor(pe) + 16), extra);
       }},
      {"import slot array shorter than the bound name array", "fx_imports.dll",
       "import address table slot outside the image",
       [](TPeFile& pe) {
         // Two named imports: the second slot falls outside.
         uint32_t descriptor = pe.ImportDescriptor("KERNEL32.dll");
         pe.PutRva32(descriptor + 4, 1);
         pe.PutRva32(descriptor + 16, pe.Headers().SizeOfImage - 4);
       }},
      // Exports
      {"export directory past the image", "fx_imports.dll", "export directory outside the image",
       [](TPeFile& pe) { pe.PutU32(pe.Nt() + nt::ExportDirectory, 0x7FFFFFF0); }},
      {"export name table past the image", "fx_imports.dll", "export name table outside the image",
       [](TPeFile& pe) { pe.PutRva32(ExportField(pe, 32), 0x7FFFFFF0); }},
      {"export NumberOfNames past the image", "fx_imports.dll",
       "export name table outside the image",
       [](TPeFile& pe) { pe.PutRva32(ExportField(pe, 24), 0x3FFFFFFF); }},
      {"export ordinal table past the image", "fx_imports.dll",
       "export ordinal table outside the image",
       [](TPeFile& pe) { pe.PutRva32(ExportField(pe, 36), 0x7FFFFFF0); }},
      {"export address table past the image", "fx_imports.dll",
       "export address table outside the image",
       [](TPeFile& pe) { pe.PutRva32(ExportField(pe, 28), 0x7FFFFFF0); }},
      {"export name past the image", "fx_imports.dll", "export name outside the image",
       [](TPeFile& pe) { pe.PutRva32(pe.Rva32(ExportField(pe, 32)), 0x7FFFFFF0); }},
      {"export name unterminated", "fx_imports.dll", "export name not terminated inside the image",
       [](TPeFile& pe) {
         uint32_t extra = pe.AppendSection(kUnterminated);
         pe.PutRva32(pe.Rva32(ExportField(pe, 32)), extra);
       }},
      {"export ordinal beyond NumberOfFunctions", "fx_imports.dll",
       "export ordinal beyond the export address table",
       [](TPeFile& pe) { pe.PutU16(pe.FileOffset(pe.Rva32(ExportField(pe, 36))), 0xFFFF); }},
      {"exported function past the image", "fx_imports.dll", "exported function outside the image",
       [](TPeFile& pe) { pe.PutRva32(pe.ExportFunctionEntry("CallAdd"), 0x7FFFFFF0); }},
      // Resources
      {"resource directory past the image", "fx_resources.dll",
       "resource directory outside the image",
       [](TPeFile& pe) { pe.PutU32(pe.Nt() + nt::ResourceDirectory, 0x7FFFFFF0); }},
      {"resource entries past the image", "fx_resources.dll",
       "resource directory entries outside the image",
       [](TPeFile& pe) { pe.PutU16(pe.FileOffset(ResourceRoot(pe) + 14), 0xFFFF); }},
      {"resource subdirectory past the image", "fx_resources.dll",
       "resource directory outside the image",
       [](TPeFile& pe) { pe.PutRva32(FirstEntry(ResourceRoot(pe)) + 4, 0xFFFFFFF0); }},
      {"resource tree cycle", "fx_resources.dll", "resource directory reached twice (a cycle)",
       [](TPeFile& pe) { pe.PutRva32(FirstEntry(ResourceRoot(pe)) + 4, 0x80000000); }},
      {"resource tree deeper cycle", "fx_resources.dll",
       "resource directory reached twice (a cycle)",
       [](TPeFile& pe) {
         uint32_t names = SubdirectoryOf(pe, FirstEntry(ResourceRoot(pe)));
         pe.PutRva32(FirstEntry(names) + 4, 0x80000000);
       }},
      {"resource tree with two levels", "fx_resources.dll",
       "resource tree has fewer than three levels",
       [](TPeFile& pe) {
         uint32_t names = SubdirectoryOf(pe, FirstEntry(ResourceRoot(pe)));
         pe.PutRva32(FirstEntry(names) + 4, pe.Rva32(FirstLanguageEntry(pe) + 4));
       }},
      {"resource name string past the image", "fx_resources.dll", "resource name outside the image",
       [](TPeFile& pe) {
         uint32_t names = SubdirectoryOf(pe, FirstEntry(ResourceRoot(pe)));
         pe.PutRva32(FirstEntry(names), 0xFFFFFFF0);
       }},
      {"resource data entry past the image", "fx_resources.dll",
       "resource data entry outside the image",
       [](TPeFile& pe) { pe.PutRva32(FirstLanguageEntry(pe) + 4, 0x7FFFFFF0); }},
      {"resource data past the image", "fx_resources.dll", "resource data outside the image",
       [](TPeFile& pe) {
         uint32_t data = ResourceRoot(pe) + pe.Rva32(FirstLanguageEntry(pe) + 4);
         pe.PutRva32(data, 0x7FFFFFF0);
       }},
      {"resource data size past the image", "fx_resources.dll", "resource data outside the image",
       [](TPeFile& pe) {
         uint32_t data = ResourceRoot(pe) + pe.Rva32(FirstLanguageEntry(pe) + 4);
         pe.PutRva32(data + 4, 0x7FFFFFF0);
       }},
  };
}

}  // namespace

const std::vector<TDamagedImage>& DamagedImages() {
  static const std::vector<TDamagedImage> table = BuildTable();
  return table;
}

std::string TestNameOf(const TDamagedImage& row) {
  std::string name;
  for (char c : row.Name) {
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  }
  return name;
}

TBytes MakeDamaged(const TDamagedImage& row) {
  TPeFile pe(ReadFixture(row.Fixture));
  row.Damage(pe);
  return pe.Bytes();
}

}  // namespace leafbook::testing
