// The process-wide objects the import replacements and the content side
// share. The program builds them at start and frees them at its end, in its
// own order (app/ProgramUnit.h); here they are only kept and offered.
#pragma once

#include <cstdint>
#include <memory>

#include "content/ContentManager.h"
#include "content/Maps.h"
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
  // The program sets these once at start and never changes them.
  bool soundEnabled = true;
  int32_t volume = 100;
};

// The state; its members are null outside start-up and shutdown.
TRuntimeUnitState& RuntimeUnit();
// The process's content manager, or null before start-up.
TContentManager* ContentManager();

// Sound settings other than the program's fixed ones (enabled, 100 %), for
// tests of the scaling of wave-out buffers.
void SetSoundSettings(bool enabled, int32_t volume);

}  // namespace leafbook
