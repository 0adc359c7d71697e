// The statements of the program's road through SmartQuery1 on the stand-in's demo server: the
// two session settings, the table list, the column query, the row count and the walk over a
// table with every column kind the export accepts, with the texts the fields give and the calls
// the client sees.
#include <algorithm>
#include <string>
#include <vector>

#include "dataset/tests/SmartQueryFixture.h"
#include "dataset/text/FormatSettings.h"

namespace tarnwick::dataset_test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST_F(SmartQueryOnStandin, SessionSettingsRunWithExecSQLAndLeaveTheQueryClosed) {
  session.Connect();
  std::vector<bool> executed;
  q.AfterExecute = [&](TDataSet&, bool result) { executed.push_back(result); };
  for (const char* sql : {"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'",
                          "ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '"}) {
    SCOPED_TRACE(sql);
    const size_t mark = trace.Mark();
    SetText(sql);
    q.ExecSQL();
    EXPECT_FALSE(q.Active());
    EXPECT_EQ(q.RowsAffected(), 0);
    EXPECT_EQ(q.FieldCount(), 0);
    EXPECT_EQ(Prepared(mark), (std::vector<std::string>{sql}));
    // Executed once with commit on success, then released.
    const auto lines = trace.Since(mark);
    EXPECT_TRUE(Trace::Has(lines, ", 1, 0, NULL, NULL, OCI_COMMIT_ON_SUCCESS) = OCI_SUCCESS"))
        << Trace::Joined(lines);
    EXPECT_EQ(Trace::Starting(lines, "OCIHandleFree(stmt").size(), 1u) << Trace::Joined(lines);
  }
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(executed, (std::vector<bool>{true, true}));
  // The settings hold for the session's later statements.
  SetText("select to_char(hiredate) d, to_char(0.5) n from emp where empno = 7369");
  q.Open();
  EXPECT_EQ(q.FieldByName("D")->AsString(), "19801217");
  EXPECT_EQ(q.FieldByName("N")->AsString(), ".5");
}

TEST_F(SmartQueryOnStandin, TheTableListIsOneStringFieldSentWithoutTheTrailingBlank) {
  session.Connect();
  const size_t mark = trace.Mark();
  SetText("select table_name from user_tables order by 1 ");
  q.Open();
  EXPECT_EQ(Prepared(mark),
            (std::vector<std::string>{"select table_name from user_tables order by 1"}));
  ASSERT_EQ(q.FieldCount(), 1);
  auto* name = dynamic_cast<TStringField*>(q.FieldByName("table_name"));
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->FieldName(), "TABLE_NAME");
  EXPECT_EQ(name->Size(), 30);
  EXPECT_EQ(q.FindField("table_name"), name);
  EXPECT_EQ(testsupport::MessageOf([&] { q.FieldByName("X"); }),
            "SmartQuery1: Field 'X' not found");

  const std::vector<std::string> tables = Column("TABLE_NAME");
  EXPECT_TRUE(std::is_sorted(tables.begin(), tables.end()));
  for (const char* t : {"BLOCK26", "DEPT", "EMP", "EMPTY_TABLE", "NUMBER_FORMS", "WIDE_TABLE"})
    EXPECT_NE(std::find(tables.begin(), tables.end(), t), tables.end()) << t;
  EXPECT_EQ(q.GetRecordCount(), static_cast<int>(tables.size()));
}

TEST_F(SmartQueryOnStandin, TheColumnQueryGivesTextsAndFloatNumbers) {
  SetText(
      "select column_name, data_type, data_length, data_precision, data_scale from "
      "user_tab_columns where table_name = 'EMP' order by Column_id");
  q.Open();
  ASSERT_EQ(q.FieldCount(), 5);
  EXPECT_NE(dynamic_cast<TStringField*>(q.FieldByName("COLUMN_NAME")), nullptr);
  EXPECT_NE(dynamic_cast<TStringField*>(q.FieldByName("DATA_TYPE")), nullptr);
  for (const char* number : {"DATA_LENGTH", "DATA_PRECISION", "DATA_SCALE"})
    EXPECT_NE(dynamic_cast<TFloatField*>(q.FieldByName(number)), nullptr) << number;
  EXPECT_EQ(Walk(), (Rows{{"EMPNO", "NUMBER", "22", "4", "0"},
                          {"ENAME", "VARCHAR2", "30", "", ""},
                          {"JOB", "VARCHAR2", "20", "", ""},
                          {"MGR", "NUMBER", "22", "4", "0"},
                          {"HIREDATE", "DATE", "7", "", ""},
                          {"SAL", "NUMBER", "22", "7", "2"},
                          {"COMM", "NUMBER", "22", "7", "2"},
                          {"DEPTNO", "NUMBER", "22", "2", "0"}}));
}

TEST_F(SmartQueryOnStandin, TheRowCountIsOneFieldCnt) {
  SetText("select count(*) cnt from EMP");
  q.Open();
  ASSERT_EQ(q.FieldCount(), 1);
  const TField* cnt = q.FieldByName("CNT");
  EXPECT_NE(dynamic_cast<const TFloatField*>(cnt), nullptr);
  EXPECT_EQ(cnt->AsInteger(), 14);
  EXPECT_EQ(cnt->AsString(), "14");
}

TEST_F(SmartQueryOnStandin, EveryColumnKindOfTheExportGetsItsFieldClassAndText) {
  Run(
      {"CREATE TABLE KINDS (N9 NUMBER(9), N10 NUMBER(10), N NUMBER, N52 NUMBER(5,2), F FLOAT, "
       "S10 VARCHAR2(10), S31 VARCHAR2(31), S32 VARCHAR2(32), S255 VARCHAR2(255), D DATE)",
       "INSERT INTO KINDS VALUES (1, 1234567890, 0.5, 123.45, 1.5, 'short', "
       "'abcdefghijklmnopqrstuvwxyz01234', 'abcdefghijklmnopqrstuvwxyz012345', "
       "RPAD('Long text', 255, '.'), DATE '2008-08-15')",
       "INSERT INTO KINDS VALUES (2, -123456789, -1E20, -0.01, 1/3, 'Ёлка', NULL, NULL, NULL, "
       "TO_DATE('2008-08-15 14:30:05', 'YYYY-MM-DD HH24:MI:SS'))",
       "INSERT INTO KINDS VALUES (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"});
  SetText("select * from KINDS order by 1");
  q.Open();

  const struct {
    const char* name;
    TFieldType type;
    int size;
  } kinds[] = {{"N9", ftInteger, 0},  {"N10", ftFloat, 0},   {"N", ftFloat, 0},
               {"N52", ftFloat, 0},   {"F", ftFloat, 0},     {"S10", ftString, 10},
               {"S31", ftString, 31}, {"S32", ftString, 32}, {"S255", ftString, 255},
               {"D", ftDateTime, 0}};
  ASSERT_EQ(q.FieldCount(), 10);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(kinds[i].name);
    const TField& f = *q.Fields()[i];
    EXPECT_EQ(f.FieldName(), kinds[i].name);
    EXPECT_EQ(f.DataType(), kinds[i].type);
    EXPECT_EQ(f.Size(), kinds[i].size);
  }
  EXPECT_NE(dynamic_cast<TIntegerField*>(q.FieldByName("N9")), nullptr);
  EXPECT_NE(dynamic_cast<TFloatField*>(q.FieldByName("N10")), nullptr);
  EXPECT_NE(dynamic_cast<TDateTimeField*>(q.FieldByName("D")), nullptr);

  // 2008-08-15 00:00 arrives as day 733269 in milliseconds and reads as 39675.
  double native = 0;
  ASSERT_TRUE(q.FieldByName("D")->GetData(&native));
  EXPECT_EQ(native, 63354441600000.0);
  EXPECT_EQ(q.FieldByName("D")->AsDateTime(), 39675.0);

  FormatSettings().ShortDateFormat = "dd.mm.yyyy";
  FormatSettings().LongTimeFormat = "H:mm:ss";
  std::string padded = "Long text";
  padded += std::string(255 - padded.size(), '.');
  EXPECT_EQ(Walk(), (Rows{{"1", "1234567890", "0.5", "123.45", "1.5", "short",
                           "abcdefghijklmnopqrstuvwxyz01234", "abcdefghijklmnopqrstuvwxyz012345",
                           padded, "15.08.2008"},
                          {"2", "-123456789", "-1E20", "-0.01", "0.333333333333333", "Ёлка", "", "",
                           "", "15.08.2008 14:30:05"},
                          {"3", "", "", "", "", "", "", "", "", ""}}));
}

TEST_F(SmartQueryOnStandin, OneOpenAndWalkOfSixtyRowsFetchesThreeBlocksAndNothingMore) {
  Admin("generate " + Server().string() + " demo T60 60");
  session.Connect();
  const size_t mark = trace.Mark();
  SetText("select * from T60 order by 1");
  q.Open();
  int rows = 0;
  for (; !q.Eof(); q.Next()) ++rows;
  EXPECT_EQ(rows, 60);
  EXPECT_EQ(q.MoveBy(1), 0);

  const auto lines = trace.Since(mark);
  std::vector<std::string> calls;
  for (const auto& line : lines) {
    const std::string name = line.substr(0, line.find('('));
    if (name == "OCIStmtPrepare" || name == "OCIStmtExecute" || name == "OCIStmtFetch" ||
        name == "OCIStmtFetch2")
      calls.push_back(line.substr(0, line.find(')') + 1) + line.substr(line.find(") = ") + 1));
  }
  const std::vector<std::string> expected = {
      "OCIStmtPrepare(stmt#1, err#1, \"select * from T60 order by 1\", 29, OCI_NTV_SYNTAX, "
      "OCI_DEFAULT) = OCI_SUCCESS",
      "OCIStmtExecute(svcctx#1, stmt#1, err#1, 0, 0, NULL, NULL, OCI_DEFAULT) = OCI_SUCCESS",
      "OCIStmtFetch(stmt#1, err#1, 25, OCI_FETCH_NEXT, OCI_DEFAULT) = OCI_SUCCESS",
      "OCIStmtFetch(stmt#1, err#1, 25, OCI_FETCH_NEXT, OCI_DEFAULT) = OCI_SUCCESS",
      "OCIStmtFetch(stmt#1, err#1, 25, OCI_FETCH_NEXT, OCI_DEFAULT) = OCI_NO_DATA ORA-01403"};
  EXPECT_EQ(calls, expected) << Trace::Joined(lines);
  // The describe comes between the execute and the first fetch; the last fetch brought 10 rows.
  const auto rowCounts = Trace::Starting(lines,
                                         "OCIAttrGet(stmt#1, OCI_HTYPE_STMT, &60, NULL, "
                                         "OCI_ATTR_ROW_COUNT");
  EXPECT_EQ(rowCounts.size(), 1u) << Trace::Joined(lines);
  const auto describe = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.starts_with("OCIParamGet(stmt#1");
  });
  const auto firstFetch = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.starts_with("OCIStmtFetch(");
  });
  EXPECT_LT(describe, firstFetch);
  EXPECT_EQ(q.GetRecordCount(), 60);
}

}  // namespace
}  // namespace tarnwick::dataset_test
