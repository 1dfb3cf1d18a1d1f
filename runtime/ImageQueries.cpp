// Resource lookups and the product version, straight from a mapped image.
#include "runtime/ImageQueries.h"

#include <string>

#include "framework/base/AnsiText.h"
#include "runtime/ImageLayout.h"
#include "runtime/ImageResources.h"

namespace leafbook {

namespace {

constexpr uint16_t VersionType = 16;
constexpr uintptr_t IntegerNameLimit = 0x10000;

std::string ToAnsi(const std::u16string& text) {
  return WideToAnsi(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}

}  // namespace

bool FindImageResourceForLanguage(const void* base, uint16_t type, const char* name,
                                  uint32_t language, const void*& data, uint32_t& size) {
  const auto* image = static_cast<const uint8_t*>(base);
  auto headers = ReadLaidOutHeaders(image);
  if (!headers) {
    return false;
  }
  TResourceName resourceName;
  if (reinterpret_cast<uintptr_t>(name) < IntegerNameLimit) {
    resourceName.Id = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(name));
  } else {
    resourceName.IsId = false;
    resourceName.Equals = [name](const std::u16string& stored) {
      return ::lstrcmpA(ToAnsi(stored).c_str(), name) == 0;
    };
  }
  auto found = FindResourceData(TImageView(image, headers->SizeOfImage), headers->Resource.Address,
                                type, resourceName, language);
  if (!found) {
    return false;
  }
  data = image + found->Address;
  size = found->Size;
  return true;
}

std::array<uint32_t, 5> ImageResourceLanguages() {
  return {::GetThreadLocale(), ::GetSystemDefaultLCID(), ::GetUserDefaultLCID(), 0,
          MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)};
}

bool FindImageResource(const void* base, uint16_t type, const char* name, const void*& data,
                       uint32_t& size) {
  for (uint32_t language : ImageResourceLanguages()) {
    if (FindImageResourceForLanguage(base, type, name, language, data, size)) {
      return true;
    }
  }
  return false;
}

uint32_t GetImageProductVersion(const void* base) {
  const void* data = nullptr;
  uint32_t size = 0;
  if (!FindImageResource(base, VersionType, MAKEINTRESOURCEA(1), data, size)) {
    return 0;
  }
  const auto* image = static_cast<const uint8_t*>(base);
  auto headers = ReadLaidOutHeaders(image);
  if (!headers) {
    return 0;
  }
  TResourceData resource{static_cast<uint32_t>(static_cast<const uint8_t*>(data) - image), size};
  return ProductVersionFromResource(TImageView(image, headers->SizeOfImage), resource);
}

}  // namespace leafbook
