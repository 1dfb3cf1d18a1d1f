// The export directory of a laid-out module image: its check at load time and
// the lookup of a named export.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "runtime/ImageView.h"

namespace leafbook {

// Checks that the export directory, its three arrays, every name and every
// named function's index and address lie inside the image. An export directory
// address of 0 means no exports. EBadImage if not.
void CheckExportDirectory(TImageView image, uint32_t exportAddress);

// The image offset of the first export whose name satisfies equals (names in
// stored order), or nullopt. Never raises: a damaged directory finds nothing.
std::optional<uint32_t> FindExportAddress(TImageView image, uint32_t exportAddress,
                                          const std::function<bool(const char*)>& equals);

}  // namespace leafbook
