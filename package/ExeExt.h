// TExeExtReader: finds the book package appended to a file, checks its trailer
// (and its MD5 digest when the trailer asks for one) and copies single entries
// out of it. It knows entries only by index; names live in entry 0, the
// package directory, which PackageAccess reads.
//
// Layout, from the end of the file (N = EntryCount, all integers 32-bit LE):
//   EOF-BlockLength   entries 0..N-1, back to back
//   EOF-29-4N         16-byte MD5 of the data region (only when DigestFlag != 0)
//   EOF-13-4N         EntrySizes[N]
//   EOF-13            EntryCount
//   EOF-9             DigestFlag (1 byte)
//   EOF-8             BlockLength (whole block, trailer included)
//   EOF-4             BlockLength XOR 0x12345678
// A signed book is the one exception to "from the end of the file": signing
// appends the certificate table (after up to 7 zero bytes of alignment), and
// the package then ends right before it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "package/MD5Op.h"

namespace leafbook {

namespace package_layout {
constexpr int32_t kCheckMask = 0x12345678;
constexpr int64_t kTrailerSize = 13;  // EntryCount, DigestFlag, BlockLength, check word
constexpr int64_t kDigestSize = 16;
constexpr int32_t kCopyBufferSize = 62914560;  // 60 MiB
}  // namespace package_layout

// No package, or a trailer that does not hold together.
class EPackageNotFound : public Exception {
 public:
  EPackageNotFound() : Exception("Can not find extent section") {}
};

// The stored digest differs from the data region's.
class EPackageDigest : public Exception {
 public:
  EPackageDigest() : Exception("Content Valid failed!") {}

 protected:
  explicit EPackageDigest(const std::string& message) : Exception(message) {}
};

// The package's block digest table, or one of the blocks it covers, does not
// hold: the package is damaged as surely as by a failed digest.
class EPackageBlockDigest : public EPackageDigest {
 public:
  explicit EPackageBlockDigest(const std::string& message) : EPackageDigest(message) {}
};

// What the trailer of an intact package says.
struct TPackageLayout {
  int32_t EntryCount = 0;
  std::vector<int32_t> EntrySizes;
  int64_t DataOffset = 0;
  uint8_t DigestFlag = 0;
  // The file is an Authenticode-signed program: the package ends before its
  // certificate table (and the table's alignment padding), not at the end
  // of the file.
  bool Signed = false;
  // The data region's length, and the digest stored for it (when DigestFlag
  // is set and there are entries).
  int64_t RegionLength = 0;
  TMD5Digest StoredDigest{};

  // Whether a digest is there to check: the reader reads one only for a
  // package with entries.
  bool DigestStored() const { return DigestFlag != 0 && EntryCount > 0; }
};

// The digest a package stores for a data region of regionLength bytes, all
// of them fed into md5: their MD5, but sixteen zero bytes for an empty region
// (the package's own rule).
TMD5Digest PackageDigest(TMD5& md5, int64_t regionLength);

// Whether reading a layout digests the whole data region (as every reader of
// the format does), or leaves it to the caller, who checks blocks instead or
// calls CheckWholeDigest.
enum class TDigestCheck { Whole, Later };

// The package file a name selects: an empty name, or one of blanks and control
// characters only, is the running executable; any other is used as given.
std::string ResolvePackageFile(const std::string& fileName);

// Opens fileName read-only with full sharing, trying again for a while when
// another process holds it; null when it cannot be opened.
std::unique_ptr<THandleStream> OpenPackageFile(const std::string& fileName);

// Reads and checks the trailer of the package at the end of file, and its
// digest when the trailer asks for one (unless check says later). Raises
// EPackageNotFound, EPackageDigest, or the stream's error on a file that
// ends early.
TPackageLayout ReadPackageLayout(TStream& file, TDigestCheck check = TDigestCheck::Whole);

// Digests the data region of layout, read from file, against the stored
// digest; raises EPackageDigest when they differ. Nothing to do without one.
void CheckWholeDigest(TStream& file, const TPackageLayout& layout);

// How many bytes of file lie after the program image it starts with: after
// its headers, its sections' raw data and the symbol table an unstripped
// program keeps after them, and before a certificate table that ends the
// file (with the table's zero alignment padding). A bare viewer has none; a
// book has its package there. A file that is no PE image is all bytes after.
int64_t BytesAfterImage(TStream& file);

class TExeExtReader {
 public:
  // An empty fileName, or one of blanks and control characters only, selects
  // the running executable. A missing or unopenable file gives an empty reader;
  // a damaged package raises.
  explicit TExeExtReader(const std::string& fileName);

  const std::string& FileName() const { return fileName_; }
  int32_t EntryCount() const { return layout_.EntryCount; }
  const std::vector<int32_t>& EntrySizes() const { return layout_.EntrySizes; }
  int64_t DataOffset() const { return layout_.DataOffset; }
  bool HasDigest() const { return layout_.DigestFlag != 0; }
  bool Signed() const { return layout_.Signed; }

  // Appends entry index's bytes at stream's position. "Error index" outside 0..N-1.
  void ReadEntry(int32_t index, TStream& stream) const;
  std::string ReadEntryText(int32_t index) const;

  // Copies count bytes from source's position to dest through one buffer of
  // at most 60 MiB; raises if source ends early.
  static int64_t CopyStreamPart(TStream& source, TStream& dest, int64_t count);

 private:
  void Open();

  std::string fileName_;
  TPackageLayout layout_;
};

}  // namespace leafbook
