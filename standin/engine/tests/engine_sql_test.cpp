// Oracle SQL over the engine: errors with their texts and offsets, text and date rules, DML
// counts, transactions, ALTER SESSION.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

using ::testing::Field;
using ::testing::Throws;

class Sql : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    exec(
        "create table emp (empno number(4) primary key, ename varchar2(10) not null, "
        "hired date, sal number(7,2), deptno number(2))");
    exec("insert into emp values (1, 'Smith', to_date('1980-12-17', 'YYYY-MM-DD'), 800, 20)");
    exec(
        "insert into emp values (2, 'Allen', to_date('1981-02-20 09:30:00', "
        "'YYYY-MM-DD HH24:MI:SS'), 1600, 30)");
    exec("insert into emp values (3, 'ИВАН', null, null, 30)");
    session_->commit();
  }

  // Runs `sql` to its last row and rolls back; a failure other than an OraError is a test failure.
  void runFailingOnlyWithOraError(const std::string& sql) {
    try {
      auto c = session_->prepare(sql);
      c->execute();
      while (c->step()) {
      }
      session_->rollback();
    } catch (const OraError&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << sql << ": " << e.what();
    }
  }
};

TEST_F(Sql, ErrorsCarryThePublishedTextAndTheParseOffset) {
  struct Case {
    const char* sql;
    int code;
    const char* message;
    int offset;
  };
  const Case cases[] = {
      {"select * from nosuch", 942, "ORA-00942: table or view does not exist", 14},
      {"select foo from emp", 904, "ORA-00904: \"FOO\": invalid identifier", 7},
      {"select e.foo from emp e", 904, "ORA-00904: \"E\".\"FOO\": invalid identifier", 7},
      {"select \"ename\" from emp", 904, "ORA-00904: \"ename\": invalid identifier", 7},
      {"select nosuchfn(1) from dual", 904, "ORA-00904: \"NOSUCHFN\": invalid identifier", 7},
      {"select 1", 923, "ORA-00923: FROM keyword not found where expected", 8},
      {"select empno ename sal from emp", 923, "ORA-00923: FROM keyword not found where expected",
       19},
      {"select from emp", 936, "ORA-00936: missing expression", 7},
      {"select empno from emp where", 936, "ORA-00936: missing expression", 27},
      {"select empno from emp order by", 936, "ORA-00936: missing expression", 30},
      {"select empno from emp emp2 emp3", 933, "ORA-00933: SQL command not properly ended", 27},
      {"select * from emp;", 911, "ORA-00911: invalid character", 17},
      {"selec * from emp", 900, "ORA-00900: invalid SQL statement", 0},
      {"select 'abc from emp", 1756, "ORA-01756: quoted string not properly terminated", 7},
      {"select (1 from dual", 907, "ORA-00907: missing right parenthesis", 10},
      {"select empno, count(*) from emp", 937, "ORA-00937: not a single-group group function", 7},
      {"select ename, count(*) from emp group by deptno", 979,
       "ORA-00979: not a GROUP BY expression", 7},
      {"select a.empno from emp a, emp b", 0, "", 0},
      {"select empno from emp a, emp b", 918, "ORA-00918: column ambiguously defined", 7},
      {"select * from emp order by 9", 1785,
       "ORA-01785: ORDER BY item must be the number of a SELECT-list expression", 27},
      {"insert into emp values (9)", 947, "ORA-00947: not enough values", 25},
      {"insert into emp (empno, ename) values (9, 'a', 3)", 913, "ORA-00913: too many values", 47},
      {"insert into emp (empno, empno) values (9, 9)", 957, "ORA-00957: duplicate column name", 24},
      {"update emp set nosuch = 1", 904, "ORA-00904: \"NOSUCH\": invalid identifier", 15},
      {"insert into user_tables values ('X')", 1031, "ORA-01031: insufficient privileges", 12},
      {"create table emp (a number)", 955, "ORA-00955: name is already used by an existing object",
       13},
      {"create table t (a varchar2)", 906, "ORA-00906: missing left parenthesis", 26},
      {"create table t (a varchar2(4001))", 910,
       "ORA-00910: specified length too long for its datatype", 27},
      {"create table t (a number(39))", 1727,
       "ORA-01727: numeric precision specifier is out of range (1 to 38)", 25},
      {"create table t (a varchar2(99999999999))", 910,
       "ORA-00910: specified length too long for its datatype", 27},
      {"create table t (a foo)", 902, "ORA-00902: invalid datatype", 18},
      {"create table t (a number, a date)", 957, "ORA-00957: duplicate column name", 26},
      {"create table t (select number)", 904, "ORA-00904: : invalid identifier", 16},
      {"create table t (date date)", 904, "ORA-00904: : invalid identifier", 16},
      {"create table t (\"DATE\" date, size_ number)", 0, "", 0},
      {"drop table nosuch", 942, "ORA-00942: table or view does not exist", 11},
      {"select 1 from dual where 1 > 'x'", 1722, "ORA-01722: invalid number", 0},
      {"select * from emp where empno = :id", 1008, "ORA-01008: not all variables bound", 0},
      {"begin null; end;", 3001, "ORA-03001: unimplemented feature", 0},
      {"select * from emp natural join emp", 3001, "ORA-03001: unimplemented feature", 18},
      {"select * from emp a join emp b using (empno)", 3001, "ORA-03001: unimplemented feature",
       31},
      {"select rownum, ename from emp", 3001, "ORA-03001: unimplemented feature", 7},
      {"select *, empno from emp", 923, "ORA-00923: FROM keyword not found where expected", 8},
      {"select empno, * from emp", 936, "ORA-00936: missing expression", 14},
      {"select 1e126 from dual", 1426, "ORA-01426: numeric overflow", 0},
      {"select x123456789012345678901234567890 from dual", 972, "ORA-00972: identifier is too long",
       7},
  };
  for (const Case& c : cases) {
    OraError e = error(c.sql);
    EXPECT_EQ(e.code, c.code) << c.sql << ": " << e.message;
    EXPECT_EQ(e.message, c.message) << c.sql;
    EXPECT_EQ(e.parseOffset, c.offset) << c.sql;
  }
}

TEST_F(Sql, EveryPrefixOfAStatementFailsCleanly) {
  // Cut at every byte, each statement either runs or raises an OraError: no other exception and
  // no crash (the sanitizer build runs this too).
  const char* statements[] = {
      "select e.ename, d.dummy, count(*) c from emp e, dual d where e.empno in (1, 2) and "
      "e.ename like 'S%' group by e.ename, d.dummy having count(*) > 0 order by 1 desc nulls last",
      "insert into emp (empno, ename, hired) select empno + 100, upper(ename), "
      "to_date('2024-01-02', 'YYYY-MM-DD') from emp where sal between 1 and 2000",
      "update emp e set e.sal = nvl(e.sal, 0) * 1.1, e.ename = 'Ив' || 'ан' where exists "
      "(select 1 from dual) and (e.deptno = 20 or e.deptno is null)",
      "create table x1 (a number(5,2) not null primary key, b varchar2(10 byte), c date, "
      "d float(10), unique (b))",
      "alter session set nls_date_format = 'DD.MM.YYYY HH24:MI' nls_numeric_characters = '. '",
      "select case when sal > 1000 then 'a' else \"ENAME\" end, decode(deptno, 1, 2), "
      "substr('x', -1), (select max(empno) from emp) from emp union all select 'b', 1, 'y', 2 "
      "from dual",
  };
  for (const char* full : statements) {
    std::string s = full;
    for (size_t cut = 0; cut <= s.size(); ++cut) {
      runFailingOnlyWithOraError(s.substr(0, cut));
    }
  }
}

TEST_F(Sql, DeepNestingIsRefusedNotOverflowingTheStack) {
  const std::pair<std::string, std::string> shapes[] = {
      {"(", ")"}, {"- ", ""}, {"not ", ""}, {"nvl(", ", 1)"}, {"(select ", " from dual)"}};
  for (const auto& [open, close] : shapes) {
    std::string inner = "1", deep = "1";
    for (int i = 0; i < 8; ++i) inner = open + inner + close;
    for (int i = 0; i < 5000; ++i) deep = open + deep + close;
    bool condition = open == "not ";
    std::string head = condition ? "select 1 from dual where " : "select ";
    std::string tail = condition ? " = 1" : " from dual";
    EXPECT_EQ(error(head + inner + tail).code, 0) << open;
    EXPECT_EQ(error(head + deep + tail).code, 3001) << open;
  }
}

TEST_F(Sql, RandomTokenSequencesFailCleanly) {
  // Statements made of random words and symbols (a fixed random sequence) raise OraError or run;
  // nothing else.
  const char* words[] = {
      "select",  "from",     "where",  "emp",      "dual",    "empno",   "ename",
      "sal",     "*",        ",",      "(",        ")",       "=",       "<",
      "+",       "-",        "||",     "'x'",      "''",      "1",       "1.5e3",
      "and",     "or",       "not",    "null",     "is",      "in",      "like",
      "between", "group",    "by",     "order",    "having",  "count",   "nvl",
      "to_date", "to_char",  "sum",    "case",     "when",    "then",    "else",
      "end",     "union",    "all",    "distinct", "e",       ".",       "insert",
      "into",    "values",   "update", "set",      "delete",  "create",  "table",
      "number",  "varchar2", "date",   "drop",     "alter",   "session", "nls_date_format",
      "\"A\"",   "desc",     "exists", "sysdate",  "as",      "join",    "on",
      "left",    "decode",   "substr", "default",  "primary", "key"};
  const size_t n = sizeof words / sizeof words[0];
  uint64_t x = 42;
  for (int i = 0; i < 4000; ++i) {
    const char* starts[] = {"select ",           "select * from emp where ", "insert into emp ",
                            "update emp set ",   "delete from emp where ",   "create table t ",
                            "alter session set "};
    std::string sql = starts[(x >> 40) % 7];
    int len = 1 + static_cast<int>(x % 14);
    for (int k = 0; k < len; ++k) {
      x = x * 6364136223846793005ull + 1442695040888963407ull;
      sql += std::string(words[(x >> 33) % n]) + " ";
    }
    runFailingOnlyWithOraError(sql);
  }
}

TEST_F(Sql, DefaultsFillColumnsThatAnInsertLeavesOut) {
  exec(
      "create table d (id number(3), status varchar2(5) default 'new' not null, "
      "qty number(5,1) default 2.25, added date default sysdate, note varchar2(5) default null)");
  exec("insert into d (id) values (1)");
  exec("insert into d (id, status, qty) values (2, 'old', null)");
  exec("insert into d (id) select 3 from dual");
  EXPECT_EQ(rows("select id, status, qty, note, nvl2(added, 'dated', 'none') from d order by id"),
            (std::vector<std::string>{"1|new|2.3|<null>|dated", "2|old|<null>|<null>|dated",
                                      "3|new|2.3|<null>|dated"}));
  EXPECT_EQ(error("create table e (a number, b number default a + 1)").code, 984);
  EXPECT_EQ(error("create table e (a number default to_date('2024', 'YYYY'))").code, 932);
  // A default that does not fit its column fails at the insert, as in Oracle.
  exec("create table f (id number, code varchar2(2) default 'toolong')");
  EXPECT_EQ(error("insert into f (id) values (1)").code, 12899);
}

TEST_F(Sql, VarcharLengthIsCountedInBytes) {
  // 'Иванович' is 8 characters and 16 bytes.
  OraError e = error("insert into emp (empno, ename) values (9, 'Иванович')");
  EXPECT_EQ(e.code, 12899);
  EXPECT_EQ(e.message,
            "ORA-12899: value too large for column \"SCOTT\".\"EMP\".\"ENAME\" (actual: 16, "
            "maximum: 10)");
  EXPECT_EQ(error("insert into emp (empno, ename) values (9, 'Иван')").code, 0);
  EXPECT_EQ(error("update emp set ename = 'abcdefghijk' where empno = 1").code, 12899);
}

TEST_F(Sql, RawValuesFromHexText) {
  exec("create table r (b raw(4))");
  const char* inserts[] = {"insert into r values (hextoraw('0AFF10'))",
                           "insert into r values ('0aff10')", "insert into r values ('ABC')"};
  for (const char* s : inserts) EXPECT_EQ(error(s).code, 0) << s;
  EXPECT_EQ(rows("select rawtohex(b), b from r"),
            (std::vector<std::string>{"0AFF10|<3 bytes>", "0AFF10|<3 bytes>", "0ABC|<2 bytes>"}));
  EXPECT_EQ(error("insert into r values ('0G')").code, 1465);
  OraError e = error("insert into r values ('0102030405')");
  EXPECT_EQ(e.message,
            "ORA-12899: value too large for column \"SCOTT\".\"R\".\"B\" (actual: 5, maximum: 4)");
  EXPECT_EQ(error("insert into r values (5)").code, 932);
}

TEST_F(Sql, NotNullAndUniqueConstraints) {
  OraError e = error("insert into emp (empno) values (9)");
  EXPECT_EQ(e.message, "ORA-01400: cannot insert NULL into (\"SCOTT\".\"EMP\".\"ENAME\")");
  e = error("update emp set ename = null where empno = 1");
  EXPECT_EQ(e.message, "ORA-01407: cannot update (\"SCOTT\".\"EMP\".\"ENAME\") to NULL");
  // The empty string is NULL.
  EXPECT_EQ(error("insert into emp (empno, ename) values (9, '')").code, 1400);
  EXPECT_EQ(error("insert into emp (empno, ename) values (1, 'x')").code, 1);
}

TEST_F(Sql, TextRules) {
  EXPECT_EQ(one("select count(*) from emp where ename = 'smith'"), "0");
  EXPECT_EQ(one("select count(*) from emp where ename = 'Smith'"), "1");
  EXPECT_EQ(one("select count(*) from emp where ename like 'S%'"), "1");
  EXPECT_EQ(one("select count(*) from emp where ename like 's%'"), "0");
  EXPECT_EQ(one("select count(*) from dual where '' is null"), "1");
  exec("create table codes (c char(3), v varchar2(3))");
  exec("insert into codes values ('RU', 'RU')");
  EXPECT_EQ(one("select c, length(c) from codes"), "RU |3");
  // CHAR against a literal pads with blanks; VARCHAR2 does not.
  EXPECT_EQ(one("select count(*) from codes where c = 'RU'"), "1");
  EXPECT_EQ(one("select count(*) from codes where v = 'RU '"), "0");
  EXPECT_EQ(one("select 'it''s' from dual"), "it's");
  EXPECT_EQ(one("select 'a' || null || 'b', length(''), nvl('', 'empty') from dual"),
            "ab|<null>|empty");
  EXPECT_EQ(one("select lower(ename), upper('ёжик'), initcap('hello wORLD') from emp where "
                "empno = 3"),
            "иван|ЁЖИК|Hello World");
  EXPECT_EQ(one("select substr('abcdef', 0, 2), substr('abcdef', -3), substr('абв', 2, 1), "
                "substr('abc', 5) from dual"),
            "ab|def|б|<null>");
  EXPECT_EQ(one("select lpad('7', 3, '0'), rpad('ab', 4, '*'), trim('  x  '), trim('   ') from "
                "dual"),
            "007|ab**|x|<null>");
  EXPECT_EQ(one("select replace('banana', 'a', 'o'), replace('banana', 'a'), instr('banana', "
                "'n') from dual"),
            "bonono|bnn|3");
  EXPECT_EQ(one("select decode(deptno, 20, 'twenty', 30, 'thirty', 'other') from emp where "
                "empno = 1"),
            "twenty");
}

TEST_F(Sql, DatesFormatsAndNls) {
  struct Case {
    const char* expr;
    const char* value;
  };
  const Case cases[] = {
      {"to_date('20240105', 'YYYYMMDD')", "2024-01-05 00:00:00"},
      {"to_date('05.01.2024 13:45:10', 'DD.MM.YYYY HH24:MI:SS')", "2024-01-05 13:45:10"},
      {"to_date('5-jan-2024', 'DD-MON-YYYY')", "2024-01-05 00:00:00"},
      {"to_date('January 5, 2024 1:05 PM', 'Month DD, YYYY HH:MI AM')", "2024-01-05 13:05:00"},
      {"to_date('2024-02-29', 'YYYY-MM-DD')", "2024-02-29 00:00:00"},
      {"to_date('2024-01-05', 'YYYY-MM-DD HH24:MI:SS')", "2024-01-05 00:00:00"},
      {"trunc(to_date('2024-01-05 13:45', 'YYYY-MM-DD HH24:MI'))", "2024-01-05 00:00:00"},
      {"trunc(to_date('2024-05-17', 'YYYY-MM-DD'), 'MM')", "2024-05-01 00:00:00"},
      {"to_date('2024-01-31', 'YYYY-MM-DD') + 1", "2024-02-01 00:00:00"},
      {"to_date('2024-01-01', 'YYYY-MM-DD') - 1/24", "2023-12-31 23:00:00"},
      {"add_months(to_date('2024-01-31', 'YYYY-MM-DD'), 1)", "2024-02-29 00:00:00"},
      {"date '2000-01-01'", "2000-01-01 00:00:00"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(one(std::string("select ") + c.expr + " from dual"), c.value) << c.expr;
  const Case numbers[] = {
      {"last_day(to_date('2024-02-10 11:00', 'YYYY-MM-DD HH24:MI'))", "2024-02-29 11:00:00"},
      {"months_between(date '2024-03-15', date '2024-01-15')", "2"},
      {"months_between(date '2024-02-29', date '2024-01-31')", "1"},
      {"months_between(date '2024-01-01', date '2024-02-01')", "-1"},
      {"months_between(date '2024-03-16', date '2024-03-15')", "0.032258064516129"},
      {"power(2, 10)", "1024"},
      {"sqrt(16)", "4"},
      {"round(ln(exp(2)), 10)", "2"},
      {"log(10, 1000)", "3"},
  };
  for (const Case& c : numbers)
    EXPECT_EQ(one(std::string("select ") + c.expr + " from dual"), c.value) << c.expr;
  EXPECT_EQ(error("select sqrt(-1) from dual").code, 1428);
  EXPECT_EQ(error("select ln(0) from dual").code, 1428);
  const std::pair<const char*, int> errors[] = {
      {"to_date('2024-13-01', 'YYYY-MM-DD')", 1843},
      {"to_date('2023-02-29', 'YYYY-MM-DD')", 1847},
      {"to_date('2024-01-01 24:00', 'YYYY-MM-DD HH24:MI')", 1850},
      {"to_date('2024-01-01 10:60', 'YYYY-MM-DD HH24:MI')", 1851},
      {"to_date('2024x01', 'YYYY\"-\"MM')", 1861},
      {"to_date('2024-01-01 junk', 'YYYY-MM-DD')", 1830},
      {"to_date('abcd', 'YYYY')", 1858},
      {"to_date('2024', 'QQQ')", 1821},
      {"to_date('0000-01-01', 'YYYY-MM-DD')", 1841},
  };
  for (const auto& [expr, code] : errors)
    EXPECT_EQ(error(std::string("select ") + expr + " from dual").code, code) << expr;
  const std::pair<const char*, const char*> formats[] = {
      {"HH:MI A.M.", "09:30 A.M."},
      {"hh:mi a.m.", "09:30 a.m."},
      {"HH12 PM", "09 AM"},
      {"Mon DD YYYY", "Feb 20 1981"},
      {"MONTH", "FEBRUARY "},
      {"FMMonth", "February"},
      {"Dy, DDD", "Fri, 051"},
      {"DAY", "FRIDAY   "},
      {"YY-MM-DD SSSSS", "81-02-20 34200"},
      {"\"Q\"YYYY", "Q1981"},
  };
  for (const auto& [format, text] : formats)
    EXPECT_EQ(one(std::string("select to_char(hired, '") + format + "') from emp where empno = 2"),
              text)
        << format;
  // The session's date format reads and writes text without a format.
  EXPECT_EQ(session_->nls("NLS_DATE_FORMAT"), "DD-MON-RR");
  EXPECT_EQ(one("select to_char(hired) from emp where empno = 1"), "17-DEC-80");
  exec("ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'");
  EXPECT_EQ(session_->nls("NLS_DATE_FORMAT"), "YYYYMMDD");
  EXPECT_EQ(one("select to_char(hired), to_char(hired, 'DD.MM.YYYY HH24:MI') from emp where "
                "empno = 2"),
            "19810220|20.02.1981 09:30");
  exec("insert into emp (empno, ename, hired) values (4, 'Ward', '19810222')");
  EXPECT_EQ(one("select hired from emp where empno = 4"), "1981-02-22 00:00:00");
  EXPECT_EQ(one("select count(*) from emp where hired < '19810101'"), "1");
  EXPECT_EQ(error("insert into emp (empno, ename, hired) values (5, 'X', '22.02.1981')").code,
            1858);
  EXPECT_EQ(error("insert into emp (empno, ename, hired) values (5, 'X', 5)").code, 932);
}

TEST_F(Sql, TimestampsAndSysdate) {
  exec("create table ts (t timestamp(3))");
  exec("insert into ts values (to_date('2024-03-04 05:06:07', 'YYYY-MM-DD HH24:MI:SS'))");
  auto c = session_->prepare("select t, sysdate from ts");
  c->execute();
  ASSERT_TRUE(c->step());
  EXPECT_EQ(c->kind(0), ValueKind::Date);
  DateTime d = c->asDate(0);
  EXPECT_EQ(d.year * 10000 + d.month * 100 + d.day, 20240304);
  EXPECT_EQ(d.hour * 10000 + d.minute * 100 + d.second, 50607);
  DateTime now = c->asDate(1);
  EXPECT_GE(now.year, 2024);
  EXPECT_EQ(c->asText(0), "2024-03-04 05:06:07");
}

TEST_F(Sql, AlterSessionKeepsKnownParametersAndRefusesOthers) {
  struct Case {
    const char* sql;
    int code;
    const char* parameter;
    const char* value;
  };
  const Case cases[] = {
      {"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'", 0, "NLS_DATE_FORMAT", "YYYYMMDD"},
      {"ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '", 0, "NLS_NUMERIC_CHARACTERS", ". "},
      {"alter session set nls_numeric_characters = ',.'", 0, "NLS_NUMERIC_CHARACTERS", ",."},
      {"alter session set nls_language = american", 0, "NLS_LANGUAGE", "AMERICAN"},
      {"alter session set nls_territory = 'RUSSIA'", 0, "NLS_DATE_FORMAT", "DD.MM.RR"},
      {"alter session set nls_territory = 'America'", 0, "NLS_NUMERIC_CHARACTERS", ".,"},
      {"alter session set nls_territory = 'GERMANY'", 3001, nullptr, nullptr},
      {"alter session set nls_sort = binary nls_comp = binary", 0, "NLS_COMP", "BINARY"},
      {"alter session set nls_timestamp_format = 'YYYY-MM-DD HH24:MI:SSXFF'", 0,
       "NLS_TIMESTAMP_FORMAT", "YYYY-MM-DD HH24:MI:SSXFF"},
      {"alter session set nls_foo = 'x'", 2248, nullptr, nullptr},
      {"alter session set optimizer_mode_x = rule", 2248, nullptr, nullptr},
      {"alter session set nls_numeric_characters = '..'", 12705, nullptr, nullptr},
      {"alter session set nls_numeric_characters = '1,'", 12705, nullptr, nullptr},
      {"alter session set nls_date_format = 'YYYY-QQ'", 1821, nullptr, nullptr},
      {"alter session set nls_sort = russian", 3001, nullptr, nullptr},
      {"alter session set", 922, nullptr, nullptr},
      {"alter session set nls_date_format", 922, nullptr, nullptr},
      {"alter session nls_date_format = 'YYYY'", 922, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    OraError e = error(c.sql);
    EXPECT_EQ(e.code, c.code) << c.sql << ": " << e.message;
    if (c.code == 2248) {
      EXPECT_EQ(e.message, "ORA-02248: invalid option for ALTER SESSION");
    }
    if (c.parameter) {
      EXPECT_EQ(session_->nls(c.parameter), c.value) << c.sql;
    }
  }
  // A refused statement changes nothing, not even its valid parts.
  exec("alter session set nls_date_format = 'YYYY'");
  EXPECT_EQ(error("alter session set nls_date_format = 'DD' nls_foo = 1").code, 2248);
  EXPECT_EQ(session_->nls("NLS_DATE_FORMAT"), "YYYY");
}

TEST_F(Sql, NumberFormatModels) {
  const std::pair<const char*, const char*> cases[] = {
      {"to_char(1234.5, '9999.99')", " 1234.50"},
      {"to_char(-1234.5, '9,999.99')", "-1,234.50"},
      {"to_char(0.5, '0.99')", " 0.50"},
      {"to_char(0.5, '9.99')", "  .50"},
      {"to_char(5, '000')", " 005"},
      {"to_char(-5, '99')", " -5"},
      {"to_char(0, '99')", "  0"},
      {"to_char(12345, '999')", "####"},
      {"to_char(1234.5, 'FM9999.99')", "1234.5"},
      {"to_char(1234.5, 'FM9999.00')", "1234.50"},
      {"to_char(2.345, '9.99')", " 2.35"},
      {"to_char(1234567, '9G999G999')", " 1,234,567"},
      {"to_char(0.5)", ".5"},
      {"to_char(-12.75)", "-12.75"},
  };
  for (const auto& [expr, text] : cases)
    EXPECT_EQ(one(std::string("select ") + expr + " from dual"), text) << expr;
  EXPECT_EQ(error("select to_char(1, '9X9') from dual").code, 1481);
}

TEST_F(Sql, NumericCharactersShapeNumberText) {
  exec("alter session set nls_numeric_characters = ',.'");
  EXPECT_EQ(one("select to_char(1234.5), to_char(1234.5, '9G999D99') from dual"),
            "1234,5| 1.234,50");
  EXPECT_EQ(one("select to_number('12,5') * 2 from dual"), "25");
  exec("ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '");
  EXPECT_EQ(one("select to_char(0.5), to_char(1234.5, 'FM9G999D00') from dual"), ".5|1 234.50");
}

TEST_F(Sql, DmlCountsRows) {
  struct Case {
    const char* sql;
    uint64_t count;
  };
  const Case cases[] = {
      {"update emp set sal = sal * 2 where deptno = 30", 2},
      {"update emp set sal = 1 where empno = 99", 0},
      {"insert into emp (empno, ename) select empno + 10, ename from emp", 3},
      {"delete from emp where empno > 10", 3},
      {"delete emp where ename = 'Smith'", 1},
      {"update emp e set e.deptno = 10", 2},
  };
  for (const Case& c : cases) EXPECT_EQ(exec(c.sql), c.count) << c.sql;
  EXPECT_EQ(rows("select empno, sal, deptno from emp order by 1"),
            (std::vector<std::string>{"2|3200|10", "3|<null>|10"}));
}

TEST_F(Sql, TableDefinitionsTruncateAndDrop) {
  exec(
      "create table parts (id number(5) constraint parts_pk primary key, code char(3), "
      "name varchar2(20) not null, constraint parts_uk unique (code, name))");
  EXPECT_EQ(rows("select column_name, nullable from user_tab_columns where table_name = 'PARTS' "
                 "order by column_id"),
            (std::vector<std::string>{"ID|N", "CODE|Y", "NAME|N"}));
  exec("insert into parts values (1, 'A', 'one')");
  EXPECT_EQ(error("insert into parts values (2, 'A', 'one')").code, 1);
  EXPECT_EQ(error("insert into parts values (2, 'B', 'two')").code, 0);
  // TRUNCATE commits what is pending and empties the table.
  auto other = Server::attach(folder_)->logon("scott", "tiger");
  exec("insert into emp (empno, ename) values (50, 'Kept')");
  exec("truncate table parts");
  EXPECT_EQ(one("select count(*) from parts"), "0");
  EXPECT_EQ(rows("select count(*) from emp where empno = 50", other.get()),
            std::vector<std::string>{"1"});
  exec("drop table parts cascade constraints purge");
  EXPECT_EQ(error("select * from parts").code, 942);
  EXPECT_EQ(one("select count(*) from user_tab_columns where table_name = 'PARTS'"), "0");
  // A dropped name can be used again, with other columns.
  exec("create table parts (x date)");
  EXPECT_EQ(session_->prepare("select * from parts")->columns().at(0).name, "X");
  const std::pair<const char*, int> refused[] = {
      {"create table q (a number check (a > 0))", 3001},
      {"create table q (a number references emp)", 3001},
      {"create table q as select * from emp", 3001},
      {"create table q (a number primary key, b number primary key)", 2260},
      {"create table q (a number primary key, b number, primary key (b))", 2260},
      {"create table q (a nchar(10))", 3001},
      {"create table q (a raw(10 char))", 907},
      {"create view v as select * from emp with read only", 3001},
      {"create force view v as select * from emp", 3001},
      {"create foo", 901},
      {"alter table emp add (x number)", 3001},
      {"drop view v", 942},
      {"create table user_tables (a number)", 955},
  };
  for (const auto& [sql, code] : refused) EXPECT_EQ(error(sql).code, code) << sql;
}

TEST_F(Sql, PredicatesSelectTheRightRows) {
  exec("insert into emp values (4, 'A_b%c', to_date('1981-02-20', 'YYYY-MM-DD'), 1600.5, null)");
  struct Case {
    const char* where;
    const char* empnos;
  };
  const Case cases[] = {
      {"sal = 800", "1"},
      {"sal <> 800", "2,4"},
      {"sal != 800", "2,4"},
      {"sal ^= 800", "2,4"},
      {"sal > 1600", "4"},
      {"sal >= 1600", "2,4"},
      {"sal < 1600.5", "1,2"},
      {"sal <= '1600'", "1,2"},
      {"sal between 800 and 1600", "1,2"},
      {"sal not between 800 and 1600", "4"},
      {"sal in (800, 1600.5)", "1,4"},
      {"sal not in (800, 1600.5)", "2"},
      {"sal not in (800, null)", ""},
      {"sal is null", "3"},
      {"sal is not null and deptno is null", "4"},
      {"deptno in (select deptno from emp where ename = 'Allen')", "2,3"},
      {"hired = to_date('1981-02-20', 'YYYY-MM-DD')", "4"},
      {"hired between date '1980-01-01' and date '1981-02-20'", "1,4"},
      {"trunc(hired) = date '1981-02-20'", "2,4"},
      {"hired in (date '1980-12-17', date '1981-02-20')", "1,4"},
      {"ename like 'A%'", "2,4"},
      {"ename like 'A\\_%' escape '\\'", "4"},
      {"ename like '%\\%%' escape '\\'", "4"},
      {"ename like '_llen'", "2"},
      {"ename not like '%e%'", "1,3,4"},
      {"upper(ename) = 'SMITH' or lower(ename) = 'иван'", "1,3"},
      {"not (sal > 1000 or sal is null)", "1"},
      {"(deptno = 30 and sal is null) or empno = 1", "1,3"},
      {"exists (select 1 from emp x where x.empno = emp.empno + 1)", "1,2,3"},
      {"empno = (select max(empno) from emp)", "4"},
      {"nvl(deptno, 0) = 0", "4"},
      {"length(ename) = 5", "1,2,4"},
  };
  for (const Case& c : cases) {
    std::string got;
    for (const std::string& r :
         rows(std::string("select empno from emp where ") + c.where + " order by empno"))
      got += (got.empty() ? "" : ",") + r;
    EXPECT_EQ(got, c.empnos) << c.where;
  }
}

TEST_F(Sql, QueriesJoinsSubqueriesAndSetOperations) {
  exec("create table dept (deptno number(2), dname varchar2(14))");
  exec("insert into dept values (20, 'RESEARCH')");
  exec("insert into dept values (30, 'SALES')");
  exec("insert into dept values (40, 'OPERATIONS')");
  EXPECT_EQ(rows("select e.ename, d.dname from emp e, dept d where e.deptno = d.deptno order by "
                 "e.empno"),
            (std::vector<std::string>{"Smith|RESEARCH", "Allen|SALES", "ИВАН|SALES"}));
  EXPECT_EQ(rows("select d.dname, count(e.empno) from dept d left join emp e on e.deptno = "
                 "d.deptno group by d.dname order by 2 desc, 1"),
            (std::vector<std::string>{"SALES|2", "RESEARCH|1", "OPERATIONS|0"}));
  EXPECT_EQ(rows("select ename from emp where deptno in (select deptno from dept where dname = "
                 "'SALES') order by ename"),
            (std::vector<std::string>{"Allen", "ИВАН"}));
  EXPECT_EQ(rows("select dname from dept d where exists (select 1 from emp e where e.deptno = "
                 "d.deptno) order by 1"),
            (std::vector<std::string>{"RESEARCH", "SALES"}));
  EXPECT_EQ(rows("select deptno from dept minus select deptno from emp"),
            std::vector<std::string>{"40"});
  EXPECT_EQ(rows("select deptno from emp union select deptno from dept order by 1 desc"),
            (std::vector<std::string>{"40", "30", "20"}));
  EXPECT_EQ(rows("select deptno from emp union all select deptno from dept order by deptno"),
            (std::vector<std::string>{"20", "20", "30", "30", "30", "40"}));
  EXPECT_EQ(error("select deptno from emp union select deptno from dept order by dname").code,
            1785);
  EXPECT_EQ(rows("select deptno, sum(sal) total from emp group by deptno having count(*) > 1"),
            std::vector<std::string>{"30|1600"});
  EXPECT_EQ(rows("select * from (select ename, sal from emp where sal is not null) x order by "
                 "sal desc"),
            (std::vector<std::string>{"Allen|1600", "Smith|800"}));
  EXPECT_EQ(rows("select ename, case when sal > 1000 then 'high' when sal is null then 'none' "
                 "else 'low' end from emp order by empno"),
            (std::vector<std::string>{"Smith|low", "Allen|high", "ИВАН|none"}));
  // Oracle puts NULLs last in ascending order and first in descending order.
  EXPECT_EQ(rows("select sal from emp order by sal"),
            (std::vector<std::string>{"800", "1600", "<null>"}));
  EXPECT_EQ(rows("select sal from emp order by 1 desc"),
            (std::vector<std::string>{"<null>", "1600", "800"}));
  EXPECT_EQ(one("select avg(sal), min(hired), max(ename) from emp"),
            "1200|1980-12-17 00:00:00|ИВАН");
}

TEST_F(Sql, RownumLimitsTheRowsThatPassTheWhere) {
  struct Case {
    const char* sql;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"select empno from emp where rownum <= 2", {"1", "2"}},
      {"select empno from emp where rownum < 2", {"1"}},
      {"select empno from emp where rownum = 1", {"1"}},
      {"select empno from emp where rownum = 2", {}},
      {"select empno from emp where rownum < 1", {}},
      {"select empno from emp where deptno = 30 and rownum <= 1", {"2"}},
      {"select empno from emp where rownum <= 5 and rownum < 3 and empno > 1", {"2", "3"}},
      // The first rows are taken, then sorted.
      {"select empno from emp where rownum <= 2 order by empno desc", {"2", "1"}},
      {"select empno e from emp where rownum <= 2 order by e desc", {"2", "1"}},
      {"select * from (select empno from emp order by empno desc) where rownum <= 2", {"3", "2"}},
      {"select count(*) from emp where empno in (select empno from emp where rownum <= 2)", {"2"}},
  };
  for (const Case& c : cases) EXPECT_EQ(rows(c.sql), c.rows) << c.sql;
  const char* refused[] = {
      "select empno from emp where rownum <= 2 or empno = 3",
      "select empno from emp where empno = 3 or rownum <= 2",
      "select empno from emp where (rownum <= 2)",
      "select empno from emp where rownum > 1",
      "select empno from emp where rownum + 1 < 3",
      "select deptno, count(*) from emp where rownum <= 2 group by deptno",
      "select distinct deptno from emp where rownum <= 2",
      "select empno from emp where rownum <= 2 order by sal",
      "select empno from emp where rownum <= 2 union select 1 from dual",
  };
  for (const char* sql : refused) EXPECT_EQ(error(sql).code, 3001) << sql;
}

TEST_F(Sql, CommitAndRollbackIsolateSessions) {
  auto other = Server::attach(folder_)->logon("scott", "tiger");
  exec("insert into emp (empno, ename) values (10, 'New')");
  EXPECT_EQ(one("select count(*) from emp"), "4");
  EXPECT_EQ(rows("select count(*) from emp", other.get()), std::vector<std::string>{"3"});
  session_->rollback();
  EXPECT_EQ(one("select count(*) from emp"), "3");
  exec("insert into emp (empno, ename) values (10, 'New')");
  session_->commit();
  EXPECT_EQ(rows("select count(*) from emp", other.get()), std::vector<std::string>{"4"});
  // COMMIT and ROLLBACK as statements.
  exec("delete from emp where empno = 10");
  exec("rollback work");
  EXPECT_EQ(one("select count(*) from emp"), "4");
  exec("delete from emp where empno = 10");
  exec("commit");
  EXPECT_EQ(rows("select count(*) from emp", other.get()), std::vector<std::string>{"3"});
  // DDL commits the work before it.
  exec("insert into emp (empno, ename) values (11, 'Kept')");
  exec("create table t (a number)");
  session_->rollback();
  EXPECT_EQ(rows("select count(*) from emp where empno = 11", other.get()),
            std::vector<std::string>{"1"});
  // The other session sees the new table at once.
  EXPECT_EQ(rows("select count(*) from t", other.get()), std::vector<std::string>{"0"});
}

TEST_F(Sql, AFailedStatementKeepsTheTransactionsEarlierWork) {
  exec("insert into emp (empno, ename) values (20, 'First')");
  EXPECT_EQ(error("insert into emp (empno, ename) values (21, 'far too long name')").code, 12899);
  session_->commit();
  EXPECT_EQ(one("select count(*) from emp where empno in (20, 21)"), "1");
}

TEST_F(Sql, CursorReportsMisuse) {
  auto c = session_->prepare("select * from emp");
  EXPECT_EQ(c->columns().size(), 5u);
  ASSERT_THAT([&] { c->step(); }, Throws<OraError>(Field(&OraError::code, 24338)))
      << "stepped before execute";
  c->execute();
  int n = 0;
  while (c->step()) ++n;
  EXPECT_EQ(n, 3);
  EXPECT_FALSE(c->step());
  // Executing again starts over.
  c->execute();
  EXPECT_TRUE(c->step());
  EXPECT_THROW(c->kind(5), std::out_of_range);
}

TEST_F(Sql, CursorsOutlivingTheirSessionReportNotLoggedOn) {
  auto query = session_->prepare("select * from emp");
  query->execute();
  ASSERT_TRUE(query->step());
  exec("insert into emp (empno, ename) values (30, 'Pending')");
  session_.reset();  // ends the session: its work is committed, as at an Oracle log-off
  for (auto* call : {+[](Cursor& c) { c.execute(); }, +[](Cursor& c) { c.step(); }}) {
    ASSERT_THAT([&] { call(*query); }, Throws<OraError>(Field(&OraError::code, 1012)))
        << "a cursor of an ended session ran";
  }
  query.reset();
  session_ = Server::attach(folder_)->logon("scott", "tiger");
  EXPECT_EQ(one("select ename from emp where empno = 30"), "Pending");
}

TEST_F(Sql, TheProgramsStatements) {
  const char* statements[] = {"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'",
                              "ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '"};
  for (const char* s : statements) EXPECT_EQ(error(s).code, 0) << s;
  EXPECT_EQ(rows("select table_name from user_tables order by 1 "),
            std::vector<std::string>{"EMP"});
  EXPECT_EQ(rows("select column_name, data_type, data_length, data_precision, data_scale from "
                 "user_tab_columns where table_name = 'EMP' order by Column_id"),
            (std::vector<std::string>{"EMPNO|NUMBER|22|4|0", "ENAME|VARCHAR2|10|<null>|<null>",
                                      "HIRED|DATE|7|<null>|<null>", "SAL|NUMBER|22|7|2",
                                      "DEPTNO|NUMBER|22|2|0"}));
  EXPECT_EQ(one("select count(*) cnt from EMP"), "3");
  EXPECT_EQ(
      rows("select * from EMP order by 1"),
      (std::vector<std::string>{"1|Smith|1980-12-17 00:00:00|800|20",
                                "2|Allen|1981-02-20 09:30:00|1600|30", "3|ИВАН|<null>|<null>|30"}));
}

}  // namespace
}  // namespace standin::testing
