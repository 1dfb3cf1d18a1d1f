// The application object and timers.
#include "framework/gui/Application.h"

#include <utility>

#include "framework/base/ComBoundary.h"
#include "framework/base/Exceptions.h"
#include "framework/gui/MainThread.h"

namespace leafbook {

namespace {

// A hidden top-level window: it names the application (its title) the way
// the task list sees it, and stays for the whole run.
class TApplicationWindow : public TWinControl {
 public:
  TApplicationWindow() : TWinControl(nullptr) { SetVisible(false); }

 protected:
  void CreateParams(TCreateParams& params) override {
    TWinControl::CreateParams(params);
    params.ClassName = L"LeafbookApplication";
    params.Style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
    params.WndParent = nullptr;
  }
};

constexpr UINT_PTR kTimerId = 1;

}  // namespace

TApplication* TApplication::instance_ = nullptr;

TApplication::TApplication() : window_(std::make_unique<TApplicationWindow>()) {
  if (instance_) {
    throw Exception("There is an application object already");
  }
  instance_ = this;
  InitMainThread();
}

TApplication::~TApplication() {
  // Forms that go with the application end nothing: the loop is over.
  for (auto& form : forms_) {
    form->SetMainForm(false);
  }
  while (!forms_.empty()) {
    forms_.pop_back();
  }
  window_.reset();
  DoneMainThread();
  instance_ = nullptr;
}

HWND TApplication::Handle() {
  return window_->Handle();
}

void TApplication::SetIcons(TWindowIcons icons) {
  // The window shows the new icons before the old ones go.
  SetWindowIcons(Handle(), icons);
  icons_ = std::move(icons);
}

std::string TApplication::Title() {
  char text[512];
  int length = ::GetWindowTextA(Handle(), text, sizeof text);
  return std::string(text, static_cast<size_t>(length));
}

void TApplication::SetTitle(const std::string& title) {
  ::SetWindowTextA(Handle(), title.c_str());
}

bool TApplication::KeyMessageTaken(const MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) {
    return false;
  }
  TWinControl* control = TWinControl::Owning(msg.hwnd);
  if (!control) {
    return false;
  }
  if (control->Perform(kCnBase + msg.message, msg.wParam, msg.lParam) != 0) {
    return true;
  }
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) {
    return false;
  }
  auto* form = dynamic_cast<TForm*>(control);
  if (!form) {
    form = control->ParentForm();
  }
  return form && form->Perform(kCmDialogKey, msg.wParam, msg.lParam) != 0;
}

bool TApplication::HandleMessage(MSG& msg) {
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return false;
  }
  bool handled = false;
  if (OnMessage) {
    Boundary("TApplication::OnMessage", [&] { OnMessage(msg, handled); });
  }
  if (!handled && !KeyMessageTaken(msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return true;
}

void TApplication::Run() {
  if (TForm* form = MainForm()) {
    form->Show();
  }
  while (!terminated_) {
    MSG msg;
    int got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      terminated_ = true;
      break;
    }
    HandleMessage(msg);
  }
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (!terminated_ && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    HandleMessage(msg);
  }
  CheckSynchronize();
}

void TApplication::Terminate() {
  ::PostQuitMessage(0);
}

// --- TTimer

TTimer::TTimer(UINT interval, std::function<void()> onTimer)
    : interval_(interval), onTimer_(std::move(onTimer)), window_([this](TMessage& message) {
        if (message.Msg != WM_TIMER) {
          return false;
        }
        if (onTimer_) {
          onTimer_();
        }
        return true;
      }) {
  SetEnabled(true);
}

TTimer::~TTimer() {
  SetEnabled(false);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) {
    return;
  }
  enabled_ = enabled;
  if (enabled) {
    ::SetTimer(window_.Handle(), kTimerId, interval_, nullptr);
  } else if (window_.HandleAllocated()) {
    ::KillTimer(window_.Handle(), kTimerId);
  }
}

}  // namespace leafbook
