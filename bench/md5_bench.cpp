// MD5 throughput over 1 MiB blocks, the block size the comparison with
// `openssl speed -evp md5 -bytes 1048576` uses. Prints bytes per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "package/MD5Op.h"

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  std::vector<unsigned char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<unsigned char>(i * 131 + 7);
  }
  using Clock = std::chrono::steady_clock;
  leafbook::TMD5Digest sink{};
  long long bytes = 0;
  const auto start = Clock::now();
  auto elapsed = std::chrono::duration<double>::zero();
  while (elapsed.count() < seconds) {
    sink = leafbook::TMD5::Of(block.data(), block.size());
    block[0] ^= sink[0];  // keeps every call's result alive
    bytes += static_cast<long long>(block.size());
    elapsed = Clock::now() - start;
  }
  std::printf("md5_bench: %.0f bytes/s (%.1f MB/s) over %lld MiB\n", bytes / elapsed.count(),
              bytes / elapsed.count() / 1e6, bytes >> 20);
  return 0;
}
