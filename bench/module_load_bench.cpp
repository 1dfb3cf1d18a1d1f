// Times mapping a module of a few megabytes from memory with TDLLLoader next
// to LoadLibrary of the same file. Prints figures; asserts nothing.
//   module_load_bench [dll] [rounds]   (default: fx_big.dll beside the program, 20)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/base/Streams.h"
#include "runtime/DLLLoader.h"

namespace {

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string BesideProgram(const char* name) {
  char path[MAX_PATH];
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string exe(path, length);
  return exe.substr(0, exe.find_last_of("\\/") + 1) + name;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1] : BesideProgram("fx_big.dll");
  int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
  try {
    leafbook::TMemoryStream module;
    {
      leafbook::TFileStream file(path, leafbook::platform::TFileMode::OpenRead);
      module.CopyFrom(file, file.GetSize());
    }
    double megabytes = static_cast<double>(module.Size()) / (1 << 20);

    double start = Seconds();
    for (int i = 0; i < rounds; ++i) {
      leafbook::TDLLLoader loader;
      loader.LoadFromStream(module);
      if (loader.ModuleBase() == nullptr) {
        std::fprintf(stderr, "module_load_bench: load failed\n");
        return 1;
      }
    }
    double fromMemory = (Seconds() - start) / rounds;

    start = Seconds();
    for (int i = 0; i < rounds; ++i) {
      HMODULE library = ::LoadLibraryA(path.c_str());
      if (library == nullptr) {
        std::fprintf(stderr, "module_load_bench: LoadLibrary failed\n");
        return 1;
      }
      ::FreeLibrary(library);
    }
    double system = (Seconds() - start) / rounds;

    std::printf("module_load_bench: %s, %.1f MiB, %d rounds each (load and unload)\n", path.c_str(),
                megabytes, rounds);
    std::printf("  TDLLLoader from memory: %8.2f ms per load (%.0f MiB/s)\n", fromMemory * 1e3,
                megabytes / fromMemory);
    std::printf("  LoadLibrary of the file: %7.2f ms per load\n", system * 1e3);
    std::printf("  ratio, from memory / LoadLibrary: %.2f\n", fromMemory / system);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "module_load_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
