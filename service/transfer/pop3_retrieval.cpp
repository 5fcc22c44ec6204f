#include "service/transfer/pop3_retrieval.h"

#include <array>
#include <new>

#include "service/tickers/science_ticker.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/listing_tokens.h"
#include "service/transfer/notice_text.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_delivery.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_report.h"

namespace ferry {
namespace {

constexpr std::size_t kChunk = 4095;
constexpr std::size_t kNoticeSenderKept = 200;

// Sends a command and reads its status line, which must arrive whole.
std::string Exchange(RunContext& context, const std::string& command, const char* step) {
  SendCommand(context, context.popChannel, command);
  Reply reply = ReadPop3Status(context, context.popChannel);
  RequireWhole(context, reply, step);
  return Kept(reply.text, kReplyKept);
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

void TakeMessage(RunContext& context, const ListingEntry& entry) {
  if (entry.outOfStep) context.LogNumber(5, "Read error on Msg %d", entry.number);
  context.LogNumber(5, "%d\t", entry.number);
  context.LogNumber(5, "Message Size:%d\n", entry.size);

  std::string command = "RETR " + std::to_string(entry.number) + "\r\n";
  SendCommand(context, context.popChannel, command);
  context.LogText(3, command);

  std::string received = ReadMessage(context, entry.number);
  std::size_t status = Pop3StatusLength(received);
  context.LogText(3, received.substr(0, status));
  std::string_view stored = std::string_view(received).substr(status);
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
