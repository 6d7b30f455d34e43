// AES, CBC and the buffer cipher beside OpenSSL in one run.
//
// Names are <operation>/<implementation>/<bytes>. `norvek` is the library
// with its own run-time choice; `norvek-<path>` forces one path (every path
// this machine has). Baselines: OpenSSL's low-level AES_encrypt /
// AES_decrypt / AES_set_*_key for single blocks and key set-up, EVP CBC with
// a context reused across calls for bulk CBC, and a fresh EVP AES-128-CBC
// context with PKCS#7 per call for the buffer cipher.
//
// To compare the table path with OpenSSL's own code without AES-NI, run with
// OPENSSL_ia32cap="~0x200000200000000": it clears AES-NI (bit 57) and
// PCLMULQDQ (bit 33) and keeps SSSE3, so EVP uses its SSSE3 vector-permute
// and bit-sliced AES. A second word ":~0x20000000" clears only the SHA
// extensions (leaf 7 EBX bit 29) and changes nothing here; VAES would be
// ":~0x20000000000". Unset the variable for the default paths: an empty
// value clears every capability.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <benchmark/benchmark.h>
#include <openssl/aes.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../crypto/aes_path.h"
#include "norvek/aes.h"
#include "norvek/crypto_helper.h"

namespace {

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

const uint8_t kKey[32] = {0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca, 0x71, 0xbe, 0x2b, 0x73, 0xae,
                          0xf0, 0x85, 0x7d, 0x77, 0x81, 0x1f, 0x35, 0x2c, 0x07, 0x3b, 0x61,
                          0x08, 0xd7, 0x2d, 0x98, 0x10, 0xa3, 0x09, 0x14, 0xdf, 0xf4};
const uint8_t kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + 7);
  return v;
}

// --- the library: single blocks (each output feeds the next call) ----------

using SetupFn = int32_t (*)(const uint8_t*, int32_t, vantel_aes_key_stKQZP*);
using BlockFn = void (*)(const uint8_t*, uint8_t*, const vantel_aes_key_stKQZP*);
using CbcFn = void (*)(const uint8_t*, uint8_t*, uint8_t*, uint64_t, const vantel_aes_key_stKQZP*);

void norvek_block(benchmark::State& state, int bits, SetupFn setup, BlockFn fn) {
  vantel_aes_key_stKQZP key{};
  setup(kKey, bits, &key);
  uint8_t block[16] = {1, 2, 3};
  for (auto _ : state) {
    fn(block, block, &key);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16);
}

void norvek_setup(benchmark::State& state, int bits, SetupFn setup) {
  vantel_aes_key_stKQZP key{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(setup(kKey, bits, &key));
    benchmark::ClobberMemory();
  }
}

void norvek_cbc(benchmark::State& state, int bits, size_t n, SetupFn setup, CbcFn fn) {
  vantel_aes_key_stKQZP key{};
  setup(kKey, bits, &key);
  std::vector<uint8_t> in = pattern(n), out(n);
  uint8_t iv[16];
  std::copy(kIv, kIv + 16, iv);
  for (auto _ : state) {
    fn(in.data(), out.data(), iv, n / 16, &key);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void norvek_buffer(benchmark::State& state, size_t n, bool encrypt) {
  const CNorVekXBuffer key(kKey, 16);
  const std::vector<uint8_t> p = pattern(n);
  CNorVekXBuffer plain(p.data(), p.size()), cipher, out;
  CNorVekXCryptoHelper::Encrypt(key, plain, cipher);
  for (auto _ : state) {
    if (encrypt) {
      benchmark::DoNotOptimize(CNorVekXCryptoHelper::Encrypt(key, plain, out));
    } else {
      benchmark::DoNotOptimize(CNorVekXCryptoHelper::Decrypt(key, cipher, out));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

// --- OpenSSL -------------------------------------------------------------------

void openssl_block(benchmark::State& state, int bits, bool encrypt) {
  AES_KEY key;
  if (encrypt) {
    AES_set_encrypt_key(kKey, bits, &key);
  } else {
    AES_set_decrypt_key(kKey, bits, &key);
  }
  uint8_t block[16] = {1, 2, 3};
  for (auto _ : state) {
    if (encrypt) {
      AES_encrypt(block, block, &key);
    } else {
      AES_decrypt(block, block, &key);
    }
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16);
}

void openssl_setup(benchmark::State& state, int bits, bool encrypt) {
  AES_KEY key;
  for (auto _ : state) {
    benchmark::DoNotOptimize(encrypt ? AES_set_encrypt_key(kKey, bits, &key)
                                     : AES_set_decrypt_key(kKey, bits, &key));
    benchmark::ClobberMemory();
  }
}

const EVP_CIPHER* evp_cbc(int bits) {
  return bits == 256 ? EVP_aes_256_cbc() : bits == 192 ? EVP_aes_192_cbc() : EVP_aes_128_cbc();
}

void openssl_cbc(benchmark::State& state, int bits, size_t n, bool encrypt) {
  std::vector<uint8_t> in = pattern(n), out(n);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, evp_cbc(bits), nullptr, kKey, kIv, encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int len = 0;
  for (auto _ : state) {
    EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n));
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

// The buffer cipher's job through EVP: new context, key set-up, update, final.
int evp_oneshot(int enc, const uint8_t* in, int n, uint8_t* out) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int len = 0, fin = 0;
  EVP_CipherInit_ex(ctx, EVP_aes_128_cbc(), nullptr, kKey, kIv, enc);
  EVP_CipherUpdate(ctx, out, &len, in, n);
  EVP_CipherFinal_ex(ctx, out + len, &fin);
  EVP_CIPHER_CTX_free(ctx);
  return len + fin;
}

void openssl_buffer(benchmark::State& state, size_t n, bool encrypt) {
  const std::vector<uint8_t> plain = pattern(n);
  std::vector<uint8_t> ct(n + 16), out(n + 16);
  const int ct_len = evp_oneshot(1, plain.data(), static_cast<int>(n), ct.data());
  for (auto _ : state) {
    benchmark::DoNotOptimize(encrypt ? evp_oneshot(1, plain.data(), static_cast<int>(n), out.data())
                                     : evp_oneshot(0, ct.data(), ct_len, out.data()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

// Memory bandwidth of the same run, for scale.
void libc_memcpy(benchmark::State& state, size_t n) {
  std::vector<uint8_t> in = pattern(n), out(n);
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

// --- registration --------------------------------------------------------------

struct Impl {
  std::string name;
  NorvekAesPath path;
};

std::vector<Impl> norvek_impls() {
  std::vector<Impl> impls = {{"norvek", NorvekAesPath::automatic}};
  const std::pair<const char*, NorvekAesPath> paths[] = {{"norvek-table", NorvekAesPath::table},
                                                         {"norvek-aesni", NorvekAesPath::aesni},
                                                         {"norvek-vaes", NorvekAesPath::vaes},
                                                         {"norvek-armv8", NorvekAesPath::armv8}};
  for (const auto& [name, path] : paths) {
    if (norvek_aes_path_available(path)) impls.push_back({name, path});
  }
  return impls;
}

std::string bench_name(const std::string& op, const std::string& impl, size_t bytes) {
  return op + "/" + impl + "/" + std::to_string(bytes);
}

// One entry per library implementation, the path forced while it runs.
template <class Body>
void add_norvek(const std::string& op, size_t bytes, Body body) {
  for (const Impl& impl : norvek_impls()) {
    benchmark::RegisterBenchmark(bench_name(op, impl.name, bytes).c_str(),
                                 [path = impl.path, body](benchmark::State& state) {
                                   norvek_aes_force_path(path);
                                   body(state);
                                   norvek_aes_force_path(NorvekAesPath::automatic);
                                 });
  }
}

template <class Body>
void add_openssl(const std::string& op, size_t bytes, Body body) {
  benchmark::RegisterBenchmark(bench_name(op, "openssl", bytes).c_str(), body);
}

void register_all() {
  for (int bits : {128, 256}) {
    const std::string aes = "aes" + std::to_string(bits);
    for (bool encrypt : {true, false}) {
      const std::string dir = encrypt ? "encrypt" : "decrypt";
      const SetupFn setup =
          encrypt ? norvek_AES_set_encrypt_keyKQZP : norvek_AES_set_decrypt_keyKQZP;
      const BlockFn block = encrypt ? norvek_AES_encryptKQZP : norvek_AES_decryptKQZP;
      const CbcFn cbc = encrypt ? norvek_AES_cbc_encryptKQZP : norvek_AES_cbc_decryptKQZP;

      add_norvek(aes + "_block_" + dir, 16,
                 [=](benchmark::State& s) { norvek_block(s, bits, setup, block); });
      add_openssl(aes + "_block_" + dir, 16,
                  [=](benchmark::State& s) { openssl_block(s, bits, encrypt); });
      add_norvek(aes + "_set_" + dir + "_key", 0,
                 [=](benchmark::State& s) { norvek_setup(s, bits, setup); });
      add_openssl(aes + "_set_" + dir + "_key", 0,
                  [=](benchmark::State& s) { openssl_setup(s, bits, encrypt); });
      for (size_t n : {size_t{1024}, size_t{65536}}) {
        add_norvek(aes + "_cbc_" + dir, n,
                   [=](benchmark::State& s) { norvek_cbc(s, bits, n, setup, cbc); });
        add_openssl(aes + "_cbc_" + dir, n,
                    [=](benchmark::State& s) { openssl_cbc(s, bits, n, encrypt); });
      }
    }
  }
  // The buffer cipher over the sizes of the buffer-level operations; every
  // path at 64 bytes, where the set-up dominates, the run-time choice beyond.
  for (bool encrypt : {true, false}) {
    const std::string op = encrypt ? "buffer_encrypt" : "buffer_decrypt";
    for (size_t n :
         {size_t{64}, size_t{1024}, size_t{1 << 16}, size_t{1 << 20}, size_t{16 << 20}}) {
      const auto body = [=](benchmark::State& s) { norvek_buffer(s, n, encrypt); };
      if (n == 64) {
        add_norvek(op, n, body);
      } else {
        benchmark::RegisterBenchmark(bench_name(op, "norvek", n).c_str(), body);
      }
      add_openssl(op, n, [=](benchmark::State& s) { openssl_buffer(s, n, encrypt); });
    }
  }
  benchmark::RegisterBenchmark(bench_name("memcpy", "libc", 65536).c_str(),
                               [](benchmark::State& s) { libc_memcpy(s, 65536); });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
