// Dispids of the automation surface. Hosts reach members by name through
// GetIDsOfNames; these numbers are the runtime's own.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace leafbook::miniplayer {

enum : DISPID {
  // Properties.
  kReadyState = 1,
  kTotalFrames,
  kMovie,
  kFrameNum,
  kPlaying,
  kQuality,
  kScaleMode,
  kAlignMode,
  kBackgroundColor,
  kLoop,
  kWMode,
  kSAlign,
  kMenu,
  kBase,
  kScale,
  kDeviceFont,
  kEmbedMovie,
  kBGColor,
  kQuality2,
  kSWRemote,
  kStacking,
  kFlashVars,
  kAllowScriptAccess,
  kMovieData,
  kAllowFullscreen,
  // Methods.
  kSetZoomRect = 100,
  kZoom,
  kPan,
  kPlay,
  kStop,
  kBack,
  kForward,
  kRewind,
  kStopPlay,
  kGotoFrame,
  kCurrentFrame,
  kIsPlaying,
  kPercentLoaded,
  kFrameLoaded,
  kFlashVersion,
  kLoadMovie,
  kTGotoFrame,
  kTGotoLabel,
  kTCurrentFrame,
  kTCurrentLabel,
  kTPlay,
  kTStopPlay,
  kSetVariable,
  kGetVariable,
  kTSetProperty,
  kTGetProperty,
  kTCallFrame,
  kTCallLabel,
  kTSetPropertyNum,
  kTGetPropertyNum,
  kTGetPropertyAsNumber,
  kCallFunction,
  kSetReturnValue,
};

}  // namespace leafbook::miniplayer
