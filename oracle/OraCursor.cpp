#include "oracle/OraCursor.h"

#include <cstring>

namespace tarnwick {

TOraCursor::TOraCursor() : FCallStyle(OCICallStyle) {}

TOraCursor::~TOraCursor() {
  Release();
}

void TOraCursor::Release() noexcept {
  if (FStmt) {
    // After the client library was unloaded the entry point raises; the handle went with it.
    try {
      OCIHandleFree(FStmt, OCI_HTYPE_STMT);
    } catch (...) {
    }
    FStmt = nullptr;
  }
  FCDA.reset();
}

void TOraCursor::AllocCursor() {
  if (FCallStyle == TOCICallStyle::OCI73) {
    if (!FCDA) {
      FCDA = std::make_unique<Cda_Def>();
      std::memset(FCDA.get(), 0, sizeof(Cda_Def));
    }
    return;
  }
  if (FStmt) return;
  OCIEnv* env = EnvHandle ? EnvHandle : hOCIEnv;
  void* handle = nullptr;
  Check(OCIHandleAlloc(env, &handle, OCI_HTYPE_STMT, 0, nullptr), ErrorHandle);
  FStmt = static_cast<OCIStmt*>(handle);
  if (OCIVersion / 10 == 816) return;
  try {
    // The record set fetches in arrays itself, so the client's own prefetching stays off.
    ub4 zero = 0;
    Check(OCIAttrSet(FStmt, OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_ROWS, ErrorHandle),
          ErrorHandle);
    Check(OCIAttrSet(FStmt, OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_MEMORY, ErrorHandle),
          ErrorHandle);
  } catch (...) {
    OCIHandleFree(FStmt, OCI_HTYPE_STMT);
    FStmt = nullptr;
    throw;
  }
}

void TOraCursor::FreeCursor() {
  if (RefCount() > 1) return;
  FCDA.reset();
  if (FStmt) {
    OCIStmt* stmt = FStmt;
    FStmt = nullptr;
    Check(OCIHandleFree(stmt, OCI_HTYPE_STMT), ErrorHandle);
  }
}

OCIStmt* TOraCursor::GetOCIStmt() {
  if (!FStmt) AllocCursor();
  return FStmt;
}

Cda_Def* TOraCursor::GetCDA() {
  if (!FCDA) AllocCursor();
  return FCDA.get();
}

void TOraCursor::SetOCICallStyle(TOCICallStyle value) {
  if (value == FCallStyle) return;
  FreeCursor();
  FCallStyle = value;
}

}  // namespace tarnwick
