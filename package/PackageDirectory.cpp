// Parsing of the package directory text.
#include "package/PackageDirectory.h"

#include "framework/base/Platform.h"
#include "framework/base/TextLines.h"

namespace leafbook {

int32_t DirectoryValueToIndex(std::string_view value) {
  size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
    negative = value[i] == '-';
    ++i;
  }
  if (i == value.size()) {
    return 0;
  }
  int64_t magnitude = 0;
  for (; i < value.size(); ++i) {
    if (value[i] < '0' || value[i] > '9') {
      return 0;
    }
    magnitude = magnitude * 10 + (value[i] - '0');
    if (magnitude > 2147483648LL) {
      return 0;
    }
  }
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX) {
    return 0;
  }
  return static_cast<int32_t>(result);
}

std::vector<TDirectoryLine> DirectoryLines(std::string_view directoryText) {
  std::vector<TDirectoryLine> lines;
  size_t number = 0;
  for (const std::string& line : SplitLines(directoryText)) {
    ++number;
    const size_t equals = line.find('=');
    if (equals != std::string::npos) {
      std::string value = line.substr(equals + 1);
      const int32_t index = DirectoryValueToIndex(value);
      lines.push_back({number, line.substr(0, equals), std::move(value), index});
    }
  }
  return lines;
}

int32_t LookupDirectory(std::string_view directoryText, std::string_view name) {
  for (const TDirectoryLine& line : DirectoryLines(directoryText)) {
    if (platform::AnsiSameText(line.Name, name)) {
      return line.Index;
    }
  }
  return 0;
}

}  // namespace leafbook
