// leafpack's commands, callable in process (the tests drive them this way;
// main.cpp only adapts the console).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace leafbook::leafpack {

// Exit statuses; verify uses the last three to say which check failed.
enum TExitCode : int {
  kOk = 0,
  kFailed = 1,        // bad input, I/O error
  kUsage = 2,         // wrong arguments
  kNoPackage = 3,     // no package appended, or its trailer is damaged
  kBadDigest = 4,     // the data region does not match the stored digest
  kBadDirectory = 5,  // the directory names entries that are not there
};

// The readers' Windows ANSI code page names are stored in unless told otherwise.
inline constexpr int kDefaultCodePage = 1252;

struct TConsole {
  std::ostream& out;
  std::ostream& err;
  bool progress = false;  // a progress line on err for long work (terminals only)
};

// args excludes the program name.
int Run(const std::vector<std::string>& args, TConsole console);

}  // namespace leafbook::leafpack
