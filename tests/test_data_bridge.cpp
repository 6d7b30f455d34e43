// Copies between CNorVekXBuffer and NSData: norvek_crypto_NSData2Buffer and
// norvek_crypto_Buffer2NSData.
#include <gtest/gtest.h>

#include <random>

#include "norvek/buffer.h"
#include "test_util.h"

namespace {

using namespace norvek_test;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::norvek_crypto_Buffer2NSData;
using NorvekCryptoSpace::norvek_crypto_NSData2Buffer;

TEST(DataToBuffer, NilAndEmptyGiveABufferWithoutStorage) {
  for (const NSData& d : {NSData(), data_of(Bytes{})}) {
    const CNorVekXBuffer b = norvek_crypto_NSData2Buffer(d);
    EXPECT_EQ(b.m_pData, nullptr);
    EXPECT_EQ(b.m_nSize, 0u);
  }
}

TEST(DataToBuffer, CopiesTheBytesZerosIncluded) {
  const NSData d = data_of(Bytes{0x00, 0xFF, 0x10});
  CNorVekXBuffer b = norvek_crypto_NSData2Buffer(d);
  EXPECT_EQ(bytes_of(b), (Bytes{0x00, 0xFF, 0x10}));
  EXPECT_NE(static_cast<const void*>(b.m_pData), d.bytes());
  b.setAt(1, 0x77);  // the data object does not see it
  EXPECT_EQ(bytes_of(d), (Bytes{0x00, 0xFF, 0x10}));
}

TEST(BufferToData, EmptyBuffersGiveNil) {
  EXPECT_TRUE(norvek_crypto_Buffer2NSData(CNorVekXBuffer()).isNil());
  EXPECT_TRUE(norvek_crypto_Buffer2NSData(CNorVekXBuffer(uint64_t{0})).isNil());
  CNorVekXBuffer shrunk(uint64_t{4});
  shrunk.resize(0);  // storage kept, length 0
  EXPECT_TRUE(norvek_crypto_Buffer2NSData(shrunk).isNil());
}

TEST(BufferToData, CopiesTheBytes) {
  CNorVekXBuffer b = buffer_of({0x01, 0x02, 0x03});
  const NSData d = norvek_crypto_Buffer2NSData(b);
  ASSERT_FALSE(d.isNil());
  EXPECT_EQ(bytes_of(d), (Bytes{1, 2, 3}));
  EXPECT_NE(d.bytes(), static_cast<const void*>(b.m_pData));
  b.setAt(0, 0x99);
  b.resize(1);
  EXPECT_EQ(bytes_of(d), (Bytes{1, 2, 3}));
}

TEST(Bridging, RoundTripsBothWays) {
  std::mt19937 rng(0xDA7A);
  for (size_t n = 1; n <= 300; n += 7) {
    const Bytes in = random_bytes(rng, n);
    const NSData d = norvek_crypto_Buffer2NSData(buffer_of(in));
    const CNorVekXBuffer back = norvek_crypto_NSData2Buffer(d);
    EXPECT_EQ(bytes_of(back), in) << n;
    const NSData again = norvek_crypto_Buffer2NSData(back);
    EXPECT_EQ(bytes_of(again), in);
    EXPECT_NE(again, d);  // a new object each time
  }
}

}  // namespace
