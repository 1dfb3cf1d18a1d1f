// The process's open packages: checked once, read afresh when the file
// changes, a failure remembered, the same bytes for many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "package/PackageCache.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::Directory;
using testing::ReadBytes;
using testing::TRawPackage;
using testing::TTempDir;
using testing::WriteBytes;

std::string Text(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<size_t>(stream.Size()));
}

std::string ReadAll(TStream& stream) {
  std::string bytes;
  char buffer[997];  // smaller than most entries: several reads, each at its own position
  for (int32_t got; (got = stream.Read(buffer, sizeof buffer)) > 0;) {
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

// A package of `count` entries of different sizes and contents.
TRawPackage Numbered(int count, const std::string& seed) {
  TRawPackage package;
  std::vector<std::pair<std::string, int>> names;
  package.entries.push_back("");
  for (int i = 1; i <= count; ++i) {
    names.emplace_back("pages/" + std::to_string(i) + ".png", i);
    std::string entry(static_cast<size_t>(i * 1531 % 70000), '\0');
    for (size_t j = 0; j < entry.size(); ++j) {
      entry[j] = static_cast<char>(seed[j % seed.size()] + i + j * 7);
    }
    package.entries.push_back(entry);
  }
  package.entries[0] = Directory(names);
  return package;
}

class PackageCacheTest : public ::testing::Test {
 protected:
  TTempDir dir_;
  std::string file_ = dir_.File("book.exe");
};

TEST_F(PackageCacheTest, APackageIsCheckedOnceForEveryRequest) {
  WriteBytes(file_, Numbered(3, "abc").Bytes());
  const int64_t before = PackageCheckCount();
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(PackageFileIndex("pages/2.png", file_), 2);
    TStringStream stream;
    PackageReadFile("pages/3.png", stream, file_);
    EXPECT_EQ(stream.Size(), 3 * 1531);
    EXPECT_NE(PackageFileStream("PAGES/1.PNG", file_), nullptr);
  }
  EXPECT_EQ(PackageCheckCount() - before, 1);
}

TEST_F(PackageCacheTest, AFileReplacedWhileTheProcessRunsIsReadAfresh) {
  WriteBytes(file_, Numbered(3, "old").Bytes());
  auto oldPage = PackageFileStream("pages/2.png", file_);
  ASSERT_NE(oldPage, nullptr);
  const std::string oldBytes = Text(*oldPage);

  // Another file moved over the name: same size, another file.
  const std::string next = dir_.File("next.exe");
  WriteBytes(next, Numbered(3, "new").Bytes());
  std::filesystem::rename(next, file_);
  auto newPage = PackageFileStream("pages/2.png", file_);
  ASSERT_NE(newPage, nullptr);
  EXPECT_NE(Text(*newPage), oldBytes);
  EXPECT_EQ(Text(*newPage), TExeExtReader(file_).ReadEntryText(2));

  // The same file rewritten in place, same size, a later write time.
  const auto written = std::filesystem::last_write_time(file_);
  WriteBytes(file_, Numbered(3, "third").Bytes());
  std::filesystem::last_write_time(file_, written + std::chrono::seconds(2));
  auto thirdPage = PackageFileStream("pages/2.png", file_);
  ASSERT_NE(thirdPage, nullptr);
  EXPECT_NE(Text(*thirdPage), oldBytes);
  EXPECT_EQ(Text(*thirdPage), TExeExtReader(file_).ReadEntryText(2));

  // A package grown by a name is found at once.
  TRawPackage grown = Numbered(3, "third");
  grown.entries[0] += "extra.txt=1\r\n";
  WriteBytes(file_, grown.Bytes());
  EXPECT_EQ(PackageFileIndex("extra.txt", file_), 1);

  // Nothing holds the file open between requests: it can go.
  std::filesystem::remove(file_);
  EXPECT_EQ(PackageFileIndex("extra.txt", file_), 0);
}

TEST_F(PackageCacheTest, ADamagedPackageStaysDamagedWithoutBeingCheckedAgain) {
  std::string bytes = Numbered(4, "abc").Bytes();
  const std::string intact = bytes;
  bytes[TRawPackage().DataOffset() + 100] ^= 1;  // fails the digest
  WriteBytes(file_, bytes);

  const int64_t before = PackageCheckCount();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(PackageFileIndex("pages/1.png", file_), 0);
    TStringStream stream("keep");
    PackageReadFile("pages/1.png", stream, file_);
    EXPECT_EQ(stream.DataString(), "keep");
    EXPECT_EQ(PackageFileStream("pages/1.png", file_), nullptr);
    EXPECT_EQ(PackageEntryStream("pages/1.png", file_), nullptr);
  }
  EXPECT_EQ(PackageCheckCount() - before, 1);

  // Mended (another write time), it is checked again and found.
  const auto written = std::filesystem::last_write_time(file_);
  WriteBytes(file_, intact);
  std::filesystem::last_write_time(file_, written + std::chrono::seconds(2));
  EXPECT_EQ(PackageFileIndex("pages/1.png", file_), 1);
  EXPECT_EQ(PackageCheckCount() - before, 2);
}

TEST_F(PackageCacheTest, EightThreadsGetExactlyTheBytesOfAFreshRead) {
  constexpr int kEntries = 40;
  WriteBytes(file_, Numbered(kEntries, "threads").Bytes());
  std::vector<std::string> expected(kEntries + 1);
  {
    TExeExtReader fresh(file_);
    for (int i = 1; i <= kEntries; ++i) {
      expected[static_cast<size_t>(i)] = fresh.ReadEntryText(i);
    }
  }
  const int64_t before = PackageCheckCount();
  std::atomic<int> ready{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      ++ready;
      while (ready.load() < 8) {
        std::this_thread::yield();  // the first request of all at once
      }
      for (int round = 0; round < 30; ++round) {
        const int i = 1 + (t * 13 + round * 7) % kEntries;
        const std::string name = "pages/" + std::to_string(i) + ".png";
        const std::string& want = expected[static_cast<size_t>(i)];
        TStringStream appended("<<");
        appended.SetPosition(2);
        PackageReadFile(name, appended, file_);
        auto stream = PackageFileStream(name, file_);
        auto entry = PackageEntryStream(name, file_);
        if (appended.DataString() != "<<" + want || !stream || Text(*stream) != want || !entry ||
            ReadAll(*entry) != want) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(PackageCheckCount() - before, 1);
}

TEST_F(PackageCacheTest, AnEntryStreamReadsTheEntryWhereItLies) {
  TRawPackage package;
  package.entries = {Directory({{"movie.swf", 1}, {"empty.txt", 2}}), "0123456789", ""};
  WriteBytes(file_, package.Bytes());

  auto stream = PackageEntryStream("MOVIE.swf", file_);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->GetPosition(), 0);
  EXPECT_EQ(stream->GetSize(), 10);
  EXPECT_EQ(ReadAll(*stream), "0123456789");
  stream->Seek(-3, TSeekOrigin::End);
  char tail[8] = {};
  EXPECT_EQ(stream->Read(tail, 8), 3);
  EXPECT_STREQ(tail, "789");
  stream->SetPosition(20);
  EXPECT_EQ(stream->Read(tail, 8), 0);
  EXPECT_EQ(stream->Write("x", 1), 0);  // a file of the book is read-only
  EXPECT_THROW(stream->Seek(-1, TSeekOrigin::Beginning), EStreamError);

  auto empty = PackageEntryStream("empty.txt", file_);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->GetSize(), 0);
  EXPECT_EQ(PackageEntryStream("absent.txt", file_), nullptr);

#ifndef _WIN32
  // It keeps its file open: the file replaced under it, it reads on. (Windows
  // refuses to replace a file that is open.)
  const std::string next = dir_.File("next.exe");
  TRawPackage other;
  other.entries = {Directory({{"movie.swf", 1}}), "abcdefghij"};
  WriteBytes(next, other.Bytes());
  std::filesystem::rename(next, file_);
  stream->SetPosition(0);
  EXPECT_EQ(ReadAll(*stream), "0123456789");
  auto now = PackageEntryStream("movie.swf", file_);
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(ReadAll(*now), "abcdefghij");
#endif
}

TEST_F(PackageCacheTest, AFileThatGoesBadUnderAnOpenEntryFailsItsReadsAndIsNotFoundAfter) {
  WriteBytes(file_, Numbered(3, "bad").Bytes());
  auto stream = PackageEntryStream("pages/3.png", file_);
  ASSERT_NE(stream, nullptr);
  // Cut short under the open stream (a stick pulled out, a download cut).
  std::filesystem::resize_file(file_, 100);
  char bytes[64];
  EXPECT_THROW(stream->Read(bytes, sizeof bytes), EReadError);
  EXPECT_EQ(PackageFileIndex("pages/3.png", file_), 0);
  EXPECT_EQ(PackageFileStream("pages/3.png", file_), nullptr);
}

TEST_F(PackageCacheTest, AnEntryTooLargeToHoldInMemoryIsStillServedWhereItLies) {
  // A 2 GiB entry, sparse on disk: no 32-bit process can hold a copy of it.
  constexpr int64_t kHuge = INT32_MAX - 64;  // the whole block stays within 31 bits
  const std::string directory = "big.bin=1\r\n";
  const std::string head = "MZ fake viewer" + directory;
  WriteBytes(file_, head);
  std::filesystem::resize_file(file_, head.size() + kHuge);
  std::string trailer = testing::Int32LE(static_cast<int32_t>(directory.size())) +
                        testing::Int32LE(static_cast<int32_t>(kHuge)) + testing::Int32LE(2) +
                        std::string(1, '\0');
  const int64_t block = static_cast<int64_t>(directory.size()) + kHuge + 8 + 13;
  ASSERT_LE(block, INT32_MAX);
  trailer += testing::Int32LE(static_cast<int32_t>(block)) +
             testing::Int32LE(static_cast<int32_t>(block) ^ 0x12345678);
  {
    std::ofstream out(file_, std::ios::binary | std::ios::app);
    out.write(trailer.data(), static_cast<std::streamsize>(trailer.size()));
  }
  EXPECT_EQ(PackageFileIndex("big.bin", file_), 1);
  auto stream = PackageEntryStream("big.bin", file_);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->GetSize(), kHuge);
  stream->Seek(-8, TSeekOrigin::End);
  char tail[16];
  EXPECT_EQ(stream->Read(tail, sizeof tail), 8);
  if constexpr (sizeof(void*) == 4) {
    // A copy in memory cannot be had: the request fails cleanly.
    EXPECT_EQ(PackageFileStream("big.bin", file_), nullptr);
  }
}

// A writer that is not a memory stream, as a provider's stream side is.
class TRecordingWriter : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    bytes.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    ++writes;
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(bytes.size()); }
  std::string bytes;
  int writes = 0;
};

TEST_F(PackageCacheTest, AWriterReceivesAnEntryInOneWrite) {
  WriteBytes(file_, Numbered(30, "w").Bytes());
  TRecordingWriter writer;
  PackageReadFile("pages/30.png", writer, file_);
  EXPECT_EQ(writer.writes, 1);
  EXPECT_EQ(writer.bytes, TExeExtReader(file_).ReadEntryText(30));
}

}  // namespace
}  // namespace leafbook
