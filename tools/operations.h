// The tool's whole-input operations over the library's public interface.
// Each answers the library's result, or throws ToolError (status 1) where
// the library answers failure. Those taking a buffer by reference work in
// place: the buffer ends holding the result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tool_io.h"

namespace norvek_tool {

Bytes hex_decode(const Bytes& in);  // strict: odd length or a non-hex digit fails

// The codec class: standard or web-safe alphabet, padded or not. Decoding is
// strict. The class answers nil both for failure and for an empty result;
// empty input gives empty output, and nil for any other input is reported as
// failure (so text that is only whitespace or padding fails).
NSData codec_encode(const uint8_t* in, uint64_t size, bool web_safe, bool padded);
NSData codec_decode(const NSData& in, bool web_safe, bool padded);

Bytes rand_bytes(int32_t count);  // the library gives at least 3 bytes

// The buffer cipher from `size` bytes at `in` into `out`, memory the caller
// owns and lends to the library: `out` holds CipherRoom(size) bytes and
// overlaps nothing of `in`. Answers the length written to `out`.
uint64_t buffer_encrypt(const uint8_t* in, uint64_t size, const Bytes& key, uint8_t* out);
uint64_t buffer_decrypt(const uint8_t* in, uint64_t size, const Bytes& key, uint8_t* out);

enum class Bridge { kSystem128, kAes256 };
// `key` absent is the nil key.
NSData bridge(Bridge which, bool encrypt, const NSData& in, const std::optional<std::string>& key);

enum class ChainOp { kEncrypt, kDecrypt, kUndo };
void chain(ChainOp op, bool ex, const std::vector<int32_t>& list,
           NorvekCryptoSpace::CNorVekXBuffer& in);

void transform(int row, bool reverse, uint8_t* data, uint64_t size);  // row 1..46, in place

NorvekCryptoSpace::CNorVekXBuffer hotp(const NorvekCryptoSpace::CNorVekXBuffer& in, int32_t digits);

struct Identifier {
  Bytes id, verify;
};
Identifier genid(const Bytes& tag, const Bytes& version, const Bytes& rawid,
                 const std::vector<int32_t>& positions);

}  // namespace norvek_tool
