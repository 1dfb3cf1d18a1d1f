// The real system calls behind the module loader.
#include "runtime/ModuleSystem.h"

namespace leafbook {

void* TModuleSystem::AllocateImage(uint32_t size) {
  return ::VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_EXECUTE_READWRITE);
}

void TModuleSystem::ReleaseImage(void* image) {
  ::VirtualFree(image, 0, MEM_RELEASE);
}

HMODULE TModuleSystem::LoadModule(const char* name) {
  return ::LoadLibraryA(name);
}

void* TModuleSystem::FindProcedure(HMODULE module, const char* nameOrOrdinal) {
  return reinterpret_cast<void*>(::GetProcAddress(module, nameOrOrdinal));
}

void TModuleSystem::UnloadModule(HMODULE module) {
  ::FreeLibrary(module);
}

void TModuleSystem::FlushCode(void* image, uint32_t size) {
  ::FlushInstructionCache(::GetCurrentProcess(), image, size);
}

void TModuleSystem::CallEntryPoint(void* entry, void* image, uint32_t reason) {
  using TEntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
  reinterpret_cast<TEntryPoint>(entry)(static_cast<HINSTANCE>(image), reason, nullptr);
}

TModuleSystem& SystemModuleLayer() {
  static TModuleSystem layer;
  return layer;
}

}  // namespace leafbook
