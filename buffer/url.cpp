// Percent-escaping of raw bytes for one URI component, and its reverse.
#include "norvek/url.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "buffer_storage.h"

// String sizes (size_t) become buffer lengths (uint64_t) and back.
static_assert(sizeof(size_t) == sizeof(uint64_t), "size_t must be 64 bits wide");

namespace NorvekCryptoSpace {

namespace {

constexpr char hexChars[] = "0123456789ABCDEF";

constexpr bool is_unreserved(int c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  constexpr std::string_view kMarks = "-_.!~*'()";
  return c > 0 && c < 0x80 && kMarks.find(static_cast<char>(c)) != std::string_view::npos;
}

// What the encoder writes for each byte: up to three characters and, in the
// fourth place, how many of them count. Writing all four and advancing by the
// count keeps the loop free of data-dependent branches, which random bytes
// would mispredict a quarter of the time.
struct EscapeTable {
  char form[256][4];
};

constexpr EscapeTable make_escape_table() {
  EscapeTable t{};
  for (int c = 0; c < 256; ++c) {
    if (is_unreserved(c)) {
      t.form[c][0] = static_cast<char>(c);
      t.form[c][3] = 1;
    } else {
      t.form[c][0] = '%';
      t.form[c][1] = hexChars[c >> 4];
      t.form[c][2] = hexChars[c & 0x0F];
      t.form[c][3] = 3;
    }
  }
  return t;
}

constexpr EscapeTable kEscape = make_escape_table();

// The value of one hexadecimal digit in either case, or -1.
constexpr int16_t _altHexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<int16_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int16_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int16_t>(c - 'a' + 10);
  return -1;
}

// _altHexValue for every character, 0xFF standing for -1, for the decoder's
// branch-free inner loop.
struct HexValueTable {
  uint8_t value[256];
};

constexpr HexValueTable make_hex_value_table() {
  HexValueTable t{};
  for (int c = 0; c < 256; ++c) {
    const int16_t v = _altHexValue(static_cast<char>(c));
    t.value[c] = v < 0 ? 0xFF : static_cast<uint8_t>(v);
  }
  return t;
}

constexpr HexValueTable kHexValue = make_hex_value_table();

constexpr uint64_t kPercents = 0x2525252525252525ull;

// True when some byte of v is zero (the usual carry trick; exact for the
// question "any zero byte", which is all it is asked).
constexpr bool has_zero_byte(uint64_t v) {
  return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0;
}

}  // namespace

std::string CNorVekXURL::encodeURIComponent(CNorVekXBuffer& input) {
  const uint64_t size = input.m_nSize;
  // GCOVR_EXCL_BR_START: bytes without storage would break the buffer's invariant
  if (size == 0 || input.m_pData == nullptr) return std::string();
  // GCOVR_EXCL_BR_STOP

  // Each byte yields at most three characters, and the last one's four-byte
  // write needs one more; size once, trim at the end.
  std::string text(3 * size + 1, '\0');
  char* d = text.data();
  const uint8_t* s = input.m_pData;
  for (uint64_t i = 0; i < size; ++i) {
    const char* form = kEscape.form[s[i]];
    std::memcpy(d, form, 4);
    d += form[3];
  }
  text.resize(static_cast<size_t>(d - text.data()));
  return text;
}

CNorVekXBuffer CNorVekXURL::decodeURIComponent(const std::string& input) {
  // The result never outgrows the text, so the result buffer itself is the
  // working area: one allocation, not zero-filled, trimmed to the decoded
  // count at the end (the trim zeroes the rest).
  CNorVekXBuffer result;
  norvek_buffer_adopt(result, norvek_buffer_allocate(input.size()), input.size());
  uint8_t* out = result.m_pData;
  uint64_t n = 0;

  const unsigned char* s = reinterpret_cast<const unsigned char*>(input.c_str());
  const size_t size = input.size();

  // While two more characters lie inside the string, both digits of an escape
  // can be read before knowing whether there is one, so the choice between a
  // plain character and an escape is arithmetic, not a branch (escaped binary
  // data would mispredict that branch constantly). Runs of eight characters
  // free of '%' and of the zero character are copied whole.
  const unsigned char* const fast_end = size >= 2 ? s + (size - 2) : s;
  while (s < fast_end) {
    if (fast_end - s >= 8) {
      uint64_t word;
      std::memcpy(&word, s, 8);
      if (!has_zero_byte(word) && !has_zero_byte(word ^ kPercents)) {
        std::memcpy(out + n, s, 8);
        n += 8;
        s += 8;
        continue;
      }
    }
    const unsigned c = s[0];
    const unsigned high = kHexValue.value[s[1]];
    const unsigned low = kHexValue.value[s[2]];
    const unsigned escape = c == '%';
    const unsigned mask = 0u - escape;
    // A zero character or a malformed escape: leave it to the loop below,
    // which ends there.
    if ((static_cast<unsigned>(c == 0) | (escape & ((high | low) >> 7))) != 0) break;
    out[n++] = static_cast<uint8_t>((c & ~mask) | (((high << 4) | low) & mask));
    s += 1 + 2 * escape;
  }

  // Here fewer than three characters are left before c_str()'s zero, or
  // decoding met a zero character or a malformed escape: no escape can be
  // whole, so a '%' ends decoding as a zero character does.
  while (*s != '\0' && *s != '%') out[n++] = *s++;
  result.resize(n);
  return result;
}

}  // namespace NorvekCryptoSpace
