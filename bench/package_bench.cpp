// One page request on digested books of growing size: the request as the
// viewer makes it (the package opened and checked once per process, then a
// directory lookup and a read of just the entry) beside the same request made
// the old way (open, check the trailer and digest the whole package, read the
// directory, copy the entry), measured in the same run. Prints one figure
// line per book size, and the first request's cost (the one check) apart.
//   package_bench [MiB...]   (default: 64 256 1024)
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
#include "package/PackageDirectory.h"
#include "package/PackageWriter.h"

using namespace leafbook;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kPageSize = 200 << 10;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

long PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

std::string PageName(int i) {
  return "pages/" + std::to_string(i) + ".jpg";
}

// A digested book of `mib` MiB of 200 KiB pages; gives the number of pages.
int WriteBook(const std::string& path, int64_t mib) {
  const int pages = static_cast<int>((mib << 20) / kPageSize);
  TFileStream out(path, platform::TFileMode::Create);
  out.WriteBuffer("MZ bench viewer", 15);
  std::vector<std::pair<std::string, int32_t>> names;
  for (int i = 1; i <= pages; ++i) {
    names.emplace_back(PageName(i), i);
  }
  TPackageWriter writer(out, true);
  writer.AddEntry(BuildDirectoryText(names));
  std::string page(static_cast<size_t>(kPageSize), '\0');
  for (int i = 1; i <= pages; ++i) {
    for (size_t j = 0; j < page.size(); j += 512) {
      page[j] = static_cast<char>(i * 31 + j);
    }
    writer.AddEntry(page);
  }
  writer.Finish();
  return pages;
}

// The request as it was made before packages were kept open.
int64_t OldRequest(const std::string& path, const std::string& name) {
  TExeExtReader reader(path);
  const int32_t index = LookupDirectory(reader.ReadEntryText(0), name);
  TMemoryStream stream;
  reader.ReadEntry(index, stream);
  return stream.Size();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    sizes.push_back(std::atoll(argv[i]));
  }
  if (sizes.empty()) {
    sizes = {64, 256, 1024};
  }
  for (int64_t mib : sizes) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("leafbook-package-bench-" + std::to_string(mib) + ".exe"))
                                 .string();
    const int pages = WriteBook(path, mib);

    std::vector<double> old;
    for (int run = 0; run < 3; ++run) {
      const auto start = Clock::now();
      if (OldRequest(path, PageName(pages / 2 + run)) != kPageSize) {
        std::fprintf(stderr, "package_bench: the old request read nothing\n");
        return 1;
      }
      old.push_back(Seconds(start));
    }

    auto start = Clock::now();
    auto first = PackageFileStream(PageName(1), path);
    const double firstRequest = Seconds(start);
    std::vector<double> requests;
    for (int run = 0; run < 200; ++run) {
      start = Clock::now();
      // Pages spread over the whole book, each read from the file again.
      auto stream = PackageFileStream(PageName(1 + run * 7919 % pages), path);
      requests.push_back(Seconds(start));
      if (!stream || stream->Size() != kPageSize) {
        std::fprintf(stderr, "package_bench: a request read nothing\n");
        return 1;
      }
    }
    const double ours = Median(requests);
    const double anchor = Median(old);
    std::printf(
        "package_bench: %lld MiB book, %d pages: first request (opens and checks) %.3f s; "
        "later requests median %.3f ms; old way median %.3f s; peak RSS %ld MiB\n",
        static_cast<long long>(mib), pages, firstRequest, ours * 1e3, anchor, PeakRssMiB());
    std::printf(
        "figure\tone page request (lookup + 200 KiB), %lld MiB digested book\t%.3f ms\t"
        "%.1f ms (open + check every time)\t%.2g\t< 1 ms, flat across sizes\n",
        static_cast<long long>(mib), ours * 1e3, anchor * 1e3, ours / anchor);
    std::fflush(stdout);
    std::filesystem::remove(path);
  }
  return 0;
}
