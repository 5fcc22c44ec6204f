#include "service/transfer/smtp_session_open.h"

#include <string>

#include "service/transfer/address_rules.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/ehlo_name.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_exchange.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_report.h"
#include "service/transfer/transfer_ports.h"

namespace ferry {

EhloCapabilities OpenSmtpSession(RunContext& context) {
  const AccountSettings& s = context.settings;
  if (context.smtpChannel.Connect(s.smtpHost, SmtpPort()) != 0) Raise(kErrorNoConnection);

  Reply greeting = ReadSmtpReply(context, context.smtpChannel);
  RequireWhole(context, greeting, "greeting");
  context.LogText(3, Kept(greeting.text, kGreetingKept));

  // EHLO, and HELO with the same name when the server does not know EHLO.
  std::string name = EhloName(context);
  EhloCapabilities server;
  std::string reply = Exchange(context, "EHLO " + name + "\r\n", "EHLO");
  int code = SmtpReplyCode(reply);
  if (code >= 500 && code <= 599) {
    context.LogText(3, reply);
    reply = Exchange(context, "HELO " + name + "\r\n", "HELO");
  } else if (code == 250) {
    server = ParseEhloReply(reply);
  }
  CheckSmtpReply(context, reply);
  context.LogText(3, reply);
  return server;
}

}  // namespace ferry
