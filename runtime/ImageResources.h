// The resource tree of a laid-out module image (type, name, language): its
// check at load time, the lookup of one resource and the product version held
// in a version resource. The system's resource functions know nothing of an
// image mapped by the loader, so these read the tree straight from memory.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "runtime/ImageView.h"

namespace leafbook {

// Checks that every directory, entry, name string, data entry and resource
// data of the tree lies inside the image, that the tree has the three levels
// of the format, and that no directory is reached twice (which also rules out
// cycles). A resource directory address of 0 means no resources. EBadImage if not.
void CheckResourceTree(TImageView image, uint32_t resourceAddress);

// A resource name: an integer identifier, or a string compared by Equals with
// the stored UTF-16 name.
struct TResourceName {
  bool IsId = true;
  uint16_t Id = 0;
  std::function<bool(const std::u16string&)> Equals;
};

struct TResourceData {
  uint32_t Address = 0;  // image offset of the resource's bytes
  uint32_t Size = 0;
};

// The first match at each level in stored order: type by integer identifier,
// name as given, language by the low 16 bits of language. nullopt when a level
// has no match. Never raises: a damaged tree finds nothing.
std::optional<TResourceData> FindResourceData(TImageView image, uint32_t resourceAddress,
                                              uint16_t type, const TResourceName& name,
                                              uint32_t language);

// The packed product version of a version resource's fixed file information:
// ((major * 256 + minor) * 256 + build) * 256 + revision, 32-bit wrapping.
// 0 when the record does not fit inside the resource.
uint32_t ProductVersionFromResource(TImageView image, const TResourceData& data);

}  // namespace leafbook
