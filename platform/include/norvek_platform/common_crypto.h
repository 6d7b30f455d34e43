// Stand-in for the platform's one-shot cipher service CCCrypt, over OpenSSL's
// libcrypto EVP interface. Only AES is offered.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

typedef int32_t CCCryptorStatus;
enum : CCCryptorStatus {
  kCCSuccess = 0,
  kCCParamError = -4300,
  kCCBufferTooSmall = -4301,
  kCCMemoryFailure = -4302,
  kCCAlignmentError = -4303,
  kCCDecodeError = -4304,
  kCCUnimplemented = -4305,
};

typedef uint32_t CCOperation;
enum : CCOperation { kCCEncrypt = 0, kCCDecrypt = 1 };

typedef uint32_t CCAlgorithm;
enum : CCAlgorithm { kCCAlgorithmAES128 = 0, kCCAlgorithmAES = 0 };

typedef uint32_t CCOptions;
enum : CCOptions { kCCOptionPKCS7Padding = 0x0001, kCCOptionECBMode = 0x0002 };

enum : size_t {
  kCCKeySizeAES128 = 16,
  kCCKeySizeAES192 = 24,
  kCCKeySizeAES256 = 32,
  kCCBlockSizeAES128 = 16,
};

// One-shot AES. CBC unless kCCOptionECBMode is given; a null `iv` means sixteen
// zero bytes. Answers kCCSuccess with `*dataOutMoved` set, or a failure status:
// kCCParamError for a bad key size, operation or algorithm, kCCBufferTooSmall
// when `dataOutAvailable` cannot hold the result (with `*dataOutMoved` set to
// the size needed), kCCAlignmentError for a ragged input without padding or a
// ragged ciphertext, kCCDecodeError for bad padding.
CCCryptorStatus CCCrypt(CCOperation op, CCAlgorithm alg, CCOptions options, const void* key,
                        size_t keyLength, const void* iv, const void* dataIn, size_t dataInLength,
                        void* dataOut, size_t dataOutAvailable, size_t* dataOutMoved);
}
