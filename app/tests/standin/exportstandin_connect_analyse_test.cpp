// The connect and structure analysis actions end to end: the Oracle session and query
// components over the stand-in client, on a copy of its demo server.
#include <gmock/gmock.h>

#include "app/IniFile.h"
#include "app/tests/standin/StandinExportFixture.h"

namespace tarnwick::export_test {
namespace {

using ::testing::Property;
using ::testing::Throws;

// ---- connect ----------------------------------------------------------------------------------

const std::vector<std::string> kDemoTables = {
    "BLOCK26",     "COUNTRY_CODES",     "DEPT",       "DOCUMENTS",    "EMP",
    "EMPTY_TABLE", "LONG_COLUMN_NAMES", "LONG_TEXTS", "NUMBER_FORMS", "WIDE_TABLE"};

TEST_F(StandinExportTest, ConnectSetsTheSessionAndListsTheTables) {
  const std::string trace = scratch_.File("trace.txt");
  ScopedEnvVar traceVar("STANDIN_TRACE", trace);
  testsupport::UseStandinClient();
  session_->Connect(view_, "demo/demo@demo");
  EXPECT_EQ(view_.calls.front(), "status: " + kConnected);
  EXPECT_EQ(view_.tables, kDemoTables);
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_EQ(TIniFile(settings_).ReadString("Connect", "String", ""), "demo/demo@demo");
  EXPECT_TRUE(ora_->OraSession1.GetConnected());
  EXPECT_EQ(ora_->OraSession1.Username(), "demo");
  EXPECT_EQ(ora_->OraSession1.Server(), "demo");

  const testsupport::Trace calls(trace);
  const std::vector<std::string> prepared =
      testsupport::Trace::Starting(calls.Lines(), "OCIStmtPrepare(");
  ASSERT_EQ(prepared.size(), 3u) << testsupport::Trace::Joined(calls.Lines());
  EXPECT_TRUE(
      testsupport::Trace::Has({prepared[0]}, "\"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'\""));
  EXPECT_TRUE(testsupport::Trace::Has({prepared[1]},
                                      "\"ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '\""));
  // The query sends the statement without its trailing blank.
  EXPECT_TRUE(
      testsupport::Trace::Has({prepared[2]}, "\"select table_name from user_tables order by 1\""))
      << prepared[2];
}

TEST_F(StandinExportTest, ConnectionStringsThatReachTheDemoServer) {
  // User names and passwords are not case-sensitive; the server name is tried in lower case too.
  for (const std::string text : {"DEMO/DEMO@DEMO", "demo/demo@demo", "Demo/Demo@demo"}) {
    view_ = TRecordingView();
    session_->Connect(view_, text);
    EXPECT_EQ(view_.status, kConnected) << text;
    EXPECT_EQ(view_.tables, kDemoTables) << text;
    EXPECT_EQ(TIniFile(settings_).ReadString("Connect", "String", ""), text);
  }
}

TEST_F(StandinExportTest, ConnectionsThatFail) {
  const char* cases[] = {
      "demo/wrong@demo",    // ORA-01017
      "demo/demo@nowhere",  // ORA-12154
      "demo@demo",          // no "/": no user name, password "demo"
      "demo/demo",          // no "@": no password, server "demo/demo"
      "demo@x/demo",        // "@" before "/": user "demo@x"
      "/@",
  };
  Connect();
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    view_ = TRecordingView();
    session_->Connect(view_, text);
    EXPECT_EQ(view_.messages, std::vector<std::string>{kNoConnection});
    EXPECT_EQ(view_.status, kNoConnection) << "even after an earlier connection";
    EXPECT_TRUE(view_.tables.empty()) << "the list is not touched";
    EXPECT_FALSE(ora_->OraSession1.GetConnected());
  }
  EXPECT_EQ(TIniFile(settings_).ReadString("Connect", "String", ""), "demo/demo@demo");
  view_ = TRecordingView();
  session_->Connect(view_, "");
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"message: Введите параметры подключения"}));
}

// ---- analysis ---------------------------------------------------------------------------------

TEST_F(StandinExportTest, ReportOfEmp) {
  Connect();
  Analyse("EMP", true);
  EXPECT_EQ(
      view_.memo,
      WithHead({
          "1     EMPNO                           EMPNO       NUMBER           N         4      0 ",
          "2     ENAME                           ENAME       VARCHAR2         C         30       ",
          "3     JOB                             JOB         VARCHAR2         C         20       ",
          "4     MGR                             MGR         NUMBER           N         4      0 ",
          "5     HIREDATE                        HIREDATE    DATE             D         7        ",
          "6     SAL                             SAL         NUMBER           N         7      2 ",
          "7     COMM                            COMM        NUMBER           N         7      2 ",
          "8     DEPTNO                          DEPTNO      NUMBER           N         2      0 ",
          std::string(88, '-'),
          "В таблице  14  записей!",
          "Предполагаемое время выгрузки 0 секунд",
      }));
  EXPECT_TRUE(view_.importEnabled);
  EXPECT_EQ(session_->DbfLengths,
            (std::vector<std::string>{"5", "30", "20", "5", "8", "9", "9", "3"}));
  EXPECT_EQ(session_->DbfDecimals, (std::vector<std::string>{"0", "", "", "0", "", "2", "2", "0"}));
  EXPECT_EQ(session_->TableRowCount, 14);
  // The table list was read again; its names did not double.
  EXPECT_EQ(view_.tables, kDemoTables);
}

TEST_F(StandinExportTest, EstimatesOfGeneratedTables) {
  // 25 columns and 10 000 rows; generated tables hold FLOAT columns, which the export refuses.
  Admin("generate " + Server() + " demo GEN1 10000 1");
  std::string columns = "ID NUMBER(9)";
  std::string values = "ID";
  for (int i = 2; i <= 25; ++i) {
    columns += ", C" + std::to_string(i) + " NUMBER(9)";
    values += ", ID";
  }
  Admin("sql " + Server() + " demo 'CREATE TABLE GEN25 (" + columns + ")'");
  Admin("sql " + Server() + " demo 'INSERT INTO GEN25 SELECT " + values + " FROM GEN1'");
  Admin("generate " + Server() + " demo GEN4 1234 4");
  Admin("sql " + Server() +
        " demo 'CREATE TABLE SAMPLE (ID NUMBER(5), NAME VARCHAR2(30), BORN DATE, PRICE "
        "NUMBER(10,2))'");
  Admin("sql " + Server() +
        " demo 'INSERT INTO SAMPLE SELECT ID, C001, C003, C002 / 1000 FROM GEN4'");
  Connect();
  struct Case {
    const char* table;
    std::vector<std::string> tail;
  };
  const Case cases[] = {
      {"SAMPLE",
       {"1     ID                              ID          NUMBER           N         5      0 ",
        "2     NAME                            NAME        VARCHAR2         C         30       ",
        "3     BORN                            BORN        DATE             D         7        ",
        "4     PRICE                           PRICE       NUMBER           N         10     2 ",
        std::string(88, '-'), "В таблице  1234  записей!",
        "Предполагаемое время выгрузки 0 секунд"}},
      {"GEN25",
       {std::string(88, '-'), "В таблице  10000  записей!",
        "Предполагаемое время выгрузки 6 секунд"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    view_ = TRecordingView();
    Analyse(c.table, true);
    ASSERT_GE(view_.memo.size(), c.tail.size());
    EXPECT_EQ(std::vector<std::string>(view_.memo.end() - static_cast<long>(c.tail.size()),
                                       view_.memo.end()),
              c.tail);
  }
}

TEST_F(StandinExportTest, LongNamesAreShortenedToUniqueNames) {
  Admin("sql " + Server() +
        " demo 'CREATE TABLE COLLIDE (LONG_COLUMN_NAME_A NUMBER(5), LONG_COL_1 VARCHAR2(10), "
        "LONG_COLUMN_NAME_B DATE)'");
  Connect();
  struct Case {
    const char* table;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"LONG_COLUMN_NAMES",
       {"CUSTOMER_1", "CUSTOMER_2", "CUSTOMER_3", "REGISTRA_4", "REGISTRA_5", "SHORT",
        "EXACTLY_10"}},
      {"COLLIDE", {"LONG_COL_2", "LONG_COL_1", "LONG_COL_3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    view_ = TRecordingView();
    Analyse(c.table, true);
    EXPECT_EQ(session_->DbfNames, c.names);
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(view_.memo[5 + i].substr(38, 10), PadRight(c.names[i], 10)) << "report row " << i;
    }
  }
}

TEST_F(StandinExportTest, TablesThatCannotBeExported) {
  const std::string typeRefused =
      "Данная версия программы обрабатывает только следующие типы данных: NUMBER, VARCHAR2 и "
      "DATE! Выгрузка данных невозможна!";
  struct Case {
    const char* table;
    std::vector<std::string> messages;
    int columns;
  };
  const Case cases[] = {
      {"DOCUMENTS", {typeRefused}, 3},
      {"COUNTRY_CODES", {typeRefused}, 2},
      {"LONG_TEXTS",
       {"В формат  dbf не могут быть выгружены символьные поля длиной больше 255 символов!"},
       3},
      {"NUMBER_FORMS",
       {typeRefused,
        "Поле ROUNDED_100 типа NUMBER с отрицательным масштабом (-2) не может быть выгружено в "
        "формат dbf! Выгрузка данных невозможна!"},
       10},
      {"emp",
       {"Таблица emp не найдена среди таблиц пользователя или не имеет полей! Имя таблицы "
        "указывается так, как оно записано в списке таблиц (обычно заглавными буквами). Выгрузка "
        "данных невозможна!"},
       0},
  };
  Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    view_ = TRecordingView();
    view_.importEnabled = true;
    session_->Analyse(view_, c.table);
    EXPECT_EQ(view_.messages, c.messages);
    EXPECT_EQ(session_->ColumnCount, c.columns);
    EXPECT_EQ(view_.memo.size(), kHead.size() + static_cast<std::size_t>(c.columns))
        << "no count and no estimate";
    EXPECT_FALSE(view_.importEnabled);
    EXPECT_FALSE(session_->Analysed());
  }
}

TEST_F(StandinExportTest, TooManyColumnsAreRefusedAfterTheTypes) {
  Connect();
  session_->Analyse(view_, "WIDE_TABLE");
  EXPECT_EQ(session_->ColumnCount, 300);
  const auto floats = std::count(session_->OraTypes.begin(), session_->OraTypes.end(), "FLOAT");
  EXPECT_EQ(floats, 33) << "the generator's every ninth column from the tenth on";
  std::vector<std::string> messages(
      static_cast<std::size_t>(floats),
      "Данная версия программы обрабатывает только следующие типы данных: NUMBER, VARCHAR2 и "
      "DATE! Выгрузка данных невозможна!");
  messages.push_back(
      "В таблице 300 полей, а файл в формате dbf может содержать не более 255 полей! Выгрузка "
      "данных невозможна!");
  EXPECT_EQ(view_.messages, messages);
  EXPECT_FALSE(view_.importEnabled);
  EXPECT_FALSE(session_->Analysed());
}

TEST_F(StandinExportTest, DatabaseErrorInTheCountEndsTheAnalysis) {
  Connect();
  // The dictionary lists the quoted lower-case name; the count query's unquoted name is read in
  // upper case and finds no table.
  ora_->ExecSQL("CREATE TABLE \"lower\" (ID NUMBER(5))");
  view_.importEnabled = true;
  EXPECT_THAT([&] { session_->Analyse(view_, "lower"); },
              Throws<EOraError>(Property(&EOraError::ErrorCode, 942)));
  EXPECT_EQ(view_.memo.size(), kHead.size() + 1) << "the report lines written so far stay";
  EXPECT_FALSE(view_.importEnabled);
  EXPECT_FALSE(session_->Analysed());
}

}  // namespace
}  // namespace tarnwick::export_test
