#pragma once
// The smart query: an Oracle query that finds the table its edits would go to, by its key
// fields or by a ROWID column in its select list, and marks the fields that are not columns of
// that table read-only. Its record buffers carry one byte more than the memory dataset's: the
// expand flag, 0x11 for a record without values of expanded columns.
//
// The expansion to all columns of the updating table, the server-event refresh and editing are
// not in this build; switching them on raises.
#include <memory>
#include <string>

#include "dataset/Ora.h"

namespace tarnwick {

class TSmartQueryOptions : public TOraDataSetOptions {
 public:
  explicit TSmartQueryOptions(TCustomDADataSet& owner) : TOraDataSetOptions(owner) {}
};

class TCustomSmartQuery : public TCustomOraQuery {
 public:
  static constexpr uint8_t ExpandFlagNone = 0x11;
  static constexpr uint8_t ExpandFlagExpanded = 0xDD;

  explicit TCustomSmartQuery(std::string name = {});
  ~TCustomSmartQuery() override;

  TSmartQueryOptions& Options() const {
    return static_cast<TSmartQueryOptions&>(TCustomDADataSet::Options());
  }

  // Changing between an empty and a non-empty list needs an inactive dataset.
  void SetKeyFields(const std::string& value) override;
  // "<table>[ <alias>]"; empty: the first table of the FROM list.
  const std::string& UpdatingTable() const { return FUpdatingTable; }
  void SetUpdatingTable(const std::string& value);
  // The updating table and alias found at the last open (empty when none was looked for).
  const std::string& UpdatingTableName() const { return FUpdTableName; }
  const std::string& UpdatingTableAlias() const { return FUpdTableAlias; }
  // Some field of the last open is a column of the updating table.
  bool UpdatingFields() const { return FUpdatingFields; }
  bool Expand() const { return false; }
  void SetExpand(bool value);
  bool SmartRefresh() const { return false; }
  void SetSmartRefresh(bool value);
  bool DMLRefresh() const { return false; }
  void SetDMLRefresh(bool value);
  bool FullRefresh() const { return false; }
  void SetFullRefresh(bool value);
  // The position of the expand flag in a record buffer (after the last open).
  int ExpandFlagOffset() const { return FExpandFlagOffset; }

 protected:
  bool IsKey() const override { return FUpdatingFields; }
  void CreateFieldDefs() override;
  void InternalOpen() override;
  void InternalClose() override;
  TRecordBuffer AllocRecordBuffer() override;
  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) override;
  const uint8_t* GetActiveRecBuf() const override;

 private:
  void DetectUpdatingTable();

  // Describes the updating table (FetchRows 1; no rows are fetched).
  std::unique_ptr<TOCIRecordSet> FTableDescribe;
  std::string FUpdatingTable;
  std::string FUpdTableName;
  std::string FUpdTableAlias;
  bool FUpdatingFields = false;
  int FExpandFlagOffset = 0;
  // A ROWID field made at open beside persistent fields; removed at close.
  TField* FMadeRowIdField = nullptr;
};

// The query component of the main window: publishes the smart query's properties.
class TSmartQuery : public TCustomSmartQuery {
 public:
  explicit TSmartQuery(std::string name = {}) : TCustomSmartQuery(std::move(name)) {}
};

}  // namespace tarnwick
