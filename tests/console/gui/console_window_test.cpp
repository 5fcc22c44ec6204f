// The console window on the offscreen platform, driven with mouse clicks.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <deque>

#include "console/model/text_rules.h"
#include "console/ui/console_window.h"
#include "platform/registry.h"
#include "platform/store_location.h"
#include "platform/system_info.h"
#include "schema/registry_schema.h"

using namespace ferry;
using namespace ferry::console;

namespace {

// Answers input boxes from a queue and every question with Yes.
class QueueDialogs : public Dialogs {
 public:
  std::string InputBox(const std::string&, const std::string&, const std::string&) override {
    if (inputs.empty()) return {};
    std::string a = inputs.front();
    inputs.pop_front();
    return a;
  }
  Answer MessageBox(const std::string& text, const std::string&, BoxStyle style) override {
    messages.push_back(text);
    return style == BoxStyle::Question ? Answer::Yes : Answer::Ok;
  }
  std::deque<std::string> inputs;
  std::vector<std::string> messages;
};

void PutText(const std::string& path, const char* name, const std::string& text) {
  reg::KeyHolder key;
  QVERIFY(reg::CreateKey(reg::LocalMachine(), path, key.out()) == reg::kOk);
  QVERIFY(reg::SetValue(key.get(), name, reg::kSz, text.data(), static_cast<uint32_t>(text.size())) == reg::kOk);
}

void PutNumber(const std::string& path, const char* name, uint32_t number) {
  reg::KeyHolder key;
  QVERIFY(reg::CreateKey(reg::LocalMachine(), path, key.out()) == reg::kOk);
  QVERIFY(reg::SetValue(key.get(), name, reg::kDword, &number, 4) == reg::kOk);
}

uint32_t StoredNumber(const std::string& path, const char* name) {
  reg::KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), path, reg::kRead, key.out()) != reg::kOk) return 0xFFFFFFFF;
  uint32_t number = 0xFFFFFFFF;
  uint32_t size = 4;
  if (reg::QueryValue(key.get(), name, nullptr, &number, &size) != reg::kOk) return 0xFFFFFFFF;
  return number;
}

std::string StoredText(const std::string& path, const char* name) {
  reg::KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), path, reg::kRead, key.out()) != reg::kOk) return "<no key>";
  char buffer[256] = {};
  uint32_t size = sizeof buffer - 1;
  if (reg::QueryValue(key.get(), name, nullptr, buffer, &size) != reg::kOk) return "<no value>";
  return std::string(buffer, size);
}

}  // namespace

class ConsoleWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QVERIFY(folder_.isValid());
    SetEnvironment(reg::kHiveEnvironmentVariable, (folder_.path() + "/registry.hive").toStdString());
    const std::string dial = schema::ConnectionKey("Dial");
    PutNumber(dial, "Timeout", 600);
    PutText(schema::AccountKey("Dial", "anna"), "POP Host", "pop.anna.example");
    PutText(schema::AccountKey("Dial", "anna"), "POP User", "J\xFCrgen");  // Latin-1 in the store
    PutNumber(schema::AccountKey("Dial", "anna"), "Enable Account", 1);
    PutText(schema::AccountKey("Dial", "bert"), "POP Host", "pop.bert.example");
    PutNumber(schema::AccountKey("Dial", "bert"), "Enable Account", 1);
    values_ = std::make_unique<ValueLibrary>(std::vector<std::string>{FERRY_VALUE_LIBRARY});
    window_ = std::make_unique<ConsoleWindow>(*values_, &dialogs_);
    window_->Start();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanup() {
    window_.reset();
    values_.reset();
    SetEnvironment(reg::kHiveEnvironmentVariable, "");
  }

  void windowShowsItsTextsRight() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Ferrylink Gateway"));
    QCOMPARE(Toolbar(kChooseComputer)->actions().first()->text(), QString::fromUtf8("Rechner auswählen"));
    QCOMPARE(Toolbar(kDeleteAccount)->actions().first()->text(), QString::fromUtf8("Accou&nt löschen"));
    auto* tabs = window_->findChild<QTabWidget*>("Kartei");
    QCOMPARE(tabs->tabText(1), QStringLiteral("Verbindungen / Accounts"));
    QCOMPARE(Box("AccountPOPDelete")->text(), QString::fromUtf8("Nachrichten nach Übertragung löschen"));
    ClickNode("Dial\\anna");
    QCOMPARE(Line("AccountPOPUser")->text(), QString::fromUtf8("Jürgen"));
    QCOMPARE(Line("ConnectionTimeOut")->text(), QStringLiteral("10"));
  }

  void clickingBetweenAccountsKeepsTheEditsOfTheFirst() {
    ClickNode("Dial\\anna");
    QCOMPARE(Line("AccountPOPHost")->text(), QStringLiteral("pop.anna.example"));
    Line("AccountPOPHost")->setText(QString::fromUtf8("pop.müller.example"));
    ClickNode("Dial\\bert");
    QCOMPARE(Line("AccountPOPHost")->text(), QStringLiteral("pop.bert.example"));
    ClickNode("Dial\\anna");
    QCOMPARE(Line("AccountPOPHost")->text(), QString::fromUtf8("pop.müller.example"));
    // Saved as Latin-1 bytes.
    QToolBar* save = Toolbar(kSaveSettings);
    QTest::mouseClick(save->widgetForAction(save->actions().first()), Qt::LeftButton);
    QCOMPARE(StoredText(schema::AccountKey("Dial", "anna"), "POP Host"), std::string("pop.m\xFCller.example"));
  }

  // The security choices show the stored mode (POP3's 1 as "STARTTLS", which
  // it acts as), and a choice is saved as its mode's number.
  void securityChoicesShowAndSaveTheStoredModes() {
    PutNumber(schema::AccountKey("Dial", "anna"), "POP Security", 1);
    PutNumber(schema::AccountKey("Dial", "anna"), "SMTP Security", 1);
    ReadSettings();
    ClickNode("Dial\\anna");
    QComboBox* pop = Choice("AccountPopSecurity");
    QComboBox* smtp = Choice("AccountSmtpSecurity");
    QCOMPARE(pop->count(), 3);
    QCOMPARE(pop->currentText(), QStringLiteral("STARTTLS"));
    QCOMPARE(smtp->currentText(), QStringLiteral("STARTTLS wenn angeboten"));
    QVERIFY(smtp->isEnabled());
    smtp->setCurrentIndex(smtp->findText(QStringLiteral("SSL/TLS")));
    Line("AccountSmtpPort")->setText(QStringLiteral("465"));
    ClickNode("Dial\\bert");
    QCOMPARE(smtp->currentText(), QStringLiteral("keine"));
    QToolBar* save = Toolbar(kSaveSettings);
    QTest::mouseClick(save->widgetForAction(save->actions().first()), Qt::LeftButton);
    QCOMPARE(StoredNumber(schema::AccountKey("Dial", "anna"), "SMTP Security"), 3u);
    QCOMPARE(StoredNumber(schema::AccountKey("Dial", "anna"), "SMTP Port"), 465u);
    QCOMPARE(StoredNumber(schema::AccountKey("Dial", "anna"), "POP Security"), 2u);
    QCOMPARE(StoredNumber(schema::AccountKey("Dial", "bert"), "SMTP Security"), 0u);
  }

  void clearingAccountAktivierenDisablesTheAccountFrame() {
    ClickNode("Dial\\anna");
    QCheckBox* enable = Box("AccountEnableAccount");
    QVERIFY(enable->isChecked());
    QVERIFY(Line("AccountPOPHost")->isEnabled());
    QVERIFY(Toolbar(kTemplate)->isEnabled());
    QTest::mouseClick(enable, Qt::LeftButton, {}, QPoint(8, enable->height() / 2));
    QVERIFY(!enable->isChecked());
    QVERIFY(enable->isEnabled());
    QVERIFY(!Line("AccountPOPHost")->isEnabled());
    QVERIFY(!Box("AccountPOPDelete")->isEnabled());
    QVERIFY(!Toolbar(kTemplate)->isEnabled());
    QTest::mouseClick(enable, Qt::LeftButton, {}, QPoint(8, enable->height() / 2));
    QVERIFY(Line("AccountPOPHost")->isEnabled());
    QVERIFY(Toolbar(kTemplate)->isEnabled());
  }

  void befehlAusfuehrenEnablesTheCommand() {
    ClickNode("Dial\\anna");
    QCheckBox* command = Box("AccountEnableCommand");
    QVERIFY(!command->isChecked());
    QVERIFY(!Line("AccountCommand")->isEnabled());
    QTest::mouseClick(command, Qt::LeftButton, {}, QPoint(8, command->height() / 2));
    QVERIFY(Line("AccountCommand")->isEnabled());
  }

  void chooseComputerIsDisabledWhileLocalIsTicked() {
    QCheckBox* local = Box("OptionComputerLocal");
    QVERIFY(local->isChecked());
    QVERIFY(!Toolbar(kChooseComputer)->isEnabled());
    QTest::mouseClick(local, Qt::LeftButton, {}, QPoint(8, local->height() / 2));
    QVERIFY(!local->isChecked());
    QVERIFY(Toolbar(kChooseComputer)->isEnabled());
    QTest::mouseClick(local, Qt::LeftButton, {}, QPoint(8, local->height() / 2));
    QVERIFY(!Toolbar(kChooseComputer)->isEnabled());
    QCOMPARE(Line("GlobalComputerName")->text(), QString::fromLatin1(UpperCase(LocalComputerName())));
  }

  void anIntervalInTheUsersLocaleIsStoredInSeconds() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ClickNode("Dial");
    Line("ConnectionTimeOut")->setText(QStringLiteral("1,5"));
    ClickNode("Dial\\anna");
    QLocale::setDefault(QLocale::c());
    QCOMPARE(QString::fromStdString(window_->console().tables().connections[0].timeOut), QStringLiteral("90"));
  }

  void aMissingValueLibraryShowsInTheStatusBar() {
    ValueLibrary missing(std::vector<std::string>{"/nonexistent/libmailferryres.so"});
    QueueDialogs dialogs;
    ConsoleWindow window(missing, &dialogs);
    window.Start();
    QVERIFY(window.statusBar()->currentMessage().contains(QStringLiteral("libmailferryres.so")));
    QCOMPARE(dialogs.messages.size(), size_t{1});
  }

 private:
  QToolBar* Toolbar(Command command) {
    return window_->findChild<QToolBar*>(QStringLiteral("Symbolleiste%1").arg(static_cast<int>(command)));
  }
  QLineEdit* Line(const char* name) { return window_->findChild<QLineEdit*>(name); }
  QCheckBox* Box(const char* name) { return window_->findChild<QCheckBox*>(name); }
  QComboBox* Choice(const char* name) { return window_->findChild<QComboBox*>(name); }
  // "Einstellungen einlesen": the store read afresh.
  void ReadSettings() {
    QToolBar* read = Toolbar(kReadSettings);
    QTest::mouseClick(read->widgetForAction(read->actions().first()), Qt::LeftButton);
  }

  void ClickNode(const QString& path) {
    auto* tree = window_->findChild<QTreeWidget*>("GlobalList");
    QStringList parts = path.split('\\');
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
      if (tree->topLevelItem(i)->text(0) == parts[0]) item = tree->topLevelItem(i);
    QVERIFY(item != nullptr);
    if (parts.size() > 1) {
      QTreeWidgetItem* child = nullptr;
      for (int i = 0; i < item->childCount(); ++i)
        if (item->child(i)->text(0) == parts[1]) child = item->child(i);
      item = child;
      QVERIFY(item != nullptr);
    }
    // The Verbindungen / Accounts tab holds the page being checked.
    window_->findChild<QTabWidget*>("Kartei")->setCurrentIndex(1);
    QRect rect = tree->visualItemRect(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(tree->currentItem(), item);
  }

  QTemporaryDir folder_;
  QueueDialogs dialogs_;
  std::unique_ptr<ValueLibrary> values_;
  std::unique_ptr<ConsoleWindow> window_;
};

QTEST_MAIN(ConsoleWindowTest)
#include "console_window_test.moc"
