// leafpack: builds, lists, verifies and extracts book executables.
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "framework/base/AnsiText.h"
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "tools/leafpack/Leafpack.h"

namespace {

#ifdef _WIN32
// argv holds the arguments in the ANSI code page, which loses every character
// it lacks; the UTF-16 command line has them all.
std::vector<std::string> Utf8Arguments() {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; wide && i < count; ++i) {
    args.push_back(leafbook::WideToUtf8(wide[i]));
  }
  ::LocalFree(wide);
  return args;
}

// Messages are UTF-8; a console shows them right only in that code page.
class TUtf8Console {
 public:
  TUtf8Console() : previous_(::GetConsoleOutputCP()) {
    if (previous_ != 0) {
      ::SetConsoleOutputCP(CP_UTF8);
    }
  }
  ~TUtf8Console() {
    if (previous_ != 0) {
      ::SetConsoleOutputCP(previous_);
    }
  }
  TUtf8Console(const TUtf8Console&) = delete;
  TUtf8Console& operator=(const TUtf8Console&) = delete;

 private:
  UINT previous_;
};
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  // extract without -o writes the file's bytes to standard output.
  _setmode(_fileno(stdout), _O_BINARY);
  TUtf8Console console8;
  std::vector<std::string> args = Utf8Arguments();
#else
  std::vector<std::string> args(argv + 1, argv + argc);
#endif
  leafbook::leafpack::TConsole console{std::cout, std::cerr, isatty(fileno(stderr)) != 0};
  int status = leafbook::leafpack::Run(args, console);
  std::cout.flush();
  return status;
}
