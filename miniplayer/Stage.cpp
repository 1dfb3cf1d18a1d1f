// The layers and the frame timer.
#include "miniplayer/Stage.h"

#include <algorithm>
#include <vector>

#include "framework/base/AnsiText.h"
#include "miniplayer/Resource.h"
#include "miniplayer/SwfMovie.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {
constexpr double kDefaultRate = 12.0;
}  // namespace

void TLayer::OnGetUrl(const std::string& movieUrl, const std::string& target) {
  host.MovieGetUrl(level, movieUrl, target);
}

void TLayer::OnFrameShown(int frame) {
  host.FrameShown(level, frame);
}

TLayer* TStage::Level(int level) {
  auto it = layers_.find(level);
  return it == layers_.end() ? nullptr : it->second.get();
}

const TLayer* TStage::Level(int level) const {
  auto it = layers_.find(level);
  return it == layers_.end() ? nullptr : it->second.get();
}

TTimeline* TStage::MainTimeline() {
  TLayer* main = Level(0);
  return main != nullptr ? main->timeline.get() : nullptr;
}

bool TStage::Place(int level, const std::wstring& url, std::string bytes) {
  auto layer = std::make_unique<TLayer>(host_, level, url);
  std::wstring what;
  if (LooksLikeMovie(bytes)) {
    try {
      layer->timeline = std::make_unique<TTimeline>(ParseMovie(bytes), *layer);
      what = L"movie of " + std::to_wstring(layer->timeline->TotalFrames()) + L" frames";
    } catch (const EDamagedMovie& error) {
      layer->notice = Utf8ToWide(error.what());
      what = L"notice: " + layer->notice;
    }
  } else if (auto image = DecodeImage(bytes)) {
    what = L"image " + std::to_wstring(image->width) + L"x" + std::to_wstring(image->height);
    layer->image = std::move(image);
  } else if (level == 0) {
    layer->notice = L"not a movie";
    what = L"notice: not a movie";
  } else {
    Trace(L"dropped " + url + L": neither a movie nor an image");
    return false;
  }
  if (level == 0) {
    layers_.clear();  // a new main movie replaces every layer
  }
  layers_[level] = std::move(layer);
  Trace(L"loaded level " + std::to_wstring(level) + L" " + what + L" " + url);
  return true;
}

void TStage::Start(int level) {
  if (TLayer* placed = Level(level); placed != nullptr && placed->timeline) {
    placed->timeline->Start();
  }
}

bool TStage::Unload(int level) {
  if (layers_.erase(level) == 0) {
    return false;
  }
  Trace(L"unloaded level " + std::to_wstring(level));
  UpdateTimer();
  return true;
}

void TStage::UpdateTimer() {
  bool wanted = false;
  for (const auto& [level, layer] : layers_) {
    wanted = wanted || (layer->timeline && layer->timeline->Playing());
  }
  TTimeline* main = MainTimeline();
  double rate = main != nullptr ? main->Movie().frameRate : kDefaultRate;
  if (rate <= 0.0) {
    rate = kDefaultRate;
  }
  const UINT interval = static_cast<UINT>(std::clamp(1000.0 / rate, 10.0, 10000.0));
  if (!wanted || timerWindow_ == nullptr) {
    if (timer_ != 0) {
      KillTimer(timerWindow_, kFrameTimer);
      timer_ = 0;
    }
    return;
  }
  if (timer_ == 0 || interval != timerInterval_) {
    timer_ = SetTimer(timerWindow_, kFrameTimer, interval, nullptr);
    timerInterval_ = interval;
  }
}

void TStage::Tick(bool loop) {
  // A playhead's actions may load or unload layers: each level is looked up afresh.
  std::vector<int> levels;
  for (const auto& [level, layer] : layers_) {
    levels.push_back(level);
  }
  for (int level : levels) {
    if (TLayer* layer = Level(level); layer != nullptr && layer->timeline) {
      layer->timeline->Tick(loop);
    }
  }
  UpdateTimer();
}

void TStage::TurnPage(bool forward) {
  TTimeline* main = MainTimeline();
  if (main == nullptr) {
    return;
  }
  const int before = main->CurrentFrame();
  if (forward) {
    main->Forward();
  } else {
    main->Back();
  }
  if (main->CurrentFrame() != before) {
    click_.Play();
  }
  UpdateTimer();
}

void TStage::FirstPage() {
  TTimeline* main = MainTimeline();
  if (main == nullptr) {
    return;
  }
  if (main->CurrentFrame() != 0) {
    main->Rewind();
    click_.Play();
  } else {
    main->Stop();
  }
  UpdateTimer();
}

void TStage::RunCommand(int command) {
  TTimeline* main = MainTimeline();
  switch (command) {
    case MINIPLAYER_CMD_PLAY:
      if (main != nullptr) {
        main->Play();
      }
      break;
    case MINIPLAYER_CMD_STOP:
      if (main != nullptr) {
        main->Stop();
      }
      break;
    case MINIPLAYER_CMD_REWIND:
      if (main != nullptr) {
        main->Rewind();
      }
      break;
    case MINIPLAYER_CMD_FORWARD:
      TurnPage(true);
      break;
    case MINIPLAYER_CMD_BACK:
      TurnPage(false);
      break;
    default:
      break;
  }
  UpdateTimer();
}

}  // namespace leafbook::miniplayer
