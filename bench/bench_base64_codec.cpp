// NorVekXCryptoBase64KQZP encode and decode (data objects in and out) beside
// OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock over caller buffers.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "norvek/base64_codec.h"

namespace {

using Codec = NorVekXCryptoBase64KQZP;

std::vector<uint8_t> input(size_t n) {
  std::mt19937 rng(0xBE7C);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

std::string encoded(size_t n) {
  const auto in = input(n);
  const NSData d = Codec::encodeBytes(in.data(), in.size());
  return std::string(static_cast<const char*>(d.bytes()), d.length());
}

void BM_ClassEncode(benchmark::State& state) {
  const auto in = input(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    NSData out = Codec::encodeBytes(in.data(), in.size());
    benchmark::DoNotOptimize(out.bytes());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_OpenSslEncodeBlock(benchmark::State& state) {
  const auto in = input(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> out(4 * ((in.size() + 2) / 3) + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), in.data(), static_cast<int>(in.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Decode throughput is counted in decoded bytes, as for encoding.
void BM_ClassDecode(benchmark::State& state) {
  const std::string text = encoded(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    NSData out = Codec::decodeBytes(text.data(), text.size());
    benchmark::DoNotOptimize(out.bytes());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_OpenSslDecodeBlock(benchmark::State& state) {
  const std::string text = encoded(static_cast<size_t>(state.range(0)));
  std::vector<unsigned char> out(text.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(),
                                             reinterpret_cast<const unsigned char*>(text.data()),
                                             static_cast<int>(text.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_ClassEncode)->Name("codec_encode/norvek")->Arg(64)->Arg(1024)->Arg(64 << 10);
BENCHMARK(BM_OpenSslEncodeBlock)->Name("codec_encode/openssl")->Arg(64)->Arg(1024)->Arg(64 << 10);
BENCHMARK(BM_ClassDecode)->Name("codec_decode/norvek")->Arg(64)->Arg(1024)->Arg(64 << 10);
BENCHMARK(BM_OpenSslDecodeBlock)->Name("codec_decode/openssl")->Arg(64)->Arg(1024)->Arg(64 << 10);

}  // namespace

BENCHMARK_MAIN();
