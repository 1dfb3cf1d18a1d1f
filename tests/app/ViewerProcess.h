// Starts leafbook.exe as a user would and reads what a user sees of it from
// outside: its main window's rectangle, style, state and caption, and the
// application window's title.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "framework/base/Handle.h"

namespace leafbook::testing {

struct TWindowFacts {
  RECT Rect{};
  DWORD Style = 0;
  bool Zoomed = false;
  bool Visible = false;
  std::string Caption;
};

TWindowFacts InspectWindow(HWND window);

class TViewerProcess {
 public:
  // Runs program with args (each quoted as needed) in folder (empty: the
  // program's folder).
  TViewerProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& folder = "");
  // Closes the main window and waits; kills the process if it hangs.
  ~TViewerProcess();
  TViewerProcess(const TViewerProcess&) = delete;
  TViewerProcess& operator=(const TViewerProcess&) = delete;

  bool Started() const { return process_.Valid(); }
  // The visible main window ("TfrmMain"), once the viewer waits for input;
  // null if none appeared within the timeout.
  HWND MainWindow(DWORD timeoutMs = 20000);
  // The same window as soon as it is visible (perhaps not painted yet), looked
  // for every few milliseconds, so that the moment it appears can be timed.
  HWND VisibleWindow(DWORD timeoutMs = 20000);
  // The hidden window that carries the application title.
  HWND ApplicationWindow();
  // Waits until the viewer finished the message it is handling (not the ones
  // still waiting in its queue).
  void Settle();
  // Sends WM_CLOSE and waits for the exit code.
  DWORD Close(DWORD timeoutMs = 10000);

 private:
  HWND FindWindowOfClass(const wchar_t* className, bool visibleOnly);

  TWin32Handle process_;
  DWORD processId_ = 0;
  bool closed_ = false;
};

// The colour on screen in the middle of window's client area.
COLORREF ClientCentre(HWND window);

// The primary screen as a PNG (through WIC), for a person to look at.
bool SaveScreenPng(const std::string& path);

}  // namespace leafbook::testing
