// The desktop's monitors, and which of them a window belongs to: the one full
// screen covers.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

namespace leafbook {

// Of monitors (virtual-screen rectangles), the one that holds the largest part
// of window. A window on none of them belongs to the nearest one. Ties go to
// primary when it is one of the tied, otherwise to the first listed; no
// monitors at all give primary.
RECT MonitorForWindow(const RECT& window, std::span<const RECT> monitors, const RECT& primary);

// Every monitor's rectangle, as the system lists them.
std::vector<RECT> MonitorRects();
// The primary monitor: (0, 0) to the primary screen's size.
RECT PrimaryMonitorRect();
// The monitor that holds the largest part of window now; for a minimised
// window, of the rectangle it returns to.
RECT MonitorOfWindow(HWND window);

}  // namespace leafbook
