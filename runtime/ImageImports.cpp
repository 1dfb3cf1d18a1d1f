// Reading of the import descriptors, thunk arrays and hint/name records.
#include "runtime/ImageImports.h"

namespace leafbook {

namespace {
constexpr uint32_t DescriptorSize = 20;
constexpr uint32_t OrdinalFlag = 0x80000000u;
constexpr uint64_t OrdinalFlag64 = 0x8000000000000000u;
}  // namespace

std::vector<TImportLibrary> ReadImports(TImageView image, const TImageHeaders& headers) {
  std::vector<TImportLibrary> libraries;
  if (headers.Import.Address == 0) {
    return libraries;
  }
  // In a sound image every slot and every name has bytes of its own; arrays or
  // names shared between descriptors could otherwise multiply the work.
  const uint32_t thunkSize = headers.Wide ? 8 : 4;
  uint64_t slotsLeft = image.Size() / thunkSize;
  uint64_t nameBytesLeft = image.Size();
  auto takeName = [&nameBytesLeft](std::string_view text) {
    if (text.size() + 1 > nameBytesLeft) {
      throw EBadImage("import names overlap");
    }
    nameBytesLeft -= text.size() + 1;
    return std::string(text);
  };
  for (uint64_t at = headers.Import.Address;; at += DescriptorSize) {
    image.Require(at, DescriptorSize, "import descriptor");
    uint32_t originalFirstThunk = image.U32(at, "import descriptor");
    uint32_t timeDateStamp = image.U32(at + 4, "import descriptor");
    uint32_t name = image.U32(at + 12, "import descriptor");
    uint32_t firstThunk = image.U32(at + 16, "import descriptor");
    if (name == 0) {
      break;
    }
    TImportLibrary library;
    library.Name = takeName(image.CString(name, "import library name"));
    library.TimeDateStamp = timeDateStamp;
    uint64_t names = timeDateStamp == 0 ? firstThunk : originalFirstThunk;
    for (uint64_t i = 0;; ++i) {
      const uint64_t entry = headers.Wide ? image.U64(names + i * thunkSize, "import thunk array")
                                          : image.U32(names + i * thunkSize, "import thunk array");
      if (entry == 0) {
        break;
      }
      if (slotsLeft-- == 0) {
        throw EBadImage("import thunk arrays overlap");
      }
      TImportThunk thunk;
      thunk.Slot = firstThunk + static_cast<uint32_t>(i * thunkSize);
      image.Require(uint64_t{firstThunk} + i * thunkSize, thunkSize, "import address table slot");
      if (entry & (headers.Wide ? OrdinalFlag64 : OrdinalFlag)) {
        thunk.ByOrdinal = true;
        thunk.Ordinal = static_cast<uint16_t>(entry & 0xFFFF);
      } else {
        // A name's address is 31 bits in either width.
        thunk.Name = takeName(image.CString((entry & 0x7FFFFFFF) + 2, "imported function name"));
      }
      library.Thunks.push_back(std::move(thunk));
    }
    libraries.push_back(std::move(library));
  }
  return libraries;
}

std::string LibraryFileName(const std::string& name) {
  size_t cut = name.find_last_of("\\/:");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

}  // namespace leafbook
