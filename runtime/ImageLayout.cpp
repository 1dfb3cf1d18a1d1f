// Header reading, section layout and base relocation of a module image.
#include "runtime/ImageLayout.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace leafbook {

namespace {

TImageDirectory ReadDirectory(const TImageView& view, uint64_t offset) {
  return TImageDirectory{view.U32(offset, "data directory"),
                         view.U32(offset + 4, "data directory")};
}

// The NT header fields shared by a file and a laid-out image.
TImageHeaders ReadNtFields(const TImageView& view, uint32_t nt) {
  TImageHeaders h;
  h.NtOffset = nt;
  // Whatever else is wrong with it, a file that is not a module for this
  // processor family must never have its entry point called.
  if (view.U16(0, "DOS header") != nt::DosSignature) {
    throw EBadImage("not a module (no MZ signature)");
  }
  if (view.U32(nt, "NT headers") != nt::NtSignature) {
    throw EBadImage("not a module (no PE signature)");
  }
  const uint16_t machine = view.U16(uint64_t{nt} + nt::Machine, "NT headers");
  const uint16_t magic = view.U16(uint64_t{nt} + nt::Magic, "NT headers");
  if (magic != nt::Magic32 && magic != nt::Magic64) {
    throw EBadImage("unknown optional header kind");
  }
  h.Wide = magic == nt::Magic64;
  if (machine != (h.Wide ? nt::MachineAmd64 : nt::MachineI386)) {
    throw EBadImage("a module for another processor");
  }
  view.Require(nt, h.Wide ? nt64::HeadersEnd : nt::HeadersEnd, "NT headers");
  const uint64_t at = nt;
  h.AddressOfEntryPoint = view.U32(at + nt::AddressOfEntryPoint, "NT headers");
  h.ImageBase = h.Wide ? view.U64(at + nt64::ImageBase, "NT headers")
                       : view.U32(at + nt::ImageBase, "NT headers");
  h.SizeOfImage = view.U32(at + nt::SizeOfImage, "NT headers");
  h.SizeOfHeaders = view.U32(at + nt::SizeOfHeaders, "NT headers");
  h.Export = ReadDirectory(view, at + (h.Wide ? nt64::ExportDirectory : nt::ExportDirectory));
  h.Import = ReadDirectory(view, at + (h.Wide ? nt64::ImportDirectory : nt::ImportDirectory));
  h.Resource = ReadDirectory(view, at + (h.Wide ? nt64::ResourceDirectory : nt::ResourceDirectory));
  h.Exception =
      ReadDirectory(view, at + (h.Wide ? nt64::ExceptionDirectory : nt::ExceptionDirectory));
  h.Relocation =
      ReadDirectory(view, at + (h.Wide ? nt64::RelocationDirectory : nt::RelocationDirectory));
  return h;
}

// Checks shared by a file and a laid-out image: the NT headers lie inside the
// headers that are copied, and those inside the image.
void CheckHeaderPlacement(const TImageHeaders& h) {
  if (h.SizeOfImage == 0) {
    throw EBadImage("SizeOfImage is 0");
  }
  if (h.SizeOfHeaders > h.SizeOfImage) {
    throw EBadImage("SizeOfHeaders exceeds SizeOfImage");
  }
  if (!RangeFits(h.NtOffset, h.Wide ? nt64::HeadersEnd : nt::HeadersEnd, h.SizeOfHeaders)) {
    throw EBadImage("NT headers lie outside SizeOfHeaders");
  }
  if (h.AddressOfEntryPoint >= h.SizeOfImage) {
    throw EBadImage("entry point outside the image");
  }
}

}  // namespace

TImageHeaders ReadImageHeaders(std::span<const uint8_t> file) {
  TImageView view(file);
  uint32_t nt = view.U32(nt::LfanewOffset, "DOS header");
  view.Require(nt, nt::HeadersEnd, "NT headers");
  TImageHeaders h = ReadNtFields(view, nt);
  // Only a 64-bit image's unwind table is used, and so checked.
  if (h.Wide && h.Exception.Size != 0 &&
      !RangeFits(h.Exception.Address, h.Exception.Size, h.SizeOfImage)) {
    throw EBadImage("exception directory outside the image");
  }
  CheckHeaderPlacement(h);
  if (h.SizeOfHeaders > file.size()) {
    throw EBadImage("SizeOfHeaders exceeds the file");
  }

  uint16_t count = view.U16(uint64_t{nt} + nt::NumberOfSections, "NT headers");
  uint16_t optionalSize = view.U16(uint64_t{nt} + nt::SizeOfOptionalHeader, "NT headers");
  uint64_t table = uint64_t{nt} + nt::SectionTable + optionalSize;
  view.Require(table, uint64_t{count} * nt::SectionHeaderSize, "section table");
  h.Sections.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    uint64_t at = table + uint64_t{i} * nt::SectionHeaderSize;
    TImageSection s{view.U32(at + 8, "section table"), view.U32(at + 12, "section table"),
                    view.U32(at + 16, "section table"), view.U32(at + 20, "section table")};
    std::string name = "section " + std::to_string(i);
    if (!RangeFits(s.VirtualAddress, s.VirtualSize, h.SizeOfImage)) {
      throw EBadImage(name + " extends past SizeOfImage");
    }
    // The queries read SizeOfImage and the directories back from the mapped
    // headers, so no section may overwrite them.
    if (s.VirtualSize != 0 && s.VirtualAddress < h.SizeOfHeaders) {
      throw EBadImage(name + " overlaps the headers");
    }
    uint32_t copy = std::min(s.VirtualSize, s.SizeOfRawData);
    if (copy != 0 && !view.Fits(s.PointerToRawData, copy)) {
      throw EBadImage(name + " raw data extends past the end of the file");
    }
    h.Sections.push_back(s);
  }
  return h;
}

std::optional<TImageHeaders> ReadLaidOutHeaders(const uint8_t* base) {
  if (base == nullptr) {
    return std::nullopt;
  }
  try {
    uint32_t nt;
    std::memcpy(&nt, base + nt::LfanewOffset, sizeof nt);
    uint32_t sizeOfImage;
    std::memcpy(&sizeOfImage, base + nt + nt::SizeOfImage, sizeof sizeOfImage);
    TImageView view(base, sizeOfImage);
    TImageHeaders h = ReadNtFields(view, nt);
    CheckHeaderPlacement(h);
    return h;
  } catch (const EBadImage&) {
    return std::nullopt;
  }
}

void LayOutImage(std::span<const uint8_t> file, const TImageHeaders& headers,
                 std::span<uint8_t> image) {
  if (image.size() < headers.SizeOfImage || file.size() < headers.SizeOfHeaders) {
    throw EBadImage("image memory smaller than SizeOfImage");
  }
  std::memcpy(image.data(), file.data(), headers.SizeOfHeaders);
  for (const TImageSection& s : headers.Sections) {
    uint32_t copy = std::min(s.VirtualSize, s.SizeOfRawData);
    if (!RangeFits(s.VirtualAddress, s.VirtualSize, image.size()) ||
        (copy != 0 && !RangeFits(s.PointerToRawData, copy, file.size()))) {
      throw EBadImage("section does not fit");
    }
    // Each byte is written once: the raw data, then zeros for the rest.
    if (copy != 0) {
      std::memcpy(image.data() + s.VirtualAddress, file.data() + s.PointerToRawData, copy);
    }
    std::memset(image.data() + s.VirtualAddress + copy, 0, s.VirtualSize - copy);
  }
}

namespace {

// One walk over the relocation blocks; with apply false it only checks them.
void WalkRelocations(std::span<uint8_t> image, const TImageHeaders& h, uint64_t delta, bool apply) {
  constexpr uint16_t kDir64 = 10;
  TImageView view(image.data(), image.size());
  uint64_t at = h.Relocation.Address;
  uint64_t end = at + h.Relocation.Size;
  while (at < end) {
    if (!RangeFits(at, 8, end)) {
      throw EBadImage("relocation block header extends past the relocation directory");
    }
    uint32_t page = view.U32(at, "relocation block");
    uint32_t sizeOfBlock = view.U32(at + 4, "relocation block");
    if (sizeOfBlock < 8) {
      throw EBadImage("relocation block smaller than its header");
    }
    uint64_t count = (uint64_t{sizeOfBlock} - 8) / 2;
    if (!RangeFits(at + 8, count * 2, end)) {
      throw EBadImage("relocation block extends past the relocation directory");
    }
    for (uint64_t i = 0; i < count; ++i) {
      uint16_t entry = view.U16(at + 8 + i * 2, "relocation entry");
      const uint16_t type = entry >> 12;
      if (type == 0) {
        continue;
      }
      const bool wide = h.Wide && type == kDir64;
      uint64_t target = uint64_t{page} + (entry & 0xFFF);
      if (!RangeFits(target, wide ? 8 : 4, h.SizeOfImage) || target < h.SizeOfHeaders) {
        throw EBadImage("relocation fixup outside the image's sections");
      }
      if (apply && wide) {
        StoreU64(image, target, view.U64(target, "relocation fixup") + delta, "relocation fixup");
      } else if (apply) {
        uint32_t value = view.U32(target, "relocation fixup");
        StoreU32(image, target, value + static_cast<uint32_t>(delta), "relocation fixup");
      }
    }
    at += 8 + count * 2;
  }
}

}  // namespace

void RelocateImage(std::span<uint8_t> image, const TImageHeaders& headers, uint64_t newBase) {
  if (headers.Relocation.Size == 0) {
    return;
  }
  if (image.size() < headers.SizeOfImage) {
    throw EBadImage("image memory smaller than SizeOfImage");
  }
  std::span<uint8_t> bounded = image.first(headers.SizeOfImage);
  if (!RangeFits(headers.Relocation.Address, headers.Relocation.Size, headers.SizeOfImage)) {
    throw EBadImage("relocation directory outside the image");
  }
  const uint64_t delta = newBase - headers.ImageBase;
  WalkRelocations(bounded, headers, delta, false);
  // A fixup may land on a later block; the second walk stays checked.
  WalkRelocations(bounded, headers, delta, true);
}

}  // namespace leafbook
