// libFuzzer harness for the book package reader: every input is taken as a
// file that ends in a package (trailer, sizes, digest, directory) and put
// through the check and the lookups the viewer makes, and measured as a
// program image with bytes after it; the same bytes are also read as a
// directory text alone. Refusal by the package's own exceptions is
// the expected outcome for most inputs; any other fault is a finding.
#include <cstdint>
#include <string_view>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "package/OpenPackage.h"
#include "package/PackageDirectory.h"

namespace {

void Explore(const uint8_t* data, size_t size) {
  using namespace leafbook;
  TMemoryStream file;
  if (size > 0) {
    file.WriteBuffer(data, static_cast<int32_t>(size));
  }
  // Where the image ends decides whether a file without a package is a bare
  // viewer or a damaged book: the same bytes as a PE image.
  BytesAfterImage(file);
  TPackageIndex index(file);
  for (std::string_view name : {"book.swf", "ExeConfig.xml", "flash.ocx", "", "PAGES/1.PNG"}) {
    const int32_t found = index.Find(name);
    if (found > 0 && found < index.EntryCount()) {
      index.EntryOffset(found);
      index.EntrySize(found);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (16u << 20)) {
    return 0;  // a package is read from its end: size adds nothing but time
  }
  try {
    Explore(data, size);
  } catch (const leafbook::Exception&) {
  }
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  leafbook::LookupDirectory(text, "book.swf");
  leafbook::DirectoryValueToIndex(text);
  return 0;
}
