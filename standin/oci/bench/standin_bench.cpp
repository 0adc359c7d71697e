// standin-bench: the cost of the stand-in client's fetch path against a plain SQLite loop.
//
// Makes a server with a generated table (default one million rows of ten columns), fetches every
// row through the OCI array defines the way the program does (blocks of records with an indicator
// and a column return code per value; SQLT_INT for integers of up to 9 digits, SQLT_VNU for
// numbers of more than 15, SQLT_BDOUBLE for the other numbers, SQLT_DAT, SQLT_STR), then reads the
// same table from the same SQLite file with sqlite3_step and sqlite3_column_*, and prints both
// times and their ratio.
//
//   standin-bench [--rows N] [--block N] [--server <existing folder with user BENCH/bench>]
//                 [--table NAME (default BIG)]
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "oracle/oci.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "standin-bench: %s\n", what.c_str());
  std::exit(1);
}

void admin(const std::string& args) {
  std::string cmd = std::string(STANDIN_ADMIN) + " " + args;
  if (std::system(cmd.c_str()) != 0) die("failed: " + cmd);
}

struct Oci {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;

  void check(sword rc, const char* what) {
    if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO) return;
    char buf[512] = {};
    sb4 code = 0;
    OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf,
                OCI_HTYPE_ERROR);
    die(std::string(what) + ": " + buf);
  }
  void connect(const std::string& server) {
    if (OCIEnvCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0,
                     nullptr) != OCI_SUCCESS)
      die("OCIEnvCreate");
    OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
    check(OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(server.data()),
                          static_cast<sb4>(server.size()), OCI_DEFAULT),
          "attach");
    check(OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err), "server");
    check(OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("BENCH"), 5, OCI_ATTR_USERNAME, err),
          "user");
    check(OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("bench"), 5, OCI_ATTR_PASSWORD, err),
          "password");
    check(OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, OCI_DEFAULT), "logon");
    check(OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err), "session");
  }
  ~Oci() {
    if (svc && ses) OCISessionEnd(svc, err, ses, OCI_DEFAULT);
    if (srv) OCIServerDetach(srv, err, OCI_DEFAULT);
    if (env) OCIHandleFree(env, OCI_HTYPE_ENV);
  }
};

struct Field {
  ub2 dty;
  sb4 size;
  size_t offset;
};

// Fetches the whole table in blocks of `block` records laid out as the program lays them out:
// values at their offsets, then one 2-byte indicator per field. Returns the rows fetched.
long long fetchOci(Oci& o, const std::string& table, ub4 block, long long& checksum) {
  OCIStmt* s = nullptr;
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&s), OCI_HTYPE_STMT, 0, nullptr);
  ub4 zero = 0;
  OCIAttrSet(s, OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_ROWS, o.err);
  OCIAttrSet(s, OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_MEMORY, o.err);
  std::string sql = "select * from " + table;
  o.check(OCIStmtPrepare(s, o.err, reinterpret_cast<const OraText*>(sql.c_str()),
                         static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT),
          "prepare");
  o.check(OCIStmtExecute(o.svc, s, o.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), "execute");
  ub4 count = 0;
  OCIAttrGet(s, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, o.err);
  std::vector<Field> fields;
  size_t offset = 0;
  for (ub4 i = 1; i <= count; ++i) {
    OCIParam* p = nullptr;
    OCIParamGet(s, OCI_HTYPE_STMT, o.err, reinterpret_cast<void**>(&p), i);
    ub2 type = 0, size = 0;
    sb2 precision = 0;
    sb1 scale = 0;
    OCIAttrGet(p, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, o.err);
    OCIAttrGet(p, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, o.err);
    OCIAttrGet(p, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, o.err);
    OCIAttrGet(p, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, o.err);
    Field f{};
    // The decimal digits the program gives a number: its precision (a FLOAT's binary precision
    // in decimal digits), 38 when it has none.
    const bool isFloat = scale == -127 && precision > 0;
    const int digits = isFloat         ? static_cast<int>(std::ceil(precision * 0.30103))
                       : precision > 0 ? precision
                                       : 38;
    if (type == SQLT_NUM && !isFloat && digits <= 9 && scale == 0)
      f = {SQLT_INT, 4, 0};
    else if (type == SQLT_NUM && digits > 15)
      f = {SQLT_VNU, 22, 0};
    else if (type == SQLT_NUM)
      f = {SQLT_BDOUBLE, 8, 0};
    else if (type == SQLT_DAT)
      f = {SQLT_DAT, 7, 0};
    else
      f = {SQLT_STR, static_cast<sb4>(size + 1), 0};
    f.offset = offset;
    offset += static_cast<size_t>(f.size);
    fields.push_back(f);
  }
  size_t dataSize = offset;
  size_t recordSize = dataSize + 2 * fields.size();
  std::vector<char> records(recordSize * block);
  // The column return codes: one run of `block` codes per field.
  std::vector<ub2> codes(fields.size() * block);
  for (size_t i = 0; i < fields.size(); ++i) {
    OCIDefine* d = nullptr;
    char* base = records.data();
    o.check(OCIDefineByPos(s, &d, o.err, static_cast<ub4>(i + 1), base + fields[i].offset,
                           fields[i].size, fields[i].dty, base + dataSize + 2 * i, nullptr,
                           codes.data() + i * block, OCI_DEFAULT),
            "define");
    o.check(OCIDefineArrayOfStruct(d, o.err, static_cast<ub4>(recordSize),
                                   static_cast<ub4>(recordSize), 0, sizeof(ub2)),
            "array define");
  }
  long long rows = 0;
  for (;;) {
    sword rc = OCIStmtFetch(s, o.err, block, OCI_FETCH_NEXT, OCI_DEFAULT);
    if (rc != OCI_NO_DATA) o.check(rc, "fetch");
    ub4 total = 0;
    OCIAttrGet(s, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, o.err);
    for (long long r = rows; r < total; ++r)
      checksum += records[static_cast<size_t>(r - rows) * recordSize];
    rows = total;
    if (rc == OCI_NO_DATA) break;
  }
  OCIHandleFree(s, OCI_HTYPE_STMT);
  return rows;
}

// The plain loop runs single-threaded, as the stand-in's engine does: no SQLite mutex on either
// side.
long long fetchSqlite(const fs::path& file, const std::string& table, long long& checksum) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK)
    die("cannot open " + file.string());
  sqlite3_stmt* st = nullptr;
  std::string sql = "SELECT * FROM \"" + table + "\"";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) die(sqlite3_errmsg(db));
  int n = sqlite3_column_count(st);
  long long rows = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    for (int c = 0; c < n; ++c) {
      switch (sqlite3_column_type(st, c)) {
        case SQLITE_INTEGER:
          checksum += sqlite3_column_int64(st, c) & 1;
          break;
        case SQLITE_FLOAT:
          checksum += sqlite3_column_double(st, c) > 0;
          break;
        case SQLITE_TEXT:
          checksum += sqlite3_column_bytes(st, c) + *sqlite3_column_text(st, c);
          break;
        case SQLITE_BLOB:
          checksum += sqlite3_column_bytes(st, c);
          sqlite3_column_blob(st, c);
          break;
        default:
          break;
      }
    }
    ++rows;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return rows;
}

double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  long long rows = 1000000;
  ub4 block = 25;
  std::string existing;
  std::string table = "BIG";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--rows" && i + 1 < argc)
      rows = std::atoll(argv[++i]);
    else if (a == "--block" && i + 1 < argc)
      block = static_cast<ub4>(std::atol(argv[++i]));
    else if (a == "--server" && i + 1 < argc)
      existing = argv[++i];
    else if (a == "--table" && i + 1 < argc)
      table = argv[++i];
    else
      die("usage: standin-bench [--rows N] [--block N] [--server <folder>] [--table NAME]");
  }
  if (rows <= 0 || block == 0) die("rows and block must be positive");

  fs::path tmp;
  fs::path server = existing;
  if (server.empty()) {
    std::string pattern = (fs::temp_directory_path() / "standin-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) die("mkdtemp");
    tmp = pattern;
    server = tmp / "bench";
    auto t0 = Clock::now();
    admin("create-server '" + server.string() + "'");
    admin("create-user '" + server.string() + "' BENCH bench");
    admin("generate '" + server.string() + "' BENCH " + table + " " + std::to_string(rows));
    std::printf("generated %lld rows in %.1f s\n", rows, seconds(Clock::now() - t0));
  }

  // Both sides run alternately a few times; the best time of each is compared, which keeps the
  // figure steady on a busy machine.
  long long sumOci = 0, sumSqlite = 0, nOci = 0, nSqlite = 0;
  double tOci = 1e99, tSqlite = 1e99;
  Oci o;
  o.connect(server.string());
  for (int round = 0; round < 3; ++round) {
    auto t0 = Clock::now();
    nOci = fetchOci(o, table, block, sumOci);
    tOci = std::min(tOci, seconds(Clock::now() - t0));
    t0 = Clock::now();
    nSqlite = fetchSqlite(server / "BENCH.db", table, sumSqlite);
    tSqlite = std::min(tSqlite, seconds(Clock::now() - t0));
  }

  std::printf("rows: %lld through the stand-in (blocks of %u), %lld through SQLite\n", nOci, block,
              nSqlite);
  std::printf("stand-in array fetch: %.3f s (best of 3)\n", tOci);
  std::printf("plain SQLite loop:    %.3f s (best of 3)\n", tSqlite);
  std::printf("ratio:                %.2f (goal: at most 1.5)\n", tOci / tSqlite);
  if (!tmp.empty()) {
    std::error_code ec;
    fs::remove_all(tmp, ec);
  }
  return nOci == nSqlite ? 0 : 1;
}
