// The console's logic without a window: the module state (computer, store
// connection, tables), the store access, the page transfers with the tree's
// selection protocol, the toolbar commands and the start routine.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/model/console_tables.h"
#include "console/model/console_view.h"
#include "console/model/value_library.h"
#include "platform/registry.h"

namespace ferry::console {

// The toolbar commands; the number names the toolbar in the window.
enum Command : int {
  kNewConnection = 0,
  kNewAccount = 1,
  kReadSettings = 2,
  kSaveSettings = 3,
  kQuit = 4,
  kChooseComputer = 5,
  kDeleteAccount = 6,
  kDeleteConnection = 7,
  kCopyAccount = 8,
  kTemplate = 9,
  kRenameConnection = 10,
};

class Console {
 public:
  Console(ConsoleView& view, Dialogs& dialogs, ValueLibrary& values);

  // ---- State ----
  Tables& tables() { return tables_; }
  const Tables& tables() const { return tables_; }
  std::string& computerName() { return computerName_; }
  reg::Key targetRoot() const { return targetRoot_.get(); }

  // ---- Store access ----
  void ConnectComputer();
  // True when everything was written; a failed save leaves the store as it was.
  bool SaveConfiguration();
  std::string ReadValue(const std::string& path, const std::string& name, ValueType type,
                        const std::string& defaultText);
  void ReadGlobalSettings();
  void ReadConnections();
  void ReadAccounts();

  // ---- Tree and pages ----
  void InitTables();
  void BuildTree();
  const std::vector<TreeNode>& treeNodes() const { return nodes_; }
  void StorePage(const std::string& connection, const std::optional<std::string>& account = std::nullopt);
  void ShowPage(const std::string& connection, const std::optional<std::string>& account = std::nullopt);
  void ShowFirstConnection();
  void TreeMouseDown();
  void TreeMouseUp();

  // ---- Toolbar ----
  void RunCommand(Command command);

  // ---- Start and computer choice ----
  void StartConsole();
  void ChooseLocalComputer(bool ticked);

 private:
  struct Selection {
    NodeKind kind;
    std::string connection;
    std::string account;  // accounts only
  };
  std::optional<Selection> Selected() const;
  bool BindValues();

  void NewConnection();
  void NewAccount();
  void ReadSettingsAgain();
  void StoreAndSave();
  void ChooseComputer();
  void RemoveAccount();
  void RemoveConnection();
  void CopyAccount();
  void FillTemplate();
  void RenameConnection();

  ConsoleView& view_;
  Dialogs& dialogs_;
  ValueLibrary& values_;
  std::string computerName_;
  reg::KeyHolder targetRoot_;
  Tables tables_;
  std::vector<TreeNode> nodes_;
};

// Removes every connection and account key below the parameters key of
// `root`; the subkey "volatile" stays.
long ClearParameters(reg::Key root);

// The local computer's name as the console takes it.
std::string LocalComputerName();

}  // namespace ferry::console
