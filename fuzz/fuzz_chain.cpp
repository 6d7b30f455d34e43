// The chain operations over any list and data. Input: a mode byte (bit 0:
// Ex forms; bit 1: entries are raw int32 values, else bytes mod 50 so most
// are valid; bit 2: encipher in place), a list length (mod 33), the entries,
// then the data. Properties: an invalid list gives 0 with the output as it
// was; otherwise the output holds the input's length, the in-place call
// agrees, and DynDecrypt(Ex) of the reversed list restores the input.
#include <cstdint>
#include <vector>

#include "fuzz_util.h"
#include "norvek/crypto_helper.h"

using fuzz_util::check;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CNorVekXCryptoHelper helper;
  fuzz_util::Reader in(data, size);
  const uint8_t mode = in.byte();
  const bool ex = (mode & 1) != 0;
  const int32_t count = in.byte() % 33;
  std::vector<int32_t> list(static_cast<size_t>(count));
  bool valid = true;
  for (int32_t& entry : list) {
    entry = (mode & 2) != 0 ? static_cast<int32_t>(in.u32()) : in.byte() % 50;
    valid = valid && entry >= 0 && (ex || entry <= 45);
  }
  size_t length = 0;
  const uint8_t* bytes = in.rest(length);
  const CNorVekXBuffer plain(bytes, length);

  auto encrypt = ex ? &CNorVekXCryptoHelper::DynEncryptEx : &CNorVekXCryptoHelper::DynEncrypt;
  auto decrypt = ex ? &CNorVekXCryptoHelper::DynDecryptEx : &CNorVekXCryptoHelper::DynDecrypt;

  const CNorVekXBuffer before("untouched");
  CNorVekXBuffer cipher(before);
  const uint64_t n = (helper.*encrypt)(list.data(), count, plain, cipher);
  if (!valid) {
    check(n == 0 && cipher.compare(before));
    return 0;
  }
  check(n == length && cipher.m_nSize == length);

  if ((mode & 4) != 0) {
    CNorVekXBuffer inPlace(plain);
    check((helper.*encrypt)(list.data(), count, inPlace, inPlace) == n);
    check(inPlace.compare(cipher));
  }

  const std::vector<int32_t> reversed(list.rbegin(), list.rend());
  CNorVekXBuffer back(before);
  check((helper.*decrypt)(reversed.data(), count, cipher, back) == n);
  check(back.compare(plain));
  return 0;
}
