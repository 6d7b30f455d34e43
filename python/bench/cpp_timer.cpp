// norvek_bench_cpp: the C++ side of python/bench/bench_norvek.py. Runs one
// library call `number` times in a C++ loop, over the entry point the Python
// binding uses, and returns the seconds taken. In the same process as the
// Python timing, so the two can alternate round by round and see the same
// machine load.
#include <pybind11/pybind11.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "norvek/norvek_crypto.h"

namespace py = pybind11;
using namespace NorvekCryptoSpace;

namespace {

double time_calls(const std::string& op, const py::bytes& input, uint64_t number) {
  const std::string bytes = input;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint64_t size = bytes.size();
  const CNorVekXBuffer key("0123456789abcdef"), in(data, size);
  CNorVekXBuffer cipher;
  CNorVekXCryptoHelper::Encrypt(key, in, cipher);
  std::vector<char> text(4 * (size / 3 + 1) + 1);
  uint64_t text_len = text.size();
  norvek_crypto_base64_encodeKQZP(data, size, text.data(), &text_len);
  std::vector<uint8_t> out(text.size() + 64);
  volatile uint8_t sink = 0;  // keeps the results alive

  std::function<void()> call;
  if (op == "sign") {
    call = [&] { sink = sink + CNorVekXCryptoHelper::SignData(in).m_pData[0]; };
  } else if (op == "hmac_sha1") {
    call = [&] { norvek_crypto_hmac_sha1_KQZP(data, size, key.m_pData, 16, out.data()); };
  } else if (op == "sha1") {
    call = [&] {
      norvek_crypto_shastate_st_KQZP c;
      norvek_crypto_sha1_Init_KQZP(&c);
      norvek_crypto_sha1_Update_KQZP(&c, data, size);
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
      norvek_crypto_base64_encodeKQZP(data, size, reinterpret_cast<char*>(out.data()), &n);
    };
  } else if (op == "base64_decode") {
    call = [&] {
      uint64_t n = 0;
      norvek_crypto_base64_decodeKQZP(text.data(), text_len, out.data(), &n);
    };
  } else {
    throw std::invalid_argument("unknown operation " + op);
  }
  py::gil_scoped_release unlocked;
  const auto t0 = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < number; ++i) call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

PYBIND11_MODULE(norvek_bench_cpp, m) {
  m.doc() = "Times library calls in a C++ loop, for python/bench/bench_norvek.py.";
  m.def("time_calls", &time_calls, py::arg("op"), py::arg("data"), py::arg("number"),
        "Seconds taken by `number` calls of `op` over `data`.");
}
