#pragma once
// What the tests that run against the stand-in client share: finding it beside the test program,
// pointing the client discovery at it, copies of the demo server in a test's own folder, reading
// the client's call trace, and the message of an expected exception.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "oracle/OraError.h"

namespace tarnwick::testsupport {

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

// Test programs are built into <build>/bin, beside the stand-in client in bin/standin.
std::filesystem::path BinDir();
std::filesystem::path StandinLibrary();
std::filesystem::path DemoServer();

// The discovery finds the stand-in through the program's own folder only: no oratab, no
// environment (unless the test gives its own), and a fresh environment handle so that the
// stand-in reads its trace and fault variables again.
void UseStandinClient(
    std::function<std::optional<std::string>(const std::string&)> getEnv = nullptr,
    std::function<void(const std::string&, const std::string&)> setEnv = nullptr);

// Copies a server folder: its files without the database's transient journal files, which
// another test's session may create and delete while the copy runs.
void CopyServer(const std::filesystem::path& from, const std::filesystem::path& to);
// A copy of the demo server as <folder>/server, for tests that change data.
std::filesystem::path CopyDemoServer(const std::filesystem::path& folder);
// A data folder <folder>/servers with a copy of the demo server, so that the server text "demo"
// names the copy once STANDIN_SERVERS points there: tests running at the same time never write
// to the same files.
std::filesystem::path MakeDataFolder(const std::filesystem::path& folder);
// A new server <servers>/<name>, made by standin-admin with a database character set and a
// release (empty: the stand-in's defaults, AL32UTF8 and 10.2), with the user demo (password
// demo) and an empty schema. Raises std::runtime_error with standin-admin's output on failure.
std::filesystem::path MakeServer(const std::filesystem::path& servers, const std::string& name,
                                 const std::string& charset, const std::string& release = "");

// The stand-in's call trace, one line per call: "Function(arguments) = result".
class Trace {
 public:
  Trace() = default;
  explicit Trace(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const { return path_; }
  std::vector<std::string> Lines() const;
  size_t Mark() const { return Lines().size(); }
  // The lines written since the mark.
  std::vector<std::string> Since(size_t mark) const;
  // The lines from the first one that starts with `prefix`.
  std::vector<std::string> From(const std::string& prefix) const;
  // The function names of the lines since the mark.
  std::vector<std::string> CallsSince(size_t mark) const { return Calls(Since(mark)); }

  // The function names of the lines.
  static std::vector<std::string> Calls(const std::vector<std::string>& lines);
  static std::string Joined(const std::vector<std::string>& lines);
  static bool Has(const std::vector<std::string>& lines, const std::string& piece);
  // The lines that start with `prefix`.
  static std::vector<std::string> Starting(const std::vector<std::string>& lines,
                                           const std::string& prefix);

 private:
  std::filesystem::path path_;
};

}  // namespace tarnwick::testsupport
