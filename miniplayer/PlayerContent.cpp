// How TMiniPlayer ties its rooms together: what it does when a load answers,
// when a movie asks for a URL or shows a frame, and when its window is
// painted, clicked or ticked. The events a load raises come in a fixed order
// (Progress 100, ReadyState 3, the first frame, ReadyState 4), which is why
// the placing and the starting of a layer are two steps of the stage.
#include "framework/base/AnsiText.h"
#include "miniplayer/Dispids.h"
#include "miniplayer/MovieUrl.h"
#include "miniplayer/Player.h"
#include "miniplayer/StagePainting.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

// ---------------------------------------------------------------- loads

void TMiniPlayer::MainLoadStarting() {
  SetReadyState(0);
}

void TMiniPlayer::MainLoadProgress(long percent) {
  FireProgress(percent);
}

void TMiniPlayer::MainLoadFailed() {
  readyState_ = 4;
}

void TMiniPlayer::Arrived(int level, const std::wstring& url, std::string bytes) {
  if (!stage_.Place(level, url, std::move(bytes))) {
    return;
  }
  if (level == 0) {
    queue_.ClearCache();
  }
  PreloadAhead(level);
  if (level == 0) {
    queue_.MainLoaded();
    FireProgress(100);
    SetReadyState(3);
  }
  stage_.Start(level);
  if (level == 0) {
    SetReadyState(4);
  }
  stage_.UpdateTimer();
  windows_.Invalidate();
}

void TMiniPlayer::Emptied(int level) {
  if (stage_.Unload(level)) {
    windows_.Invalidate();
  }
}

// ---------------------------------------------------------------- the playheads

TMiniPlayer::TMovieRequest TMiniPlayer::ReadRequest(const TLayer* layer, const std::string& url,
                                                    const std::string& target) {
  // Movies from version 6 on write their texts in UTF-8, older ones in the ANSI code page.
  const bool utf8 = layer != nullptr && layer->timeline && layer->timeline->Movie().version >= 6;
  // Relative URLs follow the Base property when it is set, else the movie asking.
  const std::wstring& base = strings_[kBase];
  return {utf8 ? Utf8ToWide(url) : AnsiToWide(url), utf8 ? Utf8ToWide(target) : AnsiToWide(target),
          !base.empty()      ? base
          : layer != nullptr ? layer->url
                             : std::wstring(),
          !utf8};
}

void TMiniPlayer::MovieGetUrl(int level, const std::string& rawUrl, const std::string& rawTarget) {
  const TMovieRequest request = ReadRequest(stage_.Level(level), rawUrl, rawTarget);
  if (auto command = FsCommandOf(request.url)) {
    queue_.Post(
        [this, command = *command, target = request.target] { FireFsCommand(command, target); });
    return;
  }
  if (auto into = LevelOfTarget(request.target)) {
    queue_.LoadUrl(*into, request.url, request.base, request.ansiName);
    return;
  }
  Trace(L"ignored GetURL " + request.url + L" target " + request.target);
}

void TMiniPlayer::PreloadAhead(int level) {
  const TLayer* layer = stage_.Level(level);
  if (layer == nullptr || !layer->timeline) {
    return;
  }
  // A long book's pages are not all fetched at once: the next ones are the likely ones.
  constexpr int kMaxAhead = 32;
  int started = 0;
  for (const TUrlRequest& raw : RequestsAhead(layer->timeline->Movie())) {
    const TMovieRequest request = ReadRequest(layer, raw.url, raw.target);
    auto into = LevelOfTarget(request.target);
    if (into && !FsCommandOf(request.url) && !request.url.empty()) {
      if (started++ == kMaxAhead) {
        break;
      }
      queue_.Preload(*into, request.url, request.base, request.ansiName);
    }
  }
}

void TMiniPlayer::FrameShown(int level, int frame) {
  if (TLayer* layer = stage_.Level(level); layer != nullptr && layer->timeline) {
    Trace(L"frame " + std::to_wstring(frame + 1) + L" of " +
          std::to_wstring(layer->timeline->TotalFrames()) + L" level " + std::to_wstring(level));
  }
  windows_.Invalidate();
}

// ---------------------------------------------------------------- the windows

void TMiniPlayer::PaintWindow(HDC dc) {
  PaintStage(dc, windows_.Handle(), stage_, backgroundColor_);
}

void TMiniPlayer::TurnPage(bool forward) {
  stage_.TurnPage(forward);
}

void TMiniPlayer::RunCommand(int command) {
  stage_.RunCommand(command);
}

bool TMiniPlayer::FullMenu() {
  return numbers_[kMenu] != 0;
}

void TMiniPlayer::RunPosted() {
  queue_.RunPosted();
}

void TMiniPlayer::Tick() {
  stage_.Tick(numbers_[kLoop] != 0);
}

void TMiniPlayer::Clicked() {
  if (inPlaceActive_) {
    UIActivate();
  }
}

}  // namespace leafbook::miniplayer
