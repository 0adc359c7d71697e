// Servers, sessions and cursors over SQLite.
#include <dlfcn.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "standin/engine/internal.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

std::string upperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// Columns of the catalog table behind USER_VIEWS.
constexpr const char* kViewsColumns =
    "(\"VIEW_NAME\" NOT NULL PRIMARY KEY, \"TEXT_LENGTH\", \"TEXT\")";

std::map<std::string, std::string> readUsers(const fs::path& folder) {
  std::map<std::string, std::string> users;
  std::ifstream in(folder / "users");
  std::string line;
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    size_t sp = line.find_first_of(" \t");
    if (sp == std::string::npos) continue;
    users[upperAscii(line.substr(0, sp))] = trim(line.substr(sp + 1));
  }
  return users;
}

std::map<std::string, std::string> readSettings(const fs::path& folder) {
  std::map<std::string, std::string> settings{{"version", "10.2.0.1.0"}};
  std::ifstream in(folder / "settings");
  std::string line;
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    settings[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return settings;
}

[[noreturn]] void raiseSqlite(sqlite3* db, int rc, StmtType type, const std::string& user) {
  std::string msg = sqlite3_errmsg(db);
  int code = 0;
  if (msg.size() > 10 && msg.rfind("ORA-", 0) == 0 &&
      std::sscanf(msg.c_str() + 4, "%d", &code) == 1)
    throw OraError(code, msg);
  int primary = rc & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) raise(54);
  if (primary == SQLITE_INTERRUPT) raise(1013);
  if (primary == SQLITE_CONSTRAINT) {
    auto colon = msg.find(": ");
    std::string what = colon == std::string::npos ? msg : msg.substr(colon + 2);
    if (msg.rfind("NOT NULL", 0) == 0) {
      auto dot = what.find('.');
      std::string qualified =
          "\"" + user + "\".\"" + what.substr(0, dot) + "\".\"" + what.substr(dot + 1) + "\"";
      raise(type == StmtType::Update ? 1407 : 1400, {qualified});
    }
    // "UNIQUE constraint failed: T.A, T.B" -> USER.T_A_B
    std::string name = user + ".";
    std::string table;
    std::stringstream ss(what);
    std::string part;
    while (std::getline(ss, part, ',')) {
      part = trim(part);
      auto dot = part.find('.');
      if (table.empty()) {
        table = part.substr(0, dot);
        name += table;
      }
      name += "_" + part.substr(dot + 1);
    }
    raise(1, {name});
  }
  if (msg.rfind("no such table", 0) == 0) raise(942);
  // Nesting beyond what SQLite's parser takes (about 20 scalar subqueries inside each other).
  if (msg == "parser stack overflow" || msg.rfind("Expression tree is too large", 0) == 0)
    raise(3001);
  if (msg.rfind("too many columns", 0) == 0) raise(1792);
  raise(600, {"sqlite", msg});
}

// ---- Cursor -----------------------------------------------------------------------------------

class Connection;

[[noreturn]] void beyondSelectList();

class CursorImpl final : public Cursor {
 public:
  CursorImpl(std::shared_ptr<Connection> connection, Plan plan);
  StmtType type() const override { return plan_.type; }
  uint16_t sqlFunctionCode() const override { return plan_.functionCode; }
  const std::vector<ColumnDesc>& columns() const override { return plan_.columns; }
  uint64_t execute() override;
  bool step() override;
  ValueKind kind(int col) const override;
  int64_t asInteger(int col) const override;
  double asReal(int col) const override;
  std::string_view asText(int col) const override;
  std::string_view numberText(int col) const override;
  DateTime asDate(int col) const override;
  std::string_view asBytes(int col) const override;
  Value value(int col) const override;

 private:
  // How the values of a select-list item are read, from its type.
  enum class Reading : uint8_t { Number, Date, Bytes, Text };

  // Decoded NUMBER of the current row, kept per column so that repeated reads decode once.
  struct NumberCache {
    uint64_t quickRow = UINT64_MAX;
    int quick = 0;  // quickNumber's answer for the current row
    int64_t iv = 0;
    double dv = 0;
    std::string_view stored;  // the stored NUMBER bytes (a BLOB value), else empty
    bool canonical = false;   // they are in the form encodeNumber writes
    uint64_t row = UINT64_MAX;
    bool textReady = false;
    Decimal value;
    size_t textLen = 0;
    char text[400];
  };
  const Decimal& number(int col) const;
  const NumberCache& quick(int col) const;
  void readNumber(int col, int storage, Value& v) const;
  // Every reader starts with these two: they are small enough to be inlined.
  int storage(int col) const {
    if (storageRow_[col] != row_) {
      storageRow_[col] = row_;
      values_[col] = sqlite3_column_value(stmt_.get(), col);
      storage_[col] = sqlite3_value_type(values_[col]);
    }
    return storage_[col];
  }
  void checkColumn(int col) const {
    if (col < 0 || static_cast<size_t>(col) >= plan_.columns.size()) beyondSelectList();
  }

  void checkLoggedOn() const;

  // The cursor keeps its connection (and so the SQLite database) alive: a statement may outlive
  // its session, and then reports ORA-01012 instead of touching freed memory.
  std::shared_ptr<Connection> connection_;
  Connection& session_;
  Plan plan_;
  StmtPtr stmt_;
  bool executed_ = false;
  bool done_ = false;
  uint64_t row_ = 0;
  std::vector<Reading> readings_;  // per select-list item
  mutable std::vector<NumberCache> numbers_;
  // Each value of the current row and its SQLite storage class, looked up once per row; the
  // sqlite3_value_* readers then avoid the per-call cost of sqlite3_column_*.
  mutable std::vector<uint64_t> storageRow_;
  mutable std::vector<int> storage_;
  mutable std::vector<sqlite3_value*> values_;
};

// ---- Session ----------------------------------------------------------------------------------

// The state of a logged-on session, shared by the Session and its cursors.
class Connection final : public std::enable_shared_from_this<Connection> {
 public:
  Connection(std::shared_ptr<Server> server, const fs::path& file, std::string user,
             DatabaseInfo database)
      : server_(std::move(server)), user_(std::move(user)), database_(database) {
    nls_.charset = database_.charset;
    sqlite3* db = nullptr;
    // No SQLite mutex per call: a session is used by one thread at a time (the client library
    // serialises its calls), and the fetch path reads every value of every row.
    int rc =
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(db);
    if (rc != SQLITE_OK) raise(600, {"sqlite", db ? sqlite3_errmsg(db) : "cannot open schema"});
    sqlite3_busy_timeout(db, 10000);
    exec("PRAGMA case_sensitive_like = ON");
    exec("PRAGMA foreign_keys = OFF");
    registerFunctions(db, &nls_);
  }

  // A session that ends normally commits its work, as an Oracle log-off does. The session is
  // ended either way; a commit that fails leaves the work rolled back and raises ORA-00600 with
  // SQLite's text. STANDIN_FAULT_LOGOFF_COMMIT (any non-empty value) makes SQLite refuse that
  // commit through its commit hook, so that callers can be tested against the failure.
  void end() {
    if (ended_) return;
    ended_ = true;
    if (!inTransaction_) return;
    inTransaction_ = false;
    sqlite3* db = db_.get();
    const char* fault = std::getenv("STANDIN_FAULT_LOGOFF_COMMIT");
    if (fault && *fault)
      sqlite3_commit_hook(
          db, [](void*) { return 1; }, nullptr);
    const int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_commit_hook(db, nullptr, nullptr);
    if (rc == SQLITE_OK) return;
    const std::string message = sqlite3_errmsg(db);
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    raise(600, {"sqlite", "log-off commit failed: " + message});
  }
  bool ended() const { return ended_; }

  std::unique_ptr<Cursor> prepare(std::string_view sql) {
    if (ended_) raise(1012);
    refreshCatalog();
    SchemaView view{user_, &tables_, database_, nls_.get("NLS_LENGTH_SEMANTICS") == "CHAR",
                    hasViewsTable_};
    Plan plan = translate(sql, view);
    return std::make_unique<CursorImpl>(shared_from_this(), std::move(plan));
  }

  void commit() {
    if (!inTransaction_) return;
    run("COMMIT");
    inTransaction_ = false;
  }

  void rollback() {
    if (!inTransaction_) return;
    run("ROLLBACK");
    inTransaction_ = false;
  }

  std::string nls(const std::string& name) const { return nls_.get(upperAscii(name)); }
  const std::string& user() const { return user_; }

  sqlite3* db() const { return db_.get(); }
  const DatabaseInfo& database() const { return database_; }
  NlsSettings& nlsSettings() { return nls_; }

  void beginWork() {
    if (inTransaction_) return;
    run("BEGIN IMMEDIATE");
    inTransaction_ = true;
  }

  [[noreturn]] void fail(int rc, const Plan& plan) const {
    raiseSqlite(db_.get(), rc, plan.type, user_);
  }

  StmtPtr compile(const std::string& sql, const Plan& plan) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), static_cast<int>(sql.size()), &s, nullptr);
    StmtPtr out(s);
    if (rc != SQLITE_OK) fail(rc, plan);
    return out;
  }

  // DDL: commits what is pending, then changes the schema and the catalog in one transaction.
  void ddl(const Plan& plan) {
    commit();
    run("BEGIN IMMEDIATE");
    try {
      switch (plan.action) {
        case Action::CreateTable:
          createTable(plan);
          break;
        case Action::DropTable:
          run("DROP TABLE " + quoteName(plan.target));
          deleteCatalog(plan.target);
          break;
        case Action::Truncate:
          run("DELETE FROM " + quoteName(plan.target));
          break;
        case Action::CreateView:
          createView(plan);
          break;
        case Action::DropView:
          run("DROP VIEW " + quoteName(plan.target));
          deleteCatalog(plan.target);
          break;
        default:
          break;
      }
      run("COMMIT");
    } catch (...) {
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

 private:
  static std::string quoteName(const std::string& n) {
    std::string out = "\"";
    for (char c : n) {
      if (c == '"') out += '"';
      out += c;
    }
    return out + "\"";
  }

  void exec(const char* sql) { sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr); }

  void run(const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) raiseSqlite(db_.get(), rc, StmtType::Unknown, user_);
  }

  void createTable(const Plan& plan) {
    const Table& t = plan.table;
    std::string sql = "CREATE TABLE " + quoteName(t.name) + " (";
    for (size_t i = 0; i < t.columns.size(); ++i) {
      const Column& c = t.columns[i];
      sql += (i ? ", " : "") + quoteName(c.name);
      if (!c.type.nullable) sql += " NOT NULL";
    }
    auto keyList = [&](const std::vector<std::string>& cols) {
      std::string s;
      for (size_t i = 0; i < cols.size(); ++i) s += (i ? ", " : "") + quoteName(cols[i]);
      return s;
    };
    if (!plan.primaryKey.empty()) sql += ", PRIMARY KEY (" + keyList(plan.primaryKey) + ")";
    for (const auto& u : plan.unique) sql += ", UNIQUE (" + keyList(u) + ")";
    sql += ")";
    run(sql);
    StmtPtr ins = compile("INSERT INTO \"" + std::string(kTablesTable) + "\" VALUES (?)", plan);
    sqlite3_bind_text(ins.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
    if (int rc = sqlite3_step(ins.get()); rc != SQLITE_DONE) fail(rc, plan);
    insertColumns(plan);
  }

  // A view is an SQLite view over the translated query; its columns go into the catalog with the
  // types the query gives them, its text into STANDIN$VIEWS (made here for older schema files).
  void createView(const Plan& plan) {
    const Table& t = plan.table;
    run("CREATE TABLE IF NOT EXISTS " + quoteName(kViewsTable) + " " + kViewsColumns);
    if (plan.replace && tables_.count(t.name) && tables_.at(t.name).view) {
      run("DROP VIEW " + quoteName(t.name));
      deleteCatalog(t.name);
    }
    std::string sql = "CREATE VIEW " + quoteName(t.name) + " (";
    for (size_t i = 0; i < t.columns.size(); ++i)
      sql += (i ? ", " : "") + quoteName(t.columns[i].name);
    run(sql + ") AS " + plan.sql);
    StmtPtr ins = compile("INSERT INTO " + quoteName(kViewsTable) + " VALUES (?, ?, ?)", plan);
    sqlite3_bind_text(ins.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
    // The text as the database keeps it, its length in the database's bytes.
    std::string text = toDatabaseText(plan.viewText, database_.charset);
    std::string length =
        encodeNumber(decimalFromInt(static_cast<int64_t>(charsetBytes(text, database_.charset))));
    sqlite3_bind_blob(ins.get(), 2, length.data(), static_cast<int>(length.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_text(ins.get(), 3, text.c_str(), -1, SQLITE_TRANSIENT);
    if (int rc = sqlite3_step(ins.get()); rc != SQLITE_DONE) fail(rc, plan);
    insertColumns(plan);
  }

  void insertColumns(const Plan& plan) {
    const Table& t = plan.table;
    StmtPtr col = compile(
        "INSERT INTO \"" + std::string(kColumnsTable) + "\" VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        plan);
    auto bindNumber = [&](int index, int64_t v) {
      std::string b = encodeNumber(decimalFromInt(v));
      sqlite3_bind_blob(col.get(), index, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
    };
    for (size_t i = 0; i < t.columns.size(); ++i) {
      const Column& c = t.columns[i];
      sqlite3_reset(col.get());
      sqlite3_clear_bindings(col.get());
      sqlite3_bind_text(col.get(), 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(col.get(), 2, c.name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(col.get(), 3, dataTypeName(c.type).c_str(), -1, SQLITE_TRANSIENT);
      bindNumber(4, dataLength(c.type));
      if (c.type.kind == Kind::Float || (c.type.kind == Kind::Number && c.type.precision > 0))
        bindNumber(5, c.type.precision);
      if (c.type.kind == Kind::Integer || (c.type.kind == Kind::Number && c.type.precision > 0))
        bindNumber(6, c.type.kind == Kind::Integer ? 0 : c.type.scale);
      if (c.type.kind == Kind::Timestamp) bindNumber(6, c.type.length);
      sqlite3_bind_text(col.get(), 7, c.type.nullable ? "Y" : "N", -1, SQLITE_STATIC);
      bindNumber(8, static_cast<int64_t>(i + 1));
      std::string spec = typeSpec(c.type);
      sqlite3_bind_text(col.get(), 9, spec.c_str(), -1, SQLITE_TRANSIENT);
      if (!c.defaultSql.empty())
        sqlite3_bind_text(col.get(), 10, c.defaultSql.c_str(), -1, SQLITE_TRANSIENT);
      if (int rc = sqlite3_step(col.get()); rc != SQLITE_DONE) fail(rc, plan);
    }
  }

  void deleteCatalog(const std::string& table) {
    Plan none;
    for (std::string_view t : {kTablesTable, kColumnsTable, kViewsTable}) {
      if (t == kViewsTable && !hasViewsTable_) continue;
      const char* key = t == kViewsTable ? "VIEW_NAME" : "TABLE_NAME";
      StmtPtr s = compile("DELETE FROM \"" + std::string(t) + "\" WHERE " + key + " = ?", none);
      sqlite3_bind_text(s.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
      if (int rc = sqlite3_step(s.get()); rc != SQLITE_DONE) fail(rc, none);
    }
  }

  // Reloads the tables' descriptions when any session changed the schema.
  void refreshCatalog() {
    Plan none;
    StmtPtr v = compile("PRAGMA schema_version", none);
    int64_t version = -1;
    if (sqlite3_step(v.get()) == SQLITE_ROW) version = sqlite3_column_int64(v.get(), 0);
    if (version == schemaVersion_) return;
    tables_.clear();
    StmtPtr has = compile(
        "SELECT 1 FROM sqlite_master WHERE name = '" + std::string(kViewsTable) + "'", none);
    hasViewsTable_ = sqlite3_step(has.get()) == SQLITE_ROW;
    StmtPtr s = compile("SELECT TABLE_NAME, COLUMN_NAME, STANDIN_SPEC, STANDIN_DEFAULT FROM \"" +
                            std::string(kColumnsTable) + "\" ORDER BY TABLE_NAME, COLUMN_ID",
                        none);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
      std::string table = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
      Column c;
      c.name = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
      c.type = parseTypeSpec(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 2)));
      if (const unsigned char* d = sqlite3_column_text(s.get(), 3))
        c.defaultSql = reinterpret_cast<const char*>(d);
      Table& t = tables_[table];
      t.name = table;
      t.columns.push_back(c);
    }
    if (rc != SQLITE_DONE) fail(rc, none);
    if (hasViewsTable_) {
      StmtPtr views = compile("SELECT VIEW_NAME FROM " + quoteName(kViewsTable), none);
      while ((rc = sqlite3_step(views.get())) == SQLITE_ROW) {
        auto it = tables_.find(reinterpret_cast<const char*>(sqlite3_column_text(views.get(), 0)));
        if (it != tables_.end()) it->second.view = true;
      }
      if (rc != SQLITE_DONE) fail(rc, none);
    }
    schemaVersion_ = version;
  }

  std::shared_ptr<Server> server_;
  std::string user_;
  DatabaseInfo database_;
  DbPtr db_;
  NlsSettings nls_;
  std::map<std::string, Table> tables_;
  int64_t schemaVersion_ = -1;
  bool hasViewsTable_ = false;
  bool inTransaction_ = false;
  bool ended_ = false;
};

class SessionImpl final : public Session {
 public:
  explicit SessionImpl(std::shared_ptr<Connection> c) : c_(std::move(c)) {}
  // A destructor cannot report a failed log-off commit: callers that need to know call end().
  ~SessionImpl() override {
    try {
      c_->end();
    } catch (...) {
    }
  }
  void end() override { c_->end(); }
  std::unique_ptr<Cursor> prepare(std::string_view sql) override { return c_->prepare(sql); }
  void commit() override { c_->commit(); }
  void rollback() override { c_->rollback(); }
  std::string nls(const std::string& name) const override { return c_->nls(name); }
  const std::string& user() const override { return c_->user(); }

 private:
  std::shared_ptr<Connection> c_;
};

CursorImpl::CursorImpl(std::shared_ptr<Connection> connection, Plan plan)
    : connection_(std::move(connection)), session_(*connection_), plan_(std::move(plan)) {
  if (plan_.action == Action::Query || plan_.action == Action::Dml)
    stmt_ = session_.compile(plan_.sql, plan_);
  for (const ColType& t : plan_.columnTypes)
    readings_.push_back(t.isNumber()  ? Reading::Number
                        : t.isDate()  ? Reading::Date
                        : t.isBytes() ? Reading::Bytes
                                      : Reading::Text);
  numbers_.resize(plan_.columns.size());
  storageRow_.assign(plan_.columns.size(), UINT64_MAX);
  storage_.assign(plan_.columns.size(), SQLITE_NULL);
  values_.assign(plan_.columns.size(), nullptr);
}

void CursorImpl::checkLoggedOn() const {
  if (session_.ended()) raise(1012);
}

uint64_t CursorImpl::execute() {
  checkLoggedOn();
  if (plan_.unboundVariables) raise(1008);
  executed_ = true;
  done_ = false;
  switch (plan_.action) {
    case Action::Query:
      sqlite3_reset(stmt_.get());
      return 0;
    case Action::Dml: {
      session_.beginWork();
      sqlite3_reset(stmt_.get());
      int rc;
      while ((rc = sqlite3_step(stmt_.get())) == SQLITE_ROW) {
      }
      if (rc != SQLITE_DONE) {
        sqlite3_reset(stmt_.get());
        session_.fail(rc, plan_);
      }
      sqlite3_reset(stmt_.get());
      return static_cast<uint64_t>(sqlite3_changes64(session_.db()));
    }
    case Action::CreateTable:
    case Action::DropTable:
    case Action::Truncate:
    case Action::CreateView:
    case Action::DropView:
      session_.ddl(plan_);
      return 0;
    case Action::AlterSession: {
      // All settings of one statement take effect, or none does.
      NlsSettings copy = session_.nlsSettings();
      for (const auto& [name, value] : plan_.nls) {
        // Length semantics came with 9i; an older server does not know the parameter.
        if (name == "NLS_LENGTH_SEMANTICS" && !session_.database().hasCharSemantics()) raise(2248);
        copy.set(name, value);
      }
      session_.nlsSettings() = copy;
      return 0;
    }
    case Action::Commit:
      session_.commit();
      return 0;
    case Action::Rollback:
      session_.rollback();
      return 0;
  }
  return 0;
}

bool CursorImpl::step() {
  checkLoggedOn();
  if (plan_.action != Action::Query) return false;
  if (!executed_) raise(24338);
  if (done_) return false;
  int rc = sqlite3_step(stmt_.get());
  ++row_;
  if (rc == SQLITE_ROW) return true;
  done_ = true;
  if (rc == SQLITE_DONE) return false;
  try {
    session_.fail(rc, plan_);
  } catch (...) {
    sqlite3_reset(stmt_.get());
    throw;
  }
}

[[noreturn]] void beyondSelectList() {
  throw std::out_of_range("column index beyond the select list");
}

const Decimal& CursorImpl::number(int col) const {
  NumberCache& c = numbers_[col];
  if (c.row != row_) {
    c.row = row_;
    c.textReady = false;
    c.value = Decimal{};
    storage(col);
    valueToDecimal(values_[col], c.value);
  }
  return c.value;
}

// Stored NUMBER blobs of the common sizes are read without building the full decimal.
const CursorImpl::NumberCache& CursorImpl::quick(int col) const {
  NumberCache& c = numbers_[col];
  if (c.quickRow != row_) {
    c.quickRow = row_;
    c.quick = 0;
    c.stored = {};
    c.canonical = false;
    if (storage(col) == SQLITE_BLOB) {
      auto* p = static_cast<const unsigned char*>(sqlite3_value_blob(values_[col]));
      size_t len = static_cast<size_t>(sqlite3_value_bytes(values_[col]));
      c.quick = quickNumber(p, len, c.iv, c.dv, c.canonical);
      c.stored = {reinterpret_cast<const char*>(p), len};
    }
  }
  return c;
}

ValueKind CursorImpl::kind(int col) const {
  checkColumn(col);
  int storage = this->storage(col);
  if (storage == SQLITE_NULL) return ValueKind::Null;
  const ColType& t = plan_.columnTypes[col];
  if (t.isNumber()) {
    if (storage == SQLITE_INTEGER) return ValueKind::Integer;
    const NumberCache& q = quick(col);
    if (q.quick == 1) return ValueKind::Integer;
    if (q.quick == 2) return ValueKind::Real;
    int64_t i;
    return decimalToInt(number(col), i) ? ValueKind::Integer : ValueKind::Real;
  }
  if (t.isDate()) return ValueKind::Date;
  if (t.isBytes()) return ValueKind::Bytes;
  return ValueKind::Text;
}

int64_t CursorImpl::asInteger(int col) const {
  checkColumn(col);
  const ColType& t = plan_.columnTypes[col];
  if (storage(col) == SQLITE_INTEGER) return sqlite3_value_int64(values_[col]);
  if (!t.isNumber()) raise(1722);
  const NumberCache& q = quick(col);
  if (q.quick == 1) return q.iv;
  if (q.quick == 2) return static_cast<int64_t>(q.dv);  // at most 14 digits: truncation is exact
  Decimal d = number(col);
  truncateToScale(d, 0);  // the fraction is dropped, as a fetch into an integer does
  int64_t out;
  if (!decimalToInt(d, out)) raise(1455);
  return out;
}

double CursorImpl::asReal(int col) const {
  checkColumn(col);
  int storage = this->storage(col);
  if (storage == SQLITE_INTEGER) return sqlite3_value_double(values_[col]);
  if (!plan_.columnTypes[col].isNumber()) raise(1722);
  const NumberCache& q = quick(col);
  if (q.quick == 1) return static_cast<double>(q.iv);
  if (q.quick == 2) return q.dv;
  return decimalToDouble(number(col));
}

std::string_view CursorImpl::asText(int col) const {
  checkColumn(col);
  if (plan_.columnTypes[col].isNumber()) return numberText(col);
  if (storage(col) == SQLITE_NULL) return {};
  const unsigned char* p = sqlite3_value_text(values_[col]);
  if (!p) return {};
  size_t len = static_cast<size_t>(sqlite3_value_bytes(values_[col]));
  if (plan_.columnTypes[col].isDate() && len > kDateTextLen) len = kDateTextLen;
  return {reinterpret_cast<const char*>(p), len};
}

std::string_view CursorImpl::numberText(int col) const {
  checkColumn(col);
  if (storage(col) == SQLITE_NULL) return {};
  const Decimal& d = number(col);
  NumberCache& c = numbers_[col];
  if (!c.textReady) {
    c.textLen = decimalText(d, c.text, sizeof c.text);
    c.textReady = true;
  }
  return {c.text, c.textLen};
}

DateTime CursorImpl::asDate(int col) const {
  checkColumn(col);
  DateTime d{};
  if (storage(col) == SQLITE_NULL) return d;
  const unsigned char* p = sqlite3_value_text(values_[col]);
  if (!p) return d;
  std::string_view s(reinterpret_cast<const char*>(p), sqlite3_value_bytes(values_[col]));
  if (!parseDateText(s, d)) raise(1858);
  return d;
}

// The kind and the value as kind() and the asX() readers give them, with the same errors at the
// same points: only what kind() checks can fail here; a DATE whose text does not parse is left to
// asDate(), which a reader calls only when it needs the date.
Value CursorImpl::value(int col) const {
  checkColumn(col);
  Value v;
  v.kind = ValueKind::Null;
  const int storage = this->storage(col);
  if (storage == SQLITE_NULL) return v;
  sqlite3_value* stored = values_[col];
  switch (readings_[col]) {
    case Reading::Number:
      readNumber(col, storage, v);
      break;
    case Reading::Date: {
      v.kind = ValueKind::Date;
      if (const unsigned char* p = sqlite3_value_text(stored)) {
        v.dateValid = parseDateText(
            {reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(stored))},
            v.date);
      } else {
        v.date = DateTime{};  // no text at all reads as the zero date, as in asDate()
        v.dateValid = true;
      }
      break;
    }
    case Reading::Bytes:
      v.kind = ValueKind::Bytes;
      if (const void* p = sqlite3_value_blob(stored))
        v.text = {static_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(stored))};
      break;
    case Reading::Text:
      v.kind = ValueKind::Text;
      if (const unsigned char* p = sqlite3_value_text(stored))
        v.text = {reinterpret_cast<const char*>(p),
                  static_cast<size_t>(sqlite3_value_bytes(stored))};
      break;
  }
  return v;
}

// A NUMBER as kind(), asInteger() and asReal() read it: an SQLite integer as it is, stored bytes of
// the common sizes without the full decimal, anything else through the decimal (which raises
// ORA-01722 for what is not a number).
void CursorImpl::readNumber(int col, int storage, Value& v) const {
  if (storage == SQLITE_INTEGER) {
    v.kind = ValueKind::Integer;
    v.integer = sqlite3_value_int64(values_[col]);
    return;
  }
  const NumberCache& q = quick(col);
  if (q.quick == 1) {
    v.kind = ValueKind::Integer;
    v.integer = q.iv;
  } else if (q.quick == 2) {
    v.kind = ValueKind::Real;
    v.real = q.dv;
  } else {
    const Decimal& d = number(col);
    if (decimalToInt(d, v.integer)) {
      v.kind = ValueKind::Integer;
    } else {
      v.kind = ValueKind::Real;
      v.real = decimalToDouble(d);
    }
  }
  if (q.canonical) v.number = q.stored;
}

std::string_view CursorImpl::asBytes(int col) const {
  checkColumn(col);
  if (storage(col) == SQLITE_NULL) return {};
  const void* p = sqlite3_value_blob(values_[col]);
  if (!p) return {};
  return {static_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(values_[col]))};
}

// ---- Server -----------------------------------------------------------------------------------

class ServerImpl final : public Server, public std::enable_shared_from_this<ServerImpl> {
 public:
  explicit ServerImpl(fs::path folder)
      : folder_(std::move(folder)), path_(folder_.string()), settings_(readSettings(folder_)) {
    // The release decides what the dictionary has; any release text is taken as it comes here
    // (the banner shows it), only its first two numbers count.
    const std::string& version = settings_.at("version");
    std::sscanf(version.c_str(), "%d.%d", &database_.releaseMajor, &database_.releaseMinor);
  }

  // The database character set is checked when a user logs on, so that a server folder with a
  // misspelt set fails visibly instead of storing texts in the wrong form.
  DatabaseInfo database() const {
    auto it = settings_.find("charset");
    if (it == settings_.end()) return database_;
    const CharsetInfo* cs = findCharset(it->second);
    if (!cs) raise(600, {"standin", "unknown character set in settings: " + it->second});
    DatabaseInfo d = database_;
    d.charset = cs->id;
    return d;
  }

  std::unique_ptr<Session> logon(std::string_view user, std::string_view password) override {
    std::string name = upperAscii(user);
    auto users = readUsers(folder_);
    auto it = users.find(name);
    // Passwords compare without regard to case, as a 10g server compares them.
    if (name.empty() || it == users.end() || upperAscii(it->second) != upperAscii(password))
      raise(1017);
    return open(name);
  }

  std::unique_ptr<Session> open(const std::string& name) {
    fs::path file = folder_ / (name + ".db");
    if (!fs::exists(file)) raise(1017);
    return std::make_unique<SessionImpl>(
        std::make_shared<Connection>(shared_from_this(), file, name, database()));
  }

  const std::map<std::string, std::string>& settings() const override { return settings_; }
  const std::string& path() const override { return path_; }

 private:
  fs::path folder_;
  std::string path_;
  std::map<std::string, std::string> settings_;
  DatabaseInfo database_;
};

bool isServerFolder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec) && fs::exists(p / "users", ec);
}

fs::path defaultDataFolder() {
  if (const char* env = std::getenv("STANDIN_SERVERS"); env && *env) return env;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&defaultDataFolder), &info) && info.dli_fname) {
    std::error_code ec;
    fs::path lib = fs::canonical(info.dli_fname, ec);
    if (ec) lib = info.dli_fname;
    return lib.parent_path() / "servers";
  }
  return "servers";
}

void checkName(std::string_view user) {
  if (user.empty() || user.size() > 30) throw std::runtime_error("invalid user name");
  for (char c : user) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '$' && c != '#')
      throw std::runtime_error("invalid user name: " + std::string(user));
  }
  if (!std::isalpha(static_cast<unsigned char>(user[0])))
    throw std::runtime_error("a user name starts with a letter: " + std::string(user));
}

}  // namespace

std::shared_ptr<Server> Server::attach(std::string_view serverText) {
  std::string text = trim(std::string(serverText));
  if (text.empty()) {
    const char* twoTask = std::getenv("TWO_TASK");
    if (!twoTask || !*twoTask) raise(12162);
    text = twoTask;
  }
  fs::path folder;
  if (text.find('/') != std::string::npos) {
    folder = text;
  } else {
    fs::path base = defaultDataFolder();
    folder = base / text;
    if (!isServerFolder(folder)) {
      // Net service names do not depend on case.
      std::string lower = text;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      folder = base / lower;
    }
  }
  if (!isServerFolder(folder)) raise(12154);
  return std::make_shared<ServerImpl>(folder);
}

void createServer(const std::string& folder) {
  createServer(folder, "", "");
}

namespace {
// The character set and release a new server gets; throws for unknown or contradicting ones.
std::pair<const CharsetInfo*, std::string> serverOptions(const std::string& charset,
                                                         const std::string& release) {
  const CharsetInfo* cs = findCharset(charset.empty() ? "AL32UTF8" : charset);
  if (!cs)
    throw std::runtime_error("unknown character set \"" + charset +
                             "\" (known: AL32UTF8, UTF8, CL8MSWIN1251, CL8ISO8859P5)");
  std::string version = release.empty() ? "10.2.0.1.0" : releaseText(release);
  if (cs->id == Charset::Al32Utf8 && std::atoi(version.c_str()) < 9) {
    // AL32UTF8 came with 9i; an older server that is to hold any character uses UTF8.
    if (!charset.empty())
      throw std::runtime_error("character set AL32UTF8 needs release 9.0 or later (release " +
                               version + "); use UTF8");
    cs = findCharset("UTF8");
  }
  return {cs, version};
}
}  // namespace

void checkServerOptions(const std::string& charset, const std::string& release) {
  serverOptions(charset, release);
}

void createServer(const std::string& folder, const std::string& charset,
                  const std::string& release) {
  auto [cs, version] = serverOptions(charset, release);
  fs::path p(folder);
  std::error_code ec;
  fs::create_directories(p, ec);
  if (ec) throw std::runtime_error("cannot create " + folder + ": " + ec.message());
  if (!fs::exists(p / "users")) {
    std::ofstream users(p / "users");
    users << "# One line per user: NAME password\n";
    if (!users) throw std::runtime_error("cannot write " + (p / "users").string());
  }
  if (!fs::exists(p / "settings")) {
    std::ofstream settings(p / "settings");
    settings << "# Stand-in server settings (key = value), see standin/admin/README.md\n"
             << "version = " << version << "\n";
    // The demo server and servers made without a character set keep the file they always had.
    if (!charset.empty() || cs->id != Charset::Al32Utf8)
      settings << "charset = " << cs->name << "\n";
    if (!settings) throw std::runtime_error("cannot write " + (p / "settings").string());
  }
}

void createUser(const std::string& folder, std::string_view user, std::string_view password) {
  checkName(user);
  if (password.empty() || password.find_first_of(" \t\r\n") != std::string_view::npos)
    throw std::runtime_error("a password is one word");
  fs::path p(folder);
  if (!isServerFolder(p)) throw std::runtime_error("not a server folder: " + folder);
  std::string name = upperAscii(user);
  if (readUsers(p).count(name)) throw std::runtime_error("user " + name + " exists already");
  fs::path file = p / (name + ".db");
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  DbPtr db(raw);
  if (rc != SQLITE_OK) throw std::runtime_error("cannot create " + file.string());
  const std::string setup =
      "PRAGMA journal_mode = WAL;"
      "CREATE TABLE IF NOT EXISTS \"" +
      std::string(kTablesTable) +
      "\" (\"TABLE_NAME\" NOT NULL PRIMARY KEY);"
      "CREATE TABLE IF NOT EXISTS \"" +
      std::string(kColumnsTable) +
      "\" (\"TABLE_NAME\" NOT NULL, \"COLUMN_NAME\" NOT NULL, \"DATA_TYPE\", \"DATA_LENGTH\" NOT "
      "NULL, \"DATA_PRECISION\", \"DATA_SCALE\", \"NULLABLE\", \"COLUMN_ID\", \"STANDIN_SPEC\", "
      "\"STANDIN_DEFAULT\", "
      "PRIMARY KEY (\"TABLE_NAME\", \"COLUMN_NAME\"));"
      "CREATE TABLE IF NOT EXISTS \"" +
      std::string(kViewsTable) + "\" " + kViewsColumns + ";";
  char* err = nullptr;
  rc = sqlite3_exec(db.get(), setup.c_str(), nullptr, nullptr, &err);
  std::string message = err ? err : "";
  sqlite3_free(err);
  if (rc != SQLITE_OK) throw std::runtime_error("cannot set up " + file.string() + ": " + message);
  std::ofstream users(p / "users", std::ios::app);
  users << name << ' ' << password << '\n';
  if (!users) throw std::runtime_error("cannot write " + (p / "users").string());
}

std::unique_ptr<Session> openSession(const std::string& folder, std::string_view user) {
  fs::path p(folder);
  if (!isServerFolder(p)) throw std::runtime_error("not a server folder: " + folder);
  auto server = std::make_shared<ServerImpl>(p);
  return server->open(upperAscii(user));
}

std::string oracleNumberText(std::string_view exactText, char decimalChar) {
  Decimal d;
  if (!parseDecimal(exactText, d)) raise(1722);
  return oracleText(d, decimalChar);
}

}  // namespace standin
