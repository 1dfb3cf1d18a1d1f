// The portable image code on the fixture DLLs: layout, relocation, import
// plan, export and resource lookups, and the refusal of every damaged image.
// Built natively (under the sanitizers) and in the Windows build.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "runtime/ImageExports.h"
#include "runtime/ImageMapping.h"
#include "runtime/ImageResources.h"
#include "tests/runtime/DamagedImages.h"
#include "tests/runtime/ImageFixtures.h"

namespace leafbook::testing {
namespace {

// A base no fixture prefers.
constexpr uint32_t kOtherBase = 0x00A40000;
constexpr uint8_t kFill = 0xCC;

struct TPrepared {
  TImageHeaders Headers;
  TBytes Image;
  std::vector<TImportLibrary> Imports;

  TImageView View() const { return TImageView(Image.data(), Image.size()); }
  uint32_t Export(const char* name) const {
    auto found = FindExportAddress(View(), Headers.Export.Address, [name](const char* stored) {
      return std::strcmp(stored, name) == 0;
    });
    if (!found) {
      throw std::runtime_error(std::string("no export ") + name);
    }
    return *found;
  }
  uint32_t U32(uint32_t offset) const { return View().U32(offset, "test"); }
};

// Image memory starts filled with kFill so that what the layout does not write
// stays visible.
TPrepared Prepare(const TBytes& file, uint32_t base) {
  TPrepared p;
  p.Headers = ReadImageHeaders(file);
  p.Image.assign(p.Headers.SizeOfImage, kFill);
  p.Imports = PrepareImage(file, p.Headers, p.Image, base);
  return p;
}

class ImageValidation : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FixtureExists("fx_reloc.dll")) {
      GTEST_SKIP() << "fixture DLLs were not built (no i686 mingw-w64 compiler)";
    }
  }
};

TEST_F(ImageValidation, EveryFixtureMapsAtAnotherBase) {
  for (const char* name : {"fx_target.dll", "fx_imports.dll", "fx_reloc.dll", "fx_resources.dll"}) {
    SCOPED_TRACE(name);
    EXPECT_NO_THROW(Prepare(ReadFixture(name), kOtherBase));
  }
}

TEST_F(ImageValidation, RelocationsFollowTheBase) {
  TBytes file = ReadFixture("fx_reloc.dll");
  uint32_t preferred = ReadImageHeaders(file).ImageBase;
  ASSERT_NE(preferred, kOtherBase);
  struct {
    const char* Case;
    uint32_t Base;
  } cases[] = {{"another base", kOtherBase}, {"preferred base (delta 0)", preferred}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    TPrepared p = Prepare(file, c.Base);
    uint32_t values = p.Export("Values");
    uint32_t table = p.Export("Table");
    for (uint32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(p.U32(table + i * 4), c.Base + values + i * 4);
      EXPECT_EQ(p.U32(values + i * 4), (i + 1) * 10);
    }
  }
}

TEST_F(ImageValidation, EveryNonZeroFixupTypeAddsTheWholeDelta) {
  TPeFile pe(ReadFixture("fx_reloc.dll"));
  uint32_t block = pe.Headers().Relocation.Address;
  uint32_t page = pe.Rva32(block);
  uint16_t first = pe.U16(pe.FileOffset(block + 8));
  uint32_t target = page + (first & 0xFFF);
  TPrepared plain = Prepare(pe.Bytes(), pe.Headers().ImageBase);
  for (uint16_t type : {1, 2, 10, 15}) {
    SCOPED_TRACE(type);
    pe.PutU16(pe.FileOffset(block + 8), static_cast<uint16_t>((type << 12) | (first & 0xFFF)));
    TPrepared moved = Prepare(pe.Bytes(), kOtherBase);
    EXPECT_EQ(moved.U32(target), plain.U32(target) + (kOtherBase - pe.Headers().ImageBase));
  }
  // Type 0 is padding: the value stays as linked.
  pe.PutU16(pe.FileOffset(block + 8), first & 0xFFF);
  EXPECT_EQ(Prepare(pe.Bytes(), kOtherBase).U32(target), plain.U32(target));
}

TEST_F(ImageValidation, VirtualSizeGovernsTheSectionCopy) {
  TPeFile pe(ReadFixture("fx_reloc.dll"));
  TPrepared linked = Prepare(pe.Bytes(), kOtherBase);
  uint32_t values = linked.Export("Values");
  size_t data = pe.SectionOf(values);
  TImageSection s = pe.Headers().Sections[data];
  ASSERT_GT(s.SizeOfRawData, s.VirtualSize) << "expected file alignment padding in .data";
  // Raw data beyond VirtualSize is not copied: the rest of the section's page
  // stays as the allocation left it.
  std::memset(pe.Bytes().data() + s.PointerToRawData + s.VirtualSize, 0xAB,
              s.SizeOfRawData - s.VirtualSize);
  TPrepared p = Prepare(pe.Bytes(), kOtherBase);
  EXPECT_EQ(p.Image[s.VirtualAddress + s.VirtualSize], kFill);

  // Raw data smaller than VirtualSize: the rest is zero-filled.
  uint32_t zeroed = p.Export("Zeroed");
  TImageSection bss = pe.Headers().Sections[pe.SectionOf(zeroed)];
  ASSERT_LT(bss.SizeOfRawData, bss.VirtualSize);
  for (uint32_t i = 0; i < bss.VirtualSize; ++i) {
    ASSERT_EQ(p.Image[bss.VirtualAddress + i], 0) << "offset " << i;
  }

  // A section whose VirtualSize is 0 stays empty.
  pe.PutU32(pe.SectionHeader(data) + 8, 0);
  TPrepared empty = Prepare(pe.Bytes(), pe.Headers().ImageBase);
  EXPECT_EQ(empty.Image[s.VirtualAddress], kFill);
}

TEST_F(ImageValidation, ImportPlanListsLibrariesNamesAndOrdinals) {
  TPrepared p = Prepare(ReadFixture("fx_imports.dll"), kOtherBase);
  std::vector<std::string> seen;
  for (const TImportLibrary& library : p.Imports) {
    for (const TImportThunk& thunk : library.Thunks) {
      seen.push_back(
          library.Name + "!" +
          (thunk.ByOrdinal ? std::string("#") + std::to_string(thunk.Ordinal) : thunk.Name));
      EXPECT_TRUE(p.View().Fits(thunk.Slot, 4));
    }
  }
  for (const char* expected : {"fx_target.dll!Add", "fx_target.dll!Sub", "fx_target.dll!#7",
                               "fx_target.dll!Missing", "fx_absent.dll!Ghost"}) {
    EXPECT_NE(std::find(seen.begin(), seen.end(), expected), seen.end()) << expected;
  }
}

// A bound descriptor (TimeDateStamp not 0) takes its names from
// OriginalFirstThunk; an unbound one from FirstThunk. The slots are FirstThunk's.
TEST_F(ImageValidation, BoundDescriptorsReadNamesFromOriginalFirstThunk) {
  TPeFile pe(ReadFixture("fx_imports.dll"));
  // A descriptor with two named imports; the linker decides where it stands.
  uint32_t descriptor = pe.ImportDescriptor("KERNEL32.dll");
  uint32_t original = pe.Rva32(descriptor);
  uint32_t first = pe.Rva32(descriptor + 16);
  // Point every FirstThunk entry at the first entry's name.
  uint32_t decoy = pe.Rva32(first);
  for (uint32_t i = 1; pe.Rva32(first + i * 4) != 0; ++i) {
    pe.PutRva32(first + i * 4, decoy);
  }
  auto kernel32 = [](const TPrepared& p) -> const TImportLibrary& {
    for (const TImportLibrary& library : p.Imports) {
      if (library.Name == "KERNEL32.dll") {
        return library;
      }
    }
    throw std::runtime_error("KERNEL32.dll not imported");
  };
  auto namesOf = [&](const TPrepared& p) {
    std::vector<std::string> names;
    for (const TImportThunk& thunk : kernel32(p).Thunks) {
      names.push_back(thunk.Name);
    }
    return names;
  };
  std::vector<std::string> fromFirst = namesOf(Prepare(pe.Bytes(), kOtherBase));
  pe.PutRva32(descriptor + 4, 0x12345678);
  TPrepared bound = Prepare(pe.Bytes(), kOtherBase);
  std::vector<std::string> fromOriginal = namesOf(bound);
  ASSERT_GE(fromFirst.size(), 2u);
  EXPECT_EQ(fromFirst[1], fromFirst[0]);
  EXPECT_NE(fromOriginal[1], fromOriginal[0]);
  EXPECT_NE(original, first);
  const TImportLibrary& boundKernel32 = kernel32(bound);
  for (size_t i = 0; i < boundKernel32.Thunks.size(); ++i) {
    EXPECT_EQ(boundKernel32.Thunks[i].Slot, first + i * 4);
  }
}

TEST(LibraryFileName, DropsAnyDirectoryPart) {
  EXPECT_EQ(LibraryFileName("KERNEL32.dll"), "KERNEL32.dll");
  EXPECT_EQ(LibraryFileName("C:\\Windows\\system32\\user32.dll"), "user32.dll");
  EXPECT_EQ(LibraryFileName("lib/zlib1.dll"), "zlib1.dll");
  EXPECT_EQ(LibraryFileName("D:winmm.dll"), "winmm.dll");
  EXPECT_EQ(LibraryFileName(""), "");
}

TEST_F(ImageValidation, ExportsMatchCaseSensitively) {
  TPrepared p = Prepare(ReadFixture("fx_imports.dll"), kOtherBase);
  auto find = [&p](const char* name) {
    return FindExportAddress(p.View(), p.Headers.Export.Address,
                             [name](const char* stored) { return std::strcmp(stored, name) == 0; });
  };
  EXPECT_TRUE(find("CallAdd").has_value());
  EXPECT_FALSE(find("calladd").has_value());
  EXPECT_FALSE(find("CallAdd2").has_value());
  EXPECT_FALSE(find("").has_value());
}

TEST_F(ImageValidation, ResourcesByTypeNameAndLanguage) {
  TPrepared p = Prepare(ReadFixture("fx_resources.dll"), kOtherBase);
  auto text = [&p](uint16_t type, TResourceName name, uint32_t language) -> std::string {
    auto found = FindResourceData(p.View(), p.Headers.Resource.Address, type, name, language);
    if (!found) {
      return "(none)";
    }
    return std::string(reinterpret_cast<const char*>(p.Image.data() + found->Address));
  };
  auto id = [](uint16_t value) {
    TResourceName name;
    name.Id = value;
    return name;
  };
  auto named = [](std::u16string value) {
    TResourceName name;
    name.IsId = false;
    name.Equals = [value](const std::u16string& stored) { return stored == value; };
    return name;
  };
  constexpr uint16_t RcData = 10;
  EXPECT_EQ(text(RcData, id(102), 0x0407), "Deutsch");
  EXPECT_EQ(text(RcData, id(102), 0x0409), "U.S. English");
  EXPECT_EQ(text(RcData, id(102), 0), "neutral");
  EXPECT_EQ(text(RcData, id(102), 0x040C), "(none)");
  EXPECT_EQ(text(RcData, id(100), 0), "neutral only");
  EXPECT_EQ(text(RcData, id(100), 0x0409), "(none)");
  EXPECT_EQ(text(RcData, id(101), 0x0409), "U.S. English only");
  EXPECT_EQ(text(RcData, id(999), 0x0409), "(none)");
  EXPECT_EQ(text(99, id(102), 0x0409), "(none)");
  // Only the low 16 bits of the language take part.
  EXPECT_EQ(text(RcData, id(102), 0x00010407), "Deutsch");

  EXPECT_TRUE(FindResourceData(p.View(), p.Headers.Resource.Address, 12, named(u"ARROW"), 0));
  EXPECT_FALSE(FindResourceData(p.View(), p.Headers.Resource.Address, 12, named(u"Arrow"), 0));
  EXPECT_TRUE(FindResourceData(p.View(), p.Headers.Resource.Address, 12, id(1), 0));
  EXPECT_TRUE(FindResourceData(p.View(), p.Headers.Resource.Address, 1, id(1), 0));
  EXPECT_TRUE(FindResourceData(p.View(), p.Headers.Resource.Address, 4, id(1), 0));
}

TEST_F(ImageValidation, ALookupByNameAmongManyLongNamesStaysBounded) {
  // One type whose 6,500 named entries all point at the same 65,535-character
  // name (zeros), each with an empty language directory of its own: compared
  // whole, one lookup would read 425 million characters.
  constexpr uint32_t kEntries = 6500;
  const uint32_t names = 24;
  const uint32_t languages = names + 16 + kEntries * 8;
  const uint32_t name = languages + kEntries * 16;
  TBytes tree(name + 2 + 0xFFFF * 2, 0);
  auto put16 = [&tree](uint32_t at, uint16_t value) {
    tree[at] = static_cast<uint8_t>(value);
    tree[at + 1] = static_cast<uint8_t>(value >> 8);
  };
  auto put32 = [&](uint32_t at, uint32_t value) {
    put16(at, static_cast<uint16_t>(value));
    put16(at + 2, static_cast<uint16_t>(value >> 16));
  };
  put16(14, 1);  // the root: one type by identifier
  put32(16, 3);
  put32(20, 0x80000000 | names);
  put16(names + 12, static_cast<uint16_t>(kEntries));  // named entries
  for (uint32_t i = 0; i < kEntries; ++i) {
    put32(names + 16 + i * 8, 0x80000000 | name);
    put32(names + 20 + i * 8, 0x80000000 | (languages + i * 16));
  }
  put16(name, 0xFFFF);

  TPeFile pe(ReadFixture("fx_resources.dll"));
  const uint32_t root = pe.AppendSection(tree);
  pe.PutU32(pe.Nt() + nt::ResourceDirectory, root);
  pe.PutU32(pe.Nt() + nt::ResourceDirectory + 4, static_cast<uint32_t>(tree.size()));
  TPrepared p = Prepare(pe.Bytes(), kOtherBase);

  TResourceName wanted;
  wanted.IsId = false;
  int compared = 0;
  wanted.Equals = [&compared](const std::u16string&) {
    ++compared;
    return false;
  };
  EXPECT_FALSE(FindResourceData(p.View(), p.Headers.Resource.Address, 3, wanted, 0));
  // The names read stay within a budget: a few of these, not thousands.
  EXPECT_GT(compared, 0);
  EXPECT_LT(compared, 20);
}

TEST_F(ImageValidation, ProductVersionOfTheVersionResource) {
  TPrepared p = Prepare(ReadFixture("fx_resources.dll"), kOtherBase);
  TResourceName one;
  one.Id = 1;
  auto version = FindResourceData(p.View(), p.Headers.Resource.Address, 16, one, 0x0409);
  ASSERT_TRUE(version);
  EXPECT_EQ(ProductVersionFromResource(p.View(), *version), 0x09001C00u);
  // A record cut short gives 0 rather than a read past the resource.
  EXPECT_EQ(ProductVersionFromResource(p.View(), TResourceData{version->Address, 40}), 0u);
  EXPECT_EQ(ProductVersionFromResource(p.View(), TResourceData{0xFFFFFFF0, 16}), 0u);
}

TEST_F(ImageValidation, ForeignDllPrepares) {
  if (!FixtureExists("zlib1.dll")) {
    GTEST_SKIP() << "zlib1.dll (libz-mingw-w64) is not installed";
  }
  TPrepared p = Prepare(ReadFixture("zlib1.dll"), kOtherBase);
  EXPECT_FALSE(p.Imports.empty());
  EXPECT_NO_THROW(p.Export("crc32"));
}

class DamagedImage : public ::testing::TestWithParam<TDamagedImage> {};

TEST_P(DamagedImage, IsRefused) {
  if (!FixtureExists(GetParam().Fixture)) {
    GTEST_SKIP() << "fixture DLLs were not built";
  }
  TBytes file = MakeDamaged(GetParam());
  try {
    TImageHeaders headers = ReadImageHeaders(file);
    TBytes image(headers.SizeOfImage);
    PrepareImage(file, headers, image, kOtherBase);
    ADD_FAILURE() << "accepted";
  } catch (const EBadImage& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr(GetParam().Reason));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedImage, ::testing::ValuesIn(DamagedImages()),
                         [](const auto& info) { return TestNameOf(info.param); });

}  // namespace
}  // namespace leafbook::testing
