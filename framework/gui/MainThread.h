// The process-wide queue of calls run on the main thread. From the main
// thread a call runs at once; from another thread it is queued, the main
// thread is woken, and the caller blocks until the call ran, receiving any
// exception it raised. The main thread runs queued calls from its message
// loop (any loop that dispatches messages) and while it waits for another
// thread through WaitWithSynchronize.
#pragma once

#include <windows.h>

#include <functional>

namespace leafbook {

// Makes the calling thread the main thread. The application object calls it;
// tests without one may call it themselves. Calls nest: the queue goes with
// the last DoneMainThread.
void InitMainThread();
void DoneMainThread();

bool IsMainThread();

void Synchronize(const std::function<void()>& call);

// Runs every queued call; main thread only. True when one ran.
bool CheckSynchronize();

// Waits for handle (up to timeout ms) on the main thread while running the
// calls other threads queue meanwhile. Gives WaitForSingleObject's result.
DWORD WaitWithSynchronize(HANDLE handle, DWORD timeout);

}  // namespace leafbook
