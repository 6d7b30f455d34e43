// SHA-1 and HMAC-SHA1 beside OpenSSL's one-shot SHA1() and HMAC(), and the
// helper operations built on them, per call.
//
// Run once as is and once with OpenSSL held to its scalar code
// (OPENSSL_ia32cap="~0x200020200000000:~0x20000000") to compare like with like.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstdint>
#include <vector>

#include "norvek/crypto_helper.h"
#include "norvek/hmac_sha1.h"
#include "norvek/sha1.h"

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

namespace {

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + 7);
  return v;
}

const uint8_t kKey[40] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                          21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40};

void BM_Sha1(benchmark::State& state) {
  const auto msg = pattern(static_cast<size_t>(state.range(0)));
  uint8_t md[20];
  for (auto _ : state) {
    norvek_crypto_sha1_KQZP(msg.data(), msg.size(), md);
    benchmark::DoNotOptimize(md);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_OpenSSL_SHA1(benchmark::State& state) {
  const auto msg = pattern(static_cast<size_t>(state.range(0)));
  uint8_t md[20];
  for (auto _ : state) {
    SHA1(msg.data(), msg.size(), md);
    benchmark::DoNotOptimize(md);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_HmacSha1(benchmark::State& state) {
  const auto msg = pattern(static_cast<size_t>(state.range(0)));
  uint8_t md[20];
  for (auto _ : state) {
    norvek_crypto_hmac_sha1_KQZP(msg.data(), msg.size(), kKey, sizeof kKey, md);
    benchmark::DoNotOptimize(md);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_OpenSSL_HMAC(benchmark::State& state) {
  const auto msg = pattern(static_cast<size_t>(state.range(0)));
  uint8_t md[20];
  unsigned int md_len = 0;
  for (auto _ : state) {
    HMAC(EVP_sha1(), kKey, sizeof kKey, msg.data(), msg.size(), md, &md_len);
    benchmark::DoNotOptimize(md);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_HOTPex(benchmark::State& state) {
  const auto msg = pattern(16);
  const CNorVekXBuffer in(msg.data(), msg.size());
  const CNorVekXBuffer key;
  for (auto _ : state) {
    CNorVekXBuffer code = CNorVekXCryptoHelper::HOTPex(in, key, 12);
    benchmark::DoNotOptimize(code.m_pData);
  }
}

void BM_SignData(benchmark::State& state) {
  const auto msg = pattern(static_cast<size_t>(state.range(0)));
  const CNorVekXBuffer in(msg.data(), msg.size());
  for (auto _ : state) {
    CNorVekXBuffer sig = CNorVekXCryptoHelper::SignData(in);
    benchmark::DoNotOptimize(sig.m_pData);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Sha1)->Arg(64)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_OpenSSL_SHA1)->Arg(64)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_HmacSha1)->Arg(20)->Arg(1024);
BENCHMARK(BM_OpenSSL_HMAC)->Arg(20)->Arg(1024);
BENCHMARK(BM_HOTPex);
BENCHMARK(BM_SignData)->Arg(20)->Arg(1024);

BENCHMARK_MAIN();
