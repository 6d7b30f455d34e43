// Internal: taking and handing over a buffer's storage for the library's own
// units, so that results written in full are not zero-filled first and a
// finished result moves into its output instead of being copied. Not
// installed.
#pragma once

#include <cstdint>
#include <new>

#include "../crypto/secure_wipe.h"
#include "norvek/buffer.h"
#include "norvek_platform/objc_runtime.h"

namespace {

// Storage for `size` bytes, taken as the buffer takes it; allocation failure
// is raised at once, never returned. The bytes are not initialised.
inline uint8_t* norvek_buffer_allocate(uint64_t size) {
  uint8_t* p = new (std::nothrow) uint8_t[size];
  if (p == nullptr) objc_exception_throw(objc_retainAutorelease(NSMallocException));
  return p;
}

// The size of a result of `count` units of `unit` bytes and `extra` bytes
// more. A size past 64 bits is more than any allocator gives and is raised as
// such, never wrapped to a small one.
inline uint64_t norvek_buffer_size(uint64_t count, uint64_t unit, uint64_t extra) {
  if (count > (UINT64_MAX - extra) / unit) {
    objc_exception_throw(objc_retainAutorelease(NSMallocException));
  }
  return count * unit + extra;
}

// Hands `area` (from norvek_buffer_allocate, `size` bytes, every one of them
// written) to `buf`, whose own storage is wiped and given back first.
inline void norvek_buffer_adopt(NorvekCryptoSpace::CNorVekXBuffer& buf, uint8_t* area,
                                uint64_t size) noexcept {
  buf.release();
  buf.m_pData = area;
  buf.m_nSize = size;
}

// Moves `from`'s storage into `to` (whose own is wiped and given back) and
// leaves `from` without storage: no bytes are copied.
inline void norvek_buffer_move(NorvekCryptoSpace::CNorVekXBuffer& to,
                               NorvekCryptoSpace::CNorVekXBuffer& from) noexcept {
  if (&to == &from) return;
  norvek_buffer_adopt(to, from.m_pData, from.m_nSize);
  from.m_pData = nullptr;
  from.m_nSize = 0;
}

}  // namespace
