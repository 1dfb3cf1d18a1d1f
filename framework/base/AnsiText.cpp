// 8-bit text conversions through the system.
#include "framework/base/AnsiText.h"

#include <windows.h>

namespace leafbook {

namespace {

std::wstring Widen(UINT codePage, std::string_view text) {
  if (text.empty()) {
    return {};
  }
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  }
  return wide;
}

std::string Narrow(UINT codePage, std::wstring_view text) {
  if (text.empty()) {
    return {};
  }
  const int size = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
  }
  return narrow;
}

}  // namespace

std::wstring AnsiToWide(std::string_view text) {
  return Widen(CP_ACP, text);
}

std::string WideToAnsi(std::wstring_view text) {
  return Narrow(CP_ACP, text);
}

std::wstring Utf8ToWide(std::string_view text) {
  return Widen(CP_UTF8, text);
}

std::string WideToUtf8(std::wstring_view text) {
  return Narrow(CP_UTF8, text);
}

}  // namespace leafbook
