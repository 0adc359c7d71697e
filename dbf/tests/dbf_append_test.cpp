// Appending records: cutting and filling by characters, code page 866, the record count after
// every record, refused record lists, and opening tables.
#include <filesystem>
#include <memory>

#include "dbf_test_support.h"

namespace {

using namespace dbftest;
using tarnwick::dbf_append;
using tarnwick::dbf_close;
using tarnwick::dbf_open;

const std::vector<Field> kThree{{"ID", 'N', 5, 0}, {"NAME", 'C', 30, 0}, {"BORN", 'D', 8, 0}};

std::vector<uint8_t> bytes_of(const std::string& s) {
  return {s.begin(), s.end()};
}

// One value in one field of the given width, and the bytes the field must hold.
struct TextCase {
  const char* label;
  std::string value;
  int32_t width;
  std::vector<uint8_t> stored;
};

std::ostream& operator<<(std::ostream& os, const TextCase& c) {
  return os << c.label;
}

const TextCase kTextCases[] = {
    {"number_filled_on_the_right", "12.5", 6, bytes_of("12.5  ")},
    {"negative_number_cut", "-12345", 5, bytes_of("-1234")},
    {"empty_is_all_spaces", "", 5, bytes_of("     ")},
    {"long_text_cut", "abcdefgh", 5, bytes_of("abcde")},
    {"exact_width", "20080815", 8, bytes_of("20080815")},
    {"cyrillic_capital_a", "А", 1, {0x80}},
    {"cyrillic_cut_by_characters", "Привет, мир", 6, {0x8F, 0xE0, 0xA8, 0xA2, 0xA5, 0xE2}},
    {"cyrillic_filled_by_characters", "Ёж", 4, {0xF0, 0xA6, 0x20, 0x20}},
    {"cyrillic_yo_and_ya", "ёЯя", 3, {0xF1, 0x9F, 0xEF}},
    {"box_drawing_and_signs", "№°\u00A0╬", 4, {0xFC, 0xF8, 0xFF, 0xCE}},
    {"character_missing_from_866", "€5", 3, bytes_of("?5 ")},
    {"latin_accent_missing_from_866", "café", 4, bytes_of("caf?")},
    {"four_byte_character", "\xF0\x9F\x98\x80x", 3, bytes_of("?x ")},
    {"stray_byte",
     "a\xFF"
     "b",
     3, bytes_of("a?b")},
    {"lone_continuation_byte", "\x80", 2, bytes_of("? ")},
    {"sequence_cut_short", "\xE2\x82", 3, bytes_of("?? ")},
    {"overlong_form", "\xC0\xAF", 3, bytes_of("?? ")},
    {"encoded_surrogate", "\xED\xA0\x80", 4, bytes_of("??? ")},
    {"beyond_last_code_point", "\xF4\x90\x80\x80", 4, bytes_of("????")},
    {"invalid_byte_counts_as_one_character", "\xFF\xFF\xFFxyz", 4, bytes_of("???x")},
};

class AppendTextTest : public DbfTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(AppendTextTest, StoresCutFilledCodePage866Text) {
  const TextCase& c = GetParam();
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs({{"F", 'C', c.width, 0}}).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_append({c.value}, {std::to_string(c.width)}), 0);
  dbf_close();

  const std::vector<uint8_t> b = read_bytes(path);
  ASSERT_EQ(b.size(), 65u + 1 + c.width) << "the record length never changes";
  EXPECT_EQ(b[65], 0x20);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 66, b.end()), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Values, AppendTextTest, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(DbfTest, RecordsFollowTheTerminatorWithoutSeparators) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  const std::vector<std::string> lengths = length_texts(kThree);
  ASSERT_EQ(dbf_append({"1", "Иванов", "20080815"}, lengths), 0);
  ASSERT_EQ(dbf_append({"", "", ""}, lengths), 0);
  ASSERT_EQ(dbf_append({"123456", std::string(40, 'x'), "2008"}, lengths), 0);
  dbf_close();

  const std::vector<uint8_t> b = read_bytes(path);
  ASSERT_EQ(b.size(), 129u + 3 * 44);
  EXPECT_EQ(b[128], 0x0D);
  std::vector<uint8_t> name = {0x88, 0xA2, 0xA0, 0xAD, 0xAE, 0xA2};
  name.resize(30, ' ');
  std::vector<uint8_t> want;
  auto add = [&want](const std::vector<uint8_t>& v) {
    want.insert(want.end(), v.begin(), v.end());
  };
  add(bytes_of(" 1    "));
  add(name);
  add(bytes_of("20080815"));
  add(bytes_of(std::string(1 + 43, ' ')));  // the deletion flag and a record of blanks
  add(bytes_of(" 12345" + std::string(30, 'x') + "2008    "));
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 129, b.end()), want);
  EXPECT_EQ(le32(b, 4), 3u);
}

TEST_F(DbfTest, CountOnDiskFollowsEveryRecord) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  const std::vector<std::string> lengths = length_texts(kThree);
  for (uint32_t i = 1; i <= 300; ++i) {
    ASSERT_EQ(dbf_append({std::to_string(i), "row " + std::to_string(i), "20240229"}, lengths), 0);
    // Checked while the table is still open: what a reader sees if the run stopped here.
    const std::vector<uint8_t> b = read_bytes(path);
    ASSERT_EQ(le32(b, 4), i);
    ASSERT_EQ(b.size(), 129u + i * 44);
  }
  dbf_close();
  const std::vector<uint8_t> b = read_bytes(path);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 4, b.begin() + 8),
            (std::vector<uint8_t>{0x2C, 0x01, 0x00, 0x00}));
  EXPECT_EQ(std::count(b.begin() + 129, b.end(), 0x1A), 0);
  EXPECT_NE(b.back(), 0x1A);
}

TEST_F(DbfTest, ReopenedTableAppendsAfterItsRecords) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  const std::vector<std::string> lengths = length_texts(kThree);
  for (int run = 0; run < 3; ++run) {
    ASSERT_EQ(dbf_open(path.c_str()), 0);
    ASSERT_EQ(dbf_append({std::to_string(run), "r", "20000101"}, lengths), 0);
    dbf_close();
  }
  const std::vector<uint8_t> b = read_bytes(path);
  ASSERT_EQ(b.size(), 129u + 3 * 44);
  EXPECT_EQ(le32(b, 4), 3u);
  for (int run = 0; run < 3; ++run) EXPECT_EQ(b[129 + 44 * run + 1], '0' + run);
}

TEST_F(DbfTest, OpeningAgainClosesThePreviousTable) {
  const std::string a = dir.File("A.dbf"), b = dir.File("B.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(a));
  ASSERT_TRUE(CreateArgs({{"X", 'C', 2, 0}}).create(b));
  ASSERT_EQ(dbf_open(a.c_str()), 0);
  ASSERT_EQ(dbf_open(b.c_str()), 0);
  EXPECT_EQ(dbf_append({"zz"}, {"2"}), 0);
  EXPECT_EQ(dbf_append({"1", "n", "20000101"}, length_texts(kThree)), -1)
      << "the first table is no longer open";
  dbf_close();
  EXPECT_EQ(le32(read_bytes(a), 4), 0u);
  EXPECT_EQ(le32(read_bytes(b), 4), 1u);
}

TEST_F(DbfTest, PartialRecordLeftByAnEarlierRunIsOverwritten) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  const std::vector<std::string> lengths = length_texts(kThree);
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_append({"1", "first", "20000101"}, lengths), 0);
  dbf_close();
  // A run killed in the middle of its second record left 20 of its 44 bytes.
  std::vector<uint8_t> b = read_bytes(path);
  b.insert(b.end(), 20, 'Z');
  write_bytes(path, b);

  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_append({"2", "second", "20000102"}, lengths), 0);
  dbf_close();
  b = read_bytes(path);
  ASSERT_EQ(b.size(), 129u + 2 * 44);
  EXPECT_EQ(le32(b, 4), 2u);
  EXPECT_EQ(std::string(b.begin() + 173, b.end()),
            " 2    " + std::string("second").append(24, ' ') + "20000102");
}

TEST_F(DbfTest, EmptyFieldListGivesOneSpaceRecords) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs({}).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_append({}, {}), 0);
  ASSERT_EQ(dbf_append({}, {}), 0);
  dbf_close();
  const std::vector<uint8_t> b = read_bytes(path);
  ASSERT_EQ(b.size(), 35u);
  EXPECT_EQ(le32(b, 4), 2u);
  EXPECT_EQ(b[32], 0x0D);
  EXPECT_EQ(b[33], 0x20);
  EXPECT_EQ(b[34], 0x20);
}

// Record lists that do not fit the open table: -1 and the file stays as it was.
struct BadRecord {
  const char* label;
  std::vector<std::string> values;
  std::vector<std::string> lengths;
};

std::ostream& operator<<(std::ostream& os, const BadRecord& c) {
  return os << c.label;
}

const BadRecord kBadRecords[] = {
    {"one_value_missing", {"1", "a"}, {"5", "30", "8"}},
    {"one_value_too_many", {"1", "a", "20000101", "x"}, {"5", "30", "8"}},
    {"one_length_missing", {"1", "a", "20000101"}, {"5", "30"}},
    {"both_lists_short", {"1", "a"}, {"5", "30"}},
    {"nothing", {}, {}},
    {"length_not_a_number", {"1", "a", "20000101"}, {"5", "abc", "8"}},
    {"length_empty", {"1", "a", "20000101"}, {"5", "", "8"}},
    {"length_with_space", {"1", "a", "20000101"}, {"5", "30 ", "8"}},
    {"length_with_sign", {"1", "a", "20000101"}, {"+5", "30", "8"}},
    {"length_negative", {"1", "a", "20000101"}, {"5", "-30", "8"}},
    {"length_hexadecimal", {"1", "a", "20000101"}, {"0x5", "30", "8"}},
    {"length_too_large", {"1", "a", "20000101"}, {"5", "99999999999999999999", "8"}},
    {"length_differs_from_field", {"1", "a", "20000101"}, {"5", "31", "8"}},
    {"lengths_swapped", {"1", "a", "20000101"}, {"30", "5", "8"}},
};

class AppendRefusedTest : public DbfTest, public ::testing::WithParamInterface<BadRecord> {};

TEST_P(AppendRefusedTest, ReturnsMinusOneAndWritesNothing) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_append({"1", "good", "20000101"}, length_texts(kThree)), 0);
  const std::vector<uint8_t> before = read_bytes(path);

  EXPECT_EQ(dbf_append(GetParam().values, GetParam().lengths), -1);
  EXPECT_EQ(read_bytes(path), before);
  // The table stays usable.
  ASSERT_EQ(dbf_append({"2", "good", "20000102"}, length_texts(kThree)), 0);
  dbf_close();
  const std::vector<uint8_t> after = read_bytes(path);
  EXPECT_EQ(after.size(), 129u + 2 * 44);
  EXPECT_EQ(le32(after, 4), 2u);
}

INSTANTIATE_TEST_SUITE_P(Lists, AppendRefusedTest, ::testing::ValuesIn(kBadRecords),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(DbfTest, LeadingZerosInALengthAreStillItsNumber) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  EXPECT_EQ(dbf_append({"1", "a", "20000101"}, {"05", "030", "8"}), 0);
}

TEST_F(DbfTest, NoOpenTableIsHandled) {
  EXPECT_EQ(dbf_append({"1"}, {"5"}), -1);
  EXPECT_EQ(dbf_append({}, {}), -1);
  dbf_close();
  dbf_close();
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  dbf_close();
  EXPECT_EQ(dbf_append({"1", "a", "20000101"}, length_texts(kThree)), -1);
  EXPECT_EQ(read_bytes(path).size(), 129u);
}

// Files whose header cannot be trusted are not opened for appending.
struct BadFile {
  const char* label;
  void (*damage)(std::vector<uint8_t>&);
};

std::ostream& operator<<(std::ostream& os, const BadFile& c) {
  return os << c.label;
}

const BadFile kBadFiles[] = {
    {"empty_file", [](std::vector<uint8_t>& b) { b.clear(); }},
    {"header_cut_short", [](std::vector<uint8_t>& b) { b.resize(31); }},
    {"descriptor_cut_short", [](std::vector<uint8_t>& b) { b.resize(32 + 32 + 20); }},
    {"header_length_below_minimum", [](std::vector<uint8_t>& b) { b[8] = 32; }},
    {"record_length_disagrees_with_fields", [](std::vector<uint8_t>& b) { b[10] = 45; }},
    {"record_length_zero", [](std::vector<uint8_t>& b) { b[10] = 0; }},
    {"count_beyond_the_records", [](std::vector<uint8_t>& b) { b[4] = 3; }},
    {"last_record_cut_short", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
};

class OpenRefusedTest : public DbfTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(OpenRefusedTest, ReturnsMinusTwoAndLeavesTheFileAlone) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_append({"1", "a", "20000101"}, length_texts(kThree)), 0);
  ASSERT_EQ(dbf_append({"2", "b", "20000102"}, length_texts(kThree)), 0);
  dbf_close();
  std::vector<uint8_t> b = read_bytes(path);
  GetParam().damage(b);
  write_bytes(path, b);

  EXPECT_EQ(dbf_open(path.c_str()), -2);
  EXPECT_EQ(dbf_append({"3", "c", "20000103"}, length_texts(kThree)), -1);
  EXPECT_EQ(read_bytes(path), b);
}

INSTANTIATE_TEST_SUITE_P(Files, OpenRefusedTest, ::testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(DbfTest, OpenOfAMissingFileFails) {
  EXPECT_EQ(dbf_open(dir.File("none.dbf").c_str()), -2);
  EXPECT_EQ(dbf_open(nullptr), -2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.dbf")));
}

}  // namespace

namespace {

// Run as a fresh process (see below): opens the table named by the variable before anything else
// of the writer was used, appends one record and leaves by exit() with the table still open.
const bool kExitChild = [] {
  const char* path = std::getenv("TARNWICK_DBF_EXIT_CHILD");
  if (path == nullptr) return false;
  dbf_close();
  // Hooks that own memory, installed after the open-table state came into being: a close through
  // them after their destruction at exit would read freed memory.
  tarnwick::DbfFileHooks hooks = tarnwick::dbf_default_hooks();
  auto closes = std::make_shared<int>(0);
  auto close_os = hooks.close;
  hooks.close = [closes, close_os](int fd) {
    ++*closes;
    return close_os(fd);
  };
  tarnwick::dbf_set_hooks(hooks);
  if (dbf_open(path) != 0) _exit(3);
  if (dbf_append({"1", "last", "20000101"}, length_texts(kThree)) != 0) _exit(4);
  std::exit(0);
}();

// A program that ends without closing its table still closes the file cleanly at exit.
TEST_F(DbfTest, TableLeftOpenAtExitIsClosedCleanly) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("TARNWICK_DBF_EXIT_CHILD", path.c_str(), 1);
    execl("/proc/self/exe", "dbf_append_test", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(kExitChild);
  const std::vector<uint8_t> b = read_bytes(path);
  EXPECT_EQ(b.size(), 129u + 44);
  EXPECT_EQ(le32(b, 4), 1u);
}

}  // namespace
