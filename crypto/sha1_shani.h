// Internal: SHA-1 compression with the x86-64 SHA extensions (SHA1RNDS4,
// SHA1NEXTE, SHA1MSG1, SHA1MSG2), SSSE3 for the byte swap and SSE4.1 for the
// lane extract. Compiled with function-level target attributes, so the unit
// needs no -m flags; call only when the CPU has them (NorvekCpuFeatures::shani).
//
// Constant-time: the instructions take data-independent time and nothing
// here branches on or indexes with the data.
#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "secure_wipe.h"

#define NV_SHANI_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Straight-line SIMD when it runs: the branches gcov counts in this
// unoptimised coverage build are macro do-while(0) and unrolled-loop exits of
// template instances, not decisions. Every line is still required.
// GCOVR_EXCL_BR_START
namespace {
namespace sha1_shani {

// Four message words as SHA1RNDS4 wants them: the first in the top lane.
NV_SHANI_TARGET inline __m128i load_bytes(const uint8_t* p) {
  const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// The same from four 64-bit words carrying 32-bit values (low halves only).
NV_SHANI_TARGET inline __m128i load_words(const uint64_t* w) {
  const __m128 lo = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w)));
  const __m128 hi = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 2)));
  const __m128i low_halves = _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
  return _mm_shuffle_epi32(low_halves, 0x1B);
}

// Rounds 4j..4j+3 with f the round-function group (j / 5). The message
// schedule runs three groups ahead of the rounds in the four registers m[]:
// W(j+1) is completed, W(j+2) and W(j+3) advanced.
#define NV_SHANI_GROUP(j)                                                                         \
  do {                                                                                            \
    if ((j) == 0) {                                                                               \
      e[0] = _mm_add_epi32(e[0], m[0]);                                                           \
    } else {                                                                                      \
      e[(j)&1] = _mm_sha1nexte_epu32(e[(j)&1], m[(j)&3]);                                         \
    }                                                                                             \
    e[((j) + 1) & 1] = abcd;                                                                      \
    if ((j) >= 3 && (j) <= 18) m[((j) + 1) & 3] = _mm_sha1msg2_epu32(m[((j) + 1) & 3], m[(j)&3]); \
    abcd = _mm_sha1rnds4_epu32(abcd, e[(j)&1], (j) / 5);                                          \
    if ((j) >= 1 && (j) <= 16) m[((j) + 3) & 3] = _mm_sha1msg1_epu32(m[((j) + 3) & 3], m[(j)&3]); \
    if ((j) >= 2 && (j) <= 17) m[((j) + 2) & 3] = _mm_xor_si128(m[((j) + 2) & 3], m[(j)&3]);      \
  } while (0)

template <typename Load>
NV_SHANI_TARGET __attribute__((always_inline)) inline void compress_blocks(uint32_t* h,
                                                                           const Load& load,
                                                                           size_t blocks) {
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1B);
  __m128i e0 = _mm_set_epi32(int(h[4]), 0, 0, 0);
  for (size_t b = 0; b < blocks; ++b) {
    const __m128i abcd_saved = abcd;
    const __m128i e_saved = e0;
    __m128i m[4] = {load(b, 0), load(b, 1), load(b, 2), load(b, 3)};
    __m128i e[2] = {e0, e0};
    NV_SHANI_GROUP(0);
    NV_SHANI_GROUP(1);
    NV_SHANI_GROUP(2);
    NV_SHANI_GROUP(3);
    NV_SHANI_GROUP(4);
    NV_SHANI_GROUP(5);
    NV_SHANI_GROUP(6);
    NV_SHANI_GROUP(7);
    NV_SHANI_GROUP(8);
    NV_SHANI_GROUP(9);
    NV_SHANI_GROUP(10);
    NV_SHANI_GROUP(11);
    NV_SHANI_GROUP(12);
    NV_SHANI_GROUP(13);
    NV_SHANI_GROUP(14);
    NV_SHANI_GROUP(15);
    NV_SHANI_GROUP(16);
    NV_SHANI_GROUP(17);
    NV_SHANI_GROUP(18);
    NV_SHANI_GROUP(19);
    // e[0] holds the state from before the last group: its a, rotated,
    // is the new e.
    e0 = _mm_sha1nexte_epu32(e[0], e_saved);
    abcd = _mm_add_epi32(abcd, abcd_saved);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(abcd, 0x1B));
  h[4] = uint32_t(_mm_extract_epi32(e0, 3));
  // The chaining value is HMAC's keyed state when the key is absorbed.
  norvek_clear_registers();
}

#undef NV_SHANI_GROUP

// `blocks` 64-byte blocks of big-endian bytes at `p` (any alignment).
NV_SHANI_TARGET inline void compress_bytes(uint32_t* h, const uint8_t* p, size_t blocks) {
  compress_blocks(
      h, [p](size_t b, int i) NV_SHANI_TARGET { return load_bytes(p + 64 * b + 16 * size_t(i)); },
      blocks);
}

// `blocks` blocks of sixteen 64-bit words at `w`.
NV_SHANI_TARGET inline void compress_words(uint32_t* h, const uint64_t* w, size_t blocks) {
  compress_blocks(
      h, [w](size_t b, int i) NV_SHANI_TARGET { return load_words(w + 16 * b + 4 * size_t(i)); },
      blocks);
}

}  // namespace sha1_shani
}  // namespace
// GCOVR_EXCL_BR_STOP

#undef NV_SHANI_TARGET
#endif  // __x86_64__
