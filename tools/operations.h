// The tool's operations over the library's public interface. Each takes the
// operation's input bytes and answers its output bytes, or throws ToolError
// (status 1) where the library answers failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tool_io.h"

namespace norvek_tool {

Bytes hex_encode(const Bytes& in);
Bytes hex_decode(const Bytes& in);  // strict: odd length or a non-hex digit fails

// Plain Base64 (buffer level, standard alphabet, padded). Its decoder is
// lenient and has no failure answer.
Bytes base64_encode(const Bytes& in);
Bytes base64_decode(const Bytes& in);

// The codec class: standard or web-safe alphabet, padded or not. Decoding is
// strict. The class answers nil both for failure and for an empty result;
// empty input gives empty output, and nil for any other input is reported as
// failure (so text that is only whitespace or padding fails).
Bytes codec_encode(const Bytes& in, bool web_safe, bool padded);
Bytes codec_decode(const Bytes& in, bool web_safe, bool padded);

Bytes uri_encode(const Bytes& in);
// A '%' without two hex digits after it, or a zero byte, fails (the library
// would silently stop there).
Bytes uri_decode(const Bytes& in);

Bytes sha1(const Bytes& in);
Bytes hmac_sha1(const Bytes& in, const Bytes& key);
Bytes sign(const Bytes& in);
Bytes rand_bytes(int32_t count);  // the library gives at least 3 bytes

Bytes buffer_encrypt(const Bytes& in, const Bytes& key);
Bytes buffer_decrypt(const Bytes& in, const Bytes& key);

enum class Bridge { kSystem128, kAes256 };
// `key` absent is the nil key.
Bytes bridge(Bridge which, bool encrypt, const Bytes& in, const std::optional<std::string>& key);

enum class ChainOp { kEncrypt, kDecrypt, kUndo };
Bytes chain(ChainOp op, bool ex, const std::vector<int32_t>& list, const Bytes& in);

Bytes transform(int row, bool reverse, const Bytes& in);  // row 1..46

Bytes hotp(const Bytes& in, int32_t digits);

struct Identifier {
  Bytes id, verify;
};
Identifier genid(const Bytes& tag, const Bytes& version, const Bytes& rawid,
                 const std::vector<int32_t>& positions);

}  // namespace norvek_tool
