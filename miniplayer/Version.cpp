// The module's version, set for each build variant by MINIPLAYER_VERSION_*.
#include "miniplayer/Module.h"

#ifndef MINIPLAYER_VERSION_MAJOR
#error "MINIPLAYER_VERSION_MAJOR and its companions come from the build"
#endif

namespace leafbook::miniplayer {

TModuleVersion ModuleVersion() {
  return {MINIPLAYER_VERSION_MAJOR, MINIPLAYER_VERSION_MINOR, MINIPLAYER_VERSION_BUILD,
          MINIPLAYER_VERSION_REVISION};
}

}  // namespace leafbook::miniplayer
