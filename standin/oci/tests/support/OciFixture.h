#pragma once
// Test support for the stand-in client: temporary server folders made with standin-admin, and a
// connection driven through the C interface alone, as a C program would use it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "oracle/oci.h"

namespace standin::test {

// A folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Runs the admin tool with the arguments; returns its exit status and fills `output` with what it
// printed.
int runAdmin(const std::vector<std::string>& args, std::string* output = nullptr);

// A fresh server folder with the user scott/tiger.
void createServer(const std::filesystem::path& folder);

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_;
  std::string old_;
};

// One environment, error handle, server, service context and session, freed in reverse order.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Attach and begin a session; returns the status of the first call that did not succeed
  // (OCI_SUCCESS_WITH_INFO counts as success and is returned when it happened).
  sword connect(const std::string& server, const std::string& user, const std::string& password);
  void disconnect();

  // The text and number of the error handle's first record ("" / 0 when there is none).
  std::string errorText() const;
  int errorCode() const;

  // Runs a statement that returns no rows (iters 1); returns the status.
  sword exec(const std::string& sql, ub4 mode = OCI_DEFAULT);
  // Runs a statement and fails the test when it does not succeed.
  void mustExec(const std::string& sql);
  // A prepared statement handle (owned by the connection, freed with it).
  OCIStmt* prepare(const std::string& sql);
  // Runs a query and returns its rows, every column fetched as SQLT_STR, NULL as "<null>".
  std::vector<std::vector<std::string>> rows(const std::string& sql);

  // The diagnostic text of a logon that succeeded with a warning.
  std::string logonWarning;

  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;

 private:
  std::vector<OCIStmt*> stmts_;
  bool attached_ = false, begun_ = false;
};

// A connection to a fresh copy of a server with scott/tiger logged on.
class OciTest : public ::testing::Test {
 protected:
  void SetUp() override;
  TempDir dir;
  std::string server;
  Connection conn;
};

}  // namespace standin::test
