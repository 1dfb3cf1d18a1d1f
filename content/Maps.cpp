// Lookup lists.
#include "content/Maps.h"

namespace leafbook {

void TMapString2String::Add(const std::wstring& key, const std::wstring& value) {
  for (auto& pair : pairs_) {
    if (::lstrcmpiW(pair.first.c_str(), key.c_str()) == 0) {
      pair.second = value;
      return;
    }
  }
  pairs_.emplace_back(key, value);
}

bool TMapString2String::Find(const std::wstring& key, std::wstring& value) const {
  for (const auto& pair : pairs_) {
    if (::lstrcmpiW(pair.first.c_str(), key.c_str()) == 0) {
      value = pair.second;
      return true;
    }
  }
  return false;
}

void TMapCardinal2Cardinal::Add(uint32_t key, uint32_t value) {
  pairs_.emplace_back(key, value);
}

bool TMapCardinal2Cardinal::Find(uint32_t key, uint32_t& value) const {
  for (const auto& pair : pairs_) {
    if (pair.first == key) {
      value = pair.second;
      return true;
    }
  }
  return false;
}

}  // namespace leafbook
