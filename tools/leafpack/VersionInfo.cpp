// VS_VERSIONINFO is a tree of blocks, each a length, a value length, a type,
// a UTF-16 key and a value, with children; every key, value and child starts
// on a 4-byte boundary of the resource.
#include "tools/leafpack/VersionInfo.h"

#include <utility>

#include "framework/base/Exceptions.h"
#include "tools/leafpack/PeImage.h"

namespace leafbook::leafpack {

namespace {

constexpr uint16_t kBinary = 0;
constexpr uint16_t kText = 1;
constexpr uint32_t kFixedSignature = 0xfeef04bd;
constexpr uint32_t kFixedStructVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3f;
constexpr uint32_t kOsNtWindows32 = 0x00040004;
constexpr uint32_t kFileTypeApp = 1;
constexpr uint16_t kUsEnglish = 0x0409;
constexpr uint16_t kUtf16CodePage = 1200;

[[noreturn]] void NotUtf8() {
  throw Exception("the version details are not valid UTF-8 text");
}

// How many continuation bytes follow a lead byte; more than 3 for a byte
// that cannot lead.
size_t FollowingBytes(uint8_t lead) {
  if (lead < 0x80) {
    return 0;
  }
  if (lead >= 0xc2 && lead < 0xe0) {
    return 1;
  }
  if (lead >= 0xe0 && lead < 0xf0) {
    return 2;
  }
  return lead >= 0xf0 && lead < 0xf5 ? 3 : 4;
}

// The file name without its extension.
std::string Stem(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = fileName.rfind('.');
  const size_t end = dot == std::string::npos || dot < start ? fileName.size() : dot;
  return fileName.substr(start, end - start);
}

struct TBlock {
  std::u16string Key;
  uint16_t Type = kText;
  uint16_t ValueLength = 0;  // in bytes for binary values, in characters for text
  std::vector<uint8_t> Value;
  std::vector<TBlock> Children;
};

void Pad(std::vector<uint8_t>& out) {
  out.resize(AlignUp(out.size(), 4), 0);
}

void Append16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t value) {
  Append16(out, static_cast<uint16_t>(value));
  Append16(out, static_cast<uint16_t>(value >> 16));
}

std::vector<uint8_t> TextWithTerminator(const std::u16string& text) {
  std::vector<uint8_t> out;
  for (char16_t c : text) {
    Append16(out, static_cast<uint16_t>(c));
  }
  Append16(out, 0);
  return out;
}

std::vector<uint8_t> Serialize(const TBlock& block) {
  std::vector<uint8_t> out(6, 0);
  const std::vector<uint8_t> key = TextWithTerminator(block.Key);
  out.insert(out.end(), key.begin(), key.end());
  Pad(out);
  out.insert(out.end(), block.Value.begin(), block.Value.end());
  for (const TBlock& child : block.Children) {
    Pad(out);
    const std::vector<uint8_t> bytes = Serialize(child);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  if (out.size() > 0xffff) {
    throw Exception("the version details are too long");
  }
  Put16(out, 0, static_cast<uint16_t>(out.size()));
  Put16(out, 2, block.ValueLength);
  Put16(out, 4, block.Type);
  return out;
}

TBlock String(const char16_t* key, const std::string& utf8) {
  const std::u16string value = Utf8ToUtf16(utf8);
  return {key, kText, static_cast<uint16_t>(value.size() + 1), TextWithTerminator(value), {}};
}

std::string VersionText(const TVersionNumber& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

std::vector<uint8_t> FixedFileInfo(const TVersionNumber& file, const TVersionNumber& product) {
  std::vector<uint8_t> out;
  Append32(out, kFixedSignature);
  Append32(out, kFixedStructVersion);
  for (const TVersionNumber* version : {&file, &product}) {
    Append32(out, static_cast<uint32_t>((*version)[0]) << 16 | (*version)[1]);
    Append32(out, static_cast<uint32_t>((*version)[2]) << 16 | (*version)[3]);
  }
  Append32(out, kFileFlagsMask);
  Append32(out, 0);  // flags: a release build
  Append32(out, kOsNtWindows32);
  Append32(out, kFileTypeApp);
  Append32(out, 0);  // subtype
  Append32(out, 0);  // date, high and low
  Append32(out, 0);
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t extra = FollowingBytes(lead);
    if (extra > 3 || text.size() - i <= extra) {
      NotUtf8();
    }
    uint32_t code = extra == 0 ? lead : lead & (0x3fu >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xc0) != 0x80) {
        NotUtf8();
      }
      code = code << 6 | (next & 0x3f);
    }
    constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10ffff || (code >= 0xd800 && code < 0xe000)) {
      NotUtf8();
    }
    if (code >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xd800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xdc00 + ((code - 0x10000) & 0x3ff)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += 1 + extra;
  }
  return out;
}

std::vector<uint8_t> VersionResource(const TBookIdentity& identity) {
  const TVersionNumber one = {1, 0, 0, 0};
  const TVersionNumber file = identity.FileVersion.value_or(identity.ProductVersion.value_or(one));
  const TVersionNumber product = identity.ProductVersion.value_or(file);
  const std::string description =
      identity.FileDescription.empty() ? identity.ProductName : identity.FileDescription;
  const std::string internalName = Stem(identity.OriginalFilename);
  const std::pair<const char16_t*, std::string> fields[] = {
      {u"CompanyName", identity.CompanyName},
      {u"FileDescription", description},
      {u"FileVersion", VersionText(file)},
      {u"InternalName", internalName},
      {u"LegalCopyright", identity.LegalCopyright},
      {u"OriginalFilename", identity.OriginalFilename},
      {u"ProductName", identity.ProductName},
      {u"ProductVersion", VersionText(product)},
  };
  TBlock table{u"040904B0", kText, 0, {}, {}};
  for (const auto& [key, value] : fields) {
    if (!value.empty()) {
      table.Children.push_back(String(key, value));
    }
  }
  std::vector<uint8_t> translation;
  Append16(translation, kUsEnglish);
  Append16(translation, kUtf16CodePage);
  TBlock root{u"VS_VERSION_INFO", kBinary, 52, FixedFileInfo(file, product), {}};
  root.Children.push_back({u"StringFileInfo", kText, 0, {}, {std::move(table)}});
  root.Children.push_back(
      {u"VarFileInfo", kText, 0, {}, {{u"Translation", kBinary, 4, translation, {}}}});
  return Serialize(root);
}

}  // namespace leafbook::leafpack
