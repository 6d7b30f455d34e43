// Hexadecimal conversions, array and buffer level. Oracles: hand-checked
// examples, OpenSSL's OPENSSL_buf2hexstr_ex, the C library's isxdigit, and
// round trips.
#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "norvek/buffer.h"
#include "test_util.h"

namespace {

using namespace norvek_test;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::DumpBuffer;
using NorvekCryptoSpace::norvek_crypto_Bin2Hex;
using NorvekCryptoSpace::norvek_crypto_Hex2Bin;

constexpr uint8_t kGuard = 0xA5;

// One array-level call into an output area followed by 16 guard bytes.
struct Run {
  int32_t ret;
  uint64_t outlen;
  Bytes area;
  Bytes head(size_t n) const { return Bytes(area.begin(), area.begin() + static_cast<long>(n)); }
  bool guard_from(size_t i) const {
    return std::all_of(area.begin() + static_cast<long>(i), area.end(),
                       [](uint8_t b) { return b == kGuard; });
  }
};

Run hex2bin(std::string text, uint64_t outlen, size_t area_size) {
  Run r{0, outlen, Bytes(area_size + 16, kGuard)};
  r.ret = norvek_crypto_Hex2Bin(text.data(), text.size(), r.area.data(), r.outlen);
  return r;
}

Run bin2hex(const Bytes& in, uint64_t capacity) {
  Run r{0, capacity, Bytes(capacity + 16, kGuard)};
  r.ret =
      norvek_crypto_Bin2Hex(in.data(), in.size(), reinterpret_cast<char*>(r.area.data()), r.outlen);
  return r;
}

std::string openssl_hex(const Bytes& in) {
  std::string text(2 * in.size() + 1, '\0');
  size_t len = 0;
  EXPECT_EQ(OPENSSL_buf2hexstr_ex(text.data(), text.size(), &len, in.data(), in.size(), '\0'), 1);
  text.resize(2 * in.size());
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string text_of(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(Bin2Hex, CapacityRule) {
  const Bytes in = {1, 2, 3, 4, 5};
  for (uint64_t cap : {0u, 1u, 9u}) {
    const auto r = bin2hex(in, cap);
    EXPECT_EQ(r.ret, -1) << cap;
    EXPECT_EQ(r.outlen, cap) << "outlen keeps its value";
    EXPECT_TRUE(r.guard_from(0));
  }
  for (uint64_t cap : {10u, 11u, 64u}) {
    const auto r = bin2hex(in, cap);
    EXPECT_EQ(r.ret, 0) << cap;
    EXPECT_EQ(r.outlen, 10u);
    EXPECT_EQ(text_of(r.head(10)), "0102030405");
    EXPECT_TRUE(r.guard_from(10)) << "no terminating zero after the digits, " << cap;
  }
  // Twice 2^63 wraps to 0 in 64 bits; it must still be refused.
  const uint8_t b = 0;
  char out[4] = {'x', 'x', 'x', 'x'};
  uint64_t outlen = 4;
  EXPECT_EQ(norvek_crypto_Bin2Hex(&b, uint64_t{1} << 63, out, outlen), -1);
  EXPECT_EQ(outlen, 4u);
  EXPECT_EQ(std::string(out, 4), "xxxx");
}

// The bytes completed before the first bad pair are kept and counted; a valid
// high digit of that pair lands uncounted; nothing after it is written, even
// where later pairs are valid or half valid.
TEST(Hex2Bin, BadDigitKeepsTheCompletedBytes) {
  const struct {
    const char* text;
    uint64_t outlen;
    Bytes head;  // then guard bytes only
  } cases[] = {
      {"0g12", 0, {0x00}},           {"g0ab12", 0, {}},
      {"0a1g", 1, {0x0A, 0x10}},     {"0ag1", 1, {0x0A}},
      {"0a1g3344", 1, {0x0A, 0x10}}, {"0a1g3g44", 1, {0x0A, 0x10}},
      {"0axx33g4", 1, {0x0A}},       {"0a0b0c0dz0", 4, {0x0A, 0x0B, 0x0C, 0x0D}},
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    const auto r = hex2bin(text, text.size() / 2, text.size() / 2);
    EXPECT_EQ(r.ret, -1) << text;
    EXPECT_EQ(r.outlen, c.outlen) << text;
    EXPECT_EQ(r.head(c.head.size()), c.head) << text;
    EXPECT_TRUE(r.guard_from(c.head.size())) << text;
  }
}

TEST(Hex2Bin, OddLengthOrWrongSizeIsRefusedWithoutWriting) {
  const struct {
    const char* text;
    uint64_t outlen;
  } cases[] = {
      // The size is exact, not a capacity.
      {"0a0b", 0},
      {"0a0b", 1},
      {"0a0b", 3},
      {"0a0b", 4},
      {"0a0b", (uint64_t{1} << 63) + 2},  // twice this wraps to 4
      {"0", 0},
      {"0a0", 1},
      {"0a0b0", 2},
  };
  for (const auto& c : cases) {
    const auto r = hex2bin(c.text, c.outlen, 4);
    EXPECT_EQ(r.ret, -1) << c.text << " " << c.outlen;
    EXPECT_EQ(r.outlen, c.outlen) << "outlen keeps its value";
    EXPECT_TRUE(r.guard_from(0)) << c.text;
  }
}

TEST(HexArray, EmptyInputWritesNothing) {
  for (uint64_t cap : {0u, 1u, 8u}) {
    const auto r = bin2hex({}, cap);
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.outlen, 0u);
    EXPECT_TRUE(r.guard_from(0)) << cap;
  }
  const auto r = hex2bin("", 0, 0);
  EXPECT_EQ(r.ret, 0);
  EXPECT_EQ(r.outlen, 0u);
  EXPECT_TRUE(r.guard_from(0));
  uint64_t outlen = 8;
  EXPECT_EQ(norvek_crypto_Bin2Hex(nullptr, 0, nullptr, outlen), 0);
  EXPECT_EQ(outlen, 0u);
  EXPECT_EQ(norvek_crypto_Hex2Bin(nullptr, 0, nullptr, outlen), 0);
  EXPECT_EQ(outlen, 0u);
}

TEST(Hex2Bin, EveryCharacterAsEitherDigit) {
  for (int c = 0; c < 256; ++c) {
    const bool valid = std::isxdigit(c) != 0;
    const int value = valid ? std::stoi(std::string(1, static_cast<char>(c)), nullptr, 16) : 0;
    for (int place = 0; place < 2; ++place) {
      std::string text = "00";
      text[place] = static_cast<char>(c);
      const auto r = hex2bin(text, 1, 1);
      EXPECT_EQ(r.ret, valid ? 0 : -1) << c;
      EXPECT_EQ(r.outlen, valid ? 1u : 0u) << c;
      if (valid) {
        EXPECT_EQ(r.area[0], place == 0 ? value << 4 : value) << c;
      }
    }
  }
}

// Both levels on random data: Bin2Hex against OpenSSL, Hex2Bin of that text
// in a random mix of cases back to the data; every length up to 300, and
// lengths whose text or bytes straddle the allocator's 128 KiB mapping
// threshold.
TEST(Hex, MatchesOpenSSLAndRoundTripsAtBothLevels) {
  std::mt19937 rng(0x4E);
  for (size_t n : lengths_around(300, {65536, 131072}, 2)) {
    const Bytes in = random_bytes(rng, n);
    const std::string expected = openssl_hex(in);
    const auto r = bin2hex(in, 2 * n);
    ASSERT_EQ(r.ret, 0);
    EXPECT_EQ(text_of(r.head(2 * n)), expected) << n;

    std::string mixed = expected;
    for (auto& c : mixed) {
      if (rng() % 2 != 0) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const auto back = hex2bin(mixed, n, n);
    EXPECT_EQ(back.ret, 0);
    EXPECT_EQ(back.head(n), in) << mixed;
    EXPECT_TRUE(back.guard_from(n));

    const CNorVekXBuffer text = norvek_crypto_Bin2Hex(buffer_of(in));
    EXPECT_EQ(text_of(bytes_of(text)), expected) << n;
    // A spare byte past the digits reads zero, as after a C string.
    EXPECT_EQ(text.m_pData[text.m_nSize], 0) << n;
    EXPECT_EQ(bytes_of(norvek_crypto_Hex2Bin(buffer_of(bytes_of(mixed)))), in) << n;
  }
}

TEST(HexBuffer, Examples) {
  const struct {
    const char* text;
    const char* bytes_hex;
  } cases[] = {
      {"0aFf", "0aff"}, {"0a0b0cxx", "0a0b0c"},  // the bytes completed before a bad pair
      {"0a1g", "0a"},   {"0g12", ""},
      {"", ""},         {"0", ""},  // odd lengths give an empty buffer
      {"0a0", ""},      {"0a0b0", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_hex(bytes_of(norvek_crypto_Hex2Bin(buffer_of(bytes_of(c.text))))), c.bytes_hex)
        << c.text;
  }
  EXPECT_EQ(norvek_crypto_Hex2Bin(CNorVekXBuffer()).m_nSize, 0u);
  EXPECT_EQ(norvek_crypto_Bin2Hex(CNorVekXBuffer()).m_nSize, 0u);
  const CNorVekXBuffer hex = norvek_crypto_Bin2Hex(buffer_of({0x00, 0xAB, 0xFF}));
  EXPECT_EQ(text_of(bytes_of(hex)), "00abff");

  // DumpBuffer has no effect.
  DumpBuffer(hex);
  DumpBuffer(CNorVekXBuffer());
  EXPECT_EQ(text_of(bytes_of(hex)), "00abff");
}

}  // namespace
