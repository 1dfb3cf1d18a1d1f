// The movie writer and the runtime's parser together: what is written is read
// back, and no damaged or truncated movie makes the parser misbehave.
#include <gtest/gtest.h>

#include <random>

#include "miniplayer/SwfMovie.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::miniplayer {
namespace {

using swf::TActions;
using swf::TSwfWriter;

std::string Sample(bool compressed) {
  TSwfWriter movie(6, 640, 480, 24.0);
  movie.SetBackgroundColor(0x336699);
  movie.FrameLabel("start");
  movie.DoAction(TActions().Stop().GetUrl("pages/1.jpg", "_level1"));
  movie.ShowFrame();
  movie.DoAction(TActions().Push("pages/2.png").Push("_level2").GetUrl2().FsCommand("turn", "2"));
  movie.RawTag(777, "unknown tag body");
  movie.ShowFrame();
  movie.DoAction(TActions().GotoFrame(0).Play().NextFrame().PrevFrame().GotoLabel("start"));
  movie.ShowFrame();
  return movie.Bytes(compressed);
}

class SwfRoundTrip : public ::testing::TestWithParam<bool> {};

TEST_P(SwfRoundTrip, ReadsBackWhatWasWritten) {
  const std::string bytes = Sample(GetParam());
  EXPECT_EQ(bytes.substr(0, 3), GetParam() ? "CWS" : "FWS");
  auto movie = ParseMovie(bytes);
  EXPECT_EQ(movie->version, 6);
  EXPECT_EQ(movie->compressed, GetParam());
  EXPECT_EQ(movie->widthTwips, 640 * 20);
  EXPECT_EQ(movie->heightTwips, 480 * 20);
  EXPECT_DOUBLE_EQ(movie->frameRate, 24.0);
  EXPECT_EQ(movie->declaredFrames, 3);
  ASSERT_TRUE(movie->background.has_value());
  EXPECT_EQ(*movie->background, 0x336699u);
  ASSERT_EQ(movie->frames.size(), 3u);
  EXPECT_EQ(movie->frames[0].label, "start");
  EXPECT_EQ(movie->FrameOfLabel("start"), 0);
  EXPECT_EQ(movie->skippedTags, 1);

  const auto& first = movie->frames[0].actions;
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].code, swf::kActionStop);
  EXPECT_EQ(first[1].code, swf::kActionGetURL);
  EXPECT_EQ(first[1].url, "pages/1.jpg");
  EXPECT_EQ(first[1].target, "_level1");

  const auto& second = movie->frames[1].actions;
  ASSERT_EQ(second.size(), 4u);
  EXPECT_EQ(second[0].values, std::vector<std::string>{"pages/2.png"});
  EXPECT_EQ(second[2].code, swf::kActionGetURL2);
  EXPECT_EQ(second[3].url, "FSCommand:turn");
  EXPECT_EQ(second[3].target, "2");

  const auto& third = movie->frames[2].actions;
  ASSERT_EQ(third.size(), 5u);
  EXPECT_EQ(third[0].frame, 0);
  EXPECT_EQ(third[4].label, "start");
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompressed, SwfRoundTrip, ::testing::Bool());

TEST(SwfMovie, UnknownActionsAreSkippedAndPushedNumbersBecomeText) {
  TSwfWriter movie;
  movie.DoAction(TActions().Raw(0x4C).Raw(0x8E, "abc").PushInt(-42).Stop());
  movie.ShowFrame();
  auto parsed = ParseMovie(movie.Bytes());
  EXPECT_EQ(parsed->skippedActions, 2);
  ASSERT_EQ(parsed->frames[0].actions.size(), 2u);
  EXPECT_EQ(parsed->frames[0].actions[0].values, std::vector<std::string>{"-42"});
}

TEST(SwfMovie, AMovieWithoutFramesStillHasOne) {
  auto parsed = ParseMovie(TSwfWriter().Bytes());
  EXPECT_EQ(parsed->frames.size(), 1u);
}

TEST(SwfMovie, ActionsAfterTheLastShowFrameMakeAFrame) {
  TSwfWriter movie;
  movie.ShowFrame().DoAction(TActions().Stop());
  EXPECT_EQ(ParseMovie(movie.Bytes())->frames.size(), 2u);
}

std::string WithLength(std::string bytes, uint32_t length) {
  for (int i = 0; i < 4; ++i) {
    bytes[4 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  }
  return bytes;
}

struct TDamage {
  const char* name;
  std::string bytes;
  const char* message;  // part of the expected message
};

std::vector<TDamage> DamagedMovies() {
  const std::string plain = Sample(false);
  const std::string packed = Sample(true);
  std::string badPush = TSwfWriter().DoAction(TActions().Raw(0x96, "\x0B")).ShowFrame().Bytes();
  std::string corruptZlib = packed;
  for (size_t i = 12; i < corruptZlib.size(); i += 3) {
    corruptZlib[i] = static_cast<char>(corruptZlib[i] ^ 0x5A);
  }
  TSwfWriter longTag;
  longTag.RawTag(12, std::string(10, '\x07'));
  std::string tagPastEnd = longTag.Bytes();
  tagPastEnd[tagPastEnd.size() - 14] = '\x7F';  // body length now beyond the file
  TSwfWriter unterminated;
  unterminated.RawTag(43, "no terminator");
  return {
      {"empty", "", "signature"},
      {"other file", "GIF89a not a movie", "signature"},
      {"header cut", plain.substr(0, 6), "header"},
      {"declared length below the header", WithLength(plain, 4), "too small"},
      {"declared length huge", WithLength(plain, 0xFFFFFFF0u), "too large"},
      {"body truncated", plain.substr(0, plain.size() - 5), "truncated"},
      {"compressed body truncated", packed.substr(0, packed.size() / 2), "truncated"},
      {"compressed body corrupt", corruptZlib, "corrupt"},
      {"tag past the end", tagPastEnd, "runs past"},
      {"unknown push type", badPush, "push"},
      {"unterminated label", unterminated.Bytes(), "unterminated"},
  };
}

TEST(SwfMovie, DamagedMoviesRaiseWithAMessage) {
  for (const TDamage& damage : DamagedMovies()) {
    SCOPED_TRACE(damage.name);
    try {
      ParseMovie(damage.bytes);
      ADD_FAILURE() << "parsed";
    } catch (const EDamagedMovie& error) {
      EXPECT_NE(std::string(error.what()).find(damage.message), std::string::npos) << error.what();
    }
  }
}

// Every prefix of a movie, plain and compressed, either parses or raises.
TEST(SwfMovie, EveryTruncationIsHandled) {
  for (bool compressed : {false, true}) {
    const std::string bytes = Sample(compressed);
    for (size_t length = 0; length < bytes.size(); ++length) {
      try {
        ParseMovie(bytes.substr(0, length));
      } catch (const EDamagedMovie&) {
      }
    }
  }
}

// Seeded byte corruption: the sanitizers watch for any stray read.
TEST(SwfMovie, CorruptedBytesNeverMisbehave) {
  std::mt19937 random(20261210);
  const std::string original = Sample(false);
  int raised = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = original;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
      bytes[3 + random() % (bytes.size() - 3)] = static_cast<char>(random());
    }
    try {
      ParseMovie(bytes);
    } catch (const EDamagedMovie&) {
      ++raised;
    }
  }
  EXPECT_GT(raised, 0);
}

}  // namespace
}  // namespace leafbook::miniplayer

namespace leafbook::miniplayer {
namespace {

TEST(SwfBook, OneFramePerPageLoadingItsImageIntoLayerOne) {
  auto movie = ParseMovie(swf::BookMovie(3, "pages/%d.png", true));
  EXPECT_TRUE(movie->compressed);
  ASSERT_EQ(movie->frames.size(), 3u);
  for (int page = 1; page <= 3; ++page) {
    const TSwfFrame& frame = movie->frames[static_cast<size_t>(page - 1)];
    EXPECT_EQ(frame.label, "page" + std::to_string(page));
    ASSERT_EQ(frame.actions.size(), 2u);
    EXPECT_EQ(frame.actions[0].url, "pages/" + std::to_string(page) + ".png");
    EXPECT_EQ(frame.actions[0].target, "_level1");
    EXPECT_EQ(frame.actions[1].code, swf::kActionStop);
  }
}

TEST(SwfBook, AsksForFullScreenOnItsFirstPageWhenTold) {
  auto movie = ParseMovie(swf::BookMovie(2, "p%d.jpg", false, true));
  ASSERT_EQ(movie->frames[0].actions.size(), 3u);
  EXPECT_EQ(movie->frames[0].actions[0].url, "FSCommand:fullscreen");
  EXPECT_EQ(movie->frames[0].actions[0].target, "true");
  EXPECT_EQ(movie->frames[1].actions.size(), 2u);
}

TEST(SwfBook, TheFirstPageMayHaveAUrlOfItsOwn) {
  auto movie = ParseMovie(swf::BookMovie(2, "./pages/%d.png", false, false, "pages/1.png"));
  EXPECT_EQ(movie->frames[0].actions[0].url, "pages/1.png");
  EXPECT_EQ(movie->frames[1].actions[0].url, "./pages/2.png");
}

}  // namespace
}  // namespace leafbook::miniplayer
