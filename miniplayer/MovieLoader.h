// Fetching one URL for the runtime, by either route: the file functions
// (CreateFileW, GetFileSize, SetFilePointer, ReadFile, CloseHandle) or a URL
// moniker bound asynchronously with the runtime's own bind status callback.
// The result goes to an ILoadClient, which may be gone by then: clients are
// reached through a TLoadLink that their owner cuts when it dies.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace leafbook::miniplayer {

class ILoadClient {
 public:
  virtual ~ILoadClient() = default;
  virtual void LoadProgress(int request, uint64_t received, uint64_t total) = 0;
  virtual void LoadDone(int request, std::string bytes) = 0;
  virtual void LoadFailed(int request, const std::wstring& why) = 0;
};

struct TLoadLink {
  ILoadClient* client = nullptr;  // null once the owner is gone
};

// Reads the file whole; false (with why) when it cannot be opened or read.
// ansiName opens it by its 8-bit name (CreateFileA), as for the requests of
// movies older than version 6, whose texts are 8-bit.
bool ReadByFileFunctions(const std::wstring& path, bool ansiName, std::string& bytes,
                         std::wstring& why);

// Starts binding url; the outcome arrives through the link, possibly before
// this returns. Gives false when the bind could not even start.
bool StartMonikerLoad(const std::wstring& url, int request, std::shared_ptr<TLoadLink> link);

}  // namespace leafbook::miniplayer
