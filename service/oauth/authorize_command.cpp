#include "service/oauth/authorize_command.h"

#include <chrono>

#include "platform/store_location.h"
#include "service/oauth/run_sign_in.h"
#include "service/runtime/config_store.h"

namespace ferry {

int AuthorizeAccount(const std::string& connectionName, const std::string& accountName, const oauth::Say& say,
                     const oauth::PollWait& wait, int browserWaitMs) {
  const std::string name = connectionName + "\\" + accountName;
  if (!reg::StoreExists()) {
    say("no settings store at " + reg::StoreLocation());
    return 1;
  }
  AccountSettings settings;
  settings.connectionName = connectionName;
  settings.accountName = accountName;
  LoadSettings(settings);
  const oauth::OAuthClient client = OAuthClientOf(settings);
  if (client.tokenEndpoint.empty() || client.clientId.empty()) {
    say("account " + name + " has no \"OAuth Token URL\" or no \"OAuth Client ID\"");
    return 1;
  }
  if (client.deviceEndpoint.empty() && client.authorizationEndpoint.empty()) {
    say("account " + name + " has neither \"OAuth Device URL\" nor \"OAuth Authorize URL\"");
    return 1;
  }
  say("Authorising account " + name + " at " + client.tokenEndpoint);
  const oauth::GrantOutcome outcome =
      !client.deviceEndpoint.empty() ? oauth::AuthorizeWithDevice(client, say, wait)
                                     : oauth::AuthorizeWithBrowser(client, settings.popUser, say, browserWaitMs);
  if (outcome.result != oauth::GrantResult::Granted) {
    say("account " + name + " is not authorised: " + outcome.text);
    return 1;
  }
  if (outcome.token.refreshToken.empty()) {
    say("account " + name + " is not authorised: the server sent no refresh token (does \"OAuth Scope\" ask for "
        "offline access?)");
    return 1;
  }
  const AccountSettings before = settings;
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch());
  settings.oauthRefreshToken = outcome.token.refreshToken;
  settings.oauthAccessToken = outcome.token.accessToken;
  settings.oauthAccessExpiry =
      outcome.token.expiresIn > 0 ? static_cast<uint32_t>(now.count() + outcome.token.expiresIn) : 0;
  if (WriteRunState(settings, before) > 0) {
    say("account " + name + " was authorised, but the token could not be written to the store " +
        reg::StoreLocation());
    return 1;
  }
  say("Account " + name + " is authorised; its runs sign in with the stored token from now on.");
  return 0;
}

}  // namespace ferry
