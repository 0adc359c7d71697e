#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/Exception.h"
#include "dataset/text/CRParser.h"
#include "dataset/text/FormatSettings.h"
#include "dataset/text/OraParser.h"

namespace tarnwick {
namespace {
using namespace std::string_literals;

using Lexems = std::vector<std::pair<int, std::string>>;

enum class Kind { Generic, Oracle };

struct Options {
  bool skipBlanks = true;
  bool skipComments = false;
  bool upperKeywords = true;
  bool keepQuotes = false;
};

std::unique_ptr<TParser> MakeParser(Kind kind, const std::string& text, Options o = {}) {
  std::unique_ptr<TParser> p;
  if (kind == Kind::Oracle)
    p = std::make_unique<TOraParser>(text);
  else
    p = std::make_unique<TParser>(text);
  p->SkipBlanks = o.skipBlanks;
  p->SkipComments = o.skipComments;
  p->UpperKeywords = o.upperKeywords;
  p->KeepQuotes = o.keepQuotes;
  return p;
}

Lexems LexAll(TParser& p) {
  Lexems out;
  std::string lexem;
  for (int guard = 0; guard < 1000; ++guard) {
    const int code = p.GetNext(lexem);
    if (code == LexEnd) {
      EXPECT_EQ(lexem, "");
      return out;
    }
    out.emplace_back(code, lexem);
  }
  ADD_FAILURE() << "lexer does not reach the end";
  return out;
}

struct LexCase {
  const char* name;
  Kind kind;
  std::string text;
  Options options;
  Lexems expected;
};

// Test listings show a case as its name, dialect and text, with control characters and quotes
// escaped so that the text stays on one line.
void PrintTo(const LexCase& c, std::ostream* os) {
  *os << c.name << " (" << (c.kind == Kind::Oracle ? "Oracle" : "generic") << ") \"";
  for (const char ch : c.text) {
    const auto u = static_cast<unsigned char>(ch);
    if (ch == '\n')
      *os << "\\n";
    else if (ch == '\r')
      *os << "\\r";
    else if (ch == '\t')
      *os << "\\t";
    else if (ch == '"' || ch == '\\')
      *os << '\\' << ch;
    else if (u < 0x20 || u == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      *os << "\\x" << kHex[u >> 4] << kHex[u & 15];
    } else
      *os << ch;
  }
  *os << '"';
}

const Options kDefault{};
const Options kKeepBlanks{false, false, true, false};
const Options kSkipComments{true, true, true, false};
const Options kBlanksNoComments{false, true, true, false};
const Options kKeepQuotes{true, false, true, true};
const Options kLowerKeywords{true, false, false, false};

const std::vector<LexCase>& LexCases() {
  static const std::vector<LexCase> cases = {
      // Oracle dialect
      {"OraSelect",
       Kind::Oracle,
       "select * from T where a = :p1",
       kDefault,
       {{31, "SELECT"},
        {1, "*"},
        {19, "FROM"},
        {LexIdent, "T"},
        {37, "WHERE"},
        {LexIdent, "a"},
        {2, "="},
        {3, ":"},
        {LexIdent, "p1"}}},
      {"OraAssignIsColonThenEqual",
       Kind::Oracle,
       "a:=1",
       kDefault,
       {{LexIdent, "a"}, {3, ":"}, {2, "="}, {LexNumber, "1"}}},
      {"OraBlankAssignNeverMatches",
       Kind::Oracle,
       "a := 1",
       kDefault,
       {{LexIdent, "a"}, {3, ":"}, {2, "="}, {LexNumber, "1"}}},
      {"OraDoubledQuoteEndsString",
       Kind::Oracle,
       "'It''s'",
       kDefault,
       {{LexString, "It"}, {LexString, "s"}}},
      {"OraKeepQuotes",
       Kind::Oracle,
       "x='a b'",
       kKeepQuotes,
       {{LexIdent, "x"}, {2, "="}, {LexString, "'a b'"}}},
      {"OraUnterminatedString", Kind::Oracle, "'abc", kDefault, {{LexString, "abc"}}},
      {"OraUnterminatedStringKept", Kind::Oracle, "'abc", kKeepQuotes, {{LexString, "'abc"}}},
      {"OraEmptyString", Kind::Oracle, "''", kDefault, {{LexString, ""}}},
      {"OraQuotedIdent", Kind::Oracle, "\"My Name\"", kDefault, {{LexIdent, "\"My Name\""}}},
      {"OraQuotedKeywordIsIdent", Kind::Oracle, "\"from\"", kDefault, {{LexIdent, "\"from\""}}},
      {"OraUnterminatedQuotedIdent", Kind::Oracle, "\"ab", kDefault, {{LexIdent, "\"ab"}}},
      {"OraDollarAndHashContinue",
       Kind::Oracle,
       "V$SESSION x#1",
       kDefault,
       {{LexIdent, "V$SESSION"}, {LexIdent, "x#1"}}},
      {"OraDollarAndHashDoNotStart",
       Kind::Oracle,
       "#a $b",
       kDefault,
       {{LexSymbol, "#"}, {LexIdent, "a"}, {LexSymbol, "$"}, {LexIdent, "b"}}},
      {"OraDecimalNumber",
       Kind::Oracle,
       "select 1.5 from dual",
       kDefault,
       {{31, "SELECT"}, {LexNumber, "1.5"}, {19, "FROM"}, {LexIdent, "dual"}}},
      {"OraNumberAtEndMissesFraction",
       Kind::Oracle,
       "1.5",
       kDefault,
       {{LexNumber, "1"}, {5, "."}, {LexNumber, "5"}}},
      {"OraNumberThenPeriod",
       Kind::Oracle,
       "1.x ",
       kDefault,
       {{LexNumber, "1"}, {5, "."}, {LexIdent, "x"}}},
      {"OraNumberThenIdent",
       Kind::Oracle,
       "12abc",
       kDefault,
       {{LexNumber, "12"}, {LexIdent, "abc"}}},
      {"OraTwoMinusAtEndAreNoComment",
       Kind::Oracle,
       "a--",
       kDefault,
       {{LexIdent, "a"}, {LexSymbol, "-"}, {LexSymbol, "-"}}},
      {"OraLineComment",
       Kind::Oracle,
       "a--x\nb",
       kDefault,
       {{LexIdent, "a"}, {LexComment, "--x"}, {LexIdent, "b"}}},
      {"OraLineCommentKeepsLeadingBlanks",
       Kind::Oracle,
       "a  -- x\r\nb",
       kDefault,
       {{LexIdent, "a"}, {LexComment, "  -- x"}, {LexIdent, "b"}}},
      {"OraBlockComment",
       Kind::Oracle,
       "/* c */x",
       kDefault,
       {{LexComment, "/* c */"}, {LexIdent, "x"}}},
      {"OraBlockCommentSearchStartsAtOpening",
       Kind::Oracle,
       "/*/x",
       kDefault,
       {{LexComment, "/*/"}, {LexIdent, "x"}}},
      {"OraUnterminatedBlockComment",
       Kind::Oracle,
       "x /* y",
       kDefault,
       {{LexIdent, "x"}, {LexComment, " /* y"}}},
      {"OraSlashAlone",
       Kind::Oracle,
       "a/b",
       kDefault,
       {{LexIdent, "a"}, {7, "/"}, {LexIdent, "b"}}},
      {"OraSymbolsOutsideTable",
       Kind::Oracle,
       "a!=b<>c(d)",
       kDefault,
       {{LexIdent, "a"},
        {LexSymbol, "!"},
        {2, "="},
        {LexIdent, "b"},
        {LexSymbol, "<"},
        {LexSymbol, ">"},
        {LexIdent, "c"},
        {LexSymbol, "("},
        {LexIdent, "d"},
        {LexSymbol, ")"}}},
      {"OraSymbolRunThenString", Kind::Oracle, "=':'", kDefault, {{2, "="}, {LexString, ":"}}},
      {"OraTabAndLineBreaksAreBlanks",
       Kind::Oracle,
       "a\tb\r\nc",
       kDefault,
       {{LexIdent, "a"}, {LexIdent, "b"}, {LexIdent, "c"}}},
      {"OraCyrillicIdent", Kind::Oracle, "Привет_1", kDefault, {{LexIdent, "Привет_1"}}},
      {"OraUnderscoreStartsIdent", Kind::Oracle, "_x", kDefault, {{LexIdent, "_x"}}},
      {"OraKeywordsLowerKept",
       Kind::Oracle,
       "Select x From t",
       kLowerKeywords,
       {{31, "Select"}, {LexIdent, "x"}, {19, "From"}, {LexIdent, "t"}}},
      {"OraAllKeywords",
       Kind::Oracle,
       "and as begin body by connect create declare delete end for from function group insert "
       "into is or order package procedure replace returning select start trigger type union "
       "update where",
       kDefault,
       {{8, "AND"},        {9, "AS"},       {10, "BEGIN"},     {11, "BODY"},   {12, "BY"},
        {13, "CONNECT"},   {14, "CREATE"},  {15, "DECLARE"},   {16, "DELETE"}, {17, "END"},
        {18, "FOR"},       {19, "FROM"},    {20, "FUNCTION"},  {21, "GROUP"},  {22, "INSERT"},
        {23, "INTO"},      {24, "IS"},      {25, "OR"},        {26, "ORDER"},  {27, "PACKAGE"},
        {28, "PROCEDURE"}, {29, "REPLACE"}, {30, "RETURNING"}, {31, "SELECT"}, {32, "START"},
        {33, "TRIGGER"},   {34, "TYPE"},    {35, "UNION"},     {36, "UPDATE"}, {37, "WHERE"}}},
      {"OraKeywordPrefixIsIdent",
       Kind::Oracle,
       "ands selects",
       kDefault,
       {{LexIdent, "ands"}, {LexIdent, "selects"}}},
      {"OraBlanksReturned",
       Kind::Oracle,
       "a  b ",
       kKeepBlanks,
       {{LexIdent, "a"}, {LexBlank, "  "}, {LexIdent, "b"}, {LexBlank, " "}}},
      {"OraCommentsSkipped",
       Kind::Oracle,
       "a /*x*/ b -- c\n d /* e",
       kSkipComments,
       {{LexIdent, "a"}, {LexIdent, "b"}, {LexIdent, "d"}}},
      {"OraSkippedCommentBetweenBlanks",
       Kind::Oracle,
       "a /*x*/ b",
       kBlanksNoComments,
       {{LexIdent, "a"}, {LexBlank, " "}, {LexBlank, " "}, {LexIdent, "b"}}},
      {"OraEmptyText", Kind::Oracle, "", kDefault, {}},
      {"OraOnlyBlanks", Kind::Oracle, " \t\r\n", kDefault, {}},
      // Generic scanner
      {"GenericSymbolTable",
       Kind::Generic,
       "!#$%&()*+,-./:;<=>?@[\\]^`",
       kDefault,
       {{1, "!"},   {3, "#"},  {4, "$"},  {5, "%"},  {6, "&"},  {8, "("},  {9, ")"},
        {10, "*"},  {11, "+"}, {12, ","}, {13, "-"}, {14, "."}, {15, "/"}, {16, ":"},
        {17, ";"},  {18, "<"}, {19, "="}, {20, ">"}, {21, "?"}, {22, "@"}, {23, "["},
        {24, "\\"}, {25, "]"}, {26, "^"}, {28, "`"}}},
      {"GenericBracesOutsideTable",
       Kind::Generic,
       "{|}~",
       kDefault,
       {{LexSymbol, "{"}, {LexSymbol, "|"}, {LexSymbol, "}"}, {LexSymbol, "~"}}},
      {"GenericKeywords",
       Kind::Generic,
       "a and not b Or c",
       kDefault,
       {{LexIdent, "a"}, {29, "AND"}, {30, "NOT"}, {LexIdent, "b"}, {31, "OR"}, {LexIdent, "c"}}},
      {"GenericDoubleQuoteIsString",
       Kind::Generic,
       "\"x y\" 'z'",
       kDefault,
       {{LexString, "x y"}, {LexString, "z"}}},
      {"GenericSlashComment",
       Kind::Generic,
       "a// c\nx",
       kDefault,
       {{LexIdent, "a"}, {LexComment, "// c"}, {LexIdent, "x"}}},
      {"GenericMinusIsNoComment",
       Kind::Generic,
       "--x",
       kDefault,
       {{13, "-"}, {13, "-"}, {LexIdent, "x"}}},
      {"GenericTwoSlashesAtEnd",
       Kind::Generic,
       "a//",
       kDefault,
       {{LexIdent, "a"}, {15, "/"}, {15, "/"}}},
      {"GenericHashNotInIdent",
       Kind::Generic,
       "v$s",
       kDefault,
       {{LexIdent, "v"}, {4, "$"}, {LexIdent, "s"}}},
      {"GenericLessEqual",
       Kind::Generic,
       "a<=b",
       kDefault,
       {{LexIdent, "a"}, {18, "<"}, {19, "="}, {LexIdent, "b"}}},
  };
  return cases;
}

class LexTest : public ::testing::TestWithParam<LexCase> {};

TEST_P(LexTest, GivesTheExpectedLexemes) {
  const LexCase& c = GetParam();
  auto parser = MakeParser(c.kind, c.text, c.options);
  EXPECT_EQ(LexAll(*parser), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LexTest, ::testing::ValuesIn(LexCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LexCasePrinting, NameDialectAndOneLineText) {
  const std::vector<std::pair<LexCase, std::string>> cases = {
      {{"Plain", Kind::Oracle, "a<=b", kDefault, {}}, "Plain (Oracle) \"a<=b\""},
      {{"Breaks", Kind::Generic, "a\r\n\tb", kDefault, {}}, "Breaks (generic) \"a\\r\\n\\tb\""},
      {{"Quotes", Kind::Generic, "\"x\\y\"", kDefault, {}}, "Quotes (generic) \"\\\"x\\\\y\\\"\""},
      {{"Control", Kind::Oracle, "\x01\x7F"s + '\0', kDefault, {}},
       "Control (Oracle) \"\\x01\\x7F\\x00\""},
  };
  for (const auto& [c, printed] : cases) EXPECT_EQ(::testing::PrintToString(c), printed);
}

TEST(ParserTest, DefaultOptions) {
  TParser generic("x");
  TOraParser ora("x");
  for (TParser* p : {static_cast<TParser*>(&generic), static_cast<TParser*>(&ora)}) {
    EXPECT_TRUE(p->SkipBlanks);
    EXPECT_FALSE(p->SkipComments);
    EXPECT_TRUE(p->UpperKeywords);
    EXPECT_FALSE(p->KeepQuotes);
  }
}

TEST(ParserTest, UnknownCharactersRaiseWithTheirByteValue) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a\fb", std::string("Parser: The unknown symbol '\f'  $000C")},
      {"\x7f", std::string("Parser: The unknown symbol '\x7f'  $007F")},
      {"a\0"s, "Parser: The unknown symbol '\0'  $0000"s},
      {"x\x1b", std::string("Parser: The unknown symbol '\x1b'  $001B")},
  };
  for (const Kind kind : {Kind::Generic, Kind::Oracle}) {
    for (const auto& c : cases) {
      auto p = MakeParser(kind, c.text);
      // The message is compared whole: a NUL in it ends what() early.
      EXPECT_THAT([&] { LexAll(*p); }, ::testing::Throws<Exception>(
                                           ::testing::Property(&Exception::Message, c.message)));
    }
  }
}

TEST(ParserTest, UnknownCharacterInsideStringOrCommentIsAccepted) {
  TOraParser p("'\f' /* \x01 */ -- \x02\n\"\x7f\"");
  EXPECT_EQ(LexAll(p), (Lexems{{LexString, "\f"},
                               {LexComment, " /* \x01 */"},
                               {LexComment, " -- \x02"},
                               {LexIdent, "\"\x7f\""}}));
}

TEST(ParserTest, DecimalSeparatorComesFromFormatSettings) {
  const char saved = FormatSettings().DecimalSeparator;
  FormatSettings().DecimalSeparator = ',';
  TOraParser comma("1,5 1.5 ");
  const Lexems got = LexAll(comma);
  FormatSettings().DecimalSeparator = saved;
  EXPECT_EQ(got, (Lexems{{LexNumber, "1,5"}, {LexNumber, "1"}, {5, "."}, {LexNumber, "5"}}));
}

TEST(ParserTest, PositionsAreZeroBasedStartsOfCalls) {
  TOraParser p("  ab , cd");
  std::string lexem;
  EXPECT_EQ(p.CurrPos(), 0);
  EXPECT_EQ(p.GetNext(lexem), LexIdent);
  EXPECT_EQ(p.PrevPos(), 0);  // where the call began, before the skipped blanks
  EXPECT_EQ(p.CurrPos(), 4);
  EXPECT_EQ(p.GetNext(lexem), OraSymComma);
  EXPECT_EQ(p.PrevPos(), 4);
  EXPECT_EQ(p.PrevPrevPos(), 0);
  EXPECT_EQ(p.CurrPos(), 6);
  p.Back();
  EXPECT_EQ(p.CurrPos(), 4);
  EXPECT_EQ(p.GetNext(lexem), OraSymComma);
  EXPECT_EQ(p.GetNext(lexem), LexIdent);
  EXPECT_EQ(lexem, "cd");
  EXPECT_EQ(p.CurrPos(), 9);
  EXPECT_EQ(p.GetNext(lexem), LexEnd);
  p.ToBegin();
  EXPECT_EQ(p.CurrPos(), 0);
  EXPECT_EQ(p.PrevPos(), 0);
  EXPECT_EQ(p.PrevPrevPos(), 0);
}

TEST(ParserTest, GetNextExToLexemAndGetNextCode) {
  TOraParser p("select a from b where c");
  EXPECT_EQ(p.ToLexem(37), 37);
  std::string lexem;
  int code = 0;
  EXPECT_EQ(p.GetNextEx(lexem, code), LexIdent);
  EXPECT_EQ(code, LexIdent);
  EXPECT_EQ(lexem, "c");
  p.ToBegin();
  EXPECT_EQ(p.GetNextCode(), 31);
  EXPECT_EQ(p.ToLexem(OraSymColon), LexEnd);
}

TEST(ParserTest, SetTextRestarts) {
  TOraParser p("a b");
  std::string lexem;
  p.GetNext(lexem);
  p.SetText("select");
  EXPECT_EQ(p.CurrPos(), 0);
  EXPECT_EQ(p.GetNext(lexem), 31);
  EXPECT_EQ(p.Text(), "select");
}

TEST(ParserTest, CurrCharAndNextCharNeverSeeTheLastCharacter) {
  TOraParser p("abc");
  EXPECT_EQ(p.CurrChar(), 'a');
  EXPECT_EQ(p.NextChar(), 'b');
  p.GetNextCode();
  EXPECT_EQ(p.CurrChar(), '\0');
  EXPECT_EQ(p.NextChar(), '\0');
  TOraParser q("ab x");
  std::string lexem;
  q.GetNext(lexem);  // Pos on the blank, the last character is two further
  EXPECT_EQ(q.CurrChar(), ' ');
  EXPECT_EQ(q.NextChar(), '\0');
}

TEST(ParserTest, FindLexemIndexUpperCasesAndBinarySearches) {
  const TLexemTable table({{"OR", 3}, {"AND", 1}, {"ORDER", 4}, {"AS", 2}});
  ASSERT_EQ(table.Entries().size(), 4u);
  EXPECT_EQ(table.Entries()[0].Text, "AND");
  EXPECT_EQ(table.Entries()[2].Text, "OR");
  EXPECT_EQ(table.Entries()[3].Text, "ORDER");
  TParser p("x order Or orde as and");
  EXPECT_EQ(p.FindLexemIndex(3, 5, table), 3);
  EXPECT_EQ(p.FindLexemIndex(9, 2, table), 2);
  EXPECT_EQ(p.FindLexemIndex(12, 4, table), -1);
  EXPECT_EQ(p.FindLexemIndex(17, 2, table), 1);
  EXPECT_EQ(p.FindLexemIndex(20, 3, table), 0);
  EXPECT_EQ(p.FindLexemIndex(1, 1, table), -1);
  EXPECT_EQ(p.FindLexemIndex(20, 30, table), -1);  // beyond the text
}

TEST(ParserTest, CRCmpStringsIsByteOrderWithShorterPrefixFirst) {
  EXPECT_LT(CRCmpStrings(" :=", "*"), 0);
  EXPECT_LT(CRCmpStrings("OR", "ORDER"), 0);
  EXPECT_GT(CRCmpStrings("b", "a"), 0);
  EXPECT_GT(CRCmpStrings("\x80", "z"), 0);
  EXPECT_EQ(CRCmpStrings("AS", "AS"), 0);
}

TEST(ParserTest, PosExFindsFromOffset) {
  EXPECT_EQ(TParser::PosEx("*/", "/* a */ b */", 1), 6);
  EXPECT_EQ(TParser::PosEx("*/", "/* a */ b */", 7), 11);
  EXPECT_EQ(TParser::PosEx("*/", "/* a */ b */", 12), 0);
  EXPECT_EQ(TParser::PosEx("x", "abc", 10), 0);
  EXPECT_EQ(TParser::PosEx("a", "abc", 0), 1);
}

}  // namespace
}  // namespace tarnwick
