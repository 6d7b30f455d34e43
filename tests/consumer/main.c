/* A C caller of the plain-linkage functions: known answers from FIPS-197
 * (AES-128), FIPS 180-4 (SHA-1 of "abc") and RFC 2202 (HMAC-SHA1, case 2). */
#include <norvek/aes.h>
#include <norvek/hmac_sha1.h>
#include <norvek/sha1.h>

#include <stdio.h>
#include <string.h>

static int check(const char* what, const uint8_t* got, const char* want_hex, size_t n) {
  char hex[2 * 20 + 1];
  for (size_t i = 0; i < n; ++i) sprintf(hex + 2 * i, "%02x", got[i]);
  if (strcmp(hex, want_hex) == 0) return 0;
  printf("consumer_c: %s gave %s\n", what, hex);
  return 1;
}

int main(void) {
  uint8_t key[16], block[16], out[20];
  for (int i = 0; i < 16; ++i) {
    key[i] = (uint8_t)i;
    block[i] = (uint8_t)(0x11 * i);
  }
  vantel_aes_key_stKQZP schedule;
  int failures = norvek_AES_set_encrypt_keyKQZP(key, 128, &schedule) != 0;
  norvek_AES_encryptKQZP(block, block, &schedule);
  failures += check("AES-128", block, "69c4e0d86a7b0430d8cdb78070b4c55a", 16);

  norvek_crypto_shastate_st_KQZP ctx;
  norvek_crypto_sha1_Init_KQZP(&ctx);
  norvek_crypto_sha1_Update_KQZP(&ctx, "abc", 3);
  norvek_crypto_sha1_Final_KQZP(out, &ctx);
  failures += check("SHA-1", out, "a9993e364706816aba3e25717850c26c9cd0d89d", 20);

  const char* msg = "what do ya want for nothing?";
  norvek_crypto_hmac_sha1_KQZP((const uint8_t*)msg, strlen(msg), (const uint8_t*)"Jefe", 4, out);
  failures += check("HMAC-SHA1", out, "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79", 20);

  puts(failures ? "consumer_c: FAILED" : "consumer_c: ok");
  return failures != 0;
}
