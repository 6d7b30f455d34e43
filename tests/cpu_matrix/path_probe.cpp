// Prints the AES and SHA-1 paths the library picks on its own on this CPU,
// for the CPU matrix (scripts/cpu_matrix.sh) to compare with what each
// emulated model should get: "aes=aesni sha1=portable".
#include <cstdio>

#include "aes_paths.h"
#include "sha1_paths_param.h"

int main() {
  std::printf("aes=%s sha1=%s\n", norvek_test::aes_path_name(norvek_aes_current_path()),
              norvek_test::sha1_path_name(norvek_internal::sha1_current_path()));
  return 0;
}
