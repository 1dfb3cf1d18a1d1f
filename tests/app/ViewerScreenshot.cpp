// viewer_screenshot <book.exe> <out.png> [viewer arguments...]: starts a
// book, waits for its window and saves a picture of the screen.
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "tests/app/ViewerProcess.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: viewer_screenshot <book.exe> <out.png> [arguments...]\n");
    return 2;
  }
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int status = 0;
  {
    leafbook::testing::TViewerProcess viewer(argv[1],
                                             std::vector<std::string>(argv + 3, argv + argc));
    if (!viewer.MainWindow()) {
      std::fprintf(stderr, "viewer_screenshot: no window appeared\n");
      status = 1;
    } else if (!leafbook::testing::SaveScreenPng(argv[2])) {
      std::fprintf(stderr, "viewer_screenshot: cannot write %s\n", argv[2]);
      status = 1;
    }
  }
  ::CoUninitialize();
  return status;
}
