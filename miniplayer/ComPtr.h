// A counted COM reference: AddRef when a raw pointer is taken in, Release when
// dropped, exactly as COM says. The stand-in runtime's one owner of interfaces.
#pragma once

#include <objbase.h>

#include <utility>

namespace leafbook::miniplayer {

template <class T>
class TComPtr {
 public:
  TComPtr() noexcept = default;
  TComPtr(T* raw) noexcept : ptr_(raw) {  // NOLINT: adopting a borrowed pointer counts it
    if (ptr_ != nullptr) {
      ptr_->AddRef();
    }
  }
  TComPtr(const TComPtr& other) noexcept : TComPtr(other.ptr_) {}
  TComPtr(TComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  TComPtr& operator=(TComPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~TComPtr() { Reset(); }

  // Takes over a pointer that already carries a reference (an out argument).
  static TComPtr Adopt(T* raw) noexcept {
    TComPtr result;
    result.ptr_ = raw;
    return result;
  }

  void Reset() noexcept {
    if (T* old = std::exchange(ptr_, nullptr)) {
      old->Release();
    }
  }
  // For out arguments: releases what is held and gives the slot.
  T** Out() noexcept {
    Reset();
    return &ptr_;
  }
  void** OutVoid() noexcept { return reinterpret_cast<void**>(Out()); }
  // Hands the reference to the caller (an out argument of ours).
  T* Detach() noexcept { return std::exchange(ptr_, nullptr); }

  template <class U>
  TComPtr<U> As(REFIID iid) const noexcept {
    TComPtr<U> result;
    if (ptr_ != nullptr) {
      ptr_->QueryInterface(iid, result.OutVoid());
    }
    return result;
  }

  T* Get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

}  // namespace leafbook::miniplayer
