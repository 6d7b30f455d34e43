// Array-level Base64 and the buffer-level conversions built on it. Oracles:
// the RFC 4648 section 10 vectors, OpenSSL's EVP_EncodeBlock, round trips,
// and a character-by-character reading of the lenient decoding rule.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "norvek/base64.h"
#include "norvek/buffer.h"
#include "test_util.h"

namespace {

using namespace norvek_test;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::norvek_crypto_DecodeBase64;
using NorvekCryptoSpace::norvek_crypto_EncodeBase64;
using namespace std::string_literals;

constexpr uint8_t kGuard = 0xA5;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool guard_intact(const Bytes& area, size_t from) {
  return std::all_of(area.begin() + static_cast<long>(from), area.end(),
                     [](uint8_t b) { return b == kGuard; });
}

// Encodes into an area of `capacity` characters followed by 16 guard bytes.
struct EncodeResult {
  uint64_t ret;
  uint64_t out_len;
  Bytes area;
  std::string text() const {
    return std::string(area.begin(), area.begin() + static_cast<long>(ret));
  }
};

EncodeResult encode(const Bytes& in, uint64_t capacity) {
  EncodeResult r{0, capacity, Bytes(capacity + 16, kGuard)};
  r.ret = norvek_crypto_base64_encodeKQZP(in.data(), in.size(),
                                          reinterpret_cast<char*>(r.area.data()), &r.out_len);
  return r;
}

uint64_t encoded_length(size_t n) { return 4 * ((n + 2) / 3); }

// Decodes from a heap copy of exactly the text's length, so AddressSanitizer
// catches any read beyond it, into an area with a guard after three bytes
// per started group; nothing may be written beyond the count.
Bytes decode(const std::string& text) {
  std::unique_ptr<char[]> src(new char[text.size()]);
  if (!text.empty()) std::memcpy(src.get(), text.data(), text.size());
  Bytes area((text.size() + 3) / 4 * 3 + 16, kGuard);
  uint64_t out_len = 12345;
  const uint64_t ret =
      norvek_crypto_base64_decodeKQZP(src.get(), text.size(), area.data(), &out_len);
  EXPECT_EQ(ret, out_len);
  EXPECT_TRUE(guard_intact(area, ret)) << "decoder wrote beyond its count for \"" << text << "\"";
  return Bytes(area.begin(), area.begin() + static_cast<long>(ret));
}

std::string openssl_encode(const Bytes& in) {
  std::string text(encoded_length(in.size()) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), in.data(),
                                static_cast<int>(in.size()));
  text.resize(static_cast<size_t>(n));
  return text;
}

// The value of one character by the position rule: its index in the
// alphabet, 255 (of which the low six bits count) when absent.
uint32_t position_value(unsigned char c) {
  const char* p = c == 0 ? nullptr : std::strchr(kAlphabet, c);
  return p == nullptr ? 255u : static_cast<uint32_t>(p - kAlphabet);
}

const struct {
  const char* source;
  std::string bytes;
  std::string text;
} kVectors[] = {
    {"RFC 4648 s10", "", ""},
    {"RFC 4648 s10", "f", "Zg=="},
    {"RFC 4648 s10", "fo", "Zm8="},
    {"RFC 4648 s10", "foo", "Zm9v"},
    {"RFC 4648 s10", "foob", "Zm9vYg=="},
    {"RFC 4648 s10", "fooba", "Zm9vYmE="},
    {"RFC 4648 s10", "foobar", "Zm9vYmFy"},
    {"library examples", "Man", "TWFu"},
    {"library examples", "Ma", "TWE="},
    {"library examples", "M", "TQ=="},
    {"all 64 characters",
     "\x00\x10\x83\x10\x51\x87\x20\x92\x8b\x30\xd3\x8f\x41\x14\x93\x51\x55\x97"
     "\x61\x96\x9b\x71\xd7\x9f\x82\x18\xa3\x92\x59\xa7\xa2\x9a\xab\xb2\xdb\xaf"
     "\xc3\x1c\xb3\xd3\x5d\xb7\xe3\x9e\xbb\xf3\xdf\xbf"s,
     kAlphabet},
};

// --- encoder -------------------------------------------------------------------

TEST(Base64, KnownVectorsBothWays) {
  for (const auto& v : kVectors) {
    const auto r = encode(bytes_of(v.bytes), v.text.size() + 1);
    EXPECT_EQ(r.ret, v.text.size()) << v.source << ": " << v.text;
    EXPECT_EQ(r.out_len, v.text.size());
    EXPECT_EQ(r.text(), v.text) << v.source;
    EXPECT_EQ(r.area[v.text.size()], 0) << "terminating zero when there is room";
    EXPECT_TRUE(guard_intact(r.area, v.text.size() + 1));
    EXPECT_EQ(decode(v.text), bytes_of(v.bytes)) << v.source << ": " << v.text;
  }
}

TEST(Base64Encode, CapacityRule) {
  const struct {
    Bytes in;
    uint64_t capacity, ret, out_len;
    size_t written;  // characters and terminating zero
  } cases[] = {
      {{}, 4, 0, 0, 1},            // only the terminator
      {{}, 0, 0, 0, 0},            // no room even for that
      {{1, 2, 3, 4}, 7, 8, 7, 0},  // short: the required length, nothing written
      {{1, 2, 3, 4}, 8, 8, 8, 8},  // exact: no room for the terminator
      {{'M', 'a'}, 64, 4, 4, 5},   // larger: one terminator
  };
  for (const auto& c : cases) {
    const auto r = encode(c.in, c.capacity);
    EXPECT_EQ(r.ret, c.ret) << c.capacity;
    EXPECT_EQ(r.out_len, c.out_len) << c.capacity;
    EXPECT_TRUE(guard_intact(r.area, c.written)) << c.capacity;
    if (c.written > c.ret) {
      EXPECT_EQ(r.area[c.ret], 0) << "terminating zero";
    }
  }
}

TEST(Base64Encode, NullOutputReportsTheRequiredLength) {
  const Bytes in = {1, 2, 3, 4};
  for (uint64_t cap : {0u, 8u, 100u}) {
    uint64_t c = cap;
    EXPECT_EQ(norvek_crypto_base64_encodeKQZP(in.data(), in.size(), nullptr, &c),
              cap < 8 ? 8u : 0u);
    EXPECT_EQ(c, cap) << "the capacity is left as it was";
  }
}

TEST(Base64Encode, CountsBeyond32BitsAreNotTruncated) {
  // The capacity is too small, so the length is reported without reading a
  // byte of the input.
  const uint8_t dummy = 0;
  for (uint64_t len : {uint64_t{1} << 31, (uint64_t{1} << 32) + 1, uint64_t{3} << 40}) {
    uint64_t cap = 16;
    EXPECT_EQ(norvek_crypto_base64_encodeKQZP(&dummy, len, nullptr, &cap), encoded_length(len))
        << len;
    EXPECT_EQ(cap, 16u);
    EXPECT_EQ(norvek_crypto_base64_encodeKQZP(&dummy, len, nullptr, nullptr), encoded_length(len));
  }
  // An encoded length that does not fit 64 bits must not wrap to a small one.
  uint64_t cap = UINT64_MAX;
  std::string out(16, 'x');
  EXPECT_EQ(norvek_crypto_base64_encodeKQZP(&dummy, UINT64_MAX, out.data(), &cap), UINT64_MAX);
  EXPECT_EQ(out, std::string(16, 'x'));
}

// --- decoder -------------------------------------------------------------------

TEST(Base64Decode, WhereDecodingEnds) {
  const struct {
    std::string text, bytes;
  } cases[] = {
      // '=' in the third or fourth place ends decoding, whatever follows.
      {"TQ=x", "M"},
      {"TQ==TWFu", "M"},
      {"TWE=TWFu", "Ma"},
      {"TWFuTWFuTWFuTWFuTQ==TWFuTWFuTWFu", "ManManManManM"},
      // A zero character at the start of a group.
      {"", ""},
      {"\0WFu"s, ""},
      {"TWFu\0WFuTWFu"s, "Man"},
      {"TWFu\0W"s, "Man"},
      // A short final group decodes as far as it goes, reading nothing past
      // the text (AddressSanitizer watches the exact-size copy in decode()).
      {"T", ""},
      {"TQ", "M"},
      {"TWE", "Ma"},
      {"TQ=", "M"},
      {"TWFuT", "Man"},
      {"TWFuTWFuTWFuTWFuTWE", "ManManManManMa"},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.text), bytes_of(c.bytes)) << c.text;
}

TEST(Base64Decode, EveryCharacterFollowsThePositionRule) {
  // One character at each place of an otherwise plain group, all 256 values
  // ("TW u" reads as "TW/u", "=" in the first two places is ordinary); only
  // the characters that end decoding are left out.
  for (int place = 0; place < 4; ++place) {
    for (int c = 0; c < 256; ++c) {
      if (place == 0 && c == 0) continue;
      if (place >= 2 && c == '=') continue;
      std::string text = "QUJD";
      text[place] = static_cast<char>(c);
      uint32_t word = 0;
      for (int i = 0; i < 4; ++i) word = (word << 6) | (position_value(text[i]) & 0x3F);
      const Bytes expected = {static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8),
                              static_cast<uint8_t>(word)};
      EXPECT_EQ(decode(text), expected) << "place " << place << " char " << c;
    }
  }
}

TEST(Base64Decode, NullCountPointerIsTolerated) {
  uint8_t out[3];
  EXPECT_EQ(norvek_crypto_base64_decodeKQZP("TWFu", 4, out, nullptr), 3u);
}

// --- both levels on random data --------------------------------------------------

// Every length up to 300, and lengths whose text or decoded bytes straddle
// the allocator's 128 KiB mapping threshold: a result area sized to what is
// written holds the same bytes at every size.
TEST(Base64, MatchesOpenSSLAndRoundTripsAtBothLevels) {
  std::mt19937 rng(0xB64);
  for (size_t n : lengths_around(300, {98304, 131072}, 4)) {
    const Bytes in = random_bytes(rng, n);
    const std::string expected = openssl_encode(in);
    // With a capacity of exactly the encoded length: no terminator, nothing past it.
    const uint64_t e = encoded_length(n);
    const auto r = encode(in, e);
    EXPECT_EQ(r.ret, e);
    EXPECT_EQ(r.text(), expected) << n;
    EXPECT_TRUE(guard_intact(r.area, e)) << n;
    EXPECT_EQ(decode(expected), in) << n;
    // The same text without its padding still decodes.
    EXPECT_EQ(decode(expected.substr(0, expected.find('='))), in) << "unpadded, " << n;

    const CNorVekXBuffer text = norvek_crypto_EncodeBase64(buffer_of(in));
    EXPECT_EQ(bytes_of(text), bytes_of(expected)) << n;
    // The encoder's terminating zero stays in the storage, past the length.
    EXPECT_EQ(text.m_pData[text.m_nSize], 0) << n;
    EXPECT_EQ(bytes_of(norvek_crypto_DecodeBase64(text)), in) << n;
    // Unpadded, the last group is two or three characters: its bytes fit too.
    const std::string unpadded = expected.substr(0, expected.find('='));
    EXPECT_EQ(bytes_of(norvek_crypto_DecodeBase64(buffer_of(bytes_of(unpadded)))), in)
        << "unpadded, " << n;
  }
}

TEST(Base64Buffer, Examples) {
  EXPECT_EQ(bytes_of(norvek_crypto_EncodeBase64(buffer_of({0x4D}))), bytes_of("TQ=="));
  EXPECT_EQ(norvek_crypto_EncodeBase64(CNorVekXBuffer()).m_nSize, 0u);
  // Decoding gives the decoder's count.
  const struct {
    std::string text, bytes;
  } cases[] = {{"TWFu", "Man"}, {"TQ==TWFu", "M"}, {"TWE", "Ma"}, {"", ""}, {"\0AAA"s, ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(bytes_of(norvek_crypto_DecodeBase64(buffer_of(bytes_of(c.text)))), bytes_of(c.bytes))
        << c.text;
  }
  EXPECT_EQ(norvek_crypto_DecodeBase64(CNorVekXBuffer()).m_nSize, 0u);
}

}  // namespace
