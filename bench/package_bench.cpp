// Page requests on books of growing size, two measures:
//   package_bench [MiB...]   (default: 64 256 1024)
// one page request on digested books (whole-package MD5, no block digests) as
// the viewer makes it (the package opened and checked once per process, then
// a directory lookup and a read of just the entry) beside the same request
// made the old way (open, check the trailer and digest the whole package,
// read the directory, copy the entry), measured in the same run: one figure
// line per book size, and the first request's cost (the one check) apart;
//   package_bench --first-read [MiB]   (default: 1024)
// the first request of a page whose blocks were never read, in a book with a
// table of block digests (as leafpack builds one above 16 MiB), beside the
// same request in the same book built without a digest, requests of the two
// taken in turn: each such request reads and checks its page's blocks. The
// package is opened (its table and directory's blocks checked) once before
// either is timed. One figure line.
// Natively and under Wine (bench/CMakeLists.txt builds it for Windows too).
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "package/BlockDigests.h"
#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "package/PackageCache.h"
#include "package/PackageDirectory.h"
#include "package/PackageWriter.h"

using namespace leafbook;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t kPageSize = 200 << 10;

// Told in the figures, so that a Windows build's figure is not taken for the
// native one's.
#ifdef _WIN32
constexpr const char* kBuild =
    sizeof(void*) == 4 ? ", Windows 32-bit build" : ", Windows 64-bit build";
#else
constexpr const char* kBuild = "";
#endif

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

long PeakRssMiB() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<long>(counters.PeakWorkingSetSize >> 20);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
#endif
}

std::string PageName(int i) {
  return "pages/" + std::to_string(i) + ".jpg";
}

std::string BookPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("leafbook-package-bench-" + name + ".exe"))
      .string();
}

// A book of `mib` MiB of 200 KiB pages, with the whole-package digest or none,
// and a table of blocks of blockSize (none when 0); gives the number of pages.
int WriteBook(const std::string& path, int64_t mib, bool withDigest, int32_t blockSize = 0) {
  const int pages = static_cast<int>((mib << 20) / kPageSize);
  TFileStream out(path, platform::TFileMode::Create);
  out.WriteBuffer("MZ bench viewer", 15);
  std::vector<std::pair<std::string, int32_t>> names;
  for (int i = 1; i <= pages; ++i) {
    names.emplace_back(PageName(i), i);
  }
  TPackageWriter writer(out, withDigest, nullptr, blockSize);
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

// One request as the viewer makes it, timed; negative when it read nothing.
double TimedRequest(const std::string& path, const std::string& name) {
  const auto start = Clock::now();
  auto stream = PackageFileStream(name, path);
  const double seconds = Seconds(start);
  return stream && stream->Size() == kPageSize ? seconds : -1;
}

int CachedRequests(int64_t mib) {
  const std::string path = BookPath(std::to_string(mib));
  const int pages = WriteBook(path, mib, true);

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
    // Pages spread over the whole book, each read from the file again.
    requests.push_back(TimedRequest(path, PageName(1 + run * 7919 % pages)));
    if (requests.back() < 0) {
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
      "figure\tone page request (lookup + 200 KiB), %lld MiB digested book%s\t%.3f ms\t"
      "%.1f ms (open + check every time)\t%.2g\t< 1 ms, flat across sizes\n",
      static_cast<long long>(mib), kBuild, ours * 1e3, anchor * 1e3, ours / anchor);
  std::fflush(stdout);
  std::filesystem::remove(path);
  return 0;
}

int FirstReads(int64_t mib) {
  const std::string tablePath = BookPath(std::to_string(mib) + "-blocks");
  const std::string plainPath = BookPath(std::to_string(mib) + "-plain");
  // Both books go on every way out, a failed one included: they are large.
  struct TRemoved {
    std::vector<std::string> Paths;
    ~TRemoved() {
      for (const std::string& path : Paths) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
      }
    }
  } removed{{tablePath, plainPath}};
  const int32_t blockSize = block_digests::kDefaultBlockSize;
  const int pages = WriteBook(tablePath, mib, true, blockSize);
  WriteBook(plainPath, mib, false);

  // Opened once beforehand, untimed in the figure: the table and the
  // directory's blocks are checked here (and page 1's).
  auto start = Clock::now();
  const bool opened = PackageFileStream(PageName(1), tablePath) != nullptr;
  const double openSeconds = Seconds(start);
  const bool plainOpened = PackageFileStream(PageName(1), plainPath) != nullptr;
  const auto package = AcquirePackage(tablePath);
  const TBlockChecker* blocks = package ? package->Index().Blocks() : nullptr;
  if (!opened || !plainOpened || !blocks) {
    std::fprintf(stderr, "package_bench: a book did not open, or has no block digest table\n");
    return 1;
  }
  const int64_t checksAtOpen = blocks->Checks();

  // Pages at least three apart: 600 KiB from one's start to the next's, more
  // than a page and a block, so no page shares a block with another one read
  // (page 1 and the directory included) and every request checks fresh ones.
  const int rounds = std::min(200, (pages - 4) / 3);
  if (rounds < 1) {
    std::fprintf(stderr, "package_bench: a book of %lld MiB has too few pages\n",
                 static_cast<long long>(mib));
    return 1;
  }
  const int stride = std::max(3, (pages - 4) / rounds);
  std::vector<double> ours, theirs;
  for (int run = 0; run < rounds; ++run) {
    const std::string name = PageName(4 + run * stride);
    // Taken in turn, each first in every other round.
    const bool tableFirst = run % 2 == 0;
    const double a = TimedRequest(tableFirst ? tablePath : plainPath, name);
    const double b = TimedRequest(tableFirst ? plainPath : tablePath, name);
    ours.push_back(tableFirst ? a : b);
    theirs.push_back(tableFirst ? b : a);
    if (a < 0 || b < 0) {
      std::fprintf(stderr, "package_bench: a request read nothing\n");
      return 1;
    }
  }
  const int64_t checks = blocks->Checks() - checksAtOpen;
  const double o = Median(ours);
  const double t = Median(theirs);
  std::printf(
      "package_bench: %lld MiB book, %d pages, blocks of %d KiB: open (table, directory and "
      "page 1 checked, %lld blocks) %.3f ms; %d first requests of fresh pages checked %lld "
      "blocks; median %.3f ms with block digests, %.3f ms without a digest; peak RSS %ld MiB\n",
      static_cast<long long>(mib), pages, blockSize >> 10, static_cast<long long>(checksAtOpen),
      openSeconds * 1e3, rounds, static_cast<long long>(checks), o * 1e3, t * 1e3, PeakRssMiB());
  std::printf(
      "figure\tfirst request of a 200 KiB page whose blocks were never read (lookup, read, "
      "check), %lld MiB book with block digests, opened before%s\t%.3f ms\t%.3f ms (same "
      "book, no digest)\t%.2f\t< 2 ms\n",
      static_cast<long long>(mib), kBuild, o * 1e3, t * 1e3, o / t);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--first-read") {
    return FirstReads(argc > 2 ? std::atoll(argv[2]) : 1024);
  }
  std::vector<int64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    sizes.push_back(std::atoll(argv[i]));
  }
  if (sizes.empty()) {
    sizes = {64, 256, 1024};
  }
  for (int64_t mib : sizes) {
    if (const int status = CachedRequests(mib); status != 0) {
      return status;
    }
  }
  return 0;
}
