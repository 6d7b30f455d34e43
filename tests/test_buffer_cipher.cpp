// Encrypt / Decrypt of CNorVekXCryptoHelper: AES-128-CBC with the built-in
// IV and PKCS#7, checked against OpenSSL and against its own round trip.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "norvek/crypto_helper.h"

namespace {

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;
using Bytes = std::vector<uint8_t>;

CNorVekXBuffer buf(const Bytes& b) { return CNorVekXBuffer(b.data(), b.size()); }
Bytes bytes(const CNorVekXBuffer& b) {
  return b.m_nSize == 0 ? Bytes() : Bytes(b.m_pData, b.m_pData + b.m_nSize);
}

Bytes random_bytes(std::mt19937_64& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// OpenSSL AES-128-CBC over whole blocks, no padding.
Bytes openssl_cbc(const Bytes& key, const Bytes& iv, const Bytes& in, bool encrypt) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 16);
  int len = 0, fin = 0;
  EVP_CipherInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(), iv.data(), encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, out.data() + len, &fin);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(len + fin));
  return out;
}

Bytes openssl_ecb_decrypt_block(const Bytes& key, const uint8_t* block) {
  return openssl_cbc(key, Bytes(16, 0), Bytes(block, block + 16), false);
}

// The built-in IV, recovered from one ciphertext: IV = D(C0) xor P0 with P0
// being the first plaintext block (here the whole pad block of an empty
// plaintext).
Bytes recover_iv(const Bytes& key16) {
  CNorVekXBuffer cipher;
  EXPECT_EQ(CNorVekXCryptoHelper::Encrypt(buf(key16), CNorVekXBuffer(), cipher), 16u);
  Bytes iv = openssl_ecb_decrypt_block(key16, cipher.m_pData);
  for (auto& b : iv) b ^= 0x10;
  return iv;
}

// What Decrypt must give, worked out with OpenSSL and a plain pad check.
struct Expected {
  uint64_t result;
  Bytes data;
};

Expected expected_decrypt(const Bytes& key16, const Bytes& iv, const Bytes& ct) {
  if (ct.empty() || ct.size() % 16 != 0) return {0, Bytes(ct.size(), 0)};
  const Bytes pt = openssl_cbc(key16, iv, ct, false);
  const uint8_t p = pt.back();
  bool ok = p >= 1 && p <= 16;
  for (size_t i = 0; ok && i < p; ++i) ok = pt[pt.size() - 1 - i] == p;
  if (!ok) return {0, Bytes(ct.size(), 0)};
  return {pt.size() - p, Bytes(pt.begin(), pt.end() - p)};
}

const Bytes kKey = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                    0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

TEST(BufferCipher, RoundTripsAllSmallLengths) {
  std::mt19937_64 rng(33);
  for (size_t n = 0; n <= 100; ++n) {
    SCOPED_TRACE(n);
    const Bytes key = random_bytes(rng, 16), msg = random_bytes(rng, n);
    CNorVekXBuffer cipher, plain;
    const uint64_t ct_len = 16 * (n / 16 + 1);
    ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(buf(key), buf(msg), cipher), ct_len);
    ASSERT_EQ(cipher.m_nSize, ct_len);
    ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(buf(key), cipher, plain), n);
    ASSERT_EQ(bytes(plain), msg);
  }
}

TEST(BufferCipher, RoundTripsLargeBuffers) {
  std::mt19937_64 rng(34);
  for (size_t n : {size_t{4096}, size_t{65536 + 15}, size_t{(1u << 20) + 3}}) {
    SCOPED_TRACE(n);
    const Bytes msg = random_bytes(rng, n);
    CNorVekXBuffer cipher, plain;
    ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(msg), cipher), 16 * (n / 16 + 1));
    ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(buf(kKey), cipher, plain), n);
    ASSERT_EQ(bytes(plain), msg);
  }
}

TEST(BufferCipher, EmptyPlaintext) {
  CNorVekXBuffer cipher, plain(CNorVekXBuffer("stale"));
  ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(buf(kKey), CNorVekXBuffer(), cipher), 16u);
  EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buf(kKey), cipher, plain), 0u);
  EXPECT_EQ(plain.m_nSize, 0u);
}

TEST(BufferCipher, CiphertextLengths) {
  for (const auto& [n, ct] : std::vector<std::pair<size_t, uint64_t>>{
           {0, 16}, {1, 16}, {15, 16}, {16, 32}, {17, 32}, {31, 32}, {32, 48}}) {
    CNorVekXBuffer cipher;
    EXPECT_EQ(CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(Bytes(n, 7)), cipher), ct) << n;
    EXPECT_EQ(cipher.m_nSize, ct) << n;
  }
}

// The same bytes as OpenSSL AES-128-CBC with PKCS#7 under the built-in IV,
// which is fixed: recovered under two keys, it is the same.
TEST(BufferCipher, MatchesOpenSslCbcWithFixedIv) {
  const Bytes iv = recover_iv(kKey);
  std::mt19937_64 rng(35);
  EXPECT_EQ(recover_iv(random_bytes(rng, 16)), iv);

  for (size_t n : {0, 1, 15, 16, 17, 47, 48, 100, 1000}) {
    SCOPED_TRACE(n);
    const Bytes key = random_bytes(rng, 16), msg = random_bytes(rng, n);
    Bytes padded = msg;
    padded.insert(padded.end(), 16 - n % 16, static_cast<uint8_t>(16 - n % 16));
    CNorVekXBuffer cipher;
    ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(buf(key), buf(msg), cipher), padded.size());
    EXPECT_EQ(bytes(cipher), openssl_cbc(key, iv, padded, true));
  }
}

TEST(BufferCipher, Deterministic) {
  const Bytes msg(77, 0x5A);
  CNorVekXBuffer a, b;
  CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(msg), a);
  CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(msg), b);
  EXPECT_TRUE(a.compare(b));
}

TEST(BufferCipher, ShortKeyIsRefusedAndOutputUntouched) {
  const CNorVekXBuffer msg("attack at dawn");
  for (size_t key_len : {0, 1, 15}) {
    SCOPED_TRACE(key_len);
    const CNorVekXBuffer key = buf(Bytes(key_len, 0x42));
    CNorVekXBuffer out("previous content");
    const CNorVekXBuffer before(out);
    EXPECT_EQ(CNorVekXCryptoHelper::Encrypt(key, msg, out), 0u);
    EXPECT_TRUE(out.compare(before));
    CNorVekXBuffer ct;
    CNorVekXCryptoHelper::Encrypt(buf(kKey), msg, ct);
    EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(key, ct, out), 0u);
    EXPECT_TRUE(out.compare(before));
    // A short key wins over a ragged ciphertext: still untouched.
    EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(key, CNorVekXBuffer("ragged"), out), 0u);
    EXPECT_TRUE(out.compare(before));
  }
}

TEST(BufferCipher, OnlyTheFirstSixteenKeyBytesCount) {
  std::mt19937_64 rng(36);
  const Bytes long_key = random_bytes(rng, 32), msg = random_bytes(rng, 50);
  const Bytes short_key(long_key.begin(), long_key.begin() + 16);
  CNorVekXBuffer a, b, plain;
  CNorVekXCryptoHelper::Encrypt(buf(long_key), buf(msg), a);
  CNorVekXCryptoHelper::Encrypt(buf(short_key), buf(msg), b);
  EXPECT_TRUE(a.compare(b));
  EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buf(long_key), b, plain), msg.size());
  EXPECT_EQ(bytes(plain), msg);
}

// Under a wrong key or after damage, Decrypt gives exactly what OpenSSL's
// plaintext and a plain pad check predict: usually 0 with zeroed data, and
// otherwise a plaintext that is not the original.
TEST(BufferCipher, WrongKeyAndDamageFollowThePadCheck) {
  const Bytes iv = recover_iv(kKey);
  std::mt19937_64 rng(37);
  int rejected = 0, garbled = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const Bytes msg = random_bytes(rng, rng() % 70);
    CNorVekXBuffer cipher;
    CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(msg), cipher);
    Bytes ct = bytes(cipher);
    Bytes key = kKey;
    if (trial % 2 == 0) {
      key[rng() % 16] ^= static_cast<uint8_t>(1 + rng() % 255);
    } else {
      ct[rng() % ct.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
    }
    const Expected want = expected_decrypt(key, iv, ct);
    CNorVekXBuffer plain("old");
    ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(buf(key), buf(ct), plain), want.result);
    ASSERT_EQ(bytes(plain), want.data);
    if (want.result == 0 && !ct.empty()) {
      ++rejected;
    } else {
      EXPECT_NE(bytes(plain), msg);
      ++garbled;
    }
  }
  EXPECT_EQ(rejected + garbled, 400);
  EXPECT_GT(rejected, 100);
}

// Forged last blocks that do end in valid padding still decrypt to what the
// chain says (a damaged, unauthenticated ciphertext is not detected).
TEST(BufferCipher, ForgedPaddingIsAccepted) {
  const Bytes iv = recover_iv(kKey);
  const Bytes msg(32, 'A');
  CNorVekXBuffer cipher;
  CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(msg), cipher);
  Bytes ct = bytes(cipher);
  // Turn the last plaintext byte of block 1 ('A') into 0x01 by flipping
  // block 0, then drop the pad block: a valid one-byte pad.
  ct.resize(32);
  ct[15] ^= 'A' ^ 0x01;
  CNorVekXBuffer plain;
  const Expected want = expected_decrypt(kKey, iv, ct);
  ASSERT_EQ(want.result, 31u);
  EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buf(kKey), buf(ct), plain), 31u);
  EXPECT_EQ(bytes(plain), want.data);
}

// A ciphertext that is not a positive multiple of 16 bytes fails like bad
// padding, whatever the output buffer held before: zero bytes of the
// ciphertext's length.
TEST(BufferCipher, RaggedCiphertextIsRejected) {
  CNorVekXBuffer good;
  CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(Bytes(40, 3)), good);
  for (size_t len : {1, 5, 15, 17, 31, 33, 47, 49}) {
    SCOPED_TRACE(len);
    const CNorVekXBuffer ct(good.m_pData, std::min<uint64_t>(len, good.m_nSize));
    CNorVekXBuffer ragged(ct);
    ragged.resize(len);
    // Stale output bytes that would pass as padding if they were judged.
    for (const Bytes& stale : {Bytes(64, 0x01), Bytes(3, 0x01), Bytes()}) {
      CNorVekXBuffer plain = buf(stale);
      EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buf(kKey), ragged, plain), 0u);
      EXPECT_EQ(bytes(plain), Bytes(len, 0));
    }
  }
  CNorVekXBuffer plain("stale");
  EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buf(kKey), CNorVekXBuffer(), plain), 0u);
  EXPECT_EQ(plain.m_nSize, 0u);
}

TEST(BufferCipher, SameBufferAsInputAndOutput) {
  std::mt19937_64 rng(39);
  for (size_t n : {0, 1, 16, 33, 100}) {
    SCOPED_TRACE(n);
    const Bytes msg = random_bytes(rng, n);
    CNorVekXBuffer separate;
    CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(msg), separate);

    CNorVekXBuffer one = buf(msg);
    ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(buf(kKey), one, one), separate.m_nSize);
    ASSERT_TRUE(one.compare(separate));
    ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(buf(kKey), one, one), n);
    ASSERT_EQ(bytes(one), msg);
  }
  // Bad padding in place: zero bytes of the ciphertext's length.
  CNorVekXBuffer one = buf(Bytes(32, 0x77));
  EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buf(kKey), one, one), 0u);
  EXPECT_EQ(bytes(one), Bytes(32, 0));
}

// The key buffer doubling as the output buffer still keys the cipher with
// its original bytes.
TEST(BufferCipher, KeyBufferAsOutput) {
  const Bytes msg(20, 0x31);
  CNorVekXBuffer expected, plain;
  CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(msg), expected);

  CNorVekXBuffer key_and_out = buf(kKey);
  ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(key_and_out, buf(msg), key_and_out), 32u);
  EXPECT_TRUE(key_and_out.compare(expected));

  CNorVekXBuffer key_and_plain = buf(kKey);
  ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(key_and_plain, expected, key_and_plain), msg.size());
  EXPECT_EQ(bytes(key_and_plain), msg);
}

TEST(BufferCipher, OutputLargerBeforehandIsResized) {
  CNorVekXBuffer cipher = buf(Bytes(500, 0xEE)), plain = buf(Bytes(500, 0xDD));
  const Bytes msg(10, 0x01);
  ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(buf(kKey), buf(msg), cipher), 16u);
  EXPECT_EQ(cipher.m_nSize, 16u);
  ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(buf(kKey), cipher, plain), 10u);
  EXPECT_EQ(bytes(plain), msg);
}

}  // namespace
