// The page-turn click: a short burst played through wave audio. Without a
// sound device the click is skipped.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <vector>

namespace leafbook::miniplayer {

class TClick {
 public:
  TClick();
  ~TClick();
  TClick(const TClick&) = delete;
  TClick& operator=(const TClick&) = delete;

  // True when the click was handed to a device.
  bool Play();

 private:
  void Close();

  std::vector<short> samples_;
  HWAVEOUT device_ = nullptr;
  WAVEHDR header_{};
};

}  // namespace leafbook::miniplayer
