// The platform cipher bridge: EncryptAESBySystem, DecryptAESBySystem,
// AES256Encrypt and AES256Decrypt, checked against AES-CBC (zero IV, PKCS#7)
// built from the library's own primitives and from OpenSSL EVP.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "norvek/aes.h"
#include "norvek/crypto_helper.h"
#include "test_util.h"

namespace {

using namespace norvek_test;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

const Bytes kZeroIv(16, 0);

// The key the bridge must use: the text's UTF-8 bytes, cut or zero-extended.
Bytes key_bytes(const std::string& utf8, size_t size) {
  Bytes key(size, 0);
  std::memcpy(key.data(), utf8.data(), std::min(size, utf8.size()));
  return key;
}

// AES-CBC, zero IV, PKCS#7, from the library's primitives.
Bytes library_cbc_encrypt(const Bytes& key, const Bytes& plain) {
  vantel_aes_key_stKQZP schedule;
  EXPECT_EQ(
      norvek_AES_set_encrypt_keyKQZP(key.data(), static_cast<int32_t>(key.size() * 8), &schedule),
      0);
  const int32_t pad = norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(plain.size());
  Bytes padded(plain.size() + static_cast<size_t>(pad));
  std::copy(plain.begin(), plain.end(), padded.begin());
  norvek_AES_PKCS7PaddingKQZP(padded.data(), plain.size());
  Bytes out(padded.size());
  uint8_t iv[16] = {};
  norvek_AES_cbc_encryptKQZP(padded.data(), out.data(), iv, padded.size() / 16, &schedule);
  return out;
}

const std::string kEuro = "\xE2\x82\xAC";

// Keys of various UTF-8 lengths, all at most 32 bytes. The 128-bit pair
// reads the first 16 bytes, so "0123456789abcdef" and its extensions act alike there.
const std::vector<std::string> kKeys = {
    "0123456789",                                   // 10 bytes: six zero bytes follow
    "0123456789abcdef",                             // 16
    "0123456789abcdefXYZ",                          // 19: cut to 16 in the 128-bit pair
    "0123456789abcdef0123456789abcdef",             // 32
    "0123456789abcdef" + kEuro + kEuro,             // 22
    "cl\xC3\xA9",                                   // U+00E9 as two bytes
    kEuro + kEuro + kEuro + kEuro + kEuro + kEuro,  // 18 bytes, 6 characters
    "k",
};

const struct Pair {
  const char* name;
  size_t keySize;
  NSData (*encrypt)(const NSData&, const NSString&);
  NSData (*decrypt)(const NSData&, const NSString&);
} kPairs[] = {
    {"128-bit", 16, &CNorVekXCryptoHelper::EncryptAESBySystem,
     &CNorVekXCryptoHelper::DecryptAESBySystem},
    {"256-bit", 32, &CNorVekXCryptoHelper::AES256Encrypt, &CNorVekXCryptoHelper::AES256Decrypt},
};

TEST(CipherBridge, EqualsAesCbcAndRoundTrips) {
  std::mt19937 rng(0x128);
  for (const Pair& p : kPairs) {
    for (const std::string& k : kKeys) {
      const Bytes key = key_bytes(k, p.keySize);
      for (size_t n = 1; n <= 70; ++n) {
        const Bytes plain = random_bytes(rng, n);
        const NSData cipher = p.encrypt(data_of(plain), ns(k));
        const Bytes got = bytes_of(cipher);
        EXPECT_EQ(got, library_cbc_encrypt(key, plain)) << p.name << " " << k << " n=" << n;
        EXPECT_EQ(got, openssl_aes_cbc(key, kZeroIv, plain, true, true)) << p.name << " " << k;
        EXPECT_EQ(got.size(), (n / 16 + 1) * 16);
        EXPECT_EQ(bytes_of(p.decrypt(cipher, ns(k))), plain) << p.name << " " << k << " n=" << n;
      }
    }
  }
}

TEST(CipherBridge128, NilOrEmptyArguments) {
  // nil or empty data comes back as it is, whatever the key.
  const NSData empty = data_of(Bytes{});
  for (const NSString& key : {ns("key"), NSString(), ns("")}) {
    EXPECT_EQ(CNorVekXCryptoHelper::EncryptAESBySystem(empty, key), empty);  // the very same object
    EXPECT_EQ(CNorVekXCryptoHelper::DecryptAESBySystem(empty, key), empty);
    EXPECT_TRUE(CNorVekXCryptoHelper::EncryptAESBySystem(NSData(), key).isNil());
    EXPECT_TRUE(CNorVekXCryptoHelper::DecryptAESBySystem(NSData(), key).isNil());
  }
  // A nil or empty key gives nil.
  const NSData data = data_of(Bytes(32, 1));
  for (const NSString& key : {NSString(), ns("")}) {
    EXPECT_TRUE(CNorVekXCryptoHelper::EncryptAESBySystem(data, key).isNil());
    EXPECT_TRUE(CNorVekXCryptoHelper::DecryptAESBySystem(data, key).isNil());
  }
}

TEST(CipherBridge256, NilOrEmptyArguments) {
  // A nil or empty key means 32 zero bytes.
  const Bytes plain = {1, 2, 3, 4, 5};
  const Bytes expected = library_cbc_encrypt(Bytes(32, 0), plain);
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::AES256Encrypt(data_of(plain), NSString())), expected);
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::AES256Encrypt(data_of(plain), ns(""))), expected);
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::AES256Decrypt(data_of(expected), NSString())), plain);

  // nil data counts as empty: one block of padding only.
  const NSString key = ns("key");
  const NSData fromNil = CNorVekXCryptoHelper::AES256Encrypt(NSData(), key);
  ASSERT_EQ(fromNil.length(), 16u);
  const NSData fromEmpty = CNorVekXCryptoHelper::AES256Encrypt(data_of(Bytes{}), key);
  EXPECT_EQ(bytes_of(fromNil), bytes_of(fromEmpty));
  EXPECT_EQ(bytes_of(fromNil), library_cbc_encrypt(key_bytes("key", 32), {}));
  // Deciphering it gives an empty object, not nil; nil data has no padding to strip.
  const NSData back = CNorVekXCryptoHelper::AES256Decrypt(fromNil, key);
  EXPECT_FALSE(back.isNil());
  EXPECT_EQ(back.length(), 0u);
  EXPECT_TRUE(CNorVekXCryptoHelper::AES256Decrypt(NSData(), key).isNil());
}

TEST(CipherBridge, OverLongKeysGiveNilInAllFour) {
  const NSData plain = data_of(Bytes(20, 9));
  std::string euros;
  for (int i = 0; i < 11; ++i) euros += kEuro;  // 11 characters, 33 UTF-8 bytes
  for (const Pair& p : kPairs) {
    const NSData cipher = p.encrypt(plain, ns("k"));
    for (const std::string& k :
         {std::string(33, 'a'), std::string(100, 'b'), euros, std::string(31, 'c') + "\xC3\xA9"}) {
      EXPECT_TRUE(p.encrypt(plain, ns(k)).isNil()) << p.name << " " << k;
      EXPECT_TRUE(p.decrypt(cipher, ns(k)).isNil()) << p.name << " " << k;
    }
    EXPECT_FALSE(p.encrypt(plain, ns(std::string(32, 'a'))).isNil()) << "32 bytes still fit";
  }
}

TEST(CipherBridge, RaggedOrBadlyPaddedCiphertextsGiveNil) {
  // Whole blocks whose last byte is not a valid pad: 0x00, 0x11, and 0x02 after 0x01.
  Bytes ends[] = {Bytes(32, 0x00), Bytes(32, 0x11), Bytes(16, 0x41)};
  ends[2][14] = 0x01;
  ends[2][15] = 0x02;
  for (const Pair& p : kPairs) {
    for (size_t n : {1u, 15u, 17u, 31u, 33u, 47u}) {
      EXPECT_TRUE(p.decrypt(data_of(Bytes(n, 0x5A)), ns("key")).isNil()) << p.name << " " << n;
    }
    for (const Bytes& blocks : ends) {
      const Bytes cipher = openssl_aes_cbc(key_bytes("key", p.keySize), kZeroIv, blocks, true);
      EXPECT_TRUE(p.decrypt(data_of(cipher), ns("key")).isNil()) << p.name;
    }
  }
}

TEST(CipherBridge, LengthsNearTheTopOfSizeTGiveNil) {
  // No output area of length + 16 bytes can be had for these: each call
  // answers nil before the cipher reads a byte. The objects claim lengths
  // far beyond the one byte they hold, so a read would overrun it.
  const size_t lengths[] = {SIZE_MAX,      SIZE_MAX - 1,     SIZE_MAX - 15,
                            SIZE_MAX - 16, SIZE_MAX / 2 + 1, SIZE_MAX / 2 - 15};
  for (const Pair& p : kPairs) {
    for (const size_t n : lengths) {
      const NSData huge = NSData::dataWithBytesNoCopy(std::malloc(1), n);
      ASSERT_EQ(huge.length(), n);
      EXPECT_TRUE(p.encrypt(huge, ns("key")).isNil()) << p.name << " " << n;
      EXPECT_TRUE(p.decrypt(huge, ns("key")).isNil()) << p.name << " " << n;
    }
  }
}

TEST(CipherBridge, APaddingOnlyBlockDeciphersToEmptyData) {
  // The ciphertext of empty data: an empty object, not nil, in both pairs.
  for (const Pair& p : kPairs) {
    for (const std::string& k : kKeys) {
      const Bytes cipher = openssl_aes_cbc(key_bytes(k, p.keySize), kZeroIv, {}, true, true);
      ASSERT_EQ(cipher.size(), 16u);
      const NSData back = p.decrypt(data_of(cipher), ns(k));
      EXPECT_FALSE(back.isNil()) << p.name << " " << k;
      EXPECT_EQ(back.length(), 0u) << p.name << " " << k;
    }
  }
}

TEST(CipherBridge128, SixteenMebibytesGoThroughTheHeap) {
  // An input-sized area on the stack would overflow it here.
  std::mt19937 rng(0x16);
  const Bytes plain = random_bytes(rng, size_t{16} << 20);
  const std::string k = "large input key!";
  const NSData cipher = CNorVekXCryptoHelper::EncryptAESBySystem(data_of(plain), ns(k));
  ASSERT_EQ(cipher.length(), plain.size() + 16);
  EXPECT_EQ(bytes_of(cipher), openssl_aes_cbc(key_bytes(k, 16), kZeroIv, plain, true, true));
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::DecryptAESBySystem(cipher, ns(k))), plain);
}

}  // namespace
