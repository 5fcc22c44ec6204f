// What one account run works with: its settings as given, the debug log it
// writes, where it reports to, and its working state. The run owns nothing of
// the store: whoever starts it loads the settings and keeps what it reports.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/tickers/ticker_item.h"
#include "service/transfer/account_settings.h"
#include "service/transfer/debug_log.h"
#include "service/transfer/event_ids.h"
#include "service/transfer/mail_list.h"
#include "service/transfer/mailbox_state.h"
#include "service/transfer/run_reports.h"
#include "service/transfer/socket_channel.h"
#include "service/transfer/transfer_deadlines.h"

namespace ferry {

class RunContext {
 public:
  // `receiveTimeout` bounds every receive of a connection that has no deadline
  // of its own (the tickers' page requests); the mail dialogues keep the
  // deadlines of the settings (or `deadlines`).
  RunContext(AccountSettings given, DebugLog& log, RunReports& reports,
             std::chrono::milliseconds receiveTimeout = kDefaultReceiveTimeout)
      : settings(std::move(given)),
        popChannel(receiveTimeout),
        smtpChannel(receiveTimeout),
        receiveTimeout_(receiveTimeout),
        log_(log),
        reports_(reports) {}
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  void LogText(int level, const char* text) { log_.LogText(level, text); }
  void LogText(int level, const std::string& text) { log_.LogText(level, text); }
  void LogNumber(int level, const char* format, int32_t value) { log_.LogNumber(level, format, value); }
  void LogString(int level, const char* format, const char* text) { log_.LogString(level, format, text); }
  void LogString(int level, const char* format, const std::string& text) { log_.LogString(level, format, text); }

  void Event(uint32_t id, const std::string& text) { reports_.Event(id, text); }
  void Event(uint32_t id, uint16_t type, const std::vector<std::string>& strings) { reports_.Event(id, type, strings); }
  void Notice(const std::string& text, uint32_t port) { reports_.Notice(text, port); }
  // Hands the settings as they are now to whoever keeps the run's state.
  void StateChanged() { reports_.StateChanged(settings); }

  std::chrono::milliseconds ReceiveTimeout() const { return receiveTimeout_; }
  // The deadlines of the mail dialogues: `deadlines` when given (tests), else
  // those of the settings.
  TransferDeadlines Deadlines() const { return deadlines ? *deadlines : DeadlinesFrom(settings); }

  AccountSettings settings;

  // ---- The run's working state (empty or zero at construction) ----
  SocketChannel popChannel;
  SocketChannel smtpChannel;
  MailList mailList;
  // 0 idle, 1 the account's mail is forwarded, 2 a ticker stage runs.
  int32_t runStage = 0;
  uint32_t savedAddressmode = 0;
  int32_t messageCount = 0;     // what STAT reported in this run
  int32_t forwardedCount = 0;   // messages the SMTP server accepted in this run
  // How the run ended: empty while none has, "ok", or "failed" with the reason.
  std::string outcome;
  std::string failure;
  int32_t tickerMailCount = 0;  // progress of the current stage (last message number taken)
  TickerItemList scienceItems;  // links found in this run's mail, in the order found
  bool sciencePendingTried = false;  // the items earlier runs could not mail were tried
  TickerItemList newsItems;     // new items of the CT index page, newest first
  MailboxState mailbox;         // the delivery ledger and the POP3 session's ids and state
  std::optional<TransferDeadlines> deadlines;
  // Messages left on the POP3 server in this run because their listed size is
  // above "Max Size" (their numbers, in listing order); see SkipForSize.
  std::vector<int32_t> skippedForSize;
  // Whether this run already reported a message too large for "Max Size" / for
  // the SMTP server's SIZE (each is reported once per run).
  // Set by the POP3 dialogue when the server's listing was cut short (fewer
  // entries than its message count, or more unique ids than are read): the
  // messages past the cut wait for another round of the same run.
  bool listingCut = false;
  bool maxSizeReported = false;
  bool serverSizeReported = false;
  // The last failure noted in this run (run_failure.h): the step and the
  // reason in words; and whether the run's failure event was written.
  std::string failedStep;
  std::string failedReason;
  bool failureReported = false;
  // The OAuth access token of this run's SASL logins (empty: password logins).
  std::string accessToken;

 private:
  std::chrono::milliseconds receiveTimeout_;
  DebugLog& log_;
  RunReports& reports_;
};

}  // namespace ferry
