// SHA-1 (FIPS 180-4), streaming and one-shot. Nothing here allocates, checks
// its pointers or returns a value. Input needs no alignment.
//
// The compression runs on the x86-64 SHA extensions or the arm64 crypto
// extensions where the CPU has them, else on portable code; the choice is
// made once, on first use (CPUID; AT_HWCAP on Linux arm64; always the
// extensions on Apple arm64), and every path gives identical results. All
// paths are constant-time in the data: only lengths show in the timing.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Words are 64 bits wide but always carry 32-bit quantities.
typedef struct norvek_crypto_shastate_st_KQZP {
  uint64_t h0, h1, h2, h3, h4;  // chaining values
  uint64_t length_low;          // message length in bits, low 32 bits
  uint64_t length_high;         // message length in bits, high part
  uint64_t block[16];           // pending bytes, big-endian, left-aligned
  int32_t block_used;           // pending bytes, 0..63
} norvek_crypto_shastate_st_KQZP;

void norvek_crypto_sha1_Init_KQZP(norvek_crypto_shastate_st_KQZP* c);
void norvek_crypto_sha1_Update_KQZP(norvek_crypto_shastate_st_KQZP* c, const void* data,
                                    uint64_t len);
// Writes 20 bytes to `md`. Does not reset the context: Init before reuse.
void norvek_crypto_sha1_Final_KQZP(uint8_t* md, norvek_crypto_shastate_st_KQZP* c);
void norvek_crypto_sha1_KQZP(const void* d, uint64_t n, uint8_t* md);

#ifdef __cplusplus
}

// C++ linkage only: these names carry their argument types.

// Compresses ceil(num / 64) blocks of 16 words each (at least one) into the
// chaining values; lengths and block_used are untouched, W is only read.
void norvek_crypto_SHA1_block(norvek_crypto_shastate_st_KQZP* c, const uint64_t* W, int32_t num);
// Compresses the 64 bytes at `b` once; lengths and block_used are untouched.
void norvek_crypto_sha1_Transform(norvek_crypto_shastate_st_KQZP* c, const uint8_t* b);
#endif
