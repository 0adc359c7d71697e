// Fault injection: failing calls, broken connections, warnings, row limits, delays and breaks.
#include <fstream>
#include <thread>

#include "standin/oci/tests/support/OciFixture.h"

namespace standin::test {
namespace {

class OciFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    server = (dir.path() / "srv").string();
    createServer(server);
    Connection c;
    ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS) << c.errorText();
    c.mustExec("create table t (a number(9))");
    for (int i = 1; i <= 60; ++i) c.mustExec("insert into t values (" + std::to_string(i) + ")");
    ASSERT_EQ(OCITransCommit(c.svc, c.err, OCI_DEFAULT), OCI_SUCCESS);
  }
  // Executes the query and defines a 25-row block of integers.
  OCIStmt* openQuery(Connection& c) {
    OCIStmt* s = c.prepare("select a from t order by 1");
    EXPECT_EQ(OCIStmtExecute(c.svc, s, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.errorText();
    OCIDefine* d = nullptr;
    EXPECT_EQ(OCIDefineByPos(s, &d, c.err, 1, block, sizeof(sb4), SQLT_INT, nullptr, nullptr,
                             nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    return s;
  }
  TempDir dir;
  std::string server;
  sb4 block[25] = {};
};

TEST_F(OciFaults, ChosenFetchFailsAndTheConnectionStaysBroken) {
  ScopedEnv fault("STANDIN_FAULT_CALL", "OCIStmtFetch:2:3113");
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
  OCIStmt* s = openQuery(c);
  ASSERT_EQ(OCIStmtFetch(s, c.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(s, c.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  // The program reads the row count before it reads the error.
  ub4 rows = 0;
  ASSERT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c.err), OCI_SUCCESS);
  EXPECT_EQ(rows, 25u);
  EXPECT_EQ(c.errorText(), "ORA-03113: end-of-file on communication channel\n");
  // Every later call that needs the server finds it gone.
  EXPECT_EQ(OCIStmtFetch(s, c.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.errorText(), "ORA-03114: not connected to ORACLE\n");
  EXPECT_EQ(c.exec("select a from t"), OCI_ERROR);
  EXPECT_EQ(c.errorCode(), 3114);
  EXPECT_EQ(OCITransCommit(c.svc, c.err, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.errorCode(), 3114);
  char buf[255];
  EXPECT_EQ(
      OCIServerVersion(c.svc, c.err, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_SVCCTX),
      OCI_ERROR);
  ub4 status = 99;
  ASSERT_EQ(OCIAttrGet(c.srv, OCI_HTYPE_SERVER, &status, nullptr, OCI_ATTR_SERVER_STATUS, c.err),
            OCI_SUCCESS);
  EXPECT_EQ(status, ub4{OCI_SERVER_NOT_CONNECTED});
}

TEST_F(OciFaults, ANonFatalErrorFailsOnlyThatCall) {
  ScopedEnv fault("STANDIN_FAULT_CALL", "OCIStmtExecute:2:1722");
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
  EXPECT_EQ(c.exec("select a from t"), OCI_SUCCESS);
  EXPECT_EQ(c.exec("select a from t"), OCI_ERROR);
  EXPECT_EQ(c.errorText(), "ORA-01722: invalid number\n");
  EXPECT_EQ(c.exec("select a from t"), OCI_SUCCESS);
}

TEST_F(OciFaults, WarningsLeaveTheCallSuccessful) {
  ScopedEnv fault("STANDIN_FAULT_CALL", "OCISessionBegin:1:28002, OCIStmtExecute:1+:24344");
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.logonWarning, "ORA-28002: the password will expire within 7 days\n");
  EXPECT_EQ(c.exec("insert into t values (100)"), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.errorText(), "ORA-24344: success with compilation error\n");
  OCIStmt* q = c.prepare("select a from t where a = 100");
  EXPECT_EQ(OCIStmtExecute(c.svc, q, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS_WITH_INFO);
  sb4 v = 0;
  OCIDefine* d = nullptr;
  ASSERT_EQ(
      OCIDefineByPos(q, &d, c.err, 1, &v, 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(q, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(v, 100) << "the statement that warned did its work";
}

TEST_F(OciFaults, FetchFailsOnceTheRowLimitIsReached) {
  ScopedEnv fault("STANDIN_FAULT_ROWS", "30:3113");
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
  OCIStmt* s = openQuery(c);
  ASSERT_EQ(OCIStmtFetch(s, c.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(s, c.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.errorCode(), 3113);
  ub4 rows = 0;
  OCIAttrGet(s, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c.err);
  EXPECT_EQ(rows, 30u);
  EXPECT_EQ(block[4], 30) << "rows up to the limit are delivered";
}

TEST_F(OciFaults, BreakEndsADelayedFetch) {
  ScopedEnv fault("STANDIN_FAULT_FETCH_DELAY_MS", "20000");
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
  OCIStmt* s = openQuery(c);
  std::thread breaker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    OCIBreak(c.svc, c.err);
  });
  sword rc = OCIStmtFetch(s, c.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT);
  breaker.join();
  EXPECT_EQ(rc, OCI_ERROR);
  EXPECT_EQ(c.errorText(), "ORA-01013: user requested cancel of current operation\n");
}

TEST_F(OciFaults, ServerSettingsInjectFaultsAndTheRelease) {
  {
    std::ofstream settings(std::filesystem::path(server) / "settings", std::ios::app);
    settings << "fault.call = OCIStmtExecute:2:3135\nversion = 9.2\n";
  }
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS) << c.errorText();
  char buf[255];
  ASSERT_EQ(
      OCIServerVersion(c.svc, c.err, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_SVCCTX),
      OCI_SUCCESS);
  std::string banner = buf;
  EXPECT_EQ(banner.substr(0, banner.find('\n')),
            "Oracle9i Enterprise Edition Release 9.2.0.0.0 - Production");
  EXPECT_EQ(c.exec("select a from t"), OCI_SUCCESS);
  EXPECT_EQ(c.exec("select a from t"), OCI_ERROR);
  EXPECT_EQ(c.errorCode(), 3135);
  EXPECT_EQ(c.exec("select a from t"), OCI_ERROR);
  EXPECT_EQ(c.errorCode(), 3114);
}

TEST_F(OciFaults, AttachFailuresCarryThePublishedTexts) {
  struct Case {
    const char* spec;
    const char* text;
  };
  const Case cases[] = {
      {"OCIServerAttach:1:12541", "ORA-12541: TNS:no listener\n"},
      {"OCIServerAttach:1:ORA-12154",
       "ORA-12154: TNS:could not resolve the connect identifier specified\n"},
      {"OCIServerAttach:1:03113", "ORA-03113: end-of-file on communication channel\n"},
  };
  for (const Case& k : cases) {
    ScopedEnv fault("STANDIN_FAULT_CALL", k.spec);
    Connection c;
    EXPECT_EQ(c.connect(server, "scott", "tiger"), OCI_ERROR) << k.spec;
    EXPECT_EQ(c.errorText(), k.text) << k.spec;
    // Only the first attach of the environment fails.
    EXPECT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS) << k.spec;
  }
}

TEST(OciFaultSettings, MalformedSettingsMakeEnvironmentCreationFail) {
  for (const char* spec :
       {"OCIStmtFetch", "OCIStmtFetch:x:3113", "Fetch:1:3113", "OCIStmtFetch:1:notanumber"}) {
    ScopedEnv fault("STANDIN_FAULT_CALL", spec);
    OCIEnv* env = nullptr;
    ASSERT_EQ(OCIEnvCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr),
              OCI_ERROR)
        << spec;
    char buf[512] = {};
    sb4 code = 0;
    ASSERT_EQ(OCIErrorGet(env, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                          OCI_HTYPE_ENV),
              OCI_SUCCESS);
    EXPECT_EQ(code, 600);
    EXPECT_NE(std::string(buf).find("STANDIN_FAULT_CALL"), std::string::npos) << buf;
    OCIHandleFree(env, OCI_HTYPE_ENV);
  }
}

}  // namespace
}  // namespace standin::test
