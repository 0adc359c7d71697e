#pragma once
// What the benchmark programs of the layers share: their options, the stand-in server with the
// generated tables they walk, and measuring each walk in a fresh child process of the program
// itself, so that the peak memory a child reports belongs to that walk alone.
#include <string>
#include <vector>

namespace tarnwick::benchsupport {

// Prints "<program>: <what>" on standard error and ends the program with status 1.
[[noreturn]] void Die(const std::string& what);

// A figure of /proc/self/status in KiB ("VmHWM:", "VmRSS:"), -1 when the line is missing.
long StatusKb(const char* key);

// The options every layer benchmark takes: --rows N, --runs N, --keep <folder>.
struct TBenchOptions {
  long long rows = 1000000;
  int runs = 3;
  std::string keep;  // the folder of the generated server, kept between runs
};
// Reads the options; dies with `usage` on anything else.
TBenchOptions ParseBenchOptions(int argc, char** argv, const std::string& usage);

// The stand-in server with the user BENCH (password "bench") and the generated tables T1 of
// options.rows rows and T4 of four times as many, made by `admin` (the standin-admin program) in
// <keep or the temporary folder>/<name>/server unless it is there already. Returns its folder.
std::string PrepareBenchServer(const TBenchOptions& options, const std::string& name,
                               const std::string& admin);

// Runs this program again with `args` and returns what it printed on standard output; dies when
// it cannot be started or does not end with status 0.
std::string RunSelf(const std::vector<std::string>& args);

// The fastest of `runs` results of `measure` (a callable returning a value with a `seconds`).
template <class Measure>
auto Best(int runs, Measure measure) {
  auto best = measure();
  for (int i = 1; i < runs; ++i) {
    auto r = measure();
    if (r.seconds < best.seconds) best = r;
  }
  return best;
}

}  // namespace tarnwick::benchsupport
