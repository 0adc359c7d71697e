#pragma once
// One run of tarnwick-export: the window's connect, structure analysis and import, driven by the
// command line, with the outcome as the exit status.
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ExportDatabase.h"
#include "dataset/text/DateTimeUtils.h"

namespace tarnwick::batch {

struct TBatchEnvironment {
  // The program's own path; the window's settings file is found from it (WindowSettingsPath).
  std::string ProgramPath;
  // The working directory that a relative target folder or file is taken in.
  std::string WorkingDirectory;
  std::function<std::optional<std::string>(const char* name)> GetEnv;
  std::FILE* Out = stdout;
  std::FILE* Err = stderr;
  bool ErrIsTerminal = false;
  // The database that the session works with, reading `fetchRows` rows per fetch.
  std::function<std::unique_ptr<IExportDatabase>(int fetchRows)> MakeDatabase;
  // The number of the signal that asked the program to stop, 0 while none came.
  std::function<int()> StopSignal = [] { return 0; };
  // The local date and time of the log; the machine's clock when empty.
  std::function<TDateTime()> Now;
};

// Runs the command line `args` (without the program name) and returns the exit status
// (ExitStatus in BatchOptions.h).
int RunBatch(const std::vector<std::string>& args, const TBatchEnvironment& environment);

}  // namespace tarnwick::batch
