// The engine's edges with SQLite's C code: what an SQL function that throws leaves as SQLite's
// error, registrations that SQLite refuses, and the log-off commit that fails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

#include "standin/engine/internal.h"
#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

using ::testing::AllOf;
using ::testing::Field;
using ::testing::HasSubstr;
using ::testing::Throws;

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

Db memoryDb() {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  return Db(db);
}

// What the function throws, chosen through its user data.
enum class Throw { OraErr, BadAlloc, StdException, Other };

void throwing(sqlite3_context* ctx, int, sqlite3_value**) {
  try {
    switch (*static_cast<Throw*>(sqlite3_user_data(ctx))) {
      case Throw::OraErr:
        raise(1722);
      case Throw::BadAlloc:
        throw std::bad_alloc();
      case Throw::StdException:
        throw std::runtime_error("vector index out of range");
      case Throw::Other:
        throw 42;
    }
  } catch (...) {
    resultFromException(ctx);
  }
}

TEST(EngineCallbacks, AnExceptionOfAnSqlFunctionBecomesAnSqliteErrorWithItsText) {
  const struct {
    Throw what;
    int rc;
    const char* message;
  } cases[] = {
      {Throw::OraErr, SQLITE_ERROR, "ORA-01722: invalid number"},
      {Throw::BadAlloc, SQLITE_NOMEM, "out of memory"},
      {Throw::StdException, SQLITE_ERROR,
       "ORA-00600: internal error code, arguments: [standin function], [vector index out of "
       "range]"},
      {Throw::Other, SQLITE_ERROR,
       "ORA-00600: internal error code, arguments: [standin function], [unknown exception]"},
  };
  for (const auto& c : cases) {
    Db db = memoryDb();
    Throw what = c.what;
    ASSERT_EQ(sqlite3_create_function_v2(db.get(), "THROWING", 0, SQLITE_UTF8, &what, throwing,
                                         nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.get(), "SELECT THROWING()", -1, &stmt, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(stmt), c.rc) << c.message;
    EXPECT_EQ(std::string(sqlite3_errmsg(db.get())), c.message);
    sqlite3_finalize(stmt);
  }
}

TEST(EngineCallbacks, ARegistrationThatSqliteRefusesRaisesNamingTheFunction) {
  Db db = memoryDb();
  NlsSettings nls;
  registerFunctions(db.get(), &nls);
  // SQLite refuses to redefine a function while a statement is running.
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.get(), "SELECT ORA_UPPER('a') UNION ALL SELECT 'b'", -1, &stmt,
                               nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_THAT([&] { registerFunctions(db.get(), &nls); },
              Throws<OraError>(AllOf(Field(&OraError::code, 600),
                                     Field(&OraError::message,
                                           HasSubstr("[sqlite], [cannot register ORA_NUMVAL: ")))));
  sqlite3_finalize(stmt);
}

class LogOffCommit : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    exec("CREATE TABLE t (n NUMBER)");
    exec("INSERT INTO t VALUES (1)");
  }
  void TearDown() override {
    unsetenv("STANDIN_FAULT_LOGOFF_COMMIT");
    EngineTest::TearDown();
  }
  std::vector<std::string> rowsOfANewSession() {
    auto other = Server::attach(folder_)->logon("scott", "tiger");
    return rows("SELECT n FROM t", other.get());
  }
};

TEST_F(LogOffCommit, CommitsTheOpenWork) {
  session_->end();
  EXPECT_EQ(rowsOfANewSession(), std::vector<std::string>{"1"});
  EXPECT_THROW(exec("SELECT n FROM t"), OraError) << "the session has ended";
}

TEST_F(LogOffCommit, AFailedCommitIsReportedAndLeavesTheWorkRolledBack) {
  setenv("STANDIN_FAULT_LOGOFF_COMMIT", "1", 1);
  EXPECT_THAT([&] { session_->end(); },
              Throws<OraError>(AllOf(
                  Field(&OraError::code, 600),
                  Field(&OraError::message, HasSubstr("[sqlite], [log-off commit failed: ")))));
  unsetenv("STANDIN_FAULT_LOGOFF_COMMIT");
  EXPECT_EQ(rowsOfANewSession(), std::vector<std::string>{});
  EXPECT_THAT([&] { exec("SELECT n FROM t"); }, Throws<OraError>(Field(&OraError::code, 1012)))
      << "the session has ended";
}

}  // namespace
}  // namespace standin::testing
