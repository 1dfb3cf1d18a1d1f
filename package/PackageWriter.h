// TPackageWriter: writes a book package (entries, optional digest, sizes and
// trailer) at a stream's position, entry 0 (the directory) first. The digest
// is computed while the entries stream through, so nothing is held whole.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/base/Streams.h"
#include "package/MD5Op.h"

namespace leafbook {

class TPackageWriter {
 public:
  // Called after each piece written, with the entry bytes written so far.
  using TProgress = std::function<void(int64_t written)>;

  TPackageWriter(TStream& dest, bool withDigest, TProgress progress = nullptr);

  // Copies size bytes from source's position as the next entry. Raises when
  // the entry or the block would not fit the package's 32-bit sizes.
  void AddEntry(TStream& source, int64_t size);
  void AddEntry(const std::string& bytes);
  // Writes digest, sizes and trailer; gives the block length.
  int32_t Finish();

 private:
  void Write(const void* data, int32_t count);

  TStream& dest_;
  bool withDigest_;
  TProgress progress_;
  TMD5 md5_;
  std::vector<int32_t> sizes_;
  int64_t dataLength_ = 0;
  bool finished_ = false;
};

// Directory text: one "name=index" line per pair, each ended by CR LF.
std::string BuildDirectoryText(const std::vector<std::pair<std::string, int32_t>>& names);

// The block length a package of these entry sizes will have, to check limits
// before anything is written.
int64_t PackageBlockLength(int64_t dataLength, int64_t entryCount, bool withDigest);

}  // namespace leafbook
