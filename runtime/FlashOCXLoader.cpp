// The replacement table of the runtime's imports.
#include "runtime/FlashOCXLoader.h"

#include <string>
#include <vector>

#include "runtime/Replacements.h"

namespace leafbook {
namespace {

struct TReplacement {
  const char* name;
  void* routine;
};

template <class F>
void* Routine(F* function) {
  return reinterpret_cast<void*>(function);
}

const TReplacement kReplacements[] = {
    {"CreateURLMoniker", Routine(&replacements::CreateURLMoniker)},
    {"RegisterClassExA", Routine(&replacements::RegisterClassExA)},
    {"RegisterClassA", Routine(&replacements::RegisterClassA)},
    {"RegisterClassExW", Routine(&replacements::RegisterClassExW)},
    {"RegisterClassW", Routine(&replacements::RegisterClassW)},
    {"CreateWindowExA", Routine(&replacements::CreateWindowExA)},
    {"CreateWindowExW", Routine(&replacements::CreateWindowExW)},
    {"LoadCursorA", Routine(&replacements::LoadCursorA)},
    {"LoadMenuA", Routine(&replacements::LoadMenuA)},
    {"waveOutWrite", Routine(&replacements::waveOutWrite)},
    {"waveOutOpen", Routine(&replacements::waveOutOpen)},
    {"waveOutClose", Routine(&replacements::waveOutClose)},
    {"FlushInstructionCache", Routine(&replacements::FlushInstructionCache)},
    {"CreateFileA", Routine(&replacements::CreateFileA)},
    {"VirtualAlloc", Routine(&replacements::VirtualAlloc)},
    {"ReadFile", Routine(&replacements::ReadFile)},
    {"CloseHandle", Routine(&replacements::CloseHandle)},
    {"GetFileSize", Routine(&replacements::GetFileSize)},
    {"GetFileSizeEx", Routine(&replacements::GetFileSizeEx)},
    {"SetFilePointer", Routine(&replacements::SetFilePointer)},
    {"SetFilePointerEx", Routine(&replacements::SetFilePointerEx)},
    {"CreateFileW", Routine(&replacements::CreateFileW)},
    {"GetProcAddress", Routine(&replacements::GetProcAddress)},
};

}  // namespace

void* TFlashOCXLoader::GetImportReplacement(const char*, const char* nameOrOrdinal) {
  if (reinterpret_cast<uintptr_t>(nameOrOrdinal) < 0x10000) {
    return nullptr;
  }
  for (const TReplacement& replacement : kReplacements) {
    if (::lstrcmpA(nameOrOrdinal, replacement.name) == 0) {
      return replacement.routine;
    }
  }
  return nullptr;
}

std::vector<std::string> TFlashOCXLoader::ReplacedNames() {
  std::vector<std::string> names;
  for (const TReplacement& replacement : kReplacements) {
    names.emplace_back(replacement.name);
  }
  return names;
}

}  // namespace leafbook
