// The command against the stand-in client, loaded through the real discovery and loading path,
// checked call for call with the client's trace: the exporter's road for its ALTER SESSION
// statements, statement kinds and row counts, modes, line breaks and errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraError.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick {
namespace {

using ::testing::AllOf;
using ::testing::Property;
using ::testing::StartsWith;
using ::testing::Throws;

using testsupport::ScopedEnvVar;
using testsupport::Trace;

class CommandOnStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testsupport::DemoServer()))
        << "the stand-in client and its demo server must be built";
    // Statements here change data: they run on a copy of the demo server.
    server = testsupport::CopyDemoServer(dir.Path());
    trace = Trace(dir.Path() / "trace.txt");

    testsupport::UseStandinClient();
    traceVar.emplace("STANDIN_TRACE", trace.Path().string());
    if (!fault.empty()) faultVar.emplace("STANDIN_FAULT_CALL", fault);
    if (!version.empty()) versionVar.emplace("STANDIN_FAULT_VERSION", version);

    connection.SetUsername("demo");
    connection.SetPassword("demo");
    connection.SetServer(server.string());
    connection.SetProp(prAutoCommit, true);  // as the session sets it
    connection.OnError = [this](EDAError& e, bool& fail) {
      hookCodes.push_back(e.ErrorCode());
      fail = !clearFail;
    };
    connection.Connect("");
    command.SetConnection(&connection);
  }

  void TearDown() override {
    try {
      command.SetConnection(nullptr);
    } catch (...) {
    }
    try {
      connection.Disconnect();
    } catch (...) {
    }
    traceVar.reset();
    faultVar.reset();
    versionVar.reset();
    FreeOCI();
  }

  std::vector<std::string> TraceSince(size_t mark) { return trace.Since(mark); }
  size_t Mark() { return trace.Mark(); }
  static std::string Joined(const std::vector<std::string>& lines) { return Trace::Joined(lines); }
  static bool Has(const std::vector<std::string>& lines, const std::string& piece) {
    return Trace::Has(lines, piece);
  }
  int32_t Prop(int code) {
    TPropValue v;
    command.GetProp(code, v);
    return std::get<int32_t>(v);
  }
  // Runs a statement through a second command, for setting up data.
  void Run(const std::string& sql) {
    TOCICommand other;
    other.SetConnection(&connection);
    other.SetSQL(sql);
    other.Execute(1);
  }

  std::string fault;    // STANDIN_FAULT_CALL for the test, set before SetUp
  std::string version;  // STANDIN_FAULT_VERSION, the server release the stand-in reports
  bool clearFail = false;
  std::vector<int32_t> hookCodes;
  testsupport::ScratchDir dir{"command"};
  std::filesystem::path server;
  Trace trace;
  TOCIConnection connection;
  TOCICommand command;
  std::optional<ScopedEnvVar> traceVar, faultVar, versionVar;
};

TEST_F(CommandOnStandin, ExporterRoadForAlterSession) {
  const std::string sql = "ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'";
  std::vector<bool> hook;
  command.AfterExecuteHook = [&](bool success) { hook.push_back(success); };
  command.SetSQL(sql);
  EXPECT_TRUE(command.Params().empty());
  const size_t mark = Mark();
  command.Execute(1);
  const auto lines = TraceSince(mark);
  const std::vector<std::string> expected = {
      "OCIHandleAlloc(env#1, &stmt#1, OCI_HTYPE_STMT, 0, NULL) = OCI_SUCCESS",
      "OCIAttrSet(stmt#1, OCI_HTYPE_STMT, &0, 0, OCI_ATTR_PREFETCH_ROWS, err#1) = OCI_SUCCESS",
      "OCIAttrSet(stmt#1, OCI_HTYPE_STMT, &0, 0, OCI_ATTR_PREFETCH_MEMORY, err#1) = OCI_SUCCESS",
      "OCIStmtPrepare(stmt#1, err#1, \"" + sql +
          "\", 45, OCI_NTV_SYNTAX, OCI_DEFAULT) = OCI_SUCCESS",
      "OCIAttrGet(stmt#1, OCI_HTYPE_STMT, &7, NULL, OCI_ATTR_STMT_TYPE, err#1) = OCI_SUCCESS",
      "OCIStmtExecute(svcctx#1, stmt#1, err#1, 1, 0, NULL, NULL, OCI_COMMIT_ON_SUCCESS) = "
      "OCI_SUCCESS",
      "OCIAttrGet(stmt#1, OCI_HTYPE_STMT, &52, NULL, OCI_ATTR_SQLFNCODE, err#1) = OCI_SUCCESS",
      "OCIAttrGet(stmt#1, OCI_HTYPE_STMT, &0, NULL, OCI_ATTR_ROW_COUNT, err#1) = OCI_SUCCESS",
      "OCIAttrGet(stmt#1, OCI_HTYPE_STMT, &0, NULL, OCI_ATTR_PARSE_ERROR_OFFSET, err#1) = "
      "OCI_SUCCESS",
      "OCIHandleFree(stmt#1, OCI_HTYPE_STMT) = OCI_SUCCESS",
  };
  EXPECT_EQ(lines, expected) << Joined(lines);
  EXPECT_EQ(command.GetCursorState(), csInactive);
  EXPECT_EQ(command.GetCursor()->StmtHandle(), nullptr);
  EXPECT_EQ(command.SQLType(), 52);
  EXPECT_EQ(Prop(prRowsProcessed), 0);
  EXPECT_EQ(hook, std::vector<bool>{true});
  EXPECT_FALSE(command.Executing());
  EXPECT_FALSE(Has(lines, "OCITransCommit")) << "committed by the execute call itself";

  // The second statement of the road takes the same calls.
  command.SetSQL("ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '");
  const size_t second = Mark();
  command.Execute(1);
  const auto again = TraceSince(second);
  ASSERT_EQ(again.size(), expected.size()) << Joined(again);
  EXPECT_TRUE(Has(again, "OCI_COMMIT_ON_SUCCESS"));
  EXPECT_TRUE(Has(again, "OCIHandleFree(stmt#"));
}

TEST_F(CommandOnStandin, QueryPreparedByTheCallerKeepsItsStatement) {
  command.SetSQL("select * from DEPT order by 1\r\n");
  const size_t mark = Mark();
  command.Prepare();
  EXPECT_EQ(command.SQLType(), SQL_SELECT);
  EXPECT_TRUE(command.RowsReturn());
  EXPECT_EQ(command.GetCursorState(), csPrepared);
  command.Execute(1);
  EXPECT_EQ(command.GetCursorState(), csExecuted);
  EXPECT_TRUE(command.GetCursor()->CanFetch());
  ASSERT_NE(command.GetCursor()->StmtHandle(), nullptr);
  const auto lines = TraceSince(mark);
  EXPECT_TRUE(Has(lines, "OCIStmtPrepare(stmt#1, err#1, \"select * from DEPT order by 1\", 30,"))
      << "the trailing line break is not sent\n"
      << Joined(lines);
  EXPECT_TRUE(Has(lines, "OCIStmtExecute(svcctx#1, stmt#1, err#1, 0, 0, NULL, NULL, OCI_DEFAULT)"))
      << "a query runs with 0 iterations and no commit\n"
      << Joined(lines);
  EXPECT_FALSE(Has(lines, "OCI_ATTR_SQLFNCODE")) << "the kind is already known";
  EXPECT_FALSE(Has(lines, "OCIHandleFree"));
  const size_t finish = Mark();
  command.Finish();
  EXPECT_EQ(TraceSince(finish),
            std::vector<std::string>{"OCIHandleFree(stmt#1, OCI_HTYPE_STMT) = OCI_SUCCESS"});
  EXPECT_EQ(command.GetCursorState(), csInactive);
}

TEST_F(CommandOnStandin, ScrollableQueryMode) {
  command.SetProp(prScrollableCursor, true);
  command.SetSQL("select * from DEPT");
  command.Prepare();
  const size_t mark = Mark();
  // The stand-in has no scrollable cursors and refuses the mode.
  ASSERT_THAT([&] { command.Execute(1); },
              Throws<EOraError>(Property(&EOraError::ErrorCode, 24300)));
  EXPECT_TRUE(Has(TraceSince(mark), ", 0, 0, NULL, NULL, OCI_STMT_SCROLLABLE_READONLY)"))
      << Joined(TraceSince(mark));
  EXPECT_EQ(command.GetCursorState(), csBound);
  command.Finish();
}

struct KindCase {
  const char* sql;
  uint16_t sqlType;
  int32_t rows;
};

TEST_F(CommandOnStandin, StatementKindsAndRowsProcessed) {
  const std::vector<KindCase> cases = {
      {"insert into DEPT values (50, 'Склад', 'Тверь')", SQL_INSERT, 1},
      {"update EMP set SAL = SAL + 1 where DEPTNO = 30", SQL_UPDATE, 6},
      {"update EMP set SAL = 0 where DEPTNO = 99", SQL_UPDATE, 0},
      {"delete from EMP where DEPTNO = 10", SQL_DELETE, 3},
      {"create table T1 (A NUMBER(5))", 1, 0},  // the kind comes from the SQL function code
      {"drop table T1", 8, 0},
  };
  for (const auto& c : cases) {
    command.SetSQL(c.sql);
    command.Execute(1);
    EXPECT_EQ(command.SQLType(), c.sqlType) << c.sql;
    EXPECT_EQ(Prop(prSQLType), c.sqlType) << c.sql;
    EXPECT_EQ(Prop(prRowsProcessed), c.rows) << c.sql;
    EXPECT_EQ(command.GetCursorState(), csInactive) << c.sql;
  }
  // RowsProcessed reported by fetching wins over the execution's count.
  command.SetRowsProcessed(7);
  EXPECT_EQ(Prop(prRowsProcessed), 7);
}

TEST_F(CommandOnStandin, AutoCommitFlagsChooseTheMode) {
  struct Case {
    bool command, connection;
    const char* mode;
  };
  const std::vector<Case> cases = {{true, true, "OCI_COMMIT_ON_SUCCESS"},
                                   {false, true, "OCI_DEFAULT"},
                                   {true, false, "OCI_DEFAULT"},
                                   {false, false, "OCI_DEFAULT"}};
  for (const auto& c : cases) {
    command.SetProp(prAutoCommit, c.command);
    connection.SetProp(prAutoCommit, c.connection);
    command.SetSQL(std::string("update DEPT set LOC = 'x' where DEPTNO = 40 -- ") +
                   (c.command ? "a" : "b") + (c.connection ? "a" : "b"));
    const size_t mark = Mark();
    command.Execute(1);
    const auto lines = TraceSince(mark);
    EXPECT_TRUE(Has(lines, std::string("NULL, NULL, ") + c.mode + ")")) << Joined(lines);
    EXPECT_FALSE(Has(lines, "OCITransCommit")) << Joined(lines);
  }
}

TEST_F(CommandOnStandin, LineBreaksAreSentAsLineFeedsOutsideLiterals) {
  command.SetSQL("update DEPT\r\nset LOC = 'a\r\nb'\rwhere DEPTNO = 40\r\n\t ");
  const size_t mark = Mark();
  command.Execute(1);
  EXPECT_TRUE(Has(TraceSince(mark),
                  "\"update DEPT\\nset LOC = 'a\\r\\nb'\\nwhere DEPTNO = 40\", 47, OCI_NTV_SYNTAX"))
      << Joined(TraceSince(mark));
  EXPECT_EQ(command.StatementText(), "update DEPT\nset LOC = 'a\r\nb'\nwhere DEPTNO = 40");
}

TEST_F(CommandOnStandin, FailedExecutionOfAStatementItPreparedLeavesNoHandle) {
  std::vector<bool> hook;
  command.AfterExecuteHook = [&](bool success) { hook.push_back(success); };
  command.SetSQL("select * from NO_SUCH_TABLE");
  const size_t mark = Mark();
  ASSERT_THAT([&] { command.Execute(1); },
              Throws<EOraError>(AllOf(Property(&EOraError::ErrorCode, 942),
                                      Property(&EOraError::Message, StartsWith("ORA-00942")))));
  EXPECT_EQ(hook, std::vector<bool>{false});
  EXPECT_EQ(hookCodes, std::vector<int32_t>{942}) << "the connection's hook saw it first";
  EXPECT_EQ(connection.GetLastError(), 942);
  EXPECT_EQ(command.GetCursorState(), csInactive);
  EXPECT_EQ(command.GetCursor()->StmtHandle(), nullptr);
  const auto lines = TraceSince(mark);
  EXPECT_TRUE(Has(lines, "OCI_ATTR_PARSE_ERROR_OFFSET")) << Joined(lines);
  EXPECT_EQ(lines.back(), "OCIHandleFree(stmt#1, OCI_HTYPE_STMT) = OCI_SUCCESS");
  EXPECT_EQ(Prop(prErrorOffset), 14) << "the position of the table name";
}

TEST_F(CommandOnStandin, ErrorOffsetMapsBackThroughRemovedCarriageReturns) {
  command.SetSQL("select *\r\nfrom\r\n NO_SUCH_TABLE");
  command.Prepare();
  EXPECT_THROW(command.Execute(1), EOraError);
  EXPECT_EQ(command.GetCursorState(), csBound) << "back to the state before the execution";
  EXPECT_TRUE(command.GetPrepared()) << "the caller's statement stays prepared";
  EXPECT_EQ(command.ParseErrorOffset(), 15);
  EXPECT_EQ(Prop(prErrorOffset), 17);
  command.Finish();
}

TEST_F(CommandOnStandin, HookThatClearsFailTurnsTheErrorIntoAbort) {
  clearFail = true;
  command.SetSQL("select * from NO_SUCH_TABLE");
  EXPECT_THROW(command.Execute(1), EAbort);
  EXPECT_EQ(hookCodes, std::vector<int32_t>{942});
  EXPECT_EQ(command.GetCursorState(), csInactive);
}

TEST_F(CommandOnStandin, FinishTwiceRaises) {
  command.SetSQL("select * from DEPT");
  command.Prepare();
  command.Finish();
  ASSERT_THAT([&] { command.Finish(); },
              Throws<Exception>(Property(&Exception::Message, "Cursor must be opened")));
}

TEST_F(CommandOnStandin, PrepareOfAnActiveCommandDoesNothing) {
  command.SetSQL("select * from DEPT");
  command.Prepare();
  const size_t mark = Mark();
  command.Prepare();
  EXPECT_TRUE(TraceSince(mark).empty());
  command.Finish();
}

TEST_F(CommandOnStandin, ParametersNeedTheClientsBindCall) {
  // The stand-in offers no OCIBindByName: the bind raises rather than being skipped.
  command.SetSQL("select * from DEPT where DEPTNO = :d");
  ASSERT_EQ(command.Params().size(), 1u);
  command.GetParam(0)->Value = int32_t{10};
  ASSERT_THAT([&] { command.Execute(1); },
              Throws<Exception>(Property(&Exception::Message, "OCI function is not linked")));
  EXPECT_EQ(command.GetCursorState(), csInactive);
}

class CommandOnStandinFatal : public CommandOnStandin {
 protected:
  void SetUp() override {
    fault = "OCIStmtExecute:1:3113";
    CommandOnStandin::SetUp();
  }
};

TEST_F(CommandOnStandinFatal, InjectedErrorReachesTheHookAndTheCaller) {
  command.SetSQL("update DEPT set LOC = 'x' where DEPTNO = 40");
  ASSERT_THAT([&] { command.Execute(1); },
              Throws<EOraError>(Property(&EOraError::ErrorCode, 3113)));
  EXPECT_EQ(hookCodes, std::vector<int32_t>{3113});
  EXPECT_EQ(command.GetCursorState(), csInactive);
  EXPECT_EQ(command.GetCursor()->StmtHandle(), nullptr);
  // The stand-in has dropped the connection: the next execution is refused as well.
  ASSERT_THAT([&] { command.Execute(1); },
              Throws<EOraError>(Property(&EOraError::ErrorCode, 3114)));
  EXPECT_EQ(hookCodes, (std::vector<int32_t>{3113, 3114}));
}

TEST_F(CommandOnStandin, ExecutingCommandIsNotExecutedAgain) {
  command.SetSQL("select * from DEPT");
  command.Prepare();
  command.SetCursorState(csExecuting);
  const size_t mark = Mark();
  command.Execute(1);
  EXPECT_TRUE(TraceSince(mark).empty());
  EXPECT_FALSE(command.Executing());
  command.SetCursorState(csPrepared);
  command.Finish();
}

TEST_F(CommandOnStandin, BreakReachesTheClientOnlyWhileActive) {
  size_t mark = Mark();
  command.BreakExec();
  EXPECT_TRUE(TraceSince(mark).empty());
  command.SetSQL("select * from DEPT");
  command.Prepare();
  mark = Mark();
  command.HardBreak();
  const auto lines = TraceSince(mark);
  ASSERT_EQ(lines.size(), 1u) << Joined(lines);
  EXPECT_EQ(lines[0].rfind("OCIBreak(svcctx#1, err#1)", 0), 0u) << lines[0];
  command.Finish();
}

TEST_F(CommandOnStandin, Client816KeepsItsPrefetching) {
  const uint16_t saved = OCIVersion;
  OCIVersion = 8160;
  command.SetSQL("ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'");
  const size_t mark = Mark();
  command.Execute(1);
  OCIVersion = saved;
  const auto lines = TraceSince(mark);
  EXPECT_FALSE(Has(lines, "OCI_ATTR_PREFETCH")) << Joined(lines);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("OCIHandleAlloc(env#1, &stmt#", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("OCIStmtPrepare(", 0), 0u) << lines[1];
}

TEST_F(CommandOnStandin, RowIdNeedsTheClientsRowIdCalls) {
  command.SetProp(prFetchRowId, true);
  command.SetSQL("update DEPT set LOC = 'x' where DEPTNO = 40");
  ASSERT_THAT([&] { command.Execute(1); },
              Throws<Exception>(Property(&Exception::Message, "OCI function is not linked")));
  EXPECT_EQ(command.GetCursorState(), csInactive);
  EXPECT_EQ(command.GetRowId(), "");
}

// ---- Entry points swapped by name: calls that the stand-in does not offer ----

std::vector<std::string> g_calls;

struct FakeBind {
  std::string placeholder;
  ub2 dty;
  std::vector<char> value;  // the bytes the program handed over
  sb2 indicator;
  void* buffer;
  sb4 size;
  sb2* indp;
};
std::vector<FakeBind> g_binds;
// What the fake execution writes into output buffers: (placeholder, bytes, indicator).
std::vector<std::tuple<std::string, std::string, sb2>> g_outputs;

sword FakeBindByName(OCIStmt*, OCIBind** bindp, OCIError*, const OraText* placeholder, sb4 length,
                     void* valuep, sb4 size, ub2 dty, void* indp, ub2*, ub2*, ub4, ub4*, ub4) {
  FakeBind b;
  b.placeholder.assign(reinterpret_cast<const char*>(placeholder), static_cast<size_t>(length));
  b.dty = dty;
  b.value.assign(static_cast<char*>(valuep), static_cast<char*>(valuep) + size);
  b.indicator = *static_cast<sb2*>(indp);
  b.buffer = valuep;
  b.size = size;
  b.indp = static_cast<sb2*>(indp);
  g_binds.push_back(std::move(b));
  *bindp = reinterpret_cast<OCIBind*>(&g_binds);
  return OCI_SUCCESS;
}

sword FakeStmtExecute(OCISvcCtx*, OCIStmt*, OCIError*, ub4 iters, ub4, const OCISnapshot*,
                      OCISnapshot*, ub4 mode) {
  g_calls.push_back("execute " + std::to_string(iters) + " " + std::to_string(mode));
  for (const auto& [name, bytes, ind] : g_outputs) {
    for (auto& b : g_binds) {
      if (b.placeholder != name) continue;
      std::memcpy(b.buffer, bytes.data(), std::min<size_t>(bytes.size(), b.size));
      *b.indp = ind;
    }
  }
  return OCI_SUCCESS;
}

class CommandWithFakeBinds : public CommandOnStandin {
 protected:
  void SetUp() override {
    CommandOnStandin::SetUp();
    g_calls.clear();
    g_binds.clear();
    g_outputs.clear();
    OCIBindByName = &FakeBindByName;
    OCIStmtExecute = &FakeStmtExecute;
  }
};

TEST_F(CommandWithFakeBinds, InputParametersAreBoundByNameWithTheirTypes) {
  command.SetSQL("update DEPT set LOC = :loc, DNAME = :\"Q x\" where DEPTNO = :d and 1 = :f");
  ASSERT_EQ(command.Params().size(), 4u);
  command.GetParam(0)->Value = std::string("Тверь");
  command.GetParam(0)->ParamType = TParamDirection::pdInput;
  command.GetParam(1)->DataType = 1;  // a string parameter that is null, of unknown direction
  command.GetParam(2)->Value = int32_t{40};
  command.GetParam(3)->Value = 1.5;
  command.Execute(1);
  ASSERT_EQ(g_binds.size(), 4u);
  EXPECT_EQ(g_binds[0].placeholder, ":loc");
  EXPECT_EQ(g_binds[0].dty, SQLT_STR);
  EXPECT_EQ(std::string(g_binds[0].value.data()), "Тверь");
  EXPECT_EQ(g_binds[0].value.size(), std::string("Тверь").size() + 1);
  EXPECT_EQ(g_binds[0].indicator, 0);
  EXPECT_EQ(g_binds[1].placeholder, ":\"Q x\"");
  EXPECT_EQ(g_binds[1].indicator, -1);
  EXPECT_EQ(g_binds[1].size, 4001) << "a parameter of unknown direction may be written";
  EXPECT_EQ(g_binds[2].placeholder, ":d");
  EXPECT_EQ(g_binds[2].dty, SQLT_INT);
  ASSERT_EQ(g_binds[2].value.size(), sizeof(int32_t));
  int32_t d;
  std::memcpy(&d, g_binds[2].value.data(), sizeof d);
  EXPECT_EQ(d, 40);
  EXPECT_EQ(g_binds[3].dty, SQLT_FLT);
  double f;
  ASSERT_EQ(g_binds[3].value.size(), sizeof f);
  std::memcpy(&f, g_binds[3].value.data(), sizeof f);
  EXPECT_EQ(f, 1.5);
  EXPECT_EQ(g_calls, std::vector<std::string>{"execute 1 32"});
  EXPECT_EQ(std::get<std::string>(command.GetParam(0)->Value), "Тверь") << "inputs are not read";
}

TEST_F(CommandWithFakeBinds, OutputParametersAreReadBack) {
  command.SetSQL("update DEPT set LOC = 'x' where DEPTNO = :a returning LOC, DEPTNO into :o, :n");
  ASSERT_EQ(command.Params().size(), 3u);
  command.GetParam(0)->Value = int32_t{40};
  command.GetParam(0)->ParamType = TParamDirection::pdInput;
  TParamDesc* out = command.GetParam(1);
  out->ParamType = TParamDirection::pdOutput;
  out->DataType = 1;
  out->Size = 4;
  TParamDesc* num = command.GetParam(2);
  num->ParamType = TParamDirection::pdOutput;
  num->DataType = 4;
  num->Value = int32_t{5};
  g_outputs = {{":o", std::string("abcdefgh"), 0}, {":n", std::string(4, '\0'), -1}};
  command.Execute(1);
  ASSERT_EQ(g_binds.size(), 3u);
  EXPECT_EQ(g_binds[1].size, 5) << "Size bytes and the terminating NUL";
  EXPECT_EQ(std::get<std::string>(out->Value), "abcd") << "cut at the buffer's end";
  EXPECT_TRUE(num->IsNull());
}

TEST_F(CommandWithFakeBinds, UnsupportedParametersRaiseBeforeExecuting) {
  struct Case {
    uint16_t dataType;
    int iterations;
    std::string message;
  };
  const std::vector<Case> cases = {{102, 1, "Data type is not supported."},
                                   {8, 1, "Data type is not supported."},
                                   {1, 3, "Array parameters are not supported"}};
  for (const auto& c : cases) {
    command.SetSQL("update DEPT set LOC = :l where DEPTNO = 40 -- " + std::to_string(c.dataType) +
                   std::to_string(c.iterations));
    command.GetParam(0)->DataType = c.dataType;
    EXPECT_THAT([&] { command.Execute(c.iterations); },
                Throws<Exception>(Property(&Exception::Message, c.message)))
        << c.message;
    EXPECT_EQ(command.GetCursorState(), csInactive);
  }
  EXPECT_TRUE(g_calls.empty());
}

// The version-7 calls, used by the commands when the server is older than 8.0.
struct V7Cursor {
  std::string text;
  sb4 length = 0;
};
std::vector<std::string> g_v7;

sword FakeSvcCtxToLda(OCISvcCtx*, OCIError*, Lda_Def*) {
  return 0;
}
sword FakeOopen(Cda_Def*, Lda_Def* lda, OraText*, sword, sword, OraText*, sword) {
  g_v7.push_back(lda ? "oopen" : "oopen without logon");
  return 0;
}
sword FakeOparse(Cda_Def* cda, OraText* text, sb4 length, sword defflg, ub4 lngflg) {
  const std::string sql(reinterpret_cast<const char*>(text));
  g_v7.push_back("oparse \"" + sql + "\" " + std::to_string(length) + " " + std::to_string(defflg) +
                 " " + std::to_string(lngflg));
  if (sql.find("NO_SUCH") != std::string::npos) {
    cda->peo = 14;
    cda->rc = 942;
    return -942;
  }
  cda->ft = sql.rfind("select", 0) == 0 ? 4 : 5;
  cda->wrn = sql.find("warn") != std::string::npos ? 0x21 : 0;
  return 0;
}
// Bound outputs, filled by the next oexn: integers with 1, texts with "v7" and the name.
struct V7Bind {
  std::string name;
  ub1* value;
  sword size;
  sword type;
  sb2* indicator;
};
std::vector<V7Bind> g_v7Binds;
sword FakeObndrv(Cda_Def*, OraText* name, sword nameLength, ub1* value, sword size, sword type,
                 sword, sb2* indicator, OraText*, sword, sword) {
  const std::string n = nameLength < 0 ? std::string(reinterpret_cast<const char*>(name))
                                       : std::string(reinterpret_cast<const char*>(name),
                                                     static_cast<size_t>(nameLength));
  g_v7.push_back("obndrv " + n + " " + std::to_string(size) + " " + std::to_string(type));
  g_v7Binds.push_back({n, value, size, type, indicator});
  return 0;
}
sword FakeOexn(Cda_Def* cda, sword iters, sword rowoff) {
  for (const V7Bind& b : g_v7Binds) {
    *b.indicator = 0;
    if (b.type == SQLT_INT) {
      const int32_t one = 1;
      std::memcpy(b.value, &one, sizeof one);
    } else {
      std::snprintf(reinterpret_cast<char*>(b.value), static_cast<size_t>(b.size), "v7%s",
                    b.name.c_str());
    }
  }
  g_v7Binds.clear();
  g_v7.push_back("oexn " + std::to_string(iters) + " " + std::to_string(rowoff));
  cda->rpc = 2;
  return 0;
}
sword FakeOclose(Cda_Def*) {
  g_v7.push_back("oclose");
  return 0;
}
sword FakeOerhms(Lda_Def*, sb2 code, OraText* buffer, sword size) {
  const std::string text = "ORA-" + std::to_string(-code) + ": fake\n";
  std::snprintf(reinterpret_cast<char*>(buffer), static_cast<size_t>(size), "%s", text.c_str());
  return 0;
}

class CommandOnVersion7Server : public CommandOnStandin {
 protected:
  void SetUp() override {
    version = "7.3";
    CommandOnStandin::SetUp();
    g_v7.clear();
    OCISvcCtxToLda = &FakeSvcCtxToLda;
    oopen = &FakeOopen;
    oparse = &FakeOparse;
    oexn = &FakeOexn;
    oclose = &FakeOclose;
    obndrv = &FakeObndrv;
    g_v7Binds.clear();
    oerhms = &FakeOerhms;
  }
};

TEST_F(CommandOnVersion7Server, StatementRunsThroughTheVersion7Calls) {
  ASSERT_EQ(connection.GetOCICallStyleCommand(), TOCICallStyle::OCI73);
  command.SetSQL("update DEPT set LOC = 'x' where DEPTNO = 40\r\n");
  const size_t mark = Mark();
  command.Execute(1);
  EXPECT_EQ(g_v7, (std::vector<std::string>{
                      "oopen", "oparse \"update DEPT set LOC = 'x' where DEPTNO = 40\" 44 0 2",
                      "oexn 1 0", "oclose"}));
  EXPECT_EQ(command.SQLType(), SQL_UPDATE);
  EXPECT_EQ(Prop(prRowsProcessed), 2);
  EXPECT_EQ(command.GetCursorState(), csInactive);
  // No commit on success with these calls: the connection commits afterwards.
  EXPECT_TRUE(Has(TraceSince(mark), "OCITransCommit(")) << Joined(TraceSince(mark));
  EXPECT_FALSE(Has(TraceSince(mark), "OCIStmt")) << Joined(TraceSince(mark));
}

TEST_F(CommandOnVersion7Server, QueryKeepsItsIterationCountAndIsNotCommitted) {
  command.SetSQL("select * from DEPT");
  command.Prepare();
  EXPECT_EQ(command.SQLType(), SQL_SELECT);
  const size_t mark = Mark();
  command.Execute(3);
  EXPECT_EQ(g_v7.back(), "oexn 3 0");
  EXPECT_FALSE(Has(TraceSince(mark), "OCITransCommit("));
  EXPECT_EQ(command.GetCursorState(), csExecuted);
  command.Finish();
  EXPECT_EQ(g_v7.back(), "oclose");
}

TEST_F(CommandOnVersion7Server, ParseErrorClosesTheCursor) {
  command.SetSQL("select * from NO_SUCH_TABLE");
  ASSERT_THAT([&] { command.Prepare(); },
              Throws<EOraError>(AllOf(Property(&EOraError::ErrorCode, 942),
                                      Property(&EOraError::Message, "ORA-942: fake\n"))));
  EXPECT_EQ(g_v7.back(), "oclose");
  EXPECT_EQ(command.GetCursorState(), csInactive);
  EXPECT_FALSE(command.GetCursor()->HasHandle());
  EXPECT_EQ(Prop(prErrorOffset), 14);
  EXPECT_EQ(hookCodes, std::vector<int32_t>{942});
}

TEST_F(CommandOnVersion7Server, CompilationWarningIsRecorded) {
  command.SetSQL("update DEPT set LOC = 'warn' where DEPTNO = 40");
  command.Prepare();
  EXPECT_EQ(connection.GetLastError(), 24344);
  command.Finish();
}

// The connection's own statements run on its internal command, so they use the version-7
// calls too.
TEST_F(CommandOnVersion7Server, SessionSettingRunsThroughTheVersion7Calls) {
  connection.SetProp(prDateFormat, std::string("YYYYMMDD"));
  EXPECT_EQ(g_v7, (std::vector<std::string>{
                      "oopen", "oparse \"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'\" 45 0 2",
                      "oexn 1 0", "oclose"}));
  EXPECT_EQ(connection.CheckCommand().GetCursorState(), csInactive);
}

TEST_F(CommandOnVersion7Server, SessionParametersAreBoundWithTheVersion7Calls) {
  connection.SetProp(prCharLength, int32_t{0});
  ASSERT_EQ(g_v7.size(), 8u);
  EXPECT_EQ(g_v7[1].rfind("oparse \"declare  cursor NlsParamsCursor is", 0), 0u) << g_v7[1];
  EXPECT_EQ(g_v7[1].find("NLS_TIMESTAMP_FORMAT"), std::string::npos) << "no time stamps before 8.0";
  const std::vector<std::string> rest(g_v7.begin() + 2, g_v7.end());
  EXPECT_EQ(rest,
            (std::vector<std::string>{"obndrv :CharLength 4 3", "obndrv :NlsDateLanguage 42 5",
                                      "obndrv :NlsDateFormat 42 5",
                                      "obndrv :NlsNumericCharacters 42 5", "oexn 1 0", "oclose"}));
  EXPECT_EQ(connection.CharLength(), 1);
  EXPECT_EQ(connection.NlsParams()[0].Value, "v7:NlsDateLanguage");
  EXPECT_EQ(connection.NlsParams()[1].Value, "v7:NlsDateFormat");
  EXPECT_EQ(connection.NlsParams()[2].Value, "v7:NlsNumericCharacters");
}

}  // namespace
}  // namespace tarnwick
