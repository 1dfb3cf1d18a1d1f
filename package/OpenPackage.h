// A package whose trailer, sizes and digest have been checked: TPackageIndex
// holds what the check learnt (entry offsets and sizes, the directory indexed
// for lookups) and is kept for as long as the file stays as it was;
// TOpenPackage pairs it with an open read-only handle of that file and reads
// each entry with positioned reads of just its bytes, so any number of threads
// may use one object at once. A package with a block digest table is checked
// as it is read: at open only its table and its directory's blocks, then each
// block by the first read of it. A block that fails marks the package damaged
// for good: from then on it lists no name and reads nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/base/Streams.h"
#include "package/BlockDigests.h"
#include "package/ExeExt.h"

namespace leafbook {

// Whether a package's block digest table is used, or ignored as by a reader
// that does not know it (the whole region is then digested at open).
enum class TBlockDigestUse { Honour, Ignore };

// Told why a package turned out damaged by a block or a block digest table
// that fails its check, naming the block (and the entry being read), once
// per package. Called on whichever thread read the block.
using TPackageDamageReport = void (*)(const std::string& text);
void SetPackageDamageReport(TPackageDamageReport report);

class TPackageIndex {
 public:
  // Checks the package at the end of file as TExeExtReader does (raising as
  // it does; with a block digest table, just the table and the directory's
  // blocks) and reads its directory.
  explicit TPackageIndex(TStream& file, TBlockDigestUse use = TBlockDigestUse::Honour);

  int32_t EntryCount() const { return layout_.EntryCount; }
  // The index the directory lists name under, by the directory's matching
  // rule (first line wins, names compared without regard to case); 0 when
  // it lists none, the package has no directory, or it is damaged.
  int32_t Find(std::string_view name) const;
  // "Error index" outside 0..EntryCount-1.
  int64_t EntrySize(int32_t index) const;
  int64_t EntryOffset(int32_t index) const;

  // Whether a block failed its check since the package was opened.
  bool Damaged() const { return damaged_.load(); }
  // Marks the package damaged for good; the first time, reports why.
  void MarkDamaged(const std::string& why) const;
  const TPackageLayout& Layout() const { return layout_; }
  // The block digests the package is read through; null when it has none.
  const TBlockChecker* Blocks() const { return blocks_.get(); }

  // Fills buffer with count bytes at the file offset, part of entry index,
  // through readAt, checking the blocks they lie in. A block that fails its
  // check marks the package damaged; that read, and every read after it,
  // raises EPackageBlockDigest.
  void ReadChecked(const TBlockChecker::TReadAt& readAt, int32_t index, int64_t offset,
                   uint8_t* buffer, int64_t count) const;

 private:
  struct TLine {
    std::string Name;
    int32_t Index;
  };

  // The first name the directory lists index under, for telling which file
  // a damaged block belongs to.
  std::string EntryName(int32_t index) const;

  TPackageLayout layout_;
  std::unique_ptr<const TBlockChecker> blocks_;
  mutable std::atomic<bool> damaged_{false};
  std::vector<int64_t> offsets_;  // file offset of each entry
  std::vector<TLine> lines_;      // the directory's named lines, in order
  // Comparison key of each name, to its first line.
  std::unordered_map<std::string, size_t> firstLine_;
};

class TOpenPackage {
 public:
  // file must be the file index was made from, as it was then.
  TOpenPackage(std::shared_ptr<const TPackageIndex> index, std::shared_ptr<THandleStream> file)
      : index_(std::move(index)), file_(std::move(file)) {}

  int32_t Find(std::string_view name) const { return index_->Find(name); }
  const TPackageIndex& Index() const { return *index_; }
  const std::shared_ptr<const TPackageIndex>& SharedIndex() const { return index_; }
  int64_t EntrySize(int32_t index) const { return index_->EntrySize(index); }

  // Appends the entry's bytes at stream's position: straight into a memory
  // stream's storage, else through one buffer of at most 60 MiB. On a
  // failure the stream keeps the bytes that arrived before it.
  void ReadEntry(int32_t index, TStream& stream) const;
  // Up to count bytes of the entry from offset within it; the number read.
  int32_t ReadEntryAt(int32_t index, int64_t offset, void* buffer, int32_t count) const;
  // Digests the whole data region against the stored digest, a piece at a
  // time, giving up (none) as soon as stopping says so.
  std::optional<bool> WholeDigestMatches(const std::function<bool()>& stopping) const;

 private:
  // Fills exactly count bytes of entry index from the file offset, its
  // blocks checked; or raises.
  void ReadExactly(int32_t index, int64_t offset, uint8_t* buffer, int64_t count) const;
  // Fills exactly count bytes from the file offset, or raises EReadError.
  void ReadFromFile(int64_t offset, uint8_t* buffer, int64_t count) const;

  std::shared_ptr<const TPackageIndex> index_;
  std::shared_ptr<THandleStream> file_;
};

}  // namespace leafbook
