// Handle checks, handle life cycle and diagnostics of the stand-in client, through its C interface.
#include <cstring>
#include <ostream>

#include "standin/oci/tests/support/OciFixture.h"

namespace standin::test {
namespace {

TEST(OciHandles, EnvironmentAndChildHandlesCanBeFreedInAnyOrder) {
  OCIEnv* env = nullptr;
  ASSERT_EQ(
      OCIEnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr),
      OCI_SUCCESS);
  void* err = nullptr;
  void* stmt = nullptr;
  ASSERT_EQ(OCIHandleAlloc(env, &err, OCI_HTYPE_ERROR, 0, nullptr), OCI_SUCCESS);
  ASSERT_EQ(OCIHandleAlloc(env, &stmt, OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
  // The environment goes first and takes its children with it: freeing them afterwards is a
  // stale handle, not a crash.
  EXPECT_EQ(OCIHandleFree(env, OCI_HTYPE_ENV), OCI_SUCCESS);
  EXPECT_EQ(OCIHandleFree(stmt, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIHandleFree(err, OCI_HTYPE_ERROR), OCI_INVALID_HANDLE);
}

TEST(OciHandles, OlderTwoStepInitialisationMakesAnEnvironment) {
  ASSERT_EQ(OCIInitialize(OCI_OBJECT, nullptr, nullptr, nullptr, nullptr), OCI_SUCCESS);
  OCIEnv* env = nullptr;
  ASSERT_EQ(OCIEnvInit(&env, OCI_DEFAULT, 0, nullptr), OCI_SUCCESS);
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(OCIHandleFree(env, OCI_HTYPE_ENV), OCI_SUCCESS);
}

TEST(OciHandles, CallerMemoryFunctionsAreRefused) {
  OCIEnv* env = nullptr;
  auto alloc = +[](void*, size_t n) -> void* { return std::malloc(n); };
  EXPECT_EQ(OCIEnvCreate(&env, OCI_DEFAULT, nullptr, alloc, nullptr, nullptr, 0, nullptr),
            OCI_ERROR);
  EXPECT_EQ(env, nullptr);
}

TEST(OciHandles, ClientCharacterSetMustBeUtf8) {
  struct Case {
    const char* nlsLang;
    sword status;
  };
  const Case cases[] = {
      {".AL32UTF8", OCI_SUCCESS},
      {"AMERICAN_AMERICA.AL32UTF8", OCI_SUCCESS},
      {"russian_russia.utf8", OCI_SUCCESS},
      {"AMERICAN_AMERICA", OCI_SUCCESS},
      {"", OCI_SUCCESS},
      {"RUSSIAN_RUSSIA.CL8MSWIN1251", OCI_ERROR},
      {".WE8ISO8859P1", OCI_ERROR},
  };
  for (const Case& k : cases) {
    ScopedEnv lang("NLS_LANG", k.nlsLang);
    OCIEnv* env = nullptr;
    EXPECT_EQ(OCIEnvCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr),
              k.status)
        << k.nlsLang;
    if (k.status == OCI_ERROR) {
      char buf[512] = {};
      sb4 code = 0;
      ASSERT_EQ(OCIErrorGet(env, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                            OCI_HTYPE_ENV),
                OCI_SUCCESS);
      EXPECT_STREQ(buf,
                   "ORA-12705: Cannot access NLS data files or invalid environment specified\n");
    }
    EXPECT_EQ(OCIHandleFree(env, OCI_HTYPE_ENV), OCI_SUCCESS);
  }
}

TEST(OciHandles, ExtraUserMemoryIsZeroedAndOwnedByTheHandle) {
  OCIEnv* env = nullptr;
  void* mem = nullptr;
  ASSERT_EQ(OCIEnvCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 64, &mem),
            OCI_SUCCESS);
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(std::memcmp(mem, std::string(64, '\0').data(), 64), 0);
  EXPECT_EQ(OCIHandleFree(env, OCI_HTYPE_ENV), OCI_SUCCESS);
}

struct Bad {
  const char* what;
  int kind;  // 0 null, 1 wrong type, 2 freed, 3 not a handle
};

std::ostream& operator<<(std::ostream& os, const Bad& bad) {
  return os << bad.what;
}

class OciInvalidHandles : public ::testing::TestWithParam<Bad> {};

TEST_P(OciInvalidHandles, AreRefusedWithoutDiagnostics) {
  Connection c;
  OCIStmt* freed = nullptr;
  ASSERT_EQ(OCIHandleAlloc(c.env, reinterpret_cast<void**>(&freed), OCI_HTYPE_STMT, 0, nullptr),
            OCI_SUCCESS);
  ASSERT_EQ(OCIHandleFree(freed, OCI_HTYPE_STMT), OCI_SUCCESS);
  char junk[64] = {};
  void* bad = nullptr;
  switch (GetParam().kind) {
    case 0:
      bad = nullptr;
      break;
    case 1:
      bad = c.svc;
      break;  // a live handle of another type
    case 2:
      bad = freed;
      break;
    case 3:
      bad = junk;
      break;
  }
  auto* stmt = static_cast<OCIStmt*>(bad);
  const char* sql = "select 1 from dual";
  EXPECT_EQ(OCIStmtPrepare(stmt, c.err, reinterpret_cast<const OraText*>(sql), 18, OCI_NTV_SYNTAX,
                           OCI_DEFAULT),
            OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIStmtFetch(stmt, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_INVALID_HANDLE);
  ub4 value = 0;
  EXPECT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, &value, nullptr, OCI_ATTR_ROW_COUNT, c.err),
            OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIHandleFree(stmt, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  // The same kinds of pointer in place of the error handle.
  OCIStmt* good = c.prepare("select 1 from dual");
  EXPECT_EQ(OCIStmtFetch(good, static_cast<OCIError*>(bad), 1, OCI_FETCH_NEXT, OCI_DEFAULT),
            OCI_INVALID_HANDLE);
  EXPECT_EQ(c.errorCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, OciInvalidHandles,
                         ::testing::Values(Bad{"null", 0}, Bad{"wrong_type", 1}, Bad{"freed", 2},
                                           Bad{"not_a_handle", 3}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(OciHandles, TypesTheStandInDoesNotOfferCannotBeAllocated) {
  Connection c;
  void* h = nullptr;
  for (ub4 type : {ub4{OCI_HTYPE_BIND}, ub4{OCI_HTYPE_DEFINE}, ub4{OCI_HTYPE_DESCRIBE},
                   ub4{OCI_HTYPE_CPOOL}, ub4{0}, ub4{999}}) {
    EXPECT_EQ(OCIHandleAlloc(c.env, &h, type, 0, nullptr), OCI_INVALID_HANDLE) << type;
  }
  EXPECT_EQ(OCIHandleAlloc(c.err, &h, OCI_HTYPE_STMT, 0, nullptr), OCI_INVALID_HANDLE)
      << "the parent must be an environment";
}

TEST(OciDiagnostics, OneRecordThatStaysUntilTheNextFailure) {
  Connection c;
  char buf[512];
  sb4 code = -5;
  EXPECT_EQ(OCIErrorGet(c.err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                        OCI_HTYPE_ERROR),
            OCI_NO_DATA);
  // An attribute that a statement handle does not have.
  OCIStmt* s = c.prepare("select 1 from dual");
  ub4 v = 0;
  ASSERT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &v, nullptr, OCI_ATTR_USERNAME, c.err), OCI_ERROR);
  ASSERT_EQ(OCIErrorGet(c.err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                        OCI_HTYPE_ERROR),
            OCI_SUCCESS);
  EXPECT_EQ(code, 24315);
  EXPECT_STREQ(buf, "ORA-24315: illegal attribute type\n");
  EXPECT_EQ(OCIErrorGet(c.err, 2, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                        OCI_HTYPE_ERROR),
            OCI_NO_DATA);
  // A later successful call leaves the record as it was: callers read the error of a failed call
  // after asking for attributes such as the row count.
  ASSERT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &v, nullptr, OCI_ATTR_ROW_COUNT, c.err), OCI_SUCCESS);
  EXPECT_EQ(c.errorCode(), 24315);
  // The next failure replaces it.
  EXPECT_EQ(OCIStmtFetch(s, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(c.errorText(), "ORA-24338: statement handle not executed\n");
}

TEST(OciDiagnostics, MessageIsCutToTheBufferAndStaysTerminated) {
  Connection c;
  OCIStmt* s = c.prepare("select 1 from dual");
  ub4 v = 0;
  ASSERT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &v, nullptr, OCI_ATTR_USERNAME, c.err), OCI_ERROR);
  const std::string full = "ORA-24315: illegal attribute type\n";
  for (ub4 size : {ub4{1}, ub4{2}, ub4{11}, ub4{34}, ub4{35}, ub4{36}}) {
    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    sb4 code = 0;
    ASSERT_EQ(OCIErrorGet(c.err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), size,
                          OCI_HTYPE_ERROR),
              OCI_SUCCESS);
    EXPECT_EQ(std::string(buf), full.substr(0, size - 1)) << size;
    EXPECT_EQ(buf[size], 'x') << "nothing written past the buffer, size " << size;
    EXPECT_EQ(code, 24315);
  }
}

TEST(OciAttributes, DispatchOnHandleTypeAndNumber) {
  Connection c;
  OCIStmt* s = c.prepare("select 1 from dual");
  struct Case {
    void* handle;
    ub4 type;
    ub4 attr;
    sword status;
    int code;
  };
  const Case cases[] = {
      {s, OCI_HTYPE_STMT, OCI_ATTR_STMT_TYPE, OCI_SUCCESS, 0},
      {s, OCI_HTYPE_STMT, OCI_ATTR_PREFETCH_ROWS, OCI_SUCCESS, 0},
      {s, OCI_HTYPE_STMT, OCI_ATTR_SERVER, OCI_ERROR, 24315},
      {s, OCI_HTYPE_STMT, 9999, OCI_ERROR, 24315},
      {c.ses, OCI_HTYPE_SESSION, OCI_ATTR_USERNAME, OCI_SUCCESS, 0},
      {c.ses, OCI_HTYPE_SESSION, OCI_ATTR_ROW_COUNT, OCI_ERROR, 24315},
      {c.err, OCI_HTYPE_ERROR, OCI_ATTR_ROW_COUNT, OCI_ERROR, 24315},
      {c.srv, OCI_HTYPE_SERVER, OCI_ATTR_SERVER_STATUS, OCI_SUCCESS, 0},
      {c.env, OCI_HTYPE_ENV, OCI_ATTR_HEAPALLOC, OCI_SUCCESS, 0},
      {s, OCI_HTYPE_SVCCTX, OCI_ATTR_SERVER, OCI_INVALID_HANDLE, 0},
  };
  for (const Case& k : cases) {
    alignas(8) char value[16] = {};
    ub4 size = 0;
    EXPECT_EQ(OCIAttrGet(k.handle, k.type, value, &size, k.attr, c.err), k.status)
        << "type " << k.type << " attribute " << k.attr;
    if (k.status == OCI_ERROR) {
      EXPECT_EQ(c.errorCode(), k.code) << "type " << k.type << " attribute " << k.attr;
    }
  }
}

TEST(OciAttributes, PrefetchValuesAreKept) {
  Connection c;
  OCIStmt* s = c.prepare("select 1 from dual");
  ub4 zero = 0, got = 7;
  ASSERT_EQ(OCIAttrSet(s, OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_ROWS, c.err), OCI_SUCCESS);
  ASSERT_EQ(OCIAttrSet(s, OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_MEMORY, c.err), OCI_SUCCESS);
  ASSERT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &got, nullptr, OCI_ATTR_PREFETCH_ROWS, c.err),
            OCI_SUCCESS);
  EXPECT_EQ(got, 0u);
}

TEST(OciVersion, ClientVersionIsTenTwo) {
  sword v[5] = {-1, -1, -1, -1, -1};
  OCIClientVersion(&v[0], &v[1], &v[2], &v[3], &v[4]);
  EXPECT_EQ(v[0], 10);
  EXPECT_EQ(v[1], 2);
  EXPECT_EQ(v[2], 0);
  EXPECT_EQ(v[3], 1);
  EXPECT_EQ(v[4], 0);
}

}  // namespace
}  // namespace standin::test
