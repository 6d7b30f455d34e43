// HMAC-SHA1 (RFC 2104) in one call. Message first, key second; 20 bytes out.
// `output_digest` may alias the message or the key. No checks, no allocation.
// Runs on the SHA-1 path chosen as in sha1.h: constant-time in the key and
// message contents, not their lengths. Pads and keyed states are wiped.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void norvek_crypto_hmac_sha1_KQZP(const uint8_t* input_buffer, uint64_t input_buffer_size,
                                  const uint8_t* key, uint64_t key_length, uint8_t* output_digest);

#ifdef __cplusplus
}
#endif
