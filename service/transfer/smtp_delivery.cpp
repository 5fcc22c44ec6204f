#include "service/transfer/smtp_delivery.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/socket.h"
#include "service/transfer/address_computation.h"
#include "service/transfer/address_rules.h"
#include "service/transfer/address_list.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/mailbox_state.h"
#include "service/transfer/message_outcome.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/run_failure.h"
#include "service/transfer/size_limits.h"
#include "service/transfer/smtp_exchange.h"
#include "service/transfer/smtp_session_open.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_report.h"

namespace ferry {
namespace {

// The new connections one delivery opens one after another after the server
// ended one mid-batch, without a message answered in between.
constexpr int kMostReconnects = 3;
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
    NoteFailure(context, "SMTP text", "the text could not be sent: " + SocketErrorWords(net::LastSocketError()));
    Raise(kErrorProtocol);
  }
}

// Whether any byte of the text has its high bit set.
bool HasEightBitBytes(const MailRecord& record) {
  bool found = false;
  record.ForEachBlock(kTextBlock, [&found](std::string_view block) {
    for (char c : block) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        found = true;
        break;
      }
    }
    return !found;
  });
  return found;
}

bool Permanent(const std::string& reply) {
  int code = SmtpReplyCode(reply);
  return code >= 500 && code <= 599;
}

// The replies of one transaction's opening: MAIL, each RCPT, and DATA (empty
// when DATA was not sent).
struct Opening {
  std::string mail;
  std::vector<std::string> rcpt;
  std::string data;
};

// MAIL FROM, one RCPT TO per recipient and DATA: in one write where the
// server takes PIPELINING (the replies read in order), else one by one,
// stopping after a refused MAIL and sending DATA only when a recipient was
// accepted.
Opening Open(RunContext& context, const EhloCapabilities& server, const std::string& mailCommand,
             const std::vector<std::string>& recipients) {
  Opening opening;
  std::chrono::milliseconds dataDeadline = context.Deadlines().smtpData;
  if (server.pipelining) {
    std::string group = mailCommand;
    for (const std::string& recipient : recipients) group += "RCPT TO:" + SmtpPath(recipient) + "\r\n";
    group += "DATA\r\n";
    SendGroup(context, group, "MAIL FROM");
    opening.mail = ReadExchangeReply(context, "MAIL FROM");
    for (std::size_t i = 0; i < recipients.size(); ++i) opening.rcpt.push_back(ReadExchangeReply(context, "RCPT TO"));
    opening.data = ReadExchangeReply(context, "DATA", dataDeadline);
    return opening;
  }
  opening.mail = Exchange(context, mailCommand, "MAIL FROM");
  if (!Accepted(context, opening.mail)) return opening;
  bool any = false;
  for (const std::string& recipient : recipients) {
    opening.rcpt.push_back(Exchange(context, "RCPT TO:" + SmtpPath(recipient) + "\r\n", "RCPT TO"));
    any = Accepted(context, opening.rcpt.back()) || any;
  }
  if (any) opening.data = Exchange(context, "DATA\r\n", "DATA", dataDeadline);
  return opening;
}

// Resets the session after a refusal, without a log line of its own.
void ResetQuietly(RunContext& context) {
  std::string rset = Exchange(context, "RSET\r\n", "RSET");
  CheckSmtpReply(context, rset);
  context.LogText(3, rset);
}

// A message the server would not take: refused for good on a 5xx, else left
// for the next run.
void NotTaken(RunContext& context, const MailRecord& record, std::string_view block, const std::string& reply,
              bool inTransaction) {
  if (!Permanent(reply)) return Reset(context, record, reply);
  if (inTransaction) ResetQuietly(context);
  RefuseMessage(context, record, block, reply);
}

void DeliverOne(RunContext& context, MailRecord& record, const EhloCapabilities& server) {
  if (OverServerSize(context, record, server)) return;
  context.LogText(5, "----- Erstelle CString -----");
  std::string head = record.Head(kHeaderSearchBytes);
  std::string_view block = HeaderBlockOf(head);
  std::string sender = ComputeSender(context, block);
  std::vector<std::string> done = DoneRecipients(context, record);
  std::vector<std::string> recipients = Missing(ComputeRecipients(context, block), done);
  if (recipients.empty()) {
    // Every recipient took the message in earlier runs.
    RecordAcceptance(context, record, done);
    record.delivered = true;
    return;
  }

  if (context.settings.addressmode == 3) {
    for (std::string& recipient : recipients) {
      std::string reply = Exchange(context, "VRFY " + SmtpPath(recipient) + "\r\n", "VRFY");
      try {
        CheckSmtpReply(context, reply);
      } catch (const TransferError&) {
        NoteFailure(context, {}, {});
        recipient = EnvelopeAddress(context.settings.smtpTo);
        context.LogString(5, "Verify :%s", recipient);
      }
      context.LogText(3, reply);
    }
    recipients = Missing(recipients, {});
  }

  std::string mailCommand = "MAIL FROM:" + SmtpPath(sender);
  if (server.eightBitMime && HasEightBitBytes(record)) mailCommand += " BODY=8BITMIME";
  mailCommand += "\r\n";

  Opening opening = Open(context, server, mailCommand, recipients);
  if (!Accepted(context, opening.mail)) return NotTaken(context, record, block, opening.mail, false);
  context.LogText(3, opening.mail);

  std::vector<std::string> accepted;
  std::vector<std::string> refused;  // for good: done with, like the accepted ones
  bool deferred = false;
  std::string lastRefusal;
  for (std::size_t i = 0; i < recipients.size(); ++i) {
    const std::string& reply = opening.rcpt[i];
    if (Accepted(context, reply)) {
      accepted.push_back(recipients[i]);
      context.LogText(3, reply);
    } else if (Permanent(reply)) {
      refused.push_back(recipients[i]);
      lastRefusal = reply;
      context.LogText(2, "Recipient " + recipients[i] + " of message " + std::to_string(record.GetNumber()) +
                             " refused: " + reply);
    } else {
      deferred = true;
      context.LogText(2, "Recipient " + recipients[i] + " of message " + std::to_string(record.GetNumber()) +
                             " refused for now: " + reply);
    }
  }

  bool dataOpen = !opening.data.empty() && Accepted(context, opening.data);
  if (accepted.empty()) {
    if (dataOpen) {
      context.LogText(2, "Protocol failure at DATA: text invited without a recipient");
      Raise(kErrorProtocol);
    }
    ResetQuietly(context);
    std::string fallback = EnvelopeAddress(context.settings.smtpTo);
    bool everyRefused = !deferred && done.empty();
    if (everyRefused && !fallback.empty() && Missing({fallback}, refused).size() == 1) {
      // Every recipient refused for good: the message goes to "SMTP To".
      context.LogString(2, "Every recipient refused: sent to %s", fallback);
      Opening again = Open(context, server, mailCommand, {fallback});
      if (!Accepted(context, again.mail)) return NotTaken(context, record, block, again.mail, false);
      if (!Accepted(context, again.rcpt.front())) {
        if (!again.data.empty() && Accepted(context, again.data)) Raise(kErrorProtocol);
        return NotTaken(context, record, block, again.rcpt.front(), true);
      }
      accepted.push_back(fallback);
      opening = again;
      dataOpen = Accepted(context, opening.data);
    } else if (everyRefused) {
      return RefuseMessage(context, record, block, lastRefusal);
    } else {
      // Some recipients are to be tried again: those refused for good are done.
      if (!refused.empty()) {
        refused.insert(refused.end(), done.begin(), done.end());
        RecordDoneSoFar(context, record, refused);
      }
      context.LogNumber(2, "Message %d left for the next run", record.GetNumber());
      return;
    }
  }
  if (!dataOpen) return NotTaken(context, record, block, opening.data, true);
  context.LogText(3, opening.data);

  RequireInStep(context, "text");
  SendText(context, record);

  std::chrono::milliseconds endDeadline = context.Deadlines().smtpDataEnd;
  Reply end = ReadSmtpReply(context, context.smtpChannel, endDeadline);
  if (!end.Whole()) {
    NoteFailure(context, "SMTP end of data",
                ReplyFailureText(end, "end of data", endDeadline, net::LastSocketError()));
  }
  RequireWhole(context, end, "end of data");
  std::string reply = Kept(end.text, kReplyKept);
  if (SmtpReplyCode(reply) == kSmtpServiceClosing) {
    NoteFailure(context, "SMTP end of data", "the SMTP server ended the session: " + ReplyForEvent(reply));
    Raise(kErrorRejected);
  }
  if (!Accepted(context, reply)) return NotTaken(context, record, block, reply, false);
  std::vector<std::string> finished = done;
  finished.insert(finished.end(), accepted.begin(), accepted.end());
  finished.insert(finished.end(), refused.begin(), refused.end());
  RecordAcceptance(context, record, finished, !deferred);  // durable before anything else
  context.LogText(3, reply);
  record.delivered = !deferred;
  ++context.forwardedCount;
}

// Whether a failure left the connection unusable in a way a new one may mend:
// the server closed the session (421) or a reply did not arrive whole.
bool Reconnectable(const TransferError& error) {
  return error.code == kErrorRejected || error.code == kErrorProtocol;
}

bool Pending(const MailRecord& record) {
  return !record.delivered && !record.tooLargeForServer && record.Filled();
}

void Session(RunContext& context) {
  EhloCapabilities server = OpenSmtpSession(context);
  int reconnects = 0;
  for (auto it = context.mailList.begin(); it != context.mailList.end(); ++it) {
    if (!Pending(*it)) continue;
    try {
      DeliverOne(context, *it, server);
      reconnects = 0;  // the server answered the whole transaction
    } catch (const TransferError& error) {
      auto next = std::find_if(std::next(it), context.mailList.end(), Pending);
      if (!Reconnectable(error) || next == context.mailList.end() || reconnects == kMostReconnects) throw;
      ++reconnects;
      context.LogNumber(2, "SMTP connection lost: reconnect %d", reconnects);
      context.smtpChannel.Close();
      context.smtpChannel.Create();
      server = OpenSmtpSession(context);
      NoteFailure(context, {}, {});
    }
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
  } catch (const TransferError& error) {
    context.LogText(2, "Protokol SMTP fail!");
    if (error.code == kErrorNoConnection && context.failedReason.empty()) {
      NoteConnectFailure(context, "SMTP server", s.smtpHost);
    }
    ReportRunFailure(context, "the SMTP delivery failed");
  } catch (const std::bad_alloc&) {
    context.LogText(2, "Protokol SMTP fail!");
    ReportRunFailure(context, "out of memory in the SMTP delivery");
  }
  context.smtpChannel.Close();
  context.LogText(1, "----------- SMTP Closed  ----------");
  return 0;
}

}  // namespace ferry
