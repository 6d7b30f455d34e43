// SHA-1: FIPS 180-4 examples, streaming splits against OpenSSL, the context
// record's observable state, and the two compression entry points.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../crypto/cpu_features.h"
#include "norvek/sha1.h"
#include "sha1_paths_param.h"
#include "test_util.h"

namespace {

using Ctx = norvek_crypto_shastate_st_KQZP;
using norvek_test::Bytes;
using norvek_test::openssl_sha1;
using norvek_test::random_bytes;
using norvek_test::to_hex;

std::string digest_hex(const uint8_t* md) { return to_hex(Bytes(md, md + 20)); }

// Streams `n` bytes through Update in the given piece sizes (the last piece
// takes what is left).
std::string streamed(const uint8_t* msg, size_t n, const std::vector<size_t>& pieces) {
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  size_t at = 0;
  for (size_t piece : pieces) {
    const size_t take = std::min(piece, n - at);
    norvek_crypto_sha1_Update_KQZP(&c, msg + at, take);
    at += take;
  }
  norvek_crypto_sha1_Update_KQZP(&c, msg + at, n - at);
  uint8_t md[20];
  norvek_crypto_sha1_Final_KQZP(md, &c);
  return digest_hex(md);
}

// The chaining values as a digest.
std::string chaining(const Ctx& c) {
  Bytes md;
  for (uint64_t h : {c.h0, c.h1, c.h2, c.h3, c.h4})
    for (int shift : {24, 16, 8, 0}) md.push_back(static_cast<uint8_t>(h >> shift));
  return to_hex(md);
}

// Every test below runs once per SHA-1 path this machine has.
NORVEK_SHA1_PATH_SUITE(Sha1);

// FIPS 180-4 (and its companion examples document) for SHA-1; each one shot
// and split byte by byte, in pieces of 3, and in pieces of 63 and 65.
TEST_P(Sha1, FipsExamples) {
  const struct {
    const char* source;
    std::string message;
    const char* digest;
  } vectors[] = {
      {"empty message", "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"FIPS 180-4 one block", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"FIPS 180-4 two blocks (448 bits)",
       "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {"FIPS 180-4 896 bits",
       "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
       "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "a49b2446a02c645bf419f995b67091253a04a259"},
      {"one million 'a'", std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const auto& v : vectors) {
    const auto* p = reinterpret_cast<const uint8_t*>(v.message.data());
    const size_t n = v.message.size();
    uint8_t md[20];
    norvek_crypto_sha1_KQZP(p, n, md);
    EXPECT_EQ(digest_hex(md), v.digest) << v.source << ", one shot";
    EXPECT_EQ(streamed(p, n, std::vector<size_t>(n, 1)), v.digest) << v.source << ", bytewise";
    EXPECT_EQ(streamed(p, n, std::vector<size_t>(n / 3 + 1, 3)), v.digest) << v.source << ", by 3";
    std::vector<size_t> odd;
    for (size_t at = 0; at < n; at += 128) odd.insert(odd.end(), {63, 65});
    EXPECT_EQ(streamed(p, n, odd), v.digest) << v.source << ", by 63 and 65";
  }
}

// Every length to 300 (all padding boundaries) and some long ones, at an odd
// address, one shot and in random pieces.
TEST_P(Sha1, DifferentialRandomSplitsAgainstOpenSSL) {
  std::mt19937 rng(0x5EED5A1);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {511, 512, 513, 1000, 4096, 4097, 10007}) lengths.push_back(n);
  for (size_t n : lengths) {
    const Bytes storage = random_bytes(rng, n + 1);
    const uint8_t* msg = storage.data() + 1;
    const std::string want = to_hex(openssl_sha1(Bytes(msg, msg + n)));
    for (int trial = 0; trial < 3; ++trial) {
      std::vector<size_t> pieces;
      for (size_t at = 0; at < n;) {
        pieces.push_back(rng() % 150);
        at += pieces.back();
      }
      ASSERT_EQ(streamed(msg, n, pieces), want) << n << " bytes, trial " << trial;
    }
    uint8_t md[20];
    norvek_crypto_sha1_KQZP(msg, n, md);
    ASSERT_EQ(digest_hex(md), want) << n << " bytes, one shot";
  }
}

TEST_P(Sha1, UpdateWithZeroLengthChangesNothing) {
  Ctx c{};  // Init does not set the pending words; the whole record is compared
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, "abcde", 5);
  Ctx before;
  std::memcpy(&before, &c, sizeof c);
  norvek_crypto_sha1_Update_KQZP(&c, nullptr, 0);
  norvek_crypto_sha1_Update_KQZP(&c, "xyz", 0);
  EXPECT_EQ(std::memcmp(&before, &c, sizeof c), 0);
}

// Pending bytes are kept big-endian and left-aligned with low bytes zero:
// the form callers of the compression functions see.
TEST_P(Sha1, PendingBlockLayout) {
  Ctx c;
  std::memset(&c, 0xAB, sizeof c);
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, "abcde", 5);
  EXPECT_EQ(c.block_used, 5);
  EXPECT_EQ(c.length_low, 40u);
  EXPECT_EQ(c.length_high, 0u);
  EXPECT_EQ(c.block[0], 0x61626364u);
  EXPECT_EQ(c.block[1], 0x65000000u);
  // Extends the partial word, then writes a whole and a partial word.
  norvek_crypto_sha1_Update_KQZP(&c, "fghijklm", 8);
  EXPECT_EQ(c.block_used, 13);
  EXPECT_EQ(c.block[1], 0x65666768u);
  EXPECT_EQ(c.block[2], 0x696A6B6Cu);
  EXPECT_EQ(c.block[3], 0x6D000000u);
}

TEST_P(Sha1, BitCountCarriesIntoHighHalf) {
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  c.length_low = 0xFFFFFFF8u;
  c.length_high = 7;
  norvek_crypto_sha1_Update_KQZP(&c, "x", 1);
  EXPECT_EQ(c.length_low, 0u);
  EXPECT_EQ(c.length_high, 8u);
  norvek_crypto_sha1_Update_KQZP(&c, "yz", 2);
  EXPECT_EQ(c.length_low, 16u);
  EXPECT_EQ(c.length_high, 8u);
}

// Final leaves the digest in the chaining values and the lengths in place;
// without a new Init the context continues from there, Init resets it.
TEST_P(Sha1, ContextLifecycle) {
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, "abc", 3);
  uint8_t first[20], second[20];
  norvek_crypto_sha1_Final_KQZP(first, &c);
  EXPECT_EQ(c.block_used, 0);
  EXPECT_EQ(c.length_low, 24u);
  EXPECT_EQ(chaining(c), "a9993e364706816aba3e25717850c26c9cd0d89d");
  norvek_crypto_sha1_Final_KQZP(second, &c);
  EXPECT_NE(digest_hex(first), digest_hex(second));

  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, "abc", 3);
  norvek_crypto_sha1_Final_KQZP(second, &c);
  EXPECT_EQ(digest_hex(second), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST_P(Sha1, FinalWritesExactlyTwentyBytes) {
  uint8_t out[40];
  std::memset(out, 0xEE, sizeof out);
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Final_KQZP(out + 10, &c);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  for (int i = 30; i < 40; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  EXPECT_EQ(digest_hex(out + 10), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

// The padded single block of "abc", as bytes and as the compression
// function's 16 words.
Bytes abc_block() {
  Bytes b = {'a', 'b', 'c', 0x80};
  b.resize(64);
  b[63] = 24;
  return b;
}

std::vector<uint64_t> words_of(const Bytes& bytes) {
  std::vector<uint64_t> w(bytes.size() / 4);
  for (size_t i = 0; i < w.size(); ++i) {
    w[i] = (uint64_t(bytes[4 * i]) << 24) | (uint64_t(bytes[4 * i + 1]) << 16) |
           (uint64_t(bytes[4 * i + 2]) << 8) | bytes[4 * i + 3];
  }
  return w;
}

// Both compression entry points change only the chaining values, read their
// input without changing it (bytes at any alignment; only the low halves of
// words and chaining values), and keep the chaining values below 2^32.
TEST_P(Sha1, CompressionTouchesOnlyTheChainingValues) {
  Ctx primed;
  std::memset(&primed, 0x5A, sizeof primed);
  norvek_crypto_sha1_Init_KQZP(&primed);
  primed.length_low = 1234;
  primed.length_high = 5678;
  primed.block_used = 17;
  auto expect_only_chaining_changed = [&](const Ctx& c) {
    EXPECT_EQ(chaining(c), "a9993e364706816aba3e25717850c26c9cd0d89d");
    for (uint64_t h : {c.h0, c.h1, c.h2, c.h3, c.h4}) EXPECT_LT(h, 1ull << 32);
    EXPECT_EQ(c.length_low, primed.length_low);
    EXPECT_EQ(c.length_high, primed.length_high);
    EXPECT_EQ(c.block_used, primed.block_used);
    EXPECT_EQ(std::memcmp(c.block, primed.block, sizeof c.block), 0);
  };

  Ctx c = primed;
  Bytes storage = abc_block();
  storage.insert(storage.begin(), 0x33);
  const Bytes input_before = storage;
  norvek_crypto_sha1_Transform(&c, storage.data() + 1);
  EXPECT_EQ(storage, input_before);
  expect_only_chaining_changed(c);

  c = primed;
  auto w = words_of(abc_block());
  for (auto& x : w) x |= 0xDEADBEEF00000000ull;
  const auto w_before = w;
  c.h0 |= 0x1234567800000000ull;
  c.h3 |= 0xFFFFFFFF00000000ull;
  norvek_crypto_SHA1_block(&c, w.data(), 64);
  EXPECT_EQ(w, w_before);
  expect_only_chaining_changed(c);
}

// Blocks compressed = ceil(num / 64), and at least one.
TEST_P(Sha1, BlockFunctionBlockCount) {
  std::mt19937 rng(7);
  const Bytes bytes = random_bytes(rng, 64 * 3);
  const auto w = words_of(bytes);
  auto after_blocks = [&](int blocks) {
    Ctx c;
    norvek_crypto_sha1_Init_KQZP(&c);
    for (int i = 0; i < blocks; ++i) norvek_crypto_sha1_Transform(&c, bytes.data() + 64 * i);
    return chaining(c);
  };
  auto with_num = [&](int32_t num) {
    Ctx c;
    norvek_crypto_sha1_Init_KQZP(&c);
    norvek_crypto_SHA1_block(&c, w.data(), num);
    return chaining(c);
  };
  const struct {
    int32_t num;
    int blocks;
  } cases[] = {{64, 1}, {1, 1},   {0, 1},   {-5, 1}, {INT32_MIN, 1},
               {65, 2}, {128, 2}, {129, 3}, {192, 3}};
  for (const auto& t : cases) EXPECT_EQ(with_num(t.num), after_blocks(t.blocks)) << t.num;
}

// The run-time choice is the hardware path the CPU has, and the switch
// refuses paths it lacks without changing the one in use.
TEST(Sha1Selection, PicksTheHardwarePathAndRefusesMissingOnes) {
  using norvek_internal::Sha1Path;
  const NorvekCpuFeatures cpu = norvek_detect_cpu_features();
  const Sha1Path best = cpu.shani        ? Sha1Path::shani
                        : cpu.armv8_sha1 ? Sha1Path::armv8
                                         : Sha1Path::portable;
  ASSERT_TRUE(norvek_internal::sha1_force_path(Sha1Path::automatic));
  EXPECT_EQ(norvek_internal::sha1_current_path(), best);
  const struct {
    Sha1Path path;
    bool present;
  } paths[] = {
      {Sha1Path::portable, true}, {Sha1Path::shani, cpu.shani}, {Sha1Path::armv8, cpu.armv8_sha1}};
  for (const auto& p : paths) {
    const auto name = norvek_test::sha1_path_name(p.path);
    EXPECT_EQ(norvek_internal::sha1_path_available(p.path), p.present) << name;
    EXPECT_EQ(norvek_internal::sha1_force_path(p.path), p.present) << name;
    EXPECT_EQ(norvek_internal::sha1_current_path(), p.present ? p.path : best) << name;
    norvek_internal::sha1_force_path(Sha1Path::automatic);
  }
}

}  // namespace
