// The byte buffer, its hexadecimal and Base64 conversions, and the bridge to
// platform data objects.
#include "norvek/buffer.h"

#include <cstring>

#include "../crypto/secure_wipe.h"
#include "buffer_storage.h"
#include "norvek/base64.h"

// Buffer sizes are 64-bit and reach new[], memcpy and memset as size_t.
static_assert(sizeof(size_t) == sizeof(uint64_t), "size_t must be 64 bits wide");

namespace NorvekCryptoSpace {

// ---------------------------------------------------------------------------
// CNorVekXBuffer

CNorVekXBuffer::CNorVekXBuffer() : m_pData(nullptr), m_nSize(0) {}

CNorVekXBuffer::CNorVekXBuffer(uint64_t size) : m_pData(nullptr), m_nSize(0) {
  m_pData = norvek_buffer_allocate(size);
  if (size != 0) std::memset(m_pData, 0, size);
  m_nSize = size;
}

CNorVekXBuffer::CNorVekXBuffer(const char* pData) : m_pData(nullptr), m_nSize(0) {
  // A null string (say, the UTF-8 form of a nil string object) reads as "".
  _copy(reinterpret_cast<const uint8_t*>(pData), pData != nullptr ? std::strlen(pData) : 0);
}

CNorVekXBuffer::CNorVekXBuffer(const uint8_t* pData, uint64_t size) : m_pData(nullptr), m_nSize(0) {
  _copy(pData, size);
}

CNorVekXBuffer::CNorVekXBuffer(const CNorVekXBuffer& rhs) : m_pData(nullptr), m_nSize(0) {
  _copy(rhs.m_pData, rhs.m_nSize);
}

CNorVekXBuffer::~CNorVekXBuffer() { release(); }

// Buffers carry keys and plaintext: storage is wiped before it is given back.
void CNorVekXBuffer::release() {
  if (m_pData == nullptr) return;
  norvek_secure_wipe(m_pData, m_nSize);
  delete[] m_pData;
  m_pData = nullptr;
  m_nSize = 0;
}

void CNorVekXBuffer::_copy(const uint8_t* pData, uint64_t size) {
  m_pData = norvek_buffer_allocate(size);
  if (size != 0) std::memcpy(m_pData, pData, size);
  m_nSize = size;
}

CNorVekXBuffer& CNorVekXBuffer::operator=(const CNorVekXBuffer& rhs) {
  if (&rhs == this) return *this;
  release();
  _copy(rhs.m_pData, rhs.m_nSize);
  return *this;
}

void CNorVekXBuffer::resize(uint64_t size) {
  if (size == m_nSize) return;
  if (size < m_nSize) {
    std::memset(m_pData + size, 0, m_nSize - size);
    m_nSize = size;
    return;
  }
  // Only the bytes past the old content are zeroed: one pass over the area.
  uint8_t* grown = norvek_buffer_allocate(size);
  if (m_nSize != 0) std::memcpy(grown, m_pData, m_nSize);
  std::memset(grown + m_nSize, 0, size - m_nSize);
  norvek_buffer_adopt(*this, grown, size);
}

void CNorVekXBuffer::clear() {
  if (m_nSize != 0) std::memset(m_pData, 0, m_nSize);
}

uint8_t CNorVekXBuffer::getAt(uint64_t i) const {
  if (m_pData == nullptr || i >= m_nSize) return 0xFF;
  return m_pData[i];
}

int32_t CNorVekXBuffer::setAt(uint64_t i, uint8_t c) {
  if (m_pData == nullptr || i >= m_nSize) return -1;
  m_pData[i] = c;
  return 0;
}

CNorVekXBuffer& CNorVekXBuffer::append(const CNorVekXBuffer& tail) {
  // Read the tail before resizing: when it is this buffer, resize moves it.
  const uint64_t tail_size = tail.m_nSize;
  const uint64_t old_size = m_nSize;
  resize(norvek_buffer_size(tail_size, 1, old_size));
  if (tail_size != 0) std::memmove(m_pData + old_size, tail.m_pData, tail_size);
  return *this;
}

bool CNorVekXBuffer::compare(const CNorVekXBuffer& rhs) const {
  if (m_nSize != rhs.m_nSize) return false;
  return m_nSize == 0 || std::memcmp(m_pData, rhs.m_pData, m_nSize) == 0;
}

CNorVekXBuffer CNorVekXBuffer::toStringBuffer() const {
  const uint64_t size = norvek_buffer_size(m_nSize, 1, 1);
  uint8_t* area = norvek_buffer_allocate(size);
  if (m_nSize != 0) std::memcpy(area, m_pData, m_nSize);
  area[m_nSize] = 0;
  CNorVekXBuffer result;
  norvek_buffer_adopt(result, area, size);
  return result;
}

// ---------------------------------------------------------------------------
// Hexadecimal and Base64 conversions
namespace {

// Hexadecimal digits are converted with arithmetic rather than tables, and
// every pair is read even after an invalid one: the time taken depends on the
// lengths and the validity of the text, not on the bytes (which may be key
// material).

// The value 0..15 of a hexadecimal digit in either case, with bit 4 set when
// `c` is not one.
constexpr uint32_t hex_digit_value(uint32_t c) {
  const uint32_t num = c ^ 0x30u;                                   // '0'..'9' -> 0..9
  const uint32_t alpha = (c & 0xDFu) - 0x37u;                       // 'A'..'F' -> 10..15
  const uint32_t is_num = (num - 10u) >> 31;                        // num < 10
  const uint32_t is_alpha = ((alpha - 10u) ^ (alpha - 16u)) >> 31;  // 10 <= alpha < 16
  return (num & (0u - is_num)) | (alpha & (0u - is_alpha)) | ((1u ^ (is_num | is_alpha)) << 4);
}

// The lower-case digit of a value 0..15: past '9' the digits jump to 'a'.
constexpr char hex_digit_char(uint32_t v) {
  return static_cast<char>(0x30u + v + ((0u - ((9u - v) >> 31)) & 39u));
}

}  // namespace

int32_t norvek_crypto_Hex2Bin(char* in, uint64_t inlen, uint8_t* out, uint64_t& outlen) {
  // outlen is the exact size expected, not a capacity.
  if (inlen % 2 != 0 || outlen != inlen / 2) return -1;
  if (in == nullptr || inlen == 0) {
    outlen = 0;
    return 0;
  }
  const unsigned char* s = reinterpret_cast<const unsigned char*>(in);
  // Every digit is checked first, so that a valid text (the usual case) is
  // decoded in one straight pass. The time then differs only with the answer.
  uint32_t any_bad = 0;
  for (uint64_t i = 0; i < inlen; ++i) any_bad |= hex_digit_value(s[i]);
  if ((any_bad >> 4) == 0) {
    for (uint64_t i = 0; i < inlen / 2; ++i) {
      const uint32_t high = hex_digit_value(s[2 * i]);
      out[i] = static_cast<uint8_t>((high << 4) | hex_digit_value(s[2 * i + 1]));
    }
    outlen = inlen / 2;
    return 0;
  }
  uint32_t failed = 0;  // 1 from the first invalid pair on
  uint64_t count = 0;
  for (uint64_t i = 0; i < inlen / 2; ++i) {
    const uint32_t high = hex_digit_value(s[2 * i]);
    const uint32_t low = hex_digit_value(s[2 * i + 1]);
    const uint32_t bad = (high | low) >> 4;
    // Up to the first invalid pair every byte is written; at it, a valid high
    // digit still lands in out[i] (uncounted); after it nothing changes.
    // Both digits are read before out[i] is written, so `out` may be `in`.
    const uint32_t keep = 0u - (failed | (high >> 4));
    const uint32_t value = (high << 4) | (low & (0u - (1u ^ bad)));
    out[i] = static_cast<uint8_t>((out[i] & keep) | (value & ~keep));
    count += 1u ^ (failed | bad);
    failed |= bad;
  }
  outlen = count;
  return -static_cast<int32_t>(failed);
}

int32_t norvek_crypto_Bin2Hex(const uint8_t* in, uint64_t inlen, char* out, uint64_t& outlen) {
  // Same test as 2 * inlen > outlen, without the overflow.
  if (inlen > outlen / 2) return -1;
  outlen = 0;
  if (in == nullptr || inlen == 0) return 0;
  for (uint64_t i = 0; i < inlen; ++i) {
    out[2 * i] = hex_digit_char(in[i] >> 4);
    out[2 * i + 1] = hex_digit_char(in[i] & 0x0Fu);
  }
  outlen = 2 * inlen;
  return 0;
}

namespace {

// The shape all four conversions share: a result area of `size` bytes, no
// more than the conversion can write (so that a large input does not take an
// area several times its size), filled by `convert` (an array-level codec),
// which leaves the length it wrote in the in/out count. The area is not
// zero-filled first: the trim to that count zeroes whatever lies past it.
template <class Convert>
CNorVekXBuffer convert_into(uint64_t size, Convert convert) {
  CNorVekXBuffer result;
  norvek_buffer_adopt(result, norvek_buffer_allocate(size), size);
  uint64_t outlen = size;
  convert(result.m_pData, outlen);
  result.resize(outlen < size ? outlen : size);
  return result;
}

}  // namespace

CNorVekXBuffer norvek_crypto_Hex2Bin(const CNorVekXBuffer& in) {
  const uint64_t n = in.m_nSize;
  // An odd length has no meaning; an empty result says so.
  if (n % 2 != 0) return CNorVekXBuffer();
  // On an invalid digit outlen counts the bytes completed before it. The
  // array codec keeps each output byte it does not complete, so it reads
  // them: they must hold a value, not whatever the allocator left.
  return convert_into(n / 2, [&](uint8_t* out, uint64_t& outlen) {
    if (outlen != 0) std::memset(out, 0, outlen);
    norvek_crypto_Hex2Bin(reinterpret_cast<char*>(in.m_pData), n, out, outlen);
  });
}

CNorVekXBuffer norvek_crypto_Bin2Hex(const CNorVekXBuffer& in) {
  const uint64_t n = in.m_nSize;
  // Two digits a byte, and a spare byte that reads zero after the text.
  return convert_into(norvek_buffer_size(n, 2, 1), [&](uint8_t* out, uint64_t& outlen) {
    norvek_crypto_Bin2Hex(in.m_pData, n, reinterpret_cast<char*>(out), outlen);
  });
}

CNorVekXBuffer norvek_crypto_DecodeBase64(const CNorVekXBuffer& in) {
  const uint64_t n = in.m_nSize;
  // At most three bytes per group of four characters, and one or two for a
  // final group of two or three.
  const uint64_t rest = n % 4;
  const uint64_t bound = 3 * (n / 4) + (rest > 1 ? rest - 1 : 0);
  return convert_into(bound, [&](uint8_t* out, uint64_t& outlen) {
    norvek_crypto_base64_decodeKQZP(reinterpret_cast<const char*>(in.m_pData), n, out, &outlen);
  });
}

CNorVekXBuffer norvek_crypto_EncodeBase64(const CNorVekXBuffer& in) {
  const uint64_t n = in.m_nSize;
  // One spare byte for the encoder's terminating zero, left outside the length.
  const uint64_t capacity = norvek_buffer_size(n / 3 + (n % 3 != 0 ? 1 : 0), 4, 1);
  return convert_into(capacity, [&](uint8_t* out, uint64_t& outlen) {
    norvek_crypto_base64_encodeKQZP(in.m_pData, n, reinterpret_cast<char*>(out), &outlen);
  });
}

void DumpBuffer(const CNorVekXBuffer& /*buf*/) {}

// ---------------------------------------------------------------------------
// Platform data objects

CNorVekXBuffer norvek_crypto_NSData2Buffer(const NSData& data) {
  const uint64_t n = data.length();
  if (n == 0) return CNorVekXBuffer();  // nil and empty alike: no storage
  return CNorVekXBuffer(static_cast<const uint8_t*>(data.bytes()), n);
}

NSData norvek_crypto_Buffer2NSData(const CNorVekXBuffer& buf) {
  if (buf.m_nSize == 0) return NSData();
  return NSData::alloc().initWithBytes(buf.m_pData, buf.m_nSize);
}

}  // namespace NorvekCryptoSpace
