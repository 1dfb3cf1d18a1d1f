// The process-wide table of checked packages.
#include "package/PackageCache.h"

#include <atomic>
#include <map>
#include <mutex>

#include "framework/base/Exceptions.h"
#include "framework/base/Platform.h"

namespace leafbook {

namespace {

struct TKnownPackage {
  platform::TFileIdentity Identity;
  std::shared_ptr<const TPackageIndex> Index;  // null: the package failed its checks
};

struct TPackageTable {
  std::mutex Lock;
  std::map<std::string, TKnownPackage> Known;
  // The running executable, once checked, with its handle.
  bool OwnKnown = false;
  std::shared_ptr<const TOpenPackage> Own;
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
    // A block that failed its check since makes the package damaged for good.
    const auto& index = known->second.Index;
    return index && !index->Damaged() ? index : nullptr;
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

}  // namespace

std::shared_ptr<const TOpenPackage> AcquirePackage(const std::string& packageFile) {
  static const std::string ownPath = platform::ExecutablePath();
  TPackageTable& table = Table();
  const std::string path = ResolvePackageFile(packageFile);
  const bool own = path == ownPath;
  if (own) {
    std::lock_guard<std::mutex> guard(table.Lock);
    if (table.OwnKnown) {
      return table.Own && !table.Own->Index().Damaged() ? table.Own : nullptr;
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
  return package;
}

int64_t PackageCheckCount() {
  return checks.load();
}

}  // namespace leafbook
