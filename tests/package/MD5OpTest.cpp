// MD5 against RFC 1321's test suite, and incremental feeding.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "package/MD5Op.h"

namespace leafbook {
namespace {

std::string Hex(const std::string& message) {
  return MD5ToHex(TMD5::Of(message.data(), message.size()));
}

TEST(MD5Op, Rfc1321TestSuite) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, digest] : suite) {
    EXPECT_EQ(Hex(message), digest) << '"' << message << '"';
  }
}

TEST(MD5Op, MillionAs) {
  EXPECT_EQ(Hex(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(MD5Op, PaddingBoundaries) {
  // Lengths around the 56- and 64-byte boundaries take the other padding branch.
  const std::pair<size_t, const char*> cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"},
  };
  for (const auto& [length, digest] : cases) {
    EXPECT_EQ(Hex(std::string(length, 'a')), digest) << length;
  }
}

TEST(MD5Op, PiecesGiveTheSameDigestAsOneCall) {
  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<char>(i * 7 + 3);
  }
  const TMD5Digest whole = TMD5::Of(data.data(), data.size());
  for (size_t piece : {1u, 3u, 63u, 64u, 65u, 999u}) {
    TMD5 md5;
    for (size_t at = 0; at < data.size(); at += piece) {
      md5.Update(data.data() + at, std::min(piece, data.size() - at));
    }
    EXPECT_EQ(md5.Final(), whole) << piece;
  }
}

// Every length 0..200 (all padding cases, one to four blocks), each placed at
// eight alignments and fed in one call and in uneven pieces (some of them over
// 64 bytes, so that whole blocks are read straight from a misaligned input):
// all must agree, and the digest of the 201 digests must be the one Python's
// hashlib gives for the same messages.
TEST(MD5Op, EveryLengthToTwoHundredAtEveryAlignmentAndInPieces) {
  std::vector<uint8_t> message(200);
  for (size_t i = 0; i < message.size(); ++i) {
    message[i] = static_cast<uint8_t>(i * 131 + 7);
  }
  const size_t pieces[] = {1, 70, 3, 129, 2};
  TMD5 digests;
  for (size_t length = 0; length <= message.size(); ++length) {
    const TMD5Digest reference = TMD5::Of(message.data(), length);
    digests.Update(reference.data(), reference.size());
    for (size_t align = 1; align < 8; ++align) {
      std::vector<uint8_t> buffer(align + length);
      std::copy(message.begin(), message.begin() + length, buffer.begin() + align);
      ASSERT_EQ(TMD5::Of(buffer.data() + align, length), reference)
          << "length " << length << ", align " << align;
      TMD5 md5;
      for (size_t at = 0, i = 0; at < length; ++i) {
        const size_t take = std::min(pieces[i % std::size(pieces)], length - at);
        md5.Update(buffer.data() + align + at, take);
        at += take;
      }
      ASSERT_EQ(md5.Final(), reference) << "in pieces: length " << length << ", align " << align;
    }
  }
  EXPECT_EQ(MD5ToHex(digests.Final()), "613fb4a1caca79009ce6e4a045d03471");
}

TEST(MD5Op, FinalStartsAnew) {
  TMD5 md5;
  md5.Update("abc", 3);
  md5.Final();
  md5.Update("abc", 3);
  EXPECT_EQ(MD5ToHex(md5.Final()), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace leafbook
