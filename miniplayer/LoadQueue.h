// The player's requests and its posted work. Each load has a number; only the
// newest request of a level may change that level, so a slow answer never
// overwrites a later one. Work is posted to the worker window and runs from
// the message loop, never inside a host's call into the runtime.
//
// Each request is opened, read and closed (or its URL moniker made and bound)
// on a thread of its own, as a real runtime fetches; several are in flight at
// once. Answers may come on any thread (a host may call the bind status
// callback on its main thread): the bookkeeping is locked, and what the
// answers mean to the player is posted back to the window thread. The URLs a
// placed movie will ask for later (into levels, the first 32 of them) are
// fetched ahead (Preload) and kept by resolved URL, so that the GetURL that
// asks for one is served from there; one that fails there is fetched again
// when it is asked for.
//
// Switches, read from the environment:
//   MINIPLAYER_THREADS=0   every request on the window thread, nothing fetched
//                          ahead: the runtime as it was before it had threads
//                          (read when the player is made)
//   MINIPLAYER_DELAY=<ms>  each request waits that long on its worker before
//                          it opens anything (ended early by StopWorkers), so
//                          a test can hold several requests in flight (read
//                          as each request starts; none without workers)
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/base/CriticalSection.h"
#include "framework/base/Handle.h"
#include "miniplayer/MovieLoader.h"

namespace leafbook::miniplayer {

// The message that runs the posted work on the worker window.
inline constexpr UINT kRunPostedMessage = WM_APP + 1;

// What a finished, failed or progressing request means to the player. Called
// on the window thread only.
class ILoadQueueHost {
 public:
  // A load of the main movie (level 0) starts: its ready state falls to 0.
  virtual void MainLoadStarting() = 0;
  virtual void MainLoadProgress(long percent) = 0;
  virtual void MainLoadFailed() = 0;
  // The newest request of level answered with bytes.
  virtual void Arrived(int level, const std::wstring& url, std::string bytes) = 0;
  // An empty URL was asked for level.
  virtual void Emptied(int level) = 0;

 protected:
  ~ILoadQueueHost() = default;
};

class TLoadQueue final : private ILoadClient {
 public:
  // owner: the COM object the work belongs to, kept alive while work runs.
  // Made on the window thread, which every host call then runs on.
  TLoadQueue(ILoadQueueHost& host, IUnknown& owner);
  ~TLoadQueue() override { Shutdown(); }
  TLoadQueue(const TLoadQueue&) = delete;
  TLoadQueue& operator=(const TLoadQueue&) = delete;

  // The window kRunPostedMessage goes to; without one work runs at once.
  void SetWorker(HWND worker) { worker_ = worker; }

  // url resolved against base; ansiName: asked for by a movie whose texts are 8-bit.
  void LoadUrl(int level, const std::wstring& url, const std::wstring& base, bool ansiName = false);
  // Fetches url ahead of a LoadUrl of it; nothing without worker threads.
  void Preload(int level, const std::wstring& url, const std::wstring& base, bool ansiName);
  // Forgets what was fetched ahead and has arrived (a new main movie asks
  // for other things); what is still in flight stays.
  void ClearCache();
  // Tells every worker to stop and waits for all of them, without serving
  // messages. A held request stops at once, one inside a host's call finishes
  // that call; answers of binds still running reach nobody from here on.
  void StopWorkers();
  // The queue's end: the workers stopped unless StopWorkers did since the
  // last one started, and no answer reaches the queue afterwards.
  void Shutdown();

  void Post(std::function<void()> work);
  void RunPosted();

  long PercentLoaded() const;
  void MainLoaded();

 private:
  struct TPending {
    int level;
    std::wstring url;
    bool ansiName;
    bool preload;
  };
  // A URL fetched ahead; until its bytes arrive, the requests asking for it wait.
  struct TCached {
    std::shared_ptr<const std::string> bytes;  // null while in flight
    std::vector<int> waiting;
  };

  // ILoadClient: from any thread.
  void LoadProgress(int request, uint64_t received, uint64_t total) override;
  void LoadDone(int request, std::string bytes) override;
  void LoadFailed(int request, const std::wstring& why) override;

  // On the window thread: serves the request from the cache, or fetches it.
  void Begin(int request);
  void PostArrival(int request, const TPending& pending, std::shared_ptr<const std::string> bytes);
  int InFlight() const;

  // LoadRequests.cpp: where and how one request is fetched.
  void StartWorker(int request, const TPending& pending, std::shared_ptr<TLoadLink> link);
  static DWORD WINAPI WorkerMain(void* parameter);
  // stop: null on the window thread, which never waits.
  void Fetch(int request, const TPending& pending, const std::shared_ptr<TLoadLink>& link,
             HANDLE stop);

  ILoadQueueHost& host_;
  IUnknown& owner_;
  HWND worker_ = nullptr;
  const DWORD windowThread_;
  const bool threaded_;

  mutable TCriticalSection lock_;  // everything below but the workers
  // Replaced by StopWorkers, so that a bind still running reaches nobody.
  std::shared_ptr<TLoadLink> link_;
  std::map<int, TPending> requests_;  // request number → what it was for
  std::map<int, int> latestRequest_;  // level → newest request number
  std::map<std::wstring, TCached> cache_;
  int nextRequest_ = 1;
  int inFlight_ = 0;
  long percentLoaded_ = 0;
  std::deque<std::function<void()>> posted_;
  bool postPending_ = false;

  // The window thread's alone.
  TWin32Handle stop_;                  // manual reset: set while workers are told to stop
  std::vector<TWin32Handle> workers_;  // thread handles, finished ones dropped as new ones start
  bool stopped_ = false;
};

}  // namespace leafbook::miniplayer
