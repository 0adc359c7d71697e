// Select-list describe and the data dictionary.
#include <gtest/gtest.h>

#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

class Describe : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    exec(
        "create table all_types (v varchar2(30) not null, n number, n9 number(9), "
        "n72 number(7,2), i integer, f float, f10 float(10), d date, c char(2), cl clob, "
        "bl blob, r raw(16), l long, ts timestamp, \"Mixed Case\" number(3))");
  }
};

struct Expected {
  const char* name;
  OraType type;
  int size;
  int precision;
  int scale;
  bool nullable;
};

void check(const std::vector<ColumnDesc>& cols, const std::vector<Expected>& expected) {
  ASSERT_EQ(cols.size(), expected.size());
  for (size_t i = 0; i < cols.size(); ++i) {
    const Expected& e = expected[i];
    EXPECT_EQ(cols[i].name, e.name) << i;
    EXPECT_EQ(cols[i].type, e.type) << e.name;
    EXPECT_EQ(cols[i].dataSize, e.size) << e.name;
    EXPECT_EQ(cols[i].precision, e.precision) << e.name;
    EXPECT_EQ(cols[i].scale, e.scale) << e.name;
    EXPECT_EQ(cols[i].nullable, e.nullable) << e.name;
  }
}

TEST_F(Describe, EveryColumnTypeAsOracleReportsIt) {
  auto c = session_->prepare("select * from all_types");
  EXPECT_EQ(c->type(), StmtType::Select);
  check(c->columns(), {
                          {"V", OraType::Varchar2, 30, 0, 0, false},
                          {"N", OraType::Number, 22, 0, -127, true},
                          {"N9", OraType::Number, 22, 9, 0, true},
                          {"N72", OraType::Number, 22, 7, 2, true},
                          {"I", OraType::Number, 22, 38, 0, true},
                          {"F", OraType::Number, 22, 126, -127, true},
                          {"F10", OraType::Number, 22, 10, -127, true},
                          {"D", OraType::Date, 7, 0, 0, true},
                          {"C", OraType::Char, 2, 0, 0, true},
                          {"CL", OraType::Clob, 4000, 0, 0, true},
                          {"BL", OraType::Blob, 4000, 0, 0, true},
                          {"R", OraType::Raw, 16, 0, 0, true},
                          {"L", OraType::Long, 0, 0, 0, true},
                          {"TS", OraType::Timestamp, 11, 0, 6, true},
                          {"Mixed Case", OraType::Number, 22, 3, 0, true},
                      });
}

TEST_F(Describe, NamesAliasesAndExpressions) {
  auto c = session_->prepare(
      "select v, v alias1, n \"Quoted alias\", count(*) cnt, n9 + 1, sysdate, "
      "to_char(d, 'YYYY'), 'ab', upper(v), nvl(n9, 0) from all_types t group by v, n, n9, d");
  check(c->columns(), {
                          {"V", OraType::Varchar2, 30, 0, 0, false},
                          {"ALIAS1", OraType::Varchar2, 30, 0, 0, false},
                          {"Quoted alias", OraType::Number, 22, 0, -127, true},
                          {"CNT", OraType::Number, 22, 0, -127, true},
                          {"N9+1", OraType::Number, 22, 0, -127, true},
                          {"SYSDATE", OraType::Date, 7, 0, 0, false},
                          {"TO_CHAR(D,'YYYY')", OraType::Varchar2, 75, 0, 0, true},
                          {"'AB'", OraType::Char, 2, 0, 0, false},
                          {"UPPER(V)", OraType::Varchar2, 30, 0, 0, true},
                          {"NVL(N9,0)", OraType::Number, 22, 9, 0, true},
                      });
}

TEST_F(Describe, ExpressionNamesAreUpperCaseWithoutBlanks) {
  auto c = session_->prepare("select 'a b' || v, n9 * 2 + 1, lower( v ) from all_types");
  ASSERT_EQ(c->columns().size(), 3u);
  EXPECT_EQ(c->columns()[0].name, "'AB'||V");
  EXPECT_EQ(c->columns()[1].name, "N9*2+1");
  EXPECT_EQ(c->columns()[2].name, "LOWER(V)");
}

TEST_F(Describe, CountWithoutPrecisionAndTheProgramsCountQuery) {
  auto c = session_->prepare("select count(*) cnt from ALL_TYPES");
  check(c->columns(), {{"CNT", OraType::Number, 22, 0, -127, true}});
  c->execute();
  ASSERT_TRUE(c->step());
  EXPECT_EQ(c->kind(0), ValueKind::Integer);
  EXPECT_EQ(c->asInteger(0), 0);
  EXPECT_FALSE(c->step());
}

TEST_F(Describe, StatementKindsAndFunctionCodes) {
  struct Case {
    const char* sql;
    StmtType type;
    int code;
  };
  const Case cases[] = {
      {"select * from all_types", StmtType::Select, 4},
      {"insert into all_types (v) values ('x')", StmtType::Insert, 3},
      {"update all_types set n = 1", StmtType::Update, 5},
      {"delete from all_types", StmtType::Delete, 9},
      {"create table x (a number)", StmtType::Create, 1},
      {"drop table all_types", StmtType::Drop, 8},
      {"alter session set nls_date_format = 'YYYY'", StmtType::Alter, 52},
      {"commit", StmtType::Unknown, 54},
      {"rollback", StmtType::Unknown, 55},
  };
  for (const Case& c : cases) {
    auto cur = session_->prepare(c.sql);
    EXPECT_EQ(cur->type(), c.type) << c.sql;
    EXPECT_EQ(cur->sqlFunctionCode(), c.code) << c.sql;
    EXPECT_TRUE(c.type == StmtType::Select || cur->columns().empty()) << c.sql;
  }
}

TEST_F(Describe, DictionaryListsTheUsersTablesAndColumns) {
  exec("create table b_table (x number)");
  auto t = session_->prepare("select table_name from user_tables order by 1 ");
  check(t->columns(), {{"TABLE_NAME", OraType::Varchar2, 30, 0, 0, false}});
  EXPECT_EQ(rows("select table_name from user_tables order by 1 "),
            (std::vector<std::string>{"ALL_TYPES", "B_TABLE"}));
  const char* query =
      "select column_name, data_type, data_length, data_precision, data_scale from "
      "user_tab_columns where table_name = 'ALL_TYPES' order by Column_id";
  auto c = session_->prepare(query);
  check(c->columns(), {{"COLUMN_NAME", OraType::Varchar2, 30, 0, 0, false},
                       {"DATA_TYPE", OraType::Varchar2, 106, 0, 0, true},
                       {"DATA_LENGTH", OraType::Number, 22, 0, -127, false},
                       {"DATA_PRECISION", OraType::Number, 22, 0, -127, true},
                       {"DATA_SCALE", OraType::Number, 22, 0, -127, true}});
  EXPECT_EQ(rows(query), (std::vector<std::string>{
                             "V|VARCHAR2|30|<null>|<null>",
                             "N|NUMBER|22|<null>|<null>",
                             "N9|NUMBER|22|9|0",
                             "N72|NUMBER|22|7|2",
                             "I|NUMBER|22|<null>|0",
                             "F|FLOAT|22|126|<null>",
                             "F10|FLOAT|22|10|<null>",
                             "D|DATE|7|<null>|<null>",
                             "C|CHAR|2|<null>|<null>",
                             "CL|CLOB|4000|<null>|<null>",
                             "BL|BLOB|4000|<null>|<null>",
                             "R|RAW|16|<null>|<null>",
                             "L|LONG|0|<null>|<null>",
                             "TS|TIMESTAMP(6)|11|<null>|6",
                             "Mixed Case|NUMBER|22|3|0",
                         }));
  EXPECT_EQ(rows("select nullable, column_id from user_tab_columns where table_name = "
                 "'ALL_TYPES' and column_id <= 2 order by column_id"),
            (std::vector<std::string>{"N|1", "Y|2"}));
  // Names are matched as stored: upper case unless created quoted.
  EXPECT_EQ(one("select count(*) from user_tab_columns where table_name = 'all_types'"), "0");
  exec("drop table b_table");
  EXPECT_EQ(one("select count(*) from user_tab_columns where table_name = 'B_TABLE'"), "0");
  EXPECT_EQ(rows("select * from user_tables"), std::vector<std::string>{"ALL_TYPES"});
}

TEST_F(Describe, DualHasOneRow) {
  EXPECT_EQ(one("select * from dual"), "X");
  EXPECT_EQ(one("select 1 + 2, 'a' || 'b', user from dual"), "3|ab|SCOTT");
  EXPECT_EQ(one("select count(*) from sys.dual"), "1");
}

}  // namespace
}  // namespace standin::testing
