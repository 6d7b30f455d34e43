// Buffer storage is wiped before it is given back: this program replaces the
// array allocation functions (the buffer allocates with new[]) so that it can
// look at every area as it is freed. What stays on the stack (key records)
// or goes back through free() is not observable this way.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <random>

#include "norvek/crypto_helper.h"
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

}  // namespace
