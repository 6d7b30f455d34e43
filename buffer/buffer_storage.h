// Internal: taking and handing over a buffer's storage for the library's own
// units, so that results written in full are not zero-filled first and a
// finished result moves into its output instead of being copied. Not
// installed.
#pragma once

#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "../crypto/secure_wipe.h"
#include "norvek/buffer.h"
#include "norvek_platform/objc_runtime.h"

namespace {

// From this size on, glibc's allocator maps every area afresh and unmaps it
// when it is freed (it is past the largest threshold up to which freed areas
// are kept for reuse), so every such result is faulted in anew; in 4 KiB
// pages that costs several times the work done in the area. Huge pages cut
// the faults 512-fold. Advice only: where it is refused nothing changes.
constexpr uint64_t kHugePageAdviceMinimum = uint64_t{32} << 20;

inline void norvek_buffer_advise_huge_pages(uint8_t* area, uint64_t size) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (size < kHugePageAdviceMinimum) return;
  const long page_size = sysconf(_SC_PAGESIZE);
  if (page_size <= 0) return;
  const auto page = static_cast<uint64_t>(page_size);
  // Only whole pages of the area itself: from its first page boundary on.
  const uint64_t head = (page - reinterpret_cast<uintptr_t>(area) % page) % page;
  const uint64_t length = (size - head) & ~(page - 1);
  if (length != 0) (void)madvise(area + head, length, MADV_HUGEPAGE);
#else
  (void)area;
  (void)size;
#endif
}

// Storage for `size` bytes, taken as the buffer takes it; allocation failure
// is raised at once, never returned. The bytes are not initialised.
inline uint8_t* norvek_buffer_allocate(uint64_t size) {
  uint8_t* p = new (std::nothrow) uint8_t[size];
  if (p == nullptr) objc_exception_throw(objc_retainAutorelease(NSMallocException));
  norvek_buffer_advise_huge_pages(p, size);
  return p;
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
