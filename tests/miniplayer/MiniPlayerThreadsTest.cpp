// The stand-in runtime's threads: requests fetched on workers of its own and
// ahead of the frames that ask for them, held requests stopped and joined by
// Close, and calls from threads other than the object's own traced.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "tests/miniplayer/PlayerFixture.h"
#include "tests/miniplayer/Png.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::miniplayer::testing {
namespace {

using leafbook::testing::Png;
using swf::TActions;
using swf::TSwfWriter;
namespace fs = std::filesystem;

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

// A switch of the runtime, set for one scope.
class TSwitch {
 public:
  TSwitch(const wchar_t* name, const wchar_t* value) : name_(name) {
    SetEnvironmentVariableW(name, value);
  }
  ~TSwitch() { SetEnvironmentVariableW(name_, nullptr); }
  TSwitch(const TSwitch&) = delete;
  TSwitch& operator=(const TSwitch&) = delete;

 private:
  const wchar_t* name_;
};

struct TRequestLine {
  DWORD thread;
  DWORD windowThread;
  int inFlight;
  std::string url;
};

std::vector<TRequestLine> RequestLines(const std::string& trace) {
  static const std::regex line(
      R"(request on thread (\d+) \(window thread (\d+)\), (\d+) in flight ([^\r\n]*))");
  std::vector<TRequestLine> lines;
  for (auto it = std::sregex_iterator(trace.begin(), trace.end(), line);
       it != std::sregex_iterator(); ++it) {
    lines.push_back({static_cast<DWORD>(std::stoul((*it)[1])),
                     static_cast<DWORD>(std::stoul((*it)[2])), std::stoi((*it)[3]), (*it)[4]});
  }
  return lines;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

class MiniPlayerThreads : public MiniPlayer, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    SetEnvironmentVariableW(L"MINIPLAYER_THREADS", GetParam() ? nullptr : L"0");
    MiniPlayer::SetUp();
  }
  void TearDown() override {
    MiniPlayer::TearDown();
    SetEnvironmentVariableW(L"MINIPLAYER_THREADS", nullptr);
  }
};

// A book whose later pages are fetched ahead (with workers): a page that is
// missing while it is fetched ahead is asked for again when its frame comes.
TEST_P(MiniPlayerThreads, PagesComeFromWorkersAndAheadOrAllFromTheWindowThread) {
  const bool threaded = GetParam();
  const std::string page2 = Png(20, 10, 0xFF00FF00);
  const std::string page3 = Png(30, 10, 0xFF0000FF);
  Write("pages/1.png", Png(10, 10, 0xFFFF0000));
  Write("pages/2.png", page2);
  Write("pages/3.png", page3);
  TSwfWriter movie;
  movie.DoAction(TActions().GetUrl("pages/1.png", "_level1").Stop()).ShowFrame();
  movie.DoAction(TActions().GetUrl("pages/2.png", "_level1")).ShowFrame();
  movie.DoAction(TActions().Push("pages/3.png").Push("_level1").GetUrl2()).ShowFrame();
  movie.DoAction(TActions().GetUrl("pages/late.png", "_level1")).ShowFrame();
  movie.DoAction(TActions().FsCommand("last", "_level1")).ShowFrame();
  ASSERT_TRUE(Play(Write("book.swf", movie.Bytes()).wstring()));
  ASSERT_TRUE(WaitTrace("loaded level 1 image 10x10")) << ReadTrace(trace_.wstring());
  auto path = [&](const char* name) { return Narrow((dir_.Path() / name).wstring()); };
  if (threaded) {
    ASSERT_TRUE(
        WaitTrace("received " + std::to_string(page2.size()) + " bytes " + path("pages/2.png")));
    ASSERT_TRUE(
        WaitTrace("received " + std::to_string(page3.size()) + " bytes " + path("pages/3.png")));
    ASSERT_TRUE(WaitTrace("preload failed " + path("pages/late.png")))
        << ReadTrace(trace_.wstring());
  }
  Write("pages/late.png", Png(40, 10, 0xFFFFFFFF));
  for (const char* shown : {"20x10", "30x10", "40x10"}) {
    Call(dispatch_.Get(), L"Forward", {});
    ASSERT_TRUE(WaitTrace(std::string("loaded level 1 image ") + shown))
        << ReadTrace(trace_.wstring());
  }
  Call(dispatch_.Get(), L"Forward", {});
  EXPECT_TRUE(PumpUntil([&] { return sink_.Has(150, {L"last", L"_level1"}); }));

  const std::string trace = ReadTrace(trace_.wstring());
  const auto requests = RequestLines(trace);
  ASSERT_GE(requests.size(), 5u) << trace;  // the movie and four pages
  for (const TRequestLine& request : requests) {
    SCOPED_TRACE(request.url);
    EXPECT_EQ(request.windowThread, GetCurrentThreadId());
    EXPECT_EQ(request.thread != request.windowThread, threaded);
  }
  EXPECT_EQ(trace.find("preload") != std::string::npos, threaded);
  if (threaded) {
    EXPECT_TRUE(TraceHas("request level 1 from cache " + path("pages/2.png"))) << trace;
    EXPECT_TRUE(TraceHas("request level 1 from cache " + path("pages/3.png")));
    // The first frame's request is its own; Flash commands are no requests.
    EXPECT_FALSE(TraceHas("preload level 1 " + path("pages/1.png")));
    EXPECT_FALSE(TraceHas("FSCommand:last"));
  }
}

INSTANTIATE_TEST_SUITE_P(WorkersOrNone, MiniPlayerThreads, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Workers" : "NoWorkers"; });

TEST_F(MiniPlayer, HeldRequestsAreInFlightTogetherUntilCloseStopsAndJoinsThem) {
  TSwfWriter movie;
  movie.ShowFrame();
  const std::string bytes = movie.Bytes();
  {
    // Long enough that a Close that waited the hold out would stand out.
    TSwitch delay(L"MINIPLAYER_DELAY", L"600000");
    for (int level = 1; level <= 3; ++level) {
      const fs::path path = Write("held" + std::to_string(level) + ".swf", bytes);
      Call(dispatch_.Get(), L"LoadMovie", {Int(level), Str(path.wstring())});
    }
    ASSERT_TRUE(PumpUntil([&] { return RequestLines(ReadTrace(trace_.wstring())).size() == 3; }))
        << ReadTrace(trace_.wstring());
  }
  const auto requests = RequestLines(ReadTrace(trace_.wstring()));
  std::set<DWORD> threads;
  int most = 0;
  for (const TRequestLine& request : requests) {
    EXPECT_NE(request.thread, GetCurrentThreadId());
    threads.insert(request.thread);
    most = std::max(most, request.inFlight);
  }
  EXPECT_EQ(threads.size(), 3u);
  EXPECT_EQ(most, 3);

  EXPECT_EQ(player_->Close(OLECLOSE_NOSAVE), S_OK);
  const std::string trace = ReadTrace(trace_.wstring());
  EXPECT_TRUE(TraceHas("workers stopped 3")) << trace;
  EXPECT_EQ(Count(trace, "stopped before opening"), 3u) << trace;
  EXPECT_FALSE(TraceHas("via file"));
  Pump(50);
  EXPECT_FALSE(TraceHas("loaded level"));
}

TEST_F(MiniPlayer, CallsFromAnotherThreadAreTracedAsForeign) {
  auto control = player_.As<IOleControl>(IID_IOleControl);
  auto inPlace = player_.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
  auto active = player_.As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
  auto container = player_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
  struct TCall {
    const char* name;
    std::function<void()> call;
  };
  const TCall calls[] = {
      {"IOleObject::GetUserClassID",
       [&] {
         CLSID clsid;
         player_->GetUserClassID(&clsid);
       }},
      {"IOleObject::GetMiscStatus",
       [&] {
         DWORD status;
         player_->GetMiscStatus(DVASPECT_CONTENT, &status);
       }},
      {"IOleControl::GetControlInfo",
       [&] {
         CONTROLINFO info{sizeof(CONTROLINFO), nullptr, 0, 0};
         control->GetControlInfo(&info);
       }},
      {"IOleWindow::GetWindow",
       [&] {
         HWND window;
         inPlace->GetWindow(&window);
       }},
      {"IOleInPlaceActiveObject::TranslateAccelerator",
       [&] {
         MSG message{nullptr, WM_KEYDOWN, VK_RIGHT, 0, 0, {0, 0}};
         active->TranslateAccelerator(&message);
       }},
      {"IDispatch::GetIDsOfNames", [&] { Get(dispatch_.Get(), L"FlashVersion"); }},
      {"IDispatch::Invoke", [&] { Get(dispatch_.Get(), L"FlashVersion"); }},
      {"IConnectionPointContainer::FindConnectionPoint",
       [&] {
         TComPtr<IConnectionPoint> point;
         container->FindConnectionPoint(kEvents, point.Put());
       }},
      {"IConnectionPoint::GetConnectionInterface",
       [&] {
         IID iid;
         point_->GetConnectionInterface(&iid);
       }},
  };
  for (const TCall& call : calls) {
    call.call();
  }
  EXPECT_FALSE(TraceHas("called from a foreign thread")) << ReadTrace(trace_.wstring());

  std::thread([&] {
    for (const TCall& call : calls) {
      call.call();
    }
  }).join();
  for (const TCall& call : calls) {
    EXPECT_TRUE(TraceHas(std::string("called from a foreign thread: ") + call.name + "\n"))
        << call.name << "\n"
        << ReadTrace(trace_.wstring());
  }
}

}  // namespace
}  // namespace leafbook::miniplayer::testing
