// A typical request as a client builds it and a server receives it.
//
// Client: scramble the payload with a chain of byte transforms (DynEncrypt),
// encipher the result (AES-128-CBC), sign the ciphertext (HMAC-SHA1 under
// the built-in key), and put ciphertext and signature into a query string.
// Server: parse the query string, recompute the signature over the
// ciphertext it received and compare it with the one from the wire, and only
// then decipher and undo the chain.
#include <norvek/norvek_crypto.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

using namespace NorvekCryptoSpace;

namespace {

std::string text(const CNorVekXBuffer& b) {
  return std::string(reinterpret_cast<const char*>(b.m_pData), b.m_nSize);
}

void step(const char* what) { std::printf("\n%s\n", what); }

void show_hex(const char* name, const CNorVekXBuffer& b) {
  std::printf("  %-11s %s (%llu bytes, hex)\n", name, text(norvek_crypto_Bin2Hex(b)).c_str(),
              static_cast<unsigned long long>(b.m_nSize));
}

void show_text(const char* name, const std::string& s) {
  std::printf("  %-11s %s\n", name, s.c_str());
}

// name=value pairs split at '&' and '='; values stay escaped.
std::map<std::string, std::string> parse_query(const std::string& query) {
  std::map<std::string, std::string> fields;
  size_t at = 0;
  while (at <= query.size()) {
    size_t end = query.find('&', at);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(at, end - at);
    const size_t eq = pair.find('=');
    if (eq != std::string::npos) fields[pair.substr(0, eq)] = pair.substr(eq + 1);
    at = end + 1;
  }
  return fields;
}

// Looks at every byte whatever the contents, so the time taken does not tell
// an attacker how much of a forged signature was right.
bool same_signature(const CNorVekXBuffer& a, const CNorVekXBuffer& b) {
  if (a.m_nSize != b.m_nSize) return false;
  uint8_t diff = 0;
  for (uint64_t i = 0; i < a.m_nSize; ++i) diff |= a.m_pData[i] ^ b.m_pData[i];
  return diff == 0;
}

}  // namespace

int main() {
  CNorVekXCryptoHelper helper;                     // holds the table of the 46 transforms
  const CNorVekXBuffer key("0123456789abcdef");    // AES-128 key both sides share
  const int32_t chain[] = {0, 5, 12, 28, 44, 10};  // table entries, applied in this order
  const int32_t chain_size = sizeof chain / sizeof chain[0];

  std::puts("== client");
  step("1. The payload, as bytes.");
  const CNorVekXBuffer payload("{\"user\":42,\"action\":\"pay\",\"amount\":\"19.99\"}");
  show_text("text", text(payload));
  show_hex("bytes", payload);

  step("2. DynEncrypt: each listed transform scrambles the bytes in turn (same length).");
  CNorVekXBuffer scrambled;
  helper.DynEncrypt(chain, chain_size, payload, scrambled);
  show_hex("scrambled", scrambled);

  step("3. Encrypt: AES-128-CBC with the built-in IV and PKCS#7 padding.");
  CNorVekXBuffer cipher;
  CNorVekXCryptoHelper::Encrypt(key, scrambled, cipher);
  show_hex("ciphertext", cipher);

  step("4. SignData: HMAC-SHA1 of the ciphertext under the built-in signing key.");
  const CNorVekXBuffer signature = CNorVekXCryptoHelper::SignData(cipher);
  show_hex("signature", signature);

  step("5. For the wire: ciphertext in Base64, signature in hex, both URI-escaped.");
  CNorVekXBuffer cipher_b64 = norvek_crypto_EncodeBase64(cipher);
  CNorVekXBuffer signature_hex = norvek_crypto_Bin2Hex(signature);
  const std::string query = "data=" + CNorVekXURL::encodeURIComponent(cipher_b64) +
                            "&sig=" + CNorVekXURL::encodeURIComponent(signature_hex);
  show_text("Base64", text(cipher_b64));
  show_text("query", query);

  std::puts("\n== server");
  step("6. Parse the query string and undo the escaping and the text encodings.");
  auto fields = parse_query(query);
  const CNorVekXBuffer received =
      norvek_crypto_DecodeBase64(CNorVekXURL::decodeURIComponent(fields["data"]));
  const CNorVekXBuffer wire_signature =
      norvek_crypto_Hex2Bin(CNorVekXURL::decodeURIComponent(fields["sig"]));
  show_hex("ciphertext", received);
  show_hex("signature", wire_signature);

  step("7. Recompute the signature over the received ciphertext; compare with the wire's.");
  const CNorVekXBuffer expected = CNorVekXCryptoHelper::SignData(received);
  show_hex("recomputed", expected);
  if (!same_signature(expected, wire_signature)) {
    std::puts("  signature mismatch: request rejected");
    return 1;
  }
  std::puts("  signatures match");

  CNorVekXBuffer forged = received;
  forged.setAt(0, forged.getAt(0) ^ 1);
  std::printf("  (one bit flipped in the ciphertext: %s)\n",
              same_signature(CNorVekXCryptoHelper::SignData(forged), wire_signature)
                  ? "accepted, which is wrong"
                  : "rejected");

  step("8. Decrypt, then DynDecrypt with the chain reversed.");
  CNorVekXBuffer deciphered;
  if (CNorVekXCryptoHelper::Decrypt(key, received, deciphered) == 0) {
    std::puts("  decryption failed");
    return 1;
  }
  show_hex("deciphered", deciphered);
  int32_t reversed[chain_size];
  for (int32_t i = 0; i < chain_size; ++i) reversed[i] = chain[chain_size - 1 - i];
  CNorVekXBuffer restored;
  helper.DynDecrypt(reversed, chain_size, deciphered, restored);
  show_text("payload", text(restored));
  if (!restored.compare(payload)) {
    std::puts("round trip failed");
    return 1;
  }
  std::puts("\nround trip ok");
  return 0;
}
