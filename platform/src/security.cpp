// Secure random source over the kernel's getrandom(2), which blocks only
// until the kernel pool is first initialised and then never fails for lack
// of entropy.
#include "norvek_platform/security.h"

#include <sys/random.h>

#include <atomic>
#include <cerrno>

namespace {

constexpr int kErrSecIO = -36;
constexpr int kErrSecParam = -50;

// Non-zero while a test forces failures.
std::atomic<int> g_forced_failure{0};

}  // namespace

extern "C" {

const SecRandomRef kSecRandomDefault = nullptr;

int SecRandomCopyBytes(SecRandomRef /*rnd*/, size_t count, void* bytes) {
  const int forced = g_forced_failure.load(std::memory_order_relaxed);
  if (forced != 0) return forced;
  if (count == 0) return 0;
  if (bytes == nullptr) return kErrSecParam;

  unsigned char* out = static_cast<unsigned char*>(bytes);
  size_t left = count;
  while (left > 0) {
    const ssize_t got = getrandom(out, left, 0);
    // GCOVR_EXCL_START: the kernel's random source does not fail or get interrupted in tests
    if (got < 0) {
      if (errno == EINTR) continue;
      return kErrSecIO;
    }
    // GCOVR_EXCL_STOP
    // Large requests may be served in pieces.
    out += got;
    left -= static_cast<size_t>(got);
  }
  return 0;
}

void norvek_platform_force_random_failure(int status) {
  g_forced_failure.store(status, std::memory_order_relaxed);
}

}  // extern "C"
