// The grants of RFC 6749 and RFC 8628 a mail account needs, over the HTTP
// client of the platform seam: refresh, authorization code with PKCE, and the
// device authorization grant with its polling. Every request carries the
// client id (and the secret when there is one) in the form body.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "service/oauth/token_response.h"

namespace ferry::oauth {

struct OAuthClient {
  std::string tokenEndpoint;
  std::string deviceEndpoint;
  std::string authorizationEndpoint;
  std::string clientId;
  std::string clientSecret;  // empty for a public client
  std::string scope;
  std::string caFile;  // trusted in addition to the system's roots
  int timeoutMs = 30000;
};

enum class GrantResult {
  Granted,  // `token` holds a bearer access token
  Refused,  // the server said no for good: authorise again
  Failed,   // no usable answer (network, server trouble, malformed): try later
};

struct GrantOutcome {
  GrantResult result = GrantResult::Failed;
  TokenResponse token;
  // For the log and the event: the server's error code and description, or
  // what went wrong on the way. Never holds a token.
  std::string text;
};

// grant_type=refresh_token.
GrantOutcome RefreshGrant(const OAuthClient& client, const std::string& refreshToken);

// grant_type=authorization_code with the PKCE verifier.
GrantOutcome ExchangeCode(const OAuthClient& client, const std::string& code, const std::string& redirectUri,
                          const std::string& verifier);

// The first step of the device grant; false with `error` set when the server
// gave no usable answer.
bool StartDeviceAuthorization(const OAuthClient& client, DeviceAuthorization* device, std::string* error);

// Waits `seconds` before the next poll; false cancels the polling.
using PollWait = std::function<bool(int64_t seconds)>;

// Polls the token endpoint until the user has confirmed (Granted), denied or
// let the code expire (Refused), or the server failed (Failed). Waits the
// device's interval before each poll, 5 s more after every slow_down, and
// gives up once the waits add up to the code's lifetime.
GrantOutcome PollDeviceToken(const OAuthClient& client, const DeviceAuthorization& device, const PollWait& wait);

// The URL the user opens for the authorization-code grant.
std::string AuthorizationUrl(const OAuthClient& client, const std::string& redirectUri, const std::string& state,
                             const std::string& challenge, const std::string& loginHint);

}  // namespace ferry::oauth
