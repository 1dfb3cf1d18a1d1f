// The only way to the book's files by name. The package is opened and checked
// once per process (and again only when its file changes, see PackageCache);
// each call is a directory lookup and a read of just the entry's bytes.
// Nothing raises: a missing file, a missing or damaged package and a failed
// digest all read as "not present".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/base/Streams.h"

namespace leafbook {

// What a package file carries, for telling a reader why no book opens: an
// intact package; no package at all (a bare viewer, a missing file); or bytes
// after the program image that are no intact package (a broken trailer, a
// failed digest, or a file that cannot be opened).
enum class TPackageState { Intact, None, Damaged };

TPackageState PackageState(const std::string& packageFile = "");

// The entry index listed for name, 0 when not listed or on any failure. A
// directory line with a negative index gives that negative number.
int32_t PackageFileIndex(const std::string& name, const std::string& packageFile = "");

// Appends the named file's bytes at stream's position; leaves the stream as it
// is when the name is not listed (or keeps what came before a failure). True
// only when every byte of the file was written: a failed read, a short write
// or a name not listed gives false.
bool PackageReadFile(const std::string& name, TStream& stream, const std::string& packageFile = "");

// A new memory stream holding exactly the file's bytes, positioned at its end;
// null when the file is not there.
std::unique_ptr<TMemoryStream> PackageFileStream(const std::string& name,
                                                 const std::string& packageFile = "");

// A read-only stream over the file's bytes where they lie in the package,
// positioned at 0: nothing is copied until it is read, so a large entry costs
// no memory. Null when the file is not there.
std::unique_ptr<TStream> PackageEntryStream(const std::string& name,
                                            const std::string& packageFile = "");

}  // namespace leafbook
