// The stand-in runtime as the process's runtime.
#include "tests/flashhost/StandInRuntime.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "framework/base/AnsiText.h"
#include "runtime/FlashOCXCodeProvider.h"
#include "runtime/FlashOCXLoader.h"

namespace leafbook::testing {

namespace {

std::string ModulePath(const std::string& fileName) {
  return std::string(MINIPLAYER_MODULE_DIR) + "/" + fileName;
}

// The host's image queries read 32-bit images; the system reads any.
uint32_t FileProductVersion(const std::string& path) {
  const std::wstring file = AnsiToWide(path);
  std::vector<BYTE> data(::GetFileVersionInfoSizeW(file.c_str(), nullptr));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  if (data.empty() ||
      !::GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &size) || !info) {
    return 0;
  }
  return (HIWORD(info->dwProductVersionMS) << 24) | (LOWORD(info->dwProductVersionMS) << 16) |
         (HIWORD(info->dwProductVersionLS) << 8) | LOWORD(info->dwProductVersionLS);
}

// The module loaded by the system, its imports by name answered as the
// host's loader answers them.
class TSystemLoadedProvider final : public TFlashOCXCodeProviderBasedOnStream {
 public:
  explicit TSystemLoadedProvider(const std::string& path)
      : module_(::LoadLibraryW(AnsiToWide(path).c_str())) {
    if (!module_) {
      return;
    }
    RedirectImports();
    entry_ = reinterpret_cast<TEntry>(
        reinterpret_cast<void*>(::GetProcAddress(module_, "DllGetClassObject")));
    version_ = FileProductVersion(path);
  }
  ~TSystemLoadedProvider() override {
    if (module_) {
      ::FreeLibrary(module_);
    }
  }

  HRESULT CreateInstance(REFIID iid, void** out) override {
    *out = nullptr;
    // {D27CDB6E-AE6D-11cf-96B8-444553540000}
    static const CLSID runtimeClass = {
        0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
    IClassFactory* factory = nullptr;
    if (!entry_ ||
        entry_(runtimeClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
      return E_FAIL;
    }
    factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    return S_OK;
  }
  uint32_t GetVersion() const override { return version_; }
  bool Loaded() const { return entry_ != nullptr; }

 private:
  using TEntry = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

  void RedirectImports() {
    auto* base = reinterpret_cast<uint8_t*>(module_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    TFlashOCXLoader answers;
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress != 0 && library->Name != 0; ++library) {
      const DWORD namesAt =
          library->OriginalFirstThunk ? library->OriginalFirstThunk : library->FirstThunk;
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
          continue;
        }
        const auto* byName =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        void* routine =
            answers.GetImportReplacement(reinterpret_cast<const char*>(base + library->Name),
                                         reinterpret_cast<const char*>(byName->Name));
        if (!routine) {
          continue;
        }
        DWORD previous = 0;
        ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &previous);
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(routine);
        ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, previous, &previous);
      }
    }
  }

  HMODULE module_;
  TEntry entry_ = nullptr;
  uint32_t version_ = 0;
};

}  // namespace

bool UseStandInRuntime(const std::string& fileName) {
  if constexpr (sizeof(void*) == 4) {
    std::ifstream file(ModulePath(fileName), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    TMemoryStream stream;
    if (!bytes.empty()) {
      stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
    stream.SetPosition(0);
    SetRuntimeModuleStream(&stream);
    return RuntimeCodeProvider() && RuntimeCodeProvider()->HasModule();
  } else {
    auto provider = std::make_unique<TSystemLoadedProvider>(ModulePath(fileName));
    const bool loaded = provider->Loaded();
    SetRuntimeCodeProvider(std::move(provider));
    return loaded;
  }
}

}  // namespace leafbook::testing
