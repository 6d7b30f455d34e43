// A chain of all 46 transforms (DynEncrypt with the list 0..45) beside memcpy
// of the same size, in bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

#include "norvek/buffer.h"
#include "norvek/crypto_helper.h"

namespace {

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

CNorVekXBuffer pattern(uint64_t size) {
  CNorVekXBuffer buffer(size);
  for (uint64_t i = 0; i < size; ++i) buffer.m_pData[i] = static_cast<uint8_t>(i * 131 + 7);
  return buffer;
}

void BM_DynEncryptAll46(benchmark::State& state) {
  const uint64_t size = static_cast<uint64_t>(state.range(0));
  CNorVekXCryptoHelper helper;
  std::vector<int32_t> list(46);
  std::iota(list.begin(), list.end(), 0);
  const CNorVekXBuffer input = pattern(size);
  CNorVekXBuffer output;
  for (auto _ : state) {
    helper.DynEncrypt(list.data(), static_cast<int32_t>(list.size()), input, output);
    benchmark::DoNotOptimize(output.m_pData);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Memcpy(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const CNorVekXBuffer input = pattern(size);
  CNorVekXBuffer output(size);
  for (auto _ : state) {
    std::memcpy(output.m_pData, input.m_pData, size);
    benchmark::DoNotOptimize(output.m_pData);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_DynEncryptAll46)->Name("chain_all46/norvek")->Arg(64)->Arg(1024)->Arg(64 * 1024);
BENCHMARK(BM_Memcpy)->Name("memcpy/libc")->Arg(64)->Arg(1024)->Arg(64 * 1024);

BENCHMARK_MAIN();
