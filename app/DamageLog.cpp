// The package's damage reports, held until the log is on.
#include "app/DamageLog.h"

#include <mutex>
#include <string>
#include <vector>

#include "app/ULog.h"
#include "package/OpenPackage.h"

namespace leafbook {

namespace {

struct TDamageLog {
  std::mutex Lock;
  bool Direct = false;
  std::vector<std::string> Pending;
};

TDamageLog& Reports() {
  static TDamageLog log;
  return log;
}

void Report(const std::string& text) {
  TDamageLog& log = Reports();
  std::lock_guard<std::mutex> guard(log.Lock);
  if (log.Direct) {
    TLog4DP::Log(text);
  } else {
    log.Pending.push_back(text);
  }
}

}  // namespace

void WatchPackageDamage() {
  SetPackageDamageReport(&Report);
}

void LogPackageDamage() {
  TDamageLog& log = Reports();
  std::lock_guard<std::mutex> guard(log.Lock);
  for (const std::string& text : log.Pending) {
    TLog4DP::Log(text);
  }
  log.Pending.clear();
  log.Direct = true;
}

}  // namespace leafbook
