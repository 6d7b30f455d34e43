// AES block cipher: FIPS-197 vectors, key set-up rules, the lookup tables
// against GF(2^8) arithmetic done here from first principles, and a
// differential run against OpenSSL.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../crypto/aes_tables.h"
#include "norvek/aes.h"
#include "wycheproof.h"

namespace {

using norvek_test::from_hex;
using Bytes = std::vector<uint8_t>;

// --- independent GF(2^8) model ---------------------------------------------
// Carry-less product then reduction by the field polynomial 0x11B, unlike
// the shift-and-add used to build the tables.
uint8_t ref_mul(uint8_t a, uint8_t b) {
  uint32_t product = 0;
  for (int i = 0; i < 8; ++i) {
    if (b & (1u << i)) product ^= uint32_t{a} << i;
  }
  for (int bit = 14; bit >= 8; --bit) {
    if (product & (1u << bit)) product ^= 0x11Bu << (bit - 8);
  }
  return static_cast<uint8_t>(product);
}

uint8_t ref_inverse(uint8_t a) {
  if (a == 0) return 0;
  for (int y = 1; y < 256; ++y) {
    if (ref_mul(a, static_cast<uint8_t>(y)) == 1) return static_cast<uint8_t>(y);
  }
  return 0;
}

// FIPS-197 equation 5.1: b'_i = b_i ^ b_(i+4) ^ b_(i+5) ^ b_(i+6) ^ b_(i+7) ^ c_i.
uint8_t ref_sbox(uint8_t x) {
  const uint8_t b = ref_inverse(x);
  uint8_t out = 0;
  for (int i = 0; i < 8; ++i) {
    const int bit = ((b >> i) ^ (b >> ((i + 4) % 8)) ^ (b >> ((i + 5) % 8)) ^
                     (b >> ((i + 6) % 8)) ^ (b >> ((i + 7) % 8)) ^ (0x63 >> i)) &
                    1;
    out |= static_cast<uint8_t>(bit << i);
  }
  return out;
}

struct RefBoxes {
  std::array<uint8_t, 256> s{}, inv{};
  RefBoxes() {
    for (int x = 0; x < 256; ++x) {
      s[x] = ref_sbox(static_cast<uint8_t>(x));
      inv[s[x]] = static_cast<uint8_t>(x);
    }
  }
};

const RefBoxes& boxes() {
  static const RefBoxes b;
  return b;
}

uint32_t word(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return (uint32_t{a} << 24) | (uint32_t{b} << 16) | (uint32_t{c} << 8) | d;
}

uint32_t ror(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

uint32_t ref_inv_mix_column(uint32_t w) {
  const uint8_t a0 = w >> 24, a1 = w >> 16, a2 = w >> 8, a3 = static_cast<uint8_t>(w);
  auto m = ref_mul;
  return word(m(a0, 14) ^ m(a1, 11) ^ m(a2, 13) ^ m(a3, 9),
              m(a0, 9) ^ m(a1, 14) ^ m(a2, 11) ^ m(a3, 13),
              m(a0, 13) ^ m(a1, 9) ^ m(a2, 14) ^ m(a3, 11),
              m(a0, 11) ^ m(a1, 13) ^ m(a2, 9) ^ m(a3, 14));
}

// --- tables -------------------------------------------------------------------

TEST(AesTables, SboxMatchesPublishedEntries) {
  // FIPS-197 Figure 7 and Figure 14 spot values, and the worked example
  // S(0x53) = 0xED of section 5.1.1.
  const auto& b = boxes();
  EXPECT_EQ(b.s[0x00], 0x63);
  EXPECT_EQ(b.s[0x01], 0x7C);
  EXPECT_EQ(b.s[0x53], 0xED);
  EXPECT_EQ(b.s[0xFF], 0x16);
  EXPECT_EQ(b.inv[0x00], 0x52);
  EXPECT_EQ(b.inv[0xFF], 0x7D);
}

TEST(AesTables, EncryptionTablesFromSbox) {
  const auto& t = norvek_aes_tables::kTables;
  const auto& b = boxes();
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = b.s[x];
    const uint32_t te0 = word(ref_mul(s, 2), s, s, ref_mul(s, 3));
    ASSERT_EQ(t.Te0[x], te0) << x;
    ASSERT_EQ(t.Te1[x], ror(te0, 8)) << x;
    ASSERT_EQ(t.Te2[x], ror(te0, 16)) << x;
    ASSERT_EQ(t.Te3[x], ror(te0, 24)) << x;
    ASSERT_EQ(t.Te4[x], word(s, s, s, s)) << x;
  }
  // Well-known first entries of the reference implementation's tables.
  EXPECT_EQ(t.Te0[0], 0xC66363A5u);
  EXPECT_EQ(t.Te0[255], 0x2C16163Au);
}

TEST(AesTables, DecryptionTablesFromInverseSbox) {
  const auto& t = norvek_aes_tables::kTables;
  const auto& b = boxes();
  for (int x = 0; x < 256; ++x) {
    const uint8_t v = b.inv[x];
    const uint32_t td0 = word(ref_mul(v, 0x0E), ref_mul(v, 0x09), ref_mul(v, 0x0D), ref_mul(v, 0x0B));
    ASSERT_EQ(t.Td0[x], td0) << x;
    ASSERT_EQ(t.Td1[x], ror(td0, 8)) << x;
    ASSERT_EQ(t.Td2[x], ror(td0, 16)) << x;
    ASSERT_EQ(t.Td3[x], ror(td0, 24)) << x;
    ASSERT_EQ(t.Td4[x], word(v, v, v, v)) << x;
  }
  EXPECT_EQ(t.Td0[0], 0x51F4A750u);
}

TEST(AesTables, RoundConstants) {
  const uint32_t expected[10] = {0x01000000, 0x02000000, 0x04000000, 0x08000000, 0x10000000,
                                 0x20000000, 0x40000000, 0x80000000, 0x1B000000, 0x36000000};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(norvek_aes_tables::kTables.rcon[i], expected[i]) << i;
}

// --- FIPS-197 Appendix C ---------------------------------------------------

struct KnownAnswer {
  const char* name;
  const char* key;
  const char* plain;
  const char* cipher;
  int32_t rounds;
};

const KnownAnswer kAppendixC[] = {
    {"C.1 AES-128", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a", 10},
    {"C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191", 12},
    {"C.3 AES-256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089", 14},
};

TEST(AesBlock, Fips197AppendixC) {
  for (const auto& v : kAppendixC) {
    SCOPED_TRACE(v.name);
    const Bytes key = from_hex(v.key), pt = from_hex(v.plain), ct = from_hex(v.cipher);
    const auto bits = static_cast<int32_t>(key.size() * 8);
    vantel_aes_key_stKQZP enc{}, dec{};
    ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
    ASSERT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);
    EXPECT_EQ(enc.rounds, v.rounds);
    EXPECT_EQ(dec.rounds, v.rounds);

    Bytes out(16);
    norvek_AES_encryptKQZP(pt.data(), out.data(), &enc);
    EXPECT_EQ(out, ct);
    norvek_AES_decryptKQZP(ct.data(), out.data(), &dec);
    EXPECT_EQ(out, pt);

    Bytes block = pt;  // in place
    norvek_AES_encryptKQZP(block.data(), block.data(), &enc);
    EXPECT_EQ(block, ct);
    norvek_AES_decryptKQZP(block.data(), block.data(), &dec);
    EXPECT_EQ(block, pt);
  }
}

TEST(AesBlock, UnalignedBuffers) {
  const Bytes key = from_hex(kAppendixC[0].key), pt = from_hex(kAppendixC[0].plain);
  vantel_aes_key_stKQZP enc{}, dec{};
  norvek_AES_set_encrypt_keyKQZP(key.data(), 128, &enc);
  norvek_AES_set_decrypt_keyKQZP(key.data(), 128, &dec);
  uint8_t in[17], out[19];
  std::memcpy(in + 1, pt.data(), 16);
  norvek_AES_encryptKQZP(in + 1, out + 3, &enc);
  EXPECT_EQ(Bytes(out + 3, out + 19), from_hex(kAppendixC[0].cipher));
  norvek_AES_decryptKQZP(out + 3, in + 1, &dec);
  EXPECT_EQ(Bytes(in + 1, in + 17), pt);
}

// --- key schedule ------------------------------------------------------------

// FIPS-197 Appendix A: first derived word and last word of each expansion.
TEST(AesKeySchedule, Fips197AppendixA) {
  struct Case {
    const char* key;
    int first_index;
    uint32_t first;
    int last_index;
    uint32_t last;
  };
  const Case cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c", 4, 0xa0fafe17, 43, 0xb6630ca6},
      {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", 6, 0xfe0c91f7, 51, 0x01002202},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", 8, 0x9ba35411, 59,
       0x706c631e},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const Bytes key = from_hex(c.key);
    vantel_aes_key_stKQZP rec{};
    ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), static_cast<int32_t>(key.size() * 8), &rec),
              0);
    for (size_t i = 0; i < key.size() / 4; ++i) {
      EXPECT_EQ(rec.round_keys[i], word(key[4 * i], key[4 * i + 1], key[4 * i + 2], key[4 * i + 3]));
    }
    EXPECT_EQ(rec.round_keys[c.first_index], c.first);
    EXPECT_EQ(rec.round_keys[c.last_index], c.last);
  }
}

// The decryption form is the equivalent inverse cipher's schedule: round keys
// reversed, InvMixColumns on all but the outer two.
TEST(AesKeySchedule, DecryptionFormIsEquivalentInverseSchedule) {
  std::mt19937 rng(197);
  for (int32_t bits : {128, 192, 256}) {
    SCOPED_TRACE(bits);
    Bytes key(static_cast<size_t>(bits / 8));
    for (auto& b : key) b = static_cast<uint8_t>(rng());
    vantel_aes_key_stKQZP enc{}, dec{};
    ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
    ASSERT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);
    const int32_t nr = enc.rounds;
    for (int32_t r = 0; r <= nr; ++r) {
      for (int k = 0; k < 4; ++k) {
        const uint32_t w = enc.round_keys[4 * (nr - r) + k];
        const uint32_t expected = (r == 0 || r == nr) ? w : ref_inv_mix_column(w);
        ASSERT_EQ(dec.round_keys[4 * r + k], expected) << "round " << r << " word " << k;
      }
    }
  }
}

using SetupFn = int32_t (*)(const uint8_t*, int32_t, vantel_aes_key_stKQZP*);
const std::pair<const char*, SetupFn> kSetups[] = {
    {"encrypt", norvek_AES_set_encrypt_keyKQZP},
    {"decrypt", norvek_AES_set_decrypt_keyKQZP},
};

vantel_aes_key_stKQZP patterned_record() {
  vantel_aes_key_stKQZP rec;
  std::memset(&rec, 0xA5, sizeof rec);
  return rec;
}

bool same_record(const vantel_aes_key_stKQZP& a, const vantel_aes_key_stKQZP& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(AesKeySetup, BadSizeGivesMinusTwoAndWritesNothing) {
  const uint8_t key[64] = {1, 2, 3};
  for (const auto& [name, setup] : kSetups) {
    for (int32_t bits : {0, 64, 127, 129, 160, 224, 255, 512, -128, 384, 1 << 30}) {
      SCOPED_TRACE(std::string(name) + " bits=" + std::to_string(bits));
      const vantel_aes_key_stKQZP before = patterned_record();
      vantel_aes_key_stKQZP rec = before;
      EXPECT_EQ(setup(key, bits, &rec), -2);
      EXPECT_TRUE(same_record(rec, before));
    }
  }
}

TEST(AesKeySetup, NullPointersGiveMinusOneFirst) {
  const uint8_t key[32] = {};
  for (const auto& [name, setup] : kSetups) {
    for (int32_t bits : {128, 192, 256, 0, 129, 512}) {
      SCOPED_TRACE(std::string(name) + " bits=" + std::to_string(bits));
      const vantel_aes_key_stKQZP before = patterned_record();
      vantel_aes_key_stKQZP rec = before;
      EXPECT_EQ(setup(nullptr, bits, &rec), -1);
      EXPECT_TRUE(same_record(rec, before));
      EXPECT_EQ(setup(key, bits, nullptr), -1);
      EXPECT_EQ(setup(nullptr, bits, nullptr), -1);
    }
  }
}

// Only 4 * (rounds + 1) words are written; the rest keep what they held.
TEST(AesKeySetup, WritesOnlyTheUsedWords) {
  const uint8_t key[32] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  for (const auto& [name, setup] : kSetups) {
    for (int32_t bits : {128, 192, 256}) {
      SCOPED_TRACE(std::string(name) + " bits=" + std::to_string(bits));
      vantel_aes_key_stKQZP rec = patterned_record();
      ASSERT_EQ(setup(key, bits, &rec), 0);
      const int32_t rounds = bits == 128 ? 10 : bits == 192 ? 12 : 14;
      EXPECT_EQ(rec.rounds, rounds);
      for (int i = 4 * (rounds + 1); i < 60; ++i) EXPECT_EQ(rec.round_keys[i], 0xA5A5A5A5u) << i;

      vantel_aes_key_stKQZP zeroed{};
      ASSERT_EQ(setup(key, bits, &zeroed), 0);
      for (int i = 4 * (rounds + 1); i < 60; ++i) EXPECT_EQ(zeroed.round_keys[i], 0u) << i;
    }
  }
}

TEST(AesKeySetup, ReadsOnlyBitsOverEightKeyBytes) {
  // Bytes past the key size must not matter.
  uint8_t a[32], b[32];
  for (int i = 0; i < 32; ++i) a[i] = b[i] = static_cast<uint8_t>(i * 7);
  for (int i = 16; i < 32; ++i) b[i] ^= 0xFF;
  vantel_aes_key_stKQZP ka{}, kb{};
  norvek_AES_set_encrypt_keyKQZP(a, 128, &ka);
  norvek_AES_set_encrypt_keyKQZP(b, 128, &kb);
  EXPECT_TRUE(same_record(ka, kb));
}

// A record that never saw a set-up gives some output, not a fault (the
// sanitizer build checks that nothing outside the record is read).
TEST(AesBlock, UnsetRecordStaysInBounds) {
  for (int32_t rounds : {0, 1, 11, 13, 15, -1, 1000}) {
    vantel_aes_key_stKQZP rec{};
    rec.rounds = rounds;
    uint8_t block[16] = {};
    norvek_AES_encryptKQZP(block, block, &rec);
    norvek_AES_decryptKQZP(block, block, &rec);
  }
}

// --- differential against OpenSSL -------------------------------------------

Bytes openssl_ecb(const Bytes& key, const Bytes& in, bool encrypt) {
  const EVP_CIPHER* cipher = key.size() == 16   ? EVP_aes_128_ecb()
                             : key.size() == 24 ? EVP_aes_192_ecb()
                                                : EVP_aes_256_ecb();
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 16);
  int len = 0, fin = 0;
  EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), nullptr, encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, out.data() + len, &fin);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(len + fin));
  return out;
}

TEST(AesBlock, MatchesOpenSslOnRandomKeysAndBlocks) {
  std::mt19937_64 rng(0x5EED'AE5);
  for (int32_t bits : {128, 192, 256}) {
    SCOPED_TRACE(bits);
    for (int k = 0; k < 64; ++k) {
      Bytes key(static_cast<size_t>(bits / 8)), blocks(16 * 16);
      for (auto& b : key) b = static_cast<uint8_t>(rng());
      for (auto& b : blocks) b = static_cast<uint8_t>(rng());
      vantel_aes_key_stKQZP enc{}, dec{};
      ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
      ASSERT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);

      const Bytes expected_ct = openssl_ecb(key, blocks, true);
      const Bytes expected_pt = openssl_ecb(key, blocks, false);
      Bytes ct(blocks.size()), pt(blocks.size());
      for (size_t i = 0; i < blocks.size(); i += 16) {
        norvek_AES_encryptKQZP(&blocks[i], &ct[i], &enc);
        norvek_AES_decryptKQZP(&blocks[i], &pt[i], &dec);
      }
      ASSERT_EQ(ct, expected_ct);
      ASSERT_EQ(pt, expected_pt);
    }
  }
}

}  // namespace
