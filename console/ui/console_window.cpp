#include "console/ui/console_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

#include "console/ui/authorize_dialog.h"
#include "console/ui/qt_dialogs.h"

namespace ferry::console {
namespace {

// Window texts are written here in UTF-8; the tables carry Latin-1.
QString T(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr int kKeyRole = Qt::UserRole;
constexpr int kPictureRole = Qt::UserRole + 1;

// The account controls (the page's account part).
constexpr std::array kAccountControls{
    Control::AccountPopSecurity,     Control::AccountPopPort,           Control::AccountSmtpSecurity,
    Control::AccountSmtpPort,        Control::AccountSmtpUser,          Control::AccountSmtpPasswort,
    Control::AccountTlsCaFile,
    Control::AccountAddressMode,     Control::AccountAddressModeTicker, Control::AccountCommand,
    Control::AccountEnableAccount,   Control::AccountEnableCommand,     Control::AccountEnableFromUDP,
    Control::AccountEnableUDP,       Control::AccountEnableWissenschaft, Control::AccountLogFile,
    Control::AccountMaxMails,        Control::AccountPOPDelete,         Control::AccountPOPHost,
    Control::AccountPOPPasswort,     Control::AccountPOPUser,           Control::AccountSMTPFrom,
    Control::AccountSMTPHost,        Control::AccountSMTPTo,            Control::AccountUDPPort,
};

// The controls of the account frame besides "Account aktivieren" itself.
constexpr std::array kAccountFrameControls{
    Control::AccountPOPHost,    Control::AccountPOPUser,     Control::AccountPOPPasswort,
    Control::AccountPOPDelete,  Control::AccountSMTPHost,    Control::AccountSMTPFrom,
    Control::AccountSMTPTo,     Control::AccountAddressMode, Control::AccountEnableCommand,
    Control::AccountCommand,    Control::AccountEnableUDP,   Control::AccountUDPPort,
    Control::AccountEnableFromUDP, Control::AccountMaxMails, Control::AccountLogFile,
    Control::AccountPopSecurity, Control::AccountPopPort, Control::AccountSmtpSecurity,
    Control::AccountSmtpPort, Control::AccountSmtpUser, Control::AccountSmtpPasswort,
    Control::AccountTlsCaFile,
};

// A page in a scroll area, so that every control is reachable on a small screen.
QWidget* Scrolling(QWidget* page) {
  auto* area = new QScrollArea;
  area->setWidget(page);
  area->setWidgetResizable(true);
  area->setFrameShape(QFrame::NoFrame);
  return area;
}

// The number of an up-down box: a decimal comma or point; no number counts 0.
double NumberIn(const QString& text) {
  bool ok = false;
  double value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
  return ok ? value : 0;
}

// Two arrow buttons that step the number in the text box beside them.
QWidget* MakeUpDown(QLineEdit* buddy, int maximum, const char* objectName) {
  auto* box = new QWidget;
  box->setObjectName(QString::fromLatin1(objectName));
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int step : {1, -1}) {
    auto* button = new QToolButton(box);
    button->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
    button->setFixedSize(16, 11);
    button->setAutoRepeat(true);
    QObject::connect(button, &QToolButton::clicked, buddy, [buddy, maximum, step] {
      double value = NumberIn(buddy->text());
      double next = std::clamp(std::floor(value) + step, 0.0, static_cast<double>(maximum));
      if (step < 0 && value != std::floor(value)) next = std::clamp(std::floor(value), 0.0, double(maximum));
      buddy->setText(QString::number(next, 'f', 0));
    });
    layout->addWidget(button);
  }
  return box;
}

}  // namespace

std::string Latin1Text(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (QChar c : text) out.push_back(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : kNotLatin1);
  return out;
}

bool InstallGermanTranslations() {
  static QTranslator* translator = nullptr;
  if (translator != nullptr) return true;
  auto* candidate = new QTranslator(QCoreApplication::instance());
  const QStringList places{QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
  for (const QString& place : places) {
    if (candidate->load(QStringLiteral("qtbase_de"), place)) {
      QCoreApplication::installTranslator(candidate);
      translator = candidate;
      return true;
    }
  }
  delete candidate;
  return false;
}

ConsoleWindow::ConsoleWindow(ValueLibrary& values, Dialogs* dialogs) {
  if (dialogs == nullptr) {
    ownDialogs_ = std::make_unique<QtDialogs>(this);
    dialogs = ownDialogs_.get();
  }
  console_ = std::make_unique<Console>(*this, *dialogs, values);
  BuildLayout();
}

ConsoleWindow::~ConsoleWindow() = default;

void ConsoleWindow::Start() { console_->StartConsole(); }

QToolBar* ConsoleWindow::MakeToolbar(Command command, const QString& caption) {
  const int index = static_cast<int>(command);
  auto* bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("Symbolleiste%1").arg(index));
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  QAction* action = bar->addAction(caption);
  action->setObjectName(QStringLiteral("SymbolleisteButton%1").arg(index));
  connect(action, &QAction::triggered, this, [this, command] { console_->RunCommand(command); });
  // Framed, so that it reads as a button, not as a label.
  if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) button->setAutoRaise(false);
  toolbars_[command] = bar;
  return bar;
}

QLineEdit* ConsoleWindow::AddLine(Control control, const char* objectName) {
  auto* line = new QLineEdit;
  line->setObjectName(QString::fromLatin1(objectName));
  lines_[control] = line;
  return line;
}

QComboBox* ConsoleWindow::AddSecurity(Control control, const char* objectName, bool whenOffered) {
  auto* choice = new QComboBox;
  choice->setObjectName(QString::fromLatin1(objectName));
  // As narrow as a short choice, so that the page still fits a small screen.
  choice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  choice->setMinimumContentsLength(10);
  // The item data is the stored mode; POP3 knows no "when offered".
  choice->addItem(T("keine"), 0);
  if (whenOffered) choice->addItem(T("STARTTLS wenn angeboten"), 1);
  choice->addItem(T("STARTTLS"), 2);
  choice->addItem(T("SSL/TLS"), 3);
  choices_[control] = choice;
  return choice;
}

QCheckBox* ConsoleWindow::AddBox(Control control, const char* objectName, const QString& caption) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(QString::fromLatin1(objectName));
  boxes_[control] = box;
  return box;
}

void ConsoleWindow::BuildLayout() {
  setObjectName(QStringLiteral("POPConfig"));
  setWindowTitle(QStringLiteral("Ferrylink Gateway"));
  setFont(QFont(QStringLiteral("Tahoma")));

  // Toolbars placed on the window, in two rows so that they fit a small screen.
  for (auto [command, caption] : std::initializer_list<std::pair<Command, const char*>>{
           {kNewConnection, "Neue &Verbindung"},
           {kNewAccount, "Neuer &Account"},
           {kReadSettings, "&Einstellungen einlesen"},
           {kSaveSettings, "Einstellungen &speichern"},
           {kDeleteAccount, "Accou&nt löschen"},
           {kDeleteConnection, "Verbindung &löschen"},
           {kCopyAccount, "Account &kopieren"},
           {kQuit, "&Beenden"}}) {
    if (command == kDeleteAccount) addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, MakeToolbar(command, T(caption)));
  }

  tree_ = new QTreeWidget;
  tree_->setObjectName(QStringLiteral("GlobalList"));
  tree_->setHeaderHidden(true);
  tree_->setMinimumWidth(140);
  // Every change of the selection (mouse, keyboard, a click on empty space)
  // goes to the console, which stores the page and shows the new node's page.
  connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!selecting_) console_->SelectionChanged();
  });

  tabs_ = new QTabWidget;
  tabs_->setObjectName(QStringLiteral("Kartei"));
  tabs_->addTab(Scrolling(BuildGlobalTab()), T("Global"));
  tabs_->addTab(Scrolling(BuildConnectionTab()), T("Verbindungen / Accounts"));
  tabs_->addTab(Scrolling(BuildNewsTab()), T("Newsticker"));

  auto* central = new QWidget;
  auto* layout = new QHBoxLayout(central);
  layout->addWidget(tree_);
  layout->addWidget(tabs_, 1);
  setCentralWidget(central);
  setMinimumSize(640, 480);
  resize(1000, 720);
  statusBar()->setObjectName(QStringLiteral("Status"));

  for (Control c : kAccountControls) {
    if (lines_.count(c)) lines_[c]->setEnabled(false);
    if (boxes_.count(c)) boxes_[c]->setEnabled(false);
    if (choices_.count(c)) choices_[c]->setEnabled(false);
  }
  accountFrame_->setEnabled(false);
  toolbars_[kTemplate]->setEnabled(false);

  connect(boxes_[Control::AccountEnableAccount], &QCheckBox::toggled, this, [this] { ApplyBoxRules(); });
  connect(boxes_[Control::AccountEnableCommand], &QCheckBox::toggled, this, [this] { ApplyBoxRules(); });
  connect(boxes_[Control::ConnectionEnableLogging], &QCheckBox::toggled, this, [this] { ApplyBoxRules(); });
  connect(computerLocal_, &QCheckBox::clicked, this, [this](bool ticked) {
    toolbars_[kChooseComputer]->setEnabled(!ticked);
    console_->ChooseLocalComputer(ticked);
  });
}

QWidget* ConsoleWindow::BuildGlobalTab() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);

  auto* computer = new QGroupBox(T("Rechner"));
  computer->setObjectName(QStringLiteral("Rahmen0"));
  auto* computerLayout = new QHBoxLayout(computer);
  computerName_ = new QLineEdit;
  computerName_->setObjectName(QStringLiteral("GlobalComputerName"));
  computerName_->setToolTip(T("zu verwaltender Rechner"));
  computerName_->setEnabled(false);
  computerLocal_ = new QCheckBox(T("lokaler Rechner"));
  computerLocal_->setObjectName(QStringLiteral("OptionComputerLocal"));
  computerLocal_->setToolTip(T("Dienst auf lokalem Rechner verwalten, oder Remoteverbindung"));
  computerLocal_->setChecked(true);
  computerLayout->addWidget(computerName_, 1);
  computerLayout->addWidget(computerLocal_);
  QToolBar* choose = MakeToolbar(kChooseComputer, T("Rechner auswählen"));
  choose->setEnabled(false);
  computerLayout->addWidget(choose);
  layout->addWidget(computer);

  auto* global = new QGroupBox(T("globale Einstellungen"));
  global->setObjectName(QStringLiteral("Rahmen1"));
  auto* form = new QFormLayout(global);
  form->addRow(AddBox(Control::GlobalListenRAS, "GlobalListenRAS", T("RAS-Verbindung benutzen")));
  QLineEdit* level = AddLine(Control::GlobalDebugLevel, "GlobalDebugLevel");
  level->setToolTip(T("Level der Protokollierung"));
  auto* levelRow = new QHBoxLayout;
  levelRow->addWidget(level);
  levelRow->addWidget(MakeUpDown(level, 9, "GlobalDebugLevelUpDown"));
  form->addRow(T("Protokoll Level :"), levelRow);
  form->addRow(T("Proxy Host :"), AddLine(Control::GlobalProxyHost, "GlobalProxyHost"));
  form->addRow(T("Proxy Port :"), AddLine(Control::GlobalProxyPort, "GlobalProxyPort"));
  QLineEdit* trigger = AddLine(Control::GlobalTriggerPort, "GlobalTriggerPort");
  trigger->setToolTip(T("Port auf dem UDP-Steuerpackete empfangen werden"));
  form->addRow(T("Port für UDP Messages :"), trigger);
  form->addRow(T("CA-Datei :"), AddLine(Control::GlobalTlsCaFile, "GlobalTlsCaFile"));
  auto* note = new QLabel(
      T("Wenn Sie RAS Verbindungen benutzen möchten muß die Verbindung den selben Namen haben, wie der "
        "RAS-Eintrag. Öffnet sich die RAS Verbindung werden die Accounts in der Verbindung abgeholt und "
        "zugestellt. Möchten Sie kein RAS benutzen verweden Sie die Verbindung 'NoRAS' um über Standleitung "
        "Mails zu bekommen."));
  note->setWordWrap(true);
  form->addRow(note);
  layout->addWidget(global);
  layout->addStretch();
  return page;
}

QWidget* ConsoleWindow::BuildConnectionTab() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);

  auto* connection = new QGroupBox(T("Verbindung"));
  connection->setObjectName(QStringLiteral("Rahmen2"));
  auto* form = new QFormLayout(connection);
  QLineEdit* name = AddLine(Control::ConnectionName, "ConnectionName");
  name->setEnabled(false);
  form->addRow(T("Name :"), name);
  interval_ = AddLine(Control::ConnectionInterval, "ConnectionTimeOut");
  interval_->setToolTip(T("Minuten zwischen zwei Abrufen; \"nie (nur Trigger)\": nur auf ein Signal hin"));
  auto* intervalRow = new QHBoxLayout;
  intervalRow->addWidget(interval_);
  intervalRow->addWidget(MakeUpDown(interval_, 9999, "ConnectionTimeOutUpDown"));
  intervalRow->addWidget(new QLabel(T("(min)")));
  form->addRow(T("Intervall in dem Nachrichten abgeholt werden :"), intervalRow);
  form->addRow(AddBox(Control::ConnectionEnableLogging, "ConnectionEnableLogging", T("&Protokollierung aktivieren")));
  form->addRow(MakeToolbar(kRenameConnection, T("Umbenennen…")));
  layout->addWidget(connection);

  accountFrame_ = new QGroupBox;
  accountFrame_->setObjectName(QStringLiteral("Rahmen3"));
  auto* account = new QFormLayout(accountFrame_);
  account->addRow(T("POP Host :"), AddLine(Control::AccountPOPHost, "AccountPOPHost"));
  account->addRow(T("Benutzer :"), AddLine(Control::AccountPOPUser, "AccountPOPUser"));
  QLineEdit* password = AddLine(Control::AccountPOPPasswort, "AccountPOPPasswort");
  password->setEchoMode(QLineEdit::Password);
  account->addRow(T("Passwort :"), password);
  account->addRow(T("Verschlüsselung :"), AddSecurity(Control::AccountPopSecurity, "AccountPopSecurity", false));
  account->addRow(T("Port :"), AddLine(Control::AccountPopPort, "AccountPopPort"));
  account->addRow(AddBox(Control::AccountPOPDelete, "AccountPOPDelete", T("Nachrichten nach Übertragung löschen")));
  account->addRow(T("SMTP Host :"), AddLine(Control::AccountSMTPHost, "AccountSMTPHost"));
  account->addRow(T("Verschlüsselung :"), AddSecurity(Control::AccountSmtpSecurity, "AccountSmtpSecurity", true));
  account->addRow(T("Port :"), AddLine(Control::AccountSmtpPort, "AccountSmtpPort"));
  account->addRow(T("Benutzer :"), AddLine(Control::AccountSmtpUser, "AccountSmtpUser"));
  QLineEdit* smtpPassword = AddLine(Control::AccountSmtpPasswort, "AccountSmtpPasswort");
  smtpPassword->setEchoMode(QLineEdit::Password);
  account->addRow(T("Passwort :"), smtpPassword);
  account->addRow(T("CA-Datei :"), AddLine(Control::AccountTlsCaFile, "AccountTlsCaFile"));
  // OAuth sign-in: 0 password, 1 XOAUTH2, 2 OAUTHBEARER; "mailferry2 -authorize" fetches the token.
  account->addRow(T("POP Anmeldung :"), AddLine(Control::AccountPopAuth, "AccountPopAuth"));
  account->addRow(T("SMTP Anmeldung :"), AddLine(Control::AccountSmtpAuth, "AccountSmtpAuth"));
  account->addRow(T("OAuth Token-URL :"), AddLine(Control::AccountOAuthTokenUrl, "AccountOAuthTokenUrl"));
  account->addRow(T("OAuth Geräte-URL :"), AddLine(Control::AccountOAuthDeviceUrl, "AccountOAuthDeviceUrl"));
  account->addRow(T("OAuth Anmelde-URL :"), AddLine(Control::AccountOAuthAuthorizeUrl, "AccountOAuthAuthorizeUrl"));
  account->addRow(T("OAuth Client-ID :"), AddLine(Control::AccountOAuthClientId, "AccountOAuthClientId"));
  QLineEdit* clientSecret = AddLine(Control::AccountOAuthClientSecret, "AccountOAuthClientSecret");
  clientSecret->setEchoMode(QLineEdit::Password);
  account->addRow(T("OAuth Client-Secret :"), clientSecret);
  account->addRow(T("OAuth Scope :"), AddLine(Control::AccountOAuthScope, "AccountOAuthScope"));
  authorize_ = new QPushButton(T("Autorisieren…"));
  authorize_->setObjectName(QStringLiteral("AccountAuthorize"));
  authorize_->setToolTip(T("Meldet das Konto einmal beim Anbieter an und speichert das Token für den Dienst"));
  connect(authorize_, &QPushButton::clicked, this, [this] { AuthorizeAccount(); });
  account->addRow(authorize_);
  account->addRow(T("From Adresse :"), AddLine(Control::AccountSMTPFrom, "AccountSMTPFrom"));
  account->addRow(T("To Adresse :"), AddLine(Control::AccountSMTPTo, "AccountSMTPTo"));
  account->addRow(T("Adress Modus :"), AddLine(Control::AccountAddressMode, "AccountAddressMode"));
  account->addRow(AddBox(Control::AccountEnableAccount, "AccountEnableAccount", T("Account aktivieren")));
  account->addRow(AddBox(Control::AccountEnableCommand, "AccountEnableCommand", T("Befehl ausführen :")),
                  AddLine(Control::AccountCommand, "AccountCommand"));
  account->addRow(AddBox(Control::AccountEnableUDP, "AccountEnableUDP",
                         T("Benachrichtigung über UDP-Broadcast auf Port :")),
                  AddLine(Control::AccountUDPPort, "AccountUDPPort"));
  account->addRow(AddBox(Control::AccountEnableFromUDP, "AccountEnableFromUDP",
                         T("erw. Benachrichtigung über UDP (Angabe des Absenders)")));
  account->addRow(T("max. Mails pro Thread :"), AddLine(Control::AccountMaxMails, "AccountMaxMails"));
  account->addRow(T("Protokollpfad (lokal auf Server) :"), AddLine(Control::AccountLogFile, "AccountLogFile"));
  account->addRow(MakeToolbar(kTemplate, T("Template einfügen…")));
  account->addRow(BuildFeedGroup());
  layout->addWidget(accountFrame_);
  layout->addStretch();
  return page;
}

QGroupBox* ConsoleWindow::BuildFeedGroup() {
  feedGroup_ = new QGroupBox(T("Newsfeeds"));
  feedGroup_->setObjectName(QStringLiteral("Newsfeeds"));
  auto* form = new QFormLayout(feedGroup_);
  form->addRow(AddBox(Control::AccountEnableFeeds, "AccountEnableFeeds", T("Newsfeeds abrufen")));
  QLineEdit* interval = AddLine(Control::AccountFeedInterval, "AccountFeedInterval");
  interval->setToolTip(T("Minuten zwischen zwei Abrufen eines Newsfeeds"));
  form->addRow(T("Abrufintervall (Minuten) :"), interval);
  feedList_ = new QTreeWidget;
  feedList_->setObjectName(QStringLiteral("AccountFeeds"));
  feedList_->setColumnCount(3);
  feedList_->setHeaderLabels({T("Name"), T("URL"), T("An")});
  feedList_->setRootIsDecorated(false);
  feedList_->setSelectionMode(QAbstractItemView::SingleSelection);
  feedList_->setMinimumHeight(110);
  form->addRow(feedList_);
  auto* buttons = new QHBoxLayout;
  for (auto [objectName, caption, command] :
       std::initializer_list<std::tuple<const char*, const char*, void (Console::*)()>>{
           {"FeedAdd", "&Hinzufügen…", &Console::AddFeed},
           {"FeedChange", "Ä&ndern…", &Console::ChangeFeed},
           {"FeedRemove", "Ent&fernen", &Console::RemoveFeed}}) {
    auto* button = new QPushButton(T(caption));
    button->setObjectName(QString::fromLatin1(objectName));
    connect(button, &QPushButton::clicked, this, [this, command] { ((*console_).*command)(); });
    buttons->addWidget(button);
  }
  buttons->addStretch();
  form->addRow(buttons);
  // A double click changes the feed.
  connect(feedList_, &QTreeWidget::itemDoubleClicked, this, [this] { console_->ChangeFeed(); });
  return feedGroup_;
}

void ConsoleWindow::ShowFeeds(const std::vector<FeedEntry>& feeds) {
  const int current = feedList_->currentIndex().row();
  feedList_->clear();
  for (const FeedEntry& feed : feeds) {
    auto* item = new QTreeWidgetItem(feedList_);
    item->setText(0, QString::fromLatin1(feed.name));
    item->setText(1, QString::fromLatin1(feed.url));
    item->setText(2, QString::fromLatin1(feed.to));
  }
  feedList_->resizeColumnToContents(0);
  if (current >= 0 && current < feedList_->topLevelItemCount())
    feedList_->setCurrentItem(feedList_->topLevelItem(current));
}

std::optional<int> ConsoleWindow::SelectedFeed() const {
  QList<QTreeWidgetItem*> selected = feedList_->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return feedList_->indexOfTopLevelItem(selected.first());
}

QWidget* ConsoleWindow::BuildNewsTab() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* frame = new QGroupBox;
  frame->setObjectName(QStringLiteral("Rahmen4"));
  auto* form = new QFormLayout(frame);
  form->addRow(T("Adresse für Newsticker :"), AddLine(Control::GlobalTickerEMail, "GlobalTickerEMail"));
  form->addRow(T("Pfad für HTML-Seiten :"), AddLine(Control::GlobalBDWDir, "GlobalBDWDir"));
  form->addRow(AddBox(Control::AccountEnableWissenschaft, "AccountEnableWissenschaft", T("Newsticker aktivieren")));
  form->addRow(T("Adress Modus :"), AddLine(Control::AccountAddressModeTicker, "AccountAddressModeTicker"));
  layout->addWidget(frame);
  layout->addStretch();
  return page;
}

void ConsoleWindow::ApplyBoxRules() {
  // While no account is shown its controls stay disabled; otherwise
  // "Account aktivieren" enables the rest of the account frame and its
  // toolbar, "Befehl ausführen" the command and "Protokollierung" the log path.
  bool account = accountShown_ && boxes_[Control::AccountEnableAccount]->isChecked();
  for (Control c : kAccountFrameControls) {
    if (lines_.count(c)) lines_[c]->setEnabled(account);
    if (boxes_.count(c)) boxes_[c]->setEnabled(account);
    if (choices_.count(c)) choices_[c]->setEnabled(account);
  }
  toolbars_[kTemplate]->setEnabled(account);
  authorize_->setEnabled(account);
  lines_[Control::AccountCommand]->setEnabled(account && boxes_[Control::AccountEnableCommand]->isChecked());
  lines_[Control::AccountLogFile]->setEnabled(account &&
                                              boxes_[Control::ConnectionEnableLogging]->isChecked());
  boxes_[Control::AccountEnableAccount]->setEnabled(accountShown_);
  boxes_[Control::AccountEnableWissenschaft]->setEnabled(accountShown_);
  feedGroup_->setEnabled(accountShown_);
  lines_[Control::AccountAddressModeTicker]->setEnabled(accountShown_);
}

void ConsoleWindow::AuthorizeAccount() {
  std::vector<std::string> argv =
      console_->AuthorizeShownAccount(QCoreApplication::applicationDirPath().toLocal8Bit().toStdString());
  if (argv.empty()) return;
  AuthorizeDialog dialog(argv, this);
  dialog.Start();
  dialog.exec();
}

std::string ConsoleWindow::Text(Control control) const {
  if (auto choice = choices_.find(control); choice != choices_.end()) {
    return std::to_string(choice->second->currentData().toInt());
  }
  auto found = lines_.find(control);
  if (found == lines_.end()) return {};
  return Latin1Text(found->second->text());
}

void ConsoleWindow::SetText(Control control, const std::string& text) {
  if (auto choice = choices_.find(control); choice != choices_.end()) {
    // A mode the choice does not list (POP3's 1 acts as 2) shows as the next one it does.
    int mode = QString::fromLatin1(text).toInt();
    int index = choice->second->findData(mode);
    if (index < 0) index = choice->second->findData(mode + 1);
    choice->second->setCurrentIndex(index < 0 ? 0 : index);
    return;
  }
  auto found = lines_.find(control);
  if (found != lines_.end()) found->second->setText(QString::fromLatin1(text));
}

bool ConsoleWindow::Checked(Control control) const {
  auto found = boxes_.find(control);
  return found != boxes_.end() && found->second->isChecked();
}

void ConsoleWindow::SetChecked(Control control, bool checked) {
  auto found = boxes_.find(control);
  if (found != boxes_.end()) found->second->setChecked(checked);
}

void ConsoleWindow::MarkControl(Control control, bool bad) {
  QWidget* widget = nullptr;
  if (auto line = lines_.find(control); line != lines_.end()) widget = line->second;
  if (auto box = boxes_.find(control); box != boxes_.end()) widget = box->second;
  if (widget == nullptr) return;
  widget->setStyleSheet(bad ? QStringLiteral("border: 2px solid #c00000; background: #fff0f0;") : QString());
}

void ConsoleWindow::SetAccountFrameEnabled(bool enabled) { accountFrame_->setEnabled(enabled); }

void ConsoleWindow::SetAccountControlsEnabled(bool enabled) {
  accountShown_ = enabled;
  ApplyBoxRules();
}

void ConsoleWindow::ShowTree(const std::vector<TreeNode>& nodes) {
  QSignalBlocker quiet(tree_);
  tree_->clear();
  QIcon pictures[] = {style()->standardIcon(QStyle::SP_DriveNetIcon), style()->standardIcon(QStyle::SP_FileIcon)};
  std::map<std::string, QTreeWidgetItem*> items;
  for (const TreeNode& node : nodes) {
    QTreeWidgetItem* item = nullptr;
    if (node.kind == NodeKind::Connection) {
      item = new QTreeWidgetItem(tree_);
    } else {
      auto parent = items.find(node.parentKey);
      if (parent == items.end()) continue;
      item = new QTreeWidgetItem(parent->second);
    }
    int picture = static_cast<int>(node.kind);
    item->setText(0, QString::fromLatin1(node.text));
    item->setIcon(0, pictures[picture - 1]);
    item->setData(0, kKeyRole, QString::fromLatin1(node.key));
    item->setData(0, kPictureRole, picture);
    items[node.key] = item;
  }
  tree_->expandAll();
}

void ConsoleWindow::SelectNode(const std::optional<std::string>& key) {
  selecting_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{selecting_};
  if (key) {
    QString wanted = QString::fromLatin1(*key);
    for (QTreeWidgetItemIterator it(tree_); *it != nullptr; ++it) {
      if ((*it)->data(0, kKeyRole).toString() == wanted) {
        tree_->setCurrentItem(*it);
        return;
      }
    }
  }
  tree_->clearSelection();
  tree_->setCurrentItem(nullptr);
}

std::optional<std::string> ConsoleWindow::SelectedNodeKey() const {
  QList<QTreeWidgetItem*> selected = tree_->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return selected.first()->data(0, kKeyRole).toString().toLatin1().toStdString();
}

void ConsoleWindow::SetStatus(const std::string& text) { statusBar()->showMessage(QString::fromLatin1(text)); }

void ConsoleWindow::ShowComputerName(const std::string& name) { computerName_->setText(QString::fromLatin1(name)); }

void ConsoleWindow::Show() { show(); }

void ConsoleWindow::Close() { QApplication::quit(); }

}  // namespace ferry::console
