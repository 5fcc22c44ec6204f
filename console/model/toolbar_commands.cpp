// The eleven toolbar commands. They change the tables (and the template the
// page); only reading and saving reach the store.
#include "console/model/command_texts.h"
#include "console/model/console.h"
#include "console/model/store_texts.h"
#include "console/model/text_rules.h"
#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

// A new account holds what an absent value reads as, and is enabled.
void FillNewAccount(AccountRow& row) {
  for (const AccountValue& v : AccountValues())
    if (v.written) row.*v.field = v.readDefault;
  row.enableAccount = "1";
}

}  // namespace

void Console::RunCommand(Command command) {
  switch (command) {
    case kNewConnection: NewConnection(); break;
    case kNewAccount: NewAccount(); break;
    case kReadSettings: ReadSettingsAgain(); break;
    case kSaveSettings: StoreAndSave(); break;
    case kQuit: view_.Close(); break;
    case kChooseComputer: ChooseComputer(); break;
    case kDeleteAccount: RemoveAccount(); break;
    case kDeleteConnection: RemoveConnection(); break;
    case kCopyAccount: CopyAccount(); break;
    case kTemplate: FillTemplate(); break;
    case kRenameConnection: RenameConnection(); break;
    default: break;
  }
}

void Console::NewConnection() {
  std::string answer =
      dialogs_.InputBox(texts::kNewConnectionPrompt, texts::kNewConnectionTitle, texts::kNewConnectionDefault);
  if (answer.empty()) return;
  for (ConnectionRow& row : tables_.connections) {
    if (Trim(row.name) == Trim(answer)) {
      dialogs_.MessageBox(texts::kConnectionExists, texts::kConnectionTitle, BoxStyle::Information);
      return;
    }
    if (Trim(row.name).empty()) {
      row.name = answer;
      row.timeOut = "60";
      break;
    }
  }
  BuildTree();
  ShowFirstConnection();
}

void Console::NewAccount() {
  auto selection = Selected();
  if (!selection) {
    dialogs_.MessageBox(texts::kChooseConnectionFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  const std::string connection = selection->connection;
  std::string answer =
      dialogs_.InputBox(texts::kNewAccountPrompt, texts::kNewAccountTitle, texts::kNewAccountDefault);
  if (answer.empty()) return;
  for (AccountRow& row : tables_.accounts) {
    if (Trim(row.connection) == connection && Trim(row.name) == Trim(answer)) {
      dialogs_.MessageBox(texts::kAccountExists, texts::kAccountTitle, BoxStyle::Information);
      return;
    }
    if (Trim(row.name).empty()) {
      row = AccountRow{};
      row.connection = connection;
      row.name = answer;
      FillNewAccount(row);
      break;
    }
  }
  BuildTree();
}

void Console::ReadSettingsAgain() {
  ConnectComputer();
  BuildTree();
  ShowFirstConnection();
}

void Console::StoreAndSave() {
  if (auto selection = Selected()) {
    if (selection->kind == NodeKind::Connection) {
      StorePage(selection->connection);
    } else {
      StorePage(selection->connection, selection->account);
    }
  }
  SaveConfiguration();
}

void Console::ChooseComputer() {
  std::string answer = dialogs_.InputBox(texts::kComputerPrompt, texts::kComputerTitle, computerName_);
  computerName_ = UpperCase(answer);
  view_.ShowComputerName(computerName_);
  ConnectComputer();
  BuildTree();
  ShowFirstConnection();
}

void Console::RemoveAccount() {
  auto selection = Selected();
  if (!selection || selection->kind != NodeKind::Account) {
    dialogs_.MessageBox(texts::kChooseAccountFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  if (dialogs_.MessageBox(texts::kDeleteAccountQuestion, texts::kDeleteAccountTitle, BoxStyle::Question) !=
      Answer::Yes)
    return;
  for (int i = 0; i < kAccountRows; ++i) {
    const AccountRow& row = tables_.accounts[i];
    if (row.connection == selection->connection && row.name == selection->account) {
      DeleteAccount(tables_.accounts, i);
      break;
    }
  }
  BuildTree();
  ShowFirstConnection();
}

void Console::RemoveConnection() {
  auto selection = Selected();
  if (!selection || selection->kind != NodeKind::Connection) {
    dialogs_.MessageBox(texts::kChooseConnectionFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  const std::string connection = selection->connection;
  if (connection == schema::kPermanentConnection) {
    dialogs_.MessageBox(texts::kConnectionKept, texts::kDeleteConnectionTitle, BoxStyle::Plain);
    return;
  }
  if (dialogs_.MessageBox(texts::kDeleteConnectionQuestion, texts::kDeleteConnectionTitle, BoxStyle::Question) !=
      Answer::Yes)
    return;
  for (int i = 0; i < kConnectionRows; ++i) {
    if (tables_.connections[i].name == connection) {
      console::DeleteConnection(tables_.connections, i);
      break;
    }
  }
  for (int i = 0; i < kAccountRows;) {
    if (tables_.accounts[i].connection == connection) {
      console::DeleteAccount(tables_.accounts, i);  // the next row moved into i
    } else {
      ++i;
    }
  }
  BuildTree();
  ShowFirstConnection();
}

void Console::CopyAccount() {
  auto selection = Selected();
  if (!selection || selection->kind != NodeKind::Account) {
    dialogs_.MessageBox(texts::kChooseAccountFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  std::string target = dialogs_.InputBox(texts::kCopyTargetPrompt, texts::kCopyTitle, "");
  std::string newName = dialogs_.InputBox(texts::kCopyNamePrompt, texts::kCopyTitle, selection->account);
  if (target.empty() || newName.empty()) return;

  const ConnectionRow* found = nullptr;
  for (const ConnectionRow& row : tables_.connections) {
    if (row.name.empty()) break;
    if (SameTextIgnoringCase(row.name, target)) {
      found = &row;
      break;
    }
  }
  if (found == nullptr) {
    dialogs_.MessageBox(texts::kConnectionMissing, texts::kConnectionTitle, BoxStyle::Warning);
    return;
  }
  const std::string targetConnection = found->name;

  // The store compares key names without regard to case, so an account of the
  // same name in other letters is the same account.
  AccountRow* destination = nullptr;
  for (AccountRow& row : tables_.accounts) {
    if (!row.name.empty() && SameTextIgnoringCase(row.connection, targetConnection) &&
        SameTextIgnoringCase(row.name, newName)) {
      if (dialogs_.MessageBox(texts::kOverwriteQuestion, texts::kAccountTitle, BoxStyle::Question) != Answer::Yes)
        return;
      destination = &row;
      break;
    }
  }
  if (destination == nullptr) {
    for (AccountRow& row : tables_.accounts) {
      if (row.name.empty()) {
        destination = &row;
        break;
      }
    }
  }
  const AccountRow* source = nullptr;
  for (const AccountRow& row : tables_.accounts) {
    if (row.connection == selection->connection && row.name == selection->account) {
      source = &row;
      break;
    }
  }
  // A full table (no free row) or a source that is gone: nothing to copy.
  if (destination == nullptr || source == nullptr) return;
  AccountRow copy = *source;
  copy.connection = targetConnection;
  copy.name = newName;
  *destination = std::move(copy);
  BuildTree();
  ShowFirstConnection();
}

void Console::FillTemplate() {
  auto selection = Selected();
  if (!selection || selection->kind != NodeKind::Account) {
    dialogs_.MessageBox(texts::kChooseAccountFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  if (dialogs_.MessageBox(texts::kTemplateQuestion, texts::kTemplateTitle, BoxStyle::Question) != Answer::Yes)
    return;
  view_.SetText(Control::AccountAddressMode, "3");
  view_.SetText(Control::AccountAddressModeTicker, "0");
  view_.SetText(Control::AccountCommand, "");
  view_.SetChecked(Control::AccountEnableAccount, true);
  view_.SetChecked(Control::AccountEnableCommand, false);
  view_.SetChecked(Control::AccountEnableFromUDP, false);
  view_.SetChecked(Control::AccountEnableUDP, false);
  view_.SetChecked(Control::AccountEnableWissenschaft, false);
  view_.SetText(Control::AccountLogFile, texts::kTemplateLogFile);
  view_.SetText(Control::AccountMaxMails, "10");
  view_.SetChecked(Control::AccountPOPDelete, true);
  view_.SetText(Control::AccountPOPHost, texts::kTemplatePopHost);
  view_.SetText(Control::AccountPOPPasswort, "");
  view_.SetText(Control::AccountPOPUser, texts::kTemplatePopUser);
  view_.SetText(Control::AccountSMTPFrom, texts::kTemplateSmtpFrom);
  view_.SetText(Control::AccountSMTPHost, texts::kTemplateSmtpHost);
  view_.SetText(Control::AccountSMTPTo, texts::kTemplateSmtpTo);
  view_.SetText(Control::AccountUDPPort, "15002");
  view_.SetText(Control::AccountPopSecurity, "0");
  view_.SetText(Control::AccountPopPort, "0");
  view_.SetText(Control::AccountSmtpSecurity, "0");
  view_.SetText(Control::AccountSmtpPort, "0");
  view_.SetText(Control::AccountSmtpUser, "");
  view_.SetText(Control::AccountSmtpPasswort, "");
  view_.SetText(Control::AccountTlsCaFile, "");
}

void Console::RenameConnection() {
  const std::string oldName = view_.Text(Control::ConnectionName);
  if (oldName == schema::kPermanentConnection) {
    dialogs_.MessageBox(texts::kRenameRefused, texts::kRenameTitle, BoxStyle::Warning);
    return;
  }
  if (oldName.empty()) {
    dialogs_.MessageBox(texts::kChooseConnectionFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  std::string newName = dialogs_.InputBox(texts::kRenamePrompt, texts::kConnectionTitle, oldName);
  if (newName.empty()) return;
  // Two rows of one name would be one key in the store.
  for (const ConnectionRow& row : tables_.connections) {
    if (row.name.empty()) break;
    if (!SameTextIgnoringCase(row.name, oldName) && SameTextIgnoringCase(row.name, newName)) {
      dialogs_.MessageBox(texts::kConnectionExists, texts::kConnectionTitle, BoxStyle::Information);
      return;
    }
  }
  for (ConnectionRow& row : tables_.connections) {
    if (SameTextIgnoringCase(row.name, oldName)) row.name = newName;
  }
  for (AccountRow& row : tables_.accounts) {
    if (SameTextIgnoringCase(row.connection, oldName)) row.connection = newName;
  }
  BuildTree();
  ShowFirstConnection();
}

void Console::StartConsole() {
  InitTables();
  computerName_ = LocalComputerName();
  ConnectComputer();
  view_.Show();
  view_.ShowComputerName(computerName_);
  BuildTree();
  ShowFirstConnection();
}

void Console::ChooseLocalComputer(bool ticked) {
  if (!ticked) return;
  computerName_ = LocalComputerName();
  ConnectComputer();
  view_.ShowComputerName(UpperCase(computerName_));
  BuildTree();
  ShowFirstConnection();
}

}  // namespace ferry::console
