// Renders a window of the program as it looks when it opens into a PNG file, without a display
// (QT_QPA_PLATFORM=offscreen): the main window after start-up, or the About or Help window.
// The main window reads the settings file of the Tarnwick program installed beside this one and
// never asks anything: every question would fail loudly.
//
//   tarnwick-snapshot [--window main|about|help] <output.png>
#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/Aboutfrm.h"
#include "app/Helpfrm.h"
#include "app/Main.h"
#include "app/ScriptedModalUi.h"

namespace {

int Usage(const char* program) {
  std::fprintf(stderr, "usage: %s [--window main|about|help] <output.png>\n", program);
  return 2;
}

// The window's client area below a plain title bar, so that the caption can be reviewed as well;
// the close box is drawn only for a window that has one.
QImage WithTitleBar(QWidget& window, bool closeBox) {
  const QPixmap client = window.grab();
  const int barHeight = 24;
  QImage image(client.width(), client.height() + barHeight, QImage::Format_RGB32);
  image.fill(QColor(0x3c, 0x3c, 0x3c));
  QPainter painter(&image);
  painter.setFont(window.font());
  painter.setPen(Qt::white);
  painter.drawText(QRect(8, 0, client.width() - 40, barHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   window.windowTitle());
  if (closeBox) {
    painter.drawText(QRect(client.width() - 28, 0, 20, barHeight), Qt::AlignCenter,
                     QStringLiteral("×"));
  }
  painter.drawPixmap(0, barHeight, client);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "tarnwick-snapshot";
  std::string which = "main";
  int at = 1;
  if (argc > 1 && std::strcmp(argv[1], "--window") == 0) {
    if (argc < 3) return Usage(program);
    which = argv[2];
    at = 3;
  }
  if (argc != at + 1 || (which != "main" && which != "about" && which != "help")) {
    return Usage(program);
  }
  const QString output = QString::fromLocal8Bit(argv[at]);
  QApplication application(argc, argv);

  std::unique_ptr<QWidget> window;
  if (which == "main") {
    const QString executable =
        QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() + "/Tarnwick";
    tarnwick::TMFEnvironment environment =
        tarnwick::TMFEnvironment::ForExecutable(executable.toStdString());
    environment.Ui = std::make_unique<tarnwick::TScriptedModalUi>();
    window = std::make_unique<tarnwick::TMF>(std::move(environment));
  } else if (which == "about") {
    window = std::make_unique<tarnwick::TAboutF>(nullptr);
  } else {
    window = std::make_unique<tarnwick::THelpF>(nullptr);
  }
  window->show();
  QCoreApplication::processEvents();

  if (!WithTitleBar(*window, which == "main").save(output, "PNG")) {
    std::fprintf(stderr, "tarnwick-snapshot: cannot write %s\n", argv[at]);
    return 1;
  }
  return 0;
}
