// The real viewer driven as a reader drives it, through the input queue: a
// click on the movie and keys while it has the focus (full screen, Escape,
// the runtime's own accelerators), and the runtime's requests made from its
// worker threads, served on both routes and in flight when the viewer closes.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tests/app/BookFixture.h"
#include "tests/app/ViewerProcess.h"

namespace leafbook::testing {
namespace {

using ReaderInput = TBookTest;

constexpr DWORD kOverlappedWindow = 0x00CF0000;  // caption, frame, system menu, boxes

// One request as the runtime traced it.
struct TRequest {
  unsigned long thread = 0;
  unsigned long windowThread = 0;
  int inFlight = 0;
  std::string url;
};

std::vector<TRequest> Requests(const std::string& trace) {
  static const std::regex kLine(
      R"(request on thread (\d+)\D+window thread (\d+)\D+(\d+) in flight (\S+))");
  std::vector<TRequest> requests;
  for (std::sregex_iterator it(trace.begin(), trace.end(), kLine), end; it != end; ++it) {
    requests.push_back({std::stoul((*it)[1]), std::stoul((*it)[2]), std::stoi((*it)[3]), (*it)[4]});
  }
  return requests;
}

int MostInFlight(const std::string& trace) {
  int most = 0;
  for (const TRequest& request : Requests(trace)) {
    most = std::max(most, request.inFlight);
  }
  return most;
}

bool Matches(const std::string& trace, const std::string& pattern) {
  return std::regex_search(trace, std::regex(pattern));
}

// The runtime's window takes the focus with a click on the movie; the click
// turns a page. Escape then leaves full screen wherever the focus is, and
// Right turns exactly one page: 1 (start), 2 (click), 3 (Right), never 4.
TEST_F(ReaderInput, AfterAClickEscapeLeavesFullScreenAndRightTurnsOnePage) {
  TViewerProcess viewer(Book(PlayingBook(4, true)), {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ASSERT_TRUE(WaitFor([&] {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return ::EqualRect(&rect, &screen) != FALSE;
  })) << LogAndTrace();
  ASSERT_TRUE(Shows(window, 1)) << LogAndTrace();

  ASSERT_TRUE(ClickAt(window, ClientMiddle(window)));
  ASSERT_TRUE(WaitFor([&] { return Count(viewer.Trace(), "mouse left click\n") == 1; }))
      << viewer.Trace();
  ASSERT_TRUE(Shows(window, 2)) << LogAndTrace();

  ASSERT_TRUE(PressKey(window, VK_ESCAPE));
  EXPECT_TRUE(WaitFor(
      [&] {
        return (::GetWindowLongW(window, GWL_STYLE) & kOverlappedWindow) == kOverlappedWindow;
      },
      5000))
      << "still full screen after Escape\n"
      << LogAndTrace();
  viewer.Settle();
  const TWindowFacts restored = InspectWindow(window);
  EXPECT_EQ(restored.Rect.right - restored.Rect.left, 600);
  EXPECT_EQ(restored.Rect.bottom - restored.Rect.top, 450);
  EXPECT_FALSE(restored.Zoomed);
  EXPECT_EQ(restored.Caption, "Sample");
  // Leaving full screen does not swallow the key: the runtime sees it once.
  EXPECT_EQ(Count(viewer.Trace(), "key 27\n"), 1) << viewer.Trace();

  ASSERT_TRUE(PressKey(window, VK_RIGHT));
  ASSERT_TRUE(Shows(window, 3)) << LogAndTrace();
  viewer.Settle();
  EXPECT_EQ(ClientCentre(window), PageColour(3));
  EXPECT_EQ(Count(viewer.Trace(), "key 39\n"), 1) << viewer.Trace();
  EXPECT_EQ(viewer.Close(), 0u);
}

// With the runtime's window focused, a key it claims as an accelerator is
// not delivered again as a plain key; one it does not claim is. Ctrl+Home
// goes to page 1 from page 2 (after the click); were it ignored, Right would
// then show page 3 instead of 2.
TEST_F(ReaderInput, TheRuntimeClaimsCtrlHomeAndLetsOtherKeysThrough) {
  TViewerProcess viewer(Book(PlayingBook(3)), {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Shows(window, 1)) << LogAndTrace();
  ASSERT_TRUE(ClickAt(window, ClientMiddle(window)));
  ASSERT_TRUE(Shows(window, 2)) << LogAndTrace();

  ASSERT_TRUE(PressKey(window, VK_HOME, {VK_CONTROL}));
  EXPECT_TRUE(WaitFor(
      [&] { return Matches(viewer.Trace(), "translate accelerator 0x0*100 36 S_OK"); }, 5000))
      << viewer.Trace();
  EXPECT_TRUE(Shows(window, 1)) << LogAndTrace();

  ASSERT_TRUE(PressKey(window, VK_RIGHT));
  ASSERT_TRUE(WaitFor([&] { return Count(viewer.Trace(), "key 39\n") == 1; }, 5000))
      << viewer.Trace();
  EXPECT_TRUE(Matches(viewer.Trace(), "translate accelerator 0x0*100 39 S_FALSE"))
      << viewer.Trace();
  EXPECT_TRUE(Shows(window, 2)) << LogAndTrace();
  viewer.Settle();
  EXPECT_EQ(Count(viewer.Trace(), "key 36\n"), 0) << viewer.Trace();
  EXPECT_EQ(viewer.Close(), 0u);
}

// Page 1 goes by file; "./pages/2.png" is no name of the package, so the file
// route fails and the moniker gets it. Both are served whether the runtime
// asks from its workers or, with MINIPLAYER_THREADS=0, from its window's
// thread.
TEST_F(ReaderInput, TheRuntimesRequestsAreServedOnBothRoutesFromItsWorkers) {
  for (const bool workers : {true, false}) {
    SCOPED_TRACE(workers ? "worker threads" : "MINIPLAYER_THREADS=0");
    std::optional<TScopedVariable> threads;
    if (!workers) {
      threads.emplace(L"MINIPLAYER_THREADS", "0");
    }
    std::filesystem::remove(log_);
    TViewerProcess viewer(Book(PlayingBook()), {"-D", "-F" + log_});
    HWND window = viewer.MainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Shows(window, 1)) << LogAndTrace();
    EXPECT_TRUE(Logged("To load url 44_________[pages/1.png]"));
    ASSERT_TRUE(PressKey(window, VK_RIGHT));
    ASSERT_TRUE(Shows(window, 2)) << LogAndTrace();
    EXPECT_TRUE(Logged("Got .. url2_2[pages/2.png]"));
    const std::string trace = viewer.Trace();
    EXPECT_TRUE(Matches(trace, "via file \\S*pages/1\\.png")) << trace;
    EXPECT_TRUE(Matches(trace, "file route failed .*trying a moniker \\S*pages/2\\.png")) << trace;

    const std::vector<TRequest> requests = Requests(trace);
    for (const char* page : {"pages/1.png", "pages/2.png"}) {
      const bool elsewhere = std::any_of(requests.begin(), requests.end(), [&](const TRequest& r) {
        return r.url.find(page) != std::string::npos && r.thread != r.windowThread;
      });
      EXPECT_EQ(elsewhere, workers) << page << "\n" << trace;
    }
  }
}

// A book checked block by block, page 2 damaged in a block of its own: page 1
// shows, turning the page shows no part of page 2, the log names the block
// and the page, and the viewer runs on and closes as ever. Pages come one by
// one from the window's thread, so page 1 is read before the damage is found.
TEST_F(ReaderInput, ADamagedPageIsNotShownAndTheLogNamesItsBlock) {
  const TScopedVariable threads(L"MINIPLAYER_THREADS", "0");
  TBookFiles files = PlayingBook();
  ASSERT_EQ(files[1].first, "pages/2.png");
  // Page 2 between two fillers of more than a block: no other file shares
  // a block with it.
  files.insert(files.begin() + 2, {"after.bin", std::string(2 * 4096, 'b')});
  files.insert(files.begin() + 1, {"before.bin", std::string(2 * 4096, 'a')});
  const std::string path = BookWithADamagedBlock(files, "damaged-page.exe", "pages/2.png");

  TViewerProcess viewer(path, {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Shows(window, 1)) << LogAndTrace();
  ASSERT_TRUE(PressKey(window, VK_RIGHT));
  EXPECT_TRUE(WaitFor([&] { return Logged("[pages/2.png]; nothing more is served from it"); }))
      << LogAndTrace();
  EXPECT_FALSE(WaitFor([&] { return ClientCentre(window) == PageColour(2); }, 2000))
      << LogAndTrace();
  EXPECT_TRUE(Shows(window, 1)) << LogAndTrace();
  EXPECT_TRUE(Logged("The book is damaged: block ")) << LogAndTrace();
  EXPECT_EQ(viewer.Close(), 0u);
}

// Damage in a file nobody asks for is found by the whole check the viewer
// runs in the background once the book is up: the log says so, and the
// viewer closes as ever.
TEST_F(ReaderInput, DamageNobodyReadIsFoundInTheBackground) {
  TBookFiles files = PlayingBook();
  files.push_back({"unread.bin", std::string(3 * 4096, 'u')});
  const std::string path = BookWithADamagedBlock(files, "damaged-unread.exe", "unread.bin");

  TViewerProcess viewer(path, {"-D", "-F" + log_});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Shows(window, 1)) << LogAndTrace();
  EXPECT_TRUE(WaitFor([&] {
    return Logged("The book is damaged: the whole book does not match its digest");
  })) << LogAndTrace();
  EXPECT_EQ(viewer.Close(), 0u);
}

// Closing stops the runtime's workers while requests are held in flight by
// MINIPLAYER_DELAY: every round exits cleanly. The book of twelve pages has
// the runtime preload eleven of them at once.
TEST_F(ReaderInput, ClosingWhileRequestsAreInFlightExitsCleanly) {
  constexpr int kRounds = 50;
  constexpr DWORD kHangLimitMs = 20000;
  const TScopedVariable delay(L"MINIPLAYER_DELAY", "800");
  const std::string book = Book(PlayingBook(12));
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TViewerProcess viewer(book, {});
    ASSERT_TRUE(viewer.Started());
    ASSERT_TRUE(WaitFor([&] { return MostInFlight(viewer.Trace()) >= 8; })) << viewer.Trace();
    ASSERT_EQ(viewer.Close(kHangLimitMs), 0u) << viewer.Trace();
  }
}

// The check every end-to-end test relies on: a viewer whose runtime was called
// from a foreign thread fails the test that closes it; another viewer's line
// in the same trace does not.
TEST_F(ReaderInput, AForeignThreadCallInTheTraceFailsTheTest) {
  TViewerProcess viewer(Book(PlayingBook()), {});
  ASSERT_NE(viewer.MainWindow(), nullptr);
  std::ofstream(trace_, std::ios::app)
      << "miniplayer 0: called from a foreign thread: IOleObject::DoVerb\n"
      << "miniplayer " << viewer.ProcessId()
      << ": called from a foreign thread: IOleObject::Close\n";
  EXPECT_NONFATAL_FAILURE(viewer.Close(), "called from a foreign thread: IOleObject::Close");
}

}  // namespace
}  // namespace leafbook::testing
