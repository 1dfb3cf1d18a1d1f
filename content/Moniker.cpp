// TMyMoniker and TMyBindStatusCallback.
#include "content/Moniker.h"

#include "content/ContentManager.h"
#include "content/UrlMon.h"
#include "framework/base/ComBoundary.h"

namespace leafbook {

namespace {

// The system's URL moniker for (context, url), or none (a null URL).
TComPtr<IMoniker> SystemMoniker(IMoniker* context, LPCWSTR url) {
  IMoniker* inner = nullptr;
  if (const auto create = UrlMon().CreateURLMoniker) {
    create(context, url, &inner);
  }
  return TComPtr<IMoniker>::Attach(inner);
}

}  // namespace

// --- TMyMoniker

TMyMoniker::TMyMoniker(TContentManager& manager, IMoniker* context, LPCWSTR url)
    : manager_(manager), url_(url ? url : L""), context_(context) {
  SetInner(SystemMoniker(context, url));
}

TComPtr<IMoniker> TMyMoniker::Create(TContentManager& manager, IMoniker* context, LPCWSTR url) {
  return TComPtr<IMoniker>(NewComObject<TMyMoniker>(manager, context, url));
}

HRESULT TMyMoniker::BindToStorage(IBindCtx* bindContext, IMoniker* left, REFIID iid,
                                  void** object) {
  return Boundary("IMoniker::BindToStorage", E_FAIL, [&] {
    TComPtr<TMyBindStatusCallback> callback = TMyBindStatusCallback::Create();
    if (const auto registerCallback = UrlMon().RegisterBindStatusCallback) {
      // The registration stays: the bind context goes with the binding.
      IBindStatusCallback* previous = nullptr;
      registerCallback(bindContext, callback.Get(), &previous, 0);
      callback->SetPrevious(TComPtr<IBindStatusCallback>::Attach(previous));
    }
    return manager_.BindResource(bindContext, left, iid, context_.Get(), callback.Get(), url_,
                                 object);
  });
}

HRESULT TMyMoniker::Abort() {
  return E_FAIL;
}

HRESULT TMyMoniker::Suspend() {
  return E_FAIL;
}

HRESULT TMyMoniker::Resume() {
  return E_FAIL;
}

HRESULT TMyMoniker::SetPriority(LONG) {
  return E_FAIL;
}

HRESULT TMyMoniker::GetPriority(LONG*) {
  return E_FAIL;
}

HRESULT TMyMoniker::GetBindResult(CLSID*, DWORD*, LPOLESTR*, DWORD*) {
  return E_FAIL;
}

// --- TMyBindStatusCallback

TComPtr<TMyBindStatusCallback> TMyBindStatusCallback::Create() {
  return TComPtr<TMyBindStatusCallback>(NewComObject<TMyBindStatusCallback>());
}

HRESULT TMyBindStatusCallback::QueryInterface(REFIID iid, void** object) {
  if (!object) {
    return E_POINTER;
  }
  if (void* found = Find(iid)) {
    *object = found;
    AddRef();
    return S_OK;
  }
  if (previous_) {
    return previous_->QueryInterface(iid, object);
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT TMyBindStatusCallback::OnStartBinding(DWORD reserved, IBinding* binding) {
  return previous_ ? previous_->OnStartBinding(reserved, binding) : E_NOTIMPL;
}

HRESULT TMyBindStatusCallback::GetPriority(LONG* priority) {
  return previous_ ? previous_->GetPriority(priority) : E_NOTIMPL;
}

HRESULT TMyBindStatusCallback::OnLowResource(DWORD reserved) {
  return previous_ ? previous_->OnLowResource(reserved) : E_NOTIMPL;
}

HRESULT TMyBindStatusCallback::OnProgress(ULONG progress, ULONG max, ULONG status, LPCWSTR text) {
  return previous_ ? previous_->OnProgress(progress, max, status, text) : E_NOTIMPL;
}

HRESULT TMyBindStatusCallback::OnStopBinding(HRESULT result, LPCWSTR error) {
  return previous_ ? previous_->OnStopBinding(result, error) : E_NOTIMPL;
}

HRESULT TMyBindStatusCallback::GetBindInfo(DWORD* flags, BINDINFO* info) {
  return previous_ ? previous_->GetBindInfo(flags, info) : E_NOTIMPL;
}

HRESULT TMyBindStatusCallback::OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                               STGMEDIUM* medium) {
  return previous_ ? previous_->OnDataAvailable(flags, size, format, medium) : E_NOTIMPL;
}

HRESULT TMyBindStatusCallback::OnObjectAvailable(REFIID iid, IUnknown* object) {
  return previous_ ? previous_->OnObjectAvailable(iid, object) : E_NOTIMPL;
}

}  // namespace leafbook
