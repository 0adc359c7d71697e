#pragma once
// The Oracle datasets: TOraDataSet binds the data-access dataset to the session component and
// to the Oracle record set and command, adds the Oracle field types, the Oracle options, the
// fetch events and the handling of a ROWID column; TCustomOraQuery adds ExecSQL; TOraSQL is
// the Oracle statement component.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/DBAccess.h"
#include "dataset/text/NumberText.h"
#include "dataset/text/OraParser.h"
#include "oracle/OraSession.h"
#include "recordset/OCIRecordSet.h"

namespace tarnwick {

// The Oracle field types beyond the base's.
inline constexpr TFieldType ftOraBFile = static_cast<TFieldType>(100);
inline constexpr TFieldType ftOraLabel = static_cast<TFieldType>(101);
inline constexpr TFieldType ftOraTimeStamp = static_cast<TFieldType>(102);
inline constexpr TFieldType ftOraIntervalYM = static_cast<TFieldType>(103);
inline constexpr TFieldType ftOraIntervalDS = static_cast<TFieldType>(104);
inline constexpr TFieldType ftOraTimeStampTZ = static_cast<TFieldType>(105);
inline constexpr TFieldType ftOraTimeStampLTZ = static_cast<TFieldType>(106);
inline constexpr TFieldType ftOraNumber = static_cast<TFieldType>(107);
inline constexpr TFieldType ftOraXML = static_cast<TFieldType>(108);
inline constexpr TFieldType ftOraFixedWideChar = static_cast<TFieldType>(109);

// The field of an Oracle NUMBER column fetched whole (the session option EnableNumbers, for
// columns of more than 15 digits): its value is the 22-byte length-prefixed NUMBER of the
// record, its text every digit of it (OraNumberToStr).
class TOraNumberField : public TField {
 public:
  TOraNumberField();
  int DataSize() const override { return static_cast<int>(kOraNumberSize); }
  // The length byte and the NUMBER, or empty for NULL.
  std::optional<std::string> Value() const;

  std::string AsString() const override;
  void GetText(std::string& text) const override;
  // The value rounded to the nearest integer; EConvertError beyond the 32-bit range.
  int32_t AsInteger() const override;
  // The double nearest to the value.
  double AsFloat() const override;
};

enum class TLockMode { lmNone, lmLockImmediate, lmLockDelayed };
enum class TCheckMode { cmNone, cmException, cmRefresh };
enum class TSequenceMode { smInsert, smPost };

class TOraDataSet;

// The Oracle statement component. Inside a dataset it runs on the record set's command; alone
// it makes its own command and runs on its Session.
class TOraSQL : public TCustomDASQL {
 public:
  explicit TOraSQL(TCustomDADataSet* owner = nullptr);
  ~TOraSQL() override;

  std::unique_ptr<TParser> CreateParser(std::string_view text) const override;
  void CreateParams() override;

  // Stand-alone statements: the session they run on.
  TOraSession* Session() const { return FSession; }
  void SetSession(TOraSession* session);

 protected:
  void CheckConnection() override;

 private:
  TOraSession* FSession = nullptr;
};

class TOraDataSetOptions : public TDADataSetOptions {
 public:
  explicit TOraDataSetOptions(TCustomDADataSet& owner);

  bool KeepPrepared() const { return FKeepPrepared; }
  void SetKeepPrepared(bool value) { FKeepPrepared = value; }
  bool AutoClose() const { return FAutoClose; }
  void SetAutoClose(bool value);
  bool FieldsOrigin() const { return false; }
  // The field information queries are not available: true raises.
  void SetFieldsOrigin(bool value);
  bool DefaultValues() const { return false; }
  void SetDefaultValues(bool value);
  bool FieldsAsString() const { return FFieldsAsString; }
  void SetFieldsAsString(bool value);
  bool DeferredLobRead() const { return FDeferredLobRead; }
  void SetDeferredLobRead(bool value);
  bool CacheLobs() const { return FCacheLobs; }
  void SetCacheLobs(bool value);
  bool ScrollableCursor() const { return FScrollableCursor; }
  void SetScrollableCursor(bool value);
  bool RawAsString() const { return FRawAsString; }
  void SetRawAsString(bool value);

 private:
  bool FKeepPrepared = false;
  bool FAutoClose = false;
  bool FFieldsAsString = false;
  bool FDeferredLobRead = false;
  bool FCacheLobs = true;
  bool FScrollableCursor = false;
  bool FRawAsString = false;
};

class TOraDataSet : public TCustomDADataSet {
 public:
  using TBeforeFetchEvent = std::function<void(TDataSet& dataSet, bool& cancel)>;
  using TAfterFetchEvent = std::function<void(TDataSet& dataSet)>;

  explicit TOraDataSet(std::string name = {});
  ~TOraDataSet() override;

  // The session the dataset runs on; setting it registers the dataset with the session.
  TOraSession* Session() const { return Connection(); }
  void SetSession(TOraSession* session) { SetConnection(session); }
  // Session when set; otherwise the default session when UseDefSession is on.
  TOraSession* UsedConnection() const override;

  TOCIRecordSet& OCIRecordSet() const { return *FOCIRecordSet; }
  TOCICommand& OCICommand() const { return FOCIRecordSet->GetOCICommand(); }
  TOraDataSetOptions& Options() const {
    return static_cast<TOraDataSetOptions&>(TCustomDADataSet::Options());
  }

  // The command's statement type (SQL_SELECT, SQL_PLSQL, ...).
  uint16_t GetSQLType() const;
  int GetRowsProcessed() const;
  // Raises "DataSet is not prepared." on an unprepared dataset.
  bool GetIsPLSQL() const;

  const std::string& KeyFields() const { return FKeyFields; }
  virtual void SetKeyFields(const std::string& value);
  const std::vector<std::string>& KeyFieldNames() const { return FKeyFieldNames; }
  const std::string& KeySequence() const { return FKeySequence; }
  void SetKeySequence(const std::string& value) { FKeySequence = value; }
  // SequenceMode, LockMode and CheckMode steer editing, which this build does not offer: the
  // values that ask for nothing (smPost, lmNone, cmNone) are accepted, any other raises.
  TSequenceMode SequenceMode() const { return TSequenceMode::smPost; }
  void SetSequenceMode(TSequenceMode value);
  TLockMode LockMode() const { return TLockMode::lmNone; }
  void SetLockMode(TLockMode value);
  TCheckMode CheckMode() const { return TCheckMode::cmNone; }
  void SetCheckMode(TCheckMode value);
  // The field named ROWID after the last open, or null.
  TField* RowIdField() const { return FRowIdField; }
  // Row locks are not available.
  void Lock();
  void Unlock();

  TBeforeFetchEvent BeforeFetch;
  TAfterFetchEvent AfterFetch;

 protected:
  TOraDataSet(std::string name, const TOptionsFactory& createOptions);

  void SetIRecordSet(TData* store) override;
  void InternalOpen() override;
  void CloseCursor() override;
  void InternalExecute() override;
  TFieldType GetFieldType(uint16_t dataType) const override;
  using TMemDataSet::GetFieldType;
  TFieldFactory GetFieldClass(TFieldType type) const override;
  void DoAfterScroll() override;
  int GetRecCount() override;
  void DoOnFetch(bool before, bool& cancel) override;

  bool FHideRowId = true;

 private:
  TOCIRecordSet* FOCIRecordSet = nullptr;
  TField* FRowIdField = nullptr;
  std::string FKeyFields;
  std::vector<std::string> FKeyFieldNames;
  std::string FKeySequence;
  bool FFetchCanceled = false;
};

class TCustomOraQuery : public TOraDataSet {
 public:
  explicit TCustomOraQuery(std::string name = {});
  ~TCustomOraQuery() override;

  // Runs the statement (Execute): a statement that returns rows opens the dataset.
  void ExecSQL() { Execute(); }
  TStrings& SQLLock() { return FSQLLock; }

 protected:
  TCustomOraQuery(std::string name, const TOptionsFactory& createOptions);
  std::string MacroScanText() const override;
  // The query has key fields to edit by (the smart query: fields of its updating table).
  virtual bool IsKey() const { return false; }

 private:
  TStrings FSQLLock;
};

// The plain Oracle query component.
class TOraQuery : public TCustomOraQuery {
 public:
  explicit TOraQuery(std::string name = {}) : TCustomOraQuery(std::move(name)) {}
};

// Helpers over the Oracle scanner, exposed for their tests.
namespace OraText {
// The statement without its ORDER BY clause (the clause outside parentheses, to the end).
std::string DeleteOrderBy(const std::string& sql);
// The first table of the FROM list of a SELECT and its alias; false when there is none.
bool FirstTable(const std::string& sql, std::string& table, std::string& alias);
// Whether the statement starts with the keyword SELECT.
bool IsSelect(const std::string& sql);
// The PL/SQL unit that a CREATE statement compiles: its upper-case type ("PROCEDURE",
// "PACKAGE BODY", ...) and name; false for any other statement.
bool CompiledUnit(const std::string& sql, std::string& type, std::string& name);
}  // namespace OraText

}  // namespace tarnwick
