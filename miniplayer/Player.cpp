// TMiniPlayer's life, IOleObject and IOleControl. Every COM method runs inside
// the framework's boundary: no exception reaches the host.
#include "miniplayer/Player.h"

#include <olectl.h>

#include <algorithm>
#include <cstring>

#include "framework/base/ComBoundary.h"
#include "miniplayer/Dispids.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

TMiniPlayer::TMiniPlayer()
    : events_(*this, kDiidEvents, kDiidEvents, &IID_IDispatch),
      propertySinks_(*this, IID_IPropertyNotifySink, IID_IPropertyNotifySink, nullptr),
      stage_(*this),
      queue_(*this, *static_cast<IOleObject*>(this)),
      windows_(*this) {
  ObjectCreated();
  SetDefaults();
  {
    // The stage of a movie file without one: 550 x 400 pixels, in HIMETRIC.
    TWindowDC screen(nullptr);
    extent_.cx = MulDiv(550, 2540, GetDeviceCaps(screen.Get(), LOGPIXELSX));
    extent_.cy = MulDiv(400, 2540, GetDeviceCaps(screen.Get(), LOGPIXELSY));
  }
  HWND worker = windows_.CreateWorker();
  queue_.SetWorker(worker);
  stage_.SetTimerWindow(worker);
  Trace(L"object created");
}

TMiniPlayer::~TMiniPlayer() {
  queue_.Shutdown();
  windows_.DestroyAll();
  events_.Clear();
  propertySinks_.Clear();
  Trace(L"object destroyed");
  ObjectDestroyed();
}

// ---------------------------------------------------------------- IOleObject

STDMETHODIMP TMiniPlayer::SetClientSite(IOleClientSite* site) {
  return ApartmentBoundary(apartment_, "IOleObject::SetClientSite", [&]() -> HRESULT {
    if (FailureInjected("IOleObject::SetClientSite")) {
      return E_FAIL;
    }
    site_ = site;
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::GetClientSite(IOleClientSite** site) {
  return ApartmentBoundary(apartment_, "IOleObject::GetClientSite", [&]() -> HRESULT {
    if (site == nullptr) {
      return E_POINTER;
    }
    *site = TComPtr<IOleClientSite>(site_).Detach();
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::SetHostNames(LPCOLESTR, LPCOLESTR) {
  return ApartmentBoundary(apartment_, "IOleObject::SetHostNames",
                           [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::Close(DWORD) {
  return ApartmentBoundary(apartment_, "IOleObject::Close", [&]() -> HRESULT {
    if (FailureInjected("IOleObject::Close")) {
      return E_FAIL;
    }
    Trace(L"close");
    // As a real runtime: its threads end before the window goes.
    queue_.StopWorkers();
    InPlaceDeactivate();
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::SetMoniker(DWORD, IMoniker*) {
  return ApartmentBoundary(apartment_, "IOleObject::SetMoniker",
                           [&]() -> HRESULT { return E_NOTIMPL; });
}

STDMETHODIMP TMiniPlayer::GetMoniker(DWORD, DWORD, IMoniker** out) {
  return ApartmentBoundary(apartment_, "IOleObject::GetMoniker", [&]() -> HRESULT {
    if (out != nullptr) {
      *out = nullptr;
    }
    return E_NOTIMPL;
  });
}

STDMETHODIMP TMiniPlayer::InitFromData(IDataObject*, BOOL, DWORD) {
  return ApartmentBoundary(apartment_, "IOleObject::InitFromData",
                           [&]() -> HRESULT { return E_NOTIMPL; });
}

STDMETHODIMP TMiniPlayer::GetClipboardData(DWORD, IDataObject** out) {
  return ApartmentBoundary(apartment_, "IOleObject::GetClipboardData", [&]() -> HRESULT {
    if (out != nullptr) {
      *out = nullptr;
    }
    return E_NOTIMPL;
  });
}

STDMETHODIMP TMiniPlayer::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                 LPCRECT rect) {
  return ApartmentBoundary(apartment_, "IOleObject::DoVerb", [&]() -> HRESULT {
    if (FailureInjected("IOleObject::DoVerb")) {
      return E_FAIL;
    }
    switch (verb) {
      case OLEIVERB_INPLACEACTIVATE:
        return ActivateInPlace(site, parent, rect, false);
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_UIACTIVATE:
        return ActivateInPlace(site, parent, rect, true);
      case OLEIVERB_HIDE:
        if (HWND window = windows_.Handle(); window != nullptr) {
          ShowWindow(window, SW_HIDE);
        }
        return S_OK;
      default:
        return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
  });
}

STDMETHODIMP TMiniPlayer::EnumVerbs(IEnumOLEVERB** out) {
  return ApartmentBoundary(apartment_, "IOleObject::EnumVerbs", [&]() -> HRESULT {
    if (out != nullptr) {
      *out = nullptr;
    }
    return OLEOBJ_E_NOVERBS;
  });
}

STDMETHODIMP TMiniPlayer::Update() {
  return ApartmentBoundary(apartment_, "IOleObject::Update", [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::IsUpToDate() {
  return ApartmentBoundary(apartment_, "IOleObject::IsUpToDate", [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::GetUserClassID(CLSID* clsid) {
  return ApartmentBoundary(apartment_, "IOleObject::GetUserClassID", [&]() -> HRESULT {
    if (clsid == nullptr) {
      return E_POINTER;
    }
    *clsid = kClsidPlayer;
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::GetUserType(DWORD, LPOLESTR* out) {
  return ApartmentBoundary(apartment_, "IOleObject::GetUserType", [&]() -> HRESULT {
    if (out == nullptr) {
      return E_POINTER;
    }
    static const wchar_t kName[] = L"Leafbook miniplayer";
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kName));
    if (*out == nullptr) {
      return E_OUTOFMEMORY;
    }
    memcpy(*out, kName, sizeof kName);
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::SetExtent(DWORD aspect, SIZEL* size) {
  return ApartmentBoundary(apartment_, "IOleObject::SetExtent", [&]() -> HRESULT {
    if (FailureInjected("IOleObject::SetExtent")) {
      return E_FAIL;
    }
    if (aspect != DVASPECT_CONTENT) {
      return DV_E_DVASPECT;
    }
    if (size == nullptr) {
      return E_POINTER;
    }
    if (size->cx < 0 || size->cy < 0) {
      return E_INVALIDARG;
    }
    extent_ = *size;
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::GetExtent(DWORD aspect, SIZEL* size) {
  return ApartmentBoundary(apartment_, "IOleObject::GetExtent", [&]() -> HRESULT {
    if (FailureInjected("IOleObject::GetExtent")) {
      return E_FAIL;
    }
    if (aspect != DVASPECT_CONTENT) {
      return DV_E_DVASPECT;
    }
    if (size == nullptr) {
      return E_POINTER;
    }
    *size = extent_;
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::Advise(IAdviseSink*, DWORD* cookie) {
  return ApartmentBoundary(apartment_, "IOleObject::Advise", [&]() -> HRESULT {
    if (cookie != nullptr) {
      *cookie = 0;
    }
    return OLE_E_ADVISENOTSUPPORTED;
  });
}

STDMETHODIMP TMiniPlayer::Unadvise(DWORD) {
  return ApartmentBoundary(apartment_, "IOleObject::Unadvise",
                           [&]() -> HRESULT { return OLE_E_NOCONNECTION; });
}

STDMETHODIMP TMiniPlayer::EnumAdvise(IEnumSTATDATA** out) {
  return ApartmentBoundary(apartment_, "IOleObject::EnumAdvise", [&]() -> HRESULT {
    if (out != nullptr) {
      *out = nullptr;
    }
    return OLE_E_ADVISENOTSUPPORTED;
  });
}

STDMETHODIMP TMiniPlayer::GetMiscStatus(DWORD, DWORD* status) {
  return ApartmentBoundary(apartment_, "IOleObject::GetMiscStatus", [&]() -> HRESULT {
    if (status == nullptr) {
      return E_POINTER;
    }
    *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::SetColorScheme(LOGPALETTE*) {
  return ApartmentBoundary(apartment_, "IOleObject::SetColorScheme",
                           [&]() -> HRESULT { return E_NOTIMPL; });
}

// ---------------------------------------------------------------- IOleControl

STDMETHODIMP TMiniPlayer::GetControlInfo(CONTROLINFO* info) {
  return ApartmentBoundary(apartment_, "IOleControl::GetControlInfo", [&]() -> HRESULT {
    if (info == nullptr) {
      return E_POINTER;
    }
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::OnMnemonic(MSG*) {
  return ApartmentBoundary(apartment_, "IOleControl::OnMnemonic",
                           [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::OnAmbientPropertyChange(DISPID) {
  return ApartmentBoundary(apartment_, "IOleControl::OnAmbientPropertyChange",
                           [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::FreezeEvents(BOOL freeze) {
  return ApartmentBoundary(apartment_, "IOleControl::FreezeEvents", [&]() -> HRESULT {
    frozen_ = std::max(0, frozen_ + (freeze ? 1 : -1));
    return S_OK;
  });
}

}  // namespace leafbook::miniplayer
