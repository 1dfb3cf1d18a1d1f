// One read of a package's data region feeding its two digests.
#include "package/PackageCheck.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "package/MD5Op.h"

namespace leafbook {

namespace {

constexpr int64_t kChunk = 4 << 20;

// Chunks read on one thread and digested whole on another: a few buffers
// go round between the two.
class TDigestRing {
 public:
  TDigestRing() : worker_([this] { Run(); }) {}
  ~TDigestRing() { Stop(); }
  TDigestRing(const TDigestRing&) = delete;
  TDigestRing& operator=(const TDigestRing&) = delete;

  // A free buffer to read the next chunk into.
  std::vector<uint8_t>& Next() {
    std::unique_lock<std::mutex> lock(lock_);
    changed_.wait(lock, [this] { return produced_ - consumed_ < slots_.size(); });
    std::vector<uint8_t>& slot = slots_[produced_ % slots_.size()];
    slot.resize(kChunk);
    return slot;
  }
  // Hands the buffer Next gave, holding length bytes, to the digest.
  void Publish(int64_t length) {
    std::lock_guard<std::mutex> guard(lock_);
    lengths_[produced_ % slots_.size()] = length;
    ++produced_;
    changed_.notify_all();
  }
  // The package's digest of the regionLength bytes published.
  TMD5Digest Digest(int64_t regionLength) {
    Stop();
    return PackageDigest(md5_, regionLength);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
      changed_.wait(lock, [this] { return produced_ > consumed_ || stopping_; });
      if (produced_ == consumed_) {
        return;
      }
      const size_t slot = consumed_ % slots_.size();
      lock.unlock();
      md5_.Update(slots_[slot].data(), static_cast<size_t>(lengths_[slot]));
      lock.lock();
      ++consumed_;
      changed_.notify_all();
    }
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stopping_ = true;
      changed_.notify_all();
    }
    if (worker_.joinable()) {
      worker_.join();
    }
  }

  std::mutex lock_;
  std::condition_variable changed_;
  std::array<std::vector<uint8_t>, 3> slots_;
  std::array<int64_t, 3> lengths_{};
  size_t produced_ = 0;
  size_t consumed_ = 0;
  bool stopping_ = false;
  TMD5 md5_;
  std::thread worker_;  // last: it starts once everything it uses is there
};

}  // namespace

TPackageCheck CheckPackage(TStream& file, const std::function<void(int64_t)>& progress) {
  return CheckPackage(file, ReadPackageLayout(file, TDigestCheck::Later), progress);
}

TPackageCheck CheckPackage(TStream& file, const TPackageLayout& packageLayout,
                           const std::function<void(int64_t)>& progress) {
  TPackageCheck check;
  check.Layout = packageLayout;
  const TPackageLayout& layout = check.Layout;
  if (!layout.DigestStored()) {
    return check;  // nothing stored to check against
  }
  check.Table = FindBlockTable(file, layout);
  std::optional<TBlockDigester> blocks;
  if (check.Table) {
    blocks.emplace(check.Table->BlockSize);
  }
  const int64_t covered = check.Table ? check.Table->Covered : 0;
  TDigestRing whole;
  file.SetPosition(layout.DataOffset);
  for (int64_t done = 0; done < layout.RegionLength;) {
    std::vector<uint8_t>& chunk = whole.Next();
    const int64_t piece = std::min(kChunk, layout.RegionLength - done);
    file.ReadBuffer(chunk.data(), static_cast<int32_t>(piece));
    if (blocks && done < covered) {
      blocks->Update(chunk.data(), static_cast<size_t>(std::min(piece, covered - done)));
    }
    whole.Publish(piece);
    done += piece;
    if (progress) {
      progress(done);
    }
  }
  check.DigestMatches = whole.Digest(layout.RegionLength) == layout.StoredDigest;
  if (blocks) {
    const TBlockTable read = blocks->Finish();
    for (size_t i = 0; i < check.Table->Digests.size(); ++i) {
      if (i >= read.Digests.size() || read.Digests[i] != check.Table->Digests[i]) {
        check.BadBlocks.push_back(static_cast<int64_t>(i));
      }
    }
  }
  return check;
}

}  // namespace leafbook
