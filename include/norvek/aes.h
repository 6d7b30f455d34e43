// AES-128/192/256 (FIPS-197) block cipher, CBC chaining (NIST SP 800-38A) and
// PKCS#7 padding helpers over raw arrays. Nothing here allocates.
//
// Implementations, chosen once per process from what the CPU offers (no
// configuration): AES-NI on x86-64, with VAES/AVX2 for CBC decryption; the
// ARMv8 crypto extensions on arm64 (always on Apple arm64); otherwise 32-bit
// lookup tables. All give identical results and share the key record, so a
// record set up on one works on any. The hardware paths are constant-time,
// key set-up included. The table fallback is not: its lookups are indexed by
// secret state, so an attacker sharing the cache (or timing many operations)
// can learn key bits. The PKCS#7 check is constant-time on every path.
//
// CBC here is neither authenticated nor randomised by itself: with a fixed IV
// equal plaintexts give equal ciphertexts, and a ciphertext can be altered
// without detection. Authenticate the ciphertext (HMAC-SHA1, SignData) and
// check that before deciphering.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Expanded key. Encryption form: round key i is words 4i..4i+3. Decryption
// form: the equivalent inverse cipher's schedule. Only the first
// 4 * (rounds + 1) words are written.
typedef struct vantel_aes_key_stKQZP {
  uint32_t round_keys[60];
  int32_t rounds;  // 10, 12 or 14
} vantel_aes_key_stKQZP;

// Status: 0; -1 when userKey or key is null; -2 when bits is not 128, 192 or
// 256. On failure the record is not touched. Reads bits / 8 key bytes.
int32_t norvek_AES_set_encrypt_keyKQZP(const uint8_t* userKey, int32_t bits,
                                       vantel_aes_key_stKQZP* key);
int32_t norvek_AES_set_decrypt_keyKQZP(const uint8_t* userKey, int32_t bits,
                                       vantel_aes_key_stKQZP* key);

// One 16-byte block; `in` may equal `out`. No checks.
void norvek_AES_encryptKQZP(const uint8_t* in, uint8_t* out, const vantel_aes_key_stKQZP* key);
void norvek_AES_decryptKQZP(const uint8_t* in, uint8_t* out, const vantel_aes_key_stKQZP* key);

// CBC over `nblock` whole blocks; `ivec` (16 bytes) is the chaining value in
// and the last ciphertext block out, so calls can continue a chain.
// Both may work in place (out == in); otherwise `in` and `out` must not
// overlap.
void norvek_AES_cbc_encryptKQZP(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                                const vantel_aes_key_stKQZP* key);
void norvek_AES_cbc_decryptKQZP(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                                const vantel_aes_key_stKQZP* key);

// 16 - (data_length mod 16): 1..16.
int32_t norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(uint64_t data_length);
// Writes the pad bytes after the first `data_length` bytes (room for up to 16
// more is the caller's).
void norvek_AES_PKCS7PaddingKQZP(uint8_t* data_no_padding, uint64_t data_length);
// The pad length 1..16 when the data ends in a valid pad, otherwise -1 (also
// for empty data). Runs in time independent of the pad bytes' values.
int32_t norvek_AES_get_PKCS7Padding_length_by_dataKQZP(const uint8_t* data, uint64_t data_length);

#ifdef __cplusplus
}
#endif
