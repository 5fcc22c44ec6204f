// Loading and saving of an account run's settings, and the scheduler's reads of
// the store. Registry failures are never reported: a missing key skips its
// step, a missing or oversized value leaves the field as it was, a failed write
// is ignored.
#include "service/runtime/config_store.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

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

// A text cut to a field of `width` bytes, terminator included.
std::string Cut(const std::string& text, uint32_t width) {
  return text.size() < width ? text : text.substr(0, width - 1);
}

void WriteString(reg::Key key, const char* name, const std::string& text) {
  reg::SetValue(key, name, reg::kSz, text.data(), static_cast<uint32_t>(text.size()));
}

template <typename Number>
void WriteNumber(reg::Key key, const char* name, Number value) {
  static_assert(sizeof(Number) == 4);
  reg::SetValue(key, name, reg::kDword, &value, 4);
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
    {s::kPopSecurity, s::Level::Account, &A::popSecurity},
    {s::kSmtpSecurity, s::Level::Account, &A::smtpSecurity},
    {s::kPopPort, s::Level::Account, &A::popPort},
    {s::kSmtpPort, s::Level::Account, &A::smtpPort},
    {s::kSmtpUser, s::Level::Account, &A::smtpUser},
    {s::kSmtpPassword, s::Level::Account, &A::smtpPassword},
    {s::kTlsCaFile, s::Level::Account, &A::tlsCaFile},
    {s::kTlsCaFile, s::Level::Global, &A::globalTlsCaFile},
};

const Field* FieldOf(const s::ValueInfo& value) {
  for (const Binding& b : kBindings)
    if (b.level == value.level && std::string_view(b.name) == value.name) return &b.field;
  return nullptr;
}

// Reads one stored value (under `name`, up to `limit` bytes) into its field.
void ReadInto(reg::Key key, const char* name, uint32_t limit, const s::ValueInfo& value, const Field& field,
              AccountSettings& st) {
  if (const auto* text = std::get_if<TextField>(&field)) {
    ReadString(key, name, limit, value.width, st.*(*text));
  } else if (const auto* number = std::get_if<UnsignedField>(&field)) {
    ReadNumber(key, name, st.*(*number));
  } else {
    ReadNumber(key, name, st.*std::get<SignedField>(field));
  }
}

void WriteFrom(reg::Key key, const char* name, const Field& field, const AccountSettings& st) {
  if (const auto* text = std::get_if<TextField>(&field)) {
    WriteString(key, name, st.*(*text));
  } else if (const auto* number = std::get_if<UnsignedField>(&field)) {
    WriteNumber(key, name, st.*(*number));
  } else {
    WriteNumber(key, name, st.*std::get<SignedField>(field));
  }
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
  }
  return s::kVolatileKey;
}

bool Present(reg::Key key, const char* name) {
  uint32_t size = 0;
  return reg::QueryValue(key, name, nullptr, nullptr, &size) == reg::kOk;
}

void LoadLevel(s::Level level, reg::Key key, AccountSettings& st, LoadedState* state) {
  for (const s::ValueInfo& value : s::Values()) {
    if (value.level != level) continue;
    const Field* field = FieldOf(value);
    if (field == nullptr) continue;
    if (value.oldName != nullptr) ReadInto(key, value.oldName, value.oldReadLimit, value, *field, st);
    ReadInto(key, value.name, value.readLimit, value, *field, st);
    if (state == nullptr) continue;
    if (std::string_view(value.name) == s::kInUse) state->inUsePresent = Present(key, value.name);
    if (std::string_view(value.name) == s::kLastTitle) state->lastTitlePresent = Present(key, value.name);
    if (std::string_view(value.name) == s::kLastDate) state->lastDatePresent = Present(key, value.name);
  }
}

// Whether a value the service owns was stored when the run loaded it: such a
// value belongs to whoever wrote it and is rewritten only when this run changed it.
bool WasPresent(const s::ValueInfo& value, const LoadedState& state) {
  if (std::string_view(value.name) == s::kInUse) return state.inUsePresent;
  if (std::string_view(value.name) == s::kLastTitle) return state.lastTitlePresent;
  return state.lastDatePresent;
}

}  // namespace

int LoadSettings(AccountSettings& st, LoadedState* state) {
  if (state != nullptr) *state = {};
  for (s::Level level : {s::Level::Global, s::Level::Connection, s::Level::Account, s::Level::Volatile}) {
    KeyHolder key;
    // The volatile key is made when it is missing; the others are only opened.
    const int rc = level == s::Level::Volatile
                       ? reg::CreateKey(reg::LocalMachine(), s::kVolatileKey, key.out())
                       : reg::OpenKey(reg::LocalMachine(), KeyOf(level, st), reg::kAllAccess, key.out());
    if (rc == reg::kOk) LoadLevel(level, key.get(), st, state);
  }
  return 0;
}

int SaveSettings(const AccountSettings& now, SaveScope scope, const AccountSettings& since,
                 const LoadedState& state) {
  const bool everything = scope == SaveScope::Everything;
  for (s::Level level : {s::Level::Global, s::Level::Connection, s::Level::Account, s::Level::Volatile}) {
    std::vector<std::pair<const s::ValueInfo*, const Field*>> writes;
    for (const s::ValueInfo& value : s::Values()) {
      if (value.level != level || !value.serviceWrites) continue;
      const Field* field = FieldOf(value);
      if (field == nullptr) continue;
      const bool changed = Differs(*field, now, since);
      const bool wanted = value.serviceOwned ? changed || (everything && !WasPresent(value, state))
                                             : changed || everything;
      if (wanted) writes.emplace_back(&value, field);
    }
    // Everything touches the account key even when only run state is left to
    // its owner: the key is made and its old names are removed.
    const bool touch = !writes.empty() || (everything && level != s::Level::Volatile);
    if (!touch) continue;
    KeyHolder key;
    if (reg::CreateKey(reg::LocalMachine(), KeyOf(level, now), key.out()) != reg::kOk) continue;
    for (const auto& [value, field] : writes) WriteFrom(key.get(), value->name, *field, now);
    // Old names go with every save of the key.
    for (const s::ValueInfo& value : s::Values())
      if (value.level == level && value.oldName != nullptr) reg::DeleteValue(key.get(), value.oldName);
    if (level == s::Level::Account)
      for (const char* retired : s::RetiredAccountNames()) reg::DeleteValue(key.get(), retired);
  }
  return 0;
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
      if (reg::OpenKey(connectionKey.get(), account, reg::kSetValue, accountKey.out()) == reg::kOk)
        WriteNumber(accountKey.get(), s::kInUse, uint32_t{0});
    }
  }
  return 0;
}

void WriteLastRun(const LastRun& run) {
  KeyHolder key;
  if (reg::CreateKey(reg::LocalMachine(), s::AccountKey(run.connectionName, run.accountName), key.out()) != reg::kOk)
    return;
  WriteString(key.get(), s::kLastRun, Cut(run.time, s::kShortWidth));
  WriteString(key.get(), s::kLastOutcome, Cut(run.outcome, s::kShortWidth));
  WriteNumber(key.get(), s::kLastForwarded, run.forwarded);
  WriteNumber(key.get(), s::kLastLeft, run.left);
  WriteString(key.get(), s::kLastError, Cut(run.error, s::kCommandWidth));
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
        ReadString(accountKey.get(), s::kLastRun, s::kShortWidth, s::kShortWidth, run.time);
        ReadString(accountKey.get(), s::kLastOutcome, s::kShortWidth, s::kShortWidth, run.outcome);
        ReadNumber(accountKey.get(), s::kLastForwarded, run.forwarded);
        ReadNumber(accountKey.get(), s::kLastLeft, run.left);
        ReadString(accountKey.get(), s::kLastError, s::kCommandWidth, s::kCommandWidth, run.error);
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
