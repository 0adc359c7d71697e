// Oracle column types: describe values, dictionary values, the catalog's text form; the tokenizer.
#include <cctype>
#include <charconv>

#include "standin/engine/internal.h"

namespace standin {

ColumnDesc describe(const std::string& name, const ColType& t) {
  ColumnDesc c{name, OraType::Varchar2, 0, 0, 0, t.nullable};
  switch (t.kind) {
    case Kind::Varchar2:
    case Kind::Null:
    case Kind::Char:
      c.type = t.kind == Kind::Char ? OraType::Char : OraType::Varchar2;
      c.dataSize = static_cast<uint16_t>(t.byteLimit());
      c.charSize = static_cast<uint16_t>(t.length);
      c.charUsed = t.charSemantics || t.national;
      c.national = t.national;
      break;
    case Kind::Number:
      c.type = OraType::Number;
      c.dataSize = 22;
      c.precision = static_cast<int16_t>(t.precision);
      c.scale = static_cast<int8_t>(t.precision == 0 ? -127 : t.scale);
      break;
    case Kind::Integer:
      c.type = OraType::Number;
      c.dataSize = 22;
      c.precision = 38;
      c.scale = 0;
      break;
    case Kind::Float:
      c.type = OraType::Number;
      c.dataSize = 22;
      c.precision = static_cast<int16_t>(t.precision);
      c.scale = -127;
      break;
    case Kind::Date:
      c.type = OraType::Date;
      c.dataSize = 7;
      break;
    case Kind::Clob:
      c.type = OraType::Clob;
      c.dataSize = 4000;
      break;
    case Kind::Blob:
      c.type = OraType::Blob;
      c.dataSize = 4000;
      break;
    case Kind::Raw:
      c.type = OraType::Raw;
      c.dataSize = static_cast<uint16_t>(t.length);
      break;
    case Kind::Long:
      c.type = OraType::Long;
      c.dataSize = 0;
      break;
    case Kind::Timestamp:
      c.type = OraType::Timestamp;
      c.dataSize = 11;
      c.scale = static_cast<int8_t>(t.length);
      break;
  }
  return c;
}

std::string dataTypeName(const ColType& t) {
  switch (t.kind) {
    case Kind::Varchar2:
    case Kind::Null:
      return t.national ? "NVARCHAR2" : "VARCHAR2";
    case Kind::Char:
      return "CHAR";
    case Kind::Number:
    case Kind::Integer:
      return "NUMBER";
    case Kind::Float:
      return "FLOAT";
    case Kind::Date:
      return "DATE";
    case Kind::Clob:
      return "CLOB";
    case Kind::Blob:
      return "BLOB";
    case Kind::Raw:
      return "RAW";
    case Kind::Long:
      return "LONG";
    case Kind::Timestamp:
      return "TIMESTAMP(" + std::to_string(t.length) + ")";
  }
  return "VARCHAR2";
}

int dataLength(const ColType& t) {
  switch (t.kind) {
    case Kind::Number:
    case Kind::Integer:
    case Kind::Float:
      return 22;
    case Kind::Date:
      return 7;
    case Kind::Clob:
    case Kind::Blob:
      return 4000;
    case Kind::Long:
      return 0;
    case Kind::Timestamp:
      return 11;
    case Kind::Varchar2:
    case Kind::Char:
      return t.byteLimit();
    default:
      return t.length;
  }
}

// "<kind letter>:<length>:<precision>:<scale>:<flags>", flags: 's' has scale, 'n' not null.
std::string typeSpec(const ColType& t) {
  static const char letters[] = "VCNIFDLBRGTZ";
  std::string s(1, letters[static_cast<int>(t.kind)]);
  s += ':' + std::to_string(t.length) + ":" + std::to_string(t.precision) + ":" +
       std::to_string(t.scale) + ":";
  if (t.hasScale) s += 's';
  if (!t.nullable) s += 'n';
  if (t.charSemantics) s += 'c';
  if (t.national) s += 'w';
  // A limit in characters carries its byte limit as a sixth field.
  if (t.charSemantics || t.national) {
    s += ':';
    s += std::to_string(t.bytes);
  }
  return s;
}

ColType parseTypeSpec(std::string_view spec) {
  static const std::string_view letters = "VCNIFDLBRGTZ";
  ColType t;
  if (spec.empty()) return t;
  size_t k = letters.find(spec[0]);
  t.kind = static_cast<Kind>(k == std::string_view::npos ? 0 : k);
  int fields[3] = {0, 0, 0};
  size_t pos = 2;
  for (int& f : fields) {
    size_t colon = spec.find(':', pos);
    if (colon == std::string_view::npos) colon = spec.size();
    std::from_chars(spec.data() + pos, spec.data() + colon, f);
    pos = colon + 1;
  }
  t.length = fields[0];
  t.precision = fields[1];
  t.scale = fields[2];
  std::string_view flags = pos <= spec.size() ? spec.substr(pos) : std::string_view();
  size_t colon = flags.find(':');
  if (colon != std::string_view::npos) {
    std::from_chars(flags.data() + colon + 1, flags.data() + flags.size(), t.bytes);
    flags = flags.substr(0, colon);
  }
  t.hasScale = flags.find('s') != std::string_view::npos;
  t.nullable = flags.find('n') == std::string_view::npos;
  t.charSemantics = flags.find('c') != std::string_view::npos;
  t.national = flags.find('w') != std::string_view::npos;
  return t;
}

std::vector<Token> tokenize(std::string_view sql) {
  std::vector<Token> out;
  size_t i = 0;
  const size_t n = sql.size();
  auto isIdentStart = [](unsigned char c) { return std::isalpha(c) || c >= 0x80; };
  auto isIdentChar = [](unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80;
  };
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(sql[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      size_t close = sql.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
      continue;
    }
    int start = static_cast<int>(i);
    if (c == '\'') {
      std::string text;
      ++i;
      bool closed = false;
      while (i < n) {
        if (sql[i] == '\'') {
          if (i + 1 < n && sql[i + 1] == '\'') {
            text += '\'';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        text += sql[i++];
      }
      if (!closed) raise(1756, {}, start);
      out.push_back({Tok::String, text, start, std::string(sql.substr(start, i - start))});
      continue;
    }
    if (c == '"') {
      size_t close = sql.find('"', i + 1);
      if (close == std::string_view::npos) raise(1740, {}, start);
      std::string text(sql.substr(i + 1, close - i - 1));
      if (text.empty()) raise(1741, {}, start);
      if (text.size() > 30) raise(972, {}, start);
      i = close + 1;
      out.push_back({Tok::Quoted, text, start, std::string(sql.substr(start, i - start))});
      continue;
    }
    if (std::isdigit(c) ||
        (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      while (i < n && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
      if (i < n && sql[i] == '.' && !(i + 1 < n && sql[i + 1] == '.')) {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
      }
      if (i < n && (sql[i] == 'e' || sql[i] == 'E')) {
        size_t j = i + 1;
        if (j < n && (sql[j] == '+' || sql[j] == '-')) ++j;
        if (j < n && std::isdigit(static_cast<unsigned char>(sql[j]))) {
          i = j;
          while (i < n && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
        }
      }
      std::string text(sql.substr(start, i - start));
      out.push_back({Tok::Number, text, start, text});
      continue;
    }
    if (isIdentStart(c)) {
      while (i < n && isIdentChar(static_cast<unsigned char>(sql[i]))) ++i;
      std::string raw(sql.substr(start, i - start));
      std::string text = raw;
      for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (text.size() > 30) raise(972, {}, start);
      out.push_back({Tok::Ident, text, start, raw});
      continue;
    }
    if (c == ':') {
      ++i;
      while (i < n && isIdentChar(static_cast<unsigned char>(sql[i]))) ++i;
      if (i == static_cast<size_t>(start) + 1) raise(911, {}, start);
      std::string raw(sql.substr(start, i - start));
      out.push_back({Tok::Bind, raw, start, raw});
      continue;
    }
    static const char* const twoChar[] = {"<=", ">=", "<>", "!=", "^=", "||", "(+"};
    bool two = false;
    for (const char* t : twoChar) {
      if (i + 1 < n && sql[i] == t[0] && sql[i + 1] == t[1] && t[1] != '+') {
        out.push_back({Tok::Symbol, std::string(t, 2), start, std::string(t, 2)});
        i += 2;
        two = true;
        break;
      }
    }
    if (two) continue;
    if (std::string_view("(),.*+-/=<>|").find(static_cast<char>(c)) != std::string_view::npos) {
      out.push_back({Tok::Symbol, std::string(1, static_cast<char>(c)), start,
                     std::string(1, static_cast<char>(c))});
      ++i;
      continue;
    }
    // ';', '@', '&', '?', ... are not part of a single SQL statement.
    raise(911, {}, start);
  }
  out.push_back({Tok::End, "", static_cast<int>(n), ""});
  return out;
}

}  // namespace standin
