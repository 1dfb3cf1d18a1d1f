// The process-wide state of the runtime machinery.
#include "runtime/RuntimeUnit.h"

namespace leafbook {
namespace {

TRuntimeUnitState gState;

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

}  // namespace leafbook
