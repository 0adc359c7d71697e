// The import's field layout, read once from the analysis lists, and the value-text settings that
// every import is made with, whatever the front end did before it.
#include <gtest/gtest.h>

#include "app/ExportSession.h"
#include "app/tests/export/ExportFakes.h"
#include "base/Exception.h"
#include "dataset/text/FormatSettings.h"

namespace tarnwick::export_test {
namespace {

TEST(ImportLayoutTest, ReadsEachFieldsTextsOnce) {
  struct Case {
    std::string type, length, decimals;
    char wantType;
    int32_t wantLength, wantDecimals;
  };
  const std::vector<Case> cases = {
      {"N", "6", "0", 'N', 6, 0},
      {"C", "30", "", 'C', 30, 0},
      {"D", "8", "", 'D', 8, 0},
      {"N", "39", "15", 'N', 39, 15},
      {"", "22", "", '\0', 22, 0},  // a type that the analysis refused
      {"Number", "12", "2", 'N', 12, 2},
      {"N", "007", "02", 'N', 7, 2},
      {"C", "2147483647", "", 'C', 2147483647, 0},
      // Texts that are no whole decimal number of 32 bits count 0.
      {"N", "", "", 'N', 0, 0},
      {"N", "abc", "x", 'N', 0, 0},
      {"N", " 6", "2 ", 'N', 0, 0},
      {"N", "+6", "+2", 'N', 0, 0},
      {"N", "6.0", "2,0", 'N', 0, 0},
      {"N", "0x10", "1e1", 'N', 0, 0},
      {"C", "2147483648", "", 'C', 0, 0},
      {"C", "\xD9\xA3", "", 'C', 0, 0},  // an Arabic-Indic digit three
      // A sign stays: the DBF writer refuses the field.
      {"N", "-1", "-2", 'N', -1, -2},
  };
  std::vector<std::string> oraNames, dbfNames, types, lengths, decimals;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    oraNames.push_back("COLUMN_" + std::to_string(i));
    dbfNames.push_back("F" + std::to_string(i));
    types.push_back(cases[i].type);
    lengths.push_back(cases[i].length);
    decimals.push_back(cases[i].decimals);
  }
  const std::vector<TImportField> layout =
      ImportLayout(static_cast<int>(cases.size()), oraNames, dbfNames, types, lengths, decimals);
  ASSERT_EQ(layout.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE("[" + c.type + "] [" + c.length + "] [" + c.decimals + "]");
    const TImportField& field = layout[i];
    EXPECT_EQ(field.Column, i);
    EXPECT_EQ(field.OraName, oraNames[i]);
    EXPECT_EQ(field.DbfName, dbfNames[i]);
    EXPECT_EQ(field.Type, c.wantType);
    EXPECT_EQ(field.Length, c.wantLength);
    EXPECT_EQ(field.Decimals, c.wantDecimals);
    EXPECT_EQ(field.LengthText, c.length) << "dbf_append gets the text as the analysis left it";
  }
}

TEST(ImportLayoutTest, TakesTheFirstColumnsAndRefusesListsTooShort) {
  const std::vector<std::string> two = {"A", "B"};
  const std::vector<std::string> one = {"A"};
  const std::vector<std::string> types = {"C", "N"};
  const std::vector<std::string> lengths = {"10", "5"};
  const std::vector<std::string> decimals = {"", "0"};

  const std::vector<TImportField> first = ImportLayout(1, two, two, types, lengths, decimals);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].OraName, "A");
  EXPECT_EQ(first[0].Length, 10);
  EXPECT_TRUE(ImportLayout(0, {}, {}, {}, {}, {}).empty());

  struct Case {
    const char* what;
    int columns;
    int shortList;  // the list given with one entry, -1 for none
  };
  const Case cases[] = {
      {"negative count", -1, -1}, {"count above the lists", 3, -1},
      {"OraNames", 2, 0},         {"DbfNames", 2, 1},
      {"DbfTypes", 2, 2},         {"DbfLengths", 2, 3},
      {"DbfDecimals", 2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> lists[] = {two, two, types, lengths, decimals};
    std::vector<std::string> given[5];
    for (int i = 0; i < 5; ++i) given[i] = i == c.shortList ? one : lists[i];
    EXPECT_THROW(ImportLayout(c.columns, given[0], given[1], given[2], given[3], given[4]),
                 Exception);
  }
}

const std::vector<TColumn> kSample = {{"ID", "NUMBER", 22, 5, 0},
                                      {"BORN", "DATE", 7, std::nullopt, std::nullopt},
                                      {"PRICE", "NUMBER", 22, 10, 2}};

// The settings that some other part of the process (or a front end of its own) left.
void SpoilFormatSettings() {
  FormatSettings().DateSeparator = '/';
  FormatSettings().ShortDateFormat = "m/d/yyyy";
  FormatSettings().DecimalSeparator = ',';
}

// No front end sets anything up here: the session's own settings make the values right.
TEST(ImportFormatsTest, AnImportWithoutFrontEndSetUpWritesDatesAndNumbersRight) {
  enum class When { BeforeTheSessionIsMade, BeforeTheImport };
  for (When when : {When::BeforeTheSessionIsMade, When::BeforeTheImport}) {
    SCOPED_TRACE(when == When::BeforeTheSessionIsMade ? "before the session is made"
                                                      : "before the import");
    testsupport::ScratchDir dir{"tarnwick-formats"};
    if (when == When::BeforeTheSessionIsMade) SpoilFormatSettings();
    auto database = std::make_unique<TScriptedDatabase>();
    TScriptedDatabase& db = *database;
    TExportSession session(dir.File("Tarnwick.INI"), std::move(database));
    session.Now = [] { return EncodeDateTime(2008, 8, 15, 14, 30, 5, 0); };
    db.SetTables({"SAMPLE"});
    db.AddTable("SAMPLE", kSample,
                {{int32_t{1}, TDate{EncodeDateTime(2008, 8, 15, 14, 30, 5, 0)}, 123.45},
                 {int32_t{2}, TDate{EncodeDateTime(1999, 12, 31, 0, 0, 0, 0)}, -0.5}});
    TRecordingView view;
    ASSERT_TRUE(session.Connect(view, "demo/demo@demo"));
    session.Analyse(view, "SAMPLE");
    ASSERT_TRUE(session.Analysed());
    if (when == When::BeforeTheImport) SpoilFormatSettings();
    view = TRecordingView();

    const std::string path = dir.File("SAMPLE.dbf");
    ASSERT_EQ(session.Import(view, path, "SAMPLE"), TImportResult::Done);
    EXPECT_EQ(view.memo[1], "Начало импорта: 15.08.2008 14:30:05");
    const TDbfFile file = ReadDbf(path);
    ASSERT_EQ(file.records.size(), 2u);
    EXPECT_EQ(file.records[0], " 1     20080815123.45      ");
    EXPECT_EQ(file.records[1], " 2     19991231-0.5        ");
    EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
    EXPECT_EQ(FormatSettings().DateSeparator, '.');
  }
}

// A length that the layout reads as 0 reaches the DBF writer, which refuses the field: the
// import says that it cannot create its file, and nothing is read.
TEST(ImportFormatsTest, ALengthTextThatIsNoNumberStopsTheImportAtTheFile) {
  testsupport::ScratchDir dir{"tarnwick-layout"};
  auto database = std::make_unique<TScriptedDatabase>();
  TScriptedDatabase& db = *database;
  TExportSession session(dir.File("Tarnwick.INI"), std::move(database));
  db.SetTables({"SAMPLE"});
  db.AddTable("SAMPLE", kSample, {{int32_t{1}, TValue(), 1.0}});
  TRecordingView view;
  ASSERT_TRUE(session.Connect(view, "demo/demo@demo"));
  session.Analyse(view, "SAMPLE");
  ASSERT_TRUE(session.Analysed());
  session.DbfLengths[2] = "12 ";
  view = TRecordingView();
  db.calls.clear();

  const std::string path = dir.File("SAMPLE.dbf");
  EXPECT_EQ(session.Import(view, path, "SAMPLE"), TImportResult::CannotCreate);
  EXPECT_EQ(view.calls, (std::vector<std::string>{"message: Не удалось создать файл " + path +
                                                  "\n! Дальнейшая обработка невозможна!"}));
  EXPECT_TRUE(db.calls.empty()) << "the table is not read";
}

}  // namespace
}  // namespace tarnwick::export_test
