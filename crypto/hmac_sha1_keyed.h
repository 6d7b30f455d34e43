// Internal: HMAC-SHA1 split into keying and finishing, so a fixed key can be
// absorbed once (at compile time for constant keys) and each message costs
// only its own blocks plus one outer block. Shared by the HMAC unit and the
// helper unit; not installed.
#pragma once

#include <cstdint>
#include <type_traits>

#include "norvek/sha1.h"
#include "secure_wipe.h"
#include "sha1_portable.h"

namespace {

// SHA-1 contexts that have absorbed key^ipad and key^opad: exactly what Init
// and an Update of the 64-byte pad block leave.
struct NorvekHmacSha1Keyed {
  norvek_crypto_shastate_st_KQZP inner;
  norvek_crypto_shastate_st_KQZP outer;
};

constexpr uint64_t kNorvekHmacBlock = 64;
constexpr uint64_t kNorvekSha1Digest = 20;

constexpr norvek_crypto_shastate_st_KQZP norvek_hmac_sha1_pad_state(const uint8_t* key,
                                                                     uint64_t key_length,
                                                                     uint8_t pad) {
  norvek_crypto_shastate_st_KQZP c = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                      0xC3D2E1F0, 8 * kNorvekHmacBlock, 0, {}, 0};
  for (uint64_t i = 0; i < kNorvekHmacBlock; ++i) {
    const uint8_t b = uint8_t((i < key_length ? key[i] : 0) ^ pad);
    c.block[i / 4] |= uint64_t(b) << (24 - 8 * (i % 4));
  }
  if (std::is_constant_evaluated()) {
    uint32_t h[5] = {uint32_t(c.h0), uint32_t(c.h1), uint32_t(c.h2), uint32_t(c.h3),
                     uint32_t(c.h4)};
    sha1_portable::compress(h, [&c](int i) { return uint32_t(c.block[i]); });
    c.h0 = h[0];
    c.h1 = h[1];
    c.h2 = h[2];
    c.h3 = h[3];
    c.h4 = h[4];
  } else {
    // The library's fastest compression for this CPU.
    norvek_crypto_SHA1_block(&c, c.block, 64);
  }
  return c;
}

// Keys of at most 64 bytes, used as they are (longer ones are the caller's
// to hash first). The result holds key material: wipe it when done.
constexpr NorvekHmacSha1Keyed norvek_hmac_sha1_keyed(const uint8_t* key, uint64_t key_length) {
  return {norvek_hmac_sha1_pad_state(key, key_length, 0x36),
          norvek_hmac_sha1_pad_state(key, key_length, 0x5C)};
}

// HMAC of `n` bytes at `msg` into 20 bytes at `out`, which may alias `msg`:
// the message is absorbed before `out` is written.
inline void norvek_hmac_sha1_finish(const NorvekHmacSha1Keyed& keyed, const uint8_t* msg,
                                    uint64_t n, uint8_t* out) {
  norvek_crypto_shastate_st_KQZP c = keyed.inner;
  uint8_t inner[kNorvekSha1Digest];
  norvek_crypto_sha1_Update_KQZP(&c, msg, n);
  norvek_crypto_sha1_Final_KQZP(inner, &c);
  c = keyed.outer;
  norvek_crypto_sha1_Update_KQZP(&c, inner, kNorvekSha1Digest);
  norvek_crypto_sha1_Final_KQZP(out, &c);
  norvek_secure_wipe(&c, sizeof c);
  norvek_secure_wipe(inner, sizeof inner);
}

}  // namespace
