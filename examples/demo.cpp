// A typical request as a client builds it and a server receives it.
//
// Client: scramble the payload with a chain of byte transforms (DynEncrypt),
// encipher the result (AES-128-CBC), sign the ciphertext (HMAC-SHA1 under
// the built-in key), and put ciphertext and signature into a query string.
// Server: parse the query string, recompute the signature over the
// ciphertext it received and compare it with the one from the wire, and only
// then decipher and undo the chain.
//
//   norvek_demo                          client and server in this process
//   norvek_demo --post URL [--flip-bit]  the client only: the query string
//       goes to http://HOST:PORT/PATH as the body of an HTTP POST (e.g. to
//       examples/server.py); --flip-bit flips one ciphertext bit after
//       signing, which the server must reject. Exit status 0 only when the
//       server answers 200 with the payload.
#include <netdb.h>
#include <norvek/norvek_crypto.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
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

// The HTTP exchange of --post: one request, the whole answer read until the
// server closes. Plain POSIX sockets; the status code, or -1 with a message.
int http_post(const std::string& url, const std::string& body, std::string& answer) {
  const std::string scheme = "http://";
  if (url.compare(0, scheme.size(), scheme) != 0) {
    std::fprintf(stderr, "only http:// URLs: %s\n", url.c_str());
    return -1;
  }
  const std::string rest = url.substr(scheme.size());
  const size_t slash = rest.find('/');
  const std::string authority = rest.substr(0, slash);
  const std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
  const size_t colon = authority.rfind(':');
  const std::string host = authority.substr(0, colon);
  const std::string port = colon == std::string::npos ? "80" : authority.substr(colon + 1);

  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
    std::fprintf(stderr, "cannot resolve %s\n", authority.c_str());
    return -1;
  }
  int fd = -1;
  for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd < 0) {
    std::fprintf(stderr, "cannot connect to %s\n", authority.c_str());
    return -1;
  }
  const timeval limit{10, 0};  // a server that stops answering fails the call
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

  const std::string request = "POST " + path + " HTTP/1.1\r\nHost: " + authority +
                              "\r\nContent-Type: application/x-www-form-urlencoded" +
                              "\r\nContent-Length: " + std::to_string(body.size()) +
                              "\r\nConnection: close\r\n\r\n" + body;
  bool ok = true;
  for (size_t sent = 0; ok && sent < request.size();) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    ok = n > 0;
    if (ok) sent += static_cast<size_t>(n);
  }
  std::string reply;
  char chunk[4096];
  for (ssize_t n; ok && (n = recv(fd, chunk, sizeof chunk, 0)) != 0;) {
    ok = n > 0;
    if (ok) reply.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  const size_t head_end = reply.find("\r\n\r\n");
  int status = 0;
  if (!ok || head_end == std::string::npos ||
      std::sscanf(reply.c_str(), "HTTP/%*d.%*d %d", &status) != 1) {
    std::fprintf(stderr, "no HTTP answer from %s\n", url.c_str());
    return -1;
  }
  answer = reply.substr(head_end + 4);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const char* post_url = nullptr;
  bool flip_bit = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--post") == 0 && i + 1 < argc) {
      post_url = argv[++i];
    } else if (std::strcmp(argv[i], "--flip-bit") == 0) {
      flip_bit = true;
    } else {
      std::fprintf(stderr, "usage: %s [--post http://HOST:PORT/PATH [--flip-bit]]\n", argv[0]);
      return 2;
    }
  }

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

  if (post_url != nullptr) {
    std::string body = query;
    if (flip_bit) {
      // Tampered on the way: the ciphertext no longer matches its signature.
      CNorVekXBuffer forged = cipher;
      forged.setAt(0, forged.getAt(0) ^ 1);
      CNorVekXBuffer forged_b64 = norvek_crypto_EncodeBase64(forged);
      body = "data=" + CNorVekXURL::encodeURIComponent(forged_b64) +
             "&sig=" + CNorVekXURL::encodeURIComponent(signature_hex);
      std::puts("  (one ciphertext bit flipped after signing)");
    }
    step("6. POST the query string to the server.");
    show_text("url", post_url);
    std::string answer;
    const int status = http_post(post_url, body, answer);
    if (status < 0) return 1;
    std::printf("  HTTP %d\n", status);
    show_text("answer", answer);
    const bool echoed = status == 200 && answer == text(payload);
    std::puts(echoed ? "\nthe server deciphered the payload" : "\nthe server refused the request");
    return echoed ? 0 : 1;
  }

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
