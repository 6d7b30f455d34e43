#!/usr/bin/env bash
# Checks the linkage and widths of the exported symbols of the relocatable
# object: plain (C) names exactly where callers expect them, type-encoded
# names with the exact argument types elsewhere, no test-only switch
# reachable, every COMDAT group still foldable by the final link. Each
# archive given after it (the installed one) must define exactly the same
# globals, so no switch either.
#   check_symbols.sh norvek_crypto.o [libnorvek_crypto.a ...]
set -euo pipefail
# readelf translates its group headings; the awk below reads the English ones.
export LC_ALL=C
[ $# -ge 1 ] || { echo "usage: $0 OBJECT [ARCHIVE...]"; exit 2; }
for file in "$@"; do [ -f "$file" ] || { echo "no such file: $file"; exit 1; }; done
failures=0

# Both look in $raw, $demangled and $bare, the symbol lists check_exports reads,
# with the shell's own matching (a few hundred lookups, no process each).
# Symbol names hold no spaces, so " T name" ending a line is the whole line
# after its address.
expect_plain() {  # unmangled text symbol
  if [[ $raw$'\n' != *" T $1"$'\n'* ]]; then echo "missing plain symbol: $1"; failures=$((failures + 1)); fi
}
expect_cxx() {  # type-encoded symbol, given demangled with its kind letter
  local kind="$1" name="$2"
  if [[ $demangled != *" $kind $name"* || $'\n'$bare$'\n' != *$'\n'"$name"$'\n'* ]]; then
    echo "missing type-encoded symbol: $kind $name"; failures=$((failures + 1))
  fi
  if [[ $raw$'\n' == *" $kind ${name%%(*}"$'\n'* ]]; then
    echo "should not have plain linkage: $name"; failures=$((failures + 1))
  fi
}

check_exports() {
  local file="$1" raw demangled bare
  raw=$(nm --defined-only -g "$file")
  # Drop ABI tags ("[abi:cxx11]") that std::string results add to the demangled names.
  demangled=$(nm --defined-only -g -C "$file" | sed 's/\[abi:[a-z0-9]*\]//g')
  bare=$(sed -E 's/^[0-9a-f]+ [A-Za-z] //' <<<"$demangled")

  for f in set_encrypt_key set_decrypt_key encrypt decrypt cbc_encrypt cbc_decrypt PKCS7Padding \
           get_PKCS7Padding_length_by_data_length get_PKCS7Padding_length_by_data; do
    expect_plain "norvek_AES_${f}KQZP"
  done
  for f in sha1_Init_ sha1_Update_ sha1_Final_ sha1_ hmac_sha1_; do
    expect_plain "norvek_crypto_${f}KQZP"
  done

  expect_cxx T "norvek_crypto_SHA1_block(norvek_crypto_shastate_st_KQZP*, unsigned long const*, int)"
  expect_cxx T "norvek_crypto_sha1_Transform(norvek_crypto_shastate_st_KQZP*, unsigned char const*)"
  expect_cxx T "norvek_crypto_base64_encodeKQZP(unsigned char const*, unsigned long, char*, unsigned long*)"
  expect_cxx T "norvek_crypto_base64_decodeKQZP(char const*, unsigned long, unsigned char*, unsigned long*)"

  ns=NorvekCryptoSpace
  for n in $(seq 1 46); do
    expect_cxx T "$ns::norvek_crypto_enc_$n(unsigned char*, unsigned long)"
    expect_cxx T "$ns::norvek_crypto_dec_$n(unsigned char*, unsigned long)"
  done
  expect_cxx D "$ns::NORVEK_BIT_MASK"
  expect_cxx D "$ns::NORVEK_SIGN_DATA_KEY"

  buf="$ns::CNorVekXBuffer"
  for sig in "CNorVekXBuffer()" "CNorVekXBuffer(unsigned long)" "CNorVekXBuffer(char const*)" \
             "CNorVekXBuffer(unsigned char const*, unsigned long)" "CNorVekXBuffer($buf const&)" \
             "~CNorVekXBuffer()" "operator=($buf const&)" "release()" "_copy(unsigned char const*, unsigned long)" \
             "resize(unsigned long)" "clear()" "getAt(unsigned long) const" "setAt(unsigned long, unsigned char)" \
             "append($buf const&)" "compare($buf const&) const" "toStringBuffer() const"; do
    expect_cxx T "$buf::$sig"
  done
  expect_cxx T "$ns::norvek_crypto_Hex2Bin(char*, unsigned long, unsigned char*, unsigned long&)"
  expect_cxx T "$ns::norvek_crypto_Bin2Hex(unsigned char const*, unsigned long, char*, unsigned long&)"
  for f in Hex2Bin Bin2Hex DecodeBase64 EncodeBase64; do
    expect_cxx T "$ns::norvek_crypto_$f($buf const&)"
  done
  expect_cxx T "$ns::DumpBuffer($buf const&)"
  expect_cxx T "$ns::CNorVekXURL::encodeURIComponent($buf&)"
  expect_cxx T "$ns::norvek_crypto_NSData2Buffer(NSData const&)"
  expect_cxx T "$ns::norvek_crypto_Buffer2NSData($buf const&)"

  helper="$ns::CNorVekXCryptoHelper"
  for sig in "CNorVekXCryptoHelper()" \
             "DynEncrypt(int const*, int, $buf const&, $buf&)" "DynDecrypt(int const*, int, $buf const&, $buf&)" \
             "DynEncryptEx(int const*, int, $buf const&, $buf&)" "DynDecryptEx(int const*, int, $buf const&, $buf&)" \
             "Encrypt($buf const&, $buf const&, $buf&)" "Decrypt($buf const&, $buf const&, $buf&)" \
             "Sha1($buf const&)" "HmacSha1($buf const&, $buf const&)" "SignData($buf const&)" "RandBytes(int)" \
             "HOTPex($buf const&, $buf const&, int)" \
             "GenerateID($buf const&, $buf const&, $buf const&, $buf&, int const*, int)" \
             "EncryptAESBySystem(NSData const&, NSString const&)" "DecryptAESBySystem(NSData const&, NSString const&)" \
             "AES256Encrypt(NSData const&, NSString const&)" "AES256Decrypt(NSData const&, NSString const&)"; do
    expect_cxx T "$helper::$sig"
  done

  for sig in "encodeData(NSData const&)" "decodeData(NSData const&)" "encodeBytes(void const*, unsigned long)" \
             "decodeBytes(void const*, unsigned long)" "stringByEncodingData(NSData const&)" \
             "stringByEncodingBytes(void const*, unsigned long)" "decodeString(NSString const&)" \
             "webSafeEncodeData(NSData const&, bool)" "webSafeDecodeData(NSData const&)" \
             "webSafeEncodeBytes(void const*, unsigned long, bool)" "webSafeDecodeBytes(void const*, unsigned long)" \
             "stringByWebSafeEncodingData(NSData const&, bool)" \
             "stringByWebSafeEncodingBytes(void const*, unsigned long, bool)" "webSafeDecodeString(NSString const&)"; do
    expect_cxx T "NorVekXCryptoBase64KQZP::$sig"
  done

}

# The test-only path switches must not be reachable from outside the file.
check_switches() {
  local file="$1" demangled
  demangled=$(nm --defined-only -g -C "$file")
  for hook in norvek_aes_force_path norvek_aes_path_available norvek_aes_current_path \
              sha1_force_path sha1_path_available sha1_current_path; do
    if grep -q "$hook(" <<<"$demangled"; then
      echo "FAIL: test-only switch $hook is global in $file"; failures=$((failures + 1))
    fi
  done
}

# An archive made from the object defines exactly the object's globals.
check_same_exports() {
  local object="$1" archive="$2" diff
  if ! diff=$(diff <(nm --defined-only -g "$object" | cut -d' ' -f2- | sort) \
                   <(nm --defined-only -g "$archive" | grep -E '^[0-9a-f]+ ' | cut -d' ' -f2- | sort)); then
    echo "FAIL: $archive does not define the globals of $object (<: object only, >: archive only):"
    sed 's/^/  /' <<<"$diff" | head -n 20
    failures=$((failures + 1))
  fi
}

# A COMDAT group is kept once per link and the other copies dropped, so the
# symbols in it must stay global: a member made local leaves every other
# object's reference to it dangling (a C or -fno-exceptions program then
# can't link as PIE, and non-PIE resolves it to 0). Locals a compiler puts in
# a group itself are fine (g++'s .cold parts, its C5/D5 group signatures); a
# local with hidden or protected visibility is a hidden global that a
# post-link step made local.
check_comdat() {
  local file="$1" groups bad
  # Members of COMDAT groups only: plain groups (clang's coverage tables) are not folded.
  groups=$(readelf -W -g "$file" | awk '/^COMDAT group section /{c=1; next} /group section \[/{c=0; next}
    c && /^ +\[ *[0-9]+\] / { gsub(/[][]/, " "); print $1 }' | tr '\n' ' ')
  bad=$(readelf -W -s "$file" | awk -v groups="$groups" '
    BEGIN { n = split(groups, g, " "); for (i = 1; i <= n; i++) member[g[i]] = 1 }
    $5 == "LOCAL" && $6 != "DEFAULT" && ($7 in member) { print $8 }')
  if [ -n "$bad" ]; then
    echo "FAIL: COMDAT group member(s) made local in $file:"; sed 's/^/  /' <<<"$bad"
    failures=$((failures + 1))
  fi
}

check_comdat "$1"
check_exports "$1"
check_switches "$1"
for archive in "${@:2}"; do
  check_same_exports "$1" "$archive"
  check_switches "$archive"
done

if [ "$failures" -ne 0 ]; then echo "$failures symbol check(s) failed"; exit 1; fi
echo "exported symbols: all checks passed"
