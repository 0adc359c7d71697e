// The describe of the Oracle record set against the stand-in: how each column kind becomes a
// field descriptor under the string options and the session's number options, and the life of
// the statement around it.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "recordset/tests/RecordSetFixture.h"

namespace tarnwick::recordset_test {
namespace {

struct Expected {
  std::string column;
  uint16_t dataType;
  uint16_t subDataType;
  uint16_t length;
  uint16_t scale;
  uint16_t size;
  bool fixed;
  bool required;
};

constexpr uint16_t kPtr = sizeof(void*);

class Describe : public RecordSetOnStandin {
 protected:
  void SetUp() override {
    RecordSetOnStandin::SetUp();
    Make(
        {"create table KINDS (V31 varchar2(31), V32 varchar2(32), V255 varchar2(255), "
         "V4000 varchar2(4000), C10 char(10), N9 number(9) not null, N10 number(10), "
         "N52 number(5,2), N number, F float, N20 number(20), N15 number(15), D date, "
         "I integer)"});
  }

  void Check(TOCIRecordSet& rs, const std::vector<Expected>& expected) {
    for (const Expected& e : expected) {
      const TFieldDesc* d = rs.FindField(e.column);
      ASSERT_NE(d, nullptr) << e.column;
      EXPECT_EQ(d->DataType, e.dataType) << e.column;
      EXPECT_EQ(d->SubDataType, e.subDataType) << e.column;
      EXPECT_EQ(d->Length, e.length) << e.column;
      EXPECT_EQ(d->Scale, e.scale) << e.column;
      EXPECT_EQ(d->Size, e.size) << e.column;
      EXPECT_EQ(d->Fixed, e.fixed) << e.column;
      EXPECT_EQ(d->Required, e.required) << e.column;
    }
  }
};

TEST_F(Describe, TheMappingOfEveryColumnKind) {
  TOCIRecordSet& rs = NewRecordSet("select * from KINDS");
  rs.Prepare();
  ASSERT_EQ(rs.GetFieldCount(), 14);
  Check(rs, {
                {"V31", dcString, 0, 31, 0, 125, false, false},
                {"V32", dcExtString, 0, 32, 0, kPtr, false, false},
                {"V255", dcExtString, 0, 255, 0, kPtr, false, false},
                {"V4000", dcExtString, 0, 4000, 0, kPtr, false, false},
                {"C10", dcString, 0, 10, 0, 41, true, false},
                {"N9", dcInteger, 0, 9, 0, 4, false, true},
                {"N10", dcFloat, 0, 10, 0, 8, false, false},
                {"N52", dcFloat, 0, 5, 2, 8, false, false},
                {"N", dcFloat, 0, 38, 0, 8, false, false},
                {"F", dcFloat, 0, 38, 127, 8, false, false},
                {"N20", dcFloat, 0, 20, 0, 8, false, false},
                {"N15", dcFloat, 0, 15, 0, 8, false, false},
                {"D", dcDateTime, 0, 0, 0, 7, false, false},
                {"I", dcFloat, 0, 38, 0, 8, false, false},
            });
  // Field numbers follow the select list; the record is laid out in that order.
  EXPECT_EQ(rs.FindField("V31")->FieldNo, 1);
  EXPECT_EQ(rs.FindField("I")->FieldNo, 14);
  EXPECT_EQ(rs.FindField("I")->ActualFieldNo, 14);
  EXPECT_EQ(rs.FindField("V32")->Offset, 125u);
  EXPECT_EQ(rs.DataSize() + 2 * 14 + ((rs.DataSize() + 28) % 2 == 0 ? 1 : 0), rs.RecordSize());
}

TEST_F(Describe, FlatBuffersKeepEveryStringInTheRecord) {
  TOCIRecordSet& rs = NewRecordSet("select V31, V32, V255 from KINDS");
  rs.SetProp(prFlatBuffers, true);
  rs.Prepare();
  Check(rs, {{"V31", dcString, 0, 31, 0, 125, false, false},
             {"V32", dcString, 0, 32, 0, 129, false, false},
             {"V255", dcString, 0, 255, 0, 1021, false, false}});
}

TEST_F(Describe, LongStringsOffMakesLongTextsMemos) {
  TOCIRecordSet& rs = NewRecordSet("select V255, V4000 from KINDS");
  rs.SetProp(prLongStrings, false);
  rs.Prepare();
  Check(rs, {{"V255", dcExtString, 0, 255, 0, kPtr, false, false},
             {"V4000", dcMemo, dcString, 4000, 0, kPtr, false, false}});
}

TEST_F(Describe, SessionNumberOptions) {
  Connection()->SetProp(prEnableIntegers, false);
  Connection()->SetProp(prEnableNumbers, true);
  TOCIRecordSet& rs = NewRecordSet("select N9, N15, N20 from KINDS");
  rs.Prepare();
  Check(rs, {{"N9", dcFloat, 0, 9, 0, 8, false, true},
             {"N15", dcFloat, 0, 15, 0, 8, false, false},
             {"N20", dcNumber, 0, 20, 0, kPtr, false, false}});
}

TEST_F(Describe, NumbersAsText) {
  TOCIRecordSet& rs = NewRecordSet("select N9, N52, N, F from KINDS");
  rs.GetOCICommand().SetProp(prNumberAsString, true);
  rs.Prepare();
  Check(rs, {{"N9", dcString, dcNumber, 9, 0, 12, false, true},
             {"N52", dcString, dcNumber, 5, 2, 8, false, false},
             {"N", dcString, dcNumber, 38, 127, 46, false, false},
             {"F", dcString, dcNumber, 38, 127, 41, false, false}});
}

TEST_F(Describe, DuplicateNamesAndACountQuery) {
  TOCIRecordSet& rs = NewRecordSet("select N9, N9, count(*) cnt from KINDS group by N9");
  rs.Prepare();
  ASSERT_EQ(rs.GetFieldCount(), 3);
  EXPECT_EQ(rs.Fields()[0]->Name, "N9");
  EXPECT_EQ(rs.Fields()[1]->Name, "N9_1");
  EXPECT_EQ(rs.Fields()[1]->ActualName, "N9");
  EXPECT_EQ(rs.Fields()[2]->Name, "CNT");
  EXPECT_EQ(rs.Fields()[2]->DataType, dcFloat);
}

TEST_F(Describe, UnsupportedTypesAreRefused) {
  // A CLOB is described as what it is; reading its rows is what this record set refuses.
  TOCIRecordSet& rs = NewRecordSet("select BODY from DOCUMENTS");
  rs.Open();
  EXPECT_EQ(rs.FieldByName("BODY")->DataType, dcOraClob);
  EXPECT_EQ(testsupport::PlainErrorOf([&] { rs.GetNextRecord(nullptr); }),
            "Data type is not supported.");
  EXPECT_EQ(rs.GetRecordCount(), 0);
}

TEST_F(Describe, PrepareDescribesWithoutRowsAndUnPrepareFinishes) {
  TOCIRecordSet& rs = NewRecordSet("select * from EMP");
  const size_t mark = trace.Mark();
  rs.Prepare();
  EXPECT_TRUE(rs.Prepared());
  EXPECT_EQ(rs.CommandType(), ctCursor);
  // Prepared and bound for the describe-only execution, not executed.
  EXPECT_TRUE(rs.GetOCICommand().GetPrepared());
  EXPECT_LT(rs.GetOCICommand().GetCursorState(), csExecuted);
  const auto lines = trace.Since(mark);
  EXPECT_TRUE(Trace::Has(lines, "OCI_DESCRIBE_ONLY)")) << Trace::Joined(lines);
  EXPECT_FALSE(Trace::Has(lines, "OCIStmtFetch")) << Trace::Joined(lines);
  rs.UnPrepare();
  EXPECT_FALSE(rs.Prepared());
  EXPECT_EQ(rs.GetFieldCount(), 0);
  EXPECT_EQ(rs.GetOCICommand().GetCursorState(), csInactive);
  EXPECT_FALSE(rs.GetOCICommand().GetCursor()->HasHandle());
}

TEST_F(Describe, AStatementWithoutRowsCannotBeOpened) {
  TOCIRecordSet& rs = NewRecordSet("ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'");
  EXPECT_EQ(testsupport::PlainErrorOf([&] { rs.Open(); }), "SQL statement doesn't return rows");
  EXPECT_FALSE(rs.Active());
  EXPECT_EQ(rs.GetOCICommand().GetCursorState(), csInactive);
  // The same statement runs through ExecCommand, which leaves the command unprepared.
  rs.ExecCommand();
  EXPECT_EQ(rs.CommandType(), ctStatement);
  EXPECT_EQ(rs.GetOCICommand().GetCursorState(), csInactive);
}

TEST_F(Describe, UnknownPropertyNumbersAreInternalErrors) {
  TOCIRecordSet& rs = NewRecordSet("select * from EMP");
  EXPECT_THAT([&] { rs.SetProp(23, true); },
              ::testing::ThrowsMessage<EAssertionFailed>(::testing::HasSubstr("23")))
      << "an unknown property number raises";
}

}  // namespace
}  // namespace tarnwick::recordset_test
