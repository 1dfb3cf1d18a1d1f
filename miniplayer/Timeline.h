// The playhead of one movie: which frame shows, whether it plays, and the
// frame actions run on entering a frame. Portable; what the actions ask of the
// world (loading a URL, a Flash command) goes to the ITimelineHost.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "miniplayer/SwfMovie.h"

namespace leafbook::miniplayer {

class ITimelineHost {
 public:
  virtual ~ITimelineHost() = default;
  // GetURL and GetURL2 with the movie's own text (8-bit as stored).
  virtual void OnGetUrl(const std::string& url, const std::string& target) = 0;
  // A frame was entered (0-based).
  virtual void OnFrameShown(int frame) = 0;
};

// A GetURL as a frame's actions make it, with the movie's own text.
struct TUrlRequest {
  std::string url;
  std::string target;
  bool operator==(const TUrlRequest&) const = default;
};

// The GetURL and GetURL2 requests of every frame after the first, in frame
// order, as those frames' actions would make them: what a page-turning movie
// will ask for next. The first frame's run as soon as the movie starts.
std::vector<TUrlRequest> RequestsAhead(const TSwfMovie& movie);

class TTimeline {
 public:
  TTimeline(std::shared_ptr<const TSwfMovie> movie, ITimelineHost& host);

  // Enters frame 0 and starts playing (unless its actions stop it).
  void Start();
  // One timer tick: the next frame while playing; at the end, frame 0 when
  // looping, else the playhead stops.
  void Tick(bool loop);

  void Play() { playing_ = true; }
  void Stop() { playing_ = false; }
  void GotoFrame(int frame);  // clamped to the movie; keeps playing state
  void Forward();             // next frame, stopped
  void Back();                // previous frame, stopped
  void Rewind();              // frame 0, stopped
  bool GotoLabel(const std::string& label);
  // Runs the actions of a frame without moving the playhead.
  void CallFrame(int frame);

  int CurrentFrame() const { return current_; }
  int TotalFrames() const { return static_cast<int>(movie_->frames.size()); }
  bool Playing() const { return playing_; }
  const TSwfMovie& Movie() const { return *movie_; }
  std::string CurrentLabel() const;

 private:
  void Enter(int frame);
  // Runs one frame's actions; a goto they ask for comes back as the result.
  int Run(int frame);

  std::shared_ptr<const TSwfMovie> movie_;
  ITimelineHost& host_;
  int current_ = 0;
  bool playing_ = false;
};

}  // namespace leafbook::miniplayer
