// A small writer of movie files (the "FWS" plain and "CWS" zlib-compressed
// forms) for the subset the stand-in runtime plays: background colour, frames,
// frame labels and action lists. Tests build every movie they play with it,
// and the swfwriter tool builds the demo's book.swf. Raw tags and raw actions
// let tests build unusual and damaged movies too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace leafbook::swf {

// Action codes of the played subset.
enum : uint8_t {
  kActionEnd = 0x00,
  kActionNextFrame = 0x04,
  kActionPrevFrame = 0x05,
  kActionPlay = 0x06,
  kActionStop = 0x07,
  kActionGotoFrame = 0x81,
  kActionGetURL = 0x83,
  kActionGotoLabel = 0x8C,
  kActionPush = 0x96,
  kActionGetURL2 = 0x9A,
};

// Tag codes of the played subset.
enum : uint16_t {
  kTagEnd = 0,
  kTagShowFrame = 1,
  kTagSetBackgroundColor = 9,
  kTagDoAction = 12,
  kTagFrameLabel = 43,
};

// One DoAction body, built call by call; Bytes() adds the closing ActionEnd.
class TActions {
 public:
  TActions& Stop();
  TActions& Play();
  TActions& NextFrame();
  TActions& PrevFrame();
  TActions& GotoFrame(uint16_t frame);
  TActions& GotoLabel(const std::string& label);
  TActions& GetUrl(const std::string& url, const std::string& target);
  // fscommand(command, args) as movies carry it: a GetURL of "FSCommand:".
  TActions& FsCommand(const std::string& command, const std::string& args);
  TActions& Push(const std::string& value);
  TActions& PushInt(int32_t value);
  TActions& GetUrl2(uint8_t flags = 0);
  // Any action, written as given (long form when code >= 0x80).
  TActions& Raw(uint8_t code, const std::string& payload = {});

  std::string Bytes() const;

 private:
  std::string body_;
};

class TSwfWriter {
 public:
  // Stage size in pixels, frame rate in frames per second.
  explicit TSwfWriter(uint8_t version = 6, int widthPx = 550, int heightPx = 400,
                      double frameRate = 12.0);

  TSwfWriter& SetBackgroundColor(uint32_t rgb);
  TSwfWriter& DoAction(const TActions& actions);
  TSwfWriter& FrameLabel(const std::string& label);
  TSwfWriter& ShowFrame();
  TSwfWriter& RawTag(uint16_t code, const std::string& body, bool longForm = false);
  // Header frame count; by default the number of ShowFrame tags written.
  TSwfWriter& DeclareFrameCount(uint16_t count);

  // The whole file, End tag included; compressed gives the "CWS" form.
  std::string Bytes(bool compressed = false) const;

  static std::string Tag(uint16_t code, const std::string& body, bool longForm = false);

 private:
  uint8_t version_;
  int widthTwips_;
  int heightTwips_;
  double frameRate_;
  int frames_ = 0;
  int declaredFrames_ = -1;
  std::string tags_;
};

// The demo book: one frame per page; each frame loads its page image
// (pattern with %d for the page number, counted from 1) into layer 1 and stops.
// With fullscreen, the first frame also asks its host for full screen
// (fscommand "fullscreen" "true"). A non-empty firstPage is the first page's
// URL instead of the pattern's.
std::string BookMovie(int pages, const std::string& pagePattern, bool compressed,
                      bool fullscreen = false, const std::string& firstPage = "");

void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace leafbook::swf
