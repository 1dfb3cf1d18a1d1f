// libFuzzer harness for the book package reader: every input is taken as a
// file that ends in a package (trailer, sizes, digest, block digest table,
// directory) and put through the check and the lookups the viewer makes, each
// entry read through the table's block checks when it has one, and measured
// as a program image with bytes after it; the same bytes are also read as a
// directory text alone, and as a block digest table alone (the covered length
// its first four bytes, the table the rest), which must parse back to exactly
// the bytes it came from. Refusal by the package's own exceptions is the
// expected outcome for most inputs; any other fault is a finding.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "package/BlockDigests.h"
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
  // Every entry as the viewer reads it: a block that fails damages the
  // package, and each read after it must refuse as well.
  const auto readAt = [&file](int64_t at, uint8_t* buffer, int64_t count) {
    file.SetPosition(at);
    file.ReadBuffer(buffer, static_cast<int32_t>(count));
  };
  std::vector<uint8_t> bytes;
  for (int32_t i = 0; i < index.EntryCount(); ++i) {
    bytes.resize(static_cast<size_t>(index.EntrySize(i)));
    try {
      index.ReadChecked(readAt, i, index.EntryOffset(i), bytes.data(),
                        static_cast<int64_t>(bytes.size()));
    } catch (const EPackageBlockDigest&) {
      if (!index.Damaged()) {
        std::abort();  // a failed block that leaves the package readable
      }
    }
  }
}

void ParseAsTable(const uint8_t* data, size_t size) {
  using namespace leafbook;
  if (size < 4) {
    return;
  }
  const int64_t covered = static_cast<int64_t>(data[0]) | (static_cast<int64_t>(data[1]) << 8) |
                          (static_cast<int64_t>(data[2]) << 16) |
                          (static_cast<int64_t>(data[3]) << 24);
  const std::string_view bytes(reinterpret_cast<const char*>(data + 4), size - 4);
  TBlockTable table;
  if (ParseBlockTable(bytes, covered, table) == TBlockTableKind::Table &&
      (table.Covered != covered || BlockTableBytes(table) != bytes)) {
    std::abort();  // a table accepted for what it does not say
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
  try {
    ParseAsTable(data, size);
  } catch (const leafbook::EPackageBlockDigest&) {
  }
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  leafbook::LookupDirectory(text, "book.swf");
  leafbook::DirectoryValueToIndex(text);
  return 0;
}
