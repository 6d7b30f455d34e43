// CNorVekXCryptoHelper: the facade over the library's schemes.
//
// Only the constructor and the four Dyn operations need an object (they use
// its processor table); everything else is a class-level operation.
// Buffer-returning operations have no failure channel: an argument outside
// its range gives an empty buffer. Operations on data objects answer nil for
// failure.
#pragma once

#include <cstdint>

#include "norvek/buffer.h"
#include "norvek_platform/foundation.h"

namespace NorvekCryptoSpace {

using NorvekByteTransform = uint8_t* (*)(uint8_t* data, uint64_t data_size);

struct st_Processor {
  NorvekByteTransform pfnEncrypt;  // forward transform
  NorvekByteTransform pfnDecrypt;  // its reverse
};

// The 40-byte key SignData signs with. Writable: SignData reads it at every
// call, so a change is seen by later calls (not while one is running).
extern uint8_t NORVEK_SIGN_DATA_KEY[40];

class CNorVekXCryptoHelper {
 public:
  // Entry k (0..45) holds norvek_crypto_enc_<k+1> and its reverse
  // norvek_crypto_dec_<k+1>; entry 46 is a null terminator.
  st_Processor m_processors[47];

  CNorVekXCryptoHelper();

  // Chains of transforms. Each copies the input, applies the listed entries
  // in list order to the copy and assigns it to the output, so input and
  // output may be the same buffer; the result is the output length (the
  // input's). Decrypt forms apply the reverse of each listed entry, still in
  // list order: DynDecrypt of the reversed list undoes DynEncrypt of a list.
  // The Ex forms take each listed value modulo 46.
  // Failure (0, output unchanged, checked before anything is touched): a
  // listed value outside 0..45 (plain forms) or below 0 (Ex forms), or a null
  // `index` with a positive `index_size`. A non-positive `index_size` copies.
  uint64_t DynEncrypt(const int32_t* index, int32_t index_size, const CNorVekXBuffer& data,
                      CNorVekXBuffer& cipher);
  uint64_t DynDecrypt(const int32_t* index, int32_t index_size, const CNorVekXBuffer& cipher,
                      CNorVekXBuffer& data);
  uint64_t DynEncryptEx(const int32_t* index, int32_t index_size, const CNorVekXBuffer& data,
                        CNorVekXBuffer& cipher);
  uint64_t DynDecryptEx(const int32_t* index, int32_t index_size, const CNorVekXBuffer& cipher,
                        CNorVekXBuffer& data);

  // AES-128-CBC with a built-in IV and PKCS#7 padding, keyed by the first 16
  // bytes of `key`. Deterministic and unauthenticated: sign the ciphertext
  // (SignData, HmacSha1) and check that before decrypting.
  // Encrypt: the ciphertext length, or 0 (cipher untouched) for a key
  // shorter than 16 bytes.
  // Decrypt: the plaintext length; 0 for a short key (data untouched), or
  // for a ciphertext that is not a positive multiple of 16 bytes or has bad
  // padding (data left as zero bytes of the ciphertext's length).
  // Storage: an output (other than the input itself) that already holds at
  // least the input's length + 16 bytes is written in place and keeps its
  // storage, whatever the answer; otherwise its storage is replaced (the old
  // one wiped). This is what lets a CNorVekXBufferView lend the output.
  static uint64_t Encrypt(const CNorVekXBuffer& key, const CNorVekXBuffer& data,
                          CNorVekXBuffer& cipher);
  static uint64_t Decrypt(const CNorVekXBuffer& key, const CNorVekXBuffer& cipher,
                          CNorVekXBuffer& data);

  // 20-byte digests.
  static CNorVekXBuffer Sha1(const CNorVekXBuffer& in);
  static CNorVekXBuffer HmacSha1(const CNorVekXBuffer& in, const CNorVekXBuffer& key);
  static CNorVekXBuffer SignData(const CNorVekXBuffer& in);  // HMAC under NORVEK_SIGN_DATA_KEY

  // max(bytes, 3) bytes from the platform's secure random source; an empty
  // buffer if the source fails.
  static CNorVekXBuffer RandBytes(int32_t bytes);

  // `digits` (1..12) bytes of a one-time code derived from three HMAC-SHA1s
  // of `in` under built-in salts; empty outside that range. `key` is not read.
  static CNorVekXBuffer HOTPex(const CNorVekXBuffer& in, const CNorVekXBuffer& key, int32_t digits);

  // tag | version | rawid with the `count` (4..12) code bytes of
  // HOTPex(tag|version|rawid) spliced in at the output positions listed in
  // `indexs`; the code is also assigned to `verify`. Count out of range or a
  // null `indexs`: empty result, `verify` unchanged.
  static CNorVekXBuffer GenerateID(const CNorVekXBuffer& tag, const CNorVekXBuffer& version,
                                   const CNorVekXBuffer& rawid, CNorVekXBuffer& verify,
                                   const int32_t* indexs, int32_t count);

  // AES-CBC, zero IV, PKCS#7 through the platform cipher service, keyed by the
  // key's UTF-8 form zero-extended (16 bytes for the 128-bit pair, 32 for the
  // 256-bit pair). nil for a key longer than 32 UTF-8 bytes or a failing
  // cipher call. The 128-bit pair returns nil or empty `data` itself, and nil
  // for a nil or empty key; the 256-bit pair takes a nil or empty key as 32
  // zero bytes and nil data as empty.
  static NSData EncryptAESBySystem(const NSData& data, const NSString& key);
  static NSData DecryptAESBySystem(const NSData& data, const NSString& key);
  static NSData AES256Encrypt(const NSData& data, const NSString& key);
  static NSData AES256Decrypt(const NSData& data, const NSString& key);
};

}  // namespace NorvekCryptoSpace
