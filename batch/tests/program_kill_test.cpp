// An export of 100 000 rows killed with SIGKILL at random moments, again and again: every time the
// file that is left (if any: the export's own file until it is complete) is a table that readers
// open, its header counts exactly the records in it (a record written but not yet counted may
// follow them), and every counted record is the record of its row. The target itself appears
// only complete. Fifty kills by default; TARNWICK_KILL_ROUNDS=<n> runs more.
#include <random>

#include "batch/tests/ExportProgram.h"

namespace tarnwick::program_test {
namespace {

constexpr int kRows = 100000;

// python3-dbf's view of chosen records: "COUNT n", then one line per index given, its values
// separated by "|".
const char* kIndexReader = R"PY(
import sys, dbf
sys.stdout.reconfigure(encoding="utf-8")
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
print("COUNT", len(t))
for i in sys.argv[2:]:
    print("|".join(repr(v) for v in t[int(i)]))
t.close()
)PY";

std::vector<std::string> ReadRecords(const testsupport::ScratchDir& dir, const std::string& table,
                                     const std::vector<uint32_t>& indexes) {
  const std::string script = dir.File("read_records.py");
  std::ofstream(script) << kIndexReader;
  std::string command =
      ShellQuote(SystemPython()) + " " + ShellQuote(script) + " " + ShellQuote(table);
  for (uint32_t i : indexes) command += ' ' + std::to_string(i);
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  std::string output;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0) << output;
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int Rounds() {
  const char* text = std::getenv("TARNWICK_KILL_ROUNDS");
  return text != nullptr && std::atoi(text) > 50 ? std::atoi(text) : 50;
}

TEST_F(ProgramTest, AnExportKilledAtRandomMomentsAlwaysLeavesAConsistentFile) {
#if defined(__SANITIZE_ADDRESS__)
  // A program killed with SIGKILL reports nothing to the sanitizers, and the whole exports that
  // they do check run in the other program tests; here they would only multiply the time.
  GTEST_SKIP() << "the kill test runs in the normal build";
#endif
  // The generated table (ID NUMBER(10), VARCHAR2(30), NUMBER(12,2), DATE), with Cyrillic text
  // in some of its rows.
  Admin({"generate", server, "demo", "KILLTEST", std::to_string(kRows), "4"});
  Admin({"sql", server, "demo",
         "update KILLTEST set C001 = 'Ёлкин Пётр ' || ID where mod(ID, 7) = 0"});

  // The reference: the same export, undisturbed. Its duration sets the range of the kill times.
  const std::string referencePath = dir.File("reference.dbf");
  const auto started = std::chrono::steady_clock::now();
  const TRunResult done = Run({.args = {"-o", referencePath, "KILLTEST"}});
  const auto duration = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(done.status, 0) << done.err;
  const TTableFile reference = ReadDbf(referencePath);
  ASSERT_EQ(reference.count, static_cast<uint32_t>(kRows));
  ASSERT_EQ(reference.trailing, 0u);

  // The reference holds the rows of the table: every 250th row compared through python3-dbf
  // with the table's own text of it.
  ASSERT_TRUE(PythonDbfAvailable());
  {
    std::vector<uint32_t> sample;
    for (uint32_t i = 0; i < kRows; i += 250) sample.push_back(i);
    sample.push_back(kRows - 1);
    const std::vector<std::string> lines = ReadRecords(dir, referencePath, sample);
    ASSERT_EQ(lines.size(), sample.size() + 1);
    EXPECT_EQ(lines[0], "COUNT " + std::to_string(kRows));
    const auto rows = Rows(server, "select ID, C001 from KILLTEST order by 1");
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
    for (std::size_t k = 0; k < sample.size(); ++k) {
      const auto& row = rows[sample[k]];
      // ID and the text, the first two values python prints.
      const std::string expected = row[0] + "|'" + row[1];
      EXPECT_TRUE(lines[k + 1].starts_with(expected)) << lines[k + 1] << " vs " << expected;
    }
  }

  std::mt19937_64 random(20240521);
  const auto range = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
  std::uniform_int_distribution<int64_t> moment(0, range);
  const std::string target = (out / "KILLTEST.dbf").string();
  const std::string path = (out / "KILLTEST.partial.dbf").string();
  int complete = 0;
  int kills = 0;
  int withFile = 0;
  int uncounted = 0;
  int pythonChecks = 0;
  uint32_t most = 0;
  const int rounds = Rounds();
  // The moments are drawn from the duration of the reference export; on a machine whose load
  // changes, later exports may run faster. Each export that finishes before its kill narrows the
  // range, so that the kills still come while the file is being written.
  double scale = 1.0;
  for (int attempt = 0; kills < rounds && attempt < 5 * rounds; ++attempt) {
    fs::remove(path);
    fs::remove(target);
    TRunOptions options{.args = {"KILLTEST", out.string()}};
    Prepare(options);
    TChild child(ExportProgram(), options, dir.Path());
    std::this_thread::sleep_for(std::chrono::microseconds(
        static_cast<int64_t>(static_cast<double>(moment(random)) * scale)));
    child.Signal(SIGKILL);
    const TRunResult r = child.Wait();
    if (!r.signaled) {
      EXPECT_EQ(r.status, 0) << r.err;  // it finished before the kill
      scale *= 0.8;
      continue;
    }
    ++kills;
    if (fs::exists(target)) {
      // Killed after the export was complete and put in place, before the program ended.
      EXPECT_FALSE(fs::exists(path));
      EXPECT_EQ(ReadFile(target).substr(4), ReadFile(referencePath).substr(4));  // not the date
      ++complete;
      continue;
    }
    if (!fs::exists(path)) continue;  // killed before the file was made
    ++withFile;
    const TTableFile file = ReadDbf(path, DbfEnd::MayHoldAnUncountedRecord);
    if (testing::Test::HasFailure()) {
      ADD_FAILURE() << "after kill " << kills << " at " << file.count << " records";
      break;
    }
    ASSERT_LE(file.count, reference.count);
    ASSERT_EQ(file.headerLength, reference.headerLength);
    most = std::max(most, file.count);
    for (uint32_t i = 0; i < file.count; ++i) {
      ASSERT_EQ(file.records[i], reference.records[i]) << "record " << i << " after kill " << kills;
    }
    if (file.trailing > 0) {
      ++uncounted;
      const std::string bytes =
          ReadFile(path).substr(file.headerLength + std::size_t{file.count} * file.recordLength);
      EXPECT_EQ(bytes, reference.records[file.count].substr(0, bytes.size()));
    }
    // Every fifth file with records through the independent reader as well: its count and its
    // last records as the reference has them.
    if (file.count > 0 && withFile % 5 == 1) {
      ++pythonChecks;
      std::vector<uint32_t> last;
      for (uint32_t i = file.count > 3 ? file.count - 3 : 0; i < file.count; ++i) last.push_back(i);
      std::vector<std::string> killed = ReadRecords(dir, path, last);
      std::vector<std::string> whole = ReadRecords(dir, referencePath, last);
      ASSERT_FALSE(killed.empty());
      EXPECT_EQ(killed[0], "COUNT " + std::to_string(file.count));
      EXPECT_EQ(std::vector<std::string>(killed.begin() + 1, killed.end()),
                std::vector<std::string>(whole.begin() + 1, whole.end()));
    }
  }
  std::cerr << kills << " kills: " << withFile << " left a file (the fullest with " << most
            << " records), " << uncounted << " with a record not yet counted, " << complete
            << " the complete target; " << pythonChecks << " read by python3-dbf\n";
  EXPECT_GE(kills, rounds);
  EXPECT_GT(withFile, rounds / 4) << "too few kills came while the file was being written";
}

}  // namespace
}  // namespace tarnwick::program_test
