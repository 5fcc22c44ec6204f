// "mailferry2 -authorize" against the loopback authorization server, on a
// throwaway store: the device grant and the browser grant with its loopback
// redirect put the refresh token in the account's entry, and the worker's
// next run signs in with it and stores the rotated one.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_client.h"
#include "platform/system_info.h"
#include "service/oauth/authorize_command.h"
#include "service/oauth/sasl_bearer.h"
#include "service/runtime/account_worker.h"
#include "service/transfer/transfer_ports.h"
#include "tests/peers/authorization_server.h"
#include "tests/peers/pop3_peer.h"
#include "tests/peers/smtp_peer.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

const std::string kAccount = schema::AccountKey("NORAS", "Postfach");

class AuthorizeTest : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    PutAccount("NORAS", "Postfach", 1);
    PutString(kAccount, schema::kOAuthTokenUrl, server_.TokenUrl());
    PutString(kAccount, schema::kOAuthClientId, server_.ClientId());
    PutString(kAccount, schema::kOAuthScope, "mail offline_access");
    PutString(kAccount, schema::kTlsCaFile, SharedTestPki().CaFile());
    PutString(kAccount, schema::kPopUser, "anna");
  }
  void TearDown() override {
    SetEnvironment(kPop3PortEnvironmentVariable, "");
    SetEnvironment(kSmtpPortEnvironmentVariable, "");
    TempHiveTest::TearDown();
  }
  oauth::Say Collect() {
    return [this](const std::string& line) {
      std::lock_guard lock(mutex_);
      said_.push_back(line);
    };
  }
  std::vector<std::string> Said() {
    std::lock_guard lock(mutex_);
    return said_;
  }
  std::string Stored(const char* name) { return GetValue(reg::LocalMachine(), kAccount, name).bytes; }

  AuthorizationServer server_{SharedTestPki()};
  std::mutex mutex_;
  std::vector<std::string> said_;
};
TEST_F(AuthorizeTest, DeviceGrantThenAWorkerRunWithTheRotatedToken) {
  PutString(kAccount, schema::kOAuthDeviceUrl, server_.DeviceUrl());
  server_.ScriptDevicePolls(2, {1});
  int waits = 0;
  ASSERT_EQ(AuthorizeAccount("NORAS", "Postfach", Collect(), [&](int64_t) { return ++waits, true; }, 1000), 0);
  EXPECT_EQ(waits, 3);
  bool shown = false;
  for (const std::string& line : Said()) shown |= line.find("FERRY-42") != std::string::npos;
  EXPECT_TRUE(shown);
  EXPECT_EQ(Stored(schema::kOAuthRefreshToken), "refresh-1");

  // The cached access token is left to expire: the run refreshes.
  PutDword(kAccount, schema::kOAuthAccessExpiry, 1);
  Pop3PeerOptions mailbox;
  mailbox.auth = [this](const std::string& mechanism, const std::string& response) {
    std::string text;
    return mechanism == "XOAUTH2" && oauth::Base64Decode(response, &text) &&
           text == "user=anna\x01" "auth=Bearer access-2\x01\x01" && server_.AccessTokenValid("access-2");
  };
  Pop3Peer pop({"Subject: eins\r\n\r\nHallo.\r\n"}, mailbox);
  SmtpPeer smtp;
  PutString(kAccount, schema::kPopHost, pop.Host());
  PutString(kAccount, schema::kSmtpHost, smtp.Host());
  PutString(kAccount, schema::kSmtpTo, "postmaster@office.example");
  PutString(kAccount, schema::kSmtpFrom, "gateway@office.example");
  PutDword(kAccount, schema::kPopAuth, 1);
  SetEnvironment(kPop3PortEnvironmentVariable, std::to_string(pop.Port()));
  SetEnvironment(kSmtpPortEnvironmentVariable, std::to_string(smtp.Port()));
  StartAccountWorker("NORAS", "Postfach");
  ASSERT_TRUE(WaitForWorkers(std::chrono::seconds(30)));
  EXPECT_EQ(smtp.Mails().size(), 1u);
  EXPECT_EQ(Stored(schema::kOAuthRefreshToken), "refresh-2");
  EXPECT_EQ(Stored(schema::kOAuthAccessToken), "access-2");
}

// The browser grant: a stray request to the loopback port is ignored, the
// redirect with the right state gives the code, and the code needs the
// verifier whose challenge was in the printed URL.
TEST_F(AuthorizeTest, BrowserGrantWithLoopbackRedirect) {
  PutString(kAccount, schema::kOAuthAuthorizeUrl, "https://localhost/authorize");
  auto result = std::async(std::launch::async, [&] {
    return AuthorizeAccount("NORAS", "Postfach", Collect(), [](int64_t) { return false; }, 20000);
  });
  std::string url;
  for (int i = 0; i < 500 && url.empty(); ++i) {
    for (const std::string& line : Said()) {
      if (line.starts_with("https://localhost/authorize?")) url = line;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_FALSE(url.empty());
  auto query = FormFields(url.substr(url.find('?') + 1));
  EXPECT_EQ(query["client_id"], server_.ClientId());
  EXPECT_EQ(query["code_challenge_method"], "S256");
  EXPECT_EQ(query["login_hint"], "anna");
  ASSERT_TRUE(query["redirect_uri"].starts_with("http://127.0.0.1:"));
  server_.IssueCode("code-7", query["code_challenge"]);

  net::HttpRequest request;
  request.timeoutMs = 5000;
  request.url = query["redirect_uri"] + "favicon.ico";
  net::HttpResponse response;
  std::string error;
  ASSERT_TRUE(net::HttpExchange(request, &response, &error)) << error;
  request.url = query["redirect_uri"] + "?code=code-7&state=" + net::PercentEncode(query["state"]);
  ASSERT_TRUE(net::HttpExchange(request, &response, &error)) << error;
  EXPECT_NE(response.body.find("authorised"), std::string::npos);

  EXPECT_EQ(result.get(), 0);
  EXPECT_EQ(Stored(schema::kOAuthRefreshToken), "refresh-1");
}

TEST_F(AuthorizeTest, NothingIsStoredWhenTheUserDeniesOrTheSettingsLackTheServer) {
  PutString(kAccount, schema::kOAuthDeviceUrl, server_.DeviceUrl());
  server_.ScriptDevicePolls(1000, {});
  EXPECT_EQ(AuthorizeAccount("NORAS", "Postfach", Collect(), [](int64_t) { return false; }, 1000), 1);
  EXPECT_FALSE(GetValue(reg::LocalMachine(), kAccount, schema::kOAuthRefreshToken).present);
  PutString(kAccount, schema::kOAuthClientId, "");
  EXPECT_EQ(AuthorizeAccount("NORAS", "Postfach", Collect(), [](int64_t) { return true; }, 1000), 1);
  EXPECT_NE(Said().back().find("OAuth Client ID"), std::string::npos);
}

}  // namespace
}  // namespace ferry::test
