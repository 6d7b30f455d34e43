// Internal to the AES unit: what every implementation variant shares — the
// record's round count, the key expansion over a pluggable SubWord, the
// turn of an encryption schedule into the decryption form over a pluggable
// InvMixColumns, and the table of operations each variant fills in.
//
// The record is the same for every variant: big-endian words, and the
// decryption form is the equivalent inverse cipher's schedule. Hardware
// variants byte-swap the words as they load them.
#pragma once

#include <cstdint>
#include <type_traits>

#include "aes_tables.h"
#include "norvek/aes.h"

#define NORVEK_INLINE inline __attribute__((always_inline))

namespace {

// A record that did not come from a successful set-up is run as 10 rounds
// over whatever it holds: garbage out, but never a read outside the record,
// and the same garbage on every variant.
NORVEK_INLINE int round_count(const vantel_aes_key_stKQZP* key) {
  const int32_t rounds = key->rounds;
  return rounds == 14 ? 14 : rounds == 12 ? 12 : 10;
}

// Calls fn(std::integral_constant<int, rounds>) for the record's round
// count, so bulk code can be unrolled for each key size.
template <class Fn>
NORVEK_INLINE void by_rounds(const vantel_aes_key_stKQZP* key, Fn fn) {
  switch (round_count(key)) {
    case 14: fn(std::integral_constant<int, 14>{}); break;
    case 12: fn(std::integral_constant<int, 12>{}); break;
    default: fn(std::integral_constant<int, 10>{}); break;
  }
}

// Hands `keys` back through an empty asm that the compiler must assume
// changes it, so what is read through the result is read after this point.
// The bulk loops fetch each round key this way in the round that uses it:
// loaded ahead or hoisted across the loop, the keys outnumber the registers
// and the compiler spills copies of them to the stack, where nothing wipes
// them. They stay in the key array their owner wipes.
template <class T>
NORVEK_INLINE const T* keys_in_memory(const T* keys) {
  __asm__ volatile("" : "+r"(keys));
  return keys;
}

NORVEK_INLINE uint32_t load_be(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

NORVEK_INLINE void store4(uint32_t* rk, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  rk[0] = a;
  rk[1] = b;
  rk[2] = c;
  rk[3] = d;
}

NORVEK_INLINE uint32_t rot_word(uint32_t w) { return (w << 8) | (w >> 24); }

// The variants' `sub` and `inv_mix` below carry target attributes, so they
// are plain inline: the compiler inlines them once these templates sit in
// a caller built for the same target.

// KeyExpansion, writing exactly 4 * (rounds + 1) words. `sub(w)` is SubWord
// on a big-endian word. The words of the current group stay in locals; the
// record is only written. The arguments are already checked; the only
// branches are on the key size.
template <class SubWord>
NORVEK_INLINE void expand_key(const uint8_t* user_key, int32_t bits, vantel_aes_key_stKQZP* key,
                              SubWord sub) {
  uint32_t* rk = key->round_keys;
  uint32_t w0 = load_be(user_key), w1 = load_be(user_key + 4), w2 = load_be(user_key + 8),
           w3 = load_be(user_key + 12);
  store4(rk, w0, w1, w2, w3);
  if (bits == 128) {
    key->rounds = 10;
    for (int i = 0; i < 10; ++i) {
      w0 ^= sub(rot_word(w3)) ^ norvek_aes_tables::kTables.rcon[i];
      w1 ^= w0;
      w2 ^= w1;
      w3 ^= w2;
      rk += 4;
      store4(rk, w0, w1, w2, w3);
    }
    return;
  }
  uint32_t w4 = load_be(user_key + 16), w5 = load_be(user_key + 20);
  if (bits == 192) {
    key->rounds = 12;
    rk[4] = w4;
    rk[5] = w5;
    for (int i = 0;; ++i) {
      w0 ^= sub(rot_word(w5)) ^ norvek_aes_tables::kTables.rcon[i];
      w1 ^= w0;
      w2 ^= w1;
      w3 ^= w2;
      rk += 6;
      store4(rk, w0, w1, w2, w3);
      if (i == 7) return;  // 52 words: the last group stops after four
      w4 ^= w3;
      w5 ^= w4;
      rk[4] = w4;
      rk[5] = w5;
    }
  }
  uint32_t w6 = load_be(user_key + 24), w7 = load_be(user_key + 28);
  key->rounds = 14;
  store4(rk + 4, w4, w5, w6, w7);
  for (int i = 0;; ++i) {
    w0 ^= sub(rot_word(w7)) ^ norvek_aes_tables::kTables.rcon[i];
    w1 ^= w0;
    w2 ^= w1;
    w3 ^= w2;
    rk += 8;
    store4(rk, w0, w1, w2, w3);
    if (i == 6) return;  // 60 words: the last group stops after four
    w4 ^= sub(w3);
    w5 ^= w4;
    w6 ^= w5;
    w7 ^= w6;
    store4(rk + 4, w4, w5, w6, w7);
  }
}

// Encryption schedule to the equivalent inverse cipher's: round keys in
// reverse order, `inv_mix(rk)` (InvMixColumns of the four words at rk) on
// all but the outer two.
template <class InvMix4>
NORVEK_INLINE void invert_schedule(vantel_aes_key_stKQZP* key, InvMix4 inv_mix) {
  const int32_t rounds = key->rounds;
  uint32_t* rk = key->round_keys;
  for (int32_t i = 0, j = 4 * rounds; i < j; i += 4, j -= 4) {
    for (int32_t k = 0; k < 4; ++k) {
      const uint32_t w = rk[i + k];
      rk[i + k] = rk[j + k];
      rk[j + k] = w;
    }
  }
  for (int32_t i = 4; i < 4 * rounds; i += 4) inv_mix(rk + i);
}

// One variant's implementation of each operation. Arguments reach them
// already checked (set-up) or as the caller gave them (the rest).
struct AesOps {
  void (*set_encrypt_key)(const uint8_t*, int32_t, vantel_aes_key_stKQZP*);
  void (*set_decrypt_key)(const uint8_t*, int32_t, vantel_aes_key_stKQZP*);
  void (*encrypt)(const uint8_t*, uint8_t*, const vantel_aes_key_stKQZP*);
  void (*decrypt)(const uint8_t*, uint8_t*, const vantel_aes_key_stKQZP*);
  void (*cbc_encrypt)(const uint8_t*, uint8_t*, uint8_t*, uint64_t, const vantel_aes_key_stKQZP*);
  void (*cbc_decrypt)(const uint8_t*, uint8_t*, uint8_t*, uint64_t, const vantel_aes_key_stKQZP*);
};

}  // namespace
