// Copies between CNorVekXBuffer and NSData: norvek_crypto_NSData2Buffer and
// norvek_crypto_Buffer2NSData.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "norvek/buffer.h"

namespace {

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::norvek_crypto_Buffer2NSData;
using NorvekCryptoSpace::norvek_crypto_NSData2Buffer;
using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const NSData& d) {
  const auto* p = static_cast<const uint8_t*>(d.bytes());
  return d.length() == 0 ? Bytes{} : Bytes(p, p + d.length());
}

Bytes bytes_of(const CNorVekXBuffer& b) {
  return b.m_nSize == 0 ? Bytes{} : Bytes(b.m_pData, b.m_pData + b.m_nSize);
}

TEST(DataToBuffer, NilAndEmptyGiveABufferWithoutStorage) {
  for (const NSData& d : {NSData(), NSData::dataWithBytes(nullptr, 0)}) {
    const CNorVekXBuffer b = norvek_crypto_NSData2Buffer(d);
    EXPECT_EQ(b.m_pData, nullptr);
    EXPECT_EQ(b.m_nSize, 0u);
  }
}

TEST(DataToBuffer, CopiesTheBytesZerosIncluded) {
  const uint8_t bytes[] = {0x00, 0xFF, 0x10};
  const NSData d = NSData::dataWithBytes(bytes, 3);
  CNorVekXBuffer b = norvek_crypto_NSData2Buffer(d);
  EXPECT_EQ(bytes_of(b), (Bytes{0x00, 0xFF, 0x10}));
  EXPECT_NE(static_cast<const void*>(b.m_pData), d.bytes());
  b.setAt(1, 0x77);  // the data object does not see it
  EXPECT_EQ(bytes_of(d), (Bytes{0x00, 0xFF, 0x10}));
}

TEST(DataToBuffer, ReadsAMutableDataObject) {
  NSMutableData m = NSMutableData::data();
  m.setLength(4);
  std::memcpy(m.mutableBytes(), "\x01\x02\x03\x04", 4);
  EXPECT_EQ(bytes_of(norvek_crypto_NSData2Buffer(m)), (Bytes{1, 2, 3, 4}));
}

TEST(BufferToData, EmptyBuffersGiveNil) {
  EXPECT_TRUE(norvek_crypto_Buffer2NSData(CNorVekXBuffer()).isNil());
  EXPECT_TRUE(norvek_crypto_Buffer2NSData(CNorVekXBuffer(uint64_t{0})).isNil());
  CNorVekXBuffer shrunk(uint64_t{4});
  shrunk.resize(0);  // storage kept, length 0
  EXPECT_TRUE(norvek_crypto_Buffer2NSData(shrunk).isNil());
}

TEST(BufferToData, CopiesTheBytes) {
  const uint8_t bytes[] = {0x01, 0x02, 0x03};
  CNorVekXBuffer b(bytes, 3);
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
    Bytes in(n);
    for (auto& x : in) x = static_cast<uint8_t>(rng());
    const CNorVekXBuffer b(in.data(), n);
    const NSData d = norvek_crypto_Buffer2NSData(b);
    const CNorVekXBuffer back = norvek_crypto_NSData2Buffer(d);
    EXPECT_TRUE(back.compare(b)) << n;
    const NSData again = norvek_crypto_Buffer2NSData(back);
    EXPECT_EQ(bytes_of(again), in);
    EXPECT_NE(again, d);  // a new object each time
  }
}

}  // namespace
