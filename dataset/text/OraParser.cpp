#include "dataset/text/OraParser.h"

#include <set>

namespace tarnwick {

namespace {

const TLexemTable& OraSymbols() {
  static const TLexemTable table({{"*", OraSymStar},
                                  {"=", OraSymEqual},
                                  {":", OraSymColon},
                                  {",", OraSymComma},
                                  {".", OraSymPeriod},
                                  {" :=", OraSymAssign},
                                  {"/", OraSymSlash}});
  return table;
}

const TLexemTable& OraKeywords() {
  static const TLexemTable table(
      {{"AND", 8},        {"AS", 9},       {"BEGIN", 10},     {"BODY", 11},   {"BY", 12},
       {"CONNECT", 13},   {"CREATE", 14},  {"DECLARE", 15},   {"DELETE", 16}, {"END", 17},
       {"FOR", 18},       {"FROM", 19},    {"FUNCTION", 20},  {"GROUP", 21},  {"INSERT", 22},
       {"INTO", 23},      {"IS", 24},      {"OR", 25},        {"ORDER", 26},  {"PACKAGE", 27},
       {"PROCEDURE", 28}, {"REPLACE", 29}, {"RETURNING", 30}, {"SELECT", 31}, {"START", 32},
       {"TRIGGER", 33},   {"TYPE", 34},    {"UNION", 35},     {"UPDATE", 36}, {"WHERE", 37}});
  return table;
}

}  // namespace

TOraParser::TOraParser(std::string_view text) : TParser(text) {
  SetTables(OraSymbols(), OraKeywords());
}

bool TOraParser::IsAlpha(char c) const {
  return TParser::IsAlpha(c) || c == '#' || c == '$';
}

bool TOraParser::IsStringQuote(char c) const {
  return c == '\'';
}

bool TOraParser::IsIdentQuote(char c) const {
  return c == '"';
}

bool TOraParser::IsInlineComment(int pos) const {
  return pos + 2 <= Length() && CharAt(pos) == '-' && CharAt(pos + 1) == '-';
}

std::vector<TOraScannedParam> ScanOraParams(std::string_view text) {
  std::vector<TOraScannedParam> params;
  std::set<std::string, TextLessAscii> names;
  TOraParser parser(text);
  parser.SkipBlanks = true;
  parser.SkipComments = true;

  std::string lexem;
  int code;
  while ((code = parser.GetNext(lexem)) != LexEnd) {
    if (code == OraKeywordTrigger) break;
    if (code != OraSymColon) continue;
    code = parser.GetNext(lexem);
    const bool keyword = code >= OraKeywordFirst && code <= OraKeywordLast;
    if (code != LexIdent && code != LexNumber && !keyword) {
      if (code == LexEnd) break;
      continue;
    }
    TOraScannedParam param;
    param.Name = lexem;
    if (!param.Name.empty() && param.Name.front() == '"') {
      param.Name.erase(0, 1);
      if (!param.Name.empty() && param.Name.back() == '"') param.Name.pop_back();
      param.Quoted = true;
    }
    if (names.insert(param.Name).second) params.push_back(std::move(param));
  }
  return params;
}

}  // namespace tarnwick
