// CBC chaining and the PKCS#7 helpers: NIST SP 800-38A, Wycheproof
// AES-CBC-PKCS5, OpenSSL as a differential oracle, and the pad check
// against a plain reference over every small case.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "aes_paths.h"
#include "norvek/aes.h"
#include "test_util.h"
#include "wycheproof.h"

namespace {

class Cbc : public norvek_test::AesPathTest {};

using norvek_test::Bytes;
using norvek_test::from_hex;

struct Keys {
  vantel_aes_key_stKQZP enc{}, dec{};
  explicit Keys(const Bytes& key) {
    const auto bits = static_cast<int32_t>(key.size() * 8);
    EXPECT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
    EXPECT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);
  }
};

// --- CBC ----------------------------------------------------------------------

// NIST SP 800-38A F.2.1 / F.2.2 (CBC-AES128). Afterwards ivec holds the last
// ciphertext block, ready to continue the chain.
TEST_P(Cbc, Sp800_38A_F21_F22) {
  const auto& v = norvek_test::sp800_38a_cbc_aes128();
  const Keys k(v.key);
  const Bytes &iv0 = v.iv, &pt = v.plain, &ct = v.cipher;
  const Bytes last(ct.end() - 16, ct.end());

  Bytes iv = iv0, out(64);
  norvek_AES_cbc_encryptKQZP(pt.data(), out.data(), iv.data(), 4, &k.enc);
  EXPECT_EQ(out, ct);
  EXPECT_EQ(iv, last);

  iv = iv0;
  norvek_AES_cbc_decryptKQZP(ct.data(), out.data(), iv.data(), 4, &k.dec);
  EXPECT_EQ(out, pt);
  EXPECT_EQ(iv, last);

  // Zero blocks: neither the output nor ivec changes.
  const Bytes out0(64, 0xEE);
  out = out0;
  iv = iv0;
  norvek_AES_cbc_encryptKQZP(pt.data(), out.data(), iv.data(), 0, &k.enc);
  EXPECT_EQ(out, out0);
  EXPECT_EQ(iv, iv0);
  norvek_AES_cbc_decryptKQZP(ct.data(), out.data(), iv.data(), 0, &k.dec);
  EXPECT_EQ(out, out0);
  EXPECT_EQ(iv, iv0);
}

// Random keys, IVs and lengths against OpenSSL. Each chain is also run as two
// calls cut at a random block (zero-block calls included), and encryption
// in place.
TEST_P(Cbc, RandomMessagesMatchOpenSsl) {
  std::mt19937_64 rng(38);
  using norvek_test::random_bytes;
  for (size_t key_len : {16, 24, 32}) {
    SCOPED_TRACE(key_len);
    for (int trial = 0; trial < 60; ++trial) {
      const Bytes key = random_bytes(rng, key_len), iv0 = random_bytes(rng, 16);
      const size_t nblock = 1 + rng() % 40;
      const Bytes msg = random_bytes(rng, 16 * nblock);
      const Keys k(key);

      const Bytes expected_ct = norvek_test::openssl_aes_cbc(key, iv0, msg, true);
      Bytes iv = iv0, ct(msg.size());
      norvek_AES_cbc_encryptKQZP(msg.data(), ct.data(), iv.data(), nblock, &k.enc);
      ASSERT_EQ(ct, expected_ct);
      ASSERT_EQ(iv, Bytes(ct.end() - 16, ct.end()));

      Bytes pt(ct.size());
      iv = iv0;
      norvek_AES_cbc_decryptKQZP(ct.data(), pt.data(), iv.data(), nblock, &k.dec);
      ASSERT_EQ(pt, msg);
      ASSERT_EQ(iv, Bytes(ct.end() - 16, ct.end()));

      // Random ciphertext decrypts as OpenSSL does, split in two calls.
      const Bytes noise = random_bytes(rng, msg.size());
      const size_t cut = rng() % (nblock + 1);
      iv = iv0;
      norvek_AES_cbc_decryptKQZP(noise.data(), pt.data(), iv.data(), cut, &k.dec);
      norvek_AES_cbc_decryptKQZP(noise.data() + 16 * cut, pt.data() + 16 * cut, iv.data(),
                                 nblock - cut, &k.dec);
      ASSERT_EQ(pt, norvek_test::openssl_aes_cbc(key, iv0, noise, false));

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

// Wycheproof AES-CBC-PKCS5: valid cases through the pad writer and CBC
// encryption; every case through CBC decryption and the pad check.
TEST_P(Cbc, WycheproofAesCbcPkcs5) {
  const auto cases =
      norvek_test::load_wycheproof(NORVEK_TEST_DATA_DIR "/wycheproof/aes_cbc_pkcs5_test.json");
  ASSERT_EQ(cases.size(), 216u);
  int valid = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("tcId " + c.at("tcId") + ": " + c.at("comment"));
    const Bytes key = from_hex(c.at("key")), iv0 = from_hex(c.at("iv"));
    const Bytes msg = from_hex(c.at("msg")), ct = from_hex(c.at("ct"));
    const Keys k(key);
    const bool is_valid = c.at("result") == "valid";

    if (is_valid) {
      ++valid;
      Bytes padded = msg;
      padded.resize(
          msg.size() +
          static_cast<size_t>(norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(msg.size())));
      norvek_AES_PKCS7PaddingKQZP(padded.data(), msg.size());
      Bytes iv = iv0, out(padded.size());
      norvek_AES_cbc_encryptKQZP(padded.data(), out.data(), iv.data(), padded.size() / 16, &k.enc);
      EXPECT_EQ(out, ct);
    }

    // Invalid cases must fail the pad check or at least not give the message.
    ASSERT_EQ(ct.size() % 16, 0u);
    Bytes iv = iv0, plain(ct.size());
    norvek_AES_cbc_decryptKQZP(ct.data(), plain.data(), iv.data(), ct.size() / 16, &k.dec);
    const int32_t pad = norvek_AES_get_PKCS7Padding_length_by_dataKQZP(plain.data(), plain.size());
    if (is_valid) {
      ASSERT_GE(pad, 1);
    }
    if (pad >= 1) {
      plain.resize(plain.size() - static_cast<size_t>(pad));
      EXPECT_EQ(plain == msg, is_valid);
    }
  }
  EXPECT_EQ(valid, 72);
}

// --- PKCS#7 helpers ----------------------------------------------------------

TEST(Pkcs7, PadLengthFromLength) {
  const std::pair<uint64_t, int32_t> cases[] = {
      {0, 16},         {1, 15},
      {15, 1},         {16, 16},
      {17, 15},        {31, 1},
      {32, 16},        {(1ull << 31) + 3, 13},
      {UINT64_MAX, 1}, {UINT64_MAX - 15, 16},
  };
  for (const auto& [len, pad] : cases) {
    EXPECT_EQ(norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(len), pad) << len;
  }
}

// p bytes of value p right after the data; nothing before or after changes.
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
}

int32_t pad_of(const Bytes& b) {
  return norvek_AES_get_PKCS7Padding_length_by_dataKQZP(b.data(), b.size());
}

TEST(Pkcs7, PadCheckExamples) {
  const std::pair<const char*, int32_t> cases[] = {
      {"10101010101010101010101010101010", 16},
      {"6162630d0d0d0d0d0d0d0d0d0d0d0d0d", 13},    // "abc" + 13 x 0x0D
      {"78787878787878787878787878780202", 2},     // 14 x "x" + 0x02 0x02
      {"78787878787878787878787878787802", -1},    // 15 x "x" + 0x02
      {"01010101010101010101010101010100", -1},    // last byte 0x00
      {"11111111111111111111111111111111", -1},    // last byte 0x11
      {"1111111111111111111111111111111111", -1},  // 0x11 even when 17 agree
      {"0505", -1},                                // pad longer than the data
      {"01", 1},
  };
  for (const auto& [hex, pad] : cases) EXPECT_EQ(pad_of(from_hex(hex)), pad) << hex;
  EXPECT_EQ(norvek_AES_get_PKCS7Padding_length_by_dataKQZP(nullptr, 0), -1);
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
// one wrong byte at each position inside and just outside it. The data are
// heap blocks of exactly their length, so the sanitizer build catches a read
// before the start when the pad claims more bytes than there are.
TEST(Pkcs7, PadCheckAgreesWithReferenceEverywhere) {
  std::mt19937 rng(7);
  for (size_t len = 1; len <= 40; ++len) {
    for (int last = 0; last < 256; ++last) {
      Bytes d = norvek_test::random_bytes(rng, len);
      const size_t run = std::clamp<size_t>(static_cast<size_t>(last), 1, len);
      for (size_t i = 0; i < run; ++i) d[len - 1 - i] = static_cast<uint8_t>(last);
      ASSERT_EQ(pad_of(d), reference_pad(d)) << "len " << len << " last " << last;
      for (size_t pos = 0; pos + 1 < std::min<size_t>(len, 18); ++pos) {
        Bytes bad = d;
        bad[len - 2 - pos] ^= static_cast<uint8_t>(1u << (pos % 8));
        ASSERT_EQ(pad_of(bad), reference_pad(bad))
            << "len " << len << " last " << last << " flipped " << pos;
      }
    }
  }
}

NORVEK_ON_EVERY_AES_PATH(Cbc);

}  // namespace
