// The program's start-up steps, its shutdown steps and the working-set timer.
#include "app/ProgramUnit.h"

#include <cstdint>

#include "content/UrlMon.h"
#include "framework/base/Exceptions.h"
#include "runtime/FlashOCXCodeProvider.h"
#include "runtime/RuntimeUnit.h"

namespace leafbook {
namespace {

// All six floating-point exceptions masked, 64-bit precision, rounding to
// nearest: what the runtime's code expects of the process.
void SetFloatingPointControlWord() {
#if defined(__i386__)
  const uint16_t controlWord = 0x133F;
  __asm__ volatile("fldcw %0" : : "m"(controlWord));
#endif
}

}  // namespace

TProgramUnit::TProgramUnit() {
  TRuntimeUnitState& state = RuntimeUnit();
  // A second start-up would replace the objects the first one's users hold.
  if (state.contentManager != nullptr) {
    throw Exception("the runtime unit is started already");
  }
  try {
    SetFloatingPointControlWord();
    UseInstalledRuntime();
    state.windowClassNames = std::make_unique<TMapString2String>();
    state.contentManager = std::make_unique<TContentManager>();
    state.soundEnabled = true;
    state.soundLock = std::make_unique<TCriticalSection>();
    state.contentManager->SetGlobalOnLoadExternalResourceEx(nullptr);
    BindUrlMon();
    state.volume = 100;
    state.waveFormats = std::make_unique<TMapCardinal2Cardinal>();
    state.savedCursors = std::make_unique<TSavedCursors>();
    // A timer runs from its creation on.
    workingSetTimer_ = std::make_unique<TTimer>(10000, &TProgramUnit::TrimWorkingSet);
  } catch (...) {
    Shutdown();
    throw;
  }
}

TProgramUnit::~TProgramUnit() {
  Shutdown();
}

void TProgramUnit::Shutdown() {
  TRuntimeUnitState& state = RuntimeUnit();
  FreeRuntimeCodeProvider();
  state.windowClassNames.reset();
  state.contentManager.reset();
  state.soundLock.reset();
  UnbindUrlMon();
  state.waveFormats.reset();
  // The cursors built from modules' resources stay until the process ends:
  // windows of other code may still show them.
  state.savedCursors.reset();
  workingSetTimer_.reset();
}

void TProgramUnit::TrimWorkingSet() {
  using TSetProcessWorkingSetSize = BOOL(WINAPI*)(HANDLE, SIZE_T, SIZE_T);
  auto trim = reinterpret_cast<TSetProcessWorkingSetSize>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetProcessWorkingSetSize")));
  if (trim != nullptr) {
    trim(::GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
  }
}

}  // namespace leafbook
