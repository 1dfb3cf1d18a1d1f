// MD5 (RFC 1321). The block function keeps the state in locals, reads the
// message words straight from the input and runs all of a call's whole blocks
// in one loop; this is where package validation spends its time.
#include "package/MD5Op.h"

#include <bit>
#include <cstring>
#include <vector>

namespace leafbook {

namespace {

// Message word i of a block, read where it is used. memcpy is one plain
// (unaligned) load on x86 at every optimisation level, and with no x[16] copy
// of the block the 32-bit build has no array to spill: its seven registers
// hold the state, the input pointer and two temporaries.
inline uint32_t Word(const uint8_t* block, int i) {
  uint32_t word;
  std::memcpy(&word, block + 4 * i, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = (word >> 24) | ((word >> 8) & 0xff00) | ((word << 8) & 0xff0000) | (word << 24);
  }
  return word;
}

// A block is one chain of 64 dependent steps, so its time is the length of
// that chain (about 4.5 cycles a byte), not its instruction count. Each step
// (MD5_STEP, on block `data`) adds the message word and constant to a first,
// as they are ready long before, and the round function last, so that past
// the round function only one add, the rotation and the "+ b" wait on the
// step before. The round functions let b, the value the step before has just
// made, enter as late as possible:
//   F is RFC 1321's (b & c) | (~b & d) as d ^ (b & (c ^ d)): c ^ d is ready
//     early, two operations wait on b.
//   G is (b & d) | (c & ~d) as an addition of its two disjoint halves (no
//     carries): c & ~d joins a early, and only b & d and one add wait on b.
//   H needs only one xor after b.
//   I is c ^ (b | ~d), ~d computed early: two operations wait on b.
#define MD5_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define MD5_G(b, c, d) (((b) & (d)) + ((c) & ~(d)))
#define MD5_H(b, c, d) ((b) ^ (c) ^ (d))
#define MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))
#define MD5_STEP(f, a, b, c, d, i, t, s) \
  (a) += Word(data, (i)) + (t);          \
  (a) += f((b), (c), (d));               \
  (a) = std::rotl((a), (s)) + (b)

void Blocks(uint32_t state[4], const uint8_t* data, size_t count) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; count > 0; --count, data += 64) {
    const uint32_t sa = a, sb = b, sc = c, sd = d;

    MD5_STEP(MD5_F, a, b, c, d, 0, 0xd76aa478, 7);
    MD5_STEP(MD5_F, d, a, b, c, 1, 0xe8c7b756, 12);
    MD5_STEP(MD5_F, c, d, a, b, 2, 0x242070db, 17);
    MD5_STEP(MD5_F, b, c, d, a, 3, 0xc1bdceee, 22);
    MD5_STEP(MD5_F, a, b, c, d, 4, 0xf57c0faf, 7);
    MD5_STEP(MD5_F, d, a, b, c, 5, 0x4787c62a, 12);
    MD5_STEP(MD5_F, c, d, a, b, 6, 0xa8304613, 17);
    MD5_STEP(MD5_F, b, c, d, a, 7, 0xfd469501, 22);
    MD5_STEP(MD5_F, a, b, c, d, 8, 0x698098d8, 7);
    MD5_STEP(MD5_F, d, a, b, c, 9, 0x8b44f7af, 12);
    MD5_STEP(MD5_F, c, d, a, b, 10, 0xffff5bb1, 17);
    MD5_STEP(MD5_F, b, c, d, a, 11, 0x895cd7be, 22);
    MD5_STEP(MD5_F, a, b, c, d, 12, 0x6b901122, 7);
    MD5_STEP(MD5_F, d, a, b, c, 13, 0xfd987193, 12);
    MD5_STEP(MD5_F, c, d, a, b, 14, 0xa679438e, 17);
    MD5_STEP(MD5_F, b, c, d, a, 15, 0x49b40821, 22);

    MD5_STEP(MD5_G, a, b, c, d, 1, 0xf61e2562, 5);
    MD5_STEP(MD5_G, d, a, b, c, 6, 0xc040b340, 9);
    MD5_STEP(MD5_G, c, d, a, b, 11, 0x265e5a51, 14);
    MD5_STEP(MD5_G, b, c, d, a, 0, 0xe9b6c7aa, 20);
    MD5_STEP(MD5_G, a, b, c, d, 5, 0xd62f105d, 5);
    MD5_STEP(MD5_G, d, a, b, c, 10, 0x02441453, 9);
    MD5_STEP(MD5_G, c, d, a, b, 15, 0xd8a1e681, 14);
    MD5_STEP(MD5_G, b, c, d, a, 4, 0xe7d3fbc8, 20);
    MD5_STEP(MD5_G, a, b, c, d, 9, 0x21e1cde6, 5);
    MD5_STEP(MD5_G, d, a, b, c, 14, 0xc33707d6, 9);
    MD5_STEP(MD5_G, c, d, a, b, 3, 0xf4d50d87, 14);
    MD5_STEP(MD5_G, b, c, d, a, 8, 0x455a14ed, 20);
    MD5_STEP(MD5_G, a, b, c, d, 13, 0xa9e3e905, 5);
    MD5_STEP(MD5_G, d, a, b, c, 2, 0xfcefa3f8, 9);
    MD5_STEP(MD5_G, c, d, a, b, 7, 0x676f02d9, 14);
    MD5_STEP(MD5_G, b, c, d, a, 12, 0x8d2a4c8a, 20);

    MD5_STEP(MD5_H, a, b, c, d, 5, 0xfffa3942, 4);
    MD5_STEP(MD5_H, d, a, b, c, 8, 0x8771f681, 11);
    MD5_STEP(MD5_H, c, d, a, b, 11, 0x6d9d6122, 16);
    MD5_STEP(MD5_H, b, c, d, a, 14, 0xfde5380c, 23);
    MD5_STEP(MD5_H, a, b, c, d, 1, 0xa4beea44, 4);
    MD5_STEP(MD5_H, d, a, b, c, 4, 0x4bdecfa9, 11);
    MD5_STEP(MD5_H, c, d, a, b, 7, 0xf6bb4b60, 16);
    MD5_STEP(MD5_H, b, c, d, a, 10, 0xbebfbc70, 23);
    MD5_STEP(MD5_H, a, b, c, d, 13, 0x289b7ec6, 4);
    MD5_STEP(MD5_H, d, a, b, c, 0, 0xeaa127fa, 11);
    MD5_STEP(MD5_H, c, d, a, b, 3, 0xd4ef3085, 16);
    MD5_STEP(MD5_H, b, c, d, a, 6, 0x04881d05, 23);
    MD5_STEP(MD5_H, a, b, c, d, 9, 0xd9d4d039, 4);
    MD5_STEP(MD5_H, d, a, b, c, 12, 0xe6db99e5, 11);
    MD5_STEP(MD5_H, c, d, a, b, 15, 0x1fa27cf8, 16);
    MD5_STEP(MD5_H, b, c, d, a, 2, 0xc4ac5665, 23);

    MD5_STEP(MD5_I, a, b, c, d, 0, 0xf4292244, 6);
    MD5_STEP(MD5_I, d, a, b, c, 7, 0x432aff97, 10);
    MD5_STEP(MD5_I, c, d, a, b, 14, 0xab9423a7, 15);
    MD5_STEP(MD5_I, b, c, d, a, 5, 0xfc93a039, 21);
    MD5_STEP(MD5_I, a, b, c, d, 12, 0x655b59c3, 6);
    MD5_STEP(MD5_I, d, a, b, c, 3, 0x8f0ccc92, 10);
    MD5_STEP(MD5_I, c, d, a, b, 10, 0xffeff47d, 15);
    MD5_STEP(MD5_I, b, c, d, a, 1, 0x85845dd1, 21);
    MD5_STEP(MD5_I, a, b, c, d, 8, 0x6fa87e4f, 6);
    MD5_STEP(MD5_I, d, a, b, c, 15, 0xfe2ce6e0, 10);
    MD5_STEP(MD5_I, c, d, a, b, 6, 0xa3014314, 15);
    MD5_STEP(MD5_I, b, c, d, a, 13, 0x4e0811a1, 21);
    MD5_STEP(MD5_I, a, b, c, d, 4, 0xf7537e82, 6);
    MD5_STEP(MD5_I, d, a, b, c, 11, 0xbd3af235, 10);
    MD5_STEP(MD5_I, c, d, a, b, 2, 0x2ad7d2bb, 15);
    MD5_STEP(MD5_I, b, c, d, a, 9, 0xeb86d391, 21);

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
#undef MD5_STEP
#undef MD5_I
#undef MD5_H
#undef MD5_G
#undef MD5_F

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
