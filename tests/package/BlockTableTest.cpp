// Block digest tables as the writer lays them out, as they are found and
// parsed (damaged ones too), as readers that do not know them see them, in a
// package rewritten with one, and in the publisher's check of both digests.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string_view>

#include "package/BlockDigests.h"
#include "package/ExeExt.h"
#include "package/MD5Op.h"
#include "package/OpenPackage.h"
#include "package/PackageAccess.h"
#include "package/PackageCheck.h"
#include "package/PackageWriter.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

using testing::Directory;
using testing::Pattern;
using testing::TRawPackage;
using testing::TSignedImage;
using testing::TTempDir;
using testing::WriteBytes;
using testing::WrittenPackage;

uint32_t LoadLE32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  }
  return value;
}

void StoreLE32(std::string& bytes, size_t at, uint32_t value) {
  bytes.replace(at, 4, testing::Int32LE(static_cast<int32_t>(value)));
}

std::string DigestOf(std::string_view bytes) {
  const TBlockDigest digest = BlockDigestOf(bytes.data(), bytes.size());
  return std::string(reinterpret_cast<const char*>(digest.data()), digest.size());
}

std::string Text(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<size_t>(stream.Size()));
}

std::string ReadAll(TStream& stream) {
  std::string bytes;
  char buffer[997];
  for (int32_t got; (got = stream.Read(buffer, sizeof buffer)) > 0;) {
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

// Entry index of a package in file, read through the index's checks.
std::string ReadThrough(const TPackageIndex& index, TStream& file, int32_t entry) {
  std::string bytes(static_cast<size_t>(index.EntrySize(entry)), '\0');
  index.ReadChecked(
      [&file](int64_t at, uint8_t* buffer, int64_t count) {
        file.SetPosition(at);
        file.ReadBuffer(buffer, static_cast<int32_t>(count));
      },
      entry, index.EntryOffset(entry), reinterpret_cast<uint8_t*>(bytes.data()),
      static_cast<int64_t>(bytes.size()));
  return bytes;
}

// How an action refused a package, most particular kind first.
enum class TRefusal { None, NotFound, Digest, BlockDigest };

TRefusal RefusalOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EPackageBlockDigest&) {
    return TRefusal::BlockDigest;
  } catch (const EPackageDigest&) {
    return TRefusal::Digest;
  } catch (const EPackageNotFound&) {
    return TRefusal::NotFound;
  }
  return TRefusal::None;
}

TEST(BlockDigest, IsXXH3Of128BitsInCanonicalByteOrder) {
  EXPECT_EQ(DigestOf("abc"),
            std::string("\x06\xb0\x5a\xb6\x73\x3a\x61\x85\x78\xaf\x5f\x94\x89\x2f\x39\x50", 16));
}

TEST(BlockDigestWriter, WritesTheTableAsTheLastEntryLaidOutAsDocumented) {
  const std::string directory = Directory({{"book.swf", 1}, {"page.png", 2}});
  struct TCase {
    const char* what;
    std::vector<std::string> entries;
    int32_t blockSize;
  };
  const TCase cases[] = {
      {"a short last block", {directory, "FWS\x01\x02", Pattern(10000, 1)}, 4096},
      {"blocks filled exactly", {directory, Pattern(8192 - directory.size(), 2)}, 4096},
      {"less than one block", {directory, "FWS\x01\x02"}, 256 << 10},
      {"the largest blocks", {directory, Pattern(70000, 3)}, 16 << 20},
      {"nothing to cover but empty entries", {"", ""}, 4096},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TStringStream out;
    TPackageWriter writer(out, true, nullptr, c.blockSize);
    for (const std::string& entry : c.entries) {
      writer.AddEntry(entry);
    }
    const int32_t blockLength = writer.Finish();
    const std::string package = out.DataString();
    EXPECT_EQ(blockLength, static_cast<int64_t>(package.size()));

    TStringStream file(package);
    const TPackageLayout layout = ReadPackageLayout(file);  // the whole digest holds
    ASSERT_EQ(layout.EntryCount, static_cast<int32_t>(c.entries.size()) + 1);
    const std::string region = package.substr(0, static_cast<size_t>(layout.RegionLength));
    EXPECT_EQ(TMD5::Of(region.data(), region.size()), layout.StoredDigest)
        << "the whole digest covers the table too";
    std::string covered;
    for (size_t i = 0; i < c.entries.size(); ++i) {
      EXPECT_EQ(layout.EntrySizes[i], static_cast<int32_t>(c.entries[i].size()));
      covered += c.entries[i];
    }
    ASSERT_EQ(region.substr(0, covered.size()), covered);
    const std::string table = region.substr(covered.size());
    const size_t blocks =
        (covered.size() + static_cast<size_t>(c.blockSize) - 1) / static_cast<size_t>(c.blockSize);
    ASSERT_EQ(table.size(), 16 * blocks + 36);
    EXPECT_EQ(layout.EntrySizes.back(), static_cast<int32_t>(table.size()));
    EXPECT_EQ(BlockTableSize(static_cast<int64_t>(covered.size()), c.blockSize),
              static_cast<int64_t>(table.size()));
    EXPECT_EQ(PackageBlockLength(static_cast<int64_t>(covered.size()),
                                 static_cast<int64_t>(c.entries.size()), true, c.blockSize),
              blockLength);

    for (size_t k = 0; k < blocks; ++k) {
      const auto block = std::string_view(covered).substr(k * static_cast<size_t>(c.blockSize),
                                                          static_cast<size_t>(c.blockSize));
      EXPECT_EQ(table.substr(16 * k, 16), DigestOf(block)) << "block " << k;
    }
    const size_t footer = 16 * blocks;
    EXPECT_EQ(LoadLE32(table, footer), static_cast<uint32_t>(c.blockSize));
    EXPECT_EQ(LoadLE32(table, footer + 4), blocks);
    EXPECT_EQ(LoadLE32(table, footer + 8), covered.size());
    EXPECT_EQ(table.substr(footer + 12, 16),
              DigestOf(std::string_view(table).substr(0, footer + 12)));
    EXPECT_EQ(table.substr(footer + 28), "LBBLOCK1");
  }
}

TEST(BlockDigestWriter, RefusesBlocksItCannotWriteAndWritesNoTableWithoutEntries) {
  TStringStream out;
  EXPECT_THROW(TPackageWriter(out, false, nullptr, 4096), EAssertionFailed)
      << "a table lives only in a package with a digest";
  for (int32_t size : {2048, 3000, 12288, 32 << 20}) {
    EXPECT_THROW(TPackageWriter(out, true, nullptr, size), EAssertionFailed) << size;
  }
  EXPECT_EQ(WrittenPackage({}, 4096, ""), WrittenPackage({}, 0, ""));
}

TEST(BlockDigestReaders, ABookWithATableReadsAsBeforeWhetherTheTableIsKnownOrNot) {
  const std::vector<std::string> entries = {
      Directory({{"book.swf", 1}, {"pages/1.png", 2}, {"pages/2.png", 3}, {"again.png", 2}}),
      "FWS\x01\x02", Pattern(10000, 4), Pattern(70000, 5)};
  const std::vector<std::pair<std::string, int32_t>> names = {
      {"book.swf", 1}, {"PAGES/1.PNG", 2}, {"pages/2.png", 3}, {"again.png", 2}};
  const std::string package = WrittenPackage(entries, 4096);
  TTempDir dir;
  const std::string path = dir.File("book.exe");
  WriteBytes(path, package);

  // The format's first reader: one entry more, the directory as it was
  // written, so no line names the table.
  TExeExtReader first(path);
  ASSERT_EQ(first.EntryCount(), 5);
  EXPECT_TRUE(first.HasDigest());
  for (int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(first.ReadEntryText(i), entries[static_cast<size_t>(i)]) << i;
  }

  for (TBlockDigestUse use : {TBlockDigestUse::Ignore, TBlockDigestUse::Honour}) {
    SCOPED_TRACE(use == TBlockDigestUse::Ignore ? "ignored" : "honoured");
    TStringStream file(package);
    const TPackageIndex index(file, use);
    ASSERT_EQ(index.EntryCount(), 5);
    EXPECT_EQ(index.Blocks() != nullptr, use == TBlockDigestUse::Honour);
    for (const auto& [name, i] : names) {
      ASSERT_EQ(index.Find(name), i) << name;
      EXPECT_EQ(ReadThrough(index, file, i), entries[static_cast<size_t>(i)]) << name;
    }
  }

  EXPECT_EQ(PackageState(path), TPackageState::Intact);
  for (const auto& [name, i] : names) {
    const std::string& want = entries[static_cast<size_t>(i)];
    auto stream = PackageFileStream(name, path);
    ASSERT_NE(stream, nullptr) << name;
    EXPECT_EQ(Text(*stream), want) << name;
    TStringStream appended("<<");
    appended.Seek(0, TSeekOrigin::End);
    EXPECT_TRUE(PackageReadFile(name, appended, path)) << name;
    EXPECT_EQ(appended.DataString(), "<<" + want) << name;
    auto entry = PackageEntryStream(name, path);
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(ReadAll(*entry), want) << name;
  }
}

TEST(BlockDigestReaders, AReaderThatIgnoresTheTableChecksTheWholeDigestAtOpen) {
  const std::string directory = Directory({{"a.png", 1}, {"b.png", 2}});
  std::string package = WrittenPackage({directory, Pattern(5000, 6), Pattern(9000, 7)}, 4096);
  package[TRawPackage().DataOffset() + directory.size() + 5000 + 8000] ^= 1;  // b's last block
  TStringStream ignoring(package);
  EXPECT_THROW(TPackageIndex(ignoring, TBlockDigestUse::Ignore), EPackageDigest);
  // Honoured, the table leaves the block unread until b is read.
  TStringStream file(package);
  const TPackageIndex index(file);
  EXPECT_EQ(ReadThrough(index, file, 1), Pattern(5000, 6));
  EXPECT_THROW(ReadThrough(index, file, 2), EPackageBlockDigest);
}

TEST(BlockTableParse, DamagedTablesAreRefusedAndOtherBytesAreNoTable) {
  TBlockDigester digester(4096);
  const std::string content = Pattern(10000, 8);
  digester.Update(content.data(), content.size());
  const TBlockTable intact = digester.Finish();
  const std::string bytes = BlockTableBytes(intact);
  ASSERT_EQ(bytes.size(), 3 * 16 + 36u);
  const size_t footer = 48;
  // A change made by a writer that knew the table's own digest.
  const auto resealed = [](std::string table) {
    const size_t self = table.size() - 24;
    table.replace(self, 16, DigestOf(std::string_view(table).substr(0, self)));
    return table;
  };
  const auto with32 = [&](size_t at, uint32_t value) {
    std::string table = bytes;
    StoreLE32(table, at, value);
    return resealed(table);
  };
  std::string changedDigest = bytes;
  changedDigest[5] ^= 1;
  std::string noSignature = bytes;
  noSignature.back() ^= 1;

  struct TCase {
    const char* what;
    std::string table;
    int64_t covered;
    TRefusal refusal;
    std::optional<TBlockTableKind> kind;  // when not refused
  };
  const TCase cases[] = {
      {"intact", bytes, 10000, TRefusal::None, TBlockTableKind::Table},
      {"no signature", noSignature, 10000, TRefusal::None, TBlockTableKind::None},
      {"a signature alone", "LBBLOCK1", 0, TRefusal::None, TBlockTableKind::None},
      {"ordinary bytes", Pattern(84, 9), 10000, TRefusal::None, TBlockTableKind::None},
      {"a digest changed", changedDigest, 10000, TRefusal::BlockDigest, std::nullopt},
      {"a footer of zeros", std::string(28, '\0') + "LBBLOCK1", 0, TRefusal::BlockDigest,
       std::nullopt},
      {"blocks of 3000 bytes", with32(footer, 3000), 10000, TRefusal::BlockDigest, std::nullopt},
      {"blocks of 2 KiB", with32(footer, 2048), 10000, TRefusal::BlockDigest, std::nullopt},
      {"blocks of 32 MiB", with32(footer, 32 << 20), 10000, TRefusal::BlockDigest, std::nullopt},
      {"blocks of 8 KiB", with32(footer, 8192), 10000, TRefusal::BlockDigest, std::nullopt},
      {"a block fewer", with32(footer + 4, 2), 10000, TRefusal::BlockDigest, std::nullopt},
      {"a block more", with32(footer + 4, 4), 10000, TRefusal::BlockDigest, std::nullopt},
      {"covers a byte more than it says", bytes, 10001, TRefusal::BlockDigest, std::nullopt},
      {"says it covers a byte more", with32(footer + 8, 10001), 10000, TRefusal::BlockDigest,
       std::nullopt},
      {"a digest more than it counts", resealed(std::string(16, 'd') + bytes), 10000,
       TRefusal::BlockDigest, std::nullopt},
      {"a digest fewer than it counts", resealed(bytes.substr(16)), 10000, TRefusal::BlockDigest,
       std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TBlockTable table;
    TBlockTableKind kind = TBlockTableKind::None;
    EXPECT_EQ(RefusalOf([&] { kind = ParseBlockTable(c.table, c.covered, table); }), c.refusal);
    if (c.kind) {
      EXPECT_EQ(kind, *c.kind);
    }
  }
  TBlockTable table;
  ASSERT_EQ(ParseBlockTable(bytes, 10000, table), TBlockTableKind::Table);
  EXPECT_EQ(table.BlockSize, 4096);
  EXPECT_EQ(table.Covered, 10000);
  EXPECT_EQ(table.Digests, intact.Digests);
  EXPECT_EQ(table.BlockLength(2), 10000 - 2 * 4096);
  // A table of nothing: the entries before it are all empty.
  ASSERT_EQ(ParseBlockTable(BlockTableBytes({4096, 0, {}}), 0, table), TBlockTableKind::Table);
  EXPECT_TRUE(table.Digests.empty());
}

TEST(BlockTableFind, OnlyThePackagesLastEntryBehindADigestIsATable) {
  const std::string directory = Directory({{"book.swf", 1}});
  const std::string movie = "FWS\x01\x02";
  TBlockDigester digester(4096);
  digester.Update((directory + movie).data(), directory.size() + movie.size());
  const std::string table = BlockTableBytes(digester.Finish());
  std::string badSignature = table;
  badSignature.back() ^= 1;
  std::string tooLarge = Pattern(20000, 10) + "LBBLOCK1";

  struct TCase {
    const char* what;
    std::vector<std::string> entries;
    bool digest;
    TRefusal refusal;
    bool found;             // FindBlockTable gives a table
    TRefusal indexRefusal;  // what opening the package gives
  };
  const TCase cases[] = {
      {"a table", {directory, movie, table}, true, TRefusal::None, true, TRefusal::None},
      {"no digest", {directory, movie, table}, false, TRefusal::None, false, TRefusal::None},
      {"a table as the only entry", {table}, true, TRefusal::None, false, TRefusal::None},
      {"a last entry shorter than a footer",
       {directory, "LBBLOCK1"},
       true,
       TRefusal::None,
       false,
       TRefusal::None},
      {"a last entry larger than any table",
       {directory, movie, tooLarge},
       true,
       TRefusal::BlockDigest,
       false,
       TRefusal::BlockDigest},
      {"a table of other bytes",
       {directory, movie + "x", table},
       true,
       TRefusal::BlockDigest,
       false,
       TRefusal::BlockDigest},
      // A file of the book that ends as a table does is no table.
      {"a named last entry that ends with the signature",
       {Directory({{"book.swf", 1}, {"zz.bin", 2}}), movie, tooLarge},
       true,
       TRefusal::None,
       false,
       TRefusal::None},
      {"a named last entry that is a whole table",
       {Directory({{"book.swf", 1}, {"zz.bin", 2}}), movie, table},
       true,
       TRefusal::None,
       false,
       TRefusal::None},
      // The table is then an ordinary entry, and the whole digest fails.
      {"a damaged signature",
       {directory, movie, badSignature},
       true,
       TRefusal::None,
       false,
       TRefusal::Digest},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TRawPackage raw;
    raw.entries = c.entries;
    raw.digest = c.digest;
    std::string package = raw.Bytes();
    if (c.indexRefusal == TRefusal::Digest) {
      package[raw.DataOffset()] ^= 1;  // only a whole digest sees this
    }
    TStringStream file(package);
    const TPackageLayout layout = ReadPackageLayout(file, TDigestCheck::Later);
    std::optional<TBlockTable> found;
    EXPECT_EQ(RefusalOf([&] { found = FindBlockTable(file, layout); }), c.refusal);
    EXPECT_EQ(found.has_value(), c.found);
    EXPECT_EQ(RefusalOf([&] { TPackageIndex index(file); }), c.indexRefusal);
  }
}

TEST(RewritePackage, KeepsEveryEntryUnderItsIndexWithADigestAndANewTable) {
  const std::vector<std::string> entries = {Directory({{"book.swf", 1}, {"page.png", 2}}),
                                            "FWS\x01\x02", Pattern(20000, 11)};
  TRawPackage plain;
  plain.entries = entries;
  plain.digest = false;
  TRawPackage digested;
  digested.entries = entries;
  TSignedImage signedBook;
  signedBook.package = digested;
  signedBook.padding = 5;
  const std::pair<const char*, std::string> sources[] = {
      {"no digest", plain.Bytes()},
      {"a digest", digested.Bytes()},
      {"a table", WrittenPackage(entries, 4096)},
      {"signed", signedBook.Bytes()},
  };
  for (const auto& [what, bytes] : sources) {
    for (int32_t blockSize : {0, 8192}) {
      SCOPED_TRACE(std::string(what) + ", blocks of " + std::to_string(blockSize));
      TStringStream source(bytes);
      TStringStream dest("viewer");
      dest.Seek(0, TSeekOrigin::End);
      const int32_t blockLength = RewritePackage(source, dest, blockSize);
      const std::string out = dest.DataString();
      ASSERT_EQ(out.substr(0, 6), "viewer");
      EXPECT_EQ(blockLength, static_cast<int64_t>(out.size()) - 6);

      TStringStream file(out);
      const TPackageLayout layout = ReadPackageLayout(file);  // the new digest holds
      EXPECT_EQ(layout.DigestFlag, 1);
      ASSERT_EQ(layout.EntryCount, blockSize > 0 ? 4 : 3) << "no old table kept";
      size_t at = 6;
      for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(out.substr(at, static_cast<size_t>(layout.EntrySizes[i])), entries[i]) << i;
        at += static_cast<size_t>(layout.EntrySizes[i]);
      }
      const std::optional<TBlockTable> table = FindBlockTable(file, layout);
      ASSERT_EQ(table.has_value(), blockSize > 0);
      if (table) {
        EXPECT_EQ(table->BlockSize, blockSize);
        EXPECT_EQ(table->Covered, static_cast<int64_t>(at) - 6);
      }
      const TPackageIndex index(file);
      EXPECT_EQ(index.Blocks() != nullptr, blockSize > 0);
      EXPECT_EQ(ReadThrough(index, file, index.Find("page.png")), entries[2]);
    }
  }
}

TEST(RewritePackage, RefusesADamagedSource) {
  const std::string directory = Directory({{"book.swf", 1}, {"page.png", 2}});
  const std::vector<std::string> entries = {directory, "FWS\x01\x02", Pattern(20000, 12)};
  TRawPackage digested;
  digested.entries = entries;
  const size_t page = digested.DataOffset() + directory.size() + 5;
  const auto changed = [](std::string bytes, size_t at) {
    bytes[at] ^= 1;
    return bytes;
  };
  const std::string withTable = WrittenPackage(entries, 4096);
  const size_t tableByte = page + 20000 + 3;
  TRawPackage badTrailer = digested;
  badTrailer.check = 0;
  TRawPackage plain = digested;
  plain.digest = false;

  struct TCase {
    const char* what;
    std::string source;
    TRefusal refusal;
  };
  const TCase cases[] = {
      {"a byte of an entry", changed(digested.Bytes(), page + 7000), TRefusal::Digest},
      {"a byte of a block", changed(withTable, page + 7000), TRefusal::Digest},
      {"a byte of the table", changed(withTable, tableByte), TRefusal::BlockDigest},
      {"a broken trailer", badTrailer.Bytes(), TRefusal::NotFound},
      // Nothing to check a package without a digest against: taken as it is.
      {"a byte changed without a digest", changed(plain.Bytes(), page + 7000), TRefusal::None},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TStringStream source(c.source);
    TStringStream dest;
    EXPECT_EQ(RefusalOf([&] { RewritePackage(source, dest, 4096); }), c.refusal);
    if (c.refusal != TRefusal::None) {
      // What it wrote before it found out is no package.
      TStringStream written(dest.DataString());
      EXPECT_NE(RefusalOf([&] { ReadPackageLayout(written); }), TRefusal::None);
    }
  }
}

TEST(CheckPackage, NamesExactlyTheBlocksThatFail) {
  const std::string directory = Directory({{"big.bin", 1}, {"tail.bin", 2}});
  const std::vector<std::string> entries = {directory, Pattern(30000, 13), Pattern(9000, 14)};
  const int64_t covered = static_cast<int64_t>(directory.size()) + 39000;
  const std::string table = WrittenPackage(entries, 4096);
  // Past 4 MiB the region is read in several pieces; 8 MiB blocks span them.
  const std::vector<std::string> large = {Directory({{"big.bin", 1}}),
                                          Pattern((4 << 20) + 100000, 15)};
  const std::string pieces = WrittenPackage(large, 4096);
  const std::string spanning = WrittenPackage(large, 8 << 20);
  TRawPackage withoutTable;
  withoutTable.entries = entries;
  const std::string plain = withoutTable.Bytes();
  withoutTable.digest = false;
  const std::string noDigest = withoutTable.Bytes();

  struct TCase {
    const char* what;
    const std::string* package;
    std::vector<int64_t> changed;  // offsets within the data region
    bool matches;
    std::vector<int64_t> bad;
  };
  const TCase cases[] = {
      {"intact", &table, {}, true, {}},
      {"the directory", &table, {3}, false, {0}},
      {"the last byte covered", &table, {covered - 1}, false, {(covered - 1) / 4096}},
      {"two blocks", &table, {5000, 30000}, false, {1, 7}},
      {"the last byte of a piece read", &pieces, {(4 << 20) - 1}, false, {1023}},
      {"the first byte of the next piece", &pieces, {4 << 20}, false, {1024}},
      {"intact, a block of several pieces", &spanning, {}, true, {}},
      {"a block of several pieces", &spanning, {(4 << 20) + 50000}, false, {0}},
      {"no table, intact", &plain, {}, true, {}},
      {"no table, a byte changed", &plain, {100}, false, {}},
      {"no digest, a byte changed", &noDigest, {100}, true, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = *c.package;
    for (int64_t at : c.changed) {
      bytes[TRawPackage().DataOffset() + static_cast<size_t>(at)] ^= 1;
    }
    TStringStream file(bytes);
    std::vector<int64_t> progress;
    const TPackageCheck check = CheckPackage(file, [&](int64_t done) { progress.push_back(done); });
    EXPECT_EQ(check.DigestMatches, c.matches);
    EXPECT_EQ(check.BadBlocks, c.bad);
    EXPECT_EQ(check.Table.has_value(), c.package != &plain && c.package != &noDigest);
    if (c.package != &noDigest) {
      ASSERT_FALSE(progress.empty());
      EXPECT_EQ(progress.back(), check.Layout.RegionLength);
    }
  }
  std::string damagedTable = table;
  damagedTable[TRawPackage().DataOffset() + static_cast<size_t>(covered) + 20] ^= 1;
  TStringStream file(damagedTable);
  EXPECT_THROW(CheckPackage(file), EPackageBlockDigest);
}

}  // namespace
}  // namespace leafbook
