// An OAuth 2.0 authorization server on loopback (HTTPS, test CA), written for
// the tests by RFC 6749 and RFC 8628: a device-authorization endpoint, and a
// token endpoint for the device code, authorization code (with PKCE) and
// refresh grants. Refresh tokens rotate on every use; a used or revoked one
// gets invalid_grant. Also answers token introspection (RFC 7662) for a mail
// server that checks the access tokens it is shown.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tests/peers/https_peer.h"

namespace ferry::test {

class AuthorizationServer {
 public:
  // `userName`: whom the introspection answers name as the tokens' owner.
  explicit AuthorizationServer(const TestPki& pki, std::string userName = "office@example.test");

  std::string TokenUrl() const { return peer_.Url("/token"); }
  std::string DeviceUrl() const { return peer_.Url("/device"); }
  std::string IntrospectionUrl() const { return peer_.Url("/introspect"); }

  // The device flow: how many polls answer authorization_pending and which of
  // them answer slow_down first (counted from 1), before the user confirms.
  void ScriptDevicePolls(int pendingPolls, std::set<int> slowDownPolls);
  // An authorization code the user got for `verifierChallenge` (S256).
  void IssueCode(const std::string& code, const std::string& challenge);
  // Makes a refresh token valid, as if granted earlier.
  void GrantRefreshToken(const std::string& refreshToken);
  void RevokeAll();
  // Access tokens issued from now on live this long, and are this many
  // characters longer than their name.
  void SetLifetime(int seconds);
  void SetTokenPadding(std::size_t characters);

  // Whether the token was issued and not revoked.
  bool AccessTokenValid(const std::string& accessToken) const;
  std::vector<HttpsRequest> Requests() const { return peer_.Requests(); }
  int TokensIssued() const;
  std::string ClientId() const { return "ferry-test-client"; }
  const std::string& UserName() const { return userName_; }

 private:
  HttpsAnswer Answer(const HttpsRequest& request);
  HttpsAnswer Issue();

  std::string userName_;
  mutable std::mutex mutex_;
  int pendingPolls_ = 0;
  std::set<int> slowDownPolls_;
  int polls_ = 0;
  std::map<std::string, std::string> codes_;  // code -> challenge
  std::set<std::string> refreshTokens_;
  std::set<std::string> accessTokens_;
  int issued_ = 0;
  int lifetime_ = 3600;
  std::size_t padding_ = 0;
  HttpsPeer peer_;
};

// The form fields of a request body (percent-decoded).
std::map<std::string, std::string> FormFields(const std::string& body);

}  // namespace ferry::test
