// Text of servers of other character sets and releases, and views, exported by the built
// tarnwick-export and read back with python3-dbf: every Cyrillic value arrives whole, a character
// field is as long as its column's characters, a server before 9i keeps DATA_LENGTH, and a view
// named on the command line is exported like a table.
#include "app/ExportText.h"
#include "batch/tests/ExportProgram.h"

namespace tarnwick::program_test {
namespace {

std::string Times(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

// A value as python3-dbf gives a character field of that length: filled with blanks.
std::string Shown(const std::string& text, std::size_t length) {
  std::size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  return "V [" + text + std::string(length - characters, ' ') + "]";
}

class CharsetProgramTest : public ProgramTest {
 protected:
  // A new server of the data folder, with the user demo and the statements of `script` run in
  // one session.
  void MakeServer(const std::string& name, const std::string& charset, const std::string& release,
                  const std::string& script) {
    const std::string folder = (servers / name).string();
    std::vector<std::string> create = {"create-server", folder};
    if (!charset.empty()) create.insert(create.end(), {"--charset", charset});
    if (!release.empty()) create.insert(create.end(), {"--release", release});
    Admin(create);
    Admin({"create-user", folder, "demo", "demo"});
    const std::string file = dir.File(name + ".sql");
    std::ofstream(file) << script;
    Admin({"run", folder, "demo", file});
  }

  // Exports `table` of the server into the output folder; the file's python3-dbf reading.
  std::vector<std::string> Export(const std::string& server, const std::string& table,
                                  const std::string& file, TRunResult* result = nullptr,
                                  std::map<std::string, std::optional<std::string>> env = {}) {
    env["TARNWICK_CONNECT"] = "demo/demo@" + server;
    const TRunResult r = Run({.args = {table, out.string()}, .env = env});
    if (result) *result = r;
    EXPECT_EQ(r.status, 0) << r.err;
    const testsupport::CommandResult read =
        testsupport::ReadWithPythonDbf(dir, (out / file).string());
    EXPECT_EQ(read.status, 0) << read.output;
    std::vector<std::string> lines;
    std::istringstream in(read.output);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

const std::string kLetters30 = Times("Щ", 30);
const std::string kMixed255 = Times("Ёлка№", 51);
const std::string kName = "Иван Петрович Сидоров";

TEST_F(CharsetProgramTest, CyrillicTextOfEachCharacterSetIsExportedWhole) {
  ASSERT_TRUE(PythonDbfAvailable());
  struct Case {
    std::string charset;
    std::string semantics;  // the session's length semantics when the table is made
  };
  const std::vector<Case> cases = {
      {"CL8MSWIN1251", "BYTE"}, {"CL8ISO8859P5", "BYTE"}, {"AL32UTF8", "CHAR"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.charset);
    fs::remove(out / "CYR.dbf");
    const std::string server = "cs_" + c.charset;
    MakeServer(server, c.charset, "",
               "ALTER SESSION SET NLS_LENGTH_SEMANTICS = " + c.semantics +
                   ";\n"
                   "CREATE TABLE CYR (ID NUMBER(5), NAME VARCHAR2(30), NOTE VARCHAR2(255));\n"
                   "INSERT INTO CYR VALUES (1, '" +
                   kLetters30 + "', '" + kMixed255 +
                   "');\n"
                   "INSERT INTO CYR VALUES (2, '" +
                   kName + "', NULL);\nCOMMIT;\n");
    // Under character semantics in AL32UTF8 the NOTE column has DATA_LENGTH 1020.
    EXPECT_TRUE(Contains(Admin({"sql", (servers / server).string(), "demo",
                                "select data_length, char_length from user_tab_columns where "
                                "table_name = 'CYR' and column_name = 'NOTE'"}),
                         c.charset == "AL32UTF8" ? "\n1020\t255" : "\n255\t255"));
    TRunResult r;
    const std::vector<std::string> read = Export(server, "CYR", "CYR.dbf", &r);
    EXPECT_TRUE(Contains(r.out,
                         "3     NOTE                            NOTE        VARCHAR2         "
                         "C         255      \n"))
        << r.out;
    EXPECT_EQ(read, (std::vector<std::string>{"COUNT 2", "CODEPAGE cp866", "FIELD ID N 6 0",
                                              "FIELD NAME C 30 0", "FIELD NOTE C 255 0", "REC",
                                              "V 1", Shown(kLetters30, 30), Shown(kMixed255, 255),
                                              "REC", "V 2", Shown(kName, 30), Shown("", 255)}));
  }
}

TEST_F(CharsetProgramTest, AServerBefore9iKeepsTheDictionaryQueryAndDataLength) {
  ASSERT_TRUE(PythonDbfAvailable());
  // An 8i server in UTF8: VARCHAR2(30) holds 30 bytes, 15 Cyrillic letters.
  MakeServer("old", "", "8.1.7",
             "CREATE TABLE OLD_T (ID NUMBER(5), NAME VARCHAR2(30));\n"
             "INSERT INTO OLD_T VALUES (1, '" +
                 Times("Ж", 15) + "');\nCOMMIT;\n");
  const std::string trace = dir.File("trace.txt");
  TRunResult r;
  const std::vector<std::string> read =
      Export("old", "OLD_T", "OLD_T.dbf", &r, {{"STANDIN_TRACE", trace}});
  EXPECT_TRUE(Contains(ReadFile(trace),
                       "\"select column_name, data_type, data_length, data_precision, data_scale "
                       "from user_tab_columns where table_name = 'OLD_T' order by Column_id\""))
      << ReadFile(trace).substr(0, 3000);
  EXPECT_FALSE(Contains(ReadFile(trace), "char_length"));
  EXPECT_EQ(read, (std::vector<std::string>{"COUNT 1", "CODEPAGE cp866", "FIELD ID N 6 0",
                                            "FIELD NAME C 30 0", "REC", "V 1",
                                            Shown(Times("Ж", 15), 30)}));
}

// The README's example: a view that selects some rows and turns columns of other types into
// NUMBER, DATE and VARCHAR2.
const char* const kShipments = R"SQL(
CREATE TABLE SHIPMENTS (
  SHIP_ID     NUMBER(8) PRIMARY KEY,
  REGION      CHAR(2),
  CONSIGNEE   NVARCHAR2(60),
  WEIGHT_KG   FLOAT,
  SHIPPED_AT  TIMESTAMP,
  REMARKS     CLOB
);
INSERT INTO SHIPMENTS VALUES (1, 'NW', 'ООО "Северная верфь"', 1250.5,
  TO_DATE('2008-03-14 09:30:15', 'YYYY-MM-DD HH24:MI:SS'), 'Хрупкий груз');
INSERT INTO SHIPMENTS VALUES (2, 'S', 'Ростовский порт', 0.0625,
  TO_DATE('2007-12-31 23:59:59', 'YYYY-MM-DD HH24:MI:SS'), 'Старая отгрузка');
INSERT INTO SHIPMENTS VALUES (3, 'FE', 'Владивосток', 98765.4321,
  TO_DATE('2008-08-01 00:00:00', 'YYYY-MM-DD HH24:MI:SS'), RPAD('Длинное примечание ', 400, 'ж'));
COMMIT;
CREATE VIEW SHIPMENTS_DBF AS
SELECT SHIP_ID,
       CAST(REGION AS VARCHAR2(2)) AS REGION,
       CAST(CONSIGNEE AS VARCHAR2(60 CHAR)) AS CONSIGNEE,
       CAST(WEIGHT_KG AS NUMBER(12,3)) AS WEIGHT_KG,
       CAST(SHIPPED_AT AS DATE) AS SHIPPED_AT,
       CAST(DBMS_LOB.SUBSTR(REMARKS, 255, 1) AS VARCHAR2(255 CHAR)) AS REMARKS
  FROM SHIPMENTS
 WHERE SHIPPED_AT >= DATE '2008-01-01';
)SQL";

TEST_F(CharsetProgramTest, AViewIsExportedLikeATable) {
  ASSERT_TRUE(PythonDbfAvailable());
  MakeServer("shipping", "", "", kShipments);
  TRunResult r;
  const std::vector<std::string> read = Export("shipping", "shipments_dbf", "SHIPMENT.dbf", &r);
  EXPECT_TRUE(Contains(r.out, "\nВ таблице  2  записей!\n")) << r.out;
  EXPECT_EQ(r.err,
            "tarnwick-export: 2 records written to " + (out / "SHIPMENT.dbf").string() + "\n");
  const std::string remarks = StoredPart("Длинное примечание " + Times("ж", 381), 255);
  EXPECT_EQ(read, (std::vector<std::string>{"COUNT 2",
                                            "CODEPAGE cp866",
                                            "FIELD SHIP_ID N 9 0",
                                            "FIELD REGION C 2 0",
                                            "FIELD CONSIGNEE C 60 0",
                                            "FIELD WEIGHT_KG N 14 3",
                                            "FIELD SHIPPED_AT D 8 0",
                                            "FIELD REMARKS C 255 0",
                                            "REC",
                                            "V 1",
                                            "V [NW]",
                                            Shown("ООО \"Северная верфь\"", 60),
                                            "V 1250.5",
                                            "V 20080314",
                                            Shown("Хрупкий груз", 255),
                                            "REC",
                                            "V 3",
                                            "V [FE]",
                                            Shown("Владивосток", 60),
                                            "V 98765.432",
                                            "V 20080801",
                                            Shown(remarks, 255)}));
}

}  // namespace
}  // namespace tarnwick::program_test
