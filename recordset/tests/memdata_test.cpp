// The record store on its own: record layout, renaming of duplicate names, finding fields,
// navigation over records appended in memory, bookmarks, and reading and writing values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/Exception.h"
#include "recordset/MemData.h"

namespace tarnwick {
namespace {

struct FieldSpec {
  std::string name;
  uint16_t type;
  uint16_t size;
};

// A memory store whose descriptors come from a list, as a record set's describe would give them.
class TestStore : public TMemData {
 public:
  // The descriptors are made once and kept across closes, as a prepared record set keeps them.
  explicit TestStore(std::vector<FieldSpec> specs) : specs_(std::move(specs)) {
    InitFields();
    AutoInitFields = false;
  }

 protected:
  void InternalInitFields() override {
    for (const auto& s : specs_) {
      auto d = std::make_unique<TFieldDesc>();
      d->Name = s.name;
      d->ActualName = s.name;
      d->DataType = s.type;
      d->Size = s.size;
      d->Length = s.type == dcString ? static_cast<uint16_t>(s.size - 1) : 0;
      d->FieldNo = static_cast<uint16_t>(Fields().Count() + 1);
      Fields().Add(std::move(d));
    }
  }

 private:
  std::vector<FieldSpec> specs_;
};

std::vector<std::string> Names(const TData& store) {
  std::vector<std::string> names;
  for (const auto& d : store.Fields()) names.push_back(d->Name);
  return names;
}

TEST(RecordLayout, RecordSizeIsAlwaysOdd) {
  // Data 9 bytes + 1 indicator = 10, made 11; data 10 + 1 = 11 stays.
  TestStore even({{"S", dcString, 9}});
  EXPECT_EQ(even.DataSize(), 9);
  EXPECT_EQ(even.RecordSize(), 11);
  TestStore odd({{"S", dcString, 10}});
  EXPECT_EQ(odd.RecordSize(), 11);
}

TEST(RecordLayout, WideStringStartsAtAnEvenOffsetAndThePadCounts) {
  TestStore store({{"S", dcString, 3}, {"W", dcWideString, 6}, {"I", dcInteger, 4}});
  EXPECT_EQ(store.Fields()[0]->Offset, 0u);
  EXPECT_EQ(store.Fields()[1]->Offset, 4u);
  EXPECT_EQ(store.Fields()[2]->Offset, 10u);
  EXPECT_EQ(store.DataSize(), 14);
  EXPECT_EQ(store.RecordSize(), 14 + 3 + 0);  // 17: already odd
}

TEST(RecordLayout, DuplicateNamesAreRenamed) {
  const struct {
    std::vector<std::string> in, out;
  } cases[] = {
      {{"A", "a", "A"}, {"A", "a_1", "A_2"}},
      {{"A", "A", "A_1"}, {"A", "A_1", "A_1"}},
      {{"X", "", "Y"}, {"X", "_0", "Y"}},
      {{"B", "A", "B", "A"}, {"B", "A", "B_1", "A_1"}},
  };
  for (const auto& c : cases) {
    std::vector<FieldSpec> specs;
    for (const auto& n : c.in) specs.push_back({n, dcInteger, 4});
    TestStore store(specs);
    EXPECT_EQ(Names(store), c.out);
  }
}

TEST(FieldDescs, FindFieldAndFieldByName) {
  TestStore store({{"TABLE_NAME", dcString, 31}, {"CNT", dcFloat, 8}});
  EXPECT_EQ(store.FindField("table_name"), store.Fields()[0]);
  EXPECT_EQ(store.FindField("Cnt"), store.Fields()[1]);
  EXPECT_EQ(store.FindField("NOPE"), nullptr);
  EXPECT_THAT([&] { store.FieldByName("NOPE"); },
              ::testing::ThrowsMessage<Exception>(::testing::StrEq("Field NOPE not found.")))
      << "FieldByName of an absent name raises";
}

TEST(FieldDescs, ADottedNameComparesFullNamesAndTopLevelWinsOverChildren) {
  TFieldDescs descs;
  auto parent = std::make_unique<TFieldDesc>();
  parent->Name = parent->ActualName = "ADDR";
  TFieldDesc* p = descs.Add(std::move(parent));
  auto child = std::make_unique<TFieldDesc>();
  child->Name = "CITY";
  child->ActualName = "ADDR.CITY";
  child->ParentField = p;
  TFieldDesc* c = descs.Add(std::move(child));
  auto top = std::make_unique<TFieldDesc>();
  top->Name = top->ActualName = "CITY";
  TFieldDesc* t = descs.Add(std::move(top));
  EXPECT_EQ(descs.FindField("city"), t);
  EXPECT_EQ(descs.FindField("addr.city"), c);
  EXPECT_EQ(descs.FindField("CITY.X"), nullptr);
}

class FilledStore : public ::testing::Test {
 protected:
  void Append(int id, const char* text) {
    auto rec = store.AllocRecBuf();
    store.InitRecord(rec.get());
    store.PutField(1, rec.get(), &id);
    store.PutField(2, rec.get(), text);
    store.AppendRecord(rec.get());
  }
  int IdOf(const uint8_t* rec) {
    int id = 0;
    bool blank = true;
    store.GetField(1, rec, &id, blank);
    EXPECT_FALSE(blank);
    return id;
  }

  TestStore store{{{"ID", dcInteger, 4}, {"NAME", dcString, 11}}};
};

TEST_F(FilledStore, AnEmptyStoreEndsAtOnce) {
  store.Open();
  EXPECT_TRUE(store.GetBOF());
  store.GetNextRecord(nullptr);
  EXPECT_TRUE(store.GetEOF());
  EXPECT_EQ(store.CurrentItem(), nullptr);
  EXPECT_EQ(store.GetRecordNo(), 0);
  TRecBookmark b;
  store.GetBookmark(b);
  EXPECT_EQ(b.Order, -1);
}

TEST_F(FilledStore, WalksForwardAndBackward) {
  store.Open();
  for (int i = 1; i <= 25; ++i) Append(i, ("row" + std::to_string(i)).c_str());
  EXPECT_EQ(store.GetRecordCount(), 25);
  store.SetToBegin();
  auto rec = store.AllocRecBuf();
  std::vector<int> ids;
  for (store.GetNextRecord(rec.get()); !store.GetEOF(); store.GetNextRecord(rec.get()))
    ids.push_back(IdOf(rec.get()));
  ASSERT_EQ(ids.size(), 25u);
  EXPECT_EQ(ids.front(), 1);
  EXPECT_EQ(ids.back(), 25);
  store.GetPriorRecord(rec.get());
  EXPECT_EQ(IdOf(rec.get()), 25);
  store.SetRecordNo(7);
  EXPECT_EQ(store.GetRecordNo(), 7);
  store.GetRecord(rec.get());
  EXPECT_EQ(IdOf(rec.get()), 7);
  store.SetRecordNo(99);  // beyond the records: the position stays
  EXPECT_EQ(store.GetRecordNo(), 7);
}

TEST_F(FilledStore, BookmarksResolveByItemThenByNumberAfterReopen) {
  store.Open();
  for (int i = 1; i <= 3; ++i) Append(i, "x");
  store.SetRecordNo(2);
  TRecBookmark b;
  store.GetBookmark(b);
  EXPECT_EQ(b.Order, 2);
  store.SetRecordNo(3);
  store.SetToBookmark(b);
  EXPECT_EQ(store.GetRecordNo(), 2);
  EXPECT_EQ(store.CompareBookmarks(&b, &b), 0);
  EXPECT_EQ(store.CompareBookmarks(&b, nullptr), -1);
  EXPECT_EQ(store.CompareBookmarks(nullptr, &b), 1);

  store.Close();
  store.Open();
  for (int i = 1; i <= 3; ++i) Append(i * 10, "y");
  store.SetRecordNo(3);
  store.SetToBookmark(b);  // the old item is gone: found by its number
  EXPECT_EQ(store.GetRecordNo(), 2);
  auto rec = store.AllocRecBuf();
  store.GetRecord(rec.get());
  EXPECT_EQ(IdOf(rec.get()), 20);
}

TEST_F(FilledStore, EmptyStringsAreNullUnlessKept) {
  store.Open();
  auto rec = store.AllocRecBuf();
  store.InitRecord(rec.get());
  store.PutField(2, rec.get(), "");
  EXPECT_TRUE(store.GetNull(2, rec.get()));
  store.KeepEmptyStrings = true;
  store.PutField(2, rec.get(), "");
  EXPECT_FALSE(store.GetNull(2, rec.get()));

  // A NULL leaves the destination untouched.
  store.PutField(2, rec.get(), nullptr);
  char dest[12] = "untouched";
  bool blank = false;
  store.GetField(2, rec.get(), dest, blank);
  EXPECT_TRUE(blank);
  EXPECT_STREQ(dest, "untouched");
}

TEST_F(FilledStore, InsertDeleteAndRenumbering) {
  store.Open();
  for (int i = 1; i <= 3; ++i) Append(i, "x");
  store.SetRecordNo(2);
  auto rec = store.AllocRecBuf();
  store.InitRecord(rec.get());
  int id = 15;
  store.PutField(1, rec.get(), &id);
  store.InsertRecord(rec.get());  // before record 2
  EXPECT_EQ(store.GetRecordNo(), 2);
  EXPECT_EQ(store.GetRecordCount(), 4);
  store.SetRecordNo(3);
  store.GetRecord(rec.get());
  EXPECT_EQ(IdOf(rec.get()), 2);
  store.DeleteRecord();
  EXPECT_EQ(store.GetRecordCount(), 3);
  std::vector<int> ids;
  store.SetToBegin();
  for (store.GetNextRecord(rec.get()); !store.GetEOF(); store.GetNextRecord(rec.get()))
    ids.push_back(IdOf(rec.get()));
  EXPECT_EQ(ids, (std::vector<int>{1, 15, 3}));
  store.SetRecordNo(3);
  EXPECT_EQ(store.GetRecordNo(), 3);
}

TEST(RecordValues, DatesInTheGenericStore) {
  TestStore store({{"D", dcDateTime, 8}});
  store.Open();
  auto rec = store.AllocRecBuf();
  store.InitRecord(rec.get());
  // 15 August 2008, 14:30:05: day 733269 of the calendar from 1 January of year 1.
  const double msecs = 733269.0 * 86400000.0 + (14 * 3600 + 30 * 60 + 5) * 1000.0;
  store.PutField(1, rec.get(), &msecs);
  double back = 0;
  bool blank = true;
  store.GetField(1, rec.get(), &back, blank);
  EXPECT_FALSE(blank);
  EXPECT_EQ(back, msecs);
}

TEST(RecordValues, FieldNumberOutOfRangeIsAnInternalError) {
  TestStore store({{"I", dcInteger, 4}});
  auto rec = store.AllocRecBuf();
  bool blank;
  EXPECT_THROW(store.GetField(2, rec.get(), nullptr, blank), EAssertionFailed);
  EXPECT_THROW(store.GetField(0, rec.get(), nullptr, blank), EAssertionFailed);
}

TEST(RecordValues, FacilitiesThisStoreLacksSaySo) {
  TestStore store({{"I", dcInteger, 4}});
  EXPECT_THROW(store.SetCachedUpdates(true), Exception);
  EXPECT_THROW(store.SetFilterText("I > 1"), Exception);
  EXPECT_NO_THROW(store.SetCachedUpdates(false));
}

}  // namespace
}  // namespace tarnwick
