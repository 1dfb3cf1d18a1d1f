// Test helpers for files and package images.
#include "tests/package/PackageFixture.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

#include "framework/base/Streams.h"
#include "package/MD5Op.h"
#include "package/PackageWriter.h"

namespace leafbook::testing {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          ("leafbook-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TTempDir::File(const std::string& name) const {
  return (path_ / name).string();
}

std::string TTempDir::NewFile(const std::string& bytes) {
  const std::string path = File("file-" + std::to_string(++files_) + ".exe");
  WriteBytes(path, bytes);
  return path;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) {
    fs::create_directories(path.parent_path());
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + path.string());
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Int32LE(int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) {
    bytes[static_cast<size_t>(i)] = static_cast<char>(bits >> (8 * i));
  }
  return bytes;
}

std::string TRawPackage::Bytes() const {
  std::string data;
  std::vector<int32_t> entrySizes;
  for (const std::string& entry : entries) {
    data += entry;
    entrySizes.push_back(static_cast<int32_t>(entry.size()));
  }
  std::string tail;
  if (digest) {
    if (digestBytes) {
      tail += *digestBytes;
    } else if (data.empty()) {
      tail += std::string(16, '\0');
    } else {
      TMD5Digest md5 = TMD5::Of(data.data(), data.size());
      tail.append(reinterpret_cast<const char*>(md5.data()), md5.size());
    }
  }
  for (int32_t size : sizes.value_or(entrySizes)) {
    tail += Int32LE(size);
  }
  tail += Int32LE(count.value_or(static_cast<int32_t>(entries.size())));
  tail += static_cast<char>(flag.value_or(digest ? 1 : 0));
  int32_t length = blockLength.value_or(static_cast<int32_t>(data.size() + tail.size() + 8));
  tail += Int32LE(length);
  tail += Int32LE(check.value_or(length ^ 0x12345678));
  return prefix + data + tail;
}

namespace {

constexpr size_t kPeHeader = 0x40;
constexpr size_t kOptionalHeader = kPeHeader + 24;

void PutUInt32(std::string& bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

}  // namespace

TRawPackage TSignedImage::Book() {
  TRawPackage book;
  book.entries = {"book.swf=1\r\n", "FWS\x01\x02"};
  return book;
}

std::string TSignedImage::Bytes() const {
  // The entry count and the entries of the data directory lie 16 bytes
  // further on in PE32+.
  const size_t countAt = kOptionalHeader + (pe32Plus ? 108 : 92);
  std::string headers(countAt + 4 + 16 * 8, '\0');
  headers[0] = 'M';
  headers[1] = 'Z';
  PutUInt32(headers, 0x3C, kPeHeader);
  headers.replace(kPeHeader, 4, std::string("PE\0\0", 4));
  headers[kOptionalHeader] = 0x0B;
  headers[kOptionalHeader + 1] = pe32Plus ? 0x02 : 0x01;
  PutUInt32(headers, countAt, directoryEntries);
  TRawPackage withHeaders = package;
  withHeaders.prefix = headers;
  std::string bytes = withHeaders.Bytes() + std::string(padding, paddingByte);
  if (securityEntry) {
    const size_t securityAt = countAt + 4 + 4 * 8;
    PutUInt32(bytes, securityAt, static_cast<uint32_t>(bytes.size()));
    PutUInt32(bytes, securityAt + 4, static_cast<uint32_t>(certificate.size()));
  }
  return bytes + certificate + afterTable;
}

std::string Directory(const std::vector<std::pair<std::string, int>>& names) {
  std::string text;
  for (const auto& [name, index] : names) {
    text += name + "=" + std::to_string(index) + "\r\n";
  }
  return text;
}

std::string Pattern(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(2 + (state >> 24) % 240);
  }
  return bytes;
}

std::string WrittenPackage(const std::vector<std::string>& entries, int32_t blockSize,
                           const std::string& prefix) {
  TStringStream out(prefix);
  out.Seek(0, TSeekOrigin::End);
  TPackageWriter writer(out, true, nullptr, blockSize);
  for (const std::string& entry : entries) {
    writer.AddEntry(entry);
  }
  writer.Finish();
  return out.DataString();
}

}  // namespace leafbook::testing
