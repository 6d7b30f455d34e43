// The processor table and the four chain operations of CNorVekXCryptoHelper.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "norvek/buffer.h"
#include "norvek/crypto_helper.h"
#include "norvek/transforms.h"
#include "test_util.h"

namespace {

using namespace NorvekCryptoSpace;
using norvek_test::buffer_of;
using norvek_test::Bytes;
using norvek_test::bytes_of;
using norvek_test::random_bytes;
using Transform = uint8_t* (*)(uint8_t*, uint64_t);

#define PAIR(n) \
  { norvek_crypto_enc_##n, norvek_crypto_dec_##n }
const std::pair<Transform, Transform> kTransforms[46] = {
    PAIR(1),  PAIR(2),  PAIR(3),  PAIR(4),  PAIR(5),  PAIR(6),  PAIR(7),  PAIR(8),
    PAIR(9),  PAIR(10), PAIR(11), PAIR(12), PAIR(13), PAIR(14), PAIR(15), PAIR(16),
    PAIR(17), PAIR(18), PAIR(19), PAIR(20), PAIR(21), PAIR(22), PAIR(23), PAIR(24),
    PAIR(25), PAIR(26), PAIR(27), PAIR(28), PAIR(29), PAIR(30), PAIR(31), PAIR(32),
    PAIR(33), PAIR(34), PAIR(35), PAIR(36), PAIR(37), PAIR(38), PAIR(39), PAIR(40),
    PAIR(41), PAIR(42), PAIR(43), PAIR(44), PAIR(45), PAIR(46),
};
#undef PAIR

using ChainOp = uint64_t (CNorVekXCryptoHelper::*)(const int32_t*, int32_t, const CNorVekXBuffer&,
                                                   CNorVekXBuffer&);

struct Op {
  const char* name;
  ChainOp op;
  bool remainder;  // Ex form
};
const Op kOps[] = {
    {"DynEncrypt", &CNorVekXCryptoHelper::DynEncrypt, false},
    {"DynDecrypt", &CNorVekXCryptoHelper::DynDecrypt, false},
    {"DynEncryptEx", &CNorVekXCryptoHelper::DynEncryptEx, true},
    {"DynDecryptEx", &CNorVekXCryptoHelper::DynDecryptEx, true},
};

// Applies the transforms of table entries `list` one after another.
Bytes apply_direct(const std::vector<int32_t>& list, Bytes data, bool reverse) {
  for (int32_t entry : list) {
    Transform f = reverse ? kTransforms[entry].second : kTransforms[entry].first;
    f(data.data(), data.size());
  }
  return data;
}

Bytes run(ChainOp op, const std::vector<int32_t>& list, const Bytes& in) {
  CNorVekXCryptoHelper helper;
  const CNorVekXBuffer input = buffer_of(in);
  CNorVekXBuffer output;
  (helper.*op)(list.data(), static_cast<int32_t>(list.size()), input, output);
  return bytes_of(output);
}

TEST(ProcessorTable, FilledByConstructor) {
  const CNorVekXCryptoHelper helper;
  for (int k = 0; k < 46; ++k) {
    EXPECT_EQ(helper.m_processors[k].pfnEncrypt, kTransforms[k].first) << k;
    EXPECT_EQ(helper.m_processors[k].pfnDecrypt, kTransforms[k].second) << k;
  }
  EXPECT_EQ(helper.m_processors[46].pfnEncrypt, nullptr);
  EXPECT_EQ(helper.m_processors[46].pfnDecrypt, nullptr);
}

// A chain equals its entries' transforms applied directly, first to last
// (decrypt forms too), repeats included; the Ex forms take the remainder
// by 46.
TEST(ChainOperations, MatchTheTransformsInListOrder) {
  std::mt19937 rng(11);
  const Bytes in = random_bytes(rng, 100);
  for (int32_t k = 0; k < 46; ++k) {
    EXPECT_EQ(run(kOps[0].op, {k}, in), apply_direct({k}, in, false)) << k;
    EXPECT_EQ(run(kOps[1].op, {k}, in), apply_direct({k}, in, true)) << k;
  }
  const struct {
    int op;  // index into kOps
    std::vector<int32_t> list, entries;
  } cases[] = {
      {0, {0, 1}, {0, 1}},
      {0, {5, 5, 5}, {5, 5, 5}},
      {1, {5, 8, 24}, {5, 8, 24}},
      {3, {51, 8, 70}, {5, 8, 24}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(kOps[c.op].op, c.list, in), apply_direct(c.entries, in, c.op % 2 == 1))
        << kOps[c.op].name << " list[0]=" << c.list[0];
  }
  const std::pair<int32_t, int32_t> remainders[] = {
      {46, 0}, {47, 1}, {91, 45}, {100, 8}, {37, 37}, {INT32_MAX, INT32_MAX % 46}};
  for (int op : {2, 3}) {
    for (auto [listed, entry] : remainders) {
      EXPECT_EQ(run(kOps[op].op, {listed}, in), apply_direct({entry}, in, op == 3))
          << kOps[op].name << " " << listed;
    }
  }
  // enc_1 then enc_2 is not enc_2 then enc_1 on this input.
  EXPECT_NE(run(kOps[0].op, {0, 1}, in), run(kOps[0].op, {1, 0}, in));
}

TEST(ChainOperations, SameBufferAsInputAndOutput) {
  std::mt19937 rng(14);
  const std::vector<int32_t> list = {3, 0, 45, 10, 27, 8};
  for (const Op& op : kOps) {
    const Bytes in = random_bytes(rng, 97);
    CNorVekXCryptoHelper helper;
    CNorVekXBuffer buffer = buffer_of(in);
    const uint64_t n =
        (helper.*op.op)(list.data(), static_cast<int32_t>(list.size()), buffer, buffer);
    EXPECT_EQ(n, in.size()) << op.name;
    EXPECT_EQ(bytes_of(buffer), run(op.op, list, in)) << op.name;
  }
}

// Output length equals input length (empty included), whatever the output
// held before; an empty list (the list is then not read) copies; the input
// is left as it was.
TEST(ChainOperations, OutputIsInputLength) {
  std::mt19937 rng(15);
  for (const Op& op : kOps) {
    for (size_t before : {0u, 3u, 40u, 500u}) {
      for (size_t len : {0u, 1u, 17u, 40u, 300u}) {
        CNorVekXCryptoHelper helper;
        const Bytes in = random_bytes(rng, len);
        const CNorVekXBuffer input = buffer_of(in);
        CNorVekXBuffer output = buffer_of(random_bytes(rng, before));
        const int32_t list[] = {6, 12, 30, 44};
        EXPECT_EQ((helper.*op.op)(list, 4, input, output), len) << op.name;
        EXPECT_EQ(output.m_nSize, len) << op.name;
        for (int32_t size : {0, -1, INT32_MIN}) {
          output = buffer_of(random_bytes(rng, before));
          EXPECT_EQ((helper.*op.op)(nullptr, size, input, output), len) << op.name;
          EXPECT_EQ(bytes_of(output), in) << op.name;
        }
        EXPECT_EQ(bytes_of(input), in) << op.name;
      }
    }
  }
}

// Decrypting with the reversed list undoes encrypting, for random chains.
TEST(ChainOperations, ReversedListRoundTrip) {
  std::mt19937 rng(17);
  CNorVekXCryptoHelper helper;
  for (int trial = 0; trial < 300; ++trial) {
    const size_t len = rng() % 300;
    const Bytes plain = random_bytes(rng, len);
    std::vector<int32_t> list(rng() % 60);
    const bool ex = trial % 2 == 1;
    for (auto& v : list) v = static_cast<int32_t>(ex ? rng() % 1000 : rng() % 46);
    const std::vector<int32_t> reversed(list.rbegin(), list.rend());
    const int32_t count = static_cast<int32_t>(list.size());

    const CNorVekXBuffer input = buffer_of(plain);
    CNorVekXBuffer cipher, back;
    ASSERT_EQ((helper.*kOps[ex ? 2 : 0].op)(list.data(), count, input, cipher), len);
    ASSERT_EQ((helper.*kOps[ex ? 3 : 1].op)(reversed.data(), count, cipher, back), len);
    ASSERT_EQ(bytes_of(back), plain) << "trial " << trial;
  }
}

// An unusable list fails with 0 before anything is touched, even when its
// bad value comes after good ones.
TEST(ChainOperations, InvalidListFailsAndLeavesOutput) {
  const Bytes in = {10, 20, 30, 40};
  const Bytes before = {7, 7, 7};
  struct Case {
    std::vector<int32_t> list;
    bool fails_plain;
    bool fails_ex;
  };
  const Case cases[] = {
      {{46}, true, false},      {{-1}, true, true},      {{0, 1, 46}, true, false},
      {{-5}, true, true},       {{3, -5}, true, true},   {{INT32_MIN}, true, true},
      {{1000, 2}, true, false}, {{0, 45}, false, false},
  };
  for (const Op& op : kOps) {
    for (const Case& c : cases) {
      const bool fails = op.remainder ? c.fails_ex : c.fails_plain;
      CNorVekXCryptoHelper helper;
      const CNorVekXBuffer input = buffer_of(in);
      CNorVekXBuffer output = buffer_of(before);
      const uint8_t* storage = output.m_pData;
      const uint64_t n =
          (helper.*op.op)(c.list.data(), static_cast<int32_t>(c.list.size()), input, output);
      if (fails) {
        EXPECT_EQ(n, 0u) << op.name << " list[0]=" << c.list[0];
        EXPECT_EQ(bytes_of(output), before) << op.name;
        EXPECT_EQ(output.m_pData, storage) << op.name;
      } else {
        EXPECT_EQ(n, in.size()) << op.name;
      }
      EXPECT_EQ(bytes_of(input), in);
    }
    // A null list with a positive count.
    CNorVekXCryptoHelper helper;
    const CNorVekXBuffer input = buffer_of(in);
    CNorVekXBuffer output = buffer_of(before);
    EXPECT_EQ((helper.*op.op)(nullptr, 3, input, output), 0u) << op.name;
    EXPECT_EQ(bytes_of(output), before) << op.name;
  }
}

}  // namespace
