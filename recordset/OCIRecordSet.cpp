#include "recordset/OCIRecordSet.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dataset/text/DateTimeUtils.h"
#include "dataset/text/NumberText.h"
#include "oracle/OraError.h"
#include "recordset/RecordBytes.h"

namespace tarnwick {

namespace {

using record_bytes::Load;
using record_bytes::Store;

[[noreturn]] void NotSupported() {
  RaiseError(LoadResString(Daconsts::SDataTypeNotSupported));
}

// The heap codes: values kept in the string heap, fetched through the side buffer.
bool IsHeapCode(uint16_t code) {
  return code == dcExtString || code == dcExtVarBytes || code == dcExtWideString;
}

// The codes this record set fetches through the side buffer: the heap codes, and the Oracle
// number, whose 22 bytes (SQLT_VNU) go from the side buffer into a number object of the record,
// a buffer of the string heap.
bool IsSideFetched(uint16_t code) {
  return IsHeapCode(code) || code == dcNumber;
}

}  // namespace

TOCIRecordSet::TOCIRecordSet() {
  FFetchRows = 25;
  SetCommand(CreateCommand());
}

TOCIRecordSet::~TOCIRecordSet() {
  try {
    Close();
  } catch (...) {
    // A destructor reports nothing; the handles go with the command.
  }
}

std::unique_ptr<TCRCommand> TOCIRecordSet::CreateCommand() {
  return std::make_unique<TOCICommand>();
}

void TOCIRecordSet::SetCommand(std::unique_ptr<TCRCommand> command) {
  auto* oci = dynamic_cast<TOCICommand*>(command.get());
  if (!oci) RaiseError("An Oracle record set needs an Oracle command");
  TCRRecordSet::SetCommand(std::move(command));
  FOCICommand = oci;
  FConnection = oci->GetOCIConnection();
}

void TOCIRecordSet::SetConnection(TCRConnection* connection) {
  TCRRecordSet::SetConnection(connection);
  FConnection = FOCICommand->GetOCIConnection();
}

bool TOCIRecordSet::SetProp(int prop, const TPropValue& value) {
  switch (prop) {
    case prFetchRows:
      FreeFetchBlock();
      return TCRRecordSet::SetProp(prop, value);
    case prAutoClose:
      FAutoClose = PropBool(value, prop);
      return true;
    case prDeferredLobRead:
      FDeferredLobRead = PropBool(value, prop);
      return true;
    default:
      return TCRRecordSet::SetProp(prop, value);
  }
}

bool TOCIRecordSet::CanFetchBack() const {
  return FOCICommand->GetCursor() && FOCICommand->GetCursor()->Scrollable;
}

bool TOCIRecordSet::NeedConvertEOL() const {
  return FConnection && FConnection->GetConvertEOL();
}

// --- prepare, describe, open, close --------------------------------------------------------

void TOCIRecordSet::InitFetchCursor() {
  // Cursors returned by PL/SQL parameters are not read by this record set: the fetch cursor is
  // always the command's own.
  FFetchCursor = FOCICommand->GetCursor().get();
}

void TOCIRecordSet::SetCommandType() {
  const uint16_t kind = FOCICommand->SQLType();
  if (kind == SQL_UNKNOWN)
    FCommandType = ctUnknown;
  else if (kind == SQL_SELECT)
    FCommandType = ctCursor;
  else if (!FOCICommand->NativeCursor() && FFetchCursor && FFetchCursor->State >= csExecuted)
    FCommandType = ctCursor;
  else
    FCommandType = ctStatement;
}

void TOCIRecordSet::InternalPrepare() {
  if (FOCICommand->NativeCursor()) FOCICommand->Prepare();
  InitFetchCursor();
  SetCommandType();
}

void TOCIRecordSet::InternalUnPrepare() {
  if (FOCICommand->GetCursorState() != csInactive) FOCICommand->Finish();
  FFetchCursor = nullptr;
  FCommandType = ctUnknown;
}

void TOCIRecordSet::InternalInitFields() {
  // New fields: nothing of the side buffer of the fields before them may stay.
  FreeFetchBlock();
  TOCICommand& cmd = *FOCICommand;
  const TCursorState oldState = cmd.GetCursorState();
  if (cmd.NativeCursor()) {
    if (oldState == csInactive) cmd.Prepare();
    InitFetchCursor();
    auto restore = [&] {
      if (oldState == csInactive && cmd.GetActive()) cmd.Finish();
    };
    try {
      if (cmd.SQLType() != SQL_SELECT) {
        restore();
        return;
      }
      if (cmd.GetCallStyle() != TOCICallStyle::OCI80)
        RaiseError("Describing a query needs the Oracle 8 Call Interface");
      if (cmd.GetCursorState() < csExecuted) {
        if (cmd.GetCursorState() < csBound) cmd.BindParams();
        cmd.ExecuteDescribeOnly();
      }
      {
        TOCIConnectionLock lock(*FConnection);
        for (int n = 1;; ++n) {
          TOCIFieldInfo info;
          if (!cmd.GetFieldDesc(n, info, FLongStrings, FFlatBuffers)) break;
          auto desc = std::make_unique<TFieldDesc>();
          desc->Name = info.Name;
          desc->ActualName = info.Name;
          desc->DataType = info.DataType;
          desc->SubDataType = info.SubDataType;
          desc->Length = info.Length;
          desc->ByteLength = info.ByteLength;
          desc->Scale = info.Scale;
          desc->Size = info.Size;
          desc->Fixed = info.Fixed;
          desc->Required = info.Required;
          desc->ActualFieldNo = static_cast<uint16_t>(n);
          desc->FieldNo = static_cast<uint16_t>(FFields.Count() + 1);
          FFields.Add(std::move(desc));
        }
      }
    } catch (...) {
      try {
        restore();
      } catch (...) {
      }
      throw;
    }
    restore();
  } else {
    InitFetchCursor();
    cmd.CheckActive();
    RaiseError("Describing a cursor of another statement is not supported");
  }
}

void TOCIRecordSet::InternalOpen() {
  FFetchEnd = false;
  FFetchedRows = 0;
  FEofFlag = false;
  ExecFetch();
}

void TOCIRecordSet::ExecFetch() {
  bool ok = false;
  try {
    DoExecFetch();
    ok = true;
  } catch (...) {
    if (AfterExecFetch) {
      try {
        AfterExecFetch(false);
      } catch (...) {
      }
    }
    throw;
  }
  if (ok && FFetchAll) FetchAll();
  if (AfterExecFetch) AfterExecFetch(true);
}

void TOCIRecordSet::DoExecFetch() {
  TOCICommand& cmd = *FOCICommand;
  const TCommandType oldType = FCommandType;
  const bool executed = cmd.GetCursorState() >= csExecuted;
  if (cmd.NativeCursor() && !executed) {
    if (!FPrepared) InternalPrepare();
    cmd.Execute();
  }
  InitFetchCursor();
  SetCommandType();
  if (FCommandType != ctCursor) RaiseError(LoadResString(Oraconsts::SNotRows));
  if (oldType != ctCursor) InitFields();
  if (CanFetchBack()) RaiseError("Scrollable cursors are not supported");
  FPieceFetch = false;
}

void TOCIRecordSet::ExecCommand() {
  TOCICommand& cmd = *FOCICommand;
  bool preparedHere = false;
  if (FCommandType != ctCursor && !FPrepared) {
    cmd.Prepare();
    preparedHere = true;
  }
  try {
    cmd.Execute();
  } catch (...) {
    if (preparedHere && cmd.GetActive()) {
      try {
        cmd.Finish();
      } catch (...) {
      }
    }
    throw;
  }
  InitFetchCursor();
  SetCommandType();
  if (preparedHere && FCommandType != ctCursor && cmd.GetActive()) {
    cmd.Finish();
    FFetchCursor = nullptr;
  }
}

void TOCIRecordSet::InternalClose() {
  TOCICommand& cmd = *FOCICommand;
  if (cmd.GetCursorState() > csPrepared) cmd.SetCursorState(csPrepared);
  FFetchEnd = false;
  FreeFetchBlock();
  std::vector<ub2>().swap(FReturnCodes);
  if (!FPrepared) InternalUnPrepare();
}

void TOCIRecordSet::Reopen() {
  TOCICommand& cmd = *FOCICommand;
  if (cmd.GetCursorState() == csInactive) {
    Close();
    Open();
    return;
  }
  // The statement is executed again on the same handle.
  FreeData();
  FreeFetchBlock();
  if (cmd.GetCursorState() > csPrepared) cmd.SetCursorState(csPrepared);
  InitData();
  InternalOpen();
}

// --- fetching --------------------------------------------------------------------------------

bool TOCIRecordSet::GetEOF() const {
  // Fetching is always blocking here: the fetch event is signalled whenever this runs.
  return TMemData::GetEOF();
}

void TOCIRecordSet::SetToEnd() {
  if (FOCICommand->GetCursorState() < csCanceled) FetchAll();
  TMemData::SetToEnd();
}

void TOCIRecordSet::FetchAll() {
  TOCICommand& cmd = *FOCICommand;
  if (cmd.GetCursorState() >= csFetchingAll || !cmd.GetActive()) return;
  cmd.SetCursorState(csFetchingAll);
  bool ok = false;
  try {
    while (Fetch(false)) {
    }
    ok = true;
  } catch (...) {
    cmd.SetCursorState(csInactive);
    if (AfterFetchAll) {
      try {
        AfterFetchAll(false);
      } catch (...) {
      }
    }
    throw;
  }
  if (AfterFetchAll) AfterFetchAll(ok);
}

bool TOCIRecordSet::Fetch(bool fetchBack) {
  TOCICommand& cmd = *FOCICommand;
  bool result = false;
  if (cmd.GetCursorState() != csInactive && cmd.GetCursorState() != csCanceled) {
    if (OnFetch) {
      bool cancel = false;
      OnFetch(true, cancel);
      if (cancel) {
        if (cmd.GetCursorState() == csFetchingAll) cmd.SetCursorState(csFetching);
        return false;
      }
    }
    try {
      result = FetchArray(fetchBack);
    } catch (...) {
      if (OnFetch) {
        bool cancel = false;
        try {
          OnFetch(false, cancel);
        } catch (...) {
        }
      }
      throw;
    }
    if (OnFetch) {
      bool cancel = false;
      OnFetch(false, cancel);
    }
  }
  // With AutoClose the statement goes as soon as its rows are all read.
  if (cmd.GetCursorState() == csCanceled && FAutoClose) {
    InternalUnPrepare();
    FPrepared = false;
  }
  return result;
}

int32_t TOCIRecordSet::SideSlotSize(const TFieldDesc& desc) const {
  switch (desc.DataType) {
    case dcExtString:
      return desc.TextBytes() + 1;
    case dcExtWideString:
      return desc.Length * 2 + 2;
    case dcExtVarBytes:
      return desc.Length + 2;
    case dcNumber:
      return 22;
    case dcMemo:
      if (desc.SubDataType == dcString) return desc.TextBytes() + 1;
      if (desc.SubDataType == dcWideString) return desc.Length * 2 + 2;
      return static_cast<int32_t>(sizeof(void*));
    case dcXML:
      return static_cast<int32_t>(2 * sizeof(void*));
    default:
      return static_cast<int32_t>(sizeof(void*));
  }
}

int32_t TOCIRecordSet::SideOffset(const TFieldDesc& desc) const {
  const size_t i = static_cast<size_t>(desc.FieldNo - 1);
  return i < FSideOffsets.size() ? FSideOffsets[i] : -1;
}

void TOCIRecordSet::AllocFetchBlock() {
  if (!FFetchBlock.empty()) return;
  FSideOffsets.assign(static_cast<size_t>(FFields.Count()), -1);
  FSideFields.clear();
  int32_t rowSize = 0;
  for (const auto& d : FFields) {
    if (d->HasParent() || !IsComplexFieldType(d->DataType)) continue;
    FSideOffsets[static_cast<size_t>(d->FieldNo - 1)] = rowSize;
    FSideFields.push_back({rowSize, d->Offset, d->DataType, d->Fixed && TrimFixedChar});
    rowSize += SideSlotSize(*d);
  }
  FFetchBlockRowSize = rowSize;
  FFetchBlock.assign(static_cast<size_t>(rowSize) * static_cast<size_t>(FFetchRows), 0);
}

void TOCIRecordSet::FreeFetchBlock() {
  std::vector<uint8_t>().swap(FFetchBlock);
  FFetchBlockRowSize = 0;
  // The slots belong to the fields of the statement that made them.
  FSideOffsets.clear();
  FSideFields.clear();
}

void TOCIRecordSet::DefineBlock(uint8_t* firstRecord, int32_t itemSize) {
  TOCICommand& cmd = *FOCICommand;
  OCIStmt* stmt = FFetchCursor ? FFetchCursor->GetOCIStmt() : cmd.GetCursor()->GetOCIStmt();
  OCIError* err = cmd.ErrorHandle();
  const bool bothTen = OCIVersion >= 10000 && FConnection->GetOracleVersion() >= 10000;
  // Every define of the block writes its column return codes here, one run of FetchRows codes
  // per field; the defines are all made again whenever this is resized.
  FReturnCodes.assign(static_cast<size_t>(FFields.Count()) * static_cast<size_t>(FFetchRows), 0);
  TOCIConnectionLock lock(*FConnection);
  for (const auto& d : FFields) {
    if (d->HasParent()) continue;
    ub2 dty;
    switch (d->DataType) {
      case dcInteger:
        dty = SQLT_INT;
        break;
      case dcFloat:
        dty = bothTen ? SQLT_BDOUBLE : SQLT_FLT;
        break;
      case dcDateTime:
        dty = SQLT_DAT;
        break;
      case dcString:
      case dcExtString:
        dty = SQLT_STR;
        break;
      case dcNumber:
        dty = SQLT_VNU;
        break;
      default:
        // Wide text, bytes, large objects, objects, timestamps and intervals are described but
        // not fetched by this record set.
        NotSupported();
    }
    const int32_t side = SideOffset(*d);
    void* value;
    ub4 valueSkip;
    const sb4 valueSize = DefineValueSize(*d);
    if (side >= 0) {
      value = FFetchBlock.data() + side;
      valueSkip = static_cast<ub4>(FFetchBlockRowSize);
    } else {
      value = firstRecord + d->Offset;
      valueSkip = static_cast<ub4>(itemSize);
    }
    void* indicator = firstRecord + FDataSize + 2 * (d->FieldNo - 1);
    ub2* codes = ReturnCodes(*d);
    OCIDefine* define = nullptr;
    cmd.Check(OCIDefineByPos(stmt, &define, err, d->ActualFieldNo, value, valueSize, dty, indicator,
                             nullptr, codes, OCI_DEFAULT));
    d->DefineHandle = define;
    if (FConnection->CharsetId() != 0 && d->DataType != dcNumber) {
      ub2 csid = FConnection->CharsetId();
      cmd.Check(OCIAttrSet(define, OCI_HTYPE_DEFINE, &csid, 0, OCI_ATTR_CHARSET_ID, err));
    }
    cmd.Check(
        OCIDefineArrayOfStruct(define, err, valueSkip, static_cast<ub4>(itemSize), 0, sizeof(ub2)));
  }
}

int32_t TOCIRecordSet::DefineValueSize(const TFieldDesc& desc) const {
  if (SideOffset(desc) >= 0) return SideSlotSize(desc);
  return desc.SubDataType == dcString ? desc.TextBytes() + 1 : desc.Size;
}

ub2* TOCIRecordSet::ReturnCodes(const TFieldDesc& desc) {
  return FReturnCodes.data() + static_cast<size_t>(desc.FieldNo - 1) * FFetchRows;
}

void TOCIRecordSet::CheckTruncation(PBlockHeader block, int32_t fetched, int32_t rowsBefore) {
  if (FReturnCodes.empty()) return;
  const int count = std::min(fetched, FFetchRows);
  // Where each defined field keeps its indicator and its return codes; looked up once per
  // fetch, as every value of every row is checked.
  struct TDefined {
    const TFieldDesc* desc;
    std::size_t indicator;
    const ub2* codes;
  };
  std::vector<TDefined> defined;
  defined.reserve(static_cast<std::size_t>(FFields.Count()));
  for (const auto& d : FFields) {
    if (d->HasParent()) continue;
    defined.push_back(
        {d.get(), static_cast<std::size_t>(FDataSize + 2 * (d->FieldNo - 1)), ReturnCodes(*d)});
  }
  for (int i = 0; i < count; ++i) {
    const uint8_t* record = ItemRecord(FBlockMan.BlockItem(block, i));
    for (const TDefined& f : defined) {
      const int16_t indicator = Load<int16_t>(record + f.indicator);
      // An indicator above 0 is the length the value had; -2, one too large for it.
      if (f.codes[i] != 1406 && indicator <= 0 && indicator != -2) continue;
      const TFieldDesc& d = *f.desc;
      const int32_t room = DefineValueSize(d) - 1;  // a text's NUL takes one byte
      const std::string length =
          indicator > 0 ? std::to_string(indicator) + " bytes" : "more bytes than fit";
      RaiseOraError(1406, "ORA-01406: fetched column value was truncated: column " + d.Name +
                              ", row " + std::to_string(rowsBefore + i + 1) + " (" + length +
                              ", room for " + std::to_string(room) + ")");
    }
  }
}

void TOCIRecordSet::FreeBlockValues(PBlockHeader block, int from, int count) {
  if (!FHasComplexFields) return;
  for (int i = from; i < from + count; ++i)
    FreeComplexFields(ItemRecord(FBlockMan.BlockItem(block, i)), true);
}

bool TOCIRecordSet::FetchArray(bool fetchBack) {
  TOCICommand& cmd = *FOCICommand;
  if (fetchBack) RaiseError("Scrollable cursors are not supported");
  if (FFetchedRows == static_cast<int32_t>(cmd.RowsProcessed()) && FFetchEnd && !FBofFlag)
    return false;
  if (cmd.GetCursorState() < csBound) return false;

  const int32_t itemSize = FBlockMan.ItemSize();
  const bool newBlock = !FBlockMan.FirstBlock || !FUniDirectional;
  PBlockHeader block = newBlock ? nullptr : FBlockMan.FirstBlock;
  // A block reused by a one-way walk keeps its old records until rows replace them.
  const int oldUsed = newBlock ? 0 : block->UsedItems;

  // What a failure puts back. A fatal error may close this record set from inside the fetch
  // (the session disconnects and closes its datasets); the generation tells.
  const int32_t generation = FRefreshIteration;
  PItemHeader savedFirst = FFirstItem;
  PItemHeader savedLast = FLastItem;
  const int32_t savedFetched = FFetchedRows;
  int converted = 0;
  try {
    if (newBlock) {
      FBlockMan.AllocBlock(block, static_cast<uint16_t>(FFetchRows));
      if (FHasComplexFields) {
        AllocFetchBlock();
        // The heap slots of a new block are written by the conversion below for the rows that
        // come and emptied for the rest before they go to the free list.
        for (const SideField& f : FSideFields)
          if (!IsSideFetched(f.dataType)) NotSupported();
      }
      DefineBlock(ItemRecord(FBlockMan.BlockItem(block, 0)), itemSize);
    } else if (FHasComplexFields) {
      AllocFetchBlock();
    }
    if (FHasComplexFields) {
      // A NULL value leaves its slot untouched: start every slot empty.
      for (int i = 0; i < FFetchRows; ++i) {
        uint8_t* row = FFetchBlock.data() + static_cast<size_t>(i) * FFetchBlockRowSize;
        for (const SideField& f : FSideFields) row[f.side] = 0;
      }
    }

    int32_t rows = FFetchRows;
    if (FFetchEnd && static_cast<int32_t>(cmd.RowsProcessed()) > FFetchedRows)
      rows = std::min(FFetchRows, static_cast<int32_t>(cmd.RowsProcessed()) - FFetchedRows);
    const bool wasFetchEnd = FFetchEnd;
    const int32_t fetched = cmd.InternalFetch(rows, OCI_FETCH_NEXT);
    // A value the client cut to fit its buffer is refused, never stored.
    CheckTruncation(block, fetched, FFetchedRows);
    FFetchedRows += fetched;

    if (fetched <= 0) {
      if (newBlock) FBlockMan.FreeBlock(block);
      FreeFetchBlock();
      return false;
    }

    // Values kept in the heap: copied out of the side buffer, NULLs as empty strings (or an
    // Oracle number of length 0).
    if (FHasComplexFields) {
      for (int i = 0; i < fetched; ++i) {
        uint8_t* record = ItemRecord(FBlockMan.BlockItem(block, i));
        const uint8_t* row = FFetchBlock.data() + static_cast<size_t>(i) * FFetchBlockRowSize;
        for (const SideField& f : FSideFields) {
          // A reused record gives its old value back to the heap first.
          if (i < oldUsed) FStringHeap.DisposeBuf(Load<void*>(record + f.offset));
          if (f.dataType == dcNumber) {
            void* number = FStringHeap.NewBuf(kOraNumberSize);
            std::memcpy(number, row + f.side, kOraNumberSize);
            Store(record + f.offset, number);
            continue;
          }
          const char* text = reinterpret_cast<const char*>(row + f.side);
          Store(record + f.offset, FStringHeap.AllocStr(text, f.trim));
        }
        converted = i + 1;
      }
    }

    for (int i = 0; i < fetched; ++i) {
      PItemHeader item = FBlockMan.BlockItem(block, i);
      item->Block = block;
      item->ItemFlag = flUsed;
      item->Rollback = nullptr;
      item->Status = isUnmodified;
      item->UpdateResult = urNone;
      item->Prev = FLastItem;
      item->Next = nullptr;
      item->Order = FLastItem ? FLastItem->Order + 1 : 1;
      if (FLastItem)
        FLastItem->Next = item;
      else
        FFirstItem = item;
      FLastItem = item;
    }
    if (!wasFetchEnd) FRecordCount += fetched;

    if (fetched < FFetchRows) {
      FFetchEnd = true;
      for (int i = fetched; i < FFetchRows; ++i) {
        PItemHeader item = FBlockMan.BlockItem(block, i);
        uint8_t* record = ItemRecord(item);
        for (const SideField& f : FSideFields) {
          if (!newBlock && i < oldUsed) FStringHeap.DisposeBuf(Load<char*>(record + f.offset));
          Store<void*>(record + f.offset, nullptr);
        }
        item->Block = block;
        item->ItemFlag = flFree;
        FBlockMan.PushFree(item);
      }
    }
    block->UsedItems = static_cast<uint16_t>(fetched);
    if (FHasComplexFields &&
        (cmd.GetCursorState() == csInactive || cmd.GetCursorState() == csCanceled))
      FreeFetchBlock();
    return true;
  } catch (...) {
    if (FRefreshIteration == generation) {
      if (newBlock && block) {
        FreeBlockValues(block, 0, converted);
        FFirstItem = savedFirst;
        FLastItem = savedLast;
        if (FLastItem) FLastItem->Next = nullptr;
        FBlockMan.FreeBlock(block);
      }
      FFetchedRows = savedFetched;
    }
    throw;
  }
}

// --- values ----------------------------------------------------------------------------------

bool TOCIRecordSet::IsBlobFieldType(uint16_t dataType) const {
  switch (dataType) {
    case dcBlob:
    case dcMemo:
    case dcOraBlob:
    case dcOraClob:
    case dcBFile:
    case dcCFile:
      return true;
    default:
      return false;
  }
}

bool TOCIRecordSet::IsComplexFieldType(uint16_t dataType) const {
  switch (dataType) {
    case dcObject:
    case dcReference:
    case dcArray:
    case dcTable:
    case dcExtString:
    case dcExtVarBytes:
    case dcExtWideString:
    case dcCursor:
    case dcTimeStamp:
    case dcTimeStampTZ:
    case dcTimeStampLTZ:
    case dcIntervalYM:
    case dcIntervalDS:
    case dcNumber:
    case dcXML:
      return true;
    default:
      return IsBlobFieldType(dataType);
  }
}

void TOCIRecordSet::CreateComplexFields(void* recBuf, bool withBlob) {
  for (const auto& d : FFields) {
    if (d->HasParent() || !IsComplexFieldType(d->DataType)) continue;
    if (IsSideFetched(d->DataType)) {
      Store<void*>(static_cast<uint8_t*>(recBuf) + d->Offset, nullptr);
      continue;
    }
    if (IsBlobFieldType(d->DataType) && !withBlob) continue;
    NotSupported();
  }
}

void TOCIRecordSet::FreeComplexFields(void* recBuf, bool withBlob) {
  TData::FreeComplexFields(recBuf, withBlob);
  for (const auto& d : FFields) {
    if (d->HasParent() || d->DataType != dcNumber) continue;
    uint8_t* at = static_cast<uint8_t*>(recBuf) + d->Offset;
    void* number = Load<void*>(at);
    // The heap may have been cleared already, with every buffer in it.
    if (number && !FStringHeap.Empty()) {
      const bool shared = TStringHeap::UseCount(number) > TStringHeap::kFreeCount + 1;
      FStringHeap.DisposeBuf(number);
      if (!shared) Store<void*>(at, nullptr);
    }
  }
}

void TOCIRecordSet::AddRefComplexFields(void* recBuf) {
  TData::AddRefComplexFields(recBuf);
  for (const auto& d : FFields) {
    if (d->HasParent() || d->DataType != dcNumber) continue;
    FStringHeap.AddRef(Load<void*>(static_cast<uint8_t*>(recBuf) + d->Offset));
  }
}

bool TOCIRecordSet::GetNull(int fieldNo, const void* recBuf) const {
  const auto* bytes = static_cast<const uint8_t*>(recBuf);
  if (Load<int16_t>(bytes + FDataSize + 2 * (fieldNo - 1)) == -1) return true;
  const TFieldDesc& d = *FFields[fieldNo - 1];
  // A date before year 1 cannot be shown: it reads as NULL.
  if ((d.DataType == dcDate || d.DataType == dcDateTime) && bytes[d.Offset] < 100) return true;
  return false;
}

void TOCIRecordSet::SetNull(int fieldNo, void* recBuf, bool isNull) {
  Store<int16_t>(static_cast<uint8_t*>(recBuf) + FDataSize + 2 * (fieldNo - 1),
                 isNull ? int16_t{-1} : int16_t{0});
}

void TOCIRecordSet::GetFieldData(const TFieldDesc& desc, const void* recBuf, void* dest) const {
  if (desc.DataType == dcFixedChar || desc.DataType == dcFixedWideChar) {
    std::memcpy(dest, static_cast<const uint8_t*>(recBuf) + desc.Offset, desc.Size);
    return;
  }
  if (desc.DataType == dcNumber) {
    // The 22 bytes of the number object: a length byte and the Oracle NUMBER; a record without
    // a number object reads as length 0.
    const void* number = Load<const void*>(static_cast<const uint8_t*>(recBuf) + desc.Offset);
    if (number)
      std::memcpy(dest, number, kOraNumberSize);
    else
      std::memset(dest, 0, kOraNumberSize);
    return;
  }
  TMemData::GetFieldData(desc, recBuf, dest);
}

double TOCIRecordSet::OraDateToDateTime(const uint8_t* b) {
  const int year = std::abs((b[0] - 100) * 100 + (b[1] - 100));
  const double date = EncodeDate(year, b[2], b[3]);
  const double time = EncodeTime(b[4] - 1, b[5] - 1, b[6] - 1, 0);
  return date >= 0 ? date + time : date - time;
}

double TOCIRecordSet::OraDateToMSecs(const uint8_t* buf) {
  return DateTimeToMSecs(OraDateToDateTime(buf));
}

void TOCIRecordSet::DateTimeToOraDate(double value, uint8_t* b) {
  const TDateTimeParts parts = DecodeDateTime(value);
  b[0] = static_cast<uint8_t>(parts.Date.Year / 100 + 100);
  b[1] = static_cast<uint8_t>(parts.Date.Year % 100 + 100);
  b[2] = static_cast<uint8_t>(parts.Date.Month);
  b[3] = static_cast<uint8_t>(parts.Date.Day);
  b[4] = static_cast<uint8_t>(parts.Time.Hour + 1);
  b[5] = static_cast<uint8_t>(parts.Time.Minute + 1);
  b[6] = static_cast<uint8_t>(parts.Time.Second + 1);
}

void TOCIRecordSet::GetDateFromBuf(const void* recBuf, uint32_t offset, TDateFormat format,
                                   void* dest) const {
  const uint8_t* b = static_cast<const uint8_t*>(recBuf) + offset;
  try {
    switch (format) {
      case dfMSecs:
        Store(dest, OraDateToMSecs(b));
        return;
      case dfDateTime:
        Store(dest, OraDateToDateTime(b));
        return;
      default:
        return;
    }
  } catch (const EConvertError&) {
    Store<uint64_t>(dest, 0);
  }
}

void TOCIRecordSet::PutDateToBuf(void* recBuf, uint32_t offset, TDateFormat format,
                                 const void* source) const {
  double value = Load<double>(source);
  if (format == dfMSecs) value = MSecsToDateTime(value);
  DateTimeToOraDate(value, static_cast<uint8_t*>(recBuf) + offset);
}

}  // namespace tarnwick
