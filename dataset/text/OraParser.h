#pragma once
// The Oracle dialect of the SQL lexer: "--" line comments, single quotes for strings, double
// quotes for quoted identifiers, "#" and "$" inside identifiers (V$SESSION), and the Oracle
// symbol and keyword tables. Also the scan of a statement for its ":name" parameters.
#include <string>
#include <string_view>
#include <vector>

#include "dataset/text/CRParser.h"

namespace tarnwick {

// Codes of TOraParser's tables.
constexpr int OraSymStar = 1;
constexpr int OraSymEqual = 2;
constexpr int OraSymColon = 3;
constexpr int OraSymComma = 4;
constexpr int OraSymPeriod = 5;
constexpr int OraSymAssign = 6;  // " :=": begins with a blank, so it never matches
constexpr int OraSymSlash = 7;
constexpr int OraKeywordFirst = 8;  // AND
constexpr int OraKeywordTrigger = 33;
constexpr int OraKeywordLast = 37;  // WHERE

class TOraParser : public TParser {
 public:
  explicit TOraParser(std::string_view text);

 protected:
  bool IsAlpha(char c) const override;
  bool IsStringQuote(char c) const override;
  bool IsIdentQuote(char c) const override;
  bool IsInlineComment(int pos) const override;
};

struct TOraScannedParam {
  std::string Name;
  // The name was written in double quotes (which are removed from Name).
  bool Quoted = false;
  bool operator==(const TOraScannedParam&) const = default;
};

// The parameters of an Oracle statement: one per distinct name (ignoring ASCII case) written
// after a colon, in order of first appearance. A name is an identifier, a number or a keyword
// (which arrives upper-cased). Nothing after the keyword TRIGGER is scanned, so the :NEW and :OLD
// of a trigger body are no parameters. Raises the lexer's error on an unknown character.
std::vector<TOraScannedParam> ScanOraParams(std::string_view text);

}  // namespace tarnwick
