// PNG pictures of one colour for the tests that feed the stand-in runtime
// images, made with the system's imaging component.
#pragma once

#include <cstdint>
#include <string>

namespace leafbook::testing {

// width x height pixels of one colour, given as 0xAARRGGBB.
std::string Png(int width, int height, uint32_t bgra);

}  // namespace leafbook::testing
