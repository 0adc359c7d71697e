#include "dataset/DataSet.h"

#include <locale.h>
#include <wctype.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "base/Utf8.h"
#include "dataset/text/FieldText.h"
#include "dataset/text/FormatSettings.h"

namespace tarnwick {

// ---- Texts and helpers ----

std::string FieldTypeName(TFieldType type) {
  static const char* const names[] = {
      "Unknown",     "String",    "SmallInt",  "Integer",    "Word",     "Boolean",    "Float",
      "Currency",    "BCD",       "Date",      "Time",       "DateTime", "Bytes",      "VarBytes",
      "AutoInc",     "Blob",      "Memo",      "Graphic",    "FmtMemo",  "ParadoxOle", "dBaseOle",
      "TypedBinary", "Cursor",    "FixedChar", "WideString", "Largeint", "ADT",        "Array",
      "Reference",   "DataSet",   "OraBlob",   "OraClob",    "Variant",  "Interface",  "IDispatch",
      "Guid",        "TimeStamp", "FMTBcd"};
  // The Oracle datasets' own types.
  static const char* const oracle[] = {
      "BFile",          "Label",           "OraTimeStamp", "OraIntervalYM", "OraIntervalDS",
      "OraTimeStampTZ", "OraTimeStampLTZ", "OraNumber",    "OraXML",        "FixedWideChar"};
  const auto index = static_cast<size_t>(type);
  if (type >= 0 && index < std::size(names)) return names[index];
  if (type >= 100 && index - 100 < std::size(oracle)) return oracle[index - 100];
  return "Unknown";
}

std::string FormatText(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string result;
  auto arg = args.begin();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's' && arg != args.end()) {
      result += *arg++;
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

void DatabaseError(const std::string& message, const TDataSet* component) {
  if (component && !component->Name().empty())
    throw EDatabaseError(component->Name() + ": " + message);
  throw EDatabaseError(message);
}

void NotAvailable(const std::string& what, const TDataSet* component) {
  DatabaseError(FormatText(DBConsts::SNotAvailable, {what}), component);
}

namespace {

locale_t FoldingLocale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

char32_t Fold(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
  if (locale_t loc = FoldingLocale())
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
  return c;
}

}  // namespace

std::string FoldedText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(Fold(c));
      ++i;
      continue;
    }
    const utf8::Decoded d = utf8::Decode(text, i);
    if (!d.valid()) {
      out += static_cast<char>(c);  // a byte that starts no valid sequence stays as it is
      ++i;
      continue;
    }
    i += d.length;
    utf8::Append(out, Fold(d.code_point));
  }
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  return FoldedText(a) == FoldedText(b);
}

TDateTime DataConvertMSecs(double msecs) {
  // Rounded to the nearest integer, a half going to the even neighbour.
  const auto ms = static_cast<int64_t>(std::nearbyint(msecs));
  const int64_t days = ms / MSecsPerDay - DateDelta;
  const int64_t time = ms % MSecsPerDay;
  if (days >= 0) return static_cast<double>(days * MSecsPerDay + time) / MSecsPerDay;
  return static_cast<double>(days * MSecsPerDay - time) / MSecsPerDay;
}

// ---- TStrings ----

TStrings::TStrings(std::initializer_list<std::string> lines) : FLines(lines) {}

const std::string& TStrings::operator[](int index) const {
  if (index < 0 || index >= Count())
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  return FLines[static_cast<size_t>(index)];
}

void TStrings::Changing() {
  if (FUpdateCount == 0 && OnChanging) OnChanging();
}

void TStrings::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange();
}

int TStrings::Add(const std::string& line) {
  const int index = Count();
  Insert(index, line);
  return index;
}

void TStrings::Insert(int index, const std::string& line) {
  if (index < 0 || index > Count())
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  Changing();
  FLines.insert(FLines.begin() + index, line);
  Changed();
}

void TStrings::Delete(int index) {
  (void)(*this)[index];
  Changing();
  FLines.erase(FLines.begin() + index);
  Changed();
}

void TStrings::Put(int index, const std::string& line) {
  (void)(*this)[index];
  Changing();
  FLines[static_cast<size_t>(index)] = line;
  Changed();
}

void TStrings::Clear() {
  if (FLines.empty()) return;
  Changing();
  FLines.clear();
  Changed();
}

std::string TStrings::Text() const {
  std::string text;
  for (const auto& line : FLines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TStrings::SetText(std::string_view text) {
  BeginUpdate();
  try {
    FLines.clear();
    size_t start = 0;
    while (start < text.size()) {
      size_t end = start;
      while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
      FLines.emplace_back(text.substr(start, end - start));
      if (end < text.size() && text[end] == '\r') ++end;
      if (end < text.size() && text[end] == '\n') ++end;
      start = end;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  BeginUpdate();
  FLines = other.FLines;
  EndUpdate();
}

void TStrings::BeginUpdate() {
  if (FUpdateCount == 0) Changing();
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0) Changed();
}

// ---- Field definitions ----

TFieldDef::TFieldDef() = default;
TFieldDef::~TFieldDef() = default;

void TFieldDef::SetRequired(bool value) {
  if (value)
    Attributes |= faRequired;
  else
    Attributes &= static_cast<TFieldAttributes>(~faRequired);
}

TFieldDefs& TFieldDef::ChildDefs() {
  if (!FChildDefs) FChildDefs = std::make_unique<TFieldDefs>();
  return *FChildDefs;
}

bool TFieldDef::HasChildDefs() const {
  return FChildDefs && FChildDefs->Count() > 0;
}

TFieldDef* TFieldDefs::AddFieldDef() {
  FItems.push_back(std::make_unique<TFieldDef>());
  return FItems.back().get();
}

int TFieldDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameText(FItems[i]->Name, name)) return static_cast<int>(i);
  return -1;
}

TFieldDef* TFieldDefs::Find(std::string_view name) const {
  const int i = IndexOf(name);
  return i < 0 ? nullptr : FItems[static_cast<size_t>(i)].get();
}

// ---- Fields ----

TField::TField(TFieldType dataType) : FDataType(dataType) {}

void TField::SetFieldName(const std::string& name) {
  FFieldName = name;
  FFoldedName = FoldedText(name);
}
TField::~TField() = default;

bool TField::GetData(void* buffer, bool nativeFormat) const {
  if (!FDataSet) return false;
  return FDataSet->GetFieldData(*this, buffer, nativeFormat);
}

void TField::AccessError(const char* typeName) const {
  DatabaseError(FormatText(DBConsts::SFieldAccessError, {FFieldName, typeName}));
}

int32_t TField::AsInteger() const {
  AccessError("Integer");
}

double TField::AsFloat() const {
  AccessError("Float");
}

TDateTime TField::AsDateTime() const {
  AccessError("DateTime");
}

TStringField::TStringField() : TStringField(ftString) {}

TStringField::TStringField(TFieldType type) : TField(type) {
  SetSize(20);
}

bool TStringField::ReadText(std::string& text) const {
  // Read straight into `text`, then cut at its first NUL.
  text.resize(static_cast<size_t>(DataSize()));
  if (!GetData(text.data())) {
    text.clear();
    return false;
  }
  text.resize(strnlen(text.data(), text.size()));
  return true;
}

std::optional<std::string> TStringField::Value() const {
  std::string text;
  if (!ReadText(text)) return std::nullopt;
  return text;
}

std::string TStringField::AsString() const {
  std::string text;
  ReadText(text);
  return text;
}

void TStringField::GetText(std::string& text) const {
  ReadText(text);
}

int32_t TStringField::AsInteger() const {
  const std::string text = AsString();
  std::string_view s = text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size())
    throw EConvertError(FormatText(DBConsts::SInvalidInteger, {text}));
  return value;
}

double TStringField::AsFloat() const {
  const std::string text = AsString();
  std::string s = text;
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  while (!s.empty() && s.back() == ' ') s.pop_back();
  // The decimal separator of the format settings is the only one accepted.
  const char separator = FormatSettings().DecimalSeparator;
  bool valid = !s.empty();
  for (char& c : s) {
    if (c == separator)
      c = '.';
    else if (c == '.' || c == ',')
      valid = false;
  }
  double value = 0;
  if (valid) {
    std::string_view v = s;
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    valid = ec == std::errc() && end == v.data() + v.size();
  }
  if (!valid) throw EConvertError(FormatText(DBConsts::SInvalidFloat, {text}));
  return value;
}

TIntegerField::TIntegerField() : TField(ftInteger) {}

std::optional<int32_t> TIntegerField::Value() const {
  int32_t value = 0;
  if (!GetData(&value)) return std::nullopt;
  return value;
}

std::string TIntegerField::AsString() const {
  return IntegerFieldText(Value());
}

int32_t TIntegerField::AsInteger() const {
  return Value().value_or(0);
}

double TIntegerField::AsFloat() const {
  return Value().value_or(0);
}

TFloatField::TFloatField() : TField(ftFloat) {}

std::optional<double> TFloatField::Value() const {
  double value = 0;
  if (!GetData(&value)) return std::nullopt;
  return value;
}

std::string TFloatField::AsString() const {
  return FloatFieldText(Value());
}

int32_t TFloatField::AsInteger() const {
  const auto value = Value();
  return value ? FloatToInteger(*value) : 0;
}

double TFloatField::AsFloat() const {
  return Value().value_or(0);
}

TDateTimeField::TDateTimeField() : TField(ftDateTime) {}

std::optional<TDateTime> TDateTimeField::Value() const {
  TDateTime value = 0;
  if (!GetData(&value, false)) return std::nullopt;
  return value;
}

std::string TDateTimeField::AsString() const {
  return DateTimeFieldText(Value());
}

void TDateTimeField::GetText(std::string& text) const {
  DateTimeFieldText(Value(), text);
}

double TDateTimeField::AsFloat() const {
  return Value().value_or(0);
}

TDateTime TDateTimeField::AsDateTime() const {
  return Value().value_or(0);
}

TField* TFields::FindField(std::string_view name) const {
  const std::string folded = FoldedText(name);
  for (const auto& field : FItems)
    if (field->FFoldedName == folded) return field.get();
  return nullptr;
}

// ---- The dataset base ----

TDataSet::TDataSet(std::string name) : FName(std::move(name)) {
  ClearBuffers();
}

TDataSet::~TDataSet() = default;

void TDataSet::BeginDestroy() noexcept {
  FDestroying = true;
  try {
    Close();
  } catch (...) {
    // A destructor cannot pass the error on.
  }
}

void TDataSet::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    DoBeforeOpen();
    Operation([&] {
      try {
        OpenCursor(false);
      } catch (...) {
        SetState(dsInactive);
        try {
          CloseCursor();
        } catch (...) {
          // The error of the open is the one the caller hears of.
        }
        throw;
      }
    });
    SetState(dsBrowse);
    DoAfterOpen();
  } else {
    if (!FDestroying) DoBeforeClose();
    SetState(dsInactive);
    Operation([&] { CloseCursor(); });
    if (!FDestroying) DoAfterClose();
  }
}

void TDataSet::OpenCursor(bool infoQuery) {
  if (infoQuery)
    InternalInitFieldDefs();
  else
    DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  FDefaultFields = FFields.Count() == 0;
  InternalOpen();
  FBufferCount = FRequestedBufferCount;
  SetBufListSize(FBufferCount + 1);
  GetNextRecords();
  // The open is complete only once the first records are read: a failure in the first fetch
  // leaves the dataset closed rather than open over a store that is half read.
  FInternalOpenComplete = true;
  FBOF = true;
}

void TDataSet::CloseCursor() {
  FInternalOpenComplete = false;
  ClearBuffers();
  SetBufListSize(0);
  auto reset = [&] {
    FBufferCount = 0;
    FDefaultFields = false;
  };
  try {
    InternalClose();
  } catch (...) {
    reset();
    throw;
  }
  reset();
}

void TDataSet::CreateFields() {
  for (const auto& def : FFieldDefs) {
    switch (def->DataType) {
      case ftUnknown:
      case ftADT:
      case ftArray:
      case ftReference:
      case ftDataSet:
        continue;
      default:
        break;
    }
    if (def->Attributes & faHiddenCol) continue;
    std::unique_ptr<TField> field = CreateField(*def);
    field->FDataSet = this;
    FFields.FItems.push_back(std::move(field));
  }
}

std::unique_ptr<TField> TDataSet::CreateField(const TFieldDef& def) {
  TFieldFactory make = GetFieldClass(def.DataType);
  if (!make) DatabaseError(FormatText(DBConsts::SUnknownFieldType, {def.Name}));
  std::unique_ptr<TField> field = make();
  if (!field)
    DatabaseError(
        FormatText(DBConsts::SFieldClassNotAvailable, {def.Name, FieldTypeName(def.DataType)}));
  field->SetSize(def.Size);
  field->SetFieldName(def.Name);
  field->FRequired = (def.Attributes & faRequired) != 0;
  field->FReadOnly = (def.Attributes & faReadonly) != 0;
  field->FDataType = def.DataType;
  if (auto* text = dynamic_cast<TStringField*>(field.get())) {
    text->SetFixedChar((def.Attributes & faFixed) != 0 || def.DataType == ftFixedChar);
    text->SetBufferSize(def.BufferSize);
  }
  return field;
}

TDataSet::TFieldFactory TDataSet::GetFieldClass(TFieldType type) const {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return [] { return std::make_unique<TStringField>(); };
    case ftInteger:
      return [] { return std::make_unique<TIntegerField>(); };
    case ftFloat:
      return [] { return std::make_unique<TFloatField>(); };
    case ftDateTime:
      return [] { return std::make_unique<TDateTimeField>(); };
    // Types whose field classes exist in the family but not in this build: a factory without a
    // field names the missing class.
    case ftSmallint:
    case ftWord:
    case ftBoolean:
    case ftCurrency:
    case ftBCD:
    case ftDate:
    case ftTime:
    case ftBytes:
    case ftVarBytes:
    case ftAutoInc:
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftWideString:
    case ftLargeint:
    case ftADT:
    case ftArray:
    case ftReference:
    case ftDataSet:
    case ftOraBlob:
    case ftOraClob:
    case ftVariant:
    case ftInterface:
    case ftIDispatch:
    case ftGuid:
    case ftTimeStamp:
    case ftFMTBcd:
    case ftCursor:
      return [] { return std::unique_ptr<TField>(); };
    default:
      return {};
  }
}

void TDataSet::DestroyFields() {
  FFields.Clear();
}

void TDataSet::BindFields(bool binding) {
  for (const auto& field : FFields) {
    if (field->FFieldKind != fkData)
      NotAvailable("Calculated and lookup fields (field '" + field->FFieldName + "')");
    if (!binding) {
      field->FFieldNo = 0;
      continue;
    }
    const TFieldDef* def = FFieldDefs.Find(field->FFieldName);
    if (!def) DatabaseError(FormatText(DBConsts::SFieldNotFound, {field->FFieldName}), this);
    if (field->FDataType != def->DataType) CheckFieldCompatibility(*field, *def);
    field->FFieldNo = def->FieldNo;
  }
}

void TDataSet::CheckFieldCompatibility(const TField& field, const TFieldDef& def) const {
  if (field.DataType() != def.DataType)
    DatabaseError(FormatText(DBConsts::SFieldTypeMismatch,
                             {field.FieldName(), FieldTypeName(field.DataType()),
                              FieldTypeName(def.DataType)}),
                  this);
}

void TDataSet::DoBeforeOpen() {
  if (BeforeOpen) BeforeOpen(*this);
}
void TDataSet::DoAfterOpen() {
  if (AfterOpen) AfterOpen(*this);
}
void TDataSet::DoBeforeClose() {
  if (BeforeClose) BeforeClose(*this);
}
void TDataSet::DoAfterClose() {
  if (AfterClose) AfterClose(*this);
}
void TDataSet::DoBeforeScroll() {
  if (BeforeScroll) BeforeScroll(*this);
}
void TDataSet::DoAfterScroll() {
  if (AfterScroll) AfterScroll(*this);
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(DBConsts::SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(DBConsts::SDataSetOpen, this);
}

void TDataSet::CheckBrowseMode() const {
  // A dataset of this build is never in an edit state, so there is nothing to post first.
  CheckActive();
}

void TDataSet::NotAvailable(const std::string& what) const {
  tarnwick::NotAvailable(what, this);
}

// ---- Fields by name ----

TField* TDataSet::FindField(const std::string& name) const {
  return FFields.FindField(name);
}

TField* TDataSet::FieldByName(const std::string& name) const {
  TField* field = FFields.FindField(name);
  if (!field) DatabaseError(FormatText(DBConsts::SFieldNotFound, {name}), this);
  return field;
}

TField* TDataSet::AddField(std::unique_ptr<TField> field) {
  CheckInactive();
  field->FDataSet = this;
  FFields.FItems.push_back(std::move(field));
  return FFields.FItems.back().get();
}

void TDataSet::RemoveField(TField* field) {
  auto& items = FFields.FItems;
  for (auto it = items.begin(); it != items.end(); ++it)
    if (it->get() == field) {
      items.erase(it);
      return;
    }
}

bool TDataSet::GetFieldData(const TField& field, void* buffer, bool nativeFormat) const {
  if (nativeFormat) return GetFieldData(field, buffer);
  switch (field.DataType()) {
    case ftDateTime: {
      double msecs = 0;
      const bool has = GetFieldData(field, &msecs);
      if (has && buffer) {
        const TDateTime value = DataConvertMSecs(msecs);
        std::memcpy(buffer, &value, sizeof value);
      }
      return has;
    }
    case ftDate: {
      int32_t day = 0;
      const bool has = GetFieldData(field, &day);
      if (has && buffer) {
        const TDateTime value = static_cast<double>(day - DateDelta);
        std::memcpy(buffer, &value, sizeof value);
      }
      return has;
    }
    case ftTime: {
      int32_t ms = 0;
      const bool has = GetFieldData(field, &ms);
      if (has && buffer) {
        const TDateTime value = static_cast<double>(ms) / MSecsPerDay;
        std::memcpy(buffer, &value, sizeof value);
      }
      return has;
    }
    default:
      return GetFieldData(field, buffer);
  }
}

// ---- Editing and the rest: not in this build ----

void TDataSet::Edit() {
  CheckActive();
  NotAvailable("Editing");
}
void TDataSet::Insert() {
  CheckActive();
  NotAvailable("Editing");
}
void TDataSet::Append() {
  CheckActive();
  NotAvailable("Editing");
}
void TDataSet::Delete() {
  CheckActive();
  NotAvailable("Editing");
}
void TDataSet::Post() {
  CheckActive();
  DatabaseError(DBConsts::SNotEditing, this);
}
void TDataSet::Cancel() {
  // Only an edit or insert state has something to cancel, and this build never enters one.
}
void TDataSet::SetFiltered(bool value) {
  if (value) NotAvailable("Filtering");
}
bool TDataSet::Locate(const std::string&, const std::string&) {
  NotAvailable("Locate");
}

// ---- The ring ----

void TDataSet::ClearBuffers() {
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

void TDataSet::ActivateBuffers() {
  FRecordCount = 1;
  FActiveRecord = 0;
  FBOF = false;
  FEOF = false;
}

void TDataSet::SetBufferCount(int count) {
  CheckInactive();
  FRequestedBufferCount = std::max(1, count);
}

void TDataSet::SetBufListSize(int size) {
  while (static_cast<int>(FBuffers.size()) > size) {
    TRecordBuffer buffer = std::move(FBuffers.back());
    FBuffers.pop_back();
    FreeRecordBuffer(buffer);
  }
  while (static_cast<int>(FBuffers.size()) < size) FBuffers.push_back(AllocRecordBuffer());
}

uint8_t* TDataSet::ActiveBuffer() const {
  if (FRecordCount == 0 || FBuffers.empty()) return nullptr;
  return FBuffers[static_cast<size_t>(FActiveRecord)].get();
}

void TDataSet::SetCurrentRecord(int index) {
  if (FCurrentRecord == index) return;
  uint8_t* buffer = FBuffers.at(static_cast<size_t>(index)).get();
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(buffer);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  FCurrentRecord = index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  if (FRecordCount > 0) SetCurrentRecord(FRecordCount - 1);
  const bool result =
      GetRecord(FBuffers.at(static_cast<size_t>(FRecordCount)).get(), gmNext, true) == grOK;
  if (result) {
    if (FRecordCount == 0) {
      ActivateBuffers();
    } else if (FRecordCount < FBufferCount) {
      ++FRecordCount;
    } else {
      // The work buffer becomes the last buffer, the first buffer the work buffer.
      std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.begin() + FRecordCount + 1);
    }
    FCurrentRecord = FRecordCount - 1;
  } else {
    CursorPosChanged();
  }
  return result;
}

bool TDataSet::GetPriorRecord() {
  if (FRecordCount > 0) SetCurrentRecord(0);
  const bool result =
      GetRecord(FBuffers.at(static_cast<size_t>(FRecordCount)).get(), gmPrior, true) == grOK;
  if (result) {
    if (FRecordCount == 0) {
      ActivateBuffers();
    } else {
      // The work buffer becomes the first buffer; a full ring gives up its last one.
      std::rotate(FBuffers.begin(), FBuffers.begin() + FRecordCount,
                  FBuffers.begin() + FRecordCount + 1);
      if (FRecordCount < FBufferCount) ++FRecordCount;
    }
    FCurrentRecord = 0;
  } else {
    CursorPosChanged();
  }
  return result;
}

int TDataSet::GetNextRecords() {
  int result = 0;
  while (FRecordCount < FBufferCount && GetNextRecord()) ++result;
  return result;
}

int TDataSet::GetPriorRecords() {
  int result = 0;
  while (FRecordCount < FBufferCount && GetPriorRecord()) ++result;
  return result;
}

void TDataSet::Resync() {
  uint8_t* work = FBuffers.at(static_cast<size_t>(FRecordCount)).get();
  if (GetRecord(work, gmCurrent, false) != grOK && GetRecord(work, gmNext, false) != grOK &&
      GetRecord(work, gmPrior, false) != grOK) {
    ClearBuffers();
    return;
  }
  int count = FActiveRecord;
  std::rotate(FBuffers.begin(), FBuffers.begin() + FRecordCount,
              FBuffers.begin() + FRecordCount + 1);
  ActivateBuffers();
  FCurrentRecord = 0;
  while (count > 0 && GetPriorRecord()) --count;
  GetNextRecords();
  GetPriorRecords();
}

// ---- Navigation ----

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  Operation([&] {
    ClearBuffers();
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  });
  FBOF = true;
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  Operation([&] {
    ClearBuffers();
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  });
  FEOF = true;
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  if (distance == 0 || (distance > 0 && FEOF) || (distance < 0 && FBOF)) return 0;
  int result = 0;
  Operation([&] {
    FBOF = false;
    FEOF = false;
    while (distance > 0) {
      if (FActiveRecord < FRecordCount - 1) {
        ++FActiveRecord;
      } else {
        const bool ringFull = FRecordCount >= FBufferCount;
        if (!GetNextRecord()) {
          FEOF = true;
          break;
        }
        // A full ring rotated under the current index; otherwise the new record is the next.
        if (!ringFull) ++FActiveRecord;
      }
      --distance;
      ++result;
    }
    while (distance < 0) {
      if (FActiveRecord > 0) {
        --FActiveRecord;
      } else if (!GetPriorRecord()) {
        FBOF = true;
        break;
      }
      ++distance;
      --result;
    }
  });
  DoAfterScroll();
  return result;
}

}  // namespace tarnwick
