// Code page conversions: the C library's iconv on POSIX systems, the system's
// own conversions on Windows.
#include "tools/leafpack/CodePage.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <vector>

namespace leafbook::leafpack {

namespace {

#ifdef _WIN32
std::optional<std::wstring> Widen(std::string_view text, UINT codePage) {
  if (text.empty()) {
    return std::wstring();
  }
  const int length = static_cast<int>(text.size());
  const int needed =
      ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (needed <= 0) {
    return std::nullopt;
  }
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), needed);
  return wide;
}

std::optional<std::string> Narrow(const std::wstring& wide, UINT codePage) {
  if (wide.empty()) {
    return std::string();
  }
  // UTF-8 takes no "default character" arguments; other code pages report
  // whether one had to stand in for a character they lack.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL substituted = FALSE;
  const int length = static_cast<int>(wide.size());
  const int needed = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0,
                                           nullptr, utf8 ? nullptr : &substituted);
  if (needed <= 0 || substituted) {
    return std::nullopt;
  }
  std::string text(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(codePage, flags, wide.data(), length, text.data(), needed, nullptr,
                        nullptr);
  return text;
}

std::optional<std::string> Convert(std::string_view text, UINT to, UINT from) {
  std::optional<std::wstring> wide = Widen(text, from);
  return wide ? Narrow(*wide, to) : std::nullopt;
}
#else
std::string IconvName(int codePage) {
  return "CP" + std::to_string(codePage);
}

std::optional<std::string> Convert(std::string_view text, const std::string& to,
                                   const std::string& from) {
  iconv_t converter = ::iconv_open(to.c_str(), from.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    return std::nullopt;
  }
  std::string input(text);
  std::vector<char> output(input.size() * 4 + 16);
  char* in = input.data();
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  const size_t done = ::iconv(converter, &in, &inLeft, &out, &outLeft);
  const bool complete =
      done != static_cast<size_t>(-1) && inLeft == 0 &&
      ::iconv(converter, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
  ::iconv_close(converter);
  if (!complete) {
    return std::nullopt;  // a character without a place, or bytes that are no text
  }
  return std::string(output.data(), output.size() - outLeft);
}
#endif

}  // namespace

bool KnownCodePage(int codePage) {
#ifdef _WIN32
  return ::IsValidCodePage(static_cast<UINT>(codePage)) != FALSE;
#else
  iconv_t converter = ::iconv_open(IconvName(codePage).c_str(), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    return false;
  }
  ::iconv_close(converter);
  return true;
#endif
}

std::optional<std::string> FromUtf8(std::string_view utf8, int codePage) {
#ifdef _WIN32
  return Convert(utf8, static_cast<UINT>(codePage), CP_UTF8);
#else
  return Convert(utf8, IconvName(codePage), "UTF-8");
#endif
}

std::optional<std::string> ToUtf8(std::string_view text, int codePage) {
#ifdef _WIN32
  return Convert(text, CP_UTF8, static_cast<UINT>(codePage));
#else
  return Convert(text, "UTF-8", IconvName(codePage));
#endif
}

}  // namespace leafbook::leafpack
