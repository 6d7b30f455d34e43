// Internal: wiping key material and plaintext so the stores survive
// optimisation. Shared by the library's units; not installed.
#pragma once

#include <cstddef>
#include <cstring>

namespace {

// Zeroes `size` bytes at `area` (null or 0: nothing) with stores the
// optimiser cannot drop as dead (the same idea as explicit_bzero, which
// Apple's libc lacks). Small areas take 16-byte stores in a loop the compiler
// may unroll but not turn into `rep stos`, whose start-up would cost more than
// the stores (round keys, digests, pads); large ones take memset.
inline void norvek_secure_wipe(void* area, std::size_t size) noexcept {
  if (area == nullptr || size == 0) return;
  auto* p = static_cast<unsigned char*>(area);
  if (size >= 512) {
    std::memset(p, 0, size);
  } else if (size >= 16) {
    // typedef, not using: clang drops aligned(1) from an alias declaration.
    typedef unsigned long long Chunk __attribute__((vector_size(16), aligned(1), may_alias));
    static_assert(alignof(Chunk) == 1, "the area may have any alignment");
    std::size_t i = 0;
    for (; i + 16 <= size; i += 16) {
      *reinterpret_cast<Chunk*>(p + i) = Chunk{0, 0};
      __asm__ __volatile__("" : "+r"(p));  // an opaque base keeps this a loop of stores
    }
    if (i != size) *reinterpret_cast<Chunk*>(p + size - 16) = Chunk{0, 0};  // overlapping tail
  } else {
    for (std::size_t i = 0; i < size; ++i) {
      p[i] = 0;
      __asm__ __volatile__("" : "+r"(p));
    }
  }
  __asm__ __volatile__("" : : "r"(area) : "memory");
}

// Clears the stack area just below the caller's frame, where a callee that
// has returned left what it spilled from registers (round-key words of the
// table path). Covers callee frames up to 2 KiB.
__attribute__((noinline)) inline void norvek_wipe_stack_below() noexcept {
  unsigned char area[2048];
  norvek_secure_wipe(area, sizeof area);
}

}  // namespace
