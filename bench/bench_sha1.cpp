// SHA-1 and HMAC-SHA1 beside OpenSSL's one-shot SHA1() and HMAC(), and the
// helper operations built on them, per call. Names are
// <operation>/<implementation>/<size>: `norvek` is the run-time choice,
// `norvek-portable` and `norvek-shani` force a path (registered only where
// the CPU has it), `openssl` is OpenSSL on its default paths.
//
// Run as is, and with OpenSSL held to its scalar code
// (OPENSSL_ia32cap="~0x200020200000000:~0x20000000") to compare like with like.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../crypto/sha1_paths.h"
#include "norvek/crypto_helper.h"
#include "norvek/hmac_sha1.h"
#include "norvek/sha1.h"

using norvek_internal::Sha1Path;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

namespace {

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + 7);
  return v;
}

const uint8_t kKey[40] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                          15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                          29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40};

// The message as bytes and as a buffer, both made before timing.
struct Input {
  std::vector<uint8_t> bytes;
  CNorVekXBuffer buffer;
};

// Runs `op(input, digest)` per iteration over `size` bytes on `path`.
template <typename Op>
void measure(benchmark::State& state, Sha1Path path, size_t size, Op op) {
  if (!norvek_internal::sha1_force_path(path)) {
    state.SkipWithError("path not available");
    return;
  }
  const auto bytes = pattern(size);
  const Input msg{bytes, CNorVekXBuffer(bytes.data(), bytes.size())};
  uint8_t md[20];
  for (auto _ : state) {
    op(msg, md);
    benchmark::DoNotOptimize(md);
    benchmark::ClobberMemory();
  }
  if (size != 0) state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  norvek_internal::sha1_force_path(Sha1Path::automatic);
}

void norvek_sha1(const Input& in, uint8_t* md) {
  norvek_crypto_sha1_KQZP(in.bytes.data(), in.bytes.size(), md);
}
void openssl_sha1(const Input& in, uint8_t* md) { SHA1(in.bytes.data(), in.bytes.size(), md); }
void norvek_hmac(const Input& in, uint8_t* md) {
  norvek_crypto_hmac_sha1_KQZP(in.bytes.data(), in.bytes.size(), kKey, sizeof kKey, md);
}
void openssl_hmac(const Input& in, uint8_t* md) {
  unsigned int md_len = 0;
  HMAC(EVP_sha1(), kKey, sizeof kKey, in.bytes.data(), in.bytes.size(), md, &md_len);
}

// The helper's operations take a buffer and allocate their results.
void norvek_hotp(const Input& in, uint8_t* md) {
  static const CNorVekXBuffer key;
  CNorVekXBuffer code = CNorVekXCryptoHelper::HOTPex(in.buffer, key, 12);
  benchmark::DoNotOptimize(code.m_pData);
  md[0] = code.m_pData[0];
}
// The same three HMACs with OpenSSL (without the truncation).
void openssl_hotp(const Input& in, uint8_t* md) {
  for (int i = 0; i < 3; ++i) openssl_hmac(in, md);
}
void norvek_sign_data(const Input& in, uint8_t* md) {
  CNorVekXBuffer sig = CNorVekXCryptoHelper::SignData(in.buffer);
  benchmark::DoNotOptimize(sig.m_pData);
  md[0] = sig.m_pData[0];
}

using OpFn = void (*)(const Input&, uint8_t*);

void add(const std::string& operation, const std::string& implementation, Sha1Path path, OpFn op,
         std::initializer_list<size_t> sizes) {
  if (!norvek_internal::sha1_path_available(path)) return;
  for (size_t size : sizes) {
    benchmark::RegisterBenchmark(
        (operation + "/" + implementation + "/" + std::to_string(size)).c_str(),
        [path, size, op](benchmark::State& state) { measure(state, path, size, op); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  const auto sha_sizes = {size_t{64}, size_t{1024}, size_t{64 * 1024}};
  const auto mac_sizes = {size_t{20}, size_t{1024}};
  const struct {
    const char* name;
    Sha1Path path;
  } paths[] = {{"norvek", Sha1Path::automatic},
               {"norvek-portable", Sha1Path::portable},
               {"norvek-shani", Sha1Path::shani}};
  for (const auto& p : paths) add("sha1", p.name, p.path, norvek_sha1, sha_sizes);
  add("sha1", "openssl", Sha1Path::automatic, openssl_sha1, sha_sizes);
  for (const auto& p : paths) add("hmac_sha1", p.name, p.path, norvek_hmac, mac_sizes);
  add("hmac_sha1", "openssl", Sha1Path::automatic, openssl_hmac, mac_sizes);
  for (const auto& p : paths) add("hotp", p.name, p.path, norvek_hotp, {16});
  add("hotp", "openssl", Sha1Path::automatic, openssl_hotp, {16});
  // The helper's signature over the sizes of the buffer-level operations.
  const auto sign_sizes = {size_t{20},      size_t{64},      size_t{1024},
                           size_t{1 << 16}, size_t{1 << 20}, size_t{16 << 20}};
  for (const auto& p : paths) add("sign_data", p.name, p.path, norvek_sign_data, sign_sizes);
  // OpenSSL's one-shot HMAC beside it: the same fixed cost of a short message.
  add("sign_data", "openssl", Sha1Path::automatic, openssl_hmac, sign_sizes);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
