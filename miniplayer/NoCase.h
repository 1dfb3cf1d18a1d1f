// Letter-case-blind comparison of the short names the runtime is handed
// (targets, command prefixes, property values). Portable.
#pragma once

#include <cwctype>
#include <string_view>

namespace leafbook::miniplayer {

inline bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::towlower(text[i]) != std::towlower(prefix[i])) {
      return false;
    }
  }
  return true;
}

inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

}  // namespace leafbook::miniplayer
