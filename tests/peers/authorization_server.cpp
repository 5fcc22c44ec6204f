#include "tests/peers/authorization_server.h"

#include "service/oauth/pkce.h"
#include "service/oauth/redirect_request.h"

namespace ferry::test {
namespace {

HttpsAnswer Json(int status, const std::string& body) {
  return HttpsAnswer{status, "Content-Type: application/json\r\nCache-Control: no-store\r\n", body};
}

HttpsAnswer Error(const std::string& error) { return Json(400, R"({"error":")" + error + R"("})"); }

}  // namespace

std::map<std::string, std::string> FormFields(const std::string& body) {
  std::map<std::string, std::string> fields;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string pair = body.substr(start, end - start);
    const auto equals = pair.find('=');
    if (equals != std::string::npos) fields[oauth::FormDecode(pair.substr(0, equals))] = oauth::FormDecode(pair.substr(equals + 1));
    start = end + 1;
  }
  return fields;
}

AuthorizationServer::AuthorizationServer(const TestPki& pki, std::string userName)
    : userName_(std::move(userName)),
      peer_(pki, [this](const HttpsRequest& request) { return Answer(request); }) {}

void AuthorizationServer::ScriptDevicePolls(int pendingPolls, std::set<int> slowDownPolls) {
  std::lock_guard lock(mutex_);
  pendingPolls_ = pendingPolls;
  slowDownPolls_ = std::move(slowDownPolls);
  polls_ = 0;
}

void AuthorizationServer::IssueCode(const std::string& code, const std::string& challenge) {
  std::lock_guard lock(mutex_);
  codes_[code] = challenge;
}

void AuthorizationServer::GrantRefreshToken(const std::string& refreshToken) {
  std::lock_guard lock(mutex_);
  refreshTokens_.insert(refreshToken);
}

void AuthorizationServer::RevokeAll() {
  std::lock_guard lock(mutex_);
  refreshTokens_.clear();
  accessTokens_.clear();
}

void AuthorizationServer::SetLifetime(int seconds) {
  std::lock_guard lock(mutex_);
  lifetime_ = seconds;
}

bool AuthorizationServer::AccessTokenValid(const std::string& accessToken) const {
  std::lock_guard lock(mutex_);
  return accessTokens_.count(accessToken) != 0;
}

void AuthorizationServer::SetTokenPadding(std::size_t characters) {
  std::lock_guard lock(mutex_);
  padding_ = characters;
}

int AuthorizationServer::TokensIssued() const {
  std::lock_guard lock(mutex_);
  return issued_;
}

HttpsAnswer AuthorizationServer::Issue() {
  ++issued_;
  const std::string access = "access-" + std::to_string(issued_) + std::string(padding_, 'x');
  const std::string refresh = "refresh-" + std::to_string(issued_);
  accessTokens_.insert(access);
  refreshTokens_.insert(refresh);
  return Json(200, R"({"access_token":")" + access + R"(","token_type":"Bearer","expires_in":)" +
                       std::to_string(lifetime_) + R"(,"refresh_token":")" + refresh + R"(","scope":"mail"})");
}

HttpsAnswer AuthorizationServer::Answer(const HttpsRequest& request) {
  std::lock_guard lock(mutex_);
  auto fields = FormFields(request.body);
  if (request.method != "POST") return Error("invalid_request");
  if (request.target == "/introspect") {
    // Dovecot's oauth2 passdb posts token=…; it wants "active" and the user.
    const bool active = accessTokens_.count(fields["token"]) != 0;
    return Json(200, active ? R"({"active":true,"username":")" + UserName() + R"("})" : R"({"active":false})");
  }
  if (fields["client_id"] != ClientId()) return Json(401, R"({"error":"invalid_client"})");
  if (request.target == "/device") {
    return Json(200, R"({"device_code":"device-1","user_code":"FERRY-42","verification_uri":"https://localhost/device",)"
                     R"("expires_in":600,"interval":1})");
  }
  if (request.target != "/token") return Error("invalid_request");
  const std::string grant = fields["grant_type"];
  if (grant == "urn:ietf:params:oauth:grant-type:device_code") {
    if (fields["device_code"] != "device-1") return Error("invalid_grant");
    ++polls_;
    if (slowDownPolls_.count(polls_) != 0) return Error("slow_down");
    if (polls_ <= pendingPolls_) return Error("authorization_pending");
    return Issue();
  }
  if (grant == "authorization_code") {
    auto code = codes_.find(fields["code"]);
    if (code == codes_.end() || oauth::PkceChallenge(fields["code_verifier"]) != code->second) {
      return Error("invalid_grant");
    }
    codes_.erase(code);
    return Issue();
  }
  if (grant == "refresh_token") {
    if (refreshTokens_.erase(fields["refresh_token"]) == 0) return Error("invalid_grant");
    return Issue();
  }
  return Error("unsupported_grant_type");
}

}  // namespace ferry::test
