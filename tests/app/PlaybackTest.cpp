// The real leafbook.exe playing a book packed with leafpack's writer, with the
// stand-in runtime inside as "flash.ocx": what is on screen, what the log and
// the runtime saw, keys, full screen, and books whose runtime or movie is
// missing or broken.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "framework/base/AnsiText.h"
#include "framework/base/Platform.h"
#include "framework/base/Resources.h"
#include "tests/app/ViewerProcess.h"
#include "tests/miniplayer/Png.h"
#include "tests/package/PackageFixture.h"
#include "tools/leafpack/CodePage.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::testing {
namespace {

namespace fs = std::filesystem;
using swf::TActions;
using swf::TSwfWriter;

constexpr COLORREF kPage1 = RGB(0, 200, 0);
constexpr COLORREF kPage2 = RGB(0, 0, 200);

std::string ViewerPath() {
  return (fs::path(platform::ExecutablePath()).parent_path() / "leafbook.exe").string();
}

std::string StandIn() {
  return ReadBytes(fs::path(std::string(MINIPLAYER_MODULE_DIR) + "/miniplayer.ocx"));
}

uint32_t Bgra(COLORREF color) {
  return 0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

bool WaitFor(const std::function<bool()>& done, int limitMs = 20000) {
  for (int waited = 0; waited < limitMs; waited += 50) {
    if (done()) {
      return true;
    }
    ::Sleep(50);
  }
  return done();
}

class Playback : public ::testing::Test {
 protected:
  void SetUp() override {
    trace_ = dir_.File("trace.txt");
    ::SetEnvironmentVariableW(L"MINIPLAYER_TRACE", AnsiToWide(trace_).c_str());
  }
  void TearDown() override { ::SetEnvironmentVariableW(L"MINIPLAYER_TRACE", nullptr); }

  // A book of two pages; page 1 loads by its name, page 2 as "./pages/2.png"
  // (URLs in UTF-8, as movies from version 6 on write them).
  static std::string Movie(bool fullscreen = false, const std::string& folder = "pages") {
    TSwfWriter movie(6, 400, 300, 12.0);
    movie.SetBackgroundColor(0x808080);
    TActions first;
    if (fullscreen) {
      first.FsCommand("fullscreen", "true");
    }
    movie.DoAction(first.GetUrl(folder + "/1.png", "_level1").Stop()).ShowFrame();
    movie.DoAction(TActions().GetUrl("./" + folder + "/2.png", "_level1").Stop()).ShowFrame();
    return movie.Bytes();
  }

  std::string Book(const std::vector<std::pair<std::string, std::string>>& files,
                   const std::string& name = "book.exe") {
    TRawPackage package;
    package.prefix = ReadBytes(ViewerPath());
    std::vector<std::pair<std::string, int>> names;
    package.entries.push_back("");  // the directory, below
    for (const auto& [file, bytes] : files) {
      names.push_back({file, static_cast<int>(package.entries.size())});
      package.entries.push_back(bytes);
    }
    package.entries[0] = Directory(names);
    const std::string path = dir_.File(name);
    WriteBytes(path, package.Bytes());
    return path;
  }

  std::vector<std::pair<std::string, std::string>> Pages() {
    return {{"pages/1.png", Png(400, 300, Bgra(kPage1))},
            {"pages/2.png", Png(400, 300, Bgra(kPage2))},
            {"ExeConfig.xml",
             "<ExeConfig><ExeCaption>Sample</ExeCaption><WindowOpenMode>1</WindowOpenMode>"
             "<WindowOpenWidth>600</WindowOpenWidth><WindowOpenHeight>450</WindowOpenHeight>"
             "</ExeConfig>"}};
  }

  // The right arrow key, down and up, as a reader presses it.
  static void PressRight(HWND window) {
    ::PostMessageW(window, WM_KEYDOWN, VK_RIGHT, 0x014D0001);
    ::PostMessageW(window, WM_KEYUP, VK_RIGHT, 0xC14D0001);
  }
  // Waits for page 1 on screen.
  static bool ShowsPage1(HWND window) {
    return WaitFor([&] { return ClientCentre(window) == kPage1; });
  }

  bool Logged(const std::string& text) { return ReadBytes(log_).find(text) != std::string::npos; }
  bool Traced(const std::string& text) { return ReadBytes(trace_).find(text) != std::string::npos; }

  // The pages are made with the system's imaging component.
  TComInitialization com_;
  TTempDir dir_;
  std::string trace_;
  std::string log_ = dir_.File("viewer.log");
};

TEST_F(Playback, ABookPlaysFromItsPackageAndKeysTurnItsPages) {
  auto files = Pages();
  files.push_back({"book.swf", Movie()});
  files.push_back({"flash.ocx", StandIn()});
  TViewerProcess viewer(Book(files), {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(ShowsPage1(window)) << ReadBytes(log_) << ReadBytes(trace_);
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
  PressRight(window);
  ASSERT_TRUE(WaitFor([&] { return ClientCentre(window) == kPage2; }))
      << ReadBytes(log_) << ReadBytes(trace_);
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
  auto files = Pages();
  files.push_back({"book.swf", Movie(true)});
  files.push_back({"flash.ocx", StandIn()});
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
  ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  ::PostMessageW(window, WM_CHAR, VK_ESCAPE, 0x00010001);
  ::PostMessageW(window, WM_KEYUP, VK_ESCAPE, 0xC0010001);
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
  EXPECT_TRUE(WaitFor([&] { return ClientCentre(window) == kPage1; })) << ReadBytes(trace_);
  EXPECT_EQ(viewer.Close(), 0u);
}

TEST_F(Playback, ABrokenOrEmptyRuntimeLeavesABlankWindowThatClosesNormally) {
  for (const std::string& runtime : {std::string(), std::string("MZ not a module")}) {
    SCOPED_TRACE(runtime.size());
    auto files = Pages();
    files.push_back({"book.swf", Movie()});
    files.push_back({"flash.ocx", runtime});
    TViewerProcess viewer(Book(files, runtime.empty() ? "empty.exe" : "broken.exe"), {});
    HWND window = viewer.MainWindow();
    ASSERT_NE(window, nullptr);
    viewer.Settle();
    EXPECT_NE(ClientCentre(window), kPage1);
    EXPECT_EQ(viewer.Close(), 0u);
  }
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
  auto files = Pages();
  files.push_back({"book.swf", Movie()});
  files.push_back({"flash.ocx", StandIn()});
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
  files.push_back({"book.swf", Movie(false, folder)});
  files.push_back({"flash.ocx", StandIn()});
  TViewerProcess viewer(Book(files), {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(ShowsPage1(window)) << ReadBytes(log_) << ReadBytes(trace_);
  PressRight(window);
  ASSERT_TRUE(WaitFor([&] { return ClientCentre(window) == kPage2; }))
      << ReadBytes(log_) << ReadBytes(trace_);
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
  EXPECT_NE(ClientCentre(window), kPage1);
  EXPECT_EQ(viewer.Close(), 0u);
}

TEST_F(Playback, ABookWithoutAMovieSaysSo) {
  TViewerProcess viewer(Book(Pages()), {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  viewer.Settle();
  EXPECT_TRUE(Logged("This book has no movie"));
  EXPECT_EQ(viewer.Close(), 0u);
}

}  // namespace
}  // namespace leafbook::testing
