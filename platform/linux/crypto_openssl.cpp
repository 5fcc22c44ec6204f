// SHA-256 and random bytes over OpenSSL (platform/crypto.h).
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

#include "platform/crypto.h"

namespace ferry::net {

std::string Sha256(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
  return std::string(reinterpret_cast<const char*>(digest), length);
}

bool RandomBytes(std::size_t count, std::string* out) {
  out->assign(count, '\0');
  if (count > INT_MAX) return false;
  return RAND_bytes(reinterpret_cast<unsigned char*>(out->data()), static_cast<int>(count)) == 1;
}

}  // namespace ferry::net
