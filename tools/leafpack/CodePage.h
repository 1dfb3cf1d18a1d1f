// File names between the packer's system and the readers': the viewer looks
// names up in the ANSI code page of the reader's Windows, while a folder on
// Linux holds them as UTF-8. Conversions are exact: a name a code page cannot
// carry is refused, never approximated.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace leafbook::leafpack {

// Whether this system can convert to and from the Windows code page.
bool KnownCodePage(int codePage);

// The UTF-8 text in the code page; nullopt when it is not valid UTF-8 or
// holds a character the code page has no place for.
std::optional<std::string> FromUtf8(std::string_view utf8, int codePage);

// The code page's text in UTF-8; nullopt when it is not valid in the code page.
std::optional<std::string> ToUtf8(std::string_view text, int codePage);

}  // namespace leafbook::leafpack
