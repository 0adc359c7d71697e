#include "dataset/MemDS.h"

#include <cstring>

#include "oracle/OraError.h"

namespace tarnwick {

namespace {

// Positions inside the record info.
constexpr int kInfoRecordNumber = 0;
constexpr int kInfoUpdateStatus = 4;
constexpr int kInfoBookmarkFlag = 5;
constexpr int kInfoComplexRefs = 6;

}  // namespace

TMemDataSet::TMemDataSet(std::string name)
    : TMemDataSet(std::move(name), std::make_unique<TMemData>()) {}

TMemDataSet::TMemDataSet(std::string name, std::unique_ptr<TData> store)
    : TDataSet(std::move(name)), FOwnedData(std::move(store)) {
  SetIRecordSet(FOwnedData.get());
}

TMemDataSet::~TMemDataSet() {
  BeginDestroy();
  try {
    UnPrepare();
  } catch (...) {
    // A destructor cannot pass the error on; the store is freed below in any case.
  }
}

void TMemDataSet::SetIRecordSet(TData* store) {
  FData = store;
}

void TMemDataSet::SetCachedUpdates(bool value) {
  if (value) NotAvailable("Cached updates");
}
void TMemDataSet::ApplyUpdates() {
  NotAvailable("Cached updates");
}
void TMemDataSet::CommitUpdates() {
  NotAvailable("Cached updates");
}
void TMemDataSet::CancelUpdates() {
  NotAvailable("Cached updates");
}

// ---- Prepare ----

void TMemDataSet::Prepare() {
  if (Prepared()) return;
  FData->Prepare();
  CreateFieldDefs();
}

void TMemDataSet::UnPrepare() {
  if (Active()) Close();
  FData->UnPrepare();
  if (!Destroying()) FieldDefs().SetUpdated(false);
}

void TMemDataSet::SetPrepared(bool value) {
  if (value)
    Prepare();
  else
    UnPrepare();
}

// ---- Field definitions ----

TFieldType TMemDataSet::GetFieldType(uint16_t dataType) const {
  switch (dataType) {
    case dcUnknown:
      return ftUnknown;
    case dcString:
    case dcExtString:
      return ftString;
    case dcSmallint:
      return ftSmallint;
    case dcInteger:
      return ftInteger;
    case dcFloat:
      return ftFloat;
    case dcDate:
      return ftDate;
    case dcTime:
      return ftTime;
    case dcDateTime:
      return ftDateTime;
    case dcBoolean:
      return ftBoolean;
    case dcBlob:
      return ftBlob;
    case dcMemo:
      return ftMemo;
    case dcObject:
      return ftADT;
    case dcReference:
      return ftReference;
    case dcArray:
      return ftArray;
    case dcTable:
      return ftDataSet;
    case dcVariant:
      return ftVariant;
    case dcBytes:
      return ftBytes;
    case dcVarBytes:
    case dcExtVarBytes:
      return ftVarBytes;
    case dcLargeint:
      return ftLargeint;
    case dcWideString:
    case dcExtWideString:
      return ftWideString;
    default:
      DatabaseError(LoadResString(Daconsts::SUnknownDataType));
  }
}

void TMemDataSet::CreateFieldDefs() {
  TFieldDefs& defs = FieldDefs();
  if (defs.Updated()) return;
  defs.BeginUpdate();
  try {
    defs.Clear();
    const TFieldDescs& descs = FData->Fields();
    for (int i = 0; i < descs.Count(); ++i) {
      const TFieldDesc& desc = *descs[i];
      if (desc.Hidden || (desc.HasParent() && !desc.ParentField->Hidden)) continue;
      const TFieldType type = GetFieldType(desc);
      int size = 0;
      int bufferSize = 0;
      switch (type) {
        case ftString:
        case ftFixedChar:
        case ftWideString:
        case ftGuid:
          size = desc.Length == 0 ? 1 : desc.Length;
          // What the store copies out: the record's bytes, or the heap text with its NUL.
          bufferSize = desc.DataType == dcString      ? desc.Size
                       : desc.DataType == dcExtString ? desc.TextBytes() + 1
                                                      : 0;
          break;
        case ftBytes:
        case ftVarBytes:
          size = desc.Length;
          break;
        default:
          break;
      }
      if (type == ftUnknown) continue;
      TFieldDef* def = defs.AddFieldDef();
      def->Name = desc.Name;
      def->DataType = type;
      def->Size = size;
      def->BufferSize = bufferSize > size + 1 ? bufferSize : 0;
      def->SetRequired(desc.Required && FLocalConstraints);
      def->FieldNo = i + 1;
      switch (type) {
        case ftInteger:
        case ftFloat:
          def->Precision = desc.Length;
          break;
        case ftBCD:
          def->Precision = desc.Length;
          def->Size = desc.Scale;
          break;
        default:
          break;
      }
      if (desc.ReadOnly) def->Attributes |= faReadonly;
      if (desc.HiddenColumn) def->Attributes |= faHiddenCol;
      if (desc.Fixed) def->Attributes |= faFixed;
    }
  } catch (...) {
    defs.EndUpdate();
    throw;
  }
  defs.EndUpdate();
  defs.SetUpdated(true);
}

void TMemDataSet::InternalInitFieldDefs() {
  if (!FData->Active()) FData->InitFields();
  CreateFieldDefs();
}

// ---- Open and close ----

void TMemDataSet::InternalOpen() {
  FData->Open();
  CreateFieldDefs();
  if (DefaultFields()) {
    CreateFields();
  } else {
    for (const auto& def : FieldDefs()) {
      if (def->DataType != ftString) continue;
      TField* field = FindField(def->Name);
      if (!field) continue;
      CheckFieldCompatibility(*field, *def);
      field->SetSize(def->Size);
      if (auto* text = dynamic_cast<TStringField*>(field)) text->SetBufferSize(def->BufferSize);
    }
  }
  BindFields(true);
  FBookmarkSize = static_cast<int>(sizeof(TRecBookmark));
  FRecInfoOfs = GetRecordSize();
  FBookmarkOfs = FRecInfoOfs + RecInfoSize;
  FRecBufSize = FBookmarkOfs + FBookmarkSize;
}

void TMemDataSet::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FData->Close();
}

bool TMemDataSet::IsCursorOpen() const {
  return FData->Active();
}

int TMemDataSet::GetRecordSize() const {
  return FData->RecordSize();
}

// ---- Record buffers ----

TDataSet::TRecordBuffer TMemDataSet::AllocRecordBuffer() {
  auto buffer = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(FRecBufSize));
  buffer[FRecInfoOfs + kInfoComplexRefs] = 0;
  return buffer;
}

void TMemDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  // Taken over first, so that the storage goes also when releasing its references raises.
  const TRecordBuffer owned = std::move(buffer);
  if (!owned || !owned[FRecInfoOfs + kInfoComplexRefs]) return;
  owned[FRecInfoOfs + kInfoComplexRefs] = 0;
  FData->FreeComplexFields(owned.get(), true);
}

TGetResult TMemDataSet::GetRecord(uint8_t* buffer, TGetMode mode, bool) {
  uint8_t* info = buffer + FRecInfoOfs;
  if (info[kInfoComplexRefs]) {
    FData->FreeComplexFields(buffer, true);
    info[kInfoComplexRefs] = 0;
  }
  switch (mode) {
    case gmCurrent:
      FData->GetRecord(buffer);
      break;
    case gmNext:
      FData->GetNextRecord(buffer);
      break;
    case gmPrior:
      FData->GetPriorRecord(buffer);
      break;
  }
  if (FData->GetBOF()) return grBOF;
  if (FData->GetEOF()) return grEOF;
  const int32_t recNo = FData->GetRecordNo();
  std::memcpy(info + kInfoRecordNumber, &recNo, sizeof recNo);
  info[kInfoUpdateStatus] = FData->GetUpdateStatus();
  info[kInfoBookmarkFlag] = bfCurrent;
  if (FComplexFieldRefs) {
    info[kInfoComplexRefs] = 1;
    FData->AddRefComplexFields(buffer);
  }
  TRecBookmark bookmark;
  FData->GetBookmark(bookmark);
  SetBookmarkData(buffer, bookmark);
  return grOK;
}

TBookmarkFlag TMemDataSet::GetBookmarkFlag(const uint8_t* buffer) const {
  return static_cast<TBookmarkFlag>(buffer[FRecInfoOfs + kInfoBookmarkFlag]);
}

void TMemDataSet::SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag value) {
  buffer[FRecInfoOfs + kInfoBookmarkFlag] = value;
}

void TMemDataSet::GetBookmarkData(const uint8_t* buffer, TRecBookmark& bookmark) const {
  std::memcpy(&bookmark, buffer + FBookmarkOfs, sizeof bookmark);
}

void TMemDataSet::SetBookmarkData(uint8_t* buffer, const TRecBookmark& bookmark) const {
  std::memcpy(buffer + FBookmarkOfs, &bookmark, sizeof bookmark);
}

bool TMemDataSet::BookmarkValid(const TRecBookmark* bookmark) const {
  return FData->BookmarkValid(bookmark);
}

int TMemDataSet::CompareBookmarks(const TRecBookmark* a, const TRecBookmark* b) const {
  return FData->CompareBookmarks(a, b);
}

// ---- Navigation ----

void TMemDataSet::InternalFirst() {
  FData->SetToBegin();
}

void TMemDataSet::InternalLast() {
  FData->SetToEnd();
}

void TMemDataSet::InternalGotoBookmark(const TRecBookmark& bookmark) {
  FData->SetToBookmark(bookmark);
}

void TMemDataSet::InternalSetToRecord(uint8_t* buffer) {
  TRecBookmark bookmark;
  GetBookmarkData(buffer, bookmark);
  InternalGotoBookmark(bookmark);
}

int TMemDataSet::GetRecordCount() const {
  return Active() ? FData->GetRecordCount() : 0;
}

int TMemDataSet::GetRecNo() const {
  const uint8_t* buffer = Active() ? ActiveBuffer() : nullptr;
  if (!buffer) return 0;
  int32_t recNo = 0;
  std::memcpy(&recNo, buffer + FRecInfoOfs + kInfoRecordNumber, sizeof recNo);
  return recNo;
}

void TMemDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  DoBeforeScroll();
  Operation([&] {
    FData->SetRecordNo(value);
    Resync();
  });
  DoAfterScroll();
}

// ---- Field values ----

const uint8_t* TMemDataSet::GetActiveRecBuf() const {
  switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    default:
      // Edit, insert, calculated-field, filter and old-value states do not occur in this build.
      return nullptr;
  }
}

bool TMemDataSet::GetFieldData(const TField& field, void* buffer) const {
  const uint8_t* recBuf = GetActiveRecBuf();
  if (!recBuf) return false;
  if (field.FieldNo() <= 0) return false;
  bool isBlank = true;
  FData->GetField(field.FieldNo(), recBuf, buffer, isBlank);
  return !isBlank;
}

bool TMemDataSet::GetFieldData(int fieldNo, void* buffer) const {
  const uint8_t* recBuf = GetActiveRecBuf();
  if (!recBuf) return false;
  bool isBlank = true;
  FData->GetField(fieldNo, recBuf, buffer, isBlank);
  return !isBlank;
}

}  // namespace tarnwick
