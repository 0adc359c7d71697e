// The window's connect, analyse and import buttons: what the window hands to its export session
// and how it shows what comes back (status bar, table box, report, import button, gauge, message
// boxes), run against scripted result sets.
#include <gtest/gtest.h>

#include <filesystem>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/CGauge.h"
#include "app/ExportSession.h"
#include "app/IniFile.h"
#include "app/Main.h"
#include "app/Memo.h"
#include "app/ScriptedModalUi.h"
#include "app/tests/QtTestEnvironment.h"
#include "app/tests/export/ExportFakes.h"
#include "dataset/text/FormatSettings.h"
#include "oracle/Oracall.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"

namespace tarnwick {
namespace {

using Call = TScriptedModalUi::Call;
using Kind = TScriptedModalUi::Kind;
using export_test::TColumn;
using export_test::TDate;
using export_test::TScriptedDatabase;
using export_test::TValue;

class WindowActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = dir_.File("Tarnwick.INI");
    TMFEnvironment environment;
    environment.ApplicationTitle = "Tarnwick";
    environment.Settings = {settings_, settings_};
    environment.WorkingDirectory = dir_.Path().string();
    auto ui = std::make_unique<TScriptedModalUi>();
    ui_ = ui.get();
    environment.Ui = std::move(ui);
    auto database = std::make_unique<TScriptedDatabase>();
    db_ = database.get();
    environment.Database = std::move(database);
    mf_ = std::make_unique<TMF>(std::move(environment));
    mf_->Export().Now = [] { return EncodeDateTime(2008, 8, 15, 14, 30, 5, 0); };
  }

  std::vector<std::string> Items() const {
    std::vector<std::string> items;
    for (int i = 0; i < mf_->ComboBox1->count(); ++i) {
      items.push_back(mf_->ComboBox1->itemText(i).toStdString());
    }
    return items;
  }

  // Connects through the window with the tables listed.
  void Connect(const std::vector<std::string>& tables) {
    db_->SetTables(tables);
    mf_->Edit1->setText("demo/demo@demo");
    mf_->Button1->click();
  }

  testsupport::ScratchDir dir_{"tarnwick-window"};
  std::string settings_;
  TScriptedModalUi* ui_ = nullptr;
  TScriptedDatabase* db_ = nullptr;
  std::unique_ptr<TMF> mf_;
};

TEST_F(WindowActionsTest, ConnectFillsTheTableBoxAndRemembersTheString) {
  mf_->ComboBox1->setEditText("OLD");
  mf_->Button4->setEnabled(true);
  Connect({"BLOCK26", "DEPT", "EMP"});
  EXPECT_EQ(mf_->StatusText(), "Приложение подключено к БД!");
  EXPECT_EQ(Items(), (std::vector<std::string>{"BLOCK26", "DEPT", "EMP"}));
  EXPECT_EQ(mf_->TableText(), "") << "the list fills, the box stays empty";
  EXPECT_FALSE(mf_->Button4->isEnabled());
  EXPECT_EQ(TIniFile(settings_).ReadString("Connect", "String", ""), "demo/demo@demo");
  EXPECT_EQ(db_->calls[1], "login demo|demo|demo");
  EXPECT_TRUE(ui_->Calls().empty());
}

// A window whose folder cannot be written (installed for all users; here a folder that is not
// there) remembers the string in the user's settings folder, and its next start brings it back.
TEST_F(WindowActionsTest, AnInstalledWindowRemembersTheStringInTheUsersFolder) {
  testsupport::ScopedEnvVar xdg("XDG_CONFIG_HOME", dir_.File("config"));
  TScriptedModalUi* ui = nullptr;
  auto start = [&] {
    TMFEnvironment environment = TMFEnvironment::ForExecutable(dir_.File("installed/Tarnwick"));
    auto scripted = std::make_unique<TScriptedModalUi>();
    ui = scripted.get();
    environment.Ui = std::move(scripted);
    auto database = std::make_unique<TScriptedDatabase>();
    database->SetTables({"DEPT"});
    environment.Database = std::move(database);
    return std::make_unique<TMF>(std::move(environment));
  };
  auto window = start();
  window->Edit1->setText("demo/demo@demo");
  window->Button1->click();
  EXPECT_EQ(window->StatusText(), "Приложение подключено к БД!");
  EXPECT_TRUE(ui->Calls().empty()) << "no \"Unable to write\" error";
  EXPECT_EQ(TIniFile(dir_.File("config/tarnwick/Tarnwick.INI")).ReadString("Connect", "String", ""),
            "demo/demo@demo");
  window.reset();
  window = start();
  EXPECT_EQ(window->Edit1->text().toStdString(), "demo/demo@demo");
  EXPECT_TRUE(ui->Calls().empty());
}

TEST_F(WindowActionsTest, FailedConnectShowsTheMessageBoxAndTheStatus) {
  db_->connectError = {{12154, "ORA-12154: TNS:could not resolve the connect identifier"}};
  mf_->Edit1->setText("demo/demo@nowhere");
  mf_->Button1->click();
  EXPECT_EQ(ui_->Calls(),
            (std::vector<Call>{{Kind::Message, "Tarnwick", "Нет соединения с базой данных!"}}));
  EXPECT_EQ(mf_->StatusText(), "Нет соединения с базой данных!");
}

TEST_F(WindowActionsTest, AClientThatCannotBeUsedShowsItsTextAfterTheMessage) {
  const std::string reason =
      "Cannot load OCI DLL: /opt/ic/libclntsh.so (libnnz19.so: cannot open shared object file: No "
      "such file or directory)";
  db_->clientError = reason;
  mf_->Edit1->setText("demo/demo@demo");
  mf_->Button1->click();
  EXPECT_EQ(ui_->Calls(),
            (std::vector<Call>{{Kind::Message, "Tarnwick", "Нет соединения с базой данных!"},
                               {Kind::Message, "Tarnwick", reason}}));
  EXPECT_EQ(mf_->StatusText(), "Нет соединения с базой данных!");
}

TEST_F(WindowActionsTest, TheOptInToNewerClientsIsReadAtEveryConnect) {
  struct Case {
    const char* variable;   // nullptr: unset
    const char* fileValue;  // nullptr: no [Client] section
    bool accepted;
    std::string error;  // the message box instead of a connection
  };
  const std::vector<Case> cases = {
      {nullptr, nullptr, false, ""},
      {nullptr, "1", true, ""},
      {"0", "1", false, ""},
      {"1", "0", true, ""},
      {"yes", nullptr, false,
       "TARNWICK_ACCEPT_NEWER_CLIENT is 'yes': it takes 1 (accept Oracle clients of version 11 "
       "and later, used as clients 8 to 10 are) or 0 (refuse them)"},
      {nullptr, "true", false,
       settings_ +
           ": AcceptNewerClient in section [Client] is 'true': it takes 1 (accept Oracle clients "
           "of version 11 and later, used as clients 8 to 10 are) or 0 (refuse them)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variable ? c.variable : "-") + " " +
                 (c.fileValue ? c.fileValue : "-"));
    std::filesystem::remove(settings_);
    if (c.fileValue) TIniFile(settings_).WriteString("Client", "AcceptNewerClient", c.fileValue);
    testsupport::ScopedEnvVar variable("TARNWICK_ACCEPT_NEWER_CLIENT", c.variable);
    AcceptNewerClient = !c.accepted;
    ui_->ClearCalls();
    db_->calls.clear();
    Connect({"EMP"});
    if (c.error.empty()) {
      EXPECT_EQ(AcceptNewerClient, c.accepted);
      EXPECT_EQ(db_->Calls("connect").size(), 1u);
      EXPECT_EQ(ui_->Calls(), std::vector<Call>{});
    } else {
      EXPECT_EQ(ui_->Calls(), (std::vector<Call>{{Kind::Message, "Tarnwick", c.error}}));
      EXPECT_EQ(db_->Calls("connect").size(), 0u) << "no connection with a value not understood";
    }
  }
  AcceptNewerClient = false;
}

TEST_F(WindowActionsTest, EmptyFieldsAskForInput) {
  mf_->Button1->click();
  mf_->Button2->click();
  EXPECT_EQ(ui_->Calls(),
            (std::vector<Call>{{Kind::Message, "Tarnwick", "Введите параметры подключения"},
                               {Kind::Message, "Tarnwick", "Выберите таблицу для импорта "}}));
}

TEST_F(WindowActionsTest, AnalyseAndImportThroughTheButtons) {
  Connect({"DEPT", "SAMPLE"});
  db_->SetTables({"DEPT", "SAMPLE", "ZNEW"});
  db_->AddTable("SAMPLE",
                {{"ID", "NUMBER", 22, 5, 0},
                 {"NAME", "VARCHAR2", 30, std::nullopt, std::nullopt},
                 {"BORN", "DATE", 7, std::nullopt, std::nullopt}},
                {{int32_t{1}, std::string("Анна"), TDate{EncodeDate(2008, 8, 15)}},
                 {int32_t{2}, TValue(), TValue()},
                 {int32_t{3}, std::string("Пётр"), TValue()}});
  mf_->ComboBox1->setEditText("SAMPLE");
  mf_->ComboBox1Exit();
  const std::string path = dir_.File("SAMPLE.dbf");
  EXPECT_EQ(mf_->Edit2->text().toStdString(), path);

  mf_->Button2->click();
  EXPECT_TRUE(ui_->Calls().empty());
  EXPECT_TRUE(mf_->Button4->isEnabled());
  EXPECT_EQ(mf_->TableText(), "SAMPLE");
  EXPECT_EQ(Items(), (std::vector<std::string>{"DEPT", "SAMPLE", "ZNEW"}));
  const std::vector<std::string> report = mf_->Memo1->Lines();
  ASSERT_EQ(report.size(), 11u);
  EXPECT_EQ(report[0], "Структура таблицы ");
  EXPECT_EQ(report[9], "В таблице  3  записей!");
  EXPECT_EQ(report[10], "Предполагаемое время выгрузки 0 секунд");

  mf_->Button4->click();
  EXPECT_TRUE(ui_->Calls().empty());
  std::vector<std::string> log = mf_->Memo1->Lines();
  ASSERT_EQ(log.size(), 14u) << "the log follows the report";
  EXPECT_EQ(log[11], "Файл " + path + " создан!");
  EXPECT_EQ(log[12], "Начало импорта: 15.08.2008 14:30:05");
  EXPECT_EQ(log[13], "Конец импорта: 15.08.2008 14:30:05");
  EXPECT_EQ(mf_->CGauge1->Progress(), 100);
  EXPECT_EQ(export_test::ReadDbf(path).count, 3u);

  // Again: the window asks before it replaces the file.
  ui_->ScriptYesNo(false);
  mf_->Button4->click();
  EXPECT_EQ(ui_->Calls(),
            (std::vector<Call>{{Kind::YesNo, "Файл сущесвует!",
                                "Файл " + path +
                                    " уже существует! Пересоздать его (YES) или прекратить "
                                    "обработку? "}}));
  EXPECT_EQ(mf_->Memo1->Lines(), log);
}

TEST_F(WindowActionsTest, TableBoxKeepsItsTextWhileTheListChanges) {
  mf_->ComboBox1->setEditText("typed");
  mf_->AddTable("FIRST");
  mf_->AddTable("SECOND");
  EXPECT_EQ(mf_->TableText(), "typed");
  mf_->ClearTableList();
  EXPECT_EQ(mf_->ComboBox1->count(), 0);
  EXPECT_EQ(mf_->TableText(), "typed");
  mf_->ClearTableText();
  mf_->AddTable("THIRD");
  EXPECT_EQ(mf_->TableText(), "");
}

TEST_F(WindowActionsTest, RefusedTableLeavesTheImportDisabled) {
  Connect({"DOCUMENTS"});
  db_->AddTable("DOCUMENTS", {{"BODY", "CLOB", 4000, std::nullopt, std::nullopt}});
  mf_->ComboBox1->setEditText("DOCUMENTS");
  mf_->Button4->setEnabled(true);
  mf_->Button2->click();
  EXPECT_FALSE(mf_->Button4->isEnabled());
  ASSERT_EQ(ui_->Calls().size(), 1u);
  EXPECT_EQ(ui_->Calls()[0].kind, Kind::Message);
}

}  // namespace
}  // namespace tarnwick
