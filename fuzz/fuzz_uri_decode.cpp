// Fuzzes the URI component decoder against a plain reference decoder, and the
// encoder by round trip.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "norvek/url.h"

using namespace NorvekCryptoSpace;
using fuzz_util::check;
using fuzz_util::hex_digit;

namespace {

// Stops at a zero character or a malformed escape, keeping what came before.
std::string reference_decode(const std::string& t) {
  std::string out;
  size_t i = 0;
  while (i < t.size() && t[i] != '\0') {
    if (t[i] != '%') {
      out += t[i++];
    } else if (i + 2 < t.size() && hex_digit(t[i + 1]) >= 0 && hex_digit(t[i + 2]) >= 0) {
      out += static_cast<char>(hex_digit(t[i + 1]) * 16 + hex_digit(t[i + 2]));
      i += 3;
    } else {
      break;
    }
  }
  return out;
}

bool unreserved(unsigned char c) {
  return std::isalnum(c) || (c != 0 && std::strchr("-_.!~*'()", c) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const CNorVekXBuffer decoded = CNorVekXURL::decodeURIComponent(text);
  const std::string expected = reference_decode(text);
  check(decoded.m_nSize <= size);
  check(decoded.m_nSize == expected.size() &&
        fuzz_util::same(decoded.m_pData, expected.data(), expected.size()));

  CNorVekXBuffer bytes(data, size);
  const std::string escaped = CNorVekXURL::encodeURIComponent(bytes);
  size_t kept = 0;
  for (size_t i = 0; i < size; ++i) kept += unreserved(data[i]) ? 1 : 0;
  check(escaped.size() == kept + 3 * (size - kept));
  for (size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    check(unreserved(static_cast<unsigned char>(c)) || c == '%' || (c >= '0' && c <= '9') ||
          (c >= 'A' && c <= 'F'));
  }
  check(CNorVekXURL::decodeURIComponent(escaped).compare(bytes));
  return 0;
}
