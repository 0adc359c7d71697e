#pragma once
// The handles and descriptors of the stand-in client. Every handle given to a caller is registered
// so that a null, freed or foreign pointer, or one of the wrong type, is recognised without being
// dereferenced (OCI_INVALID_HANDLE).
#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "oracle/oci.h"
#include "standin/engine/engine.h"
#include "standin/oci/convert.h"
#include "standin/oci/errors.h"
#include "standin/oci/faults.h"

namespace standin::oci {

struct Env;
struct Server;
struct Stmt;

struct Handle {
  Handle(ub4 type, Env* env);
  virtual ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ub4 type;
  Env* env;         // owning environment (the environment itself for OCI_HTYPE_ENV)
  unsigned number;  // shown in the trace as <kind>#<number>
  std::unique_ptr<char[]> userMemory;  // xtramem_sz bytes asked for at allocation
};

struct Env : Handle {
  Env(ub4 mode);
  ub4 mode;
  Diag diag;
  unsigned nextNumber[80] = {};
  Faults faults;  // from the STANDIN_FAULT_* variables, read when the environment is made
};

struct Error : Handle {
  explicit Error(Env* env) : Handle(OCI_HTYPE_ERROR, env) {}
  Diag diag;
};

// The state of one logged-on session, shared by the session handle and the statements executed on
// it. Ending the session releases every engine cursor first, then the engine session.
struct Connection {
  std::unique_ptr<standin::Session> session;
  Server* server = nullptr;  // the server handle it runs on
  std::set<Stmt*> stmts;
  bool ended = false;
  void end();  // rolls back and releases the engine session
};

struct Server : Handle {
  explicit Server(Env* env) : Handle(OCI_HTYPE_SERVER, env) {}
  std::shared_ptr<standin::Server> server;  // set while attached
  std::string dblink;
  std::string internalName, externalName;
  OCIFocbkStruct failover{};
  std::string version;  // five-part release number the banner reports
  Faults faults;        // from the server folder's settings
  bool broken = false;  // a fatal error happened: every later server call gives ORA-03114
  std::atomic<bool> breakRequested{false};
  std::set<std::shared_ptr<Connection>> connections;
  bool attached() const { return server != nullptr; }
  void detach();
};

struct Session : Handle {
  explicit Session(Env* env) : Handle(OCI_HTYPE_SESSION, env) {}
  std::string username, password;
  std::map<ub4, std::string> infoTexts;    // module, action, client info, client identifier
  std::shared_ptr<Connection> connection;  // set between OCISessionBegin and OCISessionEnd
};

struct Trans : Handle {
  explicit Trans(Env* env) : Handle(OCI_HTYPE_TRANS, env) {}
};

struct SvcCtx : Handle {
  explicit SvcCtx(Env* env) : Handle(OCI_HTYPE_SVCCTX, env) {}
  Server* server = nullptr;
  Session* session = nullptr;
  Trans* trans = nullptr;
};

struct Define : Handle {
  Define(Env* env, Stmt* stmt) : Handle(OCI_HTYPE_DEFINE, env), stmt(stmt) {}
  Stmt* stmt;
  ub4 position = 0;
  char* value = nullptr;
  sb4 valueSize = 0;
  ub2 dty = 0;
  char* ind = nullptr;
  char* rlen = nullptr;
  char* rcode = nullptr;
  ub4 valueSkip = 0, indSkip = sizeof(sb2), rlenSkip = sizeof(ub2), rcodeSkip = sizeof(ub2);
  ub2 charsetId = 0;
  ub1 charsetForm = SQLCS_IMPLICIT;
};

struct Param : Handle {
  Param(Env* env, Stmt* stmt, const standin::ColumnDesc& c, ub4 position)
      : Handle(OCI_DTYPE_PARAM, env), stmt(stmt), column(c), position(position) {}
  Stmt* stmt;
  standin::ColumnDesc column;
  ub4 position;
};

// What a fetch call works with, kept by the statement so that fetches after the first allocate
// nothing: the defines it fills, where the error of a failing row is described, and room for the
// text forms of NUMBER, DATE and RAW values.
struct FetchState {
  std::vector<Define*> defines;
  const char* expected = "";
  const char* got = "";
  bool truncated = false;
  char scratch[8192];
  std::string longNumber;
};

struct Stmt : Handle {
  explicit Stmt(Env* env) : Handle(OCI_HTYPE_STMT, env) {}
  ~Stmt() override;
  enum class State { Fresh, Prepared, Described, Executed, Exhausted };
  State state = State::Fresh;
  std::string text;
  ub2 stmtType = 0;
  ub2 sqlFunctionCode = 0;
  ub2 parseErrorOffset = 0;
  ub4 rowCount = 0;
  ub4 rowsFetched = 0;
  ub4 prefetchRows = 1;
  ub4 prefetchMemory = 0;
  bool isQuery = false;
  std::unique_ptr<standin::Cursor> cursor;
  std::shared_ptr<Connection> connection;
  std::vector<standin::ColumnDesc> columns;      // select list of the last execute or describe
  std::vector<std::unique_ptr<Define>> defines;  // index position - 1
  std::vector<std::unique_ptr<Param>> params;
  // NLS settings of the session, read once per fetch call.
  char decimalChar = '.';
  DateFormat dateFormat;
  std::string dateFormatText;
  std::unique_ptr<FetchState> fetchState;  // made by the first fetch
  void releaseCursor();                    // drops the engine cursor and the connection link
};

// Registry of live handles.
void registerHandle(Handle* h);
void unregisterHandle(Handle* h);
// The handle behind p when p is a live handle of type `type` (for parameter descriptors
// OCI_HTYPE_DESCRIBE is accepted as well), else nullptr.
Handle* findHandle(const void* p, ub4 type);
// Any live handle behind p, else nullptr.
Handle* findAnyHandle(const void* p);
// All live handles of an environment.
std::vector<Handle*> handlesOf(Env* env);

template <class T>
T* as(const void* p, ub4 type) {
  return static_cast<T*>(findHandle(p, type));
}

}  // namespace standin::oci
