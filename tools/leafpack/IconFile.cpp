// Icon files from outside: the .ico directory (ICONDIR and its entries) and
// the PNG signature and IHDR chunk are checked before anything is taken.
#include "tools/leafpack/IconFile.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>

#include "framework/base/Exceptions.h"
#include "tools/leafpack/PeImage.h"

namespace leafbook::leafpack {

namespace {

constexpr uint64_t kIconDirSize = 6;
constexpr uint64_t kIconDirEntrySize = 16;
constexpr uint64_t kGroupEntrySize = 14;
constexpr uint64_t kLargestIconFile = 64u << 20;
constexpr std::array<uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr std::array<uint8_t, 4> kHeaderChunk = {'I', 'H', 'D', 'R'};

[[noreturn]] void Bad(const std::string& fileName, const std::string& why) {
  throw Exception("icon " + fileName + ": " + why);
}

uint32_t BigEndian32(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) << 24 |
         static_cast<uint32_t>(bytes[offset + 1]) << 16 |
         static_cast<uint32_t>(bytes[offset + 2]) << 8 | bytes[offset + 3];
}

std::string Extension(const std::string& fileName) {
  std::string extension = std::filesystem::path(fileName).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return extension;
}

std::vector<uint8_t> ReadFile(const std::string& fileName) {
  std::ifstream in(std::filesystem::path(fileName), std::ios::binary);
  if (!in) {
    Bad(fileName, "cannot be opened");
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > kLargestIconFile) {
    Bad(fileName, "cannot be read or is too large");
  }
  in.seekg(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
    Bad(fileName, "cannot be read");
  }
  return bytes;
}

}  // namespace

std::vector<TIconImage> ParseIco(std::span<const uint8_t> bytes, const std::string& fileName) {
  if (bytes.size() < kIconDirSize || Get16(bytes, 0) != 0 || Get16(bytes, 2) != 1) {
    Bad(fileName, "not an .ico file (no icon directory)");
  }
  const uint16_t count = Get16(bytes, 4);
  if (count == 0) {
    Bad(fileName, "the icon holds no images");
  }
  if (kIconDirSize + kIconDirEntrySize * count > bytes.size()) {
    Bad(fileName, "the icon directory is cut short");
  }
  std::vector<TIconImage> images;
  for (uint16_t i = 0; i < count; ++i) {
    const uint64_t entry = kIconDirSize + kIconDirEntrySize * i;
    const uint64_t size = Get32(bytes, entry + 8);
    const uint64_t offset = Get32(bytes, entry + 12);
    if (size == 0 || offset > bytes.size() || size > bytes.size() - offset) {
      Bad(fileName, "image " + std::to_string(i + 1) + " lies outside the file");
    }
    TIconImage image;
    image.Width = bytes[entry];
    image.Height = bytes[entry + 1];
    image.ColorCount = bytes[entry + 2];
    image.Planes = Get16(bytes, entry + 4);
    image.BitCount = Get16(bytes, entry + 6);
    const auto data = bytes.subspan(offset, size);
    image.Data.assign(data.begin(), data.end());
    images.push_back(std::move(image));
  }
  return images;
}

TIconImage ParsePngIcon(std::span<const uint8_t> bytes, const std::string& fileName) {
  // Signature, IHDR's length and type, then its width and height.
  if (bytes.size() < 24 || !std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin())) {
    Bad(fileName, "not a PNG image (no PNG signature)");
  }
  if (BigEndian32(bytes, 8) != 13 ||
      !std::equal(kHeaderChunk.begin(), kHeaderChunk.end(), bytes.begin() + 12)) {
    Bad(fileName, "a PNG image without its IHDR header");
  }
  const uint32_t width = BigEndian32(bytes, 16);
  const uint32_t height = BigEndian32(bytes, 20);
  if (width == 0 || height == 0 || width > 256 || height > 256) {
    Bad(fileName, std::to_string(width) + "x" + std::to_string(height) +
                      ": an icon image is at most 256x256 pixels");
  }
  TIconImage image;
  image.Width = static_cast<uint8_t>(width);  // 256 is written as 0
  image.Height = static_cast<uint8_t>(height);
  image.Data.assign(bytes.begin(), bytes.end());
  return image;
}

std::vector<TIconImage> ReadIconFiles(const std::vector<std::string>& fileNames) {
  std::vector<TIconImage> images;
  bool ico = false;
  for (const std::string& fileName : fileNames) {
    const std::string extension = Extension(fileName);
    if (extension != ".ico" && extension != ".png") {
      Bad(fileName, "an icon is given as one .ico file or as .png files");
    }
    if (ico || (extension == ".ico" && !images.empty())) {
      Bad(fileName, "one .ico file makes the icon alone, without other .ico or .png files");
    }
    const std::vector<uint8_t> bytes = ReadFile(fileName);
    if (extension == ".ico") {
      ico = true;
      images = ParseIco(bytes, fileName);
    } else {
      images.push_back(ParsePngIcon(bytes, fileName));
    }
  }
  if (images.size() > 0xffff) {
    throw Exception("too many icon images");
  }
  return images;
}

std::vector<uint8_t> GroupIconResource(const std::vector<TIconImage>& images, uint16_t firstId) {
  std::vector<uint8_t> group(kIconDirSize + kGroupEntrySize * images.size(), 0);
  Put16(group, 2, 1);
  Put16(group, 4, static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const TIconImage& image = images[i];
    const uint64_t entry = kIconDirSize + kGroupEntrySize * i;
    group[entry] = image.Width;
    group[entry + 1] = image.Height;
    group[entry + 2] = image.ColorCount;
    Put16(group, entry + 4, image.Planes);
    Put16(group, entry + 6, image.BitCount);
    Put32(group, entry + 8, static_cast<uint32_t>(image.Data.size()));
    Put16(group, entry + 12, static_cast<uint16_t>(firstId + i));
  }
  return group;
}

}  // namespace leafbook::leafpack
