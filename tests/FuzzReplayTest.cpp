// Replays a fuzzing harness's committed inputs (tests/fuzz/<target>: a small
// corpus and every crash reproducer found) as an ordinary test: each file goes
// through the harness, which is linked into the test executable of its folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

TEST(FuzzInputs, EveryCommittedInputGoesThroughTheHarness) {
  int replayed = 0;
  const std::filesystem::path folder =
      std::filesystem::path(LEAFBOOK_FUZZ_INPUTS) / LEAFBOOK_FUZZ_TARGET;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) {
      continue;
    }
    SCOPED_TRACE(entry.path().string());
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    ++replayed;
  }
  EXPECT_GT(replayed, 0) << "no inputs in " << folder.string();
}

}  // namespace
