// The control's property surface and methods: the version gates, the caches,
// the runtime's failures, and movies played from streams.
#include <gtest/gtest.h>

#include "content/MemoryPath.h"
#include "framework/base/OleCheck.h"
#include "runtime/RuntimeUnit.h"
#include "tests/content/RecordingCallback.h"
#include "tests/flashhost/FlashHostFixture.h"

namespace leafbook::testing {
namespace {

using Properties = FlashHostTest;

struct TGateCase {
  int major;  // the runtime's own major version
  const wchar_t* property;
  bool reaches;
};

void Write(TFlashPlayerControl& control, const std::wstring& property) {
  if (property == L"FlashVars") {
    control.SetFlashVars(L"v");
  } else if (property == L"SWRemote") {
    control.SetSWRemote(L"v");
  } else if (property == L"Stacking") {
    control.SetStacking(L"v");
  } else if (property == L"AllowScriptAccess") {
    control.SetAllowScriptAccess(L"v");
  } else if (property == L"MovieData") {
    control.SetMovieData(L"v");
  } else if (property == L"Quality2") {
    control.SetQuality2(L"v");
  }
}

std::wstring Read(TFlashPlayerControl& control, const std::wstring& property) {
  if (property == L"FlashVars") {
    return control.FlashVars();
  }
  if (property == L"SWRemote") {
    return control.SWRemote();
  }
  if (property == L"Stacking") {
    return control.Stacking();
  }
  if (property == L"AllowScriptAccess") {
    return control.AllowScriptAccess();
  }
  if (property == L"MovieData") {
    return control.MovieData();
  }
  return control.Quality2();
}

TEST_F(Properties, EachPropertyReachesTheRuntimeOnlyFromItsVersion) {
  const TGateCase cases[] = {
      {6, L"FlashVars", false}, {7, L"FlashVars", true},          {9, L"FlashVars", true},
      {10, L"FlashVars", true}, {6, L"AllowScriptAccess", false}, {8, L"AllowScriptAccess", true},
      {6, L"MovieData", false}, {7, L"MovieData", true},          {4, L"SWRemote", true},
      {5, L"SWRemote", true},   {6, L"SWRemote", false},          {7, L"SWRemote", true},
      {10, L"SWRemote", true},  {5, L"Stacking", true},           {4, L"Stacking", false},
      {6, L"Stacking", false},  {10, L"Stacking", false},         {3, L"Quality2", true},
      {2, L"Quality2", false},
  };
  for (const TGateCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + " " + std::string(c.property, c.property + 4));
    log_ = UseFakeRuntime();
    log_->flashVersion = c.major << 16 | 0x1234;
    TFlashPlayerControl control(form_.get());
    log_->Clear();
    Write(control, c.property);
    const std::string put =
        "Put " + std::string(c.property, c.property + wcslen(c.property)) + " v";
    EXPECT_EQ(log_->Saw(put), c.reaches) << log_->Joined();
    // Reads come from the runtime where it has the property, else the cache.
    log_->values[c.property] = L"from runtime";
    EXPECT_EQ(Read(control, c.property), c.reaches ? L"from runtime" : L"v");
  }
}

TEST_F(Properties, MajorVersionIsReadAfreshAndCappedAtEight) {
  TFlashPlayerControl& control = MakeControl(false);
  log_->flashVersion = 10 << 16;
  EXPECT_EQ(control.RuntimeMajorVersion(), 8);
  log_->flashVersion = 0x01060000;  // only the low byte of the high word counts
  EXPECT_EQ(control.RuntimeMajorVersion(), 6);
  log_->flashVersion = 6 << 16;
  EXPECT_EQ(control.RuntimeMajorVersion(), 6);
}

TEST_F(Properties, AllowFullscreenFollowsTheModuleVersionAsText) {
  for (uint32_t module : {0x09001B00u, 0x09001C00u}) {
    SCOPED_TRACE(module);
    log_ = UseFakeRuntime(module);
    TFlashPlayerControl control(form_.get());
    log_->values[L"AllowFullscreen"] = L"true";
    const bool has = module >= 0x09001C00u;
    EXPECT_EQ(control.AllowFullscreen(), has);  // below: the cache, still false
    log_->Clear();
    control.SetAllowFullscreen(true);
    EXPECT_EQ(log_->Saw("Put AllowFullscreen true"), has);
    EXPECT_TRUE(control.AllowFullscreen());
    log_->values[L"AllowFullscreen"] = L"yes";
    EXPECT_EQ(control.AllowFullscreen(), !has);  // only the text "true" is true
    control.SetAllowFullscreen(false);
    EXPECT_EQ(log_->Saw("Put AllowFullscreen false"), has);
  }
}

TEST_F(Properties, PlayingIsNeverForwardedInDesignState) {
  TFlashPlayerControl& control = MakeControl(false);
  control.SetDesigning(true);
  log_->Clear();
  control.SetPlaying(true);
  EXPECT_EQ(log_->Joined(), "");
  EXPECT_TRUE(control.Playing());
  control.SetDesigning(false);
  control.SetPlaying(false);
  EXPECT_TRUE(log_->Saw("Put Playing False") || log_->Saw("Put Playing 0")) << log_->Joined();
}

TEST_F(Properties, RuntimeFailuresAreSwallowedByAccessorsAndRaisedByMethods) {
  TFlashPlayerControl& control = MakeControl(false);
  control.SetFrameNum(12);
  control.SetLoop(true);
  control.SetBase(L"cached");
  log_->failAutomation = true;
  EXPECT_EQ(control.FrameNum(), 12);  // numbers and booleans: the cache
  EXPECT_TRUE(control.Loop());
  EXPECT_EQ(control.Base(), L"");  // texts: empty
  control.SetScale(L"exactfit");   // no exception
  EXPECT_THROW(control.Play(), EOleSysError);
  EXPECT_THROW(control.CurrentFrame(), EOleSysError);
  EXPECT_NO_THROW(control.LoadMovie(1, L"a.swf"));
}

TEST_F(Properties, MethodsCallTheRuntimeFromTheirMinimumVersion) {
  TFlashPlayerControl& control = MakeControl(false);
  log_->flashVersion = 3 << 16;
  log_->Clear();
  control.GotoFrame(4);
  control.SetVariable(L"a", L"b");        // from 4
  control.TGetPropertyAsNumber(L"/", 1);  // from 7
  control.CallFunction(L"<invoke/>");     // from 8
  EXPECT_TRUE(log_->Saw("Call GotoFrame 4"));
  const std::string calls = log_->Joined();
  EXPECT_EQ(calls.find("Call SetVariable"), std::string::npos) << calls;
  EXPECT_EQ(calls.find("Call TGetPropertyAsNumber"), std::string::npos) << calls;
  EXPECT_EQ(calls.find("Call CallFunction"), std::string::npos) << calls;
  log_->flashVersion = 10 << 16;
  log_->Clear();
  log_->values[L"CallFunction"] = L"<string>ok</string>";
  log_->values[L"CurrentFrame"] = L"7";
  control.SetVariable(L"a", L"b");
  EXPECT_EQ(control.CallFunction(L"<invoke/>"), L"<string>ok</string>");
  EXPECT_EQ(control.CurrentFrame(), 7);
  control.TSetPropertyNum(L"/", 2, 1.5);
  EXPECT_TRUE(log_->Saw("Call SetVariable a b"));
  EXPECT_TRUE(log_->Saw("Call TSetPropertyNum / 2 1.5"));
}

TEST_F(Properties, EachNameIsLookedUpOncePerRuntimeObject) {
  TFlashPlayerControl& control = MakeControl(false);
  log_->Clear();
  control.Movie();
  control.Movie();
  control.SetMovie(L"x");
  int lookups = 0;
  for (const std::string& call : log_->calls) {
    lookups += call == "GetIDsOfNames Movie" ? 1 : 0;
  }
  EXPECT_EQ(lookups, 1);
}

TEST_F(Properties, PlayingTheSameStreamTwiceMakesTwoFolders) {
  TFlashPlayerControl& control = MakeControl(false);
  TMemoryStream movie;
  const std::string bytes = "FWS\x06 some movie bytes";
  movie.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  // At its end: still played whole, and left at its end.
  log_->Clear();
  control.PlayMovieFromStream(movie);
  const std::wstring first = control.Movie();
  control.PlayMovieFromStream(movie);
  const std::wstring second = control.Movie();
  EXPECT_EQ(movie.GetPosition(), movie.Size());
  uint32_t firstId = 0, secondId = 0;
  std::wstring name;
  ASSERT_TRUE(ParseMemoryPath(first, firstId, name)) << std::string(first.begin(), first.end());
  ASSERT_TRUE(ParseMemoryPath(second, secondId, name));
  EXPECT_EQ(secondId, firstId + 1);
  // The placeholder first, then the path, each time.
  std::vector<std::string> puts;
  for (const std::string& call : log_->calls) {
    if (call.rfind("Put Movie ", 0) == 0) {
      puts.push_back(call.substr(10));
    }
  }
  ASSERT_EQ(puts.size(), 4u);
  EXPECT_EQ(puts[0], "file://46A10F369771449587DE913EFC0A258");
  EXPECT_EQ(puts[1], std::string(first.begin(), first.end()));

  // The runtime, binding the second path, gets the movie's bytes whole.
  TComPtr<IMoniker> moniker;
  ASSERT_EQ(ContentManager()->CreateMoniker(nullptr, second.c_str(), moniker.Put()), S_OK);
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  TComPtr<IBindCtx> context;
  ASSERT_EQ(::CreateAsyncBindCtx(0, callback.Get(), nullptr, context.Put()), S_OK);
  IStream* stream = nullptr;
  moniker->BindToStorage(context.Get(), nullptr, IID_IStream, reinterpret_cast<void**>(&stream));
  Pump(100);
  std::string received;
  for (const std::string& event : callback->Events()) {
    if (event.rfind("data ", 0) == 0) {
      received = event;
    }
  }
  EXPECT_NE(received.find("FWS"), std::string::npos) << received;
  EXPECT_NE(received.find("movie bytes"), std::string::npos) << received;
}

TEST_F(Properties, LayerMoviesGoThroughLoadMovie) {
  TFlashPlayerControl& control = MakeControl(false);
  log_->Clear();
  auto writer = control.OpenMovieLayerStream(3);
  ASSERT_TRUE(writer);
  writer.reset();
  ASSERT_GE(log_->calls.size(), 3u);
  EXPECT_TRUE(log_->Saw("Call LoadMovie 3 file://46A10F369771449587DE913EFC0A258"));
}

}  // namespace
}  // namespace leafbook::testing
