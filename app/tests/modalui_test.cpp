// The Qt file dialog's checks on accepting a name, and the scripted stand-in for all dialogs.
#include "app/ModalUi.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <stdexcept>

#include "app/ScriptedModalUi.h"
#include "app/tests/QtTestEnvironment.h"

namespace tarnwick {
namespace {

TOpenDialog FolderDialog(const std::string& start) {
  TOpenDialog d;
  d.FileName = start;
  d.CreatePrompt = d.PathMustExist = d.NoValidate = d.HideReadOnly = d.EnableSizing = true;
  return d;
}

class FileOpenDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    QFile existing(temp_.filePath("existing.txt"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  }
  QTemporaryDir temp_;
};

TEST_F(FileOpenDialogTest, IsQtsOwnResizableDialogStartingInTheGivenFolder) {
  TFileOpenDialog dialog(nullptr, FolderDialog(temp_.path().toStdString()), nullptr, nullptr);
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
  EXPECT_TRUE(dialog.isSizeGripEnabled());
  EXPECT_EQ(QDir(dialog.directory()), QDir(temp_.path()));
}

TEST_F(FileOpenDialogTest, AcceptingChecksTheFolderAndAsksBeforeANewName) {
  struct Case {
    const char* what;
    QString name;
    bool confirm;
    bool accepted;
    int questions;
    int folderReports;
  };
  const QString dir = temp_.path();
  const Case cases[] = {
      {"existing file", dir + "/existing.txt", false, true, 0, 0},
      {"new name confirmed", dir + "/new.txt", true, true, 1, 0},
      {"new name refused", dir + "/new.txt", false, false, 1, 0},
      {"folder missing", dir + "/missing/new.txt", true, false, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int questions = 0;
    int folderReports = 0;
    TFileOpenDialog dialog(
        nullptr, FolderDialog(dir.toStdString()),
        [&](const QString& path) {
          ++questions;
          EXPECT_EQ(path, c.name);
          return c.confirm;
        },
        [&](const QString& path) {
          ++folderReports;
          EXPECT_EQ(path, c.name);
        });
    dialog.selectFile(c.name);
    ASSERT_EQ(dialog.selectedFiles(), QStringList{c.name});
    dialog.setResult(QDialog::Rejected);
    dialog.accept();
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
    EXPECT_EQ(questions, c.questions);
    EXPECT_EQ(folderReports, c.folderReports);
  }
}

TEST(ScriptedModalUiTest, RecordsEveryCallAndAnswersInOrder) {
  using Call = TScriptedModalUi::Call;
  using Kind = TScriptedModalUi::Kind;
  TScriptedModalUi ui;
  ui.ScriptYesNo(true);
  ui.ScriptYesNo(false);
  ui.ScriptFile("/out/a.txt");
  ui.ScriptFile(std::nullopt);
  TOpenDialog dialog = FolderDialog("/start");

  ui.ShowMessage("T", "m");
  ui.ShowError("T", "e");
  EXPECT_TRUE(ui.AskYesNo("Q", "first?"));
  EXPECT_FALSE(ui.AskYesNo("Q", "second?"));
  EXPECT_TRUE(ui.ChooseFile(dialog));
  EXPECT_EQ(dialog.FileName, "/out/a.txt");
  EXPECT_FALSE(ui.ChooseFile(dialog));
  EXPECT_EQ(dialog.FileName, "/out/a.txt") << "a cancelled dialog keeps the last name";
  EXPECT_EQ(ui.PendingAnswers(), 0u);
  EXPECT_EQ(ui.Calls(), (std::vector<Call>{{Kind::Message, "T", "m"},
                                           {Kind::Error, "T", "e"},
                                           {Kind::YesNo, "Q", "first?"},
                                           {Kind::YesNo, "Q", "second?"},
                                           {Kind::File, "", "/start"},
                                           {Kind::File, "", "/out/a.txt"}}));

  EXPECT_THROW(ui.AskYesNo("Q", "unscripted?"), std::logic_error);
  EXPECT_THROW(ui.ChooseFile(dialog), std::logic_error);
}

}  // namespace
}  // namespace tarnwick
