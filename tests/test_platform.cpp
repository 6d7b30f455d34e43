// The Foundation and CommonCrypto stand-ins: nil behaviour and ownership of
// the data and string handles, and CCCrypt checked against OpenSSL EVP,
// Wycheproof and NIST SP 800-38A.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "norvek_platform/common_crypto.h"
#include "norvek_platform/foundation.h"
#include "wycheproof.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const NSData& d) {
  const auto* p = static_cast<const uint8_t*>(d.bytes());
  return d.length() == 0 ? Bytes{} : Bytes(p, p + d.length());
}

Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// ---------------------------------------------------------------------------
// nil

TEST(PlatformNil, DataAnswersZeroAndIgnoresRequests) {
  NSData data;
  EXPECT_TRUE(data.isNil());
  EXPECT_FALSE(data);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(data.length(), 0u);
  EXPECT_EQ(data.bytes(), nullptr);

  NSMutableData mutableData;
  mutableData.setLength(10);  // ignored
  EXPECT_EQ(mutableData.length(), 0u);
  EXPECT_EQ(mutableData.mutableBytes(), nullptr);
  EXPECT_EQ(NSData::alloc(), nullptr);
}

TEST(PlatformNil, StringAnswersZeroAndNil) {
  NSString string;
  EXPECT_TRUE(string.isNil());
  EXPECT_EQ(string.length(), 0u);
  EXPECT_EQ(string.UTF8String(), nullptr);
  char area[4] = {'x', 'x', 'x', 'x'};
  EXPECT_FALSE(string.getCString(area, sizeof area, NSUTF8StringEncoding));
  EXPECT_EQ(area[0], 'x');
  EXPECT_TRUE(string.dataUsingEncoding(NSASCIIStringEncoding).isNil());
  EXPECT_TRUE(NSString::alloc().initWithData(NSData(), NSASCIIStringEncoding).isNil());
  EXPECT_TRUE(NSString::stringWithUTF8String(nullptr).isNil());
}

// ---------------------------------------------------------------------------
// NSData and NSMutableData

TEST(PlatformData, CreationCopiesTheRange) {
  Bytes source = {0x00, 0xFF, 0x10};
  const NSData a = NSData::dataWithBytes(source.data(), source.size());
  const NSData b = NSData::alloc().initWithBytes(source.data(), source.size());
  source[0] = 0x55;
  for (const NSData& d : {a, b}) {
    EXPECT_FALSE(d.isNil());
    EXPECT_EQ(bytes_of(d), (Bytes{0x00, 0xFF, 0x10}));
    EXPECT_NE(d.bytes(), source.data());
  }
  EXPECT_NE(a, b);  // two objects
}

TEST(PlatformData, HandlesShareTheirObject) {
  const uint8_t one = 1;
  const NSData a = NSData::dataWithBytes(&one, 1);
  const NSData b = a;
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.bytes(), b.bytes());
}

TEST(PlatformData, EmptyIsNotNil) {
  const NSData empty = NSData::dataWithBytes(nullptr, 0);
  EXPECT_FALSE(empty.isNil());
  EXPECT_EQ(empty.length(), 0u);
}

TEST(PlatformData, NullBytesWithALengthGiveNil) {
  EXPECT_TRUE(NSData::dataWithBytes(nullptr, 4).isNil());
  EXPECT_TRUE(NSData::dataWithBytesNoCopy(nullptr, 4).isNil());
}

TEST(PlatformData, NoCopyTakesOverTheArea) {
  // LeakSanitizer (asan build) checks that the area is freed exactly once.
  auto* area = static_cast<uint8_t*>(std::malloc(8));
  ASSERT_NE(area, nullptr);
  std::memcpy(area, "abcdefgh", 8);
  NSData copy;
  {
    const NSData d = NSData::dataWithBytesNoCopy(area, 5);
    EXPECT_EQ(d.bytes(), area);
    EXPECT_EQ(d.length(), 5u);
    copy = d;
  }
  EXPECT_EQ(std::memcmp(copy.bytes(), "abcde", 5), 0);  // still alive through `copy`
}

TEST(PlatformData, MutableDataStartsEmptyAndZeroFillsGrowth) {
  NSMutableData m = NSMutableData::data();
  EXPECT_FALSE(m.isNil());
  EXPECT_EQ(m.length(), 0u);
  m.setLength(6);
  ASSERT_EQ(m.length(), 6u);
  EXPECT_EQ(bytes_of(m), Bytes(6, 0));
  std::memset(m.mutableBytes(), 0xAB, 6);
  m.setLength(2);  // shrinking keeps the leading bytes
  EXPECT_EQ(bytes_of(m), (Bytes{0xAB, 0xAB}));
  m.setLength(5);  // bytes beyond the old length read zero again
  EXPECT_EQ(bytes_of(m), (Bytes{0xAB, 0xAB, 0, 0, 0}));
  const NSData asData = m;  // a mutable object is also a data object
  EXPECT_EQ(asData.bytes(), m.mutableBytes());
}

// ---------------------------------------------------------------------------
// NSString

TEST(PlatformString, LengthCountsUtf16Units) {
  struct Case {
    const char* utf8;
    NSUInteger units;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 3},
      {"\xC3\xA9", 1},                // U+00E9, two bytes
      {"\xE2\x82\xAC", 1},            // U+20AC, three bytes
      {"\xF0\x9F\x98\x80", 2},        // U+1F600, a surrogate pair
      {"a\xF0\x9F\x98\x80\xC3\xA9", 4},
  };
  for (const Case& c : cases) {
    const NSString s = NSString::stringWithUTF8String(c.utf8);
    ASSERT_FALSE(s.isNil()) << c.utf8;
    EXPECT_EQ(s.length(), c.units) << c.utf8;
    EXPECT_STREQ(s.UTF8String(), c.utf8);
  }
}

TEST(PlatformString, RefusesMalformedUtf8) {
  for (const char* bad : {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
    EXPECT_TRUE(NSString::stringWithUTF8String(bad).isNil()) << bad;
  }
}

TEST(PlatformString, GetCStringWritesOnlyWhenTextAndZeroFit) {
  const std::string fits(32, 'k');
  char area[34];
  std::memset(area, 'x', sizeof area);
  EXPECT_TRUE(NSString::stringWithUTF8String(fits.c_str()).getCString(area, 33, NSUTF8StringEncoding));
  EXPECT_EQ(std::string(area), fits);

  const std::string tooLong(33, 'k');
  std::memset(area, 'x', sizeof area);
  EXPECT_FALSE(
      NSString::stringWithUTF8String(tooLong.c_str()).getCString(area, 33, NSUTF8StringEncoding));
  EXPECT_EQ(area[0], 'x');

  // Eleven three-byte characters: 11 UTF-16 units but 33 UTF-8 bytes.
  std::string euros;
  for (int i = 0; i < 11; ++i) euros += "\xE2\x82\xAC";
  const NSString wide = NSString::stringWithUTF8String(euros.c_str());
  EXPECT_EQ(wide.length(), 11u);
  EXPECT_FALSE(wide.getCString(area, 33, NSUTF8StringEncoding));
  EXPECT_TRUE(wide.getCString(area, 34, NSUTF8StringEncoding));
  EXPECT_EQ(std::string(area), euros);
}

TEST(PlatformString, AsciiConversionsRefuseOtherCharacters) {
  const NSString ascii = NSString::stringWithUTF8String("TWFu");
  const NSData bytes = ascii.dataUsingEncoding(NSASCIIStringEncoding);
  EXPECT_EQ(bytes_of(bytes), (Bytes{'T', 'W', 'F', 'u'}));

  EXPECT_TRUE(NSString::stringWithUTF8String("caf\xC3\xA9").dataUsingEncoding(NSASCIIStringEncoding).isNil());
  char area[8];
  EXPECT_FALSE(NSString::stringWithUTF8String("\xC3\xA9").getCString(area, 8, NSASCIIStringEncoding));

  const uint8_t high[] = {'a', 0x80};
  EXPECT_TRUE(NSString::alloc()
                  .initWithData(NSData::dataWithBytes(high, 2), NSASCIIStringEncoding)
                  .isNil());
  const NSString back = NSString::alloc().initWithData(bytes, NSASCIIStringEncoding);
  EXPECT_STREQ(back.UTF8String(), "TWFu");
  EXPECT_EQ(back.length(), 4u);

  const NSString empty =
      NSString::alloc().initWithData(NSData::dataWithBytes(nullptr, 0), NSASCIIStringEncoding);
  EXPECT_FALSE(empty.isNil());
  EXPECT_EQ(empty.length(), 0u);
  EXPECT_FALSE(empty.dataUsingEncoding(NSASCIIStringEncoding).isNil());
}

// ---------------------------------------------------------------------------
// CCCrypt

// Reference: OpenSSL EVP directly. Answers false on any EVP failure.
bool evp_crypt(bool encrypt, bool ecb, bool padding, const Bytes& key, const uint8_t* iv,
               const Bytes& in, Bytes& out) {
  const EVP_CIPHER* cipher = nullptr;
  switch (key.size()) {
    case 16: cipher = ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc(); break;
    case 24: cipher = ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc(); break;
    case 32: cipher = ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc(); break;
    default: return false;
  }
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  out.assign(in.size() + 16, 0);
  int n1 = 0, n2 = 0;
  const bool ok = EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv, encrypt) == 1 &&
                  EVP_CIPHER_CTX_set_padding(ctx, padding) == 1 &&
                  EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
                  EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) == 1;
  EVP_CIPHER_CTX_free(ctx);
  out.resize(ok ? static_cast<size_t>(n1 + n2) : 0);
  return ok;
}

struct CryptResult {
  CCCryptorStatus status;
  Bytes out;
};

CryptResult cc(CCOperation op, CCOptions options, const Bytes& key, const uint8_t* iv,
               const Bytes& in, size_t available) {
  Bytes area(available + 1, 0xEE);  // one guard byte past the available room
  size_t moved = 12345;
  const CCCryptorStatus status = CCCrypt(op, kCCAlgorithmAES128, options, key.data(), key.size(),
                                         iv, in.data(), in.size(), area.data(), available, &moved);
  EXPECT_EQ(area[available], 0xEE) << "wrote past dataOutAvailable";
  if (status != kCCSuccess) return {status, {}};
  EXPECT_LE(moved, available);
  area.resize(moved);
  return {status, area};
}

TEST(PlatformCCCrypt, MatchesOpenSslForEveryKeySizeModeAndPadding) {
  std::mt19937 rng(0x6CC0);
  const uint8_t zeroIv[16] = {};
  for (size_t keySize : {kCCKeySizeAES128, kCCKeySizeAES192, kCCKeySizeAES256}) {
    for (CCOptions options : {CCOptions{kCCOptionPKCS7Padding}, CCOptions{0},
                              CCOptions{kCCOptionECBMode},
                              CCOptions{kCCOptionECBMode | kCCOptionPKCS7Padding}}) {
      const bool padding = (options & kCCOptionPKCS7Padding) != 0;
      const bool ecb = (options & kCCOptionECBMode) != 0;
      for (size_t n = 0; n <= 80; ++n) {
        if (!padding && n % 16 != 0) continue;
        const Bytes key = random_bytes(rng, keySize);
        const Bytes iv = random_bytes(rng, 16);
        const Bytes plain = random_bytes(rng, n);
        const uint8_t* ivPtr = n % 2 == 0 ? iv.data() : nullptr;  // null means zero IV
        Bytes expected;
        ASSERT_TRUE(evp_crypt(true, ecb, padding, key, ivPtr ? ivPtr : zeroIv, plain, expected));

        const CryptResult enc = cc(kCCEncrypt, options, key, ivPtr, plain, n + 16);
        ASSERT_EQ(enc.status, kCCSuccess) << keySize << " " << options << " " << n;
        EXPECT_EQ(enc.out, expected) << keySize << " " << options << " " << n;

        const CryptResult dec = cc(kCCDecrypt, options, key, ivPtr, enc.out, enc.out.size());
        ASSERT_EQ(dec.status, kCCSuccess);
        EXPECT_EQ(dec.out, plain);
      }
    }
  }
}

TEST(PlatformCCCrypt, NistSp80038aCbcAes128) {
  // NIST SP 800-38A F.2.1 / F.2.2, all four blocks.
  const Bytes key = norvek_test::from_hex("2b7e151628aed2a6abf7158809cf4f3c");
  const Bytes iv = norvek_test::from_hex("000102030405060708090a0b0c0d0e0f");
  const Bytes plain = norvek_test::from_hex(
      "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
      "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  const Bytes cipher = norvek_test::from_hex(
      "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
      "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7");
  EXPECT_EQ(cc(kCCEncrypt, 0, key, iv.data(), plain, 64).out, cipher);
  EXPECT_EQ(cc(kCCDecrypt, 0, key, iv.data(), cipher, 64).out, plain);
}

TEST(PlatformCCCrypt, WycheproofAesCbcPkcs5) {
  const auto cases =
      norvek_test::load_wycheproof(NORVEK_TEST_DATA_DIR "/wycheproof/aes_cbc_pkcs5_test.json");
  ASSERT_FALSE(cases.empty());
  for (const auto& c : cases) {
    const Bytes key = norvek_test::from_hex(c.at("key"));
    const Bytes iv = norvek_test::from_hex(c.at("iv"));
    const Bytes msg = norvek_test::from_hex(c.at("msg"));
    const Bytes ct = norvek_test::from_hex(c.at("ct"));
    const int id = c.number("tcId");
    const CryptResult dec = cc(kCCDecrypt, kCCOptionPKCS7Padding, key, iv.data(), ct, ct.size());
    if (c.at("result") == "valid") {
      EXPECT_EQ(dec.status, kCCSuccess) << "tcId " << id;
      EXPECT_EQ(dec.out, msg) << "tcId " << id;
      const CryptResult enc =
          cc(kCCEncrypt, kCCOptionPKCS7Padding, key, iv.data(), msg, msg.size() + 16);
      EXPECT_EQ(enc.out, ct) << "tcId " << id;
    } else {
      EXPECT_NE(dec.status, kCCSuccess) << "tcId " << id;
    }
  }
}

TEST(PlatformCCCrypt, BadParametersAreRefused) {
  const Bytes data(16, 0x42);
  uint8_t out[64];
  size_t moved = 99;
  for (size_t keySize : {0u, 1u, 15u, 17u, 23u, 25u, 31u, 33u, 64u}) {
    const Bytes key(keySize + 1, 0x11);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, key.data(), keySize,
                      nullptr, data.data(), data.size(), out, sizeof out, &moved),
              kCCParamError)
        << keySize;
    EXPECT_EQ(moved, 0u);
  }
  const Bytes key(16, 0x11);
  EXPECT_EQ(CCCrypt(2, kCCAlgorithmAES128, 0, key.data(), 16, nullptr, data.data(), 16, out, 64,
                    &moved),
            kCCParamError);
  EXPECT_EQ(CCCrypt(kCCEncrypt, 1, 0, key.data(), 16, nullptr, data.data(), 16, out, 64, &moved),
            kCCParamError);
  EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, 0, nullptr, 16, nullptr, data.data(), 16, out,
                    64, &moved),
            kCCParamError);
  EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, 0, key.data(), 16, nullptr, nullptr, 16, out,
                    64, &moved),
            kCCParamError);
}

TEST(PlatformCCCrypt, RaggedInputIsAnAlignmentError) {
  const Bytes key(16, 0x11);
  for (size_t n : {1u, 15u, 17u, 31u, 33u}) {
    const Bytes in(n, 0x42);
    EXPECT_EQ(cc(kCCDecrypt, kCCOptionPKCS7Padding, key, nullptr, in, 64).status,
              kCCAlignmentError)
        << n;
    EXPECT_EQ(cc(kCCDecrypt, 0, key, nullptr, in, 64).status, kCCAlignmentError) << n;
    EXPECT_EQ(cc(kCCEncrypt, 0, key, nullptr, in, 64).status, kCCAlignmentError) << n;
  }
}

TEST(PlatformCCCrypt, BadPaddingIsADecodeErrorAndLeavesNoPlaintext) {
  const Bytes key(32, 0x22);
  // Last plaintext bytes that are not a PKCS#7 pad: 00, 11, and 02 preceded by 03.
  Bytes ends[] = {Bytes(32, 0x00), Bytes(32, 0x11), Bytes(32, 0x41)};
  ends[2][30] = 0x03;
  ends[2][31] = 0x02;
  for (const Bytes& plain : ends) {
    const CryptResult raw = cc(kCCEncrypt, 0, key, nullptr, plain, 32);
    ASSERT_EQ(raw.status, kCCSuccess);
    Bytes area(32, 0xEE);
    size_t moved = 7;
    EXPECT_EQ(CCCrypt(kCCDecrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, key.data(), 32,
                      nullptr, raw.out.data(), 32, area.data(), area.size(), &moved),
              kCCDecodeError);
    EXPECT_EQ(moved, 0u);
    for (uint8_t b : area) EXPECT_TRUE(b == 0 || b == 0xEE);
  }
  // A padded ciphertext of no blocks has no pad at all.
  EXPECT_EQ(cc(kCCDecrypt, kCCOptionPKCS7Padding, key, nullptr, {}, 16).status, kCCDecodeError);
}

TEST(PlatformCCCrypt, TooSmallOutputIsRefusedUntouched) {
  const Bytes key(16, 0x33);
  struct Case {
    CCOperation op;
    CCOptions options;
    size_t n;
    size_t needed;
  };
  const Case cases[] = {
      {kCCEncrypt, kCCOptionPKCS7Padding, 0, 16},  {kCCEncrypt, kCCOptionPKCS7Padding, 15, 16},
      {kCCEncrypt, kCCOptionPKCS7Padding, 16, 32}, {kCCEncrypt, kCCOptionPKCS7Padding, 33, 48},
      {kCCEncrypt, 0, 32, 32},                     {kCCDecrypt, kCCOptionPKCS7Padding, 32, 32},
      {kCCDecrypt, 0, 48, 48},
  };
  for (const Case& c : cases) {
    const Bytes in(c.n, 0x10);  // 0x10 blocks decrypt to something; only the size matters here
    Bytes area(c.needed, 0xEE);
    size_t moved = 0;
    EXPECT_EQ(CCCrypt(c.op, kCCAlgorithmAES128, c.options, key.data(), 16, nullptr, in.data(), c.n,
                      area.data(), c.needed - 1, &moved),
              kCCBufferTooSmall)
        << c.n;
    EXPECT_EQ(moved, c.needed) << c.n;
    EXPECT_EQ(area, Bytes(c.needed, 0xEE)) << c.n;
  }
  // Exactly the size needed is enough.
  EXPECT_EQ(cc(kCCEncrypt, kCCOptionPKCS7Padding, key, nullptr, Bytes(16, 1), 32).status,
            kCCSuccess);
}

TEST(PlatformCCCrypt, EcbEnciphersEqualBlocksAlike) {
  const Bytes key(16, 0x44);
  const Bytes plain(48, 0x5A);
  const CryptResult ecb = cc(kCCEncrypt, kCCOptionECBMode, key, nullptr, plain, 48);
  ASSERT_EQ(ecb.status, kCCSuccess);
  EXPECT_TRUE(std::equal(ecb.out.begin(), ecb.out.begin() + 16, ecb.out.begin() + 16));
  const CryptResult cbc = cc(kCCEncrypt, 0, key, nullptr, plain, 48);
  ASSERT_EQ(cbc.status, kCCSuccess);
  EXPECT_FALSE(std::equal(cbc.out.begin(), cbc.out.begin() + 16, cbc.out.begin() + 16));
  // The first CBC block under a zero IV is the ECB block.
  EXPECT_TRUE(std::equal(cbc.out.begin(), cbc.out.begin() + 16, ecb.out.begin()));
}

TEST(PlatformCCCrypt, NullOutputCountIsAllowed) {
  const Bytes key(16, 0x55);
  const Bytes in(16, 0x01);
  uint8_t out[32];
  EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, key.data(), 16, nullptr,
                    in.data(), 16, out, sizeof out, nullptr),
            kCCSuccess);
}

}  // namespace
