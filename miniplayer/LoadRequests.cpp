// Where and how one request is fetched: on a worker thread of its own (COM
// initialised multithreaded for the thread's life) or, without threads, on
// the window thread; and the stop that joins the workers.
#include <algorithm>
#include <memory>
#include <utility>

#include "framework/base/ComBoundary.h"
#include "framework/base/Resources.h"
#include "miniplayer/LoadQueue.h"
#include "miniplayer/MovieUrl.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {

// Enough for the two 64 KiB buffers of a fetch; many workers fit a 32-bit process.
constexpr SIZE_T kWorkerStack = 256 << 10;

struct TWorkerStart {
  TLoadQueue* queue;
  int request;
  std::shared_ptr<TLoadLink> link;
  HANDLE stop;
};

// Serves the thread's own messages until the bind has answered or the worker
// is told to stop: a bind may answer through the thread that started it.
void WaitForBind(HANDLE stop, HANDLE finished) {
  const HANDLE handles[] = {stop, finished};
  while (MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 2) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

}  // namespace

void TLoadQueue::StartWorker(int request, const TPending& pending,
                             std::shared_ptr<TLoadLink> link) {
  std::erase_if(workers_, [](const TWin32Handle& thread) {
    return WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0;
  });
  // The thread owns its start once it runs; the request goes with it, since
  // StopWorkers may forget the request before the thread looks.
  auto start = std::make_unique<std::pair<TWorkerStart, TPending>>(
      TWorkerStart{this, request, link, stop_.Get()}, pending);
  TWin32Handle thread(CreateThread(nullptr, kWorkerStack, &TLoadQueue::WorkerMain, start.get(),
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  if (!thread) {
    Trace(L"no worker thread, error " + std::to_wstring(GetLastError()) + L"; fetched in place " +
          pending.url);
    Fetch(request, pending, link, nullptr);
    return;
  }
  start.release();
  workers_.push_back(std::move(thread));
  stopped_ = false;
}

DWORD WINAPI TLoadQueue::WorkerMain(void* parameter) {
  std::unique_ptr<std::pair<TWorkerStart, TPending>> start(
      static_cast<std::pair<TWorkerStart, TPending>*>(parameter));
  Boundary("miniplayer request thread", [&] {
    TComInitialization com(COINIT_MULTITHREADED);
    const TWorkerStart& worker = start->first;
    worker.queue->Fetch(worker.request, start->second, worker.link, worker.stop);
  });
  return 0;
}

void TLoadQueue::Fetch(int request, const TPending& pending, const std::shared_ptr<TLoadLink>& link,
                       HANDLE stop) {
  const std::wstring& url = pending.url;
  const std::wstring level = std::to_wstring(pending.level);
  Trace(L"request on thread " + std::to_wstring(GetCurrentThreadId()) + L" (window thread " +
        std::to_wstring(windowThread_) + L"), " + std::to_wstring(InFlight()) + L" in flight " +
        url);
  const long delay = stop != nullptr ? SwitchValue("MINIPLAYER_DELAY", 0) : 0;
  if (delay > 0 && WaitForSingleObject(stop, static_cast<DWORD>(delay)) == WAIT_OBJECT_0) {
    Trace(L"stopped before opening " + url);
    link->Failed(request, L"stopped");
    return;
  }
  if (RouteOf(url) == TRoute::File) {
    Trace(L"request level " + level + L" via file " + url);
    if (pending.ansiName) {
      Trace(L"8-bit file name " + url);
    }
    std::string bytes;
    std::wstring why;
    if (ReadByFileFunctions(url, pending.ansiName, bytes, why)) {
      link->Done(request, std::move(bytes));
      return;
    }
    Trace(L"file route failed (" + why + L"), trying a moniker " + url);
  }
  Trace(L"request level " + level + L" via moniker " + url);
  std::shared_ptr<TWin32Handle> finished;
  if (stop != nullptr) {
    finished = std::make_shared<TWin32Handle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  }
  if (!StartMonikerLoad(url, request, link, finished)) {
    link->Failed(request, L"no moniker");
    return;
  }
  if (finished && *finished) {
    WaitForBind(stop, finished->Get());
  }
}

void TLoadQueue::StopWorkers() {
  std::shared_ptr<TLoadLink> cut;
  {
    TLockGuard guard(lock_);
    cut = std::exchange(link_, std::make_shared<TLoadLink>(static_cast<ILoadClient*>(this)));
    requests_.clear();
    cache_.clear();
    inFlight_ = 0;
  }
  // Cut before the wait: what a worker finishes from here on reaches nobody.
  cut->Cut();
  std::vector<TWin32Handle> threads = std::exchange(workers_, {});
  std::vector<HANDLE> running;
  for (const TWin32Handle& thread : threads) {
    if (WaitForSingleObject(thread.Get(), 0) != WAIT_OBJECT_0) {
      running.push_back(thread.Get());
    }
  }
  SetEvent(stop_.Get());
  for (size_t at = 0; at < running.size(); at += MAXIMUM_WAIT_OBJECTS) {
    const DWORD count =
        static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, running.size() - at));
    WaitForMultipleObjects(count, running.data() + at, TRUE, INFINITE);
  }
  ResetEvent(stop_.Get());
  stopped_ = true;
  Trace(L"workers stopped " + std::to_wstring(running.size()));
}

}  // namespace leafbook::miniplayer
