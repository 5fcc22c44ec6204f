// The access token of a run: the cached one while it is good for a while
// longer, else a new one from the stored refresh token, keeping the rotated
// refresh token when the server sends one.
#pragma once

#include <cstdint>
#include <string>

#include "service/oauth/token_grants.h"

namespace ferry::oauth {

// What the account keeps between runs (values the service owns).
struct StoredTokens {
  std::string refreshToken;
  std::string accessToken;
  int64_t accessExpiry = 0;  // seconds since 1970; 0 when unknown
  bool operator==(const StoredTokens&) const = default;
};

// A cached token is not used in its last two minutes: a login must not race
// its expiry.
inline constexpr int64_t kExpiryMargin = 120;

// Whether `stored` holds an access token good at `now` plus the margin (pure).
bool CachedTokenGood(const StoredTokens& stored, int64_t now);

struct AccessOutcome {
  GrantResult result = GrantResult::Failed;
  std::string accessToken;
  StoredTokens toStore;  // what the account keeps after this step
  bool changed = false;  // toStore differs from what was stored
  std::string text;      // why not, for the log and the event
};

// Refused without any request when no refresh token is stored.
AccessOutcome ObtainAccessToken(const OAuthClient& client, const StoredTokens& stored, int64_t now);

}  // namespace ferry::oauth
