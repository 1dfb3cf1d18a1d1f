// Conversions between 8-bit text in the system's ANSI code page (package
// names, log text, captions) and UTF-16 (URLs, paths, the runtime's strings).
#pragma once

#include <string>
#include <string_view>

namespace leafbook {

std::wstring AnsiToWide(std::string_view text);
// Characters the code page lacks become its default character.
std::string WideToAnsi(std::wstring_view text);

}  // namespace leafbook
