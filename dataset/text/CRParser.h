#pragma once
// A small hand-written SQL lexer. It splits one text into lexemes (symbols, identifiers,
// numbers, strings and, on request, blanks and comments) and returns for each an integer code
// and its text. Symbols and identifiers are looked up in two tables of known lexemes owned by
// the parser's class: a hit returns the entry's number as the code.
//
// Positions inside the parser are 1-based (1 .. length + 1); CurrPos, PrevPos and PrevPrevPos
// hand them out 0-based. TOraParser (OraParser.h) gives the Oracle dialect.
//
// Also here: the generic parameter parsing of statements whose command does not scan its own
// parameters (ParseSQL) and the macro scan and expansion of the datasets.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Lexeme codes. Positive codes are entries of a parser's symbol or keyword table.
constexpr int LexEnd = 0;
constexpr int LexSymbol = -102;
constexpr int LexIdent = -103;
constexpr int LexNumber = -105;
constexpr int LexString = -106;
constexpr int LexBlank = -107;
constexpr int LexComment = -108;

struct TLexemEntry {
  std::string Text;
  int Code;
};

// A table of known lexemes, sorted by CRCmpStrings.
class TLexemTable {
 public:
  explicit TLexemTable(std::vector<TLexemEntry> entries);
  const std::vector<TLexemEntry>& Entries() const noexcept { return entries_; }
  size_t MaxLength() const noexcept { return maxLength_; }

 private:
  std::vector<TLexemEntry> entries_;
  size_t maxLength_ = 0;
};

// Plain byte-order comparison: negative, 0 or positive. A prefix sorts before the longer text.
int CRCmpStrings(std::string_view a, std::string_view b) noexcept;

class TParser {
 public:
  explicit TParser(std::string_view text);
  virtual ~TParser() = default;
  TParser(const TParser&) = delete;
  TParser& operator=(const TParser&) = delete;

  void SetText(std::string_view text);
  void ToBegin() noexcept;

  // Reads the next lexeme: returns its code and hands back its text. Raises Exception on a
  // character outside every class ("Parser: The unknown symbol ...").
  int GetNext(std::string& lexem);
  int GetNextEx(std::string& lexem, int& code);
  int GetNextCode();
  // Reads until the given code or the end; returns the last code read.
  int ToLexem(int code);
  // The next GetNext reads the last lexeme again.
  void Back() noexcept;

  int CurrPos() const noexcept { return pos_ - 1; }
  int PrevPos() const noexcept { return prevPos_ - 1; }
  int PrevPrevPos() const noexcept { return prevPrevPos_ - 1; }
  // The byte at Pos, 0 past the end.
  char CurrChar() const noexcept;
  // The byte at Pos + 1 when Pos + 1 is less than the length, else 0: the last character of the
  // text is never seen through it.
  char NextChar() const noexcept;

  // Index of the table entry equal to the piece text[start-1 .. start-1+length) with its letters
  // a-z upper-cased, or -1. start is 1-based.
  int FindLexemIndex(int start, int length, const TLexemTable& table) const;
  // First 1-based position at or after the 1-based offset where sub occurs in text, or 0.
  static int PosEx(std::string_view sub, std::string_view text, int offset);

  const std::string& Text() const noexcept { return text_; }

  bool SkipBlanks = true;
  bool SkipComments = false;
  bool UpperKeywords = true;
  // String lexemes keep their quotes.
  bool KeepQuotes = false;

 protected:
  // Character classes, in slot order.
  virtual bool IsBlank(char c) const;
  virtual bool IsSymbol(char c) const;
  virtual bool IsAlpha(char c) const;
  virtual bool IsNumber(char c) const;
  virtual bool IsStringQuote(char c) const;
  // Moves Pos to the next occurrence of quote at or after Pos, or past the end.
  virtual void ToRightQuote(char quote);
  virtual bool IsIdentQuote(char c) const;
  // The line comment marker starts at the 1-based position and at least one character follows it.
  virtual bool IsInlineComment(int pos) const;

  void SetTables(const TLexemTable& symbols, const TLexemTable& keywords) noexcept {
    symbolTable_ = &symbols;
    keywordTable_ = &keywords;
  }
  // The byte at a 1-based position, 0 outside the text.
  char CharAt(int pos) const noexcept;
  int Length() const noexcept { return static_cast<int>(text_.size()); }

  int pos_ = 1;

 private:
  bool IsCommentStart() const;

  std::string text_;
  int prevPos_ = 1;
  int prevPrevPos_ = 1;
  const TLexemTable* symbolTable_;
  const TLexemTable* keywordTable_;
  std::string commentBegin_ = "/*";
  std::string commentEnd_ = "*/";
};

// The generic parameter parsing: rewrites text with every ":name" (":@name") of an identifier or
// number replaced by "?" and appends the parameter names, one per occurrence and in order, to
// *params; comments are dropped. Without a list (params null) only comments are dropped. The
// parser is reset to the text and its options are set for the scan.
std::string ParseSQL(TParser& parser, std::string_view text, std::vector<std::string>* params);

constexpr char MacroChar = '&';

// The names of the macros referenced as "&name" in text, in order of first appearance and
// without repetitions (names compare ignoring ASCII case). A text without MacroChar gives an
// empty list without lexing.
std::vector<std::string> ScanMacroNames(TParser& parser, std::string_view text);

struct TMacroValue {
  std::string Value;
  bool Active = true;
};
// Answers for a macro name: the macro's value and state, or null when there is no such macro.
using TMacroLookup = std::function<const TMacroValue*(std::string_view name)>;

// Rebuilds text from its lexemes with each "&name" of a known macro replaced by its value (or
// nothing when it is not active); a MacroChar before anything else is dropped.
std::string ExpandMacros(TParser& parser, std::string_view text, const TMacroLookup& lookup);

// ASCII case-insensitive equality and ordering of names.
bool SameTextAscii(std::string_view a, std::string_view b) noexcept;
int CompareTextAscii(std::string_view a, std::string_view b) noexcept;
struct TextLessAscii {
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return CompareTextAscii(a, b) < 0;
  }
};

}  // namespace tarnwick
