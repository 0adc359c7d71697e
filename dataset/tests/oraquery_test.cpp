// The Oracle query components without a server: what construction leaves in the dataset, its
// record set and command, the options and their setters, the Oracle field types, the facilities
// this build refuses, and the statement texts the scanner reads.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dataset/OraSmart.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick {
namespace {

// Exposes the field-type mapping of the Oracle datasets.
class MappingQuery : public TSmartQuery {
 public:
  using TOraDataSet::GetFieldType;
  using TSmartQuery::TSmartQuery;
};

TEST(OraQuery, ConstructionPushesTheDefaultsIntoRecordSetAndCommand) {
  TSmartQuery q("SmartQuery1");
  EXPECT_FALSE(q.Active());
  EXPECT_TRUE(q.Bof());
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(q.Session(), nullptr);
  EXPECT_EQ(q.SQL().Count(), 0);
  EXPECT_EQ(q.FetchRows(), 25);
  EXPECT_FALSE(q.FetchAll());
  EXPECT_FALSE(q.UniDirectional());
  EXPECT_TRUE(q.AutoCommit());
  EXPECT_FALSE(q.ReadOnly());
  EXPECT_EQ(q.RowsAffected(), -1);
  EXPECT_EQ(q.RefreshOptions(), 0);
  EXPECT_EQ(q.LockMode(), TLockMode::lmNone);  // this build takes no row locks
  EXPECT_EQ(q.CheckMode(), TCheckMode::cmNone);
  EXPECT_EQ(q.SequenceMode(), TSequenceMode::smPost);
  EXPECT_EQ(q.KeyFields(), "");
  EXPECT_TRUE(q.LocalConstraints());

  // What the record set and its store and command received.
  const TOCIRecordSet& rs = q.OCIRecordSet();
  EXPECT_EQ(rs.FetchRows(), 25);
  EXPECT_FALSE(rs.FetchAllFlag());
  EXPECT_FALSE(rs.UniDirectional());
  EXPECT_TRUE(rs.LongStrings());
  EXPECT_FALSE(rs.FlatBuffers());  // the record set's own default is true
  EXPECT_TRUE(rs.TrimFixedChar);
  EXPECT_FALSE(rs.AutoClose());
  EXPECT_TRUE(q.OCICommand().GetAutoCommit());
  EXPECT_FALSE(q.OCICommand().NonBlocking());
  EXPECT_EQ(q.Statement().Command(), rs.GetCommand());

  const TSmartQueryOptions& o = q.Options();
  EXPECT_TRUE(o.RequiredFields());
  EXPECT_TRUE(o.StrictUpdate());
  EXPECT_FALSE(o.NumberRange());
  EXPECT_FALSE(o.QueryRecCount());
  EXPECT_FALSE(o.ReturnParams());
  EXPECT_TRUE(o.TrimFixedChar());
  EXPECT_TRUE(o.LongStrings());
  EXPECT_FALSE(o.FlatBuffers());
  EXPECT_TRUE(o.RemoveOnRefresh());
  EXPECT_FALSE(o.QuoteNames());
  EXPECT_FALSE(o.KeepPrepared());
  EXPECT_FALSE(o.AutoClose());
  EXPECT_FALSE(o.FieldsOrigin());
  EXPECT_FALSE(o.DefaultValues());
  EXPECT_FALSE(o.FieldsAsString());
  EXPECT_FALSE(o.DeferredLobRead());
  EXPECT_TRUE(o.CacheLobs());
  EXPECT_FALSE(o.ScrollableCursor());
  EXPECT_FALSE(o.RawAsString());
}

TEST(OraQuery, SettersActOnTheRecordSetAtOnce) {
  TSmartQuery q("SmartQuery1");
  q.Options().SetLongStrings(false);
  EXPECT_FALSE(q.OCIRecordSet().LongStrings());
  q.Options().SetFlatBuffers(true);
  EXPECT_TRUE(q.OCIRecordSet().FlatBuffers());
  q.Options().SetTrimFixedChar(false);
  EXPECT_FALSE(q.OCIRecordSet().TrimFixedChar);
  q.Options().SetAutoClose(true);
  EXPECT_TRUE(q.OCIRecordSet().AutoClose());
  q.Options().SetRequiredFields(false);
  EXPECT_FALSE(q.LocalConstraints());
  q.SetAutoCommit(false);
  EXPECT_FALSE(q.OCICommand().GetAutoCommit());
  q.SetFetchRows(7);
  EXPECT_EQ(q.OCIRecordSet().FetchRows(), 7);

  // UniDirectional and FetchAll exclude each other.
  q.SetFetchAll(true);
  EXPECT_TRUE(q.OCIRecordSet().FetchAllFlag());
  q.SetUniDirectional(true);
  EXPECT_FALSE(q.FetchAll());
  EXPECT_FALSE(q.OCIRecordSet().FetchAllFlag());
  EXPECT_TRUE(q.OCIRecordSet().UniDirectional());
  q.SetFetchAll(true);
  EXPECT_FALSE(q.UniDirectional());
  EXPECT_FALSE(q.OCIRecordSet().UniDirectional());
}

TEST(OraQuery, FacilitiesThisBuildLacksSaySoWhenSwitchedOn) {
  TSmartQuery q("SmartQuery1");
  TSmartQuery master("Master");
  const struct {
    const char* what;
    std::function<void()> use;
    const char* error;
  } cases[] = {
      {"Debug", [&] { q.SetDebug(true); }, "SQL monitoring"},
      {"NonBlocking", [&] { q.SetNonBlocking(true); }, "Non-blocking execution"},
      {"FilterSQL", [&] { q.SetFilterSQL(" deptno = 10 "); }, "FilterSQL"},
      {"MasterSource", [&] { q.SetMasterSource(&master); }, "Master-detail links"},
      {"NumberRange", [&] { q.Options().SetNumberRange(true); }, "The option NumberRange"},
      {"FieldsOrigin", [&] { q.Options().SetFieldsOrigin(true); }, "The option FieldsOrigin"},
      {"DefaultValues", [&] { q.Options().SetDefaultValues(true); }, "The option DefaultValues"},
      {"Expand", [&] { q.SetExpand(true); }, "Expanding to all columns of the updating table"},
      {"SmartRefresh", [&] { q.SetSmartRefresh(true); }, "Server-event refresh"},
      {"DMLRefresh", [&] { q.SetDMLRefresh(true); }, "Refresh after DML"},
      {"FullRefresh", [&] { q.SetFullRefresh(true); }, "Full refresh"},
      {"CachedUpdates", [&] { q.SetCachedUpdates(true); }, "Cached updates"},
      {"Lock", [&] { q.Lock(); }, "Row locks"},
      {"StrictUpdate", [&] { q.Options().SetStrictUpdate(false); },
       "The option StrictUpdate = False"},
      {"ReturnParams", [&] { q.Options().SetReturnParams(true); }, "The option ReturnParams"},
      {"RemoveOnRefresh", [&] { q.Options().SetRemoveOnRefresh(false); },
       "The option RemoveOnRefresh = False"},
      {"smInsert", [&] { q.SetSequenceMode(TSequenceMode::smInsert); },
       "The option SequenceMode = smInsert"},
      {"lmLockImmediate", [&] { q.SetLockMode(TLockMode::lmLockImmediate); },
       "Row locks (LockMode = lmLockImmediate)"},
      {"lmLockDelayed", [&] { q.SetLockMode(TLockMode::lmLockDelayed); },
       "Row locks (LockMode = lmLockDelayed)"},
      {"cmException", [&] { q.SetCheckMode(TCheckMode::cmException); },
       "Record checks (CheckMode = cmException)"},
      {"cmRefresh", [&] { q.SetCheckMode(TCheckMode::cmRefresh); },
       "Record checks (CheckMode = cmRefresh)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(testsupport::MessageOf(c.use),
              std::string("SmartQuery1: ") + c.error + " is not available in this build")
        << c.what;
  // Switching them off is what they are: nothing to do.
  q.SetDebug(false);
  q.SetFilterSQL("  ");
  q.SetExpand(false);
  q.SetMasterSource(nullptr);
  EXPECT_FALSE(q.Debug());
  EXPECT_EQ(q.FilterSQL(), "");
}

TEST(OraQuery, EditingOptionsAcceptTheValuesThatAskForNothing) {
  TSmartQuery q("SmartQuery1");
  TOraQuery plain("OraQuery1");
  for (TOraDataSet* ds : {static_cast<TOraDataSet*>(&q), static_cast<TOraDataSet*>(&plain)}) {
    EXPECT_EQ(testsupport::MessageOf([&] {
                ds->SetLockMode(TLockMode::lmNone);
                ds->SetCheckMode(TCheckMode::cmNone);
                ds->SetSequenceMode(TSequenceMode::smPost);
                ds->Options().SetStrictUpdate(true);
                ds->Options().SetReturnParams(false);
                ds->Options().SetRemoveOnRefresh(true);
              }),
              "<no error>")
        << ds->Name();
  }
}

TEST(OraQuery, OpeningOrExecutingWithoutAnyConnectionIsAnError) {
  const bool saved = UseDefSession;
  UseDefSession = false;
  TSmartQuery q("SmartQuery1");
  q.SQL().Add("select * from dept");
  EXPECT_EQ(testsupport::MessageOf([&] { q.Open(); }), "Connection is not defined.");
  EXPECT_EQ(testsupport::MessageOf([&] { q.ExecSQL(); }), "Connection is not defined.");
  EXPECT_EQ(testsupport::MessageOf([&] { q.Prepare(); }), "Connection is not defined.");
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(testsupport::MessageOf([&] { (void)q.GetIsPLSQL(); }), "DataSet is not prepared.");
  UseDefSession = saved;
}

TEST(OraQuery, ASessionThatGoesAwayLetsItsQueriesGo) {
  TSmartQuery q("SmartQuery1");
  TOraSQL sql;
  {
    TOraSession session("Other");
    q.SetSession(&session);
    sql.SetSession(&session);
    EXPECT_EQ(q.Session(), &session);
    EXPECT_EQ(session.GetDataSetCount(), 2);
  }
  EXPECT_EQ(q.Session(), nullptr);
  EXPECT_EQ(sql.Session(), nullptr);
  EXPECT_EQ(q.OCIRecordSet().GetOCIConnection(), nullptr);
}

TEST(OraQuery, AStatementComponentOfADatasetTakesNoSessionOfItsOwn) {
  TSmartQuery q("SmartQuery1");
  auto* own = dynamic_cast<TOraSQL*>(&q.Statement());
  ASSERT_NE(own, nullptr);
  TOraSession session("Other");
  EXPECT_EQ(testsupport::MessageOf([&] { own->SetSession(&session); }),
            "The session of a dataset's own statement is not available in this build");
  TCustomDASQL plain(nullptr);
  plain.SQL().Add("select 1 from dual");
  EXPECT_EQ(testsupport::MessageOf([&] { plain.Execute(); }),
            "A statement component without a dataset or a session is not available in this "
            "build");
}

TEST(OraQuery, OracleDataTypeCodesHaveTheirFieldTypes) {
  MappingQuery q("Q");
  const struct {
    uint16_t code;
    TFieldType type;
  } cases[] = {
      {dcString, ftString},
      {dcExtString, ftString},
      {dcInteger, ftInteger},
      {dcFloat, ftFloat},
      {dcDateTime, ftDateTime},
      {dcMemo, ftMemo},
      {dcVarBytes, ftVarBytes},
      {dcExtVarBytes, ftVarBytes},
      {dcWideString, ftWideString},
      {dcCursor, ftCursor},
      {dcOraBlob, ftOraBlob},
      {dcOraClob, ftOraClob},
      {dcBFile, ftOraBFile},
      {dcLabel, ftOraLabel},
      {dcFixedChar, ftFixedChar},
      {dcUndefined, ftUnknown},
      {dcTimeStamp, ftOraTimeStamp},
      {dcTimeStampTZ, ftOraTimeStampTZ},
      {dcTimeStampLTZ, ftOraTimeStampLTZ},
      {dcIntervalYM, ftOraIntervalYM},
      {dcIntervalDS, ftOraIntervalDS},
      {dcNumber, ftOraNumber},
      {dcXML, ftOraXML},
      {dcFixedWideChar, ftOraFixedWideChar},
  };
  for (const auto& c : cases) EXPECT_EQ(q.GetFieldType(c.code), c.type) << c.code;
  EXPECT_EQ(testsupport::MessageOf([&] { q.GetFieldType(dcCFile); }), "Unknown data type.");
}

// ---- Statement texts read with the Oracle scanner ----

TEST(OraText, TheOrderByClauseOutsideParenthesesIsRemoved) {
  const struct {
    const char* sql;
    const char* without;
  } cases[] = {
      {"select * from emp order by 1", "select * from emp"},
      {"select * from emp\r\n  ORDER  BY ename, 2", "select * from emp"},
      {"select * from (select * from emp order by 2) order by 1",
       "select * from (select * from emp order by 2)"},
      {"select * from (select * from emp order by 2)",
       "select * from (select * from emp order by 2)"},
      {"select 'order by' x from dual", "select 'order by' x from dual"},
      {"select \"ORDER\" from t -- order by 1", "select \"ORDER\" from t -- order by 1"},
  };
  for (const auto& c : cases) EXPECT_EQ(OraText::DeleteOrderBy(c.sql), c.without) << c.sql;
}

TEST(OraText, TheFirstTableOfTheFromListAndItsAlias) {
  const struct {
    const char* sql;
    bool found;
    const char* table;
    const char* alias;
  } cases[] = {
      {"select * from emp", true, "emp", ""},
      {"select e.* from emp e, dept d where 1 = 1", true, "emp", "e"},
      {"select * from demo.emp x order by 1", true, "demo.emp", "x"},
      {"select (select max(n) from t2) m from t1 where n > 0", true, "t1", ""},
      {"select * from (select * from emp)", false, "", ""},
      {"select 1", false, "", ""},
  };
  for (const auto& c : cases) {
    std::string table, alias;
    EXPECT_EQ(OraText::FirstTable(c.sql, table, alias), c.found) << c.sql;
    EXPECT_EQ(table, c.table) << c.sql;
    EXPECT_EQ(alias, c.alias) << c.sql;
  }
  EXPECT_TRUE(OraText::IsSelect("  select 1 from dual"));
  EXPECT_TRUE(OraText::IsSelect("(select 1 from dual)"));
  EXPECT_FALSE(OraText::IsSelect("ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'"));
  EXPECT_FALSE(OraText::IsSelect("update emp set sal = 0"));
}

TEST(OraText, TheUnitACreateStatementCompiles) {
  const struct {
    const char* sql;
    const char* type;
    const char* name;
  } cases[] = {
      {"create procedure p is begin null; end;", "PROCEDURE", "P"},
      {"CREATE OR REPLACE FUNCTION demo.f return number is begin return 1; end;", "FUNCTION", "F"},
      {"create or replace package body Pkg as end;", "PACKAGE BODY", "PKG"},
      {"create package \"MixedCase\" as end;", "PACKAGE", "MixedCase"},
      {"create trigger trg before insert on emp begin null; end;", "TRIGGER", "TRG"},
      {"create type body t as end;", "TYPE BODY", "T"},
  };
  for (const auto& c : cases) {
    std::string type, name;
    ASSERT_TRUE(OraText::CompiledUnit(c.sql, type, name)) << c.sql;
    EXPECT_EQ(type, c.type) << c.sql;
    EXPECT_EQ(name, c.name) << c.sql;
  }
  std::string type, name;
  EXPECT_FALSE(OraText::CompiledUnit("create table t (n number)", type, name));
  EXPECT_FALSE(OraText::CompiledUnit("ALTER SESSION SET NLS_DATE_FORMAT='YYYY'", type, name));
}

}  // namespace
}  // namespace tarnwick
