// CCCrypt over OpenSSL's EVP interface: AES-128/192/256 by key length, CBC or
// ECB, optional PKCS#7 padding. The output size is worked out and checked
// before any byte is written, so a too-small area is refused untouched.
#include "norvek_platform/common_crypto.h"

#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

constexpr size_t kBlock = kCCBlockSizeAES128;

// EVP counts in int: feed it whole blocks at most 1 GiB at a time.
constexpr size_t kChunk = size_t{1} << 30;

const EVP_CIPHER* aes_cipher(size_t keyLength, bool ecb) {
  switch (keyLength) {
    case kCCKeySizeAES128: return ecb ? EVP_aes_128_ecb() : EVP_aes_128_cbc();
    case kCCKeySizeAES192: return ecb ? EVP_aes_192_ecb() : EVP_aes_192_cbc();
    case kCCKeySizeAES256: return ecb ? EVP_aes_256_ecb() : EVP_aes_256_cbc();
    default: return nullptr;
  }
}

void set_moved(size_t* dataOutMoved, size_t n) {
  if (dataOutMoved != nullptr) *dataOutMoved = n;
}

}  // namespace

extern "C" CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options,
                                   const void* key, size_t keyLength, const void* iv,
                                   const void* dataIn, size_t dataInLength, void* dataOut,
                                   size_t dataOutAvailable, size_t* dataOutMoved) {
  set_moved(dataOutMoved, 0);
  if (op != kCCEncrypt && op != kCCDecrypt) return kCCParamError;
  if (alg != kCCAlgorithmAES) return kCCParamError;
  if ((options & ~CCOptions{kCCOptionPKCS7Padding | kCCOptionECBMode}) != 0) return kCCParamError;
  if (key == nullptr) return kCCParamError;
  if (dataIn == nullptr && dataInLength != 0) return kCCParamError;

  const bool encrypt = op == kCCEncrypt;
  const bool padding = (options & kCCOptionPKCS7Padding) != 0;
  const bool ecb = (options & kCCOptionECBMode) != 0;
  const EVP_CIPHER* cipher = aes_cipher(keyLength, ecb);
  if (cipher == nullptr) return kCCParamError;

  // Without padding every input, and with it every ciphertext, must be whole blocks.
  if ((!encrypt || !padding) && dataInLength % kBlock != 0) return kCCAlignmentError;

  size_t needed = dataInLength;
  if (encrypt && padding) {
    if (dataInLength > SIZE_MAX - kBlock) return kCCParamError;
    needed = (dataInLength / kBlock + 1) * kBlock;
  }
  if (dataOutAvailable < needed) {
    set_moved(dataOutMoved, needed);
    return kCCBufferTooSmall;
  }
  if (dataOut == nullptr && needed != 0) return kCCParamError;

  static constexpr unsigned char kZeroIv[kBlock] = {};
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return kCCMemoryFailure;  // GCOVR_EXCL_LINE: only when libcrypto cannot allocate
  // GCOVR_EXCL_BR_START: EVP refuses neither a known cipher with its key nor a padding switch
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, static_cast<const unsigned char*>(key),
                        iv != nullptr ? static_cast<const unsigned char*>(iv) : kZeroIv,
                        encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0) != 1) {
    return kCCParamError;  // GCOVR_EXCL_LINE
  }
  // GCOVR_EXCL_BR_STOP

  auto* out = static_cast<unsigned char*>(dataOut);
  const auto* in = static_cast<const unsigned char*>(dataIn);
  size_t written = 0;
  // A decryption that fails leaves no plaintext behind in the caller's area.
  auto fail = [&](CCCryptorStatus status) {
    if (written != 0) std::memset(out, 0, written);
    return status;
  };

  for (size_t done = 0; done < dataInLength;) {
    const size_t take = dataInLength - done < kChunk ? dataInLength - done : kChunk;
    int produced = 0;
    // GCOVR_EXCL_BR_START: an update over whole blocks of at most 1 GiB does not fail
    if (EVP_CipherUpdate(ctx.get(), out + written, &produced, in + done, static_cast<int>(take)) !=
        1) {
      return fail(kCCParamError);  // GCOVR_EXCL_LINE
    }
    // GCOVR_EXCL_BR_STOP
    written += static_cast<size_t>(produced);
    done += take;
  }
  int tail = 0;
  if (EVP_CipherFinal_ex(ctx.get(), out + written, &tail) != 1) {
    // Encryption cannot fail here (its size was checked); a decryption fails
    // on bad padding, including a padded ciphertext of no blocks at all.
    return fail(encrypt ? kCCParamError
                        : kCCDecodeError);  // GCOVR_EXCL_BR_LINE: encryption never gets here
  }
  written += static_cast<size_t>(tail);
  set_moved(dataOutMoved, written);
  return kCCSuccess;
}
