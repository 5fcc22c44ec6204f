// The sign-in step at the start of an account run that logs in with OAuth:
// the access token from the cache or the refresh grant, the rotated tokens
// handed to the store at once, and the one event of a refused refresh.
#pragma once

#include <cstdint>

#include "service/oauth/token_grants.h"
#include "service/transfer/account_settings.h"

namespace ferry {

class RunContext;

// Whether the account logs in with OAuth on either side.
bool UsesOAuth(const AccountSettings& settings);

// The authorization server and client of the account's settings.
oauth::OAuthClient OAuthClientOf(const AccountSettings& settings);

enum class SignInResult { NotNeeded, Ready, Refused };

// For an account that uses OAuth: puts the access token in
// context.accessToken (Ready), or reports the refusal as one error event and
// answers Refused: the run must end without touching any mail. A server that
// cannot be reached or answers nonsense ends the run like a failed login
// (TransferError kErrorLogin, the reason noted for the run's failure event).
// `now` in seconds since 1970.
SignInResult PrepareSignIn(RunContext& context, int64_t now);

}  // namespace ferry
