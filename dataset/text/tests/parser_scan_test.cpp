#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "dataset/text/CRParser.h"
#include "dataset/text/OraParser.h"

namespace tarnwick {
namespace {

std::unique_ptr<TParser> MakeParser(bool oracle) {
  if (oracle) return std::make_unique<TOraParser>("");
  return std::make_unique<TParser>("");
}

struct ParamCase {
  const char* text;
  std::vector<TOraScannedParam> expected;
};

TEST(OraParamScanTest, FindsDistinctParametersInOrder) {
  const std::vector<ParamCase> cases = {
      {"select * from T where a = :p1 and b = :P1 -- :x", {{"p1", false}}},
      {"begin :a := 1; end;", {{"a", false}}},
      {"x := y", {}},
      {"select ':x' from dual /* :y */", {}},
      {"select :\"My Name\" from dual", {{"My Name", true}}},
      {"select :\"unterminated", {{"unterminated", true}}},
      {":\"P\" :p", {{"P", true}}},
      {"select :from, :Where from dual", {{"FROM", false}, {"WHERE", false}}},
      {"where a = :1 and b = :2", {{"1", false}, {"2", false}}},
      {":b, :a, :B, :c, :a", {{"b", false}, {"a", false}, {"c", false}}},
      {"x = : y", {{"y", false}}},  // blanks between colon and name are skipped
      {"x = :/*c*/y", {{"y", false}}},
      {"x = :'s'", {}},
      {"x = :=", {}},
      {"x = :", {}},
      {"x = ::a", {}},
      {"select :v$x, :a#b from dual", {{"v$x", false}, {"a#b", false}}},
      {"select :Имя from dual", {{"Имя", false}}},
      {"create trigger t before insert on x for each row begin :new.a := :old.a; end;", {}},
      {"select :a from t trigger :b", {{"a", false}}},
      {"select :trigger, :c from t", {{"TRIGGER", false}, {"c", false}}},
      {"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'", {}},
      {"ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '", {}},
      {"select table_name from user_tables order by 1 ", {}},
      {"select column_name, data_type, data_length, data_precision, data_scale from "
       "user_tab_columns where table_name = 'EMP:X' order by column_id",
       {}},
      {"select count(*) cnt from EMP", {}},
      {"select * from EMP order by 1", {}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ScanOraParams(c.text), c.expected) << c.text;
}

TEST(OraParamScanTest, UnknownCharacterPropagates) {
  EXPECT_THROW(ScanOraParams("select :a\f from dual"), Exception);
  EXPECT_NO_THROW(ScanOraParams("select '\f' from dual"));
}

struct ParseCase {
  const char* text;
  bool oracle;
  bool withList;
  std::string expectedText;
  std::vector<std::string> expectedParams;
};

TEST(ParseSQLTest, RewritesParametersAndDropsComments) {
  const std::vector<ParseCase> cases = {
      {"select * from t where a = :a and b = :b /* c */",
       false,
       true,
       "select * from t where a = ? AND b = ? ",
       {"a", "b"}},
      {":a :a :A", false, true, "? ? ?", {"a", "a", "A"}},
      {"x = ':a' // :b\ny", false, true, "x = ':a' \ny", {}},
      {"x = \":a\"", false, true, "x = \":a\"", {}},
      {":@p, :@ q", false, true, "?, :@ q", {"@p"}},
      {":1", false, true, "?", {"1"}},
      {"a := b", false, true, "a := b", {}},
      {"a : b", false, true, "a : b", {}},
      {"a:", false, true, "a:", {}},
      {":\"x\"", false, true, ":\"x\"", {}},  // the generic scanner reads a string here
      {":\"My Name\" = :v", true, true, "? = ?", {"My Name", "v"}},
      {"x = :a -- c", true, true, "x = ? ", {"a"}},
      {"x = :a /* c */", false, false, "x = :a ", {}},
      {"x = :from", false, true, "x = ?", {"from"}},
      {"x = :and", false, true, "x = :AND", {}},  // a keyword of the scanner is no name here
  };
  for (const auto& c : cases) {
    const std::unique_ptr<TParser> parser = MakeParser(c.oracle);
    std::vector<std::string> params{"stale"};
    const std::string out = ParseSQL(*parser, c.text, c.withList ? &params : nullptr);
    EXPECT_EQ(out, c.expectedText) << c.text;
    if (c.withList) {
      EXPECT_EQ(params, c.expectedParams) << c.text;
    }
  }
}

TEST(MacroScanTest, NamesMacrosAfterTheMacroCharacter) {
  struct Case {
    const char* text;
    bool oracle;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"select * from &tab where &cond and &TAB", false, {"tab", "cond"}},
      {"select * from emp", false, {}},
      {"select '&x' from dual", false, {}},
      {"select \"&x\" from dual", false, {}},
      {"select 1 /* &x */ from dual", false, {}},
      {"a & b", false, {}},
      {"a &and b", false, {"and"}},  // a keyword has a table code and keeps its case
      {"a &( b", false, {"("}},      // so has a symbol of the generic table
      {"a &1 b", false, {}},
      {"a &", false, {}},
      {"select &col from t -- &x\n", true, {"col"}},
      {"select &v$c from t", true, {"v$c"}},
      {"select &from from t", true, {"from"}},
  };
  for (const auto& c : cases) {
    const std::unique_ptr<TParser> parser = MakeParser(c.oracle);
    EXPECT_EQ(ScanMacroNames(*parser, c.text), c.expected) << c.text;
  }
}

TEST(MacroScanTest, TextWithoutMacroCharacterIsNotLexed) {
  TParser parser("");
  EXPECT_TRUE(ScanMacroNames(parser, "select \f from dual").empty());
  EXPECT_THROW(ScanMacroNames(parser, "select &a\f from dual"), Exception);
}

TEST(MacroExpandTest, ReplacesKnownMacros) {
  const std::map<std::string, TMacroValue> macros = {
      {"tab", {"emp", true}}, {"cond", {"sal > 0", false}}, {"col", {"ename", true}}};
  const TMacroLookup lookup = [&](std::string_view name) -> const TMacroValue* {
    for (const auto& [key, value] : macros)
      if (SameTextAscii(key, name)) return &value;
    return nullptr;
  };
  struct Case {
    const char* text;
    bool oracle;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"select * from &tab where &cond", false, "select * from emp where "},
      {"select * from &TAB", false, "select * from emp"},
      {"select &unknown x", false, "select unknown x"},
      {"a & b", false, "a  b"},
      {"a &", false, "a "},
      {"select '&tab' from &tab", false, "select '&tab' from emp"},
      {"select &col from t -- &col\n", true, "select ename from t -- &col\n"},
      {"select 'It''s' /* c */ -- d\n\"Q\" And x 'open", false,
       "select 'It''s' /* c */ -- d\n\"Q\" And x 'open"},
      {"select \"Q\" Or v$x -- c\r\n/* d", true, "select \"Q\" Or v$x -- c\r\n/* d"},
  };
  for (const auto& c : cases) {
    const std::unique_ptr<TParser> parser = MakeParser(c.oracle);
    EXPECT_EQ(ExpandMacros(*parser, c.text, lookup), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace tarnwick
