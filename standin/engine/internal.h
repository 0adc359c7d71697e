#pragma once
// Internals of the stand-in engine shared by its source files.
//
// Storage model (one SQLite file per schema, see README of standin/admin):
//   NUMBER family  BLOB in Oracle's own NUMBER byte format. That format compares correctly with
//                  memcmp, so SQLite's ORDER BY, MIN/MAX and comparisons between stored numbers are
//                  exact at the full 38-digit precision; arithmetic goes through ORA_NUMVAL.
//   DATE           TEXT 'YYYY-MM-DD HH:MM:SS' (to the second), TIMESTAMP with '.ffffff' added.
//   character      TEXT (CHAR blank-padded), RAW/BLOB as BLOB.
// SQLite columns carry no declared type, so SQLite never converts what the engine stores.
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "standin/engine/engine.h"

namespace standin {

// ---- NUMBER values ----------------------------------------------------------------------------

// A decimal number of at most 40 significant digits: value = 0.d[0]d[1]... x 10^point, sign by neg.
// No leading or trailing zero digits; zero has n == 0. Fixed storage, so reading a value never
// allocates.
struct Decimal {
  bool neg = false;
  int n = 0;
  int point = 0;
  uint8_t d[44] = {};

  bool isZero() const { return n == 0; }
  bool isIntegral() const { return n == 0 || point >= n; }
  static constexpr int kMaxDigits = 40;
};

// Parses a decimal text ("-12.5", "1e-3", " 7 "); false when the text is not a number.
bool parseDecimal(std::string_view text, Decimal& out);
Decimal decimalFromInt(int64_t v);
Decimal decimalFromDouble(double v);
// Rounds half away from zero to `scale` digits after the point (negative: before the point).
void roundToScale(Decimal& v, int scale);
void roundToDigits(Decimal& v, int digits);
void truncateToScale(Decimal& v, int scale);
// Exact arithmetic, rounded to 40 significant digits; division by zero is ORA-01476.
Decimal addDecimal(const Decimal& a, const Decimal& b);
Decimal negateDecimal(Decimal v);
Decimal mulDecimal(const Decimal& a, const Decimal& b);
Decimal divDecimal(const Decimal& a, const Decimal& b);
// Plain decimal text with a leading "0" before the point ("-0.5", "120"); returns the length.
size_t decimalText(const Decimal& v, char* out, size_t cap);
// Oracle's text of a number (TO_CHAR without format): no leading zero (".5", "-.5"), scientific
// notation when the plain text would exceed 40 characters. Uses `decimalChar` as the point.
std::string oracleText(const Decimal& v, char decimalChar = '.');
double decimalToDouble(const Decimal& v);
// True and the value when the number is integral and fits 64 bits.
bool decimalToInt(const Decimal& v, int64_t& out);
// Oracle's NUMBER byte format (1 to 21 bytes). Throws ORA-01426 when the value is out of range.
std::string encodeNumber(Decimal v);
bool decodeNumber(const unsigned char* p, size_t len, Decimal& out);
// Fast reading of a stored NUMBER for the fetch path: 1 with `iv` when the value is an integer of
// at most 18 digits, 2 with `dv` when it has a fraction, at most 14 digits and a small exponent
// (then `dv` is the correctly rounded double), 0 when the full decimal is needed.
int quickNumber(const unsigned char* p, size_t len, int64_t& iv, double& dv);
// True when the bytes are a NUMBER exactly as encodeNumber writes it: no zero base-100 digit at
// either end of the mantissa, every digit in range, and the 102 that ends a negative mantissa of
// fewer than 20 digits. Such bytes are the only form of their value, so a reader may hand them on
// instead of encoding the decoded value again.
bool canonicalNumber(const unsigned char* p, size_t len);
// Both of the above in one pass over the bytes: quickNumber's answer, and in `canonical` what
// canonicalNumber says of them.
int quickNumber(const unsigned char* p, size_t len, int64_t& iv, double& dv, bool& canonical);
// Reads any SQLite value that stands for a number: a stored NUMBER blob, an integer, a real
// (rounded to 15 significant digits) or a numeric text. False for NULL; throws ORA-01722 for text
// that is not a number.
bool valueToDecimal(sqlite3_value* v, Decimal& out);

// ---- Dates ------------------------------------------------------------------------------------

constexpr size_t kDateTextLen = 19;                        // "YYYY-MM-DD HH:MM:SS"
bool parseDateText(std::string_view text, DateTime& out);  // canonical form only
std::string dateText(const DateTime& d);
bool validDate(const DateTime& d);
// TO_DATE with an Oracle format model; throws ORA-01861, ORA-01843, ORA-01821, ...
DateTime toDate(std::string_view text, std::string_view format);
// TO_CHAR of a date with an Oracle format model; throws ORA-01821 for an unknown element.
std::string formatDate(const DateTime& d, std::string_view format);
// Checks a date format model (ALTER SESSION SET NLS_DATE_FORMAT); throws ORA-01821.
void checkDateFormat(std::string_view format);
DateTime nowLocal();
int64_t dayNumber(int y, int m, int d);  // days since 0001-01-01
void fromDayNumber(int64_t n, int& y, int& m, int& d);

// ---- Column types -----------------------------------------------------------------------------

enum class Kind : uint8_t {
  Varchar2,
  Char,
  Number,
  Integer,
  Float,
  Date,
  Clob,
  Blob,
  Raw,
  Long,
  Timestamp,
  Null,
};

struct ColType {
  Kind kind = Kind::Varchar2;
  int length = 0;     // bytes for VARCHAR2/CHAR/RAW; fractional digits for TIMESTAMP
  int precision = 0;  // NUMBER(p,s): p (0: none); FLOAT: binary precision
  int scale = 0;      // NUMBER(p,s): s
  bool hasScale = false;
  bool nullable = true;
  // VARCHAR2/CHAR: the length counts characters (n CHAR); `bytes` is then the column's limit in
  // bytes of the database character set. NVARCHAR2 (national) always counts characters and keeps
  // AL16UTF16, two bytes a character.
  bool charSemantics = false;
  bool national = false;
  int bytes = 0;

  // The limit in bytes as the database stores the column (DATA_LENGTH, OCI_ATTR_DATA_SIZE).
  int byteLimit() const { return (charSemantics || national) && bytes > 0 ? bytes : length; }

  bool isNumber() const {
    return kind == Kind::Number || kind == Kind::Integer || kind == Kind::Float;
  }
  bool isText() const {
    return kind == Kind::Varchar2 || kind == Kind::Char || kind == Kind::Clob ||
           kind == Kind::Long || kind == Kind::Null;
  }
  bool isDate() const { return kind == Kind::Date || kind == Kind::Timestamp; }
  bool isBytes() const { return kind == Kind::Raw || kind == Kind::Blob; }
};

ColumnDesc describe(const std::string& name, const ColType& t);
std::string dataTypeName(const ColType& t);  // USER_TAB_COLUMNS.DATA_TYPE
int dataLength(const ColType& t);            // USER_TAB_COLUMNS.DATA_LENGTH
// Compact text form kept in the catalog and handed to ORA_STORE.
std::string typeSpec(const ColType& t);
ColType parseTypeSpec(std::string_view spec);

struct Column {
  std::string name;
  ColType type;
  std::string defaultSql = {};  // Oracle text of the DEFAULT expression, empty when none
};
struct Table {
  std::string name;
  std::vector<Column> columns;
  bool view = false;  // a view: selectable, never a DML, TRUNCATE or DROP TABLE target
};

// ---- Database character sets ------------------------------------------------------------------

// The character sets a server's database can have. Texts are kept in the schema files as UTF-8,
// already reduced to what the database character set can hold (see toDatabaseText).
enum class Charset : uint8_t { Al32Utf8, Utf8, Cl8MsWin1251, Cl8Iso8859P5 };
struct CharsetInfo {
  Charset id;
  const char* name;  // Oracle's name, as NLS_CHARACTERSET gives it
  int maxBytes;      // bytes of the widest character
  uint16_t oracleId;
};
// Null for a name the stand-in does not know (names compare without regard to case).
const CharsetInfo* findCharset(std::string_view name);
const CharsetInfo& charsetInfo(Charset c);
// Characters of a UTF-8 text (an invalid byte counts as one character).
size_t charCount(std::string_view utf8);
// Bytes the text takes in the character set.
size_t charsetBytes(std::string_view utf8, Charset cs);
// The text as the database keeps it: every character the set cannot hold becomes "?".
std::string toDatabaseText(std::string_view utf8, Charset cs);

// What a server's database is: its character set and the release it runs.
struct DatabaseInfo {
  Charset charset = Charset::Al32Utf8;
  int releaseMajor = 10;
  int releaseMinor = 2;
  // Character length semantics and the dictionary's CHAR_LENGTH/CHAR_USED came with 9i.
  bool hasCharSemantics() const { return releaseMajor >= 9; }
};
// "10.2" -> 10.2.0.1.0 and the like; throws std::runtime_error for a release the stand-in does
// not model.
std::string releaseText(std::string_view release);

// ---- Tokens -----------------------------------------------------------------------------------

enum class Tok { Ident, Quoted, String, Number, Symbol, Bind, End };
struct Token {
  Tok kind;
  std::string text;  // identifiers upper-cased, quoted ones as written, strings unescaped
  int offset;        // byte offset in the statement
  std::string raw;   // the token exactly as written
};
std::vector<Token> tokenize(std::string_view sql);

// ---- Translation ------------------------------------------------------------------------------

enum class Action {
  Query,
  Dml,
  CreateTable,
  DropTable,
  Truncate,
  AlterSession,
  Commit,
  Rollback,
  CreateView,
  DropView,
};

struct Plan {
  Action action = Action::Query;
  StmtType type = StmtType::Unknown;
  uint16_t functionCode = 0;
  std::string sql;                      // SQLite text for queries and DML
  std::vector<ColumnDesc> columns;      // select list
  std::vector<ColType> columnTypes;     // how to read each select-list value
  Table table;                          // CREATE TABLE
  std::vector<std::string> primaryKey;  // CREATE TABLE
  std::vector<std::vector<std::string>> unique;
  std::string target;                                    // DROP/TRUNCATE/DML target table
  std::vector<std::pair<std::string, std::string>> nls;  // ALTER SESSION
  bool unboundVariables = false;
  std::string viewText;  // CREATE VIEW: the query as written; plan.table holds its columns
  bool replace = false;  // CREATE OR REPLACE VIEW
};

// Everything the translator needs to know about the session.
struct SchemaView {
  std::string user;
  const std::map<std::string, Table>* tables = nullptr;
  DatabaseInfo database = {};
  bool charSemanticsDefault = false;  // NLS_LENGTH_SEMANTICS = CHAR
  bool hasViewsTable = true;          // the schema file has STANDIN$VIEWS (older files do not)
};

Plan translate(std::string_view sql, const SchemaView& schema);

// ---- Session internals ------------------------------------------------------------------------

class NlsSettings {
 public:
  NlsSettings();
  const std::string& get(const std::string& name) const;
  // Validates and stores; throws ORA-02248 for an unknown parameter, other errors for bad values.
  void set(const std::string& name, const std::string& value);
  char decimalChar() const;
  // The database character set of the session's server (not an NLS parameter of the session).
  Charset charset = Charset::Al32Utf8;

 private:
  std::map<std::string, std::string> values_;
};

// Registers the ORA_* functions on db; a registration that SQLite refuses raises ORA-00600
// naming the function.
void registerFunctions(sqlite3* db, const NlsSettings* nls);
// Called inside a catch block of an SQLite callback: sets the callback's error result from the
// exception being handled (OraError: its text; std::bad_alloc: out of memory; anything else:
// ORA-00600 with its what() text). Never throws.
void resultFromException(sqlite3_context* ctx) noexcept;
// TO_CHAR of a number with an Oracle number format model (9 0 . , D G FM); ORA-01481 otherwise.
std::string formatNumber(const Decimal& v, std::string_view format, const std::string& nlsChars);

// Names of the engine's own tables inside every schema file.
inline constexpr const char* kTablesTable = "STANDIN$TABLES";
inline constexpr const char* kColumnsTable = "STANDIN$COLUMNS";
inline constexpr const char* kViewsTable = "STANDIN$VIEWS";

}  // namespace standin
