#pragma once
// What the tests of the Oracle connection layer share: the message of an expected exception;
// and for the tests that run against the stand-in client, finding it beside the test program,
// pointing the client discovery at it, a scratch folder with a copy of the demo server,
// environment variables set for one test, and reading the client's call trace.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "oracle/Exception.h"
#include "oracle/OraError.h"
#include "oracle/Oracall.h"

namespace tarnwick::standin_test {

namespace fs = std::filesystem;

// The message of the exception of class E that f raises, or `none` when it raises nothing.
template <class E = Exception, class F>
std::string MessageOf(F&& f, const std::string& none = "<no error>") {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return none;
}

// Test programs are built into <build>/bin, beside the stand-in client in bin/standin.
inline fs::path BinDir() {
  return fs::canonical("/proc/self/exe").parent_path();
}
inline fs::path StandinLibrary() {
  return BinDir() / "standin" / "libclntsh.so";
}
inline fs::path DemoServer() {
  return BinDir() / "standin" / "servers" / "demo";
}

// The discovery finds the stand-in through the program's own folder only: no oratab, no
// environment (unless the test gives its own), and a fresh environment handle so that the
// stand-in reads its trace and fault variables again.
inline void UseStandinClient(
    std::function<std::optional<std::string>(const std::string&)> getEnv = nullptr,
    std::function<void(const std::string&, const std::string&)> setEnv = nullptr) {
  FreeOCI();
  OracleHomeName.clear();
  OCIDiscoveryInputs in;
  in.oratabPath = (BinDir() / "no-such-oratab").string();
  in.getEnv = getEnv ? std::move(getEnv) : [](const std::string&) -> std::optional<std::string> {
    return std::nullopt;
  };
  in.setEnv = setEnv ? std::move(setEnv) : [](const std::string&, const std::string&) {};
  in.executableDir = BinDir().string();
  SetOCIDiscovery(std::move(in));
}

// The message of a plain exception that f raises; a database error is marked as such.
template <class F>
std::string PlainErrorOf(F&& f) {
  try {
    f();
  } catch (const EOraError& e) {
    return "EOraError: " + e.Message();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<no error>";
}

// An environment variable set for the life of the object.
class EnvVar {
 public:
  EnvVar(std::string name, const std::string& value) : name_(std::move(name)) {
    setenv(name_.c_str(), value.c_str(), 1);
  }
  ~EnvVar() { unsetenv(name_.c_str()); }
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  std::string name_;
};

// Copies a server folder: its files without the database's transient journal files, which
// another test's session may create and delete while the copy runs.
inline void CopyServer(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with("-journal") || name.ends_with("-wal") || name.ends_with("-shm")) continue;
    fs::copy_file(entry.path(), to / name, fs::copy_options::overwrite_existing);
  }
}

// A new folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    std::string tmpl = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool Made() const { return !path_.empty(); }
  const fs::path& Path() const { return path_; }
  // A copy of the demo server in this folder, for tests that change data.
  fs::path CopyDemoServer() const {
    const fs::path server = path_ / "server";
    CopyServer(DemoServer(), server);
    return server;
  }
  // A data folder of this test's own with a copy of the demo server, so that the server text
  // "demo" names the copy once STANDIN_SERVERS points here: tests running at the same time
  // never write to the same files.
  fs::path MakeDataFolder() const {
    const fs::path servers = path_ / "servers";
    fs::create_directories(servers);
    CopyServer(DemoServer(), servers / "demo");
    return servers;
  }

 private:
  fs::path path_;
};

// The stand-in's call trace, one line per call: "Function(arguments) = result".
class Trace {
 public:
  Trace() = default;
  explicit Trace(fs::path path) : path_(std::move(path)) {}

  const fs::path& Path() const { return path_; }
  std::vector<std::string> Lines() const {
    std::ifstream in(path_);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
  }
  size_t Mark() const { return Lines().size(); }
  // The lines written since the mark.
  std::vector<std::string> Since(size_t mark) const {
    auto lines = Lines();
    return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(mark, lines.size())),
                                    lines.end());
  }
  // The lines from the first one that starts with `prefix`.
  std::vector<std::string> From(const std::string& prefix) const {
    std::vector<std::string> lines;
    bool on = false;
    for (auto& line : Lines()) {
      on = on || line.rfind(prefix, 0) == 0;
      if (on) lines.push_back(std::move(line));
    }
    return lines;
  }
  // The function names of the lines since the mark.
  std::vector<std::string> CallsSince(size_t mark) const { return Calls(Since(mark)); }

  static std::vector<std::string> Calls(const std::vector<std::string>& lines) {
    std::vector<std::string> calls;
    for (const auto& l : lines) calls.push_back(l.substr(0, l.find('(')));
    return calls;
  }
  static std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
  }
  static bool Has(const std::vector<std::string>& lines, const std::string& piece) {
    for (const auto& l : lines)
      if (l.find(piece) != std::string::npos) return true;
    return false;
  }
  // The lines that start with `prefix`.
  static std::vector<std::string> Starting(const std::vector<std::string>& lines,
                                           const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& l : lines)
      if (l.rfind(prefix, 0) == 0) found.push_back(l);
    return found;
  }

 private:
  fs::path path_;
};

}  // namespace tarnwick::standin_test
