// The Foundation and CommonCrypto stand-ins: nil behaviour and ownership of
// the data and string handles, and CCCrypt checked against OpenSSL EVP,
// Wycheproof and NIST SP 800-38A.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "norvek_platform/common_crypto.h"
#include "norvek_platform/foundation.h"
#include "norvek_platform/objc_runtime.h"
#include "test_util.h"
#include "wycheproof.h"

// While set, this thread's scalar allocations fail, as they would once memory
// has run out (array forms may bypass this under sanitizers or valgrind). The
// helpers stay out of line so the compiler does not pair malloc with a delete
// expression.
static thread_local bool g_refuse_allocation = false;

__attribute__((noinline)) static void* refusable_allocate(std::size_t size) noexcept {
  return g_refuse_allocation ? nullptr : std::malloc(size == 0 ? 1 : size);
}
__attribute__((noinline)) static void release(void* p) noexcept { std::free(p); }

void* operator new(std::size_t size) {
  void* p = refusable_allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  return refusable_allocate(size);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t /*size*/) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t& /*tag*/) noexcept { release(p); }

namespace {

using namespace norvek_test;

// ---------------------------------------------------------------------------
// Data and string objects

TEST(PlatformNil, AnswersZeroAndIgnoresRequests) {
  NSData data;
  EXPECT_TRUE(data.isNil());
  EXPECT_FALSE(data);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(data.length(), 0u);
  EXPECT_EQ(data.bytes(), nullptr);
  NSMutableData mutableData;
  mutableData.setLength(10);  // ignored
  EXPECT_EQ(mutableData.length(), 0u);
  EXPECT_EQ(mutableData.mutableBytes(), nullptr);
  EXPECT_EQ(NSData::alloc(), nullptr);

  NSString string;
  EXPECT_TRUE(string.isNil());
  EXPECT_EQ(string.length(), 0u);
  EXPECT_EQ(string.UTF8String(), nullptr);
  char area[4] = {'x', 'x', 'x', 'x'};
  EXPECT_FALSE(string.getCString(area, sizeof area, NSUTF8StringEncoding));
  EXPECT_EQ(area[0], 'x');
  EXPECT_TRUE(string.dataUsingEncoding(NSASCIIStringEncoding).isNil());
  EXPECT_TRUE(NSString::alloc().initWithData(NSData(), NSASCIIStringEncoding).isNil());
  EXPECT_TRUE(NSString::stringWithUTF8String(nullptr).isNil());
}

TEST(PlatformData, CreationCopiesTheRangeAndHandlesShareTheObject) {
  Bytes source = {0x00, 0xFF, 0x10};
  const NSData a = NSData::dataWithBytes(source.data(), source.size());
  const NSData b = NSData::alloc().initWithBytes(source.data(), source.size());
  source[0] = 0x55;
  for (const NSData& d : {a, b}) {
    EXPECT_EQ(bytes_of(d), (Bytes{0x00, 0xFF, 0x10}));
    EXPECT_NE(d.bytes(), source.data());
  }
  EXPECT_NE(a, b);  // two objects
  const NSData sameObject = a;
  EXPECT_EQ(sameObject, a);
  EXPECT_EQ(sameObject.bytes(), a.bytes());

  const NSData empty = NSData::dataWithBytes(nullptr, 0);
  EXPECT_FALSE(empty.isNil());
  EXPECT_EQ(empty.length(), 0u);
  EXPECT_TRUE(NSData::dataWithBytes(nullptr, 4).isNil());
  EXPECT_TRUE(NSData::dataWithBytesNoCopy(nullptr, 4).isNil());
}

TEST(PlatformData, NoCopyTakesOverTheArea) {
  // LeakSanitizer (asan build) checks that the area is freed exactly once.
  auto* area = static_cast<uint8_t*>(std::malloc(8));
  ASSERT_NE(area, nullptr);
  std::memcpy(area, "abcdefgh", 8);
  NSData copy;
  {
    const NSData d = NSData::dataWithBytesNoCopy(area, 5);
    EXPECT_EQ(d.bytes(), area);
    EXPECT_EQ(d.length(), 5u);
    copy = d;
  }
  EXPECT_EQ(text_of(copy), "abcde");  // still alive through `copy`
}

TEST(PlatformData, NoCopyLendsTheAreaWithoutFreeWhenDone) {
  // Under ASan a free of this stack array would be reported.
  uint8_t lent[4] = {'w', 'x', 'y', 'z'};
  {
    const NSData d = NSData::dataWithBytesNoCopy(lent, 3, false);
    EXPECT_EQ(d.bytes(), lent);
    EXPECT_EQ(text_of(d), "wxy");
  }
  EXPECT_EQ(lent[0], 'w');
  EXPECT_TRUE(NSData::dataWithBytesNoCopy(nullptr, 4, false).isNil());
}

TEST(PlatformData, NoCopyRaisesNSMallocExceptionWhenTheObjectCannotBeMade) {
  // A handed-over area is freed at once, exactly once; a lent one is left
  // alone (LeakSanitizer and AddressSanitizer in the asan build). The failure
  // is the platform's malloc exception, never an object.
  uint8_t lent[8] = {};
  for (const bool freeWhenDone : {true, false}) {
    void* area = freeWhenDone ? std::malloc(8) : lent;
    ASSERT_NE(area, nullptr);
    bool named = false;  // compared in place: naming it in a string would allocate
    g_refuse_allocation = true;
    try {
      NSData::dataWithBytesNoCopy(area, 8, freeWhenDone);
    } catch (const NSExceptionError& e) {
      named = e.name() == "NSMallocException";
    } catch (...) {
    }
    g_refuse_allocation = false;
    EXPECT_TRUE(named) << "freeWhenDone " << freeWhenDone;
  }
}

// Every object the platform makes raises its malloc exception when memory
// runs out, whichever allocation fails: a caller catching NSExceptionError
// sees them all.
TEST(PlatformObjects, RaiseNSMallocExceptionWhenMemoryRunsOut) {
  struct Refused {
    Refused() { g_refuse_allocation = true; }
    ~Refused() { g_refuse_allocation = false; }
    Refused(const Refused&) = delete;
    Refused& operator=(const Refused&) = delete;
  };
  const NSData text = NSData::dataWithBytes("a text past the short-string length", 35);
  const NSString string = NSString::stringWithUTF8String("text");
  const struct {
    const char* name;
    std::function<void()> make;
  } cases[] = {
      {"NSMutableData data", [] { (void)NSMutableData::data(); }},
      {"dataWithBytes", [] { (void)NSData::dataWithBytes("abc", 3); }},
      {"stringWithUTF8String",
       [] { (void)NSString::stringWithUTF8String("a text past the short-string length"); }},
      {"initWithData", [&] { (void)NSString::alloc().initWithData(text, NSUTF8StringEncoding); }},
      {"dataUsingEncoding", [&] { (void)string.dataUsingEncoding(NSASCIIStringEncoding); }},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(raised_name([&] {
                const Refused refused;
                c.make();
              }),
              "NSMallocException")
        << c.name;
  }
}

TEST(PlatformData, MutableDataStartsEmptyAndZeroFillsGrowth) {
  NSMutableData m = NSMutableData::data();
  EXPECT_FALSE(m.isNil());
  EXPECT_EQ(m.length(), 0u);
  m.setLength(6);
  EXPECT_EQ(bytes_of(m), Bytes(6, 0));
  std::memset(m.mutableBytes(), 0xAB, 6);
  m.setLength(2);  // shrinking keeps the leading bytes
  EXPECT_EQ(bytes_of(m), (Bytes{0xAB, 0xAB}));
  m.setLength(5);  // bytes beyond the old length read zero again
  EXPECT_EQ(bytes_of(m), (Bytes{0xAB, 0xAB, 0, 0, 0}));
  const NSData asData = m;  // a mutable object is also a data object
  EXPECT_EQ(asData.bytes(), m.mutableBytes());
}

// The name carried by the runtime's throw of the malloc exception while this
// program's statics are built (the name object may not exist yet) or
// destroyed (it may be gone already). This unit's statics are built before
// the libraries' and its exit handler, registered then, runs after theirs are
// destroyed.
std::string malloc_exception_name() {
  return raised_name([] { objc_exception_throw(objc_retainAutorelease(NSMallocException)); });
}

const std::string kNameRaisedAtStartup = [] {
  std::atexit([] {
    if (malloc_exception_name() != "NSMallocException") {
      std::fputs("the malloc exception raised at exit lost its name\n", stderr);
      std::_Exit(1);
    }
  });
  return malloc_exception_name();
}();

TEST(PlatformRuntime, MallocExceptionNamedWhileStaticsAreBuiltOrDestroyed) {
  EXPECT_EQ(kNameRaisedAtStartup, "NSMallocException");
}

// Raising the malloc exception allocates nothing: it is what runs when memory
// has run out, and must not turn into a plain std::bad_alloc.
TEST(PlatformRuntime, MallocExceptionRaisedWithoutAllocating) {
  bool named = false;
  bool other = false;
  g_refuse_allocation = true;
  try {
    objc_exception_throw(objc_retainAutorelease(NSMallocException));
  } catch (const NSExceptionError& e) {
    named = e.name() == "NSMallocException" && std::strcmp(e.what(), "NSMallocException") == 0;
  } catch (...) {
    other = true;
  }
  g_refuse_allocation = false;
  EXPECT_TRUE(named);
  EXPECT_FALSE(other);
}

// A copy or a move keeps the name after the exception it came from is gone,
// and so does the source of a move (names past the short-string length).
TEST(PlatformRuntime, CopiesAndMovesKeepTheName) {
  constexpr std::string_view kName = "AnExceptionNameLongerThanAShortString";
  std::optional<NSExceptionError> source(std::in_place, kName);
  std::optional<NSExceptionError> moved(std::in_place, std::move(*source));
  const NSExceptionError copied = *moved;
  moved.reset();
  EXPECT_EQ(source->name(), kName);
  EXPECT_EQ(copied.name(), kName);
  EXPECT_STREQ(copied.what(), kName.data());
}

// Any other name object is raised under its own name; nil under an empty one.
TEST(PlatformRuntime, OtherExceptionsCarryTheirOwnName) {
  EXPECT_EQ(raised_name([] { objc_exception_throw(NSString::stringWithUTF8String("Other")); }),
            "Other");
  EXPECT_EQ(raised_name([] { objc_exception_throw(NSString()); }), "");
}

// The data objects raise allocation failure as the buffer does, and leave a
// mutable object as it was.
TEST(PlatformData, AllocationFailureRaisesNSMallocException) {
  constexpr NSUInteger kImpossible = UINT64_MAX / 2;
  const uint8_t byte = 7;
  NSMutableData m = NSMutableData::data();
  m.setLength(3);
  const std::function<void()> raising[] = {
      [&] { NSData::dataWithBytes(&byte, kImpossible); },
      [&] { NSData::alloc().initWithBytes(&byte, kImpossible); },
      [&] { m.setLength(kImpossible); },
  };
  for (const auto& f : raising) EXPECT_EQ(raised_name(f), "NSMallocException");
  EXPECT_EQ(bytes_of(m), Bytes(3, 0));
}

TEST(PlatformString, LengthCountsUtf16Units) {
  const struct {
    const char* utf8;
    NSUInteger units;
  } cases[] = {
      {"", 0},
      {"abc", 3},
      {"\xC3\xA9", 1},          // U+00E9, two bytes
      {"\xE2\x82\xAC", 1},      // U+20AC, three bytes
      {"\xF0\x9F\x98\x80", 2},  // U+1F600, a surrogate pair
      {"a\xF0\x9F\x98\x80\xC3\xA9", 4},
  };
  for (const auto& c : cases) {
    const NSString s = ns(c.utf8);
    ASSERT_FALSE(s.isNil()) << c.utf8;
    EXPECT_EQ(s.length(), c.units) << c.utf8;
    EXPECT_STREQ(s.UTF8String(), c.utf8);
  }
  for (const char* bad :
       {"\x80", "\xC3", "\xC3\x41", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
    EXPECT_TRUE(ns(bad).isNil()) << "malformed UTF-8 " << bad;
    const Bytes raw(bad, bad + std::strlen(bad));
    EXPECT_TRUE(NSString::alloc().initWithData(data_of(raw), NSUTF8StringEncoding).isNil()) << bad;
  }
}

TEST(PlatformString, UnsupportedEncodingsAndMissingAreasAreRefused) {
  const NSString text = ns("abc");
  char area[8] = {};
  EXPECT_FALSE(text.getCString(nullptr, sizeof area, NSUTF8StringEncoding));
  for (NSStringEncoding encoding :
       {NSStringEncoding{0}, NSStringEncoding{2}, NSStringEncoding{10}}) {
    EXPECT_FALSE(text.getCString(area, sizeof area, encoding)) << encoding;
    EXPECT_TRUE(text.dataUsingEncoding(encoding).isNil()) << encoding;
    EXPECT_TRUE(NSString::alloc().initWithData(data_of(Bytes{'a'}), encoding).isNil()) << encoding;
  }
  EXPECT_TRUE(NSData::dataWithBytes(nullptr, 3).isNil());
}

TEST(PlatformString, GetCStringWritesOnlyWhenTextAndZeroFit) {
  char area[34];
  std::memset(area, 'x', sizeof area);
  EXPECT_TRUE(ns(std::string(32, 'k')).getCString(area, 33, NSUTF8StringEncoding));
  EXPECT_EQ(std::string(area), std::string(32, 'k'));

  std::memset(area, 'x', sizeof area);
  EXPECT_FALSE(ns(std::string(33, 'k')).getCString(area, 33, NSUTF8StringEncoding));
  EXPECT_EQ(area[0], 'x');

  // Eleven three-byte characters: 11 UTF-16 units but 33 UTF-8 bytes.
  std::string euros;
  for (int i = 0; i < 11; ++i) euros += "\xE2\x82\xAC";
  const NSString wide = ns(euros);
  EXPECT_EQ(wide.length(), 11u);
  EXPECT_FALSE(wide.getCString(area, 33, NSUTF8StringEncoding));
  EXPECT_TRUE(wide.getCString(area, 34, NSUTF8StringEncoding));
  EXPECT_EQ(std::string(area), euros);
}

TEST(PlatformString, AsciiConversionsRefuseOtherCharacters) {
  const NSData bytes = ns("TWFu").dataUsingEncoding(NSASCIIStringEncoding);
  EXPECT_EQ(text_of(bytes), "TWFu");
  EXPECT_TRUE(ns("caf\xC3\xA9").dataUsingEncoding(NSASCIIStringEncoding).isNil());
  char area[8];
  EXPECT_FALSE(ns("\xC3\xA9").getCString(area, 8, NSASCIIStringEncoding));

  const NSData high = data_of(Bytes{'a', 0x80});
  EXPECT_TRUE(NSString::alloc().initWithData(high, NSASCIIStringEncoding).isNil());
  const NSString back = NSString::alloc().initWithData(bytes, NSASCIIStringEncoding);
  EXPECT_STREQ(back.UTF8String(), "TWFu");
  EXPECT_EQ(back.length(), 4u);

  const NSString empty = NSString::alloc().initWithData(data_of(Bytes{}), NSASCIIStringEncoding);
  EXPECT_FALSE(empty.isNil());
  EXPECT_EQ(empty.length(), 0u);
  EXPECT_FALSE(empty.dataUsingEncoding(NSASCIIStringEncoding).isNil());
}

// ---------------------------------------------------------------------------
// CCCrypt

struct CryptResult {
  CCCryptorStatus status;
  Bytes out;
};

CryptResult cc(CCOperation op, CCOptions options, const Bytes& key, const uint8_t* iv,
               const Bytes& in, size_t available) {
  Bytes area(available + 1, 0xEE);  // one guard byte past the available room
  size_t moved = 12345;
  const CCCryptorStatus status = CCCrypt(op, kCCAlgorithmAES128, options, key.data(), key.size(),
                                         iv, in.data(), in.size(), area.data(), available, &moved);
  EXPECT_EQ(area[available], 0xEE) << "wrote past dataOutAvailable";
  if (status != kCCSuccess) return {status, {}};
  EXPECT_LE(moved, available);
  area.resize(moved);
  return {status, area};
}

TEST(PlatformCCCrypt, MatchesOpenSslForEveryKeySizeModeAndPadding) {
  std::mt19937 rng(0x6CC0);
  for (size_t keySize : {kCCKeySizeAES128, kCCKeySizeAES192, kCCKeySizeAES256}) {
    for (CCOptions options :
         {CCOptions{kCCOptionPKCS7Padding}, CCOptions{0}, CCOptions{kCCOptionECBMode},
          CCOptions{kCCOptionECBMode | kCCOptionPKCS7Padding}}) {
      const bool padding = (options & kCCOptionPKCS7Padding) != 0;
      const bool ecb = (options & kCCOptionECBMode) != 0;
      for (size_t n = 0; n <= 80; ++n) {
        if (!padding && n % 16 != 0) continue;
        const Bytes key = random_bytes(rng, keySize);
        const Bytes plain = random_bytes(rng, n);
        const Bytes iv = n % 2 == 0 ? random_bytes(rng, 16) : Bytes(16, 0);
        const uint8_t* ivPtr = n % 2 == 0 ? iv.data() : nullptr;  // null means a zero IV
        Bytes padded = plain;                                     // PKCS#7 by hand for ECB
        const auto pad = static_cast<uint8_t>(16 - n % 16);
        if (ecb && padding) padded.insert(padded.end(), pad, pad);
        const Bytes expected = ecb ? openssl_aes_ecb(key, padded, true)
                                   : openssl_aes_cbc(key, iv, plain, true, padding);

        const CryptResult enc = cc(kCCEncrypt, options, key, ivPtr, plain, n + 16);
        ASSERT_EQ(enc.status, kCCSuccess) << keySize << " " << options << " " << n;
        EXPECT_EQ(enc.out, expected) << keySize << " " << options << " " << n;
        const CryptResult dec = cc(kCCDecrypt, options, key, ivPtr, enc.out, enc.out.size());
        ASSERT_EQ(dec.status, kCCSuccess);
        EXPECT_EQ(dec.out, plain);
      }
    }
  }
}

TEST(PlatformCCCrypt, NistSp80038aCbcAes128) {
  // NIST SP 800-38A F.2.1 / F.2.2, all four blocks.
  const auto& v = norvek_test::sp800_38a_cbc_aes128();
  const Bytes &key = v.key, &iv = v.iv, &plain = v.plain, &cipher = v.cipher;
  EXPECT_EQ(cc(kCCEncrypt, 0, key, iv.data(), plain, 64).out, cipher);
  EXPECT_EQ(cc(kCCDecrypt, 0, key, iv.data(), cipher, 64).out, plain);
}

TEST(PlatformCCCrypt, WycheproofAesCbcPkcs5) {
  const auto cases = load_wycheproof(NORVEK_TEST_DATA_DIR "/wycheproof/aes_cbc_pkcs5_test.json");
  ASSERT_FALSE(cases.empty());
  for (const auto& c : cases) {
    const Bytes key = from_hex(c.at("key"));
    const Bytes iv = from_hex(c.at("iv"));
    const Bytes msg = from_hex(c.at("msg"));
    const Bytes ct = from_hex(c.at("ct"));
    const int id = c.number("tcId");
    const CryptResult dec = cc(kCCDecrypt, kCCOptionPKCS7Padding, key, iv.data(), ct, ct.size());
    if (c.at("result") == "valid") {
      EXPECT_EQ(dec.status, kCCSuccess) << "tcId " << id;
      EXPECT_EQ(dec.out, msg) << "tcId " << id;
      EXPECT_EQ(cc(kCCEncrypt, kCCOptionPKCS7Padding, key, iv.data(), msg, msg.size() + 16).out, ct)
          << "tcId " << id;
    } else {
      EXPECT_NE(dec.status, kCCSuccess) << "tcId " << id;
    }
  }
}

TEST(PlatformCCCrypt, BadParametersAreRefused) {
  const Bytes data(16, 0x42);
  uint8_t out[64];
  size_t moved = 99;
  for (size_t keySize : {0u, 1u, 15u, 17u, 23u, 25u, 31u, 33u, 64u}) {
    const Bytes key(keySize + 1, 0x11);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, key.data(), keySize,
                      nullptr, data.data(), data.size(), out, sizeof out, &moved),
              kCCParamError)
        << keySize;
    EXPECT_EQ(moved, 0u);
  }
  const Bytes key(16, 0x11);
  const struct {
    CCOperation op;
    CCAlgorithm alg;
    CCOptions options;
    const void* key;
    const void* in;
    size_t n;
    void* out;
  } cases[] = {
      {2, kCCAlgorithmAES128, 0, key.data(), data.data(), 16, out},           // no such operation
      {kCCEncrypt, 1, 0, key.data(), data.data(), 16, out},                   // no such algorithm
      {kCCEncrypt, kCCAlgorithmAES128, 4, key.data(), data.data(), 16, out},  // no such option
      {kCCEncrypt, kCCAlgorithmAES128, 0, nullptr, data.data(), 16, out},
      {kCCEncrypt, kCCAlgorithmAES128, 0, key.data(), nullptr, 16, out},
      {kCCEncrypt, kCCAlgorithmAES128, 0, key.data(), data.data(), 16, nullptr},
      // A padded size that would wrap.
      {kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, key.data(), data.data(), SIZE_MAX,
       out},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CCCrypt(c.op, c.alg, c.options, c.key, 16, nullptr, c.in, c.n, c.out, 64, &moved),
              kCCParamError);
  }
  // A null output count is allowed.
  EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, key.data(), 16, nullptr,
                    data.data(), 16, out, sizeof out, nullptr),
            kCCSuccess);
}

TEST(PlatformCCCrypt, RaggedInputIsAnAlignmentError) {
  const Bytes key(16, 0x11);
  for (size_t n : {1u, 15u, 17u, 31u, 33u}) {
    const Bytes in(n, 0x42);
    EXPECT_EQ(cc(kCCDecrypt, kCCOptionPKCS7Padding, key, nullptr, in, 64).status, kCCAlignmentError)
        << n;
    EXPECT_EQ(cc(kCCDecrypt, 0, key, nullptr, in, 64).status, kCCAlignmentError) << n;
    EXPECT_EQ(cc(kCCEncrypt, 0, key, nullptr, in, 64).status, kCCAlignmentError) << n;
  }
}

TEST(PlatformCCCrypt, BadPaddingIsADecodeErrorAndLeavesNoPlaintext) {
  const Bytes key(32, 0x22);
  // Last plaintext bytes that are not a PKCS#7 pad: 00, 11, and 02 preceded by 03.
  Bytes ends[] = {Bytes(32, 0x00), Bytes(32, 0x11), Bytes(32, 0x41)};
  ends[2][30] = 0x03;
  ends[2][31] = 0x02;
  for (const Bytes& plain : ends) {
    const Bytes raw = openssl_aes_cbc(key, Bytes(16, 0), plain, true);
    Bytes area(32, 0xEE);
    size_t moved = 7;
    EXPECT_EQ(CCCrypt(kCCDecrypt, kCCAlgorithmAES128, kCCOptionPKCS7Padding, key.data(), 32,
                      nullptr, raw.data(), 32, area.data(), area.size(), &moved),
              kCCDecodeError);
    EXPECT_EQ(moved, 0u);
    for (uint8_t b : area) EXPECT_TRUE(b == 0 || b == 0xEE);
  }
  // A padded ciphertext of no blocks has no pad at all.
  EXPECT_EQ(cc(kCCDecrypt, kCCOptionPKCS7Padding, key, nullptr, {}, 16).status, kCCDecodeError);
}

TEST(PlatformCCCrypt, TooSmallOutputIsRefusedUntouched) {
  const Bytes key(16, 0x33);
  const struct {
    CCOperation op;
    CCOptions options;
    size_t n;
    size_t needed;
  } cases[] = {
      {kCCEncrypt, kCCOptionPKCS7Padding, 0, 16},
      {kCCEncrypt, kCCOptionPKCS7Padding, 15, 16},
      {kCCEncrypt, kCCOptionPKCS7Padding, 16, 32},
      {kCCEncrypt, kCCOptionPKCS7Padding, 33, 48},
      {kCCEncrypt, 0, 32, 32},
      {kCCDecrypt, kCCOptionPKCS7Padding, 32, 32},
      {kCCDecrypt, 0, 48, 48},
  };
  for (const auto& c : cases) {
    const Bytes in(c.n, 0x10);  // only the size matters here
    Bytes area(c.needed, 0xEE);
    size_t moved = 0;
    EXPECT_EQ(CCCrypt(c.op, kCCAlgorithmAES128, c.options, key.data(), 16, nullptr, in.data(), c.n,
                      area.data(), c.needed - 1, &moved),
              kCCBufferTooSmall)
        << c.n;
    EXPECT_EQ(moved, c.needed) << c.n;
    EXPECT_EQ(area, Bytes(c.needed, 0xEE)) << c.n;
  }
  // Exactly the size needed is enough.
  EXPECT_EQ(cc(kCCEncrypt, kCCOptionPKCS7Padding, key, nullptr, Bytes(16, 1), 32).status,
            kCCSuccess);
}

}  // namespace
