#pragma once
// Runs one SQL statement on a TOCIConnection: prepares the text into a statement handle, binds
// the parameters, executes with the right iteration count and mode (committing on success when
// auto-commit asks for it), reports the statement kind and the rows processed, and frees the
// handle again.
//
// Execution always runs on the caller's thread: non-blocking execution (property 50) is not
// supported and raises when switched on.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "oracle/CRCommand.h"
#include "oracle/OCIConnection.h"
#include "oracle/OraCursor.h"

namespace tarnwick {

// SQLType values.
inline constexpr uint16_t SQL_UNKNOWN = 0;
inline constexpr uint16_t SQL_INSERT = 3;
inline constexpr uint16_t SQL_SELECT = 4;
inline constexpr uint16_t SQL_UPDATE = 5;
inline constexpr uint16_t SQL_DELETE = 9;
inline constexpr uint16_t SQL_UNBOUND = 27;  // a statement whose parameters are not bound
inline constexpr uint16_t SQL_PLSQL = 34;

// The SQLType for an OCI_ATTR_STMT_TYPE value.
uint16_t SQLTypeOfStmtType(ub2 stmtType);

// The text with its line breaks as the server expects them: outside quoted literals CR LF and a
// lone CR become LF; inside a literal a CR stays. Quotes inside "--" and "/* */" comments start
// no literal.
std::string NormalizeLineBreaks(std::string_view text);
// The offset in `original` of the character at `offset` of NormalizeLineBreaks(original).
// Offsets past the end map past the end.
int MapNormalizedOffset(std::string_view original, int offset);

// What the describe of one select-list item gives a record set's field descriptor: the item's
// name and the record store's data-type code, length, scale and size for it.
struct TOCIFieldInfo {
  std::string Name;
  uint16_t DataType = 0;
  uint16_t SubDataType = 0;
  uint16_t Length = 0;
  // Text: the most bytes a value can take as the client delivers it, without the NUL.
  uint16_t ByteLength = 0;
  uint16_t Scale = 0;
  uint16_t Size = 0;
  bool Fixed = false;     // CHAR
  bool Required = false;  // NOT NULL
};

class TOraParamDesc : public TParamDesc {
 public:
  // The name was written in double quotes.
  bool IsQuoted = false;

 private:
  friend class TOCICommand;
  // Bind buffers, kept alive from the bind to the end of the execution.
  std::vector<char> FBuffer;
  sb2 FIndicator = -1;
  ub2 FLength = 0;
  OCIBind* FBind = nullptr;
};

class TOCICommand : public TCRCommand {
 public:
  TOCICommand();
  ~TOCICommand() override;

  void Prepare() override;
  void Unprepare() override { Finish(); }
  bool GetPrepared() const override { return GetCursorState() > csParsed; }
  bool GetActive() const { return GetCursorState() != csInactive; }
  void Execute(int iterations = 1) override;
  void SetConnection(TCRConnection* connection) override;
  void SetSQL(const std::string& sql) override;
  TCursorState GetCursorState() const override { return Cursor().State; }
  void SetCursorState(TCursorState state) override { Cursor().State = state; }
  bool SetProp(int prop, const TPropValue& value) override;
  bool GetProp(int prop, TPropValue& value) override;

  // Frees the statement; raises "Cursor must be opened" when the command is inactive. The state
  // is csInactive afterwards even when freeing fails.
  void Finish();
  // Rebuilds the parameter list from the SQL text: one TOraParamDesc per distinct name written
  // after a colon, in order of first appearance.
  void ScanParams();
  void BindParams();
  // The statement's row id after the last execution (property 68), as text.
  const std::string& GetRowId() const { return FRowId; }
  void BreakExec();
  // Without a worker thread there is nothing to terminate: the same as BreakExec.
  void HardBreak() { BreakExec(); }
  // Executes in describe-only mode: the select list becomes readable without rows; the state
  // stays as it was.
  void ExecuteDescribeOnly();
  // Describes select-list item n (from 1) for a record set with the given string options;
  // false when n is beyond the select list. A type the record store cannot hold raises "Data
  // type is not supported.".
  bool GetFieldDesc(int n, TOCIFieldInfo& desc, bool longStrings, bool flatBuffers);
  // The most bytes a text buffer is sized for: the 16-bit lengths of a define limit it.
  static constexpr uint16_t kMaxTextBytes = 65534;
  // One OCIStmtFetch of up to `rows` rows into the defines; answers the rows that came and keeps
  // the client's cumulative count in RowsProcessed. The end of the data (OCI_NO_DATA) cancels the
  // cursor; any other failure raises through the connection.
  int32_t InternalFetch(int32_t rows, ub2 orientation);
  // Parameters are bound as single values: a length above 1 raises.
  void SetArrayLength(int length);

  const TOraCursorRef& GetCursor() const {
    return FAttachedCursor ? FAttachedCursor : FNativeCursor;
  }
  // Attaches a shared cursor (a cursor returned by a PL/SQL block); none gives back the native one.
  void SetCursor(TOraCursorRef cursor);
  bool NativeCursor() const { return !FAttachedCursor; }

  // The statement returns rows: a query, or an attached cursor that has been executed.
  bool RowsReturn() const;
  void CheckRowsReturn() const;

  TOCIConnection* GetOCIConnection() const { return FOCIConnection; }
  TOCICallStyle GetCallStyle() const { return FCallStyle; }
  uint16_t SQLType() const { return FSQLType; }
  uint32_t ExecRowCount() const { return FExecRowCount; }
  uint32_t RowsProcessed() const { return FRowsProcessed; }
  // The record set reports the client's cumulative row count after each fetch.
  void SetRowsProcessed(uint32_t value) { FRowsProcessed = value; }
  uint16_t ParseErrorOffset() const { return FParseErrorOffset; }
  // The text sent to the client by the last prepare.
  const std::string& StatementText() const { return FStatementText; }
  OCIError* ErrorHandle() const { return FErrorHandle; }
  bool ScanParamsFlag() const { return FScanParams; }
  bool NonBlocking() const { return FNonBlocking; }
  // Describe every column as a string field; RAW columns as text; NUMBER columns as text
  // (properties 59, 73 and 74).
  bool FieldsAsString() const { return FFieldsAsString; }
  bool RawAsString() const { return FRawAsString; }
  bool NumberAsString() const { return FNumberAsString; }
  // Finish the statement after the next execution.
  void SetForceUnprepare(bool value) { FForceUnprepare = value; }

  // Turns a non-zero status into an exception through the connection (hook first).
  void Check(sword status);
  void CheckSession() const;
  void CheckActive() const;
  void CheckInactive() const;
  void CheckOCI() const;
  void CheckOCI73() const;
  void CheckOCI80() const;

 protected:
  std::unique_ptr<TParamDesc> CreateParamDesc() const override;

 private:
  void InternalPrepare();
  void DoExecute();
  sword Exec();
  sword InternalExecute(ub4 mode);
  void EndExecute(bool success);
  void BindParam(TOraParamDesc& param);
  void ReadOutParams();
  bool HasLobParams() const;
  void ReadRowId();
  // The bytes, without the NUL, that a value of a character column of `dataSize` bytes can take
  // as the client delivers it: its characters times the client's bytes per character.
  uint16_t ClientTextBytes(void* param, uint16_t dataSize);

  TOCIConnection* FOCIConnection = nullptr;
  TOCICallStyle FCallStyle;
  TOraCursor& Cursor() const { return *GetCursor(); }

  // The command holds one reference to the cursor it uses, so that a cursor is freed only when no
  // other command holds it.
  TOraCursorRef FNativeCursor;
  TOraCursorRef FAttachedCursor;
  bool FScanParams = true;
  bool FNonBlocking = false;
  uint16_t FSQLType = 0;
  uint32_t FExecRowCount = 0;
  uint32_t FRowsProcessed = 0;
  uint16_t FParseErrorOffset = 0;
  int32_t FIterCount = 1;
  bool FFieldsAsString = false;
  bool FCacheLobs = true;
  bool FFetchRowId = false;
  bool FRawAsString = false;
  bool FNumberAsString = false;
  std::string FRowId;
  std::string FStatementText;
  OCIError* FErrorHandle = nullptr;
  bool FForceUnprepare = false;
};

}  // namespace tarnwick
