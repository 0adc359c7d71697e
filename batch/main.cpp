// tarnwick-export: the export of the Tarnwick window without a display, for scripts and scheduled
// exports. See --help (BatchOptions.cpp) for its command line and exit statuses.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "app/AppPaths.h"
#include "app/OraExportDatabase.h"
#include "batch/BatchRun.h"
#include "oracle/Oracall.h"

namespace {

volatile std::sig_atomic_t stopSignal = 0;

// The first SIGINT, SIGTERM or SIGHUP asks the export to stop after the record it is writing;
// a second one ends the program at once (the file is consistent after every record either way).
extern "C" void OnStopSignal(int signal) {
  if (stopSignal == 0) stopSignal = signal;
  std::signal(signal, SIG_DFL);
}

void InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal that the caller ignores (nohup, a background job of a script) stays ignored.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
  // A reader that went away must not end the export; a file size limit shows as a write failure
  // with a consistent file instead of a killed process.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

std::string ProgramPath(const char* argv0) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(argv0) : self.string();
}

}  // namespace

int main(int argc, char** argv) {
  InstallSignalHandlers();
  tarnwick::batch::TBatchEnvironment environment;
  environment.ProgramPath = ProgramPath(argv[0]);
  environment.WorkingDirectory = tarnwick::CurrentWorkingDirectory();
  environment.GetEnv = tarnwick::EnvironmentValue;
  environment.ErrIsTerminal = ::isatty(STDERR_FILENO) == 1;
  environment.MakeDatabase = [](int fetchRows) -> std::unique_ptr<tarnwick::IExportDatabase> {
    auto database = std::make_unique<tarnwick::TOraExportDatabase>();
    database->SmartQuery1.SetFetchRows(fetchRows);
    return database;
  };
  environment.StopSignal = [] { return static_cast<int>(stopSignal); };
  const int status =
      tarnwick::batch::RunBatch(std::vector<std::string>(argv + 1, argv + argc), environment);
  // The session is gone: the client's environment goes now, while everything it uses is alive;
  // the Oracle layer unloads the client library when the program ends.
  tarnwick::FinishOCI();
  return status;
}
