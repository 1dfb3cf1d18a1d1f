// The one error boundary of every function the system or the movie runtime
// calls into: COM methods, window procedures and the replacements of system
// functions. Exceptions are the way failures travel inside the program; none
// may cross into a caller that knows only result codes.
//   std::bad_alloc        -> E_OUTOFMEMORY
//   EOleSysError          -> the code it carries
//   anything else         -> E_FAIL
// Every exception but the allocation failure leaves a trace line where the
// process has set a tracer (the viewer's log, the stand-in runtime's trace).
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <new>
#include <type_traits>

#include "framework/base/OleCheck.h"

namespace leafbook {

// where: the boundary's name ("IOleObject::DoVerb"); what: the exception's text.
using TBoundaryTracer = void (*)(const char* where, const char* what) noexcept;

// One tracer for each module: a module that keeps no log leaves it unset.
inline std::atomic<TBoundaryTracer> gBoundaryTracer{nullptr};

inline void SetBoundaryTracer(TBoundaryTracer tracer) noexcept {
  gBoundaryTracer.store(tracer);
}

// The result code of the exception in flight; call it inside a catch block.
inline HRESULT ResultOfCaughtException(const char* where) noexcept {
  const char* what = "unknown exception";
  HRESULT result = E_FAIL;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const EOleSysError& error) {
    what = error.what();
    result = error.Code();
  } catch (const std::exception& error) {
    what = error.what();
  } catch (...) {
  }
  if (TBoundaryTracer tracer = gBoundaryTracer.load()) {
    tracer(where, what);
  }
  return result;
}

// Runs body for a COM method: its HRESULT (S_OK when it returns nothing), or
// the code of what it threw.
template <class Body>
HRESULT ComBoundary(const char* where, Body&& body) noexcept {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
      body();
      return S_OK;
    } else {
      return body();
    }
  } catch (...) {
    return ResultOfCaughtException(where);
  }
}

// Runs body for a function that reports failure by a value of its own (a
// window procedure's result, a replaced system function's FALSE or
// INVALID_HANDLE_VALUE): its result, or failure when it threw.
template <class Result, class Body>
Result Boundary(const char* where, Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    ResultOfCaughtException(where);
    return failure;
  }
}

// The same for a body that returns nothing.
template <class Body>
void Boundary(const char* where, Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    ResultOfCaughtException(where);
  }
}

}  // namespace leafbook
