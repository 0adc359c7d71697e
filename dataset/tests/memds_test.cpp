// The memory dataset over a plain record store: field definitions and field objects from the
// store's descriptors, the open and close sequences with their events, the ring of record
// buffers and its layout, navigation, reading values, and the string list of statement texts.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "dataset/DataSet.h"
#include "dataset/MemDS.h"
#include "dataset/text/FormatSettings.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick {
namespace {

// ---- A store with hand-made descriptors and rows ----

struct Column {
  std::string name;
  uint16_t type;
  uint16_t length = 0;  // characters of a string
  bool required = false;
  bool hidden = false;        // not offered as a field definition
  bool hiddenColumn = false;  // offered with the hidden-column attribute
};

// A cell: NULL, an integer, a double, a text, or a date-time given as milliseconds.
struct MSecs {
  double value;
};
using Cell = std::variant<std::monostate, int32_t, double, std::string, MSecs>;
using Row = std::vector<Cell>;

// 15 August 2008, midnight, in the millisecond form of the record buffers: day 733269.
constexpr double kAug15 = 733269.0 * 86400000.0;

uint16_t SizeOf(const Column& c) {
  switch (c.type) {
    case dcString:
      return static_cast<uint16_t>(c.length + 1);
    case dcInteger:
      return 4;
    default:
      return 8;
  }
}

class TestStore : public TMemData {
 public:
  TestStore(std::vector<Column> columns, std::vector<Row> rows)
      : columns_(std::move(columns)), rows_(std::move(rows)) {
    InitFields();
    AutoInitFields = false;
  }

  // Makes the n-th next-record call (counted from 1) fail, as a lost connection would.
  int failOnNext = 0;
  int nextCalls = 0;

  void GetNextRecord(void* recBuf) override {
    if (++nextCalls == failOnNext) throw EDatabaseError("fetch failed");
    TMemData::GetNextRecord(recBuf);
  }

 protected:
  void InternalInitFields() override {
    for (const auto& c : columns_) {
      auto d = std::make_unique<TFieldDesc>();
      d->Name = d->ActualName = c.name;
      d->DataType = c.type;
      d->Length = c.type == dcString ? c.length : (c.type == dcInteger ? 9 : 15);
      d->Size = SizeOf(c);
      d->Required = c.required;
      d->Hidden = c.hidden;
      d->HiddenColumn = c.hiddenColumn;
      d->FieldNo = static_cast<uint16_t>(Fields().Count() + 1);
      Fields().Add(std::move(d));
    }
  }

  void InternalOpen() override {
    for (const auto& row : rows_) {
      auto rec = AllocRecBuf();
      InitRecord(rec.get());
      for (size_t i = 0; i < row.size(); ++i) {
        const int no = static_cast<int>(i) + 1;
        const Cell& cell = row[i];
        if (const auto* v = std::get_if<int32_t>(&cell)) PutField(no, rec.get(), v);
        if (const auto* v = std::get_if<double>(&cell)) PutField(no, rec.get(), v);
        if (const auto* v = std::get_if<std::string>(&cell)) PutField(no, rec.get(), v->c_str());
        if (const auto* v = std::get_if<MSecs>(&cell)) PutField(no, rec.get(), &v->value);
      }
      AppendRecord(rec.get());
    }
    SetToBegin();
  }

 private:
  std::vector<Column> columns_;
  std::vector<Row> rows_;
};

const std::vector<Column> kColumns = {
    {"ID", dcInteger}, {"NAME", dcString, 10}, {"AMOUNT", dcFloat}, {"BORN", dcDateTime}};

std::vector<Row> Rows(int count) {
  std::vector<Row> rows;
  for (int i = 1; i <= count; ++i)
    rows.push_back({i, "row" + std::to_string(i), i * 1.5, MSecs{kAug15 + i * 86400000.0}});
  return rows;
}

// A dataset over a TestStore; it can ask for a larger ring and counts its events.
class TestDataSet : public TMemDataSet {
 public:
  TestDataSet(std::vector<Column> columns, std::vector<Row> rows, std::string name = "DS")
      : TMemDataSet(std::move(name),
                    std::make_unique<TestStore>(std::move(columns), std::move(rows))) {
    const auto log = [this](const char* what) {
      return [this, what](TDataSet&) { events.push_back(what); };
    };
    BeforeOpen = log("BeforeOpen");
    AfterOpen = log("AfterOpen");
    BeforeClose = log("BeforeClose");
    AfterClose = log("AfterClose");
    BeforeScroll = log("BeforeScroll");
    AfterScroll = log("AfterScroll");
  }
  TestStore& Store() { return static_cast<TestStore&>(Data()); }
  using TDataSet::BufferCount;
  using TDataSet::SetBufferCount;

  std::vector<std::string> events;
};

int Id(const TDataSet& ds) {
  return ds.FieldByName("ID")->AsInteger();
}

// ---- Construction, open and close ----

TEST(MemDataSet, ANewDatasetIsClosedAtBothEnds) {
  TestDataSet ds(kColumns, Rows(3));
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldCount(), 0);
  EXPECT_EQ(ds.GetRecordCount(), 0);
  EXPECT_EQ(ds.GetRecNo(), 0);
}

TEST(MemDataSet, OpenMakesDefinitionsAndFieldsByDataType) {
  TestDataSet ds(kColumns, Rows(3));
  ds.Open();
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_TRUE(ds.DefaultFields());
  EXPECT_TRUE(ds.FieldDefs().Updated());

  const struct {
    const char* name;
    TFieldType type;
    int size, precision, fieldNo;
  } defs[] = {{"ID", ftInteger, 0, 9, 1},
              {"NAME", ftString, 10, 0, 2},
              {"AMOUNT", ftFloat, 0, 15, 3},
              {"BORN", ftDateTime, 0, 0, 4}};
  ASSERT_EQ(ds.FieldDefs().Count(), 4);
  ASSERT_EQ(ds.FieldCount(), 4);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(defs[i].name);
    const TFieldDef& def = *ds.FieldDefs()[i];
    EXPECT_EQ(def.Name, defs[i].name);
    EXPECT_EQ(def.DataType, defs[i].type);
    EXPECT_EQ(def.Size, defs[i].size);
    EXPECT_EQ(def.Precision, defs[i].precision);
    EXPECT_EQ(def.FieldNo, defs[i].fieldNo);
    const TField& field = *ds.Fields()[i];
    EXPECT_EQ(field.FieldName(), defs[i].name);
    EXPECT_EQ(field.DataType(), defs[i].type);
    EXPECT_EQ(field.FieldNo(), defs[i].fieldNo);
    EXPECT_EQ(field.DataSet(), &ds);
  }
  EXPECT_NE(dynamic_cast<TIntegerField*>(ds.Fields()[0]), nullptr);
  auto* name = dynamic_cast<TStringField*>(ds.Fields()[1]);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->Size(), 10);
  EXPECT_FALSE(name->FixedChar());
  auto* amount = dynamic_cast<TFloatField*>(ds.Fields()[2]);
  ASSERT_NE(amount, nullptr);
  EXPECT_EQ(amount->Precision, 15);  // the column's precision goes only into the definition
  EXPECT_FALSE(amount->Currency);
  EXPECT_TRUE(amount->DisplayFormat.empty());
  EXPECT_NE(dynamic_cast<TDateTimeField*>(ds.Fields()[3]), nullptr);
}

TEST(MemDataSet, OpenAndCloseRunTheirEventsAndCloseFreesTheDefaultFields) {
  TestDataSet ds(kColumns, Rows(3));
  ds.Open();
  ds.Open();  // already open: nothing
  EXPECT_EQ(ds.events, (std::vector<std::string>{"BeforeOpen", "AfterOpen"}));
  ds.events.clear();
  ds.Close();
  ds.Close();
  EXPECT_EQ(ds.events, (std::vector<std::string>{"BeforeClose", "AfterClose"}));
  EXPECT_EQ(ds.FieldCount(), 0);
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.BufferCount(), 0);
  EXPECT_FALSE(ds.Data().Active());
  // The definitions stay up to date; a new open makes new fields from them.
  EXPECT_TRUE(ds.FieldDefs().Updated());
  ds.Open();
  EXPECT_EQ(ds.FieldCount(), 4);
  EXPECT_EQ(Id(ds), 1);
}

TEST(MemDataSet, TheRecordBufferHoldsImageInfoAndBookmark) {
  TestDataSet ds(kColumns, Rows(3));
  ds.Open();
  const int recordSize = ds.Data().RecordSize();
  EXPECT_EQ(ds.RecordInfoOffset(), recordSize);
  EXPECT_EQ(ds.BookmarkOffset(), recordSize + 7);
  EXPECT_EQ(ds.BookmarkSize(), static_cast<int>(sizeof(TRecBookmark)));
  EXPECT_EQ(ds.RecBufSize(), recordSize + 7 + static_cast<int>(sizeof(TRecBookmark)));
  EXPECT_EQ(ds.GetRecNo(), 1);
  ds.Next();
  EXPECT_EQ(ds.GetRecNo(), 2);
}

// ---- Navigation ----

TEST(MemDataSet, WalkingForwardEndsOnTheLastRecord) {
  TestDataSet ds(kColumns, Rows(3));
  ds.Open();
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(Id(ds), 1);
  EXPECT_EQ(ds.BufferCount(), 1);

  std::vector<int> ids;
  while (!ds.Eof()) {
    ids.push_back(Id(ds));
    ds.Next();
  }
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Id(ds), 3);  // the last record stays current
  EXPECT_FALSE(ds.Bof());
  EXPECT_EQ(ds.GetRecordCount(), 3);

  ds.events.clear();
  EXPECT_EQ(ds.MoveBy(1), 0);
  EXPECT_EQ(ds.events, (std::vector<std::string>{"BeforeScroll"}));
  EXPECT_EQ(Id(ds), 3);
}

TEST(MemDataSet, AStoreWithoutRowsIsAtBothEndsWithNullFields) {
  TestDataSet ds(kColumns, {});
  ds.Open();
  EXPECT_TRUE(ds.Active());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.IsEmpty());
  ASSERT_EQ(ds.FieldCount(), 4);
  for (const auto& field : ds.Fields()) {
    EXPECT_TRUE(field->IsNull()) << field->FieldName();
    EXPECT_EQ(field->AsString(), "") << field->FieldName();
  }
  ds.events.clear();
  EXPECT_EQ(ds.MoveBy(1), 0);
  EXPECT_EQ(ds.events, (std::vector<std::string>{"BeforeScroll"}));
}

TEST(MemDataSet, MoveByCountsTheRecordsMovedBothWays) {
  TestDataSet ds(kColumns, Rows(5));
  ds.Open();
  ds.events.clear();
  EXPECT_EQ(ds.MoveBy(3), 3);
  EXPECT_EQ(ds.events, (std::vector<std::string>{"BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(Id(ds), 4);
  EXPECT_EQ(ds.MoveBy(5), 1);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(Id(ds), 5);
  EXPECT_EQ(ds.MoveBy(-2), -2);
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(Id(ds), 3);
  EXPECT_EQ(ds.MoveBy(-9), -2);
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(Id(ds), 1);
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(Id(ds), 5);
  ds.First();
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(Id(ds), 1);
  ds.SetRecNo(4);
  EXPECT_EQ(Id(ds), 4);
  EXPECT_EQ(ds.GetRecNo(), 4);
}

TEST(MemDataSet, ALargerRingIsFilledAtOpenAndRotatesWhileWalking) {
  TestDataSet ds(kColumns, Rows(6));
  ds.SetBufferCount(3);
  ds.Open();
  EXPECT_EQ(ds.BufferCount(), 3);
  // Three records were read into the ring: the store stands on the third.
  EXPECT_EQ(ds.Data().GetRecordNo(), 3);
  EXPECT_EQ(Id(ds), 1);
  std::vector<int> ids;
  for (; !ds.Eof(); ds.Next()) ids.push_back(Id(ds));
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  ds.Prior();
  ds.Prior();
  EXPECT_EQ(Id(ds), 4);  // still inside the ring: the store stays past its last record
  EXPECT_TRUE(ds.Data().GetEOF());
  EXPECT_EQ(ds.MoveBy(-3), -3);
  EXPECT_EQ(Id(ds), 1);
  EXPECT_EQ(ds.MoveBy(4), 4);
  EXPECT_EQ(Id(ds), 5);
}

TEST(MemDataSet, NavigationOnAClosedDatasetIsAnError) {
  TestDataSet ds(kColumns, Rows(1), "SmartQuery1");
  const std::string closed = "SmartQuery1: Cannot perform this operation on a closed dataset";
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Next(); }), closed);
  EXPECT_EQ(testsupport::MessageOf([&] { ds.First(); }), closed);
  EXPECT_EQ(testsupport::MessageOf([&] { ds.MoveBy(-1); }), closed);
  EXPECT_TRUE(ds.events.empty());
}

TEST(MemDataSet, AFailureWhileReadingTheFirstRecordLeavesTheDatasetClosed) {
  TestDataSet ds(kColumns, Rows(2));
  ds.Store().failOnNext = 1;
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Open(); }), "fetch failed");
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.FieldCount(), 0);
  EXPECT_FALSE(ds.Data().Active());
  EXPECT_EQ(ds.events, (std::vector<std::string>{"BeforeOpen"}));
  // A failure later, while walking, leaves it open on the record it had.
  ds.Store().nextCalls = 0;
  ds.Store().failOnNext = 2;
  ds.Open();
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Next(); }), "fetch failed");
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(Id(ds), 1);
}

// ---- Fields ----

TEST(MemDataSet, FieldByNameIgnoresCaseAndNamesTheDatasetWhenAbsent) {
  std::vector<Column> columns = kColumns;
  columns.push_back({"ИМЯ", dcString, 5});
  TestDataSet ds(columns, Rows(1), "SmartQuery1");
  ds.Open();
  EXPECT_EQ(ds.FieldByName("name"), ds.Fields()[1]);
  EXPECT_EQ(ds.FieldByName("Name"), ds.Fields()[1]);
  EXPECT_EQ(ds.FieldByName("имя"), ds.Fields()[4]);
  EXPECT_EQ(ds.FindField("X"), nullptr);
  EXPECT_EQ(testsupport::MessageOf([&] { ds.FieldByName("X"); }),
            "SmartQuery1: Field 'X' not found");

  TestDataSet unnamed(kColumns, Rows(1), "");
  unnamed.Open();
  EXPECT_EQ(testsupport::MessageOf([&] { unnamed.FieldByName("X"); }), "Field 'X' not found");
}

TEST(MemDataSet, FieldsReadTheCurrentRecord) {
  TestDataSet ds(kColumns, {{7, "seven", 2.5, MSecs{kAug15}},
                            {-3, std::monostate{}, 7.6, MSecs{kAug15 + 52205000.0}},
                            {std::monostate{}, "x", std::monostate{}, std::monostate{}}});
  FormatSettings().ShortDateFormat = "dd.mm.yyyy";
  FormatSettings().LongTimeFormat = "H:mm:ss";
  ds.Open();
  const TField& id = *ds.FieldByName("ID");
  const TField& name = *ds.FieldByName("NAME");
  const TField& amount = *ds.FieldByName("AMOUNT");
  const TField& born = *ds.FieldByName("BORN");

  EXPECT_EQ(id.AsString(), "7");
  EXPECT_EQ(name.AsString(), "seven");
  EXPECT_EQ(amount.AsString(), "2.5");
  EXPECT_EQ(amount.AsInteger(), 2);  // halves go to the even neighbour
  EXPECT_EQ(born.AsString(), "15.08.2008");
  EXPECT_EQ(born.AsDateTime(), 39675.0);
  double native = 0;
  ASSERT_TRUE(born.GetData(&native));
  EXPECT_EQ(native, 63354441600000.0);

  ds.Next();
  EXPECT_EQ(id.AsString(), "-3");
  EXPECT_TRUE(name.IsNull());
  EXPECT_EQ(name.AsString(), "");
  EXPECT_EQ(amount.AsInteger(), 8);
  EXPECT_EQ(born.AsString(), "15.08.2008 14:30:05");

  ds.Next();
  EXPECT_TRUE(id.IsNull());
  EXPECT_EQ(id.AsString(), "");
  EXPECT_EQ(id.AsInteger(), 0);
  EXPECT_EQ(amount.AsString(), "");
  EXPECT_EQ(born.AsString(), "");
}

TEST(MemDataSet, NativeDateTimeConvertsToDaysSince1899) {
  const struct {
    double msecs;
    TDateTime value;
  } cases[] = {
      {63354441600000.0, 39675.0},                 // 2008-08-15 00:00
      {kAug15 + 43200000.0, 39675.5},              // 12:00 that day
      {693594.0 * 86400000.0, 0.0},                // 1899-12-30
      {693593.0 * 86400000.0 + 21600000.0, -1.25}  // 1899-12-29 06:00: time away from zero
  };
  for (const auto& c : cases) EXPECT_EQ(DataConvertMSecs(c.msecs), c.value) << c.msecs;
}

TEST(MemDataSet, StringFieldsConvertTheirText) {
  TestDataSet ds({{"S", dcString, 12}}, {{"  42"}, {"1.25"}, {"abc"}});
  ds.Open();
  const TField& s = *ds.FieldByName("S");
  EXPECT_EQ(s.AsInteger(), 42);
  ds.Next();
  EXPECT_EQ(s.AsFloat(), 1.25);
  EXPECT_EQ(testsupport::MessageOf([&] { s.AsInteger(); }), "'1.25' is not a valid integer value");
  ds.Next();
  EXPECT_EQ(testsupport::MessageOf([&] { s.AsFloat(); }),
            "'abc' is not a valid floating point value");
  EXPECT_EQ(testsupport::MessageOf([&] { s.AsDateTime(); }),
            "Cannot access field 'S' as type DateTime");
}

TEST(MemDataSet, DescriptorFlagsBecomeDefinitionAttributes) {
  TestDataSet ds({{"A", dcInteger, 0, true},
                  {"B", dcInteger, 0, false, true},
                  {"C", dcInteger, 0, false, false, true},
                  {"D", dcUnknown}},
                 {});
  ds.Open();
  // B is hidden from the definitions, D has no field type; C is defined but gets no field.
  ASSERT_EQ(ds.FieldDefs().Count(), 2);
  EXPECT_EQ(ds.FieldDefs()[0]->Name, "A");
  EXPECT_TRUE(ds.FieldDefs()[0]->Required());
  EXPECT_EQ(ds.FieldDefs()[1]->Name, "C");
  EXPECT_EQ(ds.FieldDefs()[1]->FieldNo, 3);
  EXPECT_EQ(ds.FieldDefs()[1]->Attributes & faHiddenCol, faHiddenCol);
  ASSERT_EQ(ds.FieldCount(), 1);
  EXPECT_TRUE(ds.Fields()[0]->Required());

  // Without local constraints no definition is required.
  ds.Close();
  ds.UnPrepare();
  ds.SetLocalConstraints(false);
  ds.Open();
  EXPECT_FALSE(ds.FieldDefs()[0]->Required());
}

TEST(MemDataSet, CodesWithoutAFieldTypeOrFieldClassStopTheOpen) {
  TestDataSet unknown({{"X", 99}}, {});
  EXPECT_EQ(testsupport::MessageOf([&] { unknown.Open(); }), "Unknown data type.");
  EXPECT_FALSE(unknown.Active());

  TestDataSet boolean({{"B", dcBoolean}}, {});
  EXPECT_EQ(testsupport::MessageOf([&] { boolean.Open(); }),
            "Field 'B' is of type Boolean, for which this build has no field class");
  EXPECT_FALSE(boolean.Active());
}

TEST(MemDataSet, PersistentFieldsOutliveTheCloseAndMustMatchTheirDefinitions) {
  TestDataSet ds(kColumns, Rows(2));
  auto name = std::make_unique<TStringField>();
  name->SetFieldName("NAME");
  TField* kept = ds.AddField(std::move(name));
  ds.Open();
  EXPECT_FALSE(ds.DefaultFields());
  ASSERT_EQ(ds.FieldCount(), 1);  // only the persistent field
  EXPECT_EQ(kept->Size(), 10);    // taken from the definition
  EXPECT_EQ(kept->AsString(), "row1");
  EXPECT_EQ(testsupport::MessageOf([&] { ds.AddField(std::make_unique<TIntegerField>()); }),
            "DS: Cannot perform this operation on an open dataset");
  ds.Close();
  ASSERT_EQ(ds.FieldCount(), 1);
  EXPECT_EQ(ds.Fields()[0], kept);
  EXPECT_TRUE(kept->IsNull());  // inactive: no record

  TestDataSet wrong(kColumns, Rows(1));
  auto id = std::make_unique<TIntegerField>();
  id->SetFieldName("NAME");
  wrong.AddField(std::move(id));
  EXPECT_EQ(testsupport::MessageOf([&] { wrong.Open(); }),
            "DS: Type mismatch for field 'NAME', expecting: Integer actual: String");
  EXPECT_FALSE(wrong.Active());

  TestDataSet absent(kColumns, Rows(1));
  auto other = std::make_unique<TIntegerField>();
  other->SetFieldName("OTHER");
  absent.AddField(std::move(other));
  EXPECT_EQ(testsupport::MessageOf([&] { absent.Open(); }), "DS: Field 'OTHER' not found");
}

// ---- Prepare ----

class PreparingStore : public TestStore {
 public:
  using TestStore::TestStore;

 protected:
  // A store that is described when it is prepared, as a record set is.
  void InternalPrepare() override { ++prepares; }

 public:
  int prepares = 0;
};

TEST(MemDataSet, PrepareBuildsDefinitionsWithoutOpeningAndUnprepareOutdatesThem) {
  auto store = std::make_unique<PreparingStore>(kColumns, Rows(1));
  PreparingStore* raw = store.get();
  TMemDataSet ds("DS", std::move(store));
  ds.Prepare();
  EXPECT_TRUE(ds.Prepared());
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.FieldDefs().Count(), 4);
  EXPECT_TRUE(ds.FieldDefs().Updated());
  ds.Prepare();
  EXPECT_EQ(raw->prepares, 1);
  ds.Open();
  EXPECT_TRUE(ds.Prepared());
  ds.UnPrepare();  // closes first
  EXPECT_FALSE(ds.Active());
  EXPECT_FALSE(ds.Prepared());
  EXPECT_FALSE(ds.FieldDefs().Updated());
}

// ---- What this build has not got ----

TEST(MemDataSet, EditingFilteringAndCachedUpdatesSaySoWhenAskedFor) {
  TestDataSet ds(kColumns, Rows(1));
  ds.Open();
  const std::string editing = "DS: Editing is not available in this build";
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Edit(); }), editing);
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Insert(); }), editing);
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Append(); }), editing);
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Delete(); }), editing);
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Post(); }), "DS: Dataset not in edit or insert mode");
  EXPECT_EQ(testsupport::MessageOf([&] { ds.SetFiltered(true); }),
            "DS: Filtering is not available in this build");
  EXPECT_EQ(testsupport::MessageOf([&] { ds.Locate("ID", "1"); }),
            "DS: Locate is not available in this build");
  EXPECT_EQ(testsupport::MessageOf([&] { ds.SetCachedUpdates(true); }),
            "DS: Cached updates is not available in this build");
  EXPECT_EQ(testsupport::MessageOf([&] { ds.ApplyUpdates(); }),
            "DS: Cached updates is not available in this build");
  ds.Cancel();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(Id(ds), 1);
}

// ---- Ownership of the ring's buffers ----
//
// The subclasses below clean nothing up in their destructors. The base frees the storage of the
// ring by itself, without a call to the subclass: in the sanitizer build a buffer left behind is
// a leak report, and a call into the destroyed part of the object is counted here (or, for a
// hook the base cannot run without, ends the program with a pure virtual call).

// What the subclasses saw, kept outside them so that it can be read once they are gone.
struct Journal {
  int allocated = 0;
  int released = 0;
  int callsAfterDestruction = 0;
  bool destroyed = false;
};
Journal journal;

void Enter() {
  if (journal.destroyed) ++journal.callsAfterDestruction;
}

// A dataset straight on the base, over `rows` numbered records without fields. A buffer holds
// the record number and the bookmark flag.
class BareDataSet : public TDataSet {
 public:
  explicit BareDataSet(int rows) : TDataSet("Bare"), FRows(rows) {}
  ~BareDataSet() override { journal.destroyed = true; }
  using TDataSet::SetBufferCount;

  int GetRecordCount() const override {
    Enter();
    return FRows;
  }
  bool GetFieldData(const TField&, void*) const override {
    Enter();
    return false;
  }
  int Current() const {
    int no = 0;
    std::memcpy(&no, ActiveBuffer(), sizeof no);
    return no;
  }

 protected:
  static constexpr int kSize = sizeof(int) + 1;
  TRecordBuffer AllocRecordBuffer() override {
    Enter();
    ++journal.allocated;
    return std::make_unique<uint8_t[]>(kSize);
  }
  void FreeRecordBuffer(TRecordBuffer& buffer) override {
    Enter();
    ++journal.released;
    buffer.reset();
  }
  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool) override {
    Enter();
    const int next = FPos + (mode == gmNext ? 1 : mode == gmPrior ? -1 : 0);
    if (next < 1) return grBOF;
    if (next > FRows) return grEOF;
    FPos = next;
    std::memcpy(buffer, &FPos, sizeof FPos);
    buffer[sizeof FPos] = bfCurrent;
    return grOK;
  }
  int GetRecordSize() const override {
    Enter();
    return sizeof(int);
  }
  void InternalOpen() override {
    Enter();
    FOpen = true;
    FPos = 0;
  }
  void InternalClose() override {
    Enter();
    FOpen = false;
  }
  void InternalFirst() override {
    Enter();
    FPos = 0;
  }
  void InternalLast() override {
    Enter();
    FPos = FRows + 1;
  }
  void InternalSetToRecord(uint8_t* buffer) override {
    Enter();
    std::memcpy(&FPos, buffer, sizeof FPos);
  }
  void InternalInitFieldDefs() override { Enter(); }
  bool IsCursorOpen() const override {
    Enter();
    return FOpen;
  }
  TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const override {
    Enter();
    return static_cast<TBookmarkFlag>(buffer[sizeof(int)]);
  }
  void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag value) override {
    Enter();
    buffer[sizeof(int)] = value;
  }

 private:
  int FRows;
  int FPos = 0;
  bool FOpen = false;
};

TEST(RecordBuffers, ASubclassWithoutCleanUpLeavesNoBufferAndIsNotCalledOnceGone) {
  const struct {
    const char* name;
    int ring;
    std::function<void(BareDataSet&)> before;
    int current;    // the record the dataset stands on before it goes
    int allocated;  // buffers the subclass made
    int released;   // buffers it was asked to release while it existed
  } cases[] = {
      {"open on the first record", 1, [](BareDataSet&) {}, 1, 2, 0},
      {"walked to the end", 1, [](BareDataSet& ds) { ds.Last(); }, 5, 2, 0},
      {"larger ring, rotated both ways", 3,
       [](BareDataSet& ds) {
         ds.MoveBy(4);
         ds.MoveBy(-3);
       },
       2, 4, 0},
      {"closed and opened again", 1,
       [](BareDataSet& ds) {
         ds.Close();
         ds.Open();
       },
       1, 4, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    journal = {};
    {
      BareDataSet ds(5);
      ds.SetBufferCount(c.ring);
      ds.Open();
      c.before(ds);
      ASSERT_TRUE(ds.Active());
      EXPECT_EQ(ds.Current(), c.current);
    }
    EXPECT_EQ(journal.allocated, c.allocated);
    EXPECT_EQ(journal.released, c.released) << "the base frees the open ring without asking";
    EXPECT_EQ(journal.callsAfterDestruction, 0);
  }
}

TEST(RecordBuffers, CloseStillHandsEveryBufferToTheSubclass) {
  journal = {};
  BareDataSet ds(3);
  ds.SetBufferCount(2);
  ds.Open();
  ds.Next();
  ds.Close();
  EXPECT_EQ(journal.allocated, 3);
  EXPECT_EQ(journal.released, 3);
}

// A memory dataset whose buffers carry extra bytes of its own, as the smart query's do, and that
// counts the buffers it releases; no BeginDestroy in its destructor.
class PaddedDataSet : public TestDataSet {
 public:
  using TestDataSet::TestDataSet;
  ~PaddedDataSet() override { journal.destroyed = true; }

 protected:
  static constexpr int kPadding = 16;
  TRecordBuffer AllocRecordBuffer() override {
    Enter();
    ++journal.allocated;
    TRecordBuffer plain = TestDataSet::AllocRecordBuffer();
    auto padded = std::make_unique<uint8_t[]>(static_cast<size_t>(RecBufSize() + kPadding));
    std::memcpy(padded.get(), plain.get(), static_cast<size_t>(RecBufSize()));
    std::memset(padded.get() + RecBufSize(), 0xA5, kPadding);
    return padded;
  }
  void FreeRecordBuffer(TRecordBuffer& buffer) override {
    Enter();
    ++journal.released;
    TestDataSet::FreeRecordBuffer(buffer);
  }
  void InternalClose() override {
    Enter();
    TestDataSet::InternalClose();
  }
};

TEST(RecordBuffers, AMemoryDatasetSubclassIsClosedByItsParentWithoutBeingCalled) {
  journal = {};
  {
    PaddedDataSet ds(kColumns, Rows(4));
    ds.Open();
    ds.Next();
    EXPECT_EQ(Id(ds), 2);
  }
  EXPECT_EQ(journal.allocated, 2);
  EXPECT_EQ(journal.released, 0) << "the parent's close releases the buffers, not the subclass";
  EXPECT_EQ(journal.callsAfterDestruction, 0);
}

// ---- The string list ----

TEST(Strings, ChangesAreNotifiedOnceEach) {
  TStrings list;
  int changes = 0, changings = 0;
  list.OnChange = [&] { ++changes; };
  list.OnChanging = [&] { ++changings; };
  const struct {
    const char* what;
    std::function<void()> change;
    int notifications;
  } cases[] = {
      {"clear of an empty list", [&] { list.Clear(); }, 0},
      {"add", [&] { list.Add("select 1"); }, 1},
      {"clear of a list with text", [&] { list.Clear(); }, 1},
      {"set text of three lines", [&] { list.SetText("a\r\nb\nc\r\n"); }, 1},
      {"assign",
       [&] {
         list.Assign(TStrings{"x", "y"});
       },
       1},
      {"insert", [&] { list.Insert(0, "w"); }, 1},
      {"put", [&] { list.Put(0, "v"); }, 1},
      {"delete", [&] { list.Delete(0); }, 1},
      {"a bracket around three changes",
       [&] {
         list.BeginUpdate();
         list.Clear();
         list.Add("p");
         list.Add("q");
         list.EndUpdate();
       },
       1},
  };
  for (const auto& c : cases) {
    changes = changings = 0;
    c.change();
    EXPECT_EQ(changes, c.notifications) << c.what;
    EXPECT_EQ(changings, c.notifications) << c.what;
  }
  EXPECT_EQ(list.Text(), "p\r\nq\r\n");
}

TEST(Strings, TextJoinsLinesWithLineBreaksAndSetTextSplitsThem) {
  TStrings list;
  list.SetText("one\r\ntwo\rthree\nfour");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"one", "two", "three", "four"}));
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n");
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  list.SetText("\n");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{""}));
  EXPECT_EQ(testsupport::MessageOf([&] { (void)list[3]; }), "List index out of bounds (3)");
}

}  // namespace
}  // namespace tarnwick
