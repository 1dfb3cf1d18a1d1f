// Frame stepping and the action interpreter of the played subset.
#include "miniplayer/Timeline.h"

#include <algorithm>

namespace leafbook::miniplayer {

namespace {

// Frames entered through gotos within one step; a movie whose frames jump to
// each other forever stops there instead of hanging the runtime.
constexpr int kMaxEntriesPerStep = 64;

std::string Pop(std::vector<std::string>& stack) {
  if (stack.empty()) {
    return {};
  }
  std::string value = std::move(stack.back());
  stack.pop_back();
  return value;
}

}  // namespace

std::vector<TUrlRequest> RequestsAhead(const TSwfMovie& movie) {
  std::vector<TUrlRequest> requests;
  for (size_t frame = 1; frame < movie.frames.size(); ++frame) {
    std::vector<std::string> stack;
    for (const TSwfAction& action : movie.frames[frame].actions) {
      if (action.code == 0x83) {
        requests.push_back({action.url, action.target});
      } else if (action.code == 0x96) {
        stack.insert(stack.end(), action.values.begin(), action.values.end());
      } else if (action.code == 0x9A) {
        std::string target = Pop(stack);
        std::string url = Pop(stack);
        requests.push_back({std::move(url), std::move(target)});
      }
    }
  }
  return requests;
}

TTimeline::TTimeline(std::shared_ptr<const TSwfMovie> movie, ITimelineHost& host)
    : movie_(std::move(movie)), host_(host) {}

void TTimeline::Start() {
  playing_ = true;
  Enter(0);
}

void TTimeline::Tick(bool loop) {
  if (!playing_) {
    return;
  }
  if (current_ + 1 < TotalFrames()) {
    Enter(current_ + 1);
  } else if (loop && TotalFrames() > 1) {
    Enter(0);
  } else {
    playing_ = false;
  }
}

void TTimeline::GotoFrame(int frame) {
  Enter(std::clamp(frame, 0, TotalFrames() - 1));
}

void TTimeline::Forward() {
  playing_ = false;
  if (current_ + 1 < TotalFrames()) {
    Enter(current_ + 1);
  }
}

void TTimeline::Back() {
  playing_ = false;
  if (current_ > 0) {
    Enter(current_ - 1);
  }
}

void TTimeline::Rewind() {
  playing_ = false;
  Enter(0);
}

bool TTimeline::GotoLabel(const std::string& label) {
  const int frame = movie_->FrameOfLabel(label);
  if (frame < 0) {
    return false;
  }
  Enter(frame);
  return true;
}

void TTimeline::CallFrame(int frame) {
  if (frame >= 0 && frame < TotalFrames()) {
    const int jump = Run(frame);
    if (jump >= 0) {
      Enter(jump);
    }
  }
}

std::string TTimeline::CurrentLabel() const {
  return movie_->frames[current_].label;
}

void TTimeline::Enter(int frame) {
  for (int entries = 0; frame >= 0 && entries < kMaxEntriesPerStep; ++entries) {
    current_ = frame;
    host_.OnFrameShown(current_);
    frame = Run(current_);
  }
}

int TTimeline::Run(int frame) {
  int jump = -1;
  std::vector<std::string> stack;
  const int last = TotalFrames() - 1;
  for (const TSwfAction& action : movie_->frames[frame].actions) {
    switch (action.code) {
      case 0x04:
        playing_ = false;
        jump = std::min(frame + 1, last);
        break;
      case 0x05:
        playing_ = false;
        jump = std::max(frame - 1, 0);
        break;
      case 0x06:
        playing_ = true;
        break;
      case 0x07:
        playing_ = false;
        break;
      case 0x81:
        jump = std::min<int>(action.frame, last);
        break;
      case 0x8C: {
        const int target = movie_->FrameOfLabel(action.label);
        if (target >= 0) {
          jump = target;
        }
        break;
      }
      case 0x83:
        host_.OnGetUrl(action.url, action.target);
        break;
      case 0x96:
        stack.insert(stack.end(), action.values.begin(), action.values.end());
        break;
      case 0x9A: {
        const std::string target = Pop(stack);
        const std::string url = Pop(stack);
        host_.OnGetUrl(url, target);
        break;
      }
      default:
        break;
    }
  }
  // A goto to the frame that is already showing does not run it again.
  return jump == frame ? -1 : jump;
}

}  // namespace leafbook::miniplayer
