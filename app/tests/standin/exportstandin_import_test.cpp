// The import action end to end: the rows of the stand-in's demo tables written into DBF files
// that are read back byte by byte and by python3-dbf, its log and gauge, a lost connection, a
// full disk, and the memory of a long import.
#include <gmock/gmock.h>

#include "app/tests/standin/StandinExportFixture.h"
#include "dataset/text/FormatSettings.h"
#include "dbf/dbf.h"

namespace tarnwick::export_test {
namespace {

using ::testing::Property;
using ::testing::Throws;

// ---- import -----------------------------------------------------------------------------------

struct TableCase {
  const char* table;
  std::vector<TDbfField> fields;
  std::vector<std::vector<std::string>> rows;  // field texts as stored, before filling
};

const TableCase kDept = {"DEPT",
                         {{"DEPTNO", 'N', 3, 0}, {"DNAME", 'C', 30, 0}, {"LOC", 'C', 30, 0}},
                         {{"10", "Бухгалтерия", "Москва"},
                          {"20", "Исследования", "Новосибирск"},
                          {"30", "Продажи", "Казань"},
                          {"40", "OPERATIONS", ""}}};

const TableCase kEmp = {
    "EMP",
    {{"EMPNO", 'N', 5, 0},
     {"ENAME", 'C', 30, 0},
     {"JOB", 'C', 20, 0},
     {"MGR", 'N', 5, 0},
     {"HIREDATE", 'D', 8, 0},
     {"SAL", 'N', 9, 2},
     {"COMM", 'N', 9, 2},
     {"DEPTNO", 'N', 3, 0}},
    {{"7369", "Смирнов Иван", "Клерк", "7902", "19801217", "800", "", "20"},
     {"7499", "Аллен Пётр", "Продавец", "7698", "19810220", "1600", "300", "30"},
     {"7521", "Уорд Ёлкин", "Продавец", "7698", "19810222", "1250.5", "500", "30"},
     {"7566", "Джонс «Старший»", "Менеджер", "7839", "19810402", "2975", "", "20"},
     {"7654", "MARTIN", "SALESMAN", "7698", "19810928", "1250", "1400", "30"},
     {"7698", "Блейк", "Менеджер", "7839", "19810501", "2850", "", "30"},
     {"7782", "Кларк", "Менеджер", "7839", "19810609", "2450", "", "10"},
     {"7788", "Скотт O'Нил", "Аналитик", "7566", "19870419", "3000", "", "20"},
     {"7839", "Кинг", "Президент", "", "19811117", "5000", "", "10"},
     {"7844", "Тёрнер", "Продавец", "7698", "19810908", "1500", "0", "30"},
     {"7876", "Адамс", "Клерк", "7788", "19870523", "1100", "", "20"},
     {"7900", "Джеймс", "Клерк", "7698", "", "950", "", "30"},
     {"7902", "Форд", "", "7566", "19811203", "3000", "", "20"},
     {"7934", "", "Клерк", "7782", "20071231", "1300", "", "10"}}};

const TableCase kLongNames = {
    "LONG_COLUMN_NAMES",
    {{"CUSTOMER_1", 'N', 9, 0},
     {"CUSTOMER_2", 'C', 30, 0},
     {"CUSTOMER_3", 'C', 30, 0},
     {"REGISTRA_4", 'D', 8, 0},
     {"REGISTRA_5", 'C', 40, 0},
     {"SHORT", 'N', 7, 1},
     {"EXACTLY_10", 'C', 10, 0}},
    {{"1", "Анна", "Каренина", "18770101", "Санкт-Петербург", "1.5", "abcdefghij"},
     {"2", "John", "Smith", "20010909", "London", "-2.5", ""},
     {"3", "", "Ёжиков", "", "", "", "x"}}};

TableCase Block26() {
  TableCase c{"BLOCK26", {{"N", 'N', 4, 0}, {"LABEL", 'C', 20, 0}, {"AT", 'D', 8, 0}}, {}};
  for (int n = 1; n <= 26; ++n) {
    char date[16];
    std::snprintf(date, sizeof date, "202001%02d", n);
    c.rows.push_back({std::to_string(n), "строка " + std::to_string(n), date});
  }
  return c;
}

const TableCase kEmpty = {
    "EMPTY_TABLE", {{"ID", 'N', 6, 0}, {"NAME", 'C', 20, 0}, {"ADDED", 'D', 8, 0}}, {}};

// The records a table case must have on disk.
std::vector<std::string> Records(const TableCase& c) {
  std::vector<int> lengths;
  for (const TDbfField& f : c.fields) lengths.push_back(f.length);
  std::vector<std::string> records;
  for (const auto& row : c.rows) records.push_back(Record(row, lengths));
  return records;
}

TEST_F(StandinExportTest, EveryExportableDemoTableIsWrittenByteForByte) {
  Connect();
  for (const TableCase& c : {kDept, kEmp, kLongNames, Block26(), kEmpty}) {
    SCOPED_TRACE(c.table);
    const std::string path = Path(c.table);
    Analyse(c.table);
    session_->Import(view_, path, c.table);
    EXPECT_TRUE(view_.messages.empty()) << view_.messages.front();
    const TDbfFile file = ReadDbf(path);
    std::vector<TDbfField> fields = c.fields;
    EXPECT_EQ(file.fields, fields);
    EXPECT_EQ(file.codePageMark, 0x65);
    EXPECT_EQ(file.count, c.rows.size());
    EXPECT_EQ(file.fileSize, file.headerLength + file.count * file.recordLength);
    EXPECT_EQ(file.records, Records(c));
    view_ = TRecordingView();
  }
}

TEST_F(StandinExportTest, PythonDbfReadsTheExportedEmp) {
  ASSERT_TRUE(PythonDbfAvailable());
  Connect();
  Analyse("EMP");
  session_->Import(view_, Path("EMP"), "EMP");
  std::vector<std::string> want = {"COUNT 14", "CODEPAGE cp866"};
  for (const TDbfField& f : kEmp.fields) {
    want.push_back("FIELD " + f.name + " " + f.type + " " + std::to_string(f.length) + " " +
                   std::to_string(f.decimals));
  }
  for (const auto& row : kEmp.rows) {
    want.push_back("REC");
    for (std::size_t i = 0; i < row.size(); ++i) {
      const TDbfField& f = kEmp.fields[i];
      const std::string& text = row[i];
      if (f.type == 'C') {
        std::string shown = text;
        for (const std::string& lost : {std::string("«"), std::string("»")}) {
          for (std::size_t at; (at = shown.find(lost)) != std::string::npos;) {
            shown.replace(at, lost.size(), 1, '?');
          }
        }
        want.push_back("V [" + PadRight(shown, static_cast<std::size_t>(f.length)) + "]");
      } else if (text.empty()) {
        want.push_back("V None");
      } else if (f.type == 'N' && f.decimals > 0) {
        want.push_back("V " + text + (text.find('.') == std::string::npos ? ".0" : ""));
      } else {
        want.push_back("V " + text);
      }
    }
  }
  EXPECT_EQ(ReadWithPython(Path("EMP")), want);
}

TEST_F(StandinExportTest, LogGaugeAndSubstitutionsOfAnImport) {
  Connect();
  Analyse("LONG_COLUMN_NAMES");
  const std::string path = Path("LONG_COL");
  session_->Import(view_, path, "LONG_COLUMN_NAMES");
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"memo: Файл " + path + " создан!",
                                                   "memo: Начало импорта: 15.08.2008 14:30:05",
                                                   "gauge: 33", "gauge: 66", "gauge: 100",
                                                   "memo: Конец импорта: 15.08.2008 14:30:05"}));
  EXPECT_EQ(FormatSettings().ShortDateFormat, "yyyymmdd");

  view_ = TRecordingView();
  Analyse("EMP");
  session_->Import(view_, Path("EMP"), "EMP");
  EXPECT_EQ(view_.memo.back(),
            "Значений с символами, которых нет в кодовой странице 866 (записаны в файл как "
            "\"?\"): 1; по полям: ENAME - 1");

  // Again into the same file: the question, then the file is made anew.
  view_ = TRecordingView();
  view_.answers = {true};
  session_->Import(view_, path, "EMP");
  ASSERT_GE(view_.calls.size(), 2u);
  EXPECT_EQ(view_.calls[0], "question: Файл сущесвует! | Файл " + path +
                                " уже существует! Пересоздать его (YES) или прекратить "
                                "обработку? ");
  EXPECT_EQ(view_.calls[1], "memo: Файл " + path + " удален!");
  EXPECT_EQ(ReadDbf(path).count, 14u);
}

TEST_F(StandinExportTest, NumberValuesAreStoredWhole) {
  Admin("sql " + Server() +
        " demo 'CREATE TABLE NUMS (ID NUMBER(3), PLAIN_NUM NUMBER, INT_COL INTEGER, SMALL_INT "
        "NUMBER(4), NINE_DIGITS NUMBER(9), TEN_DIGITS NUMBER(10), MONEY NUMBER(12,2), PRECISE "
        "NUMBER(38,10))'");
  Admin("sql " + Server() +
        " demo 'INSERT INTO NUMS SELECT ID, PLAIN_NUM, INT_COL, SMALL_INT, NINE_DIGITS, "
        "TEN_DIGITS, MONEY, PRECISE FROM NUMBER_FORMS'");
  Connect();
  Analyse("NUMS");
  EXPECT_EQ(session_->DbfLengths,
            (std::vector<std::string>{"4", "39", "39", "5", "10", "11", "14", "40"}));
  session_->Import(view_, Path("NUMS"), "NUMS");
  const TDbfFile file = ReadDbf(Path("NUMS"));
  ASSERT_EQ(file.count, 8u);

  // Every stored value is the whole text the query gives for it, every digit of the wide ones.
  ora_->Open("select * from NUMS order by 1", false, true);
  std::vector<std::vector<std::string>> texts;
  for (std::size_t r = 0; !ora_->Eof(); ++r, ora_->Next()) {
    ASSERT_LT(r, file.records.size());
    std::size_t at = 1;
    std::vector<std::string> row;
    for (const TDbfField& f : file.fields) {
      const std::string text = ora_->FieldText(session_->OraNames[row.size()]);
      std::string stored = file.records[r].substr(at, static_cast<std::size_t>(f.length));
      stored.erase(stored.find_last_not_of(' ') + 1);
      EXPECT_EQ(stored, text) << "row " << r << " field " << f.name;
      row.push_back(text);
      at += static_cast<std::size_t>(f.length);
    }
    texts.push_back(row);
  }
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_EQ(texts[1][3], "9999");
  EXPECT_EQ(texts[2][3], "-9999");
  EXPECT_EQ(texts[2][6], "-9999999999.99");
  EXPECT_EQ(texts[3][1], "-12345678901234567890123456789012345678");
  EXPECT_EQ(texts[3][2], "-99999999999999999999999999999999999999");
  EXPECT_EQ(texts[5][1], "1E-130");
  EXPECT_EQ(texts[6][1], "-9.87654321E-100");
  EXPECT_EQ(texts[2][7], "-1234567890123456789012345678.0123456789");
  EXPECT_TRUE(view_.Calls("memo: Чисел").empty()) << "nothing was rounded";
}

TEST_F(StandinExportTest, LostConnectionMidwayLeavesAConsistentFile) {
  ScopedEnvVar fault("STANDIN_FAULT_ROWS", "25:3113");
  testsupport::UseStandinClient();
  Connect();
  Analyse("BLOCK26");
  const std::string path = Path("BLOCK26");
  EXPECT_THAT([&] { session_->Import(view_, path, "BLOCK26"); },
              Throws<EOraError>(Property(&EOraError::ErrorCode, 3113)));
  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.count, 25u);
  EXPECT_EQ(file.fileSize, file.headerLength + 25 * file.recordLength);
  std::vector<std::string> first25 = Records(Block26());
  first25.resize(25);
  EXPECT_EQ(file.records, first25);
  EXPECT_TRUE(view_.Calls("memo: Конец импорта").empty());
  EXPECT_EQ(view_.gauge.back(), 96);
  ASSERT_TRUE(PythonDbfAvailable());
  EXPECT_EQ(ReadWithPython(path).at(0), "COUNT 25");
}

TEST_F(StandinExportTest, FullDiskStopsTheImportWithAConsistentFile) {
  Connect();
  Analyse("EMP");
  struct HooksGuard {
    ~HooksGuard() { dbf_set_hooks({}); }
  } guard;
  DbfFileHooks hooks;
  int records = 0;
  const std::size_t recordLength = 1 + 5 + 30 + 20 + 5 + 8 + 9 + 9 + 3;
  hooks.pwrite = [&](int fd, const void* buffer, size_t count, off_t offset) -> ssize_t {
    if (count == recordLength && ++records == 5) {
      errno = ENOSPC;
      return -1;
    }
    return ::pwrite(fd, buffer, count, offset);
  };
  dbf_set_hooks(hooks);
  const std::string path = Path("EMP");
  session_->Import(view_, path, "EMP");
  EXPECT_EQ(view_.messages, std::vector<std::string>{"Ошибки записи в файл!"});
  EXPECT_TRUE(view_.Calls("memo: Конец импорта").empty());
  const TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.count, 4u);
  EXPECT_EQ(file.fileSize, file.headerLength + 4 * file.recordLength);
  std::vector<std::string> first4 = Records(kEmp);
  first4.resize(4);
  EXPECT_EQ(file.records, first4);
}

TEST_F(StandinExportTest, ImportMemoryDoesNotGrowWithTheTable) {
  Admin("generate " + Server() + " demo BIG 30000 9");
  Start(true);
  Connect();
  Analyse("BIG");
  // A view that keeps only the last gauge position, so that it does not grow with the rows.
  struct TQuietView : TRecordingView {
    void SetGauge(int position) override { last = position; }
    int last = 0;
  } view;
  // A first run warms the caches of the client and of its database files.
  session_->Import(view, Path("BIG"), "BIG");
  std::filesystem::remove(Path("BIG"));
  session_->Import(view, Path("BIG"), "BIG");
  EXPECT_EQ(view.last, 100);
  ASSERT_EQ(ReadDbf(Path("BIG")).count, 30000u);
  ASSERT_GT(watch_->base, 0u);
  const std::size_t importGrowth = watch_->peak - std::min(watch_->peak, watch_->base);

  // The same rows and values read by a query that keeps its rows.
  watch_->base = watch_->peak = 0;
  watch_->Open("select * from BIG order by 1", false, false);
  int rows = 0;
  while (!watch_->Eof()) {
    for (const std::string& name : session_->OraNames) watch_->FieldText(name);
    watch_->Next();
    ++rows;
  }
  ASSERT_EQ(rows, 30000);
  const std::size_t keptGrowth = watch_->peak - std::min(watch_->peak, watch_->base);
  EXPECT_GT(keptGrowth, importGrowth + (2u << 20))
      << "kept " << keptGrowth << " bytes, import " << importGrowth;
  EXPECT_LT(importGrowth, 1u << 20) << "the import's query keeps only its current block";
}

}  // namespace
}  // namespace tarnwick::export_test
