#include "batch/BatchOptions.h"

#include <charconv>

#include "app/ExportText.h"

namespace tarnwick::batch {

namespace {

constexpr int kMaxFetchRows = 10000;

// The options that take a value, by their long name; the short names map to them.
struct TOptionSpec {
  const char* longName;
  char shortName;
  bool takesValue;
};

constexpr TOptionSpec kOptions[] = {
    {"connect", 'c', true},    {"settings", 0, true},   {"output", 'o', true},
    {"overwrite", 'f', false}, {"fetch-rows", 0, true}, {"no-progress", 0, false},
    {"help", 'h', false},      {"version", 'V', false}, {"accept-newer-client", 0, false},
};

const TOptionSpec* FindLong(const std::string& name) {
  for (const TOptionSpec& spec : kOptions) {
    if (name == spec.longName) return &spec;
  }
  return nullptr;
}

const TOptionSpec* FindShort(char name) {
  for (const TOptionSpec& spec : kOptions) {
    if (spec.shortName != 0 && spec.shortName == name) return &spec;
  }
  return nullptr;
}

// An argument as a message may show it: a connection string typed in its place (given as the
// table, or without its option) keeps its password out of the message.
std::string Shown(const std::string& arg) {
  return ConnectDisplayText(arg);
}

std::string TryHelp() {
  return "\nTry 'tarnwick-export --help' for more information.";
}

}  // namespace

std::optional<std::string> NormaliseTableName(const std::string& text) {
  return UpperTableIdentifier(text);
}

TCommand ParseCommandLine(const std::vector<std::string>& args) {
  TBatchOptions options;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  bool help = false;
  bool version = false;

  // Applies one option with its value (empty for options without one).
  auto apply = [&](const TOptionSpec& spec,
                   const std::string& value) -> std::optional<std::string> {
    const std::string name = spec.longName;
    if (name == "connect") {
      if (value.empty()) return "the connection string of --connect is empty";
      options.Connect = value;
    } else if (name == "settings") {
      if (value.empty()) return "the file name of --settings is empty";
      options.Settings = value;
    } else if (name == "output") {
      if (value.empty()) return "the file name of --output is empty";
      options.Output = value;
    } else if (name == "overwrite") {
      options.Overwrite = true;
    } else if (name == "fetch-rows") {
      int rows = 0;
      const char* end = value.data() + value.size();
      const auto result = std::from_chars(value.data(), end, rows);
      if (value.empty() || result.ec != std::errc() || result.ptr != end || rows < 1 ||
          rows > kMaxFetchRows) {
        return "--fetch-rows takes a whole number from 1 to " + std::to_string(kMaxFetchRows) +
               ", not '" + Shown(value) + "'";
      }
      options.FetchRows = rows;
    } else if (name == "accept-newer-client") {
      options.AcceptNewerClient = true;
    } else if (name == "no-progress") {
      options.Progress = false;
    } else if (name == "help") {
      help = true;
    } else if (name == "version") {
      version = true;
    }
    return std::nullopt;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const TOptionSpec* spec = nullptr;
    std::optional<std::string> value;
    std::string shown;
    if (arg.starts_with("--")) {
      const std::size_t eq = arg.find('=');
      const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      shown = Shown("--" + name);
      spec = FindLong(name);
      if (spec == nullptr) return TUsageError{"unrecognised option '" + shown + "'" + TryHelp()};
      if (eq != std::string::npos) {
        if (!spec->takesValue) {
          return TUsageError{"option '" + shown + "' takes no value" + TryHelp()};
        }
        value = arg.substr(eq + 1);
      }
    } else {
      shown = arg.substr(0, 2);
      spec = FindShort(arg[1]);
      if (spec == nullptr) return TUsageError{"invalid option '" + shown + "'" + TryHelp()};
      if (arg.size() > 2) {
        if (!spec->takesValue) {
          return TUsageError{"option '" + shown +
                             "' takes no value (options are given one by one)" + TryHelp()};
        }
        value = arg.substr(2);
      }
    }
    if (spec->takesValue && !value) {
      if (i + 1 >= args.size()) {
        return TUsageError{"option '" + shown + "' needs a value" + TryHelp()};
      }
      value = args[++i];
    }
    if (auto error = apply(*spec, value.value_or(""))) return TUsageError{*error + TryHelp()};
  }

  if (help) return THelpRequest{};
  if (version) return TVersionRequest{};
  if (operands.empty()) return TUsageError{"no table name given" + TryHelp()};
  if (operands.size() > 2) {
    return TUsageError{"too many operands: '" + Shown(operands[2]) +
                       "' (a table and a folder at most)" + TryHelp()};
  }
  if (operands.size() == 2 && options.Output) {
    return TUsageError{"give either a target folder or --output, not both" + TryHelp()};
  }
  options.Table = operands[0];
  if (!NormaliseTableName(options.Table)) {
    return TUsageError{"'" + Shown(options.Table) +
                       "' is not a table name: an unquoted Oracle identifier is a letter, then "
                       "letters, digits, '_', '$' or '#', at most 30 bytes (no quotes, blanks, "
                       "dots or semicolons)" +
                       (ConnectStringSecret(options.Table).Present()
                            ? "; a connection string is given with --connect, TARNWICK_CONNECT "
                              "or the settings file"
                            : "") +
                       TryHelp()};
  }
  if (operands.size() == 2) {
    if (operands[1].empty()) return TUsageError{"the target folder is empty" + TryHelp()};
    options.Folder = operands[1];
  }
  return options;
}

std::string HelpText() {
  return R"(Usage: tarnwick-export [OPTION]... TABLE [FOLDER]
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
  -c, --connect=USER/PASSWORD@SERVER
                         the connection string (see below)
      --settings=FILE    read the connection string from FILE instead of the
                         window's settings file
  -o, --output=FILE      write FILE instead of FOLDER/<TABLE>.dbf
  -f, --overwrite        replace an existing target file once the new export
                         is complete (it is refused otherwise: the program
                         never asks)
      --fetch-rows=N     rows per fetch from the server, 1 to 10000; by default
                         as many as make about 1 MiB of records (the DBF
                         record length found by the structure analysis), from
                         25 (the window's rows per fetch) to 10000
      --accept-newer-client
                         use an Oracle client of version 11 or later (the
                         program was made for clients 7.3 and 8 to 10 and
                         refuses newer ones otherwise) the way it uses a
                         client 8 to 10; see Environment for setting it once
      --no-progress      no progress bar, even on a terminal
  -h, --help             display this help and exit
  -V, --version          output version information and exit

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
}

std::string VersionText() {
  return "tarnwick-export (Tarnwick) " TARNWICK_VERSION R"(
Exports one Oracle table to a dBASE III (DBF) file, as the Tarnwick window does.
)";
}

}  // namespace tarnwick::batch
