// Telling a bare viewer from a damaged book: where a program image ends, and
// the package state that follows from it and from the package's own checks.
#include <gtest/gtest.h>

#include <algorithm>

#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::Directory;
using testing::TRawPackage;
using testing::TTempDir;
using testing::WriteBytes;

void PutUInt(std::string& bytes, size_t at, uint32_t value, size_t width = 4) {
  for (size_t i = 0; i < width; ++i) {
    bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

// A small PE32 program as a linker lays it out: headers, then each section's
// raw data, then (unstripped) the COFF symbol table and its strings.
struct TImage {
  static constexpr size_t kPe = 0x80;
  static constexpr size_t kOptional = kPe + 24;
  static constexpr size_t kOptionalSize = 224;

  // {file offset, raw size} of each section; a size of 0 is uninitialised data.
  std::vector<std::pair<uint32_t, uint32_t>> sections = {{0x200, 0x400}, {0x600, 0x200}, {0, 0}};
  uint32_t symbolCount = 0;  // symbols of 18 bytes, then a string table of 4 + 6 bytes

  std::string Bytes() const {
    std::string bytes(0x200, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    PutUInt(bytes, 0x3C, kPe);
    bytes.replace(kPe, 4, std::string("PE\0\0", 4));
    PutUInt(bytes, kPe + 4, 0x14C, 2);  // i386
    PutUInt(bytes, kPe + 6, static_cast<uint32_t>(sections.size()), 2);
    PutUInt(bytes, kPe + 16, symbolCount);
    PutUInt(bytes, kPe + 20, kOptionalSize, 2);
    PutUInt(bytes, kOptional, 0x10B, 2);
    PutUInt(bytes, kOptional + 60, 0x200);  // SizeOfHeaders
    PutUInt(bytes, kOptional + 92, 16);     // data directory entries
    size_t end = bytes.size();
    for (size_t i = 0; i < sections.size(); ++i) {
      const size_t header = kOptional + kOptionalSize + 40 * i;
      PutUInt(bytes, header + 16, sections[i].second);
      PutUInt(bytes, header + 20, sections[i].first);
      if (sections[i].second > 0) {
        end = std::max<size_t>(end, sections[i].first + sections[i].second);
      }
    }
    bytes.resize(end, 'c');  // code and data: never zero at the end
    if (symbolCount > 0) {
      PutUInt(bytes, kPe + 12, static_cast<uint32_t>(bytes.size()));
      bytes += std::string(18 * symbolCount, 's');
      bytes += std::string("\x0A\0\0\0", 4) + ".debug";
    }
    return bytes;
  }
};

// bytes signed: zero padding to 8, then a certificate table the security
// entry names, at the very end.
std::string Signed(std::string bytes) {
  bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
  const std::string table = std::string("\x10\0\0\0\0\x02\x02\0", 8) + "PKCS7...";
  PutUInt(bytes, TImage::kOptional + 96 + 4 * 8, static_cast<uint32_t>(bytes.size()));
  PutUInt(bytes, TImage::kOptional + 96 + 4 * 8 + 4, static_cast<uint32_t>(table.size()));
  return bytes + table;
}

std::string Unstripped(uint32_t symbols) {
  TImage image;
  image.symbolCount = symbols;
  return image.Bytes();
}

int64_t After(const std::string& bytes) {
  TMemoryStream file;
  if (!bytes.empty()) {
    file.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  return BytesAfterImage(file);
}

TEST(BytesAfterImage, CountsWhatFollowsTheImageAndItsSignatureOnly) {
  const std::string bare = TImage{}.Bytes();
  TImage reordered;
  reordered.sections = {{0x600, 0x200}, {0x200, 0x400}};
  const std::string unstripped = Unstripped(3);
  struct TCase {
    const char* what;
    std::string bytes;
    int64_t after;
  };
  const TCase cases[] = {
      {"bare", bare, 0},
      {"bare, bytes after", bare + "12345", 5},
      {"unstripped: the symbol table is the image's", unstripped, 0},
      {"unstripped, bytes after", unstripped + "xyz", 3},
      {"signed bare: table and padding are the image's", Signed(bare + "abc"), 3},
      {"signed, bytes before the padding", Signed(bare + "abcde"), 5},
      {"a table that does not end the file", Signed(bare) + "tail", 16 + 4},
      {"sections out of order", reordered.Bytes(), 0},
      {"a section beyond the end", bare.substr(0, 0x500), 0},
      {"headers cut short", bare.substr(0, 0x1A0), 0},
      {"no PE image: all of it", "MZ fake viewer and more", 23},
      {"empty", "", 0},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(After(c.bytes), c.after) << c.what;
  }
}

TEST(BytesAfterImage, NeverReadsOutsideTheFileWhateverTheHeadersSay) {
  // Every header field in turn set to its largest value: the answer is some
  // count, never a read past the end (which would raise).
  const std::string bare = Signed(Unstripped(2));
  for (size_t at = 0x3C; at < TImage::kOptional + 240 + 3 * 40; at += 2) {
    std::string bytes = bare;
    PutUInt(bytes, at, 0xFFFFFFFF);
    EXPECT_NO_THROW(After(bytes)) << "field at " << at;
  }
}

class PackageStateTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) { return dir_.NewFile(bytes); }
  static TRawPackage Book(const std::string& viewer) {
    TRawPackage book;
    book.prefix = viewer;
    book.entries = {Directory({{"book.swf", 1}}), "FWS\x01\x02"};
    return book;
  }
  TTempDir dir_;
};

TEST_F(PackageStateTest, IntactNoneOrDamaged) {
  const std::string viewer = TImage{}.Bytes();
  TRawPackage wrongDigest = Book(viewer);
  wrongDigest.digestBytes = std::string(16, 'd');
  TRawPackage brokenCheck = Book(viewer);
  brokenCheck.check = 0;
  TRawPackage cutSizes = Book(viewer);
  cutSizes.sizes = std::vector<int32_t>{12, 5000};
  std::string cutShort = Book(viewer).Bytes();
  cutShort.resize(cutShort.size() - 3);
  struct TCase {
    const char* what;
    std::string bytes;
    TPackageState state;
  };
  const TCase cases[] = {
      {"a book", Book(viewer).Bytes(), TPackageState::Intact},
      {"a signed book", Signed(Book(viewer).Bytes()), TPackageState::Intact},
      {"a bare viewer", viewer, TPackageState::None},
      {"a signed bare viewer", Signed(viewer), TPackageState::None},
      {"an empty file", "", TPackageState::None},
      {"a failed digest", wrongDigest.Bytes(), TPackageState::Damaged},
      {"a broken check word", brokenCheck.Bytes(), TPackageState::Damaged},
      {"sizes past the data", cutSizes.Bytes(), TPackageState::Damaged},
      {"a book cut short", cutShort, TPackageState::Damaged},
      {"bytes after a bare viewer", viewer + "not a package", TPackageState::Damaged},
      {"no program, no package", "just some bytes", TPackageState::Damaged},
  };
  for (const TCase& c : cases) {
    const std::string path = Write(c.bytes);
    EXPECT_EQ(PackageState(path), c.state) << c.what;
    // The access functions keep their contract: anything but an intact
    // package lists nothing.
    EXPECT_EQ(PackageFileIndex("book.swf", path) != 0, c.state == TPackageState::Intact) << c.what;
  }
  EXPECT_EQ(PackageState(dir_.File("missing.exe")), TPackageState::None);
}

TEST_F(PackageStateTest, AFileMendedUnderItsNameIsSeenAfresh) {
  const std::string path = dir_.File("book.exe");
  TRawPackage wrong = Book(TImage{}.Bytes());
  wrong.digestBytes = std::string(16, 'd');
  WriteBytes(path, wrong.Bytes());
  EXPECT_EQ(PackageState(path), TPackageState::Damaged);
  TRawPackage mended = Book(TImage{}.Bytes());
  mended.entries.push_back("another file");  // another size: another file to the cache
  WriteBytes(path, mended.Bytes());
  EXPECT_EQ(PackageState(path), TPackageState::Intact);
}

}  // namespace
}  // namespace leafbook
