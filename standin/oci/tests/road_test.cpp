// The program's own call sequence against the demo server found in the default data folder beside
// the library: connect, the two ALTER SESSION statements, the table list, the column query, the
// row count and the export query fetched in blocks of 25 records.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "standin/oci/tests/support/OciFixture.h"

namespace standin::test {
namespace {

class OciRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    // The demo server is found by name in the folder "servers" beside the library.
    unsetenv("STANDIN_SERVERS");
    ASSERT_EQ(conn.connect("demo", "demo", "demo"), OCI_SUCCESS) << conn.errorText();
  }

  // Prepare as the program's command does: statement handle, prefetch off, text with its NUL.
  OCIStmt* command(const std::string& sql, ub2 expectedType) {
    OCIStmt* s = nullptr;
    EXPECT_EQ(OCIHandleAlloc(conn.env, reinterpret_cast<void**>(&s), OCI_HTYPE_STMT, 0, nullptr),
              OCI_SUCCESS);
    ub4 zero = 0;
    EXPECT_EQ(OCIAttrSet(s, OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_ROWS, conn.err),
              OCI_SUCCESS);
    EXPECT_EQ(OCIAttrSet(s, OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_MEMORY, conn.err),
              OCI_SUCCESS);
    EXPECT_EQ(OCIStmtPrepare(s, conn.err, reinterpret_cast<const OraText*>(sql.c_str()),
                             static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_SUCCESS);
    ub2 type = 0;
    EXPECT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, conn.err),
              OCI_SUCCESS);
    EXPECT_EQ(type, expectedType) << sql;
    return s;
  }

  struct Column {
    std::string name;
    ub2 type = 0, size = 0;
    sb2 precision = 0;
    sb1 scale = 0;
    // The define the program chooses for it and where it sits in the record.
    ub2 dty = 0;
    sb4 bufferSize = 0;
    size_t offset = 0;
  };

  // Executes a query with 0 iterations, describes it and maps the columns as the program does.
  std::vector<Column> open(OCIStmt* s, size_t& dataSize) {
    EXPECT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 0, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS)
        << conn.errorText();
    ub4 count = 0;
    OCIAttrGet(s, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, conn.err);
    std::vector<Column> cols;
    dataSize = 0;
    for (ub4 i = 1; i <= count; ++i) {
      OCIParam* p = nullptr;
      EXPECT_EQ(OCIParamGet(s, OCI_HTYPE_STMT, conn.err, reinterpret_cast<void**>(&p), i),
                OCI_SUCCESS);
      Column c;
      OraText* name = nullptr;
      ub4 len = 0;
      OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, conn.err);
      c.name.assign(reinterpret_cast<char*>(name), len);
      OCIAttrGet(p, OCI_DTYPE_PARAM, &c.type, nullptr, OCI_ATTR_DATA_TYPE, conn.err);
      OCIAttrGet(p, OCI_DTYPE_PARAM, &c.size, nullptr, OCI_ATTR_DATA_SIZE, conn.err);
      if (c.type == SQLT_NUM) {
        OCIAttrGet(p, OCI_DTYPE_PARAM, &c.precision, nullptr, OCI_ATTR_PRECISION, conn.err);
        OCIAttrGet(p, OCI_DTYPE_PARAM, &c.scale, nullptr, OCI_ATTR_SCALE, conn.err);
      }
      if (c.type == SQLT_CHR || c.type == SQLT_AFC) {
        c.dty = SQLT_STR;
        c.bufferSize = c.size + 1;
      } else if (c.type == SQLT_NUM && c.precision > 0 && c.precision <= 9 && c.scale == 0) {
        c.dty = SQLT_INT;
        c.bufferSize = 4;
      } else if (c.type == SQLT_NUM) {
        c.dty = SQLT_BDOUBLE;
        c.bufferSize = 8;
      } else if (c.type == SQLT_DAT) {
        c.dty = SQLT_DAT;
        c.bufferSize = 7;
      }
      c.offset = dataSize;
      dataSize += static_cast<size_t>(c.bufferSize);
      cols.push_back(c);
    }
    return cols;
  }

  // Defines a block of 25 records (values, then one indicator per column) and fetches it.
  sword fetchBlock(OCIStmt* s, const std::vector<Column>& cols, size_t dataSize,
                   std::vector<char>& block, size_t& recordSize) {
    recordSize = dataSize + 2 * cols.size();
    block.assign(recordSize * 25, 0);
    for (size_t i = 0; i < cols.size(); ++i) {
      OCIDefine* d = nullptr;
      EXPECT_EQ(OCIDefineByPos(s, &d, conn.err, static_cast<ub4>(i + 1),
                               block.data() + cols[i].offset, cols[i].bufferSize, cols[i].dty,
                               block.data() + dataSize + 2 * i, nullptr, nullptr, OCI_DEFAULT),
                OCI_SUCCESS);
      EXPECT_EQ(OCIDefineArrayOfStruct(d, conn.err, static_cast<ub4>(recordSize),
                                       static_cast<ub4>(recordSize), 0, 0),
                OCI_SUCCESS);
    }
    return OCIStmtFetch(s, conn.err, 25, OCI_FETCH_NEXT, OCI_DEFAULT);
  }

  static sb2 indicator(const std::vector<char>& block, size_t recordSize, size_t dataSize,
                       size_t row, size_t col) {
    sb2 v;
    std::memcpy(&v, block.data() + row * recordSize + dataSize + 2 * col, 2);
    return v;
  }

  Connection conn;
};

TEST_F(OciRoad, ConnectReportsATenGServer) {
  OraText none[1] = {0};
  EXPECT_EQ(OCIAttrSet(conn.srv, OCI_HTYPE_SERVER, none, 0, OCI_ATTR_INTERNAL_NAME, conn.err),
            OCI_SUCCESS);
  char banner[255];
  ASSERT_EQ(OCIServerVersion(conn.svc, conn.err, reinterpret_cast<OraText*>(banner), 255,
                             OCI_HTYPE_SVCCTX),
            OCI_SUCCESS);
  EXPECT_EQ(std::string(banner).substr(0, std::string(banner).find('\n')),
            "Oracle Database 10g Enterprise Edition Release 10.2.0.1.0 - Production");
  struct Pair {
    void* callback;
    void* context;
  } failover{reinterpret_cast<void*>(&OCIBreak), this};
  EXPECT_EQ(OCIAttrSet(conn.srv, OCI_HTYPE_SERVER, &failover, 0, OCI_ATTR_FOCBK, conn.err),
            OCI_SUCCESS);
}

TEST_F(OciRoad, SessionSettingsThenTablesColumnsCountAndRows) {
  for (const char* sql : {"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'",
                          "ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '"}) {
    OCIStmt* s = command(sql, OCI_STMT_ALTER);
    ASSERT_EQ(OCIStmtExecute(conn.svc, s, conn.err, 1, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS),
              OCI_SUCCESS)
        << conn.errorText();
    ub2 code = 0, offset = 7;
    ub4 rows = 9;
    EXPECT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &code, nullptr, OCI_ATTR_SQLFNCODE, conn.err),
              OCI_SUCCESS);
    EXPECT_EQ(OCIAttrGet(s, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, conn.err),
              OCI_SUCCESS);
    EXPECT_EQ(rows, 0u);
    EXPECT_EQ(
        OCIAttrGet(s, OCI_HTYPE_STMT, &offset, nullptr, OCI_ATTR_PARSE_ERROR_OFFSET, conn.err),
        OCI_SUCCESS);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(OCIHandleFree(s, OCI_HTYPE_STMT), OCI_SUCCESS);
  }

  // The table list.
  size_t dataSize = 0, recordSize = 0;
  std::vector<char> block;
  OCIStmt* s = command("select table_name from user_tables order by 1", OCI_STMT_SELECT);
  std::vector<Column> cols = open(s, dataSize);
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_EQ(cols[0].name, "TABLE_NAME");
  EXPECT_EQ(cols[0].type, SQLT_CHR);
  EXPECT_EQ(cols[0].size, 30);
  ASSERT_EQ(fetchBlock(s, cols, dataSize, block, recordSize), OCI_NO_DATA);
  ub4 tables = 0;
  OCIAttrGet(s, OCI_HTYPE_STMT, &tables, nullptr, OCI_ATTR_ROW_COUNT, conn.err);
  std::vector<std::string> names;
  for (size_t r = 0; r < tables; ++r) names.push_back(block.data() + r * recordSize);
  EXPECT_NE(std::find(names.begin(), names.end(), "EMP"), names.end());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  OCIHandleFree(s, OCI_HTYPE_STMT);

  // The column query.
  s = command(
      "select column_name, data_type, data_length, data_precision, data_scale from "
      "user_tab_columns where table_name = 'EMP' order by Column_id",
      OCI_STMT_SELECT);
  cols = open(s, dataSize);
  ASSERT_EQ(cols.size(), 5u);
  ASSERT_EQ(fetchBlock(s, cols, dataSize, block, recordSize), OCI_NO_DATA);
  ub4 columns = 0;
  OCIAttrGet(s, OCI_HTYPE_STMT, &columns, nullptr, OCI_ATTR_ROW_COUNT, conn.err);
  ASSERT_EQ(columns, 8u);
  EXPECT_STREQ(block.data(), "EMPNO");
  EXPECT_STREQ(block.data() + cols[1].offset, "NUMBER");
  EXPECT_STREQ(block.data() + 1 * recordSize, "ENAME");
  EXPECT_EQ(indicator(block, recordSize, dataSize, 1, 3), -1) << "no precision for VARCHAR2";
  OCIHandleFree(s, OCI_HTYPE_STMT);

  // The row count, a NUMBER without precision read as a double.
  s = command("select count(*) cnt from EMP", OCI_STMT_SELECT);
  cols = open(s, dataSize);
  ASSERT_EQ(cols.size(), 1u);
  EXPECT_EQ(cols[0].dty, SQLT_BDOUBLE);
  ASSERT_EQ(fetchBlock(s, cols, dataSize, block, recordSize), OCI_NO_DATA);
  double count = 0;
  std::memcpy(&count, block.data(), 8);
  EXPECT_GT(count, 0);
  OCIHandleFree(s, OCI_HTYPE_STMT);

  // The export query: every row once, in blocks of 25.
  s = command("select * from EMP order by 1", OCI_STMT_SELECT);
  cols = open(s, dataSize);
  ASSERT_EQ(cols.size(), 8u);
  EXPECT_EQ(cols[0].dty, SQLT_INT);
  EXPECT_EQ(cols[4].dty, SQLT_DAT);
  EXPECT_EQ(cols[5].dty, SQLT_BDOUBLE);
  ub4 total = 0;
  sb4 firstEmpno = 0;
  std::string firstName;
  unsigned char firstDate[7] = {};
  for (;;) {
    sword rc = fetchBlock(s, cols, dataSize, block, recordSize);
    ASSERT_TRUE(rc == OCI_SUCCESS || rc == OCI_NO_DATA) << conn.errorText();
    ub4 now = 0;
    OCIAttrGet(s, OCI_HTYPE_STMT, &now, nullptr, OCI_ATTR_ROW_COUNT, conn.err);
    if (total == 0 && now > 0) {
      std::memcpy(&firstEmpno, block.data(), 4);
      firstName = block.data() + cols[1].offset;
      std::memcpy(firstDate, block.data() + cols[4].offset, 7);
    }
    total = now;
    if (rc == OCI_NO_DATA) break;
  }
  EXPECT_EQ(total, static_cast<ub4>(count));
  EXPECT_EQ(firstEmpno, 7369);
  EXPECT_EQ(firstName, "Смирнов Иван");
  const unsigned char hired[7] = {119, 180, 12, 17, 1, 1, 1};
  EXPECT_EQ(std::memcmp(firstDate, hired, 7), 0);
  OCIHandleFree(s, OCI_HTYPE_STMT);
}

TEST_F(OciRoad, TwentySixRowsAreOneFullBlockAndOneRow) {
  OCIStmt* s = command("select * from BLOCK26 order by 1", OCI_STMT_SELECT);
  size_t dataSize = 0, recordSize = 0;
  std::vector<char> block;
  std::vector<Column> cols = open(s, dataSize);
  ASSERT_EQ(fetchBlock(s, cols, dataSize, block, recordSize), OCI_SUCCESS);
  ASSERT_EQ(fetchBlock(s, cols, dataSize, block, recordSize), OCI_NO_DATA);
  ub4 rows = 0;
  OCIAttrGet(s, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, conn.err);
  EXPECT_EQ(rows, 26u);
  sb4 n = 0;
  std::memcpy(&n, block.data(), 4);
  EXPECT_EQ(n, 26);
  OCIHandleFree(s, OCI_HTYPE_STMT);
}

}  // namespace
}  // namespace standin::test
