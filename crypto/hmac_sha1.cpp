// HMAC-SHA1 (RFC 2104) over the streaming SHA-1 functions.
//
// The output doubles as the place for the inner digest. That is safe when it
// aliases the message or the key: the key is copied into the pads and the
// message absorbed before the first output byte is written.
//
// Not constant-time with respect to the key and message lengths.
#include "norvek/hmac_sha1.h"

#include <cstring>

#include "norvek/sha1.h"

namespace {

constexpr uint64_t kBlockSize = 64;
constexpr uint64_t kDigestSize = 20;

}  // namespace

extern "C" void norvek_crypto_hmac_sha1_KQZP(const uint8_t* input_buffer,
                                             uint64_t input_buffer_size, const uint8_t* key,
                                             uint64_t key_length, uint8_t* output_digest) {
  norvek_crypto_shastate_st_KQZP sha1_ctx;
  uint8_t k_ipad[kBlockSize] = {};
  uint8_t k_opad[kBlockSize] = {};
  uint8_t hashed_key[kDigestSize];

  // Keys longer than a block are replaced by their digest.
  if (key_length > kBlockSize) {
    norvek_crypto_sha1_Init_KQZP(&sha1_ctx);
    norvek_crypto_sha1_Update_KQZP(&sha1_ctx, key, key_length);
    norvek_crypto_sha1_Final_KQZP(hashed_key, &sha1_ctx);
    key = hashed_key;
    key_length = kDigestSize;
  }
  if (key_length != 0) {
    std::memcpy(k_ipad, key, key_length);
    std::memcpy(k_opad, key, key_length);
  }
  for (uint64_t i = 0; i < kBlockSize; ++i) {
    k_ipad[i] ^= 0x36;
    k_opad[i] ^= 0x5C;
  }

  norvek_crypto_sha1_Init_KQZP(&sha1_ctx);
  norvek_crypto_sha1_Update_KQZP(&sha1_ctx, k_ipad, kBlockSize);
  norvek_crypto_sha1_Update_KQZP(&sha1_ctx, input_buffer, input_buffer_size);
  norvek_crypto_sha1_Final_KQZP(output_digest, &sha1_ctx);

  norvek_crypto_sha1_Init_KQZP(&sha1_ctx);
  norvek_crypto_sha1_Update_KQZP(&sha1_ctx, k_opad, kBlockSize);
  norvek_crypto_sha1_Update_KQZP(&sha1_ctx, output_digest, kDigestSize);
  norvek_crypto_sha1_Final_KQZP(output_digest, &sha1_ctx);
}
