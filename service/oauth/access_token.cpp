#include "service/oauth/access_token.h"

namespace ferry::oauth {

bool CachedTokenGood(const StoredTokens& stored, int64_t now) {
  return !stored.accessToken.empty() && stored.accessExpiry > 0 && now + kExpiryMargin < stored.accessExpiry;
}

AccessOutcome ObtainAccessToken(const OAuthClient& client, const StoredTokens& stored, int64_t now) {
  AccessOutcome outcome;
  outcome.toStore = stored;
  if (CachedTokenGood(stored, now)) {
    outcome.result = GrantResult::Granted;
    outcome.accessToken = stored.accessToken;
    return outcome;
  }
  if (stored.refreshToken.empty()) {
    outcome.result = GrantResult::Refused;
    outcome.text = "no refresh token stored";
    return outcome;
  }
  GrantOutcome grant = RefreshGrant(client, stored.refreshToken);
  outcome.result = grant.result;
  outcome.text = grant.text;
  // A refusal leaves the stored tokens alone: a wrong client secret is also
  // refused, and must not cost the user the authorisation.
  if (grant.result == GrantResult::Granted) {
    outcome.accessToken = grant.token.accessToken;
    outcome.toStore.accessToken = grant.token.accessToken;
    outcome.toStore.accessExpiry = grant.token.expiresIn > 0 ? now + grant.token.expiresIn : 0;
    if (!grant.token.refreshToken.empty()) outcome.toStore.refreshToken = grant.token.refreshToken;
  }
  outcome.changed = !(outcome.toStore == stored);
  return outcome;
}

}  // namespace ferry::oauth
