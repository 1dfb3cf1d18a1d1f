// TPackageWriter: the layout byte for byte, and what the reader makes of it.
#include <gtest/gtest.h>

#include "package/ExeExt.h"
#include "package/PackageWriter.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::TRawPackage;
using testing::TTempDir;
using testing::WriteBytes;

std::string Write(const std::vector<std::string>& entries, bool digest,
                  int32_t* blockLength = nullptr) {
  TStringStream out;
  TPackageWriter writer(out, digest);
  for (const std::string& entry : entries) {
    writer.AddEntry(entry);
  }
  int32_t length = writer.Finish();
  if (blockLength) {
    *blockLength = length;
  }
  return out.DataString();
}

TEST(PackageWriter, WritesTheWorkedLayoutByteForByte) {
  const std::vector<std::string> entries = {BuildDirectoryText({{"book.swf", 1}}), "FWS\x01\x02"};
  ASSERT_EQ(entries[0], "book.swf=1\r\n");
  for (bool digest : {true, false}) {
    TRawPackage expected;
    expected.prefix.clear();
    expected.entries = entries;
    expected.digest = digest;
    int32_t blockLength = 0;
    EXPECT_EQ(Write(entries, digest, &blockLength), expected.Bytes());
    EXPECT_EQ(blockLength, digest ? 54 : 38);
  }
}

TEST(PackageWriter, AWrittenPackageReadsBack) {
  TTempDir dir;
  const std::vector<std::string> entries = {BuildDirectoryText({{"a", 1}, {"b", 2}, {"c", 2}}),
                                            "first", std::string(70000, 'z'), ""};
  for (bool digest : {true, false}) {
    std::string path = dir.File(digest ? "with.exe" : "without.exe");
    WriteBytes(path, "viewer" + Write(entries, digest));
    TExeExtReader reader(path);
    ASSERT_EQ(reader.EntryCount(), 4);
    EXPECT_EQ(reader.HasDigest(), digest);
    for (int32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(reader.ReadEntryText(i), entries[static_cast<size_t>(i)]);
    }
  }
}

TEST(PackageWriter, EdgeLayouts) {
  // No entries: no digest either, whatever was asked.
  TRawPackage none;
  none.prefix.clear();
  none.digest = false;
  EXPECT_EQ(Write({}, true), none.Bytes());
  // Only empty entries: the digest is sixteen zero bytes.
  TRawPackage empty;
  empty.prefix.clear();
  empty.entries = {"", ""};
  EXPECT_EQ(Write({"", ""}, true), empty.Bytes());
  EXPECT_EQ(Write({"", ""}, true).substr(0, 16), std::string(16, '\0'));
}

TEST(PackageWriter, RefusesEntriesBeyondThe32BitSizes) {
  TStringStream out;
  TStringStream source("abc");
  TPackageWriter writer(out, true);
  EXPECT_THROW(writer.AddEntry(source, int64_t{1} << 31), Exception);
  writer.AddEntry(source, 3);
  writer.Finish();
  EXPECT_THROW(writer.Finish(), EAssertionFailed);
}

TEST(PackageWriter, ReportsProgress) {
  TStringStream out;
  std::vector<int64_t> seen;
  TPackageWriter writer(out, true, [&](int64_t written) { seen.push_back(written); });
  writer.AddEntry("abc");
  writer.AddEntry(std::string(3 << 20, 'q'));
  writer.Finish();
  EXPECT_EQ(seen, (std::vector<int64_t>{3, 3 + (1 << 20), 3 + (2 << 20), 3 + (3 << 20)}));
}

}  // namespace
}  // namespace leafbook
