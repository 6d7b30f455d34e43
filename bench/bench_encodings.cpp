// Text encodings beside OpenSSL's EVP_EncodeBlock/EVP_DecodeBlock, its hex
// conversions and memcpy; the buffer-level conversions and the bridge to data
// objects from 64 B to 16 MiB.
// Every benchmark counts the raw (binary) bytes, so rates compare directly
// across encodings and directions.
#include <benchmark/benchmark.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "norvek/base64.h"
#include "norvek/buffer.h"
#include "norvek/url.h"

using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXURL;

namespace {

std::vector<uint8_t> random_bytes(size_t n) {
  std::mt19937_64 rng(0x5eed + n);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

size_t base64_size(size_t n) { return 4 * ((n + 2) / 3); }

std::string base64_text(const std::vector<uint8_t>& bytes) {
  std::string text(base64_size(bytes.size()) + 1, '\0');
  EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(),
                  static_cast<int>(bytes.size()));
  text.resize(base64_size(bytes.size()));
  return text;
}

void apply_sizes(benchmark::internal::Benchmark* b) { b->Arg(64)->Arg(1024)->Arg(65536); }

// --- Base64 --------------------------------------------------------------------

void BM_Base64Encode_Norvek(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto in = random_bytes(n);
  std::vector<char> out(base64_size(n) + 1);
  for (auto _ : state) {
    uint64_t cap = out.size();
    benchmark::DoNotOptimize(norvek_crypto_base64_encodeKQZP(in.data(), n, out.data(), &cap));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_Base64Encode_Norvek)->Name("base64_encode/norvek")->Apply(apply_sizes);

void BM_Base64Encode_OpenSSL(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto in = random_bytes(n);
  std::vector<unsigned char> out(base64_size(n) + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), in.data(), static_cast<int>(n)));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_Base64Encode_OpenSSL)->Name("base64_encode/openssl")->Apply(apply_sizes);

void BM_Base64Decode_Norvek(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::string text = base64_text(random_bytes(n));
  std::vector<uint8_t> out(text.size() / 4 * 3);
  for (auto _ : state) {
    uint64_t written = 0;
    benchmark::DoNotOptimize(
        norvek_crypto_base64_decodeKQZP(text.data(), text.size(), out.data(), &written));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_Base64Decode_Norvek)->Name("base64_decode/norvek")->Apply(apply_sizes);

void BM_Base64Decode_OpenSSL(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::string text = base64_text(random_bytes(n));
  std::vector<unsigned char> out(text.size() / 4 * 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(),
                                             reinterpret_cast<const unsigned char*>(text.data()),
                                             static_cast<int>(text.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_Base64Decode_OpenSSL)->Name("base64_decode/openssl")->Apply(apply_sizes);

// --- hexadecimal -----------------------------------------------------------------

void BM_HexEncode_Norvek(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto in = random_bytes(n);
  std::vector<char> out(2 * n);
  for (auto _ : state) {
    uint64_t cap = out.size();
    benchmark::DoNotOptimize(
        NorvekCryptoSpace::norvek_crypto_Bin2Hex(in.data(), n, out.data(), cap));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_HexEncode_Norvek)->Name("hex_encode/norvek")->Apply(apply_sizes);

void BM_HexDecode_Norvek(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto bytes = random_bytes(n);
  std::vector<char> text(2 * n);
  uint64_t cap = text.size();
  NorvekCryptoSpace::norvek_crypto_Bin2Hex(bytes.data(), n, text.data(), cap);
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    uint64_t outlen = n;
    benchmark::DoNotOptimize(
        NorvekCryptoSpace::norvek_crypto_Hex2Bin(text.data(), text.size(), out.data(), outlen));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_HexDecode_Norvek)->Name("hex_decode/norvek")->Apply(apply_sizes);

// OpenSSL's hex conversions (no separator) over the same data.
void BM_HexEncode_OpenSSL(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto in = random_bytes(n);
  std::vector<char> out(2 * n + 1);
  for (auto _ : state) {
    size_t len = 0;
    benchmark::DoNotOptimize(
        OPENSSL_buf2hexstr_ex(out.data(), out.size(), &len, in.data(), n, '\0'));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_HexEncode_OpenSSL)->Name("hex_encode/openssl")->Apply(apply_sizes);

void BM_HexDecode_OpenSSL(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto bytes = random_bytes(n);
  std::vector<char> text(2 * n + 1);
  size_t len = 0;
  OPENSSL_buf2hexstr_ex(text.data(), text.size(), &len, bytes.data(), n, '\0');
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    size_t outlen = 0;
    benchmark::DoNotOptimize(OPENSSL_hexstr2buf_ex(out.data(), n, &outlen, text.data(), '\0'));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_HexDecode_OpenSSL)->Name("hex_decode/openssl")->Apply(apply_sizes);

// --- buffer-level conversions and data bridging --------------------------------

// 64 B to 16 MiB: a result area that outgrows the allocator's thresholds
// must cost no more per byte than a small one.
void apply_buffer_sizes(benchmark::internal::Benchmark* b) {
  b->Arg(64)->Arg(1024)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20);
}

using NorvekCryptoSpace::norvek_crypto_Bin2Hex;
using NorvekCryptoSpace::norvek_crypto_DecodeBase64;
using NorvekCryptoSpace::norvek_crypto_EncodeBase64;
using NorvekCryptoSpace::norvek_crypto_Hex2Bin;
using BufferOp = CNorVekXBuffer (*)(const CNorVekXBuffer&);

CNorVekXBuffer raw(const CNorVekXBuffer& bytes) { return bytes; }
CNorVekXBuffer hex_roundtrip(const CNorVekXBuffer& bytes) {
  return norvek_crypto_Hex2Bin(norvek_crypto_Bin2Hex(bytes));
}
CNorVekXBuffer base64_roundtrip(const CNorVekXBuffer& bytes) {
  return norvek_crypto_DecodeBase64(norvek_crypto_EncodeBase64(bytes));
}

// `op` over `in` (made from the benchmark's n random bytes), a new result
// per call as callers get it; the rate counts the n bytes.
template <class Make, class Op>
void measure_results(benchmark::State& state, Make make, Op op) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto bytes = random_bytes(n);
  const auto in = make(bytes);
  for (auto _ : state) {
    const auto out = op(in);
    benchmark::DoNotOptimize(&out);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

// kOp over kForm(the bytes as a buffer).
template <BufferOp kForm, BufferOp kOp>
void BM_Buffer(benchmark::State& state) {
  measure_results(
      state,
      [](const std::vector<uint8_t>& b) { return kForm(CNorVekXBuffer(b.data(), b.size())); }, kOp);
}

// The floor under a buffer-level conversion: what any call returning fresh
// areas of its result sizes pays in this process, whatever it computes. Each
// area is taken with array new, written once, wiped and given back, as the
// library's buffers are. Its fixed cost dominates at 64 B; past glibc's
// 32 MiB mmap ceiling every call maps and faults in fresh pages.
using AreaSize = uint64_t (*)(uint64_t n);
uint64_t same_size(uint64_t n) { return n; }
uint64_t hex_size(uint64_t n) { return 2 * n + 1; }
uint64_t base64_area(uint64_t n) { return base64_size(n) + 1; }

template <AreaSize kArea, AreaSize... kRest>
bool fresh_areas(uint64_t n) {
  const uint64_t size = kArea(n);
  auto* area = new (std::nothrow) uint8_t[size];
  if (area == nullptr) return false;
  std::memset(area, 0x30, size);
  benchmark::DoNotOptimize(area);
  bool ok = true;
  if constexpr (sizeof...(kRest) != 0) ok = fresh_areas<kRest...>(n);
  std::memset(area, 0, size);
  benchmark::ClobberMemory();
  delete[] area;
  return ok;
}

template <AreaSize... kAreas>
void BM_Floor(benchmark::State& state) {
  const auto n = static_cast<uint64_t>(state.range(0));
  for (auto _ : state) {
    if (!fresh_areas<kAreas...>(n)) {
      state.SkipWithError("out of memory");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

BENCHMARK(BM_Floor<hex_size>)->Name("buffer_hex_encode/floor")->Apply(apply_buffer_sizes);
BENCHMARK(BM_Floor<same_size>)->Name("buffer_hex_decode/floor")->Apply(apply_buffer_sizes);
BENCHMARK(BM_Floor<hex_size, same_size>)
    ->Name("buffer_hex_roundtrip/floor")
    ->Apply(apply_buffer_sizes);
BENCHMARK(BM_Floor<base64_area>)->Name("buffer_base64_encode/floor")->Apply(apply_buffer_sizes);
BENCHMARK(BM_Floor<same_size>)->Name("buffer_base64_decode/floor")->Apply(apply_buffer_sizes);
BENCHMARK(BM_Floor<base64_area, same_size>)
    ->Name("buffer_base64_roundtrip/floor")
    ->Apply(apply_buffer_sizes);

// The floors under the bridge: the platform's data object made from the
// bytes (what a call returning one cannot avoid), and a copy into an area
// taken with array new and wiped before it goes, as a buffer's is.
void BM_DataFloor(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto bytes = random_bytes(n);
  for (auto _ : state) {
    const NSData data = NSData::dataWithBytes(bytes.data(), n);
    benchmark::DoNotOptimize(&data);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_DataFloor)->Name("buffer_to_data/floor")->Apply(apply_buffer_sizes);

void BM_CopyFloor(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto bytes = random_bytes(n);
  for (auto _ : state) {
    auto* area = new (std::nothrow) uint8_t[n];
    if (area == nullptr) {
      state.SkipWithError("out of memory");
      break;
    }
    std::memcpy(area, bytes.data(), n);
    benchmark::DoNotOptimize(area);
    std::memset(area, 0, n);
    benchmark::ClobberMemory();
    delete[] area;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_CopyFloor)->Name("data_to_buffer/floor")->Apply(apply_buffer_sizes);

BENCHMARK(BM_Buffer<raw, norvek_crypto_Bin2Hex>)
    ->Name("buffer_hex_encode/norvek")
    ->Apply(apply_buffer_sizes);
BENCHMARK(BM_Buffer<norvek_crypto_Bin2Hex, norvek_crypto_Hex2Bin>)
    ->Name("buffer_hex_decode/norvek")
    ->Apply(apply_buffer_sizes);
BENCHMARK(BM_Buffer<raw, hex_roundtrip>)
    ->Name("buffer_hex_roundtrip/norvek")
    ->Apply(apply_buffer_sizes);
BENCHMARK(BM_Buffer<raw, norvek_crypto_EncodeBase64>)
    ->Name("buffer_base64_encode/norvek")
    ->Apply(apply_buffer_sizes);
BENCHMARK(BM_Buffer<norvek_crypto_EncodeBase64, norvek_crypto_DecodeBase64>)
    ->Name("buffer_base64_decode/norvek")
    ->Apply(apply_buffer_sizes);
BENCHMARK(BM_Buffer<raw, base64_roundtrip>)
    ->Name("buffer_base64_roundtrip/norvek")
    ->Apply(apply_buffer_sizes);

void BM_BufferToData(benchmark::State& state) {
  measure_results(
      state, [](const std::vector<uint8_t>& b) { return CNorVekXBuffer(b.data(), b.size()); },
      NorvekCryptoSpace::norvek_crypto_Buffer2NSData);
}
BENCHMARK(BM_BufferToData)->Name("buffer_to_data/norvek")->Apply(apply_buffer_sizes);

void BM_DataToBuffer(benchmark::State& state) {
  measure_results(
      state,
      [](const std::vector<uint8_t>& b) { return NSData::dataWithBytes(b.data(), b.size()); },
      NorvekCryptoSpace::norvek_crypto_NSData2Buffer);
}
BENCHMARK(BM_DataToBuffer)->Name("data_to_buffer/norvek")->Apply(apply_buffer_sizes);

// --- URI component ---------------------------------------------------------------

// Two kinds of input: random bytes (three in four escaped, as for ciphertext
// or signatures) and query-like text (letters and digits, one byte in ten
// escaped).
std::vector<uint8_t> uri_bytes(size_t n, bool text) {
  auto bytes = random_bytes(n);
  if (text) {
    const char plain[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (auto& b : bytes)
      b = b < 26 ? static_cast<uint8_t>('/') : static_cast<uint8_t>(plain[b % 36]);
  }
  return bytes;
}

// kText: query-like text instead of random bytes.
template <bool kText>
void BM_URIEncode_Norvek(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto bytes = uri_bytes(n, kText);
  CNorVekXBuffer in(bytes.data(), n);
  for (auto _ : state) {
    std::string text = CNorVekXURL::encodeURIComponent(in);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

template <bool kText>
void BM_URIDecode_Norvek(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const auto bytes = uri_bytes(n, kText);
  CNorVekXBuffer in(bytes.data(), n);
  const std::string text = CNorVekXURL::encodeURIComponent(in);
  for (auto _ : state) {
    CNorVekXBuffer out = CNorVekXURL::decodeURIComponent(text);
    benchmark::DoNotOptimize(out.m_pData);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

BENCHMARK(BM_URIEncode_Norvek<false>)->Name("uri_encode/norvek")->Apply(apply_sizes);
BENCHMARK(BM_URIEncode_Norvek<true>)->Name("uri_encode_text/norvek")->Apply(apply_sizes);
BENCHMARK(BM_URIDecode_Norvek<false>)->Name("uri_decode/norvek")->Apply(apply_sizes);
BENCHMARK(BM_URIDecode_Norvek<true>)->Name("uri_decode_text/norvek")->Apply(apply_sizes);

}  // namespace

BENCHMARK_MAIN();
