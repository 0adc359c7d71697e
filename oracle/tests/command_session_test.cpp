// A session with its defaults and a command on its connection, against the stand-in's demo
// server: the exporter's two ALTER SESSION statements, and a fatal error raised by the command
// that disconnects the session before the caller sees it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OraSession.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick {
namespace {

using ::testing::Property;
using ::testing::Throws;

class CommandOnSession : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testsupport::DemoServer()))
        << "the stand-in client and its demo server must be built";
    trace = testsupport::Trace(dir.Path() / "trace.txt");
    testsupport::UseStandinClient();
    traceVar.emplace("STANDIN_TRACE", trace.Path().string());
    serversVar.emplace("STANDIN_SERVERS", testsupport::MakeDataFolder(dir.Path()).string());
    session.SetUsername("demo");
    session.SetPassword("demo");
    session.SetServer("demo");
  }
  void TearDown() override {
    try {
      command.SetConnection(nullptr);
    } catch (...) {
    }
    session.OnError = nullptr;
    try {
      session.Disconnect();
    } catch (...) {
    }
    traceVar.reset();
    faultVar.reset();
    serversVar.reset();
    FreeOCI();
  }
  std::vector<std::string> Trace() { return trace.Lines(); }
  // The function names of the trace lines from `mark` on.
  std::vector<std::string> CallsSince(size_t mark) { return trace.CallsSince(mark); }

  testsupport::ScratchDir dir{"cmdsession"};
  testsupport::Trace trace;
  TOraSession session{"OraSession1"};
  TOCICommand command;
  std::optional<testsupport::ScopedEnvVar> traceVar, faultVar, serversVar;
};

TEST_F(CommandOnSession, ExporterStatementsAfterConnecting) {
  session.Connect();
  ASSERT_TRUE(session.GetConnected());
  command.SetConnection(session.GetIConnection());
  const std::vector<std::string> road = {
      "OCIHandleAlloc", "OCIAttrSet", "OCIAttrSet", "OCIStmtPrepare", "OCIAttrGet",
      "OCIStmtExecute", "OCIAttrGet", "OCIAttrGet", "OCIAttrGet",     "OCIHandleFree"};
  for (const char* sql : {"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'",
                          "ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '"}) {
    command.SetSQL(sql);
    const size_t mark = Trace().size();
    command.Execute(1);
    EXPECT_EQ(CallsSince(mark), road) << sql;
    const auto lines = Trace();
    bool committed = false;
    for (size_t i = mark; i < lines.size(); ++i)
      committed = committed || lines[i].find(
                                   ", 1, 0, NULL, NULL, OCI_COMMIT_ON_SUCCESS) = "
                                   "OCI_SUCCESS") != std::string::npos;
    EXPECT_TRUE(committed) << "the session's AutoCommit reaches the execution";
    EXPECT_EQ(command.GetCursorState(), csInactive);
  }
  session.Disconnect();
  EXPECT_FALSE(session.GetConnected());
}

TEST_F(CommandOnSession, FatalErrorOfACommandDisconnectsTheSessionFirst) {
  faultVar.emplace("STANDIN_FAULT_CALL", "OCIStmtExecute:1:3113");
  session.Connect();
  command.SetConnection(session.GetIConnection());
  std::vector<std::pair<int32_t, bool>> seen;
  session.OnError = [&](TOraSession& s, EDAError& e, bool&) {
    seen.emplace_back(e.ErrorCode(), s.GetConnected());
  };
  std::vector<bool> executed;
  command.AfterExecuteHook = [&](bool success) { executed.push_back(success); };
  command.SetSQL("ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'");
  ASSERT_THAT([&] { command.Execute(1); }, Throws<EOraError>(Property(&EOraError::ErrorCode, 3113)))
      << "ORA-03113 must be raised";
  EXPECT_FALSE(session.GetConnected()) << "disconnected before the caller sees the error";
  // (Errors of the disconnect itself may reach OnError before, and are swallowed.)
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), std::make_pair(int32_t{3113}, false));
  EXPECT_EQ(executed, std::vector<bool>{false});
  EXPECT_EQ(command.GetCursorState(), csInactive);
  EXPECT_EQ(command.GetCursor()->StmtHandle(), nullptr);
  ASSERT_THAT([&] { command.Execute(1); },
              Throws<Exception>(Property(&Exception::Message, "Session is not connected")));
}

}  // namespace
}  // namespace tarnwick
