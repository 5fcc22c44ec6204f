// The console window on the offscreen platform, driven with mouse clicks.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <deque>
#include <fstream>

#include "console/model/text_rules.h"
#include "console/ui/authorize_dialog.h"
#include "console/ui/console_window.h"
#include "console/ui/qt_dialogs.h"
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
  std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override {
    if (inputs.empty()) return std::nullopt;
    std::string a = inputs.front();
    inputs.pop_front();
    return a;
  }
  Answer MessageBox(const std::string& text, const std::string&, BoxStyle style) override {
    messages.push_back(text);
    return style == BoxStyle::Question ? Answer::Yes : Answer::Ok;
  }
  // The feed dialog is the real one; the tests fill it in.
  bool FeedBox(FeedEntry& feed, const std::string& title) override { return QtDialogs(nullptr).FeedBox(feed, title); }
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
    // "Umbenennen" and "Template" are framed buttons, not flat labels.
    for (Command command : {kRenameConnection, kTemplate}) {
      auto* button = qobject_cast<QToolButton*>(Toolbar(command)->widgetForAction(Toolbar(command)->actions().first()));
      QVERIFY(button != nullptr && !button->autoRaise());
    }
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
    // Bert's page was only shown: his absent mode stays absent.
    QCOMPARE(StoredNumber(schema::AccountKey("Dial", "bert"), "SMTP Security"), 0xFFFFFFFFu);
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

  void anIntervalWithADecimalCommaIsStoredInSeconds() {
    ClickNode("Dial");
    Line("ConnectionTimeOut")->setText(QStringLiteral("1,5"));
    ClickNode("Dial\\anna");
    QCOMPARE(QString::fromStdString(window_->console().tables().connections[0].timeOut), QStringLiteral("90"));
  }

  // Arrow keys move the page with the selection: a save then writes each
  // page into its own node.
  void theKeyboardMovesThePageWithTheSelection() {
    ClickNode("Dial\\anna");
    Line("AccountPOPPasswort")->setText(QStringLiteral("annas secret"));
    auto* tree = window_->findChild<QTreeWidget*>("GlobalList");
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("bert"));
    QCOMPARE(Line("AccountPOPHost")->text(), QStringLiteral("pop.bert.example"));
    ClickSave();
    QCOMPARE(StoredText(schema::AccountKey("Dial", "anna"), "POP Passwort"), std::string("annas secret"));
    QCOMPARE(StoredText(schema::AccountKey("Dial", "bert"), "POP Passwort"), std::string("<no value>"));
  }

  void aClickOnEmptyTreeSpaceKeepsThePageWithItsNode() {
    ClickNode("Dial\\bert");
    Line("AccountPOPUser")->setText(QStringLiteral("bert"));
    auto* tree = window_->findChild<QTreeWidget*>("GlobalList");
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(10, tree->viewport()->height() - 5));
    QCOMPARE(tree->currentItem()->text(0), QStringLiteral("bert"));
    ClickSave();
    QCOMPARE(StoredText(schema::AccountKey("Dial", "bert"), "POP User"), std::string("bert"));
  }

  void aEuroSignIsRefusedNotStoredAsAQuestionMark() {
    ClickNode("Dial\\anna");
    const std::string before = StoredText(schema::AccountKey("Dial", "anna"), "POP Passwort");
    Line("AccountPOPPasswort")->setText(QString::fromUtf8("geh€im"));
    ClickSave();
    QCOMPARE(StoredText(schema::AccountKey("Dial", "anna"), "POP Passwort"), before);
    QVERIFY(!dialogs_.messages.empty());
    QVERIFY(QString::fromLatin1(dialogs_.messages.back()).contains(QStringLiteral("\"Passwort\"")));
    QCOMPARE(Line("AccountPOPPasswort")->text(), QString::fromUtf8("geh€im"));  // still there to mend
  }

  // At 800x600 every control of every tab can be scrolled into the window,
  // and every toolbar button lies within it.
  void at800x600EveryControlIsReachable() {
    window_->resize(800, 600);
    QApplication::processEvents();
    QCOMPARE(window_->size(), QSize(800, 600));
    ClickNode("Dial\\anna");
    const QRect inside(QPoint(0, 0), window_->size());
    auto* tabs = window_->findChild<QTabWidget*>("Kartei");
    int checked = 0;
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setCurrentIndex(i);
      QApplication::processEvents();
      auto* area = qobject_cast<QScrollArea*>(tabs->widget(i));
      QVERIFY(area != nullptr);
      QList<QWidget*> controls;
      for (auto* w : area->widget()->findChildren<QLineEdit*>()) controls.push_back(w);
      for (auto* w : area->widget()->findChildren<QCheckBox*>()) controls.push_back(w);
      for (auto* w : area->widget()->findChildren<QPushButton*>()) controls.push_back(w);
      for (auto* w : area->widget()->findChildren<QToolButton*>())
        if (!w->objectName().startsWith(QStringLiteral("qt_"))) controls.push_back(w);  // not Qt's overflow arrows
      for (QWidget* w : controls) {
        // The whole control, not only a line's cursor (as ensureWidgetVisible would).
        const QPoint centre = w->mapTo(area->widget(), w->rect().center());
        area->ensureVisible(centre.x(), centre.y(), w->width() / 2 + 1, w->height() / 2 + 1);
        QApplication::processEvents();
        QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
        QRect where(w->mapTo(window_.get(), QPoint(0, 0)), w->size());
        QVERIFY2(inside.contains(where), qPrintable(w->objectName()));
        const QRect shown(w->mapTo(area->viewport(), QPoint(0, 0)), w->size());
        QVERIFY2(area->viewport()->rect().contains(shown),
                 qPrintable(w->objectName() + QStringLiteral(" at %1,%2 %3x%4 in %5x%6")
                                                  .arg(shown.x()).arg(shown.y()).arg(shown.width())
                                                  .arg(shown.height()).arg(area->viewport()->width())
                                                  .arg(area->viewport()->height())));
        ++checked;
      }
    }
    QVERIFY(checked > 30);
    for (QToolBar* bar : window_->findChildren<QToolBar*>()) {
      QWidget* button = bar->widgetForAction(bar->actions().first());
      if (!button->isVisible()) continue;  // on a tab not shown
      QVERIFY2(inside.contains(QRect(button->mapTo(window_.get(), QPoint(0, 0)), button->size())),
               qPrintable(bar->objectName()));
    }
  }

  // Qt's standard buttons speak German, and so do the console's questions.
  void standardButtonsReadJaNeinAbbrechen() {
    QVERIFY(InstallGermanTranslations());
    QMessageBox plain(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(plain.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Ja"));
    QCOMPARE(plain.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Nein"));
    QCOMPARE(plain.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Abbrechen"));

    QtDialogs real(window_.get());
    QStringList seen;
    QTimer::singleShot(0, [&seen] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      for (QAbstractButton* b : box->buttons()) seen << b->text().remove(QLatin1Char('&'));
      box->button(QMessageBox::No)->click();
    });
    QCOMPARE(real.MessageBox("Wirklich?", "Frage", BoxStyle::Question), Answer::No);
    seen.sort();
    QCOMPARE(seen, (QStringList{QStringLiteral("Ja"), QStringLiteral("Nein")}));
  }

  // "Autorisieren" runs the program in a dialog that shows its lines as they
  // come and how it ended; "Abbrechen" ends a program that waits.
  void autorisierenShowsTheProgramsLinesAndOutcome() {
    const QString script = folder_.path() + QStringLiteral("/authorize.sh");
    std::ofstream(script.toStdString())
        << "#!/bin/sh\n"
           "echo \"Code WDJB-MJHT bei https://auth.example.test/device eingeben\"\n"
           "case \"$1 $2 $3\" in\n"
           "  '-authorize Dial anna') echo 'Token gespeichert.'; exit 0 ;;\n"
           "  '-authorize Dial bert') echo 'invalid_client: unbekannte Client-ID' >&2; exit 1 ;;\n"
           "esac\n"
           "exec sleep 30\n";
    QFile(script).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    for (const char* account : {"anna", "bert", "carl"}) {
      PutNumber(schema::AccountKey("Dial", account), "POP Auth", 1);
      PutNumber(schema::AccountKey("Dial", account), "Enable Account", 1);
    }
    ReadSettings();
    dialogs_.messages.clear();
    window_->console().settings().authorizeCommand = script.toStdString();
    struct Case {
      const char* account;
      bool cancel;
      QStringList outcome;  // parts of the outcome's text
    };
    const Case cases[] = {
        {"anna", false, {QStringLiteral("Konto autorisiert.")}},
        {"bert", false, {QStringLiteral("Nicht autorisiert (Ende mit 1)"), QStringLiteral("invalid_client")}},
        {"carl", true, {QStringLiteral("Abgebrochen")}},
    };
    for (const Case& c : cases) {
      ClickNode(QStringLiteral("Dial\\") + QString::fromLatin1(c.account));
      QString output;
      QString outcome;
      bool closed = false;
      QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<AuthorizeDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        // A failed check below still closes the dialog, so that the test goes on.
        struct Closer {
          AuthorizeDialog* dialog;
          ~Closer() {
            if (dialog->isVisible()) dialog->reject();
          }
        } closer{dialog};
        auto* text = dialog->findChild<QPlainTextEdit*>(QStringLiteral("AuthorizeOutput"));
        QTRY_VERIFY(text->toPlainText().contains(QStringLiteral("WDJB-MJHT")));
        auto* button = dialog->findChild<QPushButton*>(QStringLiteral("AuthorizeButton"));
        if (c.cancel) {
          QVERIFY(dialog->Running());
          QCOMPARE(button->text(), QStringLiteral("Abbrechen"));
          button->click();
        }
        QTRY_VERIFY(!dialog->Running());
        output = text->toPlainText();
        outcome = dialog->findChild<QLabel*>(QStringLiteral("AuthorizeOutcome"))->text();
        QCOMPARE(button->text(), QString::fromUtf8("Schließen"));
        button->click();
        closed = true;
      });
      auto* authorize = window_->findChild<QPushButton*>(QStringLiteral("AccountAuthorize"));
      QVERIFY(authorize->isEnabled());
      QTest::mouseClick(authorize, Qt::LeftButton);
      QVERIFY2(closed, c.account);
      for (const QString& part : c.outcome) QVERIFY2(outcome.contains(part), qPrintable(outcome));
      QVERIFY(output.contains(QStringLiteral("https://auth.example.test/device")));
    }
    QVERIFY(dialogs_.messages.empty());
  }

  // The account page's "Newsfeeds": a feed typed into its dialog is listed,
  // saved below the account's "Feeds" with the box and the interval, and a
  // removed feed is gone from the store after the next save.
  void newsfeedsAreAddedSavedAndRemoved() {
    ClickNode("Dial");
    auto* group = window_->findChild<QGroupBox*>(QStringLiteral("Newsfeeds"));
    QVERIFY(group != nullptr && !group->isEnabled());
    ClickNode("Dial\\anna");
    QVERIFY(group->isEnabled());
    auto* list = window_->findChild<QTreeWidget*>(QStringLiteral("AccountFeeds"));
    QCOMPARE(list->topLevelItemCount(), 0);
    QCOMPARE(list->headerItem()->text(2), QStringLiteral("An"));
    QCheckBox* enable = Box("AccountEnableFeeds");
    QTest::mouseClick(enable, Qt::LeftButton, {}, QPoint(8, enable->height() / 2));
    Line("AccountFeedInterval")->setText(QStringLiteral("15"));

    bool filled = false;
    QTimer::singleShot(0, [&filled] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      QCOMPARE(dialog->windowTitle(), QString::fromUtf8("Newsfeed hinzufügen"));
      dialog->findChild<QLineEdit*>(QStringLiteral("FeedName"))->setText(QString::fromUtf8("Bücher"));
      dialog->findChild<QLineEdit*>(QStringLiteral("FeedUrl"))->setText(QStringLiteral("https://news.example/rss"));
      dialog->findChild<QLineEdit*>(QStringLiteral("FeedTo"))->setText(QStringLiteral("news@firma.de"));
      dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
      filled = true;
    });
    QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("FeedAdd")), Qt::LeftButton);
    QVERIFY(filled);
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(list->topLevelItem(0)->text(0), QString::fromUtf8("Bücher"));
    ClickSave();
    const std::string feed = schema::FeedKey("Dial", "anna", "B\xFC" "cher");
    QCOMPARE(StoredText(feed, "URL"), std::string("https://news.example/rss"));
    QCOMPARE(StoredText(feed, "To"), std::string("news@firma.de"));
    QCOMPARE(StoredNumber(schema::AccountKey("Dial", "anna"), "Enable Feeds"), 1u);
    QCOMPARE(StoredNumber(schema::AccountKey("Dial", "anna"), "Feed Interval"), 15u);

    ClickNode("Dial\\bert");
    QCOMPARE(list->topLevelItemCount(), 0);
    ClickNode("Dial\\anna");
    QCOMPARE(list->topLevelItemCount(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("FeedRemove")), Qt::LeftButton);
    QCOMPARE(list->topLevelItemCount(), 0);
    ClickSave();
    QCOMPARE(StoredText(feed, "URL"), std::string("<no key>"));
    QCOMPARE(dialogs_.messages.back(), std::string("Den Newsfeed \"B\xFC" "cher\" entfernen?"));
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
  void ClickSave() {
    QToolBar* save = Toolbar(kSaveSettings);
    QTest::mouseClick(save->widgetForAction(save->actions().first()), Qt::LeftButton);
  }
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
