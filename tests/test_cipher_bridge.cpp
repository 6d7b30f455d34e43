// The platform cipher bridge: EncryptAESBySystem, DecryptAESBySystem,
// AES256Encrypt and AES256Decrypt, checked against AES-CBC (zero IV, PKCS#7)
// built from the library's own primitives and from OpenSSL EVP.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "norvek/aes.h"
#include "norvek/crypto_helper.h"

namespace {

using NorvekCryptoSpace::CNorVekXCryptoHelper;
using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const NSData& d) {
  const auto* p = static_cast<const uint8_t*>(d.bytes());
  return d.length() == 0 ? Bytes{} : Bytes(p, p + d.length());
}

NSData data_of(const Bytes& b) { return NSData::dataWithBytes(b.data(), b.size()); }
NSString ns(const std::string& s) { return NSString::stringWithUTF8String(s.c_str()); }

Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// The key the bridge must use: the text's UTF-8 bytes, cut or zero-extended.
Bytes key_bytes(const std::string& utf8, size_t size) {
  Bytes key(size, 0);
  std::memcpy(key.data(), utf8.data(), std::min(size, utf8.size()));
  return key;
}

// AES-CBC, zero IV, PKCS#7, from the library's primitives.
Bytes library_cbc_encrypt(const Bytes& key, const Bytes& plain) {
  vantel_aes_key_stKQZP schedule;
  EXPECT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), static_cast<int32_t>(key.size() * 8),
                                           &schedule),
            0);
  const int32_t pad = norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(plain.size());
  Bytes padded(plain.size() + static_cast<size_t>(pad));
  if (!plain.empty()) std::memcpy(padded.data(), plain.data(), plain.size());
  norvek_AES_PKCS7PaddingKQZP(padded.data(), plain.size());
  Bytes out(padded.size());
  uint8_t iv[16] = {};
  norvek_AES_cbc_encryptKQZP(padded.data(), out.data(), iv, padded.size() / 16, &schedule);
  return out;
}

// The same without padding, for ciphertexts whose pad is wrong on purpose.
Bytes library_cbc_encrypt_raw(const Bytes& key, const Bytes& blocks) {
  vantel_aes_key_stKQZP schedule;
  norvek_AES_set_encrypt_keyKQZP(key.data(), static_cast<int32_t>(key.size() * 8), &schedule);
  Bytes out(blocks.size());
  uint8_t iv[16] = {};
  norvek_AES_cbc_encryptKQZP(blocks.data(), out.data(), iv, blocks.size() / 16, &schedule);
  return out;
}

Bytes openssl_cbc_encrypt(const Bytes& key, const Bytes& plain) {
  const EVP_CIPHER* cipher = key.size() == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
  const uint8_t iv[16] = {};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(plain.size() + 16);
  int n1 = 0, n2 = 0;
  EVP_EncryptInit_ex(ctx, cipher, nullptr, key.data(), iv);
  EVP_EncryptUpdate(ctx, out.data(), &n1, plain.data(), static_cast<int>(plain.size()));
  EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(n1 + n2));
  return out;
}

const std::string kEuro = "\xE2\x82\xAC";

// Keys of various UTF-8 lengths, all at most 32 bytes.
const std::vector<std::string> kKeys = {
    "0123456789",                        // 10 bytes: six zero bytes follow
    "0123456789abcdef",                  // 16
    "0123456789abcdefXYZ",               // 19: cut to 16 in the 128-bit pair
    "0123456789abcdef0123456789abcdef",  // 32
    "cl\xC3\xA9",                        // U+00E9 as two bytes
    kEuro + kEuro + kEuro + kEuro + kEuro + kEuro,  // 18 bytes, 6 characters
    "k",
};

// ---------------------------------------------------------------------------
// Equality with AES-CBC

TEST(CipherBridge128, EqualsAesCbcFromLibraryPrimitivesAndOpenSsl) {
  std::mt19937 rng(0x128);
  for (const std::string& k : kKeys) {
    const Bytes key = key_bytes(k, 16);
    for (size_t n = 1; n <= 70; ++n) {
      const Bytes plain = random_bytes(rng, n);
      const Bytes got = bytes_of(CNorVekXCryptoHelper::EncryptAESBySystem(data_of(plain), ns(k)));
      EXPECT_EQ(got, library_cbc_encrypt(key, plain)) << k << " n=" << n;
      EXPECT_EQ(got, openssl_cbc_encrypt(key, plain)) << k << " n=" << n;
      EXPECT_EQ(got.size(), (n / 16 + 1) * 16);
    }
  }
}

TEST(CipherBridge256, EqualsAesCbcFromLibraryPrimitivesAndOpenSsl) {
  std::mt19937 rng(0x256);
  std::vector<std::string> keys = kKeys;
  keys.push_back("");
  for (const std::string& k : keys) {
    const Bytes key = key_bytes(k, 32);
    for (size_t n = 0; n <= 70; ++n) {
      const Bytes plain = random_bytes(rng, n);
      const Bytes got = bytes_of(CNorVekXCryptoHelper::AES256Encrypt(data_of(plain), ns(k)));
      EXPECT_EQ(got, library_cbc_encrypt(key, plain)) << k << " n=" << n;
      EXPECT_EQ(got, openssl_cbc_encrypt(key, plain)) << k << " n=" << n;
    }
  }
}

TEST(CipherBridge128, OutputLengths) {
  const NSString key = ns("sixteen byte key");
  for (size_t n = 1; n <= 15; ++n) {
    EXPECT_EQ(CNorVekXCryptoHelper::EncryptAESBySystem(data_of(Bytes(n, 7)), key).length(), 16u);
  }
  EXPECT_EQ(CNorVekXCryptoHelper::EncryptAESBySystem(data_of(Bytes(16, 7)), key).length(), 32u);
}

// ---------------------------------------------------------------------------
// Round trips

TEST(CipherBridge, RoundTripsBothPairs) {
  std::mt19937 rng(0xB1D);
  for (const std::string& k : kKeys) {
    for (size_t n = 1; n <= 100; n += 3) {
      const NSData plain = data_of(random_bytes(rng, n));
      const NSData c128 = CNorVekXCryptoHelper::EncryptAESBySystem(plain, ns(k));
      EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::DecryptAESBySystem(c128, ns(k))), bytes_of(plain));
      const NSData c256 = CNorVekXCryptoHelper::AES256Encrypt(plain, ns(k));
      EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::AES256Decrypt(c256, ns(k))), bytes_of(plain));
    }
  }
}

TEST(CipherBridge128, SixteenCharacterKeyEqualsItsLongerExtensions) {
  const Bytes plain(37, 0x3C);
  const Bytes base =
      bytes_of(CNorVekXCryptoHelper::EncryptAESBySystem(data_of(plain), ns("0123456789abcdef")));
  for (const std::string& longer :
       {std::string("0123456789abcdefg"), std::string("0123456789abcdef0123456789abcdef"),
        "0123456789abcdef" + kEuro + kEuro}) {
    EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::EncryptAESBySystem(data_of(plain), ns(longer))), base)
        << longer;
  }
  // The 256-bit pair reads all 32 bytes, so the same keys differ there.
  EXPECT_NE(bytes_of(CNorVekXCryptoHelper::AES256Encrypt(data_of(plain), ns("0123456789abcdef"))),
            bytes_of(CNorVekXCryptoHelper::AES256Encrypt(data_of(plain), ns("0123456789abcdefg"))));
}

// ---------------------------------------------------------------------------
// Arguments: data and keys

TEST(CipherBridge128, NilOrEmptyDataComesBackAsItIs) {
  const NSData empty = NSData::dataWithBytes(nullptr, 0);
  for (const NSString& key : {ns("key"), NSString(), ns("")}) {
    const NSData e = CNorVekXCryptoHelper::EncryptAESBySystem(empty, key);
    EXPECT_EQ(e, empty);  // the very same object
    EXPECT_EQ(CNorVekXCryptoHelper::DecryptAESBySystem(empty, key), empty);
    EXPECT_TRUE(CNorVekXCryptoHelper::EncryptAESBySystem(NSData(), key).isNil());
    EXPECT_TRUE(CNorVekXCryptoHelper::DecryptAESBySystem(NSData(), key).isNil());
  }
}

TEST(CipherBridge128, NilOrEmptyKeyGivesNil) {
  const NSData data = data_of(Bytes(32, 1));
  for (const NSString& key : {NSString(), ns("")}) {
    EXPECT_TRUE(CNorVekXCryptoHelper::EncryptAESBySystem(data, key).isNil());
    EXPECT_TRUE(CNorVekXCryptoHelper::DecryptAESBySystem(data, key).isNil());
  }
}

TEST(CipherBridge256, NilOrEmptyKeyMeansThirtyTwoZeroBytes) {
  const Bytes plain = {1, 2, 3, 4, 5};
  const Bytes expected = library_cbc_encrypt(Bytes(32, 0), plain);
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::AES256Encrypt(data_of(plain), NSString())), expected);
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::AES256Encrypt(data_of(plain), ns(""))), expected);
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::AES256Decrypt(data_of(expected), NSString())), plain);
}

TEST(CipherBridge256, NilDataCountsAsEmpty) {
  const NSString key = ns("key");
  const NSData fromNil = CNorVekXCryptoHelper::AES256Encrypt(NSData(), key);
  const NSData fromEmpty = CNorVekXCryptoHelper::AES256Encrypt(NSData::dataWithBytes(nullptr, 0), key);
  ASSERT_EQ(fromNil.length(), 16u);  // one block of padding only
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
  const NSData cipher128 = CNorVekXCryptoHelper::EncryptAESBySystem(plain, ns("k"));
  const NSData cipher256 = CNorVekXCryptoHelper::AES256Encrypt(plain, ns("k"));
  std::string euros;
  for (int i = 0; i < 11; ++i) euros += kEuro;  // 11 characters, 33 UTF-8 bytes
  for (const std::string& k : {std::string(33, 'a'), std::string(100, 'b'), euros,
                               std::string(31, 'c') + "\xC3\xA9"}) {
    EXPECT_TRUE(CNorVekXCryptoHelper::EncryptAESBySystem(plain, ns(k)).isNil()) << k;
    EXPECT_TRUE(CNorVekXCryptoHelper::DecryptAESBySystem(cipher128, ns(k)).isNil()) << k;
    EXPECT_TRUE(CNorVekXCryptoHelper::AES256Encrypt(plain, ns(k)).isNil()) << k;
    EXPECT_TRUE(CNorVekXCryptoHelper::AES256Decrypt(cipher256, ns(k)).isNil()) << k;
  }
  // 32 bytes still fit.
  EXPECT_FALSE(CNorVekXCryptoHelper::AES256Encrypt(plain, ns(std::string(32, 'a'))).isNil());
  EXPECT_FALSE(CNorVekXCryptoHelper::EncryptAESBySystem(plain, ns(std::string(32, 'a'))).isNil());
}

// ---------------------------------------------------------------------------
// Ciphertexts that must be refused

TEST(CipherBridge, RaggedCiphertextsGiveNil) {
  const NSString key = ns("key");
  for (size_t n : {1u, 15u, 17u, 31u, 33u, 47u}) {
    const NSData ragged = data_of(Bytes(n, 0x5A));
    EXPECT_TRUE(CNorVekXCryptoHelper::DecryptAESBySystem(ragged, key).isNil()) << n;
    EXPECT_TRUE(CNorVekXCryptoHelper::AES256Decrypt(ragged, key).isNil()) << n;
  }
}

TEST(CipherBridge, BadPaddingGivesNil) {
  // Whole blocks whose last byte is not a valid pad: 0x00, 0x11, and 0x02 after 0x01.
  Bytes ends[] = {Bytes(32, 0x00), Bytes(32, 0x11), Bytes(16, 0x41)};
  ends[2][14] = 0x01;
  ends[2][15] = 0x02;
  for (const Bytes& blocks : ends) {
    const NSData c128 = data_of(library_cbc_encrypt_raw(key_bytes("key", 16), blocks));
    const NSData c256 = data_of(library_cbc_encrypt_raw(key_bytes("key", 32), blocks));
    EXPECT_TRUE(CNorVekXCryptoHelper::DecryptAESBySystem(c128, ns("key")).isNil());
    EXPECT_TRUE(CNorVekXCryptoHelper::AES256Decrypt(c256, ns("key")).isNil());
  }
}

// ---------------------------------------------------------------------------
// Size

TEST(CipherBridge128, SixteenMebibytesGoThroughTheHeap) {
  // An input-sized area on the stack would overflow it here.
  std::mt19937 rng(0x16);
  const Bytes plain = random_bytes(rng, size_t{16} << 20);
  const std::string k = "large input key!";
  const NSData cipher = CNorVekXCryptoHelper::EncryptAESBySystem(data_of(plain), ns(k));
  ASSERT_EQ(cipher.length(), plain.size() + 16);
  EXPECT_EQ(bytes_of(cipher), openssl_cbc_encrypt(key_bytes(k, 16), plain));
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::DecryptAESBySystem(cipher, ns(k))), plain);
}

}  // namespace
