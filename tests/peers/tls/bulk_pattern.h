// The bytes of a bulk TLS exchange between ferry_tls_probe and ferry_tls_peers:
// a pattern that a lost, doubled or reordered record breaks.
#pragma once

#include <cstddef>
#include <string>

namespace ferry::test {

inline std::string BulkPattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
  return bytes;
}

}  // namespace ferry::test
