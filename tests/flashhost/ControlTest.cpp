// The host control's core against a recording fake runtime: the order of its
// OLE calls at construction, window creation and destruction, its size rules,
// its failures, and how it routes mouse, keyboard and menu traffic.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "framework/base/OleCheck.h"
#include "framework/gui/Application.h"
#include "tests/flashhost/FlashHostFixture.h"

namespace leafbook::testing {
namespace {

bool Received(const TFakeRuntimeLog& log, UINT message) {
  return std::find(log.messages.begin(), log.messages.end(), message) != log.messages.end();
}

// Closes the menu a test opened, from its modal loop.
void CALLBACK EndMenuSoon(HWND, UINT, UINT_PTR id, DWORD) {
  ::EndMenu();
  ::KillTimer(nullptr, id);
}

using Control = FlashHostTest;

TEST_F(Control, ConstructionAsksTheProviderSetsTheSiteTakesTheRuntimesSizeAndConnectsEvents) {
  TFlashPlayerControl& control = MakeControl(false);
  ASSERT_NE(control.RuntimeObject(), nullptr);
  const std::string extent =
      std::to_string(HimetricOf(PixelsOf(8467))) + "x" + std::to_string(HimetricOf(PixelsOf(6350)));
  EXPECT_EQ(log_->Joined(),
            "SetClientSite site, GetExtent 1, SetExtent 1 " + extent + ", Advise events");
  EXPECT_EQ(control.Width(), PixelsOf(8467));
  EXPECT_EQ(control.Height(), PixelsOf(6350));
  EXPECT_TRUE(control.TabStop());
  EXPECT_NE(log_->eventSink, nullptr);
}

TEST_F(Control, WindowCreationActivatesInPlaceAndTakesOverTheRuntimesWindow) {
  TFlashPlayerControl& control = MakeControl(false);
  log_->Clear();
  // Put on a form that has its window, the control makes its own at once;
  // then the new parent is announced.
  control.SetParent(form_.get());
  const HWND handle = control.Handle();
  EXPECT_EQ(log_->Joined(),
            "GetClientSite, Advise properties, OnAmbientPropertyChange -1, GetExtent 1, "
            "DoVerb -5 0,0," +
                std::to_string(control.Width()) + "," + std::to_string(control.Height()) +
                ", GetWindow, GetClientSite, OnAmbientPropertyChange -1");
  EXPECT_EQ(handle, log_->window);
  EXPECT_TRUE(Received(*log_, WM_NULL));  // sent once so that the hook takes effect
  // Every message to the runtime's window passes the control first.
  EXPECT_NE(::GetWindowLongPtrW(handle, GWLP_WNDPROC), 0);
  log_->messages.clear();
  ::SendMessageW(handle, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_TRUE(Received(*log_, WM_KEYDOWN));
}

TEST_F(Control, DestructionRunsItsStepsInOrder) {
  MakeControl(true);
  IFlashPlayerControlBase* base = control_->ControlBase();
  base->AddRef();
  log_->Clear();
  control_.reset();
  EXPECT_EQ(log_->Joined(),
            "Unadvise events 7, Close 1, Unadvise properties 9, SetClientSite null, destroyed");
  // Nobody else holds the control's interface: the runtime let go and the
  // content manager forgot it.
  EXPECT_EQ(base->Release(), 0u);
}

TEST_F(Control, AControlNeverWindowedStillUnregistersAndClosesTheRuntime) {
  TFlashPlayerControl& control = MakeControl(false);
  TMemoryStream movie;
  movie.WriteBuffer("FWS", 3);
  control.PlayMovieFromStream(movie);  // registers a folder for the control
  IFlashPlayerControlBase* base = control.ControlBase();
  base->AddRef();
  log_->Clear();
  control_.reset();
  EXPECT_EQ(log_->Joined(), "Unadvise events 7, Close 1, SetClientSite null, destroyed");
  EXPECT_EQ(base->Release(), 0u);
}

TEST_F(Control, DestroyingTheHandleGivesTheWindowBackAndClosesTheRuntime) {
  class TExposed : public TFlashPlayerControl {
   public:
    using TFlashPlayerControl::DestroyHandle;
    using TFlashPlayerControl::TFlashPlayerControl;
  };
  TExposed control(form_.get());
  control.SetParent(form_.get());
  const HWND handle = control.Handle();
  const LONG_PTR hooked = ::GetWindowLongPtrW(handle, GWLP_WNDPROC);
  log_->Clear();
  control.DestroyHandle();
  EXPECT_FALSE(control.HandleAllocated());
  EXPECT_TRUE(log_->Saw("Close 1"));
  EXPECT_EQ(log_->window, nullptr);  // closed with the runtime
  (void)hooked;
}

struct TFailureCase {
  const char* name;
  void (*arrange)(TFakeRuntimeLog& log);
  bool windowed;  // fails while making the window, not at construction
  HRESULT code;   // 0: an EOleError with message
  const char* message;
};

TEST_F(Control, FailuresRaiseOleErrorsWithTheirCodeOrMessage) {
  const TFailureCase cases[] = {
      {"SetClientSite", [](TFakeRuntimeLog& l) { l.setClientSite = E_ACCESSDENIED; }, false,
       E_ACCESSDENIED, nullptr},
      {"GetExtent", [](TFakeRuntimeLog& l) { l.getExtent = E_UNEXPECTED; }, false, E_UNEXPECTED,
       nullptr},
      {"control query", [](TFakeRuntimeLog& l) { l.failControlQuery = true; }, true, E_NOINTERFACE,
       nullptr},
      {"no in-place object", [](TFakeRuntimeLog& l) { l.activates = false; }, true, 0,
       "OLE control activation failed"},
      {"no window", [](TFakeRuntimeLog& l) { l.hasWindow = false; }, true, 0,
       "Could not obtain OLE control window handle"},
  };
  for (const TFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    log_ = UseFakeRuntime();
    c.arrange(*log_);
    try {
      TFlashPlayerControl control(form_.get());
      ASSERT_TRUE(c.windowed) << "construction should have failed";
      control.SetParent(form_.get());
      control.Handle();
      ADD_FAILURE() << "window creation should have failed";
    } catch (const EOleSysError& error) {
      EXPECT_EQ(error.Code(), c.code);
    } catch (const EOleError& error) {
      EXPECT_EQ(c.code, 0);
      EXPECT_STREQ(error.what(), c.message);
    }
    // A control that failed half-way leaves the runtime without a site to call.
    EXPECT_TRUE(log_->Saw("destroyed")) << log_->Joined();
  }
}

TEST_F(Control, WithoutEventsTheControlLivesOnSilently) {
  log_->events = false;
  TFlashPlayerControl& control = MakeControl(true);
  EXPECT_TRUE(control.HandleAllocated());
  EXPECT_EQ(log_->eventSink, nullptr);
  EXPECT_FALSE(log_->Saw("Advise events"));
}

TEST_F(Control, WithoutARuntimeTheControlIsABlankWindowInTheWindowColour) {
  UseFakeRuntime(0, false);
  TFlashPlayerControl& control = MakeControl(true);
  ASSERT_EQ(control.RuntimeObject(), nullptr);
  control.SetBounds(0, 0, 50, 40);
  const TWindowDC screen(nullptr);
  const TOwnedDC memory(::CreateCompatibleDC(screen.Get()));
  const TGdiObject<HBITMAP> bitmap(::CreateCompatibleBitmap(screen.Get(), 50, 40));
  const TSelectedObject selected(memory.Get(), bitmap.Get());
  ::SendMessageW(control.Handle(), WM_PAINT, reinterpret_cast<WPARAM>(memory.Get()), 0);
  EXPECT_EQ(::GetPixel(memory.Get(), 25, 20), ::GetSysColor(COLOR_WINDOW));
  // Properties cache, methods do nothing.
  control.SetMovie(L"a.swf");
  control.SetFlashVars(L"x=1");
  control.SetLoop(true);
  EXPECT_EQ(control.Movie(), L"a.swf");
  EXPECT_EQ(control.FlashVars(), L"x=1");
  EXPECT_TRUE(control.Loop());
  control.Play();
  EXPECT_EQ(control.CurrentFrame(), 0);
  EXPECT_EQ(control.GetVariable(L"v"), L"");
  EXPECT_EQ(control.RuntimeMajorVersion(), -1);
  EXPECT_THROW(control.FlashVersion(), EOleError);
}

TEST_F(Control, AControlSetNotVisibleKeepsTheRuntimesWindowHidden) {
  // Set so before its window exists on a form not shown yet (as the viewer
  // does), or after; a runtime that shows its window on every activation
  // (a resize activates it again) stays hidden too, until set Visible.
  struct TCase {
    const char* what;
    bool beforeWindow;
    bool showsOnEveryVerb;
  };
  const TCase cases[] = {{"before its window", true, false},
                         {"before its window, shown on activation", true, true},
                         {"after its window, shown on activation", false, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    log_->showsOnEveryVerb = c.showsOnEveryVerb;
    log_->extent = SIZEL{8467, 6350};  // the size the resize below changes, each time
    TForm form(nullptr, L"HiddenControlTestForm");
    form.SetBounds(40, 40, 400, 300);
    auto control = std::make_unique<TFlashPlayerControl>(&form);
    control->SetParent(&form);
    if (c.beforeWindow) {
      control->SetVisible(false);
    }
    form.Show();  // the form's window, then the control's: the runtime's
    if (!c.beforeWindow) {
      control->SetVisible(false);
    }
    const HWND window = control->Handle();
    ASSERT_EQ(window, log_->window);
    auto hidden = [&] {
      return (::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) == 0 && !::IsWindowVisible(window);
    };
    EXPECT_TRUE(hidden());
    log_->Clear();
    control->SetBounds(0, 0, 200, 100);
    EXPECT_TRUE(log_->Saw("DoVerb -5 0,0,200,100")) << log_->Joined();
    EXPECT_TRUE(hidden());
    control->SetVisible(true);
    EXPECT_TRUE(::IsWindowVisible(window));
    control.reset();
  }
}

TEST_F(Control, SetExtentOnlyOnARealSizeChangeFromANonZeroSize) {
  TFlashPlayerControl& control = MakeControl(false);
  const int width = control.Width();
  const int height = control.Height();
  log_->Clear();
  control.SetBounds(5, 5, width, height);  // moved, same size
  EXPECT_FALSE(log_->Joined().find("SetExtent") != std::string::npos);
  control.SetBounds(5, 5, 200, 100);
  EXPECT_TRUE(log_->Saw("SetExtent 1 " + std::to_string(HimetricOf(200)) + "x" +
                        std::to_string(HimetricOf(100))));
  control.SetBounds(5, 5, 0, 0);  // to zero counts as a change
  log_->Clear();
  control.SetBounds(5, 5, 300, 200);  // from zero does not
  EXPECT_EQ(log_->Joined(), "");
  EXPECT_EQ(control.Width(), 300);
  // A runtime that refuses the extent keeps the size it had.
  log_->setExtent = E_FAIL;
  control.SetBounds(5, 5, 120, 90);
  EXPECT_EQ(control.Width(), 300);
  EXPECT_EQ(control.Height(), 200);
  EXPECT_EQ(control.Left(), 5);
}

TEST_F(Control, WmSizeReissuesActivationAndNeverReachesTheRuntime) {
  TFlashPlayerControl& control = MakeControl(true);
  log_->Clear();
  log_->messages.clear();
  control.SetBounds(10, 20, 200, 100);
  EXPECT_TRUE(log_->Saw("DoVerb -5 10,20,210,120")) << log_->Joined();
  EXPECT_FALSE(Received(*log_, WM_SIZE));
  EXPECT_TRUE(Received(*log_, WM_WINDOWPOSCHANGED));
}

TEST_F(Control, RightButtonAndMenuKeyFollowStandartMenuAndPopupMenu) {
  TFlashPlayerControl& control = MakeControl(true);
  const HWND handle = control.Handle();
  std::vector<std::string> events;
  control.OnMouseDown = [&](TWinControl*, TMouseButton button, WPARAM, int x, int y) {
    events.push_back("down " + std::to_string(static_cast<int>(button)) + " " + std::to_string(x) +
                     "," + std::to_string(y));
  };
  auto clickRightAndPressMenuKey = [&] {
    log_->messages.clear();
    ::SendMessageW(handle, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(7, 9));
    ::SendMessageW(handle, WM_RBUTTONUP, 0, MAKELPARAM(7, 9));
    ::SendMessageW(handle, WM_KEYDOWN, VK_APPS, 0);
  };

  clickRightAndPressMenuKey();
  EXPECT_FALSE(Received(*log_, WM_RBUTTONDOWN));
  EXPECT_FALSE(Received(*log_, WM_RBUTTONUP));
  EXPECT_FALSE(Received(*log_, WM_KEYDOWN));
  EXPECT_TRUE(Received(*log_, WM_CONTEXTMENU));  // the control's own, passed on
  EXPECT_EQ(events, (std::vector<std::string>{"down 1 7,9"}));

  control.SetStandartMenu(true);
  clickRightAndPressMenuKey();
  EXPECT_TRUE(Received(*log_, WM_RBUTTONDOWN));
  EXPECT_FALSE(Received(*log_, WM_RBUTTONUP));
  EXPECT_TRUE(Received(*log_, WM_KEYDOWN));

  // With a popup menu both end in that menu, shown for the control.
  TPopupMenu menu;
  menu.AddItem(L"Item", [] {});
  control.SetPopupMenu(&menu);
  control.SetStandartMenu(false);
  int shown = 0;
  ::SetTimer(nullptr, 0, 100, EndMenuSoon);
  log_->messages.clear();
  ::SendMessageW(handle, WM_RBUTTONUP, 0, MAKELPARAM(7, 9));
  shown += Received(*log_, WM_INITMENUPOPUP) ? 1 : 0;
  ::SetTimer(nullptr, 0, 100, EndMenuSoon);
  log_->messages.clear();
  ::SendMessageW(handle, WM_KEYDOWN, VK_APPS, 0);
  shown += Received(*log_, WM_INITMENUPOPUP) ? 1 : 0;
  EXPECT_FALSE(Received(*log_, WM_KEYDOWN));
  EXPECT_EQ(shown, 2);
  control.SetPopupMenu(nullptr);
}

TEST_F(Control, LeftClicksReachTheRuntimeAndRaiseTheControlsEvents) {
  TFlashPlayerControl& control = MakeControl(true);
  std::vector<std::string> events;
  control.OnMouseDown = [&](TWinControl*, TMouseButton, WPARAM keys, int, int) {
    events.push_back(keys & kMouseDoubleClick ? "down double" : "down");
  };
  control.OnMouseUp = [&](TWinControl*, TMouseButton, WPARAM, int, int) { events.push_back("up"); };
  control.OnClick = [&](TWinControl*) { events.push_back("click"); };
  control.OnDblClick = [&](TWinControl*) { events.push_back("double click"); };
  log_->messages.clear();
  const HWND handle = control.Handle();
  ::SendMessageW(handle, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  ::SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(3, 4));
  ::SendMessageW(handle, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(3, 4));
  ::SendMessageW(handle, WM_LBUTTONUP, 0, MAKELPARAM(-5, 4));  // outside: no click
  EXPECT_EQ(events,
            (std::vector<std::string>{"down", "click", "up", "double click", "down double", "up"}));
  EXPECT_TRUE(Received(*log_, WM_LBUTTONDOWN));
  EXPECT_TRUE(Received(*log_, WM_LBUTTONDBLCLK));
  EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(Control, ReflectedKeysGoToTheActiveObjectsAcceleratorsFirst) {
  TFlashPlayerControl& control = MakeControl(true);
  log_->Clear();
  log_->messages.clear();
  EXPECT_EQ(control.Perform(kCnBase + WM_KEYDOWN, 'T', 0), 1);
  EXPECT_TRUE(log_->Saw("TranslateAccelerator 256 84 " + std::to_string(0x115DE1F1)));
  EXPECT_FALSE(Received(*log_, kCnBase + WM_KEYDOWN - 0x9C00));
  // Not an accelerator: on to the runtime in the OLE reflected form.
  control.Perform(kCnBase + WM_KEYDOWN, 'U', 0);
  EXPECT_TRUE(Received(*log_, kCnBase + WM_KEYDOWN - 0x9C00));
  // Every key message, 0x100 to 0x108, is offered; the one after is not.
  for (UINT key = WM_KEYDOWN; key <= 0x109; ++key) {
    SCOPED_TRACE(key);
    log_->Clear();
    control.Perform(kCnBase + key, 'T', 0);
    EXPECT_EQ(log_->Saw("TranslateAccelerator " + std::to_string(key) + " 84 " +
                        std::to_string(0x115DE1F1)),
              key <= 0x108);
  }
}

TEST_F(Control, KeysTheLoopTakesFromTheRuntimesWindowReachItsAcceleratorsBeforeItsWindow) {
  TFlashPlayerControl& control = MakeControl(true);
  TApplication application;
  log_->Clear();
  log_->messages.clear();
  ::PostMessageW(control.Handle(), WM_KEYDOWN, 'T', 1);  // an accelerator: taken
  ::PostMessageW(control.Handle(), WM_KEYDOWN, 'U', 1);  // not one: dispatched, once
  application.ProcessMessages();
  EXPECT_TRUE(log_->Saw("TranslateAccelerator 256 84 " + std::to_string(0x115DE1F1)));
  EXPECT_TRUE(log_->Saw("TranslateAccelerator 256 85 " + std::to_string(0x115DE1F1)));
  EXPECT_EQ(std::count(log_->messages.begin(), log_->messages.end(), WM_KEYDOWN), 1);
}

TEST_F(Control, TheFocusMakesTheRuntimeUIActive) {
  TFlashPlayerControl& control = MakeControl(true);
  log_->Clear();
  ::SetFocus(control.Handle());
  EXPECT_TRUE(log_->Saw("DoVerb -4 0,0," + std::to_string(control.Width()) + "," +
                        std::to_string(control.Height())))
      << log_->Joined();
  EXPECT_EQ(form_->ActiveOleControl(), &control);
  log_->Clear();
  ::SetFocus(form_->Handle());
  ::SetFocus(control.Handle());  // UI active already: asked once only
  EXPECT_FALSE(log_->Saw("DoVerb -4 0,0," + std::to_string(control.Width()) + "," +
                         std::to_string(control.Height())));
}

TEST_F(Control, ARightButtonReleasedLeftOfOrAboveTheControlPointsThere) {
  TFlashPlayerControl& control = MakeControl(true);
  const HWND handle = control.Handle();
  // Under capture the release can be anywhere: its coordinates are signed.
  ::SendMessageW(handle, WM_RBUTTONUP, 0, MAKELPARAM(-7, -9));
  POINT expected{-7, -9};
  ::ClientToScreen(handle, &expected);
  EXPECT_EQ(log_->contextMenuAt.x, expected.x);
  EXPECT_EQ(log_->contextMenuAt.y, expected.y);
}

TEST_F(Control, TheRuntimesAutomationIsReachedFromItsOwnThreadOnly) {
  TFlashPlayerControl& control = MakeControl(true);
  EXPECT_EQ(control.RuntimeMajorVersion(), 8);
  log_->automationThreads.clear();
  HRESULT code = S_OK;
  std::thread other([&] {
    try {
      control.FlashVersion();
    } catch (const EOleSysError& error) {
      code = error.Code();
    }
  });
  other.join();
  EXPECT_EQ(code, RPC_E_WRONG_THREAD);
  EXPECT_TRUE(log_->automationThreads.empty());
}

TEST_F(Control, DialogKeysThatAreTheRuntimesMnemonicsGoToIt) {
  TFlashPlayerControl& control = MakeControl(true);
  log_->Clear();
  EXPECT_EQ(control.Perform(kCmDialogKey, 'Q', 0), 1);
  EXPECT_TRUE(log_->Saw("OnMnemonic 81"));
  log_->Clear();
  EXPECT_EQ(control.Perform(kCmDialogKey, 'R', 0), 0);
  EXPECT_FALSE(log_->Saw("OnMnemonic 82"));
}

TEST_F(Control, ParentFontAndColourChangesAreAnnouncedAsAmbientChanges) {
  TFlashPlayerControl& control = MakeControl(true);
  control.SetParentFont(true);
  control.SetParentColor(true);
  log_->Clear();
  TFont font;
  font.Name = L"Tahoma";
  form_->SetFont(font);
  form_->SetColor(0x123456);
  EXPECT_EQ(log_->Joined(),
            "OnAmbientPropertyChange -703, OnAmbientPropertyChange -704, "
            "OnAmbientPropertyChange -701");
}

TEST_F(Control, UIActivationIsRecordedOnTheForm) {
  TFlashPlayerControl& control = MakeControl(true);
  control.Perform(kCmUIActivate);
  EXPECT_TRUE(log_->Saw("DoVerb -4 0,0," + std::to_string(control.Width()) + "," +
                        std::to_string(control.Height())));
  EXPECT_EQ(form_->ActiveOleControl(), &control);
  log_->Clear();
  control.Perform(kCmUIActivate);  // already active: nothing
  EXPECT_EQ(log_->Joined(), "");
  control.Perform(kCmUIDeactivate);
  EXPECT_TRUE(log_->Saw("UIDeactivate"));
  EXPECT_EQ(form_->ActiveOleControl(), nullptr);
}

}  // namespace
}  // namespace leafbook::testing
