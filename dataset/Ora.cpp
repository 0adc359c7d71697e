#include "dataset/Ora.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "dataset/text/FieldText.h"
#include "oracle/OCICommand.h"
#include "oracle/OraError.h"

namespace tarnwick {

namespace {

std::string Trim(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

constexpr int kOraKeywordBody = 11;
constexpr int kOraKeywordBy = 12;
constexpr int kOraKeywordCreate = 14;
constexpr int kOraKeywordFrom = 19;
constexpr int kOraKeywordFunction = 20;
constexpr int kOraKeywordOr = 25;
constexpr int kOraKeywordOrder = 26;
constexpr int kOraKeywordPackage = 27;
constexpr int kOraKeywordProcedure = 28;
constexpr int kOraKeywordReplace = 29;
constexpr int kOraKeywordSelect = 31;
constexpr int kOraKeywordTrigger = 33;
constexpr int kOraKeywordType = 34;

// The lexemes of a statement without blanks and comments.
struct Lexeme {
  int Code;
  std::string Text;
  int Start;  // 0-based, where the reading of the lexeme began (blanks before it included)
};

std::vector<Lexeme> Lexemes(const std::string& sql) {
  TOraParser parser(sql);
  parser.SkipComments = true;
  std::vector<Lexeme> result;
  for (;;) {
    std::string text;
    const int code = parser.GetNext(text);
    if (code == LexEnd) break;
    result.push_back({code, text, parser.PrevPos()});
  }
  return result;
}

}  // namespace

// ---- Text helpers ----

namespace OraText {

std::string DeleteOrderBy(const std::string& sql) {
  const auto lexemes = Lexemes(sql);
  int depth = 0;
  for (size_t i = 0; i + 1 < lexemes.size(); ++i) {
    const Lexeme& l = lexemes[i];
    if (l.Code == LexSymbol && l.Text == "(") ++depth;
    if (l.Code == LexSymbol && l.Text == ")") --depth;
    if (depth == 0 && l.Code == kOraKeywordOrder && lexemes[i + 1].Code == kOraKeywordBy) {
      std::string head = sql.substr(0, static_cast<size_t>(l.Start));
      while (!head.empty() && static_cast<unsigned char>(head.back()) <= ' ') head.pop_back();
      return head;
    }
  }
  return sql;
}

bool IsSelect(const std::string& sql) {
  const auto lexemes = Lexemes(sql);
  size_t i = 0;
  while (i < lexemes.size() && lexemes[i].Code == LexSymbol && lexemes[i].Text == "(") ++i;
  return i < lexemes.size() && lexemes[i].Code == kOraKeywordSelect;
}

bool FirstTable(const std::string& sql, std::string& table, std::string& alias) {
  table.clear();
  alias.clear();
  const auto lexemes = Lexemes(sql);
  int depth = 0;
  size_t i = 0;
  for (; i < lexemes.size(); ++i) {
    const Lexeme& l = lexemes[i];
    if (l.Code == LexSymbol && l.Text == "(") ++depth;
    if (l.Code == LexSymbol && l.Text == ")") --depth;
    if (depth == 0 && l.Code == kOraKeywordFrom) break;
  }
  if (++i >= lexemes.size() || lexemes[i].Code != LexIdent) return false;
  table = lexemes[i].Text;
  // schema.table
  while (i + 2 < lexemes.size() && lexemes[i + 1].Code == OraSymPeriod &&
         lexemes[i + 2].Code == LexIdent) {
    table += "." + lexemes[i + 2].Text;
    i += 2;
  }
  if (i + 1 < lexemes.size() && lexemes[i + 1].Code == LexIdent) alias = lexemes[i + 1].Text;
  return true;
}

bool CompiledUnit(const std::string& sql, std::string& type, std::string& name) {
  const auto lexemes = Lexemes(sql);
  size_t i = 0;
  if (i >= lexemes.size() || lexemes[i].Code != kOraKeywordCreate) return false;
  ++i;
  if (i + 1 < lexemes.size() && lexemes[i].Code == kOraKeywordOr &&
      lexemes[i + 1].Code == kOraKeywordReplace)
    i += 2;
  if (i >= lexemes.size()) return false;
  switch (lexemes[i].Code) {
    case kOraKeywordProcedure:
      type = "PROCEDURE";
      break;
    case kOraKeywordFunction:
      type = "FUNCTION";
      break;
    case kOraKeywordTrigger:
      type = "TRIGGER";
      break;
    case kOraKeywordPackage:
      type = "PACKAGE";
      break;
    case kOraKeywordType:
      type = "TYPE";
      break;
    default:
      return false;
  }
  ++i;
  if ((type == "PACKAGE" || type == "TYPE") && i < lexemes.size() &&
      lexemes[i].Code == kOraKeywordBody) {
    type += " BODY";
    ++i;
  }
  if (i >= lexemes.size() || lexemes[i].Code != LexIdent) return false;
  name = lexemes[i].Text;
  if (i + 2 < lexemes.size() && lexemes[i + 1].Code == OraSymPeriod &&
      lexemes[i + 2].Code == LexIdent)
    name = lexemes[i + 2].Text;
  // A quoted name keeps its case; a plain one is upper case on the server.
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = name.substr(1, name.size() - 2);
  else
    name = Upper(name);
  return true;
}

}  // namespace OraText

namespace {

// The server's compilation errors of the unit that a CREATE statement compiled, one
// "line/position: text" per line; empty when the statement compiles no unit or nothing can be
// read.
std::string CompilationErrorText(TOraSession* session, const std::string& sql) {
  std::string type, name;
  if (!session || !OraText::CompiledUnit(sql, type, name)) return {};
  const auto quote = [](const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
  };
  std::string text;
  try {
    TOraQuery errors;
    errors.SetSession(session);
    errors.SQL().Add("select line, position, text from user_errors where name = " + quote(name) +
                     " and type = " + quote(type) + " order by sequence");
    errors.Open();
    while (!errors.Eof()) {
      if (!text.empty()) text += "\n";
      text += errors.Fields()[0]->AsString() + "/" + errors.Fields()[1]->AsString() + ": " +
              errors.Fields()[2]->AsString();
      errors.Next();
    }
  } catch (const Exception&) {
    return {};
  }
  return text;
}

}  // namespace

// ---- TOraSQL ----

// ---- TOraNumberField ----

TOraNumberField::TOraNumberField() : TField(ftOraNumber) {}

std::optional<std::string> TOraNumberField::Value() const {
  std::string value(kOraNumberSize, '\0');
  if (!GetData(value.data())) return std::nullopt;
  return value;
}

std::string TOraNumberField::AsString() const {
  std::string text;
  GetText(text);
  return text;
}

void TOraNumberField::GetText(std::string& text) const {
  // Read into the stack: this runs for every value of a NUMBER column that an export writes.
  char value[kOraNumberSize];
  if (!GetData(value)) {
    text.clear();
    return;
  }
  OraNumberFieldText(std::string_view(value, sizeof value), text);
}

double TOraNumberField::AsFloat() const {
  const std::optional<std::string> value = Value();
  if (!value) return 0;
  // The exact text in the C locale's form, read back correctly rounded.
  TFormatSettings plain = FormatSettings();
  plain.DecimalSeparator = '.';
  const auto* bytes = reinterpret_cast<const uint8_t*>(value->data());
  const std::string text = OraNumberToStr(bytes + 1, bytes[0], plain);
  if (text == "INF") return std::numeric_limits<double>::infinity();
  if (text == "-INF") return -std::numeric_limits<double>::infinity();
  double result = 0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

int32_t TOraNumberField::AsInteger() const {
  return IsNull() ? 0 : FloatToInteger(AsFloat());
}

TOraSQL::TOraSQL(TCustomDADataSet* owner) : TCustomDASQL(owner) {
  if (!owner) SetOwnCommand(std::make_unique<TOCICommand>());
}

TOraSQL::~TOraSQL() {
  if (FSession) FSession->UnRegisterClient(this);
}

std::unique_ptr<TParser> TOraSQL::CreateParser(std::string_view text) const {
  return std::make_unique<TOraParser>(text);
}

void TOraSQL::CreateParams() {
  Params().Clear();
  for (const auto& desc : FCommand->Params()) {
    TDAParam* p = Params().Add(desc->Name);
    switch (desc->DataType) {
      case dcString:
      case dcExtString:
        p->DataType = ftString;
        break;
      case dcInteger:
        p->DataType = ftInteger;
        break;
      case dcFloat:
        p->DataType = ftFloat;
        break;
      case dcDateTime:
        p->DataType = ftDateTime;
        break;
      default:
        p->DataType = ftUnknown;
        break;
    }
    p->ParamType = desc->ParamType;
    p->Size = desc->Size;
  }
}

void TOraSQL::SetSession(TOraSession* session) {
  if (DataSet()) NotAvailable("The session of a dataset's own statement");
  if (session == FSession) return;
  if (FSession) {
    UnPrepare();
    FSession->UnRegisterClient(this);
  }
  FSession = session;
  FCommand->SetConnection(session ? session->GetIConnection() : nullptr);
  if (!session) return;
  TSessionClient events;
  events.ConnectChange = [this](bool connecting) {
    if (connecting)
      FCommand->SetConnection(FSession->GetIConnection());
    else
      UnPrepare();
  };
  events.SetConnection = [this](TOCIConnection* c) {
    FCommand->SetConnection(c);
    if (!c) FSession = nullptr;
  };
  session->RegisterClient(this, std::move(events));
}

void TOraSQL::CheckConnection() {
  TOraSession* session = FSession ? FSession : (UseDefSession ? DefSession : nullptr);
  if (!session) DatabaseError(LoadResString(Daconsts::SConnectionNotDefined));
  if (!session->GetConnected()) session->Connect();
  FCommand->SetConnection(session->GetIConnection());
}

// ---- Options ----

TOraDataSetOptions::TOraDataSetOptions(TCustomDADataSet& owner) : TDADataSetOptions(owner) {
  SetCacheLobs(true);
}

void TOraDataSetOptions::SetAutoClose(bool value) {
  FAutoClose = value;
  FOwner.RecordSet().SetProp(prAutoClose, value);
}

void TOraDataSetOptions::SetFieldsOrigin(bool value) {
  if (value) NotAvailable("The option FieldsOrigin", &FOwner);
}

void TOraDataSetOptions::SetDefaultValues(bool value) {
  if (value) NotAvailable("The option DefaultValues", &FOwner);
}

void TOraDataSetOptions::SetFieldsAsString(bool value) {
  FFieldsAsString = value;
  FOwner.RecordSet().GetCommand()->SetProp(prFieldsAsString, value);
  FOwner.FieldDefs().SetUpdated(false);
}

void TOraDataSetOptions::SetDeferredLobRead(bool value) {
  FDeferredLobRead = value;
  FOwner.RecordSet().SetProp(prDeferredLobRead, value);
}

void TOraDataSetOptions::SetCacheLobs(bool value) {
  if (FOwner.Active()) DatabaseError(DBConsts::SDataSetOpen, &FOwner);
  FCacheLobs = value;
  FOwner.RecordSet().GetCommand()->SetProp(prCacheLobs, value);
}

void TOraDataSetOptions::SetScrollableCursor(bool value) {
  if (FOwner.Active()) DatabaseError(DBConsts::SDataSetOpen, &FOwner);
  FOwner.RecordSet().GetCommand()->SetProp(prScrollableCursor, value);
  FScrollableCursor = value;
}

void TOraDataSetOptions::SetRawAsString(bool value) {
  FRawAsString = value;
  FOwner.RecordSet().GetCommand()->SetProp(prRawAsString, value);
  FOwner.FieldDefs().SetUpdated(false);
}

// ---- TOraDataSet ----

TOraDataSet::TOraDataSet(std::string name)
    : TOraDataSet(std::move(name),
                  [](TCustomDADataSet& ds) { return std::make_unique<TOraDataSetOptions>(ds); }) {}

TOraDataSet::TOraDataSet(std::string name, const TOptionsFactory& createOptions)
    : TCustomDADataSet(
          std::move(name), std::make_unique<TOCIRecordSet>(),
          [](TCustomDADataSet& ds) { return std::make_unique<TOraSQL>(&ds); }, createOptions) {
  FHideRowId = true;
  SetIRecordSet(&Data());
}

TOraDataSet::~TOraDataSet() {
  BeginDestroy();
}

TOraSession* TOraDataSet::UsedConnection() const {
  if (TOraSession* session = Connection()) return session;
  return UseDefSession ? DefSession : nullptr;
}

void TOraDataSet::SetIRecordSet(TData* store) {
  TCustomDADataSet::SetIRecordSet(store);
  FOCIRecordSet = static_cast<TOCIRecordSet*>(store);
  if (auto* options = dynamic_cast<TOraDataSetOptions*>(&TCustomDADataSet::Options())) {
    FOCIRecordSet->SetProp(prAutoClose, options->AutoClose());
    FOCIRecordSet->GetCommand()->SetProp(prScrollableCursor, options->ScrollableCursor());
  }
  FOCIRecordSet->GetCommand()->SetProp(prNonBlocking, false);
}

uint16_t TOraDataSet::GetSQLType() const {
  return OCICommand().SQLType();
}

int TOraDataSet::GetRowsProcessed() const {
  TPropValue rows;
  OCICommand().GetProp(prRowsProcessed, rows);
  return PropInt(rows, prRowsProcessed);
}

bool TOraDataSet::GetIsPLSQL() const {
  if (!Prepared()) DatabaseError(LoadResString(Daconsts::SDataSetIsNotPrepared));
  return GetSQLType() == SQL_PLSQL;
}

void TOraDataSet::SetKeyFields(const std::string& value) {
  const std::string trimmed = Trim(value);
  if (trimmed == FKeyFields) return;
  FKeyFields = trimmed;
  FKeyFieldNames.clear();
  size_t start = 0;
  while (start <= trimmed.size()) {
    size_t end = trimmed.find(';', start);
    if (end == std::string::npos) end = trimmed.size();
    const std::string name = Trim(trimmed.substr(start, end - start));
    if (!name.empty()) FKeyFieldNames.push_back(name);
    start = end + 1;
  }
  // The key fields decide which fields the smart query may edit: the definitions are made
  // again at the next open.
  FieldDefs().SetUpdated(false);
}

void TOraDataSet::SetSequenceMode(TSequenceMode value) {
  if (value != TSequenceMode::smPost) NotAvailable("The option SequenceMode = smInsert");
}

void TOraDataSet::SetLockMode(TLockMode value) {
  if (value == TLockMode::lmLockImmediate) NotAvailable("Row locks (LockMode = lmLockImmediate)");
  if (value == TLockMode::lmLockDelayed) NotAvailable("Row locks (LockMode = lmLockDelayed)");
}

void TOraDataSet::SetCheckMode(TCheckMode value) {
  if (value == TCheckMode::cmException) NotAvailable("Record checks (CheckMode = cmException)");
  if (value == TCheckMode::cmRefresh) NotAvailable("Record checks (CheckMode = cmRefresh)");
}

void TOraDataSet::Lock() {
  NotAvailable("Row locks");
}

void TOraDataSet::Unlock() {
  NotAvailable("Row locks");
}

void TOraDataSet::InternalOpen() {
  if (Options().KeepPrepared()) Prepare();
  TCustomDADataSet::InternalOpen();
  FComplexFieldRefs = Options().ScrollableCursor();
  FRowIdField = FindField("ROWID");
  if (FHideRowId && DefaultFields() && FRowIdField) FRowIdField->SetVisible(false);
  if (!FKeyFieldNames.empty() && !FKeySequence.empty())
    if (TField* key = FindField(FKeyFieldNames.front())) key->SetRequired(false);
}

void TOraDataSet::CloseCursor() {
  FRowIdField = nullptr;
  TCustomDADataSet::CloseCursor();
  if (OCICommand().SQLType() == SQL_PLSQL) FieldDefs().SetUpdated(false);
}

void TOraDataSet::InternalExecute() {
  if (Options().KeepPrepared()) Prepare();
  try {
    TCustomDADataSet::InternalExecute();
    if (FOCIRecordSet->CommandType() == ctCursor) InternalInitFieldDefs();
  } catch (const EOraError& e) {
    if (e.ErrorCode() != 24344) throw;
    const std::string text = CompilationErrorText(UsedConnection(), GetFinalSQL());
    if (text.empty()) throw;
    throw EOraError(24344, text);
  }
}

TFieldType TOraDataSet::GetFieldType(uint16_t dataType) const {
  switch (dataType) {
    case dcCursor:
      return ftCursor;
    case dcOraBlob:
      return ftOraBlob;
    case dcOraClob:
      return ftOraClob;
    case dcBFile:
      return ftOraBFile;
    case dcLabel:
      return ftOraLabel;
    case dcFixedChar:
      return ftFixedChar;
    case dcUndefined:
      return ftUnknown;
    case dcTimeStamp:
      return ftOraTimeStamp;
    case dcTimeStampTZ:
      return ftOraTimeStampTZ;
    case dcTimeStampLTZ:
      return ftOraTimeStampLTZ;
    case dcIntervalYM:
      return ftOraIntervalYM;
    case dcIntervalDS:
      return ftOraIntervalDS;
    case dcNumber:
      return ftOraNumber;
    case dcXML:
      return ftOraXML;
    case dcFixedWideChar:
      return ftOraFixedWideChar;
    default:
      return TCustomDADataSet::GetFieldType(dataType);
  }
}

TDataSet::TFieldFactory TOraDataSet::GetFieldClass(TFieldType type) const {
  if (type == ftOraNumber) return [] { return std::make_unique<TOraNumberField>(); };
  if (type >= ftOraBFile && type <= ftOraFixedWideChar)
    return [] { return std::unique_ptr<TField>(); };
  return TCustomDADataSet::GetFieldClass(type);
}

void TOraDataSet::DoOnFetch(bool before, bool& cancel) {
  if (before) {
    if (BeforeFetch) BeforeFetch(*this, cancel);
    FFetchCanceled = cancel;
  } else if (AfterFetch) {
    AfterFetch(*this);
  }
}

void TOraDataSet::DoAfterScroll() {
  if (FFetchCanceled) {
    FFetchCanceled = false;
    Operation([&] { Resync(); });
  }
  TCustomDADataSet::DoAfterScroll();
}

int TOraDataSet::GetRecCount() {
  TOraQuery count;
  count.SetSession(UsedConnection());
  count.SQL().BeginUpdate();
  count.SQL().Add("SELECT Count(*) FROM (");
  count.SQL().Add(OraText::DeleteOrderBy(GetFinalSQL()) + ")");
  count.SQL().EndUpdate();
  for (const auto& p : Params())
    if (TDAParam* q = count.FindParam(p->Name)) {
      q->DataType = p->DataType;
      q->Value = p->Value;
    }
  count.Prepare();
  if (count.GetSQLType() != SQL_SELECT) return 0;
  count.Open();
  return count.Fields()[0]->AsInteger();
}

// ---- TCustomOraQuery ----

TCustomOraQuery::TCustomOraQuery(std::string name) : TOraDataSet(std::move(name)) {
  FSQLLock.OnChange = [this] { ScanMacros(); };
}

TCustomOraQuery::TCustomOraQuery(std::string name, const TOptionsFactory& createOptions)
    : TOraDataSet(std::move(name), createOptions) {
  FSQLLock.OnChange = [this] { ScanMacros(); };
}

TCustomOraQuery::~TCustomOraQuery() {
  BeginDestroy();
  FSQLLock.OnChange = nullptr;
}

std::string TCustomOraQuery::MacroScanText() const {
  return SQL().Text() + SQLInsert().Text() + SQLUpdate().Text() + SQLDelete().Text() +
         FSQLLock.Text() + SQLRefresh().Text();
}

}  // namespace tarnwick
