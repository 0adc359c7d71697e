// Administration helpers: SQL scripts, CSV loading, generated tables, the demo server.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "standin/engine/internal.h"

namespace fs = std::filesystem;

namespace standin {
namespace {

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string quoteName(const std::string& n) {
  return "\"" + n + "\"";
}

std::string literal(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

struct StmtDeleter {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
struct DbDeleter {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

}  // namespace

std::vector<ScriptStatement> splitScript(std::string_view s) {
  std::vector<ScriptStatement> out;
  std::string cur;
  int line = 1, startLine = 1;
  bool inString = false, inQuoted = false;
  auto flush = [&] {
    size_t a = cur.find_first_not_of(" \t\r\n");
    if (a != std::string::npos) {
      size_t b = cur.find_last_not_of(" \t\r\n");
      out.push_back({cur.substr(a, b - a + 1), startLine});
    }
    cur.clear();
  };
  size_t i = 0;
  bool lineStart = true;
  while (i < s.size()) {
    char c = s[i];
    if (lineStart && !inString && !inQuoted) {
      // A line holding only "/" ends the statement.
      size_t e = s.find('\n', i);
      std::string_view l = s.substr(i, e == std::string_view::npos ? s.size() - i : e - i);
      size_t a = l.find_first_not_of(" \t\r");
      size_t b = l.find_last_not_of(" \t\r");
      if (a != std::string_view::npos && l.substr(a, b - a + 1) == "/") {
        flush();
        i = e == std::string_view::npos ? s.size() : e + 1;
        ++line;
        startLine = line;
        continue;
      }
      if (cur.find_first_not_of(" \t\r\n") == std::string::npos) startLine = line;
    }
    lineStart = false;
    if (!inString && !inQuoted && c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (!inString && !inQuoted && c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      size_t end = e == std::string_view::npos ? s.size() : e + 2;
      for (size_t k = i; k < end; ++k)
        if (s[k] == '\n') ++line;
      cur += ' ';
      i = end;
      continue;
    }
    if (c == '\'' && !inQuoted) inString = !inString;
    if (c == '"' && !inString) inQuoted = !inQuoted;
    if (c == ';' && !inString && !inQuoted) {
      flush();
      ++i;
      startLine = line;
      continue;
    }
    if (c == '\n') {
      ++line;
      lineStart = true;
    }
    cur += c;
    ++i;
  }
  flush();
  return out;
}

int runScript(Session& session, std::string_view script, const std::string& scriptName) {
  int count = 0;
  for (const ScriptStatement& st : splitScript(script)) {
    try {
      auto cursor = session.prepare(st.text);
      cursor->execute();
      ++count;
    } catch (const OraError& e) {
      session.rollback();
      // Line of the error inside the statement, from its parse offset.
      int line = st.line;
      for (int k = 0; k < e.parseOffset && k < static_cast<int>(st.text.size()); ++k)
        if (st.text[k] == '\n') ++line;
      throw std::runtime_error(scriptName + ":" + std::to_string(line) + ": " + e.message);
    }
  }
  session.commit();
  return count;
}

void generateTable(const std::string& folder, std::string_view user, const std::string& table,
                   int64_t rows, int columns) {
  if (columns < 1 || columns > 1000) throw std::runtime_error("columns must be 1 to 1000");
  if (rows < 0) throw std::runtime_error("rows must not be negative");
  struct Kind_ {
    const char* type;
    char kind;  // v text, n number, d date, t date with time
  };
  static const Kind_ mix[] = {{"VARCHAR2(30)", 'v'}, {"NUMBER(12,2)", 'n'}, {"DATE", 'd'},
                              {"NUMBER", 'r'},       {"VARCHAR2(10)", 'v'}, {"NUMBER(9)", 'i'},
                              {"DATE", 't'},         {"VARCHAR2(40)", 'v'}, {"FLOAT", 'r'}};
  std::string ddl = "CREATE TABLE " + table + " (ID NUMBER(10) PRIMARY KEY";
  std::vector<char> kinds{'i'};
  for (int c = 1; c < columns; ++c) {
    const Kind_& k = mix[(c - 1) % 9];
    char name[16];
    std::snprintf(name, sizeof name, "C%03d", c);
    ddl += std::string(", ") + name + " " + k.type;
    kinds.push_back(k.kind);
  }
  ddl += ")";
  {
    auto session = openSession(folder, user);
    session->prepare(ddl)->execute();
  }
  std::string name;
  for (char c : user) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  fs::path file = fs::path(folder) / (name + ".db");
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(raw);
    throw std::runtime_error("cannot open " + file.string());
  }
  std::unique_ptr<sqlite3, DbDeleter> db(raw);
  sqlite3_busy_timeout(raw, 10000);
  std::string upperTable;
  for (char c : table) upperTable += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string insert = "INSERT INTO " + quoteName(upperTable) + " VALUES (";
  for (int c = 0; c < columns; ++c) insert += c ? ", ?" : "?";
  insert += ")";
  sqlite3_stmt* rs = nullptr;
  if (sqlite3_prepare_v2(raw, insert.c_str(), -1, &rs, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(raw));
  std::unique_ptr<sqlite3_stmt, StmtDeleter> st(rs);
  sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  uint64_t state = 88172645463325252ull;  // xorshift64: the same rows on every run
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  static const char* words[] = {"alpha",   "bravo", "charlie", "delta", "echo",
                                "foxtrot", "golf",  "hotel",   "india", "juliet"};
  char buf[64];
  for (int64_t r = 1; r <= rows; ++r) {
    sqlite3_reset(st.get());
    for (int c = 0; c < columns; ++c) {
      uint64_t x = next();
      int idx = c + 1;
      std::string value;
      Decimal d;
      switch (kinds[c]) {
        case 'i':
          d = decimalFromInt(c == 0 ? r : static_cast<int64_t>(x % 1000000000));
          value = encodeNumber(d);
          sqlite3_bind_blob(st.get(), idx, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT);
          break;
        case 'n':
          parseDecimal(std::to_string(static_cast<int64_t>(x % 2000000000) - 1000000000) + "e-2",
                       d);
          value = encodeNumber(d);
          sqlite3_bind_blob(st.get(), idx, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT);
          break;
        case 'r':
          d = decimalFromDouble(static_cast<double>(x % 100000000) / 977.0);
          value = encodeNumber(d);
          sqlite3_bind_blob(st.get(), idx, value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT);
          break;
        case 'v': {
          int len =
              std::snprintf(buf, sizeof buf, "%s %lld", words[x % 10], static_cast<long long>(r));
          sqlite3_bind_text(st.get(), idx, buf, std::min(len, 10), SQLITE_TRANSIENT);
          break;
        }
        case 'd':
        case 't': {
          DateTime dt{};
          fromDayNumber(dayNumber(1990, 1, 1) + static_cast<int64_t>(x % 12000), dt.year, dt.month,
                        dt.day);
          if (kinds[c] == 't') {
            dt.hour = static_cast<int>(x / 7 % 24);
            dt.minute = static_cast<int>(x / 11 % 60);
            dt.second = static_cast<int>(x / 13 % 60);
          }
          value = dateText(dt);
          sqlite3_bind_text(st.get(), idx, value.c_str(), -1, SQLITE_TRANSIENT);
          break;
        }
      }
    }
    if (sqlite3_step(st.get()) != SQLITE_DONE) {
      std::string msg = sqlite3_errmsg(raw);
      sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
      throw std::runtime_error("generate: " + msg);
    }
  }
  if (sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    throw std::runtime_error(sqlite3_errmsg(raw));
}

int64_t loadCsv(Session& session, const std::string& table, std::string_view csv,
                const std::string& dateFormat) {
  session.prepare("ALTER SESSION SET NLS_DATE_FORMAT = " + literal(dateFormat))->execute();
  std::vector<std::vector<std::pair<std::string, bool>>> records;  // value, quoted
  std::vector<int> lines;
  {
    std::vector<std::pair<std::string, bool>> record;
    std::string field;
    bool quoted = false, inQuotes = false, any = false;
    int line = 1, recordLine = 1;
    for (size_t i = 0; i <= csv.size(); ++i) {
      char c = i < csv.size() ? csv[i] : '\n';
      if (inQuotes) {
        if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
          field += '"';
          ++i;
        } else if (c == '"') {
          inQuotes = false;
        } else {
          if (c == '\n') ++line;
          field += c;
        }
        continue;
      }
      if (c == '"') {
        inQuotes = quoted = any = true;
      } else if (c == ',') {
        record.push_back({field, quoted});
        field.clear();
        quoted = false;
        any = true;
      } else if (c == '\n') {
        if (any || !field.empty()) {
          if (!field.empty() && field.back() == '\r') field.pop_back();
          record.push_back({field, quoted});
          records.push_back(record);
          lines.push_back(recordLine);
        }
        record.clear();
        field.clear();
        quoted = any = false;
        ++line;
        recordLine = line;
      } else {
        field += c;
        any = true;
      }
    }
    if (inQuotes) throw std::runtime_error("CSV: quoted field not closed");
  }
  if (records.empty()) throw std::runtime_error("CSV: no header line");
  std::string columns;
  for (size_t i = 0; i < records[0].size(); ++i) columns += (i ? ", " : "") + records[0][i].first;
  int64_t count = 0;
  for (size_t r = 1; r < records.size(); ++r) {
    if (records[r].size() != records[0].size())
      throw std::runtime_error("CSV line " + std::to_string(lines[r]) + ": " +
                               std::to_string(records[r].size()) + " fields, header has " +
                               std::to_string(records[0].size()));
    std::string values;
    for (size_t i = 0; i < records[r].size(); ++i) {
      const auto& [v, q] = records[r][i];
      values += (i ? ", " : "") + (v.empty() && !q ? std::string("NULL") : literal(v));
    }
    try {
      session.prepare("INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")")
          ->execute();
    } catch (const OraError& e) {
      session.rollback();
      throw std::runtime_error("CSV line " + std::to_string(lines[r]) + ": " + e.message);
    }
    ++count;
  }
  session.commit();
  return count;
}

void createDemoServer(const std::string& folder, const std::string& scriptsFolder) {
  createServer(folder);
  createUser(folder, "demo", "demo");
  std::vector<fs::path> scripts;
  for (const auto& entry : fs::directory_iterator(scriptsFolder))
    if (entry.path().extension() == ".sql") scripts.push_back(entry.path());
  std::sort(scripts.begin(), scripts.end());
  {
    auto session = openSession(folder, "demo");
    for (const fs::path& p : scripts) runScript(*session, readFile(p), p.filename().string());
  }
  generateTable(folder, "demo", "WIDE_TABLE", 30, 300);
}

}  // namespace standin
