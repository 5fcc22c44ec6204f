#include "service/oauth/token_grants.h"

#include <utility>
#include <vector>

#include "platform/http_client.h"

namespace ferry::oauth {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

constexpr std::size_t kMaxAnswerBytes = 64 * 1024;
constexpr int64_t kSlowDownStep = 5;

bool Post(const OAuthClient& client, const std::string& url, Fields fields, net::HttpResponse* response,
          std::string* error) {
  fields.emplace_back("client_id", client.clientId);
  if (!client.clientSecret.empty()) fields.emplace_back("client_secret", client.clientSecret);
  net::HttpRequest request;
  request.method = "POST";
  request.url = url;
  request.headers = {{"Accept", "application/json"}};
  request.body = net::FormEncode(fields);
  request.caFile = client.caFile;
  request.timeoutMs = client.timeoutMs;
  request.maxBodyBytes = kMaxAnswerBytes;
  // A token request is never redirected: the secrets would go elsewhere.
  request.maxRedirects = 0;
  request.acceptGzip = false;
  if (url.rfind("https://", 0) != 0) {
    *error = "the endpoint " + url + " is not an https URL";
    return false;
  }
  return net::HttpExchange(request, response, error);
}

// What an error code means for the account (RFC 6749 5.2, RFC 8628 3.5).
bool IsRefusal(const std::string& error) {
  return error == "invalid_grant" || error == "invalid_client" || error == "unauthorized_client" ||
         error == "access_denied" || error == "expired_token" || error == "invalid_scope";
}

std::string ErrorText(const TokenResponse& token) {
  return token.errorDescription.empty() ? token.error : token.error + " (" + token.errorDescription.substr(0, 200) + ")";
}

GrantOutcome TokenRequest(const OAuthClient& client, Fields fields) {
  GrantOutcome outcome;
  net::HttpResponse response;
  if (!Post(client, client.tokenEndpoint, std::move(fields), &response, &outcome.text)) return outcome;
  auto token = ReadTokenResponse(response.body);
  if (!token) {
    outcome.text = "the token endpoint answered " + std::to_string(response.status) + " without a usable token";
    return outcome;
  }
  outcome.token = *token;
  if (!token->error.empty()) {
    outcome.result = IsRefusal(token->error) ? GrantResult::Refused : GrantResult::Failed;
    outcome.text = ErrorText(*token);
  } else if (response.status != 200) {
    outcome.text = "the token endpoint answered " + std::to_string(response.status);
  } else {
    outcome.result = GrantResult::Granted;
  }
  return outcome;
}

}  // namespace

GrantOutcome RefreshGrant(const OAuthClient& client, const std::string& refreshToken) {
  return TokenRequest(client, {{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}});
}

GrantOutcome ExchangeCode(const OAuthClient& client, const std::string& code, const std::string& redirectUri,
                          const std::string& verifier) {
  return TokenRequest(client, {{"grant_type", "authorization_code"},
                               {"code", code},
                               {"redirect_uri", redirectUri},
                               {"code_verifier", verifier}});
}

bool StartDeviceAuthorization(const OAuthClient& client, DeviceAuthorization* device, std::string* error) {
  net::HttpResponse response;
  Fields fields;
  if (!client.scope.empty()) fields.emplace_back("scope", client.scope);
  if (!Post(client, client.deviceEndpoint, std::move(fields), &response, error)) return false;
  auto read = ReadDeviceAuthorization(response.body);
  if (response.status != 200 || !read) {
    auto token = ReadTokenResponse(response.body);
    *error = "the device authorization endpoint answered " + std::to_string(response.status);
    if (token && !token->error.empty()) *error += ": " + ErrorText(*token);
    return false;
  }
  *device = *read;
  return true;
}

GrantOutcome PollDeviceToken(const OAuthClient& client, const DeviceAuthorization& device, const PollWait& wait) {
  int64_t interval = device.interval;
  int64_t waited = 0;
  for (;;) {
    if (waited + interval > device.expiresIn) {
      GrantOutcome expired;
      expired.result = GrantResult::Refused;
      expired.text = "expired_token (the code was not confirmed in time)";
      return expired;
    }
    if (!wait(interval)) {
      GrantOutcome cancelled;
      cancelled.text = "cancelled";
      return cancelled;
    }
    waited += interval;
    GrantOutcome outcome = TokenRequest(
        client, {{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"}, {"device_code", device.deviceCode}});
    if (outcome.token.error == "authorization_pending") continue;
    if (outcome.token.error == "slow_down") {
      interval += kSlowDownStep;
      continue;
    }
    return outcome;
  }
}

std::string AuthorizationUrl(const OAuthClient& client, const std::string& redirectUri, const std::string& state,
                             const std::string& challenge, const std::string& loginHint) {
  Fields fields = {{"response_type", "code"},      {"client_id", client.clientId}, {"redirect_uri", redirectUri},
                   {"scope", client.scope},        {"state", state},               {"code_challenge", challenge},
                   {"code_challenge_method", "S256"}};
  if (!loginHint.empty()) fields.emplace_back("login_hint", loginHint);
  const char joiner = client.authorizationEndpoint.find('?') == std::string::npos ? '?' : '&';
  return client.authorizationEndpoint + joiner + net::FormEncode(fields);
}

}  // namespace ferry::oauth
