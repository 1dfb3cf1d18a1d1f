// The diagnostic log: off unless the command line asks for it. Each entry is
// "yyyy-mm-dd hh:mm:ss: message" on a CR LF line, appended by rewriting the
// whole file. Logging never raises and never disturbs the program.
#pragma once

#include <string>

namespace leafbook {

// Process-wide settings, set from the command line ("-D", "-F<path>").
extern bool LogEnabled;
// A bare file name is placed in the executable's folder by the first Log call.
extern std::string LogFileName;

class TLog4DP {
 public:
  TLog4DP() = delete;
  // Appends one entry when logging is on. Calls from several threads are
  // serialised so that no entry is lost.
  static void Log(const std::string& message);
};

// The program's boundary tracer: "<where>: <what>" as a log entry, when
// logging is on.
void LogBoundaryTrace(const char* where, const char* what) noexcept;

}  // namespace leafbook
