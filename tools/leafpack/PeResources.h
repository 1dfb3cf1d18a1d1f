// A PE image's resources as a flat list (type, name, language, data), read
// from the resource directory tree of outside bytes and written back as a
// new tree for a section at a given address.
#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/leafpack/PeImage.h"

namespace leafbook::leafpack {

enum TResourceType : uint16_t {
  RtIcon = 3,
  RtGroupIcon = 14,
  RtVersion = 16,
  RtManifest = 24,
};

// A type or name: a string when Text is not empty, else a number.
struct TResourceName {
  std::u16string Text;
  uint16_t Id = 0;

  bool IsString() const { return !Text.empty(); }
  // The order of a directory's entries: strings first, then numbers.
  std::strong_ordering operator<=>(const TResourceName& other) const;
  bool operator==(const TResourceName& other) const = default;
};

struct TResource {
  TResourceName Type;
  TResourceName Name;
  uint16_t Language = 0;
  uint32_t CodePage = 0;
  std::vector<uint8_t> Data;
};

// Every resource of the image, in the tree's order; none when it has no
// resource directory. Raises Exception when the tree is damaged.
std::vector<TResource> ReadResources(const TPeImage& image, std::span<const uint8_t> bytes);

// A resource directory tree holding resources, for a section at sectionRva.
// Two resources of one type, name and language: the later one is kept.
std::vector<uint8_t> WriteResources(const std::vector<TResource>& resources, uint32_t sectionRva);

}  // namespace leafbook::leafpack
