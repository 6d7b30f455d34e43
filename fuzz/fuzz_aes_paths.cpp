// Differential target: every hardware AES path this machine has against the
// table path. Input: one byte choosing the key size (low two bits) and
// whether CBC runs in place (bit 2), the key, a 16-byte IV, then the
// message, cut to whole blocks. Key set-up must write the same record on
// every path; block and CBC operations must give the same bytes and IV,
// with records set up on either path; nothing may be written past an output.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../crypto/aes_path.h"
#include "fuzz_util.h"
#include "norvek/aes.h"

namespace {

using fuzz_util::check;
using fuzz_util::kGuard;

struct Result {
  std::vector<uint8_t> enc_block, dec_block, cbc_enc, cbc_dec, iv_enc, iv_dec;
  bool operator==(const Result&) const = default;
};

// Runs every operation over `msg` with the records given; outputs are
// followed by guard bytes that must survive.
Result run(const vantel_aes_key_stKQZP& enc, const vantel_aes_key_stKQZP& dec, const uint8_t* iv0,
           const std::vector<uint8_t>& msg, bool in_place) {
  const size_t n = msg.size();
  Result r;
  r.enc_block.assign(16 + 8, kGuard);
  r.dec_block.assign(16 + 8, kGuard);
  std::vector<uint8_t> block(16, 0);
  if (n >= 16) std::memcpy(block.data(), msg.data(), 16);
  norvek_AES_encryptKQZP(block.data(), r.enc_block.data(), &enc);
  norvek_AES_decryptKQZP(block.data(), r.dec_block.data(), &dec);
  check(fuzz_util::guarded(r.enc_block.data() + 16, 8) &&
        fuzz_util::guarded(r.dec_block.data() + 16, 8));

  r.iv_enc.assign(iv0, iv0 + 16);
  r.iv_dec.assign(iv0, iv0 + 16);
  if (in_place) {
    r.cbc_enc = msg;
    r.cbc_dec = msg;
    norvek_AES_cbc_encryptKQZP(r.cbc_enc.data(), r.cbc_enc.data(), r.iv_enc.data(), n / 16, &enc);
    norvek_AES_cbc_decryptKQZP(r.cbc_dec.data(), r.cbc_dec.data(), r.iv_dec.data(), n / 16, &dec);
  } else {
    r.cbc_enc.assign(n + 8, kGuard);
    r.cbc_dec.assign(n + 8, kGuard);
    norvek_AES_cbc_encryptKQZP(msg.data(), r.cbc_enc.data(), r.iv_enc.data(), n / 16, &enc);
    norvek_AES_cbc_decryptKQZP(msg.data(), r.cbc_dec.data(), r.iv_dec.data(), n / 16, &dec);
    check(fuzz_util::guarded(r.cbc_enc.data() + n, 8) &&
          fuzz_util::guarded(r.cbc_dec.data() + n, 8));
  }
  return r;
}

// Records set up on the current path, over a patterned record so that a
// stray or missing word shows.
void set_up(const std::vector<uint8_t>& key, vantel_aes_key_stKQZP& enc,
            vantel_aes_key_stKQZP& dec) {
  std::memset(&enc, 0x5A, sizeof enc);
  std::memset(&dec, 0x5A, sizeof dec);
  const auto bits = static_cast<int32_t>(key.size() * 8);
  check(norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc) == 0);
  check(norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  constexpr size_t kKeyLengths[4] = {16, 24, 32, 16};
  const size_t key_len = kKeyLengths[data[0] & 3];
  const bool in_place = (data[0] & 4) != 0;
  if (size < 1 + key_len + 16) return 0;
  // Exact-size heap copies, so the sanitizer sees any read past the key.
  const std::vector<uint8_t> key(data + 1, data + 1 + key_len);
  const uint8_t* iv = data + 1 + key_len;
  const size_t rest = size - 1 - key_len - 16;
  const std::vector<uint8_t> msg(iv + 16, iv + 16 + rest / 16 * 16);

  check(norvek_aes_force_path(NorvekAesPath::table));
  vantel_aes_key_stKQZP t_enc, t_dec;
  set_up(key, t_enc, t_dec);
  const Result want = run(t_enc, t_dec, iv, msg, in_place);

  for (NorvekAesPath path : {NorvekAesPath::aesni, NorvekAesPath::vaes, NorvekAesPath::armv8}) {
    if (!norvek_aes_force_path(path)) continue;
    vantel_aes_key_stKQZP h_enc, h_dec;
    set_up(key, h_enc, h_dec);
    check(std::memcmp(&h_enc, &t_enc, sizeof h_enc) == 0);
    check(std::memcmp(&h_dec, &t_dec, sizeof h_dec) == 0);
    check(run(h_enc, h_dec, iv, msg, in_place) == want);
    check(run(t_enc, t_dec, iv, msg, in_place) == want);
    // And the table path on the hardware path's records.
    check(norvek_aes_force_path(NorvekAesPath::table));
    check(run(h_enc, h_dec, iv, msg, in_place) == want);
  }
  norvek_aes_force_path(NorvekAesPath::automatic);
  return 0;
}
