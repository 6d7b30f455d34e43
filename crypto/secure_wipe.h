// Internal: wiping key material and plaintext so the stores survive
// optimisation. Shared by the library's units; not installed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>

#include "cpu_features.h"

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

#if defined(__x86_64__)
// Whether xmm16-31 exist: -1 until the first clear asks CPUID.
inline constinit std::atomic<int> g_norvek_evex{-1};

__attribute__((noinline)) inline bool norvek_detect_evex() noexcept {
  const bool evex = norvek_detect_cpu_features().evex;
  g_norvek_evex.store(evex ? 1 : 0, std::memory_order_relaxed);
  return evex;
}
#endif

// EVEX writes to xmm16-31, each of which zeroes all of zmmN; the arguments
// are the clobbers. The 128-bit forms need AVX512VL: code built for
// AVX512F alone (Xeon Phi) gets the 512-bit ones, which AVX512F has.
#if defined(__AVX512F__) && !defined(__AVX512VL__)
#define NORVEK_EVEX_ZERO(n) "vpxord %%zmm" #n ", %%zmm" #n ", %%zmm" #n "\n\t"
#else
#define NORVEK_EVEX_ZERO(n) "vpxord %%xmm" #n ", %%xmm" #n ", %%xmm" #n "\n\t"
#endif
#define NORVEK_CLEAR_XMM16_31(...)                                                                \
  __asm__ volatile(NORVEK_EVEX_ZERO(16) NORVEK_EVEX_ZERO(17) NORVEK_EVEX_ZERO(18)                 \
                       NORVEK_EVEX_ZERO(19) NORVEK_EVEX_ZERO(20) NORVEK_EVEX_ZERO(21)             \
                           NORVEK_EVEX_ZERO(22) NORVEK_EVEX_ZERO(23) NORVEK_EVEX_ZERO(24)         \
                               NORVEK_EVEX_ZERO(25) NORVEK_EVEX_ZERO(26) NORVEK_EVEX_ZERO(27)     \
                                   NORVEK_EVEX_ZERO(28) NORVEK_EVEX_ZERO(29) NORVEK_EVEX_ZERO(30) \
                                       NORVEK_EVEX_ZERO(31)                                       \
                   :                                                                              \
                   :                                                                              \
                   : __VA_ARGS__)

// Zeroes the scratch general-purpose registers: the calling convention lets
// a function leave them dirty, and the lazy-binding trampoline of the next
// call through the PLT stores the argument ones below the caller.
inline void norvek_clear_scratch_gprs() noexcept {
#if defined(__x86_64__)
  __asm__ volatile(
      "xorl %%eax, %%eax\n\txorl %%ecx, %%ecx\n\txorl %%edx, %%edx\n\txorl %%esi, %%esi\n\t"
      "xorl %%edi, %%edi\n\txorl %%r8d, %%r8d\n\txorl %%r9d, %%r9d\n\txorl %%r10d, %%r10d\n\t"
      "xorl %%r11d, %%r11d"
      :
      :
      : "rax", "rcx", "rdx", "rsi", "rdi", "r8", "r9", "r10", "r11", "cc", "memory");
#elif defined(__aarch64__)
  __asm__ volatile(
      "mov x0, xzr\n\tmov x1, xzr\n\tmov x2, xzr\n\tmov x3, xzr\n\tmov x4, xzr\n\t"
      "mov x5, xzr\n\tmov x6, xzr\n\tmov x7, xzr\n\tmov x8, xzr\n\tmov x9, xzr\n\t"
      "mov x10, xzr\n\tmov x11, xzr\n\tmov x12, xzr\n\tmov x13, xzr\n\tmov x14, xzr\n\t"
      "mov x15, xzr\n\tmov x16, xzr\n\tmov x17, xzr"
      :
      :
      : "x0", "x1", "x2", "x3", "x4", "x5", "x6", "x7", "x8", "x9", "x10", "x11", "x12", "x13",
        "x14", "x15", "x16", "x17", "memory");
#endif
}

// Zeroes the vector registers, and the scratch general-purpose ones, that
// the calling convention lets a function leave dirty. Keys and states held
// there outlive the call otherwise, and whatever saves them next (a
// lazy-binding trampoline, a signal frame) copies them to memory. Called last
// by every path that loads keys or keyed states into registers, as OpenSSL's
// AES-NI code does for the vector ones. Zero idioms: no execution unit, no
// dependency.
inline void norvek_clear_registers() noexcept {
  norvek_clear_scratch_gprs();
#if defined(__x86_64__)
  // The upper halves of ymm0-15 are clean: 256-bit code ends with vzeroupper.
  __asm__ volatile(
      "pxor %%xmm0, %%xmm0\n\tpxor %%xmm1, %%xmm1\n\tpxor %%xmm2, %%xmm2\n\t"
      "pxor %%xmm3, %%xmm3\n\tpxor %%xmm4, %%xmm4\n\tpxor %%xmm5, %%xmm5\n\t"
      "pxor %%xmm6, %%xmm6\n\tpxor %%xmm7, %%xmm7\n\tpxor %%xmm8, %%xmm8\n\t"
      "pxor %%xmm9, %%xmm9\n\tpxor %%xmm10, %%xmm10\n\tpxor %%xmm11, %%xmm11\n\t"
      "pxor %%xmm12, %%xmm12\n\tpxor %%xmm13, %%xmm13\n\tpxor %%xmm14, %%xmm14\n\t"
      "pxor %%xmm15, %%xmm15"
      :
      :
      : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",
        "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory");
#if defined(__AVX512F__)
  // Built for AVX-512: the compiler may have used xmm16-31 too.
  NORVEK_CLEAR_XMM16_31("xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21", "xmm22", "xmm23",
                        "xmm24", "xmm25", "xmm26", "xmm27", "xmm28", "xmm29", "xmm30", "xmm31",
                        "memory");
#endif
#elif defined(__aarch64__)
  // v8-v15 keep only their low halves across calls: the compiler saves and
  // restores those around this, and the upper halves go to zero.
  __asm__ volatile(
      "movi v0.16b, #0\n\tmovi v1.16b, #0\n\tmovi v2.16b, #0\n\tmovi v3.16b, #0\n\t"
      "movi v4.16b, #0\n\tmovi v5.16b, #0\n\tmovi v6.16b, #0\n\tmovi v7.16b, #0\n\t"
      "movi v8.16b, #0\n\tmovi v9.16b, #0\n\tmovi v10.16b, #0\n\tmovi v11.16b, #0\n\t"
      "movi v12.16b, #0\n\tmovi v13.16b, #0\n\tmovi v14.16b, #0\n\tmovi v15.16b, #0\n\t"
      "movi v16.16b, #0\n\tmovi v17.16b, #0\n\tmovi v18.16b, #0\n\tmovi v19.16b, #0\n\t"
      "movi v20.16b, #0\n\tmovi v21.16b, #0\n\tmovi v22.16b, #0\n\tmovi v23.16b, #0\n\t"
      "movi v24.16b, #0\n\tmovi v25.16b, #0\n\tmovi v26.16b, #0\n\tmovi v27.16b, #0\n\t"
      "movi v28.16b, #0\n\tmovi v29.16b, #0\n\tmovi v30.16b, #0\n\tmovi v31.16b, #0"
      :
      :
      : "v0", "v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11", "v12", "v13",
        "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22", "v23", "v24", "v25", "v26",
        "v27", "v28", "v29", "v30", "v31", "memory");
#endif
}

#if defined(__x86_64__) && !defined(__AVX512F__)
// Out of line: a caller built for AVX-512 (this code inlined there by
// link-time optimisation, say) may hold values in xmm16-31, and keeps none
// across a call, which clobbers them all.
// GCOVR_EXCL_START: run or not by the CPU at hand
__attribute__((noinline, target("avx512f,avx512vl"))) inline void norvek_clear_xmm16_31() noexcept {
  NORVEK_CLEAR_XMM16_31("xmm16", "xmm17", "xmm18", "xmm19", "xmm20", "xmm21", "xmm22", "xmm23",
                        "xmm24", "xmm25", "xmm26", "xmm27", "xmm28", "xmm29", "xmm30", "xmm31",
                        "memory");
}
// GCOVR_EXCL_STOP
#endif

// The same, for code that has passed keys or keyed states through libc's
// memcpy or memset: where AVX-512 is present those use ymm16-31 and leave
// them dirty (they need no vzeroupper there). Asks CPUID once.
inline void norvek_clear_registers_after_libc() noexcept {
  norvek_clear_registers();
#if defined(__x86_64__) && !defined(__AVX512F__)
  // GCOVR_EXCL_START: taken or not by the CPU at hand
  const int evex = g_norvek_evex.load(std::memory_order_relaxed);
  if (evex == 1 || (evex < 0 && norvek_detect_evex())) norvek_clear_xmm16_31();
    // GCOVR_EXCL_STOP
#endif
}

#undef NORVEK_CLEAR_XMM16_31
#undef NORVEK_EVEX_ZERO

// Clears the stack area just below the caller's frame, where a callee that
// has returned left what it spilled from registers (round-key words of the
// table path, SHA-1 chaining words). Covers callee frames up to `Bytes`,
// red zone included.
template <std::size_t Bytes = 2048>
__attribute__((noinline)) void norvek_wipe_stack_below_impl() noexcept {
  unsigned char area[Bytes];
  norvek_secure_wipe(area, sizeof area);
}

// Not a tail call: the caller's frame stays, so the area starts where the
// callee's frame did rather than one frame higher.
// The callee's words may still be in scratch registers too.
template <std::size_t Bytes = 2048>
inline __attribute__((always_inline)) void norvek_wipe_stack_below() noexcept {
  norvek_wipe_stack_below_impl<Bytes>();
  norvek_clear_scratch_gprs();
}

}  // namespace
