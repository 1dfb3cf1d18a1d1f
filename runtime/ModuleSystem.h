// The thin layer between the module loader and the system: image memory,
// libraries, procedure addresses, the instruction cache and the module's entry
// point. The loader reaches the system only through it, so tests can watch the
// order of calls or place an image where they choose.
#pragma once

#include <windows.h>

#include <cstdint>

namespace leafbook {

class TModuleSystem {
 public:
  virtual ~TModuleSystem() = default;

  // SizeOfImage bytes, readable, writable and executable, at an address the
  // system chooses; nullptr when the system refuses.
  virtual void* AllocateImage(uint32_t size);
  virtual void ReleaseImage(void* image);
  // nullptr when the library cannot be loaded.
  virtual HMODULE LoadModule(const char* name);
  // nameOrOrdinal below 0x10000 is an ordinal.
  virtual void* FindProcedure(HMODULE module, const char* nameOrOrdinal);
  virtual void UnloadModule(HMODULE module);
  virtual void FlushCode(void* image, uint32_t size);
  // Calls a DllMain-style entry point (standard call, three 32-bit arguments).
  virtual void CallEntryPoint(void* entry, void* image, uint32_t reason);
};

// The one layer that calls the real system functions.
TModuleSystem& SystemModuleLayer();

}  // namespace leafbook
