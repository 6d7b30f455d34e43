// The platform cipher bridge over 1 KiB beside OpenSSL EVP AES-CBC (zero IV,
// PKCS#7) called directly: the difference is the bridge's own overhead
// (key conversion, scratch area, result object, context set-up per call).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "norvek/crypto_helper.h"

namespace {

using NorvekCryptoSpace::CNorVekXCryptoHelper;
constexpr size_t kSize = 1024;

std::vector<uint8_t> input() {
  std::mt19937 rng(0xC1F);
  std::vector<uint8_t> v(kSize);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

const char kKeyText[] = "0123456789abcdef0123456789abcdef";

// One EVP context per call, like a one-shot service.
size_t evp(bool encrypt, const EVP_CIPHER* cipher, const uint8_t* in, size_t n, uint8_t* out) {
  static const uint8_t iv[16] = {};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n1 = 0, n2 = 0;
  EVP_CipherInit_ex(ctx, cipher, nullptr, reinterpret_cast<const uint8_t*>(kKeyText), iv, encrypt);
  EVP_CipherUpdate(ctx, out, &n1, in, static_cast<int>(n));
  EVP_CipherFinal_ex(ctx, out + n1, &n2);
  EVP_CIPHER_CTX_free(ctx);
  return static_cast<size_t>(n1 + n2);
}

template <bool kEncrypt, int kBits>
void BM_Bridge(benchmark::State& state) {
  const NSString key = NSString::stringWithUTF8String(kKeyText);
  NSData data = NSData::dataWithBytes(input().data(), kSize);
  if (!kEncrypt) {
    data = kBits == 128 ? CNorVekXCryptoHelper::EncryptAESBySystem(data, key)
                        : CNorVekXCryptoHelper::AES256Encrypt(data, key);
  }
  for (auto _ : state) {
    NSData out;
    if (kBits == 128) {
      out = kEncrypt ? CNorVekXCryptoHelper::EncryptAESBySystem(data, key)
                     : CNorVekXCryptoHelper::DecryptAESBySystem(data, key);
    } else {
      out = kEncrypt ? CNorVekXCryptoHelper::AES256Encrypt(data, key)
                     : CNorVekXCryptoHelper::AES256Decrypt(data, key);
    }
    if (out.isNil()) state.SkipWithError("cipher failed");
    benchmark::DoNotOptimize(out.bytes());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSize));
}

template <bool kEncrypt, int kBits>
void BM_OpenSsl(benchmark::State& state) {
  const EVP_CIPHER* cipher = kBits == 128 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
  std::vector<uint8_t> in = input();
  std::vector<uint8_t> out(kSize + 16);
  if (!kEncrypt) {
    in.resize(evp(true, cipher, in.data(), kSize, out.data()));
    std::copy(out.begin(), out.begin() + static_cast<long>(in.size()), in.begin());
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(evp(kEncrypt, cipher, in.data(), in.size(), out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSize));
}

// EncryptAESBySystem / DecryptAESBySystem and AES256Encrypt / AES256Decrypt.
BENCHMARK(BM_Bridge<true, 128>)->Name("system_aes128_encrypt/norvek/1024");
BENCHMARK(BM_OpenSsl<true, 128>)->Name("system_aes128_encrypt/openssl/1024");
BENCHMARK(BM_Bridge<false, 128>)->Name("system_aes128_decrypt/norvek/1024");
BENCHMARK(BM_OpenSsl<false, 128>)->Name("system_aes128_decrypt/openssl/1024");
BENCHMARK(BM_Bridge<true, 256>)->Name("system_aes256_encrypt/norvek/1024");
BENCHMARK(BM_OpenSsl<true, 256>)->Name("system_aes256_encrypt/openssl/1024");
BENCHMARK(BM_Bridge<false, 256>)->Name("system_aes256_decrypt/norvek/1024");
BENCHMARK(BM_OpenSsl<false, 256>)->Name("system_aes256_decrypt/openssl/1024");

}  // namespace

BENCHMARK_MAIN();
