#include "dataset/OraSmart.h"

#include "oracle/OraError.h"

namespace tarnwick {

TCustomSmartQuery::TCustomSmartQuery(std::string name)
    : TCustomOraQuery(std::move(name), [](TCustomDADataSet& ds) {
        return std::make_unique<TSmartQueryOptions>(ds);
      }) {
  // No immediate row locks: this build takes no row locks, so the lock mode stays lmNone.
  FTableDescribe = std::make_unique<TOCIRecordSet>();
  FTableDescribe->SetProp(prFetchRows, static_cast<int32_t>(1));
  SetRefreshOptions(0);
}

TCustomSmartQuery::~TCustomSmartQuery() {
  BeginDestroy();
}

void TCustomSmartQuery::SetKeyFields(const std::string& value) {
  std::string trimmed = value;
  while (!trimmed.empty() && static_cast<unsigned char>(trimmed.front()) <= ' ')
    trimmed.erase(trimmed.begin());
  while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= ' ') trimmed.pop_back();
  if (trimmed == KeyFields()) return;
  if (trimmed.empty() != KeyFields().empty()) CheckInactive();
  TCustomOraQuery::SetKeyFields(trimmed);
}

void TCustomSmartQuery::SetUpdatingTable(const std::string& value) {
  if (value == FUpdatingTable) return;
  FUpdatingTable = value;
  FieldDefs().SetUpdated(false);
}

void TCustomSmartQuery::SetExpand(bool value) {
  if (value) NotAvailable("Expanding to all columns of the updating table");
}

void TCustomSmartQuery::SetSmartRefresh(bool value) {
  if (value) NotAvailable("Server-event refresh");
}

void TCustomSmartQuery::SetDMLRefresh(bool value) {
  if (value) NotAvailable("Refresh after DML");
}

void TCustomSmartQuery::SetFullRefresh(bool value) {
  if (value) NotAvailable("Full refresh");
}

// ---- The updating table ----

void TCustomSmartQuery::CreateFieldDefs() {
  if (FieldDefs().Updated()) return;
  TCustomOraQuery::CreateFieldDefs();
  FTableDescribe->Fields().Clear();
  FUpdatingFields = false;
  FUpdTableName.clear();
  FUpdTableAlias.clear();
  if (KeyFieldNames().empty() && !Data().FindField("ROWID")) return;
  try {
    DetectUpdatingTable();
  } catch (...) {
    // The next open looks again.
    FieldDefs().SetUpdated(false);
    throw;
  }
}

void TCustomSmartQuery::DetectUpdatingTable() {
  // Without a table to find, a read-only query or one without key fields simply edits nothing.
  const auto noTable = [&] {
    if (ReadOnly() || KeyFieldNames().empty()) return;
    DatabaseError(LoadResString(Oraconsts::SUpdatingTableNotDef));
  };
  if (!FUpdatingTable.empty()) {
    const size_t blank = FUpdatingTable.find(' ');
    FUpdTableName = FUpdatingTable.substr(0, blank);
    if (blank != std::string::npos) {
      std::string alias = FUpdatingTable.substr(blank + 1);
      while (!alias.empty() && alias.front() == ' ') alias.erase(alias.begin());
      while (!alias.empty() && alias.back() == ' ') alias.pop_back();
      FUpdTableAlias = alias;
    }
  } else {
    const std::string sql = GetFinalSQL();
    if (!OraText::IsSelect(sql) || !OraText::FirstTable(sql, FUpdTableName, FUpdTableAlias)) {
      FUpdTableName.clear();
      FUpdTableAlias.clear();
      return noTable();
    }
  }

  FTableDescribe->SetConnection(OCIRecordSet().GetOCIConnection());
  FTableDescribe->SetSQL("SELECT * FROM " + FUpdTableName);
  FTableDescribe->InitFields();

  TFieldDescs& descs = Data().Fields();
  for (const auto& desc : descs) {
    desc->ReadOnly = true;
    if (TFieldDef* def = FieldDefs().Find(desc->Name)) def->Attributes |= faReadonly;
  }
  for (const auto& column : FTableDescribe->Fields()) {
    TFieldDesc* desc = Data().FindField(column->Name);
    if (!desc) continue;
    desc->ReadOnly = false;
    if (TFieldDef* def = FieldDefs().Find(desc->Name))
      def->Attributes &= static_cast<TFieldAttributes>(~faReadonly);
    FUpdatingFields = true;
  }
  FieldDefs().SetUpdated(true);
}

// ---- Open and close ----

void TCustomSmartQuery::InternalOpen() {
  TCustomOraQuery::InternalOpen();
  FExpandFlagOffset = FRecBufSize;
  FRecBufSize += 1;
  if (!IsKey()) return;
  if (!KeyFieldNames().empty()) {
    for (const std::string& name : KeyFieldNames())
      if (!FindField(name))
        DatabaseError(FmtLoadStr(Oraconsts::SKeyFieldNotFound, {"'" + name + "'"}), this);
    return;
  }
  if (FindField("ROWID")) return;
  const TFieldDef* def = FieldDefs().Find("ROWID");
  if (!def) return;
  std::unique_ptr<TField> field = CreateField(*def);
  if (FHideRowId) field->SetVisible(false);
  FMadeRowIdField = AddField(std::move(field));
  BindFields(true);
}

void TCustomSmartQuery::InternalClose() {
  try {
    TCustomOraQuery::InternalClose();
  } catch (...) {
    FTableDescribe->Fields().Clear();
    if (FMadeRowIdField) RemoveField(FMadeRowIdField);
    FMadeRowIdField = nullptr;
    throw;
  }
  FTableDescribe->Fields().Clear();
  if (FMadeRowIdField) RemoveField(FMadeRowIdField);
  FMadeRowIdField = nullptr;
}

TDataSet::TRecordBuffer TCustomSmartQuery::AllocRecordBuffer() {
  TRecordBuffer buffer = TCustomOraQuery::AllocRecordBuffer();
  buffer[FExpandFlagOffset] = ExpandFlagNone;
  return buffer;
}

TGetResult TCustomSmartQuery::GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) {
  const TGetResult result = TCustomOraQuery::GetRecord(buffer, mode, doCheck);
  if (result == grOK) buffer[FExpandFlagOffset] = ExpandFlagNone;
  return result;
}

const uint8_t* TCustomSmartQuery::GetActiveRecBuf() const {
  const uint8_t* buffer = TCustomOraQuery::GetActiveRecBuf();
  if (buffer && buffer[FExpandFlagOffset] != ExpandFlagNone &&
      buffer[FExpandFlagOffset] != ExpandFlagExpanded)
    throw EAssertionFailed("Invalid expand flag " + std::to_string(buffer[FExpandFlagOffset]) +
                           " in a record buffer of " + Name());
  return buffer;
}

}  // namespace tarnwick
