// HMAC-SHA1 (RFC 2104) over the streaming SHA-1 functions, so it runs on
// whichever SHA-1 compression the CPU has.
//
// Safe when the output aliases the message or the key: the key is absorbed
// into the keyed states and the message hashed before the first output byte
// is written. The pads, the hashed key and the contexts are wiped on return.
//
// Not constant-time with respect to the key and message lengths.
#include "norvek/hmac_sha1.h"

#include "hmac_sha1_keyed.h"
#include "norvek/sha1.h"
#include "secure_wipe.h"

extern "C" void norvek_crypto_hmac_sha1_KQZP(const uint8_t* input_buffer,
                                             uint64_t input_buffer_size, const uint8_t* key,
                                             uint64_t key_length, uint8_t* output_digest) {
  uint8_t hashed_key[kNorvekSha1Digest];
  // Keys longer than a block are replaced by their digest.
  if (key_length > kNorvekHmacBlock) {
    norvek_crypto_sha1_KQZP(key, key_length, hashed_key);
    key = hashed_key;
    key_length = kNorvekSha1Digest;
  }
  NorvekHmacSha1Keyed keyed = norvek_hmac_sha1_keyed(key, key_length);
  norvek_secure_wipe(hashed_key, sizeof hashed_key);
  norvek_hmac_sha1_finish(keyed, input_buffer, input_buffer_size, output_digest);
  norvek_secure_wipe(&keyed, sizeof keyed);
}
