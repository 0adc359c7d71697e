#include "standin/oci/tests/support/OciFixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace standin::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "standin-oci-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

int runAdmin(const std::vector<std::string>& args, std::string* output) {
  std::string cmd = STANDIN_ADMIN;
  for (const std::string& a : args) {
    cmd += " '";
    for (char c : a) cmd += c == '\'' ? std::string("'\\''") : std::string(1, c);
    cmd += "'";
  }
  cmd += " 2>&1";
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  std::array<char, 4096> buf;
  std::string out;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int status = pclose(p);
  if (output) *output = out;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void createServer(const fs::path& folder) {
  std::string out;
  int rc = runAdmin({"create-server", folder.string()}, &out);
  ASSERT_EQ(rc, 0) << out;
  rc = runAdmin({"create-user", folder.string(), "scott", "tiger"}, &out);
  ASSERT_EQ(rc, 0) << out;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (old) old_ = old;
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

Connection::Connection() {
  EXPECT_EQ(
      OCIEnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr),
      OCI_SUCCESS);
  EXPECT_EQ(OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr),
            OCI_SUCCESS);
  EXPECT_EQ(OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr),
            OCI_SUCCESS);
  EXPECT_EQ(OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr),
            OCI_SUCCESS);
  EXPECT_EQ(OCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr),
            OCI_SUCCESS);
}

Connection::~Connection() {
  for (OCIStmt* s : stmts_) OCIHandleFree(s, OCI_HTYPE_STMT);
  disconnect();
  OCIHandleFree(ses, OCI_HTYPE_SESSION);
  OCIHandleFree(svc, OCI_HTYPE_SVCCTX);
  OCIHandleFree(srv, OCI_HTYPE_SERVER);
  OCIHandleFree(err, OCI_HTYPE_ERROR);
  OCIHandleFree(env, OCI_HTYPE_ENV);
}

sword Connection::connect(const std::string& server, const std::string& user,
                          const std::string& password) {
  sword rc = OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(server.data()),
                             static_cast<sb4>(server.size()), OCI_DEFAULT);
  if (rc != OCI_SUCCESS) return rc;
  attached_ = true;
  OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
  OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>(user.data()), static_cast<ub4>(user.size()),
             OCI_ATTR_USERNAME, err);
  OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>(password.data()),
             static_cast<ub4>(password.size()), OCI_ATTR_PASSWORD, err);
  rc = OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, OCI_DEFAULT);
  if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) return rc;
  if (rc == OCI_SUCCESS_WITH_INFO) logonWarning = errorText();
  begun_ = true;
  OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
  return rc;
}

void Connection::disconnect() {
  if (begun_) OCISessionEnd(svc, err, ses, OCI_DEFAULT);
  if (attached_) OCIServerDetach(srv, err, OCI_DEFAULT);
  begun_ = attached_ = false;
}

std::string Connection::errorText() const {
  char buf[1024] = {};
  sb4 code = 0;
  if (OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                  OCI_HTYPE_ERROR) != OCI_SUCCESS)
    return "";
  return buf;
}

int Connection::errorCode() const {
  sb4 code = 0;
  char buf[1024];
  if (OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                  OCI_HTYPE_ERROR) != OCI_SUCCESS)
    return 0;
  return code;
}

OCIStmt* Connection::prepare(const std::string& sql) {
  OCIStmt* s = nullptr;
  EXPECT_EQ(OCIHandleAlloc(env, reinterpret_cast<void**>(&s), OCI_HTYPE_STMT, 0, nullptr),
            OCI_SUCCESS);
  stmts_.push_back(s);
  EXPECT_EQ(OCIStmtPrepare(s, err, reinterpret_cast<const OraText*>(sql.c_str()),
                           static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT),
            OCI_SUCCESS)
      << errorText();
  return s;
}

sword Connection::exec(const std::string& sql, ub4 mode) {
  OCIStmt* s = prepare(sql);
  return OCIStmtExecute(svc, s, err, 1, 0, nullptr, nullptr, mode);
}

void Connection::mustExec(const std::string& sql) {
  sword rc = exec(sql);
  ASSERT_EQ(rc, OCI_SUCCESS) << sql << "\n" << errorText();
}

std::vector<std::vector<std::string>> Connection::rows(const std::string& sql) {
  std::vector<std::vector<std::string>> out;
  OCIStmt* s = prepare(sql);
  sword rc = OCIStmtExecute(svc, s, err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
  EXPECT_EQ(rc, OCI_SUCCESS) << sql << "\n" << errorText();
  if (rc != OCI_SUCCESS) return out;
  ub4 count = 0;
  OCIAttrGet(s, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, err);
  std::vector<std::array<char, 4001>> bufs(count);
  std::vector<sb2> inds(count);
  for (ub4 i = 0; i < count; ++i) {
    OCIDefine* d = nullptr;
    EXPECT_EQ(OCIDefineByPos(s, &d, err, i + 1, bufs[i].data(), 4001, SQLT_STR, &inds[i], nullptr,
                             nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
  }
  for (;;) {
    rc = OCIStmtFetch(s, err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    if (rc == OCI_NO_DATA) break;
    EXPECT_EQ(rc, OCI_SUCCESS) << errorText();
    if (rc != OCI_SUCCESS) break;
    std::vector<std::string> row;
    for (ub4 i = 0; i < count; ++i) row.push_back(inds[i] == -1 ? "<null>" : bufs[i].data());
    out.push_back(row);
  }
  return out;
}

void OciTest::SetUp() {
  server = (dir.path() / "srv").string();
  createServer(server);
  ASSERT_EQ(conn.connect(server, "scott", "tiger"), OCI_SUCCESS) << conn.errorText();
}

}  // namespace standin::test
