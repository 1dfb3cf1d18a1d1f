// The URL moniker the runtime gets in place of the system's. TMyMoniker
// behaves like the system URL moniker it wraps (through TForwardingMoniker) in
// every respect but one: BindToStorage asks the content manager, which answers
// from the host. To give the content a callback to report to, BindToStorage
// registers a TMyBindStatusCallback in the bind context, which passes
// everything on to the callback the runtime had registered there.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "content/ForwardingMoniker.h"
#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"

namespace leafbook {

class TContentManager;

class TMyMoniker final
    : public TComObject<TMyMoniker, TInterface<TForwardingMoniker, &IID_IMoniker>,
                        TInterface<IBinding, &IID_IBinding>> {
 public:
  // The system URL moniker for (context, url) becomes the inner moniker; when
  // the system cannot make one, every forwarded method answers E_FAIL.
  static TComPtr<IMoniker> Create(TContentManager& manager, IMoniker* context, LPCWSTR url);
  TMyMoniker(TContentManager& manager, IMoniker* context, LPCWSTR url);

  // IMoniker: the one call not passed on to the system's moniker.
  HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* bindContext, IMoniker* left, REFIID iid,
                                          void** object) override;

  // IBinding: nothing to control; every method answers E_FAIL.
  HRESULT STDMETHODCALLTYPE Abort() override;
  HRESULT STDMETHODCALLTYPE Suspend() override;
  HRESULT STDMETHODCALLTYPE Resume() override;
  HRESULT STDMETHODCALLTYPE SetPriority(LONG priority) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
  HRESULT STDMETHODCALLTYPE GetBindResult(CLSID* protocol, DWORD* result, LPOLESTR* text,
                                          DWORD* reserved) override;

 private:
  TContentManager& manager_;
  std::wstring url_;           // as the runtime gave it; what BindToStorage asks for
  TComPtr<IMoniker> context_;  // handed on to the manager, which does not resolve against it
};

class TMyBindStatusCallback final
    : public TComObject<TMyBindStatusCallback,
                        TInterface<IBindStatusCallback, &IID_IBindStatusCallback>> {
 public:
  static TComPtr<TMyBindStatusCallback> Create();
  TMyBindStatusCallback() = default;
  // The callback that was registered in the bind context before this one.
  void SetPrevious(TComPtr<IBindStatusCallback> previous) { previous_ = std::move(previous); }

  // Its own two interfaces; any other is asked of the previous callback, so
  // that a provider finds the runtime's IHttpNegotiate here.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

  // Each goes to the previous callback; without one, E_NOTIMPL.
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG max, ULONG status,
                                       LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                            STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID iid, IUnknown* object) override;

 private:
  TComPtr<IBindStatusCallback> previous_;
};

}  // namespace leafbook
