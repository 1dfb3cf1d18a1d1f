// The version details Explorer shows for the book: a VS_VERSIONINFO resource
// built from the book's identity.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/leafpack/BookIdentity.h"

namespace leafbook::leafpack {

// UTF-16 of UTF-8 text; Exception when the text is not valid UTF-8.
std::u16string Utf8ToUtf16(std::string_view text);

// Given versions stand for each other when one is missing, else 1.0.0.0;
// FileDescription defaults to ProductName; InternalName is OriginalFilename
// without its extension; fields left empty are left out.
std::vector<uint8_t> VersionResource(const TBookIdentity& identity);

}  // namespace leafbook::leafpack
