// NorVekXCryptoBase64KQZP: the engine's length and validation rules, its
// tables swept byte by byte, the area-level operations, and the fourteen
// class operations checked against OpenSSL's EVP_EncodeBlock (the web-safe
// alphabet is the standard one with "-" for "+" and "_" for "/").
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <string>

#include "norvek/base64_codec.h"
#include "test_util.h"

namespace {

using namespace norvek_test;
using namespace std::string_literals;
using Codec = NorVekXCryptoBase64KQZP;
using Engine = NorVekXCryptoBase64KQZP::PrivateMethods;

const std::string kStandardText =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const std::string kWebSafeText = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
const std::optional<std::string> kNil = std::nullopt;

// Data-level decode of the whole text (zero characters included); nullopt for nil.
std::optional<std::string> decode(const std::string& text, const uint8_t* table,
                                  bool requirePadding) {
  const NSData d = Engine::baseDecode(text.data(), text.size(), table, requirePadding);
  if (d.isNil()) return std::nullopt;
  return text_of(d);
}

std::string openssl_encode(const Bytes& in) {
  std::string text(4 * ((in.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), in.data(),
                                static_cast<int>(in.size()));
  text.resize(static_cast<size_t>(n));
  return text;
}

// ---------------------------------------------------------------------------
// Engine

TEST(Base64Engine, LengthRules) {
  const struct {
    uint64_t n, unpadded, padded, bound;
  } cases[] = {{0, 0, 0, 0},   {1, 2, 4, 3},   {2, 3, 4, 3},     {3, 4, 4, 3},
               {4, 6, 8, 3},   {5, 7, 8, 6},   {6, 8, 8, 6},     {7, 10, 12, 6},
               {8, 11, 12, 6}, {9, 12, 12, 9}, {57, 76, 76, 45}, {100, 134, 136, 75}};
  for (const auto& c : cases) {
    EXPECT_EQ(Engine::CalcEncodedLength(c.n, false), c.unpadded) << c.n;
    EXPECT_EQ(Engine::CalcEncodedLength(c.n, true), c.padded) << c.n;
    EXPECT_EQ(Engine::CalcDecodedLengthBound(c.n), c.bound) << c.n;
  }
  // No wrap-around at the top of the range: the bound saturates nowhere, and
  // lengths whose encoded count would not fit are refused with 0.
  EXPECT_EQ(Engine::CalcDecodedLengthBound(UINT64_MAX), UINT64_MAX / 4 * 3 + 3);
  const uint64_t largest = (uint64_t{1} << 61) - 1;
  // 2^61 - 1 = 3k + 1: k full groups, then two characters and two pads.
  EXPECT_EQ(Engine::CalcEncodedLength(largest, true), (largest / 3 + 1) * 4);
  EXPECT_EQ(Engine::CalcEncodedLength(largest, false), (largest / 3 + 1) * 4 - 2);
  for (uint64_t n : {largest + 1, UINT64_MAX / 6, UINT64_MAX}) {
    for (bool padded : {false, true}) EXPECT_EQ(Engine::CalcEncodedLength(n, padded), 0u) << n;
  }
  // The encoders then fail without sizing or reading anything.
  const uint8_t byte = 1;
  EXPECT_TRUE(Engine::baseEncode(&byte, largest + 1, Engine::kStandardAlphabet, true).isNil());
  char area[8];
  EXPECT_EQ(
      Engine::baseEncode(&byte, largest + 1, area, UINT64_MAX, Engine::kStandardAlphabet, true),
      0u);
}

// Each text decoded with the standard table, padding required and optional.
TEST(Base64Engine, DecodingRules) {
  const struct {
    std::string text;
    std::optional<std::string> required, optional;
  } cases[] = {
      // Whitespace is skipped anywhere, padding included.
      {"TW Fu", "Man", "Man"},
      {"TWFu\r\n", "Man", "Man"},
      {"\t T\nW\vF\fu\r ", "Man", "Man"},
      {"TQ = =", "M", "M"},
      {" TQ==\r\n", "M", "M"},
      {"TWE= \n", "Ma", "Ma"},
      {"   ", kNil, kNil},  // no bytes
      // Padding: two "=" after two characters, one after three, then only whitespace.
      {"TQ==", "M", "M"},
      {"TWE=", "Ma", "Ma"},
      {"TWFuTQ==", "ManM", "ManM"},
      {"TQ=", kNil, kNil},
      {"TQ= ", kNil, kNil},
      {"TQ=x=", kNil, kNil},
      {"TWE==", kNil, kNil},
      {"TQ===", kNil, kNil},
      {"TQ==x", kNil, kNil},
      {"TQ==TQ==", kNil, kNil},
      {"=", kNil, kNil},  // padding in state 0 or 1
      {"==", kNil, kNil},
      {"TWFu=", kNil, kNil},
      {"TWFu====", kNil, kNil},
      {"T=", kNil, kNil},
      {"T===", kNil, kNil},
      // The last character may not carry bits beyond the decoded bytes.
      {"TR==", kNil, kNil},
      {"TW==", kNil, kNil},
      {"TWF=", kNil, kNil},
      {"TWH=", kNil, kNil},
      {"AA==", "\0"s, "\0"s},
      {"AB==", kNil, kNil},
      {"AAA=", "\0\0"s, "\0\0"s},
      {"AAB=", kNil, kNil},
      {"TR", kNil, kNil},
      {"TWF", kNil, kNil},
      // Unpadded final groups pass only when padding is optional; one lone
      // character never does.
      {"TWFu", "Man", "Man"},
      {"TQ", kNil, "M"},
      {"TWE", kNil, "Ma"},
      {"T", kNil, kNil},
      {"TWFuT", kNil, kNil},
      {"TW Fu T", kNil, kNil},
      // A zero character ends the input.
      {"TWFu\0xx!!"s, "Man", "Man"},
      {"TQ==\0junk"s, "M", "M"},
      {"TWE=\0=="s, "Ma", "Ma"},
      {"TWE\0 x"s, kNil, "Ma"},
      {"TQ=\0="s, kNil, kNil},  // before the second "="
      {"\0TWFu"s, kNil, kNil},
      {"TW\0Fu"s, kNil, kNil},
  };
  for (const auto& c : cases) {
    const std::string quoted = '"' + c.text + '"';
    EXPECT_EQ(decode(c.text, Engine::kBase64DecodeChars, true), c.required) << quoted;
    EXPECT_EQ(decode(c.text, Engine::kBase64DecodeChars, false), c.optional) << quoted;
  }
}

// Every byte value inside a group, with each table: an alphabet character
// decodes ("TW?u" re-encodes to itself), one of the eight whitespace bytes is
// skipped ("TW?Fu" is "Man"), anything else fails.
TEST(Base64Engine, EveryByteAgainstEachTable) {
  const Bytes spaces = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0xA0, 0xFF};
  const struct {
    const uint8_t* table;
    const char* alphabet;
    const std::string& text;
  } tables[] = {{Engine::kBase64DecodeChars, Engine::kStandardAlphabet, kStandardText},
                {Engine::kWebSafeBase64DecodeChars, Engine::kWebSafeAlphabet, kWebSafeText}};
  for (const auto& t : tables) {
    EXPECT_EQ(std::count(t.table, t.table + 256, 99), 192) << "99 marks the 192 outsiders";
    for (int c = 0; c < 256; ++c) {
      const char ch = static_cast<char>(c);
      const bool inAlphabet = c != 0 && t.text.find(ch) != std::string::npos;
      const bool space = std::find(spaces.begin(), spaces.end(), c) != spaces.end();
      for (bool requirePadding : {true, false}) {
        const std::string group = "TW"s + ch + "u";
        const auto bytes = decode(group, t.table, requirePadding);
        ASSERT_EQ(bytes.has_value(), inAlphabet) << t.text << " byte " << c;
        if (inAlphabet) {
          EXPECT_EQ(text_of(Engine::baseEncode(bytes->data(), 3, t.alphabet, true)), group);
        }
        EXPECT_EQ(decode("TW"s + ch + "Fu", t.table, requirePadding),
                  space ? std::optional<std::string>("Man") : kNil)
            << t.text << " byte " << c;
      }
    }
  }
}

TEST(Base64Engine, AreaEncoderNeedsTheEncodedLength) {
  const Bytes in = {1, 2, 3, 4};
  for (bool padded : {true, false}) {
    const uint64_t need = Engine::CalcEncodedLength(in.size(), padded);
    std::string area(need + 1, '#');
    EXPECT_EQ(Engine::baseEncode(in.data(), in.size(), area.data(), need - 1,
                                 Engine::kStandardAlphabet, padded),
              0u);
    EXPECT_EQ(area, std::string(need + 1, '#'));  // nothing written
    EXPECT_EQ(Engine::baseEncode(in.data(), in.size(), area.data(), need, Engine::kStandardAlphabet,
                                 padded),
              need);
    EXPECT_EQ(area, padded ? "AQIDBA==#" : "AQIDBA#");
  }
  char area[8];
  EXPECT_EQ(Engine::baseEncode(in.data(), 0, area, 8, Engine::kStandardAlphabet, true), 0u);
  EXPECT_EQ(Engine::baseEncode(in.data(), 4, area, 0, Engine::kStandardAlphabet, true), 0u);
  EXPECT_EQ(Engine::baseEncode(nullptr, 4, area, 8, Engine::kStandardAlphabet, true), 0u);
  EXPECT_EQ(Engine::baseEncode(in.data(), 4, nullptr, 8, Engine::kStandardAlphabet, true), 0u);
}

// The library's own alphabets take a pair-table path; any other alphabet
// (here a copy, and the reversed standard alphabet) the plain loop. Both give
// the same characters by position and write exactly the encoded length.
TEST(Base64Engine, PairTablePathAgreesWithThePlainLoop) {
  const std::string standardCopy = kStandardText, webSafeCopy = kWebSafeText;
  const std::string reversed(kStandardText.rbegin(), kStandardText.rend());
  std::mt19937 rng(0x9A12);
  for (size_t n = 1; n <= 100; ++n) {
    const Bytes in = random_bytes(rng, n);
    for (bool padded : {true, false}) {
      const uint64_t need = Engine::CalcEncodedLength(n, padded);
      auto encode = [&](const char* charset) {
        std::string area(need + 4, '#');
        EXPECT_EQ(Engine::baseEncode(in.data(), n, area.data(), need, charset, padded), need);
        EXPECT_EQ(area.substr(need), "####") << "store past the encoded length";
        area.resize(need);
        return area;
      };
      const std::string standard = encode(Engine::kStandardAlphabet);
      ASSERT_EQ(standard, encode(standardCopy.c_str())) << n;
      std::string mapped = standard, webSafe = standard;
      for (char& c : mapped) c = c == '=' ? c : reversed[kStandardText.find(c)];
      for (char& c : webSafe) c = c == '=' ? c : kWebSafeText[kStandardText.find(c)];
      ASSERT_EQ(encode(reversed.c_str()), mapped) << n;
      ASSERT_EQ(encode(Engine::kWebSafeAlphabet), webSafe) << n;
      ASSERT_EQ(encode(webSafeCopy.c_str()), webSafe) << n;
    }
  }
}

TEST(Base64Engine, AreaDecoderNeedsTheLengthBoundAndAZeroFilledArea) {
  const char* text = "TWFu TQ==";  // 9 characters: bound 9, four bytes decoded
  Bytes area(10, 0);
  EXPECT_EQ(Engine::baseDecode(text, 9, area.data(), 8, Engine::kBase64DecodeChars, true), 0u);
  area.assign(10, 0);
  EXPECT_EQ(Engine::baseDecode(text, 9, area.data(), 9, Engine::kBase64DecodeChars, true), 4u);
  EXPECT_EQ(Bytes(area.begin(), area.begin() + 4), bytes_of("ManM"));
  uint8_t small[6] = {};
  EXPECT_EQ(Engine::baseDecode("TWFu", 0, small, 4, Engine::kBase64DecodeChars, true), 0u);
  EXPECT_EQ(Engine::baseDecode("TWFu", 4, small, 0, Engine::kBase64DecodeChars, true), 0u);
  EXPECT_EQ(Engine::baseDecode(nullptr, 4, small, 4, Engine::kBase64DecodeChars, true), 0u);
  EXPECT_EQ(Engine::baseDecode("TWFu", 4, nullptr, 4, Engine::kBase64DecodeChars, true), 0u);
  EXPECT_TRUE(Engine::baseDecode(nullptr, 4, Engine::kBase64DecodeChars, false).isNil());

  // In state 0 the final check reads a byte the loop never wrote.
  std::memset(small, 0xEE, sizeof small);
  EXPECT_EQ(Engine::baseDecode("TWFu\r\n", 6, small, 6, Engine::kBase64DecodeChars, true), 0u);
  std::memset(small, 0, sizeof small);
  EXPECT_EQ(Engine::baseDecode("TWFu\r\n", 6, small, 6, Engine::kBase64DecodeChars, true), 3u);
}

// On random text: the group fast path (taken for the library's own tables)
// agrees with the plain state machine (taken for a copy, a caller's own
// table), and no store lands past the length bound.
TEST(Base64Engine, FastPathAgreesWithTheStateMachineInsideTheBound) {
  const uint8_t* standard = Engine::kBase64DecodeChars;
  const uint8_t* webSafe = Engine::kWebSafeBase64DecodeChars;
  const Bytes standardCopy(standard, standard + 256), webSafeCopy(webSafe, webSafe + 256);
  std::mt19937 rng(0xFA57);
  const std::string pool = kStandardText + "-_==  \n\0\xA0\xFF!"s;
  for (int iter = 0; iter < 50000; ++iter) {
    std::string text(1 + rng() % 24, ' ');
    // Mostly alphabet characters, so that whole groups and their breaks both occur.
    for (char& c : text) c = rng() % 8 != 0 ? kStandardText[rng() % 64] : pool[rng() % pool.size()];
    const bool requirePadding = iter % 2 == 0;
    const uint64_t bound = Engine::CalcDecodedLengthBound(text.size());
    for (int t = 0; t < 2; ++t) {
      const uint8_t* ours = t == 0 ? standard : webSafe;
      const uint8_t* copy = t == 0 ? standardCopy.data() : webSafeCopy.data();
      Bytes fast(bound + 4, 0), plain(bound, 0);
      std::fill(fast.begin() + static_cast<long>(bound), fast.end(), 0xEE);
      const uint64_t nFast =
          Engine::baseDecode(text.data(), text.size(), fast.data(), bound, ours, requirePadding);
      const uint64_t nPlain =
          Engine::baseDecode(text.data(), text.size(), plain.data(), bound, copy, requirePadding);
      ASSERT_EQ(nFast, nPlain) << text;
      EXPECT_LE(nFast, bound);
      EXPECT_TRUE(std::equal(fast.begin(), fast.begin() + static_cast<long>(nFast), plain.begin()))
          << text;
      EXPECT_EQ(Bytes(fast.begin() + static_cast<long>(bound), fast.end()), Bytes(4, 0xEE)) << text;
    }
  }
}

// ---------------------------------------------------------------------------
// Class operations

TEST(Base64Class, ConcreteExamples) {
  const Bytes man = {'M', 'a', 'n'}, m = {0x4D}, fb = {0xFB}, fbff = {0xFB, 0xFF};
  EXPECT_EQ(text_of(Codec::encodeData(data_of(man))), "TWFu");
  EXPECT_EQ(text_of(Codec::stringByEncodingBytes(m.data(), 1)), "TQ==");
  EXPECT_EQ(text_of(Codec::stringByEncodingData(data_of(man))), "TWFu");
  EXPECT_EQ(text_of(Codec::encodeBytes(fbff.data(), 2)), "+/8=");
  EXPECT_EQ(text_of(Codec::webSafeEncodeBytes(fb.data(), 1, true)), "-w==");
  EXPECT_EQ(text_of(Codec::webSafeEncodeBytes(fb.data(), 1, false)), "-w");
  EXPECT_EQ(text_of(Codec::webSafeEncodeBytes(fbff.data(), 2, true)), "-_8=");
  EXPECT_EQ(text_of(Codec::webSafeEncodeBytes(fbff.data(), 2, false)), "-_8");
  EXPECT_EQ(text_of(Codec::webSafeEncodeData(data_of(fbff), false)), "-_8");
  EXPECT_EQ(text_of(Codec::stringByWebSafeEncodingData(data_of(m), true)), "TQ==");
  EXPECT_EQ(text_of(Codec::stringByWebSafeEncodingBytes(m.data(), 1, false)), "TQ");

  EXPECT_EQ(bytes_of(Codec::decodeString(ns("TQ=="))), m);
  EXPECT_TRUE(Codec::decodeString(ns("TQ")).isNil());
  EXPECT_EQ(bytes_of(Codec::webSafeDecodeString(ns("TQ"))), m);
  EXPECT_EQ(text_of(Codec::decodeData(data_of("TW Fu"s))), "Man");
  EXPECT_TRUE(Codec::decodeData(data_of("-_8="s)).isNil());
  EXPECT_TRUE(Codec::webSafeDecodeData(data_of("+/8="s)).isNil());
  EXPECT_EQ(bytes_of(Codec::webSafeDecodeBytes("-_8", 3)), fbff);
  EXPECT_EQ(bytes_of(Codec::decodeBytes("+/8=", 4)), fbff);
  EXPECT_TRUE(Codec::decodeBytes("+/8", 3).isNil());
}

TEST(Base64Class, EmptyNilAndNonAsciiGiveNil) {
  for (const NSData& d : {NSData(), data_of(Bytes{})}) {
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
  EXPECT_TRUE(Engine::baseEncode(nullptr, 0, Engine::kWebSafeAlphabet, false).isNil());
  for (const NSString& s : {NSString(), ns(""), ns("   "), ns("TQ==\xC3\xA9"), ns("\xC3\xA9")}) {
    EXPECT_TRUE(Codec::decodeString(s).isNil());
    EXPECT_TRUE(Codec::webSafeDecodeString(s).isNil());
  }
}

// Every encoder's output equals OpenSSL's (or its web-safe form, padded or
// not), and every decoder gives the bytes back from it.
TEST(Base64Class, EveryOperationAgreesWithOpenSslOnRandomData) {
  std::mt19937 rng(0x0B64);
  for (size_t n = 1; n <= 300; ++n) {
    SCOPED_TRACE(n);
    const Bytes in = random_bytes(rng, n);
    const NSData data = data_of(in);
    const std::string standard = openssl_encode(in);
    std::string webSafe = standard;
    for (char& c : webSafe) c = c == '+' ? '-' : c == '/' ? '_' : c;
    const std::string bare = webSafe.substr(0, webSafe.find('='));

    for (const std::string& text :
         {text_of(Codec::encodeData(data)), text_of(Codec::encodeBytes(in.data(), n)),
          text_of(Codec::stringByEncodingData(data)),
          text_of(Codec::stringByEncodingBytes(in.data(), n))}) {
      EXPECT_EQ(text, standard);
    }
    for (bool padded : {true, false}) {
      for (const std::string& text :
           {text_of(Codec::webSafeEncodeData(data, padded)),
            text_of(Codec::webSafeEncodeBytes(in.data(), n, padded)),
            text_of(Codec::stringByWebSafeEncodingData(data, padded)),
            text_of(Codec::stringByWebSafeEncodingBytes(in.data(), n, padded))}) {
        EXPECT_EQ(text, padded ? webSafe : bare);
      }
    }
    for (const NSData& back : {Codec::decodeData(data_of(standard)),
                               Codec::decodeBytes(standard.data(), standard.size()),
                               Codec::decodeString(ns(standard))}) {
      EXPECT_EQ(bytes_of(back), in);
    }
    // The engine also encodes the standard alphabet unpadded.
    const std::string standardBare = standard.substr(0, standard.find('='));
    EXPECT_EQ(text_of(Engine::baseEncode(in.data(), n, Engine::kStandardAlphabet, false)),
              standardBare);
    EXPECT_EQ(bytes_of(Engine::baseDecode(standardBare.data(), standardBare.size(),
                                          Engine::kBase64DecodeChars, false)),
              in);
    for (const std::string& text : {webSafe, bare}) {
      for (const NSData& back : {Codec::webSafeDecodeData(data_of(text)),
                                 Codec::webSafeDecodeBytes(text.data(), text.size()),
                                 Codec::webSafeDecodeString(ns(text))}) {
        EXPECT_EQ(bytes_of(back), in) << text;
      }
    }
  }
}

TEST(Base64Class, DecodesOpenSslLineBrokenOutput) {
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
