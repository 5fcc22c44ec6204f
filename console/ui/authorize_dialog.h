// The dialog of "Autorisieren": runs the gateway program's authorisation, shows
// what it prints as it comes (the address to open and the code to enter), lets
// the person end it, and shows how it ended.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QProcess;
class QPushButton;

namespace ferry::console {

class AuthorizeDialog : public QDialog {
  Q_OBJECT

 public:
  // `argv`: the command line as Latin-1 words (argv[0] the program).
  AuthorizeDialog(const std::vector<std::string>& argv, QWidget* parent);
  ~AuthorizeDialog() override;

  // Starts the program; its output and outcome then show in the dialog.
  void Start();
  bool Running() const;

  void reject() override;

 private:
  void Finished(int exitCode, bool crashed);
  void ShowOutcome(const QString& text, bool good);

  QString program_;
  QStringList arguments_;
  QProcess* process_ = nullptr;
  QPlainTextEdit* output_ = nullptr;
  QLabel* outcome_ = nullptr;
  QPushButton* button_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace ferry::console
