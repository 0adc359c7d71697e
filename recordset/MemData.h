#pragma once
// The in-memory record store: field descriptors, the binary record layout with its null
// indicators, the list of records kept in the items of a block manager, a string heap for values
// held by pointer, navigation and bookmarks, and reading and writing single field values.
//
// TData is the abstract store (descriptors, layout, field access); TMemData keeps its records in
// memory. The Oracle record set derives from TMemData and fills it from the client library.
//
// Records are plain byte images of RecordSize bytes. They lie behind item headers at addresses
// without any alignment, so every value is read and written with memcpy.
//
// Map of this header: data-type code helpers, TFieldDesc, TFieldDescs, TRecBookmark, TData,
// TMemData.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/DataTypes.h"
#include "recordset/BlockManager.h"
#include "recordset/StringHeap.h"

namespace tarnwick {

// How GetDateFromBuf and PutDateToBuf take a date-time value.
enum TDateFormat : uint8_t { dfMSecs = 0, dfDateTime = 1, dfTime = 2, dfDate = 3 };

class TFieldDesc {
 public:
  TFieldDesc() = default;
  virtual ~TFieldDesc() = default;
  TFieldDesc(const TFieldDesc&) = delete;
  TFieldDesc& operator=(const TFieldDesc&) = delete;

  // Copies Name, ActualName, DataType, Length, ByteLength, Scale, Size, Offset, Required and
  // FieldNo.
  void Assign(const TFieldDesc& source);

  std::string Name;
  std::string ActualName;
  uint16_t DataType = dcUnknown;
  uint16_t SubDataType = 0;
  uint16_t Length = 0;  // characters for text, precision for numbers
  // Text: the most bytes a value can take as the client delivers it, without the terminating
  // NUL (a column's characters times the client's bytes per character); 0 when that is Length.
  uint16_t ByteLength = 0;
  uint16_t Scale = 0;
  uint16_t FieldNo = 0;        // 1-based position in the descriptor list
  uint16_t ActualFieldNo = 0;  // 1-based position in the select list
  uint16_t Size = 0;           // bytes the value takes in the record
  uint32_t Offset = 0;
  bool Required = false;
  bool ReadOnly = false;
  bool Fixed = false;  // fixed-length character column (CHAR)
  bool HiddenColumn = false;
  // Object-type attributes are not read by this store: no descriptor ever has an object type
  // or a parent, so every descriptor is a top-level field.
  void* ObjectType = nullptr;
  TFieldDesc* ParentField = nullptr;
  bool Hidden = false;
  void* DefineHandle = nullptr;  // the client's define handle of the last define
  bool DupName = false;

  bool HasParent() const { return ParentField != nullptr; }
  // The bytes of a text value without its NUL: ByteLength, or Length when it is not set.
  uint16_t TextBytes() const { return ByteLength != 0 ? ByteLength : Length; }
};

class TFieldDescs {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  // Index from 0.
  TFieldDesc* operator[](int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  TFieldDesc* Add(std::unique_ptr<TFieldDesc> desc);
  void Clear() { FItems.clear(); }
  // A name with "." or "[" is compared with the full names; a plain name with the top-level
  // names first, then with the child names. Case is ignored. Null when absent.
  TFieldDesc* FindField(const std::string& name) const;
  // FindField, raising "Field %s not found." when absent.
  TFieldDesc* FieldByName(const std::string& name) const;

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  std::vector<std::unique_ptr<TFieldDesc>> FItems;
};

// A record's position: the contents generation it was taken in, its item and its number
// (-1 when there is none).
#pragma pack(push, 1)
struct TRecBookmark {
  int32_t RefreshIteration = 0;
  PItemHeader Item = nullptr;
  int32_t Order = -1;
};
#pragma pack(pop)

class TData {
 public:
  // Write-back hooks of the record changes (set by a dataset that edits).
  using TOnModifyRecord = std::function<void()>;

  TData();
  virtual ~TData();
  TData(const TData&) = delete;
  TData& operator=(const TData&) = delete;

  // Life.
  virtual void Prepare();
  virtual void UnPrepare();
  virtual void Open();
  virtual void Close();
  virtual void Reopen();
  bool Active() const { return FActive; }
  bool Prepared() const { return FPrepared; }

  // Descriptors and layout.
  virtual void InitFields();
  TFieldDescs& Fields() { return FFields; }
  const TFieldDescs& Fields() const { return FFields; }
  int GetFieldCount() const { return FFields.Count(); }
  TFieldDesc* FindField(const std::string& name) const { return FFields.FindField(name); }
  TFieldDesc* FieldByName(const std::string& name) const { return FFields.FieldByName(name); }
  int32_t RecordSize() const { return FRecordSize; }
  int32_t DataSize() const { return FDataSize; }
  bool HasComplexFields() const { return FHasComplexFields; }
  bool HasFields(std::initializer_list<uint16_t> codes) const;
  bool HasBlobFields() const;

  // Field access; FieldNo is 1-based, RecBuf a record image of RecordSize bytes.
  void GetField(int fieldNo, const void* recBuf, void* dest, bool& isBlank) const;
  void PutField(int fieldNo, void* recBuf, const void* source);
  virtual void GetFieldData(const TFieldDesc& desc, const void* recBuf, void* dest) const;
  virtual void PutFieldData(const TFieldDesc& desc, void* recBuf, const void* source);
  virtual bool GetNull(int fieldNo, const void* recBuf) const;
  virtual void SetNull(int fieldNo, void* recBuf, bool isNull);
  virtual void GetDateFromBuf(const void* recBuf, uint32_t offset, TDateFormat format,
                              void* dest) const;
  virtual void PutDateToBuf(void* recBuf, uint32_t offset, TDateFormat format,
                            const void* source) const;
  virtual bool IsBlobFieldType(uint16_t dataType) const;
  virtual bool IsComplexFieldType(uint16_t dataType) const;

  // Record buffers.
  std::unique_ptr<uint8_t[]> AllocRecBuf() const;
  void InitRecord(void* recBuf);
  virtual void CreateComplexFields(void* recBuf, bool withBlob);
  virtual void FreeComplexFields(void* recBuf, bool withBlob);
  virtual void AddRefComplexFields(void* recBuf);

  // Records (abstract here).
  virtual void GetRecord(void* recBuf) = 0;
  virtual void GetNextRecord(void* recBuf) = 0;
  virtual void GetPriorRecord(void* recBuf) = 0;
  virtual void PutRecord(const void* recBuf) = 0;
  virtual void AppendRecord(const void* recBuf) = 0;
  virtual void InsertRecord(const void* recBuf) = 0;
  virtual void UpdateRecord(const void* recBuf) = 0;
  virtual void DeleteRecord() = 0;

  // Navigation.
  virtual bool GetBOF() const { return FBofFlag; }
  virtual bool GetEOF() const { return FEofFlag; }
  virtual int32_t GetRecordCount() const { return FRecordCount; }
  virtual int32_t GetRecordNo() const { return 0; }
  virtual void SetRecordNo(int32_t) {}
  virtual void SetToBegin() = 0;
  virtual void SetToEnd() = 0;
  virtual void GetBookmark(TRecBookmark& bookmark) const = 0;
  virtual void SetToBookmark(const TRecBookmark& bookmark) = 0;
  virtual bool BookmarkValid(const TRecBookmark* bookmark) const = 0;
  virtual int CompareBookmarks(const TRecBookmark* a, const TRecBookmark* b) const = 0;
  virtual uint8_t GetUpdateStatus() const { return isUnmodified; }
  virtual uint8_t GetUpdateResult() const { return urNone; }

  // Facilities this store does not have: filters, variant access, cached updates. Switching
  // them on raises a clear error instead of being ignored.
  void SetCachedUpdates(bool value);
  bool CachedUpdates() const { return false; }
  void SetFilterText(const std::string& text);
  void SetFilterFunc(std::function<bool(const void* recBuf)> filter);

  bool TrimFixedChar = false;
  bool KeepEmptyStrings = false;
  bool AutoInitFields = true;
  TOnModifyRecord OnAppend, OnDelete, OnUpdate;

  TStringHeap& StringHeap() { return FStringHeap; }

 protected:
  virtual void InternalPrepare() {}
  virtual void InternalUnPrepare() {}
  virtual void InternalOpen() {}
  virtual void InternalClose() {}
  virtual void InitData() {}
  virtual void FreeData() {}
  virtual void InternalInitFields() {}
  virtual int32_t GetIndicatorSize() const { return FFields.Count(); }
  virtual bool NeedConvertEOL() const { return false; }
  virtual void InternalAppend(const void*) {
    if (OnAppend) OnAppend();
  }
  virtual void InternalDelete() {
    if (OnDelete) OnDelete();
  }
  virtual void InternalUpdate(const void*) {
    if (OnUpdate) OnUpdate();
  }
  void ClearFields() { FFields.Clear(); }

  int32_t FRecordSize = 0;
  int32_t FDataSize = 0;
  bool FHasComplexFields = false;
  int32_t FRecordNoOffset = 0;
  int32_t FRecordCount = 0;
  bool FBofFlag = true;
  bool FEofFlag = true;
  bool FActive = false;
  bool FPrepared = false;
  TFieldDescs FFields;
  TStringHeap FStringHeap;

 private:
  void MakeNamesUnique();
};

class TMemData : public TData {
 public:
  TMemData();
  ~TMemData() override;

  void InitFields() override;

  void GetRecord(void* recBuf) override;
  void GetNextRecord(void* recBuf) override;
  void GetPriorRecord(void* recBuf) override;
  void PutRecord(const void* recBuf) override;
  void AppendRecord(const void* recBuf) override;
  void InsertRecord(const void* recBuf) override;
  void UpdateRecord(const void* recBuf) override;
  void DeleteRecord() override;

  bool GetBOF() const override { return !FCurrentItem && FBofFlag; }
  bool GetEOF() const override { return !FCurrentItem && FEofFlag; }
  int32_t GetRecordNo() const override;
  void SetRecordNo(int32_t recNo) override;
  void SetToBegin() override;
  void SetToEnd() override;
  void GetBookmark(TRecBookmark& bookmark) const override;
  void SetToBookmark(const TRecBookmark& bookmark) override;
  bool BookmarkValid(const TRecBookmark* bookmark) const override;
  int CompareBookmarks(const TRecBookmark* a, const TRecBookmark* b) const override;
  uint8_t GetUpdateStatus() const override;
  uint8_t GetUpdateResult() const override;

  // Loads more records; answers whether any came. The memory store has nothing to load.
  virtual bool Fetch(bool fetchBack);

  PItemHeader FirstItem() const { return FFirstItem; }
  PItemHeader LastItem() const { return FLastItem; }
  PItemHeader CurrentItem() const { return FCurrentItem; }
  int32_t RefreshIteration() const { return FRefreshIteration; }
  TBlockManager& BlockManager() { return FBlockMan; }
  const TBlockManager& BlockManager() const { return FBlockMan; }
  // The record image of an item.
  static uint8_t* ItemRecord(PItemHeader item) { return TBlockManager::GetRecordPtr(item); }

 protected:
  void InitData() override;
  void FreeData() override;
  // A record is omitted from the walk by a filter; this store has none.
  bool Omitted(PItemHeader) const { return false; }
  void AppendItem(PItemHeader item);
  void InsertItem(PItemHeader item);
  void DeleteItem(PItemHeader item);
  void ReorderItems(PItemHeader from);

  PItemHeader FFirstItem = nullptr;
  PItemHeader FLastItem = nullptr;
  PItemHeader FCurrentItem = nullptr;
  int32_t FRefreshIteration = 0;
  TBlockManager FBlockMan;
};

}  // namespace tarnwick
