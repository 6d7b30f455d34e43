// Internal: which instruction-set extensions this CPU offers. The units that
// have hardware paths call norvek_detect_cpu_features() once and cache their
// own choice; nothing here reads the environment or files.
#pragma once

#include <cstdint>

#if defined(__x86_64__)
#include <cpuid.h>
#elif defined(__aarch64__) && defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

namespace {

struct NorvekCpuFeatures {
  bool aesni = false;       // x86-64: AES-NI, with the SSSE3 and SSE4.1 shuffles
  bool vaes = false;        // x86-64: VAES on 256-bit registers, AVX2, OS saves YMM
  bool shani = false;       // x86-64: SHA extensions, with SSSE3 and SSE4.1
  bool armv8_aes = false;   // arm64: AESE/AESD/AESMC/AESIMC
  bool armv8_sha1 = false;  // arm64: SHA1C/SHA1P/SHA1M/SHA1H/SHA1SU0/SHA1SU1
  bool evex = false;        // x86-64: AVX-512F and VL, OS saves ZMM: xmm16-31 exist
};

// One CPU per run: CPUID's answers for other CPUs cannot be reached here.
// GCOVR_EXCL_BR_START
inline NorvekCpuFeatures norvek_detect_cpu_features() noexcept {
  NorvekCpuFeatures f;
#if defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return f;
  const bool ssse3 = (ecx >> 9) & 1u;
  const bool sse41 = (ecx >> 19) & 1u;
  const bool aes = (ecx >> 25) & 1u;
  const bool osxsave = (ecx >> 27) & 1u;
  const bool avx = (ecx >> 28) & 1u;
  bool ymm_saved = false;
  bool zmm_saved = false;
  if (osxsave && avx) {
    unsigned xcr0_lo = 0, xcr0_hi = 0;
    __asm__ __volatile__("xgetbv" : "=a"(xcr0_lo), "=d"(xcr0_hi) : "c"(0u));
    ymm_saved = (xcr0_lo & 0x6u) == 0x6u;    // XMM and YMM state
    zmm_saved = (xcr0_lo & 0xE6u) == 0xE6u;  // and opmask, ZMM upper halves, ZMM16-31
  }
  unsigned ebx7 = 0, ecx7 = 0;
  if (__get_cpuid_count(7, 0, &eax, &ebx7, &ecx7, &edx) != 0) {
    f.shani = ((ebx7 >> 29) & 1u) && ssse3 && sse41;
    f.vaes = aes && ssse3 && sse41 && ymm_saved && ((ebx7 >> 5) & 1u) && ((ecx7 >> 9) & 1u);
    f.evex = zmm_saved && ((ebx7 >> 16) & 1u) && ((ebx7 >> 31) & 1u);
  }
  f.aesni = aes && ssse3 && sse41;
#elif defined(__aarch64__) && (defined(__APPLE__) || defined(__ARM_FEATURE_CRYPTO))
  // Every Apple arm64 CPU has the crypto extensions, and a build that
  // targets all of them may assume them too.
  f.armv8_aes = true;
  f.armv8_sha1 = true;
#elif defined(__aarch64__) && defined(__linux__)
  // AES and SHA-1 are separate options of the architecture: a build that
  // targets only one of them still asks the kernel about the other.
  const unsigned long hwcap = getauxval(AT_HWCAP);
#if defined(__ARM_FEATURE_AES)
  f.armv8_aes = true;
#else
  f.armv8_aes = (hwcap & HWCAP_AES) != 0;
#endif
  f.armv8_sha1 = (hwcap & HWCAP_SHA1) != 0;
#endif
  // GCOVR_EXCL_BR_STOP
  return f;
}

}  // namespace
