// leafpack: builds, lists, verifies and extracts book executables.
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "tools/leafpack/Leafpack.h"

int main(int argc, char** argv) {
#ifdef _WIN32
  // extract without -o writes the file's bytes to standard output.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  leafbook::leafpack::TConsole console{std::cout, std::cerr, isatty(fileno(stderr)) != 0};
  int status = leafbook::leafpack::Run(args, console);
  std::cout.flush();
  return status;
}
