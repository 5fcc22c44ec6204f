// The eleven toolbar commands. They change the tables (and the template the
// page); only reading and saving reach the store.
#include "console/model/command_texts.h"
#include "console/model/console.h"
#include "console/model/field_rules.h"
#include "console/model/store_texts.h"
#include "console/model/text_rules.h"
#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

// A new account holds the service's defaults and is enabled; these values
// count as the person's, so they are written.
void FillNewAccount(AccountRow& row) {
  for (const AccountValue& v : AccountValues()) {
    row.*v.field = v.readDefault;
    if (v.written) row.edited.insert(v.name);
  }
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

std::vector<std::string> Console::ConnectionNames() const {
  std::vector<std::string> names;
  for (const ConnectionRow& row : tables_.connections) names.push_back(row.name);
  return names;
}

std::vector<std::string> Console::AccountNames(const std::string& connection) const {
  std::vector<std::string> names;
  for (const AccountRow& row : tables_.accounts)
    if (row.connection == connection) names.push_back(row.name);
  return names;
}

std::optional<std::string> Console::AskName(const std::string& prompt, const std::string& title,
                                            const std::string& defaultAnswer,
                                            const std::vector<std::string>& siblings,
                                            const std::string& takenMessage) {
  std::string proposal = defaultAnswer;
  for (;;) {
    std::optional<std::string> answer = dialogs_.InputBox(prompt, title, proposal);
    if (!answer) return std::nullopt;
    std::optional<std::string> fault = NameFault(*answer);
    if (!fault) {
      if (auto taken = TakenBy(*answer, siblings))
        fault = takenMessage + " (\"" + *taken + "\"; gro\xDF" "e und kleine Buchstaben z\xE4hlen als gleich).";
    }
    if (!fault) return answer;
    dialogs_.MessageBox(*fault, texts::kNameRefusedTitle, BoxStyle::Warning);
    proposal = *answer;
  }
}

void Console::NewConnection() {
  if (!StorePage()) return;
  std::optional<std::string> answer = AskName(texts::kNewConnectionPrompt, texts::kNewConnectionTitle,
                                              texts::kNewConnectionDefault, ConnectionNames(),
                                              texts::kConnectionExists);
  if (!answer) return;
  ConnectionRow row;
  row.name = *answer;
  for (const ConnectionValue& v : ConnectionValues()) row.*v.field = v.readDefault;
  row.timeOut = "60";
  row.edited.insert(schema::kTimeout);
  row.made = true;
  tables_.connections.push_back(std::move(row));
  BuildTree();
  ShowFirstConnection();
}

void Console::NewAccount() {
  if (!shown_) {
    dialogs_.MessageBox(texts::kChooseConnectionFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  if (!StorePage()) return;
  const std::string connection = shown_->connection;
  std::optional<std::string> answer = AskName(texts::kNewAccountPrompt, texts::kNewAccountTitle,
                                              texts::kNewAccountDefault, AccountNames(connection),
                                              texts::kAccountExists);
  if (!answer) return;
  AccountRow row;
  row.connection = connection;
  row.name = *answer;
  FillNewAccount(row);
  tables_.accounts.push_back(std::move(row));
  BuildTree();
}

void Console::ReadSettingsAgain() {
  ConnectComputer();
  BuildTree();
  ShowFirstConnection();
}

void Console::StoreAndSave() {
  if (!StorePage()) return;
  SaveConfiguration();
}

void Console::ChooseComputer() {
  std::optional<std::string> answer = dialogs_.InputBox(texts::kComputerPrompt, texts::kComputerTitle, computerName_);
  typedComputer_ = answer.value_or("");
  computerName_ = UpperCase(typedComputer_);
  view_.ShowComputerName(computerName_);
  ConnectComputer();
  BuildTree();
  ShowFirstConnection();
}

void Console::RemoveAccount() {
  if (!shown_ || shown_->kind != NodeKind::Account) {
    dialogs_.MessageBox(texts::kChooseAccountFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  // The page's other edits (the global values) stay.
  if (!StorePage()) return;
  if (dialogs_.MessageBox(texts::kDeleteAccountQuestion, texts::kDeleteAccountTitle, BoxStyle::Question) !=
      Answer::Yes)
    return;
  const Selection gone = *shown_;
  for (int i = 0; i < static_cast<int>(tables_.accounts.size()); ++i) {
    const AccountRow& row = tables_.accounts[i];
    if (row.connection == gone.connection && row.name == gone.account) {
      DeleteAccount(tables_.accounts, i);
      break;
    }
  }
  shown_.reset();
  BuildTree();
  ShowFirstConnection();
}

void Console::RemoveConnection() {
  if (!shown_ || shown_->kind != NodeKind::Connection) {
    dialogs_.MessageBox(texts::kChooseConnectionFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  const std::string connection = shown_->connection;
  if (SameTextIgnoringCase(connection, schema::kPermanentConnection)) {
    dialogs_.MessageBox(texts::kConnectionKept, texts::kDeleteConnectionTitle, BoxStyle::Plain);
    return;
  }
  if (!StorePage()) return;
  if (dialogs_.MessageBox(texts::kDeleteConnectionQuestion, texts::kDeleteConnectionTitle, BoxStyle::Question) !=
      Answer::Yes)
    return;
  for (int i = 0; i < static_cast<int>(tables_.connections.size()); ++i) {
    if (tables_.connections[i].name == connection) {
      console::DeleteConnection(tables_.connections, i);
      break;
    }
  }
  std::erase_if(tables_.accounts, [&](const AccountRow& row) { return row.connection == connection; });
  shown_.reset();
  BuildTree();
  ShowFirstConnection();
}

void Console::CopyAccount() {
  if (!shown_ || shown_->kind != NodeKind::Account) {
    dialogs_.MessageBox(texts::kChooseAccountFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  if (!StorePage()) return;
  const Selection source = *shown_;
  std::optional<std::string> target = dialogs_.InputBox(texts::kCopyTargetPrompt, texts::kCopyTitle, "");
  if (!target) return;
  const ConnectionRow* found = nullptr;
  for (const ConnectionRow& row : tables_.connections) {
    if (SameTextIgnoringCase(row.name, Trim(*target))) {
      found = &row;
      break;
    }
  }
  if (found == nullptr) {
    dialogs_.MessageBox(texts::kConnectionMissing, texts::kConnectionTitle, BoxStyle::Warning);
    return;
  }
  const std::string targetConnection = found->name;
  // Siblings are not refused here: a name taken asks to overwrite.
  std::optional<std::string> newName = AskName(texts::kCopyNamePrompt, texts::kCopyTitle, source.account, {}, "");
  if (!newName) return;

  // The store compares key names without regard to case, so an account of the
  // same name in other letters is the same account.
  int destination = -1;
  for (int i = 0; i < static_cast<int>(tables_.accounts.size()); ++i) {
    const AccountRow& row = tables_.accounts[i];
    if (row.connection == targetConnection && SameTextIgnoringCase(row.name, *newName)) {
      if (row.connection == source.connection && row.name == source.account) return;  // onto itself
      if (dialogs_.MessageBox(texts::kOverwriteQuestion, texts::kAccountTitle, BoxStyle::Question) != Answer::Yes)
        return;
      destination = i;
      break;
    }
  }
  std::optional<AccountRow> copy;
  for (const AccountRow& row : tables_.accounts)
    if (row.connection == source.connection && row.name == source.account) copy = row;
  if (!copy) return;
  copy->connection = targetConnection;
  copy->name = *newName;
  if (destination >= 0) {
    tables_.accounts[destination] = std::move(*copy);
  } else {
    tables_.accounts.push_back(std::move(*copy));
  }
  BuildTree();
  ShowFirstConnection();
}

void Console::FillTemplate() {
  if (!shown_ || shown_->kind != NodeKind::Account) {
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
  for (Control oauth : {Control::AccountOAuthTokenUrl, Control::AccountOAuthDeviceUrl, Control::AccountOAuthAuthorizeUrl,
                        Control::AccountOAuthClientId, Control::AccountOAuthClientSecret, Control::AccountOAuthScope}) {
    view_.SetText(oauth, "");
  }
  view_.SetText(Control::AccountPopAuth, "0");
  view_.SetText(Control::AccountSmtpAuth, "0");
  // The template's values are the person's, also where they equal what was shown.
  for (AccountRow& row : tables_.accounts) {
    if (row.connection != shown_->connection || row.name != shown_->account) continue;
    for (const AccountValue& v : AccountValues())
      if (v.written) row.edited.insert(v.name);
  }
}

void Console::RenameConnection() {
  if (!shown_) {
    dialogs_.MessageBox(texts::kChooseConnectionFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return;
  }
  const std::string oldName = shown_->connection;
  if (SameTextIgnoringCase(oldName, schema::kPermanentConnection)) {
    dialogs_.MessageBox(texts::kRenameRefused, texts::kRenameTitle, BoxStyle::Warning);
    return;
  }
  if (!StorePage()) return;
  std::vector<std::string> others;
  for (const std::string& name : ConnectionNames())
    if (name != oldName) others.push_back(name);
  std::optional<std::string> newName =
      AskName(texts::kRenamePrompt, texts::kConnectionTitle, oldName, others, texts::kConnectionExists);
  if (!newName || *newName == oldName) return;
  for (ConnectionRow& row : tables_.connections)
    if (row.name == oldName) row.name = *newName;
  for (AccountRow& row : tables_.accounts)
    if (row.connection == oldName) row.connection = *newName;
  shown_->connection = *newName;
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
