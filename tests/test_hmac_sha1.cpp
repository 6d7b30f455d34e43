// HMAC-SHA1: RFC 2202, Wycheproof, a differential sweep against OpenSSL's
// HMAC(), the key-length rules, aliasing and the output bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "norvek/hmac_sha1.h"
#include "sha1_paths_param.h"
#include "test_util.h"
#include "wycheproof.h"

namespace {

using norvek_test::Bytes;
using norvek_test::bytes_of;
using norvek_test::from_hex;
using norvek_test::openssl_hmac_sha1;
using norvek_test::random_bytes;

Bytes mac(const Bytes& msg, const Bytes& key) {
  Bytes out(20);
  norvek_crypto_hmac_sha1_KQZP(msg.data(), msg.size(), key.data(), key.size(), out.data());
  return out;
}

// Every test below runs once per SHA-1 path this machine has.
NORVEK_SHA1_PATH_SUITE(HmacSha1);

TEST_P(HmacSha1, Rfc2202) {
  const struct {
    int number;
    Bytes key;
    Bytes data;
    const char* digest;
  } cases[] = {
      {1, Bytes(20, 0x0b), bytes_of("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
      {2, bytes_of("Jefe"), bytes_of("what do ya want for nothing?"),
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {3, Bytes(20, 0xaa), Bytes(50, 0xdd), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {4, from_hex("0102030405060708090a0b0c0d0e0f10111213141516171819"), Bytes(50, 0xcd),
       "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {5, Bytes(20, 0x0c), bytes_of("Test With Truncation"),
       "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {6, Bytes(80, 0xaa), bytes_of("Test Using Larger Than Block-Size Key - Hash Key First"),
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {7, Bytes(80, 0xaa),
       bytes_of("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mac(c.data, c.key), from_hex(c.digest)) << "RFC 2202 case " << c.number;
  }
}

// Valid cases must verify; invalid ones (modified tags) must not. Truncated
// tags are compared against the leading bytes of the full MAC.
TEST_P(HmacSha1, Wycheproof) {
  const auto cases =
      norvek_test::load_wycheproof(NORVEK_TEST_DATA_DIR "/wycheproof/hmac_sha1_test.json");
  ASSERT_EQ(cases.size(), 170u);
  int valid = 0, invalid = 0;
  for (const auto& c : cases) {
    const int id = c.number("tcId");
    const size_t tag_bytes = static_cast<size_t>(c.number("tagSize")) / 8;
    ASSERT_LE(tag_bytes, 20u) << "tcId " << id;
    const Bytes tag = from_hex(c.at("tag"));
    const Bytes full = mac(from_hex(c.at("msg")), from_hex(c.at("key")));
    const bool verifies =
        tag.size() == tag_bytes && std::equal(tag.begin(), tag.end(), full.begin());
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

// Every key length to 160 (64 used as it is, 65 and up hashed first) with
// messages across the block boundaries; the caller's key and message are only
// read.
TEST_P(HmacSha1, DifferentialAgainstOpenSSL) {
  std::mt19937 rng(0xC0FFEE);
  for (size_t key_len = 0; key_len <= 160; ++key_len) {
    for (int trial = 0; trial < 12; ++trial) {
      const size_t msg_len = trial == 0 ? rng() % 3000 : rng() % 200;
      const Bytes key = random_bytes(rng, key_len);
      const Bytes msg = random_bytes(rng, msg_len);
      Bytes key_arg = key, msg_arg = msg;
      ASSERT_EQ(mac(msg_arg, key_arg), openssl_hmac_sha1(msg, key))
          << "key " << key_len << ", message " << msg_len;
      ASSERT_EQ(key_arg, key);
      ASSERT_EQ(msg_arg, msg);
    }
  }
}

// A long key is replaced by its digest; an empty key (null allowed) is an
// all-zero key block; an empty message (null allowed) is a message.
TEST_P(HmacSha1, KeyAndMessageEdgeCases) {
  std::mt19937 rng(3);
  const Bytes msg = random_bytes(rng, 77);
  const Bytes key65 = random_bytes(rng, 65);
  EXPECT_EQ(mac(msg, key65), mac(msg, norvek_test::openssl_sha1(key65)));

  Bytes out(20);
  norvek_crypto_hmac_sha1_KQZP(msg.data(), msg.size(), nullptr, 0, out.data());
  EXPECT_EQ(out, mac(msg, Bytes(64, 0)));

  const Bytes key = bytes_of("key");
  norvek_crypto_hmac_sha1_KQZP(nullptr, 0, key.data(), key.size(), out.data());
  // Widely published value of HMAC-SHA1 under the key "key" over "".
  EXPECT_EQ(out, from_hex("f42bb0eeb018ebbd4597ae7213711ec60760843f"));
}

// The message is absorbed and the key copied into the pads before the first
// byte of the output is written.
TEST_P(HmacSha1, OutputMayAliasTheMessageOrTheKey) {
  std::mt19937 rng(1);
  for (size_t n : {20, 21, 40, 64, 65, 100}) {
    Bytes buf = random_bytes(rng, n);
    const Bytes other = random_bytes(rng, 33);
    Bytes want = openssl_hmac_sha1(buf, other);
    norvek_crypto_hmac_sha1_KQZP(buf.data(), buf.size(), other.data(), other.size(), buf.data());
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 20), want) << n << "-byte message";

    buf = random_bytes(rng, n);
    want = openssl_hmac_sha1(other, buf);
    norvek_crypto_hmac_sha1_KQZP(other.data(), other.size(), buf.data(), buf.size(), buf.data());
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 20), want) << n << "-byte key";
  }
}

TEST_P(HmacSha1, WritesExactlyTwentyBytes) {
  uint8_t out[40];
  std::memset(out, 0xEE, sizeof out);
  norvek_crypto_hmac_sha1_KQZP(reinterpret_cast<const uint8_t*>("m"), 1,
                               reinterpret_cast<const uint8_t*>("k"), 1, out + 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  for (int i = 30; i < 40; ++i) EXPECT_EQ(out[i], 0xEE) << i;
}

}  // namespace
