// The project's one owner for system handles: closes what it holds exactly
// once, moves but never copies. Traits say what "invalid" is and how to close.
#pragma once

#include <utility>

#ifdef _WIN32
#include <windows.h>
#endif

namespace leafbook {

template <class Traits>
class TOwnedHandle {
 public:
  using Native = typename Traits::Native;

  TOwnedHandle() noexcept : handle_(Traits::Invalid()) {}
  explicit TOwnedHandle(Native handle) noexcept : handle_(handle) {}
  TOwnedHandle(TOwnedHandle&& other) noexcept : handle_(other.Release()) {}
  TOwnedHandle& operator=(TOwnedHandle&& other) noexcept {
    if (this != &other) {
      Reset(other.Release());
    }
    return *this;
  }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;
  ~TOwnedHandle() { Reset(); }

  Native Get() const noexcept { return handle_; }
  bool Valid() const noexcept { return handle_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return Valid(); }

  Native Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }
  // For out parameters: closes what is held, then gives the slot.
  Native* Put() noexcept {
    Reset();
    return &handle_;
  }
  void Reset(Native handle = Traits::Invalid()) noexcept {
    Native old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) {
      Traits::Close(old);
    }
  }

 private:
  Native handle_;
};

#ifdef _WIN32
// File handles: invalid is INVALID_HANDLE_VALUE.
struct TWin32FileHandleTraits {
  using Native = HANDLE;
  static Native Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Native h) noexcept { ::CloseHandle(h); }
};
// Events, threads, mutexes...: invalid is null.
struct TWin32HandleTraits {
  using Native = HANDLE;
  static Native Invalid() noexcept { return nullptr; }
  static void Close(Native h) noexcept { ::CloseHandle(h); }
};
using TWin32FileHandle = TOwnedHandle<TWin32FileHandleTraits>;
using TWin32Handle = TOwnedHandle<TWin32HandleTraits>;
#else
struct TPosixFdTraits {
  using Native = int;
  static Native Invalid() noexcept { return -1; }
  static void Close(Native fd) noexcept;
};
using TPosixFd = TOwnedHandle<TPosixFdTraits>;
#endif

}  // namespace leafbook
