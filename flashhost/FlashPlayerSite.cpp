// The host control's site interfaces, as the runtime and the content side see
// them. Every method is a boundary: nothing the control raises crosses it.
#include "flashhost/FlashPlayerSite.h"

#include <cmath>
#include <optional>

#include "framework/base/ComBoundary.h"
#include "framework/gui/Forms.h"
#include "framework/gui/MainThread.h"

namespace leafbook {

namespace {

constexpr RECT kNoClip{0, 0, 32767, 32767};

// container × 2540 / pixels per inch, rounded to the nearest, ties to even.
LONG ContainerToHimetric(float container, int pixelsPerInch) {
  return static_cast<LONG>(std::nearbyint(static_cast<double>(container) * 2540.0 / pixelsPerInch));
}

}  // namespace

TFlashPlayerSite::TFlashPlayerSite(TFlashPlayerControl& control) : control_(&control) {}

void TFlashPlayerSite::DetachContent() {
  {
    TLockGuard guard(lock_);
    contentDetached_ = true;
  }
  events_.WaitUntilNone();
}

void TFlashPlayerSite::Detach() {
  DetachContent();
  TLockGuard guard(lock_);
  control_ = nullptr;
}

bool TFlashPlayerSite::ContentDetached() {
  TLockGuard guard(lock_);
  return contentDetached_;
}

void TFlashPlayerSite::KeepBase(const std::wstring& base) {
  TLockGuard guard(lock_);
  base_ = base;
}

TFlashPlayerControl* TFlashPlayerSite::Control() {
  TLockGuard guard(lock_);
  return control_;
}

template <class Body>
HRESULT TFlashPlayerSite::WithControl(const char* where, Body&& body) {
  TFlashPlayerControl* control = Control();
  if (!control) {
    return E_UNEXPECTED;
  }
  return ComBoundary(where, [&] { return body(*control); });
}

// --- IDispatch

STDMETHODIMP TFlashPlayerSite::GetTypeInfoCount(UINT* count) {
  if (!count) {
    return E_POINTER;
  }
  *count = 0;
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) {
    *info = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                      VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  TFlashPlayerControl* control = Control();
  if (!control) {
    return DISP_E_MEMBERNOTFOUND;
  }
  try {
    return control->InvokeEvent(id, flags, params, result, argError);
  } catch (...) {
    // A handler's exception ends here: the runtime hears of it as automation
    // says, and goes on.
    const HRESULT code = ResultOfCaughtException("IDispatch::Invoke");
    if (exception) {
      *exception = EXCEPINFO{};
      exception->scode = code;
      exception->bstrSource = ::SysAllocString(L"TFlashPlayerControl");
    }
    return DISP_E_EXCEPTION;
  }
}

// --- IOleWindow, IOleInPlaceSite

HRESULT TFlashPlayerSite::SiteGetWindow(HWND* window) {
  if (!window) {
    return E_POINTER;
  }
  *window = nullptr;
  return WithControl("IOleInPlaceSite::GetWindow", [&](TFlashPlayerControl& control) {
    *window = control.ParentWindow();
    return *window ? S_OK : E_FAIL;
  });
}

STDMETHODIMP TFlashPlayerSite::ContextSensitiveHelp(BOOL) {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::CanInPlaceActivate() {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::OnInPlaceActivate() {
  // S_OK whatever the runtime answers the queries: an activation that gave no
  // in-place object is the control's to report, when it looks for one.
  WithControl("IOleInPlaceSite::OnInPlaceActivate",
              [](TFlashPlayerControl& control) { control.OnInPlaceActivate(); });
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::OnUIActivate() {
  return WithControl("IOleInPlaceSite::OnUIActivate",
                     [](TFlashPlayerControl& control) { control.SetUIActive(true); });
}

STDMETHODIMP TFlashPlayerSite::GetWindowContext(IOleInPlaceFrame** frame,
                                                IOleInPlaceUIWindow** document, LPRECT position,
                                                LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (!frame || !document || !position || !clip || !info) {
    return E_POINTER;
  }
  *frame = nullptr;
  *document = nullptr;
  return WithControl("IOleInPlaceSite::GetWindowContext", [&](TFlashPlayerControl& control) {
    *position = control.Bounds();
    *clip = kNoClip;
    info->fMDIApp = FALSE;
    info->hwndFrame = control.TopLevelWindow();
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    *frame = static_cast<IFrameWindowFace*>(this);
    AddRef();
  });
}

STDMETHODIMP TFlashPlayerSite::Scroll(SIZE) {
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::OnUIDeactivate(BOOL) {
  return WithControl("IOleInPlaceSite::OnUIDeactivate", [](TFlashPlayerControl& control) {
    control.RemoveSharedMenu();
    control.SetUIActive(false);
  });
}

STDMETHODIMP TFlashPlayerSite::OnInPlaceDeactivate() {
  return WithControl("IOleInPlaceSite::OnInPlaceDeactivate",
                     [](TFlashPlayerControl& control) { control.OnInPlaceDeactivate(); });
}

STDMETHODIMP TFlashPlayerSite::DiscardUndoState() {
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::DeactivateAndUndo() {
  return WithControl("IOleInPlaceSite::DeactivateAndUndo", [](TFlashPlayerControl& control) {
    if (control.inPlaceObject_) {
      control.inPlaceObject_->UIDeactivate();
    }
  });
}

STDMETHODIMP TFlashPlayerSite::OnPosRectChange(LPCRECT position) {
  return WithControl("IOleInPlaceSite::OnPosRectChange", [&](TFlashPlayerControl& control) {
    if (control.inPlaceObject_ && position) {
      control.inPlaceObject_->SetObjectRects(position, &kNoClip);
    }
  });
}

// --- IFlashPlayerControlBase. The content manager calls from any thread.
// The movie steps reach the runtime, so they run on the main thread; Base is
// answered from the copy the main thread keeps; the resource events run a
// copy of their handler outside the lock, so that a handler may wait for
// other threads, and are counted so that the control can wait for them.

template <class Body>
HRESULT TFlashPlayerSite::WithControlOnMainThread(const char* where, Body&& body) {
  if (IsMainThread() || !HasMainThread()) {
    return WithControl(where, body);
  }
  HRESULT result = E_UNEXPECTED;
  const HRESULT carried =
      ComBoundary(where, [&] { Synchronize([&] { result = WithControl(where, body); }); });
  return FAILED(carried) ? carried : result;
}

template <class Handler, class Call>
HRESULT TFlashPlayerSite::Fire(const char* where, Handler TFlashPlayerControl::*event,
                               Call&& call) {
  Handler handler;
  TFlashPlayerControl* sender = nullptr;
  std::optional<TCallsInFlight::TCall> counted;
  {
    // Counted under the lock that DetachContent takes: it waits for every
    // event that found the control.
    TLockGuard guard(lock_);
    if (control_ && !contentDetached_) {
      handler = control_->*event;
      sender = control_;
    }
    if (!handler) {
      return S_FALSE;  // out arguments as the caller set them
    }
    counted.emplace(events_);
  }
  return ComBoundary(where, [&] { call(handler, sender); });
}

STDMETHODIMP TFlashPlayerSite::PutMovie(LPCWSTR url) {
  return WithControlOnMainThread("IFlashPlayerControlBase::PutMovie",
                                 [&](TFlashPlayerControl& control) {
                                   if (ContentDetached()) {
                                     return E_UNEXPECTED;
                                   }
                                   control.SetMovie(url ? url : L"");
                                   // Requests of the movie begin now: they are told this Base.
                                   KeepBase(control.Base());
                                   return S_OK;
                                 });
}

STDMETHODIMP TFlashPlayerSite::LoadMovie(int32_t layer, LPCWSTR url) {
  return WithControlOnMainThread("IFlashPlayerControlBase::LoadMovie",
                                 [&](TFlashPlayerControl& control) {
                                   if (ContentDetached()) {
                                     return E_UNEXPECTED;
                                   }
                                   control.LoadMovie(layer, url ? url : L"");
                                   KeepBase(control.Base());
                                   return S_OK;
                                 });
}

STDMETHODIMP TFlashPlayerSite::GetBase(BSTR* base) {
  if (!base) {
    return E_POINTER;
  }
  *base = nullptr;
  TLockGuard guard(lock_);
  if (!control_ || contentDetached_) {
    return E_UNEXPECTED;
  }
  *base = ::SysAllocStringLen(base_.data(), static_cast<UINT>(base_.size()));
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::FireLoadExternalResource(LPCWSTR url, TStream* stream) {
  return Fire("OnLoadExternalResource", &TFlashPlayerControl::OnLoadExternalResource,
              [&](auto& handler, TFlashPlayerControl* sender) {
                handler(sender, url ? url : L"", stream);
              });
}

STDMETHODIMP TFlashPlayerSite::FireLoadExternalResourceEx(LPCWSTR url, TStream* stream,
                                                          BOOL* handled) {
  return Fire("OnLoadExternalResourceEx", &TFlashPlayerControl::OnLoadExternalResourceEx,
              [&](auto& handler, TFlashPlayerControl* sender) {
                bool claimed = handled && *handled;
                // A handler that claimed the writer owns it even if it raises
                // afterwards (it may have kept it to write later): the flag
                // goes back either way, so the writer is never freed twice.
                struct TPassBack {
                  BOOL* handled;
                  bool& claimed;
                  ~TPassBack() {
                    if (handled) {
                      *handled = claimed ? TRUE : FALSE;
                    }
                  }
                } passBack{handled, claimed};
                handler(sender, url ? url : L"", stream, claimed);
              });
}

STDMETHODIMP TFlashPlayerSite::FireLoadExternalResourceAsync(LPCWSTR path, TStream** stream) {
  return Fire("OnLoadExternalResourceAsync", &TFlashPlayerControl::OnLoadExternalResourceAsync,
              [&](auto& handler, TFlashPlayerControl* sender) {
                TStream* supplied = stream ? *stream : nullptr;
                handler(sender, path ? path : L"", supplied);
                if (stream) {
                  *stream = supplied;
                }
              });
}

STDMETHODIMP TFlashPlayerSite::FireUnloadExternalResourceAsync(TStream* stream) {
  return Fire("OnUnloadExternalResourceAsync", &TFlashPlayerControl::OnUnloadExternalResourceAsync,
              [&](auto& handler, TFlashPlayerControl* sender) { handler(sender, stream); });
}

// --- ISimpleFrameSite, IPropertyNotifySink

STDMETHODIMP TFlashPlayerSite::PreMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD*) {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::PostMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD) {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::OnChanged(DISPID) {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::OnRequestEdit(DISPID) {
  return S_OK;
}

// --- IOleInPlaceFrame

HRESULT TFlashPlayerSite::FrameGetWindow(HWND* window) {
  if (!window) {
    return E_POINTER;
  }
  *window = nullptr;
  return WithControl("IOleInPlaceFrame::GetWindow",
                     [&](TFlashPlayerControl& control) { *window = control.TopLevelWindow(); });
}

STDMETHODIMP TFlashPlayerSite::GetBorder(LPRECT) {
  return INPLACE_E_NOTOOLSPACE;  // no toolbars here
}

STDMETHODIMP TFlashPlayerSite::RequestBorderSpace(LPCBORDERWIDTHS) {
  return INPLACE_E_NOTOOLSPACE;  // no toolbars here
}

STDMETHODIMP TFlashPlayerSite::SetBorderSpace(LPCBORDERWIDTHS) {
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) {
  return WithControl("IOleInPlaceFrame::InsertMenus", [&](TFlashPlayerControl& control) {
    HMENU menu = control.MainMenuForOle();
    if (!menu || !shared || !widths) {
      return;
    }
    // The container's menus all go into its first group (File); its other
    // groups (Container, Window) stay empty.
    const int count = ::GetMenuItemCount(menu);
    LONG inserted = 0;
    for (int i = 0; i < count; ++i) {
      wchar_t text[256] = {};
      MENUITEMINFOW item{};
      item.cbSize = sizeof item;
      item.fMask = MIIM_STRING | MIIM_SUBMENU | MIIM_ID | MIIM_FTYPE | MIIM_STATE;
      item.dwTypeData = text;
      item.cch = static_cast<UINT>(std::size(text));
      if (::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item) &&
          ::InsertMenuItemW(shared, static_cast<UINT>(inserted), TRUE, &item)) {
        ++inserted;
      }
    }
    widths->width[0] = inserted;
    widths->width[2] = 0;
    widths->width[4] = 0;
  });
}

STDMETHODIMP TFlashPlayerSite::SetMenu(HMENU shared, HOLEMENU oleMenu, HWND activeObject) {
  return WithControl("IOleInPlaceFrame::SetMenu", [&](TFlashPlayerControl& control) -> HRESULT {
    TForm* form = control.ParentForm();
    if (!control.MainMenuForOle() || !form || !form->HandleAllocated()) {
      return S_OK;
    }
    ::SetMenu(form->Handle(), shared ? shared : form->Menu());
    control.sharedMenu_ = shared;
    control.oleMenu_ = oleMenu;
    return ::OleSetMenuDescriptor(oleMenu, form->Handle(), activeObject, nullptr, nullptr);
  });
}

STDMETHODIMP TFlashPlayerSite::RemoveMenus(HMENU shared) {
  // The items are the container's own menus, lent: removed, never destroyed.
  while (shared && ::GetMenuItemCount(shared) > 0) {
    ::RemoveMenu(shared, 0, MF_BYPOSITION);
  }
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::SetStatusText(LPCOLESTR) {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::EnableModeless(BOOL) {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::TranslateAccelerator(LPMSG, WORD) {
  return S_FALSE;
}

// --- IOleControlSite

STDMETHODIMP TFlashPlayerSite::OnControlInfoChanged() {
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::LockInPlaceActive(BOOL) {
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::GetExtendedControl(IDispatch** control) {
  if (control) {
    *control = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) {
  if (!himetric || !container) {
    return E_POINTER;
  }
  return ComBoundary("IOleControlSite::TransformCoords", [&] {
    const int perInch = ScreenPixelsPerInch();
    if (flags & XFORMCOORDS_HIMETRICTOCONTAINER) {
      container->x = static_cast<float>(::MulDiv(himetric->x, perInch, 2540));
      container->y = static_cast<float>(::MulDiv(himetric->y, perInch, 2540));
    } else {
      himetric->x = ContainerToHimetric(container->x, perInch);
      himetric->y = ContainerToHimetric(container->y, perInch);
    }
  });
}

STDMETHODIMP TFlashPlayerSite::TranslateAccelerator(MSG*, DWORD) {
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::OnFocus(BOOL) {
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::ShowPropertyFrame() {
  return E_NOTIMPL;
}

// --- IOleClientSite

STDMETHODIMP TFlashPlayerSite::SaveObject() {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) {
    *moniker = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP TFlashPlayerSite::GetContainer(IOleContainer** container) {
  if (container) {
    *container = nullptr;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP TFlashPlayerSite::ShowObject() {
  return WithControl("IOleClientSite::ShowObject",
                     [](TFlashPlayerControl& control) { control.AttachRuntimeWindow(); });
}

STDMETHODIMP TFlashPlayerSite::OnShowWindow(BOOL) {
  return S_OK;
}

STDMETHODIMP TFlashPlayerSite::RequestNewObjectLayout() {
  return WithControl("IOleClientSite::RequestNewObjectLayout",
                     [](TFlashPlayerControl& control) { return control.RequestNewObjectLayout(); });
}

}  // namespace leafbook
