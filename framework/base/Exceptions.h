// The exception types the whole program raises. Every exception carries a
// message text; the boundaries that swallow failures catch Exception.
#pragma once

#include <stdexcept>
#include <string>

namespace leafbook {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A broken internal precondition, such as an entry index out of range.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

}  // namespace leafbook
