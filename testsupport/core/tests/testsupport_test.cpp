// The test support's scratch folder and scoped environment variable.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "testsupport/core/ScopedEnvVar.h"
#include "testsupport/core/ScratchDir.h"

namespace tarnwick::testsupport {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

std::optional<std::string> Env(const char* name) {
  const char* value = getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

TEST(ScratchDir, MakesANewFolderAndRemovesItWithEverythingInIt) {
  ScratchDir parent("testsupport-parent");
  fs::path first;
  {
    ScratchDir a("one", parent.Path());
    ScratchDir b("one", parent.Path());
    first = a.Path();
    EXPECT_NE(a.Path(), b.Path());
    EXPECT_EQ(a.Path().parent_path(), parent.Path());
    EXPECT_EQ(a.Path().filename().string().rfind("one-", 0), 0u) << a.Path();
    EXPECT_TRUE(fs::is_directory(a.Path()));
    EXPECT_TRUE(fs::is_empty(a.Path()));
    EXPECT_EQ(a.File("x.dbf"), (a.Path() / "x.dbf").string());

    fs::create_directories(a.Path() / "inner" / "deeper");
    std::ofstream(a.Path() / "inner" / "deeper" / "file.txt") << "text";
    std::ofstream(a.File("top.txt")) << "text";
  }
  EXPECT_FALSE(fs::exists(first));
  EXPECT_TRUE(fs::is_empty(parent.Path())) << "both folders are gone";
}

TEST(ScratchDir, AFolderThatCannotBeMadeThrowsWithTheSystemsText) {
  ScratchDir parent("testsupport-parent");
  const fs::path missing = parent.Path() / "no-such-folder";
  ASSERT_THAT([&] { ScratchDir dir("x", missing); },
              ThrowsMessage<std::runtime_error>(AllOf(HasSubstr((missing / "x-XXXXXX").string()),
                                                      HasSubstr(std::strerror(ENOENT)))));
  EXPECT_FALSE(fs::exists(missing));
}

TEST(ScopedEnvVar, SetsOrUnsetsAndRestoresThePreviousState) {
  const char* name = "TARNWICK_TESTSUPPORT_VARIABLE";
  struct Case {
    const char* before;  // null: not set
    const char* during;  // null: unset
  };
  const Case cases[] = {
      {nullptr, "new"}, {nullptr, ""},  {nullptr, nullptr}, {"old", "new"},
      {"old", nullptr}, {"old", "old"}, {"", "new"},        {"", nullptr},
  };
  for (const Case& c : cases) {
    const std::string label =
        std::string(c.before ? c.before : "<unset>") + " -> " + (c.during ? c.during : "<unset>");
    if (c.before)
      ASSERT_EQ(setenv(name, c.before, 1), 0);
    else
      ASSERT_EQ(unsetenv(name), 0);
    {
      ScopedEnvVar variable(name, c.during);
      EXPECT_EQ(Env(name), c.during ? std::optional<std::string>(c.during) : std::nullopt) << label;
    }
    EXPECT_EQ(Env(name), c.before ? std::optional<std::string>(c.before) : std::nullopt) << label;
  }
  unsetenv(name);
}

TEST(ScopedEnvVar, NestedChangesOfOneVariableComeBackInTurn) {
  const char* name = "TARNWICK_TESTSUPPORT_NESTED";
  ASSERT_EQ(unsetenv(name), 0);
  {
    ScopedEnvVar outer(name, std::string("outer"));
    {
      ScopedEnvVar inner(name, nullptr);
      EXPECT_EQ(Env(name), std::nullopt);
      {
        ScopedEnvVar innermost(name, "innermost");
        EXPECT_EQ(Env(name), "innermost");
      }
      EXPECT_EQ(Env(name), std::nullopt);
    }
    EXPECT_EQ(Env(name), "outer");
  }
  EXPECT_EQ(Env(name), std::nullopt);
}

TEST(ScopedEnvVar, ANameTheEnvironmentRefusesThrowsWithTheSystemsText) {
  const std::optional<std::string> a = Env("A");
  for (const char* name : {"", "A=B"}) {
    ASSERT_THAT([&] { ScopedEnvVar variable(name, "value"); },
                ThrowsMessage<std::runtime_error>(AllOf(
                    HasSubstr(std::strerror(EINVAL)), HasSubstr(std::string("\"") + name + "\""))))
        << "accepted \"" << name << "\"";
  }
  EXPECT_EQ(Env("A"), a);
}

}  // namespace
}  // namespace tarnwick::testsupport
