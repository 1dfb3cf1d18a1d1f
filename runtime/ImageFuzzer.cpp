// libFuzzer harness for the module image code: every input is taken as a
// module file and put through what the loader does before its first system
// call (header read, layout, relocation, table checks), then through the
// lookups the viewer makes on a mapped image. Refusal by EBadImage is the
// expected outcome for most inputs; any other fault is a finding.
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/ImageExports.h"
#include "runtime/ImageMapping.h"
#include "runtime/ImageResources.h"

namespace {

// Large images are legal but would only make the fuzzer slow.
constexpr uint32_t MaxImageSize = 16u << 20;

void Explore(const uint8_t* data, size_t size) {
  using namespace leafbook;
  std::span<const uint8_t> file(data, size);
  TImageHeaders headers = ReadImageHeaders(file);
  if (headers.SizeOfImage > MaxImageSize) {
    return;
  }
  std::vector<uint8_t> image(headers.SizeOfImage);
  // A base that gives a non-zero delta for most images.
  PrepareImage(file, headers, image, 0x00A50000);

  TImageView view(image.data(), image.size());
  FindExportAddress(view, headers.Export.Address,
                    [](const char* name) { return std::strcmp(name, "DllGetClassObject") == 0; });
  for (uint16_t type : {1, 4, 12, 16}) {
    TResourceName name;
    name.Id = 1;
    if (auto found = FindResourceData(view, headers.Resource.Address, type, name, 0x409)) {
      ProductVersionFromResource(view, *found);
    }
    TResourceName named;
    named.IsId = false;
    named.Equals = [](const std::u16string& text) { return text == u"CURSOR"; };
    FindResourceData(view, headers.Resource.Address, type, named, 0);
  }
  auto headersAgain = ReadLaidOutHeaders(image.data());
  (void)headersAgain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    Explore(data, size);
  } catch (const leafbook::EBadImage&) {
  }
  return 0;
}
