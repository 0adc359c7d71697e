// NUMBER values of every size fetched in Oracle's own form (SQLT_VNU: a length byte and the
// NUMBER): the bytes that Oracle gives for them, whatever the column's precision, and NULL.
#include <cstring>
#include <string>
#include <vector>

#include "standin/oci/tests/support/OciFixture.h"

namespace standin::test {
namespace {

class OciVnu : public OciTest {};

std::vector<int> Repeat(std::vector<int> head, int byte, int count, std::vector<int> tail = {}) {
  head.insert(head.end(), static_cast<std::size_t>(count), byte);
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST_F(OciVnu, EveryDigitInOraclesBytes) {
  struct Case {
    const char* column;  // the column's type
    const char* value;   // the SQL literal or expression
    std::vector<int> bytes;
  };
  const Case cases[] = {
      {"number", "0", {0x80}},
      {"number(18)", "100000000000000001", {0xC9, 0x0B, 1, 1, 1, 1, 1, 1, 1, 2}},
      {"number(18)", "-999999999999999999", Repeat({0x36}, 2, 9, {102})},
      {"number(16)", "1234567890123456", {0xC8, 0x0D, 0x23, 0x39, 0x4F, 0x5B, 0x0D, 0x23, 0x39}},
      {"number(38)", "99999999999999999999999999999999999999", Repeat({0xD3}, 100, 19)},
      {"number(38)", "-99999999999999999999999999999999999999", Repeat({0x2C}, 2, 19, {102})},
      {"number(20,2)",
       "123456789012345678.12",
       {0xC9, 0x0D, 0x23, 0x39, 0x4F, 0x5B, 0x0D, 0x23, 0x39, 0x4F, 0x0D}},
      {"number", "1/3", Repeat({0xC0}, 0x22, 20)},
      {"number", "1E-130", {0x80, 0x02}},
      {"number", "1E125", {0xFF, 0x0B}},
      {"number", "-0.5", {0x3F, 0x33, 102}},
      {"integer", "-1", {0x3E, 0x64, 102}},
  };
  int table = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " " + c.value);
    // A table for each case: the statement of the last one stays open.
    const std::string name = "t" + std::to_string(++table);
    conn.mustExec("create table " + name + " (n " + c.column + ")");
    conn.mustExec("insert into " + name + " values (" + c.value + ")");
    OCIStmt* s = conn.prepare("select n from " + name);
    ASSERT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS)
        << conn.errorText();
    unsigned char vnu[22];
    std::memset(vnu, 0xEE, sizeof vnu);
    sb2 indicator = -2;
    ub2 length = 0;
    OCIDefine* d = nullptr;
    ASSERT_EQ(OCIDefineByPos(s, &d, conn.err, 1, vnu, 22, SQLT_VNU, &indicator, &length, nullptr,
                             OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS)
        << conn.errorText();
    EXPECT_EQ(indicator, 0);
    EXPECT_EQ(length, c.bytes.size() + 1);
    ASSERT_EQ(vnu[0], c.bytes.size());
    EXPECT_EQ(std::vector<int>(vnu + 1, vnu + 1 + c.bytes.size()), c.bytes);
  }
}

TEST_F(OciVnu, NullSetsTheIndicatorOnly) {
  conn.mustExec("create table t (n number(20))");
  conn.mustExec("insert into t values (null)");
  OCIStmt* s = conn.prepare("select n from t");
  ASSERT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  unsigned char vnu[22] = {};
  sb2 indicator = 0;
  OCIDefine* d = nullptr;
  ASSERT_EQ(OCIDefineByPos(s, &d, conn.err, 1, vnu, 22, SQLT_VNU, &indicator, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(indicator, -1);
  EXPECT_EQ(vnu[0], 0);
}

}  // namespace
}  // namespace standin::test
