// Wave-out click: 40 ms of a decaying 1.2 kHz tone, 16-bit mono at 22050 Hz.
// The previous click's device is closed before the next one opens; a buffer
// still playing is reset first, since a device cannot close over it.
#include "miniplayer/Sound.h"

#include <cmath>

#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {
constexpr DWORD kRate = 22050;
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
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = kRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = kRate * 2;
  const MMRESULT opened = waveOutOpen(&device_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
  if (opened != MMSYSERR_NOERROR) {
    device_ = nullptr;
    Trace(L"sound click skipped: no device (" + std::to_wstring(opened) + L")");
    return false;
  }
  header_.lpData = reinterpret_cast<LPSTR>(samples_.data());
  header_.dwBufferLength = static_cast<DWORD>(samples_.size() * sizeof(short));
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
