// 64-bit images, as the 64-bit test build maps them: their headers, their
// 8-byte import entries and 64-bit relocations, and the refusal of an image
// of the other width.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "runtime/DLLLoader.h"
#include "runtime/ImageMapping.h"

namespace leafbook::testing {
namespace {

using TBytes = std::vector<uint8_t>;

TBytes FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return TBytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

TBytes Module() {
  return FileBytes(std::string(MINIPLAYER_MODULE_DIR) + "/miniplayer.ocx");
}

TEST(WideImage, HeadersImportsAndRelocationsOfA64BitModule) {
  const TBytes file = Module();
  ASSERT_FALSE(file.empty());
  const TImageHeaders headers = ReadImageHeaders(file);
  EXPECT_TRUE(headers.Wide);
  EXPECT_GT(headers.ImageBase, 0xFFFFFFFFu);  // mingw-w64 puts 64-bit DLLs above 4 GiB
  EXPECT_NE(headers.Exception.Size, 0u);

  const uint64_t base = headers.ImageBase;
  TBytes at(headers.SizeOfImage), moved(headers.SizeOfImage);
  const auto imports = PrepareImage(file, headers, at, base);
  PrepareImage(file, headers, moved, base + 0x10000);
  bool createFile = false;
  for (const TImportLibrary& library : imports) {
    for (const TImportThunk& thunk : library.Thunks) {
      createFile = createFile || thunk.Name == "CreateFileW";
    }
  }
  EXPECT_TRUE(createFile);

  // Every 64-bit fixup moved by exactly the difference of the bases.
  TImageView view(at.data(), at.size());
  TImageView movedView(moved.data(), moved.size());
  int fixups = 0;
  for (uint64_t block = headers.Relocation.Address;
       block < uint64_t{headers.Relocation.Address} + headers.Relocation.Size;) {
    const uint32_t page = view.U32(block, "block");
    const uint32_t size = view.U32(block + 4, "block");
    for (uint64_t entry = block + 8; entry < block + size; entry += 2) {
      const uint16_t value = view.U16(entry, "entry");
      if (value >> 12 == 10) {
        const uint64_t target = uint64_t{page} + (value & 0xFFF);
        EXPECT_EQ(movedView.U64(target, "fixup") - view.U64(target, "fixup"), 0x10000u);
        ++fixups;
      }
    }
    block += size;
  }
  EXPECT_GT(fixups, 100);
}

TEST(WideImage, AModuleOfTheOtherWidthIsRefused) {
  const TBytes file = FileBytes(std::string(LEAFBOOK_FIXTURE_DIR) + "/fx_reloc.dll");
  if (file.empty()) {
    GTEST_SKIP() << "fixture DLLs were not built";
  }
  TMemoryStream stream;
  stream.WriteBuffer(file.data(), static_cast<int32_t>(file.size()));
  TDLLLoader loader;
  try {
    loader.LoadFromStream(stream);
    ADD_FAILURE() << "a 32-bit module was mapped into a 64-bit process";
  } catch (const EBadImage& error) {
    EXPECT_NE(std::string(error.what()).find("32-bit module in a 64-bit process"),
              std::string::npos);
  }
  EXPECT_EQ(loader.ModuleBase(), nullptr);
}

}  // namespace
}  // namespace leafbook::testing
