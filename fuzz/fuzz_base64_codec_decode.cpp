// The Base64 engine's decoder on arbitrary text. The first byte picks the
// alphabet (bit 0) and whether padding is required (bit 1); the rest is the
// text. Properties: the count never exceeds the length bound, the bytes past
// the bound are never written, the group fast path agrees with the plain
// character-by-character decoder, and a successful decode re-encodes
// (padded, same alphabet) to a text that decodes to the same bytes, with
// padding required or not.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_util.h"
#include "norvek/base64_codec.h"

using Engine = NorVekXCryptoBase64KQZP::PrivateMethods;
using fuzz_util::check;
using fuzz_util::same;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool webSafe = (data[0] & 1) != 0;
  const bool requirePadding = (data[0] & 2) != 0;
  const uint8_t* table = webSafe ? Engine::kWebSafeBase64DecodeChars : Engine::kBase64DecodeChars;
  const char* alphabet = webSafe ? Engine::kWebSafeAlphabet : Engine::kStandardAlphabet;
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;

  // Area level, with guard bytes after the bound.
  const uint64_t bound = Engine::CalcDecodedLengthBound(length);
  std::vector<uint8_t> area(bound + 8, 0);
  std::memset(area.data() + bound, fuzz_util::kGuard, 8);
  const uint64_t n = Engine::baseDecode(text, length, area.data(), bound, table, requirePadding);
  check(n <= bound);
  check(fuzz_util::guarded(area.data() + bound, 8));

  // A copy of the table is decoded character by character, without the
  // group fast path; both must agree.
  uint8_t tableCopy[256];
  std::memcpy(tableCopy, table, sizeof tableCopy);
  std::vector<uint8_t> plainArea(bound + 1, 0);
  const uint64_t nPlain =
      Engine::baseDecode(text, length, plainArea.data(), bound, tableCopy, requirePadding);
  check(nPlain == n);
  check(same(plainArea.data(), area.data(), n));

  // Data level agrees with the area level.
  const NSData decoded = Engine::baseDecode(text, length, table, requirePadding);
  check(decoded.length() == n);
  if (n == 0) {
    check(decoded.isNil());
    return 0;
  }
  check(same(decoded.bytes(), area.data(), n));

  const NSData encoded = Engine::baseEncode(decoded.bytes(), decoded.length(), alphabet, true);
  check(encoded.length() == Engine::CalcEncodedLength(n, true));
  for (bool again : {true, false}) {
    const NSData round = Engine::baseDecode(encoded.bytes(), encoded.length(), table, again);
    check(round.length() == n);
    check(same(round.bytes(), decoded.bytes(), n));
  }
  return 0;
}
