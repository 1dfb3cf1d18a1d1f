// The book's own identity in its executable: the icon and version details
// Explorer shows, written into the copy of the viewer before the package is
// appended, and the PE checksum of the finished book.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/Streams.h"
#include "tools/leafpack/PeImage.h"

namespace leafbook::leafpack {

using TVersionNumber = std::array<uint16_t, 4>;

struct TBookIdentity {
  // One .ico file, or PNG images combined into one icon.
  std::vector<std::string> IconFiles;
  std::optional<TVersionNumber> FileVersion;
  std::optional<TVersionNumber> ProductVersion;
  // UTF-8; empty when not given.
  std::string ProductName;
  std::string CompanyName;
  std::string FileDescription;
  std::string LegalCopyright;
  // The book's file name, for the version details' OriginalFilename.
  std::string OriginalFilename;

  bool HasIcon() const { return !IconFiles.empty(); }
  bool HasVersion() const {
    return FileVersion || ProductVersion || !ProductName.empty() || !CompanyName.empty() ||
           !FileDescription.empty() || !LegalCopyright.empty();
  }
  bool Empty() const { return !HasIcon() && !HasVersion(); }
};

// "1", "1.2", "1.2.3" or "1.2.3.4", each number 0..65535; missing parts are 0.
std::optional<TVersionNumber> ParseVersionNumber(std::string_view text);

// The viewer's image with identity written into a rebuilt resource section.
// Raises Exception with a message naming the file or the problem.
std::vector<uint8_t> ApplyBookIdentity(std::vector<uint8_t> viewer, const TBookIdentity& identity);

// Sets the PE checksum in the headers of the complete file; leaves a file
// that is not a PE image as it is. Returns whether it was set.
bool UpdatePeChecksum(TStream& file);

// A file written from its start, through this stream, with a PE image first:
// every byte is passed on and summed into the image checksum on the way, so
// that the finished file's checksum needs no second read of it.
class TPeChecksumWriter final : public TStream {
 public:
  // checksumOffset: where the image's checksum field lies (PeChecksumOffset).
  TPeChecksumWriter(TStream& file, uint64_t checksumOffset);

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Only tells the position: the checksum is summed in writing order.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // Writes the checksum of everything written into the file's headers.
  void Finish();

 private:
  TStream& file_;
  uint64_t checksumOffset_;
  TPeChecksum checksum_;
  int64_t position_ = 0;
};

}  // namespace leafbook::leafpack
