// Reading the settings of the chosen computer into the tables.
#include <cctype>
#include <cstdlib>
#include <vector>

#include "console/model/console.h"
#include "console/model/store_texts.h"
#include "console/model/text_rules.h"
#include "platform/child_process.h"
#include "platform/store_location.h"
#include "platform/system_info.h"
#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

// Larger than any value the library hands out, so that a long value is read
// whole (and then refused by the page's checks) instead of reading as empty.
constexpr int32_t kValueBufferSize = 64 * 1024 + 1;
constexpr std::size_t kNameBufferSize = 500;
// A bound against a damaged store; far beyond any office's settings.
constexpr uint32_t kMostKeys = 100000;
constexpr uint32_t kMostFeeds = 1000;

}  // namespace

Console::Console(ConsoleView& view, Dialogs& dialogs, ValueLibrary& values)
    : view_(view), dialogs_(dialogs), values_(values), settings_(LoadConsoleSettings()) {
  console::InitTables(tables_);
}

std::string LocalComputerName() { return StripNull(ferry::ComputerName()); }

bool Console::BindValues() {
  if (values_.Bind()) return true;
  view_.SetStatus(texts::kLibraryStatus + values_.FileName());
  dialogs_.MessageBox(texts::kLibraryBefore + values_.FileName() + texts::kLibraryMiddle +
                          Latin1FromSystem(values_.Error()),
                      texts::kLibraryTitle, BoxStyle::Stop);
  return false;
}

void Console::ConnectComputer() {
  tables_.connections.clear();
  tables_.accounts.clear();
  readConnections_.clear();
  readAccounts_.clear();
  shown_.reset();
  view_.SetStatus(texts::kConnecting);

  targetRoot_.Reset();
  far_.reset();
  if (ReachedOverSsh()) {
    if (!ConnectFar()) return;
  } else if (reg::ConnectRegistry(computerName_, reg::LocalMachine(), targetRoot_.out()) != reg::kOk) {
    targetRoot_.Reset();
    dialogs_.MessageBox(texts::kNoConnectionBefore + computerName_ + texts::kNoConnectionAfter,
                        texts::kNoConnectionTitle, BoxStyle::Stop);
    view_.SetStatus("");
    return;
  }

  view_.SetStatus(texts::kReading);
  reg::KeyHolder service;
  if (reg::OpenKey(targetRoot_.get(), schema::kServiceKey, reg::kSetValue, service.out()) != reg::kOk) {
    dialogs_.MessageBox(texts::kNotInstalledBefore + computerName_ + texts::kNotInstalledAfter,
                        texts::kNotInstalledTitle, BoxStyle::Stop);
    view_.SetStatus("");
    return;
  }
  service.Reset();
  if (!BindValues()) return;
  ReadGlobalSettings();
  ReadConnections();
  ReadAccounts();
}

bool Console::ReachedOverSsh() const {
  if (!RemoteStoreOverSsh()) return false;
  if (const char* folder = std::getenv(reg::kRemoteHivesEnvironmentVariable); folder != nullptr && *folder != '\0')
    return false;
  std::string_view name = computerName_;
  while (name.starts_with('\\')) name.remove_prefix(1);
  return !name.empty() && !SameTextIgnoringCase(name, LocalComputerName());
}

bool Console::ConnectFar() {
  // ssh takes host names in small letters; a typed name (user@host) is kept as typed.
  std::string host = typedComputer_;
  if (!SameTextIgnoringCase(host, computerName_)) {
    host = computerName_;
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  auto far = std::make_unique<FarStore>(host, settings_);
  std::string detail;
  switch (far->Read(&detail)) {
    case FarStore::Outcome::kRead:
      break;
    case FarStore::Outcome::kUnreachable:
      dialogs_.MessageBox(texts::kNoConnectionBefore + computerName_ + texts::kNoConnectionAfter,
                          texts::kNoConnectionTitle, BoxStyle::Stop);
      view_.SetStatus(detail);
      return false;
    case FarStore::Outcome::kNotInstalled:
      dialogs_.MessageBox(texts::kNotInstalledBefore + computerName_ + texts::kNotInstalledAfter,
                          texts::kNotInstalledTitle, BoxStyle::Stop);
      view_.SetStatus(detail);
      return false;
  }
  if (reg::OpenKey(far->root(), "", reg::kAllAccess, targetRoot_.out()) != reg::kOk) {
    targetRoot_.Reset();
    return false;
  }
  far_ = std::move(far);
  return true;
}

std::optional<std::string> Console::ReadStored(const std::string& path, const std::string& name, ValueType type) {
  std::vector<char> buffer(kValueBufferSize, '\0');
  int32_t rc = values_.Get(targetRoot_.get(), path, name, static_cast<int32_t>(type), buffer.data(),
                           kValueBufferSize);
  if (rc != reg::kOk) return std::nullopt;
  return StripNull(std::string_view(buffer.data(), buffer.size()));
}

std::string Console::ReadValue(const std::string& path, const std::string& name, ValueType type,
                               const std::string& defaultText) {
  // An absent value (or one the library cannot give) reads as its default.
  return ReadStored(path, name, type).value_or(StripNull(defaultText));
}

namespace {

// A value as the service reads it: the current name, else the old name it
// had, else the service's default.
template <class Row>
std::string ReadAsService(Console& console, const std::string& path, const ConsoleValue<Row>& v) {
  if (auto text = console.ReadStored(path, v.name, v.type)) return *text;
  if (v.info->oldName != nullptr) {
    if (auto text = console.ReadStored(path, v.info->oldName, v.type)) return *text;
  }
  return v.readDefault;
}

// The feeds below the account's "Feeds" subkey, in store order.
std::vector<FeedRow> ReadFeeds(Console& console, reg::Key root, const std::string& connection,
                               const std::string& account) {
  std::vector<FeedRow> feeds;
  reg::KeyHolder key;
  if (reg::OpenKey(root, schema::AccountKey(connection, account) + "\\" + schema::kFeedsSubkey, reg::kRead,
                   key.out()) != reg::kOk)
    return feeds;
  std::string name;
  for (uint32_t index = 0; index < kMostFeeds && reg::EnumKey(key.get(), index, &name, kNameBufferSize) == reg::kOk;
       ++index) {
    const std::string path = schema::FeedKey(connection, account, name);
    FeedRow feed;
    feed.name = name;
    feed.url = console.ReadStored(path, schema::kFeedUrl, ValueType::Text).value_or("");
    feed.to = console.ReadStored(path, schema::kFeedTo, ValueType::Text).value_or("");
    feed.origin = name;
    feeds.push_back(std::move(feed));
  }
  return feeds;
}

}  // namespace

void Console::ReadGlobalSettings() {
  for (const GlobalValue& v : GlobalValues()) {
    tables_.global.*v.field = ReadAsService(*this, schema::kParametersKey, v);
  }
  tables_.global.edited.clear();
}

void Console::ReadConnections() {
  tables_.connections.clear();
  readConnections_.clear();
  reg::KeyHolder parameters;
  if (reg::OpenKey(targetRoot_.get(), schema::kParametersKey, reg::kAllAccess, parameters.out()) == reg::kOk) {
    for (uint32_t index = 0; index < kMostKeys; ++index) {
      std::string name;
      if (reg::EnumKey(parameters.get(), index, &name, kNameBufferSize) != reg::kOk) break;
      if (SameTextIgnoringCase(name, schema::kVolatileName)) continue;
      readConnections_.push_back(name);
      ConnectionRow row;
      row.name = name;
      row.origin = StoreOrigin{name, {}};
      for (const ConnectionValue& v : ConnectionValues()) row.*v.field = ReadAsService(*this, schema::ConnectionKey(name), v);
      tables_.connections.push_back(std::move(row));
    }
  }
  for (const ConnectionRow& row : tables_.connections)
    if (SameTextIgnoringCase(row.name, schema::kPermanentConnection)) return;
  // The permanent connection is always there; its key is written only when
  // something is put into it.
  ConnectionRow noras;
  noras.name = schema::kPermanentConnection;
  for (const ConnectionValue& v : ConnectionValues()) noras.*v.field = v.readDefault;
  tables_.connections.push_back(std::move(noras));
}

void Console::ReadAccounts() {
  tables_.accounts.clear();
  readAccounts_.clear();
  for (const ConnectionRow& connection : tables_.connections) {
    if (connection.origin.empty()) continue;
    reg::KeyHolder key;
    if (reg::OpenKey(targetRoot_.get(), schema::ConnectionKey(connection.name), reg::kAllAccess, key.out()) !=
        reg::kOk)
      continue;
    for (uint32_t index = 0; index < kMostKeys; ++index) {
      std::string name;
      if (reg::EnumKey(key.get(), index, &name, kNameBufferSize) != reg::kOk) break;
      readAccounts_.push_back(StoreOrigin{connection.name, name});
      AccountRow row;
      row.connection = connection.name;
      row.name = name;
      row.origin = StoreOrigin{connection.name, name};
      const std::string path = schema::AccountKey(connection.name, name);
      for (const AccountValue& v : AccountValues()) row.*v.field = ReadAsService(*this, path, v);
      row.feeds = ReadFeeds(*this, targetRoot_.get(), connection.name, name);
      tables_.accounts.push_back(std::move(row));
    }
  }
}

}  // namespace ferry::console
