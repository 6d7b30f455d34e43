// Many threads at once over shared read-only inputs: every operation family
// gives the answer it gives alone. Built with ThreadSanitizer (the tsan
// preset) this also shows data races, including in state set up on first
// use; in the other builds it runs as an ordinary unit test.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <latch>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "norvek/norvek_crypto.h"
#include "test_util.h"

namespace {

using namespace NorvekCryptoSpace;
using namespace norvek_test;

struct Family {
  Family(const char* n, std::function<Bytes()> r, Bytes e = {})
      : name(n), run(std::move(r)), expected(std::move(e)) {}
  const char* name;
  std::function<Bytes()> run;
  Bytes expected;
};

constexpr int kThreads = 4;

// Starts `kThreads` threads together; thread t begins with family
// `first(t)` and runs every family `rounds` times. Returns the names of the
// families that answered differently from their expectation.
std::vector<std::string> run_at_once(const std::vector<Family>& families, int rounds,
                                     const std::function<size_t(int)>& first) {
  std::latch start(kThreads);
  std::vector<std::vector<std::string>> wrong(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int r = 0; r < rounds; ++r) {
        for (size_t k = 0; k < families.size(); ++k) {
          const Family& f = families[(first(t) + k) % families.size()];
          if (f.run() != f.expected) wrong[t].push_back(f.name);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<std::string> all;
  for (const auto& w : wrong) all.insert(all.end(), w.begin(), w.end());
  return all;
}

Bytes pattern(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  return random_bytes(rng, n);
}

Bytes number(uint64_t v) { return Bytes{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Kept first in this file: run alone (as ctest does, one process per case)
// or first in a whole run, the library's first AES and SHA-1 calls happen
// here, in two threads each at the same moment. Expectations come from
// OpenSSL so that nothing of the library runs before the threads do.
TEST(Concurrency, FirstUseOfAesAndSha1) {
  const Bytes key = pattern(32, 1), block = pattern(16, 2), message = pattern(200, 3);
  const Bytes iv = pattern(16, 4), plain = pattern(64, 5);
  const Bytes sign_key(NORVEK_SIGN_DATA_KEY, NORVEK_SIGN_DATA_KEY + sizeof NORVEK_SIGN_DATA_KEY);

  std::vector<Family> families = {
      {"AES block",
       [&] {
         Bytes out;
         for (int bits : {128, 192, 256}) {
           vantel_aes_key_stKQZP k{};
           norvek_AES_set_encrypt_keyKQZP(key.data(), bits, &k);
           uint8_t c[16];
           norvek_AES_encryptKQZP(block.data(), c, &k);
           norvek_AES_set_decrypt_keyKQZP(key.data(), bits, &k);
           uint8_t p[16];
           norvek_AES_decryptKQZP(c, p, &k);
           out = out + Bytes(c, c + 16) + Bytes(p, p + 16);
         }
         return out;
       },
       {}},
      {"SHA-1",
       [&] {
         uint8_t md[20];
         norvek_crypto_sha1_KQZP(message.data(), message.size(), md);
         return Bytes(md, md + 20) + bytes_of(CNorVekXCryptoHelper::Sha1(buffer_of(message)));
       },
       {}},
      {"CBC",
       [&] {
         vantel_aes_key_stKQZP k{};
         norvek_AES_set_encrypt_keyKQZP(key.data(), 128, &k);
         Bytes out(plain.size());
         Bytes chain = iv;
         norvek_AES_cbc_encryptKQZP(plain.data(), out.data(), chain.data(), plain.size() / 16, &k);
         return out;
       },
       {}},
      {"HMAC-SHA1",
       [&] {
         uint8_t md[20];
         norvek_crypto_hmac_sha1_KQZP(message.data(), message.size(), key.data(), key.size(), md);
         return Bytes(md, md + 20) + bytes_of(CNorVekXCryptoHelper::SignData(buffer_of(message)));
       },
       {}},
      {"buffer cipher round trip",
       [&] {
         CNorVekXBuffer cipher, back;
         CNorVekXCryptoHelper::Encrypt(buffer_of(key), buffer_of(message), cipher);
         CNorVekXCryptoHelper::Decrypt(buffer_of(key), cipher, back);
         return bytes_of(back);
       },
       {}},
  };
  const Bytes k16(key.begin(), key.begin() + 16), k24(key.begin(), key.begin() + 24);
  for (const Bytes& k : {k16, k24, key}) {
    families[0].expected = families[0].expected + openssl_aes_ecb(k, block, true) + block;
  }
  families[1].expected = openssl_sha1(message) + openssl_sha1(message);
  families[2].expected = openssl_aes_cbc(k16, iv, plain, true);
  families[3].expected = openssl_hmac_sha1(message, key) + openssl_hmac_sha1(message, sign_key);
  families[4].expected = message;

  // Threads 0 and 2 start with AES, 1 and 3 with SHA-1.
  EXPECT_EQ(run_at_once(families, 3, [](int t) { return static_cast<size_t>(t % 2); }),
            std::vector<std::string>{});
}

// Every operation family at once, each against its answer computed alone
// beforehand.
TEST(Concurrency, EveryFamilyAtOnce) {
  const Bytes in = pattern(150, 10), key = pattern(20, 11);
  const CNorVekXBuffer input = buffer_of(in), keyBuffer = buffer_of(key);
  const CNorVekXBuffer hexText = norvek_crypto_Bin2Hex(input);
  const CNorVekXBuffer base64Text = norvek_crypto_EncodeBase64(input);
  const std::vector<int32_t> list = {3, 0, 45, 10, 27, 8, 8, 19};
  const std::vector<int32_t> positions = {5, 7, 9, 11, 13, 17};
  const NSData data = data_of(in);
  const NSString passphrase = ns("correct horse");
  const NSData sealed128 = CNorVekXCryptoHelper::EncryptAESBySystem(data, passphrase);
  const NSData sealed256 = CNorVekXCryptoHelper::AES256Encrypt(data, passphrase);
  const NSData encodedData = NorVekXCryptoBase64KQZP::webSafeEncodeData(data, false);
  const CNorVekXBuffer sealed = [&] {
    CNorVekXBuffer c;
    CNorVekXCryptoHelper::Encrypt(keyBuffer, input, c);
    return c;
  }();

  std::vector<Family> families = {
      {"transforms",
       [&] {
         const CNorVekXCryptoHelper helper;
         Bytes work = in;
         for (const st_Processor& p : helper.m_processors) {
           if (p.pfnEncrypt != nullptr) p.pfnEncrypt(work.data(), work.size());
         }
         return work;
       }},
      {"chains",
       [&] {
         CNorVekXCryptoHelper helper;
         CNorVekXBuffer a, b, c, d;
         const int32_t n = static_cast<int32_t>(list.size());
         helper.DynEncrypt(list.data(), n, input, a);
         helper.DynDecrypt(list.data(), n, input, b);
         helper.DynEncryptEx(list.data(), n, input, c);
         helper.DynDecryptEx(list.data(), n, input, d);
         return bytes_of(a) + bytes_of(b) + bytes_of(c) + bytes_of(d);
       }},
      {"buffer cipher",
       [&] {
         CNorVekXBuffer c, p;
         CNorVekXCryptoHelper::Encrypt(keyBuffer, input, c);
         CNorVekXCryptoHelper::Decrypt(keyBuffer, sealed, p);
         return bytes_of(c) + bytes_of(p);
       }},
      {"digests",
       [&] {
         return bytes_of(CNorVekXCryptoHelper::Sha1(input)) +
                bytes_of(CNorVekXCryptoHelper::HmacSha1(input, keyBuffer)) +
                bytes_of(CNorVekXCryptoHelper::SignData(input));
       }},
      {"HOTPex and GenerateID",
       [&] {
         CNorVekXBuffer verify;
         const CNorVekXBuffer id =
             CNorVekXCryptoHelper::GenerateID(keyBuffer, input, keyBuffer, verify, positions.data(),
                                              static_cast<int32_t>(positions.size()));
         return bytes_of(CNorVekXCryptoHelper::HOTPex(input, keyBuffer, 12)) + bytes_of(id) +
                bytes_of(verify);
       }},
      {"RandBytes", [] { return number(CNorVekXCryptoHelper::RandBytes(33).m_nSize); }},
      {"buffer codecs",
       [&] {
         return bytes_of(norvek_crypto_Bin2Hex(input)) + bytes_of(norvek_crypto_Hex2Bin(hexText)) +
                bytes_of(norvek_crypto_EncodeBase64(input)) +
                bytes_of(norvek_crypto_DecodeBase64(base64Text)) +
                bytes_of(norvek_crypto_NSData2Buffer(norvek_crypto_Buffer2NSData(input)));
       }},
      {"array codecs and URI",
       [&] {
         char text[256];
         uint64_t textLen = sizeof text;
         norvek_crypto_base64_encodeKQZP(in.data(), in.size(), text, &textLen);
         uint8_t back[256];
         uint64_t backLen = 0;
         norvek_crypto_base64_decodeKQZP(text, textLen, back, &backLen);
         CNorVekXBuffer uriInput = input;
         const std::string uri = CNorVekXURL::encodeURIComponent(uriInput);
         return Bytes(text, text + textLen) + Bytes(back, back + backLen) + bytes_of(uri) +
                bytes_of(CNorVekXURL::decodeURIComponent(uri));
       }},
      {"Base64 class",
       [&] {
         return bytes_of(NorVekXCryptoBase64KQZP::encodeData(data)) +
                bytes_of(NorVekXCryptoBase64KQZP::webSafeDecodeData(encodedData)) +
                bytes_of(text_of(NorVekXCryptoBase64KQZP::stringByEncodingData(data)));
       }},
      {"cipher bridge",
       [&] {
         return bytes_of(CNorVekXCryptoHelper::EncryptAESBySystem(data, passphrase)) +
                bytes_of(CNorVekXCryptoHelper::DecryptAESBySystem(sealed128, passphrase)) +
                bytes_of(CNorVekXCryptoHelper::AES256Encrypt(data, passphrase)) +
                bytes_of(CNorVekXCryptoHelper::AES256Decrypt(sealed256, passphrase));
       }},
  };
  for (Family& f : families) f.expected = f.run();

  EXPECT_EQ(run_at_once(families, 4, [](int t) { return static_cast<size_t>(3 * t); }),
            std::vector<std::string>{});
}

}  // namespace
