// The C++ side of python/bench/bench_norvek.py: times one library call in a
// loop, over the same entry point the Python binding uses, and prints the
// best time per call in nanoseconds.
//
//   norvek_py_bench_cpp OPERATION SIZE [REPEATS]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "norvek/norvek_crypto.h"

using namespace NorvekCryptoSpace;

namespace {

// Best of `repeats` rounds, each long enough (about 20 ms) to time.
double best_ns(const std::function<void()>& call, int repeats) {
  using clock = std::chrono::steady_clock;
  uint64_t n = 1;
  for (;;) {  // calls per round
    const auto t0 = clock::now();
    for (uint64_t i = 0; i < n; ++i) call();
    if (clock::now() - t0 > std::chrono::milliseconds(20)) break;
    n *= 2;
  }
  double best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    const auto t0 = clock::now();
    for (uint64_t i = 0; i < n; ++i) call();
    const double ns = std::chrono::duration<double, std::nano>(clock::now() - t0).count() / n;
    if (ns < best) best = ns;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OPERATION SIZE [REPEATS]\n", argv[0]);
    return 2;
  }
  const std::string op = argv[1];
  const uint64_t size = std::strtoull(argv[2], nullptr, 10);
  const int repeats = argc > 3 ? std::atoi(argv[3]) : 5;
  std::vector<uint8_t> data(size);
  for (uint64_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
  const CNorVekXBuffer key("0123456789abcdef"), in(data.data(), size);
  CNorVekXBuffer cipher;
  CNorVekXCryptoHelper::Encrypt(key, in, cipher);
  std::vector<char> text(4 * (size / 3 + 1) + 1);
  uint64_t text_len = text.size();
  norvek_crypto_base64_encodeKQZP(data.data(), size, text.data(), &text_len);
  std::vector<uint8_t> out(text.size() + 64);
  volatile uint8_t sink = 0;

  std::function<void()> call;
  if (op == "sign") {
    call = [&] { sink = sink + CNorVekXCryptoHelper::SignData(in).m_pData[0]; };
  } else if (op == "hmac_sha1") {
    call = [&] { norvek_crypto_hmac_sha1_KQZP(data.data(), size, key.m_pData, 16, out.data()); };
  } else if (op == "sha1") {
    call = [&] {
      norvek_crypto_shastate_st_KQZP c;
      norvek_crypto_sha1_Init_KQZP(&c);
      norvek_crypto_sha1_Update_KQZP(&c, data.data(), size);
      norvek_crypto_sha1_Final_KQZP(out.data(), &c);
    };
  } else if (op == "encrypt") {
    call = [&] {
      CNorVekXBuffer c;
      CNorVekXCryptoHelper::Encrypt(key, in, c);
      sink = sink + c.m_pData[0];
    };
  } else if (op == "decrypt") {
    call = [&] {
      CNorVekXBuffer p;
      sink = sink + static_cast<uint8_t>(CNorVekXCryptoHelper::Decrypt(key, cipher, p));
    };
  } else if (op == "base64_encode") {
    call = [&] {
      uint64_t n = out.size();
      norvek_crypto_base64_encodeKQZP(data.data(), size, reinterpret_cast<char*>(out.data()), &n);
    };
  } else if (op == "base64_decode") {
    call = [&] {
      uint64_t n = 0;
      norvek_crypto_base64_decodeKQZP(text.data(), text_len, out.data(), &n);
    };
  } else {
    std::fprintf(stderr, "unknown operation %s\n", op.c_str());
    return 2;
  }
  std::printf("%.1f\n", best_ns(call, repeats));
  return 0;
}
