// Conversions between 8-bit text and UTF-16: in the system's ANSI code page
// (package names, log text, captions, older movies' strings) and in UTF-8
// (newer movies' strings, trace files), both through the system.
#pragma once

#include <string>
#include <string_view>

namespace leafbook {

std::wstring AnsiToWide(std::string_view text);
// Characters the code page lacks become its default character.
std::string WideToAnsi(std::wstring_view text);

// Invalid sequences become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace leafbook
