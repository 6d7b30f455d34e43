// URI component escaping. Oracles: the examples below (checked by hand and
// against Python's urllib.parse.quote with safe="-_.!~*'()"), the unreserved
// set written out independently, and a plain reference decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "norvek/url.h"

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXURL;

namespace {

CNorVekXBuffer buffer_of(const std::string& s) {
  return CNorVekXBuffer(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

std::string text_of(const CNorVekXBuffer& b) {
  return b.m_nSize == 0 ? std::string() : std::string(reinterpret_cast<const char*>(b.m_pData), b.m_nSize);
}

std::string encode(const std::string& bytes) {
  CNorVekXBuffer in = buffer_of(bytes);
  return CNorVekXURL::encodeURIComponent(in);
}

std::string decode(const std::string& text) { return text_of(CNorVekXURL::decodeURIComponent(text)); }

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

// --- encoder -------------------------------------------------------------------

TEST(EncodeURIComponent, Examples) {
  struct Case {
    std::string bytes, text;
  };
  const Case cases[] = {
      {"Hello, World!", "Hello%2C%20World!"},
      {"-_.!~*'()", "-_.!~*'()"},
      {"+/=&", "%2B%2F%3D%26"},
      {"\xE4", "%E4"},
      {std::string(1, '\0'), "%00"},
      {"\xFF", "%FF"},
      {"", ""},
      {std::string("a\0b", 3), "a%00b"},
      {"?#% ", "%3F%23%25%20"},
  };
  for (const auto& c : cases) EXPECT_EQ(encode(c.bytes), c.text) << c.text;
}

TEST(EncodeURIComponent, BufferWithoutStorage) {
  CNorVekXBuffer empty;
  EXPECT_EQ(CNorVekXURL::encodeURIComponent(empty), "");
  EXPECT_EQ(empty.m_pData, nullptr);
}

TEST(EncodeURIComponent, InputIsUnchanged) {
  const std::string bytes("a b\0\xFF", 5);
  CNorVekXBuffer in = buffer_of(bytes);
  CNorVekXURL::encodeURIComponent(in);
  EXPECT_EQ(text_of(in), bytes);
}

TEST(EncodeURIComponent, UnreservedSetByteByByte) {
  const std::string unreserved =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.!~*'()";
  std::string all;
  std::string expected_all;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    std::string expected;
    if (unreserved.find(c) != std::string::npos) {
      expected = std::string(1, c);
    } else {
      char esc[4];
      std::snprintf(esc, sizeof esc, "%%%02X", b);
      expected = esc;
    }
    EXPECT_EQ(encode(std::string(1, c)), expected) << "byte " << b;
    all += c;
    expected_all += expected;
  }
  EXPECT_EQ(encode(all), expected_all);
  EXPECT_EQ(expected_all.size(), 256u + 2 * (256 - unreserved.size()));
}

// --- decoder -------------------------------------------------------------------

TEST(DecodeURIComponent, Examples) {
  struct Case {
    std::string text, bytes;
  };
  const Case cases[] = {
      {"a%20b", "a b"},
      {"%e4", "\xE4"},
      {"%E4", "\xE4"},
      {"a+b", "a+b"},
      {"%41%42C", "ABC"},
      {"", ""},
      {"%2c%2C", ",,"},
      {"%0f%0F%F0%ff%90%a0", "\x0f\x0f\xf0\xff\x90\xa0"},
      {"a b/\xC3\xA4", "a b/\xC3\xA4"},  // unescaped characters pass as they are
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.text), c.bytes) << c.text;
}

TEST(DecodeURIComponent, ZeroEscapeStaysInPlace) {
  EXPECT_EQ(decode("a%00b"), std::string("a\0b", 3));
  EXPECT_EQ(decode("%00%00"), std::string(2, '\0'));
}

TEST(DecodeURIComponent, MalformedEscapeKeepsWhatCameBefore) {
  struct Case {
    std::string text, bytes;
  };
  const Case cases[] = {
      {"ab%", "ab"},    {"ab%4", "ab"},    {"ab%zz", "ab"},  {"ab%4g", "ab"}, {"ab%g4", "ab"},
      {"%", ""},        {"%41%4", "A"},    {"%41%%41", "A"}, {"x%-1y", "x"},  {"%41%G1%41", "A"},
      {"a%2", "a"},     {"%%", ""},        {"%4%", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.text), c.bytes) << c.text;
}

TEST(DecodeURIComponent, StopsAtTheFirstZeroCharacter) {
  EXPECT_EQ(decode(std::string("a\0b", 3)), "a");
  EXPECT_EQ(decode(std::string("\0ab", 3)), "");
  EXPECT_EQ(decode(std::string("a%4\0", 4)), "a");
  EXPECT_EQ(decode(std::string("a%\0" "41", 5)), "a");
}

TEST(DecodeURIComponent, HexDigitsOfBothCases) {
  // Every character as the low digit of an escape.
  for (int c = 0; c < 256; ++c) {
    const std::string text = std::string("%3") + static_cast<char>(c) + "z";
    const int v = hex_digit(static_cast<char>(c));
    const std::string expected = v < 0 ? "" : std::string(1, static_cast<char>(0x30 + v)) + "z";
    EXPECT_EQ(decode(text), expected) << "char " << c;
  }
}

TEST(DecodeURIComponent, MatchesReferenceOnRandomText) {
  std::mt19937 rng(0x0DEC);
  const std::string pool("%%%0123456789abcdefABCDEFgG+ z\xFF\0", 33);
  for (int round = 0; round < 5000; ++round) {
    std::string text(rng() % 24, ' ');
    for (auto& c : text) c = pool[rng() % pool.size()];
    const std::string got = decode(text);
    EXPECT_EQ(got, reference_decode(text)) << text;
    EXPECT_LE(got.size(), text.size());
  }
}

TEST(URIRoundTrip, RandomDataLengths0To300) {
  std::mt19937 rng(302);
  for (size_t n = 0; n <= 300; ++n) {
    std::string bytes(n, '\0');
    for (auto& c : bytes) c = static_cast<char>(rng());
    const std::string text = encode(bytes);
    EXPECT_EQ(decode(text), bytes) << n;
    for (char c : text) EXPECT_TRUE(c > 0x20 && c < 0x7F) << "escaped text is printable ASCII";
  }
}

}  // namespace
