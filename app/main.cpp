// leafbook.exe: the viewer's entry. Creates the main window, whose creation
// reads the command line and the book's window configuration, and runs the
// message loop until it closes.
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "app/UfrmMain.h"
#include "framework/gui/Application.h"
#include "runtime/RuntimeUnit.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The runtime unit starts before anything else and stops after everything
  // else (the unit's start-up is an object made here, not a static
  // initialiser, whose order across files C++ leaves open).
  std::unique_ptr<leafbook::TUnitStartup> unit;
  try {
    unit = std::make_unique<leafbook::TUnitStartup>();
  } catch (const std::exception& error) {
    ::MessageBoxA(nullptr, error.what(), "Start-up failed", MB_OK | MB_ICONERROR);
    return 1;
  }
  // OLE: the XML parser now, the movie runtime's in-place embedding later.
  if (FAILED(::OleInitialize(nullptr))) {
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
  ::OleUninitialize();
  return status;
}
