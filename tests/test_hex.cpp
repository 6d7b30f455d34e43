// Hexadecimal conversions, array and buffer level. Oracles: hand-checked
// examples, OpenSSL's OPENSSL_buf2hexstr_ex/OPENSSL_hexstr2buf_ex, and the
// C library's isxdigit.
#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "norvek/buffer.h"

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::DumpBuffer;
using NorvekCryptoSpace::norvek_crypto_Bin2Hex;
using NorvekCryptoSpace::norvek_crypto_Hex2Bin;

namespace {

constexpr uint8_t kGuard = 0xA5;

std::vector<uint8_t> random_bytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

bool guard_intact(const std::vector<uint8_t>& area, size_t from) {
  for (size_t i = from; i < area.size(); ++i) {
    if (area[i] != kGuard) return false;
  }
  return true;
}

CNorVekXBuffer buffer_of(const std::string& s) {
  return CNorVekXBuffer(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

std::string text_of(const CNorVekXBuffer& b) {
  return b.m_nSize == 0 ? std::string() : std::string(reinterpret_cast<const char*>(b.m_pData), b.m_nSize);
}

struct Hex2BinRun {
  int32_t ret;
  uint64_t outlen;
  std::vector<uint8_t> area;  // output area followed by a guard
};

Hex2BinRun hex2bin(std::string text, uint64_t outlen, size_t area_size) {
  Hex2BinRun r{0, outlen, std::vector<uint8_t>(area_size + 16, kGuard)};
  r.ret = norvek_crypto_Hex2Bin(text.data(), text.size(), r.area.data(), r.outlen);
  return r;
}

struct Bin2HexRun {
  int32_t ret;
  uint64_t outlen;
  std::vector<uint8_t> area;
};

Bin2HexRun bin2hex(const std::vector<uint8_t>& in, uint64_t capacity) {
  Bin2HexRun r{0, capacity, std::vector<uint8_t>(capacity + 16, kGuard)};
  r.ret = norvek_crypto_Bin2Hex(in.data(), in.size(), reinterpret_cast<char*>(r.area.data()), r.outlen);
  return r;
}

std::string openssl_hex(const std::vector<uint8_t>& in) {
  std::string text(2 * in.size() + 1, '\0');
  size_t len = 0;
  EXPECT_EQ(OPENSSL_buf2hexstr_ex(text.data(), text.size(), &len, in.data(), in.size(), '\0'), 1);
  text.resize(2 * in.size());
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// --- Bin2Hex, array level ------------------------------------------------------

TEST(Bin2Hex, Example) {
  const auto r = bin2hex({0x00, 0xAB, 0xFF}, 6);
  EXPECT_EQ(r.ret, 0);
  EXPECT_EQ(r.outlen, 6u);
  EXPECT_EQ(std::string(r.area.begin(), r.area.begin() + 6), "00abff");
  EXPECT_TRUE(guard_intact(r.area, 6)) << "no terminating zero after the digits";
}

TEST(Bin2Hex, CapacityRule) {
  const std::vector<uint8_t> in = {1, 2, 3, 4, 5};
  for (uint64_t cap : {0u, 1u, 9u}) {
    const auto r = bin2hex(in, cap);
    EXPECT_EQ(r.ret, -1) << cap;
    EXPECT_EQ(r.outlen, cap) << "outlen keeps its value";
    EXPECT_TRUE(guard_intact(r.area, 0));
  }
  for (uint64_t cap : {10u, 11u, 64u}) {
    const auto r = bin2hex(in, cap);
    EXPECT_EQ(r.ret, 0) << cap;
    EXPECT_EQ(r.outlen, 10u);
    EXPECT_EQ(std::string(r.area.begin(), r.area.begin() + 10), "0102030405");
    EXPECT_TRUE(guard_intact(r.area, 10)) << cap;
  }
}

TEST(Bin2Hex, HugeCountDoesNotWrapTheCapacityCheck) {
  // Twice 2^63 wraps to 0 in 64 bits; it must still be refused.
  const uint8_t b = 0;
  char out[4] = {'x', 'x', 'x', 'x'};
  uint64_t outlen = 4;
  EXPECT_EQ(norvek_crypto_Bin2Hex(&b, uint64_t{1} << 63, out, outlen), -1);
  EXPECT_EQ(outlen, 4u);
  EXPECT_EQ(std::string(out, 4), "xxxx");
}

TEST(Bin2Hex, EmptyInputWritesNothing) {
  for (uint64_t cap : {0u, 1u, 8u}) {
    const auto r = bin2hex({}, cap);
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.outlen, 0u);
    EXPECT_TRUE(guard_intact(r.area, 0)) << cap;
  }
  uint64_t outlen = 8;
  EXPECT_EQ(norvek_crypto_Bin2Hex(nullptr, 0, nullptr, outlen), 0);
  EXPECT_EQ(outlen, 0u);
}

TEST(Bin2Hex, MatchesOpenSSLOnRandomData) {
  std::mt19937 rng(0x4E);
  for (size_t n = 0; n <= 300; ++n) {
    const auto in = random_bytes(rng, n);
    const auto r = bin2hex(in, 2 * n);
    ASSERT_EQ(r.ret, 0);
    EXPECT_EQ(std::string(r.area.begin(), r.area.begin() + static_cast<std::ptrdiff_t>(2 * n)),
              openssl_hex(in));
  }
}

// --- Hex2Bin, array level ------------------------------------------------------

TEST(Hex2Bin, Examples) {
  auto r = hex2bin("0aFf", 2, 2);
  EXPECT_EQ(r.ret, 0);
  EXPECT_EQ(r.outlen, 2u);
  EXPECT_EQ(r.area[0], 0x0A);
  EXPECT_EQ(r.area[1], 0xFF);
  EXPECT_TRUE(guard_intact(r.area, 2));

  r = hex2bin("0g12", 2, 2);
  EXPECT_EQ(r.ret, -1);
  EXPECT_EQ(r.outlen, 0u);

  // A bad second digit leaves the first digit's value in place, uncounted.
  r = hex2bin("0a1g", 2, 2);
  EXPECT_EQ(r.ret, -1);
  EXPECT_EQ(r.outlen, 1u);
  EXPECT_EQ(r.area[0], 0x0A);
  EXPECT_EQ(r.area[1], 0x10);
  EXPECT_TRUE(guard_intact(r.area, 2));

  // A bad first digit stops before its pair writes anything.
  r = hex2bin("0ag1", 2, 2);
  EXPECT_EQ(r.ret, -1);
  EXPECT_EQ(r.outlen, 1u);
  EXPECT_EQ(r.area[1], kGuard);
}

TEST(Hex2Bin, SizeIsExactNotACapacity) {
  for (uint64_t outlen : {0u, 1u, 3u, 4u}) {
    const auto r = hex2bin("0a0b", outlen, 4);
    EXPECT_EQ(r.ret, -1) << outlen;
    EXPECT_EQ(r.outlen, outlen) << "outlen keeps its value";
    EXPECT_TRUE(guard_intact(r.area, 0));
  }
  // Twice this outlen wraps to 4: it must still be refused.
  const auto r = hex2bin("0a0b", (uint64_t{1} << 63) + 2, 4);
  EXPECT_EQ(r.ret, -1);
  EXPECT_TRUE(guard_intact(r.area, 0));
}

TEST(Hex2Bin, OddLengthIsRefused) {
  for (const char* t : {"0", "0a0", "0a0b0"}) {
    const auto r = hex2bin(t, std::strlen(t) / 2, 4);
    EXPECT_EQ(r.ret, -1) << t;
    EXPECT_EQ(r.outlen, std::strlen(t) / 2);
    EXPECT_TRUE(guard_intact(r.area, 0));
  }
}

TEST(Hex2Bin, EmptyInputWritesNothing) {
  const auto r = hex2bin("", 0, 0);
  EXPECT_EQ(r.ret, 0);
  EXPECT_EQ(r.outlen, 0u);
  EXPECT_TRUE(guard_intact(r.area, 0));
  uint64_t outlen = 0;
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
      if (valid) {
        EXPECT_EQ(r.ret, 0) << c;
        EXPECT_EQ(r.area[0], place == 0 ? value << 4 : value) << c;
      } else {
        EXPECT_EQ(r.ret, -1) << c;
        EXPECT_EQ(r.outlen, 0u);
      }
    }
  }
}

TEST(Hex2Bin, MatchesOpenSSLOnRandomText) {
  std::mt19937 rng(0x2B);
  const char digits[] = "0123456789abcdefABCDEF";
  for (size_t n = 0; n <= 300; ++n) {
    std::string text(2 * n, '0');
    for (auto& c : text) c = digits[rng() % 22];
    const auto r = hex2bin(text, n, n);
    ASSERT_EQ(r.ret, 0);
    EXPECT_EQ(r.outlen, n);
    EXPECT_TRUE(guard_intact(r.area, n));
    if (n == 0) continue;
    std::vector<unsigned char> expected(n);
    size_t got = 0;
    ASSERT_EQ(OPENSSL_hexstr2buf_ex(expected.data(), n, &got, text.c_str(), '\0'), 1);
    EXPECT_EQ(std::vector<uint8_t>(r.area.begin(), r.area.begin() + static_cast<std::ptrdiff_t>(n)),
              expected);
  }
}

TEST(HexRoundTrip, RandomDataLengths0To300) {
  std::mt19937 rng(301);
  for (size_t n = 0; n <= 300; ++n) {
    const auto in = random_bytes(rng, n);
    auto r = bin2hex(in, 2 * n);
    std::string text(r.area.begin(), r.area.begin() + static_cast<std::ptrdiff_t>(2 * n));
    const auto back = hex2bin(text, n, n);
    EXPECT_EQ(back.ret, 0);
    EXPECT_EQ(std::vector<uint8_t>(back.area.begin(), back.area.begin() + static_cast<std::ptrdiff_t>(n)), in);
    // Upper-case digits decode to the same bytes.
    for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto upper = hex2bin(text, n, n);
    EXPECT_EQ(std::vector<uint8_t>(upper.area.begin(), upper.area.begin() + static_cast<std::ptrdiff_t>(n)), in);
  }
}

// --- buffer level ----------------------------------------------------------------

TEST(Hex2BinBuffer, Examples) {
  EXPECT_EQ(text_of(norvek_crypto_Hex2Bin(buffer_of("0aFf"))), "\x0a\xff");
  EXPECT_EQ(norvek_crypto_Hex2Bin(buffer_of("0g12")).m_nSize, 0u);
  EXPECT_EQ(text_of(norvek_crypto_Hex2Bin(buffer_of("0a1g"))), "\x0a");
  EXPECT_EQ(text_of(norvek_crypto_Hex2Bin(buffer_of("0a0b0cxx"))), "\x0a\x0b\x0c");
}

TEST(Hex2BinBuffer, OddOrEmptyTextGivesAnEmptyBuffer) {
  for (const char* t : {"", "0", "0a0", "0a0b0"}) {
    EXPECT_EQ(norvek_crypto_Hex2Bin(buffer_of(t)).m_nSize, 0u) << t;
  }
  EXPECT_EQ(norvek_crypto_Hex2Bin(CNorVekXBuffer()).m_nSize, 0u);
}

TEST(Bin2HexBuffer, LengthIsTwicePerByte) {
  const uint8_t bytes[] = {0x00, 0xAB, 0xFF};
  EXPECT_EQ(text_of(norvek_crypto_Bin2Hex(CNorVekXBuffer(bytes, 3))), "00abff");
  EXPECT_EQ(norvek_crypto_Bin2Hex(CNorVekXBuffer()).m_nSize, 0u);
  std::mt19937 rng(5);
  for (size_t n = 0; n <= 300; ++n) {
    const auto in = random_bytes(rng, n);
    const CNorVekXBuffer buf(in.data(), n);
    const CNorVekXBuffer text = norvek_crypto_Bin2Hex(buf);
    ASSERT_EQ(text.m_nSize, 2 * n);
    EXPECT_EQ(text_of(text), openssl_hex(in));
    EXPECT_TRUE(norvek_crypto_Hex2Bin(text).compare(buf)) << n;
  }
}

TEST(DumpBuffer, ChangesNothing) {
  const uint8_t bytes[] = {1, 2, 3};
  const CNorVekXBuffer buf(bytes, 3);
  DumpBuffer(buf);
  DumpBuffer(CNorVekXBuffer());
  EXPECT_TRUE(buf.compare(CNorVekXBuffer(bytes, 3)));
}

}  // namespace
