// The stand-in runtime as the process's runtime: its module mapped from a
// stream by the host's own loader, as the viewer maps a book's "flash.ocx".
#pragma once

#include <string>

namespace leafbook::testing {

// fileName: a module built beside the tests, e.g. "miniplayer-7.ocx". False
// when the provider has no module.
bool UseStandInRuntime(const std::string& fileName);

}  // namespace leafbook::testing
