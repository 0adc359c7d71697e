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

TEST(SnapshotTest, ReportsWrongUseAndUnwritableOutput) {
  EXPECT_EQ(Snapshot({}).exitCode, 2);
  EXPECT_EQ(Snapshot({"a.png", "b.png"}).exitCode, 2);
  const SnapshotRun unwritable = Snapshot({"/nonexistent-folder/x.png"});
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_TRUE(unwritable.errors.contains("cannot write")) << unwritable.errors.toStdString();
}

}  // namespace
}  // namespace tarnwick
