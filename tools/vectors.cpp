// The conformance vector file and the batch mode, which answer a case the
// same way. Answers are the library's own, recorded as it gives them
// (failure answers included: empty buffers, 0 counts, nil); the tool's
// operations are not used here, so the file shows what a peer must
// reproduce.
#include "vectors.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <iterator>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <numeric>
#include <random>
#include <stdexcept>
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
  std::string out(2 * bytes.size(), '\0');
  uint64_t n = out.size();
  norvek_crypto_Bin2Hex(bytes.data(), bytes.size(), out.data(), n);
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

// Request fields, read strictly: a bad one is the request's error.
struct BadRequest : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

const Json& field(const Json& c, const char* name) {
  auto it = c.find(name);
  if (it == c.end()) throw BadRequest(std::string("missing field \"") + name + "\"");
  return *it;
}

Bytes bytes_field(const Json& c, const char* name) {
  const Json& v = field(c, name);
  if (!v.is_string()) throw BadRequest(std::string(name) + ": not a hex string");
  const std::string& t = v.get_ref<const std::string&>();
  Bytes out(t.size() / 2);
  uint64_t n = out.size();
  std::string digits = t;
  if (t.size() % 2 != 0 || norvek_crypto_Hex2Bin(digits.data(), digits.size(), out.data(), n) != 0)
    throw BadRequest(std::string(name) + ": not a hex string");
  return out;
}

int32_t int_field(const Json& c, const char* name) {
  const Json& v = field(c, name);
  if (v.is_number_unsigned() && v.get<uint64_t>() <= INT32_MAX) return v.get<int32_t>();
  if (v.is_number_integer() && v.get<int64_t>() >= INT32_MIN && v.get<int64_t>() <= INT32_MAX)
    return static_cast<int32_t>(v.get<int64_t>());
  throw BadRequest(std::string(name) + ": not a 32-bit integer");
}

List list_field(const Json& c, const char* name) {
  const Json& v = field(c, name);
  if (!v.is_array()) throw BadRequest(std::string(name) + ": not a list of 32-bit integers");
  List out;
  std::transform(v.begin(), v.end(), std::back_inserter(out), [](const Json& e) {
    return int_field(Json{{"entry", e}}, "entry");
  });
  return out;
}

NSString key_text(const Json& c) {
  const Json& v = field(c, "key");
  if (v.is_null()) return NSString();
  if (!v.is_string()) throw BadRequest("key: not a string or null");
  return NSString::stringWithUTF8String(v.get_ref<const std::string&>().c_str());
}

NSString utf8(const Bytes& bytes) {
  return NSString::stringWithUTF8String(std::string(bytes.begin(), bytes.end()).c_str());
}

NSData string_bytes(const NSString& s) {
  return s.isNil() ? NSData() : to_data(text(s.UTF8String()));
}

CNorVekXCryptoHelper& helper() {
  static CNorVekXCryptoHelper instance;
  return instance;
}

// The library's answer to each scheme's request, added to the case in the
// order the file records it.
void transform_answer(Json& c, bool reverse) {
  const int32_t row = int_field(c, "row");
  if (row < 1 || row > 46) throw BadRequest("row: not in 1..46");
  Bytes out = bytes_field(c, "input");
  const st_Processor& entry = helper().m_processors[row - 1];
  (reverse ? entry.pfnDecrypt : entry.pfnEncrypt)(out.data(), out.size());
  c["output"] = hex(out);
}

void chain_answer(Json& c,
                  uint64_t (CNorVekXCryptoHelper::*run)(const int32_t*, int32_t,
                                                        const CNorVekXBuffer&, CNorVekXBuffer&)) {
  const List l = list_field(c, "list");
  const Bytes in = bytes_field(c, "input");
  CNorVekXBuffer out;
  uint64_t r = (helper().*run)(l.data(), static_cast<int32_t>(l.size()), to_buffer(in), out);
  c["result"] = r;
  c["output"] = hex(to_bytes(out));
}

void buffer_cipher_answer(Json& c, bool encrypt) {
  const Bytes key = bytes_field(c, "key"), in = bytes_field(c, "input");
  CNorVekXBuffer out;
  uint64_t r = encrypt ? CNorVekXCryptoHelper::Encrypt(to_buffer(key), to_buffer(in), out)
                       : CNorVekXCryptoHelper::Decrypt(to_buffer(key), to_buffer(in), out);
  c["result"] = r;
  c["output"] = hex(to_bytes(out));
}

void buffer_answer(Json& c, CNorVekXBuffer (*run)(const CNorVekXBuffer&)) {
  c["output"] = hex(to_bytes(run(to_buffer(bytes_field(c, "input")))));
}

CNorVekXBuffer uri_encode(const CNorVekXBuffer& in) {
  CNorVekXBuffer copy = in;
  std::string t = CNorVekXURL::encodeURIComponent(copy);
  return to_buffer(text(t));
}

CNorVekXBuffer uri_decode(const CNorVekXBuffer& in) {
  return CNorVekXURL::decodeURIComponent(std::string(in.m_pData, in.m_pData + in.m_nSize));
}

void base64_class_answer(Json& c) {
  const Json& op = field(c, "operation");
  const std::string name = op.is_string() ? op.get<std::string>() : std::string();
  const Bytes in = bytes_field(c, "input");
  const NSData d = to_data(in);
  auto padded = [&c] {
    const Json& v = field(c, "padded");
    if (!v.is_boolean()) throw BadRequest("padded: not true or false");
    return v.get<bool>();
  };
  NSData out;
  if (name == "encodeData")
    out = Codec::encodeData(d);
  else if (name == "stringByEncodingData")
    out = string_bytes(Codec::stringByEncodingData(d));
  else if (name == "webSafeEncodeData")
    out = Codec::webSafeEncodeData(d, padded());
  else if (name == "stringByWebSafeEncodingData")
    out = string_bytes(Codec::stringByWebSafeEncodingData(d, padded()));
  else if (name == "decodeData")
    out = Codec::decodeData(d);
  else if (name == "decodeString")
    out = Codec::decodeString(utf8(in));
  else if (name == "webSafeDecodeData")
    out = Codec::webSafeDecodeData(d);
  else if (name == "webSafeDecodeString")
    out = Codec::webSafeDecodeString(utf8(in));
  else
    throw BadRequest("operation: not one of the codec class operations");
  c["output"] = hex_or_null(out);
}

void bridge_answer(Json& c, NSData (*run)(const NSData&, const NSString&)) {
  const NSString key = key_text(c);
  c["output"] = hex_or_null(run(to_data(bytes_field(c, "input")), key));
}

const std::map<std::string, std::function<void(Json&)>>& answers() {
  using H = CNorVekXCryptoHelper;
  static const std::map<std::string, std::function<void(Json&)>> table = {
      {"transform", [](Json& c) { transform_answer(c, false); }},
      {"transform_reverse", [](Json& c) { transform_answer(c, true); }},
      {"chain_encrypt", [](Json& c) { chain_answer(c, &H::DynEncrypt); }},
      {"chain_decrypt", [](Json& c) { chain_answer(c, &H::DynDecrypt); }},
      {"chain_encrypt_ex", [](Json& c) { chain_answer(c, &H::DynEncryptEx); }},
      {"chain_decrypt_ex", [](Json& c) { chain_answer(c, &H::DynDecryptEx); }},
      {"buffer_encrypt", [](Json& c) { buffer_cipher_answer(c, true); }},
      {"buffer_decrypt", [](Json& c) { buffer_cipher_answer(c, false); }},
      {"sha1", [](Json& c) { buffer_answer(c, &H::Sha1); }},
      {"sign", [](Json& c) { buffer_answer(c, &H::SignData); }},
      {"hmac_sha1",
       [](Json& c) {
         const Bytes key = bytes_field(c, "key"), in = bytes_field(c, "input");
         c["output"] = hex(to_bytes(H::HmacSha1(to_buffer(in), to_buffer(key))));
       }},
      {"hotp",
       [](Json& c) {
         const Bytes in = bytes_field(c, "input");
         const int32_t digits = int_field(c, "digits");
         c["output"] = hex(to_bytes(H::HOTPex(to_buffer(in), CNorVekXBuffer(), digits)));
       }},
      {"generate_id",
       [](Json& c) {
         const Bytes tag = bytes_field(c, "tag"), version = bytes_field(c, "version"),
                     rawid = bytes_field(c, "rawid");
         const List l = list_field(c, "positions");
         CNorVekXBuffer verify;
         CNorVekXBuffer id = H::GenerateID(to_buffer(tag), to_buffer(version), to_buffer(rawid),
                                           verify, l.data(), static_cast<int32_t>(l.size()));
         c["output"] = hex(to_bytes(id));
         c["verify"] = hex(to_bytes(verify));
       }},
      {"hex_encode", [](Json& c) { buffer_answer(c, &norvek_crypto_Bin2Hex); }},
      {"hex_decode", [](Json& c) { buffer_answer(c, &norvek_crypto_Hex2Bin); }},
      {"base64_encode", [](Json& c) { buffer_answer(c, &norvek_crypto_EncodeBase64); }},
      {"base64_decode", [](Json& c) { buffer_answer(c, &norvek_crypto_DecodeBase64); }},
      {"uri_encode", [](Json& c) { buffer_answer(c, &uri_encode); }},
      {"uri_decode", [](Json& c) { buffer_answer(c, &uri_decode); }},
      {"base64_class", base64_class_answer},
      {"aes128_system_encrypt", [](Json& c) { bridge_answer(c, &H::EncryptAESBySystem); }},
      {"aes128_system_decrypt", [](Json& c) { bridge_answer(c, &H::DecryptAESBySystem); }},
      {"aes256_encrypt", [](Json& c) { bridge_answer(c, &H::AES256Encrypt); }},
      {"aes256_decrypt", [](Json& c) { bridge_answer(c, &H::AES256Decrypt); }},
  };
  return table;
}

void answer(Json& c) {
  if (!c.is_object()) throw BadRequest("not a JSON object");
  const Json& scheme = field(c, "scheme");
  auto it = scheme.is_string() ? answers().find(scheme.get<std::string>()) : answers().end();
  if (it == answers().end()) throw BadRequest("unknown scheme");
  it->second(c);
}

Bytes output_of(const Json& c) { return bytes_field(c, "output"); }

class Writer {
 public:
  // A case from its request fields, answered when complete.
  Json& add(const char* scheme) {
    cases_.push_back(Json{{"scheme", scheme}});
    return cases_.back();
  }
  Json& done(Json& c) {
    answer(c);
    return c;
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

// Lengths that cross the transforms' periods: key streams of 3, 9 and 256
// after a first byte, rotations by position mod 8, remainders mod 13.
const size_t kTransformLengths[] = {0, 1, 2, 3, 4, 8, 9, 10, 11, 14, 17, 33, 258};

void transforms(Writer& w) {
  Source src(1);
  for (int row = 1; row <= 46; ++row) {
    for (bool reverse : {false, true}) {
      for (size_t n : kTransformLengths) {
        Json& c = w.add(reverse ? "transform_reverse" : "transform");
        c["row"] = row;
        c["input"] = hex(src.bytes(n));
        w.done(c);
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
  for (const char* scheme :
       {"chain_encrypt", "chain_decrypt", "chain_encrypt_ex", "chain_decrypt_ex"}) {
    for (const List& l : lists) {
      for (size_t n : {0, 1, 5, 33}) {
        Json& c = w.add(scheme);
        c["list"] = l;
        c["input"] = hex(src.bytes(n));
        w.done(c);
      }
    }
  }
}

Bytes buffer_cipher_case(Writer& w, bool encrypt, const Bytes& key, const Bytes& in) {
  Json& c = w.add(encrypt ? "buffer_encrypt" : "buffer_decrypt");
  c["key"] = hex(key);
  c["input"] = hex(in);
  return output_of(w.done(c));
}

void buffer_cipher(Writer& w) {
  Source src(3);
  const Bytes key = src.bytes(16), long_key = src.bytes(32), wrong = src.bytes(16);
  std::vector<Bytes> ciphers;
  // Every padding length, twice over, and the empty plaintext.
  // cppcheck-suppress useStlAlgorithm
  for (size_t n = 0; n <= 33; ++n)
    ciphers.push_back(buffer_cipher_case(w, true, key, src.bytes(n)));
  for (size_t n : {0, 7, 16, 100}) buffer_cipher_case(w, true, long_key, src.bytes(n));
  for (size_t k : {0, 1, 15}) {
    // Drawn one at a time: compilers order a call's arguments differently.
    const Bytes plain = src.bytes(8);
    buffer_cipher_case(w, true, src.bytes(k), plain);
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

Bytes add_io(Writer& w, const char* scheme, const Bytes& in) {
  Json& c = w.add(scheme);
  c["input"] = hex(in);
  return output_of(w.done(c));
}

void digests(Writer& w) {
  Source src(4);
  for (size_t n : kDigestLengths) {
    Bytes in = n == 3 ? text("abc") : src.bytes(n);
    add_io(w, "sha1", in);
    add_io(w, "sign", in);
  }
  for (size_t k : {0, 1, 20, 40, 63, 64, 65, 100}) {
    for (size_t n : {0, 3, 64, 100}) {
      Bytes key = src.bytes(k), in = src.bytes(n);
      Json& c = w.add("hmac_sha1");
      c["key"] = hex(key);
      c["input"] = hex(in);
      w.done(c);
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
      w.done(c);
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
        Json& c = w.add("generate_id");
        c["tag"] = hex(tag);
        c["version"] = hex(version);
        c["rawid"] = hex(rawid);
        c["positions"] = l;
        w.done(c);
      }
    }
  }
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
    add_io(w, "hex_decode", add_io(w, "hex_encode", s));
    add_io(w, "base64_decode", add_io(w, "base64_encode", s));
    add_io(w, "uri_decode", add_io(w, "uri_encode", s));
  }
  for (const char* t :
       {"00FFaB", "0", "abc", "0g", "g0", "12zz34", "12 34", "1234\n", "-1", "0x12"})
    add_io(w, "hex_decode", text(t));
  for (const char* t : {"aGk", "aGk=", "aA", "aA==", "a", "aGVsbG8", "a-b_", "aGk=aGk=", "a=bc",
                        "****", "aGV sbG8=", "YWJj\nZGVm", "====", "Zm9v\n"})
    add_io(w, "base64_decode", text(t));
  add_io(w, "base64_decode", Bytes{'Y', 'W', 0, 'J'});
  for (const std::string& t :
       {std::string("a%20b"), std::string("%e2%82%ac"), std::string("a+b"), std::string("%"),
        std::string("ab%4"), std::string("%zz"), std::string("x%4g"), std::string("%00x"),
        std::string("%41%42%43"), std::string("caf\xc3\xa9"), std::string("a\0b", 3)})
    add_io(w, "uri_decode", text(t));
}

void base64_class_case(Writer& w, const char* op, const Bytes& in, int padded = -1) {
  Json& c = w.add("base64_class");
  c["operation"] = op;
  if (padded >= 0) c["padded"] = padded == 1;
  c["input"] = hex(in);
  w.done(c);
}

void base64_class(Writer& w) {
  Source src(7);
  for (size_t n : {0, 1, 2, 3, 4, 5, 6, 20, 64}) {
    Bytes in = src.bytes(n);
    base64_class_case(w, "encodeData", in);
    base64_class_case(w, "stringByEncodingData", in);
    for (int padded : {1, 0}) {
      base64_class_case(w, "webSafeEncodeData", in, padded);
      base64_class_case(w, "stringByWebSafeEncodingData", in, padded);
    }
  }
  const char* texts[] = {
      "",     "aGk=", "aGk",      "aGk==",  "aGk=x",        "a+/=",        "a-_=",
      "a-8",  "+/8=", "YWJjZA==", "YWJjZA", "YWJjZA=",      "YW Jj\nZA==", " \t\n",
      "====", "Zm9=", "Zm8=",     "Zg==",   "Zh==",         "Z===",        "Zg=A",
      "YWJj", "YW*j", "YWJj\r\n", "=YWJ",   "YWJjZGVmZ2g=", "QUJD-_8",     "QUJD+/8"};
  for (const char* t : texts) {
    for (const char* op :
         {"decodeData", "decodeString", "webSafeDecodeData", "webSafeDecodeString"})
      base64_class_case(w, op, text(t));
  }
  Bytes zero = {'Y', 'W', 0, 'J'}, high = {'Y', 'W', 0xC3, 0xA9};
  for (const Bytes& in : {zero, high}) {
    base64_class_case(w, "decodeData", in);
    base64_class_case(w, "webSafeDecodeData", in);
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
  auto record = [&w](const char* scheme, const Key& k, const Bytes& in) -> Json& {
    Json& c = w.add(scheme);
    c["key"] = k.nil ? Json(nullptr) : Json(k.text);
    c["input"] = hex(in);
    return w.done(c);
  };
  for (const char* family : {"aes128_system_", "aes256_"}) {
    const std::string encrypt = std::string(family) + "encrypt",
                      decrypt = std::string(family) + "decrypt";
    for (const Key& k : keys) {
      for (size_t n : {0, 1, 15, 16, 17, 33}) {
        const Json& c = record(encrypt.c_str(), k, src.bytes(n));
        if (c["output"].is_null()) continue;
        Bytes cipher = output_of(c);
        if (!cipher.empty()) record(decrypt.c_str(), k, cipher);
      }
      // Ragged and random (almost always badly padded) ciphertexts.
      for (size_t n : {0, 5, 16, 31, 32}) record(decrypt.c_str(), k, src.bytes(n));
    }
  }
}

}  // namespace

std::string answer_line(const std::string& line, uint64_t number) {
  std::string error;
  try {
    // The parser takes a zero character for the end of the text.
    if (line.find('\0') != std::string::npos) throw BadRequest("not JSON");
    Json c = Json::parse(line);
    answer(c);
    return c.dump();
  } catch (const BadRequest& e) {
    error = e.what();
  } catch (const Json::parse_error&) {
    error = "not JSON";
  } catch (const Json::out_of_range&) {
    error = "not JSON: a number out of range";  // 1e400 is valid JSON the parser cannot hold
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  }
  return Json{{"line", number}, {"error", error}}.dump();
}

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
