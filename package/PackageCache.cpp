// The process-wide table of open packages.
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
  std::shared_ptr<const TOpenPackage> Package;  // null: the package failed its checks
};

struct TPackageTable {
  std::mutex Lock;
  std::map<std::string, TKnownPackage> Known;
  // The running executable, once read: it is never looked at again.
  bool OwnKnown = false;
  std::shared_ptr<const TOpenPackage> Own;
};

TPackageTable& Table() {
  static TPackageTable table;
  return table;
}

std::atomic<int64_t> checks{0};

// Opens and checks the file as it is now. The identity is the opened file's,
// so the package and the identity it is kept under always belong together.
bool CheckPackage(const std::string& path, TKnownPackage& known) {
  std::unique_ptr<THandleStream> file = OpenPackageFile(path);
  if (!file || !platform::FileIdentityOf(file->Handle(), known.Identity)) {
    return false;  // not there for now: nothing to remember
  }
  ++checks;
  try {
    known.Package = std::make_shared<const TOpenPackage>(std::move(file));
  } catch (const Exception&) {
    known.Package = nullptr;
  }
  return true;
}

}  // namespace

std::shared_ptr<const TOpenPackage> AcquirePackage(const std::string& packageFile) {
  TPackageTable& table = Table();
  // Checking happens under the lock: a second request for a package being
  // checked waits for that check instead of repeating it.
  std::lock_guard<std::mutex> guard(table.Lock);
  static const std::string ownPath = platform::ExecutablePath();
  const std::string path = ResolvePackageFile(packageFile);
  const bool own = path == ownPath;
  if (own && table.OwnKnown) {
    return table.Own;
  }
  platform::TFileIdentity identity;
  if (!platform::FileIdentityOf(path, identity)) {
    table.Known.erase(path);  // gone: its package need not stay open
    return nullptr;
  }
  auto known = table.Known.find(path);
  if (known != table.Known.end() && known->second.Identity == identity) {
    return known->second.Package;
  }
  TKnownPackage fresh;
  if (!CheckPackage(path, fresh)) {
    return nullptr;
  }
  if (own) {
    table.OwnKnown = true;
    table.Own = fresh.Package;
    return table.Own;
  }
  std::shared_ptr<const TOpenPackage> package = fresh.Package;
  table.Known.insert_or_assign(path, std::move(fresh));
  return package;
}

int64_t PackageCheckCount() {
  return checks.load();
}

}  // namespace leafbook
