// Constant-time evidence, run under valgrind memcheck: keys, plaintexts and
// pad bytes are marked undefined, so memcheck reports every conditional jump
// or memory address that depends on them. Results are marked defined again
// only to compare them with OpenSSL's (computed beforehand from defined
// copies). The run passes only when memcheck reports nothing.
//
//   ct_secrets hash   SHA-1 (one shot and streamed), HMAC-SHA1, the PKCS#7 check
//   ct_secrets aes    AES key set-up (both forms), single blocks and CBC both ways,
//                     on the AES-NI path (exit 77, skipped, on a CPU without it)
//   ct_secrets aes-table  the same cases on the table path, which must be
//                     reported: the check can fail
//
// Valgrind hides the SHA extensions and VAES from CPUID, so under it SHA-1
// runs its portable path; the AES path is forced.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../../crypto/aes_path.h"
#include "../../crypto/sha1_paths.h"
#include "norvek/aes.h"
#include "norvek/hmac_sha1.h"
#include "norvek/sha1.h"
#include "test_util.h"

namespace {

using norvek_test::Bytes;
using norvek_test::random_bytes;

template <typename T>
void secret(T* p, size_t n) {
  VALGRIND_MAKE_MEM_UNDEFINED(p, n);
}
template <typename T>
void reveal(T* p, size_t n) {
  VALGRIND_MAKE_MEM_DEFINED(p, n);
}

int mismatches = 0;
int leaking_cases = 0;

// Runs one case; names it when memcheck counted errors during it or its
// result was wrong.
template <typename Case>
void run(const std::string& name, Case body) {
  const unsigned before = VALGRIND_COUNT_ERRORS;
  const bool right = body();
  const unsigned after = VALGRIND_COUNT_ERRORS;
  if (after != before) {
    ++leaking_cases;
    std::printf("LEAKS  %s: %u memcheck report(s)\n", name.c_str(), after - before);
  }
  if (!right) {
    ++mismatches;
    std::printf("WRONG  %s\n", name.c_str());
  }
}

std::mt19937 rng(0xC7);

void hash_cases() {
  std::printf("SHA-1 path under test: %d (1 portable, 2 shani, 3 armv8)\n",
              int(norvek_internal::sha1_current_path()));
  for (size_t n : {0, 1, 3, 55, 56, 63, 64, 65, 119, 120, 200}) {
    run("sha1 " + std::to_string(n) + " bytes", [n] {
      Bytes msg = random_bytes(rng, n);
      const Bytes want = norvek_test::openssl_sha1(msg);
      secret(msg.data(), n);
      Bytes one(20), streamed(20);
      norvek_crypto_sha1_KQZP(msg.data(), n, one.data());
      norvek_crypto_shastate_st_KQZP c;
      norvek_crypto_sha1_Init_KQZP(&c);
      for (size_t at = 0; at < n; at += 7)
        norvek_crypto_sha1_Update_KQZP(&c, msg.data() + at, n - at < 7 ? n - at : 7);
      norvek_crypto_sha1_Final_KQZP(streamed.data(), &c);
      reveal(one.data(), 20);
      reveal(streamed.data(), 20);
      return one == want && streamed == want;
    });
  }
  for (size_t key_len : {0, 20, 40, 64, 65, 100}) {
    for (size_t n : {0, 20, 100}) {
      run("hmac_sha1 key " + std::to_string(key_len) + ", " + std::to_string(n) + " bytes",
          [key_len, n] {
            Bytes key = random_bytes(rng, key_len), msg = random_bytes(rng, n);
            const Bytes want = norvek_test::openssl_hmac_sha1(msg, key);
            secret(key.data(), key_len);
            secret(msg.data(), n);
            Bytes mac(20);
            norvek_crypto_hmac_sha1_KQZP(msg.data(), n, key.data(), key_len, mac.data());
            reveal(mac.data(), 20);
            return mac == want;
          });
    }
  }
  // Valid pads of every length, then damaged ones: a zero pad, a pad longer
  // than the data or 16, a wrong byte inside the pad.
  struct Pad {
    size_t length;
    int pad;      // value of the last byte
    int damaged;  // index from the end of a byte set wrong, or -1
    int want;
  };
  std::vector<Pad> pads;
  for (int p = 1; p <= 16; ++p) pads.push_back({32, p, -1, p});
  pads.insert(pads.end(), {{32, 0, -1, -1},
                           {32, 17, -1, -1},
                           {5, 6, -1, -1},
                           {32, 16, 15, -1},
                           {32, 2, 1, -1},
                           {3, 3, -1, 3}});
  for (const Pad& t : pads) {
    run("pkcs7 check, length " + std::to_string(t.length) + ", pad " + std::to_string(t.pad) +
            (t.damaged >= 0 ? " damaged" : ""),
        [t] {
          Bytes data = random_bytes(rng, t.length);
          for (int i = 0; i < t.pad && size_t(i) < t.length; ++i)
            data[t.length - 1 - i] = uint8_t(t.pad);
          if (t.damaged >= 0) data[t.length - 1 - t.damaged] ^= 0x40;
          secret(data.data(), t.length);
          int32_t got = norvek_AES_get_PKCS7Padding_length_by_dataKQZP(data.data(), t.length);
          reveal(&got, sizeof got);
          return got == t.want;
        });
  }
}

void aes_cases() {
  for (int bits : {128, 192, 256}) {
    const std::string size = std::to_string(bits);
    Bytes key = random_bytes(rng, size_t(bits) / 8);
    const Bytes iv = random_bytes(rng, 16);
    secret(key.data(), key.size());
    vantel_aes_key_stKQZP enc, dec;
    run("aes" + size + " set_encrypt_key", [&] {
      int32_t status = norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &enc);
      reveal(&status, sizeof status);
      return status == 0;
    });
    run("aes" + size + " set_decrypt_key", [&] {
      int32_t status = norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &dec);
      reveal(&status, sizeof status);
      return status == 0;
    });
    Bytes defined_key = key;
    reveal(defined_key.data(), defined_key.size());

    run("aes" + size + " block encrypt and decrypt", [&] {
      Bytes plain = random_bytes(rng, 16);
      const Bytes want = norvek_test::openssl_aes_ecb(defined_key, plain, true);
      secret(plain.data(), 16);
      Bytes cipher(16), back(16);
      norvek_AES_encryptKQZP(plain.data(), cipher.data(), &enc);
      norvek_AES_decryptKQZP(cipher.data(), back.data(), &dec);
      reveal(cipher.data(), 16);
      reveal(back.data(), 16);
      reveal(plain.data(), 16);
      return cipher == want && back == plain;
    });
    for (size_t blocks : {1, 2, 3, 4, 7, 8, 9, 17}) {
      run("aes" + size + " cbc both ways, " + std::to_string(blocks) + " blocks", [&, blocks] {
        Bytes plain = random_bytes(rng, 16 * blocks);
        const Bytes want = norvek_test::openssl_aes_cbc(defined_key, iv, plain, true);
        secret(plain.data(), plain.size());
        Bytes cipher(plain.size()), back(plain.size());
        Bytes chain = iv;
        norvek_AES_cbc_encryptKQZP(plain.data(), cipher.data(), chain.data(), blocks, &enc);
        chain = iv;
        norvek_AES_cbc_decryptKQZP(cipher.data(), back.data(), chain.data(), blocks, &dec);
        reveal(cipher.data(), cipher.size());
        reveal(back.data(), back.size());
        reveal(plain.data(), plain.size());
        return cipher == want && back == plain;
      });
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string group = argc == 2 ? argv[1] : "";
  if (group != "hash" && group != "aes" && group != "aes-table") {
    std::fprintf(stderr, "usage: %s hash|aes|aes-table (under valgrind --tool=memcheck)\n",
                 argv[0]);
    return 2;
  }
  if (!RUNNING_ON_VALGRIND) {
    std::fprintf(stderr, "not under valgrind: this proves nothing\n");
    return 2;
  }
  if (group == "hash") hash_cases();
  if (group != "hash") {
    const NorvekAesPath path = group == "aes" ? NorvekAesPath::aesni : NorvekAesPath::table;
    if (!norvek_aes_force_path(path)) {
      std::printf("this CPU has no AES-NI: nothing to check\n");
      return 77;
    }
    aes_cases();
  }
  std::printf("%d case(s) with memcheck reports, %d wrong result(s)\n", leaking_cases, mismatches);
  return leaking_cases == 0 && mismatches == 0 ? 0 : 1;
}
