// Server folders, attach and logon.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "standin/engine/tests/EngineFixture.h"

namespace standin::testing {
namespace {

using ::testing::Field;
using ::testing::Throws;

class ServerTest : public EngineTest {};

TEST_F(ServerTest, AttachResolvesNamesInTheDataFolderAndPaths) {
  // STANDIN_SERVERS names the folder that holds server folders; names ignore case.
  ASSERT_EQ(setenv("STANDIN_SERVERS", root_.c_str(), 1), 0);
  struct Case {
    std::string text;
    int code;  // 0: attaches
  };
  const Case cases[] = {
      {"srv", 0},
      {"SRV", 0},
      {" srv ", 0},
      {folder_, 0},
      {"nosuch", 12154},
      {(root_ / "nosuch").string(), 12154},
      {root_.string() + "/", 12154},  // a folder without a users file is no server
  };
  for (const Case& c : cases) {
    try {
      auto server = Server::attach(c.text);
      EXPECT_EQ(c.code, 0) << c.text;
      EXPECT_NE(server->path().find("srv"), std::string::npos) << c.text;
    } catch (const OraError& e) {
      EXPECT_EQ(e.code, c.code) << c.text;
      EXPECT_EQ(e.message, "ORA-12154: TNS:could not resolve the connect identifier specified");
    }
  }
  unsetenv("STANDIN_SERVERS");
}

TEST_F(ServerTest, EmptyServerTextWithoutDefaultIsRefused) {
  unsetenv("TWO_TASK");
  ASSERT_THAT([&] { Server::attach(""); }, Throws<OraError>(Field(&OraError::code, 12162)))
      << "attached without a server text";
  ASSERT_EQ(setenv("TWO_TASK", folder_.c_str(), 1), 0);
  EXPECT_NO_THROW(Server::attach(""));
  unsetenv("TWO_TASK");
}

TEST_F(ServerTest, LogonChecksUserAndPassword) {
  auto server = Server::attach(folder_);
  struct Case {
    const char* user;
    const char* password;
    bool ok;
  };
  // User names are upper-cased; passwords compare without case, as on a 10g server.
  const Case cases[] = {{"scott", "tiger", true},   {"SCOTT", "TIGER", true},
                        {"Scott", "tiger", true},   {"scott", "lion", false},
                        {"scott", "", false},       {"", "tiger", false},
                        {"nobody", "tiger", false}, {"scott", "tiger2", false}};
  for (const Case& c : cases) {
    try {
      auto s = server->logon(c.user, c.password);
      EXPECT_TRUE(c.ok) << c.user << "/" << c.password;
      EXPECT_EQ(s->user(), "SCOTT");
    } catch (const OraError& e) {
      EXPECT_FALSE(c.ok) << c.user << "/" << c.password;
      EXPECT_EQ(e.code, 1017);
      EXPECT_EQ(e.message, "ORA-01017: invalid username/password; logon denied");
    }
  }
}

TEST_F(ServerTest, SettingsHaveTheDefaultVersionAndTheFileValues) {
  EXPECT_EQ(Server::attach(folder_)->settings().at("version"), "10.2.0.1.0");
  {
    std::ofstream f(std::filesystem::path(folder_) / "settings");
    f << "# comment\nversion = 9.2.0.1.0\n  fault.fetch.error = 3113 \nbroken line\n";
  }
  auto s = Server::attach(folder_)->settings();
  EXPECT_EQ(s.at("version"), "9.2.0.1.0");
  EXPECT_EQ(s.at("fault.fetch.error"), "3113");
  EXPECT_EQ(s.count("broken line"), 0u);
}

TEST_F(ServerTest, CreateUserRefusesBadNamesAndDuplicates) {
  EXPECT_THROW(createUser(folder_, "scott", "x"), std::runtime_error);
  EXPECT_THROW(createUser(folder_, "1abc", "x"), std::runtime_error);
  EXPECT_THROW(createUser(folder_, "a b", "x"), std::runtime_error);
  EXPECT_THROW(createUser(folder_, "adams", "two words"), std::runtime_error);
  EXPECT_THROW(createUser((root_ / "none").string(), "adams", "x"), std::runtime_error);
  createUser(folder_, "adams", "secret");
  EXPECT_NO_THROW(Server::attach(folder_)->logon("adams", "secret"));
}

TEST_F(ServerTest, SchemasAreSeparatePerUser) {
  createUser(folder_, "adams", "secret");
  auto adams = Server::attach(folder_)->logon("adams", "secret");
  exec("create table t (a number)");
  exec("create table u (a number)", adams.get());
  EXPECT_EQ(rows("select table_name from user_tables order by 1"), std::vector<std::string>{"T"});
  EXPECT_EQ(rows("select table_name from user_tables", adams.get()), std::vector<std::string>{"U"});
  EXPECT_EQ(error("select * from u").code, 942);
  EXPECT_EQ(error("select * from adams.u").code, 942);
  EXPECT_EQ(rows("select count(*) from scott.t"), std::vector<std::string>{"0"});
}

}  // namespace
}  // namespace standin::testing
