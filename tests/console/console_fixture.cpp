#include "tests/console/console_fixture.h"

#include <cstring>

#include "schema/registry_schema.h"

namespace ferry::test {

void PutText(const std::string& path, const std::string& name, const std::string& text) {
  reg::KeyHolder key;
  ASSERT_EQ(reg::CreateKey(reg::LocalMachine(), path, key.out()), reg::kOk) << path;
  ASSERT_EQ(reg::SetValue(key.get(), name, reg::kSz, text.data(), static_cast<uint32_t>(text.size())), reg::kOk);
}

void PutNumber(const std::string& path, const std::string& name, uint32_t number) {
  reg::KeyHolder key;
  ASSERT_EQ(reg::CreateKey(reg::LocalMachine(), path, key.out()), reg::kOk) << path;
  ASSERT_EQ(reg::SetValue(key.get(), name, reg::kDword, &number, 4), reg::kOk);
}

void MakeKey(const std::string& path) {
  reg::KeyHolder key;
  ASSERT_EQ(reg::CreateKey(reg::LocalMachine(), path, key.out()), reg::kOk) << path;
}

std::optional<std::string> Stored(const std::string& path, const std::string& name) {
  reg::KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), path, reg::kRead, key.out()) != reg::kOk) return std::nullopt;
  uint32_t type = 0;
  uint32_t size = 0;
  if (reg::QueryValue(key.get(), name, &type, nullptr, &size) != reg::kOk) return std::nullopt;
  std::string bytes(size, '\0');
  if (reg::QueryValue(key.get(), name, &type, bytes.data(), &size) != reg::kOk) return std::nullopt;
  if (type == reg::kDword && size == 4) {
    int32_t v = 0;
    std::memcpy(&v, bytes.data(), 4);
    return std::to_string(v);
  }
  return bytes;
}

bool KeyExists(const std::string& path) {
  reg::KeyHolder key;
  return reg::OpenKey(reg::LocalMachine(), path, reg::kRead, key.out()) == reg::kOk;
}

std::vector<std::string> Subkeys(const std::string& path) {
  std::vector<std::string> names;
  reg::KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), path, reg::kRead, key.out()) != reg::kOk) return names;
  std::string name;
  for (uint32_t i = 0; reg::EnumKey(key.get(), i, &name, 256) == reg::kOk; ++i) names.push_back(name);
  return names;
}

std::string BuiltValueLibrary() { return FERRY_VALUE_LIBRARY; }

void ConsoleTest::SetUp() {
  TempHiveTest::SetUp();
  values = std::make_unique<console::ValueLibrary>(std::vector<std::string>{BuiltValueLibrary()});
  console = std::make_unique<console::Console>(page, dialogs, *values);
}

void ConsoleTest::TearDown() {
  console.reset();
  values.reset();
  TempHiveTest::TearDown();
}

void ConsoleTest::InstallService() { MakeKey(schema::kParametersKey); }

void ConsoleTest::Start() {
  console->computerName() = "";
  console->ConnectComputer();
  console->BuildTree();
  console->ShowFirstConnection();
}

void ConsoleTest::Click(const std::string& path) {
  for (const console::TreeNode& node : console->treeNodes()) {
    if (node.Path() == path) {
      page.selected = node.key;
      console->SelectionChanged();
      return;
    }
  }
  ADD_FAILURE() << "no node " << path;
}

void ConsoleTest::ClickEmptySpace() {
  page.selected.reset();
  console->SelectionChanged();
}

const console::AccountRow* ConsoleTest::Account(const std::string& connection, const std::string& name) const {
  for (const console::AccountRow& row : console->tables().accounts) {
    if (row.connection == connection && row.name == name) return &row;
  }
  return nullptr;
}

const console::ConnectionRow* ConsoleTest::Connection(const std::string& name) const {
  for (const console::ConnectionRow& row : console->tables().connections) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

std::vector<std::string> ConsoleTest::ConnectionNames() const {
  std::vector<std::string> names;
  for (const console::ConnectionRow& row : console->tables().connections) {
    names.push_back(row.name);
  }
  return names;
}

std::vector<std::pair<std::string, std::string>> ConsoleTest::AccountNames() const {
  std::vector<std::pair<std::string, std::string>> names;
  for (const console::AccountRow& row : console->tables().accounts) {
    names.emplace_back(row.connection, row.name);
  }
  return names;
}

}  // namespace ferry::test
