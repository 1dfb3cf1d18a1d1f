// The whole check of a package, as a publisher's tool makes it: every byte of
// the data region read once, digested whole and, where the package has a
// block digest table, block by block, the two digests on two threads.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "framework/base/Streams.h"
#include "package/BlockDigests.h"
#include "package/ExeExt.h"

namespace leafbook {

struct TPackageCheck {
  TPackageLayout Layout;
  std::optional<TBlockTable> Table;
  // False only when a digest is stored and the data region does not match it.
  bool DigestMatches = true;
  // The blocks that fail their digests, in order.
  std::vector<int64_t> BadBlocks;
};

// Checks the package at the end of file. Raises EPackageNotFound on a
// broken trailer, EPackageBlockDigest on a damaged block digest table, and
// the stream's error on a file that cannot be read. progress is told the
// bytes of the data region read so far.
TPackageCheck CheckPackage(TStream& file,
                           const std::function<void(int64_t done)>& progress = nullptr);
// The same for a package whose layout the caller has read already (with
// TDigestCheck::Later).
TPackageCheck CheckPackage(TStream& file, const TPackageLayout& layout,
                           const std::function<void(int64_t done)>& progress = nullptr);

}  // namespace leafbook
