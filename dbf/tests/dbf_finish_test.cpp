// Making a table without deleting anything (dbf_create_new), ending it so that success is true
// (dbf_finish: checks, sync, close), putting it in place without replacing what appeared
// (dbf_publish), the causes the writer keeps (dbf_last_error), a table that another program cuts
// short while it is written, and a process killed while it creates a table.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "dbf_test_support.h"

namespace {

using namespace dbftest;
using tarnwick::dbf_append;
using tarnwick::dbf_finish;
using tarnwick::dbf_last_error;
using tarnwick::dbf_last_error_text;
using tarnwick::dbf_open;
using tarnwick::DbfFileHooks;
namespace fs = std::filesystem;

const std::vector<Field> kThree{{"ID", 'N', 5, 0}, {"NAME", 'C', 30, 0}, {"BORN", 'D', 8, 0}};
constexpr size_t kHeader = 129;
constexpr size_t kRecord = 44;

std::vector<std::string> row(int i) {
  return {std::to_string(i), "name " + std::to_string(i), "20200101"};
}

bool create_new(const std::vector<Field>& fields, const std::string& path) {
  const CreateArgs args(fields);
  return tarnwick::dbf_create_new(path.c_str(), args.name_ptrs.data(), args.types.c_str(),
                                  args.lengths.data(), args.decimals.data());
}

// Hooks that refuse unnamed files, as a file system without them does.
DbfFileHooks without_unnamed_files(DbfFileHooks h) {
  auto open_os = h.open;
  h.open = [open_os](const char* path, int flags, mode_t mode) {
    if ((flags & O_TMPFILE) == O_TMPFILE) {
      errno = EOPNOTSUPP;
      return -1;
    }
    return open_os(path, flags, mode);
  };
  return h;
}

// ---- dbf_create_new --------------------------------------------------------------------------

// Nothing that exists is deleted: a file at the table path, or at the memo path of a table with
// a memo field, makes it fail with EEXIST; a memo file beside a table without memo fields is
// another program's and stays. dbf_create, the window's call, deletes both as before.
TEST_F(DbfTest, CreateNewDeletesNothingThatExists) {
  const std::string table = dir.File("T.dbf");
  const std::string memo = dir.File("T.FPT");
  std::vector<Field> with_memo = kThree;
  with_memo.push_back({"NOTE", 'M', 10, 0});
  struct Case {
    const char* label;
    bool table_there;
    bool memo_there;
    bool memo_field;
    bool created;
  };
  const Case cases[] = {
      {"table exists", true, false, false, false},
      {"memo exists, memo field", false, true, true, false},
      {"memo exists, no memo field", false, true, false, true},
      {"nothing exists", false, false, true, true},
  };
  for (const bool unnamed : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.label) + (unnamed ? ", unnamed files" : ", named temporaries"));
      tarnwick::dbf_set_hooks(unnamed ? DbfFileHooks{}
                                      : without_unnamed_files(tarnwick::dbf_default_hooks()));
      fs::remove(table);
      fs::remove(memo);
      if (c.table_there) write_bytes(table, {'o', 'l', 'd'});
      if (c.memo_there) write_bytes(memo, {'m', 'e', 'm', 'o'});
      EXPECT_EQ(create_new(c.memo_field ? with_memo : kThree, table), c.created);
      if (!c.created) {
        EXPECT_EQ(dbf_last_error(), EEXIST);
        EXPECT_EQ(dbf_last_error_text(), std::strerror(EEXIST));
      }
      if (c.table_there) {
        EXPECT_EQ(read_bytes(table), (std::vector<uint8_t>{'o', 'l', 'd'}));
      }
      if (c.memo_there) {
        EXPECT_EQ(read_bytes(memo), (std::vector<uint8_t>{'m', 'e', 'm', 'o'}));
      }
      if (c.created) {
        EXPECT_EQ(read_bytes(table).size(), 32u * (c.memo_field ? 4 : 3) + 33);
      }
      std::set<std::string> expected;
      if (c.table_there || c.created) expected.insert("T.dbf");
      if (c.memo_there || (c.created && c.memo_field)) expected.insert("T.FPT");
      EXPECT_EQ(folder_entries(dir.Path()), expected) << "no temporary stays";
    }
  }
  tarnwick::dbf_set_hooks({});
  write_bytes(memo, {'m'});
  write_bytes(table, {'o'});
  ASSERT_TRUE(CreateArgs(kThree).create(table));
  EXPECT_FALSE(fs::exists(memo)) << "dbf_create deletes the memo path as it always did";
}

// A file that appears at the table path while the new table is being written is never replaced:
// the link of the unnamed file, or the rename without replacing (and, where the file system
// lacks that, the link) of the temporary, fails with EEXIST and nothing of the new file stays.
TEST_F(DbfTest, CreateNewNeverReplacesAFileThatAppeared) {
  const std::string table = dir.File("T.dbf");
  enum Mode { Unnamed, Renamed, Linked };
  for (const Mode mode : {Unnamed, Renamed, Linked}) {
    SCOPED_TRACE(mode == Unnamed ? "unnamed" : mode == Renamed ? "renamed" : "linked");
    fs::remove(table);
    DbfFileHooks h = mode == Unnamed ? tarnwick::dbf_default_hooks()
                                     : without_unnamed_files(tarnwick::dbf_default_hooks());
    int publications = 0;
    auto appear = [&] {
      ++publications;
      write_bytes(table, {'t', 'h', 'e', 'i', 'r', 's'});
    };
    auto linkat_os = h.linkat;
    h.linkat = [&, linkat_os](int a, const char* b, int c, const char* d, int e) {
      appear();
      return linkat_os(a, b, c, d, e);
    };
    auto renameat2_os = h.renameat2;
    h.renameat2 = [&, renameat2_os](const char* from, const char* to, unsigned int flags) {
      EXPECT_EQ(flags, static_cast<unsigned int>(RENAME_NOREPLACE));
      if (mode == Linked) {
        errno = EINVAL;  // no RENAME_NOREPLACE here: the writer links instead
        return -1;
      }
      appear();
      return renameat2_os(from, to, flags);
    };
    h.rename = [](const char*, const char*) {
      ADD_FAILURE() << "a plain rename would replace the file";
      return -1;
    };
    tarnwick::dbf_set_hooks(h);
    EXPECT_FALSE(create_new(kThree, table));
    EXPECT_EQ(dbf_last_error(), EEXIST);
    EXPECT_GE(publications, 1);
    EXPECT_EQ(read_bytes(table), (std::vector<uint8_t>{'t', 'h', 'e', 'i', 'r', 's'}));
    EXPECT_EQ(folder_entries(dir.Path()), std::set<std::string>{"T.dbf"}) << "nothing else stays";
  }
}

// ---- dbf_publish -----------------------------------------------------------------------------

TEST_F(DbfTest, PublishReplacesOnlyWhenAskedTo) {
  const std::string from = dir.File("NEW.dbf");
  const std::string to = dir.File("T.dbf");
  struct Case {
    const char* label;
    bool target_there;
    bool replace;
    int result;
  };
  const Case cases[] = {{"free name", false, false, 0},
                        {"taken, no replace", true, false, -1},
                        {"taken, replace", true, true, 0},
                        {"free name, replace", false, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove(to);
    write_bytes(from, {'n', 'e', 'w'});
    if (c.target_there) write_bytes(to, {'o', 'l', 'd'});
    EXPECT_EQ(tarnwick::dbf_publish(from.c_str(), to.c_str(), c.replace), c.result);
    if (c.result == 0) {
      EXPECT_EQ(read_bytes(to), (std::vector<uint8_t>{'n', 'e', 'w'}));
      EXPECT_FALSE(fs::exists(from));
    } else {
      EXPECT_EQ(dbf_last_error(), EEXIST);
      EXPECT_EQ(read_bytes(to), (std::vector<uint8_t>{'o', 'l', 'd'}));
      EXPECT_EQ(read_bytes(from), (std::vector<uint8_t>{'n', 'e', 'w'})) << "the source stays";
    }
  }
}

// ---- dbf_finish ------------------------------------------------------------------------------

class FinishTest : public DbfTest {
 protected:
  void SetUp() override {
    DbfTest::SetUp();
    path = dir.File("T.dbf");
    ASSERT_TRUE(create_new(kThree, path));
  }
  // Opens the table with `h` and appends `records` records.
  void fill(const DbfFileHooks& h, int records) {
    tarnwick::dbf_set_hooks(h);
    ASSERT_EQ(dbf_open(path.c_str()), 0);
    for (int i = 0; i < records; ++i) ASSERT_EQ(dbf_append(row(i), length_texts(kThree)), 0);
  }
  std::string path;
};

// A table that nothing disturbed: synced once, closed, and its identity given.
TEST_F(FinishTest, SyncsAndClosesASoundTable) {
  int syncs = 0;
  int table_fd = -1;
  DbfFileHooks h = tarnwick::dbf_default_hooks();
  auto open_os = h.open;
  h.open = [&, open_os](const char* p, int flags, mode_t mode) {
    const int fd = open_os(p, flags, mode);
    if (p == path) table_fd = fd;
    return fd;
  };
  h.fsync = [&](int fd) {
    EXPECT_EQ(fd, table_fd);
    ++syncs;
    return ::fsync(fd);
  };
  fill(h, 7);
  tarnwick::DbfFileId id;
  ASSERT_EQ(dbf_finish(path.c_str(), &id), 0) << dbf_last_error_text();
  EXPECT_EQ(syncs, 1);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(id.device, st.st_dev);
  EXPECT_EQ(id.inode, st.st_ino);
  EXPECT_EQ(static_cast<size_t>(st.st_size), kHeader + 7 * kRecord);
  EXPECT_EQ(le32(read_bytes(path), 4), 7u);
  EXPECT_EQ(dbf_append(row(8), length_texts(kThree)), -1) << "the table is closed";
  EXPECT_EQ(dbf_finish(path.c_str()), -1) << "nothing left to finish";
  EXPECT_EQ(tarnwick::dbf_sync_folder(path.c_str()), 0);
}

// A failing sync, unmapping or close is a failure, with the system's error.
TEST_F(FinishTest, FailuresOfSyncUnmapAndCloseAreReported) {
  struct Case {
    const char* label;
    std::function<void(DbfFileHooks&)> fault;
    int error;
  };
  const std::vector<Case> cases = {
      {"sync", [](DbfFileHooks& h) { h.fsync = [](int) { return errno = EIO, -1; }; }, EIO},
      {"unmap",
       [](DbfFileHooks& h) {
         h.munmap = [](void* a, size_t n) {
           ::munmap(a, n);
           return errno = EINVAL, -1;
         };
       },
       EINVAL},
      {"close",
       [](DbfFileHooks& h) {
         h.close = [](int fd) {
           ::close(fd);
           return errno = ENOSPC, -1;
         };
       },
       ENOSPC},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove(path);
    ASSERT_TRUE(create_new(kThree, path));
    DbfFileHooks h = tarnwick::dbf_default_hooks();
    c.fault(h);
    fill(h, 3);
    EXPECT_EQ(dbf_finish(path.c_str()), -1);
    EXPECT_EQ(dbf_last_error(), c.error);
    EXPECT_EQ(dbf_last_error_text(), std::strerror(c.error));
    tarnwick::dbf_set_hooks({});
  }
}

// What another program can do to the file while it is being written: each is found at the end
// (or at the next append), never reported as success.
TEST_F(FinishTest, AFileChangedByAnotherProgramIsNotReportedAsWritten) {
  const std::string other = dir.File("OTHER.dbf");
  struct Case {
    const char* label;
    std::function<void()> change;
    bool mapped;
    std::string cause;
  };
  const std::vector<Case> cases = {
      {"deleted", [&] { fs::remove(path); }, true, "no longer names the file that was written"},
      {"replaced",
       [&] {
         write_bytes(other, std::vector<uint8_t>(kHeader, 0));
         fs::rename(other, path);
       },
       true, "no longer names the file that was written"},
      {"extended", [&] { std::ofstream(path, std::ios::app) << "tail"; }, true,
       "bytes long instead of the"},
      {"cut by one record", [&] { fs::resize_file(path, kHeader + 4 * kRecord); }, true,
       "bytes long instead of the"},
      {"cut by one record, no mapping", [&] { fs::resize_file(path, kHeader + 4 * kRecord); },
       false, "bytes long instead of the"},
      {"header overwritten",
       [&] {
         const int fd = ::open(path.c_str(), O_WRONLY);
         ASSERT_EQ(::pwrite(fd, "XX", 2, 32), 2);
         ::close(fd);
       },
       true, "changed the file's header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove(path);
    ASSERT_TRUE(create_new(kThree, path));
    DbfFileHooks h = tarnwick::dbf_default_hooks();
    if (!c.mapped) {
      h.mmap = [](void*, size_t, int, int, int, off_t) { return errno = ENODEV, MAP_FAILED; };
    }
    fill(h, 5);
    c.change();
    EXPECT_EQ(dbf_finish(path.c_str()), -2);
    EXPECT_EQ(dbf_last_error(), 0) << "the writer found it itself";
    EXPECT_NE(dbf_last_error_text().find(c.cause), std::string::npos) << dbf_last_error_text();
    tarnwick::dbf_set_hooks({});
  }
}

// A file cut to nothing between two appends: the next record's write extends it again, with a
// hole where the header was; the append sees that the header is gone and fails. Cut between the
// record's write and the count's store, the store through the mapping would end the process with
// SIGBUS; it fails the append instead. Either way every later append fails and so does
// dbf_finish.
TEST_F(FinishTest, ATableTruncatedWhileOpenFailsTheAppendWithoutACrash) {
  for (const bool between : {false, true}) {
    SCOPED_TRACE(between ? "between write and count" : "between appends");
    fs::remove(path);
    ASSERT_TRUE(create_new(kThree, path));
    bool cut = false;
    DbfFileHooks h = tarnwick::dbf_default_hooks();
    auto pwrite_os = h.pwrite;
    h.pwrite = [&, pwrite_os](int fd, const void* buf, size_t n, off_t off) {
      const ssize_t done = pwrite_os(fd, buf, n, off);
      if (cut && between) {
        EXPECT_EQ(::ftruncate(fd, 0), 0);
      }
      return done;
    };
    fill(h, 3);
    cut = true;
    if (!between) fs::resize_file(path, 0);
    EXPECT_EQ(dbf_append(row(3), length_texts(kThree)), -1);
    EXPECT_NE(dbf_last_error_text().find("truncated or overwrote"), std::string::npos)
        << dbf_last_error_text();
    cut = false;
    EXPECT_EQ(dbf_append(row(4), length_texts(kThree)), -1) << "the table stays spoilt";
    EXPECT_EQ(dbf_finish(path.c_str()), -2);
    tarnwick::dbf_set_hooks({});
  }
}

// The cause of a failed append is the system's error of the failed write.
TEST_F(FinishTest, AFailedAppendKeepsTheSystemsError) {
  for (const int error : {ENOSPC, EFBIG, EIO}) {
    SCOPED_TRACE(std::strerror(error));
    fs::remove(path);
    ASSERT_TRUE(create_new(kThree, path));
    int writes = 0;
    DbfFileHooks h = tarnwick::dbf_default_hooks();
    auto pwrite_os = h.pwrite;
    h.pwrite = [&, pwrite_os](int fd, const void* buf, size_t n, off_t off) -> ssize_t {
      if (++writes > 2) {
        errno = error;
        return -1;
      }
      return pwrite_os(fd, buf, n, off);
    };
    fill(h, 2);
    EXPECT_EQ(dbf_append(row(2), length_texts(kThree)), -1);
    EXPECT_EQ(dbf_last_error(), error);
    EXPECT_EQ(dbf_last_error_text(), std::strerror(error));
    tarnwick::dbf_close();
    tarnwick::dbf_set_hooks({});
    EXPECT_EQ(le32(read_bytes(path), 4), 2u);
  }
}

// ---- a kill during creation ------------------------------------------------------------------

// A process killed while it writes a new table's header leaves nothing with unnamed files; with
// named temporaries it leaves one, which dbf_remove_temporaries removes, and nothing else.
TEST_F(DbfTest, AKillDuringCreationLeavesNoTemporaryBehind) {
  const std::string table = dir.File("T.dbf");
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed files" : "named temporaries");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      DbfFileHooks h = unnamed ? tarnwick::dbf_default_hooks()
                               : without_unnamed_files(tarnwick::dbf_default_hooks());
      auto pwrite_os = h.pwrite;
      h.pwrite = [pwrite_os](int fd, const void* buf, size_t n, off_t off) {
        pwrite_os(fd, buf, std::min<size_t>(n, 40), off);
        ::kill(::getpid(), SIGKILL);  // in the middle of the header
        return ssize_t{-1};
      };
      tarnwick::dbf_set_hooks(h);
      create_new(kThree, table);
      ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    const std::set<std::string> left = folder_entries(dir.Path());
    if (unnamed) {
      EXPECT_EQ(left, std::set<std::string>{});
      continue;
    }
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left.begin()->starts_with("T.dbf.tmp-")) << *left.begin();
    // Names that only look alike are not the writer's and stay.
    write_bytes(dir.File("T.dbf.tmp-long-name"), {'x'});
    write_bytes(dir.File("U.dbf.tmp-abcdef"), {'x'});
    EXPECT_EQ(tarnwick::dbf_remove_temporaries(table.c_str()), 1);
    EXPECT_EQ(folder_entries(dir.Path()),
              (std::set<std::string>{"T.dbf.tmp-long-name", "U.dbf.tmp-abcdef"}));
  }
}

}  // namespace
