// Internal, for tests and benchmarks only: which SHA-1 compression runs, and
// a switch to force one. Not installed; the library itself never calls the
// switch, it picks the fastest path the CPU has on first use.
#pragma once

// Hidden, so the partial link makes them local to the delivered object.
#ifndef NORVEK_TEST_HOOK
#define NORVEK_TEST_HOOK __attribute__((visibility("hidden")))
#endif

#include <cstdint>

namespace norvek_internal {

enum class Sha1Path : uint8_t {
  automatic,  // the run-time choice: the first of shani/armv8 the CPU has, else portable
  portable,   // plain C++, every CPU
  shani,      // x86-64 SHA extensions
  armv8,      // arm64 crypto extensions
};

// Whether this CPU (and build) can run `path`; automatic always can.
NORVEK_TEST_HOOK bool sha1_path_available(Sha1Path path) noexcept;
// Makes every later SHA-1 call use `path` (automatic: back to the run-time
// choice). Refuses, changing nothing, when the path is not available. Not
// meant to race with hashing on other threads.
NORVEK_TEST_HOOK bool sha1_force_path(Sha1Path path) noexcept;
// The path in use now (never automatic).
NORVEK_TEST_HOOK Sha1Path sha1_current_path() noexcept;

}  // namespace norvek_internal
