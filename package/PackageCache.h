// The process's checked packages: each package file is checked (digest
// included) and its directory indexed once, and what was learnt is kept for
// every later access by name. A file is known by its identity (volume, file
// number, size, last write) taken from the very handle it is read through, so
// a file replaced or rewritten under the same name is checked afresh. The
// running executable cannot change while it runs: it is opened once and kept
// open. Any other package file is opened for each access and closed after
// it, so that it can be replaced or deleted at any time. A package that failed
// its checks is remembered as failed, not checked again until its file
// changes; so is one in which a block failed its check after it was opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "package/OpenPackage.h"

namespace leafbook {

// The open package of packageFile (empty: the running executable); null when
// the file is missing, cannot be opened, or carries no intact package. Safe
// from any thread.
std::shared_ptr<const TOpenPackage> AcquirePackage(const std::string& packageFile);

// How many times this process has checked a package file.
int64_t PackageCheckCount();

// A package checked block by block is checked whole as well, once, on a
// thread of its own at the lowest priority, after delayMs: damage in parts
// nobody reads is then found too, and makes the package damaged as a failed
// block does. Nothing to do for a package without block digests (checked
// whole when it was opened), or one already checked so. The process's end
// stops the check wherever it is.
void CheckWholeInBackground(const std::string& packageFile, uint32_t delayMs);

// Waits until every background check has ended.
void WaitForBackgroundChecks();
// Ends every background check where it is, and starts no more: for the end of
// the program, before what a check may report to goes.
void StopBackgroundChecks();

}  // namespace leafbook
