#include "service/transfer/pop3_retrieval.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <unordered_set>

#include "platform/event_log.h"
#include "service/oauth/sasl_bearer.h"
#include "service/tickers/science_ticker.h"
#include "service/transfer/delivery_plan.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/listing_tokens.h"
#include "service/transfer/notice_text.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/run_failure.h"
#include "service/transfer/size_limits.h"
#include "service/transfer/smtp_delivery.h"
#include "service/transfer/capability_lines.h"
#include "service/transfer/tls_modes.h"
#include "service/transfer/tls_start.h"
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
// The most of a message looked at for the sender notice.
constexpr std::size_t kReceivedHead = 64 * 1024;

// Sends a command and reads its status line, which must arrive whole.
std::string Exchange(RunContext& context, const std::string& command, const char* step) {
  SendPop3(context, command);
  return Kept(ReadStatus(context, step).text, kReplyKept);
}

// A whole LIST or UIDL reply (at most kMaxListingBytes).
std::string ReadListing(RunContext& context, const char* step) {
  Reply listing = ReadReply(context.popChannel, ListingLength, kMaxListingBytes, ReportFor(context),
                            context.Deadlines().LongAnswer());
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
  std::string reply = Exchange(context, command, "DELE");
  context.LogText(3, reply);
  if (reply.starts_with('+')) ++context.mailbox.deleted;
}

// The server's answer to RETR: returns its status line; the text after it, up
// to and including the end-of-data marker, goes into `record` (spooled when it
// is large; never held whole in memory then). Raises kErrorProtocol when the
// status is negative, or the connection closes or stays silent or too slow for
// the run's limits before the marker.
std::string ReadMessage(RunContext& context, int32_t number, MailRecord& record) {
  SocketChannel& channel = context.popChannel;
  TransferReport report = ReportFor(context);
  ReceiveWatch watch(context.Deadlines().LongAnswer());
  SpoolWriter text(MemoryLeftFor(context.mailList));
  std::array<char, kChunk> chunk{};
  std::string status;  // the status line, once whole
  bool statusSeen = false;
  // The last bytes before the new ones, so that a marker split across two
  // receives is found; then the new bytes.
  std::string window;
  constexpr std::size_t kKeptBack = kEndOfData.size() - 1;
  for (;;) {
    long n = channel.Receive(chunk.data(), chunk.size(), watch);
    report(n);
    if (n <= 0) {
      context.LogNumber(2, "Message %d incomplete: no end of data", number);
      Raise(kErrorProtocol);
    }
    if (static_cast<std::size_t>(n) < kChunk) context.LogNumber(9, "RBuf:%d", static_cast<int32_t>(n));
    std::size_t before = window.size();
    window.append(chunk.data(), static_cast<std::size_t>(n));
    if (!statusSeen) {
      std::size_t length = Pop3StatusLength(window);
      if (length == 0) {
        if (window.size() > kMaxStatusReply) {
          context.LogNumber(2, "Message %d: status line too long", number);
          Raise(kErrorProtocol);
        }
        continue;
      }
      statusSeen = true;
      status = window.substr(0, length);
      if (status[0] == '-') {
        channel.Unread(std::string_view(window).substr(length));
        context.LogString(2, "RETR refused: %s", Kept(status, kReplyKept));
        Raise(kErrorProtocol);
      }
      // The status line's own CR LF may begin the marker of an empty text: its
      // last bytes stay in front of the text, which begins after them.
      std::size_t back = std::min(length, kKeptBack);
      window.erase(0, length - back);
      before = back;
    }
    std::size_t end = FindEndOfData(window, before);
    if (end != std::string::npos) {
      channel.Unread(std::string_view(window).substr(end));
      window.resize(end);
    }
    text.Append(std::string_view(window).substr(before));
    if (end != std::string::npos) break;
    window.erase(0, window.size() > kKeptBack ? window.size() - kKeptBack : 0);
  }
  if (!text.EndsWith(kEndOfData)) text.Append(kEndOfData);
  record.SetSpooled(text.Finish(), number);
  return status;
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
  Reply answer = ReadStatus(context, "RETR");
  if (answer.text.starts_with('-')) {
    ReportSkipped(context, entry.number, Kept(answer.text, kReplyKept));
    return;
  }
  context.mailbox.inStep = false;
  context.popChannel.Unread(answer.text);
  context.mailList.emplace_back();
  std::string status;
  try {
    status = ReadMessage(context, entry.number, context.mailList.back());
  } catch (...) {
    context.mailList.pop_back();
    throw;
  }
  context.mailbox.inStep = true;
  const MailRecord& record = context.mailList.back();
  context.LogText(3, status);
  context.LogNumber(5, "MsgSize:%d", static_cast<int32_t>(std::min<uint64_t>(record.Size(), INT32_MAX)));
  // What the log and the sender notice see of the message: its first bytes.
  std::string received = status + record.Head(kReceivedHead);
  context.LogText(4, received.substr(status.size()));
  context.LogText(8, "add Message");

  if (BatchEnds(++*taken, context.settings.maxMails)) {
    DeliverMessages(context);
    if (context.settings.enableWissenschaft != 0) ScanScienceLinks(context);
    PurgeMessages(context);
    if (!context.mailbox.inStep) Raise(kErrorProtocol);
  }
  if (context.settings.enableFromUdp != 0) SendSenderNotice(context, received);
  context.tickerMailCount = entry.number;
}

// A negative reply to the login: noted for the run's failure event.
[[noreturn]] void RefuseLogin(RunContext& context, const char* step, const std::string& reply,
                              TransferErrorCode code) {
  NoteFailure(context, std::string("POP3 ") + step, "POP3 login refused: " + ReplyForEvent(reply));
  Raise(code);
}

// STLS after the greeting: CAPA must name it, and its positive answer is the
// last plaintext read; whatever the server sent after that answer is dropped
// with the start of TLS.
void StartStls(RunContext& context) {
  const AccountSettings& s = context.settings;
  SendPop3(context, "CAPA\r\n");
  context.LogText(3, "CAPA\r\n");
  TransferDeadlines d = context.Deadlines();
  Reply capa = ReadReply(context.popChannel, Pop3MultiLineLength, kMaxStatusReply, ReportFor(context),
                         d.Reply(d.pop3Reply));
  RequireWhole(context, capa, "CAPA");
  context.mailbox.inStep = true;
  context.LogText(3, Kept(capa.text, kReplyKept));
  if (!Pop3OffersStls(capa.text)) RaiseNotOffered(context, s.popHost, "POP3", "STLS");
  context.LogText(3, "STLS\r\n");
  std::string reply = Exchange(context, "STLS\r\n", "STLS");
  context.LogText(3, reply);
  if (!reply.starts_with('+')) RaiseNotOffered(context, s.popHost, "POP3", "STLS");
  // Closed on a refusal: no QUIT follows.
  context.mailbox.inStep = false;
  StartTlsOrRaise(context, context.popChannel, s.popHost, "POP3");
  context.mailbox.inStep = true;
}

// AUTH with the run's OAuth access token (RFC 5034): the initial response on
// the command line when the line stays within 255 octets, else after the
// server's "+" go-ahead. A server that refuses the token first sends an error
// challenge, answered with the mechanism's empty response; the "-ERR" after
// it is the refusal.
void BearerLogin(RunContext& context) {
  const AccountSettings& s = context.settings;
  const auto mechanism = s.popAuth == 1 ? oauth::BearerMechanism::Xoauth2 : oauth::BearerMechanism::OauthBearer;
  const std::string name = oauth::MechanismName(mechanism);
  const std::string response = oauth::InitialResponse(mechanism, s.popUser, s.popHost,
                                                      Pop3PortFor(s.popPort, s.popSecurity), context.accessToken);
  constexpr std::size_t kAuthLineLimit = 255;
  std::string reply;
  // The token never reaches the log, at any level.
  if (name.size() + response.size() + 8 <= kAuthLineLimit) {
    context.LogText(3, "AUTH " + name + " ******");
    reply = Exchange(context, "AUTH " + name + " " + response + "\r\n", "AUTH");
  } else {
    context.LogText(3, "AUTH " + name);
    reply = Exchange(context, "AUTH " + name + "\r\n", "AUTH");
    if (reply.starts_with('+') && !reply.starts_with("+OK")) {
      context.LogText(3, "******");
      reply = Exchange(context, response + "\r\n", "AUTH");
    }
  }
  if (reply.starts_with('+') && !reply.starts_with("+OK")) {
    const std::size_t start = reply.find_first_not_of(' ', 1);
    const std::size_t end = reply.find_first_of("\r\n", 1);
    const std::string challenge = start < end && end != std::string::npos ? reply.substr(start, end - start) : "";
    const std::string status = oauth::ChallengeStatus(challenge);
    context.LogText(3, "OAuth challenge: " + (status.empty() ? std::string("(none)") : status));
    reply = Exchange(context, mechanism == oauth::BearerMechanism::Xoauth2 ? "\r\n" : "AQ==\r\n", "AUTH");
    if (!status.empty() && reply.starts_with('-')) reply += " (" + status + ")";
  }
  if (!reply.starts_with("+OK")) RefuseLogin(context, "AUTH", reply, kErrorLogin);
  context.LogText(3, reply);
}

// Greeting, STLS when the account asks for it, USER and PASS (or AUTH with
// an OAuth token).
void Login(RunContext& context) {
  const AccountSettings& s = context.settings;
  Reply greeting = ReadStatus(context, "greeting");
  context.LogText(3, Kept(greeting.text, kGreetingKept));
  if (s.popSecurity == kSecurityWhenOffered || s.popSecurity == kSecurityStartTls) StartStls(context);
  if (s.popAuth != 0) {
    BearerLogin(context);
    return;
  }

  std::string command = "USER " + s.popUser + "\r\n";
  context.LogText(3, command);
  std::string reply = Exchange(context, command, "USER");
  if (reply.starts_with('-')) RefuseLogin(context, "USER", reply, kErrorRejected);
  context.LogText(3, reply);

  command = "PASS " + s.popPassword + "\r\n";
  // The password never reaches the log, at any level.
  context.LogText(3, "PASS ******");
  reply = Exchange(context, command, "PASS");
  if (reply.starts_with('-')) RefuseLogin(context, "PASS", reply, kErrorLogin);
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
    context.listingCut = true;
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
  if (reply.starts_with('-')) RefuseLogin(context, "STAT", reply, kErrorLogin);
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
  if (entries.size() < static_cast<std::size_t>(count)) context.listingCut = true;
  listing.clear();
  listing.shrink_to_fit();

  std::unordered_set<int32_t> skip = PlanSession(context);
  int32_t taken = 0;
  for (const ListingEntry& entry : entries) {
    if (skip.count(entry.number) != 0) continue;
    if (SkipForSize(entry, context.settings.maxSize)) {
      LeaveForMaxSize(context, entry);
      continue;
    }
    TakeMessage(context, entry, &taken);
  }
}

// The run's one further session after the first was closed out of step:
// login, UIDL, and DELE for what the ledger says is to go, then QUIT.
void RepairSession(RunContext& context) {
  context.LogText(1, "------------- POP3 (deletes) ------------");
  context.popChannel.Create();
  ConnectPop3(context);
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

void ConnectPop3(RunContext& context) {
  const AccountSettings& s = context.settings;
  if (context.popChannel.Connect(s.popHost, Pop3PortFor(s.popPort, s.popSecurity)) != 0) {
    NoteConnectFailure(context, "POP3 server", s.popHost);
    Raise(kErrorNoConnection);
  }
  if (s.popSecurity == kSecurityImplicit) StartTlsOrRaise(context, context.popChannel, s.popHost, "POP3");
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
  ReportRunFailure(context, code == kErrorTextMemory ? "out of memory for a message" : "the POP3 dialogue failed");
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
