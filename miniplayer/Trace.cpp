// Trace lines: "miniplayer <pid>: <event>", appended as UTF-8.
#include "miniplayer/Trace.h"

#include <windows.h>

#include <cstdio>

namespace leafbook::miniplayer {

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
  return out;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) {
    return {};
  }
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length,
                      nullptr, nullptr);
  return out;
}

void Trace(const std::wstring& line) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"MINIPLAYER_TRACE", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return;
  }
  FILE* file = _wfopen(path, L"ab");
  if (file == nullptr) {
    return;
  }
  const std::string text =
      "miniplayer " + std::to_string(GetCurrentProcessId()) + ": " + Utf8(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

void TraceBoundaryFailure(const char* where, const char* what) noexcept {
  // Called inside a catch block: a failure to trace must not throw again.
  try {
    Trace(FromUtf8(where) + L" failed: " + FromUtf8(what));
  } catch (...) {
  }
}

}  // namespace leafbook::miniplayer
