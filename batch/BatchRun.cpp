#include "batch/BatchRun.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <variant>

#include "app/AppPaths.h"
#include "app/ExportSession.h"
#include "app/ExportText.h"
#include "batch/BatchOptions.h"
#include "batch/BatchSettings.h"
#include "batch/BatchView.h"
#include "dataset/FormatSettings.h"
#include "oracle/Exception.h"

namespace tarnwick::batch {

namespace {

namespace fs = std::filesystem;

// The target file and its folder, both absolute.
struct TTarget {
  std::string Path;
  std::string Folder;
};

std::string Absolute(const std::string& path, const std::string& workingDirectory) {
  fs::path p(path);
  if (p.is_relative() && !workingDirectory.empty()) p = fs::path(workingDirectory) / p;
  return p.lexically_normal().string();
}

std::string WithSlash(std::string folder) {
  if (!folder.ends_with('/')) folder += '/';
  return folder;
}

// Why nothing can be written into the folder, or nothing when it is a folder we may write into.
std::optional<std::string> FolderProblem(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    if (errno == ENOENT) return "the target folder " + folder + " does not exist";
    if (errno == ENOTDIR) return "the target folder " + folder + " is not a folder";
    return "cannot reach the target folder " + folder + ": " + std::strerror(errno);
  }
  if (!S_ISDIR(st.st_mode)) return "the target folder " + folder + " is not a folder";
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return "cannot write into the target folder " + folder + ": " + std::strerror(errno);
  }
  return std::nullopt;
}

int64_t Number(const std::string& text) {
  int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// What may have stopped a record from being written, when the system can tell: a full file
// system or the process's file size limit.
std::string WriteFailureCause(const TTarget& target, int64_t recordLength) {
  struct statvfs fsInfo {};
  if (::statvfs(target.Folder.c_str(), &fsInfo) == 0 &&
      static_cast<int64_t>(fsInfo.f_bavail) * static_cast<int64_t>(fsInfo.f_frsize) <
          recordLength) {
    return "the file system that holds " + target.Folder + " is full";
  }
  rlimit limit{};
  struct stat st {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      ::stat(target.Path.c_str(), &st) == 0 &&
      static_cast<uint64_t>(st.st_size) + static_cast<uint64_t>(recordLength) > limit.rlim_cur) {
    return "the file has reached the size limit of the process (ulimit -f)";
  }
  return {};
}

// The client's error text with every copy of the connection string's secret part (a server
// name that the client repeats may hold the password typed after a "/") replaced by "***".
std::string WithoutSecret(std::string message, const std::string& connectString) {
  const TSecretRange range = ConnectStringSecret(connectString);
  if (!range.Present() || range.End == range.Begin) return message;
  const std::string secret = connectString.substr(range.Begin, range.End - range.Begin);
  for (std::size_t at = message.find(secret); at != std::string::npos;
       at = message.find(secret, at + 3)) {
    message.replace(at, secret.size(), "***");
  }
  return message;
}

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal);
  }
}

std::string Records(int64_t count) {
  return std::to_string(count) + (count == 1 ? " record" : " records");
}

class TRun {
 public:
  TRun(const TBatchOptions& options, const TBatchEnvironment& environment)
      : options_(options),
        env_(environment),
        view_(environment.Out, environment.Err, options.Overwrite) {}

  int Run() {
    const std::string table = *NormaliseTableName(options_.Table);
    const std::optional<TTarget> target = FindTarget(table);
    if (!target) return status_;

    const std::string settingsPath = options_.Settings
                                         ? Absolute(*options_.Settings, env_.WorkingDirectory)
                                         : WindowSettingsPath(env_.ProgramPath);
    const TConnectSource source = FindConnectString(options_.Connect, env_.GetEnv, settingsPath,
                                                    options_.Settings.has_value());
    for (const std::string& warning : source.Warnings) view_.Note(warning);
    if (source.Error) {
      view_.Note(*source.Error);
      return kNoSettings;
    }
    if (Stopped()) return Interrupted("before connecting; no file was written");

    // The window's start-up settings of the value texts.
    FormatSettings().DateSeparator = '.';
    FormatSettings().ShortDateFormat = "dd.mm.yyyy";
    FormatSettings().DecimalSeparator = '.';

    TExportSession session(settingsPath, env_.MakeDatabase(options_.FetchRows));
    session.RememberConnection = false;
    session.StopRequested = [this] { return Stopped(); };
    if (env_.Now) session.Now = env_.Now;

    try {
      if (!session.Connect(view_, source.ConnectString)) {
        view_.Note(
            "cannot connect as " + ConnectDisplayText(source.ConnectString) +
            " (connection string from " + source.Origin + ")" +
            (session.ConnectError.empty()
                 ? ""
                 : ": " + ErrorText(WithoutSecret(session.ConnectError, source.ConnectString))));
        return kCannotConnect;
      }
      if (Stopped()) return Interrupted("before the structure analysis; no file was written");
      session.Analyse(view_, table);
      if (!session.Analysed()) {
        view_.Note("the table " + table + " cannot be exported; no file was written");
        return kTableRefused;
      }
      if (Stopped()) return Interrupted("after the structure analysis; no file was written");
    } catch (const EDatabaseError& e) {
      view_.Note(ErrorText(e.Message()));
      return kDatabaseError;
    }
    return Import(session, table, *target);
  }

 private:
  bool Stopped() const { return env_.StopSignal() != 0; }

  int Interrupted(const std::string& when) {
    const int signal = env_.StopSignal();
    view_.Note("interrupted by " + SignalName(signal) + " " + when);
    return kInterruptedBase + signal;
  }

  // The target file of the window's rule (or -o), checked before anything goes to the server.
  std::optional<TTarget> FindTarget(const std::string& table) {
    TTarget target;
    if (options_.Output) {
      if (options_.Output->ends_with('/')) {
        view_.Note("--output names a folder (" + *options_.Output +
                   "); give a file name, or the folder as the second operand");
        status_ = kUsage;
        return std::nullopt;
      }
      target.Path = Absolute(*options_.Output, env_.WorkingDirectory);
      target.Folder = WithSlash(fs::path(target.Path).parent_path().string());
    } else {
      target.Folder = WithSlash(Absolute(options_.Folder.value_or("."), env_.WorkingDirectory));
      target.Path = TargetFilePath(target.Folder, table);
    }
    if (const auto problem = FolderProblem(target.Folder)) {
      view_.Note(*problem);
      status_ = kWriteFailed;
      return std::nullopt;
    }
    struct stat st {};
    if (::lstat(target.Path.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) {
        view_.Note("the target " + target.Path + " is a folder");
        status_ = kWriteFailed;
        return std::nullopt;
      }
      if (!options_.Overwrite) {
        view_.Note("the target file " + target.Path + " exists; give --overwrite to replace it");
        status_ = kTargetExists;
        return std::nullopt;
      }
      if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        view_.Note("the target " + target.Path + " is not a regular file; it is not replaced");
        status_ = kWriteFailed;
        return std::nullopt;
      }
    }
    return target;
  }

  int Import(TExportSession& session, const std::string& table, const TTarget& target) {
    if (options_.Progress && env_.ErrIsTerminal) {
      view_.EnableProgress([&session] { return session.RecordsWritten; },
                           [&session] { return int64_t{session.TableRowCount}; });
    }
    TImportResult result;
    try {
      result = session.Import(view_, target.Path, table);
    } catch (const EDatabaseError& e) {
      view_.EndProgress();
      view_.Note(ErrorText(e.Message()));
      view_.Note("the export stopped at a database error; " + target.Path + " keeps the " +
                 Records(session.RecordsWritten) + " written before it, with a matching count");
      return kDatabaseError;
    }
    view_.EndProgress();
    switch (result) {
      case TImportResult::Done:
        if (session.RecordsWritten == 0) {
          view_.Note("warning: the table " + table + " has no rows; " + target.Path +
                     " holds no records");
        } else {
          view_.Note(Records(session.RecordsWritten) + " written to " + target.Path);
        }
        return kExported;
      case TImportResult::Declined:
        view_.Note("the target file " + target.Path + " exists; give --overwrite to replace it");
        return kTargetExists;
      case TImportResult::CannotCreate:
      case TImportResult::CannotOpen:
        return kWriteFailed;
      case TImportResult::WriteFailed: {
        int64_t recordLength = 1;
        for (const std::string& length : session.DbfLengths) recordLength += Number(length);
        const std::string cause = WriteFailureCause(target, recordLength);
        view_.Note("cannot write to " + target.Path + (cause.empty() ? "" : ": " + cause) +
                   "; the file keeps the " + Records(session.RecordsWritten) +
                   " written before, with a matching count");
        return kWriteFailed;
      }
      case TImportResult::Stopped:
        return Interrupted("during the export; " + target.Path + " keeps the " +
                           Records(session.RecordsWritten) +
                           " written so far, with a matching count");
    }
    return kFailed;
  }

  const TBatchOptions& options_;
  const TBatchEnvironment& env_;
  TBatchView view_;
  int status_ = kFailed;
};

}  // namespace

int RunBatch(const std::vector<std::string>& args, const TBatchEnvironment& environment) {
  const TCommand command = ParseCommandLine(args);
  if (std::holds_alternative<THelpRequest>(command)) {
    std::fputs(HelpText().c_str(), environment.Out);
    return kExported;
  }
  if (std::holds_alternative<TVersionRequest>(command)) {
    std::fputs(VersionText().c_str(), environment.Out);
    return kExported;
  }
  if (const auto* error = std::get_if<TUsageError>(&command)) {
    std::fputs(("tarnwick-export: " + error->Message + "\n").c_str(), environment.Err);
    return kUsage;
  }
  try {
    TRun run(std::get<TBatchOptions>(command), environment);
    return run.Run();
  } catch (const std::exception& e) {
    std::fputs(("tarnwick-export: " + ErrorText(e.what()) + "\n").c_str(), environment.Err);
    return kFailed;
  }
}

}  // namespace tarnwick::batch
