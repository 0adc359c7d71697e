// The offscreen renderer of the main window, run as the program it is.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "app/CGauge.h"
#include "app/tests/QtTestEnvironment.h"

namespace tarnwick {
namespace {

struct SnapshotRun {
  int exitCode;
  QString errors;
};

SnapshotRun Snapshot(const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  process.setProcessEnvironment(environment);
  process.start(QCoreApplication::applicationDirPath() + "/tarnwick-snapshot", arguments);
  EXPECT_TRUE(process.waitForFinished(60000));
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(SnapshotTest, RendersTheWindowBelowATitleBar) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString png = dir.filePath("Tarnwick.png");
  const SnapshotRun run = Snapshot({png});
  ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
  QImage image(png);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(862, 613 + 24));
  // The gauge at 0%: black border, white inside.
  EXPECT_EQ(QColor(image.pixel(0, 24 + 568)), TCGauge::BorderColor);
  EXPECT_EQ(QColor(image.pixel(5, 24 + 580)), TCGauge::BackColor);
}

TEST(SnapshotTest, RendersTheAboutAndHelpWindowsWithoutACloseBox) {
  struct Case {
    const char* window;
    QSize client;
    QPoint button;  // a point inside the "Закрыть" button
  };
  const Case cases[] = {{"about", {617, 220}, {272 + 37, 189 + 12}},
                        {"help", {640, 293}, {286 + 37, 259 + 12}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString png = dir.filePath("window.png");
    const SnapshotRun run = Snapshot({"--window", c.window, png});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(c.client.width(), c.client.height() + 24));
    // The title bar's right end is plain: no close box is drawn.
    const QRgb bar = image.pixel(image.width() - 1, 12);
    for (int x = image.width() - 30; x < image.width(); ++x) {
      EXPECT_EQ(image.pixel(x, 12), bar) << "x " << x;
    }
    // Text was drawn into the text area (not all of it one colour).
    const QRgb background = image.pixel(c.button.x(), 24 + 3);
    int inked = 0;
    for (int y = 24 + 12; y < 24 + 60; ++y) {
      for (int x = 20; x < 400; ++x) inked += image.pixel(x, y) != background;
    }
    EXPECT_GT(inked, 200);
  }
}

TEST(SnapshotTest, ReportsWrongUseAndUnwritableOutput) {
  EXPECT_EQ(Snapshot({}).exitCode, 2);
  EXPECT_EQ(Snapshot({"a.png", "b.png"}).exitCode, 2);
  EXPECT_EQ(Snapshot({"--window", "about"}).exitCode, 2);
  EXPECT_EQ(Snapshot({"--window", "settings", "a.png"}).exitCode, 2);
  EXPECT_EQ(Snapshot({"--window"}).exitCode, 2);
  const SnapshotRun unwritable = Snapshot({"/nonexistent-folder/x.png"});
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_TRUE(unwritable.errors.contains("cannot write")) << unwritable.errors.toStdString();
}

}  // namespace
}  // namespace tarnwick
