// Resource and version queries over any mapped module image, given by its base
// address. The system's resource functions do not know an image mapped by
// TDLLLoader, so these read its resource tree directly. They never raise.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

namespace leafbook {

// type is an integer identifier; name is an integer identifier (a value below
// 0x10000) or a string compared case-sensitively with the stored name
// converted to ANSI. language is matched on its low 16 bits.
bool FindImageResourceForLanguage(const void* base, uint16_t type, const char* name,
                                  uint32_t language, const void*& data, uint32_t& size);

// The languages FindImageResource tries, in order: the thread's, the system
// default, the user default, neutral, U.S. English.
std::array<uint32_t, 5> ImageResourceLanguages();

// FindImageResourceForLanguage for each of ImageResourceLanguages() in turn.
bool FindImageResource(const void* base, uint16_t type, const char* name, const void*& data,
                       uint32_t& size);

// The packed product version of the version resource (type 16, name 1): one
// byte each for major, minor, build and revision when each is below 256.
// 0 when the image has none.
uint32_t GetImageProductVersion(const void* base);

}  // namespace leafbook
