// File names between the command line and the system. leafpack holds every
// name it is given as UTF-8 and makes paths from it as UTF-8 on every system:
// on Windows, libstdc++ reads a path made from a narrow string with the C
// library's multibyte conversion (neither UTF-8 nor reliably the ANSI code
// page), so narrow strings never become paths directly here.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace leafbook::leafpack {

std::filesystem::path PathFromUtf8(const std::string& utf8);
// For messages and package names.
std::string Utf8FromPath(const std::filesystem::path& path);

// A narrow name of an existing file for code that opens files by narrow name
// (the package reader): its name in the ANSI code page on Windows, or its
// short name when that code page cannot carry it. Raises Exception when the
// file has no such name.
std::string NarrowFileName(const std::filesystem::path& path);

// The whole file; raises Exception naming it when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

}  // namespace leafbook::leafpack
