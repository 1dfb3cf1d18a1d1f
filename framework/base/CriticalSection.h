// The project's one critical-section owner and its scope guard.
#pragma once

#include <windows.h>

namespace leafbook {

class TCriticalSection {
 public:
  TCriticalSection() { ::InitializeCriticalSection(&section_); }
  ~TCriticalSection() { ::DeleteCriticalSection(&section_); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { ::EnterCriticalSection(&section_); }
  void Leave() { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

// Holds the section for the life of the scope, also when an exception passes.
class TLockGuard {
 public:
  explicit TLockGuard(TCriticalSection& section) : section_(section) { section_.Enter(); }
  ~TLockGuard() { section_.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  TCriticalSection& section_;
};

}  // namespace leafbook
