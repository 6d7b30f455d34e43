// GenerateID and HOTPex: lengths and layout. Input: a count (HOTPex digits
// and GenerateID count, mod 16 so out-of-range values are reached), three
// lengths for tag, version and rawid, twelve positions (bytes), then the
// buffers' bytes. Properties:
// - HOTPex gives `digits` bytes for 1..12, else nothing; the key is not read;
//   a shorter code is a prefix of the longer one; bytes 3, 4 and 8 are
//   masked to 7 bits.
// - GenerateID: count outside 4..12 gives an empty result and leaves
//   `verify`; otherwise the result is tag | version | spliced part, of the
//   summed length, and `verify` is HOTPex(tag | version | rawid, count).
//   When the positions rise strictly inside the spliced part, short of its
//   last byte, each code byte sits at its position and the other bytes are
//   rawid in order.
#include <cstdint>
#include <vector>

#include "fuzz_util.h"
#include "norvek/crypto_helper.h"

using fuzz_util::check;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXCryptoHelper;

namespace {

CNorVekXBuffer next_buffer(fuzz_util::Reader& in, size_t want) {
  size_t got = 0;
  const uint8_t* p = in.take(want, got);
  return CNorVekXBuffer(p, got);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_util::Reader in(data, size);
  const int32_t count = in.byte() % 16;
  const size_t tagLength = in.byte() % 8, versionLength = in.byte() % 8, rawLength = in.byte() % 64;
  std::vector<int32_t> positions(12);
  for (int32_t& p : positions) p = in.byte();
  const CNorVekXBuffer tag = next_buffer(in, tagLength);
  const CNorVekXBuffer version = next_buffer(in, versionLength);
  const CNorVekXBuffer rawid = next_buffer(in, rawLength);
  CNorVekXBuffer key;
  size_t keyLength = 0;
  const uint8_t* keyBytes = in.rest(keyLength);
  key = CNorVekXBuffer(keyBytes, keyLength);

  CNorVekXBuffer src(tag);
  src.append(version).append(rawid);
  const CNorVekXBuffer code = CNorVekXCryptoHelper::HOTPex(src, key, count);
  const CNorVekXBuffer full = CNorVekXCryptoHelper::HOTPex(src, CNorVekXBuffer(), 12);
  if (count < 1 || count > 12) {
    check(code.m_nSize == 0);
  } else {
    check(code.m_nSize == static_cast<uint64_t>(count));
    check(fuzz_util::same(code.m_pData, full.m_pData, code.m_nSize));
  }
  check(full.m_nSize == 12 && full.m_pData[3] < 0x80 && full.m_pData[4] < 0x80 &&
        full.m_pData[8] < 0x80);

  const CNorVekXBuffer before("untouched");
  CNorVekXBuffer verify(before);
  const CNorVekXBuffer id =
      CNorVekXCryptoHelper::GenerateID(tag, version, rawid, verify, positions.data(), count);
  if (count < 4 || count > 12) {
    check(id.m_nSize == 0 && verify.compare(before));
    return 0;
  }
  check(verify.compare(code));
  const uint64_t prefix = tag.m_nSize + version.m_nSize;
  check(id.m_nSize == prefix + rawid.m_nSize + static_cast<uint64_t>(count));
  check(fuzz_util::same(id.m_pData, src.m_pData, prefix));

  bool orderly = rawid.m_nSize != 0;
  for (int32_t m = 0; m < count && orderly; ++m) {
    const uint64_t p = static_cast<uint64_t>(positions[m]);
    orderly = p >= prefix && p + 1 < id.m_nSize && (m == 0 || positions[m - 1] < positions[m]);
  }
  if (!orderly) return 0;
  uint64_t r = 0;
  int32_t m = 0;
  for (uint64_t p = prefix; p < id.m_nSize; ++p) {
    if (m < count && static_cast<uint64_t>(positions[m]) == p) {
      check(id.m_pData[p] == code.m_pData[m++]);
    } else {
      check(id.m_pData[p] == rawid.m_pData[r++]);
    }
  }
  check(m == count && r == rawid.m_nSize);
  return 0;
}
