// Block digests of a package: writing the table, finding and parsing it, and
// reading through it.
#include "package/BlockDigests.h"

#include <algorithm>
#include <cstring>

#include "package/PackageDirectory.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace leafbook {

using namespace block_digests;

namespace {

constexpr size_t kSignatureSize = 8;
// Bytes of the footer before the table digest, and the digest's offset from
// the table's end: what the table digest covers ends there.
constexpr int64_t kDigestFromEnd = 24;

uint32_t LoadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void AppendLE32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

TBlockDigest Canonical(XXH128_hash_t hash) {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, hash);
  TBlockDigest digest;
  std::memcpy(digest.data(), canonical.digest, digest.size());
  return digest;
}

bool IsBlockSize(int64_t size) {
  return size >= kSmallestBlock && size <= kLargestBlock && (size & (size - 1)) == 0;
}

int64_t BlockCount(int64_t covered, int64_t blockSize) {
  return (covered + blockSize - 1) / blockSize;
}

// Whether a line of the directory text lists index.
bool DirectoryNames(std::string_view directory, int32_t index) {
  const std::vector<TDirectoryLine> lines = DirectoryLines(directory);
  return std::any_of(lines.begin(), lines.end(),
                     [index](const TDirectoryLine& line) { return line.Index == index; });
}

[[noreturn]] void Damaged(const std::string& why) {
  throw EPackageBlockDigest("the block digest table " + why);
}

}  // namespace

TBlockDigest BlockDigestOf(const void* data, size_t length) {
  return Canonical(XXH3_128bits(data, length));
}

int64_t TBlockTable::BlockLength(int64_t block) const {
  return std::min<int64_t>(BlockSize, Covered - BlockStart(block));
}

struct TBlockDigester::TState {
  TState() = default;
  // Freed here, not by the digester: a digester that refuses its block size
  // is never constructed, and its destructor never runs.
  ~TState() { XXH3_freeState(Hash); }
  TState(const TState&) = delete;
  TState& operator=(const TState&) = delete;

  XXH3_state_t* Hash = XXH3_createState();
  TBlockTable Table;
  int64_t InBlock = 0;  // bytes of the current block fed so far
};

TBlockDigester::TBlockDigester(int32_t blockSize) : state_(std::make_unique<TState>()) {
  if (!IsBlockSize(blockSize)) {
    throw EAssertionFailed("A block size is a power of two from 4 KiB to 16 MiB");
  }
  if (!state_->Hash) {
    throw std::bad_alloc();
  }
  state_->Table.BlockSize = blockSize;
  XXH3_128bits_reset(state_->Hash);
}

TBlockDigester::~TBlockDigester() = default;

void TBlockDigester::Update(const void* data, size_t length) {
  TState& s = *state_;
  const auto* in = static_cast<const uint8_t*>(data);
  while (length > 0) {
    const auto take = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(length), s.Table.BlockSize - s.InBlock));
    XXH3_128bits_update(s.Hash, in, take);
    s.InBlock += static_cast<int64_t>(take);
    s.Table.Covered += static_cast<int64_t>(take);
    in += take;
    length -= take;
    if (s.InBlock == s.Table.BlockSize) {
      s.Table.Digests.push_back(Canonical(XXH3_128bits_digest(s.Hash)));
      XXH3_128bits_reset(s.Hash);
      s.InBlock = 0;
    }
  }
}

TBlockTable TBlockDigester::Finish() {
  TState& s = *state_;
  if (s.InBlock > 0) {
    s.Table.Digests.push_back(Canonical(XXH3_128bits_digest(s.Hash)));
    XXH3_128bits_reset(s.Hash);
    s.InBlock = 0;
  }
  TBlockTable table = std::move(s.Table);
  s.Table = TBlockTable{table.BlockSize, 0, {}};
  return table;
}

int64_t BlockTableSize(int64_t covered, int32_t blockSize) {
  return kDigestSize * BlockCount(covered, blockSize) + kFooterSize;
}

std::string BlockTableBytes(const TBlockTable& table) {
  std::string bytes;
  bytes.reserve(table.Digests.size() * kDigestSize + kFooterSize);
  for (const TBlockDigest& digest : table.Digests) {
    bytes.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  }
  AppendLE32(bytes, static_cast<uint32_t>(table.BlockSize));
  AppendLE32(bytes, static_cast<uint32_t>(table.Digests.size()));
  AppendLE32(bytes, static_cast<uint32_t>(table.Covered));
  const TBlockDigest self = BlockDigestOf(bytes.data(), bytes.size());
  bytes.append(reinterpret_cast<const char*>(self.data()), self.size());
  bytes.append(kSignature, kSignatureSize);
  return bytes;
}

TBlockTableKind ParseBlockTable(std::string_view bytes, int64_t covered, TBlockTable& table) {
  const auto size = static_cast<int64_t>(bytes.size());
  if (size < kFooterSize ||
      std::memcmp(bytes.data() + size - kSignatureSize, kSignature, kSignatureSize) != 0) {
    return TBlockTableKind::None;
  }
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* footer = data + size - kFooterSize;
  const TBlockDigest self = BlockDigestOf(data, static_cast<size_t>(size - kDigestFromEnd));
  if (std::memcmp(self.data(), footer + 12, kDigestSize) != 0) {
    Damaged("fails its own check");
  }
  const int64_t blockSize = LoadLE32(footer);
  const int64_t count = LoadLE32(footer + 4);
  const int64_t tableCovered = LoadLE32(footer + 8);
  if (!IsBlockSize(blockSize)) {
    Damaged("gives the block size " + std::to_string(blockSize) +
            ", not a power of two from 4 KiB to 16 MiB");
  }
  if (tableCovered != covered) {
    Damaged("covers " + std::to_string(tableCovered) + " bytes, but the entries before it hold " +
            std::to_string(covered));
  }
  if (count != BlockCount(covered, blockSize) || size != kDigestSize * count + kFooterSize) {
    Damaged("lists " + std::to_string(count) + " blocks in " + std::to_string(size) +
            " bytes, which do not fit the bytes it covers");
  }
  table.BlockSize = static_cast<int32_t>(blockSize);
  table.Covered = covered;
  table.Digests.resize(static_cast<size_t>(count));
  for (size_t i = 0; i < table.Digests.size(); ++i) {
    std::memcpy(table.Digests[i].data(), data + i * kDigestSize, kDigestSize);
  }
  return TBlockTableKind::Table;
}

std::optional<TBlockTable> FindBlockTable(TStream& file, const TPackageLayout& layout) {
  if (!layout.DigestStored() || layout.EntryCount < 2) {
    return std::nullopt;  // the directory comes first: a table is never entry 0
  }
  int64_t covered = 0;
  for (int32_t i = 0; i + 1 < layout.EntryCount; ++i) {
    covered += layout.EntrySizes[static_cast<size_t>(i)];
  }
  const int64_t size = layout.EntrySizes.back();
  if (size < kFooterSize) {
    return std::nullopt;
  }
  const int64_t end = layout.DataOffset + covered + size;
  char signature[kSignatureSize];
  file.SetPosition(end - static_cast<int64_t>(kSignatureSize));
  file.ReadBuffer(signature, kSignatureSize);
  if (std::memcmp(signature, kSignature, kSignatureSize) != 0) {
    return std::nullopt;
  }
  // A file of the book may end with the signature too: the table is the
  // last entry only when no directory line names it.
  std::string directory(static_cast<size_t>(layout.EntrySizes[0]), '\0');
  file.SetPosition(layout.DataOffset);
  file.ReadBuffer(directory.data(), static_cast<int32_t>(directory.size()));
  if (DirectoryNames(directory, layout.EntryCount - 1)) {
    return std::nullopt;
  }
  if (size > BlockTableSize(covered, kSmallestBlock)) {
    Damaged("is larger than any table of its " + std::to_string(covered) + " bytes could be");
  }
  std::string bytes(static_cast<size_t>(size), '\0');
  file.SetPosition(end - size);
  file.ReadBuffer(bytes.data(), static_cast<int32_t>(size));
  TBlockTable table;
  if (ParseBlockTable(bytes, covered, table) == TBlockTableKind::None) {
    return std::nullopt;
  }
  return table;
}

TBlockChecker::TBlockChecker(TBlockTable table, int64_t dataOffset)
    : table_(std::move(table)),
      dataOffset_(dataOffset),
      good_(std::make_unique<std::atomic<bool>[]>(table_.Digests.size())) {}

std::string BlockFailureText(const TBlockTable& table, int64_t block) {
  const int64_t start = table.BlockStart(block);
  return "block " + std::to_string(block) + " (bytes " + std::to_string(start) + " to " +
         std::to_string(start + table.BlockLength(block) - 1) +
         " of the data region) fails its check";
}

namespace {

// Room for one block, kept by each reading thread: memory new to a process
// costs more on its first touch than a block's check (under Wine many times
// more), and a page's first request checks one or two blocks.
uint8_t* BlockBuffer(int64_t length) {
  thread_local std::vector<uint8_t> room;
  if (room.size() < static_cast<size_t>(length)) {
    room.resize(static_cast<size_t>(length));
  }
  return room.data();
}

}  // namespace

void TBlockChecker::Read(const TReadAt& readAt, int64_t offset, uint8_t* buffer,
                         int64_t count) const {
  const int64_t coveredEnd = dataOffset_ + table_.Covered;
  while (count > 0) {
    int64_t piece = count;
    if (offset < dataOffset_) {
      piece = std::min(count, dataOffset_ - offset);
    }
    if (offset < dataOffset_ || offset >= coveredEnd) {
      readAt(offset, buffer, piece);
      offset += piece;
      buffer += piece;
      count -= piece;
      continue;
    }
    const int64_t block = (offset - dataOffset_) / table_.BlockSize;
    const int64_t start = dataOffset_ + table_.BlockStart(block);
    const int64_t length = table_.BlockLength(block);
    piece = std::min(count, start + length - offset);
    std::atomic<bool>& good = good_[static_cast<size_t>(block)];
    if (!good.load(std::memory_order_acquire)) {
      std::unique_lock<std::mutex> lock(locks_[static_cast<size_t>(block) % locks_.size()]);
      if (!good.load(std::memory_order_acquire)) {
        // The block is read whole and checked before any of it is handed
        // out: straight into the buffer when the buffer takes all of it.
        const bool whole = offset == start && piece == length;
        uint8_t* bytes = whole ? buffer : BlockBuffer(length);
        try {
          readAt(start, bytes, length);
        } catch (...) {
          std::memset(bytes, 0, static_cast<size_t>(length));  // read part-way, unchecked
          throw;
        }
        ++checks_;
        if (BlockDigestOf(bytes, static_cast<size_t>(length)) !=
            table_.Digests[static_cast<size_t>(block)]) {
          std::memset(bytes, 0, static_cast<size_t>(length));
          throw EPackageBlockDigest(BlockFailureText(table_, block));
        }
        if (!whole) {
          std::memcpy(buffer, bytes + (offset - start), static_cast<size_t>(piece));
        }
        good.store(true, std::memory_order_release);
        offset += piece;
        buffer += piece;
        count -= piece;
        continue;
      }
    }
    readAt(offset, buffer, piece);
    offset += piece;
    buffer += piece;
    count -= piece;
  }
}

}  // namespace leafbook
