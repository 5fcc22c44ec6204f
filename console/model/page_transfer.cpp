// The tree built from the tables, and the transfers between the tables and the
// page's controls: the page of the node losing the selection is stored when
// the mouse button goes down on the tree, the page of the node then selected
// is shown when it comes up.
#include <array>
#include <set>

#include "console/model/console.h"
#include "console/model/text_rules.h"

namespace ferry::console {
namespace {

struct AccountControl {
  Control control;
  std::string AccountRow::*field;
  bool box;
};

using A = AccountRow;
using C = Control;

// The account controls in the order a page sets them.
constexpr std::array<AccountControl, 25> kAccountControls{{
    {C::AccountAddressMode, &A::addressmode, false},
    {C::AccountAddressModeTicker, &A::addressmodeTicker, false},
    {C::AccountCommand, &A::command, false},
    {C::AccountEnableAccount, &A::enableAccount, true},
    {C::AccountEnableCommand, &A::enableCommand, true},
    {C::AccountEnableFromUDP, &A::enableFromUdp, true},
    {C::AccountEnableUDP, &A::enableUdp, true},
    {C::AccountEnableWissenschaft, &A::enableWissenschaft, true},
    {C::AccountLogFile, &A::logFile, false},
    {C::AccountMaxMails, &A::maxMails, false},
    {C::AccountPOPDelete, &A::popDelete, true},
    {C::AccountPOPHost, &A::popHost, false},
    {C::AccountPOPPasswort, &A::popPasswort, false},
    {C::AccountPOPUser, &A::popUser, false},
    {C::AccountSMTPFrom, &A::smtpFrom, false},
    {C::AccountSMTPHost, &A::smtpHost, false},
    {C::AccountSMTPTo, &A::smtpTo, false},
    {C::AccountUDPPort, &A::udpPort, false},
    {C::AccountPopSecurity, &A::popSecurity, false},
    {C::AccountPopPort, &A::popPort, false},
    {C::AccountSmtpSecurity, &A::smtpSecurity, false},
    {C::AccountSmtpPort, &A::smtpPort, false},
    {C::AccountSmtpUser, &A::smtpUser, false},
    {C::AccountSmtpPasswort, &A::smtpPasswort, false},
    {C::AccountTlsCaFile, &A::tlsCaFile, false},
}};

struct GlobalControl {
  Control control;
  std::string GlobalSettings::*field;
  bool box;
};

constexpr std::array<GlobalControl, 8> kGlobalControls{{
    {C::GlobalBDWDir, &GlobalSettings::bdwDir, false},
    {C::GlobalDebugLevel, &GlobalSettings::debugLevel, false},
    {C::GlobalListenRAS, &GlobalSettings::listenRas, true},
    {C::GlobalProxyHost, &GlobalSettings::proxyHost, false},
    {C::GlobalProxyPort, &GlobalSettings::proxyPort, false},
    {C::GlobalTickerEMail, &GlobalSettings::tickerEMail, false},
    {C::GlobalTriggerPort, &GlobalSettings::triggerPort, false},
    {C::GlobalTlsCaFile, &GlobalSettings::tlsCaFile, false},
}};

// A box shows any stored number but 0 as ticked.
bool Ticked(const std::string& number) { return ParseDecimal(number).value_or(0) != 0; }
std::string BoxText(bool checked) { return checked ? "1" : "0"; }

void ZeroWhenEmpty(std::string& field) {
  if (field.empty()) field = "0";
}

}  // namespace

void Console::InitTables() {
  console::InitTables(tables_);
  computerName_.clear();
}

void Console::BuildTree() {
  std::optional<std::string> selected = view_.SelectedNodeKey();
  nodes_.clear();
  std::set<std::string> keys;
  for (const ConnectionRow& row : tables_.connections) {
    if (StripNull(row.name).empty()) break;
    TreeNode node{"A" + row.name, row.name, NodeKind::Connection, {}, {}};
    if (keys.insert(node.key).second) nodes_.push_back(node);
  }
  for (const AccountRow& row : tables_.accounts) {
    if (StripNull(row.name).empty()) break;
    TreeNode node{"A" + row.connection + row.name, row.name, NodeKind::Account, "A" + row.connection,
                  row.connection};
    bool parentThere = false;
    for (const TreeNode& n : nodes_)
      if (n.kind == NodeKind::Connection && n.key == node.parentKey) parentThere = true;
    if (parentThere && keys.insert(node.key).second) nodes_.push_back(node);
  }
  view_.ShowTree(nodes_);
  // Keep the node being edited selected, so that the next click on the tree
  // still stores its page.
  if (selected) {
    for (const TreeNode& node : nodes_) {
      if (node.key == *selected) view_.SelectNode(selected);
    }
  }
}

void Console::StorePage(const std::string& connection, const std::optional<std::string>& account) {
  for (const GlobalControl& g : kGlobalControls) {
    tables_.global.*g.field = g.box ? BoxText(view_.Checked(g.control)) : view_.Text(g.control);
  }
  for (ConnectionRow& row : tables_.connections) {
    if (row.name != connection) continue;
    row.name = view_.Text(Control::ConnectionName);
    row.enableLogging = BoxText(view_.Checked(Control::ConnectionEnableLogging));
    std::optional<double> minutes = view_.IntervalMinutes();
    if (!minutes) return;  // an interval that is no number ends the transfer here
    row.timeOut = MinutesToSeconds(*minutes);
    break;
  }
  if (!account) return;
  for (AccountRow& row : tables_.accounts) {
    if (row.name != *account || row.connection != connection) continue;
    for (const AccountControl& a : kAccountControls) {
      row.*a.field = a.box ? BoxText(view_.Checked(a.control)) : view_.Text(a.control);
    }
    break;
  }
}

void Console::ShowPage(const std::string& connection, const std::optional<std::string>& account) {
  GlobalSettings& global = tables_.global;
  for (const GlobalValue& v : GlobalValues())
    if (v.zeroWhenEmpty) ZeroWhenEmpty(global.*v.field);
  for (const GlobalControl& g : kGlobalControls) {
    if (g.box) {
      view_.SetChecked(g.control, Ticked(global.*g.field));
    } else {
      view_.SetText(g.control, global.*g.field);
    }
  }

  std::string path = account ? connection + "\\" + *account : connection;
  std::optional<std::string> selected;
  for (const TreeNode& node : nodes_) {
    if (node.Path() == path) {
      selected = node.key;
      break;
    }
  }
  view_.SelectNode(selected);
  view_.SetAccountFrameEnabled(false);

  for (ConnectionRow& row : tables_.connections) {
    if (row.name != connection) continue;
    for (const ConnectionValue& v : ConnectionValues())
      if (v.zeroWhenEmpty) ZeroWhenEmpty(row.*v.field);
    view_.SetText(Control::ConnectionName, row.name);
    view_.SetChecked(Control::ConnectionEnableLogging, Ticked(row.enableLogging));
    view_.SetIntervalMinutes(SecondsToMinutes(row.timeOut));
    break;
  }

  if (account) {
    view_.SetAccountControlsEnabled(true);
    view_.SetAccountFrameEnabled(true);
    for (AccountRow& row : tables_.accounts) {
      if (row.name != *account || row.connection != connection) continue;
      for (const AccountValue& v : AccountValues())
        if (v.zeroWhenEmpty) ZeroWhenEmpty(row.*v.field);
      for (const AccountControl& a : kAccountControls) {
        if (a.box) {
          view_.SetChecked(a.control, Ticked(row.*a.field));
        } else {
          view_.SetText(a.control, row.*a.field);
        }
      }
      break;
    }
    return;
  }
  for (const AccountControl& a : kAccountControls) {
    if (a.box) {
      view_.SetChecked(a.control, false);
    } else {
      view_.SetText(a.control, "");
    }
  }
  view_.SetAccountControlsEnabled(false);
}

void Console::ShowFirstConnection() { ShowPage(tables_.connections[0].name); }

std::optional<Console::Selection> Console::Selected() const {
  std::optional<std::string> key = view_.SelectedNodeKey();
  if (!key) return std::nullopt;
  for (const TreeNode& node : nodes_) {
    if (node.key != *key) continue;
    if (node.kind == NodeKind::Connection) return Selection{node.kind, node.text, {}};
    return Selection{node.kind, node.parentText, node.text};
  }
  return std::nullopt;
}

void Console::TreeMouseDown() {
  auto selection = Selected();
  if (!selection) return;
  if (selection->kind == NodeKind::Connection) {
    StorePage(selection->connection);
  } else {
    StorePage(selection->connection, selection->account);
  }
}

void Console::TreeMouseUp() {
  auto selection = Selected();
  if (!selection) return;
  if (selection->kind == NodeKind::Connection) {
    ShowPage(selection->connection);
  } else {
    ShowPage(selection->connection, selection->account);
  }
}

}  // namespace ferry::console
