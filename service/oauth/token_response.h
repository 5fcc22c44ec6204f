// Reading the JSON answers of an authorization server: the token endpoint's
// (RFC 6749 5.1 and 5.2) and the device-authorization endpoint's (RFC 8628
// 3.2). Pure and bounded: any bytes are accepted, nothing is trusted.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ferry::oauth {

// The members of a top-level JSON object whose values are strings, numbers or
// booleans, as text (strings unescaped to UTF-8, numbers as written, true and
// false as words). Nested objects and arrays are checked and skipped. Nothing
// when the text is not one JSON object, is longer than kMaxJsonBytes, nests
// deeper than kMaxJsonDepth or holds a member twice.
inline constexpr std::size_t kMaxJsonBytes = 64 * 1024;
inline constexpr int kMaxJsonDepth = 16;
std::optional<std::map<std::string, std::string>> ReadJsonMembers(std::string_view json);

// A token endpoint's answer.
struct TokenResponse {
  std::string accessToken;
  std::string tokenType;
  std::string refreshToken;  // empty when the server sent none (keep the old one)
  int64_t expiresIn = 0;     // seconds; 0 when not given
  std::string scope;
  std::string error;         // "invalid_grant", "authorization_pending", …
  std::string errorDescription;
};

// Nothing when the text is no JSON object, or holds neither an error nor a
// bearer access token.
std::optional<TokenResponse> ReadTokenResponse(std::string_view json);

// A device-authorization endpoint's answer.
struct DeviceAuthorization {
  std::string deviceCode;
  std::string userCode;
  std::string verificationUri;
  std::string verificationUriComplete;
  int64_t expiresIn = 0;
  int64_t interval = 5;  // seconds between polls (RFC 8628: 5 when not given)
};

// Nothing unless device_code, user_code, verification_uri (or Microsoft's
// verification_url) and a positive expires_in are present.
std::optional<DeviceAuthorization> ReadDeviceAuthorization(std::string_view json);

}  // namespace ferry::oauth
