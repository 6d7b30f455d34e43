// AES block cipher: the lookup tables against GF(2^8) arithmetic done here
// from first principles, FIPS-197 vectors, the layout of both key-record
// forms, the key set-up failure rules, and a differential run against OpenSSL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "../crypto/aes_tables.h"
#include "aes_paths.h"
#include "norvek/aes.h"
#include "test_util.h"
#include "wycheproof.h"

namespace {

class AesBlock : public norvek_test::AesPathTest {};
class AesKeySchedule : public norvek_test::AesPathTest {};
class AesKeySetup : public norvek_test::AesPathTest {};

using norvek_test::Bytes;
using norvek_test::from_hex;

uint32_t word(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return (uint32_t{a} << 24) | (uint32_t{b} << 16) | (uint32_t{c} << 8) | d;
}

// Carry-less product reduced by 0x11B: independent of the tables' arithmetic.
uint8_t gf_mul(uint8_t a, uint8_t b) {
  uint32_t product = 0;
  for (int i = 0; i < 8; ++i) {
    if (b & (1u << i)) product ^= uint32_t{a} << i;
  }
  for (int bit = 14; bit >= 8; --bit) {
    if (product & (1u << bit)) product ^= 0x11Bu << (bit - 8);
  }
  return static_cast<uint8_t>(product);
}

uint32_t inv_mix_column(uint32_t w) {
  const uint8_t a0 = w >> 24, a1 = w >> 16, a2 = w >> 8, a3 = static_cast<uint8_t>(w);
  auto m = gf_mul;
  return word(
      m(a0, 14) ^ m(a1, 11) ^ m(a2, 13) ^ m(a3, 9), m(a0, 9) ^ m(a1, 14) ^ m(a2, 11) ^ m(a3, 13),
      m(a0, 13) ^ m(a1, 9) ^ m(a2, 14) ^ m(a3, 11), m(a0, 11) ^ m(a1, 13) ^ m(a2, 9) ^ m(a3, 14));
}

uint32_t ror(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// S-box by its definition: the multiplicative inverse, then the affine map of
// FIPS-197 equation 5.1 (inverse found by search, not by exponentiation).
uint8_t sbox_by_definition(uint8_t x) {
  uint8_t inv = 0;
  for (int y = 1; x != 0 && y < 256; ++y) {
    if (gf_mul(x, static_cast<uint8_t>(y)) == 1) inv = static_cast<uint8_t>(y);
  }
  uint8_t out = 0;
  for (int i = 0; i < 8; ++i) {
    const int bit = ((inv >> i) ^ (inv >> ((i + 4) % 8)) ^ (inv >> ((i + 5) % 8)) ^
                     (inv >> ((i + 6) % 8)) ^ (inv >> ((i + 7) % 8)) ^ (0x63 >> i)) &
                    1;
    out |= static_cast<uint8_t>(bit << i);
  }
  return out;
}

TEST(AesTables, EqualTheGf256Definitions) {
  uint8_t s[256], inv_s[256];
  for (int x = 0; x < 256; ++x) {
    s[x] = sbox_by_definition(static_cast<uint8_t>(x));
    inv_s[s[x]] = static_cast<uint8_t>(x);
  }
  // FIPS-197 Figure 7 / Figure 14 spot values anchor the model itself.
  ASSERT_EQ(s[0x00], 0x63);
  ASSERT_EQ(s[0x53], 0xED);
  ASSERT_EQ(inv_s[0x00], 0x52);

  const auto& t = norvek_aes_tables::kTables;
  for (int x = 0; x < 256; ++x) {
    const uint8_t e = s[x], d = inv_s[x];
    const uint32_t te0 = word(gf_mul(e, 2), e, e, gf_mul(e, 3));
    const uint32_t td0 = word(gf_mul(d, 14), gf_mul(d, 9), gf_mul(d, 13), gf_mul(d, 11));
    ASSERT_EQ(t.Te0[x], te0) << x;
    ASSERT_EQ(t.Te1[x], ror(te0, 8)) << x;
    ASSERT_EQ(t.Te2[x], ror(te0, 16)) << x;
    ASSERT_EQ(t.Te3[x], ror(te0, 24)) << x;
    ASSERT_EQ(t.Te4[x], word(e, e, e, e)) << x;
    ASSERT_EQ(t.Td0[x], td0) << x;
    ASSERT_EQ(t.Td1[x], ror(td0, 8)) << x;
    ASSERT_EQ(t.Td2[x], ror(td0, 16)) << x;
    ASSERT_EQ(t.Td3[x], ror(td0, 24)) << x;
    ASSERT_EQ(t.Td4[x], word(d, d, d, d)) << x;
  }
  uint8_t rc = 1;
  for (int i = 0; i < 10; ++i, rc = gf_mul(rc, 2)) EXPECT_EQ(t.rcon[i], word(rc, 0, 0, 0)) << i;
}

// FIPS-197 Appendix C, with separate unaligned buffers and in place.
TEST_P(AesBlock, Fips197AppendixC) {
  const struct {
    const char *name, *key, *cipher;
  } vectors[] = {
      {"C.1 AES-128", "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617",
       "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"C.3 AES-256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "8ea2b7ca516745bfeafc49904b496089"},
  };
  const Bytes pt = from_hex("00112233445566778899aabbccddeeff");
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.name);
    const Bytes key = from_hex(v.key), ct = from_hex(v.cipher);
    const auto bits = static_cast<int32_t>(key.size() * 8);
    vantel_aes_key_stKQZP enc{}, dec{};
    ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
    ASSERT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);

    uint8_t in[17], out[19];
    std::memcpy(in + 1, pt.data(), 16);
    norvek_AES_encryptKQZP(in + 1, out + 3, &enc);
    EXPECT_EQ(Bytes(out + 3, out + 19), ct);
    norvek_AES_decryptKQZP(out + 3, in + 1, &dec);
    EXPECT_EQ(Bytes(in + 1, in + 17), pt);

    Bytes block = pt;
    norvek_AES_encryptKQZP(block.data(), block.data(), &enc);
    EXPECT_EQ(block, ct);
    norvek_AES_decryptKQZP(block.data(), block.data(), &dec);
    EXPECT_EQ(block, pt);
  }
}

// FIPS-197 Appendix A: the key itself, the first derived word and the last
// word of each expansion.
TEST_P(AesKeySchedule, Fips197AppendixA) {
  const struct {
    const char* key;
    int first_index;
    uint32_t first;
    int last_index;
    uint32_t last;
  } cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c", 4, 0xa0fafe17, 43, 0xb6630ca6},
      {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", 6, 0xfe0c91f7, 51, 0x01002202},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", 8, 0x9ba35411, 59,
       0x706c631e},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const Bytes key = from_hex(c.key);
    vantel_aes_key_stKQZP rec{};
    ASSERT_EQ(
        norvek_AES_set_encrypt_keyKQZP(key.data(), static_cast<int32_t>(key.size() * 8), &rec), 0);
    for (size_t i = 0; i < key.size() / 4; ++i) {
      EXPECT_EQ(rec.round_keys[i],
                word(key[4 * i], key[4 * i + 1], key[4 * i + 2], key[4 * i + 3]));
    }
    EXPECT_EQ(rec.round_keys[c.first_index], c.first);
    EXPECT_EQ(rec.round_keys[c.last_index], c.last);
  }
}

// The decryption form is the equivalent inverse cipher's schedule: round keys
// reversed, InvMixColumns on all but the outer two.
TEST_P(AesKeySchedule, DecryptionFormIsEquivalentInverseSchedule) {
  std::mt19937 rng(197);
  for (int32_t bits : {128, 192, 256}) {
    SCOPED_TRACE(bits);
    const Bytes key = norvek_test::random_bytes(rng, static_cast<size_t>(bits / 8));
    vantel_aes_key_stKQZP enc{}, dec{};
    ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
    ASSERT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);
    const int32_t nr = enc.rounds;
    for (int32_t r = 0; r <= nr; ++r) {
      for (int k = 0; k < 4; ++k) {
        const uint32_t w = enc.round_keys[4 * (nr - r) + k];
        const uint32_t expected = (r == 0 || r == nr) ? w : inv_mix_column(w);
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

// A null pointer gives -1 whatever the size; otherwise a bad size gives -2.
// Either way the record keeps its previous contents.
TEST_P(AesKeySetup, FailuresReportAndWriteNothing) {
  const uint8_t key[64] = {1, 2, 3};
  for (const auto& [name, setup] : kSetups) {
    for (int32_t bits : {128, 192, 256, 0, 64, 127, 129, 160, 224, 255, 512, -128, 384, 1 << 30}) {
      SCOPED_TRACE(std::string(name) + " bits=" + std::to_string(bits));
      const bool size_ok = bits == 128 || bits == 192 || bits == 256;
      const vantel_aes_key_stKQZP before = patterned_record();
      vantel_aes_key_stKQZP rec = before;
      EXPECT_EQ(setup(nullptr, bits, &rec), -1);
      EXPECT_EQ(std::memcmp(&rec, &before, sizeof rec), 0);
      EXPECT_EQ(setup(key, bits, nullptr), -1);
      EXPECT_EQ(setup(nullptr, bits, nullptr), -1);
      if (!size_ok) {
        EXPECT_EQ(setup(key, bits, &rec), -2);
        EXPECT_EQ(std::memcmp(&rec, &before, sizeof rec), 0);
      }
    }
  }
}

// Only 4 * (rounds + 1) words are written; the rest keep what they held.
TEST_P(AesKeySetup, WritesOnlyTheUsedWords) {
  const uint8_t key[32] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  for (const auto& [name, setup] : kSetups) {
    for (const auto& [bits, rounds] : {std::pair{128, 10}, {192, 12}, {256, 14}}) {
      SCOPED_TRACE(std::string(name) + " bits=" + std::to_string(bits));
      vantel_aes_key_stKQZP rec = patterned_record();
      ASSERT_EQ(setup(key, bits, &rec), 0);
      EXPECT_EQ(rec.rounds, rounds);
      for (int i = 4 * (rounds + 1); i < 60; ++i) EXPECT_EQ(rec.round_keys[i], 0xA5A5A5A5u) << i;
    }
  }
}

// A record that never saw a set-up gives some output, not a fault (the
// sanitizer build checks that nothing outside the record is read).
TEST_P(AesBlock, UnsetRecordStaysInBounds) {
  for (int32_t rounds : {0, 1, 11, 13, 15, -1, 1000}) {
    vantel_aes_key_stKQZP rec{};
    rec.rounds = rounds;
    uint8_t block[16] = {};
    norvek_AES_encryptKQZP(block, block, &rec);
    norvek_AES_decryptKQZP(block, block, &rec);
  }
}

// Keys are heap blocks of exactly bits / 8 bytes, so the sanitizer build also
// catches a set-up that reads past the key.
TEST_P(AesBlock, MatchesOpenSslOnRandomKeysAndBlocks) {
  std::mt19937_64 rng(0x5EED'AE5);
  for (int32_t bits : {128, 192, 256}) {
    SCOPED_TRACE(bits);
    for (int k = 0; k < 64; ++k) {
      const Bytes key = norvek_test::random_bytes(rng, static_cast<size_t>(bits / 8));
      const Bytes blocks = norvek_test::random_bytes(rng, 16 * 16);
      vantel_aes_key_stKQZP enc{}, dec{};
      ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
      ASSERT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);

      Bytes ct(blocks.size()), pt(blocks.size());
      for (size_t i = 0; i < blocks.size(); i += 16) {
        norvek_AES_encryptKQZP(&blocks[i], &ct[i], &enc);
        norvek_AES_decryptKQZP(&blocks[i], &pt[i], &dec);
      }
      ASSERT_EQ(ct, norvek_test::openssl_aes_ecb(key, blocks, true));
      ASSERT_EQ(pt, norvek_test::openssl_aes_ecb(key, blocks, false));
    }
  }
}

// --- across paths ------------------------------------------------------------

using norvek_test::available_aes_paths;

void use_path(NorvekAesPath path) { ASSERT_TRUE(norvek_aes_force_path(path)); }

struct PathReset {
  ~PathReset() { norvek_aes_force_path(NorvekAesPath::automatic); }
};

// The switch refuses what the machine lacks and leaves the choice alone;
// automatic picks the first available of vaes, aesni, armv8, table.
TEST(AesPaths, SwitchRefusesMissingPathsAndPicksTheBest) {
  PathReset reset;
  const auto paths = available_aes_paths();
  for (NorvekAesPath p : norvek_test::kAllAesPaths) {
    SCOPED_TRACE(norvek_test::aes_path_name(p));
    const bool have = std::find(paths.begin(), paths.end(), p) != paths.end();
    use_path(NorvekAesPath::table);
    EXPECT_EQ(norvek_aes_force_path(p), have);
    EXPECT_EQ(norvek_aes_current_path(), have ? p : NorvekAesPath::table);
  }
  use_path(NorvekAesPath::automatic);
  NorvekAesPath best = NorvekAesPath::table;
  for (NorvekAesPath p : {NorvekAesPath::armv8, NorvekAesPath::aesni, NorvekAesPath::vaes}) {
    if (norvek_aes_path_available(p)) best = p;
  }
  EXPECT_EQ(norvek_aes_current_path(), best);
}

// Every path writes the same record, word for word, untouched words included.
TEST(AesPaths, SetUpWritesTheSameRecordOnEveryPath) {
  PathReset reset;
  std::mt19937_64 rng(0xAE5);
  for (int32_t bits : {128, 192, 256}) {
    for (int trial = 0; trial < 16; ++trial) {
      const Bytes key = norvek_test::random_bytes(rng, static_cast<size_t>(bits / 8));
      for (const auto& [name, setup] : kSetups) {
        SCOPED_TRACE(std::string(name) + " bits=" + std::to_string(bits));
        use_path(NorvekAesPath::table);
        vantel_aes_key_stKQZP want = patterned_record();
        ASSERT_EQ(setup(key.data(), bits, &want), 0);
        for (NorvekAesPath p : available_aes_paths()) {
          use_path(p);
          vantel_aes_key_stKQZP got = patterned_record();
          ASSERT_EQ(setup(key.data(), bits, &got), 0);
          ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << norvek_test::aes_path_name(p);
        }
      }
    }
  }
}

// What one path computes, for comparing against another.
struct Outputs {
  Bytes block_enc, block_dec, cbc_enc, cbc_dec, cbc_dec_in_place, iv_enc, iv_dec;
  bool operator==(const Outputs&) const = default;
};

Outputs run_all(const vantel_aes_key_stKQZP& enc, const vantel_aes_key_stKQZP& dec,
                const Bytes& iv0, const Bytes& msg) {
  Outputs o;
  o.block_enc = o.block_dec = Bytes(16);
  norvek_AES_encryptKQZP(msg.data(), o.block_enc.data(), &enc);
  norvek_AES_decryptKQZP(msg.data(), o.block_dec.data(), &dec);
  const uint64_t n = msg.size() / 16;
  o.cbc_enc = o.cbc_dec = Bytes(msg.size());
  o.iv_enc = o.iv_dec = iv0;
  norvek_AES_cbc_encryptKQZP(msg.data(), o.cbc_enc.data(), o.iv_enc.data(), n, &enc);
  norvek_AES_cbc_decryptKQZP(msg.data(), o.cbc_dec.data(), o.iv_dec.data(), n, &dec);
  o.cbc_dec_in_place = msg;
  Bytes iv = iv0;
  norvek_AES_cbc_decryptKQZP(o.cbc_dec_in_place.data(), o.cbc_dec_in_place.data(), iv.data(), n,
                             &dec);
  return o;
}

// A record set up on one path works on every other, and gives what the
// table path gives with its own record. Lengths cover the bulk loops' group
// sizes and their tails; in-place CBC decryption included.
TEST(AesPaths, RecordsWorkAcrossPaths) {
  PathReset reset;
  std::mt19937_64 rng(0xC0DE);
  const auto paths = available_aes_paths();
  for (int32_t bits : {128, 192, 256}) {
    for (uint64_t nblock : {1, 7, 8, 9, 15, 16, 17, 31, 33, 40}) {
      SCOPED_TRACE("bits=" + std::to_string(bits) + " blocks=" + std::to_string(nblock));
      const Bytes key = norvek_test::random_bytes(rng, static_cast<size_t>(bits / 8));
      const Bytes iv0 = norvek_test::random_bytes(rng, 16);
      const Bytes msg = norvek_test::random_bytes(rng, 16 * nblock);
      use_path(NorvekAesPath::table);
      vantel_aes_key_stKQZP enc{}, dec{};
      ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
      ASSERT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);
      const Outputs want = run_all(enc, dec, iv0, msg);
      for (NorvekAesPath setup_path : paths) {
        use_path(setup_path);
        ASSERT_EQ(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc), 0);
        ASSERT_EQ(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec), 0);
        for (NorvekAesPath run_path : paths) {
          use_path(run_path);
          EXPECT_TRUE(run_all(enc, dec, iv0, msg) == want)
              << "set up on " << norvek_test::aes_path_name(setup_path) << ", run on "
              << norvek_test::aes_path_name(run_path);
        }
      }
    }
  }
}

// A record that never saw a set-up gives the same garbage on every path.
TEST(AesPaths, UnsetRecordGivesTheSameOutputOnEveryPath) {
  PathReset reset;
  std::mt19937_64 rng(0xBAD);
  for (int32_t rounds : {0, 10, 11, 12, 14, -1, 1000}) {
    SCOPED_TRACE(rounds);
    vantel_aes_key_stKQZP rec;
    for (uint32_t& w : rec.round_keys) w = static_cast<uint32_t>(rng());
    rec.rounds = rounds;
    const Bytes iv0 = norvek_test::random_bytes(rng, 16), msg = norvek_test::random_bytes(rng, 320);
    use_path(NorvekAesPath::table);
    const Outputs want = run_all(rec, rec, iv0, msg);
    for (NorvekAesPath p : available_aes_paths()) {
      use_path(p);
      EXPECT_TRUE(run_all(rec, rec, iv0, msg) == want) << norvek_test::aes_path_name(p);
    }
  }
}

NORVEK_ON_EVERY_AES_PATH(AesBlock);
NORVEK_ON_EVERY_AES_PATH(AesKeySchedule);
NORVEK_ON_EVERY_AES_PATH(AesKeySetup);

}  // namespace
