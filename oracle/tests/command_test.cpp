// The command without a server: statement kinds, line-break normalisation and its position
// mapping, numbered properties, parameter scanning and the checks before any OCI call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OCIConnection.h"
#include "testsupport/standin/StandinFixture.h"

namespace tarnwick {
namespace {

using ::testing::Property;
using ::testing::Throws;

std::string ErrorText(auto&& f) {
  return testsupport::MessageOf(f);
}

TEST(CommandSQLType, FromStatementType) {
  const std::vector<std::pair<ub2, uint16_t>> cases = {
      {0, 0},  {1, 4},  {2, 5},   {3, 9},   {4, 3},  {5, 0},  {6, 0},  {7, 0},  {8, 34},
      {9, 34}, {10, 0}, {14, 27}, {15, 27}, {16, 0}, {17, 0}, {21, 0}, {999, 0}};
  for (const auto& [stmtType, sqlType] : cases)
    EXPECT_EQ(SQLTypeOfStmtType(stmtType), sqlType) << "statement type " << stmtType;
}

struct LineBreakCase {
  std::string text;
  std::string expected;
};

TEST(CommandLineBreaks, NormalisedOutsideLiterals) {
  const std::vector<LineBreakCase> cases = {
      {"select 1\r\nfrom dual", "select 1\nfrom dual"},
      {"a\rb", "a\nb"},
      {"a\r\r\nb", "a\n\nb"},
      {"a\n\rb", "a\n\nb"},
      {"x = 'one\r\ntwo\rthree'\r\n", "x = 'one\r\ntwo\rthree'\n"},
      {"x = 'It''s\r\n' or\r\ny", "x = 'It''s\r\n' or\ny"},
      {"-- it's\r\nselect 'a\rb'", "-- it's\nselect 'a\rb'"},
      {"/* it's\r\n */ 'a\r'", "/* it's\n */ 'a\r'"},
      {"/*/ 'x\r' */\r", "/*/ 'x\n' */\n"},  // a quote in a comment opens no literal
      {"'open\r\n", "'open\r\n"},
      {"a - -b\r", "a - -b\n"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeLineBreaks(c.text), c.expected) << c.text;
}

TEST(CommandLineBreaks, OffsetsMapBackToTheOriginal) {
  const std::string original = "select\r\n a,\r\n 'x\r\ny' from\rdual";
  const std::string converted = NormalizeLineBreaks(original);
  ASSERT_EQ(converted, "select\n a,\n 'x\r\ny' from\ndual");
  for (size_t i = 0; i < converted.size(); ++i) {
    const int back = MapNormalizedOffset(original, static_cast<int>(i));
    ASSERT_GE(back, 0);
    ASSERT_LT(static_cast<size_t>(back), original.size());
    const char expected = original[static_cast<size_t>(back)] == '\r' && converted[i] == '\n'
                              ? '\n'
                              : original[static_cast<size_t>(back)];
    EXPECT_EQ(converted[i], expected) << "offset " << i;
  }
  EXPECT_EQ(MapNormalizedOffset(original, 7), 8) << "the blank after the first CR LF";
  EXPECT_EQ(MapNormalizedOffset(original, static_cast<int>(converted.size())),
            static_cast<int>(original.size()));
  EXPECT_EQ(MapNormalizedOffset(original, 0), 0);
}

TEST(CommandProps, StartValuesAndCodes) {
  TOCICommand cmd;
  TPropValue v;
  cmd.GetProp(prScanParams, v);
  EXPECT_EQ(v, TPropValue(true));
  cmd.GetProp(prSQLType, v);
  EXPECT_EQ(v, TPropValue(int32_t{0}));
  cmd.GetProp(prRowsProcessed, v);
  EXPECT_EQ(v, TPropValue(int32_t{0}));
  cmd.GetProp(prErrorOffset, v);
  EXPECT_EQ(v, TPropValue(int32_t{0}));
  cmd.GetProp(prFetchRowId, v);
  EXPECT_EQ(v, TPropValue(false));
  EXPECT_TRUE(cmd.GetAutoCommit());
  EXPECT_FALSE(cmd.NonBlocking());
  EXPECT_EQ(cmd.GetCursorState(), csInactive);
  EXPECT_TRUE(cmd.NativeCursor());
  EXPECT_FALSE(cmd.GetPrepared());

  cmd.SetProp(prAutoCommit, false);
  EXPECT_FALSE(cmd.GetAutoCommit());
  cmd.SetProp(prFetchRowId, true);
  cmd.GetProp(prFetchRowId, v);
  EXPECT_EQ(v, TPropValue(true));
  cmd.SetProp(prScrollableCursor, true);
  EXPECT_TRUE(cmd.GetCursor()->Scrollable);
  EXPECT_TRUE(cmd.SetProp(prCacheLobs, true));
  EXPECT_TRUE(cmd.SetProp(prNonBlocking, false));
  EXPECT_EQ(ErrorText([&] { cmd.SetProp(prNonBlocking, true); }),
            "Non-blocking execution is not supported");
  EXPECT_FALSE(cmd.NonBlocking());
}

TEST(CommandProps, StringOptionsAreSetByTheirCodesAndReadByTheirGetters) {
  struct Case {
    int code;
    int number;
    bool (TOCICommand::*get)() const;
  };
  const Case cases[] = {
      {prFieldsAsString, 59, &TOCICommand::FieldsAsString},
      {prRawAsString, 73, &TOCICommand::RawAsString},
      {prNumberAsString, 74, &TOCICommand::NumberAsString},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.code, c.number);
    TOCICommand cmd;
    for (const Case& each : cases) EXPECT_FALSE((cmd.*each.get)()) << each.number << " starts off";
    EXPECT_TRUE(cmd.SetProp(c.code, true));
    for (const Case& each : cases)
      EXPECT_EQ((cmd.*each.get)(), each.code == c.code) << c.number << " sets only its own option";
    EXPECT_THROW(cmd.SetProp(c.code, std::string("yes")), EAssertionFailed) << c.number;
    EXPECT_TRUE((cmd.*c.get)()) << "a refused value changes nothing";
    EXPECT_TRUE(cmd.SetProp(c.code, false));
    EXPECT_FALSE((cmd.*c.get)()) << c.number;
  }
}

TEST(CommandProps, UnknownCodesAreAssertionFailures) {
  TOCICommand cmd;
  for (int code : {0, 1, 6, 14, 28, 51, 58, 99}) {
    EXPECT_THROW(cmd.SetProp(code, true), EAssertionFailed) << code;
    TPropValue v;
    EXPECT_THROW(cmd.GetProp(code, v), EAssertionFailed) << code;
  }
  TPropValue v;
  for (int setOnly : {prAutoCommit, prNonBlocking, prScrollableCursor, prCacheLobs}) {
    EXPECT_THAT([&] { cmd.GetProp(setOnly, v); },
                Throws<EAssertionFailed>(
                    Property(&EAssertionFailed::Message, std::to_string(setOnly) + " (CRAccess)")))
        << setOnly << " can only be set";
  }
  EXPECT_THROW(cmd.SetProp(prAutoCommit, std::string("yes")), EAssertionFailed);
  EXPECT_TRUE(cmd.GetProp(prCommandInternal, v));
  EXPECT_EQ(v, TPropValue(false));
}

TEST(CommandParams, SetSQLScansParameters) {
  TOCICommand cmd;
  cmd.SetSQL("select * from T where a = :p1 and b = :P1 and c = :\"Q x\" -- :x");
  ASSERT_EQ(cmd.Params().size(), 2u);
  EXPECT_EQ(cmd.GetParam(0)->Name, "p1");
  EXPECT_EQ(cmd.GetParam(1)->Name, "Q x");
  EXPECT_TRUE(static_cast<TOraParamDesc*>(cmd.GetParam(1))->IsQuoted);
  EXPECT_FALSE(static_cast<TOraParamDesc*>(cmd.GetParam(0))->IsQuoted);
  EXPECT_EQ(cmd.FindParam("P1"), cmd.GetParam(0));
  EXPECT_EQ(cmd.FindParam("x"), nullptr);

  for (const char* exporter : {"ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'",
                               "ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '",
                               "select table_name from user_tables order by 1 ",
                               "select count(*) cnt from EMP", "select * from EMP order by 1"}) {
    cmd.SetSQL(exporter);
    EXPECT_TRUE(cmd.Params().empty()) << exporter;
  }
}

TEST(CommandParams, ScanFlagOffKeepsTheListAndSwitchingOnRescans) {
  TOCICommand cmd;
  cmd.SetSQL("select :a from dual");
  ASSERT_EQ(cmd.Params().size(), 1u);
  cmd.SetProp(prScanParams, false);
  cmd.SetSQL("select :b, :c from dual");
  ASSERT_EQ(cmd.Params().size(), 1u);
  EXPECT_EQ(cmd.GetParam(0)->Name, "a");
  cmd.SetProp(prScanParams, true);
  ASSERT_EQ(cmd.Params().size(), 2u);
  EXPECT_EQ(cmd.GetParam(0)->Name, "b");
  EXPECT_EQ(cmd.GetParam(1)->Name, "c");
}

TEST(CommandParams, UnknownCharacterRaisesFromSetSQLWithAnEmptyList) {
  TOCICommand cmd;
  cmd.SetSQL("select :a from dual");
  EXPECT_EQ(ErrorText([&] { cmd.SetSQL("select :b\f from dual"); }),
            "Parser: The unknown symbol '\f'  $000C");
  EXPECT_TRUE(cmd.Params().empty());
  EXPECT_EQ(cmd.GetSQL(), "select :b\f from dual");
}

TEST(CommandChecks, NeedsAConnectedSessionAndAnActiveCursor) {
  TOCICommand cmd;
  cmd.SetSQL("select 1 from dual");
  EXPECT_EQ(ErrorText([&] { cmd.Prepare(); }), "Session is not defined");
  EXPECT_EQ(ErrorText([&] { cmd.Execute(1); }), "Session is not defined");
  EXPECT_FALSE(cmd.Executing());
  TOCIConnection connection;
  cmd.SetConnection(&connection);
  EXPECT_EQ(cmd.GetConnection(), &connection);
  EXPECT_EQ(ErrorText([&] { cmd.Prepare(); }), "Session is not connected");
  EXPECT_EQ(ErrorText([&] { cmd.Finish(); }), "Cursor must be opened");
  EXPECT_EQ(ErrorText([&] { cmd.Unprepare(); }), "Cursor must be opened");
  EXPECT_EQ(ErrorText([&] { cmd.CheckRowsReturn(); }), "SQL statement doesn't return rows");
  EXPECT_EQ(ErrorText([&] { cmd.CheckInactive(); }), "<no error>");
  cmd.SetCursorState(csPrepared);
  EXPECT_EQ(ErrorText([&] { cmd.CheckInactive(); }), "Cursor has been opened");
  cmd.SetCursorState(csInactive);
  EXPECT_EQ(cmd.GetCursorState(), csInactive);
}

TEST(CommandChecks, ArrayParametersAreRefused) {
  TOCICommand cmd;
  EXPECT_EQ(ErrorText([&] { cmd.SetArrayLength(1); }), "<no error>");
  EXPECT_EQ(ErrorText([&] { cmd.SetArrayLength(2); }), "Array parameters are not supported");
}

TEST(CommandChecks, AfterExecuteHookSeesAFailedExecution) {
  TOCICommand cmd;
  std::vector<bool> calls;
  cmd.AfterExecuteHook = [&](bool success) { calls.push_back(success); };
  TOCIConnection connection;
  cmd.SetConnection(&connection);
  cmd.SetSQL("begin null; end;");
  EXPECT_THROW(cmd.Execute(1), Exception);
  EXPECT_EQ(calls, std::vector<bool>{false});
  EXPECT_FALSE(cmd.Executing());
}

TEST(CommandCursor, AttachedCursorIsSharedAndNoneGivesBackTheNativeOne) {
  TOCICommand a;
  TOCICommand b;
  const TOraCursorRef native = b.GetCursor();
  EXPECT_EQ(native->RefCount(), 2);  // the command and this test
  b.SetCursor(a.GetCursor());
  EXPECT_FALSE(b.NativeCursor());
  EXPECT_EQ(b.GetCursor(), a.GetCursor());
  EXPECT_FALSE(b.RowsReturn());
  a.GetCursor()->State = csExecuted;
  EXPECT_TRUE(b.RowsReturn()) << "an executed attached cursor returns rows";
  b.Finish();  // no connection: the shared cursor is only marked inactive
  EXPECT_EQ(a.GetCursor()->State, csInactive);
  b.SetCursor(nullptr);
  EXPECT_TRUE(b.NativeCursor());
  EXPECT_EQ(b.GetCursor(), native);
}

TEST(CommandCursor, CanFetchFromExecutedToFetchingAll) {
  TOraCursor cursor;
  const std::vector<std::pair<TCursorState, bool>> cases = {
      {csInactive, false},   {csOpen, false},      {csParsed, false},  {csPrepared, false},
      {csBound, false},      {csExecuting, false}, {csExecuted, true}, {csFetching, true},
      {csFetchingAll, true}, {csCanceled, false}};
  for (const auto& [state, can] : cases) {
    cursor.State = state;
    EXPECT_EQ(cursor.CanFetch(), can) << static_cast<int>(state);
  }
  cursor.State = csInactive;
  EXPECT_EQ(cursor.RefCount(), 0) << "not held by a shared pointer";
}

}  // namespace
}  // namespace tarnwick
