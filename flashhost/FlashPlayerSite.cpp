// The host control's site interfaces, as the runtime and the content side see
// them. Every method is a boundary: nothing the control raises crosses it.
#include "flashhost/FlashPlayerSite.h"

#include <cmath>

#include "framework/base/ComBoundary.h"
#include "framework/gui/Forms.h"

namespace leafbook {

namespace {

constexpr RECT kNoClip{0, 0, 32767, 32767};

// container × 2540 / pixels per inch, rounded to the nearest, ties to even.
LONG ContainerToHimetric(float container, int pixelsPerInch) {
  return static_cast<LONG>(std::nearbyint(static_cast<double>(container) * 2540.0 / pixelsPerInch));
}

}  // namespace

void TFlashPlayerSite::Detach() {
  TLockGuard guard(lock_);
  control_ = nullptr;
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
  return WithControl("IOleInPlaceSite::OnInPlaceActivate",
                     [](TFlashPlayerControl& control) { control.OnInPlaceActivate(); });
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

// --- IFlashPlayerControlBase. The content manager calls from any thread. The
// property steps use the control under the lock (they are short); the
// resource events run a copy of their handler outside it, so that a handler
// may wait for other threads.

template <class Body>
HRESULT TFlashPlayerSite::WithControlLocked(const char* where, Body&& body) {
  TLockGuard guard(lock_);
  if (!control_) {
    return E_UNEXPECTED;
  }
  return ComBoundary(where, [&] { body(*control_); });
}

template <class Handler, class Call>
HRESULT TFlashPlayerSite::Fire(const char* where, Handler TFlashPlayerControl::*event,
                               Call&& call) {
  Handler handler;
  TFlashPlayerControl* sender = nullptr;
  {
    TLockGuard guard(lock_);
    if (control_) {
      handler = control_->*event;
      sender = control_;
    }
  }
  if (!handler) {
    return S_FALSE;  // out arguments as the caller set them
  }
  return ComBoundary(where, [&] { call(handler, sender); });
}

STDMETHODIMP TFlashPlayerSite::PutMovie(LPCWSTR url) {
  return WithControlLocked("IFlashPlayerControlBase::PutMovie", [&](TFlashPlayerControl& control) {
    control.SetMovie(url ? url : L"");
  });
}

STDMETHODIMP TFlashPlayerSite::LoadMovie(int32_t layer, LPCWSTR url) {
  return WithControlLocked("IFlashPlayerControlBase::LoadMovie", [&](TFlashPlayerControl& control) {
    control.LoadMovie(layer, url ? url : L"");
  });
}

STDMETHODIMP TFlashPlayerSite::GetBase(BSTR* base) {
  if (!base) {
    return E_POINTER;
  }
  *base = nullptr;
  return WithControlLocked("IFlashPlayerControlBase::GetBase", [&](TFlashPlayerControl& control) {
    const std::wstring value = control.Base();
    *base = ::SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  });
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
                handler(sender, url ? url : L"", stream, claimed);
                if (handled) {
                  *handled = claimed ? TRUE : FALSE;
                }
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
