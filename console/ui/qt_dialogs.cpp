#include "console/ui/qt_dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace ferry::console {

std::string QtDialogs::InputBox(const std::string& prompt, const std::string& title,
                                const std::string& defaultAnswer) {
  bool ok = false;
  QString answer = QInputDialog::getText(parent_, QString::fromLatin1(title), QString::fromLatin1(prompt),
                                         QLineEdit::Normal, QString::fromLatin1(defaultAnswer), &ok);
  return ok ? answer.toLatin1().toStdString() : std::string();
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
  if (style == BoxStyle::Question) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return Answer::Ok;
}

}  // namespace ferry::console
