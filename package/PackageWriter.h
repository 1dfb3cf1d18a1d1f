// TPackageWriter: writes a book package (entries, optional digest and block
// digest table, sizes and trailer) at a stream's position, entry 0 (the
// directory) first. The digests are computed while the entries stream
// through, so nothing is held whole.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <memory>

#include "framework/base/Streams.h"
#include "package/BlockDigests.h"
#include "package/MD5Op.h"

namespace leafbook {

class TPackageWriter {
 public:
  // Called after each piece written, with the entry bytes written so far.
  using TProgress = std::function<void(int64_t written)>;

  // blockSize > 0 adds a block digest table of blocks of that size as the
  // last entry (which needs the digest).
  TPackageWriter(TStream& dest, bool withDigest, TProgress progress = nullptr,
                 int32_t blockSize = 0);

  // Copies size bytes from source's position as the next entry. Raises when
  // the entry or the block would not fit the package's 32-bit sizes.
  void AddEntry(TStream& source, int64_t size);
  void AddEntry(const std::string& bytes);
  // Writes the block digest table, digest, sizes and trailer; gives the
  // block length.
  int32_t Finish();
  // The entries added so far.
  int32_t EntryCount() const { return static_cast<int32_t>(sizes_.size()); }

 private:
  void Write(const void* data, int32_t count);

  TStream& dest_;
  bool withDigest_;
  TProgress progress_;
  TMD5 md5_;
  std::unique_ptr<TBlockDigester> blocks_;
  std::vector<int32_t> sizes_;
  int64_t dataLength_ = 0;
  bool finished_ = false;
};

// Directory text: one "name=index" line per pair, each ended by CR LF.
std::string BuildDirectoryText(const std::vector<std::pair<std::string, int32_t>>& names);

// The block length a package of these entry sizes will have, to check limits
// before anything is written; blockSize > 0 counts the block digest table in.
int64_t PackageBlockLength(int64_t dataLength, int64_t entryCount, bool withDigest,
                           int32_t blockSize = 0);

// Writes the package of source (a file carrying one) again at dest's
// position: every entry byte for byte under its own index, with a digest,
// and with a block digest table of blockSize (none when 0) in place of any
// the package had. Raises as ReadPackageLayout does on a damaged package
// (source's digest, when it has one, is checked as it is copied); the caller
// writes what comes before the package. Gives the new block length.
int32_t RewritePackage(TStream& source, TStream& dest, int32_t blockSize,
                       TPackageWriter::TProgress progress = nullptr);

}  // namespace leafbook
