#include "dataset/DBAccess.h"

#include "dataset/text/FieldText.h"
#include "oracle/OraError.h"
#include "oracle/OraSession.h"

namespace tarnwick {

namespace {

bool IsDateTimeType(TFieldType type) {
  return type == ftDateTime || type == ftDate || type == ftTime;
}

// The record store's data-type code of a parameter's field type (0 while unknown).
uint16_t ParamDataTypeCode(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return dcString;
    case ftInteger:
    case ftSmallint:
      return dcInteger;
    case ftFloat:
      return dcFloat;
    default:
      return IsDateTimeType(type) ? dcDateTime : 0;
  }
}

TFieldType ParamFieldType(uint16_t code) {
  switch (code) {
    case dcString:
    case dcExtString:
      return ftString;
    case dcInteger:
      return ftInteger;
    case dcFloat:
      return ftFloat;
    case dcDateTime:
      return ftDateTime;
    default:
      return ftUnknown;
  }
}

// Without trailing blanks and control characters.
std::string TrimRight(std::string text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  return text;
}

}  // namespace

// ---- Parameters ----

void TDAParam::SetAsString(const std::string& value) {
  Value = value;
  if (DataType == ftUnknown) DataType = ftString;
}

void TDAParam::SetAsInteger(int32_t value) {
  Value = value;
  if (DataType == ftUnknown) DataType = ftInteger;
}

void TDAParam::SetAsFloat(double value) {
  Value = value;
  if (DataType == ftUnknown) DataType = ftFloat;
}

std::string TDAParam::AsString() const {
  if (const auto* s = std::get_if<std::string>(&Value)) return *s;
  if (const auto* i = std::get_if<int32_t>(&Value)) return IntToStr(*i);
  if (const auto* d = std::get_if<double>(&Value)) return FloatToStr(*d);
  return {};
}

TDAParam* TDAParams::Add(const std::string& name) {
  FItems.push_back(std::make_unique<TDAParam>());
  FItems.back()->Name = name;
  return FItems.back().get();
}

TDAParam* TDAParams::FindParam(std::string_view name) const {
  for (const auto& p : FItems)
    if (SameText(p->Name, name)) return p.get();
  return nullptr;
}

TDAParam* TDAParams::ParamByName(std::string_view name) const {
  TDAParam* p = FindParam(name);
  if (!p) DatabaseError("Parameter '" + std::string(name) + "' not found");
  return p;
}

// ---- Macros ----

TMacro* TMacros::FindMacro(std::string_view name) const {
  for (const auto& m : FItems)
    if (SameText(m->Name, name)) return m.get();
  return nullptr;
}

TMacro* TMacros::MacroByName(std::string_view name) const {
  TMacro* m = FindMacro(name);
  if (!m) DatabaseError(FmtLoadStr(Daconsts::SMacroNotFound, {name}));
  return m;
}

void TMacros::Scan(TParser& parser, std::string_view text) {
  if (text.find(MacroChar) == std::string_view::npos) {
    FItems.clear();
    return;
  }
  std::vector<std::unique_ptr<TMacro>> items;
  for (const std::string& name : ScanMacroNames(parser, text)) {
    auto macro = std::make_unique<TMacro>();
    macro->Name = name;
    if (const TMacro* old = FindMacro(name)) {
      macro->Value = old->Value;
      macro->Active = old->Active;
    }
    items.push_back(std::move(macro));
  }
  FItems = std::move(items);
}

std::string TMacros::Expand(TParser& parser, std::string_view text) const {
  std::vector<TMacroValue> values;
  values.reserve(FItems.size());
  for (const auto& m : FItems) values.push_back({m->Value, m->Active});
  return ExpandMacros(parser, text, [&](std::string_view name) -> const TMacroValue* {
    for (size_t i = 0; i < FItems.size(); ++i)
      if (SameText(FItems[i]->Name, name)) return &values[i];
    return nullptr;
  });
}

// ---- The statement component ----

TCustomDASQL::TCustomDASQL(TCustomDADataSet* owner) : FDataSet(owner) {
  FSQL.OnChange = [this] { SQLChanged(); };
}

TCustomDASQL::~TCustomDASQL() {
  FSQL.OnChange = nullptr;
}

void TCustomDASQL::SetOwnCommand(std::unique_ptr<TCRCommand> command) {
  FOwnCommand = std::move(command);
  FCommand = FOwnCommand.get();
}

std::unique_ptr<TParser> TCustomDASQL::CreateParser(std::string_view text) const {
  return std::make_unique<TParser>(text);
}

std::string TCustomDASQL::GetFinalSQL() const {
  if (FDataSet) return FDataSet->GetFinalSQL();
  std::string text = TrimRight(FSQL.Text());
  if (FMacros.Count() > 0) {
    auto parser = CreateParser(text);
    text = FMacros.Expand(*parser, text);
  }
  return text;
}

void TCustomDASQL::ScanMacros() {
  if (FDataSet) {
    FDataSet->ScanMacros();
    return;
  }
  const std::string text = FSQL.Text();
  auto parser = CreateParser(text);
  FMacros.Scan(*parser, text);
}

void TCustomDASQL::SQLChanged() {
  if (FDataSet) {
    FDataSet->Close();
    FDataSet->UnPrepare();
    FDataSet->FieldDefs().SetUpdated(false);
  } else {
    UnPrepare();
  }
  ScanMacros();
  AssembleSQL();
}

void TCustomDASQL::AssembleSQL() {
  FAssembledSQL = GetFinalSQL();
  if (!FCommand) return;
  if (!ParamCheck) {
    FCommand->SetSQL(FAssembledSQL);
    return;
  }
  TPropValue scans;
  FCommand->GetProp(prScanParams, scans);
  // The values of the parameters that keep their names.
  std::vector<std::pair<std::string, TParamValue>> kept;
  for (const auto& p : FParams) kept.emplace_back(p->Name, p->Value);
  const auto restore = [&] {
    for (const auto& [name, value] : kept)
      for (const auto& p : FParams)
        if (SameText(p->Name, name)) p->Value = value;
  };
  if (PropBool(scans, prScanParams)) {
    FCommand->SetSQL(FAssembledSQL);
    CreateParams();
    restore();
  } else {
    // The command leaves the parameters to us: each ":name" becomes "?".
    std::vector<std::string> names;
    auto parser = CreateParser(FAssembledSQL);
    const std::string text = ParseSQL(*parser, FAssembledSQL, &names);
    FParams.Clear();
    for (const auto& name : names) FParams.Add(name)->ParamType = TParamDirection::pdInput;
    restore();
    FCommand->SetSQL(text);
    FCommand->ClearParams();
    for (const auto& p : FParams) FCommand->AddParam()->Name = p->Name;
    WriteParams();
  }
}

void TCustomDASQL::CreateParams() {
  FParams.Clear();
  for (const auto& desc : FCommand->Params()) {
    TDAParam* p = FParams.Add(desc->Name);
    p->DataType = ParamFieldType(desc->DataType);
    p->ParamType = desc->ParamType;
    p->Size = desc->Size;
  }
}

void TCustomDASQL::WriteParams() {
  if (!FCommand) return;
  const TParamDescs& descs = FCommand->Params();
  for (size_t i = 0; i < descs.size(); ++i) {
    // A command that names its parameters is matched by name; one that numbers them ("?"),
    // by position.
    TParamDesc* desc = descs[i].get();
    TDAParam* p = FParams.FindParam(desc->Name);
    if (!p && i < static_cast<size_t>(FParams.Count())) p = FParams[static_cast<int>(i)];
    if (!p) continue;
    desc->Value = p->Value;
    desc->DataType = ParamDataTypeCode(p->DataType);
    desc->ParamType = p->ParamType;
    desc->Size = p->Size;
  }
}

void TCustomDASQL::ReadParams() {
  if (!FCommand) return;
  for (const auto& desc : FCommand->Params()) {
    if (desc->ParamType != TParamDirection::pdOutput &&
        desc->ParamType != TParamDirection::pdInputOutput &&
        desc->ParamType != TParamDirection::pdResult)
      continue;
    if (TDAParam* p = FParams.FindParam(desc->Name)) p->Value = desc->Value;
  }
}

void TCustomDASQL::CheckConnection() {
  NotAvailable("A statement component without a dataset or a session");
}

bool TCustomDASQL::Prepared() const {
  if (FDataSet) return FDataSet->Prepared();
  return FCommand && FCommand->GetPrepared();
}

void TCustomDASQL::Prepare() {
  if (FDataSet) {
    FDataSet->Prepare();
    return;
  }
  if (Prepared()) return;
  CheckConnection();
  WriteParams();
  FCommand->Prepare();
}

void TCustomDASQL::UnPrepare() {
  if (FDataSet) {
    FDataSet->UnPrepare();
    return;
  }
  if (Prepared()) FCommand->Unprepare();
}

void TCustomDASQL::Execute() {
  if (FDataSet) {
    FDataSet->Execute();
    return;
  }
  CheckConnection();
  if (FCommand->Executing()) return;
  WriteParams();
  bool ok = false;
  try {
    FCommand->Execute(1);
    ok = true;
  } catch (...) {
    if (AfterExecute) AfterExecute(*this, false);
    throw;
  }
  ReadParams();
  TPropValue rows;
  FCommand->GetProp(prRowsProcessed, rows);
  FRowsAffected = PropInt(rows, prRowsProcessed);
  if (AfterExecute) AfterExecute(*this, ok);
}

// ---- Options ----

TDADataSetOptions::TDADataSetOptions(TCustomDADataSet& owner) : FOwner(owner) {
  SetRequiredFields(true);
  SetStrictUpdate(true);
  SetNumberRange(false);
  SetQueryRecCount(false);
  SetReturnParams(false);
  SetTrimFixedChar(true);
  SetLongStrings(true);
  SetFlatBuffers(false);
  SetRemoveOnRefresh(true);
}

void TDADataSetOptions::SetRequiredFields(bool value) {
  FRequiredFields = value;
  FOwner.SetLocalConstraints(value);
  FOwner.FieldDefs().SetUpdated(false);
  if (FOwner.Active()) FOwner.CreateFieldDefs();
}

void TDADataSetOptions::SetNumberRange(bool value) {
  if (value) NotAvailable("The option NumberRange", &FOwner);
}

void TDADataSetOptions::SetStrictUpdate(bool value) {
  if (!value) NotAvailable("The option StrictUpdate = False", &FOwner);
}

void TDADataSetOptions::SetReturnParams(bool value) {
  if (value) NotAvailable("The option ReturnParams", &FOwner);
}

void TDADataSetOptions::SetRemoveOnRefresh(bool value) {
  if (!value) NotAvailable("The option RemoveOnRefresh = False", &FOwner);
}

void TDADataSetOptions::SetTrimFixedChar(bool value) {
  FTrimFixedChar = value;
  FOwner.Data().TrimFixedChar = value;
}

void TDADataSetOptions::SetLongStrings(bool value) {
  FOwner.CheckInactive();
  FLongStrings = value;
  FOwner.RecordSet().SetProp(prLongStrings, value);
  FOwner.FieldDefs().SetUpdated(false);
}

void TDADataSetOptions::SetFlatBuffers(bool value) {
  FOwner.CheckInactive();
  FFlatBuffers = value;
  FOwner.RecordSet().SetProp(prFlatBuffers, value);
  FOwner.FieldDefs().SetUpdated(false);
}

// ---- The data-access dataset: construction ----

TCustomDADataSet::TCustomDADataSet(std::string name, std::unique_ptr<TCRRecordSet> recordSet,
                                   const TCommandFactory& createCommand,
                                   const TOptionsFactory& createOptions)
    : TMemDataSet(std::move(name), std::move(recordSet)) {
  FRecordSet = static_cast<TCRRecordSet*>(&Data());
  for (TStrings* list : {&FSQLInsert, &FSQLDelete, &FSQLUpdate, &FSQLRefresh})
    list->OnChange = [this] { ScanMacros(); };
  FFetchRows = 25;
  FAutoCommit = true;
  FRowsAffected = -1;
  FRefreshOptions = 0;
  FStatement = createCommand(*this);
  SetIRecordSet(&Data());
  FOptions = createOptions(*this);
}

TCustomDADataSet::~TCustomDADataSet() {
  BeginDestroy();
  Unregister();
  FRecordSet->AfterExecFetch = nullptr;
  FRecordSet->AfterFetchAll = nullptr;
  FRecordSet->OnFetch = nullptr;
  if (TCRCommand* command = FRecordSet->GetCommand()) command->AfterExecuteHook = nullptr;
  for (TStrings* list : {&FSQLInsert, &FSQLDelete, &FSQLUpdate, &FSQLRefresh})
    list->OnChange = nullptr;
}

void TCustomDADataSet::SetIRecordSet(TData* store) {
  TMemDataSet::SetIRecordSet(store);
  FRecordSet = static_cast<TCRRecordSet*>(store);
  FRecordSet->SetProp(prUniDirectional, FUniDirectional);
  FRecordSet->SetProp(prFetchRows, static_cast<int32_t>(FFetchRows));
  FRecordSet->SetProp(prFetchAll, FFetchAll);
  if (FOptions) {
    FRecordSet->SetProp(prLongStrings, FOptions->LongStrings());
    FRecordSet->SetProp(prFlatBuffers, FOptions->FlatBuffers());
    FRecordSet->TrimFixedChar = FOptions->TrimFixedChar();
  }
  FRecordSet->AfterExecFetch = [this](bool result) { DoAfterExecFetch(result); };
  FRecordSet->AfterFetchAll = [this](bool result) { DoAfterFetchAll(result); };
  FRecordSet->OnFetch = [this](bool before, bool& cancel) { DoOnFetch(before, cancel); };
  TCRCommand* command = FRecordSet->GetCommand();
  if (FStatement) FStatement->SetICommand(command);
  if (command) {
    command->SetProp(prAutoCommit, FAutoCommit);
    command->AfterExecuteHook = [this](bool success) { DoAfterExecute(success); };
  }
}

// ---- Statement text ----

void TCustomDADataSet::SetSQL(const TStrings& lines) {
  if (SQL().Text() != lines.Text()) SQL().Assign(lines);
}

std::string TCustomDADataSet::GetFinalSQL() const {
  std::string text = TrimRight(SQL().Text());
  if (FStatement->Macros().Count() > 0) {
    auto parser = FStatement->CreateParser(text);
    text = FStatement->Macros().Expand(*parser, text);
  }
  return text;
}

std::string TCustomDADataSet::MacroScanText() const {
  return SQL().Text() + FSQLInsert.Text() + FSQLUpdate.Text() + FSQLDelete.Text() +
         FSQLRefresh.Text();
}

void TCustomDADataSet::ScanMacros() {
  const std::string text = MacroScanText();
  auto parser = FStatement->CreateParser(text);
  FStatement->Macros().Scan(*parser, text);
}

std::string TCustomDADataSet::QuoteName(const std::string& name) const {
  return FOptions->QuoteNames() ? "\"" + name + "\"" : name;
}

// ---- Connection ----

void TCustomDADataSet::Register(TOraSession* connection) {
  if (FRegisteredWith == connection) return;
  Unregister();
  FRegisteredWith = connection;
  TSessionClient events;
  events.ConnectChange = [this](bool connecting) { ConnectChange(connecting); };
  events.SetConnection = [this](TOCIConnection* c) { ConnectionReplaced(c); };
  events.FieldDefsChanged = [this] { FieldDefs().SetUpdated(false); };
  connection->RegisterClient(this, std::move(events));
}

void TCustomDADataSet::Unregister() {
  if (!FRegisteredWith) return;
  FRegisteredWith->UnRegisterClient(this);
  FRegisteredWith = nullptr;
}

void TCustomDADataSet::ConnectionReplaced(TOCIConnection* connection) {
  if (connection) {
    FRecordSet->SetConnection(connection);
    return;
  }
  // The session is being destroyed and lets its clients go: the dataset has no connection.
  FRecordSet->SetConnection(nullptr);
  if (FConnection == FRegisteredWith) FConnection = nullptr;
  FRegisteredWith = nullptr;
}

void TCustomDADataSet::SetConnection(TOraSession* connection) {
  if (connection == FConnection) return;
  if (FConnection || FRegisteredWith) {
    Disconnect();
    Unregister();
  }
  FConnection = connection;
  if (connection) {
    // Registering hands the record set the session's low-level connection when there is one.
    FRecordSet->SetConnection(connection->GetIConnection());
    Register(connection);
  } else {
    FRecordSet->SetConnection(nullptr);
  }
}

void TCustomDADataSet::CheckConnection() {
  TOraSession* connection = UsedConnection();
  if (!connection) DatabaseError(LoadResString(Daconsts::SConnectionNotDefined));
  if (!connection->GetConnected()) connection->Connect();
  if (FRegisteredWith != connection) {
    // A dataset on the default session joins its clients at first use.
    Register(connection);
    FRecordSet->SetConnection(connection->GetIConnection());
  }
}

void TCustomDADataSet::ConnectChange(bool connecting) {
  if (connecting) {
    if (FRegisteredWith) FRecordSet->SetConnection(FRegisteredWith->GetIConnection());
    return;
  }
  // The session may be going away in the middle of our own call into the record set (a lost
  // connection seen during a fetch): the record set is then on the call stack and is closed
  // when that call has ended.
  if (InOperation()) {
    FPendingDisconnect = true;
    return;
  }
  Disconnect();
}

void TCustomDADataSet::AfterOperation(bool failed) {
  if (!FPendingDisconnect) return;
  FPendingDisconnect = false;
  if (!failed) {
    Disconnect();
    return;
  }
  try {
    Disconnect();
  } catch (...) {
    // The failure that ended the operation is the one the caller hears of.
  }
}

void TCustomDADataSet::Disconnect() {
  Close();
  UnPrepare();
  FieldDefs().SetUpdated(false);
}

// ---- Prepare, open, close ----

void TCustomDADataSet::Prepare() {
  if (Prepared() || Active()) return;
  Operation([&] {
    CheckConnection();
    FStatement->WriteParams();
    TMemDataSet::Prepare();
  });
}

void TCustomDADataSet::OpenCursor(bool infoQuery) {
  CheckConnection();
  if (Active()) return;
  FCountedRecords = FOptions->QueryRecCount() ? GetRecCount() : 0;
  FStatement->WriteParams();
  FOpeningCursor = true;
  try {
    TMemDataSet::OpenCursor(infoQuery);
  } catch (...) {
    FOpeningCursor = false;
    throw;
  }
  FOpeningCursor = false;
  if (!infoQuery) FRowsAffected = -1;
}

void TCustomDADataSet::InternalClose() {
  try {
    TMemDataSet::InternalClose();
  } catch (const EDAError& e) {
    TOraSession* connection = UsedConnection();
    if (!connection || !connection->IsFatalError(e)) throw;
  }
}

// ---- Execute ----

void TCustomDADataSet::Execute() {
  if (Executing()) return;
  Operation([&] {
    CheckConnection();
    if (Active()) Close();
    if (GetIsQuery()) {
      Open();
      return;
    }
    FStatement->WriteParams();
    InternalExecute();
    if (GetIsQuery()) Open();
  });
}

void TCustomDADataSet::InternalExecute() {
  FRecordSet->ExecCommand();
}

void TCustomDADataSet::DoAfterExecute(bool result) {
  if (result) {
    FStatement->ReadParams();
    TPropValue rows;
    FRecordSet->GetCommand()->GetProp(prRowsProcessed, rows);
    FRowsAffected = PropInt(rows, prRowsProcessed);
  }
  // An open reports its execution once, when the record set has also described it.
  if (!FOpeningCursor && AfterExecute) AfterExecute(*this, result);
}

void TCustomDADataSet::DoAfterExecFetch(bool result) {
  if (result) FStatement->ReadParams();
  if (AfterExecute) AfterExecute(*this, result);
}

void TCustomDADataSet::DoAfterFetchAll(bool) {
  // Only the background fetch of all rows reports here, and this build fetches on the
  // caller's thread.
}

void TCustomDADataSet::DoOnFetch(bool, bool&) {
  // The data-access dataset has no fetch events; the Oracle datasets add them.
}

bool TCustomDADataSet::GetIsQuery() const {
  return FRecordSet->CommandType() == ctCursor;
}

bool TCustomDADataSet::Executing() const {
  const TCRCommand* command = FRecordSet->GetCommand();
  return command && command->Executing();
}

bool TCustomDADataSet::Fetching() const {
  const TCursorState state = FRecordSet->GetCommand()->GetCursorState();
  return state == csFetching || state == csFetchingAll;
}

bool TCustomDADataSet::FetchingAll() const {
  return FRecordSet->GetCommand()->GetCursorState() == csFetchingAll;
}

bool TCustomDADataSet::Fetched() const {
  const TCursorState state = FRecordSet->GetCommand()->GetCursorState();
  return state == csCanceled || (Active() && state == csInactive);
}

int TCustomDADataSet::GetRecordCount() const {
  if (Active() && !Fetched() && FOptions->QueryRecCount() && FCountedRecords != 0) {
    TPropValue rows;
    FRecordSet->GetCommand()->GetProp(prRowsProcessed, rows);
    return FCountedRecords - PropInt(rows, prRowsProcessed) + FRecordSet->GetRecordCount();
  }
  return TMemDataSet::GetRecordCount();
}

// ---- Checked setters ----

void TCustomDADataSet::SetFetchRows(int value) {
  if (value == FFetchRows) return;
  CheckInactive();
  if (value <= 0 || value > 10000) DatabaseError(LoadResString(Daconsts::SInvalidFetchRows));
  FFetchRows = value;
  FRecordSet->SetProp(prFetchRows, static_cast<int32_t>(value));
}

void TCustomDADataSet::SetUniDirectional(bool value) {
  if (value == FUniDirectional) return;
  CheckInactive();
  FUniDirectional = value;
  FRecordSet->SetProp(prUniDirectional, value);
  if (value && FFetchAll) {
    FFetchAll = false;
    FRecordSet->SetProp(prFetchAll, false);
  }
}

void TCustomDADataSet::SetFetchAll(bool value) {
  FFetchAll = value;
  FRecordSet->SetProp(prFetchAll, value);
  if (!value) return;
  if (FUniDirectional) {
    FUniDirectional = false;
    FRecordSet->SetProp(prUniDirectional, false);
  }
  if (Active()) Operation([&] { FRecordSet->FetchAll(); });
}

void TCustomDADataSet::SetAutoCommit(bool value) {
  FAutoCommit = value;
  if (TCRCommand* command = FRecordSet->GetCommand()) command->SetProp(prAutoCommit, value);
}

void TCustomDADataSet::SetDebug(bool value) {
  if (value) NotAvailable("SQL monitoring");
}

void TCustomDADataSet::SetNonBlocking(bool value) {
  if (value) NotAvailable("Non-blocking execution");
}

void TCustomDADataSet::SetFilterSQL(const std::string& value) {
  std::string trimmed = value;
  while (!trimmed.empty() && static_cast<unsigned char>(trimmed.front()) <= ' ')
    trimmed.erase(trimmed.begin());
  trimmed = TrimRight(trimmed);
  if (!trimmed.empty()) NotAvailable("FilterSQL");
  FFilterSQL.clear();
}

void TCustomDADataSet::SetMasterSource(TDataSet* master) {
  if (master) NotAvailable("Master-detail links");
}

}  // namespace tarnwick
