// Export directory check and lookup by name.
#include "runtime/ImageExports.h"

namespace leafbook {

namespace {
constexpr uint32_t DirectorySize = 40;
constexpr uint32_t NumberOfFunctions = 20;
constexpr uint32_t NumberOfNames = 24;
constexpr uint32_t AddressOfFunctions = 28;
constexpr uint32_t AddressOfNames = 32;
constexpr uint32_t AddressOfNameOrdinals = 36;

// The directory's counts and table addresses, as stored.
struct TExportTables {
  uint32_t functions;
  uint32_t names;
  uint32_t functionTable;
  uint32_t nameTable;
  uint32_t ordinalTable;
};

TExportTables ReadExportTables(TImageView image, uint32_t exportAddress) {
  auto field = [&](uint32_t offset) {
    return image.U32(uint64_t{exportAddress} + offset, "export directory");
  };
  return {field(NumberOfFunctions), field(NumberOfNames), field(AddressOfFunctions),
          field(AddressOfNames), field(AddressOfNameOrdinals)};
}
}  // namespace

void CheckExportDirectory(TImageView image, uint32_t exportAddress) {
  if (exportAddress == 0) {
    return;
  }
  image.Require(exportAddress, DirectorySize, "export directory");
  const auto [functions, names, functionTable, nameTable, ordinalTable] =
      ReadExportTables(image, exportAddress);
  image.Require(functionTable, uint64_t{functions} * 4, "export address table");
  image.Require(nameTable, uint64_t{names} * 4, "export name table");
  image.Require(ordinalTable, uint64_t{names} * 2, "export ordinal table");
  // Sound names have bytes of their own; shared ones could multiply the work.
  uint64_t nameBytesLeft = image.Size();
  for (uint64_t i = 0; i < names; ++i) {
    std::string_view name =
        image.CString(image.U32(nameTable + i * 4, "export name table"), "export name");
    if (name.size() + 1 > nameBytesLeft) {
      throw EBadImage("export names overlap");
    }
    nameBytesLeft -= name.size() + 1;
    uint16_t index = image.U16(ordinalTable + i * 2, "export ordinal table");
    if (index >= functions) {
      throw EBadImage("export ordinal beyond the export address table");
    }
    uint32_t function = image.U32(functionTable + uint64_t{index} * 4, "export address table");
    if (function >= image.Size()) {
      throw EBadImage("exported function outside the image");
    }
  }
}

std::optional<uint32_t> FindExportAddress(TImageView image, uint32_t exportAddress,
                                          const std::function<bool(const char*)>& equals) {
  if (exportAddress == 0) {
    return std::nullopt;
  }
  try {
    const TExportTables tables = ReadExportTables(image, exportAddress);
    for (uint64_t i = 0; i < tables.names; ++i) {
      std::string_view name =
          image.CString(image.U32(tables.nameTable + i * 4, "export name table"), "export name");
      if (equals(name.data())) {
        uint16_t index = image.U16(tables.ordinalTable + i * 2, "export ordinal table");
        return image.U32(tables.functionTable + uint64_t{index} * 4, "export address table");
      }
    }
  } catch (const EBadImage&) {
  }
  return std::nullopt;
}

}  // namespace leafbook
