// The seam between the portable code and the operating system: files opened
// with full sharing, the executable's own path, ANSI case folding and sleeping.
// PlatformWin32.cpp serves the viewer; PlatformPosix.cpp serves the native
// build of the package code and the packer.
#pragma once

#include <cstdint>
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
bool FileExists(const std::string& path);

// -1 on failure, else the number of bytes moved (0 at end of file).
int32_t ReadFile(const TFileHandle& file, void* buffer, int32_t count);
int32_t WriteFile(const TFileHandle& file, const void* buffer, int32_t count);
// The new position, or -1 on failure.
int64_t SeekFile(const TFileHandle& file, int64_t offset, TSeekOrigin origin);
// Cuts or extends the file at the current position.
bool SetEndOfFile(const TFileHandle& file);

// The text of the last failed call of this seam, for messages.
std::string LastErrorText();

// Full path of the running executable (not limited to 260 characters).
std::string ExecutablePath();

// Case-insensitive equality of two 8-bit strings in the system's code page,
// by the system's locale-aware comparison (ASCII folding where there is none).
bool AnsiSameText(std::string_view a, std::string_view b);

void SleepMs(uint32_t milliseconds);

}  // namespace platform
}  // namespace leafbook
