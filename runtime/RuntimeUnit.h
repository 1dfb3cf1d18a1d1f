// The unit start-up and shutdown of the runtime machinery, and the
// process-wide objects the import replacements and the content side share.
//
// C++ gives static initialisers in different files no order, so the unit's
// start-up is not one of them: the program's entry constructs the one
// TUnitStartup before anything else and destroys it after everything else,
// which runs start-up before the program proper and shutdown after it, each
// step in dependency order.
#pragma once

#include <cstdint>
#include <memory>

#include "content/ContentManager.h"
#include "content/Maps.h"
#include "framework/gui/Application.h"
#include "framework/base/CriticalSection.h"
#include "runtime/SavedCursors.h"

namespace leafbook {

// What the replacements of the runtime's imports use. Each member exists from
// its start-up step until its shutdown step.
struct TRuntimeUnitState {
  std::unique_ptr<TMapString2String> windowClassNames;
  std::unique_ptr<TContentManager> contentManager;
  std::unique_ptr<TCriticalSection> soundLock;
  std::unique_ptr<TMapCardinal2Cardinal> waveFormats;
  std::unique_ptr<TSavedCursors> savedCursors;
  std::unique_ptr<TTimer> workingSetTimer;
  // The program sets these once at start and never changes them.
  bool soundEnabled = true;
  int32_t volume = 100;
};

// The state; its members are null outside start-up and shutdown.
TRuntimeUnitState& RuntimeUnit();
// The process's content manager, or null before start-up.
TContentManager* ContentManager();

class TUnitStartup {
 public:
  // Runs the start-up steps; when one raises (urlmon could not be bound), the
  // steps already done are undone and the exception passes on. Raises while
  // another TUnitStartup lives.
  TUnitStartup();
  ~TUnitStartup();
  TUnitStartup(const TUnitStartup&) = delete;
  TUnitStartup& operator=(const TUnitStartup&) = delete;

  // What the working-set timer does every 10 seconds: asks the system to trim
  // the process's working set.
  static void TrimWorkingSet();

 private:
  static void Shutdown();
};

// Sound settings other than the program's fixed ones (enabled, 100 %), for
// tests of the scaling of wave-out buffers.
void SetSoundSettings(bool enabled, int32_t volume);

}  // namespace leafbook
