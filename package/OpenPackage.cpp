// A checked package held open, with its directory indexed.
#include "package/OpenPackage.h"

#include <algorithm>
#include <atomic>
#include <optional>

#include "framework/base/Platform.h"
#include "package/PackageDirectory.h"

namespace leafbook {

namespace {

std::atomic<TPackageDamageReport> damageReport{nullptr};

void ReportDamage(const std::string& text) {
  if (TPackageDamageReport report = damageReport.load()) {
    report(text);
  }
}

}  // namespace

void SetPackageDamageReport(TPackageDamageReport report) {
  damageReport.store(report);
}

TPackageIndex::TPackageIndex(TStream& file, TBlockDigestUse use)
    : layout_(ReadPackageLayout(file, TDigestCheck::Later)) {
  offsets_.reserve(layout_.EntrySizes.size());
  int64_t offset = layout_.DataOffset;
  for (int32_t size : layout_.EntrySizes) {
    offsets_.push_back(offset);
    offset += size;
  }
  if (layout_.EntryCount <= 0) {
    return;  // no directory: every name is absent
  }
  std::optional<TBlockTable> table;
  if (use == TBlockDigestUse::Honour) {
    try {
      table = FindBlockTable(file, layout_);
    } catch (const EPackageBlockDigest& error) {
      ReportDamage("The book is damaged: " + error.Message());
      throw;
    }
  }
  if (table) {
    blocks_ = std::make_unique<const TBlockChecker>(std::move(*table), layout_.DataOffset);
  } else {
    CheckWholeDigest(file, layout_);
  }
  std::string text(static_cast<size_t>(layout_.EntrySizes[0]), '\0');
  ReadChecked(
      [&file](int64_t at, uint8_t* buffer, int64_t count) {
        file.SetPosition(at);
        file.ReadBuffer(buffer, static_cast<int32_t>(count));
      },
      0, offsets_[0], reinterpret_cast<uint8_t*>(text.data()), static_cast<int64_t>(text.size()));
  for (TDirectoryLine& line : DirectoryLines(text)) {
    firstLine_.try_emplace(platform::AnsiSameTextKey(line.Name), lines_.size());
    lines_.push_back({std::move(line.Name), line.Index});
  }
}

void TPackageIndex::ReadChecked(const TBlockChecker::TReadAt& readAt, int32_t index, int64_t offset,
                                uint8_t* buffer, int64_t count) const {
  if (count <= 0) {
    return;
  }
  if (damaged_.load()) {
    throw EPackageBlockDigest("the book is damaged: a block failed its check");
  }
  if (!blocks_) {
    readAt(offset, buffer, count);
    return;
  }
  try {
    blocks_->Read(readAt, offset, buffer, count);
  } catch (const EPackageBlockDigest& error) {
    if (!damaged_.load()) {
      const std::string name = EntryName(index);
      MarkDamaged(error.Message() + ", read for entry " + std::to_string(index) +
                  (name.empty() ? "" : " [" + name + "]"));
    }
    throw;
  }
}

void TPackageIndex::MarkDamaged(const std::string& why) const {
  if (!damaged_.exchange(true)) {
    ReportDamage("The book is damaged: " + why + "; nothing more is served from it");
  }
}

std::string TPackageIndex::EntryName(int32_t index) const {
  if (index == 0) {
    return "the directory";
  }
  for (const TLine& line : lines_) {
    if (line.Index == index) {
      return line.Name;
    }
  }
  return "";
}

int32_t TPackageIndex::Find(std::string_view name) const {
  if (damaged_.load()) {
    return 0;
  }
  auto found = firstLine_.find(platform::AnsiSameTextKey(name));
  if (found == firstLine_.end()) {
    return 0;
  }
  // The key only narrows the search: the comparison itself decides, and
  // should the two ever disagree, the lines are searched in order.
  if (platform::AnsiSameText(lines_[found->second].Name, name)) {
    return lines_[found->second].Index;
  }
  for (const TLine& line : lines_) {
    if (platform::AnsiSameText(line.Name, name)) {
      return line.Index;
    }
  }
  return 0;
}

int64_t TPackageIndex::EntrySize(int32_t index) const {
  if (index < 0 || index >= layout_.EntryCount) {
    throw EAssertionFailed("Error index");
  }
  return layout_.EntrySizes[static_cast<size_t>(index)];
}

int64_t TPackageIndex::EntryOffset(int32_t index) const {
  EntrySize(index);
  return offsets_[static_cast<size_t>(index)];
}

void TOpenPackage::ReadExactly(int32_t index, int64_t offset, uint8_t* buffer,
                               int64_t count) const {
  index_->ReadChecked(
      [this](int64_t at, uint8_t* into, int64_t length) { ReadFromFile(at, into, length); }, index,
      offset, buffer, count);
}

void TOpenPackage::ReadFromFile(int64_t offset, uint8_t* buffer, int64_t count) const {
  while (count > 0) {
    const auto piece = static_cast<int32_t>(std::min<int64_t>(count, 1 << 30));
    const int32_t got = platform::ReadFileAt(file_->Handle(), offset, buffer, piece);
    if (got < 0) {
      throw EReadError("Stream read error: " + platform::LastErrorText());
    }
    if (got == 0) {
      throw EReadError("Stream read error: the package ends inside an entry");
    }
    offset += got;
    buffer += got;
    count -= got;
  }
}

void TOpenPackage::ReadEntry(int32_t index, TStream& stream) const {
  const int64_t size = index_->EntrySize(index);
  const int64_t offset = index_->EntryOffset(index);
  if (size == 0) {
    return;
  }
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    const int64_t start = memory->GetPosition();
    const int64_t oldSize = memory->Size();
    uint8_t* room = memory->Room(size);
    try {
      ReadExactly(index, offset, room, size);
    } catch (...) {
      // Whatever the failed read left in the room is not the entry's.
      memory->SetSize(oldSize);
      memory->SetPosition(start);
      throw;
    }
    memory->SetPosition(start + size);
    return;
  }
  std::vector<uint8_t> buffer(
      static_cast<size_t>(std::min<int64_t>(size, package_layout::kCopyBufferSize)));
  for (int64_t done = 0; done < size;) {
    const auto piece = static_cast<int32_t>(std::min<int64_t>(size - done, buffer.size()));
    ReadExactly(index, offset + done, buffer.data(), piece);
    stream.WriteBuffer(buffer.data(), piece);
    done += piece;
  }
}

std::optional<bool> TOpenPackage::WholeDigestMatches(const std::function<bool()>& stopping) const {
  const TPackageLayout& layout = index_->Layout();
  if (!layout.DigestStored()) {
    return true;
  }
  constexpr int64_t kPiece = 1 << 20;
  std::vector<uint8_t> piece(static_cast<size_t>(std::min(kPiece, layout.RegionLength)));
  TMD5 md5;
  for (int64_t done = 0; done < layout.RegionLength;) {
    if (stopping()) {
      return std::nullopt;
    }
    const int64_t length = std::min(kPiece, layout.RegionLength - done);
    ReadFromFile(layout.DataOffset + done, piece.data(), length);
    md5.Update(piece.data(), static_cast<size_t>(length));
    done += length;
  }
  return PackageDigest(md5, layout.RegionLength) == layout.StoredDigest;
}

int32_t TOpenPackage::ReadEntryAt(int32_t index, int64_t offset, void* buffer,
                                  int32_t count) const {
  const int64_t size = EntrySize(index);
  if (offset < 0 || offset >= size || count <= 0) {
    return 0;
  }
  const auto wanted = static_cast<int32_t>(std::min<int64_t>(count, size - offset));
  ReadExactly(index, index_->EntryOffset(index) + offset, static_cast<uint8_t*>(buffer), wanted);
  return wanted;
}

}  // namespace leafbook
