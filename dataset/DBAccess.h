#pragma once
// The data-access dataset: a memory dataset over an SQL statement. It holds the statement text
// in an internal statement component, assembles the text sent to the server, links the dataset
// to its session, prepares, opens and executes the statement through a record set and its
// command, and reads rows from the server as the caller walks forward.
//
// The session component (TOraSession) is the connection component of this library; the
// record set and command are reached through the database-neutral TCRRecordSet and TCRCommand.
//
// Map of this header: parameters and macros, TCustomDASQL, TDADataSetOptions, TCustomDADataSet.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/MemDS.h"
#include "dataset/text/CRParser.h"
#include "oracle/CRCommand.h"
#include "recordset/CRRecordSet.h"

namespace tarnwick {

class TOraSession;
class TOCIConnection;
class TCustomDADataSet;

// ---- Parameters ----

class TDAParam {
 public:
  std::string Name;
  TFieldType DataType = ftUnknown;
  TParamDirection ParamType = TParamDirection::pdUnknown;
  // Largest size in bytes of a text value.
  int Size = 0;
  TParamValue Value;

  bool IsNull() const { return std::holds_alternative<std::monostate>(Value); }
  void Clear() { Value = std::monostate{}; }
  void SetAsString(const std::string& value);
  void SetAsInteger(int32_t value);
  void SetAsFloat(double value);
  // The value as text (empty for NULL).
  std::string AsString() const;
};

class TDAParams {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TDAParam* operator[](int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  TDAParam* Add(const std::string& name);
  void Clear() { FItems.clear(); }
  // The parameter of that name (ignoring case), or null.
  TDAParam* FindParam(std::string_view name) const;
  // Raises "Parameter '<name>' not found" when absent.
  TDAParam* ParamByName(std::string_view name) const;
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  std::vector<std::unique_ptr<TDAParam>> FItems;
};

// ---- Macros ----

class TMacro {
 public:
  std::string Name;
  std::string Value;
  bool Active = true;
};

class TMacros {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TMacro* operator[](int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  void Clear() { FItems.clear(); }
  TMacro* FindMacro(std::string_view name) const;
  // Raises "Macro <name> not found." when absent.
  TMacro* MacroByName(std::string_view name) const;
  // Rebuilds the list from the macros referenced in text, keeping the value and state of a
  // macro that existed under the same name. A text without the macro character clears it.
  void Scan(TParser& parser, std::string_view text);
  // The text with each reference to a known macro replaced by its value.
  std::string Expand(TParser& parser, std::string_view text) const;

 private:
  std::vector<std::unique_ptr<TMacro>> FItems;
};

// ---- The statement component ----
//
// Holds SQL, Params and Macros. A statement that belongs to a dataset uses the record set's
// command; a stand-alone one (TOraSQL without a dataset) makes its own.
class TCustomDASQL {
 public:
  using TAfterExecuteEvent = std::function<void(TCustomDASQL& sender, bool result)>;

  // owner: the dataset the statement belongs to, or null for a stand-alone statement.
  explicit TCustomDASQL(TCustomDADataSet* owner);
  virtual ~TCustomDASQL();
  TCustomDASQL(const TCustomDASQL&) = delete;
  TCustomDASQL& operator=(const TCustomDASQL&) = delete;

  TStrings& SQL() { return FSQL; }
  const TStrings& SQL() const { return FSQL; }
  TDAParams& Params() { return FParams; }
  TMacros& Macros() { return FMacros; }
  bool ParamCheck = true;
  // The text last given to the command.
  const std::string& AssembledSQL() const { return FAssembledSQL; }
  TCustomDADataSet* DataSet() const { return FDataSet; }
  TCRCommand* Command() const { return FCommand; }
  void SetICommand(TCRCommand* command) { FCommand = command; }

  // The text sent to the server: the lines of SQL without trailing blanks and control
  // characters, the macros expanded (for a dataset: the dataset's final text).
  virtual std::string GetFinalSQL() const;
  // Stores the final text, gives it to the command and rebuilds Params.
  virtual void AssembleSQL();
  virtual void ScanMacros();
  virtual std::unique_ptr<TParser> CreateParser(std::string_view text) const;
  // Params from the command's parameter descriptions.
  virtual void CreateParams();
  // Parameter values into the command, and output values back out of it.
  virtual void WriteParams();
  virtual void ReadParams();

  // Stand-alone statements only.
  virtual void Prepare();
  virtual void UnPrepare();
  bool Prepared() const;
  virtual void Execute();
  int RowsAffected() const { return FRowsAffected; }

  TAfterExecuteEvent AfterExecute;

 protected:
  // A change of the text: a dataset is closed and unprepared; the macros are scanned and the
  // text assembled again.
  virtual void SQLChanged();
  // Stand-alone statements run on the command and connection this returns.
  virtual void CheckConnection();
  void SetOwnCommand(std::unique_ptr<TCRCommand> command);

  TCRCommand* FCommand = nullptr;
  int FRowsAffected = -1;

 private:
  TCustomDADataSet* FDataSet;
  TStrings FSQL;
  TDAParams FParams;
  TMacros FMacros;
  std::string FAssembledSQL;
  std::unique_ptr<TCRCommand> FOwnCommand;
};

// ---- Options ----
//
// Each setter acts on the dataset at once; the constructor sets the defaults through them, so
// the record set and store receive them when the options are made.
class TDADataSetOptions {
 public:
  explicit TDADataSetOptions(TCustomDADataSet& owner);
  virtual ~TDADataSetOptions() = default;
  TDADataSetOptions(const TDADataSetOptions&) = delete;
  TDADataSetOptions& operator=(const TDADataSetOptions&) = delete;

  bool RequiredFields() const { return FRequiredFields; }
  void SetRequiredFields(bool value);
  // StrictUpdate, ReturnParams and RemoveOnRefresh steer editing, which this build does not
  // offer: their defaults are accepted, any other value raises.
  bool StrictUpdate() const { return true; }
  void SetStrictUpdate(bool value);
  bool NumberRange() const { return false; }
  // Number ranges are not available: true raises.
  void SetNumberRange(bool value);
  bool QueryRecCount() const { return FQueryRecCount; }
  void SetQueryRecCount(bool value) { FQueryRecCount = value; }
  bool ReturnParams() const { return false; }
  void SetReturnParams(bool value);
  bool TrimFixedChar() const { return FTrimFixedChar; }
  void SetTrimFixedChar(bool value);
  bool LongStrings() const { return FLongStrings; }
  void SetLongStrings(bool value);
  bool FlatBuffers() const { return FFlatBuffers; }
  void SetFlatBuffers(bool value);
  bool RemoveOnRefresh() const { return true; }
  void SetRemoveOnRefresh(bool value);
  bool QuoteNames() const { return FQuoteNames; }
  void SetQuoteNames(bool value) { FQuoteNames = value; }

 protected:
  TCustomDADataSet& FOwner;

 private:
  bool FRequiredFields = true;
  bool FQueryRecCount = false;
  bool FTrimFixedChar = true;
  bool FLongStrings = true;
  bool FFlatBuffers = false;
  bool FQuoteNames = false;
};

// ---- The data-access dataset ----

// Refresh options (editing only), a set of bits.
using TRefreshOptions = uint8_t;
inline constexpr TRefreshOptions roAfterInsert = 0x01;
inline constexpr TRefreshOptions roAfterUpdate = 0x02;
inline constexpr TRefreshOptions roBeforeEdit = 0x04;

class TCustomDADataSet : public TMemDataSet {
 public:
  using TAfterExecuteEvent = std::function<void(TDataSet& sender, bool result)>;
  using TCommandFactory = std::function<std::unique_ptr<TCustomDASQL>(TCustomDADataSet&)>;
  using TOptionsFactory = std::function<std::unique_ptr<TDADataSetOptions>(TCustomDADataSet&)>;

  ~TCustomDADataSet() override;

  // ---- Statement ----
  TStrings& SQL() { return FStatement->SQL(); }
  const TStrings& SQL() const { return FStatement->SQL(); }
  // Copies the text of the list when it differs, as one change.
  void SetSQL(const TStrings& lines);
  TDAParams& Params() { return FStatement->Params(); }
  TDAParam* ParamByName(std::string_view name) { return Params().ParamByName(name); }
  TDAParam* FindParam(std::string_view name) { return Params().FindParam(name); }
  int GetParamCount() { return Params().Count(); }
  TMacros& Macros() { return FStatement->Macros(); }
  TMacro* MacroByName(std::string_view name) { return Macros().MacroByName(name); }
  TMacro* FindMacro(std::string_view name) { return Macros().FindMacro(name); }
  int GetMacroCount() { return Macros().Count(); }
  TCustomDASQL& Statement() const { return *FStatement; }
  TStrings& SQLInsert() { return FSQLInsert; }
  TStrings& SQLDelete() { return FSQLDelete; }
  TStrings& SQLUpdate() { return FSQLUpdate; }
  TStrings& SQLRefresh() { return FSQLRefresh; }
  const TStrings& SQLInsert() const { return FSQLInsert; }
  const TStrings& SQLDelete() const { return FSQLDelete; }
  const TStrings& SQLUpdate() const { return FSQLUpdate; }
  const TStrings& SQLRefresh() const { return FSQLRefresh; }
  // The text sent to the server.
  virtual std::string GetFinalSQL() const;
  // The macro scan over SQL and the update statements.
  virtual void ScanMacros();

  // ---- Running the statement ----
  void Prepare() override;
  // Runs the statement; a statement that returns rows opens the dataset.
  void Execute();
  // Rows processed by the last Execute; -1 after an open.
  int RowsAffected() const { return FRowsAffected; }
  int GetRowsAffected() const { return FRowsAffected; }
  // The record set's command type says the statement returns rows.
  bool GetIsQuery() const;
  bool Executing() const;
  bool Fetching() const;
  bool FetchingAll() const;
  bool Fetched() const;
  int GetRecordCount() const override;

  // ---- Properties ----
  TDADataSetOptions& Options() const { return *FOptions; }
  int FetchRows() const { return FFetchRows; }
  void SetFetchRows(int value);
  bool FetchAll() const { return FFetchAll; }
  void SetFetchAll(bool value);
  bool UniDirectional() const { return FUniDirectional; }
  void SetUniDirectional(bool value);
  bool AutoCommit() const { return FAutoCommit; }
  void SetAutoCommit(bool value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  TRefreshOptions RefreshOptions() const { return FRefreshOptions; }
  void SetRefreshOptions(TRefreshOptions value) { FRefreshOptions = value; }
  bool Debug() const { return false; }
  // SQL monitoring is not available: true raises.
  void SetDebug(bool value);
  bool NonBlocking() const { return false; }
  // Execution in a background thread is not available: true raises.
  void SetNonBlocking(bool value);
  const std::string& FilterSQL() const { return FFilterSQL; }
  // Conditions added to the statement are not available: a non-empty text raises.
  void SetFilterSQL(const std::string& value);
  // Master-detail links are not available: a master raises.
  void SetMasterSource(TDataSet* master);
  bool CanModify() const { return false; }
  // The name in the quote characters when the option QuoteNames is set.
  std::string QuoteName(const std::string& name) const;

  // ---- Connection ----
  // The connection set on the dataset (Session of the Oracle datasets).
  TOraSession* Connection() const { return FConnection; }
  // The connection the dataset runs on.
  virtual TOraSession* UsedConnection() const { return FConnection; }
  // Connects the connection when needed and attaches the dataset to it; "Connection is not
  // defined." when there is none.
  void CheckConnection();
  // Close, unprepare, field definitions out of date.
  void Disconnect();
  TCRRecordSet& RecordSet() const { return *FRecordSet; }

  TAfterExecuteEvent AfterExecute;

 protected:
  TCustomDADataSet(std::string name, std::unique_ptr<TCRRecordSet> recordSet,
                   const TCommandFactory& createCommand, const TOptionsFactory& createOptions);

  void SetConnection(TOraSession* connection);
  void SetIRecordSet(TData* store) override;
  void OpenCursor(bool infoQuery) override;
  void InternalClose() override;
  void AfterOperation(bool failed) override;
  // The record set runs the statement (the Oracle datasets wrap this step).
  virtual void InternalExecute();
  // The record count by a separate query (0 at this level).
  virtual int GetRecCount() { return 0; }
  // Told by the connection before it disconnects (false) and after it connected (true).
  virtual void ConnectChange(bool connecting);
  // Before (before = true) and after each block fetch of the record set.
  virtual void DoOnFetch(bool before, bool& cancel);
  virtual void DoAfterExecute(bool result);
  virtual void DoAfterExecFetch(bool result);
  virtual void DoAfterFetchAll(bool result);
  // The texts scanned for macros: SQL, then the update statements.
  virtual std::string MacroScanText() const;

  TCRRecordSet* FRecordSet = nullptr;

 private:
  friend class TDADataSetOptions;
  friend class TCustomDASQL;
  void Register(TOraSession* connection);
  void Unregister();
  void ConnectionReplaced(TOCIConnection* connection);

  std::unique_ptr<TCustomDASQL> FStatement;
  std::unique_ptr<TDADataSetOptions> FOptions;
  TOraSession* FConnection = nullptr;
  TOraSession* FRegisteredWith = nullptr;
  bool FPendingDisconnect = false;
  bool FOpeningCursor = false;
  TStrings FSQLInsert, FSQLDelete, FSQLUpdate, FSQLRefresh;
  int FFetchRows = 25;
  bool FFetchAll = false;
  bool FUniDirectional = false;
  bool FAutoCommit = true;
  bool FReadOnly = false;
  TRefreshOptions FRefreshOptions = 0;
  std::string FFilterSQL;
  int FRowsAffected = -1;
  int FCountedRecords = 0;
};

}  // namespace tarnwick
