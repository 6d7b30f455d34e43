// One-time codes (HOTPex) and identifiers (GenerateID).
//
// The codes are checked against HMAC-SHA1 computed here with OpenSSL under
// the same three salts. The salts come from the helper's internal header,
// which only the helper unit and this test include: the library itself
// exports no symbol for them.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <climits>
#include <functional>
#include <random>
#include <set>
#include <vector>

#include "../helper/hotp_salts.h"
#include "norvek/crypto_helper.h"

namespace {

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;
namespace salts = NorvekCryptoSpace::hotp_salts;
using Bytes = std::vector<uint8_t>;

Bytes of(const CNorVekXBuffer& b) {
  return b.m_nSize == 0 ? Bytes() : Bytes(b.m_pData, b.m_pData + b.m_nSize);
}

CNorVekXBuffer buf(const Bytes& v) { return CNorVekXBuffer(v.data(), v.size()); }

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

Bytes openssl_mac(const Bytes& msg, const uint8_t* key) {
  Bytes out(20);
  unsigned int len = 0;
  HMAC(EVP_sha1(), key, static_cast<int>(salts::kSaltSize), msg.data(), msg.size(), out.data(),
       &len);
  return out;
}

// RFC 4226 dynamic truncation: offset and 31-bit value.
int offset_of(const Bytes& h) { return h[19] & 0x0F; }
uint32_t truncated(const Bytes& h) {
  const int o = offset_of(h);
  return (uint32_t(h[o] & 0x7F) << 24) | (uint32_t(h[o + 1]) << 16) | (uint32_t(h[o + 2]) << 8) |
         h[o + 3];
}

Bytes hotp(const Bytes& msg, int32_t digits, const CNorVekXBuffer& key = CNorVekXBuffer()) {
  return of(CNorVekXCryptoHelper::HOTPex(buf(msg), key, digits));
}

TEST(HOTPex, DigitsOutsideOneToTwelveGiveEmpty) {
  const Bytes msg = {1, 2, 3};
  for (int32_t d : {0, 13, -1, 100, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(CNorVekXCryptoHelper::HOTPex(buf(msg), CNorVekXBuffer(), d).m_nSize, 0u) << d;
  }
  for (int32_t d = 1; d <= 12; ++d) EXPECT_EQ(hotp(msg, d).size(), size_t(d)) << d;
}

TEST(HOTPex, ShorterCodesArePrefixes) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 50; ++trial) {
    const Bytes msg = random_bytes(rng, rng() % 100);
    const Bytes full = hotp(msg, 12);
    for (int32_t d = 1; d < 12; ++d) {
      EXPECT_EQ(hotp(msg, d), Bytes(full.begin(), full.begin() + d)) << d;
    }
  }
}

// Group 1: hash1's truncated value, least significant byte first.
// Group 2: hash2's truncated value, most significant byte first.
// Group 3: hash3's masked first window byte, then window bytes 2, 3, 1.
TEST(HOTPex, GroupsFollowTheirByteOrders) {
  std::mt19937 rng(22);
  std::set<int> offsets1, offsets2, offsets3;
  for (int trial = 0; trial < 400; ++trial) {
    const Bytes msg = random_bytes(rng, rng() % 80);
    const Bytes code = hotp(msg, 12);
    ASSERT_EQ(code.size(), 12u);
    const Bytes h1 = openssl_mac(msg, salts::SALT1);
    const Bytes h2 = openssl_mac(msg, salts::SALT2);
    const Bytes h3 = openssl_mac(msg, salts::SALT3);
    offsets1.insert(offset_of(h1));
    offsets2.insert(offset_of(h2));
    offsets3.insert(offset_of(h3));

    const uint32_t g1 = code[0] | (uint32_t(code[1]) << 8) | (uint32_t(code[2]) << 16) |
                        (uint32_t(code[3]) << 24);
    EXPECT_EQ(g1, truncated(h1)) << "trial " << trial;
    const uint32_t g2 = (uint32_t(code[4]) << 24) | (uint32_t(code[5]) << 16) |
                        (uint32_t(code[6]) << 8) | code[7];
    EXPECT_EQ(g2, truncated(h2)) << "trial " << trial;
    const int o3 = offset_of(h3);
    const Bytes g3 = {uint8_t(h3[o3] & 0x7F), h3[o3 + 2], h3[o3 + 3], h3[o3 + 1]};
    EXPECT_EQ(Bytes(code.begin() + 8, code.end()), g3) << "trial " << trial;

    // One digit: the least significant byte of hash1's truncated value.
    EXPECT_EQ(hotp(msg, 1), Bytes{h1[offset_of(h1) + 3]});
  }
  // Every truncation offset was exercised.
  EXPECT_EQ(offsets1.size(), 16u);
  EXPECT_EQ(offsets2.size(), 16u);
  EXPECT_EQ(offsets3.size(), 16u);
}

TEST(HOTPex, TopBitsClearedOnlyWhereTruncationMasks) {
  std::mt19937 rng(23);
  std::vector<bool> high_seen(12, false);
  for (int trial = 0; trial < 300; ++trial) {
    const Bytes code = hotp(random_bytes(rng, 24), 12);
    for (int i = 0; i < 12; ++i) {
      if (code[i] & 0x80) high_seen[i] = true;
    }
    EXPECT_EQ(code[3] & 0x80, 0);
    EXPECT_EQ(code[4] & 0x80, 0);
    EXPECT_EQ(code[8] & 0x80, 0);
  }
  for (int i = 0; i < 12; ++i) {
    if (i == 3 || i == 4 || i == 8) continue;
    EXPECT_TRUE(high_seen[i]) << "byte " << i << " never had its top bit set";
  }
}

TEST(HOTPex, KeyIsNotRead) {
  const Bytes msg = {9, 8, 7, 6};
  const Bytes want = hotp(msg, 12);
  std::mt19937 rng(24);
  for (size_t n : {0, 1, 20, 40, 200}) {
    EXPECT_EQ(hotp(msg, 12, buf(random_bytes(rng, n))), want) << n;
  }
  EXPECT_EQ(hotp(msg, 12, CNorVekXBuffer(uint64_t{0})), want);
}

TEST(HOTPex, EmptyMessageGivesAFullCode) {
  const Bytes code = hotp(Bytes(), 12);
  ASSERT_EQ(code.size(), 12u);
  const Bytes h2 = openssl_mac(Bytes(), salts::SALT2);
  const uint32_t g2 = (uint32_t(code[4]) << 24) | (uint32_t(code[5]) << 16) |
                      (uint32_t(code[6]) << 8) | code[7];
  EXPECT_EQ(g2, truncated(h2));
  EXPECT_EQ(of(CNorVekXCryptoHelper::HOTPex(CNorVekXBuffer(), CNorVekXBuffer(), 12)), code);
}

TEST(HOTPex, SaltsAreDistinct) {
  // Three equal salts would make the groups mere reorderings of one digest.
  EXPECT_NE(Bytes(salts::SALT1, salts::SALT1 + 40), Bytes(salts::SALT2, salts::SALT2 + 40));
  EXPECT_NE(Bytes(salts::SALT2, salts::SALT2 + 40), Bytes(salts::SALT3, salts::SALT3 + 40));
  EXPECT_NE(Bytes(salts::SALT1, salts::SALT1 + 40), Bytes(salts::SALT3, salts::SALT3 + 40));
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
  const CNorVekXBuffer id = CNorVekXCryptoHelper::GenerateID(buf(tag), buf(version), buf(rawid),
                                                             verify, indexs.data(), count);
  return {of(id), of(verify)};
}

const Bytes kTag = {0x54};
const Bytes kVersion = {0x01};
const Bytes kRaw = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};  // r0..r5

TEST(GenerateID, WorkedLayoutInterleaved) {
  const auto r = generate(kTag, kVersion, kRaw, {3, 5, 7, 9}, 4);
  const Bytes& c = r.verify;
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c, hotp(cat({kTag, kVersion, kRaw}), 4));
  const Bytes want = {0x54, 0x01, 0xA0, c[0], 0xA1, c[1], 0xA2, c[2], 0xA3, c[3], 0xA4, 0xA5};
  EXPECT_EQ(r.id, want);
}

TEST(GenerateID, WorkedLayoutPositionsAfterTheLastRawByte) {
  const auto r = generate(kTag, kVersion, kRaw, {8, 9, 10, 11}, 4);
  EXPECT_EQ(r.verify, hotp(cat({kTag, kVersion, kRaw}), 4));
  const Bytes want = {0x54, 0x01, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0, 0, 0, 0};
  EXPECT_EQ(r.id, want);
}

TEST(GenerateID, ConsecutiveAscendingPositionsPlacedInOneStep) {
  const auto r = generate(kTag, kVersion, kRaw, {3, 4, 5, 6}, 4);
  const Bytes& c = r.verify;
  const Bytes want = {0x54, 0x01, 0xA0, c[0], c[1], c[2], c[3], 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  EXPECT_EQ(r.id, want);
}

TEST(GenerateID, DescendingNeighboursLoseTheLaterCodeByte) {
  // 4 is listed before 3: position 3 gets c1, position 4 the next raw byte,
  // and c0 is never placed.
  const auto r = generate(kTag, kVersion, kRaw, {4, 3, 6, 7}, 4);
  const Bytes& c = r.verify;
  const Bytes want = {0x54, 0x01, 0xA0, c[1], 0xA1, 0xA2, c[2], c[3], 0xA3, 0xA4, 0xA5, 0};
  EXPECT_EQ(r.id, want);
}

TEST(GenerateID, DuplicatePositionPlacedOnce) {
  const auto r = generate(kTag, kVersion, kRaw, {3, 3, 5, 7}, 4);
  const Bytes& c = r.verify;
  const Bytes want = {0x54, 0x01, 0xA0, c[0], 0xA1, c[2], 0xA2, c[3], 0xA3, 0xA4, 0xA5, 0};
  EXPECT_EQ(r.id, want);
}

TEST(GenerateID, PositionsThatNeverMatch) {
  // Below P, negative, at L and far beyond: only the entry for 5 is placed.
  const auto r = generate(kTag, kVersion, kRaw, {1, -1, 5, 12, INT32_MIN, INT32_MAX}, 6);
  const Bytes& c = r.verify;
  ASSERT_EQ(c.size(), 6u);
  const Bytes want = {0x54, 0x01, 0xA0, 0xA1, 0xA2, c[2], 0xA3, 0xA4, 0xA5, 0, 0, 0, 0, 0};
  EXPECT_EQ(r.id, want);
}

TEST(GenerateID, EmptyRawId) {
  {
    const auto r = generate(kTag, kVersion, {}, {2, 3, 4, 5}, 4);
    const Bytes& c = r.verify;
    EXPECT_EQ(c, hotp(cat({kTag, kVersion}), 4));
    EXPECT_EQ(r.id, (Bytes{0x54, 0x01, c[0], c[1], c[2], c[3]}));
  }
  {  // No entry at P: the read past the end of src writes 0xFF there.
    const auto r = generate(kTag, kVersion, {}, {3, 4, 5, 6}, 4);
    EXPECT_EQ(r.id, (Bytes{0x54, 0x01, 0xFF, 0, 0, 0}));
  }
  {  // Two placed, then the out-of-range read.
    const auto r = generate(kTag, kVersion, {}, {2, 3, 7, 8}, 4);
    const Bytes& c = r.verify;
    EXPECT_EQ(r.id, (Bytes{0x54, 0x01, c[0], c[1], 0xFF, 0}));
  }
  {  // Nothing at all but the code.
    const auto r = generate({}, {}, {}, {0, 1, 2, 3}, 4);
    EXPECT_EQ(r.verify, hotp(Bytes(), 4));
    EXPECT_EQ(r.id, r.verify);
    EXPECT_EQ(generate({}, {}, {}, {1, 2, 3, 4}, 4).id, (Bytes{0xFF, 0, 0, 0}));
  }
}

TEST(GenerateID, CountOutOfRangeLeavesVerify) {
  const std::vector<int32_t> indexs(16, 3);
  for (int32_t count : {3, 13, 0, -1, INT32_MIN, INT32_MAX}) {
    CNorVekXBuffer verify("untouched");
    const CNorVekXBuffer id = CNorVekXCryptoHelper::GenerateID(
        buf(kTag), buf(kVersion), buf(kRaw), verify, indexs.data(), count);
    EXPECT_EQ(id.m_nSize, 0u) << count;
    EXPECT_TRUE(verify.compare(CNorVekXBuffer("untouched"))) << count;
  }
}

TEST(GenerateID, NullIndexListLeavesVerify) {
  for (int32_t count : {4, 8, 12}) {
    CNorVekXBuffer verify("untouched");
    const CNorVekXBuffer id = CNorVekXCryptoHelper::GenerateID(buf(kTag), buf(kVersion),
                                                               buf(kRaw), verify, nullptr, count);
    EXPECT_EQ(id.m_nSize, 0u) << count;
    EXPECT_TRUE(verify.compare(CNorVekXBuffer("untouched"))) << count;
  }
}

// Whatever the list holds: length L, tag and version in front, verify the
// code of tag|version|rawid, every raw byte in order, a placed code byte only
// where listed, and one trailing zero per code byte not placed.
TEST(GenerateID, PropertiesOverRandomLists) {
  std::mt19937 rng(31);
  for (int trial = 0; trial < 500; ++trial) {
    const Bytes tag = random_bytes(rng, rng() % 4);
    const Bytes version = random_bytes(rng, rng() % 3);
    const Bytes raw = random_bytes(rng, 1 + rng() % 20);
    const int32_t count = 4 + int32_t(rng() % 9);
    const size_t p = tag.size() + version.size();
    const size_t l = p + raw.size() + size_t(count);
    std::vector<int32_t> indexs(static_cast<size_t>(count));
    for (auto& x : indexs) x = int32_t(rng() % (l + 4)) - 2;

    const auto r = generate(tag, version, raw, indexs, count);
    ASSERT_EQ(r.id.size(), l);
    ASSERT_EQ(r.verify, hotp(cat({tag, version, raw}), count));
    EXPECT_EQ(Bytes(r.id.begin(), r.id.begin() + p), cat({tag, version}));

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

// With distinct positions listed in ascending order, every listed position
// reached before the last raw byte holds its code byte.
TEST(GenerateID, AscendingListsPlaceEveryReachedEntry) {
  std::mt19937 rng(32);
  for (int trial = 0; trial < 300; ++trial) {
    const Bytes tag = random_bytes(rng, rng() % 3);
    const Bytes version = random_bytes(rng, rng() % 3);
    const Bytes raw = random_bytes(rng, rng() % 12);
    const int32_t count = 4 + int32_t(rng() % 9);
    const size_t p = tag.size() + version.size();
    const size_t l = p + raw.size() + size_t(count);
    std::set<int32_t> chosen;
    while (chosen.size() < size_t(count)) chosen.insert(int32_t(p + rng() % (l - p)));
    const std::vector<int32_t> indexs(chosen.begin(), chosen.end());

    const auto r = generate(tag, version, raw, indexs, count);
    Bytes want = cat({tag, version});
    size_t raw_at = 0, m = 0;
    for (size_t pos = p; pos < l; ++pos) {
      if (m < indexs.size() && indexs[m] == int32_t(pos)) {
        want.push_back(r.verify[m++]);
      } else if (raw_at < raw.size()) {
        want.push_back(raw[raw_at++]);
        if (raw_at == raw.size()) break;  // the walk ends after the last raw byte
      } else {
        want.push_back(0xFF);  // empty rawid: the one read past its end
        break;
      }
    }
    want.resize(l, 0);
    EXPECT_EQ(r.id, want) << "trial " << trial;
  }
}

TEST(GenerateID, VerifyMayBeAnInput) {
  CNorVekXBuffer raw = buf(kRaw);
  const std::vector<int32_t> indexs = {3, 5, 7, 9};
  const auto separate = generate(kTag, kVersion, kRaw, indexs, 4);
  const CNorVekXBuffer id =
      CNorVekXCryptoHelper::GenerateID(buf(kTag), buf(kVersion), raw, raw, indexs.data(), 4);
  EXPECT_EQ(of(id), separate.id);
  EXPECT_EQ(of(raw), separate.verify);
}

TEST(GenerateID, FullTwelveByteCode) {
  const std::vector<int32_t> indexs = {2, 4, 6, 8, 10, 12, 14, 15, 16, 17, 18, 19};
  const auto r = generate(kTag, kVersion, kRaw, indexs, 12);
  const Bytes& c = r.verify;
  ASSERT_EQ(c.size(), 12u);
  EXPECT_EQ(c, hotp(cat({kTag, kVersion, kRaw}), 12));
  const Bytes want = {0x54, 0x01, c[0], 0xA0, c[1], 0xA1, c[2], 0xA2, c[3], 0xA3,
                      c[4], 0xA4, c[5], 0xA5, 0,    0,    0,    0,    0,    0};
  EXPECT_EQ(r.id, want);
}

}  // namespace
