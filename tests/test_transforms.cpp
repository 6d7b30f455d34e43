// The 46 byte transforms and their reverses: published vectors, key streams,
// and properties over random data (round trips, self-inverse set, equal
// pairs, bounds).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "norvek/transforms.h"
#include "test_util.h"

namespace {

using namespace NorvekCryptoSpace;
using norvek_test::Bytes;
using norvek_test::random_bytes;
using norvek_test::to_hex;
using Transform = uint8_t* (*)(uint8_t*, uint64_t);

struct Row {
  int n;
  Transform enc;
  Transform dec;
};

#define ROW(n) \
  Row { n, norvek_crypto_enc_##n, norvek_crypto_dec_##n }
const Row kRows[46] = {
    ROW(1),  ROW(2),  ROW(3),  ROW(4),  ROW(5),  ROW(6),  ROW(7),  ROW(8),  ROW(9),  ROW(10),
    ROW(11), ROW(12), ROW(13), ROW(14), ROW(15), ROW(16), ROW(17), ROW(18), ROW(19), ROW(20),
    ROW(21), ROW(22), ROW(23), ROW(24), ROW(25), ROW(26), ROW(27), ROW(28), ROW(29), ROW(30),
    ROW(31), ROW(32), ROW(33), ROW(34), ROW(35), ROW(36), ROW(37), ROW(38), ROW(39), ROW(40),
    ROW(41), ROW(42), ROW(43), ROW(44), ROW(45), ROW(46),
};
#undef ROW

const Row& row(int n) { return kRows[n - 1]; }

const std::set<int> kSelfInverse = {1,  2,  5,  7,  8,  11, 12, 17, 18, 19, 20,
                                    29, 30, 31, 32, 37, 38, 39, 40, 41, 42};

Bytes apply(Transform f, Bytes data) {
  f(data.data(), data.size());
  return data;
}

// --- concrete outputs --------------------------------------------------------

struct Vector {
  int n;
  Bytes in;
  Bytes out;
};

const Bytes kNine02(9, 0x02);
const Bytes kNine03(9, 0x03);
const Bytes kThreeZeros(3, 0x00);

// The published outputs of the individual rows. Each is also run back through
// the reverse, and 6 runs again on its own output: every call restarts the
// running key.
const std::vector<Vector> kVectors = {
    {1, {0x12, 0xAB}, {0x21, 0xBA}},
    {3, {0x00, 0xFF}, {0x44, 0x43}},
    {21, {0xFF}, {0x42}},
    {8, {0x00, 0x12, 0xF0}, {0x0E, 0x1D, 0xF1}},
    {42, {0x00, 0x12, 0xF0}, {0x0C, 0x1F, 0xF3}},
    {12, {0x12, 0x80}, {0x23, 0x44}},
    {13, {0x12, 0xFF}, {0x23, 0x01}},
    {4, kNine02, {0x01, 0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}},
    {25, kNine03, {0x01, 0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}},
    {26, kNine02, {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0x80}},
    {27, kNine02, {0x02, 0x81, 0x41, 0x21, 0x11, 0x09, 0x05, 0x03, 0x02}},
    {28, kNine02, {0x03, 0x82, 0x42, 0x22, 0x12, 0x0A, 0x06, 0x04, 0x03}},
    {9, {0x01, 0x02, 0x03}, {0xCB, 0x03, 0x01}},
    {6, kThreeZeros, {0x66, 0x66, 0x66}},
    {6, {0x66, 0x66, 0x66}, {0x00, 0x66, 0x00}},
    {10, kThreeZeros, {0xCB, 0xCB, 0xCB}},
    {33, kThreeZeros, {0x67, 0x68, 0x69}},
    {34, kThreeZeros, {0x68, 0x69, 0x6A}},
    {35, kThreeZeros, {0x68, 0x6A, 0x6C}},
    {36, kThreeZeros, {0x69, 0x6B, 0x6D}},
    {43, kThreeZeros, {0xC6, 0xC1, 0xBC}},
    {44, kThreeZeros, {0xCD, 0xCC, 0xCB}},
    {45, kThreeZeros, {0xCD, 0xCE, 0xCF}},
    {46, kThreeZeros, {0xCB, 0xC8, 0xC5}},
    {29, Bytes(8, 0), {0x35, 0x01, 0x02, 0x05, 0x10, 0x41, 0x46, 0xA5}},
};

TEST(TransformVectors, PublishedOutputs) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE("row " + std::to_string(v.n));
    EXPECT_EQ(to_hex(apply(row(v.n).enc, v.in)), to_hex(v.out));
    EXPECT_EQ(to_hex(apply(row(v.n).dec, v.out)), to_hex(v.in));
  }
}

// Key streams: the output for an all-zero input. `head` is the start;
// `cycle` repeats after it.
struct Stream {
  int n;
  Bytes head;
  Bytes cycle;
};

const std::vector<Stream> kStreams = {
    {5, {0x36}, {0x00}},
    {7, {}, {0x5C, 0x95, 0xC9}},
    {37, {}, {0x5C, 0x95, 0xC9}},
    {38, {}, {0x5C, 0x95, 0xC9}},
    {11, {0x1E}, {0xF1, 0x3F, 0xE3, 0x7E, 0xC7, 0xFC, 0x8F, 0xF8, 0x1F}},
    {31, {0x37}, {0x01}},
    {32, {0x38}, {0x02}},
    {39, {}, {0x7C, 0xB7, 0xCB}},
    {40, {}, {0x7C, 0xB7, 0xCB}},
};

TEST(TransformVectors, KeyStreams) {
  for (const Stream& s : kStreams) {
    SCOPED_TRACE("row " + std::to_string(s.n));
    Bytes expected = s.head;
    while (expected.size() < 100)
      expected.push_back(s.cycle[(expected.size() - s.head.size()) % s.cycle.size()]);
    EXPECT_EQ(to_hex(apply(row(s.n).enc, Bytes(expected.size(), 0))), to_hex(expected));
  }
}

TEST(TransformVectors, MultiplyingStreamHasPeriod256FromPositionOne) {
  const Bytes s29 = apply(row(29).enc, Bytes(1 + 3 * 256, 0));
  for (size_t p = 1; p + 256 < s29.size(); ++p) ASSERT_EQ(s29[p], s29[p + 256]) << p;
  const Bytes s30 = apply(row(30).enc, Bytes(s29.size(), 0));
  EXPECT_EQ(s30[0], 0x36);
  EXPECT_TRUE(std::equal(s29.begin() + 1, s29.end(), s30.begin() + 1));
}

// --- the key-array rows ------------------------------------------------------

// Rows 2 and 17 read the same array one position apart; every key row
// repeats with period 13 however long the data.
TEST(TransformKeys, SharedArrayAndPeriod) {
  const size_t n = 13 * 8 + 5;
  const Bytes k2 = apply(row(2).enc, Bytes(n, 0));
  const Bytes k17 = apply(row(17).enc, Bytes(n, 0));
  for (size_t i = 0; i + 1 < n; ++i) ASSERT_EQ(k17[i], k2[i + 1]) << i;

  std::vector<Bytes> streams;
  for (int r : {2, 17, 18, 19, 20}) {
    const Bytes s = apply(row(r).enc, Bytes(n, 0));
    for (size_t i = 13; i < n; ++i) ASSERT_EQ(s[i], s[i - 13]) << "row " << r << " at " << i;
    streams.push_back(s);
  }
  // Rows 17 to 20 each own their array.
  for (size_t a = 1; a < streams.size(); ++a)
    for (size_t b = a + 1; b < streams.size(); ++b) EXPECT_NE(streams[a], streams[b]);
}

// --- oracles over random data ---------------------------------------------

// Rotating rows against std::rotr, which does not use the mask table; and
// the exported table itself.
TEST(TransformOracles, RotatingRows) {
  for (int k = 0; k < 9; ++k) EXPECT_EQ(NORVEK_BIT_MASK[k], (1u << k) - 1) << k;
  struct Rotating {
    int n;
    uint8_t before;
    int extra;
    uint8_t after;
  };
  const Rotating rows[] = {
      {4, 1, 0, 0}, {25, 2, 0, 0}, {26, 1, 1, 0}, {27, 1, 0, 1}, {28, 1, 0, 2}};
  std::mt19937 rng(4);
  const Bytes in = random_bytes(rng, 1000);
  for (const Rotating& r : rows) {
    SCOPED_TRACE("row " + std::to_string(r.n));
    const Bytes out = apply(row(r.n).enc, in);
    for (size_t i = 0; i < in.size(); ++i) {
      const uint8_t expected = static_cast<uint8_t>(
          std::rotr(static_cast<uint8_t>(in[i] - r.before), static_cast<int>(i % 8) + r.extra) +
          r.after);
      ASSERT_EQ(out[i], expected) << i;
    }
  }
}

// Stream and key rows XOR a data-independent stream: out = in XOR enc(0).
TEST(TransformOracles, StreamRowsAreDataIndependent) {
  std::mt19937 rng(5);
  const Bytes in = random_bytes(rng, 777);
  for (int n : {2, 5, 7, 11, 17, 18, 19, 20, 29, 30, 31, 32, 37, 38, 39, 40}) {
    SCOPED_TRACE("row " + std::to_string(n));
    const Bytes key = apply(row(n).enc, Bytes(in.size(), 0));
    const Bytes out = apply(row(n).enc, in);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], in[i] ^ key[i]) << i;
  }
}

// Map rows treat every byte alike, wherever it stands.
TEST(TransformOracles, MapRowsArePositionFree) {
  Bytes all(256);
  for (int v = 0; v < 256; ++v) all[v] = static_cast<uint8_t>(v);
  for (int n : {1, 3, 8, 12, 13, 14, 15, 16, 21, 22, 23, 24, 41, 42}) {
    SCOPED_TRACE("row " + std::to_string(n));
    const Bytes mapped = apply(row(n).enc, all);
    Bytes reversed(all.rbegin(), all.rend());
    const Bytes mapped_reversed = apply(row(n).enc, reversed);
    EXPECT_TRUE(std::equal(mapped.rbegin(), mapped.rend(), mapped_reversed.begin()));
  }
  // c = S(b) + n for rows 13 to 16, and + value for rows 21 to 24.
  for (int v = 0; v < 256; ++v) {
    const uint8_t b = static_cast<uint8_t>(v);
    const uint8_t s = static_cast<uint8_t>((b >> 4) | (b << 4));
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(apply(row(13 + k).enc, {b})[0], static_cast<uint8_t>(s + 2 + k));
      EXPECT_EQ(apply(row(21 + k).enc, {b})[0], static_cast<uint8_t>(b + 0x43 + k));
    }
  }
}

// --- properties over random data ---------------------------------------------

class TransformProperties : public ::testing::TestWithParam<int> {};

// Each direction undoes the other at every length, returns its pointer and
// touches no byte of the 16 guard bytes on either side; with no bytes it
// does not read its (null) pointer.
TEST_P(TransformProperties, ReverseUndoesForwardInsideItsRange) {
  const Row& r = row(GetParam());
  EXPECT_EQ(r.enc(nullptr, 0), nullptr);
  EXPECT_EQ(r.dec(nullptr, 0), nullptr);
  std::mt19937 rng(1000 + r.n);
  for (size_t len = 0; len <= 300; ++len) {
    const Bytes guarded = random_bytes(rng, len + 32);
    Bytes data = guarded;
    uint8_t* const p = data.data() + 16;
    auto guards_intact = [&] {
      return std::equal(data.begin(), data.begin() + 16, guarded.begin()) &&
             std::equal(data.end() - 16, data.end(), guarded.end() - 16);
    };
    EXPECT_EQ(r.enc(p, len), p);
    ASSERT_TRUE(guards_intact()) << "forward, len " << len;
    EXPECT_EQ(r.dec(p, len), p);
    ASSERT_EQ(data, guarded) << "len " << len;
    r.dec(p, len);
    ASSERT_TRUE(guards_intact()) << "reverse, len " << len;
    r.enc(p, len);
    ASSERT_EQ(data, guarded) << "len " << len;
  }
}

TEST_P(TransformProperties, SelfInverseExactlyWhereListed) {
  const Row& r = row(GetParam());
  std::mt19937 rng(2000 + r.n);
  bool always_self_inverse = true;
  for (size_t len = 0; len <= 300; ++len) {
    const Bytes plain = random_bytes(rng, len);
    always_self_inverse &= apply(r.enc, apply(r.enc, plain)) == plain;
  }
  EXPECT_EQ(always_self_inverse, kSelfInverse.count(r.n) == 1);
}

INSTANTIATE_TEST_SUITE_P(AllRows, TransformProperties, ::testing::Range(1, 47),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Row" + std::to_string(info.param);
                         });

// Separate functions that compute the same thing.
TEST(TransformPairs, EqualRowsAgree) {
  const std::vector<std::pair<int, int>> same = {{22, 3}, {41, 8}, {37, 7}, {38, 7}, {40, 39}};
  std::mt19937 rng(77);
  for (size_t len = 0; len <= 300; len += 7) {
    const Bytes in = random_bytes(rng, len);
    for (auto [a, b] : same) {
      ASSERT_EQ(apply(row(a).enc, in), apply(row(b).enc, in)) << a << " vs " << b << " len " << len;
      ASSERT_EQ(apply(row(a).dec, in), apply(row(b).dec, in)) << a << " vs " << b << " len " << len;
    }
  }
}

}  // namespace
