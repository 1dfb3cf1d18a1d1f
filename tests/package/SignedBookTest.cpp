// Signed books: the package lies before the certificate table that signing
// appends, after up to 7 zero bytes of alignment.
#include <gtest/gtest.h>

#include <cstring>

#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::TRawPackage;
using testing::TTempDir;
using testing::WriteBytes;

constexpr size_t kPeHeader = 0x40;
constexpr size_t kOptionalHeader = kPeHeader + 24;

void PutUInt32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

// A program as signing leaves it: PE headers whose security entry names a
// certificate table at the very end, after the package and the padding.
struct TSignedImage {
  bool pe32Plus = false;
  size_t padding = 0;
  char paddingByte = 0;
  uint32_t directoryEntries = 16;
  std::string certificate = std::string("\x10\x00\x00\x00\x00\x02\x02\x00", 8) + "PKCS7...";
  std::string afterTable;     // bytes after the table: then it no longer ends the file
  bool securityEntry = true;  // false: an unsigned program (empty entry)
  TRawPackage package = Book();

  static TRawPackage Book() {
    TRawPackage book;
    book.entries = {"book.swf=1\r\n", "FWS\x01\x02"};
    return book;
  }
  size_t CountAt() const { return kOptionalHeader + (pe32Plus ? 108 : 92); }

  std::string Bytes() const {
    std::string headers(CountAt() + 4 + 16 * 8, '\0');
    headers[0] = 'M';
    headers[1] = 'Z';
    PutUInt32(headers, 0x3C, kPeHeader);
    std::memcpy(&headers[kPeHeader], "PE\0\0", 4);
    headers[kOptionalHeader] = 0x0B;
    headers[kOptionalHeader + 1] = pe32Plus ? 0x02 : 0x01;
    PutUInt32(headers, CountAt(), directoryEntries);
    TRawPackage withHeaders = package;
    withHeaders.prefix = headers;
    std::string bytes = withHeaders.Bytes() + std::string(padding, paddingByte);
    if (securityEntry) {
      PutUInt32(bytes, CountAt() + 4 + 4 * 8, static_cast<uint32_t>(bytes.size()));
      PutUInt32(bytes, CountAt() + 4 + 4 * 8 + 4, static_cast<uint32_t>(certificate.size()));
    }
    return bytes + certificate + afterTable;
  }
};

class SignedBookTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) {
    std::string path = dir_.File("signed-" + std::to_string(++written_) + ".exe");
    WriteBytes(path, bytes);
    return path;
  }
  TTempDir dir_;
  int written_ = 0;
};

TEST_F(SignedBookTest, ThePackageIsFoundBeforeTheCertificateTable) {
  for (bool pe32Plus : {false, true}) {
    for (size_t padding = 0; padding <= 7; ++padding) {
      SCOPED_TRACE(::testing::Message()
                   << (pe32Plus ? "PE32+" : "PE32") << ", padding " << padding);
      TSignedImage image;
      image.pe32Plus = pe32Plus;
      image.padding = padding;
      const std::string path = Write(image.Bytes());
      TExeExtReader reader(path);
      ASSERT_EQ(reader.EntryCount(), 2);
      EXPECT_TRUE(reader.Signed());
      EXPECT_TRUE(reader.HasDigest());
      EXPECT_EQ(reader.ReadEntryText(1), "FWS\x01\x02");
      // The viewer's own route to the files: the cached package index.
      std::unique_ptr<TMemoryStream> movie = PackageFileStream("book.swf", path);
      ASSERT_NE(movie, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(movie->Memory()), movie->Size()),
                "FWS\x01\x02");
    }
  }
}

TEST_F(SignedBookTest, AnUnsignedProgramReadsAsBefore) {
  TSignedImage image;
  image.securityEntry = false;
  image.certificate.clear();
  TExeExtReader reader(Write(image.Bytes()));
  ASSERT_EQ(reader.EntryCount(), 2);
  EXPECT_FALSE(reader.Signed());
  EXPECT_EQ(reader.ReadEntryText(0), "book.swf=1\r\n");
}

TEST_F(SignedBookTest, OnlyATableThatEndsTheFileAfterZeroPaddingIsSkipped) {
  struct TCase {
    const char* what;
    TSignedImage image;
  };
  std::vector<TCase> cases;
  auto add = [&](const char* what, auto change) {
    TSignedImage image;
    change(image);
    cases.push_back({what, image});
  };
  add("padding of 8 bytes", [](TSignedImage& i) { i.padding = 8; });
  add("padding that is not zeros", [](TSignedImage& i) {
    i.padding = 3;
    i.paddingByte = 1;
  });
  add("bytes after the table", [](TSignedImage& i) { i.afterTable = "x"; });
  add("a data directory too short to hold the security entry",
      [](TSignedImage& i) { i.directoryEntries = 4; });
  add("an empty certificate table after padding", [](TSignedImage& i) {
    i.padding = 3;
    i.certificate.clear();
  });
  add("a package without a trailer before the table", [](TSignedImage& i) {
    i.package.check = 0;  // the check word no longer holds
  });
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Write(c.image.Bytes());
    EXPECT_THROW(TExeExtReader{path}, EPackageNotFound);
    EXPECT_EQ(PackageFileIndex("book.swf", path), 0);
  }
}

TEST_F(SignedBookTest, TheDigestStillCoversTheEntries) {
  TSignedImage image;
  image.padding = 5;
  std::string bytes = image.Bytes();
  const size_t movie = bytes.find("FWS\x01\x02");
  ASSERT_NE(movie, std::string::npos);
  bytes[movie + 3] = 'X';
  EXPECT_THROW(TExeExtReader{Write(bytes)}, EPackageDigest);
}

}  // namespace
}  // namespace leafbook
