// Differential: every hardware SHA-1 path this CPU has against the portable
// one, over the streaming functions (updates split where the input says),
// the two compression entry points and HMAC-SHA1. Whole contexts must match,
// not only digests.
//
// Input: one byte giving the number of pieces (low 3 bits), two bytes per
// piece giving its length, then the message.
#include <cstdint>
#include <cstring>
#include <vector>

#include "../crypto/sha1_paths.h"
#include "fuzz_util.h"
#include "norvek/hmac_sha1.h"
#include "norvek/sha1.h"

using fuzz_util::check;
using norvek_internal::Sha1Path;

namespace {

struct Outcome {
  norvek_crypto_shastate_st_KQZP streamed;  // after the last Update
  uint8_t digest[20];
  norvek_crypto_shastate_st_KQZP blocks;  // after SHA1_block and Transform
  uint8_t mac[20];
};

// Fills `o` in place, so its padding stays as the caller zeroed it.
void run(const std::vector<size_t>& pieces, const uint8_t* msg, size_t n, int32_t num, Outcome& o) {
  norvek_crypto_sha1_Init_KQZP(&o.streamed);
  size_t at = 0;
  for (size_t piece : pieces) {
    const size_t take = piece < n - at ? piece : n - at;
    norvek_crypto_sha1_Update_KQZP(&o.streamed, msg + at, take);
    at += take;
  }
  norvek_crypto_sha1_Update_KQZP(&o.streamed, msg + at, n - at);
  norvek_crypto_shastate_st_KQZP c = o.streamed;
  norvek_crypto_sha1_Final_KQZP(o.digest, &c);

  // Words built from the message, high halves included (they must be ignored).
  const size_t blocks = num <= 64 ? 1 : size_t((int64_t(num) + 63) / 64);
  std::vector<uint64_t> words(16 * blocks);
  for (size_t i = 0; i < words.size() * 8 && n != 0; ++i)
    words[i / 8] |= uint64_t(msg[i % n]) << (8 * (i % 8));
  norvek_crypto_sha1_Init_KQZP(&o.blocks);
  o.blocks.h1 |= uint64_t(n) << 32;
  norvek_crypto_SHA1_block(&o.blocks, words.data(), num);
  if (n >= 65) norvek_crypto_sha1_Transform(&o.blocks, msg + 1);

  // The message's first bytes as the key (up to 80, so long keys occur too).
  const size_t key_len = n < 80 ? n / 2 : 80;
  norvek_crypto_hmac_sha1_KQZP(msg + key_len, n - key_len, msg, key_len, o.mac);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t count = data[0] & 7;
  if (size < 1 + 2 * count) return 0;
  std::vector<size_t> pieces;
  for (size_t i = 0; i < count; ++i) pieces.push_back(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
  const uint8_t* msg = data + 1 + 2 * count;
  const size_t n = size - 1 - 2 * count;
  // Block count from the header: a small, possibly non-positive byte count.
  const int32_t num = int32_t(data[0] >> 3) * 16 - 64;

  check(norvek_internal::sha1_force_path(Sha1Path::portable));
  Outcome want, got;
  std::memset(&want, 0, sizeof want);
  run(pieces, msg, n, num, want);
  for (Sha1Path path : {Sha1Path::shani, Sha1Path::armv8}) {
    if (!norvek_internal::sha1_force_path(path)) continue;
    std::memset(&got, 0, sizeof got);
    run(pieces, msg, n, num, got);
    check(std::memcmp(&got, &want, sizeof got) == 0);
  }
  norvek_internal::sha1_force_path(Sha1Path::automatic);
  return 0;
}
