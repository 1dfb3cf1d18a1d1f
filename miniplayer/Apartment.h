// The apartment of a runtime object: the thread that made it. A real runtime
// object is apartment-threaded and may misbehave on a call from any other
// thread; the stand-in traces such a call and goes on, so that a host's tests
// see it. Reference counting and QueryInterface are free-threaded and
// not checked.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <type_traits>

#include "framework/base/ComBoundary.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

class TApartment {
 public:
  TApartment() : thread_(GetCurrentThreadId()) {}

  DWORD Thread() const { return thread_; }
  // where: "<interface>::<method>".
  void NoteCaller(const char* where) const {
    if (GetCurrentThreadId() != thread_) {
      Trace(L"called from a foreign thread: " + std::wstring(where, where + strlen(where)));
    }
  }

 private:
  DWORD thread_;
};

// ComBoundary for a method of an apartment's object: the caller's thread is
// looked at first.
template <class Body>
HRESULT ApartmentBoundary(const TApartment& apartment, const char* where, Body&& body) noexcept {
  return ComBoundary(where, [&]() -> HRESULT {
    apartment.NoteCaller(where);
    if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
      body();
      return S_OK;
    } else {
      return body();
    }
  });
}

}  // namespace leafbook::miniplayer
