// smartquery-bench: what a walk through the smart query costs, as the import run walks a table.
//
// Makes a stand-in server with a generated table (one million rows of ten columns: numbers,
// dates, short and long texts) and one four times as large, then, each in a fresh child process
// so that peak memory belongs to one walk alone:
//   rs     the Oracle record set alone: open and GetNextRecord to the end (the walk of
//          recordset-bench), the reference;
//   next   TSmartQuery: Open, then Next to Eof, no field read;
//   text   TSmartQuery: Open, then for every row every field's AsString by FieldByName, as the
//          import run reads them, and Next;
// with UniDirectional off (every row kept in memory) and on (one block of rows in memory), the
// latter also on the table four times as large.
// Prints rows per second, peak memory (VmHWM) and the time ratios to the record set's walk.
//
//   smartquery-bench [--rows N] [--runs N] [--keep <folder>]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dataset/OraSmart.h"
#include "oracle/OraSession.h"
#include "recordset/OCIRecordSet.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace tarnwick;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "smartquery-bench: %s\n", what.c_str());
  std::exit(1);
}

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(key);
  while (std::getline(in, line))
    if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n + 1);
  return -1;
}

void Admin(const std::string& args) {
  const std::string cmd = std::string(STANDIN_ADMIN) + " " + args + " >/dev/null";
  if (std::system(cmd.c_str()) != 0) Die("failed: " + cmd);
}

struct Result {
  double seconds = 0;
  long long rows = 0;
  long peakKb = 0;
  long long textBytes = 0;
};

void Connect(TOraSession& session, const std::string& server) {
  session.SetUsername("BENCH");
  session.SetPassword("bench");
  session.SetServer(server);
  session.Connect();
}

// The record set's own walk, with the settings the dataset gives it.
Result RecordSetWalk(const std::string& server, const std::string& table, bool uni) {
  TOraSession session;
  Connect(session, server);
  Result r;
  const auto start = Clock::now();
  TOCIRecordSet rs;
  rs.SetConnection(session.GetIConnection());
  rs.SetProp(prFlatBuffers, false);
  rs.SetProp(prLongStrings, true);
  rs.SetProp(prUniDirectional, uni);
  rs.SetSQL("select * from " + table + " order by 1");
  rs.Open();
  auto rec = rs.AllocRecBuf();
  long long checksum = 0;
  for (rs.GetNextRecord(rec.get()); !rs.GetEOF(); rs.GetNextRecord(rec.get())) {
    ++r.rows;
    checksum += rec[0];
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.peakKb = StatusKb("VmHWM:");
  if (checksum == 42) std::puts("");  // keeps the reads
  return r;
}

Result QueryWalk(const std::string& server, const std::string& table, bool uni, bool text) {
  TOraSession session;
  Connect(session, server);
  Result r;
  const auto start = Clock::now();
  TSmartQuery q("SmartQuery1");
  q.SetSession(&session);
  q.SetUniDirectional(uni);
  q.SQL().Clear();
  q.SQL().Add("select * from " + table + " order by 1");
  q.Open();
  std::vector<std::string> names;
  for (const auto& f : q.Fields()) names.push_back(f->FieldName());
  while (!q.Eof()) {
    ++r.rows;
    if (text)
      for (const auto& name : names)
        r.textBytes += static_cast<long long>(q.FieldByName(name)->AsString().size());
    q.Next();
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.peakKb = StatusKb("VmHWM:");
  return r;
}

// Runs one measurement in a child process and reads its figures back.
Result InChild(const std::string& self, const std::string& mode, const std::string& server,
               const std::string& table) {
  int fds[2];
  if (pipe(fds) != 0) Die("pipe");
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) Die("fork");
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    execl(self.c_str(), self.c_str(), "--child", mode.c_str(), server.c_str(), table.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("child " + mode + " failed");
  Result r;
  if (std::sscanf(out.c_str(), "%lf %lld %ld %lld", &r.seconds, &r.rows, &r.peakKb, &r.textBytes) !=
      4)
    Die("child " + mode + " printed: " + out);
  return r;
}

Result Best(const std::string& self, const std::string& mode, const std::string& server,
            const std::string& table, int runs) {
  Result best;
  for (int i = 0; i < runs; ++i) {
    Result r = InChild(self, mode, server, table);
    if (i == 0 || r.seconds < best.seconds) best = r;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = fs::canonical("/proc/self/exe").string();
  if (argc == 5 && std::string(argv[1]) == "--child") {
    const std::string mode = argv[2];
    Result r;
    try {
      const bool uni = mode.ends_with("-uni");
      if (mode.starts_with("rs"))
        r = RecordSetWalk(argv[3], argv[4], uni);
      else
        r = QueryWalk(argv[3], argv[4], uni, mode.starts_with("text"));
    } catch (const std::exception& e) {
      Die(mode + ": " + e.what());
    }
    std::printf("%.6f %lld %ld %lld\n", r.seconds, r.rows, r.peakKb, r.textBytes);
    return 0;
  }

  long long rows = 1000000;
  int runs = 3;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rows" && i + 1 < argc)
      rows = std::atoll(argv[++i]);
    else if (a == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (a == "--keep" && i + 1 < argc)
      keep = argv[++i];
    else
      Die("usage: smartquery-bench [--rows N] [--runs N] [--keep <folder>]");
  }

  const fs::path folder =
      keep.empty() ? fs::temp_directory_path() / "smartquery-bench" : fs::path(keep);
  const std::string server = (folder / "server").string();
  if (!fs::exists(fs::path(server) / "users")) {
    std::printf("making %s: tables of %lld and %lld rows ...\n", server.c_str(), rows, 4 * rows);
    std::fflush(stdout);
    fs::create_directories(folder);
    Admin("create-server " + server + " --replace");
    Admin("create-user " + server + " BENCH bench");
    Admin("generate " + server + " BENCH T1 " + std::to_string(rows));
    Admin("generate " + server + " BENCH T4 " + std::to_string(4 * rows));
  }

  const Result rs = Best(self, "rs", server, "T1", runs);
  const Result next = Best(self, "next", server, "T1", runs);
  const Result text = Best(self, "text", server, "T1", runs);
  const Result rsUni = Best(self, "rs-uni", server, "T1", runs);
  const Result textUni = Best(self, "text-uni", server, "T1", runs);
  const Result textUni4 = Best(self, "text-uni", server, "T4", 1);

  auto line = [](const char* name, const Result& r) {
    std::printf("%-44s %10lld rows %8.3f s %12.0f rows/s   peak %8ld KiB\n", name, r.rows,
                r.seconds, static_cast<double>(r.rows) / r.seconds, r.peakKb);
  };
  std::printf("10 columns, fetch block 25 rows, best of %d runs each\n", runs);
  line("record set walk (all rows kept)", rs);
  line("TSmartQuery Next only", next);
  line("TSmartQuery Next + AsString of every field", text);
  line("record set walk, UniDirectional", rsUni);
  line("TSmartQuery + AsString, UniDirectional", textUni);
  line("TSmartQuery + AsString, UniDirectional, 4x", textUni4);
  std::printf(
      "time ratio to the record set walk: Next only %.2f, with AsString %.2f, "
      "UniDirectional with AsString %.2f\n",
      next.seconds / rs.seconds, text.seconds / rs.seconds, textUni.seconds / rsUni.seconds);
  std::printf("text read per row: %.1f bytes\n",
              static_cast<double>(text.textBytes) / static_cast<double>(text.rows));
  std::printf("UniDirectional peak: %ld KiB for %lld rows, %ld KiB for %lld rows: %+.1f %%\n",
              textUni.peakKb, textUni.rows, textUni4.peakKb, textUni4.rows,
              (static_cast<double>(textUni4.peakKb) / textUni.peakKb - 1) * 100);
  return 0;
}
