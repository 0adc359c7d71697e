#pragma once
// The command line of tarnwick-export: its options, the table name rule, the help and version
// texts and the exit statuses.
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tarnwick::batch {

// The program's exit statuses; --help lists them.
enum ExitStatus : int {
  kExported = 0,          // the table was exported
  kFailed = 1,            // an unexpected error inside the program
  kUsage = 2,             // bad command line: unknown option, bad value, bad table name
  kNoSettings = 3,        // no connection string: the settings file is unreadable or broken,
                          // or no source gives one
  kCannotConnect = 4,     // the connection or its session settings failed
  kTableRefused = 5,      // the structure analysis refused the table (not found, types, sizes)
  kTargetExists = 6,      // the target file exists and --overwrite was not given
  kWriteFailed = 7,       // the target cannot be created or written (folder, permission, disk)
  kDatabaseError = 8,     // the database failed while listing, analysing or reading rows
  kTargetBusy = 9,        // another export of the same target is running
  kInterruptedBase = 128  // + the signal number: 130 after SIGINT, 143 after SIGTERM
};

struct TBatchOptions {
  std::string Table;                    // as given; see NormaliseTableName
  std::optional<std::string> Folder;    // the target folder (the working directory when absent)
  std::optional<std::string> Output;    // an explicit target file (-o)
  std::optional<std::string> Connect;   // --connect
  std::optional<std::string> Settings;  // --settings
  bool Overwrite = false;
  // --fetch-rows; when absent the rows per fetch follow the record length (FetchRowsForRecord).
  std::optional<int> FetchRows;
  bool AcceptNewerClient = false;  // --accept-newer-client
  bool Progress = true;            // a progress bar on standard error when it is a terminal
};

// What the command line asks for: an export, the help text, the version text, or a usage error
// with its message.
struct THelpRequest {};
struct TVersionRequest {};
struct TUsageError {
  std::string Message;
};
using TCommand = std::variant<TBatchOptions, THelpRequest, TVersionRequest, TUsageError>;

// Parses the arguments after the program name, with getopt_long. Options may come before,
// between or after the operands; "--" ends the options; "--name=value" and "--name value" are
// both accepted, as are "-o FILE" and "-oFILE"; short options may be bundled ("-fo FILE"), and a
// long name may be shortened to a beginning that no other option has ("--over"). getopt_long
// keeps its place in global variables: every call starts a new scan, and calls are serialised,
// but nothing else in the process may use getopt while one runs.
TCommand ParseCommandLine(const std::vector<std::string>& args);

// The table name as the program sends it to the server, or nothing when the text is not an
// unquoted Oracle identifier: a letter (Latin or Cyrillic) first, then letters, digits, "_", "$"
// and "#", at most 30 bytes in UTF-8. Letters are turned to upper case, as Oracle turns an
// unquoted name. Quotes, blanks, dots, semicolons and every other character are refused, so the
// command line can never add anything but a table name to the program's SQL.
std::optional<std::string> NormaliseTableName(const std::string& text);

// The texts of --help and --version (the manual page is made from them).
std::string HelpText();
std::string VersionText();

}  // namespace tarnwick::batch
