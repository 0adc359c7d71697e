// Appending records: cutting and filling by characters, code page 866, the characters that
// became "?", the record count after every record (through the mapping and without it), refused
// record lists, and opening tables.
#include <fcntl.h>
#include <sys/mman.h>

#include <filesystem>
#include <map>
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

// A record of kThree whose name is the file name of `path`.
std::vector<std::string> row_for(const std::string& path) {
  return {"1", std::filesystem::path(path).filename().string(), "20000101"};
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
    {"tag_character_takes_its_byte", "a\U000E0041b", 3, bytes_of("a?b")},
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

// Values of a record and, per field, how many of its stored characters became "?".
struct ReplacedCase {
  const char* label;
  std::vector<Field> fields;
  std::vector<std::string> values;
  std::vector<uint32_t> replaced;
};

std::ostream& operator<<(std::ostream& os, const ReplacedCase& c) {
  return os << c.label;
}

const ReplacedCase kReplacedCases[] = {
    {"plain_ascii", {{"ID", 'N', 5, 0}, {"NAME", 'C', 12, 0}}, {"42", "Smith, J."}, {0, 0}},
    {"question_mark_in_the_value_is_not_counted", {{"Q", 'C', 6, 0}}, {"why??"}, {0}},
    {"cyrillic_with_yo", {{"NAME", 'C', 20, 0}}, {"Ёлкин Пётр, ёж Щука"}, {0}},
    {"chinese_characters", {{"NAME", 'C', 6, 0}}, {"中文 ok"}, {2}},
    {"character_missing_beside_cyrillic", {{"NAME", 'C', 8, 0}}, {"Цена 5€"}, {1}},
    {"malformed_byte",
     {{"NAME", 'C', 5, 0}},
     {"a\xFF"
      "b"},
     {1}},
    {"sequence_cut_short_counts_each_byte", {{"NAME", 'C', 4, 0}}, {"\xE2\x82x"}, {2}},
    {"four_byte_character", {{"NAME", 'C', 3, 0}}, {"\xF0\x9F\x98\x80!"}, {1}},
    {"replaced_character_beyond_the_length", {{"NAME", 'C', 3, 0}}, {"abc€中"}, {0}},
    {"malformed_byte_beyond_the_length", {{"NAME", 'C', 3, 0}}, {"abc\xFF"}, {0}},
    {"cut_inside_a_run_of_replacements", {{"NAME", 'C', 3, 0}}, {"a€\xFF中€"}, {2}},
    {"several_fields",
     {{"A", 'C', 2, 0}, {"B", 'C', 4, 0}, {"C", 'C', 5, 0}, {"D", 'C', 3, 0}},
     {"€", "Ёж", "\xFF\xFE€ок", "中中中中"},
     {1, 0, 3, 3}},
    {"last_character_of_a_field_and_first_of_the_next",
     {{"A", 'C', 3, 0}, {"B", 'C', 3, 0}},
     {"ab€", "€bc"},
     {1, 1}},
};

class AppendReplacedTest : public DbfTest, public ::testing::WithParamInterface<ReplacedCase> {};

TEST_P(AppendReplacedTest, CountsPerFieldTheStoredCharactersThatBecameQuestionMarks) {
  const ReplacedCase& c = GetParam();
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(c.fields).create(path));
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_append(c.values, length_texts(c.fields)), 0);
  EXPECT_EQ(tarnwick::dbf_last_replaced(), c.replaced);

  // Each counted character is a "?" in the stored field that the value did not hold there.
  const std::vector<uint8_t> b = read_bytes(path);
  size_t at = 32 * c.fields.size() + 33 + 1;
  for (size_t i = 0; i < c.fields.size(); ++i) {
    const auto begin = b.begin() + static_cast<std::ptrdiff_t>(at);
    const auto stored = std::count(begin, begin + c.fields[i].length, '?');
    EXPECT_GE(static_cast<uint32_t>(stored), c.replaced[i]) << "field " << i;
    at += static_cast<size_t>(c.fields[i].length);
  }
}

INSTANTIATE_TEST_SUITE_P(Values, AppendReplacedTest, ::testing::ValuesIn(kReplacedCases),
                         [](const auto& info) { return std::string(info.param.label); });

// The figures belong to the last record stored: a failed append keeps them, closing drops them.
TEST_F(DbfTest, ReplacedFiguresFollowTheLastStoredRecord) {
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(path));
  const std::vector<std::string> lengths = length_texts(kThree);
  using Figures = std::vector<uint32_t>;
  EXPECT_EQ(tarnwick::dbf_last_replaced(), Figures{}) << "no table is open";
  ASSERT_EQ(dbf_open(path.c_str()), 0);
  EXPECT_EQ(tarnwick::dbf_last_replaced(), (Figures{0, 0, 0})) << "nothing stored yet";

  ASSERT_EQ(dbf_append({"1", "€€ и 中", "20000101"}, lengths), 0);
  EXPECT_EQ(tarnwick::dbf_last_replaced(), (Figures{0, 3, 0}));
  EXPECT_EQ(dbf_append({"2", "€", "20000101"}, {"5", "31", "8"}), -1);
  EXPECT_EQ(tarnwick::dbf_last_replaced(), (Figures{0, 3, 0})) << "a refused record";

  tarnwick::DbfFileHooks h = tarnwick::dbf_default_hooks();
  h.pwrite = [](int, const void*, size_t, off_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  tarnwick::dbf_set_hooks(h);
  EXPECT_EQ(dbf_append({"\xFF", "", "2000010€"}, lengths), -1);
  EXPECT_EQ(tarnwick::dbf_last_replaced(), (Figures{0, 3, 0})) << "a record not written";
  tarnwick::dbf_set_hooks({});

  ASSERT_EQ(dbf_append({"\xFF", "", "2000010€"}, lengths), 0);
  EXPECT_EQ(tarnwick::dbf_last_replaced(), (Figures{1, 0, 1}));
  ASSERT_EQ(dbf_append({"3", "Иванов", "20000103"}, lengths), 0);
  EXPECT_EQ(tarnwick::dbf_last_replaced(), (Figures{0, 0, 0}));
  dbf_close();
  EXPECT_EQ(tarnwick::dbf_last_replaced(), Figures{});

  ASSERT_EQ(dbf_open(path.c_str()), 0);
  ASSERT_EQ(dbf_append({"4", "中", "20000104"}, lengths), 0);
  ASSERT_EQ(dbf_open(dir.File("none.dbf").c_str()), -2);
  EXPECT_EQ(tarnwick::dbf_last_replaced(), Figures{}) << "the table was closed by the open";
}

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

// How the record count reaches the file: through the shared mapping of the first page, or with a
// pwrite when the mapping could not be made. Either way a plain read sees the new count after
// every append, and the count is not touched before the record has been written.
struct CountPathCase {
  const char* label;
  std::vector<Field> fields;
  uint32_t records_before;  // stored in an earlier run, before the table is opened again
  uint32_t records;
  bool mapping_works;
};

std::ostream& operator<<(std::ostream& os, const CountPathCase& c) {
  return os << c.label;
}

// 200 one-byte fields: a header longer than a page (32 + 200 * 32 + 1 bytes).
std::vector<Field> many_fields() {
  std::vector<Field> fields;
  for (int i = 0; i < 200; ++i) {
    std::string name = "F";
    name += std::to_string(i);
    fields.push_back({name, 'C', 1, 0});
  }
  return fields;
}

const CountPathCase kCountPathCases[] = {
    {"mapped", kThree, 0, 120, true},
    {"mapped_after_an_earlier_run", kThree, 7, 50, true},
    {"mapped_header_longer_than_a_page", many_fields(), 0, 30, true},
    {"mapped_records_crossing_pages", {{"A", 'C', 255, 0}, {"B", 'C', 255, 0}}, 0, 20, true},
    {"mapping_refused", kThree, 0, 120, false},
    {"mapping_refused_after_an_earlier_run", kThree, 7, 50, false},
};

class CountPathTest : public DbfTest, public ::testing::WithParamInterface<CountPathCase> {};

TEST_P(CountPathTest, CountOnDiskFollowsEveryRecordAndNeverPrecedesIt) {
  const CountPathCase& c = GetParam();
  const std::string path = dir.File("T.dbf");
  ASSERT_TRUE(CreateArgs(c.fields).create(path));
  const size_t header = 32 * c.fields.size() + 33;
  size_t record = 1;
  for (const Field& f : c.fields) record += static_cast<size_t>(f.length);
  const std::vector<std::string> lengths = length_texts(c.fields);
  auto values = [&c](uint32_t i) {
    std::vector<std::string> v;
    for (size_t f = 0; f < c.fields.size(); ++f) v.push_back(std::to_string(i % 10));
    return v;
  };
  if (c.records_before > 0) {
    ASSERT_EQ(dbf_open(path.c_str()), 0);
    for (uint32_t i = 0; i < c.records_before; ++i) ASSERT_EQ(dbf_append(values(i), lengths), 0);
    dbf_close();
  }

  // Hooks that count the mapping calls and every write, and read the count on disk at the moment
  // a record is written.
  std::map<void*, size_t> mapped;  // live mappings and their lengths
  int maps = 0, unmaps = 0, record_writes = 0, count_writes = 0;
  uint32_t count_at_record_write = UINT32_MAX;
  const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  auto count_on_disk = [reader] {
    uint8_t b[4] = {};
    EXPECT_EQ(::pread(reader, b, 4, 4), 4);
    return le32(std::vector<uint8_t>(b, b + 4), 0);
  };
  tarnwick::DbfFileHooks h = tarnwick::dbf_default_hooks();
  auto mmap_os = h.mmap;
  h.mmap = [&](void* addr, size_t length, int prot, int flags, int fd, off_t offset) -> void* {
    ++maps;
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(prot, PROT_READ | PROT_WRITE);
    EXPECT_EQ(flags & MAP_SHARED, MAP_SHARED);
    EXPECT_GE(length, 8u) << "the mapping holds the count";
    if (!c.mapping_works) {
      errno = ENODEV;
      return MAP_FAILED;
    }
    void* p = mmap_os(addr, length, prot, flags, fd, offset);
    if (p != MAP_FAILED) mapped[p] = length;
    return p;
  };
  auto munmap_os = h.munmap;
  h.munmap = [&](void* addr, size_t length) {
    ++unmaps;
    EXPECT_EQ(mapped.count(addr), 1u) << "only a live mapping is released";
    EXPECT_EQ(mapped[addr], length);
    mapped.erase(addr);
    return munmap_os(addr, length);
  };
  auto pwrite_os = h.pwrite;
  h.pwrite = [&](int fd, const void* buf, size_t n, off_t off) {
    if (off == 4) {
      ++count_writes;
    } else if (off >= static_cast<off_t>(header)) {
      ++record_writes;
      count_at_record_write = count_on_disk();
    }
    return pwrite_os(fd, buf, n, off);
  };
  tarnwick::dbf_set_hooks(h);

  ASSERT_EQ(dbf_open(path.c_str()), 0);
  EXPECT_EQ(maps, 1);
  for (uint32_t i = c.records_before; i < c.records_before + c.records; ++i) {
    ASSERT_EQ(dbf_append(values(i), lengths), 0);
    EXPECT_EQ(count_at_record_write, i) << "the count changed before its record was written";
    // What a reader sees if the run stopped here.
    EXPECT_EQ(count_on_disk(), i + 1);
    const std::vector<uint8_t> b = read_bytes(path);
    ASSERT_EQ(le32(b, 4), i + 1);
    ASSERT_EQ(b.size(), header + (i + 1) * record);
    EXPECT_EQ(b[header + i * record], ' ');
  }
  EXPECT_EQ(record_writes, static_cast<int>(c.records)) << "one write per record";
  EXPECT_EQ(count_writes, c.mapping_works ? 0 : static_cast<int>(c.records));
  dbf_close();
  EXPECT_EQ(unmaps, c.mapping_works ? 1 : 0);
  EXPECT_TRUE(mapped.empty()) << "the mapping is released at close";
  ::close(reader);

  // The rest of the header is untouched by the count stores.
  const std::vector<uint8_t> b = read_bytes(path);
  EXPECT_EQ(le32(b, 4), c.records_before + c.records);
  EXPECT_EQ(le16(b, 8), header);
  EXPECT_EQ(le16(b, 10), record);
  EXPECT_EQ(b[29], 0x65);
  EXPECT_EQ(b[header - 1], 0x0D);
}

INSTANTIATE_TEST_SUITE_P(Paths, CountPathTest, ::testing::ValuesIn(kCountPathCases),
                         [](const auto& info) { return std::string(info.param.label); });

// Opening another table, or the same again, releases the earlier mapping first.
TEST_F(DbfTest, ReopeningReleasesTheEarlierMapping) {
  const std::string a = dir.File("A.dbf"), b = dir.File("B.dbf");
  ASSERT_TRUE(CreateArgs(kThree).create(a));
  ASSERT_TRUE(CreateArgs(kThree).create(b));
  std::vector<void*> live;
  tarnwick::DbfFileHooks h = tarnwick::dbf_default_hooks();
  auto mmap_os = h.mmap;
  h.mmap = [&](void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    void* p = mmap_os(addr, length, prot, flags, fd, offset);
    if (p != MAP_FAILED) live.push_back(p);
    return p;
  };
  auto munmap_os = h.munmap;
  h.munmap = [&](void* addr, size_t length) {
    std::erase(live, addr);
    return munmap_os(addr, length);
  };
  tarnwick::dbf_set_hooks(h);
  for (const std::string* path : {&a, &a, &b}) {
    ASSERT_EQ(dbf_open(path->c_str()), 0);
    EXPECT_EQ(live.size(), 1u);
    ASSERT_EQ(dbf_append(row_for(*path), length_texts(kThree)), 0);
  }
  ASSERT_EQ(dbf_open(dir.File("none.dbf").c_str()), -2);
  EXPECT_TRUE(live.empty());
  EXPECT_EQ(le32(read_bytes(a), 4), 2u);
  EXPECT_EQ(le32(read_bytes(b), 4), 1u);
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
  int maps = 0, unmaps = 0;
  tarnwick::DbfFileHooks h = tarnwick::dbf_default_hooks();
  auto mmap_os = h.mmap;
  h.mmap = [&](void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    ++maps;
    return mmap_os(addr, length, prot, flags, fd, offset);
  };
  auto munmap_os = h.munmap;
  h.munmap = [&](void* addr, size_t length) {
    ++unmaps;
    return munmap_os(addr, length);
  };
  tarnwick::dbf_set_hooks(h);

  EXPECT_EQ(dbf_open(path.c_str()), -2);
  EXPECT_EQ(dbf_append({"3", "c", "20000103"}, length_texts(kThree)), -1);
  EXPECT_EQ(read_bytes(path), b);
  EXPECT_EQ(maps, unmaps) << "no mapping outlives a refused open";
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
