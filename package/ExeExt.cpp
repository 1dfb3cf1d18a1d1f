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
  file.SetPosition(offset);
  TMD5 md5;
  md5.UpdateFrom(file, length);
  return PackageDigest(md5, length);
}

}  // namespace

TMD5Digest PackageDigest(TMD5& md5, int64_t regionLength) {
  return regionLength == 0 ? TMD5Digest{} : md5.Final();
}

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

namespace {

// Signing aligns the certificate table to 8 bytes: at most 7 zero bytes lie
// between what comes before it and the table.
constexpr int64_t kMostCertificatePadding = 7;

uint16_t ReadUInt16At(TStream& file, int64_t offset) {
  uint8_t bytes[2];
  file.SetPosition(offset);
  file.ReadBuffer(bytes, 2);
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t ReadUInt32At(TStream& file, int64_t offset) {
  file.SetPosition(offset);
  return static_cast<uint32_t>(ReadInt32(file));
}

// Whether a trailer's check word holds for a package ending at end.
bool TrailerAt(TStream& file, int64_t end) {
  if (end < kTrailerSize) {
    return false;
  }
  file.SetPosition(end - 8);
  const int32_t blockLength = ReadInt32(file);
  return (blockLength ^ kCheckMask) == ReadInt32(file);
}

// The certificate table of an Authenticode-signed program, from the
// security entry of its data directory: {file offset, size}, or {0, 0}
// when the file is no PE image or carries no table.
std::pair<int64_t, int64_t> CertificateTable(TStream& file, int64_t fileSize) {
  constexpr int64_t kDosHeader = 64;
  constexpr uint32_t kSecurityEntry = 4;
  if (fileSize < kDosHeader || ReadUInt16At(file, 0) != 0x5A4D) {  // "MZ"
    return {0, 0};
  }
  const int64_t pe = ReadUInt32At(file, 0x3C);
  const int64_t optional = pe + 24;
  if (optional + 2 > fileSize || ReadUInt32At(file, pe) != 0x4550) {  // "PE\0\0"
    return {0, 0};
  }
  // PE32 and PE32+ differ in where the entry count and the entries lie.
  const uint16_t magic = ReadUInt16At(file, optional);
  const int64_t countAt = magic == 0x10B ? optional + 92 : magic == 0x20B ? optional + 108 : 0;
  if (countAt == 0 || countAt + 4 + 8 * (kSecurityEntry + 1) > fileSize ||
      ReadUInt32At(file, countAt) <= kSecurityEntry) {
    return {0, 0};
  }
  const int64_t entry = countAt + 4 + 8 * kSecurityEntry;
  return {ReadUInt32At(file, entry), ReadUInt32At(file, entry + 4)};
}

// Where the package ends. Signing appends a certificate table after the
// package, aligned to 8 bytes with zeros; such a file has no check word at its
// very end, and the package is looked for right before the table instead.
int64_t PackageEnd(TStream& file, int64_t fileSize, bool& isSigned) {
  isSigned = false;
  if (TrailerAt(file, fileSize)) {
    return fileSize;
  }
  const auto [table, tableSize] = CertificateTable(file, fileSize);
  if (tableSize <= 0 || table <= 0 || table + tableSize != fileSize) {
    return fileSize;
  }
  for (int64_t padding = 0; padding <= kMostCertificatePadding && padding < table; ++padding) {
    const int64_t end = table - padding;
    if (padding > 0) {
      uint8_t byte = 0;
      file.SetPosition(end);
      file.ReadBuffer(&byte, 1);
      if (byte != 0) {
        break;  // padding is zeros only
      }
    }
    if (TrailerAt(file, end)) {
      isSigned = true;
      return end;
    }
  }
  return fileSize;
}

}  // namespace

TPackageLayout ReadPackageLayout(TStream& file, TDigestCheck check) {
  // Every trailer value is checked against the file before it is used for a
  // seek or an allocation: the package may be cut short or damaged.
  bool isSigned = false;
  const int64_t end = PackageEnd(file, file.Seek(0, TSeekOrigin::End), isSigned);
  if (end < kTrailerSize) {
    throw EPackageNotFound();
  }
  file.SetPosition(end - 9);
  uint8_t digestFlag = 0;
  file.ReadBuffer(&digestFlag, 1);
  const int32_t blockLength = ReadInt32(file);
  const int32_t blockLengthCheck = ReadInt32(file);
  if ((blockLength ^ kCheckMask) != blockLengthCheck || blockLength < kTrailerSize ||
      blockLength > end) {
    throw EPackageNotFound();
  }
  const int64_t dataOffset = end - blockLength;

  file.SetPosition(end - kTrailerSize);
  const int32_t entryCount = ReadInt32(file);
  if (entryCount < 0) {
    throw EPackageNotFound();
  }
  TPackageLayout layout;
  layout.EntryCount = entryCount;
  layout.DataOffset = dataOffset;
  layout.DigestFlag = digestFlag;
  layout.Signed = isSigned;
  if (entryCount > 0) {
    const int64_t sizesBytes = 4 * static_cast<int64_t>(entryCount);
    const int64_t digestBytes = digestFlag ? kDigestSize : 0;
    const int64_t regionLength = blockLength - kTrailerSize - sizesBytes - digestBytes;
    if (regionLength < 0) {
      throw EPackageNotFound();
    }
    layout.RegionLength = regionLength;
    file.SetPosition(end - kTrailerSize - sizesBytes);
    layout.EntrySizes.resize(static_cast<size_t>(entryCount));
    for (int32_t& size : layout.EntrySizes) {
      size = ReadInt32(file);
    }
    int64_t total = 0;
    for (int32_t size : layout.EntrySizes) {
      total += size;
      if (size < 0 || total > regionLength) {
        throw EPackageNotFound();
      }
    }
    if (digestFlag) {
      file.SetPosition(end - kTrailerSize - sizesBytes - kDigestSize);
      file.ReadBuffer(layout.StoredDigest.data(), kDigestSize);
      if (check == TDigestCheck::Whole) {
        CheckWholeDigest(file, layout);
      }
    }
  }
  return layout;
}

void CheckWholeDigest(TStream& file, const TPackageLayout& layout) {
  if (layout.DigestStored() &&
      DigestRegion(file, layout.DataOffset, layout.RegionLength) != layout.StoredDigest) {
    throw EPackageDigest();
  }
}

namespace {

// The end of the program image file starts with: its headers, the raw data
// of every section, and the COFF symbol table with its strings, which GNU ld
// leaves after the sections of an unstripped program; 0 when file is no PE
// image. Every value is the file's own and may point anywhere: each offset
// is checked against fileSize before it is read at.
int64_t ImageEnd(TStream& file, int64_t fileSize) {
  constexpr int64_t kDosHeader = 64;
  constexpr int64_t kSectionHeader = 40;
  constexpr int64_t kSymbol = 18;
  constexpr int64_t kSizeOfHeadersAt = 60;  // in the optional header, PE32 and PE32+ alike
  if (fileSize < kDosHeader || ReadUInt16At(file, 0) != 0x5A4D) {  // "MZ"
    return 0;
  }
  const int64_t pe = ReadUInt32At(file, 0x3C);
  const int64_t optional = pe + 24;
  if (optional > fileSize || ReadUInt32At(file, pe) != 0x4550) {  // "PE\0\0"
    return 0;
  }
  const int64_t sections = ReadUInt16At(file, pe + 6);
  const int64_t symbols = ReadUInt32At(file, pe + 12);
  const int64_t symbolCount = ReadUInt32At(file, pe + 16);
  const int64_t optionalSize = ReadUInt16At(file, pe + 20);
  const int64_t table = optional + optionalSize;
  int64_t end = table + kSectionHeader * sections;
  if (end > fileSize) {
    return end;  // the headers are cut short: nothing lies after them
  }
  if (optionalSize >= kSizeOfHeadersAt + 4) {
    end = std::max<int64_t>(end, ReadUInt32At(file, optional + kSizeOfHeadersAt));
  }
  for (int64_t i = 0; i < sections; ++i) {
    const int64_t header = table + kSectionHeader * i;
    const int64_t rawSize = ReadUInt32At(file, header + 16);
    if (rawSize > 0) {  // uninitialised data has no bytes in the file
      end = std::max(end, ReadUInt32At(file, header + 20) + rawSize);
    }
  }
  if (symbols != 0) {
    const int64_t strings = symbols + kSymbol * symbolCount;
    end = std::max(end, strings);
    if (strings + 4 <= fileSize) {
      end = std::max<int64_t>(end, strings + ReadUInt32At(file, strings));
    }
  }
  return end;
}

}  // namespace

int64_t BytesAfterImage(TStream& file) {
  const int64_t fileSize = file.Seek(0, TSeekOrigin::End);
  const int64_t end = ImageEnd(file, fileSize);
  int64_t limit = fileSize;
  // Signing a bare viewer appends its certificate table right after the
  // image: that table and its alignment are the image's, not a package.
  const auto [table, tableSize] = CertificateTable(file, fileSize);
  if (tableSize > 0 && table >= end && table + tableSize == fileSize) {
    limit = table;
    for (int64_t padding = 0; padding < kMostCertificatePadding && limit > end; ++padding) {
      uint8_t byte = 0;
      file.SetPosition(limit - 1);
      file.ReadBuffer(&byte, 1);
      if (byte != 0) {
        break;
      }
      --limit;
    }
  }
  return std::max<int64_t>(0, limit - end);
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
