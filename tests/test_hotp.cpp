// One-time codes (HOTPex) and identifiers (GenerateID).
//
// The codes are checked against HMAC-SHA1 computed here with OpenSSL under
// the same three salts. The salts come from the helper's internal header,
// which only the helper unit and this test include: the library itself
// exports no symbol for them.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <set>
#include <vector>

#include "../helper/hotp_salts.h"
#include "norvek/crypto_helper.h"
#include "sha1_paths_param.h"
#include "test_util.h"

namespace {

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;
namespace salts = NorvekCryptoSpace::hotp_salts;
using norvek_test::buffer_of;
using norvek_test::Bytes;
using norvek_test::bytes_of;
using norvek_test::random_bytes;

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes salted_mac(const Bytes& msg, const uint8_t* salt) {
  return norvek_test::openssl_hmac_sha1(msg, Bytes(salt, salt + salts::kSaltSize));
}

// RFC 4226 dynamic truncation: offset and 31-bit value.
int offset_of(const Bytes& h) { return h[19] & 0x0F; }
uint32_t truncated(const Bytes& h) {
  const int o = offset_of(h);
  return (uint32_t(h[o] & 0x7F) << 24) | (uint32_t(h[o + 1]) << 16) | (uint32_t(h[o + 2]) << 8) |
         h[o + 3];
}

Bytes hotp(const Bytes& msg, int32_t digits, const CNorVekXBuffer& key = CNorVekXBuffer()) {
  return bytes_of(CNorVekXCryptoHelper::HOTPex(buffer_of(msg), key, digits));
}

// The code tests run once per SHA-1 path this machine has.
NORVEK_SHA1_PATH_SUITE(HOTPex);

// Group 1: hash1's truncated value, least significant byte first.
// Group 2: hash2's truncated value, most significant byte first.
// Group 3: hash3's masked first window byte, then window bytes 2, 3, 1.
// The first message is empty: it still gives a full code, also from a buffer
// without storage.
TEST_P(HOTPex, GroupsAreTheTruncatedDigests) {
  std::mt19937 rng(22);
  std::set<int> offsets1, offsets2, offsets3;
  for (int trial = 0; trial < 400; ++trial) {
    const Bytes msg = random_bytes(rng, trial == 0 ? 0 : rng() % 80);
    const Bytes code = hotp(msg, 12);
    ASSERT_EQ(code.size(), 12u);
    const Bytes h1 = salted_mac(msg, salts::SALT1);
    const Bytes h2 = salted_mac(msg, salts::SALT2);
    const Bytes h3 = salted_mac(msg, salts::SALT3);
    offsets1.insert(offset_of(h1));
    offsets2.insert(offset_of(h2));
    offsets3.insert(offset_of(h3));

    const uint32_t g1 =
        code[0] | (uint32_t(code[1]) << 8) | (uint32_t(code[2]) << 16) | (uint32_t(code[3]) << 24);
    EXPECT_EQ(g1, truncated(h1)) << "trial " << trial;
    const uint32_t g2 =
        (uint32_t(code[4]) << 24) | (uint32_t(code[5]) << 16) | (uint32_t(code[6]) << 8) | code[7];
    EXPECT_EQ(g2, truncated(h2)) << "trial " << trial;
    const int o3 = offset_of(h3);
    const Bytes g3 = {uint8_t(h3[o3] & 0x7F), h3[o3 + 2], h3[o3 + 3], h3[o3 + 1]};
    EXPECT_EQ(Bytes(code.begin() + 8, code.end()), g3) << "trial " << trial;
  }
  // Every truncation offset was exercised.
  EXPECT_EQ(offsets1.size(), 16u);
  EXPECT_EQ(offsets2.size(), 16u);
  EXPECT_EQ(offsets3.size(), 16u);
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::HOTPex(CNorVekXBuffer(), CNorVekXBuffer(), 12)),
            hotp(Bytes(), 12));
}

// 1 to 12 digits give that prefix of the code, whatever key buffer is
// passed (it is not read); other counts give an empty buffer.
TEST_P(HOTPex, DigitsSelectAPrefix) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 50; ++trial) {
    const Bytes msg = random_bytes(rng, rng() % 100);
    const Bytes full = hotp(msg, 12);
    for (int32_t d = 1; d <= 12; ++d) {
      const CNorVekXBuffer key = buffer_of(random_bytes(rng, rng() % 3 == 0 ? 0 : rng() % 200));
      EXPECT_EQ(hotp(msg, d, key), Bytes(full.begin(), full.begin() + d)) << d;
    }
    for (int32_t d : {0, 13, -1, 100, INT32_MIN, INT32_MAX}) {
      EXPECT_EQ(CNorVekXCryptoHelper::HOTPex(buffer_of(msg), CNorVekXBuffer(), d).m_nSize, 0u) << d;
    }
  }
}

// ---------------------------------------------------------------------------
// GenerateID

struct IdResult {
  Bytes id;
  Bytes verify;
};

IdResult generate(const Bytes& tag, const Bytes& version, const Bytes& rawid,
                  const std::vector<int32_t>& indexs, int32_t count) {
  CNorVekXBuffer verify;
  const CNorVekXBuffer id = CNorVekXCryptoHelper::GenerateID(
      buffer_of(tag), buffer_of(version), buffer_of(rawid), verify, indexs.data(), count);
  return {bytes_of(id), bytes_of(verify)};
}

const Bytes kTag = {0x54};
const Bytes kVersion = {0x01};
const Bytes kRaw = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};  // r0..r5

// In the expected layouts, C0..C11 stand for the code bytes.
constexpr int C0 = 0x100, C1 = 0x101, C2 = 0x102, C3 = 0x103, C4 = 0x104, C5 = 0x105;

// The splice rule case by case; verify is always the code of tag|version|rawid.
TEST(GenerateID, Layouts) {
  const struct {
    const char* what;
    Bytes tag, version, raw;
    std::vector<int32_t> indexs;
    std::vector<int> want;
  } cases[] = {
      // clang-format off
      {"worked layout", kTag, kVersion, kRaw, {3, 5, 7, 9},
       {0x54, 0x01, 0xA0, C0, 0xA1, C1, 0xA2, C2, 0xA3, C3, 0xA4, 0xA5}},
      {"positions after the last raw byte stay zero", kTag, kVersion, kRaw, {8, 9, 10, 11},
       {0x54, 0x01, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0, 0, 0, 0}},
      {"ascending neighbours placed in one step", kTag, kVersion, kRaw, {3, 4, 5, 6},
       {0x54, 0x01, 0xA0, C0, C1, C2, C3, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}},
      {"descending neighbours: 4 gets the next raw byte, c0 is lost", kTag, kVersion, kRaw,
       {4, 3, 6, 7}, {0x54, 0x01, 0xA0, C1, 0xA1, 0xA2, C2, C3, 0xA3, 0xA4, 0xA5, 0}},
      {"a duplicate position is placed once", kTag, kVersion, kRaw, {3, 3, 5, 7},
       {0x54, 0x01, 0xA0, C0, 0xA1, C2, 0xA2, C3, 0xA3, 0xA4, 0xA5, 0}},
      {"below P, negative, at L and beyond never match", kTag, kVersion, kRaw,
       {1, -1, 5, 12, INT32_MIN, INT32_MAX},
       {0x54, 0x01, 0xA0, 0xA1, 0xA2, C2, 0xA3, 0xA4, 0xA5, 0, 0, 0, 0, 0}},
      {"a full twelve-byte code", kTag, kVersion, kRaw,
       {2, 4, 6, 8, 10, 12, 14, 15, 16, 17, 18, 19},
       {0x54, 0x01, C0, 0xA0, C1, 0xA1, C2, 0xA2, C3, 0xA3, C4, 0xA4, C5, 0xA5, 0, 0, 0, 0, 0, 0}},
      {"empty rawid, all code bytes from P", kTag, kVersion, {}, {2, 3, 4, 5},
       {0x54, 0x01, C0, C1, C2, C3}},
      {"empty rawid, no entry at P: the read past src writes 0xFF", kTag, kVersion, {},
       {3, 4, 5, 6}, {0x54, 0x01, 0xFF, 0, 0, 0}},
      {"empty rawid, two placed, then the read past src", kTag, kVersion, {}, {2, 3, 7, 8},
       {0x54, 0x01, C0, C1, 0xFF, 0}},
      {"nothing but the code", {}, {}, {}, {0, 1, 2, 3}, {C0, C1, C2, C3}},
      {"nothing at all placed", {}, {}, {}, {1, 2, 3, 4}, {0xFF, 0, 0, 0}},
      // clang-format on
  };
  for (const auto& c : cases) {
    const int32_t count = static_cast<int32_t>(c.indexs.size());
    const auto r = generate(c.tag, c.version, c.raw, c.indexs, count);
    ASSERT_EQ(r.verify, hotp(cat({c.tag, c.version, c.raw}), count)) << c.what;
    Bytes want;
    for (int v : c.want) want.push_back(v >= C0 ? r.verify[v - C0] : static_cast<uint8_t>(v));
    EXPECT_EQ(r.id, want) << c.what;
  }
}

TEST(GenerateID, BadCountOrNullListLeavesVerify) {
  const std::vector<int32_t> indexs(16, 3);
  const std::pair<const int32_t*, int32_t> calls[] = {{indexs.data(), 3},
                                                      {indexs.data(), 13},
                                                      {indexs.data(), 0},
                                                      {indexs.data(), -1},
                                                      {indexs.data(), INT32_MIN},
                                                      {indexs.data(), INT32_MAX},
                                                      {nullptr, 4},
                                                      {nullptr, 12}};
  for (auto [list, count] : calls) {
    CNorVekXBuffer verify("untouched");
    const CNorVekXBuffer id = CNorVekXCryptoHelper::GenerateID(
        buffer_of(kTag), buffer_of(kVersion), buffer_of(kRaw), verify, list, count);
    EXPECT_EQ(id.m_nSize, 0u) << count;
    EXPECT_TRUE(verify.compare(CNorVekXBuffer("untouched"))) << count;
  }
}

// Whatever the list holds: length L, tag and version in front, verify the
// code of tag|version|rawid, every raw byte in order, a placed code byte only
// where listed, and one trailing zero per code byte not placed. On odd
// trials the list is distinct and ascending, and then every listed position
// reached before the last raw byte holds its code byte.
TEST(GenerateID, PropertiesOverRandomLists) {
  std::mt19937 rng(31);
  for (int trial = 0; trial < 600; ++trial) {
    const Bytes tag = random_bytes(rng, rng() % 4);
    const Bytes version = random_bytes(rng, rng() % 3);
    const Bytes raw = random_bytes(rng, 1 + rng() % 20);
    const int32_t count = 4 + int32_t(rng() % 9);
    const size_t p = tag.size() + version.size();
    const size_t l = p + raw.size() + size_t(count);
    const bool ascending = trial % 2 == 1;
    std::vector<int32_t> indexs(static_cast<size_t>(count));
    if (ascending) {
      std::set<int32_t> chosen;
      while (chosen.size() < size_t(count)) chosen.insert(int32_t(p + rng() % (l - p)));
      indexs.assign(chosen.begin(), chosen.end());
    } else {
      for (auto& x : indexs) x = int32_t(rng() % (l + 4)) - 2;
    }

    const auto r = generate(tag, version, raw, indexs, count);
    ASSERT_EQ(r.id.size(), l);
    ASSERT_EQ(r.verify, hotp(cat({tag, version, raw}), count));
    EXPECT_EQ(Bytes(r.id.begin(), r.id.begin() + p), cat({tag, version}));

    if (ascending) {
      Bytes want = cat({tag, version});
      for (size_t pos = p, raw_at = 0, m = 0; raw_at < raw.size(); ++pos) {
        want.push_back(m < indexs.size() && indexs[m] == int32_t(pos) ? r.verify[m++]
                                                                      : raw[raw_at++]);
      }
      want.resize(l, 0);
      EXPECT_EQ(r.id, want) << "trial " << trial;
      continue;
    }
    // Read the written run back: each position holds either the code byte of
    // an unused entry listing it, or the next raw byte; the run ends right
    // after the last raw byte. Equal byte values can make both readings
    // possible, so every consistent reading is tried.
    std::vector<bool> used(size_t(count), false);
    std::function<bool(size_t, size_t)> readable = [&](size_t pos, size_t raw_at) -> bool {
      if (raw_at == raw.size()) {
        for (; pos < l; ++pos) {
          if (r.id[pos] != 0) return false;
        }
        return true;
      }
      if (pos >= l) return false;
      if (r.id[pos] == raw[raw_at] && readable(pos + 1, raw_at + 1)) return true;
      for (int32_t m = 0; m < count; ++m) {
        if (used[m] || indexs[m] != int32_t(pos) || r.id[pos] != r.verify[m]) continue;
        used[m] = true;
        const bool ok = readable(pos + 1, raw_at);
        used[m] = false;
        if (ok) return true;
      }
      return false;
    };
    EXPECT_TRUE(readable(p, 0)) << "trial " << trial;
  }
}

TEST(GenerateID, VerifyMayBeAnInput) {
  CNorVekXBuffer raw = buffer_of(kRaw);
  const std::vector<int32_t> indexs = {3, 5, 7, 9};
  const auto separate = generate(kTag, kVersion, kRaw, indexs, 4);
  const CNorVekXBuffer id = CNorVekXCryptoHelper::GenerateID(buffer_of(kTag), buffer_of(kVersion),
                                                             raw, raw, indexs.data(), 4);
  EXPECT_EQ(bytes_of(id), separate.id);
  EXPECT_EQ(bytes_of(raw), separate.verify);
}

}  // namespace
