// The two cryptographic primitives the sign-in needs from the system:
// SHA-256 and random bytes from the system's generator. linux/crypto_openssl.cpp
// (OpenSSL) and win32/crypto_bcrypt.cpp (BCrypt).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ferry::net {

// The 32 bytes of the SHA-256 digest of `bytes`.
std::string Sha256(std::string_view bytes);

// `count` bytes from the system's cryptographic generator; false when it
// failed (then nothing may be built on `out`).
bool RandomBytes(std::size_t count, std::string* out);

}  // namespace ferry::net
