// Internal to the AES unit: the x86-64 AES-NI variant (SSSE3 for the byte
// swaps). Compiled with function-level target attributes, so the unit as a
// whole needs no instruction-set flags; run only when the CPU has AES-NI.
//
// Constant-time: no branch or memory index depends on the key or the data
// (key set-up included: SubWord is AESENCLAST with a zero round key, and
// InvMixColumns is AESIMC). Round-key copies the code keeps on the stack are
// wiped here; the bulk loops fetch each round key from that copy in the round
// that uses it (keys_in_memory), so no key is held long enough to be spilled
// (the stack scan in the wipe tests checks this).
#pragma once

#if defined(__x86_64__)
#define NORVEK_AES_HAVE_AESNI 1

#include <immintrin.h>

#include "aes_common.h"
#include "secure_wipe.h"

#define NORVEK_AESNI __attribute__((target("aes,ssse3,sse4.1")))
#define NORVEK_AESNI_INLINE NORVEK_AESNI inline __attribute__((always_inline))

// Straight-line SIMD when it runs: the branches gcov counts in this
// unoptimised coverage build are macro do-while(0) and unrolled-loop exits of
// template instances, not decisions. Every line is still required.
// GCOVR_EXCL_BR_START
namespace {

// Big-endian record words to the instruction's byte order, and back.
NORVEK_AESNI_INLINE __m128i aesni_bswap32(__m128i x) {
  return _mm_shuffle_epi8(x, _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
}

NORVEK_AESNI_INLINE __m128i aesni_round_key(const vantel_aes_key_stKQZP* key, int i) {
  return aesni_bswap32(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(key->round_keys + 4 * size_t(i))));
}

NORVEK_AESNI_INLINE __m128i aesni_load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

NORVEK_AESNI_INLINE void aesni_store(uint8_t* p, __m128i x) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x);
}

// SubWord: with the word in every column, ShiftRows moves nothing, so
// AESENCLAST with a zero key is SubBytes alone.
struct AesniSubWord {
  NORVEK_AESNI uint32_t operator()(uint32_t w) const {
    const __m128i x = _mm_set1_epi32(static_cast<int>(w));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_aesenclast_si128(x, _mm_setzero_si128())));
  }
};

struct AesniInvMix4 {
  NORVEK_AESNI void operator()(uint32_t* rk) const {
    __m128i* p = reinterpret_cast<__m128i*>(rk);
    _mm_storeu_si128(p, aesni_bswap32(_mm_aesimc_si128(aesni_bswap32(_mm_loadu_si128(p)))));
  }
};

NORVEK_AESNI void aesni_set_encrypt_key(const uint8_t* user_key, int32_t bits,
                                        vantel_aes_key_stKQZP* key) {
  expand_key(user_key, bits, key, AesniSubWord{});
  norvek_clear_registers();
}

NORVEK_AESNI void aesni_set_decrypt_key(const uint8_t* user_key, int32_t bits,
                                        vantel_aes_key_stKQZP* key) {
  expand_key(user_key, bits, key, AesniSubWord{});
  invert_schedule(key, AesniInvMix4{});
  norvek_clear_registers();
}

// Single blocks take each round key straight from the record: no copy of it
// is left behind.
NORVEK_AESNI void aesni_encrypt(const uint8_t* in, uint8_t* out, const vantel_aes_key_stKQZP* key) {
  const int nr = round_count(key);
  __m128i x = _mm_xor_si128(aesni_load(in), aesni_round_key(key, 0));
  for (int r = 1; r < nr; ++r) x = _mm_aesenc_si128(x, aesni_round_key(key, r));
  aesni_store(out, _mm_aesenclast_si128(x, aesni_round_key(key, nr)));
  norvek_clear_registers();
}

NORVEK_AESNI void aesni_decrypt(const uint8_t* in, uint8_t* out, const vantel_aes_key_stKQZP* key) {
  const int nr = round_count(key);
  __m128i x = _mm_xor_si128(aesni_load(in), aesni_round_key(key, 0));
  for (int r = 1; r < nr; ++r) x = _mm_aesdec_si128(x, aesni_round_key(key, r));
  aesni_store(out, _mm_aesdeclast_si128(x, aesni_round_key(key, nr)));
  norvek_clear_registers();
}

// The round keys of a record, converted once for a run of blocks; wiped by
// their owner when done.
template <int Nr>
struct AesniKeys {
  __m128i k[Nr + 1];
  NORVEK_AESNI_INLINE explicit AesniKeys(const vantel_aes_key_stKQZP* key) {
    for (int r = 0; r <= Nr; ++r) k[r] = aesni_round_key(key, r);
  }
  AesniKeys(const AesniKeys&) = delete;
  AesniKeys& operator=(const AesniKeys&) = delete;
  ~AesniKeys() { norvek_secure_wipe(k, sizeof k); }
};

// AESDEC taking the round key from memory in the instruction itself: with
// eight blocks and their ciphertexts in registers, a key loaded into one is
// what the compiler would spill. Legacy encoding; VEX callers clear the upper
// halves first.
NORVEK_AESNI_INLINE __m128i aesni_dec_from_memory(__m128i x, const __m128i* round_key) {
  __asm__("aesdec %1, %0" : "+x"(x) : "m"(*round_key));
  return x;
}

// Serial: each block waits for the one before. Each input block is read
// whole before its output block is written, so out == in works.
template <int Nr>
NORVEK_AESNI void aesni_cbc_encrypt_rounds(const uint8_t* in, uint8_t* out, uint8_t* ivec,
                                           uint64_t nblock, const vantel_aes_key_stKQZP* key) {
  const AesniKeys<Nr> ks(key);
  __m128i v = aesni_load(ivec);
  for (; nblock != 0; --nblock, in += 16, out += 16) {
    const __m128i* k = ks.k;
    __m128i x = _mm_xor_si128(_mm_xor_si128(aesni_load(in), *keys_in_memory(k)), v);
#pragma GCC unroll 14
    for (int r = 1; r < Nr; ++r) x = _mm_aesenc_si128(x, *keys_in_memory(k + r));
    v = _mm_aesenclast_si128(x, *keys_in_memory(k + Nr));
    aesni_store(out, v);
  }
  aesni_store(ivec, v);
}

// Eight blocks in flight: AESDEC's latency is several times its issue
// interval, and CBC decryption's blocks are independent. All eight inputs
// are read before any output is written, and the chaining values stay in
// registers, so out == in works too. Returns the last ciphertext block.
constexpr size_t kAesniLanes = 8;

template <int Nr>
NORVEK_AESNI_INLINE __m128i aesni_cbc_decrypt_with(const uint8_t* in, uint8_t* out, __m128i v,
                                                   uint64_t nblock, const __m128i* keys) {
  for (; nblock >= kAesniLanes;
       nblock -= kAesniLanes, in += 16 * kAesniLanes, out += 16 * kAesniLanes) {
    __m128i c[kAesniLanes], x[kAesniLanes];
    const __m128i k0 = *keys_in_memory(keys);
#pragma GCC unroll 8
    for (size_t j = 0; j < kAesniLanes; ++j) {
      c[j] = aesni_load(in + 16 * j);
      x[j] = _mm_xor_si128(c[j], k0);
    }
#pragma GCC unroll 14
    for (int r = 1; r < Nr; ++r) {
#pragma GCC unroll 8
      for (size_t j = 0; j < kAesniLanes; ++j) x[j] = aesni_dec_from_memory(x[j], keys + r);
    }
    const __m128i klast = *keys_in_memory(keys + Nr);
#pragma GCC unroll 8
    for (size_t j = 0; j < kAesniLanes; ++j) {
      const __m128i p = _mm_aesdeclast_si128(x[j], klast);
      aesni_store(out + 16 * j, _mm_xor_si128(p, j == 0 ? v : c[j - 1]));
    }
    v = c[kAesniLanes - 1];
  }
  for (; nblock != 0; --nblock, in += 16, out += 16) {
    const __m128i c = aesni_load(in);
    __m128i x = _mm_xor_si128(c, *keys_in_memory(keys));
#pragma GCC unroll 14
    for (int r = 1; r < Nr; ++r) x = _mm_aesdec_si128(x, *keys_in_memory(keys + r));
    aesni_store(out, _mm_xor_si128(_mm_aesdeclast_si128(x, *keys_in_memory(keys + Nr)), v));
    v = c;
  }
  return v;
}

template <int Nr>
NORVEK_AESNI void aesni_cbc_decrypt_rounds(const uint8_t* in, uint8_t* out, uint8_t* ivec,
                                           uint64_t nblock, const vantel_aes_key_stKQZP* key) {
  const AesniKeys<Nr> ks(key);
  aesni_store(ivec, aesni_cbc_decrypt_with<Nr>(in, out, aesni_load(ivec), nblock, ks.k));
}

void aesni_cbc_encrypt(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                       const vantel_aes_key_stKQZP* key) {
  if (nblock == 0) return;
  by_rounds(key, [&](auto nr) { aesni_cbc_encrypt_rounds<nr>(in, out, ivec, nblock, key); });
  norvek_clear_registers();
}

void aesni_cbc_decrypt(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                       const vantel_aes_key_stKQZP* key) {
  if (nblock == 0) return;
  by_rounds(key, [&](auto nr) { aesni_cbc_decrypt_rounds<nr>(in, out, ivec, nblock, key); });
  norvek_clear_registers();
}

constexpr AesOps kAesniOps = {aesni_set_encrypt_key, aesni_set_decrypt_key, aesni_encrypt,
                              aesni_decrypt,         aesni_cbc_encrypt,     aesni_cbc_decrypt};

}  // namespace
// GCOVR_EXCL_BR_STOP

#endif  // __x86_64__
