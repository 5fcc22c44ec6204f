// How long each step of the mail dialogues may take: per reply, per block of a
// message's text, per stalled send, and for a long POP3 answer a longest
// silence and a lowest average rate, as a mail client waits for a server.
#pragma once

#include <chrono>
#include <cstdint>

#include "service/transfer/account_settings.h"
#include "service/transfer/socket_channel.h"

namespace ferry {

// The rate a POP3 message or listing must average over the slow-transfer window.
inline constexpr uint32_t kLowestTransferRate = 1024;  // bytes a second

struct TransferDeadlines {
  std::chrono::milliseconds smtpReply{300000};    // greeting, EHLO, MAIL, RCPT, RSET, VRFY, QUIT
  std::chrono::milliseconds smtpData{120000};     // the reply to DATA
  std::chrono::milliseconds smtpBlock{180000};    // sending one block of the text
  std::chrono::milliseconds smtpDataEnd{600000};  // the reply to the end of the text
  std::chrono::milliseconds pop3Reply{120000};    // a POP3 status reply
  std::chrono::milliseconds receiveIdle{120000};  // RETR or listing: no byte for this long
  std::chrono::milliseconds slowWindow{300000};   // RETR or listing: below the lowest rate for this long
  std::chrono::milliseconds send{300000};         // a send that makes no progress

  ReceiveLimit Reply(std::chrono::milliseconds whole) const { return ReceiveLimit{whole, {}, {}, 0}; }
  ReceiveLimit LongAnswer() const { return ReceiveLimit{{}, receiveIdle, slowWindow, kLowestTransferRate}; }
  SendLimit Command() const { return SendLimit{{}, send}; }
  SendLimit Block() const { return SendLimit{smtpBlock, send}; }
};

// The deadlines of the settings (seconds; a 0 keeps the default).
TransferDeadlines DeadlinesFrom(const AccountSettings& settings);

// Every deadline `each` (tests of the failure paths).
TransferDeadlines UniformDeadlines(std::chrono::milliseconds each);

}  // namespace ferry
