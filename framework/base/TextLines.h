// Splitting 8-bit text into lines the way a string list reads a text: lines
// end at CR LF, a lone CR or a lone LF, and text after a NUL is ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace leafbook {

std::vector<std::string> SplitLines(std::string_view text);

}  // namespace leafbook
