// MD5 message digest as RFC 1321 defines it, fed incrementally so that large
// regions can be digested in chunks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/base/Streams.h"

namespace leafbook {

using TMD5Digest = std::array<uint8_t, 16>;

class TMD5 {
 public:
  TMD5() { Reset(); }
  void Reset();
  void Update(const void* data, size_t length);
  // Feeds count bytes read from stream's position, a chunk at a time; raises
  // when the stream ends early.
  void UpdateFrom(TStream& stream, int64_t count);
  // The digest of everything fed since the last Reset; the object then starts anew.
  TMD5Digest Final();

  static TMD5Digest Of(const void* data, size_t length);

 private:
  uint32_t state_[4];
  uint64_t length_;  // bytes fed so far
  uint8_t pending_[64];
};

// Lower-case hexadecimal, as md5sum prints it.
std::string MD5ToHex(const TMD5Digest& digest);

}  // namespace leafbook
