#pragma once
// The memory dataset: the dataset base over a record store (TData). It makes the field
// definitions and field objects from the store's field descriptors, reads the store's records
// into the buffers of its ring and copies a field's value out of the current buffer.
//
// Record buffer of the ring (one allocation, not zero-filled):
//   record image       GetRecordSize() bytes, exactly as the store keeps a record
//   calculated fields  0 bytes (this build has no calculated fields)
//   record info        7 bytes: record number (int32), update status, bookmark flag,
//                      complex-field reference flag (1 = the buffer holds references)
//   bookmark           sizeof(TRecBookmark) bytes, the store's bookmark of the record
#include <cstdint>
#include <memory>
#include <string>

#include "dataset/DataSet.h"
#include "recordset/MemData.h"

namespace tarnwick {

class TMemDataSet : public TDataSet {
 public:
  static constexpr int RecInfoSize = 7;

  // A dataset over a TMemData of its own.
  explicit TMemDataSet(std::string name = {});
  // A dataset over the given store, which it owns.
  TMemDataSet(std::string name, std::unique_ptr<TData> store);
  ~TMemDataSet() override;

  // The record store.
  TData& Data() const { return *FData; }

  // Prepare: the store prepares (describes its fields), then the field definitions are built.
  virtual void Prepare();
  // Closes an active dataset, unprepares the store; the field definitions are out of date.
  virtual void UnPrepare();
  bool Prepared() const { return FData && FData->Prepared(); }
  void SetPrepared(bool value);

  int GetRecordCount() const override;
  // The record number of the current record (0 without one).
  int GetRecNo() const override;
  void SetRecNo(int value);
  bool IsSequenced() const { return true; }
  bool GetFieldData(const TField& field, void* buffer) const override;
  using TDataSet::GetFieldData;
  // Reads a field of the current record by its number only.
  bool GetFieldData(int fieldNo, void* buffer) const;

  bool LocalConstraints() const { return FLocalConstraints; }
  void SetLocalConstraints(bool value) { FLocalConstraints = value; }
  bool CachedUpdates() const { return false; }
  void SetCachedUpdates(bool value);
  void ApplyUpdates();
  void CommitUpdates();
  void CancelUpdates();

  // The record-buffer layout of the last open.
  int RecordInfoOffset() const { return FRecInfoOfs; }
  int BookmarkOffset() const { return FBookmarkOfs; }
  int BookmarkSize() const { return FBookmarkSize; }
  int RecBufSize() const { return FRecBufSize; }

  // The field type of a data-type code (the base table; the Oracle datasets add their codes).
  virtual TFieldType GetFieldType(uint16_t dataType) const;
  TFieldType GetFieldType(const TFieldDesc& desc) const { return GetFieldType(desc.DataType); }

 protected:
  // Remembers the store; cached updates stay off (this build has none).
  virtual void SetIRecordSet(TData* store);

  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) override;
  int GetRecordSize() const override;
  void InternalOpen() override;
  void InternalClose() override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(uint8_t* buffer) override;
  void InternalInitFieldDefs() override;
  bool IsCursorOpen() const override;
  TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const override;
  void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag value) override;

  // Field definitions from the store's descriptors (nothing while they are up to date).
  virtual void CreateFieldDefs();
  void InternalGotoBookmark(const TRecBookmark& bookmark);
  void GetBookmarkData(const uint8_t* buffer, TRecBookmark& bookmark) const;
  void SetBookmarkData(uint8_t* buffer, const TRecBookmark& bookmark) const;
  bool BookmarkValid(const TRecBookmark* bookmark) const;
  int CompareBookmarks(const TRecBookmark* a, const TRecBookmark* b) const;

  // The record buffer GetFieldData reads in the current state, or null.
  virtual const uint8_t* GetActiveRecBuf() const;

  // Set at open from the scrollable-cursor option: every record read then holds references to
  // its complex values.
  bool FComplexFieldRefs = false;
  int FRecInfoOfs = 0;
  int FBookmarkOfs = 0;
  int FBookmarkSize = 0;
  int FRecBufSize = 0;

 private:
  std::unique_ptr<TData> FOwnedData;
  TData* FData = nullptr;
  bool FLocalConstraints = true;
};

}  // namespace tarnwick
