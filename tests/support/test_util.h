// Conversions and OpenSSL oracles shared by the test suites.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "norvek/buffer.h"
#include "norvek_platform/foundation.h"

namespace norvek_test {

using Bytes = std::vector<uint8_t>;

template <class Rng>
Bytes random_bytes(Rng& rng, size_t n) {
  Bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

Bytes bytes_of(const std::string& text);
Bytes bytes_of(const NorvekCryptoSpace::CNorVekXBuffer& buffer);
Bytes bytes_of(const NSData& data);  // empty for nil
NorvekCryptoSpace::CNorVekXBuffer buffer_of(const Bytes& bytes);
NSData data_of(const Bytes& bytes);
NSData data_of(const std::string& text);
NSString ns(const std::string& utf8);
std::string text_of(const NSData& data);    // empty for nil
std::string text_of(const NSString& text);  // empty for nil
std::string to_hex(const Bytes& bytes);

// Lengths for tests over sizes: every length from 0 to `up_to`, then those
// within `spread` of each of `around` (say, where a result area crosses an
// allocator threshold), then 1 MiB + 1, well past the small sizes.
std::vector<size_t> lengths_around(size_t up_to, std::initializer_list<size_t> around,
                                   size_t spread);

// Runs `f` and answers the name of the NSExceptionError it raised, or says
// that it raised nothing or something else.
std::string raised_name(const std::function<void()>& f);

// NIST SP 800-38A F.2.1 / F.2.2: CBC-AES128, four blocks.
struct CbcVector {
  Bytes key, iv, plain, cipher;
};
const CbcVector& sp800_38a_cbc_aes128();

// OpenSSL oracles. Key size picks AES-128/192/256; no padding unless asked.
Bytes openssl_aes_ecb(const Bytes& key, const Bytes& in, bool encrypt);
Bytes openssl_aes_cbc(const Bytes& key, const Bytes& iv, const Bytes& in, bool encrypt,
                      bool pkcs7 = false);
Bytes openssl_hmac_sha1(const Bytes& message, const Bytes& key);
Bytes openssl_sha1(const Bytes& message);

}  // namespace norvek_test
