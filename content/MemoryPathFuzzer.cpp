// libFuzzer harness for the in-memory path parser: every input, read as
// UTF-16 code units, is a path the runtime might open. A path that parses
// must format back to the same folder's path.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "content/MemoryPath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  }
  uint32_t folder = 0;
  std::wstring relative;
  if (leafbook::ParseMemoryPath(text, folder, relative)) {
    uint32_t again = 0;
    std::wstring none;
    if (!leafbook::ParseMemoryPath(leafbook::FormatMemoryPath(static_cast<int32_t>(folder)), again,
                                   none) ||
        again != folder) {
      std::abort();  // a folder id that does not survive its own path
    }
  }
  return 0;
}
