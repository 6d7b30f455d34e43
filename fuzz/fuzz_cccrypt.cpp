// CCCrypt with any lengths, options, key sizes and output capacities,
// checked against OpenSSL EVP. Input: operation, algorithm and option bytes
// (mostly valid values, sometimes not), a key length (mod 40), an IV flag
// and IV, an output-capacity slack, an in-place flag, the key, then the data.
// Properties: the status and the bytes moved are EVP's answer; a refused
// call leaves the output area as it was, except that a failed decryption
// leaves no plaintext (zeros) in it; nothing is written past the result.
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_util.h"
#include "norvek_platform/common_crypto.h"

using fuzz_util::check;

namespace {

struct Expected {
  CCCryptorStatus status = kCCSuccess;
  std::vector<uint8_t> out;
};

// EVP's answer; `capacity` decides kCCBufferTooSmall, with the size needed
// in out's size.
Expected evp_answer(bool encrypt, bool padding, bool ecb, const uint8_t* key, size_t keyLength,
                    const uint8_t* iv, const uint8_t* in, size_t n, size_t capacity) {
  Expected e;
  const EVP_CIPHER* cipher = nullptr;
  if (keyLength == 16) cipher = ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc();
  if (keyLength == 24) cipher = ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc();
  if (keyLength == 32) cipher = ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc();
  if (cipher == nullptr) {
    e.status = kCCParamError;
    return e;
  }
  if ((!encrypt || !padding) && n % 16 != 0) {
    e.status = kCCAlignmentError;
    return e;
  }
  const size_t needed = encrypt && padding ? (n / 16 + 1) * 16 : n;
  if (capacity < needed) {
    e.status = kCCBufferTooSmall;
    e.out.resize(needed);
    return e;
  }
  static const uint8_t kZero[16] = {};
  e.out.resize(n + 16);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int a = 0, b = 0;
  check(EVP_CipherInit_ex(ctx, cipher, nullptr, key, iv != nullptr ? iv : kZero, encrypt) == 1);
  EVP_CIPHER_CTX_set_padding(ctx, padding);
  check(EVP_CipherUpdate(ctx, e.out.data(), &a, in, static_cast<int>(n)) == 1);
  if (EVP_CipherFinal_ex(ctx, e.out.data() + a, &b) != 1) {
    check(!encrypt);
    e.status = kCCDecodeError;
    e.out.clear();
  } else {
    e.out.resize(static_cast<size_t>(a + b));
  }
  EVP_CIPHER_CTX_free(ctx);
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_util::Reader in(data, size);
  const uint8_t opByte = in.byte(), algByte = in.byte(), optByte = in.byte();
  const CCOperation op = opByte < 0xF0 ? opByte % 2 : opByte;
  const CCAlgorithm alg = algByte < 0xF0 ? 0 : algByte;
  const CCOptions options = optByte < 0xF0 ? optByte % 4 : optByte;
  const size_t keyWant = in.byte() % 40;
  const bool withIv = (in.byte() & 1) != 0;
  size_t ivLength = 0;
  const uint8_t* ivBytes = in.take(16, ivLength);
  uint8_t iv[16] = {};
  std::memcpy(iv, ivBytes, ivLength);
  const uint8_t slack = in.byte();
  const bool inPlace = (in.byte() & 1) != 0;
  size_t keyLength = 0;
  const uint8_t* key = in.take(keyWant, keyLength);
  size_t n = 0;
  const uint8_t* text = in.rest(n);

  // Capacity: mostly enough, sometimes a little short.
  const size_t capacity = slack < 0x40 ? (n > slack % 32 ? n - slack % 32 : 0) : n + slack % 33;
  std::vector<uint8_t> area(capacity + 32, fuzz_util::kGuard);
  const uint8_t* input = text;
  if (inPlace && capacity >= n) {
    std::memcpy(area.data(), text, n);
    input = area.data();
  }
  const std::vector<uint8_t> before = area;
  size_t moved = 12345;
  const CCCryptorStatus status = CCCrypt(op, alg, options, key, keyLength, withIv ? iv : nullptr,
                                         input, n, area.data(), capacity, &moved);

  const bool validCall = op <= 1 && alg == 0 && options <= 3;
  if (!validCall) {
    check(status == kCCParamError && moved == 0 && area == before);
    return 0;
  }
  const Expected e = evp_answer(op == kCCEncrypt, (options & kCCOptionPKCS7Padding) != 0,
                                (options & kCCOptionECBMode) != 0, key, keyLength,
                                withIv ? iv : nullptr, text, n, capacity);
  check(status == e.status);
  if (status == kCCSuccess) {
    check(moved == e.out.size() && fuzz_util::same(area.data(), e.out.data(), moved));
    check(fuzz_util::guarded(area.data() + capacity, 32));
    if (!inPlace) check(fuzz_util::guarded(area.data() + moved, capacity - moved + 32));
  } else if (status == kCCBufferTooSmall) {
    check(moved == e.out.size() && area == before);
  } else if (status == kCCDecodeError) {
    check(moved == 0 && fuzz_util::guarded(area.data() + capacity, 32));
    if (!inPlace) {
      for (size_t i = 0; i < capacity; ++i) check(area[i] == fuzz_util::kGuard || area[i] == 0);
    }
  } else {
    check(moved == 0 && area == before);
  }
  return 0;
}
