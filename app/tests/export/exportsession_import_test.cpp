// The import run against scripted rows: the file written byte by byte, the log, the gauge, the
// questions and messages, and every way the run can fail.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "app/ExportSession.h"
#include "app/tests/export/ExportFakes.h"
#include "dataset/text/FormatSettings.h"
#include "dbf/cp866.h"
#include "dbf/dbf.h"

namespace tarnwick::export_test {
namespace {

using ::testing::Property;
using ::testing::Throws;

const std::vector<TColumn> kSample = {{"ID", "NUMBER", 22, 5, 0},
                                      {"NAME", "VARCHAR2", 30, std::nullopt, std::nullopt},
                                      {"BORN", "DATE", 7, std::nullopt, std::nullopt},
                                      {"PRICE", "NUMBER", 22, 10, 2}};

TDate Date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return {EncodeDateTime(y, m, d, h, n, s, 0)};
}

// Text in code page 866, as the file holds it.
std::string Cp866(const std::string& text) {
  return cp866_text(text);
}

// Restores the DBF writer's own file calls when a test that replaced them ends.
struct HooksGuard {
  ~HooksGuard() { dbf_set_hooks({}); }
};

class ImportTest : public ::testing::Test {
 protected:
  ImportTest() {
    auto database = std::make_unique<TScriptedDatabase>();
    db = database.get();
    session = std::make_unique<TExportSession>(dir.File("Tarnwick.INI"), std::move(database));
    session->Now = [this] { return now; };
    path = dir.File("SAMPLE.dbf");
  }

  // Connected and the table analysed; the view starts empty.
  void Analyse(const std::string& table, const std::vector<TColumn>& columns,
               const std::vector<std::vector<TValue>>& rows,
               std::optional<int32_t> count = std::nullopt) {
    db->SetTables({table});
    db->AddTable(table, columns, rows, count);
    session->Connect(view, "demo/demo@demo");
    session->Analyse(view, table);
    ASSERT_TRUE(session->Analysed()) << (view.messages.empty() ? "" : view.messages[0]);
    view = TRecordingView();
    db->calls.clear();
  }

  testsupport::ScratchDir dir{"tarnwick-export"};
  TScriptedDatabase* db = nullptr;
  std::unique_ptr<TExportSession> session;
  TRecordingView view;
  TDateTime now = EncodeDateTime(2008, 8, 15, 14, 30, 5, 0);
  std::string path;
};

TEST_F(ImportTest, WritesEveryRowWithLogAndGauge) {
  Analyse("SAMPLE", kSample,
          {{int32_t{-12345}, std::string("Иванов Иван"), Date(2008, 8, 15, 14, 30, 5), 123.45},
           {int32_t{2}, TValue(), TValue(), TValue()},
           {int32_t{3}, std::string("x"), Date(2008, 1, 1), 0.5}});
  session->Import(view, path, "SAMPLE");

  EXPECT_EQ(view.calls, (std::vector<std::string>{"memo: Файл " + path + " создан!",
                                                  "memo: Начало импорта: 15.08.2008 14:30:05",
                                                  "gauge: 33", "gauge: 66", "gauge: 100",
                                                  "memo: Конец импорта: 15.08.2008 14:30:05"}));
  EXPECT_EQ(db->calls,
            (std::vector<std::string>{"open unidirectional select * from SAMPLE order by 1"}));
  EXPECT_EQ(FormatSettings().ShortDateFormat, "yyyymmdd");

  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.codePageMark, 0x65);
  EXPECT_EQ(
      file.fields,
      (std::vector<TDbfField>{
          {"ID", 'N', 6, 0}, {"NAME", 'C', 30, 0}, {"BORN", 'D', 8, 0}, {"PRICE", 'N', 12, 2}}));
  EXPECT_EQ(file.count, 3u);
  EXPECT_EQ(file.fileSize, file.headerLength + 3 * file.recordLength);
  ASSERT_EQ(file.records.size(), 3u);
  EXPECT_EQ(file.records[0],
            " -12345" + Cp866("Иванов Иван") + std::string(19, ' ') + "20080815" + "123.45      ");
  EXPECT_EQ(file.records[1],
            " 2     " + std::string(30, ' ') + std::string(8, ' ') + std::string(12, ' '));
  EXPECT_EQ(file.records[2], " 3     x" + std::string(29, ' ') + "20080101" + "0.5         ");
}

TEST_F(ImportTest, NumberFieldsHoldTheirWholeText) {
  Analyse("NUMS",
          {{"N5", "NUMBER", 22, 5, 0},
           {"N52", "NUMBER", 22, 5, 2},
           {"PLAIN", "NUMBER", 22, std::nullopt, std::nullopt}},
          {{int32_t{-12345}, -123.45, 123456789012345678.0},
           {int32_t{99999}, 0.01, 0.00001},
           {int32_t{0}, 999.99, -1.23456789012345e-130}});
  session->Import(view, path, "NUMS");
  const TDbfFile file = ReadDbf(path);
  // The floating NUMBER's texts hold points and exponents: its field has decimals, and room
  // for every integer of 38 digits.
  EXPECT_EQ(file.fields, (std::vector<TDbfField>{
                             {"N5", 'N', 6, 0}, {"N52", 'N', 7, 2}, {"PLAIN", 'N', 39, 15}}));
  ASSERT_EQ(file.records.size(), 3u);
  EXPECT_EQ(file.records[0], " -12345-123.451.23456789012346E17" + std::string(20, ' '));
  EXPECT_EQ(file.records[1], " 99999 0.01   1E-5" + std::string(35, ' '));
  EXPECT_EQ(file.records[2], " 0     999.99 -1.23456789012345E-130" + std::string(17, ' '));
}

// The import reads its rows with exact numbers, and only its rows: the table list, the dictionary
// and the count keep their doubles. A number whose exact text does not fit its field is rounded
// to the digits that fit and counted, per field, in a line after the end line.
TEST_F(ImportTest, NumbersThatDoNotFitAreRoundedAndCountedPerField) {
  const std::vector<TColumn> columns = {{"ID", "NUMBER", 22, 3, 0},
                                        {"N20", "NUMBER", 22, 20, 0},
                                        {"M", "NUMBER", 22, 20, 2},
                                        {"PLAIN", "NUMBER", 22, std::nullopt, std::nullopt},
                                        {"PLAIN2", "NUMBER", 22, std::nullopt, std::nullopt}};
  db->SetTables({"WIDE"});
  db->AddTable(
      "WIDE", columns,
      {{int32_t{1}, std::string("-99999999999999999999"), std::string("-123456789012345678.12"),
        std::string("0.3333333333333333333333333333333333333333"), std::string("1E-130")},
       {int32_t{2}, std::string("1"), std::string("0.5"),
        std::string("-12345678901234567890123456789012345678"),
        std::string("-0.6666666666666666666666666666666666666667")},
       {int32_t{3}, TValue(), TValue(), std::string("1234567890123456789012345678901234567890123"),
        std::string("0")}});
  session->Connect(view, "demo/demo@demo");
  session->Analyse(view, "WIDE");
  ASSERT_TRUE(session->Analysed());
  EXPECT_TRUE(db->exactOpens.empty());
  view = TRecordingView();
  session->Import(view, path, "WIDE");
  EXPECT_EQ(db->exactOpens, (std::vector<std::string>{"select * from WIDE order by 1"}));
  const std::string line =
      "Чисел, записанных в файл округленными (не поместились в поле целиком): 3; по полям: "
      "PLAIN - 2, PLAIN2 - 1";
  ASSERT_GE(view.memo.size(), 2u);
  EXPECT_EQ(view.memo[view.memo.size() - 2], "Конец импорта: 15.08.2008 14:30:05");
  EXPECT_EQ(view.memo.back(), line);
  EXPECT_EQ(session->RoundingLine, line);

  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.fields, (std::vector<TDbfField>{{"ID", 'N', 4, 0},
                                                 {"N20", 'N', 21, 0},
                                                 {"M", 'N', 22, 2},
                                                 {"PLAIN", 'N', 39, 15},
                                                 {"PLAIN2", 'N', 39, 15}}));
  ASSERT_EQ(file.records.size(), 3u);
  auto field = [&](std::size_t record, std::size_t from, std::size_t length) {
    std::string value = file.records[record].substr(from, length);
    value.erase(value.find_last_not_of(' ') + 1);
    return value;
  };
  EXPECT_EQ(field(0, 5, 21), "-99999999999999999999");
  EXPECT_EQ(field(0, 26, 22), "-123456789012345678.12");
  EXPECT_EQ(field(0, 48, 39), "0." + std::string(37, '3'));
  EXPECT_EQ(field(0, 87, 39), "1E-130");
  EXPECT_EQ(field(1, 48, 39), "-12345678901234567890123456789012345678");
  EXPECT_EQ(field(1, 87, 39), "-0." + std::string(35, '6') + "7");
  EXPECT_EQ(field(2, 48, 39), "1.2345678901234567890123456789012346E42");
  EXPECT_EQ(field(2, 87, 39), "0");

  // A run whose numbers all fit says nothing, and forgets the line of the run before.
  db->AddTable("WIDE", columns,
               {{int32_t{1}, std::string("1"), std::string("0.25"), std::string("0.5"),
                 std::string("-1E125")}});
  view = TRecordingView();
  view.answers = {true};
  session->Import(view, path, "WIDE");
  EXPECT_EQ(view.memo.back(), "Конец импорта: 15.08.2008 14:30:05");
  EXPECT_EQ(session->RoundingLine, "");
}

TEST_F(ImportTest, StartAndEndLinesLoseTheTimeAtMidnight) {
  Analyse("SAMPLE", kSample, {});
  now = EncodeDateTime(2008, 8, 15, 0, 0, 0, 0);
  session->Import(view, path, "SAMPLE");
  EXPECT_EQ(view.memo,
            (std::vector<std::string>{"Файл " + path + " создан!", "Начало импорта: 15.08.2008",
                                      "Конец импорта: 15.08.2008"}));
  EXPECT_TRUE(view.gauge.empty()) << "an empty table leaves the gauge as it was";
  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.count, 0u);
  EXPECT_EQ(file.fileSize, file.headerLength);
}

TEST_F(ImportTest, NeedsAnAcceptedAnalysis) {
  EXPECT_THAT([&] { session->Import(view, path, "SAMPLE"); },
              Throws<Exception>(
                  Property(&Exception::Message,
                           "The import needs a successful structure analysis of the table first")));
  EXPECT_TRUE(view.calls.empty());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ImportTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysYes) {
  Analyse("SAMPLE", kSample, {{int32_t{1}, std::string("a"), TValue(), 1.0}});
  const std::string question = "question: Файл сущесвует! | Файл " + path +
                               " уже существует! Пересоздать его (YES) или прекратить обработку? ";
  std::ofstream(path) << "old contents";

  view.answers = {false};
  session->Import(view, path, "SAMPLE");
  EXPECT_EQ(view.calls, (std::vector<std::string>{question}));
  EXPECT_EQ(std::filesystem::file_size(path), 12u) << "the file is left alone";

  view = TRecordingView();
  view.answers = {true};
  session->Import(view, path, "SAMPLE");
  ASSERT_GE(view.calls.size(), 3u);
  EXPECT_EQ(view.calls[0], question);
  EXPECT_EQ(view.calls[1], "memo: Файл " + path + " удален!");
  EXPECT_EQ(view.calls[2], "memo: Файл " + path + " создан!");
  EXPECT_EQ(ReadDbf(path).count, 1u);
}

TEST_F(ImportTest, FileThatCannotBeCreatedIsReported) {
  Analyse("SAMPLE", kSample, {{int32_t{1}, std::string("a"), TValue(), 1.0}});
  struct Case {
    const char* title;
    std::string path;
  };
  std::filesystem::create_directory(dir.File("folder.dbf"));
  const Case cases[] = {{"missing folder", dir.File("missing/SAMPLE.dbf")},
                        {"a folder in the way", dir.File("folder.dbf")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    view = TRecordingView();
    FormatSettings().ShortDateFormat = "yyyymmdd";
    session->Import(view, c.path, "SAMPLE");
    EXPECT_EQ(view.calls, (std::vector<std::string>{"message: Не удалось создать файл " + c.path +
                                                    "\n! Дальнейшая обработка невозможна!"}));
    EXPECT_EQ(FormatSettings().ShortDateFormat, "dd.mm.yyyy");
    EXPECT_TRUE(db->calls.empty()) << "the table is not read";
  }
}

TEST_F(ImportTest, FileThatCannotBeOpenedAgainIsReported) {
  Analyse("SAMPLE", kSample, {{int32_t{1}, std::string("a"), TValue(), 1.0}});
  HooksGuard guard;
  DbfFileHooks hooks;
  hooks.open = [](const char* file, int flags, mode_t mode) {
    // The new file is made with O_CREAT or as an unnamed file (O_TMPFILE); opening it again fails.
    if ((flags & O_CREAT) == 0 && (flags & O_TMPFILE) != O_TMPFILE) {
      errno = EACCES;
      return -1;
    }
    return ::open(file, flags, mode);
  };
  dbf_set_hooks(hooks);
  session->Import(view, path, "SAMPLE");
  EXPECT_EQ(view.calls,
            (std::vector<std::string>{"memo: Файл " + path + " создан!",
                                      "message: Не удалось создать инициализировать файл " + path +
                                          "\n! Дальнейшая обработка невозможна!"}));
  EXPECT_TRUE(db->calls.empty());
}

TEST_F(ImportTest, WriteErrorStopsTheRunAndKeepsTheRecordsBefore) {
  Analyse("SAMPLE", kSample,
          {{int32_t{1}, std::string("a"), TValue(), 1.0},
           {int32_t{2}, std::string("b"), TValue(), 2.0},
           {int32_t{3}, std::string("c"), TValue(), 3.0}});
  HooksGuard guard;
  DbfFileHooks hooks;
  int records = 0;
  hooks.pwrite = [&records](int fd, const void* buffer, size_t count, off_t offset) -> ssize_t {
    // The second record finds the disk full.
    if (count > 4 && count < 100 && ++records == 2) {
      errno = ENOSPC;
      return -1;
    }
    return ::pwrite(fd, buffer, count, offset);
  };
  dbf_set_hooks(hooks);
  session->Import(view, path, "SAMPLE");
  EXPECT_EQ(view.calls, (std::vector<std::string>{"memo: Файл " + path + " создан!",
                                                  "memo: Начало импорта: 15.08.2008 14:30:05",
                                                  "gauge: 33", "message: Ошибки записи в файл!"}));
  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.count, 1u);
  EXPECT_EQ(file.fileSize, file.headerLength + file.recordLength);
  EXPECT_EQ(dbf_append({"1", "a", "", "1"}, {"6", "30", "8", "12"}), -1) << "the table was closed";
}

TEST_F(ImportTest, DatabaseErrorMidwayLeavesAClosedConsistentFile) {
  Analyse("SAMPLE", kSample,
          {{int32_t{1}, std::string("a"), TValue(), 1.0},
           {int32_t{2}, std::string("café"), TValue(), 2.0},
           {int32_t{3}, std::string("c"), TValue(), 3.0}});
  db->results["select * from SAMPLE order by 1"].failAfterRows = 2;
  EXPECT_THAT([&] { session->Import(view, path, "SAMPLE"); },
              Throws<EOraError>(Property(&EOraError::ErrorCode, 3113)));
  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.count, 2u);
  EXPECT_EQ(file.fileSize, file.headerLength + 2 * file.recordLength);
  EXPECT_EQ(dbf_append({"1", "a", "", "1"}, {"6", "30", "8", "12"}), -1) << "the table was closed";
  EXPECT_EQ(view.memo.back(),
            "Значений с символами, которых нет в кодовой странице 866 (записаны в файл как "
            "\"?\"): 1; по полям: NAME - 1")
      << "what was written is still accounted for";
  EXPECT_TRUE(view.Calls("memo: Конец").empty());
}

// The analysis makes every field hold every value of its column; a value that does not fit (the
// table changed after the analysis) stops the import before its record, naming it, instead of
// being cut or written where readers cannot read it.
TEST_F(ImportTest, ValuesThatDoNotFitTheirFieldStopTheImport) {
  auto Repeated = [](const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
  };
  struct Case {
    std::size_t column;
    TValue value;
    std::string error;  // what the message says of it; empty when it fits
  };
  const Case cases[] = {
      {1, std::string(31, 'x'),
       "NAME in row 2 does not fit its DBF field NAME (C 30): 31 characters"},
      {1, std::string(30, 'x'), ""},
      {1, Repeated("ж", 30), ""},
      {1, Repeated("ж", 31), "NAME in row 2 does not fit its DBF field NAME (C 30): 31 characters"},
      {0, std::string("12.5"),
       "ID in row 2 does not fit its DBF field ID (N 6.0): \"12.5\" is no number of that field"},
      {0, std::string("1E5"),
       "ID in row 2 does not fit its DBF field ID (N 6.0): \"1E5\" is no number of that field"},
      {0, std::string("1234567"),
       "ID in row 2 does not fit its DBF field ID (N 6.0): \"1234567\" has 7 characters"},
      {0, std::string("-12345"), ""},
      {3, std::string("abc"),
       "PRICE in row 2 does not fit its DBF field PRICE (N 12.2): \"abc\" is no number of that "
       "field"},
      {3, std::string("-1.5E-5"), ""},
      {3, std::string("1234567890.123"),
       "PRICE in row 2 does not fit its DBF field PRICE (N 12.2): \"1234567890.123\" has 14 "
       "characters"},
      {2, std::string("02.03.2020"),
       "BORN in row 2 does not fit its DBF field BORN (D 8): \"02.03.2020\" is no date YYYYMMDD"},
      {2, std::string("20200302 13:14:15"), ""},
      {2, std::string(50, '7'),
       "BORN in row 2 does not fit its DBF field BORN (D 8): \"" + std::string(40, '7') +
           "...\" is no date YYYYMMDD"},
  };
  for (const Case& c : cases) {
    std::vector<TValue> second = {int32_t{2}, std::string("b"), TValue(), 2.0};
    second[c.column] = c.value;
    Analyse("SAMPLE", kSample, {{int32_t{1}, std::string("a"), TValue(), 1.0}, second});
    view.answers = {true};
    std::string error;
    try {
      EXPECT_EQ(session->Import(view, path, "SAMPLE"), TImportResult::Done);
    } catch (const EDatabaseError& e) {
      error = e.Message();
    }
    const TDbfFile file = ReadDbf(path);
    if (c.error.empty()) {
      EXPECT_EQ(error, "") << c.column;
      EXPECT_EQ(file.count, 2u) << c.column;
      continue;
    }
    EXPECT_EQ(error, "the value of column " + c.error +
                         "; the table does not hold what its structure said (it changed after "
                         "the analysis, or the dictionary describes it as it was): read the "
                         "structure again");
    EXPECT_EQ(file.count, 1u) << c.error;
    EXPECT_EQ(file.fileSize, file.headerLength + file.recordLength) << c.error;
    EXPECT_TRUE(view.Calls("memo: Конец").empty()) << c.error;
    EXPECT_EQ(dbf_append({"1", "a", "", "1"}, {"6", "30", "8", "12"}), -1)
        << "the table was closed";
  }
}

TEST_F(ImportTest, GaugeFollowsTheCountOfTheAnalysis) {
  struct Case {
    int32_t count;
    std::vector<int> gauge;
  };
  const Case cases[] = {
      {3, {33, 66, 100}}, {0, {100, 100, 100}}, {2, {50, 100, 100}}, {1000, {0, 0, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    Analyse("SAMPLE", kSample,
            {{int32_t{1}, TValue(), TValue(), TValue()},
             {int32_t{2}, TValue(), TValue(), TValue()},
             {int32_t{3}, TValue(), TValue(), TValue()}},
            c.count);
    session->Import(view, path, "SAMPLE");
    EXPECT_EQ(view.gauge, c.gauge);
    EXPECT_EQ(ReadDbf(path).count, 3u);
    std::filesystem::remove(path);
  }
}

TEST_F(ImportTest, CharactersOutsideCodePage866AreCountedPerField) {
  Analyse("PEOPLE",
          {{"ID", "NUMBER", 22, 3, 0},
           {"NAME", "VARCHAR2", 10, std::nullopt, std::nullopt},
           {"CITY_OF_BIRTH", "VARCHAR2", 20, std::nullopt, std::nullopt}},
          {{int32_t{1}, std::string("café €"), std::string("Zürich")},
           {int32_t{2}, std::string("Ёжиков «Ст"), std::string("Москва")},
           // a value that fills its field to the last character; one longer than its field
           // stops the import (ValuesThatDoNotFitTheirFieldStopTheImport), so what the writer
           // cuts away never reaches it
           {int32_t{3}, std::string("0123456789"), std::string("Köln")},
           {int32_t{4}, std::string("plain"), std::string("Санкт-Петербург")}});
  session->Import(view, path, "PEOPLE");
  ASSERT_GE(view.memo.size(), 2u);
  EXPECT_EQ(view.memo[view.memo.size() - 2], "Конец импорта: 15.08.2008 14:30:05");
  EXPECT_EQ(view.memo.back(),
            "Значений с символами, которых нет в кодовой странице 866 (записаны в файл как "
            "\"?\"): 4; по полям: NAME - 2, CITY_OF__1 - 2");
  const TDbfFile file = ReadDbf(path);
  ASSERT_EQ(file.records.size(), 4u);
  EXPECT_EQ(file.records[0], " 1   caf? ?    Z?rich              ");
  EXPECT_EQ(file.records[1].substr(5, 10), Cp866("Ёжиков ?Ст"));
  EXPECT_EQ(file.records[2].substr(5, 10), "0123456789");
}

TEST_F(ImportTest, EveryValueFitsIsNotReported) {
  Analyse("SAMPLE", kSample, {{int32_t{1}, std::string("Ёлка, ёж, № 5 ╬"), TValue(), 1.0}});
  session->Import(view, path, "SAMPLE");
  EXPECT_EQ(view.memo.back(), "Конец импорта: 15.08.2008 14:30:05");
}

TEST_F(ImportTest, FieldNamesGoIntoTheHeaderInCodePage866) {
  Analyse("НАЗВАНИЯ",
          {{"ИМЯ", "VARCHAR2", 10, std::nullopt, std::nullopt},
           {"ДЛИННОЕ_ИМЯ_ПОЛЯ", "NUMBER", 22, 3, 0}},
          {{std::string("Анна"), int32_t{7}}});
  session->Import(view, path, "НАЗВАНИЯ");
  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.fields,
            (std::vector<TDbfField>{{Cp866("ИМЯ"), 'C', 10, 0}, {Cp866("ДЛИННОЕ__1"), 'N', 4, 0}}));
  EXPECT_EQ(file.count, 1u);
}

TEST_F(ImportTest, TheSameAnalysisServesAnyNumberOfRuns) {
  Analyse("SAMPLE", kSample, {{int32_t{1}, std::string("a"), TValue(), 1.0}});
  const std::vector<std::string> names = session->DbfNames;
  for (int run = 0; run < 3; ++run) {
    view.answers = {true};
    session->Import(view, path, "SAMPLE");
    EXPECT_EQ(ReadDbf(path).count, 1u);
  }
  EXPECT_EQ(session->DbfNames, names);
  EXPECT_TRUE(session->Analysed());
}

}  // namespace
}  // namespace tarnwick::export_test
