// Oracle SQL to SQLite SQL.
//
// A recursive-descent parser over the tokens that resolves every name against the schema's catalog,
// knows the Oracle type of every expression (for describe and for Oracle's implicit conversions)
// and emits SQLite text that calls the engine's ORA_* functions where SQLite's own rules differ.
//
// Sections: helpers and Expr; name resolution; expressions and conditions; functions; queries;
// DML; DDL and session statements; translate().
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>
#include <utility>

#include "standin/engine/internal.h"

namespace standin {
namespace {

// ---- helpers and Expr -------------------------------------------------------------------------

const std::set<std::string>& reserved() {
  // Oracle's reserved words: not usable as names unless quoted.
  static const std::set<std::string> words = {
      "ACCESS",     "ADD",       "ALL",        "ALTER",      "AND",     "ANY",      "AS",
      "ASC",        "AUDIT",     "BETWEEN",    "BY",         "CASE",    "CHAR",     "CHECK",
      "CLUSTER",    "COLUMN",    "COMMENT",    "COMPRESS",   "CONNECT", "CREATE",   "CROSS",
      "CURRENT",    "DATE",      "DECIMAL",    "DEFAULT",    "DELETE",  "DESC",     "DISTINCT",
      "DROP",       "ELSE",      "END",        "EXCLUSIVE",  "EXISTS",  "FILE",     "FLOAT",
      "FOR",        "FROM",      "FULL",       "GRANT",      "GROUP",   "HAVING",   "IDENTIFIED",
      "IMMEDIATE",  "IN",        "INCREMENT",  "INDEX",      "INITIAL", "INNER",    "INSERT",
      "INTEGER",    "INTERSECT", "INTO",       "IS",         "JOIN",    "LEFT",     "LEVEL",
      "LIKE",       "LOCK",      "LONG",       "MAXEXTENTS", "MINUS",   "MLSLABEL", "MODE",
      "MODIFY",     "NOAUDIT",   "NOCOMPRESS", "NOT",        "NOWAIT",  "NULL",     "NUMBER",
      "OF",         "OFFLINE",   "ON",         "ONLINE",     "OPTION",  "OR",       "ORDER",
      "OUTER",      "PCTFREE",   "PRIOR",      "PRIVILEGES", "PUBLIC",  "RAW",      "RENAME",
      "RESOURCE",   "REVOKE",    "RIGHT",      "ROW",        "ROWID",   "ROWNUM",   "ROWS",
      "SELECT",     "SESSION",   "SET",        "SHARE",      "SIZE",    "SMALLINT", "START",
      "SUCCESSFUL", "SYNONYM",   "SYSDATE",    "TABLE",      "THEN",    "TO",       "TRIGGER",
      "UID",        "UNION",     "UNIQUE",     "UPDATE",     "USER",    "USING",    "VALIDATE",
      "VALUES",     "VARCHAR",   "VARCHAR2",   "VIEW",       "WHEN",    "WHENEVER", "WHERE",
      "WITH",
  };
  return words;
}

std::string quote(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string sqlString(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

std::string hexLiteral(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out = "X'";
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out + "'";
}

enum class Rep { Plain, Blob, Mixed };  // how a numeric SQL value is represented

struct Expr {
  std::string sql;
  ColType type;
  Rep rep = Rep::Plain;
  bool agg = false;      // contains an aggregate
  bool bareCol = false;  // contains a column reference outside any aggregate
  bool isColumn = false;
  bool numLiteral = false;
  bool isNull = false;
  std::string name;  // column name for a column reference
};

ColType numberType() {
  ColType t;
  t.kind = Kind::Number;
  return t;
}
ColType textType(int length) {
  ColType t;
  t.kind = Kind::Varchar2;
  t.length = std::min(length, 4000);
  return t;
}
ColType dateType() {
  ColType t;
  t.kind = Kind::Date;
  return t;
}

int textLength(const ColType& t) {
  switch (t.kind) {
    case Kind::Varchar2:
    case Kind::Char:
      return t.byteLimit();
    case Kind::Number:
    case Kind::Integer:
    case Kind::Float:
      return 40;
    case Kind::Date:
    case Kind::Timestamp:
      return 75;
    case Kind::Raw:
      return t.length * 2;
    case Kind::Null:
      return 0;
    default:
      return 4000;
  }
}

const char* typeWord(const ColType& t) {
  if (t.isNumber()) return "NUMBER";
  if (t.isDate()) return "DATE";
  if (t.kind == Kind::Blob) return "BLOB";
  if (t.kind == Kind::Raw) return "BINARY";
  if (t.kind == Kind::Clob) return "CLOB";
  return "CHAR";
}

// ---- sources and scopes -----------------------------------------------------------------------

struct Source {
  std::string alias;
  std::vector<Column> cols;
};
struct Scope {
  std::vector<Source> sources;
  const Scope* outer = nullptr;
};

struct Item {
  Expr expr;
  std::string name;
  bool aliased = false;
};

struct Query {
  std::string sql;
  std::vector<Item> items;
};

Table dictionaryTable(const std::string& name, const DatabaseInfo& db) {
  Table t{name, {}};
  auto v = [](int n, bool nullable = true) {
    ColType c = textType(n);
    c.nullable = nullable;
    return c;
  };
  auto num = [](bool nullable = true) {
    ColType c = numberType();
    c.nullable = nullable;
    return c;
  };
  if (name == "USER_TABLES") {
    t.columns = {{"TABLE_NAME", v(30, false)}};
  } else if (name == "USER_TAB_COLUMNS") {
    t.columns = {{"TABLE_NAME", v(30, false)}, {"COLUMN_NAME", v(30, false)}, {"DATA_TYPE", v(106)},
                 {"DATA_LENGTH", num(false)},  {"DATA_PRECISION", num()},     {"DATA_SCALE", num()},
                 {"NULLABLE", v(1)},           {"COLUMN_ID", num()}};
    // The columns of character length semantics exist from 9i on.
    if (db.hasCharSemantics()) {
      t.columns.push_back({"CHAR_COL_DECL_LENGTH", num()});
      t.columns.push_back({"CHAR_LENGTH", num()});
      t.columns.push_back({"CHAR_USED", v(1)});
    }
  } else if (name == "USER_VIEWS") {
    ColType text;
    text.kind = Kind::Long;
    t.columns = {{"VIEW_NAME", v(30, false)}, {"TEXT_LENGTH", num()}, {"TEXT", text}};
  } else if (name == "DUAL") {
    t.columns = {{"DUMMY", v(1)}};
  }
  return t;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, const SchemaView& schema, std::string_view text = {})
      : t_(std::move(tokens)), schema_(schema), text_(text) {}

  Plan statement();

 private:
  std::vector<Token> t_;
  size_t p_ = 0;
  const SchemaView& schema_;
  std::string_view text_;   // the statement as written (CREATE VIEW keeps its query text)
  bool lobSubstr_ = false;  // the function being read is DBMS_LOB.SUBSTR
  int lenient_ = 0;         // > 0 while only the shape of the text is being read
  // ROWNUM terms of the WHERE being read (see rownumTerm).
  int64_t rownumLimit_ = -1;
  bool rownumAllowed_ = false;
  bool whereHasOr_ = false;
  int conditionDepth_ = 0;
  int nesting_ = 0;
  Plan plan_;

  // ---- token access ----
  const Token& cur() const { return t_[p_]; }
  const Token& at(size_t k) const { return t_[std::min(p_ + k, t_.size() - 1)]; }
  bool kw(const char* w, size_t k = 0) const { return at(k).kind == Tok::Ident && at(k).text == w; }
  bool sym(const char* s, size_t k = 0) const {
    return at(k).kind == Tok::Symbol && at(k).text == s;
  }
  bool acceptKw(const char* w) {
    if (!kw(w)) return false;
    ++p_;
    return true;
  }
  bool acceptSym(const char* s) {
    if (!sym(s)) return false;
    ++p_;
    return true;
  }
  [[noreturn]] void fail(int code, const std::vector<std::string>& args = {}) const {
    raise(code, args, cur().offset);
  }
  void expectSym(const char* s, int code) {
    if (!acceptSym(s)) fail(code);
  }
  void expectKw(const char* w, int code) {
    if (!acceptKw(w)) fail(code);
  }
  bool isName(size_t k = 0) const {
    const Token& tk = at(k);
    return tk.kind == Tok::Quoted || (tk.kind == Tok::Ident && !reserved().count(tk.text));
  }
  std::string name(int code = 903) {
    if (!isName()) fail(code);
    return t_[p_++].text;
  }

  // ---- names ----
  const Table* findTable(const std::string& schemaName, const std::string& tableName,
                         bool& dictionary) const {
    dictionary = false;
    if (!schemaName.empty() && schemaName != schema_.user) {
      if (schemaName == "SYS" && tableName == "DUAL") {
        dictionary = true;
        return nullptr;
      }
      return nullptr;
    }
    auto it = schema_.tables->find(tableName);
    if (it != schema_.tables->end()) return &it->second;
    if (schemaName.empty() && (tableName == "USER_TABLES" || tableName == "USER_TAB_COLUMNS" ||
                               tableName == "USER_VIEWS" || tableName == "DUAL")) {
      dictionary = true;
    }
    return nullptr;
  }

  Expr columnExpr(const Source& s, const Column& c) {
    Expr e;
    e.sql = quote(s.alias) + "." + quote(c.name);
    e.type = c.type;
    e.rep = c.type.isNumber() ? Rep::Blob : Rep::Plain;
    e.bareCol = true;
    e.isColumn = true;
    e.name = c.name;
    return e;
  }

  Expr resolve(const Scope& scope, const std::vector<std::string>& parts, int offset) {
    if (lenient_) {
      Expr e;
      e.sql = "NULL";
      e.type = textType(1);
      e.bareCol = true;
      e.isColumn = parts.size() == 1;
      e.name = parts.back();
      return e;
    }
    std::vector<std::string> q = parts;
    if (q.size() == 3) {
      if (q[0] != schema_.user)
        raise(904, {quote(q[0]) + "." + quote(q[1]) + "." + quote(q[2])}, offset);
      q.erase(q.begin());
    }
    for (const Scope* s = &scope; s; s = s->outer) {
      const Source* found = nullptr;
      const Column* col = nullptr;
      int matches = 0;
      for (const Source& src : s->sources) {
        if (q.size() == 2 && src.alias != q[0]) continue;
        for (const Column& c : src.cols) {
          if (c.name == q.back()) {
            if (!found) {
              found = &src;
              col = &c;
            }
            ++matches;
          }
        }
      }
      if (matches > 1) raise(918, {}, offset);
      if (found) return columnExpr(*found, *col);
    }
    std::string shown;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (i) shown += '.';
      shown += quote(parts[i]);
    }
    raise(904, {shown}, offset);
  }

  // ---- conversions ----
  static std::string num(const Expr& e) {
    if (e.type.isNumber()) return e.rep == Rep::Plain ? e.sql : "ORA_NUMVAL(" + e.sql + ")";
    if (e.isNull) return "NULL";
    if (e.type.isDate()) raise(932, {"NUMBER", "DATE"});
    return "ORA_NUMVAL(ORA_TO_NUMBER(" + e.sql + "))";
  }
  // An operand of exact arithmetic: any numeric representation will do, text is converted.
  static std::string exact(const Expr& e) {
    if (e.type.isNumber() || e.isNull) return e.sql;
    return as(e, numberType());
  }
  static std::string text(const Expr& e) {
    if (e.type.isNumber()) return "ORA_NUMTEXT(" + e.sql + ")";
    if (e.type.isDate()) return "ORA_DATETEXT(" + e.sql + ")";
    if (e.type.isBytes()) return "ORA_RAWTOHEX(" + e.sql + ")";
    return e.sql;
  }
  static std::string date(const Expr& e) {
    if (e.type.isDate() || e.isNull) return e.sql;
    if (e.type.isNumber()) raise(932, {"DATE", "NUMBER"});
    return "ORA_TO_DATE(" + e.sql + ")";
  }
  // Converts to a value of the given type the way Oracle converts implicitly.
  static std::string as(const Expr& e, const ColType& target) {
    if (target.isNumber()) {
      if (e.type.isNumber() || e.isNull) return e.sql;
      if (e.type.isDate()) raise(932, {"NUMBER", "DATE"});
      return "ORA_TO_NUMBER(" + e.sql + ")";
    }
    if (target.isDate()) return date(e);
    if (target.isBytes()) {
      if (e.type.isNumber() || e.type.isDate()) raise(932, {"BINARY", typeWord(e.type)});
      return e.sql;
    }
    return text(e);
  }

  static Expr numberLiteral(const std::string& literal) {
    Expr e;
    e.type = numberType();
    e.type.nullable = false;
    e.numLiteral = true;
    Decimal d;
    parseDecimal(literal, d);
    if (!d.isZero() && d.point > 126) raise(1426);
    int64_t iv;
    if (decimalToInt(d, iv)) {
      e.sql = std::to_string(iv);
    } else {
      Decimal back = decimalFromDouble(decimalToDouble(d));
      char a[400], b[400];
      decimalText(d, a, sizeof a);
      decimalText(back, b, sizeof b);
      // Plain only when a double holds it with room to spare (see valueToDecimal).
      if (std::string(a) == b && d.n <= 15) {
        e.sql = a;
      } else {
        e.sql = hexLiteral(encodeNumber(d));
        e.rep = Rep::Blob;
      }
    }
    e.name = literal;
    return e;
  }
  static std::string blobOf(const Expr& literal) {
    if (literal.rep == Rep::Blob) return literal.sql;
    Decimal d;
    parseDecimal(literal.sql, d);
    return hexLiteral(encodeNumber(d));
  }

  std::string compare(const Expr& l, std::string op, const Expr& r) {
    if (op == "!=" || op == "^=") op = "<>";
    if (l.type.isNumber() || r.type.isNumber()) {
      if (l.rep == Rep::Blob && r.rep == Rep::Blob) return l.sql + " " + op + " " + r.sql;
      if (l.rep == Rep::Blob && r.numLiteral) return l.sql + " " + op + " " + blobOf(r);
      if (r.rep == Rep::Blob && l.numLiteral) return blobOf(l) + " " + op + " " + r.sql;
      return num(l) + " " + op + " " + num(r);
    }
    if (l.type.isDate() || r.type.isDate()) return date(l) + " " + op + " " + date(r);
    if (l.type.kind == Kind::Char && r.type.kind == Kind::Char) {
      // Two CHAR values (literals are CHAR) compare with blank-padded semantics.
      return "rtrim(" + l.sql + ", ' ') " + op + " rtrim(" + r.sql + ", ' ')";
    }
    return text(l) + " " + op + " " + text(r);
  }

  // ---- expressions ----
  // Nested expressions, conditions and queries recurse; a limit keeps the stack bounded.
  struct Nesting {
    Parser& p;
    explicit Nesting(Parser& parser) : p(parser) {
      if (++p.nesting_ > 200) {
        --p.nesting_;
        p.fail(3001);
      }
    }
    ~Nesting() { --p.nesting_; }
  };

  Expr expr(const Scope& sc) {
    Nesting guard(*this);
    return additive(sc);
  }

  Expr additive(const Scope& sc) {
    Expr l = multiplicative(sc);
    while (sym("+") || sym("-") || sym("||")) {
      std::string op = t_[p_++].text;
      Expr r = multiplicative(sc);
      Expr out;
      out.agg = l.agg || r.agg;
      out.bareCol = l.bareCol || r.bareCol;
      if (op == "||") {
        out.sql = "ORA_CONCAT(" + text(l) + ", " + text(r) + ")";
        out.type = textType(textLength(l.type) + textLength(r.type));
      } else if (l.type.isDate() && r.type.isDate() && op == "-") {
        out.sql = "ORA_DATE_DIFF(" + l.sql + ", " + r.sql + ")";
        out.type = numberType();
      } else if (l.type.isDate() && !r.type.isDate()) {
        out.sql = "ORA_DATE_ADD(" + l.sql + ", " + (op == "-" ? "-" : "") + "(" + num(r) + "))";
        out.type = dateType();
      } else if (r.type.isDate() && op == "+") {
        out.sql = "ORA_DATE_ADD(" + r.sql + ", " + num(l) + ")";
        out.type = dateType();
      } else if (r.type.isDate()) {
        raise(932, {"NUMBER", "DATE"});
      } else {
        out.sql =
            std::string(op == "+" ? "ORA_ADD(" : "ORA_SUB(") + exact(l) + ", " + exact(r) + ")";
        out.type = numberType();
        out.rep = Rep::Blob;
      }
      l = out;
    }
    return l;
  }

  Expr multiplicative(const Scope& sc) {
    Expr l = unary(sc);
    while (sym("*") || sym("/")) {
      std::string op = t_[p_++].text;
      Expr r = unary(sc);
      Expr out;
      out.agg = l.agg || r.agg;
      out.bareCol = l.bareCol || r.bareCol;
      out.type = numberType();
      out.sql = std::string(op == "*" ? "ORA_MUL(" : "ORA_DIV(") + exact(l) + ", " + exact(r) + ")";
      out.rep = Rep::Blob;
      l = out;
    }
    return l;
  }

  Expr unary(const Scope& sc) {
    Nesting guard(*this);
    if (sym("-") || sym("+")) {
      bool minus = cur().text == "-";
      ++p_;
      if (cur().kind == Tok::Number) {
        std::string lit = (minus ? "-" : "") + t_[p_++].text;
        return numberLiteral(lit);
      }
      Expr e = unary(sc);
      if (!minus) return e;
      Expr out = e;
      out.sql = "ORA_NEG(" + exact(e) + ")";
      out.type = numberType();
      out.rep = Rep::Blob;
      out.isColumn = false;
      out.numLiteral = false;
      return out;
    }
    return primary(sc);
  }

  Expr primary(const Scope& sc) {
    const Token& tk = cur();
    int offset = tk.offset;
    switch (tk.kind) {
      case Tok::Number: {
        ++p_;
        return numberLiteral(tk.text);
      }
      case Tok::String: {
        ++p_;
        Expr e;
        if (tk.text.empty()) {
          // Oracle's empty string is NULL.
          e.sql = "NULL";
          e.isNull = true;
          e.type.kind = Kind::Null;
          return e;
        }
        // The statement reaches the server in its character set: a literal keeps only what the
        // set holds, and its length counts the set's bytes.
        std::string literal = toDatabaseText(tk.text, schema_.database.charset);
        e.sql = sqlString(literal);
        e.type.kind = Kind::Char;
        e.type.length = static_cast<int>(charsetBytes(literal, schema_.database.charset));
        e.type.nullable = false;
        return e;
      }
      case Tok::Bind: {
        ++p_;
        plan_.unboundVariables = true;
        Expr e;
        e.sql = "NULL";
        e.type = textType(4000);
        return e;
      }
      case Tok::Symbol:
        if (tk.text == "(") {
          ++p_;
          if (kw("SELECT")) {
            if (lenient_) {
              skipSubquery();
              Expr e;
              e.sql = "NULL";
              e.type = textType(1);
              return e;
            }
            Query q = query(&sc);
            expectSym(")", 907);
            if (q.items.size() != 1) raise(913, {}, offset);
            Expr e = q.items[0].expr;
            e.sql = "(" + q.sql + ")";
            e.isColumn = false;
            e.bareCol = false;
            e.agg = false;
            e.numLiteral = false;
            e.type.nullable = true;
            return e;
          }
          Expr e = expr(sc);
          expectSym(")", 907);
          e.sql = "(" + e.sql + ")";
          e.isColumn = false;
          return e;
        }
        fail(936);
      case Tok::End:
        fail(936);
      case Tok::Quoted:
      case Tok::Ident:
        break;
    }
    if (tk.kind == Tok::Ident) {
      const std::string& w = tk.text;
      if (w == "NULL") {
        ++p_;
        Expr e;
        e.sql = "NULL";
        e.isNull = true;
        e.type.kind = Kind::Null;
        return e;
      }
      if (w == "SYSDATE") {
        ++p_;
        Expr e;
        e.sql = "ORA_SYSDATE()";
        e.type = dateType();
        e.type.nullable = false;
        return e;
      }
      if (w == "USER") {
        ++p_;
        Expr e;
        e.sql = sqlString(schema_.user);
        e.type = textType(30);
        return e;
      }
      if (w == "N" && at(1).kind == Tok::String && at(1).offset == tk.offset + 1 &&
          !at(1).text.empty()) {
        // N'...': a national literal, which keeps every character for an NVARCHAR2 column.
        const Token& lit = t_[p_ + 1];
        p_ += 2;
        Expr e;
        e.sql = sqlString(lit.text);
        e.type.kind = Kind::Char;
        e.type.national = true;
        e.type.length = static_cast<int>(charCount(lit.text));
        e.type.bytes = 2 * e.type.length;
        e.type.nullable = false;
        return e;
      }
      if (w == "ROWNUM" || w == "ROWID" || w == "LEVEL") fail(3001);
      if (w == "CASE") return caseExpr(sc);
      if (w == "DATE" && at(1).kind == Tok::String) {
        ++p_;
        const Token& lit = t_[p_++];
        Expr e;
        DateTime d = toDate(lit.text, "YYYY-MM-DD");
        e.sql = sqlString(dateText(d));
        e.type = dateType();
        return e;
      }
      if (reserved().count(w)) fail(936);
      if (w == "DBMS_LOB" && sym(".", 1) && at(2).kind == Tok::Ident && at(2).text == "SUBSTR" &&
          sym("(", 3)) {
        p_ += 2;
        lobSubstr_ = true;
        return function(sc);
      }
      if (sym("(", 1)) return function(sc);
    }
    // a column reference: name[.name[.name]]
    std::vector<std::string> parts{t_[p_++].text};
    while (sym(".") && (at(1).kind == Tok::Ident || at(1).kind == Tok::Quoted)) {
      ++p_;
      parts.push_back(t_[p_++].text);
    }
    return resolve(sc, parts, offset);
  }

  Expr caseExpr(const Scope& sc) {
    ++p_;  // CASE
    Expr out;
    std::string sql = "CASE";
    bool simple = !kw("WHEN");
    Expr subject;
    if (simple) subject = expr(sc);
    bool first = true;
    bool any = false;
    std::vector<Expr> results;
    while (acceptKw("WHEN")) {
      any = true;
      std::string cond;
      if (simple) {
        Expr v = expr(sc);
        cond = compare(subject, "=", v);
        out.bareCol |= v.bareCol;
      } else {
        Expr c = condition(sc);
        cond = c.sql;
        out.bareCol |= c.bareCol;
        out.agg |= c.agg;
      }
      expectKw("THEN", 905);
      Expr r = expr(sc);
      if (first && !r.isNull) {
        out.type = r.type;
        first = false;
      }
      results.push_back(r);
      sql += " WHEN " + cond + " THEN @" + std::to_string(results.size() - 1);
    }
    if (!any) fail(905);
    if (acceptKw("ELSE")) {
      results.push_back(expr(sc));
      sql += " ELSE @" + std::to_string(results.size() - 1);
    }
    expectKw("END", 905);
    if (first) out.type.kind = Kind::Null;
    // Every branch is converted to the type of the first one.
    std::string final;
    for (size_t i = 0; i < sql.size(); ++i) {
      if (sql[i] == '@') {
        size_t j = i + 1;
        while (j < sql.size() && isdigit(static_cast<unsigned char>(sql[j]))) ++j;
        const Expr& r = results[std::stoul(sql.substr(i + 1, j - i - 1))];
        final += out.type.kind == Kind::Null ? r.sql : as(r, out.type);
        if (out.type.isNumber() && r.rep != Rep::Plain) out.rep = Rep::Mixed;
        out.agg |= r.agg;
        out.bareCol |= r.bareCol;
        i = j - 1;
      } else {
        final += sql[i];
      }
    }
    if (out.type.isNumber() && out.rep == Rep::Plain) {
      for (const Expr& r : results)
        if (r.rep != Rep::Plain) out.rep = Rep::Mixed;
    }
    out.sql = "(" + final + " END)";
    out.type.nullable = true;
    return out;
  }

  // ---- functions ----
  Expr function(const Scope& sc) {
    int offset = cur().offset;
    std::string fn = t_[p_].text;
    p_ += 2;  // name and "("
    const bool lobSubstr = std::exchange(lobSubstr_, false);
    Expr out;
    auto close = [&] { expectSym(")", 907); };
    auto argCount = [&](size_t n, size_t lo, size_t hi) {
      if (n < lo || n > hi) raise(909, {}, offset);
    };
    static const std::set<std::string> aggregates = {"COUNT", "SUM", "AVG", "MIN", "MAX"};
    if (aggregates.count(fn)) {
      out.agg = true;
      if (fn == "COUNT" && sym("*")) {
        ++p_;
        close();
        out.sql = "COUNT(*)";
        out.type = numberType();
        return out;
      }
      std::string distinct;
      if (acceptKw("DISTINCT") || acceptKw("UNIQUE"))
        distinct = "DISTINCT ";
      else
        acceptKw("ALL");
      Expr a = expr(sc);
      close();
      if (a.agg && !lenient_) raise(935, {}, offset);
      if (fn == "COUNT") {
        out.sql = "COUNT(" + distinct + a.sql + ")";
        out.type = numberType();
      } else if (fn == "MIN" || fn == "MAX") {
        out.sql = fn + "(" + distinct + a.sql + ")";
        out.type = a.type;
        out.type.nullable = true;
        out.rep = a.rep;
      } else {
        // Exact sums; DISTINCT compares the exact operands.
        out.sql = (fn == "SUM" ? "ORA_SUM(" : "ORA_AVG(") + distinct + exact(a) + ")";
        out.type = numberType();
        out.rep = Rep::Blob;
      }
      return out;
    }
    if (fn == "CAST") {
      Expr a = expr(sc);
      expectKw("AS", 905);
      ColType target = dataType();
      close();
      out = a;
      out.isColumn = false;
      out.numLiteral = false;
      out.sql = as(a, target);
      if (target.kind == Kind::Varchar2 || target.kind == Kind::Char)
        out.sql = "ORA_CAST_TEXT(" + out.sql + ", " + sqlString(typeSpec(target)) + ")";
      // A number cast to NUMBER(p,s), INTEGER or FLOAT(b) is rounded to it, or refused with
      // ORA-01438, as a column of that type would.
      bool bounded = target.kind == Kind::Integer || target.kind == Kind::Float ||
                     (target.kind == Kind::Number && target.precision > 0);
      if (bounded)
        out.sql = "ORA_STORE(" + out.sql + ", " + sqlString(typeSpec(target) + "|") + ")";
      // A DATE keeps no fraction of a second.
      if (target.kind == Kind::Date && a.type.kind == Kind::Timestamp)
        out.sql = "substr(" + out.sql + ", 1, 19)";
      out.type = target;
      out.type.nullable = true;
      if (target.isNumber()) out.rep = bounded || !a.type.isNumber() ? Rep::Blob : a.rep;
      return out;
    }
    std::vector<Expr> args;
    if (!sym(")")) {
      do {
        args.push_back(expr(sc));
      } while (acceptSym(","));
    }
    close();
    for (const Expr& a : args) {
      out.agg |= a.agg;
      out.bareCol |= a.bareCol;
    }
    const size_t n = args.size();
    auto joinArgs = [&](auto conv) {
      std::string s;
      for (size_t i = 0; i < n; ++i) s += (i ? ", " : "") + conv(args[i]);
      return s;
    };
    if (fn == "NVL" || fn == "COALESCE") {
      argCount(n, 2, fn == "NVL" ? 2 : 255);
      ColType type = args[0].type;
      for (const Expr& a : args) {
        if (type.kind == Kind::Null && !a.isNull) type = a.type;
      }
      out.type = type;
      out.type.nullable = true;
      if (type.kind == Kind::Null) {
        out.sql = "coalesce(" + joinArgs([](const Expr& a) { return a.sql; }) + ")";
      } else {
        out.sql = "coalesce(" + joinArgs([&](const Expr& a) { return as(a, type); }) + ")";
      }
      if (type.isNumber()) {
        out.rep = Rep::Plain;
        for (const Expr& a : args)
          if (a.rep != Rep::Plain || !a.type.isNumber()) out.rep = Rep::Mixed;
      }
      return out;
    }
    if (fn == "NVL2") {
      argCount(n, 3, 3);
      out.type = args[1].isNull ? args[2].type : args[1].type;
      out.sql = "(CASE WHEN " + args[0].sql + " IS NOT NULL THEN " + as(args[1], out.type) +
                " ELSE " + as(args[2], out.type) + " END)";
      if (out.type.isNumber()) out.rep = Rep::Mixed;
      out.type.nullable = true;
      return out;
    }
    if (fn == "DECODE") {
      argCount(n, 3, 255);
      out.type = args[2].type;
      std::string s = "(CASE";
      size_t i = 1;
      for (; i + 1 < n; i += 2) {
        std::string l, r;
        if (args[0].type.isNumber() || args[i].type.isNumber()) {
          l = num(args[0]);
          r = num(args[i]);
        } else if (args[0].type.isDate() || args[i].type.isDate()) {
          l = date(args[0]);
          r = date(args[i]);
        } else {
          l = text(args[0]);
          r = text(args[i]);
        }
        s += " WHEN " + l + " IS " + r + " THEN " + as(args[i + 1], out.type);
      }
      if (i < n) s += " ELSE " + as(args[i], out.type);
      out.sql = s + " END)";
      if (out.type.isNumber()) out.rep = Rep::Mixed;
      out.type.nullable = true;
      return out;
    }
    if (fn == "UPPER" || fn == "LOWER" || fn == "INITCAP") {
      argCount(n, 1, 1);
      out.sql = "ORA_" + fn + "(" + text(args[0]) + ")";
      out.type = textType(textLength(args[0].type));
      return out;
    }
    if (fn == "LENGTH") {
      argCount(n, 1, 1);
      out.sql = "ORA_LENGTH(" + text(args[0]) + ")";
      out.type = numberType();
      return out;
    }
    if (lobSubstr) {
      // DBMS_LOB.SUBSTR(lob, amount = 32767, offset = 1): a VARCHAR2 of at most 4000 bytes in SQL.
      argCount(n, 1, 3);
      std::string amount = n >= 2 ? num(args[1]) : "32767";
      std::string from = n == 3 ? num(args[2]) : "1";
      ColType limit = textType(4000);
      out.sql = "ORA_CAST_TEXT(ORA_SUBSTR(" + text(args[0]) + ", " + from + ", " + amount + "), " +
                sqlString(typeSpec(limit)) + ", 6502)";
      out.type = limit;
      return out;
    }
    if (fn == "SUBSTR") {
      argCount(n, 2, 3);
      out.sql = "ORA_SUBSTR(" + text(args[0]) + ", " + num(args[1]) +
                (n == 3 ? ", " + num(args[2]) : std::string()) + ")";
      out.type = textType(textLength(args[0].type));
      if (args[0].type.kind == Kind::Clob) out.type.kind = Kind::Clob;
      return out;
    }
    if (fn == "INSTR") {
      argCount(n, 2, 4);
      if (n > 2) raise(3001, {}, offset);  // start position and occurrence
      out.sql = "instr(" + text(args[0]) + ", " + text(args[1]) + ")";
      out.type = numberType();
      return out;
    }
    if (fn == "TRIM" || fn == "LTRIM" || fn == "RTRIM") {
      argCount(n, 1, fn == "TRIM" ? 1 : 2);
      out.sql = "nullif(" +
                std::string(fn == "TRIM"    ? "trim"
                            : fn == "LTRIM" ? "ltrim"
                                            : "rtrim") +
                "(" + joinArgs([&](const Expr& a) { return text(a); }) + "), '')";
      out.type = textType(textLength(args[0].type));
      return out;
    }
    if (fn == "REPLACE") {
      argCount(n, 2, 3);
      out.sql = "ORA_REPLACE(" + joinArgs([&](const Expr& a) { return text(a); }) + ")";
      out.type = textType(4000);
      return out;
    }
    if (fn == "LPAD" || fn == "RPAD") {
      argCount(n, 2, 3);
      out.sql = "ORA_" + fn + "(" + text(args[0]) + ", " + num(args[1]) +
                (n == 3 ? ", " + text(args[2]) : std::string()) + ")";
      out.type = textType(4000);
      return out;
    }
    if (fn == "CONCAT") {
      argCount(n, 2, 2);
      out.sql = "ORA_CONCAT(" + text(args[0]) + ", " + text(args[1]) + ")";
      out.type = textType(textLength(args[0].type) + textLength(args[1].type));
      return out;
    }
    if (fn == "TO_CHAR") {
      argCount(n, 1, 2);
      const Expr& a = args[0];
      std::string fmt = n == 2 ? ", " + text(args[1]) : std::string();
      if (a.type.isDate()) {
        out.sql = "ORA_DATETEXT(" + a.sql + fmt + ")";
        out.type = textType(75);
      } else if (a.type.isNumber()) {
        out.sql = "ORA_NUMTEXT(" + a.sql + fmt + ")";
        out.type = textType(64);
      } else {
        out.sql = text(a);
        out.type = textType(textLength(a.type));
      }
      return out;
    }
    if (fn == "TO_DATE") {
      argCount(n, 1, 2);
      out.sql = "ORA_TO_DATE(" + text(args[0]) + (n == 2 ? ", " + text(args[1]) : "") + ")";
      out.type = dateType();
      return out;
    }
    if (fn == "TO_NUMBER") {
      argCount(n, 1, 3);
      if (n > 1) raise(3001, {}, offset);  // number format models for reading
      out.sql = args[0].type.isNumber() ? args[0].sql : "ORA_TO_NUMBER(" + text(args[0]) + ")";
      out.type = numberType();
      out.rep = args[0].type.isNumber() ? args[0].rep : Rep::Blob;
      return out;
    }
    if (fn == "TRUNC" || fn == "ROUND") {
      argCount(n, 1, 2);
      if (args[0].type.isDate()) {
        if (fn == "ROUND") raise(3001, {}, offset);
        out.sql = "ORA_TRUNC_DATE(" + args[0].sql + (n == 2 ? ", " + text(args[1]) : "") + ")";
        out.type = dateType();
      } else {
        out.sql = "ORA_" + fn + "_NUM(" + args[0].sql + (n == 2 ? ", " + num(args[1]) : "") + ")";
        out.type = numberType();
        out.rep = Rep::Blob;
      }
      return out;
    }
    if (fn == "ABS" || fn == "CEIL" || fn == "FLOOR" || fn == "SIGN") {
      argCount(n, 1, 1);
      out.sql = "ORA_" + fn + "(" + as(args[0], numberType()) + ")";
      out.type = numberType();
      out.rep = Rep::Blob;
      return out;
    }
    if (fn == "MOD") {
      argCount(n, 2, 2);
      out.sql = "ORA_MOD(" + exact(args[0]) + ", " + exact(args[1]) + ")";
      out.type = numberType();
      out.rep = Rep::Blob;
      return out;
    }
    if (fn == "GREATEST" || fn == "LEAST") {
      argCount(n, 1, 255);
      out.type = args[0].type;
      out.sql =
          std::string(fn == "GREATEST" ? "max" : "min") + "(" +
          joinArgs([&](const Expr& a) { return out.type.isNumber() ? num(a) : as(a, out.type); }) +
          (n == 1 ? ", NULL" : "") + ")";
      if (n == 1) out.sql = args[0].sql;
      out.type.nullable = true;
      return out;
    }
    if (fn == "NULLIF") {
      argCount(n, 2, 2);
      out.type = args[0].type;
      out.sql = args[0].type.isNumber()
                    ? "nullif(" + num(args[0]) + ", " + num(args[1]) + ")"
                    : "nullif(" + args[0].sql + ", " + as(args[1], args[0].type) + ")";
      out.type.nullable = true;
      return out;
    }
    if (fn == "ADD_MONTHS") {
      argCount(n, 2, 2);
      out.sql = "ORA_ADD_MONTHS(" + date(args[0]) + ", " + num(args[1]) + ")";
      out.type = dateType();
      return out;
    }
    if (fn == "HEXTORAW") {
      argCount(n, 1, 1);
      out.sql = "ORA_HEXTORAW(" + text(args[0]) + ")";
      out.type.kind = Kind::Raw;
      out.type.length = std::max(1, (textLength(args[0].type) + 1) / 2);
      return out;
    }
    if (fn == "RAWTOHEX") {
      argCount(n, 1, 1);
      out.sql = args[0].type.isBytes() ? "ORA_RAWTOHEX(" + args[0].sql + ")" : text(args[0]);
      out.type = textType(args[0].type.isBytes() ? args[0].type.length * 2 : 4000);
      return out;
    }
    if (fn == "CHR") {
      argCount(n, 1, 1);
      out.sql = "char(" + num(args[0]) + ")";
      out.type = textType(1);
      return out;
    }
    if (fn == "ASCII") {
      argCount(n, 1, 1);
      out.sql = "unicode(" + text(args[0]) + ")";
      out.type = numberType();
      return out;
    }
    if (fn == "POWER" || fn == "SQRT" || fn == "EXP" || fn == "LN" || fn == "LOG") {
      // Computed in double precision, like the other arithmetic here.
      argCount(n, fn == "POWER" || fn == "LOG" ? 2 : 1, fn == "POWER" || fn == "LOG" ? 2 : 1);
      out.sql = "ORA_" + fn + "(" + joinArgs([&](const Expr& a) { return num(a); }) + ")";
      out.type = numberType();
      return out;
    }
    if (fn == "LAST_DAY") {
      argCount(n, 1, 1);
      out.sql = "ORA_LAST_DAY(" + date(args[0]) + ")";
      out.type = dateType();
      return out;
    }
    if (fn == "MONTHS_BETWEEN") {
      argCount(n, 2, 2);
      out.sql = "ORA_MONTHS_BETWEEN(" + date(args[0]) + ", " + date(args[1]) + ")";
      out.type = numberType();
      return out;
    }
    static const std::set<std::string> known = {
        "SIN",           "COS",          "TAN",      "LAST_DAY", "NEXT_DAY",    "TRANSLATE",
        "SOUNDEX",       "STDDEV",       "VARIANCE", "LISTAGG",  "REGEXP_LIKE", "REGEXP_REPLACE",
        "REGEXP_SUBSTR", "TO_TIMESTAMP", "EXTRACT",  "SYS_GUID", "USERENV",     "NUMTODSINTERVAL"};
    if (known.count(fn)) raise(3001, {}, offset);
    raise(904, {quote(fn)}, offset);
  }

  // While only the shape of a select list is read, a subquery in it is skipped up to its closing
  // parenthesis (which is consumed): reading it twice at every level would cost 2^depth.
  void skipSubquery() {
    int depth = 1;
    while (cur().kind != Tok::End) {
      if (sym("(")) ++depth;
      if (sym(")") && --depth == 0) {
        ++p_;
        return;
      }
      ++p_;
    }
    fail(907);
  }

  // ---- conditions ----
  Expr condition(const Scope& sc) {
    struct Depth {
      int& d;
      explicit Depth(int& v) : d(++v) {}
      ~Depth() { --d; }
    } depth(conditionDepth_);
    Expr l = conjunction(sc);
    while (acceptKw("OR")) {
      if (conditionDepth_ == 1) {
        whereHasOr_ = true;
        if (rownumLimit_ >= 0) fail(3001);
      }
      Expr r = conjunction(sc);
      l.sql = "(" + l.sql + " OR " + r.sql + ")";
      l.agg |= r.agg;
      l.bareCol |= r.bareCol;
    }
    return l;
  }
  // ROWNUM < n, ROWNUM <= n and ROWNUM = n as a term of the top level of a query's WHERE: the
  // rows are numbered as they pass the rest of the WHERE, so the term is a row limit.
  bool rownumTerm(Expr& out) {
    if (!rownumAllowed_ || conditionDepth_ != 1 || whereHasOr_ || !kw("ROWNUM")) return false;
    if (!(sym("<", 1) || sym("<=", 1) || sym("=", 1)) || at(2).kind != Tok::Number) return false;
    const Token& after = at(3);
    if (after.kind == Tok::Symbol && after.text != ")") return false;
    std::string op = at(1).text;
    Decimal v;
    parseDecimal(at(2).text, v);
    double n = decimalToDouble(v);
    int64_t limit;
    if (op == "<")
      limit = static_cast<int64_t>(std::ceil(n)) - 1;
    else if (op == "<=")
      limit = static_cast<int64_t>(std::floor(n));
    else
      limit = n == 1 ? 1 : 0;  // ROWNUM = 2 never holds: the first row would have to be skipped
    limit = std::max<int64_t>(limit, 0);
    rownumLimit_ = rownumLimit_ < 0 ? limit : std::min(rownumLimit_, limit);
    p_ += 3;
    out = Expr{};
    out.sql = "1";
    return true;
  }

  Expr conjunction(const Scope& sc) {
    Expr l;
    if (!rownumTerm(l)) l = negation(sc);
    while (acceptKw("AND")) {
      Expr r;
      if (!rownumTerm(r)) r = negation(sc);
      l.sql = "(" + l.sql + " AND " + r.sql + ")";
      l.agg |= r.agg;
      l.bareCol |= r.bareCol;
    }
    return l;
  }
  Expr negation(const Scope& sc) {
    Nesting guard(*this);
    if (acceptKw("NOT")) {
      Expr e = negation(sc);
      e.sql = "(NOT " + e.sql + ")";
      return e;
    }
    return predicate(sc);
  }

  Expr predicate(const Scope& sc) {
    Expr out;
    if (acceptKw("EXISTS")) {
      expectSym("(", 906);
      if (lenient_) {
        skipSubquery();
        out.sql = "1";
        return out;
      }
      Query q = query(&sc);
      expectSym(")", 907);
      out.sql = "EXISTS (" + q.sql + ")";
      return out;
    }
    if (sym("(") && !kw("SELECT", 1)) {
      // Either a parenthesised condition or an expression that starts with "(".
      size_t save = p_;
      ++p_;
      try {
        Expr c = condition(sc);
        if (acceptSym(")") && !isOperatorAhead()) {
          c.sql = "(" + c.sql + ")";
          return c;
        }
      } catch (const OraError&) {
      }
      p_ = save;
    }
    Expr l = expr(sc);
    out.agg = l.agg;
    out.bareCol = l.bareCol;
    auto merge = [&](const Expr& e) {
      out.agg |= e.agg;
      out.bareCol |= e.bareCol;
    };
    static const char* const ops[] = {"=", "<>", "!=", "^=", "<", ">", "<=", ">="};
    for (const char* op : ops) {
      if (sym(op)) {
        ++p_;
        if (kw("ANY") || kw("ALL") || kw("SOME")) fail(3001);
        Expr r = expr(sc);
        merge(r);
        out.sql = compare(l, op, r);
        return out;
      }
    }
    if (acceptKw("IS")) {
      bool no = acceptKw("NOT");
      expectKw("NULL", 908);
      out.sql = l.sql + (no ? " IS NOT NULL" : " IS NULL");
      return out;
    }
    bool no = acceptKw("NOT");
    if (acceptKw("LIKE")) {
      Expr r = expr(sc);
      merge(r);
      out.sql = text(l) + (no ? " NOT LIKE " : " LIKE ") + text(r);
      if (acceptKw("ESCAPE")) out.sql += " ESCAPE " + text(expr(sc));
      return out;
    }
    if (acceptKw("BETWEEN")) {
      Expr lo = expr(sc);
      expectKw("AND", 905);
      Expr hi = expr(sc);
      merge(lo);
      merge(hi);
      out.sql = "(" + compare(l, ">=", lo) + " AND " + compare(l, "<=", hi) + ")";
      if (no) out.sql = "(NOT " + out.sql + ")";
      return out;
    }
    if (acceptKw("IN")) {
      expectSym("(", 906);
      std::string list;
      if (kw("SELECT") && lenient_) {
        skipSubquery();
        out.sql = "1";
        return out;
      }
      if (kw("SELECT")) {
        Query q = query(&sc);
        if (q.items.size() != 1) fail(913);
        const Expr& c = q.items[0].expr;
        if (l.type.isNumber() && !(l.rep == Rep::Blob && c.rep == Rep::Blob)) {
          list = "SELECT ORA_NUMVAL(" + quote(q.items[0].name) + ") FROM (" + q.sql + ")";
          out.sql = num(l);
        } else {
          list = q.sql;
          out.sql = l.sql;
        }
      } else {
        std::vector<Expr> values;
        do {
          values.push_back(expr(sc));
          merge(values.back());
        } while (acceptSym(","));
        bool allBlob = l.rep == Rep::Blob;
        for (const Expr& v : values) allBlob &= v.numLiteral || v.rep == Rep::Blob;
        for (size_t i = 0; i < values.size(); ++i) {
          const Expr& v = values[i];
          std::string s;
          if (l.type.isNumber() || v.type.isNumber())
            s = allBlob ? blobOf(v) : num(v);
          else if (l.type.isDate() || v.type.isDate())
            s = date(v);
          else
            s = text(v);
          list += (i ? ", " : "") + s;
        }
        if (l.type.isNumber() && !allBlob)
          out.sql = num(l);
        else if (l.type.isDate())
          out.sql = l.sql;
        else if (l.type.isNumber())
          out.sql = l.sql;
        else
          out.sql = text(l);
      }
      expectSym(")", 907);
      out.sql += (no ? " NOT IN (" : " IN (") + list + ")";
      return out;
    }
    if (no) fail(920);
    fail(920);
  }

  bool isOperatorAhead() const {
    static const char* const ops[] = {
        "=", "<>", "!=", "^=", "<", ">", "<=", ">=", "+", "-", "*", "/", "||"};
    for (const char* op : ops)
      if (sym(op)) return true;
    return kw("IS") || kw("LIKE") || kw("BETWEEN") || kw("IN") ||
           (kw("NOT") && (kw("LIKE", 1) || kw("BETWEEN", 1) || kw("IN", 1)));
  }

  // ---- queries ----
  struct Block {
    std::string sql;
    std::vector<Item> items;
    Scope scope;
    int64_t limit = -1;  // from ROWNUM in the WHERE; -1: none
  };

  // The name Oracle gives an expression without alias: its text in upper case without blanks,
  // string literals included ("select 'a b' from dual" names the column 'AB').
  std::string itemName(size_t from, size_t to) const {
    std::string s;
    for (size_t i = from; i < to; ++i) {
      const Token& tk = t_[i];
      if (tk.kind == Tok::String) {
        for (char c : tk.raw)
          if (c != ' ') s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      } else {
        s += tk.kind == Tok::Ident ? tk.text : tk.raw;
      }
    }
    return s;
  }

  std::vector<Item> selectList(const Scope& sc, std::string& sql) {
    std::vector<Item> items;
    if (kw("FROM")) fail(936);
    do {
      size_t start = p_;
      if (sym("*")) {
        // A bare "*" is the whole select list.
        if (!items.empty()) fail(936);
        ++p_;
        if (sym(",")) fail(923);
        for (const Source& s : sc.sources)
          for (const Column& c : s.cols) items.push_back({columnExpr(s, c), c.name, false});
        continue;
      }
      if (isName() && sym(".", 1) && sym("*", 2)) {
        std::string alias = t_[p_].text;
        p_ += 3;
        if (!lenient_) {
          const Source* src = nullptr;
          for (const Source& s : sc.sources)
            if (s.alias == alias) src = &s;
          if (!src) raise(904, {quote(alias)}, t_[start].offset);
          for (const Column& c : src->cols) items.push_back({columnExpr(*src, c), c.name, false});
        }
        continue;
      }
      Expr e = expr(sc);
      Item item{e, e.isColumn ? e.name : itemName(start, p_), false};
      bool as = acceptKw("AS");
      if (isName()) {
        item.name = t_[p_++].text;
        item.aliased = true;
      } else if (as) {
        fail(923);
      }
      items.push_back(item);
    } while (acceptSym(","));
    for (size_t i = 0; i < items.size(); ++i)
      sql += (i ? ", " : "") + items[i].expr.sql + " AS " + quote(items[i].name);
    return items;
  }

  // A table alias follows; NATURAL starts a join form that is not offered here.
  bool aliasAhead() const {
    if (kw("NATURAL")) fail(3001);
    return isName();
  }

  std::string tableRef(const Scope* outer, Scope& sc) {
    int offset = cur().offset;
    if (acceptSym("(")) {
      if (!kw("SELECT")) fail(928);
      Query q = query(outer);
      expectSym(")", 907);
      Source s;
      if (aliasAhead())
        s.alias = t_[p_++].text;
      else
        s.alias = "STANDIN$" + std::to_string(sc.sources.size() + 1);
      for (const Item& it : q.items) s.cols.push_back({it.name, it.expr.type});
      sc.sources.push_back(s);
      return "(" + q.sql + ") AS " + quote(s.alias);
    }
    std::string first = name(903);
    std::string schemaName, tableName = first;
    if (sym(".")) {
      ++p_;
      schemaName = first;
      tableName = name(903);
    }
    Source s;
    s.alias = tableName;
    if (kw("AS")) fail(933);
    if (aliasAhead()) s.alias = t_[p_++].text;
    bool dictionary = false;
    const Table* table = findTable(schemaName, tableName, dictionary);
    std::string from;
    if (table) {
      s.cols = table->columns;
      from = quote(table->name);
    } else if (dictionary) {
      s.cols = dictionaryTable(tableName, schema_.database).columns;
      if (tableName == "USER_TABLES") {
        from = quote(kTablesTable);
      } else if (tableName == "USER_TAB_COLUMNS") {
        from =
            "(SELECT *, ORA_CHAR_DECL(\"STANDIN_SPEC\", \"DATA_LENGTH\") AS "
            "\"CHAR_COL_DECL_LENGTH\", ORA_CHAR_LENGTH(\"STANDIN_SPEC\") AS \"CHAR_LENGTH\", "
            "ORA_CHAR_USED(\"STANDIN_SPEC\") AS \"CHAR_USED\" FROM " +
            quote(kColumnsTable) + ")";
      } else if (tableName == "USER_VIEWS") {
        from = schema_.hasViewsTable ? quote(kViewsTable)
                                     : "(SELECT NULL AS \"VIEW_NAME\", NULL AS \"TEXT_LENGTH\", "
                                       "NULL AS \"TEXT\" WHERE 0)";
      } else
        from = "(SELECT 'X' AS \"DUMMY\")";
    } else if (!lenient_) {
      raise(942, {}, offset);
    } else {
      from = "(SELECT 1)";
    }
    sc.sources.push_back(s);
    return from + " AS " + quote(s.alias);
  }

  std::string fromClause(const Scope* outer, Scope& sc) {
    sc.outer = outer;
    std::string sql = tableRef(outer, sc);
    for (;;) {
      if (acceptSym(",")) {
        sql += ", " + tableRef(outer, sc);
        continue;
      }
      std::string join;
      if (acceptKw("JOIN")) {
        join = " JOIN ";
      } else if (kw("INNER") && kw("JOIN", 1)) {
        p_ += 2;
        join = " JOIN ";
      } else if (kw("CROSS") && kw("JOIN", 1)) {
        p_ += 2;
        sql += " CROSS JOIN " + tableRef(outer, sc);
        continue;
      } else if (kw("LEFT") || kw("RIGHT") || kw("FULL")) {
        std::string side = t_[p_++].text;
        acceptKw("OUTER");
        expectKw("JOIN", 905);
        join = " " + side + " JOIN ";
      } else {
        break;
      }
      sql += join + tableRef(outer, sc);
      if (kw("USING")) fail(3001);
      expectKw("ON", 905);
      sql += " ON " + condition(sc).sql;
    }
    return sql;
  }

  Block selectBlock(const Scope* outer) {
    if (!acceptKw("SELECT")) fail(928);
    Block b;
    std::string sql = "SELECT ";
    bool distinct = false;
    if (acceptKw("DISTINCT") || acceptKw("UNIQUE")) {
      sql += "DISTINCT ";
      distinct = true;
    } else {
      acceptKw("ALL");
    }
    size_t listStart = p_;
    {
      // The select list comes before the FROM clause that gives its names: read its shape first.
      ++lenient_;
      Scope dummy;
      dummy.outer = outer;
      std::string ignored;
      Plan saved = plan_;
      selectList(dummy, ignored);
      plan_ = saved;
      --lenient_;
    }
    if (!kw("FROM")) fail(923);
    ++p_;
    std::string from = fromClause(outer, b.scope);
    size_t fromEnd = p_;
    p_ = listStart;
    std::string list;
    b.items = selectList(b.scope, list);
    p_ = fromEnd;
    sql += list + " FROM " + from;
    bool grouped = false;
    std::vector<std::string> groupSql;
    if (acceptKw("WHERE")) {
      int64_t savedLimit = rownumLimit_;
      bool savedAllowed = rownumAllowed_, savedOr = whereHasOr_;
      int savedDepth = conditionDepth_;
      rownumLimit_ = -1;
      rownumAllowed_ = true;
      whereHasOr_ = false;
      conditionDepth_ = 0;
      Expr c;
      try {
        c = condition(b.scope);
      } catch (...) {
        rownumLimit_ = savedLimit;
        rownumAllowed_ = savedAllowed;
        whereHasOr_ = savedOr;
        conditionDepth_ = savedDepth;
        throw;
      }
      b.limit = rownumLimit_;
      rownumLimit_ = savedLimit;
      rownumAllowed_ = savedAllowed;
      whereHasOr_ = savedOr;
      conditionDepth_ = savedDepth;
      if (c.agg && !lenient_) fail(934);
      sql += " WHERE " + c.sql;
    }
    if (kw("GROUP") && kw("BY", 1)) {
      p_ += 2;
      grouped = true;
      std::string g;
      do {
        Expr e = expr(b.scope);
        groupSql.push_back(e.sql);
        g += (g.empty() ? "" : ", ") + e.sql;
      } while (acceptSym(","));
      sql += " GROUP BY " + g;
    }
    if (acceptKw("HAVING")) {
      sql += " HAVING " + condition(b.scope).sql;
      grouped = true;
    }
    if (!lenient_) {
      bool anyAgg = false;
      for (const Item& it : b.items) anyAgg |= it.expr.agg;
      if (anyAgg || grouped) {
        for (const Item& it : b.items) {
          if (!it.expr.bareCol) continue;
          bool inGroup = std::find(groupSql.begin(), groupSql.end(), it.expr.sql) != groupSql.end();
          if (!grouped) raise(937, {}, t_[listStart].offset);
          if (it.expr.isColumn && !inGroup) raise(979, {}, t_[listStart].offset);
        }
      }
    }
    // ROWNUM counts rows before grouping and DISTINCT, which a row limit cannot express.
    if (b.limit >= 0 && (grouped || distinct)) fail(3001);
    b.sql = sql;
    return b;
  }

  Query query(const Scope* outer) {
    Block first = selectBlock(outer);
    Query q;
    q.sql = first.sql;
    q.items = first.items;
    bool compound = false;
    for (;;) {
      std::string op;
      if (kw("UNION") && kw("ALL", 1)) {
        p_ += 2;
        op = " UNION ALL ";
      } else if (acceptKw("UNION")) {
        op = " UNION ";
      } else if (acceptKw("INTERSECT")) {
        op = " INTERSECT ";
      } else if (acceptKw("MINUS")) {
        op = " EXCEPT ";
      } else {
        break;
      }
      compound = true;
      int offset = cur().offset;
      if (first.limit >= 0) fail(3001);
      Block next = selectBlock(outer);
      if (next.limit >= 0) fail(3001);
      if (next.items.size() != q.items.size()) raise(1789, {}, offset);
      for (size_t i = 0; i < q.items.size(); ++i) {
        const ColType& a = q.items[i].expr.type;
        const ColType& b = next.items[i].expr.type;
        if (a.kind != Kind::Null && b.kind != Kind::Null &&
            (a.isNumber() != b.isNumber() || a.isDate() != b.isDate()))
          raise(1790, {}, offset);
      }
      q.sql += op + next.sql;
    }
    const bool limited = first.limit >= 0;
    const std::string limit = limited ? " LIMIT " + std::to_string(first.limit) : std::string();
    if (kw("ORDER") && kw("BY", 1)) {
      p_ += 2;
      std::string order;
      do {
        std::string item;
        if (cur().kind == Tok::Number) {
          long pos = std::strtol(cur().text.c_str(), nullptr, 10);
          if (pos < 1 || static_cast<size_t>(pos) > q.items.size() ||
              cur().text.find_first_not_of("0123456789") != std::string::npos)
            fail(1785);
          ++p_;
          item = std::to_string(pos);
        } else if ((cur().kind == Tok::Ident || cur().kind == Tok::Quoted) && !sym(".", 1) &&
                   !sym("(", 1) && aliasIndex(q, cur().text, compound || limited) >= 0) {
          item = quote(t_[p_++].text);
        } else if (compound) {
          fail(1785);
        } else if (limited) {
          fail(3001);  // the rows are sorted after the limit: only select-list items can order
        } else {
          item = expr(first.scope).sql;
        }
        bool desc = false;
        if (acceptKw("DESC"))
          desc = true;
        else
          acceptKw("ASC");
        std::string nulls = desc ? " NULLS FIRST" : " NULLS LAST";  // Oracle's default
        if (acceptKw("NULLS")) {
          if (acceptKw("FIRST"))
            nulls = " NULLS FIRST";
          else if (acceptKw("LAST"))
            nulls = " NULLS LAST";
          else
            fail(933);
        }
        order += (order.empty() ? "" : ", ") + item + (desc ? " DESC" : "") + nulls;
      } while (acceptSym(","));
      // Materialised, so that SQLite neither merges the two levels nor lets the sort choose
      // which rows come first.
      if (limited)
        q.sql = "WITH \"STANDIN$FIRST\" AS MATERIALIZED (" + q.sql + limit +
                ") SELECT * FROM \"STANDIN$FIRST\" ORDER BY " + order;
      else
        q.sql += " ORDER BY " + order;
    } else {
      q.sql += limit;
    }
    if (kw("FOR") && kw("UPDATE", 1)) fail(3001);
    return q;
  }

  // A name in ORDER BY that means a select-list item: an alias, or in a compound query any item's
  // name.
  static int aliasIndex(const Query& q, const std::string& n, bool compound) {
    for (size_t i = 0; i < q.items.size(); ++i)
      if ((q.items[i].aliased || compound) && q.items[i].name == n) return static_cast<int>(i);
    return -1;
  }

  // ---- DML ----
  const Table& targetTable() {
    int offset = cur().offset;
    std::string first = name(903);
    std::string tableName = first;
    std::string schemaName;
    if (acceptSym(".")) {
      schemaName = first;
      tableName = name(903);
    }
    bool dictionary = false;
    const Table* t = findTable(schemaName, tableName, dictionary);
    if (dictionary) raise(1031, {}, offset);
    if (!t) raise(942, {}, offset);
    // Views are not updated through here (no view is updatable in the stand-in).
    if (t->view) raise(plan_.action == Action::Dml ? 1732 : 942, {}, offset);
    return *t;
  }

  // CREATE [OR REPLACE] VIEW name [(column, ...)] AS query
  void createView() {
    int offset = cur().offset;
    std::string first = name(903);
    std::string viewName = first;
    if (acceptSym(".")) {
      if (first != schema_.user) raise(1031, {}, offset);
      viewName = name(903);
    }
    bool dictionary = false;
    const Table* existing = findTable("", viewName, dictionary);
    if (dictionary || viewName.rfind("STANDIN$", 0) == 0) raise(955, {}, offset);
    if (existing && (!existing->view || !plan_.replace)) raise(955, {}, offset);
    std::vector<std::pair<std::string, int>> names;
    if (acceptSym("(")) {
      do {
        int o = cur().offset;
        names.push_back({name(904), o});
      } while (acceptSym(","));
      expectSym(")", 907);
    }
    expectKw("AS", 905);
    if (!kw("SELECT") && !sym("(")) fail(928);
    size_t start = p_;
    bool paren = acceptSym("(");
    Query q = query(nullptr);
    if (paren) expectSym(")", 907);
    if (kw("WITH")) fail(3001);  // WITH CHECK OPTION, WITH READ ONLY
    size_t from = static_cast<size_t>(t_[start].offset);
    size_t to = static_cast<size_t>(cur().offset);
    std::string_view text = text_.substr(std::min(from, text_.size()), to - from);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
      text.remove_suffix(1);
    plan_.viewText = std::string(text);
    if (!names.empty() && names.size() != q.items.size()) raise(1730, {}, names.front().second);
    Table& t = plan_.table;
    t.name = viewName;
    t.view = true;
    for (size_t i = 0; i < q.items.size(); ++i) {
      const Item& it = q.items[i];
      std::string colName = names.empty() ? it.name : names[i].first;
      // An expression needs a name of its own.
      if (names.empty() && !it.aliased && !it.expr.isColumn) raise(998, {}, offset);
      for (const Column& c : t.columns)
        if (c.name == colName) raise(957, {}, offset);
      ColType type = it.expr.type;
      if (type.kind == Kind::Null) type = textType(0);
      t.columns.push_back({colName, type});
    }
    plan_.sql = q.sql;
  }

  std::string store(const Expr& e, const Table& t, const Column& c) {
    std::string spec =
        typeSpec(c.type) + "|" + quote(schema_.user) + "." + quote(t.name) + "." + quote(c.name);
    return "ORA_STORE(" + as(e, c.type) + ", " + sqlString(spec) + ")";
  }

  // The value of a column's DEFAULT expression, parsed again from its stored text.
  Expr defaultValue(const Column& c) {
    Parser sub(tokenize(c.defaultSql), schema_);
    Scope empty;
    Expr e = sub.expr(empty);
    plan_.unboundVariables |= sub.plan_.unboundVariables;
    return e;
  }

  const Column& columnOf(const Table& t, const std::string& n, int offset) {
    for (const Column& c : t.columns)
      if (c.name == n) return c;
    raise(904, {quote(n)}, offset);
  }

  void insert() {
    expectKw("INTO", 925);
    const Table& t = targetTable();
    plan_.target = t.name;
    if (isName() && !kw("VALUES")) ++p_;  // a table alias: allowed, and not needed here
    std::vector<const Column*> cols;
    if (acceptSym("(")) {
      do {
        int offset = cur().offset;
        std::string n = name(904);
        if (sym(".")) {  // alias.column
          ++p_;
          n = name(904);
        }
        const Column& c = columnOf(t, n, offset);
        if (std::find(cols.begin(), cols.end(), &c) != cols.end()) raise(957, {}, offset);
        cols.push_back(&c);
      } while (acceptSym(","));
      expectSym(")", 907);
    } else {
      for (const Column& c : t.columns) cols.push_back(&c);
    }
    // Columns left out that have a DEFAULT get it, as in Oracle.
    std::vector<const Column*> defaulted;
    for (const Column& c : t.columns)
      if (!c.defaultSql.empty() && std::find(cols.begin(), cols.end(), &c) == cols.end())
        defaulted.push_back(&c);
    std::string defaults;
    for (const Column* c : defaulted) defaults += ", " + store(defaultValue(*c), t, *c);
    std::string colList;
    for (size_t i = 0; i < cols.size(); ++i) colList += (i ? ", " : "") + quote(cols[i]->name);
    for (const Column* c : defaulted) colList += ", " + quote(c->name);
    Scope empty;
    if (acceptKw("VALUES")) {
      expectSym("(", 906);
      std::vector<std::pair<Expr, int>> values;
      do {
        int offset = cur().offset;
        values.push_back({expr(empty), offset});
      } while (acceptSym(","));
      int closeAt = cur().offset;
      expectSym(")", 907);
      if (values.size() < cols.size()) raise(947, {}, closeAt);
      if (values.size() > cols.size()) raise(913, {}, values[cols.size()].second);
      std::string v;
      for (size_t i = 0; i < cols.size(); ++i)
        v += (i ? ", " : "") + store(values[i].first, t, *cols[i]);
      plan_.sql =
          "INSERT INTO " + quote(t.name) + " (" + colList + ") VALUES (" + v + defaults + ")";
    } else if (kw("SELECT") || sym("(")) {
      bool paren = acceptSym("(");
      int offset = cur().offset;
      Query q = query(nullptr);
      if (paren) expectSym(")", 907);
      if (q.items.size() < cols.size()) raise(947, {}, offset);
      if (q.items.size() > cols.size()) raise(913, {}, offset);
      std::string names, v;
      for (size_t i = 0; i < cols.size(); ++i) {
        std::string n = "C" + std::to_string(i + 1);
        names += (i ? ", " : "") + quote(n);
        Expr e = q.items[i].expr;
        e.sql = quote(n);
        v += (i ? ", " : "") + store(e, t, *cols[i]);
      }
      plan_.sql = "WITH \"STANDIN$SRC\"(" + names + ") AS (" + q.sql + ") INSERT INTO " +
                  quote(t.name) + " (" + colList + ") SELECT " + v + defaults +
                  " FROM \"STANDIN$SRC\"";
    } else {
      fail(926);
    }
  }

  void update() {
    const Table& t = targetTable();
    plan_.target = t.name;
    Scope sc;
    Source s{t.name, t.columns};
    if (isName() && !kw("SET")) s.alias = t_[p_++].text;
    sc.sources.push_back(s);
    expectKw("SET", 971);
    std::string sets;
    do {
      if (sym("(")) fail(3001);
      int offset = cur().offset;
      std::string n = name(904);
      if (acceptSym(".")) {
        if (n != s.alias) raise(904, {quote(n) + "." + quote(cur().text)}, offset);
        n = name(904);
      }
      const Column& c = columnOf(t, n, offset);
      expectSym("=", 927);
      Expr e = expr(sc);
      sets += (sets.empty() ? "" : ", ") + quote(c.name) + " = " + store(e, t, c);
    } while (acceptSym(","));
    plan_.sql = "UPDATE " + quote(t.name) + " AS " + quote(s.alias) + " SET " + sets;
    if (acceptKw("WHERE")) plan_.sql += " WHERE " + condition(sc).sql;
  }

  void remove() {
    acceptKw("FROM");
    const Table& t = targetTable();
    plan_.target = t.name;
    Scope sc;
    Source s{t.name, t.columns};
    if (isName() && !kw("WHERE")) s.alias = t_[p_++].text;
    sc.sources.push_back(s);
    plan_.sql = "DELETE FROM " + quote(t.name) + " AS " + quote(s.alias);
    if (acceptKw("WHERE")) plan_.sql += " WHERE " + condition(sc).sql;
  }

  // ---- DDL ----
  int integer(int code) {
    if (cur().kind != Tok::Number ||
        cur().text.find_first_not_of("0123456789") != std::string::npos)
      fail(code);
    const std::string& digits = cur().text;
    int v = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec != std::errc()) fail(code);  // too large for any size or precision
    ++p_;
    return v;
  }

  ColType dataType() {
    ColType t;
    if (cur().kind != Tok::Ident) fail(902);
    std::string w = t_[p_++].text;
    auto size = [&](int max, bool required, int def) {
      if (!acceptSym("(")) {
        if (required) fail(906);
        return def;
      }
      int at = cur().offset;
      int n = integer(910);
      if (n < 1 || n > max) raise(910, {}, at);
      expectSym(")", 907);
      return n;
    };
    // VARCHAR2(n [CHAR|BYTE]) and CHAR(n [CHAR|BYTE]); without either the session's
    // NLS_LENGTH_SEMANTICS decides. Before 9i neither word is known.
    auto textSize = [&](int max, bool required, int def) {
      t.charSemantics = schema_.charSemanticsDefault;
      if (!acceptSym("(")) {
        if (required) fail(906);
        t.length = def;
      } else {
        int at = cur().offset;
        t.length = integer(910);
        if (t.length < 1 || t.length > max) raise(910, {}, at);
        if (schema_.database.hasCharSemantics()) {
          if (acceptKw("CHAR"))
            t.charSemantics = true;
          else if (acceptKw("BYTE"))
            t.charSemantics = false;
        }
        expectSym(")", 907);
      }
      if (t.charSemantics) {
        int perChar = charsetInfo(schema_.database.charset).maxBytes;
        t.bytes = std::min(t.length * perChar, max);
      }
    };
    if (w == "VARCHAR2" || w == "VARCHAR") {
      t.kind = Kind::Varchar2;
      textSize(4000, true, 0);
    } else if (w == "CHAR" || w == "CHARACTER") {
      t.kind = Kind::Char;
      textSize(2000, false, 1);
    } else if (w == "NVARCHAR2") {
      // The national character set is AL16UTF16: two bytes a character, at most 4000 bytes.
      t.kind = Kind::Varchar2;
      t.national = true;
      t.length = size(2000, true, 0);
      t.bytes = 2 * t.length;
    } else if (w == "NUMBER" || w == "NUMERIC" || w == "DECIMAL" || w == "DEC") {
      t.kind = Kind::Number;
      if (acceptSym("(")) {
        if (acceptSym("*")) {
          t.precision = 38;
        } else {
          int at = cur().offset;
          t.precision = integer(1727);
          if (t.precision < 1 || t.precision > 38) raise(1727, {}, at);
        }
        if (acceptSym(",")) {
          int at = cur().offset;
          bool neg = acceptSym("-");
          int s = integer(1728);
          t.scale = neg ? -s : s;
          if (t.scale < -84 || t.scale > 127) raise(1728, {}, at);
        }
        t.hasScale = true;
        expectSym(")", 907);
      } else if (w != "NUMBER") {
        t.precision = 38;
        t.hasScale = true;
      }
    } else if (w == "INTEGER" || w == "INT" || w == "SMALLINT") {
      t.kind = Kind::Integer;
      t.precision = 38;
      t.hasScale = true;
    } else if (w == "FLOAT") {
      t.kind = Kind::Float;
      t.precision = 126;
      if (acceptSym("(")) {
        t.precision = integer(1724);
        if (t.precision < 1 || t.precision > 126) fail(1724);
        expectSym(")", 907);
      }
    } else if (w == "REAL") {
      t.kind = Kind::Float;
      t.precision = 63;
    } else if (w == "DOUBLE" && kw("PRECISION")) {
      ++p_;
      t.kind = Kind::Float;
      t.precision = 126;
    } else if (w == "DATE") {
      t.kind = Kind::Date;
    } else if (w == "CLOB") {
      t.kind = Kind::Clob;
    } else if (w == "BLOB") {
      t.kind = Kind::Blob;
    } else if (w == "RAW") {
      t.kind = Kind::Raw;
      t.length = size(2000, true, 0);
    } else if (w == "LONG") {
      if (kw("RAW")) fail(3001);
      t.kind = Kind::Long;
    } else if (w == "TIMESTAMP") {
      t.kind = Kind::Timestamp;
      t.length = 6;
      if (acceptSym("(")) {
        t.length = integer(30088);
        if (t.length > 9) fail(30088);
        expectSym(")", 907);
      }
      if (kw("WITH")) fail(3001);
    } else if (w == "NCHAR" || w == "NCLOB" || w == "BINARY_FLOAT" || w == "BINARY_DOUBLE" ||
               w == "ROWID" || w == "UROWID" || w == "BFILE" || w == "INTERVAL" || w == "XMLTYPE") {
      --p_;
      fail(3001);
    } else {
      --p_;
      fail(902);
    }
    return t;
  }

  void createTable() {
    int offset = cur().offset;
    std::string first = name(903);
    std::string tableName = first;
    if (acceptSym(".")) {
      if (first != schema_.user) raise(1031, {}, offset);
      tableName = name(903);
    }
    bool dictionary = false;
    if (findTable("", tableName, dictionary) || dictionary) raise(955, {}, offset);
    if (tableName.rfind("STANDIN$", 0) == 0) raise(955, {}, offset);
    if (kw("AS")) fail(3001);
    expectSym("(", 906);
    Table& t = plan_.table;
    t.name = tableName;
    do {
      if (kw("CONSTRAINT") || kw("PRIMARY") || kw("UNIQUE") || kw("CHECK") || kw("FOREIGN")) {
        if (acceptKw("CONSTRAINT")) name(904);
        std::vector<std::string>* target = nullptr;
        if (kw("PRIMARY") && kw("KEY", 1)) {
          if (!plan_.primaryKey.empty()) fail(2260);
          p_ += 2;
          target = &plan_.primaryKey;
        } else if (acceptKw("UNIQUE")) {
          plan_.unique.emplace_back();
          target = &plan_.unique.back();
        } else {
          fail(3001);
        }
        expectSym("(", 906);
        do {
          int o = cur().offset;
          std::string n = name(904);
          bool known = false;
          for (const Column& c : t.columns) known |= c.name == n;
          if (!known) raise(904, {quote(n)}, o);
          target->push_back(n);
        } while (acceptSym(","));
        expectSym(")", 907);
        continue;
      }
      int o = cur().offset;
      Column c;
      c.name = name(904);
      for (const Column& other : t.columns)
        if (other.name == c.name) raise(957, {}, o);
      c.type = dataType();
      for (;;) {
        if (acceptKw("DEFAULT")) {
          // Checked now, kept as text, evaluated by every INSERT that leaves the column out.
          size_t from = p_;
          Scope empty;
          ++lenient_;
          bool refersToColumn = expr(empty).bareCol;
          --lenient_;
          if (refersToColumn) raise(984, {}, t_[from].offset);
          p_ = from;
          Expr e = expr(empty);
          for (size_t k = from; k < p_; ++k) c.defaultSql += (k > from ? " " : "") + t_[k].raw;
          as(e, c.type);
          continue;
        }
        if (acceptKw("CONSTRAINT")) name(904);
        if (kw("NOT") && kw("NULL", 1)) {
          p_ += 2;
          c.type.nullable = false;
        } else if (acceptKw("NULL")) {
          c.type.nullable = true;
        } else if (kw("PRIMARY") && kw("KEY", 1)) {
          p_ += 2;
          c.type.nullable = false;
          if (!plan_.primaryKey.empty()) fail(2260);
          plan_.primaryKey.push_back(c.name);
        } else if (acceptKw("UNIQUE")) {
          plan_.unique.push_back({c.name});
        } else if (kw("CHECK") || kw("REFERENCES")) {
          fail(3001);
        } else {
          break;
        }
      }
      t.columns.push_back(c);
      if (t.columns.size() > 1000) raise(1792, {}, o);
    } while (acceptSym(","));
    expectSym(")", 907);
    for (const std::string& k : plan_.primaryKey)
      for (Column& c : t.columns)
        if (c.name == k) c.type.nullable = false;
  }

  void alterSession() {
    if (!acceptKw("SET")) fail(922);
    if (cur().kind == Tok::End) fail(922);
    do {
      if (cur().kind != Tok::Ident) fail(922);
      std::string n = t_[p_++].text;
      expectSym("=", 922);
      std::string v;
      if (cur().kind == Tok::String || cur().kind == Tok::Ident || cur().kind == Tok::Number ||
          cur().kind == Tok::Quoted) {
        v = t_[p_++].text;
      } else {
        fail(922);
      }
      plan_.nls.push_back({n, v});
    } while (cur().kind == Tok::Ident);
  }
};

Plan Parser::statement() {
  const Token& first = cur();
  if (first.kind == Tok::End) raise(900, {}, 0);
  if (first.kind == Tok::Symbol && first.text == "(") {
    plan_.action = Action::Query;
  }
  std::string w = first.kind == Tok::Ident ? first.text : std::string();
  if (w == "SELECT" || (first.kind == Tok::Symbol && first.text == "(")) {
    plan_.action = Action::Query;
    plan_.type = StmtType::Select;
    plan_.functionCode = 4;
    bool paren = acceptSym("(");
    Query q = query(nullptr);
    if (paren) expectSym(")", 907);
    plan_.sql = q.sql;
    for (const Item& it : q.items) {
      plan_.columns.push_back(describe(it.name, it.expr.type));
      plan_.columnTypes.push_back(it.expr.type);
    }
  } else if (w == "WITH") {
    fail(3001);
  } else if (w == "INSERT") {
    ++p_;
    plan_.action = Action::Dml;
    plan_.type = StmtType::Insert;
    plan_.functionCode = 3;
    insert();
  } else if (w == "UPDATE") {
    ++p_;
    plan_.action = Action::Dml;
    plan_.type = StmtType::Update;
    plan_.functionCode = 5;
    update();
  } else if (w == "DELETE") {
    ++p_;
    plan_.action = Action::Dml;
    plan_.type = StmtType::Delete;
    plan_.functionCode = 9;
    remove();
  } else if (w == "CREATE") {
    ++p_;
    plan_.type = StmtType::Create;
    if (acceptKw("TABLE")) {
      plan_.action = Action::CreateTable;
      plan_.functionCode = 1;
      createTable();
    } else if (kw("VIEW") || (kw("OR") && kw("REPLACE", 1) && kw("VIEW", 2))) {
      plan_.replace = acceptKw("OR");
      if (plan_.replace) ++p_;
      ++p_;
      plan_.action = Action::CreateView;
      plan_.functionCode = 21;
      createView();
    } else {
      static const std::set<std::string> known = {
          "VIEW",     "INDEX",   "SEQUENCE", "SYNONYM", "OR",   "GLOBAL", "UNIQUE", "PROCEDURE",
          "FUNCTION", "PACKAGE", "TRIGGER",  "USER",    "TYPE", "FORCE",  "NOFORCE"};
      if (known.count(cur().text)) fail(3001);
      fail(901);
    }
  } else if (w == "DROP") {
    ++p_;
    plan_.type = StmtType::Drop;
    if (acceptKw("VIEW")) {
      plan_.action = Action::DropView;
      plan_.functionCode = 22;
      int offset = cur().offset;
      std::string first = name(903);
      std::string viewName = first;
      if (acceptSym(".")) {
        if (first != schema_.user) raise(942, {}, offset);
        viewName = name(903);
      }
      bool dictionary = false;
      const Table* v = findTable("", viewName, dictionary);
      if (!v || !v->view) raise(942, {}, offset);
      plan_.target = viewName;
      if (cur().kind != Tok::End) fail(933);
      return plan_;
    }
    if (!acceptKw("TABLE")) fail(3001);
    plan_.action = Action::DropTable;
    plan_.functionCode = 8;
    plan_.target = targetTable().name;
    if (kw("CASCADE") && kw("CONSTRAINTS", 1)) p_ += 2;
    acceptKw("PURGE");
  } else if (w == "TRUNCATE") {
    ++p_;
    expectKw("TABLE", 3001);
    plan_.action = Action::Truncate;
    plan_.functionCode = 85;
    plan_.target = targetTable().name;
  } else if (w == "ALTER") {
    ++p_;
    plan_.type = StmtType::Alter;
    if (!acceptKw("SESSION")) fail(3001);
    plan_.action = Action::AlterSession;
    plan_.functionCode = 52;
    alterSession();
  } else if (w == "COMMIT") {
    ++p_;
    acceptKw("WORK");
    plan_.action = Action::Commit;
    plan_.functionCode = 54;
  } else if (w == "ROLLBACK") {
    ++p_;
    acceptKw("WORK");
    if (kw("TO")) fail(3001);
    plan_.action = Action::Rollback;
    plan_.functionCode = 55;
  } else if (w == "BEGIN" || w == "DECLARE" || w == "SAVEPOINT" || w == "MERGE" || w == "GRANT" ||
             w == "REVOKE" || w == "LOCK" || w == "RENAME" || w == "COMMENT" || w == "CALL" ||
             w == "EXPLAIN" || w == "SET") {
    if (w == "BEGIN") plan_.type = StmtType::Begin;
    if (w == "DECLARE") plan_.type = StmtType::Declare;
    fail(3001);
  } else {
    fail(900);
  }
  if (cur().kind != Tok::End) fail(933);
  return plan_;
}

}  // namespace

Plan translate(std::string_view sql, const SchemaView& schema) {
  // PL/SQL blocks are not run here; they would not even tokenize as SQL.
  size_t first = sql.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos) {
    std::string word;
    for (size_t i = first; i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])); ++i)
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i])));
    if (word == "BEGIN" || word == "DECLARE") raise(3001);
  }
  Parser parser(tokenize(sql), schema, sql);
  return parser.statement();
}

}  // namespace standin
