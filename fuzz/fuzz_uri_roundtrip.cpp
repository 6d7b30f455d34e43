// encodeURIComponent then decodeURIComponent is the identity on any bytes,
// zero bytes included, and the escaped form holds only unreserved characters
// and upper-case %XX escapes.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "norvek/url.h"

using fuzz_util::check;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXURL;

namespace {

bool unreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         (c != 0 && std::strchr("-_.!~*'()", c) != nullptr);
}

bool upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CNorVekXBuffer input(data, size);
  const std::string escaped = CNorVekXURL::encodeURIComponent(input);
  check(input.m_nSize == size && fuzz_util::same(input.m_pData, data, size));

  size_t plainBytes = 0;
  for (size_t i = 0; i < escaped.size(); ++plainBytes) {
    if (escaped[i] == '%') {
      check(i + 2 < escaped.size() && upper_hex(escaped[i + 1]) && upper_hex(escaped[i + 2]));
      check(!unreserved(static_cast<char>(fuzz_util::hex_digit(escaped[i + 1]) * 16 +
                                          fuzz_util::hex_digit(escaped[i + 2]))));
      i += 3;
    } else {
      check(unreserved(escaped[i]));
      ++i;
    }
  }
  check(plainBytes == size);

  const CNorVekXBuffer back = CNorVekXURL::decodeURIComponent(escaped);
  check(back.m_nSize == size && fuzz_util::same(back.m_pData, data, size));
  return 0;
}
