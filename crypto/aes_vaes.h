// Internal to the AES unit: CBC decryption on x86-64 VAES with AVX2, two
// blocks per 256-bit register and sixteen blocks in flight. Everything else
// on this path is the AES-NI variant's. Compiled with function-level target
// attributes; run only when the CPU has VAES, AVX2 and the OS saves YMM.
//
// Constant-time like the AES-NI variant. Each broadcast round key is fetched
// from its array in the round that uses it (keys_in_memory); the array is
// wiped after.
#pragma once

#include "aes_aesni.h"

#if defined(NORVEK_AES_HAVE_AESNI)
#define NORVEK_AES_HAVE_VAES 1

#define NORVEK_VAES __attribute__((target("vaes,avx2,aes,ssse3,sse4.1")))

// Straight-line SIMD when it runs: the branches gcov counts in this
// unoptimised coverage build are macro do-while(0) and unrolled-loop exits of
// template instances, not decisions. Every line is still required.
// GCOVR_EXCL_BR_START
namespace {

constexpr size_t kVaesRegs = 8;  // sixteen blocks

template <int Nr>
NORVEK_VAES void vaes_cbc_decrypt_rounds(const uint8_t* in, uint8_t* out, uint8_t* ivec,
                                         uint64_t nblock, const vantel_aes_key_stKQZP* key) {
  const AesniKeys<Nr> ks(key);
  __m256i kk[Nr + 1];
  for (int r = 0; r <= Nr; ++r) kk[r] = _mm256_broadcastsi128_si256(ks.k[r]);
  __m128i v = aesni_load(ivec);
  for (; nblock >= 2 * kVaesRegs;
       nblock -= 2 * kVaesRegs, in += 32 * kVaesRegs, out += 32 * kVaesRegs) {
    __m256i x[kVaesRegs];
    const __m256i k0 = *keys_in_memory(kk);
#pragma GCC unroll 8
    for (size_t j = 0; j < kVaesRegs; ++j) {
      x[j] =
          _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32 * j)), k0);
    }
#pragma GCC unroll 14
    for (int r = 1; r < Nr; ++r) {
      const __m256i kr = *keys_in_memory(kk + r);
#pragma GCC unroll 8
      for (size_t j = 0; j < kVaesRegs; ++j) x[j] = _mm256_aesdec_epi128(x[j], kr);
    }
    const __m256i klast = *keys_in_memory(kk + Nr);
    // The chaining values are the input shifted back one block, read
    // before any output is written (out == in works); the first comes from
    // the previous group.
#pragma GCC unroll 8
    for (size_t j = 0; j < kVaesRegs; ++j) {
      const __m256i prev =
          j == 0 ? _mm256_inserti128_si256(_mm256_castsi128_si256(v), aesni_load(in), 1)
                 : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32 * j - 16));
      x[j] = _mm256_xor_si256(_mm256_aesdeclast_epi128(x[j], klast), prev);
    }
    v = aesni_load(in + 32 * kVaesRegs - 16);
#pragma GCC unroll 8
    for (size_t j = 0; j < kVaesRegs; ++j) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * j), x[j]);
    }
  }
  _mm256_zeroupper();  // the rest is 128-bit code, some of it legacy-encoded
  aesni_store(ivec, aesni_cbc_decrypt_with<Nr>(in, out, v, nblock, ks.k));
  norvek_secure_wipe(kk, sizeof kk);
}

void vaes_cbc_decrypt(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                      const vantel_aes_key_stKQZP* key) {
  if (nblock == 0) return;
  by_rounds(key, [&](auto nr) { vaes_cbc_decrypt_rounds<nr>(in, out, ivec, nblock, key); });
  norvek_clear_registers();
}

constexpr AesOps kVaesOps = {aesni_set_encrypt_key, aesni_set_decrypt_key, aesni_encrypt,
                             aesni_decrypt,         aesni_cbc_encrypt,     vaes_cbc_decrypt};

}  // namespace
// GCOVR_EXCL_BR_STOP

#endif  // NORVEK_AES_HAVE_AESNI
