// Links against the installed package (through its targets, and as the bare
// object built with -fno-exceptions) and checks one known answer.
#include <norvek/norvek_crypto.h>

#include <cstdio>
#include <cstring>

int main() {
  using namespace NorvekCryptoSpace;
  CNorVekXBuffer abc("abc");
  CNorVekXBuffer hex = norvek_crypto_Bin2Hex(CNorVekXCryptoHelper::Sha1(abc));
  const char* expected = "a9993e364706816aba3e25717850c26c9cd0d89d";
  if (hex.m_nSize != 40 || std::memcmp(hex.m_pData, expected, 40) != 0) {
    std::puts("consumer: wrong SHA-1");
    return 1;
  }
  std::puts("consumer: ok");
  return 0;
}
