// CNorVekXCryptoHelper: the processor table, the transform chains and the
// class-level schemes built on the library's primitives.
#include "norvek/crypto_helper.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../buffer/buffer_storage.h"
#include "../crypto/hmac_sha1_keyed.h"
#include "../crypto/secure_wipe.h"
#include "hotp_salts.h"
#include "norvek/aes.h"
#include "norvek/hmac_sha1.h"
#include "norvek/sha1.h"
#include "norvek/transforms.h"
#include "norvek_platform/common_crypto.h"
#include "norvek_platform/security.h"

// Buffer lengths (64-bit) are handed to the platform as size_t and NSUInteger.
static_assert(sizeof(size_t) == sizeof(uint64_t), "size_t must be 64 bits wide");

namespace NorvekCryptoSpace {

// ---------------------------------------------------------------------------
// Processor table and transform chains

namespace {

constexpr int32_t kTransformCount = 46;

#define NORVEK_PAIR(n) \
  { norvek_crypto_enc_##n, norvek_crypto_dec_##n }
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
// leaves `out` as it was. The list may live in `out`'s storage (a list
// received from a peer, the buffer reused for the result): `out` is written
// only once the last entry has been read.
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
  for (int32_t i = 0; i < index_size; ++i) {
    const st_Processor& entry = table[table_entry(index[i], rule)];
    const NorvekByteTransform transform =
        direction == Direction::kForward ? entry.pfnEncrypt : entry.pfnDecrypt;
    transform(work.m_pData, work.m_nSize);
  }
  // The working copy becomes the result: its storage moves, nothing is copied.
  norvek_buffer_move(out, work);
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
namespace {

// Built-in IV shared by Encrypt and Decrypt. Copied per call, never written.
constexpr uint8_t kBufferCipherIv[16] = {0x4E, 0x56, 0x58, 0x2D, 0x9C, 0x31, 0xE7, 0x0A,
                                         0x5B, 0xD2, 0x68, 0xF4, 0x13, 0xA9, 0xC6, 0x7F};

constexpr uint64_t kAesBlock = 16;

// The expanded key (round key 0 is the raw key), wiped however the call
// ends, an allocation failure included.
struct ScheduleRecord {
  vantel_aes_key_stKQZP key;  // written by the set-up, wiped whole
  // Left unset on purpose: zeroing 244 bytes first would cost more than the set-up.
  // cppcheck-suppress uninitMemberVar
  ScheduleRecord() = default;
  ScheduleRecord(const ScheduleRecord&) = delete;
  ScheduleRecord& operator=(const ScheduleRecord&) = delete;
  ~ScheduleRecord() { norvek_secure_wipe(&key, sizeof key); }
};

}  // namespace

uint64_t CNorVekXCryptoHelper::Encrypt(const CNorVekXBuffer& key, const CNorVekXBuffer& data,
                                       CNorVekXBuffer& cipher) {
  if (key.m_nSize < 16) return 0;
  // The schedule is taken before `cipher` changes, in case it is `key` too.
  ScheduleRecord schedule;
  norvek_AES_set_encrypt_keyKQZP(key.m_pData, 128, &schedule.key);

  const uint64_t n = data.m_nSize;
  // n + pad: the whole blocks and one more, raised rather than wrapped.
  const uint64_t total = norvek_buffer_size(n / kAesBlock, kAesBlock, kAesBlock);
  // The whole blocks are enciphered straight from `data` into the output,
  // then the last, padded block. The output is `cipher`'s storage when it is
  // large enough (never when `data` is `cipher`: the padding makes the
  // ciphertext longer), otherwise a new area that replaces it once written,
  // so nothing is zero-filled or copied first.
  const bool reuse = cipher.m_nSize >= total;
  uint8_t* out = reuse ? cipher.m_pData : norvek_buffer_allocate(total);
  const uint64_t whole = n / kAesBlock;
  const uint64_t tail = n % kAesBlock;
  uint8_t ivec[16];
  std::memcpy(ivec, kBufferCipherIv, sizeof ivec);
  if (whole != 0) norvek_AES_cbc_encryptKQZP(data.m_pData, out, ivec, whole, &schedule.key);
  uint8_t* last = out + whole * kAesBlock;
  if (tail != 0) std::memcpy(last, data.m_pData + whole * kAesBlock, tail);
  norvek_AES_PKCS7PaddingKQZP(last, tail);
  norvek_AES_cbc_encryptKQZP(last, last, ivec, 1, &schedule.key);
  if (reuse) {
    cipher.resize(total);
  } else {
    norvek_buffer_adopt(cipher, out, total);
  }
  return cipher.m_nSize;
}

uint64_t CNorVekXCryptoHelper::Decrypt(const CNorVekXBuffer& key, const CNorVekXBuffer& cipher,
                                       CNorVekXBuffer& data) {
  if (key.m_nSize < 16) return 0;
  const uint64_t n = cipher.m_nSize;
  // A ragged or empty ciphertext fails like bad padding, without deciphering
  // anything: no stale output byte can be judged as pad.
  if (n == 0 || n % kAesBlock != 0) {
    data.resize(n);
    data.clear();
    return 0;
  }

  // The schedule is taken before `data` changes, in case it is `key` too.
  ScheduleRecord schedule;
  norvek_AES_set_decrypt_keyKQZP(key.m_pData, 128, &schedule.key);

  // The plaintext goes into `data`'s storage when it is large enough and is
  // not the ciphertext itself; otherwise into a new area that replaces
  // `data`'s storage once written, so nothing is zero-filled or copied first
  // (and the ciphertext is read in place even when `data` is `cipher`).
  const bool reuse = &cipher != &data && data.m_nSize >= n;
  uint8_t* out = reuse ? data.m_pData : norvek_buffer_allocate(n);
  uint8_t ivec[16];
  std::memcpy(ivec, kBufferCipherIv, sizeof ivec);
  norvek_AES_cbc_decryptKQZP(cipher.m_pData, out, ivec, n / kAesBlock, &schedule.key);
  if (reuse) {
    data.resize(n);
  } else {
    norvek_buffer_adopt(data, out, n);
  }

  const int32_t pad = norvek_AES_get_PKCS7Padding_length_by_dataKQZP(data.m_pData, n);
  if (pad < 1) {
    data.clear();
    return 0;
  }
  data.resize(n - static_cast<uint64_t>(pad));
  return data.m_nSize;
}

// ---------------------------------------------------------------------------
// Digests, signature, random bytes, one-time codes and identifiers

// The signing key as shipped; the exported array starts with it.
// clang-format off
#define NV_SIGN_DATA_KEY_BYTES                                  \
    0x31, 0x46, 0xE8, 0x86, 0xD9, 0x0A, 0x17, 0x0A, 0x49, 0xD6, \
    0x63, 0x2D, 0xD7, 0x1F, 0x36, 0xA2, 0x27, 0x09, 0xE9, 0x01, \
    0x6C, 0x0F, 0xE0, 0xA1, 0x5B, 0xD1, 0x07, 0xB7, 0x62, 0x94, \
    0xD0, 0xA7, 0x86, 0x64, 0x99, 0xAC, 0xA6, 0xF6, 0x9A, 0x3A
// clang-format on

uint8_t NORVEK_SIGN_DATA_KEY[40] = {NV_SIGN_DATA_KEY_BYTES};

namespace {

constexpr uint64_t kSha1DigestBytes = 20;
constexpr int32_t kRandBytesMinimum = 3;

// HMAC keyed states of the fixed keys, computed at compile time: each code
// or signature then costs two SHA-1 compressions fewer per key.
constexpr NorvekHmacSha1Keyed kSalt1Keyed =
    norvek_hmac_sha1_keyed(hotp_salts::SALT1, hotp_salts::kSaltSize);
constexpr NorvekHmacSha1Keyed kSalt2Keyed =
    norvek_hmac_sha1_keyed(hotp_salts::SALT2, hotp_salts::kSaltSize);
constexpr NorvekHmacSha1Keyed kSalt3Keyed =
    norvek_hmac_sha1_keyed(hotp_salts::SALT3, hotp_salts::kSaltSize);

constexpr uint8_t kShippedSignDataKey[sizeof NORVEK_SIGN_DATA_KEY] = {NV_SIGN_DATA_KEY_BYTES};
constexpr NorvekHmacSha1Keyed kShippedSignDataKeyed =
    norvek_hmac_sha1_keyed(kShippedSignDataKey, sizeof kShippedSignDataKey);
#undef NV_SIGN_DATA_KEY_BYTES

// RFC 4226 dynamic truncation: the window of four bytes that the low nibble
// of the last digest byte points at. Always inside the 20 bytes.
const uint8_t* hotp_truncation_window(const uint8_t* digest) {
  return digest + (digest[19] & 0x0F);
}

}  // namespace

CNorVekXBuffer CNorVekXCryptoHelper::Sha1(const CNorVekXBuffer& in) {
  CNorVekXBuffer result(kSha1DigestBytes);
  norvek_crypto_sha1_KQZP(in.m_pData, in.m_nSize, result.m_pData);
  return result;
}

CNorVekXBuffer CNorVekXCryptoHelper::HmacSha1(const CNorVekXBuffer& in, const CNorVekXBuffer& key) {
  CNorVekXBuffer result(kSha1DigestBytes);
  norvek_crypto_hmac_sha1_KQZP(in.m_pData, in.m_nSize, key.m_pData, key.m_nSize, result.m_pData);
  return result;
}

CNorVekXBuffer CNorVekXCryptoHelper::SignData(const CNorVekXBuffer& in) {
  // Read at every call, so later changes to the array are honoured. While it
  // holds the shipped key, the precomputed keyed states serve; the key is
  // compared without early exit, and only "shipped or not" decides a branch.
  // The result is allocated first, so an allocation failure leaves no key copy.
  CNorVekXBuffer result(kSha1DigestBytes);
  uint8_t key[sizeof NORVEK_SIGN_DATA_KEY];
  std::memcpy(key, NORVEK_SIGN_DATA_KEY, sizeof key);
  uint8_t diff = 0;
  for (size_t i = 0; i < sizeof key; ++i) diff |= uint8_t(key[i] ^ kShippedSignDataKey[i]);
  if (diff == 0) {
    norvek_hmac_sha1_finish(kShippedSignDataKeyed, in.m_pData, in.m_nSize, result.m_pData);
  } else {
    NorvekHmacSha1Keyed keyed = norvek_hmac_sha1_keyed(key, sizeof key);
    norvek_hmac_sha1_finish(keyed, in.m_pData, in.m_nSize, result.m_pData);
    norvek_secure_wipe(&keyed, sizeof keyed);
  }
  norvek_secure_wipe(key, sizeof key);
  return result;
}

CNorVekXBuffer CNorVekXCryptoHelper::RandBytes(int32_t bytes) {
  const int32_t count = bytes < kRandBytesMinimum ? kRandBytesMinimum : bytes;
  CNorVekXBuffer result(static_cast<uint64_t>(count));
  // Zero bytes from a failed source must never pass for random ones.
  if (SecRandomCopyBytes(kSecRandomDefault, result.m_nSize, result.m_pData) != 0) {
    result.release();
  }
  return result;
}

CNorVekXBuffer CNorVekXCryptoHelper::HOTPex(const CNorVekXBuffer& in, const CNorVekXBuffer& /*key*/,
                                            int32_t digits) {
  CNorVekXBuffer result;
  if (static_cast<uint32_t>(digits) - 1u > 11u) return result;
  result.resize(static_cast<uint64_t>(digits));

  uint8_t hash1[kSha1DigestBytes] = {};
  uint8_t hash2[kSha1DigestBytes] = {};
  uint8_t hash3[kSha1DigestBytes] = {};
  norvek_hmac_sha1_finish(kSalt1Keyed, in.m_pData, in.m_nSize, hash1);
  norvek_hmac_sha1_finish(kSalt2Keyed, in.m_pData, in.m_nSize, hash2);
  norvek_hmac_sha1_finish(kSalt3Keyed, in.m_pData, in.m_nSize, hash3);

  const uint8_t* w1 = hotp_truncation_window(hash1);
  const uint8_t* w2 = hotp_truncation_window(hash2);
  const uint8_t* w3 = hotp_truncation_window(hash3);
  // Each group has its own byte order; peers depend on it.
  // clang-format off
  const uint8_t code[12] = {
      w1[3], w1[2], w1[1], static_cast<uint8_t>(w1[0] & 0x7F),  // least significant first
      static_cast<uint8_t>(w2[0] & 0x7F), w2[1], w2[2], w2[3],  // most significant first
      static_cast<uint8_t>(w3[0] & 0x7F), w3[2], w3[3], w3[1],  // masked, then 2, 3, 1
  };
  // clang-format on
  std::memcpy(result.m_pData, code, static_cast<size_t>(digits));
  norvek_secure_wipe(hash1, sizeof hash1);
  norvek_secure_wipe(hash2, sizeof hash2);
  norvek_secure_wipe(hash3, sizeof hash3);
  return result;
}

CNorVekXBuffer CNorVekXCryptoHelper::GenerateID(const CNorVekXBuffer& tag,
                                                const CNorVekXBuffer& version,
                                                const CNorVekXBuffer& rawid, CNorVekXBuffer& verify,
                                                const int32_t* indexs, int32_t count) {
  CNorVekXBuffer result;
  if (static_cast<uint32_t>(count) - 4u > 8u || indexs == nullptr) return result;
  // The positions may live in `verify`'s storage, which the assignment below
  // gives back: read them first.
  int32_t positions[12];
  std::memcpy(positions, indexs, static_cast<size_t>(count) * sizeof positions[0]);

  result.resize(tag.m_nSize + static_cast<uint64_t>(count) + version.m_nSize + rawid.m_nSize);
  uint64_t pos = 0;
  for (uint64_t i = 0; i < tag.m_nSize; ++i) result.setAt(pos++, tag.getAt(i));
  for (uint64_t i = 0; i < version.m_nSize; ++i) result.setAt(pos++, version.getAt(i));

  // Built before `verify` is assigned, so `verify` may be one of the inputs.
  CNorVekXBuffer src(tag);
  src.append(version);
  src.append(rawid);
  verify = HOTPex(src, CNorVekXBuffer(), count);

  // Splice: walk the output from the end of the prefix, placing a code byte
  // wherever the walk meets a listed position and a rawid byte otherwise.
  // The list is scanned once per step, in list order; reads past the end of
  // src give 0xFF and writes past the end of the result are dropped.
  const uint64_t ret_len = result.m_nSize;
  const uint64_t src_len = src.m_nSize;
  uint64_t ret_pos = pos;
  uint64_t src_pos = pos;
  if (ret_pos < ret_len) {
    for (;;) {
      for (int32_t m = 0; m < count; ++m) {
        if (static_cast<uint64_t>(static_cast<int64_t>(positions[m])) != ret_pos) continue;
        result.setAt(ret_pos, verify.getAt(static_cast<uint64_t>(m)));
        if (++ret_pos >= ret_len) break;
      }
      result.setAt(ret_pos, src.getAt(src_pos));
      if (++src_pos >= src_len) break;
      if (++ret_pos >= ret_len) break;
    }
  }
  return result;
}

// ---------------------------------------------------------------------------
// Platform cipher bridge

namespace {

// Room for a 32-byte key and the conversion's terminating zero.
constexpr NSUInteger kKeyAreaSize = 33;

// The key area: zero-filled, then the key's UTF-8 form. The cipher reads its
// first 16 or 32 bytes, so shorter keys are extended with zeros and a 17..32
// byte key is cut in the 128-bit pair. Wiped when the call ends.
class KeyArea {
 public:
  KeyArea() { std::memset(m_bytes, 0, sizeof m_bytes); }
  // The key reached the area, and the platform's cipher, through memcpy and
  // vector registers.
  ~KeyArea() {
    norvek_secure_wipe(m_bytes, sizeof m_bytes);
    norvek_clear_registers_after_libc();
  }
  KeyArea(const KeyArea&) = delete;
  KeyArea& operator=(const KeyArea&) = delete;

  // False when the UTF-8 form does not fit (over 32 bytes): rather than
  // encipher under whatever the area then holds, the callers give nil.
  // A nil key writes nothing and leaves the zeros.
  bool load(const NSString& key) {
    return key.isNil() || key.getCString(m_bytes, kKeyAreaSize, NSUTF8StringEncoding);
  }
  const char* bytes() const { return m_bytes; }

 private:
  char m_bytes[kKeyAreaSize];
};

// Ciphers `data` under the key area's first `keyLength` bytes into a heap
// area that the result takes over without a copy (a copy would hold a third
// input-sized area at once). A failing call may leave deciphered blocks
// before a bad pad in the area: it is wiped before it is freed.
NSData cipher_to_data(CCOperation op, const NSData& data, const KeyArea& keyArea,
                      size_t keyLength) {
  const NSUInteger n = data.length();
  // No allocator hands out more than PTRDIFF_MAX bytes: a longer area is
  // refused here, without asking for it.
  if (n > static_cast<size_t>(PTRDIFF_MAX) - kCCBlockSizeAES128) return NSData();
  const size_t areaSize = n + kCCBlockSizeAES128;
  void* area = std::malloc(areaSize);
  if (area == nullptr) return NSData();

  size_t moved = 0;
  const CCCryptorStatus status =
      CCCrypt(op, kCCAlgorithmAES128, kCCOptionPKCS7Padding, keyArea.bytes(), keyLength, nullptr,
              data.bytes(), n, area, areaSize, &moved);
  if (status != kCCSuccess) {
    norvek_secure_wipe(area, areaSize);
    std::free(area);
    return NSData();
  }
  return NSData::dataWithBytesNoCopy(area, moved);
}

// The 128-bit pair: nil or empty data comes back as it is; a nil, empty or
// over-long key gives nil.
NSData cipher_128(CCOperation op, const NSData& data, const NSString& key) {
  if (data.length() == 0) return data;
  if (key.length() == 0) return NSData();
  KeyArea keyArea;
  if (!keyArea.load(key)) return NSData();
  return cipher_to_data(op, data, keyArea, kCCKeySizeAES128);
}

// The 256-bit pair: nil data counts as empty and a nil or empty key as 32
// zero bytes (data already stored may rely on both).
NSData cipher_256(CCOperation op, const NSData& data, const NSString& key) {
  KeyArea keyArea;
  if (!keyArea.load(key)) return NSData();
  return cipher_to_data(op, data, keyArea, kCCKeySizeAES256);
}

}  // namespace

NSData CNorVekXCryptoHelper::EncryptAESBySystem(const NSData& data, const NSString& key) {
  return cipher_128(kCCEncrypt, data, key);
}

NSData CNorVekXCryptoHelper::DecryptAESBySystem(const NSData& data, const NSString& key) {
  return cipher_128(kCCDecrypt, data, key);
}

NSData CNorVekXCryptoHelper::AES256Encrypt(const NSData& data, const NSString& key) {
  return cipher_256(kCCEncrypt, data, key);
}

NSData CNorVekXCryptoHelper::AES256Decrypt(const NSData& data, const NSString& key) {
  return cipher_256(kCCDecrypt, data, key);
}

}  // namespace NorvekCryptoSpace
