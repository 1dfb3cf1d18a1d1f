// The stand-in runtime's reading of a movie file: header, frames and the
// actions of the played subset. Portable (no system calls) so that damaged
// movies can be tried under the sanitizers. A movie that cannot be read raises
// EDamagedMovie with a message fit for the notice the runtime shows.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/Exceptions.h"

namespace leafbook::miniplayer {

class EDamagedMovie : public Exception {
 public:
  using Exception::Exception;
};

struct TSwfAction {
  uint8_t code = 0;
  uint16_t frame = 0;               // ActionGotoFrame
  uint8_t flags = 0;                // ActionGetURL2
  std::string url;                  // ActionGetURL
  std::string target;               // ActionGetURL
  std::string label;                // ActionGotoLabel
  std::vector<std::string> values;  // ActionPush, as text
};

struct TSwfFrame {
  std::vector<TSwfAction> actions;
  std::string label;
};

struct TSwfMovie {
  uint8_t version = 0;
  bool compressed = false;
  uint32_t fileLength = 0;  // as the header declares it
  int widthTwips = 0;
  int heightTwips = 0;
  double frameRate = 0;
  uint16_t declaredFrames = 0;
  std::optional<uint32_t> background;  // 0xRRGGBB
  std::vector<TSwfFrame> frames;       // never empty
  int skippedTags = 0;                 // tags outside the played subset
  int skippedActions = 0;              // actions outside the played subset

  int FrameOfLabel(const std::string& label) const;  // -1 when none
};

// Refuses files whose declared or inflated size passes this (64 MiB).
inline constexpr uint32_t kMaxMovieSize = 64u << 20;

// True when the bytes begin like a movie file ("FWS" or "CWS").
bool LooksLikeMovie(std::string_view bytes);

// Reads the whole movie; raises EDamagedMovie when it cannot.
std::shared_ptr<const TSwfMovie> ParseMovie(std::string_view bytes);

}  // namespace leafbook::miniplayer
