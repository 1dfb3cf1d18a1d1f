// The playhead: frame stepping, looping, the frame actions and their requests.
#include <gtest/gtest.h>

#include "miniplayer/Timeline.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::miniplayer {
namespace {

using swf::TActions;
using swf::TSwfWriter;

class TRecorder : public ITimelineHost {
 public:
  void OnGetUrl(const std::string& url, const std::string& target) override {
    requests.push_back(url + " -> " + target);
  }
  void OnFrameShown(int frame) override { shown.push_back(frame); }

  std::vector<std::string> requests;
  std::vector<int> shown;
};

std::shared_ptr<const TSwfMovie> Frames(int count) {
  TSwfWriter movie;
  for (int i = 0; i < count; ++i) {
    movie.ShowFrame();
  }
  return ParseMovie(movie.Bytes());
}

TEST(Timeline, PlaysToTheEndAndStopsOrLoops) {
  TRecorder host;
  TTimeline timeline(Frames(3), host);
  timeline.Start();
  EXPECT_TRUE(timeline.Playing());
  timeline.Tick(false);
  timeline.Tick(false);
  EXPECT_EQ(timeline.CurrentFrame(), 2);
  timeline.Tick(false);
  EXPECT_FALSE(timeline.Playing());
  EXPECT_EQ(timeline.CurrentFrame(), 2);

  timeline.Play();
  timeline.Tick(true);
  EXPECT_EQ(timeline.CurrentFrame(), 0);
  EXPECT_EQ(host.shown, (std::vector<int>{0, 1, 2, 0}));
}

TEST(Timeline, ForwardAndBackStopAtTheEnds) {
  TRecorder host;
  TTimeline timeline(Frames(2), host);
  timeline.Start();
  timeline.Back();
  EXPECT_EQ(timeline.CurrentFrame(), 0);
  EXPECT_FALSE(timeline.Playing());
  timeline.Forward();
  timeline.Forward();
  EXPECT_EQ(timeline.CurrentFrame(), 1);
  timeline.GotoFrame(99);
  EXPECT_EQ(timeline.CurrentFrame(), 1);
  timeline.GotoFrame(-5);
  EXPECT_EQ(timeline.CurrentFrame(), 0);
}

TEST(Timeline, FrameActionsStopJumpAndRequest) {
  TSwfWriter movie;
  movie.DoAction(TActions().GetUrl("pages/1.jpg", "_level1").Stop()).ShowFrame();
  movie.DoAction(TActions().Push("a.swf").Push("_level3").GetUrl2().GotoFrame(3)).ShowFrame();
  movie.ShowFrame();
  movie.FrameLabel("end").DoAction(TActions().FsCommand("done", "yes")).ShowFrame();
  TRecorder host;
  TTimeline timeline(ParseMovie(movie.Bytes()), host);
  timeline.Start();
  EXPECT_FALSE(timeline.Playing());
  EXPECT_EQ(timeline.CurrentFrame(), 0);
  timeline.Forward();
  EXPECT_EQ(timeline.CurrentFrame(), 3);
  EXPECT_EQ(timeline.CurrentLabel(), "end");
  EXPECT_EQ(host.requests, (std::vector<std::string>{"pages/1.jpg -> _level1", "a.swf -> _level3",
                                                     "FSCommand:done -> yes"}));
  EXPECT_EQ(host.shown, (std::vector<int>{0, 1, 3}));
  EXPECT_TRUE(timeline.GotoLabel("end"));
  EXPECT_FALSE(timeline.GotoLabel("nowhere"));
}

TEST(Timeline, GetUrl2OnAnEmptyStackRequestsNothingNamed) {
  TSwfWriter movie;
  movie.DoAction(TActions().GetUrl2()).ShowFrame();
  TRecorder host;
  TTimeline timeline(ParseMovie(movie.Bytes()), host);
  timeline.Start();
  EXPECT_EQ(host.requests, std::vector<std::string>{" -> "});
}

TEST(Timeline, FramesThatJumpToEachOtherForeverDoNotHang) {
  TSwfWriter movie;
  movie.DoAction(TActions().GotoFrame(1)).ShowFrame();
  movie.DoAction(TActions().GotoFrame(0)).ShowFrame();
  TRecorder host;
  TTimeline timeline(ParseMovie(movie.Bytes()), host);
  timeline.Start();
  EXPECT_EQ(host.shown.size(), 64u);
}

TEST(Timeline, CallFrameRunsActionsInPlace) {
  TSwfWriter movie;
  movie.DoAction(TActions().Stop()).ShowFrame();
  movie.DoAction(TActions().FsCommand("called", "")).ShowFrame();
  TRecorder host;
  TTimeline timeline(ParseMovie(movie.Bytes()), host);
  timeline.Start();
  timeline.CallFrame(1);
  timeline.CallFrame(7);
  EXPECT_EQ(timeline.CurrentFrame(), 0);
  EXPECT_EQ(host.requests, std::vector<std::string>{"FSCommand:called -> "});
}

TEST(Timeline, RequestsAheadAreWhatTheLaterFramesAskForWhenPlayed) {
  TSwfWriter movie;
  movie.DoAction(TActions().GetUrl("first.png", "_level1").Stop()).ShowFrame();
  movie.DoAction(TActions().GetUrl("2.png", "_level1").Push("2b.swf").Push("_level2").GetUrl2())
      .ShowFrame();
  movie.DoAction(TActions().FsCommand("page", "3")).ShowFrame();
  movie.DoAction(TActions().Push("left on the stack")).ShowFrame();  // a stack per frame
  movie.DoAction(TActions().GetUrl2()).ShowFrame();
  movie.ShowFrame();
  const auto parsed = ParseMovie(movie.Bytes());
  TRecorder host;
  TTimeline timeline(parsed, host);
  timeline.Start();
  host.requests.clear();
  for (int frame = 1; frame < timeline.TotalFrames(); ++frame) {
    timeline.Forward();
  }
  std::vector<std::string> ahead;
  for (const TUrlRequest& request : RequestsAhead(*parsed)) {
    ahead.push_back(request.url + " -> " + request.target);
  }
  EXPECT_EQ(ahead, host.requests);
  EXPECT_EQ(ahead, (std::vector<std::string>{"2.png -> _level1", "2b.swf -> _level2",
                                             "FSCommand:page -> 3", " -> "}));
}

}  // namespace
}  // namespace leafbook::miniplayer
