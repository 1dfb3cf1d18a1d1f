// In-memory paths: every movie the host plays from a stream lives at an
// invented path "Z:\FromMemory\<marker>\<folder id>\<movie name>", and the
// movie's own requests carry that folder. These helpers make such paths and
// recognise the folder in any text that carries it. Portable: they only look
// at the characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace leafbook {

// The memory folder marker: 32 upper-case hexadecimal digits.
inline constexpr std::wstring_view kMemoryFolderMarker = L"46A10F369771449587DE913EFC0A258C";
// The one file name every in-memory movie has.
inline constexpr std::wstring_view kMemoryMovieName = L"E4ED7C01D28A43418DBF2CB92CC35E56.swf";
// Loaded before an in-memory path so that the runtime really reloads; it is
// the marker without its last digit, so it never parses as a memory path.
inline constexpr std::wstring_view kPlaceholderUrl = L"file://46A10F369771449587DE913EFC0A258";

// "Z:\FromMemory\%s\%d\%s" with the marker, folderId and the movie name.
std::wstring FormatMemoryPath(int32_t folderId);

// Finds the marker (exactly, case-sensitive) anywhere in text, with either
// separator, and splits what follows into the folder id and the path
// relative to the folder (with "/" separators, possibly empty). Anything may
// stand before the marker: a drive path and a "file:" URL parse alike. A
// folder id that is not a plain decimal number of at most 31 bits makes the
// text not parse. The outputs are touched only when it parses.
bool ParseMemoryPath(std::wstring_view text, uint32_t& folderId, std::wstring& relativePath);

}  // namespace leafbook
