// The main-thread call queue, woken through a hidden message-only window so
// that any message loop of the main thread (ours, a modal dialog's, a menu's)
// drains it.
#include "framework/gui/MainThread.h"

#include <deque>
#include <exception>
#include <memory>

#include "framework/gui/Controls.h"
#include "framework/base/CriticalSection.h"
#include "framework/base/Exceptions.h"
#include "framework/base/Handle.h"

namespace leafbook {

namespace {

constexpr UINT kWakeMessage = WM_APP + 0x4C42;

struct TQueuedCall {
  const std::function<void()>* call;
  std::exception_ptr error;
  TWin32Handle done;
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

  void Post(TQueuedCall& entry) {
    {
      TLockGuard guard(lock_);
      pending_.push_back(&entry);
    }
    ::PostMessageW(wakeWindow_, kWakeMessage, 0, 0);
  }

  bool Drain() {
    bool ran = false;
    for (;;) {
      TQueuedCall* entry;
      {
        TLockGuard guard(lock_);
        if (pending_.empty()) {
          return ran;
        }
        entry = pending_.front();
        pending_.pop_front();
      }
      try {
        (*entry->call)();
      } catch (...) {
        entry->error = std::current_exception();
      }
      ran = true;
      ::SetEvent(entry->done.Get());  // the caller may go on now; entry is gone with it
    }
  }

 private:
  DWORD threadId_;
  TCriticalSection lock_;
  std::deque<TQueuedCall*> pending_;
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
  TQueuedCall entry{&call, nullptr, TWin32Handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr))};
  if (!entry.done) {
    throw Exception("Synchronize: cannot create an event");
  }
  queue->Post(entry);
  ::WaitForSingleObject(entry.done.Get(), INFINITE);
  if (entry.error) {
    std::rethrow_exception(entry.error);
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
