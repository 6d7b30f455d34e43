// Fuzzes hexadecimal decoding against a plain reference, including what is
// left in the output after an invalid digit, and checks that re-encoding a
// valid text gives it back in lower case.
#include <cctype>
#include <cstdint>
#include <vector>

#include "fuzz_util.h"
#include "norvek/buffer.h"

using namespace NorvekCryptoSpace;
using fuzz_util::check;
using fuzz_util::kGuard;

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
      const int hi = fuzz_util::hex_digit(data[i]);
      if (hi < 0) {
        expected_ret = -1;
        break;
      }
      expected[expected_len] = static_cast<uint8_t>(hi << 4);
      const int lo = fuzz_util::hex_digit(data[i + 1]);
      if (lo < 0) {
        expected_ret = -1;
        break;
      }
      expected[expected_len++] |= static_cast<uint8_t>(lo);
    }
  }
  check(ret == expected_ret && outlen == expected_len && area == expected);

  // A size other than exactly half is refused without writing.
  std::vector<uint8_t> other(half + 9, kGuard);
  uint64_t wrong = half + 1;
  check(norvek_crypto_Hex2Bin(text.data(), size, other.data(), wrong) == -1 && wrong == half + 1);
  check(fuzz_util::guarded(other.data(), other.size()));

  // Buffer level: empty for an odd length, else the completed bytes.
  const CNorVekXBuffer in(data, size);
  const CNorVekXBuffer bytes = norvek_crypto_Hex2Bin(in);
  const uint64_t want = size % 2 != 0 ? 0 : expected_len;
  check(bytes.m_nSize == want && fuzz_util::same(bytes.m_pData, area.data(), want));

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
