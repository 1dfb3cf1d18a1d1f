// The process-wide lookup lists of the replaced system functions: window
// class names asked for -> names registered, and wave-out handles -> bytes
// per sample. Linear lists; nothing is ever removed; no lock of their own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace leafbook {

class TMapString2String {
 public:
  // The first pair whose key equals key (lstrcmpiW) takes the value; else a
  // new pair is appended.
  void Add(const std::wstring& key, const std::wstring& value);
  // False, value untouched, when no key equals key.
  bool Find(const std::wstring& key, std::wstring& value) const;
  size_t Count() const { return pairs_.size(); }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> pairs_;
};

class TMapCardinal2Cardinal {
 public:
  // Always appends, even for a key already present.
  void Add(uint32_t key, uint32_t value);
  // The first pair's value; false, value untouched, when there is none.
  bool Find(uint32_t key, uint32_t& value) const;
  size_t Count() const { return pairs_.size(); }

 private:
  std::vector<std::pair<uint32_t, uint32_t>> pairs_;
};

}  // namespace leafbook
