// The one object of an account run: the settings as loaded, the debug log, and
// the run's working state. Built on the worker thread and owned by it alone.
#pragma once

#include <string>

#include "service/runtime/account_settings.h"
#include "service/runtime/config_store.h"
#include "service/runtime/debug_log.h"
#include "service/transfer/mail_list.h"
#include "service/tickers/ticker_item.h"
#include "service/transfer/socket_channel.h"

namespace ferry {

class AccountContext {
 public:
  // Defaults, LoadSettings, the debug log, the account's command, and a save of
  // every value (which creates missing keys and values and replaces old names).
  AccountContext(const std::string& connectionName, const std::string& accountName);
  // Closes the log and saves what the run changed.
  ~AccountContext();
  AccountContext(const AccountContext&) = delete;
  AccountContext& operator=(const AccountContext&) = delete;

  int LoadSettings();
  // Writes what changed since the last load or save.
  int SaveSettings();
  int SaveAllSettings();

  void LogText(int level, const char* text) { log_.LogText(level, text); }
  void LogText(int level, const std::string& text) { log_.LogText(level, text); }
  void LogNumber(int level, const char* format, int32_t value) { log_.LogNumber(level, format, value); }
  void LogString(int level, const char* format, const char* text) { log_.LogString(level, format, text); }
  void LogString(int level, const char* format, const std::string& text) { log_.LogString(level, format, text); }
  DebugLog& Log() { return log_; }

  AccountSettings settings;

  // ---- Run fields of the mail transfer and the tickers ----
  // (channels, MailList, ticker item lists, RunStage, SavedAddressmode,
  // MessageCount, TickerMailCount; all empty or zero at construction)
  SocketChannel popChannel;
  SocketChannel smtpChannel;
  MailList mailList;
  // 0 idle, 1 the account's mail is forwarded, 2 a ticker stage runs.
  int32_t runStage = 0;
  uint32_t savedAddressmode = 0;
  int32_t messageCount = 0;     // what STAT reported in this run
  int32_t tickerMailCount = 0;  // progress of the current stage (last message number taken)
  TickerItemList scienceItems;  // links found in this run's mail, in the order found
  TickerItemList newsItems;     // new items of the CT index page, newest first
  // ---- end of run fields ----

 private:
  AccountSettings saved_;  // the store's values as this run last loaded or wrote them
  LoadedState loadedState_;
  DebugLog log_;
};

}  // namespace ferry
