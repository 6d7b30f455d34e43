// The tool's whole-input operations: thin calls into the library that turn
// its failure answers (empty buffers, 0 counts, nil objects) into ToolError.
#include "operations.h"

#include <algorithm>

#include "norvek/norvek_crypto.h"

using namespace NorvekCryptoSpace;
using Codec = NorVekXCryptoBase64KQZP;

namespace norvek_tool {

namespace {

CNorVekXCryptoHelper& helper() {
  static CNorVekXCryptoHelper instance;
  return instance;
}

NSData codec_answer(const NSData& answer, const NSData& in, const char* what) {
  if (answer.isNil() && in.length() != 0) fail(what);
  return answer;
}

}  // namespace

Bytes hex_decode(const Bytes& in) {
  Bytes text = in, out(in.size() / 2);
  uint64_t outlen = out.size();
  const bool ok = in.size() % 2 == 0 && norvek_crypto_Hex2Bin(reinterpret_cast<char*>(text.data()),
                                                              text.size(), out.data(), outlen) == 0;
  wipe(text);  // the text may be a key
  if (!ok) {
    wipe(out);
    fail("malformed hex");
  }
  return out;
}

NSData codec_encode(const uint8_t* in, uint64_t size, bool web_safe, bool padded) {
  if (web_safe) return Codec::webSafeEncodeBytes(in, size, padded);
  if (padded) return Codec::encodeBytes(in, size);
  return Codec::PrivateMethods::baseEncode(in, size, Codec::PrivateMethods::kStandardAlphabet,
                                           false);
}

NSData codec_decode(const NSData& in, bool web_safe, bool padded) {
  NSData answer;
  if (web_safe)
    answer = Codec::webSafeDecodeData(in);
  else if (padded)
    answer = Codec::decodeData(in);
  else
    answer = Codec::PrivateMethods::baseDecode(in.bytes(), in.length(),
                                               Codec::PrivateMethods::kBase64DecodeChars, false);
  return codec_answer(answer, in, "malformed Base64");
}

Bytes rand_bytes(int32_t count) {
  Bytes out = to_bytes(CNorVekXCryptoHelper::RandBytes(count));
  if (out.empty()) fail("the random source failed");
  return out;
}

uint64_t buffer_encrypt(const uint8_t* in, uint64_t size, const Bytes& key, uint8_t* out) {
  const CNorVekXBufferView k(key.data(), key.size()), data(in, size);
  CNorVekXBufferView cipher(out, CNorVekXBufferView::CipherRoom(size));
  if (CNorVekXCryptoHelper::Encrypt(k.input(), data.input(), cipher.output()) == 0)
    fail("key shorter than 16 bytes");
  return cipher.size();
}

uint64_t buffer_decrypt(const uint8_t* in, uint64_t size, const Bytes& key, uint8_t* out) {
  const CNorVekXBufferView k(key.data(), key.size()), cipher(in, size);
  CNorVekXBufferView data(out, CNorVekXBufferView::CipherRoom(size));
  const uint64_t n = CNorVekXCryptoHelper::Decrypt(k.input(), cipher.input(), data.output());
  // 0 is also the answer for a correct ciphertext of empty data: that one
  // leaves the output empty, a refused ciphertext leaves its length of zeros.
  if (n == 0) {
    if (key.size() < 16) fail("key shorter than 16 bytes");
    if (size == 0 || data.size() != 0) fail("bad padding or ciphertext length");
  }
  return n;
}

NSData bridge(Bridge which, bool encrypt, const NSData& in, const std::optional<std::string>& key) {
  NSString text;
  if (key) {
    text = NSString::stringWithUTF8String(key->c_str());
    if (text.isNil() || key->find('\0') != std::string::npos) usage("--key: not UTF-8 text");
  }
  NSData out;
  if (which == Bridge::kSystem128)
    out = encrypt ? CNorVekXCryptoHelper::EncryptAESBySystem(in, text)
                  : CNorVekXCryptoHelper::DecryptAESBySystem(in, text);
  else
    out = encrypt ? CNorVekXCryptoHelper::AES256Encrypt(in, text)
                  : CNorVekXCryptoHelper::AES256Decrypt(in, text);
  if (out.isNil()) {
    if (key && key->size() > 32) fail("key longer than 32 UTF-8 bytes");
    if (which == Bridge::kSystem128 && (!key || key->empty())) fail("missing or empty key");
    fail(encrypt ? "encryption failed" : "bad padding or ciphertext length");
  }
  return out;
}

void chain(ChainOp op, bool ex, const std::vector<int32_t>& list, CNorVekXBuffer& in) {
  std::vector<int32_t> order = list;
  if (op == ChainOp::kUndo) std::reverse(order.begin(), order.end());
  auto run = op == ChainOp::kEncrypt
                 ? (ex ? &CNorVekXCryptoHelper::DynEncryptEx : &CNorVekXCryptoHelper::DynEncrypt)
                 : (ex ? &CNorVekXCryptoHelper::DynDecryptEx : &CNorVekXCryptoHelper::DynDecrypt);
  const auto count = static_cast<int32_t>(order.size());
  const char* refused = ex ? "chain value below 0" : "chain value outside 0..45";
  // The chain operations copy their input first, so one buffer serves as
  // both. They answer 0 both for a refused list and for empty input; a
  // refused list leaves the output as it was, which a one-byte output shows.
  if (in.m_nSize != 0) {
    if ((helper().*run)(order.data(), count, in, in) == 0) fail(refused);
    return;
  }
  CNorVekXBuffer probe(1);
  (helper().*run)(order.data(), count, in, probe);
  if (probe.m_nSize != 0) fail(refused);
}

void transform(int row, bool reverse, uint8_t* data, uint64_t size) {
  const st_Processor& entry = helper().m_processors[row - 1];
  (reverse ? entry.pfnDecrypt : entry.pfnEncrypt)(data, size);
}

CNorVekXBuffer hotp(const CNorVekXBuffer& in, int32_t digits) {
  CNorVekXBuffer out = CNorVekXCryptoHelper::HOTPex(in, CNorVekXBuffer(), digits);
  if (out.m_nSize == 0) fail("digits outside 1..12");
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
