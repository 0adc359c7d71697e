// Where the connection string comes from, and the checks of the settings file before it is used.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/AppPaths.h"
#include "batch/BatchSettings.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"

namespace tarnwick::batch {
namespace {

using Env = std::map<std::string, std::string>;

std::function<std::optional<std::string>(const char*)> EnvOf(const Env& env) {
  return [env](const char* name) -> std::optional<std::string> {
    const auto found = env.find(name);
    if (found == env.end()) return std::nullopt;
    return found->second;
  };
}

class SettingsTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& contents, mode_t mode = 0600) {
    std::ofstream(path, std::ios::binary) << contents;
    ::chmod(path.c_str(), mode);
    return path;
  }

  testsupport::ScratchDir dir{"tarnwick-settings"};
  std::string path = dir.File("Tarnwick.INI");
};

// The program reads the file that the window beside it reads: Tarnwick.INI beside them while
// their folder can be written, else the user's (a folder that is not there cannot be written).
TEST_F(SettingsTest, TheProgramReadsTheWindowsSettingsFile) {
  const std::string config = dir.File("config");
  testsupport::ScopedEnvVar xdg("XDG_CONFIG_HOME", config);
  std::filesystem::create_directories(dir.Path() / "bin");
  std::filesystem::create_directories(config + "/tarnwick");
  std::ofstream(config + "/tarnwick/Tarnwick.INI") << "[Connect]\nString=user/pw@srv\n";
  const std::pair<std::string, std::string> cases[] = {
      {"bin", dir.File("bin/Tarnwick.INI")},
      {"absent", config + "/tarnwick/Tarnwick.INI"},
  };
  for (const auto& [folder, settings] : cases) {
    const std::string program = dir.File(folder + "/tarnwick-export");
    EXPECT_EQ(WindowSettingsPath(program), settings) << folder;
    EXPECT_EQ(WindowSettingsPath(program), SettingsFilesFor(dir.File(folder + "/Tarnwick")).Read);
  }
}

TEST_F(SettingsTest, TheCommandLineWinsThenTheEnvironmentThenTheSettingsFile) {
  Write("[Connect]\nString=file/pw@srv\n");
  struct Case {
    std::optional<std::string> commandLine;
    Env env;
    std::string string;
    std::string origin;
  };
  const std::vector<Case> cases = {
      {"cmd/pw@srv", {{"TARNWICK_CONNECT", "env/pw@srv"}}, "cmd/pw@srv", "--connect"},
      {std::nullopt, {{"TARNWICK_CONNECT", "env/pw@srv"}}, "env/pw@srv", "TARNWICK_CONNECT"},
      {std::nullopt, {{"TARNWICK_CONNECT", ""}}, "file/pw@srv", path},
      {std::nullopt, {}, "file/pw@srv", path},
  };
  for (const Case& c : cases) {
    const TConnectSource source = FindConnectString(c.commandLine, EnvOf(c.env), path, false);
    EXPECT_FALSE(source.Error) << *source.Error;
    EXPECT_EQ(source.ConnectString, c.string);
    EXPECT_EQ(source.Origin, c.origin);
    EXPECT_TRUE(source.Warnings.empty());
  }
}

TEST_F(SettingsTest, SettingsFilesAreReadWithTheWindowsRulesOrRefusedWithTheirReason) {
  struct Case {
    std::string contents;
    std::string string;  // the connection string, empty when refused
    std::string error;   // a part of the error
  };
  const std::vector<Case> cases = {
      {"; remembered\r\n[connect]\r\n  string = a/b@c  \r\n", "a/b@c", ""},
      {"\xEF\xBB\xBF[Connect]\nString=a/b@c", "a/b@c", ""},
      {"[Other]\nString=x/y@z\n\n# comment\n[Connect]\nString=a/b@c=d\n", "a/b@c=d", ""},
      {"[Connect]\nString=a/b@c\njust text\n", "", path + ":3: broken line"},
      {"[Connect\nString=a/b@c\n", "", path + ":1: broken line"},
      {"[Connect]\n=a/b@c\n", "", path + ":2: broken line"},
      {"[Connect]\nUser=a\n", "", "holds no connection string"},
      {"[Other]\nString=a/b@c\n", "", "holds no connection string"},
      {"", "", "holds no connection string"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contents);
    Write(c.contents);
    const TConnectSource source = FindConnectString(std::nullopt, EnvOf({}), path, true);
    EXPECT_EQ(source.ConnectString, c.string);
    if (c.error.empty()) {
      EXPECT_FALSE(source.Error) << *source.Error;
    } else {
      ASSERT_TRUE(source.Error);
      EXPECT_NE(source.Error->find(c.error), std::string::npos) << *source.Error;
    }
  }
}

TEST_F(SettingsTest, ASettingsFileThatOthersMayReadIsUsedWithAWarning) {
  for (mode_t mode : {0640, 0604, 0644}) {
    Write("[Connect]\nString=a/b@c\n", mode);
    const TConnectSource source = FindConnectString(std::nullopt, EnvOf({}), path, false);
    EXPECT_EQ(source.ConnectString, "a/b@c");
    ASSERT_EQ(source.Warnings.size(), 1u) << mode;
    EXPECT_NE(source.Warnings[0].find("other users may read it"), std::string::npos);
    EXPECT_NE(source.Warnings[0].find("chmod 600 " + path), std::string::npos);
  }
}

TEST_F(SettingsTest, AMissingOrUnreadableSettingsFileIsAnErrorThatSaysWhy) {
  // The window's own file missing: the message says how else to give the string.
  TConnectSource source = FindConnectString(std::nullopt, EnvOf({}), path, false);
  ASSERT_TRUE(source.Error);
  EXPECT_NE(source.Error->find("no connection string: there is no settings file " + path),
            std::string::npos);
  EXPECT_NE(source.Error->find("TARNWICK_CONNECT"), std::string::npos);

  source = FindConnectString(std::nullopt, EnvOf({}), path, true);
  ASSERT_TRUE(source.Error);
  EXPECT_EQ(*source.Error, "the settings file " + path + " does not exist");

  source = FindConnectString(std::nullopt, EnvOf({}), dir.Path().string(), true);
  ASSERT_TRUE(source.Error);
  EXPECT_EQ(*source.Error,
            "cannot read the settings file " + dir.Path().string() + ": it is a folder");
}

// A file without read permission: checked as an unprivileged user, since the superuser reads it
// anyway.
TEST_F(SettingsTest, ASettingsFileWithoutReadPermissionIsAnError) {
  Write("[Connect]\nString=a/b@c\n", 0200);
  ::chmod(dir.Path().c_str(), 0755);
  if (::geteuid() != 0) {
    const TConnectSource source = FindConnectString(std::nullopt, EnvOf({}), path, true);
    ASSERT_TRUE(source.Error);
    EXPECT_EQ(*source.Error, "cannot read the settings file " + path + ": Permission denied");
    return;
  }
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    const TConnectSource source = FindConnectString(std::nullopt, EnvOf({}), path, true);
    const std::string text = source.Error.value_or("<no error>");
    (void)!::write(pipeFds[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not drop rights";
  EXPECT_EQ(text, "cannot read the settings file " + path + ": Permission denied");
}

}  // namespace
}  // namespace tarnwick::batch
