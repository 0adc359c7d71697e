#pragma once
// The generic dataset base: states, the ring of record buffers, the open and close sequences
// with their events, forward and backward navigation, field definitions and field objects, and
// the string list that holds statement texts.
//
// A dataset keeps no rows of its own. Its subclass (TMemDataSet, MemDS.h) reads records from a
// record store into the buffers of the ring; the field objects hold no values and read them out
// of the current buffer through the dataset.
//
// Map of this header: enumerations, texts of the base, TStrings, TFieldDef/TFieldDefs, TField
// and its classes, TFields, TDataSet.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"
#include "dataset/text/DateTimeUtils.h"

namespace tarnwick {

class TDataSet;
class TField;

// ---- Enumerations ----

enum TDataSetState : uint8_t {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening
};

// The field types of the base. The Oracle datasets add the values 100..109 (Ora.h).
enum TFieldType : int32_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd
};

// The display name of a field type ("String", "Integer", ...), as error texts show it.
std::string FieldTypeName(TFieldType type);

enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

// Field attributes, a set of bits.
using TFieldAttributes = uint8_t;
inline constexpr TFieldAttributes faHiddenCol = 0x01;
inline constexpr TFieldAttributes faReadonly = 0x02;
inline constexpr TFieldAttributes faRequired = 0x04;
inline constexpr TFieldAttributes faLink = 0x08;
inline constexpr TFieldAttributes faUnNamed = 0x10;
inline constexpr TFieldAttributes faFixed = 0x20;

enum TGetMode : uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : uint8_t { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag : uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };

// ---- Texts of the dataset base ----
//
// The database errors of the generic base. Texts with %s are filled in order by FormatText.
namespace DBConsts {
inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SFieldTypeMismatch =
    "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SDataSetUnidirectional =
    "Operation not allowed on a unidirectional dataset";
inline constexpr const char* SInvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* SInvalidFloat = "'%s' is not a valid floating point value";
// A facility of the dataset classes that this build does not have; %s names it.
inline constexpr const char* SNotAvailable = "%s is not available in this build";
// A field type whose field class this build does not have.
inline constexpr const char* SFieldClassNotAvailable =
    "Field '%s' is of type %s, for which this build has no field class";
}  // namespace DBConsts

// The text with each "%s" replaced by the next argument, in order.
std::string FormatText(std::string_view text, std::initializer_list<std::string_view> args);

// Raises EDatabaseError with the message, joined to the component's name by "%s: %s" when the
// component is given and named.
[[noreturn]] void DatabaseError(const std::string& message, const TDataSet* component = nullptr);
// The same for a facility that is not available ("<what> is not available in this build").
[[noreturn]] void NotAvailable(const std::string& what, const TDataSet* component = nullptr);

// Text comparison ignoring case, for field names: letters of every alphabet are folded (UTF-8).
bool SameText(std::string_view a, std::string_view b);
// The text with every letter folded to lower case, so that SameText(a, b) is
// FoldedText(a) == FoldedText(b).
std::string FoldedText(std::string_view text);

// The native date-time of a record buffer (day number x 86400000 + milliseconds since midnight,
// 1 January 0001 being day 1) as a date-time: days since 30 December 1899, the time of day as
// the fraction, counted away from zero before that date.
TDateTime DataConvertMSecs(double msecs);

// ---- The string list ----
//
// A list of text lines with change notifications: OnChange runs after Add, after Clear of a
// non-empty list (clearing an empty list notifies nothing), after every other change, and once
// at the end of a BeginUpdate/EndUpdate bracket (none inside it). OnChanging runs before a
// change in the same way.
class TStrings {
 public:
  TStrings() = default;
  TStrings(std::initializer_list<std::string> lines);
  // A copy takes the lines, not the handlers.
  TStrings(const TStrings& other) : FLines(other.FLines) {}
  TStrings& operator=(const TStrings&) = delete;

  int Count() const { return static_cast<int>(FLines.size()); }
  const std::string& operator[](int index) const;
  const std::string& Strings(int index) const { return (*this)[index]; }
  const std::vector<std::string>& Lines() const { return FLines; }

  int Add(const std::string& line);
  void Insert(int index, const std::string& line);
  void Delete(int index);
  void Put(int index, const std::string& line);
  void Clear();
  // The lines, each followed by CR LF.
  std::string Text() const;
  // Replaces the lines by those of the text (split at CR LF, CR or LF; a final line break adds
  // no empty line), as one change.
  void SetText(std::string_view text);
  // Takes the other list's lines as one change.
  void Assign(const TStrings& other);
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return FUpdateCount > 0; }

  std::function<void()> OnChange;
  std::function<void()> OnChanging;

 private:
  void Changing();
  void Changed();

  std::vector<std::string> FLines;
  int FUpdateCount = 0;
};

// ---- Field definitions ----

class TFieldDefs;

class TFieldDef {
 public:
  TFieldDef();
  ~TFieldDef();
  TFieldDef(const TFieldDef&) = delete;
  TFieldDef& operator=(const TFieldDef&) = delete;

  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
  // Text: the bytes a value is read into, its NUL included, when they are more than Size + 1
  // (a multi-byte client character set); 0 otherwise.
  int BufferSize = 0;
  TFieldAttributes Attributes = 0;
  // 1-based position of the field in the record store.
  int FieldNo = 0;
  bool Required() const { return (Attributes & faRequired) != 0; }
  void SetRequired(bool value);
  // The definitions of an object's attributes; empty on this build (no object columns).
  TFieldDefs& ChildDefs();
  bool HasChildDefs() const;

 private:
  std::unique_ptr<TFieldDefs> FChildDefs;
};

class TFieldDefs {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TFieldDef* operator[](int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  TFieldDef* AddFieldDef();
  void Clear() { FItems.clear(); }
  // Index of the definition of that name (ignoring case), or -1.
  int IndexOf(std::string_view name) const;
  // The definition of that name, or null.
  TFieldDef* Find(std::string_view name) const;

  // Whether the definitions match the current statement.
  bool Updated() const { return FUpdated; }
  void SetUpdated(bool value) { FUpdated = value; }
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate() {
    if (FUpdateCount > 0) --FUpdateCount;
  }
  bool Updating() const { return FUpdateCount > 0; }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  std::vector<std::unique_ptr<TFieldDef>> FItems;
  bool FUpdated = false;
  int FUpdateCount = 0;
};

// ---- Fields ----
//
// A field holds no value: it reads the value of the current record through its dataset.
// Reading a NULL gives the empty text and 0.
class TField {
 public:
  explicit TField(TFieldType dataType);
  virtual ~TField();
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const std::string& FieldName() const { return FFieldName; }
  void SetFieldName(const std::string& name);
  // The 1-based number of the field in the record store while the dataset is open, 0 otherwise.
  int FieldNo() const { return FFieldNo; }
  TFieldType DataType() const { return FDataType; }
  int Size() const { return FSize; }
  virtual void SetSize(int size) { FSize = size; }
  bool Required() const { return FRequired; }
  void SetRequired(bool value) { FRequired = value; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool value) { FVisible = value; }
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind kind) { FFieldKind = kind; }
  TDataSet* DataSet() const { return FDataSet; }

  // Bytes of the native value that GetData writes.
  virtual int DataSize() const = 0;
  // Copies the native value of the current record into buffer (which may be null to ask only
  // for NULL); false when the value is NULL. Not native: the date-time types convert their
  // millisecond form into a date-time.
  bool GetData(void* buffer, bool nativeFormat = true) const;
  bool IsNull() const { return !GetData(nullptr); }

  virtual std::string AsString() const = 0;
  // The text AsString gives, into `text`, whose storage is reused: a reader of every field of
  // every row (an export) then allocates nothing per value.
  virtual void GetText(std::string& text) const { text = AsString(); }
  virtual int32_t AsInteger() const;
  virtual double AsFloat() const;
  virtual TDateTime AsDateTime() const;

 protected:
  [[noreturn]] void AccessError(const char* typeName) const;

 private:
  friend class TDataSet;
  friend class TFields;

  std::string FFieldName;
  // The name with its letters folded, for lookups by name.
  std::string FFoldedName;
  int FFieldNo = 0;
  TFieldType FDataType;
  int FSize = 0;
  bool FRequired = false;
  bool FReadOnly = false;
  bool FVisible = true;
  TFieldKind FFieldKind = fkData;
  TDataSet* FDataSet = nullptr;
};

class TStringField : public TField {
 public:
  TStringField();
  // Size + 1, or the buffer size of the definition when that is more.
  int DataSize() const override { return std::max(Size() + 1, FBufferSize); }
  void SetBufferSize(int bytes) { FBufferSize = bytes; }
  bool FixedChar() const { return FFixedChar; }
  void SetFixedChar(bool value) { FFixedChar = value; }
  // The stored text unchanged, or empty for NULL.
  std::optional<std::string> Value() const;

  std::string AsString() const override;
  void GetText(std::string& text) const override;
  int32_t AsInteger() const override;
  double AsFloat() const override;

 protected:
  explicit TStringField(TFieldType type);

 private:
  // The stored text into `text` (emptied for NULL); false for NULL.
  bool ReadText(std::string& text) const;

  bool FFixedChar = false;
  int FBufferSize = 0;
};

class TIntegerField : public TField {
 public:
  TIntegerField();
  int DataSize() const override { return 4; }
  std::optional<int32_t> Value() const;

  std::string AsString() const override;
  int32_t AsInteger() const override;
  double AsFloat() const override;

  int32_t MaxValue = 0;
  int32_t MinValue = 0;
  std::string DisplayFormat;
};

class TFloatField : public TField {
 public:
  TFloatField();
  int DataSize() const override { return 8; }
  std::optional<double> Value() const;

  std::string AsString() const override;
  // The value rounded to the nearest integer.
  int32_t AsInteger() const override;
  double AsFloat() const override;

  int Precision = 15;
  bool Currency = false;
  double MaxValue = 0;
  double MinValue = 0;
  std::string DisplayFormat;
  std::string EditFormat;
};

class TDateTimeField : public TField {
 public:
  TDateTimeField();
  int DataSize() const override { return 8; }
  std::optional<TDateTime> Value() const;

  // The date in the short date format, then the time in the long time format unless it is
  // midnight.
  std::string AsString() const override;
  void GetText(std::string& text) const override;
  double AsFloat() const override;
  TDateTime AsDateTime() const override;

  std::string DisplayFormat;
};

// The field objects of a dataset, in field order. The list owns them.
class TFields {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TField* operator[](int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  // The first field of that name (ignoring case), or null.
  TField* FindField(std::string_view name) const;
  void Clear() { FItems.clear(); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  friend class TDataSet;
  std::vector<std::unique_ptr<TField>> FItems;
};

// ---- The dataset base ----

class TDataSet {
 public:
  using TDataSetNotifyEvent = std::function<void(TDataSet& dataSet)>;
  // Makes a field object for a field type.
  using TFieldFactory = std::function<std::unique_ptr<TField>()>;
  // A record buffer of the ring. The dataset owns its storage.
  using TRecordBuffer = std::unique_ptr<uint8_t[]>;

  explicit TDataSet(std::string name = {});
  // Frees the ring's storage without a call to the subclass, whose part of the object is gone
  // by now. A subclass that must close (its store, its statement) while its overrides still
  // exist calls BeginDestroy in its own destructor.
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }

  // ---- State, open and close ----
  TDataSetState State() const { return FState; }
  bool Active() const { return FState != dsInactive && FState != dsOpening; }
  virtual void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  // ---- Navigation ----
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves by n records (backwards for n < 0); answers the number of records moved.
  int MoveBy(int distance);
  bool IsEmpty() const { return Active() && FRecordCount == 0; }
  // Records fetched so far (0 when inactive).
  virtual int GetRecordCount() const = 0;
  int RecordCount() const { return GetRecordCount(); }
  virtual int GetRecNo() const { return -1; }

  // ---- Fields ----
  TFields& Fields() { return FFields; }
  const TFields& Fields() const { return FFields; }
  int FieldCount() const { return FFields.Count(); }
  TFieldDefs& FieldDefs() { return FFieldDefs; }
  const TFieldDefs& FieldDefs() const { return FFieldDefs; }
  // The field of that name, compared ignoring case, first match in field order; raises
  // "<name>: Field '<field>' not found" when absent.
  TField* FieldByName(const std::string& name) const;
  TField* FindField(const std::string& name) const;
  // Adds a field object of the caller's (a persistent field): the dataset keeps it over
  // close and open. Only while the dataset is inactive.
  TField* AddField(std::unique_ptr<TField> field);
  // Frees a field object of the dataset.
  void RemoveField(TField* field);
  // Copies the native value of a field of the current record into buffer (the subclass knows
  // where records live); false means NULL. Not native: date-time types arrive as date-times.
  virtual bool GetFieldData(const TField& field, void* buffer) const = 0;
  virtual bool GetFieldData(const TField& field, void* buffer, bool nativeFormat) const;
  // Whether the field objects were made by the dataset at the last open.
  bool DefaultFields() const { return FDefaultFields; }

  // ---- Editing, filters, bookmarks and lookups: not available ----
  void Edit();
  void Insert();
  void Append();
  void Delete();
  // Raises "Dataset not in edit or insert mode": a dataset of this build never edits.
  void Post();
  // Leaves the browse state as it is: there is never an edit to cancel.
  void Cancel();
  bool Filtered() const { return false; }
  void SetFiltered(bool value);
  bool Locate(const std::string& keyFields, const std::string& keyValues);

  // ---- Events ----
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeScroll, AfterScroll;

 protected:
  // ---- Hooks of the subclass ----
  // A new buffer for the ring, sized and set up by the subclass. Its storage is the dataset's
  // from then on and is freed with the dataset however the subclass ends.
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  // Releases what a buffer refers to and frees it (buffer is empty afterwards, also when this
  // raises). Called for each buffer the ring gives up while the dataset is alive, at close.
  virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
  virtual TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) = 0;
  virtual int GetRecordSize() const = 0;
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalSetToRecord(uint8_t* buffer) = 0;
  virtual void InternalInitFieldDefs() = 0;
  virtual bool IsCursorOpen() const = 0;
  virtual TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const = 0;
  virtual void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag value) = 0;
  // The field class of a field type; empty when this build has none.
  virtual TFieldFactory GetFieldClass(TFieldType type) const;

  // ---- Steps of open and close ----
  virtual void OpenCursor(bool infoQuery);
  virtual void CloseCursor();
  void DoInternalOpen();
  virtual void CreateFields();
  void DestroyFields();
  // Binding: each data field takes the number of the definition of its name.
  virtual void BindFields(bool binding);
  // A persistent field must have the type of its definition.
  virtual void CheckFieldCompatibility(const TField& field, const TFieldDef& def) const;
  virtual void DoBeforeOpen();
  virtual void DoAfterOpen();
  virtual void DoBeforeClose();
  virtual void DoAfterClose();
  virtual void DoBeforeScroll();
  virtual void DoAfterScroll();

  // ---- Checks ----
  void CheckActive() const;
  virtual void CheckInactive() const;
  void CheckBrowseMode() const;
  // Raises for the facilities this build has not got.
  [[noreturn]] void NotAvailable(const std::string& what) const;

  // ---- The ring of record buffers ----
  void ClearBuffers();
  void ActivateBuffers();
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  // Positions the store on the record of a buffer of the ring (nothing when it is already
  // there).
  void SetCurrentRecord(int index);
  void UpdateCursorPos();
  // The store's cursor no longer matches a buffer.
  void CursorPosChanged() { FCurrentRecord = -1; }
  // Reads the current record again and rebuilds the ring around it.
  void Resync();
  // The records the ring holds besides the work buffer (1 unless a subclass asks for more;
  // only while inactive). BufferCount is 0 while the dataset is closed.
  void SetBufferCount(int count);
  int BufferCount() const { return FBufferCount; }
  void SetBufListSize(int size);
  uint8_t* ActiveBuffer() const;
  uint8_t* Buffer(int index) const { return FBuffers.at(static_cast<size_t>(index)).get(); }
  int BufferRecordCount() const { return FRecordCount; }
  int ActiveRecord() const { return FActiveRecord; }
  int CurrentRecord() const { return FCurrentRecord; }

  void SetState(TDataSetState state) { FState = state; }
  bool InternalOpenComplete() const { return FInternalOpenComplete; }
  void SetDefaultFields(bool value) { FDefaultFields = value; }
  bool Destroying() const { return FDestroying; }
  // The most derived destructor calls this first: it closes the dataset while every override
  // still exists, without the close events. Only the closing depends on it: the buffers' storage
  // is freed by the base in any case.
  void BeginDestroy() noexcept;

  // Operations that reach the record store run inside this bracket. A subclass is told when the
  // outermost one ends (AfterOperation), so that a request that arrived meanwhile from outside
  // (a session going away) can be carried out once the store is no longer on the call stack.
  template <class F>
  void Operation(F&& f) {
    ++FOperationDepth;
    try {
      f();
    } catch (...) {
      if (--FOperationDepth == 0) AfterOperation(true);
      throw;
    }
    if (--FOperationDepth == 0) AfterOperation(false);
  }
  bool InOperation() const { return FOperationDepth > 0; }
  // Called after the outermost operation, failed = it is ending with an exception (which then
  // goes on to the caller whatever this does).
  virtual void AfterOperation(bool failed) { (void)failed; }

  // The field made for a definition by its field class ("Field '%s' is of an unknown type"
  // when there is none).
  std::unique_ptr<TField> CreateField(const TFieldDef& def);

  bool FBOF = true;
  bool FEOF = true;

 private:
  std::string FName;
  TDataSetState FState = dsInactive;
  TFields FFields;
  TFieldDefs FFieldDefs;
  bool FDefaultFields = false;
  bool FInternalOpenComplete = false;
  bool FDestroying = false;
  int FOperationDepth = 0;

  std::vector<TRecordBuffer> FBuffers;
  int FBufferCount = 0;
  int FRequestedBufferCount = 1;
  int FRecordCount = 0;
  int FActiveRecord = 0;
  int FCurrentRecord = -1;
};

}  // namespace tarnwick
