#pragma once
// The holder of one OCI statement handle (or, with the version-7 calls, one cursor data area)
// and of the state of the statement. Reference counted through std::shared_ptr: a command owns
// its native cursor, and a cursor returned by a PL/SQL block can be attached to other commands.
// The handle is freed only by the last holder.
#include <cstdint>
#include <memory>

#include "oracle/CRCommand.h"
#include "oracle/OCIHandle.h"
#include "oracle/Oracall.h"
#include "oracle/oci.h"

namespace tarnwick {

class TOraCursor : public std::enable_shared_from_this<TOraCursor> {
 public:
  TOraCursor();
  TOraCursor(const TOraCursor&) = delete;
  TOraCursor& operator=(const TOraCursor&) = delete;

  // OCI80: allocates the statement handle when there is none, with the client's own prefetching
  // switched off (except for client 8.1.6); OCI73: a zeroed data area. Failures raise EOraError
  // and leave no handle.
  void AllocCursor();
  // Frees the handle or data area, but only when this is the last holder of the cursor.
  void FreeCursor();
  // The statement handle, allocated when missing.
  OCIStmt* GetOCIStmt();
  Cda_Def* GetCDA();
  OCIStmt* StmtHandle() const { return FStmt.get(); }
  bool HasHandle() const { return FStmt || FCDA; }
  // Fetching is possible: state csExecuted to csFetchingAll.
  bool CanFetch() const { return State >= csExecuted && State <= csFetchingAll; }
  TOCICallStyle GetOCICallStyle() const { return FCallStyle; }
  // A change of call style frees the handle of the old style first.
  void SetOCICallStyle(TOCICallStyle value);
  // Number of holders; 0 for a cursor not held by a shared_ptr.
  long RefCount() const { return weak_from_this().use_count(); }

  OCIEnv* EnvHandle = nullptr;
  OCIError* ErrorHandle = nullptr;
  TCursorState State = csInactive;
  bool Scrollable = false;

 private:
  TOCIHandle<OCIStmt, OCI_HTYPE_STMT> FStmt;
  std::unique_ptr<Cda_Def> FCDA;
  TOCICallStyle FCallStyle;
};

using TOraCursorRef = std::shared_ptr<TOraCursor>;

}  // namespace tarnwick
