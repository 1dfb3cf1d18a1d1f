// What every command shares on the console and the disk: failures reported as
// "leafpack: <message>" with an exit status, sizes for people, the output file
// written under a temporary name, and the progress line of long work.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "framework/base/Streams.h"

namespace leafbook::leafpack {

// Reported to the user as "leafpack: <message>" with an exit status.
struct TFailure {
  int code;
  std::string message;
};

[[noreturn]] void Fail(int code, const std::string& message);

std::string Quote(const std::string& text);
std::string Quote(const std::filesystem::path& path);
std::string MiB(int64_t bytes);
std::string SizeText(int64_t bytes);
// ", block digests, N KiB" for a book whose package has blocks of blockSize,
// nothing for 0.
std::string BlockDigestsText(int64_t blockSize);

// A file being written under a temporary name beside its destination; removed
// unless Commit renamed it into place, so a failed run leaves no partial file.
class TPendingOutput {
 public:
  explicit TPendingOutput(const std::filesystem::path& destination);
  ~TPendingOutput();
  TPendingOutput(const TPendingOutput&) = delete;
  TPendingOutput& operator=(const TPendingOutput&) = delete;

  static std::filesystem::path TemporaryFor(const std::filesystem::path& destination);

  TStream& Stream() { return *stream_; }
  const std::filesystem::path& Temporary() const { return temporary_; }
  void Commit();

 private:
  std::filesystem::path destination_;
  std::filesystem::path temporary_;
  std::optional<THandleStream> stream_;
};

// Work smaller than this ends before a progress line would help.
inline constexpr int64_t kProgressThreshold = 4 << 20;

// "leafpack: 12.0 MiB of 40.0 MiB (30%), 85.3 MiB/s"
std::string ProgressText(int64_t done, int64_t total, double seconds);

// A progress line on a terminal, redrawn in place at most ten times a second
// and ended with a line break. The clock is the caller's for the tests.
class TProgressLine {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;

  TProgressLine(std::ostream& err, bool enabled, int64_t total,
                TClock clock = std::chrono::steady_clock::now);
  ~TProgressLine();
  TProgressLine(const TProgressLine&) = delete;
  TProgressLine& operator=(const TProgressLine&) = delete;

  void Update(int64_t done);

 private:
  void Draw(int64_t done, std::chrono::steady_clock::time_point now);

  std::ostream& err_;
  bool enabled_;
  int64_t total_;
  TClock clock_;
  std::chrono::steady_clock::time_point start_;
  std::optional<std::chrono::steady_clock::time_point> drawn_;
  int64_t done_ = 0;
  size_t width_ = 0;
};

}  // namespace leafbook::leafpack
