// Entry points for environments, handles, diagnostics, connections, sessions and transactions.
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "standin/oci/api.h"

namespace standin::oci {

namespace {

bool g_initialized = false;  // OCIInitialize was called

void giveUserMemory(Handle* h, size_t size, void** usrmempp) {
  if (size == 0 || !usrmempp) return;
  h->userMemory = std::make_unique<char[]>(size);
  std::memset(h->userMemory.get(), 0, size);
  *usrmempp = h->userMemory.get();
}

// Client text is UTF-8. NLS_LANG may name that character set (".AL32UTF8", ".UTF8") or be unset;
// any other character set would need conversions the stand-in does not make, so it is refused as
// Oracle refuses an unusable NLS_LANG.
bool clientCharsetIsUtf8() {
  const char* lang = std::getenv("NLS_LANG");
  if (!lang || !*lang) return true;
  const char* dot = std::strrchr(lang, '.');
  if (!dot) return true;  // language and territory only: the character set stays the default
  std::string cs;
  for (const char* p = dot + 1; *p; ++p)
    cs += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return cs == "AL32UTF8" || cs == "UTF8";
}

// An environment from OCIEnvCreate or OCIEnvInit. Malformed fault settings make the creation fail
// with a diagnostic record on the environment that is still handed out.
sword makeEnv(OCIEnv** envhpp, ub4 mode, size_t xtramem, void** usrmempp) {
  trace::configure();
  auto env = std::make_unique<Env>(mode);
  std::string problem;
  env->faults = Faults::fromEnvironment(problem);
  giveUserMemory(env.get(), xtramem, usrmempp);
  Env* e = env.release();
  registerHandle(e);
  *envhpp = reinterpret_cast<OCIEnv*>(e);
  if (!problem.empty()) {
    setDiag(&e->diag, 600, clientMessage(600, {"standin: " + problem}));
    return OCI_ERROR;
  }
  if (mode & OCI_UTF16) {
    setDiag(&e->diag, 1460);
    return OCI_ERROR;
  }
  if (!clientCharsetIsUtf8()) {
    setDiag(&e->diag, 12705);
    return OCI_ERROR;
  }
  return OCI_SUCCESS;
}

}  // namespace

std::recursive_mutex& apiLock() {
  static std::recursive_mutex m;
  return m;
}

void setDiag(Diag* diag, int code, const std::string& message) {
  if (!diag) return;
  ++diag->serial;
  diag->code = code;
  diag->text = message;
  diag->text += '\n';
}

void setDiag(Diag* diag, int code) {
  setDiag(diag, code, clientMessage(code));
}

int diagCode(const void* handle) {
  Handle* h = findAnyHandle(handle);
  if (!h) return 0;
  if (h->type == OCI_HTYPE_ERROR) return static_cast<Error*>(h)->diag.code;
  if (h->type == OCI_HTYPE_ENV) return static_cast<Env*>(h)->diag.code;
  return 0;
}

void requireConnected(const Server* srv) {
  if (!srv || !srv->attached() || srv->broken) fail(3114);
}

int injectFault(Env* env, Server* srv, const char* function) {
  int fromEnv = env ? env->faults.onCall(function) : 0;
  int fromServer = srv ? srv->faults.onCall(function) : 0;
  int code = fromEnv ? fromEnv : fromServer;
  if (!code || isWarningCode(code)) return code;
  if (srv && isFatalConnectionError(code)) srv->broken = true;
  fail(code);
}

sword warn(Diag* diag, int code, sword status) {
  if (!code || status != OCI_SUCCESS) return status;
  setDiag(diag, code,
          clientMessage(
              code, code == 28002 ? std::vector<std::string>{"7"} : std::vector<std::string>{}));
  return OCI_SUCCESS_WITH_INFO;
}

Server* serverOf(const SvcCtx* svc) {
  return svc ? as<Server>(svc->server, OCI_HTYPE_SERVER) : nullptr;
}

Session* sessionOf(const SvcCtx* svc) {
  return svc ? as<Session>(svc->session, OCI_HTYPE_SESSION) : nullptr;
}

void freeHandle(Handle* h) {
  switch (h->type) {
    case OCI_HTYPE_ENV: {
      Env* env = static_cast<Env*>(h);
      std::vector<Handle*> children = handlesOf(env);
      // Statements first (they hold engine cursors), then sessions, then the rest.
      for (ub4 pass :
           {ub4{OCI_HTYPE_STMT}, ub4{OCI_HTYPE_SESSION}, ub4{OCI_HTYPE_SERVER}, ub4{0}}) {
        for (Handle*& c : children) {
          if (!c || c->type == OCI_HTYPE_DEFINE || c->type == OCI_DTYPE_PARAM) continue;
          if (pass && c->type != pass) continue;
          freeHandle(c);
          c = nullptr;
        }
      }
      break;
    }
    case OCI_HTYPE_SESSION: {
      Session* s = static_cast<Session*>(h);
      if (s->connection) {
        s->connection->end();
        if (Server* srv = as<Server>(s->connection->server, OCI_HTYPE_SERVER))
          srv->connections.erase(s->connection);
      }
      break;
    }
    case OCI_HTYPE_SERVER:
      static_cast<Server*>(h)->detach();
      break;
    default:
      break;
  }
  unregisterHandle(h);
  delete h;
}

}  // namespace standin::oci

using namespace standin::oci;

STANDIN_EXPORT sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, void* ctxp,
                                  void* (*malocfp)(void* ctxp, size_t size),
                                  void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                                  void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz,
                                  void** usrmempp) {
  std::lock_guard lock(apiLock());
  sword status = OCI_INVALID_HANDLE;
  try {
    // The stand-in allocates with its own heap; caller memory functions are refused rather than
    // silently ignored.
    if (!envhpp) {
      status = OCI_INVALID_HANDLE;
    } else if (malocfp || ralocfp || mfreefp) {
      *envhpp = nullptr;
      status = OCI_ERROR;
    } else {
      status = makeEnv(envhpp, mode, xtramem_sz, usrmempp);
    }
  } catch (...) {
    status = OCI_ERROR;
  }
  traceQuietly([&] {
    trace::Line("OCIEnvCreate")
        .outHandle(reinterpret_cast<void* const*>(envhpp), status != OCI_INVALID_HANDLE)
        .constant(mode, trace::Flags::EnvMode)
        .pointer(ctxp)
        .pointer(reinterpret_cast<const void*>(malocfp))
        .pointer(reinterpret_cast<const void*>(ralocfp))
        .pointer(reinterpret_cast<const void*>(mfreefp))
        .number(static_cast<long long>(xtramem_sz))
        .pointer(usrmempp)
        .end(status, envhpp ? diagCode(*envhpp) : 0);
  });
  return status;
}

STANDIN_EXPORT sword OCIInitialize(ub4 mode, void* ctxp, void* (*malocfp)(void*, size_t),
                                   void* (*ralocfp)(void*, void*, size_t),
                                   void (*mfreefp)(void*, void*)) {
  std::lock_guard lock(apiLock());
  sword status = OCI_SUCCESS;
  try {
    trace::configure();
    if (malocfp || ralocfp || mfreefp || (mode & OCI_UTF16))
      status = OCI_ERROR;
    else
      g_initialized = true;
  } catch (...) {
    status = OCI_ERROR;
  }
  traceQuietly([&] {
    trace::Line("OCIInitialize")
        .constant(mode, trace::Flags::EnvMode)
        .pointer(ctxp)
        .pointer(reinterpret_cast<const void*>(malocfp))
        .pointer(reinterpret_cast<const void*>(ralocfp))
        .pointer(reinterpret_cast<const void*>(mfreefp))
        .end(status);
  });
  return status;
}

STANDIN_EXPORT sword OCIEnvInit(OCIEnv** envhpp, ub4 mode, size_t xtramem_sz, void** usrmempp) {
  std::lock_guard lock(apiLock());
  sword status = OCI_ERROR;
  try {
    if (!envhpp)
      status = OCI_INVALID_HANDLE;
    else if (!g_initialized)
      *envhpp = nullptr;  // the process was not initialised with OCIInitialize
    else
      status = makeEnv(envhpp, OCI_DEFAULT, xtramem_sz, usrmempp);
  } catch (...) {
    status = OCI_ERROR;
  }
  traceQuietly([&] {
    trace::Line("OCIEnvInit")
        .outHandle(reinterpret_cast<void* const*>(envhpp), status != OCI_INVALID_HANDLE)
        .constant(mode, trace::Flags::EnvInitMode)
        .number(static_cast<long long>(xtramem_sz))
        .pointer(usrmempp)
        .end(status);
  });
  return status;
}

STANDIN_EXPORT sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type,
                                    const size_t xtramem_sz, void** usrmempp) {
  std::lock_guard lock(apiLock());
  sword status = OCI_INVALID_HANDLE;
  try {
    Env* env = as<Env>(parenth, OCI_HTYPE_ENV);
    if (env && hndlpp) {
      std::unique_ptr<Handle> h;
      switch (type) {
        case OCI_HTYPE_ERROR:
          h = std::make_unique<Error>(env);
          break;
        case OCI_HTYPE_SVCCTX:
          h = std::make_unique<SvcCtx>(env);
          break;
        case OCI_HTYPE_STMT:
          h = std::make_unique<Stmt>(env);
          break;
        case OCI_HTYPE_SERVER:
          h = std::make_unique<Server>(env);
          break;
        case OCI_HTYPE_SESSION:
          h = std::make_unique<Session>(env);
          break;
        case OCI_HTYPE_TRANS:
          h = std::make_unique<Trans>(env);
          break;
        default:
          break;  // handle types the stand-in does not offer
      }
      if (h) {
        giveUserMemory(h.get(), xtramem_sz, usrmempp);
        registerHandle(h.get());
        *hndlpp = h.release();
        status = OCI_SUCCESS;
      }
    }
  } catch (...) {
    status = OCI_INVALID_HANDLE;
  }
  // Written once the result is fixed: a trace that cannot be written never undoes an allocation.
  traceQuietly([&] {
    trace::Line("OCIHandleAlloc")
        .handle(parenth)
        .outHandle(hndlpp, status == OCI_SUCCESS)
        .constant(type, trace::Flags::HandleType)
        .number(static_cast<long long>(xtramem_sz))
        .pointer(usrmempp)
        .end(status);
  });
  return status;
}

STANDIN_EXPORT sword OCIHandleFree(void* hndlp, const ub4 type) {
  return freeCall("OCIHandleFree", hndlp, type, [&] {
    Handle* h = findHandle(hndlp, type);
    if (!h || h->type == OCI_HTYPE_DEFINE || h->type == OCI_DTYPE_PARAM) return OCI_INVALID_HANDLE;
    freeHandle(h);
    return OCI_SUCCESS;
  });
}

STANDIN_EXPORT sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep,
                                 OraText* bufp, ub4 bufsiz, ub4 type) {
  std::lock_guard lock(apiLock());
  sword status = OCI_INVALID_HANDLE;
  Diag* diag = nullptr;
  if (type == OCI_HTYPE_ERROR) {
    if (Error* e = as<Error>(hndlp, OCI_HTYPE_ERROR)) diag = &e->diag;
  } else if (type == OCI_HTYPE_ENV) {
    if (Env* e = as<Env>(hndlp, OCI_HTYPE_ENV)) diag = &e->diag;
  }
  if (diag) {
    if (recordno != 1 || diag->empty()) {
      status = OCI_NO_DATA;
    } else {
      if (errcodep) *errcodep = diag->code;
      if (bufp && bufsiz > 0) {
        size_t n = diag->text.size() < bufsiz - 1 ? diag->text.size() : bufsiz - 1;
        std::memcpy(bufp, diag->text.data(), n);
        bufp[n] = 0;
      }
      if (sqlstate) std::memcpy(sqlstate, "HY000", 6);
      status = OCI_SUCCESS;
    }
  }
  traceQuietly([&] {
    trace::Line("OCIErrorGet")
        .handle(hndlp)
        .number(recordno)
        .pointer(sqlstate)
        .outNumber(errcodep, status == OCI_SUCCESS && errcodep ? *errcodep : 0)
        .outText(bufp, status == OCI_SUCCESS && bufp && bufsiz
                           ? std::string_view(reinterpret_cast<char*>(bufp))
                           : std::string_view())
        .number(bufsiz)
        .constant(type, trace::Flags::HandleType)
        .end(status);
  });
  return status;
}

STANDIN_EXPORT sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink,
                                     sb4 dblink_len, ub4 mode) {
  return call(
      errhp,
      [&](Error* err) -> sword {
        Server* srv = as<Server>(srvhp, OCI_HTYPE_SERVER);
        if (!srv) return OCI_INVALID_HANDLE;
        if (srv->attached()) fail(24309);
        if (mode != OCI_DEFAULT) fail(24300);
        int warning = injectFault(srv->env, nullptr, "OCIServerAttach");
        std::string text;
        if (dblink && dblink_len > 0)
          text.assign(reinterpret_cast<const char*>(dblink), dblink_len);
        auto server = standin::Server::attach(text);
        std::string problem;
        Faults settingsFaults = Faults::fromSettings(server->settings(), problem);
        if (!problem.empty()) fail(600, {"standin: server setting " + problem});
        srv->server = std::move(server);
        srv->dblink = text;
        srv->faults = std::move(settingsFaults);
        srv->broken = false;
        srv->breakRequested = false;
        if (!srv->env->faults.version.empty())
          srv->version = srv->env->faults.version;
        else if (!srv->faults.version.empty())
          srv->version = srv->faults.version;
        else
          srv->version = "10.2.0.1.0";
        return warn(&err->diag, warning, OCI_SUCCESS);
      },
      [&](sword status, int code) {
        trace::Line("OCIServerAttach")
            .handle(srvhp)
            .handle(errhp)
            .text(dblink, dblink_len)
            .number(dblink_len)
            .constant(mode, trace::Flags::Default)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode) {
  return call(
      errhp,
      [&](Error*) -> sword {
        Server* srv = as<Server>(srvhp, OCI_HTYPE_SERVER);
        if (!srv) return OCI_INVALID_HANDLE;
        if (!srv->attached()) fail(3114);
        srv->detach();
        return OCI_SUCCESS;
      },
      [&](sword status, int code) {
        trace::Line("OCIServerDetach")
            .handle(srvhp)
            .handle(errhp)
            .constant(mode, trace::Flags::Default)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp,
                                     ub4 credt, ub4 mode) {
  return call(
      errhp,
      [&](Error* err) -> sword {
        SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
        Session* usr = as<Session>(usrhp, OCI_HTYPE_SESSION);
        if (!svc || !usr) return OCI_INVALID_HANDLE;
        Server* srv = serverOf(svc);
        requireConnected(srv);
        if (usr->connection && !usr->connection->ended) fail(24313);
        if (mode & (OCI_SYSDBA | OCI_SYSOPER)) fail(1031);
        if (mode != OCI_DEFAULT) fail(24300);
        // The stand-in has no operating-system accounts: external credentials never match.
        if (credt == OCI_CRED_EXT) fail(1017);
        if (credt != OCI_CRED_RDBMS) fail(24300);
        int warning = injectFault(svc->env, srv, "OCISessionBegin");
        auto conn = std::make_shared<Connection>();
        conn->session = srv->server->logon(usr->username, usr->password);
        conn->server = srv;
        srv->connections.insert(conn);
        usr->connection = conn;
        svc->session = usr;
        return warn(&err->diag, warning, OCI_SUCCESS);
      },
      [&](sword status, int code) {
        trace::Line("OCISessionBegin")
            .handle(svchp)
            .handle(errhp)
            .handle(usrhp)
            .constant(credt, trace::Flags::Credentials)
            .constant(mode, trace::Flags::SessionMode)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode) {
  return call(
      errhp,
      [&](Error*) -> sword {
        SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
        if (!svc) return OCI_INVALID_HANDLE;
        Session* usr = usrhp ? as<Session>(usrhp, OCI_HTYPE_SESSION) : sessionOf(svc);
        if (!usr) return OCI_INVALID_HANDLE;
        if (!usr->connection || usr->connection->ended) fail(1012);
        std::shared_ptr<Connection> conn = std::move(usr->connection);
        Server* srv = as<Server>(conn->server, OCI_HTYPE_SERVER);
        bool broken = !srv || !srv->attached() || srv->broken;
        int code = 0;
        try {
          if (!broken) injectFault(svc->env, srv, "OCISessionEnd");
        } catch (const ClientError& e) {
          code = e.code;
        }
        // The session ends locally whatever the server says; uncommitted work is rolled back.
        conn->end();
        if (srv) srv->connections.erase(conn);
        if (broken) fail(3114);
        if (code) fail(code);
        return OCI_SUCCESS;
      },
      [&](sword status, int code) {
        trace::Line("OCISessionEnd")
            .handle(svchp)
            .handle(errhp)
            .handle(usrhp)
            .constant(mode, trace::Flags::Default)
            .end(status, code);
      });
}

STANDIN_EXPORT sword OCIServerVersion(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz,
                                      ub1 hndltype) {
  return call(
      errhp,
      [&](Error* err) -> sword {
        Server* srv = nullptr;
        if (hndltype == OCI_HTYPE_SVCCTX) {
          SvcCtx* svc = as<SvcCtx>(hndlp, OCI_HTYPE_SVCCTX);
          if (!svc) return OCI_INVALID_HANDLE;
          srv = serverOf(svc);
        } else if (hndltype == OCI_HTYPE_SERVER) {
          srv = as<Server>(hndlp, OCI_HTYPE_SERVER);
          if (!srv) return OCI_INVALID_HANDLE;
        } else {
          return OCI_INVALID_HANDLE;
        }
        requireConnected(srv);
        int warning = injectFault(srv->env, srv, "OCIServerVersion");
        std::string banner = bannerFor(srv->version);
        if (bufp && bufsz > 0) {
          size_t n = banner.size() < bufsz - 1 ? banner.size() : bufsz - 1;
          std::memcpy(bufp, banner.data(), n);
          bufp[n] = 0;
        }
        return warn(&err->diag, warning, OCI_SUCCESS);
      },
      [&](sword status, int code) {
        trace::Line("OCIServerVersion")
            .handle(hndlp)
            .handle(errhp)
            .outText(bufp, status == OCI_SUCCESS && bufp && bufsz
                               ? std::string_view(reinterpret_cast<char*>(bufp))
                               : std::string_view())
            .number(bufsz)
            .constant(hndltype, trace::Flags::HandleType)
            .end(status, code);
      });
}

STANDIN_EXPORT void OCIClientVersion(sword* major_version, sword* minor_version, sword* update_num,
                                     sword* patch_num, sword* port_update_num) {
  std::lock_guard lock(apiLock());
  const sword v[5] = {10, 2, 0, 1, 0};
  sword* out[5] = {major_version, minor_version, update_num, patch_num, port_update_num};
  for (int i = 0; i < 5; ++i)
    if (out[i]) *out[i] = v[i];
  traceQuietly([&] {
    trace::Line line("OCIClientVersion");
    for (int i = 0; i < 5; ++i) line.outNumber(out[i], v[i]);
    line.endVoid();
  });
}

// Not under the library lock: it is meant to be called from another thread while a call runs.
STANDIN_EXPORT sword OCIBreak(void* hndlp, OCIError* errhp) {
  sword status = OCI_INVALID_HANDLE;
  Handle* h = findAnyHandle(hndlp);
  if (h && findHandle(errhp, OCI_HTYPE_ERROR)) {
    Server* srv = nullptr;
    if (h->type == OCI_HTYPE_SERVER) srv = static_cast<Server*>(h);
    if (h->type == OCI_HTYPE_SVCCTX)
      srv = static_cast<Server*>(findHandle(static_cast<SvcCtx*>(h)->server, OCI_HTYPE_SERVER));
    if (h->type == OCI_HTYPE_SERVER || h->type == OCI_HTYPE_SVCCTX) {
      if (srv) srv->breakRequested = true;
      status = OCI_SUCCESS;
    }
  }
  traceQuietly([&] { trace::Line("OCIBreak").handle(hndlp).handle(errhp).end(status); });
  return status;
}

namespace {

sword transaction(OCISvcCtx* svchp, OCIError* errhp, ub4 flags, bool commit) {
  const char* name = commit ? "OCITransCommit" : "OCITransRollback";
  return call(
      errhp,
      [&](Error*) -> sword {
        SvcCtx* svc = as<SvcCtx>(svchp, OCI_HTYPE_SVCCTX);
        if (!svc) return OCI_INVALID_HANDLE;
        Server* srv = serverOf(svc);
        requireConnected(srv);
        Session* usr = sessionOf(svc);
        if (!usr || !usr->connection || usr->connection->ended) fail(1012);
        if (flags != OCI_DEFAULT) fail(24300);  // two-phase commit is not offered
        int warning = injectFault(svc->env, srv, name);
        if (commit)
          usr->connection->session->commit();
        else
          usr->connection->session->rollback();
        Error* err = as<Error>(errhp, OCI_HTYPE_ERROR);
        return warn(&err->diag, warning, OCI_SUCCESS);
      },
      [&](sword status, int code) {
        trace::Line(name)
            .handle(svchp)
            .handle(errhp)
            .constant(flags, trace::Flags::Default)
            .end(status, code);
      });
}

}  // namespace

STANDIN_EXPORT sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
  return transaction(svchp, errhp, flags, true);
}

STANDIN_EXPORT sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
  return transaction(svchp, errhp, flags, false);
}
