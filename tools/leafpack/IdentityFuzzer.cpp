// libFuzzer harness for the book identity's parsers of outside bytes: every
// input is taken as a viewer image whose resources are read and rebuilt with
// version details (the result must read back), as an .ico file, as a PNG icon
// image and as a file whose checksum is set. Refusal by Exception is the
// expected outcome for most inputs; any other fault is a finding.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "tools/leafpack/BookIdentity.h"
#include "tools/leafpack/IconFile.h"
#include "tools/leafpack/PeImage.h"
#include "tools/leafpack/PeResources.h"

namespace {

using namespace leafbook::leafpack;

void Rebuild(std::span<const uint8_t> bytes) {
  TBookIdentity identity;
  identity.ProductName = "Book";
  identity.OriginalFilename = "book.exe";
  const std::vector<uint8_t> book =
      ApplyBookIdentity(std::vector<uint8_t>(bytes.begin(), bytes.end()), identity);
  try {
    // What leafpack writes must be what it reads: a refusal here is a finding.
    const TPeImage image(book);
    ReadResources(image, book);
    if (PeChecksum(book) != Get32(book, image.ChecksumOffset())) {
      std::abort();
    }
  } catch (const leafbook::Exception&) {
    std::abort();
  }
}

template <class TParse>
void Refused(TParse parse) {
  try {
    parse();
  } catch (const leafbook::Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (4u << 20)) {
    return 0;
  }
  const std::span<const uint8_t> bytes(data, size);
  Refused([&] { Rebuild(bytes); });
  Refused([&] { ParseIco(bytes, "fuzz.ico"); });
  Refused([&] { ParsePngIcon(bytes, "fuzz.png"); });
  leafbook::TMemoryStream file;
  if (size > 0) {
    file.WriteBuffer(data, static_cast<int32_t>(size));
  }
  UpdatePeChecksum(file);
  return 0;
}
