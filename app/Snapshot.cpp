// Renders the main window as it looks after start-up into a PNG file, without a display
// (QT_QPA_PLATFORM=offscreen). The window reads the settings file of the Tarnwick program
// installed beside this one and never asks anything: every question would fail loudly.
#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "app/Main.h"
#include "app/ScriptedModalUi.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.png>\n", argc > 0 ? argv[0] : "tarnwick-snapshot");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  QApplication application(argc, argv);
  const QString program =
      QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() + "/Tarnwick";
  tarnwick::TMFEnvironment environment =
      tarnwick::TMFEnvironment::ForExecutable(program.toStdString());
  environment.Ui = std::make_unique<tarnwick::TScriptedModalUi>();
  tarnwick::TMF window(std::move(environment));
  window.show();
  QCoreApplication::processEvents();

  // A plain title bar above the client area, so that the caption can be reviewed as well.
  const QPixmap client = window.grab();
  const int barHeight = 24;
  QImage image(client.width(), client.height() + barHeight, QImage::Format_RGB32);
  image.fill(QColor(0x3c, 0x3c, 0x3c));
  {
    QPainter painter(&image);
    painter.setFont(window.font());
    painter.setPen(Qt::white);
    painter.drawText(QRect(8, 0, client.width() - 40, barHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawText(QRect(client.width() - 28, 0, 20, barHeight), Qt::AlignCenter,
                     QStringLiteral("×"));
    painter.drawPixmap(0, barHeight, client);
  }
  if (!image.save(output, "PNG")) {
    std::fprintf(stderr, "tarnwick-snapshot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
