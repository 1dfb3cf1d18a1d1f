// Starts leafbook.exe as a user would and reads what a user sees of it from
// outside: its main window's rectangle, style, state and caption, and the
// application window's title. Drives it as a reader does, through the input
// queue, and reads what the stand-in runtime inside it traced.
#pragma once

#include <windows.h>

#include <cstdint>
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

// What the stand-in traces when a call reaches its object on a thread other
// than the one that made it: the host broke the apartment's rule.
inline constexpr char kForeignThreadCall[] = "called from a foreign thread";

// Told each trace line of a closed viewer that contains kForeignThreadCall.
// Defined by the program that uses the harness: the tests fail the running
// test with it, a tool prints it.
void ReportForeignThreadCall(const std::string& line);

class TViewerProcess {
 public:
  // Runs program with args (each quoted as needed) in folder (empty: the
  // program's folder). The stand-in's trace is always on: into the file
  // MINIPLAYER_TRACE names, or into one of the harness's own.
  TViewerProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& folder = "");
  // Closes the main window and waits; kills the process if it hangs.
  ~TViewerProcess();
  TViewerProcess(const TViewerProcess&) = delete;
  TViewerProcess& operator=(const TViewerProcess&) = delete;

  bool Started() const { return process_.Valid(); }
  DWORD ProcessId() const { return processId_; }
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
  // Sends WM_CLOSE and waits for the exit code (STILL_ACTIVE if it did not
  // exit in time). Reports every foreign-thread call the trace shows.
  DWORD Close(DWORD timeoutMs = 10000);
  // The lines the stand-in in this process traced so far, without their
  // "miniplayer <pid>: " head, one per line.
  std::string Trace() const;

 private:
  HWND FindWindowOfClass(const wchar_t* className, bool visibleOnly);
  void ReportForeignThreadCalls() const;

  TWin32Handle process_;
  DWORD processId_ = 0;
  bool closed_ = false;
  std::string tracePath_;
  bool ownTrace_ = false;
  // The trace file may be shared by several viewers of one test, one after
  // the other; this one's lines come after this offset.
  uintmax_t traceStart_ = 0;
};

// Makes window the foreground window, as a reader's click on it would; false
// when it did not become it.
bool BringToForeground(HWND window);
// A left click (move, button down, button up) at a point of the top-level
// window's client area, through the input queue, after bringing the window to
// the foreground: whichever of its children lies there gets it.
bool ClickAt(HWND window, POINT client);
// The middle of window's client area.
POINT ClientMiddle(HWND window);
// A key pressed and released through the input queue while modifiers (e.g.
// VK_CONTROL) are held, after bringing window to the foreground.
bool PressKey(HWND window, WORD key, const std::vector<WORD>& modifiers = {});

// The colour on screen in the middle of window's client area.
COLORREF ClientCentre(HWND window);

// A rectangle of the screen as 32-bit BGRX pixels, top row first; empty when
// it cannot be read.
std::vector<uint32_t> ScreenPixels(int x, int y, int width, int height);

// The primary screen as a PNG (through WIC), for a person to look at.
bool SaveScreenPng(const std::string& path);

}  // namespace leafbook::testing
