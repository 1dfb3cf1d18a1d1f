// Trace lines: "miniplayer <pid>: <event>", appended as UTF-8.
#include "miniplayer/Trace.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/base/AnsiText.h"
#include "framework/base/CriticalSection.h"

namespace leafbook::miniplayer {

namespace {
// Requests trace from their own threads: one line at a time.
TCriticalSection traceLock;
}  // namespace

void Trace(const std::wstring& line) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"MINIPLAYER_TRACE", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return;
  }
  const std::string text =
      "miniplayer " + std::to_string(GetCurrentProcessId()) + ": " + WideToUtf8(line) + "\n";
  TLockGuard guard(traceLock);
  FILE* file = _wfopen(path, L"ab");
  if (file == nullptr) {
    return;
  }
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

long SwitchValue(const char* name, long absent) {
  char text[32];
  const DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
  if (length == 0 || length >= sizeof text) {
    return absent;
  }
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' ? value : absent;
}

}  // namespace leafbook::miniplayer
