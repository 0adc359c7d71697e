// The settings file: reading with case-insensitive names and the length cap, writing that keeps
// every other line, file creation with owner-only access.
#include "app/IniFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "base/Exception.h"
#include "testsupport/core/ScratchDir.h"

namespace tarnwick {
namespace {

using ::testing::Property;
using ::testing::Throws;

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& contents) {
    std::ofstream out(path_, std::ios::binary);
    out << contents;
  }
  std::string ReadFile() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  testsupport::ScratchDir scratch_{"tarnwick-ini"};
  fs::path dir_ = scratch_.Path();
  fs::path path_ = dir_ / "Tarnwick.INI";
};

std::string Repeat(const std::string& unit, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += unit;
  return s;
}

struct ReadCase {
  const char* what;
  std::string contents;
  std::string section;
  std::string key;
  std::string expected;
};

TEST_F(IniFileTest, ReadsValuesByTheRulesOfTheFile) {
  const std::string longAscii = Repeat("x", 3000);
  const std::string longCyrillic = Repeat("ж", 3000);
  const ReadCase cases[] = {
      {"plain value", "[Connect]\nString=scott/tiger@db\n", "Connect", "String", "scott/tiger@db"},
      {"names ignore case", "[CONNECT]\nSTRING=x\n", "connect", "string", "x"},
      {"blanks around names and value", "[ Connect ]\n  String\t=  a b  \n", "Connect", "String",
       "a b"},
      {"key of another section ignored", "[Other]\nString=x\n[Connect]\nString=y\n", "Connect",
       "String", "y"},
      {"missing key gives default", "[Connect]\nOther=1\n", "Connect", "String", "default"},
      {"missing section gives default", "[Other]\nString=1\n", "Connect", "String", "default"},
      {"key before any section ignored", "String=x\n[Connect]\n", "Connect", "String", "default"},
      {"empty file gives default", "", "Connect", "String", "default"},
      {"CR LF line ends", "[Connect]\r\nString=crlf\r\n", "Connect", "String", "crlf"},
      {"comments skipped, last line unterminated",
       "; comment\n[Connect]\n;String=no\n#String=no\nString=yes", "Connect", "String", "yes"},
      {"first of two equal keys wins", "[Connect]\nString=first\nString=second\n", "Connect",
       "String", "first"},
      {"empty value is not the default", "[Connect]\nString=\n", "Connect", "String", ""},
      {"value keeps later equals signs", "[Connect]\nString=a=b\n", "Connect", "String", "a=b"},
      {"byte order mark before the first section", "\xEF\xBB\xBF[Connect]\nString=bom\n", "Connect",
       "String", "bom"},
      {"UTF-8 value", "[Connect]\nString=пользователь/пароль@сервер\n", "Connect", "String",
       "пользователь/пароль@сервер"},
      {"long value cut to 2047 characters", "[Connect]\nString=" + longAscii + "\n", "Connect",
       "String", longAscii.substr(0, 2047)},
      {"value of exactly 2047 characters kept", "[Connect]\nString=" + Repeat("y", 2047) + "\n",
       "Connect", "String", Repeat("y", 2047)},
      {"cut counts characters, not bytes", "[Connect]\nString=" + longCyrillic + "\n", "Connect",
       "String", Repeat("ж", 2047)},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(c.contents);
    EXPECT_EQ(TIniFile(path_).ReadString(c.section, c.key, "default"), c.expected);
  }
}

TEST_F(IniFileTest, ReadWithoutAReadableFileGivesTheDefault) {
  EXPECT_EQ(TIniFile(path_).ReadString("Connect", "String", "none"), "none");
  EXPECT_FALSE(fs::exists(path_)) << "a read never creates the file";
  EXPECT_EQ(TIniFile(dir_).ReadString("Connect", "String", "dir"), "dir");
  EXPECT_EQ(TIniFile("").ReadString("Connect", "String", ""), "");
  EXPECT_EQ(TIniFile(path_).ReadString("Connect", "String", Repeat("d", 3000)), Repeat("d", 2047));
}

struct WriteCase {
  const char* what;
  std::optional<std::string> before;  // nullopt: no file
  std::string section;
  std::string key;
  std::string value;
  std::string after;
};

TEST_F(IniFileTest, WriteChangesOnlyItsKey) {
  const WriteCase cases[] = {
      {"creates the file", std::nullopt, "Connect", "String", "v", "[Connect]\nString=v\n"},
      {"fills an empty file", "", "Connect", "String", "v", "[Connect]\nString=v\n"},
      {"replaces the value, keeps comments", "; settings\n[Connect]\nString=old\n# tail\n",
       "Connect", "String", "new", "; settings\n[Connect]\nString=new\n# tail\n"},
      {"matches names ignoring case, keeps their spelling", "[connect]\nSTRING = old\nOther=1\n",
       "Connect", "String", "new", "[connect]\nSTRING =new\nOther=1\n"},
      {"appends a missing section", "[Other]\nA=1", "Connect", "String", "v",
       "[Other]\nA=1\n\n[Connect]\nString=v\n"},
      {"adds a missing key after the section's keys", "[Connect]\nA=1\n\n[Other]\nB=2\n", "Connect",
       "String", "v", "[Connect]\nA=1\nString=v\n\n[Other]\nB=2\n"},
      {"adds a key to an empty section", "[Connect]\n[Other]\nB=2\n", "Connect", "String", "v",
       "[Connect]\nString=v\n[Other]\nB=2\n"},
      {"keeps CR LF line ends", "[Connect]\r\nA=1\r\n", "Connect", "String", "v",
       "[Connect]\r\nA=1\r\nString=v\r\n"},
      {"replaces within CR LF", "[Connect]\r\nString=old\r\nB=2\r\n", "Connect", "String", "new",
       "[Connect]\r\nString=new\r\nB=2\r\n"},
      {"replaces an unterminated last line", "[Connect]\nString=old", "Connect", "String", "new",
       "[Connect]\nString=new"},
      {"changes only the first equal key", "[Connect]\nString=1\nString=2\n", "Connect", "String",
       "3", "[Connect]\nString=3\nString=2\n"},
      {"writes an empty value", "[Connect]\nString=old\n", "Connect", "String", "",
       "[Connect]\nString=\n"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(path_);
    if (c.before) WriteFile(*c.before);
    TIniFile(path_).WriteString(c.section, c.key, c.value);
    EXPECT_EQ(ReadFile(), c.after);
    EXPECT_EQ(TIniFile(path_).ReadString(c.section, c.key, "?"), c.value);
  }
}

TEST_F(IniFileTest, CreatedFileIsPrivateAndExistingModeIsKept) {
  TIniFile(path_).WriteString("Connect", "String", "scott/tiger@db");
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  ASSERT_EQ(::chmod(path_.c_str(), 0644), 0);
  TIniFile(path_).WriteString("Connect", "String", "other");
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(fs::directory_iterator(dir_)->path(), path_) << "no temporary file is left behind";
}

TEST_F(IniFileTest, WriteThroughASymbolicLinkKeepsTheLink) {
  const fs::path target = dir_ / "real.ini";
  { std::ofstream(target) << "[Connect]\nString=old\n"; }
  fs::create_symlink(target, path_);
  TIniFile(path_).WriteString("Connect", "String", "new");
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(TIniFile(target).ReadString("Connect", "String", ""), "new");
}

TEST_F(IniFileTest, RefusesWhatWouldBreakTheFileAndLeavesItUnchanged) {
  const std::string before = "[Connect]\nString=old\n";
  struct Refused {
    const char* what;
    std::string section, key, value;
  };
  const Refused cases[] = {
      {"line feed in the value", "Connect", "String", "a\n[Other]"},
      {"carriage return in the value", "Connect", "String", "a\rb"},
      {"equals sign in the key", "Connect", "Str=ing", "v"},
      {"empty key", "Connect", "  ", "v"},
      {"comment key", "Connect", ";String", "v"},
      {"bracket in the section", "Con]nect", "String", "v"},
      {"line break in the section", "Con\nnect", "String", "v"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(before);
    EXPECT_THAT(
        [&] { TIniFile(path_).WriteString(c.section, c.key, c.value); },
        Throws<Exception>(Property(&Exception::Message, "Unable to write to " + path_.string())));
    EXPECT_EQ(ReadFile(), before);
  }
}

TEST_F(IniFileTest, UnwritablePlaceRaisesUnableToWrite) {
  const fs::path folder = dir_ / "a-folder";
  fs::create_directory(folder);
  const std::string places[] = {(dir_ / "no-such-folder" / "Tarnwick.INI").string(),
                                folder.string()};
  for (const std::string& place : places) {
    EXPECT_THAT([&] { TIniFile(place).WriteString("Connect", "String", "v"); },
                Throws<Exception>(Property(&Exception::Message, "Unable to write to " + place)))
        << "no error raised for " << place;
  }
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
}

TEST_F(IniFileTest, LongValueWrittenWholeAndReadBackCut) {
  const std::string value = Repeat("я", 2100);
  TIniFile(path_).WriteString("Connect", "String", value);
  EXPECT_EQ(ReadFile(), "[Connect]\nString=" + value + "\n");
  EXPECT_EQ(TIniFile(path_).ReadString("Connect", "String", ""), Repeat("я", 2047));
}

// Whether `action` ends within `seconds` and returns true, run in a child process: an action
// that blocks (a read of a FIFO without a writer) is ended by the alarm there.
template <class Action>
::testing::AssertionResult EndsWithin(int seconds, Action action) {
  const pid_t child = ::fork();
  if (child < 0) return ::testing::AssertionFailure() << "fork failed";
  if (child == 0) {
    ::alarm(static_cast<unsigned>(seconds));
    ::_exit(action() ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    return ::testing::AssertionFailure() << "blocked, ended by signal " << WTERMSIG(status);
  }
  if (WEXITSTATUS(status) != 0) return ::testing::AssertionFailure() << "wrong result";
  return ::testing::AssertionSuccess();
}

// Only a regular file of at most 1 MiB is read: a FIFO, a device, a folder or a larger file
// gives the default at once (nothing blocks, nothing large is read), and a write refuses them.
TEST_F(IniFileTest, OnlyAPlainFileOfAtMostOneMebibyteIsRead) {
  const std::string fifo = (dir_ / "fifo.ini").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string link = (dir_ / "link.ini").string();
  fs::create_symlink(fifo, link);
  const std::string large = (dir_ / "large.ini").string();
  std::ofstream(large, std::ios::binary) << "[Connect]\nString=v\n";
  fs::resize_file(large, MaxSettingsFileSize + 1);  // the rest is zero bytes: no broken line
  const std::string atLimit = (dir_ / "limit.ini").string();
  fs::copy_file(large, atLimit);
  fs::resize_file(atLimit, MaxSettingsFileSize);

  struct Case {
    std::string path;
    std::string value;  // what ReadString gives with the default "d"
    std::string error;  // the reason ReadSettingsText gives, empty when it reads the file
  };
  const Case cases[] = {
      {fifo, "d", "it is a FIFO (named pipe), not a regular file"},
      {link, "d", "it is a FIFO (named pipe), not a regular file"},
      {"/dev/zero", "d", "it is a device, not a regular file"},
      {dir_.string(), "d", "it is a folder"},
      {large, "d",
       "it is larger than 1 MiB (" + std::to_string(MaxSettingsFileSize + 1) +
           " bytes); a settings file holds a few lines"},
      {atLimit, "v", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_TRUE(EndsWithin(10, [&] {
      const TSettingsText text = ReadSettingsText(c.path);
      return TIniFile(c.path).ReadString("Connect", "String", "d") == c.value &&
             text.Error.value_or("") == c.error && !text.Missing &&
             text.Text.size() == (c.error.empty() ? MaxSettingsFileSize : 0);
    }));
    if (c.error.empty()) continue;
    EXPECT_TRUE(EndsWithin(10, [&] {
      return ::testing::Value(
          [&] { TIniFile(c.path).WriteString("Connect", "String", "w"); },
          Throws<Exception>(Property(&Exception::Message, "Unable to write to " + c.path)));
    }));
  }
  EXPECT_EQ(fs::file_size(large), MaxSettingsFileSize + 1) << "a refused file is never replaced";
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(ReadSettingsText((dir_ / "none.ini").string()).Missing);
}

}  // namespace
}  // namespace tarnwick
