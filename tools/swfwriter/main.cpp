// swfwriter: writes the demo's book movie.
//   swfwriter book -o <book.swf> [--pages N] [--pattern "pages/%d.jpg"]
//                  [--first <url of page 1>] [--plain] [--fullscreen]
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tools/swfwriter/SwfWriter.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: swfwriter book -o <book.swf> [--pages N] [--pattern pages/%%d.jpg] "
               "[--first <url>] [--plain] [--fullscreen]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) != "book") {
    return Usage();
  }
  std::string output;
  std::string pattern = "pages/%d.jpg";
  std::string first;
  int pages = 4;
  bool compressed = true;
  bool fullscreen = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (arg == "--pages" && i + 1 < argc) {
      pages = std::atoi(argv[++i]);
    } else if (arg == "--pattern" && i + 1 < argc) {
      pattern = argv[++i];
    } else if (arg == "--first" && i + 1 < argc) {
      first = argv[++i];
    } else if (arg == "--plain") {
      compressed = false;
    } else if (arg == "--fullscreen") {
      fullscreen = true;
    } else {
      return Usage();
    }
  }
  if (output.empty() || pages < 1 || pages > 65535) {
    return Usage();
  }
  try {
    leafbook::swf::WriteFile(
        output, leafbook::swf::BookMovie(pages, pattern, compressed, fullscreen, first));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "swfwriter: %s\n", error.what());
    return 1;
  }
  return 0;
}
