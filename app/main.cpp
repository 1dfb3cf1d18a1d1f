// leafbook.exe: the viewer's entry. Creates the main window, whose creation
// reads the command line and the book's window configuration, and runs the
// message loop until it closes.
#include <windows.h>
#include <ole2.h>

#include "app/UfrmMain.h"
#include "framework/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
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
