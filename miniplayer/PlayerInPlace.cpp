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
  if (uiActivate && !uiActive_ && inPlaceSite_) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    if (frame_) {
      frame_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"miniplayer");
    }
    SetFocus(windows_.Handle());
  }
  return S_OK;
}

STDMETHODIMP TMiniPlayer::GetWindow(HWND* window) {
  return ComBoundary("IOleWindow::GetWindow", [&]() -> HRESULT {
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
  return ComBoundary("IOleWindow::ContextSensitiveHelp", [&]() -> HRESULT { return E_NOTIMPL; });
}

STDMETHODIMP TMiniPlayer::InPlaceDeactivate() {
  return ComBoundary("IOleInPlaceObject::InPlaceDeactivate", [&]() -> HRESULT {
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
  return ComBoundary("IOleInPlaceObject::UIDeactivate", [&]() -> HRESULT {
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
  return ComBoundary("IOleInPlaceObject::SetObjectRects", [&]() -> HRESULT {
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
  return ComBoundary("IOleInPlaceObject::ReactivateAndUndo",
                     [&]() -> HRESULT { return E_NOTIMPL; });
}

STDMETHODIMP TMiniPlayer::TranslateAccelerator(LPMSG) {
  return ComBoundary("IOleInPlaceActiveObject::TranslateAccelerator",
                     [&]() -> HRESULT { return S_FALSE; });
}

STDMETHODIMP TMiniPlayer::OnFrameWindowActivate(BOOL) {
  return ComBoundary("IOleInPlaceActiveObject::OnFrameWindowActivate",
                     [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::OnDocWindowActivate(BOOL) {
  return ComBoundary("IOleInPlaceActiveObject::OnDocWindowActivate",
                     [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return ComBoundary("IOleInPlaceActiveObject::ResizeBorder", [&]() -> HRESULT { return S_OK; });
}

STDMETHODIMP TMiniPlayer::EnableModeless(BOOL) {
  return ComBoundary("IOleInPlaceActiveObject::EnableModeless", [&]() -> HRESULT { return S_OK; });
}

}  // namespace leafbook::miniplayer
