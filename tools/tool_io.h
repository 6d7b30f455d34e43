// Input, output and failure reporting for the norvek tool.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "norvek/buffer.h"

namespace norvek_tool {

using Bytes = std::vector<uint8_t>;

// Exit statuses.
constexpr int kExitFailure = 1;  // the operation refused or failed
constexpr int kExitUsage = 2;    // the command line is wrong

// Thrown by commands; main prints "norvek: <what>" on one line and exits
// with `status`.
struct ToolError : std::runtime_error {
  ToolError(int status, const std::string& message) : std::runtime_error(message), status(status) {}
  int status;
};

[[noreturn]] void fail(const std::string& message);   // status 1
[[noreturn]] void usage(const std::string& message);  // status 2

// Reads a whole file ("" or "-" for standard input) in one pass, binary-safe.
Bytes read_all(const std::string& path);

// Byte strings in the tool's forms: "raw", "hex" (case-insensitive digits,
// whitespace ignored) or "base64" (standard alphabet, padded, whitespace
// ignored). A malformed text is an operation failure.
Bytes decode_form(const Bytes& text, const std::string& form);
// hex and base64 end with a newline; raw is the bytes as they are.
Bytes encode_form(const Bytes& bytes, const std::string& form);

// Writes to standard output ("" or "-"), or to a file through a temporary
// file in the same folder renamed over it, so that the file is either
// complete or untouched.
void write_all(const Bytes& bytes, const std::string& path);

// Strict hex of a command-line argument; a malformed value is a usage error
// naming `option`.
Bytes hex_argument(const std::string& text, const std::string& option);

NorvekCryptoSpace::CNorVekXBuffer to_buffer(const Bytes& bytes);
Bytes to_bytes(const NorvekCryptoSpace::CNorVekXBuffer& buffer);
Bytes to_bytes(const NSData& data);  // empty for nil
NSData to_data(const Bytes& bytes);  // never nil: empty bytes give an empty object

}  // namespace norvek_tool
