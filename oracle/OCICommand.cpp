#include "oracle/OCICommand.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "base/DataTypes.h"
#include "dataset/text/OraParser.h"
#include "oracle/OCIHandle.h"
#include "oracle/OraError.h"

namespace tarnwick {

namespace {

// Text buffer of an output parameter whose size was not given.
constexpr int32_t kDefaultOutputSize = 4000;

bool IsTrailingBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string TrimRight(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && IsTrailingBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

// Walks the text as NormalizeLineBreaks does and calls emit(index) for every character that it
// keeps; a CR that it keeps as LF is reported with replaced = true.
template <typename Emit>
void WalkLineBreaks(std::string_view text, Emit&& emit) {
  enum class In { Code, Literal, LineComment, BlockComment } in = In::Code;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    const char next = i + 1 < n ? text[i + 1] : '\0';
    switch (in) {
      case In::Code:
        if (c == '\'')
          in = In::Literal;
        else if (c == '-' && next == '-')
          in = In::LineComment;
        else if (c == '/' && next == '*') {
          in = In::BlockComment;
          emit(i, false);
          emit(++i, false);  // the "*" of the opening marker closes nothing
          continue;
        }
        break;
      case In::Literal:
        if (c == '\'') in = In::Code;
        emit(i, false);
        continue;
      case In::LineComment:
        if (c == '\r' || c == '\n') in = In::Code;
        break;
      case In::BlockComment:
        if (c == '*' && next == '/') {
          in = In::Code;
          emit(i, false);
          emit(++i, false);
          continue;
        }
        break;
    }
    if (c == '\r') {
      if (next == '\n') continue;  // CR LF: the LF is kept
      emit(i, true);
      continue;
    }
    emit(i, false);
  }
}

}  // namespace

uint16_t SQLTypeOfStmtType(ub2 stmtType) {
  switch (stmtType) {
    case OCI_STMT_SELECT:
      return SQL_SELECT;
    case OCI_STMT_UPDATE:
      return SQL_UPDATE;
    case OCI_STMT_DELETE:
      return SQL_DELETE;
    case OCI_STMT_INSERT:
      return SQL_INSERT;
    case OCI_STMT_BEGIN:
    case OCI_STMT_DECLARE:
      return SQL_PLSQL;
    case 14:
    case 15:
      return SQL_UNBOUND;
    default:
      return SQL_UNKNOWN;
  }
}

std::string NormalizeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  WalkLineBreaks(text, [&](size_t i, bool replaced) { out += replaced ? '\n' : text[i]; });
  return out;
}

int MapNormalizedOffset(std::string_view original, int offset) {
  if (offset < 0) return offset;
  int converted = 0;
  int found = -1;
  WalkLineBreaks(original, [&](size_t i, bool) {
    if (found < 0 && converted == offset) found = static_cast<int>(i);
    ++converted;
  });
  if (found >= 0) return found;
  return static_cast<int>(original.size()) + (offset - converted);
}

TOCICommand::TOCICommand()
    : FCallStyle(OCICallStyle), FNativeCursor(std::make_shared<TOraCursor>()) {}

// The connection must outlive its commands. Without a connected connection the cursor frees
// its handle by itself.
TOCICommand::~TOCICommand() {
  if (GetActive() && FOCIConnection && FOCIConnection->GetConnected()) {
    try {
      Finish();
    } catch (...) {
      // The handle is released with the cursor.
    }
  }
}

std::unique_ptr<TParamDesc> TOCICommand::CreateParamDesc() const {
  return std::make_unique<TOraParamDesc>();
}

void TOCICommand::SetConnection(TCRConnection* connection) {
  if (connection == FConnection) return;
  if (GetActive() && FOCIConnection) Finish();
  TOCIConnection* oci = nullptr;
  if (connection) {
    oci = dynamic_cast<TOCIConnection*>(connection);
    if (!oci) RaiseError("An Oracle command needs an Oracle connection");
  }
  TCRCommand::SetConnection(connection);
  FOCIConnection = oci;
}

void TOCICommand::SetSQL(const std::string& sql) {
  if (sql == FSQL) return;
  FSQL = sql;
  if (FScanParams) ScanParams();
}

void TOCICommand::ScanParams() {
  FParams.clear();
  for (auto& scanned : ScanOraParams(FSQL)) {
    auto* param = static_cast<TOraParamDesc*>(AddParam());
    param->Name = std::move(scanned.Name);
    param->IsQuoted = scanned.Quoted;
  }
}

void TOCICommand::SetCursor(TOraCursorRef cursor) {
  if (cursor == FNativeCursor) cursor.reset();
  if (cursor == FAttachedCursor) return;
  FAttachedCursor = std::move(cursor);
  FCallStyle = Cursor().GetOCICallStyle();
  if (FOCIConnection) FErrorHandle = FOCIConnection->GetErrorHandle();
}

bool TOCICommand::RowsReturn() const {
  if (FSQLType == SQL_SELECT) return true;
  return !NativeCursor() && Cursor().State >= csExecuted;
}

void TOCICommand::CheckRowsReturn() const {
  if (!RowsReturn()) RaiseError(LoadResString(Oraconsts::SNotRows));
}

void TOCICommand::CheckSession() const {
  if (!FOCIConnection) RaiseError(LoadResString(Oraconsts::SSessionNotDefined));
  if (!FOCIConnection->GetConnected()) RaiseError(LoadResString(Oraconsts::SSessionNotConnected));
}

void TOCICommand::CheckActive() const {
  if (!GetActive()) RaiseError(LoadResString(Oraconsts::SCursorNotOpened));
}

void TOCICommand::CheckInactive() const {
  if (GetActive()) RaiseError(LoadResString(Oraconsts::SCursorOpened));
}

void TOCICommand::CheckOCI() const {
  if (FCallStyle != TOCICallStyle::OCI73 && FCallStyle != TOCICallStyle::OCI80)
    RaiseError("OCI is not inizialized");
}

void TOCICommand::CheckOCI73() const {
  if (FCallStyle != TOCICallStyle::OCI73) RaiseError("Need Oracle 7.3 Call Interface");
}

void TOCICommand::CheckOCI80() const {
  if (FCallStyle != TOCICallStyle::OCI80) RaiseError("Need Oracle 8 Call Interface");
}

void TOCICommand::Check(sword status) {
  if (FOCIConnection) FOCIConnection->RethrowFailover();
  if (status == OCI_SUCCESS) return;
  // Execution always runs on the caller's thread, so the session's hook always sees the error.
  FOCIConnection->OraError(FCallStyle, status, true);
}

void TOCICommand::Prepare() {
  CheckSession();
  if (GetCursorState() != csInactive) return;

  FCallStyle = FOCIConnection->GetOCICallStyleCommand();
  FErrorHandle = FOCIConnection->GetErrorHandle();
  Cursor().SetOCICallStyle(FCallStyle);
  FExecRowCount = 0;
  FParseErrorOffset = 0;
  Cursor().EnvHandle = FOCIConnection->GetEnvHandle();
  Cursor().ErrorHandle = FOCIConnection->GetErrorHandle();
  CheckOCI();
  Cursor().AllocCursor();

  try {
    if (FCallStyle == TOCICallStyle::OCI80) {
      InternalPrepare();
    } else {
      FStatementText = NormalizeLineBreaks(TrimRight(FSQL));
      Cda_Def* cda = Cursor().GetCDA();
      sword status;
      {
        TOCIConnectionLock lock(*FOCIConnection);
        status = oopen(cda, FOCIConnection->GetLDA(), nullptr, -1, -1, nullptr, -1);
      }
      Check(status);
      SetCursorState(csOpen);
      {
        TOCIConnectionLock lock(*FOCIConnection);
        status = oparse(cda, reinterpret_cast<OraText*>(FStatementText.data()),
                        static_cast<sb4>(FStatementText.size() + 1), 0, 2);
      }
      if (status != 0) {
        FParseErrorOffset = cda->peo;
        {
          TOCIConnectionLock lock(*FOCIConnection);
          oclose(cda);
        }
        Check(status);
      }
      FSQLType = cda->ft;
      SetCursorState(csParsed);
      // Success with a compilation error of a stored unit.
      if ((cda->wrn & 0x21) == 0x21) FOCIConnection->SetLastError(24344);
    }
  } catch (...) {
    SetCursorState(csInactive);
    try {
      Cursor().FreeCursor();
    } catch (...) {
    }
    throw;
  }
  SetCursorState(csPrepared);
}

void TOCICommand::InternalPrepare() {
  CheckOCI80();
  CheckSession();
  FStatementText = NormalizeLineBreaks(TrimRight(FSQL));
  OCIStmt* stmt = Cursor().GetOCIStmt();
  sword status;
  {
    TOCIConnectionLock lock(*FOCIConnection);
    // The length counts the terminating NUL.
    status =
        OCIStmtPrepare(stmt, FErrorHandle, reinterpret_cast<const OraText*>(FStatementText.c_str()),
                       static_cast<ub4>(FStatementText.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT);
  }
  Check(status);
  ub2 stmtType = 0;
  Check(OCIAttrGet(stmt, OCI_HTYPE_STMT, &stmtType, nullptr, OCI_ATTR_STMT_TYPE, FErrorHandle));
  FSQLType = SQLTypeOfStmtType(stmtType);
  SetCursorState(csPrepared);
}

void TOCICommand::Execute(int iterations) {
  if (GetCursorState() == csExecuting) return;
  FIterCount = iterations;
  FExecuting = true;
  try {
    DoExecute();
  } catch (...) {
    EndExecute(false);
    throw;
  }
  EndExecute(true);
}

void TOCICommand::EndExecute(bool success) {
  FExecuting = false;
  if (AfterExecuteHook) AfterExecuteHook(success);
}

void TOCICommand::DoExecute() {
  const bool wasPrepared = GetPrepared();
  if (!wasPrepared) Prepare();
  // The command finishes what it prepared itself.
  auto after = [&] {
    const bool finish = (!wasPrepared || FForceUnprepare) && GetActive();
    FForceUnprepare = false;
    FIterCount = 1;
    if (finish) Finish();
  };
  try {
    if (FSQLType != SQL_UNBOUND) BindParams();
    Exec();
  } catch (...) {
    try {
      after();
    } catch (...) {
      // The execution's error is the one the caller sees.
    }
    throw;
  }
  after();
}

void TOCICommand::BindParams() {
  if (!FParams.empty()) {
    if (FIterCount > 1) RaiseError("Array parameters are not supported");
    TOCIConnectionLock lock(*FOCIConnection);
    for (auto& p : FParams) BindParam(static_cast<TOraParamDesc&>(*p));
  }
  SetCursorState(csBound);
}

void TOCICommand::BindParam(TOraParamDesc& p) {
  const bool output = p.ParamType != TParamDirection::pdInput;
  uint16_t type = p.DataType;
  if (type == dcUnknown) {
    if (std::holds_alternative<int32_t>(p.Value))
      type = dcInteger;
    else if (std::holds_alternative<double>(p.Value))
      type = dcFloat;
    else
      type = dcString;
  }
  ub2 dty;
  p.FIndicator = p.IsNull() ? -1 : 0;
  switch (type) {
    case dcString: {
      dty = SQLT_STR;
      std::string text;
      if (const auto* s = std::get_if<std::string>(&p.Value))
        text = *s;
      else if (const auto* i = std::get_if<int32_t>(&p.Value))
        text = std::to_string(*i);
      else if (const auto* d = std::get_if<double>(&p.Value))
        text = std::to_string(*d);
      int32_t capacity = std::max<int32_t>(p.Size, static_cast<int32_t>(text.size()));
      if (output && p.Size <= 0) capacity = std::max(capacity, kDefaultOutputSize);
      p.FBuffer.assign(static_cast<size_t>(capacity) + 1, '\0');
      std::memcpy(p.FBuffer.data(), text.data(), text.size());
      break;
    }
    case dcInteger: {
      dty = SQLT_INT;
      int32_t v = 0;
      if (const auto* i = std::get_if<int32_t>(&p.Value))
        v = *i;
      else if (const auto* d = std::get_if<double>(&p.Value))
        v = static_cast<int32_t>(*d);
      else if (!p.IsNull())
        RaiseError(LoadResString(Daconsts::SCannotConvertType));
      p.FBuffer.assign(sizeof v, '\0');
      std::memcpy(p.FBuffer.data(), &v, sizeof v);
      break;
    }
    case dcFloat: {
      dty = SQLT_FLT;
      double v = 0;
      if (const auto* d = std::get_if<double>(&p.Value))
        v = *d;
      else if (const auto* i = std::get_if<int32_t>(&p.Value))
        v = *i;
      else if (!p.IsNull())
        RaiseError(LoadResString(Daconsts::SCannotConvertType));
      p.FBuffer.assign(sizeof v, '\0');
      std::memcpy(p.FBuffer.data(), &v, sizeof v);
      break;
    }
    default:
      RaiseError(LoadResString(Daconsts::SDataTypeNotSupported));
  }
  p.DataType = type;
  const std::string placeholder = p.IsQuoted ? ":\"" + p.Name + "\"" : ":" + p.Name;
  p.FBind = nullptr;
  if (FCallStyle == TOCICallStyle::OCI73) {
    std::string name = placeholder;
    Cda_Def* cda = Cursor().GetCDA();
    const sword status = obndrv(
        cda, reinterpret_cast<OraText*>(name.data()), -1, reinterpret_cast<ub1*>(p.FBuffer.data()),
        static_cast<sword>(p.FBuffer.size()), dty, -1, &p.FIndicator, nullptr, -1, -1);
    if (status != 0) Check(cda->rc != 0 ? cda->rc : status);
    return;
  }
  const sword status = OCIBindByName(Cursor().GetOCIStmt(), &p.FBind, FErrorHandle,
                                     reinterpret_cast<const OraText*>(placeholder.c_str()),
                                     static_cast<sb4>(placeholder.size()), p.FBuffer.data(),
                                     static_cast<sb4>(p.FBuffer.size()), dty, &p.FIndicator,
                                     nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  Check(status);
}

void TOCICommand::ReadOutParams() {
  for (auto& base : FParams) {
    auto& p = static_cast<TOraParamDesc&>(*base);
    if (p.ParamType == TParamDirection::pdInput || p.FBuffer.empty()) continue;
    if (p.FIndicator == -1) {
      p.Value = std::monostate{};
      continue;
    }
    switch (p.DataType) {
      case dcString:
        p.FBuffer.back() = '\0';
        p.Value = std::string(p.FBuffer.data());
        break;
      case dcInteger: {
        int32_t v;
        std::memcpy(&v, p.FBuffer.data(), sizeof v);
        p.Value = v;
        break;
      }
      case dcFloat: {
        double v;
        std::memcpy(&v, p.FBuffer.data(), sizeof v);
        p.Value = v;
        break;
      }
      default:
        break;
    }
  }
}

bool TOCICommand::HasLobParams() const {
  return std::any_of(FParams.begin(), FParams.end(), [](const auto& p) {
    return p->DataType == dcOraBlob || p->DataType == dcOraClob;
  });
}

sword TOCICommand::Exec() {
  const bool autoCommit = FAutoCommit && FOCIConnection->GetAutoCommit();
  const bool commitOnSuccess =
      FCallStyle == TOCICallStyle::OCI80 && FSQLType != SQL_SELECT && autoCommit && !HasLobParams();
  ub4 mode = OCI_DEFAULT;
  if (FSQLType == SQL_SELECT && Cursor().Scrollable)
    mode = OCI_STMT_SCROLLABLE_READONLY;
  else if (commitOnSuccess)
    mode = OCI_COMMIT_ON_SUCCESS;
  const sword status = InternalExecute(mode);

  if (FFetchRowId)
    ReadRowId();
  else
    FRowId.clear();
  if (status == OCI_NEED_DATA || status == -3129 || status == -3130)
    RaiseError("Piecewise transfer of parameters is not supported");
  ReadOutParams();
  if (status == OCI_SUCCESS && FSQLType != SQL_SELECT && autoCommit && !commitOnSuccess)
    FOCIConnection->Commit();
  return status;
}

sword TOCICommand::InternalExecute(ub4 mode) {
  CheckActive();
  const TCursorState before = GetCursorState();
  SetCursorState(csExecuting);
  sword result = OCI_SUCCESS;
  const bool oci80 = FCallStyle == TOCICallStyle::OCI80;
  // The parse error offset is read whether the execution failed or not.
  auto readErrorOffset = [&](bool check) {
    // After a fatal error the session may have disconnected and finished the statement.
    OCIStmt* stmt = Cursor().StmtHandle();
    if (oci80 && stmt && OCIVersion >= 8100 && FOCIConnection->GetConnected()) {
      ub2 offset = 0;
      const sword status = OCIAttrGet(stmt, OCI_HTYPE_STMT, &offset, nullptr,
                                      OCI_ATTR_PARSE_ERROR_OFFSET, FErrorHandle);
      if (status == OCI_SUCCESS) FParseErrorOffset = offset;
      if (check) Check(status);
    }
    FRowsProcessed = 0;
  };

  try {
    if (oci80) {
      OCIStmt* stmt = Cursor().GetOCIStmt();
      // A query is executed with 0 iterations: its rows are fetched by the record set.
      const ub4 iterations = FSQLType == SQL_SELECT ? 0 : static_cast<ub4>(FIterCount);
      sword status;
      {
        TOCIConnectionLock lock(*FOCIConnection);
        status = OCIStmtExecute(FOCIConnection->GetSvcCtx(), stmt, FErrorHandle, iterations, 0,
                                nullptr, nullptr, mode);
      }
      FOCIConnection->RethrowFailover();
      if (status != OCI_SUCCESS && status != OCI_NEED_DATA) {
        std::string message;
        if (GetOraError(status, message, FErrorHandle) == 3123)
          result = OCI_STILL_EXECUTING;
        else
          Check(status);
      } else {
        result = status;
      }
      if (FSQLType == SQL_UNKNOWN) {
        ub2 code = 0;
        Check(OCIAttrGet(stmt, OCI_HTYPE_STMT, &code, nullptr, OCI_ATTR_SQLFNCODE, FErrorHandle));
        FSQLType = code;
      }
      if (result == OCI_SUCCESS && mode != OCI_DESCRIBE_ONLY) {
        ub4 rows = 0;
        Check(OCIAttrGet(stmt, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, FErrorHandle));
        FExecRowCount = rows;
      }
    } else if (mode == OCI_DEFAULT) {
      Cda_Def* cda = Cursor().GetCDA();
      sword status;
      {
        TOCIConnectionLock lock(*FOCIConnection);
        status = oexn(cda, FIterCount, 0);
      }
      if (status == -3123 || status == -3129 || status == -3130) {
        result = status;
      } else if (status != 0) {
        FParseErrorOffset = cda->peo;
        Check(status);
      } else {
        FExecRowCount = cda->rpc;
      }
    }
  } catch (...) {
    if (GetCursorState() != csInactive) SetCursorState(before);
    try {
      readErrorOffset(false);
    } catch (...) {
    }
    throw;
  }

  SetCursorState(mode == OCI_DESCRIBE_ONLY ? before : csExecuted);
  readErrorOffset(true);
  return result;
}

void TOCICommand::ReadRowId() {
  FRowId.clear();
  if (FCallStyle != TOCICallStyle::OCI80) {
    FRowId.clear();
    return;
  }
  TOCIDescriptor<OCIRowid, OCI_DTYPE_ROWID> rowid;
  OCIEnv* env = Cursor().EnvHandle ? Cursor().EnvHandle : hOCIEnv;
  Check(rowid.Alloc(env));
  Check(OCIAttrGet(Cursor().GetOCIStmt(), OCI_HTYPE_STMT, rowid.get(), nullptr, OCI_ATTR_ROWID,
                   FErrorHandle));
  OraText buffer[64] = {};
  ub2 length = sizeof buffer;
  Check(OCIRowidToChar(rowid.get(), buffer, &length, FErrorHandle));
  FRowId.assign(reinterpret_cast<const char*>(buffer), std::min<size_t>(length, sizeof buffer));
}

void TOCICommand::Finish() {
  CheckActive();
  try {
    if (!FOCIConnection) {
      // A cursor attached to a command without a connection: nothing to close on a server.
      Cursor().FreeCursor();
    } else if (FCallStyle == TOCICallStyle::OCI73) {
      if (Cda_Def* cda = Cursor().HasHandle() ? Cursor().GetCDA() : nullptr) {
        TOCIConnectionLock lock(*FOCIConnection);
        oclose(cda);
      }
      Cursor().FreeCursor();
    } else {
      TOCIConnectionLock lock(*FOCIConnection);
      Cursor().FreeCursor();
    }
  } catch (...) {
    SetCursorState(csInactive);
    throw;
  }
  SetCursorState(csInactive);
}

void TOCICommand::SetArrayLength(int length) {
  if (length > 1) RaiseError("Array parameters are not supported");
}

void TOCICommand::BreakExec() {
  if (GetActive() && FOCIConnection) FOCIConnection->BreakExec();
}

// --- describe and fetch, as the record set calls them ----------------------------------------

void TOCICommand::ExecuteDescribeOnly() {
  InternalExecute(OCI_DESCRIBE_ONLY);
}

namespace {

// The session's date format text and its length as a text field's length.
uint16_t FormatTextLength(const std::string& format, int extraForMonth, int extraForDay,
                          int extraForFraction) {
  std::string upper = format;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  size_t length = format.size();
  if (upper.find("MONTH") != std::string::npos) length += static_cast<size_t>(extraForMonth);
  if (upper.find("DAY") != std::string::npos) length += static_cast<size_t>(extraForDay);
  if (upper.find("SSXFF") != std::string::npos) length += static_cast<size_t>(extraForFraction);
  return static_cast<uint16_t>(length);
}

uint16_t CeilDigits(int binaryPrecision) {
  // log10(2): decimal digits of a binary precision, rounded up.
  return static_cast<uint16_t>(std::ceil(static_cast<long double>(binaryPrecision) * 0.30103L));
}

}  // namespace

uint16_t TOCICommand::ClientTextBytes(void* param, uint16_t dataSize) {
  // The column's length in characters, when the client knows it (clients before 9i do not),
  // else its size in the database's bytes, which is never less.
  ub2 characters = 0;
  if (OCIAttrGet(param, OCI_DTYPE_PARAM, &characters, nullptr, OCI_ATTR_CHAR_SIZE, FErrorHandle) !=
          OCI_SUCCESS ||
      characters == 0)
    characters = dataSize;
  const uint32_t bytes =
      std::max<uint32_t>(uint32_t{characters} * FOCIConnection->ClientMaxCharBytes(), dataSize);
  return static_cast<uint16_t>(std::min<uint32_t>(bytes, kMaxTextBytes));
}

bool TOCICommand::GetFieldDesc(int n, TOCIFieldInfo& desc, bool longStrings, bool flatBuffers) {
  if (FCallStyle != TOCICallStyle::OCI80)
    RaiseError("Describing a query needs the Oracle 8 Call Interface");
  OCIStmt* stmt = Cursor().GetOCIStmt();
  ub4 count = 0;
  Check(OCIAttrGet(stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, FErrorHandle));
  if (n < 1 || static_cast<ub4>(n) > count) return false;

  void* param = nullptr;
  Check(OCIParamGet(stmt, OCI_HTYPE_STMT, FErrorHandle, &param, static_cast<ub4>(n)));
  OraText* name = nullptr;
  ub4 nameLength = 0;
  Check(OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &nameLength, OCI_ATTR_NAME, FErrorHandle));
  desc.Name.assign(reinterpret_cast<const char*>(name), name ? nameLength : 0);
  ub2 type = 0;
  Check(OCIAttrGet(param, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, FErrorHandle));
  ub2 rawSize = 0;
  Check(OCIAttrGet(param, OCI_DTYPE_PARAM, &rawSize, nullptr, OCI_ATTR_DATA_SIZE, FErrorHandle));
  const int size = static_cast<int16_t>(rawSize);

  const bool wide = FOCIConnection->UseUnicode();
  const auto text = [&](uint16_t length, uint16_t subType) {
    desc.DataType = wide ? dcWideString : dcString;
    desc.SubDataType = subType;
    desc.Length = length;
    desc.Size = static_cast<uint16_t>(wide ? (length + 1) * 2 : length + 1);
  };
  desc.DataType = desc.SubDataType = desc.Length = desc.Scale = desc.Size = 0;
  desc.Fixed = type == SQLT_AFC;

  switch (type) {
    case SQLT_CHR:
    case SQLT_AFC: {
      const uint16_t n16 = static_cast<uint16_t>(std::max(size, 0));
      desc.ByteLength = ClientTextBytes(param, n16);
      if (size > 255 && !longStrings) {
        desc.DataType = dcMemo;
        desc.SubDataType = wide ? dcWideString : dcString;
        desc.Length = n16;
        desc.Size = sizeof(void*);
      } else if (size < 32 || flatBuffers) {
        text(n16, 0);
        if (!wide) desc.Size = static_cast<uint16_t>(desc.ByteLength + 1);
      } else {
        desc.DataType = wide ? dcExtWideString : dcExtString;
        desc.Length = n16;
        desc.Size = sizeof(void*);
      }
      break;
    }
    case SQLT_NUM: {
      sb2 precision = 0;
      Check(OCIAttrGet(param, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION,
                       FErrorHandle));
      sb1 scale = 0;
      Check(OCIAttrGet(param, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, FErrorHandle));
      const int p = precision;
      const int s = scale;
      if (FFieldsAsString || FNumberAsString) {
        uint16_t length;
        if (p <= 0)
          length = 38;
        else if (s == -127)
          length = CeilDigits(p);
        else
          length = static_cast<uint16_t>(p);
        desc.DataType = wide ? dcWideString : dcString;
        desc.SubDataType = dcNumber;
        desc.Length = length;
        desc.Scale = static_cast<uint16_t>(std::abs(s));
        int bytes = p <= 0 ? 46 : length + 3;
        if (p > 0 && s == -127) bytes = std::max(bytes, 17);
        desc.Size = static_cast<uint16_t>(wide ? bytes * 2 : bytes);
        break;
      }
      int P;
      if (s == -127 && p > 0) {
        desc.Length = CeilDigits(p);
        desc.Scale = 127;
        P = p;
      } else {
        P = p == 0 ? 38 : p;
        desc.Length = static_cast<uint16_t>(P);
        desc.Scale = static_cast<uint16_t>(s == -127 ? 0 : std::abs(s));
      }
      if (FOCIConnection->EnableIntegers() && P <= 9 && desc.Scale == 0) {
        desc.DataType = dcInteger;
        desc.Size = 4;
      } else if (FOCIConnection->EnableNumbers() && desc.Length > 15) {
        desc.DataType = dcNumber;
        desc.Size = sizeof(void*);
      } else {
        desc.DataType = dcFloat;
        desc.Size = 8;
      }
      break;
    }
    case SQLT_LNG:
      desc.DataType = dcMemo;
      desc.Size = sizeof(void*);
      break;
    case SQLT_RID:
      desc.DataType = dcString;
      desc.SubDataType = dcRowId;
      desc.Length = 18;
      desc.Size = 19;
      break;
    case SQLT_DAT:
      if (FFieldsAsString) {
        TPropValue format;
        FOCIConnection->GetProp(prDateFormat, format);
        const uint16_t length = FormatTextLength(PropString(format, prDateFormat), 7, 9, 0);
        desc.DataType = wide ? dcWideString : dcString;
        desc.Length = length;
        desc.Size = static_cast<uint16_t>(wide ? length * 2 + 2 : length + 1);
      } else {
        desc.DataType = dcDateTime;
        desc.Size = 7;
      }
      break;
    case SQLT_BIN: {
      const uint16_t n16 = static_cast<uint16_t>(std::max(size, 0));
      if (FFieldsAsString || FRawAsString) {
        desc.DataType = wide ? dcWideString : dcString;
        desc.Length = static_cast<uint16_t>(2 * n16);
        desc.Size = static_cast<uint16_t>(wide ? 4 * n16 + 2 : 2 * n16 + 1);
      } else if (size < 32 || flatBuffers) {
        desc.DataType = dcVarBytes;
        desc.Length = n16;
        desc.Size = static_cast<uint16_t>(n16 + 2);
      } else {
        desc.DataType = dcExtVarBytes;
        desc.Length = n16;
        desc.Size = sizeof(void*);
      }
      break;
    }
    case SQLT_LBI:
      desc.DataType = dcBlob;
      desc.Size = sizeof(void*);
      break;
    case 25:
      desc.DataType = dcUndefined;
      desc.Size = static_cast<uint16_t>(std::max(size, 0));
      break;
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE:
      desc.DataType = dcFloat;
      desc.Size = 8;
      break;
    case SQLT_RDD: {
      if (size <= 4) {
        text(18, dcRowId);
      } else {
        text(static_cast<uint16_t>(std::ceil(size * 1.34)), dcURowId);
      }
      break;
    }
    case SQLT_CLOB:
      desc.DataType = dcOraClob;
      desc.Size = sizeof(void*);
      break;
    case SQLT_BLOB:
      desc.DataType = dcOraBlob;
      desc.Size = sizeof(void*);
      break;
    case SQLT_BFILEE:
      desc.DataType = dcBFile;
      desc.Size = sizeof(void*);
      break;
    case SQLT_CFILEE:
      desc.DataType = dcCFile;
      desc.Size = sizeof(void*);
      break;
    case SQLT_RSET:
      desc.DataType = dcCursor;
      desc.Size = sizeof(void*);
      break;
    default:
      // Labels, named types, REFs, timestamps and intervals are not read by this program.
      RaiseError(LoadResString(Daconsts::SDataTypeNotSupported));
  }

  ub1 nullable = 1;
  Check(OCIAttrGet(param, OCI_DTYPE_PARAM, &nullable, nullptr, OCI_ATTR_IS_NULL, FErrorHandle));
  desc.Required = nullable == 0;
  return true;
}

int32_t TOCICommand::InternalFetch(int32_t rows, ub2 orientation) {
  OCIStmt* stmt = Cursor().GetOCIStmt();
  sword status;
  {
    TOCIConnectionLock lock(*FOCIConnection);
    status =
        orientation == OCI_FETCH_NEXT
            ? OCIStmtFetch(stmt, FErrorHandle, static_cast<ub4>(rows), OCI_FETCH_NEXT, OCI_DEFAULT)
            : OCIStmtFetch2(stmt, FErrorHandle, static_cast<ub4>(rows), orientation, 0,
                            OCI_DEFAULT);
  }
  FOCIConnection->RethrowFailover();
  int32_t fetched;
  if (status == OCI_SUCCESS) {
    ub4 total = 0;
    Check(OCIAttrGet(stmt, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, FErrorHandle));
    FRowsProcessed = total;
    fetched = rows;
  } else {
    // The rows of a short last block arrive with OCI_NO_DATA; the cumulative count tells how
    // many. A failed call may have broken the session: read the count only while it stands.
    ub4 total = FRowsProcessed;
    if (FOCIConnection->GetConnected() && Cursor().StmtHandle())
      OCIAttrGet(stmt, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, FErrorHandle);
    fetched = static_cast<int32_t>(total - FRowsProcessed);
    FRowsProcessed = total;
    if (status == OCI_NO_DATA) {
      if (!Cursor().Scrollable) SetCursorState(csCanceled);
    } else {
      Check(status);
    }
  }
  if (GetCursorState() < csFetching) SetCursorState(csFetching);
  return fetched;
}

bool TOCICommand::SetProp(int prop, const TPropValue& value) {
  switch (prop) {
    case prAutoCommit:
      FAutoCommit = PropBool(value, prop);
      return true;
    case prScanParams: {
      const bool on = PropBool(value, prop);
      const bool rescan = on && !FScanParams;
      FScanParams = on;
      if (rescan) ScanParams();
      return true;
    }
    case prNonBlocking:
      if (PropBool(value, prop)) RaiseError("Non-blocking execution is not supported");
      FNonBlocking = false;
      return true;
    case prFieldsAsString:
      FFieldsAsString = PropBool(value, prop);
      return true;
    case prCacheLobs:
      FCacheLobs = PropBool(value, prop);
      return true;
    case prScrollableCursor:
      Cursor().Scrollable = PropBool(value, prop);
      return true;
    case prFetchRowId:
      FFetchRowId = PropBool(value, prop);
      return true;
    case prRawAsString:
      FRawAsString = PropBool(value, prop);
      return true;
    case prNumberAsString:
      FNumberAsString = PropBool(value, prop);
      return true;
    default:
      return TCRCommand::SetProp(prop, value);
  }
}

bool TOCICommand::GetProp(int prop, TPropValue& value) {
  switch (prop) {
    case prScanParams:
      value = FScanParams;
      return true;
    case prSQLType:
      value = static_cast<int32_t>(FSQLType);
      return true;
    case prRowsProcessed:
      value = static_cast<int32_t>(FRowsProcessed > 0 ? FRowsProcessed : FExecRowCount);
      return true;
    case prErrorOffset:
      value = static_cast<int32_t>(MapNormalizedOffset(TrimRight(FSQL), FParseErrorOffset));
      return true;
    case prFetchRowId:
      value = FFetchRowId;
      return true;
    default:
      return TCRCommand::GetProp(prop, value);
  }
}

}  // namespace tarnwick
