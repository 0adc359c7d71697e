// How SmartQuery1 behaves around the road's statements, on the stand-in's demo server: text
// changes, ExecSQL and Open of statements with and without rows, the ends of the data, the
// session connecting and going away, fetch sizes and events, lost connections, and the
// smart query's updating table.
#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dataset/tests/SmartQueryFixture.h"
#include "oracle/OCICommand.h"

namespace tarnwick::dataset_test {
namespace {

using ::testing::AllOf;
using ::testing::Property;
using ::testing::StartsWith;
using ::testing::Throws;

int Blocks(const TSmartQuery& q) {
  int blocks = 0;
  const auto& store = static_cast<const TMemData&>(q.Data());
  for (PBlockHeader b = store.BlockManager().FirstBlock; b; b = b->Next) ++blocks;
  return blocks;
}

// ---- ExecSQL and Open ----

TEST_F(SmartQueryOnStandin, ExecSQLOfASelectOpensTheQuery) {
  SetText("select * from dept order by 1");
  q.ExecSQL();
  EXPECT_TRUE(q.Active());
  EXPECT_EQ(q.RowsAffected(), -1);
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeOpen", "AfterOpen"}));
  EXPECT_EQ(Column("DNAME"),
            (std::vector<std::string>{"Бухгалтерия", "Исследования", "Продажи", "OPERATIONS"}));
}

TEST_F(SmartQueryOnStandin, OpenOfAStatementWithoutRowsFailsAfterRunningIt) {
  SetText("ALTER SESSION SET NLS_DATE_FORMAT='YYYY'");
  EXPECT_EQ(testsupport::MessageOf([&] { q.Open(); }), "SQL statement doesn't return rows");
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(q.FieldCount(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeOpen"}));
  SetText("select to_char(hiredate) y from emp where empno = 7369");
  q.Open();
  EXPECT_EQ(q.FieldByName("Y")->AsString(), "1980");
}

TEST_F(SmartQueryOnStandin, AnEmptyResultIsAtBothEndsWithNullFields) {
  SetText("select * from empty_table");
  q.Open();
  EXPECT_TRUE(q.Active());
  EXPECT_TRUE(q.Bof());
  EXPECT_TRUE(q.Eof());
  ASSERT_EQ(q.FieldCount(), 3);
  for (const auto& f : q.Fields()) {
    EXPECT_TRUE(f->IsNull()) << f->FieldName();
    EXPECT_EQ(f->AsString(), "") << f->FieldName();
  }
  int scrolls = 0;
  q.BeforeScroll = [&](TDataSet&) { ++scrolls; };
  q.AfterScroll = [&](TDataSet&) { scrolls += 100; };
  EXPECT_EQ(q.MoveBy(1), 0);
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(q.GetRecordCount(), 0);
}

TEST_F(SmartQueryOnStandin, WalkingPastTheLastRecordKeepsItCurrent) {
  SetText("select n, label from block26 order by 1");
  q.Open();
  EXPECT_EQ(q.GetRecordCount(), 25);  // the first block
  std::vector<std::string> labels = Column("LABEL");
  ASSERT_EQ(labels.size(), 26u);
  EXPECT_EQ(labels.front(), "строка 1");
  EXPECT_EQ(labels.back(), "строка 26");
  EXPECT_TRUE(q.Eof());
  EXPECT_FALSE(q.Bof());
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 26);
  EXPECT_EQ(q.MoveBy(1), 0);
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 26);
  EXPECT_EQ(q.GetRecordCount(), 26);
  q.First();
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 1);
  EXPECT_TRUE(q.Bof());
}

TEST_F(SmartQueryOnStandin, AServerErrorLeavesTheQueryClosed) {
  SetText("select * from no_such_table");
  ASSERT_THAT([&] { q.Open(); },
              Throws<EOraError>(AllOf(
                  Property(&EOraError::ErrorCode, 942),
                  Property(&EOraError::Message, "ORA-00942: table or view does not exist\n"))));
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(q.FieldCount(), 0);
}

// ---- The statement text ----

TEST_F(SmartQueryOnStandin, EveryChangeOfTheTextClosesAndUnpreparesOnce) {
  int notifications = 0;
  auto handler = q.SQL().OnChange;
  q.SQL().OnChange = [&, handler] {
    ++notifications;
    handler();
  };
  // The main window's Clear and Add: once on an empty list, twice on one with text.
  q.SQL().Clear();
  EXPECT_EQ(notifications, 0);
  q.SQL().Add("select * from dept");
  EXPECT_EQ(notifications, 1);
  EXPECT_EQ(q.Statement().AssembledSQL(), "select * from dept");
  q.Prepare();
  EXPECT_TRUE(q.Prepared());
  q.Open();

  notifications = 0;
  events.clear();
  q.SQL().Clear();
  EXPECT_EQ(notifications, 1);
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(q.Prepared());
  EXPECT_FALSE(q.FieldDefs().Updated());
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeClose", "AfterClose"}));
  EXPECT_EQ(q.Statement().AssembledSQL(), "");
  EXPECT_EQ(q.OCICommand().GetSQL(), "");
  q.SQL().Add("select * from emp");
  EXPECT_EQ(notifications, 2);
  q.Open();
  EXPECT_EQ(q.FieldCount(), 8);

  // Assigning the same text changes nothing; another text is one change.
  notifications = 0;
  TStrings same{"select * from emp"};
  q.SetSQL(same);
  EXPECT_EQ(notifications, 0);
  EXPECT_TRUE(q.Active());
  q.SetSQL(TStrings{"select *", "from dept"});
  EXPECT_EQ(notifications, 1);
  EXPECT_FALSE(q.Active());
}

TEST_F(SmartQueryOnStandin, TrailingBlanksAndLineEndsAreNotSent) {
  session.Connect();
  const struct {
    std::vector<std::string> lines;
    const char* sent;
  } cases[] = {
      {{"select * from dept "}, "select * from dept"},
      {{"select * from dept", ""}, "select * from dept"},
      {{"select *  ", "from dept\t"}, "select *  \\nfrom dept"},
      {{"  select * from dept"}, "  select * from dept"},
  };
  for (const auto& c : cases) {
    const size_t mark = trace.Mark();
    q.SQL().Clear();
    for (const auto& line : c.lines) q.SQL().Add(line);
    q.Open();
    const auto texts = Prepared(mark);
    ASSERT_EQ(texts.size(), 1u) << c.sent;
    EXPECT_EQ(texts[0], c.sent);
    EXPECT_EQ(q.FieldCount(), 3) << c.sent;
  }
}

TEST_F(SmartQueryOnStandin, MacrosAreExpandedAndParametersListed) {
  SetText("select * from &tab where deptno > :low order by 1");
  ASSERT_EQ(q.GetMacroCount(), 1);
  EXPECT_EQ(q.GetParamCount(), 1);
  EXPECT_NE(q.FindParam("LOW"), nullptr);
  q.MacroByName("TAB")->Value = "dept";
  EXPECT_EQ(q.GetFinalSQL(), "select * from dept where deptno > :low order by 1");
  EXPECT_EQ(testsupport::MessageOf([&] { q.MacroByName("other"); }), "Macro other not found.");
  // A new text in one change keeps the value of a macro it names again; a Clear first would
  // leave no macro to keep.
  q.SetSQL(TStrings{"select * from &tab order by 1"});
  EXPECT_EQ(q.MacroByName("tab")->Value, "dept");
  EXPECT_EQ(q.GetParamCount(), 0);
  q.Open();
  EXPECT_EQ(q.FieldByName("DNAME")->AsString(), "Бухгалтерия");
}

// ---- The session ----

TEST_F(SmartQueryOnStandin, OpenConnectsADisconnectedSession) {
  ASSERT_FALSE(session.GetConnected());
  SetText("select * from dept order by 1");
  q.Open();
  EXPECT_TRUE(session.GetConnected());
  EXPECT_EQ(q.FieldByName("DEPTNO")->AsInteger(), 10);
}

TEST_F(SmartQueryOnStandin, ASessionThatDisconnectsClosesAndUnpreparesTheQuery) {
  SetText("select * from dept order by 1");
  q.Open();
  q.Next();
  events.clear();
  session.Disconnect();
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(q.Prepared());
  EXPECT_FALSE(q.FieldDefs().Updated());
  EXPECT_EQ(q.FieldCount(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"BeforeClose", "AfterClose"}));
  // Connected again, it opens from the start.
  session.Connect();
  q.Open();
  EXPECT_EQ(q.FieldByName("DEPTNO")->AsInteger(), 10);
}

TEST_F(SmartQueryOnStandin, WithoutASessionTheDefaultSessionIsUsed) {
  ASSERT_EQ(DefSession, &session);
  TSmartQuery other("SmartQuery2");
  other.SQL().Add("select count(*) from emp");
  other.Open();
  EXPECT_TRUE(session.GetConnected());
  EXPECT_EQ(other.UsedConnection(), &session);
  EXPECT_EQ(other.Fields()[0]->AsInteger(), 14);
  // Having used it, the query is among its clients: a disconnect closes it.
  session.Disconnect();
  EXPECT_FALSE(other.Active());

  UseDefSession = false;
  EXPECT_EQ(testsupport::MessageOf([&] { other.Open(); }), "Connection is not defined.");
  UseDefSession = true;
}

TEST_F(SmartQueryOnStandin, AConnectionLostInTheMiddleOfAWalkClosesTheQuery) {
  ScopedEnvVar fault("STANDIN_FAULT_CALL", "OCIStmtFetch:2:3113");
  SetText("select n from block26 order by 1");
  q.Open();
  for (int i = 1; i < 25; ++i) q.Next();
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 25);
  ASSERT_THAT([&] { q.Next(); },
              Throws<EOraError>(AllOf(Property(&EOraError::ErrorCode, 3113),
                                      Property(&EOraError::Message, StartsWith("ORA-03113:")))));
  EXPECT_FALSE(session.GetConnected());
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(q.Prepared());
  EXPECT_EQ(q.FieldCount(), 0);
}

TEST_F(SmartQueryOnStandin, ASuccessWithCompilationErrorIsRaisedWithItsCode) {
  ScopedEnvVar fault("STANDIN_FAULT_CALL", "OCIStmtExecute:1:24344");
  SetText("ALTER SESSION SET NLS_DATE_FORMAT='YYYY'");
  // The statement compiles no unit, so the client's own text stays.
  ASSERT_THAT([&] { q.ExecSQL(); },
              Throws<EOraError>(AllOf(
                  Property(&EOraError::ErrorCode, 24344),
                  Property(&EOraError::Message, "ORA-24344: success with compilation error\n"))));
  EXPECT_FALSE(q.Active());
  // The statement did its work.
  SetText("select to_char(hiredate) y from emp where empno = 7369");
  q.Open();
  EXPECT_EQ(q.FieldByName("Y")->AsString(), "1980");
}

TEST_F(SmartQueryOnStandin, AStatementComponentRunsStatementsOnItsSession) {
  TOraSQL sql;
  sql.SetSession(&session);
  std::vector<bool> results;
  sql.AfterExecute = [&](TCustomDASQL&, bool result) { results.push_back(result); };
  sql.SQL().Add("ALTER SESSION SET NLS_DATE_FORMAT='YYYY'");
  sql.Execute();
  EXPECT_TRUE(session.GetConnected());
  EXPECT_EQ(sql.RowsAffected(), 0);
  EXPECT_FALSE(sql.Prepared());
  sql.SQL().Clear();
  sql.SQL().Add("update dept set loc = 'X' where deptno >= 30");
  sql.Execute();
  EXPECT_EQ(sql.RowsAffected(), 2);
  sql.SQL().Clear();
  sql.SQL().Add("update no_such_table set x = 1");
  EXPECT_EQ(testsupport::MessageOf([&] { sql.Execute(); }),
            "ORA-00942: table or view does not exist\n");
  EXPECT_EQ(results, (std::vector<bool>{true, true, false}));
  SetText("select to_char(hiredate) y from emp where empno = 7369");
  q.Open();
  EXPECT_EQ(q.FieldByName("Y")->AsString(), "1980");
}

TEST_F(SmartQueryOnStandin, AColumnKindWithoutAFieldClassStopsTheOpen) {
  Run({"create table raws (r raw(8))"});
  SetText("select r from raws");
  EXPECT_EQ(testsupport::MessageOf([&] { q.Open(); }),
            "Field 'R' is of type VarBytes, for which this build has no field class");
  EXPECT_FALSE(q.Active());
  SetText("select count(*) c from raws");
  q.Open();
  EXPECT_EQ(q.FieldByName("C")->AsInteger(), 0);
}

// With the session option EnableNumbers a NUMBER of more than 15 digits is an Oracle number
// field whose text has every digit; the columns of up to 15 digits keep their classes.
TEST_F(SmartQueryOnStandin, EnableNumbersGivesEveryDigitOfWideNumbers) {
  Run({"create table wide (k number(9), n18 number(18), n15 number(15), plain number)",
       "insert into wide values (1, -999999999999999999, 999999999999999, 1/3)",
       "insert into wide values (2, null, null, 1E-130)"});
  session.Options().SetEnableNumbers(true);
  SetText("select * from wide order by k");
  q.Open();
  auto* n18 = dynamic_cast<TOraNumberField*>(q.FieldByName("N18"));
  ASSERT_NE(n18, nullptr);
  EXPECT_EQ(n18->DataType(), ftOraNumber);
  EXPECT_NE(dynamic_cast<TFloatField*>(q.FieldByName("N15")), nullptr);
  EXPECT_NE(dynamic_cast<TIntegerField*>(q.FieldByName("K")), nullptr);
  EXPECT_EQ(n18->AsString(), "-999999999999999999");
  EXPECT_EQ(q.FieldByName("N15")->AsString(), "999999999999999");
  EXPECT_EQ(q.FieldByName("PLAIN")->AsString(), "0.3333333333333333333333333333333333333333");
  EXPECT_DOUBLE_EQ(q.FieldByName("PLAIN")->AsFloat(), 1.0 / 3);
  EXPECT_EQ(q.FieldByName("PLAIN")->AsInteger(), 0);
  EXPECT_THROW(n18->AsInteger(), EConvertError);
  q.Next();
  EXPECT_TRUE(n18->IsNull());
  EXPECT_EQ(n18->AsString(), "");
  EXPECT_EQ(n18->AsFloat(), 0);
  EXPECT_EQ(q.FieldByName("PLAIN")->AsString(), "1E-130");
  // Without the option the same column is a double with 15 digits.
  session.Options().SetEnableNumbers(false);
  SetText("select * from wide order by k");
  q.Open();
  EXPECT_EQ(q.FieldByName("N18")->AsString(), "-1E18");
  EXPECT_EQ(q.FieldByName("PLAIN")->AsString(), "0.333333333333333");
}

// ---- Fetching ----

TEST_F(SmartQueryOnStandin, FetchRowsMustBeOneToTenThousandAndSetWhileClosed) {
  const struct {
    int rows;
    const char* error;
  } cases[] = {{0, "FetchRows must be 1..10000."},
               {10001, "FetchRows must be 1..10000."},
               {-5, "FetchRows must be 1..10000."},
               {1, nullptr},
               {10000, nullptr}};
  for (const auto& c : cases) {
    const std::string error = testsupport::MessageOf([&] { q.SetFetchRows(c.rows); });
    EXPECT_EQ(error, c.error ? c.error : "<no error>") << c.rows;
    if (!c.error) {
      EXPECT_EQ(q.FetchRows(), c.rows);
    }
  }
  EXPECT_EQ(q.RecordSet().FetchRows(), 10000);

  session.Connect();
  const size_t mark = trace.Mark();
  SetText("select n from block26");
  q.Open();
  EXPECT_EQ(q.GetRecordCount(), 26);
  EXPECT_TRUE(Trace::Has(trace.Since(mark), "OCIStmtFetch(stmt#1, err#1, 10000, OCI_FETCH_NEXT"));
  const std::string open = "SmartQuery1: Cannot perform this operation on an open dataset";
  EXPECT_EQ(testsupport::MessageOf([&] { q.SetFetchRows(5); }), open);
  EXPECT_EQ(testsupport::MessageOf([&] { q.SetUniDirectional(true); }), open);
  EXPECT_EQ(testsupport::MessageOf([&] { q.Options().SetLongStrings(false); }), open);
  EXPECT_EQ(testsupport::MessageOf([&] { q.Options().SetFlatBuffers(true); }), open);
  q.SetFetchRows(10000);  // the same value: no check
}

TEST_F(SmartQueryOnStandin, FetchEventsSurroundEveryBlockAndACancelStopsTheWalkForAMoment) {
  std::vector<std::string> fetches;
  bool cancelNext = false;
  q.BeforeFetch = [&](TDataSet& ds, bool& cancel) {
    EXPECT_EQ(&ds, &q);
    fetches.push_back("before");
    if (cancelNext) {
      cancel = true;
      cancelNext = false;
    }
  };
  q.AfterFetch = [&](TDataSet&) { fetches.push_back("after"); };
  SetText("select n from block26 order by 1");
  q.Open();
  EXPECT_EQ(fetches, (std::vector<std::string>{"before", "after"}));
  for (int i = 1; i < 25; ++i) q.Next();
  cancelNext = true;
  q.Next();  // the second block is refused: the walk stays on the 25th record
  EXPECT_EQ(fetches.size(), 3u);
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 25);
  EXPECT_FALSE(q.Eof());
  q.Next();  // asked again, the block comes
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 26);
  q.Next();
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(fetches, (std::vector<std::string>{"before", "after", "before", "before", "after"}));
}

TEST_F(SmartQueryOnStandin, UniDirectionalKeepsOneBlockInMemory) {
  Admin("generate " + Server().string() + " demo T60 60");
  q.SetFetchAll(true);
  q.SetUniDirectional(true);
  EXPECT_FALSE(q.FetchAll());
  EXPECT_TRUE(q.RecordSet().UniDirectional());
  SetText("select * from T60 order by 1");
  q.Open();
  std::vector<int> ids;
  int most = 0;
  for (; !q.Eof(); q.Next()) {
    ids.push_back(q.FieldByName("ID")->AsInteger());
    most = std::max(most, Blocks(q));
  }
  ASSERT_EQ(ids.size(), 60u);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(ids[static_cast<size_t>(i)], i + 1);
  EXPECT_EQ(most, 1);
  q.Close();

  q.SetUniDirectional(false);
  q.Open();
  for (; !q.Eof(); q.Next()) most = std::max(most, Blocks(q));
  EXPECT_EQ(most, 3);
}

TEST_F(SmartQueryOnStandin, FetchAllReadsEveryRowAtOpenOrAtOnceWhenSetWhileOpen) {
  SetText("select n from block26 order by 1");
  q.SetFetchAll(true);
  q.Open();
  EXPECT_EQ(q.GetRecordCount(), 26);
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 1);
  q.Close();

  q.SetFetchAll(false);
  q.Open();
  EXPECT_EQ(q.GetRecordCount(), 25);
  q.Next();
  q.SetFetchAll(true);
  EXPECT_EQ(q.GetRecordCount(), 26);
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 2);
  q.Next();
  EXPECT_EQ(q.FieldByName("N")->AsInteger(), 3);
}

TEST_F(SmartQueryOnStandin, QueryRecCountCountsWithASeparateStatement) {
  session.Connect();
  q.Options().SetQueryRecCount(true);
  const size_t mark = trace.Mark();
  SetText("select n from block26 order by 1");
  q.Open();
  EXPECT_EQ(q.GetRecordCount(), 26);  // before the second block is read
  const auto texts = Prepared(mark);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "SELECT Count(*) FROM (\\nselect n from block26)");
  EXPECT_EQ(texts[1], "select n from block26 order by 1");
}

TEST_F(SmartQueryOnStandin, KeepPreparedPreparesOnceForEveryOpen) {
  session.Connect();
  q.Options().SetKeepPrepared(true);
  const size_t mark = trace.Mark();
  SetText("select * from dept");
  q.Open();
  q.Close();
  EXPECT_TRUE(q.Prepared());
  q.Open();
  EXPECT_EQ(q.FieldByName("DEPTNO")->AsInteger(), 10);
  EXPECT_EQ(Prepared(mark).size(), 1u);
  EXPECT_EQ(q.GetIsPLSQL(), false);
  EXPECT_EQ(q.GetSQLType(), SQL_SELECT);
}

// ---- The smart query's updating table ----

TEST_F(SmartQueryOnStandin, NoTableIsLookedForOnTheRoadAndTheBufferHasOneMoreByte) {
  SetText("select * from emp order by 1");
  q.Open();
  EXPECT_FALSE(q.UpdatingFields());
  EXPECT_EQ(q.UpdatingTableName(), "");
  EXPECT_EQ(q.RowIdField(), nullptr);
  EXPECT_EQ(q.RecBufSize(), q.RecordInfoOffset() + 7 + static_cast<int>(sizeof(TRecBookmark)) + 1);
  EXPECT_EQ(q.ExpandFlagOffset(), q.RecBufSize() - 1);
  for (const auto& f : q.Fields()) EXPECT_FALSE(f->ReadOnly()) << f->FieldName();
}

TEST_F(SmartQueryOnStandin, KeyFieldsFindTheTableOfTheFromList) {
  session.Connect();
  q.SetKeyFields(" EMPNO ");
  EXPECT_EQ(q.KeyFields(), "EMPNO");
  const size_t mark = trace.Mark();
  SetText("select e.empno, e.ename, 1 one from emp e order by 1");
  q.Open();
  EXPECT_TRUE(q.UpdatingFields());
  EXPECT_EQ(q.UpdatingTableName(), "emp");
  EXPECT_EQ(q.UpdatingTableAlias(), "e");
  EXPECT_FALSE(q.FieldByName("EMPNO")->ReadOnly());
  EXPECT_FALSE(q.FieldByName("ENAME")->ReadOnly());
  EXPECT_TRUE(q.FieldByName("ONE")->ReadOnly());
  const auto lines = trace.Since(mark);
  EXPECT_TRUE(Trace::Has(lines, "\"SELECT * FROM emp\"")) << Trace::Joined(lines);
  EXPECT_TRUE(Trace::Has(lines, "OCI_DESCRIBE_ONLY")) << Trace::Joined(lines);

  // Between non-empty lists the key may change while open; to or from empty it may not.
  q.SetKeyFields("EMPNO;ENAME");
  EXPECT_EQ(q.KeyFieldNames(), (std::vector<std::string>{"EMPNO", "ENAME"}));
  EXPECT_EQ(testsupport::MessageOf([&] { q.SetKeyFields(""); }),
            "SmartQuery1: Cannot perform this operation on an open dataset");
  q.Close();
  q.SetKeyFields("NOSUCH");
  EXPECT_EQ(testsupport::MessageOf([&] { q.Open(); }), "SmartQuery1: Key field 'NOSUCH' not found");
  EXPECT_FALSE(q.Active());
}

TEST_F(SmartQueryOnStandin, WithoutAFromTableKeyFieldsNeedAReadOnlyQuery) {
  q.SetKeyFields("EMPNO");
  SetText("select * from (select empno from emp)");
  EXPECT_EQ(testsupport::MessageOf([&] { q.Open(); }), "Updating table is not defined");
  EXPECT_FALSE(q.Active());
  q.SetReadOnly(true);
  q.Open();
  EXPECT_FALSE(q.UpdatingFields());
  EXPECT_EQ(q.FieldByName("EMPNO")->AsInteger(), 7369);
}

TEST_F(SmartQueryOnStandin, AColumnNamedRowidMakesTheQueryLookForItsTable) {
  SetText("select empno \"ROWID\", ename from emp order by 1");
  q.Open();
  EXPECT_TRUE(q.UpdatingFields());
  EXPECT_EQ(q.UpdatingTableName(), "emp");
  ASSERT_NE(q.RowIdField(), nullptr);
  EXPECT_FALSE(q.RowIdField()->Visible());
  EXPECT_TRUE(q.RowIdField()->ReadOnly());  // not a column of EMP
  EXPECT_FALSE(q.FieldByName("ENAME")->ReadOnly());
  EXPECT_TRUE(q.FieldByName("ENAME")->Visible());
}

}  // namespace
}  // namespace tarnwick::dataset_test
