// SHA-1: FIPS 180-4 examples, padding boundaries, streaming splits against
// OpenSSL, and the observable layout of the context record.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "norvek/sha1.h"

namespace {

using Ctx = norvek_crypto_shastate_st_KQZP;

std::string hex(const uint8_t* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

std::string oneshot(const std::string& msg) {
  uint8_t md[20];
  norvek_crypto_sha1_KQZP(msg.data(), msg.size(), md);
  return hex(md, 20);
}

std::string openssl_sha1(const uint8_t* p, size_t n) {
  uint8_t md[20];
  SHA1(p, n, md);
  return hex(md, 20);
}

// Streams `msg` through Update in the given piece sizes (the last piece takes
// what is left).
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
  return hex(md, 20);
}

std::vector<uint8_t> random_bytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// FIPS 180-4 (and its companion examples document) for SHA-1.
struct Vector {
  const char* source;
  std::string message;
  const char* digest;
};

const Vector kFipsVectors[] = {
    {"empty message", "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"FIPS 180-4 one block", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"FIPS 180-4 two blocks (448 bits)",
     "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"FIPS 180-4 896 bits",
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopq"
     "rsmnopqrstnopqrstu",
     "a49b2446a02c645bf419f995b67091253a04a259"},
    {"one million 'a'", std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
};

TEST(Sha1, FipsExamplesOneShot) {
  for (const auto& v : kFipsVectors) {
    EXPECT_EQ(oneshot(v.message), v.digest) << v.source;
  }
}

TEST(Sha1, FipsExamplesStreamed) {
  for (const auto& v : kFipsVectors) {
    const auto* p = reinterpret_cast<const uint8_t*>(v.message.data());
    const size_t n = v.message.size();
    EXPECT_EQ(streamed(p, n, std::vector<size_t>(n, 1)), v.digest) << v.source << ", bytewise";
    EXPECT_EQ(streamed(p, n, std::vector<size_t>(n / 3 + 1, 3)), v.digest) << v.source << ", by 3";
    std::vector<size_t> odd;
    for (size_t at = 0; at < n; at += 128) {
      odd.push_back(63);
      odd.push_back(65);
    }
    EXPECT_EQ(streamed(p, n, odd), v.digest) << v.source << ", by 63 and 65";
  }
}

TEST(Sha1, EmptyMessageByInitAndFinal) {
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  uint8_t md[20];
  norvek_crypto_sha1_Final_KQZP(md, &c);
  EXPECT_EQ(hex(md, 20), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

// 55 bytes pad within their block; 56..63 need a second block; 64 is whole.
TEST(Sha1, PaddingBoundaries) {
  std::mt19937 rng(55);
  for (size_t n : {54, 55, 56, 57, 62, 63, 64, 65, 119, 120, 127, 128}) {
    const auto msg = random_bytes(rng, n);
    uint8_t md[20];
    norvek_crypto_sha1_KQZP(msg.data(), n, md);
    EXPECT_EQ(hex(md, 20), openssl_sha1(msg.data(), n)) << n << " bytes";
  }
}

TEST(Sha1, DifferentialRandomSplitsAgainstOpenSSL) {
  std::mt19937 rng(0x5EED5A1);
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {511, 512, 513, 1000, 4096, 4097, 10007}) lengths.push_back(n);
  for (size_t n : lengths) {
    // One extra leading byte so that the message starts at an odd address.
    const auto storage = random_bytes(rng, n + 1);
    const uint8_t* msg = storage.data() + 1;
    const std::string want = openssl_sha1(msg, n);
    for (int trial = 0; trial < 3; ++trial) {
      std::vector<size_t> pieces;
      for (size_t at = 0; at < n;) {
        const size_t piece = rng() % 150;
        pieces.push_back(piece);
        at += piece;
      }
      ASSERT_EQ(streamed(msg, n, pieces), want) << n << " bytes, trial " << trial;
    }
    uint8_t md[20];
    norvek_crypto_sha1_KQZP(msg, n, md);
    ASSERT_EQ(hex(md, 20), want) << n << " bytes, one shot";
  }
}

TEST(Sha1, UpdateWithZeroLengthChangesNothing) {
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, "abcde", 5);
  Ctx before;
  std::memcpy(&before, &c, sizeof c);
  norvek_crypto_sha1_Update_KQZP(&c, nullptr, 0);
  norvek_crypto_sha1_Update_KQZP(&c, "xyz", 0);
  EXPECT_EQ(std::memcmp(&before, &c, sizeof c), 0);
}

// Pending bytes are kept big-endian, left-aligned, low bytes zero.
TEST(Sha1, PendingBlockLayout) {
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

  // Whole words only: the next word is set to zero.
  Ctx d;
  std::memset(&d, 0xAB, sizeof d);
  norvek_crypto_sha1_Init_KQZP(&d);
  norvek_crypto_sha1_Update_KQZP(&d, "abcdefgh", 8);
  EXPECT_EQ(d.block[1], 0x65666768u);
  EXPECT_EQ(d.block[2], 0u);

  // Whole blocks pass through the block words; the last one stays there
  // behind the pending bytes.
  std::string text;
  for (int i = 0; i < 64 + 64 + 5; ++i) text += char('A' + i % 26);
  Ctx e;
  norvek_crypto_sha1_Init_KQZP(&e);
  norvek_crypto_sha1_Update_KQZP(&e, text.data(), text.size());
  EXPECT_EQ(e.block_used, 5);
  const auto* last = reinterpret_cast<const uint8_t*>(text.data()) + 64;
  EXPECT_EQ(e.block[0], uint64_t(text[128]) << 24 | uint64_t(text[129]) << 16 |
                            uint64_t(text[130]) << 8 | uint64_t(text[131]));
  EXPECT_EQ(e.block[1], uint64_t(text[132]) << 24);
  for (int i = 2; i < 16; ++i) {
    const uint64_t word = uint64_t(last[4 * i]) << 24 | uint64_t(last[4 * i + 1]) << 16 |
                          uint64_t(last[4 * i + 2]) << 8 | last[4 * i + 3];
    EXPECT_EQ(e.block[i], word) << i;
  }
}

TEST(Sha1, FinalLayoutAndState) {
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, "abc", 3);
  uint8_t md[20];
  norvek_crypto_sha1_Final_KQZP(md, &c);
  EXPECT_EQ(c.block[0], 0x61626380u);  // padding byte ORed after the message
  for (int i = 1; i < 15; ++i) EXPECT_EQ(c.block[i], 0u) << i;
  EXPECT_EQ(c.block[15], 24u);
  EXPECT_EQ(c.block_used, 0);
  EXPECT_EQ(c.length_low, 24u);  // lengths survive Final
  EXPECT_EQ(c.h0, 0xa9993e36u);  // chaining values hold the digest
  EXPECT_EQ(c.h4, 0x9cd0d89du);

  // 60 pending bytes: the padding block is compressed, then a block of zeros
  // and the length.
  Ctx d;
  norvek_crypto_sha1_Init_KQZP(&d);
  const std::string sixty(60, 'q');
  norvek_crypto_sha1_Update_KQZP(&d, sixty.data(), sixty.size());
  norvek_crypto_sha1_Final_KQZP(md, &d);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(d.block[i], 0u) << i;
  EXPECT_EQ(d.block[15], 480u);
  EXPECT_EQ(hex(md, 20), openssl_sha1(reinterpret_cast<const uint8_t*>(sixty.data()), 60));
}

TEST(Sha1, BitCountCarriesIntoHighHalf) {
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

TEST(Sha1, InitResetsAUsedContext) {
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, "some earlier message", 20);
  uint8_t md[20];
  norvek_crypto_sha1_Final_KQZP(md, &c);
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, "abc", 3);
  norvek_crypto_sha1_Final_KQZP(md, &c);
  EXPECT_EQ(hex(md, 20), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(Sha1, FinalWritesExactlyTwentyBytes) {
  uint8_t out[40];
  std::memset(out, 0xEE, sizeof out);
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Final_KQZP(out + 10, &c);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  for (int i = 30; i < 40; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  EXPECT_EQ(hex(out + 10, 20), "da39a3ee5e6b4b0d3255bfef95601890afd80709");

  std::memset(out, 0xEE, sizeof out);
  norvek_crypto_sha1_KQZP("abc", 3, out + 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  for (int i = 27; i < 40; ++i) EXPECT_EQ(out[i], 0xEE) << i;
}

// The padded single block of "abc".
std::vector<uint8_t> abc_block() {
  std::vector<uint8_t> b(64, 0);
  b[0] = 'a';
  b[1] = 'b';
  b[2] = 'c';
  b[3] = 0x80;
  b[63] = 24;
  return b;
}

std::string chaining(const Ctx& c) {
  uint8_t md[20];
  const uint64_t h[5] = {c.h0, c.h1, c.h2, c.h3, c.h4};
  for (int i = 0; i < 5; ++i) {
    md[4 * i] = uint8_t(h[i] >> 24);
    md[4 * i + 1] = uint8_t(h[i] >> 16);
    md[4 * i + 2] = uint8_t(h[i] >> 8);
    md[4 * i + 3] = uint8_t(h[i]);
  }
  return hex(md, 20);
}

TEST(Sha1, TransformTouchesOnlyTheChainingValues) {
  Ctx c;
  std::memset(&c, 0x5A, sizeof c);
  norvek_crypto_sha1_Init_KQZP(&c);
  c.length_low = 1234;
  c.length_high = 5678;
  c.block_used = 17;
  Ctx before;
  std::memcpy(&before, &c, sizeof c);

  // Unaligned input, and input that must not change.
  std::vector<uint8_t> storage(65);
  const auto block = abc_block();
  std::memcpy(storage.data() + 1, block.data(), 64);
  const auto input_before = storage;
  norvek_crypto_sha1_Transform(&c, storage.data() + 1);

  EXPECT_EQ(chaining(c), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(storage, input_before);
  EXPECT_EQ(c.length_low, before.length_low);
  EXPECT_EQ(c.length_high, before.length_high);
  EXPECT_EQ(c.block_used, before.block_used);
  EXPECT_EQ(std::memcmp(c.block, before.block, sizeof c.block), 0);
}

std::vector<uint64_t> words_of(const std::vector<uint8_t>& bytes) {
  std::vector<uint64_t> w(bytes.size() / 4);
  for (size_t i = 0; i < w.size(); ++i) {
    w[i] = (uint64_t(bytes[4 * i]) << 24) | (uint64_t(bytes[4 * i + 1]) << 16) |
           (uint64_t(bytes[4 * i + 2]) << 8) | bytes[4 * i + 3];
  }
  return w;
}

TEST(Sha1, BlockFunctionReadsLowHalvesOnly) {
  Ctx c;
  std::memset(&c, 0x77, sizeof c);
  norvek_crypto_sha1_Init_KQZP(&c);
  c.length_low = 99;
  c.length_high = 98;
  c.block_used = 42;
  Ctx before;
  std::memcpy(&before, &c, sizeof c);
  // Garbage in the high halves of the words and of the chaining values.
  auto w = words_of(abc_block());
  for (auto& x : w) x |= 0xDEADBEEF00000000ull;
  const auto w_before = w;
  c.h0 |= 0x1234567800000000ull;
  c.h3 |= 0xFFFFFFFF00000000ull;

  norvek_crypto_SHA1_block(&c, w.data(), 64);
  EXPECT_EQ(chaining(c), "a9993e364706816aba3e25717850c26c9cd0d89d");
  for (uint64_t h : {c.h0, c.h1, c.h2, c.h3, c.h4}) EXPECT_LT(h, 1ull << 32);
  EXPECT_EQ(w, w_before);
  EXPECT_EQ(c.length_low, before.length_low);
  EXPECT_EQ(c.length_high, before.length_high);
  EXPECT_EQ(c.block_used, before.block_used);
  EXPECT_EQ(std::memcmp(c.block, before.block, sizeof c.block), 0);
}

// Blocks compressed = ceil(num / 64), and at least one.
TEST(Sha1, BlockFunctionBlockCount) {
  std::mt19937 rng(7);
  const auto bytes = random_bytes(rng, 64 * 3);
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
  } cases[] = {{64, 1}, {1, 1}, {0, 1}, {-5, 1}, {INT32_MIN, 1}, {65, 2}, {128, 2}, {129, 3}, {192, 3}};
  for (const auto& t : cases) EXPECT_EQ(with_num(t.num), after_blocks(t.blocks)) << t.num;
}

// Without a new Init, Final continues from the finished state.
TEST(Sha1, FinishedContextContinues) {
  Ctx c;
  norvek_crypto_sha1_Init_KQZP(&c);
  uint8_t first[20], second[20];
  norvek_crypto_sha1_Final_KQZP(first, &c);
  norvek_crypto_sha1_Final_KQZP(second, &c);
  EXPECT_NE(hex(first, 20), hex(second, 20));
}

}  // namespace
