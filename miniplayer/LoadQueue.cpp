// Requests, their answers and the posted work.
#include "miniplayer/LoadQueue.h"

#include <algorithm>

#include "framework/base/ComPtr.h"
#include "miniplayer/MovieUrl.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

TLoadQueue::TLoadQueue(ILoadQueueHost& host, IUnknown& owner)
    : host_(host), owner_(owner), link_(std::make_shared<TLoadLink>()) {
  link_->client = this;
}

TLoadQueue::~TLoadQueue() {
  Disconnect();
}

void TLoadQueue::LoadUrl(int level, const std::wstring& url, const std::wstring& base,
                         bool ansiName) {
  const int request = nextRequest_++;
  latestRequest_[level] = request;
  if (url.empty()) {
    Post([this, level, request] {
      if (latestRequest_[level] == request) {
        host_.Emptied(level);
      }
    });
    return;
  }
  const std::wstring resolved = Resolve(base, url);
  requests_[request] = {level, resolved, ansiName};
  if (level == 0) {
    percentLoaded_ = 0;
  }
  Post([this, level, request, resolved, ansiName] {
    if (level == 0 && latestRequest_[0] == request) {
      host_.MainLoadStarting();
    }
    if (RouteOf(resolved) == TRoute::File) {
      Trace(L"request level " + std::to_wstring(level) + L" via file " + resolved);
      if (ansiName) {
        Trace(L"8-bit file name " + resolved);
      }
      std::string bytes;
      std::wstring why;
      if (ReadByFileFunctions(resolved, ansiName, bytes, why)) {
        LoadDone(request, std::move(bytes));
        return;
      }
      Trace(L"file route failed (" + why + L"), trying a moniker " + resolved);
    }
    Trace(L"request level " + std::to_wstring(level) + L" via moniker " + resolved);
    if (!StartMonikerLoad(resolved, request, link_)) {
      LoadFailed(request, L"no moniker");
    }
  });
}

void TLoadQueue::Post(std::function<void()> work) {
  posted_.push_back(std::move(work));
  if (worker_ == nullptr) {
    RunPosted();
  } else if (!postPending_) {
    postPending_ = PostMessageW(worker_, kRunPostedMessage, 0, 0) != FALSE;
  }
}

void TLoadQueue::RunPosted() {
  TComPtr<IUnknown> self(&owner_);  // work may drop the last reference
  postPending_ = false;
  std::deque<std::function<void()>> work;
  work.swap(posted_);
  for (auto& item : work) {
    item();
  }
}

void TLoadQueue::LoadProgress(int request, uint64_t received, uint64_t total) {
  auto it = requests_.find(request);
  if (it == requests_.end() || it->second.level != 0 || latestRequest_[0] != request) {
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
  auto it = requests_.find(request);
  if (it == requests_.end()) {
    return;
  }
  const TPending pending = it->second;
  requests_.erase(it);
  Trace(L"received " + std::to_wstring(bytes.size()) + L" bytes " + pending.url);
  auto shared = std::make_shared<std::string>(std::move(bytes));
  Post([this, request, pending, shared] {
    if (latestRequest_[pending.level] != request) {
      Trace(L"superseded " + pending.url);
      return;
    }
    host_.Arrived(pending.level, pending.url, std::move(*shared));
  });
}

void TLoadQueue::LoadFailed(int request, const std::wstring& why) {
  auto it = requests_.find(request);
  if (it == requests_.end()) {
    return;
  }
  Trace(L"dropped " + it->second.url + L": " + why);
  if (it->second.level == 0 && latestRequest_[0] == request) {
    host_.MainLoadFailed();
  }
  requests_.erase(it);
}

}  // namespace leafbook::miniplayer
