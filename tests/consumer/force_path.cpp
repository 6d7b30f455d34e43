// An application that declares the library's test-only path switches itself
// and calls them, to move AES onto the table path and SHA-1 onto the
// portable one. No installed form of the library may let this link.
#include <cstdint>

enum class NorvekAesPath : int { table = 0 };
bool norvek_aes_force_path(NorvekAesPath path) noexcept;

namespace norvek_internal {
enum class Sha1Path : uint8_t { portable = 1 };
bool sha1_force_path(Sha1Path path) noexcept;
}  // namespace norvek_internal

int main() {
  const bool aes = norvek_aes_force_path(NorvekAesPath::table);
  const bool sha1 = norvek_internal::sha1_force_path(norvek_internal::Sha1Path::portable);
  return aes && sha1 ? 0 : 1;
}
