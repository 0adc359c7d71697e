#pragma once
// What the tests of the built tarnwick-export share: running it as a user would (arguments, an
// environment, a working folder, its two output streams in files) against a copy of the stand-in's
// demo server, making tables with standin-admin, and reading the DBF files it writes, strictly and
// with python3-dbf.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/core/Commands.h"
#include "testsupport/core/DbfTable.h"
#include "testsupport/core/ScratchDir.h"
#include "testsupport/standin/StandinFixture.h"

extern char** environ;

namespace tarnwick::program_test {

namespace fs = std::filesystem;
using testsupport::PythonDbfAvailable;
using testsupport::ShellQuote;
using testsupport::SystemPython;

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ---- running a program
// ---------------------------------------------------------------------------

struct TRunResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  bool signaled = false;
  std::string out;
  std::string err;
};

struct TRunOptions {
  std::vector<std::string> args = {};
  // Variables set for the child (over the test's own environment); a nullopt value unsets one.
  std::map<std::string, std::optional<std::string>> env = {};
  std::string workingDirectory = {};
  // The child's file size limit (RLIMIT_FSIZE) in bytes.
  std::optional<rlim_t> fileSizeLimit = {};
};

// A started program; its standard output and error go to files in `folder`.
class TChild {
 public:
  TChild(const std::string& program, const TRunOptions& options, const fs::path& folder)
      : outPath_((folder / "stdout.txt").string()), errPath_((folder / "stderr.txt").string()) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::size_t eq = entry.find('=');
      if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    // The stand-in client, never an Oracle client the machine may have.
    for (const char* name : {"ORACLE_HOME", "LD_LIBRARY_PATH", "TWO_TASK", "NLS_LANG",
                             "TARNWICK_CONNECT", "STANDIN_TRACE", "STANDIN_FAULT_CALL",
                             "STANDIN_FAULT_ROWS", "STANDIN_FAULT_FETCH_DELAY_MS"}) {
      env.erase(name);
    }
    for (const auto& [name, value] : options.env) {
      if (value) {
        env[name] = *value;
      } else {
        env.erase(name);
      }
    }
    std::vector<std::string> envText;
    for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
      if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) {
        ::_exit(126);
      }
      if (options.fileSizeLimit) {
        const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
      }
      ::execve(argp[0], argp.data(), envp.data());
      ::_exit(127);
    }
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;
  ~TChild() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }

  pid_t Pid() const { return pid_; }
  void Signal(int signal) const { ::kill(pid_, signal); }

  TRunResult Wait() {
    TRunResult result;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    if (WIFSIGNALED(status)) {
      result.signaled = true;
      result.status = 128 + WTERMSIG(status);
    } else {
      result.status = WEXITSTATUS(status);
    }
    result.out = ReadFile(outPath_);
    result.err = ReadFile(errPath_);
    return result;
  }

 private:
  std::string outPath_;
  std::string errPath_;
  pid_t pid_ = -1;
  bool waited_ = false;
};

inline std::string ExportProgram() {
  return TARNWICK_EXPORT_PROGRAM;
}

// Runs standin-admin; its output, or a test failure with it.
inline std::string Admin(const std::vector<std::string>& args) {
  std::string command = ShellQuote(STANDIN_ADMIN);
  for (const std::string& a : args) command += ' ' + ShellQuote(a);
  command += " 2>&1";
  const testsupport::CommandResult r = testsupport::RunCommand(command);
  EXPECT_EQ(r.status, 0) << command << "\n" << r.output.substr(0, 2000);
  return r.output;
}

// ---- the test folder
// -----------------------------------------------------------------------------

// A folder of the test's own with a copy of the demo server that the server text "demo" names
// (through STANDIN_SERVERS), a working folder and an output folder.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (fs::exists("/etc/oratab")) {
      GTEST_SKIP() << "/etc/oratab describes an Oracle installation; these tests run the program "
                      "on the stand-in client only";
    }
    servers = testsupport::MakeDataFolder(dir.Path());
    server = (servers / "demo").string();
    work = dir.Path() / "work";
    out = dir.Path() / "out";
    fs::create_directories(work);
    fs::create_directories(out);
  }

  // Runs tarnwick-export to its end, connected to the demo copy unless `options.env` says else.
  TRunResult Run(TRunOptions options) {
    Prepare(options);
    TChild child(ExportProgram(), options, dir.Path());
    return child.Wait();
  }

  // The environment every run gets unless the test gives its own values.
  void Prepare(TRunOptions& options) {
    options.env.try_emplace("STANDIN_SERVERS", servers.string());
    options.env.try_emplace("TARNWICK_CONNECT", "demo/demo@demo");
    if (options.workingDirectory.empty()) options.workingDirectory = work.string();
  }

  // The files in a folder, by name.
  static std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  testsupport::ScratchDir dir{"tarnwick-program"};
  fs::path servers;
  std::string server;
  fs::path work;
  fs::path out;
};

// ---- reading DBF files ----------------------------------------------------------------------

// Table files are read by the strict reader of the test support. A program that was stopped may
// have written a record that it had not counted yet: such files are read with
// DbfEnd::MayHoldAnUncountedRecord.
using TTableFile = testsupport::DbfTable;
using testsupport::DbfEnd;
using testsupport::ReadDbf;

// python3-dbf, an independent reader: the record count and the values of every record, one line
// per record, fields separated by "|": texts without trailing blanks (decoded from code page 866),
// dates as YYYY-MM-DD, numbers as Python writes them, "None" for a blank date or number.
inline const char* kPythonReader = R"PY(
import sys, datetime, dbf
sys.stdout.reconfigure(encoding="utf-8")
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
print("COUNT", len(t))
for rec in t:
    values = []
    for v in rec:
        if v is None:
            values.append("None")
        elif isinstance(v, str):
            values.append(v.rstrip())
        elif isinstance(v, datetime.date):
            values.append(v.strftime("%Y-%m-%d"))
        elif isinstance(v, float) and v == int(v):
            values.append(repr(int(v)))
        else:
            values.append(repr(v))
    print("|".join(values))
t.close()
)PY";

// The lines python3-dbf prints for a table ("COUNT n", then one line per record); a reader
// failure is a test failure with its message.
inline std::vector<std::string> ReadWithPython(const testsupport::ScratchDir& dir,
                                               const std::string& table) {
  const testsupport::CommandResult r = testsupport::ReadWithPythonDbf(dir, table, kPythonReader);
  EXPECT_EQ(r.status, 0) << r.output.substr(r.output.size() > 2000 ? r.output.size() - 2000 : 0);
  std::vector<std::string> lines;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The rows of a query as standin-admin prints them: the heading line, then one line per row,
// tab-separated, NULL as the empty text.
inline std::vector<std::vector<std::string>> Rows(const std::string& server,
                                                  const std::string& sql) {
  std::istringstream in(Admin({"sql", server, "demo", sql}));
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    rows.push_back(fields);
  }
  return rows;
}

}  // namespace tarnwick::program_test
