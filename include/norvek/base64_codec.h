// NorVekXCryptoBase64KQZP: Base64 of data objects, byte ranges and strings in
// the standard and the web-safe alphabets. Strict: whitespace is skipped, but
// any other character outside the alphabet, misplaced padding or non-zero
// trailing bits fail. nil is the only failure answer, and is also the answer
// for empty input or output.
#pragma once

#include <cstdint>

#include "norvek_platform/foundation.h"

class NorVekXCryptoBase64KQZP : public NSObject {
 public:
  NorVekXCryptoBase64KQZP() = delete;  // class operations only

  // Standard alphabet; encoders always pad, decoders require padding.
  static NSData encodeData(const NSData& data);
  static NSData decodeData(const NSData& data);
  static NSData encodeBytes(const void* bytes, uint64_t length);
  static NSData decodeBytes(const void* bytes, uint64_t length);
  static NSString stringByEncodingData(const NSData& data);
  static NSString stringByEncodingBytes(const void* bytes, uint64_t length);
  static NSData decodeString(const NSString& string);

  // Web-safe alphabet ('-' and '_'); padding as asked, optional when decoding.
  static NSData webSafeEncodeData(const NSData& data, bool padded);
  static NSData webSafeDecodeData(const NSData& data);
  static NSData webSafeEncodeBytes(const void* bytes, uint64_t length, bool padded);
  static NSData webSafeDecodeBytes(const void* bytes, uint64_t length);
  static NSString stringByWebSafeEncodingData(const NSData& data, bool padded);
  static NSString stringByWebSafeEncodingBytes(const void* bytes, uint64_t length, bool padded);
  static NSData webSafeDecodeString(const NSString& string);

  // The engine (the class's PrivateMethods category): data-level and
  // area-level encoder and decoder, and their tables. Public so that it can
  // be tested on its own.
  class PrivateMethods {
   public:
    PrivateMethods() = delete;

    static const char kStandardAlphabet[65];
    static const char kWebSafeAlphabet[65];
    static const uint8_t kBase64DecodeChars[256];         // 99 outside the alphabet
    static const uint8_t kWebSafeBase64DecodeChars[256];  // 99 outside the alphabet
    static const uint8_t kSpaces[256];                    // non-zero for whitespace

    // 0 for a srcLen of 2^61 or more, whose count would not fit 64 bits:
    // the encoders then fail (nil, 0) rather than size anything.
    static uint64_t CalcEncodedLength(uint64_t srcLen, bool padded);
    static uint64_t CalcDecodedLengthBound(uint64_t srcLen);  // (srcLen + 3) / 4 * 3
    static bool IsSpace(uint8_t c);

    static NSData baseEncode(const void* bytes, uint64_t length, const char* charset, bool padded);
    static NSData baseDecode(const void* bytes, uint64_t length, const uint8_t* charset,
                             bool requirePadding);
    // Area-level: the count written, 0 on failure (including a `destLen`
    // below the encoded length or the decoded length bound).
    static uint64_t baseEncode(const uint8_t* srcBytes, uint64_t srcLen, char* destBytes,
                               uint64_t destLen, const char* charset, bool padded);
    static uint64_t baseDecode(const char* srcBytes, uint64_t srcLen, uint8_t* destBytes,
                               uint64_t destLen, const uint8_t* charset, bool requirePadding);
  };
};
