// Movie file writer: header, bit-packed stage rectangle, tags, zlib for "CWS".
#include "tools/swfwriter/SwfWriter.h"

#include <zlib.h>

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace leafbook::swf {

namespace {

void PutU16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void PutU32(std::string& out, uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

void PutString(std::string& out, const std::string& text) {
  out += text;
  out.push_back('\0');
}

// RECT: 5-bit field width, then four signed fields of that width, byte padded.
std::string Rect(int xMax, int yMax) {
  const int values[4] = {0, xMax, 0, yMax};
  int bits = 1;
  for (int v : values) {
    while ((v >> (bits - 1)) != 0 && (v >> (bits - 1)) != -1) {
      ++bits;
    }
  }
  std::vector<bool> stream;
  for (int i = 4; i >= 0; --i) {
    stream.push_back(((bits >> i) & 1) != 0);
  }
  for (int v : values) {
    for (int i = bits - 1; i >= 0; --i) {
      stream.push_back(((static_cast<uint32_t>(v) >> i) & 1) != 0);
    }
  }
  std::string out((stream.size() + 7) / 8, '\0');
  for (size_t i = 0; i < stream.size(); ++i) {
    if (stream[i]) {
      out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
    }
  }
  return out;
}

}  // namespace

TActions& TActions::Stop() {
  return Raw(kActionStop);
}
TActions& TActions::Play() {
  return Raw(kActionPlay);
}
TActions& TActions::NextFrame() {
  return Raw(kActionNextFrame);
}
TActions& TActions::PrevFrame() {
  return Raw(kActionPrevFrame);
}

TActions& TActions::GotoFrame(uint16_t frame) {
  std::string payload;
  PutU16(payload, frame);
  return Raw(kActionGotoFrame, payload);
}

TActions& TActions::GotoLabel(const std::string& label) {
  std::string payload;
  PutString(payload, label);
  return Raw(kActionGotoLabel, payload);
}

TActions& TActions::GetUrl(const std::string& url, const std::string& target) {
  std::string payload;
  PutString(payload, url);
  PutString(payload, target);
  return Raw(kActionGetURL, payload);
}

TActions& TActions::FsCommand(const std::string& command, const std::string& args) {
  return GetUrl("FSCommand:" + command, args);
}

TActions& TActions::Push(const std::string& value) {
  std::string payload(1, '\0');  // type 0: string
  PutString(payload, value);
  return Raw(kActionPush, payload);
}

TActions& TActions::PushInt(int32_t value) {
  std::string payload(1, '\7');  // type 7: integer
  PutU32(payload, static_cast<uint32_t>(value));
  return Raw(kActionPush, payload);
}

TActions& TActions::GetUrl2(uint8_t flags) {
  return Raw(kActionGetURL2, std::string(1, static_cast<char>(flags)));
}

TActions& TActions::Raw(uint8_t code, const std::string& payload) {
  body_.push_back(static_cast<char>(code));
  if (code >= 0x80) {
    PutU16(body_, static_cast<uint32_t>(payload.size()));
    body_ += payload;
  }
  return *this;
}

std::string TActions::Bytes() const {
  return body_ + std::string(1, '\0');
}

TSwfWriter::TSwfWriter(uint8_t version, int widthPx, int heightPx, double frameRate)
    : version_(version),
      widthTwips_(widthPx * 20),
      heightTwips_(heightPx * 20),
      frameRate_(frameRate) {}

TSwfWriter& TSwfWriter::SetBackgroundColor(uint32_t rgb) {
  std::string body;
  body.push_back(static_cast<char>((rgb >> 16) & 0xFF));
  body.push_back(static_cast<char>((rgb >> 8) & 0xFF));
  body.push_back(static_cast<char>(rgb & 0xFF));
  return RawTag(kTagSetBackgroundColor, body);
}

TSwfWriter& TSwfWriter::DoAction(const TActions& actions) {
  return RawTag(kTagDoAction, actions.Bytes());
}

TSwfWriter& TSwfWriter::FrameLabel(const std::string& label) {
  std::string body;
  PutString(body, label);
  return RawTag(kTagFrameLabel, body);
}

TSwfWriter& TSwfWriter::ShowFrame() {
  ++frames_;
  return RawTag(kTagShowFrame, {});
}

TSwfWriter& TSwfWriter::RawTag(uint16_t code, const std::string& body, bool longForm) {
  tags_ += Tag(code, body, longForm);
  return *this;
}

TSwfWriter& TSwfWriter::DeclareFrameCount(uint16_t count) {
  declaredFrames_ = count;
  return *this;
}

std::string TSwfWriter::Tag(uint16_t code, const std::string& body, bool longForm) {
  std::string out;
  if (!longForm && body.size() < 0x3F) {
    PutU16(out, (static_cast<uint32_t>(code) << 6) | static_cast<uint32_t>(body.size()));
  } else {
    PutU16(out, (static_cast<uint32_t>(code) << 6) | 0x3F);
    PutU32(out, static_cast<uint32_t>(body.size()));
  }
  return out + body;
}

std::string TSwfWriter::Bytes(bool compressed) const {
  std::string rest = Rect(widthTwips_, heightTwips_);
  const long rate = std::lround(frameRate_ * 256.0);
  PutU16(rest, static_cast<uint32_t>(rate));
  PutU16(rest, static_cast<uint32_t>(declaredFrames_ >= 0 ? declaredFrames_ : frames_));
  rest += tags_;
  rest += Tag(kTagEnd, {});

  std::string out = compressed ? "CWS" : "FWS";
  out.push_back(static_cast<char>(version_));
  PutU32(out, static_cast<uint32_t>(rest.size() + 8));
  if (!compressed) {
    return out + rest;
  }
  uLongf length = compressBound(static_cast<uLong>(rest.size()));
  std::string packed(length, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &length,
                reinterpret_cast<const Bytef*>(rest.data()), static_cast<uLong>(rest.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("zlib could not compress the movie");
  }
  packed.resize(length);
  return out + packed;
}

std::string BookMovie(int pages, const std::string& pagePattern, bool compressed, bool fullscreen,
                      const std::string& firstPage) {
  TSwfWriter movie(6, 800, 600, 12.0);
  movie.SetBackgroundColor(0xF4EFE4);
  for (int page = 1; page <= pages; ++page) {
    std::string url = page == 1 && !firstPage.empty() ? firstPage : pagePattern;
    const size_t at = url.find("%d");
    if (at != std::string::npos) {
      url.replace(at, 2, std::to_string(page));
    }
    movie.FrameLabel("page" + std::to_string(page));
    TActions actions;
    if (fullscreen && page == 1) {
      actions.FsCommand("fullscreen", "true");
    }
    movie.DoAction(actions.GetUrl(url, "_level1").Stop());
    movie.ShowFrame();
  }
  return movie.Bytes(compressed);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace leafbook::swf
