// The player's requests and its posted work. Each load has a number; only the
// newest request of a level may change that level, so a slow answer never
// overwrites a later one. Work is posted to the worker window and runs from
// the message loop, never inside a host's call into the runtime.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "miniplayer/MovieLoader.h"

namespace leafbook::miniplayer {

// The message that runs the posted work on the worker window.
inline constexpr UINT kRunPostedMessage = WM_APP + 1;

// What a finished, failed or progressing request means to the player.
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
  TLoadQueue(ILoadQueueHost& host, IUnknown& owner);
  ~TLoadQueue() override;
  TLoadQueue(const TLoadQueue&) = delete;
  TLoadQueue& operator=(const TLoadQueue&) = delete;

  // Answers of binds still running reach nobody from here on.
  void Disconnect() { link_->client = nullptr; }
  // The window kRunPostedMessage goes to; without one work runs at once.
  void SetWorker(HWND worker) { worker_ = worker; }

  // url resolved against base; ansiName: asked for by a movie whose texts are 8-bit.
  void LoadUrl(int level, const std::wstring& url, const std::wstring& base, bool ansiName = false);
  void Post(std::function<void()> work);
  void RunPosted();

  long PercentLoaded() const { return percentLoaded_; }
  void MainLoaded() { percentLoaded_ = 100; }

 private:
  struct TPending {
    int level;
    std::wstring url;
    bool ansiName;
  };

  // ILoadClient
  void LoadProgress(int request, uint64_t received, uint64_t total) override;
  void LoadDone(int request, std::string bytes) override;
  void LoadFailed(int request, const std::wstring& why) override;

  ILoadQueueHost& host_;
  IUnknown& owner_;
  HWND worker_ = nullptr;
  // Cut when the queue dies, so that a bind still running reaches nobody.
  std::shared_ptr<TLoadLink> link_;
  std::map<int, TPending> requests_;  // request number → what it was for
  std::map<int, int> latestRequest_;  // level → newest request number
  int nextRequest_ = 1;
  long percentLoaded_ = 0;
  std::deque<std::function<void()>> posted_;
  bool postPending_ = false;
};

}  // namespace leafbook::miniplayer
