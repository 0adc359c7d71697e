// Where the window and tarnwick-export keep their settings file: beside the program while its
// folder can be written, else in the user's settings folder, with a file beside a read-only
// program still read while the user has none; and the user's folder made private for the write.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/AppPaths.h"
#include "app/ExportSession.h"
#include "app/IniFile.h"
#include "app/tests/export/ExportFakes.h"
#include "base/Exception.h"
#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"

namespace tarnwick::export_test {
namespace {

using ::testing::Property;
using ::testing::Throws;

namespace fs = std::filesystem;
using testsupport::ScopedEnvVar;

class SettingsFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.Path() / "rw");
    std::ofstream(dir_.File("rw/Tarnwick.INI")) << "[Connect]\nString=rw/pw@srv\n";
    readOnly_ = ReadOnlyFolder("ro-preset", true) && ReadOnlyFolder("ro-empty", false);
  }

  void TearDown() override {
    for (const fs::path& folder : mounted_) ::umount(folder.c_str());
    for (const char* name : {"ro-preset", "ro-empty"}) {
      std::error_code ec;
      fs::permissions(dir_.Path() / name, fs::perms::owner_all, ec);
    }
  }

  // A program folder that the test process cannot write into, with a settings file in it when
  // `preset`: read-only for its owner, or for the superuser (who may write anywhere else) a file
  // system mounted read-only. False when neither can be had.
  bool ReadOnlyFolder(const std::string& name, bool preset) {
    const fs::path folder = dir_.Path() / name;
    fs::create_directories(folder);
    const bool root = ::geteuid() == 0;
    if (root) {
      if (::mount("tarnwick-test", folder.c_str(), "tmpfs", 0, "size=64k") != 0) return false;
      mounted_.push_back(folder);
    }
    if (preset) std::ofstream(folder / "Tarnwick.INI") << "[Connect]\nString=preset/pw@srv\n";
    if (root)
      return ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    return true;
  }

  // A case's path: "{dir}" stands for the test's folder.
  std::string Path(std::string text) const {
    if (const std::size_t at = text.find("{dir}"); at != std::string::npos) {
      text.replace(at, 5, dir_.Path().string());
    }
    return text;
  }

  testsupport::ScratchDir dir_{"tarnwick-settings-files"};
  std::vector<fs::path> mounted_;
  bool readOnly_ = false;
};

TEST_F(SettingsFilesTest, BesideAWritableProgramElseInTheUsersFolder) {
  struct Case {
    const char* what;
    const char* folder;    // the program's folder in the test's folder
    const char* xdg;       // XDG_CONFIG_HOME; nullptr: unset
    const char* home;      // HOME; nullptr: unset
    const char* userFile;  // a settings file the user already has; nullptr: none
    const char* read;
    const char* write;
    bool inUserFolder;
  };
  const std::string xdgFile = "{dir}/xdg/tarnwick/Tarnwick.INI";
  const std::string homeFile = "{dir}/home/.config/tarnwick/Tarnwick.INI";
  const Case cases[] = {
      {"a writable folder keeps its file, even when the user has one", "rw", "{dir}/xdg",
       "{dir}/home", xdgFile.c_str(), "{dir}/rw/Tarnwick.INI", "{dir}/rw/Tarnwick.INI", false},
      {"a folder that is not there cannot be written", "absent", "{dir}/xdg", "{dir}/home", nullptr,
       xdgFile.c_str(), xdgFile.c_str(), true},
      {"without XDG_CONFIG_HOME the folder is ~/.config", "absent", nullptr, "{dir}/home", nullptr,
       homeFile.c_str(), homeFile.c_str(), true},
      {"an empty XDG_CONFIG_HOME counts as unset", "absent", "", "{dir}/home", nullptr,
       homeFile.c_str(), homeFile.c_str(), true},
      {"a relative XDG_CONFIG_HOME is not used", "absent", "xdg", "{dir}/home", nullptr,
       homeFile.c_str(), homeFile.c_str(), true},
      {"closing slashes are dropped", "absent", "{dir}/xdg//", "{dir}/home", nullptr,
       xdgFile.c_str(), xdgFile.c_str(), true},
      {"no user folder without an absolute HOME", "absent", nullptr, nullptr, nullptr,
       "{dir}/absent/Tarnwick.INI", "{dir}/absent/Tarnwick.INI", false},
      {"a relative HOME is not used", "absent", nullptr, "home", nullptr,
       "{dir}/absent/Tarnwick.INI", "{dir}/absent/Tarnwick.INI", false},
      {"the administrator's file is read while the user has none", "ro-preset", "{dir}/xdg",
       "{dir}/home", nullptr, "{dir}/ro-preset/Tarnwick.INI", xdgFile.c_str(), true},
      {"the user's file wins over the administrator's", "ro-preset", "{dir}/xdg", "{dir}/home",
       xdgFile.c_str(), xdgFile.c_str(), xdgFile.c_str(), true},
      {"neither file yet: the user's, which the window will write", "ro-empty", "{dir}/xdg",
       "{dir}/home", nullptr, xdgFile.c_str(), xdgFile.c_str(), true},
      {"the user's file under ~/.config", "ro-empty", nullptr, "{dir}/home", homeFile.c_str(),
       homeFile.c_str(), homeFile.c_str(), true},
  };
  int skipped = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.folder).starts_with("ro-") && !readOnly_) {
      ++skipped;
      continue;
    }
    const std::string xdg = c.xdg ? Path(c.xdg) : std::string();
    const std::string home = c.home ? Path(c.home) : std::string();
    ScopedEnvVar xdgVar("XDG_CONFIG_HOME", c.xdg ? xdg.c_str() : nullptr);
    ScopedEnvVar homeVar("HOME", c.home ? home.c_str() : nullptr);
    std::error_code ec;
    fs::remove_all(dir_.Path() / "xdg", ec);
    fs::remove_all(dir_.Path() / "home", ec);
    if (c.userFile) {
      const fs::path user = Path(c.userFile);
      fs::create_directories(user.parent_path());
      std::ofstream(user) << "[Connect]\nString=user/pw@srv\n";
    }

    const TSettingsFiles files = SettingsFilesFor(dir_.File(std::string(c.folder) + "/Tarnwick"));
    EXPECT_EQ(files.Read, Path(c.read));
    EXPECT_EQ(files.Write, Path(c.write));
    EXPECT_EQ(files.InUserFolder, c.inUserFolder);
    if (!c.userFile) {
      EXPECT_FALSE(fs::exists(dir_.Path() / "xdg")) << "finding the files makes no folder";
      EXPECT_FALSE(fs::exists(dir_.Path() / "home"));
    }
  }
  if (skipped > 0) {
    GTEST_SKIP() << skipped << " cases need a folder this process cannot write (it may write "
                 << "anywhere, and no read-only file system can be mounted here)";
  }
}

// The file and the folders that a connection's write makes in the user's settings folder are
// its owner's only; a folder that cannot be made fails the write with its usual error.
TEST_F(SettingsFilesTest, TheUsersFolderIsMadePrivateForTheFirstWrite) {
  const fs::path config = dir_.Path() / "config" / "deeper";
  ScopedEnvVar xdgVar("XDG_CONFIG_HOME", config.string());
  const TSettingsFiles files = SettingsFilesFor(dir_.File("absent/Tarnwick"));
  ASSERT_TRUE(files.InUserFolder);

  TRecordingView view;
  auto database = std::make_unique<TScriptedDatabase>();
  database->SetTables({"DEPT"});
  TExportSession session(files.Write, std::move(database));
  session.CreateSettingsFolder = files.InUserFolder;
  ASSERT_TRUE(session.Connect(view, "demo/demo@demo"));

  EXPECT_EQ(TIniFile(files.Write).ReadString("Connect", "String", ""), "demo/demo@demo");
  const auto mode = [](const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  };
  EXPECT_EQ(mode(files.Write), 0600u);
  for (const fs::path& folder : {dir_.Path() / "config", config, config / "tarnwick"}) {
    EXPECT_EQ(mode(folder), 0700u) << folder;
  }
  // From now on the user's file is the one read.
  EXPECT_EQ(SettingsFilesFor(dir_.File("absent/Tarnwick")).Read, files.Write);

  // Below a plain file no folder can be made.
  std::ofstream(dir_.File("plain")) << "x";
  ScopedEnvVar blockedVar("XDG_CONFIG_HOME", dir_.File("plain"));
  const TSettingsFiles blocked = SettingsFilesFor(dir_.File("absent/Tarnwick"));
  TExportSession second(blocked.Write, std::make_unique<TScriptedDatabase>());
  second.CreateSettingsFolder = blocked.InUserFolder;
  EXPECT_THAT(
      [&] { second.Connect(view, "demo/demo@demo"); },
      Throws<Exception>(Property(
          &Exception::Message, "Unable to write to " + dir_.File("plain/tarnwick/Tarnwick.INI"))));
}

}  // namespace
}  // namespace tarnwick::export_test
