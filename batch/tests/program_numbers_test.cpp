// NUMBER values of more than 15 digits exported by the built tarnwick-export against a copy of
// the demo server, read back by python3-dbf (as Decimal) and by GDAL's ogrinfo and compared with
// the table digit for digit; values that no field holds whole are rounded and counted in the log.
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "batch/tests/ExportProgram.h"

namespace tarnwick::program_test {
namespace {

// python3-dbf with every N field read as a Decimal: one line per record, the values separated by
// "|", each in plain fixed notation without trailing zeros; "None" for a blank.
const char* const kDecimalReader = R"PY(
import sys, decimal, dbf
decimal.getcontext().prec = 200
class Exact(decimal.Decimal):
    def __new__(cls, text=b"0"):
        return decimal.Decimal.__new__(cls, text.decode() if isinstance(text, bytes) else text)
t = dbf.Table(sys.argv[1], default_data_types={"N": (Exact, type(None))})
t.open(dbf.READ_ONLY)
print("COUNT", len(t))
for name in t.field_names:
    info = t.field_info(name)
    print("FIELD", name.upper(), info.length, info.decimal)
for rec in t:
    values = []
    for v in rec:
        values.append("None" if v is None else "{:f}".format(decimal.Decimal(v).normalize()))
    print("|".join(values))
t.close()
)PY";

// A plain decimal text without trailing zeros after its point ("1.50" is "1.5", "2.0" is "2").
std::string Plain(std::string text) {
  if (text.find('.') == std::string::npos) return text;
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : separator) + parts[i];
  return text;
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(line);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

// GDAL's own reading of a table through its Python binding: per record, the values separated by
// "|", an integer field as its integer, a real field as the shortest text of its double, NULL as
// "None".
const char* const kGdalReader = R"PY(
import sys
from osgeo import ogr
ogr.UseExceptions()
source = ogr.Open(sys.argv[1])
layer = source.GetLayer(0)
for feature in layer:
    values = []
    for i in range(feature.GetFieldCount()):
        kind = feature.GetFieldType(i)
        if not feature.IsFieldSetAndNotNull(i):
            values.append("None")
        elif kind in (ogr.OFTInteger, ogr.OFTInteger64):
            values.append(str(feature.GetFieldAsInteger64(i)))
        else:
            values.append(repr(feature.GetFieldAsDouble(i)))
    print("|".join(values))
)PY";

// ogrinfo's values of a table: per record, the text after "NAME (Type) = " of each field, and the
// OGR type of each field.
struct TOgrTable {
  std::vector<std::map<std::string, std::string>> records;
  std::map<std::string, std::string> types;
};

TOgrTable ReadWithOgr(const std::string& path) {
  const testsupport::CommandResult r =
      testsupport::RunCommand("ogrinfo -ro -al " + testsupport::ShellQuote(path) + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.output;
  TOgrTable table;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("OGRFeature(")) {
      table.records.emplace_back();
      continue;
    }
    const std::size_t open = line.find(" (");
    const std::size_t equals = line.find(") = ");
    if (table.records.empty() || !line.starts_with("  ") || open == std::string::npos ||
        equals == std::string::npos || equals < open) {
      continue;
    }
    const std::string name = line.substr(2, open - 2);
    table.types[name] = line.substr(open + 2, equals - open - 2);
    table.records.back()[name] = line.substr(equals + 4);
  }
  return table;
}

class ProgramNumbers : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(PythonDbfAvailable());
  }

  void MakeTable(const std::string& table, const std::string& columns,
                 const std::vector<std::string>& rows) {
    Admin({"sql", server, "demo", "CREATE TABLE " + table + " (" + columns + ")"});
    for (const std::string& row : rows) {
      Admin({"sql", server, "demo", "INSERT INTO " + table + " VALUES (" + row + ")"});
    }
  }

  // The table's rows as the server holds them, each value as a plain decimal text.
  std::vector<std::vector<std::string>> Source(const std::string& table) {
    auto rows = Rows(server, "select * from " + table + " order by 1");
    for (auto& row : rows) {
      for (std::string& value : row) value = value.empty() ? "None" : Plain(value);
    }
    return rows;
  }

  // python3-dbf's lines for a table: COUNT, FIELD lines, then one line per record.
  std::vector<std::string> ReadDecimals(const std::string& path) {
    const testsupport::CommandResult r = testsupport::ReadWithPythonDbf(dir, path, kDecimalReader);
    EXPECT_EQ(r.status, 0) << r.output;
    return Split(r.output, '\n');
  }
};

const char* const kWideColumns =
    "ID NUMBER(3), I16 NUMBER(16), I18 NUMBER(18), I20 NUMBER(20), I38 NUMBER(38), "
    "M NUMBER(20,2), P NUMBER(38,10), F NUMBER";

TEST_F(ProgramNumbers, EveryDigitOfWideNumbersReadsBack) {
  MakeTable("WIDE", kWideColumns,
            {"1, 1234567890123456, 100000000000000001, 12345678901234567890, "
             "99999999999999999999999999999999999999, 123456789012345678.12, "
             "1234567890123456789012345678.0123456789, 1/3",
             "2, -1234567890123456, -999999999999999999, -99999999999999999999, "
             "-99999999999999999999999999999999999999, -123456789012345678.12, -0.0000000001, "
             "1E-130",
             "3, 0, 0, 0, 0, 0, 0, 1E125",
             "4, 9999999999999999, 999999999999999999, 1, -1, -0.5, 0.5, -0.5",
             "5, NULL, NULL, NULL, NULL, NULL, NULL, 0", "6, 1, 1, 1, 1, 1, 1, 2/3"});
  const TRunResult r = Run({.args = {"WIDE", out.string()}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string path = (out / "WIDE.dbf").string();
  const std::string rounded =
      "Чисел, записанных в файл округленными (не поместились в поле целиком): 2; по полям: F - 2";
  EXPECT_TRUE(Contains(r.out, "\nКонец импорта: ")) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n" + rounded + "\n")) << r.out;
  EXPECT_EQ(r.err, "tarnwick-export: " + rounded + "\ntarnwick-export: 6 records written to " +
                       path + "\n");

  // Lengths and decimals: integers with every digit and a sign, without decimals.
  const std::vector<std::string> read = ReadDecimals(path);
  ASSERT_GE(read.size(), 15u) << testing::PrintToString(read);
  EXPECT_EQ(read[0], "COUNT 6");
  EXPECT_EQ(std::vector<std::string>(read.begin() + 1, read.begin() + 9),
            (std::vector<std::string>{"FIELD ID 4 0", "FIELD I16 17 0", "FIELD I18 19 0",
                                      "FIELD I20 21 0", "FIELD I38 39 0", "FIELD M 22 2",
                                      "FIELD P 40 10", "FIELD F 39 15"}));

  // Every value whole but the two fractions of the NUMBER without precision that no field of
  // 39 characters holds: rounded to the 37 digits that fit.
  auto source = Source("WIDE");
  ASSERT_EQ(source.size(), 6u);
  EXPECT_EQ(source[0][7], "0." + std::string(40, '3'));
  EXPECT_EQ(source[5][7], "0." + std::string(39, '6') + "7");
  source[0][7] = "0." + std::string(37, '3');
  source[5][7] = "0." + std::string(36, '6') + "7";
  for (std::size_t i = 0; i < source.size(); ++i) {
    EXPECT_EQ(read.at(9 + i), Join(source[i], "|")) << "row " << i + 1;
  }

  // GDAL reads an integer field of up to 18 characters as a 64-bit integer, digit for digit
  // (NUMBER(16), NUMBER(17)); wider fields (NUMBER(18) and more, with their sign) and fields with
  // decimals become doubles: GDAL's library holds the double nearest to the value, while
  // ogrinfo shows it with the field's decimals and cuts it to the field's width.
  if (testsupport::RunCommand("command -v ogrinfo >/dev/null").status != 0) return;
  const TOgrTable ogr = ReadWithOgr(path);
  ASSERT_EQ(ogr.records.size(), 6u);
  const std::vector<std::string> names = {"ID", "I16", "I18", "I20", "I38", "M", "P", "F"};
  const std::vector<std::string> types = {"Integer", "Integer64", "Real", "Real",
                                          "Real",    "Real",      "Real", "Real"};
  for (std::size_t c = 0; c < names.size(); ++c) EXPECT_EQ(ogr.types.at(names[c]), types[c]);
  for (std::size_t i = 0; i < source.size(); ++i) {
    for (std::size_t c = 0; c < 2; ++c) {
      const auto found = ogr.records[i].find(names[c]);
      ASSERT_NE(found, ogr.records[i].end());
      EXPECT_EQ(found->second, source[i][c] == "None" ? "(null)" : source[i][c])
          << "row " << i + 1 << " " << names[c];
    }
  }
  EXPECT_EQ(ogr.records[1].at("F"), "0.000000000000000") << "1E-130 shown with 15 decimals";

  const testsupport::CommandResult gdal = testsupport::ReadWithPythonDbf(dir, path, kGdalReader);
  // GDAL's Python binding comes with gdal-bin (package python3-gdal); without it this fails.
  ASSERT_EQ(gdal.status, 0) << gdal.output;
  const std::vector<std::string> lines = Split(gdal.output, '\n');
  ASSERT_EQ(lines.size(), source.size());
  for (std::size_t i = 0; i < source.size(); ++i) {
    const std::vector<std::string> values = Split(lines[i], '|');
    ASSERT_EQ(values.size(), names.size()) << lines[i];
    for (std::size_t c = 0; c < names.size(); ++c) {
      SCOPED_TRACE("row " + std::to_string(i + 1) + " " + names[c] + ": " + values[c]);
      const std::string& want = source[i][c];
      if (want == "None" || c < 2) {
        EXPECT_EQ(values[c], want);
        continue;
      }
      // The rounded fractions of F are read from the file's text, the others from the table.
      EXPECT_EQ(std::strtod(values[c].c_str(), nullptr), std::strtod(want.c_str(), nullptr));
    }
  }
}

TEST_F(ProgramNumbers, NoRoundingNoLine) {
  MakeTable("EXACT", kWideColumns,
            {"1, 1234567890123456, 100000000000000001, 12345678901234567890, "
             "-99999999999999999999999999999999999999, 123456789012345678.12, "
             "-1234567890123456789012345678.0123456789, 0.25",
             "2, 2, 2, 2, 2, 2, 2, -12345678901234567890123456789012345678"});
  const TRunResult r = Run({.args = {"EXACT", out.string()}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string path = (out / "EXACT.dbf").string();
  EXPECT_FALSE(Contains(r.out, "округленными")) << r.out;
  EXPECT_EQ(r.err, "tarnwick-export: 2 records written to " + path + "\n");
  const std::vector<std::string> read = ReadDecimals(path);
  const auto source = Source("EXACT");
  ASSERT_EQ(read.size(), 11u) << testing::PrintToString(read);
  for (std::size_t i = 0; i < source.size(); ++i) {
    EXPECT_EQ(read.at(9 + i), Join(source[i], "|")) << "row " << i + 1;
  }
}

}  // namespace
}  // namespace tarnwick::program_test
