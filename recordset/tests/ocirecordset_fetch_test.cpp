// Fetching with the Oracle record set against the stand-in: blocks of FetchRows rows defined
// straight into the records, the end of the data, values and NULLs, the one-way walk, the
// client's call sequence, and a connection lost in the middle.
#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dataset/text/DateTimeUtils.h"
#include "recordset/tests/RecordSetFixture.h"

namespace tarnwick::recordset_test {
namespace {

using Table = std::vector<std::vector<std::string>>;

class Fetch : public RecordSetOnStandin {
 protected:
  // A table N of `rows` rows: ID 1..rows, a short and a long text, a date.
  void MakeNumbered(const std::string& table, int rows) {
    Make({"create table " + table +
          " (ID number(9), SHORT_TEXT varchar2(10), LONG_TEXT varchar2(60), D date)"});
    for (int i = 1; i <= rows; ++i)
      Run("insert into " + table + " values (" + std::to_string(i) + ", 's" + std::to_string(i) +
          "', 'a long text of row " + std::to_string(i) +
          " that lives in the heap', DATE '2008-08-15' + " + std::to_string(i) + ")");
  }

  static std::vector<std::string> Fetches(const std::vector<std::string>& lines) {
    return Trace::Starting(lines, "OCIStmtFetch");
  }
};

TEST_F(Fetch, NoRows) {
  TOCIRecordSet& rs = NewRecordSet("select * from EMPTY_TABLE");
  rs.Open();
  EXPECT_EQ(rs.GetRecordCount(), 0);
  auto rec = rs.AllocRecBuf();
  rs.GetNextRecord(rec.get());
  EXPECT_TRUE(rs.GetEOF());
  EXPECT_EQ(rs.GetRecordCount(), 0);
  EXPECT_EQ(rs.BlockManager().FirstBlock, nullptr) << "the empty block is freed";
  EXPECT_EQ(rs.GetOCICommand().GetCursorState(), csCanceled);
}

TEST_F(Fetch, ExactlyOneBlock) {
  MakeNumbered("T25", 25);
  TOCIRecordSet& rs = NewRecordSet("select * from T25 order by 1");
  rs.Open();
  const size_t mark = trace.Mark();
  auto rec = rs.AllocRecBuf();
  int seen = 0;
  for (rs.GetNextRecord(rec.get()); !rs.GetEOF(); rs.GetNextRecord(rec.get())) ++seen;
  EXPECT_EQ(seen, 25);
  EXPECT_EQ(rs.GetRecordCount(), 25);
  const auto fetches = Fetches(trace.Since(mark));
  ASSERT_EQ(fetches.size(), 2u) << Trace::Joined(fetches);
  EXPECT_NE(fetches[0].find(", 25, OCI_FETCH_NEXT, OCI_DEFAULT) = OCI_SUCCESS"), std::string::npos);
  EXPECT_NE(fetches[1].find("= OCI_NO_DATA"), std::string::npos);
}

TEST_F(Fetch, TwentySixRowsEndWithAShortBlock) {
  TOCIRecordSet& rs = NewRecordSet("select * from BLOCK26");
  rs.Open();
  auto rec = rs.AllocRecBuf();
  for (int i = 0; i < 25; ++i) rs.GetNextRecord(rec.get());
  EXPECT_EQ(rs.GetRecordCount(), 25) << "only the rows fetched so far count";
  EXPECT_FALSE(rs.FetchEnd());
  rs.GetNextRecord(rec.get());  // the 26th record fetches the second block
  EXPECT_FALSE(rs.GetEOF());
  EXPECT_TRUE(rs.FetchEnd());
  EXPECT_EQ(rs.GetRecordCount(), 26);
  EXPECT_EQ(rs.GetRecordNo(), 26);
  EXPECT_EQ(rs.GetOCICommand().GetCursorState(), csCanceled);
  // The 24 unused items of the second block wait on the free list.
  int free = 0;
  for (PItemHeader item = rs.BlockManager().FirstFree; item; item = item->Next) {
    EXPECT_EQ(item->ItemFlag, flFree);
    ++free;
  }
  EXPECT_EQ(free, 24);
  EXPECT_EQ(rs.BlockManager().FirstBlock->UsedItems, 1);
  const size_t mark = trace.Mark();
  rs.GetNextRecord(rec.get());
  EXPECT_TRUE(rs.GetEOF());
  EXPECT_TRUE(Fetches(trace.Since(mark)).empty()) << "no fetch after the end of the data";
}

TEST_F(Fetch, ValuesAndNulls) {
  Make(
      {"create table VALS (ID number(9), N number, T varchar2(40), S varchar2(5), D date, "
       "C char(4))",
       "insert into VALS values (1, 0.5, 'text in the heap', 'abc', "
       "TO_DATE('2007-12-31 23:59:59', 'YYYY-MM-DD HH24:MI:SS'), 'ab')",
       "insert into VALS values (2, NULL, NULL, NULL, NULL, NULL)",
       "insert into VALS values (123456789, -1.5E100, 'Кириллица', 'Жу', "
       "DATE '2008-08-15', 'abcd')"});
  TOCIRecordSet& rs = NewRecordSet("select * from VALS order by 1");
  rs.Open();
  EXPECT_EQ(Rows(rs),
            (Table{
                {"1", "0.5", "text in the heap", "abc", "2007-12-31 23:59:59", "ab"},
                {"2", "NULL", "NULL", "NULL", "NULL", "NULL"},
                {"123456789", "-1.5e+100", "Кириллица", "Жу", "2008-08-15 00:00:00", "abcd"},
            }));
}

TEST_F(Fetch, DatesReadAsTheRecordStoreHoldsThem) {
  Make({"create table DATES (ID number(9), D date)",
        "insert into DATES values (1, TO_DATE('2007-12-31 23:59:59', 'YYYY-MM-DD HH24:MI:SS'))",
        "insert into DATES values (2, DATE '2008-08-15')"});
  TOCIRecordSet& rs = NewRecordSet("select D from DATES order by ID");
  rs.Open();
  auto rec = rs.AllocRecBuf();
  const TFieldDesc& d = *rs.FieldByName("D");
  rs.GetNextRecord(rec.get());
  const uint8_t expected[7] = {120, 107, 12, 31, 24, 60, 60};
  EXPECT_EQ(std::memcmp(rec.get() + d.Offset, expected, 7), 0);
  double msecs = 0;
  bool blank = true;
  rs.GetField(d.FieldNo, rec.get(), &msecs, blank);
  EXPECT_FALSE(blank);
  // Day 733041 is 31 December 2007; the last second of that day, milliseconds 0.
  EXPECT_EQ(msecs, 733041.0 * 86400000.0 + 86399000.0);
  rs.GetNextRecord(rec.get());
  rs.GetField(d.FieldNo, rec.get(), &msecs, blank);
  EXPECT_EQ(msecs, 63354441600000.0);

  // A date before year 1 (century byte below 100) reads as NULL although its indicator is 0.
  const uint8_t early[7] = {99, 199, 1, 1, 1, 1, 1};
  std::memcpy(rec.get() + d.Offset, early, 7);
  EXPECT_TRUE(rs.GetNull(d.FieldNo, rec.get()));
  // A date that does not exist reads as 0.
  const uint8_t bad[7] = {120, 107, 2, 30, 1, 1, 1};
  std::memcpy(rec.get() + d.Offset, bad, 7);
  rs.GetField(d.FieldNo, rec.get(), &msecs, blank);
  EXPECT_EQ(msecs, 0.0);
}

TEST_F(Fetch, DateConversionBothWays) {
  uint8_t buf[7];
  TOCIRecordSet::DateTimeToOraDate(EncodeDateTime(2008, 8, 15, 14, 30, 5, 999), buf);
  const uint8_t expected[7] = {120, 108, 8, 15, 15, 31, 6};
  EXPECT_EQ(std::memcmp(buf, expected, 7), 0) << "milliseconds are dropped";
  EXPECT_DOUBLE_EQ(TOCIRecordSet::OraDateToDateTime(buf),
                   EncodeDateTime(2008, 8, 15, 14, 30, 5, 0));
}

TEST_F(Fetch, RecordCountGrowsBlockByBlockAndFetchAllReadsTheRest) {
  MakeNumbered("T60", 60);
  TOCIRecordSet& rs = NewRecordSet("select * from T60");
  rs.Open();
  auto rec = rs.AllocRecBuf();
  rs.GetNextRecord(rec.get());
  EXPECT_EQ(rs.GetRecordCount(), 25);
  for (int i = 0; i < 25; ++i) rs.GetNextRecord(rec.get());
  EXPECT_EQ(rs.GetRecordCount(), 50);
  rs.FetchAll();
  EXPECT_EQ(rs.GetRecordCount(), 60);
  EXPECT_EQ(rs.GetRecordNo(), 26);
}

TEST_F(Fetch, TheClientSeesOneSetOfDefinesPerBlock) {
  MakeNumbered("T60", 60);
  TOCIRecordSet& rs = NewRecordSet("select * from T60");
  const size_t mark = trace.Mark();
  rs.Open();
  EXPECT_EQ(Rows(rs).size(), 60u);
  const auto calls = trace.CallsSince(mark);
  const auto lines = trace.Since(mark);
  EXPECT_TRUE(Trace::Has(lines, "OCIStmtExecute(") &&
              Trace::Has(Trace::Starting(lines, "OCIStmtExecute("), ", 0, 0, NULL, NULL, "))
      << "a query executes with 0 iterations";
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "OCIDefineByPos"), 3 * 4);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "OCIDefineArrayOfStruct"), 3 * 4);
  const auto fetches = Fetches(lines);
  ASSERT_EQ(fetches.size(), 3u) << Trace::Joined(fetches);
  for (const auto& f : fetches) EXPECT_NE(f.find(", 25, OCI_FETCH_NEXT, "), std::string::npos);
  EXPECT_NE(fetches[2].find("OCI_NO_DATA"), std::string::npos);
}

TEST_F(Fetch, FetchRowsChangedBetweenOpensAndAReopenShowsTheWholeRoad) {
  MakeNumbered("T60", 60);
  TOCIRecordSet& rs = NewRecordSet("select * from T60");
  rs.Open();
  EXPECT_EQ(Rows(rs).size(), 60u);
  rs.Close();
  EXPECT_FALSE(rs.HasFetchBlock());
  EXPECT_EQ(rs.GetOCICommand().GetCursorState(), csInactive);
  rs.SetProp(prFetchRows, 7);
  const size_t mark = trace.Mark();
  rs.Open();
  EXPECT_EQ(Rows(rs).size(), 60u);
  const auto lines = trace.Since(mark);
  const auto calls = Trace::Calls(lines);
  // The statement handle is allocated, set up and prepared again.
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), "OCIHandleAlloc") << Trace::Joined(lines);
  EXPECT_TRUE(Trace::Has(lines, "OCIStmtPrepare("));
  const auto fetches = Fetches(lines);
  ASSERT_EQ(fetches.size(), 9u) << Trace::Joined(fetches);  // 8 x 7 rows and a block of 4
  EXPECT_NE(fetches[0].find(", 7, OCI_FETCH_NEXT, "), std::string::npos);
  rs.Close();
  const auto after = trace.CallsSince(mark);
  EXPECT_EQ(after.back(), "OCIHandleFree") << "closing finishes the statement";
}

TEST_F(Fetch, AOneWayWalkKeepsOneBlock) {
  MakeNumbered("T60", 60);
  TOCIRecordSet& rs = NewRecordSet("select * from T60 order by 1");
  rs.SetProp(prUniDirectional, true);
  const size_t mark = trace.Mark();
  rs.Open();
  auto rec = rs.AllocRecBuf();
  int expectedId = 1;
  for (rs.GetNextRecord(rec.get()); !rs.GetEOF(); rs.GetNextRecord(rec.get())) {
    EXPECT_EQ(Text(rs, rec.get(), "ID"), std::to_string(expectedId));
    EXPECT_EQ(Text(rs, rec.get(), "LONG_TEXT"),
              "a long text of row " + std::to_string(expectedId) + " that lives in the heap");
    EXPECT_EQ(rs.GetRecordNo(), expectedId);
    ++expectedId;
    int blocks = 0;
    for (PBlockHeader b = rs.BlockManager().FirstBlock; b; b = b->Next) ++blocks;
    EXPECT_EQ(blocks, 1);
  }
  EXPECT_EQ(expectedId, 61);
  EXPECT_EQ(rs.GetRecordCount(), 60);
  const auto calls = trace.CallsSince(mark);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "OCIDefineByPos"), 4)
      << "the reused block keeps its defines";
  rs.GetPriorRecord(rec.get());
  EXPECT_TRUE(rs.GetBOF()) << "a one-way walk cannot go back";
}

TEST_F(Fetch, OneRecordSetForStatementsWithAndWithoutLongTexts) {
  // As the dataset uses its record set: a statement whose first field is kept in the heap, then
  // one whose first field is a number, and again. Nothing of one statement's side buffer may
  // reach the next.
  MakeNumbered("T30", 30);
  TOCIRecordSet& rs = NewRecordSet("select LONG_TEXT, ID from T30 order by ID");
  for (int round = 0; round < 2; ++round) {
    rs.SetSQL("select LONG_TEXT, ID from T30 order by ID");
    rs.Open();
    const auto rows = Rows(rs);
    ASSERT_EQ(rows.size(), 30u);
    EXPECT_EQ(rows[29],
              (std::vector<std::string>{"a long text of row 30 that lives in the heap", "30"}));
    rs.Close();
    rs.UnPrepare();
    rs.SetSQL("select ID, SHORT_TEXT from T30 order by ID");
    rs.Open();
    const auto other = Rows(rs);
    ASSERT_EQ(other.size(), 30u);
    EXPECT_EQ(other[29], (std::vector<std::string>{"30", "s30"}));
    rs.Close();
    rs.UnPrepare();
  }
}

TEST_F(Fetch, ALostConnectionInTheMiddle) {
  MakeNumbered("T60", 60);
  ScopedEnvVar fault("STANDIN_FAULT_CALL", "OCIStmtFetch:2:3113");
  // The fault counts calls per environment: a fresh one reads the variable.
  session.Disconnect();
  testsupport::UseStandinClient();
  session.Connect();
  TOCIRecordSet& rs = NewRecordSet("select * from T60 order by 1");
  rs.Open();
  auto rec = rs.AllocRecBuf();
  for (int i = 0; i < 25; ++i) rs.GetNextRecord(rec.get());
  ASSERT_THAT([&] { rs.GetNextRecord(rec.get()); },
              ::testing::Throws<EOraError>(::testing::Property(&EOraError::ErrorCode, 3113)))
      << "the lost connection reaches the caller";
  // The rows fetched before stay readable.
  EXPECT_EQ(rs.GetRecordCount(), 25);
  rs.SetRecordNo(25);
  rs.GetRecord(rec.get());
  EXPECT_EQ(Text(rs, rec.get(), "ID"), "25");
  EXPECT_EQ(Text(rs, rec.get(), "LONG_TEXT"), "a long text of row 25 that lives in the heap");
  EXPECT_FALSE(session.GetConnected()) << "a fatal error disconnects the session";
}

}  // namespace
}  // namespace tarnwick::recordset_test
