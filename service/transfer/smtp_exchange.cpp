#include "service/transfer/smtp_exchange.h"

#include "platform/socket.h"
#include "service/transfer/address_rules.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/run_failure.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_report.h"

namespace ferry {

void RequireInStep(RunContext& context, const char* step) {
  if (!context.smtpChannel.HasPending()) return;
  context.LogText(2, std::string("Protocol failure at ") + step + ": reply out of step");
  Raise(kErrorProtocol);
}

std::string Exchange(RunContext& context, std::string_view command, const char* step,
                     std::chrono::milliseconds deadline) {
  RequireInStep(context, step);
  SendCommand(context, context.smtpChannel, command);
  context.LogText(3, std::string(command));
  return ReadExchangeReply(context, step, deadline);
}

void SendGroup(RunContext& context, std::string_view commands, const char* step) {
  RequireInStep(context, step);
  if (SendCommand(context, context.smtpChannel, commands) != commands.size()) {
    context.LogText(2, std::string("Protocol failure at ") + step + ": not sent whole");
    Raise(kErrorProtocol);
  }
  context.LogText(3, std::string(commands));
}

std::string ReadExchangeReply(RunContext& context, const char* step, std::chrono::milliseconds deadline) {
  if (deadline.count() == 0) deadline = context.Deadlines().smtpReply;
  Reply reply = ReadSmtpReply(context, context.smtpChannel, deadline);
  if (!reply.Whole()) {
    NoteFailure(context, std::string("SMTP ") + step, ReplyFailureText(reply, step, deadline, net::LastSocketError()));
  }
  RequireWhole(context, reply, step);
  std::string text = Kept(reply.text, kReplyKept);
  if (SmtpReplyCode(text) == kSmtpServiceClosing) {
    NoteFailure(context, std::string("SMTP ") + step, "the SMTP server ended the session: " + ReplyForEvent(text));
    context.LogString(2, "SMTP server closing: %s", text);
    Raise(kErrorRejected);
  }
  return text;
}

bool Accepted(RunContext& context, const std::string& reply) {
  try {
    CheckSmtpReply(context, reply);
    return true;
  } catch (const TransferError&) {
    int code = SmtpReplyCode(reply);
    if (code >= 400 && code <= 599) return false;
    throw;
  }
}

}  // namespace ferry
