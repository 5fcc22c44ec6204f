// Loading an account run's settings and writing back what the service owns,
// and the scheduler's reads of the store. A missing key skips its step and a
// missing value leaves the field as it was; a failed write is an error event,
// except on a key that was deleted meanwhile (the account is gone).
#include "service/runtime/config_store.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/event_log.h"
#include "platform/registry.h"
#include "platform/store_location.h"
#include "schema/registry_schema.h"
#include "service/runtime/service_events.h"

namespace ferry {
namespace {

namespace s = schema;
using reg::KeyHolder;

// The bytes a text value may hold: its longest text and a terminating NUL.
uint32_t TextLimit(const s::ValueInfo& value) { return value.maxLength + 1; }

// Reads a whole stored text of at most `maxLength` characters into `field`;
// the text ends at the first NUL. A longer value leaves the field as it was:
// it is never used cut.
void ReadString(reg::Key key, const char* name, uint32_t maxLength, std::string& field) {
  std::string bytes(maxLength + 1, '\0');
  uint32_t size = maxLength + 1;
  if (reg::QueryValue(key, name, nullptr, bytes.data(), &size) != reg::kOk) return;
  bytes.resize(size);
  if (auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  if (bytes.size() > maxLength) return;
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

// A text of the service's own kept within its row's longest length.
std::string Bound(const std::string& text, const char* name) {
  const s::ValueInfo* value = s::FindValue(s::Level::Account, name);
  return value == nullptr || text.size() <= value->maxLength ? text : text.substr(0, value->maxLength);
}

// Whether a failed store call means that the key is gone (deleted meanwhile).
bool KeyGone(long rc) { return rc == reg::kKeyDeleted || rc == reg::kFileNotFound; }

// A failed write is reported; one on a key deleted meanwhile is not.
long Checked(long rc, const std::string& keyPath, std::string_view name) {
  if (rc != reg::kOk && !KeyGone(rc)) ReportStoreWriteFailure(keyPath, name, rc);
  return rc;
}

long WriteString(reg::Key key, const std::string& keyPath, const char* name, const std::string& text) {
  return Checked(reg::SetValue(key, name, reg::kSz, text.data(), static_cast<uint32_t>(text.size())), keyPath, name);
}

template <typename Number>
long WriteNumber(reg::Key key, const std::string& keyPath, const char* name, Number value) {
  static_assert(sizeof(Number) == 4);
  return Checked(reg::SetValue(key, name, reg::kDword, &value, 4), keyPath, name);
}

// Where each value of the table lives in AccountSettings; values without a
// field here (the scheduler's and the console's) are not part of a run.
using TextField = std::string AccountSettings::*;
using UnsignedField = uint32_t AccountSettings::*;
using SignedField = int32_t AccountSettings::*;
using Field = std::variant<TextField, UnsignedField, SignedField>;

struct Binding {
  const char* name;
  s::Level level;
  Field field;
};

using A = AccountSettings;
const Binding kBindings[] = {
    {s::kProxyHost, s::Level::Global, &A::proxyHost},
    {s::kProxyPort, s::Level::Global, &A::proxyPort},
    {s::kBdwDir, s::Level::Global, &A::bdwDir},
    {s::kCtDir, s::Level::Global, &A::ctDir},
    {s::kTickerEMail, s::Level::Global, &A::tickerEMail},
    {s::kCtEMail, s::Level::Global, &A::ctEMail},
    {s::kDebugLevel, s::Level::Global, &A::debugLevel},
    {s::kListenRas, s::Level::Global, &A::listenRas},
    {s::kTimeout, s::Level::Connection, &A::timeout},
    {s::kEnableLogging, s::Level::Connection, &A::enableLogging},
    {s::kLogfile, s::Level::Connection, &A::logfile},
    {s::kEnableAccount, s::Level::Account, &A::enableAccount},
    {s::kPopHost, s::Level::Account, &A::popHost},
    {s::kPopUser, s::Level::Account, &A::popUser},
    {s::kPopPassword, s::Level::Account, &A::popPassword},
    {s::kPopDelete, s::Level::Account, &A::popDelete},
    {s::kSmtpHost, s::Level::Account, &A::smtpHost},
    {s::kSmtpFrom, s::Level::Account, &A::smtpFrom},
    {s::kSmtpTo, s::Level::Account, &A::smtpTo},
    {s::kAddressmode, s::Level::Account, &A::addressmode},
    {s::kAddressmodeTicker, s::Level::Account, &A::addressmodeTicker},
    {s::kAddressmodeFrom, s::Level::Account, &A::addressmodeFrom},
    {s::kMaxMails, s::Level::Account, &A::maxMails},
    {s::kUdpPort, s::Level::Account, &A::udpPort},
    {s::kEnableUdp, s::Level::Account, &A::enableUdp},
    {s::kEnableFromUdp, s::Level::Account, &A::enableFromUdp},
    {s::kEnableCommand, s::Level::Account, &A::enableCommand},
    {s::kCommand, s::Level::Account, &A::command},
    {s::kLogfile, s::Level::Account, &A::logfile},
    {s::kEnableWissenschaft, s::Level::Account, &A::enableWissenschaft},
    {s::kEnableCt, s::Level::Account, &A::enableCt},
    {s::kEnableKeepAlive, s::Level::Account, &A::enableKeepAlive},
    {s::kInUse, s::Level::Account, &A::inUse},
    {s::kKeepDays, s::Level::Account, &A::keepDays},
    {s::kLastDate, s::Level::Volatile, &A::lastDate},
    {s::kLastTitle, s::Level::Volatile, &A::lastTitle},
    {s::kSmtpReplyTimeout, s::Level::Global, &A::smtpReplyTimeout},
    {s::kSmtpDataTimeout, s::Level::Global, &A::smtpDataTimeout},
    {s::kSmtpBlockTimeout, s::Level::Global, &A::smtpBlockTimeout},
    {s::kSmtpDataEndTimeout, s::Level::Global, &A::smtpDataEndTimeout},
    {s::kPop3ReplyTimeout, s::Level::Global, &A::pop3ReplyTimeout},
    {s::kReceiveIdleTimeout, s::Level::Global, &A::receiveIdleTimeout},
    {s::kSlowTransferWindow, s::Level::Global, &A::slowTransferWindow},
    {s::kSendTimeout, s::Level::Global, &A::sendTimeout},
    {s::kMaxSize, s::Level::Account, &A::maxSize},
    {s::kLocalDomains, s::Level::Account, &A::localDomains},
    {s::kEnvelopeHeader, s::Level::Account, &A::envelopeHeader},
    {s::kHeloName, s::Level::Global, &A::heloName},
    {s::kPopSecurity, s::Level::Account, &A::popSecurity},
    {s::kSmtpSecurity, s::Level::Account, &A::smtpSecurity},
    {s::kPopPort, s::Level::Account, &A::popPort},
    {s::kSmtpPort, s::Level::Account, &A::smtpPort},
    {s::kSmtpUser, s::Level::Account, &A::smtpUser},
    {s::kSmtpPassword, s::Level::Account, &A::smtpPassword},
    {s::kTlsCaFile, s::Level::Account, &A::tlsCaFile},
    {s::kTlsCaFile, s::Level::Global, &A::globalTlsCaFile},
    {s::kPopAuth, s::Level::Account, &A::popAuth},
    {s::kSmtpAuth, s::Level::Account, &A::smtpAuth},
    {s::kOAuthTokenUrl, s::Level::Account, &A::oauthTokenUrl},
    {s::kOAuthDeviceUrl, s::Level::Account, &A::oauthDeviceUrl},
    {s::kOAuthAuthorizeUrl, s::Level::Account, &A::oauthAuthorizeUrl},
    {s::kOAuthClientId, s::Level::Account, &A::oauthClientId},
    {s::kOAuthClientSecret, s::Level::Account, &A::oauthClientSecret},
    {s::kOAuthScope, s::Level::Account, &A::oauthScope},
    {s::kOAuthRefreshToken, s::Level::Account, &A::oauthRefreshToken},
    {s::kOAuthAccessToken, s::Level::Account, &A::oauthAccessToken},
    {s::kOAuthAccessExpiry, s::Level::Account, &A::oauthAccessExpiry},
};

const Field* FieldOf(const s::ValueInfo& value) {
  for (const Binding& b : kBindings)
    if (b.level == value.level && std::string_view(b.name) == value.name) return &b.field;
  return nullptr;
}

// Reads one stored value (under `name`) into its field. An empty account
// "Logfile" leaves the connection's in place.
void ReadInto(reg::Key key, const char* name, const s::ValueInfo& value, const Field& field, AccountSettings& st) {
  if (const auto* text = std::get_if<TextField>(&field)) {
    std::string read = st.*(*text);
    ReadString(key, name, value.maxLength, read);
    const bool inherits = value.level == s::Level::Account && std::string_view(value.name) == s::kLogfile;
    if (!(inherits && read.empty())) st.*(*text) = std::move(read);
  } else if (const auto* number = std::get_if<UnsignedField>(&field)) {
    ReadNumber(key, name, st.*(*number));
  } else {
    ReadNumber(key, name, st.*std::get<SignedField>(field));
  }
}

long WriteFrom(reg::Key key, const std::string& keyPath, const char* name, const Field& field,
               const AccountSettings& st) {
  if (const auto* text = std::get_if<TextField>(&field)) return WriteString(key, keyPath, name, st.*(*text));
  if (const auto* number = std::get_if<UnsignedField>(&field)) return WriteNumber(key, keyPath, name, st.*(*number));
  return WriteNumber(key, keyPath, name, st.*std::get<SignedField>(field));
}

bool Differs(const Field& field, const AccountSettings& a, const AccountSettings& b) {
  return std::visit([&](auto member) { return a.*member != b.*member; }, field);
}

std::string KeyOf(s::Level level, const AccountSettings& st) {
  switch (level) {
    case s::Level::Global: return s::kParametersKey;
    case s::Level::Connection: return s::ConnectionKey(st.connectionName);
    case s::Level::Account: return s::AccountKey(st.connectionName, st.accountName);
    case s::Level::Volatile: break;
    case s::Level::Feed: break;  // feeds are read by the feed stage itself
  }
  return s::kVolatileKey;
}

bool Present(reg::Key key, const char* name) {
  uint32_t size = 0;
  return reg::QueryValue(key, name, nullptr, nullptr, &size) == reg::kOk;
}

void LoadLevel(s::Level level, reg::Key key, AccountSettings& st) {
  for (const s::ValueInfo& value : s::Values()) {
    if (value.level != level) continue;
    const Field* field = FieldOf(value);
    if (field == nullptr) continue;
    if (value.oldName != nullptr) ReadInto(key, value.oldName, value, *field, st);
    ReadInto(key, value.name, value, *field, st);
  }
}

// Moves the values stored under old names of `level` to their current names
// (unless a current one is stored already) and removes the old names. Only
// names that are present are touched. Answers the failed writes.
int MigrateLevel(s::Level level, reg::Key key, const std::string& keyPath) {
  int failed = 0;
  auto remove = [&](const char* name) {
    if (!Present(key, name)) return;
    if (long rc = Checked(reg::DeleteValue(key, name), keyPath, name); rc != reg::kOk && !KeyGone(rc)) ++failed;
  };
  for (const s::ValueInfo& value : s::Values()) {
    if (value.level != level || value.oldName == nullptr || !Present(key, value.oldName)) continue;
    if (!Present(key, value.name)) {
      const uint32_t limit = value.type == s::Type::Dword ? 4 : TextLimit(value);
      std::string bytes(limit, '\0');
      uint32_t size = limit;
      uint32_t type = 0;
      // A value too long for its current name stays under its old one.
      if (reg::QueryValue(key, value.oldName, &type, bytes.data(), &size) != reg::kOk) continue;
      const long rc = Checked(reg::SetValue(key, value.name, type, bytes.data(), size), keyPath, value.name);
      if (rc != reg::kOk) {
        if (!KeyGone(rc)) ++failed;
        continue;
      }
    }
    remove(value.oldName);
  }
  if (level == s::Level::Account)
    for (const char* retired : s::RetiredAccountNames()) remove(retired);
  return failed;
}

}  // namespace

std::string DescribeStoreError(long rc) {
  std::string text;
  switch (rc) {
    case reg::kAccessDenied: text = "access denied"; break;
    case reg::kKeyDeleted: text = "the key was deleted"; break;
    case reg::kFileNotFound: text = "not found"; break;
    case reg::kRegistryIoFailed: text = "the store could not be read or written"; break;
    default: text = "error " + std::to_string(rc); break;
  }
  if (std::string problem = reg::StoreProblem(); !problem.empty())
    text += " (the store " + reg::StoreLocation() + " " + problem + ")";
  return text;
}

void ReportStoreWriteFailure(const std::string& keyPath, std::string_view name, long rc) {
  ReportServiceEvent(kEventStoreWriteFailed, kEventError,
                     {reg::StoreLocation(), keyPath + "\\" + std::string(name), DescribeStoreError(rc)});
}

std::string StoreUnusableReason() {
  if (reg::StoreExists())
    if (std::string problem = reg::StoreProblem(); !problem.empty()) return problem;
  KeyHolder key;
  if (long rc = reg::CreateKey(reg::LocalMachine(), s::kParametersKey, key.out()); rc != reg::kOk)
    return "cannot be opened for writing (" + DescribeStoreError(rc) + ")";
  uint32_t size = 0;
  const long rc = reg::QueryValue(key.get(), s::kTriggerPort, nullptr, nullptr, &size);
  if (rc != reg::kOk && rc != reg::kFileNotFound) return "cannot be read (" + DescribeStoreError(rc) + ")";
  return "";
}

int LoadSettings(AccountSettings& st) {
  for (s::Level level : {s::Level::Global, s::Level::Connection, s::Level::Account, s::Level::Volatile}) {
    KeyHolder key;
    if (reg::OpenKey(reg::LocalMachine(), KeyOf(level, st), reg::kRead, key.out()) == reg::kOk)
      LoadLevel(level, key.get(), st);
  }
  return 0;
}

int MigrateOldNames(const AccountSettings& st) {
  int failed = 0;
  for (s::Level level : {s::Level::Global, s::Level::Connection, s::Level::Account}) {
    KeyHolder key;
    const std::string path = KeyOf(level, st);
    if (reg::OpenKey(reg::LocalMachine(), path, reg::kAllAccess, key.out()) == reg::kOk)
      failed += MigrateLevel(level, key.get(), path);
  }
  return failed;
}

int CompleteSettings(const AccountSettings& st) {
  int failed = 0;
  for (s::Level level : {s::Level::Global, s::Level::Connection, s::Level::Account, s::Level::Volatile}) {
    KeyHolder key;
    const std::string path = KeyOf(level, st);
    if (long rc = reg::CreateKey(reg::LocalMachine(), path, key.out()); rc != reg::kOk) {
      ReportStoreWriteFailure(path, "", rc);
      ++failed;
      continue;
    }
    if (level != s::Level::Volatile) failed += MigrateLevel(level, key.get(), path);
    for (const s::ValueInfo& value : s::Values()) {
      if (value.level != level || !value.serviceWrites || Present(key.get(), value.name)) continue;
      const Field* field = FieldOf(value);
      if (field != nullptr && WriteFrom(key.get(), path, value.name, *field, st) != reg::kOk) ++failed;
    }
  }
  return failed;
}

int WriteRunState(const AccountSettings& now, const AccountSettings& since) {
  int failed = 0;
  for (const s::ValueInfo& value : s::Values()) {
    if (!value.serviceOwned || !value.serviceWrites) continue;
    const Field* field = FieldOf(value);
    if (field == nullptr || !Differs(*field, now, since)) continue;
    // The account's key is only opened, never made again once deleted; the
    // write itself fails when the key goes in between. The volatile key is the
    // service's own.
    const std::string path = KeyOf(value.level, now);
    KeyHolder key;
    const long opened = value.level == s::Level::Volatile
                            ? reg::CreateKey(reg::LocalMachine(), path, key.out())
                            : reg::OpenKey(reg::LocalMachine(), path, reg::kSetValue, key.out());
    if (opened != reg::kOk) {
      if (!KeyGone(opened)) {
        ReportStoreWriteFailure(path, value.name, opened);
        ++failed;
      }
      continue;
    }
    const long rc = WriteFrom(key.get(), path, value.name, *field, now);
    if (rc != reg::kOk && !KeyGone(rc)) ++failed;
  }
  return failed;
}

int EnumerateConnection(ConnectionRecord& record) {
  record.usingRouter = 0;
  record.accounts.clear();
  record.accountCount = 0;
  {
    KeyHolder key;
    if (reg::OpenKey(reg::LocalMachine(), s::kParametersKey, reg::kAllAccess, key.out()) == reg::kOk) {
      ReadNumber(key.get(), s::kListenRas, record.listenRas);
      ReadNumber(key.get(), s::kMaxParallel, record.maxParallel);
    }
  }
  const auto* parallel = s::FindValue(s::Level::Global, s::kMaxParallel);
  record.maxParallel = static_cast<uint32_t>(std::clamp<int64_t>(record.maxParallel, parallel->min, parallel->max));
  KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), s::ConnectionKey(record.name), reg::kAllAccess, key.out()) != reg::kOk)
    return 0;
  ReadNumber(key.get(), s::kTimeout, record.timeout);
  ReadNumber(key.get(), s::kUsingRouter, record.usingRouter);
  ReadNumber(key.get(), s::kDisableMt, record.disableMt);
  // Enumeration ends at the end of the list or at a failure other than an
  // overlong name; the bound on the indexes keeps a broken store from looping.
  for (uint32_t index = 0; record.accounts.size() < kMaxConnectionAccounts && index < 4 * kMaxConnectionAccounts;
       ++index) {
    std::string account;
    const long rc = reg::EnumKey(key.get(), index, &account, s::kNameScanWidth);
    if (rc == reg::kMoreData) continue;
    if (rc != reg::kOk) break;
    AccountEntry slot;
    slot.connectionName = record.name;
    slot.accountName = account;
    KeyHolder accountKey;
    if (reg::OpenKey(key.get(), account, reg::kAllAccess, accountKey.out()) == reg::kOk)
      ReadNumber(accountKey.get(), s::kEnableAccount, slot.enableAccount);
    record.accounts.push_back(std::move(slot));
  }
  std::stable_sort(record.accounts.begin(), record.accounts.end(), [](const AccountEntry& a, const AccountEntry& b) {
    return std::lexicographical_compare(a.accountName.begin(), a.accountName.end(), b.accountName.begin(),
                                        b.accountName.end(), [](unsigned char x, unsigned char y) {
                                          return std::tolower(x) < std::tolower(y);
                                        });
  });
  record.accountCount = static_cast<int32_t>(record.accounts.size());
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
      if (reg::OpenKey(connectionKey.get(), account, reg::kAllAccess, accountKey.out()) != reg::kOk) continue;
      // Only a flag that is set is cleared: nothing else of the key is touched.
      uint32_t inUse = 0;
      ReadNumber(accountKey.get(), s::kInUse, inUse);
      if (inUse != 0) WriteNumber(accountKey.get(), s::AccountKey(connection, account), s::kInUse, uint32_t{0});
    }
  }
  return 0;
}

void WriteLastRun(const LastRun& run) {
  // An account deleted during its run stays deleted.
  const std::string path = s::AccountKey(run.connectionName, run.accountName);
  KeyHolder key;
  if (long rc = reg::OpenKey(reg::LocalMachine(), path, reg::kSetValue, key.out()); rc != reg::kOk) {
    if (!KeyGone(rc)) ReportStoreWriteFailure(path, s::kLastRun, rc);
    return;
  }
  if (KeyGone(WriteString(key.get(), path, s::kLastRun, Bound(run.time, s::kLastRun)))) return;
  WriteString(key.get(), path, s::kLastOutcome, Bound(run.outcome, s::kLastOutcome));
  WriteNumber(key.get(), path, s::kLastForwarded, run.forwarded);
  WriteNumber(key.get(), path, s::kLastLeft, run.left);
  WriteString(key.get(), path, s::kLastError, Bound(run.error, s::kLastError));
}

std::vector<LastRun> ReadLastRuns() {
  std::vector<LastRun> runs;
  KeyHolder parameters;
  if (reg::OpenKey(reg::LocalMachine(), s::kParametersKey, reg::kRead, parameters.out()) != reg::kOk) return runs;
  for (uint32_t i = 0;; ++i) {
    std::string connection;
    if (reg::EnumKey(parameters.get(), i, &connection, s::kConnectionScanWidth) != reg::kOk) break;
    if (connection == s::kVolatileName) continue;
    KeyHolder connectionKey;
    if (reg::OpenKey(parameters.get(), connection, reg::kRead, connectionKey.out()) != reg::kOk) continue;
    for (uint32_t j = 0;; ++j) {
      LastRun run;
      run.connectionName = connection;
      if (reg::EnumKey(connectionKey.get(), j, &run.accountName, s::kConnectionScanWidth) != reg::kOk) break;
      KeyHolder accountKey;
      if (reg::OpenKey(connectionKey.get(), run.accountName, reg::kRead, accountKey.out()) == reg::kOk) {
        ReadString(accountKey.get(), s::kLastRun, s::kShortWidth - 1, run.time);
        ReadString(accountKey.get(), s::kLastOutcome, s::kShortWidth - 1, run.outcome);
        ReadNumber(accountKey.get(), s::kLastForwarded, run.forwarded);
        ReadNumber(accountKey.get(), s::kLastLeft, run.left);
        ReadString(accountKey.get(), s::kLastError, s::kCommandWidth - 1, run.error);
      }
      runs.push_back(std::move(run));
    }
  }
  return runs;
}

uint16_t ReadTriggerPort() {
  auto port = static_cast<uint32_t>(s::DefaultNumber(s::Level::Global, s::kTriggerPort));
  KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), s::kParametersKey, reg::kAllAccess, key.out()) == reg::kOk)
    ReadNumber(key.get(), s::kTriggerPort, port);
  return static_cast<uint16_t>(port & 0xFFFF);
}

}  // namespace ferry
