// The runtime code provider: the one object per process that owns the mapped
// movie runtime, creates runtime objects and tells the runtime's version. The
// module comes from a stream (the book's own copy) or from the file of the
// runtime installed on the machine, read and mapped the same way; the
// system's class registry is never asked to create the runtime.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <memory>

#include "framework/base/Streams.h"
#include "runtime/FlashOCXLoader.h"

namespace leafbook {

class TFlashOCXCodeProviderBasedOnStream {
 public:
  // Becomes the process-wide provider before anything else, so that calls the
  // module makes while it starts already find it. A null stream, or one that
  // does not hold a loadable module, gives a provider without a module.
  explicit TFlashOCXCodeProviderBasedOnStream(TStream* stream);
  virtual ~TFlashOCXCodeProviderBasedOnStream();
  TFlashOCXCodeProviderBasedOnStream(const TFlashOCXCodeProviderBasedOnStream&) = delete;
  TFlashOCXCodeProviderBasedOnStream& operator=(const TFlashOCXCodeProviderBasedOnStream&) = delete;

  // A new runtime object as iid: E_FAIL without a module or when the module
  // refuses a class factory; otherwise S_OK, out being null when the factory
  // could not make the object.
  virtual HRESULT CreateInstance(REFIID iid, void** out);
  // The module's packed product version; 0 without a module.
  virtual uint32_t GetVersion() const { return version_; }
  // The loader, also while the module's entry point runs; null when none.
  TFlashOCXLoader* Loader() const { return loader_.get(); }
  bool HasModule() const { return classObjectEntry_ != nullptr; }

 protected:
  // Registers as the process-wide provider, without a module yet.
  TFlashOCXCodeProviderBasedOnStream();
  // Maps the module from stream; every failure is swallowed and leaves the
  // provider with what it had got so far.
  void LoadModule(TStream& stream);

 private:
  using TClassObjectEntry = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  TClassObjectEntry classObjectEntry_ = nullptr;
  uint32_t version_ = 0;
  std::unique_ptr<TFlashOCXLoader> loader_;
};

class TFlashOCXCodeProviderBasedOnSystemInstalledOCX : public TFlashOCXCodeProviderBasedOnStream {
 public:
  // Maps the file named by the installed control's InprocServer32 key; a
  // missing key, value or file leaves a provider without a module.
  TFlashOCXCodeProviderBasedOnSystemInstalledOCX();
};

// The process-wide provider, or null.
TFlashOCXCodeProviderBasedOnStream* RuntimeCodeProvider();
// The address of the variable that holds it (the number in generated window
// class names).
const void* RuntimeCodeProviderVariable();
// Frees the process-wide provider, unloading its module.
void FreeRuntimeCodeProvider();
// Frees the current provider, then makes one for the installed runtime.
void UseInstalledRuntime();
// Frees the current provider, then makes provider (constructed while the old
// one still lived) the process-wide one.
void SetRuntimeCodeProvider(std::unique_ptr<TFlashOCXCodeProviderBasedOnStream> provider);
// Frees the current provider, then maps a module from stream (read wholly
// during the call) with a new one. A null, empty or damaged stream leaves a
// provider without a module.
void SetRuntimeModuleStream(TStream* stream);

}  // namespace leafbook
