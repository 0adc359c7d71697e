#include "dataset/text/CRParser.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "base/Exception.h"
#include "dataset/text/FormatSettings.h"

namespace tarnwick {

namespace {

char UpperAscii(char c) noexcept {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string UpperCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

int FindInTable(std::string_view piece, const TLexemTable& table) {
  const std::string key = UpperCopy(piece);
  const auto& entries = table.Entries();
  int lo = 0;
  int hi = static_cast<int>(entries.size()) - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int cmp = CRCmpStrings(entries[mid].Text, key);
    if (cmp == 0) return mid;
    if (cmp < 0)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -1;
}

const TLexemTable& GenericSymbols() {
  static const TLexemTable table({{"!", 1},  {"\"", 2}, {"#", 3},  {"$", 4},  {"%", 5},  {"&", 6},
                                  {"'", 7},  {"(", 8},  {")", 9},  {"*", 10}, {"+", 11}, {",", 12},
                                  {"-", 13}, {".", 14}, {"/", 15}, {":", 16}, {";", 17}, {"<", 18},
                                  {"=", 19}, {">", 20}, {"?", 21}, {"@", 22}, {"[", 23}, {"\\", 24},
                                  {"]", 25}, {"^", 26}, {"_", 27}, {"`", 28}});
  return table;
}

const TLexemTable& GenericKeywords() {
  static const TLexemTable table({{"AND", 29}, {"NOT", 30}, {"OR", 31}});
  return table;
}

}  // namespace

int CRCmpStrings(std::string_view a, std::string_view b) noexcept {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

TLexemTable::TLexemTable(std::vector<TLexemEntry> entries) : entries_(std::move(entries)) {
  std::sort(entries_.begin(), entries_.end(), [](const TLexemEntry& x, const TLexemEntry& y) {
    return CRCmpStrings(x.Text, y.Text) < 0;
  });
  for (const auto& e : entries_) maxLength_ = std::max(maxLength_, e.Text.size());
}

TParser::TParser(std::string_view text)
    : text_(text), symbolTable_(&GenericSymbols()), keywordTable_(&GenericKeywords()) {
  ToBegin();
}

void TParser::SetText(std::string_view text) {
  text_.assign(text);
  ToBegin();
}

void TParser::ToBegin() noexcept {
  pos_ = 1;
  prevPos_ = 1;
  prevPrevPos_ = 1;
}

char TParser::CharAt(int pos) const noexcept {
  return (pos >= 1 && pos <= Length()) ? text_[static_cast<size_t>(pos - 1)] : '\0';
}

char TParser::CurrChar() const noexcept {
  return CharAt(pos_);
}

char TParser::NextChar() const noexcept {
  return (pos_ + 1 < Length()) ? CharAt(pos_ + 1) : '\0';
}

bool TParser::IsBlank(char c) const {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool TParser::IsSymbol(char c) const {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 33 && b <= 47) || (b >= 58 && b <= 64) || (b >= 91 && b <= 94) || b == 96 ||
         (b >= 123 && b <= 126);
}

bool TParser::IsAlpha(char c) const {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b >= 128;
}

bool TParser::IsNumber(char c) const {
  return c >= '0' && c <= '9';
}

bool TParser::IsStringQuote(char c) const {
  return c == '"' || c == '\'';
}

void TParser::ToRightQuote(char quote) {
  while (pos_ <= Length() && CharAt(pos_) != quote) ++pos_;
}

bool TParser::IsIdentQuote(char) const {
  return false;
}

bool TParser::IsInlineComment(int pos) const {
  return pos + 2 <= Length() && CharAt(pos) == '/' && CharAt(pos + 1) == '/';
}

bool TParser::IsCommentStart() const {
  return text_.compare(static_cast<size_t>(pos_ - 1), commentBegin_.size(), commentBegin_) == 0;
}

int TParser::FindLexemIndex(int start, int length, const TLexemTable& table) const {
  if (start < 1 || length < 0 || start - 1 + length > Length()) return -1;
  return FindInTable(
      std::string_view(text_).substr(static_cast<size_t>(start - 1), static_cast<size_t>(length)),
      table);
}

int TParser::PosEx(std::string_view sub, std::string_view text, int offset) {
  if (offset < 1) offset = 1;
  if (static_cast<size_t>(offset - 1) > text.size()) return 0;
  const size_t at = text.find(sub, static_cast<size_t>(offset - 1));
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int TParser::GetNext(std::string& lexem) {
  prevPrevPos_ = prevPos_;
  prevPos_ = pos_;
  const int len = Length();
  auto extent = [this](int from, int to) {  // 1-based, to exclusive
    return text_.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from));
  };

  int start = pos_;
  for (;;) {
    bool blanks = false;
    while (pos_ <= len && IsBlank(CharAt(pos_))) {
      ++pos_;
      blanks = true;
    }
    if (blanks && !SkipBlanks) {
      lexem = extent(start, pos_);
      return LexBlank;
    }
    if (pos_ > len) {
      lexem.clear();
      return LexEnd;
    }
    bool comment = false;
    if (IsInlineComment(pos_)) {
      while (pos_ <= len && CharAt(pos_) != '\r' && CharAt(pos_) != '\n') ++pos_;
      comment = true;
    }
    if (pos_ <= len && IsCommentStart()) {
      // The search starts at the opening marker itself, so "/*/" is a whole comment.
      const int close = PosEx(commentEnd_, text_, pos_);
      pos_ = close ? close + static_cast<int>(commentEnd_.size()) : len + 1;
      comment = true;
    }
    if (!comment) break;
    if (!SkipComments) {
      lexem = extent(start, pos_);
      return LexComment;
    }
    start = pos_;
  }

  start = pos_;
  const char c = CharAt(pos_);
  int code;
  if (IsSymbol(c)) {
    if (IsStringQuote(c) || IsIdentQuote(c)) {
      const bool string = IsStringQuote(c);
      const bool keep = !string || KeepQuotes;
      code = string ? LexString : LexIdent;
      ++pos_;
      const int inner = pos_;
      ToRightQuote(c);
      if (pos_ <= len) {
        lexem = keep ? extent(start, pos_ + 1) : extent(inner, pos_);
        ++pos_;
      } else {
        pos_ = len + 1;
        lexem = keep ? extent(start, pos_) : extent(inner, pos_);
      }
    } else {
      // Longest run of symbol characters found in the table; no entry is longer than MaxLength,
      // so the run is not looked at beyond it.
      const size_t maxLen = symbolTable_->MaxLength();
      int best = -1;
      int bestLen = 0;
      int run = 0;
      for (int p = pos_; p <= len && IsSymbol(CharAt(p)) && static_cast<size_t>(run) < maxLen;
           ++p) {
        ++run;
        const int idx = FindLexemIndex(pos_, run, *symbolTable_);
        if (idx >= 0) {
          best = idx;
          bestLen = run;
        }
      }
      if (best >= 0) {
        const TLexemEntry& entry = symbolTable_->Entries()[static_cast<size_t>(best)];
        lexem = entry.Text;
        code = entry.Code;
        pos_ += bestLen;
      } else {
        lexem.assign(1, c);
        code = LexSymbol;
        ++pos_;
      }
    }
  } else if (IsAlpha(c) || c == '_') {
    code = LexIdent;
    while (pos_ <= len && (IsAlpha(CharAt(pos_)) || IsNumber(CharAt(pos_)) || CharAt(pos_) == '_'))
      ++pos_;
    lexem = extent(start, pos_);
  } else if (IsNumber(c)) {
    code = LexNumber;
    while (pos_ <= len && IsNumber(CharAt(pos_))) ++pos_;
    if (pos_ <= len && CharAt(pos_) == FormatSettings().DecimalSeparator && IsNumber(NextChar())) {
      ++pos_;
      while (pos_ <= len && IsNumber(CharAt(pos_))) ++pos_;
    }
    lexem = extent(start, pos_);
  } else {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    throw Exception(std::string("Parser: The unknown symbol '") + c + "'  $" + hex);
  }

  if (code == LexIdent) {
    const int idx = FindInTable(lexem, *keywordTable_);
    if (idx >= 0) {
      code = keywordTable_->Entries()[static_cast<size_t>(idx)].Code;
      if (UpperKeywords) lexem = UpperCopy(lexem);
    }
  }
  return code;
}

int TParser::GetNextEx(std::string& lexem, int& code) {
  code = GetNext(lexem);
  return code;
}

int TParser::GetNextCode() {
  std::string lexem;
  return GetNext(lexem);
}

int TParser::ToLexem(int code) {
  std::string lexem;
  int got;
  do {
    got = GetNext(lexem);
  } while (got != code && got != LexEnd);
  return got;
}

void TParser::Back() noexcept {
  pos_ = prevPos_;
}

bool SameTextAscii(std::string_view a, std::string_view b) noexcept {
  return CompareTextAscii(a, b) == 0;
}

int CompareTextAscii(std::string_view a, std::string_view b) noexcept {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(UpperAscii(a[i]));
    const auto cb = static_cast<unsigned char>(UpperAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string ParseSQL(TParser& parser, std::string_view text, std::vector<std::string>* params) {
  parser.SetText(text);
  parser.SkipBlanks = false;
  parser.SkipComments = true;
  parser.UpperKeywords = true;
  parser.KeepQuotes = true;
  if (params) params->clear();

  std::string out;
  out.reserve(text.size());
  std::string lexem;
  int code;
  while ((code = parser.GetNext(lexem)) != LexEnd) {
    if (code == LexString || lexem != ":") {
      out += lexem;
      continue;
    }
    code = parser.GetNext(lexem);
    bool at = false;
    if (lexem == "@" && code != LexString) {
      at = true;
      code = parser.GetNext(lexem);
    }
    if (params && (code == LexIdent || code == LexNumber)) {
      std::string name = lexem;
      if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
      params->push_back(at ? "@" + name : name);
      out += '?';
    } else {
      out += at ? ":@" : ":";
      out += lexem;
    }
  }
  return out;
}

std::vector<std::string> ScanMacroNames(TParser& parser, std::string_view text) {
  std::vector<std::string> names;
  std::set<std::string, TextLessAscii> seen;
  if (text.find(MacroChar) == std::string_view::npos) return names;
  parser.SetText(text);
  parser.SkipBlanks = false;
  parser.SkipComments = false;
  parser.UpperKeywords = false;
  parser.KeepQuotes = false;

  const std::string macroLexem(1, MacroChar);
  std::string lexem;
  int code;
  while ((code = parser.GetNext(lexem)) != LexEnd) {
    if (code == LexString || lexem != macroLexem) continue;
    code = parser.GetNext(lexem);
    if (code != LexIdent && code <= 0) {
      if (code == LexEnd) break;
      continue;
    }
    if (seen.insert(lexem).second) names.push_back(lexem);
  }
  return names;
}

std::string ExpandMacros(TParser& parser, std::string_view text, const TMacroLookup& lookup) {
  parser.SetText(text);
  parser.SkipBlanks = false;
  parser.SkipComments = false;
  parser.UpperKeywords = false;
  parser.KeepQuotes = true;

  const std::string macroLexem(1, MacroChar);
  std::string out;
  out.reserve(text.size());
  std::string lexem;
  int code;
  while ((code = parser.GetNext(lexem)) != LexEnd) {
    if (code == LexString || lexem != macroLexem) {
      out += lexem;
      continue;
    }
    if (parser.GetNext(lexem) == LexEnd) break;
    const TMacroValue* macro = lookup ? lookup(lexem) : nullptr;
    if (!macro)
      out += lexem;
    else if (macro->Active)
      out += macro->Value;
  }
  return out;
}

}  // namespace tarnwick
