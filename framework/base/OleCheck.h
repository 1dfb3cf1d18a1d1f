// Turns a failing COM result code into an exception that carries it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/base/Exceptions.h"

namespace leafbook {

// Any failure of an OLE object or of the hosting of one.
class EOleError : public Exception {
 public:
  using Exception::Exception;
};

// A failing result code of a COM call, carried along.
class EOleSysError : public EOleError {
 public:
  EOleSysError(HRESULT code, const std::string& what)
      : EOleError(what + " failed (" + Hex(code) + ")"), code_(code) {}
  HRESULT Code() const { return code_; }

 private:
  static std::string Hex(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
  }
  HRESULT code_;
};

inline HRESULT OleCheck(HRESULT code, const char* what = "OLE call") {
  if (FAILED(code)) {
    throw EOleSysError(code, what);
  }
  return code;
}

}  // namespace leafbook
