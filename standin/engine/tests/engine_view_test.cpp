// Views: CREATE [OR REPLACE] VIEW, DROP VIEW, USER_VIEWS, their columns in USER_TAB_COLUMNS with
// the types of their queries, and the casts a view needs to turn other types into VARCHAR2,
// NUMBER and DATE.
#include <gmock/gmock.h>

#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

class EngineView : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    exec(
        "create table src (id number(5) not null, code char(3), wide nvarchar2(10), f float, "
        "ts timestamp, doc clob, txt varchar2(20))");
    exec(
        "insert into src values (2, '042', 'Ωмега', 12.75, "
        "to_date('2024-03-05 10:20:30', 'YYYY-MM-DD HH24:MI:SS'), '" +
        std::string(300, 'd') + "', '19.5')");
    exec(
        "insert into src values (1, '007', 'альфа', -1.5, "
        "to_date('1999-12-31 23:59:59', 'YYYY-MM-DD HH24:MI:SS'), 'short', '2001-02-03')");
  }
  std::string error(const std::string& sql) {
    try {
      exec(sql);
    } catch (const OraError& e) {
      return e.message;
    }
    return "";
  }
};

TEST_F(EngineView, CastsGiveTheViewColumnsTheirTypes) {
  exec(
      "create view v as select id, cast(code as number(3)) code_n, to_number(code) code_any, "
      "cast(wide as varchar2(10)) wide_v, cast(f as number(6,2)) f_n, cast(f as varchar2(10)) "
      "f_v, cast(ts as date) ts_d, trunc(ts) ts_day, cast(substr(doc, 1, 255) as varchar2(255)) "
      "doc_v, dbms_lob.substr(doc, 10, 1) doc_l, to_char(doc) doc_c, "
      "to_date(txt, 'YYYY-MM-DD') txt_d, cast(code as varchar2(3)) code_v from src");
  // The dictionary query of the program, on a view.
  EXPECT_EQ(rows("select column_name, data_type, data_length, data_precision, data_scale, "
                 "nullable from user_tab_columns where table_name = 'V' order by column_id"),
            (std::vector<std::string>{
                "ID|NUMBER|22|5|0|N",
                "CODE_N|NUMBER|22|3|0|Y",
                "CODE_ANY|NUMBER|22|<null>|<null>|Y",
                "WIDE_V|VARCHAR2|10|<null>|<null>|Y",
                "F_N|NUMBER|22|6|2|Y",
                "F_V|VARCHAR2|10|<null>|<null>|Y",
                "TS_D|DATE|7|<null>|<null>|Y",
                "TS_DAY|DATE|7|<null>|<null>|Y",
                "DOC_V|VARCHAR2|255|<null>|<null>|Y",
                "DOC_L|VARCHAR2|4000|<null>|<null>|Y",
                "DOC_C|VARCHAR2|4000|<null>|<null>|Y",
                "TXT_D|DATE|7|<null>|<null>|Y",
                "CODE_V|VARCHAR2|3|<null>|<null>|Y",
            }));
  EXPECT_EQ(rows("select * from v where id = 1 order by 1"),
            std::vector<std::string>{"1|7|7|альфа|-1.5|-1.5|1999-12-31 23:59:59|1999-12-31 "
                                     "00:00:00|short|short|short|2001-02-03 00:00:00|007"});
  // The program's own select of a view, sorted by its first column.
  EXPECT_EQ(rows("select id, code_n, f_n, ts_day, doc_l from v order by 1"),
            (std::vector<std::string>{"1|7|-1.5|1999-12-31 00:00:00|short",
                                      "2|42|12.75|2024-03-05 00:00:00|dddddddddd"}));
  // A view is no table.
  EXPECT_EQ(rows("select table_name from user_tables order by 1"), std::vector<std::string>{"SRC"});
}

TEST_F(EngineView, ACastThatDoesNotFitFailsInsteadOfCutting) {
  exec("create view cut as select cast(doc as varchar2(255)) d from src");
  EXPECT_THAT([&] { rows("select * from cut"); },
              ::testing::Throws<OraError>(
                  ::testing::Field(&OraError::message, "ORA-25137: Data value out of range")));
  // NUMBER(p,s) refuses what does not fit, as a column does.
  exec("create view small as select cast(f as number(2,1)) n from src");
  EXPECT_THAT([&] { rows("select * from small"); },
              ::testing::Throws<OraError>(::testing::Field(
                  &OraError::message,
                  "ORA-01438: value larger than specified precision allowed for this column")));
  exec("create view rounded as select id, cast(f as number(4,1)) n from src");
  EXPECT_EQ(rows("select n from rounded order by id"), (std::vector<std::string>{"-1.5", "12.8"}));
}

TEST_F(EngineView, CreateReplaceDropAndTheDictionary) {
  exec("create view v as select id, txt from src where id > 1");
  EXPECT_EQ(rows("select * from v order by 1"), std::vector<std::string>{"2|19.5"});
  EXPECT_EQ(rows("select view_name, text_length, text from user_views"),
            std::vector<std::string>{"V|36|select id, txt from src where id > 1"});
  EXPECT_EQ(error("create view v as select id from src"),
            "ORA-00955: name is already used by an existing object");
  EXPECT_EQ(error("create or replace view src as select id from src"),
            "ORA-00955: name is already used by an existing object");

  exec("create or replace view v (n, t) as select id, txt from src");
  EXPECT_EQ(rows("select * from v order by n desc"),
            (std::vector<std::string>{"2|19.5", "1|2001-02-03"}));
  EXPECT_EQ(rows("select column_name from user_tab_columns where table_name = 'V' order by "
                 "column_id"),
            (std::vector<std::string>{"N", "T"}));
  EXPECT_EQ(rows("select count(*) from user_views"), std::vector<std::string>{"1"});

  // Errors Oracle gives for views.
  EXPECT_EQ(error("create view e as select id + 1 from src"),
            "ORA-00998: must name this expression with a column alias");
  EXPECT_EQ(error("create view e (a) as select id, txt from src"),
            "ORA-01730: invalid number of column names specified");
  EXPECT_EQ(error("create view e as select id, id from src"), "ORA-00957: duplicate column name");
  EXPECT_EQ(error("create view e as select nosuch from src"),
            "ORA-00904: \"NOSUCH\": invalid identifier");
  EXPECT_EQ(error("insert into v values (3, 'x')"),
            "ORA-01732: data manipulation operation not legal on this view");
  EXPECT_EQ(error("drop table v"), "ORA-00942: table or view does not exist");
  EXPECT_EQ(error("drop view src"), "ORA-00942: table or view does not exist");

  exec("drop view v");
  EXPECT_EQ(error("select * from v"), "ORA-00942: table or view does not exist");
  EXPECT_EQ(rows("select count(*) from user_views"), std::vector<std::string>{"0"});
  EXPECT_EQ(rows("select count(*) from user_tab_columns where table_name = 'V'"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(error("drop view v"), "ORA-00942: table or view does not exist");
  // The name is free again, for a table too.
  exec("create table v (x number)");
  EXPECT_EQ(rows("select table_name from user_tables order by 1"),
            (std::vector<std::string>{"SRC", "V"}));
}

}  // namespace
}  // namespace standin::testing
