#include "batch/BatchOptions.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <mutex>
#include <string_view>

#include "app/ExportText.h"

namespace tarnwick::batch {

namespace {

constexpr int kMaxFetchRows = 10000;

// The options of the long name only have numbers above those of characters.
enum TOptionId : int {
  kConnectOption = 'c',
  kOutputOption = 'o',
  kOverwriteOption = 'f',
  kHelpOption = 'h',
  kVersionOption = 'V',
  kSettingsOption = 256,
  kFetchRowsOption,
  kAcceptNewerClientOption,
  kNoProgressOption,
};

// Every option once: the parser's tables for getopt_long and the Options section of --help are
// made from this list, in its order.
struct TOptionSpec {
  const char* longName;
  int id;             // the short name's character, or a TOptionId above 255 for none
  const char* value;  // the value's name in the help; nullptr for an option without a value
  // The help's description, broken into lines where the help breaks it; the lines after the
  // first start at the description column.
  const char* help;
};

constexpr TOptionSpec kOptions[] = {
    {"connect", kConnectOption, "USER/PASSWORD@SERVER", "the connection string (see below)"},
    {"settings", kSettingsOption, "FILE",
     "read the connection string from FILE instead of the\n"
     "window's settings file"},
    {"output", kOutputOption, "FILE", "write FILE instead of FOLDER/<TABLE>.dbf"},
    {"overwrite", kOverwriteOption, nullptr,
     "replace an existing target file once the new export\n"
     "is complete (it is refused otherwise: the program\n"
     "never asks)"},
    {"fetch-rows", kFetchRowsOption, "N",
     "rows per fetch from the server, 1 to 10000; by default\n"
     "as many as make about 1 MiB of records (the DBF\n"
     "record length found by the structure analysis), from\n"
     "25 (the window's rows per fetch) to 10000"},
    {"accept-newer-client", kAcceptNewerClientOption, nullptr,
     "use an Oracle client of version 11 or later (the\n"
     "program was made for clients 7.3 and 8 to 10 and\n"
     "refuses newer ones otherwise) the way it uses a\n"
     "client 8 to 10; see Environment for setting it once"},
    {"no-progress", kNoProgressOption, nullptr, "no progress bar, even on a terminal"},
    {"help", kHelpOption, nullptr, "display this help and exit"},
    {"version", kVersionOption, nullptr, "output version information and exit"},
};

// The column where the help's descriptions start.
constexpr std::size_t kHelpColumn = 25;

bool HasShortName(const TOptionSpec& spec) {
  return spec.id < 256;
}

const TOptionSpec* FindId(int id) {
  for (const TOptionSpec& spec : kOptions) {
    if (spec.id == id) return &spec;
  }
  return nullptr;
}

// The Options section of --help: "  -c, --connect=VALUE" (six blanks in place of a missing short
// name), the description from kHelpColumn on, on the next line when the name leaves no room.
std::string OptionsHelp() {
  std::string text;
  for (const TOptionSpec& spec : kOptions) {
    std::string head(6, ' ');
    if (HasShortName(spec)) {
      head[2] = '-';
      head[3] = static_cast<char>(spec.id);
      head[4] = ',';
    }
    head += "--";
    head += spec.longName;
    if (spec.value != nullptr) {
      head += '=';
      head += spec.value;
    }
    text += head;
    if (head.size() + 2 <= kHelpColumn) {
      text.append(kHelpColumn - head.size(), ' ');
    } else {
      text += '\n';
      text.append(kHelpColumn, ' ');
    }
    for (const char* c = spec.help; *c != '\0'; ++c) {
      text += *c;
      if (*c == '\n') text.append(kHelpColumn, ' ');
    }
    text += '\n';
  }
  return text;
}

// An argument as a message may show it: a connection string typed in its place (given as the
// table, or without its option) keeps its password out of the message.
std::string Shown(const std::string& arg) {
  return ConnectDisplayText(arg);
}

// A usage error: the message, then where to read more.
TUsageError Usage(std::string message) {
  message += "\nTry 'tarnwick-export --help' for more information.";
  return TUsageError{std::move(message)};
}

// The arguments as getopt_long takes them: argv[0] the program's name, then copies of `args`,
// then a null pointer.
class TArgv {
 public:
  explicit TArgv(const std::vector<std::string>& args) {
    strings_.reserve(args.size() + 1);
    strings_.emplace_back("tarnwick-export");
    strings_.insert(strings_.end(), args.begin(), args.end());
    for (std::string& arg : strings_) pointers_.push_back(arg.data());
    pointers_.push_back(nullptr);
  }
  int Count() const { return static_cast<int>(strings_.size()); }
  char** Data() { return pointers_.data(); }
  const std::string& operator[](int i) const { return strings_[static_cast<std::size_t>(i)]; }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

// "--" and the long name of an option.
std::string LongName(const TOptionSpec& spec) {
  std::string name(2, '-');
  name += spec.longName;
  return name;
}

// "-" and the character of a short option.
std::string ShortName(int id) {
  std::string name(2, '-');
  name[1] = static_cast<char>(id);
  return name;
}

// head + "'" + name + "'" + tail. (Built by appending: GCC 12 at -O3 warns falsely about
// the concatenations of a literal with a string temporary.)
std::string Quoted(const char* head, const std::string& name, const std::string& tail = "") {
  std::string text = head;
  text += '\'';
  text += name;
  text += '\'';
  text += tail;
  return text;
}

// The message of what getopt_long refused: `result` is its "?" or ":", `refused` its optopt and
// `argument` the argument it stepped past last (the one refused when that holds a long name).
std::string RefusedOption(int result, int refused, const std::string& argument) {
  const TOptionSpec* spec = FindId(refused);
  if (result == ':' && spec != nullptr) {
    const bool typedShort = HasShortName(*spec) && !argument.starts_with("--");
    return Quoted("option ", typedShort ? ShortName(refused) : LongName(*spec), " needs a value");
  }
  // An option of the table is refused otherwise only when its long name is given a value.
  if (spec != nullptr) return Quoted("option ", LongName(*spec), " takes no value");
  if (refused != 0) return Quoted("invalid option ", ShortName(refused));
  // A long name that is no option, or the beginning of more than one.
  const std::size_t end = argument.find('=');
  const std::string name = argument.starts_with("--")
                               ? argument.substr(2, end == std::string::npos ? end : end - 2)
                               : argument;
  std::string candidates;
  int matches = 0;
  for (const TOptionSpec& candidate : kOptions) {
    if (!name.empty() && std::string_view(candidate.longName).starts_with(name)) {
      candidates += Quoted(" ", LongName(candidate));
      ++matches;
    }
  }
  std::string typed(2, '-');
  typed += name;
  const std::string shown = Shown(typed);
  if (matches > 1) {
    std::string tail = " is ambiguous; possibilities:";
    tail += candidates;
    return Quoted("option ", shown, tail);
  }
  return Quoted("unrecognised option ", shown);
}

// getopt_long keeps its place in global variables: one parse at a time.
std::mutex& ParseMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

std::optional<std::string> NormaliseTableName(const std::string& text) {
  return UpperTableIdentifier(text);
}

TCommand ParseCommandLine(const std::vector<std::string>& args) {
  TBatchOptions options;
  std::vector<std::string> operands;
  bool help = false;
  bool version = false;

  // Applies one option with its value (empty for options without one).
  auto apply = [&](int id, const std::string& value) -> std::optional<std::string> {
    switch (id) {
      case kConnectOption:
        if (value.empty()) return "the connection string of --connect is empty";
        options.Connect = value;
        break;
      case kSettingsOption:
        if (value.empty()) return "the file name of --settings is empty";
        options.Settings = value;
        break;
      case kOutputOption:
        if (value.empty()) return "the file name of --output is empty";
        options.Output = value;
        break;
      case kOverwriteOption:
        options.Overwrite = true;
        break;
      case kFetchRowsOption: {
        int rows = 0;
        const char* end = value.data() + value.size();
        const auto result = std::from_chars(value.data(), end, rows);
        if (value.empty() || result.ec != std::errc() || result.ptr != end || rows < 1 ||
            rows > kMaxFetchRows) {
          std::string head = "--fetch-rows takes a whole number from 1 to ";
          head += std::to_string(kMaxFetchRows);
          head += ", not ";
          return Quoted(head.c_str(), Shown(value));
        }
        options.FetchRows = rows;
        break;
      }
      case kAcceptNewerClientOption:
        options.AcceptNewerClient = true;
        break;
      case kNoProgressOption:
        options.Progress = false;
        break;
      case kHelpOption:
        help = true;
        break;
      case kVersionOption:
        version = true;
        break;
    }
    return std::nullopt;
  };

  // "-" first: every operand is returned in its place (options and operands mix, whatever
  // POSIXLY_CORRECT says, and nothing is permuted); ":" next: getopt_long prints nothing and
  // tells a missing value apart.
  std::string shortOptions = "-:";
  std::vector<option> longOptions;
  for (const TOptionSpec& spec : kOptions) {
    if (HasShortName(spec)) {
      shortOptions += static_cast<char>(spec.id);
      if (spec.value != nullptr) shortOptions += ':';
    }
    longOptions.push_back(
        {spec.longName, spec.value != nullptr ? required_argument : no_argument, nullptr, spec.id});
  }
  longOptions.push_back({nullptr, 0, nullptr, 0});

  TArgv argv(args);
  const std::lock_guard<std::mutex> lock(ParseMutex());
  opterr = 0;
  // 0, not 1: glibc then starts a new scan, forgetting where an earlier one stopped (within a
  // bundle of short options, too).
  optind = 0;
  for (;;) {
    const int result =
        getopt_long(argv.Count(), argv.Data(), shortOptions.c_str(), longOptions.data(), nullptr);
    if (result == -1) break;
    if (result == 1) {
      operands.emplace_back(optarg);
      continue;
    }
    if (result == '?' || result == ':') {
      return Usage(RefusedOption(result, optopt, argv[std::max(optind, 1) - 1]));
    }
    if (auto error = apply(result, optarg != nullptr ? optarg : "")) {
      return Usage(std::move(*error));
    }
  }
  // What follows "--".
  for (int i = optind; i < argv.Count(); ++i) operands.push_back(argv[i]);

  if (help) return THelpRequest{};
  if (version) return TVersionRequest{};
  if (operands.empty()) return Usage("no table name given");
  if (operands.size() > 2) {
    return Usage(
        Quoted("too many operands: ", Shown(operands[2]), " (a table and a folder at most)"));
  }
  if (operands.size() == 2 && options.Output) {
    return Usage("give either a target folder or --output, not both");
  }
  options.Table = operands[0];
  if (!NormaliseTableName(options.Table)) {
    std::string message = Quoted("", Shown(options.Table),
                                 " is not a table name: an unquoted Oracle identifier is a letter, "
                                 "then letters, digits, '_', '$' or '#', at most 30 bytes (no "
                                 "quotes, blanks, dots or semicolons)");
    if (ConnectStringSecret(options.Table).Present()) {
      message +=
          "; a connection string is given with --connect, TARNWICK_CONNECT or the settings file";
    }
    return Usage(std::move(message));
  }
  if (operands.size() == 2) {
    if (operands[1].empty()) return Usage("the target folder is empty");
    options.Folder = operands[1];
  }
  return options;
}

std::string HelpText() {
  std::string text = R"(Usage: tarnwick-export [OPTION]... TABLE [FOLDER]
  or:  tarnwick-export [OPTION]... -o FILE TABLE
Export one Oracle table to a dBASE III (DBF) file the way the Tarnwick window
does: connect, check the table's structure, then write every row, in code
page 866.

The file is FOLDER/<first 8 characters of TABLE>.dbf (FOLDER is the working
directory when omitted), or FILE with -o. The record count in the file's header
is rewritten after every record, so a file cut short by a database error, a
full disk, a signal or a kill still opens in every DBF reader, with the records
written so far.

TABLE is a table or view of the connected user, written as an unquoted Oracle
identifier: a Latin or Cyrillic letter, then letters, digits, '_', '$' or '#',
at most 30 bytes. It is turned to upper case, as Oracle turns unquoted names
(emp is EMP). Quoted names, names with a schema, blanks, quotes, semicolons and
other characters are refused before anything is sent to the server.

Options:
)";
  text += OptionsHelp();
  text += R"(
The connection string USER/PASSWORD@SERVER comes from the first of:
  1. --connect (the process list shows a command line to other users: prefer
     2 or 3 when the string holds a password);
  2. the environment variable TARNWICK_CONNECT, when it is set and not empty;
  3. the settings file: FILE of --settings, else the file where the Tarnwick
     window remembers the string of its last successful connection (section
     [Connect], key String): Tarnwick.INI in the folder of this program, or,
     when that folder cannot be written (an installation for all users),
     $XDG_CONFIG_HOME/tarnwick/Tarnwick.INI (XDG_CONFIG_HOME is ~/.config when
     unset); while the user has no such file, Tarnwick.INI in the program's
     folder is read instead (one the administrator put there for everyone).
The settings file is only read, never written. One that other users may read
is used with a warning; one that cannot be read or has broken lines is an
error, and so is anything but a regular file (a FIFO or a device is refused
without opening it for reading) and a file larger than 1 MiB. Messages show a
connection string with its password as *** (demo/***@demo).

Standard output gets the window's structure report and log, line by line, in
UTF-8. Standard error gets the texts of the window's message boxes, the
program's own messages and, when it is a terminal, a progress bar (rows,
rows per second, time left).

NUMBER values keep every digit. A column of up to 15 digits is written as the
window shows it; a wider one (a precision above 15, INTEGER, NUMBER without a
precision) with all its digits and no exponent for integers, in a DBF field
long enough for its widest value (NUMBER(18): 19 characters, NUMBER(20,2): 22).
A NUMBER without precision gets a field of 39 characters, which holds every
integer of up to 38 digits; a longer value (1/3 with its 40 digits) is rounded
to the digits that fit. After the end line the log says how many values were
rounded, per DBF field, and standard error repeats that line.

Exit status:
  0    the table was exported (an empty table gives a file without records and
       a warning)
  1    an unexpected error inside the program
  2    usage error: an unknown option, a bad value, a bad table name, a value
       other than 0 or 1 of TARNWICK_ACCEPT_NEWER_CLIENT or AcceptNewerClient
  3    no connection string: the settings file cannot be read or has broken
       lines, or no source gives one
  4    the connection to the server failed
  5    the structure analysis refused the table: not found, without columns, a
       column type other than NUMBER, DATE and VARCHAR2, text longer than 255,
       more than 255 columns or too long a record
  6    the target file exists and --overwrite was not given (or its memo file
       NAME.FPT, or the unfinished NAME.partial.dbf of an earlier export); or a
       target file appeared during the export (it is not replaced)
  7    the target cannot be written: no such folder, no permission, disk full;
       or the file written was deleted, truncated or replaced by another
       program during the export, or could not be synced to disk
  8    a database error while listing, analysing or reading the table
  9    another export of the same target is running (it holds NAME.lock)
  130  interrupted by SIGINT (143: SIGTERM, 129: SIGHUP); the file keeps the
       records written so far with a matching count, and the log says so

Until the export is complete its records go into NAME.partial.dbf beside the
target (a table that readers open, consistent after every record); only a
complete export, checked and synced to disk, becomes the target, replacing an
old one with --overwrite. Any failure or interruption leaves the old target as
it was and names the unfinished file, which keeps the records written.

Environment:
  TARNWICK_CONNECT   the connection string (see above)
  XDG_CONFIG_HOME, HOME
                     where the user's settings file is (see above)
  ORACLE_HOME, LD_LIBRARY_PATH, NLS_LANG
                     how the Oracle client is found and talks, as for the
                     window; without an Oracle client the program uses the
                     stand-in client installed beside it
  TARNWICK_ACCEPT_NEWER_CLIENT
                     1: accept an Oracle client of version 11 or later, as
                     --accept-newer-client does; 0: refuse it. Without the
                     variable the settings file decides (section [Client],
                     key AcceptNewerClient, 1 or 0; FILE of --settings,
                     else the window's settings file, then the one in the
                     program's folder); the window reads both the same way.
                     Any other value is an error.
)";
  return text;
}

std::string VersionText() {
  return "tarnwick-export (Tarnwick) " TARNWICK_VERSION R"(
Exports one Oracle table to a dBASE III (DBF) file, as the Tarnwick window does.
)";
}

}  // namespace tarnwick::batch
