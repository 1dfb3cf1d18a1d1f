// Windowed controls and forms: dispatch, subclassing, alignment, inherited
// colour and font, mouse and key events, window state and bounds.
#include <gtest/gtest.h>

#include <algorithm>

#include "framework/gui/Application.h"
#include "framework/gui/Controls.h"
#include "framework/gui/Forms.h"

namespace leafbook {
namespace {

class TRecordingControl : public TWinControl {
 public:
  using TWinControl::TWinControl;
  std::vector<UINT> seen;
  int colorChanges = 0;
  int fontChanges = 0;

 protected:
  void WndProc(TMessage& message) override {
    if (message.Msg >= WM_APP) {
      seen.push_back(message.Msg);
      message.Result = static_cast<LRESULT>(message.WParam + 1);
      return;
    }
    TWinControl::WndProc(message);
  }
  void ColorChanged() override { ++colorChanges; }
  void FontChanged() override { ++fontChanges; }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.SetBounds(50, 60, 400, 300);
    form_.Show();
  }
  TApplication application_;
  TForm form_;
};

TEST_F(ControlsTest, MessagesReachTheControlsHandlers) {
  TRecordingControl control(&form_);
  control.SetParent(&form_);
  EXPECT_EQ(::SendMessageW(control.Handle(), WM_APP + 1, 41, 0), 42);
  EXPECT_EQ(control.Perform(WM_APP + 2, 9), 10);
  EXPECT_EQ(control.seen, (std::vector<UINT>{WM_APP + 1, WM_APP + 2}));
  EXPECT_EQ(control.Owner(), &form_);
  EXPECT_EQ(::GetParent(control.Handle()), form_.Handle());
}

LRESULT CALLBACK ForeignProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_APP + 7) {
    return 700;
  }
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

TEST_F(ControlsTest, ASubclassedWindowPassesWhatItDoesNotHandleToItsOwnProcedure) {
  WNDCLASSW foreign{};
  foreign.lpfnWndProc = ForeignProc;
  foreign.hInstance = ::GetModuleHandleW(nullptr);
  foreign.lpszClassName = L"ForeignWindow";
  ::RegisterClassW(&foreign);
  HWND window = ::CreateWindowExW(0, L"ForeignWindow", L"", WS_CHILD, 0, 0, 10, 10, form_.Handle(),
                                  nullptr, foreign.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  {
    TRecordingControl control(&form_);
    control.Subclass(window);
    EXPECT_EQ(::SendMessageW(window, WM_APP + 3, 1, 0), 2);  // the control's
    EXPECT_EQ(::SendMessageW(window, WM_APP - 1, 0, 0), 0);  // passed on
    EXPECT_EQ(control.seen, std::vector<UINT>{WM_APP + 3});
  }
  // The control gone, the window has its own procedure back.
  EXPECT_EQ(::SendMessageW(window, WM_APP + 7, 0, 0), 700);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)), ForeignProc);
  ::DestroyWindow(window);
}

// Key messages for a window inside a taken-over one, as a runtime's inner
// windows get them: what the window itself was sent.
std::vector<UINT> innerKeys;
LRESULT CALLBACK InnerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) {
    innerKeys.push_back(msg);
    return 0;
  }
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

// Takes the reflected form of the keys it is told to (its answer then is 1).
class TKeyTakingControl : public TWinControl {
 public:
  using TWinControl::TWinControl;
  std::vector<UINT> offered;
  std::vector<WPARAM> taken;

 protected:
  void WndProc(TMessage& message) override {
    if (message.Msg >= kCnBase + WM_KEYFIRST && message.Msg <= kCnBase + WM_KEYLAST) {
      offered.push_back(message.Msg - kCnBase);
      message.Result = std::find(taken.begin(), taken.end(), message.WParam) != taken.end() ? 1 : 0;
      return;
    }
    TWinControl::WndProc(message);
  }
};

TEST_F(ControlsTest, TheLoopOffersKeysToTheControlOwningTheFocusBeforeDispatching) {
  WNDCLASSW inner{};
  inner.lpfnWndProc = InnerProc;
  inner.hInstance = ::GetModuleHandleW(nullptr);
  inner.lpszClassName = L"InnerWindow";
  ::RegisterClassW(&inner);
  TKeyTakingControl control(&form_);
  control.SetParent(&form_);
  control.taken = {VK_HOME};
  HWND window = ::CreateWindowExW(0, L"InnerWindow", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                  control.Handle(), nullptr, inner.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TWinControl::Owning(window), &control);
  EXPECT_EQ(TWinControl::Owning(control.Handle()), &control);
  EXPECT_EQ(TWinControl::FromHandle(window), nullptr);
  std::vector<UINT> seenFirst;
  application_.OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
      seenFirst.push_back(msg.message);
      handled = msg.wParam == VK_END;  // the hook can end a message's way
    }
  };
  innerKeys.clear();
  for (WPARAM key : {WPARAM{VK_HOME}, WPARAM{VK_RIGHT}, WPARAM{VK_END}}) {
    ::PostMessageW(window, WM_KEYDOWN, key, 1);
  }
  application_.ProcessMessages();
  application_.OnMessage = nullptr;
  // The hook saw all three first; the control was offered the two the hook
  // let through, took Home, and only Right reached the window.
  EXPECT_EQ(seenFirst, (std::vector<UINT>{WM_KEYDOWN, WM_KEYDOWN, WM_KEYDOWN}));
  EXPECT_EQ(control.offered, (std::vector<UINT>{WM_KEYDOWN, WM_KEYDOWN}));
  EXPECT_EQ(innerKeys, std::vector<UINT>{WM_KEYDOWN});
  ::DestroyWindow(window);
}

TEST_F(ControlsTest, AKeyDownNobodyTookIsTheFormsDialogKeyForItsControls) {
  class TDialogKeyControl : public TWinControl {
   public:
    using TWinControl::TWinControl;
    std::vector<WPARAM> dialogKeys;

   protected:
    void WndProc(TMessage& message) override {
      if (message.Msg == kCmDialogKey) {
        dialogKeys.push_back(message.WParam);
        message.Result = message.WParam == 'M' ? 1 : 0;
        return;
      }
      TWinControl::WndProc(message);
    }
  };
  TDialogKeyControl control(&form_);
  control.SetParent(&form_);
  control.Handle();
  ::PostMessageW(form_.Handle(), WM_SYSKEYDOWN, 'M', 0x20000001);
  ::PostMessageW(form_.Handle(), WM_KEYUP, 'M', 0xC0000001);
  application_.ProcessMessages();
  EXPECT_EQ(control.dialogKeys, std::vector<WPARAM>{'M'});  // key downs only
  EXPECT_EQ(form_.Perform(kCmDialogKey, 'M', 0), 1);
  EXPECT_EQ(form_.Perform(kCmDialogKey, 'N', 0), 0);
}

TEST_F(ControlsTest, AClientAlignedControlFillsItsParent) {
  TRecordingControl control(&form_);
  control.SetParent(&form_);
  control.SetAlign(TAlign::Client);
  control.Handle();
  RECT client;
  ::GetClientRect(form_.Handle(), &client);
  EXPECT_EQ(control.Width(), client.right);
  EXPECT_EQ(control.Height(), client.bottom);
  form_.SetBounds(50, 60, 500, 350);
  ::GetClientRect(form_.Handle(), &client);
  EXPECT_EQ(control.Width(), client.right);
  EXPECT_EQ(control.Height(), client.bottom);
  form_.SetBorderWidth(5);
  EXPECT_EQ(control.Left(), 5);
  EXPECT_EQ(control.Width(), client.right - 10);
}

TEST_F(ControlsTest, ColourAndFontFollowTheParentUntilSetOwn) {
  TRecordingControl control(&form_);
  control.SetParentColor(true);
  control.SetParentFont(true);
  control.SetParent(&form_);
  form_.SetColor(RGB(1, 2, 3));
  TFont font;
  font.Name = L"Tahoma";
  form_.SetFont(font);
  EXPECT_EQ(control.Color(), RGB(1, 2, 3));
  EXPECT_EQ(control.Font().Name, L"Tahoma");
  EXPECT_EQ(control.colorChanges, 1);
  EXPECT_EQ(control.fontChanges, 1);

  control.SetColor(RGB(9, 9, 9));
  EXPECT_FALSE(control.ParentColor());
  form_.SetColor(RGB(4, 5, 6));
  EXPECT_EQ(control.Color(), RGB(9, 9, 9));
}

TEST_F(ControlsTest, MouseEvents) {
  TRecordingControl control(&form_);
  control.SetParent(&form_);
  std::vector<std::string> events;
  control.OnMouseDown = [&](TWinControl*, TMouseButton button, WPARAM, int x, int y) {
    events.push_back("down " + std::to_string(static_cast<int>(button)) + " " + std::to_string(x) +
                     "," + std::to_string(y));
  };
  control.OnMouseUp = [&](TWinControl*, TMouseButton, WPARAM, int, int) { events.push_back("up"); };
  control.OnClick = [&](TWinControl*) { events.push_back("click"); };
  ::SendMessageW(control.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  ::SendMessageW(control.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(3, 4));
  ::SendMessageW(control.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(1, 2));
  EXPECT_EQ(events, (std::vector<std::string>{"down 0 3,4", "up", "click", "down 1 1,2"}));
}

TEST_F(ControlsTest, FormKeyEventsAndConsumedKeys) {
  std::string keys;
  form_.OnKeyDown = [&](TWinControl*, WORD& key, UINT) {
    keys += std::string("d") + std::to_string(key) + " ";
  };
  form_.OnKeyPress = [&](TWinControl*, char& key) {
    keys += std::string("p") + key + " ";
    if (key == 'x') {
      key = 0;
    }
  };
  form_.OnKeyUp = [&](TWinControl*, WORD& key, UINT) {
    keys += std::string("u") + std::to_string(key) + " ";
  };
  ::SendMessageW(form_.Handle(), WM_KEYDOWN, 'A', 0);
  ::SendMessageW(form_.Handle(), WM_CHAR, 'a', 0);
  ::SendMessageW(form_.Handle(), WM_CHAR, 'x', 0);
  ::SendMessageW(form_.Handle(), WM_KEYUP, 'A', 0);
  EXPECT_EQ(keys, "d65 pa px u65 ");
  EXPECT_FALSE(form_.KeyPreview());
}

TEST_F(ControlsTest, AMaximisedFormsBoundsAreTheOnesItReturnsTo) {
  EXPECT_EQ(form_.WindowState(), TWindowState::Normal);
  form_.SetWindowState(TWindowState::Maximized);
  EXPECT_TRUE(::IsZoomed(form_.Handle()));
  EXPECT_EQ(form_.Left(), 50);
  form_.SetBounds(70, 80, 320, 240);
  EXPECT_TRUE(::IsZoomed(form_.Handle()));
  form_.SetWindowState(TWindowState::Normal);
  RECT rect;
  ::GetWindowRect(form_.Handle(), &rect);
  EXPECT_EQ(rect.left, 70);
  EXPECT_EQ(rect.bottom - rect.top, 240);
}

TEST(Forms, AHiddenFormTakesItsStateWhenShown) {
  TApplication application;
  TForm form;
  form.SetCaption("Caption \xe9");
  form.SetWindowState(TWindowState::Maximized);
  EXPECT_FALSE(::IsWindowVisible(form.Handle()));
  EXPECT_EQ(form.WindowState(), TWindowState::Maximized);
  form.Show();
  EXPECT_TRUE(::IsZoomed(form.Handle()));
  EXPECT_EQ(form.Caption(), "Caption \xe9");
}

}  // namespace
}  // namespace leafbook
