// The synthetic images follow a linker's layout: headers in the first 0x400
// bytes, sections at file alignment 0x200 and section alignment 0x1000.
#include "tests/leafpack/IdentityFixture.h"

#include <algorithm>

#include "tools/leafpack/IconFile.h"
#include "tools/leafpack/PeImage.h"
#include "tools/leafpack/VersionInfo.h"

namespace leafbook::testing {

namespace {

using leafpack::AlignUp;
using leafpack::Put16;
using leafpack::Put32;
using leafpack::TResource;
using leafpack::TResourceName;

constexpr uint32_t kTextRaw = 0x400;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;

std::vector<uint8_t> ToBytes(const std::string& text) {
  return {text.begin(), text.end()};
}

void Section(std::vector<uint8_t>& image, uint64_t at, const char* name, uint32_t virtualSize,
             uint32_t rva, uint32_t rawSize, uint32_t raw, uint32_t characteristics) {
  std::copy(name, name + std::char_traits<char>::length(name), image.begin() + at);
  Put32(image, at + 8, virtualSize);
  Put32(image, at + 12, rva);
  Put32(image, at + 16, rawSize);
  Put32(image, at + 20, raw);
  Put32(image, at + 36, characteristics);
}

std::string BigEndian(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xffffffff;
  for (char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int k = 0; k < 8; ++k) {
      crc = crc & 1 ? 0xedb88320 ^ (crc >> 1) : crc >> 1;
    }
  }
  return ~crc;
}

std::string Chunk(const std::string& type, const std::string& data) {
  return BigEndian(static_cast<uint32_t>(data.size())) + type + data +
         BigEndian(Crc32(type + data));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string Stored(const std::string& raw) {
  std::string out = "\x78\x01";
  uint32_t a = 1;
  uint32_t b = 0;
  for (char c : raw) {
    a = (a + static_cast<uint8_t>(c)) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const auto length = static_cast<uint16_t>(std::min<size_t>(raw.size() - at, 65535));
    out += static_cast<char>(at + length >= raw.size() ? 1 : 0);
    out += {static_cast<char>(length), static_cast<char>(length >> 8), static_cast<char>(~length),
            static_cast<char>(~length >> 8)};
    out += raw.substr(at, length);
  }
  return out + BigEndian(b << 16 | a);
}

}  // namespace

uint64_t OptionalHeaderOffset() {
  return kPeOffset + 24;
}

uint64_t SectionTableOffset(bool pe32Plus) {
  return OptionalHeaderOffset() + (pe32Plus ? 240 : 224);
}

uint64_t DataDirectoryOffset(bool pe32Plus, uint32_t index) {
  return OptionalHeaderOffset() + (pe32Plus ? 112 : 96) + 8 * index;
}

std::vector<TResource> TSyntheticPe::DefaultResources() {
  const std::string dib = IcoImage();
  leafpack::TIconImage image;
  image.Width = image.Height = 16;
  image.Data = ToBytes(dib);
  leafpack::TBookIdentity viewer;
  viewer.ProductName = "Leafbook";
  viewer.OriginalFilename = "leafbook.exe";
  const std::string manifest =
      "<?xml version=\"1.0\"?><assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
      "manifestVersion=\"1.0\"/>\n";
  return {
      {{u"", leafpack::RtGroupIcon}, {u"", 1}, 0x409, 0, leafpack::GroupIconResource({image}, 1)},
      {{u"", leafpack::RtIcon}, {u"", 1}, 0x409, 0, ToBytes(dib)},
      {{u"", leafpack::RtVersion}, {u"", 1}, 0x409, 0, leafpack::VersionResource(viewer)},
      {{u"", leafpack::RtManifest}, {u"", 1}, 0x409, 0, ToBytes(manifest)},
      {{u"BOOKDATA", 0}, {u"FIRST", 0}, 0, 1252, ToBytes("hello")},
  };
}

std::vector<uint8_t> TSyntheticPe::Bytes() const {
  const std::vector<uint8_t> tree = leafpack::WriteResources(Resources, kResourceRva);
  const auto resourceRaw = static_cast<uint32_t>(AlignUp(tree.size(), kFileAlignment));
  const uint32_t relocRaw = kResourceRaw + resourceRaw;
  const auto relocRva =
      static_cast<uint32_t>(AlignUp(kResourceRva + tree.size(), kSectionAlignment));
  std::vector<uint8_t> image(relocRaw + kFileAlignment, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3c, kPeOffset);
  image[kPeOffset] = 'P';
  image[kPeOffset + 1] = 'E';
  const uint64_t file = kPeOffset + 4;
  Put16(image, file, Pe32Plus ? 0x8664 : 0x14c);
  Put16(image, file + 2, 3);
  if (!Trailer.empty()) {
    Put32(image, file + 8, static_cast<uint32_t>(image.size()));
  }
  Put16(image, file + 16, Pe32Plus ? 240 : 224);
  Put16(image, file + 18, Pe32Plus ? 0x22 : 0x102);
  const uint64_t optional = OptionalHeaderOffset();
  Put16(image, optional, Pe32Plus ? 0x20b : 0x10b);
  Put32(image, optional + 4, kFileAlignment);
  Put32(image, optional + 8, resourceRaw + kFileAlignment);
  Put32(image, optional + 16, 0x1000);
  Put32(image, optional + 20, 0x1000);
  Put32(image, optional + 24, Pe32Plus ? 0x40000000 : kResourceRva);
  Put32(image, optional + 28, Pe32Plus ? 1 : 0x400000);
  Put32(image, optional + 32, kSectionAlignment);
  Put32(image, optional + 36, kFileAlignment);
  Put16(image, optional + 40, 6);
  Put16(image, optional + 48, 6);
  Put32(image, optional + 56, relocRva + kSectionAlignment);
  Put32(image, optional + 60, kTextRaw);
  Put32(image, optional + 64, 0x12345678);  // stale: the book's must replace it
  Put16(image, optional + 68, 2);
  const uint64_t sizes = optional + 72;
  for (int i = 0; i < 4; ++i) {
    Put32(image, sizes + (Pe32Plus ? 8 : 4) * i, i % 2 == 0 ? 0x100000 : 0x1000);
  }
  Put32(image, optional + (Pe32Plus ? 108 : 92), 16);
  Put32(image, DataDirectoryOffset(Pe32Plus, 2), kResourceRva);
  Put32(image, DataDirectoryOffset(Pe32Plus, 2) + 4, static_cast<uint32_t>(tree.size()));
  Put32(image, DataDirectoryOffset(Pe32Plus, 5), relocRva);
  Put32(image, DataDirectoryOffset(Pe32Plus, 5) + 4, 12);
  const uint64_t table = SectionTableOffset(Pe32Plus);
  Section(image, table, ".text", 0x10, 0x1000, kFileAlignment, kTextRaw, 0x60000020);
  Section(image, table + 40, ".rsrc", static_cast<uint32_t>(tree.size()), kResourceRva, resourceRaw,
          kResourceRaw, 0x40000040);
  Section(image, table + 80, ".reloc", 12, relocRva, kFileAlignment, relocRaw, 0x42000040);
  image[kTextRaw] = 0xc3;
  std::copy(tree.begin(), tree.end(), image.begin() + kResourceRaw);
  Put32(image, relocRaw, 0x1000);
  Put32(image, relocRaw + 4, 12);
  image.insert(image.end(), Trailer.begin(), Trailer.end());
  return image;
}

std::string PngBytes(uint32_t width, uint32_t height) {
  std::string rows;
  for (uint32_t y = 0; y < height; ++y) {
    rows += '\0';  // no filter
    for (uint32_t x = 0; x < width; ++x) {
      rows += {'\x20', '\x80', '\x40', '\xff'};
    }
  }
  const std::string header =
      BigEndian(width) + BigEndian(height) + std::string("\x08\x06\0\0\0", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header) + Chunk("IDAT", Stored(rows)) +
         Chunk("IEND", "");
}

std::string IcoImage() {
  std::string dib(40 + 16 * 16 * 4 + 16 * 4, '\0');
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
      dib[at + i] = static_cast<char>(value >> (8 * i));
    }
  };
  put32(0, 40);
  put32(4, 16);
  put32(8, 32);  // the colour rows and the mask rows
  put32(12, 1 | 32 << 16);
  for (size_t at = 40; at < 40 + 16 * 16 * 4; at += 4) {
    put32(at, 0xff2080c0);
  }
  return dib;
}

std::string IcoBytes() {
  const std::string dib = IcoImage();
  std::string ico = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0};
  for (uint32_t value : {static_cast<uint32_t>(dib.size()), 22u}) {
    for (int i = 0; i < 4; ++i) {
      ico += static_cast<char>(value >> (8 * i));
    }
  }
  return ico + dib;
}

uint32_t ReferenceChecksum(const std::vector<uint8_t>& image, uint64_t checksumOffset) {
  uint64_t sum = 0;
  for (uint64_t at = 0; at < image.size(); at += 4) {
    if (at == checksumOffset) {
      continue;
    }
    uint32_t dword = 0;
    for (uint64_t i = 0; i < 4 && at + i < image.size(); ++i) {
      dword |= static_cast<uint32_t>(image[at + i]) << (8 * i);
    }
    sum = (sum & 0xffffffff) + dword + (sum >> 32);
    if (sum > 0xffffffff) {
      sum = (sum & 0xffffffff) + (sum >> 32);
    }
  }
  sum = (sum & 0xffff) + (sum >> 16);
  sum = sum + (sum >> 16);
  return static_cast<uint32_t>((sum & 0xffff) + image.size());
}

}  // namespace leafbook::testing
