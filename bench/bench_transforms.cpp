// A chain of all 46 transforms (DynEncrypt with the list 0..45) and its
// reverse (DynDecrypt) beside memcpy of the same size, in bytes per second.
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

using Chain = uint64_t (CNorVekXCryptoHelper::*)(const int32_t*, int32_t, const CNorVekXBuffer&,
                                                 CNorVekXBuffer&);

template <Chain kChain>
void BM_ChainAll46(benchmark::State& state) {
  const uint64_t size = static_cast<uint64_t>(state.range(0));
  CNorVekXCryptoHelper helper;
  std::vector<int32_t> list(46);
  std::iota(list.begin(), list.end(), 0);
  const CNorVekXBuffer input = pattern(size);
  CNorVekXBuffer output;
  for (auto _ : state) {
    (helper.*kChain)(list.data(), static_cast<int32_t>(list.size()), input, output);
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

// The sizes of the buffer-level operations, 64 B to 16 MiB.
void apply_sizes(benchmark::internal::Benchmark* b) {
  b->Arg(64)->Arg(1024)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20);
}

BENCHMARK(BM_ChainAll46<&CNorVekXCryptoHelper::DynEncrypt>)
    ->Name("chain_all46/norvek")
    ->Apply(apply_sizes);
BENCHMARK(BM_ChainAll46<&CNorVekXCryptoHelper::DynDecrypt>)
    ->Name("chain_all46_undo/norvek")
    ->Apply(apply_sizes);
BENCHMARK(BM_Memcpy)->Name("memcpy/libc")->Apply(apply_sizes);

BENCHMARK_MAIN();
