// Failures, sizes, the pending output file and the progress line.
#include "tools/leafpack/Console.h"

#include <cstdio>
#include <system_error>

#include "tools/leafpack/Leafpack.h"
#include "tools/leafpack/Paths.h"

namespace leafbook::leafpack {

namespace fs = std::filesystem;

void Fail(int code, const std::string& message) {
  throw TFailure{code, message};
}

std::string Quote(const std::string& text) {
  return "\"" + text + "\"";
}

std::string Quote(const fs::path& path) {
  return Quote(Utf8FromPath(path));
}

std::string MiB(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

std::string SizeText(int64_t bytes) {
  if (bytes < 1024) {
    return std::to_string(bytes) + " bytes";
  }
  if (bytes < (1 << 20)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
    return text;
  }
  return MiB(bytes);
}

std::string BlockDigestsText(int64_t blockSize) {
  return blockSize > 0 ? ", block digests, " + std::to_string(blockSize >> 10) + " KiB" : "";
}

// --- TPendingOutput

fs::path TPendingOutput::TemporaryFor(const fs::path& destination) {
  fs::path temporary = destination;
  temporary += ".leafpack-tmp";
  return temporary;
}

TPendingOutput::TPendingOutput(const fs::path& destination)
    : destination_(destination), temporary_(TemporaryFor(destination)) {
  std::error_code error;
  const fs::path folder = destination.has_parent_path() ? destination.parent_path() : ".";
  if (!fs::is_directory(folder, error)) {
    Fail(kFailed, "cannot write " + Quote(destination) + ": the folder " + Quote(folder) +
                      " does not exist; create it first or give another -o");
  }
  platform::TFileHandle handle = platform::OpenPathShared(temporary_, platform::TFileMode::Create);
  if (!handle) {
    Fail(kFailed, "cannot write " + Quote(destination) + ": " + platform::LastErrorText());
  }
  stream_.emplace(std::move(handle));
}

TPendingOutput::~TPendingOutput() {
  if (stream_) {
    stream_.reset();
    std::error_code ignored;
    fs::remove(temporary_, ignored);
  }
}

void TPendingOutput::Commit() {
  stream_.reset();  // closed before the rename: Windows will not rename an open file
  std::error_code error;
  fs::rename(temporary_, destination_, error);
  if (error) {
    fs::remove(temporary_, error);
    Fail(kFailed, "cannot write " + Quote(destination_) + ": " + error.message());
  }
}

// --- progress

std::string ProgressText(int64_t done, int64_t total, double seconds) {
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
  std::string text =
      "leafpack: " + MiB(done) + " of " + MiB(total) + " (" + std::to_string(percent) + "%)";
  if (seconds > 0) {
    char rate[48];
    std::snprintf(rate, sizeof rate, ", %.1f MiB/s",
                  static_cast<double>(done) / (1 << 20) / seconds);
    text += rate;
  }
  return text;
}

TProgressLine::TProgressLine(std::ostream& err, bool enabled, int64_t total, TClock clock)
    : err_(err),
      enabled_(enabled && total > kProgressThreshold),
      total_(total),
      clock_(std::move(clock)),
      start_(clock_()) {}

TProgressLine::~TProgressLine() {
  if (enabled_ && drawn_) {
    Draw(done_, clock_());
    err_ << "\n" << std::flush;
  }
}

void TProgressLine::Update(int64_t done) {
  if (!enabled_) {
    return;
  }
  done_ = done;
  const auto now = clock_();
  if (!drawn_ || now - *drawn_ >= std::chrono::milliseconds(100)) {
    Draw(done, now);
  }
}

void TProgressLine::Draw(int64_t done, std::chrono::steady_clock::time_point now) {
  drawn_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::string text = ProgressText(done, total_, seconds);
  // Blanks wipe what a longer earlier line left behind.
  const size_t width = text.size();
  if (width < width_) {
    text.append(width_ - width, ' ');
  }
  width_ = width;
  err_ << "\r" << text << std::flush;
}

}  // namespace leafbook::leafpack
