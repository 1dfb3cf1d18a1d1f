// The real leafbook.exe playing a book packed with leafpack's writer, with the
// stand-in runtime inside as "flash.ocx": what is on screen, what the log and
// the runtime saw, keys, full screen, and runtimes and movies that fail while
// they play (books that cannot be shown at all: NoticeTest).
#include <gtest/gtest.h>

#include <filesystem>

#include "framework/base/AnsiText.h"
#include "framework/base/Platform.h"
#include "tests/app/BookFixture.h"
#include "tests/app/ViewerProcess.h"
#include "tools/leafpack/CodePage.h"

namespace leafbook::testing {
namespace {

namespace fs = std::filesystem;

using Playback = TBookTest;

TEST_F(Playback, ABookPlaysFromItsPackageAndKeysTurnItsPages) {
  const TBookFiles files = PlayingBook();
  TViewerProcess viewer(Book(files), {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Shows(window, 1)) << ReadBytes(log_) << ReadBytes(trace_);
  // Page 1 by its path: the asynchronous route, from the package.
  EXPECT_TRUE(Logged("To load url 44[pages/1.png]"));
  EXPECT_TRUE(Logged("To load url 44_________[pages/1.png]"));
  // The placeholder reaches the process-wide handler.
  EXPECT_TRUE(Logged("ContentProvider url[file://46A10F369771449587DE913EFC0A258]"));
  fs::create_directories(fs::path(platform::ExecutablePath()).parent_path() / "screenshots");
  SaveScreenPng(
      (fs::path(platform::ExecutablePath()).parent_path() / "screenshots" / "book-page-1.png")
          .string());

  // A key the form gets goes on to the runtime, down and up with one code.
  ASSERT_TRUE(PressKey(window, VK_RIGHT));
  ASSERT_TRUE(Shows(window, 2)) << ReadBytes(log_) << ReadBytes(trace_);
  EXPECT_TRUE(Logged("FormKeyDown[39]"));
  EXPECT_TRUE(Logged("FormKeyUp[39]"));
  EXPECT_TRUE(Traced("key 39"));
  EXPECT_TRUE(Traced("key up 39"));
  // "./pages/2.png" is no name of the package: only OnLoadExternalResource
  // retries without the "./".
  EXPECT_TRUE(Logged("To load url 44[./pages/2.png]"));
  EXPECT_FALSE(Logged("To load url 44_________[./pages/2.png]"));
  EXPECT_TRUE(Logged("To load url 333[./pages/2.png]"));
  EXPECT_TRUE(Logged("To load url2[./pages/2.png]"));
  EXPECT_TRUE(Logged("Got .. url2_2[pages/2.png]"));
  SaveScreenPng(
      (fs::path(platform::ExecutablePath()).parent_path() / "screenshots" / "book-page-2.png")
          .string());
  EXPECT_EQ(viewer.Close(), 0u);
}

TEST_F(Playback, TheMoviesCommandGoesFullScreenUntilEscape) {
  const TBookFiles files = PlayingBook(2, true);
  TViewerProcess viewer(Book(files), {});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  auto covers = [&] {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return ::EqualRect(&rect, &screen) != FALSE;
  };
  ASSERT_TRUE(WaitFor(covers)) << ReadBytes(trace_);
  ASSERT_TRUE(PressKey(window, VK_ESCAPE));
  ASSERT_TRUE(WaitFor([&] { return (::GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) != 0; }));
  viewer.Settle();
  RECT restored{};
  ::GetWindowRect(window, &restored);
  EXPECT_EQ(restored.right - restored.left, 600);
  EXPECT_EQ(restored.bottom - restored.top, 450);
}

// The runtime installed on the machine, as the class registry names it.
class TInstalledRuntime {
 public:
  explicit TInstalledRuntime(const std::string& file) {
    const std::wstring path = AnsiToWide(file);
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          key_.Put(), nullptr) == ERROR_SUCCESS) {
      registered_ = ::RegSetValueExW(key_.Get(), nullptr, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(path.c_str()),
                                     static_cast<DWORD>((path.size() + 1) * 2)) == ERROR_SUCCESS;
    }
  }
  ~TInstalledRuntime() {
    key_.Reset();
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, kKey);
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, kClass);
  }
  bool Registered() const { return registered_; }

 private:
  static constexpr wchar_t kClass[] = L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}";
  static constexpr wchar_t kKey[] =
      L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";
  TOwnedRegKey key_;
  bool registered_ = false;
};

TEST_F(Playback, ABookWithoutItsOwnRuntimeUsesTheInstalledOne) {
  const TInstalledRuntime installed(std::string(MINIPLAYER_MODULE_DIR) + "/miniplayer.ocx");
  ASSERT_TRUE(installed.Registered());
  auto files = Pages();
  files.push_back({"book.swf", Movie()});
  TViewerProcess viewer(Book(files), {});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(Shows(window, 1)) << ReadBytes(trace_);
  EXPECT_EQ(viewer.Close(), 0u);
}

TEST_F(Playback, ARuntimeThatFailsAtAnyStepLeavesAWindowThatClosesNormally) {
  // Construction, window creation, activation, events and destruction.
  const char* steps[] = {"IOleObject::SetClientSite",
                         "IOleObject::GetExtent",
                         "IOleObject::SetExtent",
                         "IConnectionPointContainer::FindConnectionPoint",
                         "IOleObject::DoVerb",
                         "IOleWindow::GetWindow",
                         "IOleInPlaceObject::InPlaceDeactivate",
                         "IOleObject::Close"};
  const TBookFiles files = PlayingBook();
  const std::string book = Book(files);
  for (const char* step : steps) {
    SCOPED_TRACE(step);
    ::SetEnvironmentVariableA("MINIPLAYER_FAIL", step);
    TViewerProcess viewer(book, {"-D", "-F" + log_});
    HWND window = viewer.MainWindow();
    ASSERT_NE(window, nullptr) << ReadBytes(log_) << ReadBytes(trace_);
    viewer.Settle();
    EXPECT_EQ(viewer.Close(), 0u) << ReadBytes(log_);
    ::SetEnvironmentVariableA("MINIPLAYER_FAIL", nullptr);
    EXPECT_TRUE(Traced(std::string("injected failure ") + step)) << ReadBytes(trace_);
  }
}

TEST_F(Playback, PagesWhoseNamesAreNotAsciiAreFound) {
  // leafpack stores names in the readers' ANSI code page; the movie asks in
  // UTF-8 and the viewer looks the name up in that code page.
  const std::string folder = "p\u00e1ginas";  // "páginas"
  const auto stored = leafpack::FromUtf8(folder, static_cast<int>(::GetACP()));
  if (!stored) {
    GTEST_SKIP() << "code page " << ::GetACP() << " has no \"\u00e1\"";
  }
  auto files = Pages();
  files[0].first = *stored + "/1.png";
  files[1].first = *stored + "/2.png";
  files.push_back({"book.swf", Movie(2, false, folder)});
  files.push_back({"flash.ocx", StandIn()});
  TViewerProcess viewer(Book(files), {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Shows(window, 1)) << ReadBytes(log_) << ReadBytes(trace_);
  ASSERT_TRUE(PressKey(window, VK_RIGHT));
  ASSERT_TRUE(Shows(window, 2)) << ReadBytes(log_) << ReadBytes(trace_);
  EXPECT_TRUE(Logged("Got .. url2_2[" + *stored + "/2.png]"));
  EXPECT_EQ(viewer.Close(), 0u);
}

TEST_F(Playback, ADamagedMovieShowsTheRuntimesNoticeAndTheViewerRunsOn) {
  auto files = Pages();
  files.push_back({"book.swf", std::string("FWS\x06\xff\xff\x00\x00damaged", 15)});
  files.push_back({"flash.ocx", StandIn()});
  TViewerProcess viewer(Book(files), {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Traced("notice:"); })) << ReadBytes(trace_);
  viewer.Settle();
  EXPECT_NE(ClientCentre(window), PageColour(1));
  EXPECT_EQ(viewer.Close(), 0u);
}

}  // namespace
}  // namespace leafbook::testing
