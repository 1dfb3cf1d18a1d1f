// The page-turn click: a short burst played through wave audio. The device is
// closed again when the click has played (a small message window of its own
// receives the device's done notice). Without a sound device the click is
// skipped.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "framework/base/Resources.h"

namespace leafbook::miniplayer {

class TClick {
 public:
  TClick();
  ~TClick();
  TClick(const TClick&) = delete;
  TClick& operator=(const TClick&) = delete;

  // True when the click was handed to a device.
  bool Play();

  static bool RegisterWindowClass();
  static void UnregisterWindowClass();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Close();

  std::vector<short> samples_;
  std::vector<short> playing_;
  TOwnedWindow window_;
  HWAVEOUT device_ = nullptr;
  WAVEHDR header_{};
};

}  // namespace leafbook::miniplayer
