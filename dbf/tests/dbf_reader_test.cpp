// Tables written by the writer, read back by independent readers: python3-dbf and GDAL's ogrinfo.
#include <ctime>
#include <sstream>

#include "dbf_test_support.h"

namespace {

using namespace dbftest;
using tarnwick::dbf_append;
using tarnwick::dbf_close;
using tarnwick::dbf_open;

const std::vector<Field> kFields{
    {"ID", 'N', 5, 0}, {"NAME", 'C', 30, 0}, {"BORN", 'D', 8, 0}, {"PRICE", 'N', 10, 2}};

struct Row {
  std::vector<std::string> values;  // as handed to the writer
  std::vector<std::string> python;  // "V ..." lines of the Python reader
  std::vector<std::string> ogr;     // "FIELD (Type) = value" lines that ogrinfo must print
};

std::string padded(const std::string& utf8, size_t chars) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return utf8 + std::string(chars - n, ' ');
}

const std::vector<Row>& rows() {
  static const std::vector<Row> r = {
      {{"1", "Иванов Иван", "20080815", "12.5"},
       {"V 1", "V [" + padded("Иванов Иван", 30) + "]", "V 20080815", "V 12.5"},
       {"ID (Integer) = 1", "NAME (String) = Иванов Иван", "BORN (Date) = 2008/08/15",
        "PRICE (Real) = 12.50"}},
      {{"-1234", "Ёлка, ёж, № 5 ╬", "", ""},
       {"V -1234", "V [" + padded("Ёлка, ёж, № 5 ╬", 30) + "]", "V None", "V None"},
       {"ID (Integer) = -1234", "NAME (String) = Ёлка, ёж, № 5 ╬"}},
      {{"123456", "text that is longer than thirty characters", "19991231", "-0.25"},
       {"V 12345", "V [text that is longer than thirt]", "V 19991231", "V -0.25"},
       {"ID (Integer) = 12345", "NAME (String) = text that is longer than thirt",
        "BORN (Date) = 1999/12/31", "PRICE (Real) = -0.25"}},
      {{"", "", "", "1234567.89"},
       {"V None", "V [" + std::string(30, ' ') + "]", "V None", "V 1234567.89"},
       {"PRICE (Real) = 1234567.89"}},
      {{"42", "café €", "20240229", "7"},
       {"V 42", "V [" + padded("caf? ?", 30) + "]", "V 20240229", "V 7.0"},
       {"ID (Integer) = 42", "NAME (String) = caf? ?", "BORN (Date) = 2024/02/29",
        "PRICE (Real) = 7.00"}},
  };
  return r;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

class ReaderTest : public DbfTest {
 protected:
  void write_table() {
    path = dir.File("SAMPLE.dbf");
    ASSERT_TRUE(CreateArgs(kFields).create(path));
    ASSERT_EQ(dbf_open(path.c_str()), 0);
    for (const Row& r : rows()) ASSERT_EQ(dbf_append(r.values, length_texts(kFields)), 0);
    dbf_close();
  }
  std::string path;
};

TEST_F(ReaderTest, PythonDbfReadsStructureValuesAndCount) {
  ASSERT_TRUE(PythonDbfAvailable());
  write_table();
  const CommandResult r = ReadWithPythonDbf(dir, path);
  ASSERT_EQ(r.status, 0) << r.output;

  std::vector<std::string> want = {"COUNT 5",           "CODEPAGE cp866",   "FIELD ID N 5 0",
                                   "FIELD NAME C 30 0", "FIELD BORN D 8 0", "FIELD PRICE N 10 2"};
  for (const Row& row : rows()) {
    want.push_back("REC");
    want.insert(want.end(), row.python.begin(), row.python.end());
  }
  EXPECT_EQ(lines_of(r.output), want) << r.output;
}

TEST_F(ReaderTest, OgrinfoReadsStructureValuesAndCount) {
  ASSERT_TRUE(ogrinfo_available());
  write_table();
  const CommandResult r = read_with_ogrinfo(path);
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<std::string> lines = lines_of(r.output);
  auto has = [&lines](const std::string& l) {
    return std::find(lines.begin(), lines.end(), l) != lines.end();
  };
  EXPECT_TRUE(has("Feature Count: 5")) << r.output;
  for (const char* field :
       {"ID: Integer (5.0)", "NAME: String (30.0)", "BORN: Date (10.0)", "PRICE: Real (10.2)"}) {
    EXPECT_TRUE(has(field)) << field << "\n" << r.output;
  }

  // Values per feature, in order: the lines after "OGRFeature(SAMPLE):i".
  std::vector<std::vector<std::string>> features;
  for (const std::string& l : lines) {
    if (l.rfind("OGRFeature(", 0) == 0) {
      features.emplace_back();
    } else if (!features.empty() && l.size() > 2) {
      features.back().push_back(l.substr(2));
    }
  }
  ASSERT_EQ(features.size(), rows().size()) << r.output;
  for (size_t i = 0; i < rows().size(); ++i) {
    for (const std::string& want : rows()[i].ogr) {
      EXPECT_NE(std::find(features[i].begin(), features[i].end(), want), features[i].end())
          << "feature " << i << ": " << want << "\n"
          << r.output;
    }
  }
}

// The header's date of the last update, as both readers show it: today's local date (a year
// stored modulo 100 would show as 1926).
TEST_F(ReaderTest, BothReadersShowTodayAsTheDateOfTheLastUpdate) {
  const std::time_t before = std::time(nullptr);
  write_table();
  const std::time_t after = std::time(nullptr);
  auto iso = [](std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return std::string(text);
  };
  const std::set<std::string> today{iso(before), iso(after)};
  ASSERT_TRUE(PythonDbfAvailable());
  {
    const CommandResult r = ReadWithPythonDbf(dir, path, R"PY(
import sys, dbf
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
print(t.last_update.isoformat())
t.close()
)PY");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> lines = lines_of(r.output);
    ASSERT_EQ(lines.size(), 1u) << r.output;
    EXPECT_TRUE(today.contains(lines[0])) << r.output;
  }
  ASSERT_TRUE(ogrinfo_available());
  {
    const CommandResult r = RunCommand("ogrinfo -ro -so -al " + ShellQuote(path) + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
    std::string shown;
    for (const std::string& line : lines_of(r.output)) {
      const size_t at = line.find("DBF_DATE_LAST_UPDATE=");
      if (at != std::string::npos) shown = line.substr(at + 21);
    }
    EXPECT_TRUE(today.contains(shown)) << r.output;
  }
}

TEST_F(ReaderTest, MemoTableOpensInBothReaders) {
  // python3-dbf looks for the companion in the case of the table's extension: X.DBF, X.FPT.
  const std::string table = dir.File("NOTES.DBF");
  const std::vector<Field> fields{{"ID", 'N', 5, 0}, {"NOTE", 'M', 10, 0}};
  ASSERT_TRUE(CreateArgs(fields).create(table));
  ASSERT_EQ(dbf_open(table.c_str()), 0);
  ASSERT_EQ(dbf_append({"1", ""}, length_texts(fields)), 0);
  ASSERT_EQ(dbf_append({"2", ""}, length_texts(fields)), 0);
  dbf_close();

  ASSERT_TRUE(PythonDbfAvailable());
  {
    const CommandResult r = ReadWithPythonDbf(dir, table);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> want = {"COUNT 2",
                                           "CODEPAGE cp866",
                                           "FIELD ID N 5 0",
                                           "FIELD NOTE M 10 0",
                                           "REC",
                                           "V 1",
                                           "V []",
                                           "REC",
                                           "V 2",
                                           "V []"};
    EXPECT_EQ(lines_of(r.output), want) << r.output;
  }
  ASSERT_TRUE(ogrinfo_available());
  {
    const CommandResult r = read_with_ogrinfo(table);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Feature Count: 2\n"), std::string::npos) << r.output;
  }
}

TEST_F(ReaderTest, TableWithoutRecordsOpens) {
  ASSERT_TRUE(PythonDbfAvailable());
  const std::string table = dir.File("EMPTY.dbf");
  ASSERT_TRUE(CreateArgs(kFields).create(table));
  const CommandResult r = ReadWithPythonDbf(dir, table);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(lines_of(r.output)[0], "COUNT 0");
}

}  // namespace
