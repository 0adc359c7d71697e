#include "standin/oci/handles.h"

#include <mutex>
#include <unordered_map>

namespace standin::oci {

namespace {

std::atomic<unsigned> g_envNumber{0};

// The registry has its own lock so that OCIBreak can look a handle up while another thread is
// inside a long call.
std::mutex& registryLock() {
  static std::mutex m;
  return m;
}
std::unordered_map<const void*, Handle*>& registry() {
  static std::unordered_map<const void*, Handle*> r;
  return r;
}

}  // namespace

Handle::Handle(ub4 type, Env* env) : type(type), env(env) {
  if (type == OCI_HTYPE_ENV)
    number = ++g_envNumber;
  else
    number = ++env->nextNumber[type < 80 ? type : 0];
}

Handle::~Handle() = default;

Env::Env(ub4 mode) : Handle(OCI_HTYPE_ENV, this), mode(mode) {}

void Connection::end() {
  if (ended) return;
  // The statements keep their state and their link to this connection, so that a later fetch
  // reports the session as gone rather than the statement as never executed.
  for (Stmt* s : stmts) s->cursor.reset();
  stmts.clear();
  if (session) {
    try {
      session->rollback();
    } catch (...) {
      // The session goes away either way; a failed rollback leaves nothing to undo.
    }
  }
  session.reset();
  ended = true;
}

void Server::detach() {
  for (const auto& c : connections) c->end();
  connections.clear();
  server.reset();
  broken = false;
  breakRequested = false;
}

void Stmt::releaseCursor() {
  cursor.reset();
  if (connection) connection->stmts.erase(this);
  connection.reset();
  if (state == State::Executed || state == State::Exhausted || state == State::Described)
    state = State::Prepared;
}

Stmt::~Stmt() {
  cursor.reset();
  if (connection) connection->stmts.erase(this);
  for (auto& d : defines)
    if (d) unregisterHandle(d.get());
  for (auto& p : params) unregisterHandle(p.get());
}

void registerHandle(Handle* h) {
  std::lock_guard lock(registryLock());
  registry()[h] = h;
}

void unregisterHandle(Handle* h) {
  std::lock_guard lock(registryLock());
  registry().erase(h);
}

Handle* findAnyHandle(const void* p) {
  if (!p) return nullptr;
  std::lock_guard lock(registryLock());
  auto it = registry().find(p);
  return it == registry().end() ? nullptr : it->second;
}

Handle* findHandle(const void* p, ub4 type) {
  Handle* h = findAnyHandle(p);
  if (!h) return nullptr;
  if (h->type == type) return h;
  if (h->type == OCI_DTYPE_PARAM && type == OCI_HTYPE_DESCRIBE) return h;
  return nullptr;
}

std::vector<Handle*> handlesOf(Env* env) {
  std::lock_guard lock(registryLock());
  std::vector<Handle*> out;
  for (auto& [p, h] : registry())
    if (h->env == env && h != env) out.push_back(h);
  return out;
}

}  // namespace standin::oci
