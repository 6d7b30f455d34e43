// The byte buffer, its hexadecimal and Base64 conversions, and the bridge to
// platform data objects.
#include "norvek/buffer.h"

#include <cstring>
#include <new>

#include "norvek/base64.h"
#include "norvek_platform/objc_runtime.h"

namespace NorvekCryptoSpace {

namespace {

// Allocation failure is raised at once, never returned.
uint8_t* allocate_or_raise(uint64_t size) {
  uint8_t* p = new (std::nothrow) uint8_t[size];
  if (p == nullptr) objc_exception_throw(objc_retainAutorelease(NSMallocException));
  return p;
}

}  // namespace

// ---------------------------------------------------------------------------
// CNorVekXBuffer

CNorVekXBuffer::CNorVekXBuffer() : m_pData(nullptr), m_nSize(0) {}

CNorVekXBuffer::CNorVekXBuffer(uint64_t size) : m_pData(nullptr), m_nSize(0) {
  m_pData = allocate_or_raise(size);
  if (size != 0) std::memset(m_pData, 0, size);
  m_nSize = size;
}

CNorVekXBuffer::CNorVekXBuffer(const char* pData) : m_pData(nullptr), m_nSize(0) {
  _copy(reinterpret_cast<const uint8_t*>(pData), std::strlen(pData));
}

CNorVekXBuffer::CNorVekXBuffer(const uint8_t* pData, uint64_t size) : m_pData(nullptr), m_nSize(0) {
  _copy(pData, size);
}

CNorVekXBuffer::CNorVekXBuffer(const CNorVekXBuffer& rhs) : m_pData(nullptr), m_nSize(0) {
  _copy(rhs.m_pData, rhs.m_nSize);
}

CNorVekXBuffer::~CNorVekXBuffer() { release(); }

void CNorVekXBuffer::release() {
  if (m_pData == nullptr) return;
  delete[] m_pData;
  m_pData = nullptr;
  m_nSize = 0;
}

void CNorVekXBuffer::_copy(const uint8_t* pData, uint64_t size) {
  m_pData = allocate_or_raise(size);
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
  uint8_t* grown = allocate_or_raise(size);
  std::memset(grown, 0, size);
  if (m_pData != nullptr) {
    if (m_nSize != 0) std::memcpy(grown, m_pData, m_nSize);
    delete[] m_pData;
  }
  m_pData = grown;
  m_nSize = size;
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
  resize(old_size + tail_size);
  if (tail_size != 0) std::memmove(m_pData + old_size, tail.m_pData, tail_size);
  return *this;
}

bool CNorVekXBuffer::compare(const CNorVekXBuffer& rhs) const {
  if (m_nSize != rhs.m_nSize) return false;
  return m_nSize == 0 || std::memcmp(m_pData, rhs.m_pData, m_nSize) == 0;
}

CNorVekXBuffer CNorVekXBuffer::toStringBuffer() const {
  CNorVekXBuffer result(m_nSize + 1);
  if (m_nSize != 0) std::memcpy(result.m_pData, m_pData, m_nSize);
  return result;
}

// ---------------------------------------------------------------------------
// Hexadecimal and Base64 conversions
// (section: text encodings)

// ---------------------------------------------------------------------------
// Platform data objects
// (section: data-object bridging)

}  // namespace NorvekCryptoSpace
