// What an export with tarnwick-export costs (not a test; prints figures):
//
//   1. rows per fetch: 100 000 rows exported with --fetch-rows 25 and 500 and with the program's
//      default (rows per fetch from the record length) while every fetch of the stand-in waits
//      1 ms (STANDIN_FAULT_FETCH_DELAY_MS), as a network round trip would;
//   2. the export of a generated table of 1 000 000 rows x 10 columns (NUMBER(9), NUMBER(12,2),
//      NUMBER(5), NUMBER, DATE, VARCHAR2 of 10, 30, 40 and 80, NUMBER(1)) next to GDAL's ogr2ogr
//      writing the same rows to DBF from a plain SQLite copy of them, and next to the floor: a
//      plain SQLite scan of that copy plus writing as many bytes as the export wrote. Wall time
//      (best of three), processor time (user and system, best of three; the export writes on a
//      second thread), peak memory (maximum resident set) and output bytes of each;
//   3. peak memory of the export of 1 000 000 and of 4 000 000 rows.
//
//   tarnwick-export-bench [--rows N] [--memory-rows M] [--runs R] [--only fetch|export|memory]
//                        [--keep DIR] [--program PATH]
//
// --keep keeps the generated servers in DIR for the next run; --program measures another build
// of tarnwick-export (one whose stand-in client lies beside it, as in a build's bin/).
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct TRun {
  double seconds = 0;
  double cpuSeconds = 0;  // user and system time of all the program's threads
  long peakKiB = 0;
  int status = 0;
};

// Runs a program with extra environment variables, its output thrown away (or into `log`);
// wall time and the child's peak resident set.
TRun Run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
         const std::string& log = "/dev/null") {
  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (!env.contains(name)) envText.push_back(entry);
  }
  for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
  std::vector<char*> args;
  std::vector<std::string> argCopy = argv;
  for (std::string& a : argCopy) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  const auto start = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::execvpe(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  TRun run;
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.peakKiB = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (run.status != 0) {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    throw std::runtime_error(argv[0] + " ended with status " + std::to_string(run.status) + "\n" +
                             text.str().substr(0, 2000));
  }
  return run;
}

void Admin(const std::vector<std::string>& args, const std::string& output = "/dev/null") {
  std::vector<std::string> argv{STANDIN_ADMIN};
  argv.insert(argv.end(), args.begin(), args.end());
  Run(argv, {}, output);
}

// The stand-in server `folder` (user bench/bench) with the table BENCH of `rows` rows.
void MakeServer(const fs::path& folder, long rows) {
  if (fs::exists(folder / "users")) return;
  std::cout << "  making a server with " << rows << " rows in " << folder.string() << "\n"
            << std::flush;
  Admin({"create-server", folder.string()});
  Admin({"create-user", folder.string(), "bench", "bench"});
  Admin({"generate", folder.string(), "bench", "GEN", std::to_string(rows)});
  Admin({"sql", folder.string(), "bench",
         "create table BENCH (N9 NUMBER(9) primary key, AMOUNT NUMBER(12,2), N5 NUMBER(5), "
         "NUM NUMBER, DAY DATE, V10 VARCHAR2(10), V30 VARCHAR2(30), V40 VARCHAR2(40), "
         "V80 VARCHAR2(80), FLAG NUMBER(1))"});
  Admin({"sql", folder.string(), "bench",
         "insert into BENCH select ID, C002, mod(C006, 100000), C004, C007, C005, C001, C008, "
         "C001 || ' ' || C008, mod(ID, 2) from GEN"});
  Admin({"sql", folder.string(), "bench", "drop table GEN"});
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

// A plain SQLite copy of BENCH (the rows as the server prints them), for ogr2ogr and the floor.
void MakePlainCopy(const fs::path& server, const fs::path& plain) {
  if (fs::exists(plain)) return;
  const fs::path tsv = plain.string() + ".tsv";
  Admin({"sql", server.string(), "bench",
         "select N9, AMOUNT, N5, NUM, TO_CHAR(DAY, 'YYYY-MM-DD'), V10, V30, V40, V80, FLAG "
         "from BENCH order by 1"},
        tsv.string());
  sqlite3* db = nullptr;
  Check(sqlite3_open(plain.c_str(), &db), db, "open");
  Check(sqlite3_exec(db,
                     "create table BENCH (N9 INTEGER PRIMARY KEY, AMOUNT REAL, N5 INTEGER, "
                     "NUM REAL, DAY DATE, V10 VARCHAR(10), V30 VARCHAR(30), V40 VARCHAR(40), "
                     "V80 VARCHAR(80), FLAG INTEGER); begin",
                     nullptr, nullptr, nullptr),
        db, "create");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "insert into BENCH values (?,?,?,?,?,?,?,?,?,?)", -1, &insert,
                           nullptr),
        db, "prepare");
  std::ifstream in(tsv);
  std::string line;
  std::getline(in, line);  // the heading
  const char kinds[] = "IRIRTTTTTI";
  while (std::getline(in, line)) {
    std::size_t start = 0;
    for (int i = 0; i < 10; ++i) {
      const std::size_t tab = i < 9 ? line.find('\t', start) : line.size();
      const std::string field = line.substr(start, tab - start);
      start = tab + 1;
      if (field.empty()) {
        sqlite3_bind_null(insert, i + 1);
      } else if (kinds[i] == 'I') {
        sqlite3_bind_int64(insert, i + 1, std::stoll(field));
      } else if (kinds[i] == 'R') {
        sqlite3_bind_double(insert, i + 1, std::strtod(field.c_str(), nullptr));
      } else {
        sqlite3_bind_text(insert, i + 1, field.c_str(), static_cast<int>(field.size()),
                          SQLITE_TRANSIENT);
      }
    }
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
  fs::remove(tsv);
}

// The floor: every value of the plain copy read as text in key order, and `bytes` bytes written
// to a new file in 64 KiB pieces.
double Floor(const fs::path& plain, const fs::path& file, uintmax_t bytes) {
  const auto start = Clock::now();
  sqlite3* db = nullptr;
  Check(sqlite3_open_v2(plain.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr),
        db, "open");
  sqlite3_stmt* select = nullptr;
  Check(sqlite3_prepare_v2(db, "select * from BENCH order by N9", -1, &select, nullptr), db,
        "prepare");
  std::size_t sum = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    for (int i = 0; i < 10; ++i) {
      sum += static_cast<std::size_t>(sqlite3_column_bytes(select, i));
      sum += sqlite3_column_text(select, i) != nullptr;
    }
  }
  sqlite3_finalize(select);
  sqlite3_close(db);
  std::vector<char> block(65536, ' ');
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (uintmax_t left = bytes; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<uintmax_t>(left, block.size()));
    if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) throw std::runtime_error("write");
    left -= n;
  }
  ::close(fd);
  if (sum == 0) throw std::runtime_error("the plain copy is empty");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The tarnwick-export that is measured: the one built beside this program, or --program's.
std::string& ExportProgram() {
  static std::string program = TARNWICK_EXPORT_PROGRAM;
  return program;
}

TRun Export(const fs::path& server, const fs::path& target, const std::vector<std::string>& extra,
            const std::map<std::string, std::string>& env = {}) {
  std::vector<std::string> argv{ExportProgram(), "--no-progress", "-f", "-o", target.string()};
  argv.insert(argv.end(), extra.begin(), extra.end());
  argv.push_back("BENCH");
  std::map<std::string, std::string> variables = env;
  variables["TARNWICK_CONNECT"] = "bench/bench@" + server.string();
  return Run(argv, variables);
}

// The record length in the header of a DBF file (bytes 10 and 11).
int RecordLengthOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char header[12] = {};
  in.read(reinterpret_cast<char*>(header), sizeof header);
  return header[10] | header[11] << 8;
}

void FetchRows(const fs::path& base, int runs) {
  std::cout << "== rows per fetch: 100000 rows, every fetch waits 1 ms\n";
  const fs::path server = base / "server-100k";
  MakeServer(server, 100000);
  // The window's 25, a fixed 500, and the program's default, which follows the record length.
  const std::vector<std::vector<std::string>> choices = {
      {"--fetch-rows", "25"}, {"--fetch-rows", "500"}, {}};
  for (const auto& choice : choices) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
      best = std::min(
          best, Export(server, base / "fetch.dbf", choice, {{"STANDIN_FAULT_FETCH_DELAY_MS", "1"}})
                    .seconds);
    }
    if (choice.empty()) {
      std::printf("  default          %8.2f s  (records of %d bytes: about 1 MiB a fetch)\n", best,
                  RecordLengthOf(base / "fetch.dbf"));
    } else {
      std::printf("  --fetch-rows %-4s %8.2f s\n", choice[1].c_str(), best);
    }
  }
}

void ExportAgainstOgr(const fs::path& base, long rows, int runs) {
  std::cout << "== export of " << rows << " rows x 10 columns\n";
  const fs::path server = base / ("server-" + std::to_string(rows));
  MakeServer(server, rows);
  const fs::path plain = base / ("plain-" + std::to_string(rows) + ".sqlite");
  MakePlainCopy(server, plain);
  const fs::path ours = base / "tarnwick.dbf";
  const fs::path ogrDir = base / "ogr";
  fs::create_directories(ogrDir);
  const fs::path theirs = ogrDir / "ogr.dbf";
  TRun best{1e9, 1e9, 0, 0};
  TRun bestOgr{1e9, 1e9, 0, 0};
  for (int i = 0; i < runs; ++i) {
    const TRun run = Export(server, ours, {});
    best.seconds = std::min(best.seconds, run.seconds);
    best.cpuSeconds = std::min(best.cpuSeconds, run.cpuSeconds);
    best.peakKiB = std::max(best.peakKiB, run.peakKiB);
    fs::remove(theirs);
    const TRun ogr = Run({"ogr2ogr", "-f", "ESRI Shapefile", "-lco", "ENCODING=CP866",
                          theirs.string(), plain.string(), "BENCH"},
                         {});
    bestOgr.seconds = std::min(bestOgr.seconds, ogr.seconds);
    bestOgr.cpuSeconds = std::min(bestOgr.cpuSeconds, ogr.cpuSeconds);
    bestOgr.peakKiB = std::max(bestOgr.peakKiB, ogr.peakKiB);
  }
  const uintmax_t bytes = fs::file_size(ours);
  double floor = 1e9;
  for (int i = 0; i < runs; ++i) floor = std::min(floor, Floor(plain, base / "floor.bin", bytes));
  // Processor time beside the wall time: the export writes its records on a second thread.
  std::printf("  %-34s %8s %8s %10s %14s\n", "", "wall s", "cpu s", "peak MiB", "output bytes");
  std::printf("  %-34s %8.2f %8.2f %10.1f %14ju\n", "tarnwick-export (count per record)",
              best.seconds, best.cpuSeconds, best.peakKiB / 1024.0, bytes);
  std::printf("  %-34s %8.2f %8.2f %10.1f %14ju\n", "ogr2ogr (plain SQLite copy)", bestOgr.seconds,
              bestOgr.cpuSeconds, bestOgr.peakKiB / 1024.0,
              static_cast<uintmax_t>(fs::file_size(theirs)));
  std::printf("  %-34s %8.2f %8s %10s %14ju\n", "floor (SQLite scan + write)", floor, "-", "-",
              bytes);
  std::printf(
      "  tarnwick-export / ogr2ogr: %.2f (goal: at most 0.3); / floor: %.2f (goal: at "
      "most 3)\n",
      best.seconds / bestOgr.seconds, best.seconds / floor);
}

void Memory(const fs::path& base, long small, long large) {
  std::cout << "== peak memory of the export\n";
  std::vector<std::pair<long, long>> peaks;
  for (long rows : {small, large}) {
    const fs::path server = base / ("server-" + std::to_string(rows));
    MakeServer(server, rows);
    const TRun run = Export(server, base / "memory.dbf", {});
    peaks.emplace_back(rows, run.peakKiB);
    std::printf("  %9ld rows: %8.1f MiB, %.2f s\n", rows, run.peakKiB / 1024.0, run.seconds);
    fs::remove(base / "memory.dbf");
  }
  std::printf("  %ld rows / %ld rows: %.3f (goal: within 10 %%)\n", large, small,
              static_cast<double>(peaks[1].second) / static_cast<double>(peaks[0].second));
}

}  // namespace

int main(int argc, char** argv) {
  long rows = 1000000;
  long memoryRows = 4000000;
  int runs = 3;
  std::string only;
  std::optional<fs::path> keep;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--rows" && hasValue) {
      rows = std::atol(argv[++i]);
    } else if (arg == "--memory-rows" && hasValue) {
      memoryRows = std::atol(argv[++i]);
    } else if (arg == "--runs" && hasValue) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--only" && hasValue) {
      only = argv[++i];
    } else if (arg == "--keep" && hasValue) {
      keep = argv[++i];
    } else if (arg == "--program" && hasValue) {
      ExportProgram() = argv[++i];
    } else {
      std::cerr << "usage: tarnwick-export-bench [--rows N] [--memory-rows M] [--runs R] "
                   "[--only fetch|export|memory] [--keep DIR] [--program PATH]\n";
      return 2;
    }
  }
  fs::path base;
  if (keep) {
    base = *keep;
    fs::create_directories(base);
  } else {
    std::string pattern = (fs::temp_directory_path() / "tarnwick-export-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    base = pattern;
  }
  int status = 0;
  try {
    if (only.empty() || only == "fetch") FetchRows(base, runs);
    if (only.empty() || only == "export") ExportAgainstOgr(base, rows, runs);
    if (only.empty() || only == "memory") Memory(base, rows, memoryRows);
  } catch (const std::exception& e) {
    std::cerr << "tarnwick-export-bench: " << e.what() << "\n";
    status = 1;
  }
  if (!keep) fs::remove_all(base);
  return status;
}
