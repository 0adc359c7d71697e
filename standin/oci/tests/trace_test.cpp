// The call trace: one line per call in the documented format.
#include <fstream>
#include <regex>
#include <sstream>

#include "standin/oci/tests/support/OciFixture.h"

namespace standin::test {
namespace {

std::vector<std::string> readLines(const std::filesystem::path& file,
                                   const std::string& serverPath) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    // Environment numbers count across the process and the server folder is temporary.
    line = std::regex_replace(line, std::regex("env#[0-9]+"), "env#E");
    size_t at = line.find(serverPath);
    if (at != std::string::npos) line.replace(at, serverPath.size(), "SERVER");
    lines.push_back(line);
  }
  return lines;
}

TEST(OciTrace, EveryCallIsOneLineWithItsArgumentsAndStatus) {
  TempDir dir;
  std::string server = (dir.path() / "srv").string();
  createServer(server);
  std::filesystem::path file = dir.path() / "trace.txt";
  {
    ScopedEnv trace("STANDIN_TRACE", file.string());
    Connection c;
    ASSERT_EQ(c.connect(server, "scott", "tiger"), OCI_SUCCESS);
    EXPECT_EQ(c.exec("select * from nosuch"), OCI_ERROR);
    char buf[512];
    sb4 code = 0;
    OCIErrorGet(c.err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                OCI_HTYPE_ERROR);
    OCIStmt* s = c.prepare("select 1 n from dual");
    ASSERT_EQ(OCIStmtExecute(c.svc, s, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    OCIParam* p = nullptr;
    OCIParamGet(s, OCI_HTYPE_STMT, c.err, reinterpret_cast<void**>(&p), 1);
    ub2 type = 0;
    OCIAttrGet(p, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, c.err);
    double v[25];
    sb2 ind[25];
    OCIDefine* d = nullptr;
    OCIDefineByPos(s, &d, c.err, 1, v, 8, SQLT_BDOUBLE, ind, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineArrayOfStruct(d, c.err, 8, 2, 0, 0);
    EXPECT_EQ(OCIStmtFetch(s, c.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
    ub4 rows = 0;
    OCIAttrGet(s, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c.err);
  }
  const std::vector<std::string> expected = {
      "OCIEnvCreate(&env#E, OCI_THREADED|OCI_OBJECT, NULL, NULL, NULL, NULL, 0, NULL) = "
      "OCI_SUCCESS",
      "OCIHandleAlloc(env#E, &err#1, OCI_HTYPE_ERROR, 0, NULL) = OCI_SUCCESS",
      "OCIHandleAlloc(env#E, &server#1, OCI_HTYPE_SERVER, 0, NULL) = OCI_SUCCESS",
      "OCIHandleAlloc(env#E, &svcctx#1, OCI_HTYPE_SVCCTX, 0, NULL) = OCI_SUCCESS",
      "OCIHandleAlloc(env#E, &session#1, OCI_HTYPE_SESSION, 0, NULL) = OCI_SUCCESS",
      "OCIServerAttach(server#1, err#1, \"SERVER\", " + std::to_string(server.size()) +
          ", OCI_DEFAULT) = OCI_SUCCESS",
      "OCIAttrSet(svcctx#1, OCI_HTYPE_SVCCTX, server#1, 0, OCI_ATTR_SERVER, err#1) = OCI_SUCCESS",
      "OCIAttrSet(session#1, OCI_HTYPE_SESSION, \"scott\", 5, OCI_ATTR_USERNAME, err#1) = "
      "OCI_SUCCESS",
      "OCIAttrSet(session#1, OCI_HTYPE_SESSION, \"***\", 5, OCI_ATTR_PASSWORD, err#1) = "
      "OCI_SUCCESS",
      "OCISessionBegin(svcctx#1, err#1, session#1, OCI_CRED_RDBMS, OCI_DEFAULT) = OCI_SUCCESS",
      "OCIAttrSet(svcctx#1, OCI_HTYPE_SVCCTX, session#1, 0, OCI_ATTR_SESSION, err#1) = "
      "OCI_SUCCESS",
      "OCIHandleAlloc(env#E, &stmt#1, OCI_HTYPE_STMT, 0, NULL) = OCI_SUCCESS",
      "OCIStmtPrepare(stmt#1, err#1, \"select * from nosuch\", 21, OCI_NTV_SYNTAX, OCI_DEFAULT) = "
      "OCI_SUCCESS",
      "OCIStmtExecute(svcctx#1, stmt#1, err#1, 1, 0, NULL, NULL, OCI_DEFAULT) = OCI_ERROR "
      "ORA-00942",
      "OCIErrorGet(err#1, 1, NULL, &942, &\"ORA-00942: table or view does not exist\\n\", 512, "
      "OCI_HTYPE_ERROR) = OCI_SUCCESS",
      "OCIHandleAlloc(env#E, &stmt#2, OCI_HTYPE_STMT, 0, NULL) = OCI_SUCCESS",
      "OCIStmtPrepare(stmt#2, err#1, \"select 1 n from dual\", 21, OCI_NTV_SYNTAX, OCI_DEFAULT) = "
      "OCI_SUCCESS",
      "OCIStmtExecute(svcctx#1, stmt#2, err#1, 0, 0, NULL, NULL, OCI_DEFAULT) = OCI_SUCCESS",
      "OCIParamGet(stmt#2, OCI_HTYPE_STMT, err#1, &param#1, 1) = OCI_SUCCESS",
      "OCIAttrGet(param#1, OCI_DTYPE_PARAM, &2, NULL, OCI_ATTR_DATA_TYPE, err#1) = OCI_SUCCESS",
      "OCIDefineByPos(stmt#2, &define#1, err#1, 1, &, 8, SQLT_BDOUBLE, &, NULL, NULL, "
      "OCI_DEFAULT) = OCI_SUCCESS",
      "OCIDefineArrayOfStruct(define#1, err#1, 8, 2, 0, 0) = OCI_SUCCESS",
      "OCIStmtFetch(stmt#2, err#1, 25, OCI_FETCH_NEXT, OCI_DEFAULT) = OCI_NO_DATA ORA-01403",
      "OCIAttrGet(stmt#2, OCI_HTYPE_STMT, &1, NULL, OCI_ATTR_ROW_COUNT, err#1) = OCI_SUCCESS",
      "OCIHandleFree(stmt#1, OCI_HTYPE_STMT) = OCI_SUCCESS",
      "OCIHandleFree(stmt#2, OCI_HTYPE_STMT) = OCI_SUCCESS",
      "OCISessionEnd(svcctx#1, err#1, session#1, OCI_DEFAULT) = OCI_SUCCESS",
      "OCIServerDetach(server#1, err#1, OCI_DEFAULT) = OCI_SUCCESS",
      "OCIHandleFree(session#1, OCI_HTYPE_SESSION) = OCI_SUCCESS",
      "OCIHandleFree(svcctx#1, OCI_HTYPE_SVCCTX) = OCI_SUCCESS",
      "OCIHandleFree(server#1, OCI_HTYPE_SERVER) = OCI_SUCCESS",
      "OCIHandleFree(err#1, OCI_HTYPE_ERROR) = OCI_SUCCESS",
      "OCIHandleFree(env#E, OCI_HTYPE_ENV) = OCI_SUCCESS",
  };
  EXPECT_EQ(readLines(file, server), expected);
}

TEST(OciTrace, NothingIsWrittenWithoutTheVariable) {
  TempDir dir;
  std::filesystem::path file = dir.path() / "trace.txt";
  {
    ScopedEnv trace("STANDIN_TRACE", file.string());
    Connection c;
  }
  auto before = std::filesystem::file_size(file);
  {
    ScopedEnv off("STANDIN_TRACE", "");
    Connection c;
  }
  EXPECT_EQ(std::filesystem::file_size(file), before);
}

}  // namespace
}  // namespace standin::test
