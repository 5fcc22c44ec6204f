// Account runs that log in with OAuth: the token from the loopback
// authorization server (refreshed, rotated, cached), SASL XOAUTH2 and
// OAUTHBEARER against the scripted POP3 and SMTP peers, and a refused refresh
// that ends the run before the mailbox is touched.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>

#include "service/oauth/sasl_bearer.h"
#include "tests/peers/authorization_server.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {
namespace {

struct MechanismCase {
  const char* name;
  uint32_t popAuth;
  std::size_t tokenPadding;  // long tokens go after the "+" go-ahead
};
void PrintTo(const MechanismCase& c, std::ostream* out) { *out << c.name; }

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

class OAuthRunTest : public TransferTest, public ::testing::WithParamInterface<MechanismCase> {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    server_.GrantRefreshToken("refresh-0");
    settings.popPassword.clear();
    settings.popAuth = GetParam().popAuth;
    settings.oauthTokenUrl = server_.TokenUrl();
    settings.oauthClientId = server_.ClientId();
    settings.oauthRefreshToken = "refresh-0";
    settings.tlsCaFile = SharedTestPki().CaFile();
    server_.SetTokenPadding(GetParam().tokenPadding);
  }
  // The POP3 peer accepts a response that names anna and a token the
  // authorization server issued, in the layout of the mechanism.
  Pop3PeerOptions Mailbox() {
    Pop3PeerOptions options;
    options.auth = [this](const std::string& mechanism, const std::string& response) {
      std::string text;
      if (!oauth::Base64Decode(response, &text)) return false;
      const bool xoauth2 = mechanism == "XOAUTH2";
      const std::string prefix = xoauth2 ? "user=anna\x01" "auth=Bearer " : "n,a=anna,\x01" "host=";
      const auto bearer = text.find("auth=Bearer ");
      if (!text.starts_with(prefix) || bearer == std::string::npos || !text.ends_with("\x01\x01")) return false;
      std::lock_guard lock(mutex_);
      mechanisms_ += mechanism + " ";
      return server_.AccessTokenValid(text.substr(bearer + 12, text.size() - bearer - 14));
    };
    return options;
  }
  std::string Mechanisms() {
    std::lock_guard lock(mutex_);
    return mechanisms_;
  }

  AuthorizationServer server_{SharedTestPki()};
  std::mutex mutex_;
  std::string mechanisms_;
};
// The first run refreshes (and keeps the rotated token), the second uses the
// cached access token without asking the server, a third after the token's
// expiry refreshes again; every run forwards the new mail.
TEST_P(OAuthRunTest, ForwardsWithRefreshedThenCachedThenRenewedToken) {
  const std::string expected = GetParam().popAuth == 1 ? "XOAUTH2" : "OAUTHBEARER";
  Pop3Peer pop({Message("Subject: eins")}, Mailbox());
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);

  ASSERT_EQ(Run(), kRunDone);
  ASSERT_EQ(smtp.Mails().size(), 1u) << Log();
  EXPECT_EQ(Mechanisms(), expected + " ");
  EXPECT_EQ(after.oauthRefreshToken, "refresh-1");
  EXPECT_TRUE(after.oauthAccessToken.starts_with("access-1"));
  EXPECT_GE(int64_t{after.oauthAccessExpiry}, Now() + 3500);
  EXPECT_EQ(pop.Transcript().find("USER"), std::string::npos);
  const std::string command = "AUTH " + expected + (GetParam().tokenPadding > 0 ? "\r\n" : " ");
  EXPECT_NE(pop.Transcript().find(command), std::string::npos) << pop.Transcript();
  EXPECT_EQ(Log().find("access-1"), std::string::npos) << "a token reached the debug log";
  EXPECT_EQ(Log().find("refresh-1"), std::string::npos);

  settings = after;
  pop.Append(Message("Subject: zwei"));
  ASSERT_EQ(Run(), kRunDone);
  EXPECT_EQ(smtp.Mails().size(), 2u);
  EXPECT_EQ(server_.TokensIssued(), 1);

  settings = after;
  settings.oauthAccessExpiry = static_cast<uint32_t>(Now() + 60);  // inside the margin
  pop.Append(Message("Subject: drei"));
  ASSERT_EQ(Run(), kRunDone);
  EXPECT_EQ(smtp.Mails().size(), 3u);
  EXPECT_EQ(after.oauthRefreshToken, "refresh-2");
  EXPECT_EQ(Mechanisms(), expected + " " + expected + " " + expected + " ");
}

// The SMTP login takes the same token with the account's mechanism; the
// user is the POP3 user when "SMTP User" is empty.
TEST_P(OAuthRunTest, SmtpLogsInWithTheSameToken) {
  const std::string mechanism = GetParam().popAuth == 1 ? "XOAUTH2" : "OAUTHBEARER";
  settings.smtpAuth = GetParam().popAuth;
  Pop3Peer pop({Message("Subject: eins")}, Mailbox());
  std::string seen;
  SmtpPeerOptions options;
  options.override = [&](std::string_view line) -> std::optional<PeerReply> {
    if (!line.starts_with("AUTH ")) return std::nullopt;
    std::string text;
    const std::string prefix = "AUTH " + mechanism + " ";
    if (!line.starts_with(prefix) || !oauth::Base64Decode(line.substr(prefix.size(), line.size() - prefix.size() - 2), &text)) {
      return Say("501 5.5.2 malformed\r\n");
    }
    {
      std::lock_guard lock(mutex_);
      seen = text;
    }
    const auto bearer = text.find("auth=Bearer ");
    const bool valid = bearer != std::string::npos && text.find("anna") != std::string::npos &&
                       server_.AccessTokenValid(text.substr(bearer + 12, text.size() - bearer - 14));
    return Say(valid ? "235 2.7.0 accepted\r\n" : "535 5.7.8 refused\r\n");
  };
  {
    // A server that does not announce the mechanism never sees the token.
    SmtpPeer plainOnly(options);
    Use(pop);
    Use(plainOnly);
    Run();
    EXPECT_TRUE(plainOnly.Mails().empty());
    EXPECT_EQ(plainOnly.Transcript().find("AUTH "), std::string::npos) << plainOnly.Transcript();
    EXPECT_NE(Log().find("SMTP login: the server does not offer AUTH " + mechanism), std::string::npos) << Log();
  }
  options.keywords = {"AUTH PLAIN XOAUTH2 OAUTHBEARER"};
  SmtpPeer smtp(options);
  settings = after;
  Use(pop);
  Use(smtp);
  ASSERT_EQ(Run(), kRunDone);
  EXPECT_EQ(smtp.Mails().size(), 1u) << smtp.Transcript();
  std::lock_guard lock(mutex_);
  if (mechanism == "OAUTHBEARER") {
    EXPECT_NE(seen.find("\x01port=" + std::to_string(smtp.Port()) + "\x01"), std::string::npos) << seen;
  } else {
    EXPECT_TRUE(seen.starts_with("user=anna\x01")) << seen;
  }
  EXPECT_EQ(server_.TokensIssued(), 1);
}

// A revoked grant: one error event that says how to authorise again, no
// connection to the mail servers, the stored tokens left as they were.
TEST_P(OAuthRunTest, ARefusedRefreshEndsTheRunBeforeTheMailbox) {
  Pop3Peer pop({Message("Subject: eins")}, Mailbox());
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  server_.RevokeAll();
  ASSERT_EQ(Run(), kRunDone);
  EXPECT_EQ(pop.Connections(), 0);
  EXPECT_EQ(smtp.Connections(), 0);
  EXPECT_EQ(after.oauthRefreshToken, "refresh-0");
  int errors = 0;
  for (const std::string& event : Events()) errors += event.starts_with("73\t") || event.starts_with("65\t");
  EXPECT_EQ(errors, 1);
  EXPECT_TRUE(HasEvent("73\t1\tNORAS\tPostfach\tinvalid_grant"));
}

// A token the POP3 server does not take: the error challenge is answered,
// the login fails, and the message stays.
TEST_P(OAuthRunTest, ATokenThePop3ServerRefusesFailsTheLogin) {
  Pop3PeerOptions options = Mailbox();
  options.auth = [](const std::string&, const std::string&) { return false; };
  Pop3Peer pop({Message("Subject: eins")}, options);
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  ASSERT_EQ(Run(), kRunDone);
  EXPECT_TRUE(smtp.Mails().empty());
  EXPECT_TRUE(pop.Deleted().empty());
  const std::string answer = GetParam().popAuth == 1 ? "\r\n" : "AQ==\r\n";
  EXPECT_NE(pop.Transcript().find(answer + "QUIT"), std::string::npos) << pop.Transcript();
  bool reported = false;
  for (const std::string& event : Events()) reported |= event.starts_with("65\t1\tNORAS\tPostfach\tPOP3 AUTH\t");
  EXPECT_TRUE(reported);
  EXPECT_NE(Log().find("invalid_token"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Mechanisms, OAuthRunTest,
                         ::testing::Values(MechanismCase{"xoauth2", 1, 0}, MechanismCase{"oauthbearer", 2, 0},
                                           MechanismCase{"xoauth2_long_token", 1, 400}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace ferry::test
