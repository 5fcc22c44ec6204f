// SHA-256 and random bytes over BCrypt (platform/crypto.h).
#include <windows.h>
#include <bcrypt.h>

#include "platform/crypto.h"

namespace ferry::net {

std::string Sha256(std::string_view bytes) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return {};
  std::string digest(32, '\0');
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool done = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
              BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                             static_cast<ULONG>(bytes.size()), 0) == 0 &&
              BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), 32, 0) == 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return done ? digest : std::string();
}

bool RandomBytes(std::size_t count, std::string* out) {
  out->assign(count, '\0');
  return BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(out->data()), static_cast<ULONG>(count),
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

}  // namespace ferry::net
