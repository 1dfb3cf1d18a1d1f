// Base of the project's own COM objects: the reference count starts at 0,
// AddRef and Release change it atomically, and the Release that brings it
// back to 0 destroys the object. COM classes are final: the object deleted
// is always the complete one. Objects are made only through NewComObject,
// so that their one allocation and their one deletion both live here.
#pragma once

#include <windows.h>

#include <utility>

namespace leafbook {

// Derived is the object's own class, so that the last Release deletes the
// complete object (a COM class derives from this publicly).
template <class Derived>
class TComRefCounted {
 public:
  TComRefCounted(const TComRefCounted&) = delete;
  TComRefCounted& operator=(const TComRefCounted&) = delete;

 protected:
  TComRefCounted() = default;
  ~TComRefCounted() = default;

  ULONG AddRefImpl() { return static_cast<ULONG>(::InterlockedIncrement(&refCount_)); }
  ULONG ReleaseImpl() {
    LONG count = ::InterlockedDecrement(&refCount_);
    if (count == 0) {
      delete static_cast<Derived*>(this);
    }
    return static_cast<ULONG>(count);
  }

 private:
  LONG refCount_ = 0;
};

// A new object with a reference count of 0; the first AddRef (usually by a
// TComPtr) makes it live.
template <class T, class... Args>
T* NewComObject(Args&&... args) {
  return new T(std::forward<Args>(args)...);
}

}  // namespace leafbook
