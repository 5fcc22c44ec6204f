#include "service/transfer/pop3_retrieval.h"

#include <algorithm>
#include <array>
#include <new>
#include <unordered_set>

#include "platform/event_log.h"
#include "service/tickers/science_ticker.h"
#include "service/transfer/delivery_plan.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/listing_tokens.h"
#include "service/transfer/notice_text.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_delivery.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_ports.h"
#include "service/transfer/transfer_report.h"

namespace ferry {
namespace {

constexpr std::size_t kChunk = 4095;
constexpr std::size_t kNoticeSenderKept = 200;
// Skipped messages reported as events per run (all of them in the debug log).
constexpr int32_t kSkippedEvents = 10;
// Up to this size a listing is searched whole for its end after each receive.
constexpr std::size_t kSmallListing = 64 * 1024;

// Where a LIST or UIDL reply ends. A long one ends with the bytes received so
// far (a server sends nothing after it unasked): only its tail is looked at,
// so that reading a listing of many thousand entries stays linear.
std::size_t ListingLength(std::string_view buffered) {
  if (buffered.size() <= kSmallListing) return Pop3MultiLineLength(buffered);
  std::size_t status = Pop3StatusLength(buffered.substr(0, kSmallListing));
  if (status == 0) return 0;
  if (buffered[0] == '-') return status;
  return buffered.ends_with(kEndOfData) ? buffered.size() : 0;
}

// Sends a POP3 command: the session is out of step until its reply has
// arrived whole. A command not sent whole ends the dialogue.
void SendPop3(RunContext& context, std::string_view command) {
  context.mailbox.inStep = false;
  if (SendCommand(context, context.popChannel, command) < command.size()) {
    context.LogText(2, "Protocol failure: command not sent");
    Raise(kErrorProtocol);
  }
}

// Reads a whole status line; the session is in step again.
Reply ReadStatus(RunContext& context, const char* step) {
  Reply reply = ReadPop3Status(context, context.popChannel);
  RequireWhole(context, reply, step);
  context.mailbox.inStep = true;
  return reply;
}

// Sends a command and reads its status line, which must arrive whole.
std::string Exchange(RunContext& context, const std::string& command, const char* step) {
  SendPop3(context, command);
  return Kept(ReadStatus(context, step).text, kReplyKept);
}

// A whole LIST or UIDL reply (at most kMaxListingBytes).
std::string ReadListing(RunContext& context, const char* step) {
  Reply listing = ReadReply(context.popChannel, ListingLength, kMaxListingBytes, ReportFor(context));
  RequireWhole(context, listing, step);
  context.mailbox.inStep = true;
  return std::move(listing.text);
}

// Closes a connection that is out of step without another command.
void CloseOutOfStep(RunContext& context) {
  context.popChannel.Close();
  context.mailbox.inStep = false;
  context.mailbox.broken = true;
  context.LogText(1, "----------- POP3 Closed (out of step) ----------");
}

// DELE of one message; a negative reply is logged and the session goes on.
void Delete(RunContext& context, int32_t number) {
  std::string command = "DELE " + std::to_string(number) + "\r\n";
  context.LogText(3, command);
  context.LogText(3, Exchange(context, command, "DELE"));
}

// The server's answer to RETR up to and including the end-of-data marker.
// Raises kErrorProtocol when the status is negative, or the connection closes,
// falls silent or sends too much before the marker.
std::string ReadMessage(RunContext& context, int32_t number) {
  SocketChannel& channel = context.popChannel;
  TransferReport report = ReportFor(context);
  std::string text;
  std::array<char, kChunk> chunk{};
  bool statusSeen = false;
  for (;;) {
    long n = channel.Receive(chunk.data(), chunk.size());
    report(n);
    if (n <= 0) {
      context.LogNumber(2, "Message %d incomplete: no end of data", number);
      Raise(kErrorProtocol);
    }
    std::size_t before = text.size();
    text.append(chunk.data(), static_cast<std::size_t>(n));
    if (static_cast<std::size_t>(n) < kChunk) context.LogNumber(9, "RBuf:%d", static_cast<int32_t>(n));
    if (!statusSeen) {
      std::size_t status = Pop3StatusLength(text);
      if (status != 0) {
        statusSeen = true;
        if (text[0] == '-') {
          channel.Unread(std::string_view(text).substr(status));
          context.LogString(2, "RETR refused: %s", Kept(text.substr(0, status), kReplyKept));
          Raise(kErrorProtocol);
        }
      }
    }
    std::size_t end = FindEndOfData(text, before);
    if (end != std::string::npos) {
      channel.Unread(std::string_view(text).substr(end));
      text.resize(end);
      return text;
    }
    if (text.size() > kMaxMessageBytes) {
      context.LogNumber(2, "Message %d too long", number);
      Raise(kErrorProtocol);
    }
  }
}

void SendSenderNotice(RunContext& context, const std::string& received) {
  std::string sender;
  if (!NoticeSender(received, &sender)) return;
  context.Notice(FormatSenderNotice(context.settings.accountName, sender), context.settings.udpPort);
}

// A message the server would not hand out (a negative answer to RETR): left
// on the server for the next run.
void ReportSkipped(RunContext& context, int32_t number, const std::string& reply) {
  const AccountSettings& s = context.settings;
  context.LogText(2, "Message " + std::to_string(number) + " skipped: " + reply);
  if (++context.mailbox.skipped > kSkippedEvents) return;
  context.Event(kEventMessageSkipped, kEventWarning, {s.connectionName, s.accountName, std::to_string(number), reply});
}

// RETR of one listed message into the MailList; `taken` counts the messages
// taken in this session, for the batches of "Max Mails".
void TakeMessage(RunContext& context, const ListingEntry& entry, int32_t* taken) {
  if (entry.outOfStep) context.LogNumber(5, "Read error on Msg %d", entry.number);
  context.LogNumber(5, "%d\t", entry.number);
  context.LogNumber(5, "Message Size:%d\n", entry.size);

  std::string command = "RETR " + std::to_string(entry.number) + "\r\n";
  SendPop3(context, command);
  context.LogText(3, command);

  // A negative answer leaves the session in step: the message is skipped.
  Reply status = ReadStatus(context, "RETR");
  if (status.text.starts_with('-')) {
    ReportSkipped(context, entry.number, Kept(status.text, kReplyKept));
    return;
  }
  context.mailbox.inStep = false;
  context.popChannel.Unread(status.text);
  std::string received = ReadMessage(context, entry.number);
  context.mailbox.inStep = true;
  std::size_t statusLength = Pop3StatusLength(received);
  context.LogText(3, received.substr(0, statusLength));
  std::string_view stored = std::string_view(received).substr(statusLength);
  context.LogNumber(5, "MsgSize:%d", static_cast<int32_t>(stored.size()));
  context.LogText(4, std::string(stored));

  context.LogText(8, "add Message");
  context.mailList.emplace_back();
  try {
    context.mailList.back().SetText(stored, entry.number);
  } catch (...) {
    context.mailList.pop_back();
    throw;
  }

  if (BatchEnds(++*taken, context.settings.maxMails)) {
    DeliverMessages(context);
    if (context.settings.enableWissenschaft != 0) ScanScienceLinks(context);
    PurgeMessages(context);
    if (!context.mailbox.inStep) Raise(kErrorProtocol);
  }
  if (context.settings.enableFromUdp != 0) SendSenderNotice(context, received);
  context.tickerMailCount = entry.number;
}

// Greeting, USER and PASS.
void Login(RunContext& context) {
  const AccountSettings& s = context.settings;
  Reply greeting = ReadStatus(context, "greeting");
  context.LogText(3, Kept(greeting.text, kGreetingKept));

  std::string command = "USER " + s.popUser + "\r\n";
  context.LogText(3, command);
  std::string reply = Exchange(context, command, "USER");
  if (reply.starts_with('-')) Raise(kErrorRejected);
  context.LogText(3, reply);

  command = "PASS " + s.popPassword + "\r\n";
  context.LogText(3, "PASS ******");
  context.LogText(6, command);
  reply = Exchange(context, command, "PASS");
  if (reply.starts_with('-')) Raise(kErrorLogin);
  context.LogText(3, reply);
}

// The session's unique ids (UIDL). False when the server has none.
bool ListIds(RunContext& context, std::vector<UidlEntry>* ids, bool* complete) {
  SendPop3(context, "UIDL\r\n");
  context.LogText(4, "UIDL\r\n");
  std::string listing = ReadListing(context, "UIDL");
  if (listing.starts_with('-')) {
    context.LogText(2, "No unique ids: " + Kept(listing, kReplyKept));
    return false;
  }
  bool tooMany = false;
  *ids = ParseUidlListing(ListingEntries(listing), &tooMany);
  *complete = !tooMany;
  context.LogNumber(4, "%d unique ids", static_cast<int32_t>(ids->size()));
  return true;
}

// Learns the session's unique ids, brings the ledger up to date with them
// (pruned only after a complete listing, then compacted), and tells which
// listed numbers are not to be fetched in this run. DELE for the messages the
// ledger says are to go. Without unique ids every listed message is fetched,
// with one warning event per run.
std::unordered_set<int32_t> PlanSession(RunContext& context) {
  MailboxState& mailbox = context.mailbox;
  const AccountSettings& s = context.settings;
  bool complete = false;
  if (!ListIds(context, &mailbox.listing, &complete)) {
    context.Event(kEventNoUniqueIds, kEventWarning, {s.connectionName, s.accountName, s.popHost});
    return {};
  }
  mailbox.uidl = true;
  for (const UidlEntry& listed : mailbox.listing) mailbox.idOf.emplace(listed.number, listed.uidl);
  if (!mailbox.ledger) return {};
  DeliveryLedger& ledger = *mailbox.ledger;
  if (complete) {
    ReportLedgerWrite(context, ledger.Prune(ListedIds(mailbox.listing)));
  } else {
    context.LogText(2, "Unique-id listing cut short: ledger not pruned");
  }
  ReportLedgerWrite(context, ledger.Compact());

  RunPlan plan = PlanRun(mailbox.listing, ledger, PlanOptionsFor(context));
  context.LogNumber(3, "Ledger: %d new", static_cast<int32_t>(plan.fetch.size()));
  context.LogNumber(3, "Ledger: %d to delete", static_cast<int32_t>(plan.remove.size()));
  context.LogNumber(3, "Ledger: %d kept", static_cast<int32_t>(plan.keep.size()));
  context.LogNumber(3, "Ledger: %d left", static_cast<int32_t>(plan.leave.size()));
  std::unordered_set<int32_t> fetch(plan.fetch.begin(), plan.fetch.end());
  std::unordered_set<int32_t> skip;
  for (const UidlEntry& listed : mailbox.listing) {
    if (fetch.count(listed.number) == 0) skip.insert(listed.number);
  }
  for (int32_t number : plan.remove) Delete(context, number);
  return skip;
}

void Dialogue(RunContext& context) {
  Login(context);

  context.LogText(3, "STAT\r\n");
  std::string reply = Exchange(context, "STAT\r\n", "STAT");
  if (reply.starts_with('-')) Raise(kErrorLogin);
  context.LogText(3, reply);

  int32_t count = StatCount(reply);
  context.LogNumber(1, "%d Nachrichten\n", count);
  context.messageCount = count;
  context.tickerMailCount = 0;
  if (count <= 0) return;

  SendPop3(context, "LIST\r\n");
  context.LogText(4, "LIST\r\n");
  std::string listing = ReadListing(context, "LIST");
  context.LogString(8, "buf:%s", Kept(listing, kListingKept));
  context.LogText(5, "Tokenising");
  std::vector<ListingEntry> entries = TokeniseListing(ListingEntries(listing), count, context.tickerMailCount);
  listing.clear();
  listing.shrink_to_fit();

  std::unordered_set<int32_t> skip = PlanSession(context);
  int32_t taken = 0;
  for (const ListingEntry& entry : entries) {
    if (skip.count(entry.number) != 0) continue;
    TakeMessage(context, entry, &taken);
  }
}

// The run's one further session after the first was closed out of step:
// login, UIDL, and DELE for what the ledger says is to go, then QUIT.
void RepairSession(RunContext& context) {
  const AccountSettings& s = context.settings;
  context.LogText(1, "------------- POP3 (deletes) ------------");
  context.popChannel.Create();
  if (context.popChannel.Connect(s.popHost, Pop3Port()) != 0) Raise(kErrorNoConnection);
  Login(context);
  std::vector<UidlEntry> ids;
  bool complete = false;
  if (ListIds(context, &ids, &complete)) {
    for (int32_t number : PlanRun(ids, *context.mailbox.ledger, PlanOptionsFor(context)).remove) {
      Delete(context, number);
    }
  }
}

}  // namespace

bool NoticeSender(const std::string& received, std::string* sender) {
  std::size_t at = received.find("\r\nFrom:");
  if (at == std::string::npos) return false;
  std::size_t eol = received.find("\r\n", at + 2);
  if (eol == std::string::npos) return false;
  std::size_t start = std::min(at + 2 + 6, eol);
  *sender = received.substr(start, std::min(eol - start, kNoticeSenderKept));
  return true;
}

int RetrieveMessages(RunContext& context) {
  int code = 0;
  try {
    Dialogue(context);
    return 0;
  } catch (const TransferError& error) {
    code = error.code;
  } catch (const std::bad_alloc&) {
    code = kErrorTextMemory;
  }
  if (!context.mailbox.inStep) CloseOutOfStep(context);
  if (context.settings.debugLevel >= 2) context.Event(kEventTransferError, "POP3 Protokol faild");
  context.LogNumber(1, "POP3 Error:%d", code);
  return 0;
}

int PurgeMessages(RunContext& context) {
  if (context.settings.popDelete != 0 && context.mailbox.inStep) {
    try {
      for (MailRecord& record : context.mailList) {
        if (record.delivered && record.GetNumber() >= 0) Delete(context, record.GetNumber());
      }
    } catch (const TransferError&) {
      CloseOutOfStep(context);
    }
  }
  context.mailList.clear();
  return 0;
}

void QuitMailbox(RunContext& context, int level) {
  if (!context.mailbox.inStep) return;
  try {
    SendPop3(context, "QUIT\r\n");
    context.LogText(level, "QUIT\r\n");
    context.LogText(level, Kept(ReadStatus(context, "QUIT").text, kReplyKept));
  } catch (const TransferError&) {
    // Whether the server committed the session's deletes is not known.
    context.mailbox.broken = true;
  }
  context.mailbox.inStep = false;
  context.popChannel.Close();
  context.LogText(1, "----------- POP3 Closed  ----------");
}

void RepairDeletes(RunContext& context) {
  MailboxState& mailbox = context.mailbox;
  if (!mailbox.broken || !mailbox.uidl || !mailbox.ledger) return;
  mailbox.broken = false;
  if (PlanRun(mailbox.listing, *mailbox.ledger, PlanOptionsFor(context)).remove.empty()) return;
  try {
    RepairSession(context);
  } catch (const TransferError& error) {
    context.LogNumber(1, "POP3 Error:%d", error.code);
    if (!mailbox.inStep) {
      CloseOutOfStep(context);
      mailbox.broken = false;
      return;
    }
  }
  QuitMailbox(context, 3);
  // Once per run: what is still to go goes in the next one.
  mailbox.broken = false;
}

}  // namespace ferry
