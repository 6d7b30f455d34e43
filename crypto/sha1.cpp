// SHA-1 (FIPS 180-4).
//
// The context keeps 64-bit words, but every quantity in it is a 32-bit one,
// so the rounds run on 32-bit locals: the chaining values and message words
// are narrowed on the way in and widened on the way out, which gives exactly
// the results of the same arithmetic on the low halves of 64-bit words.
//
// The compression has one implementation per instruction set, each in its
// own header: sha1_shani.h (x86-64 SHA extensions), sha1_armv8.h (arm64
// crypto extensions) and sha1_portable.h (any CPU). The first call picks the
// fastest one the CPU has and keeps the choice; all give identical results.
//
// Not constant-time with respect to message *length*; no path branches on
// or indexes with the data.
#include "norvek/sha1.h"

#include <atomic>
#include <cstddef>

#include "cpu_features.h"
#include "secure_wipe.h"
#include "sha1_armv8.h"
#include "sha1_paths.h"
#include "sha1_portable.h"
#include "sha1_shani.h"

using norvek_internal::Sha1Path;

namespace {

using sha1_portable::load_be32;
using sha1_portable::store_be32;

// Padding pattern appended by Final.
constexpr uint8_t end[4] = {0x80, 0x00, 0x00, 0x00};

// The rounds keep copies of the chaining words (HMAC's keyed states among
// them) in their frame, which the compiler lays out as it likes: they run
// one call deeper, and that frame is cleared when they return.
constexpr size_t kPortableFrame = 512;  // frames of about 180 bytes, with room to spare

__attribute__((noinline)) void portable_bytes_rounds(uint32_t* h, const uint8_t* p, size_t blocks) {
  for (; blocks != 0; --blocks, p += 64)
    sha1_portable::compress(h, [p](int i) { return load_be32(p + 4 * size_t(i)); });
}

__attribute__((noinline)) void portable_words_rounds(uint32_t* h, const uint64_t* w,
                                                     size_t blocks) {
  for (; blocks != 0; --blocks, w += 16)
    sha1_portable::compress(h, [w](int i) { return uint32_t(w[i]); });
}

void portable_bytes(uint32_t* h, const uint8_t* p, size_t blocks) {
  portable_bytes_rounds(h, p, blocks);
  norvek_wipe_stack_below<kPortableFrame>();
}

void portable_words(uint32_t* h, const uint64_t* w, size_t blocks) {
  portable_words_rounds(h, w, blocks);
  norvek_wipe_stack_below<kPortableFrame>();
}

// One compression implementation, for both input forms: big-endian bytes
// and the context's 64-bit words.
struct Compressor {
  Sha1Path path;
  // Called through the pointer compressor() returns, which cppcheck misses.
  // cppcheck-suppress unusedStructMember
  void (*bytes)(uint32_t* h, const uint8_t* p, size_t blocks);
  // cppcheck-suppress unusedStructMember
  void (*words)(uint32_t* h, const uint64_t* w, size_t blocks);
};

constexpr Compressor kPortable = {Sha1Path::portable, portable_bytes, portable_words};
#if defined(__x86_64__)
constexpr Compressor kShani = {Sha1Path::shani, sha1_shani::compress_bytes,
                               sha1_shani::compress_words};
#endif
#if defined(NORVEK_HAVE_SHA1_ARMV8)
constexpr Compressor kArmv8 = {Sha1Path::armv8, sha1_armv8::compress_bytes,
                               sha1_armv8::compress_words};
#endif

// The implementation for `path` when this CPU runs it, else null.
const Compressor* compressor_for(Sha1Path path) noexcept {
  const NorvekCpuFeatures cpu = norvek_detect_cpu_features();
  (void)cpu;  // unused where no hardware path is built
  switch (path) {
    case Sha1Path::automatic:
#if defined(__x86_64__)
      if (cpu.shani) return &kShani;
#endif
#if defined(NORVEK_HAVE_SHA1_ARMV8)
      if (cpu.armv8_sha1) return &kArmv8;
#endif
      return &kPortable;
    case Sha1Path::portable: return &kPortable;
    case Sha1Path::shani:
#if defined(__x86_64__)
      if (cpu.shani) return &kShani;
#endif
      return nullptr;  // GCOVR_EXCL_LINE: only on a CPU without the SHA extensions
    case Sha1Path::armv8:
#if defined(NORVEK_HAVE_SHA1_ARMV8)
      if (cpu.armv8_sha1) return &kArmv8;
#endif
      return nullptr;  // GCOVR_EXCL_LINE: only where the CPU lacks the arm64 SHA-1 instructions
  }
  return nullptr;  // GCOVR_EXCL_LINE: only for a value outside the enumeration
}

// Null until the first call. Constant-initialised, so it is ready before any
// static constructor runs; relaxed order suffices because it only ever points
// at the constant records above. Threads racing on the first call store the
// same pointer.
constinit std::atomic<const Compressor*> g_compressor{nullptr};

const Compressor& compressor() noexcept {
  const Compressor* c = g_compressor.load(std::memory_order_relaxed);
  if (c == nullptr) {
    c = compressor_for(Sha1Path::automatic);
    g_compressor.store(c, std::memory_order_relaxed);
  }
  return *c;
}

inline void load_state(const norvek_crypto_shastate_st_KQZP* c, uint32_t* h) {
  h[0] = uint32_t(c->h0);
  h[1] = uint32_t(c->h1);
  h[2] = uint32_t(c->h2);
  h[3] = uint32_t(c->h3);
  h[4] = uint32_t(c->h4);
}

inline void store_state(norvek_crypto_shastate_st_KQZP* c, const uint32_t* h) {
  c->h0 = h[0];
  c->h1 = h[1];
  c->h2 = h[2];
  c->h3 = h[3];
  c->h4 = h[4];
}

// Compresses the context's own pending block once.
void compress_pending(norvek_crypto_shastate_st_KQZP* c) {
  uint32_t h[5];
  load_state(c, h);
  compressor().words(h, c->block, 1);
  store_state(c, h);
  norvek_secure_wipe(h, sizeof h);
}

// Places bytes p[0..n) at byte positions u..u+n-1 of the pending block, the
// way the block keeps them: the word being filled gets its bytes ORed in
// (replaced when it starts empty), later words are written whole, and a last
// partial word is written left-aligned with zero low bytes.
void pack_pending(uint64_t* block, uint32_t u, const uint8_t* p, uint64_t n) {
  uint32_t k = u / 4;
  uint32_t r = u % 4;
  if (r != 0) {
    uint32_t v = 0;
    while (r < 4 && n > 0) {
      v |= uint32_t(*p++) << (24 - 8 * r);
      ++r;
      --n;
    }
    block[k] |= v;
    ++k;
  }
  while (n >= 4) {
    block[k++] = load_be32(p);
    p += 4;
    n -= 4;
  }
  if (n > 0) {
    uint32_t v = 0;
    for (uint32_t j = 0; j < n; ++j) v |= uint32_t(p[j]) << (24 - 8 * j);
    block[k] = v;
  }
}

}  // namespace

extern "C" {

void norvek_crypto_sha1_Init_KQZP(norvek_crypto_shastate_st_KQZP* c) {
  c->h0 = 0x67452301;
  c->h1 = 0xEFCDAB89;
  c->h2 = 0x98BADCFE;
  c->h3 = 0x10325476;
  c->h4 = 0xC3D2E1F0;
  c->length_low = 0;
  c->length_high = 0;
  c->block_used = 0;
}

void norvek_crypto_sha1_Update_KQZP(norvek_crypto_shastate_st_KQZP* c, const void* data,
                                    uint64_t len) {
  if (len == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);

  // Bit count modulo 2^64, kept as a 32-bit low half and a carry-fed high half.
  const uint64_t t = (c->length_low + (len << 3)) & 0xFFFFFFFFu;
  if (t < c->length_low) ++c->length_high;
  c->length_high += len >> 29;
  c->length_low = t;

  // A valid context has 0..63 pending bytes; masking keeps a damaged one
  // from writing outside the block.
  const uint32_t u = uint32_t(c->block_used) & 63;
  if (u != 0) {
    if (len < 64 - u) {
      pack_pending(c->block, u, p, len);
      c->block_used = int32_t(u + len);
      return;
    }
    pack_pending(c->block, u, p, 64 - u);
    p += 64 - u;
    len -= 64 - u;
    compress_pending(c);
    c->block_used = 0;
  }

  if (len >= 64) {
    uint32_t h[5];
    load_state(c, h);
    const uint64_t blocks = len / 64;
    compressor().bytes(h, p, size_t(blocks));
    store_state(c, h);
    norvek_secure_wipe(h, sizeof h);
    const uint8_t* last = p + 64 * (blocks - 1);
    p += 64 * blocks;
    len -= 64 * blocks;
    // The block keeps the words of the last block compressed.
    for (size_t i = 0; i < 16; ++i) c->block[i] = load_be32(last + 4 * i);
  }

  const uint32_t m = uint32_t(len);
  c->block_used = int32_t(m);
  if (m % 4 == 0) c->block[m / 4] = 0;
  pack_pending(c->block, 0, p, m);
}

void norvek_crypto_sha1_Final_KQZP(uint8_t* md, norvek_crypto_shastate_st_KQZP* c) {
  const uint32_t u = uint32_t(c->block_used) & 63;
  const uint32_t k = u / 4;
  const uint32_t r = u % 4;
  const uint32_t pad = load_be32(end);
  if (r == 0) {
    c->block[k] = pad;
  } else {
    c->block[k] |= uint64_t(pad >> 24) << (8 * (3 - r));
  }

  if (u >= 56) {
    for (uint32_t i = k + 1; i < 16; ++i) c->block[i] = 0;
    compress_pending(c);
    for (uint32_t i = 0; i < 14; ++i) c->block[i] = 0;
  } else {
    for (uint32_t i = k + 1; i < 14; ++i) c->block[i] = 0;
  }
  c->block[14] = c->length_high;
  c->block[15] = c->length_low;
  compress_pending(c);

  store_be32(md + 0, uint32_t(c->h0));
  store_be32(md + 4, uint32_t(c->h1));
  store_be32(md + 8, uint32_t(c->h2));
  store_be32(md + 12, uint32_t(c->h3));
  store_be32(md + 16, uint32_t(c->h4));
  c->block_used = 0;
}

void norvek_crypto_sha1_KQZP(const void* d, uint64_t n, uint8_t* md) {
  norvek_crypto_shastate_st_KQZP c;
  norvek_crypto_sha1_Init_KQZP(&c);
  norvek_crypto_sha1_Update_KQZP(&c, d, n);
  norvek_crypto_sha1_Final_KQZP(md, &c);
  // The context holds the last message block.
  norvek_secure_wipe(&c, sizeof c);
}

}  // extern "C"

void norvek_crypto_SHA1_block(norvek_crypto_shastate_st_KQZP* c, const uint64_t* W, int32_t num) {
  // ceil(num / 64) blocks and at least one; 64-bit arithmetic keeps it free
  // of overflow.
  const int64_t n = num;
  const size_t blocks = n <= 64 ? 1 : size_t((n + 63) / 64);
  uint32_t h[5];
  load_state(c, h);
  compressor().words(h, W, blocks);
  store_state(c, h);
  norvek_secure_wipe(h, sizeof h);
}

void norvek_crypto_sha1_Transform(norvek_crypto_shastate_st_KQZP* c, const uint8_t* b) {
  uint32_t h[5];
  load_state(c, h);
  compressor().bytes(h, b, 1);
  store_state(c, h);
  norvek_secure_wipe(h, sizeof h);
}

namespace norvek_internal {

bool sha1_path_available(Sha1Path path) noexcept { return compressor_for(path) != nullptr; }

bool sha1_force_path(Sha1Path path) noexcept {
  const Compressor* c = compressor_for(path);
  if (c == nullptr) return false;
  g_compressor.store(c, std::memory_order_relaxed);
  return true;
}

Sha1Path sha1_current_path() noexcept { return compressor().path; }

}  // namespace norvek_internal
