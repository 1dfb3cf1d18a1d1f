// The whole chain with the stand-in runtime: each of its versions made by the
// process's runtime code provider, a control on a form, movies written by the
// movie writer played from memory, and the movie's requests for files coming
// back as the control's resource events.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "framework/base/Platform.h"
#include "tests/app/ViewerProcess.h"
#include "tests/flashhost/FlashHostFixture.h"
#include "tests/flashhost/StandInRuntime.h"
#include "tests/miniplayer/Png.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::testing {

// The harness's report of a viewer whose runtime was called from a foreign
// thread; this executable closes no viewer, but the harness is linked in.
void ReportForeignThreadCall(const std::string& line) {
  ADD_FAILURE() << "the runtime was called from a thread other than its own: " << line;
}

namespace {

namespace fs = std::filesystem;
using swf::TActions;
using swf::TSwfWriter;

bool PumpUntil(const std::function<bool()>& done, int limitMs = 15000) {
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(limitMs);
  while (!done()) {
    if (static_cast<LONG>(end - ::GetTickCount()) <= 0) {
      return false;
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return true;
}

void Play(TFlashPlayerControl& control, const std::string& movie) {
  TMemoryStream stream;
  stream.WriteBuffer(movie.data(), static_cast<int32_t>(movie.size()));
  control.PlayMovieFromStream(stream);
}

struct TVariantCase {
  const char* file;
  int major;        // as the control sees it
  uint32_t module;  // the module's version
};

class Chain : public FlashHostTest, public ::testing::WithParamInterface<TVariantCase> {
 protected:
  TFlashPlayerControl& PlayingControl() {
    if (!UseStandInRuntime(GetParam().file)) {
      ADD_FAILURE() << "the stand-in runtime " << GetParam().file << " did not load";
    }
    TFlashPlayerControl& control = MakeControl(false);
    control.SetParent(form_.get());
    control.SetAlign(TAlign::Client);
    control.Handle();
    return control;
  }
};

TEST_P(Chain, EachVersionPlaysAMovieFromMemoryAndRaisesItsCommands) {
  TFlashPlayerControl& control = PlayingControl();
  ASSERT_NE(control.RuntimeObject(), nullptr);
  EXPECT_EQ(RuntimeCodeProvider()->GetVersion(), GetParam().module);
  EXPECT_EQ(control.RuntimeMajorVersion(), GetParam().major);
  std::vector<std::wstring> commands;
  control.OnFSCommand = [&](TFlashPlayerControl*, const std::wstring& command,
                            const std::wstring& args) {
    commands.push_back(command + L" " + args);
  };
  TSwfWriter movie(6, 320, 240, 30.0);
  movie.DoAction(TActions().FsCommand("fullscreen", "true").Stop()).ShowFrame();
  Play(control, movie.Bytes());
  ASSERT_TRUE(PumpUntil([&] { return !commands.empty(); }));
  EXPECT_EQ(commands.front(), L"fullscreen true");
  EXPECT_EQ(control.TotalFrames(), 1);
  // The version gates hold against the real thing too.
  control.SetFlashVars(L"page=3");
  EXPECT_EQ(control.FlashVars(), L"page=3");
  EXPECT_EQ(control.AllowFullscreen(), false);
  control.SetAllowFullscreen(true);
  EXPECT_TRUE(control.AllowFullscreen());
}

INSTANTIATE_TEST_SUITE_P(Versions, Chain,
                         ::testing::Values(TVariantCase{"miniplayer-6.ocx", 6, 0x06004F00},
                                           TVariantCase{"miniplayer-7.ocx", 7, 0x07001300},
                                           TVariantCase{"miniplayer-8.ocx", 8, 0x08001800},
                                           TVariantCase{"miniplayer.ocx", 8, 0x0A002D02},
                                           TVariantCase{"miniplayer-9.0.28.0.ocx", 8, 0x09001C00},
                                           TVariantCase{"miniplayer-9.0.27.0.ocx", 8, 0x09001B00}),
                         [](const ::testing::TestParamInfo<TVariantCase>& info) {
                           std::string name = info.param.file;
                           for (char& c : name) {
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

using Pages = FlashHostTest;

std::string PageMovie() {
  TSwfWriter movie(6, 320, 240, 30.0);
  movie.SetBackgroundColor(0x102030);
  movie.DoAction(TActions().GetUrl("pages/1.png", "_level1").Stop()).ShowFrame();
  return movie.Bytes();
}

TEST_F(Pages, APageByUrlComesFromTheResourceEventsAndIsShown) {
  ASSERT_TRUE(UseStandInRuntime("miniplayer.ocx"));
  TFlashPlayerControl& control = MakeControl(false);
  control.SetParent(form_.get());
  control.SetBounds(0, 0, 320, 240);
  control.Handle();
  std::vector<std::wstring> requests;
  control.OnLoadExternalResourceEx = [&](TFlashPlayerControl*, const std::wstring& url, TStream*,
                                         bool&) { requests.push_back(L"ex " + url); };
  const std::string page = Png(320, 240, 0xFF00FF00);
  control.OnLoadExternalResource = [&](TFlashPlayerControl*, const std::wstring& url,
                                       TStream* stream) {
    requests.push_back(L"load " + url);
    if (url == L"pages/1.png") {
      stream->WriteBuffer(page.data(), static_cast<int32_t>(page.size()));
    }
  };
  Play(control, PageMovie());
  ASSERT_TRUE(PumpUntil([&] { return requests.size() >= 2; }));
  EXPECT_EQ(requests[0], L"ex pages/1.png");
  EXPECT_EQ(requests[1], L"load pages/1.png");

  // The page is on the screen where the control is.
  POINT middle{160, 120};
  ::ClientToScreen(control.Handle(), &middle);
  const auto green = [&] {
    ::RedrawWindow(control.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const TWindowDC screen(nullptr);
    return ::GetPixel(screen.Get(), middle.x, middle.y) == RGB(0, 255, 0);
  };
  EXPECT_TRUE(PumpUntil(green, 5000));
  const fs::path folder = fs::path(platform::ExecutablePath()).parent_path() / "screenshots";
  fs::create_directories(folder);
  SaveScreenPng((folder / "flashhost-page.png").string());
}

TEST_F(Pages, APageOpenedAsAFileComesFromTheAsynchronousEvents) {
  ASSERT_TRUE(UseStandInRuntime("miniplayer.ocx"));
  TFlashPlayerControl& control = MakeControl(true);
  std::vector<std::wstring> requests;
  const std::string page = Png(40, 20, 0xFF0000FF);
  TStream* supplied = nullptr;
  control.OnLoadExternalResourceAsync = [&](TFlashPlayerControl*, const std::wstring& path,
                                            TStream*& stream) {
    requests.push_back(L"async " + path);
    if (path == L"pages/1.png") {
      auto memory = std::make_unique<TMemoryStream>();
      memory->WriteBuffer(page.data(), static_cast<int32_t>(page.size()));
      supplied = memory.get();
      stream = memory.release();  // the content manager's from here on
    }
  };
  control.OnUnloadExternalResourceAsync = [&](TFlashPlayerControl*, TStream* stream) {
    requests.push_back(stream == supplied ? L"unload page" : L"unload other");
  };
  Play(control, PageMovie());
  ASSERT_TRUE(PumpUntil([&] {
    return std::find(requests.begin(), requests.end(), L"unload page") != requests.end();
  }));
  EXPECT_NE(std::find(requests.begin(), requests.end(), L"async pages/1.png"), requests.end());
}

TEST_F(Pages, ClosingWhileARuntimeThreadsDeliveryWaitsForTheMainThreadDoesNotHang) {
  ASSERT_TRUE(UseStandInRuntime("miniplayer.ocx"));
  TFlashPlayerControl& control = MakeControl(true);
  const std::string page = Png(40, 20, 0xFF0000FF);
  std::atomic<bool> supplying{false};
  control.OnLoadExternalResource = [&](TFlashPlayerControl*, const std::wstring& url,
                                       TStream* stream) {
    if (url != L"pages/1.png") {
      return;
    }
    supplying = true;
    ::Sleep(200);  // long enough for the main thread below to stop serving its queue
    stream->WriteBuffer(page.data(), static_cast<int32_t>(page.size()));
  };
  Play(control, PageMovie());
  ASSERT_TRUE(PumpUntil([&] { return supplying.load(); }));
  // The main thread serves nothing now: the runtime's thread hands the page to
  // it and waits. The runtime's Close waits for that thread in turn; the
  // control must not leave them waiting for each other.
  ::Sleep(400);
  control_.reset();
  SUCCEED();
}

}  // namespace
}  // namespace leafbook::testing
