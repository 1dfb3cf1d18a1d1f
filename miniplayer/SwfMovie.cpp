// Movie file reader. Every read is bounds-checked; the declared file length is
// trusted only as an upper bound, never to size a buffer beyond kMaxMovieSize.
#include "miniplayer/SwfMovie.h"

#include <zlib.h>

#include <cstring>

namespace leafbook::miniplayer {

namespace {

class TReader {
 public:
  TReader(std::string_view data, const char* what) : data_(data), what_(what) {}

  size_t Left() const { return data_.size() - pos_; }
  size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }

  void Need(size_t count) const {
    if (count > Left()) {
      throw EDamagedMovie(std::string("damaged movie: ") + what_ + " runs past the end");
    }
  }
  uint8_t U8() {
    Need(1);
    return static_cast<uint8_t>(data_[pos_++]);
  }
  uint16_t U16() {
    Need(2);
    const uint16_t value = static_cast<uint16_t>(static_cast<uint8_t>(data_[pos_]) |
                                                 (static_cast<uint8_t>(data_[pos_ + 1]) << 8));
    pos_ += 2;
    return value;
  }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
  }
  std::string_view Bytes(size_t count) {
    Need(count);
    std::string_view out = data_.substr(pos_, count);
    pos_ += count;
    return out;
  }
  std::string String() {
    const size_t end = data_.find('\0', pos_);
    if (end == std::string_view::npos) {
      throw EDamagedMovie(std::string("damaged movie: unterminated text in ") + what_);
    }
    std::string out(data_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return out;
  }

  // Bit fields of the stage rectangle.
  uint32_t Bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      if (bit_ == 0) {
        current_ = U8();
        bit_ = 8;
      }
      --bit_;
      value = (value << 1) | ((current_ >> bit_) & 1u);
    }
    return value;
  }
  int32_t SignedBits(int count) {
    const uint32_t value = Bits(count);
    if (count > 0 && count < 32 && (value & (1u << (count - 1))) != 0) {
      return static_cast<int32_t>(value | ~((1u << count) - 1));
    }
    return static_cast<int32_t>(value);
  }
  void AlignToByte() { bit_ = 0; }

 private:
  std::string_view data_;
  const char* what_;
  size_t pos_ = 0;
  uint8_t current_ = 0;
  int bit_ = 0;
};

std::string Inflate(std::string_view packed, size_t expected) {
  std::string out(expected, '\0');
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) {
    throw EDamagedMovie("damaged movie: cannot start decompression");
  }
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  zs.avail_in = static_cast<uInt>(packed.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&zs, Z_FINISH);
  const size_t produced = out.size() - zs.avail_out;
  inflateEnd(&zs);
  if (result != Z_STREAM_END && result != Z_BUF_ERROR && result != Z_OK) {
    throw EDamagedMovie("damaged movie: compressed data is corrupt");
  }
  out.resize(produced);
  return out;
}

void ReadPush(TReader& in, TSwfAction& action) {
  while (!in.AtEnd()) {
    const uint8_t type = in.U8();
    switch (type) {
      case 0:
        action.values.push_back(in.String());
        break;
      case 1: {  // float
        const uint32_t bits = in.U32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        action.values.push_back(std::to_string(value));
        break;
      }
      case 2:  // null
      case 3:  // undefined
        action.values.emplace_back();
        break;
      case 4:  // register
      case 8:  // constant8
        in.U8();
        action.values.emplace_back();
        break;
      case 5:
        action.values.push_back(in.U8() != 0 ? "true" : "false");
        break;
      case 6: {  // double, stored as two swapped 32-bit halves
        const uint64_t high = in.U32();
        const uint64_t low = in.U32();
        const uint64_t bits = (high << 32) | low;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        action.values.push_back(std::to_string(value));
        break;
      }
      case 7:
        action.values.push_back(std::to_string(static_cast<int32_t>(in.U32())));
        break;
      case 9:  // constant16
        in.U16();
        action.values.emplace_back();
        break;
      default:
        throw EDamagedMovie("damaged movie: unknown value type in a push action");
    }
  }
}

void ReadActions(std::string_view body, TSwfMovie& movie, TSwfFrame& frame) {
  TReader in(body, "an action list");
  while (!in.AtEnd()) {
    TSwfAction action;
    action.code = in.U8();
    if (action.code == 0) {
      return;
    }
    std::string_view payload;
    if (action.code >= 0x80) {
      const uint16_t length = in.U16();
      payload = in.Bytes(length);
    }
    TReader args(payload, "an action");
    switch (action.code) {
      case 0x04:  // NextFrame
      case 0x05:  // PrevFrame
      case 0x06:  // Play
      case 0x07:  // Stop
        break;
      case 0x81:
        action.frame = args.U16();
        break;
      case 0x83:
        action.url = args.String();
        action.target = args.String();
        break;
      case 0x8C:
        action.label = args.String();
        break;
      case 0x96:
        ReadPush(args, action);
        break;
      case 0x9A:
        action.flags = args.U8();
        break;
      default:
        ++movie.skippedActions;
        continue;
    }
    frame.actions.push_back(std::move(action));
  }
  // An action list without its closing ActionEnd is played as far as it goes.
}

}  // namespace

int TSwfMovie::FrameOfLabel(const std::string& label) const {
  for (size_t i = 0; i < frames.size(); ++i) {
    if (!label.empty() && frames[i].label == label) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool LooksLikeMovie(std::string_view bytes) {
  return bytes.size() >= 3 && (bytes[0] == 'F' || bytes[0] == 'C') && bytes[1] == 'W' &&
         bytes[2] == 'S';
}

std::shared_ptr<const TSwfMovie> ParseMovie(std::string_view bytes) {
  if (!LooksLikeMovie(bytes)) {
    throw EDamagedMovie("not a movie: the signature is missing");
  }
  TReader head(bytes, "the header");
  head.Bytes(3);
  auto movie = std::make_shared<TSwfMovie>();
  movie->compressed = bytes[0] == 'C';
  movie->version = head.U8();
  movie->fileLength = head.U32();
  if (movie->fileLength < 8) {
    throw EDamagedMovie("damaged movie: the declared length is too small");
  }
  if (movie->fileLength > kMaxMovieSize) {
    throw EDamagedMovie("movie too large");
  }
  const size_t bodyLength = movie->fileLength - 8;
  std::string inflated;
  std::string_view body = bytes.substr(8);
  if (movie->compressed) {
    inflated = Inflate(body, bodyLength);
    body = inflated;
  }
  if (body.size() < bodyLength) {
    throw EDamagedMovie("damaged movie: truncated");
  }
  body = body.substr(0, bodyLength);

  TReader in(body, "the header");
  const int bits = static_cast<int>(in.Bits(5));
  const int32_t xMin = in.SignedBits(bits);
  const int32_t xMax = in.SignedBits(bits);
  const int32_t yMin = in.SignedBits(bits);
  const int32_t yMax = in.SignedBits(bits);
  in.AlignToByte();
  movie->widthTwips = static_cast<int>(static_cast<int64_t>(xMax) - xMin);
  movie->heightTwips = static_cast<int>(static_cast<int64_t>(yMax) - yMin);
  movie->frameRate = in.U16() / 256.0;
  movie->declaredFrames = in.U16();

  TSwfFrame frame;
  bool pending = false;
  while (!in.AtEnd()) {
    const uint16_t codeAndLength = in.U16();
    const uint16_t code = codeAndLength >> 6;
    uint32_t length = codeAndLength & 0x3F;
    if (length == 0x3F) {
      length = in.U32();
    }
    if (length > in.Left()) {
      throw EDamagedMovie("damaged movie: tag " + std::to_string(code) + " runs past the end");
    }
    const std::string_view tag = in.Bytes(length);
    if (code == 0) {
      break;
    }
    switch (code) {
      case 1:  // ShowFrame
        movie->frames.push_back(std::move(frame));
        frame = TSwfFrame{};
        pending = false;
        break;
      case 9: {  // SetBackgroundColor
        TReader rgb(tag, "the background colour");
        const uint32_t r = rgb.U8();
        const uint32_t g = rgb.U8();
        const uint32_t b = rgb.U8();
        if (!movie->background) {
          movie->background = (r << 16) | (g << 8) | b;
        }
        break;
      }
      case 12:  // DoAction
        ReadActions(tag, *movie, frame);
        pending = true;
        break;
      case 43: {  // FrameLabel
        TReader text(tag, "a frame label");
        frame.label = text.String();
        pending = true;
        break;
      }
      default:
        ++movie->skippedTags;
        break;
    }
  }
  // Actions after the last ShowFrame still make a frame; a movie always has one.
  if (pending || movie->frames.empty()) {
    movie->frames.push_back(std::move(frame));
  }
  return movie;
}

}  // namespace leafbook::miniplayer
