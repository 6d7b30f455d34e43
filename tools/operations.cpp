// The tool's operations: thin calls into the library that turn its failure
// answers (empty buffers, 0 counts, nil objects) into ToolError.
#include "operations.h"

#include <algorithm>
#include <cctype>

#include "norvek/norvek_crypto.h"

using namespace NorvekCryptoSpace;
using Codec = NorVekXCryptoBase64KQZP;

namespace norvek_tool {

namespace {

bool is_hex_digit(uint8_t c) { return std::isxdigit(c) != 0; }

CNorVekXCryptoHelper& helper() {
  static CNorVekXCryptoHelper instance;
  return instance;
}

Bytes codec_answer(const NSData& answer, const Bytes& in, const char* what) {
  if (answer.isNil() && !in.empty()) fail(what);
  return to_bytes(answer);
}

}  // namespace

Bytes hex_encode(const Bytes& in) { return to_bytes(norvek_crypto_Bin2Hex(to_buffer(in))); }

Bytes hex_decode(const Bytes& in) {
  Bytes text = in, out(in.size() / 2);
  uint64_t outlen = out.size();
  if (in.size() % 2 != 0 || norvek_crypto_Hex2Bin(reinterpret_cast<char*>(text.data()), text.size(),
                                                  out.data(), outlen) != 0)
    fail("malformed hex");
  return out;
}

Bytes base64_encode(const Bytes& in) { return to_bytes(norvek_crypto_EncodeBase64(to_buffer(in))); }
Bytes base64_decode(const Bytes& in) { return to_bytes(norvek_crypto_DecodeBase64(to_buffer(in))); }

Bytes codec_encode(const Bytes& in, bool web_safe, bool padded) {
  NSData data = to_data(in);
  if (web_safe) return to_bytes(Codec::webSafeEncodeData(data, padded));
  if (padded) return to_bytes(Codec::encodeData(data));
  return to_bytes(Codec::PrivateMethods::baseEncode(
      in.data(), in.size(), Codec::PrivateMethods::kStandardAlphabet, false));
}

Bytes codec_decode(const Bytes& in, bool web_safe, bool padded) {
  NSData data = to_data(in);
  NSData answer;
  if (web_safe)
    answer = Codec::webSafeDecodeData(data);
  else if (padded)
    answer = Codec::decodeData(data);
  else
    answer = Codec::PrivateMethods::baseDecode(in.data(), in.size(),
                                               Codec::PrivateMethods::kBase64DecodeChars, false);
  return codec_answer(answer, in, "malformed Base64");
}

Bytes uri_encode(const Bytes& in) {
  CNorVekXBuffer buffer = to_buffer(in);
  std::string text = CNorVekXURL::encodeURIComponent(buffer);
  return Bytes(text.begin(), text.end());
}

Bytes uri_decode(const Bytes& in) {
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == 0) fail("malformed URI component: zero byte");
    if (in[i] == '%' &&
        (i + 2 >= in.size() || !is_hex_digit(in[i + 1]) || !is_hex_digit(in[i + 2])))
      fail("malformed URI component: bad escape");
  }
  return to_bytes(CNorVekXURL::decodeURIComponent(std::string(in.begin(), in.end())));
}

Bytes sha1(const Bytes& in) { return to_bytes(CNorVekXCryptoHelper::Sha1(to_buffer(in))); }

Bytes hmac_sha1(const Bytes& in, const Bytes& key) {
  return to_bytes(CNorVekXCryptoHelper::HmacSha1(to_buffer(in), to_buffer(key)));
}

Bytes sign(const Bytes& in) { return to_bytes(CNorVekXCryptoHelper::SignData(to_buffer(in))); }

Bytes rand_bytes(int32_t count) {
  Bytes out = to_bytes(CNorVekXCryptoHelper::RandBytes(count));
  if (out.empty()) fail("the random source failed");
  return out;
}

Bytes buffer_encrypt(const Bytes& in, const Bytes& key) {
  CNorVekXBuffer cipher;
  if (CNorVekXCryptoHelper::Encrypt(to_buffer(key), to_buffer(in), cipher) == 0)
    fail("key shorter than 16 bytes");
  return to_bytes(cipher);
}

Bytes buffer_decrypt(const Bytes& in, const Bytes& key) {
  CNorVekXBuffer data;
  uint64_t n = CNorVekXCryptoHelper::Decrypt(to_buffer(key), to_buffer(in), data);
  // 0 is also the answer for a correct ciphertext of empty data: that one
  // leaves `data` empty, a refused ciphertext leaves its length of zeros.
  if (n == 0) {
    if (key.size() < 16) fail("key shorter than 16 bytes");
    if (in.empty() || data.m_nSize != 0) fail("bad padding or ciphertext length");
  }
  return to_bytes(data);
}

Bytes bridge(Bridge which, bool encrypt, const Bytes& in, const std::optional<std::string>& key) {
  NSString text;
  if (key) {
    text = NSString::stringWithUTF8String(key->c_str());
    if (text.isNil() || key->find('\0') != std::string::npos) usage("--key: not UTF-8 text");
  }
  NSData data = to_data(in), out;
  if (which == Bridge::kSystem128)
    out = encrypt ? CNorVekXCryptoHelper::EncryptAESBySystem(data, text)
                  : CNorVekXCryptoHelper::DecryptAESBySystem(data, text);
  else
    out = encrypt ? CNorVekXCryptoHelper::AES256Encrypt(data, text)
                  : CNorVekXCryptoHelper::AES256Decrypt(data, text);
  if (out.isNil()) {
    if (key && key->size() > 32) fail("key longer than 32 UTF-8 bytes");
    if (which == Bridge::kSystem128 && (!key || key->empty())) fail("missing or empty key");
    fail(encrypt ? "encryption failed" : "bad padding or ciphertext length");
  }
  return to_bytes(out);
}

Bytes chain(ChainOp op, bool ex, const std::vector<int32_t>& list, const Bytes& in) {
  std::vector<int32_t> order = list;
  if (op == ChainOp::kUndo) std::reverse(order.begin(), order.end());
  auto run = op == ChainOp::kEncrypt
                 ? (ex ? &CNorVekXCryptoHelper::DynEncryptEx : &CNorVekXCryptoHelper::DynEncrypt)
                 : (ex ? &CNorVekXCryptoHelper::DynDecryptEx : &CNorVekXCryptoHelper::DynDecrypt);
  // A refused list leaves the output as it was, which tells it from the 0
  // that an empty input gives.
  CNorVekXBuffer input = to_buffer(in), output(1);
  uint64_t n = (helper().*run)(order.data(), static_cast<int32_t>(order.size()), input, output);
  if (n == 0 && (!in.empty() || output.m_nSize == 1))
    fail(ex ? "chain value below 0" : "chain value outside 0..45");
  return to_bytes(output);
}

Bytes transform(int row, bool reverse, const Bytes& in) {
  const st_Processor& entry = helper().m_processors[row - 1];
  Bytes out = in;
  (reverse ? entry.pfnDecrypt : entry.pfnEncrypt)(out.data(), out.size());
  return out;
}

Bytes hotp(const Bytes& in, int32_t digits) {
  Bytes out = to_bytes(CNorVekXCryptoHelper::HOTPex(to_buffer(in), CNorVekXBuffer(), digits));
  if (out.empty()) fail("digits outside 1..12");
  return out;
}

Identifier genid(const Bytes& tag, const Bytes& version, const Bytes& rawid,
                 const std::vector<int32_t>& positions) {
  CNorVekXBuffer verify;
  CNorVekXBuffer id = CNorVekXCryptoHelper::GenerateID(
      to_buffer(tag), to_buffer(version), to_buffer(rawid), verify, positions.data(),
      static_cast<int32_t>(std::min<size_t>(positions.size(), INT32_MAX)));
  if (id.m_nSize == 0) fail("position count outside 4..12");
  return {to_bytes(id), to_bytes(verify)};
}

}  // namespace norvek_tool
