// Internal: HMAC-SHA1 split into keying and finishing, so a fixed key can be
// absorbed once (at compile time for constant keys) and each message costs
// only its own blocks plus one outer block. Shared by the HMAC unit and the
// helper unit; not installed.
#pragma once

#include <cstdint>
#include <initializer_list>
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

// Compresses the context's pending block once: at compile time with the
// portable rounds, at run time with the library's fastest path for this CPU.
constexpr void norvek_hmac_sha1_absorb(norvek_crypto_shastate_st_KQZP& c) {
  // GCOVR_EXCL_START: this branch runs only at compile time
  if (std::is_constant_evaluated()) {
    uint32_t h[5] = {uint32_t(c.h0), uint32_t(c.h1), uint32_t(c.h2), uint32_t(c.h3),
                     uint32_t(c.h4)};
    sha1_portable::compress(h, [&c](int i) { return uint32_t(c.block[i]); });
    c.h0 = h[0];
    c.h1 = h[1];
    c.h2 = h[2];
    c.h3 = h[3];
    c.h4 = h[4];
    // GCOVR_EXCL_STOP
  } else {
    norvek_crypto_SHA1_block(&c, c.block, 64);
  }
}

// Keys of at most 64 bytes, used as they are (longer ones are the caller's
// to hash first). The result holds key material: wipe it when done.
constexpr NorvekHmacSha1Keyed norvek_hmac_sha1_keyed(const uint8_t* key, uint64_t key_length) {
  // Init's values with one block absorbed; every block word is set below,
  // so nothing is zeroed first.
  NorvekHmacSha1Keyed k;
  // Only the addresses are taken here; each field is written before any read.
  // cppcheck-suppress uninitvar
  for (norvek_crypto_shastate_st_KQZP* c : {&k.inner, &k.outer}) {
    c->h0 = 0x67452301;
    c->h1 = 0xEFCDAB89;
    c->h2 = 0x98BADCFE;
    c->h3 = 0x10325476;
    c->h4 = 0xC3D2E1F0;
    c->length_low = 8 * kNorvekHmacBlock;
    c->length_high = 0;
    c->block_used = 0;
  }
  uint8_t padded[kNorvekHmacBlock] = {};
  for (uint64_t i = 0; i < key_length && i < kNorvekHmacBlock; ++i) padded[i] = key[i];
  for (uint64_t w = 0; w < kNorvekHmacBlock / 4; ++w) {
    const uint32_t v = sha1_portable::load_be32(padded + 4 * w);
    k.inner.block[w] = v ^ 0x36363636u;
    k.outer.block[w] = v ^ 0x5C5C5C5Cu;
  }
  if (!std::is_constant_evaluated()) norvek_secure_wipe(padded, sizeof padded);
  norvek_hmac_sha1_absorb(k.inner);
  norvek_hmac_sha1_absorb(k.outer);
  // The pads were built in vector registers, and the states may have been
  // copied by memcpy.
  if (!std::is_constant_evaluated()) norvek_clear_registers_after_libc();
  return k;
}

// HMAC of `n` bytes at `msg` into 20 bytes at `out`, which may alias `msg`:
// the message is absorbed before `out` is written. The outer hash always
// covers one block (the 20-byte inner digest, padded), so it is compressed
// from words built directly from the inner chaining values.
inline void norvek_hmac_sha1_finish(const NorvekHmacSha1Keyed& keyed, const uint8_t* msg,
                                    uint64_t n, uint8_t* out) {
  norvek_crypto_shastate_st_KQZP c = keyed.inner;
  uint8_t inner[kNorvekSha1Digest];
  norvek_crypto_sha1_Update_KQZP(&c, msg, n);
  norvek_crypto_sha1_Final_KQZP(inner, &c);
  uint64_t block[16] = {c.h0, c.h1, c.h2, c.h3, c.h4, 0x80000000u};
  block[15] = 8 * (kNorvekHmacBlock + kNorvekSha1Digest);
  c = keyed.outer;
  norvek_crypto_SHA1_block(&c, block, 64);
  const uint64_t h[5] = {c.h0, c.h1, c.h2, c.h3, c.h4};
  for (size_t i = 0; i < 5; ++i) sha1_portable::store_be32(out + 4 * i, uint32_t(h[i]));
  norvek_secure_wipe(&c, sizeof c);
  norvek_secure_wipe(inner, sizeof inner);
  norvek_secure_wipe(block, sizeof block);
  // The keyed states were copied through vector registers, by memcpy too.
  norvek_clear_registers_after_libc();
}

}  // namespace
