// NorVekXCryptoBase64KQZP: strict Base64 over data objects, byte ranges and
// strings. The engine (PrivateMethods) works on caller areas and on mutable
// data objects; the public operations only pick the alphabet and the padding
// rule and convert between objects.
//
// Not constant-time: the encoder indexes the alphabet and the decoder the
// decode table with the data, and the decoder stops at the first bad
// character. Do not feed it secrets an attacker can time.
#include "norvek/base64_codec.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "../crypto/secure_wipe.h"

// Lengths pass between uint64_t and the platform's NSUInteger.
static_assert(sizeof(NSUInteger) == sizeof(uint64_t), "NSUInteger must be 64 bits wide");

using Codec = NorVekXCryptoBase64KQZP;
using Engine = NorVekXCryptoBase64KQZP::PrivateMethods;

namespace {

constexpr uint8_t kNotInAlphabet = 99;
constexpr char kPad = '=';

#define NV_STANDARD_ALPHABET "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
#define NV_WEB_SAFE_ALPHABET "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"
constexpr char kStandard[65] = NV_STANDARD_ALPHABET;
constexpr char kWebSafe[65] = NV_WEB_SAFE_ALPHABET;

// Each character maps to its position in the alphabet; everything else,
// padding and whitespace included, to 99.
constexpr std::array<uint8_t, 256> decode_table(const char (&alphabet)[65]) {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kNotInAlphabet;
  for (uint8_t v = 0; v < 64; ++v) table[static_cast<uint8_t>(alphabet[v])] = v;
  return table;
}

constexpr std::array<uint8_t, 256> space_table() {
  std::array<uint8_t, 256> table{};
  for (uint8_t c : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0xA0, 0xFF}) table[c] = 1;
  return table;
}

// Both characters for each 12-bit value, half of a three-byte group, so the
// encoder needs two lookups per group instead of four. 8 KiB per alphabet.
struct CharPair {
  char c[2];
};

constexpr std::array<CharPair, 4096> pair_table(const char (&alphabet)[65]) {
  std::array<CharPair, 4096> table{};
  for (unsigned v = 0; v < 4096; ++v) table[v] = {{alphabet[v >> 6], alphabet[v & 0x3F]}};
  return table;
}

constexpr auto kStandardPairs = pair_table(kStandard);
constexpr auto kWebSafePairs = pair_table(kWebSafe);

// Eight bytes as a big-endian number; compilers turn this into one load and
// a byte swap.
inline uint64_t load_be64(const uint8_t* p) {
  return (uint64_t{p[0]} << 56) | (uint64_t{p[1]} << 48) | (uint64_t{p[2]} << 40) |
         (uint64_t{p[3]} << 32) | (uint64_t{p[4]} << 24) | (uint64_t{p[5]} << 16) |
         (uint64_t{p[6]} << 8) | uint64_t{p[7]};
}

inline void put_pair(char* out, const CharPair* pairs, uint64_t v) {
  std::memcpy(out, pairs[v & 0xFFF].c, 2);
}

// Encodes the whole three-byte groups of `in` with the pair table; returns
// the number of input bytes consumed (a multiple of 3, at most n).
uint64_t encode_groups(const uint8_t* in, uint64_t n, char* out, const CharPair* pairs) {
  uint64_t done = 0;
  // Four groups per step from two overlapping 8-byte loads (bytes 0-7 and
  // 4-11), both read before anything is written.
  while (n - done >= 12) {
    const uint64_t x = load_be64(in + done);
    const uint64_t y = load_be64(in + done + 4);
    put_pair(out, pairs, x >> 52);
    put_pair(out + 2, pairs, x >> 40);
    put_pair(out + 4, pairs, x >> 28);
    put_pair(out + 6, pairs, x >> 16);
    put_pair(out + 8, pairs, y >> 36);
    put_pair(out + 10, pairs, y >> 24);
    put_pair(out + 12, pairs, y >> 12);
    put_pair(out + 14, pairs, y);
    done += 12;
    out += 16;
  }
  while (n - done >= 3) {
    const uint64_t g = (uint64_t{in[done]} << 16) | (uint64_t{in[done + 1]} << 8) | in[done + 2];
    put_pair(out, pairs, g >> 12);
    put_pair(out + 2, pairs, g);
    done += 3;
    out += 4;
  }
  return done;
}

constexpr auto kStandardDecode = decode_table(kStandard);
constexpr auto kWebSafeDecode = decode_table(kWebSafe);

// The decoder's group fast path: each character's value already shifted to
// its place in the 24-bit group, one table per position; a character outside
// the alphabet sets bit 24, so one comparison checks all four.
using ShiftedTables = std::array<std::array<uint32_t, 256>, 4>;
constexpr ShiftedTables shifted_tables(const std::array<uint8_t, 256>& decode) {
  ShiftedTables tables{};
  for (int pos = 0; pos < 4; ++pos) {
    for (int c = 0; c < 256; ++c) {
      tables[pos][c] = decode[c] < 64 ? uint32_t{decode[c]} << (18 - 6 * pos) : uint32_t{1} << 24;
    }
  }
  return tables;
}

constexpr auto kStandardShifted = shifted_tables(kStandardDecode);
constexpr auto kWebSafeShifted = shifted_tables(kWebSafeDecode);
constexpr auto kSpaceFlags = space_table();

}  // namespace

// The exported tables are plain arrays; spell them out from the constexpr ones.
#define NV_ROW(t, r)                                                                              \
  (t)[(r) + 0x0], (t)[(r) + 0x1], (t)[(r) + 0x2], (t)[(r) + 0x3], (t)[(r) + 0x4], (t)[(r) + 0x5], \
      (t)[(r) + 0x6], (t)[(r) + 0x7], (t)[(r) + 0x8], (t)[(r) + 0x9], (t)[(r) + 0xA],             \
      (t)[(r) + 0xB], (t)[(r) + 0xC], (t)[(r) + 0xD], (t)[(r) + 0xE], (t)[(r) + 0xF]
#define NV_TABLE(t)                                                                          \
  {                                                                                          \
    NV_ROW(t, 0x00), NV_ROW(t, 0x10), NV_ROW(t, 0x20), NV_ROW(t, 0x30), NV_ROW(t, 0x40),     \
        NV_ROW(t, 0x50), NV_ROW(t, 0x60), NV_ROW(t, 0x70), NV_ROW(t, 0x80), NV_ROW(t, 0x90), \
        NV_ROW(t, 0xA0), NV_ROW(t, 0xB0), NV_ROW(t, 0xC0), NV_ROW(t, 0xD0), NV_ROW(t, 0xE0), \
        NV_ROW(t, 0xF0)                                                                      \
  }

const char Engine::kStandardAlphabet[65] = NV_STANDARD_ALPHABET;
const char Engine::kWebSafeAlphabet[65] = NV_WEB_SAFE_ALPHABET;
const uint8_t Engine::kBase64DecodeChars[256] = NV_TABLE(kStandardDecode);
const uint8_t Engine::kWebSafeBase64DecodeChars[256] = NV_TABLE(kWebSafeDecode);
const uint8_t Engine::kSpaces[256] = NV_TABLE(kSpaceFlags);

#undef NV_TABLE
#undef NV_ROW
#undef NV_WEB_SAFE_ALPHABET
#undef NV_STANDARD_ALPHABET

// ---------------------------------------------------------------------------
// Engine

uint64_t Engine::CalcEncodedLength(uint64_t srcLen, bool padded) {
  // From 2^61 on, srcLen * 8 would wrap; no such area can exist anyway.
  if (srcLen > UINT64_MAX / 8) return 0;
  uint64_t len = (srcLen * 8 + 5) / 6;
  if (padded) len = (len + 3) & ~uint64_t{3};
  return len;
}

uint64_t Engine::CalcDecodedLengthBound(uint64_t srcLen) {
  // (srcLen + 3) / 4 * 3, without overflowing for the largest lengths.
  return srcLen / 4 * 3 + (srcLen % 4 != 0 ? 3 : 0);
}

bool Engine::IsSpace(uint8_t c) { return kSpaces[c] != 0; }

uint64_t Engine::baseEncode(const uint8_t* srcBytes, uint64_t srcLen, char* destBytes,
                            uint64_t destLen, const char* charset, bool padded) {
  if (srcLen == 0 || destLen == 0 || srcBytes == nullptr || destBytes == nullptr) return 0;
  const uint64_t needed = CalcEncodedLength(srcLen, padded);
  if (needed == 0 || destLen < needed) return 0;

  const uint8_t* in = srcBytes;
  char* out = destBytes;
  uint64_t left = srcLen;
  // Our own alphabets have pair tables; a caller's alphabet takes the plain
  // loop below. Same characters either way.
  const CharPair* pairs = charset == kStandardAlphabet  ? kStandardPairs.data()
                          : charset == kWebSafeAlphabet ? kWebSafePairs.data()
                                                        : nullptr;
  if (pairs != nullptr) {
    const uint64_t used = encode_groups(in, left, out, pairs);
    in += used;
    out += used / 3 * 4;
    left -= used;
  }
  while (left > 2) {
    out[0] = charset[in[0] >> 2];
    out[1] = charset[((in[0] & 0x03) << 4) | (in[1] >> 4)];
    out[2] = charset[((in[1] & 0x0F) << 2) | (in[2] >> 6)];
    out[3] = charset[in[2] & 0x3F];
    in += 3;
    out += 4;
    left -= 3;
  }
  if (left == 2) {
    *out++ = charset[in[0] >> 2];
    *out++ = charset[((in[0] & 0x03) << 4) | (in[1] >> 4)];
    *out++ = charset[(in[1] & 0x0F) << 2];
    if (padded) *out++ = kPad;
  } else if (left == 1) {
    *out++ = charset[in[0] >> 2];
    *out++ = charset[(in[0] & 0x03) << 4];
    if (padded) {
      *out++ = kPad;
      *out++ = kPad;
    }
  }
  return static_cast<uint64_t>(out - destBytes);
}

uint64_t Engine::baseDecode(const char* srcBytes, uint64_t srcLen, uint8_t* destBytes,
                            uint64_t destLen, const uint8_t* charset, bool requirePadding) {
  if (srcLen == 0 || destLen == 0 || srcBytes == nullptr || destBytes == nullptr) return 0;
  // Every store, including the look-ahead stores of states 1 and 2, stays
  // below the bound.
  if (destLen < CalcDecodedLengthBound(srcLen)) return 0;

  const auto* src = reinterpret_cast<const uint8_t*>(srcBytes);
  uint64_t i = 0;
  uint64_t destIndex = 0;
  int state = 0;
  bool sawPad = false;
  // Our two tables map zero, whitespace and "=" to 99, so a run of values
  // below 64 is four alphabet characters. A caller's own table need not.
  const bool knownTable = charset == kBase64DecodeChars || charset == kWebSafeBase64DecodeChars;

  while (i < srcLen) {
    if (state == 0 && knownTable) {
      // Fast path for the common case, four alphabet characters in a row:
      // the same three bytes the state machine below would store. Anything
      // else is left to the state machine.
      const auto& shifted = charset == kBase64DecodeChars ? kStandardShifted : kWebSafeShifted;
      while (srcLen - i >= 4) {
        const uint32_t n = shifted[0][src[i]] | shifted[1][src[i + 1]] | shifted[2][src[i + 2]] |
                           shifted[3][src[i + 3]];
        if (n > 0xFFFFFF) break;
        destBytes[destIndex] = static_cast<uint8_t>(n >> 16);
        destBytes[destIndex + 1] = static_cast<uint8_t>(n >> 8);
        destBytes[destIndex + 2] = static_cast<uint8_t>(n);
        destIndex += 3;
        i += 4;
      }
      if (i == srcLen) break;
    }
    const uint8_t ch = src[i++];
    if (ch == 0) break;
    if (IsSpace(ch)) continue;
    if (ch == kPad) {
      sawPad = true;
      break;
    }
    const uint8_t v = charset[ch];
    if (v == kNotInAlphabet) return 0;
    switch (state) {
      case 0:
        destBytes[destIndex] = static_cast<uint8_t>(v << 2);
        state = 1;
        break;
      case 1:
      case 2: {
        // The high bits finish this byte; the low 4 (state 1) or 2 (state 2)
        // bits start the next one.
        const int carried = 6 - 2 * state;
        destBytes[destIndex] |= static_cast<uint8_t>(v >> carried);
        destBytes[destIndex + 1] = static_cast<uint8_t>(v << (8 - carried));
        ++destIndex;
        ++state;
        break;
      }
      default:
        destBytes[destIndex] |= v;
        ++destIndex;
        state = 0;
        break;
    }
  }

  if (sawPad) {
    if (state == 0 || state == 1) return 0;
    if (state == 2) {
      // "xx=" needs its second "=", with only whitespace in between.
      bool second = false;
      for (; i < srcLen; ++i) {
        const uint8_t ch = src[i];
        if (ch == 0) break;
        if (IsSpace(ch)) continue;
        if (ch != kPad) return 0;
        second = true;
        ++i;
        break;
      }
      if (!second) return 0;
    }
    // After the padding only whitespace, up to the end or a zero character.
    for (; i < srcLen; ++i) {
      const uint8_t ch = src[i];
      if (ch == 0) break;
      if (!IsSpace(ch)) return 0;
    }
  } else if (requirePadding ? state != 0 : state == 1) {
    return 0;
  }

  // In states 2 and 3 this byte holds the last character's leftover bits,
  // which must be zero.
  if (destIndex < destLen && destBytes[destIndex] != 0) return 0;
  return destIndex;
}

NSData Engine::baseEncode(const void* bytes, uint64_t length, const char* charset, bool padded) {
  const uint64_t maxLength = CalcEncodedLength(length, padded);
  if (maxLength == 0) return NSData();  // empty, or too long to encode
  NSMutableData result = NSMutableData::data();
  result.setLength(maxLength);
  const uint64_t written =
      baseEncode(static_cast<const uint8_t*>(bytes), length,
                 static_cast<char*>(result.mutableBytes()), result.length(), charset, padded);
  if (written == 0) return NSData();
  return result;
}

NSData Engine::baseDecode(const void* bytes, uint64_t length, const uint8_t* charset,
                          bool requirePadding) {
  const uint64_t maxLength = CalcDecodedLengthBound(length);
  NSMutableData result = NSMutableData::data();
  result.setLength(maxLength);
  const uint64_t written = baseDecode(static_cast<const char*>(bytes), length,
                                      static_cast<uint8_t*>(result.mutableBytes()), result.length(),
                                      charset, requirePadding);
  if (written == 0) {
    // Text refused late leaves what it decoded so far, which may be secret.
    norvek_secure_wipe(result.mutableBytes(), result.length());
    return NSData();
  }
  if (written != maxLength) result.setLength(written);
  return result;
}

// ---------------------------------------------------------------------------
// Public class operations

namespace {

NSString ascii_string(const NSData& encoded) {
  if (encoded.isNil()) return NSString();
  return NSString::alloc().initWithData(encoded, NSASCIIStringEncoding);
}

}  // namespace

NSData Codec::encodeData(const NSData& data) {
  return Engine::baseEncode(data.bytes(), data.length(), Engine::kStandardAlphabet, true);
}

NSData Codec::decodeData(const NSData& data) {
  return Engine::baseDecode(data.bytes(), data.length(), Engine::kBase64DecodeChars, true);
}

NSData Codec::encodeBytes(const void* bytes, uint64_t length) {
  return Engine::baseEncode(bytes, length, Engine::kStandardAlphabet, true);
}

NSData Codec::decodeBytes(const void* bytes, uint64_t length) {
  return Engine::baseDecode(bytes, length, Engine::kBase64DecodeChars, true);
}

NSString Codec::stringByEncodingData(const NSData& data) { return ascii_string(encodeData(data)); }

NSString Codec::stringByEncodingBytes(const void* bytes, uint64_t length) {
  return ascii_string(encodeBytes(bytes, length));
}

NSData Codec::decodeString(const NSString& string) {
  const NSData text = string.dataUsingEncoding(NSASCIIStringEncoding);
  if (text.isNil()) return NSData();
  return decodeData(text);
}

NSData Codec::webSafeEncodeData(const NSData& data, bool padded) {
  return Engine::baseEncode(data.bytes(), data.length(), Engine::kWebSafeAlphabet, padded);
}

NSData Codec::webSafeDecodeData(const NSData& data) {
  return Engine::baseDecode(data.bytes(), data.length(), Engine::kWebSafeBase64DecodeChars, false);
}

NSData Codec::webSafeEncodeBytes(const void* bytes, uint64_t length, bool padded) {
  return Engine::baseEncode(bytes, length, Engine::kWebSafeAlphabet, padded);
}

NSData Codec::webSafeDecodeBytes(const void* bytes, uint64_t length) {
  return Engine::baseDecode(bytes, length, Engine::kWebSafeBase64DecodeChars, false);
}

NSString Codec::stringByWebSafeEncodingData(const NSData& data, bool padded) {
  return ascii_string(webSafeEncodeData(data, padded));
}

NSString Codec::stringByWebSafeEncodingBytes(const void* bytes, uint64_t length, bool padded) {
  return ascii_string(webSafeEncodeBytes(bytes, length, padded));
}

NSData Codec::webSafeDecodeString(const NSString& string) {
  const NSData text = string.dataUsingEncoding(NSASCIIStringEncoding);
  if (text.isNil()) return NSData();
  return webSafeDecodeData(text);
}
