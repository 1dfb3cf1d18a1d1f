// Which monitor a window belongs to, and the system's list of monitors.
#include "framework/gui/Monitors.h"

#include <algorithm>
#include <cstdint>

namespace leafbook {

namespace {

int64_t OverlapArea(const RECT& a, const RECT& b) {
  const int64_t width = int64_t{std::min(a.right, b.right)} - std::max(a.left, b.left);
  const int64_t height = int64_t{std::min(a.bottom, b.bottom)} - std::max(a.top, b.top);
  return width > 0 && height > 0 ? width * height : 0;
}

// The square of the shortest distance between the two rectangles' points; 0
// when they touch or overlap.
int64_t GapSquared(const RECT& a, const RECT& b) {
  const int64_t dx = std::max<int64_t>({0, int64_t{b.left} - a.right, int64_t{a.left} - b.right});
  const int64_t dy = std::max<int64_t>({0, int64_t{b.top} - a.bottom, int64_t{a.top} - b.bottom});
  return dx * dx + dy * dy;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (::GetMonitorInfoW(monitor, &info)) {
    reinterpret_cast<std::vector<RECT>*>(data)->push_back(info.rcMonitor);
  }
  return TRUE;
}

}  // namespace

RECT MonitorForWindow(const RECT& window, std::span<const RECT> monitors, const RECT& primary) {
  const RECT* best = nullptr;
  int64_t bestArea = 0;
  int64_t bestGap = 0;
  for (const RECT& monitor : monitors) {
    const int64_t area = OverlapArea(window, monitor);
    const int64_t gap = area > 0 ? 0 : GapSquared(window, monitor);
    const bool better = !best || area > bestArea || (area == bestArea && gap < bestGap);
    const bool tiedPrimary = best && area == bestArea && gap == bestGap &&
                             SameRect(monitor, primary) && !SameRect(*best, primary);
    if (better || tiedPrimary) {
      best = &monitor;
      bestArea = area;
      bestGap = gap;
    }
  }
  return best ? *best : primary;
}

std::vector<RECT> MonitorRects() {
  std::vector<RECT> monitors;
  ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

RECT PrimaryMonitorRect() {
  return RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

RECT MonitorOfWindow(HWND window) {
  RECT rect{};
  if (::IsIconic(window)) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ::GetWindowPlacement(window, &placement);
    rect = placement.rcNormalPosition;
  } else {
    ::GetWindowRect(window, &rect);
  }
  const std::vector<RECT> monitors = MonitorRects();
  return MonitorForWindow(rect, monitors, PrimaryMonitorRect());
}

}  // namespace leafbook
