// Oracle numbers fetched whole: with the session option EnableNumbers the NUMBER columns of more
// than 15 digits are fetched as SQLT_VNU into number objects of the records, and their 22 bytes
// give every digit back, through blocks, one-way walks and NULLs.
#include <string>
#include <vector>

#include "dataset/text/NumberText.h"
#include "recordset/tests/RecordSetFixture.h"

namespace tarnwick::recordset_test {
namespace {

class NumberFetch : public RecordSetOnStandin {
 protected:
  // The field's value as the number field shows it: the exact text of its 22 bytes, or NULL.
  static std::string NumberText(TOCIRecordSet& rs, const uint8_t* rec, const std::string& name) {
    const TFieldDesc* d = rs.FieldByName(name);
    std::string bytes(kOraNumberSize, '\xEE');
    bool blank = true;
    rs.GetField(d->FieldNo, rec, bytes.data(), blank);
    if (blank) return "NULL";
    return OraNumberFieldText(std::string_view(bytes));
  }

  // A table of `rows` rows: K 1..rows and numbers that no double holds.
  void MakeWide(int rows) {
    Make({"create table WIDE_NUMS (K number(9), N18 number(18), N38 number(38,10), PLAIN number)"});
    for (int k = 1; k <= rows; ++k) {
      const std::string n = std::to_string(k);
      Run("insert into WIDE_NUMS values (" + n + ", 100000000000000000 + " + n +
          ", -1234567890123456789012345678.0123456789 - " + n + ", " + n + "/3)");
    }
  }

  static std::string Expected18(int k) { return std::to_string(100000000000000000LL + k); }
  static std::string Expected38(int k) {
    // -1234567890123456789012345678.0123456789 - k, for k up to 321.
    return "-1234567890123456789012345" + std::to_string(678 + k) + ".0123456789";
  }
};

TEST_F(NumberFetch, WideColumnsBecomeOracleNumbersOnlyWithTheOption) {
  MakeWide(1);
  {
    TOCIRecordSet& rs = NewRecordSet("select * from WIDE_NUMS");
    rs.Open();
    EXPECT_EQ(rs.FieldByName("N18")->DataType, dcFloat);
    rs.Close();
  }
  Connection()->SetProp(prEnableNumbers, true);
  TOCIRecordSet& rs = NewRecordSet("select * from WIDE_NUMS");
  rs.Open();
  EXPECT_EQ(rs.FieldByName("K")->DataType, dcInteger);
  for (const char* name : {"N18", "N38", "PLAIN"}) {
    EXPECT_EQ(rs.FieldByName(name)->DataType, dcNumber) << name;
    EXPECT_EQ(rs.FieldByName(name)->Size, sizeof(void*)) << name;
  }
  const size_t mark = trace.Mark();
  auto rec = rs.AllocRecBuf();
  rs.GetNextRecord(rec.get());
  ASSERT_FALSE(rs.GetEOF());
  EXPECT_EQ(NumberText(rs, rec.get(), "N18"), "100000000000000001");
  EXPECT_EQ(NumberText(rs, rec.get(), "N38"), "-1234567890123456789012345679.0123456789");
  EXPECT_EQ(NumberText(rs, rec.get(), "PLAIN"), "0.3333333333333333333333333333333333333333");
  EXPECT_EQ(Text(rs, rec.get(), "K"), "1");
  // The client is asked for Oracle's own form of the number.
  const std::vector<std::string> defines = Trace::Starting(trace.Since(mark), "OCIDefineByPos");
  ASSERT_EQ(defines.size(), 4u);
  EXPECT_FALSE(Trace::Has({defines[0]}, "SQLT_VNU")) << defines[0];
  for (std::size_t i = 1; i < 4; ++i)
    EXPECT_TRUE(Trace::Has({defines[i]}, "SQLT_VNU")) << defines[i];
}

TEST_F(NumberFetch, EveryRowOfSeveralBlocksKeepsItsDigits) {
  MakeWide(60);
  Make({"insert into WIDE_NUMS values (61, null, null, null)"});
  Connection()->SetProp(prEnableNumbers, true);
  for (const bool uniDirectional : {false, true}) {
    SCOPED_TRACE(uniDirectional ? "one way" : "kept");
    TOCIRecordSet& rs = NewRecordSet("select * from WIDE_NUMS order by K");
    rs.SetProp(prUniDirectional, uniDirectional);
    rs.Open();
    auto rec = rs.AllocRecBuf();
    int k = 0;
    for (rs.GetNextRecord(rec.get()); !rs.GetEOF(); rs.GetNextRecord(rec.get())) {
      ++k;
      if (k == 61) {
        EXPECT_EQ(NumberText(rs, rec.get(), "N18"), "NULL");
        EXPECT_EQ(NumberText(rs, rec.get(), "PLAIN"), "NULL");
        continue;
      }
      EXPECT_EQ(NumberText(rs, rec.get(), "N18"), Expected18(k));
      EXPECT_EQ(NumberText(rs, rec.get(), "N38"), Expected38(k));
    }
    EXPECT_EQ(k, 61);
    if (!uniDirectional) {
      // The records stay in memory with their numbers: back to the first one.
      rs.SetToBegin();
      rs.GetNextRecord(rec.get());
      EXPECT_EQ(NumberText(rs, rec.get(), "N18"), Expected18(1));
    }
    rs.Close();
  }
}

}  // namespace
}  // namespace tarnwick::recordset_test
