// The unit's start-up steps, its shutdown steps and the working-set timer.
#include "runtime/RuntimeUnit.h"

#include "content/UrlMon.h"
#include "framework/base/Exceptions.h"
#include "runtime/FlashOCXCodeProvider.h"

namespace leafbook {
namespace {

TRuntimeUnitState gState;

// All six floating-point exceptions masked, 64-bit precision, rounding to
// nearest: what the runtime's code expects of the process.
void SetFloatingPointControlWord() {
#if defined(__i386__)
  const uint16_t controlWord = 0x133F;
  __asm__ volatile("fldcw %0" : : "m"(controlWord));
#endif
}

}  // namespace

TRuntimeUnitState& RuntimeUnit() {
  return gState;
}

TContentManager* ContentManager() {
  return gState.contentManager.get();
}

void SetSoundSettings(bool enabled, int32_t volume) {
  gState.soundEnabled = enabled;
  gState.volume = volume;
}

TUnitStartup::TUnitStartup() {
  // A second start-up would replace the objects the first one's users hold.
  if (gState.contentManager != nullptr) {
    throw Exception("the runtime unit is started already");
  }
  try {
    SetFloatingPointControlWord();
    UseInstalledRuntime();
    gState.windowClassNames = std::make_unique<TMapString2String>();
    gState.contentManager = std::make_unique<TContentManager>();
    gState.soundEnabled = true;
    gState.soundLock = std::make_unique<TCriticalSection>();
    gState.contentManager->SetGlobalOnLoadExternalResourceEx(nullptr);
    BindUrlMon();
    gState.volume = 100;
    gState.waveFormats = std::make_unique<TMapCardinal2Cardinal>();
    gState.savedCursors = std::make_unique<TSavedCursors>();
    // A timer runs from its creation on.
    gState.workingSetTimer = std::make_unique<TTimer>(10000, &TUnitStartup::TrimWorkingSet);
  } catch (...) {
    Shutdown();
    throw;
  }
}

TUnitStartup::~TUnitStartup() {
  Shutdown();
}

void TUnitStartup::Shutdown() {
  FreeRuntimeCodeProvider();
  gState.windowClassNames.reset();
  gState.contentManager.reset();
  gState.soundLock.reset();
  UnbindUrlMon();
  gState.waveFormats.reset();
  // The cursors built from modules' resources stay until the process ends:
  // windows of other code may still show them.
  gState.savedCursors.reset();
  gState.workingSetTimer.reset();
}

void TUnitStartup::TrimWorkingSet() {
  using TSetProcessWorkingSetSize = BOOL(WINAPI*)(HANDLE, SIZE_T, SIZE_T);
  auto trim = reinterpret_cast<TSetProcessWorkingSetSize>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "SetProcessWorkingSetSize")));
  if (trim != nullptr) {
    trim(::GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
  }
}

}  // namespace leafbook
