// The icon a module carries for its windows, loaded at the sizes the system
// shows a window's icons in, and handed to a window.
#pragma once

#include <windows.h>

#include "framework/base/Resources.h"

namespace leafbook {

// A window's big icon (title bar switcher, task bar) and small one (caption).
struct TWindowIcons {
  TOwnedIcon Big;
  TOwnedIcon Small;
};

// Icon group 1 of module (null: the program's file), otherwise its first icon
// group, at size x size pixels: the group's image nearest that size, scaled
// when none has it. Null when the module has no icon group.
TOwnedIcon LoadModuleIcon(HMODULE module, int size);
// The big (SM_CXICON) and small (SM_CXSMICON) icons of module.
TWindowIcons LoadModuleIcons(HMODULE module);
// Gives window icons' big and small icon (WM_SETICON); the window shows them
// only while icons lives. A null icon leaves that one of the window as it is.
void SetWindowIcons(HWND window, const TWindowIcons& icons);

}  // namespace leafbook
