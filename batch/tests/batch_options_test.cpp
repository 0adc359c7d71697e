// The command line of tarnwick-export: operands and options, usage errors, the table name rule,
// and the help and version texts.
#include <gtest/gtest.h>

#include <regex>

#include "batch/BatchOptions.h"

namespace tarnwick::batch {
namespace {

struct ParseCase {
  std::vector<std::string> args;
  // The options expected, written as one line (see Describe); empty for a usage error.
  std::string options;
  // A part of the usage error's message.
  std::string error = "";
};

std::string Describe(const TBatchOptions& o) {
  return "table=" + o.Table + " folder=" + o.Folder.value_or("-") +
         " output=" + o.Output.value_or("-") + " connect=" + o.Connect.value_or("-") +
         " settings=" + o.Settings.value_or("-") + " overwrite=" + (o.Overwrite ? "1" : "0") +
         " rows=" + (o.FetchRows ? std::to_string(*o.FetchRows) : "auto") +
         " progress=" + (o.Progress ? "1" : "0") + " newer=" + (o.AcceptNewerClient ? "1" : "0");
}

TEST(BatchOptions, ParsesOperandsAndOptionsInAnyOrder) {
  const std::vector<ParseCase> cases = {
      {{"EMP"},
       "table=EMP folder=- output=- connect=- settings=- overwrite=0 rows=auto progress=1 newer=0"},
      {{"EMP", "/tmp/out"},
       "table=EMP folder=/tmp/out output=- connect=- settings=- overwrite=0 rows=auto progress=1 "
       "newer=0"},
      {{"--overwrite", "EMP", "out", "--fetch-rows", "500"},
       "table=EMP folder=out output=- connect=- settings=- overwrite=1 rows=500 progress=1 "
       "newer=0"},
      {{"-o", "x.dbf", "emp", "-f", "--fetch-rows=1", "--no-progress"},
       "table=emp folder=- output=x.dbf connect=- settings=- overwrite=1 rows=1 progress=0 "
       "newer=0"},
      {{"-ox.dbf", "EMP"},
       "table=EMP folder=- output=x.dbf connect=- settings=- overwrite=0 rows=auto progress=1 "
       "newer=0"},
      {{"--connect=demo/demo@demo", "--settings", "my.ini", "EMP"},
       "table=EMP folder=- output=- connect=demo/demo@demo settings=my.ini overwrite=0 rows=auto "
       "progress=1 newer=0"},
      {{"-c", "a/b@c", "--fetch-rows", "10000", "--", "EMP"},
       "table=EMP folder=- output=- connect=a/b@c settings=- overwrite=0 rows=10000 progress=1 "
       "newer=0"},
      {{"EMP", "--accept-newer-client"},
       "table=EMP folder=- output=- connect=- settings=- overwrite=0 rows=auto progress=1 "
       "newer=1"},
      // Usage errors.
      {{}, "", "no table name given"},
      {{"EMP", "a", "b"}, "", "too many operands: 'b'"},
      {{"-o", "x.dbf", "EMP", "folder"}, "", "either a target folder or --output"},
      {{"--fetch-rows=0", "EMP"}, "", "--fetch-rows takes a whole number from 1 to 10000, not '0'"},
      {{"--fetch-rows=10001", "EMP"}, "", "not '10001'"},
      {{"--fetch-rows", "25x", "EMP"}, "", "not '25x'"},
      {{"--fetch-rows=", "EMP"}, "", "not ''"},
      {{"EMP", "--fetch-rows"}, "", "option '--fetch-rows' needs a value"},
      {{"--frobnicate", "EMP"}, "", "unrecognised option '--frobnicate'"},
      {{"-x", "EMP"}, "", "invalid option '-x'"},
      {{"-fo", "x", "EMP"}, "", "option '-f' takes no value"},
      {{"--overwrite=yes", "EMP"}, "", "option '--overwrite' takes no value"},
      {{"--accept-newer-client=1", "EMP"}, "", "option '--accept-newer-client' takes no value"},
      {{"--connect=", "EMP"}, "", "the connection string of --connect is empty"},
      {{"EMP; drop table EMP"}, "", "is not a table name"},
      {{"EMP", ""}, "", "the target folder is empty"},
  };
  for (const ParseCase& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += "[" + a + "]";
    SCOPED_TRACE(joined);
    const TCommand command = ParseCommandLine(c.args);
    if (c.options.empty()) {
      const auto* error = std::get_if<TUsageError>(&command);
      ASSERT_NE(error, nullptr);
      EXPECT_NE(error->Message.find(c.error), std::string::npos) << error->Message;
      EXPECT_NE(error->Message.find("Try 'tarnwick-export --help'"), std::string::npos);
    } else {
      const auto* options = std::get_if<TBatchOptions>(&command);
      ASSERT_NE(options, nullptr) << std::get<TUsageError>(command).Message;
      EXPECT_EQ(Describe(*options), c.options);
    }
  }
}

TEST(BatchOptions, HelpAndVersionWinOverEverythingElse) {
  EXPECT_TRUE(std::holds_alternative<THelpRequest>(ParseCommandLine({"--help"})));
  EXPECT_TRUE(std::holds_alternative<THelpRequest>(ParseCommandLine({"EMP", "-h", "-V"})));
  EXPECT_TRUE(std::holds_alternative<TVersionRequest>(ParseCommandLine({"-V"})));
  EXPECT_TRUE(std::holds_alternative<TVersionRequest>(ParseCommandLine({"--version", "EMP"})));
  // A bad option still is a usage error, as in the usual tools.
  EXPECT_TRUE(std::holds_alternative<TUsageError>(ParseCommandLine({"--help", "--bad"})));
}

TEST(BatchOptions, TableNamesAreUnquotedOracleIdentifiersInUpperCase) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"EMP", "EMP"},
      {"emp", "EMP"},
      {"Long_Column_Names", "LONG_COLUMN_NAMES"},
      {"a$b#1_", "A$B#1_"},
      {"сотрудники_2024", "СОТРУДНИКИ_2024"},
      {"ёлка", "ЁЛКА"},
      {std::string(30, 'x'), std::string(30, 'X')},
      {"я" + std::string(28, 'z'), "Я" + std::string(28, 'Z')},  // 30 bytes
      // Refused.
      {std::string(31, 'x'), std::nullopt},
      {"я" + std::string(29, 'z'), std::nullopt},  // 31 bytes
      {"", std::nullopt},
      {"1EMP", std::nullopt},
      {"_EMP", std::nullopt},
      {"$EMP", std::nullopt},
      {"EMP;", std::nullopt},
      {"EMP DROP", std::nullopt},
      {" EMP", std::nullopt},
      {"\"EMP\"", std::nullopt},
      {"'EMP'", std::nullopt},
      {"EMP'--", std::nullopt},
      {"SCOTT.EMP", std::nullopt},
      {"EMP/*x*/", std::nullopt},
      {"EMP\n", std::nullopt},
      {"EMP\tX", std::nullopt},
      {"caf\xC3\xA9", std::nullopt},    // é: only Latin and Cyrillic letters
      {"A\xC0\x80", std::nullopt},      // an overlong NUL
      {"A\xD0", std::nullopt},          // a sequence cut short
      {"A\xE2\x80\x8B", std::nullopt},  // a zero-width space
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(NormaliseTableName(text), expected) << "[" << text << "]";
  }
}

// A connection string typed where an operand or an option belongs: the usage error shows it
// without its password.
TEST(BatchOptions, UsageErrorsNeverShowAPassword) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"demo/s3cretPW"}, "'demo/***' is not a table name"},
      {{"demo/s3cretPW@demo", "EMP"}, "'demo/***@demo' is not a table name"},
      {{"s3cretPW@demo"}, "'***@demo' is not a table name"},
      {{"EMP", "out", "demo/s3cretPW@demo"}, "too many operands: 'demo/***@demo'"},
      {{"--demo/s3cretPW", "EMP"}, "unrecognised option '--demo/***'"},
      {{"--connect/s3cretPW@demo", "EMP"}, "unrecognised option '--connect/***@demo'"},
      {{"--fetch-rows=demo/s3cretPW", "EMP"}, "not 'demo/***'"},
  };
  for (const auto& [args, shown] : cases) {
    SCOPED_TRACE(args[0]);
    const TCommand command = ParseCommandLine(args);
    ASSERT_TRUE(std::holds_alternative<TUsageError>(command));
    const std::string& message = std::get<TUsageError>(command).Message;
    EXPECT_NE(message.find(shown), std::string::npos) << message;
    EXPECT_EQ(message.find("s3cret"), std::string::npos) << message;
  }
  // Given as the table, it is also told where a connection string goes.
  const TCommand command = ParseCommandLine({"demo/s3cretPW@demo"});
  EXPECT_NE(std::get<TUsageError>(command).Message.find(
                "a connection string is given with --connect, TARNWICK_CONNECT or the settings "
                "file"),
            std::string::npos);
}

TEST(BatchOptions, HelpNamesEveryExitStatusAndTheConnectionSources) {
  const std::string help = HelpText();
  for (int status : std::initializer_list<int>{
           kExported, kFailed, kUsage, kNoSettings, kCannotConnect, kTableRefused, kTargetExists,
           kWriteFailed, kDatabaseError, kInterruptedBase + 2}) {
    EXPECT_TRUE(std::regex_search(help, std::regex("\n  " + std::to_string(status) + " +\\S")))
        << status;
  }
  for (const char* text : {"--connect", "TARNWICK_CONNECT", "Tarnwick.INI", "XDG_CONFIG_HOME",
                           "--settings", "--overwrite", "--fetch-rows", "Usage: tarnwick-export"}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
  const std::string version = VersionText();
  EXPECT_TRUE(std::regex_search(version,
                                std::regex("^tarnwick-export \\(Tarnwick\\) \\d+\\.\\d+\\.\\d+\n")))
      << version;
}

}  // namespace
}  // namespace tarnwick::batch
