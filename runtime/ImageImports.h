// The import table of a laid-out module image, read into a plan: the libraries
// in descriptor order and, for each, its imports with the slot that receives
// each address. Reading the whole plan first means a damaged table is refused
// before any library is loaded.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/ImageLayout.h"

namespace leafbook {

struct TImportThunk {
  uint32_t Slot = 0;  // image offset of the import address table slot
  bool ByOrdinal = false;
  uint16_t Ordinal = 0;
  std::string Name;  // the imported name, when not by ordinal
};

struct TImportLibrary {
  std::string Name;  // as stored in the image
  uint32_t TimeDateStamp = 0;
  std::vector<TImportThunk> Thunks;
};

// Walks the descriptors until one whose Name is 0. Names come from the
// FirstThunk array when TimeDateStamp is 0, otherwise (a bound module) from
// OriginalFirstThunk; the slots are always those of FirstThunk. EBadImage when a
// descriptor, thunk array, slot or name lies outside the image or is unterminated.
// An import directory address of 0 means no imports.
std::vector<TImportLibrary> ReadImports(TImageView image, const TImageHeaders& headers);

// The file-name part of a library name: any directory part removed.
std::string LibraryFileName(const std::string& name);

}  // namespace leafbook
