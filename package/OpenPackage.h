// A package whose trailer, sizes and digest have been checked: TPackageIndex
// holds what the check learnt (entry offsets and sizes, the directory indexed
// for lookups) and is kept for as long as the file stays as it was;
// TOpenPackage pairs it with an open read-only handle of that file and reads
// each entry with positioned reads of just its bytes, so any number of threads
// may use one object at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/base/Streams.h"
#include "package/ExeExt.h"

namespace leafbook {

class TPackageIndex {
 public:
  // Checks the package at the end of file as TExeExtReader does (raising as
  // it does) and reads its directory.
  explicit TPackageIndex(TStream& file);

  int32_t EntryCount() const { return layout_.EntryCount; }
  // The index the directory lists name under, by the directory's matching
  // rule (first line wins, names compared without regard to case); 0 when
  // it lists none, or the package has no directory.
  int32_t Find(std::string_view name) const;
  // "Error index" outside 0..EntryCount-1.
  int64_t EntrySize(int32_t index) const;
  int64_t EntryOffset(int32_t index) const;

 private:
  struct TLine {
    std::string Name;
    int32_t Index;
  };

  TPackageLayout layout_;
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
  int64_t EntrySize(int32_t index) const { return index_->EntrySize(index); }

  // Appends the entry's bytes at stream's position: straight into a memory
  // stream's storage, else through one buffer of at most 60 MiB. On a
  // failure the stream keeps the bytes that arrived before it.
  void ReadEntry(int32_t index, TStream& stream) const;
  // Up to count bytes of the entry from offset within it; the number read.
  int32_t ReadEntryAt(int32_t index, int64_t offset, void* buffer, int32_t count) const;

 private:
  // Fills exactly count bytes from the file offset, or raises EReadError.
  void ReadExactly(int64_t offset, uint8_t* buffer, int64_t count) const;

  std::shared_ptr<const TPackageIndex> index_;
  std::shared_ptr<THandleStream> file_;
};

}  // namespace leafbook
