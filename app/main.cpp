// leafbook.exe: the viewer's entry. Starts the program's unit, creates the
// main window, whose creation reads the command line and the book's window
// configuration, and runs the message loop until it closes.
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "app/DamageLog.h"
#include "app/ProgramUnit.h"
#include "app/ULog.h"
#include "app/UfrmMain.h"
#include "framework/base/ComBoundary.h"
#include "framework/base/Resources.h"
#include "framework/gui/Application.h"
#include "package/PackageCache.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Exceptions stopped at a boundary leave a line in the log, when it is on.
  leafbook::SetBoundaryTracer(&leafbook::LogBoundaryTrace);
  // Before the first read of the book: its runtime is read at start.
  leafbook::WatchPackageDamage();
  // OLE first and last: the runtime unit's shutdown unloads the movie
  // runtime, whose detach may still use COM. Then the program's unit, which
  // starts before the program proper and stops after it (an object made here,
  // not a static initialiser, whose order across files C++ leaves open).
  const leafbook::TOleInitialization ole;
  if (FAILED(ole.Result())) {
    return 1;
  }
  std::unique_ptr<leafbook::TProgramUnit> unit;
  try {
    unit = std::make_unique<leafbook::TProgramUnit>();
    // The main window's unit: the book's own runtime, when it carries one.
    leafbook::UseBookRuntime();
  } catch (const std::exception& error) {
    ::MessageBoxA(nullptr, error.what(), "Start-up failed", MB_OK | MB_ICONERROR);
    return 1;
  }
  int status = 0;
  try {
    leafbook::TApplication application;
    application.CreateForm<leafbook::TfrmMain>();
    application.Run();
  } catch (...) {
    status = 1;
  }
  // Before the log and what else a background check reports to are gone.
  leafbook::StopBackgroundChecks();
  return status;
}
