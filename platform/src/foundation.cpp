#include "norvek_platform/foundation.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <openssl/crypto.h>

#include "norvek_platform/objc_runtime.h"

// ---------------------------------------------------------------------------
// NSData / NSMutableData: one store for both, an area from malloc() that the
// store frees.

struct NSData::Store {
  uint8_t* bytes = nullptr;
  NSUInteger length = 0;
  bool owned = true;  // false: the caller's memory, lent

  Store() = default;
  Store(uint8_t* area, NSUInteger n, bool adopted) noexcept
      : bytes(area), length(n), owned(adopted) {}
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
  ~Store() {
    if (owned) std::free(bytes);
  }
};

namespace {

// Allocation failure raises the platform's malloc exception, as the buffer does.
[[noreturn]] void raise_malloc_exception() {
  objc_exception_throw(objc_retainAutorelease(NSMallocException));
}

// Builds an object's store; running out of memory on the way raises the
// platform's malloc exception, never a plain std::bad_alloc.
template <class Make>
auto or_malloc_exception(Make make) -> decltype(make()) {
  try {
    return make();
  } catch (const std::bad_alloc&) {
    raise_malloc_exception();
  }
}

uint8_t* malloc_or_throw(NSUInteger n) {
  // malloc(0) may answer null; ask for one byte so an empty store still works.
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) raise_malloc_exception();
  return static_cast<uint8_t*>(p);
}

}  // namespace

NSData::NSData(std::shared_ptr<Store> store) noexcept : NSObject(std::move(store)) {}

NSUInteger NSData::length() const noexcept { return m_object ? store()->length : 0; }

const void* NSData::bytes() const noexcept { return m_object ? store()->bytes : nullptr; }

NSData NSData::initWithBytes(const void* bytes, NSUInteger length) const {
  return dataWithBytes(bytes, length);
}

NSData NSData::dataWithBytes(const void* bytes, NSUInteger length) {
  // No bytes to copy from: the platform would fault; answer nil instead.
  if (bytes == nullptr && length != 0) return NSData();
  uint8_t* copy = malloc_or_throw(length);
  if (length != 0) std::memcpy(copy, bytes, length);
  return dataWithBytesNoCopy(copy, length);
}

NSData NSData::dataWithBytesNoCopy(void* bytes, NSUInteger length) {
  return dataWithBytesNoCopy(bytes, length, true);
}

NSData NSData::dataWithBytesNoCopy(void* bytes, NSUInteger length, BOOL freeWhenDone) {
  if (bytes == nullptr && length != 0) return NSData();
  std::shared_ptr<Store> store;
  try {
    store = std::make_shared<Store>(static_cast<uint8_t*>(bytes), length, freeWhenDone);
    // GCOVR_EXCL_START: needs the control block's allocation to fail
  } catch (const std::bad_alloc&) {
    // An area handed over is not leaked, nor left holding what the caller
    // made in it (a deciphered result, say); the failure is the platform's own.
    if (freeWhenDone) {
      OPENSSL_cleanse(bytes, length);
      std::free(bytes);
    }
    raise_malloc_exception();
  }  // GCOVR_EXCL_STOP
  return NSData(std::move(store));
}

NSMutableData NSMutableData::data() {
  // No area yet: the first setLength allocates it, already zero-filled.
  return NSMutableData(or_malloc_exception([] { return std::make_shared<Store>(); }));
}

void NSMutableData::setLength(NSUInteger length) {
  if (!m_object) return;
  Store* s = store();
  if (length > s->length) {
    // realloc of a null area (a new object's first growth) is a malloc.
    void* grown = std::realloc(s->bytes, length);
    if (grown == nullptr) raise_malloc_exception();
    s->bytes = static_cast<uint8_t*>(grown);
    std::memset(s->bytes + s->length, 0, length - s->length);
  }
  s->length = length;
}

void* NSMutableData::mutableBytes() const noexcept { return m_object ? store()->bytes : nullptr; }

// ---------------------------------------------------------------------------
// NSString: UTF-8 text with its UTF-16 length.

struct NSString::Store {
  std::string utf8;
  NSUInteger utf16_length = 0;
};

namespace {

// Counts UTF-16 units of well-formed UTF-8; -1 when it is not well formed.
long long utf16_units(const uint8_t* s, size_t n) {
  long long units = 0;
  size_t i = 0;
  while (i < n) {
    const uint8_t c = s[i];
    size_t extra;
    uint32_t cp;
    if (c < 0x80) {
      extra = 0;
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else
      return -1;
    if (n - i <= extra) return -1;
    for (size_t k = 1; k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return -1;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    static constexpr uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    units += cp >= 0x10000 ? 2 : 1;
    i += extra + 1;
  }
  return units;
}

bool is_ascii(const uint8_t* s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (s[i] >= 0x80) return false;
  }
  return true;
}

}  // namespace

NSString::NSString(std::shared_ptr<Store> store) noexcept : NSObject(std::move(store)) {}

NSString NSString::stringWithUTF8String(const char* utf8) {
  if (utf8 == nullptr) return NSString();
  const size_t n = std::strlen(utf8);
  const long long units = utf16_units(reinterpret_cast<const uint8_t*>(utf8), n);
  if (units < 0) return NSString();
  auto store = or_malloc_exception([&] {
    auto made = std::make_shared<Store>();
    made->utf8.assign(utf8, n);
    return made;
  });
  store->utf16_length = static_cast<NSUInteger>(units);
  return NSString(std::move(store));
}

const char* NSString::UTF8String() const noexcept {
  return m_object ? store()->utf8.c_str() : nullptr;
}

NSUInteger NSString::length() const noexcept { return m_object ? store()->utf16_length : 0; }

BOOL NSString::getCString(char* buffer, NSUInteger maxLength,
                          NSStringEncoding encoding) const noexcept {
  if (!m_object || buffer == nullptr) return false;
  const std::string& text = store()->utf8;
  if (encoding == NSASCIIStringEncoding &&
      !is_ascii(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
    return false;
  }
  if (encoding != NSASCIIStringEncoding && encoding != NSUTF8StringEncoding) return false;
  if (text.size() + 1 > maxLength) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

NSData NSString::dataUsingEncoding(NSStringEncoding encoding) const {
  if (!m_object) return NSData();
  const std::string& text = store()->utf8;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  if (encoding == NSASCIIStringEncoding && !is_ascii(bytes, text.size())) return NSData();
  if (encoding != NSASCIIStringEncoding && encoding != NSUTF8StringEncoding) return NSData();
  return NSData::dataWithBytes(bytes, text.size());
}

NSString NSString::initWithData(const NSData& data, NSStringEncoding encoding) const {
  if (data.isNil()) return NSString();
  const auto* bytes = static_cast<const uint8_t*>(data.bytes());
  const size_t n = data.length();
  long long units;
  if (encoding == NSASCIIStringEncoding) {
    if (!is_ascii(bytes, n)) return NSString();
    units = static_cast<long long>(n);
  } else if (encoding == NSUTF8StringEncoding) {
    units = utf16_units(bytes, n);
    if (units < 0) return NSString();
  } else {
    return NSString();
  }
  auto store = or_malloc_exception([&] {
    auto made = std::make_shared<Store>();
    if (n != 0) made->utf8.assign(reinterpret_cast<const char*>(bytes), n);
    return made;
  });
  store->utf16_length = static_cast<NSUInteger>(units);
  return NSString(std::move(store));
}
