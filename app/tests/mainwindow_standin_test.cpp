// The main window with its own session and query components over the stand-in client: a user's
// road through the buttons, from the connection string to the DBF file.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/CGauge.h"
#include "app/ExportSession.h"
#include "app/IniFile.h"
#include "app/Main.h"
#include "app/Memo.h"
#include "app/ScriptedModalUi.h"
#include "app/tests/QtTestEnvironment.h"
#include "app/tests/export/ExportFakes.h"
#include "oracle/Oracall.h"
#include "testsupport/core/Commands.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick {
namespace {

using Call = TScriptedModalUi::Call;
using Kind = TScriptedModalUi::Kind;

class WindowOnStandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::MakeDataFolder(scratch_.Path());
    testsupport::UseStandinClient();
    TMFEnvironment environment;
    environment.ApplicationTitle = "Tarnwick";
    environment.Settings = {scratch_.File("Tarnwick.INI"), scratch_.File("Tarnwick.INI")};
    environment.WorkingDirectory = scratch_.Path().string();
    auto ui = std::make_unique<TScriptedModalUi>();
    ui_ = ui.get();
    environment.Ui = std::move(ui);
    mf_ = std::make_unique<TMF>(std::move(environment));
  }

  // The window and its components go first, then the client library with its environment.
  void TearDown() override {
    mf_.reset();
    FreeOCI();
  }

  std::vector<std::string> Items() const {
    std::vector<std::string> items;
    for (int i = 0; i < mf_->ComboBox1->count(); ++i) {
      items.push_back(mf_->ComboBox1->itemText(i).toStdString());
    }
    return items;
  }

  // Runs one statement on the scratch copy of the demo server, as its owner.
  void Sql(const std::string& sql) {
    const testsupport::CommandResult r = testsupport::RunCommand(
        testsupport::ShellQuote((testsupport::BinDir() / "standin-admin").string()) + " sql " +
        testsupport::ShellQuote((scratch_.Path() / "servers" / "demo").string()) + " demo " +
        testsupport::ShellQuote(sql) + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
  }

  testsupport::ScratchDir scratch_{"tarnwick-window-standin"};
  testsupport::ScopedEnvVar servers_{"STANDIN_SERVERS", (scratch_.Path() / "servers").string()};
  TScriptedModalUi* ui_ = nullptr;
  std::unique_ptr<TMF> mf_;
};

TEST_F(WindowOnStandinTest, FromTheConnectionStringToTheFile) {
  mf_->Edit1->setText("demo/demo@demo");
  mf_->Button1->click();
  EXPECT_EQ(mf_->StatusText(), "Приложение подключено к БД!");
  EXPECT_EQ(Items(), (std::vector<std::string>{"BLOCK26", "COUNTRY_CODES", "DEPT", "DOCUMENTS",
                                               "EMP", "EMPTY_TABLE", "LONG_COLUMN_NAMES",
                                               "LONG_TEXTS", "NUMBER_FORMS", "WIDE_TABLE"}));
  EXPECT_EQ(TIniFile(scratch_.File("Tarnwick.INI")).ReadString("Connect", "String", ""),
            "demo/demo@demo");

  mf_->ComboBox1->setCurrentIndex(2);  // DEPT, chosen from the list
  mf_->ComboBox1Exit();
  const std::string path = scratch_.File("DEPT.dbf");
  EXPECT_EQ(mf_->Edit2->text().toStdString(), path);
  mf_->Button2->click();
  ASSERT_TRUE(mf_->Button4->isEnabled());
  EXPECT_EQ(mf_->Memo1->Lines().back(), "Предполагаемое время выгрузки 0 секунд");

  mf_->Button4->click();
  EXPECT_TRUE(ui_->Calls().empty());
  const std::vector<std::string> log = mf_->Memo1->Lines();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "Файл " + path + " создан!");
  EXPECT_EQ(log[log.size() - 2].rfind("Начало импорта: ", 0), 0u) << log[log.size() - 2];
  EXPECT_EQ(log.back().rfind("Конец импорта: ", 0), 0u) << log.back();
  EXPECT_EQ(mf_->CGauge1->Progress(), 100);
  const export_test::TDbfFile file = export_test::ReadDbf(path);
  EXPECT_EQ(file.count, 4u);
  ASSERT_EQ(file.fields.size(), 3u);
  EXPECT_EQ(file.fields[0], (export_test::TDbfField{"DEPTNO", 'N', 3, 0}));
}

// The window reads the same exact numbers as every front end: every digit of NUMBER(18) and
// NUMBER(38,10), and a line after the end line for the value of a NUMBER that was rounded.
TEST_F(WindowOnStandinTest, WideNumbersKeepEveryDigit) {
  for (const char* sql :
       {"CREATE TABLE WIDE (K NUMBER(18), P NUMBER(38,10), F NUMBER)",
        "INSERT INTO WIDE VALUES (-999999999999999999, 1234567890123456789012345678.0123456789, "
        "1/3)"}) {
    ASSERT_NO_FATAL_FAILURE(Sql(sql));
  }
  mf_->Edit1->setText("demo/demo@demo");
  mf_->Button1->click();
  mf_->ComboBox1->setEditText("WIDE");
  mf_->ComboBox1Exit();
  mf_->Button2->click();
  ASSERT_TRUE(mf_->Button4->isEnabled());
  mf_->Button4->click();
  const std::vector<std::string> log = mf_->Memo1->Lines();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].rfind("Конец импорта: ", 0), 0u) << log[log.size() - 2];
  EXPECT_EQ(log.back(),
            "Чисел, записанных в файл округленными (не поместились в поле целиком): 1; по полям: "
            "F - 1");
  const export_test::TDbfFile file = export_test::ReadDbf(scratch_.File("WIDE.dbf"));
  ASSERT_EQ(file.records.size(), 1u);
  EXPECT_EQ(file.fields, (std::vector<export_test::TDbfField>{
                             {"K", 'N', 19, 0}, {"P", 'N', 40, 10}, {"F", 'N', 39, 15}}));
  EXPECT_EQ(file.records[0],
            " -999999999999999999"
            "1234567890123456789012345678.0123456789 " +
                ("0." + std::string(37, '3')));
}

// A view is not in the box's list (the list names tables), yet typed into the box it is analysed
// and exported like a table: its columns, cast to the types a DBF file holds, become the fields.
TEST_F(WindowOnStandinTest, AViewTypedIntoTheBoxIsExportedLikeATable) {
  ASSERT_NO_FATAL_FAILURE(
      Sql("CREATE VIEW DEPT_CODES AS SELECT DEPTNO, CAST(DEPTNO * 1.5 AS NUMBER(6,1)) AS HALF, "
          "CAST(LOC AS VARCHAR2(20 CHAR)) AS PLACE FROM DEPT WHERE DEPTNO >= 20"));
  mf_->Edit1->setText("demo/demo@demo");
  mf_->Button1->click();
  ASSERT_EQ(mf_->StatusText(), "Приложение подключено к БД!");
  const std::vector<std::string> items = Items();
  EXPECT_EQ(std::count(items.begin(), items.end(), "DEPT_CODES"), 0);

  mf_->ComboBox1->setEditText("DEPT_CODES");
  mf_->ComboBox1Exit();
  const std::string path = scratch_.File("DEPT_COD.dbf");
  EXPECT_EQ(mf_->Edit2->text().toStdString(), path);
  mf_->Button2->click();
  EXPECT_TRUE(ui_->Calls().empty());
  ASSERT_TRUE(mf_->Button4->isEnabled());
  const std::vector<std::string> report = mf_->Memo1->Lines();
  ASSERT_GE(report.size(), 2u);
  EXPECT_EQ(report[report.size() - 2], "В таблице  3  записей!");

  mf_->Button4->click();
  EXPECT_TRUE(ui_->Calls().empty());
  EXPECT_EQ(mf_->Memo1->Lines().back().rfind("Конец импорта: ", 0), 0u);
  const export_test::TDbfFile file = export_test::ReadDbf(path);
  EXPECT_EQ(file.fields, (std::vector<export_test::TDbfField>{
                             {"DEPTNO", 'N', 3, 0}, {"HALF", 'N', 8, 1}, {"PLACE", 'C', 20, 0}}));
  ASSERT_EQ(file.records.size(), 3u);
  // The deletion flag, then each value left-aligned in its field as the writer stores numbers.
  EXPECT_EQ(file.records[0].substr(0, 12), " 20 30      ");
  EXPECT_EQ(file.records[1].substr(0, 12), " 30 45      ");
  EXPECT_EQ(file.records[2].substr(0, 12), " 40 60      ");
}

TEST_F(WindowOnStandinTest, AFailedConnectionIsAMessageBoxAndTheStatus) {
  mf_->Edit1->setText("demo/wrong@demo");
  mf_->Button1->click();
  EXPECT_EQ(ui_->Calls(),
            (std::vector<Call>{{Kind::Message, "Tarnwick", "Нет соединения с базой данных!"}}));
  EXPECT_EQ(mf_->StatusText(), "Нет соединения с базой данных!");
  EXPECT_EQ(mf_->ComboBox1->count(), 0);
}

TEST_F(WindowOnStandinTest, ADatabaseErrorReachesTheErrorDisplay) {
  mf_->Edit1->setText("demo/demo@demo");
  mf_->Button1->click();
  // The dictionary lists the quoted lower-case name; the count query does not find it.
  mf_->Export().Database().ExecSQL("CREATE TABLE \"lower\" (ID NUMBER(5))");
  mf_->ComboBox1->setEditText("lower");
  mf_->Button2->click();
  ASSERT_EQ(ui_->Calls().size(), 1u);
  EXPECT_EQ(ui_->Calls()[0].kind, Kind::Error);
  EXPECT_EQ(ui_->Calls()[0].text.rfind("ORA-00942", 0), 0u) << ui_->Calls()[0].text;
  EXPECT_FALSE(mf_->Button4->isEnabled());
  EXPECT_TRUE(mf_->isEnabled());
}

// Typed into the box and left with Tab, as a user does: the target always follows the text that
// the analysis and the import then read, and a name stays in the case it was typed in, with
// the completion of the box's list at work.
TEST_F(WindowOnStandinTest, TheTargetFollowsTheTypedTableName) {
  mf_->show();
  mf_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(mf_.get()));
  mf_->Edit1->setText("demo/demo@demo");
  mf_->Button1->click();
  ASSERT_EQ(mf_->StatusText(), "Приложение подключено к БД!");
  const std::string notFound = " не найдена среди таблиц пользователя";
  struct Case {
    std::string typed;
    std::string text;     // what the box holds after the exit
    std::string message;  // a part of the analysis's one message, empty for none
  };
  const Case cases[] = {
      {"emp", "emp", "Таблица emp" + notFound},
      {"Dept", "Dept", "Таблица Dept" + notFound},
      {"DEPT", "DEPT", ""},
      {"LONG_C", "LONG_COLUMN_NAMES", ""},  // completed inline from the list
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    ui_->ClearCalls();
    mf_->ComboBox1->setEditText("");
    mf_->ComboBox1->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(c.typed));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), mf_->ComboBox1->lineEdit());
    EXPECT_EQ(mf_->TableText(), c.text);
    EXPECT_EQ(mf_->Edit2->text().toStdString(), scratch_.File(c.text.substr(0, 8) + ".dbf"));
    mf_->Button2->click();
    EXPECT_EQ(mf_->TableText(), c.text);
    if (c.message.empty()) {
      EXPECT_TRUE(ui_->Calls().empty());
      ASSERT_TRUE(mf_->Button4->isEnabled());
      mf_->Button4->click();
      EXPECT_TRUE(ui_->Calls().empty());
      EXPECT_TRUE(std::filesystem::exists(mf_->Edit2->text().toStdString()));
    } else {
      ASSERT_EQ(ui_->Calls().size(), 1u);
      EXPECT_NE(ui_->Calls()[0].text.find(c.message), std::string::npos) << ui_->Calls()[0].text;
      EXPECT_FALSE(mf_->Button4->isEnabled());
    }
  }
}

// A name that is no identifier, typed into the box, gets one message and reaches no SQL: the
// report of the last analysis stays as it was.
TEST_F(WindowOnStandinTest, ANameThatIsNoIdentifierGetsOneMessage) {
  mf_->Edit1->setText("demo/demo@demo");
  mf_->Button1->click();
  mf_->ComboBox1->setEditText("DEPT");
  mf_->Button2->click();
  ASSERT_TRUE(mf_->Button4->isEnabled());
  const std::vector<std::string> report = mf_->Memo1->Lines();
  for (const char* name : {"EMP' or '1'='1", "EMP; drop table EMP", "DEMO.EMP", "\"EMP\""}) {
    SCOPED_TRACE(name);
    ui_->ClearCalls();
    mf_->ComboBox1->setEditText(QString::fromUtf8(name));
    mf_->Button2->click();
    ASSERT_EQ(ui_->Calls().size(), 1u);
    EXPECT_EQ(ui_->Calls()[0].kind, Kind::Message);
    EXPECT_EQ(ui_->Calls()[0].text.rfind("Недопустимое имя таблицы!", 0), 0u);
    EXPECT_EQ(mf_->Memo1->Lines(), report);
    EXPECT_EQ(mf_->TableText(), name);
  }
}

}  // namespace
}  // namespace tarnwick
