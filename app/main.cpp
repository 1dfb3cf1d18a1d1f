// leafbook.exe: the viewer's entry. Starts the program's unit, creates the
// main window, whose creation reads the command line and the book's window
// configuration, and runs the message loop until it closes.
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "app/ProgramUnit.h"
#include "app/ULog.h"
#include "app/UfrmMain.h"
#include "framework/base/ComBoundary.h"
#include "framework/base/Resources.h"
#include "framework/gui/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Exceptions stopped at a boundary leave a line in the log, when it is on.
  leafbook::SetBoundaryTracer(&leafbook::LogBoundaryTrace);
  // The program's unit starts before anything else and stops after everything
  // else (it is an object made here, not a static initialiser, whose order
  // across files C++ leaves open).
  std::unique_ptr<leafbook::TProgramUnit> unit;
  try {
    unit = std::make_unique<leafbook::TProgramUnit>();
  } catch (const std::exception& error) {
    ::MessageBoxA(nullptr, error.what(), "Start-up failed", MB_OK | MB_ICONERROR);
    return 1;
  }
  // OLE: the XML parser now, the movie runtime's in-place embedding later.
  const leafbook::TOleInitialization ole;
  if (FAILED(ole.Result())) {
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
  return status;
}
