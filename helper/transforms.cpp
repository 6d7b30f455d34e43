// The 46 byte transforms of the processor table and their reverses.
//
// Four families share code: per-byte maps, position-dependent maps (key
// arrays and rotations), XOR with a data-independent key stream, and XOR
// with a key chained through the data. Every transform is one forward pass
// over `data`, keeps its running state in locals and allocates nothing.
// Positions are 64-bit throughout, so any length is served.
//
// None of this is encryption: the only secrets are the built-in constants.
// Timing does not depend on the data.
#include "norvek/transforms.h"

#include <array>
#include <cstring>

namespace NorvekCryptoSpace {

uint8_t NORVEK_BIT_MASK[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

namespace {

// The key arrays of transforms 17 to 20, one constant each. Only the first
// 13 bytes are read; transform 2 reads the array of transform 17.
constexpr uint64_t kKeyPeriod = 13;
namespace enc_17 {
constexpr uint8_t key[15] = {0xD6, 0x31, 0x45, 0x7B, 0x0E, 0x18, 0xD4, 0x5F,
                             0x6B, 0x31, 0xEF, 0xA5, 0x06, 0x05, 0x11};
}
namespace enc_18 {
constexpr uint8_t key[15] = {0xA8, 0x37, 0xA0, 0xF2, 0x79, 0x6F, 0xEA, 0xE6,
                             0x72, 0x46, 0xE8, 0x92, 0x92, 0xC3, 0x39};
}
namespace enc_19 {
constexpr uint8_t key[15] = {0x83, 0x77, 0x68, 0x57, 0x88, 0x20, 0xB8, 0x29,
                             0x92, 0xB5, 0x16, 0xFD, 0xA7, 0xF4, 0xB4};
}
namespace enc_20 {
constexpr uint8_t key[15] = {0x3C, 0x64, 0xE7, 0x30, 0xA1, 0xAA, 0xDE, 0x45,
                             0xB0, 0x1D, 0xB7, 0xA4, 0xC7, 0x10, 0x90};
}

inline uint8_t byte(unsigned x) { return static_cast<uint8_t>(x); }

inline uint8_t nibble_swap(uint8_t x) { return byte((x >> 4) | (x << 4)); }

// --- maps: c = f(b) --------------------------------------------------------

template <typename Map>
inline uint8_t* map_bytes(uint8_t* data, uint64_t data_size, Map f) {
  for (uint64_t i = 0; i < data_size; ++i) data[i] = f(data[i]);
  return data;
}

inline uint8_t* add_bytes(uint8_t* data, uint64_t data_size, uint8_t value) {
  return map_bytes(data, data_size, [value](uint8_t b) { return byte(b + value); });
}
inline uint8_t* subtract_bytes(uint8_t* data, uint64_t data_size, uint8_t value) {
  return map_bytes(data, data_size, [value](uint8_t c) { return byte(c - value); });
}

// c = S(b) + value, and back.
inline uint8_t* swap_then_add(uint8_t* data, uint64_t data_size, uint8_t value) {
  return map_bytes(data, data_size, [value](uint8_t b) { return byte(nibble_swap(b) + value); });
}
inline uint8_t* subtract_then_swap(uint8_t* data, uint64_t data_size, uint8_t value) {
  return map_bytes(data, data_size, [value](uint8_t c) { return nibble_swap(byte(c - value)); });
}

// c = b XOR value XOR (b >> 4): the high nibble is kept, so this undoes itself.
inline uint8_t* fold_high_nibble(uint8_t* data, uint64_t data_size, uint8_t value) {
  return map_bytes(data, data_size, [value](uint8_t b) { return byte(b ^ value ^ (b >> 4)); });
}

// --- positional: key arrays ------------------------------------------------

// c = b XOR key[(i + offset) mod 13]; the index is stepped, not divided.
inline uint8_t* xor_key(uint8_t* data, uint64_t data_size, const uint8_t (&key)[15],
                        uint64_t offset) {
  uint64_t j = offset % kKeyPeriod;
  for (uint64_t i = 0; i < data_size; ++i) {
    data[i] ^= key[j];
    if (++j == kKeyPeriod) j = 0;
  }
  return data;
}

// --- positional: rotations -------------------------------------------------

// Rotation by r (0..8) through the mask table. The table is copied once per
// call: it is writable and `data` may alias it as far as the compiler knows.
struct Rotator {
  uint8_t mask[9];
  Rotator() { std::memcpy(mask, NORVEK_BIT_MASK, sizeof mask); }
  uint8_t right(uint8_t x, unsigned r) const {
    return byte(((x >> r) & mask[8 - r]) | (x << (8 - r)));
  }
  uint8_t left(uint8_t x, unsigned r) const { return right(x, 8 - r); }
};

// c = R(b - before, (i mod 8) + extra) + after.
inline uint8_t* rotate_forward(uint8_t* data, uint64_t data_size, uint8_t before, unsigned extra,
                               uint8_t after) {
  const Rotator rot;
  for (uint64_t i = 0; i < data_size; ++i) {
    const unsigned r = static_cast<unsigned>(i & 7) + extra;
    data[i] = byte(rot.right(byte(data[i] - before), r) + after);
  }
  return data;
}

// b = L(c - after, (i mod 8) + extra) + before.
inline uint8_t* rotate_reverse(uint8_t* data, uint64_t data_size, uint8_t before, unsigned extra,
                               uint8_t after) {
  const Rotator rot;
  for (uint64_t i = 0; i < data_size; ++i) {
    const unsigned r = static_cast<unsigned>(i & 7) + extra;
    data[i] = byte(rot.left(byte(data[i] - after), r) + before);
  }
  return data;
}

// --- stream: c = b XOR k, k independent of the data ------------------------

// `next_key(i)` gives the key byte for position i and advances the stream.
// XOR with a fixed stream undoes itself.
template <typename KeyStream>
inline uint8_t* xor_stream(uint8_t* data, uint64_t data_size, KeyStream next_key) {
  for (uint64_t i = 0; i < data_size; ++i) data[i] ^= next_key(i);
  return data;
}

// Rows whose key is multiplied by the position: the byte used is k + offset,
// then k = k * i + increment. Only the low 8 bits of the product matter.
inline uint8_t* multiplying_stream(uint8_t* data, uint64_t data_size, uint8_t seed, uint8_t offset,
                                   uint8_t increment) {
  return xor_stream(data, data_size, [k = seed, offset, increment](uint64_t i) mutable {
    const uint8_t used = byte(k + offset);
    k = static_cast<uint8_t>(k * i + increment);
    return used;
  });
}

// Rows that update k before using it ("k first").
template <typename Update>
inline uint8_t* updated_stream(uint8_t* data, uint64_t data_size, uint8_t seed, Update update) {
  return xor_stream(data, data_size, [k = seed, update](uint64_t) mutable {
    k = byte(update(unsigned{k}));
    return k;
  });
}

// --- chain: c = b XOR k, next k from the data ------------------------------

// Which byte of the forward pass feeds the next key: the one written (c) or,
// for transform 9, the one read (b). The reverse sees both bytes as well, so
// it rebuilds the same key sequence.
enum class Feed { kWritten, kRead };
enum class Pass { kForward, kReverse };

inline uint8_t* xor_chain(uint8_t* data, uint64_t data_size, uint8_t seed, int step, Feed feed,
                          Pass pass) {
  uint8_t k = seed;
  for (uint64_t i = 0; i < data_size; ++i) {
    const uint8_t in = data[i];
    const uint8_t out = in ^ k;
    data[i] = out;
    const uint8_t plain = pass == Pass::kForward ? in : out;
    const uint8_t cipher = pass == Pass::kForward ? out : in;
    k = byte((feed == Feed::kWritten ? cipher : plain) + step);
  }
  return data;
}

inline uint8_t* chain_forward(uint8_t* data, uint64_t data_size, uint8_t seed, int step,
                              Feed feed = Feed::kWritten) {
  return xor_chain(data, data_size, seed, step, feed, Pass::kForward);
}
inline uint8_t* chain_reverse(uint8_t* data, uint64_t data_size, uint8_t seed, int step,
                              Feed feed = Feed::kWritten) {
  return xor_chain(data, data_size, seed, step, feed, Pass::kReverse);
}

// Transform 11's key: per byte, eight one-bit steps of a shift register whose
// new top bit is bit 5 XOR bit 2; bit j of the key byte is bit j of the
// register before step j. The steps depend only on the register, so they are
// tabulated for each of its 256 states (indexed by state, never by data).
struct RegisterByte {
  uint8_t key;
  uint8_t next;
};

constexpr RegisterByte shift_register_byte(uint8_t k) {
  unsigned t = 0;
  for (unsigned j = 0; j < 8; ++j) {
    t |= k & (1u << j);
    k = static_cast<uint8_t>((((k << 2) ^ (k << 5)) & 0x80) | (k >> 1));
  }
  return {static_cast<uint8_t>(t), k};
}

constexpr auto kShiftRegister = [] {
  std::array<RegisterByte, 256> table{};
  for (unsigned state = 0; state < 256; ++state)
    table[state] = shift_register_byte(static_cast<uint8_t>(state));
  return table;
}();

}  // namespace

// ---------------------------------------------------------------------------
// Forward transforms

uint8_t* norvek_crypto_enc_1(uint8_t* data, uint64_t data_size) {
  return map_bytes(data, data_size, nibble_swap);
}
uint8_t* norvek_crypto_enc_2(uint8_t* data, uint64_t data_size) {
  return xor_key(data, data_size, enc_17::key, 0);
}
uint8_t* norvek_crypto_enc_3(uint8_t* data, uint64_t data_size) {
  return add_bytes(data, data_size, 0x44);
}
uint8_t* norvek_crypto_enc_4(uint8_t* data, uint64_t data_size) {
  return rotate_forward(data, data_size, 1, 0, 0);
}
uint8_t* norvek_crypto_enc_5(uint8_t* data, uint64_t data_size) {
  return multiplying_stream(data, data_size, 0x36, 0, 0);
}
uint8_t* norvek_crypto_enc_6(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0x66, 0);
}
uint8_t* norvek_crypto_enc_7(uint8_t* data, uint64_t data_size) {
  return updated_stream(data, data_size, 0xC9,
                        [](unsigned k) { return (((k << 4) ^ k) & 0xF0) | ((k >> 4) & 0x0F); });
}
uint8_t* norvek_crypto_enc_8(uint8_t* data, uint64_t data_size) {
  return fold_high_nibble(data, data_size, 0x0E);
}
uint8_t* norvek_crypto_enc_9(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0xCA, 0, Feed::kRead);
}
uint8_t* norvek_crypto_enc_10(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0xCB, 0);
}
uint8_t* norvek_crypto_enc_11(uint8_t* data, uint64_t data_size) {
  return xor_stream(data, data_size, [k = uint8_t{0xD4}](uint64_t) mutable {
    const RegisterByte step = kShiftRegister[k];
    k = step.next;
    return step.key;
  });
}
uint8_t* norvek_crypto_enc_12(uint8_t* data, uint64_t data_size) {
  // Fold the high nibble into the low one, then swap neighbouring bits.
  return map_bytes(data, data_size, [](uint8_t b) {
    const unsigned t = b ^ (b >> 4);
    return byte(((t >> 1) & 0x55) | ((t << 1) & 0xAA));
  });
}
uint8_t* norvek_crypto_enc_13(uint8_t* data, uint64_t data_size) {
  return swap_then_add(data, data_size, 2);
}
uint8_t* norvek_crypto_enc_14(uint8_t* data, uint64_t data_size) {
  return swap_then_add(data, data_size, 3);
}
uint8_t* norvek_crypto_enc_15(uint8_t* data, uint64_t data_size) {
  return swap_then_add(data, data_size, 4);
}
uint8_t* norvek_crypto_enc_16(uint8_t* data, uint64_t data_size) {
  return swap_then_add(data, data_size, 5);
}
uint8_t* norvek_crypto_enc_17(uint8_t* data, uint64_t data_size) {
  return xor_key(data, data_size, enc_17::key, 1);
}
uint8_t* norvek_crypto_enc_18(uint8_t* data, uint64_t data_size) {
  return xor_key(data, data_size, enc_18::key, 2);
}
uint8_t* norvek_crypto_enc_19(uint8_t* data, uint64_t data_size) {
  return xor_key(data, data_size, enc_19::key, 1);
}
uint8_t* norvek_crypto_enc_20(uint8_t* data, uint64_t data_size) {
  return xor_key(data, data_size, enc_20::key, 1);
}
uint8_t* norvek_crypto_enc_21(uint8_t* data, uint64_t data_size) {
  return add_bytes(data, data_size, 0x43);
}
uint8_t* norvek_crypto_enc_22(uint8_t* data, uint64_t data_size) {
  return add_bytes(data, data_size, 0x44);
}
uint8_t* norvek_crypto_enc_23(uint8_t* data, uint64_t data_size) {
  return add_bytes(data, data_size, 0x45);
}
uint8_t* norvek_crypto_enc_24(uint8_t* data, uint64_t data_size) {
  return add_bytes(data, data_size, 0x46);
}
uint8_t* norvek_crypto_enc_25(uint8_t* data, uint64_t data_size) {
  return rotate_forward(data, data_size, 2, 0, 0);
}
uint8_t* norvek_crypto_enc_26(uint8_t* data, uint64_t data_size) {
  return rotate_forward(data, data_size, 1, 1, 0);
}
uint8_t* norvek_crypto_enc_27(uint8_t* data, uint64_t data_size) {
  return rotate_forward(data, data_size, 1, 0, 1);
}
uint8_t* norvek_crypto_enc_28(uint8_t* data, uint64_t data_size) {
  return rotate_forward(data, data_size, 1, 0, 2);
}
uint8_t* norvek_crypto_enc_29(uint8_t* data, uint64_t data_size) {
  return multiplying_stream(data, data_size, 0x35, 0, 1);
}
uint8_t* norvek_crypto_enc_30(uint8_t* data, uint64_t data_size) {
  return multiplying_stream(data, data_size, 0x36, 0, 1);
}
uint8_t* norvek_crypto_enc_31(uint8_t* data, uint64_t data_size) {
  return multiplying_stream(data, data_size, 0x36, 1, 0);
}
uint8_t* norvek_crypto_enc_32(uint8_t* data, uint64_t data_size) {
  return multiplying_stream(data, data_size, 0x36, 2, 0);
}
uint8_t* norvek_crypto_enc_33(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0x67, 1);
}
uint8_t* norvek_crypto_enc_34(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0x68, 1);
}
uint8_t* norvek_crypto_enc_35(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0x68, 2);
}
uint8_t* norvek_crypto_enc_36(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0x69, 2);
}
uint8_t* norvek_crypto_enc_37(uint8_t* data, uint64_t data_size) {
  return updated_stream(data, data_size, 0xC9, [](unsigned k) {
    return (((k << 4) ^ (k + 1)) & 0xF0) | ((k >> 4) & 0x0F);
  });
}
uint8_t* norvek_crypto_enc_38(uint8_t* data, uint64_t data_size) {
  return updated_stream(data, data_size, 0xC9, [](unsigned k) {
    return ((((k & 0xFF) << 4) ^ k) & 0xF0) | ((k & 0xFF) >> 4);
  });
}
uint8_t* norvek_crypto_enc_39(uint8_t* data, uint64_t data_size) {
  return updated_stream(data, data_size, 0xCB, [](unsigned k) {
    return (((k << 4) ^ (k + 1)) & 0xF0) | ((k >> 4) & 0x0F);
  });
}
uint8_t* norvek_crypto_enc_40(uint8_t* data, uint64_t data_size) {
  return updated_stream(data, data_size, 0xCB, [](unsigned k) {
    return (((k << 4) ^ k) & 0xF0) | (((k + 1) >> 4) & 0x0F);
  });
}
uint8_t* norvek_crypto_enc_41(uint8_t* data, uint64_t data_size) {
  return fold_high_nibble(data, data_size, 0x0E);
}
uint8_t* norvek_crypto_enc_42(uint8_t* data, uint64_t data_size) {
  return fold_high_nibble(data, data_size, 0x0C);
}
uint8_t* norvek_crypto_enc_43(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0xC6, -5);
}
uint8_t* norvek_crypto_enc_44(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0xCD, -1);
}
uint8_t* norvek_crypto_enc_45(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0xCD, 1);
}
uint8_t* norvek_crypto_enc_46(uint8_t* data, uint64_t data_size) {
  return chain_forward(data, data_size, 0xCB, -3);
}

// ---------------------------------------------------------------------------
// Reverse transforms. The self-inverse ones call their forward transform.

uint8_t* norvek_crypto_dec_1(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_1(data, data_size);
}
uint8_t* norvek_crypto_dec_2(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_2(data, data_size);
}
uint8_t* norvek_crypto_dec_3(uint8_t* data, uint64_t data_size) {
  return subtract_bytes(data, data_size, 0x44);
}
uint8_t* norvek_crypto_dec_4(uint8_t* data, uint64_t data_size) {
  return rotate_reverse(data, data_size, 1, 0, 0);
}
uint8_t* norvek_crypto_dec_5(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_5(data, data_size);
}
uint8_t* norvek_crypto_dec_6(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0x66, 0);
}
uint8_t* norvek_crypto_dec_7(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_7(data, data_size);
}
uint8_t* norvek_crypto_dec_8(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_8(data, data_size);
}
uint8_t* norvek_crypto_dec_9(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0xCA, 0, Feed::kRead);
}
uint8_t* norvek_crypto_dec_10(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0xCB, 0);
}
uint8_t* norvek_crypto_dec_11(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_11(data, data_size);
}
uint8_t* norvek_crypto_dec_12(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_12(data, data_size);
}
uint8_t* norvek_crypto_dec_13(uint8_t* data, uint64_t data_size) {
  return subtract_then_swap(data, data_size, 2);
}
uint8_t* norvek_crypto_dec_14(uint8_t* data, uint64_t data_size) {
  return subtract_then_swap(data, data_size, 3);
}
uint8_t* norvek_crypto_dec_15(uint8_t* data, uint64_t data_size) {
  return subtract_then_swap(data, data_size, 4);
}
uint8_t* norvek_crypto_dec_16(uint8_t* data, uint64_t data_size) {
  return subtract_then_swap(data, data_size, 5);
}
uint8_t* norvek_crypto_dec_17(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_17(data, data_size);
}
uint8_t* norvek_crypto_dec_18(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_18(data, data_size);
}
uint8_t* norvek_crypto_dec_19(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_19(data, data_size);
}
uint8_t* norvek_crypto_dec_20(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_20(data, data_size);
}
uint8_t* norvek_crypto_dec_21(uint8_t* data, uint64_t data_size) {
  return subtract_bytes(data, data_size, 0x43);
}
uint8_t* norvek_crypto_dec_22(uint8_t* data, uint64_t data_size) {
  return subtract_bytes(data, data_size, 0x44);
}
uint8_t* norvek_crypto_dec_23(uint8_t* data, uint64_t data_size) {
  return subtract_bytes(data, data_size, 0x45);
}
uint8_t* norvek_crypto_dec_24(uint8_t* data, uint64_t data_size) {
  return subtract_bytes(data, data_size, 0x46);
}
uint8_t* norvek_crypto_dec_25(uint8_t* data, uint64_t data_size) {
  return rotate_reverse(data, data_size, 2, 0, 0);
}
uint8_t* norvek_crypto_dec_26(uint8_t* data, uint64_t data_size) {
  return rotate_reverse(data, data_size, 1, 1, 0);
}
uint8_t* norvek_crypto_dec_27(uint8_t* data, uint64_t data_size) {
  return rotate_reverse(data, data_size, 1, 0, 1);
}
uint8_t* norvek_crypto_dec_28(uint8_t* data, uint64_t data_size) {
  return rotate_reverse(data, data_size, 1, 0, 2);
}
uint8_t* norvek_crypto_dec_29(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_29(data, data_size);
}
uint8_t* norvek_crypto_dec_30(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_30(data, data_size);
}
uint8_t* norvek_crypto_dec_31(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_31(data, data_size);
}
uint8_t* norvek_crypto_dec_32(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_32(data, data_size);
}
uint8_t* norvek_crypto_dec_33(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0x67, 1);
}
uint8_t* norvek_crypto_dec_34(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0x68, 1);
}
uint8_t* norvek_crypto_dec_35(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0x68, 2);
}
uint8_t* norvek_crypto_dec_36(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0x69, 2);
}
uint8_t* norvek_crypto_dec_37(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_37(data, data_size);
}
uint8_t* norvek_crypto_dec_38(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_38(data, data_size);
}
uint8_t* norvek_crypto_dec_39(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_39(data, data_size);
}
uint8_t* norvek_crypto_dec_40(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_40(data, data_size);
}
uint8_t* norvek_crypto_dec_41(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_41(data, data_size);
}
uint8_t* norvek_crypto_dec_42(uint8_t* data, uint64_t data_size) {
  return norvek_crypto_enc_42(data, data_size);
}
uint8_t* norvek_crypto_dec_43(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0xC6, -5);
}
uint8_t* norvek_crypto_dec_44(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0xCD, -1);
}
uint8_t* norvek_crypto_dec_45(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0xCD, 1);
}
uint8_t* norvek_crypto_dec_46(uint8_t* data, uint64_t data_size) {
  return chain_reverse(data, data_size, 0xCB, -3);
}

}  // namespace NorvekCryptoSpace
