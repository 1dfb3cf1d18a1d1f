// Reading a book through its block digest table: a changed byte is found by
// the first read of its block, nothing of that block is handed out and the
// book reads as damaged from then on; many threads reading one book check
// each block once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "package/OpenPackage.h"
#include "package/PackageAccess.h"
#include "package/PackageCache.h"
#include "package/PackageWriter.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::Directory;
using testing::Pattern;
using testing::TTempDir;
using testing::WriteBytes;
using testing::WrittenPackage;

constexpr int64_t kBlock = 4096;

std::mutex reportLock;
std::vector<std::string> reports;

void Record(const std::string& text) {
  std::lock_guard<std::mutex> guard(reportLock);
  reports.push_back(text);
}

// A stream that is not a memory stream, as a provider's stream side is: the
// entry reaches it through the reader's buffer.
class TRecordingWriter : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    bytes.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(bytes.size()); }
  std::string bytes;
};

// Whether none of the bytes from `from` on is a byte of the entry: each is
// still the 0xFF fill, or zeroed.
bool NoneHandedOut(const std::vector<uint8_t>& buffer, size_t from) {
  for (size_t i = from; i < buffer.size(); ++i) {
    if (buffer[i] != 0 && buffer[i] != 0xFF) {
      return false;
    }
  }
  return true;
}

// The first read of the bad block.
enum class TRoute { FileStream, ReadIntoMemory, ReadIntoWriter, EntryInPieces, EntryWholeBlock };

class BlockDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reports.clear();
    SetPackageDamageReport(Record);
  }
  void TearDown() override { SetPackageDamageReport(nullptr); }

  // Reads name by route, which reaches the bad block from badStart (within
  // the entry) on, and expects "not found" with none of the block's bytes.
  static void ExpectNotFoundAtTheBadBlock(TRoute route, const std::string& name,
                                          const std::string& path, const std::string& intact,
                                          int64_t badStart, int64_t badLength) {
    const auto bad = static_cast<size_t>(badStart);
    switch (route) {
      case TRoute::FileStream:
        EXPECT_EQ(PackageFileStream(name, path), nullptr);
        break;
      case TRoute::ReadIntoMemory: {
        TStringStream stream("keep");
        stream.Seek(0, TSeekOrigin::End);
        EXPECT_FALSE(PackageReadFile(name, stream, path));
        EXPECT_EQ(stream.DataString(), "keep");
        break;
      }
      case TRoute::ReadIntoWriter: {
        TRecordingWriter writer;
        EXPECT_FALSE(PackageReadFile(name, writer, path));
        EXPECT_LE(writer.bytes.size(), bad);
        EXPECT_EQ(writer.bytes, intact.substr(0, writer.bytes.size()));
        break;
      }
      case TRoute::EntryInPieces: {
        auto stream = PackageEntryStream(name, path);
        ASSERT_NE(stream, nullptr);
        std::string arrived;
        std::vector<uint8_t> buffer;
        for (bool failed = false; !failed;) {
          buffer.assign(997, 0xFF);
          try {
            const int32_t got = stream->Read(buffer.data(), static_cast<int32_t>(buffer.size()));
            ASSERT_GT(got, 0) << "the entry was read whole";
            arrived.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(got));
          } catch (const EPackageBlockDigest&) {
            failed = true;
          }
        }
        // Every read before the first that touches the block succeeded.
        EXPECT_EQ(arrived, intact.substr(0, bad / 997 * 997));
        EXPECT_TRUE(NoneHandedOut(buffer, bad - arrived.size()));
        break;
      }
      case TRoute::EntryWholeBlock: {
        // The block fills the buffer exactly: read straight into it.
        auto stream = PackageEntryStream(name, path);
        ASSERT_NE(stream, nullptr);
        stream->SetPosition(badStart);
        std::vector<uint8_t> buffer(static_cast<size_t>(badLength), 0xFF);
        EXPECT_THROW(stream->Read(buffer.data(), static_cast<int32_t>(badLength)),
                     EPackageBlockDigest);
        EXPECT_TRUE(NoneHandedOut(buffer, 0));
        break;
      }
    }
  }
};

TEST_F(BlockDamageTest, AChangedByteIsNotFoundFromTheFirstReadOfItsBlockOn) {
  // Region: the directory and first.bin from 0, big.bin from 5036 (blocks 1
  // to 7), tail.bin from 30612 (blocks 7 and 8, the last short), the table.
  const std::vector<std::string> names = {"", "first.bin", "big.bin", "tail.bin"};
  const std::vector<std::string> entries = {
      Directory({{"first.bin", 1}, {"big.bin", 2}, {"tail.bin", 3}}), Pattern(5000, 21),
      Pattern(6 * kBlock + 1000, 22), Pattern(3000, 23)};
  const std::string intact = WrittenPackage(entries, static_cast<int32_t>(kBlock));
  const size_t dataOffset = testing::TRawPackage().DataOffset();
  std::vector<int64_t> starts = {0};  // within the region; the table's last
  for (const std::string& entry : entries) {
    starts.push_back(starts.back() + static_cast<int64_t>(entry.size()));
  }
  ASSERT_EQ(starts[2], 5036);
  const int64_t covered = starts.back();

  struct TCase {
    const char* what;
    int32_t entry;   // 4: the table
    int64_t offset;  // within the entry; negative: from its end
    bool atOpen;
    TRoute route;
    int32_t other;  // a file all of whose blocks are good
    const char* named;
  };
  const TCase cases[] = {
      {"a byte of the directory", 0, 3, true, TRoute::FileStream, 0, "[the directory]"},
      {"a byte in the directory's block", 1, 100, true, TRoute::FileStream, 0, "[the directory]"},
      {"a byte of the table", 4, 20, true, TRoute::FileStream, 0, "table fails its own check"},
      {"the first byte of big.bin", 2, 0, false, TRoute::FileStream, 3, "[big.bin]"},
      {"a middle byte of big.bin", 2, 3 * kBlock, false, TRoute::EntryWholeBlock, 1, "[big.bin]"},
      {"the last byte of big.bin", 2, -1, false, TRoute::ReadIntoMemory, 1, "[big.bin]"},
      {"a byte of first.bin", 1, 4500, false, TRoute::ReadIntoWriter, 3, "[first.bin]"},
      {"a byte in the short last block", 3, -10, false, TRoute::EntryInPieces, 2, "[tail.bin]"},
  };
  TTempDir dir;
  int file = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    reports.clear();
    const int64_t entrySize = c.entry == 4 ? BlockTableSize(covered, static_cast<int32_t>(kBlock))
                                           : static_cast<int64_t>(entries[c.entry].size());
    const int64_t at =
        starts[static_cast<size_t>(c.entry)] + (c.offset < 0 ? entrySize + c.offset : c.offset);
    const int64_t block = at / kBlock;
    std::string damaged = intact;
    damaged[dataOffset + static_cast<size_t>(at)] ^= 1;
    // Packages are known by path and file: each case a file of its own.
    const std::string path = dir.File("book" + std::to_string(file++) + ".exe");
    WriteBytes(path, damaged);

    std::unique_ptr<TStream> early;
    if (!c.atOpen) {
      // Only the table and the directory's block are read at open; any file
      // whose blocks are good reads as it was.
      EXPECT_EQ(PackageState(path), TPackageState::Intact);
      ASSERT_EQ(PackageFileIndex(names[c.entry], path), c.entry);
      const std::string& other = entries[static_cast<size_t>(c.other)];
      auto copy = PackageFileStream(names[c.other], path);
      ASSERT_NE(copy, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy->Memory()), other.size()), other);
      early = PackageEntryStream(names[c.other], path);
      ASSERT_NE(early, nullptr);
      EXPECT_TRUE(reports.empty());

      const int64_t blockStart = block * kBlock;
      const int64_t badStart = std::max<int64_t>(blockStart - starts[c.entry], 0);
      const int64_t badLength = std::min(blockStart + kBlock, starts[c.entry] + entrySize) -
                                std::max(blockStart, starts[c.entry]);
      ExpectNotFoundAtTheBadBlock(c.route, names[c.entry], path, entries[c.entry], badStart,
                                  badLength);
    }

    // Damaged for good: every file is gone, even one read before, and the
    // damage is told once.
    EXPECT_EQ(PackageState(path), TPackageState::Damaged);
    for (size_t i = 1; i < names.size(); ++i) {
      SCOPED_TRACE(names[i]);
      EXPECT_EQ(PackageFileIndex(names[i], path), 0);
      EXPECT_EQ(PackageFileStream(names[i], path), nullptr);
      EXPECT_EQ(PackageEntryStream(names[i], path), nullptr);
      TStringStream keep("keep");
      EXPECT_FALSE(PackageReadFile(names[i], keep, path));
      EXPECT_EQ(keep.DataString(), "keep");
    }
    if (early) {
      char bytes[16];
      early->SetPosition(0);
      EXPECT_THROW(early->Read(bytes, sizeof bytes), EPackageBlockDigest);
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(c.named), std::string::npos) << reports[0];
    if (c.entry != 4) {
      EXPECT_NE(reports[0].find("block " + std::to_string(block) + " "), std::string::npos)
          << reports[0];
    }
  }
}

TEST_F(BlockDamageTest, ThreadsReadingABadBlockAtOnceAllFailAndTheDamageIsToldOnce) {
  // Threads that reached the block before it failed must not read it
  // unchecked after, nor tell the damage again. Some rounds, for the race.
  constexpr int64_t kLarge = 256 << 10;
  const std::string directory = Directory({{"page.bin", 1}});
  const std::string page = Pattern(4 * kLarge, 41);
  const std::string intact = WrittenPackage({directory, page}, static_cast<int32_t>(kLarge));
  const int64_t badStart = 2 * kLarge - static_cast<int64_t>(directory.size());  // in the page
  std::string damaged = intact;
  damaged[testing::TRawPackage().DataOffset() + 2 * kLarge + 1000] ^= 1;
  TTempDir dir;
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    reports.clear();
    const std::string path = dir.File("book" + std::to_string(round) + ".exe");
    WriteBytes(path, damaged);
    std::vector<std::unique_ptr<TStream>> streams;
    for (int t = 0; t < 8; ++t) {
      streams.push_back(PackageEntryStream("page.bin", path));
      ASSERT_NE(streams.back(), nullptr);
    }
    std::atomic<int> ready{0};
    std::atomic<int> failed{0};
    std::atomic<int> handedOut{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        std::vector<uint8_t> buffer(static_cast<size_t>(kLarge), 0xFF);
        TStream& stream = *streams[static_cast<size_t>(t)];
        stream.SetPosition(badStart);
        ++ready;
        while (ready.load() < 8) {
          std::this_thread::yield();
        }
        try {
          stream.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        } catch (const EPackageBlockDigest&) {
          ++failed;
        }
        if (!NoneHandedOut(buffer, 0)) {
          ++handedOut;
        }
      });
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
    EXPECT_EQ(failed.load(), 8);
    EXPECT_EQ(handedOut.load(), 0);
    EXPECT_EQ(reports.size(), 1u);
  }
}

TEST(BlockReads, EightThreadsReadingOverlappingRangesGetExactBytesAndCheckEachBlockOnce) {
  constexpr int64_t kSize = 64 << 20;
  constexpr int64_t kMiB = 1 << 20;
  const std::string directory = Directory({{"book.bin", 1}});
  // A pattern of an odd length over and over: no two blocks alike, and no
  // byte in its place by chance when a read comes from the wrong offset.
  const std::string piece = Pattern((1 << 20) + 7, 31);
  std::string content;
  content.reserve(static_cast<size_t>(kSize));
  while (content.size() < static_cast<size_t>(kSize)) {
    content.append(piece, 0, std::min(piece.size(), static_cast<size_t>(kSize) - content.size()));
  }
  TTempDir dir;
  const std::string path = dir.File("large.exe");
  {
    TFileStream out(path, platform::TFileMode::Create);
    out.WriteBuffer("MZ", 2);
    TPackageWriter writer(out, true, nullptr, block_digests::kDefaultBlockSize);
    writer.AddEntry(directory);
    writer.AddEntry(content);
    writer.Finish();
  }
  auto package = AcquirePackage(path);
  ASSERT_NE(package, nullptr);
  ASSERT_NE(package->Index().Blocks(), nullptr);
  EXPECT_EQ(package->Index().Blocks()->Checks(), 1) << "only the directory's block at open";

  struct TRange {
    int64_t offset;
    int64_t length;
  };
  // All threads read the first 8 MiB at once, then ranges of their own that
  // overlap their neighbours'. Nothing reads past 43 MiB: those blocks
  // stay unchecked.
  std::vector<std::vector<TRange>> ranges(8);
  const int64_t blockSize = block_digests::kDefaultBlockSize;
  std::vector<bool> read(static_cast<size_t>((directory.size() + kSize) / blockSize + 1));
  read[0] = true;  // the directory's
  for (int64_t t = 0; t < 8; ++t) {
    ranges[t] = {{0, 8 * kMiB},
                 {t * 5 * kMiB + 12345, 6 * kMiB},
                 {40 * kMiB - t * 3 * kMiB + 777, 2 * kMiB + 1}};
    for (const TRange& range : ranges[t]) {
      const int64_t first = static_cast<int64_t>(directory.size()) + range.offset;
      for (int64_t b = first / blockSize; b <= (first + range.length - 1) / blockSize; ++b) {
        read[static_cast<size_t>(b)] = true;
      }
    }
  }
  const auto blocksRead = std::count(read.begin(), read.end(), true);
  ASSERT_LT(blocksRead, static_cast<int64_t>(read.size()));

  std::atomic<int> ready{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      auto stream = PackageEntryStream("book.bin", path);
      ++ready;
      while (ready.load() < 8) {
        std::this_thread::yield();
      }
      if (!stream) {
        ++wrong;
        return;
      }
      std::vector<char> buffer(static_cast<size_t>(65536 + 997 * t));
      for (const TRange& range : ranges[static_cast<size_t>(t)]) {
        stream->SetPosition(range.offset);
        for (int64_t done = 0; done < range.length;) {
          const auto want = static_cast<int32_t>(
              std::min<int64_t>(range.length - done, static_cast<int64_t>(buffer.size())));
          const int32_t got = stream->Read(buffer.data(), want);
          if (got != want || std::memcmp(buffer.data(), content.data() + range.offset + done,
                                         static_cast<size_t>(got)) != 0) {
            ++wrong;
            break;
          }
          done += got;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(package->Index().Damaged());
  EXPECT_EQ(AcquirePackage(path)->Index().Blocks()->Checks(), blocksRead);
}

// The whole check in the background finds damage in a block nobody read,
// and the book then reads as damaged; an intact book stays as it was, and a
// book is checked so once however often it is asked for.
TEST_F(BlockDamageTest, TheWholeCheckInTheBackgroundFindsDamageNobodyRead) {
  TTempDir dir;
  const std::string content = Pattern(20 * kBlock, 31);
  const std::vector<std::string> entries = {Directory({{"book.swf", 1}, {"page.bin", 2}}),
                                            "FWS\x01\x02", content};
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "intact");
    reports.clear();
    std::string bytes = WrittenPackage(entries, static_cast<int32_t>(kBlock));
    const std::string path = dir.File(damaged ? "damaged.exe" : "intact.exe");
    if (damaged) {
      bytes[bytes.find(content) + content.size() - 10] ^= 0x21;  // the last block
    }
    WriteBytes(path, bytes);
    ASSERT_EQ(PackageFileIndex("book.swf", path), 1);
    ASSERT_TRUE(PackageFileStream("book.swf", path));  // its block is intact
    CheckWholeInBackground(path, 0);
    CheckWholeInBackground(path, 0);
    WaitForBackgroundChecks();
    EXPECT_EQ(PackageFileIndex("book.swf", path), damaged ? 0 : 1);
    EXPECT_EQ(PackageState(path), damaged ? TPackageState::Damaged : TPackageState::Intact);
    ASSERT_EQ(reports.size(), damaged ? 1u : 0u);
    if (damaged) {
      EXPECT_NE(reports[0].find("the whole book does not match its digest"), std::string::npos)
          << reports[0];
    }
  }
}

}  // namespace
}  // namespace leafbook
