// Reading the settings of the chosen computer into the tables.
#include <array>

#include "console/model/console.h"
#include "console/model/store_texts.h"
#include "console/model/text_rules.h"
#include "platform/system_info.h"
#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

constexpr int32_t kValueBufferSize = 255;
constexpr std::size_t kNameBufferSize = 500;

// The subkey name at `index`, or the empty text past the last one or on error.
std::string SubkeyName(reg::Key key, uint32_t index) {
  std::string name;
  if (reg::EnumKey(key, index, &name, kNameBufferSize) != reg::kOk) return {};
  return StripNull(name);
}

}  // namespace

Console::Console(ConsoleView& view, Dialogs& dialogs, ValueLibrary& values)
    : view_(view), dialogs_(dialogs), values_(values) {
  console::InitTables(tables_);
}

std::string LocalComputerName() { return StripNull(ferry::ComputerName()); }

bool Console::BindValues() {
  if (values_.Bind()) return true;
  view_.SetStatus(texts::kLibraryStatus + values_.FileName());
  dialogs_.MessageBox(texts::kLibraryBefore + values_.FileName() + texts::kLibraryMiddle + values_.Error(),
                      texts::kLibraryTitle, BoxStyle::Stop);
  return false;
}

void Console::ConnectComputer() {
  for (ConnectionRow& row : tables_.connections) row = ConnectionRow{};
  for (AccountRow& row : tables_.accounts) row = AccountRow{};
  view_.SetStatus(texts::kConnecting);

  targetRoot_.Reset();
  if (reg::ConnectRegistry(computerName_, reg::LocalMachine(), targetRoot_.out()) != reg::kOk) {
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

std::string Console::ReadValue(const std::string& path, const std::string& name, ValueType type,
                               const std::string& defaultText) {
  std::array<char, kValueBufferSize> buffer{};
  int32_t rc = values_.Get(targetRoot_.get(), path, name, static_cast<int32_t>(type), buffer.data(),
                           kValueBufferSize);
  // An absent value (or one the library cannot give) reads as its default.
  if (rc != reg::kOk) return StripNull(defaultText);
  return StripNull(std::string_view(buffer.data(), buffer.size()));
}

void Console::ReadGlobalSettings() {
  for (const GlobalValue& v : GlobalValues()) {
    tables_.global.*v.field = ReadValue(schema::kParametersKey, v.name, v.type, v.readDefault);
  }
}

void Console::ReadConnections() {
  for (ConnectionRow& row : tables_.connections) row = ConnectionRow{};
  reg::KeyHolder parameters;
  if (reg::OpenKey(targetRoot_.get(), schema::kParametersKey, reg::kAllAccess, parameters.out()) == reg::kOk) {
    int count = 0;
    for (uint32_t index = 0; index < kConnectionRows; ++index) {
      std::string name = SubkeyName(parameters.get(), index);
      if (name.empty() || SameTextIgnoringCase(name, schema::kVolatileName)) continue;
      ConnectionRow& row = tables_.connections[count++];
      row.name = name;
      row.origin = StoreOrigin{name, {}};
      for (const ConnectionValue& v : ConnectionValues()) {
        row.*v.field = ReadValue(schema::ConnectionKey(name), v.name, v.type, v.readDefault);
      }
    }
  }
  for (ConnectionRow& row : tables_.connections) {
    if (row.name == schema::kPermanentConnection) break;
    if (row.name.empty()) {
      row.name = schema::kPermanentConnection;
      break;
    }
  }
}

void Console::ReadAccounts() {
  for (AccountRow& row : tables_.accounts) row = AccountRow{};
  int count = 0;
  for (const ConnectionRow& connection : tables_.connections) {
    if (connection.name.empty()) break;
    reg::KeyHolder key;
    if (reg::OpenKey(targetRoot_.get(), schema::ConnectionKey(connection.name), reg::kAllAccess, key.out()) !=
        reg::kOk)
      continue;
    for (uint32_t index = 0; index < kAccountRows; ++index) {
      std::string name = SubkeyName(key.get(), index);
      if (name.empty()) break;
      if (count == kAccountRows) return;
      AccountRow& row = tables_.accounts[count++];
      row.connection = connection.name;
      row.name = name;
      row.origin = StoreOrigin{connection.name, name};
      for (const AccountValue& v : AccountValues()) {
        row.*v.field = ReadValue(schema::AccountKey(connection.name, name), v.name, v.type, v.readDefault);
      }
    }
  }
}

}  // namespace ferry::console
