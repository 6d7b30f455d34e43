// Stand-in for the platform's secure random source, over the kernel's
// getrandom(2).
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The platform's own spelling of the opaque type, reserved name included.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
typedef const struct __SecRandom* SecRandomRef;
extern const SecRandomRef kSecRandomDefault;  // null, as on the platform

// Fills `count` bytes at `bytes`; 0 on success, a non-zero status (errSecIO-like,
// -36) on failure. Retries on interruption and short reads.
int SecRandomCopyBytes(SecRandomRef rnd, size_t count, void* bytes);

// Test hook: while `status` is non-zero, SecRandomCopyBytes fails with it and
// writes nothing. Pass 0 to restore normal operation.
void norvek_platform_force_random_failure(int status);
}
