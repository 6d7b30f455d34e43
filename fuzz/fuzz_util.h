// Small helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzz_util {

// A violated property stops the fuzzer with a crash it records.
inline void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Filler for the bytes past an output area; a stray write changes it.
constexpr uint8_t kGuard = 0xA5;

inline bool guarded(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != kGuard) return false;
  }
  return true;
}

// memcmp that accepts a zero length with any pointers.
inline bool same(const void* a, const void* b, size_t n) {
  return n == 0 || std::memcmp(a, b, n) == 0;
}

// A hexadecimal digit's value in either case, -1 for any other character.
inline int hex_digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a fuzz input front to back; past its end it gives zeros and empty spans.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), n_(size) {}
  uint8_t byte() {
    if (n_ == 0) return 0;
    --n_;
    return *p_++;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
    return v;
  }
  // The next min(n, left) bytes; `got` receives their number.
  const uint8_t* take(size_t n, size_t& got) {
    got = n < n_ ? n : n_;
    const uint8_t* start = p_;
    p_ += got;
    n_ -= got;
    return start;
  }
  const uint8_t* rest(size_t& got) { return take(n_, got); }

 private:
  const uint8_t* p_;
  size_t n_;
};

}  // namespace fuzz_util
