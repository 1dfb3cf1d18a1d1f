// Bounds-checked reading of a module image held in memory. Every read is
// measured against the size of the buffer first, so a damaged image raises
// EBadImage instead of reaching memory outside it. No system call is made
// here: the same code runs in the viewer and in the native sanitizer build.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "framework/base/Exceptions.h"

namespace leafbook {

// A module image that does not fit together: the loader refuses it.
class EBadImage : public Exception {
 public:
  explicit EBadImage(const std::string& what) : Exception("Damaged module image: " + what) {}
};

// True when [offset, offset + size) lies inside total bytes; 64-bit so that
// 32-bit fields added together cannot wrap.
constexpr bool RangeFits(uint64_t offset, uint64_t size, uint64_t total) {
  return offset <= total && size <= total - offset;
}

class TImageView {
 public:
  TImageView() = default;
  TImageView(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}
  explicit TImageView(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

  const uint8_t* Data() const { return data_; }
  uint64_t Size() const { return size_; }
  bool Fits(uint64_t offset, uint64_t size) const { return RangeFits(offset, size, size_); }

  void Require(uint64_t offset, uint64_t size, const char* what) const {
    if (!Fits(offset, size)) {
      throw EBadImage(std::string(what) + " outside the image");
    }
  }

  uint16_t U16(uint64_t offset, const char* what) const {
    Require(offset, 2, what);
    return Load<uint16_t>(offset);
  }
  uint32_t U32(uint64_t offset, const char* what) const {
    Require(offset, 4, what);
    return Load<uint32_t>(offset);
  }
  uint64_t U64(uint64_t offset, const char* what) const {
    Require(offset, 8, what);
    return Load<uint64_t>(offset);
  }

  // A zero-terminated string that must end inside the image.
  std::string_view CString(uint64_t offset, const char* what) const {
    Require(offset, 1, what);
    const auto* start = reinterpret_cast<const char*>(data_ + offset);
    const void* end = std::memchr(start, 0, size_ - offset);
    if (end == nullptr) {
      throw EBadImage(std::string(what) + " not terminated inside the image");
    }
    return std::string_view(start, static_cast<const char*>(end) - start);
  }

  // Quiet variants for the queries, which answer "not found" instead of raising.
  bool TryU16(uint64_t offset, uint16_t& value) const {
    if (!Fits(offset, 2)) {
      return false;
    }
    value = Load<uint16_t>(offset);
    return true;
  }
  bool TryU32(uint64_t offset, uint32_t& value) const {
    if (!Fits(offset, 4)) {
      return false;
    }
    value = Load<uint32_t>(offset);
    return true;
  }

 private:
  // Image fields are little-endian and need not be aligned.
  template <class T>
  T Load(uint64_t offset) const {
    T value;
    std::memcpy(&value, data_ + offset, sizeof value);
    return value;
  }

  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
};

// Writes one 32-bit value into a writable image, checked like the reads.
inline void StoreU32(std::span<uint8_t> image, uint64_t offset, uint32_t value, const char* what) {
  if (!RangeFits(offset, 4, image.size())) {
    throw EBadImage(std::string(what) + " outside the image");
  }
  std::memcpy(image.data() + offset, &value, sizeof value);
}

// The same for a 64-bit value.
inline void StoreU64(std::span<uint8_t> image, uint64_t offset, uint64_t value, const char* what) {
  if (!RangeFits(offset, 8, image.size())) {
    throw EBadImage(std::string(what) + " outside the image");
  }
  std::memcpy(image.data() + offset, &value, sizeof value);
}

}  // namespace leafbook
