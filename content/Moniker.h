// The URL moniker the runtime gets in place of the system's. TMyMoniker
// behaves like the system URL moniker it wraps in every respect but one:
// BindToStorage asks the content manager, which answers from the host. To give
// the content a callback to report to, BindToStorage registers a
// TMyBindStatusCallback in the bind context, which passes everything on to
// the callback the runtime had registered there.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"

namespace leafbook {

class TContentManager;

class TMyMoniker final : public IMoniker, public IBinding, public TComRefCounted<TMyMoniker> {
 public:
  // The system URL moniker for (context, url) becomes the inner moniker; when
  // the system cannot make one, every forwarded method answers E_FAIL.
  static TComPtr<IMoniker> Create(TContentManager& manager, IMoniker* context, LPCWSTR url);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

  // IPersist, IPersistStream (answered, though QueryInterface offers neither)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;

  // IMoniker
  HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* bindContext, IMoniker* left, REFIID iid,
                                         void** object) override;
  HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* bindContext, IMoniker* left, REFIID iid,
                                          void** object) override;
  HRESULT STDMETHODCALLTYPE Reduce(IBindCtx* bindContext, DWORD howFar, IMoniker** left,
                                   IMoniker** reduced) override;
  HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker* right, BOOL onlyIfNotGeneric,
                                        IMoniker** composite) override;
  HRESULT STDMETHODCALLTYPE Enum(BOOL forward, IEnumMoniker** enumerator) override;
  HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) override;
  HRESULT STDMETHODCALLTYPE Hash(DWORD* hash) override;
  HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx* bindContext, IMoniker* left,
                                      IMoniker* newlyRunning) override;
  HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx* bindContext, IMoniker* left,
                                                FILETIME* time) override;
  HRESULT STDMETHODCALLTYPE Inverse(IMoniker** inverse) override;
  HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker* other, IMoniker** prefix) override;
  HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker* other, IMoniker** relativePath) override;
  HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* bindContext, IMoniker* left,
                                           LPOLESTR* name) override;
  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx* bindContext, IMoniker* left, LPOLESTR name,
                                             ULONG* eaten, IMoniker** result) override;
  HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* kind) override;

  // IBinding: nothing to control; every method answers E_FAIL.
  HRESULT STDMETHODCALLTYPE Abort() override;
  HRESULT STDMETHODCALLTYPE Suspend() override;
  HRESULT STDMETHODCALLTYPE Resume() override;
  HRESULT STDMETHODCALLTYPE SetPriority(LONG priority) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
  HRESULT STDMETHODCALLTYPE GetBindResult(CLSID* protocol, DWORD* result, LPOLESTR* text,
                                          DWORD* reserved) override;

 private:
  template <class T, class... Args>
  friend T* NewComObject(Args&&... args);
  friend class TComRefCounted<TMyMoniker>;
  TMyMoniker(TContentManager& manager, IMoniker* context, LPCWSTR url);
  ~TMyMoniker() = default;

  TContentManager& manager_;
  std::wstring url_;           // as the runtime gave it; what BindToStorage asks for
  TComPtr<IMoniker> context_;  // handed on to the manager, which does not resolve against it
  TComPtr<IMoniker> inner_;    // the system's moniker for url_ and context_, or none
};

class TMyBindStatusCallback final : public IBindStatusCallback,
                                    public TComRefCounted<TMyBindStatusCallback> {
 public:
  static TComPtr<TMyBindStatusCallback> Create();
  // The callback that was registered in the bind context before this one.
  void SetPrevious(TComPtr<IBindStatusCallback> previous) { previous_ = std::move(previous); }

  // Its own two interfaces; any other is asked of the previous callback, so
  // that a provider finds the runtime's IHttpNegotiate here.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

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
  template <class T, class... Args>
  friend T* NewComObject(Args&&... args);
  friend class TComRefCounted<TMyBindStatusCallback>;
  TMyBindStatusCallback() = default;
  ~TMyBindStatusCallback() = default;

  TComPtr<IBindStatusCallback> previous_;
};

}  // namespace leafbook
