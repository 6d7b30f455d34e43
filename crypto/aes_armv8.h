// Internal to the AES unit: the arm64 variant over the ARMv8 crypto
// extensions (AESE/AESD/AESMC/AESIMC through arm_neon.h). Built where the
// compiler targets them already (Apple arm64, -march=...+crypto) or, with
// GCC, through a function-level target attribute; run only when the CPU has
// them. Clang before 15 guards the intrinsics by the compile-time target, so
// a clang build for generic arm64 keeps the table path alone.
//
// Constant-time: no branch or memory index depends on the key or the data
// (key set-up included: SubWord is AESE with a zero round key, InvMixColumns
// is AESIMC). Round-key copies kept on the stack are wiped.
#pragma once

#if defined(__aarch64__) && (defined(__ARM_FEATURE_AES) || defined(__ARM_FEATURE_CRYPTO))
#define NORVEK_AES_HAVE_ARMV8 1
#define NORVEK_ARMV8
#elif defined(__aarch64__) && defined(__GNUC__) && !defined(__clang__)
#define NORVEK_AES_HAVE_ARMV8 1
#define NORVEK_ARMV8 __attribute__((target("+crypto")))
#endif

#if defined(NORVEK_AES_HAVE_ARMV8)
#include <arm_neon.h>

#include "aes_common.h"
#include "secure_wipe.h"

#define NORVEK_ARMV8_INLINE NORVEK_ARMV8 inline __attribute__((always_inline))

namespace {

// Big-endian record words to the instructions' byte order.
NORVEK_ARMV8_INLINE uint8x16_t armv8_round_key(const vantel_aes_key_stKQZP* key, int i) {
  return vrev32q_u8(vld1q_u8(reinterpret_cast<const uint8_t*>(key->round_keys + 4 * i)));
}

// SubWord: with the word in every column, ShiftRows moves nothing, so AESE
// with a zero key is SubBytes alone.
struct Armv8SubWord {
  NORVEK_ARMV8 uint32_t operator()(uint32_t w) const {
    const uint8x16_t x = vaeseq_u8(vreinterpretq_u8_u32(vdupq_n_u32(w)), vdupq_n_u8(0));
    return vgetq_lane_u32(vreinterpretq_u32_u8(x), 0);
  }
};

struct Armv8InvMix4 {
  NORVEK_ARMV8 void operator()(uint32_t* rk) const {
    uint8_t* p = reinterpret_cast<uint8_t*>(rk);
    vst1q_u8(p, vrev32q_u8(vaesimcq_u8(vrev32q_u8(vld1q_u8(p)))));
  }
};

NORVEK_ARMV8 void armv8_set_encrypt_key(const uint8_t* user_key, int32_t bits,
                                        vantel_aes_key_stKQZP* key) {
  expand_key(user_key, bits, key, Armv8SubWord{});
  norvek_clear_registers();
}

NORVEK_ARMV8 void armv8_set_decrypt_key(const uint8_t* user_key, int32_t bits,
                                        vantel_aes_key_stKQZP* key) {
  expand_key(user_key, bits, key, Armv8SubWord{});
  invert_schedule(key, Armv8InvMix4{});
  norvek_clear_registers();
}

// AESE adds the round key before SubBytes/ShiftRows, so the last key is a
// plain XOR after the final AESE.
NORVEK_ARMV8 void armv8_encrypt(const uint8_t* in, uint8_t* out, const vantel_aes_key_stKQZP* key) {
  const int nr = round_count(key);
  uint8x16_t x = vld1q_u8(in);
  for (int r = 0; r < nr - 1; ++r) x = vaesmcq_u8(vaeseq_u8(x, armv8_round_key(key, r)));
  x = vaeseq_u8(x, armv8_round_key(key, nr - 1));
  vst1q_u8(out, veorq_u8(x, armv8_round_key(key, nr)));
  norvek_clear_registers();
}

NORVEK_ARMV8 void armv8_decrypt(const uint8_t* in, uint8_t* out, const vantel_aes_key_stKQZP* key) {
  const int nr = round_count(key);
  uint8x16_t x = vld1q_u8(in);
  for (int r = 0; r < nr - 1; ++r) x = vaesimcq_u8(vaesdq_u8(x, armv8_round_key(key, r)));
  x = vaesdq_u8(x, armv8_round_key(key, nr - 1));
  vst1q_u8(out, veorq_u8(x, armv8_round_key(key, nr)));
  norvek_clear_registers();
}

template <int Nr>
struct Armv8Keys {
  uint8x16_t k[Nr + 1];
  NORVEK_ARMV8_INLINE explicit Armv8Keys(const vantel_aes_key_stKQZP* key) {
    for (int r = 0; r <= Nr; ++r) k[r] = armv8_round_key(key, r);
  }
  Armv8Keys(const Armv8Keys&) = delete;
  Armv8Keys& operator=(const Armv8Keys&) = delete;
  ~Armv8Keys() { norvek_secure_wipe(k, sizeof k); }
};

template <int Nr>
NORVEK_ARMV8_INLINE uint8x16_t armv8_encrypt_with(uint8x16_t x, const uint8x16_t* k) {
#pragma GCC unroll 14
  for (int r = 0; r < Nr - 1; ++r) x = vaesmcq_u8(vaeseq_u8(x, k[r]));
  return veorq_u8(vaeseq_u8(x, k[Nr - 1]), k[Nr]);
}

template <int Nr>
NORVEK_ARMV8_INLINE uint8x16_t armv8_decrypt_with(uint8x16_t x, const uint8x16_t* k) {
#pragma GCC unroll 14
  for (int r = 0; r < Nr - 1; ++r) x = vaesimcq_u8(vaesdq_u8(x, k[r]));
  return veorq_u8(vaesdq_u8(x, k[Nr - 1]), k[Nr]);
}

// Serial; each input block is read whole before its output block is
// written, so out == in works.
template <int Nr>
NORVEK_ARMV8 void armv8_cbc_encrypt_rounds(const uint8_t* in, uint8_t* out, uint8_t* ivec,
                                           uint64_t nblock, const vantel_aes_key_stKQZP* key) {
  const Armv8Keys<Nr> ks(key);
  uint8x16_t v = vld1q_u8(ivec);
  for (; nblock != 0; --nblock, in += 16, out += 16) {
    v = armv8_encrypt_with<Nr>(veorq_u8(vld1q_u8(in), v), ks.k);
    vst1q_u8(out, v);
  }
  vst1q_u8(ivec, v);
}

// Eight blocks in flight; all eight inputs are read before any output is
// written and the chaining values stay in registers, so out == in works.
constexpr int kArmv8Lanes = 8;

template <int Nr>
NORVEK_ARMV8 void armv8_cbc_decrypt_rounds(const uint8_t* in, uint8_t* out, uint8_t* ivec,
                                           uint64_t nblock, const vantel_aes_key_stKQZP* key) {
  const Armv8Keys<Nr> ks(key);
  const uint8x16_t* k = ks.k;
  uint8x16_t v = vld1q_u8(ivec);
  for (; nblock >= kArmv8Lanes;
       nblock -= kArmv8Lanes, in += 16 * kArmv8Lanes, out += 16 * kArmv8Lanes) {
    uint8x16_t c[kArmv8Lanes], x[kArmv8Lanes];
#pragma GCC unroll 8
    for (int j = 0; j < kArmv8Lanes; ++j) x[j] = c[j] = vld1q_u8(in + 16 * j);
#pragma GCC unroll 14
    for (int r = 0; r < Nr - 1; ++r) {
#pragma GCC unroll 8
      for (int j = 0; j < kArmv8Lanes; ++j) x[j] = vaesimcq_u8(vaesdq_u8(x[j], k[r]));
    }
#pragma GCC unroll 8
    for (int j = 0; j < kArmv8Lanes; ++j) {
      const uint8x16_t p = veorq_u8(vaesdq_u8(x[j], k[Nr - 1]), k[Nr]);
      vst1q_u8(out + 16 * j, veorq_u8(p, j == 0 ? v : c[j - 1]));
    }
    v = c[kArmv8Lanes - 1];
  }
  for (; nblock != 0; --nblock, in += 16, out += 16) {
    const uint8x16_t c = vld1q_u8(in);
    vst1q_u8(out, veorq_u8(armv8_decrypt_with<Nr>(c, k), v));
    v = c;
  }
  vst1q_u8(ivec, v);
}

void armv8_cbc_encrypt(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                       const vantel_aes_key_stKQZP* key) {
  if (nblock == 0) return;
  by_rounds(key, [&](auto nr) { armv8_cbc_encrypt_rounds<nr>(in, out, ivec, nblock, key); });
  norvek_clear_registers();
}

void armv8_cbc_decrypt(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                       const vantel_aes_key_stKQZP* key) {
  if (nblock == 0) return;
  by_rounds(key, [&](auto nr) { armv8_cbc_decrypt_rounds<nr>(in, out, ivec, nblock, key); });
  norvek_clear_registers();
}

constexpr AesOps kArmv8Ops = {armv8_set_encrypt_key, armv8_set_decrypt_key, armv8_encrypt,
                              armv8_decrypt,         armv8_cbc_encrypt,     armv8_cbc_decrypt};

}  // namespace

#endif  // NORVEK_AES_HAVE_ARMV8
