// The diagnostic log file.
#include "app/ULog.h"

#include <windows.h>

#include <vector>

#include "framework/base/CriticalSection.h"
#include "framework/base/Platform.h"
#include "framework/base/Streams.h"
#include "framework/base/TextLines.h"

namespace leafbook {

bool LogEnabled = false;
std::string LogFileName;

namespace {

TCriticalSection& LogLock() {
  static TCriticalSection lock;
  return lock;
}

// The folder part of a path, with its trailing separator; empty for a bare
// name. Forward slashes count too: the system takes them as separators, so a
// name like "logs/book.log" must not be read as bare.
std::string DirectoryPart(const std::string& path) {
  size_t last = path.find_last_of("\\/:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

void ForceDirectories(std::string directory) {
  while (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) {
    directory.pop_back();
  }
  if (directory.empty() || directory.back() == ':') {
    return;
  }
  DWORD attributes = ::GetFileAttributesA(directory.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return;
  }
  ForceDirectories(DirectoryPart(directory));
  ::CreateDirectoryA(directory.c_str(), nullptr);
}

std::string TimeText() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char separator[8] = ":";
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, sizeof separator) == 0) {
    separator[0] = ':';
    separator[1] = '\0';
  }
  char text[64];
  int length =
      std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u%s%02u%s%02u", now.wYear, now.wMonth,
                    now.wDay, now.wHour, separator, now.wMinute, separator, now.wSecond);
  return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

void AppendEntry(const std::string& message) {
  const std::string executableFolder = DirectoryPart(platform::ExecutablePath());
  std::string directory;
  if (!LogFileName.empty()) {
    if (DirectoryPart(LogFileName).empty()) {
      LogFileName = executableFolder + LogFileName;
    }
    directory = DirectoryPart(LogFileName);
  } else {
    directory = executableFolder;
  }
  ForceDirectories(directory);

  std::vector<std::string> lines;
  if (platform::FileExists(LogFileName)) {
    TFileStream existing(LogFileName, platform::TFileMode::OpenRead);
    TStringStream text;
    text.CopyFrom(existing, existing.GetSize());
    lines = SplitLines(text.DataString());
  }
  lines.push_back(TimeText() + ": " + message);
  std::string content;
  for (const std::string& line : lines) {
    content += line;
    content += "\r\n";
  }
  TFileStream file(LogFileName, platform::TFileMode::Create);
  file.WriteBuffer(content.data(), static_cast<int32_t>(content.size()));
}

}  // namespace

void TLog4DP::Log(const std::string& message) {
  if (!LogEnabled) {
    return;
  }
  try {
    TLockGuard guard(LogLock());
    AppendEntry(message);
  } catch (...) {
    // An unwritable, locked or unnamed log file loses the entry, nothing more.
  }
}

void LogBoundaryTrace(const char* where, const char* what) noexcept {
  if (!LogEnabled) {
    return;
  }
  try {
    TLog4DP::Log(std::string(where) + ": " + what);
  } catch (...) {
    // No memory for the entry: it is lost, nothing more.
  }
}

}  // namespace leafbook
