// Buffer storage is wiped before it is given back: this program replaces the
// array allocation functions (the buffer allocates with new[]) so that it can
// look at every area as it is freed. What goes back through free() is not
// observable this way. After each keyed operation the stack below the call
// and the vector registers are scanned for the key's words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#else
#define VALGRIND_MAKE_MEM_DEFINED(area, size) ((void)(area), (void)(size))
#endif

#include "../crypto/secure_wipe.h"
#include "../helper/hotp_salts.h"
#include "aes_paths.h"
#include "norvek/aes.h"
#include "norvek/buffer.h"
#include "norvek/crypto_helper.h"
#include "norvek/hmac_sha1.h"
#include "norvek/sha1.h"
#include "norvek/url.h"
#include "sha1_paths_param.h"
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
// Secrets left behind. After each operation that handles a key or a keyed
// state, neither the stack area below the call nor the vector registers may
// hold any 32-bit word of the key, its round keys, K^ipad/K^opad or the
// keyed HMAC states, in either byte order. Sanitizers move and instrument
// stack frames, so their builds skip the scan. The library's key-handling
// units are optimised in every build type, so it holds (and runs) at -O0 as
// well; coverage builds, which keep them unoptimised, skip it too.

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NORVEK_TEST_STACK_INSTRUMENTED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || \
    defined(NORVEK_TEST_STACK_INSTRUMENTED) || defined(NORVEK_TEST_LIBRARY_UNOPTIMISED)
constexpr bool kScanMeaningful = false;
#else
constexpr bool kScanMeaningful = true;
#endif

constexpr const char* kNoScan =
    "sanitizers move and instrument stack frames; coverage builds leave the library unoptimised";

constexpr size_t kScannedStack = 8192;

// The words to look for. Words every key shares (zero, the bare pads) say
// nothing about the key and are left out.
class SecretWords {
 public:
  void word(uint32_t w) {
    if (w == 0 || w == 0x36363636u || w == 0x5C5C5C5Cu) return;
    m_words.push_back(w);
    m_words.push_back(__builtin_bswap32(w));
    std::sort(m_words.begin(), m_words.end());
  }
  void bytes(const uint8_t* p, size_t n) {
    for (size_t i = 0; i + 4 <= n; i += 4) {
      uint32_t w;
      std::memcpy(&w, p + i, 4);
      word(w);
    }
  }
  void aes_key(const uint8_t* user_key, int32_t bits) {
    vantel_aes_key_stKQZP enc{}, dec{};
    norvek_AES_set_encrypt_keyKQZP(user_key, bits, &enc);
    norvek_AES_set_decrypt_keyKQZP(user_key, bits, &dec);
    for (const vantel_aes_key_stKQZP* k : {&enc, &dec}) {
      for (int32_t i = 0; i < 4 * (k->rounds + 1); ++i) word(k->round_keys[i]);
    }
  }
  // The key as given and as padded to a block (hashed first when longer),
  // both pads of it and the two keyed states.
  void hmac_key(const uint8_t* key, size_t n) {
    bytes(key, n);
    uint8_t padded[64] = {};
    if (n > 64) {
      norvek_crypto_sha1_KQZP(key, n, padded);
    } else {
      std::memcpy(padded, key, n);
    }
    bytes(padded, sizeof padded);
    for (uint8_t pad : {uint8_t{0x36}, uint8_t{0x5C}}) {
      uint8_t block[64];
      for (size_t i = 0; i < 64; ++i) block[i] = padded[i] ^ pad;
      bytes(block, sizeof block);
      norvek_crypto_shastate_st_KQZP c;
      norvek_crypto_sha1_Init_KQZP(&c);
      norvek_crypto_sha1_Update_KQZP(&c, block, sizeof block);
      for (uint64_t h : {c.h0, c.h1, c.h2, c.h3, c.h4}) word(static_cast<uint32_t>(h));
    }
  }
  bool holds(uint32_t w) const { return std::binary_search(m_words.begin(), m_words.end(), w); }

 private:
  std::vector<uint32_t> m_words;
};

// Counts the aligned words in the stack area below its caller that are
// secret: what the call made just before, from the same caller, left.
__attribute__((noinline)) int secrets_on_stack(const SecretWords& secrets) {
  volatile uint32_t area[kScannedStack / 4];  // deliberately uninitialised
  VALGRIND_MAKE_MEM_DEFINED(const_cast<uint32_t*>(area), sizeof area);
  int found = 0;
  for (size_t i = 0; i < kScannedStack / 4; ++i) found += secrets.holds(area[i]) ? 1 : 0;
  return found;
}

// Zeroes the same area, so a scan sees only what the next call leaves.
__attribute__((noinline)) void clear_stack_below() {
  volatile uint64_t area[kScannedStack / 8];
  for (auto& word : area) word = 0;
}

// The vector registers as the call left them: a global, so that taking them
// needs no stack frame and no register of the compiler's choosing.
struct VectorFile {
  alignas(64) uint8_t bytes[32 * 64];
  size_t size;
};
VectorFile g_vectors;

#if defined(__x86_64__)
// xmm0-15; with AVX ymm0-15 whole; with AVX-512 zmm0-31 whole (libc's string
// functions use ymm16-31 there).
const bool kHaveAvx = __builtin_cpu_supports("avx");
const bool kHaveEvex = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");

#define NV_X16(op)                                                                               \
  op(0) op(1) op(2) op(3) op(4) op(5) op(6) op(7) op(8) op(9) op(10) op(11) op(12) op(13) op(14) \
      op(15)
#define NV_X16_HIGH(op)                                                                      \
  op(16) op(17) op(18) op(19) op(20) op(21) op(22) op(23) op(24) op(25) op(26) op(27) op(28) \
      op(29) op(30) op(31)
#define NV_STORE_XMM(n) "movdqu %%xmm" #n ", " #n "*16(%0)\n\t"
#define NV_STORE_YMM(n) "vmovdqu %%ymm" #n ", " #n "*32(%0)\n\t"
#define NV_STORE_ZMM(n) "vmovdqu64 %%zmm" #n ", " #n "*64(%0)\n\t"
#define NV_ZERO_XMM(n) "pxor %%xmm" #n ", %%xmm" #n "\n\t"
#define NV_ZERO_EVEX(n) "vpxord %%xmm" #n ", %%xmm" #n ", %%xmm" #n "\n\t"
#define NV_XMM_NAME(n) "xmm" #n,

__attribute__((noinline)) void take_xmm() {
  __asm__ volatile(NV_X16(NV_STORE_XMM) : : "r"(g_vectors.bytes) : "memory");
}
__attribute__((noinline)) void take_ymm() {
  __asm__ volatile(NV_X16(NV_STORE_YMM) : : "r"(g_vectors.bytes) : "memory");
}
__attribute__((noinline)) void take_zmm() {
  __asm__ volatile(NV_X16(NV_STORE_ZMM) NV_X16_HIGH(NV_STORE_ZMM)
                   :
                   : "r"(g_vectors.bytes)
                   : "memory");
}
__attribute__((noinline)) void zero_xmm() {
  __asm__ volatile(NV_X16(NV_ZERO_XMM) : : : NV_X16(NV_XMM_NAME) "memory");
}
// The test code keeps nothing in xmm16-31: it is not built for AVX-512.
__attribute__((noinline)) void zero_evex() {
  __asm__ volatile("vzeroall\n\t" NV_X16_HIGH(NV_ZERO_EVEX) : : : NV_X16(NV_XMM_NAME) "memory");
}

__attribute__((noinline)) void zero_ymm() { __asm__ volatile("vzeroall" : : : "memory"); }

void clear_vector_registers() {
  if (kHaveEvex) {
    zero_evex();
  } else if (kHaveAvx) {
    zero_ymm();
  } else {
    zero_xmm();
  }
}
void take_vector_registers() {
  if (kHaveEvex) {
    take_zmm();
    g_vectors.size = 32 * 64;
  } else if (kHaveAvx) {
    take_ymm();
    g_vectors.size = 16 * 32;
  } else {
    take_xmm();
    g_vectors.size = 16 * 16;
  }
}
#elif defined(__aarch64__)
// v0-v31.
#define NV_X16(op)                                                                         \
  op(0, 1) op(2, 3) op(4, 5) op(6, 7) op(8, 9) op(10, 11) op(12, 13) op(14, 15) op(16, 17) \
      op(18, 19) op(20, 21) op(22, 23) op(24, 25) op(26, 27) op(28, 29) op(30, 31)
#define NV_STORE_Q(a, b) "stp q" #a ", q" #b ", [%0, #" #a "*16]\n\t"
#define NV_ZERO_Q(a, b) "movi v" #a ".16b, #0\n\tmovi v" #b ".16b, #0\n\t"
#define NV_V_NAME(a, b) "v" #a, "v" #b,

__attribute__((noinline)) void take_vector_registers() {
  __asm__ volatile(NV_X16(NV_STORE_Q) : : "r"(g_vectors.bytes) : "memory");
  g_vectors.size = 512;
}
__attribute__((noinline)) void clear_vector_registers() {
  __asm__ volatile(NV_X16(NV_ZERO_Q) : : : NV_X16(NV_V_NAME) "memory");
}
#else
void take_vector_registers() { g_vectors.size = 0; }
void clear_vector_registers() {}
#endif

// Where in the registers taken (byte offsets: register number times the
// register width, plus the place in it) a secret word is.
std::string secrets_in_registers(const SecretWords& secrets) {
  std::string where;
  for (size_t i = 0; i + 4 <= g_vectors.size; i += 4) {
    uint32_t w;
    std::memcpy(&w, g_vectors.bytes + i, 4);
    if (!secrets.holds(w)) continue;
    where += ' ';
    where += std::to_string(i);
  }
  return where;
}

struct ScanCase {
  std::string name;
  std::function<void()> call;
  const SecretWords* secrets;
};

// Runs each case between a cleared stack area and cleared registers, then
// looks in both for its secrets.
void expect_no_secret_left(const std::vector<ScanCase>& cases) {
  for (const auto& c : cases) {
    clear_stack_below();
    clear_vector_registers();
    c.call();
    take_vector_registers();
    const int on_stack = secrets_on_stack(*c.secrets);
    EXPECT_EQ(on_stack, 0) << c.name << ": secret words on the stack below the call";
    EXPECT_EQ(secrets_in_registers(*c.secrets), "")
        << c.name << ": secret words in vector registers (byte offsets)";
  }
}

// Everything keyed by AES: the primitives for every key size, the buffer
// cipher and the platform cipher bridge.
class NoSecretLeftAes : public norvek_test::AesPathTest {};

TEST_P(NoSecretLeftAes, StackAndVectorRegisters) {
  if (!kScanMeaningful) GTEST_SKIP() << kNoScan;
  std::mt19937 rng(11);
  const Bytes data = norvek_test::random_bytes(rng, 16 * 47);
  Bytes out(data.size());
  uint8_t iv[16] = {};
  vantel_aes_key_stKQZP scratch{};

  std::vector<Bytes> keys;
  keys.reserve(3);  // the cases keep pointers into them
  std::vector<SecretWords> secrets(5);
  std::vector<vantel_aes_key_stKQZP> enc(3), dec(3);
  std::vector<ScanCase> cases;
  const int32_t sizes[] = {128, 192, 256};
  for (size_t s = 0; s < 3; ++s) {
    const int32_t bits = sizes[s];
    keys.push_back(norvek_test::random_bytes(rng, 32));
    const uint8_t* key = keys.back().data();
    secrets[s].bytes(key, static_cast<size_t>(bits / 8));
    secrets[s].aes_key(key, bits);
    norvek_AES_set_encrypt_keyKQZP(key, bits, &enc[s]);
    norvek_AES_set_decrypt_keyKQZP(key, bits, &dec[s]);
    const vantel_aes_key_stKQZP* e = &enc[s];
    const vantel_aes_key_stKQZP* d = &dec[s];
    const std::string tag = ", " + std::to_string(bits) + " bits";
    const SecretWords* w = &secrets[s];
    cases.push_back({"set_encrypt_key" + tag,
                     [=, &scratch] { norvek_AES_set_encrypt_keyKQZP(key, bits, &scratch); }, w});
    cases.push_back({"set_decrypt_key" + tag,
                     [=, &scratch] { norvek_AES_set_decrypt_keyKQZP(key, bits, &scratch); }, w});
    cases.push_back({"encrypt" + tag,
                     [=, &data, &out] { norvek_AES_encryptKQZP(data.data(), out.data(), e); }, w});
    cases.push_back({"decrypt" + tag,
                     [=, &data, &out] { norvek_AES_decryptKQZP(data.data(), out.data(), d); }, w});
    for (uint64_t blocks : {uint64_t{1}, uint64_t{47}}) {
      const std::string n = ", " + std::to_string(blocks) + " block(s)";
      cases.push_back({"cbc_encrypt" + tag + n,
                       [=, &data, &out, &iv] {
                         norvek_AES_cbc_encryptKQZP(data.data(), out.data(), iv, blocks, e);
                       },
                       w});
      cases.push_back({"cbc_decrypt" + tag + n,
                       [=, &data, &out, &iv] {
                         norvek_AES_cbc_decryptKQZP(data.data(), out.data(), iv, blocks, d);
                       },
                       w});
    }
  }

  // The buffer cipher: AES-128 under the key's first 16 bytes.
  const CNorVekXBuffer key = buffer_of(keys[0]);
  const CNorVekXBuffer plain = buffer_of(Bytes(data.begin(), data.begin() + 100));
  CNorVekXBuffer cipher, deciphered;
  CNorVekXCryptoHelper::Encrypt(key, plain, cipher);
  cases.push_back(
      {"Encrypt", [&] { CNorVekXCryptoHelper::Encrypt(key, plain, cipher); }, &secrets[0]});
  cases.push_back(
      {"Decrypt", [&] { CNorVekXCryptoHelper::Decrypt(key, cipher, deciphered); }, &secrets[0]});

  // The cipher bridge: the key string's bytes, zero-extended, as the key.
  const std::string text16 = "k3Y!w9#Qz7@Lp2$M", text32 = "Vb8^Jt5&Xn1*Rc6(Hd4)Gs0-Fq3+Wy7=";
  const NSString key16 = norvek_test::ns(text16), key32 = norvek_test::ns(text32);
  const NSData bridge_plain = norvek_test::data_of(Bytes(data.begin(), data.begin() + 100));
  secrets[3].bytes(reinterpret_cast<const uint8_t*>(text16.data()), 16);
  secrets[3].aes_key(reinterpret_cast<const uint8_t*>(text16.data()), 128);
  secrets[4].bytes(reinterpret_cast<const uint8_t*>(text32.data()), 32);
  secrets[4].aes_key(reinterpret_cast<const uint8_t*>(text32.data()), 256);
  const NSData c128 = CNorVekXCryptoHelper::EncryptAESBySystem(bridge_plain, key16);
  const NSData c256 = CNorVekXCryptoHelper::AES256Encrypt(bridge_plain, key32);
  cases.push_back({"EncryptAESBySystem",
                   [&] { CNorVekXCryptoHelper::EncryptAESBySystem(bridge_plain, key16); },
                   &secrets[3]});
  cases.push_back({"DecryptAESBySystem",
                   [&] { CNorVekXCryptoHelper::DecryptAESBySystem(c128, key16); }, &secrets[3]});
  cases.push_back({"AES256Encrypt",
                   [&] { CNorVekXCryptoHelper::AES256Encrypt(bridge_plain, key32); }, &secrets[4]});
  cases.push_back(
      {"AES256Decrypt", [&] { CNorVekXCryptoHelper::AES256Decrypt(c256, key32); }, &secrets[4]});

  expect_no_secret_left(cases);
}

NORVEK_ON_EVERY_AES_PATH(NoSecretLeftAes);

// Everything keyed by HMAC-SHA1: keys shorter than, as long as and longer
// than a block, the helper's HMAC, the signature under the shipped and under
// a changed key, and the one-time codes under their three fixed keys.
NORVEK_SHA1_PATH_SUITE(NoSecretLeftSha1);

TEST_P(NoSecretLeftSha1, StackAndVectorRegisters) {
  if (!kScanMeaningful) GTEST_SKIP() << kNoScan;
  std::mt19937 rng(12);
  const Bytes message = norvek_test::random_bytes(rng, 150);
  uint8_t mac[20];

  std::vector<Bytes> keys;
  keys.reserve(3);  // the cases keep pointers into them
  std::vector<SecretWords> secrets(6);
  std::vector<ScanCase> cases;
  const size_t lengths[] = {20, 64, 100};
  for (size_t i = 0; i < 3; ++i) {
    keys.push_back(norvek_test::random_bytes(rng, lengths[i]));
    const Bytes& key = keys.back();
    secrets[i].hmac_key(key.data(), key.size());
    cases.push_back({"hmac_sha1, " + std::to_string(key.size()) + "-byte key",
                     [&message, &key, &mac] {
                       norvek_crypto_hmac_sha1_KQZP(message.data(), message.size(), key.data(),
                                                    key.size(), mac);
                     },
                     &secrets[i]});
  }

  const CNorVekXBuffer in = buffer_of(message);
  const CNorVekXBuffer key = buffer_of(keys[0]);
  cases.push_back({"HmacSha1", [&] { CNorVekXCryptoHelper::HmacSha1(in, key); }, &secrets[0]});

  secrets[3].hmac_key(NORVEK_SIGN_DATA_KEY, sizeof NORVEK_SIGN_DATA_KEY);
  cases.push_back(
      {"SignData, shipped key", [&] { CNorVekXCryptoHelper::SignData(in); }, &secrets[3]});
  uint8_t changed[sizeof NORVEK_SIGN_DATA_KEY];
  std::memcpy(changed, NORVEK_SIGN_DATA_KEY, sizeof changed);
  changed[7] ^= 0x5A;
  secrets[4].hmac_key(changed, sizeof changed);

  namespace salts = NorvekCryptoSpace::hotp_salts;
  for (const uint8_t* salt : {salts::SALT1, salts::SALT2, salts::SALT3})
    secrets[5].hmac_key(salt, salts::kSaltSize);
  cases.push_back(
      {"HOTPex", [&] { CNorVekXCryptoHelper::HOTPex(in, CNorVekXBuffer(), 8); }, &secrets[5]});

  expect_no_secret_left(cases);

  // The array is changed and put back outside the scanned call.
  uint8_t shipped[sizeof NORVEK_SIGN_DATA_KEY];
  std::memcpy(shipped, NORVEK_SIGN_DATA_KEY, sizeof shipped);
  std::memcpy(NORVEK_SIGN_DATA_KEY, changed, sizeof changed);
  expect_no_secret_left(
      {{"SignData, changed key", [&] { CNorVekXCryptoHelper::SignData(in); }, &secrets[4]}});
  std::memcpy(NORVEK_SIGN_DATA_KEY, shipped, sizeof shipped);
}

// ---------------------------------------------------------------------------
// The register clears take nothing from their callers: code built for
// AVX-512 that inlines them (link-time optimisation does, across units) may
// hold values in xmm16-31, which the clear after libc's string functions
// zeroes where the CPU has them.

#if defined(__x86_64__)
// Sixteen values live across the clear, which zeroes xmm0-15 as it says:
// the compiler keeps them in xmm16-31 unless it knows those are lost too.
__attribute__((target("avx512f,avx512vl"), always_inline)) inline void in_register(__m128i& v) {
  __asm__ volatile("" : "+v"(v));
}

template <size_t... I>
__attribute__((target("avx512f,avx512vl"), always_inline)) inline bool evex_values_survive(
    uint64_t seed, std::index_sequence<I...>) {
  __m128i v[sizeof...(I)];
  ((v[I] = _mm_set1_epi64x(static_cast<long long>(seed + I)), in_register(v[I])), ...);
  norvek_clear_registers_after_libc();
  (in_register(v[I]), ...);
  return ((static_cast<uint64_t>(_mm_cvtsi128_si64(v[I])) == seed + I) && ...);
}

__attribute__((target("avx512f,avx512vl"), noinline)) bool evex_values_survive_clear(
    uint64_t seed) {
  return evex_values_survive(seed, std::make_index_sequence<16>{});
}

TEST(Wipe, RegisterClearKeepsTheCallersEvexRegisters) {
  if (!kHaveEvex) GTEST_SKIP() << "no AVX-512 (with VL, saved by the OS) here";
  for (uint64_t seed : {uint64_t{1}, uint64_t{0x0123456789ABCDEF}}) {
    EXPECT_TRUE(evex_values_survive_clear(seed)) << seed;
  }
}
#endif

}  // namespace
