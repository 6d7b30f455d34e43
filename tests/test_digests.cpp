// Helper digests over buffers (Sha1, HmacSha1, SignData) and RandBytes,
// checked against OpenSSL and against the random source's failure rule.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "norvek/crypto_helper.h"
#include "norvek_platform/security.h"
#include "wycheproof.h"

namespace {

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;
using NorvekCryptoSpace::NORVEK_SIGN_DATA_KEY;
using Bytes = std::vector<uint8_t>;
using norvek_test::from_hex;

Bytes of(const CNorVekXBuffer& b) {
  return b.m_nSize == 0 ? Bytes() : Bytes(b.m_pData, b.m_pData + b.m_nSize);
}

CNorVekXBuffer buf(const Bytes& v) { return CNorVekXBuffer(v.data(), v.size()); }

Bytes openssl_mac(const Bytes& msg, const Bytes& key) {
  Bytes out(20);
  unsigned int len = 0;
  static const uint8_t empty = 0;
  HMAC(EVP_sha1(), key.empty() ? &empty : key.data(), static_cast<int>(key.size()), msg.data(),
       msg.size(), out.data(), &len);
  return out;
}

Bytes random_bytes(std::mt19937& rng, size_t n) {
  Bytes v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Sets the forced failure for one scope and always clears it again.
class ForcedRandomFailure {
 public:
  explicit ForcedRandomFailure(int status) { norvek_platform_force_random_failure(status); }
  ~ForcedRandomFailure() { norvek_platform_force_random_failure(0); }
  ForcedRandomFailure(const ForcedRandomFailure&) = delete;
  ForcedRandomFailure& operator=(const ForcedRandomFailure&) = delete;
};

TEST(Digests, Sha1KnownAnswers) {
  EXPECT_EQ(of(CNorVekXCryptoHelper::Sha1(CNorVekXBuffer())),
            from_hex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
  EXPECT_EQ(of(CNorVekXCryptoHelper::Sha1(CNorVekXBuffer(uint64_t{0}))),
            from_hex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
  EXPECT_EQ(of(CNorVekXCryptoHelper::Sha1(CNorVekXBuffer("abc"))),
            from_hex("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

TEST(Digests, Sha1MatchesOpenSSL) {
  std::mt19937 rng(11);
  for (size_t n : {1, 19, 20, 55, 56, 64, 1000}) {
    const Bytes msg = random_bytes(rng, n);
    Bytes want(20);
    SHA1(msg.data(), msg.size(), want.data());
    const CNorVekXBuffer in = buf(msg);
    const CNorVekXBuffer got = CNorVekXCryptoHelper::Sha1(in);
    EXPECT_EQ(got.m_nSize, 20u);
    EXPECT_EQ(of(got), want) << n;
    EXPECT_EQ(of(in), msg);
  }
}

TEST(Digests, HmacSha1MatchesOpenSSL) {
  std::mt19937 rng(12);
  for (size_t key_len : {0, 1, 20, 40, 64, 65, 100}) {
    for (size_t msg_len : {0, 1, 20, 64, 130}) {
      const Bytes key = random_bytes(rng, key_len);
      const Bytes msg = random_bytes(rng, msg_len);
      const CNorVekXBuffer got = CNorVekXCryptoHelper::HmacSha1(buf(msg), buf(key));
      EXPECT_EQ(got.m_nSize, 20u);
      EXPECT_EQ(of(got), openssl_mac(msg, key)) << key_len << "/" << msg_len;
    }
  }
}

TEST(Digests, HmacSha1EmptyKeyIsZeroBlock) {
  const CNorVekXBuffer msg("payload");
  const Bytes want = of(CNorVekXCryptoHelper::HmacSha1(msg, CNorVekXBuffer(uint64_t{64})));
  EXPECT_EQ(of(CNorVekXCryptoHelper::HmacSha1(msg, CNorVekXBuffer())), want);
  EXPECT_EQ(of(CNorVekXCryptoHelper::HmacSha1(msg, CNorVekXBuffer(uint64_t{0}))), want);
}

TEST(Digests, HmacSha1LongKeyIsHashedAndLeftAlone) {
  std::mt19937 rng(13);
  const Bytes key = random_bytes(rng, 100);
  const CNorVekXBuffer key_buf = buf(key);
  const CNorVekXBuffer msg("message");
  const CNorVekXBuffer hashed_key = CNorVekXCryptoHelper::Sha1(key_buf);
  EXPECT_EQ(of(CNorVekXCryptoHelper::HmacSha1(msg, key_buf)),
            of(CNorVekXCryptoHelper::HmacSha1(msg, hashed_key)));
  EXPECT_EQ(of(key_buf), key);
}

TEST(Digests, SignDataIsHmacUnderTheSigningKey) {
  const Bytes key(NORVEK_SIGN_DATA_KEY, NORVEK_SIGN_DATA_KEY + 40);
  std::mt19937 rng(14);
  for (size_t n : {0, 1, 20, 64, 500}) {
    const Bytes msg = random_bytes(rng, n);
    const CNorVekXBuffer sig = CNorVekXCryptoHelper::SignData(buf(msg));
    EXPECT_EQ(sig.m_nSize, 20u) << n;
    EXPECT_EQ(of(sig), openssl_mac(msg, key)) << n;
    EXPECT_EQ(of(sig), of(CNorVekXCryptoHelper::HmacSha1(buf(msg), buf(key)))) << n;
  }
  EXPECT_EQ(CNorVekXCryptoHelper::SignData(CNorVekXBuffer()).m_nSize, 20u);
}

TEST(Digests, SignDataSeesChangesToTheKeyArray) {
  uint8_t saved[40];
  std::memcpy(saved, NORVEK_SIGN_DATA_KEY, 40);
  const CNorVekXBuffer msg("sign me");
  const Bytes before = of(CNorVekXCryptoHelper::SignData(msg));

  Bytes replacement(40);
  for (size_t i = 0; i < 40; ++i) replacement[i] = static_cast<uint8_t>(0xA0 + i);
  std::memcpy(NORVEK_SIGN_DATA_KEY, replacement.data(), 40);
  const Bytes after = of(CNorVekXCryptoHelper::SignData(msg));
  std::memcpy(NORVEK_SIGN_DATA_KEY, saved, 40);

  EXPECT_NE(after, before);
  EXPECT_EQ(after, openssl_mac(of(msg), replacement));
  EXPECT_EQ(of(CNorVekXCryptoHelper::SignData(msg)), before);
}

TEST(Digests, RandBytesSizes) {
  const struct {
    int32_t asked;
    uint64_t got;
  } cases[] = {{0, 3}, {2, 3}, {-5, 3}, {INT32_MIN, 3}, {3, 3}, {16, 16}, {1000, 1000}};
  for (const auto& c : cases) {
    EXPECT_EQ(CNorVekXCryptoHelper::RandBytes(c.asked).m_nSize, c.got) << c.asked;
  }
}

TEST(Digests, RandBytesDiffer) {
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i) {
    const CNorVekXBuffer r = CNorVekXCryptoHelper::RandBytes(16);
    ASSERT_EQ(r.m_nSize, 16u);
    seen.insert(std::string(reinterpret_cast<const char*>(r.m_pData), 16));
  }
  EXPECT_EQ(seen.size(), 64u);  // a repeat of 128 random bits would be a fault

  // Not the zero fill of the fresh buffer: every byte value turns up.
  const Bytes big = of(CNorVekXCryptoHelper::RandBytes(1 << 16));
  std::set<uint8_t> values(big.begin(), big.end());
  EXPECT_EQ(values.size(), 256u);
}

TEST(Digests, RandBytesFailureGivesAnEmptyBuffer) {
  {
    ForcedRandomFailure forced(-36);
    for (int32_t n : {0, 3, 16, 4096}) {
      const CNorVekXBuffer got = CNorVekXCryptoHelper::RandBytes(n);
      EXPECT_EQ(got.m_nSize, 0u) << n;
    }
  }
  EXPECT_EQ(CNorVekXCryptoHelper::RandBytes(16).m_nSize, 16u);
}

TEST(RandomSource, ForcedFailureWritesNothing) {
  uint8_t out[8];
  std::memset(out, 0x11, sizeof out);
  {
    ForcedRandomFailure forced(-36);
    EXPECT_EQ(SecRandomCopyBytes(kSecRandomDefault, sizeof out, out), -36);
  }
  for (uint8_t b : out) EXPECT_EQ(b, 0x11);
  {
    ForcedRandomFailure forced(7);
    EXPECT_EQ(SecRandomCopyBytes(kSecRandomDefault, sizeof out, out), 7);
  }
  EXPECT_EQ(SecRandomCopyBytes(kSecRandomDefault, sizeof out, out), 0);
}

TEST(RandomSource, FillsLargeRequests) {
  // Large enough for the kernel to serve in pieces on some systems.
  std::vector<uint8_t> out(64 << 20, 0);
  ASSERT_EQ(SecRandomCopyBytes(kSecRandomDefault, out.size(), out.data()), 0);
  // The last 4 KiB are not all still zero.
  size_t zeros = 0;
  for (size_t i = out.size() - 4096; i < out.size(); ++i) zeros += out[i] == 0;
  EXPECT_LT(zeros, 100u);
}

TEST(RandomSource, EmptyRequest) {
  EXPECT_EQ(SecRandomCopyBytes(kSecRandomDefault, 0, nullptr), 0);
  EXPECT_EQ(kSecRandomDefault, nullptr);
}

}  // namespace
