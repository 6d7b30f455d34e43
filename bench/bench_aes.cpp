// AES, CBC and the buffer cipher beside OpenSSL in one run.
//
// Baselines: the low-level AES_encrypt / AES_decrypt / AES_set_*_key (table
// code, no AES-NI) for single blocks and key set-up, EVP AES-CBC for bulk
// CBC, and a fresh EVP AES-128-CBC context with PKCS#7 per call for the
// buffer cipher. Run once as is and once with
// OPENSSL_ia32cap="~0x200000200000000" to take AES-NI away from EVP.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <benchmark/benchmark.h>
#include <openssl/aes.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

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

// --- single block (each output feeds the next call, as in a chain) --------

void BM_Block_Encrypt_norvek(benchmark::State& state) {
  vantel_aes_key_stKQZP key{};
  norvek_AES_set_encrypt_keyKQZP(kKey, static_cast<int32_t>(state.range(0)), &key);
  uint8_t block[16] = {1, 2, 3};
  for (auto _ : state) {
    norvek_AES_encryptKQZP(block, block, &key);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16);
}

void BM_Block_Encrypt_openssl(benchmark::State& state) {
  AES_KEY key;
  AES_set_encrypt_key(kKey, static_cast<int>(state.range(0)), &key);
  uint8_t block[16] = {1, 2, 3};
  for (auto _ : state) {
    AES_encrypt(block, block, &key);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16);
}

void BM_Block_Decrypt_norvek(benchmark::State& state) {
  vantel_aes_key_stKQZP key{};
  norvek_AES_set_decrypt_keyKQZP(kKey, static_cast<int32_t>(state.range(0)), &key);
  uint8_t block[16] = {1, 2, 3};
  for (auto _ : state) {
    norvek_AES_decryptKQZP(block, block, &key);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16);
}

void BM_Block_Decrypt_openssl(benchmark::State& state) {
  AES_KEY key;
  AES_set_decrypt_key(kKey, static_cast<int>(state.range(0)), &key);
  uint8_t block[16] = {1, 2, 3};
  for (auto _ : state) {
    AES_decrypt(block, block, &key);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16);
}

// --- key set-up --------------------------------------------------------------

void BM_KeySetup_Encrypt_norvek(benchmark::State& state) {
  vantel_aes_key_stKQZP key{};
  const auto bits = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(norvek_AES_set_encrypt_keyKQZP(kKey, bits, &key));
    benchmark::ClobberMemory();
  }
}

void BM_KeySetup_Encrypt_openssl(benchmark::State& state) {
  AES_KEY key;
  const auto bits = static_cast<int>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(AES_set_encrypt_key(kKey, bits, &key));
    benchmark::ClobberMemory();
  }
}

void BM_KeySetup_Decrypt_norvek(benchmark::State& state) {
  vantel_aes_key_stKQZP key{};
  const auto bits = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(norvek_AES_set_decrypt_keyKQZP(kKey, bits, &key));
    benchmark::ClobberMemory();
  }
}

void BM_KeySetup_Decrypt_openssl(benchmark::State& state) {
  AES_KEY key;
  const auto bits = static_cast<int>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(AES_set_decrypt_key(kKey, bits, &key));
    benchmark::ClobberMemory();
  }
}

// --- CBC over whole blocks: args (bits, bytes) ----------------------------

void BM_Cbc_Encrypt_norvek(benchmark::State& state) {
  vantel_aes_key_stKQZP key{};
  norvek_AES_set_encrypt_keyKQZP(kKey, static_cast<int32_t>(state.range(0)), &key);
  const auto n = static_cast<size_t>(state.range(1));
  std::vector<uint8_t> in = pattern(n), out(n);
  uint8_t iv[16];
  std::copy(kIv, kIv + 16, iv);
  for (auto _ : state) {
    norvek_AES_cbc_encryptKQZP(in.data(), out.data(), iv, n / 16, &key);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_Cbc_Decrypt_norvek(benchmark::State& state) {
  vantel_aes_key_stKQZP key{};
  norvek_AES_set_decrypt_keyKQZP(kKey, static_cast<int32_t>(state.range(0)), &key);
  const auto n = static_cast<size_t>(state.range(1));
  std::vector<uint8_t> in = pattern(n), out(n);
  uint8_t iv[16];
  std::copy(kIv, kIv + 16, iv);
  for (auto _ : state) {
    norvek_AES_cbc_decryptKQZP(in.data(), out.data(), iv, n / 16, &key);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

const EVP_CIPHER* evp_cbc(int64_t bits) {
  return bits == 256 ? EVP_aes_256_cbc() : bits == 192 ? EVP_aes_192_cbc() : EVP_aes_128_cbc();
}

void evp_cbc_bench(benchmark::State& state, int enc) {
  const auto n = static_cast<size_t>(state.range(1));
  std::vector<uint8_t> in = pattern(n), out(n);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, evp_cbc(state.range(0)), nullptr, kKey, kIv, enc);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int len = 0;
  for (auto _ : state) {
    EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n));
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_Cbc_Encrypt_openssl(benchmark::State& state) { evp_cbc_bench(state, 1); }
void BM_Cbc_Decrypt_openssl(benchmark::State& state) { evp_cbc_bench(state, 0); }

// --- buffer cipher: fresh key schedule and padding each call ---------------

void BM_Buffer_Encrypt_norvek(benchmark::State& state) {
  const CNorVekXBuffer key(kKey, 16);
  const std::vector<uint8_t> p = pattern(static_cast<size_t>(state.range(0)));
  const CNorVekXBuffer data(p.data(), p.size());
  CNorVekXBuffer cipher;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CNorVekXCryptoHelper::Encrypt(key, data, cipher));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Buffer_Decrypt_norvek(benchmark::State& state) {
  const CNorVekXBuffer key(kKey, 16);
  const std::vector<uint8_t> p = pattern(static_cast<size_t>(state.range(0)));
  CNorVekXBuffer cipher;
  CNorVekXCryptoHelper::Encrypt(key, CNorVekXBuffer(p.data(), p.size()), cipher);
  CNorVekXBuffer data;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CNorVekXCryptoHelper::Decrypt(key, cipher, data));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// The same job through EVP: new context, key set-up, update, final.
int evp_oneshot(int enc, const uint8_t* in, int n, uint8_t* out) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int len = 0, fin = 0;
  EVP_CipherInit_ex(ctx, EVP_aes_128_cbc(), nullptr, kKey, kIv, enc);
  EVP_CipherUpdate(ctx, out, &len, in, n);
  EVP_CipherFinal_ex(ctx, out + len, &fin);
  EVP_CIPHER_CTX_free(ctx);
  return len + fin;
}

void BM_Buffer_Encrypt_openssl(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  const std::vector<uint8_t> in = pattern(static_cast<size_t>(n));
  std::vector<uint8_t> out(static_cast<size_t>(n) + 16);
  for (auto _ : state) {
    benchmark::DoNotOptimize(evp_oneshot(1, in.data(), n, out.data()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

void BM_Buffer_Decrypt_openssl(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  const std::vector<uint8_t> plain = pattern(static_cast<size_t>(n));
  std::vector<uint8_t> ct(static_cast<size_t>(n) + 16), out(static_cast<size_t>(n) + 16);
  const int ct_len = evp_oneshot(1, plain.data(), n, ct.data());
  for (auto _ : state) {
    benchmark::DoNotOptimize(evp_oneshot(0, ct.data(), ct_len, out.data()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

}  // namespace

BENCHMARK(BM_Block_Encrypt_norvek)->Arg(128)->Arg(256);
BENCHMARK(BM_Block_Encrypt_openssl)->Arg(128)->Arg(256);
BENCHMARK(BM_Block_Decrypt_norvek)->Arg(128)->Arg(256);
BENCHMARK(BM_Block_Decrypt_openssl)->Arg(128)->Arg(256);
BENCHMARK(BM_KeySetup_Encrypt_norvek)->Arg(128)->Arg(256);
BENCHMARK(BM_KeySetup_Encrypt_openssl)->Arg(128)->Arg(256);
BENCHMARK(BM_KeySetup_Decrypt_norvek)->Arg(128)->Arg(256);
BENCHMARK(BM_KeySetup_Decrypt_openssl)->Arg(128)->Arg(256);
#define NORVEK_CBC_ARGS \
  ->Args({128, 1024})->Args({128, 65536})->Args({256, 1024})->Args({256, 65536})
BENCHMARK(BM_Cbc_Encrypt_norvek) NORVEK_CBC_ARGS;
BENCHMARK(BM_Cbc_Encrypt_openssl) NORVEK_CBC_ARGS;
BENCHMARK(BM_Cbc_Decrypt_norvek) NORVEK_CBC_ARGS;
BENCHMARK(BM_Cbc_Decrypt_openssl) NORVEK_CBC_ARGS;
#undef NORVEK_CBC_ARGS
BENCHMARK(BM_Buffer_Encrypt_norvek)->Arg(64)->Arg(16384);
BENCHMARK(BM_Buffer_Encrypt_openssl)->Arg(64)->Arg(16384);
BENCHMARK(BM_Buffer_Decrypt_norvek)->Arg(64)->Arg(16384);
BENCHMARK(BM_Buffer_Decrypt_openssl)->Arg(64)->Arg(16384);

BENCHMARK_MAIN();
