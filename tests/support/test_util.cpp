#include "test_util.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <stdexcept>

#include "norvek_platform/objc_runtime.h"
#include "wycheproof.h"

namespace norvek_test {

std::string raised_name(const std::function<void()>& f) {
  try {
    f();
  } catch (const NSExceptionError& e) {
    return std::string(e.name());
  } catch (...) {
    return "(another exception)";
  }
  return "(no exception)";
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes bytes_of(const NorvekCryptoSpace::CNorVekXBuffer& buffer) {
  if (buffer.m_nSize == 0) return {};
  return Bytes(buffer.m_pData, buffer.m_pData + buffer.m_nSize);
}

Bytes bytes_of(const NSData& data) {
  const auto* p = static_cast<const uint8_t*>(data.bytes());
  return data.length() == 0 ? Bytes{} : Bytes(p, p + data.length());
}

NorvekCryptoSpace::CNorVekXBuffer buffer_of(const Bytes& bytes) {
  return NorvekCryptoSpace::CNorVekXBuffer(bytes.data(), bytes.size());
}

NSData data_of(const Bytes& bytes) { return NSData::dataWithBytes(bytes.data(), bytes.size()); }

NSData data_of(const std::string& text) { return NSData::dataWithBytes(text.data(), text.size()); }

NSString ns(const std::string& utf8) { return NSString::stringWithUTF8String(utf8.c_str()); }

std::string text_of(const NSData& data) {
  const Bytes b = bytes_of(data);
  return std::string(b.begin(), b.end());
}

std::string text_of(const NSString& text) {
  return text.isNil() ? std::string() : text.UTF8String();
}

std::string to_hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

std::vector<size_t> lengths_around(size_t up_to, std::initializer_list<size_t> around,
                                   size_t spread) {
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= up_to; ++n) lengths.push_back(n);
  for (size_t center : around) {
    for (size_t n = center - spread; n <= center + spread; ++n) lengths.push_back(n);
  }
  lengths.push_back((size_t{1} << 20) + 1);
  return lengths;
}

const CbcVector& sp800_38a_cbc_aes128() {
  static const CbcVector v{
      from_hex("2b7e151628aed2a6abf7158809cf4f3c"),
      from_hex("000102030405060708090a0b0c0d0e0f"),
      from_hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
               "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710"),
      from_hex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
               "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"),
  };
  return v;
}

namespace {

Bytes run_evp(const EVP_CIPHER* cipher, const Bytes& key, const uint8_t* iv, const Bytes& in,
              bool encrypt, bool pkcs7) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 32);
  int len = 0, fin = 0;
  bool ok = EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv, encrypt ? 1 : 0) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx, pkcs7 ? 1 : 0) == 1 &&
            EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(in.size())) == 1 &&
            EVP_CipherFinal_ex(ctx, out.data() + len, &fin) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("OpenSSL cipher failed");
  out.resize(static_cast<size_t>(len + fin));
  return out;
}

}  // namespace

Bytes openssl_aes_ecb(const Bytes& key, const Bytes& in, bool encrypt) {
  const EVP_CIPHER* c = key.size() == 16   ? EVP_aes_128_ecb()
                        : key.size() == 24 ? EVP_aes_192_ecb()
                                           : EVP_aes_256_ecb();
  return run_evp(c, key, nullptr, in, encrypt, false);
}

Bytes openssl_aes_cbc(const Bytes& key, const Bytes& iv, const Bytes& in, bool encrypt,
                      bool pkcs7) {
  const EVP_CIPHER* c = key.size() == 16   ? EVP_aes_128_cbc()
                        : key.size() == 24 ? EVP_aes_192_cbc()
                                           : EVP_aes_256_cbc();
  return run_evp(c, key, iv.data(), in, encrypt, pkcs7);
}

Bytes openssl_hmac_sha1(const Bytes& message, const Bytes& key) {
  Bytes out(20);
  unsigned int len = 0;
  static const uint8_t empty = 0;  // OpenSSL wants a non-null key even when empty
  HMAC(EVP_sha1(), key.empty() ? &empty : key.data(), static_cast<int>(key.size()), message.data(),
       message.size(), out.data(), &len);
  return out;
}

Bytes openssl_sha1(const Bytes& message) {
  Bytes out(20);
  SHA1(message.data(), message.size(), out.data());
  return out;
}

}  // namespace norvek_test
