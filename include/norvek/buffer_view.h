// CNorVekXBufferView: lends memory the caller owns to the library as a
// CNorVekXBuffer, without copying it, and takes it back when the view ends.
// Header only; it adds nothing to the library's exported symbols.
//
// A view never gives its memory to the allocator: it detaches the borrowed
// pointer before the buffer inside it is destroyed, however the scope ends.
// The caller keeps the memory alive and unchanged for the call's duration.
//
// Where a view may go:
//   - input():  any parameter taken as `const CNorVekXBuffer&`. Those are
//     only read.
//   - output(): only the output of CNorVekXCryptoHelper::Encrypt and Decrypt,
//     and only with at least CNorVekXBufferView::CipherRoom(input length)
//     writable bytes lent that overlap no input. Both then write into the
//     lent memory and keep it (see crypto_helper.h). size() is then the
//     answer on success; on failure it is what crypto_helper.h says the
//     output holds, not 0: the whole lent size after a short key, the
//     ciphertext's length (of zeros) after a refused ciphertext.
// Anywhere else the library may take, grow or give back a buffer's storage,
// which for lent memory would free what it does not own.
#pragma once

#include <cstdint>

#include "norvek/buffer.h"

namespace NorvekCryptoSpace {

class CNorVekXBufferView {
 public:
  // `size` bytes at `data`; `data` may be null only when `size` is 0.
  CNorVekXBufferView(const uint8_t* data, uint64_t size) noexcept {
    lent_.m_pData = size == 0 ? nullptr : const_cast<uint8_t*>(data);
    lent_.m_nSize = size;
  }
  ~CNorVekXBufferView() {
    lent_.m_pData = nullptr;
    lent_.m_nSize = 0;
  }
  CNorVekXBufferView(const CNorVekXBufferView&) = delete;
  CNorVekXBufferView& operator=(const CNorVekXBufferView&) = delete;

  const CNorVekXBuffer& input() const noexcept { return lent_; }
  CNorVekXBuffer& output() noexcept { return lent_; }
  uint64_t size() const noexcept { return lent_.m_nSize; }

  // Room an Encrypt or Decrypt output needs for an input of `n` bytes: the
  // ciphertext is at most one block longer than the data. 0 when n + 16
  // would pass 64 bits (no such output can be lent).
  static constexpr uint64_t CipherRoom(uint64_t n) noexcept {
    return n > UINT64_MAX - 16 ? 0 : n + 16;
  }

 private:
  CNorVekXBuffer lent_;
};

}  // namespace NorvekCryptoSpace
