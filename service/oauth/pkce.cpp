#include "service/oauth/pkce.h"

#include "platform/crypto.h"
#include "service/oauth/sasl_bearer.h"

namespace ferry::oauth {

std::string PkceChallenge(std::string_view verifier) { return Base64Url(net::Sha256(verifier)); }

bool NewPkcePair(PkcePair* pair) {
  std::string random;
  if (!net::RandomBytes(32, &random)) return false;
  pair->verifier = Base64Url(random);
  pair->challenge = PkceChallenge(pair->verifier);
  return true;
}

std::string NewState() {
  std::string random;
  if (!net::RandomBytes(16, &random)) return {};
  return Base64Url(random);
}

}  // namespace ferry::oauth
