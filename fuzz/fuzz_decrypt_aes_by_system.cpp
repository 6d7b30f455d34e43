// DecryptAESBySystem on arbitrary input. The first byte gives the key's
// length (mod 40, so over-long keys are reached too), the key's characters
// follow, the rest is the ciphertext. Properties: a non-nil result means the
// ciphertext was whole blocks, the result is shorter than it, and enciphering
// the result under the same key gives the ciphertext back; an over-long key
// always gives nil.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_util.h"
#include "norvek/crypto_helper.h"
#include "norvek_platform/common_crypto.h"

using fuzz_util::check;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t keyLength = data[0] % 40;
  if (keyLength > size - 1) keyLength = size - 1;
  // Keep the key printable ASCII so its UTF-8 form is exactly keyLength bytes.
  std::string keyText(keyLength, ' ');
  for (size_t i = 0; i < keyLength; ++i) keyText[i] = static_cast<char>(0x20 + data[1 + i] % 0x5F);
  const NSString key = NSString::stringWithUTF8String(keyText.c_str());
  const uint8_t* cipher = data + 1 + keyLength;
  const size_t cipherLength = size - 1 - keyLength;
  const NSData input = NSData::dataWithBytes(cipher, cipherLength);

  const NSData plain = CNorVekXCryptoHelper::DecryptAESBySystem(input, key);
  if (cipherLength == 0) {
    check(plain == input);  // empty data comes back as it is
    return 0;
  }
  if (plain.isNil()) return 0;
  check(keyLength >= 1 && keyLength <= 32);
  check(cipherLength % 16 == 0);
  check(plain.length() < cipherLength);
  if (plain.length() == 0) {
    // A pad-only block. The bridge hands empty data back unenciphered, so
    // encipher nothing through the cipher service directly.
    check(cipherLength == 16);
    char keyArea[16] = {};
    std::memcpy(keyArea, keyText.data(), keyLength < 16 ? keyLength : 16);
    uint8_t block[16];
    size_t moved = 0;
    check(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, keyArea, kCCKeySizeAES128,
                  nullptr, nullptr, 0, block, sizeof block, &moved) == kCCSuccess);
    check(moved == 16 && fuzz_util::same(block, cipher, 16));
    return 0;
  }
  const NSData again = CNorVekXCryptoHelper::EncryptAESBySystem(plain, key);
  check(again.length() == cipherLength);
  check(fuzz_util::same(again.bytes(), cipher, cipherLength));
  return 0;
}
