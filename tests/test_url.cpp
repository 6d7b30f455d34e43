// URI component escaping. Oracles: the examples below (checked by hand and
// against Python's urllib.parse.quote with safe="-_.!~*'()"), the unreserved
// set written out independently, and a plain reference decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "norvek/url.h"
#include "test_util.h"

namespace {

using namespace norvek_test;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXURL;
using namespace std::string_literals;

std::string encode(const std::string& bytes) {
  CNorVekXBuffer in = buffer_of(bytes_of(bytes));
  return CNorVekXURL::encodeURIComponent(in);
}

std::string decode(const std::string& text) {
  const Bytes b = bytes_of(CNorVekXURL::decodeURIComponent(text));
  return std::string(b.begin(), b.end());
}

int hex_digit(char c) {
  const std::string digits = "0123456789abcdef";
  const auto lower = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
  const auto pos = digits.find(lower);
  return c == '\0' || pos == std::string::npos ? -1 : static_cast<int>(pos);
}

// Reference: stop at a zero character or a malformed escape, keep what came
// before it.
std::string reference_decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size() && text[i] != '\0';) {
    if (text[i] != '%') {
      out += text[i++];
      continue;
    }
    if (i + 2 >= text.size() || hex_digit(text[i + 1]) < 0 || hex_digit(text[i + 2]) < 0) break;
    out += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
    i += 3;
  }
  return out;
}

TEST(EncodeURIComponent, Examples) {
  const struct {
    std::string bytes, text;
  } cases[] = {
      {"Hello, World!", "Hello%2C%20World!"},
      {"-_.!~*'()", "-_.!~*'()"},
      {"+/=&", "%2B%2F%3D%26"},
      {"", ""},
      {"a\0b"s, "a%00b"},  // a zero byte is escaped and encoding goes on
  };
  for (const auto& c : cases) EXPECT_EQ(encode(c.bytes), c.text) << c.text;
  CNorVekXBuffer empty;  // no storage
  EXPECT_EQ(CNorVekXURL::encodeURIComponent(empty), "");
  EXPECT_EQ(empty.m_pData, nullptr);
}

TEST(EncodeURIComponent, UnreservedSetByteByByte) {
  const std::string unreserved =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.!~*'()";
  std::string all, expected_all;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    char esc[4];
    std::snprintf(esc, sizeof esc, "%%%02X", b);
    const std::string expected = unreserved.find(c) != std::string::npos ? std::string(1, c) : esc;
    EXPECT_EQ(encode(std::string(1, c)), expected) << "byte " << b;
    all += c;
    expected_all += expected;
  }
  EXPECT_EQ(encode(all), expected_all);
}

TEST(DecodeURIComponent, Examples) {
  const struct {
    std::string text, bytes;
  } cases[] = {
      {"a%20b", "a b"},
      {"%e4", "\xE4"},
      {"%E4", "\xE4"},
      {"a+b", "a+b"},  // "+" is not a blank
      {"%41%42C", "ABC"},
      {"", ""},
      {"%0f%0F%F0%ff%90%a0", "\x0f\x0f\xf0\xff\x90\xa0"},
      {"a b/\xC3\xA4", "a b/\xC3\xA4"},  // unescaped characters pass as they are
      {"a%00b", "a\0b"s},                // a decoded zero byte stays in place
      {"%00%00", "\0\0"s},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.text), c.bytes) << c.text;
}

TEST(DecodeURIComponent, MalformedEscapeOrZeroKeepsWhatCameBefore) {
  const struct {
    std::string text, bytes;
  } cases[] = {
      // clang-format off
      {"ab%", "ab"},   {"ab%4", "ab"},  {"ab%zz", "ab"},   {"ab%4g", "ab"}, {"ab%g4", "ab"},
      {"%", ""},       {"%41%4", "A"},  {"%41%%41", "A"},  {"x%-1y", "x"},  {"%41%G1%41", "A"},
      {"a%2", "a"},    {"%%", ""},      {"%4%", ""},
      // Decoding ends at the first zero character.
      {"a\0b"s, "a"},  {"\0ab"s, ""},   {"a%4\0"s, "a"},   {"a%\0" "41"s, "a"},
      // clang-format on
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.text), c.bytes) << c.text;
}

TEST(DecodeURIComponent, EveryCharacterAsAnEscapeDigit) {
  for (int c = 0; c < 256; ++c) {
    const std::string text = "%3"s + static_cast<char>(c) + "z";
    const int v = hex_digit(static_cast<char>(c));
    const std::string expected = v < 0 ? "" : std::string(1, static_cast<char>(0x30 + v)) + "z";
    EXPECT_EQ(decode(text), expected) << "char " << c;
  }
}

TEST(DecodeURIComponent, MatchesReferenceOnRandomText) {
  std::mt19937 rng(0x0DEC);
  const std::string pool = "%%%0123456789abcdefABCDEFgG+ z\xFF\0"s;
  for (int round = 0; round < 5000; ++round) {
    std::string text(rng() % 24, ' ');
    for (auto& c : text) c = pool[rng() % pool.size()];
    EXPECT_EQ(decode(text), reference_decode(text)) << text;
  }
}

TEST(URIRoundTrip, RandomDataLengths0To300) {
  std::mt19937 rng(302);
  for (size_t n = 0; n <= 300; ++n) {
    const Bytes bytes = random_bytes(rng, n);
    CNorVekXBuffer in = buffer_of(bytes);
    const std::string text = CNorVekXURL::encodeURIComponent(in);
    EXPECT_EQ(bytes_of(in), bytes) << "the input is unchanged";
    EXPECT_EQ(bytes_of(CNorVekXURL::decodeURIComponent(text)), bytes) << n;
    for (char c : text) EXPECT_TRUE(c > 0x20 && c < 0x7F) << "escaped text is printable ASCII";
  }
}

}  // namespace
