// The windowed program. It takes no options of its own: its executable's name gives the
// application title and the settings file beside it (or in the user's settings folder when the
// program's folder cannot be written, see SettingsFilesFor).
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/Main.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Qt's own dialog texts (file dialog, message box buttons) in the user's language.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    application.installTranslator(&qtTexts);
  }
  tarnwick::TMF mainWindow(tarnwick::TMFEnvironment::ForExecutable(
      QCoreApplication::applicationFilePath().toStdString()));
  mainWindow.show();
  int result = 1;
  // The handlers never let an error escape; what might still come out of the event loop is
  // shown the same way before the program ends.
  mainWindow.Run("the message loop", [&] { result = application.exec(); });
  return result;
}
