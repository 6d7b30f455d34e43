// Every operation that takes inputs and an output by reference or pointer
// gives the same answer whether each input has storage of its own, lives
// inside the output's storage (raw lists and areas) or is the output itself
// (buffers). Run it under AddressSanitizer: a use after free shows there even
// when the answer happens to come out right.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "norvek/aes.h"
#include "norvek/buffer.h"
#include "norvek/crypto_helper.h"
#include "norvek/hmac_sha1.h"
#include "test_util.h"

namespace {

using namespace NorvekCryptoSpace;
using norvek_test::buffer_of;
using norvek_test::Bytes;
using norvek_test::bytes_of;

// The bytes before the call: the output's, each buffer input's (used when it
// is not the output) and where each raw input lies inside the output's bytes.
struct Layout {
  Bytes out;
  std::vector<Bytes> buffers;
  std::vector<std::pair<size_t, size_t>> areas;  // offset, length
};

// The arguments of one call. Bit i of `mask` picks buffer input i to be the
// output, bit (buffer count + j) picks raw input j to live in the output's
// storage. Unshared, every input gets storage of its own holding the same
// bytes it would have shared.
class Slots {
 public:
  Slots(const Layout& layout, unsigned mask, bool shared) : out(buffer_of(layout.out)) {
    const size_t nb = layout.buffers.size();
    for (size_t i = 0; i < nb; ++i) {
      const bool is_out = ((mask >> i) & 1u) != 0;
      m_buffer_is_out.push_back(shared && is_out);
      m_buffers.push_back(buffer_of(is_out ? layout.out : layout.buffers[i]));
    }
    for (size_t j = 0; j < layout.areas.size(); ++j) {
      const auto [at, len] = layout.areas[j];
      m_area_at.push_back(shared && ((mask >> (nb + j)) & 1u) != 0 ? static_cast<long>(at) : -1);
      m_areas.emplace_back(layout.out.begin() + static_cast<long>(at),
                           layout.out.begin() + static_cast<long>(at + len));
    }
  }

  const CNorVekXBuffer& buffer(size_t i) const { return m_buffer_is_out[i] ? out : m_buffers[i]; }
  uint8_t* area(size_t j) {
    return m_area_at[j] < 0 ? m_areas[j].data() : out.m_pData + m_area_at[j];
  }
  size_t area_size(size_t j) const { return m_areas[j].size(); }
  const int32_t* list(size_t j) { return reinterpret_cast<const int32_t*>(area(j)); }

  CNorVekXBuffer out;

 private:
  std::vector<bool> m_buffer_is_out;
  std::deque<CNorVekXBuffer> m_buffers;
  std::vector<long> m_area_at;
  std::deque<Bytes> m_areas;
};

Bytes pattern(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  return norvek_test::random_bytes(rng, n);
}

Bytes ints(std::initializer_list<int32_t> values) {
  Bytes b(values.size() * sizeof(int32_t));
  std::memcpy(b.data(), values.begin(), b.size());
  return b;
}

Bytes text(const char* s) { return norvek_test::bytes_of(std::string(s)); }

// `base` with `part` written over it at `at`.
Bytes put(Bytes base, size_t at, const Bytes& part) {
  std::copy(part.begin(), part.end(), base.begin() + static_cast<long>(at));
  return base;
}

Bytes number(uint64_t v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Case {
  const char* name;
  std::vector<Layout> layouts;
  std::function<Bytes(Slots&)> run;  // the answer beside the output's bytes
};

using ChainOp = uint64_t (CNorVekXCryptoHelper::*)(const int32_t*, int32_t, const CNorVekXBuffer&,
                                                   CNorVekXBuffer&);

// The list {a, b} in the output: alone (the output grows), at the end of a
// longer output (shrinking zeroes it) and inside one of the input's size.
Case chain_case(const char* name, ChainOp op, int32_t a, int32_t b) {
  const Bytes list = ints({a, b});
  return {name,
          {{list, {pattern(30, 1)}, {{0, 8}}},
           {put(pattern(48, 2), 40, list), {pattern(30, 3)}, {{40, 8}}},
           {put(pattern(40, 4), 16, list), {pattern(40, 5)}, {{16, 8}}}},
          [op](Slots& s) {
            CNorVekXCryptoHelper helper;
            return number((helper.*op)(s.list(0), 2, s.buffer(0), s.out));
          }};
}

// A buffer operation returning a new buffer, its result assigned to the output.
Case assigned_case(const char* name, CNorVekXBuffer (*op)(const CNorVekXBuffer&),
                   std::vector<Layout> layouts) {
  return {name, std::move(layouts), [op](Slots& s) {
            s.out = op(s.buffer(0));
            return Bytes{};
          }};
}

const Bytes kKey = pattern(16, 40);

Bytes encrypted(const Bytes& plain) {
  CNorVekXBuffer cipher;
  CNorVekXCryptoHelper::Encrypt(buffer_of(kKey), buffer_of(plain), cipher);
  return bytes_of(cipher);
}

std::vector<Case> all_cases() {
  const Bytes cipher = encrypted(pattern(40, 41));
  const Bytes positions = ints({3, 4, 8, 10, 15, 20});
  const Bytes hex = text("00ff7A9cbE");
  return {
      chain_case("DynEncrypt", &CNorVekXCryptoHelper::DynEncrypt, 3, 7),
      chain_case("DynDecrypt", &CNorVekXCryptoHelper::DynDecrypt, 3, 7),
      chain_case("DynEncryptEx", &CNorVekXCryptoHelper::DynEncryptEx, 49, 7),
      chain_case("DynDecryptEx", &CNorVekXCryptoHelper::DynDecryptEx, 49, 7),
      {"Encrypt",
       {{pattern(5, 10), {pattern(16, 11), pattern(40, 12)}, {}},
        {pattern(100, 13), {pattern(20, 14), pattern(7, 15)}, {}},
        {pattern(32, 16), {pattern(16, 17), pattern(32, 18)}, {}}},
       [](Slots& s) {
         return number(CNorVekXCryptoHelper::Encrypt(s.buffer(0), s.buffer(1), s.out));
       }},
      // The output holding key and ciphertext: deciphering all of it under
      // the key still ends in a valid pad.
      {"Decrypt",
       {{cipher, {kKey, cipher}, {}},
        {pattern(3, 20), {kKey, cipher}, {}},
        {kKey + cipher, {kKey, cipher}, {}}},
       [](Slots& s) {
         return number(CNorVekXCryptoHelper::Decrypt(s.buffer(0), s.buffer(1), s.out));
       }},
      {"GenerateID",
       {{positions, {pattern(2, 30), pattern(1, 31), pattern(12, 32)}, {{0, 24}}},
        {put(pattern(40, 33), 12, positions),
         {pattern(2, 34), text("v"), pattern(12, 35)},
         {{12, 24}}}},
       [](Slots& s) {
         return bytes_of(CNorVekXCryptoHelper::GenerateID(s.buffer(0), s.buffer(1), s.buffer(2),
                                                          s.out, s.list(0), 6));
       }},
      {"append",
       {{pattern(5, 50), {pattern(9, 51)}, {}}, {pattern(20, 52), {pattern(3, 53)}, {}}},
       [](Slots& s) {
         s.out.append(s.buffer(0));
         return Bytes{};
       }},
      {"operator=",
       {{pattern(5, 54), {pattern(9, 55)}, {}}, {pattern(20, 56), {pattern(3, 57)}, {}}},
       [](Slots& s) {
         s.out = s.buffer(0);
         return Bytes{};
       }},
      assigned_case("Hex2Bin", norvek_crypto_Hex2Bin,
                    {{hex, {text("1234")}, {}}, {text("12g4"), {text("abcdef0123456789")}, {}}}),
      assigned_case(
          "Bin2Hex", norvek_crypto_Bin2Hex,
          {{pattern(7, 60), {pattern(3, 61)}, {}}, {pattern(2, 62), {pattern(9, 63)}, {}}}),
      assigned_case(
          "EncodeBase64", norvek_crypto_EncodeBase64,
          {{pattern(7, 64), {pattern(3, 65)}, {}}, {pattern(2, 66), {pattern(9, 67)}, {}}}),
      assigned_case("DecodeBase64", norvek_crypto_DecodeBase64,
                    {{text("TWFu"), {text("aGVsbG8gd29ybGQ=")}, {}},
                     {text("aGVsbG8gd29ybGQ="), {text("TWE=")}, {}}}),
      // Array level, decoding into the text's own storage: in place, and
      // with the text further on in the same area; an invalid digit too.
      {"Hex2Bin array",
       {{hex, {}, {{0, 10}}},
        {put(pattern(12, 70), 2, hex), {}, {{2, 10}}},
        {text("12g4ab"), {}, {{0, 6}}}},
       [](Slots& s) {
         const uint64_t inlen = s.area_size(0);
         uint64_t outlen = inlen / 2;
         const int32_t r = norvek_crypto_Hex2Bin(reinterpret_cast<char*>(s.area(0)), inlen,
                                                 s.out.m_pData, outlen);
         return number(static_cast<uint64_t>(r)) + number(outlen);
       }},
      {"AES block",
       {{pattern(16, 80), {}, {{0, 16}}}},
       [](Slots& s) {
         vantel_aes_key_stKQZP key{};
         norvek_AES_set_encrypt_keyKQZP(kKey.data(), 128, &key);
         norvek_AES_encryptKQZP(s.area(0), s.out.m_pData, &key);
         norvek_AES_set_decrypt_keyKQZP(kKey.data(), 128, &key);
         norvek_AES_decryptKQZP(s.out.m_pData, s.out.m_pData, &key);
         norvek_AES_decryptKQZP(s.area(0), s.out.m_pData, &key);
         return Bytes{};
       }},
      {"CBC encrypt",
       {{pattern(48, 81), {}, {{0, 48}}}},
       [](Slots& s) {
         vantel_aes_key_stKQZP key{};
         norvek_AES_set_encrypt_keyKQZP(kKey.data(), 128, &key);
         uint8_t iv[16] = {};
         norvek_AES_cbc_encryptKQZP(s.area(0), s.out.m_pData, iv, 3, &key);
         return Bytes(iv, iv + 16);
       }},
      // The digest written over the message, over the key, or over both.
      {"HmacSha1 array",
       {{pattern(64, 82), {}, {{0, 40}, {0, 24}}}, {pattern(64, 83), {}, {{24, 40}, {0, 20}}}},
       [](Slots& s) {
         norvek_crypto_hmac_sha1_KQZP(s.area(0), 40, s.area(1), 20, s.out.m_pData);
         return Bytes{};
       }},
  };
}

TEST(Aliasing, AnyInputInsideTheOutputGivesTheSameAnswer) {
  for (const Case& c : all_cases()) {
    for (size_t k = 0; k < c.layouts.size(); ++k) {
      const Layout& layout = c.layouts[k];
      const unsigned inputs = static_cast<unsigned>(layout.buffers.size() + layout.areas.size());
      for (unsigned mask = 1; mask < (1u << inputs); ++mask) {
        Slots alone(layout, mask, false);
        Slots shared(layout, mask, true);
        const Bytes expected = c.run(alone) + bytes_of(alone.out);
        const Bytes got = c.run(shared) + bytes_of(shared.out);
        EXPECT_EQ(got, expected) << c.name << ", layout " << k << ", mask " << mask;
      }
    }
  }
}

}  // namespace
