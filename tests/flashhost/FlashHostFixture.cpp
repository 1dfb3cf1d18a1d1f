// The host control's test fixture.
#include "tests/flashhost/FlashHostFixture.h"

#include <ole2.h>

#include "framework/gui/MainThread.h"

namespace leafbook::testing {

int PixelsOf(int himetric) {
  return ::MulDiv(himetric, ScreenPixelsPerInch(), 2540);
}

int HimetricOf(int pixels) {
  return ::MulDiv(pixels, 2540, ScreenPixelsPerInch());
}

void FlashHostTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
  InitMainThread();
  unit_ = std::make_unique<TProgramUnit>();
  log_ = UseFakeRuntime();
  form_ = std::make_unique<TForm>(nullptr, L"FlashHostTestForm");
  form_->SetBounds(20, 20, 640, 480);
  form_->Show();
}

void FlashHostTest::TearDown() {
  control_.reset();
  form_.reset();
  unit_.reset();
  DoneMainThread();
  ::OleUninitialize();
}

TFlashPlayerControl& FlashHostTest::MakeControl(bool windowed) {
  control_ = std::make_unique<TFlashPlayerControl>(form_.get());
  if (windowed) {
    control_->SetParent(form_.get());
    control_->Handle();
  }
  return *control_;
}

void FlashHostTest::Pump(int ms) {
  const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
  do {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(5);
  } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

}  // namespace leafbook::testing
