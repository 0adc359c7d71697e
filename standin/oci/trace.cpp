#include "standin/oci/trace.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "standin/oci/handles.h"

namespace standin::oci::trace {

namespace {

std::atomic<bool> g_enabled{false};

// A program may free its handles from its own exit-time destructors after this library's statics
// are gone: the trace switches itself off when its file is closed, so those calls write nothing
// instead of writing to a closed file.
struct TraceFile {
  std::mutex lock;
  std::FILE* file = nullptr;
  std::string path;
  ~TraceFile() {
    g_enabled = false;
    if (file) std::fclose(file);
    file = nullptr;
  }
};

TraceFile& traceFile() {
  static TraceFile f;
  return f;
}

struct Named {
  long long value;
  const char* name;
};

constexpr Named kEnvModes[] = {
    {OCI_THREADED, "OCI_THREADED"}, {OCI_OBJECT, "OCI_OBJECT"},
    {OCI_EVENTS, "OCI_EVENTS"},     {OCI_SHARED, "OCI_SHARED"},
    {OCI_NO_UCB, "OCI_NO_UCB"},     {OCI_NO_MUTEX, "OCI_NO_MUTEX"},
    {OCI_UTF16, "OCI_UTF16"},       {OCI_NEW_LENGTH_SEMANTICS, "OCI_NEW_LENGTH_SEMANTICS"},
};
constexpr Named kEnvInitModes[] = {{OCI_ENV_NO_UCB, "OCI_ENV_NO_UCB"},
                                   {OCI_ENV_NO_MUTEX, "OCI_ENV_NO_MUTEX"}};
constexpr Named kExecModes[] = {
    {OCI_BATCH_MODE, "OCI_BATCH_MODE"},
    {OCI_EXACT_FETCH, "OCI_EXACT_FETCH"},
    {OCI_STMT_SCROLLABLE_READONLY, "OCI_STMT_SCROLLABLE_READONLY"},
    {OCI_DESCRIBE_ONLY, "OCI_DESCRIBE_ONLY"},
    {OCI_COMMIT_ON_SUCCESS, "OCI_COMMIT_ON_SUCCESS"},
    {OCI_NON_BLOCKING, "OCI_NON_BLOCKING"},
    {OCI_BATCH_ERRORS, "OCI_BATCH_ERRORS"},
    {OCI_PARSE_ONLY, "OCI_PARSE_ONLY"},
};
constexpr Named kOrientations[] = {
    {OCI_FETCH_CURRENT, "OCI_FETCH_CURRENT"},   {OCI_FETCH_NEXT, "OCI_FETCH_NEXT"},
    {OCI_FETCH_FIRST, "OCI_FETCH_FIRST"},       {OCI_FETCH_LAST, "OCI_FETCH_LAST"},
    {OCI_FETCH_PRIOR, "OCI_FETCH_PRIOR"},       {OCI_FETCH_ABSOLUTE, "OCI_FETCH_ABSOLUTE"},
    {OCI_FETCH_RELATIVE, "OCI_FETCH_RELATIVE"},
};
constexpr Named kCredentials[] = {{OCI_CRED_RDBMS, "OCI_CRED_RDBMS"},
                                  {OCI_CRED_EXT, "OCI_CRED_EXT"},
                                  {OCI_CRED_PROXY, "OCI_CRED_PROXY"}};
constexpr Named kSessionModes[] = {{OCI_MIGRATE, "OCI_MIGRATE"},
                                   {OCI_SYSDBA, "OCI_SYSDBA"},
                                   {OCI_SYSOPER, "OCI_SYSOPER"},
                                   {OCI_PRELIM_AUTH, "OCI_PRELIM_AUTH"},
                                   {OCI_STMT_CACHE, "OCI_STMT_CACHE"}};
constexpr Named kLanguages[] = {{OCI_NTV_SYNTAX, "OCI_NTV_SYNTAX"},
                                {OCI_V7_SYNTAX, "OCI_V7_SYNTAX"},
                                {OCI_V8_SYNTAX, "OCI_V8_SYNTAX"}};
constexpr Named kHandleTypes[] = {
    {OCI_HTYPE_ENV, "OCI_HTYPE_ENV"},           {OCI_HTYPE_ERROR, "OCI_HTYPE_ERROR"},
    {OCI_HTYPE_SVCCTX, "OCI_HTYPE_SVCCTX"},     {OCI_HTYPE_STMT, "OCI_HTYPE_STMT"},
    {OCI_HTYPE_BIND, "OCI_HTYPE_BIND"},         {OCI_HTYPE_DEFINE, "OCI_HTYPE_DEFINE"},
    {OCI_HTYPE_DESCRIBE, "OCI_HTYPE_DESCRIBE"}, {OCI_HTYPE_SERVER, "OCI_HTYPE_SERVER"},
    {OCI_HTYPE_SESSION, "OCI_HTYPE_SESSION"},   {OCI_HTYPE_TRANS, "OCI_HTYPE_TRANS"},
    {OCI_DTYPE_LOB, "OCI_DTYPE_LOB"},           {OCI_DTYPE_PARAM, "OCI_DTYPE_PARAM"},
    {OCI_DTYPE_ROWID, "OCI_DTYPE_ROWID"},
};
constexpr Named kDtys[] = {
    {SQLT_CHR, "SQLT_CHR"},         {SQLT_NUM, "SQLT_NUM"},
    {SQLT_INT, "SQLT_INT"},         {SQLT_FLT, "SQLT_FLT"},
    {SQLT_STR, "SQLT_STR"},         {SQLT_VNU, "SQLT_VNU"},
    {SQLT_LNG, "SQLT_LNG"},         {SQLT_VCS, "SQLT_VCS"},
    {SQLT_DAT, "SQLT_DAT"},         {SQLT_BFLOAT, "SQLT_BFLOAT"},
    {SQLT_BDOUBLE, "SQLT_BDOUBLE"}, {SQLT_BIN, "SQLT_BIN"},
    {SQLT_LBI, "SQLT_LBI"},         {SQLT_UIN, "SQLT_UIN"},
    {SQLT_AFC, "SQLT_AFC"},         {SQLT_AVC, "SQLT_AVC"},
    {SQLT_RDD, "SQLT_RDD"},         {SQLT_CLOB, "SQLT_CLOB"},
    {SQLT_BLOB, "SQLT_BLOB"},       {SQLT_TIMESTAMP, "SQLT_TIMESTAMP"},
};
constexpr Named kStatuses[] = {
    {OCI_SUCCESS, "OCI_SUCCESS"},
    {OCI_SUCCESS_WITH_INFO, "OCI_SUCCESS_WITH_INFO"},
    {OCI_NO_DATA, "OCI_NO_DATA"},
    {OCI_ERROR, "OCI_ERROR"},
    {OCI_INVALID_HANDLE, "OCI_INVALID_HANDLE"},
    {OCI_NEED_DATA, "OCI_NEED_DATA"},
    {OCI_STILL_EXECUTING, "OCI_STILL_EXECUTING"},
};

constexpr Named kHandleAttrs[] = {
    {OCI_ATTR_ENV, "OCI_ATTR_ENV"},
    {OCI_ATTR_SERVER, "OCI_ATTR_SERVER"},
    {OCI_ATTR_SESSION, "OCI_ATTR_SESSION"},
    {OCI_ATTR_TRANS, "OCI_ATTR_TRANS"},
    {OCI_ATTR_ROW_COUNT, "OCI_ATTR_ROW_COUNT"},
    {OCI_ATTR_SQLFNCODE, "OCI_ATTR_SQLFNCODE"},
    {OCI_ATTR_PREFETCH_ROWS, "OCI_ATTR_PREFETCH_ROWS"},
    {OCI_ATTR_PREFETCH_MEMORY, "OCI_ATTR_PREFETCH_MEMORY"},
    {OCI_ATTR_PARAM_COUNT, "OCI_ATTR_PARAM_COUNT"},
    {OCI_ATTR_ROWID, "OCI_ATTR_ROWID"},
    {OCI_ATTR_CHARSET, "OCI_ATTR_CHARSET"},
    {OCI_ATTR_USERNAME, "OCI_ATTR_USERNAME"},
    {OCI_ATTR_PASSWORD, "OCI_ATTR_PASSWORD"},
    {OCI_ATTR_STMT_TYPE, "OCI_ATTR_STMT_TYPE"},
    {OCI_ATTR_INTERNAL_NAME, "OCI_ATTR_INTERNAL_NAME"},
    {OCI_ATTR_EXTERNAL_NAME, "OCI_ATTR_EXTERNAL_NAME"},
    {OCI_ATTR_HEAPALLOC, "OCI_ATTR_HEAPALLOC"},
    {OCI_ATTR_CHARSET_ID, "OCI_ATTR_CHARSET_ID"},
    {OCI_ATTR_CHARSET_FORM, "OCI_ATTR_CHARSET_FORM"},
    {OCI_ATTR_MAXDATA_SIZE, "OCI_ATTR_MAXDATA_SIZE"},
    {OCI_ATTR_FOCBK, "OCI_ATTR_FOCBK"},
    {OCI_ATTR_SHARED_HEAPALLOC, "OCI_ATTR_SHARED_HEAPALLOC"},
    {OCI_ATTR_PARSE_ERROR_OFFSET, "OCI_ATTR_PARSE_ERROR_OFFSET"},
    {OCI_ATTR_SERVER_STATUS, "OCI_ATTR_SERVER_STATUS"},
    {OCI_ATTR_STATEMENT, "OCI_ATTR_STATEMENT"},
    {OCI_ATTR_ROWS_FETCHED, "OCI_ATTR_ROWS_FETCHED"},
    {OCI_ATTR_CLIENT_IDENTIFIER, "OCI_ATTR_CLIENT_IDENTIFIER"},
    {OCI_ATTR_MODULE, "OCI_ATTR_MODULE"},
    {OCI_ATTR_ACTION, "OCI_ATTR_ACTION"},
    {OCI_ATTR_CLIENT_INFO, "OCI_ATTR_CLIENT_INFO"},
};
constexpr Named kParamAttrs[] = {
    {OCI_ATTR_DATA_SIZE, "OCI_ATTR_DATA_SIZE"},
    {OCI_ATTR_DATA_TYPE, "OCI_ATTR_DATA_TYPE"},
    {OCI_ATTR_DISP_SIZE, "OCI_ATTR_DISP_SIZE"},
    {OCI_ATTR_NAME, "OCI_ATTR_NAME"},
    {OCI_ATTR_PRECISION, "OCI_ATTR_PRECISION"},
    {OCI_ATTR_SCALE, "OCI_ATTR_SCALE"},
    {OCI_ATTR_IS_NULL, "OCI_ATTR_IS_NULL"},
    {OCI_ATTR_TYPE_NAME, "OCI_ATTR_TYPE_NAME"},
    {OCI_ATTR_SCHEMA_NAME, "OCI_ATTR_SCHEMA_NAME"},
    {OCI_ATTR_SUB_NAME, "OCI_ATTR_SUB_NAME"},
    {OCI_ATTR_POSITION, "OCI_ATTR_POSITION"},
    {OCI_ATTR_FSPRECISION, "OCI_ATTR_FSPRECISION"},
    {OCI_ATTR_CHARSET_ID, "OCI_ATTR_CHARSET_ID"},
    {OCI_ATTR_CHARSET_FORM, "OCI_ATTR_CHARSET_FORM"},
    {OCI_ATTR_CHAR_USED, "OCI_ATTR_CHAR_USED"},
    {OCI_ATTR_CHAR_SIZE, "OCI_ATTR_CHAR_SIZE"},
};

template <size_t N>
const char* nameOf(const Named (&table)[N], long long v) {
  for (const Named& n : table)
    if (n.value == v) return n.name;
  return nullptr;
}

template <size_t N>
std::string flagNames(const Named (&table)[N], long long v) {
  if (v == 0) return "OCI_DEFAULT";
  std::string out;
  long long rest = v;
  for (const Named& n : table) {
    if ((v & n.value) == n.value) {
      if (!out.empty()) out += '|';
      out += n.name;
      rest &= ~n.value;
    }
  }
  if (rest) {
    if (!out.empty()) out += '|';
    out += std::to_string(rest);
  }
  return out;
}

void quote(std::string& s, std::string_view t) {
  s += '"';
  for (unsigned char c : t) {
    switch (c) {
      case '"':
        s += "\\\"";
        break;
      case '\\':
        s += "\\\\";
        break;
      case '\n':
        s += "\\n";
        break;
      case '\r':
        s += "\\r";
        break;
      case '\t':
        s += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          s += buf;
        } else {
          s += static_cast<char>(c);
        }
    }
  }
  s += '"';
}

const char* kindName(ub4 type) {
  switch (type) {
    case OCI_HTYPE_ENV:
      return "env";
    case OCI_HTYPE_ERROR:
      return "err";
    case OCI_HTYPE_SVCCTX:
      return "svcctx";
    case OCI_HTYPE_STMT:
      return "stmt";
    case OCI_HTYPE_BIND:
      return "bind";
    case OCI_HTYPE_DEFINE:
      return "define";
    case OCI_HTYPE_DESCRIBE:
      return "describe";
    case OCI_HTYPE_SERVER:
      return "server";
    case OCI_HTYPE_SESSION:
      return "session";
    case OCI_HTYPE_TRANS:
      return "trans";
    case OCI_DTYPE_PARAM:
      return "param";
    default:
      return "handle";
  }
}

}  // namespace

bool enabled() {
  return g_enabled.load(std::memory_order_relaxed);
}

void configure() {
  TraceFile& f = traceFile();
  std::lock_guard lock(f.lock);
  const char* path = std::getenv("STANDIN_TRACE");
  std::string wanted = path ? path : "";
  if (wanted == f.path && (f.file || wanted.empty())) return;
  if (f.file) std::fclose(f.file);
  f.file = wanted.empty() ? nullptr : std::fopen(wanted.c_str(), "a");
  f.path = f.file ? wanted : std::string();
  g_enabled = f.file != nullptr;
}

std::string quoted(std::string_view t) {
  std::string s;
  quote(s, t);
  return s;
}

std::string handleName(const void* p) {
  if (!p) return "NULL";
  Handle* h = findAnyHandle(p);
  if (!h) return "<invalid>";
  return std::string(kindName(h->type)) + "#" + std::to_string(h->number);
}

Line::Line(const char* function) : s_(function) {
  s_ += '(';
}

void Line::sep() {
  if (!first_) s_ += ", ";
  first_ = false;
}

Line& Line::handle(const void* p) {
  sep();
  s_ += trace::handleName(p);
  return *this;
}

Line& Line::handleName(const std::string& name) {
  sep();
  s_ += name;
  return *this;
}

Line& Line::outHandle(void* const* pp, bool filled) {
  sep();
  if (!pp) {
    s_ += "NULL";
    return *this;
  }
  s_ += '&';
  if (filled && *pp) s_ += trace::handleName(*pp);
  return *this;
}

Line& Line::number(long long v) {
  sep();
  s_ += std::to_string(v);
  return *this;
}

Line& Line::text(const void* p, long long length) {
  sep();
  if (!p) {
    s_ += "NULL";
    return *this;
  }
  quote(s_, std::string_view(static_cast<const char*>(p), length > 0 ? length : 0));
  return *this;
}

Line& Line::masked(const void* p) {
  sep();
  s_ += p ? "\"***\"" : "NULL";
  return *this;
}

Line& Line::pointer(const void* p) {
  sep();
  s_ += p ? "&" : "NULL";
  return *this;
}

Line& Line::outNumber(const void* p, long long v) {
  sep();
  if (!p) {
    s_ += "NULL";
    return *this;
  }
  s_ += '&';
  s_ += std::to_string(v);
  return *this;
}

Line& Line::outText(const void* p, std::string_view v) {
  sep();
  if (!p) {
    s_ += "NULL";
    return *this;
  }
  s_ += '&';
  quote(s_, v);
  return *this;
}

Line& Line::constant(long long v, Flags kind) {
  sep();
  const char* name = nullptr;
  switch (kind) {
    case Flags::EnvMode:
      s_ += flagNames(kEnvModes, v);
      return *this;
    case Flags::EnvInitMode:
      s_ += flagNames(kEnvInitModes, v);
      return *this;
    case Flags::ExecMode:
      s_ += flagNames(kExecModes, v);
      return *this;
    case Flags::SessionMode:
      s_ += flagNames(kSessionModes, v);
      return *this;
    case Flags::Default:
      s_ += v == 0 ? "OCI_DEFAULT" : std::to_string(v);
      return *this;
    case Flags::FetchOrientation:
      name = v == 0 ? "OCI_DEFAULT" : nameOf(kOrientations, v);
      break;
    case Flags::Credentials:
      name = nameOf(kCredentials, v);
      break;
    case Flags::Language:
      name = nameOf(kLanguages, v);
      break;
    case Flags::HandleType:
      name = nameOf(kHandleTypes, v);
      break;
    case Flags::Dty:
      name = nameOf(kDtys, v);
      break;
    case Flags::Status:
      name = nameOf(kStatuses, v);
      break;
  }
  s_ += name ? std::string(name) : std::to_string(v);
  return *this;
}

Line& Line::attribute(ub4 attr, ub4 handleType) {
  sep();
  const char* name = handleType == OCI_DTYPE_PARAM || handleType == OCI_HTYPE_DESCRIBE
                         ? nameOf(kParamAttrs, attr)
                         : nameOf(kHandleAttrs, attr);
  s_ += name ? std::string(name) : std::to_string(attr);
  return *this;
}

void Line::end(sword status, int code) {
  s_ += ") = ";
  const char* name = nameOf(kStatuses, status);
  s_ += name ? std::string(name) : std::to_string(status);
  if (code) {
    char buf[24];
    std::snprintf(buf, sizeof buf, " ORA-%05d", code);
    s_ += buf;
  }
  s_ += '\n';
  TraceFile& f = traceFile();
  std::lock_guard lock(f.lock);
  if (f.file) {
    std::fputs(s_.c_str(), f.file);
    std::fflush(f.file);
  }
}

void Line::endVoid() {
  s_ += ")\n";
  TraceFile& f = traceFile();
  std::lock_guard lock(f.lock);
  if (f.file) {
    std::fputs(s_.c_str(), f.file);
    std::fflush(f.file);
  }
}

}  // namespace standin::oci::trace
