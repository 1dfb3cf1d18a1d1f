// The host control's life, its window and its messages: how the runtime
// object is made and connected, activated in place, its window taken over as
// the control's handle, kept at the control's size, and torn down.
#include "flashhost/FlashPlayerControl.h"

#include <olectl.h>
#include <windowsx.h>

#include <optional>

#include "flashhost/FlashPlayerSite.h"
#include "framework/base/ComBoundary.h"
#include "framework/base/OleCheck.h"
#include "framework/gui/Application.h"
#include "framework/gui/Forms.h"
#include "framework/gui/MainThread.h"
#include "runtime/FlashOCXCodeProvider.h"
#include "runtime/RuntimeUnit.h"

namespace leafbook {

namespace {

// The framework's reflected key notifications: every key message, key down
// (0x100) to the last of the key range (0x108).
constexpr UINT kCnKeyFirst = kCnBase + WM_KEYDOWN;
constexpr UINT kCnKeyLast = kCnBase + 0x108;
// The point of a message record the control builds itself.
constexpr LONG kBuiltMessagePoint = 0x115DE1F1;

int Himetric(int pixels) {
  return ::MulDiv(pixels, 2540, ScreenPixelsPerInch());
}

int Pixels(int himetric) {
  return ::MulDiv(himetric, ScreenPixelsPerInch(), 2540);
}

}  // namespace

TFlashPlayerControl::TFlashPlayerControl(TWinControl* owner) : TWinControl(owner) {
  site_ = TComPtr<TFlashPlayerSite>(NewComObject<TFlashPlayerSite>(*this));
  SetColor(clWindow);
  TWinControl::SetBounds(0, 0, 100, 100);
  try {
    CreateRuntimeObject();
    if (!runtime_) {
      return;  // a blank window; nothing is reported
    }
    OleCheck(runtime_->SetClientSite(site_.Get()), "IOleObject::SetClientSite");
    SetTabStop(true);
    OleCheck(RequestNewObjectLayout(), "RequestNewObjectLayout");
    ConnectEvents();
  } catch (...) {
    // The runtime may hold the site: it must not reach a control that never was.
    Teardown();
    throw;
  }
}

TFlashPlayerControl::~TFlashPlayerControl() {
  Teardown();
}

// Closes the runtime, which may wait for threads of its own whose writes
// wait for the main thread: those are refused meanwhile rather than left to
// wait for a main thread that waits for them.
void TFlashPlayerControl::CloseRuntime() {
  std::optional<TRefusedSynchronize> refused;
  if (IsMainThread()) {
    refused.emplace();
  }
  runtime_->Close(OLECLOSE_NOSAVE);
}

void TFlashPlayerControl::Teardown() noexcept {
  Boundary("TFlashPlayerControl::Destroy", [&] {
    // The content side first: no request reaches the control once its
    // handlers running on other threads have returned.
    if (TContentManager* manager = ContentManager()) {
      manager->UnregisterControl(ControlBase());
    }
    site_->DetachContent();
    if (eventsConnected_ && eventPoint_) {
      eventPoint_->Unadvise(eventCookie_);
    }
    eventsConnected_ = false;
    SetUIActive(false);
    // The window is the runtime's: it gets its own procedure back first.
    if (Subclassed()) {
      Unsubclass();
    }
    if (runtime_) {
      CloseRuntime();
    }
    DisconnectRuntime();
    if (runtime_) {
      runtime_->SetClientSite(nullptr);
    }
  });
  inPlaceObject_.Reset();
  activeObject_.Reset();
  eventPoint_.Reset();
  automation_.Reset(nullptr);
  runtime_.Reset();
  site_->Detach();
}

IFlashPlayerControlBase* TFlashPlayerControl::ControlBase() const {
  return site_.Get();
}

void TFlashPlayerControl::CreateRuntimeObject() {
  automation_.Reset(nullptr);
  runtime_.Reset();
  if (TFlashOCXCodeProviderBasedOnStream* provider = RuntimeCodeProvider()) {
    // Success is judged by the object alone, whatever the code says.
    IOleObject* object = nullptr;
    provider->CreateInstance(IID_IOleObject, reinterpret_cast<void**>(&object));
    runtime_ = TComPtr<IOleObject>::Attach(object);
  }
  automation_.Reset(runtime_.Get());
}

void TFlashPlayerControl::ConnectEvents() {
  TComPtr<IConnectionPointContainer> container =
      runtime_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
  TComPtr<IConnectionPoint> point;
  if (!container ||
      FAILED(container->FindConnectionPoint(DIID_IShockwaveFlashEvents, point.Put())) || !point) {
    return;
  }
  DWORD cookie = 0;
  if (FAILED(point->Advise(static_cast<IDispatch*>(site_.Get()), &cookie))) {
    return;
  }
  eventPoint_ = point;
  eventCookie_ = cookie;
  eventsConnected_ = true;
}

HRESULT TFlashPlayerControl::RequestNewObjectLayout() {
  SIZEL extent{};
  const HRESULT result = runtime_->GetExtent(DVASPECT_CONTENT, &extent);
  if (FAILED(result)) {
    return result;
  }
  SetBounds(Left(), Top(), Pixels(extent.cx), Pixels(extent.cy));
  return S_OK;
}

void TFlashPlayerControl::EnsureClientSite() {
  TComPtr<IOleClientSite> current;
  HRESULT result = E_FAIL;
  try {
    result = runtime_->GetClientSite(current.Put());
  } catch (...) {
    result = E_FAIL;
  }
  if (FAILED(result) || !current) {
    OleCheck(runtime_->SetClientSite(site_.Get()), "IOleObject::SetClientSite");
  }
}

void TFlashPlayerControl::ConnectRuntime() {
  if (oleControl_) {
    return;
  }
  try {
    EnsureClientSite();
    OleCheck(runtime_->QueryInterface(IID_IOleControl, oleControl_.PutVoid()),
             "QueryInterface(IOleControl)");
    OleCheck(runtime_->QueryInterface(IID_IDispatch, dispatch_.PutVoid()),
             "QueryInterface(IDispatch)");
    TComPtr<IConnectionPointContainer> container =
        runtime_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    TComPtr<IConnectionPoint> point;
    if (container &&
        SUCCEEDED(container->FindConnectionPoint(IID_IPropertyNotifySink, point.Put())) && point) {
      DWORD cookie = 0;
      if (SUCCEEDED(point->Advise(static_cast<IPropertyNotifySink*>(site_.Get()), &cookie))) {
        propertySinkCookie_ = cookie;
      }
    }
    oleControl_->OnAmbientPropertyChange(DISPID_UNKNOWN);
    OleCheck(RequestNewObjectLayout(), "RequestNewObjectLayout");
  } catch (...) {
    DisconnectRuntime();
    throw;
  }
}

void TFlashPlayerControl::DisconnectRuntime() {
  if (!runtime_) {
    return;
  }
  if (propertySinkCookie_ != 0) {
    TComPtr<IConnectionPointContainer> container =
        runtime_.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    TComPtr<IConnectionPoint> point;
    if (container &&
        SUCCEEDED(container->FindConnectionPoint(IID_IPropertyNotifySink, point.Put())) && point &&
        SUCCEEDED(point->Unadvise(propertySinkCookie_))) {
      propertySinkCookie_ = 0;
    }
  }
  dispatch_.Reset();
  oleControl_.Reset();
}

// --- the window

HWND TFlashPlayerControl::ParentWindow() const {
  TWinControl* parent = Parent();
  return parent && parent->HandleAllocated() ? parent->Handle() : nullptr;
}

HWND TFlashPlayerControl::TopLevelWindow() const {
  HWND window = ParentWindow();
  while (window && (::GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) {
    HWND up = ::GetParent(window);
    if (!up) {
      break;
    }
    window = up;
  }
  return window;
}

void TFlashPlayerControl::InPlaceActivate(LONG verb) {
  RECT bounds = Bounds();
  runtime_->DoVerb(verb, nullptr, site_.Get(), 0, ParentWindow(), &bounds);
  // A runtime shows its window on activation, whatever the control says.
  KeepHidden();
}

// By the window's own style: IsWindowVisible is false for any window of a
// form not shown yet, and the runtime's window would appear with the form.
void TFlashPlayerControl::KeepHidden() {
  if (!Visible() && HandleAllocated() && (::GetWindowLongW(Handle(), GWL_STYLE) & WS_VISIBLE)) {
    ::ShowWindow(Handle(), SW_HIDE);
  }
}

void TFlashPlayerControl::CreateWnd() {
  if (!runtime_) {
    TWinControl::CreateWnd();
    return;
  }
  ConnectRuntime();
  InPlaceActivate(OLEIVERB_INPLACEACTIVATE);
  if (!inPlaceObject_) {
    throw EOleError("OLE control activation failed");
  }
  AttachRuntimeWindow();
  KeepHidden();
}

void TFlashPlayerControl::AttachRuntimeWindow() {
  if (!inPlaceObject_ || HandleAllocated()) {
    return;
  }
  HWND window = nullptr;
  if (FAILED(inPlaceObject_->GetWindow(&window))) {
    window = nullptr;
  }
  if (!window) {
    throw EOleError("Could not obtain OLE control window handle");
  }
  // The runtime's procedure becomes the control's default one; the hook takes
  // effect once a message has passed.
  Subclass(window);
  ::SendMessageW(window, WM_NULL, 0, 0);
}

void TFlashPlayerControl::DestroyWnd() {
  if (!runtime_) {
    TWinControl::DestroyWnd();
    return;
  }
  // The window itself is the runtime's, closed with it.
  Unsubclass();
  CloseRuntime();
}

void TFlashPlayerControl::OnInPlaceActivate() {
  if (!runtime_) {
    return;
  }
  // Either may be missing: window creation refuses a runtime without an
  // in-place object; without an active object no key is offered to it.
  runtime_->QueryInterface(IID_IOleInPlaceObject, inPlaceObject_.PutVoid());
  runtime_->QueryInterface(IID_IOleInPlaceActiveObject, activeObject_.PutVoid());
}

void TFlashPlayerControl::OnInPlaceDeactivate() {
  activeObject_.Reset();
  inPlaceObject_.Reset();
}

void TFlashPlayerControl::SetBounds(int left, int top, int width, int height) {
  if (runtime_) {
    const int currentWidth = Width();
    const int currentHeight = Height();
    if ((width != currentWidth && currentWidth > 0) ||
        (height != currentHeight && currentHeight > 0)) {
      SIZEL size{Himetric(width), Himetric(height)};
      if (runtime_->SetExtent(DVASPECT_CONTENT, &size) != S_OK) {
        width = currentWidth;
        height = currentHeight;
      }
    }
  }
  TWinControl::SetBounds(left, top, width, height);
}

void TFlashPlayerControl::SetParent(TWinControl* parent) {
  TWinControl::SetParent(parent);
  if (runtime_ && parent) {
    EnsureClientSite();
    if (oleControl_) {
      oleControl_->OnAmbientPropertyChange(DISPID_UNKNOWN);
    }
  }
}

bool TFlashPlayerControl::PaletteChanged(bool foreground) {
  if (foreground && runtime_ && HandleAllocated() && OriginalProc() &&
      ::CallWindowProcW(OriginalProc(), Handle(), WM_QUERYNEWPALETTE, 0, 0) != 0) {
    return true;
  }
  return TWinControl::PaletteChanged(foreground);
}

void TFlashPlayerControl::Paint(HDC dc) {
  RECT client{};
  ::GetClientRect(Handle(), &client);
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_WINDOW));
}

// --- messages

void TFlashPlayerControl::DefaultHandler(TMessage& message) {
  if (!runtime_ || !HandleAllocated() || !OriginalProc()) {
    TWinControl::DefaultHandler(message);
    return;
  }
  Boundary("TFlashPlayerControl::DefaultHandler", [&] {
    if (message.Msg == WM_SIZE) {
      // The runtime takes its size from the activation, never from WM_SIZE.
      InPlaceActivate(OLEIVERB_INPLACEACTIVATE);
      return;
    }
    UINT msg = message.Msg;
    if (msg >= kCnBase && msg <= kCnBase + 0x3FF) {
      msg -= 0x9C00;  // the OLE form of a reflected notification
    }
    message.Result =
        ::CallWindowProcW(OriginalProc(), Handle(), msg, message.WParam, message.LParam);
  });
}

void TFlashPlayerControl::AmbientChanged(DISPID id) {
  if (oleControl_) {
    oleControl_->OnAmbientPropertyChange(id);
  }
}

bool TFlashPlayerControl::ReflectedKey(TMessage& message) {
  MSG record{};
  record.hwnd = Handle();
  record.message = message.Msg - kCnBase;
  record.wParam = message.WParam;
  record.lParam = message.LParam;
  record.time = static_cast<DWORD>(::GetMessageTime());
  record.pt = POINT{kBuiltMessagePoint, kBuiltMessagePoint};
  if (activeObject_->TranslateAccelerator(&record) == S_OK) {
    message.Result = 1;
    return true;
  }
  return false;
}

void TFlashPlayerControl::WndProc(TMessage& message) {
  if (runtime_) {
    switch (message.Msg) {
      case WM_KEYDOWN:
        if (message.WParam == VK_APPS) {
          if (PopupMenu()) {
            message.Result = Perform(WM_CONTEXTMENU, message.WParam, static_cast<LPARAM>(-1));
            return;
          }
          if (!standartMenu_) {
            message.Result = 0;
            return;
          }
        }
        break;
      case WM_RBUTTONUP:
        if (!Designing()) {
          // Signed: under capture a release left of or above the control is negative.
          POINT at{GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
          ::ClientToScreen(Handle(), &at);
          message.Result = Perform(WM_CONTEXTMENU, message.WParam, MAKELPARAM(at.x, at.y));
          return;
        }
        break;
      case WM_SETFOCUS:
        // A runtime given the focus (a click, the tab key) is made UI
        // active, as a container does, unless it did so itself.
        TWinControl::WndProc(message);
        if (!ParentForm() || ParentForm()->ActiveOleControl() != this) {
          Perform(kCmUIActivate);
        }
        return;
      case kCmParentFontChanged:
        if (ParentFont()) {
          AmbientChanged(DISPID_AMBIENT_FONT);
          AmbientChanged(DISPID_AMBIENT_FORECOLOR);
        }
        break;
      case kCmParentColorChanged:
        if (ParentColor()) {
          AmbientChanged(DISPID_AMBIENT_BACKCOLOR);
        }
        break;
      default:
        if (message.Msg >= kCnKeyFirst && message.Msg <= kCnKeyLast && activeObject_ &&
            ReflectedKey(message)) {
          return;
        }
        break;
    }
  }
  if (MouseMessage(message) || DialogKey(message)) {
    return;
  }
  switch (message.Msg) {
    case WM_ERASEBKGND:
      if (runtime_) {
        DefaultHandler(message);
        return;
      }
      break;
    case WM_PAINT:
      if (!runtime_) {
        if (message.WParam != 0) {
          Paint(reinterpret_cast<HDC>(message.WParam));
        } else {
          const TPaintDC dc(Handle());
          Paint(dc.Get());
        }
        message.Result = 0;
        return;
      }
      break;
    case kCmUIActivate:
      if (runtime_ && (!ParentForm() || ParentForm()->ActiveOleControl() != this)) {
        InPlaceActivate(OLEIVERB_UIACTIVATE);
      }
      message.Result = 0;
      return;
    case kCmUIDeactivate:
      UIDeactivate();
      message.Result = 0;
      return;
    default:
      break;
  }
  TWinControl::WndProc(message);
}

void TFlashPlayerControl::UIDeactivate() {
  TForm* form = ParentForm();
  if (form && form->ActiveOleControl() != this) {
    return;
  }
  if (inPlaceObject_) {
    inPlaceObject_->UIDeactivate();
  }
  if (form && form->ActiveOleControl() == this) {
    RemoveSharedMenu();
    SetUIActive(false);
  }
}

bool TFlashPlayerControl::DialogKey(TMessage& message) {
  if (message.Msg != kCmDialogKey || !oleControl_ || !HandleAllocated() ||
      !::IsWindowVisible(Handle()) || !::IsWindowEnabled(Handle())) {
    return false;
  }
  CONTROLINFO info{};
  info.cb = sizeof info;
  if (oleControl_->GetControlInfo(&info) != S_OK || info.cAccel == 0) {
    return false;
  }
  MSG record{};
  record.hwnd = Handle();
  record.message = WM_KEYDOWN;
  record.wParam = message.WParam;
  record.lParam = message.LParam;
  WORD command = 0;
  if (!::IsAccelerator(info.hAccel, info.cAccel, &record, &command)) {
    return false;
  }
  oleControl_->OnMnemonic(&record);
  message.Result = 1;
  return true;
}

bool TFlashPlayerControl::MouseMessage(TMessage& message) {
  const int x = static_cast<short>(LOWORD(message.LParam));
  const int y = static_cast<short>(HIWORD(message.LParam));
  const WPARAM keys = message.WParam;
  auto down = [&](TMouseButton button, WPARAM flags) {
    if (OnMouseDown) {
      OnMouseDown(this, button, flags, x, y);
    }
  };
  auto up = [&](TMouseButton button) {
    if (OnMouseUp) {
      OnMouseUp(this, button, keys, x, y);
    }
  };
  auto cancelMode = [&] {
    if (HWND parent = ParentWindow()) {
      ::SendMessageW(parent, WM_CANCELMODE, 0, 0);
    }
  };
  switch (message.Msg) {
    case WM_LBUTTONDOWN:
      cancelMode();
      DefaultHandler(message);
      down(TMouseButton::Left, keys);
      return true;
    case WM_RBUTTONDOWN:
      // Without the runtime's own menu, its right button belongs to the host.
      if (standartMenu_) {
        DefaultHandler(message);
      }
      down(TMouseButton::Right, keys);
      return true;
    case WM_MBUTTONDOWN:
      down(TMouseButton::Middle, keys);
      DefaultHandler(message);
      return true;
    case WM_LBUTTONDBLCLK:
      cancelMode();
      DefaultHandler(message);
      ::SetCapture(Handle());
      if (OnDblClick) {
        OnDblClick(this);
      }
      down(TMouseButton::Left, keys | kMouseDoubleClick);
      return true;
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      DefaultHandler(message);
      down(message.Msg == WM_RBUTTONDBLCLK ? TMouseButton::Right : TMouseButton::Middle,
           keys | kMouseDoubleClick);
      return true;
    case WM_MOUSEMOVE:
      DefaultHandler(message);
      if (OnMouseMove) {
        OnMouseMove(this, keys, x, y);
      }
      return true;
    case WM_LBUTTONUP: {
      DefaultHandler(message);
      if (::GetCapture() == Handle()) {
        ::ReleaseCapture();
      }
      RECT client{};
      ::GetClientRect(Handle(), &client);
      if (OnClick && ::PtInRect(&client, POINT{x, y})) {
        OnClick(this);
      }
      up(TMouseButton::Left);
      return true;
    }
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      DefaultHandler(message);
      up(message.Msg == WM_RBUTTONUP ? TMouseButton::Right : TMouseButton::Middle);
      return true;
    default:
      return false;
  }
}

// --- UI activation and the frame's menu

void TFlashPlayerControl::SetUIActive(bool active) {
  TForm* form = ParentForm();
  if (!form) {
    return;
  }
  if (active) {
    TWinControl* current = form->ActiveOleControl();
    if (current && current != this) {
      current->Perform(kCmUIDeactivate);
    }
    form->SetActiveOleControl(this);
  } else if (form->ActiveOleControl() == this) {
    form->SetActiveOleControl(nullptr);
  }
}

void TFlashPlayerControl::RemoveSharedMenu() {
  site_->SetMenu(nullptr, nullptr, nullptr);
}

HMENU TFlashPlayerControl::MainMenuForOle() const {
  if (TForm* form = ParentForm()) {
    return form->Menu();  // forms here are never MDI children
  }
  TApplication* application = TApplication::Instance();
  TForm* mainForm = application ? application->MainForm() : nullptr;
  return mainForm ? mainForm->Menu() : nullptr;
}

}  // namespace leafbook
