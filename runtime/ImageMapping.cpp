// Layout, relocation and table checks of a module image, in the loader's order.
#include "runtime/ImageMapping.h"

#include "runtime/ImageExports.h"
#include "runtime/ImageResources.h"

namespace leafbook {

std::vector<TImportLibrary> PrepareImage(std::span<const uint8_t> file,
                                         const TImageHeaders& headers, std::span<uint8_t> image,
                                         uint64_t base) {
  LayOutImage(file, headers, image);
  RelocateImage(image, headers, base);
  // The tables are read after the fixups, as the module will see them.
  TImageView view(image.data(), headers.SizeOfImage);
  std::vector<TImportLibrary> imports = ReadImports(view, headers);
  CheckExportDirectory(view, headers.Export.Address);
  CheckResourceTree(view, headers.Resource.Address);
  return imports;
}

}  // namespace leafbook
