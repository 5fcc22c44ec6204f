// The tree built from the tables, and the transfers between the tables and the
// page's controls. The page always belongs to one node (shown_): whatever
// moves the tree's selection, that node's page is stored before the selected
// node's page is shown, and a page that cannot be stored keeps its node.
#include <array>
#include <set>
#include <stdexcept>

#include "console/model/console.h"
#include "console/model/field_rules.h"
#include "console/model/page_texts.h"
#include "console/model/text_rules.h"
#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

using C = Control;
namespace s = schema;

// One control of the page: the value it shows and its German label.
struct PageField {
  Control control;
  const char* value;
  bool box;
};

constexpr std::array<PageField, 8> kGlobalFields{{
    {C::GlobalBDWDir, s::kBdwDir, false},
    {C::GlobalDebugLevel, s::kDebugLevel, false},
    {C::GlobalListenRAS, s::kListenRas, true},
    {C::GlobalProxyHost, s::kProxyHost, false},
    {C::GlobalProxyPort, s::kProxyPort, false},
    {C::GlobalTickerEMail, s::kTickerEMail, false},
    {C::GlobalTriggerPort, s::kTriggerPort, false},
    {C::GlobalTlsCaFile, s::kTlsCaFile, false},
}};

// The interval has a field of its own (minutes on the page).
constexpr std::array<PageField, 1> kConnectionFields{{
    {C::ConnectionEnableLogging, s::kEnableLogging, true},
}};

// The account controls in the order a page sets them.
constexpr std::array<PageField, 35> kAccountFields{{
    {C::AccountAddressMode, s::kAddressmode, false},
    {C::AccountAddressModeTicker, s::kAddressmodeTicker, false},
    {C::AccountCommand, s::kCommand, false},
    {C::AccountEnableAccount, s::kEnableAccount, true},
    {C::AccountEnableCommand, s::kEnableCommand, true},
    {C::AccountEnableFromUDP, s::kEnableFromUdp, true},
    {C::AccountEnableUDP, s::kEnableUdp, true},
    {C::AccountEnableWissenschaft, s::kEnableWissenschaft, true},
    {C::AccountLogFile, s::kLogfile, false},
    {C::AccountMaxMails, s::kMaxMails, false},
    {C::AccountPOPDelete, s::kPopDelete, true},
    {C::AccountPOPHost, s::kPopHost, false},
    {C::AccountPOPPasswort, s::kPopPassword, false},
    {C::AccountPOPUser, s::kPopUser, false},
    {C::AccountSMTPFrom, s::kSmtpFrom, false},
    {C::AccountSMTPHost, s::kSmtpHost, false},
    {C::AccountSMTPTo, s::kSmtpTo, false},
    {C::AccountUDPPort, s::kUdpPort, false},
    {C::AccountPopSecurity, s::kPopSecurity, false},
    {C::AccountPopPort, s::kPopPort, false},
    {C::AccountSmtpSecurity, s::kSmtpSecurity, false},
    {C::AccountSmtpPort, s::kSmtpPort, false},
    {C::AccountSmtpUser, s::kSmtpUser, false},
    {C::AccountSmtpPasswort, s::kSmtpPassword, false},
    {C::AccountTlsCaFile, s::kTlsCaFile, false},
    {C::AccountPopAuth, s::kPopAuth, false},
    {C::AccountSmtpAuth, s::kSmtpAuth, false},
    {C::AccountOAuthTokenUrl, s::kOAuthTokenUrl, false},
    {C::AccountOAuthDeviceUrl, s::kOAuthDeviceUrl, false},
    {C::AccountOAuthAuthorizeUrl, s::kOAuthAuthorizeUrl, false},
    {C::AccountOAuthClientId, s::kOAuthClientId, false},
    {C::AccountOAuthClientSecret, s::kOAuthClientSecret, false},
    {C::AccountOAuthScope, s::kOAuthScope, false},
    {C::AccountEnableFeeds, s::kEnableFeeds, true},
    {C::AccountFeedInterval, s::kFeedInterval, false},
}};

// A box shows any stored number but 0 as ticked.
bool Ticked(const std::string& number) { return ParseDecimal(number).value_or(0) != 0; }
std::string BoxText(bool checked) { return checked ? "1" : "0"; }

template <class Row>
const ConsoleValue<Row>& ValueOf(std::span<const ConsoleValue<Row>> values, const char* name) {
  for (const ConsoleValue<Row>& v : values)
    if (std::string_view(v.name) == name) return v;
  throw std::logic_error(std::string("no console value ") + name);
}

// A stored value the service cannot use as it stands (out of range, too long).
bool StoredBad(const s::ValueInfo& info, const std::string& text) { return FieldFault(info, text).has_value(); }

template <class Row, std::size_t N>
void ShowFields(ConsoleView& view, const std::array<PageField, N>& fields, std::span<const ConsoleValue<Row>> values,
                const Row& row) {
  for (const PageField& f : fields) {
    const ConsoleValue<Row>& v = ValueOf(values, f.value);
    const std::string& text = row.*v.field;
    if (f.box) {
      view.SetChecked(f.control, Ticked(text));
      view.MarkControl(f.control, false);
    } else {
      view.SetText(f.control, text);
      view.MarkControl(f.control, StoredBad(*v.info, text));
    }
  }
}

// Takes the page's fields that differ from the row into it; a field the
// store cannot take is marked and its complaint added to `faults`.
template <class Row, std::size_t N>
void StoreFields(ConsoleView& view, const std::array<PageField, N>& fields, std::span<const ConsoleValue<Row>> values,
                 Row& row, std::vector<std::string>& faults) {
  for (const PageField& f : fields) {
    const ConsoleValue<Row>& v = ValueOf(values, f.value);
    std::string& stored = row.*v.field;
    if (f.box) {
      const bool checked = view.Checked(f.control);
      if (checked == Ticked(stored)) continue;
      stored = BoxText(checked);
      row.edited.insert(v.name);
      continue;
    }
    std::string text = view.Text(f.control);
    if (text == stored) continue;
    if (auto fault = FieldFault(*v.info, text)) {
      view.MarkControl(f.control, true);
      faults.push_back("\"" + std::string(FieldLabel(f.control)) + "\" " + *fault);
      continue;
    }
    view.MarkControl(f.control, false);
    stored = v.type == ValueType::Number ? Trim(text) : text;
    if (v.written) row.edited.insert(v.name);
  }
}

}  // namespace

const char* FieldLabel(Control control) {
  switch (control) {
    case C::GlobalBDWDir: return "Pfad f\xFCr HTML-Seiten";
    case C::GlobalDebugLevel: return "Protokoll Level";
    case C::GlobalListenRAS: return "RAS-Verbindung benutzen";
    case C::GlobalProxyHost: return "Proxy Host";
    case C::GlobalProxyPort: return "Proxy Port";
    case C::GlobalTickerEMail: return "Adresse f\xFCr Newsticker";
    case C::GlobalTriggerPort: return "Port f\xFCr UDP Messages";
    case C::ConnectionName: return "Name";
    case C::ConnectionInterval: return "Intervall in dem Nachrichten abgeholt werden";
    case C::ConnectionEnableLogging: return "Protokollierung aktivieren";
    case C::AccountAddressMode: return "Adress Modus";
    case C::AccountAddressModeTicker: return "Adress Modus (Newsticker)";
    case C::AccountCommand: return "Befehl";
    case C::AccountEnableAccount: return "Account aktivieren";
    case C::AccountEnableCommand: return "Befehl ausf\xFChren";
    case C::AccountEnableFromUDP: return "erw. Benachrichtigung \xFC" "ber UDP";
    case C::AccountEnableUDP: return "Benachrichtigung \xFC" "ber UDP";
    case C::AccountEnableWissenschaft: return "Newsticker aktivieren";
    case C::AccountLogFile: return "Protokollpfad";
    case C::AccountMaxMails: return "max. Mails pro Thread";
    case C::AccountPOPDelete: return "Nachrichten nach \xDC" "bertragung l\xF6schen";
    case C::AccountPOPHost: return "POP Host";
    case C::AccountPOPPasswort: return "Passwort";
    case C::AccountPOPUser: return "Benutzer";
    case C::AccountSMTPFrom: return "From Adresse";
    case C::AccountSMTPHost: return "SMTP Host";
    case C::AccountSMTPTo: return "To Adresse";
    case C::AccountUDPPort: return "UDP Port";
    case C::GlobalTlsCaFile: return "CA-Datei";
    case C::AccountPopSecurity: return "POP Verschl\xFCsselung";
    case C::AccountPopPort: return "POP Port";
    case C::AccountSmtpSecurity: return "SMTP Verschl\xFCsselung";
    case C::AccountSmtpPort: return "SMTP Port";
    case C::AccountSmtpUser: return "SMTP Benutzer";
    case C::AccountSmtpPasswort: return "SMTP Passwort";
    case C::AccountTlsCaFile: return "CA-Datei";
    case C::AccountPopAuth: return "POP Anmeldung";
    case C::AccountSmtpAuth: return "SMTP Anmeldung";
    case C::AccountOAuthTokenUrl: return "OAuth Token-URL";
    case C::AccountOAuthDeviceUrl: return "OAuth Ger\xE4te-URL";
    case C::AccountOAuthAuthorizeUrl: return "OAuth Anmelde-URL";
    case C::AccountOAuthClientId: return "OAuth Client-ID";
    case C::AccountOAuthClientSecret: return "OAuth Client-Secret";
    case C::AccountOAuthScope: return "OAuth Scope";
    case C::AccountEnableFeeds: return "Newsfeeds abrufen";
    case C::AccountFeedInterval: return "Abrufintervall (Minuten)";
  }
  return "";
}

// The label of the control showing a value, for messages; the value's name
// when no control shows it.
std::string ValueLabel(schema::Level level, const std::string& name) {
  auto find = [&](auto& fields) -> const char* {
    for (const PageField& f : fields)
      if (SameTextIgnoringCase(f.value, name)) return FieldLabel(f.control);
    return nullptr;
  };
  const char* label = nullptr;
  if (level == schema::Level::Global) label = find(kGlobalFields);
  if (level == schema::Level::Account) label = find(kAccountFields);
  if (level == schema::Level::Connection) {
    label = find(kConnectionFields);
    if (SameTextIgnoringCase(name, schema::kTimeout)) label = FieldLabel(C::ConnectionInterval);
  }
  return label != nullptr ? label : name;
}

void Console::InitTables() {
  console::InitTables(tables_);
  computerName_.clear();
  shown_.reset();
}

void Console::BuildTree() {
  nodes_.clear();
  std::set<std::string> keys;
  for (const ConnectionRow& row : tables_.connections) {
    TreeNode node{"A" + row.name, row.name, NodeKind::Connection, {}, {}};
    if (keys.insert(node.key).second) nodes_.push_back(node);
  }
  for (const AccountRow& row : tables_.accounts) {
    TreeNode node{"A" + row.connection + "\\" + row.name, row.name, NodeKind::Account, "A" + row.connection,
                  row.connection};
    bool parentThere = false;
    for (const TreeNode& n : nodes_)
      if (n.kind == NodeKind::Connection && n.key == node.parentKey) parentThere = true;
    if (parentThere && keys.insert(node.key).second) nodes_.push_back(node);
  }
  view_.ShowTree(nodes_);
  SelectShownNode();
}

std::optional<std::string> Console::NodeKey(const Selection& selection) const {
  for (const TreeNode& node : nodes_) {
    if (selection.kind == NodeKind::Connection && node.kind == NodeKind::Connection &&
        node.text == selection.connection)
      return node.key;
    if (selection.kind == NodeKind::Account && node.kind == NodeKind::Account &&
        node.parentText == selection.connection && node.text == selection.account)
      return node.key;
  }
  return std::nullopt;
}

void Console::SelectShownNode() {
  view_.SelectNode(shown_ ? NodeKey(*shown_) : std::nullopt);
}

std::string Console::ShownPath() const {
  if (!shown_) return {};
  return shown_->kind == NodeKind::Account ? shown_->connection + "\\" + shown_->account : shown_->connection;
}

bool Console::StorePage() {
  std::vector<std::string> faults;
  StoreFields<GlobalSettings>(view_, kGlobalFields, GlobalValues(), tables_.global, faults);
  if (shown_) {
    for (ConnectionRow& row : tables_.connections) {
      if (row.name != shown_->connection) continue;
      StoreFields<ConnectionRow>(view_, kConnectionFields, ConnectionValues(), row, faults);
      const std::string text = view_.Text(Control::ConnectionInterval);
      if (text != IntervalText(row.timeOut)) {
        IntervalReading reading = IntervalSeconds(text);
        if (reading.seconds) {
          row.timeOut = *reading.seconds;
          row.edited.insert(schema::kTimeout);
          view_.MarkControl(Control::ConnectionInterval, false);
        } else {
          view_.MarkControl(Control::ConnectionInterval, true);
          faults.push_back("\"" + std::string(FieldLabel(Control::ConnectionInterval)) + "\" " + reading.fault);
        }
      }
      break;
    }
    if (shown_->kind == NodeKind::Account) {
      for (AccountRow& row : tables_.accounts) {
        if (row.name != shown_->account || row.connection != shown_->connection) continue;
        StoreFields<AccountRow>(view_, kAccountFields, AccountValues(), row, faults);
        break;
      }
    }
  }
  if (faults.empty()) return true;
  std::string message = texts::kFieldsRefused;
  for (const std::string& fault : faults) message += "\n\n" + fault;
  dialogs_.MessageBox(message, texts::kFieldsRefusedTitle, BoxStyle::Warning);
  return false;
}

void Console::ShowPage(const std::string& connection, const std::optional<std::string>& account) {
  ShowFields<GlobalSettings>(view_, kGlobalFields, GlobalValues(), tables_.global);

  shown_ = account ? Selection{NodeKind::Account, connection, *account}
                   : Selection{NodeKind::Connection, connection, {}};
  SelectShownNode();
  view_.SetAccountFrameEnabled(false);

  for (const ConnectionRow& row : tables_.connections) {
    if (row.name != connection) continue;
    view_.SetText(Control::ConnectionName, row.name);
    ShowFields<ConnectionRow>(view_, kConnectionFields, ConnectionValues(), row);
    view_.SetText(Control::ConnectionInterval, IntervalText(row.timeOut));
    view_.MarkControl(Control::ConnectionInterval,
                      StoredBad(*ValueOf(ConnectionValues(), schema::kTimeout).info, row.timeOut));
    break;
  }

  if (account) {
    view_.SetAccountControlsEnabled(true);
    view_.SetAccountFrameEnabled(true);
    for (const AccountRow& row : tables_.accounts) {
      if (row.name != *account || row.connection != connection) continue;
      ShowFields<AccountRow>(view_, kAccountFields, AccountValues(), row);
      view_.ShowFeeds({row.feeds.begin(), row.feeds.end()});
      break;
    }
    return;
  }
  view_.ShowFeeds({});
  for (const PageField& f : kAccountFields) {
    if (f.box) {
      view_.SetChecked(f.control, false);
    } else {
      view_.SetText(f.control, "");
    }
    view_.MarkControl(f.control, false);
  }
  view_.SetAccountControlsEnabled(false);
}

void Console::ShowFirstConnection() {
  if (tables_.connections.empty()) {
    shown_.reset();
    SelectShownNode();
    return;
  }
  ShowPage(tables_.connections[0].name);
}

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

void Console::SelectionChanged() {
  std::optional<Selection> selected = Selected();
  if (selected && shown_ && selected->kind == shown_->kind && selected->connection == shown_->connection &&
      selected->account == shown_->account)
    return;
  if (!StorePage() || !selected) {
    // The page keeps its node: nothing is lost and nothing goes elsewhere.
    SelectShownNode();
    return;
  }
  if (selected->kind == NodeKind::Connection) {
    ShowPage(selected->connection);
  } else {
    ShowPage(selected->connection, selected->account);
  }
}

}  // namespace ferry::console
