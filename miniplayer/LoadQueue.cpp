// Requests, their answers, what was fetched ahead, and the posted work. The
// lock is never held across a call to the host or into the link: a worker
// answering holds the link's lock and then takes this one.
#include "miniplayer/LoadQueue.h"

#include <algorithm>

#include "framework/base/ComPtr.h"
#include "miniplayer/MovieUrl.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

TLoadQueue::TLoadQueue(ILoadQueueHost& host, IUnknown& owner)
    : host_(host),
      owner_(owner),
      windowThread_(GetCurrentThreadId()),
      threaded_(SwitchValue("MINIPLAYER_THREADS", 1) != 0),
      link_(std::make_shared<TLoadLink>(static_cast<ILoadClient*>(this))),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void TLoadQueue::Shutdown() {
  if (!stopped_) {
    StopWorkers();
  }
  std::shared_ptr<TLoadLink> link;
  {
    TLockGuard guard(lock_);
    link = link_;
  }
  link->Cut();
}

void TLoadQueue::LoadUrl(int level, const std::wstring& url, const std::wstring& base,
                         bool ansiName) {
  TLockGuard guard(lock_);
  const int request = nextRequest_++;
  latestRequest_[level] = request;
  if (url.empty()) {
    Post([this, level, request] {
      bool newest = false;
      {
        TLockGuard inner(lock_);
        newest = latestRequest_[level] == request;
      }
      if (newest) {
        host_.Emptied(level);
      }
    });
    return;
  }
  requests_[request] = {level, Resolve(base, url), ansiName, false};
  if (level == 0) {
    percentLoaded_ = 0;
  }
  Post([this, level, request] {
    bool starting = false;
    {
      TLockGuard inner(lock_);
      starting = level == 0 && latestRequest_[0] == request;
    }
    if (starting) {
      host_.MainLoadStarting();
    }
    Begin(request);
  });
}

void TLoadQueue::Preload(int level, const std::wstring& url, const std::wstring& base,
                         bool ansiName) {
  if (!threaded_ || url.empty()) {
    return;
  }
  const std::wstring resolved = Resolve(base, url);
  TLockGuard guard(lock_);
  if (cache_.count(resolved) != 0) {
    return;
  }
  cache_[resolved] = {};
  const int request = nextRequest_++;
  requests_[request] = {level, resolved, ansiName, true};
  Trace(L"preload level " + std::to_wstring(level) + L" " + resolved);
  Post([this, request] { Begin(request); });
}

void TLoadQueue::ClearCache() {
  TLockGuard guard(lock_);
  std::erase_if(cache_, [](const auto& entry) { return entry.second.bytes != nullptr; });
}

void TLoadQueue::Begin(int request) {
  TPending pending;
  std::shared_ptr<TLoadLink> link;
  {
    TLockGuard guard(lock_);
    auto it = requests_.find(request);
    if (it == requests_.end()) {
      return;
    }
    pending = it->second;
    const std::wstring level = std::to_wstring(pending.level);
    if (auto cached = cache_.find(pending.url); !pending.preload && cached != cache_.end()) {
      if (cached->second.bytes == nullptr) {
        Trace(L"request level " + level + L" waits for its preload " + pending.url);
        cached->second.waiting.push_back(request);
        return;
      }
      Trace(L"request level " + level + L" from cache " + pending.url);
      requests_.erase(it);
      PostArrival(request, pending, cached->second.bytes);
      return;
    }
    ++inFlight_;
    link = link_;
  }
  if (threaded_) {
    StartWorker(request, pending, std::move(link));
  } else {
    Fetch(request, pending, link, nullptr);
  }
}

void TLoadQueue::PostArrival(int request, const TPending& pending,
                             std::shared_ptr<const std::string> bytes) {
  Post([this, request, pending, bytes] {
    bool newest = false;
    {
      TLockGuard guard(lock_);
      newest = latestRequest_[pending.level] == request;
    }
    if (!newest) {
      Trace(L"superseded " + pending.url);
      return;
    }
    host_.Arrived(pending.level, pending.url, *bytes);
  });
}

int TLoadQueue::InFlight() const {
  TLockGuard guard(lock_);
  return inFlight_;
}

void TLoadQueue::Post(std::function<void()> work) {
  bool runNow = false;
  {
    TLockGuard guard(lock_);
    posted_.push_back(std::move(work));
    if (worker_ == nullptr) {
      runNow = GetCurrentThreadId() == windowThread_;
    } else if (!postPending_) {
      postPending_ = PostMessageW(worker_, kRunPostedMessage, 0, 0) != FALSE;
    }
  }
  if (runNow) {
    RunPosted();
  }
}

void TLoadQueue::RunPosted() {
  TComPtr<IUnknown> self(&owner_);  // work may drop the last reference
  std::deque<std::function<void()>> work;
  {
    TLockGuard guard(lock_);
    postPending_ = false;
    work.swap(posted_);
  }
  for (auto& item : work) {
    item();
  }
}

long TLoadQueue::PercentLoaded() const {
  TLockGuard guard(lock_);
  return percentLoaded_;
}

void TLoadQueue::MainLoaded() {
  TLockGuard guard(lock_);
  percentLoaded_ = 100;
}

void TLoadQueue::LoadProgress(int request, uint64_t received, uint64_t total) {
  TLockGuard guard(lock_);
  auto it = requests_.find(request);
  if (it == requests_.end() || it->second.level != 0 || it->second.preload ||
      latestRequest_[0] != request) {
    return;
  }
  const long percent =
      total > 0 ? static_cast<long>(std::min<uint64_t>(99, received * 100 / total)) : 0;
  if (percent != percentLoaded_) {
    percentLoaded_ = percent;
    Post([this, percent] { host_.MainLoadProgress(percent); });
  }
}

void TLoadQueue::LoadDone(int request, std::string bytes) {
  TLockGuard guard(lock_);
  auto it = requests_.find(request);
  if (it == requests_.end()) {
    return;
  }
  const TPending pending = it->second;
  requests_.erase(it);
  --inFlight_;
  Trace(L"received " + std::to_wstring(bytes.size()) + L" bytes " + pending.url);
  auto shared = std::make_shared<const std::string>(std::move(bytes));
  if (!pending.preload) {
    PostArrival(request, pending, std::move(shared));
    return;
  }
  auto cached = cache_.find(pending.url);
  if (cached == cache_.end()) {
    return;
  }
  cached->second.bytes = shared;
  for (int waiting : std::exchange(cached->second.waiting, {})) {
    if (auto asked = requests_.find(waiting); asked != requests_.end()) {
      const TPending real = asked->second;
      requests_.erase(asked);
      PostArrival(waiting, real, shared);
    }
  }
}

void TLoadQueue::LoadFailed(int request, const std::wstring& why) {
  TLockGuard guard(lock_);
  auto it = requests_.find(request);
  if (it == requests_.end()) {
    return;
  }
  const TPending pending = it->second;
  requests_.erase(it);
  --inFlight_;
  if (pending.preload) {
    // The requests that waited for it try again on their own.
    Trace(L"preload failed " + pending.url + L": " + why);
    if (auto cached = cache_.find(pending.url); cached != cache_.end()) {
      for (int waiting : cached->second.waiting) {
        Post([this, waiting] { Begin(waiting); });
      }
      cache_.erase(cached);
    }
    return;
  }
  Trace(L"dropped " + pending.url + L": " + why);
  if (pending.level == 0 && latestRequest_[0] == request) {
    Post([this] { host_.MainLoadFailed(); });
  }
}

}  // namespace leafbook::miniplayer
