#include "service/transfer/pop3_retrieval.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>

#include "service/tickers/science_ticker.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/listing_tokens.h"
#include "service/transfer/notice_text.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/size_limits.h"
#include "service/transfer/smtp_delivery.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_report.h"

namespace ferry {
namespace {

constexpr std::size_t kChunk = 4095;
constexpr std::size_t kNoticeSenderKept = 200;
// The most of a message looked at for the sender notice.
constexpr std::size_t kReceivedHead = 64 * 1024;

// Sends a command and reads its status line, which must arrive whole.
std::string Exchange(RunContext& context, const std::string& command, const char* step) {
  SendCommand(context, context.popChannel, command);
  Reply reply = ReadPop3Status(context, context.popChannel);
  RequireWhole(context, reply, step);
  return Kept(reply.text, kReplyKept);
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

void TakeMessage(RunContext& context, const ListingEntry& entry) {
  if (entry.outOfStep) context.LogNumber(5, "Read error on Msg %d", entry.number);
  context.LogNumber(5, "%d\t", entry.number);
  context.LogNumber(5, "Message Size:%d\n", entry.size);

  std::string command = "RETR " + std::to_string(entry.number) + "\r\n";
  SendCommand(context, context.popChannel, command);
  context.LogText(3, command);

  context.mailList.emplace_back();
  std::string status;
  try {
    status = ReadMessage(context, entry.number, context.mailList.back());
  } catch (...) {
    context.mailList.pop_back();
    throw;
  }
  const MailRecord& record = context.mailList.back();
  context.LogText(3, status);
  context.LogNumber(5, "MsgSize:%d", static_cast<int32_t>(std::min<uint64_t>(record.Size(), INT32_MAX)));
  // What the log and the sender notice see of the message: its first bytes.
  std::string received = status + record.Head(kReceivedHead);
  context.LogText(4, received.substr(status.size()));
  context.LogText(8, "add Message");

  if (BatchEnds(entry.number, context.settings.maxMails)) {
    DeliverMessages(context);
    if (context.settings.enableWissenschaft != 0) ScanScienceLinks(context);
    PurgeMessages(context);
  }
  if (context.settings.enableFromUdp != 0) SendSenderNotice(context, received);
  context.tickerMailCount = entry.number;
}

void Dialogue(RunContext& context) {
  const AccountSettings& s = context.settings;
  Reply greeting = ReadPop3Status(context, context.popChannel);
  RequireWhole(context, greeting, "greeting");
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

  context.LogText(3, "STAT\r\n");
  reply = Exchange(context, "STAT\r\n", "STAT");
  if (reply.starts_with('-')) Raise(kErrorLogin);
  context.LogText(3, reply);

  int32_t count = StatCount(reply);
  context.LogNumber(1, "%d Nachrichten\n", count);
  context.messageCount = count;
  context.tickerMailCount = 0;
  if (count <= 0) return;

  SendCommand(context, context.popChannel, "LIST\r\n");
  context.LogText(4, "LIST\r\n");
  Reply listing = ReadPop3Listing(context, context.popChannel);
  RequireWhole(context, listing, "LIST");
  bool tooLong = false;
  std::string kept(KeptListing(listing.text, &tooLong));
  listing.text.clear();
  context.LogString(8, "buf:%s", kept);
  context.LogText(5, "Tokenising");
  if (kept.size() >= 4) context.LogNumber(8, "ENDE:<%xd>", static_cast<signed char>(kept[kept.size() - 4]));
  if (tooLong) context.LogText(4, "Zu viele Mails auf einmal!");

  for (const ListingEntry& entry : TokeniseListing(ListingEntries(kept), count, context.tickerMailCount)) {
    if (SkipForSize(entry, s.maxSize)) {
      LeaveForMaxSize(context, entry);
      continue;
    }
    TakeMessage(context, entry);
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
  if (context.settings.debugLevel >= 2) context.Event(kEventTransferError, "POP3 Protokol faild");
  context.LogNumber(1, "POP3 Error:%d", code);
  return 0;
}

int PurgeMessages(RunContext& context) {
  if (context.settings.popDelete != 0) {
    for (MailRecord& record : context.mailList) {
      if (!record.delivered || record.GetNumber() < 0) continue;
      std::string command = "DELE " + std::to_string(record.GetNumber()) + "\r\n";
      SendCommand(context, context.popChannel, command);
      context.LogText(3, command);
      Reply reply = ReadPop3Status(context, context.popChannel);
      context.LogText(3, Kept(reply.text, kReplyKept));
    }
  }
  context.mailList.clear();
  return 0;
}

}  // namespace ferry
