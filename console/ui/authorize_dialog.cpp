#include "console/ui/authorize_dialog.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace ferry::console {
namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// The output kept in the dialog; a program that prints more loses its oldest lines.
constexpr int kMostLines = 2000;
// How many of the last lines a failure shows below the output.
constexpr int kFailureLines = 3;

}  // namespace

AuthorizeDialog::AuthorizeDialog(const std::vector<std::string>& argv, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Autorisieren"));
  setWindowTitle(T("Konto autorisieren"));
  for (std::size_t i = 0; i < argv.size(); ++i) {
    QString word = QString::fromLatin1(argv[i]);
    if (i == 0) {
      program_ = word;
    } else {
      arguments_ << word;
    }
  }

  auto* layout = new QVBoxLayout(this);
  auto* hint = new QLabel(T("Öffnen Sie die angezeigte Adresse in einem Browser und melden Sie sich an; "
                            "ein angezeigter Code wird dort eingegeben."));
  hint->setWordWrap(true);
  layout->addWidget(hint);
  output_ = new QPlainTextEdit;
  output_->setObjectName(QStringLiteral("AuthorizeOutput"));
  output_->setReadOnly(true);
  output_->setMaximumBlockCount(kMostLines);
  output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  output_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout->addWidget(output_, 1);
  outcome_ = new QLabel;
  outcome_->setObjectName(QStringLiteral("AuthorizeOutcome"));
  outcome_->setWordWrap(true);
  outcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(outcome_);
  button_ = new QPushButton(T("Abbrechen"));
  button_->setObjectName(QStringLiteral("AuthorizeButton"));
  layout->addWidget(button_, 0, Qt::AlignRight);
  connect(button_, &QPushButton::clicked, this, [this] {
    if (Running()) {
      cancelled_ = true;
      process_->kill();
    } else {
      accept();
    }
  });
  // Fits a screen of 800x600 with room to spare.
  resize(600, 360);

  process_ = new QProcess(this);
  process_->setProcessChannelMode(QProcess::MergedChannels);
  connect(process_, &QProcess::readyReadStandardOutput, this, [this] {
    QString text = QString::fromLocal8Bit(process_->readAllStandardOutput());
    text.remove(QLatin1Char('\r'));
    output_->moveCursor(QTextCursor::End);
    output_->insertPlainText(text);
    output_->moveCursor(QTextCursor::End);
  });
  connect(process_, &QProcess::finished, this,
          [this](int exitCode, QProcess::ExitStatus status) { Finished(exitCode, status == QProcess::CrashExit); });
  connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    ShowOutcome(T("Das Programm %1 kann nicht gestartet werden: %2").arg(program_, process_->errorString()), false);
  });
}

AuthorizeDialog::~AuthorizeDialog() {
  if (Running()) {
    process_->kill();
    process_->waitForFinished(2000);
  }
}

void AuthorizeDialog::Start() {
  output_->clear();
  outcome_->setText(T("Autorisierung läuft …"));
  button_->setText(T("Abbrechen"));
  cancelled_ = false;
  process_->start(program_, arguments_, QIODevice::ReadOnly);
}

bool AuthorizeDialog::Running() const { return process_->state() != QProcess::NotRunning; }

void AuthorizeDialog::reject() {
  if (Running()) {
    cancelled_ = true;
    process_->kill();
    process_->waitForFinished(2000);
  }
  QDialog::reject();
}

void AuthorizeDialog::Finished(int exitCode, bool crashed) {
  if (cancelled_) {
    ShowOutcome(T("Abgebrochen; das Konto ist nicht autorisiert."), false);
  } else if (!crashed && exitCode == 0) {
    ShowOutcome(T("Konto autorisiert."), true);
  } else {
    QStringList lines;
    for (const QString& line : output_->toPlainText().split(QLatin1Char('\n')))
      if (!line.trimmed().isEmpty()) lines << line.trimmed();
    QString outcome = T("Nicht autorisiert (Ende mit %1).").arg(crashed ? T("Absturz") : QString::number(exitCode));
    const QStringList last = lines.mid(std::max<qsizetype>(0, lines.size() - kFailureLines));
    if (!last.isEmpty()) outcome += QLatin1Char('\n') + last.join(QLatin1Char('\n'));
    ShowOutcome(outcome, false);
  }
}

void AuthorizeDialog::ShowOutcome(const QString& text, bool good) {
  outcome_->setText(text);
  outcome_->setStyleSheet(good ? QStringLiteral("color: #006000; font-weight: bold;")
                               : QStringLiteral("color: #c00000;"));
  button_->setText(T("Schließen"));
}

}  // namespace ferry::console
