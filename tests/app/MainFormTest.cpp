// The main window in process: command-line switches, full-screen switching
// by Flash command and Escape, and its resource handlers over a package.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <filesystem>

#include "app/ULog.h"
#include "app/ProgramUnit.h"
#include "app/UfrmMain.h"
#include "content/ContentManager.h"
#include "framework/base/Streams.h"
#include "framework/gui/Application.h"
#include "runtime/RuntimeUnit.h"
#include "tests/package/PackageFixture.h"

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

TEST_F(MainFormTest, EscapeLeavesFullScreenWhereverTheFocusIs) {
  // A window inside the viewer's that is no control of its own, as the
  // runtime's windows are: the key is posted to it, as the system does.
  HWND inner = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                 form_->Handle(), nullptr, nullptr, nullptr);
  ASSERT_NE(inner, nullptr);
  Command(L"fullscreen", L"true");
  ::PostMessageW(inner, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  application_->ProcessMessages();
  EXPECT_FALSE(form_->IsFullScreen);
  EXPECT_THAT(WindowRect(), IsRect(193, 223, 1372, 575));
  ::DestroyWindow(inner);
}

// The resource handlers over a book of one page, called as the control and
// the content manager call them; no window is needed.
class MainFormHandlers : public ::testing::Test {
 protected:
  static constexpr char kPage[] = "the bytes of page 1";

  void SetUp() override {
    testing::TRawPackage package;
    package.entries = {testing::Directory({{"pages/1.png", 1}}), kPage};
    testing::WriteBytes(book_, package.Bytes());
    LogEnabled = true;
    LogFileName = log_;
  }
  void TearDown() override {
    LogEnabled = false;
    LogFileName.clear();
  }
  bool Logged(const std::string& text) {
    return testing::ReadBytes(log_).find(text) != std::string::npos;
  }

  testing::TTempDir dir_;
  std::string book_ = dir_.File("book.exe");
  std::string log_ = dir_.File("viewer.log");
  TfrmMain form_{book_};
};

// A writer that keeps what it was given when it is freed.
class TKeptWriter : public TMemoryStream {
 public:
  TKeptWriter(std::string& bytes, bool& freed) : bytes_(bytes), freed_(freed) {}
  ~TKeptWriter() override {
    bytes_.assign(reinterpret_cast<const char*>(Memory()), static_cast<size_t>(Size()));
    freed_ = true;
  }

 private:
  std::string& bytes_;
  bool& freed_;
};

TEST_F(MainFormHandlers, TheProcessWideHandlerServesOnlyNamesOfThePackage) {
  struct TCase {
    const wchar_t* url;
    const char* logged;
    bool found;
  };
  // Only the URL handler retries without "./": here it names nothing.
  const TCase cases[] = {{L"pages/1.png", "ContentProvider url[pages/1.png]", true},
                         {L"./pages/1.png", "ContentProvider url[./pages/1.png]", false},
                         {L"pages/2.png", "ContentProvider url[pages/2.png]", false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.logged);
    std::filesystem::remove(log_);
    std::string written;
    bool freed = false;
    std::unique_ptr<TStream> writer = std::make_unique<TKeptWriter>(written, freed);
    bool handled = false;
    form_.GlobalLoadExternalResource(c.url, writer, handled);
    EXPECT_TRUE(Logged(c.logged));
    EXPECT_EQ(handled, c.found);
    // A served entry is complete: its writer is freed, which ends the data.
    EXPECT_EQ(freed, c.found);
    EXPECT_EQ(writer == nullptr, c.found);
    writer.reset();
    EXPECT_EQ(written, c.found ? kPage : "");
  }
}

TEST_F(MainFormHandlers, TheUrlHandlerFindsANameAsAskedOrWithoutItsDotSlash) {
  struct TCase {
    const wchar_t* url;
    const char* got;  // null: found under neither name
  };
  const TCase cases[] = {{L"pages/1.png", "Got .. url2[pages/1.png]"},
                         {L"./pages/1.png", "Got .. url2_2[pages/1.png]"},
                         {L"./pages/2.png", nullptr},
                         {L".//pages/1.png", nullptr}};
  for (const TCase& c : cases) {
    std::filesystem::remove(log_);
    TMemoryStream stream;
    form_.FlashPlayerControl1LoadExternalResource(nullptr, c.url, &stream);
    const std::string log = testing::ReadBytes(log_);
    SCOPED_TRACE(log);
    // One name found at most: a direct hit is not looked up again.
    if (c.got) {
      EXPECT_TRUE(Logged(c.got));
      EXPECT_EQ(log.find("Got .."), log.rfind("Got .."));
    } else {
      EXPECT_FALSE(Logged("Got .."));
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()),
                          static_cast<size_t>(stream.Size())),
              c.got ? kPage : "");
  }
}

TEST(MainFormLife, TheProcessWideHandlerGoesWithTheForm) {
  // The content manager and the runtime outlive the form: a request after it
  // must find the slot empty rather than a handler of a form that is gone.
  ::OleInitialize(nullptr);
  {
    testing::TTempDir dir;
    const std::string book = dir.File("book.exe");
    testing::TRawPackage package;
    package.entries = {testing::Directory({{"pages/1.png", 1}}), "page"};
    testing::WriteBytes(book, package.Bytes());
    TProgramUnit unit;
    TApplication application;
    auto request = [] {
      void* object = nullptr;
      return ContentManager()->BindResource(nullptr, nullptr, IID_IStream, nullptr, nullptr,
                                            L"pages/1.png", &object);
    };
    auto logged = [] {
      return std::filesystem::exists(LogFileName) ? testing::ReadBytes(LogFileName) : "";
    };
    auto form = std::make_unique<TfrmMain>(book);
    form->FormCreate(form.get());  // reads the command line, which has no log switch
    LogEnabled = true;
    LogFileName = dir.File("viewer.log");
    EXPECT_EQ(request(), MK_S_ASYNCHRONOUS);
    EXPECT_NE(logged().find("ContentProvider url[pages/1.png]"), std::string::npos);
    form.reset();
    std::filesystem::remove(LogFileName);
    request();
    EXPECT_EQ(logged().find("ContentProvider url["), std::string::npos);
    LogEnabled = false;
    LogFileName.clear();
  }
  ::OleUninitialize();
}

// Takes the first few bytes written to it, then no more, as a writer whose
// runtime refused the data does.
class TShortWriter : public TStream {
 public:
  explicit TShortWriter(size_t room) : room_(room) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    const size_t taken = std::min(static_cast<size_t>(count), room_ - bytes_.size());
    bytes_.append(static_cast<const char*>(buffer), taken);
    return static_cast<int32_t>(taken);
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return static_cast<int64_t>(bytes_.size()); }
  int64_t GetSize() override { return static_cast<int64_t>(bytes_.size()); }
  void SetSize(int64_t size) override { bytes_.resize(static_cast<size_t>(size)); }

 private:
  size_t room_;
  std::string bytes_;
};

TEST_F(MainFormHandlers, AFileThatCannotBeReadWholeIsNotServed) {
  TShortWriter supply(5);
  form_.FlashPlayerControl1LoadExternalResource(nullptr, L"pages/1.png", &supply);
  EXPECT_EQ(supply.GetSize(), 0);  // nothing supplied: the request is left unanswered
  EXPECT_TRUE(Logged("Cannot read [pages/1.png] whole: not served"));

  std::filesystem::remove(log_);
  std::unique_ptr<TStream> writer = std::make_unique<TShortWriter>(5);
  bool handled = false;
  form_.GlobalLoadExternalResource(L"pages/1.png", writer, handled);
  EXPECT_FALSE(handled);
  EXPECT_NE(writer, nullptr);  // not freed: freeing would end the data as if complete
  EXPECT_TRUE(Logged("Cannot read [pages/1.png] whole: not served"));
}

}  // namespace
}  // namespace leafbook
