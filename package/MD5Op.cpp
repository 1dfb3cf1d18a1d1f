// MD5 (RFC 1321). The block function keeps the state in locals and runs all of
// a call's whole blocks in one loop; this is where package validation spends
// its time.
#include "package/MD5Op.h"

#include <cstring>
#include <vector>

namespace leafbook {

namespace {

inline uint32_t Rotl(uint32_t x, int s) {
  return (x << s) | (x >> (32 - s));
}

inline uint32_t LoadLE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// F is RFC 1321's with one operation less; G adds two disjoint bit sets (no
// carries), which lets both halves run in parallel. A step adds the message
// word and constant before the round function so that only the last addition
// waits on the previous step.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, t, s) \
  (a) += (x) + (t);                      \
  (a) += f((b), (c), (d));               \
  (a) = Rotl((a), (s)) + (b)

void Blocks(uint32_t state[4], const uint8_t* data, size_t count) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; count > 0; --count, data += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
      x[i] = LoadLE(data + 4 * i);
    }
    const uint32_t sa = a, sb = b, sc = c, sd = d;

    MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

    MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105d, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14ed, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

    MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

    MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

    a += sa;
    b += sb;
    c += sc;
    d += sd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

}  // namespace

void TMD5::Reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  length_ = 0;
}

void TMD5::Update(const void* data, size_t length) {
  if (length == 0) {
    return;
  }
  const auto* in = static_cast<const uint8_t*>(data);
  size_t used = static_cast<size_t>(length_ % 64);
  length_ += length;
  if (used > 0) {
    size_t take = 64 - used < length ? 64 - used : length;
    std::memcpy(pending_ + used, in, take);
    in += take;
    length -= take;
    if (used + take < 64) {
      return;
    }
    Blocks(state_, pending_, 1);
  }
  Blocks(state_, in, length / 64);
  in += length / 64 * 64;
  std::memcpy(pending_, in, length % 64);
}

void TMD5::UpdateFrom(TStream& stream, int64_t count) {
  constexpr int64_t kChunk = 1 << 20;
  std::vector<uint8_t> chunk(
      static_cast<size_t>(count < kChunk ? (count > 0 ? count : 0) : kChunk));
  for (int64_t left = count; left > 0;) {
    auto piece = static_cast<int32_t>(left < kChunk ? left : kChunk);
    stream.ReadBuffer(chunk.data(), piece);
    Update(chunk.data(), static_cast<size_t>(piece));
    left -= piece;
  }
}

TMD5Digest TMD5::Final() {
  const uint64_t bits = length_ * 8;
  static const uint8_t padding[64] = {0x80};
  size_t used = static_cast<size_t>(length_ % 64);
  Update(padding, used < 56 ? 56 - used : 120 - used);
  uint8_t tail[8];
  for (int i = 0; i < 8; ++i) {
    tail[i] = static_cast<uint8_t>(bits >> (8 * i));
  }
  Update(tail, 8);
  TMD5Digest digest;
  for (int i = 0; i < 16; ++i) {
    digest[i] = static_cast<uint8_t>(state_[i / 4] >> (8 * (i % 4)));
  }
  Reset();
  return digest;
}

TMD5Digest TMD5::Of(const void* data, size_t length) {
  TMD5 md5;
  md5.Update(data, length);
  return md5.Final();
}

std::string MD5ToHex(const TMD5Digest& digest) {
  static const char hex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += hex[byte >> 4];
    text += hex[byte & 15];
  }
  return text;
}

}  // namespace leafbook
