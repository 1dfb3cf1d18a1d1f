// Everything the loader does to a module image that needs no system call:
// the layout of the file into image memory, the base relocation, and the check
// of the import, export and resource tables. The loader calls it between
// allocating the image and loading the imported libraries; the native tests
// and the fuzzing harness call it on a plain buffer.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/ImageImports.h"
#include "runtime/ImageLayout.h"

namespace leafbook {

// Lays out file (whose headers were read into headers) into image, which
// holds SizeOfImage bytes and will live at base, relocates it, and checks its
// tables. Gives the import plan. EBadImage when anything does not fit.
std::vector<TImportLibrary> PrepareImage(std::span<const uint8_t> file,
                                         const TImageHeaders& headers, std::span<uint8_t> image,
                                         uint64_t base);

}  // namespace leafbook
