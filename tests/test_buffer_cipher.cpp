// Encrypt / Decrypt of CNorVekXCryptoHelper: AES-128-CBC with the built-in
// IV and PKCS#7, checked against OpenSSL and against its own round trip, on
// every AES path.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "aes_paths.h"
#include "norvek/buffer_view.h"
#include "norvek/crypto_helper.h"
#include "test_util.h"

namespace {

class BufferCipher : public norvek_test::AesPathTest {};

using norvek_test::buffer_of;
using norvek_test::Bytes;
using norvek_test::bytes_of;
using norvek_test::random_bytes;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXBufferView;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

const Bytes kKey = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                    0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

// The built-in IV, recovered from one ciphertext: IV = D(C0) xor P0, P0 being
// the pad block of an empty plaintext.
Bytes recover_iv(const Bytes& key16) {
  CNorVekXBuffer cipher;
  EXPECT_EQ(CNorVekXCryptoHelper::Encrypt(buffer_of(key16), CNorVekXBuffer(), cipher), 16u);
  Bytes iv = norvek_test::openssl_aes_ecb(key16, bytes_of(cipher), false);
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
  const Bytes pt = norvek_test::openssl_aes_cbc(key16, iv, ct, false);
  const uint8_t p = pt.back();
  bool ok = p >= 1 && p <= 16;
  for (size_t i = 0; ok && i < p; ++i) ok = pt[pt.size() - 1 - i] == p;
  if (!ok) return {0, Bytes(ct.size(), 0)};
  return {pt.size() - p, Bytes(pt.begin(), pt.end() - p)};
}

// Every small length and a few large ones (around the allocator's 128 KiB
// mapping threshold and beyond): the same bytes as OpenSSL AES-128-CBC with
// PKCS#7 under one fixed IV, whatever the key, and back. Keys of 16 to 32
// bytes count by their first 16. Outputs that held other bytes beforehand
// (none, fewer, exactly as many or more than the result) are resized, and a
// shrunk output reads zero past its new length once grown again.
TEST_P(BufferCipher, MatchesOpenSslAndRoundTrips) {
  const Bytes iv = recover_iv(kKey);
  std::mt19937_64 rng(33);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 100; ++n) lengths.push_back(n);
  lengths.insert(lengths.end(), {4096, 65536 + 15, 131072 - 17, 131072, (1u << 20) + 3});
  for (size_t n : lengths) {
    SCOPED_TRACE(n);
    const Bytes key = random_bytes(rng, 16 + rng() % 17), msg = random_bytes(rng, n);
    const Bytes key16(key.begin(), key.begin() + 16);
    const uint64_t ct_len = 16 * (n / 16 + 1);
    for (size_t before : {size_t{0}, size_t{500}, ct_len, ct_len + 40}) {
      SCOPED_TRACE(before);
      CNorVekXBuffer cipher = buffer_of(Bytes(before, 0xEE));
      CNorVekXBuffer plain = buffer_of(Bytes(before, 0xDD));
      ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(buffer_of(key), buffer_of(msg), cipher), ct_len);
      ASSERT_EQ(cipher.m_nSize, ct_len);
      ASSERT_EQ(bytes_of(cipher), norvek_test::openssl_aes_cbc(key16, iv, msg, true, true));
      ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(buffer_of(key), cipher, plain), n);
      ASSERT_EQ(bytes_of(plain), msg);
      plain.resize(n + 16);
      EXPECT_EQ(bytes_of(plain), [&] {
        Bytes grown = msg;
        grown.resize(n + 16, 0);
        return grown;
      }());
    }
  }
}

TEST_P(BufferCipher, ShortKeyIsRefusedAndOutputUntouched) {
  const CNorVekXBuffer msg("attack at dawn");
  CNorVekXBuffer ct;
  CNorVekXCryptoHelper::Encrypt(buffer_of(kKey), msg, ct);
  for (size_t key_len : {0, 1, 15}) {
    SCOPED_TRACE(key_len);
    const CNorVekXBuffer key = buffer_of(Bytes(key_len, 0x42));
    CNorVekXBuffer out("previous content");
    const CNorVekXBuffer before(out);
    EXPECT_EQ(CNorVekXCryptoHelper::Encrypt(key, msg, out), 0u);
    EXPECT_TRUE(out.compare(before));
    EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(key, ct, out), 0u);
    EXPECT_TRUE(out.compare(before));
    // A short key wins over a ragged ciphertext: still untouched.
    EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(key, CNorVekXBuffer("ragged"), out), 0u);
    EXPECT_TRUE(out.compare(before));
  }
}

// Under a wrong key or after damage, Decrypt gives exactly what OpenSSL's
// plaintext and a plain pad check predict: usually 0 with zeroed data, and
// otherwise a plaintext that is not the original (nothing authenticates it).
TEST_P(BufferCipher, WrongKeyAndDamageFollowThePadCheck) {
  const Bytes iv = recover_iv(kKey);
  std::mt19937_64 rng(37);
  int rejected = 0, garbled = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const Bytes msg = random_bytes(rng, rng() % 70);
    CNorVekXBuffer cipher;
    CNorVekXCryptoHelper::Encrypt(buffer_of(kKey), buffer_of(msg), cipher);
    Bytes ct = bytes_of(cipher);
    Bytes key = kKey;
    if (trial % 2 == 0) {
      key[rng() % 16] ^= static_cast<uint8_t>(1 + rng() % 255);
    } else {
      ct[rng() % ct.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
    }
    const Expected want = expected_decrypt(key, iv, ct);
    CNorVekXBuffer plain("old");
    ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(buffer_of(key), buffer_of(ct), plain), want.result);
    ASSERT_EQ(bytes_of(plain), want.data);
    if (want.result == 0) {
      ++rejected;
    } else {
      EXPECT_NE(bytes_of(plain), msg);
      ++garbled;
    }
  }
  EXPECT_GT(rejected, 100);
  EXPECT_GT(garbled, 10);
}

// A ciphertext that is not a positive multiple of 16 bytes fails like bad
// padding, whatever the output buffer held before: zero bytes of the
// ciphertext's length.
TEST_P(BufferCipher, RaggedCiphertextIsRejected) {
  CNorVekXBuffer good;
  CNorVekXCryptoHelper::Encrypt(buffer_of(kKey), buffer_of(Bytes(40, 3)), good);
  for (size_t len : {1, 5, 15, 17, 31, 33, 47, 49}) {
    SCOPED_TRACE(len);
    CNorVekXBuffer ragged(good.m_pData, std::min<uint64_t>(len, good.m_nSize));
    ragged.resize(len);
    // Stale output bytes that would pass as padding if they were judged.
    for (const Bytes& stale : {Bytes(64, 0x01), Bytes(3, 0x01), Bytes()}) {
      CNorVekXBuffer plain = buffer_of(stale);
      EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buffer_of(kKey), ragged, plain), 0u);
      EXPECT_EQ(bytes_of(plain), Bytes(len, 0));
    }
  }
  CNorVekXBuffer plain("stale");
  EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buffer_of(kKey), CNorVekXBuffer(), plain), 0u);
  EXPECT_EQ(plain.m_nSize, 0u);
}

TEST_P(BufferCipher, SameBufferAsInputAndOutput) {
  std::mt19937_64 rng(39);
  for (size_t n : {size_t{0}, size_t{1}, size_t{16}, size_t{33}, size_t{100}, size_t{131073}}) {
    SCOPED_TRACE(n);
    const Bytes msg = random_bytes(rng, n);
    CNorVekXBuffer separate;
    CNorVekXCryptoHelper::Encrypt(buffer_of(kKey), buffer_of(msg), separate);

    CNorVekXBuffer one = buffer_of(msg);
    ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(buffer_of(kKey), one, one), separate.m_nSize);
    ASSERT_TRUE(one.compare(separate));
    ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(buffer_of(kKey), one, one), n);
    ASSERT_EQ(bytes_of(one), msg);
  }
  // Bad padding in place: zero bytes of the ciphertext's length.
  CNorVekXBuffer one = buffer_of(Bytes(32, 0x77));
  EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(buffer_of(kKey), one, one), 0u);
  EXPECT_EQ(bytes_of(one), Bytes(32, 0));
}

// The key buffer doubling as the output buffer still keys the cipher with
// its original bytes.
TEST_P(BufferCipher, KeyBufferAsOutput) {
  const Bytes msg(20, 0x31);
  CNorVekXBuffer expected;
  CNorVekXCryptoHelper::Encrypt(buffer_of(kKey), buffer_of(msg), expected);

  CNorVekXBuffer key_and_out = buffer_of(kKey);
  ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(key_and_out, buffer_of(msg), key_and_out), 32u);
  EXPECT_TRUE(key_and_out.compare(expected));

  CNorVekXBuffer key_and_plain = buffer_of(kKey);
  ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(key_and_plain, expected, key_and_plain), msg.size());
  EXPECT_EQ(bytes_of(key_and_plain), msg);
}

// Memory lent through views (key, input and an output of CipherRoom bytes)
// gives the owning buffers' answers, success or failure, written in place:
// the output's storage is never replaced or given back (a sanitizer build
// would report the free of memory the allocator never handed out).
TEST_P(BufferCipher, LentMemoryIsWrittenInPlace) {
  std::mt19937_64 rng(41);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 48; ++n) lengths.push_back(n);
  lengths.insert(lengths.end(), {4096, 131072 + 5});
  const CNorVekXBufferView key(kKey.data(), kKey.size());
  for (size_t n : lengths) {
    SCOPED_TRACE(n);
    const Bytes msg = random_bytes(rng, n);
    CNorVekXBuffer want_ct;
    CNorVekXCryptoHelper::Encrypt(buffer_of(kKey), buffer_of(msg), want_ct);

    Bytes ct_area(CNorVekXBufferView::CipherRoom(n), 0xEE);
    CNorVekXBufferView ct(ct_area.data(), ct_area.size());
    const CNorVekXBufferView in(msg.data(), msg.size());
    ASSERT_EQ(CNorVekXCryptoHelper::Encrypt(key.input(), in.input(), ct.output()), want_ct.m_nSize);
    ASSERT_EQ(ct.output().m_pData, ct_area.data());
    ASSERT_EQ(Bytes(ct_area.begin(), ct_area.begin() + ct.size()), bytes_of(want_ct));

    // Intact, damaged in the last block, and cut to a ragged length.
    for (int variant = 0; variant < 3; ++variant) {
      SCOPED_TRACE(variant);
      Bytes sent = bytes_of(want_ct);
      if (variant == 1) sent.back() ^= 0x5A;
      if (variant == 2) sent.pop_back();
      CNorVekXBuffer want_plain("old");
      const uint64_t want =
          CNorVekXCryptoHelper::Decrypt(buffer_of(kKey), buffer_of(sent), want_plain);

      Bytes plain_area(CNorVekXBufferView::CipherRoom(sent.size()), 0xDD);
      CNorVekXBufferView plain(plain_area.data(), plain_area.size());
      const CNorVekXBufferView sent_view(sent.data(), sent.size());
      ASSERT_EQ(CNorVekXCryptoHelper::Decrypt(key.input(), sent_view.input(), plain.output()),
                want);
      ASSERT_EQ(plain.output().m_pData, plain_area.data());
      ASSERT_EQ(Bytes(plain_area.begin(), plain_area.begin() + plain.size()), bytes_of(want_plain));
    }
  }
  // A short key leaves a lent output as it was.
  Bytes area(32, 0xAB);
  CNorVekXBufferView out(area.data(), area.size());
  const Bytes short_key(15, 1);
  const CNorVekXBufferView short_view(short_key.data(), short_key.size());
  EXPECT_EQ(CNorVekXCryptoHelper::Encrypt(short_view.input(), CNorVekXBuffer("x"), out.output()),
            0u);
  EXPECT_EQ(CNorVekXCryptoHelper::Decrypt(short_view.input(), CNorVekXBuffer("x"), out.output()),
            0u);
  EXPECT_EQ(out.size(), 32u);
  EXPECT_EQ(area, Bytes(32, 0xAB));
}

NORVEK_ON_EVERY_AES_PATH(BufferCipher);

}  // namespace
