#pragma once
// Contract between the stand-in client's C interface (standin/oci) and its SQL engine
// (standin/engine). The engine knows servers, users, schemas, Oracle SQL and Oracle's types and
// rules; the C layer knows handles, attributes, defines, external types, trace and faults.
//
// Additions are allowed (mark them with a comment at the end of the header); changes to what is
// declared here must keep both sides building.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// An Oracle error as the server reports it. `message` is the full published text with its
// "ORA-nnnnn: " prefix and without a trailing line feed (the C layer appends it).
struct OraError : std::runtime_error {
  OraError(int code, std::string message, int parseOffset = 0)
      : std::runtime_error(message),
        code(code),
        message(std::move(message)),
        parseOffset(parseOffset) {}
  int code;
  std::string message;
  int parseOffset;  // byte offset into the statement text for parse errors, else 0
};

// The published text of an Oracle error, "ORA-nnnnn: ..." with the arguments put in where the
// text has placeholders. Unknown codes give a generic text that still carries the number.
std::string oraMessage(int code, const std::vector<std::string>& args = {});
// "ORA-nnnnn: " followed by `text`, each "%s" in it replaced by the next of `args` (or nothing).
std::string formatOraMessage(int code, const char* text, const std::vector<std::string>& args);
[[noreturn]] void raise(int code, const std::vector<std::string>& args = {}, int parseOffset = 0);

// Oracle internal type codes as a select-list describe reports them.
enum class OraType : uint16_t {
  Varchar2 = 1,
  Number = 2,
  Long = 8,
  Date = 12,
  Raw = 23,
  Char = 96,
  Clob = 112,
  Blob = 113,
  // TIMESTAMP is stored as 180 but a select-list describe reports SQLT_TIMESTAMP, 187.
  Timestamp = 187,
};

// One select-list item, as OCIParamGet + OCIAttrGet report it.
struct ColumnDesc {
  std::string name;  // as Oracle reports it: unquoted names upper case
  OraType type;
  uint16_t dataSize;  // OCI_ATTR_DATA_SIZE
  int16_t precision;  // OCI_ATTR_PRECISION (0 for NUMBER without precision)
  int8_t scale;       // OCI_ATTR_SCALE (-127 for FLOAT/NUMBER without precision)
  bool nullable;      // OCI_ATTR_IS_NULL
  // Added for character columns: OCI_ATTR_CHAR_SIZE (the length in characters), OCI_ATTR_CHAR_USED
  // (character length semantics) and an NVARCHAR2 column (OCI_ATTR_CHARSET_FORM SQLCS_NCHAR).
  uint16_t charSize = 0;
  bool charUsed = false;
  bool national = false;
};

struct DateTime {
  int year, month, day, hour, minute, second;
};

// Month and day names as date formats spell them in capitals; days start with Sunday.
inline constexpr const char* kMonthNames[12] = {"JANUARY",   "FEBRUARY", "MARCH",    "APRIL",
                                                "MAY",       "JUNE",     "JULY",     "AUGUST",
                                                "SEPTEMBER", "OCTOBER",  "NOVEMBER", "DECEMBER"};
inline constexpr const char* kDayNames[7] = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                                             "THURSDAY", "FRIDAY", "SATURDAY"};

// What a value of the current row is; NUMBER values come as Integer when they are integral and fit
// in 64 bits, else as Real, and always also as their exact decimal text (numberText).
enum class ValueKind { Null, Integer, Real, Text, Date, Bytes };

// Statement kinds (OCI_ATTR_STMT_TYPE values).
enum class StmtType : uint16_t {
  Unknown = 0,
  Select = 1,
  Update = 2,
  Delete = 3,
  Insert = 4,
  Create = 5,
  Drop = 6,
  Alter = 7,
  Begin = 8,
  Declare = 9,
};

// Added for the fetch path: one value of the current row with its kind, as Cursor::value() reads
// it in one call. Only the members that belong to `kind` are set (the value is read for every
// value of every row, so nothing else is written). Views point into engine-owned memory valid
// until the next step().
struct Value {
  ValueKind kind;
  int64_t integer;        // Integer: what asInteger() gives
  double real;            // Real: what asReal() gives
  std::string_view text;  // Text: what asText() gives; Bytes: what asBytes() gives
  // Integer and Real: the NUMBER in Oracle's byte format (1 to 21 bytes) when the engine holds it
  // so, exactly as encoding numberText() would give it; empty otherwise.
  std::string_view number;
  // Date: what asDate() gives, when `dateValid`; a stored text that is not a date leaves it false,
  // and asDate() then raises the error.
  DateTime date;
  bool dateValid;
};

class Cursor {
 public:
  virtual ~Cursor() = default;
  virtual StmtType type() const = 0;
  // OCI_ATTR_SQLFNCODE of the statement (valid after execute).
  virtual uint16_t sqlFunctionCode() const = 0;
  // Select-list description; empty for statements other than queries. Valid after prepare.
  virtual const std::vector<ColumnDesc>& columns() const = 0;
  // Runs the statement. Queries start their row iteration; DML returns rows affected;
  // DDL and ALTER SESSION take effect (DDL commits). Throws OraError.
  virtual uint64_t execute() = 0;
  // Moves to the next row of an executed query; false at the end. Throws OraError.
  virtual bool step() = 0;

  // Access to the current row. No call allocates: views point into engine-owned memory
  // valid until the next step().
  virtual ValueKind kind(int col) const = 0;
  virtual int64_t asInteger(int col) const = 0;
  virtual double asReal(int col) const = 0;
  virtual std::string_view asText(int col) const = 0;      // VARCHAR2/CHAR/CLOB/LONG text
  virtual std::string_view numberText(int col) const = 0;  // exact decimal text of a NUMBER
  virtual DateTime asDate(int col) const = 0;
  virtual std::string_view asBytes(int col) const = 0;  // RAW/BLOB bytes
  // Added: the kind and the value together, for readers of every value of every row. Throws what
  // kind() throws, and nothing else.
  virtual Value value(int col) const = 0;
};

class Session {
 public:
  virtual ~Session() = default;
  // Parses Oracle SQL (one statement, no trailing ";" except for PL/SQL). Throws OraError with
  // the parse offset on syntax errors, ORA-00942/ORA-00904 on unknown names.
  virtual std::unique_ptr<Cursor> prepare(std::string_view sql) = 0;
  virtual void commit() = 0;
  virtual void rollback() = 0;
  // Ends the session as a log-off does: commits its open work. The session is ended either way
  // (later calls raise ORA-01012); a commit that fails is rolled back and raises OraError.
  virtual void end() = 0;
  // NLS parameters of the session (NLS_DATE_FORMAT, NLS_NUMERIC_CHARACTERS, ...), upper-case names.
  virtual std::string nls(const std::string& name) const = 0;
  virtual const std::string& user() const = 0;
};

class Server {
 public:
  virtual ~Server() = default;
  // Resolves a server text: a name in the data folder (default beside the library, overridable by
  // environment) or a path to a server folder. Unknown: ORA-12154.
  static std::shared_ptr<Server> attach(std::string_view serverText);
  // ORA-01017 for an unknown user or a wrong password.
  virtual std::unique_ptr<Session> logon(std::string_view user, std::string_view password) = 0;
  // Settings of the server (fault injection, reported version, ...), read from its folder.
  virtual const std::map<std::string, std::string>& settings() const = 0;
  virtual const std::string& path() const = 0;
};

// ---- Additions (engine side) ------------------------------------------------------------------
// How the engine fills in the interface above (notes, no new declarations):
// - A Session and its Cursors are used by one thread at a time. A Cursor may outlive its Session;
//   execute() and step() then raise ORA-01012. Destroying a Session commits its open work, as an
//   Oracle log-off does (end() does the same and reports a failed commit); call rollback() first
//   for a connection that is to look broken.
// - kind(): NUMBER values are Integer when integral and within 64 bits, else Real. asInteger()
//   drops a fraction and raises ORA-01455 beyond 64 bits; asReal() is the nearest double;
//   numberText() is the exact plain decimal ("-0.5", "120", never an exponent).
// - asText() of a NUMBER is its numberText(), of a DATE or TIMESTAMP "YYYY-MM-DD HH:MM:SS".
// - asDate() of a TIMESTAMP drops the fraction of a second.
// - A column index outside the select list throws std::out_of_range.
// - value() reads the stored value once: a NUMBER is decoded once whatever is asked of it, and a
//   stored NUMBER whose bytes are in the form the engine writes comes as those bytes
//   (Value::number).

// Server folders for standin-admin and tests. A server folder holds "users" (one "NAME password"
// line per user), "settings" ("key = value" lines) and one SQLite schema file per user
// ("<NAME>.db"). Failures throw std::runtime_error with a readable text.
void createServer(const std::string& folder);
// Added: a server whose database has the character set `charset` (AL32UTF8, UTF8, CL8MSWIN1251,
// CL8ISO8859P5) and reports `release` ("10.2", "8.1.7", "19", ...; empty: 10.2.0.1.0). An unknown
// character set or release throws std::runtime_error naming the known ones.
void createServer(const std::string& folder, const std::string& charset,
                  const std::string& release);
// Throws the error createServer would give for these options, without touching any folder.
void checkServerOptions(const std::string& charset, const std::string& release);
void createUser(const std::string& folder, std::string_view user, std::string_view password);
// A session of an existing user without the password check (administration only).
std::unique_ptr<Session> openSession(const std::string& folder, std::string_view user);

// One statement of an SQL script: its text without the ending ";" or "/" line, and its first line.
struct ScriptStatement {
  std::string text;
  int line;
};
// Splits a script in the manner of SQL*Plus: a statement ends with ";" outside quotes and comments,
// or with a line that holds only "/". Empty statements are dropped.
std::vector<ScriptStatement> splitScript(std::string_view script);
// Runs every statement of a script and commits; an error names the script and the line and leaves
// the work of the failing statement's transaction rolled back. Returns the statements run.
int runScript(Session& session, std::string_view script, const std::string& scriptName);
// Creates <table> with `columns` columns (ID NUMBER(10) primary key, then a repeating mix of
// VARCHAR2, NUMBER(12,2), DATE, NUMBER, NUMBER(9), FLOAT ...) and fills it with `rows` rows of
// deterministic values in one transaction.
void generateTable(const std::string& folder, std::string_view user, const std::string& table,
                   int64_t rows, int columns);
// Loads a CSV file (first line: column names; "" quoting; empty field = NULL) into a table; values
// convert as Oracle converts text (dates by `dateFormat`). Returns the rows loaded.
int64_t loadCsv(Session& session, const std::string& table, std::string_view csv,
                const std::string& dateFormat);
// The demo server: user demo/demo, every *.sql of `scriptsFolder` in name order, then the
// generated tables (WIDE_TABLE with 300 columns).
void createDemoServer(const std::string& folder, const std::string& scriptsFolder);

// Oracle's text of a NUMBER given the exact decimal text that Cursor::numberText() returns:
// no zero before the point (".5"), scientific notation beyond 40 characters, `decimalChar` as the
// point (the first character of NLS_NUMERIC_CHARACTERS).
std::string oracleNumberText(std::string_view exactText, char decimalChar = '.');

}  // namespace standin
