// Array-level Base64 in the standard alphabet with '=' padding. Neither
// function allocates.
#pragma once

#include <cstdint>

// Encodes `len` bytes. The capacity of `out` is read from *out_len (never
// null). With E = 4 * ceil(len / 3): if E exceeds the capacity, returns E and
// writes nothing; if `out` is null, returns 0; otherwise writes E characters,
// a terminating zero only when the capacity exceeds E, stores E in *out_len
// and returns it. No line breaks.
uint64_t norvek_crypto_base64_encodeKQZP(const uint8_t* src, uint64_t len, char* out,
                                         uint64_t* out_len);

// Decodes at most `inlen` characters, stopping at a zero character or after a
// group padded with '='. Lenient: a character outside the alphabet decodes as
// '/'. A short final group decodes as if padded (two characters give one
// byte, three give two, one gives none). `out` needs 3 bytes per started
// group of four; the count written is stored in *out_len (never null) and
// returned. Never reads beyond `inlen`.
uint64_t norvek_crypto_base64_decodeKQZP(const char* src, uint64_t inlen, uint8_t* out,
                                         uint64_t* out_len);
