#include "console/model/console_tables.h"

#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

// The console writes the interval as "TimeOut" and the log path as "LogFile";
// the store compares names without regard to case, so these are the service's
// "Timeout" and "Logfile".
constexpr const char* kTimeOutName = "TimeOut";
constexpr const char* kLogFileName = "LogFile";

using V = ValueType;
using A = AccountRow;

const std::array kAccountValues{
    AccountValue{schema::kAddressmode, V::Number, "3", &A::addressmode, true, true},
    AccountValue{schema::kAddressmodeTicker, V::Number, "0", &A::addressmodeTicker, true, true},
    AccountValue{schema::kCommand, V::Text, "", &A::command, false, true},
    AccountValue{schema::kEnableAccount, V::Number, "0", &A::enableAccount, true, true},
    AccountValue{schema::kEnableCommand, V::Number, "0", &A::enableCommand, true, true},
    AccountValue{schema::kEnableFromUdp, V::Number, "0", &A::enableFromUdp, true, true},
    AccountValue{schema::kEnableKeepAlive, V::Number, "0", &A::enableKeepAlive, false, false},
    AccountValue{schema::kEnableUdp, V::Number, "0", &A::enableUdp, true, true},
    AccountValue{schema::kEnableWissenschaft, V::Number, "0", &A::enableWissenschaft, true, true},
    AccountValue{kLogFileName, V::Text, "c:\\Log.txt", &A::logFile, false, true},
    AccountValue{schema::kMaxMails, V::Number, "10", &A::maxMails, true, true},
    AccountValue{schema::kPopDelete, V::Number, "1", &A::popDelete, true, true},
    AccountValue{schema::kPopHost, V::Text, "", &A::popHost, false, true},
    AccountValue{schema::kPopPassword, V::Text, "", &A::popPasswort, false, true},
    AccountValue{schema::kPopUser, V::Text, "", &A::popUser, false, true},
    AccountValue{schema::kSmtpFrom, V::Text, "", &A::smtpFrom, false, true},
    AccountValue{schema::kSmtpHost, V::Text, "", &A::smtpHost, false, true},
    AccountValue{schema::kSmtpTo, V::Text, "", &A::smtpTo, false, true},
    AccountValue{schema::kUdpPort, V::Number, "15002", &A::udpPort, true, true},
};

using G = GlobalSettings;
const GlobalValue kBdwDir{schema::kBdwDir, V::Text, "c:\\", &G::bdwDir};
const GlobalValue kDebugLevel{schema::kDebugLevel, V::Number, "0", &G::debugLevel};
const GlobalValue kListenRas{schema::kListenRas, V::Number, "0", &G::listenRas};
const GlobalValue kProxyHost{schema::kProxyHost, V::Text, "0", &G::proxyHost};
const GlobalValue kProxyPort{schema::kProxyPort, V::Number, "0", &G::proxyPort};
const GlobalValue kTriggerPort{schema::kTriggerPort, V::Number, "15001", &G::triggerPort};
const GlobalValue kTickerEMail{schema::kTickerEMail, V::Text, "", &G::tickerEMail};

const std::array kGlobalRead{kBdwDir, kDebugLevel, kListenRas, kProxyHost, kProxyPort, kTriggerPort, kTickerEMail};
const std::array kGlobalWrite{kBdwDir, kDebugLevel, kListenRas, kProxyHost, kProxyPort, kTickerEMail, kTriggerPort};

const std::array kConnectionValues{
    ConnectionValue{schema::kEnableLogging, "0", &ConnectionRow::enableLogging},
    ConnectionValue{kTimeOutName, "600", &ConnectionRow::timeOut},
};

}  // namespace

void InitTables(Tables& tables) {
  tables = Tables{};
  tables.global.listenRas = "1";
  tables.global.debugLevel = "4";
}

void DeleteConnection(ConnectionTable& table, int index) {
  if (index < 0 || index >= kConnectionRows) return;
  for (int i = index; i + 1 < kConnectionRows; ++i) table[i] = std::move(table[i + 1]);
  table[kConnectionRows - 1] = ConnectionRow{};
}

void DeleteAccount(AccountTable& table, int index) {
  if (index < 0 || index >= kAccountRows) return;
  for (int i = index; i + 1 < kAccountRows; ++i) table[i] = std::move(table[i + 1]);
  table[kAccountRows - 1] = AccountRow{};
}

std::span<const AccountValue> AccountValues() { return kAccountValues; }
std::span<const GlobalValue> GlobalReadOrder() { return kGlobalRead; }
std::span<const GlobalValue> GlobalWriteOrder() { return kGlobalWrite; }
std::span<const ConnectionValue> ConnectionValues() { return kConnectionValues; }

}  // namespace ferry::console
