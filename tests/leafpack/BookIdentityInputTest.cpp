// Input the book identity refuses, each with a message that says what is
// wrong (damaged viewers, bad icon files, version numbers), and the checksum
// of whole files read in pieces.
#include <gtest/gtest.h>

#include <functional>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "tests/leafpack/IdentityFixture.h"
#include "tests/package/PackageFixture.h"
#include "tools/leafpack/BookIdentity.h"
#include "tools/leafpack/PeImage.h"

namespace leafbook::leafpack {
namespace {

using testing::DataDirectoryOffset;
using testing::IcoBytes;
using testing::kPeOffset;
using testing::kResourceRaw;
using testing::OptionalHeaderOffset;
using testing::PngBytes;
using testing::ReferenceChecksum;
using testing::SectionTableOffset;
using testing::TSyntheticPe;
using testing::TTempDir;
using testing::WriteBytes;

constexpr uint32_t kSubdirectory = 0x80000000u;

// The offset in the file of the first directory below the one at offset
// (relative to the tree) through its first entry.
uint64_t FirstChild(const std::vector<uint8_t>& image, uint64_t directory) {
  return kResourceRaw + (Get32(image, kResourceRaw + directory + 16 + 4) & ~kSubdirectory);
}

struct TDamage {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> damage;
  const char* message;
};

class DamagedViewerTest : public ::testing::TestWithParam<TDamage> {};

TEST_P(DamagedViewerTest, IsRefusedWithAMessage) {
  std::vector<uint8_t> viewer = TSyntheticPe{}.Bytes();
  GetParam().damage(viewer);
  TBookIdentity identity;
  identity.ProductName = "Book";
  try {
    ApplyBookIdentity(viewer, identity);
    FAIL() << "accepted";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(GetParam().message), std::string::npos) << e.Message();
  }
}

const uint64_t kTable = SectionTableOffset(false);

INSTANTIATE_TEST_SUITE_P(
    Viewers, DamagedViewerTest,
    ::testing::Values(
        TDamage{"Empty", [](auto& b) { b.clear(); }, "not a PE image"},
        TDamage{"HeadersCutShort", [](auto& b) { b.resize(kPeOffset + 30); }, "not a PE image"},
        TDamage{"NoMz", [](auto& b) { b[0] = 'X'; }, "not a PE image"},
        TDamage{"NoPeSignature", [](auto& b) { b[kPeOffset + 2] = 'X'; }, "not a PE image"},
        TDamage{"PeOffsetPastTheEnd", [](auto& b) { Put32(b, 0x3c, 0xfffffff0); },
                "not a PE image"},
        TDamage{"UnknownMagic", [](auto& b) { Put16(b, OptionalHeaderOffset(), 0x107); },
                "unknown magic"},
        TDamage{"SectionTableCutShort", [](auto& b) { Put16(b, kPeOffset + 6, 0xffff); },
                "section table"},
        TDamage{"ZeroFileAlignment", [](auto& b) { Put32(b, OptionalHeaderOffset() + 36, 0); },
                "alignment"},
        TDamage{"TooManyDataDirectories",
                [](auto& b) { Put32(b, OptionalHeaderOffset() + 92, 17); }, "data directories"},
        TDamage{"SectionDataPastTheEnd", [](auto& b) { Put32(b, kTable + 40 + 20, 0x10000000); },
                "section 2 lies past the end"},
        TDamage{"Signed",
                [](auto& b) {
                  Put32(b, DataDirectoryOffset(false, 4), 0x1000);
                  Put32(b, DataDirectoryOffset(false, 4) + 4, 0x100);
                },
                "signed"},
        TDamage{"NoHeaderRoom",
                [](auto& b) { Put32(b, OptionalHeaderOffset() + 60, kTable + 3 * 40); },
                "no room for one more section header"},
        TDamage{"BytesAfterTheSectionTable", [](auto& b) { b[kTable + 3 * 40 + 39] = 1; },
                "no room for one more section header"},
        TDamage{"ResourceDirectoryOutsideSections",
                [](auto& b) { Put32(b, DataDirectoryOffset(false, 2), 0x900000); },
                "outside the file's sections"},
        TDamage{"EntryOffsetOutOfRange",
                [](auto& b) { Put32(b, kResourceRaw + 16 + 4, kSubdirectory | 0x7ffffff0); },
                "outside the resource section"},
        TDamage{"EntryCountOutOfRange", [](auto& b) { Put16(b, kResourceRaw + 14, 0xffff); },
                "outside the resource section"},
        TDamage{"NameOutOfRange",
                [](auto& b) { Put32(b, kResourceRaw + 16, kSubdirectory | 0x7ffffff0); },
                "outside the resource section"},
        TDamage{"Loop",
                [](auto& b) {
                  const uint64_t type = FirstChild(b, 0);
                  Put32(b, type + 16 + 4, kSubdirectory);
                },
                "loop"},
        TDamage{"DataEntryWhereADirectoryBelongs",
                [](auto& b) {
                  Put32(b, kResourceRaw + 16 + 4, Get32(b, kResourceRaw + 16 + 4) & ~kSubdirectory);
                },
                "wrong level"},
        TDamage{"EntriesSharingData",
                [](auto& b) {
                  const uint64_t type = FirstChild(b, 0);
                  const uint64_t name = FirstChild(b, type - kResourceRaw);
                  const uint64_t data = kResourceRaw + Get32(b, name + 16 + 4);
                  Put32(b, data, testing::kResourceRva);
                  Put32(b, data + 4, static_cast<uint32_t>(b.size() / 2));
                  Put16(b, name + 14, 3);
                  for (uint64_t i = 1; i < 3; ++i) {
                    Put32(b, name + 16 + 8 * i, Get32(b, name + 16));
                    Put32(b, name + 16 + 8 * i + 4, Get32(b, name + 16 + 4));
                  }
                },
                "more than the file"},
        TDamage{"DataOutsideTheFile",
                [](auto& b) {
                  const uint64_t type = FirstChild(b, 0);
                  const uint64_t name = FirstChild(b, type - kResourceRaw);
                  const uint64_t data = kResourceRaw + Get32(b, name + 16 + 4);
                  Put32(b, data, 0x7ffff000);
                },
                "outside the file"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TIconCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;
  const char* message;
};

class BadIconTest : public ::testing::TestWithParam<TIconCase> {};

TEST_P(BadIconTest, IsRefusedNamingTheFile) {
  TTempDir dir;
  TBookIdentity identity;
  for (const auto& [name, bytes] : GetParam().files) {
    if (bytes != "(missing)") {
      WriteBytes(dir.Path() / name, bytes);
    }
    identity.IconFiles.push_back(dir.File(name));
  }
  try {
    ApplyBookIdentity(TSyntheticPe{}.Bytes(), identity);
    FAIL() << "accepted";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(GetParam().message), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find(identity.IconFiles.back()), std::string::npos) << e.Message();
  }
}

std::string IcoWithImageSize(uint32_t size) {
  std::string ico = IcoBytes();
  for (int i = 0; i < 4; ++i) {
    ico[14 + i] = static_cast<char>(size >> (8 * i));
  }
  return ico;
}

const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);

INSTANTIATE_TEST_SUITE_P(
    Files, BadIconTest,
    ::testing::Values(
        TIconCase{"IcoWithoutImages", {{"a.ico", std::string("\0\0\1\0\0\0", 6)}}, "no images"},
        TIconCase{"IcoCutShort", {{"a.ico", IcoBytes().substr(0, 12)}}, "cut short"},
        TIconCase{"NotAnIco", {{"a.ico", "GIF89a"}}, "not an .ico"},
        TIconCase{"IcoImagePastTheEnd", {{"a.ico", IcoWithImageSize(100000)}}, "outside the file"},
        TIconCase{"IcoEmptyImage", {{"a.ico", IcoWithImageSize(0)}}, "outside the file"},
        TIconCase{"PngWithoutSignature",
                  {{"a.png", "not a PNG image, though named one"}},
                  "no PNG signature"},
        TIconCase{
            "PngWithoutHeader",
            {{"a.png", kPngSignature + std::string("\0\0\0\x0dIDAT", 8) + std::string(13, 1)}},
            "IHDR"},
        TIconCase{"PngTooWide", {{"a.png", PngBytes(300, 16)}}, "at most 256x256"},
        TIconCase{"PngWithoutPixels", {{"a.png", PngBytes(0, 16)}}, "at most 256x256"},
        TIconCase{"IcoThenPng", {{"a.ico", IcoBytes()}, {"b.png", PngBytes(16, 16)}}, "alone"},
        TIconCase{"PngThenIco", {{"b.png", PngBytes(16, 16)}, {"a.ico", IcoBytes()}}, "alone"},
        TIconCase{"TwoIcos", {{"a.ico", IcoBytes()}, {"b.ico", IcoBytes()}}, "alone"},
        TIconCase{"NeitherIcoNorPng", {{"a.bmp", "BM"}}, ".ico file or as .png"},
        TIconCase{"Missing", {{"gone.png", "(missing)"}}, "cannot be opened"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseVersionNumber, TakesOneToFourNumbersUpTo65535) {
  const std::pair<const char*, std::optional<TVersionNumber>> cases[] = {
      {"1", TVersionNumber{1, 0, 0, 0}},
      {"1.2", TVersionNumber{1, 2, 0, 0}},
      {"1.2.3", TVersionNumber{1, 2, 3, 0}},
      {"65535.0.10.0099", TVersionNumber{65535, 0, 10, 99}},
      {"", std::nullopt},
      {"1.", std::nullopt},
      {".1", std::nullopt},
      {"1..2", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"65536", std::nullopt},
      {"99999999999", std::nullopt},
      {"1.-2", std::nullopt},
      {"1.2a", std::nullopt},
      {" 1", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseVersionNumber(text), expected) << text;
  }
}

TEST(UpdatePeChecksum, SumsAWholeFileLargerThanItsPiecesWithAnOddLength) {
  TTempDir dir;
  TSyntheticPe pe;
  for (size_t i = 0; i < (3u << 20) + 1; ++i) {
    pe.Trailer.push_back(static_cast<char>(i * 7919 >> 3));
  }
  std::vector<uint8_t> image = pe.Bytes();
  WriteBytes(dir.Path() / "book.exe", std::string(image.begin(), image.end()));
  {
    TFileStream file(dir.File("book.exe"), platform::TFileMode::OpenReadWrite);
    EXPECT_TRUE(UpdatePeChecksum(file));
  }
  const std::string written = testing::ReadBytes(dir.Path() / "book.exe");
  const std::vector<uint8_t> book(written.begin(), written.end());
  const uint64_t field = OptionalHeaderOffset() + 64;
  EXPECT_EQ(Get32(book, field), ReferenceChecksum(image, field));
  EXPECT_EQ(Get32(book, field), PeChecksum(image));
  Put32(image, field, Get32(book, field));
  EXPECT_EQ(book, image) << "only the checksum field changes";
}

TEST(UpdatePeChecksum, LeavesAFileThatIsNoPeImageAlone) {
  std::vector<uint8_t> noPe = TSyntheticPe{}.Bytes();
  noPe[kPeOffset] = 'N';
  const std::string headerOnly(std::string("MZ") + std::string(62, '\0'));
  for (const std::string& bytes :
       {std::string(), std::string("MZ"), headerOnly, std::string(noPe.begin(), noPe.end())}) {
    TStringStream file(bytes);
    EXPECT_FALSE(UpdatePeChecksum(file));
    EXPECT_EQ(file.DataString(), bytes);
  }
}

}  // namespace
}  // namespace leafbook::leafpack
