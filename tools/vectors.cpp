// The conformance vector file. Answers are the library's own, recorded as
// it gives them (failure answers included: empty buffers, 0 counts, nil);
// the tool's operations are not used here, so the file shows what a peer
// must reproduce.
#include "vectors.h"

#include <algorithm>
#include <climits>
#include <nlohmann/json.hpp>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "norvek/norvek_crypto.h"

using namespace NorvekCryptoSpace;
using Codec = NorVekXCryptoBase64KQZP;
using Json = nlohmann::ordered_json;

namespace norvek_tool {

namespace {

using List = std::vector<int32_t>;

std::string hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

Json hex_or_null(const NSData& data) {
  return data.isNil() ? Json(nullptr) : Json(hex(to_bytes(data)));
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// std::mt19937 is defined bit for bit by the C++ standard, so the same seed
// gives the same bytes everywhere.
class Source {
 public:
  explicit Source(uint32_t seed) : rng_(seed) {}
  Bytes bytes(size_t n) {
    Bytes out(n);
    std::generate(out.begin(), out.end(), [this] { return static_cast<uint8_t>(rng_()); });
    return out;
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }

 private:
  std::mt19937 rng_;
};

class Writer {
 public:
  Json& add(const char* scheme) {
    cases_.push_back(Json{{"scheme", scheme}});
    return cases_.back();
  }
  Bytes finish() const {
    std::string out = "{\"format\":\"norvek-conformance/1\",\"cases\":[\n";
    for (size_t i = 0; i < cases_.size(); ++i)
      out += cases_[i].dump() + (i + 1 < cases_.size() ? ",\n" : "\n");
    out += "]}\n";
    return text(out);
  }

 private:
  std::vector<Json> cases_;
};

CNorVekXCryptoHelper& helper() {
  static CNorVekXCryptoHelper instance;
  return instance;
}

// Lengths that cross the transforms' periods: key streams of 3, 9 and 256
// after a first byte, rotations by position mod 8, remainders mod 13.
const size_t kTransformLengths[] = {0, 1, 2, 3, 4, 8, 9, 10, 11, 14, 17, 33, 258};

void transforms(Writer& w) {
  Source src(1);
  for (int row = 1; row <= 46; ++row) {
    const st_Processor& entry = helper().m_processors[row - 1];
    for (bool reverse : {false, true}) {
      for (size_t n : kTransformLengths) {
        Bytes in = src.bytes(n), out = in;
        (reverse ? entry.pfnDecrypt : entry.pfnEncrypt)(out.data(), out.size());
        Json& c = w.add(reverse ? "transform_reverse" : "transform");
        c["row"] = row;
        c["input"] = hex(in);
        c["output"] = hex(out);
      }
    }
  }
}

void chains(Writer& w) {
  Source src(2);
  std::vector<List> lists = {{},
                             {0},
                             {45},
                             {46},
                             {-1},
                             {3, 0, 45},
                             {5, 5, 5},
                             {7, 7},
                             {0, 45, 0, 45},
                             {10, 20, 30, 40},
                             {45, 46},
                             {46, 47, 91, 92},
                             {1000, 2047},
                             {INT32_MAX},
                             {INT32_MIN},
                             {0, -5, 3},
                             {12, 12, 12, 12, 12, 12}};
  for (int i = 0; i < 12; ++i) {
    List l(1 + src.below(8));
    std::generate(l.begin(), l.end(),
                  [&] { return static_cast<int32_t>(src.below(i < 8 ? 46 : 500)); });
    lists.push_back(l);
  }
  struct Form {
    const char* scheme;
    uint64_t (CNorVekXCryptoHelper::*run)(const int32_t*, int32_t, const CNorVekXBuffer&,
                                          CNorVekXBuffer&);
  };
  const Form forms[] = {{"chain_encrypt", &CNorVekXCryptoHelper::DynEncrypt},
                        {"chain_decrypt", &CNorVekXCryptoHelper::DynDecrypt},
                        {"chain_encrypt_ex", &CNorVekXCryptoHelper::DynEncryptEx},
                        {"chain_decrypt_ex", &CNorVekXCryptoHelper::DynDecryptEx}};
  for (const Form& f : forms) {
    for (const List& l : lists) {
      for (size_t n : {0, 1, 5, 33}) {
        Bytes in = src.bytes(n);
        CNorVekXBuffer out;
        uint64_t r =
            (helper().*f.run)(l.data(), static_cast<int32_t>(l.size()), to_buffer(in), out);
        Json& c = w.add(f.scheme);
        c["list"] = l;
        c["input"] = hex(in);
        c["result"] = r;
        c["output"] = hex(to_bytes(out));
      }
    }
  }
}

void buffer_cipher_case(Writer& w, bool encrypt, const Bytes& key, const Bytes& in) {
  CNorVekXBuffer out;
  uint64_t r = encrypt ? CNorVekXCryptoHelper::Encrypt(to_buffer(key), to_buffer(in), out)
                       : CNorVekXCryptoHelper::Decrypt(to_buffer(key), to_buffer(in), out);
  Json& c = w.add(encrypt ? "buffer_encrypt" : "buffer_decrypt");
  c["key"] = hex(key);
  c["input"] = hex(in);
  c["result"] = r;
  c["output"] = hex(to_bytes(out));
}

void buffer_cipher(Writer& w) {
  Source src(3);
  const Bytes key = src.bytes(16), long_key = src.bytes(32), wrong = src.bytes(16);
  std::vector<Bytes> ciphers;
  // Every padding length, twice over, and the empty plaintext.
  for (size_t n = 0; n <= 33; ++n) {
    Bytes plain = src.bytes(n);
    CNorVekXBuffer c;
    CNorVekXCryptoHelper::Encrypt(to_buffer(key), to_buffer(plain), c);
    ciphers.push_back(to_bytes(c));
    buffer_cipher_case(w, true, key, plain);
  }
  for (size_t n : {0, 7, 16, 100}) buffer_cipher_case(w, true, long_key, src.bytes(n));
  for (size_t k : {0, 1, 15}) {
    buffer_cipher_case(w, true, src.bytes(k), src.bytes(8));
    buffer_cipher_case(w, false, src.bytes(k), ciphers[5]);
  }
  for (const Bytes& c : ciphers) buffer_cipher_case(w, false, key, c);
  for (size_t i = 0; i < 8; ++i) buffer_cipher_case(w, false, wrong, ciphers[i * 4]);
  for (size_t n : {0, 1, 15, 17, 31, 33, 47}) buffer_cipher_case(w, false, key, src.bytes(n));
  for (size_t i = 0; i < 6; ++i) {
    Bytes damaged = ciphers[i * 5];
    damaged.back() ^= 0x01;
    buffer_cipher_case(w, false, key, damaged);
    damaged = ciphers[i * 5];
    damaged.pop_back();
    buffer_cipher_case(w, false, key, damaged);
  }
}

const size_t kDigestLengths[] = {0,  1,  3,   20,  55,  56,  57,  63,
                                 64, 65, 119, 120, 127, 128, 129, 1000};

void digests(Writer& w) {
  Source src(4);
  for (size_t n : kDigestLengths) {
    Bytes in = n == 3 ? text("abc") : src.bytes(n);
    Json& c = w.add("sha1");
    c["input"] = hex(in);
    c["output"] = hex(to_bytes(CNorVekXCryptoHelper::Sha1(to_buffer(in))));
    Json& s = w.add("sign");
    s["input"] = hex(in);
    s["output"] = hex(to_bytes(CNorVekXCryptoHelper::SignData(to_buffer(in))));
  }
  for (size_t k : {0, 1, 20, 40, 63, 64, 65, 100}) {
    for (size_t n : {0, 3, 64, 100}) {
      Bytes key = src.bytes(k), in = src.bytes(n);
      Json& c = w.add("hmac_sha1");
      c["key"] = hex(key);
      c["input"] = hex(in);
      c["output"] = hex(to_bytes(CNorVekXCryptoHelper::HmacSha1(to_buffer(in), to_buffer(key))));
    }
  }
}

void codes(Writer& w) {
  Source src(5);
  for (size_t n : {0, 1, 8, 33}) {
    Bytes in = src.bytes(n);
    for (int32_t digits : {INT32_MIN, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 100}) {
      Json& c = w.add("hotp");
      c["input"] = hex(in);
      c["digits"] = digits;
      c["output"] =
          hex(to_bytes(CNorVekXCryptoHelper::HOTPex(to_buffer(in), CNorVekXBuffer(), digits)));
    }
  }
  const Bytes tag = {0x54}, version = {0x01};
  const int32_t p = 2;  // first position after tag and version
  for (size_t raw_len : {0, 1, 6, 12}) {
    Bytes rawid = src.bytes(raw_len);
    const int32_t end = p + static_cast<int32_t>(raw_len);
    for (int32_t count = 3; count <= 13; ++count) {
      std::vector<List> patterns(6, List(static_cast<size_t>(count)));
      for (int32_t m = 0; m < count; ++m) {
        patterns[0][m] = p + m;                                     // consecutive from the start
        patterns[1][m] = p + 1 + 2 * m;                             // every other position
        patterns[2][m] = p + count - 1 - m;                         // descending
        patterns[3][m] = m < 2 ? p + 1 : p + 2 + m;                 // first entry repeated
        patterns[4][m] = m % 3 == 0 ? -1 - m : end + count + m;     // all outside
        patterns[5][m] = m % 2 ? p + m : (m == 0 ? 0 : INT32_MAX);  // before P, far beyond, inside
      }
      for (const List& l : patterns) {
        CNorVekXBuffer verify;
        CNorVekXBuffer id = CNorVekXCryptoHelper::GenerateID(
            to_buffer(tag), to_buffer(version), to_buffer(rawid), verify, l.data(), count);
        Json& c = w.add("generate_id");
        c["tag"] = hex(tag);
        c["version"] = hex(version);
        c["rawid"] = hex(rawid);
        c["positions"] = l;
        c["output"] = hex(to_bytes(id));
        c["verify"] = hex(to_bytes(verify));
      }
    }
  }
}

void add_io(Writer& w, const char* scheme, const Bytes& in, const Bytes& out) {
  Json& c = w.add(scheme);
  c["input"] = hex(in);
  c["output"] = hex(out);
}

void text_codecs(Writer& w) {
  Source src(6);
  std::vector<Bytes> samples;
  // The samples draw from one generator in turn; std::transform does not promise that order.
  // cppcheck-suppress useStlAlgorithm
  for (size_t n : {0, 1, 2, 3, 4, 5, 6, 7, 16, 31, 100}) samples.push_back(src.bytes(n));
  Bytes all(256);
  std::iota(all.begin(), all.end(), uint8_t{0});
  samples.push_back(all);

  for (const Bytes& s : samples) {
    CNorVekXBuffer b = to_buffer(s);
    Bytes h = to_bytes(norvek_crypto_Bin2Hex(b)), b64 = to_bytes(norvek_crypto_EncodeBase64(b));
    std::string u = CNorVekXURL::encodeURIComponent(b);
    add_io(w, "hex_encode", s, h);
    add_io(w, "hex_decode", h, to_bytes(norvek_crypto_Hex2Bin(to_buffer(h))));
    add_io(w, "base64_encode", s, b64);
    add_io(w, "base64_decode", b64, to_bytes(norvek_crypto_DecodeBase64(to_buffer(b64))));
    add_io(w, "uri_encode", s, text(u));
    add_io(w, "uri_decode", text(u), to_bytes(CNorVekXURL::decodeURIComponent(u)));
  }
  for (const char* t :
       {"00FFaB", "0", "abc", "0g", "g0", "12zz34", "12 34", "1234\n", "-1", "0x12"})
    add_io(w, "hex_decode", text(t), to_bytes(norvek_crypto_Hex2Bin(to_buffer(text(t)))));
  for (const char* t : {"aGk", "aGk=", "aA", "aA==", "a", "aGVsbG8", "a-b_", "aGk=aGk=", "a=bc",
                        "****", "aGV sbG8=", "YWJj\nZGVm", "====", "Zm9v\n"})
    add_io(w, "base64_decode", text(t), to_bytes(norvek_crypto_DecodeBase64(to_buffer(text(t)))));
  add_io(w, "base64_decode", Bytes{'Y', 'W', 0, 'J'},
         to_bytes(norvek_crypto_DecodeBase64(to_buffer(Bytes{'Y', 'W', 0, 'J'}))));
  for (const std::string& t :
       {std::string("a%20b"), std::string("%e2%82%ac"), std::string("a+b"), std::string("%"),
        std::string("ab%4"), std::string("%zz"), std::string("x%4g"), std::string("%00x"),
        std::string("%41%42%43"), std::string("caf\xc3\xa9"), std::string("a\0b", 3)})
    add_io(w, "uri_decode", text(t), to_bytes(CNorVekXURL::decodeURIComponent(t)));
}

void base64_class_case(Writer& w, const char* op, const Bytes& in, const NSData& out,
                       int padded = -1) {
  Json& c = w.add("base64_class");
  c["operation"] = op;
  if (padded >= 0) c["padded"] = padded == 1;
  c["input"] = hex(in);
  c["output"] = hex_or_null(out);
}

NSData string_bytes(const NSString& s) {
  return s.isNil() ? NSData() : to_data(text(s.UTF8String()));
}

void base64_class(Writer& w) {
  Source src(7);
  for (size_t n : {0, 1, 2, 3, 4, 5, 6, 20, 64}) {
    Bytes in = src.bytes(n);
    NSData d = to_data(in);
    base64_class_case(w, "encodeData", in, Codec::encodeData(d));
    base64_class_case(w, "stringByEncodingData", in, string_bytes(Codec::stringByEncodingData(d)));
    for (bool padded : {true, false}) {
      base64_class_case(w, "webSafeEncodeData", in, Codec::webSafeEncodeData(d, padded), padded);
      base64_class_case(w, "stringByWebSafeEncodingData", in,
                        string_bytes(Codec::stringByWebSafeEncodingData(d, padded)), padded);
    }
  }
  const char* texts[] = {
      "",     "aGk=", "aGk",      "aGk==",  "aGk=x",        "a+/=",        "a-_=",
      "a-8",  "+/8=", "YWJjZA==", "YWJjZA", "YWJjZA=",      "YW Jj\nZA==", " \t\n",
      "====", "Zm9=", "Zm8=",     "Zg==",   "Zh==",         "Z===",        "Zg=A",
      "YWJj", "YW*j", "YWJj\r\n", "=YWJ",   "YWJjZGVmZ2g=", "QUJD-_8",     "QUJD+/8"};
  for (const char* t : texts) {
    Bytes in = text(t);
    NSData d = to_data(in);
    NSString s = NSString::stringWithUTF8String(t);
    base64_class_case(w, "decodeData", in, Codec::decodeData(d));
    base64_class_case(w, "decodeString", in, Codec::decodeString(s));
    base64_class_case(w, "webSafeDecodeData", in, Codec::webSafeDecodeData(d));
    base64_class_case(w, "webSafeDecodeString", in, Codec::webSafeDecodeString(s));
  }
  Bytes zero = {'Y', 'W', 0, 'J'}, high = {'Y', 'W', 0xC3, 0xA9};
  for (const Bytes& in : {zero, high}) {
    base64_class_case(w, "decodeData", in, Codec::decodeData(to_data(in)));
    base64_class_case(w, "webSafeDecodeData", in, Codec::webSafeDecodeData(to_data(in)));
  }
}

void bridges(Writer& w) {
  Source src(8);
  struct Key {
    bool nil;
    std::string text;
  };
  const Key keys[] = {{true, ""},
                      {false, ""},
                      {false, "k"},
                      {false, "0123456789abcdef"},
                      {false, "0123456789abcdefX"},
                      {false, "0123456789abcdef0123456789abcdef"},
                      {false, "0123456789abcdef0123456789abcdef!"},
                      {false, "cl\xc3\xa9-\xd0\xba\xd0\xbb\xd1\x8e\xd1\x87"},
                      {false,
                       "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac"
                       "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac--"},
                      {false,
                       "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac"
                       "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac"}};
  struct Pair {
    const char* encrypt_scheme;
    const char* decrypt_scheme;
    NSData (*encrypt)(const NSData&, const NSString&);
    NSData (*decrypt)(const NSData&, const NSString&);
  };
  const Pair pairs[] = {
      {"aes128_system_encrypt", "aes128_system_decrypt", &CNorVekXCryptoHelper::EncryptAESBySystem,
       &CNorVekXCryptoHelper::DecryptAESBySystem},
      {"aes256_encrypt", "aes256_decrypt", &CNorVekXCryptoHelper::AES256Encrypt,
       &CNorVekXCryptoHelper::AES256Decrypt}};
  auto record = [&w](const char* scheme, const Key& k, const Bytes& in, const NSData& out) {
    Json& c = w.add(scheme);
    c["key"] = k.nil ? Json(nullptr) : Json(k.text);
    c["input"] = hex(in);
    c["output"] = hex_or_null(out);
  };
  for (const Pair& p : pairs) {
    for (const Key& k : keys) {
      NSString key = k.nil ? NSString() : NSString::stringWithUTF8String(k.text.c_str());
      for (size_t n : {0, 1, 15, 16, 17, 33}) {
        Bytes in = src.bytes(n);
        NSData c = p.encrypt(to_data(in), key);
        record(p.encrypt_scheme, k, in, c);
        Bytes cipher = to_bytes(c);
        if (!cipher.empty()) record(p.decrypt_scheme, k, cipher, p.decrypt(to_data(cipher), key));
      }
      // Ragged and random (almost always badly padded) ciphertexts.
      for (size_t n : {0, 5, 16, 31, 32}) {
        Bytes in = src.bytes(n);
        record(p.decrypt_scheme, k, in, p.decrypt(to_data(in), key));
      }
    }
  }
}

}  // namespace

Bytes conformance_vectors() {
  Writer w;
  transforms(w);
  chains(w);
  buffer_cipher(w);
  digests(w);
  codes(w);
  text_codecs(w);
  base64_class(w);
  bridges(w);
  return w.finish();
}

}  // namespace norvek_tool
