// Windowed controls: the framework's one window procedure and the behaviour
// every control shares (alignment, colour and font inheritance, mouse events,
// popup menus, subclassing).
#include "framework/gui/Controls.h"

#include <algorithm>

#include "framework/base/ComBoundary.h"
#include "framework/base/Exceptions.h"
#include "framework/gui/Forms.h"

namespace leafbook {

namespace {

// The window property through which the window procedure finds its control.
constexpr wchar_t kControlProperty[] = L"LeafbookControl";

HINSTANCE ModuleInstance() {
  // The framework lives in the executable (or a test executable), never in a DLL.
  return ::GetModuleHandleW(nullptr);
}

void RegisterWindowClass(const TCreateParams& params) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (::GetClassInfoExW(ModuleInstance(), params.ClassName.c_str(), &existing)) {
    return;
  }
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = params.ClassStyle;
  windowClass.lpfnWndProc = FrameworkWndProc;
  windowClass.hInstance = ModuleInstance();
  windowClass.hCursor =
      params.Cursor ? params.Cursor : ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.lpszClassName = params.ClassName.c_str();
  ::RegisterClassExW(&windowClass);
}

}  // namespace

COLORREF ColorToRGB(TColor color) {
  if (color & 0x80000000u) {
    return ::GetSysColor(static_cast<int>(color & 0xFF));
  }
  return color;
}

// --- TPopupMenu

TPopupMenu::TPopupMenu() : menu_(::CreatePopupMenu()) {}

TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::AddItem(const std::wstring& caption, std::function<void()> action) {
  actions_.push_back(std::move(action));
  ::AppendMenuW(menu_.Get(), MF_STRING, actions_.size(), caption.c_str());
}

void TPopupMenu::Popup(HWND owner, int x, int y) {
  UINT chosen =
      ::TrackPopupMenu(menu_.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr);
  if (chosen > 0 && chosen <= actions_.size() && actions_[chosen - 1]) {
    actions_[chosen - 1]();
  }
}

// --- the window procedure

LRESULT CALLBACK FrameworkWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* control = static_cast<TWinControl*>(::GetPropW(window, kControlProperty));
  if (!control && msg == WM_NCCREATE) {
    control = static_cast<TWinControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (control) {
      control->Attach(window);
    }
  }
  if (!control) {
    // Messages that come before WM_NCCREATE (WM_GETMINMAXINFO) have no control yet.
    return ::DefWindowProcW(window, msg, wParam, lParam);
  }
  TMessage message{msg, wParam, lParam, 0};
  // Nothing may escape into the system's dispatch; a message whose handling
  // raised counts as handled, with the result it had then.
  Boundary("FrameworkWndProc", [&] { control->WndProc(message); });
  if (msg == WM_NCDESTROY) {
    control->Detach();
  }
  return message.Result;
}

// --- TWinControl

TWinControl* TWinControl::FromHandle(HWND window) {
  return window ? static_cast<TWinControl*>(::GetPropW(window, kControlProperty)) : nullptr;
}

TWinControl* TWinControl::Owning(HWND window) {
  const HWND desktop = ::GetDesktopWindow();
  for (HWND at = window; at && at != desktop; at = ::GetAncestor(at, GA_PARENT)) {
    if (TWinControl* control = FromHandle(at)) {
      return control;
    }
  }
  return nullptr;
}

TWinControl::TWinControl(TWinControl* owner) : owner_(owner) {}

TWinControl::~TWinControl() {
  for (TWinControl* child : controls_) {
    child->parent_ = nullptr;
  }
  controls_.clear();
  if (parent_) {
    auto& siblings = parent_->controls_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  if (Subclassed()) {
    Unsubclass();
  } else {
    TWinControl::DestroyWnd();
  }
}

HWND TWinControl::Handle() {
  if (!handle_) {
    CreateWnd();
  }
  return handle_;
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.ClassName = L"LeafbookControl";
  params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (visible_) {
    params.Style |= WS_VISIBLE;
  }
  if (tabStop_) {
    params.Style |= WS_TABSTOP;
  }
  params.X = bounds_.left;
  params.Y = bounds_.top;
  params.Width = bounds_.right - bounds_.left;
  params.Height = bounds_.bottom - bounds_.top;
  params.WndParent = parent_ ? parent_->Handle() : nullptr;
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & WS_CHILD) && !params.WndParent) {
    throw Exception("Control has no parent window");
  }
  RegisterWindowClass(params);
  creating_ = true;
  HWND window = ::CreateWindowExW(params.ExStyle, params.ClassName.c_str(), params.Caption.c_str(),
                                  params.Style, params.X, params.Y, params.Width, params.Height,
                                  params.WndParent, nullptr, ModuleInstance(), this);
  creating_ = false;
  if (!window) {
    throw Exception("Cannot create window of class " +
                    std::string(params.ClassName.begin(), params.ClassName.end()));
  }
  // Children put on the control before it had a window get theirs now.
  for (TWinControl* child : std::vector<TWinControl*>(controls_)) {
    child->Handle();
  }
  Realign();
}

void TWinControl::DestroyWnd() {
  if (handle_ && !Subclassed()) {
    ::DestroyWindow(handle_);  // WM_NCDESTROY detaches
  }
}

void TWinControl::Attach(HWND window) {
  handle_ = window;
  ::SetPropW(window, kControlProperty, this);
}

void TWinControl::Detach() {
  if (handle_) {
    ::RemovePropW(handle_, kControlProperty);
  }
  handle_ = nullptr;
  originalProc_ = nullptr;
}

void TWinControl::Subclass(HWND window) {
  if (handle_) {
    throw Exception("Control already has a window");
  }
  Attach(window);
  originalProc_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameworkWndProc)));
}

void TWinControl::Unsubclass() {
  if (!Subclassed()) {
    return;
  }
  ::SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_));
  Detach();
}

LRESULT TWinControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessage message{msg, wParam, lParam, 0};
  WndProc(message);
  return message.Result;
}

void TWinControl::DefaultHandler(TMessage& message) {
  if (!handle_) {
    message.Result = 0;
  } else if (originalProc_) {
    message.Result =
        ::CallWindowProcW(originalProc_, handle_, message.Msg, message.WParam, message.LParam);
  } else {
    message.Result = ::DefWindowProcW(handle_, message.Msg, message.WParam, message.LParam);
  }
}

void TWinControl::WndProc(TMessage& message) {
  const int x = static_cast<short>(LOWORD(message.LParam));
  const int y = static_cast<short>(HIWORD(message.LParam));
  if (message.Msg >= kCmBase && message.Msg < kCnBase) {
    // The framework's own messages are for controls, never for a window.
    message.Result = 0;
    return;
  }
  switch (message.Msg) {
    case WM_SIZE:
      DefaultHandler(message);
      Realign();
      return;
    case WM_ERASEBKGND:
      if (!Subclassed()) {
        RECT client;
        ::GetClientRect(handle_, &client);
        const TGdiObject<HBRUSH> brush(::CreateSolidBrush(ColorToRGB(color_)));
        ::FillRect(reinterpret_cast<HDC>(message.WParam), &client, brush.Get());
        message.Result = 1;
        return;
      }
      break;
    case WM_CONTEXTMENU:
      if (popupMenu_) {
        POINT at{x, y};
        if (message.LParam == -1) {  // from the keyboard: show it at the control
          at = POINT{0, 0};
          ::ClientToScreen(handle_, &at);
        }
        popupMenu_->Popup(handle_, at.x, at.y);
        message.Result = 0;
        return;
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (OnMouseDown) {
        OnMouseDown(this,
                    message.Msg == WM_LBUTTONDOWN   ? TMouseButton::Left
                    : message.Msg == WM_RBUTTONDOWN ? TMouseButton::Right
                                                    : TMouseButton::Middle,
                    message.WParam, x, y);
      }
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (OnMouseUp) {
        OnMouseUp(this,
                  message.Msg == WM_LBUTTONUP   ? TMouseButton::Left
                  : message.Msg == WM_RBUTTONUP ? TMouseButton::Right
                                                : TMouseButton::Middle,
                  message.WParam, x, y);
      }
      if (message.Msg == WM_LBUTTONUP && OnClick) {
        OnClick(this);
      }
      break;
    case WM_MOUSEMOVE:
      if (OnMouseMove) {
        OnMouseMove(this, message.WParam, x, y);
      }
      break;
    default:
      break;
  }
  DefaultHandler(message);
}

void TWinControl::SetParent(TWinControl* parent) {
  if (parent == parent_) {
    return;
  }
  if (parent_) {
    auto& siblings = parent_->controls_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  parent_ = parent;
  if (parent_) {
    parent_->controls_.push_back(this);
    if (parentColor_) {
      ApplyColor(parent_->color_);
    }
    if (parentFont_) {
      ApplyFont(parent_->font_);
    }
    if (handle_) {
      ::SetParent(handle_, parent_->Handle());
    } else if (parent_->HandleAllocated()) {
      Handle();  // a child of a window that exists is one at once
    }
    parent_->Realign();
  }
}

TForm* TWinControl::ParentForm() const {
  for (TWinControl* control = parent_; control; control = control->parent_) {
    if (auto* form = dynamic_cast<TForm*>(control)) {
      return form;
    }
  }
  return nullptr;
}

void TWinControl::SetAlign(TAlign align) {
  align_ = align;
  if (parent_) {
    parent_->Realign();
  }
}

void TWinControl::SetVisible(bool visible) {
  visible_ = visible;
  if (handle_) {
    ::ShowWindow(handle_, visible ? ShowCommand() : SW_HIDE);
  }
}

RECT TWinControl::ClientRectForAlign() {
  RECT client{0, 0, 0, 0};
  if (handle_) {
    ::GetClientRect(handle_, &client);
  }
  return client;
}

void TWinControl::Realign() {
  if (!handle_) {
    return;
  }
  const RECT client = ClientRectForAlign();
  for (TWinControl* child : controls_) {
    if (child->align_ == TAlign::Client) {
      child->SetBounds(client.left, client.top, client.right - client.left,
                       client.bottom - client.top);
    }
  }
}

RECT TWinControl::Bounds() {
  if (!handle_) {
    return bounds_;
  }
  RECT rect;
  ::GetWindowRect(handle_, &rect);
  if (HWND parent = ::GetParent(handle_);
      parent && (::GetWindowLongW(handle_, GWL_STYLE) & WS_CHILD)) {
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  }
  return rect;
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  bounds_ = RECT{left, top, left + width, top + height};
  ApplyBounds();
}

void TWinControl::ApplyBounds() {
  if (handle_) {
    ::SetWindowPos(handle_, nullptr, bounds_.left, bounds_.top, bounds_.right - bounds_.left,
                   bounds_.bottom - bounds_.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TWinControl::SetLeft(int value) {
  RECT b = Bounds();
  SetBounds(value, b.top, b.right - b.left, b.bottom - b.top);
}

void TWinControl::SetTop(int value) {
  RECT b = Bounds();
  SetBounds(b.left, value, b.right - b.left, b.bottom - b.top);
}

void TWinControl::SetWidth(int value) {
  RECT b = Bounds();
  SetBounds(b.left, b.top, value, b.bottom - b.top);
}

void TWinControl::SetHeight(int value) {
  RECT b = Bounds();
  SetBounds(b.left, b.top, b.right - b.left, value);
}

void TWinControl::SetColor(TColor color) {
  parentColor_ = false;
  ApplyColor(color);
}

void TWinControl::SetParentColor(bool value) {
  parentColor_ = value;
  if (value && parent_) {
    ApplyColor(parent_->color_);
  }
}

// Takes the colour and hands it on to the children that follow their parent.
void TWinControl::ApplyColor(TColor color) {
  if (color != color_) {
    color_ = color;
    ColorChanged();
    if (handle_) {
      ::InvalidateRect(handle_, nullptr, TRUE);
    }
  }
  for (TWinControl* child : controls_) {
    if (child->parentColor_) {
      child->ApplyColor(color_);
      child->Perform(kCmParentColorChanged);
    }
  }
}

void TWinControl::SetFont(const TFont& font) {
  parentFont_ = false;
  ApplyFont(font);
}

void TWinControl::SetParentFont(bool value) {
  parentFont_ = value;
  if (value && parent_) {
    ApplyFont(parent_->font_);
  }
}

void TWinControl::ApplyFont(const TFont& font) {
  if (!(font == font_)) {
    font_ = font;
    FontChanged();
  }
  for (TWinControl* child : controls_) {
    if (child->parentFont_) {
      child->ApplyFont(font_);
      child->Perform(kCmParentFontChanged);
    }
  }
}

// --- TUtilityWindow

TUtilityWindow::TUtilityWindow(THandler handler)
    : TWinControl(nullptr), handler_(std::move(handler)) {
  SetVisible(false);
}

void TUtilityWindow::CreateParams(TCreateParams& params) {
  params.ClassName = L"LeafbookUtilityWindow";
  params.WndParent = HWND_MESSAGE;
}

void TUtilityWindow::WndProc(TMessage& message) {
  if (handler_ && handler_(message)) {
    return;
  }
  DefaultHandler(message);
}

}  // namespace leafbook
