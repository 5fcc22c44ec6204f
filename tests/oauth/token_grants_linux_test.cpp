// The grants against the loopback authorization server: the device flow's
// polling, the code exchange with PKCE, refresh with rotation, and what a
// refusal leaves stored.
#include <gtest/gtest.h>

#include <vector>

#include "service/oauth/access_token.h"
#include "service/oauth/pkce.h"
#include "service/oauth/token_grants.h"
#include "tests/peers/authorization_server.h"

namespace ferry::test {
namespace {

using oauth::GrantResult;

class TokenGrantsTest : public ::testing::Test {
 protected:
  oauth::OAuthClient Client() const {
    oauth::OAuthClient client;
    client.tokenEndpoint = server_.TokenUrl();
    client.deviceEndpoint = server_.DeviceUrl();
    client.clientId = server_.ClientId();
    client.scope = "mail offline_access";
    client.caFile = SharedTestPki().CaFile();
    client.timeoutMs = 5000;
    return client;
  }
  std::vector<std::map<std::string, std::string>> TokenRequests() const {
    std::vector<std::map<std::string, std::string>> forms;
    for (const auto& request : server_.Requests()) {
      if (request.target == "/token") forms.push_back(FormFields(request.body));
    }
    return forms;
  }

  AuthorizationServer server_{SharedTestPki()};
};
// Pending, slow_down, pending, then confirmed: every wait is the interval the
// server asked for, grown by 5 s after the slow_down, and the token arrives.
TEST_F(TokenGrantsTest, DeviceFlowPollsAsTheServerAsks) {
  server_.ScriptDevicePolls(3, {2});
  oauth::DeviceAuthorization device;
  std::string error;
  ASSERT_TRUE(oauth::StartDeviceAuthorization(Client(), &device, &error)) << error;
  EXPECT_EQ(device.userCode, "FERRY-42");
  EXPECT_EQ(device.interval, 1);
  std::vector<int64_t> waits;
  auto outcome = oauth::PollDeviceToken(Client(), device, [&](int64_t seconds) {
    waits.push_back(seconds);
    return true;
  });
  ASSERT_EQ(outcome.result, GrantResult::Granted) << outcome.text;
  EXPECT_EQ(outcome.token.accessToken, "access-1");
  EXPECT_EQ(outcome.token.refreshToken, "refresh-1");
  EXPECT_EQ(waits, (std::vector<int64_t>{1, 1, 6, 6}));
  const auto device_form = FormFields(server_.Requests().front().body);
  EXPECT_EQ(device_form.at("scope"), "mail offline_access");
  EXPECT_EQ(device_form.at("client_id"), "ferry-test-client");
}

TEST_F(TokenGrantsTest, DeviceFlowEndsWhenTheCodeExpiresOrIsCancelled) {
  server_.ScriptDevicePolls(1000, {});
  oauth::DeviceAuthorization device{"device-1", "FERRY-42", "https://localhost/device", "", 10, 3};
  int polls = 0;
  auto expired = oauth::PollDeviceToken(Client(), device, [&](int64_t) { return ++polls, true; });
  EXPECT_EQ(expired.result, GrantResult::Refused);
  EXPECT_EQ(polls, 3);  // 3 + 3 + 3 s; a fourth wait would pass the 10 s
  auto cancelled = oauth::PollDeviceToken(Client(), device, [](int64_t) { return false; });
  EXPECT_EQ(cancelled.result, GrantResult::Failed);
  EXPECT_EQ(TokenRequests().size(), 3u);
}

TEST_F(TokenGrantsTest, CodeExchangeNeedsTheMatchingVerifier) {
  oauth::PkcePair pkce;
  ASSERT_TRUE(oauth::NewPkcePair(&pkce));
  server_.IssueCode("code-1", pkce.challenge);
  auto wrong = oauth::ExchangeCode(Client(), "code-1", "http://127.0.0.1:5/", "not-the-verifier-at-all-0123456789abcdefghi");
  EXPECT_EQ(wrong.result, GrantResult::Refused);
  EXPECT_EQ(wrong.token.error, "invalid_grant");
  server_.IssueCode("code-2", pkce.challenge);
  auto right = oauth::ExchangeCode(Client(), "code-2", "http://127.0.0.1:5/", pkce.verifier);
  ASSERT_EQ(right.result, GrantResult::Granted) << right.text;
  EXPECT_EQ(TokenRequests().back().at("redirect_uri"), "http://127.0.0.1:5/");
}

// A run's token: refreshed when the cache is stale, the rotated refresh
// token kept, the cached one used without a request while good, and a revoked
// grant refused without touching what is stored.
TEST_F(TokenGrantsTest, AccessTokenRefreshRotationCacheAndRevocation) {
  server_.GrantRefreshToken("refresh-0");
  oauth::StoredTokens stored{"refresh-0", "", 0};
  const int64_t now = 1'800'000'000;
  auto first = oauth::ObtainAccessToken(Client(), stored, now);
  ASSERT_EQ(first.result, GrantResult::Granted) << first.text;
  EXPECT_TRUE(first.changed);
  EXPECT_EQ(first.toStore, (oauth::StoredTokens{"refresh-1", "access-1", now + 3600}));

  auto cached = oauth::ObtainAccessToken(Client(), first.toStore, now + 3000);
  EXPECT_EQ(cached.accessToken, "access-1");
  EXPECT_FALSE(cached.changed);
  EXPECT_EQ(TokenRequests().size(), 1u);

  auto renewed = oauth::ObtainAccessToken(Client(), first.toStore, now + 3500);
  ASSERT_EQ(renewed.result, GrantResult::Granted) << renewed.text;
  EXPECT_EQ(renewed.toStore.refreshToken, "refresh-2");
  EXPECT_EQ(TokenRequests().back().at("refresh_token"), "refresh-1");

  // The rotated-out token is refused like a revoked one.
  auto reused = oauth::ObtainAccessToken(Client(), first.toStore, now + 3500);
  EXPECT_EQ(reused.result, GrantResult::Refused);
  EXPECT_FALSE(reused.changed);
  EXPECT_NE(reused.text.find("invalid_grant"), std::string::npos);

  server_.RevokeAll();
  auto revoked = oauth::ObtainAccessToken(Client(), renewed.toStore, now + 9000);
  EXPECT_EQ(revoked.result, GrantResult::Refused);
  EXPECT_EQ(revoked.toStore, renewed.toStore);

  oauth::OAuthClient stranger = Client();
  stranger.clientId = "someone-else";
  server_.GrantRefreshToken("refresh-x");
  EXPECT_EQ(oauth::ObtainAccessToken(stranger, {"refresh-x", "", 0}, now).result, GrantResult::Refused);
  EXPECT_EQ(oauth::ObtainAccessToken(Client(), {"", "", 0}, now).result, GrantResult::Refused);
}

TEST_F(TokenGrantsTest, AnUnreachableOrPlainHttpEndpointIsATemporaryFailure) {
  oauth::OAuthClient client = Client();
  client.tokenEndpoint = "http://127.0.0.1:1/token";
  auto plain = oauth::ObtainAccessToken(client, {"refresh-0", "", 0}, 0);
  EXPECT_EQ(plain.result, GrantResult::Failed);
  client.tokenEndpoint = "https://127.0.0.1:1/token";
  auto closed = oauth::ObtainAccessToken(client, {"refresh-0", "", 0}, 0);
  EXPECT_EQ(closed.result, GrantResult::Failed);
  EXPECT_FALSE(closed.text.empty());
}

}  // namespace
}  // namespace ferry::test
