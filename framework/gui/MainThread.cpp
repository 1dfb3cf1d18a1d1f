// The main-thread call queue, woken through a hidden message-only window so
// that any message loop of the main thread (ours, a modal dialog's, a menu's)
// drains it.
#include "framework/gui/MainThread.h"

#include <deque>
#include <exception>
#include <memory>

#include "framework/gui/Controls.h"
#include "framework/base/ComBoundary.h"
#include "framework/base/CriticalSection.h"
#include "framework/base/Exceptions.h"
#include "framework/base/Handle.h"

namespace leafbook {

namespace {

constexpr UINT kWakeMessage = WM_APP + 0x4C42;

// A waiting caller's call (done is set once it ran or was refused), or a
// call nobody waits for (owned, done empty).
struct TQueuedCall {
  const std::function<void()>* call;
  std::exception_ptr error;
  TWin32Handle done;
  std::function<void()> owned;
};

class TMainThreadQueue {
 public:
  TMainThreadQueue()
      : threadId_(::GetCurrentThreadId()), window_([this](TMessage& message) {
          if (message.Msg != kWakeMessage) {
            return false;
          }
          Drain();
          return true;
        }) {
    wakeWindow_ = window_.Handle();
  }

  ~TMainThreadQueue() { Drain(); }

  DWORD ThreadId() const { return threadId_; }
  HWND Window() { return window_.Handle(); }

  // False (nothing queued) while calls are refused.
  bool Post(TQueuedCall& entry) {
    {
      TLockGuard guard(lock_);
      if (refusals_ > 0) {
        return false;
      }
      pending_.push_back(&entry);
    }
    ::PostMessageW(wakeWindow_, kWakeMessage, 0, 0);
    return true;
  }

  void PostOwned(std::function<void()> call) {
    {
      TLockGuard guard(lock_);
      owned_.push_back(std::move(call));
    }
    ::PostMessageW(wakeWindow_, kWakeMessage, 0, 0);
  }

  void BeginRefusing() {
    std::deque<TQueuedCall*> refused;
    {
      TLockGuard guard(lock_);
      ++refusals_;
      refused.swap(pending_);
    }
    for (TQueuedCall* entry : refused) {
      entry->error = std::make_exception_ptr(ESynchronizeRefused());
      ::SetEvent(entry->done.Get());
    }
  }

  void EndRefusing() {
    TLockGuard guard(lock_);
    --refusals_;
  }

  bool Drain() {
    bool ran = false;
    for (;;) {
      TQueuedCall* entry = nullptr;
      std::function<void()> owned;
      {
        TLockGuard guard(lock_);
        if (!pending_.empty()) {
          entry = pending_.front();
          pending_.pop_front();
        } else if (!owned_.empty()) {
          owned = std::move(owned_.front());
          owned_.pop_front();
        } else {
          return ran;
        }
      }
      ran = true;
      if (!entry) {
        // Nobody waits to hear of a failure: it ends at this boundary.
        Boundary("QueueOnMainThread", [&] { owned(); });
        continue;
      }
      try {
        (*entry->call)();
      } catch (...) {
        entry->error = std::current_exception();
      }
      ::SetEvent(entry->done.Get());  // the caller may go on now; entry is gone with it
    }
  }

 private:
  DWORD threadId_;
  TCriticalSection lock_;
  std::deque<TQueuedCall*> pending_;
  std::deque<std::function<void()>> owned_;
  int refusals_ = 0;
  TUtilityWindow window_;
  HWND wakeWindow_ = nullptr;
};

std::unique_ptr<TMainThreadQueue> queue;
int initCount = 0;

}  // namespace

void InitMainThread() {
  if (initCount++ == 0) {
    queue = std::make_unique<TMainThreadQueue>();
  }
}

void DoneMainThread() {
  if (initCount > 0 && --initCount == 0) {
    queue.reset();
  }
}

bool HasMainThread() {
  return queue != nullptr;
}

bool IsMainThread() {
  return queue && queue->ThreadId() == ::GetCurrentThreadId();
}

void Synchronize(const std::function<void()>& call) {
  if (!queue) {
    throw Exception("Synchronize: there is no main thread");
  }
  if (IsMainThread()) {
    call();
    return;
  }
  TQueuedCall entry{
      &call, nullptr, TWin32Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), {}};
  if (!entry.done) {
    throw Exception("Synchronize: cannot create an event");
  }
  if (!queue->Post(entry)) {
    throw ESynchronizeRefused();
  }
  ::WaitForSingleObject(entry.done.Get(), INFINITE);
  if (entry.error) {
    std::rethrow_exception(entry.error);
  }
}

void QueueOnMainThread(std::function<void()> call) {
  if (!queue) {
    throw Exception("QueueOnMainThread: there is no main thread");
  }
  if (IsMainThread()) {
    call();
    return;
  }
  queue->PostOwned(std::move(call));
}

TCallsInFlight::TCallsInFlight() : idle_(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
  if (!idle_) {
    throw Exception("TCallsInFlight: cannot create an event");
  }
}

TCallsInFlight::TCall::TCall(TCallsInFlight& calls) : calls_(IsMainThread() ? nullptr : &calls) {
  if (calls_) {
    TLockGuard guard(calls_->lock_);
    if (calls_->count_++ == 0) {
      ::ResetEvent(calls_->idle_.Get());
    }
  }
}

TCallsInFlight::TCall::~TCall() {
  if (calls_) {
    TLockGuard guard(calls_->lock_);
    if (--calls_->count_ == 0) {
      ::SetEvent(calls_->idle_.Get());
    }
  }
}

void TCallsInFlight::WaitUntilNone() {
  for (;;) {
    {
      TLockGuard guard(lock_);
      if (count_ == 0) {
        return;
      }
    }
    WaitWithSynchronize(idle_.Get(), INFINITE);
  }
}

TRefusedSynchronize::TRefusedSynchronize() {
  if (!IsMainThread()) {
    throw Exception("TRefusedSynchronize: not on the main thread");
  }
  queue->BeginRefusing();
}

TRefusedSynchronize::~TRefusedSynchronize() {
  if (queue) {
    queue->EndRefusing();
    // What was handed over meanwhile runs now, while whatever it releases
    // (a runtime's callback, say) is still there.
    queue->Drain();
  }
}

bool CheckSynchronize() {
  if (!IsMainThread()) {
    throw Exception("CheckSynchronize: not on the main thread");
  }
  return queue->Drain();
}

DWORD WaitWithSynchronize(HANDLE handle, DWORD timeout) {
  if (!IsMainThread()) {
    return ::WaitForSingleObject(handle, timeout);
  }
  const ULONGLONG start = ::GetTickCount64();
  for (;;) {
    DWORD left = INFINITE;
    if (timeout != INFINITE) {
      ULONGLONG passed = ::GetTickCount64() - start;
      left = passed >= timeout ? 0 : static_cast<DWORD>(timeout - passed);
    }
    DWORD result =
        ::MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_POSTMESSAGE | QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + 1) {
      return result == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : result;
    }
    // Only the queue's own wake-ups are taken here; other messages wait for
    // the message loop.
    MSG msg;
    while (::PeekMessageW(&msg, queue->Window(), kWakeMessage, kWakeMessage, PM_REMOVE)) {
    }
    queue->Drain();
  }
}

}  // namespace leafbook
