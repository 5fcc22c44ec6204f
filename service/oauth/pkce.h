// Proof Key for Code Exchange (RFC 7636) with the S256 method, and the random
// "state" of an authorization request.
#pragma once

#include <string>
#include <string_view>

namespace ferry::oauth {

struct PkcePair {
  std::string verifier;   // 43 characters of the URL-safe base64 alphabet
  std::string challenge;  // BASE64URL(SHA256(verifier))
};

// The challenge of a given verifier (pure).
std::string PkceChallenge(std::string_view verifier);

// A new pair from 32 bytes of the system's generator; false when it failed.
bool NewPkcePair(PkcePair* pair);

// A URL-safe random text of 22 characters for the "state" parameter; empty
// when the generator failed.
std::string NewState();

}  // namespace ferry::oauth
