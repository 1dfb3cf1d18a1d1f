// TExeExtReader: the worked layout, damaged trailers, digests and entry reads.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::Directory;
using testing::Int32LE;
using testing::TRawPackage;
using testing::TTempDir;
using testing::WriteBytes;

// The worked example: a 12-byte directory naming book.swf as entry 1 and a 5-byte movie.
TRawPackage WorkedLayout(bool digest) {
  TRawPackage package;
  package.entries = {"book.swf=1\r\n", "FWS\x01\x02"};
  package.digest = digest;
  return package;
}

std::string ReadAll(const TExeExtReader& reader, int32_t index) {
  TStringStream out;
  reader.ReadEntry(index, out);
  return out.DataString();
}

class ExeExtTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "book.exe") {
    std::string path = dir_.File(name);
    WriteBytes(path, bytes);
    return path;
  }
  TTempDir dir_;
};

TEST_F(ExeExtTest, ReadsTheWorkedLayoutWithAndWithoutDigest) {
  for (bool digest : {true, false}) {
    std::string bytes = WorkedLayout(digest).Bytes();
    // The trailer's last eight bytes as the layout fixes them.
    EXPECT_EQ(bytes.substr(bytes.size() - 8),
              digest ? Int32LE(54) + Int32LE(0x1234564E) : Int32LE(38) + Int32LE(0x1234565E));
    TExeExtReader reader(Write(bytes));
    ASSERT_EQ(reader.EntryCount(), 2);
    EXPECT_EQ(reader.EntrySizes(), (std::vector<int32_t>{12, 5}));
    EXPECT_EQ(reader.DataOffset(), static_cast<int64_t>(TRawPackage().prefix.size()));
    EXPECT_EQ(reader.HasDigest(), digest);
    EXPECT_EQ(reader.ReadEntryText(0), "book.swf=1\r\n");
    EXPECT_EQ(ReadAll(reader, 1), "FWS\x01\x02");
  }
}

struct TDamage {
  const char* what;
  std::string bytes;
};

TRawPackage Sample() {
  TRawPackage package;
  package.entries = {Directory({{"book.swf", 1}, {"a.png", 2}}), "movie", "picture"};
  return package;
}

std::vector<TDamage> DamagedTrailers() {
  std::vector<TDamage> cases;
  auto add = [&](const char* what, TRawPackage package) {
    cases.push_back({what, package.Bytes()});
  };
  cases.push_back({"a file without a package", std::string(200, 'M')});
  cases.push_back({"a file shorter than a trailer", "MZ\x01\x02"});
  cases.push_back({"an empty file", ""});
  TRawPackage p = Sample();
  p.check = 0x12345678;
  add("a wrong check word", p);
  p = Sample();
  p.blockLength = 100000;
  add("a block longer than the file", p);
  p = Sample();
  p.blockLength = 12;
  add("a block shorter than its trailer", p);
  p = Sample();
  p.blockLength = -40;
  add("a negative block length", p);
  p = Sample();
  p.count = -1;
  add("a negative entry count", p);
  p = Sample();
  p.count = 0x7FFFFFFF;
  add("an entry count whose sizes cannot fit", p);
  p = Sample();
  p.count = 40;
  add("a sizes table larger than the block", p);
  p = Sample();
  p.sizes = std::vector<int32_t>{21, -5, 12};
  add("a negative entry size", p);
  p = Sample();
  p.sizes = std::vector<int32_t>{21, 5, 8};
  add("sizes running one byte past the data", p);
  p = Sample();
  p.sizes = std::vector<int32_t>{21, 0x7FFFFFFF, 0x7FFFFFFF};
  add("sizes whose sum overflows 32 bits", p);
  p = Sample();
  p.digest = false;
  p.flag = 1;  // the 16 digest bytes would have to come out of the entries
  add("a digest flag on a package without room for the digest", p);
  return cases;
}

TEST_F(ExeExtTest, DamagedTrailersAreRejectedAndReadAsNotFound) {
  for (const TDamage& damage : DamagedTrailers()) {
    SCOPED_TRACE(damage.what);
    std::string path = Write(damage.bytes);
    try {
      TExeExtReader reader(path);
      ADD_FAILURE() << "opened with " << reader.EntryCount() << " entries";
    } catch (const EPackageNotFound& error) {
      EXPECT_STREQ(error.what(), "Can not find extent section");
    }
    EXPECT_EQ(PackageFileIndex("book.swf", path), 0);
    EXPECT_EQ(PackageFileStream("a.png", path), nullptr);
  }
}

TEST_F(ExeExtTest, AnEmptyPackageHasNoEntryToRead) {
  TRawPackage package;  // count 0: neither sizes nor digest are read
  package.flag = 1;
  TExeExtReader reader(Write(package.Bytes()));
  EXPECT_EQ(reader.EntryCount(), 0);
  TStringStream out;
  for (int32_t index : {0, -1, 1}) {
    try {
      reader.ReadEntry(index, out);
      ADD_FAILURE() << index;
    } catch (const EAssertionFailed& error) {
      EXPECT_STREQ(error.what(), "Error index");
    }
  }
}

TEST_F(ExeExtTest, AMissingFileGivesAnEmptyReader) {
  TExeExtReader reader(dir_.File("absent.exe"));
  EXPECT_EQ(reader.EntryCount(), 0);
  TStringStream out;
  EXPECT_THROW(reader.ReadEntry(0, out), EAssertionFailed);
}

TEST_F(ExeExtTest, AnyChangedByteFailsTheDigest) {
  const TRawPackage package = Sample();
  const std::string good = package.Bytes();
  const size_t dataLength = package.entries[0].size() + 5 + 7;
  for (size_t at = package.DataOffset(); at < package.DataOffset() + dataLength + 16; ++at) {
    std::string bad = good;
    bad[at] ^= 0x20;
    std::string path = Write(bad);
    try {
      TExeExtReader reader(path);
      ADD_FAILURE() << "byte " << at << " changed, yet the package opened";
    } catch (const EPackageDigest& error) {
      EXPECT_STREQ(error.what(), "Content Valid failed!");
    }
  }
}

TEST_F(ExeExtTest, DigestFlagValues) {
  TRawPackage package = Sample();
  package.flag = 2;  // any non-zero flag asks for the digest
  EXPECT_EQ(TExeExtReader(Write(package.Bytes())).EntryCount(), 3);
  std::string bad = package.Bytes();
  bad[package.DataOffset() + 28] ^= 1;
  EXPECT_THROW(TExeExtReader{Write(bad)}, EPackageDigest);

  // Without a digest a changed entry goes unnoticed.
  package = Sample();
  package.digest = false;
  bad = package.Bytes();
  bad[package.DataOffset() + 28] ^= 1;
  TExeExtReader reader(Write(bad));
  EXPECT_EQ(ReadAll(reader, 2), "pibture");
}

TEST_F(ExeExtTest, AnEmptyDataRegionHasTheZeroDigest) {
  TRawPackage package;
  package.entries = {"", ""};
  EXPECT_EQ(TExeExtReader(Write(package.Bytes())).EntryCount(), 2);
  // MD5 of the empty message is not what the package stores.
  package.digestBytes =
      std::string("\xd4\x1d\x8c\xd9\x8f\x00\xb2\x04\xe9\x80\x09\x98\xec\xf8\x42\x7e", 16);
  EXPECT_THROW(TExeExtReader{Write(package.Bytes())}, EPackageDigest);
}

TEST_F(ExeExtTest, EntriesAreCopiedAtTheStreamPosition) {
  TRawPackage package = Sample();
  package.entries.push_back("");
  TExeExtReader reader(Write(package.Bytes()));

  TStringStream out("0123456789");
  out.SetPosition(3);
  reader.ReadEntry(1, out);
  EXPECT_EQ(out.DataString(), "012movie89");
  EXPECT_EQ(out.GetPosition(), 8);

  // An empty entry leaves the destination as it was.
  reader.ReadEntry(3, out);
  EXPECT_EQ(out.DataString(), "012movie89");
  EXPECT_EQ(out.GetPosition(), 8);

  // The last stored entry ends where the digest begins.
  EXPECT_EQ(ReadAll(reader, 2), "picture");
}

TEST_F(ExeExtTest, BlankNamesSelectTheRunningExecutable) {
  // The test executable carries no package.
  for (const char* name : {"", "   ", " \t\r\n"}) {
    EXPECT_THROW(TExeExtReader{name}, EPackageNotFound) << '"' << name << '"';
  }
  // Any other name is used exactly as given, leading blank included.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.Path());
  Write(Sample().Bytes(), "book.exe");
  EXPECT_EQ(TExeExtReader(" book.exe").EntryCount(), 0);
  Write(Sample().Bytes(), " book.exe");
  EXPECT_EQ(TExeExtReader(" book.exe").EntryCount(), 3);
  std::filesystem::current_path(previous);
}

TEST_F(ExeExtTest, AnEntryLargerThanTheCopyBufferIsCopiedWhole) {
  std::string big(static_cast<size_t>(package_layout::kCopyBufferSize) + 4099, '\0');
  for (size_t i = 0; i < big.size(); i += 997) {
    big[i] = static_cast<char>(i / 997);
  }
  TRawPackage package;
  package.entries = {Directory({{"big.bin", 1}}), big};
  TExeExtReader reader(Write(package.Bytes()));
  TMemoryStream out;
  reader.ReadEntry(1, out);
  ASSERT_EQ(out.Size(), static_cast<int64_t>(big.size()));
  EXPECT_EQ(0, std::memcmp(out.Memory(), big.data(), big.size()));
}

TEST(CopyStreamPart, CopiesCountBytesAndRaisesWhenTheSourceEndsEarly) {
  TStringStream source("abcdef");
  TStringStream dest;
  source.SetPosition(1);
  EXPECT_EQ(TExeExtReader::CopyStreamPart(source, dest, 3), 3);
  EXPECT_EQ(dest.DataString(), "bcd");
  EXPECT_EQ(TExeExtReader::CopyStreamPart(source, dest, 0), 0);
  EXPECT_EQ(dest.DataString(), "bcd");
  EXPECT_THROW(TExeExtReader::CopyStreamPart(source, dest, 5), EReadError);
}

#ifdef _WIN32
// Another process holding the file exclusively: the reader keeps trying.
class ExclusiveHold {
 public:
  explicit ExclusiveHold(const std::string& path)
      : handle_(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  bool Held() const { return handle_.Valid(); }
  void Release() { handle_.Reset(); }

 private:
  TWin32FileHandle handle_;
};

TEST_F(ExeExtTest, OpeningRetriesWhileTheFileIsHeldExclusively) {
  std::string path = Write(Sample().Bytes());
  ExclusiveHold hold(path);
  ASSERT_TRUE(hold.Held());
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    hold.Release();
  });
  const auto start = std::chrono::steady_clock::now();
  TExeExtReader reader(path);
  releaser.join();
  EXPECT_EQ(reader.EntryCount(), 3);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(600));
}

TEST_F(ExeExtTest, AFileHeldLongerThanFiveSecondsGivesAnEmptyReader) {
  std::string path = Write(Sample().Bytes());
  ExclusiveHold hold(path);
  ASSERT_TRUE(hold.Held());
  const auto start = std::chrono::steady_clock::now();
  TExeExtReader reader(path);
  EXPECT_EQ(reader.EntryCount(), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4900));
}
#endif

}  // namespace
}  // namespace leafbook
