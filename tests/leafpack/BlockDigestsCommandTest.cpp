// leafpack and block digests: when build adds the table, what list and verify
// say of it, how verify names a damaged block or table, and that the table
// never shows as a file.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "package/BlockDigests.h"
#include "package/ExeExt.h"
#include "tests/leafpack/LeafpackFixture.h"
#include "tests/package/PackageFixture.h"
#include "tools/leafpack/Leafpack.h"

namespace leafbook::leafpack {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

using BlockDigestsCommandTest = TLeafpackTest;

const std::string kBlocks = ", block digests, 256 KiB";

// Bytes that differ from block to block, so that no two blocks share a digest.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + i / 4096) % 251);
  }
  return bytes;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(BlockDigestsCommandTest, ABookGetsATableAbove16MiBOfContentOrWhenAskedFor) {
  // book.swf alone: the content is the directory "book.swf=1\r\n" and the movie.
  const size_t atThreshold = static_cast<size_t>(block_digests::kDefaultThreshold) - 12;
  struct TCase {
    const char* what;
    size_t movie;
    std::vector<std::string> options;
    bool table;
    bool digest;
    bool sameAsNoBlockDigests;  // byte for byte the book --no-block-digests gives
  };
  const TCase cases[] = {
      {"a small book", 5, {}, false, true, false},
      {"a small book asking for it", 5, {"--block-digests"}, true, true, false},
      {"a small book without any digest",
       5,
       {"--no-digest", "--no-block-digests"},
       false,
       false,
       false},
      {"exactly 16 MiB", atThreshold, {}, false, true, true},
      {"a byte over 16 MiB", atThreshold + 1, {}, true, true, false},
      {"a byte over 16 MiB refusing it",
       atThreshold + 1,
       {"--no-block-digests"},
       false,
       true,
       false},
      {"a byte over 16 MiB without the digest",
       atThreshold + 1,
       {"--no-digest"},
       false,
       false,
       false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(Book("book.swf"), std::string(c.movie, 'm'));
    TResult build = Build(c.options);
    ASSERT_EQ(build.code, kOk) << build.err;
    const std::string blocks = c.table ? kBlocks : "";
    const std::string digest = c.digest ? "digest on" : "digest off";
    EXPECT_TRUE(EndsWith(build.out, digest + blocks + "\n")) << build.out;
    const std::string entries = c.table ? "3 entries, " : "2 entries, ";

    TResult list = Run({"list", output_});
    EXPECT_EQ(list.code, kOk) << list.err;
    EXPECT_EQ(list.out.substr(0, list.out.find('\n') + 1),
              output_ + ": " + entries + digest + blocks + ", not signed\n");

    TResult verify = Run({"verify", output_});
    EXPECT_EQ(verify.code, kOk) << verify.err;
    EXPECT_EQ(verify.out,
              output_ + ": ok: " + entries + "1 names, " +
                  (c.digest ? "digest verified" : "no digest stored (content unchecked)") + blocks +
                  ", not signed\n");

    if (c.sameAsNoBlockDigests) {
      const std::string book = ReadBytes(output_);
      ASSERT_EQ(Build({"--no-block-digests"}).code, kOk);
      EXPECT_TRUE(ReadBytes(output_) == book) << "the books differ";
    }
  }
}

TEST_F(BlockDigestsCommandTest, VerifyNamesTheBadBlockAndTheEntriesItHolds) {
  // Three blocks: the directory and big.bin's start; big.bin's middle; a short
  // last one with big.bin's end and book.swf.
  WriteBytes(Book("big.bin"), Pattern(600 << 10));
  WriteBytes(Book("book.swf"), "MOVIE");
  ASSERT_EQ(Build({"--no-block-digests"}).code, kOk);
  const std::string withoutTable = ReadBytes(output_);
  ASSERT_EQ(Build({"--block-digests"}).code, kOk);
  const std::string withTable = ReadBytes(output_);

  TExeExtReader reader(output_);
  ASSERT_EQ(reader.EntryCount(), 4);
  const size_t data = static_cast<size_t>(reader.DataOffset());
  const auto& sizes = reader.EntrySizes();
  const size_t covered = static_cast<size_t>(sizes[0] + sizes[1] + sizes[2]);
  const size_t table = data + covered;
  const size_t md5 = table + static_cast<size_t>(sizes[3]);
  const size_t inBigBin = data + 300000;
  const size_t inBookSwf = table - 2;
  const std::string block1 = "block 1 (bytes 262144 to 524287 of the data region) fails its check";
  const std::string block2 = "block 2 (bytes 524288 to " + std::to_string(covered - 1) +
                             " of the data region) fails its check";
  const std::string damaged = ": the book is damaged\n";
  const std::string wholeDigest = ": the package's content does not match its digest";

  struct TCase {
    const char* what;
    const std::string* book;
    std::vector<size_t> changed;  // offsets in the file of the bytes changed
    int code;
    std::string says;
  };
  const TCase cases[] = {
      {"intact", &withTable, {}, kOk, ": ok: 4 entries, 2 names, digest verified" + kBlocks},
      {"a byte of big.bin",
       &withTable,
       {inBigBin},
       kBadDigest,
       block1 + ", in entry 1 \"big.bin\"" + damaged},
      {"a byte of book.swf, in the short last block",
       &withTable,
       {inBookSwf},
       kBadDigest,
       block2 + ", in entry 1 \"big.bin\", entry 2 \"book.swf\"" + damaged},
      {"a byte of the directory's second line",
       &withTable,
       {data + 12},
       kBadDigest,
       "block 0 (bytes 0 to 262143 of the data region) fails its check, in entry 0 (the "
       "directory), entry 1 \"big.bin\"" +
           damaged},
      {"two blocks",
       &withTable,
       {inBookSwf, inBigBin},
       kBadDigest,
       block1 + ", in entry 1 \"big.bin\"; and 1 more block fails" + damaged},
      {"every block",
       &withTable,
       {data + 12, inBigBin, inBookSwf},
       kBadDigest,
       "; and 2 more blocks fail" + damaged},
      {"a byte of the table",
       &withTable,
       {table + 20},
       kBadDigest,
       ": the block digest table fails its own check" + damaged},
      // Then the table reads as an ordinary entry: the whole digest still fails.
      {"a byte of the table's signature", &withTable, {md5 - 1}, kBadDigest, wholeDigest},
      {"the stored digest, every block intact", &withTable, {md5}, kBadDigest, wholeDigest},
      {"a byte of big.bin in a book without a table",
       &withoutTable,
       {inBigBin},
       kBadDigest,
       wholeDigest},
  };
  const std::string check = dir_.File("out/check.exe");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = *c.book;
    for (size_t at : c.changed) {
      bytes[at] ^= 0x20;
    }
    WriteBytes(check, bytes);
    TResult verify = Run({"verify", check});
    EXPECT_EQ(verify.code, c.code) << verify.err;
    EXPECT_NE((verify.out + verify.err).find(c.says), std::string::npos) << verify.err;
    // list checks the whole digest only, which every damage here fails too.
    TResult list = Run({"list", check});
    EXPECT_EQ(list.code, c.code) << list.err;
    if (c.code != kOk) {
      EXPECT_EQ(verify.err.rfind("leafpack: " + check + ": ", 0), 0u) << verify.err;
      EXPECT_EQ(verify.out, "");
      EXPECT_EQ(list.out, "") << "no header for a damaged book";
    }
  }
}

TEST_F(BlockDigestsCommandTest, ListAndExtractGiveEachFileOfABookWithATable) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"book.swf", "MOVIE"},
      {"empty.txt", ""},
      {"pages/1.jpg", Pattern(300 << 10)},  // across the first block's end
      {"pages/2.jpg", Pattern(300 << 10)},  // the same bytes: stored once
      {"pages/3.jpg", std::string("J\0PG", 4)},
  };
  for (const auto& [name, bytes] : files) {
    WriteBytes(Book(name), bytes);
  }
  ASSERT_EQ(Build({"--block-digests"}).code, kOk);

  TResult list = Run({"list", output_});
  ASSERT_EQ(list.code, kOk) << list.err;
  // Five names for four contents, and the table, which no name gives.
  EXPECT_EQ(list.out, output_ + ": 6 entries, digest on" + kBlocks +
                          ", not signed\n"
                          "   index         size  name\n"
                          "       1            5  book.swf\n"
                          "       2            0  empty.txt\n"
                          "       3       307200  pages/1.jpg\n"
                          "       3       307200  pages/2.jpg\n"
                          "       4            4  pages/3.jpg\n");
  TResult verify = Run({"verify", output_});
  EXPECT_NE(verify.out.find(": ok: 6 entries, 5 names, digest verified" + kBlocks),
            std::string::npos)
      << verify.out << verify.err;

  for (const auto& [name, bytes] : files) {
    TResult toOut = Run({"extract", output_, name});
    EXPECT_EQ(toOut.code, kOk) << name << ": " << toOut.err;
    EXPECT_TRUE(toOut.out == bytes) << name;
    const std::string extracted = dir_.File("out/extracted");
    EXPECT_EQ(Run({"extract", output_, name, "-o", extracted}).code, kOk) << name;
    EXPECT_TRUE(ReadBytes(extracted) == bytes) << name;
  }
}

}  // namespace
}  // namespace leafbook::leafpack
