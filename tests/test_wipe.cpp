// Buffer storage is wiped before it is given back: this program replaces the
// array allocation functions (the buffer allocates with new[]) so that it can
// look at every area as it is freed. What goes back through free() is not
// observable this way. The stack below a call is scanned after it returns,
// for round keys the compiler spilled there.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <vector>

#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#else
#define VALGRIND_MAKE_MEM_DEFINED(area, size) ((void)(area), (void)(size))
#endif

#include "aes_paths.h"
#include "norvek/aes.h"

#include "norvek/buffer.h"
#include "norvek/crypto_helper.h"
#include "norvek/url.h"
#include "test_util.h"

namespace {

// Each area carries its size in a header of its own, ahead of the bytes.
constexpr size_t kHeader = alignof(std::max_align_t);

struct Watch {
  bool on = false;
  int freed = 0;  // areas freed while on
  int dirty = 0;  // of which some byte was not zero
};
Watch g_watch;

void* allocate(size_t size) noexcept {
  auto* p = static_cast<uint8_t*>(std::malloc(size + kHeader));
  if (p == nullptr) return nullptr;
  std::memcpy(p, &size, sizeof size);
  return p + kHeader;
}

void deallocate(void* area) noexcept {
  if (area == nullptr) return;
  auto* p = static_cast<uint8_t*>(area) - kHeader;
  if (g_watch.on) {
    size_t size;
    std::memcpy(&size, p, sizeof size);
    const auto* bytes = static_cast<const uint8_t*>(area);
    ++g_watch.freed;
    for (size_t i = 0; i < size; ++i) {
      if (bytes[i] != 0) {
        ++g_watch.dirty;
        break;
      }
    }
  }
  std::free(p);
}

}  // namespace

void* operator new[](size_t size) {
  void* p = allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete[](void* p) noexcept { deallocate(p); }
void operator delete[](void* p, size_t) noexcept { deallocate(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { deallocate(p); }

namespace {

using namespace NorvekCryptoSpace;
using norvek_test::buffer_of;
using norvek_test::Bytes;

// Every area the library gives back during each call holds zeros only, and
// each call gives back at least one (the property is not vacuous).
TEST(Wipe, BufferStorageIsZeroWhenGivenBack) {
  std::mt19937 rng(5);
  const Bytes secret = norvek_test::random_bytes(rng, 40);
  const int32_t list[] = {3, 17, 44};
  const int32_t positions[] = {1, 3, 5, 7};
  const struct {
    const char* name;
    std::function<void()> call;
  } cases[] = {
      {"release", [&] { buffer_of(secret).release(); }},
      {"destructor", [&] { const CNorVekXBuffer b = buffer_of(secret); }},
      {"growing resize", [&] { buffer_of(secret).resize(100); }},
      {"assignment",
       [&] {
         CNorVekXBuffer b = buffer_of(secret);
         b = CNorVekXBuffer("x");
       }},
      {"in-place Encrypt",
       [&] {
         CNorVekXBuffer b = buffer_of(secret);
         CNorVekXCryptoHelper::Encrypt(b, b, b);
       }},
      {"in-place Decrypt",
       [&] {
         CNorVekXBuffer b = buffer_of(secret);
         CNorVekXCryptoHelper::Encrypt(b, b, b);
         CNorVekXCryptoHelper::Decrypt(buffer_of(secret), b, b);
       }},
      {"chain",
       [&] {
         CNorVekXCryptoHelper helper;
         CNorVekXBuffer b = buffer_of(secret);
         helper.DynEncrypt(list, 3, b, b);
       }},
      // Outputs whose storage is replaced, or kept and shrunk, by the result.
      {"Encrypt into a shorter output",
       [&] {
         CNorVekXBuffer out = buffer_of(secret);
         CNorVekXCryptoHelper::Encrypt(buffer_of(secret), buffer_of(Bytes(100, 7)), out);
       }},
      {"Encrypt into a longer output",
       [&] {
         CNorVekXBuffer out = buffer_of(Bytes(200, 9));
         CNorVekXCryptoHelper::Encrypt(buffer_of(secret), buffer_of(secret), out);
       }},
      {"Decrypt into a shorter output",
       [&] {
         CNorVekXBuffer cipher;
         CNorVekXCryptoHelper::Encrypt(buffer_of(secret), buffer_of(secret), cipher);
         CNorVekXBuffer out = buffer_of(Bytes(3, 5));
         CNorVekXCryptoHelper::Decrypt(buffer_of(secret), cipher, out);
       }},
      {"Decrypt into a longer output",
       [&] {
         CNorVekXBuffer cipher;
         CNorVekXCryptoHelper::Encrypt(buffer_of(secret), buffer_of(secret), cipher);
         CNorVekXBuffer out = buffer_of(Bytes(200, 5));
         CNorVekXCryptoHelper::Decrypt(buffer_of(secret), cipher, out);
       }},
      {"Decrypt, bad padding",
       [&] {
         CNorVekXBuffer out;
         CNorVekXCryptoHelper::Decrypt(buffer_of(secret), buffer_of(Bytes(32, 0x77)), out);
       }},
      {"chain into a longer output",
       [&] {
         CNorVekXCryptoHelper helper;
         CNorVekXBuffer out = buffer_of(Bytes(200, 3));
         helper.DynDecrypt(list, 3, buffer_of(secret), out);
       }},
      // Conversions trimmed to what they wrote: nothing past it survives,
      // including the high digit a bad pair leaves behind.
      {"Hex2Bin, bad digit", [&] { norvek_crypto_Hex2Bin(CNorVekXBuffer("0a1b2g3c")); }},
      {"DecodeBase64, padding part way",
       [&] { norvek_crypto_DecodeBase64(CNorVekXBuffer("TQ==TWFuTWFu")); }},
      {"Bin2Hex", [&] { norvek_crypto_Bin2Hex(buffer_of(secret)); }},
      {"EncodeBase64", [&] { norvek_crypto_EncodeBase64(buffer_of(secret)); }},
      {"toStringBuffer", [&] { buffer_of(secret).toStringBuffer(); }},
      {"NSData2Buffer", [&] { norvek_crypto_NSData2Buffer(norvek_test::data_of(secret)); }},
      {"decodeURIComponent", [&] { CNorVekXURL::decodeURIComponent("ab%41%4"); }},
      {"SignData", [&] { CNorVekXCryptoHelper::SignData(buffer_of(secret)); }},
      {"GenerateID",
       [&] {
         CNorVekXBuffer verify;
         CNorVekXCryptoHelper::GenerateID(buffer_of(secret), CNorVekXBuffer("1"), buffer_of(secret),
                                          verify, positions, 4);
       }},
  };
  for (const auto& c : cases) {
    g_watch = {true, 0, 0};
    c.call();
    const Watch seen = g_watch;
    g_watch.on = false;
    EXPECT_GT(seen.freed, 0) << c.name;
    EXPECT_EQ(seen.dirty, 0) << c.name << ": " << seen.dirty << " of " << seen.freed;
  }
}

// ---------------------------------------------------------------------------
// Round keys left on the stack by the hardware AES paths. What the compiler
// spills depends on optimisation and instrumentation, so the property is
// checked in optimised builds without sanitizers. The table path makes no
// such promise.

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NORVEK_TEST_STACK_INSTRUMENTED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(__OPTIMIZE__) || \
    defined(NORVEK_TEST_STACK_INSTRUMENTED)
constexpr bool kStackScanMeaningful = false;
#else
constexpr bool kStackScanMeaningful = true;
#endif

constexpr size_t kScannedStack = 8192;

// Every aligned 8-byte half of every round key, in the record's word order
// and in the byte order the instructions take.
std::vector<uint64_t> round_key_halves(const vantel_aes_key_stKQZP& key) {
  std::vector<uint64_t> halves;
  for (int32_t r = 0; r <= key.rounds; ++r) {
    uint8_t as_stored[16], as_bytes[16];
    std::memcpy(as_stored, key.round_keys + 4 * r, 16);
    for (int w = 0; w < 4; ++w) {
      for (int b = 0; b < 4; ++b)
        as_bytes[4 * w + b] = static_cast<uint8_t>(key.round_keys[4 * r + w] >> (24 - 8 * b));
    }
    for (const uint8_t* k : {as_stored, as_bytes}) {
      for (int h = 0; h < 2; ++h) {
        uint64_t v;
        std::memcpy(&v, k + 8 * h, 8);
        halves.push_back(v);
      }
    }
  }
  return halves;
}

// Counts the places in the stack area below its caller that hold one of
// `halves`: what the call made just before, from the same caller, left.
__attribute__((noinline)) int spilled_round_keys(const std::vector<uint64_t>& halves) {
  volatile uint64_t area[kScannedStack / 8];  // deliberately uninitialised
  VALGRIND_MAKE_MEM_DEFINED(const_cast<uint64_t*>(area), sizeof area);
  int found = 0;
  for (size_t i = 0; i < kScannedStack / 8; ++i) {
    const uint64_t word = area[i];
    for (uint64_t h : halves) found += word == h ? 1 : 0;
  }
  return found;
}

// Zeroes the same area, so a scan sees only what the next call leaves.
__attribute__((noinline)) void clear_stack_below() {
  volatile uint64_t area[kScannedStack / 8];
  for (auto& word : area) word = 0;
}

class WipeStack : public norvek_test::AesPathTest {};

TEST_P(WipeStack, NoRoundKeyOutlivesTheCall) {
  if (!kStackScanMeaningful) GTEST_SKIP() << "spills differ in instrumented or unoptimised builds";
  if (GetParam() == NorvekAesPath::table) GTEST_SKIP() << "the table path makes no wiping claim";
  std::mt19937 rng(11);
  for (int32_t bits : {128, 192, 256}) {
    const Bytes user_key = norvek_test::random_bytes(rng, 32);
    const Bytes data = norvek_test::random_bytes(rng, 16 * 47);
    vantel_aes_key_stKQZP enc{}, dec{};
    norvek_AES_set_encrypt_keyKQZP(user_key.data(), bits, &enc);
    norvek_AES_set_decrypt_keyKQZP(user_key.data(), bits, &dec);
    std::vector<uint64_t> halves = round_key_halves(enc);
    const std::vector<uint64_t> dec_halves = round_key_halves(dec);
    halves.insert(halves.end(), dec_halves.begin(), dec_halves.end());

    Bytes out(data.size());
    uint8_t iv[16] = {};
    vantel_aes_key_stKQZP scratch{};
    const struct {
      const char* name;
      std::function<void()> call;
    } cases[] = {
        {"set_encrypt_key",
         [&] { norvek_AES_set_encrypt_keyKQZP(user_key.data(), bits, &scratch); }},
        {"set_decrypt_key",
         [&] { norvek_AES_set_decrypt_keyKQZP(user_key.data(), bits, &scratch); }},
        {"encrypt", [&] { norvek_AES_encryptKQZP(data.data(), out.data(), &enc); }},
        {"decrypt", [&] { norvek_AES_decryptKQZP(data.data(), out.data(), &dec); }},
        {"cbc_encrypt", [&] { norvek_AES_cbc_encryptKQZP(data.data(), out.data(), iv, 47, &enc); }},
        {"cbc_decrypt", [&] { norvek_AES_cbc_decryptKQZP(data.data(), out.data(), iv, 47, &dec); }},
    };
    for (const auto& c : cases) {
      clear_stack_below();
      c.call();
      EXPECT_EQ(spilled_round_keys(halves), 0) << c.name << ", " << bits << " bits";
    }
  }
}

NORVEK_ON_EVERY_AES_PATH(WipeStack);

}  // namespace
