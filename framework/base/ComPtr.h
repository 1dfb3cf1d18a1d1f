// The project's one COM reference owner: AddRef on copy, Release on reset and
// destruction, exactly once each.
#pragma once

#include <objbase.h>

#include <type_traits>
#include <utility>

namespace leafbook {

template <class T>
class TComPtr {
 public:
  TComPtr() noexcept = default;
  TComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference of its own (a borrowed pointer becomes a counted one).
  TComPtr(T* pointer) noexcept : pointer_(pointer) {
    if (pointer_) {
      pointer_->AddRef();
    }
  }
  TComPtr(const TComPtr& other) noexcept : TComPtr(other.pointer_) {}
  // From a pointer to a class that implements T.
  template <class U>
  requires std::is_convertible_v<U*, T*> TComPtr(const TComPtr<U>& other)
  noexcept : TComPtr(static_cast<T*>(other.Get())) {}
  TComPtr(TComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  TComPtr& operator=(TComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~TComPtr() { Reset(); }

  // Adopts a reference the caller already owns (as out parameters hand over).
  static TComPtr Attach(T* pointer) noexcept {
    TComPtr result;
    result.pointer_ = pointer;
    return result;
  }

  T* Get() const noexcept { return pointer_; }
  T* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

  void Reset() noexcept {
    if (T* old = std::exchange(pointer_, nullptr)) {
      old->Release();
    }
  }
  // Gives the reference away without releasing it.
  T* Detach() noexcept { return std::exchange(pointer_, nullptr); }

  // For out parameters: releases what is held, then gives the slot.
  T** Put() noexcept {
    Reset();
    return &pointer_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  // QueryInterface for another interface; null when not supported.
  template <class U>
  TComPtr<U> As() const noexcept {
    return As<U>(__uuidof(U));
  }
  // The same with the interface id given, for interfaces the system headers
  // declare without one.
  template <class U>
  TComPtr<U> As(REFIID iid) const noexcept {
    TComPtr<U> result;
    if (pointer_) {
      pointer_->QueryInterface(iid, result.PutVoid());
    }
    return result;
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace leafbook
