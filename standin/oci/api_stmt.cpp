// Entry points for statements: prepare, execute, describe, define and fetch.
//
// The fetch path converts each value of the engine's current row straight into the caller's define
// buffers; nothing on it allocates per row.
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "standin/oci/api.h"

namespace standin::oci {

namespace {

ub2 classify(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '(') {
      ++i;
    } else if (sql.substr(i, 2) == "--") {
      size_t e = sql.find('\n', i);
      i = e == std::string_view::npos ? sql.size() : e + 1;
    } else if (sql.substr(i, 2) == "/*") {
      size_t e = sql.find("*/", i + 2);
      i = e == std::string_view::npos ? sql.size() : e + 2;
    } else {
      break;
    }
  }
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
  struct Kind {
    const char* word;
    ub2 type;
  };
  static const Kind kinds[] = {
      {"SELECT", OCI_STMT_SELECT},   {"WITH", OCI_STMT_SELECT},   {"UPDATE", OCI_STMT_UPDATE},
      {"DELETE", OCI_STMT_DELETE},   {"INSERT", OCI_STMT_INSERT}, {"CREATE", OCI_STMT_CREATE},
      {"DROP", OCI_STMT_DROP},       {"ALTER", OCI_STMT_ALTER},   {"BEGIN", OCI_STMT_BEGIN},
      {"DECLARE", OCI_STMT_DECLARE},
  };
  for (const Kind& k : kinds)
    if (word == k.word) return k.type;
  return OCI_STMT_UNKNOWN;
}

bool isCharDty(ub2 dty) {
  return dty == SQLT_STR || dty == SQLT_CHR || dty == SQLT_AVC || dty == SQLT_AFC ||
         dty == SQLT_LNG;
}

// External types the stand-in converts into, with the buffer sizes each accepts.
bool acceptedDefine(ub2 dty, sb4 size) {
  switch (dty) {
    case SQLT_STR:
    case SQLT_CHR:
    case SQLT_AVC:
    case SQLT_AFC:
    case SQLT_LNG:
    case SQLT_BIN:
    case SQLT_LBI:
      return size >= 0;
    case SQLT_INT:
    case SQLT_UIN:
      return size == 1 || size == 2 || size == 4 || size == 8;
    case SQLT_FLT:
      return size == 4 || size == 8;
    case SQLT_BFLOAT:
      return size >= 4;
    case SQLT_BDOUBLE:
      return size >= 8;
    case SQLT_DAT:
      return size >= 7;
    case SQLT_NUM:
      return size >= 21;
    case SQLT_VNU:
      return size >= 22;
    default:
      return false;
  }
}

inline void put16(char* base, ub4 skip, ub4 row, uint16_t v) {
  if (base) std::memcpy(base + static_cast<size_t>(row) * skip, &v, sizeof v);
}

inline void setOutputs(const Define& d, ub4 row, sb2 ind, size_t rlen, ub2 rcode) {
  put16(d.ind, d.indSkip, row, static_cast<uint16_t>(ind));
  put16(d.rlen, d.rlenSkip, row, static_cast<uint16_t>(rlen > 65535 ? 65535 : rlen));
  put16(d.rcode, d.rcodeSkip, row, rcode);
}

const char* kindName(standin::ValueKind k) {
  switch (k) {
    case standin::ValueKind::Integer:
    case standin::ValueKind::Real:
      return "NUMBER";
    case standin::ValueKind::Date:
      return "DATE";
    case standin::ValueKind::Bytes:
      return "BINARY";
    default:
      return "CHAR";
  }
}

int mismatch(FetchState& st, const char* expected, standin::ValueKind k) {
  st.expected = expected;
  st.got = kindName(k);
  return 932;
}

// Copies text or bytes into a character or binary define, with truncation as Oracle reports it.
int putBytes(const Define& d, ub4 row, std::string_view v, FetchState& st) {
  char* dst = d.value + static_cast<size_t>(row) * d.valueSkip;
  size_t size = static_cast<size_t>(d.valueSize);
  size_t cap = size;
  bool nul = false, pad = false;
  switch (d.dty) {
    case SQLT_STR:
      cap = size ? size - 1 : 0;
      nul = size > 0;
      break;
    case SQLT_AVC:
      cap = size ? size - 1 : 0;
      nul = size > 0;
      pad = true;
      break;
    case SQLT_AFC:
      pad = true;
      break;
    default:
      break;
  }
  size_t n = v.size() < cap ? v.size() : cap;
  // A UTF-8 character is never cut in two.
  if (n < v.size() && isCharDty(d.dty))
    while (n > 0 && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80) --n;
  if (n) std::memcpy(dst, v.data(), n);
  size_t total = n;
  if (pad && cap > n) {
    std::memset(dst + n, ' ', cap - n);
    total = cap;
  }
  if (nul) dst[total] = 0;
  if (n < v.size()) {
    st.truncated = true;
    sb2 ind = v.size() <= 32767 ? static_cast<sb2>(v.size()) : static_cast<sb2>(-2);
    setOutputs(d, row, ind, total, 1406);
    return d.ind ? 0 : 1406;
  }
  setOutputs(d, row, 0, total, 0);
  return 0;
}

template <class T>
inline void store(const Define& d, ub4 row, T v) {
  std::memcpy(d.value + static_cast<size_t>(row) * d.valueSkip, &v, sizeof v);
  setOutputs(d, row, 0, sizeof v, 0);
}

// True when an integral value fits the define's integer type.
bool fitsInteger(int64_t v, sb4 size, bool isUnsigned) {
  if (isUnsigned) return v >= 0 && (size == 8 || static_cast<uint64_t>(v) >> (8 * size) == 0);
  if (size == 8) return true;
  const int64_t limit = int64_t{1} << (8 * size - 1);
  return v >= -limit && v < limit;
}

// True when a value already truncated toward zero fits the define's integer type.
bool fitsInteger(long double v, sb4 size, bool isUnsigned) {
  long double lo, hi;
  switch (size) {
    case 1:
      lo = isUnsigned ? 0 : -128.0L;
      hi = isUnsigned ? 255.0L : 127.0L;
      break;
    case 2:
      lo = isUnsigned ? 0 : -32768.0L;
      hi = isUnsigned ? 65535.0L : 32767.0L;
      break;
    case 4:
      lo = isUnsigned ? 0 : -2147483648.0L;
      hi = isUnsigned ? 4294967295.0L : 2147483647.0L;
      break;
    default:
      lo = isUnsigned ? 0 : -9223372036854775808.0L;
      hi = isUnsigned ? 18446744073709551615.0L : 9223372036854775807.0L;
      break;
  }
  return v >= lo && v <= hi;
}

int putInteger(const Define& d, ub4 row, const standin::Value& v, FetchState& st) {
  // An integral value of the engine keeps all its 64 bits; others are truncated toward zero.
  const bool isUnsigned = d.dty == SQLT_UIN;
  int64_t i = 0;
  uint64_t u = 0;
  switch (v.kind) {
    case standin::ValueKind::Integer:
      if (!fitsInteger(v.integer, d.valueSize, isUnsigned)) return 1455;
      i = v.integer;
      u = static_cast<uint64_t>(v.integer);
      break;
    case standin::ValueKind::Real:
    case standin::ValueKind::Text: {
      double real = v.real;
      if (v.kind == standin::ValueKind::Text && !parseNumber(v.text, real)) return 1722;
      const long double whole = std::trunc(static_cast<long double>(real));
      if (!fitsInteger(whole, d.valueSize, isUnsigned)) return 1455;
      i = static_cast<int64_t>(whole);
      u = static_cast<uint64_t>(whole);
      break;
    }
    default:
      return mismatch(st, "NUMBER", v.kind);
  }
  switch (d.valueSize) {
    case 1:
      isUnsigned ? store<uint8_t>(d, row, static_cast<uint8_t>(u))
                 : store<int8_t>(d, row, static_cast<int8_t>(i));
      break;
    case 2:
      isUnsigned ? store<uint16_t>(d, row, static_cast<uint16_t>(u))
                 : store<int16_t>(d, row, static_cast<int16_t>(i));
      break;
    case 4:
      isUnsigned ? store<uint32_t>(d, row, static_cast<uint32_t>(u))
                 : store<int32_t>(d, row, static_cast<int32_t>(i));
      break;
    default:
      isUnsigned ? store<uint64_t>(d, row, u) : store<int64_t>(d, row, i);
      break;
  }
  return 0;
}

int putFloat(const Define& d, ub4 row, const standin::Value& v, FetchState& st) {
  double real;
  switch (v.kind) {
    case standin::ValueKind::Integer:
      real = static_cast<double>(v.integer);
      break;
    case standin::ValueKind::Real:
      real = v.real;
      break;
    case standin::ValueKind::Text:
      if (!parseNumber(v.text, real)) return 1722;
      break;
    default:
      return mismatch(st, "NUMBER", v.kind);
  }
  bool single = d.dty == SQLT_BFLOAT || (d.dty == SQLT_FLT && d.valueSize == 4);
  if (single)
    store<float>(d, row, static_cast<float>(real));
  else
    store<double>(d, row, real);
  return 0;
}

int putNumber(const Define& d, ub4 row, standin::Cursor& c, int col, const standin::Value& v,
              FetchState& st) {
  unsigned char encoded[21];
  std::string_view bytes;
  if (v.kind == standin::ValueKind::Integer || v.kind == standin::ValueKind::Real) {
    // The engine hands on a stored NUMBER as it is; anything else is encoded from its text.
    bytes = v.number;
    if (bytes.empty()) {
      size_t n = encodeNumber(c.numberText(col), encoded);
      if (n == 0) return 1722;
      bytes = {reinterpret_cast<const char*>(encoded), n};
    }
  } else if (v.kind == standin::ValueKind::Text) {
    size_t n = encodeNumber(v.text, encoded);
    if (n == 0) return 1722;
    bytes = {reinterpret_cast<const char*>(encoded), n};
  } else {
    return mismatch(st, "NUMBER", v.kind);
  }
  char* dst = d.value + static_cast<size_t>(row) * d.valueSkip;
  if (d.dty == SQLT_VNU) {
    dst[0] = static_cast<char>(bytes.size());
    std::memcpy(dst + 1, bytes.data(), bytes.size());
    setOutputs(d, row, 0, bytes.size() + 1, 0);
  } else {
    std::memcpy(dst, bytes.data(), bytes.size());
    setOutputs(d, row, 0, bytes.size(), 0);
  }
  return 0;
}

// The date of a DATE value; one whose stored text is not a date makes the engine raise its error.
standin::DateTime dateOf(standin::Cursor& c, int col, const standin::Value& v) {
  return v.dateValid ? v.date : c.asDate(col);
}

// Writes column `col` of the engine's current row into row `row` of define d. Returns 0, or the
// Oracle error that ends the fetch at this row.
int putValue(Stmt& s, const Define& d, ub4 row, FetchState& st) {
  standin::Cursor& c = *s.cursor;
  const int col = static_cast<int>(d.position) - 1;
  const standin::Value v = c.value(col);
  const standin::ValueKind k = v.kind;
  if (k == standin::ValueKind::Null) {
    setOutputs(d, row, -1, 0, 1405);
    return d.ind ? 0 : 1405;
  }
  switch (d.dty) {
    case SQLT_STR:
    case SQLT_CHR:
    case SQLT_AVC:
    case SQLT_AFC:
    case SQLT_LNG: {
      std::string_view text;
      switch (k) {
        case standin::ValueKind::Text:
          text = v.text;
          break;
        case standin::ValueKind::Integer:
        case standin::ValueKind::Real:
          text = std::string_view(st.scratch, formatNumber(c.numberText(col), s.decimalChar,
                                                           st.scratch, sizeof st.scratch));
          // Oracle writes a number whose text would pass 40 characters in scientific notation;
          // such values are rare enough to take the engine's allocating formatter.
          if (text.size() > 40) {
            st.longNumber = standin::oracleNumberText(c.numberText(col), s.decimalChar);
            text = st.longNumber;
          }
          break;
        case standin::ValueKind::Date:
          text = std::string_view(
              st.scratch, s.dateFormat.format(dateOf(c, col, v), st.scratch, sizeof st.scratch));
          break;
        case standin::ValueKind::Bytes: {
          if (s.columns[col].type != standin::OraType::Raw) return mismatch(st, "CHAR", k);
          static const char hex[] = "0123456789ABCDEF";
          size_t n = 0;
          for (unsigned char byte : v.text) {
            if (n + 2 > sizeof st.scratch) break;
            st.scratch[n++] = hex[byte >> 4];
            st.scratch[n++] = hex[byte & 15];
          }
          text = std::string_view(st.scratch, n);
          break;
        }
        default:
          break;
      }
      return putBytes(d, row, text, st);
    }
    case SQLT_INT:
    case SQLT_UIN:
      return putInteger(d, row, v, st);
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
      return putFloat(d, row, v, st);
    case SQLT_DAT: {
      if (k != standin::ValueKind::Date) return mismatch(st, "DATE", k);
      unsigned char bytes[7];
      encodeDate(dateOf(c, col, v), bytes);
      std::memcpy(d.value + static_cast<size_t>(row) * d.valueSkip, bytes, 7);
      setOutputs(d, row, 0, 7, 0);
      return 0;
    }
    case SQLT_NUM:
    case SQLT_VNU:
      return putNumber(d, row, c, col, v, st);
    case SQLT_BIN:
    case SQLT_LBI:
      if (k != standin::ValueKind::Bytes) return mismatch(st, "BINARY", k);
      return putBytes(d, row, v.text, st);
    default:
      return 1460;
  }
}

void loadNls(Stmt& s) {
  standin::Session& session = *s.connection->session;
  std::string numeric = session.nls("NLS_NUMERIC_CHARACTERS");
  s.decimalChar = numeric.empty() ? '.' : numeric[0];
  std::string dateFormat = session.nls("NLS_DATE_FORMAT");
  if (dateFormat.empty()) dateFormat = "DD-MON-RR";
  if (dateFormat != s.dateFormatText) {
    s.dateFormat.compile(dateFormat);
    s.dateFormatText = dateFormat;
  }
}

// Fetches up to nrows rows of an executed query into the defines.
sword fetchRows(Stmt& s, Error& err, ub4 nrows, bool requireDefines) {
  Server* srv = as<Server>(s.connection->server, OCI_HTYPE_SERVER);
  if (!s.fetchState) s.fetchState = std::make_unique<FetchState>();
  FetchState& st = *s.fetchState;
  st.expected = st.got = "";
  st.truncated = false;
  std::vector<Define*>& active = st.defines;
  active.clear();
  for (auto& d : s.defines) {
    if (!d) continue;
    if (d->position > s.columns.size()) fail(1007);
    active.push_back(d.get());
  }
  if (active.empty() && requireDefines) fail(24374);
  loadNls(s);

  long limit = -1;
  int limitCode = 0;
  for (const Faults* f : {&s.env->faults, srv ? &srv->faults : nullptr}) {
    if (f && f->rowLimit >= 0 && (limit < 0 || f->rowLimit < limit)) {
      limit = f->rowLimit;
      limitCode = f->rowCode;
    }
  }

  ub4 got = 0;
  int error = 0;
  try {
    for (; got < nrows; ++got) {
      if (limit >= 0 && static_cast<long>(s.rowCount) + got >= limit) {
        error = limitCode;
        break;
      }
      if (!s.cursor->step()) {
        s.state = Stmt::State::Exhausted;
        break;
      }
      for (Define* d : active) {
        error = putValue(s, *d, got, st);
        if (error) break;
      }
      if (error) break;  // the failing row is not counted
    }
  } catch (...) {
    s.rowCount += got;
    s.rowsFetched = got;
    throw;
  }
  s.rowCount += got;
  s.rowsFetched = got;
  if (error) {
    if (srv && isFatalConnectionError(error)) srv->broken = true;
    if (error == 932) fail(932, {st.expected, st.got});
    fail(error);
  }
  if (got < nrows) {
    s.state = Stmt::State::Exhausted;
    setDiag(&err.diag, 1403);
    return OCI_NO_DATA;
  }
  if (st.truncated) {
    setDiag(&err.diag, 24345);
    return OCI_SUCCESS_WITH_INFO;
  }
  return OCI_SUCCESS;
}

void fetchDelay(Env* env, Server* srv) {
  unsigned ms = env->faults.fetchDelayMs;
  if (srv && srv->faults.fetchDelayMs > ms) ms = srv->faults.fetchDelayMs;
  for (unsigned waited = 0; waited < ms; waited += 10) {
    if (srv && srv->breakRequested.exchange(false)) fail(1013);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms - waited < 10 ? ms - waited : 10));
  }
  if (srv && srv->breakRequested.exchange(false)) fail(1013);
}

void dropDefines(Stmt& s) {
  for (auto& d : s.defines)
    if (d) unregisterHandle(d.get());
  s.defines.clear();
  for (auto& p : s.params) unregisterHandle(p.get());
  s.params.clear();
}

sword fetch(const char* name, OCIStmt* stmtp, Error* err, ub4 nrows, ub2 orientation, ub4 mode) {
  Stmt* s = as<Stmt>(stmtp, OCI_HTYPE_STMT);
  if (!s) return OCI_INVALID_HANDLE;
  if (s->state == Stmt::State::Fresh) fail(24337);
  if (s->state == Stmt::State::Prepared || s->state == Stmt::State::Described) fail(24338);
  if (s->state == Stmt::State::Exhausted || !s->isQuery) fail(1002);
  Server* srv = as<Server>(s->connection->server, OCI_HTYPE_SERVER);
  requireConnected(srv);
  if (s->connection->ended) fail(1012);
  if (!s->cursor) fail(1002);
  if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT) fail(24391);
  if (mode != OCI_DEFAULT) fail(24300);
  int warning = injectFault(s->env, srv, name);
  if (nrows == 0) {
    // Cancels the cursor: later fetches are out of sequence.
    s->cursor.reset();
    s->state = Stmt::State::Exhausted;
    s->rowsFetched = 0;
    return warn(&err->diag, warning, OCI_SUCCESS);
  }
  fetchDelay(s->env, srv);
  return warn(&err->diag, warning, fetchRows(*s, *err, nrows, true));
}

}  // namespace

}  // namespace standin::oci

using namespace standin::oci;

STANDIN_EXPORT sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt,
                                    ub4 stmt_len, ub4 language, ub4 mode) {
  return call(
      errhp,
      [&](Error* err) -> sword {
        Stmt* s = as<Stmt>(stmtp, OCI_HTYPE_STMT);
        if (!s) return OCI_INVALID_HANDLE;
        if (!stmt || stmt_len == 0) fail(24373);
        if (language < OCI_NTV_SYNTAX || language > OCI_V8_SYNTAX || mode != OCI_DEFAULT)
          fail(24300);
        int warning = injectFault(s->env, nullptr, "OCIStmtPrepare");
        std::string text(reinterpret_cast<const char*>(stmt), stmt_len);
        // Callers commonly pass the length with the terminating NUL.
        if (!text.empty() && text.back() == '\0') text.pop_back();
        s->releaseCursor();
        dropDefines(*s);
        s->text = std::move(text);
        s->stmtType = classify(s->text);
        s->state = Stmt::State::Prepared;
        s->isQuery = false;
        s->columns.clear();
        s->rowCount = s->rowsFetched = 0;
        s->sqlFunctionCode = 0;
        s->parseErrorOffset = 0;
        return warn(&err->diag, warning, OCI_SUCCESS);
      },
      [&](sword status, int code) {
        std::string_view shown(reinterpret_cast<const char*>(stmt), stmt ? stmt_len : 0);
        while (!shown.empty() && shown.back() == '\0') shown.remove_suffix(1);
        trace::Line("OCIStmtPrepare")
            .handle(stmtp)
            .handle(errhp)
            .text(stmt ? shown.data() : nullptr, static_cast<long long>(shown.size()))
            .number(stmt_len)
            .constant(language, trace::Flags::Language)
            .constant(mode, trace::Flags::Default)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                    ub4 rowoff, const OCISnapshot* snap_in, OCISnapshot* snap_out,
                                    ub4 mode) {
  return call(
      errhp,
      [&](Error* err) -> sword {
        SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
        Stmt* s = as<Stmt>(stmtp, OCI_HTYPE_STMT);
        if (!svc || !s) return OCI_INVALID_HANDLE;
        if (s->state == Stmt::State::Fresh) fail(24337);
        Server* srv = serverOf(svc);
        requireConnected(srv);
        Session* usr = sessionOf(svc);
        if (!usr || !usr->connection || usr->connection->ended) fail(1012);
        constexpr ub4 kModes = OCI_DESCRIBE_ONLY | OCI_COMMIT_ON_SUCCESS | OCI_PARSE_ONLY;
        if ((mode & ~kModes) || snap_in || snap_out) fail(24300);
        srv->breakRequested = false;
        int warning = injectFault(svc->env, srv, "OCIStmtExecute");

        s->releaseCursor();
        s->state = Stmt::State::Prepared;
        s->rowCount = s->rowsFetched = 0;
        s->parseErrorOffset = 0;
        s->sqlFunctionCode = 0;
        s->columns.clear();
        std::shared_ptr<Connection> conn = usr->connection;
        try {
          s->cursor = conn->session->prepare(s->text);
          s->connection = conn;
          conn->stmts.insert(s);
          s->isQuery = s->cursor->type() == standin::StmtType::Select;
          s->columns = s->cursor->columns();
          if (mode & (OCI_DESCRIBE_ONLY | OCI_PARSE_ONLY)) {
            s->state = Stmt::State::Described;
            return warn(&err->diag, warning, OCI_SUCCESS);
          }
          sword status = OCI_SUCCESS;
          if (s->isQuery) {
            s->cursor->execute();
            s->state = Stmt::State::Executed;
            s->sqlFunctionCode = s->cursor->sqlFunctionCode();
            // A query executed with iterations fetches that many rows into the defines at once.
            if (iters > 0) status = fetchRows(*s, *err, iters, false);
          } else {
            if (iters == 0 || rowoff >= iters) fail(24333);
            uint64_t rows = 0;
            for (ub4 i = rowoff; i < iters; ++i) rows += s->cursor->execute();
            s->rowCount = static_cast<ub4>(rows);
            s->sqlFunctionCode = s->cursor->sqlFunctionCode();
            s->state = Stmt::State::Executed;
          }
          if ((mode & OCI_COMMIT_ON_SUCCESS) &&
              (status == OCI_SUCCESS || status == OCI_NO_DATA || status == OCI_SUCCESS_WITH_INFO))
            conn->session->commit();
          return warn(&err->diag, warning, status);
        } catch (const standin::OraError& e) {
          s->parseErrorOffset = static_cast<ub2>(e.parseOffset);
          if (s->state != Stmt::State::Executed) s->releaseCursor();
          throw;
        }
      },
      [&](sword status, int code) {
        trace::Line("OCIStmtExecute")
            .handle(svchp)
            .handle(stmtp)
            .handle(errhp)
            .number(iters)
            .number(rowoff)
            .pointer(snap_in)
            .pointer(snap_out)
            .constant(mode, trace::Flags::ExecMode)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp,
                                 ub4 pos) {
  return call(
      errhp,
      [&](Error*) -> sword {
        if (htype != OCI_HTYPE_STMT || !parmdpp) return OCI_INVALID_HANDLE;
        Stmt* s = as<Stmt>(hndlp, OCI_HTYPE_STMT);
        if (!s) return OCI_INVALID_HANDLE;
        if (s->state == Stmt::State::Fresh) fail(24337);
        if (s->state == Stmt::State::Prepared) fail(24338);
        if (pos < 1 || pos > s->columns.size()) fail(24334);
        auto p = std::make_unique<Param>(s->env, s, s->columns[pos - 1], pos);
        registerHandle(p.get());
        *parmdpp = p.get();
        s->params.push_back(std::move(p));
        return OCI_SUCCESS;
      },
      [&](sword status, int code) {
        trace::Line("OCIParamGet")
            .handle(hndlp)
            .constant(htype, trace::Flags::HandleType)
            .handle(errhp)
            .outHandle(parmdpp, status == OCI_SUCCESS)
            .number(pos)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCIDescriptorFree(void* descp, const ub4 type) {
  return freeCall("OCIDescriptorFree", descp, type, [&] {
    if (type == OCI_DTYPE_PARAM) {
      if (Param* p = as<Param>(descp, OCI_DTYPE_PARAM)) {
        auto& list = p->stmt->params;
        for (auto it = list.begin(); it != list.end(); ++it) {
          if (it->get() == p) {
            unregisterHandle(p);
            list.erase(it);
            return OCI_SUCCESS;
          }
        }
      }
    }
    return OCI_INVALID_HANDLE;
  });
}

STANDIN_EXPORT sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp,
                                    ub4 position, void* valuep, sb4 value_sz, ub2 dty, void* indp,
                                    ub2* rlenp, ub2* rcodep, ub4 mode) {
  return call(
      errhp,
      [&](Error*) -> sword {
        Stmt* s = as<Stmt>(stmtp, OCI_HTYPE_STMT);
        if (!s || !defnp) return OCI_INVALID_HANDLE;
        if (s->state == Stmt::State::Fresh) fail(24337);
        bool described = s->state != Stmt::State::Prepared;
        if (position < 1 || (described && position > s->columns.size())) fail(1007);
        // Dynamic (callback) defines and the LOB, datetime and object types are not offered.
        if (mode != OCI_DEFAULT) fail(24300);
        if (!acceptedDefine(dty, value_sz) || (!valuep && value_sz > 0)) fail(1460);
        if (s->defines.size() < position) s->defines.resize(position);
        std::unique_ptr<Define>& slot = s->defines[position - 1];
        if (!slot) {
          slot = std::make_unique<Define>(s->env, s);
          registerHandle(slot.get());
        }
        Define& d = *slot;
        d.position = position;
        d.value = static_cast<char*>(valuep);
        d.valueSize = value_sz;
        d.dty = dty;
        d.ind = static_cast<char*>(indp);
        d.rlen = reinterpret_cast<char*>(rlenp);
        d.rcode = reinterpret_cast<char*>(rcodep);
        d.valueSkip = static_cast<ub4>(value_sz);
        d.indSkip = sizeof(sb2);
        d.rlenSkip = d.rcodeSkip = sizeof(ub2);
        *defnp = reinterpret_cast<OCIDefine*>(&d);
        return OCI_SUCCESS;
      },
      [&](sword status, int code) {
        trace::Line("OCIDefineByPos")
            .handle(stmtp)
            .outHandle(reinterpret_cast<void* const*>(defnp), status == OCI_SUCCESS)
            .handle(errhp)
            .number(position)
            .pointer(valuep)
            .number(value_sz)
            .constant(dty, trace::Flags::Dty)
            .pointer(indp)
            .pointer(rlenp)
            .pointer(rcodep)
            .constant(mode, trace::Flags::Default)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCIDefineArrayOfStruct(OCIDefine* defnp, OCIError* errhp, ub4 pvskip,
                                            ub4 indskip, ub4 rlskip, ub4 rcskip) {
  return call(
      errhp,
      [&](Error*) -> sword {
        Define* d = as<Define>(defnp, OCI_HTYPE_DEFINE);
        if (!d) return OCI_INVALID_HANDLE;
        d->valueSkip = pvskip;
        d->indSkip = indskip;
        d->rlenSkip = rlskip;
        d->rcodeSkip = rcskip;
        return OCI_SUCCESS;
      },
      [&](sword status, int code) {
        trace::Line("OCIDefineArrayOfStruct")
            .handle(defnp)
            .handle(errhp)
            .number(pvskip)
            .number(indskip)
            .number(rlskip)
            .number(rcskip)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                                  ub4 mode) {
  return call(
      errhp,
      [&](Error* err) { return fetch("OCIStmtFetch", stmtp, err, nrows, orientation, mode); },
      [&](sword status, int code) {
        trace::Line("OCIStmtFetch")
            .handle(stmtp)
            .handle(errhp)
            .number(nrows)
            .constant(orientation, trace::Flags::FetchOrientation)
            .constant(mode, trace::Flags::Default)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                                   sb4 scrollOffset, ub4 mode) {
  return call(
      errhp,
      [&](Error* err) { return fetch("OCIStmtFetch2", stmtp, err, nrows, orientation, mode); },
      [&](sword status, int code) {
        trace::Line("OCIStmtFetch2")
            .handle(stmtp)
            .handle(errhp)
            .number(nrows)
            .constant(orientation, trace::Flags::FetchOrientation)
            .number(scrollOffset)
            .constant(mode, trace::Flags::Default)
            .end(status, code);
      });
}
