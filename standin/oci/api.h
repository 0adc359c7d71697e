#pragma once
// Shared helpers of the C entry points: the library lock, the conversion of exceptions into
// diagnostic records, handle checks and fault injection.
#include <mutex>
#include <new>

#include "standin/oci/handles.h"
#include "standin/oci/trace.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace standin::oci {

// Every entry point but OCIBreak runs under this lock, so a threaded environment is safe.
std::recursive_mutex& apiLock();

void setDiag(Diag* diag, int code, const std::string& message);
void setDiag(Diag* diag, int code);

// Runs `body` (which returns an OCI status) and turns every exception into OCI_ERROR with a
// diagnostic record in `diag`; nothing is thrown past it.
template <class F>
sword guarded(Diag* diag, F&& body) {
  try {
    return body();
  } catch (const ClientError& e) {
    setDiag(diag, e.code, e.message);
  } catch (const standin::OraError& e) {
    setDiag(diag, e.code, e.message);
  } catch (const std::bad_alloc&) {
    setDiag(diag, 4030);
  } catch (const std::exception& e) {
    try {
      setDiag(diag, 600, clientMessage(600, {e.what()}));
    } catch (...) {
    }
  } catch (...) {
    setDiag(diag, 600);
  }
  return OCI_ERROR;
}

// Runs `writeLine` when tracing is on; a trace line that cannot be written never changes the
// call's result.
template <class F>
void traceQuietly(F&& writeLine) {
  if (!trace::enabled()) return;
  try {
    writeLine();
  } catch (...) {
  }
}

// Error code left in the diagnostic record of an error or environment handle, for the trace.
int diagCode(const void* handle);

// Throws ORA-03114 when the server handle is not attached or its connection was broken.
void requireConnected(const Server* srv);

// Counts the call against the environment's and the server's faults. An injected error is thrown
// (a fatal one marks the server broken); an injected warning code is returned, to be reported as
// OCI_SUCCESS_WITH_INFO once the call has done its work; 0 when nothing is injected.
int injectFault(Env* env, Server* srv, const char* function);

// Reports a warning chosen by injectFault (no-op for 0); returns the status to give.
sword warn(Diag* diag, int code, sword status);

// The server of a service context, when it is a live server handle.
Server* serverOf(const SvcCtx* svc);
Session* sessionOf(const SvcCtx* svc);

void freeHandle(Handle* h);

// The frame of the calls that free a handle or a descriptor: lock, the handle's trace name taken
// before `freeIt` runs (the handle is gone afterwards), OCI_ERROR for any exception. `freeIt`
// returns the call's status.
template <class F>
sword freeCall(const char* function, const void* handle, ub4 type, F&& freeIt) {
  std::lock_guard lock(apiLock());
  sword status = OCI_INVALID_HANDLE;
  std::string name;  // taken before the free, while the handle still has its trace name
  try {
    if (trace::enabled()) name = trace::handleName(handle);
    status = freeIt();
  } catch (...) {
    status = OCI_ERROR;
  }
  // A trace line that cannot be written never turns a done free into a failure.
  traceQuietly([&] {
    trace::Line(function).handleName(name).constant(type, trace::Flags::HandleType).end(status);
  });
  return status;
}

// The frame of an entry point that takes an error handle: lock, handle check, exceptions turned
// into OCI_ERROR, then the trace line. A successful call leaves the error handle's record as it
// was (callers read the error of a failed fetch after asking for the row count); only a call that
// fails, warns or ends the data writes a new record. The trace callback receives the error code
// this call recorded, 0 for none.
template <class Body, class Trace>
sword call(const void* errhp, Body&& body, Trace&& traceLine) {
  std::lock_guard lock(apiLock());
  sword status;
  int code = 0;
  Error* err = as<Error>(errhp, OCI_HTYPE_ERROR);
  if (!err) {
    status = OCI_INVALID_HANDLE;
  } else {
    unsigned serial = err->diag.serial;
    status = guarded(&err->diag, [&] { return body(err); });
    if (err->diag.serial != serial) code = err->diag.code;
  }
  traceQuietly([&] { traceLine(status, code); });
  return status;
}

}  // namespace standin::oci
