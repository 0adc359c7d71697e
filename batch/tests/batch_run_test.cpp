// One run of the batch front end against scripted result sets: what goes to standard output and
// standard error, the exit status of every outcome, the file written, and what never happens
// (a question, a settings file written, a statement before the command line was checked).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "app/ExportText.h"
#include "app/IniFile.h"
#include "app/tests/export/ExportFakes.h"
#include "batch/BatchFetch.h"
#include "batch/BatchOptions.h"
#include "batch/BatchRun.h"
#include "batch/BatchView.h"
#include "oracle/Oracall.h"

namespace tarnwick::batch {
namespace {

using export_test::ReadDbf;
using export_test::TColumn;
using export_test::TForwardingDatabase;
using export_test::TScriptedDatabase;
using export_test::TValue;

const std::vector<TColumn> kColumns = {{"ID", "NUMBER", 22, 5, 0},
                                       {"NAME", "VARCHAR2", 10, std::nullopt, std::nullopt}};

std::vector<std::vector<TValue>> Rows(int count) {
  std::vector<std::vector<TValue>> rows;
  for (int i = 1; i <= count; ++i) rows.push_back({int32_t{i}, "имя " + std::to_string(i)});
  return rows;
}

// What was written to a temporary file since the last call; the file is emptied.
std::string ReadAll(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::rewind(file);
  EXPECT_EQ(::ftruncate(::fileno(file), 0), 0);
  return text;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RunTest : public ::testing::Test {
 protected:
  RunTest() {
    db.SetTables({"EMPLOYEES_HISTORY", "EMPTY"});
    db.AddTable("EMPLOYEES_HISTORY", kColumns, Rows(5));
    db.AddTable("EMPTY", kColumns, {});
    env.ProgramPath = dir.File("bin/tarnwick-export");
    env.WorkingDirectory = dir.Path().string();
    env.GetEnv = [this](const char* name) -> std::optional<std::string> {
      const auto found = variables.find(name);
      if (found == variables.end()) return std::nullopt;
      return found->second;
    };
    env.Out = out;
    env.Err = err;
    env.MakeDatabase = [this](int fetchRows) -> std::unique_ptr<IExportDatabase> {
      fetchRowsAsked = fetchRows;
      return std::make_unique<TForwardingDatabase>(db);
    };
    env.Now = [] { return EncodeDateTime(2008, 8, 15, 14, 30, 5, 0); };
    std::filesystem::create_directories(dir.Path() / "bin");
    std::filesystem::create_directories(dir.Path() / "out");
    variables["TARNWICK_CONNECT"] = "demo/secret@demo";
  }
  ~RunTest() override {
    std::fclose(out);
    std::fclose(err);
  }

  // Runs the command line with the database's call record cleared first.
  int Run(const std::vector<std::string>& args) {
    db.calls.clear();
    const int status = RunBatch(args, env);
    stdoutText = ReadAll(out);
    stderrText = ReadAll(err);
    return status;
  }

  testsupport::ScratchDir dir{"tarnwick-batch"};
  TScriptedDatabase db;
  std::map<std::string, std::string> variables;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  TBatchEnvironment env;
  int fetchRowsAsked = 0;
  std::string stdoutText;
  std::string stderrText;
};

TEST_F(RunTest, ExportsTheTableWithTheWindowsReportLogAndFileName) {
  ASSERT_EQ(Run({"employees_history", "out", "--fetch-rows", "7"}), kExported) << stderrText;
  const std::string path = dir.File("out/EMPLOYEE.dbf");
  const export_test::TDbfFile file = ReadDbf(path);
  EXPECT_EQ(file.count, 5u);
  EXPECT_EQ(file.records[4].substr(0, 7), " 5     ");
  EXPECT_EQ(fetchRowsAsked, 7);

  // The report and the log on standard output, line by line, as the memo shows them.
  EXPECT_TRUE(stdoutText.starts_with("Структура таблицы \n \n N    Имя поля")) << stdoutText;
  EXPECT_TRUE(Contains(stdoutText, "\nВ таблице  5  записей!\n"));
  // The records go into a file of their own until the export is complete; then it becomes the
  // target, and nothing else stays in the folder.
  EXPECT_TRUE(Contains(stdoutText, "\nФайл " + dir.File("out/EMPLOYEE.partial.dbf") +
                                       " создан!\nНачало импорта: 15.08.2008 "
                                       "14:30:05\nКонец импорта: 15.08.2008 "
                                       "14:30:05\n"))
      << stdoutText;
  EXPECT_EQ(stderrText, "tarnwick-export: 5 records written to " + path + "\n");
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path() / "out")) {
    left.push_back(e.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"EMPLOYEE.dbf"});

  // The statements are the window's, with the name as the table list writes it.
  EXPECT_EQ(
      db.Calls("open unidirectional"),
      (std::vector<std::string>{"open unidirectional select * from EMPLOYEES_HISTORY order by 1"}));
  EXPECT_EQ(db.Calls("open select count").size(), 1u);
  EXPECT_EQ(db.Calls("login"), (std::vector<std::string>{"login demo|secret|demo"}));
}

TEST_F(RunTest, AnExplicitTargetFileAndTheWorkingDirectoryAsDefaultFolder) {
  ASSERT_EQ(Run({"-o", "out/nightly.dbf", "EMPLOYEES_HISTORY"}), kExported) << stderrText;
  EXPECT_EQ(ReadDbf(dir.File("out/nightly.dbf")).count, 5u);

  ASSERT_EQ(Run({"EMPLOYEES_HISTORY"}), kExported) << stderrText;
  EXPECT_EQ(ReadDbf(dir.File("EMPLOYEE.dbf")).count, 5u);
}

TEST_F(RunTest, AnEmptyTableGivesAFileWithoutRecordsAndAWarning) {
  ASSERT_EQ(Run({"EMPTY", "out"}), kExported);
  const export_test::TDbfFile file = ReadDbf(dir.File("out/EMPTY.dbf"));
  EXPECT_EQ(file.count, 0u);
  EXPECT_EQ(file.fileSize, file.headerLength);
  EXPECT_EQ(stderrText, "tarnwick-export: warning: the table EMPTY has no rows; " +
                            dir.File("out/EMPTY.dbf") + " holds no records\n");
}

// Checks that end the run before anything reaches the server.
TEST_F(RunTest, BadInputEndsTheRunBeforeAnyStatementWithItsStatus) {
  std::ofstream(dir.File("out/EMPLOYEE.dbf")) << "keep me";
  std::ofstream(dir.File("plain-file")) << "x";
  std::filesystem::create_directories(dir.Path() / "out/EMPTY.dbf");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"EMP'; drop"}, kUsage, "is not a table name"},
      {{"EMPLOYEES_HISTORY", "missing"},
       kWriteFailed,
       "the target folder " + dir.File("missing/") + " does not exist"},
      {{"EMPLOYEES_HISTORY", "plain-file"}, kWriteFailed, "is not a folder"},
      {{"-o", "missing/x.dbf", "EMPLOYEES_HISTORY"}, kWriteFailed, "does not exist"},
      {{"-o", "out/", "EMPLOYEES_HISTORY"}, kUsage, "--output names a folder"},
      {{"EMPLOYEES_HISTORY", "out"},
       kTargetExists,
       "the target file " + dir.File("out/EMPLOYEE.dbf") +
           " exists; give --overwrite to replace it"},
      {{"EMPTY", "out", "--overwrite"}, kWriteFailed, dir.File("out/EMPTY.dbf") + " is a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    EXPECT_EQ(Run(c.args), c.status);
    EXPECT_TRUE(Contains(stderrText, c.message)) << stderrText;
    EXPECT_EQ(stdoutText, "");
    EXPECT_TRUE(db.calls.empty());
  }
  std::ifstream kept(dir.File("out/EMPLOYEE.dbf"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
}

TEST_F(RunTest, OverwriteReplacesAnExistingFileAndTheLogSaysSo) {
  std::ofstream(dir.File("out/EMPLOYEE.dbf")) << "old";
  ASSERT_EQ(Run({"EMPLOYEES_HISTORY", "out", "-f"}), kExported) << stderrText;
  EXPECT_TRUE(Contains(stdoutText, "Файл " + dir.File("out/EMPLOYEE.dbf") + " удален!\n"));
  EXPECT_EQ(ReadDbf(dir.File("out/EMPLOYEE.dbf")).count, 5u);
}

TEST_F(RunTest, FailuresOfTheServerAndTheTableHaveTheirOwnStatus) {
  struct Case {
    std::string name;
    std::function<void(TScriptedDatabase&)> arrange;
    std::string table;
    int status;
    std::vector<std::string> messages;
    bool fileWritten;
  };
  const std::vector<Case> cases = {
      {"wrong password",
       [](TScriptedDatabase& d) {
         d.connectError = {1017, "ORA-01017: invalid username/password; logon denied"};
       },
       "EMPLOYEES_HISTORY",
       kCannotConnect,
       {"tarnwick-export: Нет соединения с базой данных!\n",
        "tarnwick-export: cannot connect as demo/***@demo (connection string from "
        "TARNWICK_CONNECT): "
        "ORA-01017: invalid username/password; logon denied.\n"},
       false},
      {"a newer client, refused",
       [](TScriptedDatabase& d) { d.clientError = "OCI version 19.1 is not supported"; },
       "EMPLOYEES_HISTORY",
       kCannotConnect,
       {"tarnwick-export: cannot connect as demo/***@demo (connection string from "
        "TARNWICK_CONNECT): OCI version 19.1 is not supported.\n",
        "tarnwick-export: the program was made for Oracle clients 7.3 and 8 to 10; to use this "
        "newer one the way it uses those, give --accept-newer-client, set "
        "TARNWICK_ACCEPT_NEWER_CLIENT=1, or put AcceptNewerClient=1 in section [Client] of the "
        "settings file "},
       false},
      {"a client that cannot be loaded",
       [](TScriptedDatabase& d) {
         d.clientError =
             "Cannot load OCI DLL: /opt/ic/libclntsh.so (libaio.so.1: cannot open shared object "
             "file: No such file or directory)";
       },
       "EMPLOYEES_HISTORY",
       kCannotConnect,
       {": Cannot load OCI DLL: /opt/ic/libclntsh.so (libaio.so.1: cannot open shared object "
        "file: No such file or directory)\n"},
       false},
      {"missing table",
       [](TScriptedDatabase& d) {
         // The dictionary has no rows for it.
         d.results[TScriptedDatabase::DictionaryQuery("NO_SUCH")] = {
             {"COLUMN_NAME", "DATA_TYPE", "DATA_LENGTH", "DATA_PRECISION", "DATA_SCALE"}, {}};
       },
       "NO_SUCH",
       kTableRefused,
       {"Таблица NO_SUCH не найдена", "the table NO_SUCH cannot be exported; no file was written"},
       false},
      {"refused type",
       [](TScriptedDatabase& d) {
         d.AddTable("DOCS", {{"ID", "NUMBER", 22, 5, 0}, {"BODY", "CLOB", 4000, {}, {}}});
       },
       "DOCS",
       kTableRefused,
       {"обрабатывает только следующие типы данных"},
       false},
      {"table list fails",
       [](TScriptedDatabase& d) {
         d.results.erase("select table_name from user_tables order by 1 ");
       },
       "EMPLOYEES_HISTORY",
       kDatabaseError,
       {"tarnwick-export: ORA-00942: table or view does not exist.\n"},
       false},
      {"connection lost after 3 rows",
       [](TScriptedDatabase& d) {
         d.results["select * from EMPLOYEES_HISTORY order by 1"].failAfterRows = 3;
       },
       "EMPLOYEES_HISTORY",
       kDatabaseError,
       {"ORA-03113: end-of-file on communication channel.\n",
        "keeps the 3 records written before it, with a matching count"},
       true},
  };
  const TScriptedDatabase base = db;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    db = base;
    c.arrange(db);
    std::filesystem::remove_all(dir.Path() / "out");
    std::filesystem::create_directories(dir.Path() / "out");
    EXPECT_EQ(Run({c.table, "out"}), c.status);
    for (const std::string& message : c.messages) {
      EXPECT_TRUE(Contains(stderrText, message)) << stderrText;
    }
    // No target; the records written stay in the export's own file.
    EXPECT_FALSE(std::filesystem::exists(dir.File("out/" + c.table.substr(0, 8) + ".dbf")));
    const std::string file = dir.File("out/" + c.table.substr(0, 8) + ".partial.dbf");
    EXPECT_EQ(std::filesystem::exists(file), c.fileWritten);
    if (c.fileWritten) {
      EXPECT_TRUE(Contains(stderrText, file + " keeps the")) << stderrText;
      EXPECT_EQ(ReadDbf(file).count, 3u);
    }
  }
}

TEST_F(RunTest, TheOptInHintIsOnlyForNewerClients) {
  db.clientError = "OCI version 7.2 is not supported";
  EXPECT_EQ(Run({"EMPLOYEES_HISTORY", "out"}), kCannotConnect);
  EXPECT_TRUE(Contains(stderrText, "OCI version 7.2 is not supported")) << stderrText;
  EXPECT_FALSE(Contains(stderrText, "--accept-newer-client")) << stderrText;
}

TEST_F(RunTest, RowsPerFetchFollowTheRecordUnlessGiven) {
  auto texts = [](int count, int length) {
    std::vector<TColumn> columns;
    for (int i = 0; i < count; ++i) {
      columns.push_back({"T" + std::to_string(i), "VARCHAR2", length, std::nullopt, std::nullopt});
    }
    return columns;
  };
  db.AddTable("WIDE", texts(4, 255));      // 1 + 4 x 255 = 1021 bytes a record
  db.AddTable("WIDEST", texts(250, 255));  // 63 751 bytes
  struct Case {
    std::vector<std::string> args;
    int listingRows;
    std::string fetchRows;
  };
  const std::vector<Case> cases = {
      {{"EMPLOYEES_HISTORY", "out"}, 25, "fetch rows 10000"},  // 1 + 6 + 10 = 17 bytes
      {{"WIDE", "out"}, 25, "fetch rows 1027"},
      {{"WIDEST", "out"}, 25, "fetch rows 25"},
      {{"WIDE", "out", "-f", "--fetch-rows", "7"}, 7, "fetch rows 7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fetchRows);
    ASSERT_EQ(Run(c.args), kExported) << stderrText;
    EXPECT_EQ(fetchRowsAsked, c.listingRows) << "the listing and the analysis read as the window";
    // The choice comes after the analysis and before the rows are read.
    ASSERT_EQ(db.Calls("fetch rows"), std::vector<std::string>{c.fetchRows});
    const auto at = [&](const std::string& call) {
      return std::find(db.calls.begin(), db.calls.end(), call) - db.calls.begin();
    };
    EXPECT_LT(at("open select count(*) cnt from " + c.args[0]), at(c.fetchRows));
    EXPECT_LT(at(c.fetchRows),
              at("open unidirectional select * from " + c.args[0] + " order by 1"));
  }
}

TEST_F(RunTest, TheOptInToNewerClientsComesFromTheOptionTheVariableOrTheSettingsFile) {
  const std::string windowSettings = dir.File("bin/Tarnwick.INI");
  const std::string named = dir.File("named.ini");
  TIniFile(named).WriteString("Client", "AcceptNewerClient", "1");
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::optional<std::string> variable;
    std::optional<std::string> windowValue;
    int status;
    bool accepted;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"nothing", {}, std::nullopt, std::nullopt, kExported, false, ""},
      {"the option", {"--accept-newer-client"}, std::nullopt, std::nullopt, kExported, true, ""},
      {"the variable over the file", {}, "1", "0", kExported, true, ""},
      {"the window's settings file", {}, std::nullopt, "1", kExported, true, ""},
      {"the named settings file instead of the window's",
       {"--settings", named},
       std::nullopt,
       "0",
       kExported,
       true,
       ""},
      {"a bad variable, even with the option",
       {"--accept-newer-client"},
       "true",
       std::nullopt,
       kUsage,
       false,
       "tarnwick-export: TARNWICK_ACCEPT_NEWER_CLIENT is 'true': it takes 1 (accept Oracle "
       "clients of version 11 and later, used as clients 8 to 10 are) or 0 (refuse them)\n"},
      {"a bad value in the settings file",
       {},
       std::nullopt,
       "2",
       kUsage,
       false,
       "tarnwick-export: " + windowSettings +
           ": AcceptNewerClient in section [Client] is '2': it takes 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(windowSettings);
    if (c.windowValue) {
      TIniFile(windowSettings).WriteString("Client", "AcceptNewerClient", *c.windowValue);
    }
    if (c.variable) {
      variables["TARNWICK_ACCEPT_NEWER_CLIENT"] = *c.variable;
    } else {
      variables.erase("TARNWICK_ACCEPT_NEWER_CLIENT");
    }
    AcceptNewerClient = !c.accepted;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"EMPLOYEES_HISTORY", "out", "-f"});
    EXPECT_EQ(Run(args), c.status) << stderrText;
    if (c.status == kExported) {
      EXPECT_EQ(AcceptNewerClient, c.accepted);
    } else {
      EXPECT_TRUE(Contains(stderrText, c.message)) << stderrText;
      EXPECT_TRUE(db.calls.empty()) << "nothing reaches the server";
    }
  }
  AcceptNewerClient = false;
}

TEST(FetchRowsForRecord, AboutOneMebibyteWithinTheLimits) {
  const std::vector<std::pair<int64_t, int>> cases = {
      {0, 10000},  {1, 10000},  {17, 10000}, {104, 10000}, {105, 9986}, {223, 4702}, {1021, 1027},
      {20000, 52}, {40329, 26}, {40330, 25}, {41943, 25},  {41944, 25}, {65535, 25},
  };
  for (const auto& [length, rows] : cases) EXPECT_EQ(FetchRowsForRecord(length), rows) << length;
}

// A client whose error repeats the server text: without "@" the split takes the whole string for
// the server, the password typed after the "/" included, and the message hides it there too.
TEST_F(RunTest, TheClientsErrorTextShowsNoPasswordEither) {
  const std::pair<std::string, std::string> cases[] = {
      {"demo/s3cretPW",
       "cannot connect as demo/*** (connection string from TARNWICK_CONNECT): "
       "ORA-12154: cannot resolve demo/***"},
      {"demo/s3cretPW@srv",
       "cannot connect as demo/***@srv (connection string from "
       "TARNWICK_CONNECT): ORA-12154: cannot resolve srv."},
  };
  for (const auto& [connect, message] : cases) {
    SCOPED_TRACE(connect);
    variables["TARNWICK_CONNECT"] = connect;
    const std::string server = SplitConnectString(connect).Server;
    db.connectError = {12154, "ORA-12154: cannot resolve " + server};
    EXPECT_EQ(Run({"EMPLOYEES_HISTORY", "out"}), kCannotConnect);
    EXPECT_TRUE(Contains(stderrText, message)) << stderrText;
    EXPECT_FALSE(Contains(stdoutText + stderrText, "s3cret")) << stderrText;
  }
}

TEST_F(RunTest, ASignalStopsTheExportBetweenRecordsWithAConsistentFileAndALogLine) {
  db.AddTable("EMPLOYEES_HISTORY", kColumns, Rows(50));
  // Asked three times before the import (before connecting, before and after the analysis),
  // then once before each row: the signal comes after the twentieth record.
  int asked = 0;
  env.StopSignal = [&] { return ++asked > 3 + 20 ? SIGTERM : 0; };
  EXPECT_EQ(Run({"EMPLOYEES_HISTORY", "out"}), kInterruptedBase + SIGTERM);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out/EMPLOYEE.dbf")));
  const export_test::TDbfFile file = ReadDbf(dir.File("out/EMPLOYEE.partial.dbf"));
  EXPECT_EQ(file.count, 20u);
  EXPECT_EQ(file.fileSize, file.headerLength + file.count * file.recordLength);
  EXPECT_TRUE(Contains(stdoutText, "Импорт прерван: 15.08.2008 14:30:05. Записано записей: " +
                                       std::to_string(file.count) + "\n"))
      << stdoutText;
  EXPECT_TRUE(Contains(stderrText, "interrupted by SIGTERM during the export; " +
                                       dir.File("out/EMPLOYEE.partial.dbf") + " keeps the " +
                                       std::to_string(file.count) +
                                       " records written so far, with a matching count"))
      << stderrText;
}

TEST_F(RunTest, ASignalBeforeTheImportWritesNoFile) {
  env.StopSignal = [] { return SIGINT; };
  EXPECT_EQ(Run({"EMPLOYEES_HISTORY", "out"}), kInterruptedBase + SIGINT);
  EXPECT_EQ(stderrText,
            "tarnwick-export: interrupted by SIGINT before connecting; no file was written\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("out/EMPLOYEE.dbf")));
  EXPECT_TRUE(db.calls.empty());
}

TEST_F(RunTest, TheSettingsFileIsReadNeverWritten) {
  variables.clear();
  const std::string settings = dir.File("bin/Tarnwick.INI");
  const std::string contents = "; the window's file\n[Connect]\nString=demo/secret@demo\n";
  std::ofstream(settings) << contents;
  ::chmod(settings.c_str(), 0600);
  ASSERT_EQ(Run({"EMPLOYEES_HISTORY", "out"}), kExported) << stderrText;
  EXPECT_EQ(db.Calls("login"), (std::vector<std::string>{"login demo|secret|demo"}));
  std::ifstream in(settings);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), contents);

  // With the string from the environment no settings file comes into being either.
  std::filesystem::remove(settings);
  variables["TARNWICK_CONNECT"] = "demo/secret@demo";
  ASSERT_EQ(Run({"EMPLOYEES_HISTORY", "out", "-f"}), kExported) << stderrText;
  EXPECT_FALSE(std::filesystem::exists(settings));
}

TEST_F(RunTest, SettingsProblemsEndTheRunBeforeConnecting) {
  variables.clear();
  const std::string named = dir.File("my.ini");
  std::ofstream(named) << "[Connect]\nString demo/demo@demo\n";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"EMPLOYEES_HISTORY", "out"},
       "no connection string: there is no settings file " + dir.File("bin/Tarnwick.INI")},
      {{"--settings", "my.ini", "EMPLOYEES_HISTORY", "out"}, named + ":2: broken line"},
      {{"--settings", "none.ini", "EMPLOYEES_HISTORY", "out"},
       "the settings file " + dir.File("none.ini") + " does not exist"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), kNoSettings);
    EXPECT_TRUE(Contains(stderrText, c.message)) << stderrText;
    EXPECT_TRUE(db.calls.empty());
  }
}

TEST_F(RunTest, HelpVersionAndUsageErrorsGoToTheirStreams) {
  EXPECT_EQ(Run({"--help"}), kExported);
  EXPECT_EQ(stdoutText, HelpText());
  EXPECT_EQ(stderrText, "");
  EXPECT_EQ(Run({"--version"}), kExported);
  EXPECT_EQ(stdoutText, VersionText());
  EXPECT_EQ(Run({"--fetch-rows=0", "EMP"}), kUsage);
  EXPECT_EQ(stdoutText, "");
  EXPECT_TRUE(stderrText.starts_with("tarnwick-export: --fetch-rows takes")) << stderrText;
}

TEST(ErrorText, AddsTheWindowsFullStopAndDropsTrailingLineBreaks) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Division by zero", "Division by zero."},
      {"Готово!", "Готово!"},
      {"List index out of bounds (3)", "List index out of bounds (3)"},
      {"Нет таблицы", "Нет таблицы."},
      {"ORA-00942: table or view does not exist\n", "ORA-00942: table or view does not exist"},
      // The rule sees the message as it comes: a closing line break gets no full stop.
      {"Нет соединения\r\n", "Нет соединения"},
      {"", ""},
  };
  for (const auto& [message, shown] : cases) EXPECT_EQ(ErrorText(message), shown);
}

TEST(ProgressLine, ShowsRowsRateAndTimeLeftWithinTheWidth) {
  struct Case {
    int64_t written, expected;
    double seconds;
    std::size_t width;
    std::string line;
  };
  const std::vector<Case> cases = {
      {45000, 100000, 4.5, 100,
       "[##########..............]  45%  45000/100000 rows  10000 rows/s  0:06 left"},
      {0, 100000, 0, 100, "[........................]   0%  0/100000 rows  0 rows/s"},
      {100000, 100000, 2, 100,
       "[########################] 100%  100000/100000 rows  50000 rows/s  0:00 left"},
      {10, 3600010, 1, 100,
       "[........................]   0%  10/3600010 rows  10 rows/s  100:00:00 left"},
      {120, 0, 2, 100, "120 rows  60 rows/s"},
      {120, 100, 2, 100, "120 rows  60 rows/s"},
      {45000, 100000, 4.5, 20, "[##########........."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TBatchView::ProgressLine(c.written, c.expected, c.seconds, c.width), c.line);
  }
}

TEST(ProgressLine, IsDrawnAFewTimesASecondNotPerRecord) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  TBatchView view(out, err, false);
  int64_t written = 0;
  TBatchView::Clock::time_point now{};
  view.EnableProgress([&] { return written; }, [] { return int64_t{1000}; }, [&] { return now; });
  for (written = 1; written <= 1000; ++written) {
    now += std::chrono::milliseconds(1);  // a record per millisecond: one second in all
    view.SetGauge(0);
  }
  view.AddMemoLine("Конец импорта");
  view.EndProgress();
  const std::string text = ReadAll(err);
  std::size_t draws = 0;
  for (std::size_t at = 0; (at = text.find("\r[", at)) != std::string::npos; ++at) ++draws;
  EXPECT_EQ(draws, 4u) << text;  // at 250, 500, 750 and 1000 ms
  // The bar leaves the line before the log line is written, and is not drawn again.
  EXPECT_TRUE(text.ends_with("1000/1000 rows  1000 rows/s  0:00 left\x1b[K\r\x1b[K")) << text;
  EXPECT_EQ(ReadAll(out), "Конец импорта\n");
  std::fclose(out);
  std::fclose(err);
}

}  // namespace
}  // namespace tarnwick::batch
