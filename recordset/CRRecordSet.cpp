#include "recordset/CRRecordSet.h"

namespace tarnwick {

TCRRecordSet::TCRRecordSet() = default;

TCRRecordSet::~TCRRecordSet() = default;

void TCRRecordSet::SetCommand(std::unique_ptr<TCRCommand> command) {
  FCommand = std::move(command);
}

void TCRRecordSet::InternalPrepare() {
  FCommand->Prepare();
}

void TCRRecordSet::InternalUnPrepare() {
  FCommand->Unprepare();
  FCommandType = ctUnknown;
}

void TCRRecordSet::InternalOpen() {
  ExecFetch();
}

void TCRRecordSet::Prepare() {
  if (FPrepared) return;
  TData::Prepare();
  if (FCommandType != ctCursor) return;
  try {
    InitFields();
  } catch (...) {
    FPrepared = false;
    try {
      InternalUnPrepare();
    } catch (...) {
      // The describe's failure is the one the caller sees.
    }
    throw;
  }
}

void TCRRecordSet::UnPrepare() {
  TData::UnPrepare();
}

void TCRRecordSet::Open() {
  try {
    TData::Open();
  } catch (...) {
    if (!FPrepared) {
      try {
        InternalUnPrepare();
      } catch (...) {
        // The open's failure is the one the caller sees.
      }
    }
    throw;
  }
}

void TCRRecordSet::Close() {
  TData::Close();
}

void TCRRecordSet::GetNextRecord(void* recBuf) {
  if (GetEOF()) return;
  if (!FFirstItem) {
    if (!Fetch(false)) {
      FEofFlag = true;
      return;
    }
    FCurrentItem = FFirstItem;
  } else {
    FCurrentItem = FCurrentItem ? FCurrentItem->Next : FFirstItem;
  }
  while (!FCurrentItem) {
    PItemHeader last = FLastItem;
    if (!Fetch(false)) {
      FEofFlag = true;
      return;
    }
    // A reused block is linked after its own old records: cut the ring open again.
    if (FUniDirectional || CanFetchBack()) {
      if (FFirstItem) FFirstItem->Prev = nullptr;
      if (FLastItem) FLastItem->Next = nullptr;
    }
    FCurrentItem = (!last || FUniDirectional) ? FFirstItem : last->Next;
  }
  FBofFlag = false;
  FEofFlag = false;
  if (recBuf) FBlockMan.GetRecord(FCurrentItem, recBuf);
}

void TCRRecordSet::GetPriorRecord(void* recBuf) {
  if (FUniDirectional) {
    FBofFlag = true;
    FCurrentItem = nullptr;
    return;
  }
  TMemData::GetPriorRecord(recBuf);
}

void TCRRecordSet::FetchAll() {
  while (Fetch(false)) {
  }
}

void TCRRecordSet::SetConnection(TCRConnection* connection) {
  FCommand->SetConnection(connection);
}

void TCRRecordSet::SetSQL(const std::string& sql) {
  FCommand->SetSQL(sql);
}

bool TCRRecordSet::SetProp(int prop, const TPropValue& value) {
  switch (prop) {
    case prUniDirectional:
      FUniDirectional = PropBool(value, prop);
      return true;
    case prFetchRows: {
      const int32_t rows = PropInt(value, prop);
      if (rows < 1 || rows > 65535)
        throw EAssertionFailed("FetchRows " + std::to_string(rows) + " is out of range");
      FFetchRows = rows;
      return true;
    }
    case prFetchAll:
      FFetchAll = PropBool(value, prop);
      return true;
    case prLongStrings:
      FLongStrings = PropBool(value, prop);
      return true;
    case prKeepEmptyStrings:
      KeepEmptyStrings = PropBool(value, prop);
      return true;
    case prFlatBuffers:
      FFlatBuffers = PropBool(value, prop);
      return true;
    default:
      UnknownPropCode(prop);
  }
}

bool TCRRecordSet::GetProp(int prop, TPropValue&) {
  UnknownPropCode(prop);
}

}  // namespace tarnwick
