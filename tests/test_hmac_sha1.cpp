// HMAC-SHA1: RFC 2202, Wycheproof, aliasing, key-length rules, and a
// differential run against OpenSSL's HMAC().
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "norvek/hmac_sha1.h"
#include "wycheproof.h"

namespace {

using Bytes = std::vector<uint8_t>;
using norvek_test::from_hex;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes mac(const Bytes& msg, const Bytes& key) {
  Bytes out(20);
  norvek_crypto_hmac_sha1_KQZP(msg.data(), msg.size(), key.data(), key.size(), out.data());
  return out;
}

Bytes openssl_mac(const Bytes& msg, const Bytes& key) {
  Bytes out(20);
  unsigned int len = 0;
  // OpenSSL wants a non-null key pointer even for an empty key.
  static const uint8_t empty = 0;
  HMAC(EVP_sha1(), key.empty() ? &empty : key.data(), static_cast<int>(key.size()), msg.data(),
       msg.size(), out.data(), &len);
  EXPECT_EQ(len, 20u);
  return out;
}

std::vector<uint8_t> random_bytes(std::mt19937& rng, size_t n) {
  Bytes v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// RFC 2202, section 3 (HMAC-SHA1).
struct Rfc2202Case {
  int number;
  Bytes key;
  Bytes data;
  const char* digest;
};

std::vector<Rfc2202Case> rfc2202_cases() {
  return {
      {1, Bytes(20, 0x0b), bytes("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
      {2, bytes("Jefe"), bytes("what do ya want for nothing?"),
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {3, Bytes(20, 0xaa), Bytes(50, 0xdd), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {4, from_hex("0102030405060708090a0b0c0d0e0f10111213141516171819"), Bytes(50, 0xcd),
       "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {5, Bytes(20, 0x0c), bytes("Test With Truncation"),
       "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {6, Bytes(80, 0xaa), bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {7, Bytes(80, 0xaa),
       bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
}

TEST(HmacSha1, Rfc2202) {
  for (const auto& c : rfc2202_cases()) {
    EXPECT_EQ(mac(c.data, c.key), from_hex(c.digest)) << "RFC 2202 case " << c.number;
  }
}

// Valid cases must verify; invalid ones (modified tags) must not. Truncated
// tags are compared against the leading bytes of the full MAC.
TEST(HmacSha1, Wycheproof) {
  const auto cases = norvek_test::load_wycheproof(NORVEK_TEST_DATA_DIR
                                                  "/wycheproof/hmac_sha1_test.json");
  ASSERT_EQ(cases.size(), 170u);
  int valid = 0, invalid = 0;
  for (const auto& c : cases) {
    const int id = c.number("tcId");
    const size_t tag_bytes = static_cast<size_t>(c.number("tagSize")) / 8;
    ASSERT_LE(tag_bytes, 20u) << "tcId " << id;
    const Bytes key = from_hex(c.at("key"));
    const Bytes msg = from_hex(c.at("msg"));
    const Bytes tag = from_hex(c.at("tag"));
    const Bytes full = mac(msg, key);
    const bool verifies = tag.size() == tag_bytes &&
                          std::equal(tag.begin(), tag.end(), full.begin());
    const std::string& result = c.at("result");
    if (result == "valid") {
      EXPECT_TRUE(verifies) << "tcId " << id;
      ++valid;
    } else {
      ASSERT_EQ(result, "invalid") << "tcId " << id;
      EXPECT_FALSE(verifies) << "tcId " << id;
      ++invalid;
    }
  }
  EXPECT_EQ(valid, 66);
  EXPECT_EQ(invalid, 104);
}

TEST(HmacSha1, OutputMayAliasTheMessage) {
  std::mt19937 rng(1);
  for (size_t n : {20, 21, 64, 100}) {
    Bytes buf = random_bytes(rng, n);
    const Bytes key = random_bytes(rng, 33);
    const Bytes want = openssl_mac(buf, key);
    norvek_crypto_hmac_sha1_KQZP(buf.data(), buf.size(), key.data(), key.size(), buf.data());
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 20), want) << n << "-byte message";
  }
}

TEST(HmacSha1, OutputMayAliasTheKey) {
  std::mt19937 rng(2);
  for (size_t n : {20, 40, 64, 65, 80}) {
    Bytes key = random_bytes(rng, n);
    const Bytes msg = random_bytes(rng, 50);
    const Bytes want = openssl_mac(msg, key);
    norvek_crypto_hmac_sha1_KQZP(msg.data(), msg.size(), key.data(), key.size(), key.data());
    EXPECT_EQ(Bytes(key.begin(), key.begin() + 20), want) << n << "-byte key";
  }
}

TEST(HmacSha1, KeyLengthRule) {
  std::mt19937 rng(3);
  const Bytes msg = random_bytes(rng, 77);

  // 64 bytes fill the block as they are.
  const Bytes key64 = random_bytes(rng, 64);
  EXPECT_EQ(mac(msg, key64), openssl_mac(msg, key64));

  // 65 bytes are replaced by their digest.
  const Bytes key65 = random_bytes(rng, 65);
  Bytes hashed(20);
  SHA1(key65.data(), key65.size(), hashed.data());
  EXPECT_EQ(mac(msg, key65), mac(msg, hashed));
  EXPECT_EQ(mac(msg, key65), openssl_mac(msg, key65));
}

TEST(HmacSha1, EmptyKeyIsAnAllZeroKey) {
  const Bytes msg = bytes("message");
  const Bytes want = mac(msg, Bytes(64, 0));
  EXPECT_EQ(mac(msg, Bytes()), want);
  Bytes out(20);
  norvek_crypto_hmac_sha1_KQZP(msg.data(), msg.size(), nullptr, 0, out.data());
  EXPECT_EQ(out, want);
  EXPECT_EQ(want, openssl_mac(msg, Bytes()));
}

TEST(HmacSha1, EmptyMessage) {
  const Bytes key = bytes("key");
  Bytes out(20);
  norvek_crypto_hmac_sha1_KQZP(nullptr, 0, key.data(), key.size(), out.data());
  EXPECT_EQ(out, openssl_mac(Bytes(), key));
  // Widely published value of HMAC-SHA1 under the key "key" over "".
  EXPECT_EQ(out, from_hex("f42bb0eeb018ebbd4597ae7213711ec60760843f"));
}

TEST(HmacSha1, KeyBytesAreOnlyRead) {
  std::mt19937 rng(4);
  for (size_t n : {0, 1, 20, 64, 65, 200}) {
    const Bytes key = random_bytes(rng, n);
    Bytes copy = key;
    const Bytes msg = random_bytes(rng, 30);
    const Bytes msg_copy = msg;
    mac(msg, copy);
    EXPECT_EQ(copy, key) << n;
    EXPECT_EQ(msg, msg_copy) << n;
  }
}

TEST(HmacSha1, WritesExactlyTwentyBytes) {
  uint8_t out[40];
  std::memset(out, 0xEE, sizeof out);
  norvek_crypto_hmac_sha1_KQZP(reinterpret_cast<const uint8_t*>("m"), 1,
                               reinterpret_cast<const uint8_t*>("k"), 1, out + 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  for (int i = 30; i < 40; ++i) EXPECT_EQ(out[i], 0xEE) << i;
}

TEST(HmacSha1, DifferentialAgainstOpenSSL) {
  std::mt19937 rng(0xC0FFEE);
  for (int trial = 0; trial < 2000; ++trial) {
    const size_t key_len = rng() % 160;
    const size_t msg_len = (trial % 10 == 0) ? rng() % 3000 : rng() % 200;
    const Bytes key = random_bytes(rng, key_len);
    const Bytes msg = random_bytes(rng, msg_len);
    ASSERT_EQ(mac(msg, key), openssl_mac(msg, key))
        << "trial " << trial << ", key " << key_len << ", message " << msg_len;
  }
}

}  // namespace
