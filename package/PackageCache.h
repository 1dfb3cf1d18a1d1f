// The process's open packages: each package file is opened, checked (digest
// included) and indexed once, and kept for every later access by name. A file
// is known by its identity (volume, file number, size, last write), so a file
// replaced or rewritten under the same name is read afresh; the running
// executable cannot change while it runs and is not looked at again. A
// package that failed its checks is remembered as failed, not checked again
// until its file changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "package/OpenPackage.h"

namespace leafbook {

// The open package of packageFile (empty: the running executable); null when
// the file is missing, cannot be opened, or carries no sound package. Safe
// from any thread.
std::shared_ptr<const TOpenPackage> AcquirePackage(const std::string& packageFile);

// How many times this process has opened and checked a package file.
int64_t PackageCheckCount();

}  // namespace leafbook
