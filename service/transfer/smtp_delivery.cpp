#include "service/transfer/smtp_delivery.h"

#include <new>
#include <string>

#include "platform/event_log.h"
#include "platform/system_info.h"
#include "service/transfer/address_computation.h"
#include "service/transfer/address_rules.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/size_limits.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_ports.h"
#include "service/transfer/transfer_report.h"

namespace ferry {
namespace {

constexpr int kServiceClosing = 421;
// The text goes out in blocks of this size, each within the block deadline.
constexpr std::size_t kTextBlock = 64 * 1024;
// The most of a text searched for its header block.
constexpr std::size_t kHeaderSearchBytes = 256 * 1024;

// The server answers each command once. Bytes that are already waiting when a
// command or the text is to go out answer nothing that was sent: read as the
// next reply they would put the dialogue out of step, and an acceptance read
// that way would have a message deleted that the server refused.
void RequireInStep(RunContext& context, const char* step) {
  if (!context.smtpChannel.HasPending()) return;
  context.LogText(2, std::string("Protocol failure at ") + step + ": reply out of step");
  Raise(kErrorProtocol);
}

// Sends a command and reads its whole reply within `deadline` (by default that
// of a command); a reply that does not arrive whole, or a 421, ends the
// connection.
std::string Exchange(RunContext& context, std::string_view command, const char* step,
                     std::chrono::milliseconds deadline = {}) {
  RequireInStep(context, step);
  SendCommand(context, context.smtpChannel, command);
  context.LogText(3, std::string(command));
  if (deadline.count() == 0) deadline = context.Deadlines().smtpReply;
  Reply reply = ReadSmtpReply(context, context.smtpChannel, deadline);
  RequireWhole(context, reply, step);
  std::string text = Kept(reply.text, kReplyKept);
  if (SmtpReplyCode(text) == kServiceClosing) {
    context.LogString(2, "SMTP server closing: %s", text);
    Raise(kErrorRejected);
  }
  return text;
}

// For the commands of one message: true when accepted; false when the server
// rejected this message (4xx or 5xx); anything else ends the connection.
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

// After a rejection: log it, and reset the session for the next message.
void Reset(RunContext& context, const MailRecord& record, const std::string& reply) {
  context.LogText(2, "Message " + std::to_string(record.GetNumber()) + " not accepted: " + reply);
  std::string rset = Exchange(context, "RSET\r\n", "RSET");
  CheckSmtpReply(context, rset);
  context.LogText(3, rset);
}

// A message larger than the server announced it takes is not uploaded; the
// first one of the run is reported.
bool OverServerSize(RunContext& context, MailRecord& record, const EhloCapabilities& server) {
  uint64_t size = kXInfoLine.size() + record.Size();
  if (!OverServerSize(server, size)) return false;
  record.tooLargeForServer = true;
  context.LogNumber(2, "Message %d larger than the SMTP server takes: left on the server", record.GetNumber());
  if (!context.serverSizeReported) {
    context.serverSizeReported = true;
    context.Event(kEventMessageOverServerSize, kEventWarning,
                  {context.settings.accountName, std::to_string(record.GetNumber()), std::to_string(size),
                   std::to_string(server.sizeLimit)});
  }
  return true;
}

// The x-info line and the text, block by block, each within the block deadline;
// a send that stalls or runs out of time ends the connection.
void SendText(RunContext& context, const MailRecord& record) {
  TransferReport report = ReportFor(context);
  SendLimit limit = context.Deadlines().Block();
  bool whole = context.smtpChannel.SendAll(kXInfoLine, report, limit) == kXInfoLine.size();
  context.LogText(7, std::string(kXInfoLine));
  if (whole) {
    bool readable = record.ForEachBlock(kTextBlock, [&](std::string_view block) {
      whole = context.smtpChannel.SendAll(block, report, limit) == block.size();
      return whole;
    });
    whole = whole && readable;
  }
  if (context.settings.debugLevel >= 7) context.LogText(7, record.Head(DebugLog::kCut));
  if (!whole) {
    if (context.settings.debugLevel >= 4) context.Event(kEventFailure, "Mail not complete");
    context.LogText(2, "Protocol failure at text: not sent whole");
    Raise(kErrorProtocol);
  }
}

void DeliverOne(RunContext& context, MailRecord& record, const EhloCapabilities& server) {
  if (OverServerSize(context, record, server)) return;
  context.LogText(5, "----- Erstelle CString -----");
  std::string head = record.Head(kHeaderSearchBytes);
  std::string_view block = HeaderBlockOf(head);
  std::string sender = ComputeSender(context, block);
  std::string recipient = ComputeRecipient(context, block);

  if (context.settings.addressmode == 3) {
    std::string reply = Exchange(context, "VRFY " + recipient + "\r\n", "VRFY");
    try {
      CheckSmtpReply(context, reply);
    } catch (const TransferError&) {
      recipient = context.settings.smtpTo;
      context.LogString(5, "Verify :%s", recipient);
    }
    context.LogText(3, reply);
  }

  std::string reply = Exchange(context, "MAIL FROM:<" + EnvelopeAddress(sender) + ">\r\n", "MAIL FROM");
  if (!Accepted(context, reply)) return Reset(context, record, reply);
  context.LogText(3, reply);

  reply = Exchange(context, "RCPT TO:<" + EnvelopeAddress(recipient) + ">\r\n", "RCPT TO");
  if (!Accepted(context, reply)) return Reset(context, record, reply);
  context.LogText(3, reply);

  reply = Exchange(context, "DATA\r\n", "DATA", context.Deadlines().smtpData);
  if (!Accepted(context, reply)) return Reset(context, record, reply);
  context.LogText(3, reply);

  RequireInStep(context, "text");
  SendText(context, record);

  Reply end = ReadSmtpReply(context, context.smtpChannel, context.Deadlines().smtpDataEnd);
  RequireWhole(context, end, "end of data");
  reply = Kept(end.text, kReplyKept);
  if (SmtpReplyCode(reply) == kServiceClosing) Raise(kErrorRejected);
  if (!Accepted(context, reply)) return Reset(context, record, reply);
  RecordAcceptance(context, record, EnvelopeAddress(recipient));  // durable before anything else
  context.LogText(3, reply);
  record.delivered = true;
  ++context.forwardedCount;
}

void Session(RunContext& context) {
  const AccountSettings& s = context.settings;
  if (context.smtpChannel.Connect(s.smtpHost, SmtpPort()) != 0) Raise(kErrorNoConnection);

  Reply greeting = ReadSmtpReply(context, context.smtpChannel);
  RequireWhole(context, greeting, "greeting");
  context.LogText(3, Kept(greeting.text, kGreetingKept));

  // EHLO, and HELO with the same name when the server does not know EHLO.
  std::string name = ComputerName();
  if (name.empty()) name = "localhost";
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

  for (MailRecord& record : context.mailList) {
    if (record.delivered || record.tooLargeForServer || !record.Filled()) continue;
    DeliverOne(context, record, server);
  }

  SendCommand(context, context.smtpChannel, "QUIT\r\n");
  context.LogText(3, "QUIT\r\n");
  Reply bye = ReadSmtpReply(context, context.smtpChannel);
  context.LogText(3, Kept(bye.text, kReplyKept));
}

}  // namespace

int DeliverMessages(RunContext& context) {
  if (context.mailList.empty()) return 0;
  const AccountSettings& s = context.settings;
  context.LogText(1, "--------------- SMTP --------------");
  context.smtpChannel.Create();
  if (s.debugLevel >= 3) context.Event(kEventConnecting, s.smtpHost);
  context.LogString(2, "Connecting to %s:SMTP", s.smtpHost);
  try {
    Session(context);
  } catch (const TransferError&) {
    context.LogText(2, "Protokol SMTP fail!");
  } catch (const std::bad_alloc&) {
    context.LogText(2, "Protokol SMTP fail!");
  }
  context.smtpChannel.Close();
  context.LogText(1, "----------- SMTP Closed  ----------");
  return 0;
}

}  // namespace ferry
