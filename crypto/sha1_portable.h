// Internal: the portable SHA-1 compression, written once for every input
// form (bytes, the context's 64-bit words) and usable in constant
// expressions, so fixed keys can be absorbed at compile time.
//
// Constant-time: no table lookups and no branches on the data; the rounds
// are straight-line code on 32-bit locals.
#pragma once

#include <cstdint>
#include <type_traits>

#include "secure_wipe.h"

namespace {
namespace sha1_portable {

constexpr uint32_t kK0 = 0x5A827999;  // rounds 0..19
constexpr uint32_t kK1 = 0x6ED9EBA1;  // rounds 20..39
constexpr uint32_t kK2 = 0x8F1BBCDC;  // rounds 40..59
constexpr uint32_t kK3 = 0xCA62C1D6;  // rounds 60..79

constexpr uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Big-endian word assembled a byte at a time, so `p` needs no alignment.
constexpr uint32_t load_be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

constexpr void store_be32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Round functions. Maj is written as a sum of two disjoint terms so that it
// can be added to `e` in two independent steps.
#define NV_CH(b, c, d) ((((c) ^ (d)) & (b)) ^ (d))
#define NV_PARITY(b, c, d) ((b) ^ (c) ^ (d))
#define NV_MAJ_ADD(e, b, c, d) ((e) += ((b) & (c)), (e) += ((d) & ((b) ^ (c))))

// Message schedule in a 16-word ring: W[t] = ROTL1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]).
#define NV_SCHED(t) \
  (x[(t)&15] = rotl(x[((t) + 13) & 15] ^ x[((t) + 8) & 15] ^ x[((t) + 2) & 15] ^ x[(t)&15], 1))

#define NV_R0(a, b, c, d, e, t)                    \
  x[t] = word(t);                                  \
  (e) += rotl(a, 5) + NV_CH(b, c, d) + kK0 + x[t]; \
  (b) = rotl(b, 30);
#define NV_R1(a, b, c, d, e, t)                           \
  (e) += rotl(a, 5) + NV_CH(b, c, d) + kK0 + NV_SCHED(t); \
  (b) = rotl(b, 30);
#define NV_R2(a, b, c, d, e, t)                               \
  (e) += rotl(a, 5) + NV_PARITY(b, c, d) + kK1 + NV_SCHED(t); \
  (b) = rotl(b, 30);
#define NV_R3(a, b, c, d, e, t)          \
  (e) += rotl(a, 5) + kK2 + NV_SCHED(t); \
  NV_MAJ_ADD(e, b, c, d);                \
  (b) = rotl(b, 30);
#define NV_R4(a, b, c, d, e, t)                               \
  (e) += rotl(a, 5) + NV_PARITY(b, c, d) + kK3 + NV_SCHED(t); \
  (b) = rotl(b, 30);

// Five rounds with the working variables rotating through their roles.
#define NV_ROUNDS5(R, t)    \
  R(a, b, c, d, e, (t) + 0) \
  R(e, a, b, c, d, (t) + 1) \
  R(d, e, a, b, c, (t) + 2) \
  R(c, d, e, a, b, (t) + 3) \
  R(b, c, d, e, a, (t) + 4)

// One compression of the 16 words word(0)..word(15) into h[0..4]. The words
// are copied into a schedule of its own, so the source is only read.
template <typename WordSource>
[[gnu::always_inline]] constexpr void compress(uint32_t* h, WordSource word) {
  uint32_t x[16];
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];

  NV_ROUNDS5(NV_R0, 0)
  NV_ROUNDS5(NV_R0, 5)
  NV_ROUNDS5(NV_R0, 10)
  NV_R0(a, b, c, d, e, 15)
  NV_R1(e, a, b, c, d, 16)
  NV_R1(d, e, a, b, c, 17)
  NV_R1(c, d, e, a, b, 18)
  NV_R1(b, c, d, e, a, 19)

  NV_ROUNDS5(NV_R2, 20)
  NV_ROUNDS5(NV_R2, 25)
  NV_ROUNDS5(NV_R2, 30)
  NV_ROUNDS5(NV_R2, 35)

  NV_ROUNDS5(NV_R3, 40)
  NV_ROUNDS5(NV_R3, 45)
  NV_ROUNDS5(NV_R3, 50)
  NV_ROUNDS5(NV_R3, 55)

  NV_ROUNDS5(NV_R4, 60)
  NV_ROUNDS5(NV_R4, 65)
  NV_ROUNDS5(NV_R4, 70)
  NV_ROUNDS5(NV_R4, 75)

  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  // The schedule holds message words (HMAC's padded key among them).
  if (!std::is_constant_evaluated()) norvek_secure_wipe(x, sizeof x);
}

#undef NV_ROUNDS5
#undef NV_R0
#undef NV_R1
#undef NV_R2
#undef NV_R3
#undef NV_R4
#undef NV_SCHED
#undef NV_MAJ_ADD
#undef NV_PARITY
#undef NV_CH

}  // namespace sha1_portable
}  // namespace
