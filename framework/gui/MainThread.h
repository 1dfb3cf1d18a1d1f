// The process-wide queue of calls run on the main thread. From the main
// thread a call runs at once; from another thread it is queued, the main
// thread is woken, and the caller blocks until the call ran, receiving any
// exception it raised. The main thread runs queued calls from its message
// loop (any loop that dispatches messages) and while it waits for another
// thread through WaitWithSynchronize.
//
// While the main thread is blocked in a call that waits for other threads
// (an apartment object closing, which joins its workers), their calls could
// never run: a TRefusedSynchronize scope fails them instead, and a worker's
// Synchronize raises ESynchronizeRefused at once.
#pragma once

#include <windows.h>

#include <functional>

#include "framework/base/CriticalSection.h"
#include "framework/base/Exceptions.h"
#include "framework/base/Handle.h"

namespace leafbook {

// Makes the calling thread the main thread. The application object calls it;
// tests without one may call it themselves. Calls nest: the queue goes with
// the last DoneMainThread.
void InitMainThread();
void DoneMainThread();

bool IsMainThread();
// Whether a main thread has been made (InitMainThread) and not yet gone.
bool HasMainThread();

void Synchronize(const std::function<void()>& call);

// Runs call on the main thread without waiting for it: at once on the main
// thread, otherwise when the main thread next drains the queue (at the
// latest when the queue goes). Also while calls are refused.
void QueueOnMainThread(std::function<void()> call);

class ESynchronizeRefused : public Exception {
 public:
  ESynchronizeRefused() : Exception("The main thread refuses calls while it waits") {}
};

// Calls under way on threads other than the main one, counted so that the
// main thread can wait until none is left while it runs the calls they queue
// (they may be waiting for it).
class TCallsInFlight {
 public:
  TCallsInFlight();
  TCallsInFlight(const TCallsInFlight&) = delete;
  TCallsInFlight& operator=(const TCallsInFlight&) = delete;

  // Counts the calling thread's call while it lives; a call on the main
  // thread is not counted (the main thread never waits for itself).
  class TCall {
   public:
    explicit TCall(TCallsInFlight& calls);
    ~TCall();
    TCall(const TCall&) = delete;
    TCall& operator=(const TCall&) = delete;

   private:
    TCallsInFlight* calls_;
  };

  // Returns once no call is counted; on the main thread it runs the queue
  // meanwhile.
  void WaitUntilNone();

 private:
  TCriticalSection lock_;
  int count_ = 0;
  TWin32Handle idle_;  // set while count_ is 0
};

// Main thread only. While one exists, Synchronize from another thread raises
// ESynchronizeRefused, and calls already queued when it begins are failed
// that way. Scopes nest; the end of one runs what was queued meanwhile.
class TRefusedSynchronize {
 public:
  TRefusedSynchronize();
  ~TRefusedSynchronize();
  TRefusedSynchronize(const TRefusedSynchronize&) = delete;
  TRefusedSynchronize& operator=(const TRefusedSynchronize&) = delete;
};

// Runs every queued call; main thread only. True when one ran.
bool CheckSynchronize();

// Waits for handle (up to timeout ms) on the main thread while running the
// calls other threads queue meanwhile. Gives WaitForSingleObject's result.
DWORD WaitWithSynchronize(HANDLE handle, DWORD timeout);

}  // namespace leafbook
