#include "service/transfer/smtp_login.h"

#include <string>
#include <string_view>

#include "platform/event_log.h"
#include "service/oauth/sasl_bearer.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_exchange.h"
#include "service/transfer/tls_modes.h"
#include "service/transfer/tls_start.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_ports.h"

namespace ferry {
namespace {

constexpr int kAuthContinue = 334;
constexpr int kAuthAccepted = 235;

// One line of the login and its reply; the log shows `logged` instead.
std::string SecretExchange(RunContext& context, std::string_view line, const char* logged) {
  RequireInStep(context, "AUTH");
  if (SendCommand(context, context.smtpChannel, line) < line.size()) Raise(kErrorProtocol);
  context.LogText(3, logged);
  Reply reply = ReadSmtpReply(context, context.smtpChannel);
  RequireWhole(context, reply, "AUTH");
  std::string text = Kept(reply.text, kReplyKept);
  context.LogText(3, text);
  if (SmtpReplyCode(text) == kSmtpServiceClosing) Raise(kErrorRejected);
  return text;
}

// AUTH with the run's OAuth access token and its initial response (RFC 4954);
// an error challenge (334) is answered with the mechanism's empty response,
// and the reply to that is the refusal.
std::string BearerLogin(RunContext& context) {
  const AccountSettings& s = context.settings;
  const auto mechanism = s.smtpAuth == 1 ? oauth::BearerMechanism::Xoauth2 : oauth::BearerMechanism::OauthBearer;
  const std::string name = oauth::MechanismName(mechanism);
  const std::string user = s.smtpUser.empty() ? s.popUser : s.smtpUser;
  const std::string response = oauth::InitialResponse(mechanism, user, s.smtpHost,
                                                      SmtpPortFor(s.smtpPort, s.smtpSecurity), context.accessToken);
  const std::string logged = "AUTH " + name + " ******\r\n";
  std::string reply = SecretExchange(context, "AUTH " + name + " " + response + "\r\n", logged.c_str());
  if (SmtpReplyCode(reply) == kAuthContinue) {
    reply = SecretExchange(context, mechanism == oauth::BearerMechanism::Xoauth2 ? "\r\n" : "AQ==\r\n", "(empty)\r\n");
  }
  return reply;
}

}  // namespace

void SmtpLogin(RunContext& context, const SmtpOffers& offers) {
  const AccountSettings& s = context.settings;
  if (!context.smtpChannel.IsEncrypted()) {
    if (s.smtpSecurity != kSecurityNone) RaiseNotOffered(context, s.smtpHost, "SMTP", "STARTTLS");
    context.LogText(2, "SMTP login without TLS");
    context.Event(kEventLoginWithoutTls, kEventWarning, {s.connectionName, s.accountName, s.smtpHost, s.smtpUser});
  }
  std::string reply;
  if (s.smtpAuth != 0) {
    // The token goes only to a server that announces the mechanism.
    if (!(s.smtpAuth == 1 ? offers.authXoauth2 : offers.authOauthBearer)) {
      context.LogString(2, "SMTP login: the server does not offer AUTH %s", s.smtpAuth == 1 ? "XOAUTH2" : "OAUTHBEARER");
      Raise(kErrorSmtpLogin);
    }
    reply = BearerLogin(context);
  } else if (offers.authPlain) {
    std::string plain;
    plain += '\0';
    plain += s.smtpUser;
    plain += '\0';
    plain += s.smtpPassword;
    reply = SecretExchange(context, "AUTH PLAIN " + Base64(plain) + "\r\n", "AUTH PLAIN ******\r\n");
  } else if (offers.authLogin) {
    reply = SecretExchange(context, "AUTH LOGIN\r\n", "AUTH LOGIN\r\n");
    if (SmtpReplyCode(reply) == kAuthContinue) {
      reply = SecretExchange(context, Base64(s.smtpUser) + "\r\n", "******\r\n");
    }
    if (SmtpReplyCode(reply) == kAuthContinue) {
      reply = SecretExchange(context, Base64(s.smtpPassword) + "\r\n", "******\r\n");
    }
  } else {
    context.LogText(2, "SMTP login: the server offers neither AUTH PLAIN nor AUTH LOGIN");
    Raise(kErrorSmtpLogin);
  }
  if (SmtpReplyCode(reply) != kAuthAccepted) {
    context.LogString(2, "SMTP login refused: %s", reply);
    Raise(kErrorSmtpLogin);
  }
}

}  // namespace ferry
