// The stand-in runtime as the process's runtime. The viewer maps its module
// from a stream with the host's own loader, which reads 32-bit modules; in a
// 64-bit test build the system loads the module and its imports are pointed
// at the same host routines the loader would give it, so that the host's
// code paths are the same.
#pragma once

#include <string>

namespace leafbook::testing {

// fileName: a module built beside the tests, e.g. "miniplayer-7.ocx". False
// when the provider has no module.
bool UseStandInRuntime(const std::string& fileName);

}  // namespace leafbook::testing
