// NorVekXCryptoBase64KQZP: the engine's tables, length rules and validation
// rules, the fourteen class operations, round trips, and the standard
// output checked against OpenSSL's EVP_EncodeBlock.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "norvek/base64_codec.h"

namespace {

using Codec = NorVekXCryptoBase64KQZP;
using Engine = NorVekXCryptoBase64KQZP::PrivateMethods;
using Bytes = std::vector<uint8_t>;

const std::string kStandardText = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const std::string kWebSafeText = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string text_of(const NSData& d) {
  return d.length() == 0 ? std::string() : std::string(static_cast<const char*>(d.bytes()), d.length());
}

std::string text_of(const NSString& s) { return s.isNil() ? std::string() : s.UTF8String(); }

Bytes bytes_of(const NSData& d) {
  const auto* p = static_cast<const uint8_t*>(d.bytes());
  return d.length() == 0 ? Bytes{} : Bytes(p, p + d.length());
}

Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

NSString ns(const char* utf8) { return NSString::stringWithUTF8String(utf8); }

// Data-level decode of the whole text (zero characters included); nullopt for nil.
std::optional<std::string> decode(const std::string& text, const uint8_t* table,
                                  bool requirePadding) {
  const NSData d = Engine::baseDecode(text.data(), text.size(), table, requirePadding);
  if (d.isNil()) return std::nullopt;
  return text_of(d);
}

// ---------------------------------------------------------------------------
// Tables and length rules

TEST(Base64Tables, AlphabetsAreTheTwoStandardOnes) {
  EXPECT_EQ(std::string(Engine::kStandardAlphabet), kStandardText);
  EXPECT_EQ(std::string(Engine::kWebSafeAlphabet), kWebSafeText);
}

TEST(Base64Tables, DecodeTablesFollowThePositionRule) {
  const struct {
    const uint8_t* table;
    const std::string& alphabet;
  } tables[] = {{Engine::kBase64DecodeChars, kStandardText},
                {Engine::kWebSafeBase64DecodeChars, kWebSafeText}};
  for (const auto& t : tables) {
    int outside = 0;
    for (int c = 0; c < 256; ++c) {
      const size_t pos = t.alphabet.find(static_cast<char>(c));
      const uint8_t expected = (c != 0 && pos != std::string::npos) ? static_cast<uint8_t>(pos) : 99;
      EXPECT_EQ(t.table[c], expected) << "byte " << c;
      outside += t.table[c] == 99;
    }
    EXPECT_EQ(outside, 192);
  }
}

TEST(Base64Tables, ExactlyEightWhitespaceBytes) {
  const std::vector<int> spaces = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0xA0, 0xFF};
  for (int c = 0; c < 256; ++c) {
    const bool expected = std::find(spaces.begin(), spaces.end(), c) != spaces.end();
    EXPECT_EQ(Engine::kSpaces[c] != 0, expected) << "byte " << c;
    EXPECT_EQ(Engine::IsSpace(static_cast<uint8_t>(c)), expected) << "byte " << c;
  }
}

TEST(Base64Lengths, EncodedLength) {
  const struct {
    uint64_t n, unpadded, padded;
  } cases[] = {{0, 0, 0}, {1, 2, 4}, {2, 3, 4}, {3, 4, 4},   {4, 6, 8},
               {5, 7, 8}, {6, 8, 8}, {7, 10, 12}, {57, 76, 76}, {100, 134, 136}};
  for (const auto& c : cases) {
    EXPECT_EQ(Engine::CalcEncodedLength(c.n, false), c.unpadded) << c.n;
    EXPECT_EQ(Engine::CalcEncodedLength(c.n, true), c.padded) << c.n;
  }
}

TEST(Base64Lengths, DecodedLengthBound) {
  const struct {
    uint64_t n, bound;
  } cases[] = {{0, 0}, {1, 3}, {3, 3}, {4, 3}, {5, 6}, {8, 6}, {9, 9}};
  for (const auto& c : cases) EXPECT_EQ(Engine::CalcDecodedLengthBound(c.n), c.bound) << c.n;
  // No wrap-around at the top of the range.
  EXPECT_EQ(Engine::CalcDecodedLengthBound(UINT64_MAX), UINT64_MAX / 4 * 3 + 3);
}

// ---------------------------------------------------------------------------
// Engine: encoding examples

TEST(Base64Engine, EncodingExamples) {
  const struct {
    Bytes in;
    const char* alphabet;
    bool padded;
    const char* expected;
  } cases[] = {
      {{'M', 'a', 'n'}, Engine::kStandardAlphabet, true, "TWFu"},
      {{'M', 'a', 'n'}, Engine::kStandardAlphabet, false, "TWFu"},
      {{0xFB}, Engine::kWebSafeAlphabet, true, "-w=="},
      {{0xFB}, Engine::kWebSafeAlphabet, false, "-w"},
      {{0xFB, 0xFF}, Engine::kWebSafeAlphabet, true, "-_8="},
      {{0xFB, 0xFF}, Engine::kWebSafeAlphabet, false, "-_8"},
      {{0xFB, 0xFF}, Engine::kStandardAlphabet, true, "+/8="},
      {{'M'}, Engine::kStandardAlphabet, true, "TQ=="},
      {{'M', 'a'}, Engine::kStandardAlphabet, true, "TWE="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text_of(Engine::baseEncode(c.in.data(), c.in.size(), c.alphabet, c.padded)),
              c.expected);
  }
  // An empty input encodes to nothing, which is nil.
  EXPECT_TRUE(Engine::baseEncode("", 0, Engine::kStandardAlphabet, true).isNil());
  EXPECT_TRUE(Engine::baseEncode(nullptr, 0, Engine::kWebSafeAlphabet, false).isNil());
}

// ---------------------------------------------------------------------------
// Engine: decoding rules, as tables of valid and invalid texts

struct DecodeCase {
  std::string text;
  std::optional<std::string> expected;  // nullopt: nil
};

enum class Table { kStandard, kWebSafe };

void check_group(const char* group, Table table, bool requirePadding,
                 const std::vector<DecodeCase>& cases) {
  const uint8_t* t =
      table == Table::kStandard ? Engine::kBase64DecodeChars : Engine::kWebSafeBase64DecodeChars;
  for (const DecodeCase& c : cases) {
    const auto got = decode(c.text, t, requirePadding);
    EXPECT_EQ(got, c.expected) << group << ": \"" << c.text << "\" requirePadding=" << requirePadding;
  }
}

const std::optional<std::string> kNil = std::nullopt;
using namespace std::string_literals;

TEST(Base64DecodeRules, Whitespace) {
  const std::vector<DecodeCase> cases = {
      {"TWFu", "Man"},
      {"TW Fu", "Man"},
      {"TWFu\r\n", "Man"},
      {"\t T\nW\vF\fu\r ", "Man"},
      {"TQ = =", "M"},
      {" TQ==", "M"},
      {"TQ==\r\n", "M"},
      {"TW\xA0" "Fu", "Man"},  // no-break space
      {"TW\xFF" "Fu", "Man"},
      {"   ", kNil},  // no bytes
      {"\r\n", kNil},
      {"TW\x85" "Fu", kNil},  // NEL is not whitespace here
      {"TW\x1C" "Fu", kNil},
  };
  for (bool requirePadding : {true, false}) {
    check_group("whitespace", Table::kStandard, requirePadding, cases);
    check_group("whitespace", Table::kWebSafe, requirePadding, cases);
  }
}

TEST(Base64DecodeRules, PaddingPlacement) {
  const std::vector<DecodeCase> cases = {
      {"TQ==", "M"},
      {"TWE=", "Ma"},
      {"TQ= =", "M"},
      {"TWE= \n", "Ma"},
      {"TWFuTQ==", "ManM"},
      {"TQ==\0junk"s, "M"},  // a zero character ends the input
      {"TQ=", kNil},         // state 2 needs two "="
      {"TQ= ", kNil},
      {"TQ=\0="s, kNil},     // the zero character ends it before the second "="
      {"TQ=x=", kNil},
      {"TWE==", kNil},       // a further "=" after the padding
      {"TQ===", kNil},
      {"TQ==x", kNil},
      {"TQ==TQ==", kNil},    // nothing but whitespace after padding
      {"=", kNil},           // padding in state 0
      {"TWFu=", kNil},
      {"TWFu====", kNil},
      {"T=", kNil},          // padding in state 1
      {"T===", kNil},
      {"==", kNil},
  };
  for (bool requirePadding : {true, false}) {
    check_group("padding", Table::kStandard, requirePadding, cases);
  }
}

TEST(Base64DecodeRules, TrailingBits) {
  check_group("trailing bits", Table::kStandard, true,
              {{"TQ==", "M"}, {"TR==", kNil}, {"TW==", kNil}, {"TWE=", "Ma"}, {"TWF=", kNil},
               {"TWH=", kNil}, {"AA==", "\0"s}, {"AB==", kNil}, {"AAA=", "\0\0"s}, {"AAB=", kNil}});
  check_group("trailing bits", Table::kStandard, false,
              {{"TQ", "M"}, {"TR", kNil}, {"TWE", "Ma"}, {"TWF", kNil}});
}

TEST(Base64DecodeRules, RequirePadding) {
  check_group("padding required", Table::kStandard, true,
              {{"TWFu", "Man"},
               {"TWE=", "Ma"},
               {"TQ==", "M"},
               {"TQ", kNil},
               {"TWE", kNil},
               {"T", kNil},
               {"TWFuT", kNil},
               {"TW Fu T", kNil}});
  check_group("padding optional", Table::kStandard, false,
              {{"TWFu", "Man"},
               {"TWE=", "Ma"},
               {"TQ==", "M"},
               {"TQ", "M"},
               {"TWE", "Ma"},
               {"T", kNil},  // one lone character cannot stand for a byte
               {"TWFuT", kNil},
               {"TW Fu T", kNil}});
}

TEST(Base64DecodeRules, EachTableAcceptsOnlyItsAlphabet) {
  check_group("standard", Table::kStandard, true,
              {{"+/8=", "\xFB\xFF"}, {"-_8=", kNil}, {"-w==", kNil}, {"_w==", kNil}});
  check_group("web-safe", Table::kWebSafe, false,
              {{"-_8=", "\xFB\xFF"}, {"-_8", "\xFB\xFF"}, {"+/8=", kNil}, {"+w==", kNil}, {"/w", kNil}});
  // Every printable character outside both alphabets, in the middle of a group.
  for (int c = 0x21; c < 0x7F; ++c) {
    const bool inStandard = kStandardText.find(static_cast<char>(c)) != std::string::npos;
    const bool inWebSafe = kWebSafeText.find(static_cast<char>(c)) != std::string::npos;
    if (c == '=') continue;
    const std::string text = "TW"s + static_cast<char>(c) + "u";
    EXPECT_EQ(decode(text, Engine::kBase64DecodeChars, true).has_value(), inStandard) << c;
    EXPECT_EQ(decode(text, Engine::kWebSafeBase64DecodeChars, false).has_value(), inWebSafe) << c;
  }
}

TEST(Base64DecodeRules, BytesFrom0x80UpFailExceptTheTwoSpaces) {
  for (int c = 0x80; c <= 0xFF; ++c) {
    const std::string text = "TW"s + static_cast<char>(c) + "Fu";
    const bool space = c == 0xA0 || c == 0xFF;
    for (const uint8_t* t : {Engine::kBase64DecodeChars, Engine::kWebSafeBase64DecodeChars}) {
      EXPECT_EQ(decode(text, t, true), space ? std::optional<std::string>("Man") : kNil) << c;
    }
  }
}

TEST(Base64DecodeRules, AZeroCharacterEndsTheInput) {
  const std::vector<DecodeCase> cases = {
      {"TWFu\0xx!!"s, "Man"},
      {"TWFu\0"s, "Man"},
      {"\0TWFu"s, kNil},  // nothing before it: no bytes
      {"TW\0Fu"s, kNil},  // an unfinished group
      {"TWE=\0=="s, "Ma"},
  };
  check_group("zero", Table::kStandard, true, cases);
  check_group("zero", Table::kWebSafe, false,
              {{"TWFu\0!!"s, "Man"}, {"TW\0Fu"s, kNil}, {"TWE\0 x"s, "Ma"}});
}

TEST(Base64DecodeRules, DataLevelDecoderTrims) {
  const NSData one = Engine::baseDecode("TQ==", 4, Engine::kBase64DecodeChars, true);
  ASSERT_FALSE(one.isNil());
  EXPECT_EQ(one.length(), 1u);
  EXPECT_EQ(bytes_of(one), Bytes{0x4D});
  const NSData three = Engine::baseDecode("TWFu", 4, Engine::kBase64DecodeChars, true);
  EXPECT_EQ(three.length(), 3u);
  EXPECT_TRUE(Engine::baseDecode("", 0, Engine::kBase64DecodeChars, true).isNil());
  EXPECT_TRUE(Engine::baseDecode(nullptr, 4, Engine::kBase64DecodeChars, false).isNil());
}

// ---------------------------------------------------------------------------
// Engine: the area-level operations and their output size

TEST(Base64Area, EncoderNeedsTheEncodedLength) {
  const Bytes in = {1, 2, 3, 4};
  for (bool padded : {true, false}) {
    const uint64_t need = Engine::CalcEncodedLength(in.size(), padded);
    std::string area(need + 1, '#');
    EXPECT_EQ(Engine::baseEncode(in.data(), in.size(), area.data(), need - 1,
                                 Engine::kStandardAlphabet, padded),
              0u);
    EXPECT_EQ(area, std::string(need + 1, '#'));  // nothing written
    EXPECT_EQ(Engine::baseEncode(in.data(), in.size(), area.data(), need,
                                 Engine::kStandardAlphabet, padded),
              need);
    EXPECT_EQ(area.substr(0, need), padded ? "AQIDBA==" : "AQIDBA");
    EXPECT_EQ(area[need], '#');
  }
  char area[8];
  EXPECT_EQ(Engine::baseEncode(in.data(), 0, area, 8, Engine::kStandardAlphabet, true), 0u);
  EXPECT_EQ(Engine::baseEncode(in.data(), 4, area, 0, Engine::kStandardAlphabet, true), 0u);
  EXPECT_EQ(Engine::baseEncode(nullptr, 4, area, 8, Engine::kStandardAlphabet, true), 0u);
  EXPECT_EQ(Engine::baseEncode(in.data(), 4, nullptr, 8, Engine::kStandardAlphabet, true), 0u);
}

TEST(Base64Area, DecoderNeedsTheLengthBound) {
  const std::string text = "TWFu TQ==";  // 9 characters: bound 9, four bytes decoded
  const uint64_t bound = Engine::CalcDecodedLengthBound(text.size());
  Bytes area(bound + 1, 0);
  EXPECT_EQ(Engine::baseDecode(text.data(), text.size(), area.data(), bound - 1,
                               Engine::kBase64DecodeChars, true),
            0u);
  area.assign(bound + 1, 0);
  EXPECT_EQ(Engine::baseDecode(text.data(), text.size(), area.data(), bound,
                               Engine::kBase64DecodeChars, true),
            4u);
  EXPECT_EQ(Bytes(area.begin(), area.begin() + 4), (Bytes{'M', 'a', 'n', 'M'}));
  uint8_t small[4] = {};
  EXPECT_EQ(Engine::baseDecode("TWFu", 0, small, 4, Engine::kBase64DecodeChars, true), 0u);
  EXPECT_EQ(Engine::baseDecode("TWFu", 4, small, 0, Engine::kBase64DecodeChars, true), 0u);
  EXPECT_EQ(Engine::baseDecode(nullptr, 4, small, 4, Engine::kBase64DecodeChars, true), 0u);
  EXPECT_EQ(Engine::baseDecode("TWFu", 4, nullptr, 4, Engine::kBase64DecodeChars, true), 0u);
}

TEST(Base64Area, DecoderReliesOnAZeroFilledArea) {
  // In state 0 the final check reads a byte the loop never wrote.
  uint8_t area[6];
  std::memset(area, 0xEE, sizeof area);
  EXPECT_EQ(Engine::baseDecode("TWFu\r\n", 6, area, 6, Engine::kBase64DecodeChars, true), 0u);
  std::memset(area, 0, sizeof area);
  EXPECT_EQ(Engine::baseDecode("TWFu\r\n", 6, area, 6, Engine::kBase64DecodeChars, true), 3u);
}

TEST(Base64Area, DecoderStoresStayInsideTheBound) {
  std::mt19937 rng(0xB64A);
  const std::string pool = kStandardText + "= \n\xA0";
  for (int iter = 0; iter < 20000; ++iter) {
    std::string text(1 + rng() % 12, ' ');
    for (char& c : text) c = pool[rng() % pool.size()];
    const uint64_t bound = Engine::CalcDecodedLengthBound(text.size());
    Bytes area(bound + 4, 0);
    std::memset(area.data() + bound, 0xEE, 4);
    const uint64_t n = Engine::baseDecode(text.data(), text.size(), area.data(), bound,
                                          Engine::kBase64DecodeChars, iter % 2 == 0);
    EXPECT_LE(n, bound);
    EXPECT_EQ(Bytes(area.begin() + bound, area.end()), Bytes(4, 0xEE)) << text;
  }
}

TEST(Base64Area, GroupFastPathAgreesWithTheCharacterByCharacterDecoder) {
  // A copy of a table is a caller's own table: it takes the plain state machine.
  Bytes standardCopy(Engine::kBase64DecodeChars, Engine::kBase64DecodeChars + 256);
  Bytes webSafeCopy(Engine::kWebSafeBase64DecodeChars, Engine::kWebSafeBase64DecodeChars + 256);
  std::mt19937 rng(0xFA57);
  const std::string pool = kStandardText + "-_==  \n\0\xA0\xFF!"s;
  for (int iter = 0; iter < 50000; ++iter) {
    std::string text(1 + rng() % 24, ' ');
    // Mostly alphabet characters, so that whole groups and their breaks both occur.
    for (char& c : text) c = rng() % 8 != 0 ? kStandardText[rng() % 64] : pool[rng() % pool.size()];
    const bool requirePadding = iter % 2 == 0;
    const uint64_t bound = Engine::CalcDecodedLengthBound(text.size());
    for (int t = 0; t < 2; ++t) {
      const uint8_t* ours = t == 0 ? Engine::kBase64DecodeChars : Engine::kWebSafeBase64DecodeChars;
      const uint8_t* copy = t == 0 ? standardCopy.data() : webSafeCopy.data();
      Bytes fast(bound, 0), plain(bound, 0);
      const uint64_t nFast = Engine::baseDecode(text.data(), text.size(), fast.data(), bound, ours,
                                                requirePadding);
      const uint64_t nPlain = Engine::baseDecode(text.data(), text.size(), plain.data(), bound,
                                                 copy, requirePadding);
      ASSERT_EQ(nFast, nPlain) << text;
      EXPECT_TRUE(std::equal(fast.begin(), fast.begin() + nFast, plain.begin())) << text;
    }
  }
}

// ---------------------------------------------------------------------------
// Class operations

TEST(Base64Class, ConcreteExamples) {
  const uint8_t man[] = {'M', 'a', 'n'};
  const uint8_t m = 0x4D;
  const uint8_t fbff[] = {0xFB, 0xFF};
  EXPECT_EQ(text_of(Codec::encodeData(NSData::dataWithBytes(man, 3))), "TWFu");
  EXPECT_EQ(text_of(Codec::stringByEncodingBytes(&m, 1)), "TQ==");
  EXPECT_EQ(text_of(Codec::stringByEncodingData(NSData::dataWithBytes(man, 3))), "TWFu");
  EXPECT_EQ(text_of(Codec::encodeBytes(fbff, 2)), "+/8=");
  EXPECT_EQ(text_of(Codec::webSafeEncodeBytes(fbff, 2, true)), "-_8=");
  EXPECT_EQ(text_of(Codec::webSafeEncodeBytes(fbff, 2, false)), "-_8");
  EXPECT_EQ(text_of(Codec::webSafeEncodeData(NSData::dataWithBytes(fbff, 2), false)), "-_8");
  EXPECT_EQ(text_of(Codec::stringByWebSafeEncodingData(NSData::dataWithBytes(&m, 1), true)), "TQ==");
  EXPECT_EQ(text_of(Codec::stringByWebSafeEncodingBytes(&m, 1, false)), "TQ");

  EXPECT_EQ(bytes_of(Codec::decodeString(ns("TQ=="))), Bytes{0x4D});
  EXPECT_TRUE(Codec::decodeString(ns("TQ")).isNil());
  EXPECT_EQ(bytes_of(Codec::webSafeDecodeString(ns("TQ"))), Bytes{0x4D});
  EXPECT_EQ(text_of(Codec::decodeData(NSData::dataWithBytes("TW Fu", 5))), "Man");
  EXPECT_TRUE(Codec::decodeData(NSData::dataWithBytes("-_8=", 4)).isNil());
  EXPECT_TRUE(Codec::webSafeDecodeData(NSData::dataWithBytes("+/8=", 4)).isNil());
  EXPECT_EQ(bytes_of(Codec::webSafeDecodeBytes("-_8", 3)), (Bytes{0xFB, 0xFF}));
  EXPECT_EQ(bytes_of(Codec::decodeBytes("+/8=", 4)), (Bytes{0xFB, 0xFF}));
  EXPECT_TRUE(Codec::decodeBytes("+/8", 3).isNil());
}

TEST(Base64Class, EmptyNilAndNonAsciiGiveNil) {
  const NSData nil;
  const NSData empty = NSData::dataWithBytes(nullptr, 0);
  for (const NSData& d : {nil, empty}) {
    EXPECT_TRUE(Codec::encodeData(d).isNil());
    EXPECT_TRUE(Codec::decodeData(d).isNil());
    EXPECT_TRUE(Codec::stringByEncodingData(d).isNil());
    EXPECT_TRUE(Codec::webSafeEncodeData(d, true).isNil());
    EXPECT_TRUE(Codec::webSafeEncodeData(d, false).isNil());
    EXPECT_TRUE(Codec::webSafeDecodeData(d).isNil());
    EXPECT_TRUE(Codec::stringByWebSafeEncodingData(d, true).isNil());
  }
  EXPECT_TRUE(Codec::encodeBytes("x", 0).isNil());
  EXPECT_TRUE(Codec::stringByEncodingBytes(nullptr, 0).isNil());
  EXPECT_TRUE(Codec::stringByWebSafeEncodingBytes("x", 0, false).isNil());
  EXPECT_TRUE(Codec::webSafeDecodeBytes(nullptr, 0).isNil());
  for (const NSString& s : {NSString(), ns(""), ns("   "), ns("TQ==\xC3\xA9"), ns("\xC3\xA9")}) {
    EXPECT_TRUE(Codec::decodeString(s).isNil());
    EXPECT_TRUE(Codec::webSafeDecodeString(s).isNil());
  }
}

TEST(Base64Class, EncodedStringsAreAscii) {
  const Bytes all = [] {
    Bytes b(256);
    for (int i = 0; i < 256; ++i) b[i] = static_cast<uint8_t>(i);
    return b;
  }();
  const NSString s = Codec::stringByEncodingBytes(all.data(), all.size());
  ASSERT_FALSE(s.isNil());
  EXPECT_EQ(s.length(), Engine::CalcEncodedLength(256, true));
  EXPECT_EQ(bytes_of(Codec::decodeString(s)), all);
}

// ---------------------------------------------------------------------------
// Round trips and OpenSSL

// Each pair: encode bytes to text, decode text back to bytes.
struct Pair {
  const char* name;
  std::function<std::string(const Bytes&)> encode;
  std::function<std::optional<Bytes>(const std::string&)> decode;
};

std::optional<Bytes> maybe(const NSData& d) {
  if (d.isNil()) return std::nullopt;
  return bytes_of(d);
}

NSData data_of(const Bytes& b) { return NSData::dataWithBytes(b.data(), b.size()); }
NSData data_of(const std::string& s) { return NSData::dataWithBytes(s.data(), s.size()); }
NSString string_of(const std::string& s) { return ns(s.c_str()); }

std::vector<Pair> all_pairs() {
  std::vector<Pair> pairs = {
      {"encodeData/decodeData", [](const Bytes& b) { return text_of(Codec::encodeData(data_of(b))); },
       [](const std::string& t) { return maybe(Codec::decodeData(data_of(t))); }},
      {"encodeBytes/decodeBytes",
       [](const Bytes& b) { return text_of(Codec::encodeBytes(b.data(), b.size())); },
       [](const std::string& t) { return maybe(Codec::decodeBytes(t.data(), t.size())); }},
      {"stringByEncodingData/decodeString",
       [](const Bytes& b) { return text_of(Codec::stringByEncodingData(data_of(b))); },
       [](const std::string& t) { return maybe(Codec::decodeString(string_of(t))); }},
      {"stringByEncodingBytes/decodeString",
       [](const Bytes& b) { return text_of(Codec::stringByEncodingBytes(b.data(), b.size())); },
       [](const std::string& t) { return maybe(Codec::decodeString(string_of(t))); }},
      {"engine standard unpadded",
       [](const Bytes& b) {
         return text_of(Engine::baseEncode(b.data(), b.size(), Engine::kStandardAlphabet, false));
       },
       [](const std::string& t) {
         return maybe(Engine::baseDecode(t.data(), t.size(), Engine::kBase64DecodeChars, false));
       }},
  };
  for (bool padded : {true, false}) {
    pairs.push_back({padded ? "webSafeEncodeData/webSafeDecodeData padded"
                            : "webSafeEncodeData/webSafeDecodeData unpadded",
                     [padded](const Bytes& b) {
                       return text_of(Codec::webSafeEncodeData(data_of(b), padded));
                     },
                     [](const std::string& t) { return maybe(Codec::webSafeDecodeData(data_of(t))); }});
    pairs.push_back({padded ? "webSafeEncodeBytes/webSafeDecodeBytes padded"
                            : "webSafeEncodeBytes/webSafeDecodeBytes unpadded",
                     [padded](const Bytes& b) {
                       return text_of(Codec::webSafeEncodeBytes(b.data(), b.size(), padded));
                     },
                     [](const std::string& t) {
                       return maybe(Codec::webSafeDecodeBytes(t.data(), t.size()));
                     }});
    pairs.push_back({padded ? "stringByWebSafeEncodingData/webSafeDecodeString padded"
                            : "stringByWebSafeEncodingData/webSafeDecodeString unpadded",
                     [padded](const Bytes& b) {
                       return text_of(Codec::stringByWebSafeEncodingData(data_of(b), padded));
                     },
                     [](const std::string& t) {
                       return maybe(Codec::webSafeDecodeString(string_of(t)));
                     }});
    pairs.push_back({padded ? "stringByWebSafeEncodingBytes/webSafeDecodeString padded"
                            : "stringByWebSafeEncodingBytes/webSafeDecodeString unpadded",
                     [padded](const Bytes& b) {
                       return text_of(Codec::stringByWebSafeEncodingBytes(b.data(), b.size(), padded));
                     },
                     [](const std::string& t) {
                       return maybe(Codec::webSafeDecodeString(string_of(t)));
                     }});
  }
  return pairs;
}

TEST(Base64RoundTrip, EveryPairRandomLengths0To300) {
  std::mt19937 rng(0x0B64);
  const auto pairs = all_pairs();
  for (size_t n = 0; n <= 300; ++n) {
    const Bytes in = random_bytes(rng, n);
    for (const Pair& p : pairs) {
      const std::string text = p.encode(in);
      if (n == 0) {
        EXPECT_TRUE(text.empty()) << p.name;
        continue;
      }
      const auto back = p.decode(text);
      ASSERT_TRUE(back.has_value()) << p.name << " n=" << n << " text=" << text;
      EXPECT_EQ(*back, in) << p.name << " n=" << n;
    }
  }
}

TEST(Base64RoundTrip, WebSafeIsStandardWithTwoCharactersSwapped) {
  std::mt19937 rng(0x5AFE);
  for (size_t n = 1; n <= 100; ++n) {
    const Bytes in = random_bytes(rng, n);
    std::string standard = text_of(Codec::encodeBytes(in.data(), n));
    for (char& c : standard) c = c == '+' ? '-' : c == '/' ? '_' : c;
    EXPECT_EQ(text_of(Codec::webSafeEncodeBytes(in.data(), n, true)), standard);
    const std::string unpadded = standard.substr(0, standard.find('='));
    EXPECT_EQ(text_of(Codec::webSafeEncodeBytes(in.data(), n, false)), unpadded);
  }
}

TEST(Base64OpenSsl, StandardOutputEqualsEvpEncodeBlock) {
  std::mt19937 rng(0xE7B);
  for (size_t n = 1; n <= 300; ++n) {
    const Bytes in = random_bytes(rng, n);
    std::string expected(4 * ((n + 2) / 3) + 1, '\0');
    const int len = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(expected.data()), in.data(),
                                    static_cast<int>(n));
    expected.resize(static_cast<size_t>(len));
    EXPECT_EQ(text_of(Codec::encodeBytes(in.data(), n)), expected) << n;
  }
}

TEST(Base64OpenSsl, DecodesOpenSslLineBrokenOutput) {
  // EVP_EncodeUpdate breaks lines every 64 characters with "\n".
  std::mt19937 rng(0x11E);
  for (size_t n : {1u, 47u, 48u, 49u, 200u, 1000u}) {
    const Bytes in = random_bytes(rng, n);
    std::string text(n * 2 + 80, '\0');
    EVP_ENCODE_CTX* ctx = EVP_ENCODE_CTX_new();
    EVP_EncodeInit(ctx);
    int out1 = 0, out2 = 0;
    ASSERT_EQ(EVP_EncodeUpdate(ctx, reinterpret_cast<unsigned char*>(text.data()), &out1, in.data(),
                               static_cast<int>(n)),
              1);
    EVP_EncodeFinal(ctx, reinterpret_cast<unsigned char*>(text.data()) + out1, &out2);
    EVP_ENCODE_CTX_free(ctx);
    text.resize(static_cast<size_t>(out1 + out2));
    EXPECT_EQ(bytes_of(Codec::decodeData(data_of(text))), in) << n;
  }
}

}  // namespace
