// Base of the project's own COM objects. A class says once, in its base list,
// which interfaces it answers and under which interface ids:
//
//   class TThing final : public TComObject<TThing, TInterface<IStream, &IID_IStream>,
//                                          TInterface<IFoo, &IID_IFoo, &IID_IFooOld>> {...};
//
// and QueryInterface, AddRef and Release come from here: IID_IUnknown answers
// the first interface, each listed id its interface, anything else
// E_NOINTERFACE. The reference count starts at 0, changes atomically, and the
// Release that brings it back to 0 deletes the complete object (COM classes
// are final). Objects are made only through NewComObject, so that their one
// allocation and their one deletion both live here.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace leafbook {

// One interface of an object and the ids that reach it.
template <class Interface, const IID*... Iids>
struct TInterface {
  using Type = Interface;
  static bool Answers(REFIID iid) noexcept { return ((iid == *Iids) || ...); }
};

template <class Derived, class First, class... Rest>
class TComObject : public First::Type, public Rest::Type... {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = Find(iid);
    if (*out == nullptr) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(::InterlockedIncrement(&refCount_));
  }
  // The complete object's destructor must be public: it is deleted from here.
  STDMETHODIMP_(ULONG) Release() override {
    LONG count = ::InterlockedDecrement(&refCount_);
    if (count == 0) {
      delete static_cast<Derived*>(this);
    }
    return static_cast<ULONG>(count);
  }

  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

 protected:
  TComObject() = default;
  ~TComObject() = default;

  // The listed interface iid reaches, or null: for a class that answers more
  // than its list (forwarding unknown ids elsewhere) in a QueryInterface of its own.
  void* Find(REFIID iid) noexcept {
    Derived* self = static_cast<Derived*>(this);
    if (iid == IID_IUnknown) {
      return static_cast<IUnknown*>(static_cast<typename First::Type*>(self));
    }
    void* found = Match<First>(self, iid);
    ((found = found ? found : Match<Rest>(self, iid)), ...);
    return found;
  }

 private:
  template <class Entry>
  static void* Match(Derived* self, REFIID iid) noexcept {
    return Entry::Answers(iid) ? static_cast<typename Entry::Type*>(self) : nullptr;
  }

  LONG refCount_ = 0;
};

// A new object with a reference count of 0; the first AddRef (usually by a
// TComPtr) makes it live.
template <class T, class... Args>
T* NewComObject(Args&&... args) {
  return new T(std::forward<Args>(args)...);
}

}  // namespace leafbook
