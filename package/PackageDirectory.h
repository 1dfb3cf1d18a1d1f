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

// A line of the directory that lists a name: the text before its first "="
// and after it, and the index that value gives.
struct TDirectoryLine {
  size_t Number;  // among all the text's lines, from 1
  std::string Name;
  std::string Value;
  int32_t Index;
};

// The lines of directoryText that list a name, in order; lines without "="
// list none and are left out.
std::vector<TDirectoryLine> DirectoryLines(std::string_view directoryText);

// The index the first line naming name gives (names compared without regard
// to case, by the system's locale-aware comparison); 0 when none does.
int32_t LookupDirectory(std::string_view directoryText, std::string_view name);

}  // namespace leafbook
