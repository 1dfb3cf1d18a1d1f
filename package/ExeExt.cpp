// Reader of the book package appended to an executable.
#include "package/ExeExt.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "package/MD5Op.h"

namespace leafbook {

using namespace package_layout;

namespace {

constexpr auto kOpenRetryFor = std::chrono::seconds(5);
constexpr uint32_t kOpenRetryPauseMs = 100;

bool IsBlankName(const std::string& name) {
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

int32_t ReadInt32(TStream& stream) {
  uint8_t bytes[4];
  stream.ReadBuffer(bytes, 4);
  return static_cast<int32_t>(
      static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
      (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
}

TMD5Digest DigestRegion(TStream& file, int64_t offset, int64_t length) {
  // The package's own rule: an empty region has sixteen zero bytes as digest.
  if (length == 0) {
    return TMD5Digest{};
  }
  file.SetPosition(offset);
  TMD5 md5;
  md5.UpdateFrom(file, length);
  return md5.Final();
}

}  // namespace

std::string ResolvePackageFile(const std::string& fileName) {
  return IsBlankName(fileName) ? platform::ExecutablePath() : fileName;
}

// Another process may hold the file exclusively for a moment (an installer, a
// virus scanner): keep trying for a while, the first attempt always made.
std::unique_ptr<THandleStream> OpenPackageFile(const std::string& fileName) {
  const auto start = std::chrono::system_clock::now();
  for (;;) {
    platform::TFileHandle handle =
        platform::OpenFileShared(fileName, platform::TFileMode::OpenRead);
    if (handle) {
      return std::make_unique<THandleStream>(std::move(handle));
    }
    if (std::chrono::system_clock::now() - start >= kOpenRetryFor) {
      return nullptr;
    }
    platform::SleepMs(kOpenRetryPauseMs);
  }
}

TExeExtReader::TExeExtReader(const std::string& fileName)
    : fileName_(ResolvePackageFile(fileName)) {
  Open();
}

void TExeExtReader::Open() {
  if (!platform::FileExists(fileName_)) {
    return;
  }
  std::unique_ptr<THandleStream> file = OpenPackageFile(fileName_);
  if (file) {
    layout_ = ReadPackageLayout(*file);
  }
}

TPackageLayout ReadPackageLayout(TStream& file) {
  // Every trailer value is checked against the file before it is used for a
  // seek or an allocation: the package may be cut short or damaged.
  const int64_t fileSize = file.Seek(0, TSeekOrigin::End);
  if (fileSize < kTrailerSize) {
    throw EPackageNotFound();
  }
  file.SetPosition(fileSize - 9);
  uint8_t digestFlag = 0;
  file.ReadBuffer(&digestFlag, 1);
  const int32_t blockLength = ReadInt32(file);
  const int32_t blockLengthCheck = ReadInt32(file);
  if ((blockLength ^ kCheckMask) != blockLengthCheck || blockLength < kTrailerSize ||
      blockLength > fileSize) {
    throw EPackageNotFound();
  }
  const int64_t dataOffset = fileSize - blockLength;

  file.SetPosition(fileSize - kTrailerSize);
  const int32_t entryCount = ReadInt32(file);
  if (entryCount < 0) {
    throw EPackageNotFound();
  }
  std::vector<int32_t> entrySizes;
  if (entryCount > 0) {
    const int64_t sizesBytes = 4 * static_cast<int64_t>(entryCount);
    const int64_t digestBytes = digestFlag ? kDigestSize : 0;
    const int64_t regionLength = blockLength - kTrailerSize - sizesBytes - digestBytes;
    if (regionLength < 0) {
      throw EPackageNotFound();
    }
    file.SetPosition(fileSize - kTrailerSize - sizesBytes);
    entrySizes.resize(static_cast<size_t>(entryCount));
    for (int32_t& size : entrySizes) {
      size = ReadInt32(file);
    }
    int64_t total = 0;
    for (int32_t size : entrySizes) {
      total += size;
      if (size < 0 || total > regionLength) {
        throw EPackageNotFound();
      }
    }
    if (digestFlag) {
      TMD5Digest stored;
      file.SetPosition(fileSize - kTrailerSize - sizesBytes - kDigestSize);
      file.ReadBuffer(stored.data(), kDigestSize);
      if (DigestRegion(file, dataOffset, regionLength) != stored) {
        throw EPackageDigest();
      }
    }
  }

  return {entryCount, std::move(entrySizes), dataOffset, digestFlag};
}

void TExeExtReader::ReadEntry(int32_t index, TStream& stream) const {
  if (index < 0 || index >= layout_.EntryCount) {
    throw EAssertionFailed("Error index");
  }
  TFileStream file(fileName_, platform::TFileMode::OpenRead);
  int64_t offset = layout_.DataOffset;
  for (int32_t i = 0; i < index; ++i) {
    offset += layout_.EntrySizes[static_cast<size_t>(i)];
  }
  file.SetPosition(offset);
  CopyStreamPart(file, stream, layout_.EntrySizes[static_cast<size_t>(index)]);
}

std::string TExeExtReader::ReadEntryText(int32_t index) const {
  TStringStream text;
  ReadEntry(index, text);
  return text.DataString();
}

int64_t TExeExtReader::CopyStreamPart(TStream& source, TStream& dest, int64_t count) {
  return dest.CopyFrom(source, count, kCopyBufferSize);
}

}  // namespace leafbook
