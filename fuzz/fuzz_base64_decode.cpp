// Fuzzes the lenient array-level Base64 decoder against a character-by-
// character reading of its rules and against OpenSSL on plain text, and the
// encoder by round trip and against EVP_EncodeBlock.
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_util.h"
#include "norvek/base64.h"

using fuzz_util::check;
using fuzz_util::kGuard;
using fuzz_util::same;

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

uint32_t value_of(unsigned char c) {
  const char* p = c == 0 ? nullptr : std::strchr(kAlphabet, c);
  return p == nullptr ? 63u : static_cast<uint32_t>(p - kAlphabet);
}

// Group by group, a missing place of a short final group standing for '='.
std::vector<uint8_t> reference_decode(const uint8_t* s, size_t n) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < n && s[i] != 0; i += 4) {
    const size_t have = n - i < 4 ? n - i : 4;
    if (have == 1) break;
    auto at = [&](size_t k) { return k < have ? s[i + k] : static_cast<uint8_t>('='); };
    const uint32_t a = value_of(at(0)), b = value_of(at(1)), c = value_of(at(2)),
                   d = value_of(at(3));
    out.push_back(static_cast<uint8_t>((a << 2) | (b >> 4)));
    if (at(2) == '=') break;
    out.push_back(static_cast<uint8_t>((b << 4) | (c >> 2)));
    if (at(3) == '=') break;
    out.push_back(static_cast<uint8_t>((c << 6) | d));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Decode the input as text: at most three bytes per started group, nothing
  // written beyond the count, and the same bytes as the reference.
  const size_t groups = (size + 3) / 4;
  std::vector<uint8_t> area(3 * groups + 8, kGuard);
  uint64_t count = UINT64_MAX;
  const uint64_t ret = norvek_crypto_base64_decodeKQZP(reinterpret_cast<const char*>(data), size,
                                                       area.data(), &count);
  check(ret == count);
  check(ret <= 3 * groups);
  check(fuzz_util::guarded(area.data() + ret, area.size() - ret));
  const std::vector<uint8_t> expected = reference_decode(data, size);
  check(expected.size() == ret && same(expected.data(), area.data(), ret));

  // Plain alphabet text of whole groups: OpenSSL agrees.
  bool plain = size % 4 == 0 && size <= 4096;
  for (size_t i = 0; plain && i < size; ++i)
    plain = data[i] != 0 && std::strchr(kAlphabet, data[i]);
  if (plain) {
    std::vector<uint8_t> ossl(size / 4 * 3 + 1);
    const int n = EVP_DecodeBlock(ossl.data(), data, static_cast<int>(size));
    check(n >= 0 && static_cast<uint64_t>(n) == ret && same(ossl.data(), area.data(), ret));
  }

  // The input as bytes: encode with the exact capacity (no terminator, no
  // write past it), compare with OpenSSL, decode back.
  if (size <= 4096) {
    const uint64_t e = 4 * ((size + 2) / 3);
    std::vector<uint8_t> text(e + 8, kGuard);
    uint64_t cap = e;
    check(norvek_crypto_base64_encodeKQZP(data, size, reinterpret_cast<char*>(text.data()), &cap) ==
          e);
    check(cap == e);
    check(fuzz_util::guarded(text.data() + e, text.size() - e));
    std::vector<uint8_t> ossl(e + 1);
    check(EVP_EncodeBlock(ossl.data(), data, static_cast<int>(size)) == static_cast<int>(e));
    check(same(ossl.data(), text.data(), e));

    std::vector<uint8_t> back(e / 4 * 3 + 1);
    uint64_t n = 0;
    norvek_crypto_base64_decodeKQZP(reinterpret_cast<const char*>(text.data()), e, back.data(), &n);
    check(n == size && same(back.data(), data, size));
  }
  return 0;
}
