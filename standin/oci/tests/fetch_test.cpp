// Array fetch into defines: strides, indicators, returned lengths, column return codes, external
// type conversions, block ends and row counts.
#include <cmath>
#include <cstring>

#include "standin/oci/tests/support/OciFixture.h"

namespace standin::test {
namespace {

class OciFetch : public OciTest {
 protected:
  // A table of n rows: id 1..n, name 'N<id>', a NULL in every third row of NAME.
  void makeRows(int n) {
    conn.mustExec("create table t (id number(9) not null, name varchar2(10))");
    for (int i = 1; i <= n; ++i) {
      std::string name = i % 3 == 0 ? "NULL" : "'N" + std::to_string(i) + "'";
      conn.mustExec("insert into t values (" + std::to_string(i) + ", " + name + ")");
    }
  }
  OCIStmt* query(const std::string& sql) {
    OCIStmt* s = conn.prepare(sql);
    EXPECT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS)
        << conn.errorText();
    return s;
  }
  ub4 rowCount(OCIStmt* s) {
    ub4 n = 0;
    EXPECT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROW_COUNT, conn.err),
              OCI_SUCCESS);
    return n;
  }
};

// One record of an array of structures, as the program lays out its blocks.
struct Rec {
  sb4 id;
  char name[11];
  char pad[5];
  sb2 idInd, nameInd;
  ub2 nameLen, nameCode;
};

TEST_F(OciFetch, ArrayOfStructuresWithAPartialLastBlock) {
  makeRows(26);
  OCIStmt* s = query("select id, name from t order by 1");
  Rec recs[25];
  std::memset(recs, 0x7f, sizeof recs);
  OCIDefine* d1 = nullptr;
  OCIDefine* d2 = nullptr;
  ASSERT_EQ(OCIDefineByPos(s, &d1, conn.err, 1, &recs[0].id, sizeof(sb4), SQLT_INT, &recs[0].idInd,
                           nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIDefineArrayOfStruct(d1, conn.err, sizeof(Rec), sizeof(Rec), 0, 0), OCI_SUCCESS);
  ASSERT_EQ(OCIDefineByPos(s, &d2, conn.err, 2, recs[0].name, 11, SQLT_STR, &recs[0].nameInd,
                           &recs[0].nameLen, &recs[0].nameCode, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(
      OCIDefineArrayOfStruct(d2, conn.err, sizeof(Rec), sizeof(Rec), sizeof(Rec), sizeof(Rec)),
      OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(s, conn.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(rowCount(s), 25u);
  for (int i = 0; i < 25; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(recs[i].id, i + 1);
    EXPECT_EQ(recs[i].idInd, 0);
    if ((i + 1) % 3 == 0) {
      EXPECT_EQ(recs[i].nameInd, -1);
      EXPECT_EQ(recs[i].nameCode, 1405);
    } else {
      std::string want = 'N' + std::to_string(i + 1);
      EXPECT_STREQ(recs[i].name, want.c_str());
      EXPECT_EQ(recs[i].nameInd, 0);
      EXPECT_EQ(recs[i].nameLen, want.size());
      EXPECT_EQ(recs[i].nameCode, 0);
    }
  }
  // The second block holds one row: OCI_NO_DATA, the row is in the buffers, the count is 26.
  std::memset(recs, 0x7f, sizeof recs);
  ASSERT_EQ(OCIStmtFetch(s, conn.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
  EXPECT_EQ(rowCount(s), 26u);
  ub4 last = 0;
  OCIAttrGet(s, OCI_HTYPE_STMT, &last, nullptr, OCI_ATTR_ROWS_FETCHED, conn.err);
  EXPECT_EQ(last, 1u);
  EXPECT_EQ(recs[0].id, 26);
  EXPECT_STREQ(recs[0].name, "N26");
  EXPECT_EQ(recs[1].id, 0x7f7f7f7f) << "rows past the end are not touched";
  // After the end: out of sequence.
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorText(), "ORA-01002: fetch out of sequence\n");
}

TEST_F(OciFetch, ExactBlockEndsWithAnEmptyNoDataFetch) {
  makeRows(25);
  OCIStmt* s = query("select id from t");
  sb4 ids[25];
  sb2 inds[25];
  OCIDefine* d = nullptr;
  ASSERT_EQ(OCIDefineByPos(s, &d, conn.err, 1, ids, sizeof(sb4), SQLT_INT, inds, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch2(s, conn.err, 25, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(rowCount(s), 25u);
  EXPECT_EQ(OCIStmtFetch2(s, conn.err, 25, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_NO_DATA);
  EXPECT_EQ(conn.errorText(), "ORA-01403: no data found\n");
  EXPECT_EQ(rowCount(s), 25u);
}

TEST_F(OciFetch, EmptyResultGivesNoDataAtOnce) {
  conn.mustExec("create table t (a number)");
  OCIStmt* s = query("select a from t");
  double v;
  sb2 ind;
  OCIDefine* d = nullptr;
  ASSERT_EQ(
      OCIDefineByPos(s, &d, conn.err, 1, &v, 8, SQLT_BDOUBLE, &ind, nullptr, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_NO_DATA);
  EXPECT_EQ(rowCount(s), 0u);
}

TEST_F(OciFetch, QueryExecutedWithIterationsFetchesIntoTheDefines) {
  makeRows(3);
  OCIStmt* s = conn.prepare("select id from t order by 1");
  sb4 ids[2] = {0, 0};
  OCIDefine* d = nullptr;
  ASSERT_EQ(OCIDefineByPos(s, &d, conn.err, 1, ids, sizeof(sb4), SQLT_INT, nullptr, nullptr,
                           nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
      << conn.errorText();
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(rowCount(s), 1u);
  ASSERT_EQ(OCIStmtFetch(s, conn.err, 2, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(ids[0], 2);
  EXPECT_EQ(ids[1], 3);
  EXPECT_EQ(rowCount(s), 3u);
  // A query executed with 0 iterations delivers nothing until fetched.
  ids[0] = -1;
  ASSERT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(ids[0], -1);
  EXPECT_EQ(rowCount(s), 0u);
}

TEST_F(OciFetch, NullWithoutIndicatorFailsWithOra01405) {
  makeRows(3);
  OCIStmt* s = query("select name from t order by id");
  char names[3][11];
  OCIDefine* d = nullptr;
  ASSERT_EQ(OCIDefineByPos(s, &d, conn.err, 1, names, 11, SQLT_STR, nullptr, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 3, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorText(), "ORA-01405: fetched column value is NULL\n");
  EXPECT_EQ(rowCount(s), 2u) << "the rows before the NULL were delivered";
  EXPECT_STREQ(names[1], "N2");
}

TEST_F(OciFetch, TruncationIsReportedPerColumnAndAsAWarning) {
  conn.mustExec("create table t (s varchar2(40))");
  conn.mustExec("insert into t values ('abcdefghij')");
  conn.mustExec("insert into t values ('абвгд')");  // two bytes per letter
  conn.mustExec("insert into t values ('abc')");
  OCIStmt* s = query("select s from t");
  char buf[3][6];
  sb2 ind[3];
  ub2 len[3], code[3];
  OCIDefine* d = nullptr;
  ASSERT_EQ(OCIDefineByPos(s, &d, conn.err, 1, buf, 6, SQLT_STR, ind, len, code, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(s, conn.err, 3, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(conn.errorText(), "ORA-24345: A Truncation or null fetch error occurred\n");
  EXPECT_STREQ(buf[0], "abcde");
  EXPECT_EQ(ind[0], 10);
  EXPECT_EQ(len[0], 5);
  EXPECT_EQ(code[0], 1406);
  EXPECT_STREQ(buf[1], "аб") << "a character is never cut in two";
  EXPECT_EQ(ind[1], 10);
  EXPECT_EQ(len[1], 4);
  EXPECT_STREQ(buf[2], "abc");
  EXPECT_EQ(ind[2], 0);
  EXPECT_EQ(code[2], 0);

  // Without an indicator the truncation is an error.
  OCIStmt* s2 = query("select s from t");
  ASSERT_EQ(
      OCIDefineByPos(s2, &d, conn.err, 1, buf, 6, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(s2, conn.err, 3, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorText(), "ORA-01406: fetched column value was truncated\n");
}

TEST_F(OciFetch, NumbersConvertIntoEveryIntegerAndFloatSize) {
  conn.mustExec("create table t (n number)");
  for (const char* v : {"0", "-5", "127", "128", "32768", "2147483647", "2147483648",
                        "-9223372036854775808", "12.99", "-12.99", "1e30"})
    conn.mustExec(std::string("insert into t values (") + v + ")");
  struct Case {
    ub2 dty;
    sb4 size;
    const char* value;
    bool overflow;
    long double expect;
  };
  const Case cases[] = {
      {SQLT_INT, 1, "127", false, 127},
      {SQLT_INT, 1, "128", true, 0},
      {SQLT_INT, 2, "32768", true, 0},
      {SQLT_INT, 4, "2147483647", false, 2147483647},
      {SQLT_INT, 4, "2147483648", true, 0},
      {SQLT_INT, 4, "12.99", false, 12},
      {SQLT_INT, 4, "-12.99", false, -12},
      {SQLT_INT, 8, "-9223372036854775808", false, -9223372036854775807.0L - 1},
      {SQLT_INT, 8, "1e30", true, 0},
      {SQLT_UIN, 4, "-5", true, 0},
      {SQLT_FLT, 8, "12.99", false, 12.99},
      {SQLT_FLT, 4, "-5", false, -5},
      {SQLT_BDOUBLE, 8, "1e30", false, 1e30},
      {SQLT_BFLOAT, 4, "0", false, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.dty) + "/" + std::to_string(k.size) + " " + k.value);
    OCIStmt* s = query(std::string("select n from t where n = ") + k.value);
    alignas(8) unsigned char buf[8] = {};
    sb2 ind = 5;
    OCIDefine* d = nullptr;
    ASSERT_EQ(
        OCIDefineByPos(s, &d, conn.err, 1, buf, k.size, k.dty, &ind, nullptr, nullptr, OCI_DEFAULT),
        OCI_SUCCESS);
    sword rc = OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT);
    if (k.overflow) {
      EXPECT_EQ(rc, OCI_ERROR);
      EXPECT_EQ(conn.errorText(), "ORA-01455: converting column overflows integer datatype\n");
      continue;
    }
    ASSERT_EQ(rc, OCI_SUCCESS) << conn.errorText();
    EXPECT_EQ(ind, 0);
    long double got = 0;
    if (k.dty == SQLT_INT && k.size == 1) got = *reinterpret_cast<int8_t*>(buf);
    if (k.dty == SQLT_INT && k.size == 4) got = *reinterpret_cast<int32_t*>(buf);
    if (k.dty == SQLT_INT && k.size == 8)
      got = static_cast<long double>(*reinterpret_cast<int64_t*>(buf));
    if ((k.dty == SQLT_FLT || k.dty == SQLT_BDOUBLE) && k.size == 8)
      got = *reinterpret_cast<double*>(buf);
    if ((k.dty == SQLT_FLT || k.dty == SQLT_BFLOAT) && k.size == 4)
      got = *reinterpret_cast<float*>(buf);
    EXPECT_EQ(static_cast<double>(got), static_cast<double>(k.expect));
  }
}

TEST_F(OciFetch, NumbersAsTextInOraclesForm) {
  conn.mustExec("create table t (k number, n number)");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"0", "0"},
      {"0.5", ".5"},
      {"-0.25", "-.25"},
      {"120", "120"},
      {"-1234.5", "-1234.5"},
      {"12345678901234567890123456789012345678", "12345678901234567890123456789012345678"},
      {"0.000001", ".000001"},
      {"1e100", "1E+100"},
      {"-1.5e-100", "-1.5E-100"},
  };
  for (size_t i = 0; i < cases.size(); ++i)
    conn.mustExec("insert into t values (" + std::to_string(i) + ", " + cases[i].first + ")");
  auto rows = conn.rows("select n from t order by k");
  ASSERT_EQ(rows.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(rows[i][0], cases[i].second) << i;
}

TEST_F(OciFetch, NumberAndDateInternalForms) {
  conn.mustExec("create table t (k number, n number, d date)");
  conn.mustExec(
      "insert into t values (1, 5, to_date('1992-11-30 15:17:00','YYYY-MM-DD HH24:MI:SS'))");
  conn.mustExec(
      "insert into t values (2, -2767, to_date('2012-09-17 13:31:01','YYYY-MM-DD HH24:MI:SS'))");
  conn.mustExec("insert into t values (3, 1234567, to_date('2007-12-31','YYYY-MM-DD'))");
  OCIStmt* s = query("select n, d from t order by k");
  unsigned char vnu[3][22];
  unsigned char dat[3][7];
  OCIDefine* d1 = nullptr;
  OCIDefine* d2 = nullptr;
  ASSERT_EQ(OCIDefineByPos(s, &d1, conn.err, 1, vnu, 22, SQLT_VNU, nullptr, nullptr, nullptr,
                           OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(
      OCIDefineByPos(s, &d2, conn.err, 2, dat, 7, SQLT_DAT, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(s, conn.err, 3, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS)
      << conn.errorText();
  const std::vector<std::vector<int>> numbers = {
      {2, 193, 6}, {4, 61, 74, 34, 102}, {5, 196, 2, 24, 46, 68}};
  const std::vector<std::vector<int>> dates = {
      {119, 192, 11, 30, 16, 18, 1}, {120, 112, 9, 17, 14, 32, 2}, {120, 107, 12, 31, 1, 1, 1}};
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(std::vector<int>(vnu[r], vnu[r] + numbers[r].size()), numbers[r]) << r;
    EXPECT_EQ(std::vector<int>(dat[r], dat[r] + 7), dates[r]) << r;
  }
}

TEST_F(OciFetch, CharacterDefineForms) {
  conn.mustExec("create table t (s varchar2(10))");
  conn.mustExec("insert into t values ('ab')");
  struct Case {
    ub2 dty;
    sb4 size;
    std::string bytes;
    ub2 len;
  };
  const Case cases[] = {
      {SQLT_STR, 5, std::string("ab\0", 3), 2},
      {SQLT_CHR, 5, "ab", 2},
      {SQLT_AFC, 5, "ab   ", 5},
      {SQLT_AVC, 5, std::string("ab  \0", 5), 4},
  };
  for (const Case& k : cases) {
    OCIStmt* s = query("select s from t");
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    ub2 len = 0;
    sb2 ind = 0;
    OCIDefine* d = nullptr;
    ASSERT_EQ(
        OCIDefineByPos(s, &d, conn.err, 1, buf, k.size, k.dty, &ind, &len, nullptr, OCI_DEFAULT),
        OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(std::string(buf, k.bytes.size()), k.bytes) << k.dty;
    EXPECT_EQ(len, k.len) << k.dty;
  }
}

TEST_F(OciFetch, RawAsBytesAndAsHexText) {
  conn.mustExec("create table t (b raw(8))");
  conn.mustExec("insert into t values ('0AFF10')");
  OCIStmt* s = query("select b, b from t");
  unsigned char bytes[8] = {};
  char text[17] = {};
  ub2 blen = 0, tlen = 0;
  OCIDefine* d1 = nullptr;
  OCIDefine* d2 = nullptr;
  ASSERT_EQ(
      OCIDefineByPos(s, &d1, conn.err, 1, bytes, 8, SQLT_BIN, nullptr, &blen, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  ASSERT_EQ(
      OCIDefineByPos(s, &d2, conn.err, 2, text, 17, SQLT_STR, nullptr, &tlen, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS)
      << conn.errorText();
  EXPECT_EQ(blen, 3);
  EXPECT_EQ(std::vector<int>(bytes, bytes + 3), (std::vector<int>{0x0A, 0xFF, 0x10}));
  EXPECT_STREQ(text, "0AFF10");
  EXPECT_EQ(tlen, 6);
}

TEST_F(OciFetch, DefineCharacterSetMustBeOneTheClientDelivers) {
  conn.mustExec("create table t (s varchar2(5))");
  OCIStmt* s = query("select s from t");
  char buf[6];
  OCIDefine* d = nullptr;
  ASSERT_EQ(
      OCIDefineByPos(s, &d, conn.err, 1, buf, 6, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  for (ub2 id : {ub2{873}, ub2{871}, ub2{0}}) {
    EXPECT_EQ(OCIAttrSet(d, OCI_HTYPE_DEFINE, &id, 0, OCI_ATTR_CHARSET_ID, conn.err), OCI_SUCCESS)
        << id;
  }
  for (ub2 id : {ub2{OCI_UTF16ID}, ub2{171}}) {
    EXPECT_EQ(OCIAttrSet(d, OCI_HTYPE_DEFINE, &id, 0, OCI_ATTR_CHARSET_ID, conn.err), OCI_ERROR)
        << id;
    EXPECT_EQ(conn.errorCode(), 1460);
  }
}

TEST_F(OciFetch, MisuseGivesTheClientsErrors) {
  makeRows(2);
  OCIStmt* s = conn.prepare("select id from t");
  sb4 v;
  OCIDefine* d = nullptr;
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorText(), "ORA-24338: statement handle not executed\n");
  ASSERT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
            OCI_SUCCESS);
  EXPECT_EQ(
      OCIDefineByPos(s, &d, conn.err, 2, &v, 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_ERROR);
  EXPECT_EQ(conn.errorText(), "ORA-01007: variable not in select list\n");
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorCode(), 24374) << "no define at all";
  ASSERT_EQ(
      OCIDefineByPos(s, &d, conn.err, 1, &v, 3, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_ERROR);
  EXPECT_EQ(conn.errorCode(), 1460) << "a three-byte integer";
  ASSERT_EQ(
      OCIDefineByPos(s, &d, conn.err, 1, &v, 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_PRIOR, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorCode(), 24391);
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  // nrows 0 cancels the cursor.
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 0, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorCode(), 1002);
}

TEST_F(OciFetch, ADateFetchedAsANumberIsAnInconsistentType) {
  conn.mustExec("create table t (d date)");
  conn.mustExec("insert into t values (sysdate)");
  OCIStmt* s = query("select d from t");
  sb4 v;
  OCIDefine* d = nullptr;
  ASSERT_EQ(
      OCIDefineByPos(s, &d, conn.err, 1, &v, 4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
      OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch(s, conn.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(conn.errorText(), "ORA-00932: inconsistent datatypes: expected NUMBER got DATE\n");
}

}  // namespace
}  // namespace standin::test
