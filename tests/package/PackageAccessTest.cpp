// Package access by name: directory rules, and "not found" for every failure.
#include <gtest/gtest.h>

#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "package/PackageDirectory.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::Directory;
using testing::TRawPackage;
using testing::TTempDir;
using testing::WriteBytes;

TEST(PackageDirectory, LookupRules) {
  struct TCase {
    const char* what;
    std::string text;
    std::string name;
    int32_t index;
  };
  const TCase cases[] = {
      {"exact name", "book.swf=1\r\n", "book.swf", 1},
      {"other letter case", "book.swf=1\r\n", "BOOK.SWF", 1},
      {"index 0 means absent", "book.swf=0\r\n", "book.swf", 0},
      {"a value that is not a number", "book.swf=one\r\n", "book.swf", 0},
      {"an empty value", "book.swf=\r\n", "book.swf", 0},
      {"the first line decides", "book.swf=2\r\nbook.swf=1\r\n", "book.swf", 2},
      {"a line without = is no name", "book.swf\r\nbook.swf=3\r\n", "book.swf", 3},
      {"a leading = lists the empty name", "=4\r\n", "", 4},
      {"the first = splits", "a=b=1\r\n", "a", 0},
      {"no path normalisation", "book.swf=1\r\n", "./book.swf", 0},
      {"blanks count", " book.swf=1\r\n", "book.swf", 0},
      {"LF lines", "a=1\nb=2\nc=3", "b", 2},
      {"CR lines", "a=1\rb=2\rc=3", "c", 3},
      {"mixed line ends", "a=1\r\n\rb=2\n\nc=3\r", "c", 3},
      {"text after NUL is ignored", std::string("a=1\r\n\0b=2\r\n", 11), "b", 0},
      {"a name cut by NUL", std::string("ab\0c=5", 6), "ab", 0},
      {"a negative index", "book.swf=-3\r\n", "book.swf", -3},
      {"a plus sign", "book.swf=+7\r\n", "book.swf", 7},
      {"blanks around the value", "book.swf= 7\r\n", "book.swf", 0},
      {"hexadecimal", "book.swf=0x7\r\n", "book.swf", 0},
      {"beyond 32 bits", "book.swf=4294967297\r\n", "book.swf", 0},
      {"the 32-bit maximum", "book.swf=2147483647\r\n", "book.swf", 2147483647},
      {"not listed", "book.swf=1\r\n", "page.swf", 0},
  };
  // The same rules hold for the directory text and for a package's index.
  TTempDir dir;
  for (const TCase& c : cases) {
    EXPECT_EQ(LookupDirectory(c.text, c.name), c.index) << c.what;
    TRawPackage package;
    package.entries = {c.text};
    const std::string file = dir.File(std::string(c.what) + ".exe");
    WriteBytes(file, package.Bytes());
    EXPECT_EQ(PackageFileIndex(c.name, file), c.index) << c.what << " (package)";
  }
}

#ifdef _WIN32
TEST(PackageDirectory, CaseIsFoldedByTheSystemLocale) {
  // Code page 1252: A-umlaut and a-umlaut are one letter in two cases.
  if (::GetACP() != 1252) {
    GTEST_SKIP() << "needs code page 1252";
  }
  EXPECT_EQ(LookupDirectory("\xe4pfel.png=2\r\n", "\xc4PFEL.PNG"), 2);
}
#endif

TEST(PackageDirectory, APackagesIndexMatchesAsTheSystemComparisonDoes) {
  // Names the system's comparison may hold equal although their bytes, or
  // their upper-case forms, differ: the index must find exactly what a scan
  // of the lines with the comparison finds.
  // (Octal escapes: a hexadecimal one would swallow the letters after it.)
  const std::vector<std::string> names = {
      "\344pfel.png", "\304PFEL.PNG", "stra\337e.png", "STRASSE.png", "co-op.png",     "coop.png",
      "a\001b.png",   "ab.png",       "\351t\351.png", "ETE.png",     "\311T\311.PNG", "",
      "\177",         "i.png",        "I.PNG"};
  std::vector<std::pair<std::string, int>> lines;
  for (size_t i = 0; i < names.size(); i += 2) {
    lines.emplace_back(names[i], static_cast<int>(i + 1));
  }
  const std::string text = Directory(lines);
  TRawPackage package;
  package.entries = {text};
  TTempDir dir;
  const std::string file = dir.File("names.exe");
  WriteBytes(file, package.Bytes());
  for (const std::string& name : names) {
    EXPECT_EQ(PackageFileIndex(name, file), LookupDirectory(text, name)) << name;
  }
}

class PackageAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TRawPackage package;
    package.entries = {Directory({{"book.swf", 1},
                                  {"pages/1.jpg", 2},
                                  {"same.jpg", 2},
                                  {"empty.txt", 3},
                                  {"far.bin", 9},
                                  {"minus.bin", -2}}),
                       "MOVIE", "JPEGDATA", ""};
    WriteBytes(file_, package.Bytes());
  }
  TTempDir dir_;
  std::string file_ = dir_.File("book.exe");
};

TEST_F(PackageAccessTest, FindsFilesByName) {
  EXPECT_EQ(PackageFileIndex("book.swf", file_), 1);
  EXPECT_EQ(PackageFileIndex("Pages/1.JPG", file_), 2);
  EXPECT_EQ(PackageFileIndex("same.jpg", file_), 2);
  EXPECT_EQ(PackageFileIndex("pages/2.jpg", file_), 0);
}

TEST_F(PackageAccessTest, ReadFileAppendsAtThePosition) {
  TStringStream stream("<<>>");
  stream.SetPosition(2);
  PackageReadFile("pages/1.jpg", stream, file_);
  EXPECT_EQ(stream.DataString(), "<<JPEGDATA");
  PackageReadFile("absent", stream, file_);
  EXPECT_EQ(stream.DataString(), "<<JPEGDATA");
}

TEST_F(PackageAccessTest, FileStreamHoldsExactlyTheEntryAndStandsAtItsEnd) {
  auto stream = PackageFileStream("BOOK.swf", file_);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Size(), 5);
  EXPECT_EQ(stream->GetPosition(), 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream->Memory()), 5), "MOVIE");

  auto empty = PackageFileStream("empty.txt", file_);
  ASSERT_NE(empty, nullptr);  // a stream, not none
  EXPECT_EQ(empty->Size(), 0);
  EXPECT_EQ(PackageFileStream("absent", file_), nullptr);
}

TEST_F(PackageAccessTest, IndexesThePackageDoesNotHoldReadAsFailures) {
  // The index is reported as listed; the copies then fail and report nothing.
  EXPECT_EQ(PackageFileIndex("far.bin", file_), 9);
  EXPECT_EQ(PackageFileIndex("minus.bin", file_), -2);
  for (const char* name : {"far.bin", "minus.bin"}) {
    TStringStream stream("keep");
    PackageReadFile(name, stream, file_);
    EXPECT_EQ(stream.DataString(), "keep");
    EXPECT_EQ(PackageFileStream(name, file_), nullptr);
  }
}

TEST_F(PackageAccessTest, EveryFailureReadsAsNotFound) {
  std::string damaged = testing::ReadBytes(file_);
  damaged[TRawPackage().prefix.size() + 3] ^= 1;  // fails the digest
  const std::string digestFailed = dir_.File("damaged.exe");
  WriteBytes(digestFailed, damaged);
  const std::string bare = dir_.File("bare.exe");
  WriteBytes(bare, std::string(4096, 'x'));

  for (const std::string& package : {digestFailed, bare, dir_.File("absent.exe"), std::string()}) {
    SCOPED_TRACE(package);
    EXPECT_EQ(PackageFileIndex("book.swf", package), 0);
    TStringStream stream("keep");
    PackageReadFile("book.swf", stream, package);
    EXPECT_EQ(stream.DataString(), "keep");
    EXPECT_EQ(PackageFileStream("book.swf", package), nullptr);
  }
}

TEST_F(PackageAccessTest, EachCallSeesTheFileAsItIsNow) {
  EXPECT_EQ(PackageFileIndex("book.swf", file_), 1);
  TRawPackage changed;
  changed.entries = {Directory({{"book.swf", 2}}), "x", "y"};
  WriteBytes(file_, changed.Bytes());
  EXPECT_EQ(PackageFileIndex("book.swf", file_), 2);
}

}  // namespace
}  // namespace leafbook
