// CNorVekXCryptoHelper: the processor table, the transform chains and the
// class-level schemes built on the library's primitives.
#include "norvek/crypto_helper.h"

#include <cstring>

#include "norvek/transforms.h"

namespace NorvekCryptoSpace {

// ---------------------------------------------------------------------------
// Processor table and transform chains

namespace {

constexpr int32_t kTransformCount = 46;

#define NORVEK_PAIR(n) {norvek_crypto_enc_##n, norvek_crypto_dec_##n}
constexpr st_Processor kTransformPairs[kTransformCount] = {
    NORVEK_PAIR(1),  NORVEK_PAIR(2),  NORVEK_PAIR(3),  NORVEK_PAIR(4),  NORVEK_PAIR(5),
    NORVEK_PAIR(6),  NORVEK_PAIR(7),  NORVEK_PAIR(8),  NORVEK_PAIR(9),  NORVEK_PAIR(10),
    NORVEK_PAIR(11), NORVEK_PAIR(12), NORVEK_PAIR(13), NORVEK_PAIR(14), NORVEK_PAIR(15),
    NORVEK_PAIR(16), NORVEK_PAIR(17), NORVEK_PAIR(18), NORVEK_PAIR(19), NORVEK_PAIR(20),
    NORVEK_PAIR(21), NORVEK_PAIR(22), NORVEK_PAIR(23), NORVEK_PAIR(24), NORVEK_PAIR(25),
    NORVEK_PAIR(26), NORVEK_PAIR(27), NORVEK_PAIR(28), NORVEK_PAIR(29), NORVEK_PAIR(30),
    NORVEK_PAIR(31), NORVEK_PAIR(32), NORVEK_PAIR(33), NORVEK_PAIR(34), NORVEK_PAIR(35),
    NORVEK_PAIR(36), NORVEK_PAIR(37), NORVEK_PAIR(38), NORVEK_PAIR(39), NORVEK_PAIR(40),
    NORVEK_PAIR(41), NORVEK_PAIR(42), NORVEK_PAIR(43), NORVEK_PAIR(44), NORVEK_PAIR(45),
    NORVEK_PAIR(46),
};
#undef NORVEK_PAIR

enum class Direction { kForward, kReverse };
enum class IndexRule { kExact, kRemainder };

// Maps a listed value to a table entry, or -1 when the rule does not accept it.
int32_t table_entry(int32_t listed, IndexRule rule) {
  if (rule == IndexRule::kRemainder) return listed < 0 ? -1 : listed % kTransformCount;
  return (listed < 0 || listed >= kTransformCount) ? -1 : listed;
}

// The four chain operations differ only in the slot called and the index rule.
// The whole list is validated before anything is touched, so a bad list
// leaves `out` as it was.
uint64_t run_chain(const st_Processor* table, const int32_t* index, int32_t index_size,
                   const CNorVekXBuffer& in, CNorVekXBuffer& out, Direction direction,
                   IndexRule rule) {
  if (index_size > 0) {
    if (index == nullptr) return 0;
    for (int32_t i = 0; i < index_size; ++i) {
      if (table_entry(index[i], rule) < 0) return 0;
    }
  }
  CNorVekXBuffer work(in);
  out.resize(in.m_nSize);
  for (int32_t i = 0; i < index_size; ++i) {
    const st_Processor& entry = table[table_entry(index[i], rule)];
    const NorvekByteTransform transform =
        direction == Direction::kForward ? entry.pfnEncrypt : entry.pfnDecrypt;
    transform(work.m_pData, work.m_nSize);
  }
  out = work;
  return out.m_nSize;
}

}  // namespace

CNorVekXCryptoHelper::CNorVekXCryptoHelper() {
  for (int32_t k = 0; k < kTransformCount; ++k) m_processors[k] = kTransformPairs[k];
  m_processors[kTransformCount] = {nullptr, nullptr};
}

uint64_t CNorVekXCryptoHelper::DynEncrypt(const int32_t* index, int32_t index_size,
                                          const CNorVekXBuffer& data, CNorVekXBuffer& cipher) {
  return run_chain(m_processors, index, index_size, data, cipher, Direction::kForward,
                   IndexRule::kExact);
}

uint64_t CNorVekXCryptoHelper::DynDecrypt(const int32_t* index, int32_t index_size,
                                          const CNorVekXBuffer& cipher, CNorVekXBuffer& data) {
  return run_chain(m_processors, index, index_size, cipher, data, Direction::kReverse,
                   IndexRule::kExact);
}

uint64_t CNorVekXCryptoHelper::DynEncryptEx(const int32_t* index, int32_t index_size,
                                            const CNorVekXBuffer& data, CNorVekXBuffer& cipher) {
  return run_chain(m_processors, index, index_size, data, cipher, Direction::kForward,
                   IndexRule::kRemainder);
}

uint64_t CNorVekXCryptoHelper::DynDecryptEx(const int32_t* index, int32_t index_size,
                                            const CNorVekXBuffer& cipher, CNorVekXBuffer& data) {
  return run_chain(m_processors, index, index_size, cipher, data, Direction::kReverse,
                   IndexRule::kRemainder);
}

// ---------------------------------------------------------------------------
// Buffer cipher: Encrypt, Decrypt
// (section: buffer cipher)

// ---------------------------------------------------------------------------
// Digests, signature, random bytes, one-time codes and identifiers
// (section: digests and codes)

// ---------------------------------------------------------------------------
// Platform cipher bridge
// (section: platform cipher bridge)

}  // namespace NorvekCryptoSpace
