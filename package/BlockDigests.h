// Block digests: a table of XXH3-128 digests of fixed-size blocks of a
// package's data region, so that a reader checks just the blocks it reads,
// when it reads them, instead of digesting the whole region before the first
// read. The table is the package's last entry, which no directory line names:
// readers that do not know it never see it, and the whole-region MD5 still
// covers it.
//
// Table entry (K blocks, all integers 32-bit little-endian), 16K + 36 bytes:
//   0        16K  digest of block k, k = 0..K-1: XXH3-128 of its bytes, in
//                 XXH128's canonical (big-endian) byte order
//   16K      4    BlockSize: a power of two, 4 KiB to 16 MiB
//   16K+4    4    BlockCount: K = ceil(Covered / BlockSize)
//   16K+8    4    Covered: bytes of the data region the blocks cover, from its
//                 first byte; the table's own offset within the region
//   16K+12   16   TableDigest: XXH3-128 of the table's bytes 0..16K+11
//   16K+28   8    Signature "LBBLOCK1"
// Block k covers region bytes [k*BlockSize, min((k+1)*BlockSize, Covered)).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/Streams.h"
#include "package/ExeExt.h"

namespace leafbook {

namespace block_digests {
constexpr int32_t kDigestSize = 16;
constexpr int32_t kFooterSize = 36;
constexpr char kSignature[] = "LBBLOCK1";
constexpr int32_t kSmallestBlock = 4 << 10;
constexpr int32_t kLargestBlock = 16 << 20;
// What leafpack writes: a 200 KiB page touches one or two blocks.
constexpr int32_t kDefaultBlockSize = 256 << 10;
// Content above which leafpack adds a table unless told otherwise: below it
// the whole check costs a reader less than a few tens of milliseconds.
constexpr int64_t kDefaultThreshold = 16 << 20;
}  // namespace block_digests

using TBlockDigest = std::array<uint8_t, block_digests::kDigestSize>;

TBlockDigest BlockDigestOf(const void* data, size_t length);

struct TBlockTable {
  int32_t BlockSize = 0;
  int64_t Covered = 0;
  std::vector<TBlockDigest> Digests;

  int64_t BlockStart(int64_t block) const { return block * BlockSize; }
  int64_t BlockLength(int64_t block) const;
};

// Cuts the bytes fed into blocks and digests each one.
class TBlockDigester {
 public:
  explicit TBlockDigester(int32_t blockSize);
  ~TBlockDigester();
  TBlockDigester(const TBlockDigester&) = delete;
  TBlockDigester& operator=(const TBlockDigester&) = delete;

  void Update(const void* data, size_t length);
  // The table of everything fed (its last block may be short).
  TBlockTable Finish();

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// The size of the table entry for covered bytes in blocks of blockSize.
int64_t BlockTableSize(int64_t covered, int32_t blockSize);
// The table entry's bytes.
std::string BlockTableBytes(const TBlockTable& table);

// What the bytes of a package's last entry are.
enum class TBlockTableKind { None, Table };

// Reads entry bytes as a table: None when they do not end with the
// signature (an ordinary entry); raises EPackageBlockDigest when they do but
// do not hold together (a damaged table), also when the table does not
// cover exactly the covered bytes given.
TBlockTableKind ParseBlockTable(std::string_view bytes, int64_t covered, TBlockTable& table);

// The table of the package layout describes, read from file: none when the
// package carries no digest or its last entry is no table (it does not end
// with the signature, or a directory line names it: a file of the book).
// Raises EPackageBlockDigest on a damaged table.
std::optional<TBlockTable> FindBlockTable(TStream& file, const TPackageLayout& layout);

// The blocks of one package file and which of them are known to be good.
// Any number of threads may read through one checker: each block is checked
// once, by the first read that touches it, while the others wait for that
// check.
class TBlockChecker {
 public:
  // Reads exactly count bytes at a file offset, or raises.
  using TReadAt = std::function<void(int64_t offset, uint8_t* buffer, int64_t count)>;

  TBlockChecker(TBlockTable table, int64_t dataOffset);

  // Fills buffer with count bytes from the file offset, checking each block
  // of the range the first time it is read. On a block that fails its check,
  // nothing of that block is left in the buffer and EPackageBlockDigest is
  // raised, naming the block. Bytes past the covered ones are read as they
  // are: the table itself, checked when it was found.
  void Read(const TReadAt& readAt, int64_t offset, uint8_t* buffer, int64_t count) const;

  const TBlockTable& Table() const { return table_; }
  // How many block checks were made.
  int64_t Checks() const { return checks_.load(); }

 private:
  TBlockTable table_;
  int64_t dataOffset_;
  std::unique_ptr<std::atomic<bool>[]> good_;
  mutable std::array<std::mutex, 16> locks_;  // a block's check holds locks_[block % 16]
  mutable std::atomic<int64_t> checks_{0};
};

// The message a failed block gives: the block and where it lies in the region.
std::string BlockFailureText(const TBlockTable& table, int64_t block);

}  // namespace leafbook
