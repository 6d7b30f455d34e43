// The string object's UTF-8 handling and getCString, with glibc's iconv as
// the UTF-8 oracle. Input: an encoding selector, a getCString capacity, then
// the text bytes. Properties: a string is made exactly from valid UTF-8 (the
// C-string form up to the first zero byte, the data form in full), its
// length counts UTF-16 units, its bytes come back unchanged; the ASCII forms
// exist exactly when no byte is 0x80 or above; getCString writes the bytes
// and a zero when both fit in the capacity and nothing otherwise.
#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "norvek_platform/foundation.h"

using fuzz_util::check;

namespace {

// Whether `bytes` is valid UTF-8, and its length in UTF-16 units.
bool utf16_units(const uint8_t* bytes, size_t n, size_t& units) {
  static iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::vector<char> out(2 * n + 4);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  size_t inLeft = n;
  char* to = out.data();
  size_t outLeft = out.size();
  const bool ok = iconv(cd, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  units = (out.size() - outLeft) / 2;
  return ok;
}

bool ascii(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (bytes[i] >= 0x80) return false;
  }
  return true;
}

bool same_bytes(const NSData& d, const uint8_t* bytes, size_t n) {
  return !d.isNil() && d.length() == n && fuzz_util::same(d.bytes(), bytes, n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_util::Reader in(data, size);
  const uint8_t selector = in.byte();
  const NSStringEncoding encoding = selector % 3 == 0   ? NSASCIIStringEncoding
                                    : selector % 3 == 1 ? NSUTF8StringEncoding
                                                        : selector;  // mostly unsupported
  const size_t capacity = in.byte();
  size_t n = 0;
  const uint8_t* bytes = in.rest(n);
  size_t units = 0;
  const bool valid = utf16_units(bytes, n, units);
  const bool isAscii = ascii(bytes, n);

  const NSData asData = NSData::dataWithBytes(bytes, n);
  const NSString text = NSString::alloc().initWithData(asData, NSUTF8StringEncoding);
  check(text.isNil() != valid);
  check(NSString::alloc().initWithData(asData, NSASCIIStringEncoding).isNil() != isAscii);

  const std::string zeroEnded(reinterpret_cast<const char*>(bytes), n);
  const size_t cLength = std::strlen(zeroEnded.c_str());
  size_t cUnits = 0;
  const bool cValid = utf16_units(bytes, cLength, cUnits);
  const NSString fromC = NSString::stringWithUTF8String(zeroEnded.c_str());
  check(fromC.isNil() != cValid);
  if (cValid) {
    check(fromC.length() == cUnits && std::strcmp(fromC.UTF8String(), zeroEnded.c_str()) == 0);
  }
  if (!valid) return 0;

  check(text.length() == units);
  check(same_bytes(text.dataUsingEncoding(NSUTF8StringEncoding), bytes, n));
  const NSData asciiData = text.dataUsingEncoding(NSASCIIStringEncoding);
  check(isAscii ? same_bytes(asciiData, bytes, n) : asciiData.isNil());

  std::vector<char> area(capacity + 8, static_cast<char>(fuzz_util::kGuard));
  const bool supported =
      encoding == NSUTF8StringEncoding || (encoding == NSASCIIStringEncoding && isAscii);
  const bool fits = n + 1 <= capacity;
  const BOOL wrote = text.getCString(area.data(), capacity, encoding);
  const auto* raw = reinterpret_cast<const uint8_t*>(area.data());
  if (supported && fits) {
    check(wrote && fuzz_util::same(raw, bytes, n) && raw[n] == 0);
    check(fuzz_util::guarded(raw + n + 1, area.size() - n - 1));
  } else {
    check(!wrote && fuzz_util::guarded(raw, area.size()));
  }
  return 0;
}
