// Page images of the layers: JPEG, PNG (or anything the system's imaging
// component reads) decoded to 32-bit top-down pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace leafbook::miniplayer {

struct TImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // BGRA, rows top-down
};

// None when the bytes are no image the system can decode.
std::optional<TImage> DecodeImage(const std::string& bytes);

}  // namespace leafbook::miniplayer
