// The package directory (entry 0): 8-bit text, one "name=index" line per file,
// split into lines by SplitLines (framework/TextLines.h). Shared by the access
// functions and the packer so both read it alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace leafbook {

// The entry index of a value: an optional sign and decimal digits within the
// 32-bit range. Anything else (blanks, hex, empty) gives 0, "absent".
int32_t DirectoryValueToIndex(std::string_view value);

// The index the first line naming name gives (names compared without regard
// to case, by the system's locale-aware comparison); 0 when none does.
int32_t LookupDirectory(std::string_view directoryText, std::string_view name);

}  // namespace leafbook
