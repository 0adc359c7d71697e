// The built tarnwick-export run as a user runs it, against a copy of the stand-in's demo server:
// a whole export read back by python3-dbf and compared with the source rows, and the exit status,
// the messages and the files (none where there should be none) of every other outcome.
#include <sys/mount.h>

#include <iconv.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "batch/tests/ExportProgram.h"

namespace tarnwick::program_test {
namespace {

// A number as python3-dbf and the comparison print it: a whole number without a fraction, any
// other number in its shortest round-trip form.
std::string NumberText(const std::string& text) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() && !(text.starts_with(".") || text.starts_with("-."))) return text;
  if (result.ptr != text.data() + text.size()) {
    // Oracle's form of a fraction has no zero before the point.
    std::string withZero = text;
    withZero.insert(text.starts_with("-") ? 1 : 0, "0");
    return NumberText(withZero);
  }
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

// A text as code page 866 holds it: a character that the code page lacks becomes "?".
std::string InCp866(const std::string& text) {
  iconv_t cd = ::iconv_open("CP866", "UTF-8");
  std::string shown;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = 1;
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    std::string character = text.substr(pos, length);
    char byte = 0;
    char* in = character.data();
    std::size_t inLeft = character.size();
    char* out = &byte;
    std::size_t outLeft = 1;
    const bool mapped = ::iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    shown += mapped ? character : "?";
    pos += length;
  }
  ::iconv_close(cd);
  return shown;
}

// A source row as python3-dbf shows it, for the column kinds given ('N', 'C', 'D').
std::string Expected(const std::vector<std::string>& row, const std::string& kinds) {
  std::string line;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i > 0) line += "|";
    const std::string& v = row[i];
    if (kinds[i] == 'C') {
      line += InCp866(v.substr(0, v.find_last_not_of(' ') + 1));
    } else if (v.empty()) {
      line += "None";
    } else if (kinds[i] == 'D') {
      line += v.substr(0, 10);
    } else {
      line += NumberText(v);
    }
  }
  return line;
}

TEST_F(ProgramTest, ExportsTheDemoTableAsTheSourceHoldsIt) {
  ASSERT_TRUE(PythonDbfAvailable());
  const TRunResult r = Run({.args = {"emp", out.string()}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string path = (out / "EMP.dbf").string();
  EXPECT_TRUE(r.out.starts_with("Структура таблицы \n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\nВ таблице  14  записей!\n"));
  // Written into a file of its own until complete, then put at the target.
  EXPECT_TRUE(Contains(
      r.out, "\nФайл " + (out / "EMP.partial.dbf").string() + " создан!\nНачало импорта: "));
  EXPECT_EQ(FilesIn(out), std::vector<std::string>{"EMP.dbf"});
  EXPECT_TRUE(Contains(r.out, "\nКонец импорта: "));
  EXPECT_EQ(r.err, "tarnwick-export: 14 records written to " + path + "\n");

  const std::vector<std::string> read = ReadWithPython(dir, path);
  const auto source = Rows(server, "select * from EMP order by 1");
  ASSERT_EQ(source.size(), 14u);
  ASSERT_EQ(read.size(), 15u);
  EXPECT_EQ(read[0], "COUNT 14");
  for (std::size_t i = 0; i < source.size(); ++i) {
    EXPECT_EQ(read[i + 1], Expected(source[i], "NCCNDNNN")) << "row " << i;
  }
  const TTableFile file = ReadDbf(path);
  EXPECT_EQ(file.trailing, 0u);
  EXPECT_EQ(file.FieldNames(), (std::vector<std::string>{"EMPNO", "ENAME", "JOB", "MGR", "HIREDATE",
                                                         "SAL", "COMM", "DEPTNO"}));
}

// Numbers without a fixed point: a floating NUMBER (fractions, texts in exponent form, negative
// values) and an INTEGER that reaches past 1E15. python3-dbf reads every value as a number equal
// to the source within the 15 significant digits of the texts (INTEGER values are read whole,
// as integers); a column of plain integers keeps its integer field.
TEST_F(ProgramTest, FloatingAndLargeIntegerNumbersReadBackAsTheirValues) {
  ASSERT_TRUE(PythonDbfAvailable());
  Admin({"sql", server, "demo",
         "CREATE TABLE MEASURES (ID NUMBER(3), F NUMBER, I INTEGER, P15 NUMBER(15))"});
  const char* const rows[] = {
      "1, 1234.5678, 42, 999999999999999",
      "2, -0.000123456789012345, 1000000000000000, -999999999999999",
      "3, 0.0000123456789012346, -123456789012345678, 0",
      "4, -1.5E+100, 99999999999999999999999999999999999999, NULL",
      "5, 6.02214076E+23, -1000000000000001, 1",
      "6, 1E-130, NULL, 7",
      "7, -9.87654321E-100, 0, -42",
      "8, 0.30000000000000004, -7, 123456789012345",
      "9, NULL, 1234567890123456789, 100",
      "10, 98765.4321098765432109, 4, NULL",
  };
  for (const char* row : rows) {
    Admin({"sql", server, "demo", std::string("INSERT INTO MEASURES VALUES (") + row + ")"});
  }
  const TRunResult r = Run({.args = {"MEASURES", out.string()}});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string path = (out / "MEASURES.dbf").string();

  // The decimal counts in the field descriptors: ID, F, I, P15.
  const std::string header = ReadFile(path);
  std::vector<int> decimals;
  for (std::size_t field = 0; field < 4; ++field) {
    decimals.push_back(static_cast<unsigned char>(header.at(32 + 32 * field + 17)));
  }
  EXPECT_EQ(decimals[0], 0);
  EXPECT_GT(decimals[1], 0);
  EXPECT_EQ(decimals[2], 0) << "INTEGER values are written whole, without an exponent";
  EXPECT_EQ(decimals[3], 0);

  const std::vector<std::string> read = ReadWithPython(dir, path);
  const auto source = Rows(server, "select * from MEASURES order by 1");
  ASSERT_EQ(source.size(), std::size(rows));
  ASSERT_EQ(read.size(), source.size() + 1) << (read.empty() ? "" : read.back());
  EXPECT_EQ(read[0], "COUNT " + std::to_string(source.size()));
  for (std::size_t i = 0; i < source.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1) + ": " + read[i + 1]);
    std::vector<std::string> values;
    std::istringstream line(read[i + 1]);
    for (std::string value; std::getline(line, value, '|');) values.push_back(value);
    ASSERT_EQ(values.size(), source[i].size());
    for (std::size_t c = 0; c < values.size(); ++c) {
      const std::string& want = source[i][c];
      if (want.empty()) {
        EXPECT_EQ(values[c], "None") << "column " << c;
        continue;
      }
      // Half a unit of the 15th significant digit, plus the binary value that the text is made
      // from and the one python3-dbf reads it into (2^-53 of the value each).
      const long double exact = std::strtold(want.c_str(), nullptr);
      char* end = nullptr;
      const long double got = std::strtold(values[c].c_str(), &end);
      ASSERT_TRUE(end != values[c].c_str() && *end == '\0') << values[c];
      const long double unit =
          exact == 0 ? 0 : std::pow(10.0L, std::floor(std::log10(std::fabs(exact))) - 14);
      EXPECT_LE(std::fabs(got - exact), unit * 0.5001L + std::fabs(exact) * 0x1p-52L)
          << "column " << c << ": " << want;
    }
  }
}

TEST_F(ProgramTest, AnEmptyTableGivesAFileWithoutRecords) {
  const TRunResult r = Run({.args = {"EMPTY_TABLE", out.string()}});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string path = (out / "EMPTY_TA.dbf").string();
  EXPECT_EQ(r.err, "tarnwick-export: warning: the table EMPTY_TABLE has no rows; " + path +
                       " holds no records\n");
  const TTableFile file = ReadDbf(path);
  EXPECT_EQ(file.count, 0u);
  EXPECT_EQ(file.trailing, 0u);
}

// Every outcome but success: its status, a message that says what happened, and no file where
// none should be. Statements reach the server only after the command line was found good: the
// stand-in's trace shows every call the program made.
TEST_F(ProgramTest, EachFailureHasItsStatusAndMessageAndWritesNothing) {
  const std::string trace = dir.File("trace.txt");
  fs::create_directories(work / "sub");
  std::ofstream(out / "EMP.dbf") << "an older file";
  std::ofstream(work / "plain") << "x";
  struct Case {
    std::string name;
    TRunOptions options;
    int status;
    std::string message;
    bool serverReached;
  };
  const std::vector<Case> cases = {
      {"quote", {.args = {"EMP' or '1'='1", out.string()}}, 2, "is not a table name", false},
      {"semicolon", {.args = {"EMP;", out.string()}}, 2, "is not a table name", false},
      {"space", {.args = {"EMP DEPT", out.string()}}, 2, "is not a table name", false},
      {"schema", {.args = {"DEMO.EMP", out.string()}}, 2, "is not a table name", false},
      {"unknown option", {.args = {"--bogus", "EMP"}}, 2, "unrecognised option '--bogus'", false},
      {"no settings file",
       {.args = {"--settings", "none.ini", "EMP", "sub"},
        .env = {{"TARNWICK_CONNECT", std::nullopt}}},
       3,
       "tarnwick-export: the settings file " + (work / "none.ini").string() + " does not exist\n",
       false},
      {"wrong password",
       {.args = {"EMP", "sub"}, .env = {{"TARNWICK_CONNECT", "demo/wrong@demo"}}},
       4,
       "tarnwick-export: Нет соединения с базой данных!\ntarnwick-export: cannot connect as "
       "demo/***@demo (connection string from TARNWICK_CONNECT): ORA-01017: invalid "
       "username/password; logon denied\n",
       true},
      {"unknown server",
       {.args = {"EMP", "sub"}, .env = {{"TARNWICK_CONNECT", "demo/demo@nowhere"}}},
       4,
       "ORA-12154",
       true},
      {"missing table",
       {.args = {"NO_SUCH_TABLE", "sub"}},
       5,
       "tarnwick-export: Таблица NO_SUCH_TABLE не найдена",
       true},
      {"refused type",
       {.args = {"DOCUMENTS", "sub"}},
       5,
       "только следующие типы данных: NUMBER, VARCHAR2 и DATE",
       true},
      {"text too long", {.args = {"LONG_TEXTS", "sub"}}, 5, "длиной больше 255 символов", true},
      {"file exists",
       {.args = {"EMP", out.string()}},
       6,
       "tarnwick-export: the target file " + (out / "EMP.dbf").string() +
           " exists; give --overwrite to replace it\n",
       false},
      {"missing folder",
       {.args = {"EMP", "no/such/folder"}},
       7,
       "the target folder " + (work / "no/such/folder/").string() + " does not exist",
       false},
      {"folder is a file", {.args = {"EMP", "plain"}}, 7, "is not a folder", false},
      {"output names a folder",
       {.args = {"-o", "sub", "EMP"}},
       7,
       "the target " + (work / "sub").string() + " is a folder",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(trace);
    TRunOptions options = c.options;
    options.env["STANDIN_TRACE"] = trace;
    const TRunResult r = Run(options);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    EXPECT_FALSE(r.signaled);
    EXPECT_EQ(fs::exists(trace), c.serverReached);
    EXPECT_EQ(FilesIn(work / "sub"), std::vector<std::string>{});
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{"EMP.dbf"});
    EXPECT_EQ(ReadFile((out / "EMP.dbf").string()), "an older file");
  }
}

// Only the table name ever reaches the statements, in upper case: the trace of a run holds the
// window's statements and no others.
TEST_F(ProgramTest, TheServerSeesTheWindowsStatementsWithTheTableNameOnly) {
  const std::string trace = dir.File("trace.txt");
  const TRunResult r =
      Run({.args = {"dept", out.string(), "--fetch-rows=3"}, .env = {{"STANDIN_TRACE", trace}}});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> statements;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("OCIStmtPrepare(")) continue;
    const std::size_t open = line.find('"');
    std::string statement = line.substr(open + 1, line.find('"', open + 1) - open - 1);
    statements.push_back(statement.substr(0, statement.find_last_not_of(' ') + 1));
  }
  EXPECT_EQ(statements,
            (std::vector<std::string>{
                "ALTER SESSION SET NLS_DATE_FORMAT='YYYYMMDD'",
                "ALTER SESSION SET NLS_NUMERIC_CHARACTERS = '. '",
                "select table_name from user_tables order by 1",
                "select table_name from user_tables order by 1",
                "select column_name, data_type, data_length, data_precision, data_scale, "
                "char_length from user_tab_columns where table_name = 'DEPT' order by Column_id",
                "select count(*) cnt from DEPT", "select * from DEPT order by 1"}));
  // Fetches of three rows, as asked.
  EXPECT_TRUE(Contains(ReadFile(trace), "OCIStmtFetch(stmt#")) << ReadFile(trace).substr(0, 500);
  EXPECT_TRUE(Contains(ReadFile(trace), ", 3, OCI_FETCH_NEXT, OCI_DEFAULT)"));
}

// A folder the program may not write into: read-only for its owner, or (for the superuser, who
// may write anywhere else) a file system mounted read-only.
TEST_F(ProgramTest, AFolderThatCannotBeWrittenIsRefusedBeforeConnecting) {
  const fs::path locked = dir.Path() / "locked";
  fs::create_directories(locked);
  std::string reason = "Permission denied";
  bool mounted = false;
  if (::geteuid() == 0) {
    mounted = ::mount("tarnwick-test", locked.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0;
    if (!mounted) GTEST_SKIP() << "the superuser writes anywhere, and no read-only tmpfs here";
    reason = "Read-only file system";
  } else {
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  }
  const std::string trace = dir.File("trace.txt");
  const TRunResult r = Run({.args = {"EMP", locked.string()}, .env = {{"STANDIN_TRACE", trace}}});
  if (mounted) ::umount(locked.c_str());
  fs::permissions(locked, fs::perms::owner_all);
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.err, "tarnwick-export: cannot write into the target folder " + locked.string() +
                       "/: " + reason + "\n");
  EXPECT_FALSE(fs::exists(trace));
  EXPECT_EQ(FilesIn(locked), std::vector<std::string>{});
}

TEST_F(ProgramTest, AnExistingFileIsReplacedOnlyWithOverwriteAndTheLogSaysSo) {
  std::ofstream(out / "nightly.dbf") << "yesterday";
  TRunResult r = Run({.args = {"-o", (out / "nightly.dbf").string(), "DEPT"}});
  EXPECT_EQ(r.status, 6);
  EXPECT_EQ(ReadFile((out / "nightly.dbf").string()), "yesterday");
  r = Run({.args = {"-o", (out / "nightly.dbf").string(), "DEPT", "--overwrite"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, "Файл " + (out / "nightly.dbf").string() + " удален!\n"));
  EXPECT_EQ(ReadDbf((out / "nightly.dbf").string()).count, 4u);
}

// The settings file is read with the window's rules, never written, and its problems end the run
// before the server is reached.
TEST_F(ProgramTest, SettingsFilesAreReadNeverWrittenAndCheckedFirst) {
  const std::string settings = dir.File("Tarnwick.INI");
  struct Case {
    std::string contents;
    mode_t mode;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"[Connect]\r\nString=demo/demo@demo\r\n", 0600, 0, ""},
      {"[Connect]\nString=demo/demo@demo\n", 0644, 0,
       "tarnwick-export: warning: the settings file " + settings +
           " holds a password and other users may read it; make it private with: chmod 600 " +
           settings + "\n"},
      {"[Connect]\nString=demo/demo@demo\ngarbage\n", 0600, 3,
       settings + ":3: broken line in the settings file"},
      {"[Connect]\n", 0600, 3, "holds no connection string (section [Connect], key String)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contents);
    std::ofstream(settings, std::ios::binary | std::ios::trunc) << c.contents;
    ::chmod(settings.c_str(), c.mode);
    fs::remove(out / "DEPT.dbf");
    const TRunResult r = Run({.args = {"--settings", settings, "DEPT", out.string()},
                              .env = {{"TARNWICK_CONNECT", std::nullopt}}});
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
    EXPECT_EQ(fs::exists(out / "DEPT.dbf"), c.status == 0);
    EXPECT_EQ(ReadFile(settings), c.contents);
    EXPECT_EQ(fs::status(settings).permissions(), static_cast<fs::perms>(c.mode));
  }
  // The command line wins over the environment, which wins over the settings file.
  std::ofstream(settings, std::ios::trunc) << "[Connect]\nString=demo/wrong@demo\n";
  ::chmod(settings.c_str(), 0600);
  fs::remove(out / "DEPT.dbf");
  TRunResult r = Run({.args = {"--settings", settings, "DEPT", out.string()},
                      .env = {{"TARNWICK_CONNECT", "demo/demo@demo"}}});
  EXPECT_EQ(r.status, 0) << r.err;
  r = Run({.args = {"--settings", settings, "--connect", "demo/wrong@demo", "-f", "DEPT",
                    out.string()}});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_TRUE(Contains(r.err, "connection string from --connect")) << r.err;
}

TEST_F(ProgramTest, HelpAndVersionInTheUsualForm) {
  TRunResult r = Run({.args = {"--help"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.starts_with("Usage: tarnwick-export [OPTION]... TABLE [FOLDER]\n"));
  EXPECT_EQ(r.err, "");
  r = Run({.args = {"--version"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.starts_with("tarnwick-export (Tarnwick) ")) << r.out;
}

}  // namespace
}  // namespace tarnwick::program_test
