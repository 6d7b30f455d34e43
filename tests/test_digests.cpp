// Helper digests over buffers (Sha1, HmacSha1, SignData) against OpenSSL,
// RandBytes, and the random source behind it.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "norvek/crypto_helper.h"
#include "norvek_platform/security.h"
#include "sha1_paths_param.h"
#include "test_util.h"
#include "wycheproof.h"

namespace {

using norvek_test::buffer_of;
using norvek_test::Bytes;
using norvek_test::bytes_of;
using norvek_test::from_hex;
using norvek_test::openssl_hmac_sha1;
using norvek_test::random_bytes;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;
using NorvekCryptoSpace::NORVEK_SIGN_DATA_KEY;

// Sets the forced failure for one scope and always clears it again.
class ForcedRandomFailure {
 public:
  explicit ForcedRandomFailure(int status) { norvek_platform_force_random_failure(status); }
  ~ForcedRandomFailure() { norvek_platform_force_random_failure(0); }
  ForcedRandomFailure(const ForcedRandomFailure&) = delete;
  ForcedRandomFailure& operator=(const ForcedRandomFailure&) = delete;
};

// The digest tests run once per SHA-1 path this machine has.
NORVEK_SHA1_PATH_SUITE(HashDigests);

TEST_P(HashDigests, Sha1) {
  // Both empty forms: without storage and with a zero-byte allocation.
  for (const CNorVekXBuffer& empty : {CNorVekXBuffer(), CNorVekXBuffer(uint64_t{0})}) {
    EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::Sha1(empty)),
              from_hex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
  }
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::Sha1(CNorVekXBuffer("abc"))),
            from_hex("a9993e364706816aba3e25717850c26c9cd0d89d"));
  std::mt19937 rng(11);
  for (size_t n : {1, 19, 20, 55, 56, 64, 1000}) {
    const Bytes msg = random_bytes(rng, n);
    const CNorVekXBuffer in = buffer_of(msg);
    EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::Sha1(in)), norvek_test::openssl_sha1(msg)) << n;
    EXPECT_EQ(bytes_of(in), msg);
  }
}

// Short, block-sized and long (hashed) keys; the key buffer is only read.
TEST_P(HashDigests, HmacSha1MatchesOpenSSL) {
  std::mt19937 rng(12);
  for (size_t key_len : {0, 1, 20, 40, 64, 65, 100}) {
    for (size_t msg_len : {0, 1, 20, 64, 130}) {
      const Bytes key = random_bytes(rng, key_len);
      const Bytes msg = random_bytes(rng, msg_len);
      const CNorVekXBuffer key_buf = buffer_of(key);
      EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::HmacSha1(buffer_of(msg), key_buf)),
                openssl_hmac_sha1(msg, key))
          << key_len << "/" << msg_len;
      EXPECT_EQ(bytes_of(key_buf), key);
    }
  }
  // A key without storage is a block of 64 zero bytes.
  const CNorVekXBuffer msg("payload");
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::HmacSha1(msg, CNorVekXBuffer())),
            bytes_of(CNorVekXCryptoHelper::HmacSha1(msg, CNorVekXBuffer(uint64_t{64}))));
}

TEST_P(HashDigests, SignDataIsHmacUnderTheSigningKey) {
  const Bytes key(NORVEK_SIGN_DATA_KEY, NORVEK_SIGN_DATA_KEY + 40);
  std::mt19937 rng(14);
  for (size_t n : {0, 1, 20, 64, 500}) {
    const Bytes msg = random_bytes(rng, n);
    EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::SignData(buffer_of(msg))), openssl_hmac_sha1(msg, key))
        << n;
  }
  EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::SignData(CNorVekXBuffer())), openssl_hmac_sha1({}, key));
}

// A write to the array between calls takes effect, whether it changes every
// byte or only the first or last one, and writing the shipped key back
// restores the shipped signatures.
TEST_P(HashDigests, SignDataSeesChangesToTheKeyArray) {
  const Bytes shipped(NORVEK_SIGN_DATA_KEY, NORVEK_SIGN_DATA_KEY + 40);
  const CNorVekXBuffer msg("sign me");
  const Bytes before = bytes_of(CNorVekXCryptoHelper::SignData(msg));

  Bytes all_new(40);
  for (size_t i = 0; i < 40; ++i) all_new[i] = static_cast<uint8_t>(0xA0 + i);
  Bytes first = shipped, last = shipped;
  first[0] ^= 0x01;
  last[39] ^= 0x80;
  for (const Bytes& replacement : {all_new, first, last}) {
    std::memcpy(NORVEK_SIGN_DATA_KEY, replacement.data(), 40);
    const Bytes after = bytes_of(CNorVekXCryptoHelper::SignData(msg));
    std::memcpy(NORVEK_SIGN_DATA_KEY, shipped.data(), 40);
    EXPECT_EQ(after, openssl_hmac_sha1(bytes_of(msg), replacement));
    EXPECT_EQ(bytes_of(CNorVekXCryptoHelper::SignData(msg)), before);
  }
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
  for (int i = 0; i < 64; ++i)
    seen.insert(norvek_test::to_hex(bytes_of(CNorVekXCryptoHelper::RandBytes(16))));
  EXPECT_EQ(seen.size(), 64u);  // a repeat of 128 random bits would be a fault

  // Not the zero fill of the fresh buffer: every byte value turns up.
  const Bytes big = bytes_of(CNorVekXCryptoHelper::RandBytes(1 << 16));
  EXPECT_EQ(std::set<uint8_t>(big.begin(), big.end()).size(), 256u);
}

TEST(Digests, RandBytesFailureGivesAnEmptyBuffer) {
  {
    ForcedRandomFailure forced(-36);
    for (int32_t n : {0, 3, 16, 4096}) {
      EXPECT_EQ(CNorVekXCryptoHelper::RandBytes(n).m_nSize, 0u) << n;
    }
  }
  EXPECT_EQ(CNorVekXCryptoHelper::RandBytes(16).m_nSize, 16u);
}

// The stand-in source: a forced failure answers its status and writes
// nothing; an empty request succeeds without touching its pointer.
TEST(RandomSource, StatusAndEmptyRequest) {
  uint8_t out[8];
  std::memset(out, 0x11, sizeof out);
  for (int status : {-36, 7}) {
    ForcedRandomFailure forced(status);
    EXPECT_EQ(SecRandomCopyBytes(kSecRandomDefault, sizeof out, out), status);
  }
  for (uint8_t b : out) EXPECT_EQ(b, 0x11);
  EXPECT_EQ(SecRandomCopyBytes(kSecRandomDefault, sizeof out, out), 0);
  EXPECT_EQ(SecRandomCopyBytes(kSecRandomDefault, 0, nullptr), 0);
  EXPECT_EQ(SecRandomCopyBytes(kSecRandomDefault, 1, nullptr), -50);  // errSecParam
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

}  // namespace
