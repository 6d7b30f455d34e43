// A typical request, end to end: scramble a payload with a chain of byte
// transforms, encipher it, sign the ciphertext, and turn the results into
// text for the wire. Then the receiving side undoes it all.
#include <norvek/norvek_crypto.h>

#include <cstdio>
#include <cstring>
#include <string>

using namespace NorvekCryptoSpace;

namespace {

std::string as_text(const CNorVekXBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.m_pData), buffer.m_nSize);
}

void show(const char* step, const CNorVekXBuffer& bytes) {
  std::printf("%-28s %s (%llu bytes)\n", step, as_text(norvek_crypto_Bin2Hex(bytes)).c_str(),
              static_cast<unsigned long long>(bytes.m_nSize));
}

}  // namespace

int main() {
  // 1. The helper object carries the processor table of 46 transforms.
  CNorVekXCryptoHelper helper;

  // 2. The payload arrives as a platform data object and is wrapped in a buffer.
  const char message[] = "{\"user\":42,\"action\":\"pay\",\"amount\":\"19.99\"}";
  NSData payload_data = NSData::dataWithBytes(message, std::strlen(message));
  CNorVekXBuffer payload = norvek_crypto_NSData2Buffer(payload_data);
  std::printf("payload                      %s\n", as_text(payload).c_str());
  show("payload bytes", payload);

  // 3. Scramble it through a chain of transforms chosen by table index.
  const int32_t chain[] = {0, 5, 12, 28, 44, 10};
  const int32_t chain_size = sizeof chain / sizeof chain[0];
  CNorVekXBuffer scrambled;
  helper.DynEncrypt(chain, chain_size, payload, scrambled);
  show("after DynEncrypt", scrambled);

  // 4. Encipher under AES-128-CBC with the built-in IV.
  CNorVekXBuffer key("0123456789abcdef");
  CNorVekXBuffer cipher;
  CNorVekXCryptoHelper::Encrypt(key, scrambled, cipher);
  show("after Encrypt", cipher);

  // 5. Sign the ciphertext under the built-in signing key.
  CNorVekXBuffer signature = CNorVekXCryptoHelper::SignData(cipher);
  show("SignData", signature);

  // 6. Text for the wire: hex, Base64, and a URI-escaped query value.
  CNorVekXBuffer cipher_hex = norvek_crypto_Bin2Hex(cipher);
  CNorVekXBuffer cipher_b64 = norvek_crypto_EncodeBase64(cipher);
  const std::string data_escaped = CNorVekXURL::encodeURIComponent(cipher_b64);
  const std::string query =
      "sig=" + CNorVekXURL::encodeURIComponent(signature) + "&data=" + data_escaped;
  std::printf("ciphertext, hex              %s\n", as_text(cipher_hex).c_str());
  std::printf("ciphertext, Base64           %s\n", as_text(cipher_b64).c_str());
  std::printf("query string                 %s\n", query.c_str());

  // The receiving side: check the signature, then undo each step.
  CNorVekXBuffer received =
      norvek_crypto_DecodeBase64(CNorVekXURL::decodeURIComponent(data_escaped));
  if (!CNorVekXCryptoHelper::SignData(received).compare(signature)) {
    std::puts("signature mismatch");
    return 1;
  }
  CNorVekXBuffer deciphered;
  CNorVekXCryptoHelper::Decrypt(key, received, deciphered);
  int32_t reversed[chain_size];
  for (int32_t i = 0; i < chain_size; ++i) reversed[i] = chain[chain_size - 1 - i];
  CNorVekXBuffer restored;
  helper.DynDecrypt(reversed, chain_size, deciphered, restored);
  NSData restored_data = norvek_crypto_Buffer2NSData(restored);
  std::printf("restored                     %.*s\n", static_cast<int>(restored_data.length()),
              static_cast<const char*>(restored_data.bytes()));
  if (!restored.compare(payload)) {
    std::puts("round trip failed");
    return 1;
  }
  std::puts("round trip ok");
  return 0;
}
