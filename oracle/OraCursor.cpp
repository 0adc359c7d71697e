#include "oracle/OraCursor.h"

#include <cstring>

namespace tarnwick {

TOraCursor::TOraCursor() : FCallStyle(OCICallStyle) {}

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
  // Made in a local owner and kept only once it is set up, so that a failure leaves no handle.
  TOCIHandle<OCIStmt, OCI_HTYPE_STMT> stmt;
  Check(stmt.Alloc(env), ErrorHandle);
  if (OCIVersion / 10 != 816) {
    // The record set fetches in arrays itself, so the client's own prefetching stays off.
    ub4 zero = 0;
    Check(OCIAttrSet(stmt.get(), OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_ROWS, ErrorHandle),
          ErrorHandle);
    Check(OCIAttrSet(stmt.get(), OCI_HTYPE_STMT, &zero, 0, OCI_ATTR_PREFETCH_MEMORY, ErrorHandle),
          ErrorHandle);
  }
  FStmt = std::move(stmt);
}

void TOraCursor::FreeCursor() {
  if (RefCount() > 1) return;
  FCDA.reset();
  Check(FStmt.Free(), ErrorHandle);
}

OCIStmt* TOraCursor::GetOCIStmt() {
  if (!FStmt) AllocCursor();
  return FStmt.get();
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
