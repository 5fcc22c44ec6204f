#include "service/oauth/run_sign_in.h"

#include "platform/event_log.h"
#include "service/oauth/access_token.h"
#include "service/transfer/event_ids.h"
#include "service/transfer/run_context.h"
#include "service/transfer/run_failure.h"
#include "service/transfer/transfer_error.h"

namespace ferry {

bool UsesOAuth(const AccountSettings& settings) { return settings.popAuth != 0 || settings.smtpAuth != 0; }

oauth::OAuthClient OAuthClientOf(const AccountSettings& settings) {
  oauth::OAuthClient client;
  client.tokenEndpoint = settings.oauthTokenUrl;
  client.deviceEndpoint = settings.oauthDeviceUrl;
  client.authorizationEndpoint = settings.oauthAuthorizeUrl;
  client.clientId = settings.oauthClientId;
  client.clientSecret = settings.oauthClientSecret;
  client.scope = settings.oauthScope;
  client.caFile = !settings.tlsCaFile.empty() ? settings.tlsCaFile : settings.globalTlsCaFile;
  return client;
}

SignInResult PrepareSignIn(RunContext& context, int64_t now) {
  AccountSettings& s = context.settings;
  if (!UsesOAuth(s)) return SignInResult::NotNeeded;
  const oauth::StoredTokens stored{s.oauthRefreshToken, s.oauthAccessToken, s.oauthAccessExpiry};
  const oauth::AccessOutcome outcome = oauth::ObtainAccessToken(OAuthClientOf(s), stored, now);
  if (outcome.changed) {
    // Stored at once: a rotated refresh token is the only one still valid.
    s.oauthRefreshToken = outcome.toStore.refreshToken;
    s.oauthAccessToken = outcome.toStore.accessToken;
    s.oauthAccessExpiry = static_cast<uint32_t>(outcome.toStore.accessExpiry);
    context.StateChanged();
  }
  switch (outcome.result) {
    case oauth::GrantResult::Granted:
      context.accessToken = outcome.accessToken;
      context.LogText(3, outcome.changed ? "OAuth: a new access token was obtained" : "OAuth: the cached access token is used");
      return SignInResult::Ready;
    case oauth::GrantResult::Refused:
      context.LogString(2, "OAuth sign-in refused: %s", outcome.text);
      context.Event(kEventOAuthRefused, kEventError, {s.connectionName, s.accountName, outcome.text});
      context.failure = "OAuth sign-in refused: " + outcome.text;
      return SignInResult::Refused;
    case oauth::GrantResult::Failed: break;
  }
  context.LogString(2, "OAuth token request failed: %s", outcome.text);
  NoteFailure(context, "OAuth token request", outcome.text);
  Raise(kErrorLogin);
}

}  // namespace ferry
