// Making and recognising in-memory paths.
#include "content/MemoryPath.h"

#include <algorithm>

namespace leafbook {

std::wstring FormatMemoryPath(int32_t folderId) {
  std::wstring path = L"Z:\\FromMemory\\";
  path += kMemoryFolderMarker;
  path += L'\\';
  path += std::to_wstring(folderId);
  path += L'\\';
  path += kMemoryMovieName;
  return path;
}

namespace {

// Digits only, no sign or spaces, value within the ids a process can hand
// out (they count up from 1 as signed 32-bit numbers).
bool ParseFolderId(std::wstring_view digits, uint32_t& id) {
  if (digits.empty()) {
    return false;
  }
  uint64_t value = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') {
      return false;
    }
    value = value * 10 + static_cast<uint64_t>(c - L'0');
    if (value > 0x7FFFFFFF) {
      return false;
    }
  }
  id = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

bool ParseMemoryPath(std::wstring_view text, uint32_t& folderId, std::wstring& relativePath) {
  std::wstring slashed(text);
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  const size_t marker = slashed.find(kMemoryFolderMarker);
  if (marker == std::wstring::npos) {
    return false;
  }
  // The character right after the marker is skipped whatever it is: normally
  // the separator.
  const size_t restStart = marker + kMemoryFolderMarker.size() + 1;
  if (restStart >= slashed.size()) {
    return false;
  }
  const std::wstring_view rest = std::wstring_view(slashed).substr(restStart);
  const size_t slash = rest.find(L'/');
  if (slash == std::wstring_view::npos) {
    return false;
  }
  uint32_t id = 0;
  if (!ParseFolderId(rest.substr(0, slash), id)) {
    return false;
  }
  folderId = id;
  relativePath.assign(rest.substr(slash + 1));
  return true;
}

}  // namespace leafbook
