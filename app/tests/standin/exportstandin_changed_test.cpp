// A table that changes between the structure analysis and the import, as one does when the window
// reads the structure and the user presses "import" after a nightly reload has replaced the
// table: the file never gets a value that its field cannot hold.
#include <ostream>

#include "app/tests/standin/StandinExportFixture.h"

namespace tarnwick::export_test {
namespace {

struct TChange {
  const char* what;
  // The table made anew after the analysis of T (ID NUMBER(5), NAME VARCHAR2(5), V NUMBER(3),
  // D DATE), and its second row; the first row (1, 'ab', 1, NULL) always fits.
  const char* create;
  const char* secondRow;
  // A piece of the error, or empty when every value still fits its field.
  const char* error;
};

std::ostream& operator<<(std::ostream& os, const TChange& c) {
  return os << c.what;
}

class ChangedTableTest : public StandinExportTest, public ::testing::WithParamInterface<TChange> {};

TEST_P(ChangedTableTest, AValueThatNoLongerFitsItsFieldStopsTheImport) {
  const TChange& c = GetParam();
  Admin("sql " + Server() +
        " demo 'create table T (ID number(5), NAME varchar2(5), V number(3), D date)'");
  Admin("sql " + Server() + " demo \"insert into T values (1, 'ab', 1, null)\"");
  Connect();
  Analyse("T");

  Admin("sql " + Server() + " demo 'drop table T'");
  Admin("sql " + Server() + " demo " + ShellQuote(c.create));
  Admin("sql " + Server() + " demo \"insert into T values (1, 'ab', 1, null)\"");
  Admin("sql " + Server() + " demo " +
        ShellQuote(std::string("insert into T values ") + c.secondRow));

  const std::string path = Path("T");
  const std::string error = testsupport::MessageOf<EDatabaseError>(
      [&] { EXPECT_EQ(session_->Import(view_, path, "T"), TImportResult::Done); }, "");
  const TDbfFile file = ReadDbf(path);
  if (std::string(c.error).empty()) {
    EXPECT_EQ(error, "");
    ASSERT_EQ(file.count, 2u);
    // A date keeps its day, without the time of day.
    EXPECT_EQ(file.records[1].substr(file.recordLength - 8), "20210304");
  } else {
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_NE(error.find("row 2"), std::string::npos) << error;
    // The row before stays, with a matching count; the one that does not fit is not written.
    EXPECT_EQ(file.count, 1u);
    EXPECT_EQ(file.fileSize, file.headerLength + file.recordLength);
    EXPECT_TRUE(view_.Calls("memo: Конец импорта").empty());
  }
  ASSERT_TRUE(PythonDbfAvailable());
  EXPECT_EQ(ReadWithPython(path).at(0), "COUNT " + std::to_string(file.count));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedTableTest,
    ::testing::Values(
        TChange{"LongerText",
                "create table T (ID number(5), NAME varchar2(300), V number(3), D date)",
                "(2, rpad('x', 300, 'y'), 2, null)", "column NAME"},
        TChange{"LongerCyrillicText",
                "create table T (ID number(5), NAME varchar2(6 char), V number(3), D date)",
                "(2, 'абвгде', 2, null)", "column NAME"},
        TChange{"WiderNumber",
                "create table T (ID number(5), NAME varchar2(5), V number(12), D date)",
                "(2, 'cd', 123456789012, null)", "column V"},
        TChange{"FractionInAnIntegerField",
                "create table T (ID number(5), NAME varchar2(5), V number(3,1), D date)",
                "(2, 'cd', 2.5, null)", "column V"},
        TChange{"TextInANumberField",
                "create table T (ID number(5), NAME varchar2(5), V varchar2(3), D date)",
                "(2, 'cd', 'abc', null)", "column V"},
        TChange{"TextInADateField",
                "create table T (ID number(5), NAME varchar2(5), V number(3), D varchar2(20))",
                "(2, 'cd', 2, 'not a date')", "column D"},
        TChange{"NumberInADateField",
                "create table T (ID number(5), NAME varchar2(5), V number(3), D number)",
                "(2, 'cd', 2, 3.5)", "column D"},
        // A wider column whose values all still fit is exported whole.
        TChange{"WiderButFitting",
                "create table T (ID number(5), NAME varchar2(300), V number(12), D date)",
                "(2, 'abcde', 999, to_date('2021-03-04 13:14:15', 'YYYY-MM-DD HH24:MI:SS'))", ""}),
    [](const ::testing::TestParamInfo<TChange>& info) { return std::string(info.param.what); });

// A view whose table was made anew with a wider column keeps the old length in the dictionary,
// while its rows give the new values: no race is needed for those to be longer than the field.
TEST_F(StandinExportTest, AViewWhoseDictionaryEntryIsStaleStopsTheImport) {
  Admin("sql " + Server() + " demo 'create table SB (ID number(3), T varchar2(5))'");
  Admin("sql " + Server() + " demo 'create view SV as select ID, T from SB'");
  Admin("sql " + Server() + " demo 'drop table SB'");
  Admin("sql " + Server() + " demo 'create table SB (ID number(3), T varchar2(50))'");
  Admin("sql " + Server() + " demo \"insert into SB values (1, 'abcdefghijklmnop')\"");
  Connect();
  Analyse("SV");
  const std::string path = Path("SV");
  EXPECT_EQ(testsupport::MessageOf<EDatabaseError>([&] { session_->Import(view_, path, "SV"); }),
            "the value of column T in row 1 does not fit its DBF field T (C 5): 16 characters; "
            "the table does not hold what its structure said (it changed after the analysis, or "
            "the dictionary describes it as it was): read the structure again");
  EXPECT_EQ(ReadDbf(path).count, 0u);
}

}  // namespace
}  // namespace tarnwick::export_test
