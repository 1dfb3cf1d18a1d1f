// The runtime's trace: when MINIPLAYER_TRACE names a file, one line per
// notable event is appended to it, so end-to-end tests can see what the
// runtime saw. Written through the C runtime's own file calls, so the trace
// never passes through the file functions a host may answer for the runtime.
#pragma once

#include <string>

namespace leafbook::miniplayer {

void Trace(const std::wstring& line);
std::wstring Widen(const std::string& text, unsigned codePage);
std::string Utf8(const std::wstring& text);

}  // namespace leafbook::miniplayer
