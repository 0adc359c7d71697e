#include "batch/BatchRun.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <variant>

#include "app/AppPaths.h"
#include "app/ClientOptIn.h"
#include "app/ExportSession.h"
#include "app/ExportText.h"
#include "app/TargetState.h"
#include "base/Exception.h"
#include "batch/BatchFetch.h"
#include "batch/BatchOptions.h"
#include "batch/BatchSettings.h"
#include "batch/BatchView.h"
#include "dbf/dbf.h"
#include "oracle/Oracall.h"

namespace tarnwick::batch {

namespace {

namespace fs = std::filesystem;

// The target file and its folder, both absolute, and the files beside it that an export uses:
// the table's memo companion (which the program never writes, but which readers would take for
// the companion of the new table), the file the records go into until the export is complete,
// and the lock that keeps a second export of the same target away.
struct TTarget {
  std::string Path;
  std::string Folder;
  std::string Memo;
  std::string Partial;
  std::string Lock;
  bool Existed = false;  // a file was at Path when the export began
};

// "X.dbf" gives "X.partial.dbf", so that the unfinished file still opens as a table; a name
// without a ".dbf" ending gets ".partial" appended.
std::string PartialPath(const std::string& path) {
  if (path.size() > 4) {
    std::string ending = path.substr(path.size() - 4);
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ending == ".dbf") return path.substr(0, path.size() - 4) + ".partial" + ending;
  }
  return path + ".partial";
}

bool NameTaken(const std::string& path) {
  return TargetState(path).Present();
}

// The lock of a target: the file "<target>.lock", held with flock while the export runs, so that
// a second export of the same target fails at once instead of writing the same files. It holds
// the process id of its holder. The holder removes it at the end; one left by a killed export is
// taken over by the next (flock ends with its holder).
class TTargetLock {
 public:
  enum class TResult { Held, Busy, Failed };

  TTargetLock() = default;
  TTargetLock(const TTargetLock&) = delete;
  TTargetLock& operator=(const TTargetLock&) = delete;
  ~TTargetLock() { Release(); }

  // Busy: another process holds it (`holder` gets its process id when the file says it).
  // Failed: the file cannot be made or locked (`error` gets the system's message).
  TResult Acquire(const std::string& path, std::string& holder, std::string& error) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (fd < 0) {
        error = std::strerror(errno);
        return TResult::Failed;
      }
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int lockError = errno;
        char text[32] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        ::close(fd);
        if (lockError == EWOULDBLOCK) {
          holder = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
          while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) {
            holder.pop_back();
          }
          return TResult::Busy;
        }
        error = std::strerror(lockError);
        return TResult::Failed;
      }
      // The holder before us may have removed the file between our open and our lock: the lock
      // counts only while the name still leads to the locked file.
      struct stat locked {};
      struct stat named {};
      if (::fstat(fd, &locked) == 0 && ::lstat(path.c_str(), &named) == 0 &&
          locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        // The process id only helps the message of a second export; a failed write is no harm.
        [[maybe_unused]] const bool noted =
            ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) > 0;
        fd_ = fd;
        path_ = path;
        return TResult::Held;
      }
      ::close(fd);
    }
    error = "the lock file keeps being replaced";
    return TResult::Failed;
  }

 private:
  void Release() {
    if (fd_ < 0) return;
    // Removed while still locked, so that no other export can hold the name that goes.
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
  }

  int fd_ = -1;
  std::string path_;
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

// The cause of the writer's last failure, as the system names it; a file size limit says which.
std::string WriterCause() {
  std::string cause = dbf_last_error_text();
  if (dbf_last_error() == EFBIG) cause += " (the file size limit of the process, ulimit -f)";
  return cause;
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
    // The opt-in to newer clients: the settings file in use, else the window's as the window
    // reads it (its own, then the one beside the programs).
    const TSettingsFiles windowFiles =
        SettingsFilesFor(FolderOfFile(env_.ProgramPath) + "Tarnwick");
    const TClientOptIn optIn = FindClientOptIn(
        options_.AcceptNewerClient, env_.GetEnv,
        options_.Settings ? std::vector<std::string>{settingsPath}
                          : std::vector<std::string>{windowFiles.Read, windowFiles.Beside});
    if (optIn.Error) {
      view_.Note(*optIn.Error);
      return kUsage;
    }
    AcceptNewerClient = optIn.Accept;

    const TConnectSource source = FindConnectString(options_.Connect, env_.GetEnv, settingsPath,
                                                    options_.Settings.has_value());
    for (const std::string& warning : source.Warnings) view_.Note(warning);
    if (source.Error) {
      view_.Note(*source.Error);
      return kNoSettings;
    }
    if (Stopped()) return Interrupted("before connecting; no file was written");

    // The listing and the analysis read as the window does; the rows of the table are read in
    // blocks chosen for its records once the analysis knows them.
    std::unique_ptr<IExportDatabase> database =
        env_.MakeDatabase(options_.FetchRows.value_or(kLeastFetchRows));
    IExportDatabase& db = *database;
    TExportSession session(settingsPath, std::move(database));
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
        if (RefusedAsNewerClient(session.ConnectError)) {
          view_.Note(
              "the program was made for Oracle clients 7.3 and 8 to 10; to use this newer one "
              "the way it uses those, give --accept-newer-client, set " +
              std::string(kAcceptNewerClientVariable) + "=1, or put " + kAcceptNewerClientKey +
              "=1 in section [" + kClientSection + "] of the settings file " +
              (options_.Settings ? settingsPath : windowFiles.Read));
        }
        return kCannotConnect;
      }
      if (Stopped()) return Interrupted("before the structure analysis; no file was written");
      session.Analyse(view_, table);
      if (!session.Analysed()) {
        view_.Note("the table " + table + " cannot be exported; no file was written");
        return kTableRefused;
      }
      if (Stopped()) return Interrupted("after the structure analysis; no file was written");
      db.SetFetchRows(options_.FetchRows.value_or(FetchRowsForRecord(session.RecordLength())));
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
    target.Memo = dbf_memo_path(target.Path);
    target.Partial = PartialPath(target.Path);
    target.Lock = target.Path + ".lock";
    // Held from here to the end of the run: what the checks below find stays so, as far as other
    // exports go.
    std::string holder;
    std::string error;
    switch (lock_.Acquire(target.Lock, holder, error)) {
      case TTargetLock::TResult::Held:
        break;
      case TTargetLock::TResult::Busy:
        view_.Note("another export of " + target.Path + " is running" +
                   (holder.empty() ? "" : " (process " + holder + ")") + "; it holds " +
                   target.Lock);
        status_ = kTargetBusy;
        return std::nullopt;
      case TTargetLock::TResult::Failed:
        view_.Note("cannot lock the target " + target.Path + " (" + target.Lock + "): " + error);
        status_ = kWriteFailed;
        return std::nullopt;
    }
    // A symbolic link is replaced by the new file, whatever it leads to.
    if (const TTargetState state = TargetState(target.Path); state.Present()) {
      using TKind = TTargetState::TKind;
      target.Existed = true;
      if (state.Kind == TKind::Folder && !state.Link) {
        view_.Note("the target " + target.Path + " is a folder");
        status_ = kWriteFailed;
        return std::nullopt;
      }
      if (!options_.Overwrite) {
        view_.Note("the target file " + target.Path + " exists; give --overwrite to replace it");
        status_ = kTargetExists;
        return std::nullopt;
      }
      if (state.Kind != TKind::File && !state.Link) {
        view_.Note("the target " + target.Path + " is not a regular file; it is not replaced");
        status_ = kWriteFailed;
        return std::nullopt;
      }
    }
    if (!options_.Overwrite) {
      // Nothing that exists is deleted without --overwrite: neither a file that readers would
      // take for the memo companion of the new table, nor an earlier export's unfinished file.
      if (NameTaken(target.Memo)) {
        view_.Note("the file " + target.Memo + " exists (a reader takes it for the memo file of " +
                   target.Path + "); give --overwrite to replace it");
        status_ = kTargetExists;
        return std::nullopt;
      }
      if (NameTaken(target.Partial)) {
        view_.Note("the file " + target.Partial +
                   " exists (the records of an earlier export that did not finish); remove it, "
                   "or give --overwrite to replace it");
        status_ = kTargetExists;
        return std::nullopt;
      }
    }
    return target;
  }

  // "; TARGET is left as it was" when the export had a file to replace.
  std::string OldFileNote(const TTarget& target) const {
    return target.Existed ? "; " + target.Path + " is left as it was" : std::string();
  }

  // Ends the written table: checked, synced, then put at the target (replacing the old file with
  // --overwrite, never replacing one without), and the folder synced. False with a message and
  // finishStatus_ when any of it fails.
  bool Finish(const TExportSession& session, const TTarget& target) {
    const std::string records = Records(session.RecordsWritten);
    DbfFileId id;
    if (dbf_finish(target.Partial.c_str(), &id) != 0) {
      view_.Note("the export of " + records + " is not complete: " + target.Partial + ": " +
                 WriterCause() + OldFileNote(target));
      finishStatus_ = kWriteFailed;
      return false;
    }
    if (dbf_publish(target.Partial.c_str(), target.Path.c_str(), options_.Overwrite) != 0) {
      if (dbf_last_error() == EEXIST) {
        view_.Note("the target file " + target.Path +
                   " appeared during the export and is not replaced; " + target.Partial +
                   " holds the " + records + " exported");
        finishStatus_ = kTargetExists;
      } else {
        view_.Note("cannot put " + target.Partial + " at " + target.Path + ": " + WriterCause() +
                   "; " + target.Partial + " holds the " + records + " exported" +
                   OldFileNote(target));
        finishStatus_ = kWriteFailed;
      }
      return false;
    }
    struct stat st {};
    if (::stat(target.Path.c_str(), &st) != 0 || st.st_dev != id.device || st.st_ino != id.inode) {
      view_.Note(target.Path +
                 " does not name the file that was written: another program deleted, moved or "
                 "replaced it at the end of the export");
      finishStatus_ = kWriteFailed;
      return false;
    }
    if (target.Existed) view_.AddMemoLine("Файл " + target.Path + " удален!");
    // A memo file of the old table would be taken for the new table's companion.
    if (options_.Overwrite && NameTaken(target.Memo) && ::unlink(target.Memo.c_str()) == 0) {
      view_.AddMemoLine("Файл " + target.Memo + " удален!");
    }
    if (dbf_sync_folder(target.Path.c_str()) != 0) {
      view_.Note("cannot sync the folder " + target.Folder + ": " + WriterCause() + "; " +
                 target.Path + " may not survive a crash of the system");
      finishStatus_ = kWriteFailed;
      return false;
    }
    return true;
  }

  int Import(TExportSession& session, const std::string& table, const TTarget& target) {
    if (options_.Progress && env_.ErrIsTerminal) {
      view_.EnableProgress([&session] { return session.RecordsWritten; },
                           [&session] { return int64_t{session.TableRowCount}; });
    }
    // The records go into a file of their own until the export is complete; an earlier one's
    // unfinished file is replaced with --overwrite (without, FindTarget refused it), and the
    // temporaries of a creation that was killed go.
    if (options_.Overwrite && NameTaken(target.Partial)) {
      if (::unlink(target.Partial.c_str()) != 0) {
        view_.Note("cannot remove the unfinished file " + target.Partial +
                   " of an earlier export: " + std::strerror(errno));
        return kWriteFailed;
      }
    }
    dbf_remove_temporaries(target.Partial.c_str());
    session.WorkFile = target.Partial;
    session.FinishFile = [&] { return Finish(session, target); };
    TImportResult result;
    try {
      result = session.Import(view_, target.Path, table);
    } catch (const EDatabaseError& e) {
      view_.EndProgress();
      // Rounded numbers are told on standard error too, beside the log.
      if (!session.RoundingLine.empty()) view_.Note(session.RoundingLine);
      view_.Note(ErrorText(e.Message()));
      view_.Note("the export stopped at a database error; " + target.Partial + " keeps the " +
                 Records(session.RecordsWritten) + " written before it, with a matching count" +
                 OldFileNote(target));
      return kDatabaseError;
    }
    view_.EndProgress();
    if (!session.RoundingLine.empty()) view_.Note(session.RoundingLine);
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
        view_.Note("cannot create " + target.Partial + ": " + WriterCause() + OldFileNote(target));
        return kWriteFailed;
      case TImportResult::CannotOpen:
        view_.Note("cannot open " + target.Partial + ": " + WriterCause() + OldFileNote(target));
        return kWriteFailed;
      case TImportResult::WriteFailed:
        view_.Note("cannot write to " + target.Partial + ": " + WriterCause() +
                   "; the file keeps the " + Records(session.RecordsWritten) +
                   " written before, with a matching count" + OldFileNote(target));
        return kWriteFailed;
      case TImportResult::NotFinished:
        return finishStatus_;
      case TImportResult::Stopped:
        return Interrupted("during the export; " + target.Partial + " keeps the " +
                           Records(session.RecordsWritten) +
                           " written so far, with a matching count" + OldFileNote(target));
    }
    return kFailed;
  }

  const TBatchOptions& options_;
  const TBatchEnvironment& env_;
  TBatchView view_;
  TTargetLock lock_;
  int status_ = kFailed;
  int finishStatus_ = kWriteFailed;
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
