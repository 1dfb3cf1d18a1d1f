// Helpers for tests that need files and packages: a temporary folder, whole-file
// reads and writes, and package images built byte by byte (also damaged ones)
// or by the writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace leafbook::testing {

// A fresh folder under the system's temporary folder, removed with its content.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of name inside the folder, as the 8-bit string the code takes.
  std::string File(const std::string& name) const;
  // A new file in the folder holding bytes, named as no file before it: the
  // package cache knows each file by its path, so every case gets its own.
  std::string NewFile(const std::string& bytes);

 private:
  std::filesystem::path path_;
  int files_ = 0;
};

void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& path);

std::string Int32LE(int32_t value);

// The parts of a package image; Bytes() lays them out as the reader expects.
// Fields left unset are derived from the others, so a test sets only the
// field it wants to damage.
struct TRawPackage {
  std::string prefix = "MZ fake viewer";
  std::vector<std::string> entries;
  bool digest = true;
  std::optional<std::string> digestBytes;  // default: MD5 of the entries
  std::optional<std::vector<int32_t>> sizes;
  std::optional<int32_t> count;
  std::optional<uint8_t> flag;
  std::optional<int32_t> blockLength;
  std::optional<int32_t> check;

  std::string Bytes() const;
  // Offset of the data region (entry 0) within Bytes().
  size_t DataOffset() const { return prefix.size(); }
};

// A program as signing leaves it: PE headers whose security entry names a
// certificate table at the very end, after the package and the table's
// alignment padding. Fields damage one thing each.
struct TSignedImage {
  bool pe32Plus = false;
  size_t padding = 0;
  char paddingByte = 0;
  uint32_t directoryEntries = 16;
  std::string certificate = std::string("\x10\x00\x00\x00\x00\x02\x02\x00", 8) + "PKCS7...";
  std::string afterTable;     // bytes after the table: then it no longer ends the file
  bool securityEntry = true;  // false: an unsigned program (empty entry)
  TRawPackage package = Book();

  // book.swf (5 bytes) as entry 1, with a digest.
  static TRawPackage Book();
  std::string Bytes() const;
};

// A directory text with CR LF lines "name=index".
std::string Directory(const std::vector<std::pair<std::string, int>>& names);

// size bytes that change from one position to the next, each from 2 to 241:
// a byte zeroed, or left as a 0xFF fill, is never one of them, and one with
// its lowest bit flipped still looks like content.
std::string Pattern(size_t size, uint32_t seed);

// A package as TPackageWriter writes it after prefix: with a digest, and with
// a block digest table of blockSize when that is not 0.
std::string WrittenPackage(const std::vector<std::string>& entries, int32_t blockSize,
                           const std::string& prefix = "MZ fake viewer");

}  // namespace leafbook::testing
