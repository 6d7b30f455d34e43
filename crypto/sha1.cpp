// SHA-1 (FIPS 180-4).
//
// The context keeps 64-bit words, but every quantity in it is a 32-bit one,
// so the rounds run on 32-bit locals: the chaining values and message words
// are narrowed on the way in and widened on the way out, which gives exactly
// the results of the same arithmetic on the low halves of 64-bit words.
//
// Not constant-time with respect to message *length*; the rounds themselves
// have no data-dependent branches or table lookups.
#include "norvek/sha1.h"

namespace {

constexpr uint32_t kK0 = 0x5A827999;  // rounds 0..19
constexpr uint32_t kK1 = 0x6ED9EBA1;  // rounds 20..39
constexpr uint32_t kK2 = 0x8F1BBCDC;  // rounds 40..59
constexpr uint32_t kK3 = 0xCA62C1D6;  // rounds 60..79

// Padding pattern appended by Final.
constexpr uint8_t end[4] = {0x80, 0x00, 0x00, 0x00};

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Big-endian word assembled a byte at a time, so `p` needs no alignment.
inline uint32_t load_be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void store_be32(uint8_t* p, uint32_t v) {
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
#define NV_SCHED(t)                                                                    \
  (x[(t)&15] = rotl(x[((t) + 13) & 15] ^ x[((t) + 8) & 15] ^ x[((t) + 2) & 15] ^ x[(t)&15], 1))

#define NV_R0(a, b, c, d, e, t)                                   \
  x[t] = word(t);                                                 \
  e += rotl(a, 5) + NV_CH(b, c, d) + kK0 + x[t];                  \
  b = rotl(b, 30);
#define NV_R1(a, b, c, d, e, t)                                   \
  e += rotl(a, 5) + NV_CH(b, c, d) + kK0 + NV_SCHED(t);           \
  b = rotl(b, 30);
#define NV_R2(a, b, c, d, e, t)                                   \
  e += rotl(a, 5) + NV_PARITY(b, c, d) + kK1 + NV_SCHED(t);       \
  b = rotl(b, 30);
#define NV_R3(a, b, c, d, e, t)                                   \
  e += rotl(a, 5) + kK2 + NV_SCHED(t);                            \
  NV_MAJ_ADD(e, b, c, d);                                         \
  b = rotl(b, 30);
#define NV_R4(a, b, c, d, e, t)                                   \
  e += rotl(a, 5) + NV_PARITY(b, c, d) + kK3 + NV_SCHED(t);       \
  b = rotl(b, 30);

// Five rounds with the working variables rotating through their roles.
#define NV_ROUNDS5(R, t)        \
  R(a, b, c, d, e, (t) + 0)     \
  R(e, a, b, c, d, (t) + 1)     \
  R(d, e, a, b, c, (t) + 2)     \
  R(c, d, e, a, b, (t) + 3)     \
  R(b, c, d, e, a, (t) + 4)

// One compression of the 16 words word(0)..word(15) into h[0..4]. The words
// are copied into a schedule of its own, so the source is only read.
template <typename WordSource>
[[gnu::always_inline]] inline void compress(uint32_t* h, WordSource word) {
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

inline void load_state(const norvek_crypto_shastate_st_KQZP* c, uint32_t* h) {
  h[0] = uint32_t(c->h0);
  h[1] = uint32_t(c->h1);
  h[2] = uint32_t(c->h2);
  h[3] = uint32_t(c->h3);
  h[4] = uint32_t(c->h4);
}

inline void store_state(norvek_crypto_shastate_st_KQZP* c, const uint32_t* h) {
  c->h0 = h[0];
  c->h1 = h[1];
  c->h2 = h[2];
  c->h3 = h[3];
  c->h4 = h[4];
}

// Compresses the context's own pending block once.
void compress_pending(norvek_crypto_shastate_st_KQZP* c) {
  uint32_t h[5];
  load_state(c, h);
  const uint64_t* w = c->block;
  compress(h, [w](int i) { return uint32_t(w[i]); });
  store_state(c, h);
}

// Places bytes p[0..n) at byte positions u..u+n-1 of the pending block, the
// way the block keeps them: the word being filled gets its bytes ORed in
// (replaced when it starts empty), later words are written whole, and a last
// partial word is written left-aligned with zero low bytes.
void pack_pending(uint64_t* block, uint32_t u, const uint8_t* p, uint64_t n) {
  uint32_t k = u / 4;
  uint32_t r = u % 4;
  if (r != 0) {
    uint32_t v = 0;
    while (r < 4 && n > 0) {
      v |= uint32_t(*p++) << (24 - 8 * r);
      ++r;
      --n;
    }
    block[k] |= v;
    ++k;
  }
  while (n >= 4) {
    block[k++] = load_be32(p);
    p += 4;
    n -= 4;
  }
  if (n > 0) {
    uint32_t v = 0;
    for (uint32_t j = 0; j < n; ++j) v |= uint32_t(p[j]) << (24 - 8 * j);
    block[k] = v;
  }
}

}  // namespace

extern "C" {

void norvek_crypto_sha1_Init_KQZP(norvek_crypto_shastate_st_KQZP* c) {
  c->h0 = 0x67452301;
  c->h1 = 0xEFCDAB89;
  c->h2 = 0x98BADCFE;
  c->h3 = 0x10325476;
  c->h4 = 0xC3D2E1F0;
  c->length_low = 0;
  c->length_high = 0;
  c->block_used = 0;
}

void norvek_crypto_sha1_Update_KQZP(norvek_crypto_shastate_st_KQZP* c, const void* data,
                                    uint64_t len) {
  if (len == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);

  // Bit count modulo 2^64, kept as a 32-bit low half and a carry-fed high half.
  const uint64_t t = (c->length_low + (len << 3)) & 0xFFFFFFFFu;
  if (t < c->length_low) ++c->length_high;
  c->length_high += len >> 29;
  c->length_low = t;

  // A valid context has 0..63 pending bytes; masking keeps a damaged one
  // from writing outside the block.
  const uint32_t u = uint32_t(c->block_used) & 63;
  if (u != 0) {
    if (len < 64 - u) {
      pack_pending(c->block, u, p, len);
      c->block_used = int32_t(u + len);
      return;
    }
    pack_pending(c->block, u, p, 64 - u);
    p += 64 - u;
    len -= 64 - u;
    compress_pending(c);
    c->block_used = 0;
  }

  if (len >= 64) {
    uint32_t h[5];
    load_state(c, h);
    const uint8_t* last = p;
    do {
      compress(h, [p](int i) { return load_be32(p + 4 * i); });
      last = p;
      p += 64;
      len -= 64;
    } while (len >= 64);
    store_state(c, h);
    // The block keeps the words of the last block compressed.
    for (int i = 0; i < 16; ++i) c->block[i] = load_be32(last + 4 * i);
  }

  const uint32_t m = uint32_t(len);
  c->block_used = int32_t(m);
  if (m % 4 == 0) c->block[m / 4] = 0;
  pack_pending(c->block, 0, p, m);
}

void norvek_crypto_sha1_Final_KQZP(uint8_t* md, norvek_crypto_shastate_st_KQZP* c) {
  const uint32_t u = uint32_t(c->block_used) & 63;
  const uint32_t k = u / 4;
  const uint32_t r = u % 4;
  const uint32_t pad = load_be32(end);
  if (r == 0) {
    c->block[k] = pad;
  } else {
    c->block[k] |= uint64_t(pad >> 24) << (8 * (3 - r));
  }

  if (u >= 56) {
    for (uint32_t i = k + 1; i < 16; ++i) c->block[i] = 0;
    compress_pending(c);
    for (uint32_t i = 0; i < 14; ++i) c->block[i] = 0;
  } else {
    for (uint32_t i = k + 1; i < 14; ++i) c->block[i] = 0;
  }
  c->block[14] = c->length_high;
  c->block[15] = c->length_low;
  compress_pending(c);

  store_be32(md + 0, uint32_t(c->h0));
  store_be32(md + 4, uint32_t(c->h1));
  store_be32(md + 8, uint32_t(c->h2));
  store_be32(md + 12, uint32_t(c->h3));
  store_be32(md + 16, uint32_t(c->h4));
  c->block_used = 0;
}

void norvek_crypto_sha1_KQZP(const void* d, uint64_t n, uint8_t* md) {
  norvek_crypto_shastate_st_KQZP c;
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, d, n);
  norvek_crypto_sha1_Final_KQZP(md, &c);
}

}  // extern "C"

void norvek_crypto_SHA1_block(norvek_crypto_shastate_st_KQZP* c, const uint64_t* W, int32_t num) {
  uint32_t h[5];
  load_state(c, h);
  // At least one block; wider arithmetic keeps the countdown free of overflow.
  int64_t left = num;
  do {
    compress(h, [W](int i) { return uint32_t(W[i]); });
    W += 16;
    left -= 64;
  } while (left > 0);
  store_state(c, h);
}

void norvek_crypto_sha1_Transform(norvek_crypto_shastate_st_KQZP* c, const uint8_t* b) {
  uint64_t words[16];
  for (int i = 0; i < 16; ++i) words[i] = load_be32(b + 4 * i);
  norvek_crypto_SHA1_block(c, words, 64);
}
