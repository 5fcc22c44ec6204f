#include "service/transfer/smtp_login.h"

#include <string>
#include <string_view>

#include "platform/event_log.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_exchange.h"
#include "service/transfer/tls_modes.h"
#include "service/transfer/tls_start.h"
#include "service/transfer/transfer_error.h"

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

}  // namespace

void SmtpLogin(RunContext& context, const SmtpOffers& offers) {
  const AccountSettings& s = context.settings;
  if (!context.smtpChannel.IsEncrypted()) {
    if (s.smtpSecurity != kSecurityNone) RaiseNotOffered(context, s.smtpHost, "SMTP", "STARTTLS");
    context.LogText(2, "SMTP login without TLS");
    context.Event(kEventLoginWithoutTls, kEventWarning, {s.connectionName, s.accountName, s.smtpHost, s.smtpUser});
  }
  std::string reply;
  if (offers.authPlain) {
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
