// Internal: SHA-1 compression with the ARMv8 crypto extensions (SHA1C,
// SHA1P, SHA1M, SHA1H, SHA1SU0, SHA1SU1) through the ACLE intrinsics. g++
// compiles them under a function-level target attribute; clang (14) declares
// them only when the build itself targets the extensions, as Apple arm64
// builds do. Call only when the CPU has them (NorvekCpuFeatures::armv8_sha1).
//
// Constant-time: the instructions take data-independent time and nothing
// here branches on or indexes with the data.
#pragma once

#if defined(__aarch64__) && ((defined(__GNUC__) && !defined(__clang__)) || \
                             defined(__ARM_FEATURE_CRYPTO) || defined(__ARM_FEATURE_SHA2))
#define NORVEK_HAVE_SHA1_ARMV8 1
#include <arm_neon.h>

#include <cstddef>
#include <cstdint>

#include "secure_wipe.h"

#if defined(__clang__)
#define NV_ARMV8_TARGET
#else
#define NV_ARMV8_TARGET __attribute__((target("+crypto")))
#endif

namespace {
namespace sha1_armv8 {

NV_ARMV8_TARGET inline uint32x4_t load_bytes(const uint8_t* p) {
  return vreinterpretq_u32_u8(vrev32q_u8(vld1q_u8(p)));
}

// Four 64-bit words carrying 32-bit values: their low halves.
NV_ARMV8_TARGET inline uint32x4_t load_words(const uint64_t* w) {
  return vcombine_u32(vmovn_u64(vld1q_u64(w)), vmovn_u64(vld1q_u64(w + 2)));
}

// Rounds 4j..4j+3, then W(j+4) from W(j)..W(j+3) in place of W(j).
#define NV_ARMV8_GROUP(j, op, k)                                                            \
  do {                                                                                      \
    const uint32x4_t wk = vaddq_u32(m[(j)&3], vdupq_n_u32(k));                              \
    const uint32_t e_next = vsha1h_u32(vgetq_lane_u32(abcd, 0));                            \
    abcd = op(abcd, e, wk);                                                                 \
    e = e_next;                                                                             \
    if ((j) <= 15)                                                                          \
      m[(j)&3] = vsha1su1q_u32(vsha1su0q_u32(m[(j)&3], m[((j) + 1) & 3], m[((j) + 2) & 3]), \
                               m[((j) + 3) & 3]);                                           \
  } while (0)

#define NV_ARMV8_FIVE(j, op, k)   \
  NV_ARMV8_GROUP((j) + 0, op, k); \
  NV_ARMV8_GROUP((j) + 1, op, k); \
  NV_ARMV8_GROUP((j) + 2, op, k); \
  NV_ARMV8_GROUP((j) + 3, op, k); \
  NV_ARMV8_GROUP((j) + 4, op, k)

template <typename Load>
NV_ARMV8_TARGET __attribute__((always_inline)) inline void compress_blocks(uint32_t* h,
                                                                           const Load& load,
                                                                           size_t blocks) {
  uint32x4_t abcd = vld1q_u32(h);
  uint32_t e0 = h[4];
  for (size_t b = 0; b < blocks; ++b) {
    const uint32x4_t abcd_saved = abcd;
    uint32_t e = e0;
    uint32x4_t m[4] = {load(b, 0), load(b, 1), load(b, 2), load(b, 3)};
    NV_ARMV8_FIVE(0, vsha1cq_u32, 0x5A827999u);
    NV_ARMV8_FIVE(5, vsha1pq_u32, 0x6ED9EBA1u);
    NV_ARMV8_FIVE(10, vsha1mq_u32, 0x8F1BBCDCu);
    NV_ARMV8_FIVE(15, vsha1pq_u32, 0xCA62C1D6u);
    abcd = vaddq_u32(abcd, abcd_saved);
    e0 += e;
  }
  vst1q_u32(h, abcd);
  h[4] = e0;
  // The chaining value is HMAC's keyed state when the key is absorbed.
  norvek_clear_registers();
}

#undef NV_ARMV8_FIVE
#undef NV_ARMV8_GROUP

NV_ARMV8_TARGET inline void compress_bytes(uint32_t* h, const uint8_t* p, size_t blocks) {
  compress_blocks(
      h, [p](size_t b, int i) NV_ARMV8_TARGET { return load_bytes(p + 64 * b + 16 * i); }, blocks);
}

NV_ARMV8_TARGET inline void compress_words(uint32_t* h, const uint64_t* w, size_t blocks) {
  compress_blocks(
      h, [w](size_t b, int i) NV_ARMV8_TARGET { return load_words(w + 16 * b + 4 * i); }, blocks);
}

}  // namespace sha1_armv8
}  // namespace

#undef NV_ARMV8_TARGET
#endif
