// POSIX side of the platform seam, for the native build of the portable parts.
#include "framework/base/Platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace leafbook {

void TPosixFdTraits::Close(int fd) noexcept {
  ::close(fd);
}

namespace platform {

namespace {
thread_local int lastError = 0;

void Remember() {
  lastError = errno;
}

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
}  // namespace

TFileHandle OpenFileShared(const std::string& path, TFileMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileMode::OpenRead:
      flags |= O_RDONLY;
      break;
    case TFileMode::OpenReadWrite:
      flags |= O_RDWR;
      break;
    case TFileMode::Create:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  TFileHandle file(::open(path.c_str(), flags, 0666));
  if (!file) {
    Remember();
  } else {
    struct stat info {};
    if (::fstat(file.Get(), &info) == 0 && S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      Remember();
      file.Reset();
    }
  }
  return file;
}

TFileHandle OpenPathShared(const std::filesystem::path& path, TFileMode mode) {
  return OpenFileShared(path.string(), mode);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

int32_t ReadFile(const TFileHandle& file, void* buffer, int32_t count) {
  ssize_t done;
  do {
    done = ::read(file.Get(), buffer, static_cast<size_t>(count));
  } while (done < 0 && errno == EINTR);
  if (done < 0) {
    Remember();
    return -1;
  }
  return static_cast<int32_t>(done);
}

int32_t ReadFileAt(const TFileHandle& file, int64_t offset, void* buffer, int32_t count) {
  ssize_t done;
  do {
    done = ::pread(file.Get(), buffer, static_cast<size_t>(count), static_cast<off_t>(offset));
  } while (done < 0 && errno == EINTR);
  if (done < 0) {
    Remember();
    return -1;
  }
  return static_cast<int32_t>(done);
}

int32_t WriteFile(const TFileHandle& file, const void* buffer, int32_t count) {
  ssize_t done;
  do {
    done = ::write(file.Get(), buffer, static_cast<size_t>(count));
  } while (done < 0 && errno == EINTR);
  if (done < 0) {
    Remember();
    return -1;
  }
  return static_cast<int32_t>(done);
}

int64_t SeekFile(const TFileHandle& file, int64_t offset, TSeekOrigin origin) {
  static constexpr int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  off_t result = ::lseek(file.Get(), static_cast<off_t>(offset), whence[static_cast<int>(origin)]);
  if (result < 0) {
    Remember();
    return -1;
  }
  return static_cast<int64_t>(result);
}

bool SetEndOfFile(const TFileHandle& file) {
  off_t position = ::lseek(file.Get(), 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(file.Get(), position) != 0) {
    Remember();
    return false;
  }
  return true;
}

namespace {
bool IdentityFromStat(const struct stat& info, TFileIdentity& identity) {
  if (!S_ISREG(info.st_mode)) {
    return false;
  }
  identity.Volume = static_cast<uint64_t>(info.st_dev);
  identity.File = static_cast<uint64_t>(info.st_ino);
  identity.Size = static_cast<int64_t>(info.st_size);
  identity.LastWrite =
      static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}
}  // namespace

bool FileIdentityOf(const TFileHandle& file, TFileIdentity& identity) {
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0) {
    Remember();
    return false;
  }
  return IdentityFromStat(info, identity);
}

bool FileIdentityOf(const std::string& path, TFileIdentity& identity) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    Remember();
    return false;
  }
  return IdentityFromStat(info, identity);
}

std::string LastErrorText() {
  return std::strerror(lastError);
}

std::string ExecutablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

bool AnsiSameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

std::string AnsiSameTextKey(std::string_view text) {
  std::string key(text);
  for (char& c : key) {
    c = FoldAscii(c);
  }
  return key;
}

void SleepMs(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void LowerThreadPriority() {
  // Linux gives each thread a nice value of its own, set through its id.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

}  // namespace platform
}  // namespace leafbook
