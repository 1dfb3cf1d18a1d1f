// The seam between the portable code and the operating system: files opened
// with full sharing and read at a position, what identifies a file's version,
// the executable's own path, ANSI case folding and sleeping.
// PlatformWin32.cpp serves the viewer; PlatformPosix.cpp serves the native
// build of the package code and the packer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "framework/base/Handle.h"

namespace leafbook {

enum class TSeekOrigin { Beginning, Current, End };

namespace platform {

#ifdef _WIN32
using TFileHandle = TWin32FileHandle;
#else
using TFileHandle = TPosixFd;
#endif

enum class TFileMode {
  OpenRead,       // existing file, read only
  OpenReadWrite,  // existing file, read and write
  Create,         // created or truncated, read and write
};

// Opens a file sharing everything with others (readers, writers, deleters).
// Gives an invalid handle on failure; LastErrorText() then says why.
TFileHandle OpenFileShared(const std::string& path, TFileMode mode);
// The same for a name that may hold any character: on Windows the narrow
// name above is read in the ANSI code page, a path's name is Unicode.
TFileHandle OpenPathShared(const std::filesystem::path& path, TFileMode mode);
bool FileExists(const std::string& path);

// -1 on failure, else the number of bytes moved (0 at end of file).
int32_t ReadFile(const TFileHandle& file, void* buffer, int32_t count);
// The same at an absolute offset, whatever the file position (which it may
// move): several threads may read one handle at once this way.
int32_t ReadFileAt(const TFileHandle& file, int64_t offset, void* buffer, int32_t count);
int32_t WriteFile(const TFileHandle& file, const void* buffer, int32_t count);
// The new position, or -1 on failure.
int64_t SeekFile(const TFileHandle& file, int64_t offset, TSeekOrigin origin);
// Cuts or extends the file at the current position.
bool SetEndOfFile(const TFileHandle& file);

// What tells a file, and the version of it, from any other: the volume and
// the file's number on it (a file replaced under the same name has another),
// its size and the time of its last write.
struct TFileIdentity {
  uint64_t Volume = 0;
  uint64_t File = 0;
  int64_t Size = 0;
  int64_t LastWrite = 0;
  bool operator==(const TFileIdentity&) const = default;
};
// False when path names no regular file (or it cannot be examined). Works
// while another process holds the file with exclusive access.
bool FileIdentityOf(const std::string& path, TFileIdentity& identity);
bool FileIdentityOf(const TFileHandle& file, TFileIdentity& identity);

// The text of the last failed call of this seam, for messages.
std::string LastErrorText();

// Full path of the running executable (not limited to 260 characters).
std::string ExecutablePath();

// Case-insensitive equality of two 8-bit strings in the system's code page,
// by the system's locale-aware comparison (ASCII folding where there is none).
bool AnsiSameText(std::string_view a, std::string_view b);
// A key for hashing under that comparison: two texts the comparison holds the
// same have equal keys.
std::string AnsiSameTextKey(std::string_view text);

void SleepMs(uint32_t milliseconds);

// Makes the calling thread yield to every other: for work nobody waits for.
void LowerThreadPriority();

}  // namespace platform
}  // namespace leafbook
