// Which monitor full screen takes: the choice over a table of desktops of one,
// two and three monitors, and the system's own list of this machine.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/gui/Monitors.h"

namespace leafbook {
namespace {

std::string Text(const RECT& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
         std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

constexpr RECT kPrimary{0, 0, 1920, 1080};
constexpr RECT kRight{1920, 0, 3200, 1024};  // a smaller one right of the primary
constexpr RECT kLeft{-1280, -200, 0, 824};   // left of the primary, higher up
constexpr RECT kAbove{0, -1080, 1920, 0};    // above the primary
constexpr RECT kTwin{1920, 0, 3840, 1080};   // as big as the primary, right of it

struct TCase {
  const char* what;
  RECT window;
  std::vector<RECT> monitors;
  RECT expected;
};

TEST(MonitorForWindow, TakesTheMonitorHoldingMostOfTheWindow) {
  const std::vector<TCase> cases = {
      {"one monitor, window inside", {193, 223, 793, 673}, {kPrimary}, kPrimary},
      {"one monitor, window partly off it", {-300, -100, 300, 400}, {kPrimary}, kPrimary},
      {"one monitor, window far off it", {5000, 5000, 5600, 5450}, {kPrimary}, kPrimary},
      {"window on the second monitor", {2000, 100, 2600, 550}, {kPrimary, kRight}, kRight},
      {"second monitor listed first", {2000, 100, 2600, 550}, {kRight, kPrimary}, kRight},
      {"window on the primary of two", {100, 100, 700, 550}, {kPrimary, kRight}, kPrimary},
      {"spanning two, most on the second", {1700, 100, 2300, 550}, {kPrimary, kRight}, kRight},
      {"spanning two, most on the primary", {1500, 100, 2000, 550}, {kPrimary, kRight}, kPrimary},
      {"monitor left of the primary (negative coordinates)",
       {-1000, -150, -400, 300},
       {kPrimary, kLeft},
       kLeft},
      {"spanning left and primary, most on the left",
       {-500, 0, 100, 450},
       {kPrimary, kLeft},
       kLeft},
      {"monitor above the primary", {100, -900, 700, -450}, {kPrimary, kAbove}, kAbove},
      {"three monitors, window on the right one",
       {2500, 500, 3000, 900},
       {kLeft, kPrimary, kRight},
       kRight},
      {"touching an edge only is on none: the nearest",
       {3200, 100, 3800, 550},
       {kPrimary, kRight},
       kRight},
      {"on none: the nearest, left", {-2000, 0, -1500, 400}, {kPrimary, kRight, kLeft}, kLeft},
      {"on none: the nearest, below the gap",
       {1000, 1100, 1500, 1500},
       {kRight, kPrimary},
       kPrimary},
      {"in the gap below the second, nearest is the second",
       {2400, 1030, 2800, 1500},
       {kPrimary, kRight},
       kRight},
      {"an empty window inside the second", {2100, 200, 2100, 200}, {kPrimary, kRight}, kRight},
      {"equal halves on equal monitors: the primary",
       {1620, 0, 2220, 450},
       {kTwin, kPrimary},
       kPrimary},
      {"equally near on none: the primary", {1820, 1180, 2020, 1380}, {kTwin, kPrimary}, kPrimary},
      {"equal halves, primary not among them: the first listed",
       {-300, -500, 300, -100},
       {kAbove, RECT{-1920, -1080, 0, 0}, kPrimary},
       kAbove},
      {"no monitors listed: the primary", {2000, 100, 2600, 550}, {}, kPrimary},
  };
  for (const TCase& c : cases) {
    const RECT chosen = MonitorForWindow(c.window, c.monitors, kPrimary);
    EXPECT_TRUE(chosen == c.expected)
        << c.what << ": got " << Text(chosen) << ", expected " << Text(c.expected);
  }
}

TEST(MonitorForWindow, ThisMachinesListHoldsThePrimaryMonitor) {
  const std::vector<RECT> monitors = MonitorRects();
  ASSERT_FALSE(monitors.empty());
  const RECT primary = PrimaryMonitorRect();
  EXPECT_EQ(primary.right, ::GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(primary.bottom, ::GetSystemMetrics(SM_CYSCREEN));
  bool listed = false;
  for (const RECT& monitor : monitors) {
    listed = listed || monitor == primary;
  }
  EXPECT_TRUE(listed) << "the primary monitor " << Text(primary) << " is not listed";
  // A window in the middle of the primary monitor belongs to it.
  const RECT middle{primary.right / 4, primary.bottom / 4, primary.right / 2, primary.bottom / 2};
  EXPECT_TRUE(MonitorForWindow(middle, monitors, primary) == primary);
}

}  // namespace
}  // namespace leafbook
