// AES (FIPS-197), CBC chaining over whole blocks (NIST SP 800-38A) and the
// PKCS#7 pad helpers.
//
// Each operation runs on one of several variants, picked once per process
// from what the CPU offers: AES-NI (with VAES for CBC decryption) on x86-64,
// the ARMv8 crypto extensions on arm64, and the 32-bit table form here
// everywhere else. They share the key record and give identical results.
//
// The table form is not constant-time: every round indexes Te0..Te3 /
// Td0..Td3 with secret state bytes, so cache timing reveals key material to
// a co-resident attacker. The hardware variants are constant-time. The pad
// check is written to run in data-independent time on every path, because a
// caller's reaction to it is a classic padding oracle.
#include "norvek/aes.h"

#include <atomic>

#include "aes_aesni.h"
#include "aes_armv8.h"
#include "aes_common.h"
#include "aes_path.h"
#include "aes_tables.h"
#include "aes_vaes.h"
#include "cpu_features.h"
#include "secure_wipe.h"

namespace {

using norvek_aes_tables::kTables;

constexpr const uint32_t* Te0 = kTables.Te0;
constexpr const uint32_t* Te1 = kTables.Te1;
constexpr const uint32_t* Te2 = kTables.Te2;
constexpr const uint32_t* Te3 = kTables.Te3;
constexpr const uint32_t* Te4 = kTables.Te4;
constexpr const uint32_t* Td0 = kTables.Td0;
constexpr const uint32_t* Td1 = kTables.Td1;
constexpr const uint32_t* Td2 = kTables.Td2;
constexpr const uint32_t* Td3 = kTables.Td3;
constexpr const uint32_t* Td4 = kTables.Td4;

// Byte-wise so that no alignment is needed; compilers turn these and
// load_be into one access plus a byte swap.
NORVEK_INLINE void store_be(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

NORVEK_INLINE uint32_t b0(uint32_t w) { return w >> 24; }
NORVEK_INLINE uint32_t b1(uint32_t w) { return (w >> 16) & 0xFF; }
NORVEK_INLINE uint32_t b2(uint32_t w) { return (w >> 8) & 0xFF; }
NORVEK_INLINE uint32_t b3(uint32_t w) { return w & 0xFF; }

// Loop passes of two rounds each.
NORVEK_INLINE int pass_count(const vantel_aes_key_stKQZP* key) { return round_count(key) / 2; }

// Encrypts the state held in s0..s3 in place.
NORVEK_INLINE void encrypt_state(uint32_t& s0, uint32_t& s1, uint32_t& s2, uint32_t& s3,
                                 const uint32_t* rk, int passes) {
  uint32_t a0 = s0 ^ rk[0], a1 = s1 ^ rk[1], a2 = s2 ^ rk[2], a3 = s3 ^ rk[3];
  uint32_t t0, t1, t2, t3;
  for (;;) {
    t0 = Te0[b0(a0)] ^ Te1[b1(a1)] ^ Te2[b2(a2)] ^ Te3[b3(a3)] ^ rk[4];
    t1 = Te0[b0(a1)] ^ Te1[b1(a2)] ^ Te2[b2(a3)] ^ Te3[b3(a0)] ^ rk[5];
    t2 = Te0[b0(a2)] ^ Te1[b1(a3)] ^ Te2[b2(a0)] ^ Te3[b3(a1)] ^ rk[6];
    t3 = Te0[b0(a3)] ^ Te1[b1(a0)] ^ Te2[b2(a1)] ^ Te3[b3(a2)] ^ rk[7];
    rk += 8;
    if (--passes == 0) break;
    a0 = Te0[b0(t0)] ^ Te1[b1(t1)] ^ Te2[b2(t2)] ^ Te3[b3(t3)] ^ rk[0];
    a1 = Te0[b0(t1)] ^ Te1[b1(t2)] ^ Te2[b2(t3)] ^ Te3[b3(t0)] ^ rk[1];
    a2 = Te0[b0(t2)] ^ Te1[b1(t3)] ^ Te2[b2(t0)] ^ Te3[b3(t1)] ^ rk[2];
    a3 = Te0[b0(t3)] ^ Te1[b1(t0)] ^ Te2[b2(t1)] ^ Te3[b3(t2)] ^ rk[3];
  }
  s0 = (Te4[b0(t0)] & 0xFF000000) ^ (Te4[b1(t1)] & 0x00FF0000) ^ (Te4[b2(t2)] & 0x0000FF00) ^
       (Te4[b3(t3)] & 0x000000FF) ^ rk[0];
  s1 = (Te4[b0(t1)] & 0xFF000000) ^ (Te4[b1(t2)] & 0x00FF0000) ^ (Te4[b2(t3)] & 0x0000FF00) ^
       (Te4[b3(t0)] & 0x000000FF) ^ rk[1];
  s2 = (Te4[b0(t2)] & 0xFF000000) ^ (Te4[b1(t3)] & 0x00FF0000) ^ (Te4[b2(t0)] & 0x0000FF00) ^
       (Te4[b3(t1)] & 0x000000FF) ^ rk[2];
  s3 = (Te4[b0(t3)] & 0xFF000000) ^ (Te4[b1(t0)] & 0x00FF0000) ^ (Te4[b2(t1)] & 0x0000FF00) ^
       (Te4[b3(t2)] & 0x000000FF) ^ rk[3];
}

// Decrypts the state held in s0..s3 in place (equivalent inverse cipher:
// the columns come from the opposite neighbours).
NORVEK_INLINE void decrypt_state(uint32_t& s0, uint32_t& s1, uint32_t& s2, uint32_t& s3,
                                 const uint32_t* rk, int passes) {
  uint32_t a0 = s0 ^ rk[0], a1 = s1 ^ rk[1], a2 = s2 ^ rk[2], a3 = s3 ^ rk[3];
  uint32_t t0, t1, t2, t3;
  for (;;) {
    t0 = Td0[b0(a0)] ^ Td1[b1(a3)] ^ Td2[b2(a2)] ^ Td3[b3(a1)] ^ rk[4];
    t1 = Td0[b0(a1)] ^ Td1[b1(a0)] ^ Td2[b2(a3)] ^ Td3[b3(a2)] ^ rk[5];
    t2 = Td0[b0(a2)] ^ Td1[b1(a1)] ^ Td2[b2(a0)] ^ Td3[b3(a3)] ^ rk[6];
    t3 = Td0[b0(a3)] ^ Td1[b1(a2)] ^ Td2[b2(a1)] ^ Td3[b3(a0)] ^ rk[7];
    rk += 8;
    if (--passes == 0) break;
    a0 = Td0[b0(t0)] ^ Td1[b1(t3)] ^ Td2[b2(t2)] ^ Td3[b3(t1)] ^ rk[0];
    a1 = Td0[b0(t1)] ^ Td1[b1(t0)] ^ Td2[b2(t3)] ^ Td3[b3(t2)] ^ rk[1];
    a2 = Td0[b0(t2)] ^ Td1[b1(t1)] ^ Td2[b2(t0)] ^ Td3[b3(t3)] ^ rk[2];
    a3 = Td0[b0(t3)] ^ Td1[b1(t2)] ^ Td2[b2(t1)] ^ Td3[b3(t0)] ^ rk[3];
  }
  s0 = (Td4[b0(t0)] & 0xFF000000) ^ (Td4[b1(t3)] & 0x00FF0000) ^ (Td4[b2(t2)] & 0x0000FF00) ^
       (Td4[b3(t1)] & 0x000000FF) ^ rk[0];
  s1 = (Td4[b0(t1)] & 0xFF000000) ^ (Td4[b1(t0)] & 0x00FF0000) ^ (Td4[b2(t3)] & 0x0000FF00) ^
       (Td4[b3(t2)] & 0x000000FF) ^ rk[1];
  s2 = (Td4[b0(t2)] & 0xFF000000) ^ (Td4[b1(t1)] & 0x00FF0000) ^ (Td4[b2(t0)] & 0x0000FF00) ^
       (Td4[b3(t3)] & 0x000000FF) ^ rk[2];
  s3 = (Td4[b0(t3)] & 0xFF000000) ^ (Td4[b1(t2)] & 0x00FF0000) ^ (Td4[b2(t1)] & 0x0000FF00) ^
       (Td4[b3(t0)] & 0x000000FF) ^ rk[3];
}

// Two independent blocks through the inverse cipher side by side: CBC
// decryption can work on neighbouring blocks at once, and interleaving the
// two dependency chains keeps the load ports busy.
NORVEK_INLINE void decrypt_state2(uint32_t (&x)[4], uint32_t (&y)[4], const uint32_t* rk,
                                  int passes) {
#define NORVEK_DROUND(o, i, k)                                                   \
  o##0 = Td0[b0(i##0)] ^ Td1[b1(i##3)] ^ Td2[b2(i##2)] ^ Td3[b3(i##1)] ^ (k)[0]; \
  o##1 = Td0[b0(i##1)] ^ Td1[b1(i##0)] ^ Td2[b2(i##3)] ^ Td3[b3(i##2)] ^ (k)[1]; \
  o##2 = Td0[b0(i##2)] ^ Td1[b1(i##1)] ^ Td2[b2(i##0)] ^ Td3[b3(i##3)] ^ (k)[2]; \
  o##3 = Td0[b0(i##3)] ^ Td1[b1(i##2)] ^ Td2[b2(i##1)] ^ Td3[b3(i##0)] ^ (k)[3]
#define NORVEK_DLAST(o, i, k)                                                    \
  (o)[0] = (Td4[b0(i##0)] & 0xFF000000) ^ (Td4[b1(i##3)] & 0x00FF0000) ^         \
           (Td4[b2(i##2)] & 0x0000FF00) ^ (Td4[b3(i##1)] & 0x000000FF) ^ (k)[0]; \
  (o)[1] = (Td4[b0(i##1)] & 0xFF000000) ^ (Td4[b1(i##0)] & 0x00FF0000) ^         \
           (Td4[b2(i##3)] & 0x0000FF00) ^ (Td4[b3(i##2)] & 0x000000FF) ^ (k)[1]; \
  (o)[2] = (Td4[b0(i##2)] & 0xFF000000) ^ (Td4[b1(i##1)] & 0x00FF0000) ^         \
           (Td4[b2(i##0)] & 0x0000FF00) ^ (Td4[b3(i##3)] & 0x000000FF) ^ (k)[2]; \
  (o)[3] = (Td4[b0(i##3)] & 0xFF000000) ^ (Td4[b1(i##2)] & 0x00FF0000) ^         \
           (Td4[b2(i##1)] & 0x0000FF00) ^ (Td4[b3(i##0)] & 0x000000FF) ^ (k)[3]
  uint32_t a0 = x[0] ^ rk[0], a1 = x[1] ^ rk[1], a2 = x[2] ^ rk[2], a3 = x[3] ^ rk[3];
  uint32_t c0 = y[0] ^ rk[0], c1 = y[1] ^ rk[1], c2 = y[2] ^ rk[2], c3 = y[3] ^ rk[3];
  uint32_t t0, t1, t2, t3, u0, u1, u2, u3;
  for (;;) {
    NORVEK_DROUND(t, a, rk + 4);
    NORVEK_DROUND(u, c, rk + 4);
    rk += 8;
    if (--passes == 0) break;
    NORVEK_DROUND(a, t, rk);
    NORVEK_DROUND(c, u, rk);
  }
  NORVEK_DLAST(x, t, rk);
  NORVEK_DLAST(y, u, rk);
#undef NORVEK_DROUND
#undef NORVEK_DLAST
}

// SubWord, S taken from Te4.
struct TableSubWord {
  NORVEK_INLINE uint32_t operator()(uint32_t w) const {
    return (Te4[b0(w)] & 0xFF000000) ^ (Te4[b1(w)] & 0x00FF0000) ^ (Te4[b2(w)] & 0x0000FF00) ^
           (Te4[b3(w)] & 0x000000FF);
  }
};

// InvMixColumns of round-key words; the S lookup cancels the InvS that the
// Td tables carry.
struct TableInvMix4 {
  NORVEK_INLINE void operator()(uint32_t* rk) const {
    for (int k = 0; k < 4; ++k) {
      const uint32_t w = rk[k];
      rk[k] = Td0[Te4[b0(w)] & 0xFF] ^ Td1[Te4[b1(w)] & 0xFF] ^ Td2[Te4[b2(w)] & 0xFF] ^
              Td3[Te4[b3(w)] & 0xFF];
    }
  }
};

// The table operations keep round-key words in locals that the compiler may
// spill: each runs in a frame of its own, below the exported function's, and
// the dispatch clears that area when it returns.
#define NORVEK_TABLE_OP __attribute__((noinline))

// How much of the stack each one may have written: its frame and the red
// zone, with room for other compilers (the wipe test checks). CBC decryption
// keeps two blocks and their ciphertexts in flight.
struct TableFrame {
  static constexpr size_t set_encrypt_key = 256;
  static constexpr size_t set_decrypt_key = 256;
  static constexpr size_t encrypt = 256;
  static constexpr size_t decrypt = 256;
  static constexpr size_t cbc_encrypt = 256;
  static constexpr size_t cbc_decrypt = 512;
};

NORVEK_TABLE_OP void table_set_encrypt_key(const uint8_t* user_key, int32_t bits,
                                           vantel_aes_key_stKQZP* key) {
  expand_key(user_key, bits, key, TableSubWord{});
  // The compiler may move round-key words through vector registers.
  norvek_clear_registers();
}

NORVEK_TABLE_OP void table_set_decrypt_key(const uint8_t* user_key, int32_t bits,
                                           vantel_aes_key_stKQZP* key) {
  expand_key(user_key, bits, key, TableSubWord{});
  invert_schedule(key, TableInvMix4{});
  norvek_clear_registers();
}

int32_t check_setup_args(const uint8_t* user_key, int32_t bits, const vantel_aes_key_stKQZP* key) {
  if (user_key == nullptr || key == nullptr) return -1;
  if (bits != 128 && bits != 192 && bits != 256) return -2;
  return 0;
}

// Hides a value from the optimiser so it cannot specialise the pad check on
// it (for instance by turning the mask loop into an early exit).
NORVEK_INLINE uint32_t opaque(uint32_t v) {
  __asm__("" : "+r"(v));
  return v;
}

// All ones when a < b, for a, b below 2^31.
NORVEK_INLINE uint32_t mask_lt(uint32_t a, uint32_t b) { return 0u - ((a - b) >> 31); }

NORVEK_TABLE_OP void table_encrypt(const uint8_t* in, uint8_t* out,
                                   const vantel_aes_key_stKQZP* key) {
  uint32_t s0 = load_be(in), s1 = load_be(in + 4), s2 = load_be(in + 8), s3 = load_be(in + 12);
  encrypt_state(s0, s1, s2, s3, key->round_keys, pass_count(key));
  store_be(out, s0);
  store_be(out + 4, s1);
  store_be(out + 8, s2);
  store_be(out + 12, s3);
}

NORVEK_TABLE_OP void table_decrypt(const uint8_t* in, uint8_t* out,
                                   const vantel_aes_key_stKQZP* key) {
  uint32_t s0 = load_be(in), s1 = load_be(in + 4), s2 = load_be(in + 8), s3 = load_be(in + 12);
  decrypt_state(s0, s1, s2, s3, key->round_keys, pass_count(key));
  store_be(out, s0);
  store_be(out + 4, s1);
  store_be(out + 8, s2);
  store_be(out + 12, s3);
}

// The chaining value lives in registers: each input block is read whole
// before its output block is written, which keeps out == in working.
NORVEK_TABLE_OP void table_cbc_encrypt(const uint8_t* in, uint8_t* out, uint8_t* ivec,
                                       uint64_t nblock, const vantel_aes_key_stKQZP* key) {
  if (nblock == 0) return;
  const uint32_t* rk = key->round_keys;
  const int passes = pass_count(key);
  uint32_t v0 = load_be(ivec), v1 = load_be(ivec + 4), v2 = load_be(ivec + 8),
           v3 = load_be(ivec + 12);
  for (; nblock != 0; --nblock, in += 16, out += 16) {
    v0 ^= load_be(in);
    v1 ^= load_be(in + 4);
    v2 ^= load_be(in + 8);
    v3 ^= load_be(in + 12);
    encrypt_state(v0, v1, v2, v3, rk, passes);
    store_be(out, v0);
    store_be(out + 4, v1);
    store_be(out + 8, v2);
    store_be(out + 12, v3);
  }
  store_be(ivec, v0);
  store_be(ivec + 4, v1);
  store_be(ivec + 8, v2);
  store_be(ivec + 12, v3);
}

NORVEK_TABLE_OP void table_cbc_decrypt(const uint8_t* in, uint8_t* out, uint8_t* ivec,
                                       uint64_t nblock, const vantel_aes_key_stKQZP* key) {
  if (nblock == 0) return;
  const uint32_t* rk = key->round_keys;
  const int passes = pass_count(key);
  uint32_t v0 = load_be(ivec), v1 = load_be(ivec + 4), v2 = load_be(ivec + 8),
           v3 = load_be(ivec + 12);
  for (; nblock >= 2; nblock -= 2, in += 32, out += 32) {
    uint32_t x[4] = {load_be(in), load_be(in + 4), load_be(in + 8), load_be(in + 12)};
    uint32_t y[4] = {load_be(in + 16), load_be(in + 20), load_be(in + 24), load_be(in + 28)};
    const uint32_t c0 = x[0], c1 = x[1], c2 = x[2], c3 = x[3];
    const uint32_t d0 = y[0], d1 = y[1], d2 = y[2], d3 = y[3];
    decrypt_state2(x, y, rk, passes);
    store_be(out, x[0] ^ v0);
    store_be(out + 4, x[1] ^ v1);
    store_be(out + 8, x[2] ^ v2);
    store_be(out + 12, x[3] ^ v3);
    store_be(out + 16, y[0] ^ c0);
    store_be(out + 20, y[1] ^ c1);
    store_be(out + 24, y[2] ^ c2);
    store_be(out + 28, y[3] ^ c3);
    v0 = d0;
    v1 = d1;
    v2 = d2;
    v3 = d3;
  }
  for (; nblock != 0; --nblock, in += 16, out += 16) {
    const uint32_t c0 = load_be(in), c1 = load_be(in + 4), c2 = load_be(in + 8),
                   c3 = load_be(in + 12);
    uint32_t s0 = c0, s1 = c1, s2 = c2, s3 = c3;
    decrypt_state(s0, s1, s2, s3, rk, passes);
    store_be(out, s0 ^ v0);
    store_be(out + 4, s1 ^ v1);
    store_be(out + 8, s2 ^ v2);
    store_be(out + 12, s3 ^ v3);
    v0 = c0;
    v1 = c1;
    v2 = c2;
    v3 = c3;
  }
  store_be(ivec, v0);
  store_be(ivec + 4, v1);
  store_be(ivec + 8, v2);
  store_be(ivec + 12, v3);
}

constexpr AesOps kTableOps = {table_set_encrypt_key, table_set_decrypt_key, table_encrypt,
                              table_decrypt,         table_cbc_encrypt,     table_cbc_decrypt};

// --- run-time choice ----------------------------------------------------------

constexpr int kPathUnset = -2;

// Constant-initialised, so a caller's static constructor running before this
// unit's finds it ready. Several threads may make the first choice at once:
// they store the same value, and any path gives the same results anyway.
std::atomic<int> g_aes_path{kPathUnset};

bool path_supported(NorvekAesPath path) {
  const NorvekCpuFeatures cpu = norvek_detect_cpu_features();
  switch (path) {
    case NorvekAesPath::automatic:
    case NorvekAesPath::table: return true;
#if defined(NORVEK_AES_HAVE_AESNI)
    case NorvekAesPath::aesni: return cpu.aesni;
    case NorvekAesPath::vaes: return cpu.vaes;
#endif
#if defined(NORVEK_AES_HAVE_ARMV8)
    case NorvekAesPath::armv8: return cpu.armv8_aes;
#endif
    default: static_cast<void>(cpu); return false;
  }
}

NorvekAesPath best_path() {
  for (NorvekAesPath p : {NorvekAesPath::vaes, NorvekAesPath::aesni, NorvekAesPath::armv8}) {
    // Three candidates in order of preference read plainest as a loop.
    // cppcheck-suppress useStlAlgorithm
    if (path_supported(p)) return p;  // GCOVR_EXCL_BR_LINE: one CPU per run
  }
  return NorvekAesPath::table;  // GCOVR_EXCL_LINE: only on a CPU without AES instructions
}

NORVEK_INLINE NorvekAesPath current_path() {
  int p = g_aes_path.load(std::memory_order_relaxed);
  // GCOVR_EXCL_BR_LINE below: inlined into every operation, and only the
  // first one called in a process takes the first-use branch.
  if (__builtin_expect(p == kPathUnset, 0)) {  // GCOVR_EXCL_BR_LINE
    p = static_cast<int>(best_path());
    g_aes_path.store(p, std::memory_order_relaxed);
  }
  return static_cast<NorvekAesPath>(p);
}

// The table path is called directly, so the fallback pays no indirect call.
NORVEK_INLINE const AesOps& hardware_ops(NorvekAesPath path) {
  // Inlined into every operation; each copy is counted apart (GCOVR_EXCL_BR_LINE).
  switch (path) {  // GCOVR_EXCL_BR_LINE
#if defined(NORVEK_AES_HAVE_AESNI)
    case NorvekAesPath::aesni: return kAesniOps;
    case NorvekAesPath::vaes: return kVaesOps;
#endif
#if defined(NORVEK_AES_HAVE_ARMV8)
    case NorvekAesPath::armv8: return kArmv8Ops;
#endif
    default: return kTableOps;  // GCOVR_EXCL_LINE: the table path never comes here
  }
}

#define NORVEK_AES_DISPATCH(op, ...)             \
  do {                                           \
    const NorvekAesPath path = current_path();   \
    if (path == NorvekAesPath::table) {          \
      table_##op(__VA_ARGS__);                   \
      norvek_wipe_stack_below<TableFrame::op>(); \
    } else {                                     \
      hardware_ops(path).op(__VA_ARGS__);        \
    }                                            \
  } while (0)

}  // namespace

bool norvek_aes_path_available(NorvekAesPath path) noexcept { return path_supported(path); }

bool norvek_aes_force_path(NorvekAesPath path) noexcept {
  if (!path_supported(path)) return false;
  const NorvekAesPath chosen = path == NorvekAesPath::automatic ? best_path() : path;
  g_aes_path.store(static_cast<int>(chosen), std::memory_order_relaxed);
  return true;
}

NorvekAesPath norvek_aes_current_path() noexcept { return current_path(); }

extern "C" {

int32_t norvek_AES_set_encrypt_keyKQZP(const uint8_t* userKey, int32_t bits,
                                       vantel_aes_key_stKQZP* key) {
  const int32_t status = check_setup_args(userKey, bits, key);
  if (status == 0) NORVEK_AES_DISPATCH(set_encrypt_key, userKey, bits, key);
  return status;
}

int32_t norvek_AES_set_decrypt_keyKQZP(const uint8_t* userKey, int32_t bits,
                                       vantel_aes_key_stKQZP* key) {
  const int32_t status = check_setup_args(userKey, bits, key);
  if (status == 0) NORVEK_AES_DISPATCH(set_decrypt_key, userKey, bits, key);
  return status;
}

void norvek_AES_encryptKQZP(const uint8_t* in, uint8_t* out, const vantel_aes_key_stKQZP* key) {
  NORVEK_AES_DISPATCH(encrypt, in, out, key);
}

void norvek_AES_decryptKQZP(const uint8_t* in, uint8_t* out, const vantel_aes_key_stKQZP* key) {
  NORVEK_AES_DISPATCH(decrypt, in, out, key);
}

void norvek_AES_cbc_encryptKQZP(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                                const vantel_aes_key_stKQZP* key) {
  NORVEK_AES_DISPATCH(cbc_encrypt, in, out, ivec, nblock, key);
}

void norvek_AES_cbc_decryptKQZP(const uint8_t* in, uint8_t* out, uint8_t* ivec, uint64_t nblock,
                                const vantel_aes_key_stKQZP* key) {
  NORVEK_AES_DISPATCH(cbc_decrypt, in, out, ivec, nblock, key);
}

#undef NORVEK_AES_DISPATCH
#undef NORVEK_TABLE_OP

int32_t norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(uint64_t data_length) {
  return static_cast<int32_t>(16 - (data_length % 16));
}

void norvek_AES_PKCS7PaddingKQZP(uint8_t* data_no_padding, uint64_t data_length) {
  const int32_t pad = norvek_AES_get_PKCS7Padding_length_by_data_lengthKQZP(data_length);
  uint8_t* p = data_no_padding + data_length;
  for (int32_t i = 0; i < pad; ++i) p[i] = static_cast<uint8_t>(pad);
}

// Always reads the last min(16, data_length) bytes and folds every mismatch
// into a mask, so the time taken depends on the length only, never on where
// (or whether) the pad goes wrong.
int32_t norvek_AES_get_PKCS7Padding_length_by_dataKQZP(const uint8_t* data, uint64_t data_length) {
  if (data_length == 0) return -1;
  const uint32_t window = data_length < 16 ? static_cast<uint32_t>(data_length) : 16;
  const uint8_t* end = data + data_length;
  const uint32_t pad = opaque(end[-1]);

  uint32_t diff = 0;
  for (uint32_t i = 0; i < window; ++i) {
    // The index is hidden too: otherwise the compiler may count i - pad and
    // test i as pad plus that count, a loop exit computed from the pad.
    const uint32_t in_pad = opaque(mask_lt(opaque(i), pad));
    diff |= in_pad & (end[-1 - static_cast<int64_t>(i)] ^ pad);
  }
  // Bad when the pad is 0, longer than the window (over 16 or over the data)
  // or a byte inside it differs.
  const uint32_t bad = mask_lt(window, pad) | (0u - ((0u - diff) >> 31)) | (0u - ((pad - 1) >> 31));
  return static_cast<int32_t>((pad & ~bad) | bad);
}

}  // extern "C"
