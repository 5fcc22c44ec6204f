#include "service/transfer/smtp_delivery.h"

#include <new>
#include <string>

#include "platform/event_log.h"
#include "service/transfer/address_computation.h"
#include "service/transfer/address_rules.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/size_limits.h"
#include "service/transfer/smtp_exchange.h"
#include "service/transfer/smtp_session_open.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_report.h"

namespace ferry {
namespace {

// The text goes out in blocks of this size, each within the block deadline.
constexpr std::size_t kTextBlock = 64 * 1024;
// The most of a text searched for its header block.
constexpr std::size_t kHeaderSearchBytes = 256 * 1024;

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
  if (SmtpReplyCode(reply) == kSmtpServiceClosing) Raise(kErrorRejected);
  if (!Accepted(context, reply)) return Reset(context, record, reply);
  RecordAcceptance(context, record, EnvelopeAddress(recipient));  // durable before anything else
  context.LogText(3, reply);
  record.delivered = true;
  ++context.forwardedCount;
}

void Session(RunContext& context) {
  EhloCapabilities server = OpenSmtpSession(context);

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
