// The process-wide table of checked packages.
#include "package/PackageCache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "framework/base/Exceptions.h"
#include "framework/base/Platform.h"

namespace leafbook {

namespace {

struct TKnownPackage {
  platform::TFileIdentity Identity;
  std::shared_ptr<const TPackageIndex> Index;  // null: the package failed its checks
};

// The whole checks running on threads of their own.
struct TBackgroundChecks {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Stopping = false;
  int Running = 0;
  // Kept for good, so that an index checked once is never mistaken for a new one.
  std::vector<std::shared_ptr<const TPackageIndex>> Started;
  std::vector<std::thread> Threads;

  ~TBackgroundChecks() { Stop(); }

  void Stop() {
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> guard(Lock);
      Stopping = true;
      Changed.notify_all();
      threads.swap(Threads);
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
  }
};

struct TPackageTable {
  std::mutex Lock;
  std::map<std::string, TKnownPackage> Known;
  // The running executable, once checked, with its handle.
  bool OwnKnown = false;
  std::shared_ptr<const TOpenPackage> Own;
  // Last: its threads are stopped before the rest goes.
  TBackgroundChecks Checks;
};

TPackageTable& Table() {
  static TPackageTable table;
  return table;
}

std::atomic<int64_t> checks{0};

// What is known of the file behind file, checking it when its identity is new.
std::shared_ptr<const TPackageIndex> IndexOf(TPackageTable& table, const std::string& path,
                                             THandleStream& file) {
  platform::TFileIdentity identity;
  if (!platform::FileIdentityOf(file.Handle(), identity)) {
    return nullptr;
  }
  // Checking happens under the lock: a second request for a package being
  // checked waits for that check instead of repeating it.
  std::lock_guard<std::mutex> guard(table.Lock);
  auto known = table.Known.find(path);
  if (known != table.Known.end() && known->second.Identity == identity) {
    return known->second.Index;
  }
  ++checks;
  std::shared_ptr<const TPackageIndex> index;
  try {
    index = std::make_shared<const TPackageIndex>(file);
  } catch (const Exception&) {
    index = nullptr;  // damaged, and remembered so until the file changes
  }
  table.Known.insert_or_assign(path, TKnownPackage{identity, index});
  return index;
}

// A block that failed its check since the package was opened makes it
// damaged for good.
std::shared_ptr<const TOpenPackage> Undamaged(std::shared_ptr<const TOpenPackage> package) {
  return package && !package->Index().Damaged() ? package : nullptr;
}

}  // namespace

std::shared_ptr<const TOpenPackage> AcquirePackage(const std::string& packageFile) {
  static const std::string ownPath = platform::ExecutablePath();
  TPackageTable& table = Table();
  const std::string path = ResolvePackageFile(packageFile);
  const bool own = path == ownPath;
  if (own) {
    std::lock_guard<std::mutex> guard(table.Lock);
    if (table.OwnKnown) {
      return Undamaged(table.Own);
    }
  }
  if (!platform::FileExists(path)) {
    std::lock_guard<std::mutex> guard(table.Lock);
    table.Known.erase(path);
    return nullptr;
  }
  std::shared_ptr<THandleStream> file = OpenPackageFile(path);
  if (!file) {
    return nullptr;  // held by someone else for now: nothing to remember
  }
  std::shared_ptr<const TPackageIndex> index = IndexOf(table, path, *file);
  auto package = index ? std::make_shared<const TOpenPackage>(index, file) : nullptr;
  if (own) {
    std::lock_guard<std::mutex> guard(table.Lock);
    table.OwnKnown = true;
    table.Own = package;
  }
  return Undamaged(std::move(package));
}

int64_t PackageCheckCount() {
  return checks.load();
}

namespace {

void CheckWhole(TBackgroundChecks& background, std::shared_ptr<const TOpenPackage> package,
                uint32_t delayMs) {
  platform::LowerThreadPriority();
  const auto stopping = [&background] {
    std::lock_guard<std::mutex> guard(background.Lock);
    return background.Stopping;
  };
  {
    std::unique_lock<std::mutex> lock(background.Lock);
    background.Changed.wait_for(lock, std::chrono::milliseconds(delayMs),
                                [&background] { return background.Stopping; });
  }
  try {
    const std::optional<bool> matches = package->WholeDigestMatches(stopping);
    if (matches && !*matches) {
      package->Index().MarkDamaged("the whole book does not match its digest (" +
                                   EPackageDigest().Message() + ")");
    }
  } catch (const Exception& error) {
    package->Index().MarkDamaged("the whole book cannot be read for its check: " + error.Message());
  } catch (...) {
    // Out of memory: no word on the book, which is still checked block by block.
  }
  std::lock_guard<std::mutex> guard(background.Lock);
  --background.Running;
  background.Changed.notify_all();
}

}  // namespace

void CheckWholeInBackground(const std::string& packageFile, uint32_t delayMs) {
  std::shared_ptr<const TOpenPackage> package = AcquirePackage(packageFile);
  if (!package || !package->Index().Blocks()) {
    return;
  }
  TBackgroundChecks& background = Table().Checks;
  std::lock_guard<std::mutex> guard(background.Lock);
  const std::shared_ptr<const TPackageIndex>& index = package->SharedIndex();
  if (background.Stopping || std::find(background.Started.begin(), background.Started.end(),
                                       index) != background.Started.end()) {
    return;
  }
  background.Started.push_back(index);
  ++background.Running;
  background.Threads.emplace_back(CheckWhole, std::ref(background), std::move(package), delayMs);
}

void StopBackgroundChecks() {
  Table().Checks.Stop();
}

void WaitForBackgroundChecks() {
  TBackgroundChecks& background = Table().Checks;
  std::unique_lock<std::mutex> lock(background.Lock);
  background.Changed.wait(lock, [&background] { return background.Running == 0; });
}

}  // namespace leafbook
