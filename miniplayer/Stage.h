// What the runtime shows: the numbered layers (a movie with its playhead, an
// image, or a notice), the frame timer that advances the playheads, and the
// click of a turned page. Events and repainting stay with the player: the
// stage only says what changed.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "miniplayer/Image.h"
#include "miniplayer/Sound.h"
#include "miniplayer/Timeline.h"

namespace leafbook::miniplayer {

// The id of the frame timer on the window that receives it.
inline constexpr UINT_PTR kFrameTimer = 1;

// What the layers' playheads ask of the player.
class IStageHost {
 public:
  virtual void MovieGetUrl(int level, const std::string& url, const std::string& target) = 0;
  virtual void FrameShown(int level, int frame) = 0;

 protected:
  ~IStageHost() = default;
};

// One numbered layer: a movie with its playhead, or an image, or a notice
// saying why what was loaded there cannot be played.
struct TLayer final : ITimelineHost {
  TLayer(IStageHost& owner, int level, std::wstring url)
      : host(owner), level(level), url(std::move(url)) {}
  void OnGetUrl(const std::string& url, const std::string& target) override;
  void OnFrameShown(int frame) override;

  IStageHost& host;
  int level;
  std::wstring url;
  std::unique_ptr<TTimeline> timeline;
  std::optional<TImage> image;
  std::wstring notice;
};

class TStage {
 public:
  using TLayers = std::map<int, std::unique_ptr<TLayer>>;

  explicit TStage(IStageHost& host) : host_(host) {}
  TStage(const TStage&) = delete;
  TStage& operator=(const TStage&) = delete;

  // The window the frame timer is set on; without one the playheads wait.
  void SetTimerWindow(HWND window) { timerWindow_ = window; }

  const TLayers& Layers() const { return layers_; }
  TLayer* Level(int level);
  const TLayer* Level(int level) const;
  TTimeline* MainTimeline();

  // Puts what bytes hold at level (a new main movie replaces every layer);
  // false when they are dropped. The new layer's playhead is not started:
  // the player announces the load first, then calls Start.
  bool Place(int level, const std::wstring& url, std::string bytes);
  void Start(int level);
  // False when nothing was loaded there.
  bool Unload(int level);

  // Sets, changes or kills the frame timer after anything that may have
  // started or stopped a playhead.
  void UpdateTimer();
  void Tick(bool loop);
  void TurnPage(bool forward);
  // The main movie's first frame, stopped there: the first page of the book.
  void FirstPage();
  // The movie commands of the context menu (play, stop, rewind, forward, back).
  void RunCommand(int command);

 private:
  IStageHost& host_;
  TLayers layers_;
  HWND timerWindow_ = nullptr;
  UINT_PTR timer_ = 0;
  UINT timerInterval_ = 0;
  TClick click_;
};

}  // namespace leafbook::miniplayer
