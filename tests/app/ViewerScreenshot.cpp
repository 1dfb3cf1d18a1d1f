// viewer_screenshot <book.exe> <out.png> [--then-key <vk> <out2.png>] [viewer arguments...]:
// starts a book, waits for its window and its first page, saves a picture of
// the screen; with --then-key, presses that key (a virtual-key code) and
// saves a second picture once the page has turned. Prints how long the book
// took from its start to its window and to its first page.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/app/ViewerProcess.h"

namespace {

// Waits until the middle of the window changes from before (a page drawn or
// turned), for at most limitMs; the milliseconds waited, or -1.
long WaitForChange(HWND window, COLORREF before, DWORD limitMs) {
  const ULONGLONG start = ::GetTickCount64();
  while (::GetTickCount64() - start < limitMs) {
    if (leafbook::testing::ClientCentre(window) != before) {
      return static_cast<long>(::GetTickCount64() - start);
    }
    ::Sleep(10);
  }
  return -1;
}

}  // namespace

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
    HWND window = viewer.MainWindow();
    if (!window) {
      std::fprintf(stderr, "viewer_screenshot: no window appeared\n");
      status = 1;
    } else {
      const ULONGLONG shown = ::GetTickCount64();
      // The window's own colour, then the movie's stage, then the page.
      const COLORREF blank = ::GetSysColor(COLOR_BTNFACE);
      long page = leafbook::testing::ClientCentre(window) != blank
                      ? 0
                      : WaitForChange(window, blank, 10000);
      if (page >= 0) {
        const ULONGLONG stage = ::GetTickCount64();
        const long more = WaitForChange(window, leafbook::testing::ClientCentre(window), 3000);
        page = more < 0 ? page : static_cast<long>(stage - shown) + more;
      }
      std::printf("viewer_screenshot: window after %llu ms, first page after %ld ms\n",
                  shown - started, page < 0 ? -1L : static_cast<long>(shown - started) + page);
      ::Sleep(300);  // the rest of the page
      if (!leafbook::testing::SaveScreenPng(argv[2])) {
        std::fprintf(stderr, "viewer_screenshot: cannot write %s\n", argv[2]);
        status = 1;
      }
      if (key != 0 && status == 0) {
        const COLORREF before = leafbook::testing::ClientCentre(window);
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
