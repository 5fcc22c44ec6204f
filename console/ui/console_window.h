// The console window `POPConfig`: the tree, the three tabs with their frames
// and fields, the eleven one-button toolbars and the status bar. It shows what
// the console's logic (console/model) tells it and hands it the clicks.
#pragma once

#include <QMainWindow>
#include <QString>
#include <map>
#include <memory>

#include "console/model/console.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace ferry::console {

class QtDialogs;

class ConsoleWindow : public QMainWindow, public ConsoleView {
  Q_OBJECT

 public:
  // `dialogs` answers the input and message boxes; null uses real modal boxes.
  explicit ConsoleWindow(ValueLibrary& values, Dialogs* dialogs = nullptr);
  ~ConsoleWindow() override;

  Console& console() { return *console_; }
  // The start routine: read the local computer's settings, show the window.
  void Start();

  // ---- ConsoleView ----
  std::string Text(Control control) const override;
  void SetText(Control control, const std::string& text) override;
  bool Checked(Control control) const override;
  void SetChecked(Control control, bool checked) override;
  void MarkControl(Control control, bool bad) override;
  void SetAccountFrameEnabled(bool enabled) override;
  void SetAccountControlsEnabled(bool enabled) override;
  void ShowTree(const std::vector<TreeNode>& nodes) override;
  void SelectNode(const std::optional<std::string>& key) override;
  std::optional<std::string> SelectedNodeKey() const override;
  void ShowFeeds(const std::vector<FeedEntry>& feeds) override;
  std::optional<int> SelectedFeed() const override;
  void SetStatus(const std::string& text) override;
  void ShowComputerName(const std::string& name) override;
  void Show() override;
  void Close() override;

 private:
  void BuildLayout();
  QWidget* BuildGlobalTab();
  QWidget* BuildConnectionTab();
  QWidget* BuildNewsTab();
  // The account's "Newsfeeds": the box, the interval, the list and its buttons.
  QGroupBox* BuildFeedGroup();
  QToolBar* MakeToolbar(Command command, const QString& caption);
  QLineEdit* AddLine(Control control, const char* objectName);
  QCheckBox* AddBox(Control control, const char* objectName, const QString& caption);
  // The choice of a security mode; `whenOffered` lists "STARTTLS wenn angeboten" (SMTP).
  QComboBox* AddSecurity(Control control, const char* objectName, bool whenOffered);
  // The rules of the three boxes that enable dependent fields.
  void ApplyBoxRules();
  // "Autorisieren": runs the shown account's authorisation in a dialog.
  void AuthorizeAccount();

  std::unique_ptr<QtDialogs> ownDialogs_;
  std::unique_ptr<Console> console_;
  QTreeWidget* tree_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QGroupBox* accountFrame_ = nullptr;
  QLineEdit* computerName_ = nullptr;
  QCheckBox* computerLocal_ = nullptr;
  QLineEdit* interval_ = nullptr;
  QPushButton* authorize_ = nullptr;
  QGroupBox* feedGroup_ = nullptr;
  QTreeWidget* feedList_ = nullptr;
  std::map<Command, QToolBar*> toolbars_;
  std::map<Control, QLineEdit*> lines_;
  std::map<Control, QCheckBox*> boxes_;
  std::map<Control, QComboBox*> choices_;
  bool accountShown_ = false;
  bool selecting_ = false;  // the console itself moves the tree's selection
};

// Qt's own German texts for its standard dialogs and buttons, when the
// system has them; true when loaded.
bool InstallGermanTranslations();

// A text of a control as Latin-1 bytes; a character Latin-1 cannot hold
// becomes kNotLatin1 so that the console refuses it.
std::string Latin1Text(const QString& text);

}  // namespace ferry::console
