// Wave-out click: 40 ms of a decaying 1.2 kHz tone, 16-bit mono at 22050 Hz.
// The previous click's device is closed before the next one opens; a buffer
// still playing is reset first, since a device cannot close over it.
#include "miniplayer/Sound.h"

#include <cmath>

#include "framework/base/ComBoundary.h"

#include "miniplayer/Module.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {
constexpr DWORD kRate = 22050;
constexpr char kWindowClass[] = "MiniPlayerSound";
bool classRegistered = false;
}  // namespace

bool TClick::RegisterWindowClass() {
  if (classRegistered) {
    return true;
  }
  WNDCLASSEXA window{};
  window.cbSize = sizeof window;
  window.lpfnWndProc = &TClick::WindowProc;
  window.hInstance = ModuleInstance();
  window.lpszClassName = kWindowClass;
  classRegistered = RegisterClassExA(&window) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return classRegistered;
}

void TClick::UnregisterWindowClass() {
  if (classRegistered) {
    UnregisterClassA(kWindowClass, ModuleInstance());
    classRegistered = false;
  }
}

LRESULT CALLBACK TClick::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Boundary("miniplayer sound WindowProc", LRESULT{0}, [&]() -> LRESULT {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrA(
          window, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    }
    auto* click = reinterpret_cast<TClick*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (click != nullptr && message == MM_WOM_DONE &&
        reinterpret_cast<HWAVEOUT>(wParam) == click->device_) {
      click->Close();
      Trace(L"sound click done");
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  });
}

TClick::TClick() {
  const int count = static_cast<int>(kRate / 25);
  samples_.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double envelope = std::exp(-t * 120.0);
    samples_[static_cast<size_t>(i)] =
        static_cast<short>(12000.0 * envelope * std::sin(2.0 * 3.14159265358979 * 1200.0 * t));
  }
}

TClick::~TClick() {
  Close();
  // The window goes with its owner; its last messages must not reach this object.
  if (window_) {
    SetWindowLongPtrA(window_.Get(), GWLP_USERDATA, 0);
  }
}

void TClick::Close() {
  if (device_ == nullptr) {
    return;
  }
  waveOutReset(device_);
  if ((header_.dwFlags & WHDR_PREPARED) != 0) {
    waveOutUnprepareHeader(device_, &header_, sizeof header_);
  }
  waveOutClose(device_);
  device_ = nullptr;
  header_ = WAVEHDR{};
}

bool TClick::Play() {
  Close();
  if (!window_ && RegisterWindowClass()) {
    window_.Reset(CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ModuleInstance(), this));
  }
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = kRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = kRate * 2;
  const MMRESULT opened =
      waveOutOpen(&device_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(window_.Get()), 0,
                  window_ ? CALLBACK_WINDOW : CALLBACK_NULL);
  if (opened != MMSYSERR_NOERROR) {
    device_ = nullptr;
    Trace(L"sound click skipped: no device (" + std::to_wstring(opened) + L")");
    return false;
  }
  // A fresh copy each time: whoever stands between the runtime and the device
  // may change the buffer in place (a volume setting, for one).
  playing_ = samples_;
  header_.lpData = reinterpret_cast<LPSTR>(playing_.data());
  header_.dwBufferLength = static_cast<DWORD>(playing_.size() * sizeof(short));
  if (waveOutPrepareHeader(device_, &header_, sizeof header_) != MMSYSERR_NOERROR ||
      waveOutWrite(device_, &header_, sizeof header_) != MMSYSERR_NOERROR) {
    Close();
    Trace(L"sound click skipped: the device refused it");
    return false;
  }
  Trace(L"sound click");
  return true;
}

}  // namespace leafbook::miniplayer
