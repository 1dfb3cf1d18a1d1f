// TFlashPlayerSite: the host control's face to the runtime and to the content
// side, one COM object with every site interface. The control makes it and
// attaches itself; the runtime and the content manager hold references that
// keep the object, never the control, alive. Once the control detaches,
// every call answers without reaching it.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include "content/FlashPlayerControlBase.h"
#include "flashhost/FlashPlayerControl.h"
#include "framework/base/ComObject.h"
#include "framework/base/CriticalSection.h"
#include "framework/gui/MainThread.h"

namespace leafbook {

// The in-place site and the in-place frame each answer IOleWindow's
// GetWindow with a window of their own (the parent window, the top-level
// window): each face routes it to a method of its own name.
struct ISiteWindowFace : public IOleInPlaceSite {
  STDMETHODIMP GetWindow(HWND* window) final { return SiteGetWindow(window); }
  virtual HRESULT SiteGetWindow(HWND* window) = 0;
};
struct IFrameWindowFace : public IOleInPlaceFrame {
  STDMETHODIMP GetWindow(HWND* window) final { return FrameGetWindow(window); }
  virtual HRESULT FrameGetWindow(HWND* window) = 0;
};

class TFlashPlayerSite final
    : public TComObject<TFlashPlayerSite,
                        TInterface<IDispatch, &DIID_IShockwaveFlashEvents, &IID_IDispatch>,
                        TInterface<ISiteWindowFace, &IID_IOleWindow, &IID_IOleInPlaceSite>,
                        TInterface<IFlashPlayerControlBase, &IID_IFlashPlayerControlBase>,
                        TInterface<ISimpleFrameSite, &IID_ISimpleFrameSite>,
                        TInterface<IPropertyNotifySink, &IID_IPropertyNotifySink>,
                        TInterface<IFrameWindowFace, &IID_IOleInPlaceFrame>,
                        TInterface<IOleControlSite, &IID_IOleControlSite>,
                        TInterface<IOleClientSite, &IID_IOleClientSite>> {
 public:
  explicit TFlashPlayerSite(TFlashPlayerControl& control);
  ~TFlashPlayerSite() = default;

  // The control is going. DetachContent comes first: from then on the
  // content side's calls answer without it, and it returns once the resource
  // events that other threads are raising have returned (running the
  // main-thread queue meanwhile, since their writes may wait for it). Detach
  // cuts the runtime's calls too.
  void DetachContent();
  void Detach();
  // The control's Base as the main thread last read or wrote it: what the
  // content side is told, from any thread, without a call into the runtime.
  void KeepBase(const std::wstring& base);

  // IDispatch: the runtime's events and its ambient property reads.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IOleWindow, IOleInPlaceSite
  HRESULT SiteGetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override;
  STDMETHODIMP CanInPlaceActivate() override;
  STDMETHODIMP OnInPlaceActivate() override;
  STDMETHODIMP OnUIActivate() override;
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override;
  STDMETHODIMP OnUIDeactivate(BOOL) override;
  STDMETHODIMP OnInPlaceDeactivate() override;
  STDMETHODIMP DiscardUndoState() override;
  STDMETHODIMP DeactivateAndUndo() override;
  STDMETHODIMP OnPosRectChange(LPCRECT position) override;

  // IFlashPlayerControlBase
  STDMETHODIMP PutMovie(LPCWSTR url) override;
  STDMETHODIMP LoadMovie(int32_t layer, LPCWSTR url) override;
  STDMETHODIMP GetBase(BSTR* base) override;
  STDMETHODIMP FireLoadExternalResource(LPCWSTR url, TStream* stream) override;
  STDMETHODIMP FireLoadExternalResourceEx(LPCWSTR url, TStream* stream, BOOL* handled) override;
  STDMETHODIMP FireLoadExternalResourceAsync(LPCWSTR path, TStream** stream) override;
  STDMETHODIMP FireUnloadExternalResourceAsync(TStream* stream) override;

  // ISimpleFrameSite
  STDMETHODIMP PreMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD*) override;
  STDMETHODIMP PostMessageFilter(HWND, UINT, WPARAM, LPARAM, LRESULT*, DWORD) override;

  // IPropertyNotifySink
  STDMETHODIMP OnChanged(DISPID) override;
  STDMETHODIMP OnRequestEdit(DISPID) override;

  // IOleInPlaceFrame
  HRESULT FrameGetWindow(HWND* window) override;
  STDMETHODIMP GetBorder(LPRECT) override;
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override;
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override;
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override;
  STDMETHODIMP InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
  STDMETHODIMP SetMenu(HMENU shared, HOLEMENU oleMenu, HWND activeObject) override;
  STDMETHODIMP RemoveMenus(HMENU shared) override;
  STDMETHODIMP SetStatusText(LPCOLESTR) override;
  STDMETHODIMP EnableModeless(BOOL) override;
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override;

  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override;
  STDMETHODIMP LockInPlaceActive(BOOL) override;
  STDMETHODIMP GetExtendedControl(IDispatch** control) override;
  STDMETHODIMP TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override;
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override;
  STDMETHODIMP OnFocus(BOOL) override;
  STDMETHODIMP ShowPropertyFrame() override;

  // IOleClientSite
  STDMETHODIMP SaveObject() override;
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override;
  STDMETHODIMP OnShowWindow(BOOL) override;
  STDMETHODIMP RequestNewObjectLayout() override;

 private:
  // The control, or null once detached. Only the content side calls from
  // other threads; what it needs is copied under the lock, and nothing is
  // called with the lock held.
  TFlashPlayerControl* Control();
  // Runs body with the control on the user-interface thread's calls; a
  // detached site answers E_UNEXPECTED.
  template <class Body>
  HRESULT WithControl(const char* where, Body&& body);
  // The same for a content call that reaches the runtime: carried to the
  // main thread when it comes from another one.
  template <class Body>
  HRESULT WithControlOnMainThread(const char* where, Body&& body);
  // Raises one resource event: S_FALSE without a handler.
  template <class Handler, class Call>
  HRESULT Fire(const char* where, Handler TFlashPlayerControl::*event, Call&& call);
  bool ContentDetached();

  TCriticalSection lock_;
  TFlashPlayerControl* control_;
  bool contentDetached_ = false;
  std::wstring base_;
  // Resource events running on other threads.
  TCallsInFlight events_;
};

}  // namespace leafbook
