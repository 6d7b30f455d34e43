// Percent-escaping of bytes for one URI component.
#pragma once

#include <string>

#include "norvek/buffer.h"

namespace NorvekCryptoSpace {

class CNorVekXURL {
 public:
  // Every byte but A-Z a-z 0-9 - _ . ! ~ * ' ( ) becomes %XX (upper-case
  // hex). `input` is not changed.
  static std::string encodeURIComponent(CNorVekXBuffer& input);
  // Undoes %XX escapes (either case); '+' stays '+'. Stops at the first zero
  // character; a malformed escape ends decoding with the bytes decoded before
  // its '%'. "%00" yields a zero byte in place.
  static CNorVekXBuffer decodeURIComponent(const std::string& input);
};

}  // namespace NorvekCryptoSpace
