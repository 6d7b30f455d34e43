// CNorVekXBuffer: the library's owning byte buffer, and the conversions that
// work on it (hexadecimal, Base64, platform data objects).
//
// Ownership: a buffer owns its bytes alone; copy and assignment copy them.
// Allocation failure is never a result: it raises the platform's
// NSMallocException (a C++ NSExceptionError, derived from std::bad_alloc).
#pragma once

#include <cstdint>

#include "norvek_platform/foundation.h"

namespace NorvekCryptoSpace {

class CNorVekXBuffer {
 public:
  // Open to the library: read directly, and bytes written through m_pData
  // within m_nSize after sizing with the size constructor or resize().
  uint8_t* m_pData;  // null when the buffer holds no storage
  uint64_t m_nSize;  // number of bytes held; 0 when m_pData is null

  CNorVekXBuffer();                        // no storage
  explicit CNorVekXBuffer(uint64_t size);  // `size` zero bytes
  // strlen(pData) bytes, no terminator; null reads as "".
  explicit CNorVekXBuffer(const char* pData);
  CNorVekXBuffer(const uint8_t* pData, uint64_t size);  // copy; pData may be null only if size is 0
  CNorVekXBuffer(const CNorVekXBuffer& rhs);            // deep copy
  ~CNorVekXBuffer();

  CNorVekXBuffer& operator=(const CNorVekXBuffer& rhs);  // deep copy; self-assignment is a no-op

  // Gives the storage back (no-op without storage).
  void release();
  // Takes storage for `size` bytes and copies them in; only on a buffer
  // holding no storage.
  void _copy(const uint8_t* pData, uint64_t size);

  // Keeps the first min(size, m_nSize) bytes; every other byte reads zero.
  // Shrinking keeps the storage; growing allocates exactly `size` bytes.
  // On allocation failure the buffer is unchanged.
  void resize(uint64_t size);
  void clear();  // zeroes the bytes, keeps the length

  uint8_t getAt(uint64_t i) const;       // 0xFF when out of range
  int32_t setAt(uint64_t i, uint8_t c);  // 0, or -1 (nothing written) when out of range

  // Adds `tail`'s bytes at the end; appending a buffer to itself doubles it.
  CNorVekXBuffer& append(const CNorVekXBuffer& tail);
  bool compare(const CNorVekXBuffer& rhs) const;  // same length and bytes
  CNorVekXBuffer toStringBuffer() const;          // bytes + one zero byte (counted)
};

// Array-level hexadecimal. Both return 0, or -1 with nothing further written.
// Hex2Bin: `outlen` must equal inlen / 2 on entry (an exact size, not a
// capacity) and holds the bytes written on return; an odd `inlen` or an
// invalid digit gives -1 (after an invalid digit, `out`/`outlen` hold the
// bytes completed before it). Upper and lower case digits are accepted.
// Bin2Hex: `outlen` is the capacity on entry (at least 2 * inlen) and the
// characters written on return; lower case, no terminating zero.
// An empty input writes nothing and sets `outlen` to 0. Hex2Bin may decode in
// place (`out` equal to `in`).
// Neither looks tables up by the data nor stops early at an invalid digit:
// the time depends on the lengths and, for Hex2Bin, on whether the text is
// valid (which its answer says anyway), not on the digits. The Base64 conversions below
// look characters up in tables and are not constant-time.
int32_t norvek_crypto_Hex2Bin(char* in, uint64_t inlen, uint8_t* out, uint64_t& outlen);
int32_t norvek_crypto_Bin2Hex(const uint8_t* in, uint64_t inlen, char* out, uint64_t& outlen);

// Buffer-level conversions; each returns a new buffer. There is no failure
// channel: Hex2Bin of an odd-length text is empty, and stops at an invalid
// digit with the bytes decoded before its pair.
CNorVekXBuffer norvek_crypto_Hex2Bin(const CNorVekXBuffer& in);
CNorVekXBuffer norvek_crypto_Bin2Hex(const CNorVekXBuffer& in);
CNorVekXBuffer norvek_crypto_DecodeBase64(const CNorVekXBuffer& in);
CNorVekXBuffer norvek_crypto_EncodeBase64(const CNorVekXBuffer& in);

// Diagnostic hook; does nothing.
void DumpBuffer(const CNorVekXBuffer& buf);

// Copies between buffers and data objects. An empty buffer maps to nil and a
// nil or empty data object to a buffer without storage.
CNorVekXBuffer norvek_crypto_NSData2Buffer(const NSData& data);
NSData norvek_crypto_Buffer2NSData(const CNorVekXBuffer& buf);

}  // namespace NorvekCryptoSpace
