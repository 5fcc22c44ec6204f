#include "service/transfer/smtp_session_open.h"

#include <string>

#include "service/transfer/address_rules.h"
#include "service/transfer/capability_lines.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/ehlo_name.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_exchange.h"
#include "service/transfer/smtp_login.h"
#include "service/transfer/tls_modes.h"
#include "service/transfer/tls_start.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_report.h"
#include "service/transfer/transfer_ports.h"

namespace ferry {
namespace {

constexpr int kReadyToStartTls = 220;

// EHLO, and HELO with the same name when the server does not know EHLO. The
// reply as kept goes to `*reply`.
EhloCapabilities Hello(RunContext& context, const std::string& name, std::string* reply) {
  EhloCapabilities server;
  *reply = Exchange(context, "EHLO " + name + "\r\n", "EHLO");
  int code = SmtpReplyCode(*reply);
  if (code >= 500 && code <= 599) {
    context.LogText(3, *reply);
    *reply = Exchange(context, "HELO " + name + "\r\n", "HELO");
  } else if (code == 250) {
    server = ParseEhloReply(*reply);
  }
  CheckSmtpReply(context, *reply);
  context.LogText(3, *reply);
  return server;
}

}  // namespace

EhloCapabilities OpenSmtpSession(RunContext& context) {
  const AccountSettings& s = context.settings;
  if (context.smtpChannel.Connect(s.smtpHost, SmtpPortFor(s.smtpPort, s.smtpSecurity)) != 0) {
    Raise(kErrorNoConnection);
  }
  if (s.smtpSecurity == kSecurityImplicit) StartTlsOrRaise(context, context.smtpChannel, s.smtpHost, "SMTP");

  Reply greeting = ReadSmtpReply(context, context.smtpChannel);
  RequireWhole(context, greeting, "greeting");
  context.LogText(3, Kept(greeting.text, kGreetingKept));

  std::string name = EhloName(context);
  std::string reply;
  EhloCapabilities server = Hello(context, name, &reply);
  SmtpOffers offers = ParseSmtpOffers(reply);

  // STARTTLS alone, its reply the last plaintext read (what follows it is
  // dropped with the start of TLS), then EHLO again: what was announced in
  // clear counts no more.
  const bool wantsStartTls = s.smtpSecurity == kSecurityWhenOffered || s.smtpSecurity == kSecurityStartTls;
  if (wantsStartTls && offers.startTls) {
    std::string answer = Exchange(context, "STARTTLS\r\n", "STARTTLS");
    context.LogText(3, answer);
    if (SmtpReplyCode(answer) == kReadyToStartTls) {
      StartTlsOrRaise(context, context.smtpChannel, s.smtpHost, "SMTP", s.smtpSecurity == kSecurityWhenOffered);
      server = Hello(context, name, &reply);
      offers = ParseSmtpOffers(reply);
    } else if (s.smtpSecurity == kSecurityStartTls) {
      RaiseNotOffered(context, s.smtpHost, "SMTP", "STARTTLS");
    }
  } else if (s.smtpSecurity == kSecurityStartTls) {
    RaiseNotOffered(context, s.smtpHost, "SMTP", "STARTTLS");
  }

  if (!s.smtpUser.empty() || s.smtpAuth != 0) SmtpLogin(context, offers);
  return server;
}

}  // namespace ferry
