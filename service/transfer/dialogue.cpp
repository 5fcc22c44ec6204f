#include "service/transfer/dialogue.h"

#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/run_failure.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_report.h"

namespace ferry {

std::size_t SendCommand(RunContext& context, SocketChannel& channel, std::string_view command) {
  return channel.SendAll(command, ReportFor(context), context.Deadlines().Command());
}

Reply ReadPop3Status(RunContext& context, SocketChannel& channel) {
  TransferDeadlines d = context.Deadlines();
  return ReadReply(channel, Pop3StatusLength, kMaxStatusReply, ReportFor(context), d.Reply(d.pop3Reply));
}

Reply ReadSmtpReply(RunContext& context, SocketChannel& channel) {
  return ReadSmtpReply(context, channel, context.Deadlines().smtpReply);
}

Reply ReadSmtpReply(RunContext& context, SocketChannel& channel, std::chrono::milliseconds whole) {
  return ReadReply(channel, SmtpReplyLength, kMaxSmtpReply, ReportFor(context), ReceiveLimit{whole, {}, {}, 0});
}

std::string Kept(std::string_view text, std::size_t capacity) { return std::string(text.substr(0, capacity)); }

void RequireWhole(RunContext& context, const Reply& reply, const char* step) {
  if (reply.Whole()) return;
  const char* why = reply.end == ReplyEnd::Closed    ? "connection closed"
                    : reply.end == ReplyEnd::TooLong ? "reply too long"
                                                     : "no reply";
  context.LogText(2, std::string("Protocol failure at ") + step + ": " + why);
  if (context.failedReason.empty()) NoteFailure(context, step, ReplyFailureText(reply, step, {}, 0));
  Raise(kErrorProtocol);
}

}  // namespace ferry
