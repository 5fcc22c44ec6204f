// The console's logic without a window: the module state (computer, store
// connection, tables), the store access, the page transfers with the tree's
// selection protocol, the toolbar commands and the start routine.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/model/authorize_line.h"
#include "console/model/console_settings.h"
#include "console/model/console_tables.h"
#include "console/model/console_view.h"
#include "console/model/far_store.h"
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
  // The console's own settings (how another computer is reached); read from
  // its settings file when the console is made.
  ConsoleSettings& settings() { return settings_; }
  // Another computer reached over SSH: the link, while it is the chosen one.
  const FarStore* farStore() const { return far_.get(); }

  // ---- Store access ----
  void ConnectComputer();
  // True when everything was written; a failed save leaves the store as it was.
  bool SaveConfiguration();
  // A stored value as text (blanks trimmed); nothing when it is absent or the
  // library cannot give it.
  std::optional<std::string> ReadStored(const std::string& path, const std::string& name, ValueType type);
  std::string ReadValue(const std::string& path, const std::string& name, ValueType type,
                        const std::string& defaultText);
  void ReadGlobalSettings();
  void ReadConnections();
  void ReadAccounts();

  // ---- Tree and pages ----
  void InitTables();
  void BuildTree();
  const std::vector<TreeNode>& treeNodes() const { return nodes_; }
  // Takes the page's fields into the row of the node the page belongs to.
  // Fields the store cannot take are marked and named in one message; they
  // stay on the page, the other fields are taken. False when one was refused.
  bool StorePage();
  // Shows the page of this node and selects it; the page belongs to it.
  void ShowPage(const std::string& connection, const std::optional<std::string>& account = std::nullopt);
  void ShowFirstConnection();
  // The tree's selection moved (mouse, keyboard, a click on empty space): the
  // page is stored and the selected node's page shown. When the page cannot
  // be stored, or nothing is selected, the page's node is selected again.
  void SelectionChanged();
  // The path of the node the page belongs to ("" when none).
  std::string ShownPath() const;

  // ---- Toolbar ----
  void RunCommand(Command command);

  // ---- The shown account's feed list ----
  // Add a feed, change the selected one, remove the selected one (after a Yes).
  void AddFeed();
  void ChangeFeed();
  void RemoveFeed();

  // ---- OAuth ----
  // The command line that authorises the account whose page is shown (see
  // authorize_line.h), after taking the page's fields into its row.
  // `consoleFolder` holds the console's own program. Empty after a message
  // box told why it cannot run.
  std::vector<std::string> AuthorizeShownAccount(const std::string& consoleFolder);

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
  std::optional<std::string> NodeKey(const Selection& selection) const;
  void SelectShownNode();
  bool BindValues();
  // Asks for a name until it meets the rules and names no sibling; nothing on Cancel.
  std::optional<std::string> AskName(const std::string& prompt, const std::string& title,
                                     const std::string& defaultAnswer, const std::vector<std::string>& siblings,
                                     const std::string& takenMessage);
  std::vector<std::string> ConnectionNames() const;
  std::vector<std::string> AccountNames(const std::string& connection) const;
  // The row of the shown account; nothing (after saying so) on another page.
  AccountRow* ShownAccount();
  // The feed selected in the list; nothing (after saying so) when none is.
  std::optional<int> ChosenFeed(const AccountRow& row);
  // Shows the feed dialog until its fields meet the rules; false on Cancel.
  // `self` is the feed's place in the list when it is being changed.
  bool AskFeed(FeedEntry& feed, const std::string& title, const AccountRow& row, std::optional<int> self);
  // After a save: every row stands where it was written, nothing is edited.
  void MarkSaved();

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

  // Whether the chosen computer is reached over SSH (not this one, and no
  // folder of other computers' stores is given).
  bool ReachedOverSsh() const;
  // Reads the chosen computer's store over SSH into `far_` and points
  // `targetRoot_` at it; false after telling why.
  bool ConnectFar();

  ConsoleView& view_;
  Dialogs& dialogs_;
  ValueLibrary& values_;
  std::string computerName_;
  std::string typedComputer_;  // as the person typed it (ssh host names and users keep their case)
  ConsoleSettings settings_;
  std::unique_ptr<FarStore> far_;  // before targetRoot_: outlives the handle into it
  reg::KeyHolder targetRoot_;
  Tables tables_;
  std::vector<TreeNode> nodes_;
  std::optional<Selection> shown_;  // the node the page belongs to
  // The keys read from the store, as the store spells them: a save removes
  // only these (when no row stands there any more), never what it did not read.
  std::vector<std::string> readConnections_;
  std::vector<StoreOrigin> readAccounts_;
};

// The local computer's name as the console takes it.
std::string LocalComputerName();

}  // namespace ferry::console
