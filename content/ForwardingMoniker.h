// A moniker that passes every IMoniker and IPersistStream call on to an inner
// moniker, and answers E_FAIL to each when it has none. Out pointers are
// cleared before anything else, as the system's monikers do, so that a caller
// never sees a stale pointer whatever the inner moniker does. A class derived
// from it supplies IUnknown and replaces the calls it answers itself.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <utility>

#include "framework/base/ComPtr.h"

namespace leafbook {

class TForwardingMoniker : public IMoniker {
 public:
  // IPersist, IPersistStream
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override {
    return inner_ ? inner_->GetClassID(classId) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return inner_ ? inner_->IsDirty() : E_FAIL; }
  HRESULT STDMETHODCALLTYPE Load(IStream* stream) override {
    return inner_ ? inner_->Load(stream) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override {
    return inner_ ? inner_->Save(stream, clearDirty) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
    return inner_ ? inner_->GetSizeMax(size) : E_FAIL;
  }

  // IMoniker
  HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx* bindContext, IMoniker* left, REFIID iid,
                                         void** object) override {
    return inner_ ? inner_->BindToObject(bindContext, left, iid, object) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* bindContext, IMoniker* left, REFIID iid,
                                          void** object) override {
    return inner_ ? inner_->BindToStorage(bindContext, left, iid, object) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE Reduce(IBindCtx* bindContext, DWORD howFar, IMoniker** left,
                                   IMoniker** reduced) override {
    Clear(reduced);
    return inner_ ? inner_->Reduce(bindContext, howFar, left, reduced) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker* right, BOOL onlyIfNotGeneric,
                                        IMoniker** composite) override {
    Clear(composite);
    return inner_ ? inner_->ComposeWith(right, onlyIfNotGeneric, composite) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE Enum(BOOL forward, IEnumMoniker** enumerator) override {
    Clear(enumerator);
    return inner_ ? inner_->Enum(forward, enumerator) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) override {
    return inner_ ? inner_->IsEqual(other) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE Hash(DWORD* hash) override {
    return inner_ ? inner_->Hash(hash) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx* bindContext, IMoniker* left,
                                      IMoniker* newlyRunning) override {
    return inner_ ? inner_->IsRunning(bindContext, left, newlyRunning) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx* bindContext, IMoniker* left,
                                                FILETIME* time) override {
    return inner_ ? inner_->GetTimeOfLastChange(bindContext, left, time) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE Inverse(IMoniker** inverse) override {
    Clear(inverse);
    return inner_ ? inner_->Inverse(inverse) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker* other, IMoniker** prefix) override {
    Clear(prefix);
    return inner_ ? inner_->CommonPrefixWith(other, prefix) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker* other, IMoniker** relativePath) override {
    Clear(relativePath);
    return inner_ ? inner_->RelativePathTo(other, relativePath) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* bindContext, IMoniker* left,
                                           LPOLESTR* name) override {
    return inner_ ? inner_->GetDisplayName(bindContext, left, name) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx* bindContext, IMoniker* left, LPOLESTR name,
                                             ULONG* eaten, IMoniker** result) override {
    Clear(result);
    return inner_ ? inner_->ParseDisplayName(bindContext, left, name, eaten, result) : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* kind) override {
    return inner_ ? inner_->IsSystemMoniker(kind) : E_FAIL;
  }

 protected:
  TForwardingMoniker() = default;
  ~TForwardingMoniker() = default;
  void SetInner(TComPtr<IMoniker> inner) { inner_ = std::move(inner); }

 private:
  template <class T>
  static void Clear(T** out) {
    if (out) {
      *out = nullptr;
    }
  }

  TComPtr<IMoniker> inner_;  // or none
};

}  // namespace leafbook
