// TMyMoniker and TMyBindStatusCallback.
#include "content/Moniker.h"

#include "content/ContentManager.h"
#include "content/UrlMon.h"

namespace leafbook {

namespace {

// Out values are cleared before anything else, as the system's monikers do,
// so that a caller never sees a stale pointer whatever the inner moniker does.
template <class T>
void Clear(T** out) {
  if (out) {
    *out = nullptr;
  }
}

}  // namespace

// --- TMyMoniker

TMyMoniker::TMyMoniker(TContentManager& manager, IMoniker* context, LPCWSTR url)
    : manager_(manager), url_(url ? url : L""), context_(context) {
  if (const auto create = UrlMon().CreateURLMoniker) {
    // When the system makes none (a null URL), inner_ stays empty.
    IMoniker* inner = nullptr;
    create(context, url, &inner);
    inner_ = TComPtr<IMoniker>::Attach(inner);
  }
}

TComPtr<IMoniker> TMyMoniker::Create(TContentManager& manager, IMoniker* context, LPCWSTR url) {
  return TComPtr<IMoniker>(NewComObject<TMyMoniker>(manager, context, url));
}

HRESULT TMyMoniker::QueryInterface(REFIID iid, void** object) {
  if (!object) {
    return E_POINTER;
  }
  if (iid == IID_IUnknown || iid == IID_IMoniker) {
    *object = static_cast<IMoniker*>(this);
  } else if (iid == IID_IBinding) {
    *object = static_cast<IBinding*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRefImpl();
  return S_OK;
}

HRESULT TMyMoniker::GetClassID(CLSID* classId) {
  return inner_ ? inner_->GetClassID(classId) : E_FAIL;
}

HRESULT TMyMoniker::IsDirty() {
  return inner_ ? inner_->IsDirty() : E_FAIL;
}

HRESULT TMyMoniker::Load(IStream* stream) {
  return inner_ ? inner_->Load(stream) : E_FAIL;
}

HRESULT TMyMoniker::Save(IStream* stream, BOOL clearDirty) {
  return inner_ ? inner_->Save(stream, clearDirty) : E_FAIL;
}

HRESULT TMyMoniker::GetSizeMax(ULARGE_INTEGER* size) {
  return inner_ ? inner_->GetSizeMax(size) : E_FAIL;
}

HRESULT TMyMoniker::BindToObject(IBindCtx* bindContext, IMoniker* left, REFIID iid, void** object) {
  return inner_ ? inner_->BindToObject(bindContext, left, iid, object) : E_FAIL;
}

HRESULT TMyMoniker::BindToStorage(IBindCtx* bindContext, IMoniker* left, REFIID iid,
                                  void** object) {
  try {
    TComPtr<TMyBindStatusCallback> callback = TMyBindStatusCallback::Create();
    if (const auto registerCallback = UrlMon().RegisterBindStatusCallback) {
      // The registration stays: the bind context goes with the binding.
      IBindStatusCallback* previous = nullptr;
      registerCallback(bindContext, callback.Get(), &previous, 0);
      callback->SetPrevious(TComPtr<IBindStatusCallback>::Attach(previous));
    }
    return manager_.BindResource(bindContext, left, iid, context_.Get(), callback.Get(), url_,
                                 object);
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT TMyMoniker::Reduce(IBindCtx* bindContext, DWORD howFar, IMoniker** left,
                           IMoniker** reduced) {
  Clear(reduced);
  return inner_ ? inner_->Reduce(bindContext, howFar, left, reduced) : E_FAIL;
}

HRESULT TMyMoniker::ComposeWith(IMoniker* right, BOOL onlyIfNotGeneric, IMoniker** composite) {
  Clear(composite);
  return inner_ ? inner_->ComposeWith(right, onlyIfNotGeneric, composite) : E_FAIL;
}

HRESULT TMyMoniker::Enum(BOOL forward, IEnumMoniker** enumerator) {
  Clear(enumerator);
  return inner_ ? inner_->Enum(forward, enumerator) : E_FAIL;
}

HRESULT TMyMoniker::IsEqual(IMoniker* other) {
  return inner_ ? inner_->IsEqual(other) : E_FAIL;
}

HRESULT TMyMoniker::Hash(DWORD* hash) {
  return inner_ ? inner_->Hash(hash) : E_FAIL;
}

HRESULT TMyMoniker::IsRunning(IBindCtx* bindContext, IMoniker* left, IMoniker* newlyRunning) {
  return inner_ ? inner_->IsRunning(bindContext, left, newlyRunning) : E_FAIL;
}

HRESULT TMyMoniker::GetTimeOfLastChange(IBindCtx* bindContext, IMoniker* left, FILETIME* time) {
  return inner_ ? inner_->GetTimeOfLastChange(bindContext, left, time) : E_FAIL;
}

HRESULT TMyMoniker::Inverse(IMoniker** inverse) {
  Clear(inverse);
  return inner_ ? inner_->Inverse(inverse) : E_FAIL;
}

HRESULT TMyMoniker::CommonPrefixWith(IMoniker* other, IMoniker** prefix) {
  Clear(prefix);
  return inner_ ? inner_->CommonPrefixWith(other, prefix) : E_FAIL;
}

HRESULT TMyMoniker::RelativePathTo(IMoniker* other, IMoniker** relativePath) {
  Clear(relativePath);
  return inner_ ? inner_->RelativePathTo(other, relativePath) : E_FAIL;
}

HRESULT TMyMoniker::GetDisplayName(IBindCtx* bindContext, IMoniker* left, LPOLESTR* name) {
  return inner_ ? inner_->GetDisplayName(bindContext, left, name) : E_FAIL;
}

HRESULT TMyMoniker::ParseDisplayName(IBindCtx* bindContext, IMoniker* left, LPOLESTR name,
                                     ULONG* eaten, IMoniker** result) {
  Clear(result);
  return inner_ ? inner_->ParseDisplayName(bindContext, left, name, eaten, result) : E_FAIL;
}

HRESULT TMyMoniker::IsSystemMoniker(DWORD* kind) {
  return inner_ ? inner_->IsSystemMoniker(kind) : E_FAIL;
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
  if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
    *object = static_cast<IBindStatusCallback*>(this);
    AddRefImpl();
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
