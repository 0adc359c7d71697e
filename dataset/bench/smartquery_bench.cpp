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
#include "testsupport/bench/BenchChild.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace tarnwick;
using namespace tarnwick::benchsupport;

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
Result InChild(const std::string& mode, const std::string& server, const std::string& table) {
  const std::string out = RunSelf({"--child", mode, server, table});
  Result r;
  if (std::sscanf(out.c_str(), "%lf %lld %ld %lld", &r.seconds, &r.rows, &r.peakKb, &r.textBytes) !=
      4)
    Die("child " + mode + " printed: " + out);
  return r;
}

Result Best(const std::string& mode, const std::string& server, const std::string& table,
            int runs) {
  return benchsupport::Best(runs, [&] { return InChild(mode, server, table); });
}

}  // namespace

int main(int argc, char** argv) {
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

  const TBenchOptions options =
      ParseBenchOptions(argc, argv, "smartquery-bench [--rows N] [--runs N] [--keep <folder>]");
  const int runs = options.runs;
  const std::string server = PrepareBenchServer(options, "smartquery-bench", STANDIN_ADMIN);

  const Result rs = Best("rs", server, "T1", runs);
  const Result next = Best("next", server, "T1", runs);
  const Result text = Best("text", server, "T1", runs);
  const Result rsUni = Best("rs-uni", server, "T1", runs);
  const Result textUni = Best("text-uni", server, "T1", runs);
  const Result textUni4 = Best("text-uni", server, "T4", 1);

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
