// Signed books: the package lies before the certificate table that signing
// appends, after up to 7 zero bytes of alignment.
#include <gtest/gtest.h>

#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::TSignedImage;
using testing::TTempDir;

class SignedBookTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) { return dir_.NewFile(bytes); }
  TTempDir dir_;
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
