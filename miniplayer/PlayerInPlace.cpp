// TMiniPlayer's in-place activation: its window inside the site's, UI
// activation with the frame, and the IOleInPlaceObject and
// IOleInPlaceActiveObject methods.
#include <utility>

#include "framework/base/ComBoundary.h"
#include "miniplayer/Player.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

HRESULT TMiniPlayer::ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect,
                                     bool uiActivate) {
  if (!inPlaceActive_) {
    TComPtr<IOleClientSite> client(site != nullptr ? site : site_.Get());
    TComPtr<IOleInPlaceSite> inPlace = client.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
    if (!inPlace) {
      return E_NOINTERFACE;
    }
    if (inPlace->CanInPlaceActivate() != S_OK) {
      return E_FAIL;
    }
    inPlaceSite_ = inPlace;
    inPlaceActive_ = true;
    inPlace->OnInPlaceActivate();
    if (parent == nullptr && FAILED(inPlace->GetWindow(&parent))) {
      parent = nullptr;
    }
    TComPtr<IOleInPlaceFrame> frame;
    TComPtr<IOleInPlaceUIWindow> document;
    RECT position{0, 0, 0, 0};
    RECT clip{0, 0, 0, 0};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    inPlace->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &frameInfo);
    if (rect != nullptr) {
      position = *rect;
    }
    if (windows_.Handle() == nullptr && !windows_.Create(parent, position)) {
      inPlaceActive_ = false;
      inPlace->OnInPlaceDeactivate();
      inPlaceSite_.Reset();
      return E_FAIL;
    }
    frame_ = frame;
    Trace(L"in place active " + std::to_wstring(position.right - position.left) + L"x" +
          std::to_wstring(position.bottom - position.top));
    ShowWindow(windows_.Handle(), SW_SHOW);
  } else if (rect != nullptr) {
    SetObjectRects(rect, nullptr);
  }
  if (uiActivate) {
    UIActivate();
  }
  return S_OK;
}

void TMiniPlayer::UIActivate() {
  if (uiActive_ || !inPlaceSite_) {
    return;
  }
  TComPtr<IUnknown> self(static_cast<IOleObject*>(this));  // the site may drop its reference
  uiActive_ = true;
  Trace(L"ui activated");
  TComPtr<IOleInPlaceSite> site = inPlaceSite_;
  site->OnUIActivate();
  if (TComPtr<IOleInPlaceFrame> frame = frame_) {
    frame->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"miniplayer");
  }
  if (HWND window = windows_.Handle(); window != nullptr) {
    SetFocus(window);
  }
}

STDMETHODIMP TMiniPlayer::GetWindow(HWND* window) {
  return ApartmentBoundary(apartment_, "IOleWindow::GetWindow", [&]() -> HRESULT {
    if (FailureInjected("IOleWindow::GetWindow")) {
      return E_FAIL;
    }
    if (window == nullptr) {
      return E_POINTER;
    }
    *window = windows_.Handle();
    return *window != nullptr ? S_OK : E_FAIL;
  });
}

STDMETHODIMP TMiniPlayer::ContextSensitiveHelp(BOOL) {
  return ApartmentBoundary(apartment_, "IOleWindow::ContextSensitiveHelp",
                           [&]() -> HRESULT { return E_NOTIMPL; });
}

STDMETHODIMP TMiniPlayer::InPlaceDeactivate() {
  return ApartmentBoundary(apartment_, "IOleInPlaceObject::InPlaceDeactivate", [&]() -> HRESULT {
    if (FailureInjected("IOleInPlaceObject::InPlaceDeactivate")) {
      return E_FAIL;
    }
    if (!inPlaceActive_) {
      return S_OK;
    }
    UIDeactivate();
    inPlaceActive_ = false;
    windows_.Destroy();
    frame_.Reset();
    if (TComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_)) {
      site->OnInPlaceDeactivate();
    }
    Trace(L"in place deactivated");
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::UIDeactivate() {
  return ApartmentBoundary(apartment_, "IOleInPlaceObject::UIDeactivate", [&]() -> HRESULT {
    if (uiActive_) {
      uiActive_ = false;
      if (frame_) {
        frame_->SetActiveObject(nullptr, nullptr);
      }
      if (TComPtr<IOleInPlaceSite> site = inPlaceSite_) {
        site->OnUIDeactivate(FALSE);
      }
    }
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::SetObjectRects(LPCRECT position, LPCRECT) {
  return ApartmentBoundary(apartment_, "IOleInPlaceObject::SetObjectRects", [&]() -> HRESULT {
    if (position == nullptr) {
      return E_POINTER;
    }
    if (HWND window = windows_.Handle(); window != nullptr) {
      MoveWindow(window, position->left, position->top, position->right - position->left,
                 position->bottom - position->top, TRUE);
    }
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::ReactivateAndUndo() {
  return ApartmentBoundary(apartment_, "IOleInPlaceObject::ReactivateAndUndo",
                           [&]() -> HRESULT { return E_NOTIMPL; });
}

// One accelerator of its own: Ctrl+Home, back to the book's first page. A
// claimed key is not dispatched by the host, so it never acts as a plain key too.
STDMETHODIMP TMiniPlayer::TranslateAccelerator(LPMSG message) {
  return ApartmentBoundary(
      apartment_, "IOleInPlaceActiveObject::TranslateAccelerator", [&]() -> HRESULT {
        if (message == nullptr) {
          return S_FALSE;
        }
        const bool claimed = message->message == WM_KEYDOWN && message->wParam == VK_HOME &&
                             GetKeyState(VK_CONTROL) < 0;
        wchar_t code[16];
        swprintf(code, 16, L"0x%04X", message->message);
        Trace(L"translate accelerator " + std::wstring(code) + L" " +
              std::to_wstring(message->wParam) + (claimed ? L" S_OK" : L" S_FALSE"));
        if (!claimed) {
          return S_FALSE;
        }
        stage_.FirstPage();
        return S_OK;
      });
}

STDMETHODIMP TMiniPlayer::OnFrameWindowActivate(BOOL) {
  return ApartmentBoundary(apartment_, "IOleInPlaceActiveObject::OnFrameWindowActivate",
                           [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::OnDocWindowActivate(BOOL) {
  return ApartmentBoundary(apartment_, "IOleInPlaceActiveObject::OnDocWindowActivate",
                           [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return ApartmentBoundary(apartment_, "IOleInPlaceActiveObject::ResizeBorder",
                           [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::EnableModeless(BOOL) {
  return ApartmentBoundary(apartment_, "IOleInPlaceActiveObject::EnableModeless",
                           [&]() -> HRESULT { return S_OK; });
}

}  // namespace leafbook::miniplayer
