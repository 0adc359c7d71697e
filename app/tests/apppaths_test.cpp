// Names and paths derived from the executable, the working directory and the table name.
#include "app/AppPaths.h"
#include "app/AppTitle.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

TEST(AppPathsTest, ApplicationTitleIsTheFileNameUpToItsFirstDot) {
  const std::pair<std::string, std::string> cases[] = {
      {"/usr/bin/Tarnwick", "Tarnwick"},
      {"/opt/x.y/TARNWICK.BIN", "Tarnwick"},
      {"tarnwick.bin.old", "tarnwick"},
      {"/a/ЭКСПОРТ.bin", "Экспорт"},
      {"/a/b/", ""},
  };
  for (const auto& [path, title] : cases) EXPECT_EQ(ApplicationTitleFromPath(path), title) << path;
}

TEST(AppPathsTest, SettingsFileReplacesOrAddsTheExtension) {
  const std::pair<std::string, std::string> cases[] = {
      {"/usr/bin/Tarnwick", "/usr/bin/Tarnwick.INI"},
      {"/usr/bin/Tarnwick.exe", "/usr/bin/Tarnwick.INI"},
      {"/usr/bin/Tarnwick.a.b", "/usr/bin/Tarnwick.a.INI"},
      {"/opt/x.y/Tarnwick", "/opt/x.y/Tarnwick.INI"},
      {"/opt/.hidden", "/opt/.hidden.INI"},
      {"Tarnwick", "Tarnwick.INI"},
  };
  for (const auto& [path, ini] : cases) EXPECT_EQ(SettingsPathFor(path), ini) << path;
}

TEST(AppPathsTest, WorkingDirectoryIsShownWithoutClosingSlashExceptTheRoot) {
  const std::pair<std::string, std::string> cases[] = {{"/home/user", "/home/user"},
                                                       {"/home/user/", "/home/user"},
                                                       {"/", "/"},
                                                       {"//", "/"},
                                                       {"", ""}};
  for (const auto& [dir, shown] : cases) EXPECT_EQ(WorkingDirectoryText(dir), shown) << dir;
  const std::string cwd = CurrentWorkingDirectory();
  ASSERT_FALSE(cwd.empty());
  EXPECT_EQ(cwd.front(), '/');
  EXPECT_TRUE(cwd == "/" || cwd.back() != '/');
}

TEST(AppPathsTest, TargetFileTakesTheFolderAndEightCharactersOfTheTable) {
  struct Case {
    std::string chosen, table, expected;
  };
  const Case cases[] = {
      {"/out/any.txt", "EMPLOYEES_HISTORY", "/out/EMPLOYEE.dbf"},
      {"/out/any.txt", "СОТРУДНИКИ_ИСТОРИЯ", "/out/СОТРУДНИ.dbf"},
      {"/out/sub/", "DEPT", "/out/sub/DEPT.dbf"},
      {"/x", "ABCDEFGH", "/ABCDEFGH.dbf"},
      {"/a/b.txt", "", "/a/.dbf"},
      {"relative", "T", "T.dbf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TargetFilePath(FolderOfFile(c.chosen), c.table), c.expected) << c.chosen;
  }
  EXPECT_EQ(FirstCharacters("日本語テキスト文字列です", 3), "日本語");
  EXPECT_EQ(FirstCharacters("ab", 8), "ab");
  EXPECT_EQ(FirstCharacters("abc", 0), "");
}

}  // namespace
}  // namespace tarnwick
