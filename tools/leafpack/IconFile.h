// The book's icon from the files given for it: one .ico file, or PNG images
// combined into one icon; and the group icon resource that lists the images.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace leafbook::leafpack {

// One image of an icon with the fields its directory entry gives it.
struct TIconImage {
  uint8_t Width = 0;  // 0 stands for 256
  uint8_t Height = 0;
  uint8_t ColorCount = 0;
  uint16_t Planes = 1;
  uint16_t BitCount = 32;
  std::vector<uint8_t> Data;
};

// Raise Exception naming the file when the bytes are not what they should be.
std::vector<TIconImage> ParseIco(std::span<const uint8_t> bytes, const std::string& fileName);
TIconImage ParsePngIcon(std::span<const uint8_t> bytes, const std::string& fileName);

// The images of the files, read from disk; Exception naming the file when one
// cannot be read or parsed, or when the files are not one .ico or only PNGs.
std::vector<TIconImage> ReadIconFiles(const std::vector<std::string>& fileNames);

// A group icon resource listing images as icon resources firstId, firstId + 1, ...
std::vector<uint8_t> GroupIconResource(const std::vector<TIconImage>& images, uint16_t firstId);

}  // namespace leafbook::leafpack
