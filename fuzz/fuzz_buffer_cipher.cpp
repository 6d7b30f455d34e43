// The buffer cipher's Decrypt over arbitrary ciphertexts and keys, and
// Encrypt then Decrypt. Input: a key length (mod 40, so short keys are
// reached), the key, then bytes used both as a ciphertext and a plaintext.
// Properties: a short key gives 0 with the output as it was; a decryption
// gives 0 or a length that is its ciphertext's less 1..16 pad bytes, and
// enciphering that plaintext gives the ciphertext back; Decrypt(Encrypt(p))
// is p, for any p.
#include <cstdint>

#include "fuzz_util.h"
#include "norvek/crypto_helper.h"

using fuzz_util::check;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_util::Reader in(data, size);
  size_t keyLength = 0;
  const uint8_t* keyBytes = in.take(in.byte() % 40, keyLength);
  size_t length = 0;
  const uint8_t* bytes = in.rest(length);
  const CNorVekXBuffer key(keyBytes, keyLength);
  const CNorVekXBuffer text(bytes, length);
  const CNorVekXBuffer before("untouched");

  CNorVekXBuffer plain(before);
  const uint64_t n = CNorVekXCryptoHelper::Decrypt(key, text, plain);
  CNorVekXBuffer cipher(before);
  const uint64_t c = CNorVekXCryptoHelper::Encrypt(key, text, cipher);
  if (keyLength < 16) {
    check(n == 0 && plain.compare(before));
    check(c == 0 && cipher.compare(before));
    return 0;
  }

  // Only whole blocks decrypt; a pad-only block decrypts to nothing.
  const bool whole = length != 0 && length % 16 == 0;
  if (n != 0 || (whole && plain.m_nSize == 0)) {
    check(whole && n < length && n + 16 >= length && plain.m_nSize == n);
    CNorVekXBuffer again;
    check(CNorVekXCryptoHelper::Encrypt(key, plain, again) == length);
    check(again.compare(text));
  } else {
    check(plain.m_nSize == length);
    for (uint64_t i = 0; i < plain.m_nSize; ++i) check(plain.m_pData[i] == 0);
  }

  check(c == cipher.m_nSize && c == (length / 16 + 1) * 16);
  CNorVekXBuffer back;
  check(CNorVekXCryptoHelper::Decrypt(key, cipher, back) == length);
  check(back.compare(text));
  return 0;
}
