// viewer_screenshot <book.exe> <out.png> [--then-key <vk> <out2.png>] [viewer arguments...]:
// starts a book, waits for its window and its first page, saves a picture of
// the screen; with --then-key, presses that key (a virtual-key code) and
// saves a second picture once the page has turned. A page is seen drawn or
// turned by the middle row and column of the window changing. Prints how long
// the book took from its start to its window and to its first page (-1: no
// page appeared); scripts/bench-startup.sh reads those figures.
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/app/ViewerProcess.h"

namespace {

// What the window shows across its middle: the row and the column of pixels
// through its centre (the column short of the runtime's status line at the
// bottom), as screen colours. A page shows in these lines wherever its title,
// text or picture lies, so that two pages with the same colour at the very
// centre (the fold of an open book) still tell apart.
struct TView {
  std::vector<COLORREF> pixels;
  bool operator==(const TView&) const = default;
};

constexpr int kStatusLine = 20;  // pixels at the bottom of the client area

void ReadScreen(int x, int y, int width, int height, std::vector<COLORREF>& out) {
  for (uint32_t pixel : leafbook::testing::ScreenPixels(x, y, width, height)) {
    out.push_back(RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF));
  }
}

TView ViewOf(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  TView view;
  ReadScreen(origin.x, origin.y + client.bottom / 2, client.right, 1, view.pixels);
  ReadScreen(origin.x + client.right / 2, origin.y, 1, client.bottom - kStatusLine, view.pixels);
  return view;
}

// True when every pixel read is the window's own colour: no page drawn.
bool Blank(const TView& view) {
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
  for (COLORREF pixel : view.pixels) {
    if (pixel != face) {
      return false;
    }
  }
  return true;
}

// Waits until the window's middle changes from before (a page drawn or
// turned), for at most limitMs; the milliseconds waited, or -1.
long WaitForChange(HWND window, const TView& before, DWORD limitMs) {
  const ULONGLONG start = ::GetTickCount64();
  while (::GetTickCount64() - start < limitMs) {
    if (ViewOf(window) != before) {
      return static_cast<long>(::GetTickCount64() - start);
    }
    ::Sleep(2);
  }
  return -1;
}

struct TSettled {
  ULONGLONG lastChange;  // tick count
  TView view;
};

// Watches the middle of the window, every few milliseconds, until it has not
// changed for quietMs (or limitMs passed): when it last changed and what it
// shows. A window just shown first shows whatever was beneath it, then its own
// colour, the movie's stage and the page: what it stays at.
TSettled WaitUntilSettled(HWND window, DWORD quietMs, DWORD limitMs) {
  const ULONGLONG start = ::GetTickCount64();
  TSettled settled{start, ViewOf(window)};
  for (ULONGLONG now = start; now - start < limitMs && now - settled.lastChange < quietMs;
       now = ::GetTickCount64()) {
    ::Sleep(2);
    TView view = ViewOf(window);
    if (view != settled.view) {
      settled = {::GetTickCount64(), std::move(view)};
    }
  }
  return settled;
}

}  // namespace

// A picture is still worth taking; the line says what went wrong.
void leafbook::testing::ReportForeignThreadCall(const std::string& line) {
  std::fprintf(stderr, "viewer_screenshot: %s\n", line.c_str());
}

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: viewer_screenshot <book.exe> <out.png> [--then-key <vk> <out2.png>] "
                 "[arguments...]\n");
    return 2;
  }
  int next = 3;
  int key = 0;
  std::string second;
  if (argc >= 6 && std::string(argv[3]) == "--then-key") {
    key = std::atoi(argv[4]);
    second = argv[5];
    next = 6;
  }
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int status = 0;
  {
    const ULONGLONG started = ::GetTickCount64();
    leafbook::testing::TViewerProcess viewer(argv[1],
                                             std::vector<std::string>(argv + next, argv + argc));
    HWND window = viewer.VisibleWindow();
    if (!window) {
      std::fprintf(stderr, "viewer_screenshot: no window appeared\n");
      status = 1;
    } else {
      const ULONGLONG shown = ::GetTickCount64();
      // A window that stays the window's own colour shows no page.
      const TSettled page = WaitUntilSettled(window, 2000, 15000);
      const long pageMs = Blank(page.view) ? -1L : static_cast<long>(page.lastChange - started);
      std::printf("viewer_screenshot: window after %llu ms, first page after %ld ms\n",
                  shown - started, pageMs);
      if (!leafbook::testing::SaveScreenPng(argv[2])) {
        std::fprintf(stderr, "viewer_screenshot: cannot write %s\n", argv[2]);
        status = 1;
      }
      if (key != 0 && status == 0) {
        viewer.Settle();
        const TView before = ViewOf(window);
        ::PostMessageW(window, WM_KEYDOWN, static_cast<WPARAM>(key), 1);
        ::PostMessageW(window, WM_KEYUP, static_cast<WPARAM>(key), 0xC0000001);
        WaitForChange(window, before, 5000);
        ::Sleep(300);
        if (!leafbook::testing::SaveScreenPng(second)) {
          std::fprintf(stderr, "viewer_screenshot: cannot write %s\n", second.c_str());
          status = 1;
        }
      }
    }
  }
  ::CoUninitialize();
  return status;
}
