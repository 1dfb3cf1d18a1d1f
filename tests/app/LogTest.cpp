// The diagnostic log in process: placement, appending, format, and entries
// from several threads at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "app/ULog.h"
#include "framework/base/Platform.h"
#include "framework/base/TextLines.h"
#include "tests/package/PackageFixture.h"

namespace leafbook::testing {
namespace {

namespace fs = std::filesystem;

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    LogEnabled = false;
    LogFileName.clear();
  }
  TTempDir dir_;
};

TEST_F(LogTest, AppendsFormattedLinesAndKeepsEarlierOnes) {
  const std::string path = dir_.File("missing/parent/book.log");
  WriteBytes(dir_.File("missing/keep.txt"), "");
  LogEnabled = true;
  LogFileName = path;
  TLog4DP::Log("first");
  TLog4DP::Log("second line");
  std::string text = ReadBytes(path);
  const std::regex format(
      R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}: first\r\n\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}: second line\r\n)");
  EXPECT_TRUE(std::regex_match(text, format)) << text;

  // An existing file (here with LF lines) keeps its lines; the new one follows.
  WriteBytes(path, "old one\nold two");
  TLog4DP::Log("third");
  std::vector<std::string> lines = SplitLines(ReadBytes(path));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "old one");
  EXPECT_EQ(lines[1], "old two");
  EXPECT_NE(lines[2].find(": third"), std::string::npos);
}

TEST_F(LogTest, WritesNothingWhenOffOrUnnamed) {
  const std::string path = dir_.File("off.log");
  LogFileName = path;
  TLog4DP::Log("not written");
  EXPECT_FALSE(fs::exists(path));

  LogEnabled = true;
  LogFileName.clear();
  TLog4DP::Log("no file can have an empty name");  // must not raise
  LogFileName = dir_.File("a\"b|c.log");           // not a valid name
  TLog4DP::Log("lost quietly");
}

TEST_F(LogTest, ABareNameLandsBesideTheExecutable) {
  LogEnabled = true;
  LogFileName = "leafbook-log-test.log";
  TLog4DP::Log("here");
  const fs::path expected =
      fs::path(platform::ExecutablePath()).parent_path() / "leafbook-log-test.log";
  EXPECT_EQ(fs::path(LogFileName), expected);
  EXPECT_TRUE(fs::exists(expected));
  fs::remove(expected);
}

TEST_F(LogTest, EntriesFromSeveralThreadsAreAllKept) {
  LogEnabled = true;
  LogFileName = dir_.File("threads.log");
  constexpr int kThreads = 6;
  constexpr int kEntries = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEntries; ++i) {
        TLog4DP::Log("thread " + std::to_string(t) + " entry " + std::to_string(i));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const std::regex entry(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}: (thread \d entry \d+))");
  std::set<std::string> seen;
  for (const std::string& line : SplitLines(ReadBytes(LogFileName))) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, entry)) << "torn: " << line;
    seen.insert(match[1]);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEntries));
}

}  // namespace
}  // namespace leafbook::testing
