// AES lookup tables, computed at compile time from GF(2^8) arithmetic so that
// no hand-typed constant can be wrong. Internal to the AES unit (the tests
// include it to check the tables); every including unit gets its own copy.
//
// Words pack bytes big-endian: byte 0 is the most significant.
#pragma once

#include <cstdint>

namespace norvek_aes_tables {

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t gf_xtime(uint8_t a) {
  return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00));
}

constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b != 0) {
    if (b & 1) r ^= a;
    a = gf_xtime(a);
    b >>= 1;
  }
  return r;
}

// a^254 = a^-1 for a != 0, and 0 for 0.
constexpr uint8_t gf_inverse(uint8_t a) {
  uint8_t result = 1;
  uint8_t base = a;
  for (unsigned e = 254; e != 0; e >>= 1) {
    if (e & 1) result = gf_mul(result, base);
    base = gf_mul(base, base);
  }
  return a == 0 ? 0 : result;
}

constexpr uint8_t rotl8(uint8_t x, unsigned n) {
  return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

// SubBytes: the affine map applied to the multiplicative inverse.
constexpr uint8_t sbox(uint8_t x) {
  const uint8_t b = gf_inverse(x);
  return static_cast<uint8_t>(b ^ rotl8(b, 1) ^ rotl8(b, 2) ^ rotl8(b, 3) ^ rotl8(b, 4) ^ 0x63);
}

constexpr uint32_t pack(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return (uint32_t{b0} << 24) | (uint32_t{b1} << 16) | (uint32_t{b2} << 8) | uint32_t{b3};
}

constexpr uint32_t rotr32(uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }

struct Tables {
  uint32_t Te0[256], Te1[256], Te2[256], Te3[256];
  uint32_t Td0[256], Td1[256], Td2[256], Td3[256];
  uint32_t Te4[256], Td4[256];
  uint32_t rcon[10];
};

constexpr Tables make_tables() {
  Tables t{};
  uint8_t inv_s[256]{};
  for (unsigned x = 0; x < 256; ++x) inv_s[sbox(static_cast<uint8_t>(x))] = static_cast<uint8_t>(x);
  for (unsigned x = 0; x < 256; ++x) {
    const uint8_t s = sbox(static_cast<uint8_t>(x));
    const uint32_t te = pack(gf_mul(s, 2), s, s, gf_mul(s, 3));
    t.Te0[x] = te;
    t.Te1[x] = rotr32(te, 8);
    t.Te2[x] = rotr32(te, 16);
    t.Te3[x] = rotr32(te, 24);
    t.Te4[x] = pack(s, s, s, s);

    const uint8_t v = inv_s[x];
    const uint32_t td = pack(gf_mul(v, 0x0E), gf_mul(v, 0x09), gf_mul(v, 0x0D), gf_mul(v, 0x0B));
    t.Td0[x] = td;
    t.Td1[x] = rotr32(td, 8);
    t.Td2[x] = rotr32(td, 16);
    t.Td3[x] = rotr32(td, 24);
    t.Td4[x] = pack(v, v, v, v);
  }
  uint8_t rc = 1;
  for (unsigned i = 0; i < 10; ++i) {
    t.rcon[i] = uint32_t{rc} << 24;
    rc = gf_xtime(rc);
  }
  return t;
}

// Cache-line aligned so each 1 KiB table spans exactly 16 lines.
alignas(64) constexpr Tables kTables = make_tables();

}  // namespace norvek_aes_tables
