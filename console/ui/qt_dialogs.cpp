#include "console/ui/qt_dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "console/ui/console_window.h"

namespace ferry::console {

std::optional<std::string> QtDialogs::InputBox(const std::string& prompt, const std::string& title,
                                               const std::string& defaultAnswer) {
  QInputDialog dialog(parent_);
  dialog.setWindowTitle(QString::fromLatin1(title));
  dialog.setLabelText(QString::fromLatin1(prompt));
  dialog.setTextValue(QString::fromLatin1(defaultAnswer));
  dialog.setOkButtonText(QStringLiteral("OK"));
  dialog.setCancelButtonText(QStringLiteral("Abbrechen"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return Latin1Text(dialog.textValue());
}

Answer QtDialogs::MessageBox(const std::string& text, const std::string& title, BoxStyle style) {
  QMessageBox box(parent_);
  box.setWindowTitle(QString::fromLatin1(title));
  box.setText(QString::fromLatin1(text));
  switch (style) {
    case BoxStyle::Information: box.setIcon(QMessageBox::Information); break;
    case BoxStyle::Question: box.setIcon(QMessageBox::Question); break;
    case BoxStyle::Warning: box.setIcon(QMessageBox::Warning); break;
    case BoxStyle::Stop: box.setIcon(QMessageBox::Critical); break;
    case BoxStyle::Plain: box.setIcon(QMessageBox::NoIcon); break;
  }
  // German also where the system lacks Qt's German translations.
  if (style == BoxStyle::Question) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return Answer::Ok;
}

bool QtDialogs::FeedBox(FeedEntry& feed, const std::string& title) {
  QDialog dialog(parent_);
  dialog.setObjectName(QStringLiteral("FeedDialog"));
  dialog.setWindowTitle(QString::fromLatin1(title));
  auto* form = new QFormLayout(&dialog);
  auto line = [&form](const char* objectName, const char* label, const std::string& text) {
    auto* field = new QLineEdit(QString::fromLatin1(text));
    field->setObjectName(QString::fromLatin1(objectName));
    field->setMinimumWidth(360);
    form->addRow(QString::fromUtf8(label), field);
    return field;
  };
  QLineEdit* name = line("FeedName", "&Name :", feed.name);
  QLineEdit* url = line("FeedUrl", "&URL :", feed.url);
  QLineEdit* to = line("FeedTo", "&An :", feed.to);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return false;
  feed = FeedEntry{Latin1Text(name->text()), Latin1Text(url->text()), Latin1Text(to->text())};
  return true;
}

}  // namespace ferry::console
