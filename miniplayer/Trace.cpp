// Trace lines: "miniplayer <pid>: <event>", appended as UTF-8.
#include "miniplayer/Trace.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "framework/base/AnsiText.h"

namespace leafbook::miniplayer {

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
      "miniplayer " + std::to_string(GetCurrentProcessId()) + ": " + WideToUtf8(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

void TraceBoundaryFailure(const char* where, const char* what) noexcept {
  // Called inside a catch block: a failure to trace must not throw again.
  try {
    Trace(Utf8ToWide(where) + L" failed: " + Utf8ToWide(what));
  } catch (...) {
  }
}

bool FailureInjected(const char* where) {
  char wanted[128];
  const DWORD length = GetEnvironmentVariableA("MINIPLAYER_FAIL", wanted, sizeof wanted);
  if (length == 0 || length >= sizeof wanted || std::strcmp(wanted, where) != 0) {
    return false;
  }
  Trace(L"injected failure " + Utf8ToWide(where));
  return true;
}

}  // namespace leafbook::miniplayer
