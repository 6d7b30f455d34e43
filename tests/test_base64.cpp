// Array-level Base64 and the buffer-level conversions built on it. Oracles:
// the RFC 4648 section 10 vectors, OpenSSL's EVP_EncodeBlock/EVP_DecodeBlock,
// and a character-by-character reading of the lenient decoding rule.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "norvek/base64.h"
#include "norvek/buffer.h"

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::norvek_crypto_DecodeBase64;
using NorvekCryptoSpace::norvek_crypto_EncodeBase64;

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> random_bytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Encodes into an area of `capacity` characters followed by a guard area.
struct EncodeResult {
  uint64_t ret;
  uint64_t out_len;
  std::vector<uint8_t> area;  // capacity characters, then 16 guard bytes
};

EncodeResult encode(const std::vector<uint8_t>& in, uint64_t capacity) {
  EncodeResult r{0, capacity, std::vector<uint8_t>(capacity + 16, kGuard)};
  r.ret = norvek_crypto_base64_encodeKQZP(in.data(), in.size(),
                                          reinterpret_cast<char*>(r.area.data()), &r.out_len);
  return r;
}

bool guard_intact(const std::vector<uint8_t>& area, size_t from) {
  for (size_t i = from; i < area.size(); ++i) {
    if (area[i] != kGuard) return false;
  }
  return true;
}

// Decodes from a heap copy of exactly the text's length, so AddressSanitizer
// catches any read beyond it, into an area with a guard after three bytes
// per started group.
std::vector<uint8_t> decode(const std::string& text, std::vector<uint8_t>* area_out = nullptr) {
  std::unique_ptr<char[]> src(new char[text.size()]);
  if (!text.empty()) std::memcpy(src.get(), text.data(), text.size());
  std::vector<uint8_t> area((text.size() + 3) / 4 * 3 + 16, kGuard);
  uint64_t out_len = 12345;
  const uint64_t ret = norvek_crypto_base64_decodeKQZP(src.get(), text.size(), area.data(), &out_len);
  EXPECT_EQ(ret, out_len);
  std::vector<uint8_t> out(area.begin(), area.begin() + static_cast<std::ptrdiff_t>(ret));
  EXPECT_TRUE(guard_intact(area, ret)) << "decoder wrote beyond its count for \"" << text << "\"";
  if (area_out != nullptr) *area_out = area;
  return out;
}

std::string openssl_encode(const std::vector<uint8_t>& in) {
  std::string text(4 * ((in.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), in.data(),
                                static_cast<int>(in.size()));
  text.resize(static_cast<size_t>(n));
  return text;
}

// EVP_DecodeBlock counts pad characters as zero bytes; drop them.
std::vector<uint8_t> openssl_decode(const std::string& text) {
  std::vector<uint8_t> out(text.size() / 4 * 3 + 3);
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  EXPECT_GE(n, 0);
  size_t pads = 0;
  for (size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) ++pads;
  out.resize(static_cast<size_t>(n) - pads);
  return out;
}

// The value of one character by the position rule: its index in the
// alphabet, 255 (of which the low six bits count) when absent.
uint32_t position_value(unsigned char c) {
  const char* p = c == 0 ? nullptr : std::strchr(kAlphabet, c);
  return p == nullptr ? 255u : static_cast<uint32_t>(p - kAlphabet);
}

struct Vector {
  const char* source;
  std::string bytes;
  std::string text;
};

const Vector kVectors[] = {
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
    {"all byte values", std::string("\x00\x10\x83\x10\x51\x87\x20\x92\x8b\x30\xd3\x8f\x41\x14\x93"
                                    "\x51\x55\x97\x61\x96\x9b\x71\xd7\x9f\x82\x18\xa3\x92\x59\xa7"
                                    "\xa2\x9a\xab\xb2\xdb\xaf\xc3\x1c\xb3\xd3\x5d\xb7\xe3\x9e\xbb"
                                    "\xf3\xdf\xbf",
                                    48),
     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"},
};

// --- encoder -------------------------------------------------------------------

TEST(Base64Encode, KnownVectors) {
  for (const auto& v : kVectors) {
    const auto in = bytes_of(v.bytes);
    const auto r = encode(in, v.text.size() + 1);
    EXPECT_EQ(r.ret, v.text.size()) << v.source << ": " << v.text;
    EXPECT_EQ(r.out_len, v.text.size());
    EXPECT_EQ(std::string(r.area.begin(), r.area.begin() + static_cast<std::ptrdiff_t>(r.ret)), v.text)
        << v.source;
    EXPECT_EQ(r.area[v.text.size()], 0) << "terminating zero when there is room";
    EXPECT_TRUE(guard_intact(r.area, v.text.size() + 1));
  }
}

TEST(Base64Encode, EmptyInputWritesOnlyTheTerminator) {
  const auto r = encode({}, 4);
  EXPECT_EQ(r.ret, 0u);
  EXPECT_EQ(r.out_len, 0u);
  EXPECT_EQ(r.area[0], 0);
  EXPECT_TRUE(guard_intact(r.area, 1));
}

TEST(Base64Encode, EmptyInputWithNoRoomWritesNothing) {
  const auto r = encode({}, 0);
  EXPECT_EQ(r.ret, 0u);
  EXPECT_EQ(r.out_len, 0u);
  EXPECT_TRUE(guard_intact(r.area, 0));
}

TEST(Base64Encode, NullOutputReportsTheRequiredLength) {
  const std::vector<uint8_t> in = {1, 2, 3, 4};
  uint64_t cap = 0;
  EXPECT_EQ(norvek_crypto_base64_encodeKQZP(in.data(), in.size(), nullptr, &cap), 8u);
  EXPECT_EQ(cap, 0u) << "the capacity is left as it was";
  cap = 8;
  EXPECT_EQ(norvek_crypto_base64_encodeKQZP(in.data(), in.size(), nullptr, &cap), 0u);
  EXPECT_EQ(cap, 8u);
  cap = 100;
  EXPECT_EQ(norvek_crypto_base64_encodeKQZP(in.data(), in.size(), nullptr, &cap), 0u);
  EXPECT_EQ(cap, 100u);
}

TEST(Base64Encode, ShortCapacityWritesNothing) {
  const std::vector<uint8_t> in = {1, 2, 3, 4};
  const auto r = encode(in, 7);
  EXPECT_EQ(r.ret, 8u);
  EXPECT_EQ(r.out_len, 7u);
  EXPECT_TRUE(guard_intact(r.area, 0));
}

TEST(Base64Encode, ExactCapacityOmitsTheTerminator) {
  std::mt19937 rng(7);
  for (size_t n = 0; n <= 40; ++n) {
    const auto in = random_bytes(rng, n);
    const uint64_t e = 4 * ((n + 2) / 3);
    const auto r = encode(in, e);
    EXPECT_EQ(r.ret, e) << n;
    EXPECT_EQ(r.out_len, e);
    EXPECT_EQ(std::string(r.area.begin(), r.area.begin() + static_cast<std::ptrdiff_t>(e)),
              openssl_encode(in));
    EXPECT_TRUE(guard_intact(r.area, e)) << "wrote past a capacity of exactly " << e;
  }
}

TEST(Base64Encode, LargerCapacityWritesOneTerminator) {
  const std::vector<uint8_t> in = {'M', 'a'};
  const auto r = encode(in, 64);
  EXPECT_EQ(r.ret, 4u);
  EXPECT_EQ(r.area[4], 0);
  EXPECT_EQ(r.area[5], kGuard);
}

TEST(Base64Encode, CountsBeyond32BitsAreNotTruncated) {
  // The capacity is too small, so the length is reported without reading a
  // byte of the input.
  const uint8_t dummy = 0;
  struct Case {
    uint64_t len, expected;
  };
  const Case cases[] = {
      {uint64_t{1} << 31, 4 * ((uint64_t{1} << 31) / 3 + 1)},
      {(uint64_t{1} << 32) + 1, 4 * (((uint64_t{1} << 32) + 1) / 3 + 1)},
      {uint64_t{3} << 40, uint64_t{4} << 40},
  };
  for (const auto& c : cases) {
    uint64_t cap = 16;
    EXPECT_EQ(norvek_crypto_base64_encodeKQZP(&dummy, c.len, nullptr, &cap), c.expected) << c.len;
    EXPECT_EQ(cap, 16u);
  }
  // An encoded length that does not fit 64 bits must not wrap to a small one.
  uint64_t cap = UINT64_MAX;
  std::vector<char> out(16, 'x');
  EXPECT_EQ(norvek_crypto_base64_encodeKQZP(&dummy, UINT64_MAX, out.data(), &cap), UINT64_MAX);
  EXPECT_EQ(out, std::vector<char>(16, 'x'));
}

TEST(Base64Encode, MatchesOpenSSLOnRandomData) {
  std::mt19937 rng(0xB64);
  for (size_t n = 0; n <= 300; ++n) {
    const auto in = random_bytes(rng, n);
    const auto r = encode(in, 4 * ((n + 2) / 3) + 1);
    EXPECT_EQ(std::string(r.area.begin(), r.area.begin() + static_cast<std::ptrdiff_t>(r.ret)),
              openssl_encode(in))
        << "length " << n;
  }
}

TEST(Base64Encode, NoLineBreaksInLongOutput) {
  const std::vector<uint8_t> in(3000, 0xFF);
  const auto r = encode(in, 4000);
  EXPECT_EQ(r.ret, 4000u);
  EXPECT_EQ(std::string(r.area.begin(), r.area.begin() + 4000), std::string(4000, '/'));
}

// --- decoder -------------------------------------------------------------------

TEST(Base64Decode, KnownVectors) {
  for (const auto& v : kVectors) {
    EXPECT_EQ(decode(v.text), bytes_of(v.bytes)) << v.source << ": " << v.text;
  }
}

TEST(Base64Decode, PaddingEndsDecoding) {
  EXPECT_EQ(decode("TQ=x"), bytes_of("M")) << "'=' in the third place ends whatever follows";
  EXPECT_EQ(decode("TQ==TWFu"), bytes_of("M"));
  EXPECT_EQ(decode("TWE=TWFu"), bytes_of("Ma"));
  EXPECT_EQ(decode("TWFuTWE=TWFu"), bytes_of("ManMa"));
  EXPECT_EQ(decode("TWFuTWFuTWFuTWFuTQ==TWFuTWFuTWFu"), bytes_of("ManManManManM"));
}

TEST(Base64Decode, PaddingWritesOnlyCountedBytes) {
  std::vector<uint8_t> area;
  decode("TQ==", &area);
  EXPECT_EQ(area[0], 'M');
  EXPECT_EQ(area[1], kGuard);
  decode("TWE=", &area);
  EXPECT_EQ(area[2], kGuard);
}

TEST(Base64Decode, LenientCharacters) {
  EXPECT_EQ(decode("TW u"), decode("TW/u")) << "a blank decodes as '/'";
  EXPECT_EQ(decode("TW\x80u"), decode("TW/u"));
  EXPECT_EQ(decode("=WFu"), decode("/WFu")) << "'=' first is an ordinary character";
  EXPECT_EQ(decode("T=Fu"), decode("T/Fu")) << "'=' second is an ordinary character";
  EXPECT_EQ(decode(std::string("TW\0u", 4)), decode("TW/u")) << "a zero inside a group";
  EXPECT_EQ(decode(std::string("TWF\0", 4)), decode("TWF/"));
}

TEST(Base64Decode, ZeroCharacterAtAGroupStartEnds) {
  EXPECT_TRUE(decode("").empty());
  EXPECT_TRUE(decode(std::string("\0WFu", 4)).empty());
  EXPECT_EQ(decode(std::string("TWFu\0WFuTWFu", 12)), bytes_of("Man"));
  EXPECT_EQ(decode(std::string("TWFu\0W", 6)), bytes_of("Man"));
}

TEST(Base64Decode, ShortFinalGroupDecodesAsFarAsItGoes) {
  EXPECT_EQ(decode("T"), bytes_of(""));
  EXPECT_EQ(decode("TQ"), bytes_of("M"));
  EXPECT_EQ(decode("TWE"), bytes_of("Ma"));
  EXPECT_EQ(decode("TQ="), bytes_of("M"));
  EXPECT_EQ(decode("TWFuT"), bytes_of("Man"));
  EXPECT_EQ(decode("TWFuTQ"), bytes_of("ManM"));
  EXPECT_EQ(decode("TWFuTWFuTWFuTWFuTWE"), bytes_of("ManManManManMa"));
}

TEST(Base64Decode, NeverReadsBeyondInlen) {
  // What lies past inlen must not change the result.
  for (const char* tail : {"==", "AA", "//", "\0\0"}) {
    for (const std::string text : {"TQ", "TWE", "T", "TWFuTQ", "TWFuTWFuTWFuTWFuTQ"}) {
      std::string padded = text + std::string(tail, 2);
      uint8_t out[32];
      uint64_t n = 0;
      norvek_crypto_base64_decodeKQZP(padded.data(), text.size(), out, &n);
      EXPECT_EQ(std::vector<uint8_t>(out, out + n), decode(text)) << text;
    }
  }
}

TEST(Base64Decode, EveryCharacterFollowsThePositionRule) {
  // One character at each place of an otherwise plain group, all 256 values;
  // only the characters that end decoding are left out.
  for (int place = 0; place < 4; ++place) {
    for (int c = 0; c < 256; ++c) {
      if (place == 0 && c == 0) continue;
      if (place >= 2 && c == '=') continue;
      std::string text = "QUJD";
      text[place] = static_cast<char>(c);
      uint32_t v[4];
      for (int i = 0; i < 4; ++i) v[i] = position_value(static_cast<unsigned char>(text[i])) & 0x3F;
      const uint32_t word = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
      const std::vector<uint8_t> expected = {static_cast<uint8_t>(word >> 16),
                                             static_cast<uint8_t>(word >> 8),
                                             static_cast<uint8_t>(word)};
      EXPECT_EQ(decode(text), expected) << "place " << place << " char " << c;
    }
  }
}

TEST(Base64Decode, NullCountPointerIsTolerated) {
  uint8_t out[3];
  EXPECT_EQ(norvek_crypto_base64_decodeKQZP("TWFu", 4, out, nullptr), 3u);
}

TEST(Base64Decode, MatchesOpenSSLOnValidText) {
  std::mt19937 rng(0xDEC);
  for (size_t n = 0; n <= 300; ++n) {
    const std::string text = openssl_encode(random_bytes(rng, n));
    EXPECT_EQ(decode(text), openssl_decode(text)) << "length " << n;
  }
  // Unpadded text from the alphabet only, length a multiple of four.
  for (int round = 0; round < 200; ++round) {
    std::string text(4 * (rng() % 20), 'A');
    for (auto& ch : text) ch = kAlphabet[rng() % 64];
    EXPECT_EQ(decode(text), openssl_decode(text)) << text;
  }
}

TEST(Base64RoundTrip, RandomDataLengths0To300) {
  std::mt19937 rng(300);
  for (size_t n = 0; n <= 300; ++n) {
    const auto in = random_bytes(rng, n);
    const auto r = encode(in, 4 * ((n + 2) / 3) + 1);
    const std::string text(r.area.begin(), r.area.begin() + static_cast<std::ptrdiff_t>(r.ret));
    EXPECT_EQ(decode(text), in) << "length " << n;
    // The same text without its padding still decodes.
    std::string bare = text;
    while (!bare.empty() && bare.back() == '=') bare.pop_back();
    EXPECT_EQ(decode(bare), in) << "unpadded, length " << n;
  }
}

// --- buffer level -------------------------------------------------------------------

TEST(EncodeBase64, SizesAndContent) {
  const uint8_t m = 0x4D;
  const CNorVekXBuffer out = norvek_crypto_EncodeBase64(CNorVekXBuffer(&m, 1));
  ASSERT_EQ(out.m_nSize, 4u);
  EXPECT_EQ(std::memcmp(out.m_pData, "TQ==", 4), 0);
  EXPECT_EQ(norvek_crypto_EncodeBase64(CNorVekXBuffer()).m_nSize, 0u);

  std::mt19937 rng(11);
  for (size_t n = 0; n <= 300; ++n) {
    const auto in = random_bytes(rng, n);
    const CNorVekXBuffer text = norvek_crypto_EncodeBase64(CNorVekXBuffer(in.data(), n));
    ASSERT_EQ(text.m_nSize, 4 * ((n + 2) / 3)) << n;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.m_pData), text.m_nSize),
              openssl_encode(in));
    const CNorVekXBuffer back = norvek_crypto_DecodeBase64(text);
    EXPECT_TRUE(back.compare(CNorVekXBuffer(in.data(), n))) << n;
  }
}

TEST(DecodeBase64, GivesTheDecoderCount) {
  struct Case {
    std::string text, bytes;
  };
  const Case cases[] = {{"TWFu", "Man"}, {"TQ==TWFu", "M"}, {"TWE", "Ma"}, {"", ""},
                        {std::string("\0AAA", 4), ""}};
  for (const auto& c : cases) {
    const CNorVekXBuffer out = norvek_crypto_DecodeBase64(
        CNorVekXBuffer(reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.m_pData), out.m_nSize), c.bytes)
        << c.text;
  }
}

}  // namespace
