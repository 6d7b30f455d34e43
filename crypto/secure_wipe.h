// Internal: wiping key material and plaintext so the stores survive
// optimisation. Shared by the library's units; not installed.
#pragma once

#include <cstddef>
#include <cstring>

namespace {

// memset followed by a compiler barrier that claims to read the area, so the
// stores cannot be dropped as dead (the same idea as explicit_bzero, which
// Apple's libc lacks).
inline void norvek_secure_wipe(void* area, std::size_t size) noexcept {
  if (area == nullptr || size == 0) return;
  std::memset(area, 0, size);
  __asm__ __volatile__("" : : "r"(area) : "memory");
}

// Clears the stack area just below the caller's frame, where a callee that
// has returned left what it spilled from registers (round keys that did not
// fit beside eight blocks in flight). Covers callee frames up to 2 KiB.
__attribute__((noinline)) inline void norvek_wipe_stack_below() noexcept {
  unsigned char area[2048];
  norvek_secure_wipe(area, sizeof area);
}

}  // namespace
