// The book's identity written into synthetic PE32 and PE32+ viewers, read
// back by the project's own parser and by an independent one (pefile), the
// checksum against a reference computation, and refusals of damaged input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "tests/leafpack/IdentityFixture.h"
#include "tests/package/PackageFixture.h"
#include "tools/leafpack/BookIdentity.h"
#include "tools/leafpack/Leafpack.h"
#include "tools/leafpack/PeImage.h"
#include "tools/leafpack/PeResources.h"
#include "tools/leafpack/VersionInfo.h"

namespace leafbook::leafpack {
namespace {

using testing::IcoBytes;
using testing::IcoImage;
using testing::PngBytes;
using testing::ReadBytes;
using testing::ReferenceChecksum;
using testing::TSyntheticPe;
using testing::TTempDir;
using testing::WriteBytes;

std::vector<uint8_t> ToBytes(const std::string& text) {
  return {text.begin(), text.end()};
}

TResourceName Id(uint16_t id) {
  return {u"", id};
}

const TResource* Find(const std::vector<TResource>& resources, const TResourceName& type,
                      const TResourceName& name) {
  for (const TResource& resource : resources) {
    if (resource.Type == type && resource.Name == name) {
      return &resource;
    }
  }
  return nullptr;
}

size_t CountOfType(const std::vector<TResource>& resources, uint16_t type) {
  return static_cast<size_t>(std::count_if(resources.begin(), resources.end(),
                                           [&](const TResource& r) { return r.Type == Id(type); }));
}

TBookIdentity SampleIdentity(std::vector<std::string> icons) {
  TBookIdentity identity;
  identity.IconFiles = std::move(icons);
  identity.FileVersion = TVersionNumber{2, 1, 0, 7};
  identity.ProductName = "Le Livre";
  identity.CompanyName = "Éditions Été ©";
  identity.LegalCopyright = "© 2026 Éditions Été";
  identity.OriginalFilename = "livre.exe";
  return identity;
}

class BookIdentityTest : public ::testing::TestWithParam<bool> {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    WriteBytes(dir_.Path() / name, bytes);
    return dir_.File(name);
  }
  std::vector<std::string> TwoPngs() {
    return {Write("small.png", PngBytes(32, 32)), Write("large.png", PngBytes(256, 256))};
  }

  TTempDir dir_;
};

TEST_P(BookIdentityTest, KeepsEveryOtherResourceAndAddsTheBooksInANewLastSection) {
  const std::vector<uint8_t> viewer = TSyntheticPe{GetParam()}.Bytes();
  const TBookIdentity identity = SampleIdentity(TwoPngs());
  const std::vector<uint8_t> book = ApplyBookIdentity(viewer, identity);

  const TPeImage before(viewer);
  const TPeImage after(book);
  EXPECT_EQ(after.Pe32Plus(), GetParam());
  ASSERT_EQ(after.Sections().size(), before.Sections().size() + 1);
  const TPeSection& added = after.Sections().back();
  const TPeSection& previous = before.Sections().back();
  EXPECT_EQ(added.Name, ".rsrc2");
  EXPECT_EQ(added.VirtualAddress, AlignUp(previous.VirtualAddress + previous.VirtualSize, 0x1000));
  EXPECT_EQ(added.PointerToRawData, viewer.size());
  EXPECT_EQ(added.SizeOfRawData % 0x200, 0u);
  EXPECT_EQ(added.Characteristics, 0x40000040u);
  EXPECT_EQ(book.size(), added.PointerToRawData + added.SizeOfRawData);
  EXPECT_EQ(after.SizeOfImage(), AlignUp(added.VirtualAddress + added.VirtualSize, 0x1000));
  EXPECT_EQ(after.SizeOfInitializedData(), before.SizeOfInitializedData() + added.SizeOfRawData);
  EXPECT_EQ(after.DataDirectory(ResourceDirectory).Rva, added.VirtualAddress);
  EXPECT_EQ(after.DataDirectory(ResourceDirectory).Size, added.VirtualSize);
  EXPECT_TRUE(std::equal(viewer.begin() + before.SizeOfHeaders(), viewer.end(),
                         book.begin() + before.SizeOfHeaders()))
      << "the viewer's sections moved or changed";
  EXPECT_EQ(Get32(book, after.ChecksumOffset()), ReferenceChecksum(book, after.ChecksumOffset()));

  const std::vector<TResource> resources = ReadResources(after, book);
  for (const TResource& kept : TSyntheticPe::DefaultResources()) {
    if (kept.Type == Id(RtManifest) || kept.Type.IsString()) {
      const TResource* found = Find(resources, kept.Type, kept.Name);
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->Data, kept.Data);
      EXPECT_EQ(found->Language, kept.Language);
      EXPECT_EQ(found->CodePage, kept.CodePage);
    }
  }
  EXPECT_EQ(CountOfType(resources, RtGroupIcon), 1u);
  EXPECT_EQ(CountOfType(resources, RtIcon), 2u);
  const TResource* group = Find(resources, Id(RtGroupIcon), Id(1));
  ASSERT_NE(group, nullptr);
  ASSERT_EQ(group->Data.size(), 6u + 2 * 14);
  EXPECT_EQ(Get16(group->Data, 4), 2);
  EXPECT_EQ(group->Data[6], 32);
  EXPECT_EQ(group->Data[6 + 14], 0) << "256 pixels are written as 0";
  EXPECT_EQ(Get16(group->Data, 6 + 14 + 12), 2);
  ASSERT_NE(Find(resources, Id(RtIcon), Id(2)), nullptr);
  EXPECT_EQ(Find(resources, Id(RtIcon), Id(2))->Data, ToBytes(PngBytes(256, 256)));
  const TResource* version = Find(resources, Id(RtVersion), Id(1));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->Data, VersionResource(identity));
  EXPECT_EQ(version->Language, 0x409);
}

TEST_P(BookIdentityTest, AnIcoFileGivesItsImagesInTheViewersIconLanguage) {
  TSyntheticPe pe{GetParam()};
  for (TResource& resource : pe.Resources) {
    if (resource.Type == Id(RtGroupIcon)) {
      resource.Language = 0x407;
    }
  }
  TBookIdentity identity;
  identity.IconFiles = {Write("book.ICO", IcoBytes())};
  const std::vector<uint8_t> book = ApplyBookIdentity(pe.Bytes(), identity);
  const std::vector<TResource> resources = ReadResources(TPeImage(book), book);
  const TResource* group = Find(resources, Id(RtGroupIcon), Id(1));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->Language, 0x407);
  const std::string ico = IcoBytes();
  // The entry is the file's own, the image offset replaced by the image's number.
  EXPECT_EQ(std::string(group->Data.begin(), group->Data.end()),
            ico.substr(0, 6 + 12) + std::string("\x01\x00", 2));
  ASSERT_NE(Find(resources, Id(RtIcon), Id(1)), nullptr);
  EXPECT_EQ(Find(resources, Id(RtIcon), Id(1))->Data, ToBytes(IcoImage()));
  EXPECT_EQ(Find(resources, Id(RtVersion), Id(1))->Data,
            Find(TSyntheticPe::DefaultResources(), Id(RtVersion), Id(1))->Data)
      << "without version details the viewer's are kept";
}

TEST_P(BookIdentityTest, DataPastTheLastSectionStaysAndTheNewSectionFollowsIt) {
  TSyntheticPe pe{GetParam()};
  pe.Trailer = std::string(1001, '\x5a');
  const std::vector<uint8_t> viewer = pe.Bytes();
  TBookIdentity identity;
  identity.ProductName = "Book";
  const std::vector<uint8_t> book = ApplyBookIdentity(viewer, identity);
  const TPeImage after(book);
  EXPECT_EQ(after.Sections().back().PointerToRawData, AlignUp(viewer.size(), 0x200));
  EXPECT_TRUE(std::equal(viewer.end() - 1001, viewer.end(), book.begin() + (viewer.size() - 1001)));
  EXPECT_EQ(CountOfType(ReadResources(after, book), RtIcon), 1u) << "no icon given: the viewer's";
}

TEST_P(BookIdentityTest, AnEmptySectionsDataPointerDoesNotPlaceTheNewSection) {
  std::vector<uint8_t> viewer = TSyntheticPe{GetParam()}.Bytes();
  const uint64_t reloc = testing::SectionTableOffset(GetParam()) + 2 * 40;
  Put32(viewer, reloc + 16, 0);  // no data, as an uninitialised data section
  Put32(viewer, reloc + 20, 0x7e000000);
  viewer.resize(viewer.size() - 0x200);
  TBookIdentity identity;
  identity.ProductName = "Book";
  const std::vector<uint8_t> book = ApplyBookIdentity(viewer, identity);
  EXPECT_EQ(TPeImage(book).Sections().back().PointerToRawData, viewer.size());
  EXPECT_LT(book.size(), viewer.size() + 0x1000);
}

// The checksum is summed while the book is written: entries of odd sizes
// shift the words after them, and the whole file, package included, counts.
TEST_P(BookIdentityTest, ABuiltBookCarriesTheChecksumOfTheWholeFile) {
  const std::string viewer = dir_.File("viewer.exe");
  const std::vector<uint8_t> viewerBytes = TSyntheticPe{GetParam()}.Bytes();
  WriteBytes(viewer, std::string(viewerBytes.begin(), viewerBytes.end()));
  std::filesystem::create_directories(dir_.Path() / "book");
  WriteBytes(dir_.Path() / "book" / "book.swf", "FWS");
  WriteBytes(dir_.Path() / "book" / "page.png", std::string(1001, 'p'));
  const std::string output = dir_.File("book.exe");
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(leafpack::Run({"build", dir_.File("book"), "--viewer", viewer, "-o", output,
                           "--product-name", "Le Livre"},
                          TConsole{out, err, false}),
            kOk)
      << err.str();
  const std::string text = ReadBytes(output);
  const std::vector<uint8_t> book(text.begin(), text.end());
  const TPeImage image(book);
  EXPECT_EQ(Get32(book, image.ChecksumOffset()), ReferenceChecksum(book, image.ChecksumOffset()));
  EXPECT_NE(out.str().find("PE checksum set"), std::string::npos) << out.str();
}

#ifndef _WIN32
// The independent reader runs where Python does: in the native build.
TEST_P(BookIdentityTest, AnIndependentReaderSeesTheIdentityAndARightChecksum) {
  if (std::string(LEAFBOOK_PEFILE_PYTHON).empty()) {
    GTEST_SKIP() << "no python3 with pefile";
  }
  const std::string book = dir_.File("livre.exe");
  const std::vector<uint8_t> bytes =
      ApplyBookIdentity(TSyntheticPe{GetParam()}.Bytes(), SampleIdentity(TwoPngs()));
  WriteBytes(book, std::string(bytes.begin(), bytes.end()));
  const std::string command =
      std::string(LEAFBOOK_PEFILE_PYTHON) + " " + LEAFBOOK_READ_IDENTITY + " '" + book + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_TRUE(pipe);
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
    out.append(buffer, n);
  }
  const size_t manifestSize =
      Find(TSyntheticPe::DefaultResources(), Id(RtManifest), Id(1))->Data.size();
  EXPECT_EQ(out,
            "string CompanyName=Éditions Été ©\n"
            "string FileDescription=Le Livre\n"
            "string FileVersion=2.1.0.7\n"
            "string InternalName=livre\n"
            "string LegalCopyright=© 2026 Éditions Été\n"
            "string OriginalFilename=livre.exe\n"
            "string ProductName=Le Livre\n"
            "string ProductVersion=2.1.0.7\n"
            "file version 2.1.0.7\n"
            "product version 2.1.0.7\n"
            "icon 1 32x32 32 bits\n"
            "icon 2 256x256 32 bits\n"
            "manifest " +
                std::to_string(manifestSize) +
                " bytes\n"
                "sections 4\n"
                "checksum right\n");
}
#endif

INSTANTIATE_TEST_SUITE_P(Images, BookIdentityTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pe32Plus" : "Pe32"; });

}  // namespace
}  // namespace leafbook::leafpack
