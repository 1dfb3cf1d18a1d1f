// What the program assembles at start and takes apart at its end: the
// runtime code provider, the objects the runtime's import replacements share
// (among them the content manager), urlmon's binding and the working-set
// timer.
//
// C++ gives static initialisers in different files no order, so none of this
// is one of them: WinMain constructs the one TProgramUnit before anything
// else and destroys it after everything else, which runs start-up before the
// program proper and shutdown after it, each step in dependency order.
#pragma once

#include <memory>

#include "framework/gui/Application.h"

namespace leafbook {

class TProgramUnit {
 public:
  // Runs the start-up steps; when one raises (urlmon could not be bound), the
  // steps already done are undone and the exception passes on. Raises while
  // another TProgramUnit lives.
  TProgramUnit();
  ~TProgramUnit();
  TProgramUnit(const TProgramUnit&) = delete;
  TProgramUnit& operator=(const TProgramUnit&) = delete;

  // Runs every 10 seconds from start-up to shutdown.
  const TTimer* WorkingSetTimer() const { return workingSetTimer_.get(); }
  // What the working-set timer does: asks the system to trim the process's
  // working set.
  static void TrimWorkingSet();

 private:
  void Shutdown();

  std::unique_ptr<TTimer> workingSetTimer_;
};

}  // namespace leafbook
