// The stand-in runtime as the active object of its container: a click
// UI-activates it, and its one accelerator (Ctrl+Home) takes the book back to
// its first page.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/miniplayer/PlayerFixture.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::miniplayer::testing {
namespace {

using swf::TActions;
using swf::TSwfWriter;

// The Control key as GetKeyState sees it on this thread.
void HoldControl(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

TEST_F(MiniPlayer, AClickUIActivatesTheControlOnce) {
  HWND window = Activate();
  ASSERT_NE(window, nullptr);
  auto calls = [&](const char* name) {
    return std::count(site_.calls.begin(), site_.calls.end(), name);
  };
  EXPECT_EQ(calls("OnUIActivate"), 0);

  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  auto activated = std::find(site_.calls.begin(), site_.calls.end(), "OnUIActivate");
  ASSERT_NE(activated, site_.calls.end());
  // The frame hears of the active object after the site.
  EXPECT_NE(std::find(activated, site_.calls.end(), "SetActiveObject"), site_.calls.end());
  EXPECT_EQ(site_.frame.active,
            player_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject).Get());
  EXPECT_EQ(GetFocus(), window);

  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  EXPECT_EQ(calls("OnUIActivate"), 1);
  EXPECT_EQ(calls("SetActiveObject"), 1);

  EXPECT_EQ(player_->Close(OLECLOSE_NOSAVE), S_OK);
  EXPECT_EQ(site_.frame.active, nullptr);
  EXPECT_EQ(calls("OnUIDeactivate"), 1);
}

TEST_F(MiniPlayer, TranslateAcceleratorClaimsControlHomeAlone) {
  HWND window = Activate();
  TSwfWriter movie;
  movie.DoAction(TActions().Stop()).ShowFrame().ShowFrame().ShowFrame();
  ASSERT_TRUE(Play(Write("pages.swf", movie.Bytes()).wstring()));
  Call(dispatch_.Get(), L"Forward", {});
  Call(dispatch_.Get(), L"Forward", {});
  ASSERT_EQ(Number(L"CurrentFrame"), 2);

  struct TCase {
    UINT message;
    WPARAM key;
    bool control;
    HRESULT expected;
  };
  const TCase cases[] = {
      {WM_KEYDOWN, VK_HOME, false, S_FALSE},  {WM_KEYDOWN, VK_END, true, S_FALSE},
      {WM_KEYUP, VK_HOME, true, S_FALSE},     {WM_SYSKEYDOWN, VK_HOME, true, S_FALSE},
      {WM_KEYDOWN, VK_RIGHT, false, S_FALSE}, {WM_CHAR, VK_HOME, true, S_FALSE},
      {WM_KEYDOWN, VK_HOME, true, S_OK},
  };
  auto active = player_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.message) + " " + std::to_string(c.key));
    HoldControl(c.control);
    MSG message{window, c.message, c.key, 0, 0, {0, 0}};
    EXPECT_EQ(active->TranslateAccelerator(&message), c.expected);
    EXPECT_EQ(Number(L"CurrentFrame"), c.expected == S_OK ? 0 : 2);
  }
  HoldControl(false);
  EXPECT_TRUE(TraceHas("translate accelerator 0x0100 36 S_OK\n")) << ReadTrace(trace_.wstring());
  EXPECT_TRUE(TraceHas("translate accelerator 0x0100 36 S_FALSE\n"));
  EXPECT_TRUE(TraceHas("translate accelerator 0x0101 36 S_FALSE\n"));
}

}  // namespace
}  // namespace leafbook::miniplayer::testing
