// libFuzzer harness for the stand-in runtime's movie reader: every input is a
// movie file as a book would carry it (compressed or not). Refusal by
// EDamagedMovie is the expected outcome for most inputs; any other fault is a
// finding.
#include <cstdint>
#include <string_view>

#include "miniplayer/SwfMovie.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace leafbook::miniplayer;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (!LooksLikeMovie(bytes)) {
    return 0;
  }
  try {
    auto movie = ParseMovie(bytes);
    movie->FrameOfLabel("page2");
  } catch (const EDamagedMovie&) {
  }
  return 0;
}
