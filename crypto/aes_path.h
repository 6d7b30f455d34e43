// Internal, for tests, benchmarks and fuzz targets: which AES implementation
// the library runs, and a switch to force one. Not installed, not part of the
// library's interface.
//
// The library picks once, on first use, the fastest path the CPU offers:
// vaes, else aesni on x86-64; armv8 on arm64 with the crypto extensions;
// table everywhere else.
#pragma once

// Hidden, so the partial link makes them local to the delivered object.
#ifndef NORVEK_TEST_HOOK
#define NORVEK_TEST_HOOK __attribute__((visibility("hidden")))
#endif

enum class NorvekAesPath : int {
  automatic = -1,  // the library's own run-time choice
  table = 0,       // 32-bit lookup tables, portable, not constant-time
  aesni = 1,       // x86-64 AES-NI, one 128-bit block per instruction
  vaes = 2,        // aesni, with CBC decryption on 256-bit VAES registers
  armv8 = 3,       // arm64 AESE/AESD/AESMC/AESIMC
};

// Whether this CPU (and this build) can run `path`; automatic and table
// always can.
NORVEK_TEST_HOOK bool norvek_aes_path_available(NorvekAesPath path) noexcept;

// Makes every AES operation in the process use `path` (automatic restores
// the library's choice). Refuses a path the CPU lacks: answers false and
// changes nothing. Records set up by any path work with every path.
NORVEK_TEST_HOOK bool norvek_aes_force_path(NorvekAesPath path) noexcept;

// The path AES operations run now (never automatic).
NORVEK_TEST_HOOK NorvekAesPath norvek_aes_current_path() noexcept;
