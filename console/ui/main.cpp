// FerryConsole: edits the gateway service's settings, locally or on another
// computer.
#include <QApplication>

#include "console/ui/console_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ferry::console::InstallGermanTranslations();
  ferry::console::ValueLibrary values;
  ferry::console::ConsoleWindow window(values);
  window.Start();
  return app.exec();
}
