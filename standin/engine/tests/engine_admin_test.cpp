// Administration helpers: scripts, CSV loading, generated tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

TEST(SplitScript, EndsStatementsAtSemicolonsAndSlashLines) {
  const char* script =
      "-- a comment; not a statement\n"
      "create table t (a varchar2(10));\n"
      "insert into t values ('a;b');  /* ; inside a comment */\n"
      "\n"
      "insert into t\n"
      "  values ('x')\n"
      "/\n"
      "select \"A;\" from t;;\n"
      "  commit  ";
  auto st = splitScript(script);
  ASSERT_EQ(st.size(), 5u);
  EXPECT_EQ(st[0].text, "create table t (a varchar2(10))");
  EXPECT_EQ(st[0].line, 2);
  EXPECT_EQ(st[1].text, "insert into t values ('a;b')");
  EXPECT_EQ(st[1].line, 3);
  EXPECT_EQ(st[2].text, "insert into t\n  values ('x')");
  EXPECT_EQ(st[2].line, 5);
  EXPECT_EQ(st[3].text, "select \"A;\" from t");
  EXPECT_EQ(st[3].line, 8);
  EXPECT_EQ(st[4].text, "commit");
  EXPECT_EQ(st[4].line, 9);
}

class Admin : public EngineTest {};

TEST_F(Admin, RunScriptCommitsOrNamesTheFailingLine) {
  EXPECT_EQ(
      runScript(*session_, "create table t (a number(2));\ninsert into t values (1);\n", "ok.sql"),
      2);
  EXPECT_EQ(one("select count(*) from t"), "1");
  ASSERT_THAT(
      [&] {
        runScript(*session_, "insert into t values (2);\n\ninsert into t\nvalues (100);\n",
                  "bad.sql");
      },
      ::testing::ThrowsMessage<std::runtime_error>(::testing::StrEq(
          "bad.sql:3: ORA-01438: value larger than specified precision allowed for this column")))
      << "script with a failing statement succeeded";
  // The failing script's transaction is rolled back.
  EXPECT_EQ(one("select count(*) from t"), "1");
}

TEST_F(Admin, LoadCsvConvertsTextAsOracleDoes) {
  exec("create table people (id number(3), name varchar2(20), born date, note varchar2(10))");
  const char* csv =
      "ID,NAME,BORN,NOTE\n"
      "1,\"Smith, John\",1980-12-17,\n"
      "2,\"Quote \"\"Q\"\"\",1981-02-20 09:30:00,\"\"\r\n"
      "3,Иван,,x\n";
  EXPECT_EQ(loadCsv(*session_, "people", csv, "YYYY-MM-DD HH24:MI:SS"), 3);
  EXPECT_EQ(
      rows("select * from people order by id"),
      (std::vector<std::string>{"1|Smith, John|1980-12-17 00:00:00|<null>",
                                "2|Quote \"Q\"|1981-02-20 09:30:00|<null>", "3|Иван|<null>|x"}));
  struct Bad {
    const char* csv;
    const char* message;
  };
  const Bad bad[] = {
      {"ID,NAME\n1\n", "CSV line 2: 1 fields, header has 2"},
      {"ID\n1000\n",
       "CSV line 2: ORA-01438: value larger than specified precision allowed for "
       "this column"},
      {"ID\nx\n", "CSV line 2: ORA-01722: invalid number"},
      {"ID,NAME\n5,\"open\n", "CSV: quoted field not closed"},
  };
  for (const Bad& b : bad) {
    ASSERT_THAT([&] { loadCsv(*session_, "people", b.csv, "YYYY-MM-DD"); },
                ::testing::ThrowsMessage<std::runtime_error>(::testing::StrEq(b.message)))
        << b.csv;
  }
  EXPECT_EQ(one("select count(*) from people"), "3");
}

TEST_F(Admin, GenerateMakesTheRequestedShape) {
  generateTable(folder_, "scott", "gen", 100, 12);
  EXPECT_EQ(one("select count(*), min(id), max(id) from gen"), "100|1|100");
  auto c = session_->prepare("select * from gen");
  ASSERT_EQ(c->columns().size(), 12u);
  EXPECT_EQ(c->columns()[0].name, "ID");
  EXPECT_EQ(c->columns()[1].type, OraType::Varchar2);
  EXPECT_EQ(c->columns()[2].type, OraType::Number);
  EXPECT_EQ(c->columns()[3].type, OraType::Date);
  // Every generated value satisfies its column's type.
  EXPECT_EQ(one("select count(*) from gen where length(c001) > 30 or length(c005) > 10 or "
                "abs(c002) >= 10000000000"),
            "0");
  EXPECT_THROW(generateTable(folder_, "scott", "gen", 1, 2), OraError);
  EXPECT_THROW(generateTable(folder_, "scott", "bad", 1, 0), std::runtime_error);
}

}  // namespace
}  // namespace standin::testing
