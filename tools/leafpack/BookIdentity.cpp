// Placeholder until the resource section writer lands.
#include "tools/leafpack/BookIdentity.h"

#include "framework/base/Exceptions.h"

namespace leafbook::leafpack {

std::optional<TVersionNumber> ParseVersionNumber(std::string_view) {
  return std::nullopt;
}

std::vector<uint8_t> ApplyBookIdentity(std::vector<uint8_t>, const TBookIdentity&) {
  throw Exception("the book's icon and version details are not supported yet");
}

bool UpdatePeChecksum(TStream&) {
  return false;
}

}  // namespace leafbook::leafpack
