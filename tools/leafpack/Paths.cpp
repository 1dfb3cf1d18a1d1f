// Unicode file names on Windows (wide system calls) and their narrow forms.
#include "tools/leafpack/Paths.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstring>
#include <optional>
#include <system_error>

#include "framework/base/Exceptions.h"
#include "framework/base/Platform.h"
#include "framework/base/Streams.h"

namespace leafbook::leafpack {

namespace fs = std::filesystem;

fs::path PathFromUtf8(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

#ifdef _WIN32

namespace {
// The exact ANSI form of a wide name, or nothing when a character has no place.
std::optional<std::string> ExactAnsi(const std::wstring& wide) {
  if (wide.empty()) {
    return std::string();
  }
  const int length = static_cast<int>(wide.size());
  BOOL substituted = FALSE;
  const int needed = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                           nullptr, 0, nullptr, &substituted);
  if (needed <= 0 || substituted) {
    return std::nullopt;
  }
  std::string text(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, text.data(), needed,
                        nullptr, nullptr);
  return text;
}
}  // namespace

std::string NarrowFileName(const fs::path& path) {
  if (std::optional<std::string> ansi = ExactAnsi(path.native())) {
    return *ansi;
  }
  const DWORD needed = ::GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed > 0) {
    std::wstring shortName(needed, L'\0');
    const DWORD length = ::GetShortPathNameW(path.c_str(), shortName.data(), needed);
    shortName.resize(length);
    if (length > 0) {
      if (std::optional<std::string> ansi = ExactAnsi(shortName)) {
        return *ansi;
      }
    }
  }
  throw Exception("\"" + Utf8FromPath(path) +
                  "\": the name has characters this system's ANSI code page lacks and no short "
                  "name; rename it or copy it to a folder with a plain name");
}

#else

std::string NarrowFileName(const fs::path& path) {
  return path.string();
}

#endif

std::vector<uint8_t> ReadWholeFile(const fs::path& path) {
  platform::TFileHandle handle = platform::OpenPathShared(path, platform::TFileMode::OpenRead);
  if (!handle) {
    throw Exception("cannot read \"" + Utf8FromPath(path) + "\": " + platform::LastErrorText());
  }
  THandleStream stream(std::move(handle));
  const int64_t size = stream.GetSize();
  if (size > INT32_MAX) {
    throw Exception("\"" + Utf8FromPath(path) + "\" is too large (2 GiB at most)");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  try {
    stream.ReadBuffer(bytes.data(), static_cast<int32_t>(size));
  } catch (const Exception& error) {
    throw Exception("cannot read \"" + Utf8FromPath(path) + "\": " + error.Message());
  }
  return bytes;
}

}  // namespace leafbook::leafpack
