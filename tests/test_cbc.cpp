// CBC chaining and the PKCS#7 helpers: NIST SP 800-38A, Wycheproof
// AES-CBC-PKCS5, OpenSSL as a differential oracle, and the pad check
// against a plain reference over every small case.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "norvek/aes.h"
#include "wycheproof.h"

namespace {

using norvek_test::from_hex;
using Bytes = std::vector<uint8_t>;

struct Keys {
  vantel_aes_key_stKQZP enc{}, dec{};
  explicit Keys(const Bytes& key) {
    const auto bits = static_cast<int32_t>(key.size() * 8);
    EXPECT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
    EXPECT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);
  }
};

// --- NIST SP 800-38A F.2.1 / F.2.2 (CBC-AES128) -----------------------------

const char* const kSp800Key = "2b7e151628aed2a6abf7158809cf4f3c";
const char* const kSp800Iv = "000102030405060708090a0b0c0d0e0f";
const char* const kSp800Plain =
    "6bc1bee22e409f96e93d7e117393172a"
    "ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef"
    "f69f2445df4f9b17ad2b417be66c3710";
const char* const kSp800Cipher =
    "7649abac8119b246cee98e9b12e9197d"
    "5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e22229516"
    "3ff1caa1681fac09120eca307586e1a7";

TEST(Cbc, Sp800_38A_F21_Encrypt) {
  const Keys k(from_hex(kSp800Key));
  const Bytes pt = from_hex(kSp800Plain), ct = from_hex(kSp800Cipher);
  Bytes iv = from_hex(kSp800Iv), out(pt.size());
  norvek_AES_cbc_encryptKQZP(pt.data(), out.data(), iv.data(), 4, &k.enc);
  EXPECT_EQ(out, ct);
  EXPECT_EQ(iv, Bytes(ct.end() - 16, ct.end()));  // ready to continue the chain
}

TEST(Cbc, Sp800_38A_F22_Decrypt) {
  const Keys k(from_hex(kSp800Key));
  const Bytes pt = from_hex(kSp800Plain), ct = from_hex(kSp800Cipher);
  Bytes iv = from_hex(kSp800Iv), out(ct.size());
  norvek_AES_cbc_decryptKQZP(ct.data(), out.data(), iv.data(), 4, &k.dec);
  EXPECT_EQ(out, pt);
  EXPECT_EQ(iv, Bytes(ct.end() - 16, ct.end()));
}

TEST(Cbc, SplitCallsContinueTheChain) {
  const Keys k(from_hex(kSp800Key));
  const Bytes pt = from_hex(kSp800Plain), ct = from_hex(kSp800Cipher);
  for (uint64_t first = 0; first <= 4; ++first) {
    SCOPED_TRACE(first);
    Bytes iv = from_hex(kSp800Iv), out(64);
    norvek_AES_cbc_encryptKQZP(pt.data(), out.data(), iv.data(), first, &k.enc);
    norvek_AES_cbc_encryptKQZP(pt.data() + 16 * first, out.data() + 16 * first, iv.data(),
                               4 - first, &k.enc);
    EXPECT_EQ(out, ct);

    iv = from_hex(kSp800Iv);
    norvek_AES_cbc_decryptKQZP(ct.data(), out.data(), iv.data(), first, &k.dec);
    norvek_AES_cbc_decryptKQZP(ct.data() + 16 * first, out.data() + 16 * first, iv.data(),
                               4 - first, &k.dec);
    EXPECT_EQ(out, pt);
  }
}

TEST(Cbc, ZeroBlocksTouchNothing) {
  const Keys k(from_hex(kSp800Key));
  const Bytes in(32, 0x11), iv0 = from_hex(kSp800Iv), out0(32, 0xEE);
  Bytes iv = iv0, out = out0;
  norvek_AES_cbc_encryptKQZP(in.data(), out.data(), iv.data(), 0, &k.enc);
  EXPECT_EQ(out, out0);
  EXPECT_EQ(iv, iv0);
  norvek_AES_cbc_decryptKQZP(in.data(), out.data(), iv.data(), 0, &k.dec);
  EXPECT_EQ(out, out0);
  EXPECT_EQ(iv, iv0);
}

TEST(Cbc, EncryptInPlace) {
  const Keys k(from_hex(kSp800Key));
  Bytes buf = from_hex(kSp800Plain), iv = from_hex(kSp800Iv);
  norvek_AES_cbc_encryptKQZP(buf.data(), buf.data(), iv.data(), 4, &k.enc);
  EXPECT_EQ(buf, from_hex(kSp800Cipher));
}

// --- PKCS#7 helpers ----------------------------------------------------------

TEST(Pkcs7, PadLengthFromLength) {
  const std::pair<uint64_t, int32_t> cases[] = {
      {0, 16}, {1, 15}, {15, 1}, {16, 16}, {17, 15}, {31, 1}, {32, 16},
      {(1ull << 31) + 3, 13}, {UINT64_MAX, 1}, {UINT64_MAX - 15, 16},
  };
  for (const auto& [len, pad] : cases) {
    EXPECT_EQ(norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(len), pad) << len;
  }
}

TEST(Pkcs7, PaddingWritesOnlyThePad) {
  for (uint64_t len = 0; len <= 48; ++len) {
    SCOPED_TRACE(len);
    Bytes buf(len + 16 + 8, 0xCC);
    for (uint64_t i = 0; i < len; ++i) buf[i] = static_cast<uint8_t>(i);
    norvek_AES_PKCS7PaddingKQZP(buf.data(), len);
    const uint64_t pad = 16 - len % 16;
    for (uint64_t i = 0; i < len; ++i) ASSERT_EQ(buf[i], static_cast<uint8_t>(i));
    for (uint64_t i = len; i < len + pad; ++i) ASSERT_EQ(buf[i], pad);
    for (uint64_t i = len + pad; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xCC);
  }
  // The listed examples: 5 bytes gain eleven 0x0B at 5..15; 16 bytes gain
  // sixteen 0x10 at 16..31.
  Bytes five(16, 0);
  norvek_AES_PKCS7PaddingKQZP(five.data(), 5);
  EXPECT_EQ(five, Bytes({0, 0, 0, 0, 0, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11}));
  Bytes sixteen(32, 0);
  norvek_AES_PKCS7PaddingKQZP(sixteen.data(), 16);
  EXPECT_EQ(Bytes(sixteen.begin() + 16, sixteen.end()), Bytes(16, 0x10));
}

int32_t pad_of(const Bytes& b) {
  return norvek_AES_get_PKCS7Padding_length_by_dataKQZP(b.data(), b.size());
}

TEST(Pkcs7, PadCheckExamples) {
  Bytes abc = {'a', 'b', 'c'};
  abc.insert(abc.end(), 13, 0x0D);
  Bytes x14(14, 'x');
  x14.insert(x14.end(), {0x02, 0x02});
  Bytes x15(15, 'x');
  x15.push_back(0x02);
  Bytes ends0(15, 1), ends11(16, 0x11);
  ends0.push_back(0x00);

  EXPECT_EQ(pad_of(Bytes(16, 0x10)), 16);
  EXPECT_EQ(pad_of(abc), 13);
  EXPECT_EQ(pad_of(x14), 2);
  EXPECT_EQ(pad_of(x15), -1);
  EXPECT_EQ(pad_of(ends0), -1);
  EXPECT_EQ(pad_of(ends11), -1);
  EXPECT_EQ(norvek_AES_get_PKCS7Padding_length_by_dataKQZP(nullptr, 0), -1);
  EXPECT_EQ(pad_of(Bytes{0x05, 0x05}), -1);  // pad longer than the data
  EXPECT_EQ(pad_of(Bytes{0x01}), 1);
  EXPECT_EQ(pad_of(Bytes(17, 0x11)), -1);  // above 16 even when the bytes agree
  EXPECT_EQ(pad_of(Bytes(255, 0xFF)), -1);
}

// The straightforward check, stopping at the first mismatch.
int32_t reference_pad(const Bytes& d) {
  if (d.empty()) return -1;
  const uint8_t p = d.back();
  if (p == 0 || p > 16 || d.size() < p) return -1;
  for (size_t i = 0; i < p; ++i) {
    if (d[d.size() - 1 - i] != p) return -1;
  }
  return p;
}

// Every length up to 40, every final byte, and for each a valid pad, then
// one wrong byte at each position inside and just outside it.
TEST(Pkcs7, PadCheckAgreesWithReferenceEverywhere) {
  std::mt19937 rng(7);
  for (size_t len = 1; len <= 40; ++len) {
    for (int last = 0; last < 256; ++last) {
      Bytes d(len);
      for (auto& b : d) b = static_cast<uint8_t>(rng());
      const size_t run = std::clamp<size_t>(static_cast<size_t>(last), 1, len);
      for (size_t i = 0; i < run; ++i) d[len - 1 - i] = static_cast<uint8_t>(last);
      ASSERT_EQ(pad_of(d), reference_pad(d)) << "len " << len << " last " << last;
      for (size_t pos = 0; pos + 1 < std::min<size_t>(len, 18); ++pos) {
        Bytes bad = d;
        bad[len - 2 - pos] ^= static_cast<uint8_t>(1u << (pos % 8));
        ASSERT_EQ(pad_of(bad), reference_pad(bad)) << "len " << len << " last " << last
                                                    << " flipped " << pos;
      }
    }
  }
}

TEST(Pkcs7, PadCheckReadsOnlyTheData) {
  // A heap block exactly as long as the data: the sanitizer build catches a
  // read before its start when the pad claims more bytes than there are.
  for (size_t len = 1; len <= 17; ++len) {
    auto d = std::make_unique<uint8_t[]>(len);
    std::memset(d.get(), 0x10, len);
    EXPECT_EQ(norvek_AES_get_PKCS7Padding_length_by_dataKQZP(d.get(), len), len >= 16 ? 16 : -1);
  }
}

// --- Wycheproof AES-CBC-PKCS5 -----------------------------------------------

TEST(CbcWycheproof, AesCbcPkcs5) {
  const auto cases =
      norvek_test::load_wycheproof(NORVEK_TEST_DATA_DIR "/wycheproof/aes_cbc_pkcs5_test.json");
  ASSERT_EQ(cases.size(), 216u);
  int valid = 0, invalid = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("tcId " + c.at("tcId") + ": " + c.at("comment"));
    const Bytes key = from_hex(c.at("key")), iv0 = from_hex(c.at("iv"));
    const Bytes msg = from_hex(c.at("msg")), ct = from_hex(c.at("ct"));
    const Keys k(key);

    if (c.at("result") == "valid") {
      ++valid;
      Bytes padded = msg;
      padded.resize(msg.size() + static_cast<size_t>(
                                     norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(
                                         msg.size())));
      norvek_AES_PKCS7PaddingKQZP(padded.data(), msg.size());
      Bytes iv = iv0, out(padded.size());
      norvek_AES_cbc_encryptKQZP(padded.data(), out.data(), iv.data(), padded.size() / 16,
                                 &k.enc);
      EXPECT_EQ(out, ct);
    } else {
      ++invalid;
    }

    // Decrypt every case; invalid ones must fail the pad check or at least
    // not give back the message.
    ASSERT_EQ(ct.size() % 16, 0u);
    Bytes iv = iv0, plain(ct.size());
    norvek_AES_cbc_decryptKQZP(ct.data(), plain.data(), iv.data(), ct.size() / 16, &k.dec);
    const int32_t pad = norvek_AES_get_PKCS7Padding_length_by_dataKQZP(plain.data(), plain.size());
    if (c.at("result") == "valid") {
      ASSERT_GE(pad, 1);
      plain.resize(plain.size() - static_cast<size_t>(pad));
      EXPECT_EQ(plain, msg);
    } else if (pad >= 1) {
      plain.resize(plain.size() - static_cast<size_t>(pad));
      EXPECT_NE(plain, msg);
    }
  }
  EXPECT_EQ(valid, 72);
  EXPECT_EQ(invalid, 144);
}

// --- differential against OpenSSL -------------------------------------------

const EVP_CIPHER* evp_cbc(size_t key_len) {
  return key_len == 16 ? EVP_aes_128_cbc() : key_len == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
}

Bytes openssl_cbc(const Bytes& key, const Bytes& iv, const Bytes& in, bool encrypt) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 16);
  int len = 0, fin = 0;
  EVP_CipherInit_ex(ctx, evp_cbc(key.size()), nullptr, key.data(), iv.data(), encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, out.data() + len, &fin);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(len + fin));
  return out;
}

TEST(CbcDifferential, RandomMessagesMatchOpenSsl) {
  std::mt19937_64 rng(38);
  auto random_bytes = [&](size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
  };
  for (size_t key_len : {16, 24, 32}) {
    SCOPED_TRACE(key_len);
    for (int trial = 0; trial < 60; ++trial) {
      const Bytes key = random_bytes(key_len), iv0 = random_bytes(16);
      const size_t nblock = 1 + rng() % 40;
      const Bytes msg = random_bytes(16 * nblock);
      const Keys k(key);

      const Bytes expected_ct = openssl_cbc(key, iv0, msg, true);
      Bytes iv = iv0, ct(msg.size());
      norvek_AES_cbc_encryptKQZP(msg.data(), ct.data(), iv.data(), nblock, &k.enc);
      ASSERT_EQ(ct, expected_ct);
      ASSERT_EQ(iv, Bytes(ct.end() - 16, ct.end()));

      Bytes pt(ct.size());
      iv = iv0;
      norvek_AES_cbc_decryptKQZP(ct.data(), pt.data(), iv.data(), nblock, &k.dec);
      ASSERT_EQ(pt, msg);
      ASSERT_EQ(iv, Bytes(ct.end() - 16, ct.end()));

      // Random ciphertext decrypts as OpenSSL does, also split in two calls.
      const Bytes noise = random_bytes(msg.size());
      const size_t cut = rng() % (nblock + 1);
      iv = iv0;
      norvek_AES_cbc_decryptKQZP(noise.data(), pt.data(), iv.data(), cut, &k.dec);
      norvek_AES_cbc_decryptKQZP(noise.data() + 16 * cut, pt.data() + 16 * cut, iv.data(),
                                 nblock - cut, &k.dec);
      ASSERT_EQ(pt, openssl_cbc(key, iv0, noise, false));

      // Encryption split in two calls, in place.
      Bytes buf = msg;
      iv = iv0;
      norvek_AES_cbc_encryptKQZP(buf.data(), buf.data(), iv.data(), cut, &k.enc);
      norvek_AES_cbc_encryptKQZP(buf.data() + 16 * cut, buf.data() + 16 * cut, iv.data(),
                                 nblock - cut, &k.enc);
      ASSERT_EQ(buf, expected_ct);
    }
  }
}

}  // namespace
