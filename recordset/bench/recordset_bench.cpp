// recordset-bench: what the Oracle record set costs over the client's bare array fetch.
//
// Makes a stand-in server with a generated table (one million rows of ten columns: numbers,
// dates, short and long texts), then, each in a fresh child process so that peak memory belongs
// to one walk alone:
//   bare   one OCIStmtFetch of 25 rows after another into a reused block of records laid out as
//          the record set lays them out (the loop of standin-bench, through the program's own
//          client entry points);
//   walk   TOCIRecordSet: open "select * from" the table and GetNextRecord to the end, every
//          fetched row kept in memory;
//   uni    the same walk with UniDirectional on (one block in memory), on the table and on a
//          table four times as large.
// Prints rows per second, the ratio walk/bare, peak memory, and the memory per row against
// RecordSize + item header + heap strings.
//
//   recordset-bench [--rows N] [--runs N] [--keep <folder>]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "oracle/OCICommand.h"
#include "oracle/OraSession.h"
#include "oracle/Oracall.h"
#include "recordset/OCIRecordSet.h"
#include "testsupport/bench/BenchChild.h"

// Every allocation of the process is counted, the client library's included, so that the walk
// shows whether anything is allocated per row.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
static unsigned long long gAllocations = 0;
void* malloc(size_t n) {
  ++gAllocations;
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
  ++gAllocations;
  return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
  ++gAllocations;
  return __libc_realloc(p, n);
}
}

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace tarnwick;
using namespace tarnwick::benchsupport;

struct Result {
  double seconds = 0;
  long long rows = 0;
  long baseKb = 0;
  long peakKb = 0;
  long long recordBytes = 0;  // RecordSize + item header, per row
  long long heapBytes = 0;    // heap buffers of all rows
  long long allocations = 0;  // allocations of the process during the walk
  double cpuSeconds = 0;  // processor time of the walk: steadier than wall time on a busy machine
};

double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void Connect(TOraSession& session, const std::string& server) {
  session.SetUsername("BENCH");
  session.SetPassword("bench");
  session.SetServer(server);
  session.Connect();
}

// The bare loop: the record set's layout and defines, no store, one reused block.
Result Bare(const std::string& server, const std::string& table) {
  TOraSession session;
  Connect(session, server);
  TOCIRecordSet describe;  // only to learn the layout the record set uses
  describe.SetConnection(session.GetIConnection());
  describe.SetProp(prFlatBuffers, false);
  describe.SetSQL("select * from " + table);
  describe.Prepare();
  const int32_t itemSize = describe.RecordSize() + static_cast<int32_t>(sizeof(TItemHeader));
  const int block = 25;

  Result r;
  r.baseKb = StatusKb("VmRSS:");
  const auto start = Clock::now();
  const double cpuStart = CpuNow();
  const unsigned long long allocationsBefore = gAllocations;
  TOCICommand cmd;
  cmd.SetConnection(session.GetIConnection());
  cmd.SetSQL("select * from " + table);
  cmd.Prepare();
  cmd.Execute();
  OCIStmt* stmt = cmd.GetCursor()->GetOCIStmt();
  OCIError* err = cmd.ErrorHandle();
  std::vector<uint8_t> records(static_cast<size_t>(itemSize) * block);
  // Long texts land in a side buffer, as the record set fetches them.
  std::vector<std::vector<char>> side;
  for (const auto& d : describe.Fields()) {
    uint8_t* base = records.data() + sizeof(TItemHeader);
    void* value = base + d->Offset;
    sb4 size = d->Size;
    ub4 skip = static_cast<ub4>(itemSize);
    ub2 dty = d->DataType == dcInteger    ? SQLT_INT
              : d->DataType == dcFloat    ? SQLT_BDOUBLE
              : d->DataType == dcDateTime ? SQLT_DAT
                                          : SQLT_STR;
    // Text buffers as the record set sizes them: the characters at the client's bytes each.
    if (d->DataType == dcExtString) {
      side.emplace_back(static_cast<size_t>(d->TextBytes() + 1) * block);
      value = side.back().data();
      size = d->TextBytes() + 1;
      skip = static_cast<ub4>(d->TextBytes() + 1);
    } else if (d->DataType == dcString) {
      size = d->TextBytes() + 1;
    }
    OCIDefine* define = nullptr;
    cmd.Check(tarnwick::OCIDefineByPos(stmt, &define, err, d->ActualFieldNo, value, size, dty,
                                       base + describe.DataSize() + 2 * (d->FieldNo - 1), nullptr,
                                       nullptr, OCI_DEFAULT));
    cmd.Check(
        tarnwick::OCIDefineArrayOfStruct(define, err, skip, static_cast<ub4>(itemSize), 0, 0));
  }
  long long checksum = 0;
  for (;;) {
    const int32_t got = cmd.InternalFetch(block, OCI_FETCH_NEXT);
    for (int i = 0; i < got; ++i) checksum += records[static_cast<size_t>(i) * itemSize + 40];
    r.rows += got;
    if (got < block) break;
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.cpuSeconds = CpuNow() - cpuStart;
  r.allocations = static_cast<long long>(gAllocations - allocationsBefore);
  r.peakKb = StatusKb("VmHWM:");
  if (checksum == 42) std::puts("");  // keeps the reads
  return r;
}

Result Walk(const std::string& server, const std::string& table, bool uniDirectional) {
  TOraSession session;
  Connect(session, server);
  Result r;
  r.baseKb = StatusKb("VmRSS:");
  const auto start = Clock::now();
  const double cpuStart = CpuNow();
  const unsigned long long allocationsBefore = gAllocations;
  TOCIRecordSet rs;
  rs.SetConnection(session.GetIConnection());
  rs.SetProp(prFlatBuffers, false);
  rs.SetProp(prUniDirectional, uniDirectional);
  rs.SetSQL("select * from " + table);
  rs.Open();
  auto rec = rs.AllocRecBuf();
  std::vector<const TFieldDesc*> heapFields;
  for (const auto& d : rs.Fields())
    if (d->DataType == dcExtString) heapFields.push_back(d.get());
  long long checksum = 0;
  for (rs.GetNextRecord(rec.get()); !rs.GetEOF(); rs.GetNextRecord(rec.get())) {
    ++r.rows;
    checksum += rec[0];
    for (const TFieldDesc* d : heapFields) {
      const char* s;
      std::memcpy(&s, rec.get() + d->Offset, sizeof s);
      // A heap buffer: a 6-byte head and the text with its NUL in 8-byte steps.
      r.heapBytes += 6 + (static_cast<long long>(std::strlen(s)) + 1 + 7) / 8 * 8;
    }
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.cpuSeconds = CpuNow() - cpuStart;
  r.allocations = static_cast<long long>(gAllocations - allocationsBefore);
  r.peakKb = StatusKb("VmHWM:");
  r.recordBytes = rs.RecordSize() + static_cast<long long>(sizeof(TItemHeader));
  if (checksum == 42) std::puts("");
  return r;
}

// Runs one measurement in a child process and reads its figures back.
Result InChild(const std::string& mode, const std::string& server, const std::string& table) {
  const std::string out = RunSelf({"--child", mode, server, table});
  Result r;
  if (std::sscanf(out.c_str(), "%lf %lld %ld %ld %lld %lld %lld %lf", &r.seconds, &r.rows,
                  &r.baseKb, &r.peakKb, &r.recordBytes, &r.heapBytes, &r.allocations,
                  &r.cpuSeconds) != 8)
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
      if (mode == "bare")
        r = Bare(argv[3], argv[4]);
      else
        r = Walk(argv[3], argv[4], mode == "uni");
    } catch (const std::exception& e) {
      Die(mode + ": " + e.what());
    }
    std::printf("%.6f %lld %ld %ld %lld %lld %lld %.6f\n", r.seconds, r.rows, r.baseKb, r.peakKb,
                r.recordBytes, r.heapBytes, r.allocations, r.cpuSeconds);
    return 0;
  }

  const TBenchOptions options =
      ParseBenchOptions(argc, argv, "recordset-bench [--rows N] [--runs N] [--keep <folder>]");
  const int runs = options.runs;
  const std::string server = PrepareBenchServer(options, "recordset-bench", STANDIN_ADMIN);

  const Result bare = Best("bare", server, "T1", runs);
  const Result walk = Best("walk", server, "T1", runs);
  const Result uni1 = Best("uni", server, "T1", 1);
  const Result uni4 = Best("uni", server, "T4", 1);

  auto line = [](const char* name, const Result& r) {
    std::printf(
        "%-34s %8lld rows %7.3f s %10.0f rows/s  cpu %7.3f s  peak %7ld KiB  %7lld allocations\n",
        name, r.rows, r.seconds, static_cast<double>(r.rows) / r.seconds, r.cpuSeconds, r.peakKb,
        r.allocations);
  };
  std::printf("fetch block 25 rows, best of %d runs each\n", runs);
  line("bare array fetch", bare);
  line("record set walk (all rows kept)", walk);
  line("record set walk, UniDirectional", uni1);
  line("record set walk, UniDirectional 4x", uni4);
  std::printf("walk / bare: time %.3f, processor time %.3f (goal: at most 1.3)\n",
              walk.seconds / bare.seconds, walk.cpuSeconds / bare.cpuSeconds);
  std::printf("UniDirectional walk / bare: time %.3f, processor time %.3f\n",
              uni1.seconds / bare.seconds, uni1.cpuSeconds / bare.cpuSeconds);
  const double perRow = (walk.peakKb - walk.baseKb) * 1024.0 / static_cast<double>(walk.rows);
  const double expected =
      static_cast<double>(walk.recordBytes) + static_cast<double>(walk.heapBytes) / walk.rows;
  std::printf(
      "memory per row: %.1f bytes measured, %.1f expected (record + item header %lld, heap "
      "strings %.1f): %+.1f %%\n",
      perRow, expected, walk.recordBytes, static_cast<double>(walk.heapBytes) / walk.rows,
      (perRow / expected - 1) * 100);
  std::printf("UniDirectional peak: %ld KiB for %lld rows, %ld KiB for %lld rows: %+.1f %%\n",
              uni1.peakKb, uni1.rows, uni4.peakKb, uni4.rows,
              (static_cast<double>(uni4.peakKb) / uni1.peakKb - 1) * 100);
  return 0;
}
