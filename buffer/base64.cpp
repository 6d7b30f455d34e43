// Array-level Base64 in the standard alphabet. Both directions are scalar and
// table driven; neither allocates. Not constant-time: table indices depend on
// the data, so do not feed secrets through here if cache timing matters.
#include "norvek/base64.h"

#include <bit>
#include <cstring>

namespace {

constexpr char kBase64EncodeTable[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';

// Two output characters for every 12-bit value, first character in the low
// byte, so three input bytes take two lookups instead of four.
struct PairTable {
  uint16_t pair[4096];
};

constexpr PairTable make_pair_table() {
  PairTable t{};
  for (int v = 0; v < 4096; ++v) {
    t.pair[v] =
        static_cast<uint16_t>(static_cast<unsigned char>(kBase64EncodeTable[v >> 6]) |
                              static_cast<unsigned char>(kBase64EncodeTable[v & 0x3F]) << 8);
  }
  return t;
}

constexpr PairTable kPairs = make_pair_table();

// The value of a character is its position in the alphabet, 255 when it is not
// in it; only the low six bits of that value reach the output.
constexpr uint8_t position_value(unsigned char c) {
  for (int v = 0; v < 64; ++v) {
    if (static_cast<unsigned char>(kBase64EncodeTable[v]) == c) return static_cast<uint8_t>(v);
  }
  return 255;
}

// The decoder looks up each place of a group in its own table, with the value
// already split into the bits it contributes to the group's three output
// bytes, laid out little-endian (first byte lowest). kStop marks the
// characters that make a group special: a zero character at its start, '=' in
// its third or fourth place. One test of the combined word then keeps the
// common case to a single branch.
constexpr uint32_t kStop = 0x80000000u;

struct DecodeTables {
  uint32_t place[4][256];
};

constexpr DecodeTables make_decode_tables() {
  DecodeTables t{};
  for (int c = 0; c < 256; ++c) {
    const uint32_t v = position_value(static_cast<unsigned char>(c)) & 0x3Fu;
    t.place[0][c] = v << 2;                                // byte 0, bits 7..2
    t.place[1][c] = (v >> 4) | ((v & 0x0F) << 12);         // byte 0 bits 1..0, byte 1 bits 7..4
    t.place[2][c] = ((v >> 2) << 8) | ((v & 0x03) << 22);  // byte 1 bits 3..0, byte 2 bits 7..6
    t.place[3][c] = v << 16;                               // byte 2, bits 5..0
  }
  t.place[0][0] |= kStop;
  t.place[2][static_cast<unsigned char>(kPad)] |= kStop;
  t.place[3][static_cast<unsigned char>(kPad)] |= kStop;
  return t;
}

constexpr DecodeTables kDecode = make_decode_tables();

// The group starting at s. Byte loads straight from memory beat extracting
// the characters from a wide load: they leave the ALUs to the table work.
inline uint32_t group_word(const unsigned char* s) {
  return kDecode.place[0][s[0]] | kDecode.place[1][s[1]] | kDecode.place[2][s[2]] |
         kDecode.place[3][s[3]];
}

inline uint64_t load_be64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

inline void store_le64(uint8_t* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

inline void store_le32(uint8_t* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

inline void store_le16(char* p, uint16_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
  std::memcpy(p, &v, 2);
}

}  // namespace

uint64_t norvek_crypto_base64_encodeKQZP(const uint8_t* src, uint64_t len, char* out,
                                         uint64_t* out_len) {
  const uint64_t groups = len / 3 + (len % 3 != 0 ? 1 : 0);
  // A length whose encoding does not fit in 64 bits cannot fit any capacity:
  // report the largest count and write nothing.
  if (groups > UINT64_MAX / 4) return UINT64_MAX;
  const uint64_t encoded = groups * 4;
  if (out_len == nullptr) return encoded;
  const uint64_t capacity = *out_len;
  if (encoded > capacity) return encoded;
  if (out == nullptr) return 0;

  const uint8_t* s = src;
  char* d = out;
  uint64_t left = len;
  // Four groups per step, from two eight-byte loads at s and s + 6 (each
  // uses its top six bytes); needs fourteen readable bytes.
  while (left >= 14) {
    const uint64_t w = load_be64(s);
    const uint64_t x = load_be64(s + 6);
    store_le16(d + 0, kPairs.pair[(w >> 52) & 0xFFF]);
    store_le16(d + 2, kPairs.pair[(w >> 40) & 0xFFF]);
    store_le16(d + 4, kPairs.pair[(w >> 28) & 0xFFF]);
    store_le16(d + 6, kPairs.pair[(w >> 16) & 0xFFF]);
    store_le16(d + 8, kPairs.pair[(x >> 52) & 0xFFF]);
    store_le16(d + 10, kPairs.pair[(x >> 40) & 0xFFF]);
    store_le16(d + 12, kPairs.pair[(x >> 28) & 0xFFF]);
    store_le16(d + 14, kPairs.pair[(x >> 16) & 0xFFF]);
    s += 12;
    d += 16;
    left -= 12;
  }
  while (left >= 3) {
    const uint32_t w = (uint32_t{s[0]} << 16) | (uint32_t{s[1]} << 8) | s[2];
    store_le16(d + 0, kPairs.pair[w >> 12]);
    store_le16(d + 2, kPairs.pair[w & 0xFFF]);
    s += 3;
    d += 4;
    left -= 3;
  }
  if (left == 2) {
    d[0] = kBase64EncodeTable[s[0] >> 2];
    d[1] = kBase64EncodeTable[((s[0] & 0x03) << 4) | (s[1] >> 4)];
    d[2] = kBase64EncodeTable[(s[1] & 0x0F) << 2];
    d[3] = kPad;
  } else if (left == 1) {
    d[0] = kBase64EncodeTable[s[0] >> 2];
    d[1] = kBase64EncodeTable[(s[0] & 0x03) << 4];
    d[2] = kPad;
    d[3] = kPad;
  }
  // The terminating zero only when the caller left room for it.
  if (capacity > encoded) out[encoded] = '\0';
  *out_len = encoded;
  return encoded;
}

uint64_t norvek_crypto_base64_decodeKQZP(const char* src, uint64_t inlen, uint8_t* out,
                                         uint64_t* out_len) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  const unsigned char* const end = s + inlen;
  uint64_t n = 0;
  auto finish = [out_len](uint64_t count) {
    if (out_len != nullptr) *out_len = count;
    return count;
  };

  // Four plain groups per step; a step that meets anything special leaves
  // its groups to the loop below, which takes them one at a time.
  while (end - s >= 16) {
    const uint32_t w0 = group_word(s);
    const uint32_t w1 = group_word(s + 4);
    const uint32_t w2 = group_word(s + 8);
    const uint32_t w3 = group_word(s + 12);
    if ((w0 | w1 | w2 | w3) & kStop) break;
    store_le64(out + n, uint64_t{w0} | (uint64_t{w1} << 24) | (uint64_t{w2} << 48));
    store_le32(out + n + 8, (w2 >> 16) | (w3 << 8));
    n += 12;
    s += 16;
  }
  while (end - s >= 4) {
    const uint32_t w = group_word(s);
    if (w & kStop) {
      // Zero character at the start, or padding in the third or fourth place.
      // Each byte is written before the place after it is tested for '='.
      if (s[0] == 0) return finish(n);
      out[n] = static_cast<uint8_t>(w);
      if (s[2] == kPad) return finish(n + 1);
      out[n + 1] = static_cast<uint8_t>(w >> 8);
      return finish(n + 2);  // only '=' in the fourth place is left
    }
    out[n + 0] = static_cast<uint8_t>(w);
    out[n + 1] = static_cast<uint8_t>(w >> 8);
    out[n + 2] = static_cast<uint8_t>(w >> 16);
    n += 3;
    s += 4;
  }

  // A short final group decodes as if padded: two characters give one byte,
  // three give two (one when the third is '='), a lone character gives none.
  if (end - s >= 2 && s[0] != 0) {
    const uint32_t w = kDecode.place[0][s[0]] | kDecode.place[1][s[1]];
    out[n++] = static_cast<uint8_t>(w);
    if (end - s == 3 && s[2] != kPad) {
      out[n++] = static_cast<uint8_t>((w | kDecode.place[2][s[2]]) >> 8);
    }
  }
  return finish(n);
}
