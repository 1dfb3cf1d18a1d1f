// The book's identity written into a copy of the viewer: its resources are
// read, the icon and version details replaced, and the whole tree written
// into a new last section, so that nothing of the viewer's own layout moves.
#include "tools/leafpack/BookIdentity.h"

#include <algorithm>
#include <iterator>

#include "framework/base/Exceptions.h"
#include "tools/leafpack/IconFile.h"
#include "tools/leafpack/PeImage.h"
#include "tools/leafpack/PeResources.h"
#include "tools/leafpack/VersionInfo.h"

namespace leafbook::leafpack {

namespace {

constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint32_t kInitializedReadableData = 0x40000040;
constexpr uint16_t kUsEnglish = 0x0409;
constexpr int32_t kChecksumChunk = 1 << 20;

TResourceName Id(uint16_t id) {
  return {u"", id};
}

// The language of the viewer's first resource of type, so that the book's
// replaces it in kind; US English (the viewer's own) when there is none.
uint16_t LanguageOf(const std::vector<TResource>& resources, uint16_t type) {
  for (const TResource& resource : resources) {
    if (resource.Type == Id(type)) {
      return resource.Language;
    }
  }
  return kUsEnglish;
}

void ReplaceIcon(std::vector<TResource>& resources, const std::vector<TIconImage>& images) {
  const uint16_t language = LanguageOf(resources, RtGroupIcon);
  std::erase_if(resources, [](const TResource& r) {
    return r.Type == Id(RtIcon) || r.Type == Id(RtGroupIcon);
  });
  resources.push_back({Id(RtGroupIcon), Id(1), language, 0, GroupIconResource(images, 1)});
  for (size_t i = 0; i < images.size(); ++i) {
    resources.push_back(
        {Id(RtIcon), Id(static_cast<uint16_t>(i + 1)), language, 0, images[i].Data});
  }
}

void ReplaceVersion(std::vector<TResource>& resources, const TBookIdentity& identity) {
  const uint16_t language = LanguageOf(resources, RtVersion);
  std::erase_if(resources,
                [](const TResource& r) { return r.Type == Id(RtVersion) && r.Name == Id(1); });
  resources.push_back({Id(RtVersion), Id(1), language, 0, VersionResource(identity)});
}

// Where the new section's header goes, after making sure it fits in the
// headers without touching a section's data or anything kept after the table.
uint64_t NewSectionHeaderOffset(const TPeImage& image, std::span<const uint8_t> bytes) {
  const uint64_t at = image.SectionTableOffset() + kSectionHeaderSize * image.Sections().size();
  uint64_t room = std::min<uint64_t>(image.SizeOfHeaders(), bytes.size());
  for (const TPeSection& section : image.Sections()) {
    if (section.SizeOfRawData != 0 && section.PointerToRawData != 0) {
      room = std::min<uint64_t>(room, section.PointerToRawData);
    }
  }
  if (at + kSectionHeaderSize > room ||
      !std::all_of(bytes.begin() + static_cast<ptrdiff_t>(at),
                   bytes.begin() + static_cast<ptrdiff_t>(at + kSectionHeaderSize),
                   [](uint8_t b) { return b == 0; })) {
    throw Exception("the viewer's headers have no room for one more section header");
  }
  return at;
}

std::vector<uint8_t> AddResourceSection(std::vector<uint8_t> viewer, const TPeImage& image,
                                        const std::vector<TResource>& resources) {
  const uint64_t header = NewSectionHeaderOffset(image, viewer);
  // Every section's data lies within the file (TPeImage refuses others): after
  // the file's end the new data overwrites nothing, such as a symbol table.
  const uint64_t fileEnd = viewer.size();
  uint64_t imageEnd = image.SizeOfImage();
  for (const TPeSection& section : image.Sections()) {
    imageEnd =
        std::max<uint64_t>(imageEnd, uint64_t{section.VirtualAddress} +
                                         std::max(section.VirtualSize, section.SizeOfRawData));
  }
  const uint64_t rawOffset = AlignUp(fileEnd, image.FileAlignment());
  const uint64_t rva = AlignUp(imageEnd, image.SectionAlignment());
  if (rva > 0x7fffffff) {
    throw Exception("the viewer's image is too large for one more section");
  }
  const std::vector<uint8_t> tree = WriteResources(resources, static_cast<uint32_t>(rva));
  const uint64_t rawSize = AlignUp(tree.size(), image.FileAlignment());
  const uint64_t sizeOfImage = AlignUp(rva + tree.size(), image.SectionAlignment());
  if (rawOffset + rawSize > 0x7fffffff || sizeOfImage > 0x7fffffff) {
    throw Exception("the viewer's image is too large for one more section");
  }
  viewer.resize(rawOffset + rawSize, 0);
  std::copy(tree.begin(), tree.end(), viewer.begin() + static_cast<ptrdiff_t>(rawOffset));

  const char name[8] = {'.', 'r', 's', 'r', 'c', '2', 0, 0};
  std::copy(std::begin(name), std::end(name), viewer.begin() + static_cast<ptrdiff_t>(header));
  Put32(viewer, header + 8, static_cast<uint32_t>(tree.size()));
  Put32(viewer, header + 12, static_cast<uint32_t>(rva));
  Put32(viewer, header + 16, static_cast<uint32_t>(rawSize));
  Put32(viewer, header + 20, static_cast<uint32_t>(rawOffset));
  Put32(viewer, header + 36, kInitializedReadableData);

  Put16(viewer, image.NumberOfSectionsOffset(), static_cast<uint16_t>(image.Sections().size() + 1));
  Put32(viewer, image.SizeOfImageOffset(), static_cast<uint32_t>(sizeOfImage));
  Put32(viewer, image.SizeOfInitializedDataOffset(),
        static_cast<uint32_t>(image.SizeOfInitializedData() + rawSize));
  Put32(viewer, image.DataDirectoryOffset(ResourceDirectory), static_cast<uint32_t>(rva));
  Put32(viewer, image.DataDirectoryOffset(ResourceDirectory) + 4,
        static_cast<uint32_t>(tree.size()));
  Put32(viewer, image.ChecksumOffset(), PeChecksum(viewer));
  return viewer;
}

}  // namespace

std::optional<TVersionNumber> ParseVersionNumber(std::string_view text) {
  TVersionNumber version = {0, 0, 0, 0};
  size_t part = 0;
  size_t digits = 0;
  uint32_t value = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (digits == 0 || part == version.size()) {
        return std::nullopt;
      }
      version[part++] = static_cast<uint16_t>(value);
      digits = 0;
      value = 0;
    } else if (text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      if (++digits > 5 || value > 0xffff) {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
  }
  return version;
}

std::vector<uint8_t> ApplyBookIdentity(std::vector<uint8_t> viewer, const TBookIdentity& identity) {
  const std::vector<TIconImage> icon =
      identity.HasIcon() ? ReadIconFiles(identity.IconFiles) : std::vector<TIconImage>{};
  const TPeImage image(viewer);
  if (image.DataDirectory(CertificateDirectory).Size != 0) {
    throw Exception(
        "the viewer is signed: a signature does not survive the book's changes; build from an "
        "unsigned viewer and sign the book afterwards");
  }
  if (image.DataDirectoryCount() <= ResourceDirectory) {
    throw Exception("the viewer's headers have no resource directory entry");
  }
  std::vector<TResource> resources = ReadResources(image, viewer);
  if (identity.HasIcon()) {
    ReplaceIcon(resources, icon);
  }
  if (identity.HasVersion()) {
    ReplaceVersion(resources, identity);
  }
  return AddResourceSection(std::move(viewer), image, resources);
}

namespace {

void WriteChecksum(TStream& file, uint64_t checksumOffset, uint32_t value) {
  uint8_t field[4];
  Put32(field, 0, value);
  file.SetPosition(static_cast<int64_t>(checksumOffset));
  file.WriteBuffer(field, 4);
}

}  // namespace

bool UpdatePeChecksum(TStream& file) {
  const int64_t size = file.GetSize();
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(size, kChecksumChunk)));
  file.SetPosition(0);
  file.ReadBuffer(chunk.data(), static_cast<int32_t>(chunk.size()));
  const auto offset = PeChecksumOffset(chunk);
  if (!offset) {
    return false;
  }
  TPeChecksum checksum(*offset);
  checksum.Add(chunk);
  for (int64_t done = static_cast<int64_t>(chunk.size()); done < size;) {
    const auto count = static_cast<int32_t>(std::min<int64_t>(size - done, kChecksumChunk));
    file.ReadBuffer(chunk.data(), count);
    checksum.Add(std::span(chunk.data(), static_cast<size_t>(count)));
    done += count;
  }
  WriteChecksum(file, *offset, checksum.Value());
  return true;
}

TPeChecksumWriter::TPeChecksumWriter(TStream& file, uint64_t checksumOffset)
    : file_(file), checksumOffset_(checksumOffset), checksum_(checksumOffset) {}

int32_t TPeChecksumWriter::Read(void*, int32_t) {
  throw EReadError("the book being written is not read back");
}

int32_t TPeChecksumWriter::Write(const void* buffer, int32_t count) {
  const int32_t written = file_.Write(buffer, count);
  if (written > 0) {
    checksum_.Add(std::span(static_cast<const uint8_t*>(buffer), static_cast<size_t>(written)));
    position_ += written;
  }
  return written;
}

int64_t TPeChecksumWriter::Seek(int64_t offset, TSeekOrigin origin) {
  // Everything written so far is the whole file: the end is the position.
  if ((origin == TSeekOrigin::Beginning ? offset : position_ + offset) != position_) {
    throw EStreamError("the book is written from its start to its end, without seeking");
  }
  return position_;
}

void TPeChecksumWriter::Finish() {
  WriteChecksum(file_, checksumOffset_, checksum_.Value());
}

}  // namespace leafbook::leafpack
