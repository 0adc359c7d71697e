// Table creation: the header and descriptor bytes, the memo companion, refused inputs, and the
// temporary files that make a table appear only when complete.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <regex>

#include "dbf_test_support.h"

namespace {

using namespace dbftest;
using tarnwick::dbf_memo_path;

struct LayoutCase {
  const char* label;
  std::vector<Field> fields;
  uint8_t version;
  uint32_t header_length;
  uint32_t record_length;
  std::vector<uint32_t> displacements;
};

std::ostream& operator<<(std::ostream& os, const LayoutCase& c) {
  return os << c.label;
}

class CreateLayoutTest : public DbfTest, public ::testing::WithParamInterface<LayoutCase> {};

const LayoutCase kLayoutCases[] = {
    {"numeric_char_date",
     {{"ID", 'N', 5, 0}, {"NAME", 'C', 30, 0}, {"BORN", 'D', 8, 0}},
     0x03,
     129,
     44,
     {1, 6, 36}},
    {"with_memo",
     {{"ID", 'N', 5, 0}, {"NAME", 'C', 30, 0}, {"BORN", 'D', 8, 0}, {"NOTE", 'M', 10, 0}},
     0xF5,
     161,
     54,
     {1, 6, 36, 44}},
    {"decimals_and_widest_field",
     {{"PRICE", 'N', 12, 2}, {"TEXT", 'C', 255, 0}, {"RATIO", 'N', 20, 255}},
     0x03,
     129,
     288,
     {1, 13, 268}},
    {"eleven_byte_name", {{"ABCDEFGHIJK", 'C', 1, 0}}, 0x03, 65, 2, {1}},
    {"no_fields", {}, 0x03, 33, 1, {}},
};

// Local date at creation as the writer stores it: years since 1900, month, day.
std::array<uint8_t, 3> date_bytes(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  return {static_cast<uint8_t>(tm.tm_year), static_cast<uint8_t>(tm.tm_mon + 1),
          static_cast<uint8_t>(tm.tm_mday)};
}

TEST_P(CreateLayoutTest, WritesHeaderDescriptorsAndTerminator) {
  const LayoutCase& c = GetParam();
  const std::string path = dir.File("T.dbf");
  const std::time_t before = std::time(nullptr);
  ASSERT_TRUE(CreateArgs(c.fields).create(path));
  const std::time_t after = std::time(nullptr);

  const std::vector<uint8_t> b = read_bytes(path);
  ASSERT_EQ(b.size(), c.header_length) << "a new table ends with its terminator";
  EXPECT_EQ(b[0], c.version);
  const std::array<uint8_t, 3> date{b[1], b[2], b[3]};
  EXPECT_TRUE(date == date_bytes(before) || date == date_bytes(after));
  EXPECT_EQ(le32(b, 4), 0u) << "record count";
  EXPECT_EQ(le16(b, 8), c.header_length);
  EXPECT_EQ(le16(b, 10), c.record_length);
  for (size_t i = 12; i < 32; ++i) {
    EXPECT_EQ(b[i], i == 29 ? 0x65 : 0x00) << "header byte " << i;
  }
  for (size_t f = 0; f < c.fields.size(); ++f) {
    const size_t d = 32 + 32 * f;
    const Field& field = c.fields[f];
    for (size_t k = 0; k < 11; ++k) {
      const uint8_t want = k < field.name.size() ? static_cast<uint8_t>(field.name[k]) : 0;
      EXPECT_EQ(b[d + k], want) << "name byte " << k << " of field " << f;
    }
    EXPECT_EQ(b[d + 11], static_cast<uint8_t>(field.type));
    EXPECT_EQ(le32(b, d + 12), c.displacements[f]) << "displacement of field " << f;
    EXPECT_EQ(b[d + 16], field.length);
    EXPECT_EQ(b[d + 17], field.decimals);
    for (size_t k = 18; k < 32; ++k) EXPECT_EQ(b[d + k], 0) << "descriptor byte " << k;
  }
  EXPECT_EQ(b.back(), 0x0D);

  const bool memo = c.version == 0xF5;
  EXPECT_EQ(folder_entries(dir.Path()),
            (memo ? std::set<std::string>{"T.dbf", "T.FPT"} : std::set<std::string>{"T.dbf"}))
      << "no temporary stays";
  if (memo) {
    const std::vector<uint8_t> m = read_bytes(dir.File("T.FPT"));
    ASSERT_EQ(m.size(), 512u);
    for (size_t i = 0; i < m.size(); ++i) {
      const uint8_t want = i == 3 ? 0x08 : i == 7 ? 0x40 : 0x00;
      EXPECT_EQ(m[i], want) << "memo byte " << i;
    }
  }
  EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, CreateLayoutTest, ::testing::ValuesIn(kLayoutCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(DbfTest, NewTableFileIsAPlainReadableWritableFile) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs({{"ID", 'N', 5, 0}}).create(path));
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_TRUE(st.st_mode & S_IRUSR);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
}

TEST_F(DbfTest, CreateReplacesExistingTableAndMemo) {
  const std::string table = dir.File("T.dbf");
  const std::string memo = dir.File("T.FPT");
  for (const bool with_memo : {false, true}) {
    write_bytes(table, std::vector<uint8_t>(5000, 0x1A));
    write_bytes(memo, std::vector<uint8_t>(3000, 0x1A));
    std::vector<Field> fields{{"ID", 'N', 5, 0}};
    if (with_memo) fields.push_back({"NOTE", 'M', 10, 0});
    ASSERT_TRUE(CreateArgs(fields).create(table));
    EXPECT_EQ(read_bytes(table).size(), 32 * fields.size() + 33);
    // The old companion goes even when the new table has no memo field.
    EXPECT_EQ(std::filesystem::exists(memo), with_memo);
    if (with_memo) {
      EXPECT_EQ(read_bytes(memo).size(), 512u);
    }
  }
}

// At every file operation of dbf_create, the table path holds the old table, nothing, or the
// complete new header; and whenever the new table is there, so is its complete memo companion.
// The new files are written as unnamed files in the folder and linked into place, or, where the
// file system has no unnamed files, under temporary names beside them and renamed into place.
TEST_F(DbfTest, TablePathIsNeverIncomplete) {
  const std::string table = dir.File("T.dbf");
  const std::string memo = dir.File("T.FPT");
  const std::vector<uint8_t> old_table(5000, 0x1A);
  for (const bool unnamed : {true, false}) {
    for (const bool with_memo : {false, true}) {
      SCOPED_TRACE(with_memo ? "with memo" : "without memo");
      SCOPED_TRACE(unnamed ? "unnamed files" : "named temporaries");
      write_bytes(table, old_table);
      write_bytes(memo, std::vector<uint8_t>(3000, 0x1A));
      std::vector<Field> fields{{"ID", 'N', 5, 0}, {"NAME", 'C', 20, 0}};
      if (with_memo) fields.push_back({"NOTE", 'M', 10, 0});
      const size_t header = 32 * fields.size() + 33;

      int checks = 0, absent = 0, complete = 0;
      auto check = [&] {
        ++checks;
        if (!std::filesystem::exists(table)) {
          ++absent;
          return;
        }
        const std::vector<uint8_t> b = read_bytes(table);
        if (b == old_table) return;
        ASSERT_EQ(b.size(), header) << "an incomplete table under its final name";
        EXPECT_EQ(b.back(), 0x0D);
        if (with_memo) {
          EXPECT_EQ(read_bytes(memo).size(), 512u) << "the new table appeared before its memo";
        }
        ++complete;
      };
      std::set<std::string> temporaries;
      const std::regex temporary_name(R"(.*/T\.(dbf|FPT)\.tmp-[0-9A-Za-z]{6})");
      tarnwick::DbfFileHooks h = tarnwick::dbf_default_hooks();
      auto open_os = h.open;
      int unnamed_files = 0;
      h.open = [&, open_os](const char* path, int flags, mode_t mode) {
        check();
        if ((flags & O_TMPFILE) == O_TMPFILE) {
          if (!unnamed) {
            errno = EOPNOTSUPP;
            return -1;
          }
          EXPECT_EQ(path, dir.Path().string()) << "an unnamed file in the table's folder";
          ++unnamed_files;
          return open_os(path, flags, mode);
        }
        EXPECT_TRUE(std::regex_match(path, temporary_name)) << path;
        EXPECT_EQ(flags & (O_CREAT | O_EXCL), O_CREAT | O_EXCL) << "a temporary is a new file";
        temporaries.insert(path);
        return open_os(path, flags, mode);
      };
      auto linkat_os = h.linkat;
      h.linkat = [&, linkat_os](int olddirfd, const char* oldpath, int newdirfd,
                                const char* newpath, int flags) {
        check();
        const int rc = linkat_os(olddirfd, oldpath, newdirfd, newpath, flags);
        check();
        return rc;
      };
      auto pwrite_os = h.pwrite;
      h.pwrite = [&, pwrite_os](int fd, const void* buf, size_t n, off_t off) {
        check();
        return pwrite_os(fd, buf, std::min<size_t>(n, 16), off);  // a few bytes at a time
      };
      auto close_os = h.close;
      h.close = [&, close_os](int fd) {
        check();
        return close_os(fd);
      };
      auto rename_os = h.rename;
      h.rename = [&, rename_os](const char* from, const char* to) {
        check();
        EXPECT_EQ(temporaries.count(from), 1u) << from;
        const int rc = rename_os(from, to);
        check();
        return rc;
      };
      tarnwick::dbf_set_hooks(h);
      ASSERT_TRUE(CreateArgs(fields).create(table));
      tarnwick::dbf_set_hooks({});
      check();

      const size_t files = with_memo ? 2u : 1u;
      EXPECT_EQ(temporaries.size(), unnamed ? 0u : files);
      EXPECT_EQ(unnamed_files, unnamed ? static_cast<int>(files) : 0);
      EXPECT_GT(absent, 0);
      // After the rename or link and at the end; an unnamed file is closed after its link.
      EXPECT_EQ(complete, unnamed ? 3 : 2) << "the table appears with the last rename, not before";
      EXPECT_GT(checks, 10);
      for (const std::string& t : temporaries) EXPECT_FALSE(std::filesystem::exists(t)) << t;
      EXPECT_EQ(std::filesystem::exists(memo), with_memo);
      EXPECT_EQ(folder_entries(dir.Path()), (with_memo ? std::set<std::string>{"T.FPT", "T.dbf"}
                                                       : std::set<std::string>{"T.dbf"}));
    }
  }
}

// A temporary name that is taken is not reused: another is tried, a hundred at most (on a file
// system without unnamed files).
TEST_F(DbfTest, TakenTemporaryNamesAreSkipped) {
  const std::string table = dir.File("T.dbf");
  for (const int taken : {3, 99, 100, 1000}) {
    SCOPED_TRACE(std::to_string(taken) + " names taken");
    std::set<std::string> tried;
    int attempts = 0;
    tarnwick::DbfFileHooks h = tarnwick::dbf_default_hooks();
    auto open_os = h.open;
    h.open = [&, open_os](const char* path, int flags, mode_t mode) {
      if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
      }
      tried.insert(path);
      if (attempts++ < taken) {
        errno = EEXIST;
        return -1;
      }
      return open_os(path, flags, mode);
    };
    tarnwick::dbf_set_hooks(h);
    const bool created = CreateArgs({{"ID", 'N', 5, 0}}).create(table);
    tarnwick::dbf_set_hooks({});
    const bool fits = taken < 100;
    EXPECT_EQ(created, fits);
    EXPECT_EQ(attempts, fits ? taken + 1 : 100);
    EXPECT_EQ(tried.size(), static_cast<size_t>(attempts)) << "every attempt has its own name";
    EXPECT_EQ(folder_entries(dir.Path()),
              (fits ? std::set<std::string>{"T.dbf"} : std::set<std::string>{}));
  }
}

// Inputs whose lists disagree, or that would make a table readers cannot read: refused before
// anything on disk is touched.
struct RefusedCase {
  const char* label;
  void (*mutate)(CreateArgs&);
};

std::ostream& operator<<(std::ostream& os, const RefusedCase& c) {
  return os << c.label;
}

std::vector<Field> three_fields() {
  return {{"ID", 'N', 5, 0}, {"NAME", 'C', 30, 0}, {"BORN", 'D', 8, 0}};
}

const RefusedCase kRefused[] = {
    {"length_zero_before_end", [](CreateArgs& a) { a.lengths[1] = 0; }},
    {"decimals_minus_one_before_end", [](CreateArgs& a) { a.decimals[0] = -1; }},
    {"one_type_letter_short", [](CreateArgs& a) { a.types.pop_back(); }},
    {"one_type_letter_too_many", [](CreateArgs& a) { a.types += 'C'; }},
    {"length_list_longer",
     [](CreateArgs& a) { a.lengths.insert(a.lengths.end() - 1, int32_t{4}); }},
    {"decimal_list_longer",
     [](CreateArgs& a) { a.decimals.insert(a.decimals.end() - 1, int32_t{0}); }},
    {"empty_name", [](CreateArgs& a) { a.names[1].clear(); }},
    {"twelve_byte_name", [](CreateArgs& a) { a.names[1] = "ABCDEFGHIJKL"; }},
    {"twelve_character_cyrillic_name", [](CreateArgs& a) { a.names[1] = "ПРИМЕЧАНИЕ_Х"; }},
    {"length_256", [](CreateArgs& a) { a.lengths[1] = 256; }},
    {"length_negative", [](CreateArgs& a) { a.lengths[2] = -8; }},
    {"decimals_256", [](CreateArgs& a) { a.decimals[0] = 256; }},
    {"decimals_negative", [](CreateArgs& a) { a.decimals[0] = -2; }},
};

class CreateRefusedTest : public DbfTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(CreateRefusedTest, ReturnsFalseAndTouchesNothing) {
  const std::string table = dir.File("T.dbf");
  const std::string memo = dir.File("T.FPT");
  const std::vector<uint8_t> old_table{1, 2, 3}, old_memo{4, 5};
  write_bytes(table, old_table);
  write_bytes(memo, old_memo);

  CreateArgs args(three_fields());
  GetParam().mutate(args);
  // Names may have been replaced: rebuild the pointer list.
  args.name_ptrs.clear();
  for (const std::string& n : args.names) args.name_ptrs.push_back(n.c_str());
  args.name_ptrs.push_back(nullptr);

  EXPECT_FALSE(args.create(table));
  EXPECT_EQ(read_bytes(table), old_table);
  EXPECT_EQ(read_bytes(memo), old_memo);
  EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Inputs, CreateRefusedTest, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.label); });

// Names arrive in UTF-8 and go into the descriptors in code page 866, one byte per character,
// so the limit of 11 bytes is one of 11 characters.
TEST_F(DbfTest, CreateStoresUtf8NamesInCodePage866) {
  struct Case {
    std::string name;
    std::vector<uint8_t> stored;
  };
  const Case cases[] = {
      {"ИМЯ", {0x88, 0x8C, 0x9F}},
      {"Ёж_1", {0xF0, 0xA6, '_', '1'}},
      {"ПРИМЕЧАНИЕ1", {0x8F, 0x90, 0x88, 0x8C, 0x85, 0x97, 0x80, 0x8D, 0x88, 0x85, '1'}},
      {"€UR", {'?', 'U', 'R'}},
      {"A\xFF", {'A', '?'}},
  };
  const std::string path = dir.File("T.dbf");
  for (const Case& c : cases) {
    ASSERT_TRUE(CreateArgs({{c.name, 'C', 4, 0}}).create(path)) << c.name;
    const std::vector<uint8_t> b = read_bytes(path);
    ASSERT_EQ(b.size(), 65u);
    std::vector<uint8_t> name(b.begin() + 32, b.begin() + 43);
    std::vector<uint8_t> want = c.stored;
    want.resize(11, 0);
    EXPECT_EQ(name, want) << c.name;
  }
}

// `count` character fields F0, F1, ... of `length` bytes each. The name is built by appending:
// GCC's -O3 overlap check misreads "F" + std::to_string(i) inside a loop (-Wrestrict).
std::vector<Field> char_fields(int count, int32_t length) {
  std::vector<Field> fields;
  for (int i = 0; i < count; ++i) {
    std::string name = "F";
    name += std::to_string(i);
    fields.push_back({name, 'C', length, 0});
  }
  return fields;
}

TEST_F(DbfTest, CreateRefusesLengthsBeyondSixteenBits) {
  const std::string table = dir.File("T.dbf");
  write_bytes(table, {9});
  // 257 fields of 255 bytes: record length 65536.
  std::vector<Field> wide = char_fields(257, 255);
  EXPECT_FALSE(CreateArgs(wide).create(table));
  wide.pop_back();  // 256 fields: record length 65281 is still allowed
  // 2047 one-byte fields: header length 65537.
  std::vector<Field> many = char_fields(2047, 1);
  EXPECT_FALSE(CreateArgs(many).create(table));
  EXPECT_EQ(read_bytes(table), std::vector<uint8_t>{9});

  ASSERT_TRUE(CreateArgs(wide).create(table));
  EXPECT_EQ(le16(read_bytes(table), 10), 65281u);
  many.pop_back();  // 2046 fields: header length 65505
  ASSERT_TRUE(CreateArgs(many).create(table));
  EXPECT_EQ(le16(read_bytes(table), 8), 65505u);
}

TEST_F(DbfTest, CreateRefusesMissingArguments) {
  CreateArgs a(three_fields());
  const std::string table = dir.File("T.dbf");
  EXPECT_FALSE(tarnwick::dbf_create(nullptr, a.name_ptrs.data(), a.types.c_str(), a.lengths.data(),
                                    a.decimals.data()));
  EXPECT_FALSE(tarnwick::dbf_create("", a.name_ptrs.data(), a.types.c_str(), a.lengths.data(),
                                    a.decimals.data()));
  EXPECT_FALSE(tarnwick::dbf_create(table.c_str(), nullptr, a.types.c_str(), a.lengths.data(),
                                    a.decimals.data()));
  EXPECT_FALSE(tarnwick::dbf_create(table.c_str(), a.name_ptrs.data(), nullptr, a.lengths.data(),
                                    a.decimals.data()));
  EXPECT_FALSE(tarnwick::dbf_create(table.c_str(), a.name_ptrs.data(), a.types.c_str(), nullptr,
                                    a.decimals.data()));
  EXPECT_FALSE(tarnwick::dbf_create(table.c_str(), a.name_ptrs.data(), a.types.c_str(),
                                    a.lengths.data(), nullptr));
  EXPECT_FALSE(std::filesystem::exists(table));
}

TEST_F(DbfTest, MemoCompanionNeverReplacesItsOwnTable) {
  // "T.FPT" is its own memo path: writing the companion would overwrite the table.
  const std::string table = dir.File("T.FPT");
  write_bytes(table, {7});
  EXPECT_FALSE(CreateArgs({{"NOTE", 'M', 10, 0}}).create(table));
  EXPECT_EQ(read_bytes(table), std::vector<uint8_t>{7});
  // Without a memo field the same path is an ordinary table.
  EXPECT_TRUE(CreateArgs({{"ID", 'N', 5, 0}}).create(table));
  EXPECT_EQ(read_bytes(table).size(), 65u);
}

TEST(DbfMemoPath, ReplacesAThreeCharacterExtensionElseAppends) {
  const std::pair<std::string, std::string> cases[] = {
      {"X.dbf", "X.FPT"},
      {"/data/export/ORDERS.DBF", "/data/export/ORDERS.FPT"},
      {"/data/export/ORDERS", "/data/export/ORDERS.FPT"},
      {"/data/v1.2/ORDERS", "/data/v1.2/ORDERS.FPT"},
      {"/data/ab.c/T", "/data/ab.c/T.FPT"},
      {"T.db", "T.db.FPT"},
      {"T.dbase", "T.dbase.FPT"},
      {"/data/.dbf", "/data/.dbf.FPT"},
      {"a.b.c", "a.b.c.FPT"},
      {"T..dbf", "T..FPT"},
      {"", ".FPT"},
  };
  for (const auto& [table, memo] : cases) EXPECT_EQ(dbf_memo_path(table), memo) << table;
}

TEST_F(DbfTest, LongPathsWork) {
  // Far beyond 260 characters.
  std::filesystem::path deep = dir.Path();
  for (int i = 0; i < 12; ++i) deep /= std::string(40, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  const std::string table = (deep / "ORDERS.dbf").string();
  ASSERT_GT(table.size(), 500u);
  ASSERT_TRUE(CreateArgs({{"ID", 'N', 5, 0}, {"NOTE", 'M', 10, 0}}).create(table));
  EXPECT_EQ(read_bytes((deep / "ORDERS.FPT").string()).size(), 512u);
  ASSERT_EQ(tarnwick::dbf_open(table.c_str()), 0);
  EXPECT_EQ(tarnwick::dbf_append({"7", ""}, {"5", "10"}), 0);
  tarnwick::dbf_close();
  EXPECT_EQ(le32(read_bytes(table), 4), 1u);
}

TEST_F(DbfTest, UnwritableMemoIsReportedAndTableStays) {
  const std::string table = dir.File("T.dbf");
  // A folder in the memo's place cannot be deleted or created as a file.
  std::filesystem::create_directory(dir.File("T.FPT"));
  EXPECT_FALSE(CreateArgs({{"ID", 'N', 5, 0}, {"NOTE", 'M', 10, 0}}).create(table));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Не могу создать файл " + dir.File("T.FPT"));
  EXPECT_EQ(read_bytes(table).size(), 97u);
}

TEST_F(DbfTest, MessagesGoToStderrByDefault) {
  tarnwick::dbf_set_message_handler({});
  const std::string table = dir.File("T.dbf");
  std::filesystem::create_directory(dir.File("T.FPT"));
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(CreateArgs({{"NOTE", 'M', 10, 0}}).create(table));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Не могу создать файл " + dir.File("T.FPT") + "\n");
}

TEST_F(DbfTest, UncreatableTableGivesFalseWithoutMessage) {
  EXPECT_FALSE(CreateArgs(three_fields()).create(dir.File("missing-folder/T.dbf")));
  EXPECT_TRUE(messages.empty());
}

}  // namespace
