// Win32 side of the platform seam.
#include "framework/base/Platform.h"

#include <vector>

namespace leafbook::platform {

namespace {
thread_local DWORD lastError = 0;

void Remember() {
  lastError = ::GetLastError();
}
}  // namespace

namespace {

// CreateFileA or CreateFileW with the access, sharing and disposition of mode.
template <typename TCreate, typename TChar>
TFileHandle OpenShared(TCreate create, const TChar* path, TFileMode mode) {
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode != TFileMode::OpenRead) {
    access |= GENERIC_WRITE;
  }
  if (mode == TFileMode::Create) {
    disposition = CREATE_ALWAYS;
  }
  TFileHandle file(create(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Remember();
  }
  return file;
}

}  // namespace

TFileHandle OpenFileShared(const std::string& path, TFileMode mode) {
  return OpenShared(::CreateFileA, path.c_str(), mode);
}

TFileHandle OpenPathShared(const std::filesystem::path& path, TFileMode mode) {
  return OpenShared(::CreateFileW, path.c_str(), mode);
}

bool FileExists(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int32_t ReadFile(const TFileHandle& file, void* buffer, int32_t count) {
  DWORD done = 0;
  if (!::ReadFile(file.Get(), buffer, static_cast<DWORD>(count), &done, nullptr)) {
    Remember();
    return -1;
  }
  return static_cast<int32_t>(done);
}

int32_t ReadFileAt(const TFileHandle& file, int64_t offset, void* buffer, int32_t count) {
  // An offset in the OVERLAPPED of a synchronous handle makes a positioned
  // read; the file pointer it leaves behind is nobody's business here.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  DWORD done = 0;
  if (!::ReadFile(file.Get(), buffer, static_cast<DWORD>(count), &done, &at)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) {
      return 0;
    }
    Remember();
    return -1;
  }
  return static_cast<int32_t>(done);
}

int32_t WriteFile(const TFileHandle& file, const void* buffer, int32_t count) {
  DWORD done = 0;
  if (!::WriteFile(file.Get(), buffer, static_cast<DWORD>(count), &done, nullptr)) {
    Remember();
    return -1;
  }
  return static_cast<int32_t>(done);
}

int64_t SeekFile(const TFileHandle& file, int64_t offset, TSeekOrigin origin) {
  static constexpr DWORD methods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LARGE_INTEGER distance;
  LARGE_INTEGER result;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(file.Get(), distance, &result, methods[static_cast<int>(origin)])) {
    Remember();
    return -1;
  }
  return result.QuadPart;
}

bool SetEndOfFile(const TFileHandle& file) {
  if (!::SetEndOfFile(file.Get())) {
    Remember();
    return false;
  }
  return true;
}

bool FileIdentityOf(const TFileHandle& file, TFileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.Get(), &info)) {
    Remember();
    return false;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    return false;
  }
  identity.Volume = info.dwVolumeSerialNumber;
  identity.File = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity.Size =
      static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  identity.LastWrite =
      static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                           info.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool FileIdentityOf(const std::string& path, TFileIdentity& identity) {
  // No access asked for: such an open only reads attributes, so no sharing
  // mode of another process can refuse it.
  TFileHandle file(::CreateFileA(path.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Remember();
    return false;
  }
  return FileIdentityOf(file, identity);
}

std::string LastErrorText() {
  char* text = nullptr;
  DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, lastError, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message =
      length ? std::string(text, length) : "System error " + std::to_string(lastError);
  if (text) {
    ::LocalFree(text);
  }
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}

std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      Remember();
      return {};
    }
    if (length < buffer.size()) {
      return std::string(buffer.data(), length);
    }
    if (buffer.size() >= 32768) {
      return {};
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool AnsiSameText(std::string_view a, std::string_view b) {
  return ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string AnsiSameTextKey(std::string_view text) {
  // The sort key under the same flags: equal keys are what the comparison
  // calls equal.
  constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  if (text.empty()) {
    return {};
  }
  const int length = static_cast<int>(text.size());
  int needed = ::LCMapStringA(LOCALE_USER_DEFAULT, kFlags, text.data(), length, nullptr, 0);
  if (needed <= 0) {
    return std::string(text);
  }
  std::string key(static_cast<size_t>(needed), '\0');
  needed = ::LCMapStringA(LOCALE_USER_DEFAULT, kFlags, text.data(), length, key.data(), needed);
  key.resize(needed > 0 ? static_cast<size_t>(needed) : 0);
  return key;
}

void SleepMs(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

void LowerThreadPriority() {
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

}  // namespace leafbook::platform
