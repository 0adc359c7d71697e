// The command line of tarnwick-export: operands and options, usage errors, the table name rule,
// and the help and version texts.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "batch/BatchOptions.h"
#include "testsupport/core/ScopedEnvVar.h"

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

void ExpectParses(const std::vector<ParseCase>& cases) {
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

// The line of Describe for `table`, with the options of `changed` and the others at their
// defaults.
std::string Options(const std::string& table,
                    const std::map<std::string, std::string>& changed = {}) {
  const std::pair<std::string, std::string> defaults[] = {
      {"folder", "-"},    {"output", "-"},  {"connect", "-"},  {"settings", "-"},
      {"overwrite", "0"}, {"rows", "auto"}, {"progress", "1"}, {"newer", "0"}};
  std::string line = "table=";
  line += table;
  std::size_t used = 0;
  for (const auto& [key, value] : defaults) {
    const auto it = changed.find(key);
    used += it != changed.end() ? 1 : 0;
    line += ' ';
    line += key;
    line += '=';
    line += it != changed.end() ? it->second : value;
  }
  EXPECT_EQ(used, changed.size()) << "a key that Describe does not write";
  return line;
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
      {{"-fo", "x", "EMP"},
       "table=EMP folder=- output=x connect=- settings=- overwrite=1 rows=auto progress=1 "
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
      {{"--overwrite=yes", "EMP"}, "", "option '--overwrite' takes no value"},
      {{"--accept-newer-client=1", "EMP"}, "", "option '--accept-newer-client' takes no value"},
      {{"--connect=", "EMP"}, "", "the connection string of --connect is empty"},
      {{"EMP; drop table EMP"}, "", "is not a table name"},
      {{"EMP", ""}, "", "the target folder is empty"},
  };
  ExpectParses(cases);
}

TEST(BatchOptions, BundledShortOptions) {
  ExpectParses({
      {{"-fo", "x.dbf", "EMP"}, Options("EMP", {{"output", "x.dbf"}, {"overwrite", "1"}})},
      {{"-fox.dbf", "EMP"}, Options("EMP", {{"output", "x.dbf"}, {"overwrite", "1"}})},
      {{"EMP", "-fc", "a/b@c"}, Options("EMP", {{"connect", "a/b@c"}, {"overwrite", "1"}})},
      {{"-ff", "EMP"}, Options("EMP", {{"overwrite", "1"}})},
      // The value takes the rest of the argument, option letters too.
      {{"-of", "EMP"}, Options("EMP", {{"output", "f"}})},
      {{"-cfo", "EMP"}, Options("EMP", {{"connect", "fo"}})},
      {{"-fx", "EMP"}, "", "invalid option '-x'"},
      {{"-xf", "EMP"}, "", "invalid option '-x'"},
      {{"-f:", "EMP"}, "", "invalid option '-:'"},
      {{"-f-", "EMP"}, "", "invalid option '--'"},
      {{"EMP", "-fo"}, "", "option '-o' needs a value"},
  });
  EXPECT_TRUE(std::holds_alternative<THelpRequest>(ParseCommandLine({"-fh"})));
  EXPECT_TRUE(std::holds_alternative<TVersionRequest>(ParseCommandLine({"-fV", "EMP"})));
}

TEST(BatchOptions, LongOptionsWithEqualsOrTheNextArgument) {
  ExpectParses({
      {{"--output=x.dbf", "EMP"}, Options("EMP", {{"output", "x.dbf"}})},
      {{"--output", "x.dbf", "EMP"}, Options("EMP", {{"output", "x.dbf"}})},
      {{"--connect=a/b@c=d", "EMP"}, Options("EMP", {{"connect", "a/b@c=d"}})},
      {{"--settings=my.ini", "--fetch-rows=25", "EMP"},
       Options("EMP", {{"settings", "my.ini"}, {"rows", "25"}})},
      // A value may look like an option, or be "--".
      {{"--output", "-f", "EMP"}, Options("EMP", {{"output", "-f"}})},
      {{"-o", "--", "EMP"}, Options("EMP", {{"output", "--"}})},
      // An unambiguous beginning of a long name stands for it.
      {{"--over", "--fetch=7", "--no-p", "EMP"},
       Options("EMP", {{"overwrite", "1"}, {"rows", "7"}, {"progress", "0"}})},
      {{"--o", "EMP"}, "", "option '--o' is ambiguous; possibilities: '--output' '--overwrite'"},
      {{"--settings=", "EMP"}, "", "the file name of --settings is empty"},
      {{"--output=", "EMP"}, "", "the file name of --output is empty"},
      {{"-o", "", "EMP"}, "", "the file name of --output is empty"},
      {{"--help=yes"}, "", "option '--help' takes no value"},
      {{"--no-progress=", "EMP"}, "", "option '--no-progress' takes no value"},
      {{"--over=1", "EMP"}, "", "option '--overwrite' takes no value"},
  });
}

TEST(BatchOptions, MissingValuesAndUnknownOptions) {
  ExpectParses({
      {{"EMP", "--output"}, "", "option '--output' needs a value"},
      {{"EMP", "--out"}, "", "option '--output' needs a value"},
      {{"EMP", "-o"}, "", "option '-o' needs a value"},
      {{"EMP", "-c"}, "", "option '-c' needs a value"},
      {{"EMP", "--connect"}, "", "option '--connect' needs a value"},
      {{"EMP", "--settings"}, "", "option '--settings' needs a value"},
      {{"--frobnicate=1", "EMP"}, "", "unrecognised option '--frobnicate'"},
      {{"---f", "EMP"}, "", "unrecognised option '---f'"},
      {{"--overwritex", "EMP"}, "", "unrecognised option '--overwritex'"},
      {{"-\xFF", "EMP"}, "", "invalid option '-\xFF'"},
      {{"-Z", "EMP"}, "", "invalid option '-Z'"},
  });
}

TEST(BatchOptions, DoubleDashEndsTheOptions) {
  ExpectParses({
      {{"--", "EMP", "-o"}, Options("EMP", {{"folder", "-o"}})},
      {{"-f", "--", "EMP", "--"}, Options("EMP", {{"folder", "--"}, {"overwrite", "1"}})},
      {{"EMP", "--", "out"}, Options("EMP", {{"folder", "out"}})},
      {{"EMP", "--"}, Options("EMP")},
      {{"--", "-f"}, "", "'-f' is not a table name"},
      {{"--", "--", "EMP"}, "", "'--' is not a table name"},
      {{"-f", "--"}, "", "no table name given"},
      // "-" alone is an operand.
      {{"-"}, "", "'-' is not a table name"},
  });
}

// The parser's place is kept in global variables: a parse that stopped within a bundle, or
// before the end of its arguments, leaves nothing to the next one.
TEST(BatchOptions, EveryParseStartsAfresh) {
  const std::vector<std::vector<std::string>> first = {
      {"-xf", "EMP"}, {"-fxo", "EMP"}, {"-cf"}, {"--bad", "-f", "EMP"}, {"-h", "-f"}, {"EMP"},
  };
  for (const auto& args : first) {
    SCOPED_TRACE(args[0]);
    ParseCommandLine(args);
    ExpectParses(
        {{{"EMP"}, Options("EMP")}, {{"EMP", "-o", "x"}, Options("EMP", {{"output", "x"}})}});
  }
}

// Options and operands mix even when POSIXLY_CORRECT asks getopt to stop at the first operand.
TEST(BatchOptions, OptionsAfterOperandsWhateverPosixlyCorrectSays) {
  testsupport::ScopedEnvVar posix("POSIXLY_CORRECT", "1");
  ExpectParses({{{"EMP", "out", "-f"}, Options("EMP", {{"folder", "out"}, {"overwrite", "1"}})}});
}

// help2man makes the manual page from --help: its Options section names every option, each of
// them is the parser's in both its forms, and no line is wider than a terminal's 80 columns.
TEST(BatchOptions, HelpListsTheParsersOptions) {
  const std::string help = HelpText();
  const std::size_t from = help.find("\nOptions:\n");
  const std::size_t to = help.find("\n\n", from + 1);
  ASSERT_NE(from, std::string::npos);
  ASSERT_NE(to, std::string::npos);
  const std::string section = help.substr(from, to - from);
  const std::regex head("\n  (?:-(.), |    )--([a-z-]+)(=\\S+)?");
  std::vector<std::string> names;
  for (auto it = std::sregex_iterator(section.begin(), section.end(), head);
       it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    SCOPED_TRACE(m.str());
    names.push_back(m[2].str());
    const bool value = m[3].matched;
    std::string longForm = "--";
    longForm += m[2].str();
    if (value) longForm += "=x";
    std::vector<std::vector<std::string>> forms = {{longForm, "EMP"}};
    if (m[1].matched) {
      std::string shortForm = "-";
      shortForm += m[1].str();
      if (value) shortForm += 'x';
      forms.push_back({shortForm, "EMP"});
    }
    for (const auto& args : forms) {
      const TCommand command = ParseCommandLine(args);
      if (const auto* error = std::get_if<TUsageError>(&command)) {
        EXPECT_EQ(error->Message.find("option '"), std::string::npos) << error->Message;
      }
    }
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"connect", "settings", "output", "overwrite", "fetch-rows",
                                      "accept-newer-client", "no-progress", "help", "version"}));
  std::size_t start = 0;
  while (start < help.size()) {
    std::size_t end = help.find('\n', start);
    if (end == std::string::npos) end = help.size();
    EXPECT_LE(end - start, 80u) << help.substr(start, end - start);
    start = end + 1;
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
