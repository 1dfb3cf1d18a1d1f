// Fetching one URL for the runtime, by either route: the file functions
// (CreateFileW, GetFileSize, SetFilePointer, ReadFile, CloseHandle) or a URL
// moniker bound asynchronously with the runtime's own bind status callback.
// The result goes to an ILoadClient, which may be gone by then: clients are
// reached through a TLoadLink that their owner cuts when it stops listening.
// Requests run on worker threads and a host may answer a bind on any thread,
// so the link is locked: once Cut returns, no answer is inside the client.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "framework/base/CriticalSection.h"
#include "framework/base/Handle.h"

namespace leafbook::miniplayer {

class ILoadClient {
 public:
  virtual ~ILoadClient() = default;
  virtual void LoadProgress(int request, uint64_t received, uint64_t total) = 0;
  virtual void LoadDone(int request, std::string bytes) = 0;
  virtual void LoadFailed(int request, const std::wstring& why) = 0;
};

class TLoadLink {
 public:
  explicit TLoadLink(ILoadClient* client) : client_(client) {}
  TLoadLink(const TLoadLink&) = delete;
  TLoadLink& operator=(const TLoadLink&) = delete;

  void Cut();
  void Progress(int request, uint64_t received, uint64_t total);
  void Done(int request, std::string bytes);
  void Failed(int request, const std::wstring& why);

 private:
  TCriticalSection lock_;
  ILoadClient* client_;  // null once cut
};

// Reads the file whole; false (with why) when it cannot be opened or read.
// ansiName opens it by its 8-bit name (CreateFileA), as for the requests of
// movies older than version 6, whose texts are 8-bit.
bool ReadByFileFunctions(const std::wstring& path, bool ansiName, std::string& bytes,
                         std::wstring& why);

// Starts binding url; the outcome arrives through the link, possibly before
// this returns. Gives false when the bind could not even start. finished (may
// be null) is set once the outcome is given, so that the thread that started
// the bind can serve its messages until then.
bool StartMonikerLoad(const std::wstring& url, int request, std::shared_ptr<TLoadLink> link,
                      std::shared_ptr<TWin32Handle> finished);

}  // namespace leafbook::miniplayer
