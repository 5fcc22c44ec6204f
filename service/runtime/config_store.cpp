// Loading and saving of an account run's settings, and the scheduler's reads of
// the store. Registry failures are never reported: a missing key skips its
// step, a missing or oversized value leaves the field as it was, a failed write
// is ignored.
#include "service/runtime/config_store.h"

#include <cstring>

#include "platform/registry.h"
#include "schema/registry_schema.h"

namespace ferry {
namespace {

namespace s = schema;
using reg::KeyHolder;

// Reads up to `limit` stored bytes into a field of `width` bytes (terminator
// included); the text ends at the first NUL.
void ReadString(reg::Key key, const char* name, uint32_t limit, uint32_t width, std::string& field) {
  std::string bytes(limit, '\0');
  uint32_t size = limit;
  if (reg::QueryValue(key, name, nullptr, bytes.data(), &size) != reg::kOk) return;
  bytes.resize(size);
  if (auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  if (bytes.size() > width - 1) bytes.resize(width - 1);
  field = std::move(bytes);
}

// A number field takes the first (up to four) stored bytes, whatever the type.
template <typename Number>
void ReadNumber(reg::Key key, const char* name, Number& field) {
  static_assert(sizeof(Number) == 4);
  unsigned char bytes[4];
  std::memcpy(bytes, &field, 4);
  uint32_t size = 4;
  if (reg::QueryValue(key, name, nullptr, bytes, &size) != reg::kOk) return;
  std::memcpy(&field, bytes, 4);
}

void WriteString(reg::Key key, const char* name, const std::string& text) {
  reg::SetValue(key, name, reg::kSz, text.data(), static_cast<uint32_t>(text.size()));
}

template <typename Number>
void WriteNumber(reg::Key key, const char* name, Number value) {
  static_assert(sizeof(Number) == 4);
  reg::SetValue(key, name, reg::kDword, &value, 4);
}

std::string Cut(const std::string& text, uint32_t width) {
  return text.size() < width ? text : text.substr(0, width - 1);
}

// Writes the fields that `wanted` selects; `Field` names a member pointer.
class Writer {
 public:
  Writer(const AccountSettings& now, const AccountSettings& since, bool everything)
      : now_(now), since_(since), everything_(everything) {}

  bool Wanted(std::string AccountSettings::*field) const { return everything_ || now_.*field != since_.*field; }
  template <typename Number>
  bool Wanted(Number AccountSettings::*field) const {
    return everything_ || now_.*field != since_.*field;
  }

  void Text(reg::Key key, const char* name, std::string AccountSettings::*field) const {
    if (Wanted(field)) WriteString(key, name, now_.*field);
  }
  template <typename Number>
  void Dword(reg::Key key, const char* name, Number AccountSettings::*field) const {
    if (Wanted(field)) WriteNumber(key, name, now_.*field);
  }

 private:
  const AccountSettings& now_;
  const AccountSettings& since_;
  bool everything_;
};

}  // namespace

int LoadSettings(AccountSettings& st, LoadedState* state) {
  {
    KeyHolder key;
    if (reg::OpenKey(reg::LocalMachine(), s::kParametersKey, reg::kAllAccess, key.out()) == reg::kOk) {
      ReadString(key.get(), s::kProxyHost, s::kShortWidth, s::kShortWidth, st.proxyHost);
      ReadString(key.get(), s::kBdwDir, s::kDirReadLimit, s::kPathWidth, st.bdwDir);
      ReadString(key.get(), s::kCtDir, s::kDirReadLimit, s::kPathWidth, st.ctDir);
      ReadString(key.get(), s::kTickerEMail, s::kShortWidth, s::kShortWidth, st.tickerEMail);
      ReadString(key.get(), s::kCtEMail, s::kShortWidth, s::kShortWidth, st.ctEMail);
      ReadNumber(key.get(), s::kProxyPort, st.proxyPort);
      ReadNumber(key.get(), s::kDebugLevel, st.debugLevel);
      ReadNumber(key.get(), s::kListenRas, st.listenRas);
    }
  }
  {
    KeyHolder key;
    if (reg::OpenKey(reg::LocalMachine(), s::ConnectionKey(st.connectionName), reg::kAllAccess, key.out()) ==
        reg::kOk) {
      ReadNumber(key.get(), s::kTimeout, st.timeout);
      ReadNumber(key.get(), s::kOldLogEnabled, st.enableLogging);
      ReadNumber(key.get(), s::kEnableLogging, st.enableLogging);
      ReadString(key.get(), s::kLogfile, s::kPathWidth, s::kPathWidth, st.logfile);
    }
  }
  {
    KeyHolder key;
    if (reg::OpenKey(reg::LocalMachine(), s::AccountKey(st.connectionName, st.accountName), reg::kAllAccess,
                     key.out()) == reg::kOk) {
      reg::Key k = key.get();
      ReadString(k, s::kOldEMailTo, s::kOldShortWidth, s::kShortWidth, st.smtpTo);
      ReadString(k, s::kSmtpTo, s::kShortWidth, s::kShortWidth, st.smtpTo);
      ReadString(k, s::kOldEMailHost, s::kOldShortWidth, s::kShortWidth, st.popHost);
      ReadString(k, s::kPopHost, s::kShortWidth, s::kShortWidth, st.popHost);
      ReadString(k, s::kOldEMailFrom, s::kShortWidth, s::kShortWidth, st.smtpFrom);
      ReadString(k, s::kSmtpFrom, s::kShortWidth, s::kShortWidth, st.smtpFrom);
      ReadString(k, s::kOldEMailUser, s::kShortWidth, s::kShortWidth, st.popUser);
      ReadString(k, s::kPopUser, s::kShortWidth, s::kShortWidth, st.popUser);
      ReadString(k, s::kOldEMailPassword, s::kShortWidth, s::kShortWidth, st.popPassword);
      ReadString(k, s::kPopPassword, s::kShortWidth, s::kShortWidth, st.popPassword);
      ReadString(k, s::kOldSmtpHost, s::kShortWidth, s::kShortWidth, st.smtpHost);
      ReadString(k, s::kSmtpHost, s::kShortWidth, s::kShortWidth, st.smtpHost);
      ReadString(k, s::kCommand, s::kCommandWidth, s::kCommandWidth, st.command);
      ReadString(k, s::kLogfile, s::kPathWidth, s::kPathWidth, st.logfile);
      ReadNumber(k, s::kOldEMailDelete, st.popDelete);
      ReadNumber(k, s::kPopDelete, st.popDelete);
      ReadNumber(k, s::kOldEMailFlags, st.addressmode);
      ReadNumber(k, s::kAddressmode, st.addressmode);
      uint32_t flags = 0;  // read without effect
      ReadNumber(k, s::kOldFlags, flags);
      ReadNumber(k, s::kOldUdpPort, st.udpPort);
      ReadNumber(k, s::kUdpPort, st.udpPort);
      ReadNumber(k, s::kEnableAccount, st.enableAccount);
      ReadNumber(k, s::kEnableWissenschaft, st.enableWissenschaft);
      ReadNumber(k, s::kEnableCt, st.enableCt);
      ReadNumber(k, s::kEnableCommand, st.enableCommand);
      ReadNumber(k, s::kEnableUdp, st.enableUdp);
      ReadNumber(k, s::kEnableKeepAlive, st.enableKeepAlive);
      ReadNumber(k, s::kEnableFromUdp, st.enableFromUdp);
      ReadNumber(k, s::kMaxMails, st.maxMails);
      ReadNumber(k, s::kAddressmodeTicker, st.addressmodeTicker);
      if (state != nullptr) {
        uint32_t size = 0;
        state->inUsePresent = reg::QueryValue(k, s::kInUse, nullptr, nullptr, &size) == reg::kOk;
      }
      ReadNumber(k, s::kInUse, st.inUse);
      ReadNumber(k, s::kAddressmodeFrom, st.addressmodeFrom);
    }
  }
  {
    KeyHolder key;
    if (reg::CreateKey(reg::LocalMachine(), s::kVolatileKey, key.out()) == reg::kOk) {
      if (state != nullptr) {
        uint32_t size = 0;
        state->lastTitlePresent = reg::QueryValue(key.get(), s::kLastTitle, nullptr, nullptr, &size) == reg::kOk;
        state->lastDatePresent = reg::QueryValue(key.get(), s::kLastDate, nullptr, nullptr, &size) == reg::kOk;
      }
      ReadString(key.get(), s::kLastTitle, s::kTitleWidth, s::kTitleWidth, st.lastTitle);
      ReadString(key.get(), s::kLastDate, s::kShortWidth, s::kShortWidth, st.lastDate);
    }
  }
  return 0;
}

int SaveSettings(const AccountSettings& now, SaveScope scope, const AccountSettings& since,
                 const LoadedState& state) {
  const bool everything = scope == SaveScope::Everything;
  const Writer w(now, since, everything);
  using A = AccountSettings;

  if (w.Wanted(&A::proxyHost) || w.Wanted(&A::bdwDir) || w.Wanted(&A::tickerEMail) || w.Wanted(&A::proxyPort) ||
      w.Wanted(&A::debugLevel) || w.Wanted(&A::listenRas)) {
    KeyHolder key;
    if (reg::CreateKey(reg::LocalMachine(), s::kParametersKey, key.out()) == reg::kOk) {
      w.Text(key.get(), s::kProxyHost, &A::proxyHost);
      w.Text(key.get(), s::kBdwDir, &A::bdwDir);
      w.Text(key.get(), s::kTickerEMail, &A::tickerEMail);
      w.Dword(key.get(), s::kProxyPort, &A::proxyPort);
      w.Dword(key.get(), s::kDebugLevel, &A::debugLevel);
      w.Dword(key.get(), s::kListenRas, &A::listenRas);
    }
  }

  if (w.Wanted(&A::timeout) || w.Wanted(&A::enableLogging)) {
    KeyHolder key;
    if (reg::CreateKey(reg::LocalMachine(), s::ConnectionKey(now.connectionName), key.out()) == reg::kOk) {
      w.Dword(key.get(), s::kTimeout, &A::timeout);
      w.Dword(key.get(), s::kEnableLogging, &A::enableLogging);
      reg::DeleteValue(key.get(), s::kOldLogEnabled);
    }
  }

  // "In Use" already stored belongs to whichever run set it: rewritten only
  // when this run changed it.
  const bool writeInUse = now.inUse != since.inUse || (everything && !state.inUsePresent);
  bool accountWanted = everything || writeInUse;
  for (auto field : {&A::smtpTo, &A::popHost, &A::smtpFrom, &A::popUser, &A::popPassword, &A::smtpHost,
                     &A::command, &A::logfile})
    accountWanted = accountWanted || w.Wanted(field);
  for (auto field : {&A::addressmode, &A::popDelete, &A::enableAccount, &A::udpPort, &A::enableWissenschaft,
                     &A::enableCommand, &A::enableUdp, &A::enableKeepAlive, &A::enableFromUdp,
                     &A::addressmodeTicker, &A::addressmodeFrom})
    accountWanted = accountWanted || w.Wanted(field);
  accountWanted = accountWanted || w.Wanted(&A::maxMails);
  if (accountWanted) {
    KeyHolder key;
    if (reg::CreateKey(reg::LocalMachine(), s::AccountKey(now.connectionName, now.accountName), key.out()) ==
        reg::kOk) {
      reg::Key k = key.get();
      w.Text(k, s::kSmtpTo, &A::smtpTo);
      w.Text(k, s::kPopHost, &A::popHost);
      w.Text(k, s::kSmtpFrom, &A::smtpFrom);
      w.Text(k, s::kPopUser, &A::popUser);
      w.Text(k, s::kPopPassword, &A::popPassword);
      w.Text(k, s::kSmtpHost, &A::smtpHost);
      w.Text(k, s::kCommand, &A::command);
      w.Text(k, s::kLogfile, &A::logfile);
      w.Dword(k, s::kAddressmode, &A::addressmode);
      w.Dword(k, s::kPopDelete, &A::popDelete);
      w.Dword(k, s::kEnableAccount, &A::enableAccount);
      w.Dword(k, s::kUdpPort, &A::udpPort);
      w.Dword(k, s::kEnableWissenschaft, &A::enableWissenschaft);
      w.Dword(k, s::kEnableCommand, &A::enableCommand);
      w.Dword(k, s::kEnableUdp, &A::enableUdp);
      w.Dword(k, s::kEnableKeepAlive, &A::enableKeepAlive);
      w.Dword(k, s::kEnableFromUdp, &A::enableFromUdp);
      w.Dword(k, s::kMaxMails, &A::maxMails);
      w.Dword(k, s::kAddressmodeTicker, &A::addressmodeTicker);
      w.Dword(k, s::kAddressmodeFrom, &A::addressmodeFrom);
      if (writeInUse) WriteNumber(k, s::kInUse, now.inUse);
      for (const char* old : {s::kOldFlags, s::kOldUdpPort, s::kOldEnabled, s::kOldEMailDelete, s::kOldEMailFlags,
                              s::kOldLogEnabled, s::kOldSmtpHost, s::kOldEMailPassword, s::kOldEMailUser,
                              s::kOldEMailFrom, s::kOldEMailHost, s::kOldEMailTo})
        reg::DeleteValue(k, old);
    }
  }

  // The ticker state likewise: rewritten only by the run that changed it.
  const bool writeTitle = now.lastTitle != since.lastTitle || (everything && !state.lastTitlePresent);
  const bool writeDate = now.lastDate != since.lastDate || (everything && !state.lastDatePresent);
  if (writeTitle || writeDate) {
    KeyHolder key;
    if (reg::CreateKey(reg::LocalMachine(), s::kVolatileKey, key.out()) == reg::kOk) {
      if (writeTitle) WriteString(key.get(), s::kLastTitle, now.lastTitle);
      if (writeDate) WriteString(key.get(), s::kLastDate, now.lastDate);
    }
  }
  return 0;
}

int EnumerateConnection(ConnectionRecord& record) {
  record.usingRouter = 0;
  {
    KeyHolder key;
    if (reg::OpenKey(reg::LocalMachine(), s::kParametersKey, reg::kAllAccess, key.out()) == reg::kOk)
      ReadNumber(key.get(), s::kListenRas, record.listenRas);
  }
  KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), s::ConnectionKey(record.name), reg::kAllAccess, key.out()) != reg::kOk) {
    record.accountCount = 0;
    return 0;
  }
  ReadNumber(key.get(), s::kTimeout, record.timeout);
  ReadNumber(key.get(), s::kUsingRouter, record.usingRouter);
  ReadNumber(key.get(), s::kDisableMt, record.disableMt);
  int filled = 0;
  for (uint32_t index = 0; filled < s::kMaxAccountSlots; ++index) {
    std::string account;
    if (reg::EnumKey(key.get(), index, &account, s::kSlotNameWidth) != reg::kOk) break;
    AccountEntry& slot = record.accounts[static_cast<std::size_t>(filled)];
    slot.connectionName = Cut(record.name, s::kSlotNameWidth);
    slot.accountName = account;
    slot.enableAccount = 0;
    KeyHolder accountKey;
    if (reg::OpenKey(key.get(), account, reg::kAllAccess, accountKey.out()) == reg::kOk)
      ReadNumber(accountKey.get(), s::kEnableAccount, slot.enableAccount);
    ++filled;
  }
  record.accountCount = filled;
  return 0;
}

int ResetInUseFlags() {
  KeyHolder parameters;
  if (reg::OpenKey(reg::LocalMachine(), s::kParametersKey, reg::kEnumerateSubKeys, parameters.out()) != reg::kOk)
    return 0;
  for (uint32_t i = 0;; ++i) {
    std::string connection;
    if (reg::EnumKey(parameters.get(), i, &connection, s::kConnectionScanWidth) != reg::kOk) break;
    KeyHolder connectionKey;
    if (reg::OpenKey(parameters.get(), connection, reg::kEnumerateSubKeys, connectionKey.out()) != reg::kOk)
      continue;
    for (uint32_t j = 0;; ++j) {
      std::string account;
      if (reg::EnumKey(connectionKey.get(), j, &account, s::kConnectionScanWidth) != reg::kOk) break;
      KeyHolder accountKey;
      if (reg::OpenKey(connectionKey.get(), account, reg::kSetValue, accountKey.out()) == reg::kOk)
        WriteNumber(accountKey.get(), s::kInUse, uint32_t{0});
    }
  }
  return 0;
}

uint16_t ReadTriggerPort() {
  uint32_t port = s::kDefaultTriggerPort;
  KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), s::kParametersKey, reg::kAllAccess, key.out()) == reg::kOk)
    ReadNumber(key.get(), s::kTriggerPort, port);
  return static_cast<uint16_t>(port & 0xFFFF);
}

}  // namespace ferry
