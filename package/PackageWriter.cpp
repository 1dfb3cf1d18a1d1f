// Writer side of the book package.
#include "package/PackageWriter.h"

#include <algorithm>

#include "framework/base/Exceptions.h"
#include "package/ExeExt.h"

namespace leafbook {

using namespace package_layout;

namespace {
constexpr int32_t kChunk = 1 << 20;

void WriteInt32(TStream& dest, int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                      static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
  dest.WriteBuffer(bytes, 4);
}
}  // namespace

int64_t PackageBlockLength(int64_t dataLength, int64_t entryCount, bool withDigest,
                           int32_t blockSize) {
  if (blockSize > 0 && entryCount > 0) {
    dataLength += BlockTableSize(dataLength, blockSize);
    ++entryCount;
  }
  // The digest is only ever read when there are entries.
  const bool digestStored = withDigest && entryCount > 0;
  return dataLength + (digestStored ? kDigestSize : 0) + 4 * entryCount + kTrailerSize;
}

TPackageWriter::TPackageWriter(TStream& dest, bool withDigest, TProgress progress,
                               int32_t blockSize)
    : dest_(dest), withDigest_(withDigest), progress_(std::move(progress)) {
  if (blockSize > 0) {
    if (!withDigest) {
      throw EAssertionFailed("Block digests live only in a package with a digest");
    }
    blocks_ = std::make_unique<TBlockDigester>(blockSize);
  }
}

void TPackageWriter::Write(const void* data, int32_t count) {
  dest_.WriteBuffer(data, count);
  if (withDigest_) {
    md5_.Update(data, static_cast<size_t>(count));
  }
  if (blocks_) {
    blocks_->Update(data, static_cast<size_t>(count));
  }
  dataLength_ += count;
  if (progress_) {
    progress_(dataLength_);
  }
}

void TPackageWriter::AddEntry(TStream& source, int64_t size) {
  if (finished_) {
    throw EAssertionFailed("Package already finished");
  }
  if (size < 0 || size > INT32_MAX) {
    throw Exception("An entry of " + std::to_string(size) +
                    " bytes does not fit the package's 32-bit sizes");
  }
  if (PackageBlockLength(dataLength_ + size, static_cast<int64_t>(sizes_.size()) + 1, withDigest_) >
      INT32_MAX) {
    throw Exception("The package would exceed the 2 GiB its 32-bit block length allows");
  }
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(size, kChunk)));
  for (int64_t left = size; left > 0;) {
    auto piece = static_cast<int32_t>(std::min<int64_t>(left, kChunk));
    source.ReadBuffer(chunk.data(), piece);
    Write(chunk.data(), piece);
    left -= piece;
  }
  sizes_.push_back(static_cast<int32_t>(size));
}

void TPackageWriter::AddEntry(const std::string& bytes) {
  TStringStream source(bytes);
  AddEntry(source, static_cast<int64_t>(bytes.size()));
}

int32_t TPackageWriter::Finish() {
  if (finished_) {
    throw EAssertionFailed("Package already finished");
  }
  if (blocks_ && !sizes_.empty()) {
    // The table covers everything before it and is itself covered by the
    // digest only.
    const std::string table = BlockTableBytes(blocks_->Finish());
    blocks_.reset();
    AddEntry(table);
  }
  finished_ = true;
  const auto count = static_cast<int32_t>(sizes_.size());
  const bool digestStored = withDigest_ && count > 0;
  if (digestStored) {
    // An empty data region carries sixteen zero bytes, not MD5 of nothing.
    TMD5Digest digest = PackageDigest(md5_, dataLength_);
    dest_.WriteBuffer(digest.data(), kDigestSize);
  }
  for (int32_t size : sizes_) {
    WriteInt32(dest_, size);
  }
  const auto blockLength =
      static_cast<int32_t>(PackageBlockLength(dataLength_, count, withDigest_));
  WriteInt32(dest_, count);
  const uint8_t flag = digestStored ? 1 : 0;
  dest_.WriteBuffer(&flag, 1);
  WriteInt32(dest_, blockLength);
  WriteInt32(dest_, blockLength ^ kCheckMask);
  return blockLength;
}

std::string BuildDirectoryText(const std::vector<std::pair<std::string, int32_t>>& names) {
  std::string text;
  for (const auto& [name, index] : names) {
    text += name;
    text += '=';
    text += std::to_string(index);
    text += "\r\n";
  }
  return text;
}

}  // namespace leafbook

namespace leafbook {

namespace {

// Reads from a stream and digests what it reads.
class TDigestingReader final : public TStream {
 public:
  explicit TDigestingReader(TStream& source) : source_(source) {}
  int32_t Read(void* buffer, int32_t count) override {
    const int32_t got = source_.Read(buffer, count);
    if (got > 0) {
      md5_.Update(buffer, static_cast<size_t>(got));
    }
    return got;
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    if (offset != 0 || origin != TSeekOrigin::Current) {
      throw EStreamError("A digesting reader only reads on");
    }
    return source_.Seek(0, TSeekOrigin::Current);
  }
  int64_t GetSize() override { return source_.GetSize(); }
  void SetSize(int64_t) override { throw EStreamError("A digesting reader cannot change size"); }

  void Skip(int64_t count) {
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(count, kChunk)));
    for (int64_t left = count; left > 0;) {
      const auto piece = static_cast<int32_t>(std::min<int64_t>(left, kChunk));
      ReadBuffer(chunk.data(), piece);
      left -= piece;
    }
  }
  // The package's digest of everything read, regionLength bytes.
  TMD5Digest Digest(int64_t regionLength) { return PackageDigest(md5_, regionLength); }

 private:
  TStream& source_;
  TMD5 md5_;
};

}  // namespace

int32_t RewritePackage(TStream& source, TStream& dest, int32_t blockSize,
                       TPackageWriter::TProgress progress) {
  const TPackageLayout layout = ReadPackageLayout(source, TDigestCheck::Later);
  const bool oldTable = FindBlockTable(source, layout).has_value();
  TPackageWriter writer(dest, true, std::move(progress), blockSize);
  // One pass: every byte of the data region is digested for the source's own
  // digest as the entries are copied.
  source.SetPosition(layout.DataOffset);
  TDigestingReader reader(source);
  int64_t copied = 0;
  for (int32_t i = 0; i < layout.EntryCount; ++i) {
    const int64_t size = layout.EntrySizes[static_cast<size_t>(i)];
    if (oldTable && i == layout.EntryCount - 1) {
      reader.Skip(size);  // the old table: the writer makes a new one
    } else {
      writer.AddEntry(reader, size);
    }
    copied += size;
  }
  reader.Skip(layout.RegionLength - copied);
  if (layout.DigestStored() && reader.Digest(layout.RegionLength) != layout.StoredDigest) {
    throw EPackageDigest();
  }
  return writer.Finish();
}

}  // namespace leafbook
