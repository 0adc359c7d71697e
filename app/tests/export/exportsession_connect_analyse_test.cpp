// Connecting and analysing a table, run against scripted result sets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "app/ExportSession.h"
#include "app/IniFile.h"
#include "app/tests/export/ExportFakes.h"
#include "base/Exception.h"

namespace tarnwick::export_test {
namespace {

using ::testing::Property;
using ::testing::Throws;

const std::string kConnected = "Приложение подключено к БД!";
const std::string kNoConnection = "Нет соединения с базой данных!";
const std::string kTypeRefused =
    "Данная версия программы обрабатывает только следующие типы данных: NUMBER, VARCHAR2 и "
    "DATE! Выгрузка данных невозможна!";
const std::string kTextTooLong =
    "В формат  dbf не могут быть выгружены символьные поля длиной больше 255 символов!";

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    auto database = std::make_unique<TScriptedDatabase>();
    db = database.get();
    settings = dir.File("Tarnwick.INI");
    session = std::make_unique<TExportSession>(settings, std::move(database));
  }

  std::string Settings() const {
    return TIniFile(settings).ReadString("Connect", "String", "<none>");
  }

  // Connected, with the tables listed.
  void Connect(const std::vector<std::string>& tables = {"DEPT", "EMP"}) {
    db->SetTables(tables);
    session->Connect(view, "demo/demo@demo");
    ASSERT_EQ(view.status, kConnected);
    view = TRecordingView();
    db->calls.clear();
  }

  testsupport::ScratchDir dir{"tarnwick-export"};
  std::string settings;
  TScriptedDatabase* db = nullptr;
  std::unique_ptr<TExportSession> session;
  TRecordingView view;
};

// ---- connect ----------------------------------------------------------------------------------

TEST_F(SessionTest, ConnectRunsTheSequenceAndListsTheTables) {
  db->SetTables({"BLOCK26", "DEPT", "EMP"});
  session->Connect(view, "scott/tiger@orcl");
  EXPECT_EQ(db->calls,
            (std::vector<std::string>{"disconnect", "login scott|tiger|orcl", "connect",
                                      "exec ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'",
                                      "exec ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '",
                                      "open select table_name from user_tables order by 1 "}));
  EXPECT_EQ(view.calls, (std::vector<std::string>{"status: " + kConnected, "clear text",
                                                  "clear list", "import: off", "table: BLOCK26",
                                                  "table: DEPT", "table: EMP"}));
  EXPECT_EQ(Settings(), "scott/tiger@orcl");
}

TEST_F(SessionTest, ConnectSplitsTheStringAsTyped) {
  const std::pair<std::string, std::string> cases[] = {
      {"u/p@host/service@x", "login u|p|host/service@x"},
      {"scott/tiger", "login scott||scott/tiger"},
      {"tiger@orcl", "login |tiger|orcl"},
      {"u@srv/x", "login u@srv||srv/x"},
  };
  for (const auto& [text, login] : cases) {
    db->calls.clear();
    db->SetTables({});
    session->Connect(view, text);
    ASSERT_GE(db->calls.size(), 2u);
    EXPECT_EQ(db->calls[1], login);
    EXPECT_EQ(Settings(), text) << "the string is remembered exactly as typed";
  }
}

TEST_F(SessionTest, EmptyConnectionStringAsksForItAndTouchesNothing) {
  session->Connect(view, "");
  EXPECT_EQ(view.calls, (std::vector<std::string>{"message: Введите параметры подключения"}));
  EXPECT_TRUE(db->calls.empty());
  EXPECT_FALSE(std::filesystem::exists(settings));
}

TEST_F(SessionTest, FailedConnectReportsNoConnectionAndKeepsListAndSettings) {
  Connect({"DEPT", "EMP"});
  view.tables = {"DEPT", "EMP"};
  db->connectError = {{1017, "ORA-01017: invalid username/password; logon denied"}};
  session->Connect(view, "demo/wrong@demo");
  EXPECT_EQ(view.calls,
            (std::vector<std::string>{"message: " + kNoConnection, "status: " + kNoConnection}));
  EXPECT_EQ(view.tables, (std::vector<std::string>{"DEPT", "EMP"}));
  EXPECT_EQ(Settings(), "demo/demo@demo");
  EXPECT_FALSE(db->connected) << "the earlier connection was ended first";
}

TEST_F(SessionTest, FailedSessionSettingReportsNoConnectionAfterConnecting) {
  db->failingStatements = {"ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '"};
  session->Connect(view, "demo/demo@demo");
  EXPECT_EQ(view.calls,
            (std::vector<std::string>{"status: " + kConnected, "message: " + kNoConnection,
                                      "status: " + kNoConnection}));
  EXPECT_TRUE(db->connected) << "the session stays connected";
  EXPECT_FALSE(std::filesystem::exists(settings));
}

TEST_F(SessionTest, UnwritableSettingsFileEndsTheActionWithItsError) {
  const std::string folder = dir.File("locked");
  std::filesystem::create_directory(folder);
  auto database = std::make_unique<TScriptedDatabase>();
  database->SetTables({"DEPT"});
  TScriptedDatabase* scripted = database.get();
  TExportSession locked(folder + "/missing/Tarnwick.INI", std::move(database));
  EXPECT_THAT([&] { locked.Connect(view, "demo/demo@demo"); },
              Throws<Exception>(Property(
                  &Exception::Message, "Unable to write to " + folder + "/missing/Tarnwick.INI")));
  EXPECT_TRUE(scripted->connected);
  EXPECT_EQ(view.calls, (std::vector<std::string>{"status: " + kConnected}))
      << "the table box is neither cleared nor refilled";
}

TEST_F(SessionTest, FailingTableListKeepsTheNamesAddedSoFar) {
  db->SetTables({"A", "B", "C"});
  db->results["select table_name from user_tables order by 1 "].failAfterRows = 2;
  EXPECT_THROW(session->Connect(view, "demo/demo@demo"), EOraError);
  EXPECT_EQ(view.tables, (std::vector<std::string>{"A", "B"}));
}

// ---- analyse ----------------------------------------------------------------------------------

const std::vector<std::string> kHead = {
    "Структура таблицы ", " ",
    " N    Имя поля                        Имя поля    Тип поля         Тип поля Размер,   ",
    "п/п   в Оракл таблице                 в DBF       в Оракл          в DBF            дес.",
    std::string(88, '-')};

std::vector<std::string> WithHead(const std::vector<std::string>& rows) {
  std::vector<std::string> lines = kHead;
  lines.insert(lines.end(), rows.begin(), rows.end());
  return lines;
}

const std::vector<TColumn> kSample = {{"ID", "NUMBER", 22, 5, 0},
                                      {"NAME", "VARCHAR2", 30, std::nullopt, std::nullopt},
                                      {"BORN", "DATE", 7, std::nullopt, std::nullopt},
                                      {"PRICE", "NUMBER", 22, 10, 2}};

TEST_F(SessionTest, AnalysisWritesTheReportAndEnablesTheImport) {
  Connect({"DEPT", "EMP", "SAMPLE"});
  db->AddTable("SAMPLE", kSample, {}, 1234);
  session->Analyse(view, "SAMPLE");
  EXPECT_EQ(view.memo,
            WithHead({"1     ID                              ID          NUMBER           N      "
                      "   5      0 ",
                      "2     NAME                            NAME        VARCHAR2         C      "
                      "   30       ",
                      "3     BORN                            BORN        DATE             D      "
                      "   7        ",
                      "4     PRICE                           PRICE       NUMBER           N      "
                      "   10     2 ",
                      std::string(88, '-'), "В таблице  1234  записей!",
                      "Предполагаемое время выгрузки 0 секунд"}));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(view.importEnabled);
  EXPECT_TRUE(session->Analysed());
  EXPECT_EQ(session->OraNames, (std::vector<std::string>{"ID", "NAME", "BORN", "PRICE"}));
  EXPECT_EQ(session->OraTypes, (std::vector<std::string>{"NUMBER", "VARCHAR2", "DATE", "NUMBER"}));
  EXPECT_EQ(session->OraSizes, (std::vector<std::string>{"5", "30", "7", "10"}));
  EXPECT_EQ(session->OraScales, (std::vector<std::string>{"0", "", "", "2"}));
  EXPECT_EQ(session->DbfNames, (std::vector<std::string>{"ID", "NAME", "BORN", "PRICE"}));
  EXPECT_EQ(session->DbfTypes, (std::vector<std::string>{"N", "C", "D", "N"}));
  // NUMBER fields hold their longest text: -12345 and -12345678.91.
  EXPECT_EQ(session->DbfLengths, (std::vector<std::string>{"6", "30", "8", "12"}));
  EXPECT_EQ(session->DbfDecimals, (std::vector<std::string>{"0", "", "", "2"}));
  EXPECT_EQ(session->ColumnCount, 4);
  EXPECT_EQ(session->TableRowCount, 1234);
  EXPECT_EQ(db->calls,
            (std::vector<std::string>{"open select table_name from user_tables order by 1 ",
                                      "open " + TScriptedDatabase::DictionaryQuery("SAMPLE"),
                                      "open select count(*) cnt from SAMPLE"}));
}

TEST_F(SessionTest, AnalysisReplacesTheListedTablesAndKeepsTheText) {
  Connect({"DEPT", "EMP"});
  view.tables = {"DEPT", "EMP"};
  db->SetTables({"DEPT", "EMP", "NEW_TABLE"});
  db->AddTable("EMP", {{"EMPNO", "NUMBER", 22, 4, 0}});
  session->Analyse(view, "EMP");
  EXPECT_EQ(view.tables, (std::vector<std::string>{"DEPT", "EMP", "NEW_TABLE"}));
  const std::vector<std::string> listCalls = {view.calls[0], view.calls[1], view.calls[2],
                                              view.calls[3], view.calls[4]};
  EXPECT_EQ(listCalls, (std::vector<std::string>{"import: off", "clear list", "table: DEPT",
                                                 "table: EMP", "table: NEW_TABLE"}))
      << "the text of the box is not cleared";
  // Again: no name appears twice.
  session->Analyse(view, "EMP");
  EXPECT_EQ(view.tables, (std::vector<std::string>{"DEPT", "EMP", "NEW_TABLE"}));
}

TEST_F(SessionTest, EstimateUsesTheFactorOfTheColumnCount) {
  Connect();
  std::vector<TColumn> columns;
  for (int i = 1; i <= 25; ++i) columns.push_back({'C' + std::to_string(i), "NUMBER", 22, 9, 0});
  db->AddTable("T25", columns, {}, 10000);
  session->Analyse(view, "T25");
  EXPECT_EQ(view.memo.back(), "Предполагаемое время выгрузки 6 секунд");
}

TEST_F(SessionTest, EmptyTableNameAsksForOne) {
  Connect();
  session->Analyse(view, "");
  EXPECT_EQ(view.calls, (std::vector<std::string>{"message: Выберите таблицу для импорта "}));
  EXPECT_TRUE(db->calls.empty());
}

// A name that is no unquoted identifier never reaches the SQL: one message, no query, nothing
// else changes (an earlier analysis stays, and its import stays enabled).
TEST_F(SessionTest, ANameThatIsNoIdentifierGetsOneMessageAndNoQuery) {
  const std::string refused =
      "Недопустимое имя таблицы! Имя таблицы начинается с буквы, за которой следуют только "
      "буквы, цифры и символы _ $ #, всего не более 30 байт; кавычки, пробелы, точки и точки с "
      "запятой не допускаются. Чтение структуры невозможно!";
  Connect();
  db->AddTable("EMP", {{"EMPNO", "NUMBER", 22, 4, 0}}, {}, 14);
  session->Analyse(view, "EMP");
  ASSERT_TRUE(session->Analysed());
  const std::string names[] = {"EMP' or '1'='1", "EMP'",  "EMP;", "EMP DEPT",          "DEMO.EMP",
                               "\"EMP\"",        "EMP--", "1EMP", std::string(31, 'E')};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    view = TRecordingView();
    view.importEnabled = true;
    db->calls.clear();
    session->Analyse(view, name);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"message: " + refused}));
    EXPECT_TRUE(db->calls.empty());
    EXPECT_TRUE(session->Analysed());
    EXPECT_EQ(session->OraNames, (std::vector<std::string>{"EMPNO"}));
    // The import runs on the analysed table only, never on the refused text.
    EXPECT_THROW(session->Import(view, dir.File("x.dbf"), name), Exception);
    EXPECT_TRUE(db->calls.empty());
  }
}

TEST_F(SessionTest, TableWithoutColumnsIsRefused) {
  Connect();
  db->AddTable("EMP", {{"EMPNO", "NUMBER", 22, 4, 0}});
  db->AddTable("emp", {}, {}, 14);
  session->Analyse(view, "emp");  // the dictionary holds upper-case names only
  EXPECT_EQ(view.memo, kHead);
  EXPECT_EQ(view.messages,
            (std::vector<std::string>{
                "Таблица emp не найдена среди таблиц пользователя или не имеет полей! Имя "
                "таблицы указывается так, как оно записано в списке таблиц (обычно заглавными "
                "буквами). Выгрузка данных невозможна!"}));
  EXPECT_EQ(session->ColumnCount, 0);
  EXPECT_FALSE(view.importEnabled);
  EXPECT_FALSE(session->Analysed());
  EXPECT_TRUE(db->Calls("open select count").empty()) << "no count and no estimate";
}

TEST_F(SessionTest, RefusedColumnsAreReportedOneByOne) {
  struct Case {
    const char* title;
    std::vector<TColumn> columns;
    std::vector<std::string> messages;
    std::vector<std::string> dbfTypes;
  };
  const Case cases[] = {
      {"CLOB and CHAR",
       {{"DOC_ID", "NUMBER", 22, 6, 0},
        {"BODY", "CLOB", 4000, std::nullopt, std::nullopt},
        {"CODE", "CHAR", 2, std::nullopt, std::nullopt}},
       {kTypeRefused, kTypeRefused},
       {"N", "", ""}},
      {"VARCHAR2(256)",
       {{"OK", "VARCHAR2", 255, std::nullopt, std::nullopt},
        {"DETAILS", "VARCHAR2", 256, std::nullopt, std::nullopt}},
       {kTextTooLong},
       {"C", "C"}},
      {"lower-case type name", {{"X", "number", 22, 5, 0}}, {kTypeRefused}, {""}},
      {"negative scale",
       {{"ID", "NUMBER", 22, 3, 0}, {"ROUNDED_100", "NUMBER", 22, 6, -2}},
       {"Поле ROUNDED_100 типа NUMBER с отрицательным масштабом (-2) не может быть выгружено в "
        "формат dbf! Выгрузка данных невозможна!"},
       {"N", "N"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    Connect();
    db->AddTable("T", c.columns);
    view.importEnabled = true;
    session->Analyse(view, "T");
    EXPECT_EQ(view.messages, c.messages);
    EXPECT_EQ(session->DbfTypes, c.dbfTypes);
    EXPECT_EQ(session->ColumnCount, static_cast<int>(c.columns.size()))
        << "the analysis goes on with the next columns";
    EXPECT_EQ(view.memo.size(), kHead.size() + c.columns.size()) << "no count, no estimate";
    EXPECT_FALSE(view.importEnabled);
    EXPECT_FALSE(session->Analysed());
    EXPECT_TRUE(db->Calls("open select count").empty());
  }
}

TEST_F(SessionTest, RefusedColumnRowShowsAnEmptyTypeLetter) {
  Connect();
  db->AddTable("DOCUMENTS", {{"BODY", "CLOB", 4000, std::nullopt, std::nullopt}});
  session->Analyse(view, "DOCUMENTS");
  const std::string row = view.memo.back();
  // The type letter's column is empty: 8 spaces between the separators around it.
  EXPECT_EQ(row, "1     BODY" + std::string(28, ' ') + "BODY        CLOB" + std::string(11, ' ') +
                     "  " + std::string(8, ' ') + "  " + "4000 " + "  " + "  ");
  EXPECT_EQ(row.size(), 86u);
}

TEST_F(SessionTest, NumbersWithoutPrecisionGetTheirDictionaryLength) {
  Connect();
  db->AddTable("NUMS", {{"PLAIN_NUM", "NUMBER", 22, std::nullopt, std::nullopt},
                        {"INT_COL", "NUMBER", 22, std::nullopt, 0},
                        {"PRECISE", "NUMBER", 22, 38, 10},
                        {"SHORT", "NUMBER", 22, 5, 1}});
  session->Analyse(view, "NUMS");
  EXPECT_EQ(session->OraSizes, (std::vector<std::string>{"22", "22", "38", "5"}));
  // The columns of more than 15 digits are read exactly: every integer of 38 digits with its
  // sign, NUMBER(38,10) with its point.
  EXPECT_EQ(session->DbfLengths, (std::vector<std::string>{"39", "39", "40", "7"}));
  // The floating NUMBER's texts hold points and exponents: its field gets decimals; INTEGER
  // texts are plain integers.
  EXPECT_EQ(session->DbfDecimals, (std::vector<std::string>{"15", "0", "10", "1"}));
  // The report still shows the Oracle scales.
  EXPECT_EQ(session->OraScales, (std::vector<std::string>{"", "0", "10", "1"}));
  EXPECT_TRUE(view.importEnabled);
}

TEST_F(SessionTest, LongNamesAreShortenedUniquelyAndTheReportShowsThem) {
  Connect();
  db->AddTable("LONG_NAMES", {{"LONG_COLUMN_NAME_A", "NUMBER", 22, 5, 0},
                              {"LONG_COL_1", "VARCHAR2", 10, std::nullopt, std::nullopt},
                              {"LONG_COLUMN_NAME_B", "DATE", 7, std::nullopt, std::nullopt}});
  session->Analyse(view, "LONG_NAMES");
  EXPECT_EQ(session->DbfNames,
            (std::vector<std::string>{"LONG_COL_2", "LONG_COL_1", "LONG_COL_3"}));
  EXPECT_EQ(view.memo[5].substr(38, 10), "LONG_COL_2");
  EXPECT_EQ(view.memo[6].substr(38, 10), "LONG_COL_1");
  EXPECT_EQ(view.memo[7].substr(38, 10), "LONG_COL_3");
  EXPECT_TRUE(view.importEnabled);
}

TEST_F(SessionTest, TheFileFormatLimitsAreChecked) {
  struct Case {
    int columns;
    int32_t length;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {255, 255, {}},  // 255 x 255 + 1 = 65026 bytes
      {256,
       10,
       {"В таблице 256 полей, а файл в формате dbf может содержать не более 255 полей! "
        "Выгрузка данных невозможна!"}},
      {300,
       255,
       {"В таблице 300 полей, а файл в формате dbf может содержать не более 255 полей! Выгрузка "
        "данных невозможна!",
        "Длина записи файла dbf составила бы 76501 байт, а допустимо не более 65535! Выгрузка "
        "данных невозможна!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.columns);
    Connect();
    std::vector<TColumn> columns;
    for (int i = 1; i <= c.columns; ++i) {
      columns.push_back(
          {'C' + std::to_string(i), "VARCHAR2", c.length, std::nullopt, std::nullopt});
    }
    db->AddTable("WIDE", columns, {}, 30);
    session->Analyse(view, "WIDE");
    EXPECT_EQ(view.messages, c.messages);
    EXPECT_EQ(view.importEnabled, c.messages.empty());
    EXPECT_EQ(session->Analysed(), c.messages.empty());
  }
}

TEST_F(SessionTest, DatabaseErrorInTheCountEndsTheAnalysisWithReportAndImportDisabled) {
  Connect();
  db->AddTable("GONE", {{"ID", "NUMBER", 22, 5, 0}});
  db->results.erase("select count(*) cnt from GONE");
  view.importEnabled = true;
  EXPECT_THROW(session->Analyse(view, "GONE"), EOraError);
  EXPECT_EQ(view.memo.size(), kHead.size() + 1) << "the lines written so far stay";
  EXPECT_FALSE(view.importEnabled);
  EXPECT_FALSE(session->Analysed());
}

// ---- length in characters ---------------------------------------------------------------------

// A DBF character field holds one byte per character: from 9i on, a VARCHAR2 column's length is
// its CHAR_LENGTH, which under character semantics in a multi-byte database is less than its
// DATA_LENGTH. Older servers have no CHAR_LENGTH and keep their DATA_LENGTH.
TEST_F(SessionTest, TextLengthsAreCharactersFromRelease9On) {
  struct Case {
    std::string name;
    int serverVersion;
    std::vector<TColumn> columns;
    std::string query;                 // the dictionary query, written out
    std::vector<std::string> sizes;    // OraSizes, as the report shows them
    std::vector<std::string> lengths;  // DbfLengths
    std::vector<std::string> messages;
  };
  const std::string oldQuery =
      "select column_name, data_type, data_length, data_precision, data_scale from "
      "user_tab_columns where table_name = 'T' order by Column_id";
  const std::string newQuery =
      "select column_name, data_type, data_length, data_precision, data_scale, char_length from "
      "user_tab_columns where table_name = 'T' order by Column_id";
  const std::vector<Case> cases = {
      {"AL32UTF8, character semantics",
       10201,
       {{"ID", "NUMBER", 22, 5, 0},
        {"NAME", "VARCHAR2", 200, std::nullopt, std::nullopt, 50},
        {"NOTE", "VARCHAR2", 400, std::nullopt, std::nullopt, 100},
        {"LAST", "VARCHAR2", 1020, std::nullopt, std::nullopt, 255}},
       newQuery,
       {"5", "50", "100", "255"},
       {"6", "50", "100", "255"},
       {}},
      {"AL32UTF8, over 255 characters",
       19000,
       {{"TOO_LONG", "VARCHAR2", 1024, std::nullopt, std::nullopt, 256}},
       newQuery,
       {"256"},
       {"256"},
       {kTextTooLong}},
      {"9.2, byte semantics",
       9201,
       {{"NAME", "VARCHAR2", 30, std::nullopt, std::nullopt, 30}, {"BORN", "DATE", 7, {}, {}}},
       newQuery,
       {"30", "7"},
       {"30", "8"},
       {}},
      {"8.1.7 keeps DATA_LENGTH",
       8170,
       {{"NAME", "VARCHAR2", 30, std::nullopt, std::nullopt}},
       oldQuery,
       {"30"},
       {"30"},
       {}},
      {"8.1.7 refuses over 255 bytes",
       8170,
       {{"NAME", "VARCHAR2", 300, std::nullopt, std::nullopt}},
       oldQuery,
       {"300"},
       {"300"},
       {kTextTooLong}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    db->serverVersion = c.serverVersion;
    Connect();
    db->AddTable("T", c.columns, {}, 3);
    // Only the query of the server's release is answered.
    db->results.erase(c.query == oldQuery ? newQuery : oldQuery);
    session->Analyse(view, "T");
    EXPECT_EQ(db->Calls("open select column_name"), std::vector<std::string>{"open " + c.query});
    EXPECT_EQ(session->OraSizes, c.sizes);
    EXPECT_EQ(session->DbfLengths, c.lengths);
    EXPECT_EQ(view.messages, c.messages);
    EXPECT_EQ(session->Analysed(), c.messages.empty());
    // The report's size column shows the length the field got.
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      EXPECT_EQ(view.memo[kHead.size() + i].substr(77, 5), PadRight(c.sizes[i], 5));
    }
  }
}

TEST_F(SessionTest, EveryQueryButTheImportsKeepsItsRows) {
  Connect();
  db->AddTable("SAMPLE", kSample);
  session->Analyse(view, "SAMPLE");
  EXPECT_TRUE(db->Calls("open unidirectional").empty());
  EXPECT_EQ(db->Calls("open ").size(), 3u);
}

}  // namespace
}  // namespace tarnwick::export_test
