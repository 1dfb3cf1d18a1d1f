// One page of generated code, rewritten on each call (a 32-bit x86 module).
#include "miniplayer/CompiledCode.h"

#include <windows.h>

#include <cstring>

namespace leafbook::miniplayer {

namespace {
void* codePage = nullptr;
}

int32_t CompiledConstant(int32_t value) {
  if (codePage == nullptr) {
    codePage = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
    if (codePage == nullptr) {
      return value;
    }
  }
  unsigned char code[6] = {0xB8, 0, 0, 0, 0, 0xC3};  // mov eax, imm32; ret
  std::memcpy(code + 1, &value, sizeof value);
  std::memcpy(codePage, code, sizeof code);
  FlushInstructionCache(GetCurrentProcess(), codePage, sizeof code);
  return reinterpret_cast<int32_t (*)()>(codePage)();
}

void ReleaseCompiledCode() {
  if (codePage != nullptr) {
    VirtualFree(codePage, 0, MEM_RELEASE);
    codePage = nullptr;
  }
}

}  // namespace leafbook::miniplayer
