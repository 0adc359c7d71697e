// Connecting, server banners, ALTER SESSION, statements kinds and errors, commit and rollback.
#include "standin/oci/tests/support/OciFixture.h"

namespace standin::test {
namespace {

TEST(OciConnect, UnknownServerAndWrongPasswordGiveOraclesErrors) {
  TempDir dir;
  std::string server = (dir.path() / "srv").string();
  createServer(server);
  struct Case {
    std::string server, user, password;
    int code;
    std::string text;
  };
  const Case cases[] = {
      {server, "scott", "tiger", 0, ""},
      {server, "SCOTT", "tiger", 0, ""},
      {server, "scott", "wrong", 1017, "ORA-01017: invalid username/password; logon denied\n"},
      {server, "nobody", "tiger", 1017, "ORA-01017: invalid username/password; logon denied\n"},
      {"no-such-server-name", "scott", "tiger", 12154,
       "ORA-12154: TNS:could not resolve the connect identifier specified\n"},
      {(dir.path() / "missing").string(), "scott", "tiger", 12154,
       "ORA-12154: TNS:could not resolve the connect identifier specified\n"},
      {"", "scott", "tiger", 12162, "ORA-12162: TNS:net service name is incorrectly specified\n"},
  };
  for (const Case& k : cases) {
    Connection c;
    sword rc = c.connect(k.server, k.user, k.password);
    EXPECT_EQ(rc, k.code ? OCI_ERROR : OCI_SUCCESS) << k.server << " " << k.user;
    EXPECT_EQ(c.errorCode(), k.code);
    EXPECT_EQ(c.errorText(), k.text);
  }
}

TEST(OciConnect, ServerNamesAreLookedUpInTheDataFolder) {
  TempDir dir;
  createServer(dir.path() / "orcl");
  ScopedEnv folder("STANDIN_SERVERS", dir.path().string());
  Connection c;
  EXPECT_EQ(c.connect("orcl", "scott", "tiger"), OCI_SUCCESS) << c.errorText();
}

TEST(OciConnect, SecondAttachOfTheSameServerHandleIsRefused) {
  TempDir dir;
  std::string server = (dir.path() / "srv").string();
  createServer(server);
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
  EXPECT_EQ(OCIServerAttach(c.srv, c.err, reinterpret_cast<const OraText*>(server.data()),
                            static_cast<sb4>(server.size()), OCI_DEFAULT),
            OCI_ERROR);
  EXPECT_EQ(c.errorCode(), 24309);
}

TEST(OciConnect, StatementsAfterTheSessionEndedAreNotLoggedOn) {
  TempDir dir;
  std::string server = (dir.path() / "srv").string();
  createServer(server);
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
  OCIStmt* open = c.prepare("select 1 from dual");
  ASSERT_EQ(OCIStmtExecute(c.svc, open, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
  ASSERT_EQ(OCISessionEnd(c.svc, c.err, c.ses, OCI_DEFAULT), OCI_SUCCESS);
  sb4 v = 0;
  OCIDefine* d = nullptr;
  ASSERT_EQ(
      OCIDefineByPos(open, &d, c.err, 1, &v, 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(open, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR)
      << "a query left open when its session ended";
  EXPECT_EQ(c.errorCode(), 1012);
  OCIStmt* s = c.prepare("select 1 from dual");
  EXPECT_EQ(OCIStmtExecute(c.svc, s, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.errorCode(), 1012);
  EXPECT_EQ(OCIServerDetach(c.srv, c.err, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtExecute(c.svc, s, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.errorCode(), 3114);
}

// The program cuts the release out of the banner: from one (or two) characters before the first
// "." up to the next blank.
std::string programVersion(const std::string& banner) {
  size_t dot = banner.find('.');
  if (dot == std::string::npos || dot < 1) return "";
  size_t start = dot - 1;
  if (dot >= 2 && std::isdigit(static_cast<unsigned char>(banner[dot - 2]))) start = dot - 2;
  size_t end = banner.find(' ', start);
  return end == std::string::npos ? "" : banner.substr(start, end - start);
}

TEST(OciVersion, BannerCarriesTheReleaseInEachReleasesForm) {
  TempDir dir;
  std::string server = (dir.path() / "srv").string();
  createServer(server);
  struct Case {
    std::string setting, release, firstLine;
  };
  const Case cases[] = {
      {"", "10.2.0.1.0", "Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Production"},
      {"7.3", "7.3.0.0.0", "Oracle7 Server Release 7.3.0.0.0 - Production Release"},
      {"9.2.0.1.0", "9.2.0.1.0", "Oracle9i Enterprise Edition Release 9.2.0.1.0 - Production"},
      {"8.1.7", "8.1.7.0.0", "Oracle8i Enterprise Edition Release 8.1.7.0.0 - Production"},
      {"11.2.0.4.0", "11.2.0.4.0",
       "Oracle Database 11g Enterprise Edition Release 11.2.0.4.0 - 64bit Production"},
  };
  for (const Case& k : cases) {
    std::unique_ptr<ScopedEnv> version;
    if (!k.setting.empty())
      version = std::make_unique<ScopedEnv>("STANDIN_FAULT_VERSION", k.setting);
    Connection c;
    ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
    char buf[255];
    ASSERT_EQ(OCIServerVersion(c.svc, c.err, reinterpret_cast<OraText*>(buf), sizeof buf,
                               OCI_HTYPE_SVCCTX),
              OCI_SUCCESS);
    std::string banner = buf;
    EXPECT_EQ(banner.substr(0, banner.find('\n')), k.firstLine);
    EXPECT_EQ(programVersion(banner), k.release);
  }
}

TEST(OciVersion, TenGBannerIsTwoLinesAndIsCutToTheBuffer) {
  TempDir dir;
  std::string server = (dir.path() / "srv").string();
  createServer(server);
  Connection c;
  ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
  char buf[255];
  ASSERT_EQ(
      OCIServerVersion(c.srv, c.err, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_SERVER),
      OCI_SUCCESS);
  EXPECT_STREQ(buf,
               "Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Production\n"
               "With the Partitioning, OLAP and Data Mining options");
  char small[8];
  ASSERT_EQ(OCIServerVersion(c.svc, c.err, reinterpret_cast<OraText*>(small), sizeof small,
                             OCI_HTYPE_SVCCTX),
            OCI_SUCCESS);
  EXPECT_STREQ(small, "Oracle ");
}

class OciSession : public OciTest {};

TEST_F(OciSession, StatementTypeIsKnownRightAfterPrepare) {
  struct Case {
    const char* sql;
    ub2 type;
  };
  const Case cases[] = {
      {"select * from dual", OCI_STMT_SELECT},
      {"  SELECT 1 from dual", OCI_STMT_SELECT},
      {"/* c */ select 1 from dual", OCI_STMT_SELECT},
      {"insert into t values (1)", OCI_STMT_INSERT},
      {"update t set a = 1", OCI_STMT_UPDATE},
      {"delete from t", OCI_STMT_DELETE},
      {"create table t (a number)", OCI_STMT_CREATE},
      {"drop table t", OCI_STMT_DROP},
      {"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'", OCI_STMT_ALTER},
      {"begin null; end;", OCI_STMT_BEGIN},
      {"declare x number; begin null; end;", OCI_STMT_DECLARE},
      {"commit", OCI_STMT_UNKNOWN},
  };
  for (const Case& k : cases) {
    OCIStmt* s = conn.prepare(k.sql);
    ub2 type = 999;
    ASSERT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, conn.err),
              OCI_SUCCESS);
    EXPECT_EQ(type, k.type) << k.sql;
  }
}

TEST_F(OciSession, ExecuteReportsFunctionCodeAndRowCount) {
  conn.mustExec("create table emp (empno number(4) not null, ename varchar2(10))");
  struct Case {
    const char* sql;
    ub2 code;
    ub4 rows;
  };
  const Case cases[] = {
      {"insert into emp values (1, 'KING')", 3, 1},
      {"insert into emp values (2, 'BLAKE')", 3, 1},
      {"update emp set ename = 'X'", 5, 2},
      {"delete from emp where empno = 1", 9, 1},
  };
  for (const Case& k : cases) {
    OCIStmt* s = conn.prepare(k.sql);
    ASSERT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 1, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS)
        << conn.errorText();
    ub2 code = 0;
    ub4 rows = 0;
    OCIAttrGet(s, OCI_HTYPE_STMT, &code, nullptr, OCI_ATTR_SQLFNCODE, conn.err);
    OCIAttrGet(s, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, conn.err);
    EXPECT_EQ(code, k.code) << k.sql;
    EXPECT_EQ(rows, k.rows) << k.sql;
  }
  OCIStmt* q = conn.prepare("select * from emp");
  ASSERT_EQ(OCIStmtExecute(conn.svc, q, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ub2 code = 0;
  OCIAttrGet(q, OCI_HTYPE_STMT, &code, nullptr, OCI_ATTR_SQLFNCODE, conn.err);
  EXPECT_EQ(code, 4);
}

TEST_F(OciSession, ServerErrorsCarryTheirTextsAndTheParseOffset) {
  conn.mustExec("create table emp (empno number(4))");
  struct Case {
    const char* sql;
    int code;
    const char* text;
    ub2 offset;
  };
  const Case cases[] = {
      {"select * from nosuch", 942, "ORA-00942: table or view does not exist\n", 14},
      {"select foo from emp", 904, "ORA-00904: \"FOO\": invalid identifier\n", 7},
      {"ALTER SESSION SET NLS_NOSUCH='X'", 2248, "ORA-02248: invalid option for ALTER SESSION\n",
       0},
  };
  for (const Case& k : cases) {
    OCIStmt* s = conn.prepare(k.sql);
    EXPECT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR)
        << k.sql;
    EXPECT_EQ(conn.errorCode(), k.code) << k.sql;
    EXPECT_EQ(conn.errorText(), k.text) << k.sql;
    ub2 offset = 999;
    OCIAttrGet(s, OCI_HTYPE_STMT, &offset, nullptr, OCI_ATTR_PARSE_ERROR_OFFSET, conn.err);
    if (k.offset) {
      EXPECT_EQ(offset, k.offset) << k.sql;
    }
  }
}

TEST_F(OciSession, ZeroIterationsForAStatementThatIsNoQueryIsAnError) {
  conn.mustExec("create table emp (empno number(4))");
  OCIStmt* s = conn.prepare("insert into emp values (1)");
  EXPECT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorText(), "ORA-24333: zero iteration count\n");
}

TEST_F(OciSession, AlterSessionChangesHowDatesAndNumbersReadAsText) {
  conn.mustExec("create table t (d date, n number)");
  conn.mustExec(
      "insert into t values (to_date('2007-12-31 23:59:59','YYYY-MM-DD HH24:MI:SS'), 1234.5)");
  EXPECT_EQ(conn.rows("select d, n from t"),
            (std::vector<std::vector<std::string>>{{"31-DEC-07", "1234.5"}}));
  ASSERT_EQ(conn.exec("ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'", OCI_COMMIT_ON_SUCCESS),
            OCI_SUCCESS)
      << conn.errorText();
  ASSERT_EQ(conn.exec("ALTER SESSION SET NLS_NUMERIC_CHARACTERS = ', '", OCI_COMMIT_ON_SUCCESS),
            OCI_SUCCESS)
      << conn.errorText();
  EXPECT_EQ(conn.rows("select d, n from t"),
            (std::vector<std::vector<std::string>>{{"20071231", "1234,5"}}));
  ASSERT_EQ(conn.exec("ALTER SESSION SET NLS_DATE_FORMAT='DD.MM.YYYY HH24:MI:SS'"), OCI_SUCCESS);
  ASSERT_EQ(conn.exec("ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '"), OCI_SUCCESS);
  EXPECT_EQ(conn.rows("select d, n from t"),
            (std::vector<std::vector<std::string>>{{"31.12.2007 23:59:59", "1234.5"}}));
}

TEST_F(OciSession, DatesReadAsTextMatchTheServersToChar) {
  conn.mustExec("create table t (d date)");
  for (const char* d :
       {"2007-12-31 23:59:59", "2024-02-29 00:00:00", "1999-07-04 12:05:09", "0001-01-01 00:00:00"})
    conn.mustExec(std::string("insert into t values (to_date('") + d +
                  "', 'YYYY-MM-DD HH24:MI:SS'))");
  for (const char* format : {"DD-MON-RR", "YYYYMMDD", "DD.MM.YYYY HH24:MI:SS", "Month DD, YYYY",
                             "fmMonth DD, YYYY", "Dy DD-Mon-YYYY HH12:MI:SS AM",
                             "DDD \"day\" SSSSS", "FXYYYY-MM-DD", "D DAY dy", "YYY-Y RRRR A.M."}) {
    ASSERT_EQ(conn.exec(std::string("ALTER SESSION SET NLS_DATE_FORMAT='") + format + "'"),
              OCI_SUCCESS)
        << format << ": " << conn.errorText();
    auto rows = conn.rows(std::string("select d, to_char(d, '") + format + "') from t");
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& r : rows) EXPECT_EQ(r[0], r[1]) << format;
  }
}

TEST_F(OciSession, CommitAndRollbackActOnTheSessionsTransaction) {
  conn.mustExec("create table t (a number)");
  Connection other;
  ASSERT_EQ(other.connect(server, "scott", "tiger"), OCI_SUCCESS) << other.errorText();
  const std::vector<std::vector<std::string>> none;
  const std::vector<std::vector<std::string>> one = {{"1"}};

  conn.mustExec("insert into t values (1)");
  EXPECT_EQ(other.rows("select a from t"), none) << "uncommitted work is not seen by others";
  ASSERT_EQ(OCITransRollback(conn.svc, conn.err, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(conn.rows("select a from t"), none);

  conn.mustExec("insert into t values (1)");
  ASSERT_EQ(OCITransCommit(conn.svc, conn.err, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(other.rows("select a from t"), one);

  ASSERT_EQ(conn.exec("delete from t", OCI_COMMIT_ON_SUCCESS), OCI_SUCCESS);
  EXPECT_EQ(other.rows("select a from t"), none) << "OCI_COMMIT_ON_SUCCESS commits";

  conn.mustExec("insert into t values (1)");
  conn.disconnect();
  EXPECT_EQ(other.rows("select a from t"), none) << "ending a session rolls back";
}

}  // namespace
}  // namespace standin::test
