// Times mapping a module of a few megabytes from memory with TDLLLoader next
// to LoadLibrary of the same file, each round a load and an unload, and prints
// the medians, the last line a tab-separated figure line. Prints figures;
// asserts nothing.
//   module_load_bench [dll] [rounds]   (default: fx_big.dll beside the program, 20)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/WinTiming.h"
#include "framework/base/Streams.h"
#include "runtime/DLLLoader.h"

namespace {

using leafbook::bench::Median;
using leafbook::bench::Seconds;

std::string BesideProgram(const char* name) {
  char path[MAX_PATH];
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string exe(path, length);
  return exe.substr(0, exe.find_last_of("\\/") + 1) + name;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1] : BesideProgram("fx_big.dll");
  const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 20);
  try {
    leafbook::TMemoryStream module;
    {
      leafbook::TFileStream file(path, leafbook::platform::TFileMode::OpenRead);
      module.CopyFrom(file, file.GetSize());
    }
    double megabytes = static_cast<double>(module.Size()) / (1 << 20);

    // Medians, not means: a round now and then pays for something else
    // (the first touch of the file, a page-cache miss, a wineserver round trip).
    std::vector<double> fromMemory, system;
    for (int i = 0; i < rounds; ++i) {
      double start = Seconds();
      {
        leafbook::TDLLLoader loader;
        loader.LoadFromStream(module);
        if (loader.ModuleBase() == nullptr) {
          std::fprintf(stderr, "module_load_bench: load failed\n");
          return 1;
        }
      }
      fromMemory.push_back(Seconds() - start);

      start = Seconds();
      HMODULE library = ::LoadLibraryA(path.c_str());
      if (library == nullptr) {
        std::fprintf(stderr, "module_load_bench: LoadLibrary failed\n");
        return 1;
      }
      ::FreeLibrary(library);
      system.push_back(Seconds() - start);
    }
    const double ours = Median(fromMemory);
    const double anchor = Median(system);

    std::printf("module_load_bench: %s, %.1f MiB, %d-bit, %d rounds each (load and unload)\n",
                path.c_str(), megabytes, static_cast<int>(sizeof(void*) * 8), rounds);
    std::printf("  TDLLLoader from memory: %8.2f ms per load (%.0f MiB/s)\n", ours * 1e3,
                megabytes / ours);
    std::printf("  LoadLibrary of the file: %7.2f ms per load\n", anchor * 1e3);
    std::printf(
        "figure\tmapping a module of %.1f MiB from memory (TDLLLoader) vs LoadLibrary of the same "
        "file (median of %d, load and unload)\t%.2f ms\t%.2f ms\t%.2f\t≤ 1.25×\n",
        megabytes, rounds, ours * 1e3, anchor * 1e3, ours / anchor);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "module_load_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
