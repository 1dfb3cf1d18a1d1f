// Runtime code providers and the process-wide reference to the one in use.
#include "runtime/FlashOCXCodeProvider.h"

#include "framework/base/ComPtr.h"
#include "framework/base/Handle.h"
#include "framework/base/Resources.h"
#include "runtime/ImageQueries.h"

namespace leafbook {
namespace {

// {D27CDB6E-AE6D-11cf-96B8-444553540000}
const CLSID kRuntimeClass = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID kClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr char kInstalledKey[] = "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";

// Set by each provider as it is constructed; the owner below holds it once
// its constructor has finished.
TFlashOCXCodeProviderBasedOnStream* gRuntimeCodeProvider = nullptr;
std::unique_ptr<TFlashOCXCodeProviderBasedOnStream> gProviderOwner;

}  // namespace

TFlashOCXCodeProviderBasedOnStream::TFlashOCXCodeProviderBasedOnStream() {
  gRuntimeCodeProvider = this;
}

TFlashOCXCodeProviderBasedOnStream::TFlashOCXCodeProviderBasedOnStream(TStream* stream)
    : TFlashOCXCodeProviderBasedOnStream() {
  if (stream != nullptr) {
    LoadModule(*stream);
  }
}

TFlashOCXCodeProviderBasedOnStream::~TFlashOCXCodeProviderBasedOnStream() {
  // The module stops while the loader is still the provider's: its detach
  // code may ask for functions through the replaced GetProcAddress, which
  // finds the replacements through the loader. Nothing here raises.
  if (loader_) {
    loader_->Unload();
  }
  loader_.reset();
  if (gRuntimeCodeProvider == this) {
    gRuntimeCodeProvider = nullptr;
  }
}

void TFlashOCXCodeProviderBasedOnStream::LoadModule(TStream& stream) {
  try {
    // Stored before the load: the GetProcAddress replacement reaches the
    // loader while the module's entry point runs.
    loader_ = std::make_unique<TFlashOCXLoader>();
    loader_->LoadFromStream(stream);
    classObjectEntry_ =
        reinterpret_cast<TClassObjectEntry>(loader_->FindExport("DllGetClassObject"));
    version_ = GetImageProductVersion(loader_->ModuleBase());
  } catch (...) {
    // A module that cannot be mapped leaves a provider without a module.
  }
}

HRESULT TFlashOCXCodeProviderBasedOnStream::CreateInstance(REFIID iid, void** out) {
  if (classObjectEntry_ == nullptr) {
    return E_FAIL;
  }
  TComPtr<IClassFactory> factory;
  if (classObjectEntry_(kRuntimeClass, kClassFactory, factory.PutVoid()) != S_OK || !factory) {
    return E_FAIL;
  }
  // The caller learns from out whether an object was made.
  factory->CreateInstance(nullptr, iid, out);
  return S_OK;
}

TFlashOCXCodeProviderBasedOnSystemInstalledOCX::TFlashOCXCodeProviderBasedOnSystemInstalledOCX() {
  TOwnedRegKey key;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kInstalledKey, 0, KEY_QUERY_VALUE, key.Put()) !=
      ERROR_SUCCESS) {
    return;
  }
  // One byte more than the value may fill, so that the path always ends.
  char path[262] = {};
  DWORD size = 261;
  if (::RegQueryValueExA(key.Get(), "", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) !=
      ERROR_SUCCESS) {
    return;
  }
  TWin32FileHandle file(
      ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) {
    return;
  }
  THandleStream stream(std::move(file));
  LoadModule(stream);
}

TFlashOCXCodeProviderBasedOnStream* RuntimeCodeProvider() {
  return gRuntimeCodeProvider;
}

const void* RuntimeCodeProviderVariable() {
  return &gRuntimeCodeProvider;
}

void FreeRuntimeCodeProvider() {
  gProviderOwner.reset();
  gRuntimeCodeProvider = nullptr;
}

void UseInstalledRuntime() {
  FreeRuntimeCodeProvider();
  gProviderOwner = std::make_unique<TFlashOCXCodeProviderBasedOnSystemInstalledOCX>();
}

void SetRuntimeCodeProvider(std::unique_ptr<TFlashOCXCodeProviderBasedOnStream> provider) {
  FreeRuntimeCodeProvider();
  gRuntimeCodeProvider = provider.get();
  gProviderOwner = std::move(provider);
}

void SetRuntimeModuleStream(TStream* stream) {
  FreeRuntimeCodeProvider();
  gProviderOwner = std::make_unique<TFlashOCXCodeProviderBasedOnStream>(stream);
}

}  // namespace leafbook
