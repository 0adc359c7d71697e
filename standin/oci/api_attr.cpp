// OCIAttrGet and OCIAttrSet: attributes are dispatched on (handle type, attribute number), since
// describe attributes reuse the numbers of handle attributes.
#include <cstring>

#include "standin/oci/api.h"

namespace standin::oci {

namespace {

constexpr ub2 kCharsetAl32Utf8 = 873;
constexpr ub2 kCharsetUtf8 = 871;

// Writes an attribute value for OCIAttrGet and remembers how the trace shows it.
struct Out {
  void* attributep;
  ub4* sizep;
  std::string shown;

  template <class T>
  void scalar(T v) {
    std::memcpy(attributep, &v, sizeof v);
    if (sizep) *sizep = sizeof v;
    if (trace::enabled()) shown = '&' + std::to_string(static_cast<long long>(v));
  }
  void text(const std::string& t) {
    const OraText* p = reinterpret_cast<const OraText*>(t.data());
    std::memcpy(attributep, &p, sizeof p);
    if (sizep) *sizep = static_cast<ub4>(t.size());
    if (trace::enabled()) shown = '&' + trace::quoted(t);
  }
  void handle(const void* h) {
    std::memcpy(attributep, &h, sizeof h);
    if (sizep) *sizep = 0;
    if (trace::enabled()) shown = '&' + trace::handleName(h);
  }
};

bool isCharType(standin::OraType t) {
  return t == standin::OraType::Varchar2 || t == standin::OraType::Char ||
         t == standin::OraType::Clob || t == standin::OraType::Long;
}

// The type code a select-list describe reports: SQLT codes for the datetime types.
ub2 describedType(standin::OraType t) {
  if (t == standin::OraType::Timestamp) return SQLT_TIMESTAMP;
  return static_cast<ub2>(t);
}

const std::string kEmpty;

void getParam(Param& p, ub4 attr, Out& out) {
  const standin::ColumnDesc& c = p.column;
  bool chars = isCharType(c.type);
  switch (attr) {
    case OCI_ATTR_DATA_SIZE:
      return out.scalar<ub2>(c.dataSize);
    case OCI_ATTR_DATA_TYPE:
      return out.scalar<ub2>(describedType(c.type));
    case OCI_ATTR_DISP_SIZE: {
      ub2 size = c.dataSize;
      if (c.type == standin::OraType::Number) size = 40;
      if (c.type == standin::OraType::Date) size = 9;
      return out.scalar<ub2>(size);
    }
    case OCI_ATTR_NAME:
      return out.text(c.name);
    case OCI_ATTR_PRECISION:
      return out.scalar<sb2>(c.precision);
    case OCI_ATTR_SCALE:
      return out.scalar<sb1>(c.scale);
    case OCI_ATTR_IS_NULL:
      return out.scalar<ub1>(c.nullable ? 1 : 0);
    case OCI_ATTR_TYPE_NAME:
    case OCI_ATTR_SCHEMA_NAME:
    case OCI_ATTR_SUB_NAME:
      return out.text(kEmpty);
    case OCI_ATTR_POSITION:
      return out.scalar<ub2>(static_cast<ub2>(p.position));
    case OCI_ATTR_FSPRECISION:
      return out.scalar<ub1>(c.type == standin::OraType::Timestamp ? c.scale : 0);
    case OCI_ATTR_CHARSET_ID:
      return out.scalar<ub2>(chars ? kCharsetAl32Utf8 : 0);
    case OCI_ATTR_CHARSET_FORM:
      return out.scalar<ub1>(!chars ? 0 : c.national ? SQLCS_NCHAR : SQLCS_IMPLICIT);
    case OCI_ATTR_CHAR_USED:
      return out.scalar<ub1>(chars && c.charUsed ? 1 : 0);
    case OCI_ATTR_CHAR_SIZE:
      // VARCHAR2 and CHAR items know their length in characters; CLOB and LONG have none.
      return out.scalar<ub2>(chars ? c.charSize : 0);
    default:
      fail(24315);
  }
}

size_t heapBytes(Env* env) {
  size_t bytes = sizeof(Env);
  for (Handle* h : handlesOf(env)) bytes += h->type == OCI_HTYPE_STMT ? sizeof(Stmt) : 256;
  return bytes;
}

void get(Handle* h, ub4 attr, Out& out) {
  if (attr == OCI_ATTR_ENV && h->type != OCI_DTYPE_PARAM && h->type != OCI_HTYPE_ENV)
    return out.handle(h->env);
  switch (h->type) {
    case OCI_HTYPE_ENV: {
      Env* env = static_cast<Env*>(h);
      if (attr == OCI_ATTR_HEAPALLOC) return out.scalar<ub4>(static_cast<ub4>(heapBytes(env)));
      if (attr == OCI_ATTR_SHARED_HEAPALLOC) return out.scalar<ub4>(0);
      if (attr == OCI_ATTR_CHARSET_ID) return out.scalar<ub2>(kCharsetAl32Utf8);
      break;
    }
    case OCI_HTYPE_SVCCTX: {
      SvcCtx* svc = static_cast<SvcCtx*>(h);
      if (attr == OCI_ATTR_SERVER) return out.handle(svc->server);
      if (attr == OCI_ATTR_SESSION) return out.handle(svc->session);
      if (attr == OCI_ATTR_TRANS) return out.handle(svc->trans);
      break;
    }
    case OCI_HTYPE_SERVER: {
      Server* srv = static_cast<Server*>(h);
      if (attr == OCI_ATTR_INTERNAL_NAME) return out.text(srv->internalName);
      if (attr == OCI_ATTR_EXTERNAL_NAME) return out.text(srv->externalName);
      if (attr == OCI_ATTR_SERVER_STATUS)
        return out.scalar<ub4>(srv->attached() && !srv->broken ? OCI_SERVER_NORMAL
                                                               : OCI_SERVER_NOT_CONNECTED);
      if (attr == OCI_ATTR_CHARSET_ID) return out.scalar<ub2>(kCharsetAl32Utf8);
      if (attr == OCI_ATTR_FOCBK) {
        std::memcpy(out.attributep, &srv->failover, sizeof srv->failover);
        if (out.sizep) *out.sizep = 0;
        out.shown = '&';
        return;
      }
      break;
    }
    case OCI_HTYPE_SESSION: {
      Session* s = static_cast<Session*>(h);
      if (attr == OCI_ATTR_USERNAME) return out.text(s->username);
      break;
    }
    case OCI_HTYPE_STMT: {
      Stmt* s = static_cast<Stmt*>(h);
      switch (attr) {
        case OCI_ATTR_ROW_COUNT:
          return out.scalar<ub4>(s->rowCount);
        case OCI_ATTR_ROWS_FETCHED:
          return out.scalar<ub4>(s->rowsFetched);
        case OCI_ATTR_SQLFNCODE:
          return out.scalar<ub2>(s->sqlFunctionCode);
        case OCI_ATTR_PREFETCH_ROWS:
          return out.scalar<ub4>(s->prefetchRows);
        case OCI_ATTR_PREFETCH_MEMORY:
          return out.scalar<ub4>(s->prefetchMemory);
        case OCI_ATTR_PARAM_COUNT: {
          bool described = s->state != Stmt::State::Fresh && s->state != Stmt::State::Prepared;
          return out.scalar<ub4>(described ? static_cast<ub4>(s->columns.size()) : 0);
        }
        case OCI_ATTR_STMT_TYPE:
          if (s->state == Stmt::State::Fresh) fail(24337);
          return out.scalar<ub2>(s->stmtType);
        case OCI_ATTR_PARSE_ERROR_OFFSET:
          return out.scalar<ub2>(s->parseErrorOffset);
        case OCI_ATTR_STATEMENT:
          return out.text(s->text);
        default:
          break;
      }
      break;
    }
    case OCI_HTYPE_DEFINE: {
      Define* d = static_cast<Define*>(h);
      if (attr == OCI_ATTR_CHARSET_ID) return out.scalar<ub2>(d->charsetId);
      if (attr == OCI_ATTR_CHARSET_FORM) return out.scalar<ub1>(d->charsetForm);
      break;
    }
    case OCI_DTYPE_PARAM:
      return getParam(*static_cast<Param*>(h), attr, out);
    default:
      break;
  }
  fail(24315);
}

template <class T>
T readScalar(const void* p) {
  T v{};
  std::memcpy(&v, p, sizeof v);
  return v;
}

std::string readText(const void* p, ub4 size) {
  if (!p || size == 0) return {};
  return std::string(static_cast<const char*>(p), size);
}

// Applies an OCIAttrSet; `shown` receives the value as the trace shows it.
sword set(Handle* h, const void* attributep, ub4 size, ub4 attr, std::string& shown) {
  auto scalarShown = [&](long long v) {
    if (trace::enabled()) shown = '&' + std::to_string(v);
  };
  auto textShown = [&](const std::string& t, bool secret) {
    if (trace::enabled()) shown = secret ? "\"***\"" : trace::quoted(t);
  };
  auto handleShown = [&](const void* p) {
    if (trace::enabled()) shown = trace::handleName(p);
  };
  if (!attributep && attr != OCI_ATTR_INTERNAL_NAME && attr != OCI_ATTR_EXTERNAL_NAME)
    return OCI_INVALID_HANDLE;
  switch (h->type) {
    case OCI_HTYPE_SVCCTX: {
      SvcCtx* svc = static_cast<SvcCtx*>(h);
      handleShown(attributep);
      if (attr == OCI_ATTR_SERVER) {
        Server* srv = as<Server>(attributep, OCI_HTYPE_SERVER);
        if (!srv) return OCI_INVALID_HANDLE;
        svc->server = srv;
        return OCI_SUCCESS;
      }
      if (attr == OCI_ATTR_SESSION) {
        Session* s = as<Session>(attributep, OCI_HTYPE_SESSION);
        if (!s) return OCI_INVALID_HANDLE;
        svc->session = s;
        return OCI_SUCCESS;
      }
      if (attr == OCI_ATTR_TRANS) {
        Trans* t = as<Trans>(attributep, OCI_HTYPE_TRANS);
        if (!t) return OCI_INVALID_HANDLE;
        svc->trans = t;
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_SERVER: {
      Server* srv = static_cast<Server*>(h);
      if (attr == OCI_ATTR_INTERNAL_NAME || attr == OCI_ATTR_EXTERNAL_NAME) {
        std::string t = readText(attributep, size);
        textShown(t, false);
        (attr == OCI_ATTR_INTERNAL_NAME ? srv->internalName : srv->externalName) = t;
        return OCI_SUCCESS;
      }
      if (attr == OCI_ATTR_FOCBK) {
        // Kept and reported back; the stand-in never fails over, so it is never called.
        std::memcpy(&srv->failover, attributep, sizeof srv->failover);
        shown = '&';
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_SESSION: {
      Session* s = static_cast<Session*>(h);
      std::string t = readText(attributep, size);
      if (attr == OCI_ATTR_USERNAME) {
        textShown(t, false);
        s->username = t;
        return OCI_SUCCESS;
      }
      if (attr == OCI_ATTR_PASSWORD) {
        textShown(t, true);
        s->password = t;
        return OCI_SUCCESS;
      }
      if (attr == OCI_ATTR_MODULE || attr == OCI_ATTR_ACTION || attr == OCI_ATTR_CLIENT_INFO ||
          attr == OCI_ATTR_CLIENT_IDENTIFIER) {
        textShown(t, false);
        s->infoTexts[attr] = t;
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_STMT: {
      Stmt* s = static_cast<Stmt*>(h);
      // Prefetching only changes when round trips happen; the stand-in has none, so the values are
      // kept and reported back.
      if (attr == OCI_ATTR_PREFETCH_ROWS) {
        s->prefetchRows = readScalar<ub4>(attributep);
        scalarShown(s->prefetchRows);
        return OCI_SUCCESS;
      }
      if (attr == OCI_ATTR_PREFETCH_MEMORY) {
        s->prefetchMemory = readScalar<ub4>(attributep);
        scalarShown(s->prefetchMemory);
        return OCI_SUCCESS;
      }
      break;
    }
    case OCI_HTYPE_DEFINE: {
      Define* d = static_cast<Define*>(h);
      if (attr == OCI_ATTR_CHARSET_ID) {
        ub2 id = readScalar<ub2>(attributep);
        scalarShown(id);
        // Client text is UTF-8; other client character sets are not converted to.
        if (id != 0 && id != kCharsetAl32Utf8 && id != kCharsetUtf8) fail(1460);
        d->charsetId = id;
        return OCI_SUCCESS;
      }
      if (attr == OCI_ATTR_CHARSET_FORM) {
        ub1 form = readScalar<ub1>(attributep);
        scalarShown(form);
        if (form != SQLCS_IMPLICIT && form != SQLCS_NCHAR) fail(1460);
        d->charsetForm = form;
        return OCI_SUCCESS;
      }
      break;
    }
    default:
      break;
  }
  fail(24315);
}

}  // namespace

}  // namespace standin::oci

using namespace standin::oci;

STANDIN_EXPORT sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                                ub4 attrtype, OCIError* errhp) {
  Out out{attributep, sizep, {}};
  return call(
      errhp,
      [&](Error*) -> sword {
        Handle* h = findHandle(trgthndlp, trghndltyp);
        if (!h || !attributep) return OCI_INVALID_HANDLE;
        get(h, attrtype, out);
        return OCI_SUCCESS;
      },
      [&](sword status, int code) {
        trace::Line l("OCIAttrGet");
        l.handle(trgthndlp).constant(trghndltyp, trace::Flags::HandleType);
        if (status == OCI_SUCCESS && !out.shown.empty())
          l.handleName(out.shown);
        else
          l.pointer(attributep);
        if (status == OCI_SUCCESS && sizep)
          l.outNumber(sizep, *sizep);
        else
          l.pointer(sizep);
        l.attribute(attrtype, trghndltyp).handle(errhp).end(status, code);
      });
}

STANDIN_EXPORT sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size,
                                ub4 attrtype, OCIError* errhp) {
  std::string shown;
  return call(
      errhp,
      [&](Error*) -> sword {
        Handle* h = findHandle(trgthndlp, trghndltyp);
        if (!h) return OCI_INVALID_HANDLE;
        return set(h, attributep, size, attrtype, shown);
      },
      [&](sword status, int code) {
        trace::Line l("OCIAttrSet");
        l.handle(trgthndlp).constant(trghndltyp, trace::Flags::HandleType);
        if (!shown.empty())
          l.handleName(shown);
        else
          l.pointer(attributep);
        l.number(size).attribute(attrtype, trghndltyp).handle(errhp).end(status, code);
      });
}
