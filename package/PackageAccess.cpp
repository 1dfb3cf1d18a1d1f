// Package access by file name: directory lookup, then an entry copy.
#include "package/PackageAccess.h"

#include "package/ExeExt.h"
#include "package/PackageDirectory.h"

namespace leafbook {

namespace {
int32_t Lookup(const TExeExtReader& reader, const std::string& name) {
  return LookupDirectory(reader.ReadEntryText(0), name);
}
}  // namespace

int32_t PackageFileIndex(const std::string& name, const std::string& packageFile) {
  try {
    TExeExtReader reader(packageFile);
    return Lookup(reader, name);
  } catch (...) {
    return 0;
  }
}

void PackageReadFile(const std::string& name, TStream& stream, const std::string& packageFile) {
  try {
    TExeExtReader reader(packageFile);
    if (int32_t index = Lookup(reader, name); index != 0) {
      reader.ReadEntry(index, stream);
    }
  } catch (...) {
  }
}

std::unique_ptr<TMemoryStream> PackageFileStream(const std::string& name,
                                                 const std::string& packageFile) {
  try {
    TExeExtReader reader(packageFile);
    if (int32_t index = Lookup(reader, name); index != 0) {
      auto stream = std::make_unique<TMemoryStream>();
      reader.ReadEntry(index, *stream);
      return stream;
    }
  } catch (...) {
  }
  return nullptr;
}

}  // namespace leafbook
