// CNorVekXBuffer: sizing, deep copy, resize, range checks, append, compare,
// the zero-terminated copy and allocation failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>

#include "norvek/buffer.h"
#include "norvek/crypto_helper.h"
#include "norvek_platform/objc_runtime.h"
#include "test_util.h"

namespace {

using norvek_test::buffer_of;
using norvek_test::Bytes;
using norvek_test::bytes_of;
using NorvekCryptoSpace::CNorVekXBuffer;

// More than any allocator will give.
constexpr uint64_t kImpossible = UINT64_MAX / 2;

// Runs `f`, expecting the platform's allocation failure.
template <typename F>
void expect_malloc_exception(F f) {
  EXPECT_EQ(norvek_test::raised_name(f), "NSMallocException");
}

// A stand-in that claims an impossible length; cleared before it is destroyed.
struct HugeBuffer {
  uint8_t byte = 0;
  CNorVekXBuffer b;
  explicit HugeBuffer(uint64_t size = kImpossible) {
    b.m_pData = &byte;
    b.m_nSize = size;
  }
  ~HugeBuffer() {
    b.m_pData = nullptr;
    b.m_nSize = 0;
  }
};

TEST(BufferConstruct, EmptyForms) {
  CNorVekXBuffer none;
  EXPECT_EQ(none.m_pData, nullptr);
  EXPECT_EQ(none.m_nSize, 0u);
  none.clear();
  EXPECT_EQ(none.m_pData, nullptr);

  CNorVekXBuffer zero(uint64_t{0});
  EXPECT_NE(zero.m_pData, nullptr);  // a zero-byte allocation, still empty
  // Every empty form answers alike.
  for (CNorVekXBuffer* b : {&none, &zero}) {
    EXPECT_EQ(b->m_nSize, 0u);
    EXPECT_EQ(b->getAt(0), 0xFF);
    EXPECT_EQ(b->setAt(0, 1), -1);
    EXPECT_TRUE(b->compare(CNorVekXBuffer()));
    EXPECT_TRUE(b->compare(CNorVekXBuffer(uint64_t{0})));
  }
  EXPECT_EQ(CNorVekXBuffer("").m_nSize, 0u);
  // A null string (the UTF-8 form of a nil string object) must not crash.
  EXPECT_EQ(CNorVekXBuffer(static_cast<const char*>(nullptr)).m_nSize, 0u);
  EXPECT_EQ(CNorVekXBuffer(nullptr, 0).m_nSize, 0u);
  EXPECT_EQ(CNorVekXBuffer(none).m_nSize, 0u);
}

TEST(BufferConstruct, SizeStringBytesAndCopy) {
  EXPECT_EQ(bytes_of(CNorVekXBuffer(uint64_t{5})), Bytes(5, 0));
  EXPECT_EQ(bytes_of(CNorVekXBuffer("abc")), (Bytes{0x61, 0x62, 0x63}));
  EXPECT_EQ(CNorVekXBuffer("ab\0cd").m_nSize, 2u);  // stops at the first zero

  Bytes source = {1, 0, 2, 0xFF};
  CNorVekXBuffer b(source.data(), source.size());
  source[0] = 9;
  EXPECT_EQ(bytes_of(b), (Bytes{1, 0, 2, 0xFF}));

  CNorVekXBuffer copy(b);
  EXPECT_NE(copy.m_pData, b.m_pData);
  copy.setAt(0, 7);
  EXPECT_EQ(b.getAt(0), 1);
  EXPECT_EQ(bytes_of(copy), (Bytes{7, 0, 2, 0xFF}));
}

TEST(BufferAssign, DeepCopySelfAndRelease) {
  CNorVekXBuffer a = buffer_of({1, 2, 3});
  CNorVekXBuffer b = buffer_of({9});
  b = a;
  EXPECT_EQ(bytes_of(b), (Bytes{1, 2, 3}));
  EXPECT_NE(b.m_pData, a.m_pData);
  b.setAt(1, 0);
  EXPECT_EQ(a.getAt(1), 2);

  const uint8_t* storage = a.m_pData;
  CNorVekXBuffer& self = a;
  a = self;
  EXPECT_EQ(a.m_pData, storage);
  EXPECT_EQ(bytes_of(a), (Bytes{1, 2, 3}));

  a = CNorVekXBuffer();
  EXPECT_EQ(a.m_nSize, 0u);
  EXPECT_EQ(a.getAt(0), 0xFF);

  // A second release does nothing.
  for (int i = 0; i < 2; ++i) {
    b.release();
    EXPECT_EQ(b.m_pData, nullptr);
    EXPECT_EQ(b.m_nSize, 0u);
  }
}

TEST(BufferResize, ShrinkKeepsStorageGrowZeroFills) {
  CNorVekXBuffer b = buffer_of({1, 2, 3, 4});
  const uint8_t* storage = b.m_pData;
  b.resize(4);
  EXPECT_EQ(b.m_pData, storage);
  b.resize(2);
  EXPECT_EQ(bytes_of(b), (Bytes{1, 2}));
  EXPECT_EQ(b.m_pData, storage);
  // The dropped bytes are zeroed in place.
  EXPECT_EQ(storage[2], 0);
  EXPECT_EQ(storage[3], 0);
  b.resize(4);
  EXPECT_EQ(bytes_of(b), (Bytes{1, 2, 0, 0}));
  // Growth always takes new storage, taken while the old one is still held.
  EXPECT_NE(b.m_pData, storage);

  storage = b.m_pData;
  b.clear();
  EXPECT_EQ(bytes_of(b), Bytes(4, 0));
  EXPECT_EQ(b.m_pData, storage);
  b.resize(0);
  EXPECT_EQ(b.m_nSize, 0u);
  EXPECT_EQ(b.m_pData, storage);

  CNorVekXBuffer none;
  none.resize(0);
  EXPECT_EQ(none.m_pData, nullptr);
  none.resize(3);
  EXPECT_EQ(bytes_of(none), Bytes(3, 0));
}

TEST(BufferAccess, RangeChecks) {
  CNorVekXBuffer b = buffer_of({0x10, 0xFF});
  EXPECT_EQ(b.getAt(0), 0x10);
  EXPECT_EQ(b.getAt(1), 0xFF);
  EXPECT_EQ(b.getAt(2), 0xFF);
  EXPECT_EQ(b.getAt(UINT64_MAX), 0xFF);
  EXPECT_EQ(b.setAt(1, 0x20), 0);
  EXPECT_EQ(b.setAt(2, 0x30), -1);
  EXPECT_EQ(b.setAt(UINT64_MAX, 0x30), -1);
  EXPECT_EQ(bytes_of(b), (Bytes{0x10, 0x20}));
  // Out of range after a shrink, even though the storage is still there.
  b.resize(1);
  EXPECT_EQ(b.getAt(1), 0xFF);
  EXPECT_EQ(b.setAt(1, 1), -1);
}

TEST(BufferAppendCompare, Cases) {
  CNorVekXBuffer b = buffer_of({1, 2});
  EXPECT_EQ(&b.append(CNorVekXBuffer()), &b);
  EXPECT_EQ(bytes_of(b), (Bytes{1, 2}));
  b.append(buffer_of({3}));
  EXPECT_EQ(bytes_of(b), (Bytes{1, 2, 3}));
  CNorVekXBuffer empty;
  empty.append(buffer_of({4, 5}));
  EXPECT_EQ(bytes_of(empty), (Bytes{4, 5}));
  // Appending a buffer to itself doubles it.
  b.append(b);
  EXPECT_EQ(bytes_of(b), (Bytes{1, 2, 3, 1, 2, 3}));
  CNorVekXBuffer none;
  none.append(none);
  EXPECT_EQ(none.m_nSize, 0u);

  EXPECT_FALSE(buffer_of({1, 2}).compare(buffer_of({1, 2, 0})));
  EXPECT_FALSE(buffer_of({1, 2}).compare(buffer_of({1, 3})));
  EXPECT_TRUE(buffer_of({1, 2}).compare(buffer_of({1, 2})));
  // A shrunk buffer compares by its length, not by its storage.
  CNorVekXBuffer shrunk = buffer_of({1, 2, 3});
  shrunk.resize(0);
  EXPECT_TRUE(shrunk.compare(CNorVekXBuffer()));
}

TEST(BufferToString, AddsOneCountedZero) {
  const CNorVekXBuffer abc("abc");
  EXPECT_EQ(bytes_of(abc.toStringBuffer()), (Bytes{0x61, 0x62, 0x63, 0x00}));
  EXPECT_EQ(abc.m_nSize, 3u);
  EXPECT_EQ(bytes_of(CNorVekXBuffer().toStringBuffer()), Bytes{0});
}

TEST(BufferAllocationFailure, ConstructionRaisesNSMallocException) {
  expect_malloc_exception([] { CNorVekXBuffer b(kImpossible); });
  // A C++ caller may catch it as std::bad_alloc.
  EXPECT_THROW(CNorVekXBuffer b(kImpossible), std::bad_alloc);
  // The copy step fails before reading the source.
  uint8_t byte = 1;
  expect_malloc_exception([&] { CNorVekXBuffer b(&byte, kImpossible); });
  HugeBuffer huge;
  expect_malloc_exception([&] { CNorVekXBuffer copy(huge.b); });
}

TEST(BufferAllocationFailure, ResizeKeepsAssignmentEmpties) {
  CNorVekXBuffer b = buffer_of({1, 2, 3});
  const uint8_t* storage = b.m_pData;
  HugeBuffer huge;
  expect_malloc_exception([&] { b.resize(kImpossible); });
  expect_malloc_exception([&] { b.append(huge.b); });  // grows through resize
  EXPECT_EQ(b.m_pData, storage);
  EXPECT_EQ(bytes_of(b), (Bytes{1, 2, 3}));

  expect_malloc_exception([&] { b = huge.b; });
  EXPECT_EQ(b.m_pData, nullptr);
  EXPECT_EQ(b.m_nSize, 0u);
  b = buffer_of({4});  // still usable
  EXPECT_EQ(bytes_of(b), Bytes{4});
}

// Lengths whose result size (n + 1, 2n + 1, 4 * ceil(n / 3) + 1, n + pad,
// the sum of two lengths) does not fit 64 bits: the size wraps to a small
// one. Each operation must raise as for any size no allocator gives, never
// take the wrapped size and write or read past it, nor hand back bytes it
// never wrote.
TEST(BufferAllocationFailure, ResultSizesPastSixtyFourBitsRaise) {
  const CNorVekXBuffer key = buffer_of(Bytes(16, 0x4B));
  const struct {
    const char* name;
    std::function<void(const CNorVekXBuffer&)> call;
  } ops[] = {
      {"toStringBuffer", [](const CNorVekXBuffer& in) { in.toStringBuffer(); }},
      {"Bin2Hex", [](const CNorVekXBuffer& in) { NorvekCryptoSpace::norvek_crypto_Bin2Hex(in); }},
      {"EncodeBase64",
       [](const CNorVekXBuffer& in) { NorvekCryptoSpace::norvek_crypto_EncodeBase64(in); }},
      {"Encrypt",
       [&](const CNorVekXBuffer& in) {
         CNorVekXBuffer cipher;
         NorvekCryptoSpace::CNorVekXCryptoHelper::Encrypt(key, in, cipher);
       }},
      {"Encrypt into a held output",
       [&](const CNorVekXBuffer& in) {
         CNorVekXBuffer cipher = buffer_of(Bytes(48, 1));
         NorvekCryptoSpace::CNorVekXCryptoHelper::Encrypt(key, in, cipher);
       }},
      {"append",
       [](const CNorVekXBuffer& in) {
         CNorVekXBuffer b = buffer_of({1, 2, 3});
         b.append(in);
       }},
  };
  const uint64_t sizes[] = {UINT64_MAX,        UINT64_MAX - 1,          UINT64_MAX - 15,
                            uint64_t{1} << 63, (uint64_t{1} << 63) + 1, uint64_t{3} << 62};
  for (const auto& op : ops) {
    for (const uint64_t n : sizes) {
      SCOPED_TRACE(testing::Message() << op.name << ", n = " << n);
      HugeBuffer huge(n);
      expect_malloc_exception([&] { op.call(huge.b); });
    }
  }
}

}  // namespace
