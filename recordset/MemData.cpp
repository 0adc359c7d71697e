#include "recordset/MemData.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dataset/text/DateTimeUtils.h"
#include "oracle/OraError.h"
#include "recordset/RecordBytes.h"

namespace tarnwick {

namespace {

// Every new contents of a store gets a generation of its own, so that bookmarks taken before
// a close no longer resolve to items.
std::atomic<int32_t> gRefreshIteration{0};

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

int CompareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

[[noreturn]] void Assertion(const std::string& text) {
  throw EAssertionFailed(text);
}

using record_bytes::Load;
using record_bytes::Store;

const uint8_t* Bytes(const void* p) {
  return static_cast<const uint8_t*>(p);
}
uint8_t* Bytes(void* p) {
  return static_cast<uint8_t*>(p);
}

// Length of a NUL-terminated UTF-16 text.
size_t WideLength(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// The text with a carriage return put before every line feed that has none.
template <class Char>
void CopyConvertingEOL(const Char* source, Char* dest) {
  Char previous = 0;
  for (const Char* p = source;; ++p) {
    if (*p == Char('\n') && previous != Char('\r')) *dest++ = Char('\r');
    *dest++ = *p;
    if (*p == 0) break;
    previous = *p;
  }
}

}  // namespace

// --- TFieldDesc, TFieldDescs ---------------------------------------------------------------

void TFieldDesc::Assign(const TFieldDesc& source) {
  Name = source.Name;
  ActualName = source.ActualName;
  DataType = source.DataType;
  Length = source.Length;
  ByteLength = source.ByteLength;
  Scale = source.Scale;
  Size = source.Size;
  Offset = source.Offset;
  Required = source.Required;
  FieldNo = source.FieldNo;
}

TFieldDesc* TFieldDescs::Add(std::unique_ptr<TFieldDesc> desc) {
  FItems.push_back(std::move(desc));
  return FItems.back().get();
}

TFieldDesc* TFieldDescs::FindField(const std::string& name) const {
  if (name.find_first_of(".[") != std::string::npos) {
    for (const auto& d : FItems)
      if (SameText(d->ActualName, name)) return d.get();
    return nullptr;
  }
  for (const auto& d : FItems)
    if (!d->HasParent() && SameText(d->Name, name)) return d.get();
  for (const auto& d : FItems)
    if (d->HasParent() && SameText(d->Name, name)) return d.get();
  return nullptr;
}

TFieldDesc* TFieldDescs::FieldByName(const std::string& name) const {
  TFieldDesc* desc = FindField(name);
  if (!desc) RaiseError(FmtLoadStr(Daconsts::SFieldNotFound, {name}));
  return desc;
}

// --- TData ---------------------------------------------------------------------------------

TData::TData() = default;
TData::~TData() = default;

void TData::Prepare() {
  InternalPrepare();
  FPrepared = true;
}

void TData::UnPrepare() {
  if (!FPrepared) return;
  FPrepared = false;
  if (AutoInitFields) ClearFields();
  InternalUnPrepare();
}

void TData::Open() {
  if (FActive) return;
  try {
    InitData();
    InternalOpen();
  } catch (...) {
    try {
      FreeData();
    } catch (...) {
      // The failure of the open is the one the caller sees.
    }
    throw;
  }
  FActive = true;
}

void TData::Close() {
  struct Finally {
    TData& d;
    ~Finally() {
      d.FActive = false;
      try {
        d.FreeData();
      } catch (...) {
      }
      if (d.AutoInitFields && !d.FPrepared) d.ClearFields();
    }
  };
  Finally finally{*this};
  if (FActive) InternalClose();
}

void TData::Reopen() {
  Close();
  Open();
}

void TData::SetCachedUpdates(bool value) {
  if (value) RaiseError("Cached updates are not supported by this record store");
}

void TData::SetFilterText(const std::string& text) {
  if (!text.empty()) RaiseError("Filters are not supported by this record store");
}

void TData::SetFilterFunc(std::function<bool(const void*)> filter) {
  if (filter) RaiseError("Filters are not supported by this record store");
}

void TData::MakeNamesUnique() {
  std::vector<TFieldDesc*> top;
  for (const auto& d : FFields)
    if (!d->HasParent()) top.push_back(d.get());
  std::stable_sort(top.begin(), top.end(), [](const TFieldDesc* a, const TFieldDesc* b) {
    const int c = CompareText(a->Name, b->Name);
    if (c != 0) return c < 0;
    return a->FieldNo < b->FieldNo;
  });
  for (size_t i = 0; i + 1 < top.size(); ++i) {
    if (SameText(top[i]->Name, top[i + 1]->Name)) {
      top[i]->DupName = true;
      top[i + 1]->DupName = true;
    }
  }
  int n = 0;
  for (size_t i = 0; i < top.size(); ++i) {
    TFieldDesc* d = top[i];
    if (!d->DupName && !d->Name.empty()) {
      n = 0;
      continue;
    }
    if (n > 1) {
      // The previous descriptor's name without the suffix this walk gave it.
      std::string previous = top[i - 1]->Name;
      const std::string suffix = '_' + std::to_string(n - 1);
      if (previous.size() >= suffix.size() &&
          previous.compare(previous.size() - suffix.size(), suffix.size(), suffix) == 0)
        previous.resize(previous.size() - suffix.size());
      if (!SameText(previous, d->Name)) n = 0;
    }
    if (n != 0 || d->Name.empty()) d->Name += '_' + std::to_string(n);
    ++n;
  }
}

void TData::InitFields() {
  if (AutoInitFields) {
    ClearFields();
    InternalInitFields();
    MakeNamesUnique();
  }
  int32_t dataSize = 0;
  for (const auto& d : FFields) {
    if (d->DataType == dcWideString && (dataSize & 1) != 0) ++dataSize;
    d->Offset = static_cast<uint32_t>(dataSize);
    dataSize += d->Size;
  }
  FDataSize = dataSize;
  FRecordSize = FDataSize + GetIndicatorSize();
  if (FRecordSize % 2 == 0) ++FRecordSize;
  FHasComplexFields = false;
  for (const auto& d : FFields)
    if (IsComplexFieldType(d->DataType)) FHasComplexFields = true;
}

bool TData::HasFields(std::initializer_list<uint16_t> codes) const {
  for (const auto& d : FFields)
    if (std::find(codes.begin(), codes.end(), d->DataType) != codes.end()) return true;
  return false;
}

bool TData::HasBlobFields() const {
  for (const auto& d : FFields)
    if (IsBlobFieldType(d->DataType)) return true;
  return false;
}

bool TData::IsBlobFieldType(uint16_t dataType) const {
  return dataType == dcBlob || dataType == dcMemo;
}

bool TData::IsComplexFieldType(uint16_t dataType) const {
  switch (dataType) {
    case dcVariant:
    case dcExtString:
    case dcExtVarBytes:
    case dcExtWideString:
      return true;
    default:
      return IsBlobFieldType(dataType);
  }
}

void TData::GetField(int fieldNo, const void* recBuf, void* dest, bool& isBlank) const {
  if (fieldNo < 1 || fieldNo > FFields.Count())
    Assertion("Field number " + std::to_string(fieldNo) + " is out of range");
  const TFieldDesc& desc = *FFields[fieldNo - 1];
  isBlank = GetNull(fieldNo, recBuf);
  if (!dest) return;
  const bool heapCode = desc.DataType == dcExtString || desc.DataType == dcExtVarBytes ||
                        desc.DataType == dcExtWideString;
  if (!isBlank || (IsComplexFieldType(desc.DataType) && !heapCode)) {
    GetFieldData(desc, recBuf, dest);
  }
  if (!isBlank && desc.Fixed && TrimFixedChar) {
    if (desc.DataType == dcString) {
      // From the end of the text: in a multi-byte client character set its bytes may run past
      // Length, and a blank at Length - 1 can lie inside it.
      char* s = static_cast<char*>(dest);
      for (int i = static_cast<int>(strnlen(s, desc.Size)) - 1; i >= 0 && s[i] == ' '; --i)
        s[i] = 0;
    } else if (desc.DataType == dcWideString) {
      auto* s = static_cast<char16_t*>(dest);
      for (int i = static_cast<int>(desc.Length) - 1; i >= 0 && (s[i] == u' ' || s[i] == 0); --i)
        s[i] = 0;
    }
  }
}

void TData::GetFieldData(const TFieldDesc& desc, const void* recBuf, void* dest) const {
  const uint8_t* at = Bytes(recBuf) + desc.Offset;
  switch (desc.DataType) {
    case dcString:
      if (NeedConvertEOL()) {
        std::string copy(reinterpret_cast<const char*>(at), desc.Size);
        copy.push_back('\0');
        CopyConvertingEOL(copy.c_str(), static_cast<char*>(dest));
      } else {
        std::memcpy(dest, at, desc.Size);
      }
      break;
    case dcExtString: {
      const char* s = Load<const char*>(at);
      if (!s) Assertion("A string field holds no heap string");
      if (NeedConvertEOL())
        CopyConvertingEOL(s, static_cast<char*>(dest));
      else
        std::memcpy(dest, s, std::strlen(s) + 1);
      break;
    }
    case dcExtWideString: {
      const char16_t* s = Load<const char16_t*>(at);
      if (!s) Assertion("A wide string field holds no heap string");
      if (NeedConvertEOL())
        CopyConvertingEOL(s, static_cast<char16_t*>(dest));
      else
        std::memcpy(dest, s, (WideLength(s) + 1) * sizeof(char16_t));
      break;
    }
    case dcExtVarBytes: {
      const uint8_t* b = Load<const uint8_t*>(at);
      if (!b) {
        Store<uint16_t>(dest, 0);
        break;
      }
      std::memcpy(dest, b, Load<uint16_t>(b) + 2u);
      break;
    }
    case dcWideString:
      if (NeedConvertEOL()) {
        std::u16string copy(reinterpret_cast<const char16_t*>(at), desc.Size / 2);
        copy.push_back(0);
        CopyConvertingEOL(copy.c_str(), static_cast<char16_t*>(dest));
      } else {
        std::memcpy(dest, at, desc.Size);
      }
      break;
    case dcLargeint:
      Store<int64_t>(dest, static_cast<int64_t>(static_cast<uint32_t>(Load<int32_t>(at))));
      break;
    case dcDate:
      GetDateFromBuf(recBuf, desc.Offset, dfDate, dest);
      break;
    case dcTime:
      GetDateFromBuf(recBuf, desc.Offset, dfTime, dest);
      break;
    case dcDateTime:
      GetDateFromBuf(recBuf, desc.Offset, dfMSecs, dest);
      break;
    case dcVariant:
      RaiseError("Variant fields are not supported by this record store");
    default:
      std::memcpy(dest, at, desc.Size);
  }
}

void TData::PutField(int fieldNo, void* recBuf, const void* source) {
  if (fieldNo < 1 || fieldNo > FFields.Count())
    Assertion("Field number " + std::to_string(fieldNo) + " is out of range");
  const TFieldDesc& desc = *FFields[fieldNo - 1];
  if (!source) {
    SetNull(fieldNo, recBuf, true);
    return;
  }
  if (!KeepEmptyStrings) {
    const bool narrow = desc.DataType == dcString || desc.DataType == dcExtString;
    const bool wide = desc.DataType == dcWideString || desc.DataType == dcExtWideString;
    if ((narrow && *static_cast<const char*>(source) == 0) ||
        (wide && Load<char16_t>(source) == 0)) {
      SetNull(fieldNo, recBuf, true);
      return;
    }
  }
  PutFieldData(desc, recBuf, source);
  SetNull(fieldNo, recBuf, false);
}

void TData::PutFieldData(const TFieldDesc& desc, void* recBuf, const void* source) {
  uint8_t* at = Bytes(recBuf) + desc.Offset;
  switch (desc.DataType) {
    case dcFloat: {
      double value = Load<double>(source);
      if (desc.Scale > 0 && std::isfinite(value)) {
        // Rounded to the field's decimals through the fixed-point text of 18 digits.
        char text[512];
        std::snprintf(text, sizeof text, "%.*f", std::min<int>(desc.Scale, 18), value);
        char rounded[64];
        std::snprintf(rounded, sizeof rounded, "%.18g", std::strtod(text, nullptr));
        value = std::strtod(rounded, nullptr);
      }
      Store(at, value);
      break;
    }
    case dcExtString: {
      FStringHeap.DisposeBuf(Load<char*>(at));
      Store(at, FStringHeap.AllocStr(static_cast<const char*>(source)));
      break;
    }
    case dcExtWideString: {
      FStringHeap.DisposeBuf(Load<char16_t*>(at));
      Store(at, FStringHeap.AllocWideStr(static_cast<const char16_t*>(source)));
      break;
    }
    case dcExtVarBytes: {
      FStringHeap.DisposeBuf(Load<uint8_t*>(at));
      const uint16_t length = Load<uint16_t>(source);
      void* buffer = FStringHeap.NewBuf(length + 2);
      std::memcpy(buffer, source, length + 2u);
      Store(at, buffer);
      break;
    }
    case dcString: {
      // At most Length characters and the NUL, never more of the source than its text: a caller
      // hands a NUL-terminated text, not a buffer of the field's size.
      const auto* s = static_cast<const char*>(source);
      const size_t n = strnlen(s, desc.Size > 0 ? desc.Size - 1u : 0u);
      std::memcpy(at, s, n);
      std::memset(at + n, 0, desc.Size - n);
      break;
    }
    case dcWideString: {
      const auto* s = static_cast<const char16_t*>(source);
      const size_t n = std::min<size_t>(WideLength(s), desc.Length);
      std::memcpy(at, s, n * sizeof(char16_t));
      Store<char16_t>(at + n * sizeof(char16_t), 0);
      break;
    }
    case dcDate:
      PutDateToBuf(recBuf, desc.Offset, dfDate, source);
      break;
    case dcTime:
      PutDateToBuf(recBuf, desc.Offset, dfTime, source);
      break;
    case dcDateTime:
      PutDateToBuf(recBuf, desc.Offset, dfMSecs, source);
      break;
    case dcVariant:
      RaiseError("Variant fields are not supported by this record store");
    default:
      std::memcpy(at, source, desc.Size);
  }
}

bool TData::GetNull(int fieldNo, const void* recBuf) const {
  return Bytes(recBuf)[FDataSize + fieldNo - 1] == 1;
}

void TData::SetNull(int fieldNo, void* recBuf, bool isNull) {
  Bytes(recBuf)[FDataSize + fieldNo - 1] = isNull ? 1 : 0;
}

void TData::GetDateFromBuf(const void* recBuf, uint32_t offset, TDateFormat format,
                           void* dest) const {
  const double value = Load<double>(Bytes(recBuf) + offset);
  switch (format) {
    case dfDateTime:
      Store(dest, value);
      return;
    case dfMSecs:
      Store(dest, DateTimeToMSecs(value));
      return;
    case dfTime:
      Store<int32_t>(dest, DateTimeToTimeStamp(value).Time);
      return;
    case dfDate:
      Store<int32_t>(dest, DateTimeToTimeStamp(value).Date);
      return;
  }
}

void TData::PutDateToBuf(void* recBuf, uint32_t offset, TDateFormat format,
                         const void* source) const {
  double value = 0;
  switch (format) {
    case dfDateTime:
      value = Load<double>(source);
      break;
    case dfMSecs:
      value = MSecsToDateTime(Load<double>(source));
      break;
    case dfTime:
      value = TimeStampToDateTime(TTimeStamp{Load<int32_t>(source), DateDelta});
      break;
    case dfDate:
      value = TimeStampToDateTime(TTimeStamp{0, Load<int32_t>(source)});
      break;
  }
  Store(Bytes(recBuf) + offset, value);
}

std::unique_ptr<uint8_t[]> TData::AllocRecBuf() const {
  return std::make_unique<uint8_t[]>(static_cast<size_t>(FRecordSize));
}

void TData::InitRecord(void* recBuf) {
  if (FHasComplexFields) std::memset(recBuf, 0, static_cast<size_t>(FRecordSize));
  for (int i = 1; i <= FFields.Count(); ++i) SetNull(i, recBuf, true);
}

void TData::CreateComplexFields(void* recBuf, bool withBlob) {
  for (const auto& d : FFields) {
    if (d->HasParent()) continue;
    uint8_t* at = Bytes(recBuf) + d->Offset;
    switch (d->DataType) {
      case dcExtString:
      case dcExtVarBytes:
      case dcExtWideString:
        Store<void*>(at, nullptr);
        break;
      default:
        if (IsBlobFieldType(d->DataType) && withBlob)
          RaiseError("Large object fields are not supported by this record store");
        if (d->DataType == dcVariant)
          RaiseError("Variant fields are not supported by this record store");
        break;
    }
  }
}

void TData::FreeComplexFields(void* recBuf, bool) {
  for (const auto& d : FFields) {
    if (d->HasParent()) continue;
    uint8_t* at = Bytes(recBuf) + d->Offset;
    switch (d->DataType) {
      case dcExtString:
      case dcExtVarBytes:
      case dcExtWideString: {
        void* buffer = Load<void*>(at);
        if (buffer && !FStringHeap.Empty()) {
          const bool shared = TStringHeap::UseCount(buffer) > 101;
          FStringHeap.DisposeBuf(buffer);
          if (!shared) Store<void*>(at, nullptr);
        }
        break;
      }
      default:
        break;
    }
  }
}

void TData::AddRefComplexFields(void* recBuf) {
  for (const auto& d : FFields) {
    if (d->HasParent()) continue;
    switch (d->DataType) {
      case dcExtString:
      case dcExtVarBytes:
      case dcExtWideString:
        if (void* buffer = Load<void*>(Bytes(recBuf) + d->Offset)) FStringHeap.AddRef(buffer);
        break;
      default:
        break;
    }
  }
}

// --- TMemData ------------------------------------------------------------------------------

TMemData::TMemData() {
  InitData();
}

TMemData::~TMemData() {
  try {
    FreeData();
  } catch (...) {
  }
}

void TMemData::InitFields() {
  TData::InitFields();
  FBlockMan.RecordSize = FRecordSize;
}

void TMemData::InitData() {
  FFirstItem = FLastItem = FCurrentItem = nullptr;
  FBofFlag = FEofFlag = true;
  FRecordCount = 0;
  FRecordNoOffset = 0;
  FBlockMan.FirstFree = nullptr;
  FRefreshIteration = ++gRefreshIteration;
}

void TMemData::FreeData() {
  // Heap strings are released with their pages; only records holding other complex values
  // (none on this store's road) need a walk.
  const bool otherComplex = std::any_of(FFields.begin(), FFields.end(), [&](const auto& d) {
    return IsComplexFieldType(d->DataType) && d->DataType != dcExtString &&
           d->DataType != dcExtVarBytes && d->DataType != dcExtWideString;
  });
  if (!FStringHeap.HasLarge()) FStringHeap.Clear();
  if (otherComplex) {
    for (PItemHeader item = FFirstItem; item; item = item->Next)
      FreeComplexFields(ItemRecord(item), true);
  }
  // Clear releases large buffers too, so a store with long strings leaks nothing.
  FStringHeap.Clear();
  FBlockMan.FreeAllBlock();
  InitData();
}

void TMemData::GetRecord(void* recBuf) {
  if (!FCurrentItem || GetBOF() || GetEOF()) return;
  if (Omitted(FCurrentItem)) {
    GetNextRecord(recBuf);
    return;
  }
  FBlockMan.GetRecord(FCurrentItem, recBuf);
}

void TMemData::GetNextRecord(void* recBuf) {
  if (GetEOF()) return;
  PItemHeader item;
  if (GetBOF()) {
    FBofFlag = false;
    item = FFirstItem;
  } else {
    item = FCurrentItem ? FCurrentItem->Next : FFirstItem;
  }
  while (item && Omitted(item)) item = item->Next;
  FCurrentItem = item;
  if (!item) {
    FEofFlag = true;
    return;
  }
  if (recBuf) FBlockMan.GetRecord(item, recBuf);
}

void TMemData::GetPriorRecord(void* recBuf) {
  if (GetBOF()) return;
  PItemHeader item;
  if (GetEOF()) {
    FEofFlag = false;
    item = FLastItem;
  } else {
    item = FCurrentItem ? FCurrentItem->Prev : FLastItem;
  }
  while (item && Omitted(item)) item = item->Prev;
  FCurrentItem = item;
  if (!item) {
    FBofFlag = true;
    return;
  }
  if (recBuf) FBlockMan.GetRecord(item, recBuf);
}

void TMemData::PutRecord(const void* recBuf) {
  if (!FCurrentItem) Assertion("PutRecord without a current record");
  FBlockMan.PutRecord(FCurrentItem, recBuf);
}

void TMemData::AppendItem(PItemHeader item) {
  item->Prev = FLastItem;
  item->Next = nullptr;
  item->Order = FLastItem ? FLastItem->Order + 1 : 1;
  if (FLastItem)
    FLastItem->Next = item;
  else
    FFirstItem = item;
  FLastItem = item;
}

void TMemData::InsertItem(PItemHeader item) {
  if (GetEOF() || !FFirstItem) {
    AppendItem(item);
    return;
  }
  PItemHeader before = (GetBOF() || !FCurrentItem) ? FFirstItem : FCurrentItem;
  item->Next = before;
  item->Prev = before->Prev;
  if (before->Prev)
    before->Prev->Next = item;
  else
    FFirstItem = item;
  before->Prev = item;
  ReorderItems(item);
}

void TMemData::DeleteItem(PItemHeader item) {
  if (item->Prev)
    item->Prev->Next = item->Next;
  else
    FFirstItem = item->Next;
  if (item->Next)
    item->Next->Prev = item->Prev;
  else
    FLastItem = item->Prev;
  if (FCurrentItem == item) FCurrentItem = item->Next;
  if (!FFirstItem) {
    FCurrentItem = nullptr;
    FBofFlag = FEofFlag = true;
  }
  PItemHeader next = item->Next;
  FreeComplexFields(ItemRecord(item), true);
  FBlockMan.FreeItem(item);
  if (next) ReorderItems(next);
}

void TMemData::ReorderItems(PItemHeader from) {
  int32_t order = from->Prev ? from->Prev->Order + 1 : 1;
  for (PItemHeader item = from; item; item = item->Next) item->Order = order++;
}

void TMemData::InsertRecord(const void* recBuf) {
  PItemHeader item = nullptr;
  FBlockMan.AllocItem(item);
  PItemHeader oldCurrent = FCurrentItem;
  try {
    FBlockMan.PutRecord(item, recBuf);
    AddRefComplexFields(ItemRecord(item));
    InternalAppend(recBuf);
    InsertItem(item);
  } catch (...) {
    // Unlink a half-inserted item and restore the position.
    if (item->Prev || item->Next || FFirstItem == item) {
      if (item->Prev)
        item->Prev->Next = item->Next;
      else if (FFirstItem == item)
        FFirstItem = item->Next;
      if (item->Next)
        item->Next->Prev = item->Prev;
      else if (FLastItem == item)
        FLastItem = item->Prev;
    }
    FCurrentItem = oldCurrent;
    FBlockMan.FreeItem(item);
    throw;
  }
  FCurrentItem = item;
  FBofFlag = FEofFlag = false;
  ++FRecordCount;
}

void TMemData::AppendRecord(const void* recBuf) {
  SetToEnd();
  InsertRecord(recBuf);
}

void TMemData::UpdateRecord(const void* recBuf) {
  if (!FCurrentItem) Assertion("UpdateRecord without a current record");
  InternalUpdate(recBuf);
  uint8_t* record = ItemRecord(FCurrentItem);
  FreeComplexFields(record, true);
  FBlockMan.PutRecord(FCurrentItem, recBuf);
  AddRefComplexFields(record);
}

void TMemData::DeleteRecord() {
  if (!FCurrentItem) Assertion("DeleteRecord without a current record");
  InternalDelete();
  DeleteItem(FCurrentItem);
  --FRecordCount;
}

int32_t TMemData::GetRecordNo() const {
  return FCurrentItem ? FCurrentItem->Order + FRecordNoOffset : 0;
}

void TMemData::SetRecordNo(int32_t n) {
  if (n <= 0 || !FFirstItem) return;
  PItemHeader c = FCurrentItem ? FCurrentItem : FFirstItem;
  auto distance = [&](PItemHeader x) { return std::abs(x->Order + FRecordNoOffset - n); };
  PItemHeader item;
  bool forward;
  if (n < distance(FLastItem) && n < distance(c)) {
    item = FFirstItem;
    forward = true;
  } else {
    item = distance(FLastItem) < distance(c) ? FLastItem : c;
    forward = n > item->Order + FRecordNoOffset;
  }
  while (item) {
    if (item->Order + FRecordNoOffset == n) {
      FCurrentItem = item;
      return;
    }
    if (forward) {
      if (!item->Next) {
        PItemHeader last = item;
        if (!Fetch(false)) return;
        item = last->Next;
        continue;
      }
      item = item->Next;
    } else {
      item = item->Prev;
    }
  }
}

void TMemData::SetToBegin() {
  FCurrentItem = nullptr;
  FBofFlag = true;
  if (FLastItem) FEofFlag = false;
}

void TMemData::SetToEnd() {
  FCurrentItem = nullptr;
  FEofFlag = true;
  if (FFirstItem) FBofFlag = false;
}

void TMemData::GetBookmark(TRecBookmark& bookmark) const {
  bookmark.RefreshIteration = FRefreshIteration;
  bookmark.Item = FCurrentItem;
  bookmark.Order = FCurrentItem ? GetRecordNo() : -1;
}

void TMemData::SetToBookmark(const TRecBookmark& bookmark) {
  if (bookmark.RefreshIteration == FRefreshIteration && bookmark.Item &&
      bookmark.Item->ItemFlag == flUsed) {
    FCurrentItem = bookmark.Item;
    FBofFlag = FEofFlag = false;
    return;
  }
  if (bookmark.Order != -1) SetRecordNo(bookmark.Order);
}

bool TMemData::BookmarkValid(const TRecBookmark* bookmark) const {
  return bookmark && (bookmark->Order != -1 || bookmark->Item);
}

int TMemData::CompareBookmarks(const TRecBookmark* a, const TRecBookmark* b) const {
  if (!a && !b) return 0;
  if (a && !b) return -1;
  if (!a) return 1;
  if (a->RefreshIteration == b->RefreshIteration && a->Item == b->Item) return 0;
  const int32_t d = a->Order - b->Order;
  return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

uint8_t TMemData::GetUpdateStatus() const {
  return FCurrentItem ? FCurrentItem->Status : static_cast<uint8_t>(isUnmodified);
}

uint8_t TMemData::GetUpdateResult() const {
  return FCurrentItem ? FCurrentItem->UpdateResult : static_cast<uint8_t>(urNone);
}

bool TMemData::Fetch(bool) {
  return false;
}

}  // namespace tarnwick
