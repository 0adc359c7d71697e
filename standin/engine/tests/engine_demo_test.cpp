// The demo server, built by the test from the same scripts as the build's demo server.
#include <gtest/gtest.h>

#include <filesystem>

#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

// An absolute path from the build: __FILE__ may be relative to the build folder (a compiler cache
// with a base folder makes it so), and the tests run in another folder.
const std::string kScripts = STANDIN_DEMO_SCRIPTS;

class Demo : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    demo_ = (root_ / "demo").string();
    createDemoServer(demo_, kScripts);
    session_ = Server::attach(demo_)->logon("demo", "demo");
  }
  std::string demo_;
};

TEST_F(Demo, HasTheTablesThatShowTheProgramsRange) {
  EXPECT_EQ(rows("select table_name from user_tables order by 1"),
            (std::vector<std::string>{"BLOCK26", "COUNTRY_CODES", "DEPT", "DOCUMENTS", "EMP",
                                      "EMPTY_TABLE", "LONG_COLUMN_NAMES", "LONG_TEXTS",
                                      "NUMBER_FORMS", "WIDE_TABLE"}));
  struct Count {
    const char* table;
    const char* rows;
  };
  const Count counts[] = {{"EMP", "14"},        {"DEPT", "4"},
                          {"EMPTY_TABLE", "0"}, {"BLOCK26", "26"},
                          {"WIDE_TABLE", "30"}, {"NUMBER_FORMS", "8"},
                          {"DOCUMENTS", "2"},   {"COUNTRY_CODES", "2"},
                          {"LONG_TEXTS", "1"},  {"LONG_COLUMN_NAMES", "3"}};
  for (const Count& c : counts)
    EXPECT_EQ(one(std::string("select count(*) cnt from ") + c.table), c.rows) << c.table;
}

TEST_F(Demo, StaffDataHasCyrillicNullsAndDatesWithAndWithoutTime) {
  EXPECT_EQ(one("select ename, job, hiredate from emp where empno = 7369"),
            "Смирнов Иван|Клерк|1980-12-17 00:00:00");
  EXPECT_EQ(one("select hiredate from emp where empno = 7566"), "1981-04-02 23:59:59");
  EXPECT_EQ(one("select count(*) from emp where comm is null"), "10");
  EXPECT_EQ(one("select count(*) from emp where hiredate is null or ename is null or job is null"),
            "3");
}

TEST_F(Demo, NumberFormsKeepFullPrecision) {
  EXPECT_EQ(one("select plain_num, int_col from number_forms where id = 4"),
            "-12345678901234567890123456789012345678|-99999999999999999999999999999999999999");
  EXPECT_EQ(one("select precise from number_forms where id = 3"),
            "-1234567890123456789012345678.0123456789");
  EXPECT_EQ(one("select plain_num from number_forms where id = 6"),
            "0." + std::string(129, '0') + "1");
  EXPECT_EQ(one("select to_char(plain_num) from number_forms where id = 5"), "1.5E+100");
  EXPECT_EQ(one("select money, rounded_100, small_int from number_forms where id = 8"),
            "1.01|1900|6");
  auto c = session_->prepare("select * from number_forms");
  const std::vector<std::pair<int, int>> forms = {{3, 0}, {0, -127}, {38, 0}, {126, -127}, {4, 0},
                                                  {9, 0}, {10, 0},   {12, 2}, {38, 10},    {6, -2}};
  ASSERT_EQ(c->columns().size(), forms.size());
  for (size_t i = 0; i < forms.size(); ++i) {
    EXPECT_EQ(c->columns()[i].precision, forms[i].first) << c->columns()[i].name;
    EXPECT_EQ(c->columns()[i].scale, forms[i].second) << c->columns()[i].name;
  }
}

TEST_F(Demo, TablesTheProgramMustRefuseOrShorten) {
  auto names = rows(
      "select column_name from user_tab_columns where table_name = "
      "'LONG_COLUMN_NAMES' order by column_id");
  ASSERT_GE(names.size(), 3u);
  EXPECT_GT(names[1].size(), 10u);
  EXPECT_EQ(names[1].substr(0, 10), names[2].substr(0, 10));
  EXPECT_EQ(one("select data_type from user_tab_columns where table_name = 'DOCUMENTS' and "
                "column_name = 'BODY'"),
            "CLOB");
  EXPECT_EQ(one("select data_type, data_length from user_tab_columns where table_name = "
                "'COUNTRY_CODES' and column_id = 1"),
            "CHAR|2");
  EXPECT_EQ(one("select data_length from user_tab_columns where table_name = 'LONG_TEXTS' and "
                "column_name = 'DETAILS'"),
            "1000");
  EXPECT_EQ(one("select length(details) from long_texts"), "400");
  EXPECT_EQ(one("select count(*) from user_tab_columns where table_name = 'WIDE_TABLE'"), "300");
  EXPECT_EQ(session_->prepare("select * from WIDE_TABLE order by 1")->columns().size(), 300u);
}

TEST_F(Demo, BlockOf26RowsFetchesInOrder) {
  auto r = rows("select * from BLOCK26 order by 1");
  ASSERT_EQ(r.size(), 26u);
  EXPECT_EQ(r[0], "1|строка 1|2020-01-01 00:00:00");
  EXPECT_EQ(r[25], "26|строка 26|2020-01-26 18:30:00");
}

}  // namespace
}  // namespace standin::testing
