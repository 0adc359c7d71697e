// Failing file operations, injected through the writer's hooks: short and failed writes, failed
// opens, closes, links and renames, short reads, a file that cannot be mapped. The file on disk
// must stay a consistent table after each.
#include <fcntl.h>
#include <unistd.h>

#include <sys/mman.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "dbf_test_support.h"

namespace {

using namespace dbftest;
using tarnwick::dbf_append;
using tarnwick::dbf_close;
using tarnwick::dbf_open;
using tarnwick::DbfFileHooks;

const std::vector<Field> kThree{{"ID", 'N', 5, 0}, {"NAME", 'C', 30, 0}, {"BORN", 'D', 8, 0}};
constexpr size_t kHeader = 129;
constexpr size_t kRecord = 44;

std::vector<std::string> row(int i) {
  return {std::to_string(i), "name " + std::to_string(i), "20200101"};
}

// Operating-system hooks that remember which descriptor belongs to which file and count opens
// and closes, so that every test can also check that no descriptor is left open.
// An unnamed file (O_TMPFILE) is known by the order of its creation: the writer makes the table
// first and its memo companion second; the tracker names them "(unnamed table)" and
// "(unnamed .FPT)". With `unnamed` false the hooks refuse unnamed files, as a file system without
// them does, and the writer uses temporaries with names.
struct Tracker {
  explicit Tracker(bool unnamed_files = true) : unnamed(unnamed_files) {}
  bool unnamed;
  std::map<int, std::string> paths;
  int opened = 0;
  int closed = 0;
  int unnamed_opened = 0;

  static bool is_unnamed(int flags) { return (flags & O_TMPFILE) == O_TMPFILE; }
  // The name an open is known by (see above).
  std::string name_of(const char* path, int flags) const {
    if (!is_unnamed(flags)) return path;
    return unnamed_opened == 0 ? "(unnamed table)" : "(unnamed .FPT)";
  }

  DbfFileHooks hooks() {
    DbfFileHooks h = tarnwick::dbf_default_hooks();
    auto open_os = h.open;
    h.open = [this, open_os](const char* path, int flags, mode_t mode) {
      if (is_unnamed(flags) && !unnamed) {
        errno = EOPNOTSUPP;
        return -1;
      }
      const std::string name = name_of(path, flags);
      const int fd = open_os(path, flags, mode);
      if (is_unnamed(flags)) ++unnamed_opened;
      if (fd >= 0) {
        paths[fd] = name;
        ++opened;
      }
      return fd;
    };
    auto close_os = h.close;
    h.close = [this, close_os](int fd) {
      ++closed;
      paths.erase(fd);
      return close_os(fd);
    };
    return h;
  }
  bool is_memo(int fd) const {
    auto it = paths.find(fd);
    return it != paths.end() && is_memo_path(it->second);
  }
  // The memo companion or its temporary ("T.FPT.tmp-...").
  static bool is_memo_path(const std::string& path) {
    return path.find(".FPT") != std::string::npos;
  }
};

// Hooks whose mapping always fails, as on a file system that refuses it: the count is then
// written with pwrite.
DbfFileHooks without_mapping(DbfFileHooks h) {
  h.mmap = [](void*, size_t, int, int, int, off_t) {
    errno = ENODEV;
    return MAP_FAILED;
  };
  return h;
}

// A disk that fills up: writes go through until `budget` bytes have been written, the write
// that reaches the limit is cut short, and every later write fails with ENOSPC.
struct FillingDisk {
  size_t budget;
  size_t written = 0;

  ssize_t pwrite(const decltype(DbfFileHooks::pwrite)& pwrite_os, int fd, const void* buf, size_t n,
                 off_t off) {
    if (written >= budget) {
      errno = ENOSPC;
      return -1;
    }
    n = std::min(n, budget - written);
    const ssize_t done = pwrite_os(fd, buf, n, off);
    if (done > 0) written += static_cast<size_t>(done);
    return done;
  }
};

// ---- creation --------------------------------------------------------------------------------

enum class Step {
  TableOpen,
  TableWrite,
  TableClose,
  MemoOpen,
  MemoWrite,
  MemoClose,
  MemoRename,
  TableRename
};

struct CreateFault {
  const char* label;
  Step step;
  size_t bytes_before_failure;  // for the write steps
  bool message;
  bool table_stays;
};

std::ostream& operator<<(std::ostream& os, const CreateFault& c) {
  return os << c.label;
}

const CreateFault kCreateFaults[] = {
    {"table_not_creatable", Step::TableOpen, 0, false, false},
    {"table_write_fails_at_once", Step::TableWrite, 0, false, false},
    {"table_write_fails_in_a_descriptor", Step::TableWrite, 40, false, false},
    {"table_write_fails_at_terminator", Step::TableWrite, 160, false, false},
    {"table_close_fails", Step::TableClose, 0, false, false},
    {"memo_not_creatable", Step::MemoOpen, 0, true, true},
    {"memo_write_fails", Step::MemoWrite, 100, true, true},
    {"memo_close_fails", Step::MemoClose, 0, true, true},
    {"memo_rename_fails", Step::MemoRename, 0, true, true},
    {"table_rename_fails", Step::TableRename, 0, false, false},
};

class CreateFaultTest : public DbfTest,
                        public ::testing::WithParamInterface<std::tuple<CreateFault, bool>> {};

// Each fault with unnamed files and with named temporaries; the rename steps are the links of
// the unnamed files there.
TEST_P(CreateFaultTest, ReportsFailureAndRemovesTheIncompleteFile) {
  const CreateFault& c = std::get<0>(GetParam());
  const bool unnamed = std::get<1>(GetParam());
  Tracker tracker(unnamed);
  DbfFileHooks h = tracker.hooks();
  auto is_target = [&tracker, &c](int fd) {
    const bool memo_step = c.step >= Step::MemoOpen;
    return tracker.is_memo(fd) == memo_step;
  };
  auto open_tracked = h.open;
  h.open = [&, open_tracked](const char* path, int flags, mode_t mode) {
    const bool memo = Tracker::is_memo_path(tracker.name_of(path, flags));
    const bool refused = Tracker::is_unnamed(flags) && !unnamed;  // the tracker refuses it
    if (!refused && ((c.step == Step::TableOpen && !memo) || (c.step == Step::MemoOpen && memo))) {
      errno = EACCES;
      return -1;
    }
    return open_tracked(path, flags, mode);
  };
  FillingDisk disk{c.bytes_before_failure};
  auto pwrite_os = h.pwrite;
  h.pwrite = [&, pwrite_os](int fd, const void* buf, size_t n, off_t off) -> ssize_t {
    const bool failing_write = c.step == Step::TableWrite || c.step == Step::MemoWrite;
    if (failing_write && is_target(fd)) return disk.pwrite(pwrite_os, fd, buf, n, off);
    return pwrite_os(fd, buf, n, off);
  };
  auto close_tracked = h.close;
  h.close = [&, close_tracked](int fd) {
    const bool failing_close = c.step == Step::TableClose || c.step == Step::MemoClose;
    const bool target = is_target(fd);
    const int rc = close_tracked(fd);
    if (failing_close && target) {
      errno = EIO;
      return -1;
    }
    return rc;
  };
  int renames = 0;
  auto rename_os = h.rename;
  h.rename = [&, rename_os](const char* from, const char* to) {
    ++renames;
    const bool memo = Tracker::is_memo_path(to);
    if ((c.step == Step::TableRename && !memo) || (c.step == Step::MemoRename && memo)) {
      errno = EIO;
      return -1;
    }
    return rename_os(from, to);
  };
  auto linkat_os = h.linkat;
  h.linkat = [&, linkat_os](int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                            int flags) {
    ++renames;
    const bool memo = Tracker::is_memo_path(newpath);
    if ((c.step == Step::TableRename && !memo) || (c.step == Step::MemoRename && memo)) {
      errno = EIO;
      return -1;
    }
    return linkat_os(olddirfd, oldpath, newdirfd, newpath, flags);
  };
  tarnwick::dbf_set_hooks(h);

  std::vector<Field> fields = kThree;
  fields.push_back({"NOTE", 'M', 10, 0});
  const std::string table = dir.File("T.dbf");
  const std::string memo = dir.File("T.FPT");
  EXPECT_FALSE(CreateArgs(fields).create(table));

  if (c.message) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Не могу создать файл " + memo);
  } else {
    EXPECT_TRUE(messages.empty());
  }
  EXPECT_EQ(std::filesystem::exists(table), c.table_stays);
  if (c.table_stays) {
    EXPECT_EQ(read_bytes(table).size(), 32u * 4 + 33);
  }
  EXPECT_FALSE(std::filesystem::exists(memo)) << "no incomplete memo file stays";
  const std::set<std::string> expected =
      c.table_stays ? std::set<std::string>{"T.dbf"} : std::set<std::string>{};
  EXPECT_EQ(folder_entries(dir.Path()), expected) << "no temporary stays";
  EXPECT_EQ(tracker.opened, tracker.closed);
  if (c.step >= Step::MemoRename) {
    EXPECT_GE(renames, 1) << "the failing rename was reached";
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, CreateFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kCreateFaults), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).label) +
                                  (std::get<1>(info.param) ? "_unnamed" : "_named");
                         });

// Writes that make progress a few bytes at a time, or are interrupted, still produce the same
// file as whole writes.
TEST_F(DbfTest, ShortAndInterruptedWritesAreContinued) {
  const std::string plain = dir.File("PLAIN.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(plain));
  ASSERT_EQ(dbf_open(plain.c_str()), 0);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(dbf_append(row(i), length_texts(kThree)), 0);
  dbf_close();

  int calls = 0;
  DbfFileHooks h = tarnwick::dbf_default_hooks();
  auto pwrite_os = h.pwrite;
  h.pwrite = [&calls, pwrite_os](int fd, const void* buf, size_t n, off_t off) -> ssize_t {
    if (++calls % 3 == 0) {
      errno = EINTR;
      return -1;
    }
    return pwrite_os(fd, buf, std::min<size_t>(n, 7), off);
  };
  tarnwick::dbf_set_hooks(h);
  const std::string chunked = dir.File("CHUNKED.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(chunked));
  ASSERT_EQ(dbf_open(chunked.c_str()), 0);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(dbf_append(row(i), length_texts(kThree)), 0);
  dbf_close();

  std::vector<uint8_t> a = read_bytes(plain), b = read_bytes(chunked);
  ASSERT_EQ(a.size(), b.size());
  std::copy(a.begin() + 1, a.begin() + 4, b.begin() + 1);  // the dates may straddle midnight
  EXPECT_EQ(a, b);
  EXPECT_GT(calls, 60);
}

// ---- opening ---------------------------------------------------------------------------------

struct RetryCase {
  const char* label;
  int error;
  int failures;  // attempts that fail before one succeeds
  bool opens;
  int attempts;
};

std::ostream& operator<<(std::ostream& os, const RetryCase& c) {
  return os << c.label;
}

const RetryCase kRetryCases[] = {
    {"first_attempt", 0, 0, true, 1},
    {"interrupted_three_times", EINTR, 3, true, 4},
    {"busy_nine_times", EBUSY, 9, true, 10},
    {"busy_ten_times", EBUSY, 10, false, 10},
    {"try_again_forever", EAGAIN, 1000, false, 10},
    {"text_file_busy_forever", ETXTBSY, 1000, false, 10},
    {"missing_is_not_retried", ENOENT, 1000, false, 1},
    {"permission_is_not_retried", EACCES, 1000, false, 1},
};

class OpenRetryTest : public DbfTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(OpenRetryTest, RetriesOnlyTransientFailuresAtMostTenTimes) {
  const RetryCase& c = GetParam();
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  int attempts = 0;
  DbfFileHooks h = tarnwick::dbf_default_hooks();
  auto open_os = h.open;
  h.open = [&, open_os](const char* p, int flags, mode_t mode) {
    if (attempts++ < c.failures) {
      errno = c.error;
      return -1;
    }
    return open_os(p, flags, mode);
  };
  tarnwick::dbf_set_hooks(h);

  const int fd = tarnwick::dbf_open_retry(path.c_str(), O_RDWR, 0);
  const int error = errno;
  EXPECT_EQ(fd >= 0, c.opens);
  EXPECT_EQ(attempts, c.attempts);
  if (fd >= 0) {
    close(fd);
  } else {
    EXPECT_EQ(error, c.error);
  }
  attempts = 0;
  EXPECT_EQ(dbf_open(path.c_str()), c.opens ? 0 : -2);
  EXPECT_EQ(attempts, c.attempts);
}

INSTANTIATE_TEST_SUITE_P(Failures, OpenRetryTest, ::testing::ValuesIn(kRetryCases),
                         [](const auto& info) { return std::string(info.param.label); });

struct ReadFault {
  const char* label;
  off_t offset;     // the read at this offset goes wrong
  ssize_t returns;  // bytes it delivers, or -1
  bool stat_fails;
};

std::ostream& operator<<(std::ostream& os, const ReadFault& c) {
  return os << c.label;
}

const ReadFault kReadFaults[] = {
    {"header_read_fails", 0, -1, false},
    {"header_read_short_then_end", 0, 10, false},
    {"second_descriptor_read_fails", 64, -1, false},
    {"third_descriptor_short", 96, 31, false},
    {"size_unknown", -1, 0, true},
};

class OpenReadFaultTest : public DbfTest, public ::testing::WithParamInterface<ReadFault> {};

TEST_P(OpenReadFaultTest, GivesMinusTwoAndClosesTheFile) {
  const ReadFault& c = GetParam();
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  Tracker tracker;
  DbfFileHooks h = tracker.hooks();
  auto pread_os = h.pread;
  // A short read is followed by end of file, as on a file that ends there.
  h.pread = [&c, pread_os](int fd, void* buf, size_t n, off_t off) -> ssize_t {
    if (off == c.offset) {
      if (c.returns < 0) {
        errno = EIO;
        return -1;
      }
      return pread_os(fd, buf, std::min(n, static_cast<size_t>(c.returns)), off);
    }
    if (off > c.offset && c.offset >= 0 && off < c.offset + 32) return 0;
    return pread_os(fd, buf, n, off);
  };
  auto fstat_os = h.fstat;
  h.fstat = [&c, fstat_os](int fd, struct stat* st) {
    if (c.stat_fails) {
      errno = EIO;
      return -1;
    }
    return fstat_os(fd, st);
  };
  tarnwick::dbf_set_hooks(h);

  EXPECT_EQ(dbf_open(path.c_str()), -2);
  EXPECT_EQ(tracker.opened, 1);
  EXPECT_EQ(tracker.closed, 1);
  EXPECT_EQ(dbf_append(row(1), length_texts(kThree)), -1);
}

INSTANTIATE_TEST_SUITE_P(Reads, OpenReadFaultTest, ::testing::ValuesIn(kReadFaults),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- appending -------------------------------------------------------------------------------

// Opens a three-field table holding `records` rows; without the mapping, its count is written
// with pwrite.
class AppendFaultTest : public DbfTest {
 protected:
  void open_with_records(int records, bool mapped = true) {
    path = dir.File("T.dbf");
    ASSERT_TRUE(CreateArgs(kThree).create(path));
    if (!mapped) tarnwick::dbf_set_hooks(without_mapping(tarnwick::dbf_default_hooks()));
    ASSERT_EQ(dbf_open(path.c_str()), 0);
    for (int i = 0; i < records; ++i) ASSERT_EQ(dbf_append(row(i), length_texts(kThree)), 0);
  }
  // After a failed append and with working hooks again: the next record lands right after the
  // counted ones and the file holds exactly those records.
  void expect_recovers(int records) {
    tarnwick::dbf_set_hooks({});
    ASSERT_EQ(dbf_append(row(records), length_texts(kThree)), 0);
    dbf_close();
    const std::vector<uint8_t> b = read_bytes(path);
    ASSERT_EQ(b.size(), kHeader + (records + 1) * kRecord);
    EXPECT_EQ(le32(b, 4), static_cast<uint32_t>(records + 1));
    for (int i = 0; i <= records; ++i) {
      EXPECT_EQ(b[kHeader + i * kRecord], 0x20);
      EXPECT_EQ(
          std::string(b.begin() + kHeader + i * kRecord + 1, b.begin() + kHeader + i * kRecord + 6),
          (std::to_string(i) + "     ").substr(0, 5))
          << "record " << i;
    }
  }
  std::string path;
};

struct RecordFault {
  const char* label;
  size_t bytes_before_failure;
  bool truncate_fails;
};

std::ostream& operator<<(std::ostream& os, const RecordFault& c) {
  return os << c.label;
}

const RecordFault kRecordFaults[] = {
    {"nothing_written", 0, false},
    {"deletion_flag_only", 1, false},
    {"half_record", 22, false},
    {"all_but_last_byte", 43, false},
    {"half_record_and_cut_back_fails", 22, true},
};

class RecordWriteFaultTest : public AppendFaultTest,
                             public ::testing::WithParamInterface<RecordFault> {};

TEST_P(RecordWriteFaultTest, MinusOneAndNoPartialRecordIsCounted) {
  const RecordFault& c = GetParam();
  constexpr int kRecords = 3;
  open_with_records(kRecords);
  FillingDisk disk{c.bytes_before_failure};
  DbfFileHooks h = tarnwick::dbf_default_hooks();
  auto pwrite_os = h.pwrite;
  h.pwrite = [&, pwrite_os](int fd, const void* buf, size_t n, off_t off) -> ssize_t {
    if (off >= static_cast<off_t>(kHeader)) return disk.pwrite(pwrite_os, fd, buf, n, off);
    ADD_FAILURE() << "the count must not be written after a failed record";
    return pwrite_os(fd, buf, n, off);
  };
  auto truncate_os = h.ftruncate;
  h.ftruncate = [&c, truncate_os](int fd, off_t length) {
    if (c.truncate_fails) {
      errno = EIO;
      return -1;
    }
    return truncate_os(fd, length);
  };
  tarnwick::dbf_set_hooks(h);

  EXPECT_EQ(dbf_append(row(kRecords), length_texts(kThree)), -1);
  const std::vector<uint8_t> b = read_bytes(path);
  EXPECT_EQ(le32(b, 4), static_cast<uint32_t>(kRecords));
  const size_t counted_end = kHeader + kRecords * kRecord;
  EXPECT_EQ(b.size(), c.truncate_fails ? counted_end + c.bytes_before_failure : counted_end);
  expect_recovers(kRecords);
}

INSTANTIATE_TEST_SUITE_P(Writes, RecordWriteFaultTest, ::testing::ValuesIn(kRecordFaults),
                         [](const auto& info) { return std::string(info.param.label); });

// Only a table whose first page could not be mapped writes its count with pwrite.
class CountWriteFaultTest : public AppendFaultTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(CountWriteFaultTest, MinusTwoAndTheFileKeepsItsEarlierRecords) {
  const size_t count_bytes_written = GetParam();
  constexpr int kRecords = 2;
  open_with_records(kRecords, false);
  bool failed_once = false;
  DbfFileHooks h = without_mapping(tarnwick::dbf_default_hooks());
  auto pwrite_os = h.pwrite;
  // The first write of the count stops after some of its bytes; later writes work.
  h.pwrite = [&, pwrite_os](int fd, const void* buf, size_t n, off_t off) -> ssize_t {
    if (off == 4 && !failed_once) {
      failed_once = true;
      if (count_bytes_written > 0) return pwrite_os(fd, buf, count_bytes_written, off);
      errno = ENOSPC;
      return -1;
    }
    if (off == static_cast<off_t>(4 + count_bytes_written) && failed_once && n < 4) {
      errno = ENOSPC;  // the rest of the interrupted count write
      return -1;
    }
    return pwrite_os(fd, buf, n, off);
  };
  tarnwick::dbf_set_hooks(h);

  EXPECT_EQ(dbf_append(row(kRecords), length_texts(kThree)), -2);
  EXPECT_TRUE(failed_once);
  const std::vector<uint8_t> b = read_bytes(path);
  EXPECT_EQ(le32(b, 4), static_cast<uint32_t>(kRecords)) << "the previous count is restored";
  EXPECT_EQ(b.size(), kHeader + kRecords * kRecord) << "the uncounted record is taken back";
  expect_recovers(kRecords);
}

INSTANTIATE_TEST_SUITE_P(BytesWritten, CountWriteFaultTest, ::testing::Values(0u, 1u, 3u));

TEST_F(DbfTest, EveryDescriptorIsClosed) {
  Tracker tracker;
  tarnwick::dbf_set_hooks(tracker.hooks());
  const std::string path = dir.File("T.dbf");
  std::vector<Field> fields = kThree;
  fields.push_back({"NOTE", 'M', 10, 0});
  ASSERT_TRUE(CreateArgs(fields).create(path));
  EXPECT_EQ(tracker.opened, 2);
  EXPECT_EQ(tracker.closed, 2);
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  EXPECT_EQ(tracker.opened - tracker.closed, 1) << "reopening closes the earlier descriptor";
  dbf_close();
  EXPECT_EQ(tracker.opened, tracker.closed);
  EXPECT_TRUE(tracker.paths.empty());
}

}  // namespace
