#include "service/transfer/transfer_deadlines.h"

namespace ferry {
namespace {

void Take(uint32_t seconds, std::chrono::milliseconds* deadline) {
  if (seconds != 0) *deadline = std::chrono::seconds(seconds);
}

}  // namespace

TransferDeadlines DeadlinesFrom(const AccountSettings& s) {
  TransferDeadlines d;
  Take(s.smtpReplyTimeout, &d.smtpReply);
  Take(s.smtpDataTimeout, &d.smtpData);
  Take(s.smtpBlockTimeout, &d.smtpBlock);
  Take(s.smtpDataEndTimeout, &d.smtpDataEnd);
  Take(s.pop3ReplyTimeout, &d.pop3Reply);
  Take(s.receiveIdleTimeout, &d.receiveIdle);
  Take(s.slowTransferWindow, &d.slowWindow);
  Take(s.sendTimeout, &d.send);
  return d;
}

TransferDeadlines UniformDeadlines(std::chrono::milliseconds each) {
  return TransferDeadlines{each, each, each, each, each, each, each, each};
}

}  // namespace ferry
