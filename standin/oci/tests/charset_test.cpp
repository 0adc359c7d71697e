// Servers of other character sets and releases as a C program sees them: limits and ORA-12899,
// the describe in server bytes and characters, text converted to the client's UTF-8 on fetch,
// truncation of a buffer sized by the data size, the dictionary and banner of each release, views.
#include <cstring>

#include "standin/oci/tests/support/OciFixture.h"

namespace standin::test {
namespace {

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A server made by standin-admin with the options, user scott/tiger, and a connection to it.
struct Server {
  explicit Server(const std::vector<std::string>& options) {
    folder = (dir.path() / "srv").string();
    std::vector<std::string> args{"create-server", folder};
    args.insert(args.end(), options.begin(), options.end());
    std::string out;
    EXPECT_EQ(runAdmin(args, &out), 0) << out;
    EXPECT_EQ(runAdmin({"create-user", folder, "scott", "tiger"}, &out), 0) << out;
    EXPECT_EQ(conn.connect(folder, "scott", "tiger"), OCI_SUCCESS) << conn.errorText();
  }
  OCIStmt* query(const std::string& sql) {
    OCIStmt* s = conn.prepare(sql);
    EXPECT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS)
        << sql << ": " << conn.errorText();
    return s;
  }
  TempDir dir;
  std::string folder;
  Connection conn;
};

struct Sizes {
  ub2 dataSize = 0, charSize = 0;
  ub1 charUsed = 9, form = 9;
};
Sizes sizesOf(Connection& c, OCIStmt* s, ub4 position) {
  OCIParam* p = nullptr;
  EXPECT_EQ(OCIParamGet(s, OCI_HTYPE_STMT, c.err, reinterpret_cast<void**>(&p), position),
            OCI_SUCCESS);
  Sizes z;
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &z.dataSize, nullptr, OCI_ATTR_DATA_SIZE, c.err),
            OCI_SUCCESS);
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &z.charSize, nullptr, OCI_ATTR_CHAR_SIZE, c.err),
            OCI_SUCCESS);
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &z.charUsed, nullptr, OCI_ATTR_CHAR_USED, c.err),
            OCI_SUCCESS);
  EXPECT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &z.form, nullptr, OCI_ATTR_CHARSET_FORM, c.err),
            OCI_SUCCESS);
  return z;
}

struct CharsetCase {
  const char* charset;
  bool cyrillicIsOneByte;
  ub2 charColumnBytes;  // DATA_SIZE of VARCHAR2(30 CHAR)
  const char* unheld;   // 'x€Ω' after the database kept it
};
const CharsetCase kCases[] = {
    {"AL32UTF8", false, 120, "x€Ω"},
    {"CL8MSWIN1251", true, 30, "x€?"},
    {"CL8ISO8859P5", true, 30, "x??"},
};

TEST(OciCharset, LimitsDescribeAndFetchPerDatabaseCharacterSet) {
  const std::string letters30 = repeat("Жж", 15);
  for (const CharsetCase& k : kCases) {
    SCOPED_TRACE(k.charset);
    Server srv({"--charset", k.charset});
    Connection& c = srv.conn;
    c.mustExec(
        "create table t (id number(3), b varchar2(30), c varchar2(30 char), "
        "w nvarchar2(10))");
    // At and over the limits, with Oracle's text.
    EXPECT_EQ(c.exec("insert into t (id, c) values (1, '" + letters30 + "')"), OCI_SUCCESS)
        << c.errorText();
    EXPECT_EQ(c.exec("insert into t (id, c) values (2, '" + letters30 + "й')"), OCI_ERROR);
    EXPECT_EQ(c.errorText(),
              "ORA-12899: value too large for column \"SCOTT\".\"T\".\"C\" (actual: 31, "
              "maximum: 30)\n");
    sword bytes30 = c.exec("insert into t (id, b) values (3, '" + letters30 + "')");
    if (k.cyrillicIsOneByte) {
      EXPECT_EQ(bytes30, OCI_SUCCESS) << c.errorText();
    } else {
      EXPECT_EQ(bytes30, OCI_ERROR);
      EXPECT_EQ(c.errorText(),
                "ORA-12899: value too large for column \"SCOTT\".\"T\".\"B\" (actual: 60, "
                "maximum: 30)\n");
    }
    c.mustExec("insert into t (id, b) values (4, 'x€Ω')");

    OCIStmt* s = srv.query("select b, c, w, id from t order by id");
    Sizes b = sizesOf(c, s, 1), ch = sizesOf(c, s, 2), w = sizesOf(c, s, 3), n = sizesOf(c, s, 4);
    EXPECT_EQ(b.dataSize, 30);
    EXPECT_EQ(b.charSize, 30);
    EXPECT_EQ(b.charUsed, 0);
    EXPECT_EQ(b.form, SQLCS_IMPLICIT);
    EXPECT_EQ(ch.dataSize, k.charColumnBytes);
    EXPECT_EQ(ch.charSize, 30);
    EXPECT_EQ(ch.charUsed, 1);
    EXPECT_EQ(w.dataSize, 20);
    EXPECT_EQ(w.charSize, 10);
    EXPECT_EQ(w.charUsed, 1);
    EXPECT_EQ(w.form, SQLCS_NCHAR);
    EXPECT_EQ(n.charSize, 0);
    EXPECT_EQ(n.charUsed, 0);

    // Every text arrives as UTF-8, the client's character set.
    std::vector<std::vector<std::string>> rows = c.rows("select b, c from t order by id");
    std::vector<std::vector<std::string>> expected;
    expected.push_back({"<null>", letters30});
    if (k.cyrillicIsOneByte) expected.push_back({letters30, "<null>"});
    expected.push_back({k.unheld, "<null>"});
    EXPECT_EQ(rows, expected);
  }
}

// A program that sizes its define buffer by the data size + 1 gets a truncation when the
// database keeps a letter in fewer bytes than the client's UTF-8.
TEST(OciCharset, BufferOfTheDataSizeTruncatesWhenTextGrowsInTheClientCharacterSet) {
  Server srv({"--charset", "CL8MSWIN1251"});
  Connection& c = srv.conn;
  const std::string letters30 = repeat("Жж", 15);
  c.mustExec("create table t (b varchar2(30))");
  c.mustExec("insert into t values ('" + letters30 + "')");
  c.mustExec("insert into t values ('abc')");
  OCIStmt* s = srv.query("select b from t order by b");
  ub2 size = sizesOf(c, s, 1).dataSize;
  ASSERT_EQ(size, 30);
  std::vector<char> buf(2 * (size + 1));
  sb2 ind[2] = {7, 7};
  ub2 len[2] = {0, 0}, code[2] = {7, 7};
  OCIDefine* d = nullptr;
  ASSERT_EQ(
      OCIDefineByPos(s, &d, c.err, 1, buf.data(), size + 1, SQLT_STR, ind, len, code, OCI_DEFAULT),
      OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(s, c.err, 2, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(c.errorText(), "ORA-24345: A Truncation or null fetch error occurred\n");
  EXPECT_STREQ(buf.data(), "abc");
  EXPECT_EQ(ind[0], 0);
  EXPECT_EQ(code[0], 0);
  EXPECT_STREQ(buf.data() + size + 1, repeat("Жж", 7).append("Ж").c_str())
      << "30 bytes: fifteen whole letters";
  EXPECT_EQ(ind[1], 60) << "the indicator gives the length the value has in the client";
  EXPECT_EQ(len[1], 30);
  EXPECT_EQ(code[1], 1406);

  // A buffer for 30 characters of UTF-8 holds the value.
  OCIStmt* s2 = srv.query("select b from t where b <> 'abc'");
  std::vector<char> wide(30 * 4 + 1);
  ASSERT_EQ(OCIDefineByPos(s2, &d, c.err, 1, wide.data(), static_cast<sb4>(wide.size()), SQLT_STR,
                           ind, len, code, OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch(s2, c.err, 1, OCI_FETCH_NEXT, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(std::string(wide.data()), letters30);
  EXPECT_EQ(ind[0], 0);
  EXPECT_EQ(len[0], 60);
  EXPECT_EQ(code[0], 0);
}

TEST(OciRelease, BannerAndDictionaryOfEachRelease) {
  struct Case {
    const char* release;
    const char* banner;
    bool charColumns;
  };
  const Case cases[] = {
      {"8.1", "Oracle8i Enterprise Edition Release 8.1.7.0.0 - Production", false},
      {"10.2", "Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Production", true},
      {"19",
       "Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production\nVersion 19.3.0.0.0",
       true},
      {"23ai",
       "Oracle Database 23ai Enterprise Edition Release 23.0.0.0.0 - Production\nVersion "
       "23.4.0.24.05",
       true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.release);
    Server srv({"--release", k.release});
    Connection& c = srv.conn;
    char buf[512];
    ASSERT_EQ(OCIServerVersion(c.svc, c.err, reinterpret_cast<OraText*>(buf), sizeof buf,
                               OCI_HTYPE_SVCCTX),
              OCI_SUCCESS);
    std::string banner = buf;
    if (std::strchr(k.banner, '\n'))
      EXPECT_EQ(banner, k.banner);
    else
      EXPECT_EQ(banner.substr(0, banner.find('\n')), k.banner);

    c.mustExec("create table t (v varchar2(10))");
    OCIStmt* s = c.prepare(
        "select column_name, data_length, char_length, char_used from user_tab_columns where "
        "table_name = 'T'");
    sword rc = OCIStmtExecute(c.svc, s, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
    if (k.charColumns) {
      EXPECT_EQ(rc, OCI_SUCCESS) << c.errorText();
      EXPECT_EQ(c.rows("select column_name, data_length, char_length, char_used from "
                       "user_tab_columns where table_name = 'T'"),
                (std::vector<std::vector<std::string>>{{"V", "10", "10", "B"}}));
    } else {
      // The program's fallback: the dictionary query without the 9i columns.
      EXPECT_EQ(rc, OCI_ERROR);
      EXPECT_EQ(c.errorCode(), 904);
      EXPECT_EQ(c.errorText(), "ORA-00904: \"CHAR_LENGTH\": invalid identifier\n");
      EXPECT_EQ(c.rows("select column_name, data_length from user_tab_columns where "
                       "table_name = 'T'"),
                (std::vector<std::vector<std::string>>{{"V", "10"}}));
    }
  }
}

TEST(OciView, AViewIsDescribedAndFetchedLikeATable) {
  Server srv({"--charset", "CL8MSWIN1251"});
  Connection& c = srv.conn;
  c.mustExec("create table src (id number(4), name nvarchar2(5), doc clob, amount float)");
  c.mustExec("insert into src values (2, 'Ωмега', 'второй документ', 2.5)");
  c.mustExec("insert into src values (1, 'альфа', 'первый', 10)");
  c.mustExec(
      "create view v as select id, cast(name as varchar2(5)) name, "
      "cast(substr(doc, 1, 255) as varchar2(255)) doc, cast(amount as number(6,2)) amount "
      "from src");
  OCIStmt* s = srv.query("select * from v order by 1");
  ub2 type = 0;
  OCIParam* p = nullptr;
  ASSERT_EQ(OCIParamGet(s, OCI_HTYPE_STMT, c.err, reinterpret_cast<void**>(&p), 3), OCI_SUCCESS);
  ASSERT_EQ(OCIAttrGet(p, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, c.err), OCI_SUCCESS);
  EXPECT_EQ(type, SQLT_CHR);
  EXPECT_EQ(sizesOf(c, s, 3).dataSize, 255);
  EXPECT_EQ(c.rows("select * from v order by 1"),
            (std::vector<std::vector<std::string>>{{"1", "альфа", "первый", "10"},
                                                   {"2", "?мега", "второй документ", "2.5"}}));
  EXPECT_EQ(c.rows("select view_name, text_length from user_views"),
            (std::vector<std::vector<std::string>>{{"V", "134"}}));
}

}  // namespace
}  // namespace standin::test
