// The main window in process: command-line switches, full-screen switching
// by Flash command and Escape.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <windows.h>
#include <ole2.h>

#include "app/ULog.h"
#include "app/UfrmMain.h"
#include "framework/gui/Application.h"

namespace leafbook {
namespace {

TEST(ParseArguments, Switches) {
  struct TCase {
    std::vector<std::string> args;
    bool enabled;
    std::string file;
  };
  const TCase cases[] = {
      {{}, false, ""},
      {{"-D"}, true, ""},
      {{"-d"}, true, ""},
      {{"-Debug"}, true, ""},
      {{"-Fc:\\logs\\a.log"}, false, "c:\\logs\\a.log"},
      {{"-fa.log", "-D"}, true, "a.log"},
      {{"-Fone.log", "-Ftwo.log"}, false, "two.log"},
      {{"-F"}, false, ""},
      {{"-F a.log"}, false, " a.log"},
      {{"D", "--F", "/D", "x"}, false, ""},
  };
  for (const TCase& c : cases) {
    LogEnabled = !c.enabled;
    LogFileName = "previous";
    TfrmMain::ParseArguments(c.args);
    EXPECT_EQ(LogEnabled, c.enabled) << ::testing::PrintToString(c.args);
    EXPECT_EQ(LogFileName, c.file) << ::testing::PrintToString(c.args);
  }
  LogEnabled = false;
  LogFileName.clear();
}

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::OleInitialize(nullptr);
    application_ = std::make_unique<TApplication>();
    form_ = &application_->CreateForm<TfrmMain>("no-such-book.exe");
    form_->Show();
    application_->ProcessMessages();
  }
  void TearDown() override {
    application_.reset();
    ::OleUninitialize();
  }
  RECT WindowRect() {
    application_->ProcessMessages();
    RECT rect;
    ::GetWindowRect(form_->Handle(), &rect);
    return rect;
  }
  void Command(const wchar_t* command, const wchar_t* args) {
    form_->FlashPlayerControl1FSCommand(form_, command, args);
    application_->ProcessMessages();
  }

  std::unique_ptr<TApplication> application_;
  TfrmMain* form_ = nullptr;
};

MATCHER_P4(IsRect, left, top, width, height, "") {
  return arg.left == left && arg.top == top && arg.right - arg.left == width &&
         arg.bottom - arg.top == height;
}

TEST_F(MainFormTest, StartsWithTheDesignTimeWindow) {
  EXPECT_THAT(WindowRect(), IsRect(193, 223, 1372, 575));
  EXPECT_EQ(form_->Caption(), "Leafbook");
  EXPECT_EQ(application_->Title(), "Leafbook");
  EXPECT_FALSE(form_->IsFullScreen);
}

TEST_F(MainFormTest, FullScreenCommandsSaveAndRestoreTheBounds) {
  Command(L"fullscreen", L"true");
  EXPECT_TRUE(form_->IsFullScreen);
  EXPECT_THAT(WindowRect(), IsRect(0, 0, ScreenWidth(), ScreenHeight()));
  const LONG fullStyle = ::GetWindowLongW(form_->Handle(), GWL_STYLE);
  EXPECT_EQ(fullStyle & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0);

  // A second "true" saves nothing new: "false" goes back to the first bounds.
  form_->SetBounds(10, 10, 300, 200);
  Command(L"fullscreen", L"true");
  EXPECT_EQ(form_->SavedLeft, 193);
  Command(L"fullscreen", L"false");
  EXPECT_FALSE(form_->IsFullScreen);
  EXPECT_THAT(WindowRect(), IsRect(193, 223, 1372, 575));
  EXPECT_EQ(static_cast<DWORD>(::GetWindowLongW(form_->Handle(), GWL_STYLE)) & 0x00CF0000u,
            0x00CF0000u);
  EXPECT_TRUE(::IsWindowVisible(form_->Handle()));
  EXPECT_FALSE(::IsZoomed(form_->Handle()));
}

// Where a task bar takes part of the screen (scripts/xvfb-tests.sh gives the
// tests one), a maximised window stops at it; full screen does not.
TEST_F(MainFormTest, FullScreenCoversTheTaskBarToo) {
  RECT workArea{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
  form_->SetWindowState(TWindowState::Maximized);
  RECT maximised{};
  ::GetWindowRect(form_->Handle(), &maximised);
  Command(L"fullscreen", L"true");
  EXPECT_THAT(WindowRect(), IsRect(0, 0, ScreenWidth(), ScreenHeight()));
  Command(L"fullscreen", L"false");
  EXPECT_TRUE(::IsZoomed(form_->Handle()));
  if (workArea.bottom == ScreenHeight()) {
    GTEST_SKIP() << "no task bar here: maximised and full screen look alike";
  }
  EXPECT_LT(maximised.bottom, ScreenHeight());
}

TEST_F(MainFormTest, OtherCommandsAndSpellingsChangeNothing) {
  for (auto [command, args] : {std::pair{L"fullscreen", L"TRUE"}, std::pair{L"fullScreen", L"true"},
                               std::pair{L"FULLSCREEN", L"true"}, std::pair{L"quit", L""},
                               std::pair{L"fullscreen", L"true "}}) {
    Command(command, args);
    EXPECT_FALSE(form_->IsFullScreen);
  }
  Command(L"fullscreen", L"true");
  Command(L"fullscreen", L"False");
  EXPECT_TRUE(form_->IsFullScreen);
}

TEST_F(MainFormTest, AMaximisedWindowReturnsMaximised) {
  form_->SetWindowState(TWindowState::Maximized);
  application_->ProcessMessages();
  Command(L"fullscreen", L"true");
  EXPECT_EQ(form_->SavedWindowState, TWindowState::Maximized);
  EXPECT_THAT(WindowRect(), IsRect(0, 0, ScreenWidth(), ScreenHeight()));
  Command(L"fullscreen", L"false");
  EXPECT_TRUE(::IsZoomed(form_->Handle()));
  // Restored, it takes the bounds it had before it was maximised.
  form_->SetWindowState(TWindowState::Normal);
  EXPECT_THAT(WindowRect(), IsRect(193, 223, 1372, 575));
}

TEST_F(MainFormTest, EscapeLeavesFullScreenAndOtherwiseOnlyLogs) {
  ::SendMessageW(form_->Handle(), WM_CHAR, 27, 0);
  EXPECT_FALSE(form_->IsFullScreen);
  EXPECT_THAT(WindowRect(), IsRect(193, 223, 1372, 575));
  Command(L"fullscreen", L"true");
  ::SendMessageW(form_->Handle(), WM_CHAR, 'a', 0);
  EXPECT_TRUE(form_->IsFullScreen);
  ::SendMessageW(form_->Handle(), WM_CHAR, 27, 0);
  EXPECT_FALSE(form_->IsFullScreen);
  EXPECT_THAT(WindowRect(), IsRect(193, 223, 1372, 575));
}

}  // namespace
}  // namespace leafbook
