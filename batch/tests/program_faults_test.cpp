// The built tarnwick-export when things go wrong in the middle of an export: the disk fills up,
// the connection drops, a signal asks it to stop. Each time: the status of that outcome, the
// message, a file of the export's own (named in the message) that readers open, whose counted
// records are the first rows of the table, and an old target file left as it was.
#include <sys/mount.h>

#include "batch/tests/ExportProgram.h"

namespace tarnwick::program_test {
namespace {

constexpr int kRows = 3000;

class FaultTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    if (IsSkipped()) return;
    // ID NUMBER(10), VARCHAR2(30), NUMBER(12,2), DATE: columns whose DBF fields python3-dbf
    // reads (a NUMBER without precision gets 0 decimals, which it refuses for fractions).
    Admin({"generate", server, "demo", "ROWS3000", std::to_string(kRows), "4"});
    // Every record in full, for comparison: an export that nothing disturbs.
    const TRunResult r = Run({.args = {"-o", dir.File("reference.dbf"), "ROWS3000"}});
    ASSERT_EQ(r.status, 0) << r.err;
    reference = ReadDbf(dir.File("reference.dbf"));
    ASSERT_EQ(reference.count, static_cast<uint32_t>(kRows));
  }

  // The file is consistent, and its counted records are the reference's first ones.
  void ExpectFirstRecords(const std::string& path, uint32_t count) {
    const TTableFile file = ReadDbf(path);
    EXPECT_EQ(file.count, count);
    EXPECT_EQ(file.trailing, 0u);
    EXPECT_EQ(file.headerLength, reference.headerLength);
    for (uint32_t i = 0; i < std::min<uint32_t>(file.count, reference.count); ++i) {
      if (file.records[i] != reference.records[i]) {
        ADD_FAILURE() << path << ": record " << i << " differs from its row";
        break;
      }
    }
    ASSERT_TRUE(PythonDbfAvailable());
    const std::vector<std::string> lines = ReadWithPython(dir, path);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "COUNT " + std::to_string(count));
  }

  TTableFile reference;
};

// A file system that fills up, or the file size limit of the process: the record that does not
// fit is taken back, the ones before it stay counted.
TEST_F(FaultTest, AFullDiskEndsTheExportWithAWriteFailureAndAConsistentFile) {
  const std::size_t limit = reference.headerLength + 1000 * reference.recordLength + 100;
  struct Case {
    std::string name;
    std::string folder;
    std::optional<rlim_t> fileSizeLimit;
    std::string cause;
  };
  std::vector<Case> cases = {{"file size limit", (out / "fsize").string(), limit,
                              "File too large (the file size limit of the process, ulimit -f)"}};
  // A real full file system: a small tmpfs, which only the superuser may mount.
  const fs::path small = dir.Path() / "small";
  fs::create_directories(small);
  bool mounted = false;
  if (::geteuid() == 0) {
    const std::string size = "size=" + std::to_string((limit + 4095) / 4096 * 4) + "k";
    mounted = ::mount("tarnwick-test", small.c_str(), "tmpfs", 0, size.c_str()) == 0;
  }
  if (mounted) {
    cases.push_back({"full tmpfs", small.string(), std::nullopt, "No space left on device"});
  } else {
    std::cerr << "Not the superuser or no tmpfs: the full file system case is left out\n";
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(c.folder);
    const TRunResult r = Run({.args = {"ROWS3000", c.folder}, .fileSizeLimit = c.fileSizeLimit});
    EXPECT_EQ(r.status, 7) << r.err;
    EXPECT_FALSE(r.signaled);
    EXPECT_TRUE(Contains(r.err, "tarnwick-export: Ошибки записи в файл!\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, c.cause)) << r.err;
    const std::string path = c.folder + "/ROWS3000.partial.dbf";
    EXPECT_TRUE(Contains(r.err, "cannot write to " + path + ": " + c.cause)) << r.err;
    EXPECT_FALSE(fs::exists(c.folder + "/ROWS3000.dbf"));
    const TTableFile file = ReadDbf(path);
    EXPECT_GT(file.count, 0u);
    EXPECT_LT(file.count, static_cast<uint32_t>(kRows));
    EXPECT_TRUE(Contains(r.err, "; the file keeps the " + std::to_string(file.count) +
                                    " records written before, with a matching count"))
        << r.err;
    ExpectFirstRecords(path, file.count);
  }
  if (mounted) ::umount(small.c_str());
}

// The connection drops after 500 rows, 20 whole fetches of 25 (ORA-03113 from the client on
// the fetch that would deliver row 501), or at the execute of the export's query, after the
// analysis (the seventh statement), with --overwrite and last night's file in place: that file
// stays byte for byte, and the records so far are in the export's own file, which the message
// names.
TEST_F(FaultTest, ALostConnectionEndsTheExportWithADatabaseErrorAndTheRowsSoFar) {
  struct Case {
    std::string name;
    std::map<std::string, std::optional<std::string>> env;
    bool overwrite;
    uint32_t records;
  };
  const std::vector<Case> cases = {
      {"fetch after 500 rows", {{"STANDIN_FAULT_ROWS", "500:3113"}}, false, 500},
      {"execute, --overwrite", {{"STANDIN_FAULT_CALL", "OCIStmtExecute:7:3113"}}, true, 0},
  };
  const std::string target = (out / "ROWS3000.dbf").string();
  const std::string path = (out / "ROWS3000.partial.dbf").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(target);
    fs::remove(path);
    if (c.overwrite) fs::copy_file(dir.File("reference.dbf"), target);
    TRunOptions options{.args = {"ROWS3000", out.string(), "--fetch-rows=25"}, .env = c.env};
    if (c.overwrite) options.args.push_back("--overwrite");
    const TRunResult r = Run(options);
    EXPECT_EQ(r.status, 8) << r.err;
    EXPECT_TRUE(Contains(r.err, "tarnwick-export: ORA-03113: end-of-file on communication channel"))
        << r.err;
    EXPECT_TRUE(Contains(r.err, path + " keeps the " + std::to_string(c.records) +
                                    " records written before it, with a matching count" +
                                    (c.overwrite ? "; " + target + " is left as it was" : "")))
        << r.err;
    EXPECT_FALSE(Contains(r.out, "Конец импорта"));
    ExpectFirstRecords(path, c.records);
    if (c.overwrite) {
      EXPECT_EQ(ReadFile(target), ReadFile(dir.File("reference.dbf"))) << "the old file stays";
    } else {
      EXPECT_FALSE(fs::exists(target));
    }
    EXPECT_EQ(FilesIn(out),
              (c.overwrite ? std::vector<std::string>{"ROWS3000.dbf", "ROWS3000.partial.dbf"}
                           : std::vector<std::string>{"ROWS3000.partial.dbf"}));
  }
}

// SIGINT and SIGTERM stop the export after the record being written; the log says so and the
// status tells which signal it was. SIGKILL ends it at once. The fetches are slowed down so that
// the signal comes in the middle of the table. With --overwrite the old file stays as it was.
TEST_F(FaultTest, ASignalStopsTheExportWithTheRecordsWrittenAndALogLine) {
  const std::string target = (out / "ROWS3000.dbf").string();
  const std::string path = (out / "ROWS3000.partial.dbf").string();
  const std::string old = "last night's export";
  for (const bool overwrite : {false, true}) {
    for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
      SCOPED_TRACE(std::to_string(signal) + (overwrite ? " with --overwrite" : ""));
      fs::remove(path);
      fs::remove(target);
      if (overwrite) std::ofstream(target) << old;
      // 25 rows per fetch: the program's own default would fetch the table in one round trip.
      TRunOptions options{.args = {"--fetch-rows", "25", "ROWS3000", out.string()},
                          .env = {{"STANDIN_FAULT_FETCH_DELAY_MS", "2"}}};
      if (overwrite) options.args.push_back("-f");
      Prepare(options);
      TChild child(ExportProgram(), options, dir.Path());
      // Wait until records arrive, then ask the program to stop.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      const uintmax_t enough = reference.headerLength + 100 * reference.recordLength;
      for (;;) {
        std::error_code ec;
        const uintmax_t size = fs::file_size(path, ec);
        if ((!ec && size >= enough) || std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      child.Signal(signal);
      const TRunResult r = child.Wait();
      EXPECT_EQ(r.status, 128 + signal) << r.err;
      EXPECT_EQ(r.signaled, signal == SIGKILL);
      const TTableFile file = ReadDbf(path, DbfEnd::MayHoldAnUncountedRecord);
      EXPECT_GE(file.count, 100u);
      EXPECT_LT(file.count, static_cast<uint32_t>(kRows));
      if (overwrite) {
        EXPECT_EQ(ReadFile(target), old) << "the old file stays";
      } else {
        EXPECT_FALSE(fs::exists(target));
      }
      if (signal == SIGKILL) {
        // A record written but not yet counted may follow the counted ones.
        EXPECT_LE(file.trailing, file.recordLength);
        continue;
      }
      EXPECT_TRUE(Contains(r.out, "Импорт прерван: ")) << r.out;
      EXPECT_TRUE(Contains(r.out, ". Записано записей: " + std::to_string(file.count) + "\n"))
          << r.out;
      EXPECT_TRUE(Contains(
          r.err, "tarnwick-export: interrupted by " +
                     std::string(signal == SIGINT ? "SIGINT" : "SIGTERM") + " during the export; " +
                     path + " keeps the " + std::to_string(file.count) +
                     " records written so far, with a matching count" +
                     (overwrite ? "; " + target + " is left as it was" : "") + "\n"))
          << r.err;
      ExpectFirstRecords(path, file.count);
    }
  }
}

}  // namespace
}  // namespace tarnwick::program_test
