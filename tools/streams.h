// The streaming commands: each is a stage that takes its input in pieces of
// any size and passes its output on to the next sink, holding no more than
// a few pieces whatever the input's length. Each gives byte for byte what
// the library's whole-input call gives for the whole input, and fails
// (ToolError, status 1) where the tool's whole-input operation does.
#pragma once

#include <memory>

#include "tool_io.h"

namespace norvek_tool {

// Lower-case hex; with `newline`, a final '\n' (the "hex" output form).
std::unique_ptr<Sink> hex_encoder(Sink& next, bool newline = false);
// Strict: an odd length or a non-hex digit fails.
std::unique_ptr<Sink> hex_decoder(Sink& next);
// Whitespace skipped, then strict hex (the "hex" input form).
std::unique_ptr<Sink> hex_form_decoder(Sink& next);
// Plain Base64 (standard alphabet, padded); with `newline`, a final '\n'.
std::unique_ptr<Sink> base64_encoder(Sink& next, bool newline = false);
// The lenient plain decoder: never fails, stops where the library stops.
std::unique_ptr<Sink> base64_decoder(Sink& next);
// The codec class's encoder (codec_encode): standard or web-safe alphabet,
// padded or not.
std::unique_ptr<Sink> class_encoder(Sink& next, bool web_safe, bool padded);
std::unique_ptr<Sink> uri_encoder(Sink& next);
// A '%' without two hex digits after it, or a zero byte, fails.
std::unique_ptr<Sink> uri_decoder(Sink& next);

// Digests: 20 bytes to `next` at the end.
std::unique_ptr<Sink> sha1_digest(Sink& next);
std::unique_ptr<Sink> hmac_sha1_digest(Sink& next, const Bytes& key);
std::unique_ptr<Sink> sign_digest(Sink& next);  // HMAC-SHA1 under the exported signing key

// The stage for an output form: null for "raw" (write to `next` itself).
std::unique_ptr<Sink> output_form(const std::string& form, Sink& next);

}  // namespace norvek_tool
