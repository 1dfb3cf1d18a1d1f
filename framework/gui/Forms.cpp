// Top-level forms over Win32.
#include "framework/gui/Forms.h"

#include <utility>
#include <vector>

#include "framework/base/AnsiText.h"

namespace leafbook {

namespace {

int StateShowCommand(TWindowState state) {
  switch (state) {
    case TWindowState::Minimized:
      return SW_SHOWMINIMIZED;
    case TWindowState::Maximized:
      return SW_SHOWMAXIMIZED;
    default:
      return SW_SHOWNORMAL;
  }
}

}  // namespace

int ScreenWidth() {
  return ::GetSystemMetrics(SM_CXSCREEN);
}
int ScreenHeight() {
  return ::GetSystemMetrics(SM_CYSCREEN);
}

int ScreenPixelsPerInch() {
  const TWindowDC screen(nullptr);
  return ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
}

UINT KeyboardShiftState() {
  UINT shift = 0;
  if (::GetKeyState(VK_SHIFT) < 0) {
    shift |= kShiftKey;
  }
  if (::GetKeyState(VK_CONTROL) < 0) {
    shift |= kControlKey;
  }
  if (::GetKeyState(VK_MENU) < 0) {
    shift |= kAltKey;
  }
  return shift;
}

TForm::TForm(TWinControl* owner, std::wstring className)
    : TWinControl(owner), className_(std::move(className)) {
  TWinControl::SetVisible(false);
}

void TForm::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.ClassName = className_;
  params.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  params.WndParent = nullptr;
  params.Caption = AnsiToWide(caption_);
}

std::string TForm::Caption() {
  if (!HandleAllocated()) {
    return caption_;
  }
  std::vector<char> text(static_cast<size_t>(::GetWindowTextLengthA(Handle())) * 2 + 2);
  int length = ::GetWindowTextA(Handle(), text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), static_cast<size_t>(length));
}

void TForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  if (HandleAllocated()) {
    ::SetWindowTextA(Handle(), caption.c_str());
  }
}

TWindowState TForm::WindowState() {
  if (HandleAllocated() && Visible()) {
    if (::IsZoomed(Handle())) {
      return TWindowState::Maximized;
    }
    if (::IsIconic(Handle())) {
      return TWindowState::Minimized;
    }
    return TWindowState::Normal;
  }
  return windowState_;
}

void TForm::SetWindowState(TWindowState state) {
  windowState_ = state;
  // A hidden form takes its state when it is shown.
  if (HandleAllocated() && Visible()) {
    ::ShowWindow(Handle(), StateShowCommand(state));
  }
}

void TForm::SetBorderWidth(int width) {
  borderWidth_ = width;
  Realign();
}

RECT TForm::ClientRectForAlign() {
  RECT client = TWinControl::ClientRectForAlign();
  ::InflateRect(&client, -borderWidth_, -borderWidth_);
  return client;
}

RECT TForm::Bounds() {
  if (HandleAllocated() && (::IsZoomed(Handle()) || ::IsIconic(Handle()))) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ::GetWindowPlacement(Handle(), &placement);
    return placement.rcNormalPosition;
  }
  return TWinControl::Bounds();
}

void TForm::SetBounds(int left, int top, int width, int height) {
  if (HandleAllocated() && (::IsZoomed(Handle()) || ::IsIconic(Handle()))) {
    // Moving a maximised window would leave it maximised at the wrong place;
    // what changes is the rectangle it is restored to.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ::GetWindowPlacement(Handle(), &placement);
    placement.rcNormalPosition = RECT{left, top, left + width, top + height};
    ::SetWindowPlacement(Handle(), &placement);
    return;
  }
  TWinControl::SetBounds(left, top, width, height);
}

int TForm::ShowCommand() {
  return StateShowCommand(windowState_);
}

void TForm::SetVisible(bool visible) {
  if (visible) {
    Handle();
  }
  TWinControl::SetVisible(visible);
  if (visible) {
    ::UpdateWindow(Handle());
  }
}

void TForm::Close() {
  if (HandleAllocated()) {
    ::SendMessageW(Handle(), WM_CLOSE, 0, 0);
  }
}

void TForm::SetMenu(HMENU menu) {
  menu_ = menu;
  if (HandleAllocated()) {
    ::SetMenu(Handle(), menu);
  }
}

void TForm::SetIcons(TWindowIcons icons) {
  // The window shows the new icons before the old ones go.
  if (HandleAllocated()) {
    SetWindowIcons(Handle(), icons);
  }
  icons_ = std::move(icons);
}

void TForm::DoCreate() {
  if (OnCreate) {
    OnCreate(this);
  }
}

bool TForm::KeyMessage(TMessage& message) {
  switch (message.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      const bool down = message.Msg == WM_KEYDOWN || message.Msg == WM_SYSKEYDOWN;
      TKeyEvent& handler = down ? OnKeyDown : OnKeyUp;
      if (!handler) {
        return false;
      }
      WORD key = static_cast<WORD>(message.WParam);
      handler(this, key, KeyboardShiftState());
      if (key == 0) {  // the handler consumed the key
        message.Result = 0;
        return true;
      }
      message.WParam = key;
      return false;
    }
    case WM_CHAR: {
      if (!OnKeyPress) {
        return false;
      }
      wchar_t wide = static_cast<wchar_t>(message.WParam);
      char key = '?';
      BOOL lossy = FALSE;
      if (::WideCharToMultiByte(CP_ACP, 0, &wide, 1, &key, 1, nullptr, &lossy) != 1) {
        key = '?';
      }
      OnKeyPress(this, key);
      if (key == 0) {
        message.Result = 0;
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

void TForm::WndProc(TMessage& message) {
  if (KeyMessage(message)) {
    return;
  }
  if (message.Msg == WM_QUERYNEWPALETTE || message.Msg == WM_PALETTECHANGED) {
    // A palette change of the form's own making needs no answer.
    if (message.Msg == WM_PALETTECHANGED && reinterpret_cast<HWND>(message.WParam) == Handle()) {
      return;
    }
    bool realised = false;
    for (TWinControl* control : Controls()) {
      realised = control->PaletteChanged(message.Msg == WM_QUERYNEWPALETTE) || realised;
    }
    message.Result = realised ? 1 : 0;
    return;
  }
  if (message.Msg == kCmDialogKey) {
    // The form's controls each get the key in turn; the first that takes it ends it.
    for (TWinControl* control : Controls()) {
      if (control->Perform(kCmDialogKey, message.WParam, message.LParam) != 0) {
        message.Result = 1;
        return;
      }
    }
    message.Result = 0;
    return;
  }
  if (message.Msg == WM_DESTROY && mainForm_) {
    ::PostQuitMessage(0);
  }
  TWinControl::WndProc(message);
}

}  // namespace leafbook
