// The main window: its controls, start-up, the choice of the target folder, the exit from the
// table box and the handling of errors that leave its handlers.
#include "app/Main.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/CGauge.h"
#include "app/Memo.h"
#include "app/ScriptedModalUi.h"
#include "app/tests/QtTestEnvironment.h"
#include "base/Exception.h"
#include "dataset/text/FormatSettings.h"
#include "dbf/dbf.h"
#include "testsupport/core/ScopedEnvVar.h"

namespace tarnwick {
namespace {

using Call = TScriptedModalUi::Call;
using Kind = TScriptedModalUi::Kind;

const std::string kNoConnection = "Нет подключения к базе данных!";

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    dir_ = temp_.path().toStdString();
    settings_ = dir_ + "/Tarnwick.INI";
  }

  // A window started in workingDirectory with the settings file of the temporary folder.
  std::unique_ptr<TMF> Start(const std::string& workingDirectory = "/srv/export") {
    TMFEnvironment environment;
    environment.ApplicationTitle = "Tarnwick";
    environment.Settings = {settings_, settings_};
    environment.WorkingDirectory = workingDirectory;
    auto ui = std::make_unique<TScriptedModalUi>();
    ui_ = ui.get();
    environment.Ui = std::move(ui);
    return std::make_unique<TMF>(std::move(environment));
  }

  void WriteSettings(const std::string& contents) { std::ofstream(settings_) << contents; }

  static std::string Text(QLineEdit* edit) { return edit->text().toStdString(); }

  QTemporaryDir temp_;
  std::string dir_;
  std::string settings_;
  TScriptedModalUi* ui_ = nullptr;
};

enum class ControlKind { Label, Edit, Button, ComboBox, ToolButton, Memo, Gauge, StatusBar };

struct ControlRow {
  const char* name;
  ControlKind kind;
  const char* caption;  // labels and buttons
  QRect bounds;         // labels: only the position is fixed, they size to their caption
  bool enabled;
};

const ControlRow kControls[] = {
    {"Label1", ControlKind::Label, "Строка подключения", {16, 42, 0, 0}, true},
    {"Edit1", ControlKind::Edit, nullptr, {136, 39, 505, 21}, true},
    {"Button1", ControlKind::Button, "Подключиться", {655, 39, 193, 25}, true},
    {"Label2", ControlKind::Label, "Таблица для импорта", {16, 79, 0, 0}, true},
    {"ComboBox1", ControlKind::ComboBox, nullptr, {136, 75, 505, 21}, true},
    {"Button2", ControlKind::Button, "Прочитать структуру", {655, 75, 193, 25}, true},
    {"Label3", ControlKind::Label, "Сохранить в папке ", {16, 117, 0, 0}, true},
    {"SpeedButton1", ControlKind::ToolButton, "...", {136, 115, 23, 22}, true},
    {"Edit2", ControlKind::Edit, nullptr, {168, 115, 473, 21}, true},
    {"Button4", ControlKind::Button, "Импорт", {655, 111, 193, 25}, false},
    {"Memo1", ControlKind::Memo, nullptr, {16, 144, 833, 401}, true},
    {"Button5", ControlKind::Button, "Помощь", {656, 3, 80, 25}, true},
    {"Button3", ControlKind::Button, "О программе", {744, 3, 104, 25}, true},
    {"CGauge1", ControlKind::Gauge, nullptr, {0, 568, 857, 25}, true},
    {"StatusBar1", ControlKind::StatusBar, nullptr, {0, 594, 862, 19}, true},
};

bool IsKind(QWidget* w, ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
      return dynamic_cast<QLabel*>(w) != nullptr;
    case ControlKind::Edit:
      return dynamic_cast<QLineEdit*>(w) != nullptr;
    case ControlKind::Button:
      return dynamic_cast<QPushButton*>(w) != nullptr;
    case ControlKind::ComboBox: {
      auto* combo = dynamic_cast<QComboBox*>(w);
      return combo != nullptr && combo->isEditable();
    }
    case ControlKind::ToolButton: {
      auto* tool = dynamic_cast<QToolButton*>(w);
      return tool != nullptr && tool->autoRaise();  // flat
    }
    case ControlKind::Memo:
      return dynamic_cast<TMemo*>(w) != nullptr;
    case ControlKind::Gauge:
      return dynamic_cast<TCGauge*>(w) != nullptr;
    case ControlKind::StatusBar:
      return dynamic_cast<QStatusBar*>(w) != nullptr;
  }
  return false;
}

QString CaptionOf(QWidget* w) {
  if (auto* label = dynamic_cast<QLabel*>(w)) return label->text();
  if (auto* button = dynamic_cast<QAbstractButton*>(w)) return button->text();
  return {};
}

TEST_F(MainWindowTest, EveryControlHasItsNameKindCaptionBoundsAndState) {
  auto mf = Start();
  mf->show();
  QCoreApplication::processEvents();
  const std::map<std::string, QWidget*> members = {
      {"Label1", mf->Label1},        {"Edit1", mf->Edit1},
      {"Button1", mf->Button1},      {"Label2", mf->Label2},
      {"ComboBox1", mf->ComboBox1},  {"Button2", mf->Button2},
      {"Label3", mf->Label3},        {"SpeedButton1", mf->SpeedButton1},
      {"Edit2", mf->Edit2},          {"Button4", mf->Button4},
      {"Memo1", mf->Memo1},          {"Button5", mf->Button5},
      {"Button3", mf->Button3},      {"CGauge1", mf->CGauge1},
      {"StatusBar1", mf->StatusBar1}};
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    auto* w = mf->findChild<QWidget*>(row.name, Qt::FindDirectChildrenOnly);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w, members.at(row.name));
    EXPECT_TRUE(IsKind(w, row.kind));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->isEnabled(), row.enabled);
    if (row.caption) {
      EXPECT_EQ(CaptionOf(w), QString::fromUtf8(row.caption));
    }
    if (row.kind == ControlKind::Label) {
      EXPECT_EQ(w->pos(), row.bounds.topLeft());
      EXPECT_GE(w->width(), w->sizeHint().width()) << "the caption is not clipped";
      EXPECT_LE(w->geometry().right(), 136) << "the label ends before the control beside it";
    } else {
      EXPECT_EQ(w->geometry(), row.bounds);
    }
  }
}

TEST_F(MainWindowTest, WindowHasItsCaptionFixedSizePlaceAndFonts) {
  auto mf = Start();
  EXPECT_EQ(mf->objectName(), "MF");
  EXPECT_EQ(mf->windowTitle(),
            QString::fromUtf8(
                "Импорт данных из таблицы Oracle в формат DBF.     Версия 1.1 от 15.08.2008"));
  EXPECT_EQ(mf->size(), QSize(862, 613));
  EXPECT_EQ(mf->minimumSize(), QSize(862, 613));
  EXPECT_EQ(mf->maximumSize(), QSize(862, 613));
  EXPECT_EQ(mf->pos(), QPoint(192, 107));
  const Qt::WindowFlags flags = mf->windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));

  EXPECT_EQ(QFontInfo(mf->font()).pixelSize(), 11);
  EXPECT_FALSE(QFontInfo(mf->font()).fixedPitch());
  EXPECT_EQ(QFontInfo(mf->Button1->font()).pixelSize(), 11);
  const QFontInfo memoFont(mf->Memo1->font());
  EXPECT_EQ(memoFont.pixelSize(), 11);
  EXPECT_TRUE(memoFont.fixedPitch());
  EXPECT_EQ(memoFont.family(), "DejaVu Sans Mono");

  EXPECT_EQ(mf->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(mf->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(mf->Memo1->Lines(), std::vector<std::string>{""});
  EXPECT_EQ(mf->SpeedButton1->focusPolicy(), Qt::NoFocus);
}

TEST_F(MainWindowTest, StatusBarHasOnePanelSpanningIt) {
  auto mf = Start();
  mf->show();
  QCoreApplication::processEvents();
  const auto panels = mf->StatusBar1->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
  ASSERT_EQ(panels.size(), 1);
  EXPECT_GE(panels[0]->width(), mf->StatusBar1->width() - 12);
  EXPECT_EQ(panels[0]->text().toStdString(), kNoConnection);
  EXPECT_FALSE(mf->StatusBar1->isSizeGripEnabled());
}

// Names the control that holds the focus (a combo box's own line edit counts as the combo box).
std::string FocusedControl(TMF& mf) {
  for (QWidget* w = QApplication::focusWidget(); w != nullptr && w != &mf; w = w->parentWidget()) {
    if (w->parentWidget() == &mf) return w->objectName().toStdString();
  }
  return "(none)";
}

TEST_F(MainWindowTest, TabMovesTheFocusInTheFixedOrder) {
  auto mf = Start();
  mf->show();
  mf->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(mf.get()));
  // Tabbing out of ComboBox1 is an exit from it, which disables Button4; so the order with the
  // import button enabled is checked from Memo1 on.
  struct Case {
    QWidget* start;
    bool importEnabled;
    std::vector<std::string> order;
  };
  const Case cases[] = {
      {mf->Edit1,
       false,
       {"Button1", "ComboBox1", "Edit2", "Button2", "Memo1", "Button3", "Button5", "Edit1"}},
      {mf->Memo1, true, {"Button4", "Button3", "Button5", "Edit1", "Button1"}},
  };
  for (const Case& c : cases) {
    mf->Button4->setEnabled(c.importEnabled);
    c.start->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), c.start);
    std::vector<std::string> visited;
    for (std::size_t i = 0; i < c.order.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited.push_back(FocusedControl(*mf));
    }
    EXPECT_EQ(visited, c.order);
  }
}

TEST_F(MainWindowTest, StartWithoutSettingsFile) {
  FormatSettings().DateSeparator = '/';
  FormatSettings().ShortDateFormat = "yyyymmdd";
  FormatSettings().DecimalSeparator = ',';
  auto mf = Start("/srv/export");
  EXPECT_EQ(Text(mf->Edit1), "");
  EXPECT_EQ(mf->StatusText(), kNoConnection);
  EXPECT_EQ(FormatSettings().DateSeparator, '.');
  EXPECT_EQ(FormatSettings().ShortDateFormat, "dd.mm.yyyy");
  EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
  EXPECT_EQ(Text(mf->Edit2), "/srv/export");
  EXPECT_EQ(mf->OpenDialog1.FileName, "/srv/export");
  EXPECT_EQ(mf->TableText(), "");
  EXPECT_EQ(mf->ComboBox1->count(), 0);
  EXPECT_FALSE(mf->Button4->isEnabled());
  EXPECT_EQ(mf->CGauge1->Progress(), 0);
  EXPECT_TRUE(ui_->Calls().empty()) << "a missing settings file is not reported";
  EXPECT_FALSE(std::filesystem::exists(settings_)) << "start-up never writes the settings";
}

TEST_F(MainWindowTest, StartRestoresTheConnectionString) {
  const std::pair<std::string, std::string> cases[] = {
      {"[Connect]\nString=scott/tiger@orcl\n", "scott/tiger@orcl"},
      {"[connect]\nstring = пользователь/пароль@сервер\n", "пользователь/пароль@сервер"},
      {"[Other]\nString=x\n", ""},
      {"[Connect]\nString=" + std::string(3000, 'a') + "\n", std::string(2047, 'a')},
  };
  for (const auto& [contents, shown] : cases) {
    WriteSettings(contents);
    auto mf = Start();
    EXPECT_EQ(Text(mf->Edit1), shown) << contents.substr(0, 40);
  }
}

// A settings file that is a FIFO or too large starts the window at once with an empty
// connection string, as a missing one does (nothing blocks on the FIFO, nothing large is read).
TEST_F(MainWindowTest, StartWithASettingsFileThatIsNoPlainFile) {
  ASSERT_EQ(::mkfifo(settings_.c_str(), 0600), 0);
  auto mf = Start();
  EXPECT_EQ(Text(mf->Edit1), "");
  EXPECT_TRUE(ui_->Calls().empty());
  mf.reset();
  std::filesystem::remove(settings_);
  WriteSettings("[Connect]\nString=scott/tiger@orcl\n");
  std::filesystem::resize_file(settings_, 2 * 1024 * 1024);
  mf = Start();
  EXPECT_EQ(Text(mf->Edit1), "");
  EXPECT_TRUE(ui_->Calls().empty());
}

TEST_F(MainWindowTest, WorkingDirectoryIsShownWithoutClosingSlash) {
  const std::pair<std::string, std::string> cases[] = {
      {"/srv/export", "/srv/export"}, {"/srv/export/", "/srv/export"}, {"/", "/"}};
  for (const auto& [directory, shown] : cases) {
    auto mf = Start(directory);
    EXPECT_EQ(Text(mf->Edit2), shown);
    EXPECT_EQ(mf->OpenDialog1.FileName, shown);
  }
}

TEST_F(MainWindowTest, OpenDialogIsConfiguredForChoosingAFolder) {
  auto mf = Start();
  const TOpenDialog& d = mf->OpenDialog1;
  EXPECT_TRUE(d.CreatePrompt);
  EXPECT_TRUE(d.PathMustExist);
  EXPECT_TRUE(d.NoValidate);
  EXPECT_TRUE(d.HideReadOnly);
  EXPECT_TRUE(d.EnableSizing);
}

TEST_F(MainWindowTest, ChoosingAFileSetsTheTargetFromItsFolderAndTheTable) {
  struct Case {
    const char* table;
    const char* chosen;
    const char* target;
  };
  const Case cases[] = {
      {"EMPLOYEES_HISTORY", "/out/any.txt", "/out/EMPLOYEE.dbf"},
      {"СОТРУДНИКИ_ИСТОРИЯ", "/out/any.txt", "/out/СОТРУДНИ.dbf"},
      {"DEPT", "/out/sub/new name", "/out/sub/DEPT.dbf"},
      {"", "/a/b.txt", "/a/.dbf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    auto mf = Start("/srv/export");
    mf->ComboBox1->setEditText(QString::fromUtf8(c.table));
    ui_->ScriptFile(c.chosen);
    mf->SpeedButton1->click();
    EXPECT_EQ(Text(mf->Edit2), c.target);
    ASSERT_TRUE(ui_->LastDialog().has_value());
    EXPECT_EQ(ui_->LastDialog()->FileName, "/srv/export") << "the dialog starts in the folder";
    EXPECT_EQ(ui_->Calls(), (std::vector<Call>{{Kind::File, "", "/srv/export"}}));
  }
}

TEST_F(MainWindowTest, CancellingTheDialogChangesNothing) {
  auto mf = Start("/srv/export");
  mf->ComboBox1->setEditText("EMPLOYEES");
  mf->Edit2->setText("/typed/by/hand.dbf");
  ui_->ScriptFile(std::nullopt);
  mf->SpeedButton1Click();
  EXPECT_EQ(Text(mf->Edit2), "/typed/by/hand.dbf");
  EXPECT_EQ(mf->OpenDialog1.FileName, "/srv/export");
  mf->ComboBox1Exit();
  EXPECT_EQ(Text(mf->Edit2), "/srv/export/EMPLOYEE.dbf") << "the folder is still the start one";
}

TEST_F(MainWindowTest, ChoosingAFileKeepsTheImportButtonState) {
  for (const bool enabled : {false, true}) {
    auto mf = Start();
    mf->Button4->setEnabled(enabled);
    ui_->ScriptFile("/out/x.txt");
    mf->SpeedButton1Click();
    EXPECT_EQ(mf->Button4->isEnabled(), enabled);
  }
}

TEST_F(MainWindowTest, LeavingTheTableBoxComposesTheTargetAndDisablesImport) {
  struct Case {
    const char* workingDirectory;
    const char* chosen;  // nullptr: no choice made in the dialog
    const char* table;
    const char* target;
  };
  const Case cases[] = {
      {"/srv/export", nullptr, "EMPLOYEES_HISTORY", "/srv/export/EMPLOYEE.dbf"},
      {"/", nullptr, "DEPT", "/DEPT.dbf"},
      {"/srv/export", "/out/any.txt", "СОТРУДНИКИ", "/out/СОТРУДНИ.dbf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    auto mf = Start(c.workingDirectory);
    if (c.chosen) {
      ui_->ScriptFile(c.chosen);
      mf->SpeedButton1Click();
    }
    mf->ComboBox1->setEditText(QString::fromUtf8(c.table));
    mf->Button4->setEnabled(true);
    mf->ComboBox1Exit();
    EXPECT_EQ(Text(mf->Edit2), c.target);
    EXPECT_FALSE(mf->Button4->isEnabled());
  }
}

TEST_F(MainWindowTest, FocusLeavingTheTableBoxRunsItsExitHandler) {
  struct Case {
    Qt::FocusReason reason;
    bool runs;
  };
  const Case cases[] = {{Qt::TabFocusReason, true},
                        {Qt::MouseFocusReason, true},
                        {Qt::OtherFocusReason, true},
                        {Qt::PopupFocusReason, false},
                        {Qt::ActiveWindowFocusReason, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    auto mf = Start("/srv/export");
    mf->ComboBox1->setEditText("DEPT");
    mf->Button4->setEnabled(true);
    QFocusEvent focusOut(QEvent::FocusOut, c.reason);
    QApplication::sendEvent(mf->ComboBox1, &focusOut);
    EXPECT_EQ(Text(mf->Edit2), c.runs ? "/srv/export/DEPT.dbf" : "/srv/export");
    EXPECT_EQ(mf->Button4->isEnabled(), !c.runs);
  }
}

TEST_F(MainWindowTest, ClickingAnotherControlLeavesTheTableBox) {
  auto mf = Start("/srv/export");
  mf->show();
  mf->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(mf.get()));
  mf->ComboBox1->setFocus(Qt::OtherFocusReason);
  QTest::keyClicks(QApplication::focusWidget(), "EMP");
  mf->Button4->setEnabled(true);
  QTest::mouseClick(mf->Edit1, Qt::LeftButton);
  EXPECT_EQ(FocusedControl(*mf), "Edit1");
  EXPECT_EQ(Text(mf->Edit2), "/srv/export/EMP.dbf");
  EXPECT_FALSE(mf->Button4->isEnabled());
}

TEST_F(MainWindowTest, ImportWithoutAnAnalysisSaysSoThroughTheErrorDisplay) {
  auto mf = Start();
  mf->ComboBox1->setEditText("DEPT");
  mf->Button4->setEnabled(true);
  mf->Button4->click();
  EXPECT_EQ(ui_->Calls(),
            (std::vector<Call>{{Kind::Error, "Tarnwick",
                                "The import needs a successful structure analysis of the table "
                                "first."}}));
}

TEST_F(MainWindowTest, WindowStaysUsableAfterAnError) {
  auto mf = Start("/srv/export");
  mf->Button4->setEnabled(true);
  mf->Button4->click();
  ASSERT_EQ(ui_->Calls().size(), 1u);
  EXPECT_TRUE(mf->isEnabled());
  EXPECT_TRUE(mf->Button4->isEnabled());
  ui_->ClearCalls();
  mf->ComboBox1->setEditText("DEPT");
  ui_->ScriptFile("/out/x");
  mf->SpeedButton1->click();
  EXPECT_EQ(Text(mf->Edit2), "/out/DEPT.dbf");
  mf->Button4->click();
  EXPECT_EQ(ui_->Calls().back().kind, Kind::Error);
}

TEST_F(MainWindowTest, HandlersShowEscapingErrorsButNeverTheSilentAbort) {
  auto mf = Start();
  mf->Run("test", [] { Abort(); });
  EXPECT_TRUE(ui_->Calls().empty());
  mf->Run("test", [] { throw Exception("Division by zero"); });
  mf->Run("test", [] { throw std::out_of_range("List index out of bounds (3)"); });
  mf->Run("Button9Click", [] { throw 1; });
  EXPECT_EQ(ui_->Calls(),
            (std::vector<Call>{{Kind::Error, "Tarnwick", "Division by zero."},
                               {Kind::Error, "Tarnwick", "List index out of bounds (3)"},
                               {Kind::Error, "Tarnwick", "An unknown error ended Button9Click."}}));
}

TEST_F(MainWindowTest, MessageBoxIsCaptionedWithTheApplicationTitle) {
  auto mf = Start();
  mf->ShowMessage("Введите параметры подключения");
  EXPECT_EQ(ui_->Calls(),
            (std::vector<Call>{{Kind::Message, "Tarnwick", "Введите параметры подключения"}}));
}

TEST_F(MainWindowTest, TheDbfWritersMessageIsTheWindowsMessageBox) {
  // A folder standing where the memo file belongs makes the memo file impossible to create.
  const std::string table = dir_ + "/NOTES.dbf";
  const std::string memo = dir_ + "/NOTES.FPT";
  ASSERT_TRUE(std::filesystem::create_directory(memo));
  const char* names[] = {"NOTE", nullptr};
  const int32_t lengths[] = {10, 0};
  const int32_t decimals[] = {0, -1};
  {
    auto mf = Start();
    EXPECT_FALSE(dbf_create(table.c_str(), names, "M", lengths, decimals));
    EXPECT_EQ(ui_->Calls(),
              (std::vector<Call>{{Kind::Message, "Tarnwick", "Не могу создать файл " + memo}}));
  }
  // Once the window is gone the message no longer reaches its (destroyed) interface.
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(dbf_create(table.c_str(), names, "M", lengths, decimals));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Не могу создать файл " + memo + "\n");
}

TEST_F(MainWindowTest, AnUnscriptedQuestionFailsLoudly) {
  auto mf = Start();
  mf->SpeedButton1->click();
  ASSERT_EQ(ui_->Calls().size(), 2u);
  EXPECT_EQ(ui_->Calls()[1].kind, Kind::Error);
  EXPECT_EQ(ui_->Calls()[1].text, "No scripted answer for the file dialog.");
}

TEST_F(MainWindowTest, EnvironmentOfTheExecutable) {
  // The settings file lies beside a program whose folder can be written, else in the user's
  // settings folder (here a folder that is not there stands for one that cannot be written).
  testsupport::ScopedEnvVar xdg("XDG_CONFIG_HOME", dir_ + "/config");
  const std::pair<std::string, std::string> cases[] = {
      {dir_ + "/Tarnwick", dir_ + "/Tarnwick.INI"},
      {dir_ + "/absent/TARNWICK.BIN", dir_ + "/config/tarnwick/TARNWICK.INI"},
  };
  for (const auto& [executable, settings] : cases) {
    const TMFEnvironment environment = TMFEnvironment::ForExecutable(executable);
    EXPECT_EQ(environment.ApplicationTitle, "Tarnwick");
    EXPECT_EQ(environment.Settings.Read, settings);
    EXPECT_EQ(environment.Settings.Write, settings);
    EXPECT_EQ(environment.WorkingDirectory, std::filesystem::current_path().string());
    EXPECT_EQ(environment.Ui, nullptr);
  }
}

}  // namespace
}  // namespace tarnwick
