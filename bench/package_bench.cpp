// Opening and validating a large book package: writes a package of the given
// size (MiB, default 256) with a digest, then times TExeExtReader's open (which
// digests the whole data region) and a lookup-and-copy through the access
// functions. Prints seconds, throughput and the peak resident memory.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "package/PackageWriter.h"

using namespace leafbook;
using Clock = std::chrono::steady_clock;

namespace {
double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}
}  // namespace

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 256;
  const std::string path =
      (std::filesystem::temp_directory_path() / "leafbook-package-bench.exe").string();
  constexpr int kPages = 256;
  const int64_t pageSize = (mib << 20) / kPages;

  {
    TFileStream out(path, platform::TFileMode::Create);
    out.WriteBuffer("MZ bench viewer", 15);
    std::vector<std::pair<std::string, int32_t>> names;
    for (int i = 1; i <= kPages; ++i) {
      names.emplace_back("pages/" + std::to_string(i) + ".jpg", i);
    }
    TPackageWriter writer(out, true);
    writer.AddEntry(BuildDirectoryText(names));
    std::string page(static_cast<size_t>(pageSize), '\0');
    for (int i = 1; i <= kPages; ++i) {
      for (size_t j = 0; j < page.size(); j += 4096) {
        page[j] = static_cast<char>(i + j);
      }
      writer.AddEntry(page);
    }
    writer.Finish();
  }
  const long rssAfterWrite = PeakRssMiB();
  const double total = static_cast<double>(std::filesystem::file_size(path));

  std::vector<double> opens;
  for (int run = 0; run < 3; ++run) {
    auto start = Clock::now();
    TExeExtReader reader(path);
    opens.push_back(Seconds(start));
    if (reader.EntryCount() != kPages + 1) {
      std::fprintf(stderr, "package_bench: the package did not read back\n");
      return 1;
    }
  }
  std::sort(opens.begin(), opens.end());

  auto start = Clock::now();
  auto stream = PackageFileStream("pages/128.jpg", path);
  const double request = Seconds(start);

  std::printf(
      "package_bench: %.0f MiB package, open+validate best %.3f s, median %.3f s "
      "(%.1f MB/s); one request (lookup + %lld KiB copy) %.3f s; "
      "peak RSS %ld MiB after writing it, %ld MiB after validating it\n",
      total / (1 << 20), opens[0], opens[1], total / opens[1] / 1e6,
      static_cast<long long>(stream ? stream->Size() >> 10 : -1), request, rssAfterWrite,
      PeakRssMiB());
  std::filesystem::remove(path);
  return 0;
}
