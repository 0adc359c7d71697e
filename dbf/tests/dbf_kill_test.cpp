// A writer process killed at random moments must leave a table that readers open with exactly the
// records its header counts. The writer stores its count through the mapping of the first page.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>

#include "dbf_test_support.h"

namespace {

using namespace dbftest;

const std::vector<Field> kFields{{"ID", 'N', 7, 0}, {"NAME", 'C', 20, 0}, {"BORN", 'D', 8, 0}};
constexpr size_t kHeader = 32 * 3 + 33;
constexpr size_t kRecord = 1 + 7 + 20 + 8;

std::vector<std::string> row(uint32_t i) {
  const std::string day = std::to_string(10 + i % 19);
  return {std::to_string(i), "Запись " + std::to_string(i), "200401" + day};
}

// The bytes record i must have, built by hand: "Запись" is 87 A0 AF A8 E1 EC in code page 866.
std::vector<uint8_t> expected_record(uint32_t i) {
  std::vector<uint8_t> r{' '};
  std::string id = std::to_string(i);
  id.resize(7, ' ');
  r.insert(r.end(), id.begin(), id.end());
  const uint8_t word[] = {0x87, 0xA0, 0xAF, 0xA8, 0xE1, 0xEC, ' '};
  std::string tail = std::to_string(i);
  tail.resize(20 - sizeof word, ' ');
  r.insert(r.end(), std::begin(word), std::end(word));
  r.insert(r.end(), tail.begin(), tail.end());
  const std::string date = "200401" + std::to_string(10 + i % 19);
  r.insert(r.end(), date.begin(), date.end());
  return r;
}

// Appends records until it is killed; starts after the records the table already counts. Leaves
// with status 4 when the table was not mapped, 5 when anything is written into the header.
[[noreturn]] void writer_child(const std::string& path, uint32_t first) {
  bool mapped = false;
  tarnwick::DbfFileHooks h = tarnwick::dbf_default_hooks();
  auto mmap_os = h.mmap;
  h.mmap = [&mapped, mmap_os](void* addr, size_t length, int prot, int flags, int fd,
                              off_t offset) {
    void* p = mmap_os(addr, length, prot, flags, fd, offset);
    mapped = p != MAP_FAILED;
    return p;
  };
  auto pwrite_os = h.pwrite;
  h.pwrite = [pwrite_os](int fd, const void* buf, size_t n, off_t offset) {
    if (offset < static_cast<off_t>(kHeader)) _exit(5);
    return pwrite_os(fd, buf, n, offset);
  };
  tarnwick::dbf_set_hooks(h);
  if (tarnwick::dbf_open(path.c_str()) != 0) _exit(2);
  if (!mapped) _exit(4);
  const std::vector<std::string> lengths = length_texts(kFields);
  for (uint32_t i = first;; ++i) {
    if (tarnwick::dbf_append(row(i), lengths) != 0) _exit(3);
  }
}

TEST_F(DbfTest, KilledWriterLeavesAReadableTable) {
  const char* start_text = std::getenv("TARNWICK_KILL_START");
  // The random generator's starting value; another value gives other kill moments.
  const uint32_t start =
      start_text ? static_cast<uint32_t>(std::strtoul(start_text, nullptr, 10)) : 20261209u;
  RecordProperty("random_start", std::to_string(start));
  std::mt19937 rng(start);
  std::uniform_int_distribution<int> delay_us(0, 15000);
  ASSERT_TRUE(ogrinfo_available());

  const std::string path = dir.File("KILLED.dbf");
  ASSERT_TRUE(CreateArgs(kFields).create(path));
  uint32_t count = 0;
  int uncounted_tails = 0;
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("random start " + std::to_string(start) + ", round " + std::to_string(round));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) writer_child(path, count);
    usleep(static_cast<useconds_t>(delay_us(rng)));
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the writer stopped by itself with status " << status;

    const std::vector<uint8_t> b = read_bytes(path);
    ASSERT_GE(b.size(), kHeader);
    const uint32_t previous = count;
    count = le32(b, 4);
    const size_t counted_end = kHeader + size_t{count} * kRecord;
    ASSERT_GE(count, previous) << "records counted before are never lost";
    ASSERT_GE(b.size(), counted_end) << "the header counts records that are not in the file";
    ASSERT_LE(b.size(), counted_end + kRecord) << "more than one uncounted record follows";
    if (b.size() > counted_end) ++uncounted_tails;
    for (uint32_t i = 0; i < count; ++i) {
      const auto at = b.begin() + static_cast<std::ptrdiff_t>(kHeader + i * kRecord);
      ASSERT_EQ(std::vector<uint8_t>(at, at + kRecord), expected_record(i)) << "record " << i;
    }
    {
      const CommandResult r = RunCommand("ogrinfo -ro -so -al " + ShellQuote(path) + " 2>&1");
      ASSERT_EQ(r.status, 0) << r.output;
      EXPECT_NE(r.output.find("Feature Count: " + std::to_string(count) + "\n"), std::string::npos)
          << r.output;
    }
  }
  std::cout << "random start " << start << ": " << count << " records after 12 kills, "
            << uncounted_tails << " kills left record bytes after the counted ones\n";

  // The last state, read in full by python3-dbf: every counted record and nothing more.
  ASSERT_TRUE(PythonDbfAvailable());
  const std::string script = dir.File("count.py");
  std::ofstream(script) << "import sys, dbf\n"
                           "t = dbf.Table(sys.argv[1]); t.open(dbf.READ_ONLY)\n"
                           "ids = [r[0] for r in t]\n"
                           "print(len(t), len(ids), ids == list(range(len(ids))))\n";
  const CommandResult r = RunCommand(ShellQuote(SystemPython()) + " " + ShellQuote(script) + " " +
                                     ShellQuote(path) + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, std::to_string(count) + " " + std::to_string(count) + " True\n");
}

}  // namespace
