// Fuzzes hexadecimal decoding against a plain reference, including what is
// left in the output after an invalid digit, and checks that re-encoding a
// valid text gives it back in lower case.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "norvek/buffer.h"

using namespace NorvekCryptoSpace;

namespace {

constexpr uint8_t kGuard = 0xA5;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

int digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  const uint64_t half = size / 2;

  // Array level, with the exact size it demands.
  std::vector<uint8_t> area(half + 8, kGuard);
  uint64_t outlen = half;
  const int32_t ret = norvek_crypto_Hex2Bin(text.data(), size, area.data(), outlen);

  // Reference: -1 untouched for an odd length; otherwise pairs until a bad
  // digit, the high digit stored before the low one is checked.
  std::vector<uint8_t> expected(half + 8, kGuard);
  int32_t expected_ret = 0;
  uint64_t expected_len = half;
  if (size % 2 != 0) {
    expected_ret = -1;
  } else {
    expected_len = 0;
    for (size_t i = 0; i < size; i += 2) {
      const int hi = digit(data[i]);
      if (hi < 0) { expected_ret = -1; break; }
      expected[expected_len] = static_cast<uint8_t>(hi << 4);
      const int lo = digit(data[i + 1]);
      if (lo < 0) { expected_ret = -1; break; }
      expected[expected_len++] |= static_cast<uint8_t>(lo);
    }
  }
  check(ret == expected_ret && outlen == expected_len && area == expected);

  // A size other than exactly half is refused without writing.
  std::vector<uint8_t> other(half + 9, kGuard);
  uint64_t wrong = half + 1;
  check(norvek_crypto_Hex2Bin(text.data(), size, other.data(), wrong) == -1 && wrong == half + 1);
  for (uint8_t b : other) check(b == kGuard);

  // Buffer level: empty for an odd length, else the completed bytes.
  const CNorVekXBuffer in(data, size);
  const CNorVekXBuffer bytes = norvek_crypto_Hex2Bin(in);
  const uint64_t want = size % 2 != 0 ? 0 : expected_len;
  check(bytes.m_nSize == want && (want == 0 || std::memcmp(bytes.m_pData, area.data(), want) == 0));

  // A valid text re-encodes to itself in lower case.
  if (ret == 0) {
    const CNorVekXBuffer again = norvek_crypto_Bin2Hex(bytes);
    check(again.m_nSize == size);
    for (size_t i = 0; i < size; ++i) {
      check(again.m_pData[i] == std::tolower(data[i]));
    }
  }

  // The input as bytes survives Bin2Hex then Hex2Bin.
  const CNorVekXBuffer hex = norvek_crypto_Bin2Hex(in);
  check(hex.m_nSize == 2 * size);
  check(norvek_crypto_Hex2Bin(hex).compare(in));
  return 0;
}
